// In-process COM server: module entry points, class factory, the Comm object
// and its registration.
#include <new>

#include "Win32SerialPort.h"
#include "common/Handles.h"
#include "ostrelcom/Inspections.h"
#include "OstrelCom.h"
#include <oleauto.h>

namespace {

HINSTANCE gModule = nullptr;
volatile LONG gLocks = 0;
void LockModule() { InterlockedIncrement(&gLocks); }
void UnlockModule() { InterlockedDecrement(&gLocks); }

const wchar_t kClsid[] = L"{67C75C61-C280-4498-8AA7-E3C2C86B94CF}";
const wchar_t kLibid[] = L"{43B5F201-FBD2-4AC7-AA23-4FFBFFB6B8C4}";

// ---------------------------------------------------------------- Comm object
class CComm final {
public:
    explicit CComm(IUnknown* outer)
        : FInner(this), FDisp(this), FCustom(this), FOuter(outer ? outer : &FInner), FInspections(FPort) {
        LockModule();
    }
    ~CComm() { UnlockModule(); }

    // Each face knows the object it belongs to.
    struct TInner final : IUnknown {
        explicit TInner(CComm* self) : FSelf(self) {}
        CComm* const FSelf;
        CComm* Self() const { return FSelf; }
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
            if (!out) return E_POINTER;
            CComm* c = Self();
            // IUnknown is the IComm face, as IDispatch and IComm are; only an
            // aggregated object hands its outer object this separate
            // non-delegating unknown.
            if (iid == IID_IUnknown && c->Aggregated()) *out = static_cast<IUnknown*>(this);
            else if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IComm)
                *out = static_cast<IComm*>(&c->FDisp);
            else if (iid == IID_IOstrelComm) *out = static_cast<IOstrelComm*>(&c->FCustom);
            else { *out = nullptr; return E_NOINTERFACE; }
            static_cast<IUnknown*>(*out)->AddRef();
            return S_OK;
        }
        STDMETHODIMP_(ULONG) AddRef() override { return ++Self()->FRefs; }
        STDMETHODIMP_(ULONG) Release() override {
            CComm* c = Self();
            const ULONG r = --c->FRefs;
            if (r == 0) delete c;
            return r;
        }
    };

    struct TDisp final : IComm {
        explicit TDisp(CComm* self) : FSelf(self) {}
        CComm* const FSelf;
        CComm* Self() const { return FSelf; }
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return Self()->FOuter->QueryInterface(iid, out); }
        STDMETHODIMP_(ULONG) AddRef() override { return Self()->FOuter->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return Self()->FOuter->Release(); }
        STDMETHODIMP GetTypeInfoCount(UINT* n) override {
            if (!n) return E_POINTER;
            *n = 1;
            return S_OK;
        }
        STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** out) override {
            if (!out) return E_POINTER;
            *out = nullptr;
            if (index != 0) return DISP_E_BADINDEX;
            HRESULT hr = Self()->LoadTypeInfo(lcid);
            if (FAILED(hr)) return hr;
            *out = Self()->FTypeInfo.get();
            (*out)->AddRef();
            return S_OK;
        }
        STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
            HRESULT hr = Self()->LoadTypeInfo(lcid);
            if (FAILED(hr)) return hr;
            return Self()->FTypeInfo->GetIDsOfNames(names, count, ids);
        }
        STDMETHODIMP Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                            EXCEPINFO* excep, UINT* argErr) override {
            HRESULT hr = Self()->LoadTypeInfo(lcid);
            if (FAILED(hr)) return hr;
            return Self()->FTypeInfo->Invoke(static_cast<IComm*>(this), id, flags, params, result, excep, argErr);
        }
    };

    struct TCustom final : IOstrelComm {
        explicit TCustom(CComm* self) : FSelf(self) {}
        CComm* const FSelf;
        CComm* Self() const { return FSelf; }
        STDMETHODIMP QueryInterface(REFIID iid, void** out) override { return Self()->FOuter->QueryInterface(iid, out); }
        STDMETHODIMP_(ULONG) AddRef() override { return Self()->FOuter->AddRef(); }
        STDMETHODIMP_(ULONG) Release() override { return Self()->FOuter->Release(); }
        STDMETHODIMP ReadOstrelInfo(int nPort) override {
            try { return Self()->FInspections.ReadOstrelInfo(nPort); } catch (...) { return S_FALSE; }
        }
        STDMETHODIMP_(ULONG) GetMaxIndex() override { return Self()->FInspections.GetMaxIndex(); }
        STDMETHODIMP_(ULONG) GetMinIndex() override { return Self()->FInspections.GetMinIndex(); }
        STDMETHODIMP_(ULONG) GetInspectionSize(int nInsp) override { return Self()->FInspections.GetInspectionSize(nInsp); }
        STDMETHODIMP GetInspectionData(int nInsp, unsigned char* pData, ULONG size) override {
            try { return Self()->FInspections.GetInspectionData(nInsp, pData, size); } catch (...) { return S_FALSE; }
        }
    };

    HRESULT LoadTypeInfo(LCID lcid);
    bool Aggregated() const { return FOuter != &FInner; }

    TInner FInner;
    TDisp FDisp;
    TCustom FCustom;
    IUnknown* FOuter;
    ULONG FRefs = 0;
    ostrel::TWin32SerialPort FPort;
    ostrel::TInspections FInspections;
    TComPtr<ITypeInfo> FTypeInfo;
};

