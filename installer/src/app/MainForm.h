// The installer's main window: target folder, options, the install run and
// its progress list.
#pragma once

#include <windows.h>

#include <string>

#include "installer/InstallRun.h"

class TReadmeForm;

// The hidden application window that carries the task-bar button and the
// application title.
class TApplicationWindow {
public:
  bool Create(HINSTANCE inst);
  void SetTitle(const std::wstring& editionLabel);
  std::wstring Title() const;
  HWND Handle() const { return FWnd; }
  // The main window that the task-bar button's Close asks to close.
  void SetMainWindow(HWND main) { FMainWnd = main; }

private:
  static LRESULT CALLBACK WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
  HWND FWnd = nullptr;
  HWND FMainWnd = nullptr;
};

class TFMain : public installer::IInstallUi {
public:
  TFMain(TApplicationWindow& app, HINSTANCE inst) : FApp(app), FInst(inst) {}
  ~TFMain() override;
  // Creates the window hidden (FormCreate); Show shows it (FormShow).
  bool Create();
  void Show();
  void SetReadmeForm(TReadmeForm* f) { FReadme = f; }
  HWND Handle() const { return FWnd; }

  // IInstallUi
  void AddStepLine(const std::wstring& text) override;
  void MarkStep(bool ok) override;
  void AddInfoLine(const std::wstring& text) override;
  void ProcessMessages() override;
  void ShowProgress() override;
  bool ShowBox(installer::TBoxKind kind, const std::wstring& text) override;
  bool InstallDriverChecked() override;
  bool CardiographChecked() override;
  bool RmisIntegrationChecked() override;

  bool FCanClose = true;
  std::wstring AppStr;
  std::wstring ComplexNameStr;
  // The program launcher of the window; the driver setup runs through it.
  installer::TProgramLauncher _run;

private:
  static LRESULT CALLBACK WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  void CreateControls();
  void FormCreate();
  void FormShow();
  void chCardiographClick();
  void BtnSelectPathClick();
  void BtnInstallClick();
  void BtnCancelClick();
  void FormCloseQuery(bool& CanClose);
  void SetBusy(bool busy);
  void InstallRun();
  int VersionNumberValue() const;
  void DrawInstallButton(const DRAWITEMSTRUCT& d);
  // Progress-list repaints come in batches (see MainForm.cpp).
  void FreezeList();   // before a change of LogList
  void ListChanged();  // after it
  bool FlushDue() const;
  void FlushList();
  void PlaceBanner(HWND image, HBITMAP source);

  TApplicationWindow& FApp;
  HINSTANCE FInst;
  TReadmeForm* FReadme = nullptr;
  HWND FWnd = nullptr;
  HWND Image12 = nullptr, ImagePC = nullptr, Image1 = nullptr, RichEdit1 = nullptr;
  HWND ePath = nullptr, BtnSelectPath = nullptr, edVersionNumber = nullptr;
  HWND chInstDriver = nullptr, chCardiograph = nullptr, cbRMISIntegration = nullptr;
  HWND BtnInstall = nullptr, BtnCancel = nullptr, LogList = nullptr;
  HFONT FFont = nullptr, FTahoma = nullptr, FTahomaBold = nullptr, FInstallFont = nullptr;
  HBRUSH FPanelBrush = nullptr, FInfoBrush = nullptr, FFaceBrush = nullptr;
  HBITMAP FLogo = nullptr, FBanner12 = nullptr, FBannerPC = nullptr;
  int FVersion = 0;
  int FOpenLine = -1;
  std::wstring FOpenText;     // text of the open step line
  bool FListFrozen = false;   // LogList's redraw is off, changes are pending
  DWORD FLastFlush = 0;       // tick count of the last repaint
  DWORD FFlushCost = 0;       // milliseconds the last repaint took
  DWORD FLastPump = 0;        // tick count of the last ProcessMessages pass
  bool FBusy = false;
};
