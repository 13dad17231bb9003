// Base64 (standard alphabet, "=" padding) in the framework's line format:
// CR LF after every 76 output characters, also after a final line of exactly
// 76 characters; a shorter final line has no line break.  The decoder is
// lenient: every byte outside the alphabet (line breaks, padding, blanks,
// anything else) is skipped and the complete bytes the rest gives are output.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace base64 {

constexpr size_t LineLength = 76;

// Exact length of the encoded text of n bytes (line breaks included).
size_t EncodedLength(size_t n) noexcept;
std::string Encode(const uint8_t* data, size_t n);
inline std::string Encode(const std::vector<uint8_t>& bytes) { return Encode(bytes.data(), bytes.size()); }

// Decoded bytes of text; never fails and never reads outside text.
std::vector<uint8_t> Decode(std::string_view text);

}  // namespace base64
