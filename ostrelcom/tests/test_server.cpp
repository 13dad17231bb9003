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

// The type library embedded in the module, read back: the library's
// attributes and texts, the class with its two interfaces in order, the dual
// IComm without members, and IOstrelComm's five methods (member ids 1 to 5,
// help string "property rect", parameters without direction attributes).
std::wstring Doc(ITypeInfo* info, MEMBERID id, std::wstring* help = nullptr) {
    TBStr name, doc;
    if (FAILED(info->GetDocumentation(id, name.put(), doc.put(), nullptr, nullptr))) return L"<no documentation>";
    if (help) *help = doc.c_str();
    return name.c_str();
}

TEST(TypeLibrary, EmbeddedLibraryReadBack) {
    wchar_t path[MAX_PATH] = {};
    TModuleHandle module{LoadLibraryW(L"OstrelCom.dll")};
    ASSERT_TRUE(module);
    ASSERT_GT(GetModuleFileNameW(module.get(), path, MAX_PATH), 0u);
    TComPtr<ITypeLib> lib;
    ASSERT_EQ(LoadTypeLibEx(path, REGKIND_NONE, lib.put()), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, LIBID_OSTRELCOMLib);
    EXPECT_EQ(attr->lcid, LCID(0x0409));
    EXPECT_EQ(attr->syskind, sizeof(void*) == 4 ? SYS_WIN32 : SYS_WIN64) << "the library of the module's own platform";
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    lib->ReleaseTLibAttr(attr);
    {
        TBStr name, doc;
        ASSERT_EQ(lib->GetDocumentation(-1, name.put(), doc.put(), nullptr, nullptr), S_OK);
        EXPECT_STREQ(name.c_str(), L"OSTRELCOMLib");
        EXPECT_STREQ(doc.c_str(), L"OstrelCom 1.0 Type Library");
    }

    struct TKind { const IID* id; TYPEKIND kind; WORD flagsSet, flagsClear; const wchar_t* name; const wchar_t* help; };
    const TKind kinds[] = {
        {&CLSID_Comm, TKIND_COCLASS, TYPEFLAG_FCANCREATE, 0, L"Comm", L"Comm Class"},
        {&IID_IComm, TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FDISPATCHABLE, 0, L"IComm", L"IComm Interface"},
        {&IID_IOstrelComm, TKIND_INTERFACE, 0, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION, L"IOstrelComm", L"IComm Interface"},
    };
    for (const TKind& k : kinds) {
        TComPtr<ITypeInfo> info;
        ASSERT_EQ(lib->GetTypeInfoOfGuid(*k.id, info.put()), S_OK) << k.name;
        TYPEATTR* ta = nullptr;
        ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
        EXPECT_EQ(ta->typekind, k.kind) << k.name;
        EXPECT_EQ(ta->wTypeFlags & k.flagsSet, k.flagsSet) << k.name << " flags " << ta->wTypeFlags;
        EXPECT_EQ(ta->wTypeFlags & k.flagsClear, 0) << k.name << " flags " << ta->wTypeFlags;
        const WORD funcs = ta->cFuncs, impl = ta->cImplTypes;
        info->ReleaseTypeAttr(ta);
        std::wstring help;
        EXPECT_EQ(Doc(info.get(), MEMBERID_NIL, &help), k.name);
        EXPECT_EQ(help, k.help) << k.name;
        if (k.kind == TKIND_COCLASS) {
            ASSERT_EQ(impl, 2) << "IComm and IOstrelComm";
            const IID* order[] = {&IID_IComm, &IID_IOstrelComm};
            for (UINT i = 0; i < 2; ++i) {
                HREFTYPE ref = 0;
                ASSERT_EQ(info->GetRefTypeOfImplType(i, &ref), S_OK);
                TComPtr<ITypeInfo> face;
                ASSERT_EQ(info->GetRefTypeInfo(ref, face.put()), S_OK);
                TYPEATTR* fa = nullptr;
                ASSERT_EQ(face->GetTypeAttr(&fa), S_OK);
                EXPECT_EQ(fa->guid, *order[i]) << "implemented interface " << i;
                face->ReleaseTypeAttr(fa);
                INT implFlags = 0;
                ASSERT_EQ(info->GetImplTypeFlags(i, &implFlags), S_OK);
                EXPECT_EQ((implFlags & IMPLTYPEFLAG_FDEFAULT) != 0, i == 0) << "IComm is the default";
            }
        } else if (k.kind == TKIND_DISPATCH) {
            EXPECT_EQ(funcs, 7) << "IUnknown and IDispatch only, no members of its own";
        } else {
            ASSERT_EQ(funcs, 5);
            struct TMethod { const wchar_t* name; SHORT params; VARTYPE result; };
            const TMethod methods[] = {{L"ReadOstrelInfo", 1, VT_HRESULT}, {L"GetMaxIndex", 0, VT_UI4},
                                       {L"GetMinIndex", 0, VT_UI4}, {L"GetInspectionSize", 1, VT_UI4},
                                       {L"GetInspectionData", 3, VT_HRESULT}};
            for (UINT f = 0; f < 5; ++f) {
                FUNCDESC* fd = nullptr;
                ASSERT_EQ(info->GetFuncDesc(f, &fd), S_OK);
                EXPECT_EQ(fd->memid, MEMBERID(f + 1)) << methods[f].name;
                EXPECT_EQ(fd->cParams, methods[f].params) << methods[f].name;
                EXPECT_EQ(fd->elemdescFunc.tdesc.vt, methods[f].result) << methods[f].name;
                EXPECT_EQ(fd->oVft, SHORT((3 + f) * sizeof(void*))) << methods[f].name << ": slot after IUnknown";
                for (SHORT p = 0; p < fd->cParams; ++p)
                    EXPECT_EQ(fd->lprgelemdescParam[p].paramdesc.wParamFlags & (PARAMFLAG_FIN | PARAMFLAG_FOUT), 0)
                        << methods[f].name << " parameter " << p;
                std::wstring mhelp;
                EXPECT_EQ(Doc(info.get(), fd->memid, &mhelp), methods[f].name);
                EXPECT_EQ(mhelp, L"property rect") << methods[f].name;
                info->ReleaseFuncDesc(fd);
            }
        }
    }
}

