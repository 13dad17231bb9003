// TEncDecHelper on Windows: variant byte arrays, Base64 through streams and
// text, and the XML digit-name repair on ANSI and UTF-8 files.
#include "common/EncDecHelper.h"
#include "common/Errors.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

TMemoryStream StreamOf(const std::string& s) {
    TMemoryStream ms;
    ms.Write(s.data(), s.size());
    return ms;
}

std::string StreamText(const TMemoryStream& ms) { return std::string(ms.Bytes().begin(), ms.Bytes().end()); }

std::string Narrow(const std::wstring& w) {
    std::string s;
    for (wchar_t c : w) s += static_cast<char>(c);
    return s;
}

void Bounds(const VARIANT& v, LONG& lo, LONG& hi) {
    ASSERT_EQ(V_VT(&v), VT_ARRAY | VT_UI1);
    ASSERT_EQ(::SafeArrayGetDim(V_ARRAY(&v)), 1u);
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetLBound(V_ARRAY(&v), 1, &lo));
    ASSERT_HRESULT_SUCCEEDED(::SafeArrayGetUBound(V_ARRAY(&v), 1, &hi));
}

// A variant array of bytes with the given lower bound.
TOleVariant ByteArray(const std::string& bytes, LONG lowerBound) {
    SAFEARRAYBOUND b{static_cast<ULONG>(bytes.size()), lowerBound};
    TOleVariant v;
    V_VT(&v.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(&v.get()) = ::SafeArrayCreate(VT_UI1, 1, &b);
    TSafeArrayData lock(V_ARRAY(&v.get()));
    if (!bytes.empty()) std::memcpy(lock.data(), bytes.data(), bytes.size());
    return v;
}

std::wstring TempFile(const wchar_t* name, const std::string& bytes) {
    std::wstring path = ExeFolder() + name;
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD put = 0;
    ::WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
    return path;
}

std::string FileBytes(const std::wstring& path) {
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string s(1 << 16, '\0');
    DWORD got = 0;
    ::ReadFile(h.get(), s.data(), static_cast<DWORD>(s.size()), &got, nullptr);
    s.resize(got);
    return s;
}

}  // namespace

TEST(SegmentData, ThreeBytesRoundTrip) {
    TMemoryStream src = StreamOf("\x01\x02\x03");
    src.SetPosition(2);  // the whole stream is taken, whatever its position
    TOleVariant v = TEncDecHelper::GetSegmentDATA(&src);
    LONG lo = -7, hi = -7;
    Bounds(v.get(), lo, hi);
    EXPECT_EQ(lo, 0);
    EXPECT_EQ(hi, 2);
    std::unique_ptr<TMemoryStream> out = std::make_unique<TMemoryStream>();
    TEncDecHelper::SetSegmentDATA(v.get(), out);
    ASSERT_TRUE(out);
    EXPECT_EQ(StreamText(*out), std::string("\x01\x02\x03"));
    EXPECT_EQ(out->Position(), 0u);
}

TEST(SegmentData, NullAndEmptyStreamsGiveNoElements) {
    TMemoryStream empty;
    for (const TMemoryStream* s : {static_cast<const TMemoryStream*>(nullptr), static_cast<const TMemoryStream*>(&empty)}) {
        TOleVariant v = TEncDecHelper::GetSegmentDATA(s);
        LONG lo = -7, hi = -7;
        Bounds(v.get(), lo, hi);
        EXPECT_EQ(lo, 0);
        EXPECT_EQ(hi, -1);
        std::unique_ptr<TMemoryStream> out;
        TEncDecHelper::SetSegmentDATA(v.get(), out);
        ASSERT_TRUE(out);
        EXPECT_EQ(out->Size(), 0u);
    }
}

TEST(SegmentData, NullVariantGivesNullStream) {
    std::unique_ptr<TMemoryStream> out = std::make_unique<TMemoryStream>(std::vector<uint8_t>{9, 9});
    TOleVariant v = TOleVariant::Null();
    EXPECT_NO_THROW(TEncDecHelper::SetSegmentDATA(v.get(), out));
    EXPECT_FALSE(out);
}

