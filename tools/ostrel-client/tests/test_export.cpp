// The planes of a transfer, their CSV table and their SVG plot.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "InspectionExport.h"
#include "XmlCheck.h"

using namespace ostrelclient;

namespace {

struct TRecord {
    std::array<int16_t, 8> Samples;
    uint16_t Status;
};

// The buffer GetInspectionData fills: nine planes of little-endian words.
std::vector<uint8_t> Buffer(const std::vector<TRecord>& records) {
    const size_t n = records.size();
    std::vector<uint8_t> b(18 * n, 0xEE);
    auto put = [&](unsigned plane, size_t r, uint16_t v) {
        b[2 * n * plane + 2 * r] = static_cast<uint8_t>(v & 0xFF);
        b[2 * n * plane + 2 * r + 1] = static_cast<uint8_t>(v >> 8);
    };
    for (size_t r = 0; r < n; ++r) {
        for (unsigned p = 0; p < 8; ++p) put(p, r, static_cast<uint16_t>(records[r].Samples[p]));
        put(8, r, records[r].Status);
    }
    return b;
}

TInspection Make(const std::vector<TRecord>& records) {
    TInspection insp;
    const std::vector<uint8_t> b = Buffer(records);
    EXPECT_TRUE(insp.Assign(b.data(), b.size()));
    return insp;
}

// The same samples in every channel.
std::vector<TRecord> Ramp(size_t n, int16_t (*f)(size_t)) {
    std::vector<TRecord> v(n);
    for (size_t r = 0; r < n; ++r) {
        v[r].Samples.fill(f(r));
        v[r].Status = 0;
    }
    return v;
}

struct TPoint {
    double X, Y;
};
using TStroke = std::vector<TPoint>;

// A path's d attribute as strokes ("M x y L x y ..."); fails the test on
// anything else.
std::vector<TStroke> Strokes(const std::string& d) {
    std::vector<TStroke> out;
    std::istringstream in(d);
    std::string cmd;
    while (in >> cmd) {
        const char c = cmd[0];
        double x = 0, y = 0;
        if (cmd.size() > 1) x = std::strtod(cmd.c_str() + 1, nullptr);
        else in >> x;
        in >> y;
        if (c == 'M') out.emplace_back();
        else EXPECT_EQ(c, 'L') << d;
        if (out.empty()) {
            ADD_FAILURE() << "path does not start with M: " << d;
            return out;
        }
        out.back().push_back({x, y});
    }
    return out;
}

struct TSvg {
    std::vector<xmlcheck::TElement> Elements;
    std::vector<const xmlcheck::TElement*> Named(const std::string& name) const {
        std::vector<const xmlcheck::TElement*> v;
        for (const auto& e : Elements)
            if (e.Name == name) v.push_back(&e);
        return v;
    }
    // The d attribute of the trace in the lane of a channel; "" when the lane has none.
    std::string PathOf(const std::string& channel) const {
        bool inLane = false;
        for (const auto& e : Elements) {
            if (e.Name == "g") inLane = e.Attrs.count("id") && e.Attrs.at("id") == channel;
            else if (inLane && e.Name == "path") return e.Attrs.at("d");
        }
        return "";
    }
    bool HasText(const std::string& text) const {
        for (const auto& e : Elements)
            if (e.Name == "text" && e.Text == text) return true;
        return false;
    }
};

TSvg Parse(const std::string& svg) {
    TSvg s;
    const std::string error = xmlcheck::Check(svg, s.Elements);
    EXPECT_EQ(error, "") << svg.substr(0, 400);
    return s;
}

// Lane geometry of the default options.
constexpr double kLane = 90, kTop = 40, kPad = 6;
double LaneTop(unsigned ch) { return kTop + ch * kLane; }
constexpr double kPlotLeft = 150, kPlotRight = 1200 - 20;

}  // namespace

