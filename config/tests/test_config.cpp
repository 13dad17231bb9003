// The configuration manager under Wine: ecg.ini through the private-profile
// functions, the settings folder, the feature switches.  Tests that need a
// fresh process (the settings folder is decided once per process) run a copy
// of this program in a folder of its own with --child.
#include "config/ConfigManager.h"
#include "config/ConfigText.h"

#include "common/Errors.h"
#include "common/Win32.h"
#include "logging/QorLogger.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include "TestTree.h"
#include "TestFiles.h"

namespace {

bool gChild = false;

std::wstring ProgramFolder() {
    wchar_t buf[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, buf, MAX_PATH);
    std::wstring p(buf, n);
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

std::wstring WindowsIni() {
    wchar_t buf[MAX_PATH];
    const UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH);
    std::wstring dir(buf, n);
    if (dir.back() != L'\\') dir += L'\\';
    return dir + L"ecg.ini";
}

using testsupport::ReadBytes;
using testsupport::WriteBytes;
using testsupport::Exists;
using testsupport::Ansi;

std::string Narrow(const std::wstring& s) { return WideToUtf8(s); }

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// The settings file of the main test process: Settings beside the program.
std::wstring SettingsIni() { return ProgramFolder() + L"Settings\\ecg.ini"; }

Nas ZeroNas() {
    Nas na;
    std::memset(&na, 0, sizeof na);
    return na;
}

class ConfigTest : public testing::Test {
protected:
    void SetUp() override {
        if (gChild) GTEST_SKIP() << "main-process test";
        ::DeleteFileW(WindowsIni().c_str());  // a file left by an interrupted run
        ::CreateDirectoryW((ProgramFolder() + L"Settings").c_str(), nullptr);
        WriteBytes(SettingsIni(), "");
        delete TConfigManager::Create();
        cm = TConfigManager::Create();
    }
    void TearDown() override {
        if (gChild) return;
        delete TConfigManager::Create();
        ::DeleteFileW(SettingsIni().c_str());
    }
    void Load(const std::string& ini) {
        WriteBytes(SettingsIni(), ini);
        cm->Reload();
    }
    TConfigManager* cm = nullptr;
};

}  // namespace

TEST_F(ConfigTest, SettingsFolderBesideTheProgram) {
    EXPECT_EQ(ProgramFolder() + L"Settings\\", cm->SettingsDir());
    EXPECT_FALSE(cm->SystemSettings());
    EXPECT_EQ(ProgramFolder() + L"DTAFB\\", cm->DBDir());
}

TEST_F(ConfigTest, ReloadedIntegerOption) {
    Load("[options]\r\ncardiomodule=4\r\n");
    EXPECT_EQ(4, cm->GetOptionValue(L"Options", L"cardiomodule", std::int32_t{2}));
    const std::vector<std::wstring> groups = {L"OPTIONS"};
    EXPECT_EQ(groups, cm->GetOptionGroupNames().Items());
}

TEST_F(ConfigTest, ReloadReadsStringsTrimmedUnquotedAndCut) {
    const std::string longValue(3000, 'x');
    Load("[S]\r\nA=  spaced  \r\nB=\"quoted\"\r\nC=" + longValue + "\r\nD=\r\n[T]\r\nE=1\r\n");
    EXPECT_EQ(L"spaced", cm->GetOptionValue(L"S", L"A", L"?"));
    EXPECT_EQ(L"quoted", cm->GetOptionValue(L"S", L"B", L"?"));
    EXPECT_EQ(std::wstring(2047, L'x'), cm->GetOptionValue(L"S", L"C", L"?"));
    EXPECT_EQ(L"", cm->GetOptionValue(L"s", L"d", L"?"));
    const std::vector<std::wstring> groups = {L"S", L"T"};
    EXPECT_EQ(groups, cm->GetOptionGroupNames().Items());
    // Every loaded option is a string option.
    cm->SetOptionValue(L"S", L"A", L"changed");
    cm->Save();
    EXPECT_NE(std::string::npos, ReadBytes(SettingsIni()).find("A=changed\r\n"));
}

