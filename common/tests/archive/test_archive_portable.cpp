// Entry-name rules of the extraction, the component-wise containment check and
// the figures of the packing log line.
#include "common/ArchiveRules.h"

#include <gtest/gtest.h>

using archive_rules::TNameFault;

TEST(EntryName, SafeNamesGiveTheirComponents) {
    struct Row { const wchar_t* name; std::vector<std::wstring> comps; bool folder; } rows[] = {
        {L"a.txt", {L"a.txt"}, false},
        {L"sub\\a.txt", {L"sub", L"a.txt"}, false},
        {L"sub/a.txt", {L"sub", L"a.txt"}, false},
        {L"sub\\", {L"sub"}, true},
        {L"Папка\\Файл.txt", {L"Папка", L"Файл.txt"}, false},
        {L"..a\\b..c", {L"..a", L"b..c"}, false},
        {L".hidden", {L".hidden"}, false},
        {L"console\\com10.txt", {L"console", L"com10.txt"}, false},
        {L"nul_\\lpt", {L"nul_", L"lpt"}, false},
    };
    for (const auto& r : rows) {
        archive_rules::TEntryName e;
        ASSERT_EQ(archive_rules::CheckEntryName(r.name, e), TNameFault::None) << "row " << testing::PrintToString(std::wstring(r.name));
        EXPECT_EQ(e.Components, r.comps) << testing::PrintToString(std::wstring(r.name));
        EXPECT_EQ(e.IsFolder, r.folder) << testing::PrintToString(std::wstring(r.name));
    }
}

TEST(EntryName, EveryEscapeIsRefused) {
    struct Row { const wchar_t* name; TNameFault fault; } rows[] = {
        {L"", TNameFault::Empty},
        {L"\\", TNameFault::Absolute},
        {L"..\\evil.txt", TNameFault::DotComponent},
        {L"../evil.txt", TNameFault::DotComponent},
        {L"sub\\..\\..\\evil.txt", TNameFault::DotComponent},
        {L"sub/../x", TNameFault::DotComponent},
        {L"..", TNameFault::DotComponent},
        {L".\\x", TNameFault::DotComponent},
        {L"\\Windows\\evil.dll", TNameFault::Absolute},
        {L"/etc/passwd", TNameFault::Absolute},
        {L"\\\\server\\share\\x", TNameFault::Absolute},
        {L"//server/share/x", TNameFault::Absolute},
        {L"C:\\evil.txt", TNameFault::Colon},
        {L"C:evil.txt", TNameFault::Colon},
        {L"file.txt:stream", TNameFault::Colon},
        {L"file.txt::$DATA", TNameFault::Colon},
        {L"evil.", TNameFault::TrailingDotBlank},
        {L"evil ", TNameFault::TrailingDotBlank},
        {L"sub.\\x", TNameFault::TrailingDotBlank},
        {L"...", TNameFault::TrailingDotBlank},
        {L"CON", TNameFault::ReservedDevice},
        {L"con", TNameFault::ReservedDevice},
        {L"NUL.txt", TNameFault::ReservedDevice},
        {L"sub\\nul", TNameFault::ReservedDevice},
        {L"COM1", TNameFault::ReservedDevice},
        {L"com9.log", TNameFault::ReservedDevice},
        {L"LPT1", TNameFault::ReservedDevice},
        {L"lpt3.tar.gz", TNameFault::ReservedDevice},
        {L"AUX", TNameFault::ReservedDevice},
        {L"PRN.doc", TNameFault::ReservedDevice},
        {L"CON .txt", TNameFault::ReservedDevice},
        {L"CONIN$", TNameFault::ReservedDevice},
        {L"COM\u00B9", TNameFault::ReservedDevice},
        {L"a\\\\b", TNameFault::EmptyComponent},
        {L"a//", TNameFault::EmptyComponent},
        {L"a\tb", TNameFault::BadCharacter},
        {L"a?b", TNameFault::BadCharacter},
        {L"a*b", TNameFault::BadCharacter},
        {L"a|b", TNameFault::BadCharacter},
        {L"a<b>", TNameFault::BadCharacter},
        {L"a\"b", TNameFault::BadCharacter},
    };
    for (const auto& r : rows) {
        archive_rules::TEntryName e;
        e.Components = {L"sentinel"};
        EXPECT_EQ(archive_rules::CheckEntryName(r.name, e), r.fault)
            << "row " << testing::PrintToString(std::wstring(r.name));
        EXPECT_TRUE(e.Components.empty()) << testing::PrintToString(std::wstring(r.name));
    }
    std::wstring nul(L"a\0b", 3);
    archive_rules::TEntryName e;
    EXPECT_EQ(archive_rules::CheckEntryName(nul, e), TNameFault::BadCharacter);
}

TEST(EntryName, LengthBounds) {
    archive_rules::TEntryName e;
    EXPECT_EQ(archive_rules::CheckEntryName(std::wstring(255, L'a'), e), TNameFault::None);
    EXPECT_EQ(archive_rules::CheckEntryName(std::wstring(256, L'a'), e), TNameFault::TooLong);
    std::wstring deep;
    while (deep.size() <= archive_rules::MaxNameLength) deep += L"abc\\";
    EXPECT_EQ(archive_rules::CheckEntryName(deep + L"x", e), TNameFault::TooLong);
}

