// Helpers of the file-operation tests: a private temporary folder per test,
// writing and reading files, setting times, making folder links.
#pragma once

#include "common/DateTime.h"
#include "common/Handles.h"

#include <gtest/gtest.h>

#include <string>
#include "TestTree.h"
#include "TestFiles.h"

namespace files_test {

void MakeDirs(const std::wstring& path);
using testsupport::WriteBytes;
using testsupport::ReadBytes;  // "<missing>" when it cannot be opened
using testsupport::Exists;
// Write time (UTC) of a file or folder; sets creation time too, as far as the
// file system keeps one.
void SetTimes(const std::wstring& path, const FILETIME& utc);
FILETIME WriteTimeOf(const std::wstring& path);
// The same instant as a local date-time, the way the helpers report it.
TDateTime LocalOf(const FILETIME& utc);
FILETIME FileTimeOf(int year, int month, int day, int hour, int minute, int second);
using testsupport::RemoveTree;  // test clean-up: links removed, never followed

// Makes linkPath a link to the folder target.  Under Wine a Unix symbolic link
// (made by /bin/ln through the Z: drive); elsewhere a directory symbolic link.
// Returns false when no link can be made here.
bool MakeFolderLink(const std::wstring& target, const std::wstring& linkPath);
// Same for a file.
bool MakeFileLink(const std::wstring& target, const std::wstring& linkPath);

// Fresh folder under the temporary folder, removed after the test.
class TTempFolder : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    std::wstring Dir;  // with a trailing backslash
};

}  // namespace files_test
