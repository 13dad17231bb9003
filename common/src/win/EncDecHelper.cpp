#include "common/EncDecHelper.h"

#include "TextFileWin.h"
#include "common/Base64.h"
#include "common/Errors.h"
#include "common/TextLines.h"
#include "common/Win32Error.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#ifndef PCRE2_STATIC
#define PCRE2_STATIC
#endif
#include <pcre2.h>

static_assert(sizeof(wchar_t) == sizeof(PCRE2_UCHAR16), "UTF-16 strings feed the 16-bit regex library");

namespace {

std::wstring AsciiToWide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::vector<uint8_t> DecodeBase64Text(const std::wstring& s) {
    // Base64 characters are ASCII: the ANSI form carries them byte for byte.
    return base64::Decode(WideToAnsi(s));
}

struct TPcreCodeDeleter {
    void operator()(pcre2_code_16* p) const noexcept { pcre2_code_free_16(p); }
};
struct TPcreMatchDataDeleter {
    void operator()(pcre2_match_data_16* p) const noexcept { pcre2_match_data_free_16(p); }
};

// Every match of pattern in text replaced by replacement ("$1" is the first
// group), all matches, left to right, PCRE2_NOTEMPTY.
std::wstring RegexReplaceAll(const std::wstring& text, const wchar_t* pattern, const std::wstring& replacement) {
    int errorCode = 0;
    PCRE2_SIZE errorOffset = 0;
    std::unique_ptr<pcre2_code_16, TPcreCodeDeleter> code(
        pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern), PCRE2_ZERO_TERMINATED, 0, &errorCode,
                         &errorOffset, nullptr));
    if (!code) throw EFrameworkError(L"Ошибка регулярного выражения");
    std::unique_ptr<pcre2_match_data_16, TPcreMatchDataDeleter> md(
        pcre2_match_data_create_from_pattern_16(code.get(), nullptr));
    if (!md) throw EFrameworkError(L"Недостаточно памяти");
    std::wstring out(text.size() + 64, L'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        PCRE2_SIZE outLen = out.size();
        int rc = pcre2_substitute_16(code.get(), reinterpret_cast<PCRE2_SPTR16>(text.data()), text.size(), 0,
                                     PCRE2_NOTEMPTY | PCRE2_SUBSTITUTE_GLOBAL | PCRE2_SUBSTITUTE_OVERFLOW_LENGTH,
                                     md.get(), nullptr, reinterpret_cast<PCRE2_SPTR16>(replacement.data()),
                                     replacement.size(), reinterpret_cast<PCRE2_UCHAR16*>(out.data()), &outLen);
        if (rc >= 0) {
            out.resize(outLen);
            return out;
        }
        if (rc != PCRE2_ERROR_NOMEMORY) break;
        out.assign(outLen + 1, L'\0');  // outLen now holds the length needed
    }
    throw EFrameworkError(L"Ошибка замены по регулярному выражению");
}

// nodeName literally in a replacement string: only "$" is special there.
std::wstring EscapeReplacement(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'$') out += L'$';
        out += c;
    }
    return out;
}

}  // namespace

TOleVariant TEncDecHelper::GetSegmentDATA(const TMemoryStream* srcStream) {
    const size_t n = srcStream ? srcStream->Size() : 0;
    if (n > 0x7FFFFFFFu) throw EFrameworkError(L"Поток слишком велик для массива варианта");
    SAFEARRAY* sa = ::SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(n));
    if (!sa) throw EFrameworkError(L"Недостаточно памяти для массива варианта");
    TOleVariant result;
    V_VT(&result.get()) = VT_ARRAY | VT_UI1;
    V_ARRAY(&result.get()) = sa;  // owned by result from here on
    if (n > 0) {
        TSafeArrayData lock(sa);
        if (!lock.valid()) throw EFrameworkError(L"Не удается получить доступ к массиву варианта");
        std::memcpy(lock.data(), srcStream->Data(), n);
    }
    return result;
}

