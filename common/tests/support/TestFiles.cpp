#include "TestFiles.h"

#include "common/Handles.h"

#include <gtest/gtest.h>

namespace testsupport {

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    for (size_t i = path.find(L'\\', 3); i != std::wstring::npos; i = path.find(L'\\', i + 1))
        ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
    ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) {
        ADD_FAILURE() << "cannot create a test file, error " << ::GetLastError();
        return;
    }
    DWORD put = 0;
    if (!::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr) || put != bytes.size())
        ADD_FAILURE() << "cannot write a test file, error " << ::GetLastError();
}

std::string ReadBytes(const std::wstring& path) {
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr));
    if (!h) return "<missing>";
    std::string out;
    std::string buf(65536, '\0');
    DWORD got = 0;
    while (::ReadFile(h.get(), buf.data(), static_cast<DWORD>(buf.size()), &got, nullptr) && got > 0)
        out.append(buf, 0, got);
    return out;
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Ansi(const std::wstring& text) {
    const int n =
        ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string out(static_cast<size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

}  // namespace testsupport
