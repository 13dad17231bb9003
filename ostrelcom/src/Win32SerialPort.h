#pragma once
#include "common/Handles.h"
#include "ostrelcom/SerialPort.h"

namespace ostrel {

// Serial port through the Windows serial-port API.
class TWin32SerialPort : public ISerialPort {
public:
    bool OpenPort(const char* name) override;
    void SetupQueues(uint32_t size) override;
    void Purge() override;
    void SetTimeouts(uint32_t readTimeoutMs) override;
    bool ConfigureLine(uint32_t baud, uint8_t dataBits, uint8_t parity, uint8_t stopBits) override;
    void RaiseRts() override;
    void ClearEventMask() override;
    void ClosePort() override;
    uint32_t Write(const uint8_t* data, uint32_t size) override;
    uint32_t Read(uint8_t* data, uint32_t size) override;
    void Pause(uint32_t ms) override;

private:
    TFileHandle FHandle;
};

}  // namespace ostrel
