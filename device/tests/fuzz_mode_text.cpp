// Mode text of any word, also taken from reply bytes the way both transports
// take it (low byte first): one header line, one line per set bit 0..9, each
// ending in a single CR, never a line feed.
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/ModeText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    for (std::size_t i = 0; i + 1 < size || (size == 1 && i == 0); i += 2) {
        const std::uint16_t word = size == 1 ? data[0] : static_cast<std::uint16_t>(data[i] + 256 * data[i + 1]);
        const std::wstring text = CardiomoduleModeText(word);
        const std::wstring header = L"Режим работы:\r";
        if (text.compare(0, header.size(), header) != 0 || text.back() != L'\r')
            __builtin_trap();
        std::size_t lines = 0;
        for (wchar_t c : text) {
            if (c == L'\n')
                __builtin_trap();
            if (c == L'\r')
                ++lines;
        }
        if (lines != 1 + static_cast<std::size_t>(__builtin_popcount(word & 0x03FFu)))
            __builtin_trap();
        if (CardiomoduleModeText(static_cast<std::uint16_t>(word | 0xFC00u)) != text)
            __builtin_trap();
        if (size == 1)
            break;
    }
    return 0;
}
