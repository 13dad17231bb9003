// Version of the running program.  Built twice: with a version resource
// (1.2.3.4) and without one (0.0); ECG_EXPECT_MAJOR/MINOR say which.
#include "common/VersionHelper.h"
#include "common/Win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring ExeDateText() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    WIN32_FILE_ATTRIBUTE_DATA fa{};
    ::GetFileAttributesExW(path, GetFileExInfoStandard, &fa);
    FILETIME local{};
    SYSTEMTIME st{};
    ::FileTimeToLocalFileTime(&fa.ftLastWriteTime, &local);
    ::FileTimeToSystemTime(&local, &st);
    wchar_t buf[64] = {};
    // Written out by hand in the two locales the tests run in: the one the
    // program really runs under, whatever the test runner asked for.
    switch (PRIMARYLANGID(::GetUserDefaultLangID())) {
        case LANG_RUSSIAN: swprintf(buf, 64, L"%02u.%02u.%04u", st.wDay, st.wMonth, st.wYear); break;
        case LANG_ENGLISH: swprintf(buf, 64, L"%u/%u/%04u", st.wMonth, st.wDay, st.wYear); break;
        default: ADD_FAILURE() << "user locale " << ::GetUserDefaultLangID() << " is neither Russian nor English";
    }
    return buf;
}

}  // namespace

TEST(Version, MajorAndMinorOfTheFileVersion) {
    EXPECT_EQ(TVersionHelper::GetMajorVersion(), ECG_EXPECT_MAJOR);
    EXPECT_EQ(TVersionHelper::GetMinorVersion(), ECG_EXPECT_MINOR);
}

TEST(Version, StringIsMajorDotMinorAndTheFileDate) {
    const std::wstring expected =
        std::to_wstring(ECG_EXPECT_MAJOR) + L"." + std::to_wstring(ECG_EXPECT_MINOR) + L" от " + ExeDateText();
    EXPECT_EQ(TVersionHelper::GetVersionString(), expected);
}

TEST(Version, WineCountsAsWindows7OrLater) { EXPECT_TRUE(TVersionHelper::isWindows7OrLater()); }
