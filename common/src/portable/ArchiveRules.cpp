#include "common/ArchiveRules.h"

#include <cmath>

namespace archive_rules {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

wchar_t FoldLatin(wchar_t c) { return (c >= L'a' && c <= L'z') ? wchar_t(c - L'a' + L'A') : c; }

bool EqualLatinNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (FoldLatin(a[i]) != FoldLatin(b[i])) return false;
    return true;
}

bool IsDeviceDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || c == L'\u00B9' || c == L'\u00B2' || c == L'\u00B3';
}

// Windows resolves these names to devices in any folder and with any
// extension ("nul.txt", "COM1 .log").
bool IsReservedDevice(std::wstring_view component) {
    std::wstring_view base = component.substr(0, component.find(L'.'));
    while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
    static const wchar_t* const plain[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
    for (const wchar_t* p : plain)
        if (EqualLatinNoCase(base, p)) return true;
    if (base.size() == 4 && IsDeviceDigit(base[3]) &&
        (EqualLatinNoCase(base.substr(0, 3), L"COM") || EqualLatinNoCase(base.substr(0, 3), L"LPT")))
        return true;
    return false;
}


uint32_t LittleEndian(std::string_view b, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint32_t(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

}  // namespace

TNameFault CheckEntryName(std::wstring_view name, TEntryName& out) {
    out = TEntryName{};
    if (name.empty()) return TNameFault::Empty;
    if (name.size() > MaxNameLength) return TNameFault::TooLong;
    if (IsSeparator(name.front())) return TNameFault::Absolute;
    for (wchar_t c : name) {
        if (c == L':') return TNameFault::Colon;
        if (c < 0x20 || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' || c == L'*')
            return TNameFault::BadCharacter;
    }
    TEntryName result;
    if (IsSeparator(name.back())) {
        result.IsFolder = true;
        name.remove_suffix(1);
        if (name.empty()) return TNameFault::Empty;
    }
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        std::wstring_view comp = name.substr(start, end - start);
        if (comp.empty()) return TNameFault::EmptyComponent;
        if (comp.size() > 255) return TNameFault::TooLong;
        if (comp == L"." || comp == L"..") return TNameFault::DotComponent;
        if (comp.back() == L'.' || comp.back() == L' ') return TNameFault::TrailingDotBlank;
        if (IsReservedDevice(comp)) return TNameFault::ReservedDevice;
        result.Components.emplace_back(comp);
        if (end == name.size()) break;
        start = end + 1;
    }
    out = std::move(result);
    return TNameFault::None;
}

const char* FaultText(TNameFault f) noexcept {
    switch (f) {
    case TNameFault::None: return "safe";
    case TNameFault::Empty: return "empty name";
    case TNameFault::TooLong: return "name too long";
    case TNameFault::Absolute: return "absolute path";
    case TNameFault::Colon: return "drive or stream name";
    case TNameFault::DotComponent: return "dot component";
    case TNameFault::EmptyComponent: return "empty component";
    case TNameFault::TrailingDotBlank: return "trailing dot or blank";
    case TNameFault::ReservedDevice: return "reserved device name";
    case TNameFault::BadCharacter: return "invalid character";
    }
    return "unknown";
}

std::vector<std::wstring> PathComponents(std::wstring_view path) {
    std::vector<std::wstring> parts;
    size_t i = 0;
    while (i < path.size()) {
        while (i < path.size() && IsSeparator(path[i])) ++i;
        size_t start = i;
        while (i < path.size() && !IsSeparator(path[i])) ++i;
        if (i > start) parts.emplace_back(path.substr(start, i - start));
    }
    return parts;
}

bool IsPathInside(std::wstring_view folder, std::wstring_view path) {
    if (folder.empty() || path.empty()) return false;
    // A UNC folder must stay UNC, a drive folder a drive path.
    bool folderUnc = folder.size() >= 2 && IsSeparator(folder[0]) && IsSeparator(folder[1]);
    bool pathUnc = path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
    if (folderUnc != pathUnc) return false;
    std::vector<std::wstring> f = PathComponents(folder), p = PathComponents(path);
    if (f.empty() || p.size() < f.size()) return false;
    for (size_t i = 0; i < f.size(); ++i)
        if (!EqualLatinNoCase(f[i], p[i])) return false;
    for (size_t i = f.size(); i < p.size(); ++i)
        if (p[i] == L"." || p[i] == L"..") return false;
    return true;
}

int64_t RoundHalfEven(double x) noexcept {
    if (!std::isfinite(x)) return 0;
    if (x >= 9.2e18) return INT64_MAX;
    if (x <= -9.2e18) return INT64_MIN;
    double f = std::floor(x);
    double diff = x - f;
    int64_t r = static_cast<int64_t>(f);
    if (diff > 0.5) return r + 1;
    if (diff < 0.5) return r;
    return (r % 2 == 0) ? r : r + 1;
}

double CompressionRatio(uint64_t archiveSize, int32_t byteCount) noexcept {
    if (byteCount == 0) return 0.0;
    return static_cast<double>(archiveSize) / static_cast<double>(byteCount);
}

std::wstring PackLogLine(const std::wstring& zipFileName, int32_t byteCount, double compressionRatio) {
    return L"Упаковка файла: " + zipFileName + L" завершена. Исходный размер файлов:" +
           std::to_wstring(byteCount) + L". Коэфф. сжатия:" +
           std::to_wstring(RoundHalfEven(compressionRatio * 100.0));
}

bool FindUnicodePathField(std::string_view extra, uint32_t nameFieldCrc, std::string& utf8Name) {
    constexpr uint32_t kUnicodePath = 0x7075;
    size_t at = 0;
    while (at + 4 <= extra.size()) {
        const uint32_t id = LittleEndian(extra, at, 2);
        const size_t len = LittleEndian(extra, at + 2, 2);
        if (at + 4 + len > extra.size()) return false;
        if (id == kUnicodePath) {
            if (len < 5 || static_cast<unsigned char>(extra[at + 4]) != 1) return false;
            if (LittleEndian(extra, at + 5, 4) != nameFieldCrc) return false;
            utf8Name.assign(extra.substr(at + 9, len - 5));
            return true;
        }
        at += 4 + len;
    }
    return false;
}

}  // namespace archive_rules
