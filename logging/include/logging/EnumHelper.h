// Log types and log levels with which every framework unit logs, and their
// process-wide name tables.
#pragma once

#include <string>

// One log file per type; LOGTYPESIZE is the number of types, never a type.
enum TLogTypeEnum : int {
    COMMON = 0,
    PROTOCOL = 1,
    STACKLOG = 2,
    UPGRADE = 3,
    DBCOPY = 4,
    HWLOG = 5,
    LOGTYPESIZE = 6
};

enum TLogLevelEnum : int {
    ERRORLOG = 0,
    DEBUGLOG = 1,
    FINELOG = 2
};

constexpr int kLogTypeCount = static_cast<int>(LOGTYPESIZE);
constexpr int kLogLevelCount = 3;

// Name tables: enumeration names, log file names, level texts.
extern const wchar_t* const LogTypeNames[kLogTypeCount];     // "COMMON", ...
extern const wchar_t* const LogTypeFileNames[kLogTypeCount]; // "common.log", ...
extern const wchar_t* const LogLevelNames[kLogLevelCount];   // "ERROR", "DEBUG", "FINE"

// Table look-ups; a value outside its table gives the empty text.
std::wstring LogTypeName(int logType);
std::wstring LogTypeFileName(int logType);
std::wstring LogLevelName(int logLevel);

inline bool IsValidLogType(int logType) noexcept { return logType >= 0 && logType < kLogTypeCount; }
