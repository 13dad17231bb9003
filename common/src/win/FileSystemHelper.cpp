// File and folder operations over the Windows file system: copying a file or
// a folder tree, removing a tree, listing folders and files, file and folder
// times and sizes, pruning old subfolders.  Wide paths throughout.
//
// Links: a folder entry carrying FILE_ATTRIBUTE_REPARSE_POINT (a junction or a
// symbolic link) is never walked into.  Removal removes the link itself and
// leaves its target alone; copying skips it.  A link pointing at one of its
// own parents would otherwise send the walk round without end, and removal
// would delete files that live elsewhere.
#include "common/FileSystemHelper.h"

#include "common/Errors.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <memory>
#include <utility>
#include <vector>

namespace {

// Bytes moved per read/write in FileCopy: big enough for sequential speed,
// small enough that copying a huge file costs no memory worth mentioning.
constexpr DWORD kCopyChunk = 1024 * 1024;

std::wstring WithBackslash(const std::wstring& s) {
    if (!s.empty() && s.back() == L'\\') return s;
    return s + L'\\';
}

std::wstring WithoutBackslash(std::wstring s) {
    // Keep "C:\" and "\" intact.
    while (s.size() > 1 && s.back() == L'\\' && !(s.size() == 3 && s[1] == L':')) s.pop_back();
    return s;
}

bool IsDots(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool IsFolder(DWORD attr) { return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY); }
bool IsLink(DWORD attr) { return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_REPARSE_POINT); }

DWORD Attributes(const std::wstring& path) { return ::GetFileAttributesW(WithoutBackslash(path).c_str()); }

