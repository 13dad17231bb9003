// The helper library's logger calls reach the process-wide logger.
#include "../../common/src/win/ArchiveLog.h"

#include "logging/QorLogger.h"

#include <gtest/gtest.h>

#include <string>
#include "TestFiles.h"

using testsupport::ReadBytes;

TEST(LoggerAdapter, HelperLinesGoToTheirFilesWithTheirLevels) {
    const std::string mark = std::to_string(::GetTickCount());
    const std::wstring wmark(mark.begin(), mark.end());
    archive_log::Debug(L"debug " + wmark);
    archive_log::Error(L"error " + wmark);
    archive_log::EnterStack(L"TFileSystemHelper.PackAllFiles FileSystemHelper " + wmark);
    archive_log::LeaveStack(L"TFileSystemHelper.PackAllFiles FileSystemHelper " + wmark);
    delete TQorLogger::Create();  // final flush
    const std::string common = ReadBytes(TQorLoggerThread::LogFilePath(COMMON));
    const std::string stack = ReadBytes(TQorLoggerThread::LogFilePath(STACKLOG));
    EXPECT_NE(std::string::npos, common.find(" - DEBUG - debug " + mark + "\r\n"));
    EXPECT_NE(std::string::npos, common.find(" - ERROR - error " + mark + "\r\n"));
    EXPECT_NE(std::string::npos, stack.find(" - DEBUG - ==> TFileSystemHelper.PackAllFiles FileSystemHelper " + mark));
    EXPECT_NE(std::string::npos, stack.find(" - DEBUG - <== TFileSystemHelper.PackAllFiles FileSystemHelper " + mark));
}
