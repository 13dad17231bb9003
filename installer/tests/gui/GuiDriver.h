// Drives the installer's windows from another process: starts Install.exe,
// finds its windows by class and caption, types, clicks, answers message
// boxes by their text and reads the progress list.  Used by the GUI tests and
// by the demo driver.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace guidrv {

// Message-box buttons as the platform numbers them.
constexpr int kOk = IDOK;    // 1
constexpr int kYes = IDYES;  // 6
constexpr int kNo = IDNO;    // 7
constexpr int kBoxTextId = 0xFFFF;

// Texts of the installer's windows.
extern const wchar_t* const kMainCaption;    // "Установка комплекса"
extern const wchar_t* const kReadmeCaption;  // "О версии..."

// Text and enabled state of a window of another process (WM_GETTEXT with a
// time-out, so a blocked target does not block us).
std::wstring Text(HWND w);
bool SetText(HWND w, const std::wstring& text);
// Posts BM_CLICK: the target runs the click handler on its own thread.
void Click(HWND button);
bool Checked(HWND box);
void SetChecked(HWND box, bool on);
std::vector<std::wstring> ListLines(HWND listBox);

// First descendant of parent with the class (nullptr: any) whose text equals
// text (nullptr: any) and for which the predicate (if given) holds.
HWND FindChild(HWND parent, const wchar_t* cls, const wchar_t* text,
               const std::function<bool(HWND)>& pred = nullptr);
std::wstring ClassOf(HWND w);

// Polls cond every 20 ms until it holds or timeoutMs elapse.
bool WaitUntil(const std::function<bool()>& cond, DWORD timeoutMs);

// Controls of the main window, found by class and caption.
struct TMainWindow {
  HWND Main = nullptr;
  HWND ePath = nullptr;
  HWND edVersionNumber = nullptr;
  HWND BtnSelectPath = nullptr;
  HWND BtnInstall = nullptr;
  HWND BtnCancel = nullptr;
  HWND chInstDriver = nullptr;
  HWND chCardiograph = nullptr;
  HWND cbRMISIntegration = nullptr;
  HWND LogList = nullptr;
  bool Complete() const;
  std::wstring Missing() const;  // names of the controls not found
};

// A box or window seen during a run, in order.
struct TEvent {
  std::wstring Kind;  // "box" or "readme"
  std::wstring Text;  // box text, or the readme button pressed
  int Answer = 0;     // button id pressed
};

// How a run answers: a box text gives a button id (0: leave the box open and
// stop driving); the release-notes window is continued or cancelled.
struct TAnswers {
  std::function<int(const std::wstring& text)> Box;
  bool ContinueReadme = true;
  bool CloseReadmeByTitleBar = false;  // cancel by closing instead of "Отмена"
};
// Yes to every question, OK to every other box, continue at the release notes.
TAnswers DefaultAnswers();

class TInstaller {
public:
  TInstaller() = default;
  ~TInstaller();
  TInstaller(const TInstaller&) = delete;
  TInstaller& operator=(const TInstaller&) = delete;

  // Starts the program with the given current folder (empty: the caller's)
  // and waits until its main window is visible with every control.
  bool Start(const std::wstring& exe, const std::wstring& cwd, DWORD timeoutMs = 30000);
  const std::wstring& Error() const { return FError; }

  DWORD Pid() const { return FPid; }
  HANDLE Process() const { return FProcess; }
  bool WaitExit(DWORD timeoutMs);
  bool Running() const;
  DWORD ExitCode() const;
  void Kill();

  TMainWindow& Window() { return FWin; }

  // Visible top-level windows of the process.
  HWND FindTop(const wchar_t* cls, const wchar_t* caption, bool visibleOnly = true) const;
  HWND Readme(bool visibleOnly = true) const { return FindTop(nullptr, kReadmeCaption, visibleOnly); }
  // A visible message box (dialog with the static text id 0xFFFF).
  HWND Box() const;
  HWND WaitBox(DWORD timeoutMs) const;
  static std::wstring BoxText(HWND box);
  static bool Answer(HWND box, int id);

  // Presses BtnInstall and drives the run until the window is idle again,
  // the program has ended, or a box is left open (answer 0).  Events gets
  // every box and release-notes decision in order.
  bool RunInstall(const TAnswers& answers, std::vector<TEvent>& events, DWORD timeoutMs = 120000);
  // True when the run is over: the four controls a run disables enabled again, no box, no release notes.
  bool Idle() const;

  std::vector<std::wstring> Lines() const { return ListLines(FWin.LogList); }

private:
  bool Locate();

  HANDLE FProcess = nullptr;
  HANDLE FThread = nullptr;
  DWORD FPid = 0;
  TMainWindow FWin;
  std::wstring FError;
};

// Paths and files.
std::wstring Utf16(const std::string& s);
std::string Utf8(const std::wstring& s);
bool FileExists(const std::wstring& p);
bool DirExists(const std::wstring& p);
bool ReadAll(const std::wstring& p, std::string& out);
bool WriteAll(const std::wstring& p, const std::string& bytes);
bool CopyTree(const std::wstring& from, const std::wstring& to);
bool DeleteTree(const std::wstring& p);
// Every file below root, relative, sorted.
std::vector<std::wstring> ListTree(const std::wstring& root);
std::wstring ExeFolder();  // folder of the running program, with "\"

} // namespace guidrv
