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

// Each bit alone gives the header and its own line, verbatim.
TEST(ModeText, EveryBitItsOwnLine)
{
    const wchar_t* const lines[10] = {
        L"Контроль обрывов электродов включен",       L"Выравнивание изолинии включено",
        L"Непрерывный вывод данных АЦП",              L"АЦП1",
        L"АЦП2",                                      L"Частота работы 500Гц",
        L"Частота работы 1000Гц",                     L"Частота работы 2000Гц",
        L"Нормальная скорость выравнивания изолинии", L"Высокая скорость выравнивания изолинии",
    };
    for (int bit = 0; bit < 10; ++bit)
        EXPECT_EQ(CardiomoduleModeText(static_cast<uint16_t>(1u << bit)),
                  std::wstring(L"Режим работы:\r") + lines[bit] + L"\r")
            << "bit " << bit;
    std::wstring all = L"Режим работы:\r";
    for (const wchar_t* l : lines)
        all += std::wstring(l) + L"\r";
    EXPECT_EQ(CardiomoduleModeText(0x03FF), all) << "ascending bit order";
}
