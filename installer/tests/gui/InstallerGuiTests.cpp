// Drives the real Install.exe under a display: every test starts the
// installer from its own copy of the sample distribution, types into the
// path field, clicks, answers the message boxes by their text and reads the
// progress list, then checks the installed tree.
//
// Arguments: --dist=<folder of the sample distribution>
//            [--install-noversion=<Install.exe built without version information>]
//            [--install-edge=<Install.exe of version 12.1234 with a complex name of 300 characters>]
#include "GuiDriver.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <map>
#include <regex>
#include <string>
#include <vector>

using namespace guidrv;

namespace {

std::wstring g_dist;           // sample distribution (read only)
std::wstring g_installNoVersion;
std::wstring g_installEdge;

const std::wstring kQExisting = L"Такой каталог уже существует! Продолжить установку?";
const std::wstring kQKeepDb = L"Такой каталог уже существует! Сохранить старую БД?";
const std::wstring kQFinish = L"Установка завершена. Выйти из программы установки?";
const std::wstring kNoPath = L"Не выбран путь для установки программы!";
const std::wstring kRoot = L"Программу нельзя устанавливать в корневой каталог!";
const std::wstring kNoVersion = L"Введите номер версии!";
const std::wstring kXp = L"Поддержка Windows XP и более ранних версий прекращена.";
const std::wstring kStep18 = L"Произошла ошибка копирования файлов. Перезапустите программу установки.";
const std::wstring kDone = L"Завершено";
const std::wstring kFail = L"ОШИБКА!!!";

// Answers given by table; a box whose text is not in the table stays open
// and fails the test (its text is in the events).
TAnswers Table(std::map<std::wstring, int> table, bool continueReadme = true) {
  TAnswers a;
  a.ContinueReadme = continueReadme;
  a.Box = [table](const std::wstring& text) {
    auto it = table.find(text);
    return it == table.end() ? 0 : it->second;
  };
  return a;
}

// As Table, but any other box without a question is acknowledged with OK
// (for errors whose wording belongs to the platform or the file operations).
TAnswers TableOrOk(std::map<std::wstring, int> table) {
  TAnswers a;
  a.Box = [table](const std::wstring& text) {
    auto it = table.find(text);
    if (it != table.end()) return it->second;
    return text.find(L'?') == std::wstring::npos ? kOk : 0;
  };
  return a;
}

std::string Join(const std::vector<std::wstring>& lines) {
  std::string s;
  for (const auto& l : lines) s += "  " + Utf8(l) + "\n";
  return s;
}

std::string Describe(const std::vector<TEvent>& ev) {
  std::string s;
  for (const auto& e : ev) s += "  " + Utf8(e.Kind) + ": " + Utf8(e.Text) + " -> " + std::to_string(e.Answer) + "\n";
  return s;
}

std::wstring Ini(const std::wstring& file, const wchar_t* section, const wchar_t* key) {
  wchar_t buf[512];
  GetPrivateProfileStringW(section, key, L"<absent>", buf, 512, file.c_str());
  return buf;
}

FILETIME WriteTime(const std::wstring& p) {
  WIN32_FILE_ATTRIBUTE_DATA d{};
  GetFileAttributesExW(p.c_str(), GetFileExInfoStandard, &d);
  return d.ftLastWriteTime;
}

bool SameTime(const FILETIME& a, const FILETIME& b) {
  return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

std::string Bytes(const std::wstring& p) {
  std::string s;
  if (!ReadAll(p, s)) return "<unreadable " + Utf8(p) + ">";
  return s;
}

std::wstring DesktopFolder() {
  HKEY k;
  std::wstring r;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                    KEY_READ, &k) == ERROR_SUCCESS) {
    wchar_t buf[1024];
    DWORD size = sizeof buf, type = 0;
    if (RegQueryValueExW(k, L"Desktop", nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) == ERROR_SUCCESS)
      r.assign(buf, wcsnlen(buf, size / sizeof(wchar_t)));
    RegCloseKey(k);
  }
  return r;
}

// String resource 1 of a program, read into `capacity` characters (the
// terminator included).
std::wstring StringResource1(const std::wstring& exe, int capacity) {
  HMODULE m = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return L"<cannot load>";
  std::vector<wchar_t> buf(static_cast<size_t>(capacity), L'\0');
  LoadStringW(m, 1, buf.data(), capacity);
  FreeLibrary(m);
  return buf.data();
}

// ComplexNameStr as the installer derives it: string resource 1, cut to 254.
std::wstring ComplexName(const std::wstring& exe) { return StringResource1(exe, 255); }

struct TLink {
  bool Loaded = false;
  std::wstring Path, WorkDir, Description, Args;
};

TLink ReadLink(const std::wstring& lnk) {
  TLink r;
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link))))
    return r;
  IPersistFile* pf = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&pf)))) {
    if (SUCCEEDED(pf->Load(lnk.c_str(), STGM_READ))) {
      r.Loaded = true;
      wchar_t buf[2048];
      WIN32_FIND_DATAW fd;
      if (SUCCEEDED(link->GetPath(buf, 2048, &fd, SLGP_RAWPATH))) r.Path = buf;
      if (SUCCEEDED(link->GetWorkingDirectory(buf, 2048))) r.WorkDir = buf;
      if (SUCCEEDED(link->GetDescription(buf, 2048))) r.Description = buf;
      if (SUCCEEDED(link->GetArguments(buf, 2048))) r.Args = buf;
    }
    pf->Release();
  }
  link->Release();
  return r;
}

// Entries of one list of a filelist.xml of the sample distribution (plain
// text scan of the generator's own layout).
struct TEntry {
  std::wstring Distr, Target;
};
std::vector<TEntry> ListEntries(const std::wstring& filelist, const char* section) {
  std::string xml = Bytes(filelist);
  std::vector<TEntry> out;
  std::string open = std::string("<") + section + ">", close = std::string("</") + section + ">";
  size_t a = xml.find(open), b = xml.find(close);
  if (a == std::string::npos || b == std::string::npos) return out;
  std::string part = xml.substr(a, b - a);
  std::regex re("DistrFN=\"([^\"]*)\">([^<]*)<");
  for (std::sregex_iterator it(part.begin(), part.end(), re), end; it != end; ++it)
    out.push_back({Utf16((*it)[1]), Utf16((*it)[2])});
  return out;
}