// Every field of the module's version record.
TEST(VersionRecord, EveryField) {
    wchar_t path[MAX_PATH] = {};
    TModuleHandle module{LoadLibraryW(L"OstrelCom.dll")};
    ASSERT_TRUE(module);
    ASSERT_GT(GetModuleFileNameW(module.get(), path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> data(size);
    ASSERT_TRUE(GetFileVersionInfoW(path, 0, size, data.data()));
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
    struct { WORD lang, cp; }* tr = nullptr;
    ASSERT_TRUE(VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&tr), &len));
    ASSERT_GE(len, 4u);
    EXPECT_EQ(tr->lang, 0x0409);
    EXPECT_EQ(tr->cp, 1200) << "Unicode";
    const std::pair<const wchar_t*, const wchar_t*> fields[] = {
        {L"FileDescription", L"OstrelCom Module"}, {L"ProductName", L"OstrelCom Module"},
        {L"FileVersion", L"1, 0, 0, 1"},           {L"ProductVersion", L"1, 0, 0, 1"},
        {L"InternalName", L"OstrelCom"},           {L"OriginalFilename", L"OstrelCom.DLL"},
        {L"CompanyName", L""},                     {L"OLESelfRegister", L""},
    };
    for (const auto& f : fields) {
        wchar_t* value = nullptr;
        UINT n = 0;
        const std::wstring key = std::wstring(L"\\StringFileInfo\\040904B0\\") + f.first;
        ASSERT_TRUE(VerQueryValueW(data.data(), key.c_str(), reinterpret_cast<void**>(&value), &n)) << key;
        EXPECT_EQ(std::wstring(value, wcsnlen(value, n)), f.second) << key;
    }
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
