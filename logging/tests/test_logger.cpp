// The logger and its writer thread under Wine: files beside this program in
// "logs", queues, the once-a-second flush, stopping and rotation.
#include "logging/LogFormat.h"
#include "logging/QorLogger.h"

#include "common/Win32.h"

#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <thread>
#include <string>
#include <vector>
#include "TestFiles.h"

namespace {

using testsupport::ReadBytes;
using testsupport::WriteBytes;
using testsupport::Exists;
using testsupport::Ansi;

std::vector<std::wstring> FolderEntries(const std::wstring& dir) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring n = fd.cFileName;
        if (n != L"." && n != L"..") names.push_back(n);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return names;
}

void RemoveLogsFolder() {
    const std::wstring dir = TQorLoggerThread::LogFolder();
    for (const std::wstring& n : FolderEntries(dir)) ::DeleteFileW((dir + n).c_str());
    ::RemoveDirectoryW(dir.c_str());
}

// Polls until the file holds the text (or ten seconds pass).
bool WaitForText(const std::wstring& path, const std::string& text, DWORD limitMs = 10000) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (ReadBytes(path).find(text) != std::string::npos) return true;
        if (::GetTickCount() - start > limitMs) return false;
        ::Sleep(50);
    }
}

std::wstring FileOf(int type) { return TQorLoggerThread::LogFilePath(type); }

class LoggerTest : public testing::Test {
protected:
    void SetUp() override {
        delete TQorLogger::Create();  // no logger of an earlier test survives
        RemoveLogsFolder();
        ASSERT_FALSE(Exists(TQorLoggerThread::LogFolder()));
    }
    void TearDown() override {
        delete TQorLogger::Create();
        RemoveLogsFolder();
    }
};

}  // namespace

TEST_F(LoggerTest, CreationMakesTheFolderAndSixEmptyFiles) {
    TQorLogger* logger = TQorLogger::Create();
    EXPECT_EQ(logger, TQorLogger::Create());
    const wchar_t* files[] = {L"common.log", L"protocol.log", L"stack.log",
                              L"upgrade.log", L"db_copy.log", L"hardware.log"};
    for (const wchar_t* f : files) {
        SCOPED_TRACE(testing::Message() << "file " << Ansi(f));
        EXPECT_EQ("", ReadBytes(TQorLoggerThread::LogFolder() + f));
    }
    EXPECT_EQ(6u, FolderEntries(TQorLoggerThread::LogFolder()).size());
}

TEST_F(LoggerTest, LinesOfOneTypeKeepTheirOrderAndFormat) {
    TQorLogger* logger = TQorLogger::Create();
    for (int i = 0; i < 200; ++i) logger->LogString(DEBUGLOG, L"line " + std::to_wstring(i));
    logger->LogString(L"last");
    ASSERT_TRUE(WaitForText(FileOf(COMMON), "last\r\n"));
    const std::string text = ReadBytes(FileOf(COMMON));
    const std::regex line(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} - (DEBUG|FINE) - (.*)$)");
    size_t pos = 0;
    int n = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        ASSERT_NE(std::string::npos, end) << "every line ends in CR LF";
        const std::string one = text.substr(pos, end - pos);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(one, m, line)) << one;
        if (n < 200) {
            EXPECT_EQ("DEBUG", m[1].str());
            EXPECT_EQ("line " + std::to_string(n), m[2].str());
        } else {
            EXPECT_EQ("FINE", m[1].str());
            EXPECT_EQ("last", m[2].str());
        }
        ++n;
        pos = end + 2;
    }
    EXPECT_EQ(201, n);
    EXPECT_EQ("", ReadBytes(FileOf(PROTOCOL)));
}

namespace {

std::string LocalStamp() {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear, t.wMonth, t.wDay, t.wHour,
                  t.wMinute, t.wSecond, t.wMilliseconds);
    return buf;
}

