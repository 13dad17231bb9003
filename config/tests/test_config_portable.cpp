// Typed options, option groups and the number texts, without Windows.  The
// process's decimal separator is this test's own setting.
#include "config/ConfigOption.h"
#include "config/ConfigOptionGroup.h"
#include "config/ConfigText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {
wchar_t gSeparator = L',';

struct TSeparator {
    explicit TSeparator(wchar_t s) : FOld(gSeparator) { gSeparator = s; }
    ~TSeparator() { gSeparator = FOld; }
    wchar_t FOld;
};
}  // namespace

wchar_t ProcessDecimalSeparator() { return gSeparator; }

TEST(ConfigName, FoldsLatinOnly) {
    EXPECT_EQ(L"PORT_1", FoldConfigName(L"Port_1"));
    EXPECT_EQ(L"ПОРТ", FoldConfigName(L"ПОРТ"));
    EXPECT_EQ(L"порт", FoldConfigName(L"порт"));  // Cyrillic unchanged
    EXPECT_EQ(L"ÄÖäö{}@[`", FoldConfigName(L"ÄÖäö{}@[`"));
    EXPECT_EQ(L"AZ", FoldConfigName(L"az"));
}

TEST(ConfigNumbers, Integers) {
    struct Row { const wchar_t* text; bool ok; std::int32_t value; } rows[] = {
        {L"0", true, 0}, {L"-7", true, -7}, {L"+12", true, 12}, {L"  5", true, 5},
        {L"2147483647", true, 2147483647}, {L"-2147483648", true, -2147483647 - 1},
        {L"2147483648", false, 0}, {L"-2147483649", false, 0}, {L"99999999999999999999", false, 0},
        {L"abc", false, 0}, {L"", false, 0}, {L"-", false, 0}, {L"1.5", false, 0}, {L"5 ", false, 0},
        {L"0x10", false, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "text #" << (&r - rows));
        std::int32_t v = 12345;
        EXPECT_EQ(r.ok, TryReadConfigInt(r.text, v));
        if (r.ok) EXPECT_EQ(r.value, v);
        else EXPECT_EQ(12345, v);  // untouched on failure
    }
}

TEST(ConfigNumbers, ReadDoubleWithGivenSeparator) {
    struct Row { const wchar_t* text; wchar_t sep; bool ok; double value; } rows[] = {
        {L"2.25", L'.', true, 2.25}, {L"2,25", L',', true, 2.25}, {L"2,25", L'.', false, 0},
        {L"2.25", L',', false, 0}, {L"-3", L'.', true, -3}, {L"1E3", L'.', true, 1000},
        {L"1,5e-2", L',', true, 0.015}, {L".5", L'.', true, 0.5}, {L"5.", L'.', true, 5},
        {L" 7 ", L'.', true, 7}, {L"", L'.', false, 0}, {L".", L'.', false, 0},
        {L"1e", L'.', false, 0}, {L"1.2.3", L'.', false, 0}, {L"yes", L'.', false, 0},
        {L"1e999", L'.', false, 0}, {L"1e-999", L'.', true, 0}, {L"1 000", L'.', false, 0}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row #" << (&r - rows));
        double v = -99;
        EXPECT_EQ(r.ok, TryReadConfigDouble(r.text, r.sep, v));
        if (r.ok) EXPECT_DOUBLE_EQ(r.value, v);
        else EXPECT_EQ(-99, v);
    }
}

