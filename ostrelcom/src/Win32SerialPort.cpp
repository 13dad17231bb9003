#include "Win32SerialPort.h"

namespace ostrel {

bool TWin32SerialPort::OpenPort(const char* name) {
    FHandle.reset(CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    return static_cast<bool>(FHandle);
}

void TWin32SerialPort::SetupQueues(uint32_t size) { SetupComm(FHandle.get(), size, size); }

void TWin32SerialPort::Purge() {
    PurgeComm(FHandle.get(), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

void TWin32SerialPort::SetTimeouts(uint32_t readTimeoutMs) {
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = 0;
    t.ReadTotalTimeoutConstant = readTimeoutMs;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(FHandle.get(), &t);
}

bool TWin32SerialPort::ConfigureLine(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    GetCommState(FHandle.get(), &dcb);
    dcb.BaudRate = baud;
    dcb.ByteSize = dataBits;
    dcb.Parity = parity;
    dcb.StopBits = stopBits;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.XonLim = 100;
    dcb.XoffLim = 100;
    return SetCommState(FHandle.get(), &dcb) != FALSE;
}

void TWin32SerialPort::RaiseRts() { EscapeCommFunction(FHandle.get(), SETRTS); }

void TWin32SerialPort::ClearEventMask() { SetCommMask(FHandle.get(), 0); }

void TWin32SerialPort::ClosePort() { FHandle.reset(); }

uint32_t TWin32SerialPort::Write(const uint8_t* data, uint32_t size) {
    DWORD done = 0;
    if (!WriteFile(FHandle.get(), data, size, &done, nullptr)) return 0;
    return done;
}

uint32_t TWin32SerialPort::Read(uint8_t* data, uint32_t size) {
    DWORD done = 0;
    if (!ReadFile(FHandle.get(), data, size, &done, nullptr)) return 0;
    return done <= size ? done : 0;
}

void TWin32SerialPort::Pause(uint32_t ms) { Sleep(ms); }

}  // namespace ostrel
