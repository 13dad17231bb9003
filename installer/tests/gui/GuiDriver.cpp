#include "GuiDriver.h"

#include <atomic>
#include <memory>
#include <thread>

#include <algorithm>

namespace guidrv {

const wchar_t* const kMainCaption = L"Установка комплекса";
const wchar_t* const kReadmeCaption = L"О версии...";

namespace {

constexpr UINT kSendTimeoutMs = 5000;

// Captions as the user reads them: no mnemonic marks, line breaks of a
// wrapped caption read as one blank.
std::wstring Plain(const std::wstring& s) {
  std::wstring r;
  for (size_t i = 0; i < s.size(); ++i) {
    wchar_t c = s[i];
    if (c == L'&') continue;
    if (c == L'\r') {
      if (i + 1 < s.size() && s[i + 1] == L'\n') ++i;
      r += L' ';
      continue;
    }
    if (c == L'\n') { r += L' '; continue; }
    r += c;
  }
  return r;
}

struct TFindChild {
  const wchar_t* Cls;
  const wchar_t* Text;
  const std::function<bool(HWND)>* Pred;
  HWND Found;
};

BOOL CALLBACK FindChildProc(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<TFindChild*>(lp);
  if (f->Cls && _wcsicmp(ClassOf(w).c_str(), f->Cls) != 0) return TRUE;
  if (f->Text && Plain(Text(w)) != Plain(f->Text)) return TRUE;
  if (*f->Pred && !(*f->Pred)(w)) return TRUE;
  f->Found = w;
  return FALSE;
}

struct TFindTop {
  DWORD Pid;
  const wchar_t* Cls;
  const wchar_t* Caption;
  bool VisibleOnly;
  bool NeedBoxText;
  HWND Found;
};

BOOL CALLBACK FindTopProc(HWND w, LPARAM lp) {
  auto* f = reinterpret_cast<TFindTop*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid != f->Pid) return TRUE;
  if (f->VisibleOnly && !IsWindowVisible(w)) return TRUE;
  if (f->Cls && ClassOf(w) != f->Cls) return TRUE;
  if (f->Caption) {
    // A top-level window's caption is read without a message (GetWindowText
    // of another process's window), so a busy installer does not block us.
    wchar_t buf[512] = {};
    GetWindowTextW(w, buf, 511);
    if (wcscmp(buf, f->Caption) != 0) return TRUE;
  }
  if (f->NeedBoxText && !GetDlgItem(w, kBoxTextId)) return TRUE;
  f->Found = w;
  return FALSE;
}

bool StartsWith(const std::wstring& s, const std::wstring& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

std::wstring ClassOf(HWND w) {
  wchar_t buf[256] = {};
  GetClassNameW(w, buf, 255);
  return buf;
}

std::wstring Text(HWND w) {
  if (!w) return {};
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len)) return {};
  std::wstring buf(len + 2, L'\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutW(w, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &got))
    return {};
  buf.resize(std::min<size_t>(got, buf.size()));
  return buf;
}

bool SetText(HWND w, const std::wstring& text) {
  DWORD_PTR r = 0;
  return SendMessageTimeoutW(w, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG,
                             kSendTimeoutMs, &r) != 0 &&
         r != 0;
}

void Click(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

bool Checked(HWND box) {
  DWORD_PTR r = 0;
  SendMessageTimeoutW(box, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r);
  return r == BST_CHECKED;
}

void SetChecked(HWND box, bool on) {
  if (Checked(box) == on) return;
  // A click, so that the window's own click handler runs.
  DWORD_PTR r = 0;
  SendMessageTimeoutW(box, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &r);
}

std::vector<std::wstring> ListLines(HWND listBox) {
  std::vector<std::wstring> lines;
  if (!listBox) return lines;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(listBox, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &count)) return lines;
  if (static_cast<LONG_PTR>(count) == LB_ERR) return lines;
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(listBox, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &len) ||
        static_cast<LONG_PTR>(len) == LB_ERR || len > 65536) {
      lines.push_back(L"<unreadable>");
      continue;
    }
    std::wstring buf(len + 1, L'\0');
    DWORD_PTR got = 0;
    SendMessageTimeoutW(listBox, LB_GETTEXT, i, reinterpret_cast<LPARAM>(buf.data()), SMTO_ABORTIFHUNG,
                        kSendTimeoutMs, &got);
    if (static_cast<LONG_PTR>(got) == LB_ERR) got = 0;
    buf.resize(std::min<size_t>(got, len));
    lines.push_back(buf);
  }
  return lines;
}

