// Deployment steps 1 to 23 run directly (no window) against a distribution
// tree built by the test, with a scripted fake of the window side.  The
// desktop shell folder is pointed at a temporary folder for the whole
// program (registry: the test runs alone in its prefix).
#include "IniWriter.h"
#include "StepRoutines.h"
#include "StepTestKit.h"

#include "common/Errors.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace steptest;
using installer::TBoxKind;

namespace {

constexpr wchar_t kShellFolders[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
// The shell rewrites "Shell Folders" from these whenever it resolves a folder.
constexpr wchar_t kUserShellFolders[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr wchar_t kDone[] = L"Завершено";
constexpr wchar_t kFail[] = L"ОШИБКА!!!";

bool RussianLocale() { return ::GetACP() == 1251; }

std::string Lf(std::string s) {
    for (size_t i = s.find("\r\n"); i != std::string::npos; i = s.find("\r\n", i)) s.erase(i, 1);
    return s;
}

// Whether this platform refuses to open a read-only file for writing (Wine
// running as root does not).
bool ReadOnlyIsEnforced(const std::wstring& file) {
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return true;
    ::CloseHandle(h);
    return false;
}

std::wstring ReadRegString(const wchar_t* key, const wchar_t* name, bool& found) {
    wchar_t buf[1024] = {};
    DWORD size = sizeof(buf) - sizeof(wchar_t);
    found = ::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, buf, &size) == ERROR_SUCCESS;
    return buf;
}

void WriteRegString(const wchar_t* key, const wchar_t* name, const std::wstring& value) {
    HKEY h = nullptr;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_CURRENT_USER, key, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h, nullptr), 0);
    ::RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
}

void DeleteRegValue(const wchar_t* key, const wchar_t* name) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, key, 0, KEY_SET_VALUE, &h) == 0) {
        ::RegDeleteValueW(h, name);
        ::RegCloseKey(h);
    }
}

struct TLinkInfo {
    std::wstring Path, WorkDir, Description, Arguments;
};

TLinkInfo ReadLink(const std::wstring& file) {
    TLinkInfo info;
    TComInit com;
    TComPtr<IShellLinkW> link;
    EXPECT_TRUE(SUCCEEDED(
        ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW, link.put_void())));
    TComPtr<IPersistFile> pf;
    EXPECT_TRUE(SUCCEEDED(link.As(IID_IPersistFile, pf)));
    if (!pf) return info;
    EXPECT_TRUE(SUCCEEDED(pf->Load(file.c_str(), STGM_READ))) << U8(file);
    wchar_t buf[MAX_PATH * 2] = {};
    link->GetPath(buf, MAX_PATH * 2, nullptr, SLGP_RAWPATH);
    info.Path = buf;
    buf[0] = 0;
    link->GetWorkingDirectory(buf, MAX_PATH * 2);
    info.WorkDir = buf;
    buf[0] = 0;
    link->GetDescription(buf, MAX_PATH * 2);
    info.Description = buf;
    buf[0] = 0;
    link->GetArguments(buf, MAX_PATH * 2);
    info.Arguments = buf;
    return info;
}

class InstallSteps : public ::testing::Test {
protected:
    static inline std::wstring SavedDesktop, SavedUserDesktop;
    static inline bool HadDesktop = false, HadUserDesktop = false;
    static inline std::wstring Desktop;

    static void SetUpTestSuite() {
        SavedDesktop = ReadRegString(kShellFolders, L"Desktop", HadDesktop);
        SavedUserDesktop = ReadRegString(kUserShellFolders, L"Desktop", HadUserDesktop);
        Desktop = NewTempDir(L"desktop");
        std::wstring d = Desktop;
        d.pop_back();
        WriteRegString(kShellFolders, L"Desktop", d);
        WriteRegString(kUserShellFolders, L"Desktop", d);
    }
    static void TearDownTestSuite() {
        if (HadDesktop) WriteRegString(kShellFolders, L"Desktop", SavedDesktop);
        else DeleteRegValue(kShellFolders, L"Desktop");
        if (HadUserDesktop) WriteRegString(kUserShellFolders, L"Desktop", SavedUserDesktop);
        else DeleteRegValue(kUserShellFolders, L"Desktop");
        RemoveTree(Desktop);
    }

    void SetUp() override {
        FStartDir = CurrentDir();
        Root = NewTempDir(L"run");
        ASSERT_FALSE(Root.empty());
        Dist = Root + L"dist\\";
        Target = Root + L"Quorvel12_393\\";
        ::CreateDirectoryW(Dist.c_str(), nullptr);
        // The preparation of the run has made the target folder.
        ::CreateDirectoryW(Target.c_str(), nullptr);
        Run.Ui = &Ui;
        Run.DistDir = Dist;
        Run.TargetDir = Target;
        Run.AppStr = L"Quorvel12";
        Run.ComplexNameStr = L"QUORVEL Test";
        Run.VersionNumber = 393;
        DeleteLinks();
    }
    void TearDown() override {
        ::SetCurrentDirectoryW(FStartDir.c_str());
        RemoveTree(Root);
        DeleteLinks();
        EXPECT_TRUE(Ui.Script.empty()) << "message boxes expected but not shown: " << Ui.Script.size();
    }

    static void DeleteLinks() {
        WIN32_FIND_DATAW fd;
        TFindHandle h(::FindFirstFileW((Desktop + L"*.lnk").c_str(), &fd));
        if (h) {
            do ::DeleteFileW((Desktop + fd.cFileName).c_str());
            while (::FindNextFileW(h.get(), &fd));
        }
    }

