// Version of the running program (from its own version resource) and the age
// of the operating system.
#include "common/VersionHelper.h"

#include "common/Handles.h"
#include "common/Win32.h"

#include <vector>

namespace {

std::wstring ExePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L"";
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        if (path.size() >= 32768) return L"";
        path.resize(path.size() * 2);
    }
}

// Most significant file-version word of the running executable; 0 without a
// version resource.
DWORD FileVersionMS() {
    const std::wstring exe = ExePath();
    if (exe.empty()) return 0;
    DWORD dummy = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &dummy);
    if (size == 0) return 0;
    std::vector<BYTE> data(size);
    if (!::GetFileVersionInfoW(exe.c_str(), 0, size, data.data())) return 0;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (!::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &len) || !info ||
        len < sizeof(VS_FIXEDFILEINFO))
        return 0;
    return info->dwFileVersionMS;
}

// Last-write date of the running executable in the process's short date format.
std::wstring ExeDate() {
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    const std::wstring exe = ExePath();
    if (exe.empty() || !::GetFileAttributesExW(exe.c_str(), GetFileExInfoStandard, &fa)) return L"";
    FILETIME local{};
    SYSTEMTIME st{};
    if (!::FileTimeToLocalFileTime(&fa.ftLastWriteTime, &local) || !::FileTimeToSystemTime(&local, &st)) return L"";
    wchar_t buf[128] = {};
    int n = ::GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, 128);
    return n > 1 ? std::wstring(buf, static_cast<size_t>(n - 1)) : std::wstring();
}

}  // namespace

int32_t TVersionHelper::GetMajorVersion() { return static_cast<int32_t>(HIWORD(FileVersionMS())); }

int32_t TVersionHelper::GetMinorVersion() { return static_cast<int32_t>(LOWORD(FileVersionMS())); }

std::wstring TVersionHelper::GetVersionString() {
    return std::to_wstring(GetMajorVersion()) + L"." + std::to_wstring(GetMinorVersion()) + L" от " + ExeDate();
}

bool TVersionHelper::isWindows7OrLater() {
    // The system's own figures: GetVersionEx answers according to the
    // program's manifest, not the system.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW vi{};
    vi.dwOSVersionInfoSize = sizeof(vi);
    bool known = false;
    if (HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll")) {
        auto fn = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")));
        known = fn && fn(&vi) == 0;
    }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    if (!known) known = ::GetVersionExW(&vi) != 0;
#pragma GCC diagnostic pop
    return known && vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion > 5;
}
