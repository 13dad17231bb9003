// Demo driver: operates the installer's window the way a user who accepts
// every default would, prints what the window shows, and pauses on the
// finished window so that a screenshot can be taken.
//
//   demo_driver <Install.exe> [--path <target folder>] [--ready-file <f>]
//               [--done-file <f>] [--tree]
//
// The questions are answered Yes (go on in an existing folder, keep the old
// database), the release notes are continued, and the final question is
// answered No so that the finished window stays open.  With --ready-file,
// the window's screen rectangle "x y width height" is written to that file
// once the run is over, and the driver waits (at most 60 s) until the
// --done-file exists before closing the installer with its exit button.
#include "GuiDriver.h"

#include <cstdio>
#include <string>
#include <vector>

using namespace guidrv;

namespace {

void Out(const std::wstring& s) {
  std::string u = Utf8(s) + "\n";
  std::fwrite(u.data(), 1, u.size(), stdout);
  std::fflush(stdout);
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: demo_driver Install.exe [--path dir] [--ready-file f] [--done-file f] [--tree]\n");
    return 2;
  }
  std::wstring exe = argv[1], path, ready, done;
  bool tree = false;
  for (int i = 2; i < argc; ++i) {
    std::wstring a = argv[i];
    if (a == L"--path" && i + 1 < argc) path = argv[++i];
    else if (a == L"--ready-file" && i + 1 < argc) ready = argv[++i];
    else if (a == L"--done-file" && i + 1 < argc) done = argv[++i];
    else if (a == L"--tree") tree = true;
  }

  TInstaller app;
  if (!app.Start(exe, L"")) {
    Out(L"demo: the installer did not start: " + app.Error());
    return 1;
  }
  TMainWindow& w = app.Window();
  if (!path.empty()) SetText(w.ePath, path);
  Out(L"demo: target folder " + Text(w.ePath) + L", version " + Text(w.edVersionNumber) + L", driver " +
      (Checked(w.chInstDriver) ? L"on" : L"off"));

  TAnswers answers;
  answers.Box = [](const std::wstring& text) {
    if (text == L"Установка завершена. Выйти из программы установки?") return kNo;
    return text.find(L'?') != std::wstring::npos ? kYes : kOk;
  };
  std::vector<TEvent> events;
  bool ok = app.RunInstall(answers, events, 600000);
  for (const auto& e : events)
    Out(L"demo: " + e.Kind + L": " + e.Text + L" -> " +
        (e.Answer == kYes ? L"Да" : e.Answer == kNo ? L"Нет" : e.Answer == kOk ? L"OK" : L"Отмена"));
  if (!ok) {
    Out(L"demo: " + app.Error());
    app.Kill();
    return 1;
  }
  std::wstring target = Text(w.ePath);
  Out(L"demo: progress list:");
  for (const auto& l : app.Lines()) Out(L"  " + l);

  if (tree) {
    Out(L"demo: installed tree " + target + L":");
    for (const auto& f : ListTree(target)) {
      std::wstring line = L"  " + f;
      if (f.back() != L'\\') {
        WIN32_FILE_ATTRIBUTE_DATA d{};
        if (GetFileAttributesExW((target + f).c_str(), GetFileExInfoStandard, &d)) {
          unsigned long long size = (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
          line += L"  (" + std::to_wstring(size) + L" bytes)";
        }
      }
      Out(line);
    }
  }

  if (!ready.empty()) {
    RECT r{};
    GetWindowRect(w.Main, &r);
    SetForegroundWindow(w.Main);
    Sleep(500);  // let the list repaint
    std::string rect = std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right - r.left) +
                       " " + std::to_string(r.bottom - r.top) + "\n";
    WriteAll(ready, rect);
    if (!done.empty()) WaitUntil([&] { return FileExists(done); }, 60000);
  }
  Click(w.BtnCancel);
  if (!app.WaitExit(15000)) {
    Out(L"demo: the installer did not end on its exit button");
    app.Kill();
    return 1;
  }
  return 0;
}