TEST_F(ConfigTest, CyrillicNamesAndValuesInTheAnsiCodePage) {
    if (::GetACP() != 1251) GTEST_SKIP() << "needs code page 1251";
    Load(Ansi(L"[Раздел]\r\nКлюч=Значение\r\n"));
    EXPECT_EQ(L"Значение", cm->GetOptionValue(L"Раздел", L"Ключ", L"?"));
    cm->SetOptionValue(L"Раздел", L"ключ", L"другое");  // a different key: Cyrillic is not folded
    cm->Save();
    const std::string file = ReadBytes(SettingsIni());
    EXPECT_NE(std::string::npos, file.find(Ansi(L"Ключ=Значение\r\n")));
    EXPECT_NE(std::string::npos, file.find(Ansi(L"ключ=другое\r\n")));
}

TEST_F(ConfigTest, MissingBooleanEntersItsDefaultAndSavesOne) {
    Load("");
    EXPECT_TRUE(cm->GetOptionValue(L"Options", L"NewFlag", true));
    cm->Save();
    EXPECT_EQ("[OPTIONS]\r\nNEWFLAG=1\r\n", ReadBytes(SettingsIni()));
}

TEST_F(ConfigTest, SaveWritesFoldedNamesAndTypedTexts) {
    Load("");
    cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{3});
    cm->SetOptionValue(L"Options", L"flag", false);
    cm->SetOptionValue(L"Options", L"ratio", 1.5);
    cm->SetOptionValue(L"Other", L"Name", L"Text");
    cm->SetOptionValue(L"Other", L"BadInt", std::int32_t{0});
    cm->Create()->GetOptionValue(L"Other", L"BadInt", std::int32_t{0});
    cm->SetOptionValue(L"Other", L"BadInt", L"abc");  // keeps "integer": written as -1
    cm->Save();
    const std::string sep(1, static_cast<char>(ProcessDecimalSeparator()));
    EXPECT_EQ("[OPTIONS]\r\nCARDIOMODULE=3\r\nFLAG=0\r\nRATIO=1" + sep + "5\r\n"
              "[OTHER]\r\nNAME=Text\r\nBADINT=-1\r\n",
              ReadBytes(SettingsIni()));
    cm->Reload();
    EXPECT_DOUBLE_EQ(1.5, cm->GetOptionValue(L"options", L"RATIO", 0.0));
    EXPECT_FALSE(cm->GetOptionValue(L"options", L"flag", true));
    EXPECT_EQ(3, cm->GetOptionValue(L"options", L"cardiomodule", std::int32_t{2}));
}

TEST_F(ConfigTest, DoublesReadWithEitherSeparator) {
    Load("[D]\r\nP=2.25\r\nC=2,25\r\nX=abc\r\n");
    EXPECT_DOUBLE_EQ(2.25, cm->GetOptionValue(L"D", L"P", 0.0));
    EXPECT_DOUBLE_EQ(2.25, cm->GetOptionValue(L"D", L"C", 0.0));
    EXPECT_EQ(0.0, cm->GetOptionValue(L"D", L"X", 7.0));
}

TEST_F(ConfigTest, DoubleReadingLeavesTheProcessNumberFormatAlone) {
    wchar_t before[8] = {}, after[8] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, before, 8);
    Load("[D]\r\nP=2.25\r\nC=2,25\r\n");
    cm->GetOptionValue(L"D", L"P", 0.0);
    cm->GetOptionValue(L"D", L"C", 0.0);
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, after, 8);
    EXPECT_STREQ(before, after);
    EXPECT_EQ(before[0], ProcessDecimalSeparator());
    const char* lang = std::getenv("ECG_TEST_LANG");
    if (lang && std::string(lang).rfind("ru_RU", 0) == 0) {
        EXPECT_EQ(L',', ProcessDecimalSeparator());
    }
    if (lang && std::string(lang).rfind("en_US", 0) == 0) {
        EXPECT_EQ(L'.', ProcessDecimalSeparator());
    }
}

TEST_F(ConfigTest, BooleanReadingsOfLoadedTexts) {
    Load("[B]\r\na=1\r\nb=TRUE\r\nc=-3\r\nd=0\r\ne=false\r\nf=yes\r\ng=True\r\nh=False\r\n");
    const struct { const wchar_t* key; bool value; } rows[] = {
        {L"a", true}, {L"b", true}, {L"c", true}, {L"d", false}, {L"e", false}, {L"f", false},
        {L"g", true}, {L"h", false}};
    for (const auto& r : rows) {
        SCOPED_TRACE(Narrow(r.key));
        EXPECT_EQ(r.value, cm->GetOptionValue(L"B", r.key, !r.value));
    }
}

