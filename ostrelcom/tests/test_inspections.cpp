#include <gtest/gtest.h>

#include "FakePort.h"
#include "ostrelcom/Inspections.h"

using namespace ostrel;
using namespace ostrel::test;

namespace {
void SetSlot(TInspections& t, unsigned k, uint16_t index, uint16_t start, uint16_t end) {
    uint8_t* p = t.Directory() + 16 * k;
    p[0] = index & 0xFF; p[1] = index >> 8; p[2] = start & 0xFF; p[3] = start >> 8; p[4] = end & 0xFF; p[5] = end >> 8;
}
}  // namespace

TEST(Directory, FreshObjectReportsNothing) {
    TFakePort port;
    TInspections t(port);
    EXPECT_EQ(t.GetMaxIndex(), 0u);
    EXPECT_EQ(t.GetMinIndex(), 0u);
    for (int i : {0, 1, 100, 65534, 65535, -1}) EXPECT_EQ(t.GetInspectionSize(i), 0u) << i;
    uint8_t buf[18] = {};
    EXPECT_EQ(t.GetInspectionData(1, buf, sizeof buf), kResultFalse);
    EXPECT_TRUE(port.calls.empty());
}

TEST(Directory, MaxIndexStopsAtEmptySlotLookupDoesNot) {
    TFakePort port;
    TInspections t(port);
    SetSlot(t, 0, 7, 0, 10);
    SetSlot(t, 1, 8, 10, 20);
    SetSlot(t, 2, 9, 20, 30);
    SetSlot(t, 4, 40, 100, 200);
    EXPECT_EQ(t.GetMaxIndex(), 9u);
    EXPECT_EQ(t.GetInspectionSize(40), 1782u);
}

TEST(Directory, SizesOfSlots) {
    struct Row { const char* name; uint16_t start, end; uint32_t size; };
    std::vector<Row> rows = {{"100..200", 100, 200, 1782},   {"wraps 64000..300", 64000, 300, 14580},
                             {"64000..1", 64000, 1, 9198},    {"start in directory", 64600, 10, 0},
                             {"end in directory", 10, 64512, 0}, {"start 65535", 65535, 10, 0},
                             {"end 65535", 10, 65535, 0},     {"count 0", 50, 51, 0}, {"start 64511 end 0", 64511, 0, 0},
                             {"full ring", 5, 5, 18 * 64510}};
    for (auto& row : rows) {
        TFakePort port;
        TInspections t(port);
        SetSlot(t, 0, 3, row.start, row.end);
        EXPECT_EQ(t.GetInspectionSize(3), row.size) << row.name;
    }
}

TEST(Directory, MinIndexExamples) {
    struct Row { const char* name; uint16_t f10; uint32_t expect; };
    for (auto row : {Row{"overflow", 10000, 11}, Row{"exact fill", 4511, 10}}) {
        TFakePort port;
        TInspections t(port);
        SetSlot(t, 0, 12, 0, 30000);
        SetSlot(t, 1, 11, 30000, 60000);
        SetSlot(t, 2, 10, 60000, uint16_t((60000 + row.f10) % 64511));
        SetSlot(t, 3, 9, 100, 200);
        SetSlot(t, 4, 8, 200, 300);
        EXPECT_EQ(t.GetMinIndex(), row.expect) << row.name;
    }
    TFakePort port;
    TInspections t(port);
    SetSlot(t, 0, 3, 0, 10);
    SetSlot(t, 1, 2, 10, 20);
    EXPECT_EQ(t.GetMinIndex(), 1u);
}

namespace {
// Device model answering the exchanges of one inspection: each range read
// streams records whose plane-0 sample is its ring position modulo 2048.
class TRingPort : public TFakePort {
public:
    std::vector<std::pair<uint32_t, uint32_t>> ranges;
    int failChunk = -1, failTimes = 0;
    uint16_t rs = 0, re = 0;
    std::vector<uint8_t> pending;
    TRingPort() { strict = false; }
    uint32_t Write(const uint8_t* d, uint32_t n) override {
        TFakePort::Write(d, n);
        if (n == 18 && d[0] == 0xAA && d[2] == 0x82) {
            const TFrame f = StateFrame(rs, re);
            pending.assign(f.begin(), f.end());
        } else if (n == 18 && d[0] == 0) {
            rs = uint16_t(d[14] | d[15] << 8);
            re = uint16_t(d[16] | d[17] << 8);
        } else if (n == 18 && d[0] == 0xAA && d[2] == 0x84) {
            ranges.emplace_back(rs, re);
            pending.clear();
            const int chunk = int(ranges.size()) - 1;
            for (uint32_t pos = rs; pos < re; ++pos) {
                std::vector<uint8_t> p(16, 0);
                const uint16_t w = uint16_t((pos % 2048) << 1);
                p[2] = w >> 8; p[3] = w & 0xFF;
                const bool corrupt = chunk >= failChunk && chunk < failChunk + failTimes && pos == rs;
                TFrame f = MakeFrame(0, p, true);
                if (corrupt) { pending.insert(pending.end(), f.begin(), f.end()); break; }  // stops mid-chunk
                pending.insert(pending.end(), f.begin(), f.end());
            }
        }
        return n;
    }
    uint32_t Read(uint8_t* d, uint32_t n) override {
        calls.push_back("read" + std::to_string(n));
        const uint32_t k = std::min<uint32_t>(n, pending.size());
        if (k) std::memcpy(d, pending.data(), k);
        pending.erase(pending.begin(), pending.begin() + k);
        return k;
    }
    void Purge() override { TFakePort::Purge(); }
};

std::vector<std::pair<uint32_t, uint32_t>> DataRanges(const TRingPort& p) {
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (auto& r : p.ranges) out.push_back(r);
    return out;
}
}  // namespace

