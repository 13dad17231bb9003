#include "MainForm.h"

#include <commctrl.h>
#include <richedit.h>
#include <shlobj.h>

#include <cwctype>
#include <exception>

#include "ReadmeForm.h"
#include "common/Errors.h"
#include "common/VersionHelper.h"
#include "installer/MainWindowIds.h"

namespace {

const wchar_t kMainClass[] = L"TFMain";
const wchar_t kAppClass[] = L"TInstallApplication";
const wchar_t kTitlePrefix[] = L"Установка комплекса ";
const UINT WM_FORMSHOW = WM_APP + 1;

const int kClientW = 782, kClientH = 553, kBannerH = 84;

// Progress-list repaints while lines come in: at least this many
// milliseconds apart, and apart by at least this many times the duration of
// the last repaint, so that repainting takes a small share of a run.
const DWORD kFlushMs = 100;
const DWORD kFlushCostFactor = 30;
// Pending messages are processed at most this often during a run.
const DWORD kPumpMs = 10;
const int kPanelW = 520;  // left panel; the rich-text column takes the rest

std::wstring WindowText(HWND w) {
  int n = GetWindowTextLengthW(w);
  std::wstring s(static_cast<size_t>(n) + 1, L'\0');
  n = GetWindowTextW(w, &s[0], n + 1);
  s.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return s;
}

// Removes leading and trailing blanks and control characters.
std::wstring Trim(const std::wstring& s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= L' ') ++b;
  while (e > b && s[e - 1] <= L' ') --e;
  return s.substr(b, e - b);
}

std::wstring ExeFolder() {
  std::wstring p(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, &p[0], static_cast<DWORD>(p.size()));
    if (n == 0) return L".\\";
    if (n < p.size()) { p.resize(n); break; }
    p.resize(p.size() * 2);
  }
  size_t slash = p.find_last_of(L'\\');
  p = slash == std::wstring::npos ? std::wstring() : p.substr(0, slash);
  if (p.empty() || p.back() != L'\\') p += L'\\';
  return p;
}

// The full form of a path relative to the current folder (or the path as it
// is when the platform cannot give one).
std::wstring FullPath(const std::wstring& p) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetFullPathNameW(p.c_str(), static_cast<DWORD>(full.size()), &full[0], nullptr);
    if (n == 0) return p;
    if (n < full.size()) {
      full.resize(n);
      return full;
    }
    full.resize(n);
  }
}

bool DirExists(const std::wstring& p) {
  DWORD a = GetFileAttributesW(p.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates the folder with every missing parent; relative paths are taken
// from the current folder.
bool ForceDirectories(std::wstring dir) {
  while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
  if (dir.empty()) return false;
  if (DirExists(dir)) return true;
  size_t slash = dir.find_last_of(L"\\/");
  if (slash != std::wstring::npos && slash > 0) {
    std::wstring parent = dir.substr(0, slash);
    bool isDrive = parent.size() == 2 && parent[1] == L':';
    bool isUncHead = parent.size() <= 2 || (parent.compare(0, 2, L"\\\\") == 0 && parent.find(L'\\', 2) == std::wstring::npos);
    if (!isDrive && !isUncHead && !ForceDirectories(parent)) return false;
  }
  return CreateDirectoryW(dir.c_str(), nullptr) || (GetLastError() == ERROR_ALREADY_EXISTS && DirExists(dir));
}

std::wstring FromUtf8(const char* s) {
  int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
  if (n <= 1) return L"";
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, s, -1, &w[0], n);
  w.resize(static_cast<size_t>(n - 1));
  return w;
}

// Grouped decimal in the user's number format, for example "1 234".
std::wstring GroupedNumber(int value) {
  wchar_t dec[8] = L".", thou[8] = L" ";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, dec, 8);
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_STHOUSAND, thou, 8);
  NUMBERFMTW fmt{};
  fmt.NumDigits = 0;
  fmt.LeadingZero = 0;
  fmt.Grouping = 3;
  fmt.lpDecimalSep = dec;
  fmt.lpThousandSep = thou;
  fmt.NegativeOrder = 1;
  std::wstring digits = std::to_wstring(value);
  if (value > -1000 && value < 1000) return digits;
  wchar_t out[64] = {};
  if (GetNumberFormatW(LOCALE_USER_DEFAULT, 0, digits.c_str(), &fmt, out, 64) > 0) return out;
  return digits;
}

