#include "logging/LogFormat.h"

#include "logging/EnumHelper.h"

namespace {

void PutDigits(wchar_t* at, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    }
}

}  // namespace

void AppendLogLine(std::wstring& out, const TLogStamp& s, int logLevel, const std::wstring& text) {
    // "yyyy-mm-dd hh:nn:ss.zzz - "
    wchar_t head[26];
    PutDigits(head, s.Year, 4);
    head[4] = L'-';
    PutDigits(head + 5, s.Month, 2);
    head[7] = L'-';
    PutDigits(head + 8, s.Day, 2);
    head[10] = L' ';
    PutDigits(head + 11, s.Hour, 2);
    head[13] = L':';
    PutDigits(head + 14, s.Minute, 2);
    head[16] = L':';
    PutDigits(head + 17, s.Second, 2);
    head[19] = L'.';
    PutDigits(head + 20, s.Millisecond, 3);
    head[23] = L' ';
    head[24] = L'-';
    head[25] = L' ';
    out.append(head, 26);
    if (logLevel >= 0 && logLevel < kLogLevelCount) out.append(LogLevelNames[logLevel]);
    out.append(L" - ", 3);
    out.append(text);
}

std::wstring FormatLogLine(const TLogStamp& stamp, int logLevel, const std::wstring& text) {
    std::wstring line;
    line.reserve(32 + text.size());
    AppendLogLine(line, stamp, logLevel, text);
    return line;
}

namespace {

void PutAsciiDigits(char* at, unsigned value, int width) {
    for (int i = width - 1; i >= 0; --i) {
        at[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

const char* const kLevelBytes[kLogLevelCount] = {"ERROR", "DEBUG", "FINE"};

}  // namespace

const char* LogLevelText8(int logLevel) {
    return (logLevel >= 0 && logLevel < kLogLevelCount) ? kLevelBytes[logLevel] : "";
}

void FormatLogStamp(const TLogStamp& s, char* out) {
    PutAsciiDigits(out, s.Year, 4);
    out[4] = '-';
    PutAsciiDigits(out + 5, s.Month, 2);
    out[7] = '-';
    PutAsciiDigits(out + 8, s.Day, 2);
    out[10] = ' ';
    PutAsciiDigits(out + 11, s.Hour, 2);
    out[13] = ':';
    PutAsciiDigits(out + 14, s.Minute, 2);
    out[16] = ':';
    PutAsciiDigits(out + 17, s.Second, 2);
    out[19] = '.';
    PutAsciiDigits(out + 20, s.Millisecond, 3);
}

void FormatLogMilliseconds(unsigned millisecond, char* out) { PutAsciiDigits(out + 20, millisecond, 3); }

void AppendLogHead(std::string& out, const char* stamp, int logLevel) {
    out.append(stamp, kLogStampLength);
    out.append(" - ", 3);
    if (logLevel >= 0 && logLevel < kLogLevelCount) out.append(kLevelBytes[logLevel]);
    out.append(" - ", 3);
}

std::wstring LogStem(const std::wstring& baseFile) {
    return baseFile.size() >= 4 ? baseFile.substr(0, baseFile.size() - 4) : std::wstring();
}

std::wstring LogGenerationName(const std::wstring& baseFile, int generation) {
    return LogStem(baseFile) + L"_" + std::to_wstring(generation) + L".log";
}
