// ZIP archives, running a program and waiting for it, temporary files and
// the profile folders beside the running program.
#include "common/FileSystemHelper.h"

#include "ArchiveLog.h"
#include "ProfileXml.h"
#include "TextFileWin.h"
#include "common/ArchiveRules.h"
#include "common/Errors.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <minizip/unzip.h>
#include <minizip/zip.h>
// after zip.h: it relies on zlib's declarations
#include <minizip/iowin32.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>

namespace {

constexpr size_t kCopyBuffer = 64 * 1024;
// What an archive may ask of us before we refuse it.
constexpr size_t kMaxEntries = 100000;
constexpr uint64_t kMaxTotalUncompressed = UINT64_C(4) << 30;
constexpr size_t kMaxFullPath = 32000;

std::wstring WithBackslash(const std::wstring& s) {
    if (!s.empty() && s.back() == L'\\') return s;
    return s + L'\\';
}

bool IsDots(const wchar_t* name) {
    return name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0));
}

bool FolderExists(const std::wstring& path) {
    DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring FullPath(const std::wstring& path) {
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) throw EInOutError(L"Недопустимый путь \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
    std::wstring out(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), n, out.data(), nullptr);
    if (n == 0 || n >= out.size()) throw EInOutError(L"Недопустимый путь \"" + path + L"\"");
    out.resize(n);
    return out;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// Creates path and its missing parents; raises on failure.
void ForceDirectories(const std::wstring& path) {
    std::wstring full = FullPath(path);
    while (full.size() > 3 && full.back() == L'\\') full.pop_back();
    if (FolderExists(full)) return;
    size_t cut = full.find_last_of(L'\\');
    if (cut != std::wstring::npos && cut > 0) {
        std::wstring parent = full.substr(0, cut);
        if (parent.size() >= 2 && parent != full && !FolderExists(parent)) ForceDirectories(parent);
    }
    if (!::CreateDirectoryW(full.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        throw EInOutError(L"Не удается создать папку \"" + full + L"\". " + SysErrorMessage(::GetLastError()));
}

struct TZipCloser {
    void operator()(void* z) const noexcept { zipClose(static_cast<zipFile>(z), nullptr); }
};
struct TUnzCloser {
    void operator()(void* z) const noexcept { unzClose(static_cast<unzFile>(z)); }
};
using TZipWriter = std::unique_ptr<void, TZipCloser>;
using TZipReader = std::unique_ptr<void, TUnzCloser>;

zlib_filefunc64_def WideFileFuncs() {
    zlib_filefunc64_def ff{};
    fill_win32_filefunc64W(&ff);
    return ff;
}

void ZipCheck(int rc, const std::wstring& what) {
    if (rc != ZIP_OK) throw EInOutError(L"Ошибка записи архива: " + what + L" (" + std::to_wstring(rc) + L")");
}

// Adds one file under entryName (UTF-8, general-purpose bit 11); returns its size.
uint64_t AddOneFile(zipFile zf, const std::wstring& path, const std::wstring& entryName,
                    const WIN32_FIND_DATAW& fd) {
    TFileHandle src(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!src) throw EFOpenError(L"Не удается открыть файл \"" + path + L"\". " + SysErrorMessage(::GetLastError()));
    LARGE_INTEGER size{};
    ::GetFileSizeEx(src.get(), &size);

    zip_fileinfo zi{};
    FILETIME local{};
    WORD dosDate = 0, dosTime = 0;
    if (::FileTimeToLocalFileTime(&fd.ftLastWriteTime, &local) && ::FileTimeToDosDateTime(&local, &dosDate, &dosTime))
        zi.dosDate = (static_cast<uLong>(dosDate) << 16) | dosTime;
    else
        zi.dosDate = (1u << 21) | (1u << 16);  // 1980-01-01
    zi.external_fa = fd.dwFileAttributes & 0xFF;

    const std::string name = WideToUtf8(entryName);
    const int zip64 = static_cast<uint64_t>(size.QuadPart) >= 0xFFFFFFFFu ? 1 : 0;
    ZipCheck(zipOpenNewFileInZip4_64(zf, name.c_str(), &zi, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                     Z_DEFAULT_COMPRESSION, 0, -MAX_WBITS, DEF_MEM_LEVEL, Z_DEFAULT_STRATEGY,
                                     nullptr, 0, 0, 0x800, zip64),
             entryName);
    std::unique_ptr<char[]> buf(new char[kCopyBuffer]);
    uint64_t total = 0;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(src.get(), buf.get(), kCopyBuffer, &got, nullptr)) {
            DWORD err = ::GetLastError();
            zipCloseFileInZip(zf);
            throw EInOutError(L"Ошибка чтения файла \"" + path + L"\". " + SysErrorMessage(err));
        }
        if (got == 0) break;
        int rc = zipWriteInFileInZip(zf, buf.get(), got);
        if (rc != ZIP_OK) {
            zipCloseFileInZip(zf);
            ZipCheck(rc, entryName);
        }
        total += got;
    }
    ZipCheck(zipCloseFileInZip(zf), entryName);
    return total;
}

// Text of an entry name: UTF-8 when general-purpose bit 11 is set, else the
// OEM code page (what archivers on Windows write without the flag).  A name
// that does not fit the OEM code page is written by archivers with "?" in
// its place and in full in the Unicode Path extra field; that field is taken
// when its CRC says it belongs to the name field as it stands.
std::wstring DecodeEntryName(const char* name, size_t n, uLong flag, const char* extra, size_t extraLen) {
    std::string bytes(name, n);
    if (flag & 0x800) return Utf8ToWide(bytes);
    const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(name), static_cast<uInt>(n));
    std::string unicodeName;
    if (archive_rules::FindUnicodePathField(std::string_view(extra, extraLen), static_cast<uint32_t>(crc),
                                            unicodeName))
        return Utf8ToWide(unicodeName);
    return AnsiToWide(bytes, CP_OEMCP);
}

