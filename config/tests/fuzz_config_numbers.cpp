// Number texts of the settings file: the readers never fail on any input,
// and every formatted number reads back in both separators.
#include "config/ConfigText.h"

#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

wchar_t ProcessDecimalSeparator() { return L','; }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::wstring text;
    for (std::size_t i = 0; i + 1 < size; i += 2) text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
    std::int32_t i32 = 0;
    if (TryReadConfigInt(text, i32) && TryReadConfigInt(std::to_wstring(i32), i32) == false) std::abort();
    for (wchar_t sep : {L'.', L','}) {
        double v = 0;
        if (!TryReadConfigDouble(text, sep, v)) continue;
        if (std::isnan(v) || std::isinf(v)) std::abort();  // the readers accept no such texts
        const std::wstring formatted = FormatConfigDouble(v, sep);
        double back = 0;
        if (!TryReadConfigDouble(formatted, sep, back)) std::abort();
        // Subnormal magnitudes read as zero; everything else within the 15 digits.
        if (std::fabs(v) >= DBL_MIN && std::fabs(back - v) > std::fabs(v) * 1e-14) std::abort();
    }
    if (FoldConfigName(text).size() != text.size()) std::abort();
    return 0;
}
