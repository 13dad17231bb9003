// File and folder operations on real files in private temporary folders.
// Directory order is whatever the file system gives; no test relies on it.
#include "FilesTestKit.h"

#include "common/Errors.h"
#include "common/FileSystemHelper.h"
#include "common/Win32Error.h"

#include <algorithm>
#include <cmath>
#include <set>

using namespace files_test;

namespace {

constexpr double kSecond = 1.0 / 86400.0;

std::set<std::wstring> AsSet(const TStringList& l) { return {l.begin(), l.end()}; }

std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7 + (i >> 9)) & 0xFF);
    return s;
}

// First entry of a folder in the file system's own order, "." and ".." left out.
std::vector<std::wstring> Order(const std::wstring& dir) {
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    TFindHandle h(::FindFirstFileW((dir + L"*").c_str(), &fd));
    if (!h) return out;
    do {
        std::wstring n = fd.cFileName;
        if (n != L"." && n != L"..") out.push_back(n);
    } while (::FindNextFileW(h.get(), &fd));
    return out;
}

}  // namespace

// --- FileCopy ----------------------------------------------------------------

class FileCopyTest : public TTempFolder {};

TEST_F(FileCopyTest, CopiesSeveralChunksAndReplacesLongerDestination) {
    const std::string data = Pattern(2 * 1024 * 1024 + 12345, 1);  // more than one chunk, odd tail
    WriteBytes(Dir + L"src.bin", data);
    WriteBytes(Dir + L"dst.bin", Pattern(3 * 1024 * 1024, 2));  // longer: must be truncated
    EXPECT_TRUE(TFileSystemHelper::FileCopy(Dir + L"src.bin", Dir + L"dst.bin"));
    EXPECT_TRUE(ReadBytes(Dir + L"dst.bin") == data);
}

TEST_F(FileCopyTest, EmptyFileAndCyrillicNames) {
    WriteBytes(Dir + L"пусто.txt", "");
    EXPECT_TRUE(TFileSystemHelper::FileCopy(Dir + L"пусто.txt", Dir + L"копия.txt"));
    EXPECT_EQ(ReadBytes(Dir + L"копия.txt"), "");
}

TEST_F(FileCopyTest, DestinationGetsSourceTimeWithinTwoSeconds) {
    WriteBytes(Dir + L"src.txt", "abc");
    const FILETIME t = FileTimeOf(2015, 6, 11, 10, 20, 31);  // odd second: not representable exactly
    SetTimes(Dir + L"src.txt", t);
    WriteBytes(Dir + L"dst.txt", "old");
    ASSERT_TRUE(TFileSystemHelper::FileCopy(Dir + L"src.txt", Dir + L"dst.txt"));
    const double diff = std::fabs(LocalOf(WriteTimeOf(Dir + L"dst.txt")) - LocalOf(t));
    EXPECT_LE(diff, 2 * kSecond + 1e-9) << diff / kSecond << " s";
    EXPECT_EQ(ReadBytes(Dir + L"dst.txt"), "abc");
}

TEST_F(FileCopyTest, TimeBeforeThePackedRangeIsKeptAndCopySucceeds) {
    WriteBytes(Dir + L"src.txt", "old file");
    const FILETIME t = FileTimeOf(1975, 5, 6, 7, 8, 9);
    SetTimes(Dir + L"src.txt", t);
    const FILETIME kept = WriteTimeOf(Dir + L"src.txt");
    if (::CompareFileTime(&t, &kept) != 0) GTEST_SKIP() << "such a time is not kept here";
    EXPECT_TRUE(TFileSystemHelper::FileCopy(Dir + L"src.txt", Dir + L"dst.txt"));
    EXPECT_NEAR(LocalOf(WriteTimeOf(Dir + L"dst.txt")), LocalOf(t), 2 * kSecond);
    EXPECT_EQ(ReadBytes(Dir + L"dst.txt"), "old file");
}