struct TPlannedEntry {
    std::wstring Target;  // full path
    bool IsFolder = false;
    uint64_t Size = 0;
    uLong DosDate = 0;
};

// Reads and checks every entry name before anything is written; false when
// the archive holds a name that would leave the folder or is otherwise unsafe.
bool PlanExtraction(unzFile uf, const std::wstring& folder, const std::wstring& archivePath,
                    std::vector<TPlannedEntry>& plan) {
    std::vector<char> nameBuf(65536), extraBuf(65536);
    uint64_t total = 0;
    int rc = unzGoToFirstFile(uf);
    if (rc == UNZ_END_OF_LIST_OF_FILE) return true;
    while (rc == UNZ_OK) {
        if (plan.size() >= kMaxEntries) return false;
        unz_file_info64 info{};
        if (unzGetCurrentFileInfo64(uf, &info, nameBuf.data(), static_cast<uLong>(nameBuf.size()), extraBuf.data(),
                                    static_cast<uLong>(extraBuf.size()), nullptr, 0) != UNZ_OK)
            return false;
        size_t nameLen = std::min<size_t>(info.size_filename, nameBuf.size());
        size_t extraLen = std::min<size_t>(info.size_file_extra, extraBuf.size());
        std::wstring name = DecodeEntryName(nameBuf.data(), nameLen, info.flag, extraBuf.data(), extraLen);
        archive_rules::TEntryName entry;
        if (archive_rules::CheckEntryName(name, entry) != archive_rules::TNameFault::None) return false;
        if (info.flag & 1) return false;  // encrypted: no password to give
        if (!entry.IsFolder && info.compression_method != 0 && info.compression_method != Z_DEFLATED) return false;
        TPlannedEntry p;
        p.IsFolder = entry.IsFolder;
        p.Size = entry.IsFolder ? 0 : info.uncompressed_size;
        p.DosDate = info.dosDate;
        p.Target = folder;
        for (size_t i = 0; i < entry.Components.size(); ++i) {
            if (i) p.Target += L'\\';
            p.Target += entry.Components[i];
        }
        if (p.Target.size() > kMaxFullPath) return false;
        if (!archive_rules::IsPathInside(folder, p.Target)) return false;
        if (!p.IsFolder && SamePath(p.Target, archivePath)) return false;  // would overwrite the archive being read
        if (p.Size > kMaxTotalUncompressed || total + p.Size > kMaxTotalUncompressed) return false;
        total += p.Size;
        plan.push_back(std::move(p));
        rc = unzGoToNextFile(uf);
    }
    return rc == UNZ_END_OF_LIST_OF_FILE;
}

