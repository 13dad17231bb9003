// Measuring-device simulator for the OstrelCom server, on a pseudo-terminal.
//
//   ostrelsim (--link PATH | --root ROOT --port N) [--pace] [--daemon]
//             [--idle SECONDS] [--scenario TEXT] [--trace]
//   ostrelsim --stop (--link PATH | --root ROOT --port N)
//
// Opens a pseudo-terminal pair and points the symbolic link PATH (a COM port
// link of a Wine prefix: ROOT/ports/COMn for --root/--port, n = 1..4) at its
// slave side, then plays the device on the master side: wake-up (0x80), state
// query (0x82), state write (0x88 + state frame + 6-byte tail) and the read of
// the current range (0x84), which streams one 18-byte record per position.
// Positions 0xFC00..0xFC1F are the 32 directory records (sequence bytes 1..32),
// ring positions 0..64510 hold the records of OstrelPattern.h (seed chosen by
// the scenario), so a client can check every decoded value.
//
// Files beside the link, for the link .../COM1: ostrelsim-COM1.ctl (scenario),
// ostrelsim-COM1.log (what the device received and did, one line per event),
// ostrelsim-COM1.pid (--daemon).  The .ctl file is read whenever frames
// arrive; when its text differs from the last one (or after SIGHUP) the device
// starts afresh with that scenario: initial state, asleep, fault counters
// reset.  "run=N" with a new N restarts the same scenario.  Scenario words:
//   seed=N               record pattern seed (1)
//   insp=I:S:E           next directory slot: index, start, end (repeatable;
//   slot=K:I:S:E         slot K explicitly; empty=1 for no inspections)
//                        default: 1:0:101, 2:101:1302, 3:64000:300
//   state=S:E            initial range of the state (16:32)
//   settings=HEX24       the 12 settings bytes of the state (313233...3C)
//   statetag=N           byte 0 of state replies (0x5A)
//   wake=0|1             commands answered only after a wake-up frame (1)
//   pace=0|1             send at the speed of a 115200 baud 8N1 line (--pace)
//   frames=1             log every frame received as "rx <hex>" as well
//   unplugged=1          the link is removed (opening the port fails) until
//                        a scenario without it; the .ctl file is also read
//                        every 20 ms while the line is quiet, and taken up
//                        then once it ends with a line end (a client waits
//                        for the "scenario" log line before it opens the port)
// Faults (T = how many times, a number or "all"; positional ones default to all):
//   silent=1 nowake=1    no answers at all / wake-up frames ignored
//   badstate=T           state replies with a wrong checksum
//   shortstate=T         state replies cut to 10 bytes
//   noconfirm=T          state writes ignored
//   wrongwrite=T         state writes applied with end + 1 (never confirmed)
//   restorefail=1        writes of the initial range applied with end + 1
//   dirseq=K[:T]         directory record K (0..31) with sequence byte K + 2
//   dirsum=K[:T]         directory record K with a wrong checksum
//   dirshort=N[:T]       only the first N directory records are sent
//   badrec=P:C[:T]       C corrupted copies of the record at P, then the good one
//   droprec=P[:T]        the record at P corrupted and not sent again
//   stopat=P[:T]         streaming stops before position P
//   extra=N              N records more than the range holds
// Log lines: "scenario ...", "line 115200 8N1 ixon=0 ixoff=0 crtscts=0" (the
// terminal settings the host has made, with the first frames after a new
// scenario, which sets the terminal to 9600 baud), "wake", "query S E" / "query corrupt" / "query short",
// "write S E applied|ignored|skewed|rejected", "read S E sent N [notes]",
// "torn write ..." (a state write without its tail, as a purge right after
// the write leaves it), and "ERROR ..." for every protocol violation by the
// host (bad frames, a state write with changed settings bytes, a tag other
// than 0, a wrong checksum).
// --trace appends the byte counts read and written, with their times, to
// the .trace file.  --daemon returns once the link is in place; --stop ends that process.  The
// simulator ends by itself after --idle seconds without traffic (600).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "PtyLink.h"
#include "SimDevice.h"

