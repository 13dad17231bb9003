// Figures of the logger and the configuration store.
//
//   bench_logcfg [threads lines]
//
// 1. Logger: N threads log L lines each through TQorLogger; afterwards every
//    line must be in the file, in order per thread.  Caller time per
//    LogString: median and 99th percentile (goal: median <= 1 us).
// 2. Flush throughput: one WriteCache of a full queue against one raw
//    WriteFile of the same bytes (goal: ratio >= 0.5).
// 3. Configuration store: Reload and Save of an ecg.ini of 50 sections x 40 keys.
#include "config/ConfigManager.h"
#include "logging/QorLogger.h"

#include "common/Win32.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

double TicksPerNs() {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart) / 1e9;
}

long long Now() {
    LARGE_INTEGER c;
    ::QueryPerformanceCounter(&c);
    return c.QuadPart;
}

std::string ReadBytes(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    LARGE_INTEGER size{};
    ::GetFileSizeEx(h, &size);
    std::string out(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!out.empty()) ::ReadFile(h, out.data(), static_cast<DWORD>(out.size()), &got, nullptr);
    out.resize(got);
    ::CloseHandle(h);
    return out;
}

void ClearLogs() {
    const std::wstring dir = TQorLoggerThread::LogFolder();
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ::DeleteFileW((dir + fd.cFileName).c_str());
        } while (::FindNextFileW(h, &fd));
        ::FindClose(h);
    }
}

double Percentile(std::vector<double>& v, double p) {
    if (v.empty()) return 0;
    const size_t k = std::min(v.size() - 1, static_cast<size_t>(p * (v.size() - 1) + 0.5));
    std::nth_element(v.begin(), v.begin() + static_cast<long>(k), v.end());
    return v[k];
}

bool BenchLogger(int threads, int lines) {
    delete TQorLogger::Create();
    ClearLogs();
    TQorLogger* logger = TQorLogger::Create();
    const double tpn = TicksPerNs();

    // Cost of the clock itself, for reading the figures.
    std::vector<double> empty(100000);
    for (double& d : empty) {
        const long long a = Now();
        d = static_cast<double>(Now() - a) / tpn;
    }
    const double clockNs = Percentile(empty, 0.5);

    std::vector<std::vector<double>> samples(static_cast<size_t>(threads));
    std::vector<std::thread> pool;
    const long long start = Now();
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            std::vector<double>& mine = samples[static_cast<size_t>(t)];
            mine.reserve(static_cast<size_t>(lines));
            std::wstring text;
            for (int i = 0; i < lines; ++i) {
                text = L"thread " + std::to_wstring(t) + L" line " + std::to_wstring(i);
                const long long a = Now();
                logger->LogString(UPGRADE, FINELOG, text);
                mine.push_back(static_cast<double>(Now() - a) / tpn);
            }
        });
    }
    for (auto& th : pool) th.join();
    const double loggingMs = static_cast<double>(Now() - start) / tpn / 1e6;
    const long long stopStart = Now();
    delete logger;  // final flush of whatever is still queued
    const double stopMs = static_cast<double>(Now() - stopStart) / tpn / 1e6;

    std::vector<double> all;
    all.reserve(static_cast<size_t>(threads) * static_cast<size_t>(lines));
    for (auto& v : samples) all.insert(all.end(), v.begin(), v.end());
    std::vector<double> copy = all;
    const double median = Percentile(copy, 0.5);
    const double p99 = Percentile(copy, 0.99);
    const double p999 = Percentile(copy, 0.999);
    const double worst = *std::max_element(all.begin(), all.end());

    // Every line present, in order per thread.
    const std::string text = ReadBytes(TQorLoggerThread::LogFilePath(UPGRADE));
    std::vector<int> next(static_cast<size_t>(threads), 0);
    size_t pos = 0, count = 0;
    bool ordered = true;
    while ((pos = text.find(" - FINE - thread ", pos)) != std::string::npos) {
        pos += 17;
        const int t = std::atoi(text.c_str() + pos);
        const size_t at = text.find(" line ", pos);
        const int i = std::atoi(text.c_str() + at + 6);
        if (t < 0 || t >= threads || next[static_cast<size_t>(t)] != i) ordered = false;
        else ++next[static_cast<size_t>(t)];
        ++count;
    }
    bool complete = true;
    for (int n : next) complete = complete && n == lines;

    std::printf("Logger: %d threads x %d lines = %zu lines in %.0f ms of logging, stop and final flush %.0f ms\n",
                threads, lines, all.size(), loggingMs, stopMs);
    std::printf("  lines in file: %zu, complete: %s, in order per thread: %s, file %.1f MB\n", count,
                complete ? "yes" : "NO", ordered ? "yes" : "NO", static_cast<double>(text.size()) / 1e6);
    std::printf("  caller time per LogString: median %.0f ns (ratio to 1 us: %.2f), p99 %.0f ns, p99.9 %.0f ns, "
                "max %.1f ms; clock read %.0f ns\n",
                median, median / 1000.0, p99, p999, worst / 1e6, clockNs);
    return complete && ordered && count == all.size();
}