TEST_F(ConfigTest, SaveNeverRemovesForeignKeysOrSections) {
    Load("[Foreign]\r\nkeep=1\r\n[OPTIONS]\r\nother=x\r\n");
    cm->Clear();
    cm->SetOptionValue(L"Options", L"New", std::int32_t{1});
    cm->Save();
    const std::string file = ReadBytes(SettingsIni());
    EXPECT_NE(std::string::npos, file.find("[Foreign]\r\nkeep=1\r\n"));
    EXPECT_NE(std::string::npos, file.find("other=x\r\n"));
    EXPECT_NE(std::string::npos, file.find("NEW=1\r\n"));
}

TEST_F(ConfigTest, UngroupedLookupLastGroupWinsEmptyGivesDefault) {
    Load("[A]\r\nkey=first\r\nempty=\r\n[B]\r\nKEY=second\r\n");
    EXPECT_EQ(L"second", cm->GetOptionValue(L"key", L"def"));
    EXPECT_EQ(L"def", cm->GetOptionValue(L"empty", L"def"));
    EXPECT_EQ(L"def", cm->GetOptionValue(L"absent", L"def"));
    EXPECT_FALSE(cm->OptionNameExists(L"A", L"absent"));  // nothing was added
}

TEST_F(ConfigTest, OptionNameExistsAsksTheWholeStore) {
    Load("");
    EXPECT_FALSE(cm->OptionNameExists(L"Options", L"x"));
    cm->SetOptionValue(L"Options", L"X", L"1");
    EXPECT_TRUE(cm->OptionNameExists(L"NoSuchGroup", L"x"));
}

TEST_F(ConfigTest, FeatureSwitchDefaultsAreEnteredAndSaved) {
    Load("");
    const Nas na = ZeroNas();
    const struct { int index; bool value; const char* key; const char* text; } rows[] = {
        {1, false, "MSK_ARTERIALPRESSURE", "0"}, {2, false, "MSK_MEDICAMENTS", "0"},
        {3, false, "MSK_ADDRESS", "0"}, {4, false, "MSK_POLICY_NUM", "0"},
        {5, false, "MSK_USE_AREA_LIST", "0"}, {6, false, "MSK_USE_DOCTORS_LIST", "0"},
        {8, false, "MSK_FOR_NEB_USE_C1_C2_C3", "0"}, {9, false, "MSK_PRINT_ECG_50_MM_SEK", "0"},
        {10, false, "CONNECTION", "0"}, {11, true, "PACIENTSELECT", "1"}, {12, false, "VIEWARCHIVE", "0"},
        {13, false, "VIEWSERVER", "0"}, {14, false, "SETCONNECT", "0"}, {15, true, "NOTSHOWNORMA", "1"},
        {16, true, "WORKPLACE", "1"}, {17, false, "ISOSTABILISATION", "0"}, {18, false, "CARD", "0"},
        {19, true, "SENDECGTOSERVER", "1"}, {20, false, "SERIALANALIS", "0"}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.key);
        EXPECT_EQ(r.value, cm->GetKeyByIndex(r.index, na));
        EXPECT_EQ(r.value, cm->SetupKey(r.index, na));
    }
    for (int index : {0, 7, 21, -1, 1000}) EXPECT_FALSE(cm->GetKeyByIndex(index, na)) << index;
    cm->Save();
    const std::string file = ReadBytes(SettingsIni());
    ASSERT_EQ(0u, file.find("[OPTIONS]\r\n"));
    for (const auto& r : rows) {
        SCOPED_TRACE(r.key);
        EXPECT_NE(std::string::npos, file.find(std::string("\r\n") + r.key + "=" + r.text + "\r\n"));
    }
}

TEST_F(ConfigTest, FeatureSwitchesReadTheFile) {
    Load("[Options]\r\nPacientSelect=0\r\nCONNECTION=2\r\nCard=True\r\nWorkPlace=0\r\n");
    const Nas na = ZeroNas();
    EXPECT_FALSE(cm->GetKeyByIndex(11, na));
    EXPECT_TRUE(cm->GetKeyByIndex(10, na));
    EXPECT_TRUE(cm->GetKeyByIndex(18, na));
    EXPECT_FALSE(cm->GetKeyByIndex(16, na));
}

