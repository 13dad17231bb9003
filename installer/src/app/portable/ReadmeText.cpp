#include "ReadmeText.h"

#include <cctype>
#include <cstdint>

namespace installer {
namespace {

// Windows-1251, bytes 0x80 to 0xBF (0xC0 to 0xFF are U+0410 to U+044F).
const char16_t kCp1251High[64] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457};

void PutUtf8(std::string& out, uint32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Length of the valid UTF-8 sequence at i, 0 when invalid.
size_t Utf8SeqLen(const std::string& s, size_t i, uint32_t* cp) {
  const auto b = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char c = b(i);
  if (c < 0x80) { *cp = c; return 1; }
  size_t n;
  uint32_t v, min;
  if ((c & 0xE0) == 0xC0) { n = 2; v = c & 0x1F; min = 0x80; }
  else if ((c & 0xF0) == 0xE0) { n = 3; v = c & 0x0F; min = 0x800; }
  else if ((c & 0xF8) == 0xF0) { n = 4; v = c & 0x07; min = 0x10000; }
  else return 0;
  if (i + n > s.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    if ((b(i + k) & 0xC0) != 0x80) return 0;
    v = (v << 6) | (b(i + k) & 0x3F);
  }
  if (v < min || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return 0;
  *cp = v;
  return n;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool StartsWith(const std::string& s, const char* p) { return s.compare(0, std::char_traits<char>::length(p), p) == 0; }

std::string DeclaredCharsetName(const std::string& bytes) {
  std::string head = Lower(bytes.substr(0, 4096));
  for (const char* key : {"charset", "encoding"}) {
    size_t pos = 0;
    while ((pos = head.find(key, pos)) != std::string::npos) {
      size_t i = pos + std::char_traits<char>::length(key);
      while (i < head.size() && (head[i] == ' ' || head[i] == '\t')) ++i;
      if (i < head.size() && head[i] == '=') {
        ++i;
        while (i < head.size() && (head[i] == ' ' || head[i] == '"' || head[i] == '\'')) ++i;
        size_t e = i;
        while (e < head.size() && (std::isalnum(static_cast<unsigned char>(head[e])) || head[e] == '-' ||
                                   head[e] == '_' || head[e] == '.' || head[e] == ':'))
          ++e;
        if (e > i) return head.substr(i, e - i);
      }
      pos = i;
    }
  }
  return {};
}

} // namespace

bool IsValidUtf8(const std::string& bytes) {
  uint32_t cp;
  for (size_t i = 0; i < bytes.size();) {
    size_t n = Utf8SeqLen(bytes, i, &cp);
    if (!n) return false;
    i += n;
  }
  return true;
}

TPageCharset DetectPageCharset(const std::string& bytes) {
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return TPageCharset::Utf8;
  if (StartsWith(bytes, "\xFF\xFE")) return TPageCharset::Utf16Le;
  if (StartsWith(bytes, "\xFE\xFF")) return TPageCharset::Utf16Be;
  const std::string name = DeclaredCharsetName(bytes);
  if (name == "utf-8" || name == "utf8") return TPageCharset::Utf8;
  if (name == "windows-1251" || name == "cp1251" || name == "cp-1251" || name == "x-cp1251" ||
      name == "win-1251")
    return TPageCharset::Windows1251;
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1" || name == "us-ascii" || name == "ascii")
    return TPageCharset::Latin1;
  return IsValidUtf8(bytes) ? TPageCharset::Utf8 : TPageCharset::Windows1251;
}

std::string DecodePage(const std::string& bytes) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  switch (DetectPageCharset(bytes)) {
  case TPageCharset::Utf8: {
    size_t i = StartsWith(bytes, "\xEF\xBB\xBF") ? 3 : 0;
    while (i < bytes.size()) {
      uint32_t cp = 0;
      size_t n = Utf8SeqLen(bytes, i, &cp);
      if (n) {
        out.append(bytes, i, n);
        i += n;
      } else {
        PutUtf8(out, 0xFFFD);
        ++i;
      }
    }
    break;
  }
  case TPageCharset::Utf16Le:
  case TPageCharset::Utf16Be: {
    const bool le = DetectPageCharset(bytes) == TPageCharset::Utf16Le;
    const auto unit = [&](size_t k) -> uint32_t {
      unsigned a = static_cast<unsigned char>(bytes[k]), b = static_cast<unsigned char>(bytes[k + 1]);
      return le ? (a | (b << 8)) : ((a << 8) | b);
    };
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
      uint32_t u = unit(i);
      if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
        uint32_t lo = unit(i + 2);
        if (lo >= 0xDC00 && lo <= 0xDFFF) {
          PutUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
          i += 2;
          continue;
        }
      }
      PutUtf8(out, u);  // a lone surrogate becomes U+FFFD
    }
    if (bytes.size() % 2) PutUtf8(out, 0xFFFD);
    break;
  }
  case TPageCharset::Windows1251:
    for (unsigned char c : bytes) {
      if (c < 0x80) out += static_cast<char>(c);
      else if (c >= 0xC0) PutUtf8(out, 0x0410 + (c - 0xC0));
      else PutUtf8(out, kCp1251High[c - 0x80]);
    }
    break;
  case TPageCharset::Latin1:
    for (unsigned char c : bytes) PutUtf8(out, c);
    break;
  }
  return out;
}

