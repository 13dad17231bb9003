// Text describing a cardiomodule's mode word.
#pragma once

#include <cstdint>
#include <string>

// "Режим работы:" and one line per set bit 0..9, each line ending in a single CR.
std::wstring CardiomoduleModeText(std::uint16_t modeWord);