// 8 x 8 pattern of the left panel: the button face with a light weave.
HBRUSH CreatePanelBrush() {
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP bmp = CreateCompatibleBitmap(screen, 8, 8);
  HGDIOBJ old = SelectObject(dc, bmp);
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  COLORREF light = RGB(std::min(255, GetRValue(face) + 12), std::min(255, GetGValue(face) + 12),
                       std::min(255, GetBValue(face) + 14));
  COLORREF dark = RGB(std::max(0, GetRValue(face) - 10), std::max(0, GetGValue(face) - 10),
                      std::max(0, GetBValue(face) - 6));
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 8; ++x)
      SetPixel(dc, x, y, ((x + y) % 4 == 0) ? light : ((x - y + 8) % 4 == 0 ? dark : face));
  SelectObject(dc, old);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  HBRUSH brush = CreatePatternBrush(bmp);
  DeleteObject(bmp);
  return brush;
}

HFONT MakeFont(const wchar_t* face, int height, int weight) {
  return CreateFontW(height, 0, 0, 0, weight, FALSE, FALSE, FALSE, RUSSIAN_CHARSET, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face);
}

DWORD CALLBACK RtfIn(DWORD_PTR cookie, LPBYTE buf, LONG cb, LONG* pcb) {
  auto* src = reinterpret_cast<std::pair<const char*, size_t>*>(cookie);
  size_t n = std::min(static_cast<size_t>(cb), src->second);
  memcpy(buf, src->first, n);
  src->first += n;
  src->second -= n;
  *pcb = static_cast<LONG>(n);
  return 0;
}

} // namespace

// ---------------------------------------------------------------------------
// Application window

bool TApplicationWindow::Create(HINSTANCE inst) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.lpszClassName = kAppClass;
  RegisterClassExW(&wc);
  // A zero-size window in the middle of the screen: only its task-bar button
  // is seen.
  FWnd = CreateWindowExW(0, kAppClass, L"", WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                         GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2, 0, 0, nullptr,
                         nullptr, inst, this);
  return FWnd != nullptr;
}

void TApplicationWindow::SetTitle(const std::wstring& editionLabel) {
  SetWindowTextW(FWnd, (kTitlePrefix + std::wstring(L"\"") + editionLabel + L"\"").c_str());
}

std::wstring TApplicationWindow::Title() const { return WindowText(FWnd); }

LRESULT CALLBACK TApplicationWindow::WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE)
    SetWindowLongPtrW(w, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  auto* self = reinterpret_cast<TApplicationWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  switch (msg) {
  case WM_SYSCOMMAND:
    // The task-bar button restores and minimises the main window; its Close
    // asks this program's main window to close (the close query decides).
    if ((wp & 0xFFF0) == SC_CLOSE) {
      if (self && self->FMainWnd) PostMessageW(self->FMainWnd, WM_CLOSE, 0, 0);
      return 0;
    }
    break;
  case WM_ACTIVATE:
    if (LOWORD(wp) != WA_INACTIVE) {
      HWND popup = GetLastActivePopup(w);
      if (popup && popup != w && IsWindowEnabled(popup)) SetActiveWindow(popup);
    }
    return 0;
  }
  return DefWindowProcW(w, msg, wp, lp);
}

// ---------------------------------------------------------------------------
// Main window

TFMain::~TFMain() {
  for (HGDIOBJ o : {static_cast<HGDIOBJ>(FFont), static_cast<HGDIOBJ>(FTahoma), static_cast<HGDIOBJ>(FTahomaBold),
                    static_cast<HGDIOBJ>(FInstallFont), static_cast<HGDIOBJ>(FPanelBrush),
                    static_cast<HGDIOBJ>(FInfoBrush), static_cast<HGDIOBJ>(FFaceBrush), static_cast<HGDIOBJ>(FLogo),
                    static_cast<HGDIOBJ>(FBanner12), static_cast<HGDIOBJ>(FBannerPC)})
    if (o) DeleteObject(o);
}

bool TFMain::Create() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = WndProc;
  wc.hInstance = FInst;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kMainClass;
  RegisterClassExW(&wc);

  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
  RECT r{0, 0, kClientW, kClientH};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
  FWnd = CreateWindowExW(0, kMainClass, L"Установка комплекса", style, x, y, w, h, FApp.Handle(), nullptr, FInst,
                         this);
  return FWnd != nullptr;
}

