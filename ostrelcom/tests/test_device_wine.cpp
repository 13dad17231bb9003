// The real Comm object over the real Windows serial port against the device
// simulator (tools/host/ostrelsim) on pseudo-terminals behind COM1 and COM2
// (a scenario can unplug a device: its port then fails to open).  COM3 and
// COM4 belong to other tests.  ECG_OSTRELSIM_PORTS holds the Windows path of the
// folder with the simulators' files: the scenario of each row is written to
// ostrelsim-COMn.ctl, what the device received is read from ostrelsim-COMn.log.
// Every value a transfer delivers is compared with the simulator's record
// pattern; outputs are prefilled with sentinels and guarded at their end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "OstrelCom.h"
#include "DeviceRows.h"
#include "common/Handles.h"

using namespace devicerows;

namespace {
using GetClassFn = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

std::wstring PortsDir()
{
    const wchar_t* dir = _wgetenv(L"ECG_OSTRELSIM_PORTS");
    return dir ? dir : L"";
}
std::wstring SimFile(int port, const wchar_t* ext) { return PortsDir() + L"\\ostrelsim-COM" + std::to_wstring(port) + ext; }

void WriteText(const std::wstring& path, const std::string& text)
{
    TFileHandle h(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(h) << "cannot write the scenario file";
    DWORD n = 0;
    WriteFile(h.get(), text.data(), static_cast<DWORD>(text.size()), &n, nullptr);
}

std::vector<std::string> ReadLines(const std::wstring& path)
{
    std::string text;
    TFileHandle h(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr));
    if (h) {
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(h.get(), buf, sizeof buf, &n, nullptr) && n > 0)
            text.append(buf, n);
    }
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);)
        lines.push_back(l);
    return lines;
}

// The scenario takes effect when the simulator takes it up (it logs
// "scenario <text>" then, having reset the terminal to 9600 baud and
// plugged or unplugged the device); the test waits for that.  A link named
// COMn cannot be looked at from here: Windows takes the name for the port.
void Device(int port, const std::string& scenario)
{
    static int run = 0;
    const std::string text = scenario + " run=" + std::to_string(++run);
    DeleteFileW(SimFile(port, L".log").c_str());
    WriteText(SimFile(port, L".ctl"), text + "\n");
    const std::string line = "scenario " + text + " ";
    for (int i = 0; i < 250; ++i) {
        const auto lines = ReadLines(SimFile(port, L".log"));
        if (std::find(lines.begin(), lines.end(), line) != lines.end())
            return;
        Sleep(20);
    }
    ADD_FAILURE() << "the simulator on COM" << port << " did not take up: " << text;
}
std::vector<std::string> Received(int port) { return ReadLines(SimFile(port, L".log")); }
void Forget(int port) { DeleteFileW(SimFile(port, L".log").c_str()); }
// What the device on a port received, apart from taking up its scenario.
std::string Traffic(int port)
{
    std::string s;
    for (const auto& l : Received(port))
        if (l.compare(0, 9, "scenario ") != 0)
            s += l + "\n";
    return s;
}

struct TServer {
    TModuleHandle module{LoadLibraryW(L"OstrelCom.dll")};
    TComPtr<IOstrelComm> Create()
    {
        TComPtr<IOstrelComm> comm;
        auto get = reinterpret_cast<GetClassFn>(
            reinterpret_cast<void*>(GetProcAddress(module.get(), "DllGetClassObject")));
        TComPtr<IClassFactory> factory;
        if (get && get(CLSID_Comm, IID_IClassFactory, factory.put_void()) == S_OK)
            factory->CreateInstance(nullptr, IID_IOstrelComm, comm.put_void());
        return comm;
    }
};

}  // namespace

class FaultMatrix : public ::testing::TestWithParam<TRow> {
protected:
    TComInit com{COINIT_APARTMENTTHREADED};
    TServer server;
};

TEST_P(FaultMatrix, Row)
{
    const TRow& row = GetParam();
    ASSERT_TRUE(server.module);
    const int sim = row.port == 2 ? 2 : 1;  // 0, 5, -1 and 1 open COM1
    Device(1, sim == 1 ? row.scenario : "");
    Device(2, sim == 2 ? row.scenario : "");
    TComPtr<IOstrelComm> comm = server.Create();
    ASSERT_TRUE(comm);

    const HRESULT info = comm->ReadOstrelInfo(row.port);
    const auto infoLog = Received(sim);
    EXPECT_EQ(info, row.info) << Joined(infoLog);
    EXPECT_EQ(Errors(infoLog), "");
    if (row.queries >= 0) {
        EXPECT_EQ(Count(infoLog, "query"), row.queries);
    }
    if (row.writes >= 0) {
        EXPECT_EQ(Count(infoLog, "write"), row.writes);
    }
    // Four wake-up frames are sent; the purge that follows them may take the
    // last one off the line before the device has read it.
    if (std::string(row.scenario).find("unplugged") == std::string::npos) {
        EXPECT_EQ(Count(infoLog, "line "), 1);
        EXPECT_EQ(Count(infoLog, "line 115200 8N1 ixon=0 ixoff=0 crtscts=0"), 1) << Joined(infoLog);
        EXPECT_GE(Count(infoLog, "wake"), 3);
        EXPECT_LE(Count(infoLog, "wake"), 4);
    }
    EXPECT_EQ(Traffic(sim == 1 ? 2 : 1), "") << "traffic on the other port";
    EXPECT_EQ(comm->GetMaxIndex(), row.max);
    EXPECT_EQ(comm->GetMinIndex(), row.min);
    if (row.index == -1)
        return;

    EXPECT_EQ(comm->GetInspectionSize(row.index), row.size);
    Forget(sim);
    const size_t bytes = static_cast<size_t>(static_cast<int64_t>(row.size) + row.bufferDelta);
    std::vector<uint8_t> buf(bytes + kGuard, kSentinel);
    const HRESULT got = comm->GetInspectionData(row.index, buf.data(), static_cast<unsigned long>(bytes));
    EXPECT_EQ(got, row.data);
    const auto dataLog = Received(sim);
    ExpectTransfer(row, buf, bytes, dataLog, static_cast<int>(got));
}

