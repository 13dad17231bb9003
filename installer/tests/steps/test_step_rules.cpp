// Platform-free rules of the deployment steps (native and Wine).
#include "portable/StepRules.h"

#include "common/Errors.h"

#include <gtest/gtest.h>

using namespace installer::rules;

TEST(ContainedPath, PlainRelativePathsStayInside) {
    for (const wchar_t* p : {L"a.txt", L"sub\\a.txt", L"sub/a.txt", L"a\\b\\c\\d.dll", L"a\\..\\b.txt",
                             L".\\a.txt", L"a\\\\b.txt", L"Кардио\\файл.txt", L"..a", L"a..b", L".hidden",
                             L"sub\\.\\x", L"CONFIG.SYS", L"COM10", L"LPT0.txt"})
        EXPECT_TRUE(IsContainedRelativePath(p)) << "row: " << WideToUtf8(p);
}

TEST(ContainedPath, EscapesAndOddNamesAreRefused) {
    for (const wchar_t* p :
         {L"", L"..", L"..\\a.txt", L"../a.txt", L"sub\\..\\..\\a.txt", L"a\\..", L"a\\.", L".",
          L"\\a.txt", L"/a.txt", L"\\\\server\\share\\a.txt", L"//server/share/a.txt", L"C:\\a.txt",
          L"C:a.txt", L"c:", L"a.txt:stream", L"a.txt::$DATA", L"\\\\?\\C:\\a.txt", L"sub\\", L"sub/",
          L"...\\a.txt", L"sub\\...", L". .\\a", L"a. ", L"a.", L"a \\b", L"CON", L"nul.txt", L"sub\\com1",
          L"LPT9.log", L"aux", L"a*b", L"a?b", L"a<b", L"a>b", L"a|b", L"a\"b", L"a\tb", L"a\nb"})
        EXPECT_FALSE(IsContainedRelativePath(p)) << "row: " << WideToUtf8(p);
}

TEST(ShortcutName, TakesLinkNameOrFileNameWithLnkExtension) {
    struct Row {
        const wchar_t *file, *link, *expected;
    } rows[] = {
        {L"C:\\Quorvel12_393\\Quorvel12.exe", L"", L"Quorvel12.lnk"},
        {L"C:\\Quorvel12_393\\Quorvel12.exe", L"Кардио", L"Кардио.lnk"},
        {L"C:\\Quorvel12_393\\Quorvel12.exe", L"Кардио.версия 2", L"Кардио.lnk"},
        {L"C:\\Q.d\\prog", L"", L"prog.lnk"},
        {L"C:prog.exe", L"", L"prog.lnk"},
        {L"C:\\a\\b.c.exe", L"", L"b.c.lnk"},
        {L"x", L"d:\\x\\y.z", L"y.lnk"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(ShortcutFileName(r.file, r.link), r.expected) << "row: " << WideToUtf8(r.file) << " / "
                                                                << WideToUtf8(r.link);
}

TEST(ReleaseVersion, IntegersAndConversionErrors) {
    EXPECT_EQ(ParseInteger(L"1"), 1);
    EXPECT_EQ(ParseInteger(L" 2 "), 2);
    EXPECT_EQ(ParseInteger(L"-7"), -7);
    EXPECT_EQ(ParseInteger(L"+12"), 12);
    EXPECT_EQ(ParseInteger(L"2147483647"), 2147483647);
    EXPECT_EQ(ParseInteger(L"-2147483648"), -2147483647 - 1);
    for (const wchar_t* bad : {L"", L" ", L"abc", L"1a", L"1.0", L"0x1", L"2147483648", L"-2147483649",
                               L"99999999999999999999", L"+", L"-", L"1 2"}) {
        try {
            int v = ParseInteger(bad);
            ADD_FAILURE() << "row: " << WideToUtf8(bad) << " gave " << v;
        } catch (const EFrameworkError& e) {
            EXPECT_EQ(e.Message(), L"'" + std::wstring(bad) + L"' is not a valid integer value")
                << "row: " << WideToUtf8(bad);
        }
    }
}

TEST(FloatText, ShortestFormWithGivenSeparator) {
    EXPECT_EQ(FloatText(1.0, L","), L"1");
    EXPECT_EQ(FloatText(1.0, L"."), L"1");
    EXPECT_EQ(FloatText(1.5, L","), L"1,5");
    EXPECT_EQ(FloatText(1.5, L"."), L"1.5");
    EXPECT_EQ(FloatText(-0.25, L","), L"-0,25");
    EXPECT_EQ(FloatText(0.1, L"."), L"0.1");
    EXPECT_EQ(FloatText(1e20, L"."), L"1E20");
    EXPECT_EQ(FloatText(1.5e-7, L","), L"1,5E-7");
    EXPECT_EQ(FloatText(123456789012345.0, L"."), L"123456789012345");
}
