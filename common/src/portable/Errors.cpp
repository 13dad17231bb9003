#include "common/Errors.h"

#include <cstdint>

std::string WideToUtf8(const std::wstring& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(s[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size()) {
                uint32_t lo = static_cast<uint32_t>(s[i + 1]);
                if (lo >= 0xDC00 && lo < 0xE000) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;  // lone surrogate
        if (c > 0x10FFFF) c = 0xFFFD;
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::wstring Utf8ToWide(const std::string& s) {
    std::wstring out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        unsigned char b = static_cast<unsigned char>(s[i]);
        uint32_t c = 0xFFFD;
        size_t len = 1;
        if (b < 0x80) {
            c = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
        }
        if (len > 1) {
            if (i + len > s.size()) {
                len = 1;
            } else {
                uint32_t v = b & (0x7F >> len);
                bool ok = true;
                for (size_t k = 1; k < len; ++k) {
                    unsigned char cb = static_cast<unsigned char>(s[i + k]);
                    if ((cb & 0xC0) != 0x80) { ok = false; break; }
                    v = (v << 6) | (cb & 0x3F);
                }
                static const uint32_t minimum[5] = {0, 0, 0x80, 0x800, 0x10000};
                if (ok && v >= minimum[len] && v <= 0x10FFFF && !(v >= 0xD800 && v < 0xE000)) c = v;
                else len = 1;
            }
        }
        if (c >= 0x10000 && sizeof(wchar_t) == 2) {
            c -= 0x10000;
            out += static_cast<wchar_t>(0xD800 + (c >> 10));
            out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<wchar_t>(c);
        }
        i += len;
    }
    return out;
}

EFrameworkError::EFrameworkError(std::wstring message)
    : FMessage(std::move(message)), FUtf8(WideToUtf8(FMessage)) {}