namespace {

bool DecodeEntity(const std::string& s, size_t amp, size_t* end, std::string& out) {
  size_t semi = s.find(';', amp + 1);
  if (semi == std::string::npos || semi - amp > 12) return false;
  std::string name = s.substr(amp + 1, semi - amp - 1);
  uint32_t cp = 0;
  if (!name.empty() && name[0] == '#') {
    bool hex = name.size() > 1 && (name[1] == 'x' || name[1] == 'X');
    size_t k = hex ? 2 : 1;
    if (k >= name.size()) return false;
    for (; k < name.size(); ++k) {
      char c = name[k];
      int d;
      if (c >= '0' && c <= '9') d = c - '0';
      else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
      else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
      else return false;
      cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
      if (cp > 0x10FFFF) cp = 0x110000;  // stays out of range, becomes U+FFFD
    }
    if (cp == 0) cp = 0xFFFD;
  } else {
    static const struct { const char* n; uint32_t cp; } kNames[] = {
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''}, {"nbsp", ' '},
        {"laquo", 0xAB}, {"raquo", 0xBB}, {"mdash", 0x2014}, {"ndash", 0x2013}, {"copy", 0xA9},
        {"hellip", 0x2026}, {"bull", 0x2022}, {"numero", 0x2116}};
    bool found = false;
    for (const auto& e : kNames)
      if (name == e.n) { cp = e.cp; found = true; break; }
    if (!found) return false;
  }
  PutUtf8(out, cp);
  *end = semi + 1;
  return true;
}

bool IsBlockTag(const std::string& tag) {
  static const char* const kBlocks[] = {"p", "div", "br", "li", "tr", "h1", "h2", "h3", "h4", "h5", "h6",
                                        "ul", "ol", "table", "title", "hr", "pre", "blockquote", "dd", "dt"};
  for (const char* b : kBlocks)
    if (tag == b) return true;
  return false;
}

} // namespace

std::string HtmlToText(const std::string& html) {
  std::string text;
  text.reserve(html.size());
  bool pendingBlank = false;
  size_t newlines = 2;  // no empty lines at the start
  // Ends the current line; a paragraph break leaves one empty line.
  const auto lineBreak = [&] {
    pendingBlank = false;
    if (newlines == 0) {
      text += '\n';
      ++newlines;
    }
  };
  const auto paraBreak = [&] {
    pendingBlank = false;
    while (newlines < 2) {
      text += '\n';
      ++newlines;
    }
  };
  const auto put = [&](const std::string& s) {
    if (pendingBlank && newlines == 0) text += ' ';
    pendingBlank = false;
    text += s;
    newlines = 0;
  };
  size_t i = 0;
  while (i < html.size()) {
    char c = html[i];
    if (c == '<') {
      if (html.compare(i, 4, "<!--") == 0) {
        size_t e = html.find("-->", i + 4);
        i = e == std::string::npos ? html.size() : e + 3;
        continue;
      }
      size_t e = html.find('>', i + 1);
      if (e == std::string::npos) break;  // an unclosed tag ends the text
      std::string inner = Lower(html.substr(i + 1, e - i - 1));
      bool closing = !inner.empty() && inner[0] == '/';
      size_t k = closing ? 1 : 0;
      size_t n = k;
      while (n < inner.size() && std::isalnum(static_cast<unsigned char>(inner[n]))) ++n;
      std::string tag = inner.substr(k, n - k);
      i = e + 1;
      if (!closing && (tag == "script" || tag == "style" || tag == "head")) {
        // "head" holds no visible text besides the title; skip it but keep the title out too.
        std::string close = "</" + tag;
        size_t end = Lower(html.substr(i)).find(close);
        if (end == std::string::npos) { i = html.size(); break; }
        size_t gt = html.find('>', i + end);
        i = gt == std::string::npos ? html.size() : gt + 1;
        continue;
      }
      if (IsBlockTag(tag)) {
        if (tag == "p" || tag == "table" || (tag.size() == 2 && tag[0] == 'h' && tag[1] >= '1' && tag[1] <= '6'))
          paraBreak();
        else
          lineBreak();
      } else if (tag == "td" || tag == "th") {
        if (closing) pendingBlank = true;
      }
      if (!closing && tag == "li") put("\xE2\x80\xA2 ");
      continue;
    }
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f') {
      pendingBlank = true;
      ++i;
      continue;
    }
    if (c == '&') {
      std::string ent;
      size_t end = i;
      if (DecodeEntity(html, i, &end, ent)) {
        if (ent == " " ) { pendingBlank = true; }  // &nbsp; folds like a blank
        else put(ent);
        i = end;
        continue;
      }
    }
    size_t j = i;
    while (j < html.size() && html[j] != '<' && html[j] != '&' && html[j] != ' ' && html[j] != '\t' &&
           html[j] != '\r' && html[j] != '\n' && html[j] != '\f')
      ++j;
    if (j == i) j = i + 1;
    put(html.substr(i, j - i));
    i = j;
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

} // namespace installer
