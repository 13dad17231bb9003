// Simulated converter driver library (exports: ftd2xx_sim.def only, so the
// names stay undecorated on i686 too).  Behaviour comes from a scenario text,
// set through the exported SimSetScenario or read at load from the file named
// by the environment variable FTD2XX_SIM_SCENARIO.  Scenario lines:
//   device <description> <serial> [mode=<word>] [version=<word>] [status=<byte>]
//          [modereply=full|short|none] [verreply=full|one|none]
//          [modebytes=<n>] [verbytes=<n>]
//   fail <function> <status> [<nth>]  calls of <function> (FT_Write, ...)
//                                 return status; only the nth (from 1) if given
//   faildesc <index> <status>     FT_ListDevices for that index's description fails
//   instant                       short reads return at once instead of after
//                                 the read time-out set by FT_SetTimeouts
// (numbers may be hex with 0x; '_' in a description stands for a blank).
// A cardiomodule answers every two-byte command 0x55 0x02 with <status> and
// the mode word (low byte first), and every 0x55 0x0F with the version; 0x55
// 0x08 gets no reply.  While a converter is open its mode replies stop after
// modebytes bytes in all (short = 2: status and low byte, none = 0) and its
// version replies after verbytes bytes (one = 3: the second reply has its low
// byte only, none = 0).  A read that finds fewer bytes than asked waits the
// read time-out, as the driver does.  Every call is recorded, one line each,
// with its arguments and the bytes written; SimGetLog copies the record (and
// clears it when asked).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace {
struct TDevice {
    std::string Description;
    std::string Serial;
    unsigned Mode = 0;
    unsigned Version = 0;
    unsigned Status = 0;
    long ModeBudget = -1;  // bytes of mode replies per opening; -1 unlimited
    long VerBudget = -1;
    long ModeLeft = -1;
    long VerLeft = -1;
    std::deque<unsigned char> Rx;
    bool Open = false;
};

std::mutex Lock;
std::vector<TDevice> Devices;
struct TFailure {
    ULONG Status = 0;
    unsigned Nth = 0;  // 0: every call
    unsigned Calls = 0;
};
std::map<std::string, TFailure> Failing;
bool Instant = false;
ULONG ReadTimeout = 0;
std::map<unsigned, ULONG> FailingDesc;
std::string Record;

unsigned Num(const std::string& s) { return static_cast<unsigned>(std::strtoul(s.c_str(), nullptr, 0)); }

void Load(const std::string& text)
{
    Devices.clear();
    Failing.clear();
    FailingDesc.clear();
    Record.clear();
    Instant = false;
    ReadTimeout = 0;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream ls(line);
        std::string kind;
        ls >> kind;
        if (kind == "device") {
            TDevice d;
            ls >> d.Description >> d.Serial;
            std::string opt;
            while (ls >> opt) {
                auto eq = opt.find('=');
                std::string k = opt.substr(0, eq), v = eq == std::string::npos ? "" : opt.substr(eq + 1);
                if (k == "mode") d.Mode = Num(v);
                else if (k == "version") d.Version = Num(v);
                else if (k == "status") d.Status = Num(v);
                else if (k == "modereply") d.ModeBudget = v == "short" ? 2 : v == "none" ? 0 : -1;
                else if (k == "verreply") d.VerBudget = v == "one" ? 3 : v == "none" ? 0 : -1;
                else if (k == "modebytes") d.ModeBudget = static_cast<long>(Num(v));
                else if (k == "verbytes") d.VerBudget = static_cast<long>(Num(v));
            }
            // A description with blanks is written with '_' for each blank.
            for (char& c : d.Description)
                if (c == '_') c = ' ';
            Devices.push_back(d);
        } else if (kind == "fail") {
            std::string fn, st, nth;
            ls >> fn >> st >> nth;
            TFailure f;
            f.Status = Num(st);
            f.Nth = nth.empty() ? 0 : Num(nth);
            Failing[fn] = f;
        } else if (kind == "faildesc") {
            std::string i, st;
            ls >> i >> st;
            FailingDesc[Num(i)] = Num(st);
        } else if (kind == "instant") {
            Instant = true;
        }
    }
}

void Log(const std::string& line) { Record += line + "\n"; }

