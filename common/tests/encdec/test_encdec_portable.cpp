// Base64 line format, the lenient decoder and the multi-line text conventions.
#include "common/Base64.h"
#include "common/TextLines.h"

#include <gtest/gtest.h>

#include <random>

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t seed = 1) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 37);
    return v;
}

}  // namespace

TEST(Base64Encode, KnownVectors) {
    struct Row { const char* in; const char* out; } rows[] = {
        {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFF\xFE\xFD", "//79"},
    };
    for (const Row& r : rows) {
        std::string in(r.in);
        EXPECT_EQ(base64::Encode(reinterpret_cast<const uint8_t*>(in.data()), in.size()), r.out) << "input " << r.in;
    }
}

TEST(Base64Encode, LineBreaksAfterEvery76Characters) {
    struct Row { size_t bytes; std::vector<size_t> lines; bool finalBreak; } rows[] = {
        {56, {76}, true},        // 76 characters including padding: a full line
        {57, {76}, true},        // a final line of exactly 76 characters ends with CR LF
        {58, {76, 4}, false},    // second line of 4 characters, no CR LF
        {114, {76, 76}, true},
        {115, {76, 76, 4}, false},
        {1, {4}, false},
    };
    for (const Row& r : rows) {
        std::string text = base64::Encode(Bytes(r.bytes));
        EXPECT_EQ(text.size(), base64::EncodedLength(r.bytes)) << r.bytes << " bytes";
        std::vector<size_t> lengths;
        size_t start = 0;
        bool finalBreak = false;
        while (start < text.size()) {
            size_t crlf = text.find("\r\n", start);
            if (crlf == std::string::npos) { lengths.push_back(text.size() - start); break; }
            lengths.push_back(crlf - start);
            start = crlf + 2;
            finalBreak = start == text.size();
        }
        EXPECT_EQ(lengths, r.lines) << r.bytes << " bytes";
        EXPECT_EQ(finalBreak, r.finalBreak) << r.bytes << " bytes";
    }
}

TEST(Base64Encode, FiftySevenAndFiftyEightBytesExactly) {
    std::string t57 = base64::Encode(Bytes(57));
    ASSERT_EQ(t57.size(), 78u);
    EXPECT_EQ(t57.substr(76), "\r\n");
    std::string t58 = base64::Encode(Bytes(58));
    ASSERT_EQ(t58.size(), 82u);
    EXPECT_EQ(t58.substr(76, 2), "\r\n");
    EXPECT_EQ(t58.substr(78).size(), 4u);
    EXPECT_EQ(t58.back(), '=');
}

TEST(Base64Decode, SkipsEverythingOutsideTheAlphabet) {
    struct Row { const char* name; std::string in; std::string out; } rows[] = {
        {"plain", "Zm9vYmFy", "foobar"},
        {"line breaks", "Zm9v\r\nYmFy\r\n", "foobar"},
        {"padding", "Zm9vYg==", "foob"},
        {"no padding", "Zm9vYg", "foob"},
        {"blanks and junk", " Z m9v!!Y*m\tFy ", "foobar"},
        {"one stray character gives nothing", "Zm9vY", "foo"},
        {"empty", "", ""},
        {"only junk", "==\r\n..", ""},
        {"high bytes", std::string("Zm\xD0\xB0\x80" "9v"), "foo"},
        {"padding in the middle is skipped", "Zg==Zg==", std::string("f\x06\x60", 3)},  // read as ZgZg
    };
    for (const Row& r : rows) {
        std::vector<uint8_t> got = base64::Decode(r.in);
        EXPECT_EQ(std::string(got.begin(), got.end()), r.out) << r.name;
    }
}

TEST(Base64, RoundTripAllLengthsAndByteValues) {
    std::mt19937 rng(7);
    for (size_t n = 0; n < 400; ++n) {
        std::vector<uint8_t> data(n);
        for (auto& b : data) b = static_cast<uint8_t>(rng());
        EXPECT_EQ(base64::Decode(base64::Encode(data)), data) << n << " bytes";
    }
}

TEST(TextLines, SplitAtEveryKindOfLineBreak) {
    struct Row { const wchar_t* name; std::wstring in; std::vector<std::wstring> out; } rows[] = {
        {L"empty", L"", {}},
        {L"one line", L"abc", {L"abc"}},
        {L"final CR LF adds no line", L"abc\r\n", {L"abc"}},
        {L"CR LF", L"a\r\nb", {L"a", L"b"}},
        {L"lone CR", L"a\rb", {L"a", L"b"}},
        {L"lone LF", L"a\nb", {L"a", L"b"}},
        {L"LF CR is two breaks", L"a\n\rb", {L"a", L"", L"b"}},
        {L"empty lines kept", L"\r\n\r\nx", {L"", L"", L"x"}},
        {L"Cyrillic", L"Привет\nмир", {L"Привет", L"мир"}},
    };
    for (const Row& r : rows) EXPECT_EQ(textlines::Split(r.in), r.out) << r.name;
}

TEST(TextLines, JoinEndsEveryLineWithCrLf) {
    EXPECT_EQ(textlines::Join(std::vector<std::wstring>{}), L"");
    EXPECT_EQ(textlines::Join(std::vector<std::wstring>{L"a", L"", L"b"}), L"a\r\n\r\nb\r\n");
    EXPECT_EQ(textlines::Normalize(L"a\nb\rc"), L"a\r\nb\r\nc\r\n");
    EXPECT_EQ(textlines::Join(textlines::Split(std::string("x\ny"))), "x\r\ny\r\n");
}

TEST(TextLines, ByteOrderMarks) {
    struct Row { const char* name; std::string bytes; textlines::TTextEncoding enc; size_t len; } rows[] = {
        {"utf8", "\xEF\xBB\xBFx", textlines::TTextEncoding::Utf8, 3},
        {"utf16le", "\xFF\xFEx\0", textlines::TTextEncoding::Utf16LE, 2},
        {"utf16be", "\xFE\xFF\0x", textlines::TTextEncoding::Utf16BE, 2},
        {"ansi", "abc", textlines::TTextEncoding::Ansi, 0},
        {"truncated utf8 mark", "\xEF\xBB", textlines::TTextEncoding::Ansi, 0},
        {"empty", "", textlines::TTextEncoding::Ansi, 0},
    };
    for (const Row& r : rows) {
        auto info = textlines::DetectBom(reinterpret_cast<const uint8_t*>(r.bytes.data()), r.bytes.size());
        EXPECT_EQ(info.Encoding, r.enc) << r.name;
        EXPECT_EQ(info.BomLength, r.len) << r.name;
    }
}

TEST(TextLines, UnicodeFormsRoundTrip) {
    const std::wstring text = L"Имя <1a>\r\n\U0001F600 ok";
    for (auto e : {textlines::TTextEncoding::Utf8, textlines::TTextEncoding::Utf16LE,
                   textlines::TTextEncoding::Utf16BE}) {
        std::string bytes = textlines::EncodeUnicode(e, text);
        EXPECT_EQ(textlines::DecodeUnicode(e, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()), text)
            << static_cast<int>(e);
    }
    std::string odd("\x41\x00\x42", 3);  // odd final byte dropped
    EXPECT_EQ(textlines::DecodeUnicode(textlines::TTextEncoding::Utf16LE,
                                       reinterpret_cast<const uint8_t*>(odd.data()), odd.size()),
              L"A");
    std::string lone("\x00\xD8\x41\x00", 4);  // lone high surrogate
    EXPECT_EQ(textlines::DecodeUnicode(textlines::TTextEncoding::Utf16LE,
                                       reinterpret_cast<const uint8_t*>(lone.data()), lone.size()),
              L"\uFFFDA");
}
