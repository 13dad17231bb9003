#include "common/DateTime.h"
#include "common/Errors.h"
#include "common/MemoryStream.h"

#include <gtest/gtest.h>

TEST(DateTime, KnownDays) {
    struct Row { int y, m, d; double expected; } rows[] = {
        {1899, 12, 30, 0.0}, {1899, 12, 31, 1.0}, {1900, 1, 1, 2.0},
        {1970, 1, 1, 25569.0}, {2000, 2, 29, 36585.0}, {2020, 6, 11, 43993.0},
        {1899, 12, 29, -1.0},
    };
    for (const Row& r : rows) {
        TDateTimeParts p;
        p.Year = r.y; p.Month = r.m; p.Day = r.d;
        EXPECT_DOUBLE_EQ(EncodeDateTime(p), r.expected) << r.y << "-" << r.m << "-" << r.d;
    }
}

TEST(DateTime, RoundTripWithMilliseconds) {
    TDateTimeParts p{2026, 12, 9, 23, 59, 58, 999};
    TDateTimeParts q = DecodeDateTime(EncodeDateTime(p));
    EXPECT_EQ(q.Year, 2026); EXPECT_EQ(q.Month, 12); EXPECT_EQ(q.Day, 9);
    EXPECT_EQ(q.Hour, 23); EXPECT_EQ(q.Minute, 59); EXPECT_EQ(q.Second, 58); EXPECT_EQ(q.Millisecond, 999);
}

TEST(Utf8, RoundTripAndInvalidBytes) {
    std::wstring text = L"Каталог создан №1 \U0001F600";
    EXPECT_EQ(Utf8ToWide(WideToUtf8(text)), text);
    EXPECT_EQ(Utf8ToWide(std::string("\xC0\xAF", 2)), std::wstring(L"\uFFFD\uFFFD"));  // overlong
    EXPECT_EQ(Utf8ToWide(std::string("\xE2\x82", 2)), std::wstring(L"\uFFFD\uFFFD"));  // truncated
    EFrameworkError e(L"Ошибка");
    EXPECT_STREQ(e.what(), "\xD0\x9E\xD1\x88\xD0\xB8\xD0\xB1\xD0\xBA\xD0\xB0");
}

TEST(MemoryStream, ReadPastEndStopsAtSize) {
    TMemoryStream ms;
    ms.Write("abc", 3);
    ms.SetPosition(1);
    char buf[8] = {'#', '#', '#', '#', '#', '#', '#', '#'};
    EXPECT_EQ(ms.Read(buf, 8), 2u);
    EXPECT_EQ(buf[0], 'b'); EXPECT_EQ(buf[1], 'c'); EXPECT_EQ(buf[2], '#');
    ms.SetPosition(10);
    EXPECT_EQ(ms.Read(buf, 1), 0u);
}
