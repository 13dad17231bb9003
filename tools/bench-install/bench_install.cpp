// Install benchmark: install runs of a (large) sample distribution, driven
// automatically, against copying the same bytes with CopyFileW in the same
// process run, and the installer's peak working set.
//
//   bench_install <distribution folder> <work folder> [--no-driver] [--keep] [--profile] [--rounds N]
//
// The reference performs the installer's own copy operations with CopyFileW
// into work\reference: every file of the distribution that the install run
// copies (the release folders, the engine, the template database and the
// rest), the three client-library copies, the database three times (into
// DTAFB, into DTA_clear, and from DTA_clear into DTAFB again) and every entry
// of the newest release's file list.  References and install runs alternate
// (N install runs, default 3, between N + 1 references); the ratio is that of
// the medians.  The installer's time runs from the
// press of "Продолжить" on the release notes to the final question.
// --profile polls the length of the progress list during the run and prints
// where the time went: the moments at which each line appeared, summed by
// kind of line, and the longest gaps.
#include "GuiDriver.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

using namespace guidrv;

namespace {

double Now() {
  static LARGE_INTEGER f = [] { LARGE_INTEGER x; QueryPerformanceFrequency(&x); return x; }();
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

unsigned long long g_bytes = 0;
unsigned long long g_files = 0;
bool g_profile = false;

bool Copy(const std::wstring& from, const std::wstring& to) {
  size_t slash = to.find_last_of(L'\\');
  if (slash != std::wstring::npos) {
    std::wstring dir = to.substr(0, slash);
    if (!DirExists(dir)) {
      // create parents
      for (size_t i = 3; i <= dir.size(); ++i)
        if (i == dir.size() || dir[i] == L'\\') CreateDirectoryW(dir.substr(0, i).c_str(), nullptr);
    }
  }
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
    std::fprintf(stderr, "CopyFileW %s failed: %lu\n", Utf8(from).c_str(), GetLastError());
    return false;
  }
  WIN32_FILE_ATTRIBUTE_DATA d{};
  GetFileAttributesExW(to.c_str(), GetFileExInfoStandard, &d);
  g_bytes += (static_cast<unsigned long long>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
  ++g_files;
  return true;
}

bool StartsWithI(const std::wstring& s, const std::wstring& p) {
  return s.size() >= p.size() && _wcsnicmp(s.c_str(), p.c_str(), p.size()) == 0;
}

// The installer's copy operations, with CopyFileW.
bool Reference(const std::wstring& dist, const std::wstring& ref, const std::wstring& newest) {
  const double tStart = Now();
  DeleteTree(ref);
  CreateDirectoryW(ref.c_str(), nullptr);
  const std::wstring r = ref + L"\\";
  bool ok = true;
  for (const auto& f : ListTree(dist)) {
    if (f.back() == L'\\') continue;
    if (_wcsicmp(f.c_str(), L"Install.exe") == 0 || _wcsicmp(f.c_str(), L".sampledist") == 0) continue;
    if (StartsWithI(f, L"Settings\\") && _wcsicmp(f.c_str(), L"Settings\\Settings.xml") != 0) continue;
    if (StartsWithI(f, L"config\\")) continue;  // only with the integration box
    std::wstring to = f;
    if (StartsWithI(f, L"Firebird_257\\")) to = f.substr(13);  // engine files, intl, udf
    else if (_wcsicmp(f.c_str(), L"dta_clear\\Q12.fdb") == 0) continue;
    else if (_wcsicmp(f.c_str(), L"dta_clear\\ecg.ini") == 0) to = L"DTAFB\\ecg.ini";
    else if (_wcsicmp(f.c_str(), L"bin\\password.nsi") == 0) to = L"DTAFB\\password.nsi";
    ok = Copy(dist + L"\\" + f, r + to) && ok;
  }
  const double tTree = Now();
  ok = Copy(r + L"fbembed.Dll", r + L"gds32.dll") && ok;
  ok = Copy(r + L"fbclient.Dll", r + L"fbclient_.dll") && ok;
  ok = Copy(r + L"fbembed.Dll", r + L"fbclient.dll") && ok;
  ok = Copy(dist + L"\\dta_clear\\Q12.fdb", r + L"DTAFB\\Q12.fdb") && ok;
  ok = Copy(dist + L"\\dta_clear\\Q12.fdb", r + L"DTA_clear\\Q12.fdb") && ok;
  ok = Copy(r + L"DTA_clear\\Q12.fdb", r + L"DTAFB\\Q12.fdb") && ok;
  const double tDb = Now();
  std::string xml;
  std::wstring rel = r + L"backup\\" + newest + L"\\";
  if (!ReadAll(rel + L"filelist.xml", xml)) return false;
  size_t a = xml.find("<files>"), b = xml.find("</files>");
  if (a == std::string::npos || b == std::string::npos) return false;
  std::string part = xml.substr(a, b - a);
  std::regex re("DistrFN=\"([^\"]*)\">([^<]*)<");
  for (std::sregex_iterator it(part.begin(), part.end(), re), end; it != end; ++it)
    ok = Copy(rel + Utf16((*it)[1]), r + Utf16((*it)[2])) && ok;
  if (g_profile)
    std::printf("profile: reference parts: tree %.3f s, library and database copies %.3f s, file list %.3f s\n",
                tTree - tStart, tDb - tTree, Now() - tDb);
  return ok;
}

void ReadThrough(const std::wstring& dist) {
  std::string buf;
  for (const auto& f : ListTree(dist))
    if (f.back() != L'\\') ReadAll(dist + L"\\" + f, buf);
}

std::wstring NewestRelease(const std::wstring& dist) {
  std::vector<std::wstring> names;
  for (const auto& f : ListTree(dist + L"\\backup")) {
    if (f.back() == L'\\' && f.find(L'\\') == f.size() - 1) names.push_back(f.substr(0, f.size() - 1));
  }
  std::sort(names.begin(), names.end());
  return names.empty() ? L"" : names.back();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

// Time from the appearance of each line to the next one (the work that line
// names, plus the lines' own cost), summed by the kind of line.
void PrintProfile(const std::vector<std::pair<double, long>>& samples, const std::vector<std::wstring>& lines,
                  double total) {
  std::vector<double> at(lines.size() + 1, -1.0);
  for (const auto& s : samples)
    for (long i = 0; i < s.second && i < static_cast<long>(lines.size()); ++i)
      if (at[static_cast<size_t>(i)] < 0) at[static_cast<size_t>(i)] = s.first;
  at[lines.size()] = total;
  struct TKind { const wchar_t* Prefix; double Time; int Count; };
  std::vector<TKind> kinds = {{L"Копирование файла Z:", 0, 0}, {L"Копирование файла C:", 0, 0},
                              {L"Копирование файла ", 0, 0}, {L"Удаление файла ", 0, 0},
                              {L"Каталог ", 0, 0}, {L"", 0, 0}};
  std::vector<std::pair<double, size_t>> gaps;
  double before = lines.empty() || at[0] < 0 ? total : at[0];
  for (size_t i = 0; i < lines.size(); ++i) {
    if (at[i] < 0) continue;
    size_t next = i + 1;
    while (next < lines.size() && at[next] < 0) ++next;
    const double d = at[next] - at[i];
    gaps.emplace_back(d, i);
    for (auto& k : kinds)
      if (lines[i].compare(0, wcslen(k.Prefix), k.Prefix) == 0) { k.Time += d; ++k.Count; break; }
  }
  std::printf("profile: %.3f s before the first line, %zu samples\n", before, samples.size());
  for (const auto& k : kinds)
    std::printf("profile: %-40s %5d lines %8.3f s\n", ("\"" + Utf8(k.Prefix) + "...\"").c_str(), k.Count, k.Time);
  std::sort(gaps.rbegin(), gaps.rend());
  for (size_t i = 0; i < gaps.size() && i < 12; ++i)
    std::printf("profile: %8.3f s after line %zu: %s\n", gaps[i].first, gaps[i].second,
                Utf8(lines[gaps[i].second]).c_str());
}

} // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_install <distribution> <work folder> [--no-driver] [--keep] [--profile] [--rounds N]\n");
    return 2;
  }
  std::wstring dist = argv[1], work = argv[2];
  bool noDriver = false, keep = false, profile = false;
  int rounds = 3;
  for (int i = 3; i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--rounds" && i + 1 < argc) rounds = std::max(1, _wtoi(argv[++i]));
    if (std::wstring(argv[i]) == L"--no-driver") noDriver = true;
    if (std::wstring(argv[i]) == L"--keep") keep = true;
    if (std::wstring(argv[i]) == L"--profile") profile = g_profile = true;
  }
  while (!dist.empty() && dist.back() == L'\\') dist.pop_back();
  while (!work.empty() && work.back() == L'\\') work.pop_back();
  CreateDirectoryW(work.c_str(), nullptr);
  const std::wstring target = work + L"\\Target";
  const std::wstring ref = work + L"\\reference";
  const std::wstring newest = NewestRelease(dist);
  DeleteTree(target);

