#include <gtest/gtest.h>

#include "FakePort.h"

using namespace ostrel;
using namespace ostrel::test;

namespace {
int Count(const std::vector<std::string>& v, const std::string& s) { return int(std::count(v.begin(), v.end(), s)); }
}

TEST(Frames, CommandFrameAndChecksum) {
    const TFrame c = CommandFrame(0x84);
    EXPECT_EQ(c[0], 0xAA);
    EXPECT_EQ(c[1], 0x55);
    for (size_t i = 2; i < 18; ++i) EXPECT_EQ(c[i], 0x84) << i;
    TFrame f{};
    for (size_t i = 0; i < 18; ++i) f[i] = uint8_t(0xF0 + i);
    unsigned sum = 0;
    for (size_t i = 2; i < 18; ++i) sum += f[i];
    EXPECT_EQ(FrameChecksum(f.data()), sum % 256);
}

TEST(Open, PortNumbersOutsideOneToFourOpenCom1) {
    for (int n : {0, 5, -1, 1}) {
        TFakePort port;
        CDeviceLink link(port);
        ASSERT_TRUE(link.Open(n)) << n;
        EXPECT_EQ(port.openedName, "COM1") << n;
    }
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(4));
    EXPECT_EQ(port.openedName, "COM4");
    EXPECT_EQ(port.calls, (std::vector<std::string>{"open", "setup100000", "purge", "timeouts1000",
                                                    "line115200/800", "rts", "purge"}));
}

TEST(Open, RefusedLineConfigurationClosesThePort) {
    TFakePort port;
    port.configureResult = false;
    CDeviceLink link(port);
    EXPECT_FALSE(link.Open(2));
    EXPECT_FALSE(link.IsOpen());
    EXPECT_EQ(port.calls.back(), "close");
    port.calls.clear();
    link.Close();
    EXPECT_TRUE(port.calls.empty());
}

TEST(Open, DestructionReleasesThePort) {
    TFakePort port;
    {
        CDeviceLink link(port);
        ASSERT_TRUE(link.Open(3));
    }
    EXPECT_EQ(port.calls.back(), "close");
}

TEST(Query, FourAttemptsThenFailureWithoutStateWrite) {
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(1));
    port.strict = false;
    port.written.clear();
    uint8_t dir[512];
    EXPECT_FALSE(link.ReadDirectory(dir));
    EXPECT_EQ(port.written.size(), 4u);  // four 0x82 commands, nothing else
    for (auto& w : port.written) EXPECT_EQ(w[2], 0x82);
}

TEST(Query, ArbitraryTagAcceptedWrongChecksumRejected) {
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(1));
    TFrame f = StateFrame(1, 2);
    f[0] = 0xEE;
    port.reads = {Bytes(f), Bytes(StateFrame(1, 2, 0x5A, false))};
    TFrame out{};
    EXPECT_TRUE(link.QueryState(out));
    EXPECT_FALSE(link.QueryState(out));
}

TEST(WriteState, ConfirmationComparesBytes14To17Only) {
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(1));
    TFrame s = StateFrame(100, 200, 0x11);
    port.reads = {Bytes(StateFrame(100, 200, 0x99))};  // settings differ: still confirmed
    EXPECT_TRUE(link.WriteState(s));
    EXPECT_EQ(s[0], 0);
    EXPECT_EQ(s[1], FrameChecksum(s.data()));
    ASSERT_GE(port.written.size(), 4u);
    auto n = port.written.size();
    EXPECT_EQ(port.written[n - 4].size(), 18u);
    EXPECT_EQ(port.written[n - 3], Bytes(s));
    EXPECT_EQ(port.written[n - 2], (std::vector<uint8_t>{0xAA, 0x55, 0x88, 0x88, 0x88, 0x88}));
    for (int b = 14; b < 18; ++b) {
        TFrame r = StateFrame(100, 200);
        r[b] ^= 1;
        r[1] = FrameChecksum(r.data());
        port.reads = {Bytes(r)};
        TFrame t = StateFrame(100, 200);
        EXPECT_FALSE(link.WriteState(t)) << "byte " << b;
    }
}

TEST(WriteState, FourWritesThenSixteenRestores) {
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(1));
    port.calls.clear();
    port.reads.push_back(Bytes(StateFrame(7, 9)));  // first query
    for (int i = 0; i < 20; ++i) port.reads.push_back(Bytes(StateFrame(1, 1)));  // confirms neither range
    uint8_t dir[512];
    EXPECT_FALSE(link.ReadDirectory(dir));
    EXPECT_TRUE(port.reads.empty());
    EXPECT_EQ(Count(port.calls, "write6"), 20);
    EXPECT_EQ(Count(port.calls, "read18"), 21);
}

