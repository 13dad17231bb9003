// Cardiomodule query figures.
//
//   bench_device.exe [runs] [comPort]
//
// GetFTMode and GetFTProgram through the configuration manager against the
// replacement FTD2XX.DLL beside the program (one converter answering at
// once): mean, minimum and maximum time, and the mean as a ratio to the
// query's fixed waits (200 ms and 350 ms).  With comPort given (a port whose
// link points at the serial simulator), GetSTMMode and GetSTMProgram over it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/Win32.h"
#include "config/ConfigManager.h"

namespace {
using PSetScenario = void(WINAPI*)(const char*);

struct TStats {
    double Mean = 0, Min = 1e30, Max = 0;
};

template <class F>
TStats Measure(int runs, F&& query)
{
    LARGE_INTEGER freq, a, b;
    ::QueryPerformanceFrequency(&freq);
    TStats s;
    double sum = 0;
    for (int i = 0; i < runs; ++i) {
        ::QueryPerformanceCounter(&a);
        query();
        ::QueryPerformanceCounter(&b);
        const double ms = 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(freq.QuadPart);
        sum += ms;
        if (ms < s.Min) s.Min = ms;
        if (ms > s.Max) s.Max = ms;
    }
    s.Mean = sum / runs;
    return s;
}

void Report(const char* name, const TStats& s, double reference)
{
    if (reference > 0)
        std::printf("%-14s mean %8.1f ms  min %8.1f  max %8.1f  fixed waits %5.0f ms  ratio %.3f\n", name, s.Mean, s.Min,
                    s.Max, reference, s.Mean / reference);
    else
        std::printf("%-14s mean %8.1f ms  min %8.1f  max %8.1f\n", name, s.Mean, s.Min, s.Max);
}
}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    const int com = argc > 2 ? std::atoi(argv[2]) : 0;
    if (runs <= 0)
        return 2;

    HMODULE sim = ::LoadLibraryW(L"FTD2XX.DLL");
    auto setScenario = sim ? reinterpret_cast<PSetScenario>(reinterpret_cast<void*>(::GetProcAddress(sim, "SimSetScenario")))
                           : nullptr;
    if (!setScenario) {
        std::fprintf(stderr, "bench_device: the replacement FTD2XX.DLL is not beside the program\n");
        return 1;
    }
    setScenario("device QUORVEL-12D BENCH01 mode=0x0021 version=0x0102\n");

    TConfigManager* cm = TConfigManager::Create();
    cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{2});
    std::printf("runs: %d\n", runs);
    bool ok = true;
    const TStats mode = Measure(runs, [&] { ok = ok && !cm->GetFTMode(0, true).empty(); });
    const TStats prog = Measure(runs, [&] { ok = ok && cm->GetFTProgram(0, true) == 0x0102; });
    Report("GetFTMode", mode, 200);
    Report("GetFTProgram", prog, 350);

    if (com > 0) {
        cm->SetOptionValue(L"Options", L"cardiomodule", std::int32_t{4});
        cm->SetOptionValue(L"regoptions", L"stmcomPort", std::int32_t{com});
        const TStats smode = Measure(runs, [&] { ok = ok && !cm->GetSTMMode(0, true).empty(); });
        const TStats sprog = Measure(runs, [&] { ok = ok && cm->GetSTMProgram(0, true) > 0; });
        Report("GetSTMMode", smode, 0);
        Report("GetSTMProgram", sprog, 0);
    }
    if (!ok)
        std::printf("some query failed\n");
    return ok ? 0 : 1;
}