TEST(SegmentData, NotAByteArrayRaisesAndLeavesNull) {
    TOleVariant number;
    V_VT(&number.get()) = VT_I4;
    V_I4(&number.get()) = 5;
    TOleVariant empty;
    SAFEARRAYBOUND two[2] = {{2, 0}, {2, 0}};
    TOleVariant matrix;
    V_VT(&matrix.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(&matrix.get()) = ::SafeArrayCreate(VT_UI1, 2, two);
    struct Row { const char* name; const VARIANT* v; } rows[] = {
        {"integer", &number.get()}, {"empty", &empty.get()}, {"two dimensions", &matrix.get()}};
    for (const Row& r : rows) {
        std::unique_ptr<TMemoryStream> out = std::make_unique<TMemoryStream>();
        EXPECT_THROW(TEncDecHelper::SetSegmentDATA(*r.v, out), EFrameworkError) << r.name;
        EXPECT_FALSE(out) << r.name;
    }
}

TEST(SegmentData, ArrayNotStartingAtZeroIsCopiedWithoutOverrun) {
    TOleVariant v = ByteArray("abc", 1);  // bounds 1..3
    std::unique_ptr<TMemoryStream> out;
    TEncDecHelper::SetSegmentDATA(v.get(), out);
    ASSERT_TRUE(out);
    EXPECT_EQ(StreamText(*out), "abc");
}

TEST(Base64Stream, EncodesFromThePositionInLinesOf76) {
    std::string bytes(60, 'x');
    TMemoryStream ms = StreamOf(bytes);
    ms.SetPosition(3);  // 57 bytes remain: one full line
    std::wstring t = TEncDecHelper::GetBase64String(ms);
    ASSERT_EQ(t.size(), 78u);
    EXPECT_EQ(t.substr(76), L"\r\n");
    EXPECT_EQ(ms.Position(), ms.Size());
    TMemoryStream ms58 = StreamOf(std::string(58, 'y'));
    ms58.SetPosition(0);
    std::wstring t58 = TEncDecHelper::GetBase64String(ms58);
    ASSERT_EQ(t58.size(), 82u);
    EXPECT_EQ(t58.substr(76, 2), L"\r\n");
    EXPECT_EQ(t58.substr(78).find(L'\r'), std::wstring::npos);
    EXPECT_EQ(TEncDecHelper::GetBase64StringFromBA(std::vector<uint8_t>(58, 'y')), t58);
    EXPECT_EQ(TEncDecHelper::GetBase64StringFromBA({}), L"");
}

TEST(Base64Stream, DecodesAtThePositionAndSkipsJunk) {
    TMemoryStream ms = StreamOf("12345");
    ms.SetPosition(2);
    TEncDecHelper::SetStreamFromBase64String(L"Zm9v\r\nYmFy==\u0416!", ms);  // "foobar", a Cyrillic letter and junk
    EXPECT_EQ(StreamText(ms), "12foobar");
    EXPECT_EQ(ms.Position(), 8u);
}

TEST(Base64Text, ThreeLettersEncodeFiveBytes) {
    std::wstring t = TEncDecHelper::GetBase64StringFromString(L"abc");
    EXPECT_EQ(t, L"YWJjDQo=");
    TMemoryStream ms;
    TEncDecHelper::SetStreamFromBase64String(t, ms);
    EXPECT_EQ(StreamText(ms), "abc\r\n");
    EXPECT_EQ(TEncDecHelper::GetBase64StringFromString(L""), L"");
}

TEST(Base64Text, RoundTripEndsEveryLineWithCrLf) {
    struct Row { const wchar_t* in; const wchar_t* out; } rows[] = {
        {L"one", L"one\r\n"},
        {L"a\nb\rc\r\nd", L"a\r\nb\r\nc\r\nd\r\n"},
        {L"x\r\n\r\ny\r\n", L"x\r\n\r\ny\r\n"},
        {L"", L""},
    };
    for (const Row& r : rows)
        EXPECT_EQ(TEncDecHelper::SetStringFromBase64String(TEncDecHelper::GetBase64StringFromString(r.in)), r.out)
            << Narrow(r.in);
    if (::GetACP() == 1251) {
        std::wstring ru = L"Пациент: Иванов\nЗаключение";
        EXPECT_EQ(TEncDecHelper::SetStringFromBase64String(TEncDecHelper::GetBase64StringFromString(ru)),
                  L"Пациент: Иванов\r\nЗаключение\r\n");
        // ANSI bytes in the stream: one byte per letter
        TMemoryStream ms;
        TEncDecHelper::SetStreamFromBase64String(TEncDecHelper::GetBase64StringFromString(L"Я"), ms);
        EXPECT_EQ(StreamText(ms), "\xDF\r\n");
    }
}

TEST(Base64Text, ByteOrderMarkDecidesTheEncoding) {
    struct Row { const char* name; std::string bytes; std::wstring text; } rows[] = {
        {"utf8", "\xEF\xBB\xBF\xD0\x96\x0A" "b", L"\u0416\r\nb\r\n"},
        {"utf16le", std::string("\xFF\xFE\x16\x04\x0D\x00\x0A\x00", 8), L"\u0416\r\n"},
        {"utf16be", std::string("\xFE\xFF\x04\x16", 4), L"\u0416\r\n"},
    };
    for (const Row& r : rows) {
        std::wstring b64 = TEncDecHelper::GetBase64StringFromBA(std::vector<uint8_t>(r.bytes.begin(), r.bytes.end()));
        EXPECT_EQ(TEncDecHelper::SetStringFromBase64String(b64), r.text) << r.name;
    }
}

TEST(CorrectXml, AnsiFileGetsTheNodeNameBeforeDigits) {
    std::wstring path = TempFile(L"ansi.xml", "<r><1a>x</1a><b>y</b>< 2c/><3/>\n<9z></9z></r>");
    EXPECT_EQ(TEncDecHelper::CorrectXMLDigitNodes(path, L"N"), 0);
    EXPECT_EQ(FileBytes(path), "<r><N1a>x</N1a><b>y</b>< 2c/><N3/>\r\n<N9z></N9z></r>\r\n");
}

TEST(CorrectXml, AnsiCyrillicBytesStayAnsi) {
    if (::GetACP() != 1251) GTEST_SKIP() << "needs code page 1251";
    std::wstring path = TempFile(L"ansi1251.xml", "<\xC8\xEC\xFF><1>\xDF</1></\xC8\xEC\xFF>");
    EXPECT_EQ(TEncDecHelper::CorrectXMLDigitNodes(path, L"\u0423"), 0);  // "У"
    EXPECT_EQ(FileBytes(path), "<\xC8\xEC\xFF><\xD3" "1>\xDF</\xD3" "1></\xC8\xEC\xFF>\r\n");
}

TEST(CorrectXml, Utf8FileKeepsItsMark) {
    std::string before = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r><2\xD0\x96>\xD0\x96</2\xD0\x96></r>";
    std::wstring path = TempFile(L"utf8.xml", before);
    EXPECT_EQ(TEncDecHelper::CorrectXMLDigitNodes(path, L"Node$1"), 0);  // "$" taken literally
    EXPECT_EQ(FileBytes(path),
              "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<r><Node$12\xD0\x96>\xD0\x96</Node$12\xD0\x96></r>\r\n");
}

TEST(CorrectXml, FailuresGiveMinusOneAndLeaveTheFile) {
    EXPECT_EQ(TEncDecHelper::CorrectXMLDigitNodes(ExeFolder() + L"missing.xml", L"N"), -1);

    std::wstring locked = TempFile(L"locked.xml", "<1/>");
    {
        TFileHandle lock(::CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(lock);
        EXPECT_EQ(TEncDecHelper::CorrectXMLDigitNodes(locked, L"N"), -1);
    }
    EXPECT_EQ(FileBytes(locked), "<1/>");

    std::wstring ro = TempFile(L"ro.xml", "<1/>");
    ::SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_READONLY);
    TFileHandle probe(::CreateFileW(ro.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
    if (probe) {
        probe.reset();
        ::SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "read-only files are writable here (running as root)";
    }
    EXPECT_EQ(TEncDecHelper::CorrectXMLDigitNodes(ro, L"N"), -1);
    EXPECT_EQ(FileBytes(ro), "<1/>");
    ::SetFileAttributesW(ro.c_str(), FILE_ATTRIBUTE_NORMAL);
}
