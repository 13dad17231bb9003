// Archive, process and profile helpers under Wine.  The test program runs in
// a private copy (IsolatedTestMain.cpp), so its folder holds only what these
// tests put there: Servers, Profile, logs and the work folders.
#include "common/Errors.h"
#include "common/FileSystemHelper.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <minizip/iowin32.h>

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>
#include "TestTree.h"
#include "TestFiles.h"

namespace {

std::wstring Exe() { return ExeFolder(); }

void MakeDirs(const std::wstring& path) {
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == L'\\') ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

using testsupport::WriteBytes;
using testsupport::ReadBytes;
using testsupport::Exists;

uint64_t SizeOf(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA a{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &a)) return 0;
    return (uint64_t(a.nFileSizeHigh) << 32) | a.nFileSizeLow;
}

using testsupport::RemoveTree;

// Entries of an archive: name (decoded from UTF-8) -> flag, method, content.
struct TEntry {
    unsigned long flag = 0, method = 0;
    std::string data;
};
std::map<std::wstring, TEntry> ListArchive(const std::wstring& zip) {
    std::map<std::wstring, TEntry> out;
    zlib_filefunc64_def ff{};
    fill_win32_filefunc64W(&ff);
    unzFile uf = unzOpen2_64(zip.c_str(), &ff);
    if (!uf) return out;
    for (int rc = unzGoToFirstFile(uf); rc == UNZ_OK; rc = unzGoToNextFile(uf)) {
        unz_file_info64 info{};
        char name[4096] = {};
        unzGetCurrentFileInfo64(uf, &info, name, sizeof name - 1, nullptr, 0, nullptr, 0);
        TEntry e;
        e.flag = info.flag;
        e.method = info.compression_method;
        unzOpenCurrentFile(uf);
        char buf[4096];
        int got;
        while ((got = unzReadCurrentFile(uf, buf, sizeof buf)) > 0) e.data.append(buf, got);
        unzCloseCurrentFile(uf);
        out[Utf8ToWide(name)] = e;
    }
    unzClose(uf);
    return out;
}