TEST(ConfigNumbers, GeneralFormat) {
    struct Row { double value; const wchar_t* text; } rows[] = {
        {0, L"0"}, {1.5, L"1,5"}, {-1.5, L"-1,5"}, {2.25, L"2,25"}, {100, L"100"},
        {0.1, L"0,1"}, {1.0 / 3, L"0,333333333333333"}, {2.0 / 3, L"0,666666666666667"},
        {123456789012345.0, L"123456789012345"}, {1e15, L"1E15"}, {1234567890123456.0, L"1,23456789012346E15"},
        {0.00001, L"0,00001"}, {0.000012345, L"0,000012345"}, {0.000001, L"1E-6"}, {-2.5e-7, L"-2,5E-7"},
        {1e100, L"1E100"}, {1.7976931348623157e308, L"1,79769313486232E308"}, {5e-324, L"4,94065645841247E-324"},
        {0.1 + 0.2, L"0,3"}, {999999999999999.9, L"1E15"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row #" << (&r - rows));
        EXPECT_EQ(r.text, FormatConfigDouble(r.value, L','));
    }
    EXPECT_EQ(L"1.5", FormatConfigDouble(1.5, L'.'));
    EXPECT_EQ(L"NAN", FormatConfigDouble(std::nan(""), L'.'));
    EXPECT_EQ(L"-INF", FormatConfigDouble(-std::numeric_limits<double>::infinity(), L'.'));
}

TEST(ConfigOption, ConstructorsWriteTypedTexts) {
    TSeparator sep(L',');
    TConfigOption s(L"Name", std::wstring(L"Text"));
    EXPECT_EQ(L"string", s.OptionType());
    EXPECT_EQ(L"Text", s.Value());
    TConfigOption lit(L"Name", L"Lit");  // a literal is a string, not a Boolean
    EXPECT_EQ(L"string", lit.OptionType());
    TConfigOption i(L"N", std::int32_t{-42});
    EXPECT_EQ(L"integer", i.OptionType());
    EXPECT_EQ(L"-42", i.Value());
    TConfigOption b(L"N", false);
    EXPECT_EQ(L"boolean", b.OptionType());
    EXPECT_EQ(L"False", b.Value());
    TConfigOption d(L"N", 1.5);
    EXPECT_EQ(L"double", d.OptionType());
    EXPECT_EQ(L"1,5", d.Value());
    EXPECT_FALSE(s.Changed() || i.Changed() || b.Changed() || d.Changed());
}

TEST(ConfigOption, BooleanReadings) {
    TSeparator sep(L',');
    struct Row { const wchar_t* text; bool value; } rows[] = {
        {L"1", true}, {L"2", true}, {L"TRUE", true}, {L"True", true}, {L"true", true}, {L"-3", true},
        {L"0,5", true}, {L"0", false}, {L"false", false}, {L"FALSE", false}, {L"yes", false}, {L"", false},
        {L"0,0", false}, {L"tru", false}, {L"truee", false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "row #" << (&r - rows));
        TConfigOption o(L"B", std::wstring(r.text));
        EXPECT_EQ(r.value, o.GetBooleanValue());
    }
    // The number is read in the process's format: "0.5" is no number under a comma.
    TConfigOption point(L"B", std::wstring(L"0.5"));
    EXPECT_FALSE(point.GetBooleanValue());
    TSeparator dot(L'.');
    EXPECT_TRUE(point.GetBooleanValue());
}

TEST(ConfigOption, IntegerAndDoubleReadings) {
    EXPECT_EQ(-1, TConfigOption(L"I", std::wstring(L"abc")).GetIntegerValue());
    EXPECT_EQ(-7, TConfigOption(L"I", std::wstring(L"-7")).GetIntegerValue());
    for (wchar_t s : {L',', L'.'}) {
        TSeparator sep(s);
        EXPECT_DOUBLE_EQ(2.25, TConfigOption(L"D", std::wstring(L"2,25")).GetDoubleValue());
        EXPECT_DOUBLE_EQ(2.25, TConfigOption(L"D", std::wstring(L"2.25")).GetDoubleValue());
        EXPECT_EQ(0.0, TConfigOption(L"D", std::wstring(L"x")).GetDoubleValue());
        EXPECT_EQ(s, ProcessDecimalSeparator());  // the reader never changes the setting
    }
}

TEST(ConfigOption, ChangeTracking) {
    TConfigOption o(L"O", std::wstring(L"a"));
    o.SetValue(L"a");
    EXPECT_FALSE(o.Changed());
    o.SetStringValue(L"a");
    EXPECT_TRUE(o.Changed());
    o.Saved();
    EXPECT_FALSE(o.Changed());
    o.SetValue(L"A");  // case-sensitive comparison
    EXPECT_TRUE(o.Changed());
    o.SetValue(L"a");
    EXPECT_TRUE(o.Changed());  // stays true until Saved
    o.Saved();
    o.SetIntegerValue(5);
    EXPECT_TRUE(o.Changed());
    EXPECT_EQ(L"integer", o.OptionType());
    o.Saved();
    o.SetIntegerValue(5);
    EXPECT_FALSE(o.Changed());
    o.SetStringValue(L"x");
    EXPECT_EQ(L"integer", o.OptionType());  // the string setter keeps the type
}

TEST(ConfigGroup, LatinFoldingMergesCyrillicCaseDoesNot) {
    TConfigOptionGroup g(L"Options");
    g.AddOption(L"Port", std::int32_t{1});
    g.AddOption(L"PORT", std::int32_t{2});
    ASSERT_EQ(1u, g.GetOptionNames().Count());
    TConfigOption* o = g.GetOptionByName(L"port");
    ASSERT_NE(nullptr, o);
    EXPECT_EQ(L"Port", o->Name());
    EXPECT_EQ(L"2", o->Value());
    EXPECT_EQ(L"integer", o->OptionType());
    g.AddOption(L"Порт", std::wstring(L"a"));
    g.AddOption(L"ПОРТ", std::wstring(L"b"));
    EXPECT_EQ(3u, g.GetOptionNames().Count());
    EXPECT_EQ(L"a", g.GetOptionByName(L"Порт")->Value());
    EXPECT_EQ(L"b", g.GetOptionByName(L"ПОРТ")->Value());
    EXPECT_FALSE(g.CheckOptionExists(L"порт"));
}

TEST(ConfigGroup, TypeKeptOnStringUpdateTakenOnTypedUpdate) {
    TSeparator sep(L',');
    TConfigOptionGroup g(L"G");
    g.AddOption(L"N", std::int32_t{3});
    g.AddOption(L"n", std::wstring(L"17"));
    EXPECT_EQ(L"integer", g.GetOptionByName(L"N")->OptionType());
    EXPECT_EQ(L"17", g.GetOptionByName(L"N")->Value());
    g.AddOption(L"N", L"lit");
    EXPECT_EQ(L"integer", g.GetOptionByName(L"N")->OptionType());
    g.AddOption(L"N", true);
    EXPECT_EQ(L"boolean", g.GetOptionByName(L"N")->OptionType());
    EXPECT_EQ(L"True", g.GetOptionByName(L"N")->Value());
    g.AddOption(L"N", 0.5);
    EXPECT_EQ(L"double", g.GetOptionByName(L"N")->OptionType());
    EXPECT_EQ(L"0,5", g.GetOptionByName(L"N")->Value());
}

TEST(ConfigGroup, OwnershipOfAddedObjects) {
    TConfigOptionGroup g(L"G");
    auto first = std::make_unique<TConfigOption>(L"Key", std::wstring(L"1"));
    EXPECT_TRUE(g.AddOption(first));
    EXPECT_EQ(nullptr, first);
    auto second = std::make_unique<TConfigOption>(L"KEY", std::wstring(L"2"));
    EXPECT_FALSE(g.AddOption(second));
    ASSERT_NE(nullptr, second);  // stays the caller's
    EXPECT_EQ(L"1", g.GetOptionByName(L"key")->Value());
    std::unique_ptr<TConfigOption> none;
    EXPECT_FALSE(g.AddOption(none));
}

TEST(ConfigGroup, OrderRemovalAndClear) {
    TConfigOptionGroup g(L"G");
    for (const wchar_t* n : {L"c", L"a", L"B", L"Я", L"d"}) g.AddOption(n, std::wstring(L"v"));
    g.RemoveOption(L"b");
    g.RemoveOption(L"missing");
    const std::vector<std::wstring> expected = {L"C", L"A", L"Я", L"D"};
    EXPECT_EQ(expected, g.GetOptionNames().Items());
    EXPECT_EQ(nullptr, g.GetOptionByName(L"B"));
    g.Clear();
    EXPECT_EQ(0u, g.GetOptionNames().Count());
    EXPECT_EQ(nullptr, g.GetOptionByName(L"c"));
}

TEST(ConfigGroup, ChangedAndSaved) {
    TConfigOptionGroup g(L"G");
    g.AddOption(L"a", std::wstring(L"1"));
    g.AddOption(L"b", std::wstring(L"2"));
    EXPECT_FALSE(g.Changed());
    g.AddOption(L"b", std::wstring(L"3"));
    EXPECT_TRUE(g.Changed());
    g.Saved();
    EXPECT_FALSE(g.GetOptionByName(L"b")->Changed());
    EXPECT_FALSE(g.Changed());
}