void TEncDecHelper::SetSegmentDATA(const VARIANT& DATA, std::unique_ptr<TMemoryStream>& ImageStream) {
    ImageStream.reset();
    VARTYPE vt = V_VT(&DATA);
    if (vt == VT_NULL) return;
    SAFEARRAY* sa = nullptr;
    if (vt == (VT_ARRAY | VT_UI1)) sa = V_ARRAY(&DATA);
    else if (vt == (VT_BYREF | VT_ARRAY | VT_UI1) && V_ARRAYREF(&DATA)) sa = *V_ARRAYREF(&DATA);
    else if (vt == (VT_BYREF | VT_VARIANT) && V_VARIANTREF(&DATA)) return SetSegmentDATA(*V_VARIANTREF(&DATA), ImageStream);
    if (!sa) throw EFrameworkError(L"Недопустимый аргумент: ожидается массив байтов");
    if (::SafeArrayGetDim(sa) != 1 || ::SafeArrayGetElemsize(sa) != 1)
        throw EFrameworkError(L"Недопустимый аргумент: ожидается одномерный массив байтов");
    LONG lo = 0, hi = -1;
    if (FAILED(::SafeArrayGetLBound(sa, 1, &lo)) || FAILED(::SafeArrayGetUBound(sa, 1, &hi)))
        throw EFrameworkError(L"Недопустимый аргумент: границы массива не читаются");
    // The count comes from both bounds: an array not starting at 0 must not
    // make us read past its end.
    const int64_t count = static_cast<int64_t>(hi) - lo + 1;
    auto stream = std::make_unique<TMemoryStream>();
    if (count > 0) {
        TSafeArrayData lock(sa);
        if (!lock.valid()) throw EFrameworkError(L"Не удается получить доступ к массиву варианта");
        stream->Write(lock.data(), static_cast<size_t>(count));
        stream->SetPosition(0);
    }
    ImageStream = std::move(stream);
}

void TEncDecHelper::SetStreamFromBase64String(const std::wstring& s, TMemoryStream& ImageStream) {
    std::vector<uint8_t> bytes = DecodeBase64Text(s);
    ImageStream.Write(bytes.data(), bytes.size());
}

std::wstring TEncDecHelper::GetBase64String(TMemoryStream& srcStream) {
    size_t pos = std::min(srcStream.Position(), srcStream.Size());
    std::string text = base64::Encode(srcStream.Data() + pos, srcStream.Size() - pos);
    srcStream.SetPosition(srcStream.Size());
    return AsciiToWide(text);
}

std::wstring TEncDecHelper::GetBase64StringFromBA(const std::vector<uint8_t>& srcBA) {
    return AsciiToWide(base64::Encode(srcBA));
}

std::wstring TEncDecHelper::GetBase64StringFromString(const std::wstring& s) {
    TMemoryStream ms;
    for (const std::wstring& line : textlines::Split(s)) {
        std::string ansi = WideToAnsi(line);
        ms.Write(ansi.data(), ansi.size());
        ms.Write("\r\n", 2);
    }
    ms.SetPosition(0);
    return GetBase64String(ms);
}

std::wstring TEncDecHelper::SetStringFromBase64String(const std::wstring& s) {
    TMemoryStream ms;
    SetStreamFromBase64String(s, ms);
    ms.SetPosition(0);
    textlines::TBomInfo bom;
    return textlines::Normalize(textfile::DecodeText(ms.Bytes(), bom));
}

int32_t TEncDecHelper::CorrectXMLDigitNodes(const std::wstring& filename, const std::wstring& nodeName) {
    try {
        textlines::TBomInfo bom;
        std::wstring text = textlines::Normalize(textfile::DecodeText(textfile::ReadAll(filename), bom));
        const std::wstring name = EscapeReplacement(nodeName);
        text = RegexReplaceAll(text, L"<([0-9])", L"<" + name + L"$1");
        text = RegexReplaceAll(text, L"</([0-9])", L"</" + name + L"$1");
        textfile::Rewrite(filename, textfile::EncodeText(text, bom.Encoding));
        return 0;
    } catch (...) {
        return -1;
    }
}