TEST_F(FileCopyTest, MissingSourceRaisesOpenErrorAndCreatesNothing) {
    try {
        TFileSystemHelper::FileCopy(Dir + L"none.txt", Dir + L"dst.txt");
        FAIL() << "no error";
    } catch (const EFOpenError& e) {
        EXPECT_NE(e.Message().find(Dir + L"none.txt"), std::wstring::npos) << e.what();
    }
    EXPECT_FALSE(Exists(Dir + L"dst.txt"));
}

TEST_F(FileCopyTest, MissingDestinationFolderRaisesCreateError) {
    WriteBytes(Dir + L"src.txt", "abc");
    EXPECT_THROW(TFileSystemHelper::FileCopy(Dir + L"src.txt", Dir + L"no\\dst.txt"), EFCreateError);
}

TEST_F(FileCopyTest, CopyOntoItselfKeepsTheFile) {
    WriteBytes(Dir + L"same.txt", "keep me");
    EXPECT_THROW(TFileSystemHelper::FileCopy(Dir + L"same.txt", Dir + L"same.txt"), EFCreateError);
    EXPECT_EQ(ReadBytes(Dir + L"same.txt"), "keep me");
}

// --- FullDirectoryCopy -------------------------------------------------------

class DirCopyTest : public TTempFolder {};

TEST_F(DirCopyTest, EmptySourceGivesFalseButCreatesTarget) {
    MakeDirs(Dir + L"src");
    EXPECT_FALSE(TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"a\\b\\dst", false, true, true));
    EXPECT_TRUE(Exists(Dir + L"a\\b\\dst"));
}

TEST_F(DirCopyTest, MissingSourceGivesFalseAndNoTarget) {
    EXPECT_FALSE(TFileSystemHelper::FullDirectoryCopy(Dir + L"none\\", Dir + L"dst\\", false, true, true));
    EXPECT_FALSE(Exists(Dir + L"dst"));
}

TEST_F(DirCopyTest, CopiesTreeWithHiddenFiles) {
    WriteBytes(Dir + L"src\\a.txt", "A");
    WriteBytes(Dir + L"src\\sub\\deep\\b.txt", "B");
    WriteBytes(Dir + L"src\\sub\\h.txt", "H");
    ::SetFileAttributesW((Dir + L"src\\sub\\h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"dst", false, true, true));
    EXPECT_EQ(ReadBytes(Dir + L"dst\\a.txt"), "A");
    EXPECT_EQ(ReadBytes(Dir + L"dst\\sub\\deep\\b.txt"), "B");
    EXPECT_EQ(ReadBytes(Dir + L"dst\\sub\\h.txt"), "H");
}

TEST_F(DirCopyTest, WithoutOverwriteExistingTargetKeepsContentsAndCountsAsSuccess) {
    WriteBytes(Dir + L"src\\a.txt", "new");
    WriteBytes(Dir + L"dst\\a.txt", "old");
    EXPECT_TRUE(TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"dst", true, false, true));
    EXPECT_EQ(ReadBytes(Dir + L"dst\\a.txt"), "old");
}

TEST_F(DirCopyTest, WithOverwriteTargetIsReplaced) {
    WriteBytes(Dir + L"src\\a.txt", "new");
    WriteBytes(Dir + L"dst\\a.txt", "older and longer");
    EXPECT_TRUE(TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"dst", true, true, true));
    EXPECT_EQ(ReadBytes(Dir + L"dst\\a.txt"), "new");
}