void BenchFlush(int lines) {
    delete TQorLogger::Create();
    ClearLogs();
    const double tpn = TicksPerNs();
    std::vector<double> flushMs, rawMs;
    // A writer that flushes only when told (after its first, empty flush):
    // ten flushes of a full queue, the first one a warm-up.
    auto* thread = new TQorLoggerThread(INFINITE);
    ::Sleep(50);
    const std::wstring file = TQorLoggerThread::LogFilePath(DBCOPY);
    std::string data;
    for (int round = 0; round < 10; ++round) {
        ::DeleteFileW(file.c_str());
        for (int i = 0; i < lines; ++i)
            thread->LogString(DBCOPY, DEBUGLOG, L"flush line " + std::to_wstring(i) + L" Проверка записи журнала");
        const long long a = Now();
        thread->WriteCache();
        if (round > 0) flushMs.push_back(static_cast<double>(Now() - a) / tpn / 1e6);
        if (round == 0) data = ReadBytes(file);
    }
    delete thread;

    // The same bytes with one CreateFile, WriteFile and CloseHandle.
    const std::wstring raw = TQorLoggerThread::LogFolder() + L"raw.bin";
    for (int round = 0; round < 10; ++round) {
        ::DeleteFileW(raw.c_str());
        const long long b = Now();
        HANDLE h = ::CreateFileW(raw.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD put = 0;
        ::WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &put, nullptr);
        ::CloseHandle(h);
        if (round > 0) rawMs.push_back(static_cast<double>(Now() - b) / tpn / 1e6);
    }
    ::DeleteFileW(raw.c_str());
    const double f = Percentile(flushMs, 0.5), r = Percentile(rawMs, 0.5);
    std::printf("Flush: %d lines, %.1f MB: WriteCache %.1f ms (%.0f ns per line), raw WriteFile %.1f ms "
                "(medians of 9 after a warm-up); throughput ratio %.2f (goal >= 0.5)\n",
                lines, static_cast<double>(data.size()) / 1e6, f, f * 1e6 / lines, r, f > 0 ? r / f : 0.0);
}

void BenchConfig() {
    wchar_t self[MAX_PATH];
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring dir(self, n);
    dir = dir.substr(0, dir.find_last_of(L'\\') + 1) + L"Settings\\";
    ::CreateDirectoryW(dir.c_str(), nullptr);
    std::string ini;
    for (int s = 0; s < 50; ++s) {
        ini += "[Section" + std::to_string(s) + "]\r\n";
        for (int k = 0; k < 40; ++k) ini += "Key" + std::to_string(k) + "=value " + std::to_string(s * 40 + k) + "\r\n";
    }
    const std::wstring file = dir + L"ecg.ini";
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD put = 0;
    ::WriteFile(h, ini.data(), static_cast<DWORD>(ini.size()), &put, nullptr);
    ::CloseHandle(h);

    const double tpn = TicksPerNs();
    TConfigManager* cm = TConfigManager::Create();
    std::printf("Configuration: settings folder %ls (system file: %s)\n", cm->SettingsDir().c_str(),
                cm->SystemSettings() ? "yes, Save writes nothing" : "no");
    std::vector<double> reload, save;
    for (int round = 0; round < 3; ++round) {
        long long a = Now();
        cm->Reload();
        reload.push_back(static_cast<double>(Now() - a) / tpn / 1e6);
        for (int s = 0; s < 50; ++s)
            cm->SetOptionValue(L"Section" + std::to_wstring(s), L"Key0", std::int32_t{round});
        a = Now();
        cm->Save();
        save.push_back(static_cast<double>(Now() - a) / tpn / 1e6);
    }
    size_t options = 0;
    for (const std::wstring& g : cm->GetOptionGroupNames()) {
        (void)g;
        options += 40;
    }
    std::printf("  ecg.ini of 50 sections x 40 keys (%zu options, %.1f KB): Reload %.1f ms, Save %.1f ms "
                "(medians of 3)\n",
                options, static_cast<double>(ini.size()) / 1e3, Percentile(reload, 0.5), Percentile(save, 0.5));
    delete cm;
}

}  // namespace

int main(int argc, char** argv) {
    int threads = 4, lines = 250000;
    if (argc == 3) {
        threads = std::max(1, std::atoi(argv[1]));
        lines = std::max(1, std::atoi(argv[2]));
    }
    const bool ok = BenchLogger(threads, lines);
    BenchFlush(200000);
    BenchConfig();
    delete TQorLogger::Create();
    return ok ? 0 : 1;
}