    // The lines a fresh install writes (driver box as given, no other box).
    std::vector<std::wstring> FreshLines(bool rmis) const {
        std::vector<std::wstring> l;
        for (const wchar_t* n : {L"aliases.conf", L"firebird.conf", L"fbclient.Dll", L"fbembed.Dll", L"ib_util.Dll",
                                 L"icudt30.Dll", L"icuin30.Dll", L"icuuc30.Dll", L"firebird.msg", L"gbak.exe",
                                 L"msvcp80.Dll", L"msvcr80.Dll", L"fbintl.conf", L"fbintl.dll", L"fbudf.dll",
                                 L"ib_udf.dll", L"fbudf.sql", L"ib_udf.sql", L"ib_udf2.sql", L"Kelvar.Dll",
                                 L"Trimsa.Dll", L"Holmex.Dll", L"Dravin.Dll"})
            l.push_back(std::wstring(L"Копирование файла ") + n + L"....Завершено");
        l.push_back(L"Каталог <service> скопирован...");
        l.push_back(L"Каталог <" + Target + L"DTAFB\\> создан...Завершено");
        l.push_back(L"Каталог <" + Target + L"DTA_clear\\> создан...Завершено");
        l.push_back(L"Создание настроечных файлов....Завершено");
        l.push_back(L"Создание файлов базы данных....Завершено");
        l.push_back(L"Каталог <" + Target + L"\\CommDLL>создан...");
        if (rmis) l.push_back(L"Каталог < config\\Integration> скопирован...");
        const std::wstring rel = Target + L"backup\\v393\\";
        l.push_back(L"Копирование файла " + rel + L"Quorvel12.exe....Завершено");
        l.push_back(L"Копирование файла " + rel + L"help\\help.chm....Завершено");
        l.push_back(L"Копирование файла " + rel + L"old\\stale.txt....Завершено");
        l.push_back(L"Копирование файла " + rel + L"ReleaseInfo....Завершено");
        l.push_back(L"Удаление файла " + rel + L"old\\stale.txt....");
        return l;
    }

    void ExpectLines(const std::vector<std::wstring>& expected) {
        ASSERT_EQ(Ui.Lines.size(), expected.size()) << Dump();
        for (size_t i = 0; i < expected.size(); ++i)
            EXPECT_EQ(Ui.Lines[i], expected[i]) << "line " << i;
    }

    std::string Dump() const {
        std::string s;
        for (const auto& l : Ui.Lines) s += U8(l) + "\n";
        return s;
    }

    std::wstring Ini() const { return Target + L"Settings\\ecg.ini"; }

    TFakeUi Ui;
    installer::TInstallRun Run;
    std::wstring Root, Dist, Target, FStartDir;
};

// --- Fresh install --------------------------------------------------------

TEST_F(InstallSteps, FreshInstallWritesEveryLineAndTheWholeTree) {
    MakeDistribution(Dist);
    SYSTEMTIME before{}, after{};
    ::GetLocalTime(&before);
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    ::GetLocalTime(&after);
    ExpectLines(FreshLines(false));
    EXPECT_TRUE(Ui.Shown.empty());
    // After each of the 23 engine and library lines, the two database folder
    // lines, the settings line, the CommDLL line and the six file-list entries.
    EXPECT_EQ(Ui.MessagePumps, 33);
    // The list is brought up to date before the driver setup and before each
    // database copy, with the copy's own line already in it.
    const std::vector<std::wstring> shownWith = {
        L"",  // the driver setup comes first
        L"Каталог <" + Target + L"DTAFB\\> создан...",
        L"Каталог <" + Target + L"DTA_clear\\> создан...",
        L"Создание файлов базы данных....",
    };
    EXPECT_EQ(Ui.ProgressShownWith, shownWith);

    // Program tree.
    EXPECT_EQ(ReadBytes(Target + L"readme.htm"), ReadBytes(Dist + L"readme.htm"));
    EXPECT_EQ(ReadBytes(Target + L"Profile\\Expert\\DATA.XML"), "<ROOT/>");
    EXPECT_EQ(ReadBytes(Target + L"FTDIDriverInstall\\readme.txt"), "driver");
    EXPECT_EQ(ReadBytes(Target + L"FTDIDriverInstall\\setup_ran.txt"), "ran\r\n") << "setup started and waited for";
    EXPECT_EQ(ReadBytes(Target + L"Settings\\Settings.xml"), "<Settings/>");
    EXPECT_FALSE(Exists(Target + L"Settings\\other.txt"));
    EXPECT_EQ(ReadBytes(Target + L"backup\\v370\\old.txt"), "old release");
    EXPECT_EQ(ReadBytes(Target + L"backup\\v393\\Quorvel12.exe"), "program 393");
    EXPECT_EQ(ReadBytes(Target + L"service\\tool.txt"), "service");
    // Engine and database.
    EXPECT_EQ(ReadBytes(Target + L"gbak.exe"), "engine gbak.exe");
    EXPECT_EQ(ReadBytes(Target + L"gds32.dll"), "engine fbembed.Dll");
    EXPECT_EQ(ReadBytes(Target + L"fbclient.dll"), "engine fbembed.Dll");
    EXPECT_EQ(ReadBytes(Target + L"fbclient_.dll"), "engine fbclient.Dll");
    EXPECT_EQ(ReadBytes(Target + L"intl\\fbintl.dll"), "fbintl.dll");
    EXPECT_EQ(ReadBytes(Target + L"udf\\ib_udf2.sql"), "ib_udf2.sql");
    EXPECT_EQ(ReadBytes(Target + L"UDF\\Dravin.Dll"), "complex Dravin.Dll");
    EXPECT_EQ(ReadBytes(Target + L"DTAFB\\Q12.fdb"), "template database");
    EXPECT_EQ(ReadBytes(Target + L"DTAFB\\ecg.ini"), "[Database]\r\nName=Q12\r\n");
    EXPECT_EQ(ReadBytes(Target + L"DTAFB\\password.nsi"), "password");
    EXPECT_EQ(ReadBytes(Target + L"DTA_clear\\Q12.fdb"), "template database");
    EXPECT_TRUE(IsDir(Target + L"CommDLL"));
    EXPECT_FALSE(Exists(Target + L"config\\Integration"));
    // File list: copies (a new nested folder included), then the deletion.
    EXPECT_EQ(ReadBytes(Target + L"Quorvel12.exe"), "program 393");
    EXPECT_EQ(ReadBytes(Target + L"Help\\deep\\help.chm"), "help 393");
    EXPECT_FALSE(Exists(Target + L"stale.txt"));
    // Current folder and release level.
    EXPECT_EQ(CurrentDir() + L"\\", Target);
    // The parser normalises line ends to LF; the platform's writer may keep LF.
    EXPECT_EQ(Lf(ReadBytes(Target + L"ReleaseInfo")),
              "<ROOT>\n  <Version>1</Version>\n  <Level>393</Level>\n  <Note>kept</Note>\n</ROOT>\n");
    EXPECT_EQ(Run.NewestRelease, L"v393");

    // ecg.ini: keys 1 to 8 only.
    EXPECT_EQ(IniValue(Ini(), L"Options", L"cardiomodule"), L"2");
    EXPECT_EQ(IniValue(Ini(), L"Common", L"DLLName"), L"fbembed.dll");
    EXPECT_EQ(IniValue(Ini(), L"Common", L"Address"), L"");
    EXPECT_EQ(IniValue(Ini(), L"Options", L"ZD6ScaleCoef"), L"1");
    EXPECT_EQ(IniValue(Ini(), L"Options", L"lastecg"), L"1");
    EXPECT_EQ(IniValue(Ini(), L"Options", L"kolday"), L"30");
    EXPECT_EQ(IniValue(Ini(), L"Options", L"kolecg"), L"1000");
    EXPECT_EQ(IniValue(Ini(), L"printoptions", L"termoprinter"), L"<absent>");
    EXPECT_EQ(IniValue(Ini(), L"options", L"vvdiagnos"), L"<absent>");
    EXPECT_EQ(IniValue(Ini(), L"INTEGRATION", L"RMIS_ENABLE"), L"<absent>");
    const std::string raw = ReadBytes(Ini());
    EXPECT_NE(raw.find("[Options]\r\n"), std::string::npos) << raw;
    EXPECT_EQ(raw.find("[options]"), std::string::npos) << raw;
    EXPECT_NE(raw.find("[Common]\r\n"), std::string::npos) << raw;
    // lastbackup: the regional date and time of the run.
    const std::wstring stamp = IniValue(Ini(), L"options", L"lastbackup");
    bool matches = false;
    FILETIME from{}, to{};
    ::SystemTimeToFileTime(&before, &from);
    ::SystemTimeToFileTime(&after, &to);
    ULARGE_INTEGER t0{}, t1{};
    t0.LowPart = from.dwLowDateTime, t0.HighPart = from.dwHighDateTime;
    t1.LowPart = to.dwLowDateTime, t1.HighPart = to.dwHighDateTime;
    // Every second of the run (100 ns units).
    for (ULONGLONG t = t0.QuadPart - t0.QuadPart % 10000000ULL; t <= t1.QuadPart && !matches; t += 10000000ULL) {
        FILETIME ft{static_cast<DWORD>(t), static_cast<DWORD>(t >> 32)};
        SYSTEMTIME st{};
        ::FileTimeToSystemTime(&ft, &st);
        st.wMilliseconds = 1;  // never midnight-exact
        matches = stamp == installer::RegionalDateTimeText(st);
    }
    EXPECT_TRUE(matches) << U8(stamp);
    if (RussianLocale()) {
        wchar_t expect[32];
        std::swprintf(expect, 32, L"%02u.%02u.%04u ", before.wDay, before.wMonth, before.wYear);
        EXPECT_EQ(stamp.substr(0, 11), expect) << U8(stamp);
        EXPECT_EQ(stamp.size(), 19u) << U8(stamp);  // dd.MM.yyyy H:mm:ss / HH:mm:ss
    } else {
        EXPECT_NE(stamp.find(L'/'), std::wstring::npos) << U8(stamp);
    }

    // Desktop shortcut.
    const std::wstring lnk = Desktop + L"QUORVEL Test.lnk";
    ASSERT_TRUE(Exists(lnk));
    TLinkInfo info = ReadLink(lnk);
    EXPECT_EQ(info.Path, Target + L"Quorvel12.exe");
    EXPECT_EQ(info.WorkDir, Target);
    EXPECT_EQ(info.Arguments, L"");
    if (RussianLocale()) {
        EXPECT_EQ(info.Description, L"Комплекс анализа электрокардиограмм \"QUORVEL Test\"");
    }
}