void ForceParentOf(const std::wstring& path) {
    size_t cut = path.find_last_of(L'\\');
    if (cut != std::wstring::npos) ForceDirectories(path.substr(0, cut));
}

// Writes the current entry to target; the declared size bounds what is written.
bool ExtractCurrent(unzFile uf, const TPlannedEntry& p, std::vector<char>& buf) {
    ForceParentOf(p.Target);
    if (unzOpenCurrentFile(uf) != UNZ_OK) return false;
    struct TCloseCurrent {
        unzFile f;
        bool open = true;
        ~TCloseCurrent() { if (open) unzCloseCurrentFile(f); }
    } closer{uf};
    TFileHandle out(::CreateFileW(p.Target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                  nullptr));
    if (!out) return false;
    uint64_t written = 0;
    for (;;) {
        int got = unzReadCurrentFile(uf, buf.data(), static_cast<unsigned>(buf.size()));
        if (got < 0) return false;
        if (got == 0) break;
        written += static_cast<unsigned>(got);
        if (written > p.Size) return false;  // more data than the entry declared
        DWORD put = 0;
        if (!::WriteFile(out.get(), buf.data(), static_cast<DWORD>(got), &put, nullptr) || put != DWORD(got))
            return false;
    }
    closer.open = false;
    if (unzCloseCurrentFile(uf) != UNZ_OK) return false;  // CRC mismatch among others
    if (written != p.Size) return false;
    FILETIME local{}, utc{};
    if (::DosDateTimeToFileTime(HIWORD(p.DosDate), LOWORD(p.DosDate), &local) &&
        ::LocalFileTimeToFileTime(&local, &utc))
        ::SetFileTime(out.get(), nullptr, nullptr, &utc);
    return true;
}

bool ExtractArchive(const std::wstring& zipFN) {
    const std::wstring archivePath = FullPath(zipFN);
    size_t cut = archivePath.find_last_of(L'\\');
    if (cut == std::wstring::npos) return false;
    const std::wstring folder = archivePath.substr(0, cut + 1);

    zlib_filefunc64_def ff = WideFileFuncs();
    TZipReader reader(unzOpen2_64(archivePath.c_str(), &ff));
    if (!reader) return false;
    unzFile uf = static_cast<unzFile>(reader.get());

    std::vector<TPlannedEntry> plan;
    if (!PlanExtraction(uf, folder, archivePath, plan)) return false;

    std::vector<char> buf(kCopyBuffer);
    size_t index = 0;
    int rc = unzGoToFirstFile(uf);
    while (rc == UNZ_OK && index < plan.size()) {
        const TPlannedEntry& p = plan[index++];
        if (p.IsFolder) ForceDirectories(p.Target);
        else if (!ExtractCurrent(uf, p, buf)) return false;
        rc = unzGoToNextFile(uf);
    }
    return index == plan.size();
}

BOOL CALLBACK FirstMainWindow(HWND w, LPARAM lp) {
    if (::IsWindowVisible(w) && ::GetWindow(w, GW_OWNER) == nullptr) {
        *reinterpret_cast<HWND*>(lp) = w;
        return FALSE;
    }
    return TRUE;
}

// The main window of this program, the owner of windows the started program shows.
HWND ApplicationMainWindow() {
    HWND found = nullptr;
    ::EnumThreadWindows(::GetCurrentThreadId(), FirstMainWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

// Processes the pending window messages; true when the application was told to quit.
bool ProcessMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));  // leave it for the application's own loop
            return true;
        }
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return false;
}

class TStackTrace {
public:
    explicit TStackTrace(std::wstring text) : FText(std::move(text)) { archive_log::EnterStack(FText); }
    ~TStackTrace() {
        try {
            archive_log::LeaveStack(FText);
        } catch (...) {
        }
    }
    TStackTrace(const TStackTrace&) = delete;
    TStackTrace& operator=(const TStackTrace&) = delete;

private:
    std::wstring FText;
};

// Name of the last subfolder of the program's "Servers" folder ("" for none).
std::wstring LastServerFolder() {
    std::wstring last;
    WIN32_FIND_DATAW fd;
    TFindHandle h(::FindFirstFileW((ExeFolder() + L"Servers\\*.*").c_str(), &fd));
    if (!h) return last;
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDots(fd.cFileName)) last = fd.cFileName;
    } while (::FindNextFileW(h.get(), &fd));
    return last;
}

