// The server DLL under Wine: registration, creation by ProgID, lifetime and
// interfaces.  Loads OstrelCom.dll from the test program's folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "OstrelCom.h"
#include "common/Handles.h"

namespace {
using Fn = HRESULT(WINAPI*)();
using GetClassFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

struct TServer {
    TModuleHandle module{LoadLibraryW(L"OstrelCom.dll")};
    template <class F> F Get(const char* name) { return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module.get(), name))); }
};

bool KeyExists(const wchar_t* path) {
    TRegKey key;
    return RegOpenKeyExW(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}
std::wstring Value(const wchar_t* path, const wchar_t* name = nullptr) {
    wchar_t buf[512] = L"<sentinel>";
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CLASSES_ROOT, path, name, RRF_RT_REG_SZ, nullptr, buf, &size) != ERROR_SUCCESS) return L"<none>";
    return buf;
}
const wchar_t kClassKey[] = L"CLSID\\{67C75C61-C280-4498-8AA7-E3C2C86B94CF}";
const wchar_t kLibKey[] = L"TypeLib\\{43B5F201-FBD2-4AC7-AA23-4FFBFFB6B8C4}";

// Sub-key names and value names ("" for the default value) of a key, sorted;
// "<missing>" when the key does not exist.
std::wstring Contents(const std::wstring& path)
{
    TRegKey key;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS)
        return L"<missing>";
    std::vector<std::wstring> keys, values;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD len = 256;
        if (RegEnumKeyExW(key.get(), i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        keys.push_back(name);
    }
    for (DWORD i = 0;; ++i) {
        DWORD len = 256, type = 0;
        if (RegEnumValueW(key.get(), i, name, &len, nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        values.push_back(std::wstring(name) + (type == REG_SZ ? L"" : L"(not REG_SZ)"));
    }
    std::sort(keys.begin(), keys.end());
    std::sort(values.begin(), values.end());
    std::wstring s = L"keys:";
    for (const auto& k : keys) s += L" " + k;
    s += L" values:";
    for (const auto& v : values) s += L" [" + v + L"]";
    return s;
}

// Every key of the class holds exactly the listed sub-keys, values and data.
void ExpectListedEntries(const std::wstring& module)
{
    const std::wstring k = kClassKey;
    EXPECT_EQ(Contents(L"OstrelCom.Comm.1"), L"keys: CLSID values: []");
    EXPECT_EQ(Contents(L"OstrelCom.Comm.1\\CLSID"), L"keys: values: []");
    EXPECT_EQ(Contents(L"OstrelCom.Comm"), L"keys: CLSID CurVer values: []");
    EXPECT_EQ(Contents(L"OstrelCom.Comm\\CLSID"), L"keys: values: []");
    EXPECT_EQ(Contents(L"OstrelCom.Comm\\CurVer"), L"keys: values: []");
    EXPECT_EQ(Contents(k), L"keys: InprocServer32 ProgID Programmable TypeLib VersionIndependentProgID values: []");
    EXPECT_EQ(Contents(k + L"\\InprocServer32"), L"keys: values: [] [ThreadingModel]");
    EXPECT_EQ(Contents(k + L"\\Programmable"), L"keys: values:");
    for (const wchar_t* sub : {L"\\ProgID", L"\\VersionIndependentProgID", L"\\TypeLib"})
        EXPECT_EQ(Contents(k + sub), L"keys: values: []") << sub;
    EXPECT_EQ(Value(L"OstrelCom.Comm.1"), L"Comm Class");
    EXPECT_EQ(Value(L"OstrelCom.Comm.1\\CLSID"), L"{67C75C61-C280-4498-8AA7-E3C2C86B94CF}");
    EXPECT_EQ(Value(L"OstrelCom.Comm"), L"Comm Class");
    EXPECT_EQ(Value(L"OstrelCom.Comm\\CLSID"), L"{67C75C61-C280-4498-8AA7-E3C2C86B94CF}");
    EXPECT_EQ(Value(L"OstrelCom.Comm\\CurVer"), L"OstrelCom.Comm.1");
    EXPECT_EQ(Value(k.c_str()), L"Comm Class");
    EXPECT_EQ(Value((k + L"\\ProgID").c_str()), L"OstrelCom.Comm.1");
    EXPECT_EQ(Value((k + L"\\VersionIndependentProgID").c_str()), L"OstrelCom.Comm");
    EXPECT_EQ(Value((k + L"\\InprocServer32").c_str(), L"ThreadingModel"), L"Apartment");
    EXPECT_EQ(lstrcmpiW(Value((k + L"\\InprocServer32").c_str()).c_str(), module.c_str()), 0) << "module path";
    EXPECT_EQ(Value((k + L"\\TypeLib").c_str()), L"{43B5F201-FBD2-4AC7-AA23-4FFBFFB6B8C4}");
    EXPECT_EQ(Value((std::wstring(kLibKey) + L"\\1.0").c_str()), L"OstrelCom 1.0 Type Library");
}

void ExpectNothingLeft()
{
    for (const wchar_t* key : {L"OstrelCom.Comm.1", L"OstrelCom.Comm", kClassKey, kLibKey,
                               L"Interface\\{2CBB5707-932D-42EC-81D8-CEF0507D850D}",
                               L"Interface\\{1D8C3BCE-CC4E-4603-A4B6-C414C188FE6E}"})
        EXPECT_FALSE(KeyExists(key)) << std::wstring(key).c_str();
    EXPECT_TRUE(KeyExists(L"CLSID"));
}

std::wstring ModulePath(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    return path;
}

// Runs the system's registration program and returns its exit code.
DWORD Regsvr32(const std::wstring& args)
{
    std::wstring cmd = L"regsvr32.exe " + args;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    TKernelHandle process(pi.hProcess), thread(pi.hThread);
    if (WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0)
        return 0xFFFFFFFE;
    DWORD code = 0xFFFFFFFD;
    GetExitCodeProcess(process.get(), &code);
    return code;
}
}  // namespace

class Server : public ::testing::Test {
protected:
    TComInit com{COINIT_APARTMENTTHREADED};
    TServer server;
    void SetUp() override {
        ASSERT_TRUE(server.module);
        ASSERT_EQ(server.Get<Fn>("DllRegisterServer")(), S_OK);
    }
    void TearDown() override { server.Get<Fn>("DllUnregisterServer")(); }
};

TEST_F(Server, RegistrationWritesAndRemovesTheListedEntries) {
    EXPECT_EQ(Value(L"OstrelCom.Comm.1"), L"Comm Class");
    EXPECT_EQ(Value(L"OstrelCom.Comm.1\\CLSID"), L"{67C75C61-C280-4498-8AA7-E3C2C86B94CF}");
    EXPECT_EQ(Value(L"OstrelCom.Comm"), L"Comm Class");
    EXPECT_EQ(Value(L"OstrelCom.Comm\\CurVer"), L"OstrelCom.Comm.1");
    EXPECT_EQ(Value(kClassKey), L"Comm Class");
    const std::wstring k = kClassKey;
    EXPECT_EQ(Value((k + L"\\ProgID").c_str()), L"OstrelCom.Comm.1");
    EXPECT_EQ(Value((k + L"\\VersionIndependentProgID").c_str()), L"OstrelCom.Comm");
    EXPECT_TRUE(KeyExists((k + L"\\Programmable").c_str()));
    EXPECT_EQ(Value((k + L"\\InprocServer32").c_str(), L"ThreadingModel"), L"Apartment");
    EXPECT_NE(Value((k + L"\\InprocServer32").c_str()).find(L"OstrelCom.dll"), std::wstring::npos);
    EXPECT_EQ(Value((k + L"\\TypeLib").c_str()), L"{43B5F201-FBD2-4AC7-AA23-4FFBFFB6B8C4}");
    EXPECT_TRUE(KeyExists(L"TypeLib\\{43B5F201-FBD2-4AC7-AA23-4FFBFFB6B8C4}"));

    ASSERT_EQ(server.Get<Fn>("DllUnregisterServer")(), S_OK);
    for (const wchar_t* key : {L"OstrelCom.Comm.1", L"OstrelCom.Comm", kClassKey,
                               L"TypeLib\\{43B5F201-FBD2-4AC7-AA23-4FFBFFB6B8C4}"})
        EXPECT_FALSE(KeyExists(key)) ;
    EXPECT_TRUE(KeyExists(L"CLSID"));
}

TEST_F(Server, CreationByProgIdAndInterfaces) {
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID(L"OstrelCom.Comm", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Comm);
    TComPtr<IOstrelComm> comm;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOstrelComm, comm.put_void()), S_OK);
    EXPECT_EQ(comm->GetMaxIndex(), 0u);
    EXPECT_EQ(comm->GetMinIndex(), 0u);
    for (int i : {0, 1, 65534}) EXPECT_EQ(comm->GetInspectionSize(i), 0u) << i;
    TComPtr<IUnknown> other;
    EXPECT_EQ(comm.As(IID_IPersist, other), E_NOINTERFACE);
    TComPtr<IComm> disp;
    ASSERT_EQ(comm.As(IID_IComm, disp), S_OK);
    UINT n = 99;
    EXPECT_EQ(disp->GetTypeInfoCount(&n), S_OK);
    EXPECT_EQ(n, 1u);
    for (LCID lcid : {LCID(0x0409), LCID(0x0419), LCID(0)}) {
        TComPtr<ITypeInfo> info;
        EXPECT_EQ(disp->GetTypeInfo(0, lcid, info.put()), S_OK) << lcid;
    }
    for (const wchar_t* name : {L"ReadOstrelInfo", L"GetMaxIndex", L"GetInspectionData", L"Foo"}) {
        DISPID id = 12345;
        LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
        EXPECT_NE(disp->GetIDsOfNames(IID_NULL, names, 1, 0x0409, &id), S_OK);
    }
    // No directory read yet (the device cases are in the device tests): S_FALSE.
    unsigned char buf[18] = {};
    EXPECT_EQ(comm->GetInspectionData(1, buf, sizeof buf), S_FALSE);
    EXPECT_EQ(comm->GetInspectionData(1, nullptr, 0), S_FALSE);
}