TEST_F(InstallSteps, ThermalPrinterAndRmisKeys) {
    MakeDistribution(Dist);
    Ui.Cardiograph = true;
    Ui.Rmis = true;
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    ExpectLines(FreshLines(true));
    EXPECT_EQ(IniValue(Ini(), L"printoptions", L"termoprinter"), L"0");
    for (const wchar_t* k : {L"vvdiagnos", L"vvotdel", L"withoutRLF", L"OneString", L"viewserver"})
        EXPECT_EQ(IniValue(Ini(), L"Options", k), L"1") << U8(k);
    for (const wchar_t* k : {L"polindex", L"constindex", L"protocolmessage", L"urgencystatus"})
        EXPECT_EQ(IniValue(Ini(), L"Options", k), L"0") << U8(k);
    EXPECT_EQ(IniValue(Ini(), L"INTEGRATION", L"RMIS_ENABLE"), L"1");
    EXPECT_EQ(ReadBytes(Target + L"config\\Integration\\rmis.xml"), "<rmis/>");
}

TEST_F(InstallSteps, RmisWithoutIntegrationFolderStillWritesKey) {
    TDistOptions o;
    o.Integration = false;
    MakeDistribution(Dist, o);
    Ui.Rmis = true;
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    EXPECT_TRUE(IsDir(Target + L"config\\Integration"));
    EXPECT_EQ(IniValue(Ini(), L"INTEGRATION", L"RMIS_ENABLE"), L"1");
}

TEST_F(InstallSteps, DistributionWithoutOptionalItems) {
    TDistOptions o;
    o.Profile = o.Service = o.SettingsXml = o.DtaIni = o.Password = false;
    MakeDistribution(Dist, o);
    WriteBytes(Target + L"Settings\\Settings.xml", "<Settings own=\"1\"/>");
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    EXPECT_EQ(ReadBytes(Target + L"Settings\\Settings.xml"), "<Settings own=\"1\"/>");
    std::vector<std::wstring> expected = FreshLines(false);
    expected.insert(expected.begin(), L"Каталог <" + Target + L"Profile\\> создан...");
    ExpectLines(expected);
    EXPECT_TRUE(IsDir(Target + L"Profile"));
    EXPECT_TRUE(IsDir(Target + L"Settings"));
    EXPECT_FALSE(Exists(Target + L"DTAFB\\ecg.ini"));
    EXPECT_FALSE(Exists(Target + L"DTAFB\\password.nsi"));
}

// --- Re-install -----------------------------------------------------------

