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
    if (!app.Create(inst)) return 1;
    app.SetTitle(L"Quorvel-12");
    ShowWindow(app.Handle(), SW_SHOWNOACTIVATE);
    TFMain main(app, inst);
    if (!main.Create()) return 1;
    TReadmeForm readme;
    readme.Create(inst);
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
    DestroyWindow(app.Handle());
  }
  ReleaseFrameworkObjects();
  OleUninitialize();
  return code;
}
