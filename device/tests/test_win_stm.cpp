// The serial-port queries of the configuration manager against the
// cardiomodule simulator on a pseudo-terminal behind COM3.  The simulator's
// files come in ECG_CARDIOSIM_FILES (a Windows path without extension): its
// behaviour is set through .ctl, the frames it received are read from .log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "common/Win32.h"
#include "config/ConfigManager.h"

namespace {
const wchar_t* const kMode21 = L"Режим работы:\rКонтроль обрывов электродов включен\rЧастота работы 500Гц\r";
const char* const kSync = "03 02 00 08 55 0B 16 04\n";
const char* const kMode = "03 02 00 02 55 0B 16 04\n";
const char* const kProgram = "03 02 00 0F 55 0B 16 04\n";

std::wstring LinkPath()
{
    const wchar_t* p = _wgetenv(L"ECG_CARDIOSIM_FILES");
    return p ? p : L"";
}

void WriteText(const std::wstring& path, const std::string& text)
{
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD n = 0;
    ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
    ::CloseHandle(h);
}

std::string ReadText(const std::wstring& path)
{
    std::string text;
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return text;
    char buf[4096];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        text.append(buf, n);
    ::CloseHandle(h);
    return text;
}

class SerialCardiomodule : public ::testing::Test {
protected:
    void SetUp() override
    {
        Link = LinkPath();
        ASSERT_FALSE(Link.empty()) << "ECG_CARDIOSIM_FILES is not set";
        Cm = TConfigManager::Create();
        Cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{4});
        Cm->SetOptionValue(L"regoptions", L"stmcomPort", std::int32_t{3});
        TConfigManager::LastModeText = L"sentinel";
        TConfigManager::LastProgramVersion = 4242;
    }
    void TearDown() override { ::DeleteFileW((Link + L".ctl").c_str()); }

    // Sets the device's behaviour and forgets the frames received so far.
    void Device(const std::string& ctl)
    {
        WriteText(Link + L".ctl", ctl + "\n");
        ::DeleteFileW((Link + L".log").c_str());
    }
    std::string Received() { return ReadText(Link + L".log"); }

    std::wstring Link;
    TConfigManager* Cm = nullptr;
};

TEST_F(SerialCardiomodule, ModeQueryFramesAndText)
{
    Device("mode=0x21 fault=none");
    EXPECT_EQ(Cm->GetSTMMode(0, true), kMode21);
    EXPECT_EQ(TConfigManager::LastModeText, kMode21);
    EXPECT_EQ(Received(), std::string(kSync) + kMode);
    EXPECT_EQ(Cm->GetMode(0, false), kMode21);  // from the cache: nothing sent
    EXPECT_EQ(Received(), std::string(kSync) + kMode);
}

TEST_F(SerialCardiomodule, ProgramQueryFramesAndVersion)
{
    Device("version=0x0102 fault=none");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), 0x0102);
    EXPECT_EQ(TConfigManager::LastProgramVersion, 0x0102);
    EXPECT_EQ(Received(), std::string(kSync) + kProgram);
}

TEST_F(SerialCardiomodule, VersionFFFFIsUnsigned)
{
    Device("version=0xFFFF");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), 65535);
    EXPECT_EQ(TConfigManager::LastProgramVersion, 65535);
}

TEST_F(SerialCardiomodule, CachedZeroIsQueriedAgain)
{
    TConfigManager::LastProgramVersion = 0;
    Device("version=0x0007");
    EXPECT_EQ(Cm->GetSTMProgram(0, false), 7);
}

TEST_F(SerialCardiomodule, LengthThreeMeansNoData)
{
    Device("fault=l3");
    EXPECT_EQ(Cm->GetSTMMode(0, true), L"");
    EXPECT_EQ(TConfigManager::LastModeText, L"sentinel");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), -1);
    EXPECT_EQ(TConfigManager::LastProgramVersion, 4242);
}

TEST_F(SerialCardiomodule, OneDataByteMeansNoData)
{
    Device("fault=one mode=0x21 version=0x0102");
    EXPECT_EQ(Cm->GetSTMMode(0, true), L"");
    EXPECT_EQ(TConfigManager::LastModeText, L"sentinel");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), -1);
    EXPECT_EQ(TConfigManager::LastProgramVersion, 4242);
}

TEST_F(SerialCardiomodule, WrongEndByteStillYieldsData)
{
    Device("fault=badend mode=0x21 version=0x0102");
    EXPECT_EQ(Cm->GetSTMMode(0, true), kMode21);
    EXPECT_EQ(Cm->GetSTMProgram(0, true), 0x0102);
}

TEST_F(SerialCardiomodule, BytesBeforeTheStartByte)
{
    Device("fault=noise mode=0x21");
    EXPECT_EQ(Cm->GetSTMMode(0, true), kMode21);
}

TEST_F(SerialCardiomodule, SynchronisationRecoversAfterOneBadReply)
{
    Device("fault=noise1 version=0x0203");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), 0x0203);
    EXPECT_EQ(Received(), std::string(kSync) + kSync + kProgram);
}

TEST_F(SerialCardiomodule, DeviceThatNeverSynchronisesGivesUp)
{
    Device("fault=nosync version=0x0203");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), -1);
    EXPECT_EQ(TConfigManager::LastProgramVersion, 4242);
    EXPECT_EQ(Received(), std::string(kSync) + kSync + kSync);  // three attempts, no version request
}

TEST_F(SerialCardiomodule, SilentDevice)
{
    Device("fault=silence");
    EXPECT_EQ(Cm->GetSTMMode(0, true), L"");
    EXPECT_EQ(TConfigManager::LastModeText, L"sentinel");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), -1);
    EXPECT_EQ(TConfigManager::LastProgramVersion, 4242);
}

TEST_F(SerialCardiomodule, PortClosedAfterEachQuery)
{
    Device("mode=0x21");
    EXPECT_EQ(Cm->GetSTMMode(0, true), kMode21);
    // Opened without sharing: a second opening succeeds only if the query closed it.
    HANDLE h = ::CreateFileW(L"\\\\.\\COM3", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    if (h != INVALID_HANDLE_VALUE)
        ::CloseHandle(h);
}

TEST_F(SerialCardiomodule, UsbOptionTouchesNoPort)
{
    Cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{2});
    Device("mode=0x21");
    EXPECT_EQ(Cm->GetSTMMode(0, true), L"");
    EXPECT_EQ(Cm->GetSTMProgram(0, true), -1);
    EXPECT_EQ(TConfigManager::LastModeText, L"sentinel");
    EXPECT_EQ(Received(), "");
}

TEST_F(SerialCardiomodule, SerialSwitchRoutesGetModeAndGetProgram)
{
    Cm->SetOptionValue(L"REGOPTIONS", L"USESTMZD6", true);
    Device("mode=0x21 version=0x0102");
    EXPECT_EQ(Cm->GetMode(0, true), kMode21);
    EXPECT_EQ(Cm->GetProgram(0, true), 0x0102);
    Cm->SetOptionValue(L"REGOPTIONS", L"USESTMZD6", false);
}
}  // namespace