std::string Hex(unsigned v, int width = 2)
{
    char b[16];
    std::snprintf(b, sizeof b, "%0*X", width, v);
    return b;
}

ULONG Failure(const char* fn)
{
    auto it = Failing.find(fn);
    if (it == Failing.end())
        return 0;
    TFailure& f = it->second;
    ++f.Calls;
    return (f.Nth == 0 || f.Nth == f.Calls) ? f.Status : 0;
}

// Handles are 1-based device positions; anything else is invalid.
TDevice* Find(PVOID h)
{
    auto i = reinterpret_cast<std::uintptr_t>(h);
    if (i == 0 || i > Devices.size() || !Devices[i - 1].Open)
        return nullptr;
    return &Devices[i - 1];
}

std::string HandleText(PVOID h) { return std::to_string(reinterpret_cast<std::uintptr_t>(h)); }

struct TInit {
    TInit()
    {
        if (const char* path = std::getenv("FTD2XX_SIM_SCENARIO")) {
            if (FILE* f = std::fopen(path, "rb")) {
                std::string text;
                char buf[4096];
                size_t n;
                while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                    text.append(buf, n);
                std::fclose(f);
                Load(text);
            }
        }
    }
} Init;

ULONG Simple(const char* fn, PVOID h, const std::string& args)
{
    std::lock_guard<std::mutex> g(Lock);
    Log(std::string(fn) + " " + HandleText(h) + args);
    if (ULONG f = Failure(fn))
        return f;
    return Find(h) ? 0 : 1;
}
}  // namespace

extern "C" {
void WINAPI SimSetScenario(const char* text)
{
    std::lock_guard<std::mutex> g(Lock);
    Load(text ? text : "");
}

// Copies the call record (0-terminated, cut to size) and returns its full length.
int WINAPI SimGetLog(char* buffer, int size, int clear)
{
    std::lock_guard<std::mutex> g(Lock);
    const int len = static_cast<int>(Record.size());
    if (buffer && size > 0) {
        const int n = len < size - 1 ? len : size - 1;
        std::memcpy(buffer, Record.data(), n);
        buffer[n] = 0;
    }
    if (clear)
        Record.clear();
    return len;
}

ULONG WINAPI FT_ListDevices(PVOID a1, PVOID a2, DWORD flags)
{
    std::lock_guard<std::mutex> g(Lock);
    if (flags == 0x80000000u) {
        Log("FT_ListDevices count" + std::string(a2 ? " buffer" : ""));
        if (ULONG f = Failure("FT_ListDevices"))
            return f;
        *static_cast<DWORD*>(a1) = static_cast<DWORD>(Devices.size());
        return 0;
    }
    const auto index = static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(a1));
    const bool serial = flags == 0x40000001u, desc = flags == 0x40000002u;
    Log("FT_ListDevices " + std::to_string(index) + (serial ? " serial" : desc ? " description" : " flags=" + Hex(flags, 8)));
    if (ULONG f = Failure("FT_ListDevices"))
        return f;
    if (!serial && !desc)
        return 6;
    if (desc && FailingDesc.count(index))
        return FailingDesc[index];
    if (index >= Devices.size())
        return 2;
    const std::string& t = serial ? Devices[index].Serial : Devices[index].Description;
    std::memcpy(a2, t.c_str(), t.size() + 1);
    return 0;
}

ULONG WINAPI FT_OpenEx(PVOID arg, DWORD flags, PVOID* handle)
{
    std::lock_guard<std::mutex> g(Lock);
    const std::string s = static_cast<const char*>(arg);
    Log("FT_OpenEx " + s + " flags=" + std::to_string(flags));
    if (ULONG f = Failure("FT_OpenEx"))
        return f;
    if (flags != 1)
        return 6;
    for (std::size_t i = 0; i < Devices.size(); ++i) {
        if (Devices[i].Serial == s) {
            if (Devices[i].Open)
                return 3;
            Devices[i].Open = true;
            Devices[i].Rx.clear();
            Devices[i].ModeLeft = Devices[i].ModeBudget;
            Devices[i].VerLeft = Devices[i].VerBudget;
            *handle = reinterpret_cast<PVOID>(i + 1);
            return 0;
        }
    }
    return 2;
}