TEST_F(DirCopyTest, EarlyFailureGoesOnAndResultIsThatOfTheLastEntry) {
    for (const wchar_t* n : {L"a.txt", L"b.txt", L"c.txt"}) WriteBytes(Dir + L"src\\" + n, "x");
    WriteBytes(Dir + L"dst\\b.txt", "locked");
    TFileHandle lock(::CreateFileW((Dir + L"dst\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    const std::vector<std::wstring> order = Order(Dir + L"src\\");
    ASSERT_EQ(order.size(), 3u);
    const bool lastIsLocked = order.back() == L"b.txt";
    EXPECT_EQ(TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"dst", false, true, true), !lastIsLocked);
    // The others were copied whatever the order.
    EXPECT_EQ(ReadBytes(Dir + L"dst\\a.txt"), "x");
    EXPECT_EQ(ReadBytes(Dir + L"dst\\c.txt"), "x");
    lock.reset();
    EXPECT_EQ(ReadBytes(Dir + L"dst\\b.txt"), "locked");
}

TEST_F(DirCopyTest, StopFlagStopsAtTheFailure) {
    for (const wchar_t* n : {L"a.txt", L"b.txt", L"c.txt"}) WriteBytes(Dir + L"src\\" + n, "x");
    WriteBytes(Dir + L"dst\\b.txt", "locked");
    TFileHandle lock(::CreateFileW((Dir + L"dst\\b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    EXPECT_FALSE(TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"dst", true, true, true));
    // Entries after the failing one in the file system's order were not copied.
    const std::vector<std::wstring> order = Order(Dir + L"src\\");
    auto it = std::find(order.begin(), order.end(), L"b.txt");
    for (auto after = it + 1; after != order.end(); ++after)
        EXPECT_FALSE(Exists(Dir + L"dst\\" + *after)) << std::string(after->begin(), after->end());
}

TEST_F(DirCopyTest, WithoutRecursionSubfolderCountsAsFailedEntry) {
    WriteBytes(Dir + L"src\\sub\\b.txt", "B");
    EXPECT_FALSE(TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"dst", false, true, false));
    EXPECT_FALSE(Exists(Dir + L"dst\\sub\\b.txt"));
}

TEST_F(DirCopyTest, LinkedFolderIsSkippedAndLinkToParentEndsTheWalk) {
    WriteBytes(Dir + L"outside\\secret.txt", "S");
    WriteBytes(Dir + L"src\\a.txt", "A");
    if (!MakeFolderLink(Dir + L"outside", Dir + L"src\\link") || !MakeFolderLink(Dir + L"src", Dir + L"src\\loop"))
        GTEST_SKIP() << "no folder links here";
    ASSERT_EQ(::GetFileAttributesW((Dir + L"src\\link").c_str()) & FILE_ATTRIBUTE_REPARSE_POINT,
              static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT));
    TFileSystemHelper::FullDirectoryCopy(Dir + L"src", Dir + L"dst", false, true, true);
    EXPECT_EQ(ReadBytes(Dir + L"dst\\a.txt"), "A");
    EXPECT_FALSE(Exists(Dir + L"dst\\link"));
    EXPECT_FALSE(Exists(Dir + L"dst\\loop"));
}

// --- FullRemoveDir -----------------------------------------------------------

class RemoveDirTest : public TTempFolder {
protected:
    void MakeTree() {
        WriteBytes(Dir + L"t\\a.txt", "A");
        WriteBytes(Dir + L"t\\sub\\ro.txt", "R");
        WriteBytes(Dir + L"t\\sub\\hid.txt", "H");
        ::SetFileAttributesW((Dir + L"t\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        ::SetFileAttributesW((Dir + L"t\\sub\\hid.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    }
};

TEST_F(RemoveDirTest, MissingFolderGivesFalse) {
    EXPECT_FALSE(TFileSystemHelper::FullRemoveDir(Dir + L"none", true, false, true));
}

TEST_F(RemoveDirTest, DeleteAllRemovesReadOnlyAndHiddenFiles) {
    MakeTree();
    EXPECT_TRUE(TFileSystemHelper::FullRemoveDir(Dir + L"t", true, true, true));
    EXPECT_FALSE(Exists(Dir + L"t"));
}

TEST_F(RemoveDirTest, ReadOnlyFileStaysWithoutDeleteAllAndStopKeepsRoot) {
    MakeTree();
    EXPECT_FALSE(TFileSystemHelper::FullRemoveDir(Dir + L"t", false, true, true));
    EXPECT_TRUE(Exists(Dir + L"t\\sub\\ro.txt"));
    EXPECT_TRUE(Exists(Dir + L"t"));
}

TEST_F(RemoveDirTest, WithoutStopTheRestIsRemovedAndResultReportsFailure) {
    WriteBytes(Dir + L"t\\sub\\ro.txt", "R");
    ::SetFileAttributesW((Dir + L"t\\sub\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(Dir + L"t\\sub2\\x.txt", "X");
    EXPECT_FALSE(TFileSystemHelper::FullRemoveDir(Dir + L"t\\", false, false, true));
    EXPECT_TRUE(Exists(Dir + L"t\\sub\\ro.txt"));
    EXPECT_FALSE(Exists(Dir + L"t\\sub2"));
}

TEST_F(RemoveDirTest, KeepRootEmptiesTheFolder) {
    MakeTree();
    EXPECT_TRUE(TFileSystemHelper::FullRemoveDir(Dir + L"t", true, false, false));
    EXPECT_TRUE(Exists(Dir + L"t"));
    EXPECT_TRUE(Order(Dir + L"t\\").empty());
}

TEST_F(RemoveDirTest, LinkInsideIsRemovedNotFollowed) {
    WriteBytes(Dir + L"outside\\keep.txt", "K");
    ::SetFileAttributesW((Dir + L"outside\\keep.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteBytes(Dir + L"t\\a.txt", "A");
    if (!MakeFolderLink(Dir + L"outside", Dir + L"t\\link") || !MakeFolderLink(Dir + L"t", Dir + L"t\\loop"))
        GTEST_SKIP() << "no folder links here";
    const bool result = TFileSystemHelper::FullRemoveDir(Dir + L"t", true, false, true);
    EXPECT_EQ(ReadBytes(Dir + L"outside\\keep.txt"), "K");
    EXPECT_EQ(::GetFileAttributesW((Dir + L"outside\\keep.txt").c_str()) & FILE_ATTRIBUTE_READONLY,
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    EXPECT_FALSE(Exists(Dir + L"t\\a.txt"));
    // Where the system cannot remove the link, the result says so.
    if (Exists(Dir + L"t\\link")) EXPECT_FALSE(result);
    else EXPECT_TRUE(result);
}

TEST_F(RemoveDirTest, LinkAsRootIsRemovedNotFollowed) {
    WriteBytes(Dir + L"outside\\keep.txt", "K");
    if (!MakeFolderLink(Dir + L"outside", Dir + L"link")) GTEST_SKIP() << "no folder links here";
    TFileSystemHelper::FullRemoveDir(Dir + L"link\\", true, true, true);
    EXPECT_EQ(ReadBytes(Dir + L"outside\\keep.txt"), "K");
}

// --- GetSubDirs, listings ------------------------------------------------------

class ListTest : public TTempFolder {};

TEST_F(ListTest, SubDirsLeaveOutWithOutAnswerExactlyAndAppend) {
    MakeDirs(Dir + L"one");
    MakeDirs(Dir + L"WithOutAnswer");
    MakeDirs(Dir + L"x\\withoutanswer");
    WriteBytes(Dir + L"file.txt", "f");
    TStringList l;
    l.Add(L"sentinel");
    TFileSystemHelper::GetSubDirs(Dir, l);
    EXPECT_EQ(AsSet(l), (std::set<std::wstring>{L"sentinel", Dir + L"one", Dir + L"x"}));
    EXPECT_EQ(l[0], L"sentinel");
    EXPECT_EQ(l.UpdateCount(), 0);

    TStringList m;
    TFileSystemHelper::GetSubDirs(Dir + L"x\\", m);
    EXPECT_EQ(AsSet(m), (std::set<std::wstring>{Dir + L"x\\withoutanswer"}));
}

TEST_F(ListTest, SubDirsOfMissingFolderLeaveListAlone) {
    TStringList l;
    l.Add(L"sentinel");
    TFileSystemHelper::GetSubDirs(Dir + L"none\\", l);
    EXPECT_EQ(l.Count(), 1u);
}

TEST_F(ListTest, ListFolderFilesFiltersAndLeavesOutFolders) {
    WriteBytes(Dir + L"a.txt", "a");
    WriteBytes(Dir + L"b.log", "b");
    MakeDirs(Dir + L"d.txt");
    auto rel = TFileSystemHelper::ListFolderFiles(Dir, L"*.txt", false);
    EXPECT_EQ(AsSet(*rel), (std::set<std::wstring>{L"a.txt"}));
    auto abs = TFileSystemHelper::ListFolderFiles(Dir.substr(0, Dir.size() - 1), L"*.*", true);
    EXPECT_EQ(AsSet(*abs), (std::set<std::wstring>{Dir + L"a.txt", Dir + L"b.log"}));
    auto none = TFileSystemHelper::ListFolderFiles(Dir + L"none", L"*.*", true);
    ASSERT_TRUE(none);
    EXPECT_TRUE(none->Empty());
}

TEST_F(ListTest, ListFileDirListsFilesAndFoldersWithExtraAttributes) {
    WriteBytes(Dir + L"a.txt", "a");
    MakeDirs(Dir + L"plain");
    MakeDirs(Dir + L"hidden");
    ::SetFileAttributesW((Dir + L"hidden").c_str(), FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN);
    TStringList l;
    l.Add(L"sentinel");
    TFileSystemHelper::ListFileDir(Dir, l);
    EXPECT_EQ(AsSet(l), (std::set<std::wstring>{L"sentinel", L"a.txt", L"hidden"}));
}

TEST_F(ListTest, CheckFileFolderExists) {
    WriteBytes(Dir + L"a.txt", "a");
    EXPECT_TRUE(TFileSystemHelper::CheckFileFolderExists(Dir + L"a.txt"));
    EXPECT_TRUE(TFileSystemHelper::CheckFileFolderExists(Dir));
    EXPECT_TRUE(TFileSystemHelper::CheckFileFolderExists(Dir.substr(0, Dir.size() - 1)));
    EXPECT_FALSE(TFileSystemHelper::CheckFileFolderExists(Dir + L"none"));
    MakeDirs(Dir + L"gone");
    if (MakeFolderLink(Dir + L"gone", Dir + L"dangling")) {
        ::RemoveDirectoryW((Dir + L"gone").c_str());
        EXPECT_FALSE(TFileSystemHelper::CheckFileFolderExists(Dir + L"dangling"));
    }
}

TEST(WindowsFolder, IsAFolderWithoutTrailingBackslash) {
    const std::wstring w = TFileSystemHelper::GetWindowsFolder();
    ASSERT_FALSE(w.empty());
    EXPECT_NE(w.back(), L'\\');
    EXPECT_TRUE(::GetFileAttributesW(w.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

// --- Times -------------------------------------------------------------------

class TimesTest : public TTempFolder {};

TEST_F(TimesTest, FileUpdatedIsStrictAndStoresTheTime) {
    WriteBytes(Dir + L"f.txt", "f");
    const FILETIME t = FileTimeOf(2019, 3, 4, 5, 6, 7);
    SetTimes(Dir + L"f.txt", t);
    const TDateTime ft = LocalOf(t);

    TDateTime given = ft;
    EXPECT_FALSE(TFileSystemHelper::FileUpdated(Dir + L"f.txt", given));
    EXPECT_EQ(given, ft);

    given = ft - kSecond;
    EXPECT_TRUE(TFileSystemHelper::FileUpdated(Dir + L"f.txt", given));
    EXPECT_EQ(given, ft);

    given = ft + 1.0;  // newer: false, and the file's time is stored all the same
    EXPECT_FALSE(TFileSystemHelper::FileUpdated(Dir + L"f.txt", given));
    EXPECT_EQ(given, ft);
}

TEST_F(TimesTest, FileUpdatedOfMissingFileOrFolderRaises) {
    TDateTime given = 12345.0;
    try {
        TFileSystemHelper::FileUpdated(Dir + L"none.txt", given);
        FAIL() << "no error";
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.Message(), L"Файл не существует.");
    }
    EXPECT_EQ(given, 12345.0);
    EXPECT_THROW(TFileSystemHelper::FileUpdated(Dir.substr(0, Dir.size() - 1), given), EInOutError);
}

TEST_F(TimesTest, EntryTimesOfFilesAndFolders) {
    WriteBytes(Dir + L"h.txt", "h");
    ::SetFileAttributesW((Dir + L"h.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    FILETIME t = FileTimeOf(2018, 1, 2, 3, 4, 5);
    t.dwLowDateTime += 1230000;  // 123 ms
    SetTimes(Dir + L"h.txt", t);
    EXPECT_NEAR(TFileSystemHelper::LastWritten(Dir + L"h.txt"), LocalOf(t), 0.5e-3 * kSecond);

    MakeDirs(Dir + L"d");
    SetTimes(Dir + L"d", t);
    EXPECT_NEAR(TFileSystemHelper::LastWritten(Dir + L"d\\"), LocalOf(t), 0.5e-3 * kSecond);
    EXPECT_NEAR(TFileSystemHelper::GetDirTime(Dir + L"d"), TFileSystemHelper::CreationTime(Dir + L"d"),
                0.5e-3 * kSecond);
    EXPECT_GT(TFileSystemHelper::LastAccess(Dir + L"h.txt"), 0.0);

    EXPECT_EQ(TFileSystemHelper::CreationTime(Dir + L"none"), -1.0);
    EXPECT_EQ(TFileSystemHelper::LastWritten(Dir + L"none"), -1.0);
    EXPECT_EQ(TFileSystemHelper::LastAccess(Dir + L"none"), -1.0);
    EXPECT_EQ(TFileSystemHelper::GetDirTime(Dir + L"none"), -1.0);
}

// --- GetFileSize ---------------------------------------------------------------

class FileSizeTest : public TTempFolder {};

TEST_F(FileSizeTest, SizeOfFileMissingAndFolder) {
    WriteBytes(Dir + L"f.bin", Pattern(70000, 3));
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + L"f.bin"), 70000);
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + L"none.bin"), -1);
    MakeDirs(Dir + L"dir.bin");
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + L"dir.bin"), -1);
    // Wildcards: a folder that matches is passed over.
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + L"*.bin"), 70000);
}

TEST_F(FileSizeTest, MissingFolderRaisesAndCurrentFolderIsKept) {
    wchar_t before[MAX_PATH] = {}, after[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, before);
    EXPECT_THROW(TFileSystemHelper::GetFileSize(Dir + L"none\\f.bin"), EInOutError);
    WriteBytes(Dir + L"f.bin", "1234");
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + L"f.bin"), 4);
    ::GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_STREQ(before, after);
}

TEST_F(FileSizeTest, HiddenSystemReadOnlyAndTemporaryFilesCount) {
    WriteBytes(Dir + L"h.bin", "123");
    ASSERT_TRUE(::SetFileAttributesW((Dir + L"h.bin").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE |
                                                                   FILE_ATTRIBUTE_TEMPORARY));
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + L"h.bin"), 3);
}

// Needs a file system that keeps an attribute above 0x1FF (not-content-indexed,
// or a file link showing as a reparse point); Wine keeps neither, so there the
// test is skipped.
TEST_F(FileSizeTest, EntriesWithAttributesAbove0x1FFArePassedOver) {
    WriteBytes(Dir + L"real.dat", "12345");
    WriteBytes(Dir + L"big.bin", Pattern(9000, 4));
    WriteBytes(Dir + L"odd.dat", Pattern(9000, 5));
    auto extra = [&](const std::wstring& name) {
        WIN32_FIND_DATAW fd{};
        TFindHandle h(::FindFirstFileW((Dir + name).c_str(), &fd));
        return h && (fd.dwFileAttributes & ~0x1FFu) != 0;
    };
    ::SetFileAttributesW((Dir + L"odd.dat").c_str(), FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    std::wstring odd = L"odd.dat";
    if (!extra(odd)) {
        ::DeleteFileW((Dir + odd).c_str());
        odd = L"link.dat";
        if (!MakeFileLink(Dir + L"big.bin", Dir + odd) || !extra(odd))
            GTEST_SKIP() << "no attribute above 0x1FF is kept here";
    }
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + odd), -1);
    EXPECT_EQ(TFileSystemHelper::GetFileSize(Dir + L"*.dat"), 5);  // whatever the order
}

// --- DelLastDir ------------------------------------------------------------------

class DelLastDirTest : public TTempFolder {
protected:
    // Four folders, d1 oldest ... d4 newest, plus WithOutAnswer (oldest of all).
    void MakeFolders() {
        WriteBytes(Dir + L"d1\\ro.txt", "r");
        ::SetFileAttributesW((Dir + L"d1\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        WriteBytes(Dir + L"d2\\sub\\x.txt", "x");
        MakeDirs(Dir + L"d3");
        MakeDirs(Dir + L"d4");
        MakeDirs(Dir + L"WithOutAnswer");
        // Times last: adding entries would move them again.
        SetTimes(Dir + L"WithOutAnswer", FileTimeOf(2001, 1, 1, 0, 0, 0));
        SetTimes(Dir + L"d3", FileTimeOf(2012, 1, 1, 0, 0, 0));
        SetTimes(Dir + L"d1", FileTimeOf(2010, 1, 1, 0, 0, 0));
        SetTimes(Dir + L"d4", FileTimeOf(2013, 1, 1, 0, 0, 0));
        SetTimes(Dir + L"d2", FileTimeOf(2011, 1, 1, 0, 0, 0));
    }
    std::set<std::wstring> Left() {
        auto v = Order(Dir);
        return {v.begin(), v.end()};
    }
};

TEST_F(DelLastDirTest, KeepsTheNewest) {
    MakeFolders();
    TFileSystemHelper::DelLastDir(Dir, 2);
    EXPECT_EQ(Left(), (std::set<std::wstring>{L"d3", L"d4", L"WithOutAnswer"}));
}

TEST_F(DelLastDirTest, CountZeroRemovesAllButWithOutAnswer) {
    MakeFolders();
    TFileSystemHelper::DelLastDir(Dir, 0);
    EXPECT_EQ(Left(), (std::set<std::wstring>{L"WithOutAnswer"}));
}

TEST_F(DelLastDirTest, CountAtOrAboveTheNumberRemovesNothing) {
    MakeFolders();
    TFileSystemHelper::DelLastDir(Dir, 4);
    TFileSystemHelper::DelLastDir(Dir, 100);
    EXPECT_EQ(Left(), (std::set<std::wstring>{L"d1", L"d2", L"d3", L"d4", L"WithOutAnswer"}));
}

TEST_F(DelLastDirTest, NegativeCountRemovesAllAndNoMore) {
    MakeFolders();
    TFileSystemHelper::DelLastDir(Dir, -5);
    EXPECT_EQ(Left(), (std::set<std::wstring>{L"WithOutAnswer"}));
}

TEST_F(DelLastDirTest, OldLinkedFolderGoesWithoutItsTargetsFiles) {
    WriteBytes(Dir + L"outside\\keep.txt", "K");
    MakeDirs(Dir + L"logs\\new");
    if (!MakeFolderLink(Dir + L"outside", Dir + L"logs\\old")) GTEST_SKIP() << "no folder links here";
    SetTimes(Dir + L"outside", FileTimeOf(2005, 1, 1, 0, 0, 0));  // the link reports its target's time
    SetTimes(Dir + L"logs\\new", FileTimeOf(2020, 1, 1, 0, 0, 0));
    TFileSystemHelper::DelLastDir(Dir + L"logs\\", 1);
    EXPECT_EQ(ReadBytes(Dir + L"outside\\keep.txt"), "K");
    EXPECT_TRUE(Exists(Dir + L"logs\\new"));
}
