// Release information file: the release level of the installed tree.
#include "StepRoutines.h"
#include "StepsFs.h"
#include "XmlDoc.h"
#include "portable/StepRules.h"

#include "common/Errors.h"

#include <exception>

namespace installer {

void WriteReleaseLevel(const std::wstring& TargetDir, const std::wstring& Level) {
    const std::wstring fileName = TargetDir + L"ReleaseInfo";
    if (!fs::FileExists(fileName)) return;
    std::wstring reason;
    try {
        TComInit com;
        // White space kept: the saved file differs from the loaded one only
        // in the level.
        TComPtr<IXMLDOMDocument> doc = xml::Load(fileName, true);
        TComPtr<IXMLDOMNode> root = xml::ChildByName(doc.get(), L"ROOT");
        if (!root) throw EFrameworkError(L"no ROOT element");
        TComPtr<IXMLDOMNode> version = xml::ChildByName(root.get(), L"Version");
        const int number = version ? rules::ParseInteger(xml::Text(version.get())) : 0;
        if (number != 1) throw EFrameworkError(L"unknown release file version");
        TComPtr<IXMLDOMNode> level = xml::ChildByName(root.get(), L"Level");
        if (!level) throw EFrameworkError(L"no Level element");
        xml::SetText(level.get(), Level);
        xml::Save(doc.get(), fileName);
        return;
    } catch (const EFrameworkError& e) {
        reason = e.Message();
    } catch (const std::exception& e) {
        reason = Utf8ToWide(e.what());
    }
    throw EFrameworkError(L"Cannot get release information, error: " + reason);
}

}  // namespace installer
