// The process's decimal separator: the user's locale, read once.
#include "config/ConfigText.h"

#include "common/Win32.h"

wchar_t ProcessDecimalSeparator() {
    static const wchar_t separator = [] {
        wchar_t buf[8] = {};
        if (::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, buf, 8) > 1 && buf[0]) return buf[0];
        return L'.';
    }();
    return separator;
}