void TFMain::Show() {
  ShowWindow(FWnd, SW_SHOW);
  UpdateWindow(FWnd);
  PostMessageW(FWnd, WM_FORMSHOW, 0, 0);
}

LRESULT CALLBACK TFMain::WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
  TFMain* self;
  if (msg == WM_NCCREATE) {
    self = static_cast<TFMain*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
    self->FWnd = w;
    SetWindowLongPtrW(w, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  } else {
    self = reinterpret_cast<TFMain*>(GetWindowLongPtrW(w, GWLP_USERDATA));
  }
  return self ? self->Handle(msg, wp, lp) : DefWindowProcW(w, msg, wp, lp);
}

void TFMain::CreateControls() {
  FFont = MakeFont(L"MS Sans Serif", -11, FW_NORMAL);
  FTahoma = MakeFont(L"Tahoma", -11, FW_NORMAL);
  FTahomaBold = MakeFont(L"Tahoma", -11, FW_BOLD);
  FInstallFont = MakeFont(L"Tahoma", -16, FW_BOLD);
  FPanelBrush = CreatePanelBrush();
  FInfoBrush = CreateSolidBrush(GetSysColor(COLOR_INFOBK));
  FFaceBrush = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));

  const auto make = [&](const wchar_t* cls, const wchar_t* text, DWORD style, DWORD ex, int x, int y, int w, int h,
                        int id, HFONT font) {
    HWND c = CreateWindowExW(ex, cls, text, WS_CHILD | style, x, y, w, h, FWnd,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInst, nullptr);
    SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font ? font : FFont), FALSE);
    return c;
  };

  // Banner strip.
  const int logoX = kClientW - 71 - 8;
  Image12 = make(L"Static", L"", WS_VISIBLE | SS_BITMAP, 0, 0, 0, 1, 1, IDC_IMAGE12, nullptr);
  ImagePC = make(L"Static", L"", SS_BITMAP, 0, 0, 0, 1, 1, IDC_IMAGEPC, nullptr);
  Image1 = make(L"Static", L"", WS_VISIBLE | SS_BITMAP, 0, logoX, (kBannerH - 62) / 2, 71, 62, IDC_IMAGE1, nullptr);

  // Right column.
  RichEdit1 = make(RICHEDIT_CLASSW, L"", WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL,
                   WS_EX_CLIENTEDGE, kPanelW, kBannerH, kClientW - kPanelW, kClientH - kBannerH, IDC_RICHEDIT1,
                   nullptr);
  SendMessageW(RichEdit1, EM_SETBKGNDCOLOR, 0, GetSysColor(COLOR_BTNFACE));

  // Left panel, top to bottom.
  const int L = 16;
  make(L"Static", L"Выберите путь для установки программного обеспечения", WS_VISIBLE | SS_LEFT, 0, L, 100, 480,
       16, IDC_LABEL_PATH, FTahoma);
  ePath = make(L"Edit", L"", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, L, 120, 380, 22,
               IDC_EPATH, FTahoma);
  BtnSelectPath = make(L"Button", L"Выбрать", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 404, 119, 100, 24,
                       IDC_BTNSELECTPATH, FTahoma);
  make(L"Static", L"№ версии", WS_VISIBLE | SS_LEFT, 0, L, 154, 200, 16, IDC_LABEL_VERSION, FTahoma);
  edVersionNumber = make(L"Edit", L"", WS_VISIBLE | ES_READONLY | ES_RIGHT, WS_EX_CLIENTEDGE, L, 172, 120, 22,
                         IDC_EDVERSIONNUMBER, FTahoma);
  chInstDriver = make(L"Button", L"Устанавливать драйвер", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, L, 206,
                      300, 20, IDC_CHINSTDRIVER, FTahoma);
  chCardiograph = make(L"Button", L"QUORVEL-ПК (Устройство с термопринтером)",
                       WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX | BS_MULTILINE, 0, L, 230, 190, 34,
                       IDC_CHCARDIOGRAPH, FTahoma);
  cbRMISIntegration = make(L"Button", L"Интеграция с РМИС", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, L, 268,
                           300, 20, IDC_CBRMISINTEGRATION, FTahoma);
  BtnInstall = make(L"Button", L"Начать  установку", WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW, 0, L, 298, 240, 42,
                    IDC_BTNINSTALL, FInstallFont);
  BtnCancel = make(L"Button", L"Выход", WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 0, 404, 305, 100, 28,
                   IDC_BTNCANCEL, FTahomaBold);
  // Created last: the window is complete once the progress list exists.
  LogList = make(L"ListBox", L"", WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL, WS_EX_CLIENTEDGE, L,
                 350, kPanelW - 2 * L, kClientH - 350 - 12, IDC_LOGLIST, FTahoma);
  SendMessageW(LogList, LB_SETHORIZONTALEXTENT, 1600, 0);
  SendMessageW(chInstDriver, BM_SETCHECK, BST_CHECKED, 0);
}