// The library is registered under 0x0409; a caller with another locale falls
// back to that locale and then to the module's own TYPELIB resource.
HRESULT CComm::LoadTypeInfo(LCID lcid) {
    if (FTypeInfo) return S_OK;
    TComPtr<ITypeLib> lib;
    HRESULT hr = LoadRegTypeLib(LIBID_OSTRELCOMLib, 1, 0, lcid, lib.put());
    if (FAILED(hr)) hr = LoadRegTypeLib(LIBID_OSTRELCOMLib, 1, 0, 0x0409, lib.put());
    if (FAILED(hr)) {
        wchar_t path[MAX_PATH];
        const DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return E_FAIL;
        hr = LoadTypeLibEx(path, REGKIND_NONE, lib.put());
    }
    if (FAILED(hr)) return hr;
    return lib->GetTypeInfoOfGuid(IID_IComm, FTypeInfo.put());
}

// ---------------------------------------------------------------- class factory
class CFactory final : public IClassFactory {
public:
    CFactory() { InitializeCriticalSection(&FLock); }
    ~CFactory() { DeleteCriticalSection(&FLock); }
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // Client references to the factory hold one module lock while any exist.
    STDMETHODIMP_(ULONG) AddRef() override {
        EnterCriticalSection(&FLock);
        const ULONG r = ++FRefs;
        if (r == 1) LockModule();
        LeaveCriticalSection(&FLock);
        return r;
    }
    // A Release beyond the references given out changes nothing: the count
    // stays at 0 and the module lock is not given back twice.
    STDMETHODIMP_(ULONG) Release() override {
        EnterCriticalSection(&FLock);
        ULONG r = 0;
        if (FRefs > 0) {
            r = --FRefs;
            if (r == 0) UnlockModule();
        }
        LeaveCriticalSection(&FLock);
        return r;
    }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        CComm* obj = new (std::nothrow) CComm(outer);
        if (!obj) return E_OUTOFMEMORY;
        obj->FInner.AddRef();
        const HRESULT hr = obj->FInner.QueryInterface(iid, out);
        obj->FInner.Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock) LockModule();
        else UnlockModule();
        return S_OK;
    }

private:
    CRITICAL_SECTION FLock;
    ULONG FRefs = 0;
};

CFactory* gFactory = nullptr;

// ---------------------------------------------------------------- registration
struct TRegEntry {
    const wchar_t* key;
    const wchar_t* name;   // nullptr: default value
    const wchar_t* data;   // nullptr: key only; L"%MODULE%": the module path
};

const TRegEntry kEntries[] = {
    {L"OstrelCom.Comm.1", nullptr, L"Comm Class"},
    {L"OstrelCom.Comm.1\\CLSID", nullptr, kClsid},
    {L"OstrelCom.Comm", nullptr, L"Comm Class"},
    {L"OstrelCom.Comm\\CLSID", nullptr, kClsid},
    {L"OstrelCom.Comm\\CurVer", nullptr, L"OstrelCom.Comm.1"},
    {L"CLSID", nullptr, nullptr},
    {L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}", nullptr, L"Comm Class"},
    {L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}\\ProgID", nullptr, L"OstrelCom.Comm.1"},
    {L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}\\VersionIndependentProgID", nullptr, L"OstrelCom.Comm"},
    {L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}\\Programmable", nullptr, nullptr},
    {L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}\\InprocServer32", nullptr, L"%MODULE%"},
    {L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}\\InprocServer32", L"ThreadingModel", L"Apartment"},
    {L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}\\TypeLib", nullptr, kLibid},
};
// Keys removed on unregistration, each with all its subkeys.
const wchar_t* const kRemoved[] = {L"OstrelCom.Comm.1", L"OstrelCom.Comm",
                                   L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}"};

