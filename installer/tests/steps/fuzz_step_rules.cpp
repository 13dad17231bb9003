// Fuzzes the file-list path rule and the release version parser with
// arbitrary UTF-16 text: no crash, and an accepted path never climbs out.
#include "portable/StepRules.h"

#include "common/Errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::wstring text;
    for (size_t i = 0; i + 1 < size; i += 2) text += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    if (installer::rules::IsContainedRelativePath(text)) {
        if (text.find(L':') != std::wstring::npos || text[0] == L'\\' || text[0] == L'/') std::abort();
        // Depth never drops below zero along the path.
        int depth = 0;
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find_first_of(L"\\/", start);
            if (end == std::wstring::npos) end = text.size();
            std::wstring c = text.substr(start, end - start);
            if (c == L"..") --depth;
            else if (!c.empty() && c != L".") ++depth;
            if (depth < 0) std::abort();
            start = end + 1;
        }
    }
    try {
        installer::rules::ParseInteger(text);
    } catch (const EFrameworkError&) {
    }
    (void)installer::rules::ShortcutFileName(text, L"");
    return 0;
}
