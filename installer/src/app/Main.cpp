// Install.exe: the main window and the hidden release-notes window, and the
// message loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "MainForm.h"
#include "ReadmeForm.h"
#include "config/ConfigManager.h"
#include "logging/QorLogger.h"

namespace {

// Program end: the process-wide configuration manager and logger, where a
// unit has created them, are destroyed (the logger's final flush writes what
// is still queued).  An error raised while releasing them is swallowed.
void ReleaseFrameworkObjects() noexcept {
  try {
    if (TConfigManager::Exists()) TConfigManager::Release();
  } catch (...) {
  }
  try {
    if (TQorLogger::Exists()) TQorLogger::Release();
  } catch (...) {
  }
}

// A window of the program could not be made: the user is told, and the
// program ends with exit code 1.
int StartFailed(HWND owner, const wchar_t* text) {
  MessageBoxW(owner, text, L"Установка комплекса", MB_OK | MB_ICONERROR);
  return 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
  OleInitialize(nullptr);  // the folder picker and the browser control
  INITCOMMONCONTROLSEX icc{};
  icc.dwSize = sizeof icc;
  icc.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  InitCommonControlsEx(&icc);
  LoadLibraryW(L"riched20.dll");  // RichEdit1

  int code = 0;
  {
    TApplicationWindow app;
    if (!app.Create(inst)) {
      StartFailed(nullptr, L"Не удалось создать окно программы установки.");
      return 1;
    }
    app.SetTitle(L"Quorvel-12");
    ShowWindow(app.Handle(), SW_SHOWNOACTIVATE);
    TFMain main(app, inst);
    TReadmeForm readme;
    if (!main.Create()) {
      code = StartFailed(app.Handle(), L"Не удалось создать главное окно программы установки.");
    } else if (!readme.Create(inst)) {
      // Without it no install run could get past the release notes.
      code = StartFailed(app.Handle(), L"Не удалось создать окно сведений о версии.");
    } else {
      app.SetMainWindow(main.Handle());
      main.SetReadmeForm(&readme);
      // The windows are complete: the main window appears as the loop starts.
      main.Show();

      MSG m;
      while (GetMessageW(&m, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(main.Handle(), &m)) {
          TranslateMessage(&m);
          DispatchMessageW(&m);
        }
      }
      code = static_cast<int>(m.wParam);
    }
    DestroyWindow(app.Handle());
  }
  ReleaseFrameworkObjects();
  OleUninitialize();
  return code;
}
