// Text of the release-notes page for the plain-text view: the page's bytes
// decoded to UTF-8 (byte-order mark, declared charset, or a guess) and its
// markup removed.  Free of the platform so that it is tested natively.
#pragma once

#include <string>

namespace installer {

enum class TPageCharset { Utf8, Utf16Le, Utf16Be, Windows1251, Latin1 };

// The charset named by the page: a byte-order mark first, then a
// charset=... declaration in the first 4 KB (meta tag or XML declaration);
// without either, UTF-8 when the bytes are valid UTF-8, else Windows-1251 (the
// ANSI code page of the systems the complex runs on).
TPageCharset DetectPageCharset(const std::string& bytes);

// The page's bytes as UTF-8 (a byte-order mark is dropped; invalid UTF-8
// sequences become U+FFFD).
std::string DecodePage(const std::string& bytes);

// Visible text of an HTML page given as UTF-8: tags, comments, scripts and
// styles removed, the common entities and numeric references decoded, blank
// runs folded into one blank, block ends (p, div, br, li, tr, headings)
// turned into line breaks ("\n"), at most one empty line in a row.
std::string HtmlToText(const std::string& html);

// Both, for the plain-text view.
inline std::string PageText(const std::string& bytes) { return HtmlToText(DecodePage(bytes)); }

bool IsValidUtf8(const std::string& bytes);

} // namespace installer
