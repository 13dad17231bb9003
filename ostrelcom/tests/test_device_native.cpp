// The fault matrix of the Wine test, run natively (sanitizers on) through
// the platform-free exchange logic against the simulator's device model, and
// the exclusive use of a port by one object.
#include <gtest/gtest.h>

#include <algorithm>

#include "DeviceRows.h"
#include "SimPort.h"
#include "ostrelcom/Inspections.h"

using namespace devicerows;
using ostrel::TInspections;
using ostrel::test::TBench;
using ostrel::test::TSimPort;

namespace {
constexpr uint8_t kSentinel = 0xCD;
constexpr size_t kGuard = 64;

// Puts a row's scenario on its port and an ordinary device on the other one.
void Prepare(TBench& bench, const TRow& row, int sim)
{
    for (int p : {1, 2}) {
        const std::string name = "COM" + std::to_string(p);
        const std::string scenario = p == sim ? row.scenario : "";
        if (scenario.find("unplugged=1") != std::string::npos)
            bench.Unplug(name);
        else
            bench.Plug(name, scenario);
    }
}
}  // namespace

class NativeFaultMatrix : public ::testing::TestWithParam<TRow> {};

TEST_P(NativeFaultMatrix, Row)
{
    const TRow& row = GetParam();
    TBench bench;
    const int sim = row.port == 2 ? 2 : 1;
    const std::string name = "COM" + std::to_string(sim), other = sim == 1 ? "COM2" : "COM1";
    Prepare(bench, row, sim);
    TSimPort port(bench);
    TInspections t(port);

    EXPECT_EQ(t.ReadOstrelInfo(row.port), row.info);
    const auto infoLog = bench.Log(name);
    EXPECT_EQ(Errors(infoLog), "") << Joined(infoLog);
    if (row.queries >= 0) {
        EXPECT_EQ(Count(infoLog, "query"), row.queries);
    }
    if (row.writes >= 0) {
        EXPECT_EQ(Count(infoLog, "write"), row.writes);
    }
    if (std::string(row.scenario).find("unplugged") == std::string::npos) {
        EXPECT_EQ(Count(infoLog, "wake"), 4);
        EXPECT_EQ(port.line, "115200 800");
    }
    EXPECT_TRUE(bench.Log(other).empty()) << "traffic on the other port";
    EXPECT_EQ(t.GetMaxIndex(), row.max);
    EXPECT_EQ(t.GetMinIndex(), row.min);
    if (row.index == -1)
        return;

    EXPECT_EQ(t.GetInspectionSize(row.index), row.size);
    bench.Log(name).clear();
    const size_t bytes = static_cast<size_t>(static_cast<int64_t>(row.size) + row.bufferDelta);
    std::vector<uint8_t> buf(bytes + kGuard, kSentinel);
    EXPECT_EQ(t.GetInspectionData(row.index, buf.data(), static_cast<uint32_t>(bytes)), row.data);
    const auto dataLog = bench.Log(name);
    EXPECT_EQ(Errors(dataLog), "") << Joined(dataLog);
    if (row.reads) {
        EXPECT_EQ(Reads(dataLog), row.reads);
    } else {
        EXPECT_EQ(Count(dataLog, "read"), ChunkCount(row.start, row.size / 18));
    }
    EXPECT_EQ(std::count(buf.begin() + static_cast<std::ptrdiff_t>(bytes), buf.end(), kSentinel), int(kGuard));
    if (row.reads && row.reads[0] == 0) {
        EXPECT_EQ(std::count(buf.begin(), buf.end(), kSentinel), int(buf.size())) << "buffer written without a transfer";
    }
    if (row.data == kOk) {
        ASSERT_EQ(row.size % 18, 0u);
        EXPECT_EQ(Compare(buf, row.start, row.size / 18, row.seed), "");
    }
    if (row.restored && (!row.reads || row.reads[0] != 0)) {
        EXPECT_EQ(LastState(dataLog), "16-32") << "device not left in its previous range";
    }
}

INSTANTIATE_TEST_SUITE_P(Device, NativeFaultMatrix, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<TRow>& i) { return std::string(i.param.name); });

// A port serves one object at a time: a second object cannot open it and
// keeps its directory; the port is free again once the first object has
// moved to another port or is gone.
TEST(PortInUse, SecondObjectIsRefusedUntilTheFirstLetsGo)
{
    TBench bench;
    bench.Plug("COM1", "insp=1:0:101");
    bench.Plug("COM2", "seed=7 insp=5:2000:2101");
    TSimPort portA(bench), portB(bench);
    auto a = std::make_unique<TInspections>(portA);
    TInspections b(portB);
    ASSERT_EQ(a->ReadOstrelInfo(1), kOk);
    ASSERT_EQ(b.ReadOstrelInfo(2), kOk);
    EXPECT_EQ(b.GetMaxIndex(), 5u);

    bench.Log("COM1").clear();
    EXPECT_EQ(b.ReadOstrelInfo(1), kFalse);  // COM1 is held by a; b gave COM2 up first
    EXPECT_FALSE(bench.Held("COM2"));
    EXPECT_EQ(b.GetMaxIndex(), 5u) << "directory kept";
    std::vector<uint8_t> buf(1800, kSentinel);
    EXPECT_EQ(b.GetInspectionData(5, buf.data(), 1800), kFalse);
    EXPECT_EQ(std::count(buf.begin(), buf.end(), kSentinel), 1800);
    EXPECT_TRUE(bench.Log("COM1").empty()) << "b talked on a's port";

    // a is still served on its port.
    EXPECT_EQ(a->GetInspectionData(1, buf.data(), 1800), kOk);
    EXPECT_EQ(Compare(buf, 0, 100, 1), "");

    // a moves to COM2: COM1 becomes free for b.
    ASSERT_EQ(a->ReadOstrelInfo(2), kOk);
    EXPECT_EQ(b.ReadOstrelInfo(1), kOk);
    EXPECT_EQ(b.GetMaxIndex(), 1u);
    // a is released: COM2 is free again.
    a.reset();
    EXPECT_FALSE(bench.Held("COM2"));
    TSimPort portC(bench);
    TInspections c(portC);
    EXPECT_EQ(c.ReadOstrelInfo(2), kOk);
    EXPECT_EQ(c.GetMaxIndex(), 5u);
}

TEST(PortInUse, FailedOpenLeavesNothingHeld)
{
    TBench bench;
    TSimPort port(bench);
    TInspections t(port);
    EXPECT_EQ(t.ReadOstrelInfo(3), kFalse);  // nothing plugged into COM3
    EXPECT_FALSE(t.Link().IsOpen());
    bench.Plug("COM3", "");
    EXPECT_EQ(t.ReadOstrelInfo(3), kOk);
    EXPECT_TRUE(bench.Held("COM3"));
}
