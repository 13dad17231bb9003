#pragma once
// Platform-free part of the device client: command line, exit codes and the
// text of the directory listing.
#include <cstdint>
#include <string>
#include <vector>

namespace ostrelclient {

enum class TCommand { Help, List, Csv, Svg };

struct TOptions {
    TCommand Command = TCommand::Help;
    int Port = 1;                 // 1..4
    bool HasInspection = false;   // else the highest index in the directory
    uint32_t Inspection = 0;      // 0..65534
    std::string Out;              // UTF-8 path; empty: standard output
    char Separator = ',';
    unsigned Width = 1200;
    unsigned LaneHeight = 90;
};

// Exit codes of the program (also listed by --help).
enum TExitCode : int {
    kExitOk = 0,
    kExitUsage = 1,        // bad command line
    kExitServer = 2,       // OstrelCom.Comm not registered or not loadable
    kExitPort = 3,         // the COM port cannot be opened (missing or in use)
    kExitDevice = 4,       // no device answers, or its directory arrived damaged
    kExitNoInspection = 5, // no such inspection (or nothing stored)
    kExitTransfer = 6,     // the inspection's transfer failed
    kExitOutput = 7,       // the output file cannot be written
};

extern const char kUsage[];

// Parses the arguments after the program name.  Returns an empty string on
// success, else a message for the user (the options are then unspecified).
std::string ParseArgs(const std::vector<std::string>& args, TOptions& options);

struct TDirectoryEntry {
    uint32_t Index;
    uint32_t Size;  // bytes, as GetInspectionSize reports them
};
struct TDirectoryView {
    int Port = 1;
    uint32_t MaxIndex = 0;
    uint32_t MinIndex = 0;
    std::vector<TDirectoryEntry> Entries;  // indexes with a non-zero size, ascending
};

// Why the port cannot be opened, from the system error code of the open.
std::string PortOpenProblem(int port, unsigned long error);

// The listing printed by the "list" command.
std::string FormatList(const TDirectoryView& view);

}  // namespace ostrelclient
