// Wrapper around the USB serial converter's D2XX library: one process-wide
// current converter with its line settings and buffers.  Every operation
// calls one D2XX function and turns a failure status into EFrameworkError.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "device/D2xxApi.h"

// Raises EFrameworkError(name + suffix) for status 1..17, EFrameworkError("")
// above 17; returns for status 0.
void ReportFTError(const std::string& operationName, FT_STATUS status);

class TD2XXUnit {
public:
    explicit TD2XXUnit(ID2xxApi& api) : FApi(&api) {}

    ID2xxApi& Api() { return *FApi; }

    FT_HANDLE32 FTHandle = 0;
    FT_STATUS FTIOStatus = 0;
    std::uint32_t FTDeviceCount = 0;
    std::string FTDeviceString;  // 8-bit text, ANSI code page
    std::array<char, 16> SerialArea{};
    std::array<char, 64> DescriptionArea{};
    std::array<char, 50> OpenSerialArea{};
    std::array<std::uint8_t, 65536> FTInBuffer{};
    std::array<std::uint8_t, 65536> FTOutBuffer{};
    std::uint32_t FTBaudRate = 0;
    std::uint8_t FTDataBits = 0;
    std::uint8_t FTStopBits = 0;
    std::uint8_t FTParity = 0;
    std::uint16_t FTFlowControl = 0;
    std::uint8_t FTXonChar = 0x11;
    std::uint8_t FTXoffChar = 0x13;

    FT_STATUS GetFTDeviceCount();
    FT_STATUS GetFTDeviceSerialNo(std::uint32_t index);
    FT_STATUS GetFTDeviceDescription(std::uint32_t index);
    FT_STATUS Open_USB_Device_By_Serial_Number(const std::string& serial);
    FT_STATUS CloseFTDevice();
    std::uint32_t ReadFTDevice(std::uint32_t count);
    std::uint32_t WriteFTDevice(std::uint32_t count);
    FT_STATUS ResetFTDevice();
    FT_STATUS SetFTBaudRate();
    FT_STATUS SetFTDataCharacteristics();
    FT_STATUS SetFTFlowControl();
    FT_STATUS ClearFTRTS();
    FT_STATUS ClearFTDTR();
    FT_STATUS PurgeFTReceive();
    FT_STATUS PurgeFTTransmit();
    FT_STATUS SetFTTimeouts(std::uint32_t readMs, std::uint32_t writeMs);

private:
    ID2xxApi* FApi;
};

// The process-wide instance bound to FTD2XX.DLL (Windows only).
TD2XXUnit& D2XXUnit();
