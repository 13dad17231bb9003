// Small file-system checks of the deployment steps (the copies themselves go
// through TFileSystemHelper).
#pragma once

#include <string>

namespace installer::fs {

// A folder of that name exists (a trailing "\" is allowed).
bool DirExists(const std::wstring& Dir);
// A file (not a folder) of that name exists.
bool FileExists(const std::wstring& FileName);
// Creates Dir together with every missing parent folder; true when the
// folder exists afterwards.  Relative paths are taken from the current folder.
bool ForceDirectories(const std::wstring& Dir);
// Dir with a trailing "\".
std::wstring WithBackslash(const std::wstring& Dir);
// The folder part of a path, with its trailing "\" ("" when there is none).
std::wstring ExtractFilePath(const std::wstring& FileName);
// True when Path, resolved against the current folder, lies strictly below
// Dir (also resolved); whole path components are compared, letter case
// ignored.
bool ResolvesInside(const std::wstring& Dir, const std::wstring& Path);

}  // namespace installer::fs
