#pragma once
// Serial-port operations the device link needs.  One implementation talks to
// the Windows serial-port API; the tests use a scripted fake.
#include <cstdint>

namespace ostrel {

class ISerialPort {
public:
    virtual ~ISerialPort() = default;
    // Opens "COM1".."COM4" for exclusive read/write access.
    virtual bool OpenPort(const char* name) = 0;
    // SetupComm with both queues of the given size.
    virtual void SetupQueues(uint32_t size) = 0;
    // Both queues emptied, pending transfers abandoned.
    virtual void Purge() = 0;
    // Read interval MAXDWORD, total constant readTimeoutMs, no write timeout.
    virtual void SetTimeouts(uint32_t readTimeoutMs) = 0;
    // 115200 8N1, binary, DTR and RTS enabled, no flow control; the result of
    // applying the settings.
    virtual bool ConfigureLine(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) = 0;
    virtual void RaiseRts() = 0;
    virtual void ClearEventMask() = 0;
    virtual void ClosePort() = 0;
    // Counts of bytes transferred; a failed call gives 0.
    virtual uint32_t Write(const uint8_t* data, uint32_t size) = 0;
    virtual uint32_t Read(uint8_t* data, uint32_t size) = 0;
    virtual void Pause(uint32_t ms) = 0;
};

}  // namespace ostrel
