// The log-writer thread: queues under one critical section, a flush once a
// second, rotation of seven generations.
#include "logging/QorLogger.h"

#include "logging/LogFormat.h"

#include <cstring>
#include <cwchar>
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

TQorLoggerThread::TQorLoggerThread(DWORD flushIntervalMs) : FInterval(flushIntervalMs), FFolder(LogFolder()) {
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
    BuildCodePageTable();
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
        // A plain pause (one second for the logger), cut short when stopping.
        ::WaitForSingleObject(FWake, FInterval);
    }
}

void TQorLoggerThread::LogString(int logType, int mylogLevel, const std::wstring& str) {
    LogString(logType, mylogLevel, L"", str);
}

void TQorLoggerThread::LogString(int logType, int mylogLevel, const wchar_t* prefix, const std::wstring& str) {
    if (Finishing.load(std::memory_order_acquire) || Terminated()) return;
    if (!IsValidLogType(logType)) return;  // no queue, no file for it
    TLock guard(locker);
    // Checked again under the lock: the final flush and the release of the
    // queues run under it too, so a line is either flushed or dropped.
    if (Finishing.load(std::memory_order_relaxed) || !queues) return;
    TQueue& queue = (*queues)[logType];

    // Time stamp of now in local time; the date and time text is made anew
    // only when the second changes.
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const unsigned long long utc = (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const unsigned long long second = utc / 10000000ULL;
    if (second != queue.StampSecond) {
        FILETIME local{};
        SYSTEMTIME st{};
        ::FileTimeToLocalFileTime(&now, &local);
        ::FileTimeToSystemTime(&local, &st);
        TLogStamp parts;
        parts.Year = st.wYear;
        parts.Month = st.wMonth;
        parts.Day = st.wDay;
        parts.Hour = st.wHour;
        parts.Minute = st.wMinute;
        parts.Second = st.wSecond;
        parts.Millisecond = st.wMilliseconds;
        FormatLogStamp(parts, queue.Stamp);
        queue.StampSecond = second;
    } else {
        FormatLogMilliseconds(static_cast<unsigned>((utc / 10000ULL) % 1000ULL), queue.Stamp);
    }

    std::string& out = queue.Bytes;
    const size_t before = out.size();
    try {
        out.append(queue.Stamp, kLogStampLength);
        out.append(" - ", 3);
        out.append(LogLevelText8(mylogLevel));
        out.append(" - ", 3);
        if (prefix && *prefix) AppendAnsi(out, prefix, std::wcslen(prefix));
        AppendAnsi(out, str.data(), str.size());
        out.append("\r\n", 2);
        ++queue.Count;
    } catch (...) {
        out.resize(before);  // out of memory: the line is dropped whole, never half queued
    }
}

size_t TQorLoggerThread::PendingLines(int logType) {
    if (!IsValidLogType(logType) || !initialized) return 0;
    TLock guard(locker);
    return queues ? (*queues)[logType].Count : 0;
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
            queue.Count = 0;
            if (queue.Bytes.capacity() > (64u << 20)) {
                std::string().swap(queue.Bytes);  // do not keep the memory of a burst
            } else {
                queue.Bytes.clear();  // the buffer stays for the next lines
            }
        }
    }
}

// The conversion table of a single-byte ANSI code page: one byte per UTF-16
// unit, as WideCharToMultiByte gives it (surrogates: the default character).
// Left empty for multi-byte code pages.
void TQorLoggerThread::BuildCodePageTable() {
    CPINFO info{};
    if (!::GetCPInfo(CP_ACP, &info) || info.MaxCharSize != 1) return;
    const char fallback = info.DefaultChar[0] ? static_cast<char>(info.DefaultChar[0]) : '?';
    std::wstring all(65536, L' ');
    for (unsigned c = 0; c < 65536; ++c)
        if (c < 0xD800 || c > 0xDFFF) all[c] = static_cast<wchar_t>(c);
    std::vector<char> table(65536);
    if (::WideCharToMultiByte(CP_ACP, 0, all.data(), 65536, table.data(), 65536, nullptr, nullptr) != 65536) return;
    for (unsigned c = 0xD800; c <= 0xDFFF; ++c) table[c] = fallback;
    FCodePage.swap(table);
}

// A text in the ANSI code page, appended to out.
void TQorLoggerThread::AppendAnsi(std::string& out, const wchar_t* text, size_t length) const {
    if (length == 0) return;
    if (!FCodePage.empty()) {
        const char* table = FCodePage.data();
        const size_t old = out.size();
        out.resize(old + length);
        char* p = &out[old];
        for (size_t i = 0; i < length; ++i) p[i] = table[static_cast<unsigned short>(text[i])];
        return;
    }
    if (length > 0x3FFFFFFF) return;
    const int wlen = static_cast<int>(length);
    const int alen = ::WideCharToMultiByte(CP_ACP, 0, text, wlen, nullptr, 0, nullptr, nullptr);
    if (alen <= 0) return;
    const size_t old = out.size();
    out.resize(old + static_cast<size_t>(alen));
    ::WideCharToMultiByte(CP_ACP, 0, text, wlen, &out[old], alen, nullptr, nullptr);
}

// Appends the queued lines of one type with one open, one seek, one write and
// one close.  False when the lines must stay queued for the next flush.
bool TQorLoggerThread::WriteQueue(int logType, TQueue& queue) {
    const std::wstring file = FFolder + LogTypeFileNames[logType];
    if (queue.Bytes.size() > 0x7FFFFFFF) return false;

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
        written = ::WriteFile(logFileStream, queue.Bytes.data(), static_cast<DWORD>(queue.Bytes.size()), &put,
                              nullptr) &&
                  put == queue.Bytes.size();
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