namespace {
using TClock = std::chrono::steady_clock;
constexpr auto kByteTime = std::chrono::nanoseconds(1000000000LL * 10 / 115200);  // 10 bits a byte

std::string Link, Files;
bool PaceDefault = false;
std::string ScenarioArg;
bool Trace = false;  // --trace: byte counts with times in the .trace file

void TraceLine(const char* what, long n)
{
    if (!Trace)
        return;
    static const auto start = std::chrono::steady_clock::now();
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
    std::ofstream(Files + ".trace", std::ios::app) << us / 1000 << "." << (us % 1000) / 100 << " ms " << what << " " << n << "\n";
}
volatile sig_atomic_t Quit = 0, Reload = 0;
void OnQuit(int) { Quit = 1; }
void OnHangUp(int) { Reload = 1; }

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void Log(const std::vector<std::string>& lines)
{
    if (lines.empty())
        return;
    std::ofstream out(Files + ".log", std::ios::app);
    for (const auto& l : lines)
        out << l << "\n";
}

int Usage()
{
    std::fprintf(stderr,
                 "usage: ostrelsim (--link PATH | --root ROOT --port N) [--pace] [--daemon] [--idle S] [--scenario TEXT]\n"
                 "       ostrelsim --stop (--link PATH | --root ROOT --port N)\n");
    return 2;
}

std::string OneLine(std::string s)
{
    for (char& c : s)
        if (c == '\n' || c == '\r' || c == '\t')
            c = ' ';
    return s;
}

// The device and the scenario text it was made from.
struct TCurrent {
    std::string text = "\x01";  // nothing read yet
    std::unique_ptr<ostrelsim::TDevice> device;
    bool paced = false;
    bool unplugged = false;
};

std::string SlaveName;
int Slave = -1;
bool LineLogged = false;

// A new scenario puts the terminal back to 9600 baud, so that the line
// settings logged with the first frames are those the host has just made.
void ResetLine()
{
    termios t{};
    if (::tcgetattr(Slave, &t) != 0)
        return;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
    ::tcsetattr(Slave, TCSANOW, &t);
    LineLogged = false;
}

// "line 115200 8N1 ixon=0 ixoff=0 crtscts=0" as the host has set the terminal.
std::string LineSettings()
{
    termios t{};
    if (::tcgetattr(Slave, &t) != 0)
        return "line unknown";
    const speed_t sp = ::cfgetospeed(&t);
    const char* speed = sp == B115200 ? "115200" : sp == B9600 ? "9600" : sp == B57600 ? "57600" : "other";
    const int bits = (t.c_cflag & CSIZE) == CS8 ? 8 : (t.c_cflag & CSIZE) == CS7 ? 7 : (t.c_cflag & CSIZE) == CS6 ? 6 : 5;
    const char parity = !(t.c_cflag & PARENB) ? 'N' : (t.c_cflag & PARODD) ? 'O' : 'E';
    char b[96];
    std::snprintf(b, sizeof b, "line %s %d%c%d ixon=%d ixoff=%d crtscts=%d", speed, bits, parity,
                  (t.c_cflag & CSTOPB) ? 2 : 1, (t.c_iflag & IXON) ? 1 : 0, (t.c_iflag & IXOFF) ? 1 : 0,
                  (t.c_cflag & CRTSCTS) ? 1 : 0);
    return b;
}

// The link is there exactly while the device is plugged in.
void Plug(bool plugged)
{
    char target[256] = {};
    const bool ours = ::readlink(Link.c_str(), target, sizeof target - 1) > 0 && SlaveName == target;
    if (!plugged && ours)
        ::unlink(Link.c_str());
    if (plugged && !ours) {
        ::unlink(Link.c_str());
        ::symlink(SlaveName.c_str(), Link.c_str());
    }
}

// Rebuilds the device when the scenario text changed or SIGHUP arrived.
// Between frames (`quiet`) a text is taken up only once it ends with a line
// end, so a file caught in the middle of being written is left alone.
bool Refresh(TCurrent& cur, bool quiet = false)
{
    std::string text = ReadFile(Files + ".ctl");
    if (quiet && ::access((Files + ".ctl").c_str(), F_OK) == 0 && (text.empty() || text.back() != '\n'))
        return false;
    if (text.empty())
        text = ScenarioArg;
    if (text == cur.text && !Reload && cur.device)
        return false;
    Reload = 0;
    cur.text = text;
    std::string errors;
    const auto s = ostrelsim::TScenario::Parse((PaceDefault ? "pace=1 " : "") + text, &errors);
    cur.device = std::make_unique<ostrelsim::TDevice>(s);
    cur.paced = s.paced;
    cur.unplugged = s.unplugged;
    Plug(!s.unplugged);
    ResetLine();
    std::vector<std::string> lines{"scenario " + OneLine(text)};
    if (!errors.empty())
        lines.push_back("ERROR scenario words not understood: " + errors);
    Log(lines);
    return true;
}
}  // namespace