  std::printf("bench_install: warming the cache with one read of the distribution\n");
  ReadThrough(dist);

  // Rounds of reference and install run, alternating, then one more
  // reference: the figures are the medians, so that a round disturbed by
  // other work on the machine counts less.
  std::vector<double> refs, installs;
  double peakMB = -1, endMB = -1;
  bool allOk = true;
  // Every timed phase starts alike: neither copy on disk, and a pause in
  // which the file system finishes the work that the last deletion left.
  auto settle = [&] {
    DeleteTree(ref);
    DeleteTree(target);
    Sleep(2000);
  };
  auto reference = [&]() -> bool {
    g_bytes = g_files = 0;
    settle();
    double t0 = Now();
    if (!Reference(dist, ref, newest)) return false;
    refs.push_back(Now() - t0);
    std::printf("reference CopyFileW #%zu: %.3f s, %llu files, %.1f MB\n", refs.size(), refs.back(), g_files,
                g_bytes / 1048576.0);
    return true;
  };
  if (!reference()) return 1;
  for (int round = 1; round <= rounds; ++round) {
    TInstaller app;
    if (!app.Start(dist + L"\\Install.exe", work)) {
      std::printf("installer did not start: %s\n", Utf8(app.Error()).c_str());
      return 1;
    }
    TMainWindow& w = app.Window();
    SetText(w.ePath, target);
    if (noDriver) SetChecked(w.chInstDriver, false);
    Click(w.BtnInstall);
    if (!WaitUntil([&] { return app.Readme() != nullptr; }, 30000)) {
      std::printf("release notes did not appear\n");
      return 1;
    }
    HWND readme = app.Readme();
    HWND cont = FindChild(readme, L"Button", L"Продолжить");
    settle();
    double start = Now();
    Click(cont);
    HWND box = nullptr;
    // (time, list length) whenever the length changed; the list answers only
    // when the installer lets messages be processed.
    std::vector<std::pair<double, long>> samples;
    // The wine server that answers window searches also serves every file
    // operation of the run being measured: one class-filtered search every
    // 10 ms, the full search for the installer's box only when that finds a
    // dialog window.
    for (;;) {
      if (FindWindowExW(nullptr, nullptr, L"#32770", nullptr) && (box = app.Box()) != nullptr) break;
      if (!app.Running()) break;
      if (profile) {
        long n = static_cast<long>(SendMessageW(w.LogList, LB_GETCOUNT, 0, 0));
        if (samples.empty() || samples.back().second != n) samples.emplace_back(Now() - start, n);
      }
      Sleep(10);
    }
    double install = Now() - start;
    installs.push_back(install);
    std::wstring boxText = box ? TInstaller::BoxText(box) : L"<none>";
    PROCESS_MEMORY_COUNTERS pmc{};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(app.Process(), &pmc, sizeof pmc)) {
      peakMB = std::max(peakMB, pmc.PeakWorkingSetSize / 1048576.0);
      endMB = pmc.WorkingSetSize / 1048576.0;
    }
    std::vector<std::wstring> lines = app.Lines();
    size_t failed = 0;
    for (const auto& l : lines)
      if (l.size() >= 9 && l.compare(l.size() - 9, 9, L"ОШИБКА!!!") == 0) ++failed;
    if (box) TInstaller::Answer(box, kNo);
    WaitUntil([&] { return app.Idle(); }, 20000);
    Click(w.BtnCancel);
    app.WaitExit(15000);

    std::printf("installer #%d: %.3f s (release notes continued -> final question), %zu progress lines, %zu failed\n",
                round, install, lines.size(), failed);
    if (profile) PrintProfile(samples, lines, install);
    if (!(box && boxText == L"Установка завершена. Выйти из программы установки?" && failed == 0)) {
      std::printf("final box: %s\n", Utf8(boxText).c_str());
      allOk = false;
    }
    if (!reference()) return 1;
  }
  const double refMedian = Median(refs), installMedian = Median(installs);
  std::printf("RESULT time ratio installer / CopyFileW = %.3f (goal <= 1.15): medians %.3f s / %.3f s over %zu "
              "install runs and %zu references\n",
              installMedian / refMedian, installMedian, refMedian, installs.size(), refs.size());
  if (peakMB >= 0)
    std::printf("RESULT installer peak working set = %.1f MB (goal <= 64 MB); working set at the end %.1f MB\n",
                peakMB, endMB);
  else
    std::printf("RESULT installer peak working set: GetProcessMemoryInfo failed (%lu)\n", GetLastError());
  if (!keep) {
    DeleteTree(ref);
    DeleteTree(target);
  }
  return allOk ? 0 : 1;
}
