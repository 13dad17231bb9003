// Command line of the device client and the text of its directory listing.
#include <gtest/gtest.h>

#include "ClientCommand.h"

using namespace ostrelclient;

namespace {
std::vector<std::string> Split(const std::string& line) {
    std::vector<std::string> v;
    size_t p = 0;
    while (p < line.size()) {
        const size_t e = line.find(' ', p);
        v.push_back(line.substr(p, e == std::string::npos ? std::string::npos : e - p));
        if (e == std::string::npos) break;
        p = e + 1;
    }
    return v;
}
}  // namespace

TEST(Command, AcceptedLines) {
    struct TRow {
        const char* Line;
        TCommand Command;
        int Port;
        bool HasInspection;
        uint32_t Inspection;
        const char* Out;
        char Separator;
        unsigned Width, Lane;
    } rows[] = {
        {"--help", TCommand::Help, 1, false, 0, "", ',', 1200, 90},
        {"list", TCommand::List, 1, false, 0, "", ',', 1200, 90},
        {"list --port 4", TCommand::List, 4, false, 0, "", ',', 1200, 90},
        {"list -p COM3", TCommand::List, 3, false, 0, "", ',', 1200, 90},
        {"list -p com2", TCommand::List, 2, false, 0, "", ',', 1200, 90},
        {"csv", TCommand::Csv, 1, false, 0, "", ',', 1200, 90},
        {"csv -i 0", TCommand::Csv, 1, true, 0, "", ',', 1200, 90},
        {"csv --inspection 65534 --out a.csv --semicolon", TCommand::Csv, 1, true, 65534, "a.csv", ';', 1200, 90},
        {"svg -p 2 -i 7 -o x.svg --width 180 --lane-height 22", TCommand::Svg, 2, true, 7, "x.svg", ',', 180, 22},
        {"svg --width 20000 --lane-height 1000", TCommand::Svg, 1, false, 0, "", ',', 20000, 1000},
        {"svg -i 5 --help", TCommand::Help, 1, false, 0, "", ',', 1200, 90},
    };
    for (const TRow& r : rows) {
        SCOPED_TRACE(r.Line);
        TOptions o;
        o.Port = 99;
        o.Out = "<sentinel>";
        ASSERT_EQ(ParseArgs(Split(r.Line), o), "");
        EXPECT_EQ(o.Command, r.Command);
        if (r.Command == TCommand::Help) continue;
        EXPECT_EQ(o.Port, r.Port);
        EXPECT_EQ(o.HasInspection, r.HasInspection);
        EXPECT_EQ(o.Inspection, r.Inspection);
        EXPECT_EQ(o.Out, r.Out);
        EXPECT_EQ(o.Separator, r.Separator);
        EXPECT_EQ(o.Width, r.Width);
        EXPECT_EQ(o.LaneHeight, r.Lane);
    }
}

TEST(Command, RejectedLinesSayWhy) {
    struct TRow {
        std::vector<std::string> Args;
        const char* Message;
    } rows[] = {
        {{}, "no command given"},
        {{"read"}, "unknown command \"read\""},
        {{"list", "--port"}, "option --port needs a value"},
        {{"list", "--port", "0"}, "bad port \"0\""},
        {{"list", "--port", "5"}, "bad port \"5\""},
        {{"list", "--port", "-1"}, "bad port \"-1\""},
        {{"list", "--port", "COM"}, "bad port \"COM\""},
        {{"list", "--port", "COM12"}, "bad port \"COM12\""},
        {{"list", "--port", " 1"}, "bad port"},
        {{"list", "-i", "3"}, "does not apply to list"},
        {{"list", "--semicolon"}, "unknown option \"--semicolon\""},
        {{"svg", "--semicolon"}, "unknown option \"--semicolon\""},
        {{"csv", "-i", "65535"}, "bad inspection index \"65535\""},
        {{"csv", "-i", "-1"}, "bad inspection index"},
        {{"csv", "-i", "1e3"}, "bad inspection index"},
        {{"csv", "-i", "99999999999"}, "bad inspection index"},
        {{"csv", "-o", ""}, "empty output file name"},
        {{"csv", "--width", "500"}, "applies to svg only"},
        {{"svg", "--width", "179"}, "bad width"},
        {{"svg", "--width", "20001"}, "bad width"},
        {{"svg", "--lane-height", "21"}, "bad lane height"},
        {{"svg", "--lane-height", "1001"}, "bad lane height"},
        {{"svg", "extra"}, "unknown option \"extra\""},
    };
    for (const TRow& r : rows) {
        std::string line;
        for (const auto& a : r.Args) line += "[" + a + "]";
        SCOPED_TRACE(line);
        TOptions o;
        const std::string msg = ParseArgs(r.Args, o);
        EXPECT_NE(msg.find(r.Message), std::string::npos) << msg;
    }
}

TEST(Command, UsageListsEveryCommandAndExitCode) {
    const std::string u = kUsage;
    for (const char* s : {"list", "csv", "svg", "--port", "--inspection", "--out", "--semicolon", "--width",
                          "--lane-height", "regsvr32", "OstrelCom.dll"})
        EXPECT_NE(u.find(s), std::string::npos) << s;
    for (int code = kExitOk; code <= kExitOutput; ++code)
        EXPECT_NE(u.find("\n  " + std::to_string(code) + "  "), std::string::npos) << code;
}

TEST(List, ExactTextWithIntactOverwrittenAndStraySlots) {
    TDirectoryView v;
    v.Port = 3;
    v.MaxIndex = 12;
    v.MinIndex = 11;
    v.Entries = {{10, 18 * 9999}, {11, 18 * 29999}, {12, 18}, {40, 1782}};
    EXPECT_EQ(FormatList(v),
              "Device on COM3\n"
              "Highest index:       12\n"
              "Lowest intact index: 11\n"
              "Index  Records     Bytes  State\n"
              "   10     9999    179982  may be overwritten\n"
              "   11    29999    539982  intact\n"
              "   12        1        18  intact\n"
              "   40       99      1782  after an empty slot\n"
              "Inspections with data: 4\n");
}

TEST(List, EmptyDirectory) {
    TDirectoryView v;
    v.Port = 1;
    EXPECT_EQ(FormatList(v), "Device on COM1\nNo inspections stored.\n");
    // Slots only after an empty first slot: no range, but listed.
    v.Entries = {{5, 36}};
    EXPECT_EQ(FormatList(v),
              "Device on COM1\n"
              "Highest index:       0\n"
              "Lowest intact index: 0\n"
              "Index  Records     Bytes  State\n"
              "    5        2        36  after an empty slot\n"
              "Inspections with data: 1\n");
}

TEST(PortProblem, TextsPerSystemError) {
    struct TRow {
        unsigned long Error;
        const char* Text;
    } rows[] = {
        {2, "COM2 does not exist on this computer"},
        {3, "COM2 does not exist on this computer"},
        {5, "COM2 is in use by another program"},
        {32, "COM2 is in use by another program"},
        {87, "COM2 cannot be opened (system error 87)"},
    };
    for (const TRow& r : rows) EXPECT_EQ(PortOpenProblem(2, r.Error), r.Text) << "error " << r.Error;
}