class Reinstall : public InstallSteps {
protected:
    void FirstRun(bool withExtras) {
        MakeDistribution(Dist);
        Ui.Cardiograph = withExtras;
        Ui.Rmis = withExtras;
        ASSERT_TRUE(installer::RunInstallSteps(Run));
        ::SetCurrentDirectoryW(FStartDir.c_str());
        Ui.Lines.clear();
        Ui.Shown.clear();
        Ui.Cardiograph = Ui.Rmis = false;
        // The user's data and settings since then.
        WriteBytes(Target + L"DTAFB\\Q12.fdb", "patients of many years");
        FILETIME old{};
        old.dwHighDateTime = 0x01C00000;  // 1990s
        SetWriteTime(Target + L"DTAFB\\Q12.fdb", old);
        OldDbTime = WriteTime(Target + L"DTAFB\\Q12.fdb");
        WriteBytes(Target + L"DTAFB\\ecg.ini", "local database settings");
        ::WritePrivateProfileStringW(L"Options", L"kolday", L"99", Ini().c_str());
        ::WritePrivateProfileStringW(L"Options", L"cardiomodule", L"4", Ini().c_str());
        ::WritePrivateProfileStringW(L"Options", L"polindex", L"5", Ini().c_str());
        ::WritePrivateProfileStringW(L"Mine", L"Own", L"survives", Ini().c_str());
        ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, Ini().c_str());
        WriteBytes(Target + L"Profile\\only_in_target.txt", "stays");
        WriteBytes(Dist + L"Profile\\profile.txt", "profile v2");
    }

    std::vector<std::wstring> ReinstallLines(bool keep) const {
        std::vector<std::wstring> l;
        for (const auto& line : FreshLines(false)) {
            if (line.find(L"DTAFB") != std::wstring::npos || line.find(L"DTA_clear") != std::wstring::npos ||
                line.find(L"CommDLL") != std::wstring::npos)
                continue;
            if (keep && line.rfind(L"Создание файлов базы данных", 0) == 0) continue;
            l.push_back(line);
        }
        // After the service line.
        auto at = std::find(l.begin(), l.end(), L"Каталог <service> скопирован...");
        if (keep) l.insert(at + 1, L"Сохранена старая БД");
        // The stale file was deleted by the first run: no deletion line.
        l.pop_back();
        return l;
    }

    FILETIME OldDbTime{};
};

TEST_F(Reinstall, KeepOldDatabaseYes) {
    FirstRun(true);
    Ui.Expect(TBoxKind::Confirm, L"Такой каталог уже существует! Сохранить старую БД?", true);
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    std::vector<std::wstring> expected = ReinstallLines(true);
    expected.push_back(L"Удаление файла " + Target + L"backup\\v393\\old\\stale.txt....");
    ExpectLines(expected);
    EXPECT_EQ(ReadBytes(Target + L"DTAFB\\Q12.fdb"), "patients of many years");
    FILETIME now = WriteTime(Target + L"DTAFB\\Q12.fdb");
    EXPECT_EQ(now.dwLowDateTime, OldDbTime.dwLowDateTime);
    EXPECT_EQ(now.dwHighDateTime, OldDbTime.dwHighDateTime);
    EXPECT_EQ(ReadBytes(Target + L"DTA_clear\\Q12.fdb"), "template database");
    EXPECT_EQ(ReadBytes(Target + L"DTAFB\\password.nsi"), "password");
    // Settings: table keys reset, other keys kept, thermal-printer keys and
    // RMIS_ENABLE of the first run kept.
    EXPECT_EQ(IniValue(Ini(), L"Options", L"kolday"), L"30");
    EXPECT_EQ(IniValue(Ini(), L"Options", L"cardiomodule"), L"2");
    EXPECT_EQ(IniValue(Ini(), L"Mine", L"Own"), L"survives");
    EXPECT_EQ(IniValue(Ini(), L"Options", L"polindex"), L"5");
    EXPECT_EQ(IniValue(Ini(), L"printoptions", L"termoprinter"), L"0");
    EXPECT_EQ(IniValue(Ini(), L"INTEGRATION", L"RMIS_ENABLE"), L"1");
    // Overwritten and kept files of the program tree.
    EXPECT_EQ(ReadBytes(Target + L"Profile\\profile.txt"), "profile v2");
    EXPECT_EQ(ReadBytes(Target + L"Profile\\only_in_target.txt"), "stays");
}

TEST_F(Reinstall, KeepOldDatabaseNo) {
    FirstRun(false);
    Ui.Expect(TBoxKind::Confirm, L"Такой каталог уже существует! Сохранить старую БД?", false);
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    std::vector<std::wstring> expected = ReinstallLines(false);
    expected.push_back(L"Удаление файла " + Target + L"backup\\v393\\old\\stale.txt....");
    ExpectLines(expected);
    EXPECT_EQ(ReadBytes(Target + L"DTAFB\\Q12.fdb"), "template database");
    EXPECT_EQ(ReadBytes(Target + L"DTAFB\\ecg.ini"), "local database settings");
    EXPECT_EQ(IniValue(Ini(), L"printoptions", L"termoprinter"), L"<absent>");
}

// --- Driver setup -----------------------------------------------------------

TEST_F(InstallSteps, NoDriverFolderNoSetup) {
    TDistOptions o;
    o.Driver = false;
    MakeDistribution(Dist, o);
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    ExpectLines(FreshLines(false));
    EXPECT_FALSE(Exists(Target + L"FTDIDriverInstall"));
}

TEST_F(InstallSteps, DriverBoxUncheckedCopiesFolderOnly) {
    MakeDistribution(Dist);
    Ui.Driver = false;
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    EXPECT_TRUE(Exists(Target + L"FTDIDriverInstall\\CDM21228_Setup.exe"));
    EXPECT_FALSE(Exists(Target + L"FTDIDriverInstall\\setup_ran.txt"));
}

TEST_F(InstallSteps, DriverSetupThatCannotStartIsNotReported) {
    TDistOptions o;
    o.DriverProgram = false;
    MakeDistribution(Dist, o);
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    ExpectLines(FreshLines(false));
    EXPECT_TRUE(Ui.Shown.empty());
}

// --- Stops and errors ---------------------------------------------------------