// The stamps of the lines of a file, in file order.
std::vector<std::string> Stamps(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos + 23 <= text.size()) {
        out.push_back(text.substr(pos, 23));
        const size_t end = text.find("\r\n", pos);
        if (end == std::string::npos) break;
        pos = end + 2;
    }
    return out;
}

}  // namespace

TEST_F(LoggerTest, StampIsTheLocalTimeOfQueueing) {
    TQorLogger* logger = TQorLogger::Create();
    std::vector<std::string> bounds;
    for (int i = 0; i < 3; ++i) {
        bounds.push_back(LocalStamp());
        for (int k = 0; k < 20; ++k) {
            logger->LogString(PROTOCOL, FINELOG, L"tick");
            ::Sleep(7);
        }
        bounds.push_back(LocalStamp());
        ::Sleep(1100);
    }
    delete logger;
    const std::vector<std::string> stamps = Stamps(ReadBytes(FileOf(PROTOCOL)));
    ASSERT_EQ(60u, stamps.size());
    for (size_t i = 0; i < stamps.size(); ++i) {
        SCOPED_TRACE(i);
        // A clock tick of the platform may separate the two readings a little.
        const std::string& low = bounds[(i / 20) * 2];
        const std::string& high = bounds[(i / 20) * 2 + 1];
        EXPECT_LE(low.substr(0, 19), stamps[i].substr(0, 19));
        EXPECT_GE(high.substr(0, 19), stamps[i].substr(0, 19));
        if (i > 0) {
            EXPECT_LE(stamps[i - 1], stamps[i]);
        }
    }
    EXPECT_LT(stamps[19].substr(0, 19), stamps[20].substr(0, 19));
    EXPECT_NE(stamps[0], stamps[19]) << "milliseconds advance within a second";
}

TEST_F(LoggerTest, StackAndSessionTexts) {
    TQorLogger* logger = TQorLogger::Create();
    logger->EnterStack(L"TFileSystemHelper.FileCopy FileSystemHelper");
    logger->LeaveStack(L"TFileSystemHelper.FileCopy FileSystemHelper");
    logger->StartSession(COMMON);
    logger->FinishSession(COMMON);
    logger->LogString(HWLOG, ERRORLOG, L"порт");
    delete logger;  // the final flush writes everything queued

    const std::regex stack(
        R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} - DEBUG - ==> TFileSystemHelper\.FileCopy FileSystemHelper\r\n)"
        R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} - DEBUG - <== TFileSystemHelper\.FileCopy FileSystemHelper\r\n$)");
    EXPECT_TRUE(std::regex_match(ReadBytes(FileOf(STACKLOG)), stack)) << ReadBytes(FileOf(STACKLOG));

    const std::string common = ReadBytes(FileOf(COMMON));
    const std::string start = " - FINE - " + Ansi(L"//// Начало сессии работы") + "\r\n";
    const std::string finish = " - FINE - " + Ansi(L"\\\\\\\\ Окончание сессии работы") + "\r\n";
    EXPECT_NE(std::string::npos, common.find(start));
    const size_t at = common.find(finish);
    ASSERT_NE(std::string::npos, at) << common;
    EXPECT_EQ(std::string(4, '\\') + " ", common.substr(at + 10, 5));
    EXPECT_NE('\\', common[at + 9]);
    EXPECT_EQ(2u, std::count(common.begin(), common.end(), '\n'));
    if (::GetACP() == 1251) {
        // 8-bit text in the ANSI code page: "порт" is EF EE F0 F2.
        EXPECT_NE(std::string::npos, ReadBytes(FileOf(HWLOG)).find(" - ERROR - \xEF\xEE\xF0\xF2\r\n"));
    }
}

TEST_F(LoggerTest, LevelOutsideTheTableWritesAnEmptyLevel) {
    TQorLogger* logger = TQorLogger::Create();
    logger->LogString(UPGRADE, static_cast<TLogLevelEnum>(5), L"odd level");
    delete logger;
    EXPECT_NE(std::string::npos, ReadBytes(FileOf(UPGRADE)).find(" -  - odd level\r\n"));
}