TEST(Inspection, AssignReadsNinePlanesOfLittleEndianWords) {
    const std::vector<uint8_t> b = Buffer({{{1, -2, 3, -4, 5, -6, 7, -2048}, 0x0000}, {{2047, 0, 0, 0, 0, 0, 0, -1}, 0x03F3}});
    // Plane 7 (ch7) starts at 2 * count * 7 = 28: -2048 is 00 F8.
    EXPECT_EQ(b[28], 0x00);
    EXPECT_EQ(b[29], 0xF8);
    TInspection insp;
    ASSERT_TRUE(insp.Assign(b.data(), b.size()));
    ASSERT_EQ(insp.Count(), 2u);
    const int16_t want0[8] = {1, -2, 3, -4, 5, -6, 7, -2048};
    for (unsigned p = 0; p < 8; ++p) EXPECT_EQ(insp.Sample(p, 0), want0[p]) << "channel " << p;
    EXPECT_EQ(insp.Sample(0, 1), 2047);
    EXPECT_EQ(insp.Sample(7, 1), -1);
    EXPECT_EQ(insp.Status(1), 0x03F3);
    for (unsigned p = 0; p < 8; ++p) EXPECT_TRUE(insp.Off(p, 1)) << "channel " << p;
    EXPECT_FALSE(insp.Off(0, 0));
}

TEST(Inspection, EachChannelHasItsOwnOffBit) {
    const uint16_t bits[8] = {0x0001, 0x0002, 0x0010, 0x0020, 0x0040, 0x0080, 0x0100, 0x0200};
    for (unsigned c = 0; c < 8; ++c) {
        const TInspection insp = Make({{{1, 1, 1, 1, 1, 1, 1, 1}, bits[c]}});
        for (unsigned p = 0; p < 8; ++p) EXPECT_EQ(insp.Off(p, 0), p == c) << "status bit of channel " << c << ", plane " << p;
    }
    // Neither the all-off bit nor the record flag marks a single channel off.
    const TInspection insp = Make({{{1, 1, 1, 1, 1, 1, 1, 1}, 0x000C}});
    for (unsigned p = 0; p < 8; ++p) EXPECT_FALSE(insp.Off(p, 0)) << p;
}

TEST(Inspection, AssignRejectsPartialRecordsAndReplacesEarlierContent) {
    TInspection insp = Make(Ramp(5, [](size_t r) { return int16_t(100 + r); }));
    ASSERT_EQ(insp.Count(), 5u);
    const std::vector<uint8_t> b = Buffer({{{7, 7, 7, 7, 7, 7, 7, 7}, 0}, {{9, 9, 9, 9, 9, 9, 9, 9}, 0x0001}});
    for (size_t bad : {size_t(1), size_t(17), size_t(19), size_t(35)}) {
        EXPECT_FALSE(insp.Assign(b.data(), bad)) << bad;
        EXPECT_EQ(insp.Count(), 5u) << "a rejected buffer keeps the old content, size " << bad;
    }
    ASSERT_TRUE(insp.Assign(b.data(), b.size()));
    ASSERT_EQ(insp.Count(), 2u);
    EXPECT_EQ(insp.Sample(3, 1), 9);
    EXPECT_EQ(insp.Status(1), 0x0001);
    EXPECT_TRUE(insp.Assign(nullptr, 0));
    EXPECT_EQ(insp.Count(), 0u);
    EXPECT_FALSE(insp.Assign(nullptr, 18));
}

TEST(Csv, ExactTextOfASmallSample) {
    const TInspection insp = Make({
        {{1, -2, 3, -4, 5, -6, 7, -2048}, 0x0000},
        {{10, 0, -10, 20, -20, 30, -30, 2047}, 0x0002},
        {{0, 0, 0, 0, 0, 0, 0, 0}, 0x03FF},
    });
    EXPECT_EQ(WriteCsv(insp),
              "record,ch0_W1,ch1_W0,ch2_W7,ch3_W6,ch4_W5,ch5_W4,ch6_W3,ch7_W2,status\r\n"
              "0,1,-2,3,-4,5,-6,7,-2048,0x0000\r\n"
              "1,10,0,-10,20,-20,30,-30,2047,0x0002\r\n"
              "2,0,0,0,0,0,0,0,0,0x03FF\r\n");
    const std::string semi = WriteCsv(insp, ';');
    EXPECT_EQ(semi.substr(0, semi.find("\r\n1;") + 2),
              "record;ch0_W1;ch1_W0;ch2_W7;ch3_W6;ch4_W5;ch5_W4;ch6_W3;ch7_W2;status\r\n"
              "0;1;-2;3;-4;5;-6;7;-2048;0x0000\r\n");
}