// The object behind a name can be opened (for links: the target exists).
bool TargetReachable(const std::wstring& path) {
    TFileHandle h(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.valid();
}

bool FolderExists(const std::wstring& path) {
    DWORD a = Attributes(path);
    if (!IsFolder(a)) return false;
    return !IsLink(a) || TargetReachable(WithoutBackslash(path));
}

bool FileExistsNoFolder(const std::wstring& path) {
    DWORD a = Attributes(path);
    if (a == INVALID_FILE_ATTRIBUTES || (a & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return !IsLink(a) || TargetReachable(path);
}

// Directory search over one pattern; every entry the file system returns, in
// its order.  The entries are read first and handled afterwards, so that
// deleting or creating entries while handling them cannot disturb the search.
std::vector<WIN32_FIND_DATAW> Enumerate(const std::wstring& pattern, bool foldersOnly = false) {
    std::vector<WIN32_FIND_DATAW> out;
    WIN32_FIND_DATAW fd{};
    TFindHandle h(::FindFirstFileExW(pattern.c_str(), FindExInfoStandard, &fd,
                                     foldersOnly ? FindExSearchLimitToDirectories : FindExSearchNameMatch, nullptr, 0));
    if (!h) return out;
    do out.push_back(fd);
    while (::FindNextFileW(h.get(), &fd));
    return out;
}

// Creates a folder and its missing parents.
bool ForceDirectories(const std::wstring& path) {
    std::wstring dir = WithoutBackslash(path);
    if (dir.empty()) return false;
    if (IsFolder(::GetFileAttributesW(dir.c_str()))) return true;
    size_t cut = dir.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 0) {
        std::wstring parent = dir.substr(0, cut);
        // Stop at a drive ("C:") or at the start of a UNC name.
        bool root = (parent.size() == 2 && parent[1] == L':') || parent == L"\\" || parent == L"\\\\";
        if (!root && parent != dir && !ForceDirectories(parent)) return false;
    }
    if (::CreateDirectoryW(dir.c_str(), nullptr)) return true;
    return IsFolder(::GetFileAttributesW(dir.c_str()));
}

// UTC file time -> local date-time, milliseconds kept.
TDateTime LocalDateTime(const FILETIME& utc) {
    FILETIME local{};
    SYSTEMTIME st{};
    if (!::FileTimeToLocalFileTime(&utc, &local) || !::FileTimeToSystemTime(&local, &st)) return -1.0;
    TDateTimeParts p;
    p.Year = st.wYear;
    p.Month = st.wMonth;
    p.Day = st.wDay;
    p.Hour = st.wHour;
    p.Minute = st.wMinute;
    p.Second = st.wSecond;
    p.Millisecond = st.wMilliseconds;
    return EncodeDateTime(p);
}

bool FindEntry(const std::wstring& name, WIN32_FIND_DATAW& fd) {
    TFindHandle h(::FindFirstFileW(name.c_str(), &fd));
    return h.valid();
}

enum class TEntryTime { Creation, LastWrite, LastAccess };

TDateTime EntryTime(const std::wstring& name, TEntryTime which) {
    WIN32_FIND_DATAW fd{};
    // A trailing backslash would make the search look inside a folder.
    if (!FindEntry(WithoutBackslash(name), fd)) return -1.0;
    switch (which) {
        case TEntryTime::Creation: return LocalDateTime(fd.ftCreationTime);
        case TEntryTime::LastWrite: return LocalDateTime(fd.ftLastWriteTime);
        case TEntryTime::LastAccess: return LocalDateTime(fd.ftLastAccessTime);
    }
    return -1.0;
}

// Removes a link to a folder without touching what it points at.
bool RemoveLink(const std::wstring& path) {
    if (::RemoveDirectoryW(path.c_str())) return true;
    // Some file systems expose a folder link as a file-like object.
    return ::DeleteFileW(path.c_str()) != 0;
}

// Gives the destination the source's last-write time as a packed local
// date-time (two-second resolution).  A time the packed form cannot hold
// (before 1980 or after 2107) is given unchanged rather than failing a copy
// whose bytes are all there.
bool StampLikeSource(HANDLE src, HANDLE dst) {
    FILETIME write{}, local{}, back{}, utc{};
    WORD dosDate = 0, dosTime = 0;
    if (!::GetFileTime(src, nullptr, nullptr, &write)) return false;
    if (!::FileTimeToLocalFileTime(&write, &local)) return false;
    if (::FileTimeToDosDateTime(&local, &dosDate, &dosTime) && ::DosDateTimeToFileTime(dosDate, dosTime, &back) &&
        ::LocalFileTimeToFileTime(&back, &utc))
        return ::SetFileTime(dst, nullptr, nullptr, &utc) != 0;
    return ::SetFileTime(dst, nullptr, nullptr, &write) != 0;
}

// Restores the process's current folder when the scope ends.
class TCurrentDirKeeper {
public:
    TCurrentDirKeeper() {
        DWORD n = ::GetCurrentDirectoryW(0, nullptr);
        if (n == 0) return;
        FSaved.assign(n, L'\0');
        n = ::GetCurrentDirectoryW(n, FSaved.data());
        FSaved.resize(n < FSaved.size() ? n : 0);
    }
    ~TCurrentDirKeeper() {
        if (!FSaved.empty()) ::SetCurrentDirectoryW(FSaved.c_str());
    }
    TCurrentDirKeeper(const TCurrentDirKeeper&) = delete;
    TCurrentDirKeeper& operator=(const TCurrentDirKeeper&) = delete;

private:
    std::wstring FSaved;
};

}  // namespace

bool TFileSystemHelper::FileCopy(const std::wstring& SrcFileName, const std::wstring& DstFileName) {
    TFileHandle src(::CreateFileW(SrcFileName.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!src)
        throw EFOpenError(L"Не удается открыть файл \"" + SrcFileName + L"\". " + SysErrorMessage(::GetLastError()));
    TFileHandle dst(::CreateFileW(DstFileName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!dst)
        throw EFCreateError(L"Не удается создать файл \"" + DstFileName + L"\". " + SysErrorMessage(::GetLastError()));

    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(src.get(), &size)) return false;
    uint64_t left = static_cast<uint64_t>(size.QuadPart);
    std::unique_ptr<char[]> buf;
    try {
        buf.reset(new char[left < kCopyChunk ? (left ? left : 1) : kCopyChunk]);
    } catch (const std::bad_alloc&) {
        return false;
    }
    while (left > 0) {
        DWORD want = left < kCopyChunk ? static_cast<DWORD>(left) : kCopyChunk;
        DWORD got = 0;
        if (!::ReadFile(src.get(), buf.get(), want, &got, nullptr) || got != want) return false;
        DWORD put = 0;
        if (!::WriteFile(dst.get(), buf.get(), got, &put, nullptr) || put != got) return false;
        left -= got;
    }
    return StampLikeSource(src.get(), dst.get());
}

bool TFileSystemHelper::FullDirectoryCopy(const std::wstring& SourceDir, const std::wstring& TargetDir,
                                          bool StopIfNotAllCopied, bool OverWriteFiles, bool recursiveCopy) {
    const std::wstring src = WithBackslash(SourceDir);
    const std::wstring dst = WithBackslash(TargetDir);
    if (!FolderExists(src)) return false;
    if (!ForceDirectories(dst)) return false;

    bool result = false;
    for (const WIN32_FIND_DATAW& fd : Enumerate(src + L"*")) {
        if (IsDots(fd.cFileName)) continue;
        const std::wstring name = fd.cFileName;
        const bool folder = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (folder && recursiveCopy) {
            // A linked folder is not copied: its contents live elsewhere.
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
            result = FullDirectoryCopy(src + name, dst + name, StopIfNotAllCopied, OverWriteFiles, recursiveCopy);
        } else if (!OverWriteFiles && FileExistsNoFolder(dst + name)) {
            result = true;
        } else {
            result = ::CopyFileW((src + name).c_str(), (dst + name).c_str(), FALSE) != 0;
        }
        if (StopIfNotAllCopied && !result) return false;
    }
    return result;
}

bool TFileSystemHelper::FullRemoveDir(const std::wstring& dir, bool DeleteAllFilesAndFolders,
                                      bool StopIfNotAllDeleted, bool RemoveRoot) {
    const DWORD rootAttr = Attributes(dir);
    if (!IsFolder(rootAttr)) return false;
    const std::wstring root = WithBackslash(dir);
    // A link asked to go away goes away alone; its target keeps its files.
    if (IsLink(rootAttr) && RemoveRoot) return RemoveLink(WithoutBackslash(root));

    bool result = true;
    for (const WIN32_FIND_DATAW& fd : Enumerate(root + L"*.*")) {
        if (IsDots(fd.cFileName)) continue;
        const std::wstring path = root + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // Attributes are left alone: on some systems setting them on a
                // link reaches the target.
                result = RemoveLink(path);
            } else {
                if (DeleteAllFilesAndFolders) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
                result = FullRemoveDir(path, DeleteAllFilesAndFolders, StopIfNotAllDeleted, true);
            }
        } else {
            if (DeleteAllFilesAndFolders) ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_ARCHIVE);
            result = ::DeleteFileW(path.c_str()) != 0;
        }
        if (StopIfNotAllDeleted && !result) return false;
    }
    if (RemoveRoot && !::RemoveDirectoryW(WithoutBackslash(root).c_str())) result = false;
    return result;
}