TEST_F(LoggerTest, TypeOutsideTheTableIsDroppedWithoutHarm) {
    TQorLogger* logger = TQorLogger::Create();
    for (int t : {-1, 6, 7, 1 << 30}) logger->LogString(static_cast<TLogTypeEnum>(t), FINELOG, L"stray");
    logger->LogString(LOGTYPESIZE, FINELOG, L"stray");
    logger->LogString(DBCOPY, FINELOG, L"kept");
    delete logger;
    EXPECT_EQ(6u, FolderEntries(TQorLoggerThread::LogFolder()).size());
    for (int t = 0; t < 6; ++t) {
        SCOPED_TRACE(t);
        EXPECT_EQ(std::string::npos, ReadBytes(FileOf(t)).find("stray"));
    }
    EXPECT_NE(std::string::npos, ReadBytes(FileOf(DBCOPY)).find("kept"));
}

TEST_F(LoggerTest, LinesAfterStoppingDoNotAppearLinesBeforeDo) {
    auto* thread = new TQorLoggerThread();
    thread->LogString(COMMON, FINELOG, L"before stop");
    thread->Terminate();
    EXPECT_TRUE(thread->Terminated());
    thread->LogString(COMMON, FINELOG, L"after stop");
    thread->WriteCache();  // nothing to do once terminated
    delete thread;
    const std::string text = ReadBytes(FileOf(COMMON));
    EXPECT_NE(std::string::npos, text.find("before stop"));
    EXPECT_EQ(std::string::npos, text.find("after stop"));
}

TEST_F(LoggerTest, DestroyedLoggerWritesWhatWasQueuedAndANewOneStartsAfresh) {
    TQorLogger* first = TQorLogger::Create();
    first->LogString(L"first logger");
    delete first;
    EXPECT_NE(std::string::npos, ReadBytes(FileOf(COMMON)).find("first logger\r\n"));
    TQorLogger* second = TQorLogger::Create();
    second->LogString(L"second logger");
    delete second;
    const std::string text = ReadBytes(FileOf(COMMON));
    EXPECT_LT(text.find("first logger"), text.find("second logger"));
    EXPECT_NE(std::string::npos, text.find("second logger"));
}

namespace {

// Threads of this process now.
int ThreadCount() {
    HANDLE snap = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    THREADENTRY32 te{};
    te.dwSize = sizeof te;
    int n = 0;
    for (BOOL more = ::Thread32First(snap, &te); more; more = ::Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == ::GetCurrentProcessId()) ++n;
    ::CloseHandle(snap);
    return n;
}

}  // namespace

TEST_F(LoggerTest, ReleaseFlushesJoinsTheWriterAndOnlyActsWhenALoggerExists) {
    EXPECT_FALSE(TQorLogger::Exists());
    TQorLogger::Release();  // none exists: nothing happens, nothing is created
    EXPECT_FALSE(TQorLogger::Exists());
    EXPECT_FALSE(Exists(TQorLoggerThread::LogFolder())) << "asking and releasing never create the logger";

    const int before = ThreadCount();
    ASSERT_GT(before, 0);
    TQorLogger* logger = TQorLogger::Create();
    EXPECT_TRUE(TQorLogger::Exists());
    EXPECT_EQ(before + 1, ThreadCount()) << "the writer thread runs";
    // Logged just after a flush of the writer: only the final flush can have
    // written them by the time Release returns.
    for (int i = 0; i < 50; ++i) logger->LogString(L"release line " + std::to_wstring(i));
    TQorLogger::Release();
    EXPECT_FALSE(TQorLogger::Exists());
    EXPECT_EQ(before, ThreadCount()) << "Release returns after the writer thread has ended";
    const std::string text = ReadBytes(FileOf(COMMON));
    EXPECT_NE(std::string::npos, text.find("release line 0\r\n"));
    EXPECT_NE(std::string::npos, text.find("release line 49\r\n")) << text.size();

    TQorLogger* again = TQorLogger::Create();
    EXPECT_TRUE(TQorLogger::Exists());
    again->LogString(L"after release");
    TQorLogger::Release();
    EXPECT_NE(std::string::npos, ReadBytes(FileOf(COMMON)).find("after release\r\n"));
    EXPECT_FALSE(TQorLogger::Exists());
}

