#include <gtest/gtest.h>

#include "device/ModeText.h"

TEST(ModeText, Word0021)
{
    EXPECT_EQ(CardiomoduleModeText(0x0021),
              L"Режим работы:\rКонтроль обрывов электродов включен\rЧастота работы 500Гц\r");
}

TEST(ModeText, ZeroIsHeaderOnly)
{
    EXPECT_EQ(CardiomoduleModeText(0), L"Режим работы:\r");
}

TEST(ModeText, HighBitsIgnoredNoLineFeed)
{
    EXPECT_EQ(CardiomoduleModeText(0xFC00), L"Режим работы:\r");
    const std::wstring all = CardiomoduleModeText(0xFFFF);
    EXPECT_EQ(all.find(L'\n'), std::wstring::npos);
    EXPECT_EQ(std::count(all.begin(), all.end(), L'\r'), 11);
    EXPECT_NE(all.find(L"\rВысокая скорость выравнивания изолинии\r"), std::wstring::npos);
    EXPECT_LT(all.find(L"АЦП1"), all.find(L"АЦП2"));
}
