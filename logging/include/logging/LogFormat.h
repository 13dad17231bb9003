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

// The same in 8-bit form, for the writer: the 23 characters of the stamp
// "yyyy-mm-dd hh:nn:ss.zzz" into out[0..22], the milliseconds alone into
// out[20..22], and the head of a line (stamp, " - ", level, " - ").
constexpr int kLogStampLength = 23;
void FormatLogStamp(const TLogStamp& stamp, char* out);
void FormatLogMilliseconds(unsigned millisecond, char* out);
void AppendLogHead(std::string& out, const char* stamp, int logLevel);
// The level text in 8-bit form; "" outside the table.
const char* LogLevelText8(int logLevel);

// Rotation: the stem is the file path without its last four characters
// (".log"); generation n is stem + "_" + n + ".log".
constexpr int kLogGenerations = 7;
std::wstring LogStem(const std::wstring& baseFile);
std::wstring LogGenerationName(const std::wstring& baseFile, int generation);
