#include "config/ConfigText.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>

std::wstring FoldConfigName(const std::wstring& name) {
    std::wstring out(name);
    for (wchar_t& c : out)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    return out;
}

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

}  // namespace

bool TryReadConfigInt(const std::wstring& text, std::int32_t& value) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
    if (i >= text.size()) return false;
    std::int64_t acc = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return false;
        acc = acc * 10 + (text[i] - L'0');
        if (acc > 2147483648LL) return false;
    }
    if (negative) acc = -acc;
    if (acc > std::numeric_limits<std::int32_t>::max() || acc < std::numeric_limits<std::int32_t>::min())
        return false;
    value = static_cast<std::int32_t>(acc);
    return true;
}

bool TryReadConfigDouble(const std::wstring& text, wchar_t decimalSeparator, double& value) {
    // Checked here character by character, then handed to from_chars in the
    // fixed "C" form so that no locale is consulted.
    std::string plain;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    if (i < n && (text[i] == L'+' || text[i] == L'-')) {
        if (text[i] == L'-') plain.push_back('-');
        ++i;
    }
    size_t digits = 0;
    while (i < n && IsDigit(text[i])) {
        plain.push_back(static_cast<char>(text[i++]));
        ++digits;
    }
    if (i < n && text[i] == decimalSeparator) {
        plain.push_back('.');
        ++i;
        while (i < n && IsDigit(text[i])) {
            plain.push_back(static_cast<char>(text[i++]));
            ++digits;
        }
    }
    if (digits == 0) return false;
    if (i < n && (text[i] == L'E' || text[i] == L'e')) {
        plain.push_back('e');
        ++i;
        if (i < n && (text[i] == L'+' || text[i] == L'-')) plain.push_back(static_cast<char>(text[i++]));
        size_t expDigits = 0;
        while (i < n && IsDigit(text[i])) {
            plain.push_back(static_cast<char>(text[i++]));
            ++expDigits;
        }
        if (expDigits == 0) return false;
    }
    while (i < n && IsBlank(text[i])) ++i;
    if (i != n) return false;
    if (plain.size() > 1 && plain[0] == '.') plain.insert(plain.begin(), '0');
    double v = 0;
    const auto res = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    if (res.ptr != plain.data() + plain.size()) return false;
    if (res.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; overflow is not a number of this store.
        bool nonZero = false;
        for (char c : plain) {
            if (c == 'e') break;
            if (c >= '1' && c <= '9') nonZero = true;
        }
        const size_t e = plain.find('e');
        const bool negExp = e != std::string::npos && e + 1 < plain.size() && plain[e + 1] == '-';
        if (nonZero && !negExp) return false;
        v = plain[0] == '-' ? -0.0 : 0.0;
    } else if (res.ec != std::errc()) {
        return false;
    }
    value = v;
    return true;
}

std::wstring FormatConfigDouble(double value, wchar_t decimalSeparator) {
    if (std::isnan(value)) return L"NAN";
    if (std::isinf(value)) return value < 0 ? L"-INF" : L"INF";
    if (value == 0) return L"0";
    // d.dddddddddddddde[+-]x: 15 significant digits, correctly rounded.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, 14);
    std::string s(buf, res.ptr);
    bool negative = false;
    if (!s.empty() && s[0] == '-') {
        negative = true;
        s.erase(0, 1);
    }
    const size_t e = s.find('e');
    std::string mant = s.substr(0, 1) + s.substr(2, e - 2);  // 15 digits
    const int exp10 = std::stoi(s.substr(e + 1));            // value = d.ddd * 10^exp10
    while (mant.size() > 1 && mant.back() == '0') mant.pop_back();

    std::wstring out;
    if (negative) out.push_back(L'-');
    // Fixed: magnitude at least 0.00001 (exp10 >= -5) and at most 15 digits
    // before the separator (exp10 <= 14).
    if (exp10 >= -5 && exp10 <= 14) {
        if (exp10 < 0) {
            out.push_back(L'0');
            out.push_back(decimalSeparator);
            out.append(static_cast<size_t>(-exp10 - 1), L'0');
            for (char c : mant) out.push_back(static_cast<wchar_t>(c));
        } else {
            const size_t intDigits = static_cast<size_t>(exp10) + 1;
            for (size_t k = 0; k < intDigits; ++k)
                out.push_back(k < mant.size() ? static_cast<wchar_t>(mant[k]) : L'0');
            if (mant.size() > intDigits) {
                out.push_back(decimalSeparator);
                for (size_t k = intDigits; k < mant.size(); ++k) out.push_back(static_cast<wchar_t>(mant[k]));
            }
        }
        return out;
    }
    out.push_back(static_cast<wchar_t>(mant[0]));
    if (mant.size() > 1) {
        out.push_back(decimalSeparator);
        for (size_t k = 1; k < mant.size(); ++k) out.push_back(static_cast<wchar_t>(mant[k]));
    }
    out.push_back(L'E');
    out.append(std::to_wstring(exp10));
    return out;
}
