#include "ClientCommand.h"

#include <cstdio>
#include <cstdlib>

namespace ostrelclient {

const char kUsage[] =
    "ostrel-client: reads inspections from the measuring device through the\n"
    "OstrelCom.Comm server (OstrelCom.dll, registered with regsvr32).\n"
    "\n"
    "Usage:\n"
    "  ostrel-client list [--port N]\n"
    "      Reads the device's directory and prints the index range and the\n"
    "      size of every stored inspection.\n"
    "  ostrel-client csv [--port N] [--inspection I] [--out FILE] [--semicolon]\n"
    "      Writes one line per record: record number, the eight channel samples\n"
    "      ch0..ch7 (with the record word each comes from) and the status word.\n"
    "  ostrel-client svg [--port N] [--inspection I] [--out FILE]\n"
    "                    [--width PX] [--lane-height PX]\n"
    "      Draws the eight channels as stacked traces, each scaled to its own\n"
    "      range; channels switched off leave gaps.\n"
    "  ostrel-client --help\n"
    "\n"
    "Options:\n"
    "  --port N, -p N        serial port 1..4 or COM1..COM4 (default 1)\n"
    "  --inspection I, -i I  inspection index 0..65534 (default: the highest)\n"
    "  --out FILE, -o FILE   output file (default: standard output)\n"
    "  --semicolon           ';' between CSV fields instead of ','\n"
    "  --width PX            picture width, 180..20000 (default 1200)\n"
    "  --lane-height PX      height of one channel, 22..1000 (default 90)\n"
    "\n"
    "Exit codes:\n"
    "  0  done\n"
    "  1  bad command line\n"
    "  2  OstrelCom.Comm is not registered or cannot be loaded\n"
    "  3  the COM port cannot be opened (missing or used by another program)\n"
    "  4  no device answers on the port, or its directory arrived damaged\n"
    "  5  no such inspection on the device\n"
    "  6  the transfer of the inspection failed\n"
    "  7  the output file cannot be written\n";

namespace {

bool ParseNumber(const std::string& text, unsigned long lo, unsigned long hi, unsigned long& value) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    value = std::strtoul(text.c_str(), nullptr, 10);
    return value >= lo && value <= hi;
}

bool ParsePort(std::string text, int& port) {
    if (text.size() > 3 && (text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') &&
        (text[2] == 'M' || text[2] == 'm'))
        text.erase(0, 3);
    unsigned long v = 0;
    if (!ParseNumber(text, 1, 4, v)) return false;
    port = static_cast<int>(v);
    return true;
}

}  // namespace

std::string ParseArgs(const std::vector<std::string>& args, TOptions& o) {
    o = TOptions{};
    if (args.empty()) return "no command given (list, csv or svg); see --help";
    const std::string& cmd = args[0];
    if (cmd == "--help" || cmd == "-h" || cmd == "/?" || cmd == "help") {
        o.Command = TCommand::Help;
        return {};
    }
    if (cmd == "list") o.Command = TCommand::List;
    else if (cmd == "csv") o.Command = TCommand::Csv;
    else if (cmd == "svg") o.Command = TCommand::Svg;
    else return "unknown command \"" + cmd + "\" (list, csv or svg); see --help";

    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.Command = TCommand::Help;
            return {};
        }
        const bool takesValue = a == "--port" || a == "-p" || a == "--inspection" || a == "-i" || a == "--out" ||
                                a == "-o" || a == "--width" || a == "--lane-height";
        if (a == "--semicolon" && o.Command == TCommand::Csv) {
            o.Separator = ';';
            continue;
        }
        if (!takesValue) return "unknown option \"" + a + "\" for " + cmd + "; see --help";
        if (i + 1 >= args.size()) return "option " + a + " needs a value";
        const std::string& v = args[++i];
        unsigned long n = 0;
        if (a == "--port" || a == "-p") {
            if (!ParsePort(v, o.Port)) return "bad port \"" + v + "\": give 1 to 4 or COM1 to COM4";
        } else if (o.Command == TCommand::List) {
            return "option " + a + " does not apply to list";
        } else if (a == "--inspection" || a == "-i") {
            if (!ParseNumber(v, 0, 65534, n)) return "bad inspection index \"" + v + "\": give 0 to 65534";
            o.Inspection = static_cast<uint32_t>(n);
            o.HasInspection = true;
        } else if (a == "--out" || a == "-o") {
            if (v.empty()) return "empty output file name";
            o.Out = v;
        } else if (o.Command != TCommand::Svg) {
            return "option " + a + " applies to svg only";
        } else if (a == "--width") {
            if (!ParseNumber(v, 180, 20000, n)) return "bad width \"" + v + "\": give 180 to 20000 pixels";
            o.Width = static_cast<unsigned>(n);
        } else {
            if (!ParseNumber(v, 22, 1000, n)) return "bad lane height \"" + v + "\": give 22 to 1000 pixels";
            o.LaneHeight = static_cast<unsigned>(n);
        }
    }
    return {};
}

std::string PortOpenProblem(int port, unsigned long error) {
    // System error codes: file not found, path not found, access denied,
    // sharing violation.
    const std::string name = "COM" + std::to_string(port);
    switch (error) {
    case 2:
    case 3: return name + " does not exist on this computer";
    case 5:
    case 32: return name + " is in use by another program";
    default: return name + " cannot be opened (system error " + std::to_string(error) + ")";
    }
}

std::string FormatList(const TDirectoryView& view) {
    char line[128];
    std::string out;
    std::snprintf(line, sizeof line, "Device on COM%d\n", view.Port);
    out += line;
    if (view.MaxIndex == 0 && view.Entries.empty()) {
        out += "No inspections stored.\n";
        return out;
    }
    std::snprintf(line, sizeof line, "Highest index:       %lu\nLowest intact index: %lu\n",
                  static_cast<unsigned long>(view.MaxIndex), static_cast<unsigned long>(view.MinIndex));
    out += line;
    out += "Index  Records     Bytes  State\n";
    for (const TDirectoryEntry& e : view.Entries) {
        const char* state = e.Index > view.MaxIndex                           ? "after an empty slot"
                            : view.MinIndex == 0 || e.Index < view.MinIndex ? "may be overwritten"
                                                                             : "intact";
        std::snprintf(line, sizeof line, "%5lu  %7lu  %8lu  %s\n", static_cast<unsigned long>(e.Index),
                      static_cast<unsigned long>(e.Size / 18), static_cast<unsigned long>(e.Size),
                      state);
        out += line;
    }
    std::snprintf(line, sizeof line, "Inspections with data: %zu\n", view.Entries.size());
    out += line;
    return out;
}

}  // namespace ostrelclient