HWND FindChild(HWND parent, const wchar_t* cls, const wchar_t* text, const std::function<bool(HWND)>& pred) {
  TFindChild f{cls, text, &pred, nullptr};
  EnumChildWindows(parent, FindChildProc, reinterpret_cast<LPARAM>(&f));
  return f.Found;
}

bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    if (cond()) return true;
    if (GetTickCount() - start >= timeoutMs) return false;
    Sleep(20);
  }
}

bool TMainWindow::Complete() const { return Missing().empty(); }

std::wstring TMainWindow::Missing() const {
  std::wstring m;
  auto chk = [&](HWND h, const wchar_t* n) {
    if (!h) m += std::wstring(m.empty() ? L"" : L", ") + n;
  };
  chk(Main, L"main window");
  chk(ePath, L"ePath");
  chk(edVersionNumber, L"edVersionNumber");
  chk(BtnSelectPath, L"BtnSelectPath");
  chk(BtnInstall, L"BtnInstall");
  chk(BtnCancel, L"BtnCancel");
  chk(chInstDriver, L"chInstDriver");
  chk(chCardiograph, L"chCardiograph");
  chk(cbRMISIntegration, L"cbRMISIntegration");
  chk(LogList, L"LogList");
  return m;
}

TAnswers DefaultAnswers() {
  TAnswers a;
  a.Box = [](const std::wstring& text) {
    return text.find(L'?') != std::wstring::npos ? kYes : kOk;
  };
  return a;
}

TInstaller::~TInstaller() {
  Kill();
  if (FThread) CloseHandle(FThread);
  if (FProcess) CloseHandle(FProcess);
}

bool TInstaller::Start(const std::wstring& exe, const std::wstring& cwd, DWORD timeoutMs) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::wstring cmd = L"\"" + exe + L"\"";
  if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
    FError = L"CreateProcess failed, error " + std::to_wstring(GetLastError());
    return false;
  }
  FProcess = pi.hProcess;
  FThread = pi.hThread;
  FPid = pi.dwProcessId;
  WaitForInputIdle(FProcess, timeoutMs);
  // A box shown while the window opens (FormShow) counts as started: the
  // caller answers it.
  bool ok = WaitUntil([&] { return Locate() || (Box() && FWin.Complete()) || !Running(); }, timeoutMs);
  if (!ok || !FWin.Complete()) {
    FError = Running() ? L"main window incomplete: missing " + FWin.Missing()
                       : L"installer ended at start, exit code " + std::to_wstring(ExitCode());
    return false;
  }
  return true;
}

bool TInstaller::Locate() {
  HWND main = FindTop(nullptr, kMainCaption);
  if (!main) return false;
  TMainWindow w;
  w.Main = main;
  w.ePath = FindChild(main, L"Edit", nullptr, [](HWND h) {
    return (GetWindowLongW(h, GWL_STYLE) & ES_READONLY) == 0;
  });
  w.edVersionNumber = FindChild(main, L"Edit", nullptr, [](HWND h) {
    return (GetWindowLongW(h, GWL_STYLE) & ES_READONLY) != 0;
  });
  w.BtnSelectPath = FindChild(main, L"Button", L"Выбрать");
  w.BtnInstall = FindChild(main, L"Button", L"Начать  установку");
  w.BtnCancel = FindChild(main, L"Button", L"Выход");
  w.chInstDriver = FindChild(main, L"Button", L"Устанавливать драйвер");
  w.chCardiograph = FindChild(main, L"Button", nullptr, [](HWND h) {
    return StartsWith(Plain(Text(h)), L"QUORVEL-ПК");
  });
  w.cbRMISIntegration = FindChild(main, L"Button", L"Интеграция с РМИС");
  w.LogList = FindChild(main, L"ListBox", nullptr);
  FWin = w;
  // The last control is created last: the window is ready once it exists.
  return IsWindowVisible(main) && w.Complete();
}