// A file where a folder belongs: the folder cannot be created, the run stops
// with the error box and the same text as the last line.
TEST_F(InstallSteps, FoldersThatCannotBeCreatedStopTheRun) {
    struct Row {
        const wchar_t* blocker;
        bool withProfile;
        std::wstring text;
    } rows[] = {
        {L"Profile", false, L"Ошибка при создании каталога <" + Target + L"Profile\\> !"},
        {L"DTAFB", true, L"Ошибка при создании каталога <" + Target + L"DTAFB\\> !"},
        {L"DTA_clear", true, L"Ошибка при создании каталога <" + Target + L"DTA_clear\\> !"},
        {L"CommDLL", true, L"Ошибка при создании каталога!"},
    };
    for (const auto& r : rows) {
        RemoveTree(Dist);
        RemoveTree(Target);
        ::CreateDirectoryW(Target.c_str(), nullptr);
        TDistOptions o;
        o.Profile = r.withProfile;
        MakeDistribution(Dist, o);
        WriteBytes(Target + r.blocker, "blocker");
        Ui.Lines.clear();
        Ui.Expect(TBoxKind::Error, r.text, true);
        EXPECT_FALSE(installer::RunInstallSteps(Run)) << "row: " << U8(r.blocker);
        ASSERT_FALSE(Ui.Lines.empty()) << "row: " << U8(r.blocker);
        EXPECT_EQ(Ui.Lines.back(), r.text) << "row: " << U8(r.blocker);
        EXPECT_FALSE(Exists(Target + L"Quorvel12.exe")) << "row: " << U8(r.blocker);
    }
}

TEST_F(InstallSteps, Step18FailureStopsBeforeIntegration) {
    MakeDistribution(Dist);
    Ui.Rmis = true;
    WriteBytes(Target + L"backup", "a file where the release folders belong");
    Ui.Expect(TBoxKind::Plain, L"Произошла ошибка копирования файлов. Перезапустите программу установки.", true);
    EXPECT_FALSE(installer::RunInstallSteps(Run));
    EXPECT_EQ(Ui.Lines.back(), L"Каталог <" + Target + L"\\CommDLL>создан...");
    EXPECT_FALSE(Exists(Target + L"config"));
    EXPECT_EQ(IniValue(Ini(), L"INTEGRATION", L"RMIS_ENABLE"), L"<absent>");
    EXPECT_FALSE(Exists(Target + L"Quorvel12.exe"));
}

TEST_F(InstallSteps, DistributionWithoutReleaseFolderStops) {
    MakeDistribution(Dist);
    RemoveTree(Dist + L"backup");
    ::CreateDirectoryW((Dist + L"backup").c_str(), nullptr);
    Ui.Rmis = true;
    const std::wstring text = L"В каталоге backup дистрибутива нет ни одной папки выпуска!";
    Ui.Expect(TBoxKind::Error, text, true);
    EXPECT_FALSE(installer::RunInstallSteps(Run));
    EXPECT_EQ(Ui.Lines.back(), text);
    EXPECT_FALSE(Exists(Target + L"config"));
}

TEST_F(InstallSteps, NewestReleaseIsTheLastByName) {
    MakeDistribution(Dist);
    // Made after v393 so that creation order differs from name order.
    WriteBytes(Dist + L"backup\\v100\\filelist.xml", "<filelist><files/></filelist>");
    WriteBytes(Dist + L"backup\\WithOutAnswer\\filelist.xml", "<filelist><files/></filelist>");
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    EXPECT_EQ(Run.NewestRelease, L"v393");
}

TEST_F(InstallSteps, MissingReadmeRaises) {
    MakeDistribution(Dist);
    ::DeleteFileW((Dist + L"readme.htm").c_str());
    EXPECT_THROW(installer::RunInstallSteps(Run), EFrameworkError);
    EXPECT_TRUE(Ui.Lines.empty());
}

TEST_F(InstallSteps, MissingEngineFileRaisesAndLeavesLineOpen) {
    MakeDistribution(Dist);
    ::DeleteFileW((Dist + L"Firebird_257\\gbak.exe").c_str());
    EXPECT_THROW(installer::RunInstallSteps(Run), EFrameworkError);
    ASSERT_FALSE(Ui.Lines.empty());
    EXPECT_EQ(Ui.Lines.back(), L"Копирование файла gbak.exe....");
    EXPECT_EQ(Ui.Lines.size(), 10u);
}

TEST_F(InstallSteps, MalformedFileListEndsTheRunWithAnError) {
    MakeDistribution(Dist);
    WriteBytes(Dist + L"backup\\v393\\filelist.xml", "<filelist><files><file DistrFN=\"a\">a</files>");
    try {
        installer::RunInstallSteps(Run);
        ADD_FAILURE() << "no error";
    } catch (const EFrameworkError& e) {
        EXPECT_NE(e.Message().find(L"filelist.xml"), std::wstring::npos) << e.what();
    }
    EXPECT_FALSE(Exists(Desktop + L"QUORVEL Test.lnk"));
}

