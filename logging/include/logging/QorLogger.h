// The process-wide logger and its log-writer thread.
//
// Every framework unit logs through TQorLogger::Create()->LogString(...).  A
// call only appends the line to the queue of its log type under one critical
// section; the writer thread appends the queues to the six files of the
// "logs" folder beside the running program once a second (ANSI code page,
// CR LF, "yyyy-mm-dd hh:nn:ss.zzz - LEVEL - text").
#pragma once

#include "common/Win32.h"
#include "logging/EnumHelper.h"

#include <array>
#include <cstddef>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class TQorLoggerThread {
public:
    // Creates the thread suspended, prepares the queues (the "logs" folder and
    // the six files exist afterwards) and starts it.  The writer flushes once
    // per flushIntervalMs (the logger uses one second; INFINITE leaves all
    // flushing after the first to WriteCache and the final flush).
    explicit TQorLoggerThread(DWORD flushIntervalMs = 1000);
    // Terminate, then wait for the thread body to return.
    virtual ~TQorLoggerThread();

    TQorLoggerThread(const TQorLoggerThread&) = delete;
    TQorLoggerThread& operator=(const TQorLoggerThread&) = delete;

    // Queues one line; returns at once.  Dropped while stopping, after
    // stopping, and for a log type outside 0..5.
    void LogString(int logType, int mylogLevel, const std::wstring& str);
    // The same with a prefix before the text ("==> ", "<== ").
    void LogString(int logType, int mylogLevel, const wchar_t* prefix, const std::wstring& str);
    // One flush of all queues (the writer thread runs it once a second).
    void WriteCache();
    // Rotates the log files: "_1" the newest of seven older generations.
    void backLogs();
    // Stops the thread: no more lines, the writer thread ends, then a final
    // flush of everything queued and the release of the queues.
    void Terminate();
    bool Terminated() const noexcept { return FTerminated.load(std::memory_order_acquire); }

    // Program folder + "logs" + "\"; the file of a type in it.
    static std::wstring LogFolder();
    static std::wstring LogFilePath(int logType);

    // Number of lines waiting in the queue of a type (for diagnostics).
    size_t PendingLines(int logType);

private:
    // One list of pending lines per type, kept as the bytes that the file
    // receives: each line is made when it is queued (time stamp of that
    // moment, ANSI code page, CR LF), so a flush is a single write and
    // emptying a list frees nothing line by line.
    struct TQueue {
        std::string Bytes;
        size_t Count = 0;
        unsigned long long StampSecond = ~0ULL;  // UTC second of Stamp
        char Stamp[23] = {};                     // "yyyy-mm-dd hh:nn:ss.zzz", local time
        bool empty() const noexcept { return Count == 0; }
    };
    using TQueues = std::array<TQueue, kLogTypeCount>;

    static DWORD WINAPI ThreadProc(LPVOID self);
    void Execute();
    void StopAndFree();
    void PrepareQueues();
    void FlushLocked();
    bool WriteQueue(int logType, TQueue& queue);
    void BuildCodePageTable();
    void AppendAnsi(std::string& out, const wchar_t* text, size_t length) const;

    HANDLE logFileStream = INVALID_HANDLE_VALUE;  // open only during a flush
    std::unique_ptr<TQueues> queues;
    bool initialized = false;
    CRITICAL_SECTION locker;
    std::atomic<bool> Finishing{true};
    std::atomic<bool> FTerminated{false};
    HANDLE FThread = nullptr;
    DWORD FThreadId = 0;
    HANDLE FWake = nullptr;  // wakes the writer early when stopping
    DWORD FInterval = 1000;
    std::wstring FFolder;
    std::vector<char> FCodePage;  // UTF-16 unit -> ANSI byte (single-byte code pages)
};

class TQorLogger {
public:
    // The process-wide logger; created (with its writer thread) on first use.
    static TQorLogger* Create();
    // Stops and frees the writer thread, clears the process-wide variables; a
    // later Create makes a new logger and thread.
    ~TQorLogger();
    // Whether the process-wide logger exists now (made by Create, not yet
    // destroyed).  Asking never creates it.
    static bool Exists() noexcept;
    // Destroys the process-wide logger when it exists: the final flush writes
    // what was queued, and the call returns once the writer thread has ended.
    // Nothing happens when no logger exists.
    static void Release();

    TQorLogger(const TQorLogger&) = delete;
    TQorLogger& operator=(const TQorLogger&) = delete;

    void LogString(const std::wstring& str);                               // COMMON, FINELOG
    void LogString(TLogLevelEnum mylogLevel, const std::wstring& str);     // COMMON
    void LogString(TLogTypeEnum logType, TLogLevelEnum mylogLevel, const std::wstring& str);
    void EnterStack(const std::wstring& str);   // STACKLOG, DEBUGLOG, "==> " + str
    void LeaveStack(const std::wstring& str);   // STACKLOG, DEBUGLOG, "<== " + str
    void StartSession(TLogTypeEnum logType);    // "//// Начало сессии работы"
    void FinishSession(TLogTypeEnum logType);   // "\\\\ Окончание сессии работы"
    void backLogs();

private:
    TQorLogger() = default;
};