void TFileSystemHelper::GetSubDirs(const std::wstring& sRootDir, TStringList& slt) {
    TStringListUpdate update(slt);
    for (const WIN32_FIND_DATAW& fd : Enumerate(sRootDir + L"*", true)) {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (IsDots(fd.cFileName)) continue;
        const std::wstring name = fd.cFileName;
        if (name == L"WithOutAnswer") continue;
        slt.Add(sRootDir + name);
    }
}

bool TFileSystemHelper::CheckFileFolderExists(const std::wstring& FileFolderName) {
    return FileExistsNoFolder(FileFolderName) || FolderExists(FileFolderName);
}

std::unique_ptr<TStringList> TFileSystemHelper::ListFolderFiles(const std::wstring& dir,
                                                                const std::wstring& filterString, bool bAbsPath) {
    auto list = std::make_unique<TStringList>();
    if (!FolderExists(dir)) return list;
    const std::wstring root = WithBackslash(dir);
    for (const WIN32_FIND_DATAW& fd : Enumerate(root + filterString)) {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        list->Add(bAbsPath ? root + fd.cFileName : std::wstring(fd.cFileName));
    }
    return list;
}

void TFileSystemHelper::ListFileDir(const std::wstring& Path, TStringList& FileList) {
    for (const WIN32_FIND_DATAW& fd : Enumerate(Path + L"*.*")) {
        if (fd.dwFileAttributes == FILE_ATTRIBUTE_DIRECTORY) continue;
        FileList.Add(fd.cFileName);
    }
}