TEST_F(ConfigTest, RecordSwitchesReadPr26AndPr36) {
    Nas na = ZeroNas();
    auto* bytes = reinterpret_cast<unsigned char*>(&na);
    bytes[280] = 1;  // pr26
    EXPECT_TRUE(cm->GetKeyByIndex(0, na));
    EXPECT_FALSE(cm->GetKeyByIndex(7, na));
    bytes[280] = 0;
    bytes[301] = 0x80;  // high byte of pr36
    EXPECT_FALSE(cm->GetKeyByIndex(0, na));
    EXPECT_TRUE(cm->GetKeyByIndex(7, na));
    EXPECT_EQ(410u, sizeof(Nas));
}

TEST_F(ConfigTest, LastConnectedDatabaseKeepsTheLowByte) {
    cm->setLastConnectedDB(300);
    EXPECT_EQ(44, cm->getLastConnectedDB());
    cm->setLastConnectedDB(255);
    EXPECT_EQ(255, cm->getLastConnectedDB());
    cm->setLastConnectedDB(256);
    EXPECT_EQ(0, cm->getLastConnectedDB());
}

TEST_F(ConfigTest, EveryReadOfTheSettingsFolderIsLogged) {
    delete TQorLogger::Create();  // flushes what is queued
    const std::wstring log = TQorLoggerThread::LogFilePath(COMMON);
    const std::string marker = Ansi(L"Файл конфигурации в папке: " + ProgramFolder() + L"Settings\\") + "\r\n";
    const size_t before = Count(ReadBytes(log), marker);
    cm->SettingsDir();
    cm->SettingsDir();
    cm->SettingsDir();
    delete TQorLogger::Create();
    EXPECT_EQ(before + 3, Count(ReadBytes(log), marker));
}