TEST(Restore, FailedReceiveRestoresTheFirstReply) {
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(1));
    port.written.clear();
    const TFrame first = StateFrame(5, 6, 0x33);
    port.reads = {Bytes(first), Bytes(StateFrame(kDirectoryStart, kDirectoryEnd)), std::vector<uint8_t>(100, 0),
                  Bytes(first)};
    uint8_t dir[512];
    EXPECT_FALSE(link.ReadDirectory(dir));
    // Last state frame written carries the first reply's range and settings.
    TFrame expect = first;
    expect[0] = 0;
    expect[1] = FrameChecksum(expect.data());
    const auto n = port.written.size();
    ASSERT_GE(n, 4u);
    EXPECT_EQ(port.written[n - 3], Bytes(expect));
    TFrame cmd = port.written[n - 7].size() == 18 ? TFrame{} : TFrame{};
    (void)cmd;
}

namespace {
std::vector<uint8_t> DirectoryBytes(int badAt = -1, bool badSeq = false) {
    std::vector<uint8_t> out;
    for (int k = 0; k < 32; ++k) {
        std::vector<uint8_t> p(16, uint8_t(k));
        TFrame f = MakeFrame(uint8_t(k + 1 + (badSeq && k == badAt ? 1 : 0)), p, !(k == badAt && !badSeq));
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}
void ScriptExchange(TFakePort& port, uint16_t s, uint16_t e, std::vector<std::vector<uint8_t>> data) {
    port.reads.push_back(Bytes(StateFrame(1, 2)));
    port.reads.push_back(Bytes(StateFrame(s, e)));
    for (auto& d : data) port.reads.push_back(d);
    port.reads.push_back(Bytes(StateFrame(1, 2)));
}
}  // namespace

TEST(Directory, FullAndFailingRecords) {
    struct Row { const char* name; int badAt; bool badSeq; bool ok; int filled; std::vector<uint8_t> data; };
    auto Short = [](std::vector<uint8_t> v) { v.pop_back(); return v; };
    std::vector<Row> rows = {
        {"all good", -1, false, true, 32, DirectoryBytes()},
        {"checksum at 5", 5, false, false, 5, DirectoryBytes(5)},
        {"sequence at 0", 0, true, false, 0, DirectoryBytes(0, true)},
        {"sequence at 31", 31, true, false, 31, DirectoryBytes(31, true)},
        {"575 bytes", -1, false, false, 0, Short(DirectoryBytes())},
    };
    for (auto& row : rows) {
        TFakePort port;
        CDeviceLink link(port);
        ASSERT_TRUE(link.Open(1));
        ScriptExchange(port, kDirectoryStart, kDirectoryEnd, {row.data});
        uint8_t dir[512];
        std::memset(dir, 0xFF, sizeof dir);
        EXPECT_EQ(link.ReadDirectory(dir), row.ok) << row.name;
        for (int k = 0; k < 32; ++k)
            EXPECT_EQ(dir[k * 16], k < row.filled ? k : 0xFF) << row.name << " slot " << k;
        EXPECT_TRUE(port.reads.empty()) << row.name;
        EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "read576"), 1) << row.name;
    }
}

namespace {
std::vector<uint8_t> Records(int n, int firstValue, std::vector<int> corrupt = {}) {
    std::vector<uint8_t> out;
    for (int i = 0; i < n; ++i) {
        const uint16_t w = uint16_t(((firstValue + i) & 0xFFF) << 1);
        std::vector<uint8_t> p(16, 0);
        p[2] = w >> 8; p[3] = w & 0xFF;  // W1: plane 0
        const bool bad = std::find(corrupt.begin(), corrupt.end(), i) != corrupt.end();
        TFrame f = MakeFrame(0, p, !bad);
        out.insert(out.end(), f.begin(), f.end());
    }
    return out;
}
int16_t Plane(const std::vector<uint8_t>& buf, uint32_t count, int p, uint32_t r) {
    return int16_t(buf[2 * (count * p + r)] | buf[2 * (count * p + r) + 1] << 8);
}
}  // namespace