void TFMain::PlaceBanner(HWND image, HBITMAP source) {
  if (!source) return;
  BITMAP bm{};
  GetObjectW(source, sizeof bm, &bm);
  if (bm.bmWidth <= 0 || bm.bmHeight <= 0) return;
  const int areaW = kClientW - 71 - 16, areaH = kBannerH;
  // Stretched into the banner area, proportions kept, centred.
  double scale = std::min(static_cast<double>(areaW) / bm.bmWidth, static_cast<double>(areaH) / bm.bmHeight);
  int w = static_cast<int>(bm.bmWidth * scale), h = static_cast<int>(bm.bmHeight * scale);
  HBITMAP scaled = static_cast<HBITMAP>(CopyImage(source, IMAGE_BITMAP, w, h, 0));
  HBITMAP old = reinterpret_cast<HBITMAP>(
      SendMessageW(image, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled ? scaled : source)));
  if (old && old != source) DeleteObject(old);
  SetWindowPos(image, nullptr, (areaW - w) / 2, (areaH - h) / 2, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TFMain::FormCreate() {
  // 1. Logo.
  FLogo = static_cast<HBITMAP>(LoadImageW(FInst, L"LOGO", IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
  if (FLogo) SendMessageW(Image1, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(FLogo));
  FBanner12 = static_cast<HBITMAP>(LoadImageW(FInst, MAKEINTRESOURCEW(IDB_BANNER_STD), IMAGE_BITMAP, 0, 0, 0));
  FBannerPC = static_cast<HBITMAP>(LoadImageW(FInst, MAKEINTRESOURCEW(IDB_BANNER_PC), IMAGE_BITMAP, 0, 0, 0));
  PlaceBanner(Image12, FBanner12);
  PlaceBanner(ImagePC, FBannerPC);
  // 2. The contact text.
  if (HRSRC res = FindResourceW(FInst, L"INFO", MAKEINTRESOURCEW(10) /* RT_RCDATA */)) {
    HGLOBAL g = LoadResource(FInst, res);
    const char* data = g ? static_cast<const char*>(LockResource(g)) : nullptr;
    if (data) {
      std::pair<const char*, size_t> src{data, SizeofResource(FInst, res)};
      EDITSTREAM es{};
      es.dwCookie = reinterpret_cast<DWORD_PTR>(&src);
      es.pfnCallback = RtfIn;
      SendMessageW(RichEdit1, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&es));
    }
  }
  // 3. and 4.
  AppStr = L"Quorvel12";
  wchar_t buf[255] = {};
  if (LoadStringW(FInst, IDS_COMPLEX_NAME, buf, 255) > 0) ComplexNameStr = buf;
  // 5.
  FVersion = TVersionHelper::GetMinorVersion();
  SetWindowTextW(ePath, (L"C:\\" + AppStr + L"_" + std::to_wstring(FVersion)).c_str());
  SetWindowTextW(edVersionNumber, GroupedNumber(FVersion).c_str());
  // 6.
  FCanClose = true;
}

void TFMain::FormShow() {
  if (!TVersionHelper::isWindows7OrLater())
    ShowBox(installer::TBoxKind::Plain, L"Поддержка Windows XP и более ранних версий прекращена.");
}

void TFMain::chCardiographClick() {
  const bool pc = SendMessageW(chCardiograph, BM_GETCHECK, 0, 0) == BST_CHECKED;
  ShowWindow(pc ? Image12 : ImagePC, SW_HIDE);
  ShowWindow(pc ? ImagePC : Image12, SW_SHOW);
  FApp.SetTitle(pc ? L"Quorvel-ПК" : L"Quorvel-12");
}

void TFMain::BtnSelectPathClick() {
  BROWSEINFOW bi{};
  bi.hwndOwner = FWnd;
  bi.pidlRoot = nullptr;  // the desktop
  bi.lpszTitle = L"Выберите путь для установки программ";
  bi.ulFlags = BIF_NEWDIALOGSTYLE | BIF_RETURNONLYFSDIRS | BIF_NONEWFOLDERBUTTON;
  PIDLIST_ABSOLUTE pidl = SHBrowseForFolderW(&bi);
  if (!pidl) return;
  wchar_t path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(pidl, path)) {
    std::wstring p = path;
    // As the picker gives it, without a trailing separator (a drive root keeps its own).
    if (p.size() > 3 && p.back() == L'\\') p.pop_back();
    SetWindowTextW(ePath, p.c_str());
  }
  CoTaskMemFree(pidl);
}

void TFMain::BtnCancelClick() { PostMessageW(FWnd, WM_CLOSE, 0, 0); }

// Only an idle window closes.
void TFMain::FormCloseQuery(bool& CanClose) { CanClose = FCanClose; }

void TFMain::SetBusy(bool busy) {
  if (!busy) FlushList();  // the run's last lines and marks are shown
  FBusy = busy;
  FCanClose = !busy;
  for (HWND c : {BtnSelectPath, BtnInstall, BtnCancel, ePath}) EnableWindow(c, !busy);
  SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

int TFMain::VersionNumberValue() const {
  std::wstring digits;
  for (wchar_t c : WindowText(edVersionNumber))
    if ((c >= L'0' && c <= L'9') || (c == L'-' && digits.empty())) digits += c;
  if (digits.empty() || digits == L"-") return 0;
  return static_cast<int>(wcstol(digits.c_str(), nullptr, 10));
}

void TFMain::BtnInstallClick() {
  // P1.
  if (VersionNumberValue() < 1) {
    ShowBox(installer::TBoxKind::Plain, L"Введите номер версии!");
    return;
  }
  SetBusy(true);
  try {
    InstallRun();
  } catch (const EFrameworkError& e) {
    SetBusy(false);
    MessageBoxW(FWnd, e.Message().c_str(), FApp.Title().c_str(), MB_OK | MB_ICONERROR);
    return;
  } catch (const std::exception& e) {
    SetBusy(false);
    MessageBoxW(FWnd, FromUtf8(e.what()).c_str(), FApp.Title().c_str(), MB_OK | MB_ICONERROR);
    return;
  }
  SetBusy(false);
}

// P2 to P9, the steps and the final question; the caller restores the idle state.
void TFMain::InstallRun() {
  installer::TInstallRun run;
  run.Ui = this;
  run.Launcher = &_run;
  run.DistDir = ExeFolder();  // P2
  // P3.
  std::wstring target = Trim(WindowText(ePath));
  FlushList();
  SendMessageW(LogList, LB_RESETCONTENT, 0, 0);
  FOpenLine = -1;
  FLastFlush = GetTickCount() - 10 * kFlushMs;  // the first line of a run shows at once
  ShowWindow(LogList, SW_SHOW);
  // P4.
  if (target.empty()) {
    const wchar_t* text = L"Не выбран путь для установки программы!";
    ShowBox(installer::TBoxKind::Error, text);
    AddInfoLine(text);
    return;
  }
  // P5.
  if (target.back() != L'\\') target += L'\\';
  SetWindowTextW(ePath, target.c_str());
  // P6.
  if (target.size() <= 3) {
    const wchar_t* text = L"Программу нельзя устанавливать в корневой каталог!";
    ShowBox(installer::TBoxKind::Warning, text);
    AddInfoLine(text);
    return;
  }
  // The accepted target as a full path, taken from the current folder now:
  // the run later makes the target the current folder (step 21), and the
  // release level, the shortcut and a second run need the same folder.
  target = FullPath(target);
  if (target.back() != L'\\') target += L'\\';
  SetWindowTextW(ePath, target.c_str());
  // P7.
  FlushList();
  if (!FReadme || FReadme->ShowModal(FWnd) != IDOK) return;
  // P8.
  ProcessMessages();
  // P9.
  if (DirExists(target)) {
    if (!ShowBox(installer::TBoxKind::Confirm, L"Такой каталог уже существует! Продолжить установку?")) {
      AddInfoLine(L"Выбранный каталог уже существует!");
      return;
    }
  } else if (!ForceDirectories(target)) {
    const wchar_t* text = L"Ошибка при создании каталога!";
    ShowBox(installer::TBoxKind::Error, text);
    AddInfoLine(text);
    return;
  } else {
    AddInfoLine(L"Каталог создан...");
    ProcessMessages();
  }

  run.TargetDir = target;
  run.AppStr = AppStr;
  run.ComplexNameStr = ComplexNameStr;
  run.VersionNumber = VersionNumberValue();
  if (!installer::RunInstallSteps(run)) return;

  if (ShowBox(installer::TBoxKind::Confirm, L"Установка завершена. Выйти из программы установки?")) {
    SetBusy(false);
    PostMessageW(FWnd, WM_CLOSE, 0, 0);
  }
}

void TFMain::DrawInstallButton(const DRAWITEMSTRUCT& d) {
  RECT r = d.rcItem;
  const bool pressed = (d.itemState & ODS_SELECTED) != 0;
  const bool disabled = (d.itemState & ODS_DISABLED) != 0;
  DrawFrameControl(d.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
  SetBkMode(d.hDC, TRANSPARENT);
  SetTextColor(d.hDC, disabled ? GetSysColor(COLOR_GRAYTEXT) : RGB(0, 128, 0));
  HGDIOBJ old = SelectObject(d.hDC, FInstallFont);
  std::wstring text = WindowText(d.hwndItem);
  if (pressed) OffsetRect(&r, 1, 1);
  DrawTextW(d.hDC, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  SelectObject(d.hDC, old);
  if ((d.itemState & ODS_FOCUS) && !disabled) {
    RECT f = d.rcItem;
    InflateRect(&f, -4, -4);
    DrawFocusRect(d.hDC, &f);
  }
}

LRESULT TFMain::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
  case WM_CREATE:
    CreateControls();
    FormCreate();
    return 0;
  case WM_FORMSHOW:
    FormShow();
    return 0;
  case WM_ERASEBKGND: {
    HDC dc = reinterpret_cast<HDC>(wp);
    RECT all;
    GetClientRect(FWnd, &all);
    FillRect(dc, &all, GetSysColorBrush(COLOR_BTNFACE));
    RECT panel{0, kBannerH, kPanelW, kClientH};
    SetBrushOrgEx(dc, 0, 0, nullptr);
    FillRect(dc, &panel, FPanelBrush);
    return 1;
  }
  case WM_CTLCOLORSTATIC: {
    HDC dc = reinterpret_cast<HDC>(wp);
    HWND c = reinterpret_cast<HWND>(lp);
    if (c == edVersionNumber) {
      SetBkColor(dc, GetSysColor(COLOR_INFOBK));
      SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
      return reinterpret_cast<LRESULT>(FInfoBrush);
    }
    if (c == Image12 || c == ImagePC || c == Image1) break;
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, FWnd, reinterpret_cast<POINT*>(&r), 2);
    SetBkMode(dc, TRANSPARENT);
    SetBrushOrgEx(dc, -r.left, -r.top, nullptr);
    return reinterpret_cast<LRESULT>(FPanelBrush);
  }
  case WM_CTLCOLORLISTBOX:
    if (reinterpret_cast<HWND>(lp) == LogList) {
      SetBkColor(reinterpret_cast<HDC>(wp), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<LRESULT>(FFaceBrush);
    }
    break;
  case WM_DRAWITEM: {
    const auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
    if (d->CtlID == IDC_BTNINSTALL) {
      DrawInstallButton(*d);
      return TRUE;
    }
    break;
  }
  case WM_SETCURSOR:
    if (FBusy) {
      SetCursor(LoadCursorW(nullptr, IDC_WAIT));
      return TRUE;
    }
    break;
  case WM_COMMAND:
    if (HIWORD(wp) == BN_CLICKED) {
      switch (LOWORD(wp)) {
      case IDC_CHCARDIOGRAPH: chCardiographClick(); return 0;
      case IDC_BTNSELECTPATH: BtnSelectPathClick(); return 0;
      case IDC_BTNINSTALL: BtnInstallClick(); return 0;
      case IDC_BTNCANCEL: BtnCancelClick(); return 0;
      }
    }
    break;
  case WM_CLOSE: {
    bool canClose = true;
    FormCloseQuery(canClose);
    if (canClose) DestroyWindow(FWnd);
    return 0;
  }
  case WM_DESTROY:
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(FWnd, msg, wp, lp);
}

// ---------------------------------------------------------------------------
// The window side of the install run

// Under Wine every change of a visible list box with scroll bars is drawn at
// once (about 5 ms a line, the scroll bars being redrawn each time), and one
// repaint of the list costs 7 to 30 ms, which would make a run with
// thousands of file lines several times slower than its copying.  So the
// list's redraw is off while lines come in, and the list is repainted,
// scrolled to its last line, when kFlushMs milliseconds and kFlushCostFactor
// times the last repaint's duration have passed since the last repaint
// (checked at each change and each ProcessMessages), before every message
// box and the release-notes window, and at the end of a run.  Reading the
// list (LB_GETCOUNT, LB_GETTEXT) is not affected.
void TFMain::FreezeList() {
  if (FListFrozen) return;
  SendMessageW(LogList, WM_SETREDRAW, FALSE, 0);
  FListFrozen = true;
}

bool TFMain::FlushDue() const {
  const DWORD since = GetTickCount() - FLastFlush;
  return since >= kFlushMs && since >= kFlushCostFactor * FFlushCost;
}

void TFMain::ListChanged() {
  if (FlushDue()) FlushList();
}

void TFMain::FlushList() {
  if (!FListFrozen) return;
  const DWORD start = GetTickCount();
  FListFrozen = false;
  const LRESULT count = SendMessageW(LogList, LB_GETCOUNT, 0, 0);
  if (count > 0) SendMessageW(LogList, LB_SETTOPINDEX, static_cast<WPARAM>(count - 1), 0);
  SendMessageW(LogList, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(LogList, nullptr, nullptr, RDW_ERASE | RDW_INVALIDATE | RDW_UPDATENOW);
  FLastFlush = GetTickCount();
  FFlushCost = FLastFlush - start;
}

void TFMain::AddStepLine(const std::wstring& text) {
  FreezeList();
  LRESULT i = SendMessageW(LogList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  FOpenLine = i >= 0 ? static_cast<int>(i) : -1;
  FOpenText = text;
  ListChanged();
}

void TFMain::MarkStep(bool ok) {
  if (FOpenLine < 0) return;
  // The open line's text as it was added (the list only grows during a run,
  // so the line is still the one at FOpenLine).
  const std::wstring line = FOpenText + (ok ? L"Завершено" : L"ОШИБКА!!!");
  FreezeList();
  SendMessageW(LogList, LB_DELETESTRING, static_cast<WPARAM>(FOpenLine), 0);
  SendMessageW(LogList, LB_INSERTSTRING, static_cast<WPARAM>(FOpenLine), reinterpret_cast<LPARAM>(line.c_str()));
  ListChanged();
}

void TFMain::AddInfoLine(const std::wstring& text) {
  FreezeList();
  SendMessageW(LogList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  ListChanged();
}

void TFMain::ProcessMessages() {
  if (FListFrozen && FlushDue()) FlushList();
  // Under Wine every look into the queue is a round trip to the wine server;
  // during a run's bursts of lines (a file-list entry every millisecond or
  // so) the queue is looked into at most every kPumpMs milliseconds.
  const DWORD now = GetTickCount();
  if (FBusy && now - FLastPump < kPumpMs) return;
  FLastPump = now;
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    if (m.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(m.wParam));
      return;
    }
    if (!IsDialogMessageW(FWnd, &m)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
}

void TFMain::ShowProgress() { FlushList(); }

bool TFMain::ShowBox(installer::TBoxKind kind, const std::wstring& text) {
  FlushList();  // the list as it stands is seen behind the box
  switch (kind) {
  case installer::TBoxKind::Plain:
    MessageBoxW(FWnd, text.c_str(), FApp.Title().c_str(), MB_OK);
    return true;
  case installer::TBoxKind::Error:
    MessageBoxW(FWnd, text.c_str(), L"Ошибка", MB_OK | MB_ICONERROR);
    return true;
  case installer::TBoxKind::Warning:
    MessageBoxW(FWnd, text.c_str(), L"Предупреждение", MB_OK | MB_ICONWARNING);
    return true;
  case installer::TBoxKind::Confirm:
    return MessageBoxW(FWnd, text.c_str(), L"Подтверждение", MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  return false;
}

bool TFMain::InstallDriverChecked() { return SendMessageW(chInstDriver, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool TFMain::CardiographChecked() { return SendMessageW(chCardiograph, BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool TFMain::RmisIntegrationChecked() {
  return SendMessageW(cbRMISIntegration, BM_GETCHECK, 0, 0) == BST_CHECKED;
}
