// Multi-line text conventions of the framework's string lists, and the
// byte-order marks that decide how a text file's bytes are read.
//   Split: lines end at CR LF, CR or LF; a final line break adds no empty line.
//   Join:  every line, the last included, ends with CR LF.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace textlines {

std::vector<std::wstring> Split(std::wstring_view text);
std::vector<std::string> Split(std::string_view text);
std::wstring Join(const std::vector<std::wstring>& lines);
std::string Join(const std::vector<std::string>& lines);
// Split, then join: the text with every line ending in CR LF.
std::wstring Normalize(std::wstring_view text);

// Encoding of a text file's bytes, from its byte-order mark.
enum class TTextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct TBomInfo {
    TTextEncoding Encoding = TTextEncoding::Ansi;
    size_t BomLength = 0;  // bytes of the mark at the start, 0 for Ansi
};

TBomInfo DetectBom(const uint8_t* data, size_t n) noexcept;
// The mark written in front of a text in that encoding (empty for Ansi).
std::string BomBytes(TTextEncoding e);

// Decoding and encoding of the Unicode forms (the ANSI form needs the
// system's code page and is done by the Windows side).  Invalid sequences
// become U+FFFD; an odd final byte of UTF-16 is dropped.
std::wstring DecodeUnicode(TTextEncoding e, const uint8_t* data, size_t n);
std::string EncodeUnicode(TTextEncoding e, std::wstring_view text);

}  // namespace textlines
