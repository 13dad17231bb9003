// Test entry point that runs the tests in a private copy of the program: the
// helpers work relative to the running program's folder (logs, Servers,
// Profile), so every run gets a fresh temporary folder of its own and parallel
// runs never share those folders.  The launcher copies the executable there,
// runs the copy with the same arguments and removes the folder afterwards.
// ECG_TEST_ORIGIN tells the copy where the build folder (and its helper
// programs) is.
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <gtest/gtest.h>

#include <string>
#include "TestTree.h"

namespace {

using testsupport::RemoveTree;

// The command line without the program name.
std::wstring ArgumentsPart() {
    const wchar_t* p = ::GetCommandLineW();
    if (*p == L'"') {
        ++p;
        while (*p && *p != L'"') ++p;
        if (*p) ++p;
    } else {
        while (*p && *p != L' ' && *p != L'\t') ++p;
    }
    return p;
}

int RunIsolated() {
    wchar_t temp[MAX_PATH + 1] = {};
    if (!::GetTempPathW(MAX_PATH, temp)) return 90;
    std::wstring dir;
    for (unsigned attempt = 0; attempt < 100; ++attempt) {
        dir = std::wstring(temp) + L"ecgtest_" + std::to_wstring(::GetCurrentProcessId()) + L"_" +
              std::to_wstring(::GetTickCount() + attempt) + L"\\";
        if (::CreateDirectoryW(dir.c_str(), nullptr)) break;
        dir.clear();
    }
    if (dir.empty()) return 91;
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    std::wstring copy = dir + self.substr(self.find_last_of(L'\\') + 1);
    if (!::CopyFileW(self.c_str(), copy.c_str(), FALSE)) { RemoveTree(dir); return 92; }

    ::SetEnvironmentVariableW(L"ECG_ISOLATED_RUN", L"1");
    ::SetEnvironmentVariableW(L"ECG_TEST_ORIGIN", ExeFolder().c_str());
    std::wstring cmd = L"\"" + copy + L"\"" + ArgumentsPart();
    STARTUPINFOW si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    DWORD code = 93;
    if (::CreateProcessW(copy.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi)) {
        TKernelHandle process(pi.hProcess), thread(pi.hThread);
        ::WaitForSingleObject(pi.hProcess, INFINITE);
        ::GetExitCodeProcess(pi.hProcess, &code);
    }
    RemoveTree(dir);
    return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    wchar_t flag[4] = {};
    if (!::GetEnvironmentVariableW(L"ECG_ISOLATED_RUN", flag, 4)) return RunIsolated();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
