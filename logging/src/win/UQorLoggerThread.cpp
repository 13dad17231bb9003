// The log-writer thread: queues under one critical section, a flush once a
// second, rotation of seven generations.
#include "logging/QorLogger.h"

#include "logging/LogFormat.h"

#include <utility>

namespace {

class TLock {
public:
    explicit TLock(CRITICAL_SECTION& cs) noexcept : FCs(cs) { ::EnterCriticalSection(&FCs); }
    ~TLock() { ::LeaveCriticalSection(&FCs); }
    TLock(const TLock&) = delete;
    TLock& operator=(const TLock&) = delete;

private:
    CRITICAL_SECTION& FCs;
};

bool FileExists(const std::wstring& path) {
    const DWORD attr = ::GetFileAttributesW(path.c_str());
    return attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// Creates a folder and its missing parents; true when it exists afterwards.
bool ForceFolder(std::wstring dir) {
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    if (dir.empty()) return false;
    const DWORD attr = ::GetFileAttributesW(dir.c_str());
    if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const size_t cut = dir.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0 && dir[cut - 1] != L':' && dir[cut - 1] != L'\\')
        ForceFolder(dir.substr(0, cut));
    return ::CreateDirectoryW(dir.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

// Log files are never handed down to child processes (the installer starts
// a driver setup program while the logger runs).
HANDLE OpenLogFile(const std::wstring& path, DWORD disposition) {
    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof sa;
    sa.bInheritHandle = FALSE;
    return ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, &sa, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

std::wstring ProgramFolder() {
    std::wstring buf(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = ::GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return std::wstring();
        if (n < buf.size()) {
            buf.resize(n);
            break;
        }
        buf.resize(buf.size() * 2);
    }
    const size_t cut = buf.find_last_of(L'\\');
    return cut == std::wstring::npos ? std::wstring() : buf.substr(0, cut + 1);
}

}  // namespace

std::wstring TQorLoggerThread::LogFolder() { return ProgramFolder() + L"logs\\"; }

std::wstring TQorLoggerThread::LogFilePath(int logType) {
    if (!IsValidLogType(logType)) return std::wstring();
    return LogFolder() + LogTypeFileNames[logType];
}

TQorLoggerThread::TQorLoggerThread() : FFolder(LogFolder()) {
    FWake = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    FThread = ::CreateThread(nullptr, 0, &TQorLoggerThread::ThreadProc, this, CREATE_SUSPENDED, &FThreadId);
    PrepareQueues();
    if (FThread) ::ResumeThread(FThread);
}

TQorLoggerThread::~TQorLoggerThread() {
    while (!Terminated()) Terminate();
    if (FThread) ::CloseHandle(FThread);
    if (FWake) ::CloseHandle(FWake);
    if (initialized) ::DeleteCriticalSection(&locker);
}

void TQorLoggerThread::PrepareQueues() {
    ::InitializeCriticalSectionAndSpinCount(&locker, 4000);
    {
        TLock guard(locker);
        initialized = true;
        queues = std::make_unique<TQueues>();
        for (int t = 0; t < kLogTypeCount; ++t) {
            // Failures here are ignored: the lines of an unwritable type stay queued.
            ForceFolder(FFolder);
            const std::wstring file = FFolder + LogTypeFileNames[t];
            if (!FileExists(file)) {
                HANDLE h = OpenLogFile(file, CREATE_NEW);
                if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
            }
        }
    }
    Finishing.store(false, std::memory_order_release);
}

DWORD WINAPI TQorLoggerThread::ThreadProc(LPVOID self) {
    static_cast<TQorLoggerThread*>(self)->Execute();
    return 0;
}

void TQorLoggerThread::Execute() {
    while (!Finishing.load(std::memory_order_acquire)) {
        WriteCache();
        // A plain one-second pause, cut short when the logger stops.
        ::WaitForSingleObject(FWake, 1000);
    }
}

void TQorLoggerThread::LogString(int logType, int mylogLevel, std::wstring str) {
    if (Finishing.load(std::memory_order_acquire) || Terminated()) return;
    if (!IsValidLogType(logType)) return;  // no queue, no file for it
    TLock guard(locker);
    // Checked again under the lock: the final flush and the release of the
    // queues run under it too, so a line is either flushed or dropped.
    if (Finishing.load(std::memory_order_relaxed) || !queues) return;
    TQueuedLine line;
    ::GetSystemTimeAsFileTime(&line.Stamp);
    line.Level = mylogLevel;
    line.Text = std::move(str);
    (*queues)[logType].push_back(std::move(line));
}

size_t TQorLoggerThread::PendingLines(int logType) {
    if (!IsValidLogType(logType) || !initialized) return 0;
    TLock guard(locker);
    return queues ? (*queues)[logType].size() : 0;
}

void TQorLoggerThread::WriteCache() {
    if (Terminated() || !initialized) return;
    TLock guard(locker);
    FlushLocked();
}

void TQorLoggerThread::FlushLocked() {
    if (!queues) return;
    for (int t = 0; t < kLogTypeCount; ++t) {
        auto& queue = (*queues)[t];
        if (queue.empty()) continue;
        if (WriteQueue(t, queue)) {
            if (queue.capacity() > 65536) {
                std::vector<TQueuedLine>().swap(queue);
            } else {
                queue.clear();
            }
        }
    }
}

// Appends the queued lines of one type with one open, one seek, one write and
// one close.  False when the lines must stay queued for the next flush.
bool TQorLoggerThread::WriteQueue(int logType, std::vector<TQueuedLine>& queue) {
    const std::wstring file = FFolder + LogTypeFileNames[logType];

    // Local time of each line: the bias is taken once per flush.
    FILETIME firstLocal{};
    ::FileTimeToLocalFileTime(&queue.front().Stamp, &firstLocal);
    auto toInt = [](const FILETIME& f) {
        return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
    };
    const LONGLONG bias = static_cast<LONGLONG>(toInt(firstLocal) - toInt(queue.front().Stamp));

    FBuffer.clear();
    FBuffer.reserve(queue.size() * 64);
    for (const TQueuedLine& line : queue) {
        const ULONGLONG local = toInt(line.Stamp) + static_cast<ULONGLONG>(bias);
        FILETIME lf;
        lf.dwLowDateTime = static_cast<DWORD>(local);
        lf.dwHighDateTime = static_cast<DWORD>(local >> 32);
        SYSTEMTIME st{};
        ::FileTimeToSystemTime(&lf, &st);
        TLogStamp stamp;
        stamp.Year = st.wYear;
        stamp.Month = st.wMonth;
        stamp.Day = st.wDay;
        stamp.Hour = st.wHour;
        stamp.Minute = st.wMinute;
        stamp.Second = st.wSecond;
        stamp.Millisecond = st.wMilliseconds;
        AppendLogLine(FBuffer, stamp, line.Level, line.Text);
        FBuffer.append(L"\r\n", 2);
    }
    if (FBuffer.size() > 0x7FFFFFFF) return false;
    const int wlen = static_cast<int>(FBuffer.size());
    const int alen = ::WideCharToMultiByte(CP_ACP, 0, FBuffer.data(), wlen, nullptr, 0, nullptr, nullptr);
    if (alen <= 0) return false;
    FAnsi.resize(static_cast<size_t>(alen));
    ::WideCharToMultiByte(CP_ACP, 0, FBuffer.data(), wlen, FAnsi.data(), alen, nullptr, nullptr);

    logFileStream = OpenLogFile(file, OPEN_EXISTING);
    if (logFileStream == INVALID_HANDLE_VALUE) {
        // Rotated away (or the folder was removed): create it anew.
        if (::GetLastError() == ERROR_PATH_NOT_FOUND) ForceFolder(FFolder);
        logFileStream = OpenLogFile(file, OPEN_ALWAYS);
    }
    if (logFileStream == INVALID_HANDLE_VALUE) return false;

    bool written = false;
    LARGE_INTEGER zero{}, end{};
    if (::SetFilePointerEx(logFileStream, zero, &end, FILE_END)) {
        DWORD put = 0;
        written = ::WriteFile(logFileStream, FAnsi.data(), static_cast<DWORD>(FAnsi.size()), &put, nullptr) &&
                  put == FAnsi.size();
        if (!written) {
            // Take a partial write back so that the retry does not double lines.
            ::SetFilePointerEx(logFileStream, end, nullptr, FILE_BEGIN);
            ::SetEndOfFile(logFileStream);
        }
    }
    ::CloseHandle(logFileStream);
    logFileStream = INVALID_HANDLE_VALUE;
    return written;
}

void TQorLoggerThread::backLogs() {
    for (int t = 0; t < kLogTypeCount; ++t) {
        const std::wstring base = FFolder + LogTypeFileNames[t];
        for (int n = kLogGenerations - 1; n >= 1; --n) {
            const std::wstring older = LogGenerationName(base, n + 1);
            const std::wstring current = LogGenerationName(base, n);
            if (FileExists(older)) ::DeleteFileW(older.c_str());
            if (FileExists(current)) ::MoveFileW(current.c_str(), older.c_str());
        }
        if (FileExists(base)) ::MoveFileW(base.c_str(), LogGenerationName(base, 1).c_str());
    }
}

void TQorLoggerThread::Terminate() {
    if (Terminated()) return;
    Finishing.store(true, std::memory_order_release);
    // The writer thread ends before the final flush, so the final flush and
    // the release of the queues never overlap one of its flushes.
    if (FWake) ::SetEvent(FWake);
    if (FThread && ::GetCurrentThreadId() != FThreadId)
        ::WaitForSingleObject(FThread, INFINITE);
    StopAndFree();
    FTerminated.store(true, std::memory_order_release);
}

void TQorLoggerThread::StopAndFree() {
    if (!initialized) return;
    TLock guard(locker);
    FlushLocked();  // lines it cannot write are lost with the queues
    if (logFileStream != INVALID_HANDLE_VALUE) {
        ::CloseHandle(logFileStream);
        logFileStream = INVALID_HANDLE_VALUE;
    }
    queues.reset();
    // The critical section itself lives until the destructor, so that a
    // caller racing the stop never enters a released lock.
}
