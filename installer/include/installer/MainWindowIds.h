// Control identifiers and resource names of Install.exe's windows.
#pragma once

// Resources (installer/res/Install.rc).
#define IDS_COMPLEX_NAME 1
#define IDB_BANNER_STD 201
#define IDB_BANNER_PC 202

// Main window TFMain.
#define IDC_IMAGE12 1001
#define IDC_IMAGEPC 1002
#define IDC_IMAGE1 1003
#define IDC_RICHEDIT1 1004
#define IDC_LABEL_PATH 1010
#define IDC_EPATH 1011
#define IDC_BTNSELECTPATH 1012
#define IDC_LABEL_VERSION 1013
#define IDC_EDVERSIONNUMBER 1014
#define IDC_CHINSTDRIVER 1015
#define IDC_CHCARDIOGRAPH 1016
#define IDC_CBRMISINTEGRATION 1017
#define IDC_BTNINSTALL 1018
#define IDC_BTNCANCEL 1019
#define IDC_LOGLIST 1020

// Release-notes window TReadmeForm (the buttons carry the dialog ids, so that
// Enter and Esc reach them).
#define IDC_README_BROWSER 1101
#define IDC_README_TEXT 1102
#define IDC_BTNCONTINUE 1   /* IDOK */
#define IDC_README_BTNCANCEL 2  /* IDCANCEL */