TEST_F(LoggerTest, StoppingWhileOtherThreadsLogNeitherCrashesNorLosesQueuedLines) {
    TQorLogger* logger = TQorLogger::Create();
    std::atomic<bool> go{true};
    std::vector<std::thread> writers;
    for (int w = 0; w < 3; ++w)
        writers.emplace_back([&, w] {
            int i = 0;
            while (go.load() && i < 20000) logger->LogString(PROTOCOL, FINELOG, L"w" + std::to_wstring(w) + L" " + std::to_wstring(i++));
        });
    ::Sleep(300);
    auto* thread = new TQorLoggerThread();  // a second writer on its own: stop it amid the traffic
    thread->LogString(UPGRADE, FINELOG, L"own line");
    thread->Terminate();
    delete thread;
    go = false;
    for (auto& t : writers) t.join();
    delete logger;
    EXPECT_NE(std::string::npos, ReadBytes(FileOf(UPGRADE)).find("own line"));
    // Per writer thread the numbers come in order without gaps.
    const std::string text = ReadBytes(FileOf(PROTOCOL));
    int next[3] = {0, 0, 0};
    size_t pos = 0;
    while ((pos = text.find(" - FINE - w", pos)) != std::string::npos) {
        pos += 11;
        const int w = text[pos] - '0';
        const int i = std::atoi(text.c_str() + pos + 2);
        ASSERT_EQ(next[w], i) << "writer " << w;
        next[w] = i + 1;
    }
    EXPECT_GT(next[0] + next[1] + next[2], 0);
}

