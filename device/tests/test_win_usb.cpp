// The real FTD2XX.DLL binding against the replacement library beside the test
// program: scenario in, recorded calls out.
#include <gtest/gtest.h>

#include <string>

#include "WinHost.h"
#include "common/Errors.h"
#include "device/D2XXUnit.h"

namespace {
using PSetScenario = void(WINAPI*)(const char*);
using PGetLog = int(WINAPI*)(char*, int, int);

class SimulatedUsb : public ::testing::Test {
protected:
    void SetUp() override
    {
        Module = ::LoadLibraryW(L"FTD2XX.DLL");
        ASSERT_NE(Module, nullptr);
        SetScenario = reinterpret_cast<PSetScenario>(reinterpret_cast<void*>(::GetProcAddress(Module, "SimSetScenario")));
        GetLog = reinterpret_cast<PGetLog>(reinterpret_cast<void*>(::GetProcAddress(Module, "SimGetLog")));
        ASSERT_NE(SetScenario, nullptr);
        ASSERT_NE(GetLog, nullptr);
    }
    void TearDown() override { ::FreeLibrary(Module); }

    std::string Log()
    {
        std::string s(1 << 16, '\0');
        int n = GetLog(s.data(), static_cast<int>(s.size()), 1);
        s.resize(n < static_cast<int>(s.size()) ? n : s.size() - 1);
        return s;
    }

    HMODULE Module = nullptr;
    PSetScenario SetScenario = nullptr;
    PGetLog GetLog = nullptr;
    TWinHost Host;
    std::wstring Mode = L"sentinel";
    std::int32_t Prog = 4242;
    TCardioQueries Q{Host, D2XXUnit(), TCardioCaches{Mode, Prog}};
};

TEST_F(SimulatedUsb, ModeQueryLineAndSequence)
{
    SetScenario("device ECG A1 mode=0x0021\n");
    EXPECT_EQ(Q.GetFTMode(0, true), L"Режим работы:\rКонтроль обрывов электродов включен\rЧастота работы 500Гц\r");
    EXPECT_EQ(Log(),
              "FT_ListDevices count\n"
              "FT_ListDevices 0 description\n"
              "FT_ListDevices 0 description\n"
              "FT_ListDevices 0 serial\n"
              "FT_OpenEx A1 flags=1\n"
              "FT_ResetDevice 1\n"
              "FT_Purge 1 3\n"
              "FT_SetBaudRate 1 230400\n"
              "FT_SetDataCharacteristics 1 8 2 0\n"
              "FT_SetFlowControl 1 0 11 13\n"
              "FT_SetTimeouts 1 500 500\n"
              "FT_ClrRts 1\n"
              "FT_ClrDtr 1\n"
              "FT_Write 1 55 08\n"
              "FT_Purge 1 2\n"
              "FT_Purge 1 1\n"
              "FT_Write 1 55 02\n"
              "FT_Purge 1 2\n"
              "FT_Write 1 55 02\n"
              "FT_Read 1 1\n"
              "FT_Read 1 2\n"
              "FT_ResetDevice 1\n"
              "FT_Close 1\n");
}

TEST_F(SimulatedUsb, ThreeConvertersOneForeign)
{
    SetScenario("device ECG A1 version=0x0101\ndevice USB_Serial_Port F9\ndevice QUORVEL-PC C3 version=0x0203\n");
    EXPECT_EQ(Q.GetCMCount(), 2);
    EXPECT_EQ(Q.GetFTSerialNumber(), (std::vector<std::wstring>{L"A1", L"C3"}));
    Log();
    EXPECT_EQ(Q.GetFTProgram(1, true), 0x0203);
    EXPECT_NE(Log().find("FT_OpenEx C3"), std::string::npos);
    EXPECT_EQ(Q.GetFTProgram(0, true), 0x0101);
}

TEST_F(SimulatedUsb, ProgramFFFFAndRequery)
{
    SetScenario("device QUORVEL-12D A1 version=0xFFFF\n");
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    Log();
    SetScenario("device QUORVEL-12D A1 version=0x0102\n");
    EXPECT_EQ(Q.GetFTProgram(0, false), 0x0102);
    EXPECT_EQ(Q.GetFTProgram(0, false), 0x0102);
    const std::string log = Log();
    EXPECT_EQ(log.find("FT_OpenEx"), log.rfind("FT_OpenEx"));  // the second call came from the cache
}

TEST_F(SimulatedUsb, ShortModeReplyAndFailingWrite)
{
    SetScenario("device ECG A1 mode=0x21 modereply=short\n");
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(Mode, L"");
    SetScenario("device ECG A1\nfail FT_Write 4\n");
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    const std::string log = Log();
    EXPECT_EQ(log.substr(log.size() - 11), "FT_Close 1\n");  // closed on the error path
}

TEST_F(SimulatedUsb, WrapperErrorText)
{
    SetScenario("fail FT_ListDevices 17\n");
    try {
        D2XXUnit().GetFTDeviceCount();
        FAIL();
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), L"GetFTDeviceCount - Other error ...");
    }
}
TEST_F(SimulatedUsb, ProgramQueryExactSequence)
{
    SetScenario("device ECG A1 version=0x0304\ninstant\n");
    EXPECT_EQ(Q.GetFTProgram(0, true), 0x0304);
    const std::string log = Log();
    const std::string tail = log.substr(log.find("FT_ClrDtr 1\n"));
    EXPECT_EQ(tail,
              "FT_ClrDtr 1\n"
              "FT_Write 1 55 08\n"
              "FT_Write 1 55 08\n"
              "FT_Purge 1 2\n"
              "FT_Write 1 55 0F\n"
              "FT_Read 1 2\n"
              "FT_Purge 1 2\n"
              "FT_Write 1 55 0F\n"
              "FT_Read 1 2\n"
              "FT_ResetDevice 1\n"
              "FT_Close 1\n");
}