class InstallerGui : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_FALSE(g_dist.empty()) << "run with --dist=<sample distribution>";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    Work = ExeFolder() + L"gui-work\\" + Utf16(info->name()) + L"\\";
    DeleteTree(Work.substr(0, Work.size() - 1));
    ASSERT_TRUE(CreateDirectoryW((ExeFolder() + L"gui-work").c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    ASSERT_TRUE(CreateDirectoryW(Work.c_str(), nullptr));
    Dist = Work + L"dist\\";
    ASSERT_TRUE(CopyTree(g_dist, Dist.substr(0, Dist.size() - 1))) << "copying the sample distribution";
    Target = Work + L"Target\\";
    Desktop = DesktopFolder();
    std::wstring name = ComplexName(Dist + L"Install.exe");
    LinkFile = Desktop + L"\\" + (name.empty() ? L"Quorvel12" : name) + L".lnk";
    DeleteFileW(LinkFile.c_str());
  }
  void TearDown() override {
    if (App.Running()) App.Kill();
  }

  void Start(const std::wstring& exe = L"") {
    ASSERT_TRUE(App.Start(exe.empty() ? Dist + L"Install.exe" : exe, Work)) << Utf8(App.Error());
    W = App.Window();
  }

  // One run with the path typed into ePath (target folder without "\" by
  // default) and the given answers.
  void Run(const TAnswers& answers, const std::wstring* path = nullptr) {
    std::wstring p = path ? *path : Target.substr(0, Target.size() - 1);
    ASSERT_TRUE(SetText(W.ePath, p));
    Events.clear();
    ASSERT_TRUE(App.RunInstall(answers, Events)) << Utf8(App.Error()) << Describe(Events);
    for (const auto& e : Events)
      ASSERT_NE(e.Answer, 0) << "unexpected box: " << Utf8(e.Text) << "\n" << Describe(Events);
    Lines = App.Lines();
  }

  // A complete run into Target; the final question answered No so that the
  // list can be read.
  void FullRun(std::map<std::wstring, int> extra = {}) {
    extra.emplace(kQFinish, kNo);
    Run(Table(extra));
  }

  bool HasLine(const std::wstring& l) const {
    return std::find(Lines.begin(), Lines.end(), l) != Lines.end();
  }
  bool HasBox(const std::wstring& text) const {
    for (const auto& e : Events)
      if (e.Kind == L"box" && e.Text == text) return true;
    return false;
  }

  // Types a path by hand, then opens the folder picker and checks its title.
  void OpenPicker(HWND& picker) {
    ASSERT_TRUE(SetText(W.ePath, L"D:\\typed by hand"));
    Click(W.BtnSelectPath);
    ASSERT_TRUE(WaitUntil([&] { return (picker = App.FindTop(L"#32770", nullptr)) != nullptr; }, 20000))
        << "no folder picker";
    EXPECT_TRUE(FindChild(picker, nullptr, L"Выберите путь для установки программ")) << "picker title";
  }

  void ExpectIdle() {
    EXPECT_TRUE(IsWindowEnabled(W.BtnInstall));
    EXPECT_TRUE(IsWindowEnabled(W.BtnCancel));
    EXPECT_TRUE(IsWindowEnabled(W.BtnSelectPath));
    EXPECT_TRUE(IsWindowEnabled(W.ePath));
  }

  // Closes the idle window with BtnCancel; the program ends.
  void Quit() {
    Click(W.BtnCancel);
    EXPECT_TRUE(App.WaitExit(15000)) << "the installer did not end on Выход";
  }

  std::vector<std::wstring> ExpectedFreshLines(bool rmis = false) const {
    std::vector<std::wstring> e;
    e.push_back(L"Каталог создан...");
    for (const wchar_t* n : {L"aliases.conf", L"firebird.conf", L"fbclient.Dll", L"fbembed.Dll", L"ib_util.Dll",
                             L"icudt30.Dll", L"icuin30.Dll", L"icuuc30.Dll", L"firebird.msg", L"gbak.exe",
                             L"msvcp80.Dll", L"msvcr80.Dll", L"fbintl.conf", L"fbintl.dll", L"fbudf.dll",
                             L"ib_udf.dll", L"fbudf.sql", L"ib_udf.sql", L"ib_udf2.sql", L"Kelvar.Dll", L"Trimsa.Dll",
                             L"Holmex.Dll", L"Dravin.Dll"})
      e.push_back(L"Копирование файла " + std::wstring(n) + L"...." + kDone);
    e.push_back(L"Каталог <service> скопирован...");
    e.push_back(L"Каталог <" + Target + L"DTAFB\\> создан..." + kDone);
    e.push_back(L"Каталог <" + Target + L"DTA_clear\\> создан..." + kDone);
    e.push_back(L"Создание настроечных файлов...." + kDone);
    e.push_back(L"Создание файлов базы данных...." + kDone);
    e.push_back(L"Каталог <" + Target + L"\\CommDLL>создан...");
    if (rmis) e.push_back(L"Каталог < config\\Integration> скопирован...");
    std::wstring rel = Target + L"backup\\R393\\";
    for (const auto& f : ListEntries(Dist + L"backup\\R393\\filelist.xml", "files"))
      e.push_back(L"Копирование файла " + rel + f.Distr + L"...." + kDone);
    e.push_back(L"Удаление файла " + rel + L"obsolete\\obsolete-tool.dll....");
    return e;
  }

  TInstaller App;
  TMainWindow W;
  std::wstring Work, Dist, Target, Desktop, LinkFile;
  std::vector<TEvent> Events;
  std::vector<std::wstring> Lines;
};

// ---------------------------------------------------------------------------

TEST_F(InstallerGui, StartStateOfTheMainWindow) {
  Start();
  EXPECT_EQ(Text(W.ePath), L"C:\\Quorvel12_393");
  EXPECT_EQ(Text(W.edVersionNumber), L"393");
  EXPECT_TRUE(Checked(W.chInstDriver));
  EXPECT_FALSE(Checked(W.chCardiograph));
  EXPECT_FALSE(Checked(W.cbRMISIntegration));
  EXPECT_FALSE(IsWindowVisible(W.LogList));
  EXPECT_FALSE(App.Box()) << "no message on a current Windows version";
  EXPECT_FALSE(App.Readme()) << "the release notes stay hidden at start";
  EXPECT_TRUE(App.Readme(false)) << "the release-notes window is created at start";
  ExpectIdle();
  // Closing with the title bar while idle ends the program.
  PostMessageW(W.Main, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(App.WaitExit(15000));
  EXPECT_EQ(App.ExitCode(), 0u);
}

// Visible bitmap pictures of the window (banner and logo).
BOOL CALLBACK CountVisibleBitmap(HWND h, LPARAM lp) {
  if (_wcsicmp(ClassOf(h).c_str(), L"Static") == 0 && (GetWindowLongW(h, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP &&
      IsWindowVisible(h))
    ++*reinterpret_cast<int*>(lp);
  return TRUE;
}

int VisibleBitmaps(HWND main) {
  int n = 0;
  EnumChildWindows(main, CountVisibleBitmap, reinterpret_cast<LPARAM>(&n));
  return n;
}

// Which banner shows: the standard edition's picture (Image12, control
// 1001) or the PC edition's (ImagePC, 1002).
std::wstring ShownBanner(HWND main) {
  const bool std12 = IsWindowVisible(GetDlgItem(main, 1001)), pc = IsWindowVisible(GetDlgItem(main, 1002));
  return std::wstring(std12 ? L"Image12" : L"") + (pc ? L"ImagePC" : L"");
}

TEST_F(InstallerGui, EditionBoxSwitchesBannerAndTitle) {
  Start();
  const std::wstring title12 = L"Установка комплекса \"Quorvel-12\"";
  const std::wstring titlePc = L"Установка комплекса \"Quorvel-ПК\"";
  EXPECT_TRUE(App.FindTop(nullptr, title12.c_str(), false)) << "application title at start";
  EXPECT_EQ(ShownBanner(W.Main), L"Image12") << "at start";
  int pictures = VisibleBitmaps(W.Main);
  for (int round = 0; round < 2; ++round) {
    SetChecked(W.chCardiograph, true);
    EXPECT_TRUE(App.FindTop(nullptr, titlePc.c_str(), false)) << "round " << round;
    EXPECT_FALSE(App.FindTop(nullptr, title12.c_str(), false)) << "round " << round;
    EXPECT_EQ(ShownBanner(W.Main), L"ImagePC") << "round " << round;
    EXPECT_EQ(VisibleBitmaps(W.Main), pictures) << "exactly one banner stays visible";
    SetChecked(W.chCardiograph, false);
    EXPECT_TRUE(App.FindTop(nullptr, title12.c_str(), false)) << "round " << round;
    EXPECT_FALSE(App.FindTop(nullptr, titlePc.c_str(), false)) << "round " << round;
    EXPECT_EQ(ShownBanner(W.Main), L"Image12") << "round " << round;
    EXPECT_EQ(VisibleBitmaps(W.Main), pictures);
  }
  EXPECT_EQ(Text(W.Main), L"Установка комплекса") << "the main window keeps its caption";
  Quit();
}

TEST_F(InstallerGui, CancellingTheFolderPickerKeepsTheTypedPath) {
  Start();
  HWND picker = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenPicker(picker));
  PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000));
  EXPECT_EQ(Text(W.ePath), L"D:\\typed by hand");
  ExpectIdle();
  Quit();
}

