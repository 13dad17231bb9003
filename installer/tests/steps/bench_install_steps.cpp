// Benchmark of the deployment steps: one install run of a generated
// distribution (default 300 MB: 2,000 release files listed in filelist.xml and
// a 200 MB template database) against CopyFileW performing the same copies in
// the same process, plus the process's peak working set.
//
//   bench_install_steps.exe [files=2000] [fileKB=50] [databaseMB=200] [rounds=3]
//
// Not a test: prints figures, asserts nothing.
#include "installer/InstallRun.h"

#include "common/Handles.h"

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "TestTree.h"

namespace {

class TSilentUi : public installer::IInstallUi {
public:
    void AddStepLine(const std::wstring&) override { ++Lines; }
    void MarkStep(bool ok) override { Failed += ok ? 0 : 1; }
    void AddInfoLine(const std::wstring&) override { ++Lines; }
    void ProcessMessages() override {}
    void ShowProgress() override {}
    bool ShowBox(installer::TBoxKind, const std::wstring& text) override {
        std::fwprintf(stderr, L"box: %ls\n", text.c_str());
        return false;
    }
    bool InstallDriverChecked() override { return false; }
    bool CardiographChecked() override { return false; }
    bool RmisIntegrationChecked() override { return false; }
    int Lines = 0, Failed = 0;
};

void MakeDirs(const std::wstring& path) {
    for (size_t i = path.find(L'\\', 3); i != std::wstring::npos; i = path.find(L'\\', i + 1))
        ::CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

void WriteBytes(const std::wstring& path, size_t size, unsigned seed) {
    MakeDirs(path);
    TFileHandle h(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h) { std::fwprintf(stderr, L"cannot create %ls\n", path.c_str()); std::exit(2); }
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>((i * 31 + seed) & 0xFF);
    while (size > 0) {
        DWORD n = static_cast<DWORD>(std::min(size, block.size())), w = 0;
        ::WriteFile(h.get(), block.data(), n, &w, nullptr);
        size -= n;
    }
}

using testsupport::RemoveTree;

std::wstring FileName(int i) {
    wchar_t buf[32];
    std::swprintf(buf, 32, L"f%05d.bin", i);
    return buf;
}

const wchar_t* const kEngine[] = {L"aliases.conf", L"firebird.conf", L"fbclient.Dll", L"fbembed.Dll",
                                  L"ib_util.Dll",  L"icudt30.Dll",   L"icuin30.Dll",  L"icuuc30.Dll",
                                  L"firebird.msg", L"gbak.exe",      L"msvcp80.Dll",  L"msvcr80.Dll"};
const wchar_t* const kIntl[] = {L"fbintl.conf", L"fbintl.dll"};
const wchar_t* const kUdf[] = {L"fbudf.dll", L"ib_udf.dll", L"fbudf.sql", L"ib_udf.sql", L"ib_udf2.sql"};
const wchar_t* const kComplex[] = {L"Kelvar.Dll", L"Trimsa.Dll", L"Holmex.Dll", L"Dravin.Dll"};

void MakeDistribution(const std::wstring& d, int files, size_t fileBytes, size_t dbBytes) {
    WriteBytes(d + L"readme.htm", 2000, 1);
    for (auto n : kEngine) WriteBytes(d + L"Firebird_257\\" + n, 64 * 1024, 2);
    for (auto n : kIntl) WriteBytes(d + L"Firebird_257\\intl\\" + n, 16 * 1024, 3);
    for (auto n : kUdf) WriteBytes(d + L"Firebird_257\\udf\\" + n, 16 * 1024, 4);
    for (auto n : kComplex) WriteBytes(d + L"UDF\\" + n, 32 * 1024, 5);
    WriteBytes(d + L"dta_clear\\Q12.fdb", dbBytes, 6);
    std::string list = "<filelist><files>";
    for (int i = 0; i < files; ++i) {
        const std::wstring name = FileName(i);
        WriteBytes(d + L"backup\\v393\\files\\" + name, fileBytes, 7 + i);
        std::string n(name.begin(), name.end());
        list += "<f DistrFN=\"files\\" + n + "\">bin\\d" + std::to_string(i % 20) + "\\" + n + "</f>";
    }
    list += "</files></filelist>";
    MakeDirs(d + L"backup\\v393\\filelist.xml");
    TFileHandle h(::CreateFileW((d + L"backup\\v393\\filelist.xml").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, 0, nullptr));
    DWORD w = 0;
    ::WriteFile(h.get(), list.data(), static_cast<DWORD>(list.size()), &w, nullptr);
}

// The same copies as the install run, with CopyFileW.
void ReferenceCopies(const std::wstring& d, const std::wstring& t, int files) {
    auto copy = [](const std::wstring& from, const std::wstring& to) {
        MakeDirs(to);
        ::CopyFileW(from.c_str(), to.c_str(), FALSE);
    };
    copy(d + L"readme.htm", t + L"readme.htm");
    for (int i = 0; i < files; ++i)
        copy(d + L"backup\\v393\\files\\" + FileName(i), t + L"backup\\v393\\files\\" + FileName(i));
    copy(d + L"backup\\v393\\filelist.xml", t + L"backup\\v393\\filelist.xml");
    for (auto n : kEngine) copy(d + L"Firebird_257\\" + n, t + n);
    copy(t + L"fbembed.Dll", t + L"gds32.dll");
    copy(t + L"fbclient.Dll", t + L"fbclient_.dll");
    copy(t + L"fbembed.Dll", t + L"fbclient.dll");
    for (auto n : kIntl) copy(d + L"Firebird_257\\intl\\" + n, t + L"intl\\" + n);
    for (auto n : kUdf) copy(d + L"Firebird_257\\udf\\" + n, t + L"udf\\" + n);
    for (auto n : kComplex) copy(d + L"UDF\\" + n, t + L"UDF\\" + n);
    copy(d + L"dta_clear\\Q12.fdb", t + L"DTAFB\\Q12.fdb");
    copy(d + L"dta_clear\\Q12.fdb", t + L"DTA_clear\\Q12.fdb");
    copy(t + L"DTA_clear\\Q12.fdb", t + L"DTAFB\\Q12.fdb");
    for (int i = 0; i < files; ++i)
        copy(t + L"backup\\v393\\files\\" + FileName(i), t + L"bin\\d" + std::to_wstring(i % 20) + L"\\" + FileName(i));
}

double Seconds(const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    LARGE_INTEGER f;
    ::QueryPerformanceFrequency(&f);
    return double(b.QuadPart - a.QuadPart) / double(f.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const int files = argc > 1 ? _wtoi(argv[1]) : 2000;
    const size_t fileBytes = size_t(argc > 2 ? _wtoi(argv[2]) : 50) * 1024;
    const size_t dbBytes = size_t(argc > 3 ? _wtoi(argv[3]) : 200) << 20;
    const int rounds = argc > 4 ? _wtoi(argv[4]) : 3;

    wchar_t temp[MAX_PATH + 1] = {};
    ::GetTempPathW(MAX_PATH, temp);
    const std::wstring root = std::wstring(temp) + L"bench_steps_" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
    const std::wstring dist = root + L"dist\\", target = root + L"Quorvel12_393\\", ref = root + L"ref\\";
    wchar_t startDir[MAX_PATH + 1] = {};
    ::GetCurrentDirectoryW(MAX_PATH, startDir);
    MakeDistribution(dist, files, fileBytes, dbBytes);
    const double mb = (double(files) * fileBytes + double(dbBytes)) / (1 << 20);
    std::printf("distribution: %d files of %zu KB in the file list, %zu MB database, about %.0f MB\n", files,
                fileBytes / 1024, dbBytes >> 20, mb);

    std::vector<double> ratios, installs, copies;
    for (int r = 0; r < rounds; ++r) {
        RemoveTree(target);
        RemoveTree(ref);
        ::CreateDirectoryW(target.c_str(), nullptr);
        LARGE_INTEGER a, b, c, e;
        TSilentUi ui;
        installer::TInstallRun run;
        run.Ui = &ui;
        run.DistDir = dist;
        run.TargetDir = target;
        run.AppStr = L"Quorvel12";
        run.ComplexNameStr = L"Bench";
        ::QueryPerformanceCounter(&a);
        const bool ok = installer::RunInstallSteps(run);
        ::QueryPerformanceCounter(&b);
        ::SetCurrentDirectoryW(startDir);
        ::QueryPerformanceCounter(&c);
        ReferenceCopies(dist, ref, files);
        ::QueryPerformanceCounter(&e);
        const double ti = Seconds(a, b), tc = Seconds(c, e);
        installs.push_back(ti);
        copies.push_back(tc);
        ratios.push_back(ti / tc);
        std::printf("round %d: install %.2f s (%s, %d lines, %d failed), CopyFileW %.2f s, ratio %.3f\n", r + 1, ti,
                    ok ? "ok" : "stopped", ui.Lines, ui.Failed, tc, ti / tc);
        // The desktop shortcut of the run.
        std::wstring lnk;
        {
            HKEY k;
            if (::RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                0, KEY_QUERY_VALUE, &k) == 0) {
                wchar_t buf[MAX_PATH] = {};
                DWORD size = sizeof(buf) - sizeof(wchar_t);
                if (::RegQueryValueExW(k, L"Desktop", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size) == 0)
                    lnk = std::wstring(buf) + L"\\Bench.lnk";
                ::RegCloseKey(k);
            }
        }
        if (!lnk.empty()) ::DeleteFileW(lnk.c_str());
    }
    std::sort(ratios.begin(), ratios.end());
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof(pmc);
    ::GetProcessMemoryInfo(::GetCurrentProcess(), &pmc, sizeof(pmc));
    std::printf("median ratio install / CopyFileW: %.3f (goal <= 1.15)\n", ratios[ratios.size() / 2]);
    std::printf("peak working set: %.1f MB (goal <= 64 MB)\n", double(pmc.PeakWorkingSetSize) / (1 << 20));
    RemoveTree(root);
    return 0;
}
