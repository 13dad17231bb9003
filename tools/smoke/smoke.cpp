// Prints what the platform tells a freshly built program: locale, code page,
// Windows folder and the program's own folder.  Used by the set-up check.
#include "common/Win32.h"
#include "common/Win32Error.h"

#include <cstdio>

int wmain() {
    wchar_t locale[LOCALE_NAME_MAX_LENGTH] = {};
    ::GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SNAME, locale, LOCALE_NAME_MAX_LENGTH);
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::printf("locale: %ls\nANSI code page: %u\nWindows folder: %ls\nprogram folder: %ls\n",
                locale, ::GetACP(), windows, ExeFolder().c_str());
    return 0;
}