TEST_F(SimulatedUsb, OneByteVersionReplyIsNoVersion)
{
    SetScenario("device ECG A1 version=0x0304 verreply=one\ninstant\n");
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    EXPECT_EQ(Prog, -1);
}

TEST_F(SimulatedUsb, SilentDeviceGivesVersionZeroAndEmptyMode)
{
    SetScenario("device ECG A1 modereply=none verreply=none\n");
    EXPECT_EQ(Q.GetFTProgram(0, true), 0);
    EXPECT_EQ(Q.GetFTProgram(0, false), 0);  // a cached 0 is answered without a query
    Log();
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(Mode, L"");
}

TEST_F(SimulatedUsb, ResetFailureAfterOpenClosesConverter)
{
    SetScenario("device ECG A1\nfail FT_ResetDevice 4 1\n");
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    const std::string log = Log();
    EXPECT_EQ(log.find("FT_SetBaudRate"), std::string::npos);
    EXPECT_EQ(log.substr(log.size() - 11), "FT_Close 1\n");
}

TEST_F(SimulatedUsb, DevIdBeyondAndNegative)
{
    SetScenario("device QUORVEL-12 A1 version=1\ndevice QUORVEL-12D B2 version=2\ninstant\n");
    EXPECT_EQ(Q.GetFTProgram(5, true), 2);
    Log();
    EXPECT_EQ(Q.GetFTProgram(-1, true), -1);
    EXPECT_EQ(Log().find("FT_OpenEx"), std::string::npos);
}

TEST_F(SimulatedUsb, DescriptionCaseMatters)
{
    SetScenario("device Quorvel-12D A1\n");
    EXPECT_EQ(Q.GetCMCount(), 0);
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(Log().find("FT_OpenEx"), std::string::npos);
}

TEST_F(SimulatedUsb, DescriptionFailureLoggedByProgramQuery)
{
    SetScenario("device ECG A1 version=9\ndevice ECG B1\nfaildesc 0 4\ninstant\n");
    EXPECT_EQ(Q.GetFTProgram(0, true), 0);  // B1 answers nothing: version 0
    ASSERT_EQ(Host.Logs.size(), 1u);
    EXPECT_EQ(Host.Logs[0], L"Error opening FT device \u21160");
}

TEST_F(SimulatedUsb, CloseFailureText)
{
    SetScenario("fail FT_Close 17\n");
    D2XXUnit().FTHandle = 7;
    try {
        D2XXUnit().CloseFTDevice();
        FAIL();
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), L"FT_Close - Other error ...");
    }
    EXPECT_EQ(Log(), "FT_Close 7\n");
}
}  // namespace