// An archive made with the archive library directly, entry names as given
// (raw bytes; utf8 sets general-purpose bit 11).
void CraftArchive(const std::wstring& zip, const std::vector<std::pair<std::string, std::string>>& entries,
                  bool utf8 = true, int method = Z_DEFLATED) {
    zlib_filefunc64_def ff{};
    fill_win32_filefunc64W(&ff);
    zipFile zf = zipOpen2_64(zip.c_str(), APPEND_STATUS_CREATE, nullptr, &ff);
    ASSERT_NE(zf, nullptr);
    for (const auto& [name, data] : entries) {
        zip_fileinfo zi{};
        ASSERT_EQ(zipOpenNewFileInZip4_64(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, method,
                                          method ? Z_DEFAULT_COMPRESSION : 0, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                          Z_DEFAULT_STRATEGY, nullptr, 0, 0, utf8 ? 0x800 : 0, 0),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

// An archive without flag bit 11 whose entries carry the given extra block
// in both their local and central headers: name field, data, extra block.
void CraftArchiveWithExtra(const std::wstring& zip,
                           const std::vector<std::tuple<std::string, std::string, std::string>>& entries) {
    zlib_filefunc64_def ff{};
    fill_win32_filefunc64W(&ff);
    zipFile zf = zipOpen2_64(zip.c_str(), APPEND_STATUS_CREATE, nullptr, &ff);
    ASSERT_NE(zf, nullptr);
    for (const auto& [name, data, extra] : entries) {
        zip_fileinfo zi{};
        const auto n = static_cast<uInt>(extra.size());
        ASSERT_EQ(zipOpenNewFileInZip4_64(zf, name.c_str(), &zi, extra.data(), n, extra.data(), n, nullptr,
                                          Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL,
                                          Z_DEFAULT_STRATEGY, nullptr, 0, 0, 0, 0),
                  ZIP_OK);
        ASSERT_EQ(zipWriteInFileInZip(zf, data.data(), static_cast<unsigned>(data.size())), ZIP_OK);
        ASSERT_EQ(zipCloseFileInZip(zf), ZIP_OK);
    }
    ASSERT_EQ(zipClose(zf, nullptr), ZIP_OK);
}

// The Unicode Path extra field (0x7075) for a name field: version 1, the
// CRC-32 of the name field (plus crcOffset, to make it wrong), the UTF-8 name.
std::string UnicodePathField(const std::string& nameField, const std::wstring& name, uLong crcOffset = 0) {
    const std::string utf8 = WideToUtf8(name);
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(nameField.data()), static_cast<uInt>(nameField.size())) +
                      crcOffset;
    std::string f;
    const auto put = [&f](uLong v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    put(0x7075, 2);
    put(static_cast<uLong>(5 + utf8.size()), 2);
    put(1, 1);
    put(crc & 0xFFFFFFFFu, 4);
    return f + utf8;
}

// Waits (bounded) until the log file holds the line's text in ANSI bytes.
bool LogHas(const wchar_t* file, const std::wstring& text, const char* level = "DEBUG") {
    std::string needle = std::string(" - ") + level + " - " + WideToAnsi(text) + "\r\n";
    for (int i = 0; i < 100; ++i) {
        if (ReadBytes(Exe() + L"logs\\" + file).find(needle) != std::string::npos) return true;
        ::Sleep(100);
    }
    return false;
}

std::string Pattern(size_t n, unsigned seed) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>("abcdefgh"[(i * seed + i / 7) % 8]);
    return s;
}

class ArchiveTest : public testing::Test {
protected:
    void SetUp() override {
        for (const wchar_t* d : {L"work", L"Servers", L"Profile"}) RemoveTree(Exe() + d);
        work = Exe() + L"work";
        MakeDirs(work);
    }
    void TearDown() override {
        for (const wchar_t* d : {L"work", L"Servers", L"Profile"}) RemoveTree(Exe() + d);
    }
    std::wstring work;
};

}  // namespace

// --- packing ---------------------------------------------------------------

TEST_F(ArchiveTest, PackLeavesItsOwnArchiveOutAndStoresRelativeNames) {
    std::wstring root = work + L"\\src";
    WriteBytes(root + L"\\a.txt", Pattern(600, 3));
    WriteBytes(root + L"\\sub\\b.txt", Pattern(400, 5));
    WriteBytes(root + L"\\sub\\deeper\\empty.bin", "");
    WriteBytes(root + L"\\pack.zip", "old archive to be replaced");
    double ratio = -7;
    int32_t size = -7;
    std::wstring zip = root + L"\\pack.zip";
    ASSERT_TRUE(TFileSystemHelper::PackAllFiles(ratio, size, root, zip, false));
    EXPECT_EQ(size, 1000);
    EXPECT_DOUBLE_EQ(ratio, double(SizeOf(zip)) / 1000.0);
    auto entries = ListArchive(zip);
    ASSERT_EQ(entries.size(), 3u);
    ASSERT_TRUE(entries.count(L"a.txt"));
    ASSERT_TRUE(entries.count(L"sub\\b.txt"));
    ASSERT_TRUE(entries.count(L"sub\\deeper\\empty.bin"));
    EXPECT_EQ(entries[L"sub\\b.txt"].data, Pattern(400, 5));
    for (auto& [name, e] : entries) {
        EXPECT_EQ(e.method, unsigned(Z_DEFLATED)) << WideToUtf8(name);
        EXPECT_TRUE(e.flag & 0x800) << WideToUtf8(name);
    }
}

TEST_F(ArchiveTest, PackWithAbsoluteNamesAndCyrillicRoundTrip) {
    std::wstring root = work + L"\\Исходные";
    WriteBytes(root + L"\\Папка\\Файл.txt", "содержимое");
    WriteBytes(root + L"\\x.bin", std::string("\0\1\2", 3));
    double ratio = 0;
    int32_t size = 0;
    std::wstring zip = work + L"\\Архив.zip";
    ASSERT_TRUE(TFileSystemHelper::PackAllFiles(ratio, size, root + L"\\", zip, true));
    auto entries = ListArchive(zip);
    EXPECT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries.count(root + L"\\Папка\\Файл.txt"));

    ASSERT_TRUE(TFileSystemHelper::PackAllFiles(ratio, size, root, zip, false));
    std::wstring dest = work + L"\\Распаковка";
    MakeDirs(dest);
    ASSERT_TRUE(::CopyFileW(zip.c_str(), (dest + L"\\a.zip").c_str(), FALSE));
    WriteBytes(dest + L"\\x.bin", "to be replaced");
    ASSERT_TRUE(TFileSystemHelper::ExtractZipFilesFromZipFile(dest + L"\\a.zip"));
    EXPECT_EQ(ReadBytes(dest + L"\\Папка\\Файл.txt"), "содержимое");
    EXPECT_EQ(ReadBytes(dest + L"\\x.bin"), std::string("\0\1\2", 3));
}

