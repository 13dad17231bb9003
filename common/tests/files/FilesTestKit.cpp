#include "FilesTestKit.h"

#include "common/Win32Error.h"

namespace files_test {

void MakeDirs(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\') ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

void SetTimes(const std::wstring& path, const FILETIME& utc) {
    TFileHandle h(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ASSERT_TRUE(h) << "open for times: " << SysErrorMessage(::GetLastError());
    ASSERT_TRUE(::SetFileTime(h.get(), &utc, nullptr, &utc));
}

FILETIME WriteTimeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a);
    return a.ftLastWriteTime;
}

TDateTime LocalOf(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME st{};
    ::FileTimeToLocalFileTime(&utc, &local);
    ::FileTimeToSystemTime(&local, &st);
    TDateTimeParts p;
    p.Year = st.wYear;
    p.Month = st.wMonth;
    p.Day = st.wDay;
    p.Hour = st.wHour;
    p.Minute = st.wMinute;
    p.Second = st.wSecond;
    p.Millisecond = st.wMilliseconds;
    return EncodeDateTime(p);
}

FILETIME FileTimeOf(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(year);
    st.wMonth = static_cast<WORD>(month);
    st.wDay = static_cast<WORD>(day);
    st.wHour = static_cast<WORD>(hour);
    st.wMinute = static_cast<WORD>(minute);
    st.wSecond = static_cast<WORD>(second);
    FILETIME ft{};
    ::SystemTimeToFileTime(&st, &ft);
    return ft;
}

namespace {

using UnixNameFn = char*(CDECL*)(LPCWSTR);

UnixNameFn WineUnixName() {
    HMODULE k = ::GetModuleHandleW(L"kernel32.dll");
    return k ? reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(::GetProcAddress(k, "wine_get_unix_file_name")))
             : nullptr;
}

bool UnixLink(const std::wstring& target, const std::wstring& linkPath) {
    UnixNameFn unixName = WineUnixName();
    if (!unixName) return false;
    char* t = unixName(target.c_str());
    char* l = unixName(linkPath.c_str());
    if (!t || !l) return false;
    std::wstring cmd = L"/bin/ln -s \"" + AnsiToWide(t, CP_UTF8) + L"\" \"" + AnsiToWide(l, CP_UTF8) + L"\"";
    ::HeapFree(::GetProcessHeap(), 0, t);
    ::HeapFree(::GetProcessHeap(), 0, l);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(L"Z:\\bin\\ln", cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return false;
    TKernelHandle process(pi.hProcess), thread(pi.hThread);
    ::WaitForSingleObject(process.get(), 10000);
    // The link is there once the search reports it.
    for (int i = 0; i < 100; ++i) {
        if (::GetFileAttributesW(linkPath.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        ::Sleep(20);
    }
    return false;
}

// CreateSymbolicLinkW, looked up at run time (not in every target's headers).
bool SymbolicLink(const std::wstring& target, const std::wstring& linkPath, DWORD flags) {
    using Fn = BOOLEAN(WINAPI*)(LPCWSTR, LPCWSTR, DWORD);
    HMODULE k = ::GetModuleHandleW(L"kernel32.dll");
    auto fn = k ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(k, "CreateSymbolicLinkW"))) : nullptr;
    return fn && fn(linkPath.c_str(), target.c_str(), flags | 0x2 /* unprivileged */) != 0;
}

}  // namespace

bool MakeFolderLink(const std::wstring& target, const std::wstring& linkPath) {
    if (WineUnixName()) return UnixLink(target, linkPath);
    return SymbolicLink(target, linkPath, 0x1 /* directory */);
}

bool MakeFileLink(const std::wstring& target, const std::wstring& linkPath) {
    if (WineUnixName()) return UnixLink(target, linkPath);
    return SymbolicLink(target, linkPath, 0);
}

void TTempFolder::SetUp() {
    wchar_t temp[MAX_PATH + 1] = {};
    ASSERT_NE(::GetTempPathW(MAX_PATH, temp), 0u);
    for (unsigned attempt = 0; attempt < 1000; ++attempt) {
        std::wstring d = std::wstring(temp) + L"ecgfiles_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
                         std::to_wstring(attempt);
        if (::CreateDirectoryW(d.c_str(), nullptr)) {
            Dir = d + L"\\";
            return;
        }
    }
    FAIL() << "no temporary folder";
}

void TTempFolder::TearDown() {
    if (!Dir.empty()) RemoveTree(Dir);
}

}  // namespace files_test
