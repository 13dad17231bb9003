// Serial-port cardiomodule simulator on a pseudo-terminal.
//
//   cardiosim --link PATH [--mode W] [--version W] [--fault F] [--daemon]
//             [--idle SECONDS]
//   cardiosim --stop --link PATH
//
// Opens a pseudo-terminal pair, points the symbolic link PATH (a COM port
// link of the Wine prefix, e.g. <root>/ports/COM3) at its slave side and
// answers request frames on the master side:
//   request  03 nlo nhi body[n] 0B 16 04, body = command 55
//   reply    03 Llo Lhi 00 command 00 data[L-3] 0B 16 04
// Command 08 gets no data, 02 the mode word, 0F the program version (both
// 16 bits, low byte first).  Fault modes:
//   none     as above
//   silence  no reply at all
//   l3       replies to 02 and 0F carry L = 3 (no data)
//   badend   the end byte of every reply is 05 instead of 04
//   noise    two bytes (AA 55) before the start byte of every reply
//   noise1   the same before the first reply only (the first since start or
//            since the .ctl file was last written)
//   nosync   the reply to 08 carries 00 where the command code belongs
//   one      replies to 02 and 0F carry one data byte (L = 4)
// The simulator's files lie beside the link as cardiosim-<name>.* (for the
// link .../COM3: cardiosim-COM3.ctl; Windows takes "COM3.ctl" for the port
// itself).  The .ctl file, when present, is read before every reply: words
// "mode=W", "version=W", "fault=F" override the command line.  Every request
// frame received is appended to the .log file as hex bytes, one frame a line.
// --daemon returns once the link is in place and leaves the simulator
// running (its process id in the .pid file); --stop ends that process.  The
// simulator ends by itself after --idle seconds without a request (600).
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "PtyLink.h"

namespace {
struct TConfig {
    unsigned Mode = 0x0021;
    unsigned Version = 0x0102;
    std::string Fault = "none";
};

std::string Link;
std::string Files;  // <dir>/cardiosim-<link name>
TConfig Base;
int RepliesSent = 0;

unsigned Num(const std::string& s) { return static_cast<unsigned>(std::strtoul(s.c_str(), nullptr, 0)); }

// A rewritten .ctl file starts a new conversation ("noise1" counts from it).
void NoteControlChange()
{
    static timespec last{};
    struct stat st{};
    if (::stat((Files + ".ctl").c_str(), &st) != 0)
        return;
    if (st.st_mtim.tv_sec != last.tv_sec || st.st_mtim.tv_nsec != last.tv_nsec) {
        last = st.st_mtim;
        RepliesSent = 0;
    }
}

TConfig Current()
{
    NoteControlChange();
    TConfig c = Base;
    std::ifstream in(Files + ".ctl");
    std::string word;
    while (in >> word) {
        const auto eq = word.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string k = word.substr(0, eq), v = word.substr(eq + 1);
        if (k == "mode") c.Mode = Num(v);
        else if (k == "version") c.Version = Num(v);
        else if (k == "fault") c.Fault = v;
    }
    return c;
}

void Record(const std::vector<unsigned char>& frame)
{
    std::ofstream out(Files + ".log", std::ios::app);
    for (std::size_t i = 0; i < frame.size(); ++i) {
        char b[4];
        std::snprintf(b, sizeof b, i ? " %02X" : "%02X", frame[i]);
        out << b;
    }
    out << "\n";
}

bool WriteAll(int fd, const std::vector<unsigned char>& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                ::usleep(1000);
                continue;
            }
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

std::vector<unsigned char> Reply(const TConfig& c, unsigned char command)
{
    std::vector<unsigned char> data;
    if (command == 0x02 || command == 0x0F) {
        const unsigned word = command == 0x02 ? c.Mode : c.Version;
        if (c.Fault == "one")
            data = {static_cast<unsigned char>(word & 0xFF)};
        else if (c.Fault != "l3")
            data = {static_cast<unsigned char>(word & 0xFF), static_cast<unsigned char>((word >> 8) & 0xFF)};
    }
    const unsigned L = 3 + static_cast<unsigned>(data.size());
    std::vector<unsigned char> r;
    if (c.Fault == "noise" || (c.Fault == "noise1" && RepliesSent == 0))
        r = {0xAA, 0x55};
    const unsigned char code = (command == 0x08 && c.Fault == "nosync") ? 0x00 : command;
    r.insert(r.end(), {0x03, static_cast<unsigned char>(L & 0xFF), static_cast<unsigned char>(L >> 8), 0x00, code, 0x00});
    r.insert(r.end(), data.begin(), data.end());
    r.insert(r.end(), {0x0B, 0x16, static_cast<unsigned char>(c.Fault == "badend" ? 0x05 : 0x04)});
    return r;
}

// Takes complete request frames from the front of pending; drops bytes
// before a start byte.
void Serve(int master, std::vector<unsigned char>& pending)
{
    for (;;) {
        std::size_t start = 0;
        while (start < pending.size() && pending[start] != 0x03)
            ++start;
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(start));
        if (pending.size() < 3)
            return;
        const std::size_t n = pending[1] + 256u * pending[2];
        if (n > 1024) {  // not a request of this device: resynchronise
            pending.erase(pending.begin());
            continue;
        }
        if (pending.size() < n + 6)
            return;
        std::vector<unsigned char> frame(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(n + 6));
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(n + 6));
        Record(frame);
        const TConfig c = Current();
        if (c.Fault == "silence" || n < 1)
            continue;
        WriteAll(master, Reply(c, frame[3]));
        ++RepliesSent;
    }
}