TEST_F(ConfigTest, SaveRefusedByThePlatformNamesTheFile) {
    Load("");
    cm->SetOptionValue(L"Options", L"a", L"1");
    cm->SetOptionValue(L"Options", L"b", L"1");
    cm->Save();
    // Held open without sharing: the platform's writer cannot replace it.
    HANDLE h = ::CreateFileW(SettingsIni().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    cm->SetOptionValue(L"Options", L"a", L"2");
    try {
        cm->Save();
        ADD_FAILURE() << "no error for a settings file that cannot be written";
    } catch (const EFrameworkError& e) {
        EXPECT_NE(std::wstring::npos, e.Message().find(SettingsIni())) << Narrow(e.Message());
    }
    ::CloseHandle(h);
    EXPECT_EQ("[OPTIONS]\r\nA=1\r\nB=1\r\n", ReadBytes(SettingsIni()));
}

TEST_F(ConfigTest, LifecycleOfTheCardiomoduleState) {
    TConfigManager::LastProgramVersion = 5;
    delete cm;
    cm = TConfigManager::Create();
    EXPECT_EQ(-1, TConfigManager::LastProgramVersion);
    EXPECT_EQ(nullptr, TConfigManager::CardiomoduleInfo);
    EXPECT_EQ(nullptr, TConfigManager::CardiomoduleSerials);
    Load("[A]\r\nb=1\r\n");
    ASSERT_NE(nullptr, TConfigManager::CardiomoduleInfo);
    ASSERT_NE(nullptr, TConfigManager::CardiomoduleSerials);
    TConfigManager::CardiomoduleSerials->push_back(L"FT1");
    (*TConfigManager::CardiomoduleInfo)[L"FT1"] = std::make_shared<TZD6ConfObj>(L"FT1", 12, L"mode");
    cm->Clear();
    EXPECT_TRUE(TConfigManager::CardiomoduleSerials->empty());
    EXPECT_TRUE(TConfigManager::CardiomoduleInfo->empty());
    EXPECT_TRUE(cm->GetOptionGroupNames().Empty());
    EXPECT_EQ(cm, TConfigManager::Create());
}

TEST_F(ConfigTest, ReleaseDestroysTheInstanceOnlyWhenItExists) {
    Load("[A]\r\nb=1\r\n");
    TConfigManager::LastProgramVersion = 7;
    EXPECT_TRUE(TConfigManager::Exists());
    TConfigManager::Release();
    EXPECT_FALSE(TConfigManager::Exists());
    EXPECT_EQ(nullptr, TConfigManager::CardiomoduleInfo) << "the destructor ran";
    EXPECT_EQ("[A]\r\nb=1\r\n", ReadBytes(SettingsIni())) << "releasing saves nothing";
    TConfigManager::Release();  // none exists: nothing happens
    EXPECT_FALSE(TConfigManager::Exists()) << "asking and releasing never create the instance";
    cm = TConfigManager::Create();
    EXPECT_TRUE(TConfigManager::Exists());
    EXPECT_EQ(-1, TConfigManager::LastProgramVersion) << "a fresh instance";
}

TEST_F(ConfigTest, OptionsBeforeTheFirstReloadDoNotCrash) {
    EXPECT_EQ(2, cm->GetOptionValue(L"Options", L"cardiomodule", std::int32_t{2}));
    EXPECT_TRUE(cm->OptionNameExists(L"", L"cardiomodule"));
}

// --- fresh processes ----------------------------------------------------------

namespace {

struct TChildResult {
    DWORD Code = 99;
    std::string Output;
};

// A private copy of this program in dir, run with --child for one test.
TChildResult RunChild(const std::wstring& dir, const std::wstring& test) {
    TChildResult r;
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring exe = dir + L"test_config.exe";
    if (!::CopyFileW(self, exe.c_str(), FALSE)) {
        r.Output = "copy failed";
        return r;
    }
    const std::wstring outFile = dir + L"child.txt";
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE out = ::CreateFileW(outFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = out;
    si.hStdError = out;
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring cmd = L"\"" + exe + L"\" --child --gtest_filter=Child." + test;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi)) {
        ::CloseHandle(out);
        r.Output = "start failed";
        return r;
    }
    ::CloseHandle(out);
    ::WaitForSingleObject(pi.hProcess, 120000);
    ::GetExitCodeProcess(pi.hProcess, &r.Code);
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    r.Output = ReadBytes(outFile);
    if (r.Output.find("[  PASSED  ] 1 test") == std::string::npos) r.Code = r.Code ? r.Code : 98;
    return r;
}

using testsupport::RemoveTree;

class FreshProcessTest : public testing::Test {
protected:
    void SetUp() override {
        if (gChild) GTEST_SKIP() << "runs in the parent only";
        ::DeleteFileW(WindowsIni().c_str());
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        static int serial = 0;
        dir = std::wstring(tmp) + L"ecgcfg-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
              std::to_wstring(++serial) + L"\\";
        RemoveTree(dir);
        ASSERT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr));
    }
    void TearDown() override {
        if (gChild) return;
        ::SetFileAttributesW(WindowsIni().c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(WindowsIni().c_str());
        RemoveTree(dir);
    }
    std::wstring dir;
};

bool ChildOnly() { return gChild; }

}  // namespace

TEST_F(FreshProcessTest, SettingsFileMovesFromTheDatabaseFolder) {
    ::CreateDirectoryW((dir + L"Settings").c_str(), nullptr);
    ::CreateDirectoryW((dir + L"DTAFB").c_str(), nullptr);
    const std::string content = "[OPTIONS]\r\nCARDIOMODULE=4\r\n";
    WriteBytes(dir + L"DTAFB\\ecg.ini", content);
    TChildResult r = RunChild(dir, L"MovedFile");
    EXPECT_EQ(0u, r.Code) << r.Output;
    EXPECT_EQ(content, ReadBytes(dir + L"Settings\\ecg.ini"));
    EXPECT_FALSE(Exists(dir + L"DTAFB\\ecg.ini"));
    // A second start finds it in Settings.
    r = RunChild(dir, L"MovedFile");
    EXPECT_EQ(0u, r.Code) << r.Output;
    EXPECT_FALSE(Exists(dir + L"DTAFB\\ecg.ini"));
}

TEST(Child, MovedFile) {
    if (!ChildOnly()) GTEST_SKIP();
    TConfigManager* cm = TConfigManager::Create();
    EXPECT_EQ(ProgramFolder() + L"Settings\\", cm->SettingsDir());
    EXPECT_FALSE(cm->SystemSettings());
    cm->Reload();
    EXPECT_EQ(4, cm->GetOptionValue(L"Options", L"cardiomodule", std::int32_t{2}));
    delete cm;
}

