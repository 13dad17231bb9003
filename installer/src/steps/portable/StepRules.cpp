#include "StepRules.h"

#include "common/Errors.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace installer::rules {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsInvalidNameChar(wchar_t c) {
    if (c < 0x20) return true;
    switch (c) {
    case L'<': case L'>': case L'"': case L'|': case L'?': case L'*': case L':':
        return true;
    default:
        return false;
    }
}

wchar_t AsciiUpper(wchar_t c) { return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c; }

// CON, PRN, AUX, NUL, COM1..COM9, LPT1..LPT9, with or without an extension:
// Windows opens the device instead of a file of that name.
bool IsDeviceName(const std::wstring& component) {
    std::wstring base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.pop_back();
    for (auto& c : base) c = AsciiUpper(c);
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
        base == L"CONOUT$")
        return true;
    if (base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
        base[3] >= L'1' && base[3] <= L'9')
        return true;
    return false;
}

}  // namespace

bool IsContainedRelativePath(const std::wstring& Entry) {
    if (Entry.empty() || IsSeparator(Entry.front()) || IsSeparator(Entry.back())) return false;
    int depth = 0;
    bool lastWasName = false;
    size_t start = 0;
    while (start <= Entry.size()) {
        size_t end = start;
        while (end < Entry.size() && !IsSeparator(Entry[end])) ++end;
        const std::wstring component = Entry.substr(start, end - start);
        start = end + 1;
        if (component.empty() || component == L".") {  // "a\\b", "a\.\b": no step
            lastWasName = false;
            continue;
        }
        if (component == L"..") {
            if (--depth < 0) return false;
            lastWasName = false;
            continue;
        }
        if (component.find_first_not_of(L". ") == std::wstring::npos) return false;
        // Windows drops trailing dots and blanks of a name: "a. " is "a".
        if (component.back() == L'.' || component.back() == L' ') return false;
        for (wchar_t c : component)
            if (IsInvalidNameChar(c)) return false;
        if (IsDeviceName(component)) return false;
        ++depth;
        lastWasName = true;
    }
    return depth > 0 && lastWasName;
}

std::wstring ShortcutFileName(const std::wstring& FileName, const std::wstring& LinkName) {
    std::wstring name = LinkName.empty() ? FileName : LinkName;
    const size_t delim = name.find_last_of(L"\\:");
    const size_t namePart = delim == std::wstring::npos ? 0 : delim + 1;
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && dot >= namePart) name.erase(dot);
    name += L".lnk";
    return name.substr(namePart);
}

int ParseInteger(const std::wstring& Text) {
    auto fail = [&]() -> int { throw EFrameworkError(L"'" + Text + L"' is not a valid integer value"); };
    auto isBlank = [](wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; };
    size_t i = 0, n = Text.size();
    while (i < n && isBlank(Text[i])) ++i;
    while (n > i && isBlank(Text[n - 1])) --n;
    bool negative = false;
    if (i < n && (Text[i] == L'+' || Text[i] == L'-')) negative = Text[i++] == L'-';
    if (i == n) return fail();
    long long value = 0;
    for (; i < n; ++i) {
        if (Text[i] < L'0' || Text[i] > L'9') return fail();
        value = value * 10 + (Text[i] - L'0');
        if (value > 2147483648LL) return fail();
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min()) return fail();
    return static_cast<int>(value);
}

std::wstring FloatText(double Value, const std::wstring& DecimalSeparator) {
    if (std::isnan(Value)) return L"NAN";
    if (std::isinf(Value)) return Value > 0 ? L"INF" : L"-INF";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15G", Value);
    std::wstring out;
    for (const char* p = buf; *p; ++p) {
        if (*p == '.') {
            out += DecimalSeparator;
        } else if (*p == 'E') {
            // "1E+20" -> "1E20", "1E-07" -> "1E-7"
            out += L'E';
            ++p;
            if (*p == '-') out += L'-';
            if (*p == '+' || *p == '-') ++p;
            while (*p == '0' && p[1] != '\0') ++p;
            for (; *p; ++p) out += static_cast<wchar_t>(*p);
            break;
        } else {
            out += static_cast<wchar_t>(*p);
        }
    }
    return out;
}

}  // namespace installer::rules
