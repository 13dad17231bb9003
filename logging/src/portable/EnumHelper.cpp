#include "logging/EnumHelper.h"

const wchar_t* const LogTypeNames[kLogTypeCount] = {L"COMMON", L"PROTOCOL", L"STACKLOG",
                                                     L"UPGRADE", L"DBCOPY", L"HWLOG"};
const wchar_t* const LogTypeFileNames[kLogTypeCount] = {L"common.log",  L"protocol.log", L"stack.log",
                                                         L"upgrade.log", L"db_copy.log",  L"hardware.log"};
const wchar_t* const LogLevelNames[kLogLevelCount] = {L"ERROR", L"DEBUG", L"FINE"};

std::wstring LogTypeName(int logType) {
    return IsValidLogType(logType) ? LogTypeNames[logType] : L"";
}

std::wstring LogTypeFileName(int logType) {
    return IsValidLogType(logType) ? LogTypeFileNames[logType] : L"";
}

std::wstring LogLevelName(int logLevel) {
    return (logLevel >= 0 && logLevel < kLogLevelCount) ? LogLevelNames[logLevel] : L"";
}
