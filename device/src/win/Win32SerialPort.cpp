#include "device/Win32SerialPort.h"

#include "common/Errors.h"
#include "common/Handles.h"

namespace {
class TWin32SerialPort : public ISerialPort {
public:
    TWin32SerialPort(HANDLE h, bool owned) : FHandle(h), FOwned(owned ? h : INVALID_HANDLE_VALUE) {}

    bool SetTimeouts(std::uint32_t ri, std::uint32_t rm, std::uint32_t rc, std::uint32_t wm, std::uint32_t wc) override
    {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = ri;
        t.ReadTotalTimeoutMultiplier = rm;
        t.ReadTotalTimeoutConstant = rc;
        t.WriteTotalTimeoutMultiplier = wm;
        t.WriteTotalTimeoutConstant = wc;
        return ::SetCommTimeouts(FHandle, &t) != 0;
    }
    void ReadState() override
    {
        FDcb = DCB{};
        FDcb.DCBlength = sizeof(DCB);
        ::GetCommState(FHandle, &FDcb);  // result ignored: the settings below are written anyway
    }
    bool WriteState(std::uint32_t baud) override
    {
        FDcb.DCBlength = sizeof(DCB);
        FDcb.BaudRate = baud;
        FDcb.ByteSize = 8;
        FDcb.Parity = NOPARITY;
        FDcb.StopBits = ONESTOPBIT;
        return ::SetCommState(FHandle, &FDcb) != 0;
    }
    void PurgeTransmit() override { ::PurgeComm(FHandle, PURGE_TXCLEAR); }
    void Write(const TBytes& bytes) override
    {
        DWORD written = 0;
        ::WriteFile(FHandle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
    std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count) override
    {
        DWORD got = 0;
        if (!::ReadFile(FHandle, buffer, count, &got, nullptr))
            return 0;
        return got > count ? count : got;
    }

private:
    HANDLE FHandle;
    TFileHandle FOwned;
    DCB FDcb{};
};
}  // namespace

std::unique_ptr<ISerialPort> BorrowSerialPort(HANDLE handle)
{
    return std::make_unique<TWin32SerialPort>(handle, false);
}

std::unique_ptr<ISerialPort> OpenSerialPort(const std::wstring& name)
{
    HANDLE h = ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw EFrameworkError(L"cannot open comm port " + name + L": ");
    return std::make_unique<TWin32SerialPort>(h, true);
}
