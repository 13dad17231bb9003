#include "device/ModeText.h"

std::wstring CardiomoduleModeText(std::uint16_t modeWord)
{
    static const wchar_t* const kLines[10] = {
        L"Контроль обрывов электродов включен",
        L"Выравнивание изолинии включено",
        L"Непрерывный вывод данных АЦП",
        L"АЦП1",
        L"АЦП2",
        L"Частота работы 500Гц",
        L"Частота работы 1000Гц",
        L"Частота работы 2000Гц",
        L"Нормальная скорость выравнивания изолинии",
        L"Высокая скорость выравнивания изолинии",
    };
    std::wstring text = L"Режим работы:\r";
    for (int bit = 0; bit < 10; ++bit) {
        if (modeWord & (1u << bit)) {
            text += kLines[bit];
            text += L'\r';
        }
    }
    return text;
}