TEST(Range, ReadSizesAndShortReadYieldsFiveRecords) {
    auto recs = Records(21, 0);
    struct Row { const char* name; std::vector<size_t> cuts; std::vector<std::string> reads; };
    std::vector<Row> rows = {{"short first read", {100, 90 + 288}, {"read288", "read288"}},
                             {"full then remainder", {288, 378}, {"read288", "read90"}}};
    for (auto& row : rows) {
        TFakePort port;
        CDeviceLink link(port);
        ASSERT_TRUE(link.Open(1));
        std::vector<std::vector<uint8_t>> data;
        size_t from = 0;
        for (size_t cut : row.cuts) { data.emplace_back(recs.begin() + from, recs.begin() + cut); from = cut == 100 ? 90 : cut; }
        ScriptExchange(port, 10, 31, data);
        std::vector<uint8_t> buf(18 * 21, 0xCC);
        EXPECT_TRUE(link.ReadRange(10, 31, TPlanes{buf.data(), 21}, 0)) << row.name;
        std::vector<std::string> reads;
        for (auto& c : port.calls) if (c.rfind("read", 0) == 0 && c != "read18") reads.push_back(c);
        EXPECT_EQ(reads, row.reads) << row.name;
        for (uint32_t r = 0; r < 21; ++r) EXPECT_EQ(Plane(buf, 21, 0, r), int(r)) << row.name << " " << r;
    }
}

TEST(Range, DropRule) {
    struct Row { const char* name; std::vector<int> corrupt; int sent; bool ok; };
    std::vector<Row> rows = {
        {"three bad in a row, extra records sent", {2, 3, 4}, 13, true},
        {"four bad in a row", {2, 3, 4, 5}, 14, false},
        {"bad counter resets", {1, 2, 3, 5, 6, 7}, 16, true},
        {"one bad, exactly count sent", {4}, 10, false},
    };
    for (auto& row : rows) {
        TFakePort port;
        CDeviceLink link(port);
        ASSERT_TRUE(link.Open(1));
        port.strict = false;
        auto bytes = Records(row.sent, 0, row.corrupt);
        ScriptExchange(port, 0, 10, {});
        auto restore = port.reads.back();
        port.reads.pop_back();
        port.reads.push_back(std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::min<size_t>(bytes.size(), 180)));
        if (bytes.size() > 180) port.reads.push_back(std::vector<uint8_t>(bytes.begin() + 180, bytes.begin() + std::min<size_t>(bytes.size(), 180 + 180)));
        else port.reads.push_back({});  // the device has nothing more: read times out empty
        port.reads.push_back(restore);
        port.strict = false;
        std::vector<uint8_t> buf(180, 0);
        EXPECT_EQ(link.ReadRange(0, 10, TPlanes{buf.data(), 10}, 0), row.ok) << row.name;
        if (row.ok) {
            int v = 0;
            for (uint32_t r = 0; r < 10; ++r, ++v) {
                while (std::find(row.corrupt.begin(), row.corrupt.end(), v) != row.corrupt.end()) ++v;
                EXPECT_EQ(Plane(buf, 10, 0, r), v) << row.name << " record " << r;
            }
        }
    }
}

// A receive that failed leaves the line unsettled: the device may stream on
// behind the host's purge.  The next exchange reads until the line is quiet
// before it trusts a state reply.  Rows: what arrives late.
TEST(Range, LateBytesAfterAFailureAreReadOffBeforeTheNextExchange) {
    struct Row { const char* name; std::vector<std::vector<uint8_t>> late; };
    const auto recs = Records(1, 100);
    std::vector<Row> rows = {
        {"rest of the stream", {Records(1, 3), Records(1, 4), Records(1, 5)}},
        {"a reply to an earlier write", {Bytes(StateFrame(0, 10))}},
        {"half a record", {std::vector<uint8_t>(recs.begin(), recs.begin() + 9)}},
    };
    for (auto& row : rows) {
        TFakePort port;
        CDeviceLink link(port);
        ASSERT_TRUE(link.Open(1));
        std::vector<uint8_t> buf(180, 0xCC);
        // First exchange: the device stops answering in the middle of the range.
        ScriptExchange(port, 0, 10, {std::vector<uint8_t>(Records(3, 0)), {}});
        EXPECT_FALSE(link.ReadRange(0, 10, TPlanes{buf.data(), 10}, 0)) << row.name;
        EXPECT_TRUE(link.LineUnsettled()) << row.name;
        ASSERT_TRUE(port.reads.empty()) << row.name;
        // Second exchange: the late bytes, one read that brings nothing, then
        // the exchange as usual.
        port.calls.clear();
        for (auto& l : row.late) port.reads.push_back(l);
        port.reads.push_back({});
        ScriptExchange(port, 0, 10, {Records(10, 0)});
        EXPECT_TRUE(link.ReadRange(0, 10, TPlanes{buf.data(), 10}, 0)) << row.name;
        EXPECT_TRUE(port.reads.empty()) << row.name;
        for (uint32_t r = 0; r < 10; ++r) EXPECT_EQ(Plane(buf, 10, 0, r), int(r)) << row.name << " record " << r;
        // Purge, the reads of the settling, then the state query.
        std::vector<std::string> head(port.calls.begin(), port.calls.begin() + 1 + row.late.size() + 2);
        std::vector<std::string> expect{"purge"};
        for (size_t i = 0; i <= row.late.size(); ++i) expect.push_back("read18");
        expect.push_back("write18");
        EXPECT_EQ(head, expect) << row.name;
        EXPECT_FALSE(link.LineUnsettled()) << row.name;
    }
}