TEST_F(InstallSteps, ReadOnlyReleaseInfoIsMadeWritableAndUpdated) {
    MakeDistribution(Dist);
    WriteBytes(Dist + L"backup\\v393\\filelist.xml",
              "<filelist><files><file DistrFN=\"Quorvel12.exe\">Quorvel12.exe</file></files></filelist>");
    WriteBytes(Target + L"ReleaseInfo", "<ROOT><Version>1</Version><Level>1</Level></ROOT>");
    ::SetFileAttributesW((Target + L"ReleaseInfo").c_str(), FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(installer::RunInstallSteps(Run));
    EXPECT_EQ(::GetFileAttributesW((Target + L"ReleaseInfo").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_NE(ReadBytes(Target + L"ReleaseInfo").find("<Level>393</Level>"), std::string::npos);
}

TEST_F(InstallSteps, ReleaseInfoVersion2EndsTheRunBeforeTheShortcut) {
    MakeDistribution(Dist);
    const std::string v2 = "<ROOT><Version>2</Version><Level>370</Level></ROOT>";
    WriteBytes(Dist + L"backup\\v393\\ReleaseInfo", v2);
    try {
        installer::RunInstallSteps(Run);
        ADD_FAILURE() << "no error";
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), L"Cannot get release information, error: unknown release file version");
    }
    EXPECT_EQ(ReadBytes(Target + L"ReleaseInfo"), v2);
    EXPECT_FALSE(Exists(Desktop + L"QUORVEL Test.lnk"));
}

TEST_F(InstallSteps, SettingsFileThatCannotBeWrittenRaises) {
    MakeDistribution(Dist);
    // A folder where ecg.ini belongs: the first write is refused.
    ::CreateDirectoryW((Target + L"Settings").c_str(), nullptr);
    ::CreateDirectoryW((Target + L"Settings\\ecg.ini").c_str(), nullptr);
    EXPECT_THROW(installer::RunInstallSteps(Run), EFrameworkError);
    EXPECT_EQ(Ui.Lines.back(), L"Создание настроечных файлов....Завершено");
}

// --- File list --------------------------------------------------------------

class FileList : public InstallSteps {
protected:
    void SetUp() override {
        InstallSteps::SetUp();
        Release = Target + L"backup\\v393\\";
        WriteBytes(Release + L"a.txt", "A");
        WriteBytes(Release + L"b.txt", "B");
        WriteBytes(Root + L"secret.txt", "outside");
    }
    void List(const std::string& body) { WriteBytes(Release + L"filelist.xml", body); }
    std::wstring CopyLine(const std::wstring& distrFN, const wchar_t* mark) const {
        return L"Копирование файла " + Release + distrFN + L"...." + mark;
    }
    std::wstring Release;
};

TEST_F(FileList, MissingSourceMarksErrorAndGoesOn) {
    List("<l><files><f DistrFN=\"nothing.txt\">x.txt</f><f DistrFN=\"a.txt\">sub\\a.txt</f></files></l>");
    ASSERT_TRUE(installer::ProcessFileList(Ui, Release, Target));
    ExpectLines({CopyLine(L"nothing.txt", kFail), CopyLine(L"a.txt", kDone)});
    EXPECT_EQ(ReadBytes(Target + L"sub\\a.txt"), "A");
}

TEST_F(FileList, WithoutDelfilesOnlyCopies) {
    List("<l><files><f DistrFN=\"a.txt\">a.txt</f></files></l>");
    WriteBytes(Target + L"b.txt", "stays");
    ASSERT_TRUE(installer::ProcessFileList(Ui, Release, Target));
    ExpectLines({CopyLine(L"a.txt", kDone)});
    EXPECT_EQ(ReadBytes(Target + L"b.txt"), "stays");
}

TEST_F(FileList, DeletionLineShowsDistrFnPath) {
    List("<l><delfiles><f DistrFN=\"shown\\name.dll\">gone.dll</f><f DistrFN=\"x\">absent.dll</f></delfiles>"
         "<files/></l>");
    WriteBytes(Target + L"gone.dll", "old");
    ASSERT_TRUE(installer::ProcessFileList(Ui, Release, Target));
    ExpectLines({L"Удаление файла " + Release + L"shown\\name.dll...."});
    EXPECT_FALSE(Exists(Target + L"gone.dll"));
}

TEST_F(FileList, EntryWithoutDistrFnFails) {
    List("<l><files><f>a.txt</f><f DistrFN=\"b.txt\">b.txt</f></files></l>");
    ASSERT_TRUE(installer::ProcessFileList(Ui, Release, Target));
    ExpectLines({L"Копирование файла " + Release + L"....ОШИБКА!!!", CopyLine(L"b.txt", kDone)});
}

TEST_F(FileList, ListsThatCannotBeProcessedRaise) {
    struct Row {
        const char* name;
        const char* body;
    } rows[] = {
        {"not well-formed", "<l><files></l>"},
        {"empty file", ""},
        {"no files element", "<l><delfiles/></l>"},
        {"declaration before the root", "<?xml version=\"1.0\"?><l><files/></l>"},
        {"comment before the root", "<!-- c --><l><files/></l>"},
        {"external entity", "<!DOCTYPE l [<!ENTITY e SYSTEM \"file:///C:/windows/win.ini\">]><l><files>&e;</files></l>"},
    };
    for (const auto& r : rows) {
        List(r.body);
        Ui.Lines.clear();
        EXPECT_THROW(installer::ProcessFileList(Ui, Release, Target), EFrameworkError) << "row: " << r.name;
        EXPECT_TRUE(Ui.Lines.empty()) << "row: " << r.name;
    }
    ::DeleteFileW((Release + L"filelist.xml").c_str());
    EXPECT_THROW(installer::ProcessFileList(Ui, Release, Target), EFrameworkError) << "row: missing";
}

TEST_F(FileList, EntriesOutsideTheirFolderAreRefused) {
    const std::wstring drive = Target.substr(0, 2);
    const std::string abs = U8(Root) + "abs.txt";
    const std::string driveRel = U8(drive) + "rel.txt";
    List("<l><files>"
         "<f DistrFN=\"a.txt\">..\\up.txt</f>"
         "<f DistrFN=\"a.txt\">sub\\..\\..\\up2.txt</f>"
         "<f DistrFN=\"a.txt\">" + abs + "</f>"
         "<f DistrFN=\"a.txt\">" + driveRel + "</f>"
         "<f DistrFN=\"a.txt\">\\\\server\\share\\x.txt</f>"
         "<f DistrFN=\"a.txt\">\\rooted.txt</f>"
         "<f DistrFN=\"a.txt\">a.txt:stream</f>"
         "<f DistrFN=\"..\\..\\..\\secret.txt\">stolen.txt</f>"
         "<f DistrFN=\"" + abs + "\">stolen2.txt</f>"
         "<f DistrFN=\"b.txt\">ok\\b.txt</f>"
         "</files><delfiles>"
         "<f DistrFN=\"x\">..\\..\\secret.txt</f>"
         "<f DistrFN=\"x\">" + U8(Root) + "secret.txt</f>"
         "</delfiles></l>");
    WriteBytes(Root + L"abs.txt", "untouched");
    ASSERT_TRUE(installer::ProcessFileList(Ui, Release, Target));
    const std::wstring wabs = Root + L"abs.txt";
    ExpectLines({CopyLine(L"a.txt", kFail), CopyLine(L"a.txt", kFail), CopyLine(L"a.txt", kFail),
                 CopyLine(L"a.txt", kFail), CopyLine(L"a.txt", kFail), CopyLine(L"a.txt", kFail),
                 CopyLine(L"a.txt", kFail), CopyLine(L"..\\..\\..\\secret.txt", kFail), CopyLine(wabs, kFail),
                 CopyLine(L"b.txt", kDone)});
    EXPECT_FALSE(Exists(Root + L"up.txt"));
    EXPECT_FALSE(Exists(Root + L"up2.txt"));
    EXPECT_FALSE(Exists(Root + L"backup"));
    EXPECT_EQ(ReadBytes(Root + L"abs.txt"), "untouched");
    EXPECT_FALSE(Exists(Target + L"stolen.txt"));
    EXPECT_FALSE(Exists(Target + L"stolen2.txt"));
    EXPECT_EQ(ReadBytes(Root + L"secret.txt"), "outside");
    EXPECT_EQ(ReadBytes(Target + L"ok\\b.txt"), "B");
}

TEST_F(FileList, SiblingFolderWithCommonPrefixIsOutside) {
    // Target "...\Quorvel12_393\" and its sibling "...\Quorvel12_3930\".
    List("<l><files><f DistrFN=\"a.txt\">..\\Quorvel12_3930\\a.txt</f></files>"
         "<delfiles><f DistrFN=\"x\">..\\Quorvel12_3930\\victim.txt</f></delfiles></l>");
    std::wstring sibling = Target;
    sibling.insert(sibling.size() - 1, L"0");
    WriteBytes(sibling + L"victim.txt", "victim");
    ASSERT_TRUE(installer::ProcessFileList(Ui, Release, Target));
    ExpectLines({CopyLine(L"a.txt", kFail)});
    EXPECT_FALSE(Exists(sibling + L"a.txt"));
    EXPECT_EQ(ReadBytes(sibling + L"victim.txt"), "victim");
}

// --- Read-only attribute and release level ---------------------------------

TEST_F(InstallSteps, SetReadOnlyAttribute) {
    EXPECT_EQ(installer::SetReadOnlyAttribute(Root + L"missing", false), 0);
    EXPECT_FALSE(Exists(Root + L"missing"));
    const std::wstring f = Root + L"ri";
    WriteBytes(f, "x");
    ASSERT_TRUE(::SetFileAttributesW(f.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    const DWORD before = ::GetFileAttributesW(f.c_str());
    ASSERT_TRUE(before & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(installer::SetReadOnlyAttribute(f, false), 0);
    EXPECT_EQ(::GetFileAttributesW(f.c_str()), before & ~FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(installer::SetReadOnlyAttribute(f, true), 0);
    EXPECT_EQ(::GetFileAttributesW(f.c_str()), before);
}

TEST_F(InstallSteps, WriteReleaseLevelRows) {
    const std::wstring f = Target + L"ReleaseInfo";
    const std::wstring prefix = L"Cannot get release information, error: ";
    struct Row {
        const char* name;
        const char* body;
        const wchar_t* error;  // nullptr: no error
    } rows[] = {
        {"version 2", "<ROOT><Version>2</Version><Level>370</Level></ROOT>", L"unknown release file version"},
        {"no version", "<ROOT><Level>370</Level></ROOT>", L"unknown release file version"},
        {"version text", "<ROOT><Version>abc</Version><Level>370</Level></ROOT>",
         L"'abc' is not a valid integer value"},
        {"no root", "<TOP><Version>1</Version><Level>370</Level></TOP>", L"no ROOT element"},
        {"no level", "<ROOT><Version>1</Version></ROOT>", L"no Level element"},
        {"not well-formed", "<ROOT><Version>1</Version>", L""},
    };
    for (const auto& r : rows) {
        WriteBytes(f, r.body);
        try {
            installer::WriteReleaseLevel(Target, L"393");
            ADD_FAILURE() << "row: " << r.name << ": no error";
        } catch (const EFrameworkError& e) {
            if (*r.error) EXPECT_EQ(e.Message(), prefix + r.error) << "row: " << r.name;
            else EXPECT_EQ(e.Message().rfind(prefix, 0), 0u) << "row: " << r.name << ": " << e.what();
        }
        EXPECT_EQ(ReadBytes(f), r.body) << "row: " << r.name;
    }
    // Missing file: nothing happens.
    ::DeleteFileW(f.c_str());
    EXPECT_NO_THROW(installer::WriteReleaseLevel(Target, L"393"));
    EXPECT_FALSE(Exists(f));
    // A read-only file cannot be saved.
    WriteBytes(f, "<ROOT><Version>1</Version><Level>370</Level></ROOT>");
    ::SetFileAttributesW(f.c_str(), FILE_ATTRIBUTE_READONLY);
    if (ReadOnlyIsEnforced(f)) {
        try {
            installer::WriteReleaseLevel(Target, L"393");
            ADD_FAILURE() << "read-only: no error";
        } catch (const EFrameworkError& e) {
            EXPECT_EQ(e.Message().rfind(prefix, 0), 0u) << e.what();
        }
    }
    ::SetFileAttributesW(f.c_str(), FILE_ATTRIBUTE_NORMAL);
    // Version 1 with other content: only the level changes.
    const std::string v1 = "<ROOT><Version>1</Version><Level>370</Level><Other a=\"b\">text</Other></ROOT>";
    WriteBytes(f, v1);
    installer::WriteReleaseLevel(Target, L"393");
    std::string after = ReadBytes(f);
    while (!after.empty() && (after.back() == '\n' || after.back() == '\r')) after.pop_back();
    EXPECT_EQ(after, "<ROOT><Version>1</Version><Level>393</Level><Other a=\"b\">text</Other></ROOT>");
}

TEST_F(InstallSteps, WriteReleaseLevelKeepsDeclarationAndUtf8Text) {
    // Saved by the platform's writer: UTF-8 (or ASCII) files only, see the
    // developer notes for documents declared windows-1251 under Wine.
    const std::wstring f = Target + L"ReleaseInfo";
    WriteBytes(f, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<ROOT><Version>1</Version><Level>370</Level>"
                 "<Note>\xD0\x92\xD1\x8B\xD0\xBF\xD1\x83\xD1\x81\xD0\xBA</Note></ROOT>\r\n");
    installer::WriteReleaseLevel(Target, L"393");
    const std::string after = ReadBytes(f);
    EXPECT_NE(after.find("<?xml version=\"1.0\""), std::string::npos) << after;
    EXPECT_NE(after.find("<Level>393</Level><Note>\xD0\x92\xD1\x8B\xD0\xBF\xD1\x83\xD1\x81\xD0\xBA</Note>"),
              std::string::npos)
        << after;
}

// --- Shortcut -----------------------------------------------------------------

TEST_F(InstallSteps, ShortcutNamesAndFolders) {
    const std::wstring exe = Target + L"Quorvel12.exe";
    WriteBytes(exe, "program");
    std::wstring linkPath = L"<unchanged>";
    installer::CreateShortcut(exe, 0, L"", L"", L"", L"desc", L"", linkPath);
    EXPECT_EQ(linkPath, Desktop + L"Quorvel12.lnk");
    EXPECT_TRUE(Exists(Desktop + L"Quorvel12.lnk"));

    linkPath = L"<unchanged>";
    installer::CreateShortcut(exe, 0, L"", L"", L"-x", L"desc", L"My.Link", linkPath);
    EXPECT_EQ(linkPath, Desktop + L"My.lnk");
    TLinkInfo info = ReadLink(Desktop + L"My.lnk");
    EXPECT_EQ(info.Arguments, L"-x");
    EXPECT_EQ(info.Description, L"desc");

    // Replaced on a second call.
    installer::CreateShortcut(exe, 0, L"", L"", L"-y", L"desc", L"My", linkPath);
    EXPECT_EQ(ReadLink(Desktop + L"My.lnk").Arguments, L"-y");

    // Code 4: the folder itself; empty folder writes nothing.
    const std::wstring own = Root + L"links";
    ::CreateDirectoryW(own.c_str(), nullptr);
    linkPath = L"<unchanged>";
    installer::CreateShortcut(exe, 4, own, Root, L"", L"desc", L"", linkPath);
    EXPECT_EQ(linkPath, own + L"\\Quorvel12.lnk");
    EXPECT_EQ(ReadLink(own + L"\\Quorvel12.lnk").WorkDir, Root);
    linkPath = L"<unchanged>";
    installer::CreateShortcut(exe, 4, L"", L"", L"", L"desc", L"", linkPath);
    EXPECT_EQ(linkPath, L"<unchanged>");

    // A subfolder that does not exist: no file, no error, the path all the same.
    installer::CreateShortcut(exe, 0, L"NoSuchSub", L"", L"", L"desc", L"", linkPath);
    EXPECT_EQ(linkPath, Desktop + L"NoSuchSub\\Quorvel12.lnk");
    EXPECT_FALSE(Exists(Desktop + L"NoSuchSub"));

    // Codes without a registry folder, and codes out of range.
    constexpr wchar_t kMapGroups[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\GrpConv\\MapGroups";
    bool hadQuick = false;
    const std::wstring quick = ReadRegString(kMapGroups, L"Quick Launch", hadQuick);
    DeleteRegValue(kMapGroups, L"Quick Launch");
    linkPath = L"<unchanged>";
    installer::CreateShortcut(exe, 1, L"", L"", L"", L"desc", L"", linkPath);
    EXPECT_EQ(linkPath, L"<unchanged>");
    const std::wstring ql = Root + L"quick";
    ::CreateDirectoryW(ql.c_str(), nullptr);
    WriteRegString(kMapGroups, L"Quick Launch", ql);
    installer::CreateShortcut(exe, 1, L"", L"", L"", L"desc", L"", linkPath);
    EXPECT_TRUE(Exists(ql + L"\\Quorvel12.lnk"));
    if (hadQuick) WriteRegString(kMapGroups, L"Quick Launch", quick);
    else DeleteRegValue(kMapGroups, L"Quick Launch");
    linkPath = L"<unchanged>";
    installer::CreateShortcut(exe, 5, own, L"", L"", L"desc", L"", linkPath);
    EXPECT_EQ(linkPath, L"<unchanged>");
}

TEST_F(InstallSteps, CyrillicShortcutRoundTrip) {
    if (!RussianLocale()) GTEST_SKIP() << "Cyrillic link paths round-trip under code page 1251 only (Wine)";
    const std::wstring dir = Root + L"Комплекс ЭКГ\\";
    const std::wstring exe = dir + L"Quorvel12.exe";
    WriteBytes(exe, "program");
    std::wstring linkPath;
    installer::CreateShortcut(exe, 0, L"", L"", L"", L"Комплекс анализа электрокардиограмм \"Кардио\"", L"Кардио",
                              linkPath);
    EXPECT_EQ(linkPath, Desktop + L"Кардио.lnk");
    TLinkInfo info = ReadLink(linkPath);
    EXPECT_EQ(info.Path, exe);
    EXPECT_EQ(info.WorkDir, dir);  // the folder part with its "\\"
    EXPECT_EQ(info.Description, L"Комплекс анализа электрокардиограмм \"Кардио\"");
}

// --- Regional texts and the INI writer ------------------------------------------

TEST(IniWriter, RegionalTexts) {
    SYSTEMTIME t{};
    t.wYear = 2026;
    t.wMonth = 3;
    t.wDay = 7;
    EXPECT_EQ(installer::RegionalDateTimeText(t).find(L' '), std::wstring::npos) << "midnight: date only";
    t.wHour = 14;
    t.wMinute = 5;
    t.wSecond = 9;
    const std::wstring text = installer::RegionalDateTimeText(t);
    if (RussianLocale()) {
        EXPECT_EQ(text, L"07.03.2026 14:05:09");
        EXPECT_EQ(installer::RegionalDecimalSeparator(), L",");
    } else {
        EXPECT_EQ(text, L"3/7/2026 2:05:09 PM");
        EXPECT_EQ(installer::RegionalDecimalSeparator(), L".");
    }
}

TEST(IniWriter, ValuesAndRefusedWrites) {
    const std::wstring dir = NewTempDir(L"ini");
    const std::wstring file = dir + L"ecg.ini";
    {
        installer::TIniWriter ini(file);
        ini.WriteFloat(L"Options", L"half", 1.5);
        ini.WriteBool(L"options", L"yes", true);
        ini.WriteBool(L"options", L"no", false);
        ini.WriteInteger(L"options", L"neg", -12);
    }
    EXPECT_EQ(IniValue(file, L"OPTIONS", L"half"), RussianLocale() ? L"1,5" : L"1.5");
    EXPECT_EQ(IniValue(file, L"OPTIONS", L"yes"), L"1");
    EXPECT_EQ(IniValue(file, L"OPTIONS", L"no"), L"0");
    EXPECT_EQ(IniValue(file, L"OPTIONS", L"neg"), L"-12");
    installer::TIniWriter missing(dir + L"NoFolder\\ecg.ini");
    EXPECT_THROW(missing.WriteInteger(L"Options", L"cardiomodule", 2), EFrameworkError);
    RemoveTree(dir);
}

}  // namespace
