#include <gtest/gtest.h>

#include "FakeD2xx.h"
#include "common/Errors.h"
#include "device/D2XXUnit.h"

namespace {
std::wstring ErrorText(const std::string& name, FT_STATUS status)
{
    try {
        ReportFTError(name, status);
    } catch (const EFrameworkError& e) {
        return e.Message();
    }
    return L"<no error>";
}

// Every status of the table, the text written out in full (row 8 and 9
// without the dash, row 17 with a blank before the dots); 0 raises nothing,
// a status beyond the table raises an empty text.
TEST(ReportFTError, StatusTable)
{
    struct Row {
        FT_STATUS status;
        const char* name;
        const wchar_t* text;
    };
    const Row rows[] = {
        {0, "X", L"<no error>"},
        {1, "FT_Purge TX", L"FT_Purge TX - Invalid handle..."},
        {2, "Open_USB_Device_By_Serial_Number", L"Open_USB_Device_By_Serial_Number - Device not found..."},
        {3, "X", L"X - Device not opened..."},
        {4, "X", L"X - General IO error..."},
        {5, "X", L"X - Insufficient resources..."},
        {6, "X", L"X - Invalid parameter..."},
        {7, "X", L"X - Invalid baud rate..."},
        {8, "X", L"X Device not opened for erase..."},
        {9, "X", L"X Device not opened for write..."},
        {10, "X", L"X - Failed to write..."},
        {11, "X", L"X - EEPROM read failed..."},
        {12, "X", L"X - EEPROM write failed..."},
        {13, "X", L"X - EEPROM erase failed..."},
        {14, "X", L"X - EEPROM not present..."},
        {15, "X", L"X - EEPROM not programmed..."},
        {16, "X", L"X - Invalid arguments..."},
        {17, "FT_Close", L"FT_Close - Other error ..."},
        {18, "X", L""},
        {0xFFFFFFFFu, "X", L""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(ErrorText(r.name, r.status), r.text) << "status " << r.status;
}

struct TWrapperRow {
    const char* Op;       // fake operation key to fail
    const wchar_t* Text;  // expected error text
    void (*Call)(TD2XXUnit&);
};

class WrapperNames : public ::testing::TestWithParam<TWrapperRow> {};

TEST_P(WrapperNames, FailureNamesOperation)
{
    TFakeD2xx fake;
    fake.Converters = {{"ECG", "A1"}};
    fake.Fail[GetParam().Op] = 4;
    TD2XXUnit unit(fake);
    try {
        GetParam().Call(unit);
        FAIL() << GetParam().Op << ": no error";
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), std::wstring(GetParam().Text) + L" - General IO error...") << GetParam().Op;
    }
}

INSTANTIATE_TEST_SUITE_P(All, WrapperNames, ::testing::Values(
    TWrapperRow{"count", L"GetFTDeviceCount", [](TD2XXUnit& u) { u.GetFTDeviceCount(); }},
    TWrapperRow{"serial:0", L"GetFTDeviceSerialNo", [](TD2XXUnit& u) { u.GetFTDeviceSerialNo(0); }},
    TWrapperRow{"desc:0", L"GetFTDeviceDescription", [](TD2XXUnit& u) { u.GetFTDeviceDescription(0); }},
    TWrapperRow{"open", L"Open_USB_Device_By_Serial_Number", [](TD2XXUnit& u) { u.Open_USB_Device_By_Serial_Number("A1"); }},
    TWrapperRow{"close", L"FT_Close", [](TD2XXUnit& u) { u.CloseFTDevice(); }},
    TWrapperRow{"read", L"FT_Read", [](TD2XXUnit& u) { u.ReadFTDevice(2); }},
    TWrapperRow{"write", L"FT_Write", [](TD2XXUnit& u) { u.WriteFTDevice(2); }},
    TWrapperRow{"reset", L"FT_ResetDevice", [](TD2XXUnit& u) { u.ResetFTDevice(); }},
    TWrapperRow{"baud", L"FT_SetBaudRate", [](TD2XXUnit& u) { u.SetFTBaudRate(); }},
    TWrapperRow{"data", L"FT_SetDataCharacteristics", [](TD2XXUnit& u) { u.SetFTDataCharacteristics(); }},
    TWrapperRow{"flow", L"FT_SetFlowControl", [](TD2XXUnit& u) { u.SetFTFlowControl(); }},
    TWrapperRow{"clrrts", L"FT_ClrRTS", [](TD2XXUnit& u) { u.ClearFTRTS(); }},
    TWrapperRow{"clrdtr", L"FT_ClrDTR", [](TD2XXUnit& u) { u.ClearFTDTR(); }},
    TWrapperRow{"purge1", L"FT_Purge RX", [](TD2XXUnit& u) { u.PurgeFTReceive(); }},
    TWrapperRow{"purge2", L"FT_Purge TX", [](TD2XXUnit& u) { u.PurgeFTTransmit(); }},
    TWrapperRow{"timeouts", L"FT_SetTimeouts", [](TD2XXUnit& u) { u.SetFTTimeouts(1, 2); }}));

TEST(D2XXUnit, SerialNumberCutTo49)
{
    TFakeD2xx fake;
    TD2XXUnit unit(fake);
    const std::string sixty(60, 'S');
    EXPECT_THROW(unit.Open_USB_Device_By_Serial_Number(sixty), EFrameworkError);  // not attached: status 2
    EXPECT_EQ(fake.LastOpenArg, std::string(49, 'S'));
}

TEST(D2XXUnit, ShortReadKeepsRestOfBuffer)
{
    TFakeD2xx fake;
    TD2XXUnit unit(fake);
    unit.FTInBuffer[0] = 0x11;
    unit.FTInBuffer[1] = 0x22;
    fake.Replies.push_back({0x7E});
    EXPECT_EQ(unit.ReadFTDevice(2), 1u);
    EXPECT_EQ(unit.FTInBuffer[0], 0x7E);
    EXPECT_EQ(unit.FTInBuffer[1], 0x22);
    EXPECT_EQ(unit.FTIOStatus, 0u);
}

TEST(D2XXUnit, FailingReadStoresStatus)
{
    TFakeD2xx fake;
    fake.Fail["read"] = 3;
    TD2XXUnit unit(fake);
    EXPECT_THROW(unit.ReadFTDevice(2), EFrameworkError);
    EXPECT_EQ(unit.FTIOStatus, 3u);
}

TEST(D2XXUnit, FailingDescriptionKeepsDeviceString)
{
    TFakeD2xx fake;
    fake.Converters = {{"ECG", "A1"}};
    fake.Fail["desc:0"] = 1;
    TD2XXUnit unit(fake);
    unit.FTDeviceString = "before";
    EXPECT_THROW(unit.GetFTDeviceDescription(0), EFrameworkError);
    EXPECT_EQ(unit.FTDeviceString, "before");
}

TEST(D2XXUnit, SettersPassVariablesInOrder)
{
    TFakeD2xx fake;
    TD2XXUnit unit(fake);
    unit.FTHandle = 0x42;
    unit.FTBaudRate = 9600;
    unit.FTDataBits = 7;
    unit.FTStopBits = 2;
    unit.FTParity = 1;
    unit.FTFlowControl = 0x100;
    EXPECT_EQ(unit.SetFTBaudRate(), 0u);
    unit.SetFTDataCharacteristics();
    unit.SetFTFlowControl();
    unit.SetFTTimeouts(500, 300);
    unit.CloseFTDevice();
    EXPECT_EQ(fake.Calls, (std::vector<std::string>{"baud 42 9600", "data 42 7 2 1", "flow 42 256 11 13",
                                                    "timeouts 42 500 300", "close 42"}));
    EXPECT_EQ(unit.FTHandle, 0x42u);  // not cleared on close
}
}  // namespace
