// Used while the build has no logging library: appends the lines in the
// logger's own format ("yyyy-mm-dd hh:nn:ss.zzz - LEVEL - text", ANSI, CR LF)
// to logs\common.log and logs\stack.log beside the program.
#include "../ArchiveLog.h"

#include "common/Handles.h"
#include "common/Win32Error.h"

#include <cstdio>
#include <mutex>

namespace archive_log {
namespace {

std::mutex gWriteLock;

void Append(const wchar_t* file, const char* level, const std::wstring& text) {
    SYSTEMTIME t{};
    ::GetLocalTime(&t);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    std::string line = std::string(stamp) + " - " + level + " - " + WideToAnsi(text) + "\r\n";
    std::lock_guard<std::mutex> guard(gWriteLock);
    const std::wstring dir = ExeFolder() + L"logs";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    TFileHandle h(::CreateFileW((dir + L"\\" + file).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) return;  // logging never fails the caller
    DWORD put = 0;
    ::WriteFile(h.get(), line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
}

}  // namespace

void Debug(const std::wstring& text) { Append(L"common.log", "DEBUG", text); }
void Error(const std::wstring& text) { Append(L"common.log", "ERROR", text); }
void EnterStack(const std::wstring& text) { Append(L"stack.log", "DEBUG", L"==> " + text); }
void LeaveStack(const std::wstring& text) { Append(L"stack.log", "DEBUG", L"<== " + text); }

}  // namespace archive_log
