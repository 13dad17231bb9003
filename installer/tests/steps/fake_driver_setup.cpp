// Stand-in for the driver setup program in the step tests: waits a little
// (so that a caller that does not wait would miss the trace), then appends a
// line to "setup_ran.txt" next to itself and ends.
#include "common/Win32.h"

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
    ::Sleep(700);
    wchar_t self[MAX_PATH + 1] = {};
    DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    path = path.substr(0, path.find_last_of(L'\\') + 1) + L"setup_ran.txt";
    HANDLE h = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        ::WriteFile(h, "ran\r\n", 5, &written, nullptr);
        ::CloseHandle(h);
    }
    return 0;
}
