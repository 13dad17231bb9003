// sampledist: writes a complete sample distribution folder of the ECG analysis
// complex, the folder from which Install.exe is started.  Every file except
// Install.exe and the driver-setup stand-in is placeholder content, marked as
// such; sizes are configurable so that the same tool serves the GUI tests
// (small) and the install benchmark (hundreds of megabytes).
//
//   sampledist --out DIR [--install Install.exe] [--driver-setup setup.exe]
//              [--files N] [--release-mb N] [--db-mb N | --db-kb N]
//              [--releases N] [--omit ITEM]... [--force]
//
// ITEM for --omit: readme, Profile, FTDIDriverInstall, Settings.xml, service,
// config, password, dta-ecg.ini, ReleaseInfo.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr const char* kMarker = ".sampledist";
constexpr const char* kSampleNote =
    "SAMPLE CONTENT: placeholder written by tools/host/sampledist, not a real component.";

struct Options {
  fs::path Out;
  fs::path Install;
  fs::path DriverSetup;
  std::uint64_t Files = 24;              // payload files of the newest release
  std::uint64_t ReleaseBytes = 2u << 20; // their total size
  std::uint64_t DbBytes = 1u << 20;      // template database size
  int Releases = 3;
  std::set<std::string> Omit;
  bool Force = false;
};

struct Totals {
  std::uint64_t Files = 0;
  std::uint64_t Bytes = 0;
};

Totals g_totals;

[[noreturn]] void Fail(const std::string& text) {
  throw std::runtime_error(text);
}

void WriteBytes(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!f) Fail("cannot create " + file.string());
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f) Fail("cannot write " + file.string());
  ++g_totals.Files;
  g_totals.Bytes += bytes.size();
}

// Windows programs expect CR LF in text files.
std::string Crlf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

void WriteText(const fs::path& file, const std::string& text) { WriteBytes(file, Crlf(text)); }

// Deterministic filler: a marked header followed by xorshift bytes, so that
// equal names give equal content in every run and files do not compress.
void WriteFiller(const fs::path& file, std::uint64_t size, std::uint64_t seed, const std::string& header) {
  fs::create_directories(file.parent_path());
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  if (!f) Fail("cannot create " + file.string());
  std::string head = header + "\r\n" + kSampleNote + "\r\n";
  if (head.size() > size) head.resize(size);
  f.write(head.data(), static_cast<std::streamsize>(head.size()));
  std::uint64_t left = size - head.size();
  std::uint64_t x = seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
  std::vector<char> buf(1u << 20);
  while (left > 0) {
    std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(left, buf.size()));
    for (std::size_t i = 0; i < n; i += 8) {
      x ^= x << 13; x ^= x >> 7; x ^= x << 17;
      std::memcpy(&buf[i], &x, std::min<std::size_t>(8, n - i));
    }
    f.write(buf.data(), static_cast<std::streamsize>(n));
    left -= n;
  }
  if (!f) Fail("cannot write " + file.string());
  ++g_totals.Files;
  g_totals.Bytes += size;
}

void CopyIn(const fs::path& from, const fs::path& to) {
  fs::create_directories(to.parent_path());
  fs::copy_file(from, to, fs::copy_options::overwrite_existing);
  ++g_totals.Files;
  g_totals.Bytes += fs::file_size(to);
}

std::string Placeholder(const std::string& name) {
  return std::string(kSampleNote) + "\nStands in for: " + name + "\n";
}

bool Omitted(const Options& o, const char* item) { return o.Omit.count(item) != 0; }

std::string XmlEscape(const std::string& s) {
  std::string r;
  for (char c : s) {
    switch (c) {
      case '&': r += "&amp;"; break;
      case '<': r += "&lt;"; break;
      case '>': r += "&gt;"; break;
      case '"': r += "&quot;"; break;
      default: r += c;
    }
  }
  return r;
}

// ---------------------------------------------------------------------------