TEST_F(FreshProcessTest, MoveWithoutASettingsFolderRaisesAndKeepsTheOlderFile) {
    ::CreateDirectoryW((dir + L"DTAFB").c_str(), nullptr);
    WriteBytes(dir + L"DTAFB\\ecg.ini", "[A]\r\nb=1\r\n");
    TChildResult r = RunChild(dir, L"MoveFails");
    EXPECT_EQ(0u, r.Code) << r.Output;
    EXPECT_EQ("[A]\r\nb=1\r\n", ReadBytes(dir + L"DTAFB\\ecg.ini"));
}

TEST(Child, MoveFails) {
    if (!ChildOnly()) GTEST_SKIP();
    TConfigManager* cm = TConfigManager::Create();
    // The file operations' own error, naming the file that cannot be made.
    const std::wstring target = ProgramFolder() + L"Settings\\ecg.ini";
    try {
        cm->SettingsDir();
        ADD_FAILURE() << "no error raised";
    } catch (const EFCreateError& e) {
        EXPECT_EQ(0u, e.Message().rfind(L"Не удается создать файл \"" + target + L"\". ", 0)) << e.what();
    }
    EXPECT_FALSE(cm->SystemSettings());
    EXPECT_THROW(cm->Reload(), EFCreateError);
    cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{4});
    EXPECT_THROW(cm->Save(), EFCreateError);  // not silently skipped
    delete cm;
}

TEST_F(FreshProcessTest, SystemSettingsFileIsReadAndNothingIsWritten) {
    ::CreateDirectoryW((dir + L"Settings").c_str(), nullptr);
    const std::string system = "[options]\r\ncardiomodule=7\r\n";
    const std::string local = "[OPTIONS]\r\nCARDIOMODULE=1\r\n";
    WriteBytes(WindowsIni(), system);
    WriteBytes(dir + L"Settings\\ecg.ini", local);
    WIN32_FILE_ATTRIBUTE_DATA before{}, after{};
    ::GetFileAttributesExW(WindowsIni().c_str(), GetFileExInfoStandard, &before);
    ::Sleep(20);
    TChildResult r = RunChild(dir, L"SystemFile");
    EXPECT_EQ(0u, r.Code) << r.Output;
    EXPECT_EQ(system, ReadBytes(WindowsIni()));
    ::GetFileAttributesExW(WindowsIni().c_str(), GetFileExInfoStandard, &after);
    EXPECT_EQ(0, ::CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime));
    EXPECT_EQ(local, ReadBytes(dir + L"Settings\\ecg.ini"));
    // The same with Save as the very first call of the process.
    r = RunChild(dir, L"SystemFileSaveFirst");
    EXPECT_EQ(0u, r.Code) << r.Output;
    EXPECT_EQ(system, ReadBytes(WindowsIni()));
    EXPECT_EQ(local, ReadBytes(dir + L"Settings\\ecg.ini"));
}

TEST(Child, SystemFile) {
    if (!ChildOnly()) GTEST_SKIP();
    TConfigManager* cm = TConfigManager::Create();
    EXPECT_EQ(WindowsIni().substr(0, WindowsIni().size() - 7), cm->SettingsDir());
    EXPECT_TRUE(cm->SystemSettings());
    cm->Reload();
    EXPECT_EQ(7, cm->GetOptionValue(L"Options", L"cardiomodule", std::int32_t{2}));
    EXPECT_TRUE(cm->GetKeyByIndex(11, ZeroNas()));  // enters PacientSelect
    cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{9});
    EXPECT_NO_THROW(cm->Save());
    delete cm;
}

TEST(Child, SystemFileSaveFirst) {
    if (!ChildOnly()) GTEST_SKIP();
    TConfigManager* cm = TConfigManager::Create();
    cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{9});
    EXPECT_NO_THROW(cm->Save());
    EXPECT_TRUE(cm->SystemSettings());
    delete cm;
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]) == "--child") gChild = true;
    testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    delete TConfigManager::Create();
    delete TQorLogger::Create();
    return rc;
}