TEST_F(ArchiveTest, PackLogLineGivesTheRoundedRatio) {
    std::wstring root = work + L"\\logged";
    WriteBytes(root + L"\\one.txt", Pattern(1000, 1));
    double ratio = 0;
    int32_t size = 0;
    std::wstring zip = work + L"\\logged.zip";
    ASSERT_TRUE(TFileSystemHelper::PackAllFiles(ratio, size, root, zip, false));
    double percent = double(SizeOf(zip)) * 100.0 / 1000.0;
    long long rounded = static_cast<long long>(std::nearbyint(percent));  // default mode: halves to even
    EXPECT_TRUE(LogHas(L"common.log", L"Упаковка файла: " + zip + L" завершена. Исходный размер файлов:1000. Коэфф. сжатия:" +
                                          std::to_wstring(rounded)));
}

TEST_F(ArchiveTest, PackOfNothingHasRatioZero) {
    std::wstring root = work + L"\\empty";
    MakeDirs(root + L"\\only\\folders");
    WriteBytes(root + L"\\zero.txt", "");
    double ratio = -7;
    int32_t size = -7;
    std::wstring zip = work + L"\\empty.zip";
    ASSERT_TRUE(TFileSystemHelper::PackAllFiles(ratio, size, root, zip, false));
    EXPECT_EQ(size, 0);
    EXPECT_EQ(ratio, 0.0);
    EXPECT_TRUE(LogHas(L"common.log", L"Упаковка файла: " + zip + L" завершена. Исходный размер файлов:0. Коэфф. сжатия:0"));
}