TEST_F(Server, UnloadOnlyWithoutObjectsLocksOrFactoryReferences) {
    auto canUnload = server.Get<Fn>("DllCanUnloadNow");
    auto getClass = server.Get<GetClassFn>("DllGetClassObject");
    EXPECT_EQ(canUnload(), S_OK);
    TComPtr<IClassFactory> factory;
    EXPECT_EQ(getClass(IID_IComm, IID_IClassFactory, factory.put_void()), CLASS_E_CLASSNOTAVAILABLE);
    ASSERT_EQ(getClass(CLSID_Comm, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    TComPtr<IUnknown> obj;
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
    TComPtr<IUnknown> outer;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(&factory), IID_IOstrelComm, obj.put_void()),
              CLASS_E_NOAGGREGATION);
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, obj.put_void()), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.reset();
    EXPECT_EQ(canUnload(), S_FALSE);  // object and lock
    obj.reset();
    EXPECT_EQ(canUnload(), S_FALSE);  // lock
    ASSERT_EQ(getClass(CLSID_Comm, IID_IClassFactory, factory.put_void()), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);  // factory reference
    factory.reset();
    EXPECT_EQ(canUnload(), S_OK);
}

TEST_F(Server, FactoryReleasedMoreOftenThanReferencedKeepsTheLockCount) {
    auto canUnload = server.Get<Fn>("DllCanUnloadNow");
    auto getClass = server.Get<GetClassFn>("DllGetClassObject");
    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClass(CLSID_Comm, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE);
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(canUnload(), S_OK);
    // One Release too many (the factory is the module's own, it stays).
    EXPECT_EQ(factory->Release(), 0u);
    EXPECT_EQ(canUnload(), S_OK) << "the lock count went below zero";
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(canUnload(), S_FALSE) << "a server lock must hold the module";
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnload(), S_OK);
}

