// The release-notes window: the distribution's readme.htm in the platform's
// web-browser control, or its text in a read-only edit where the control
// cannot show it; "Продолжить" continues the install run, "Отмена" ends it.
#pragma once

#include <windows.h>

#include <string>

class TReadmeForm {
public:
  // Creates the window hidden (FormCreate): loads the page once.
  bool Create(HINSTANCE inst);
  ~TReadmeForm();

  // Shows the window modally over owner; IDOK for "Продолжить", IDCANCEL for
  // "Отмена", Esc or the title-bar close button.
  int ShowModal(HWND owner);

  HWND Handle() const { return FWnd; }
  const std::wstring& readmeFN() const { return FReadmeFN; }
  void setReadmeFN(const std::wstring& url);

private:
  static LRESULT CALLBACK WndProc(HWND w, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  bool ShowInBrowser(const std::wstring& url);
  void ShowAsText();

  HWND FWnd = nullptr;
  HWND ReadmeBrowser = nullptr;  // AtlAxWin host, or the read-only edit
  HWND btnContinue = nullptr;
  HWND btnCancel = nullptr;
  HFONT FFont = nullptr;
  HFONT FBold = nullptr;
  std::wstring FReadmeFN;
  std::wstring FPagePath;
  int FModalResult = 0;
};
