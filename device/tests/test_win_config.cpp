// The configuration manager's cardiomodule methods over the replacement
// FTD2XX.DLL beside the test program: options from the store, the shared
// caches, the information records.
#include <gtest/gtest.h>

#include <string>

#include "common/Errors.h"
#include "common/Win32.h"
#include "config/ConfigManager.h"
#include "TestFiles.h"

namespace {
using PSetScenario = void(WINAPI*)(const char*);
using PGetLog = int(WINAPI*)(char*, int, int);

class ManagerCardiomodule : public ::testing::Test {
protected:
    void SetUp() override
    {
        Module = ::LoadLibraryW(L"FTD2XX.DLL");
        ASSERT_NE(Module, nullptr);
        SetScenario = reinterpret_cast<PSetScenario>(reinterpret_cast<void*>(::GetProcAddress(Module, "SimSetScenario")));
        GetLog = reinterpret_cast<PGetLog>(reinterpret_cast<void*>(::GetProcAddress(Module, "SimGetLog")));
        ASSERT_NE(SetScenario, nullptr);
        Cm = TConfigManager::Create();
        Cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{2});
        Cm->SetOptionValue(L"REGOPTIONS", L"USESTMZD6", false);
        Cm->ResetZD6Data();
    }
    void TearDown() override { ::FreeLibrary(Module); }

    std::string Log()
    {
        std::string s(1 << 16, '\0');
        const int n = GetLog(s.data(), static_cast<int>(s.size()), 1);
        s.resize(n < static_cast<int>(s.size()) ? n : s.size() - 1);
        return s;
    }
    static int Count(const std::string& text, const std::string& what)
    {
        int n = 0;
        for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
            ++n;
        return n;
    }

    HMODULE Module = nullptr;
    PSetScenario SetScenario = nullptr;
    PGetLog GetLog = nullptr;
    TConfigManager* Cm = nullptr;
};

const wchar_t* const kMode21 = L"Режим работы:\rКонтроль обрывов электродов включен\rЧастота работы 500Гц\r";

TEST_F(ManagerCardiomodule, NoConverterAttached)
{
    SetScenario("");
    TConfigManager::LastModeText = L"sentinel";
    EXPECT_EQ(Cm->GetFTMode(0, true), L"");
    EXPECT_EQ(TConfigManager::LastModeText, L"");
    EXPECT_EQ(Cm->GetFTProgram(0, true), -1);
    EXPECT_EQ(TConfigManager::LastProgramVersion, -1);
    EXPECT_EQ(Cm->GetCMCount(), 0);
    EXPECT_TRUE(Cm->GetFTSerialNumber().empty());
    Cm->ReadZD6();
    ASSERT_NE(TConfigManager::CardiomoduleSerials, nullptr);
    ASSERT_NE(TConfigManager::CardiomoduleInfo, nullptr);
    EXPECT_TRUE(TConfigManager::CardiomoduleSerials->empty());
    EXPECT_TRUE(TConfigManager::CardiomoduleInfo->empty());
}

TEST_F(ManagerCardiomodule, SerialOptionLeavesUsbAlone)
{
    SetScenario("device ECG A1 mode=0x21 version=7\ninstant\n");
    Cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{4});
    TConfigManager::LastModeText = L"sentinel";
    TConfigManager::LastProgramVersion = 4242;
    EXPECT_EQ(Cm->GetFTMode(0, true), L"");
    EXPECT_EQ(Cm->GetFTProgram(0, true), -1);
    EXPECT_EQ(Cm->GetCMCount(), 0);
    EXPECT_TRUE(Cm->GetFTSerialNumber().empty());
    EXPECT_EQ(TConfigManager::LastModeText, L"sentinel");
    EXPECT_EQ(TConfigManager::LastProgramVersion, 4242);
    EXPECT_EQ(Log(), "");
}

TEST_F(ManagerCardiomodule, ReadZD6TwoModulesProgramThenMode)
{
    SetScenario("device ECG A1 mode=0x21 version=0x0101\n"
                "device USB_Serial F9\n"
                "device QUORVEL-PC C3 mode=0x0100 version=0x0203\ninstant\n");
    Cm->ReadZD6();
    ASSERT_NE(TConfigManager::CardiomoduleSerials, nullptr);
    EXPECT_EQ(*TConfigManager::CardiomoduleSerials, (std::vector<std::wstring>{L"A1", L"C3"}));
    auto& info = *TConfigManager::CardiomoduleInfo;
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[L"A1"]->CMProgVer(), 0x0101);
    EXPECT_EQ(info[L"A1"]->CMMode(), kMode21);
    EXPECT_EQ(info[L"C3"]->FTSerial(), L"C3");
    EXPECT_EQ(info[L"C3"]->CMProgVer(), 0x0203);
    EXPECT_EQ(info[L"C3"]->CMMode(), L"Режим работы:\rНормальная скорость выравнивания изолинии\r");
    // The caches hold the last device's values.
    EXPECT_EQ(TConfigManager::LastProgramVersion, 0x0203);
    EXPECT_EQ(Cm->GetMode(0, false), info[L"C3"]->CMMode());
    // Per device: program query first, then mode query, each opening on its own.
    const std::string log = Log();
    EXPECT_EQ(Count(log, "FT_OpenEx"), 4);
    EXPECT_EQ(Count(log, "FT_Close"), 4);
    EXPECT_LT(log.find("FT_Write 1 55 0F"), log.find("FT_Write 1 55 02"));
    EXPECT_LT(log.find("FT_Write 3 55 0F"), log.find("FT_Write 3 55 02"));
}

