// Release file list (filelist.xml) and the read-only attribute routine.
#include "StepRoutines.h"
#include "StepsFs.h"
#include "XmlDoc.h"
#include "portable/StepRules.h"

#include "common/Errors.h"
#include "common/FileSystemHelper.h"
#include "common/Win32.h"

#include <exception>

namespace installer {
namespace {

constexpr wchar_t kCopyLine[] = L"Копирование файла ";
constexpr wchar_t kDeleteLine[] = L"Удаление файла ";

struct TEntry {
    std::wstring DistrFN;  // relative to the release folder
    std::wstring Target;   // relative to the target folder
};

TEntry ReadEntry(IXMLDOMNode* node) {
    TEntry e;
    bool found = false;
    // An entry without DistrFN names the release folder itself: its copy
    // fails like that of a missing file, its deletion line shows the folder.
    e.DistrFN = xml::Attribute(node, L"DistrFN", found);
    e.Target = xml::Text(node);
    return e;
}

// An entry path stays below its folder: plain relative names, and the
// resolved path lies below the resolved folder.
bool Inside(const std::wstring& dir, const std::wstring& entry) {
    return rules::IsContainedRelativePath(entry) && fs::ResolvesInside(dir, dir + entry);
}

// Copies one entry; false when the copy started and failed (the run stops).
bool CopyEntry(IInstallUi& ui, const std::wstring& releaseDir, const std::wstring& targetDir, const TEntry& e) {
    const std::wstring source = releaseDir + e.DistrFN;
    const std::wstring dest = targetDir + e.Target;
    ui.AddStepLine(kCopyLine + source + L"....");
    bool stop = false;
    if (!Inside(releaseDir, e.DistrFN) || !Inside(targetDir, e.Target)) {
        // Outside the release or the target folder: refused like a copy that
        // raised an error.
        ui.MarkStep(false);
    } else {
        const std::wstring destDir = fs::ExtractFilePath(dest);
        if (!fs::DirExists(destDir)) fs::ForceDirectories(destDir);
        try {
            if (TFileSystemHelper::FileCopy(source, dest)) {
                ui.MarkStep(true);
            } else {
                ui.MarkStep(false);
                stop = true;
            }
        } catch (const std::exception&) {
            ui.MarkStep(false);
        }
    }
    ui.ProcessMessages();
    return !stop;
}

void DeleteEntry(IInstallUi& ui, const std::wstring& releaseDir, const std::wstring& targetDir, const TEntry& e) {
    const std::wstring source = releaseDir + e.DistrFN;
    const std::wstring dest = targetDir + e.Target;
    // A deletion outside the target folder is never carried out.
    if (Inside(targetDir, e.Target) && fs::FileExists(dest)) {
        ui.AddInfoLine(kDeleteLine + source + L"....");
        ::DeleteFileW(dest.c_str());
    }
    ui.ProcessMessages();
}

}  // namespace

int SetReadOnlyAttribute(const std::wstring& FileName, bool ReadOnly) {
    const DWORD attributes = ::GetFileAttributesW(FileName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    const DWORD wanted = ReadOnly ? (attributes | FILE_ATTRIBUTE_READONLY) : (attributes & ~FILE_ATTRIBUTE_READONLY);
    ::SetFileAttributesW(FileName.c_str(), wanted);
    return 0;
}

bool ProcessFileList(IInstallUi& Ui, const std::wstring& ReleaseDir, const std::wstring& TargetDir) {
    TComInit com;
    const std::wstring listFile = ReleaseDir + L"filelist.xml";
    TComPtr<IXMLDOMDocument> doc = xml::Load(listFile, false);
    // The document's first node is the list's root, whatever its name.
    TComPtr<IXMLDOMNode> root = xml::FirstChild(doc.get());
    TComPtr<IXMLDOMNode> delFiles = xml::ChildByName(root.get(), L"delfiles");
    TComPtr<IXMLDOMNode> files = xml::ChildByName(root.get(), L"files");
    if (!files) throw EFrameworkError(L"В списке файлов " + listFile + L" нет элемента files");

    const long count = xml::ChildCount(files.get());
    for (long i = 0; i < count; ++i) {
        TComPtr<IXMLDOMNode> node = xml::ChildAt(files.get(), i);
        if (!xml::IsElement(node.get())) continue;
        if (!CopyEntry(Ui, ReleaseDir, TargetDir, ReadEntry(node.get()))) return false;
    }
    if (delFiles) {
        const long dcount = xml::ChildCount(delFiles.get());
        for (long i = 0; i < dcount; ++i) {
            TComPtr<IXMLDOMNode> node = xml::ChildAt(delFiles.get(), i);
            if (!xml::IsElement(node.get())) continue;
            DeleteEntry(Ui, ReleaseDir, TargetDir, ReadEntry(node.get()));
        }
    }
    return true;
}

}  // namespace installer