bool TInstaller::WaitExit(DWORD timeoutMs) {
  return FProcess && WaitForSingleObject(FProcess, timeoutMs) == WAIT_OBJECT_0;
}

bool TInstaller::Running() const {
  return FProcess && WaitForSingleObject(FProcess, 0) == WAIT_TIMEOUT;
}

DWORD TInstaller::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (FProcess) GetExitCodeProcess(FProcess, &code);
  return code;
}

void TInstaller::Kill() {
  if (Running()) {
    TerminateProcess(FProcess, 99);
    WaitForSingleObject(FProcess, 5000);
  }
}

HWND TInstaller::FindTop(const wchar_t* cls, const wchar_t* caption, bool visibleOnly) const {
  TFindTop f{FPid, cls, caption, visibleOnly, false, nullptr};
  EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&f));
  return f.Found;
}

HWND TInstaller::Box() const {
  TFindTop f{FPid, L"#32770", nullptr, true, true, nullptr};
  EnumWindows(FindTopProc, reinterpret_cast<LPARAM>(&f));
  return f.Found;
}

HWND TInstaller::WaitBox(DWORD timeoutMs) const {
  HWND b = nullptr;
  WaitUntil([&] { return (b = Box()) != nullptr || !Running(); }, timeoutMs);
  return b;
}

std::wstring TInstaller::BoxText(HWND box) { return Text(GetDlgItem(box, kBoxTextId)); }

bool TInstaller::Answer(HWND box, int id) {
  HWND b = GetDlgItem(box, id);
  if (!b) return false;
  Click(b);
  // The box is gone (or replaced by the next one) once the click is handled.
  return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 10000);
}

// Idle: the four controls that a run disables are all enabled again (the
// installer enables them one after the other), and nothing is on screen.
bool TInstaller::Idle() const {
  for (HWND c : {FWin.BtnSelectPath, FWin.BtnInstall, FWin.BtnCancel, FWin.ePath})
    if (!IsWindowEnabled(c)) return false;
  return !Box() && !Readme();
}

bool TInstaller::RunInstall(const TAnswers& answers, std::vector<TEvent>& events, DWORD timeoutMs) {
  // The click is sent, not posted, from a thread of its own: the send
  // returns once the installer's click handler has returned, that is once
  // the run is over, its last box included (the window is idle again just
  // before an error box of the run appears, so idleness alone does not say
  // that the run has ended).
  // The thread may outlive this call (a box left open for the caller).
  auto handled = std::make_shared<std::atomic<bool>>(false);
  HWND button = FWin.BtnInstall;
  std::thread([handled, button, timeoutMs] {
    DWORD_PTR r = 0;
    SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, timeoutMs, &r);
    *handled = true;
  }).detach();
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    if (!Running()) return true;
    if (HWND box = Box()) {
      std::wstring text = BoxText(box);
      int id = answers.Box ? answers.Box(text) : 0;
      events.push_back({L"box", text, id});
      if (id == 0) return true;  // left open for the caller
      if (!Answer(box, id)) {
        FError = L"the box \"" + text + L"\" did not take the answer";
        return false;
      }
      continue;
    }
    if (HWND readme = Readme()) {
      HWND btnContinue = FindChild(readme, L"Button", L"Продолжить");
      HWND btnCancel = FindChild(readme, L"Button", L"Отмена");
      bool canContinue = btnContinue && IsWindowEnabled(btnContinue);
      if (answers.ContinueReadme && canContinue) {
        events.push_back({L"readme", L"Продолжить", IDOK});
        Click(btnContinue);
      } else if (answers.CloseReadmeByTitleBar) {
        events.push_back({L"readme", L"close", IDCANCEL});
        PostMessageW(readme, WM_SYSCOMMAND, SC_CLOSE, 0);
      } else {
        events.push_back({L"readme", canContinue ? L"Отмена" : L"Отмена (Продолжить disabled)", IDCANCEL});
        Click(btnCancel);
      }
      WaitUntil([&] { return !IsWindowVisible(readme) || !Running(); }, 10000);
      continue;
    }
    if (*handled) return true;
    Sleep(20);
  }
  FError = L"the run did not end in time";
  return false;
}

