// Reading a profile description DATA.XML through the platform's XML parser.
#pragma once

#include <string>

namespace profile_xml {

struct TProfileTexts {
    std::wstring Name, Password, Zone, PhoneNumber;
};

// Texts of the elements Name, Password, Zone and PhoneNumber below the top-level
// element ROOT (a missing one gives ""). Raises EFrameworkError with the
// parser's reason when the document cannot be loaded, or when it has no ROOT.
TProfileTexts ReadDataXml(const std::wstring& path);

}  // namespace profile_xml