ULONG WINAPI FT_Close(PVOID h)
{
    std::lock_guard<std::mutex> g(Lock);
    Log("FT_Close " + HandleText(h));
    if (ULONG f = Failure("FT_Close"))
        return f;
    TDevice* d = Find(h);
    if (!d)
        return 1;
    d->Open = false;
    return 0;
}

ULONG WINAPI FT_Write(PVOID h, LPVOID buffer, DWORD count, LPDWORD sent)
{
    std::lock_guard<std::mutex> g(Lock);
    std::string line = "FT_Write " + HandleText(h);
    const auto* b = static_cast<const unsigned char*>(buffer);
    for (DWORD i = 0; i < count; ++i)
        line += " " + Hex(b[i]);
    Log(line);
    *sent = 0;
    if (ULONG f = Failure("FT_Write"))
        return f;
    TDevice* d = Find(h);
    if (!d)
        return 1;
    *sent = count;
    if (count == 2 && b[0] == 0x55) {
        auto send = [&](long& left, unsigned char byte) {
            if (left == 0)
                return;
            d->Rx.push_back(byte);
            if (left > 0)
                --left;
        };
        if (b[1] == 0x02) {
            send(d->ModeLeft, static_cast<unsigned char>(d->Status));
            send(d->ModeLeft, static_cast<unsigned char>(d->Mode & 0xFF));
            send(d->ModeLeft, static_cast<unsigned char>(d->Mode >> 8));
        } else if (b[1] == 0x0F) {
            send(d->VerLeft, static_cast<unsigned char>(d->Version & 0xFF));
            send(d->VerLeft, static_cast<unsigned char>(d->Version >> 8));
        }
    }
    return 0;
}

ULONG WINAPI FT_Read(PVOID h, LPVOID buffer, DWORD count, LPDWORD got)
{
    std::unique_lock<std::mutex> g(Lock);
    Log("FT_Read " + HandleText(h) + " " + std::to_string(count));
    *got = 0;
    if (ULONG f = Failure("FT_Read"))
        return f;
    TDevice* d = Find(h);
    if (!d)
        return 1;
    auto* b = static_cast<unsigned char*>(buffer);
    DWORD n = 0;
    while (n < count && !d->Rx.empty()) {
        b[n++] = d->Rx.front();
        d->Rx.pop_front();
    }
    *got = n;
    if (n < count && !Instant && ReadTimeout > 0) {
        const ULONG wait = ReadTimeout;
        g.unlock();
        ::Sleep(wait);  // the driver returns a short read after the read time-out
        g.lock();
    }
    return 0;
}

ULONG WINAPI FT_Purge(PVOID h, ULONG mask)
{
    ULONG st = Simple("FT_Purge", h, " " + std::to_string(mask));
    std::lock_guard<std::mutex> g(Lock);
    if (st == 0 && (mask & 1))
        if (TDevice* d = Find(h))
            d->Rx.clear();
    return st;
}

ULONG WINAPI FT_ResetDevice(PVOID h) { return Simple("FT_ResetDevice", h, ""); }
ULONG WINAPI FT_SetBaudRate(PVOID h, ULONG baud) { return Simple("FT_SetBaudRate", h, " " + std::to_string(baud)); }
ULONG WINAPI FT_SetDataCharacteristics(PVOID h, UCHAR w, UCHAR s, UCHAR p)
{
    return Simple("FT_SetDataCharacteristics", h, " " + std::to_string(w) + " " + std::to_string(s) + " " + std::to_string(p));
}
ULONG WINAPI FT_SetFlowControl(PVOID h, USHORT f, UCHAR x, UCHAR y)
{
    return Simple("FT_SetFlowControl", h, " " + std::to_string(f) + " " + Hex(x) + " " + Hex(y));
}
ULONG WINAPI FT_ClrRts(PVOID h) { return Simple("FT_ClrRts", h, ""); }
ULONG WINAPI FT_ClrDtr(PVOID h) { return Simple("FT_ClrDtr", h, ""); }
ULONG WINAPI FT_SetTimeouts(PVOID h, ULONG r, ULONG w)
{
    const ULONG st = Simple("FT_SetTimeouts", h, " " + std::to_string(r) + " " + std::to_string(w));
    if (st == 0) {
        std::lock_guard<std::mutex> g(Lock);
        ReadTimeout = r;
    }
    return st;
}
}
