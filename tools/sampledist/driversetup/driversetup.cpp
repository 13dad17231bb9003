// Stand-in for the USB driver setup program of the sample distribution.  It
// installs nothing: it appends "started" and "finished" lines to
// driver-setup-trace.txt beside itself, so a test can see that (and when) the
// installer ran it, and exits with code 0.  A file driver-setup-wait.txt
// beside it, holding a number of milliseconds (at most 60000), makes it wait
// that long between the two lines, to keep the installer blocked in its wait.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::wstring OwnFolder() {
  wchar_t buf[MAX_PATH * 4];
  DWORD n = GetModuleFileNameW(nullptr, buf, static_cast<DWORD>(sizeof buf / sizeof buf[0]));
  std::wstring p(buf, n);
  size_t slash = p.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : p.substr(0, slash + 1);
}

void AppendLine(const std::wstring& file, const std::string& line) {
  HANDLE h = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(h, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(h);
}

DWORD ReadWaitMs(const std::wstring& file) {
  HANDLE h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return 0;
  char buf[32] = {};
  DWORD got = 0;
  ReadFile(h, buf, sizeof buf - 1, &got, nullptr);
  CloseHandle(h);
  buf[got < sizeof buf ? got : sizeof buf - 1] = 0;
  unsigned long ms = std::strtoul(buf, nullptr, 10);
  return ms > 60000 ? 60000 : static_cast<DWORD>(ms);
}

std::string Narrow(const std::wstring& w) {
  int n = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.c_str(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring dir = OwnFolder();
  std::wstring trace = dir + L"driver-setup-trace.txt";
  wchar_t cwd[MAX_PATH * 4] = {};
  GetCurrentDirectoryW(static_cast<DWORD>(sizeof cwd / sizeof cwd[0]), cwd);
  AppendLine(trace, "started pid=" + std::to_string(GetCurrentProcessId()) + " cwd=" + Narrow(cwd) +
                        " (sample driver setup stand-in, installs nothing)\r\n");
  DWORD wait = ReadWaitMs(dir + L"driver-setup-wait.txt");
  if (wait) Sleep(wait);
  AppendLine(trace, "finished pid=" + std::to_string(GetCurrentProcessId()) + "\r\n");
  return 0;
}