namespace {

// The holder process: keeps common.log open without sharing until told.
int HoldFile(const std::wstring& tag) {
    HANDLE ready = ::OpenEventW(EVENT_MODIFY_STATE, FALSE, (L"ecglog_ready_" + tag).c_str());
    HANDLE release = ::OpenEventW(SYNCHRONIZE, FALSE, (L"ecglog_release_" + tag).c_str());
    if (!ready || !release) return 2;
    HANDLE h = ::CreateFileW(FileOf(COMMON).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 3;
    ::SetEvent(ready);
    ::WaitForSingleObject(release, 60000);
    ::CloseHandle(h);
    return 0;
}

}  // namespace

TEST_F(LoggerTest, FileHeldByAnotherProcessKeepsItsLinesQueued) {
    TQorLogger* logger = TQorLogger::Create();
    const std::wstring tag = std::to_wstring(::GetCurrentProcessId());
    HANDLE ready = ::CreateEventW(nullptr, TRUE, FALSE, (L"ecglog_ready_" + tag).c_str());
    HANDLE release = ::CreateEventW(nullptr, TRUE, FALSE, (L"ecglog_release_" + tag).c_str());
    wchar_t self[MAX_PATH];
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --hold " + tag;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    ASSERT_TRUE(::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(ready, 20000));

    logger->LogString(L"held line");
    logger->LogString(PROTOCOL, FINELOG, L"free line");
    ASSERT_TRUE(WaitForText(FileOf(PROTOCOL), "free line\r\n"));
    ::Sleep(2500);  // at least two further flushes fail on the held file
    ::SetEvent(release);
    ::WaitForSingleObject(pi.hProcess, 20000);
    DWORD code = 99;
    ::GetExitCodeProcess(pi.hProcess, &code);
    EXPECT_EQ(0u, code);
    EXPECT_EQ("", ReadBytes(FileOf(COMMON)).substr(0, 0));
    EXPECT_TRUE(WaitForText(FileOf(COMMON), "held line\r\n"));
    const std::string text = ReadBytes(FileOf(COMMON));
    EXPECT_EQ(text.find("held line"), text.rfind("held line")) << "written once";
    ::CloseHandle(pi.hProcess);
    ::CloseHandle(pi.hThread);
    ::CloseHandle(ready);
    ::CloseHandle(release);
}

TEST_F(LoggerTest, HeldFileStaysUnwrittenWhileHeld) {
    TQorLogger* logger = TQorLogger::Create();
    HANDLE h = ::CreateFileW(FileOf(COMMON).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    logger->LogString(L"waiting line");
    logger->LogString(STACKLOG, DEBUGLOG, L"marker");
    ASSERT_TRUE(WaitForText(FileOf(STACKLOG), "marker"));
    ::Sleep(1500);
    ::CloseHandle(h);
    EXPECT_EQ(std::string::npos, ReadBytes(FileOf(COMMON)).find("waiting line"))
        << "the line must not have reached the file while it was held";
    EXPECT_TRUE(WaitForText(FileOf(COMMON), "waiting line\r\n"));
}

TEST_F(LoggerTest, RotationKeepsSevenGenerations) {
    TQorLogger* logger = TQorLogger::Create();
    const std::wstring base = FileOf(COMMON);
    WriteBytes(base, "current");
    for (int n = 1; n <= 7; ++n) WriteBytes(LogGenerationName(base, n), "gen" + std::to_string(n));
    logger->backLogs();
    EXPECT_FALSE(Exists(base));
    EXPECT_EQ("current", ReadBytes(LogGenerationName(base, 1)));
    for (int n = 2; n <= 7; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ("gen" + std::to_string(n - 1), ReadBytes(LogGenerationName(base, n)));
    }
    EXPECT_FALSE(Exists(LogGenerationName(base, 8)));
    // The other (empty) files became their first generation.
    EXPECT_TRUE(Exists(LogGenerationName(FileOf(HWLOG), 1)));
    EXPECT_FALSE(Exists(FileOf(HWLOG)));
    // The next line of the type creates the current file again.
    logger->LogString(L"after rotation");
    ASSERT_TRUE(WaitForText(base, "after rotation\r\n"));
    EXPECT_EQ(std::string::npos, ReadBytes(base).find("current"));
    EXPECT_EQ(std::string::npos, ReadBytes(LogGenerationName(base, 1)).find("after rotation"));
}

TEST_F(LoggerTest, UnwritableFolderKeepsLinesQueuedAndIsMadeWhenPossible) {
    // A file where the folder should be: neither the folder nor the files can be made.
    std::wstring folder = TQorLoggerThread::LogFolder();
    folder.pop_back();
    WriteBytes(folder, "not a folder");
    auto* thread = new TQorLoggerThread(INFINITE);
    thread->LogString(COMMON, FINELOG, L"kept while the folder is missing");
    thread->WriteCache();
    EXPECT_EQ(1u, thread->PendingLines(COMMON));
    thread->WriteCache();
    EXPECT_EQ(1u, thread->PendingLines(COMMON));
    ASSERT_TRUE(::DeleteFileW(folder.c_str()));
    thread->WriteCache();  // the folder is made again by the flush
    EXPECT_EQ(0u, thread->PendingLines(COMMON));
    delete thread;
    EXPECT_NE(std::string::npos, ReadBytes(FileOf(COMMON)).find("kept while the folder is missing\r\n"));
}

TEST_F(LoggerTest, FilesAreNotKeptOpenBetweenFlushes) {
    TQorLogger* logger = TQorLogger::Create();
    logger->LogString(L"x");
    ASSERT_TRUE(WaitForText(FileOf(COMMON), "x\r\n"));
    HANDLE h = ::CreateFileW(FileOf(COMMON).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, h);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
}

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--hold") {
        const std::string tag = argv[2];
        return HoldFile(std::wstring(tag.begin(), tag.end()));
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