int Usage()
{
    std::fprintf(stderr, "usage: cardiosim --link PATH [--mode W] [--version W] [--fault F] [--daemon] [--idle S]\n"
                         "       cardiosim --stop --link PATH\n");
    return 2;
}

volatile sig_atomic_t Quit = 0;
void OnSignal(int) { Quit = 1; }
}  // namespace

int main(int argc, char** argv)
{
    bool daemon = false, stop = false;
    int idle = 600;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string { return i + 1 < argc ? argv[++i] : ""; };
        if (a == "--link") Link = next();
        else if (a == "--mode") Base.Mode = Num(next());
        else if (a == "--version") Base.Version = Num(next());
        else if (a == "--fault") Base.Fault = next();
        else if (a == "--idle") idle = static_cast<int>(Num(next()));
        else if (a == "--daemon") daemon = true;
        else if (a == "--stop") stop = true;
        else return Usage();
    }
    if (Link.empty())
        return Usage();
    Files = hostsim::FilesBeside(Link, "cardiosim");
    if (stop)
        return hostsim::StopSimulator(Files);

    hostsim::TPtyLink pty;
    if (!hostsim::OpenPtyLink(Link, "cardiosim", pty))
        return 1;
    const int master = pty.Master;
    ::unlink((Files + ".log").c_str());

    hostsim::StartServing(daemon, "cardiosim", Files, Link, pty.SlaveName);
    ::signal(SIGTERM, OnSignal);
    ::signal(SIGINT, OnSignal);
    ::signal(SIGHUP, OnSignal);

    std::vector<unsigned char> pending;
    std::time_t last = std::time(nullptr);
    while (!Quit) {
        pollfd p{master, POLLIN, 0};
        const int r = ::poll(&p, 1, 500);
        if (r < 0 && errno != EINTR)
            break;
        if (r > 0 && (p.revents & POLLIN)) {
            unsigned char buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            if (n > 0) {
                pending.insert(pending.end(), buf, buf + n);
                Serve(master, pending);
                last = std::time(nullptr);
            }
        }
        if (std::time(nullptr) - last > idle)
            break;
    }
    hostsim::ClosePtyLink(Link, pty);
    return 0;
}
