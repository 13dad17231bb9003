// Unwraps arbitrary received bytes and builds the mode text of any word found.
#include <cstddef>
#include <cstdint>

#include "device/ModeText.h"
#include "device/UCommWrapper.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    TBytes in(data, data + size);
    int start = 0;
    int finish = -1;
    TBytes out = TSTMCommandWrapper::unwrapResponse(in, start, finish);
    if (out.size() > in.size())
        __builtin_trap();
    if (finish != -1 && (finish < 0 || static_cast<std::size_t>(finish) >= in.size() || in[finish] != 0x04))
        __builtin_trap();
    if (out.size() >= 2)
        (void)CardiomoduleModeText(static_cast<std::uint16_t>(out[0] + 256 * out[1]));
    TBytes again = TSTMCommandWrapper::wrapRequest(out);
    if (again.size() != out.size() + 6)
        __builtin_trap();
    return 0;
}
