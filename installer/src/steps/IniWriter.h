// Writer of ecg.ini on the Windows profile functions: every write goes to
// the file at once; values are stored as the complex reads them.
#pragma once

#include "common/Win32.h"

#include <string>

namespace installer {

class TIniWriter {
public:
    explicit TIniWriter(std::wstring FileName) : FFileName(std::move(FileName)) {}
    ~TIniWriter();  // lets the profile cache write the file out
    TIniWriter(const TIniWriter&) = delete;
    TIniWriter& operator=(const TIniWriter&) = delete;

    const std::wstring& FileName() const noexcept { return FFileName; }

    // Each raises EFrameworkError when the platform refuses the write.
    void WriteString(const std::wstring& Section, const std::wstring& Key, const std::wstring& Value);
    void WriteInteger(const std::wstring& Section, const std::wstring& Key, int Value);
    void WriteBool(const std::wstring& Section, const std::wstring& Key, bool Value);
    void WriteFloat(const std::wstring& Section, const std::wstring& Key, double Value);
    void WriteDateTime(const std::wstring& Section, const std::wstring& Key, const SYSTEMTIME& Value);

private:
    std::wstring FFileName;
};

// Texts under the user's regional settings.
// The decimal separator of the user's locale.
std::wstring RegionalDecimalSeparator();
// Short date, a blank and the long time; the date alone at exactly midnight.
std::wstring RegionalDateTimeText(const SYSTEMTIME& Value);

}  // namespace installer
