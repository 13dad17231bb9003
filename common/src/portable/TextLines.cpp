#include "common/TextLines.h"

#include "common/Errors.h"

#include <stdexcept>

namespace textlines {
namespace {

template <class Char>
std::vector<std::basic_string<Char>> SplitT(std::basic_string_view<Char> text) {
    std::vector<std::basic_string<Char>> lines;
    size_t start = 0, i = 0;
    while (i < text.size()) {
        Char c = text[i];
        if (c == Char('\r') || c == Char('\n')) {
            lines.emplace_back(text.substr(start, i - start));
            if (c == Char('\r') && i + 1 < text.size() && text[i + 1] == Char('\n')) ++i;
            start = ++i;
        } else {
            ++i;
        }
    }
    if (start < text.size()) lines.emplace_back(text.substr(start));
    return lines;
}

template <class Char>
std::basic_string<Char> JoinT(const std::vector<std::basic_string<Char>>& lines) {
    size_t total = 0;
    for (const auto& l : lines) total += l.size() + 2;
    std::basic_string<Char> out;
    out.reserve(total);
    for (const auto& l : lines) {
        out += l;
        out += Char('\r');
        out += Char('\n');
    }
    return out;
}

}  // namespace

std::vector<std::wstring> Split(std::wstring_view text) { return SplitT(text); }
std::vector<std::string> Split(std::string_view text) { return SplitT(text); }
std::wstring Join(const std::vector<std::wstring>& lines) { return JoinT(lines); }
std::string Join(const std::vector<std::string>& lines) { return JoinT(lines); }
std::wstring Normalize(std::wstring_view text) { return Join(Split(text)); }

TBomInfo DetectBom(const uint8_t* data, size_t n) noexcept {
    if (n >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) return {TTextEncoding::Utf8, 3};
    if (n >= 2 && data[0] == 0xFF && data[1] == 0xFE) return {TTextEncoding::Utf16LE, 2};
    if (n >= 2 && data[0] == 0xFE && data[1] == 0xFF) return {TTextEncoding::Utf16BE, 2};
    return {TTextEncoding::Ansi, 0};
}

std::string BomBytes(TTextEncoding e) {
    switch (e) {
    case TTextEncoding::Utf8: return "\xEF\xBB\xBF";
    case TTextEncoding::Utf16LE: return "\xFF\xFE";
    case TTextEncoding::Utf16BE: return "\xFE\xFF";
    case TTextEncoding::Ansi: break;
    }
    return {};
}

std::wstring DecodeUnicode(TTextEncoding e, const uint8_t* data, size_t n) {
    if (e == TTextEncoding::Ansi) throw std::invalid_argument("DecodeUnicode: ANSI needs the code page");
    if (e == TTextEncoding::Utf8) return Utf8ToWide(std::string(reinterpret_cast<const char*>(data), n));
    // UTF-16: gather code units, then go through UTF-8 rules for pairing so
    // that wchar_t of either width gets well-formed text.
    std::u16string units;
    units.reserve(n / 2);
    for (size_t i = 0; i + 1 < n; i += 2) {
        uint16_t u = e == TTextEncoding::Utf16LE ? uint16_t(data[i] | (data[i + 1] << 8))
                                                 : uint16_t((data[i] << 8) | data[i + 1]);
        units.push_back(static_cast<char16_t>(u));
    }
    std::wstring out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        uint32_t c = units[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < units.size() && units[i + 1] >= 0xDC00 && units[i + 1] < 0xE000) {
            uint32_t cp = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00u);
            ++i;
            if constexpr (sizeof(wchar_t) == 2) {
                out += static_cast<wchar_t>(c);
                out += static_cast<wchar_t>(units[i]);
            } else {
                out += static_cast<wchar_t>(cp);
            }
            continue;
        }
        if (c >= 0xD800 && c < 0xE000) c = 0xFFFD;
        out += static_cast<wchar_t>(c);
    }
    return out;
}

std::string EncodeUnicode(TTextEncoding e, std::wstring_view text) {
    if (e == TTextEncoding::Ansi) throw std::invalid_argument("EncodeUnicode: ANSI needs the code page");
    if (e == TTextEncoding::Utf8) return WideToUtf8(std::wstring(text));
    std::u16string units;
    units.reserve(text.size());
    for (wchar_t wc : text) {
        uint32_t c = static_cast<uint32_t>(wc);
        if (c >= 0x10000) {
            c -= 0x10000;
            units.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            units.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        } else {
            units.push_back(static_cast<char16_t>(c));
        }
    }
    std::string out;
    out.reserve(units.size() * 2);
    for (char16_t u : units) {
        char lo = static_cast<char>(u & 0xFF), hi = static_cast<char>(u >> 8);
        if (e == TTextEncoding::Utf16LE) { out += lo; out += hi; }
        else { out += hi; out += lo; }
    }
    return out;
}

}  // namespace textlines