TEST(Csv, EmptyInspectionIsTheHeaderOnlyAndLongOnesNumberEveryRecord) {
    EXPECT_EQ(WriteCsv(TInspection{}), "record,ch0_W1,ch1_W0,ch2_W7,ch3_W6,ch4_W5,ch5_W4,ch6_W3,ch7_W2,status\r\n");
    const TInspection insp = Make(Ramp(1200, [](size_t r) { return int16_t(int(r % 4096) - 2048); }));
    const std::string csv = WriteCsv(insp);
    std::istringstream in(csv);
    std::string line;
    std::getline(in, line);
    for (uint32_t r = 0; r < 1200; ++r) {
        ASSERT_TRUE(std::getline(in, line)) << "record " << r;
        const std::string v = std::to_string(int(r % 4096) - 2048);
        EXPECT_EQ(line, std::to_string(r) + "," + v + "," + v + "," + v + "," + v + "," + v + "," + v + "," + v +
                            "," + v + ",0x0000\r")
            << "record " << r;
    }
    EXPECT_FALSE(std::getline(in, line));
}

TEST(Svg, WellFormedWithOneTracePerChannelAndAxisLabels) {
    const TInspection insp = Make(Ramp(100, [](size_t r) { return int16_t(r); }));
    TSvgOptions o;
    o.Title = "COM1, inspection 7: 100 records";
    const std::string svg = WriteSvg(insp, o);
    EXPECT_EQ(svg, WriteSvg(insp, o)) << "output must be deterministic";
    const TSvg s = Parse(svg);
    ASSERT_FALSE(s.Elements.empty());
    EXPECT_EQ(s.Elements[0].Name, "svg");
    EXPECT_EQ(s.Elements[0].Attrs.at("width"), "1200");
    EXPECT_EQ(s.Elements[0].Attrs.at("height"), "810");  // 40 + 8 * 90 + 50
    EXPECT_EQ(s.Named("path").size(), 8u);
    EXPECT_TRUE(s.HasText(o.Title));
    EXPECT_TRUE(s.HasText("record"));
    for (unsigned ch = 0; ch < 8; ++ch)
        EXPECT_TRUE(s.HasText(std::string(kChannels[ch].Name) + " (" + kChannels[ch].Word + ")")) << ch;
    // Tick labels at 0, 24, 49, 74, 99; value labels 99 and 0 in each lane.
    for (const char* t : {"0", "24", "49", "74", "99"}) EXPECT_TRUE(s.HasText(t)) << t;
    EXPECT_EQ(s.Named("text").size(), 1u + 8 * 3 + 5 + 2);
}

TEST(Svg, TraceScaledToTheLaneFromFirstToLastRecord) {
    // ch0 rises 0..99; every channel carries its own range.
    std::vector<TRecord> recs(100);
    for (size_t r = 0; r < 100; ++r) {
        for (unsigned p = 0; p < 8; ++p) recs[r].Samples[p] = int16_t(int(r) * int(p + 1) - 2048);
        recs[r].Status = 0;
    }
    const TSvg s = Parse(WriteSvg(Make(recs), {}));
    const auto paths = s.Named("path");
    ASSERT_EQ(paths.size(), 8u);
    for (unsigned ch = 0; ch < 8; ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        const auto strokes = Strokes(paths[ch]->Attrs.at("d"));
        ASSERT_EQ(strokes.size(), 1u);
        ASSERT_EQ(strokes[0].size(), 100u);
        EXPECT_DOUBLE_EQ(strokes[0].front().X, kPlotLeft);
        EXPECT_DOUBLE_EQ(strokes[0].back().X, kPlotRight);
        EXPECT_DOUBLE_EQ(strokes[0].front().Y, LaneTop(ch) + kLane - kPad);  // minimum at the bottom
        EXPECT_DOUBLE_EQ(strokes[0].back().Y, LaneTop(ch) + kPad);           // maximum at the top
        for (size_t i = 1; i < 100; ++i) {
            EXPECT_GT(strokes[0][i].X, strokes[0][i - 1].X) << i;
            EXPECT_LT(strokes[0][i].Y, strokes[0][i - 1].Y) << i;
        }
    }
}