TEST_F(ManagerCardiomodule, ReadZD6DuplicateSerialKeepsFirstRecord)
{
    SetScenario("device ECG A1 version=1\ndevice ECG A1 version=2\ninstant\n");
    EXPECT_THROW(Cm->ReadZD6(), EFrameworkError);
    EXPECT_EQ(TConfigManager::CardiomoduleSerials->size(), 2u);
    ASSERT_EQ(TConfigManager::CardiomoduleInfo->size(), 1u);
    EXPECT_EQ(TConfigManager::CardiomoduleInfo->begin()->first, L"A1");
}

TEST_F(ManagerCardiomodule, ReadZD6ListingFailureLeavesEmptyList)
{
    SetScenario("device ECG A1 version=1\ninstant\n");
    Cm->ReadZD6();
    ASSERT_EQ(TConfigManager::CardiomoduleInfo->size(), 1u);
    SetScenario("device ECG A1\nfaildesc 0 4\n");
    EXPECT_THROW(Cm->ReadZD6(), EFrameworkError);
    ASSERT_NE(TConfigManager::CardiomoduleSerials, nullptr);
    EXPECT_TRUE(TConfigManager::CardiomoduleSerials->empty());
    EXPECT_EQ(TConfigManager::CardiomoduleInfo->size(), 1u);  // not touched
}

// Where the device errors go, read from the real log files beside the
// program: a description that cannot be read is written at level ERROR to
// hardware.log by GetCMCount and to common.log by GetFTProgram.
bool LogFileHas(const wchar_t* file, const std::wstring& text)
{
    wchar_t exe[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, exe, MAX_PATH);
    std::wstring path = exe;
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"logs\\" + file;
    std::string needle = " - ERROR - ";
    needle += testsupport::Ansi(text);
    needle += "\r\n";
    // The logger writes from its own thread: wait for the line a while.
    for (int i = 0; i < 100; ++i) {
        if (testsupport::ReadBytes(path).find(needle) != std::string::npos)
            return true;
        ::Sleep(100);
    }
    return false;
}

TEST_F(ManagerCardiomodule, DescriptionFailuresReachTheirLogFilesAtErrorLevel)
{
    SetScenario("device ECG A1 version=9\ndevice ECG B1\nfaildesc 1 4\ninstant\n");
    EXPECT_EQ(Cm->GetCMCount(), 1);
    EXPECT_TRUE(LogFileHas(L"hardware.log", L"Не могу открыть FTDEVICE №1"));
    EXPECT_EQ(Cm->GetFTProgram(0, true), 9);
    EXPECT_TRUE(LogFileHas(L"common.log", L"Error opening FT device №1"));
}

TEST_F(ManagerCardiomodule, ResetThenProgramQueriesDevice)
{
    SetScenario("device QUORVEL-12 A1 version=0x0305 mode=0x21\ninstant\n");
    EXPECT_EQ(Cm->GetProgram(0, true), 0x0305);
    EXPECT_EQ(Cm->GetMode(0, true), kMode21);
    Cm->ResetZD6Data();
    EXPECT_EQ(TConfigManager::LastProgramVersion, -1);
    EXPECT_EQ(Cm->GetMode(0, false), L"");
    Log();
    EXPECT_EQ(Cm->GetProgram(0, false), 0x0305);
    EXPECT_EQ(Count(Log(), "FT_OpenEx"), 1);
    EXPECT_EQ(TConfigManager::LastProgramVersion, 0x0305);
}

TEST_F(ManagerCardiomodule, SerialSwitchWithUsbModuleGivesEmptyRecords)
{
    SetScenario("device ECG A1 version=1 mode=1\ninstant\n");
    Cm->SetOptionValue(L"REGOPTIONS", L"USESTMZD6", true);
    TConfigManager::LastModeText = L"kept";
    Cm->ReadZD6();
    ASSERT_EQ(TConfigManager::CardiomoduleInfo->size(), 1u);
    EXPECT_EQ((*TConfigManager::CardiomoduleInfo)[L"A1"]->CMProgVer(), -1);
    EXPECT_EQ((*TConfigManager::CardiomoduleInfo)[L"A1"]->CMMode(), L"");
    // GetMode with recheck false answers from the shared cache whichever transport is chosen.
    EXPECT_EQ(Cm->GetMode(0, false), L"kept");
}

TEST_F(ManagerCardiomodule, InitSTMOnInvalidHandleRaises)
{
    try {
        Cm->InitSTM(INVALID_HANDLE_VALUE);
        FAIL() << "no error";
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), L"could not set comm timeouts");
    }
}
TEST_F(ManagerCardiomodule, SerialNumbersThroughTheAnsiCodePage)
{
    // Under the Russian locale the ANSI code page is 1251: C0 C1 is "АБ".
    SetScenario("device ECG \xC0\xC1" "7\n");
    EXPECT_EQ(Cm->GetFTSerialNumber(), (std::vector<std::wstring>{L"АБ7"}));
}
}  // namespace