TEST_F(ArchiveTest, PackOfUnreadableFileRaises) {
    std::wstring root = work + L"\\busy";
    WriteBytes(root + L"\\locked.txt", "x");
    TFileHandle lock(::CreateFileW((root + L"\\locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    double ratio = 0;
    int32_t size = 0;
    EXPECT_THROW(TFileSystemHelper::PackAllFiles(ratio, size, root, work + L"\\busy.zip", false), EFrameworkError);
}

// --- extraction ------------------------------------------------------------

TEST_F(ArchiveTest, EveryEscapingNameIsRefusedBeforeAnythingIsWritten) {
    const char* bad[] = {
        "..\\evil.txt", "../evil.txt", "sub\\..\\..\\evil.txt", "sub/../../evil.txt", "\\evil.txt", "/evil.txt",
        "C:\\evil.txt", "C:evil.txt", "\\\\server\\share\\evil.txt", "//server/share/evil.txt",
        "good.txt:stream", "evil.", "evil ", "sub.\\x.txt", "CON", "nul.txt", "COM1", "lpt1.log", "AUX",
        "PRN.doc", "sub\\con.txt", "a\\\\b.txt", "a*b.txt", "",
    };
    for (const char* name : bad) {
        SCOPED_TRACE(std::string("entry name: ") + name);
        std::wstring dest = work + L"\\t";
        RemoveTree(dest);
        MakeDirs(dest);
        std::wstring zip = dest + L"\\bad.zip";
        CraftArchive(zip, {{"good.txt", "harmless"}, {"sub2\\first.txt", "x"}, {name, "payload"}});
        EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
        EXPECT_FALSE(Exists(dest + L"\\good.txt"));
        EXPECT_FALSE(Exists(dest + L"\\sub2"));
        EXPECT_FALSE(Exists(work + L"\\evil.txt"));
        EXPECT_FALSE(Exists(Exe() + L"evil.txt"));
    }
}

TEST_F(ArchiveTest, AnEntryThatWouldOverwriteTheArchiveIsRefused) {
    std::wstring dest = work + L"\\self";
    MakeDirs(dest);
    std::wstring zip = dest + L"\\self.zip";
    CraftArchive(zip, {{"ok.txt", "1"}, {"SELF.ZIP", "overwrite me"}});
    EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
    EXPECT_FALSE(Exists(dest + L"\\ok.txt"));
    EXPECT_FALSE(ListArchive(zip).empty());
}

TEST_F(ArchiveTest, NamesWithoutTheUtf8FlagAreOemText) {
    std::wstring dest = work + L"\\oem";
    MakeDirs(dest);
    std::wstring zip = dest + L"\\oem.zip";
    std::string oemName = WideToAnsi(::GetOEMCP() == 866 ? L"Ж.txt" : L"caf\u00e9.txt", CP_OEMCP);
    CraftArchive(zip, {{oemName, "oem"}, {"dir/", ""}, {"dir/inner.txt", "i"}}, false);
    ASSERT_TRUE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
    EXPECT_EQ(ReadBytes(dest + L"\\" + AnsiToWide(oemName, CP_OEMCP)), "oem");
    EXPECT_EQ(ReadBytes(dest + L"\\dir\\inner.txt"), "i");
}

TEST_F(ArchiveTest, NamesOutsideTheOemCodePageComeFromTheUnicodePathField) {
    // As archivers write them: "?" in the name field for what the OEM code
    // page lacks, the true name in the extra field.
    const std::wstring name = L"\u0490\u00ABОтчёт\u00BB\u20AC.txt";  // Ґ«Отчёт»€.txt
    const std::string field = WideToAnsi(name, CP_OEMCP);
    ASSERT_NE(field.find('?'), std::string::npos) << "the name must not fit the OEM code page";
    const std::string otherExtra = std::string("\x0a\x00\x04\x00", 4) + "abcd";  // another field before it
    {
        SCOPED_TRACE("field whose CRC matches the name field");
        std::wstring dest = work + L"\\unicode";
        MakeDirs(dest);
        std::wstring zip = dest + L"\\u.zip";
        CraftArchiveWithExtra(zip, {{field, "unicode", otherExtra + UnicodePathField(field, name)},
                                    {"dir/" + field, "inner", UnicodePathField("dir/" + field, L"dir/" + name)},
                                    {"plain.txt", "plain", ""}});
        ASSERT_TRUE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
        EXPECT_EQ(ReadBytes(dest + L"\\" + name), "unicode");
        EXPECT_EQ(ReadBytes(dest + L"\\dir\\" + name), "inner");
        EXPECT_EQ(ReadBytes(dest + L"\\plain.txt"), "plain");
    }
    {
        SCOPED_TRACE("field of another name field: ignored, the \"?\" refuses the archive");
        std::wstring dest = work + L"\\stale";
        MakeDirs(dest);
        std::wstring zip = dest + L"\\s.zip";
        CraftArchiveWithExtra(zip, {{"plain.txt", "plain", ""}, {field, "stale", UnicodePathField(field, name, 1)}});
        EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
        EXPECT_FALSE(Exists(dest + L"\\plain.txt"));
        EXPECT_FALSE(Exists(dest + L"\\" + name));
    }
    {
        SCOPED_TRACE("the field's name goes through the same checks");
        std::wstring dest = work + L"\\escape";
        MakeDirs(dest);
        std::wstring zip = dest + L"\\e.zip";
        CraftArchiveWithExtra(zip, {{"plain.txt", "plain", ""},
                                    {"harmless.txt", "payload", UnicodePathField("harmless.txt", L"..\\evil.txt")}});
        EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
        EXPECT_FALSE(Exists(dest + L"\\plain.txt"));
        EXPECT_FALSE(Exists(dest + L"\\harmless.txt"));
        EXPECT_FALSE(Exists(work + L"\\evil.txt"));
    }
}

TEST_F(ArchiveTest, CorruptDataOrGarbageGivesFalse) {
    std::wstring dest = work + L"\\corrupt";
    MakeDirs(dest);
    std::wstring zip = dest + L"\\c.zip";
    CraftArchive(zip, {{"stored.txt", std::string(100, 'Q')}}, true, 0);
    std::string bytes = ReadBytes(zip);
    size_t at = bytes.find(std::string(100, 'Q'));
    ASSERT_NE(at, std::string::npos);
    bytes[at + 50] = 'R';  // CRC no longer matches
    WriteBytes(zip, bytes);
    EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
    WriteBytes(zip, "PK\3\4 this is not an archive");
    EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromZipFile(zip));
    EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromZipFile(dest + L"\\missing.zip"));
}

TEST_F(ArchiveTest, StreamAndBufferExtractIntoNewFoldersAndDropTmpZip) {
    std::wstring zip = work + L"\\m.zip";
    CraftArchive(zip, {{"Отчёт\\r.txt", "report"}, {"top.txt", "top"}});
    std::string bytes = ReadBytes(zip);
    std::wstring dest = work + L"\\new\\deeper";
    std::vector<uint8_t> buf(bytes.begin(), bytes.end());
    ASSERT_TRUE(TFileSystemHelper::ExtractZipFilesFromBuffer(buf, dest));
    EXPECT_EQ(ReadBytes(dest + L"\\Отчёт\\r.txt"), "report");
    EXPECT_FALSE(Exists(dest + L"\\tmp.zip"));

    TMemoryStream ms(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    ms.SetPosition(5);  // the whole stream is saved, whatever its position
    std::wstring dest2 = work + L"\\stream";
    ASSERT_TRUE(TFileSystemHelper::ExtractZipFilesFromStream(ms, dest2));
    EXPECT_EQ(ReadBytes(dest2 + L"\\top.txt"), "top");
    EXPECT_FALSE(Exists(dest2 + L"\\tmp.zip"));
}

TEST_F(ArchiveTest, StreamAndBufferReportAFailedExtraction) {
    std::wstring zip = work + L"\\evil.zip";
    CraftArchive(zip, {{"fine.txt", "f"}, {"..\\escape.txt", "e"}});
    std::string bytes = ReadBytes(zip);
    std::vector<uint8_t> buf(bytes.begin(), bytes.end());
    EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromBuffer(buf, work + L"\\b"));
    EXPECT_FALSE(Exists(work + L"\\b\\fine.txt"));
    EXPECT_FALSE(Exists(work + L"\\escape.txt"));
    EXPECT_FALSE(Exists(work + L"\\b\\tmp.zip"));
    TMemoryStream garbage(std::vector<uint8_t>{1, 2, 3});
    EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromStream(garbage, work + L"\\g"));
    CraftArchive(zip, {{"tmp.zip", "would replace the archive being read"}});
    bytes = ReadBytes(zip);
    EXPECT_FALSE(TFileSystemHelper::ExtractZipFilesFromBuffer(std::vector<uint8_t>(bytes.begin(), bytes.end()),
                                                              work + L"\\t2"));
}

