#include <gtest/gtest.h>

#include <string>

#include "portable/ReadmeText.h"

using installer::DecodePage;
using installer::DetectPageCharset;
using installer::HtmlToText;
using installer::PageText;
using installer::TPageCharset;

namespace {

// "Версия" in UTF-8 and in Windows-1251.
const std::string kVersiyaUtf8 = "\xD0\x92\xD0\xB5\xD1\x80\xD1\x81\xD0\xB8\xD1\x8F";
const std::string kVersiya1251 = "\xC2\xE5\xF0\xF1\xE8\xFF";

TEST(ReadmeCharset, DetectionRows) {
  struct Row {
    const char* name;
    std::string bytes;
    TPageCharset expected;
  } rows[] = {
      {"utf-8 bom", "\xEF\xBB\xBF<p>" + kVersiyaUtf8, TPageCharset::Utf8},
      {"utf-16le bom", std::string("\xFF\xFE<\0p\0", 6), TPageCharset::Utf16Le},
      {"utf-16be bom", std::string("\xFE\xFF\0<\0p", 6), TPageCharset::Utf16Be},
      {"meta windows-1251", "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">" +
                                kVersiya1251,
       TPageCharset::Windows1251},
      {"meta charset quoted upper", "<META CHARSET=\"Windows-1251\">x", TPageCharset::Windows1251},
      {"meta utf-8 over invalid bytes", "<meta charset=utf-8>\xC2", TPageCharset::Utf8},
      {"xml declaration", "<?xml version=\"1.0\" encoding=\"cp1251\"?><p>", TPageCharset::Windows1251},
      {"bom wins over declaration", "\xEF\xBB\xBF<meta charset=windows-1251>", TPageCharset::Utf8},
      {"undeclared valid utf-8", "<p>" + kVersiyaUtf8, TPageCharset::Utf8},
      {"undeclared 1251 bytes", "<p>" + kVersiya1251, TPageCharset::Windows1251},
      {"latin-1 declared", "<meta charset=iso-8859-1>\xE9", TPageCharset::Latin1},
      {"unknown charset, ascii", "<meta charset=koi8-r>abc", TPageCharset::Utf8},
      {"empty", "", TPageCharset::Utf8},
  };
  for (const auto& r : rows) EXPECT_EQ(DetectPageCharset(r.bytes), r.expected) << r.name;
}

TEST(ReadmeCharset, DecodesWindows1251) {
  EXPECT_EQ(DecodePage("<meta charset=windows-1251>" + kVersiya1251), "<meta charset=windows-1251>" + kVersiyaUtf8);
  // Ё, ё, № and the euro sign from the upper half of the table.
  EXPECT_EQ(DecodePage("<meta charset=windows-1251>\xA8\xB8\xB9\x88"),
            "<meta charset=windows-1251>\xD0\x81\xD1\x91\xE2\x84\x96\xE2\x82\xAC");
}

TEST(ReadmeCharset, DropsTheBomAndRepairsInvalidUtf8) {
  EXPECT_EQ(DecodePage("\xEF\xBB\xBF" + kVersiyaUtf8), kVersiyaUtf8);
  // Declared UTF-8 with a stray byte and a truncated sequence at the end.
  EXPECT_EQ(DecodePage("<meta charset=utf-8>a\xFF" "b\xD0"), "<meta charset=utf-8>a\xEF\xBF\xBD" "b\xEF\xBF\xBD");
  // Overlong form of "/" is not accepted.
  EXPECT_EQ(DecodePage("<meta charset=utf-8>\xC0\xAF"), "<meta charset=utf-8>\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST(ReadmeCharset, DecodesUtf16WithSurrogatesAndOddLength) {
  // BOM, "A", U+1F600 as a surrogate pair, a lone high surrogate, one odd byte.
  std::string le("\xFF\xFE" "A\0" "\x3D\xD8\x00\xDE" "\x3D\xD8" "x", 11);
  EXPECT_EQ(DecodePage(le), "A\xF0\x9F\x98\x80\xEF\xBF\xBD\xEF\xBF\xBD");
  std::string be("\xFE\xFF\0A", 4);
  EXPECT_EQ(DecodePage(be), "A");
}

TEST(ReadmeText, StripsTagsCommentsScriptsAndHead) {
  const std::string html =
      "<html><head><title>T</title><style>p{color:red}</style></head><body>"
      "<!-- hidden <p>comment</p> --><script>var a = '<p>';</script>"
      "<h1>" + kVersiyaUtf8 + " 12.393</h1><p>First   line\r\n  continues</p><p>Second<br>Third</p></body></html>";
  EXPECT_EQ(HtmlToText(html), kVersiyaUtf8 + " 12.393\n\nFirst line continues\n\nSecond\nThird");
}

TEST(ReadmeText, DecodesEntities) {
  EXPECT_EQ(HtmlToText("a &amp; b &lt;c&gt; &quot;d&quot; &#1042;&#x412; &laquo;x&raquo; &bogus; &#0;"),
            "a & b <c> \"d\" \xD0\x92\xD0\x92 \xC2\xABx\xC2\xBB &bogus; \xEF\xBF\xBD");
  // A numeric reference out of range becomes the replacement character; an
  // overlong one stays as written.
  EXPECT_EQ(HtmlToText("&#x110000; &#99999999999999;"), "\xEF\xBF\xBD &#99999999999999;");
}

TEST(ReadmeText, ListsAndTables) {
  EXPECT_EQ(HtmlToText("<ul><li>one</li><li>two</li></ul>"), "\xE2\x80\xA2 one\n\xE2\x80\xA2 two");
  EXPECT_EQ(HtmlToText("<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>"), "a b\nc");
}

TEST(ReadmeText, UnclosedMarkupEndsTheText) {
  EXPECT_EQ(HtmlToText("text <b"), "text");
  EXPECT_EQ(HtmlToText("x<!-- never closed"), "x");
  EXPECT_EQ(HtmlToText("y<script>never closed"), "y");
  EXPECT_EQ(HtmlToText(""), "");
}

TEST(ReadmeText, WholePageIn1251) {
  const std::string page = "<html><head><meta http-equiv=Content-Type content=\"text/html; charset=windows-1251\">"
                           "</head><body><p>" + kVersiya1251 + " 12.393</p></body></html>";
  EXPECT_EQ(PageText(page), kVersiyaUtf8 + " 12.393");
}

} // namespace