// The picker: its title, the new (resizable) dialog style, no button for a
// new folder, the desktop as the root of its tree.  Confirming a folder
// puts its full path into ePath.
BOOL CALLBACK CountVisibleButton(HWND h, LPARAM lp) {
  if (_wcsicmp(ClassOf(h).c_str(), L"Button") == 0 && IsWindowVisible(h))
    reinterpret_cast<std::vector<std::wstring>*>(lp)->push_back(Text(h));
  return TRUE;
}

TEST_F(InstallerGui, FolderPickerFromTheDesktopAndItsConfirmedFolder) {
  Start();
  HWND picker = nullptr;
  ASSERT_NO_FATAL_FAILURE(OpenPicker(picker));
  EXPECT_TRUE(GetWindowLongW(picker, GWL_STYLE) & WS_THICKFRAME) << "the new dialog style is resizable";
  std::vector<std::wstring> buttons;
  EnumChildWindows(picker, CountVisibleButton, reinterpret_cast<LPARAM>(&buttons));
  EXPECT_EQ(buttons.size(), 2u) << "only confirm and cancel, no new-folder button";
  HWND tree = FindChild(picker, L"SysTreeView32", nullptr);
  ASSERT_TRUE(tree) << "no folder tree";
  const LRESULT root = SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0);
  ASSERT_NE(root, 0) << "the tree is empty";
  EXPECT_EQ(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, root), 0) << "one root: the desktop";
  // Confirm the root, the desktop: a file-system folder.
  SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, root);
  PostMessageW(picker, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(picker); }, 10000));
  ASSERT_TRUE(WaitUntil([&] { return Text(W.ePath) != L"D:\\typed by hand"; }, 10000));
  EXPECT_EQ(_wcsicmp(Text(W.ePath).c_str(), Desktop.c_str()), 0) << Utf8(Text(W.ePath)) << " / " << Utf8(Desktop);
  ExpectIdle();
  Quit();
}