int main(int argc, char** argv)
{
    bool daemon = false, stop = false;
    int idle = 600, port = 0;
    std::string root;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--link") Link = next();
        else if (a == "--root") root = next();
        else if (a == "--port") port = std::atoi(next().c_str());
        else if (a == "--pace") PaceDefault = true;
        else if (a == "--trace") Trace = true;
        else if (a == "--scenario") ScenarioArg = next();
        else if (a == "--idle") idle = std::atoi(next().c_str());
        else if (a == "--daemon") daemon = true;
        else if (a == "--stop") stop = true;
        else return Usage();
    }
    if (Link.empty() && !root.empty() && port >= 1 && port <= 4)
        Link = root + "/ports/COM" + std::to_string(port);
    if (Link.empty())
        return Usage();
    Files = hostsim::FilesBeside(Link, "ostrelsim");
    if (stop)
        return hostsim::StopSimulator(Files);

    hostsim::TPtyLink pty;
    if (!hostsim::OpenPtyLink(Link, "ostrelsim", pty))
        return 1;
    const int master = pty.Master;
    Slave = pty.Slave;
    SlaveName = pty.SlaveName;
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::unlink((Files + ".log").c_str());
    TCurrent cur;
    Refresh(cur);

    hostsim::StartServing(daemon, "ostrelsim", Files, Link, pty.SlaveName);
    ::signal(SIGTERM, OnQuit);
    ::signal(SIGINT, OnQuit);
    ::signal(SIGHUP, OnHangUp);
    ::signal(SIGPIPE, SIG_IGN);

    std::deque<uint8_t> pending;        // reply bytes not yet on the line
    TClock::time_point lineFree{};      // paced: when the next byte may go
    TClock::time_point inputEnd{};      // paced: when the last host byte has arrived
    auto last = TClock::now();
    while (!Quit) {
        const auto now = TClock::now();
        int timeoutMs = 20;
        if (!pending.empty()) {
            if (!cur.paced || lineFree <= now)
                timeoutMs = 0;
            else
                timeoutMs = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(lineFree - now).count());
        }
        pollfd p{master, static_cast<short>(POLLIN | (!pending.empty() && timeoutMs == 0 ? POLLOUT : 0)), 0};
        const int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno != EINTR)
            break;
        if (r == 0 && pending.empty() && Refresh(cur, true))  // quiet line: a new scenario may (un)plug the device
            inputEnd = lineFree = TClock::now();
        if (r > 0 && (p.revents & POLLIN)) {
            unsigned char buf[4096];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                const auto t0 = TClock::now();
                last = t0;
                TraceLine("in", n);
                if (Refresh(cur)) {
                    pending.clear();
                    inputEnd = lineFree = t0;  // a new line: no backlog of an earlier scenario
                }
                // Paced, the host's bytes take their line time to arrive too.
                if (cur.paced)
                    inputEnd = std::max(inputEnd, t0) + kByteTime * n;
                std::vector<uint8_t> out;
                std::vector<std::string> lines;
                if (!LineLogged) {
                    lines.push_back(LineSettings());
                    LineLogged = true;
                }
                cur.device->Feed(buf, static_cast<size_t>(n), out, lines);
                Log(lines);  // before the reply, so the log is complete when the host has it
                if (!out.empty()) {
                    if (pending.empty())
                        lineFree = std::max(lineFree, inputEnd);
                    pending.insert(pending.end(), out.begin(), out.end());
                }
            }
        }
        if (!pending.empty()) {
            const auto t1 = TClock::now();
            size_t allowed = pending.size();
            if (cur.paced)
                allowed = lineFree > t1 ? 0 : std::min<size_t>(pending.size(), 1 + (t1 - lineFree) / kByteTime);
            if (allowed > 0) {
                unsigned char buf[4096];
                const size_t k = std::min(allowed, sizeof buf);
                std::copy(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(k), buf);
                const ssize_t w = ::write(master, buf, k);
                if (w > 0) {
                    TraceLine("out", w);
                    pending.erase(pending.begin(), pending.begin() + w);
                    if (cur.paced)
                        lineFree += kByteTime * w;
                } else if (w < 0 && errno != EAGAIN && errno != EINTR) {
                    break;
                } else {
                    ::usleep(1000);  // the far side does not read: wait
                }
            }
        }
        if (pending.empty() && std::chrono::duration_cast<std::chrono::seconds>(TClock::now() - last).count() > idle)
            break;
    }
    hostsim::ClosePtyLink(Link, pty);
    return 0;
}
