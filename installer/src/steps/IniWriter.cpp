#include "IniWriter.h"

#include "portable/StepRules.h"

#include "common/Errors.h"
#include "common/Win32Error.h"

namespace installer {

TIniWriter::~TIniWriter() {
    // Flushes the platform's profile cache for this file.
    ::WritePrivateProfileStringW(nullptr, nullptr, nullptr, FFileName.c_str());
}

void TIniWriter::WriteString(const std::wstring& Section, const std::wstring& Key, const std::wstring& Value) {
    if (!::WritePrivateProfileStringW(Section.c_str(), Key.c_str(), Value.c_str(), FFileName.c_str())) {
        const DWORD code = ::GetLastError();
        throw EFrameworkError(L"Не удается записать ключ " + Key + L" в раздел [" + Section + L"] файла " +
                              FFileName + L": " + SysErrorMessage(code));
    }
}

void TIniWriter::WriteInteger(const std::wstring& Section, const std::wstring& Key, int Value) {
    WriteString(Section, Key, std::to_wstring(Value));
}

void TIniWriter::WriteBool(const std::wstring& Section, const std::wstring& Key, bool Value) {
    WriteString(Section, Key, Value ? L"1" : L"0");
}

void TIniWriter::WriteFloat(const std::wstring& Section, const std::wstring& Key, double Value) {
    WriteString(Section, Key, rules::FloatText(Value, RegionalDecimalSeparator()));
}

void TIniWriter::WriteDateTime(const std::wstring& Section, const std::wstring& Key, const SYSTEMTIME& Value) {
    WriteString(Section, Key, RegionalDateTimeText(Value));
}

std::wstring RegionalDecimalSeparator() {
    wchar_t buf[8] = {};
    if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) <= 1) return L".";
    return buf;
}

std::wstring RegionalDateTimeText(const SYSTEMTIME& Value) {
    wchar_t date[128] = {}, time[128] = {};
    if (!::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &Value, nullptr, date, 128)) date[0] = L'\0';
    std::wstring text = date;
    if (Value.wHour == 0 && Value.wMinute == 0 && Value.wSecond == 0 && Value.wMilliseconds == 0) return text;
    if (!::GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &Value, nullptr, time, 128)) time[0] = L'\0';
    return text + L" " + time;
}

}  // namespace installer