// Identity of an object of its own: IUnknown, IDispatch and IComm are one
// pointer, and every face answers IUnknown with it.
TEST_F(Server, NotAggregatedIUnknownIsTheICommFace) {
    TComPtr<IUnknown> unk;
    ASSERT_EQ(CoCreateInstance(CLSID_Comm, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, unk.put_void()), S_OK);
    TComPtr<IDispatch> disp;
    TComPtr<IComm> comm;
    TComPtr<IOstrelComm> custom;
    ASSERT_EQ(unk.As(IID_IDispatch, disp), S_OK);
    ASSERT_EQ(unk.As(IID_IComm, comm), S_OK);
    ASSERT_EQ(unk.As(IID_IOstrelComm, custom), S_OK);
    EXPECT_EQ(static_cast<void*>(unk.get()), static_cast<void*>(disp.get()));
    EXPECT_EQ(static_cast<void*>(unk.get()), static_cast<void*>(comm.get()));
    EXPECT_NE(static_cast<void*>(unk.get()), static_cast<void*>(custom.get()));
    for (IUnknown* face : {static_cast<IUnknown*>(disp.get()), static_cast<IUnknown*>(custom.get()), unk.get()}) {
        TComPtr<IUnknown> again;
        ASSERT_EQ(face->QueryInterface(IID_IUnknown, again.put_void()), S_OK);
        EXPECT_EQ(static_cast<void*>(again.get()), static_cast<void*>(unk.get()));
    }
}

namespace {
// An outer object that aggregates a Comm object: it answers IUnknown itself
// and hands every other request to the inner object's own unknown.
struct TOuter final : IUnknown {
    ULONG Refs = 1;
    int QueryCalls = 0;
    IUnknown* Inner = nullptr;
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        ++QueryCalls;
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown) {
            *out = static_cast<IUnknown*>(this);
            AddRef();
            return S_OK;
        }
        return Inner ? Inner->QueryInterface(iid, out) : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++Refs; }
    STDMETHODIMP_(ULONG) Release() override { return --Refs; }
};
}  // namespace