void WriteReadme(const fs::path& dist) {
  // UTF-8 page declaring its charset, Russian text as the release notes are.
  WriteText(dist / "readme.htm",
            "<!DOCTYPE html>\n"
            "<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n"
            "<title>О версии комплекса</title>\n</head>\n<body>\n"
            "<h1>Комплекс анализа электрокардиограмм</h1>\n"
            "<p><b>Образец дистрибутива.</b> Эта страница и все файлы рядом с программой установки, "
            "кроме самой программы установки, являются демонстрационными заглушками "
            "(SAMPLE CONTENT) и не содержат настоящих компонентов комплекса.</p>\n"
            "<h2>Что нового в выпуске 393</h2>\n<ul>\n"
            "<li>Обновлены формы отчётов.</li>\n"
            "<li>Исправлено сохранение настроек кардиомодуля.</li>\n"
            "<li>Удалены устаревшие файлы прежних выпусков.</li>\n"
            "</ul>\n"
            "<p>Нажмите «Продолжить», чтобы начать установку, или «Отмена», чтобы вернуться.</p>\n"
            "</body>\n</html>\n");
}

void WriteProfile(const fs::path& dist) {
  fs::path p = dist / "Profile";
  WriteText(p / "Standard" / "DATA.XML",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<!-- " + std::string(kSampleNote) + " -->\n"
            "<PROFILE>\n  <NAME>Стандартный профиль (образец)</NAME>\n  <VERSION>1</VERSION>\n</PROFILE>\n");
  WriteText(p / "Standard" / "leads.cfg", Placeholder("profile lead layout"));
  WriteText(p / "Pediatric" / "DATA.XML",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<!-- " + std::string(kSampleNote) + " -->\n"
            "<PROFILE>\n  <NAME>Детский профиль (образец)</NAME>\n  <VERSION>1</VERSION>\n</PROFILE>\n");
}

void WriteSettings(const fs::path& dist, const Options& o) {
  if (!Omitted(o, "Settings.xml"))
    WriteText(dist / "Settings" / "Settings.xml",
              "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
              "<!-- " + std::string(kSampleNote) + " -->\n"
              "<Settings>\n  <Sample>true</Sample>\n  <Language>ru</Language>\n</Settings>\n");
  // Only Settings.xml is installed; this file shows that nothing else of the
  // folder is copied.
  WriteText(dist / "Settings" / "not-installed.txt",
            Placeholder("a file of the distribution's Settings folder that the installer does not copy"));
}

void WriteEngine(const fs::path& dist) {
  fs::path fb = dist / "Firebird_257";
  static const char* const kEngine[] = {
      "aliases.conf", "firebird.conf", "fbclient.Dll", "fbembed.Dll",  "ib_util.Dll", "icudt30.Dll",
      "icuin30.Dll",  "icuuc30.Dll",   "firebird.msg", "gbak.exe",     "msvcp80.Dll", "msvcr80.Dll"};
  for (const char* n : kEngine) WriteText(fb / n, Placeholder(std::string("database engine file ") + n));
  for (const char* n : {"fbintl.conf", "fbintl.dll"})
    WriteText(fb / "intl" / n, Placeholder(std::string("engine character-set file ") + n));
  for (const char* n : {"fbudf.dll", "ib_udf.dll", "fbudf.sql", "ib_udf.sql", "ib_udf2.sql"})
    WriteText(fb / "udf" / n, Placeholder(std::string("engine function library ") + n));
  for (const char* n : {"Kelvar.Dll", "Trimsa.Dll", "Holmex.Dll", "Dravin.Dll"})
    WriteText(dist / "UDF" / n, Placeholder(std::string("function library of the complex ") + n));
}

void WriteDatabase(const fs::path& dist, const Options& o) {
  WriteFiller(dist / "dta_clear" / "Q12.fdb", o.DbBytes, 0xDB, "SAMPLE TEMPLATE DATABASE Q12.fdb (not a database)");
  if (!Omitted(o, "dta-ecg.ini"))
    WriteText(dist / "dta_clear" / "ecg.ini",
              "; " + std::string(kSampleNote) + "\n[Options]\nSampleDatabaseSettings=1\n");
  if (!Omitted(o, "password"))
    WriteText(dist / "bin" / "password.nsi", Placeholder("database password file"));
}

void WriteService(const fs::path& dist) {
  fs::path s = dist / "service";
  WriteText(s / "service-readme.txt", Placeholder("service programs of the complex"));
  WriteText(s / "tools" / "dbcheck.cmd", "@echo off\r\nrem " + std::string(kSampleNote) + "\r\n");
  // Brought by this folder and removed again by the newest release's list.
  WriteText(s / "obsolete-tool.dll", Placeholder("obsolete service library removed by the release file list"));
}