// A device that streams without end after a failed receive: the line never
// goes quiet, no reply is trusted, the next exchange fails without writing a
// state or sending the read command.
TEST(Range, ALineThatNeverGoesQuietFailsTheNextExchangeUntouched) {
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(1));
    std::vector<uint8_t> buf(180, 0xCC);
    ScriptExchange(port, 0, 10, {{}});  // the receive gets nothing: fails
    EXPECT_FALSE(link.ReadRange(0, 10, TPlanes{buf.data(), 10}, 0));
    ASSERT_TRUE(port.reads.empty());
    port.strict = false;
    const size_t perSettle = kSettleLimit / kFrameSize + 1;
    for (size_t i = 0; i < 4 * perSettle; ++i) port.reads.push_back(Bytes(StateFrame(1, 2)));
    port.written.clear();
    EXPECT_FALSE(link.ReadRange(0, 10, TPlanes{buf.data(), 10}, 0));
    EXPECT_TRUE(port.reads.empty()) << "four settling attempts, each to its limit";
    EXPECT_TRUE(port.written.empty()) << "no query, no state write, no read command";
    EXPECT_TRUE(link.LineUnsettled());
}

TEST(Range, EndBelowStartFailsWithoutTraffic) {
    TFakePort port;
    CDeviceLink link(port);
    ASSERT_TRUE(link.Open(1));
    port.calls.clear();
    std::vector<uint8_t> buf(18);
    EXPECT_FALSE(link.ReadRange(5, 4, TPlanes{buf.data(), 1}, 0));
    EXPECT_TRUE(port.calls.empty());
}

TEST(Decode, Examples) {
    struct Row { const char* name; std::vector<uint8_t> payload; std::vector<int16_t> planes; uint16_t status; };
    const std::vector<uint8_t> on(16, 0);
    std::vector<Row> rows;
    auto p = on; p[0] = 0x0F; p[1] = 0xFE;
    rows.push_back({"W0 2047", p, {0, 2047, 0, 0, 0, 0, 0, 0}, 0});
    p = on; p[0] = 0x10; p[1] = 0x00;
    rows.push_back({"W0 -2048", p, {0, -2048, 0, 0, 0, 0, 0, 0}, 0});
    p = on; p[0] = 0x3F; p[1] = 0xFE;
    rows.push_back({"W0 off", p, {0, 0, 0, 0, 0, 0, 0, 0}, 0x0002});
    p = on; p[0] = 0x40; p[1] = 0x10; p[2] = 0x20; p[4] = 0x00; p[5] = 0x22;
    rows.push_back({"record flag", p, {0, 0, 0, 0, 0, 0, 0, 0}, 0x0008 | 0x0001});
    p = std::vector<uint8_t>(16, 0);
    for (int k = 0; k < 8; ++k) p[2 * k] = 0x20;
    rows.push_back({"all off", p, {0, 0, 0, 0, 0, 0, 0, 0}, 0x03F3 | 0x0004});
    p = on;
    for (int k = 0; k < 8; ++k) { p[2 * k] = 0x80; p[2 * k + 1] = uint8_t(2 * (k + 1) + 1); }
    rows.push_back({"word order, bits 15 and 0 ignored", p, {2, 1, 8, 7, 6, 5, 4, 3}, 0});
    for (auto& row : rows) {
        std::vector<uint8_t> buf(18 * 3, 0xCC);
        DecodeRecord(row.payload.data(), TPlanes{buf.data(), 3}, 1);
        for (int pl = 0; pl < 8; ++pl) EXPECT_EQ(Plane(buf, 3, pl, 1), row.planes[pl]) << row.name << " plane " << pl;
        EXPECT_EQ(uint16_t(Plane(buf, 3, 8, 1)), row.status) << row.name;
        EXPECT_EQ(buf[0], 0xCC) << row.name;  // neighbours untouched
        EXPECT_EQ(buf[4], 0xCC) << row.name;
    }
}
