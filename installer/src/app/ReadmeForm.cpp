#include "ReadmeForm.h"

#include <exdisp.h>
#include <ole2.h>

#include <string>

#include "installer/MainWindowIds.h"
#include "common/VersionHelper.h"
#include "portable/ReadmeText.h"

namespace {

const wchar_t kReadmeClass[] = L"TReadmeForm";
const int kClientW = 635, kClientH = 388, kMargin = 10, kStripH = 48;

std::wstring ExeFolder() {
  wchar_t p[MAX_PATH * 2] = {};
  DWORD n = GetModuleFileNameW(nullptr, p, MAX_PATH * 2);
  std::wstring s(p, n);
  size_t slash = s.find_last_of(L'\\');
  s = slash == std::wstring::npos ? std::wstring() : s.substr(0, slash);
  if (s.empty() || s.back() != L'\\') s += L'\\';
  return s;
}

// Lets the browser control work for up to ms milliseconds.
void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < ms) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      if (m.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(m.wParam));
        return;
      }
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
  }
}

std::wstring Utf16(const std::string& s) {
  if (s.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), &w[0], n);
  return w;
}

} // namespace

bool TReadmeForm::Create(HINSTANCE inst) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kReadmeClass;
  RegisterClassExW(&wc);

  const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  RECT r{0, 0, kClientW, kClientH};
  AdjustWindowRectEx(&r, style, FALSE, WS_EX_TOPMOST | WS_EX_DLGMODALFRAME);
  const int w = r.right - r.left, h = r.bottom - r.top;
  FWnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kReadmeClass, L"О версии...", style,
                         (GetSystemMetrics(SM_CXSCREEN) - w) / 2, (GetSystemMetrics(SM_CYSCREEN) - h) / 2, w, h,
                         nullptr, nullptr, inst, this);
  if (!FWnd) return false;
  FFont = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0, L"Tahoma");
  FBold = CreateFontW(-11, 0, 0, 0, FW_BOLD, 0, 0, 0, RUSSIAN_CHARSET, 0, 0, 0, 0, L"Tahoma");
  const int bw = 100, bh = 28, by = kClientH - kStripH + (kStripH - bh) / 2;
  btnContinue = CreateWindowExW(0, L"Button", L"Продолжить", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                              kClientW - kMargin - 2 * bw - 8, by, bw, bh, FWnd,
                              reinterpret_cast<HMENU>(IDC_BTNCONTINUE), inst, nullptr);
  btnCancel = CreateWindowExW(0, L"Button", L"Отмена", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
                            kClientW - kMargin - bw, by, bw, bh, FWnd,
                            reinterpret_cast<HMENU>(IDC_README_BTNCANCEL), inst, nullptr);
  SendMessageW(btnContinue, WM_SETFONT, reinterpret_cast<WPARAM>(FBold), FALSE);
  SendMessageW(btnCancel, WM_SETFONT, reinterpret_cast<WPARAM>(FBold), FALSE);

  // FormCreate: the page next to the running installer, its path as it is.
  FPagePath = ExeFolder() + L"readme.htm";
  setReadmeFN(L"file:///" + FPagePath);
  // Only Vista and later may go on.
  EnableWindow(btnContinue, TVersionHelper::isWindows7OrLater());
  return true;
}

TReadmeForm::~TReadmeForm() {
  if (FWnd) DestroyWindow(FWnd);
  if (FFont) DeleteObject(FFont);
  if (FBold) DeleteObject(FBold);
}

void TReadmeForm::setReadmeFN(const std::wstring& url) {
  FReadmeFN = url;
  if (ReadmeBrowser) {
    DestroyWindow(ReadmeBrowser);
    ReadmeBrowser = nullptr;
  }
  if (!ShowInBrowser(url)) ShowAsText();
}

bool TReadmeForm::ShowInBrowser(const std::wstring& url) {
  HMODULE atl = LoadLibraryW(L"atl.dll");
  if (!atl) return false;
  using TInit = BOOL(WINAPI*)();
  using TGetControl = HRESULT(WINAPI*)(HWND, IUnknown**);
  auto init = reinterpret_cast<TInit>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit")));
  auto getControl = reinterpret_cast<TGetControl>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxGetControl")));
  if (!init || !getControl || !init()) return false;
  const int h = kClientH - kStripH - kMargin;
  ReadmeBrowser = CreateWindowExW(0, L"AtlAxWin", url.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP, kMargin, kMargin,
                             kClientW - 2 * kMargin, h - kMargin, FWnd,
                             reinterpret_cast<HMENU>(IDC_README_BROWSER), GetModuleHandleW(nullptr), nullptr);
  if (!ReadmeBrowser) return false;
  IUnknown* unk = nullptr;
  IWebBrowser2* web = nullptr;
  if (SUCCEEDED(getControl(ReadmeBrowser, &unk)) && unk) {
    unk->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&web));
    unk->Release();
  }
  bool shown = false;
  if (web) {
    // A browser without an engine never leaves the loading state and has no
    // document; a working one shows the page (or its own error page).
    for (int i = 0; i < 30 && !shown; ++i) {
      READYSTATE state = READYSTATE_UNINITIALIZED;
      IDispatch* doc = nullptr;
      if (SUCCEEDED(web->get_Document(&doc)) && doc) {
        doc->Release();
        shown = true;
      } else if (SUCCEEDED(web->get_ReadyState(&state)) && state >= READYSTATE_INTERACTIVE) {
        shown = true;
      } else {
        Pump(50);
      }
    }
    web->Release();
  }
  if (!shown) {
    DestroyWindow(ReadmeBrowser);
    ReadmeBrowser = nullptr;
  }
  return shown;
}

