#include "StepsFs.h"

#include "common/Win32.h"

#include <vector>

namespace installer::fs {
namespace {

std::wstring FullPath(const std::wstring& path) {
    DWORD need = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (need == 0 || need > 32768) return L"";
    std::wstring out(need, L'\0');
    DWORD got = ::GetFullPathNameW(path.c_str(), need, out.data(), nullptr);
    if (got == 0 || got >= need) return L"";
    out.resize(got);
    return out;
}

std::vector<std::wstring> Components(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find_first_of(L"\\/", start);
        if (end == std::wstring::npos) end = path.size();
        if (end > start) {
            std::wstring part = path.substr(start, end - start);
            if (!part.empty()) ::CharUpperBuffW(part.data(), static_cast<DWORD>(part.size()));
            parts.push_back(part);
        }
        start = end + 1;
    }
    return parts;
}

}  // namespace

bool DirExists(const std::wstring& Dir) {
    if (Dir.empty()) return false;
    DWORD a = ::GetFileAttributesW(Dir.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::wstring& FileName) {
    if (FileName.empty()) return false;
    DWORD a = ::GetFileAttributesW(FileName.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool ForceDirectories(const std::wstring& Dir) {
    std::wstring dir = Dir;
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    if (dir.empty()) return false;
    if (DirExists(dir)) return true;
    // "C:" is a drive, not a folder to create.
    if (dir.size() == 2 && dir[1] == L':') return false;
    const size_t cut = dir.find_last_of(L"\\/");
    if (cut != std::wstring::npos) {
        std::wstring parent = dir.substr(0, cut);
        while (!parent.empty() && (parent.back() == L'\\' || parent.back() == L'/')) parent.pop_back();
        if (!parent.empty() && !(parent.size() == 2 && parent[1] == L':') && !ForceDirectories(parent))
            return false;
    }
    if (::CreateDirectoryW(dir.c_str(), nullptr)) return true;
    return DirExists(dir);  // made meanwhile by someone else
}

std::wstring WithBackslash(const std::wstring& Dir) {
    if (!Dir.empty() && Dir.back() == L'\\') return Dir;
    return Dir + L"\\";
}

std::wstring ExtractFilePath(const std::wstring& FileName) {
    const size_t cut = FileName.find_last_of(L"\\:");
    return cut == std::wstring::npos ? L"" : FileName.substr(0, cut + 1);
}

bool ResolvesInside(const std::wstring& Dir, const std::wstring& Path) {
    const std::wstring dirFull = FullPath(Dir), pathFull = FullPath(Path);
    if (dirFull.empty() || pathFull.empty()) return false;
    const auto dirParts = Components(dirFull), pathParts = Components(pathFull);
    if (pathParts.size() <= dirParts.size()) return false;
    for (size_t i = 0; i < dirParts.size(); ++i)
        if (dirParts[i] != pathParts[i]) return false;
    return true;
}

}  // namespace installer::fs