const wchar_t kNoServers[] = L"Не найдена папка с описанием серверов.";

}  // namespace

bool TFileSystemHelper::PackAllFiles(double& compressionRatio, int32_t& srcFilesSize,
                                     const std::wstring& rootSrcFolder, const std::wstring& zipFileName,
                                     bool AbsoluteFileNames) {
    const std::wstring root = WithBackslash(rootSrcFolder);
    zlib_filefunc64_def ff = WideFileFuncs();
    TZipWriter writer(zipOpen2_64(zipFileName.c_str(), APPEND_STATUS_CREATE, nullptr, &ff));
    if (!writer)
        throw EFCreateError(L"Не удается создать файл \"" + zipFileName + L"\". " +
                            SysErrorMessage(::GetLastError()));
    int32_t count = 0;
    AddFilesToZip(writer.get(), count, root, root, zipFileName, AbsoluteFileNames);
    int rc = zipClose(static_cast<zipFile>(writer.release()), nullptr);
    srcFilesSize = count;
    ZipCheck(rc, zipFileName);

    bool exists = false;
    WIN32_FILE_ATTRIBUTE_DATA attr{};
    if (::GetFileAttributesExW(zipFileName.c_str(), GetFileExInfoStandard, &attr) &&
        !(attr.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        exists = true;
        uint64_t size = (static_cast<uint64_t>(attr.nFileSizeHigh) << 32) | attr.nFileSizeLow;
        compressionRatio = archive_rules::CompressionRatio(size, count);
    } else {
        compressionRatio = 0;
    }
    archive_log::Debug(archive_rules::PackLogLine(zipFileName, count, compressionRatio));
    return exists;
}

bool TFileSystemHelper::AddFilesToZip(void* zipFile, int32_t& bytesCount, const std::wstring& baseFolderName,
                                      const std::wstring& folderName, const std::wstring& zipFN,
                                      bool AbsoluteFileNames) {
    const std::wstring dir = WithBackslash(folderName);
    WIN32_FIND_DATAW fd;
    TFindHandle h(::FindFirstFileExW((dir + L"*").c_str(), FindExInfoStandard, &fd, FindExSearchNameMatch, nullptr, 0));
    if (!h) return true;
    do {
        if (IsDots(fd.cFileName)) continue;
        const std::wstring full = dir + fd.cFileName;
        if (full == zipFN) continue;  // the archive being written
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            AddFilesToZip(zipFile, bytesCount, baseFolderName, full, zipFN, AbsoluteFileNames);
        } else {
            std::wstring entry = AbsoluteFileNames ? full : full.substr(std::min(baseFolderName.size(), full.size()));
            uint64_t size = AddOneFile(static_cast<::zipFile>(zipFile), full, entry, fd);
            // A signed 32-bit sum of the low 32 bits of each size, as callers expect.
            bytesCount = static_cast<int32_t>(static_cast<uint32_t>(bytesCount) + static_cast<uint32_t>(size));
        }
    } while (::FindNextFileW(h.get(), &fd));
    return true;
}

bool TFileSystemHelper::ExtractZipFilesFromZipFile(const std::wstring& zipFN) {
    try {
        return ExtractArchive(zipFN);
    } catch (...) {
        return false;
    }
}

bool TFileSystemHelper::ExtractZipFilesFromStream(TMemoryStream& ms, const std::wstring& pathName) {
    try {
        ForceDirectories(pathName);
        const std::wstring tmp = WithBackslash(pathName) + L"tmp.zip";
        textfile::WriteNew(tmp, ms.Data(), ms.Size());
        bool ok = ExtractZipFilesFromZipFile(tmp);
        ::DeleteFileW(tmp.c_str());
        return ok;
    } catch (...) {
        return false;
    }
}

bool TFileSystemHelper::ExtractZipFilesFromBuffer(const std::vector<uint8_t>& buf, const std::wstring& pathName) {
    std::unique_ptr<TMemoryStream> ms;
    try {
        ms = std::make_unique<TMemoryStream>(buf);
    } catch (...) {
        return false;
    }
    return ExtractZipFilesFromStream(*ms, pathName);
}

