// Prints what the platform tells a freshly built program: locale, code page,
// Windows folder and the program's own folder.  Used by the set-up check.
#include "common/Win32.h"
#include "common/Win32Error.h"

#include <cstdio>

int wmain() {
    wchar_t lang[16] = {}, country[16] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO639LANGNAME, lang, 16);
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SISO3166CTRYNAME, country, 16);
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::printf("locale: %ls-%ls\nANSI code page: %u\nWindows folder: %ls\nprogram folder: %ls\n",
                lang, country, ::GetACP(), windows, ExeFolder().c_str());
    return 0;
}