TEST(PathInside, WholeComponentsOnly) {
    struct Row { const wchar_t* folder; const wchar_t* path; bool inside; } rows[] = {
        {L"C:\\a\\b\\", L"C:\\a\\b\\c.txt", true},
        {L"C:\\a\\b", L"C:\\a\\b\\c\\d.txt", true},
        {L"C:\\a\\b\\", L"C:\\a\\b", true},
        {L"C:\\a\\b\\", L"C:\\a\\bc\\x.txt", false},  // a string prefix, not a component
        {L"C:\\a\\b\\", L"C:\\a\\x.txt", false},
        {L"C:\\a\\b\\", L"c:\\A\\B\\x.txt", true},
        {L"C:\\a\\b\\", L"D:\\a\\b\\x.txt", false},
        {L"C:\\a\\b\\", L"C:\\a\\b\\..\\x.txt", false},
        {L"\\\\srv\\share\\", L"\\\\srv\\share\\x", true},
        {L"\\\\srv\\share\\", L"\\srv\\share\\x", false},
        {L"C:\\Папка\\", L"C:\\Папка\\x", true},
        {L"C:\\Папка\\", L"C:\\Папка2\\x", false},
        {L"", L"C:\\x", false},
    };
    for (const auto& r : rows)
        EXPECT_EQ(archive_rules::IsPathInside(r.folder, r.path), r.inside)
            << testing::PrintToString(std::wstring(r.folder)) << " / " << testing::PrintToString(std::wstring(r.path));
}

TEST(PackFigures, RoundHalfToEven) {
    struct Row { double x; int64_t r; } rows[] = {
        {25.0, 25}, {0.5, 0}, {1.5, 2}, {2.5, 2}, {3.5, 4}, {2.4999, 2}, {2.5001, 3},
        {-0.5, 0}, {-1.5, -2}, {-2.5, -2}, {0.0, 0}, {99.5, 100}, {100.5, 100},
    };
    for (const auto& r : rows) EXPECT_EQ(archive_rules::RoundHalfEven(r.x), r.r) << r.x;
}

TEST(PackFigures, RatioAndLogLine) {
    EXPECT_DOUBLE_EQ(archive_rules::CompressionRatio(250, 1000), 0.25);
    EXPECT_EQ(archive_rules::CompressionRatio(22, 0), 0.0);  // nothing packed: no division
    EXPECT_EQ(archive_rules::PackLogLine(L"C:\\x\\a.zip", 1000, 0.25),
              L"Упаковка файла: C:\\x\\a.zip завершена. Исходный размер файлов:1000. Коэфф. сжатия:25");
    // 0.125 * 100 = 12.5 goes to the even neighbour 12; 0.135 -> 13.5 -> 14
    EXPECT_EQ(archive_rules::PackLogLine(L"z", 8, 0.125), L"Упаковка файла: z завершена. Исходный размер файлов:8. Коэфф. сжатия:12");
    EXPECT_EQ(archive_rules::PackLogLine(L"z", 0, 0.0), L"Упаковка файла: z завершена. Исходный размер файлов:0. Коэфф. сжатия:0");
    EXPECT_EQ(archive_rules::PackLogLine(L"z", -5, 0.0), L"Упаковка файла: z завершена. Исходный размер файлов:-5. Коэфф. сжатия:0");
}

namespace {
// A Unicode Path field: version, CRC-32 (little-endian) and the UTF-8 name.
std::string UnicodeField(uint32_t crc, const std::string& utf8, char version = 1) {
    std::string f;
    const auto put = [&f](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) f.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    put(0x7075, 2);
    put(static_cast<uint32_t>(5 + utf8.size()), 2);
    f.push_back(version);
    put(crc, 4);
    return f + utf8;
}
}  // namespace

TEST(UnicodePathField, FoundOnlyWithVersionOneAndTheNameFieldsCrc) {
    using archive_rules::FindUnicodePathField;
    const std::string other = std::string("\x0a\x00\x04\x00", 4) + "abcd";
    std::string name = "<unchanged>";
    EXPECT_TRUE(FindUnicodePathField(UnicodeField(0x12345678u, "\xD0\x96.txt"), 0x12345678u, name));
    EXPECT_EQ(name, "\xD0\x96.txt");
    EXPECT_TRUE(FindUnicodePathField(other + UnicodeField(0xCAFEBABEu, "a/b"), 0xCAFEBABEu, name)) << "after another field";
    EXPECT_EQ(name, "a/b");

    name = "<unchanged>";
    EXPECT_FALSE(FindUnicodePathField("", 0, name));
    EXPECT_FALSE(FindUnicodePathField(other, 0, name));
    EXPECT_FALSE(FindUnicodePathField(UnicodeField(0x12345678u, "x"), 0x12345679u, name)) << "CRC of another name";
    EXPECT_FALSE(FindUnicodePathField(UnicodeField(7, "x", 2), 7, name)) << "unknown version";
    // The first field counts; a later matching one does not.
    EXPECT_FALSE(FindUnicodePathField(UnicodeField(1, "x") + UnicodeField(7, "y"), 7, name));
    // A field longer than the block, or too short for its own header.
    std::string cut = UnicodeField(7, "long name");
    EXPECT_FALSE(FindUnicodePathField(cut.substr(0, cut.size() - 1), 7, name));
    EXPECT_FALSE(FindUnicodePathField(std::string("\x75\x70\x03\x00\x01\x07\x00", 7), 7, name));
    EXPECT_FALSE(FindUnicodePathField(std::string("\x75\x70", 2), 7, name));
    EXPECT_EQ(name, "<unchanged>");
}