// The release notes are the page beside the running installer (its
// address "file:///" + folder + "readme.htm" when a browser shows it, the
// page's text otherwise); Esc ends them like "Отмена": nothing is written.
TEST_F(InstallerGui, ReleaseNotesAreThePageBesideTheInstallerAndEscCancels) {
  Start();
  ASSERT_TRUE(SetText(W.ePath, Target.substr(0, Target.size() - 1)));
  Click(W.BtnInstall);
  ASSERT_TRUE(WaitUntil([&] { return App.Readme() != nullptr; }, 20000));
  HWND notes = App.Readme();
  if (HWND browser = FindChild(notes, L"AtlAxWin", nullptr)) {
    EXPECT_EQ(Text(browser), L"file:///" + Dist + L"readme.htm");
  } else {
    HWND text = GetDlgItem(notes, 1102);
    ASSERT_TRUE(text) << "neither a browser nor the page's text";
    EXPECT_NE(Text(text).find(L"Что нового в выпуске 393"), std::wstring::npos) << Utf8(Text(text));
  }
  HWND focus = GetDlgItem(notes, IDOK);
  ASSERT_TRUE(focus);
  PostMessageW(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  PostMessageW(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
  ASSERT_TRUE(WaitUntil([&] { return App.Readme() == nullptr; }, 10000)) << "Esc did not end the release notes";
  ASSERT_TRUE(WaitUntil([&] { return App.Idle(); }, 20000));
  EXPECT_FALSE(DirExists(Target)) << "a cancelled run writes nothing";
  EXPECT_TRUE(App.Running());
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, VersionZeroRefusesBeforeAnything) {
  if (g_installNoVersion.empty()) GTEST_SKIP() << "no installer without version information given";
  ASSERT_TRUE(CopyFileW(g_installNoVersion.c_str(), (Dist + L"Install.exe").c_str(), FALSE));
  Start();
  EXPECT_EQ(Text(W.ePath), L"C:\\Quorvel12_0");
  EXPECT_EQ(Text(W.edVersionNumber), L"0");
  Run(Table({{kNoVersion, kOk}}));
  ASSERT_EQ(Events.size(), 1u) << Describe(Events);
  EXPECT_EQ(Events[0].Text, kNoVersion);
  EXPECT_FALSE(IsWindowVisible(W.LogList)) << "the list is neither cleared nor shown";
  EXPECT_FALSE(DirExists(Target));
  ExpectIdle();
  Quit();
}

// Version 12.1234: the number shown with the Russian digit grouping (a
// no-break space) and the target proposed with the plain number; the run
// takes the grouped number as 1234.  The complex name of 300 characters is
// kept to its first 254: the shortcut's description carries exactly those,
// its file name the text before the name's last dot.
TEST_F(InstallerGui, FourDigitVersionAndAComplexNameCutTo254) {
  if (g_installEdge.empty()) GTEST_SKIP() << "no installer variant with version 12.1234 given";
  ASSERT_TRUE(CopyFileW(g_installEdge.c_str(), (Dist + L"Install.exe").c_str(), FALSE));
  const std::wstring full = StringResource1(Dist + L"Install.exe", 1024);
  ASSERT_EQ(full.size(), 300u);
  const std::wstring kept = full.substr(0, 254);
  LinkFile = Desktop + L"\\" + full.substr(0, 200) + L".lnk";
  DeleteFileW(LinkFile.c_str());

  Start();
  EXPECT_EQ(Text(W.edVersionNumber), L"1\u00A0234");
  EXPECT_EQ(Text(W.ePath), L"C:\\Quorvel12_1234");
  FullRun();
  EXPECT_TRUE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_TRUE(FileExists(Target + L"Settings\\ecg.ini"));
  TLink link = ReadLink(LinkFile);
  ASSERT_TRUE(link.Loaded) << Utf8(LinkFile);
  EXPECT_EQ(link.Path, Target + L"Quorvel12.exe");
  EXPECT_EQ(link.Description, L"Комплекс анализа электрокардиограмм \"" + kept + L"\"");
  DeleteFileW(LinkFile.c_str());
  Quit();
}

TEST_F(InstallerGui, BlanksOnlyPathIsEmpty) {
  Start();
  std::wstring blanks = L"    ";
  Run(Table({{kNoPath, kOk}}), &blanks);
  ASSERT_EQ(Events.size(), 1u) << Describe(Events);
  EXPECT_EQ(Events[0].Text, kNoPath);
  EXPECT_TRUE(IsWindowVisible(W.LogList));
  EXPECT_EQ(Lines, std::vector<std::wstring>{kNoPath}) << Join(Lines);
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, DriveRootsAreRefused) {
  Start();
  for (std::wstring root : {L"C:", L"C:\\", L"  C:\\  "}) {
    SCOPED_TRACE(Utf8(root));
    Run(Table({{kRoot, kOk}}), &root);
    ASSERT_EQ(Events.size(), 1u) << Describe(Events);
    EXPECT_EQ(Events[0].Text, kRoot);
    EXPECT_EQ(Text(W.ePath), L"C:\\");
    EXPECT_EQ(Lines, std::vector<std::wstring>{kRoot}) << Join(Lines);
    ExpectIdle();
  }
  Quit();
}

TEST_F(InstallerGui, CancelAtTheReleaseNotes) {
  Start();
  TAnswers cancel = Table({}, false);
  Run(cancel);
  ASSERT_EQ(Events.size(), 1u) << Describe(Events);
  EXPECT_EQ(Events[0].Kind, L"readme");
  EXPECT_EQ(Text(W.ePath), Target) << "the trimmed path with its trailing backslash is written back";
  EXPECT_TRUE(IsWindowVisible(W.LogList));
  EXPECT_TRUE(Lines.empty()) << Join(Lines);
  EXPECT_FALSE(DirExists(Target));
  ExpectIdle();
  // Closing the release notes with the title bar cancels the same way.
  cancel.CloseReadmeByTitleBar = true;
  Run(cancel);
  ASSERT_EQ(Events.size(), 1u) << Describe(Events);
  EXPECT_EQ(Events[0].Text, L"close");
  EXPECT_TRUE(Lines.empty()) << Join(Lines);
  EXPECT_FALSE(DirExists(Target));
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, NoToTheExistingFolder) {
  ASSERT_TRUE(CreateDirectoryW(Target.c_str(), nullptr));
  Start();
  Run(Table({{kQExisting, kNo}}));
  ASSERT_EQ(Events.size(), 2u) << Describe(Events);
  EXPECT_EQ(Events[1].Text, kQExisting);
  EXPECT_EQ(Lines, std::vector<std::wstring>{L"Выбранный каталог уже существует!"}) << Join(Lines);
  EXPECT_FALSE(FileExists(Target + L"readme.htm"));
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, FreshInstall) {
  Start();
  FullRun();
  ASSERT_FALSE(HasBox(kQExisting));
  ASSERT_FALSE(HasBox(kQKeepDb));
  ASSERT_TRUE(HasBox(kQFinish)) << Describe(Events);
  auto expected = ExpectedFreshLines();
  EXPECT_EQ(Lines, expected) << "got:\n" << Join(Lines) << "expected:\n" << Join(expected);
  EXPECT_EQ(Text(W.ePath), Target);
  ExpectIdle();

  // The list's repaints come in batches; the run still ends with the list
  // scrolled so that its last line is in view.
  RECT client{};
  GetClientRect(W.LogList, &client);
  const LRESULT top = SendMessageW(W.LogList, LB_GETTOPINDEX, 0, 0);
  const LRESULT itemH = SendMessageW(W.LogList, LB_GETITEMHEIGHT, 0, 0);
  ASSERT_GT(itemH, 0);
  const LRESULT rows = client.bottom / itemH;
  const LRESULT count = static_cast<LRESULT>(Lines.size());
  ASSERT_GT(count, rows) << "the list is longer than its page";
  EXPECT_GE(top + rows, count) << "top line " << top << ", " << rows << " rows, " << count << " lines";
  EXPECT_LT(top, count);

  // The tree.
  for (const wchar_t* f :
       {L"readme.htm", L"Profile\\Standard\\DATA.XML", L"FTDIDriverInstall\\CDM21228_Setup.exe",
        L"Settings\\Settings.xml", L"Settings\\ecg.ini", L"backup\\R391\\filelist.xml", L"backup\\R392\\filelist.xml",
        L"backup\\R393\\filelist.xml", L"aliases.conf", L"gbak.exe", L"msvcr80.Dll", L"gds32.dll", L"fbclient_.dll",
        L"intl\\fbintl.conf", L"intl\\fbintl.dll", L"udf\\ib_udf2.sql", L"UDF\\Dravin.Dll", L"service\\service-readme.txt",
        L"service\\tools\\dbcheck.cmd", L"DTAFB\\Q12.fdb", L"DTAFB\\ecg.ini", L"DTAFB\\password.nsi",
        L"DTA_clear\\Q12.fdb", L"Quorvel12.exe", L"bin\\ecgview.dll", L"Reports\\Forms\\Rest\\rest.frx",
        L"Reports\\Forms\\Stress\\stress.frx", L"lib\\pack00\\module0000.bin", L"ReleaseInfo"})
    EXPECT_TRUE(FileExists(Target + f)) << Utf8(f);
  EXPECT_TRUE(DirExists(Target + L"CommDLL"));
  EXPECT_TRUE(ListTree(Target + L"CommDLL").empty());
  EXPECT_FALSE(FileExists(Target + L"Settings\\not-installed.txt")) << "only Settings.xml is copied";
  EXPECT_FALSE(FileExists(Target + L"service\\obsolete-tool.dll")) << "removed by the file list";
  EXPECT_FALSE(DirExists(Target + L"config")) << "no integration without the box";
  EXPECT_FALSE(FileExists(Target + L"Install.exe"));
  // Engine library copies.
  EXPECT_EQ(Bytes(Target + L"fbclient.dll"), Bytes(Dist + L"Firebird_257\\fbembed.Dll"));
  EXPECT_EQ(Bytes(Target + L"gds32.dll"), Bytes(Dist + L"Firebird_257\\fbembed.Dll"));
  EXPECT_EQ(Bytes(Target + L"fbclient_.dll"), Bytes(Dist + L"Firebird_257\\fbclient.Dll"));
  EXPECT_EQ(Bytes(Target + L"DTAFB\\Q12.fdb"), Bytes(Dist + L"dta_clear\\Q12.fdb"));
  EXPECT_EQ(Bytes(Target + L"DTA_clear\\Q12.fdb"), Bytes(Dist + L"dta_clear\\Q12.fdb"));

  // The driver setup ran from the target's copy, once.
  std::string trace = Bytes(Target + L"FTDIDriverInstall\\driver-setup-trace.txt");
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 2) << trace;
  EXPECT_NE(trace.find("finished"), std::string::npos) << trace;

  // ecg.ini.
  std::wstring ini = Target + L"Settings\\ecg.ini";
  EXPECT_EQ(Ini(ini, L"Options", L"cardiomodule"), L"2");
  EXPECT_EQ(Ini(ini, L"Common", L"DLLName"), L"fbembed.dll");
  EXPECT_EQ(Ini(ini, L"Common", L"Address"), L"");
  EXPECT_EQ(Ini(ini, L"Options", L"ZD6ScaleCoef"), L"1");
  EXPECT_TRUE(std::regex_match(Utf8(Ini(ini, L"options", L"lastbackup")),
                               std::regex("[0-9]{2}\\.[0-9]{2}\\.[0-9]{4} [0-9]{1,2}:[0-9]{2}:[0-9]{2}")))
      << Utf8(Ini(ini, L"options", L"lastbackup"));
  EXPECT_EQ(Ini(ini, L"options", L"lastecg"), L"1");
  EXPECT_EQ(Ini(ini, L"options", L"kolday"), L"30");
  EXPECT_EQ(Ini(ini, L"options", L"kolecg"), L"1000");
  EXPECT_EQ(Ini(ini, L"printoptions", L"termoprinter"), L"<absent>");
  EXPECT_EQ(Ini(ini, L"options", L"vvdiagnos"), L"<absent>");
  EXPECT_EQ(Ini(ini, L"INTEGRATION", L"RMIS_ENABLE"), L"<absent>");
  std::string raw = Bytes(ini);
  EXPECT_EQ(raw.find("[Options]"), 0u) << "the section header takes the form of the first write:\n" << raw;

  // ReleaseInfo carries the level of the newest release folder.
  std::string info = Bytes(Target + L"ReleaseInfo");
  EXPECT_NE(info.find("<Level>393</Level>"), std::string::npos) << info;
  EXPECT_NE(info.find("<Product>Quorvel-12 sample</Product>"), std::string::npos) << info;

  // The desktop shortcut.
  std::wstring name = ComplexName(Dist + L"Install.exe");
  TLink link = ReadLink(LinkFile);
  ASSERT_TRUE(link.Loaded) << Utf8(LinkFile);
  EXPECT_EQ(link.Path, Target + L"Quorvel12.exe");
  EXPECT_EQ(link.WorkDir, Target);
  EXPECT_EQ(link.Description, L"Комплекс анализа электрокардиограмм \"" + name + L"\"");
  EXPECT_EQ(link.Args, L"");
  Quit();
  EXPECT_EQ(App.ExitCode(), 0u);
}

TEST_F(InstallerGui, ReinstallKeepingTheDatabase) {
  Start();
  FullRun();
  ASSERT_TRUE(HasBox(kQFinish));
  // A database with data of its own, an older time stamp, and settings of
  // the user.
  std::wstring db = Target + L"DTAFB\\Q12.fdb";
  ASSERT_TRUE(WriteAll(db, "working database with patient data"));
  HANDLE h = CreateFileW(db.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  // A day in 2015, a whole second: a file time set on a shared folder of
  // the i686 test guest keeps whole seconds only.
  FILETIME old{0xD5007880u, 0x01D0A8B1u};
  SetFileTime(h, nullptr, nullptr, &old);
  CloseHandle(h);
  std::wstring ini = Target + L"Settings\\ecg.ini";
  WritePrivateProfileStringW(L"options", L"kolday", L"5", ini.c_str());
  WritePrivateProfileStringW(L"User", L"Own", L"kept", ini.c_str());
  ASSERT_TRUE(WriteAll(Target + L"service\\local-only.txt", "stays"));
  ASSERT_TRUE(WriteAll(Target + L"DTA_clear\\Q12.fdb", "stale template"));

  FullRun({{kQExisting, kYes}, {kQKeepDb, kYes}});
  EXPECT_TRUE(HasBox(kQKeepDb)) << Describe(Events);
  EXPECT_TRUE(HasLine(L"Сохранена старая БД")) << Join(Lines);
  EXPECT_FALSE(HasLine(L"Создание файлов базы данных...." + kDone)) << Join(Lines);
  EXPECT_FALSE(HasLine(L"Каталог создан...")) << Join(Lines);
  EXPECT_FALSE(HasLine(L"Каталог <" + Target + L"\\CommDLL>создан...")) << Join(Lines);
  EXPECT_FALSE(HasLine(L"Каталог <" + Target + L"DTA_clear\\> создан..." + kDone)) << Join(Lines);
  EXPECT_EQ(Bytes(db), "working database with patient data");
  EXPECT_TRUE(SameTime(WriteTime(db), old)) << "the kept database keeps its time stamp";
  EXPECT_EQ(Bytes(Target + L"DTA_clear\\Q12.fdb"), Bytes(Dist + L"dta_clear\\Q12.fdb"))
      << "the template copy is refreshed";
  EXPECT_EQ(Ini(ini, L"options", L"kolday"), L"30");
  EXPECT_EQ(Ini(ini, L"User", L"Own"), L"kept");
  EXPECT_TRUE(FileExists(Target + L"service\\local-only.txt"));
  std::string trace = Bytes(Target + L"FTDIDriverInstall\\driver-setup-trace.txt");
  EXPECT_EQ(std::count(trace.begin(), trace.end(), '\n'), 4) << "the setup ran again:\n" << trace;

  // A third run answering Yes at the end: the program ends.
  Run(Table({{kQExisting, kYes}, {kQKeepDb, kYes}, {kQFinish, kYes}}));
  EXPECT_TRUE(App.WaitExit(15000)) << "Yes to the final question ends the installer";
  EXPECT_EQ(App.ExitCode(), 0u);
  EXPECT_EQ(Bytes(db), "working database with patient data");
  // The program end releases the logger only where one exists: asking does
  // not create one (no log folder beside the installer).
  EXPECT_FALSE(DirExists(Dist + L"logs")) << Utf8(Dist);
}

TEST_F(InstallerGui, ReinstallReplacingTheDatabase) {
  Start();
  FullRun();
  std::wstring db = Target + L"DTAFB\\Q12.fdb";
  ASSERT_TRUE(WriteAll(db, "old database"));
  ASSERT_TRUE(WriteAll(Target + L"DTAFB\\ecg.ini", "[Own]\r\nx=1\r\n"));
  FullRun({{kQExisting, kYes}, {kQKeepDb, kNo}});
  EXPECT_TRUE(HasBox(kQKeepDb));
  EXPECT_FALSE(HasLine(L"Сохранена старая БД")) << Join(Lines);
  EXPECT_TRUE(HasLine(L"Создание файлов базы данных...." + kDone)) << Join(Lines);
  EXPECT_EQ(Bytes(db), Bytes(Dist + L"dta_clear\\Q12.fdb"));
  EXPECT_EQ(Bytes(Target + L"DTAFB\\ecg.ini"), "[Own]\r\nx=1\r\n") << "DTAFB\\ecg.ini is not refreshed";
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, ThermalPrinterKeys) {
  Start();
  SetChecked(W.chCardiograph, true);
  ASSERT_TRUE(Checked(W.chCardiograph));
  FullRun();
  std::wstring ini = Target + L"Settings\\ecg.ini";
  EXPECT_EQ(Ini(ini, L"printoptions", L"termoprinter"), L"0");
  const std::pair<const wchar_t*, const wchar_t*> keys[] = {
      {L"vvdiagnos", L"1"}, {L"vvotdel", L"1"},   {L"withoutRLF", L"1"},      {L"polindex", L"0"},
      {L"constindex", L"0"}, {L"OneString", L"1"}, {L"viewserver", L"1"},      {L"protocolmessage", L"0"},
      {L"urgencystatus", L"0"}};
  for (const auto& [k, v] : keys) EXPECT_EQ(Ini(ini, L"options", k), v) << Utf8(k);
  EXPECT_EQ(Ini(ini, L"Options", L"cardiomodule"), L"2");

  // Unchecked on a re-install: the device keys keep their earlier values.
  WritePrivateProfileStringW(L"options", L"polindex", L"7", ini.c_str());
  SetChecked(W.chCardiograph, false);
  FullRun({{kQExisting, kYes}, {kQKeepDb, kYes}});
  EXPECT_EQ(Ini(ini, L"options", L"polindex"), L"7");
  EXPECT_EQ(Ini(ini, L"printoptions", L"termoprinter"), L"0");
  Quit();
}

TEST_F(InstallerGui, RmisIntegration) {
  Start();
  SetChecked(W.cbRMISIntegration, true);
  FullRun();
  auto expected = ExpectedFreshLines(true);
  EXPECT_EQ(Lines, expected) << "got:\n" << Join(Lines) << "expected:\n" << Join(expected);
  EXPECT_TRUE(FileExists(Target + L"config\\Integration\\rmis.xml"));
  EXPECT_TRUE(FileExists(Target + L"config\\Integration\\mapping\\codes.csv"));
  EXPECT_EQ(Ini(Target + L"Settings\\ecg.ini", L"INTEGRATION", L"RMIS_ENABLE"), L"1");
  // Unchecked afterwards: the key stays as it was.
  WritePrivateProfileStringW(L"INTEGRATION", L"RMIS_ENABLE", L"5", (Target + L"Settings\\ecg.ini").c_str());
  SetChecked(W.cbRMISIntegration, false);
  FullRun({{kQExisting, kYes}, {kQKeepDb, kYes}});
  EXPECT_FALSE(HasLine(L"Каталог < config\\Integration> скопирован...")) << Join(Lines);
  EXPECT_EQ(Ini(Target + L"Settings\\ecg.ini", L"INTEGRATION", L"RMIS_ENABLE"), L"5");
  Quit();
}

TEST_F(InstallerGui, RmisWithoutIntegrationFolderStillWritesTheKey) {
  ASSERT_TRUE(DeleteTree(Dist + L"config"));
  Start();
  SetChecked(W.cbRMISIntegration, true);
  FullRun();
  EXPECT_TRUE(HasLine(L"Каталог < config\\Integration> скопирован...")) << Join(Lines);
  EXPECT_TRUE(DirExists(Target + L"config\\Integration"));
  EXPECT_TRUE(ListTree(Target + L"config\\Integration").empty());
  EXPECT_EQ(Ini(Target + L"Settings\\ecg.ini", L"INTEGRATION", L"RMIS_ENABLE"), L"1");
  Quit();
}

TEST_F(InstallerGui, DistributionWithoutDriverFolder) {
  ASSERT_TRUE(DeleteTree(Dist + L"FTDIDriverInstall"));
  ASSERT_TRUE(DeleteTree(Dist + L"Profile"));
  ASSERT_TRUE(DeleteTree(Dist + L"service"));
  Start();
  ASSERT_TRUE(Checked(W.chInstDriver));
  FullRun();
  EXPECT_TRUE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_FALSE(DirExists(Target + L"FTDIDriverInstall"));
  EXPECT_FALSE(FileExists(Dist + L"FTDIDriverInstall\\driver-setup-trace.txt"));
  // Without Profile: an empty folder and its line; without service: the line all the same.
  EXPECT_TRUE(DirExists(Target + L"Profile"));
  EXPECT_TRUE(ListTree(Target + L"Profile").empty());
  ASSERT_GE(Lines.size(), 2u);
  EXPECT_EQ(Lines[1], L"Каталог <" + Target + L"Profile\\> создан...") << Join(Lines);
  EXPECT_TRUE(HasLine(L"Каталог <service> скопирован...")) << Join(Lines);
  Quit();
}

TEST_F(InstallerGui, DriverBoxUnchecked) {
  Start();
  SetChecked(W.chInstDriver, false);
  FullRun();
  EXPECT_TRUE(FileExists(Target + L"FTDIDriverInstall\\CDM21228_Setup.exe")) << "the folder is still copied";
  EXPECT_FALSE(FileExists(Target + L"FTDIDriverInstall\\driver-setup-trace.txt")) << "the setup did not run";
  Quit();
}

TEST_F(InstallerGui, CloseIsRefusedWhileARunIsInProgress) {
  // The stand-in setup waits 4 s: the run is then blocked in step 3.
  ASSERT_TRUE(WriteAll(Dist + L"FTDIDriverInstall\\driver-setup-wait.txt", "4000"));
  Start();
  ASSERT_TRUE(SetText(W.ePath, Target.substr(0, Target.size() - 1)));
  std::wstring trace = Target + L"FTDIDriverInstall\\driver-setup-trace.txt";
  Click(W.BtnInstall);
  // Release notes: continue.
  ASSERT_TRUE(WaitUntil([&] { return App.Readme() != nullptr; }, 20000));
  Click(FindChild(App.Readme(), L"Button", L"Продолжить"));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(trace); }, 30000)) << "the driver setup did not start";
  // Busy state: four controls disabled, the boxes enabled.
  EXPECT_FALSE(IsWindowEnabled(W.BtnInstall));
  EXPECT_FALSE(IsWindowEnabled(W.BtnCancel));
  EXPECT_FALSE(IsWindowEnabled(W.BtnSelectPath));
  EXPECT_FALSE(IsWindowEnabled(W.ePath));
  EXPECT_TRUE(IsWindowEnabled(W.chInstDriver));
  EXPECT_TRUE(IsWindowEnabled(W.chCardiograph));
  EXPECT_TRUE(IsWindowEnabled(W.cbRMISIntegration));
  // Both ways of closing: the title-bar button and a close request.
  PostMessageW(W.Main, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(W.Main, WM_CLOSE, 0, 0);
  HWND box = App.WaitBox(120000);
  ASSERT_TRUE(box) << "the run did not reach its final question";
  EXPECT_EQ(TInstaller::BoxText(box), kQFinish);
  EXPECT_TRUE(App.Running()) << "the window closed while the run was in progress";
  ASSERT_TRUE(TInstaller::Answer(box, kNo));
  ASSERT_TRUE(WaitUntil([&] { return App.Idle(); }, 20000));
  EXPECT_TRUE(App.Running());
  EXPECT_TRUE(IsWindow(W.Main));
  EXPECT_NE(Bytes(trace).find("finished"), std::string::npos);
  ExpectIdle();
  // Idle again: the close request is honoured.
  PostMessageW(W.Main, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(App.WaitExit(15000));
}

// The check boxes stay enabled during a run; a box clicked while the run is
// in step 3 (the driver setup) takes effect for the steps that read it
// later: the edition in step 15, the integration in step 19.
TEST_F(InstallerGui, BoxesChangedDuringARunTakeEffectForLaterSteps) {
  ASSERT_TRUE(WriteAll(Dist + L"FTDIDriverInstall\\driver-setup-wait.txt", "3000"));
  Start();
  ASSERT_FALSE(Checked(W.chCardiograph));
  ASSERT_FALSE(Checked(W.cbRMISIntegration));
  ASSERT_TRUE(SetText(W.ePath, Target.substr(0, Target.size() - 1)));
  const std::wstring trace = Target + L"FTDIDriverInstall\\driver-setup-trace.txt";
  Click(W.BtnInstall);
  ASSERT_TRUE(WaitUntil([&] { return App.Readme() != nullptr; }, 20000));
  Click(FindChild(App.Readme(), L"Button", L"Продолжить"));
  ASSERT_TRUE(WaitUntil([&] { return FileExists(trace); }, 30000)) << "the driver setup did not start";
  // The window is blocked in the wait for the setup: the clicks are queued
  // and taken up when the run next lets messages be processed.
  Click(W.chCardiograph);
  Click(W.cbRMISIntegration);
  Click(W.chInstDriver);  // step 3 has read it already
  HWND box = App.WaitBox(120000);
  ASSERT_TRUE(box) << "the run did not reach its final question";
  EXPECT_EQ(TInstaller::BoxText(box), kQFinish);
  ASSERT_TRUE(TInstaller::Answer(box, kNo));
  ASSERT_TRUE(WaitUntil([&] { return App.Idle(); }, 20000));
  EXPECT_TRUE(Checked(W.chCardiograph));
  EXPECT_TRUE(Checked(W.cbRMISIntegration));
  EXPECT_FALSE(Checked(W.chInstDriver));
  const std::wstring ini = Target + L"Settings\\ecg.ini";
  EXPECT_EQ(Ini(ini, L"printoptions", L"termoprinter"), L"0") << "edition keys of step 15";
  EXPECT_EQ(Ini(ini, L"options", L"urgencystatus"), L"0");
  EXPECT_EQ(Ini(ini, L"INTEGRATION", L"RMIS_ENABLE"), L"1") << "integration of step 19";
  EXPECT_TRUE(DirExists(Target + L"config"));
  EXPECT_NE(Bytes(trace).find("finished"), std::string::npos) << "the driver setup ran to its end";
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, NewestReleaseMissingInTheTargetStopsBeforeIntegration) {
  // The target's release folder differs in letter case from the
  // distribution's newest one: the exact comparison of step 18 fails.
  ASSERT_TRUE(CreateDirectoryW(Target.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((Target + L"backup").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((Target + L"backup\\r393").c_str(), nullptr));
  Start();
  SetChecked(W.cbRMISIntegration, true);
  Run(Table({{kQExisting, kYes}, {kStep18, kOk}}));
  EXPECT_TRUE(HasBox(kStep18)) << Describe(Events);
  EXPECT_FALSE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_TRUE(DirExists(Target + L"CommDLL")) << "steps up to 17 ran";
  EXPECT_FALSE(DirExists(Target + L"config")) << "step 19 did not run";
  EXPECT_EQ(Ini(Target + L"Settings\\ecg.ini", L"INTEGRATION", L"RMIS_ENABLE"), L"<absent>");
  EXPECT_FALSE(FileExists(Target + L"Quorvel12.exe")) << "the file list was not processed";
  EXPECT_FALSE(FileExists(LinkFile));
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, FileListEntriesWithMissingSourceOrOutsideTheTree) {
  std::wstring rel = Dist + L"backup\\R393\\";
  std::string list = Bytes(rel + L"filelist.xml");
  size_t at = list.find("<file DistrFN=\"bin\\ecgview.dll\">");
  ASSERT_NE(at, std::string::npos);
  list.insert(at,
              "<file DistrFN=\"missing\\nothing.dll\">bin\\nothing.dll</file>\n    "
              "<file DistrFN=\"Quorvel12.exe\">..\\escaped.exe</file>\n    ");
  size_t del = list.find("<delfiles>");
  ASSERT_NE(del, std::string::npos);
  list.insert(del + 10, "\n    <file DistrFN=\"x\\victim.txt\">..\\victim.txt</file>");
  ASSERT_TRUE(WriteAll(rel + L"filelist.xml", list));
  ASSERT_TRUE(WriteAll(Work + L"victim.txt", "must stay"));
  Start();
  FullRun();
  std::wstring trel = Target + L"backup\\R393\\";
  EXPECT_TRUE(HasLine(L"Копирование файла " + trel + L"missing\\nothing.dll...." + kFail)) << Join(Lines);
  EXPECT_TRUE(HasLine(L"Копирование файла " + trel + L"Quorvel12.exe...." + kFail)) << Join(Lines);
  EXPECT_TRUE(HasLine(L"Копирование файла " + trel + L"bin\\ecgview.dll...." + kDone)) << "the next entry follows";
  EXPECT_FALSE(FileExists(Work + L"escaped.exe")) << "an entry outside the target is not copied";
  EXPECT_EQ(Bytes(Work + L"victim.txt"), "must stay") << "a deletion outside the target is skipped";
  for (const auto& l : Lines) EXPECT_EQ(l.find(L"victim"), std::wstring::npos) << Utf8(l);
  EXPECT_TRUE(HasBox(kQFinish)) << Describe(Events);
  Quit();
}

TEST_F(InstallerGui, ReadOnlyReleaseInfoIsUpdated) {
  ASSERT_TRUE(CreateDirectoryW(Target.c_str(), nullptr));
  std::wstring info = Target + L"ReleaseInfo";
  ASSERT_TRUE(WriteAll(info, "<ROOT><Version>1</Version><Level>100</Level></ROOT>"));
  ASSERT_TRUE(SetFileAttributesW(info.c_str(), FILE_ATTRIBUTE_READONLY));
  // This distribution brings no ReleaseInfo of its own.
  std::wstring rel = Dist + L"backup\\R393\\";
  std::string list = Bytes(rel + L"filelist.xml");
  size_t at = list.find("<file DistrFN=\"ReleaseInfo\">ReleaseInfo</file>");
  ASSERT_NE(at, std::string::npos);
  list.erase(at, std::string("<file DistrFN=\"ReleaseInfo\">ReleaseInfo</file>").size());
  ASSERT_TRUE(WriteAll(rel + L"filelist.xml", list));
  Start();
  FullRun({{kQExisting, kYes}});
  EXPECT_TRUE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_FALSE(GetFileAttributesW(info.c_str()) & FILE_ATTRIBUTE_READONLY);
  std::string text = Bytes(info);
  EXPECT_NE(text.find("<Level>393</Level>"), std::string::npos) << text;
  EXPECT_NE(text.find("<Version>1</Version>"), std::string::npos) << text;
  Quit();
}

TEST_F(InstallerGui, ReleaseInfoVersion2EndsTheRun) {
  std::wstring src = Dist + L"backup\\R393\\ReleaseInfo";
  ASSERT_TRUE(WriteAll(src, "<ROOT><Version>2</Version><Level>100</Level></ROOT>"));
  const std::wstring err = L"Cannot get release information, error: unknown release file version";
  Start();
  Run(Table({{err, kOk}}));
  EXPECT_TRUE(HasBox(err)) << Describe(Events);
  EXPECT_FALSE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_EQ(Bytes(Target + L"ReleaseInfo"), "<ROOT><Version>2</Version><Level>100</Level></ROOT>");
  EXPECT_FALSE(FileExists(LinkFile)) << "no shortcut after the error";
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, RelativePathIsTakenFromTheCurrentFolder) {
  Start();  // the installer's current folder is Work
  std::wstring rel = L"relinst";
  const std::wstring full = Work + L"relinst\\";
  Run(Table({{kQFinish, kNo}}), &rel);
  EXPECT_EQ(Text(W.ePath), full) << "the accepted target is shown as a full path";
  EXPECT_TRUE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_TRUE(FileExists(full + L"readme.htm"));
  EXPECT_TRUE(FileExists(full + L"DTAFB\\Q12.fdb"));
  // The steps after the change of the current folder use the same target.
  std::string info = Bytes(full + L"ReleaseInfo");
  EXPECT_NE(info.find("<Level>393</Level>"), std::string::npos) << info;
  TLink link = ReadLink(LinkFile);
  ASSERT_TRUE(link.Loaded) << Utf8(LinkFile);
  EXPECT_EQ(link.Path, full + L"Quorvel12.exe");
  EXPECT_EQ(link.WorkDir, full);

  // A second run with the field as the first left it goes into the same folder.
  std::wstring again = Text(W.ePath);
  Run(Table({{kQExisting, kYes}, {kQKeepDb, kYes}, {kQFinish, kNo}}), &again);
  EXPECT_TRUE(HasBox(kQExisting)) << Describe(Events);
  EXPECT_TRUE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_EQ(Text(W.ePath), full);
  EXPECT_FALSE(DirExists(full + L"relinst")) << "the second run went below the first target";
  Quit();
}

TEST_F(InstallerGui, TaskBarCloseEndsOnlyItsOwnInstaller) {
  Start();
  TInstaller second;
  ASSERT_TRUE(second.Start(Dist + L"Install.exe", Work)) << Utf8(second.Error());
  // The installer whose main window a search by class finds second is the
  // one closed, so that a search by class would reach the wrong one.
  const HWND firstFound = FindWindowExW(nullptr, nullptr, L"TFMain", nullptr);
  ASSERT_TRUE(firstFound == W.Main || firstFound == second.Window().Main);
  TInstaller& closed = firstFound == W.Main ? second : App;
  TInstaller& kept = firstFound == W.Main ? App : second;
  const HWND taskBarWindow = GetWindow(closed.Window().Main, GW_OWNER);
  ASSERT_NE(taskBarWindow, nullptr) << "the main window has its application window as owner";
  PostMessageW(taskBarWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(closed.WaitExit(15000)) << "Close on the task-bar button did not end its installer";
  EXPECT_TRUE(kept.Running()) << "Close on one task-bar button ended the other installer";
  if (kept.Running()) {
    Click(kept.Window().BtnCancel);
    EXPECT_TRUE(kept.WaitExit(15000));
  }
}

TEST_F(InstallerGui, CyrillicPathsWithBlanks) {
  // Distribution and target in folders with blanks and Cyrillic letters.
  std::wstring dist = Work + L"Дистрибутив 12\\";
  ASSERT_TRUE(MoveFileW(Dist.substr(0, Dist.size() - 1).c_str(), dist.substr(0, dist.size() - 1).c_str()));
  Dist = dist;
  Target = Work + L"Комплекс ЭКГ\\";
  Start();
  FullRun();
  auto expected = ExpectedFreshLines();
  EXPECT_EQ(Lines, expected) << "got:\n" << Join(Lines) << "expected:\n" << Join(expected);
  EXPECT_EQ(Bytes(Target + L"DTAFB\\Q12.fdb"), Bytes(Dist + L"dta_clear\\Q12.fdb"));
  TLink link = ReadLink(LinkFile);
  ASSERT_TRUE(link.Loaded);
  EXPECT_EQ(link.Path, Target + L"Quorvel12.exe");
  EXPECT_EQ(link.WorkDir, Target);
  Quit();
}

TEST_F(InstallerGui, MissingReadmeEndsTheRunWithAnError) {
  ASSERT_TRUE(DeleteFileW((Dist + L"readme.htm").c_str()));
  Start();
  Run(TableOrOk({}));
  ASSERT_EQ(Events.size(), 2u) << Describe(Events);
  EXPECT_EQ(Events[0].Kind, L"readme") << "the window works without its page";
  EXPECT_EQ(Events[1].Kind, L"box");
  EXPECT_EQ(Lines, std::vector<std::wstring>{L"Каталог создан..."}) << Join(Lines);
  EXPECT_TRUE(App.Running());
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, MalformedFileListEndsTheRunWithAnError) {
  ASSERT_TRUE(WriteAll(Dist + L"backup\\R393\\filelist.xml", "<filelist><files><file DistrFN=\"a\">a</file>"));
  Start();
  Run(TableOrOk({}));
  ASSERT_FALSE(Events.empty());
  EXPECT_EQ(Events.back().Kind, L"box") << Describe(Events);
  EXPECT_FALSE(HasBox(kQFinish)) << Describe(Events);
  for (const auto& l : Lines) EXPECT_EQ(l.find(Target + L"backup\\R393\\"), std::wstring::npos) << Utf8(l);
  EXPECT_TRUE(App.Running()) << "an error, not a crash";
  EXPECT_FALSE(FileExists(Target + L"Quorvel12.exe"));
  EXPECT_FALSE(FileExists(LinkFile));
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, MalformedReleaseInfoEndsTheRunWithAnError) {
  ASSERT_TRUE(WriteAll(Dist + L"backup\\R393\\ReleaseInfo", "<ROOT><Version>1</Version><Level>"));
  Start();
  Run(TableOrOk({}));
  ASSERT_FALSE(Events.empty());
  const std::wstring prefix = L"Cannot get release information, error: ";
  EXPECT_EQ(Events.back().Text.compare(0, prefix.size(), prefix), 0) << Describe(Events);
  EXPECT_FALSE(HasBox(kQFinish));
  EXPECT_TRUE(App.Running());
  EXPECT_FALSE(FileExists(LinkFile));
  ExpectIdle();
  Quit();
}

TEST_F(InstallerGui, DistributionWithoutReleaseFoldersStopsBeforeIntegration) {
  for (const wchar_t* r : {L"R391", L"R392", L"R393"}) ASSERT_TRUE(DeleteTree(Dist + L"backup\\" + r));
  Start();
  SetChecked(W.cbRMISIntegration, true);
  Run(TableOrOk({}));
  ASSERT_FALSE(Events.empty());
  EXPECT_EQ(Events.back().Kind, L"box") << Describe(Events);
  EXPECT_FALSE(HasBox(kQFinish)) << Describe(Events);
  EXPECT_TRUE(DirExists(Target + L"CommDLL"));
  EXPECT_FALSE(DirExists(Target + L"config"));
  EXPECT_EQ(Ini(Target + L"Settings\\ecg.ini", L"INTEGRATION", L"RMIS_ENABLE"), L"<absent>");
  ExpectIdle();
  Quit();
}

// Wine takes the Windows version of a program from
// HKCU\Software\Wine\AppDefaults\<exe>\Version: XP for Install.exe only, and
// removed again at the end whatever happens.
class TWineVersionXp {
public:
  TWineVersionXp() {
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Install.exe", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &FKey, nullptr) != ERROR_SUCCESS) {
      FKey = nullptr;
      return;
    }
    const wchar_t v[] = L"winxp";
    Ok = RegSetValueExW(FKey, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(v), sizeof v) == ERROR_SUCCESS;
  }
  ~TWineVersionXp() {
    if (!FKey) return;
    RegDeleteValueW(FKey, L"Version");
    RegCloseKey(FKey);
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\Install.exe");
  }
  bool Ok = false;

private:
  HKEY FKey = nullptr;
};

TEST_F(InstallerGui, WindowsXpWarnsAndCannotContinue) {
  TWineVersionXp xp;
  ASSERT_TRUE(xp.Ok);
  Start();
  HWND box = App.WaitBox(20000);
  ASSERT_TRUE(box) << "no warning on Windows XP";
  EXPECT_EQ(TInstaller::BoxText(box), kXp);
  ASSERT_TRUE(TInstaller::Answer(box, kOk));
  EXPECT_TRUE(App.Running()) << "the window stays open";
  // Every run ends at the release notes: their continue button is disabled.
  Run(Table({}));
  ASSERT_EQ(Events.size(), 1u) << Describe(Events);
  EXPECT_EQ(Events[0].Kind, L"readme");
  EXPECT_EQ(Events[0].Text, L"Отмена (Продолжить disabled)");
  EXPECT_FALSE(DirExists(Target));
  ExpectIdle();
  Quit();
}

} // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--dist=", 0) == 0) g_dist = Utf16(a.substr(7));
    else if (a.rfind("--install-noversion=", 0) == 0) g_installNoVersion = Utf16(a.substr(20));
    else if (a.rfind("--install-edge=", 0) == 0) g_installEdge = Utf16(a.substr(15));
  }
  while (!g_dist.empty() && (g_dist.back() == L'\\' || g_dist.back() == L'/')) g_dist.pop_back();
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  int rc = RUN_ALL_TESTS();
  CoUninitialize();
  return rc;
}
