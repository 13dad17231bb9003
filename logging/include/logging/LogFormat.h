// Line format and rotation names of the log files (no platform calls).
#pragma once

#include <cstdint>
#include <string>

struct TLogStamp {
    std::uint16_t Year = 0, Month = 0, Day = 0;
    std::uint16_t Hour = 0, Minute = 0, Second = 0, Millisecond = 0;
};

// Appends "yyyy-mm-dd hh:nn:ss.zzz - LEVEL - text" (no line end) to out.
// A level outside the table gives an empty level text.
void AppendLogLine(std::wstring& out, const TLogStamp& stamp, int logLevel, const std::wstring& text);
std::wstring FormatLogLine(const TLogStamp& stamp, int logLevel, const std::wstring& text);

// Rotation: the stem is the file path without its last four characters
// (".log"); generation n is stem + "_" + n + ".log".
constexpr int kLogGenerations = 7;
std::wstring LogStem(const std::wstring& baseFile);
std::wstring LogGenerationName(const std::wstring& baseFile, int generation);
