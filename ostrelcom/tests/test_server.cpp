// The server DLL under Wine: registration, creation by ProgID, lifetime and
// interfaces.  Loads OstrelCom.dll from the test program's folder.
#include <gtest/gtest.h>

#include <string>

#include "OstrelCom.h"
#include "common/Handles.h"

namespace {
using Fn = HRESULT(WINAPI*)();
using GetClassFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

struct TServer {
    TModuleHandle module{LoadLibraryW(L"OstrelCom.dll")};
    template <class F> F Get(const char* name) { return reinterpret_cast<F>(GetProcAddress(module.get(), name)); }
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
    // No device on the port: S_FALSE, nothing read.
    EXPECT_EQ(comm->ReadOstrelInfo(3), S_FALSE);
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