void WriteIntegration(const fs::path& dist) {
  fs::path i = dist / "config" / "Integration";
  WriteText(i / "rmis.xml",
            "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
            "<!-- " + std::string(kSampleNote) + " -->\n"
            "<RMIS>\n  <Server>https://rmis.example.invalid/api</Server>\n  <Enabled>1</Enabled>\n</RMIS>\n");
  WriteText(i / "mapping" / "codes.csv", "code;name\r\n1;образец\r\n");
}

struct Entry {
  std::string Distr;   // relative to the release folder
  std::string Target;  // relative to the target folder
};

// Release folders R<level>; the newest carries the payload files, a
// ReleaseInfo and a list that copies into subfolders and deletes obsolete
// files.  Older releases carry small lists of their own.
void WriteReleases(const fs::path& dist, const Options& o) {
  const int newest = 393;
  for (int r = 0; r < o.Releases; ++r) {
    int level = newest - (o.Releases - 1 - r);
    std::string name = "R" + std::to_string(level);
    fs::path rel = dist / "backup" / name;
    bool isNewest = r == o.Releases - 1;
    std::vector<Entry> files, del;

    auto add = [&](const std::string& distr, const std::string& target, const std::string& content) {
      std::string local = distr;
      for (char& c : local) if (c == '\\') c = '/';
      WriteText(rel / local, content);
      files.push_back({distr, target});
    };

    add("Quorvel12.exe", "Quorvel12.exe", Placeholder("program of the complex, release " + name));
    add("bin\\ecgview.dll", "bin\\ecgview.dll", Placeholder("viewer library, release " + name));
    if (isNewest) {
      add("reports\\forms\\rest.frx", "Reports\\Forms\\Rest\\rest.frx", Placeholder("report form"));
      add("reports\\forms\\stress.frx", "Reports\\Forms\\Stress\\stress.frx", Placeholder("report form"));
      if (!Omitted(o, "ReleaseInfo")) {
        WriteText(rel / "ReleaseInfo",
                  "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
                  "<ROOT>\n  <!-- " + std::string(kSampleNote) + " -->\n"
                  "  <Version>1</Version>\n  <Level>000</Level>\n  <Product>Quorvel-12 sample</Product>\n</ROOT>\n");
        files.push_back({"ReleaseInfo", "ReleaseInfo"});
      }
      // Payload: the bulk of the release, spread over nested folders.
      std::uint64_t n = o.Files;
      for (std::uint64_t i = 0; i < n; ++i) {
        std::uint64_t size = o.ReleaseBytes / (n ? n : 1) + (i < o.ReleaseBytes % (n ? n : 1) ? 1 : 0);
        char sub[64], fname[64];
        std::snprintf(sub, sizeof sub, "lib\\pack%02u", static_cast<unsigned>(i / 100));
        std::snprintf(fname, sizeof fname, "module%04u.bin", static_cast<unsigned>(i));
        std::string distr = std::string(sub) + "\\" + fname;
        std::string local = distr;
        for (char& c : local) if (c == '\\') c = '/';
        WriteFiller(rel / local, size, 1000 + i, "SAMPLE RELEASE FILE " + distr);
        files.push_back({distr, distr});
      }
      del.push_back({"obsolete\\obsolete-tool.dll", "service\\obsolete-tool.dll"});
      del.push_back({"R391\\bin\\legacy.dll", "bin\\legacy.dll"});
    } else {
      add("bin\\legacy.dll", "bin\\legacy.dll", Placeholder("library of an older release"));
    }

    std::string xml = "<filelist>\n  <files>\n";
    for (const Entry& e : files)
      xml += "    <file DistrFN=\"" + XmlEscape(e.Distr) + "\">" + XmlEscape(e.Target) + "</file>\n";
    xml += "  </files>\n";
    if (!del.empty()) {
      xml += "  <delfiles>\n";
      for (const Entry& e : del)
        xml += "    <file DistrFN=\"" + XmlEscape(e.Distr) + "\">" + XmlEscape(e.Target) + "</file>\n";
      xml += "  </delfiles>\n";
    }
    xml += "  <!-- " + std::string(kSampleNote) + " -->\n</filelist>\n";
    WriteText(rel / "filelist.xml", xml);
  }
}

