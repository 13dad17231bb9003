// bench_files [folder] [MB]: times TFileSystemHelper::FileCopy against
// CopyFileW for one large file (default 256 MB) and for 2,000 files of 4 KB
// to 64 KB, and prints the ratio of each (FileCopy time / CopyFileW time).
// The peak working set of a FileCopy of the large file is measured in a child
// process (bench_files --copy src dst), against that child's own baseline.
#include "common/Errors.h"
#include "common/FileSystemHelper.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>
#include "TestTree.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point t0) { return std::chrono::duration<double>(Clock::now() - t0).count(); }

bool WriteFileOf(const std::wstring& path, uint64_t size, uint32_t seed) {
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    if (!h) return false;
    std::vector<uint32_t> chunk(256 * 1024);  // 1 MB
    uint32_t x = seed;
    while (size > 0) {
        for (auto& w : chunk) w = (x = x * 1664525u + 1013904223u);
        DWORD n = static_cast<DWORD>(std::min<uint64_t>(size, chunk.size() * 4)), put = 0;
        if (!::WriteFile(h.get(), chunk.data(), n, &put, nullptr) || put != n) return false;
        size -= n;
    }
    return true;
}

using testsupport::RemoveTree;

size_t WorkingSet(bool peak) {
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (!::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof pmc)) return 0;
    return peak ? pmc.PeakWorkingSetSize : pmc.WorkingSetSize;
}

// Child mode: one FileCopy; prints "baseline peak" in bytes.
int CopyChild(const std::wstring& src, const std::wstring& dst) {
    const size_t base = WorkingSet(true);
    bool ok = false;
    try {
        ok = TFileSystemHelper::FileCopy(src, dst);
    } catch (const EFrameworkError& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
    std::printf("%zu %zu\n", base, WorkingSet(true));
    return ok ? 0 : 1;
}

bool PeakOfChildCopy(const std::wstring& src, const std::wstring& dst, size_t& base, size_t& peak) {
    wchar_t self[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE rd = nullptr, wr = nullptr;
    if (!::CreatePipe(&rd, &wr, &sa, 0)) return false;
    TFileHandle read(rd), write(wr);
    ::SetHandleInformation(rd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = wr;
    si.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --copy \"" + src + L"\" \"" + dst + L"\"";
    PROCESS_INFORMATION pi{};
    if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return false;
    TKernelHandle process(pi.hProcess), thread(pi.hThread);
    write.reset();
    std::string out;
    char buf[256];
    DWORD got = 0;
    while (::ReadFile(rd, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
    ::WaitForSingleObject(process.get(), INFINITE);
    unsigned long long b = 0, p = 0;
    if (std::sscanf(out.c_str(), "%llu %llu", &b, &p) != 2) return false;
    base = static_cast<size_t>(b);
    peak = static_cast<size_t>(p);
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 4 && std::wstring(argv[1]) == L"--copy") return CopyChild(argv[2], argv[3]);

    std::wstring root;
    if (argc > 1) {
        root = argv[1];
    } else {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, temp);
        root = temp;
    }
    if (!root.empty() && root.back() != L'\\') root += L'\\';
    root += L"bench_files_" + std::to_wstring(::GetCurrentProcessId());
    const uint64_t mb = argc > 2 ? static_cast<uint64_t>(_wtoi(argv[2])) : 256;
    const std::wstring src = root + L"\\src", a = root + L"\\a", b = root + L"\\b";
    for (const auto& d : {root, src, a, b}) ::CreateDirectoryW(d.c_str(), nullptr);

    // One large file: best of three alternating runs of each method.
    const std::wstring big = src + L"\\big.bin";
    if (!WriteFileOf(big, mb << 20, 1)) {
        std::printf("cannot write %llu MB\n", static_cast<unsigned long long>(mb));
        return 1;
    }
    double tOur = 1e9, tSys = 1e9;
    for (int r = 0; r < 3; ++r) {
        ::DeleteFileW((a + L"\\big.bin").c_str());
        auto t0 = Clock::now();
        if (!TFileSystemHelper::FileCopy(big, a + L"\\big.bin")) { std::printf("FileCopy failed\n"); return 1; }
        tOur = std::min(tOur, Seconds(t0));
        ::DeleteFileW((b + L"\\big.bin").c_str());
        t0 = Clock::now();
        if (!::CopyFileW(big.c_str(), (b + L"\\big.bin").c_str(), FALSE)) { std::printf("CopyFileW failed\n"); return 1; }
        tSys = std::min(tSys, Seconds(t0));
    }
    std::printf("one file of %llu MB: FileCopy %.3f s, CopyFileW %.3f s, ratio %.3f (goal <= 1.25)\n",
                static_cast<unsigned long long>(mb), tOur, tSys, tOur / tSys);

    size_t base = 0, peak = 0;
    ::DeleteFileW((a + L"\\big.bin").c_str());
    if (PeakOfChildCopy(big, a + L"\\big.bin", base, peak))
        std::printf("peak working set during the copy: %.2f MB above a baseline of %.2f MB (goal <= 16 MB)\n",
                    (static_cast<double>(peak) - static_cast<double>(base)) / 1048576.0, base / 1048576.0);
    else
        std::printf("peak working set: not measured\n");
    ::DeleteFileW(big.c_str());
    ::DeleteFileW((a + L"\\big.bin").c_str());
    ::DeleteFileW((b + L"\\big.bin").c_str());

    // 2,000 files of 4 KB to 64 KB.
    const int files = 2000;
    uint32_t x = 7;
    uint64_t total = 0;
    for (int i = 0; i < files; ++i) {
        x = x * 1664525u + 1013904223u;
        const uint64_t size = 4096 + (x >> 8) % (60 * 1024 + 1);
        total += size;
        if (!WriteFileOf(src + L"\\f" + std::to_wstring(i) + L".dat", size, x)) { std::printf("write failed\n"); return 1; }
    }
    tOur = tSys = 1e9;
    for (int r = 0; r < 3; ++r) {
        auto t0 = Clock::now();
        for (int i = 0; i < files; ++i) {
            const std::wstring n = L"\\f" + std::to_wstring(i) + L".dat";
            if (!TFileSystemHelper::FileCopy(src + n, a + n)) { std::printf("FileCopy failed\n"); return 1; }
        }
        tOur = std::min(tOur, Seconds(t0));
        t0 = Clock::now();
        for (int i = 0; i < files; ++i) {
            const std::wstring n = L"\\f" + std::to_wstring(i) + L".dat";
            if (!::CopyFileW((src + n).c_str(), (b + n).c_str(), FALSE)) { std::printf("CopyFileW failed\n"); return 1; }
        }
        tSys = std::min(tSys, Seconds(t0));
    }
    std::printf("%d files, %.1f MB: FileCopy %.3f s, CopyFileW %.3f s, ratio %.3f (goal <= 1.25)\n", files,
                total / 1048576.0, tOur, tSys, tOur / tSys);
    RemoveTree(root);
    return 0;
}