void TReadmeForm::ShowAsText() {
  std::wstring text;
  HANDLE f = CreateFileW(FPagePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, 0, nullptr);
  if (f != INVALID_HANDLE_VALUE) {
    LARGE_INTEGER size{};
    // A release-notes page is small; a bigger file is shown in its first 8 MB.
    const LONGLONG kMax = 8LL << 20;
    if (GetFileSizeEx(f, &size)) {
      std::string bytes(static_cast<size_t>(std::min<LONGLONG>(size.QuadPart, kMax)), '\0');
      DWORD got = 0;
      if (bytes.empty() || ReadFile(f, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr)) {
        bytes.resize(got);
        std::wstring plain = Utf16(installer::PageText(bytes));
        text.reserve(plain.size() + plain.size() / 16);
        for (wchar_t c : plain) {
          if (c == L'\n') text += L'\r';
          text += c;
        }
      }
    }
    CloseHandle(f);
  } else {
    text = L"Файл " + FPagePath + L" не найден.";
  }
  const int h = kClientH - kStripH - kMargin;
  ReadmeBrowser = CreateWindowExW(WS_EX_CLIENTEDGE, L"Edit", text.c_str(),
                             WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                             kMargin, kMargin, kClientW - 2 * kMargin, h - kMargin, FWnd,
                             reinterpret_cast<HMENU>(IDC_README_TEXT), GetModuleHandleW(nullptr), nullptr);
  SendMessageW(ReadmeBrowser, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), FALSE);
}

int TReadmeForm::ShowModal(HWND owner) {
  if (!FWnd) return IDCANCEL;  // no window, nothing to continue with
  FModalResult = 0;
  HWND top = GetAncestor(owner, GA_ROOTOWNER);
  EnableWindow(owner, FALSE);
  if (top && top != owner) EnableWindow(top, FALSE);
  SetWindowPos(FWnd, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  SetActiveWindow(FWnd);
  SetFocus(IsWindowEnabled(btnContinue) ? btnContinue : btnCancel);
  bool quit = false;
  int quitCode = 0;
  MSG m;
  while (FModalResult == 0) {
    if (!GetMessageW(&m, nullptr, 0, 0)) {
      quit = true;
      quitCode = static_cast<int>(m.wParam);
      FModalResult = IDCANCEL;
      break;
    }
    if (!IsDialogMessageW(FWnd, &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  if (top && top != owner) EnableWindow(top, TRUE);
  EnableWindow(owner, TRUE);
  ShowWindow(FWnd, SW_HIDE);
  SetActiveWindow(owner);
  if (quit) PostQuitMessage(quitCode);
  return FModalResult;
}

LRESULT CALLBACK TReadmeForm::WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  TReadmeForm* self;
  if (msg == WM_NCCREATE) {
    self = static_cast<TReadmeForm*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->FWnd = w;
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TReadmeForm*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  }
  return self ? self->Handle(msg, wp, lp) : DefWindowProcW(w, msg, wp, lp);
}

LRESULT TReadmeForm::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_COMMAND:
    if (LOWORD(wp) == IDC_BTNCONTINUE && IsWindowEnabled(btnContinue)) {
      FModalResult = IDOK;
      return 0;
    }
    if (LOWORD(wp) == IDC_README_BTNCANCEL) {
      FModalResult = IDCANCEL;
      return 0;
    }
    break;
  case WM_CLOSE:
    // Closing hides the window and ends a modal display like "Отмена".
    FModalResult = IDCANCEL;
    if (IsWindowVisible(FWnd)) ShowWindow(FWnd, SW_HIDE);
    return 0;
  case WM_CTLCOLORSTATIC:
    // The read-only page text on a white ground, like a page.
    if (reinterpret_cast<HWND>(lp) == ReadmeBrowser) {
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_WINDOW));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    }
    break;
  }
  return DefWindowProcW(FWnd, msg, wp, lp);
}
