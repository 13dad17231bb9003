// ostrel-client under Wine against the device simulator on COM4 of the test
// prefix, with OstrelCom.dll registered by regsvr32: the listing, the CSV
// table and the SVG plot checked against the simulator's record pattern, and
// every failure the client reports with its exit code.
//
// Environment: OSTREL_E2E_ROOT (Unix path of the Wine root whose ports/COM4
// the simulator serves), OSTREL_E2E_SERVER (Unix path of OstrelCom.dll).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "OstrelPattern.h"
#include "XmlCheck.h"
#include "common/Handles.h"

namespace {

constexpr int kPort = 4;

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

// Unix path -> the same file through Wine's Z: drive.
std::wstring WinPath(const std::string& unix) {
    std::wstring w = L"Z:" + Wide(unix);
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string ReadAll(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);  // MinGW: wide-path ifstream
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string NoCr(std::string s) {
    std::string out;
    for (char c : s)
        if (c != '\r') out += c;
    return out;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring p = path;
    return p.substr(0, p.find_last_of(L'\\') + 1);
}

struct TRun {
    DWORD Code = 0xDEADBEEF;
    std::string Out, Err;
    DWORD Millis = 0;
};

// Runs a command line with stdout and stderr sent to files; at most 60 s.
TRun RunChild(const std::wstring& commandLine) {
    static int serial = 0;
    wchar_t tmp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring base = std::wstring(tmp) + L"ostrel-e2e-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++serial);
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    TRun r;
    {
        TFileHandle out(::CreateFileW((base + L".out").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        TFileHandle err(::CreateFileW((base + L".err").c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr));
        if (!out || !err) {
            ADD_FAILURE() << "cannot create the output files of a child process";
            return r;
        }
        STARTUPINFOW si{};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESTDHANDLES;
        si.hStdInput = nullptr;
        si.hStdOutput = out.get();
        si.hStdError = err.get();
        PROCESS_INFORMATION pi{};
        std::wstring cmd = commandLine;
        const DWORD t0 = ::GetTickCount();
        if (!::CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
            ADD_FAILURE() << "cannot start a child process, error " << ::GetLastError();
            return r;
        }
        TKernelHandle process(pi.hProcess), thread(pi.hThread);
        if (::WaitForSingleObject(process.get(), 60000) != WAIT_OBJECT_0) {
            ::TerminateProcess(process.get(), 99);
            ADD_FAILURE() << "child process did not end within 60 s";
        }
        r.Millis = ::GetTickCount() - t0;
        ::GetExitCodeProcess(process.get(), &r.Code);
    }
    r.Out = ReadAll(base + L".out");
    r.Err = ReadAll(base + L".err");
    ::DeleteFileW((base + L".out").c_str());
    ::DeleteFileW((base + L".err").c_str());
    return r;
}

struct TSlot {
    unsigned Index, Start, End;
};

uint32_t Footprint(const TSlot& s) { return s.Start < s.End ? s.End - s.Start : ostrelsim::kRingPositions - s.Start + s.End; }

// The CSV a correct transfer of a slot gives, from the pattern alone.
std::string ExpectedCsv(uint32_t seed, const TSlot& s) {
    std::string out = "record,ch0_W1,ch1_W0,ch2_W7,ch3_W6,ch4_W5,ch5_W4,ch6_W3,ch7_W2,status\r\n";
    const uint32_t count = Footprint(s) - 1;
    char line[160];
    for (uint32_t r = 0; r < count; ++r) {
        const auto rec = ostrelsim::PatternRecord(seed, (s.Start + r) % ostrelsim::kRingPositions);
        int v[8];
        for (int c = 0; c < 8; ++c) v[c] = ostrelsim::PatternValue(rec, c);
        std::snprintf(line, sizeof line, "%u,%d,%d,%d,%d,%d,%d,%d,%d,0x%04X\r\n", r, v[0], v[1], v[2], v[3], v[4], v[5],
                      v[6], v[7], ostrelsim::PatternStatus(rec));
        out += line;
    }
    return out;
}

}  // namespace

class EndToEnd : public ::testing::Test {
protected:
    static inline std::string Root, Server;
    static inline int RunNumber = 0;

    static void SetUpTestSuite() {
        Root = Env("OSTREL_E2E_ROOT");
        Server = Env("OSTREL_E2E_SERVER");
    }
    static std::wstring Client() { return L"\"" + ProgramFolder() + L"ostrel-client.exe\" "; }
    static std::wstring Register(bool on) {
        return std::wstring(L"regsvr32.exe /s ") + (on ? L"" : L"/u ") + L"\"" + WinPath(Server) + L"\"";
    }
    std::string SimFiles() const { return Root + "/ports/ostrelsim-COM" + std::to_string(kPort); }

    void SetUp() override {
        ASSERT_FALSE(Root.empty()) << "OSTREL_E2E_ROOT not set";
        ASSERT_FALSE(Server.empty()) << "OSTREL_E2E_SERVER not set";
        const TRun reg = RunChild(Register(true));
        ASSERT_EQ(reg.Code, 0u) << "regsvr32 " << Server;
    }
    void TearDown() override { RunChild(Register(false)); }

    // A fresh device with this scenario (unpaced); returns the log offset.
    size_t Scenario(const std::string& words) {
        std::ofstream ctl(WinPath(SimFiles() + ".ctl").c_str(), std::ios::binary | std::ios::trunc);
        ctl << words << " pace=0 run=" << ++RunNumber << "\n";
        ctl.close();
        EXPECT_TRUE(ctl) << "cannot write the simulator's scenario file";
        return ReadAll(WinPath(SimFiles() + ".log")).size();
    }
    // Log lines written by the simulator since `from`.
    std::string LogSince(size_t from) const {
        const std::string log = ReadAll(WinPath(SimFiles() + ".log"));
        return from < log.size() ? log.substr(from) : std::string();
    }
    static std::wstring Args(const std::string& a) { return Client() + Wide(a); }
};

TEST_F(EndToEnd, ListShowsRangeSizesAndOverwrittenInspections) {
    // Footprints 40000, 20000 and 5511 (across the ring end): from 5 down the
    // total passes the ring size with 3, so 4 is the lowest intact index.
    const size_t log = Scenario("seed=3 insp=3:0:40000 insp=4:40000:60000 insp=5:60000:1000");
    const TRun r = RunChild(Args("list --port 4"));
    EXPECT_EQ(r.Code, 0u) << r.Err;
    EXPECT_EQ(NoCr(r.Out),
              "Device on COM4\n"
              "Highest index:       5\n"
              "Lowest intact index: 4\n"
              "Index  Records     Bytes  State\n"
              "    3    39999    719982  may be overwritten\n"
              "    4    19999    359982  intact\n"
              "    5     5510     99180  intact\n"
              "Inspections with data: 3\n");
    EXPECT_EQ(LogSince(log).find("ERROR"), std::string::npos) << LogSince(log);
}

TEST_F(EndToEnd, ListOfAnEmptyDevice) {
    Scenario("empty=1");
    const TRun r = RunChild(Args("list -p COM4"));
    EXPECT_EQ(r.Code, 0u) << r.Err;
    EXPECT_EQ(NoCr(r.Out), "Device on COM4\nNo inspections stored.\n");
    const TRun csv = RunChild(Args("csv -p 4"));
    EXPECT_EQ(csv.Code, 5u) << csv.Err;
    EXPECT_NE(csv.Err.find("no inspections are stored"), std::string::npos) << csv.Err;
}

TEST_F(EndToEnd, CsvOfEveryRecordMatchesThePattern) {
    // Slot 1 wraps at the ring end (111 + 149 records); slot 2 takes three
    // chunks (500, 500, 200).
    const TSlot slots[] = {{1, 64400, 150}, {2, 1000, 2201}};
    const size_t log = Scenario("seed=11 insp=1:64400:150 insp=2:1000:2201");
    for (const TSlot& s : slots) {
        SCOPED_TRACE("inspection " + std::to_string(s.Index));
        const TRun r = RunChild(Args("csv -p 4 -i " + std::to_string(s.Index)));
        EXPECT_EQ(r.Code, 0u) << r.Err;
        const std::string want = ExpectedCsv(11, s);
        ASSERT_EQ(r.Out.size(), want.size());
        // First differing line, for a readable failure.
        size_t line = 0, at = 0;
        while (at < want.size() && r.Out[at] == want[at]) {
            if (want[at] == '\n') ++line;
            ++at;
        }
        EXPECT_EQ(at, want.size()) << "CSV differs in line " << line;
    }
    // Without -i: the highest index; --out and --semicolon.
    wchar_t tmp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring out = std::wstring(tmp) + L"ostrel-e2e.csv";
    ::DeleteFileW(out.c_str());
    const TRun r = RunChild(Client() + L"csv --port 4 --semicolon --out \"" + out + L"\"");
    EXPECT_EQ(r.Code, 0u) << r.Err;
    std::string want = ExpectedCsv(11, slots[1]);
    for (char& c : want)
        if (c == ',') c = ';';
    EXPECT_TRUE(ReadAll(out) == want) << "the --out file differs from the pattern";
    ::DeleteFileW(out.c_str());
    EXPECT_EQ(LogSince(log).find("ERROR"), std::string::npos) << LogSince(log);
}

TEST_F(EndToEnd, SvgDrawsEveryPresentRecord) {
    const TSlot s{6, 64400, 150};  // 260 records, below twice the plot width
    Scenario("seed=5 insp=6:64400:150");
    wchar_t tmp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring out = std::wstring(tmp) + L"ostrel-e2e.svg";
    ::DeleteFileW(out.c_str());
    const TRun r = RunChild(Client() + L"svg -p 4 -i 6 -o \"" + out + L"\"");
    EXPECT_EQ(r.Code, 0u) << r.Err;
    const std::string svg = ReadAll(out);
    ::DeleteFileW(out.c_str());
    std::vector<xmlcheck::TElement> elements;
    ASSERT_EQ(xmlcheck::Check(svg, elements), "");
    std::vector<std::string> paths;
    bool title = false;
    for (const auto& e : elements) {
        if (e.Name == "path") paths.push_back(e.Attrs.at("d"));
        if (e.Name == "text" && e.Text == "COM4, inspection 6: 260 records") title = true;
    }
    EXPECT_TRUE(title);
    ASSERT_EQ(paths.size(), 8u);
    for (int c = 0; c < 8; ++c) {
        // Points and strokes of channel c from the pattern: one point per
        // record that is neither off nor flagged; a new stroke after each gap.
        size_t points = 0, strokes = 0;
        bool pen = false;
        for (uint32_t r = 0; r + 1 < Footprint(s); ++r) {
            const auto rec = ostrelsim::PatternRecord(5, (s.Start + r) % ostrelsim::kRingPositions);
            const bool present = !rec.flag && !(rec.off & (1u << c));
            if (present && !pen) ++strokes;
            points += present;
            pen = present;
        }
        size_t m = 0, l = 0;
        for (char ch : paths[c]) {
            m += ch == 'M';
            l += ch == 'L';
        }
        EXPECT_EQ(m, strokes) << "channel " << c;
        EXPECT_EQ(m + l, points) << "channel " << c;
    }
}

TEST_F(EndToEnd, FailuresGiveTheirExitCodes) {
    Scenario("seed=2 insp=1:0:101 insp=2:101:1302");
    struct TRow {
        const char* Scenario;  // nullptr: keep the device as it is
        const char* Args;
        DWORD Code;
        const char* Message;
    } rows[] = {
        {nullptr, "csv -p 4 -i 9", 5, "no inspection 9 on the device on COM4 (it stores 1 to 2"},
        {nullptr, "svg -p 4 -i 65534", 5, "no inspection 65534"},
        {nullptr, "csv -p 5", 1, "bad port \"5\""},
        {nullptr, "frobnicate", 1, "unknown command"},
        {nullptr, "csv -p 4 -i 1 -o Z:\\no\\such\\folder\\x.csv", 7, "cannot create Z:\\no\\such\\folder\\x.csv"},
        {"silent=1", "list -p 4", 4, "no answer from a device on COM4"},
        {"dirshort=5", "list -p 4", 4, "no answer from a device on COM4, or its directory could not be read"},
        {"droprec=64515", "list -p 4", 4, "directory from the device on COM4 arrived damaged"},
        {"insp=1:0:1201 stopat=700", "csv -p 4 -i 1", 6, "the transfer of inspection 1 from COM4 failed"},
    };
    for (const TRow& row : rows) {
        SCOPED_TRACE(row.Args + std::string(row.Scenario ? " with " : "") + (row.Scenario ? row.Scenario : ""));
        if (row.Scenario) Scenario(row.Scenario);
        const TRun r = RunChild(Args(row.Args));
        EXPECT_EQ(r.Code, row.Code) << r.Err;
        EXPECT_NE(r.Err.find(row.Message), std::string::npos) << r.Err;
        EXPECT_EQ(r.Out, "") << "nothing on standard output after a failure";
        EXPECT_LT(r.Millis, 30000u);
    }
}

TEST_F(EndToEnd, ServerNotRegistered) {
    Scenario("seed=2");
    ASSERT_EQ(RunChild(Register(false)).Code, 0u);
    TRun r = RunChild(Args("list -p 4"));
    EXPECT_EQ(r.Code, 2u) << r.Err;
    EXPECT_NE(r.Err.find("OstrelCom.Comm is not registered"), std::string::npos) << r.Err;
    ASSERT_EQ(RunChild(Register(true)).Code, 0u);
    r = RunChild(Args("list -p 4"));
    EXPECT_EQ(r.Code, 0u) << r.Err;

    // Registered from a copy that is then deleted: the server cannot be loaded.
    wchar_t tmp[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring copy = std::wstring(tmp) + L"OstrelComGone.dll";
    ASSERT_TRUE(::CopyFileW(WinPath(Server).c_str(), copy.c_str(), FALSE)) << ::GetLastError();
    ASSERT_EQ(RunChild(L"regsvr32.exe /s \"" + copy + L"\"").Code, 0u);
    ASSERT_TRUE(::DeleteFileW(copy.c_str())) << ::GetLastError();
    r = RunChild(Args("list -p 4"));
    EXPECT_EQ(r.Code, 2u) << r.Err;
    EXPECT_NE(r.Err.find("OstrelComGone.dll cannot be loaded"), std::string::npos) << r.Err;
    ASSERT_EQ(RunChild(Register(true)).Code, 0u);  // the class points at the real module again

    // A missing port cannot be made here: Wine opens COMn through the
    // Unix serial device when the port's link is absent.  The texts of port
    // errors are tested natively.
}