// ---------------------------------------------------------------------------

std::wstring Utf16(const std::string& s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
  return w;
}

std::string Utf8(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

bool FileExists(const std::wstring& p) {
  DWORD a = GetFileAttributesW(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirExists(const std::wstring& p) {
  DWORD a = GetFileAttributesW(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadAll(const std::wstring& p, std::string& out) {
  out.clear();
  HANDLE h = CreateFileW(p.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                         nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size{};
  bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (1ll << 30);
  if (ok) {
    out.resize(static_cast<size_t>(size.QuadPart));
    size_t done = 0;
    while (ok && done < out.size()) {
      DWORD got = 0;
      DWORD want = static_cast<DWORD>(std::min<size_t>(out.size() - done, 1u << 24));
      ok = ReadFile(h, out.data() + done, want, &got, nullptr) && got > 0;
      done += got;
    }
  }
  CloseHandle(h);
  return ok;
}

bool WriteAll(const std::wstring& p, const std::string& bytes) {
  HANDLE h = CreateFileW(p.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD w = 0;
  bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &w, nullptr) && w == bytes.size();
  CloseHandle(h);
  return ok;
}

bool CopyTree(const std::wstring& from, const std::wstring& to) {
  CreateDirectoryW(to.c_str(), nullptr);
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW((from + L"\\*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  do {
    std::wstring n = fd.cFileName;
    if (n == L"." || n == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      ok = CopyTree(from + L"\\" + n, to + L"\\" + n) && ok;
    else
      ok = CopyFileW((from + L"\\" + n).c_str(), (to + L"\\" + n).c_str(), FALSE) && ok;
  } while (FindNextFileW(f, &fd));
  FindClose(f);
  return ok;
}

bool DeleteTree(const std::wstring& p) {
  DWORD a = GetFileAttributesW(p.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return true;
  if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
    return DeleteFileW(p.c_str()) != 0;
  }
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW((p + L"\\*").c_str(), &fd);
  if (f != INVALID_HANDLE_VALUE) {
    do {
      std::wstring n = fd.cFileName;
      if (n == L"." || n == L"..") continue;
      DeleteTree(p + L"\\" + n);
    } while (FindNextFileW(f, &fd));
    FindClose(f);
  }
  SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
  return RemoveDirectoryW(p.c_str()) != 0;
}

static void ListInto(const std::wstring& root, const std::wstring& rel, std::vector<std::wstring>& out) {
  WIN32_FIND_DATAW fd;
  HANDLE f = FindFirstFileW((root + rel + L"*").c_str(), &fd);
  if (f == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring n = fd.cFileName;
    if (n == L"." || n == L"..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      out.push_back(rel + n + L"\\");
      ListInto(root, rel + n + L"\\", out);
    } else {
      out.push_back(rel + n);
    }
  } while (FindNextFileW(f, &fd));
  FindClose(f);
}

std::vector<std::wstring> ListTree(const std::wstring& root) {
  std::vector<std::wstring> out;
  std::wstring r = root;
  if (!r.empty() && r.back() != L'\\') r += L'\\';
  ListInto(r, L"", out);
  std::sort(out.begin(), out.end(), [](const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) < 0;
  });
  return out;
}

std::wstring ExeFolder() {
  wchar_t buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(sizeof buf / sizeof buf[0]));
  std::wstring p(buf, n);
  return p.substr(0, p.find_last_of(L"\\/") + 1);
}

} // namespace guidrv