TEST(Svg, FlatChannelAndSingleRecordSitInTheLaneMiddle) {
    std::vector<TRecord> recs = Ramp(50, [](size_t) { return int16_t(-5); });
    for (size_t r = 0; r < 50; ++r) recs[r].Samples[3] = int16_t(r % 2 ? 100 : -100);
    const TSvg s = Parse(WriteSvg(Make(recs), {}));
    const auto paths = s.Named("path");
    ASSERT_EQ(paths.size(), 8u);
    for (unsigned ch = 0; ch < 8; ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        const auto strokes = Strokes(paths[ch]->Attrs.at("d"));
        ASSERT_EQ(strokes.size(), 1u);
        for (const TPoint& p : strokes[0]) {
            if (ch == 3) EXPECT_TRUE(p.Y == LaneTop(ch) + kPad || p.Y == LaneTop(ch) + kLane - kPad) << p.Y;
            else EXPECT_DOUBLE_EQ(p.Y, LaneTop(ch) + kLane / 2);
        }
    }
    // Flat lanes show one value label only.
    EXPECT_TRUE(s.HasText("-5"));
    EXPECT_TRUE(s.HasText("100"));
    EXPECT_TRUE(s.HasText("-100"));

    // One record (minimum = maximum): a level line across the whole plot.
    const TSvg one = Parse(WriteSvg(Make({{{2047, -2048, 0, 1, 2, 3, 4, 5}, 0}}), {}));
    const auto onePaths = one.Named("path");
    ASSERT_EQ(onePaths.size(), 8u);
    for (unsigned ch = 0; ch < 8; ++ch) {
        const auto strokes = Strokes(onePaths[ch]->Attrs.at("d"));
        ASSERT_EQ(strokes.size(), 1u) << ch;
        ASSERT_EQ(strokes[0].size(), 2u) << ch;
        EXPECT_DOUBLE_EQ(strokes[0][0].X, kPlotLeft) << ch;
        EXPECT_DOUBLE_EQ(strokes[0][1].X, kPlotRight) << ch;
        EXPECT_DOUBLE_EQ(strokes[0][0].Y, LaneTop(ch) + kLane / 2) << ch;
        EXPECT_DOUBLE_EQ(strokes[0][1].Y, LaneTop(ch) + kLane / 2) << ch;
    }
    EXPECT_TRUE(one.HasText("0"));  // the single tick
}

TEST(Svg, EmptyInspectionHasNoTraces) {
    const TSvg s = Parse(WriteSvg(TInspection{}, {}));
    EXPECT_EQ(s.Named("path").size(), 0u);
    EXPECT_TRUE(s.HasText("no records"));
    EXPECT_EQ(s.Named("g").size(), 9u);  // eight lanes and the axis
}

TEST(Svg, ChannelsSwitchedOffLeaveGapsOrNoTrace) {
    std::vector<TRecord> recs = Ramp(30, [](size_t r) { return int16_t(r * 10); });
    for (size_t r = 0; r < 30; ++r) {
        recs[r].Status = 0x0010;                           // ch2 off throughout (value 0)
        if (r >= 10 && r < 15) recs[r].Status |= 0x0001;   // ch0 off for five records
        if (r == 20) recs[r].Status |= 0x0008;             // record flag: all channels zeroed
    }
    for (auto& r : recs) r.Samples[2] = 0;
    const TSvg s = Parse(WriteSvg(Make(recs), {}));
    const auto paths = s.Named("path");
    ASSERT_EQ(paths.size(), 7u);
    EXPECT_EQ(s.PathOf("ch2"), "") << "ch2 is off throughout";
    for (const char* ch : {"ch0", "ch1", "ch3", "ch4", "ch5", "ch6", "ch7"}) EXPECT_NE(s.PathOf(ch), "") << ch;
    EXPECT_TRUE(s.HasText("off in all records"));
    EXPECT_TRUE(s.HasText("off in 6 records"));  // ch0: five plus the flagged record
    EXPECT_TRUE(s.HasText("off in 1 record"));
    // ch0: strokes 0..9, 15..19, 21..29; the others 0..19, 21..29.
    const auto ch0 = Strokes(paths[0]->Attrs.at("d"));
    ASSERT_EQ(ch0.size(), 3u);
    EXPECT_EQ(ch0[0].size(), 10u);
    EXPECT_EQ(ch0[1].size(), 5u);
    EXPECT_EQ(ch0[2].size(), 9u);
    const auto ch1 = Strokes(paths[1]->Attrs.at("d"));
    ASSERT_EQ(ch1.size(), 2u);
    EXPECT_EQ(ch1[0].size(), 20u);
    EXPECT_EQ(ch1[1].size(), 9u);
    // The range of a lane comes from present records only: 0..290 in ch1.
    EXPECT_DOUBLE_EQ(ch1[0][0].Y, LaneTop(1) + kLane - kPad);
    EXPECT_DOUBLE_EQ(ch1[1].back().Y, LaneTop(1) + kPad);
}

