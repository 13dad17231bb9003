#include "TestTree.h"

#include "common/Handles.h"

namespace testsupport {

void RemoveTree(const std::wstring& dir) {
    std::wstring d = dir;
    while (!d.empty() && d.back() == L'\\') d.pop_back();
    if (d.empty()) return;
    WIN32_FIND_DATAW fd;
    TFindHandle h(::FindFirstFileW((d + L"\\*").c_str(), &fd));
    if (h) {
        do {
            const std::wstring n = fd.cFileName;
            if (n == L"." || n == L"..") continue;
            const std::wstring full = d + L"\\" + n;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!::RemoveDirectoryW(full.c_str())) ::DeleteFileW(full.c_str());
                continue;
            }
            ::SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else ::DeleteFileW(full.c_str());
        } while (::FindNextFileW(h.get(), &fd));
    }
    h.reset();
    ::SetFileAttributesW(d.c_str(), FILE_ATTRIBUTE_NORMAL);
    ::RemoveDirectoryW(d.c_str());
}

}  // namespace testsupport
