// Install.exe: the main window and the hidden release-notes window, and the
// message loop.
#include <windows.h>
#include <commctrl.h>
#include <ole2.h>

#include "MainForm.h"
#include "ReadmeForm.h"

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
  // The configuration manager and the logger are not used by the installer's
  // units, so none of them exists here to be released.
  OleUninitialize();
  return code;
}
