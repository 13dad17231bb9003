// Transfer figures of the OstrelCom server (run by run-bench.sh against the
// device simulator paced like a 115200 baud 8N1 line).
//
//   bench_ostrel.exe PORT INDEX [RUNS]
//
// Each run creates OstrelCom.Comm by ProgID, as the complex's programs do,
// and times ReadOstrelInfo(PORT) and GetInspectionData(INDEX) (every record
// of the inspection must arrive: S_OK).  Reference: the wire time of every
// byte the protocol exchanges in both directions (10 bits a byte at 115200
// baud), counted from the exchanges the server must make: the wake-up frames,
// the directory exchange, and per chunk of at most 500 records the state
// query, the range write with its confirming query, the 0x84 command, the
// records and the restoring write with its query.  Host CPU time is the
// process's user + kernel time (GetProcessTimes) of the two calls per record,
// also as a ratio to the wire time of one record.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "OstrelCom.h"
#include "common/Handles.h"

namespace {

constexpr double kBitsPerByte = 10, kBaud = 115200;
constexpr unsigned long kFrame = 18, kWriteState = 18 + 18 + 6, kChunk = 500;
constexpr double kWakeUpPauseMs = 300;  // three 100 ms pauses between the wake-up frames

// One read exchange: query, range write + confirming query, 0x84, restore write + query.
unsigned long ExchangeBytes(unsigned long recordBytes) {
    return 2 * kFrame + (kWriteState + 2 * kFrame) + kFrame + recordBytes + (kWriteState + 2 * kFrame);
}
unsigned long DirectoryBytes() { return 4 * kFrame + ExchangeBytes(32 * kFrame); }
unsigned long TransferBytes(unsigned long records) {
    unsigned long bytes = 0;
    for (unsigned long done = 0; done < records; done += kChunk)
        bytes += ExchangeBytes(kFrame * (records - done < kChunk ? records - done : kChunk));
    return bytes;
}
double WireMs(unsigned long bytes) { return 1000.0 * bytes * kBitsPerByte / kBaud; }

double Now() {
    static LARGE_INTEGER freq{};
    if (freq.QuadPart == 0) ::QueryPerformanceFrequency(&freq);
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

double CpuMs() {
    FILETIME c, e, k, u;
    ::GetProcessTimes(::GetCurrentProcess(), &c, &e, &k, &u);
    auto ms = [](const FILETIME& f) {
        return (static_cast<double>(f.dwHighDateTime) * 4294967296.0 + f.dwLowDateTime) / 10000.0;
    };
    return ms(k) + ms(u);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_ostrel PORT INDEX [RUNS]\n");
        return 2;
    }
    const int port = std::atoi(argv[1]);
    const int index = std::atoi(argv[2]);
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    TComInit com(COINIT_APARTMENTTHREADED);
    CLSID clsid{};
    if (FAILED(::CLSIDFromProgID(L"OstrelCom.Comm", &clsid))) {
        std::fprintf(stderr, "bench_ostrel: OstrelCom.Comm is not registered\n");
        return 1;
    }
    double sumInfo = 0, sumData = 0, sumCpu = 0, bestTotal = 1e300;
    unsigned long records = 0;
    for (int run = 0; run < runs; ++run) {
        TComPtr<IOstrelComm> comm;
        if (FAILED(::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IOstrelComm, comm.put_void()))) {
            std::fprintf(stderr, "bench_ostrel: cannot create OstrelCom.Comm\n");
            return 1;
        }
        const double cpu0 = CpuMs(), t0 = Now();
        if (comm->ReadOstrelInfo(port) != S_OK) {
            std::fprintf(stderr, "bench_ostrel: ReadOstrelInfo(%d) failed\n", port);
            return 1;
        }
        const double t1 = Now();
        const ULONG size = comm->GetInspectionSize(index);
        if (size == 0) {
            std::fprintf(stderr, "bench_ostrel: no inspection %d\n", index);
            return 1;
        }
        std::vector<unsigned char> buffer(size);
        if (comm->GetInspectionData(index, buffer.data(), size) != S_OK) {
            std::fprintf(stderr, "bench_ostrel: GetInspectionData(%d) failed\n", index);
            return 1;
        }
        const double t2 = Now(), cpu1 = CpuMs();
        records = size / kFrame;
        std::printf("run %d: ReadOstrelInfo %.1f ms, GetInspectionData %.1f ms, CPU %.1f ms\n", run + 1, t1 - t0,
                    t2 - t1, cpu1 - cpu0);
        sumInfo += t1 - t0;
        sumData += t2 - t1;
        sumCpu += cpu1 - cpu0;
        if (t2 - t0 < bestTotal) bestTotal = t2 - t0;
    }
    const double info = sumInfo / runs, data = sumData / runs, cpu = sumCpu / runs;
    const unsigned long dirBytes = DirectoryBytes(), dataBytes = TransferBytes(records);
    const double wireDir = WireMs(dirBytes), wireData = WireMs(dataBytes), wireRecord = WireMs(kFrame);
    std::printf("records %lu in %lu chunks; bytes exchanged: directory %lu, transfer %lu, total %lu\n", records,
                (records + kChunk - 1) / kChunk, dirBytes, dataBytes, dirBytes + dataBytes);
    std::printf("wire-time bound: directory %.1f ms, transfer %.1f ms, total %.1f ms (+ %.0f ms wake-up pauses)\n",
                wireDir, wireData, wireDir + wireData, kWakeUpPauseMs);
    std::printf("mean of %d runs:\n", runs);
    std::printf("  GetInspectionData / its wire bound                      %.3f\n", data / wireData);
    std::printf("  ReadOstrelInfo + GetInspectionData / wire bound          %.3f\n", (info + data) / (wireDir + wireData));
    std::printf("  ReadOstrelInfo + GetInspectionData / (wire bound + wake-up pauses) %.3f\n",
                (info + data) / (wireDir + wireData + kWakeUpPauseMs));
    std::printf("  best run, both calls / wire bound                       %.3f\n", bestTotal / (wireDir + wireData));
    std::printf("  host CPU per record %.2f us = %.4f of a record's wire time (%.0f us)\n", 1000.0 * cpu / records,
                cpu / records / wireRecord, 1000.0 * wireRecord);
    std::printf("FIGURES records=%lu bytes=%lu info_ms=%.1f data_ms=%.1f cpu_ms=%.1f\n", records, dirBytes + dataBytes,
                info, data, cpu);
    return 0;
}