// --- running a program -------------------------------------------------------

TEST_F(ArchiveTest, MissingProgramGivesMinusTwoWithBothStackLines) {
    std::wstring missing = work + L"\\no-such-program.exe";
    EXPECT_EQ(TFileSystemHelper::ExecProgramWaiting(missing, L"/x"), -2);
    EXPECT_TRUE(LogHas(L"stack.log", L"==> TFileSystemHelper.ExecProgramWaiting FileSystemHelper"));
    EXPECT_TRUE(LogHas(L"stack.log", L"<== TFileSystemHelper.ExecProgramWaiting FileSystemHelper"));
    EXPECT_EQ(ReadBytes(Exe() + L"logs\\common.log").find(WideToAnsi(L"Вызов программы " + missing)),
              std::string::npos);
}

// A program that ends at once: the wait looks after its first second, so
// the count is at least 1 (how many seconds a loaded machine takes to start
// and end the program is not the test's business), and the log names it.
TEST_F(ArchiveTest, ProgramThatEndsGivesTheSecondsWaitedFromOne) {
    wchar_t origin[MAX_PATH] = {};
    ASSERT_TRUE(::GetEnvironmentVariableW(L"ECG_TEST_ORIGIN", origin, MAX_PATH));
    std::wstring prog = std::wstring(origin) + L"" ECG_QUICK_EXIT_EXE;
    ASSERT_TRUE(Exists(prog)) << WideToUtf8(prog);
    const int32_t waited = TFileSystemHelper::ExecProgramWaiting(prog, L"a b");
    EXPECT_GE(waited, 1);
    EXPECT_TRUE(LogHas(L"common.log", L"Вызов программы " + prog + L" с параметрами:a b"));
    EXPECT_TRUE(LogHas(L"common.log", L"Программа " + prog + L" выполнена за " + std::to_wstring(waited) + L" сек."));
}

