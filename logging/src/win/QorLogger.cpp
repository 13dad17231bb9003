// The process-wide logger facade.
#include "logging/QorLogger.h"

#include <mutex>

namespace {

std::atomic<TQorLogger*> QorLogger{nullptr};
std::atomic<TQorLoggerThread*> QorLoggerThread{nullptr};
// Recursive: Release destroys the logger while holding it.
std::recursive_mutex CreateLock;

void Queue(int logType, int level, const std::wstring& text) {
    if (TQorLoggerThread* thread = QorLoggerThread.load(std::memory_order_acquire))
        thread->LogString(logType, level, text);
}

void Queue(int logType, int level, const wchar_t* prefix, const std::wstring& text) {
    if (TQorLoggerThread* thread = QorLoggerThread.load(std::memory_order_acquire))
        thread->LogString(logType, level, prefix, text);
}

}  // namespace

TQorLogger* TQorLogger::Create() {
    if (TQorLogger* logger = QorLogger.load(std::memory_order_acquire)) return logger;
    std::lock_guard<std::recursive_mutex> guard(CreateLock);
    TQorLogger* logger = QorLogger.load(std::memory_order_acquire);
    if (!logger) {
        QorLoggerThread.store(new TQorLoggerThread(), std::memory_order_release);
        logger = new TQorLogger();
        QorLogger.store(logger, std::memory_order_release);
    }
    return logger;
}

TQorLogger::~TQorLogger() {
    std::lock_guard<std::recursive_mutex> guard(CreateLock);
    // Lines of later calls are dropped from here on; the final flush writes
    // what was queued before.
    TQorLoggerThread* thread = QorLoggerThread.exchange(nullptr, std::memory_order_acq_rel);
    if (thread) {
        thread->Terminate();
        delete thread;
    }
    TQorLogger* self = this;
    QorLogger.compare_exchange_strong(self, nullptr, std::memory_order_acq_rel);
}

bool TQorLogger::Exists() noexcept { return QorLogger.load(std::memory_order_acquire) != nullptr; }

void TQorLogger::Release() {
    // Under the lock, so that a concurrent Create or Release waits until the
    // old logger and its thread are gone.
    std::lock_guard<std::recursive_mutex> guard(CreateLock);
    delete QorLogger.load(std::memory_order_acquire);
}

void TQorLogger::LogString(const std::wstring& str) { Queue(COMMON, FINELOG, str); }

void TQorLogger::LogString(TLogLevelEnum mylogLevel, const std::wstring& str) { Queue(COMMON, mylogLevel, str); }

void TQorLogger::LogString(TLogTypeEnum logType, TLogLevelEnum mylogLevel, const std::wstring& str) {
    Queue(logType, mylogLevel, str);
}

void TQorLogger::EnterStack(const std::wstring& str) { Queue(STACKLOG, DEBUGLOG, L"==> ", str); }

void TQorLogger::LeaveStack(const std::wstring& str) { Queue(STACKLOG, DEBUGLOG, L"<== ", str); }

void TQorLogger::StartSession(TLogTypeEnum logType) {
    Queue(logType, FINELOG, L"//// Начало сессии работы");
}

void TQorLogger::FinishSession(TLogTypeEnum logType) {
    Queue(logType, FINELOG, L"\\\\\\\\ Окончание сессии работы");
}

void TQorLogger::backLogs() {
    if (TQorLoggerThread* thread = QorLoggerThread.load(std::memory_order_acquire)) thread->backLogs();
}
