// Logger calls of the helpers through the process-wide logger.
#include "../ArchiveLog.h"

#include "logging/QorLogger.h"

namespace archive_log {

void Debug(const std::wstring& text) { TQorLogger::Create()->LogString(COMMON, DEBUGLOG, text); }
void Error(const std::wstring& text) { TQorLogger::Create()->LogString(COMMON, ERRORLOG, text); }
void EnterStack(const std::wstring& text) { TQorLogger::Create()->EnterStack(text); }
void LeaveStack(const std::wstring& text) { TQorLogger::Create()->LeaveStack(text); }

}  // namespace archive_log
