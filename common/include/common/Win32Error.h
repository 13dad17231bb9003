// Small Win32 helpers shared by every unit.
#pragma once

#include "common/Win32.h"

#include <string>

// System text for a Win32 error code (GetLastError), without the final period.
std::wstring SysErrorMessage(DWORD code);
// Folder of the running executable, with a trailing backslash.
std::wstring ExeFolder();
// Conversions through a Windows code page (CP_ACP by default).
std::wstring AnsiToWide(const std::string& s, UINT codePage = CP_ACP);
std::string WideToAnsi(const std::wstring& s, UINT codePage = CP_ACP);