TEST_F(Server, AggregatedFacesDelegateToTheOuterObject) {
    TComPtr<IClassFactory> factory;
    ASSERT_EQ(server.Get<GetClassFn>("DllGetClassObject")(CLSID_Comm, IID_IClassFactory, factory.put_void()), S_OK);
    TOuter outer;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&outer.Inner)), S_OK);
    ASSERT_NE(outer.Inner, nullptr);
    EXPECT_EQ(outer.Refs, 1u) << "creation leaves the outer object's count alone";

    // The inner unknown is separate from the faces and answers itself.
    IComm* comm = nullptr;
    ASSERT_EQ(outer.Inner->QueryInterface(IID_IComm, reinterpret_cast<void**>(&comm)), S_OK);
    EXPECT_NE(static_cast<void*>(comm), static_cast<void*>(outer.Inner));
    EXPECT_EQ(outer.Refs, 2u) << "a face's reference is the outer object's";
    IUnknown* innerAgain = nullptr;
    ASSERT_EQ(outer.Inner->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&innerAgain)), S_OK);
    EXPECT_EQ(innerAgain, outer.Inner);
    innerAgain->Release();

    // QueryInterface on a face goes to the outer object.
    const int before = outer.QueryCalls;
    IUnknown* identity = nullptr;
    ASSERT_EQ(comm->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.QueryCalls, before + 1);
    identity->Release();
    IOstrelComm* custom = nullptr;
    ASSERT_EQ(comm->QueryInterface(IID_IOstrelComm, reinterpret_cast<void**>(&custom)), S_OK);
    EXPECT_EQ(outer.QueryCalls, before + 2);
    ASSERT_EQ(custom->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer));
    identity->Release();
    EXPECT_EQ(custom->GetMaxIndex(), 0u);
    custom->Release();
    comm->Release();
    EXPECT_EQ(outer.Refs, 1u);
    EXPECT_EQ(outer.Inner->Release(), 0u);  // the object goes
}

// Registration without the fixture's own registration around it.
class Registration : public ::testing::Test {
protected:
    TComInit com{COINIT_APARTMENTTHREADED};
    TServer server;
    void SetUp() override
    {
        ASSERT_TRUE(server.module);
        server.Get<Fn>("DllUnregisterServer")();
    }
    void TearDown() override { server.Get<Fn>("DllUnregisterServer")(); }
};

TEST_F(Registration, ExactlyTheListedKeysAndValuesThenNothing)
{
    ExpectNothingLeft();
    ASSERT_EQ(server.Get<Fn>("DllRegisterServer")(), S_OK);
    ExpectListedEntries(ModulePath(server.module.get()));
    EXPECT_TRUE(KeyExists(L"Interface\\{2CBB5707-932D-42EC-81D8-CEF0507D850D}")) << "dual IComm";
    // Registering again gives the same entries.
    ASSERT_EQ(server.Get<Fn>("DllRegisterServer")(), S_OK);
    ExpectListedEntries(ModulePath(server.module.get()));
    ASSERT_EQ(server.Get<Fn>("DllUnregisterServer")(), S_OK);
    ExpectNothingLeft();
}

TEST_F(Registration, ClassKeyIsWrittenAnew)
{
    const std::wstring k = kClassKey;
    for (const std::wstring& stale : {k + L"\\LocalServer32", k + L"\\Programmable\\Old", k + L"\\Implemented Categories"}) {
        TRegKey key;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, stale.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        const wchar_t junk[] = L"junk";
        RegSetValueExW(key.get(), L"Junk", 0, REG_SZ, reinterpret_cast<const BYTE*>(junk), sizeof junk);
    }
    ASSERT_EQ(server.Get<Fn>("DllRegisterServer")(), S_OK);
    ExpectListedEntries(ModulePath(server.module.get()));
    ASSERT_EQ(server.Get<Fn>("DllUnregisterServer")(), S_OK);
    ExpectNothingLeft();
}

TEST_F(Registration, ThroughRegsvr32)
{
    const std::wstring module = ModulePath(server.module.get());
    ASSERT_EQ(Regsvr32(L"/s \"" + module + L"\""), 0u);
    ExpectListedEntries(module);
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(L"OstrelCom.Comm", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_Comm);
    TComPtr<IOstrelComm> comm;
    EXPECT_EQ(CoCreateInstance(CLSID_Comm, nullptr, CLSCTX_INPROC_SERVER, IID_IOstrelComm, comm.put_void()), S_OK);
    comm.reset();
    ASSERT_EQ(Regsvr32(L"/u /s \"" + module + L"\""), 0u);
    ExpectNothingLeft();
}