int32_t TFileSystemHelper::ExecProgramWaiting(const std::wstring& progFileName, const std::wstring& progKeys) {
    TStackTrace trace(L"TFileSystemHelper.ExecProgramWaiting FileSystemHelper");
    if (!CheckFileFolderExists(progFileName)) return -2;
    archive_log::Debug(L"Вызов программы " + progFileName + L" с параметрами:" + progKeys);

    SHELLEXECUTEINFOW sei{};
    sei.cbSize = sizeof(sei);
    sei.fMask = SEE_MASK_NOCLOSEPROCESS;
    sei.hwnd = ApplicationMainWindow();
    sei.lpVerb = nullptr;
    sei.lpFile = progFileName.c_str();
    sei.lpParameters = progKeys.c_str();
    sei.lpDirectory = nullptr;
    sei.nShow = SW_SHOWNORMAL;
    if (!::ShellExecuteExW(&sei)) return -1;
    TKernelHandle process(sei.hProcess);

    int32_t counter = 0;
    bool terminated = false;
    DWORD code = STILL_ACTIVE;
    do {
        ::Sleep(1000);
        terminated = ProcessMessages();
        // Without a process handle (a document handed to a running program)
        // or a readable exit code there is nothing to wait for.
        if (!process || !::GetExitCodeProcess(process.get(), &code)) code = 0;
        ++counter;
    } while (code == STILL_ACTIVE && !terminated);
    archive_log::Debug(L"Программа " + progFileName + L" выполнена за " + std::to_wstring(counter) + L" сек.");
    return counter;
}

void TFileSystemHelper::DelTMPFiles(const std::wstring& fPath) {
    const std::wstring dir = WithBackslash(fPath);
    if (FolderExists(dir)) {
        WIN32_FIND_DATAW fd;
        TFindHandle h(::FindFirstFileW((dir + L"*.tmp").c_str(), &fd));
        if (h) {
            do {
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
                // The pattern also matches through short names ("a.tmpx" as
                // "A~1.TMP"): only names that really end in ".tmp" go.
                size_t len = ::wcslen(fd.cFileName);
                if (len < 4 || ::lstrcmpiW(fd.cFileName + len - 4, L".tmp") != 0) continue;
                ::DeleteFileW((dir + fd.cFileName).c_str());
            } while (::FindNextFileW(h.get(), &fd));
        }
    }
    for (const wchar_t* name : {L"tmf.dta", L"hol.dta", L"tmh.dta", L"uid.dta"}) {
        const std::wstring path = dir + name;
        DWORD a = ::GetFileAttributesW(path.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW(path.c_str());
    }
}

std::wstring TFileSystemHelper::GetServerFolder(bool ForExpert) {
    if (!ForExpert) return L"";
    if (!FolderExists(ExeFolder() + L"Servers")) {
        archive_log::Error(kNoServers);
        return L"";
    }
    return LastServerFolder();
}

TDeviceDescriptor TFileSystemHelper::GetDeviceDescription(bool ForExpert, const std::wstring& ForExpPassword) {
    TStackTrace trace(L"TFileSystemHelper.GetDeviceDescription FileSystemHelper");
    TDeviceDescriptor result;
    const std::wstring exe = ExeFolder();
    std::wstring profile;
    if (ForExpert) {
        if (!FolderExists(exe + L"Servers")) {
            archive_log::Error(kNoServers);
            return result;
        }
        profile = exe + L"Servers\\" + LastServerFolder() + L"\\Profile\\Experts";
    } else {
        profile = exe + L"Profile\\Devices";
    }
    std::wstring first;
    {
        WIN32_FIND_DATAW fd;
        TFindHandle h(::FindFirstFileW((profile + L"\\*.*").c_str(), &fd));
        if (h) {
            do {
                if (!IsDots(fd.cFileName)) { first = fd.cFileName; break; }
            } while (::FindNextFileW(h.get(), &fd));
        }
    }
    if (first.empty()) return result;
    profile_xml::TProfileTexts texts = profile_xml::ReadDataXml(profile + L"\\" + first + L"\\DATA.XML");
    result.DeviceID = first;
    result.DeviceName = texts.Name;
    result.DevicePassword = ForExpert ? ForExpPassword : texts.Password;
    result.DeviceZone = texts.Zone;
    result.DevicePhone = texts.PhoneNumber;
    return result;
}
