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
#include <atomic>
#include <memory>
#include <string>
#include <vector>

class TQorLoggerThread {
public:
    // Creates the thread suspended, prepares the queues (the "logs" folder and
    // the six files exist afterwards) and starts it.
    TQorLoggerThread();
    // Terminate, then wait for the thread body to return.
    virtual ~TQorLoggerThread();

    TQorLoggerThread(const TQorLoggerThread&) = delete;
    TQorLoggerThread& operator=(const TQorLoggerThread&) = delete;

    // Queues one line; returns at once.  Dropped while stopping, after
    // stopping, and for a log type outside 0..5.
    void LogString(int logType, int mylogLevel, std::wstring str);
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
    struct TQueuedLine {
        FILETIME Stamp;  // UTC moment of queueing; written in local time
        int Level;
        std::wstring Text;
    };
    using TQueues = std::array<std::vector<TQueuedLine>, kLogTypeCount>;

    static DWORD WINAPI ThreadProc(LPVOID self);
    void Execute();
    void StopAndFree();
    void PrepareQueues();
    void FlushLocked();
    bool WriteQueue(int logType, std::vector<TQueuedLine>& queue);

    HANDLE logFileStream = INVALID_HANDLE_VALUE;  // open only during a flush
    std::unique_ptr<TQueues> queues;
    bool initialized = false;
    CRITICAL_SECTION locker;
    std::atomic<bool> Finishing{true};
    std::atomic<bool> FTerminated{false};
    HANDLE FThread = nullptr;
    DWORD FThreadId = 0;
    HANDLE FWake = nullptr;  // wakes the writer early when stopping
    std::wstring FFolder;
    std::wstring FBuffer;    // scratch of the flush (writer side only)
    std::string FAnsi;
};

class TQorLogger {
public:
    // The process-wide logger; created (with its writer thread) on first use.
    static TQorLogger* Create();
    // Stops and frees the writer thread, clears the process-wide variables; a
    // later Create makes a new logger and thread.
    ~TQorLogger();

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
