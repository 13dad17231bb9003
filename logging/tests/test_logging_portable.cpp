// Log enumerations, line format and rotation names.
#include "logging/EnumHelper.h"
#include "logging/LogFormat.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(LogEnums, ValuesAndTables) {
    EXPECT_EQ(0, COMMON);
    EXPECT_EQ(5, HWLOG);
    EXPECT_EQ(6, LOGTYPESIZE);
    const wchar_t* files[] = {L"common.log", L"protocol.log", L"stack.log",
                              L"upgrade.log", L"db_copy.log", L"hardware.log"};
    const wchar_t* names[] = {L"COMMON", L"PROTOCOL", L"STACKLOG", L"UPGRADE", L"DBCOPY", L"HWLOG"};
    for (int t = 0; t < 6; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(files[t], LogTypeFileName(t));
        EXPECT_EQ(names[t], LogTypeName(t));
    }
    EXPECT_EQ(L"ERROR", LogLevelName(ERRORLOG));
    EXPECT_EQ(L"DEBUG", LogLevelName(DEBUGLOG));
    EXPECT_EQ(L"FINE", LogLevelName(FINELOG));
}

TEST(LogEnums, LookupBeyondTheTableIsEmpty) {
    for (int v : {-1, 6, 7, 1000, -2147483647 - 1}) {
        SCOPED_TRACE(v);
        EXPECT_EQ(L"", LogTypeFileName(v));
        EXPECT_EQ(L"", LogTypeName(v));
        EXPECT_FALSE(IsValidLogType(v));
    }
    EXPECT_EQ(L"", LogLevelName(3));
    EXPECT_EQ(L"", LogLevelName(-1));
}

TEST(LogFormat, ExactLine) {
    TLogStamp s;
    s.Year = 2026; s.Month = 3; s.Day = 7; s.Hour = 9; s.Minute = 5; s.Second = 4; s.Millisecond = 7;
    EXPECT_EQ(L"2026-03-07 09:05:04.007 - DEBUG - ==> TFileSystemHelper.FileCopy FileSystemHelper",
              FormatLogLine(s, DEBUGLOG, L"==> TFileSystemHelper.FileCopy FileSystemHelper"));
    s.Year = 999; s.Month = 12; s.Day = 31; s.Hour = 23; s.Minute = 59; s.Second = 59; s.Millisecond = 999;
    EXPECT_EQ(L"0999-12-31 23:59:59.999 - ERROR - x", FormatLogLine(s, ERRORLOG, L"x"));
}

TEST(LogFormat, LevelOutsideTableGivesEmptyLevelText) {
    TLogStamp s;
    s.Year = 2026; s.Month = 1; s.Day = 1;
    EXPECT_EQ(L"2026-01-01 00:00:00.000 -  - t", FormatLogLine(s, 3, L"t"));
    EXPECT_EQ(L"2026-01-01 00:00:00.000 -  - t", FormatLogLine(s, -1, L"t"));
}

TEST(LogFormat, AppendKeepsWhatIsThere) {
    TLogStamp s;
    s.Year = 2026; s.Month = 1; s.Day = 2;
    std::wstring out = L"A\r\n";
    AppendLogLine(out, s, FINELOG, L"");
    EXPECT_EQ(L"A\r\n2026-01-02 00:00:00.000 - FINE - ", out);
}

TEST(LogRotation, GenerationNames) {
    EXPECT_EQ(L"C:\\p\\logs\\common", LogStem(L"C:\\p\\logs\\common.log"));
    EXPECT_EQ(L"C:\\p\\logs\\common_1.log", LogGenerationName(L"C:\\p\\logs\\common.log", 1));
    EXPECT_EQ(L"C:\\p\\logs\\db_copy_7.log", LogGenerationName(L"C:\\p\\logs\\db_copy.log", 7));
    EXPECT_EQ(L"_1.log", LogGenerationName(L"ab", 1));  // shorter than ".log": no stem
    EXPECT_EQ(7, kLogGenerations);
}

TEST(LogFormat, EightBitStampAndHeadMatchTheWideLine) {
    TLogStamp s;
    s.Year = 2026; s.Month = 12; s.Day = 9; s.Hour = 17; s.Minute = 3; s.Second = 16; s.Millisecond = 40;
    char stamp[kLogStampLength + 1] = {};
    FormatLogStamp(s, stamp);
    EXPECT_STREQ("2026-12-09 17:03:16.040", stamp);
    FormatLogMilliseconds(999, stamp);
    EXPECT_STREQ("2026-12-09 17:03:16.999", stamp);
    FormatLogMilliseconds(5, stamp);
    EXPECT_STREQ("2026-12-09 17:03:16.005", stamp);
    for (int level : {-1, 0, 1, 2, 3}) {
        SCOPED_TRACE(level);
        std::string head;
        FormatLogStamp(s, stamp);
        AppendLogHead(head, stamp, level);
        const std::wstring wide = FormatLogLine(s, level, L"");
        EXPECT_EQ(std::string(wide.begin(), wide.end()), head);
        EXPECT_EQ(LogLevelName(level), std::wstring(LogLevelText8(level), LogLevelText8(level) + std::strlen(LogLevelText8(level))));
    }
}
