#include "device/D2XXUnit.h"

#include <cstring>

#include "common/Errors.h"

void ReportFTError(const std::string& operationName, FT_STATUS status)
{
    static const char* const kSuffix[18] = {
        "",
        " - Invalid handle...",
        " - Device not found...",
        " - Device not opened...",
        " - General IO error...",
        " - Insufficient resources...",
        " - Invalid parameter...",
        " - Invalid baud rate...",
        " Device not opened for erase...",
        " Device not opened for write...",
        " - Failed to write...",
        " - EEPROM read failed...",
        " - EEPROM write failed...",
        " - EEPROM erase failed...",
        " - EEPROM not present...",
        " - EEPROM not programmed...",
        " - Invalid arguments...",
        " - Other error ...",
    };
    if (status == 0)
        return;
    std::string text;
    if (status <= 17)
        text = operationName + kSuffix[status];
    // Operation names and suffixes are ASCII: widening is the code-page conversion.
    throw EFrameworkError(std::wstring(text.begin(), text.end()));
}

namespace {
void* IndexArg(std::uint32_t index)
{
    return reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
}

template <std::size_t N>
std::string AreaText(const std::array<char, N>& area)
{
    const void* zero = std::memchr(area.data(), 0, N);
    const std::size_t len = zero ? static_cast<const char*>(zero) - area.data() : N;
    return std::string(area.data(), len);
}
}  // namespace

FT_STATUS TD2XXUnit::GetFTDeviceCount()
{
    FT_STATUS st = FApi->ListDevices(&FTDeviceCount, nullptr, FT_LIST_NUMBER_ONLY);
    ReportFTError("GetFTDeviceCount", st);
    return st;
}

FT_STATUS TD2XXUnit::GetFTDeviceSerialNo(std::uint32_t index)
{
    FT_STATUS st = FApi->ListDevices(IndexArg(index), SerialArea.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_SERIAL_NUMBER);
    ReportFTError("GetFTDeviceSerialNo", st);
    FTDeviceString = AreaText(SerialArea);
    return st;
}

FT_STATUS TD2XXUnit::GetFTDeviceDescription(std::uint32_t index)
{
    FT_STATUS st = FApi->ListDevices(IndexArg(index), DescriptionArea.data(), FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION);
    ReportFTError("GetFTDeviceDescription", st);
    FTDeviceString = AreaText(DescriptionArea);
    return st;
}

FT_STATUS TD2XXUnit::Open_USB_Device_By_Serial_Number(const std::string& serial)
{
    OpenSerialArea[0] = 0;
    const std::size_t n = serial.size() < 49 ? serial.size() : 49;
    if (n > 0) {
        std::memcpy(OpenSerialArea.data(), serial.data(), n);
        OpenSerialArea[n] = 0;
    }
    FT_STATUS st = FApi->OpenEx(OpenSerialArea.data(), FT_OPEN_BY_SERIAL_NUMBER, &FTHandle);
    ReportFTError("Open_USB_Device_By_Serial_Number", st);
    return st;
}

FT_STATUS TD2XXUnit::CloseFTDevice()
{
    FT_STATUS st = FApi->Close(FTHandle);
    ReportFTError("FT_Close", st);
    return st;
}

std::uint32_t TD2XXUnit::ReadFTDevice(std::uint32_t count)
{
    if (count > FTInBuffer.size())
        count = static_cast<std::uint32_t>(FTInBuffer.size());
    std::uint32_t received = 0;
    FTIOStatus = FApi->Read(FTHandle, FTInBuffer.data(), count, &received);
    ReportFTError("FT_Read", FTIOStatus);
    return received > count ? count : received;
}

std::uint32_t TD2XXUnit::WriteFTDevice(std::uint32_t count)
{
    if (count > FTOutBuffer.size())
        count = static_cast<std::uint32_t>(FTOutBuffer.size());
    std::uint32_t sent = 0;
    FTIOStatus = FApi->Write(FTHandle, FTOutBuffer.data(), count, &sent);
    ReportFTError("FT_Write", FTIOStatus);
    return sent;
}

FT_STATUS TD2XXUnit::ResetFTDevice()
{
    FT_STATUS st = FApi->ResetDevice(FTHandle);
    ReportFTError("FT_ResetDevice", st);
    return st;
}

FT_STATUS TD2XXUnit::SetFTBaudRate()
{
    FT_STATUS st = FApi->SetBaudRate(FTHandle, FTBaudRate);
    ReportFTError("FT_SetBaudRate", st);
    return st;
}

FT_STATUS TD2XXUnit::SetFTDataCharacteristics()
{
    FT_STATUS st = FApi->SetDataCharacteristics(FTHandle, FTDataBits, FTStopBits, FTParity);
    ReportFTError("FT_SetDataCharacteristics", st);
    return st;
}

FT_STATUS TD2XXUnit::SetFTFlowControl()
{
    FT_STATUS st = FApi->SetFlowControl(FTHandle, FTFlowControl, FTXonChar, FTXoffChar);
    ReportFTError("FT_SetFlowControl", st);
    return st;
}

FT_STATUS TD2XXUnit::ClearFTRTS()
{
    FT_STATUS st = FApi->ClrRts(FTHandle);
    ReportFTError("FT_ClrRTS", st);
    return st;
}

FT_STATUS TD2XXUnit::ClearFTDTR()
{
    FT_STATUS st = FApi->ClrDtr(FTHandle);
    ReportFTError("FT_ClrDTR", st);
    return st;
}

FT_STATUS TD2XXUnit::PurgeFTReceive()
{
    FT_STATUS st = FApi->Purge(FTHandle, FT_PURGE_RX);
    ReportFTError("FT_Purge RX", st);
    return st;
}

FT_STATUS TD2XXUnit::PurgeFTTransmit()
{
    FT_STATUS st = FApi->Purge(FTHandle, FT_PURGE_TX);
    ReportFTError("FT_Purge TX", st);
    return st;
}

FT_STATUS TD2XXUnit::SetFTTimeouts(std::uint32_t readMs, std::uint32_t writeMs)
{
    FT_STATUS st = FApi->SetTimeouts(FTHandle, readMs, writeMs);
    ReportFTError("FT_SetTimeouts", st);
    return st;
}