// --- temporary files -----------------------------------------------------------

TEST_F(ArchiveTest, DelTmpFilesRemovesOnlyTmpAndTheFourDataFiles) {
    std::wstring d = work + L"\\tmpdir";
    for (const wchar_t* f : {L"a.tmp", L"B.TMP", L"c.tmpx", L"d.txt", L"tmf.dta", L"hol.dta", L"tmh.dta",
                             L"uid.dta", L"other.dta"})
        WriteBytes(d + L"\\" + f, "x");
    MakeDirs(d + L"\\folder.tmp");
    TFileSystemHelper::DelTMPFiles(d);
    for (const wchar_t* gone : {L"a.tmp", L"B.TMP", L"tmf.dta", L"hol.dta", L"tmh.dta", L"uid.dta"})
        EXPECT_FALSE(Exists(d + L"\\" + gone)) << WideToUtf8(gone);
    for (const wchar_t* kept : {L"c.tmpx", L"d.txt", L"other.dta", L"folder.tmp"})
        EXPECT_TRUE(Exists(d + L"\\" + kept)) << WideToUtf8(kept);
    EXPECT_NO_THROW(TFileSystemHelper::DelTMPFiles(work + L"\\no-such-folder"));
}

// --- profile folders ---------------------------------------------------------------

namespace {

void WriteDataXml(const std::wstring& folder, const std::string& body) {
    WriteBytes(folder + L"\\DATA.XML", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n" + body);
}

std::wstring LastListedFolder(const std::wstring& dir) {
    std::wstring last;
    WIN32_FIND_DATAW fd;
    TFindHandle h(::FindFirstFileW((dir + L"\\*.*").c_str(), &fd));
    if (h) do {
            std::wstring n = fd.cFileName;
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && n != L"." && n != L"..") last = n;
        } while (::FindNextFileW(h.get(), &fd));
    return last;
}

std::wstring FirstListed(const std::wstring& dir) {
    WIN32_FIND_DATAW fd;
    TFindHandle h(::FindFirstFileW((dir + L"\\*.*").c_str(), &fd));
    if (h) do {
            std::wstring n = fd.cFileName;
            if (n != L"." && n != L"..") return n;
        } while (::FindNextFileW(h.get(), &fd));
    return L"";
}

}  // namespace

TEST_F(ArchiveTest, ServerFolderIsTheLastListedSubfolder) {
    EXPECT_EQ(TFileSystemHelper::GetServerFolder(false), L"");
    EXPECT_EQ(TFileSystemHelper::GetServerFolder(true), L"");
    EXPECT_TRUE(LogHas(L"common.log", L"Не найдена папка с описанием серверов.", "ERROR"));
    MakeDirs(Exe() + L"Servers");
    EXPECT_EQ(TFileSystemHelper::GetServerFolder(true), L"");
    for (const wchar_t* s : {L"A", L"B", L"Сервер", L"C"}) MakeDirs(Exe() + L"Servers\\" + s);
    WriteBytes(Exe() + L"Servers\\zz-file.txt", "not a folder");
    std::wstring expected = LastListedFolder(Exe() + L"Servers");
    EXPECT_EQ(TFileSystemHelper::GetServerFolder(true), expected);
    EXPECT_EQ(TFileSystemHelper::GetServerFolder(false), L"");
}

