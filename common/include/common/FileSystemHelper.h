// File and folder operations, ZIP archives, running programs and reading
// profile descriptions.  A class of class methods: never instantiated.
#pragma once

#include "common/DateTime.h"
#include "common/MemoryStream.h"
#include "common/StringList.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Description of a device or an expert read from its profile folder (DATA.XML).
struct TDeviceDescriptor {
    std::wstring DeviceID;
    std::wstring DeviceName;
    std::wstring DevicePassword;
    std::wstring DeviceTextDescription;
    std::wstring DeviceZone;
    std::wstring DevicePhone;
    std::wstring DeviceCryptoContainer;
};

// Used only inside DelLastDir.
struct TDirList {
    std::wstring dir;
    TDateTime dt = 0;
};

class TFileSystemHelper {
public:
    TFileSystemHelper() = delete;

    // --- Files and folders ---------------------------------------------------
    // Raises EFOpenError / EFCreateError when the source cannot be opened or
    // the destination cannot be created; false when copying or stamping fails.
    static bool FileCopy(const std::wstring& SrcFileName, const std::wstring& DstFileName);
    static bool FullDirectoryCopy(const std::wstring& SourceDir, const std::wstring& TargetDir,
                                  bool StopIfNotAllCopied, bool OverWriteFiles, bool recursiveCopy);
    static bool FullRemoveDir(const std::wstring& dir, bool DeleteAllFilesAndFolders,
                              bool StopIfNotAllDeleted, bool RemoveRoot);
    static void GetSubDirs(const std::wstring& sRootDir, TStringList& slt);
    static bool CheckFileFolderExists(const std::wstring& FileFolderName);
    static std::unique_ptr<TStringList> ListFolderFiles(const std::wstring& dir,
                                                        const std::wstring& filterString, bool bAbsPath);
    static void ListFileDir(const std::wstring& Path, TStringList& FileList);
    static std::wstring GetWindowsFolder();
    // Raises EInOutError "Файл не существует." for a missing file.
    static bool FileUpdated(const std::wstring& FileName, TDateTime& GivenDate);
    static TDateTime CreationTime(const std::wstring& AFileName);
    static TDateTime LastWritten(const std::wstring& AFileName);
    static TDateTime LastAccess(const std::wstring& AFileName);
    static TDateTime GetDirTime(const std::wstring& dir);
    static int64_t GetFileSize(const std::wstring& FileName);
    static void DelLastDir(const std::wstring& str, int32_t count);

    // --- Archives, programs, profile folders -----------------------------------
    static bool PackAllFiles(double& compressionRatio, int32_t& srcFilesSize,
                             const std::wstring& rootSrcFolder, const std::wstring& zipFileName,
                             bool AbsoluteFileNames);
    // zipFile is an archive opened for writing by the archive library.
    static bool AddFilesToZip(void* zipFile, int32_t& bytesCount, const std::wstring& baseFolderName,
                              const std::wstring& folderName, const std::wstring& zipFN,
                              bool AbsoluteFileNames);
    static bool ExtractZipFilesFromZipFile(const std::wstring& zipFN);
    static bool ExtractZipFilesFromStream(TMemoryStream& ms, const std::wstring& pathName);
    static bool ExtractZipFilesFromBuffer(const std::vector<uint8_t>& buf, const std::wstring& pathName);
    static int32_t ExecProgramWaiting(const std::wstring& progFileName, const std::wstring& progKeys);
    static void DelTMPFiles(const std::wstring& fPath);
    static TDeviceDescriptor GetDeviceDescription(bool ForExpert, const std::wstring& ForExpPassword);
    static std::wstring GetServerFolder(bool ForExpert);
};
