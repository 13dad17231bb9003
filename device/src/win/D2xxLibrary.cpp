// Binding to the converter driver library FTD2XX.DLL.  The library is loaded
// at the first call, not at program load, so that programs start on machines
// where the driver is not installed; until it can be loaded, every call
// raises EFrameworkError naming the library.
#include "device/D2XXUnit.h"

#include "common/Errors.h"
#include "common/Handles.h"

namespace {
using PListDevices = ULONG(WINAPI*)(PVOID, PVOID, DWORD);
using POpenEx = ULONG(WINAPI*)(PVOID, DWORD, PVOID*);
using PHandleOnly = ULONG(WINAPI*)(PVOID);
using PReadWrite = ULONG(WINAPI*)(PVOID, LPVOID, DWORD, LPDWORD);
using PULong = ULONG(WINAPI*)(PVOID, ULONG);
using PDataChars = ULONG(WINAPI*)(PVOID, UCHAR, UCHAR, UCHAR);
using PFlow = ULONG(WINAPI*)(PVOID, USHORT, UCHAR, UCHAR);
using PTimeouts = ULONG(WINAPI*)(PVOID, ULONG, ULONG);

const wchar_t* const kLibrary = L"FTD2XX.DLL";

PVOID H(FT_HANDLE32 h) { return reinterpret_cast<PVOID>(h); }

class TD2xxLibrary : public ID2xxApi {
public:
    FT_STATUS ListDevices(void* a1, void* a2, std::uint32_t flags) override
    {
        return Fn<PListDevices>("FT_ListDevices")(a1, a2, flags);
    }
    FT_STATUS OpenEx(void* arg, std::uint32_t flags, FT_HANDLE32* handle) override
    {
        PVOID h = H(*handle);
        ULONG st = Fn<POpenEx>("FT_OpenEx")(arg, flags, &h);
        *handle = reinterpret_cast<FT_HANDLE32>(h);
        return st;
    }
    FT_STATUS Close(FT_HANDLE32 h) override { return Fn<PHandleOnly>("FT_Close")(H(h)); }
    FT_STATUS Read(FT_HANDLE32 h, void* b, std::uint32_t n, std::uint32_t* got) override
    {
        DWORD d = 0;
        ULONG st = Fn<PReadWrite>("FT_Read")(H(h), b, n, &d);
        *got = d;
        return st;
    }
    FT_STATUS Write(FT_HANDLE32 h, void* b, std::uint32_t n, std::uint32_t* sent) override
    {
        DWORD d = 0;
        ULONG st = Fn<PReadWrite>("FT_Write")(H(h), b, n, &d);
        *sent = d;
        return st;
    }
    FT_STATUS ResetDevice(FT_HANDLE32 h) override { return Fn<PHandleOnly>("FT_ResetDevice")(H(h)); }
    FT_STATUS SetBaudRate(FT_HANDLE32 h, std::uint32_t b) override { return Fn<PULong>("FT_SetBaudRate")(H(h), b); }
    FT_STATUS SetDataCharacteristics(FT_HANDLE32 h, std::uint8_t w, std::uint8_t s, std::uint8_t p) override
    {
        return Fn<PDataChars>("FT_SetDataCharacteristics")(H(h), w, s, p);
    }
    FT_STATUS SetFlowControl(FT_HANDLE32 h, std::uint16_t f, std::uint8_t x, std::uint8_t y) override
    {
        return Fn<PFlow>("FT_SetFlowControl")(H(h), f, x, y);
    }
    FT_STATUS ClrRts(FT_HANDLE32 h) override { return Fn<PHandleOnly>("FT_ClrRts")(H(h)); }
    FT_STATUS ClrDtr(FT_HANDLE32 h) override { return Fn<PHandleOnly>("FT_ClrDtr")(H(h)); }
    FT_STATUS Purge(FT_HANDLE32 h, std::uint32_t m) override { return Fn<PULong>("FT_Purge")(H(h), m); }
    FT_STATUS SetTimeouts(FT_HANDLE32 h, std::uint32_t r, std::uint32_t w) override
    {
        return Fn<PTimeouts>("FT_SetTimeouts")(H(h), r, w);
    }

private:
    template <class F>
    F Fn(const char* name)
    {
        if (!FModule) {
            FModule.reset(::LoadLibraryW(kLibrary));
            if (!FModule)
                throw EFrameworkError(L"Не удалось загрузить библиотеку FTD2XX.DLL");
        }
        FARPROC p = ::GetProcAddress(FModule.get(), name);
        if (!p) {
            std::string n(name);
            throw EFrameworkError(L"В библиотеке FTD2XX.DLL нет функции " + std::wstring(n.begin(), n.end()));
        }
        return reinterpret_cast<F>(reinterpret_cast<void*>(p));
    }

    TModuleHandle FModule;
};
}  // namespace

ID2xxApi& D2xxLibrary()
{
    static TD2xxLibrary library;
    return library;
}

TD2XXUnit& D2XXUnit()
{
    static TD2XXUnit* unit = new TD2XXUnit(D2xxLibrary());  // lives to the process end
    return *unit;
}