TEST(Svg, LongInspectionsKeepTheEnvelopePerPixelColumn) {
    // 20000 records on a 1030-pixel plot; a single spike in the middle must survive.
    std::vector<TRecord> recs = Ramp(20000, [](size_t r) { return int16_t(r % 7); });
    recs[12345].Samples[5] = 2047;
    recs[777].Samples[5] = -2048;
    const TSvg s = Parse(WriteSvg(Make(recs), {}));
    const auto paths = s.Named("path");
    ASSERT_EQ(paths.size(), 8u);
    for (unsigned ch = 0; ch < 8; ++ch) {
        SCOPED_TRACE("channel " + std::to_string(ch));
        const auto strokes = Strokes(paths[ch]->Attrs.at("d"));
        ASSERT_EQ(strokes.size(), 1u);
        EXPECT_LE(strokes[0].size(), 2u * 1030);
        EXPECT_GE(strokes[0].size(), 1030u);
        double top = 1e9, bottom = -1e9;
        for (const TPoint& p : strokes[0]) {
            EXPECT_GE(p.X, kPlotLeft);
            EXPECT_LE(p.X, kPlotRight);
            top = std::min(top, p.Y);
            bottom = std::max(bottom, p.Y);
        }
        EXPECT_DOUBLE_EQ(top, LaneTop(ch) + kPad);
        EXPECT_DOUBLE_EQ(bottom, LaneTop(ch) + kLane - kPad);
    }
    EXPECT_TRUE(s.HasText("2047"));
    EXPECT_TRUE(s.HasText("-2048"));
    EXPECT_TRUE(s.HasText("19999"));
}

TEST(Svg, TitleIsEscapedAndSizesAreClamped) {
    TSvgOptions o;
    o.Title = "a<b & \"c\" 'd'>\x01";
    o.Width = 10;
    o.LaneHeight = 1;
    const std::string svg = WriteSvg(Make(Ramp(3, [](size_t r) { return int16_t(r); })), o);
    const TSvg s = Parse(svg);
    EXPECT_TRUE(s.HasText("a<b & \"c\" 'd'> "));
    ASSERT_FALSE(s.Elements.empty());
    EXPECT_EQ(s.Elements[0].Attrs.at("width"), std::to_string(kSvgMinWidth));
    EXPECT_EQ(s.Elements[0].Attrs.at("height"), std::to_string(kSvgTop + 8 * kSvgMinLane + kSvgBottom));
    EXPECT_EQ(s.Named("path").size(), 8u);
}

TEST(XmlCheck, RejectsMalformedDocuments) {
    // The checker itself must catch what it is there to catch.
    const char* bad[] = {
        "<a><b></a></b>", "<a x=\"1\" x=\"2\"/>", "<a>&bogus;</a>", "<a>x & y</a>", "<a x=1/>",
        "<a/><b/>",       "<a>",                  "<a x=\"<\"/>",    "<a\x01/>",      "<a>\x02</a>",
    };
    for (const char* doc : bad) {
        std::vector<xmlcheck::TElement> e;
        EXPECT_NE(xmlcheck::Check(doc, e), "") << doc;
    }
    std::vector<xmlcheck::TElement> e;
    EXPECT_EQ(xmlcheck::Check("<?xml version=\"1.0\"?>\n<a x='1'><b/>t&amp;u</a>\n", e), "");
    ASSERT_EQ(e.size(), 2u);
    EXPECT_EQ(e[0].Text, "t&u");
}
