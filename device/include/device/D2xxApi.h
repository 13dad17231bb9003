// The D2XX functions the system calls, as an interface: the real binding to
// FTD2XX.DLL lives in one Win32 file; tests plug in fakes.
#pragma once

#include <cstdint>

using FT_STATUS = std::uint32_t;   // 0 = success
using FT_HANDLE32 = std::uintptr_t;

constexpr std::uint32_t FT_LIST_NUMBER_ONLY = 0x80000000u;
constexpr std::uint32_t FT_LIST_BY_INDEX = 0x40000000u;
constexpr std::uint32_t FT_OPEN_BY_SERIAL_NUMBER = 1u;
constexpr std::uint32_t FT_OPEN_BY_DESCRIPTION = 2u;
constexpr std::uint32_t FT_PURGE_RX = 1u;
constexpr std::uint32_t FT_PURGE_TX = 2u;

class ID2xxApi {
public:
    virtual ~ID2xxApi() = default;
    // FT_ListDevices(pArg1, pArg2, flags): pArg1 is the count address or the
    // index (passed as a pointer-sized value), pArg2 the buffer or null.
    virtual FT_STATUS ListDevices(void* arg1, void* arg2, std::uint32_t flags) = 0;
    virtual FT_STATUS OpenEx(void* arg, std::uint32_t flags, FT_HANDLE32* handle) = 0;
    virtual FT_STATUS Close(FT_HANDLE32 h) = 0;
    virtual FT_STATUS Read(FT_HANDLE32 h, void* buffer, std::uint32_t count, std::uint32_t* received) = 0;
    virtual FT_STATUS Write(FT_HANDLE32 h, void* buffer, std::uint32_t count, std::uint32_t* sent) = 0;
    virtual FT_STATUS ResetDevice(FT_HANDLE32 h) = 0;
    virtual FT_STATUS SetBaudRate(FT_HANDLE32 h, std::uint32_t baud) = 0;
    virtual FT_STATUS SetDataCharacteristics(FT_HANDLE32 h, std::uint8_t wordLength, std::uint8_t stopBits, std::uint8_t parity) = 0;
    virtual FT_STATUS SetFlowControl(FT_HANDLE32 h, std::uint16_t flow, std::uint8_t xon, std::uint8_t xoff) = 0;
    virtual FT_STATUS ClrRts(FT_HANDLE32 h) = 0;
    virtual FT_STATUS ClrDtr(FT_HANDLE32 h) = 0;
    virtual FT_STATUS Purge(FT_HANDLE32 h, std::uint32_t mask) = 0;
    virtual FT_STATUS SetTimeouts(FT_HANDLE32 h, std::uint32_t readMs, std::uint32_t writeMs) = 0;
};

// The process-wide binding to FTD2XX.DLL (Windows only).  The library is
// loaded at the first call; when it or one of its functions cannot be bound,
// every call raises EFrameworkError naming the library.
ID2xxApi& D2xxLibrary();
