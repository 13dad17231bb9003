// The lenient decoder must accept any bytes, and what it decodes must encode
// back to text that decodes to the same bytes.
#include "common/Base64.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<uint8_t> bytes = base64::Decode(text);
    size_t alphabet = 0;
    for (unsigned char c : text)
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/')
            ++alphabet;
    if (bytes.size() != alphabet * 6 / 8) std::abort();
    std::string again = base64::Encode(bytes);
    if (again.size() != base64::EncodedLength(bytes.size())) std::abort();
    if (base64::Decode(again) != bytes) std::abort();
    return 0;
}