INSTANTIATE_TEST_SUITE_P(Device, FaultMatrix, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<TRow>& i) { return std::string(i.param.name); });

class DevicePorts : public ::testing::Test {
protected:
    TComInit com{COINIT_APARTMENTTHREADED};
    TServer server;
};

TEST_F(DevicePorts, SecondReadOnAnotherPortMovesTheObjectThere)
{
    Device(1, "insp=1:0:101");
    Device(2, "seed=7 insp=5:2000:2101");
    TComPtr<IOstrelComm> comm = server.Create();
    ASSERT_TRUE(comm);
    ASSERT_EQ(comm->ReadOstrelInfo(1), S_OK);
    EXPECT_EQ(comm->GetMaxIndex(), 1u);
    ASSERT_EQ(comm->ReadOstrelInfo(2), S_OK);
    EXPECT_EQ(comm->GetMaxIndex(), 5u);
    EXPECT_EQ(comm->GetInspectionSize(1), 0u);
    Forget(1);
    Forget(2);
    std::vector<uint8_t> buf(1800, kSentinel);
    EXPECT_EQ(comm->GetInspectionData(5, buf.data(), 1800), S_OK);
    EXPECT_EQ(Compare(buf, 2000, 100, 7), "");
    EXPECT_EQ(Reads(Received(2)), "2000-2100");
    EXPECT_EQ(Traffic(1), "") << "the first port is still used";
    // A failing open (device unplugged) keeps the directory; data then fails without traffic.
    Device(1, "unplugged=1");
    Forget(2);
    EXPECT_EQ(comm->ReadOstrelInfo(1), S_FALSE);
    EXPECT_EQ(comm->GetMaxIndex(), 5u);
    std::fill(buf.begin(), buf.end(), kSentinel);
    EXPECT_EQ(comm->GetInspectionData(5, buf.data(), 1800), S_FALSE);
    EXPECT_EQ(std::count(buf.begin(), buf.end(), kSentinel), 1800);
    EXPECT_EQ(Traffic(2), "");
    Device(1, "");
}

TEST_F(DevicePorts, RepeatedTransfersAndAFailedDirectoryKeepThePortOpen)
{
    Device(1, "");
    TComPtr<IOstrelComm> comm = server.Create();
    ASSERT_TRUE(comm);
    ASSERT_EQ(comm->ReadOstrelInfo(1), S_OK);
    for (int i = 0; i < 2; ++i) {
        std::vector<uint8_t> buf(1800, kSentinel);
        EXPECT_EQ(comm->GetInspectionData(1, buf.data(), 1800), S_OK) << i;
        EXPECT_EQ(Compare(buf, 0, 100, 1), "") << i;
    }
    // Directory broken at slot 2: slots 0 and 1 arrive, the port stays open.
    Device(1, "dirseq=2:1");
    EXPECT_EQ(comm->ReadOstrelInfo(1), S_FALSE);
    EXPECT_EQ(comm->GetMaxIndex(), 2u);
    std::vector<uint8_t> buf(21600, kSentinel);
    Forget(1);
    EXPECT_EQ(comm->GetInspectionData(2, buf.data(), 21600), S_OK);
    EXPECT_EQ(Compare(buf, 101, 1200, 1), "");
    EXPECT_EQ(Errors(Received(1)), "");
}

// The bytes on the line, frame by frame, for one directory read.
TEST_F(DevicePorts, FramesOfADirectoryRead)
{
    auto command = [](const char* c) {
        std::string s = "rx AA55";
        for (int i = 0; i < 16; ++i)
            s += c;
        return s;
    };
    auto state = [](unsigned start, unsigned end) {
        uint8_t f[18] = {0, 0, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C};
        f[14] = start & 0xFF;
        f[15] = start >> 8;
        f[16] = end & 0xFF;
        f[17] = end >> 8;
        unsigned sum = 0;
        for (int i = 2; i < 18; ++i)
            sum += f[i];
        f[1] = sum & 0xFF;
        char hex[40] = {};
        for (int i = 0; i < 18; ++i)
            std::snprintf(hex + 2 * i, 3, "%02X", f[i]);
        return std::string("rx ") + hex;
    };
    Device(1, "frames=1");
    TComPtr<IOstrelComm> comm = server.Create();
    ASSERT_TRUE(comm);
    ASSERT_EQ(comm->ReadOstrelInfo(1), S_OK);
    std::vector<std::string> rx;
    for (const auto& l : Received(1))
        if (l.compare(0, 3, "rx ") == 0)
            rx.push_back(l);
    const std::vector<std::string> exchange = {
        command("82"),                                                          // query
        command("88"), state(0xFC00, 0xFC20), "rx AA5588888888", command("82"), // range write, confirmation
        command("84"),                                                          // read
        command("88"), state(16, 32), "rx AA5588888888", command("82"),         // restore, confirmation
    };
    ASSERT_GE(rx.size(), exchange.size() + 3);
    const size_t wakes = rx.size() - exchange.size();
    EXPECT_TRUE(wakes == 3 || wakes == 4) << Joined(rx);
    for (size_t i = 0; i < wakes; ++i)
        EXPECT_EQ(rx[i], command("80")) << i;
    EXPECT_EQ(std::vector<std::string>(rx.begin() + static_cast<std::ptrdiff_t>(wakes), rx.end()), exchange);
}