TEST_F(ArchiveTest, DeviceDescriptionReadsOnlyTheFirstListedDevice) {
    std::wstring devices = Exe() + L"Profile\\Devices";
    WriteDataXml(devices + L"\\Dev1", "<ROOT><Name>Кардиограф 1</Name><Password>p1</Password><Zone>Z1</Zone>"
                                      "<PhoneNumber>+7 1</PhoneNumber></ROOT>");
    WriteDataXml(devices + L"\\Dev2", "<ROOT><Name>Second</Name><Password>p2</Password></ROOT>");
    std::wstring first = FirstListed(devices);
    TDeviceDescriptor d = TFileSystemHelper::GetDeviceDescription(false, L"ignored");
    EXPECT_EQ(d.DeviceID, first);
    if (first == L"Dev1") {
        EXPECT_EQ(d.DeviceName, L"Кардиограф 1");
        EXPECT_EQ(d.DevicePassword, L"p1");
        EXPECT_EQ(d.DeviceZone, L"Z1");
        EXPECT_EQ(d.DevicePhone, L"+7 1");
    } else {
        EXPECT_EQ(d.DeviceName, L"Second");
        EXPECT_EQ(d.DevicePassword, L"p2");
        EXPECT_EQ(d.DeviceZone, L"");  // missing element
        EXPECT_EQ(d.DevicePhone, L"");
    }
    EXPECT_EQ(d.DeviceTextDescription, L"");
    EXPECT_EQ(d.DeviceCryptoContainer, L"");
    EXPECT_TRUE(LogHas(L"stack.log", L"==> TFileSystemHelper.GetDeviceDescription FileSystemHelper"));
    EXPECT_TRUE(LogHas(L"stack.log", L"<== TFileSystemHelper.GetDeviceDescription FileSystemHelper"));
}

TEST_F(ArchiveTest, ExpertDescriptionUsesTheLastServerAndTheCallersPassword) {
    TDeviceDescriptor none = TFileSystemHelper::GetDeviceDescription(true, L"secret");  // no Servers
    EXPECT_EQ(none.DeviceID, L"");
    EXPECT_EQ(none.DevicePassword, L"");
    for (const wchar_t* s : {L"S1", L"S2"})
        WriteDataXml(Exe() + L"Servers\\" + s + L"\\Profile\\Experts\\Эксперт",
                     std::string("<ROOT><Name>") + WideToUtf8(s) + "</Name><Password>stored</Password>"
                     "<Zone>3</Zone><PhoneNumber>112</PhoneNumber><Name>second Name ignored</Name></ROOT>");
    std::wstring server = LastListedFolder(Exe() + L"Servers");
    TDeviceDescriptor d = TFileSystemHelper::GetDeviceDescription(true, L"secret");
    EXPECT_EQ(d.DeviceID, L"Эксперт");
    EXPECT_EQ(d.DeviceName, server);
    EXPECT_EQ(d.DevicePassword, L"secret");
    EXPECT_EQ(d.DeviceZone, L"3");
    EXPECT_EQ(d.DevicePhone, L"112");
}

TEST_F(ArchiveTest, DeviceDescriptionEdgeCases) {
    TDeviceDescriptor empty = TFileSystemHelper::GetDeviceDescription(false, L"");  // no Profile folder
    EXPECT_EQ(empty.DeviceID, L"");
    std::wstring devices = Exe() + L"Profile\\Devices";
    WriteDataXml(devices + L"\\Broken", "<ROOT><Name>unclosed</ROOT>");
    EXPECT_THROW(TFileSystemHelper::GetDeviceDescription(false, L""), EFrameworkError);
    RemoveTree(devices + L"\\Broken");
    WriteDataXml(devices + L"\\NoRoot", "<DATA><Name>x</Name></DATA>");
    EXPECT_THROW(TFileSystemHelper::GetDeviceDescription(false, L""), EFrameworkError);
    RemoveTree(devices + L"\\NoRoot");
    MakeDirs(devices + L"\\NoFile");
    EXPECT_THROW(TFileSystemHelper::GetDeviceDescription(false, L""), EFrameworkError);
    EXPECT_TRUE(LogHas(L"stack.log", L"<== TFileSystemHelper.GetDeviceDescription FileSystemHelper"));
}