TEST(Data, RunsAndChunks) {
    using R = std::vector<std::pair<uint32_t, uint32_t>>;
    struct Row { const char* name; uint16_t start, end; R ranges; };
    std::vector<Row> rows = {
        {"one run", 100, 200, {{100, 199}}},
        {"1200 records", 0, 1201, {{0, 500}, {500, 1000}, {1000, 1200}}},
        {"wraps", 64000, 300, {{64000, 64500}, {64500, 64511}, {0, 299}}},
        {"ends at ring end", 64000, 1, {{64000, 64500}, {64500, 64511}}},
    };
    for (auto& row : rows) {
        TRingPort port;
        TInspections t(port);
        ASSERT_TRUE(t.Link().Open(1));
        SetSlot(t, 0, 5, row.start, row.end);
        const uint32_t size = t.GetInspectionSize(5);
        std::vector<uint8_t> buf(size, 0xCC);
        EXPECT_EQ(t.GetInspectionData(5, buf.data(), size), kResultOk) << row.name;
        EXPECT_EQ(DataRanges(port), row.ranges) << row.name;
        const uint32_t count = size / 18;
        for (uint32_t r = 0; r < count; ++r) {
            const uint32_t pos = (row.start + r) % 64511;
            const int16_t v = int16_t(buf[2 * r] | buf[2 * r + 1] << 8);
            int expect = int(pos % 2048);
            if (expect >= 2048) expect -= 4096;
            ASSERT_EQ(v, int16_t(expect >= 1024 * 2 ? expect : (expect & 0x800 ? expect - 4096 : expect))) << row.name << " " << r;
        }
    }
}

TEST(Data, ChunkRetries) {
    struct Row { const char* name; int times; int32_t result; size_t exchanges; };
    for (auto row : {Row{"fails twice then succeeds", 2, kResultOk, 5}, Row{"fails three times", 3, kResultFalse, 4}}) {
        TRingPort port;
        port.failChunk = 1;
        port.failTimes = row.times;
        TInspections t(port);
        ASSERT_TRUE(t.Link().Open(1));
        SetSlot(t, 0, 5, 0, 1201);
        std::vector<uint8_t> buf(t.GetInspectionSize(5), 0xCC);
        EXPECT_EQ(t.GetInspectionData(5, buf.data(), uint32_t(buf.size())), row.result) << row.name;
        EXPECT_EQ(port.ranges.size(), row.exchanges) << row.name;
        if (row.result != kResultOk) {
            // Records never received are zero, not stale memory.
            EXPECT_EQ(buf[2 * 1100], 0) << row.name;
            EXPECT_EQ(buf[2 * 1100 + 1], 0) << row.name;
        }
    }
}

TEST(Data, RefusalsWriteNothing) {
    TRingPort port;
    TInspections t(port);
    ASSERT_TRUE(t.Link().Open(1));
    SetSlot(t, 0, 5, 100, 200);
    SetSlot(t, 1, 6, 100, 101);
    SetSlot(t, 2, 7, 65535, 10);
    std::vector<uint8_t> buf(1782, 0xCC);
    EXPECT_EQ(t.GetInspectionData(5, buf.data(), 1781), kResultFalse);
    EXPECT_EQ(t.GetInspectionData(5, nullptr, 1782), kResultFalse);
    EXPECT_EQ(t.GetInspectionData(6, buf.data(), 1782), kResultFalse);
    EXPECT_EQ(t.GetInspectionData(7, buf.data(), 1782), kResultFalse);
    EXPECT_EQ(t.GetInspectionData(8, buf.data(), 1782), kResultFalse);
    EXPECT_EQ(t.GetInspectionData(65535, buf.data(), 1782), kResultFalse);
    EXPECT_TRUE(port.ranges.empty());
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0xCC), 1782);
}

TEST(ReadInfo, OpenFailureKeepsDirectory) {
    TFakePort port;
    port.openResult = false;
    TInspections t(port);
    SetSlot(t, 0, 4, 0, 10);
    EXPECT_EQ(t.ReadOstrelInfo(2), kResultFalse);  // port held by another object or program
    EXPECT_EQ(t.GetMaxIndex(), 4u);
    std::vector<uint8_t> buf(162, 0xCC);
    EXPECT_EQ(t.GetInspectionData(4, buf.data(), 162), kResultFalse);
    EXPECT_EQ(std::count(buf.begin(), buf.end(), 0xCC), 162);
}

TEST(ReadInfo, SecondCallClosesTheFirstPortAndSilentDeviceKeepsPortOpen) {
    TFakePort port;
    port.strict = false;  // silent device: every read brings nothing
    TInspections t(port);
    EXPECT_EQ(t.ReadOstrelInfo(1), kResultFalse);
    EXPECT_TRUE(t.Link().IsOpen());
    EXPECT_EQ(t.ReadOstrelInfo(2), kResultFalse);
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "close"), 1);
    EXPECT_EQ(port.openedName, "COM2");
    EXPECT_EQ(t.GetMaxIndex(), 0u);  // directory emptied before the failed read
}
