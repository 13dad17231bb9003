// Routines of the deployment steps that the tests also call on their own.
#pragma once

#include "installer/InstallRun.h"

#include <cstdint>
#include <string>

namespace installer {

// Sets (ReadOnly true) or clears the read-only bit of FileName and keeps its
// other attributes; a missing file is left alone.  Always returns 0.
int SetReadOnlyAttribute(const std::wstring& FileName, bool ReadOnly);

// Works through ReleaseDir + "filelist.xml": copies the listed files from
// the release folder ReleaseDir into TargetDir, then deletes the listed
// obsolete files.  Returns false when a copy that started failed (the run
// stops); raises EFrameworkError for a list that cannot be loaded or has no
// "files" element.  Both folders end with "\".
bool ProcessFileList(IInstallUi& Ui, const std::wstring& ReleaseDir, const std::wstring& TargetDir);

// Stores Level in TargetDir + "ReleaseInfo" when that file exists.  Raises
// EFrameworkError "Cannot get release information, error: ..." on failure.
void WriteReleaseLevel(const std::wstring& TargetDir, const std::wstring& Level);

// Writes a shell link to FileName into the folder chosen by Location
// (0 desktop, 1 quick launch, 2 Send To, 3 Start menu, 4 SubFolder itself).
// LinkPath receives the shortcut's path; it stays unchanged when no folder
// is found.  Raises EFrameworkError when the shell-link object is missing.
void CreateShortcut(const std::wstring& FileName, uint8_t Location, const std::wstring& SubFolder,
                    const std::wstring& WorkingDir, const std::wstring& Parameters,
                    const std::wstring& Description, const std::wstring& LinkName, std::wstring& LinkPath);

}  // namespace installer
