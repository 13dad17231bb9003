// Any entry name either is refused or yields components that stay inside the
// target folder: no separators, no "." or "..", no colon, no trailing dot or
// blank, and the joined path passes the containment check.
#include "common/ArchiveRules.h"
#include "common/Errors.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring name = Utf8ToWide(std::string(reinterpret_cast<const char*>(data), size));
    archive_rules::TEntryName e;
    if (archive_rules::CheckEntryName(name, e) != archive_rules::TNameFault::None) {
        if (!e.Components.empty()) std::abort();
        return 0;
    }
    if (e.Components.empty()) std::abort();
    std::wstring path = L"C:\\target\\";
    for (const std::wstring& c : e.Components) {
        if (c.empty() || c == L"." || c == L"..") std::abort();
        if (c.find_first_of(L"\\/:") != std::wstring::npos) std::abort();
        if (c.back() == L'.' || c.back() == L' ') std::abort();
        path += c + L"\\";
    }
    if (!archive_rules::IsPathInside(L"C:\\target\\", path)) std::abort();
    if (archive_rules::IsPathInside(L"C:\\target\\", L"C:\\targetx\\" + e.Components[0])) std::abort();
    return 0;
}
