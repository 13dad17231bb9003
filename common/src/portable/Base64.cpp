#include "common/Base64.h"

#include <array>

namespace base64 {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int8_t, 256> MakeReverse() {
    std::array<int8_t, 256> r{};
    for (auto& v : r) v = -1;
    for (int i = 0; i < 64; ++i) r[static_cast<uint8_t>(kAlphabet[i])] = static_cast<int8_t>(i);
    return r;
}
constexpr std::array<int8_t, 256> kReverse = MakeReverse();

}  // namespace

size_t EncodedLength(size_t n) noexcept {
    size_t chars = (n + 2) / 3 * 4;
    return chars + chars / LineLength * 2;
}

std::string Encode(const uint8_t* data, size_t n) {
    std::string out;
    out.resize(EncodedLength(n));
    char* o = out.data();
    size_t column = 0;
    auto put = [&](char c) {
        *o++ = c;
        if (++column == LineLength) {
            *o++ = '\r';
            *o++ = '\n';
            column = 0;
        }
    };
    size_t i = 0;
    // Whole lines: 57 input bytes give 76 characters and a line break.
    while (column == 0 && n - i >= 57) {
        for (size_t k = 0; k < 19; ++k, i += 3) {
            uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
            o[0] = kAlphabet[v >> 18];
            o[1] = kAlphabet[(v >> 12) & 63];
            o[2] = kAlphabet[(v >> 6) & 63];
            o[3] = kAlphabet[v & 63];
            o += 4;
        }
        *o++ = '\r';
        *o++ = '\n';
    }
    for (; n - i >= 3; i += 3) {
        uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8) | data[i + 2];
        put(kAlphabet[v >> 18]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put(kAlphabet[v & 63]);
    }
    if (n - i == 1) {
        uint32_t v = uint32_t(data[i]) << 16;
        put(kAlphabet[v >> 18]);
        put(kAlphabet[(v >> 12) & 63]);
        put('=');
        put('=');
    } else if (n - i == 2) {
        uint32_t v = (uint32_t(data[i]) << 16) | (uint32_t(data[i + 1]) << 8);
        put(kAlphabet[v >> 18]);
        put(kAlphabet[(v >> 12) & 63]);
        put(kAlphabet[(v >> 6) & 63]);
        put('=');
    }
    return out;
}

std::vector<uint8_t> Decode(std::string_view text) {
    std::vector<uint8_t> out;
    out.reserve(text.size() / 4 * 3 + 3);
    uint32_t acc = 0;
    int bits = 0;
    for (unsigned char c : text) {
        int v = kReverse[c];
        if (v < 0) continue;
        acc = (acc << 6) | static_cast<uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<uint8_t>(acc >> bits));
            acc &= (1u << bits) - 1;
        }
    }
    return out;
}

}  // namespace base64