std::wstring TFileSystemHelper::GetWindowsFolder() {
    wchar_t buf[MAX_PATH] = {};
    UINT n = ::GetWindowsDirectoryW(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return L"";
    return std::wstring(buf, n);
}

bool TFileSystemHelper::FileUpdated(const std::wstring& FileName, TDateTime& GivenDate) {
    WIN32_FIND_DATAW fd{};
    if (!FileExistsNoFolder(FileName) || !FindEntry(FileName, fd)) throw EInOutError(L"Файл не существует.");
    const TDateTime written = LocalDateTime(fd.ftLastWriteTime);
    const bool later = written > GivenDate;
    GivenDate = written;
    return later;
}

TDateTime TFileSystemHelper::CreationTime(const std::wstring& AFileName) {
    return EntryTime(AFileName, TEntryTime::Creation);
}

TDateTime TFileSystemHelper::LastWritten(const std::wstring& AFileName) {
    return EntryTime(AFileName, TEntryTime::LastWrite);
}

TDateTime TFileSystemHelper::LastAccess(const std::wstring& AFileName) {
    return EntryTime(AFileName, TEntryTime::LastAccess);
}

TDateTime TFileSystemHelper::GetDirTime(const std::wstring& dir) {
    TFileHandle h(::CreateFileW(dir.c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!h) return -1.0;
    FILETIME created{};
    if (!::GetFileTime(h.get(), &created, nullptr, nullptr)) return -1.0;
    return LocalDateTime(created);
}

int64_t TFileSystemHelper::GetFileSize(const std::wstring& FileName) {
    int64_t result = -1;
    const size_t cut = FileName.find_last_of(L"\\/:");
    const std::wstring folder = cut == std::wstring::npos ? std::wstring() : FileName.substr(0, cut + 1);
    const std::wstring name = cut == std::wstring::npos ? FileName : FileName.substr(cut + 1);

    TCurrentDirKeeper keep;
    // A bare name is searched in the current folder, which then stays as it is.
    if (!folder.empty() && !::SetCurrentDirectoryW(folder.c_str()))
        throw EInOutError(L"Не удается перейти в папку \"" + folder + L"\". " + SysErrorMessage(::GetLastError()));
    for (const WIN32_FIND_DATAW& fd : Enumerate(name)) {
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        if (fd.dwFileAttributes & ~static_cast<DWORD>(0x1FF)) continue;
        result = (static_cast<int64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        break;
    }
    return result;
}

void TFileSystemHelper::DelLastDir(const std::wstring& str, int32_t count) {
    TStringList dirs;
    GetSubDirs(str, dirs);
    const int64_t n = static_cast<int64_t>(dirs.Count());
    if (n <= count) return;

    std::vector<TDirList> list;
    list.reserve(dirs.Count());
    for (const std::wstring& d : dirs) list.push_back(TDirList{d, GetDirTime(d)});

    // Exchange sort, oldest first; equal times keep their enumeration order.
    for (size_t pass = 0; pass + 1 < list.size(); ++pass)
        for (size_t i = 0; i + 1 < list.size() - pass; ++i)
            if (list[i].dt > list[i + 1].dt) std::swap(list[i], list[i + 1]);

    // A negative count keeps nothing (never more removals than folders).
    const int64_t remove = count < 0 ? n : n - count;
    for (int64_t i = 0; i < remove; ++i) FullRemoveDir(list[static_cast<size_t>(i)].dir + L"\\", true, true, true);
}
