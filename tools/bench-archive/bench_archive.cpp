// bench_archive [MB]: prints Base64 encode/decode throughput as a ratio to
// memcpy of the same bytes, and PackAllFiles of a tree of MB megabytes
// (default 100) as a ratio to compress2 of the same bytes at the same level.
#include "common/Base64.h"
#include "common/FileSystemHelper.h"
#include "common/Handles.h"
#include "common/Win32Error.h"

#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "TestTree.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Semi-compressible bytes (text-like with noise), deterministic.
std::vector<uint8_t> Data(size_t n, uint32_t seed) {
    std::vector<uint8_t> v(n);
    uint32_t x = seed;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        v[i] = (x >> 24) < 200 ? static_cast<uint8_t>("ECG lead II 0.125 mV "[i % 21]) : static_cast<uint8_t>(x >> 16);
    }
    return v;
}

using testsupport::RemoveTree;

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const size_t mb = argc > 1 ? static_cast<size_t>(_wtoi(argv[1])) : 100;

    // Base64 on 16 MB, several rounds.
    const size_t n = 16u << 20;
    std::vector<uint8_t> src = Data(n, 1), dst(n);
    const int rounds = 5;
    auto t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) { std::memcpy(dst.data(), src.data(), n); src[r] ^= dst[n - 1 - r]; }
    double tCopy = Seconds(t0);
    std::string text;
    t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) text = base64::Encode(src);
    double tEnc = Seconds(t0);
    std::vector<uint8_t> back;
    t0 = std::chrono::steady_clock::now();
    for (int r = 0; r < rounds; ++r) back = base64::Decode(text);
    double tDec = Seconds(t0);
    if (back != src) { std::printf("decode mismatch\n"); return 1; }
    double mbs = double(n) * rounds / (1 << 20);
    std::printf("memcpy        %10.1f MB/s\n", mbs / tCopy);
    std::printf("base64 encode %10.1f MB/s  ratio to memcpy %.4f\n", mbs / tEnc, tCopy / tEnc);
    std::printf("base64 decode %10.1f MB/s  ratio to memcpy %.4f\n", mbs / tDec, tCopy / tDec);

    // A tree of mb megabytes in 1 MB files over 10 folders.
    const std::wstring root = ExeFolder() + L"bench-tree";
    RemoveTree(root);
    ::CreateDirectoryW(root.c_str(), nullptr);
    std::vector<std::vector<uint8_t>> files;
    for (size_t i = 0; i < mb; ++i) {
        std::wstring dir = root + L"\\d" + std::to_wstring(i % 10);
        ::CreateDirectoryW(dir.c_str(), nullptr);
        files.push_back(Data(1u << 20, static_cast<uint32_t>(i + 7)));
        TFileHandle h(::CreateFileW((dir + L"\\f" + std::to_wstring(i) + L".dat").c_str(), GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, 0, nullptr));
        DWORD put = 0;
        ::WriteFile(h.get(), files.back().data(), static_cast<DWORD>(files.back().size()), &put, nullptr);
    }
    std::vector<uint8_t> out(compressBound(1u << 20));
    t0 = std::chrono::steady_clock::now();
    for (const auto& f : files) {
        uLongf outLen = static_cast<uLongf>(out.size());
        compress2(out.data(), &outLen, f.data(), static_cast<uLong>(f.size()), Z_DEFAULT_COMPRESSION);
    }
    double tZlib = Seconds(t0);
    double ratio = 0;
    int32_t size = 0;
    const std::wstring zip = ExeFolder() + L"bench-tree.zip";
    t0 = std::chrono::steady_clock::now();
    TFileSystemHelper::PackAllFiles(ratio, size, root, zip, false);
    double tPack = Seconds(t0);
    std::printf("compress2     %10.1f MB/s (level %d, %zu MB)\n", mb / tZlib, Z_DEFAULT_COMPRESSION, mb);
    std::printf("PackAllFiles  %10.1f MB/s  ratio to compress2 %.4f  (archive/source %.3f)\n", mb / tPack,
                tZlib / tPack, ratio);
    RemoveTree(root);
    ::DeleteFileW(zip.c_str());
    return 0;
}