LONG DeleteTree(HKEY parent, const wchar_t* name) {
    {
        TRegKey key;
        LONG rc = RegOpenKeyExW(parent, name, 0, KEY_READ | KEY_WRITE, key.put());
        if (rc == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
        if (rc != ERROR_SUCCESS) return rc;
        wchar_t sub[256];
        for (;;) {
            DWORD len = 256;
            rc = RegEnumKeyExW(key.get(), 0, sub, &len, nullptr, nullptr, nullptr, nullptr);
            if (rc != ERROR_SUCCESS) break;
            if ((rc = DeleteTree(key.get(), sub)) != ERROR_SUCCESS) return rc;
        }
    }
    const LONG rc = RegDeleteKeyW(parent, name);
    return rc == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : rc;
}

bool ModulePath(wchar_t (&path)[MAX_PATH]) {
    const DWORD n = GetModuleFileNameW(gModule, path, MAX_PATH);
    return n != 0 && n < MAX_PATH;
}

HRESULT WriteEntries(const wchar_t* module) {
    LONG rc = DeleteTree(HKEY_CLASSES_ROOT, kRemoved[2]);
    if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    for (const TRegEntry& e : kEntries) {
        TRegKey key;
        rc = RegCreateKeyExW(HKEY_CLASSES_ROOT, e.key, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr);
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
        if (!e.data) continue;
        const wchar_t* data = wcscmp(e.data, L"%MODULE%") == 0 ? module : e.data;
        rc = RegSetValueExW(key.get(), e.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                            DWORD((wcslen(data) + 1) * sizeof(wchar_t)));
        if (rc != ERROR_SUCCESS) return HRESULT_FROM_WIN32(rc);
    }
    return S_OK;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        gModule = instance;
        DisableThreadLibraryCalls(instance);
        gFactory = new (std::nothrow) CFactory;
    } else if (reason == DLL_PROCESS_DETACH) {
        delete gFactory;
        gFactory = nullptr;
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_Comm) return CLASS_E_CLASSNOTAVAILABLE;
    if (!gFactory) return E_OUTOFMEMORY;
    return gFactory->QueryInterface(iid, out);
}

STDAPI DllCanUnloadNow() { return gLocks == 0 ? S_OK : S_FALSE; }

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    if (!ModulePath(path)) return E_FAIL;
    HRESULT hr = WriteEntries(path);
    if (FAILED(hr)) return hr;
    TComPtr<ITypeLib> lib;
    hr = LoadTypeLibEx(path, REGKIND_NONE, lib.put());
    if (FAILED(hr)) return hr;
    return RegisterTypeLib(lib.get(), path, nullptr);
}

STDAPI DllUnregisterServer() {
    HRESULT result = S_OK;
    for (const wchar_t* k : kRemoved) {
        const LONG rc = DeleteTree(HKEY_CLASSES_ROOT, k);
        if (rc != ERROR_SUCCESS) result = HRESULT_FROM_WIN32(rc);
    }
    wchar_t path[MAX_PATH];
    if (!ModulePath(path)) return E_FAIL;
    TComPtr<ITypeLib> lib;
    HRESULT hr = LoadTypeLibEx(path, REGKIND_NONE, lib.put());
    if (FAILED(hr)) return hr;
    TLIBATTR* attr = nullptr;
    hr = lib->GetLibAttr(&attr);
    if (FAILED(hr)) return hr;
    hr = UnRegisterTypeLib(attr->guid, attr->wMajorVerNum, attr->wMinorVerNum, attr->lcid, attr->syskind);
    lib->ReleaseTLibAttr(attr);
    if (hr == TYPE_E_REGISTRYACCESS) hr = S_OK;  // nothing registered
    return FAILED(result) ? result : hr;
}

}  // extern "C"