void PrepareOut(const Options& o) {
  if (fs::exists(o.Out)) {
    if (!fs::is_directory(o.Out)) Fail(o.Out.string() + " exists and is not a folder");
    bool empty = fs::directory_iterator(o.Out) == fs::directory_iterator();
    if (!empty) {
      if (!fs::exists(o.Out / kMarker) && !o.Force)
        Fail(o.Out.string() + " is not empty and was not written by sampledist (use --force)");
      fs::remove_all(o.Out);
    }
  }
  fs::create_directories(o.Out);
  std::ofstream(o.Out / kMarker) << "sample distribution\n";
}

std::uint64_t ParseCount(const char* opt, const char* v) {
  char* end = nullptr;
  errno = 0;
  unsigned long long n = std::strtoull(v, &end, 10);
  if (errno || !end || *end || *v == '-' || *v == 0) Fail(std::string("bad number for ") + opt + ": " + v);
  if (n > (1ull << 40)) Fail(std::string("number too large for ") + opt);
  return n;
}

void Usage() {
  std::cerr << "usage: sampledist --out DIR [--install Install.exe] [--driver-setup setup.exe]\n"
               "                  [--files N] [--release-mb N|--release-kb N] [--db-mb N|--db-kb N]\n"
               "                  [--releases N] [--omit ITEM]... [--force]\n"
               "ITEM: readme Profile FTDIDriverInstall Settings.xml service config password dta-ecg.ini ReleaseInfo\n";
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  static const std::set<std::string> kItems = {"readme", "Profile", "FTDIDriverInstall", "Settings.xml", "service",
                                               "config", "password", "dta-ecg.ini", "ReleaseInfo"};
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto val = [&]() -> const char* {
      if (i + 1 >= argc) Fail("missing value for " + a);
      return argv[++i];
    };
    if (a == "--out") o.Out = val();
    else if (a == "--install") o.Install = val();
    else if (a == "--driver-setup") o.DriverSetup = val();
    else if (a == "--files") o.Files = ParseCount("--files", val());
    else if (a == "--release-mb") o.ReleaseBytes = ParseCount("--release-mb", val()) << 20;
    else if (a == "--release-kb") o.ReleaseBytes = ParseCount("--release-kb", val()) << 10;
    else if (a == "--db-mb") o.DbBytes = ParseCount("--db-mb", val()) << 20;
    else if (a == "--db-kb") o.DbBytes = ParseCount("--db-kb", val()) << 10;
    else if (a == "--releases") {
      o.Releases = static_cast<int>(ParseCount("--releases", val()));
      if (o.Releases < 1 || o.Releases > 9) Fail("--releases must be 1 to 9");
    } else if (a == "--omit") {
      std::string it = val();
      if (!kItems.count(it)) Fail("unknown item for --omit: " + it);
      o.Omit.insert(it);
    } else if (a == "--force") o.Force = true;
    else if (a == "-h" || a == "--help") { Usage(); std::exit(0); }
    else Fail("unknown argument " + a);
  }
  if (o.Out.empty()) Fail("--out is required");
  if (o.Files > 100000) Fail("--files: at most 100000");
  return o;
}

} // namespace

int main(int argc, char** argv) {
  try {
    Options o = ParseArgs(argc, argv);
    PrepareOut(o);
    const fs::path& d = o.Out;
    if (!o.Install.empty()) CopyIn(o.Install, d / "Install.exe");
    if (!Omitted(o, "readme")) WriteReadme(d);
    if (!Omitted(o, "Profile")) WriteProfile(d);
    if (!Omitted(o, "FTDIDriverInstall")) {
      if (!o.DriverSetup.empty())
        CopyIn(o.DriverSetup, d / "FTDIDriverInstall" / "CDM21228_Setup.exe");
      else
        Fail("--driver-setup is required unless FTDIDriverInstall is omitted");
      WriteText(d / "FTDIDriverInstall" / "SAMPLE-README.txt",
                std::string(kSampleNote) + "\nCDM21228_Setup.exe here is a stand-in program of the sample "
                "distribution: it installs nothing, appends a line to driver-setup-trace.txt beside itself and exits.\n");
    }
    WriteSettings(d, o);
    WriteReleases(d, o);
    WriteEngine(d);
    if (!Omitted(o, "service")) WriteService(d);
    WriteDatabase(d, o);
    if (!Omitted(o, "config")) WriteIntegration(d);
    std::cout << "sampledist: " << d.string() << ": " << g_totals.Files << " files, " << g_totals.Bytes
              << " bytes\n";
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "sampledist: " << e.what() << "\n";
    return 1;
  }
}
