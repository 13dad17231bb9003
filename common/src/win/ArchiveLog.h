// The few logger calls of the archive, process and profile helpers.
#pragma once

#include <string>

namespace archive_log {

void Debug(const std::wstring& text);       // COMMON, DEBUGLOG
void Error(const std::wstring& text);       // COMMON, ERRORLOG
void EnterStack(const std::wstring& text);  // STACKLOG "==> "
void LeaveStack(const std::wstring& text);  // STACKLOG "<== "

}  // namespace archive_log
