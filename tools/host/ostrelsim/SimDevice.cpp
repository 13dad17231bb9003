#include "SimDevice.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "OstrelPattern.h"

namespace ostrelsim {

uint8_t Checksum(const uint8_t* frame)
{
    unsigned sum = 0;
    for (size_t i = 2; i < kFrame; ++i)
        sum += frame[i];
    return static_cast<uint8_t>(sum & 0xFF);
}

std::string Hex(const uint8_t* data, size_t n)
{
    std::string s;
    char b[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(b, sizeof b, "%02X", data[i]);
        s += b;
    }
    return s;
}

namespace {

std::vector<std::string> Split(const std::string& v, char sep)
{
    std::vector<std::string> parts;
    std::string cur;
    for (char c : v) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

bool Number(const std::string& s, long long& out)
{
    if (s.empty())
        return false;
    char* end = nullptr;
    out = std::strtoll(s.c_str(), &end, 0);
    return end && *end == 0;
}

// "N" or "all" for a counted fault.
bool Times(const std::string& s, int& out)
{
    long long n = 0;
    if (s == "all") {
        out = kAlways;
        return true;
    }
    if (!Number(s, n) || n < 0)
        return false;
    out = static_cast<int>(n);
    return true;
}

}  // namespace

TScenario TScenario::Parse(const std::string& text, std::string* errors)
{
    TScenario s;
    for (int i = 0; i < 12; ++i)
        s.settings[i] = static_cast<uint8_t>(0x31 + i);
    bool slotsGiven = false;
    size_t nextSlot = 0;
    std::istringstream in(text);
    std::string word;
    auto bad = [&](const std::string& w) {
        if (errors)
            *errors += (errors->empty() ? "" : " ") + w;
    };
    while (in >> word) {
        if (word[0] == '#') {  // comment to the end of the line
            std::string rest;
            std::getline(in, rest);
            continue;
        }
        const auto eq = word.find('=');
        if (eq == std::string::npos) {
            bad(word);
            continue;
        }
        const std::string k = word.substr(0, eq), v = word.substr(eq + 1);
        const auto parts = Split(v, ':');
        std::vector<long long> n;
        bool numeric = true;
        for (const auto& p : parts) {
            long long x = 0;
            numeric = numeric && Number(p, x);
            n.push_back(x);
        }
        // Positional faults: at[:copies][:times]; times defaults to always.
        auto positional = [&](TFault& f, size_t args) {
            if (parts.size() < args || parts.size() > args + 1) {
                bad(word);
                return;
            }
            for (size_t i = 0; i < args; ++i) {
                long long x = 0;
                if (!Number(parts[i], x) || x < 0) {
                    bad(word);
                    return;
                }
            }
            f.at = static_cast<uint32_t>(n[0]);
            if (args > 1)
                f.copies = static_cast<uint32_t>(n[1]);
            f.times = kAlways;
            if (parts.size() == args + 1 && !Times(parts[args], f.times))
                bad(word);
        };
        auto counted = [&](TFault& f) {
            if (!Times(v, f.times))
                bad(word);
        };
        auto flag = [&](bool& b) {
            if (v == "1" || v == "0")
                b = v == "1";
            else
                bad(word);
        };
        if (k == "seed" && numeric && n.size() == 1) {
            s.seed = static_cast<uint32_t>(n[0]);
        } else if (k == "insp" && numeric && n.size() == 3 && nextSlot < 32) {
            s.slots[nextSlot++] = {static_cast<uint16_t>(n[0]), static_cast<uint16_t>(n[1]), static_cast<uint16_t>(n[2]), false};
            slotsGiven = true;
        } else if (k == "slot" && numeric && n.size() == 4 && n[0] >= 0 && n[0] < 32) {
            s.slots[static_cast<size_t>(n[0])] = {static_cast<uint16_t>(n[1]), static_cast<uint16_t>(n[2]),
                                                  static_cast<uint16_t>(n[3]), false};
            nextSlot = static_cast<size_t>(n[0]) + 1;
            slotsGiven = true;
        } else if (k == "empty" && v == "1") {
            slotsGiven = true;
        } else if (k == "state" && numeric && n.size() == 2) {
            s.stateStart = static_cast<uint16_t>(n[0]);
            s.stateEnd = static_cast<uint16_t>(n[1]);
        } else if (k == "settings" && v.size() == 24) {
            for (int i = 0; i < 12; ++i)
                s.settings[i] = static_cast<uint8_t>(std::strtoul(v.substr(2 * i, 2).c_str(), nullptr, 16));
        } else if (k == "statetag" && numeric && n.size() == 1) {
            s.stateTag = static_cast<uint8_t>(n[0]);
        } else if (k == "wake") {
            flag(s.wakeRequired);
        } else if (k == "pace") {
            flag(s.paced);
        } else if (k == "frames") {
            flag(s.frames);
        } else if (k == "unplugged") {
            flag(s.unplugged);
        } else if (k == "silent") {
            flag(s.silent);
        } else if (k == "nowake") {
            flag(s.noWake);
        } else if (k == "badstate") {
            counted(s.badState);
        } else if (k == "shortstate") {
            counted(s.shortState);
        } else if (k == "noconfirm") {
            counted(s.noConfirm);
        } else if (k == "wrongwrite") {
            counted(s.wrongWrite);
        } else if (k == "restorefail") {
            flag(s.restoreFail);
        } else if (k == "dirseq") {
            positional(s.dirSeq, 1);
        } else if (k == "dirsum") {
            positional(s.dirSum, 1);
        } else if (k == "dirshort") {
            positional(s.dirShort, 1);
        } else if (k == "badrec") {
            positional(s.badRec, 2);
        } else if (k == "droprec") {
            positional(s.dropRec, 1);
        } else if (k == "stopat") {
            positional(s.stopAt, 1);
        } else if (k == "extra" && numeric && n.size() == 1 && n[0] >= 0) {
            s.extra = static_cast<uint32_t>(n[0]);
        } else if (k == "run") {
            // Any value: a new run of the same scenario (the device starts afresh).
        } else {
            bad(word);
        }
    }
    if (!slotsGiven) {
        s.slots[0] = {1, 0, 101, false};      // 100 records
        s.slots[1] = {2, 101, 1302, false};   // 1200 records: chunks of 500, 500, 200
        s.slots[2] = {3, 64000, 300, false};  // 810 records across the ring's end
    }
    return s;
}

TDevice::TDevice(const TScenario& s)
    : FS(s), FSettings(s.settings), FStart(s.stateStart), FEnd(s.stateEnd), FAwake(!s.wakeRequired)
{
}

std::array<uint8_t, kFrame> TDevice::StateFrame() const
{
    std::array<uint8_t, kFrame> f{};
    f[0] = FS.stateTag;
    for (int i = 0; i < 12; ++i)
        f[2 + i] = FSettings[i];
    f[14] = static_cast<uint8_t>(FStart & 0xFF);
    f[15] = static_cast<uint8_t>(FStart >> 8);
    f[16] = static_cast<uint8_t>(FEnd & 0xFF);
    f[17] = static_cast<uint8_t>(FEnd >> 8);
    f[1] = Checksum(f.data());
    return f;
}

std::array<uint8_t, kFrame> TDevice::Record(uint32_t position) const
{
    std::array<uint8_t, kFrame> f{};
    f.fill(0xFF);
    if (position >= kDirFirst && position < kDirFirst + 32) {
        const uint32_t k = position - kDirFirst;
        const TSlotSpec& slot = FS.slots[k];
        f[0] = static_cast<uint8_t>(k + 1);
        if (!slot.empty) {
            uint8_t* p = f.data() + 2;
            p[0] = static_cast<uint8_t>(slot.index & 0xFF);
            p[1] = static_cast<uint8_t>(slot.index >> 8);
            p[2] = static_cast<uint8_t>(slot.start & 0xFF);
            p[3] = static_cast<uint8_t>(slot.start >> 8);
            p[4] = static_cast<uint8_t>(slot.end & 0xFF);
            p[5] = static_cast<uint8_t>(slot.end >> 8);
            for (int i = 6; i < 16; ++i)
                p[i] = static_cast<uint8_t>(0xC0 + k + i);  // reserved bytes, not for the host
        }
    } else if (position < kRingPositions) {
        f[0] = static_cast<uint8_t>(0xA5 ^ (position & 0xFF));
        PatternPayload(PatternRecord(FS.seed, position), f.data() + 2);
    } else {
        f[0] = 0;
    }
    f[1] = Checksum(f.data());
    return f;
}

void TDevice::Feed(const uint8_t* data, size_t n, std::vector<uint8_t>& out, std::vector<std::string>& log)
{
    FIn.insert(FIn.end(), data, data + n);
    for (;;) {
        if (FExpect == TExpect::StateFrame) {
            if (FIn.size() < kFrame)
                return;
            std::copy(FIn.begin(), FIn.begin() + kFrame, FPendingState.begin());
            if (FS.frames)
                log.push_back("rx " + Hex(FIn.data(), kFrame));
            FIn.erase(FIn.begin(), FIn.begin() + kFrame);
            FExpect = TExpect::Tail;
            continue;
        }
        if (FExpect == TExpect::Tail) {
            if (FIn.size() < 6)
                return;
            static const uint8_t tail[6] = {0xAA, 0x55, 0x88, 0x88, 0x88, 0x88};
            FExpect = TExpect::Command;
            if (!std::equal(tail, tail + 6, FIn.begin())) {
                // Not an error of the host as such: a purge right after a
                // write takes what the device has not read yet off the line.
                log.push_back("torn write: no 6-byte tail after state " + Hex(FPendingState.data(), kFrame));
                FTorn = true;
                continue;  // the bytes are looked at as a new command
            }
            if (FS.frames)
                log.push_back("rx " + Hex(FIn.data(), 6));
            FIn.erase(FIn.begin(), FIn.begin() + 6);
            ApplyState(log);
            continue;
        }
        // A command frame: AA 55 and the command byte 16 times.
        size_t skip = 0;
        while (skip < FIn.size() && FIn[skip] != 0xAA)
            ++skip;
        if (skip) {
            log.push_back((FTorn ? "skipped after a torn write " : "ERROR junk ") + Hex(FIn.data(), skip));
            FIn.erase(FIn.begin(), FIn.begin() + static_cast<std::ptrdiff_t>(skip));
        }
        if (FIn.size() < kFrame)
            return;
        bool frame = FIn[1] == 0x55;
        for (size_t i = 3; frame && i < kFrame; ++i)
            frame = FIn[i] == FIn[2];
        const uint8_t cmd = FIn[2];
        if (!frame || (cmd != 0x80 && cmd != 0x82 && cmd != 0x84 && cmd != 0x88)) {
            log.push_back("ERROR bad command frame " + Hex(FIn.data(), kFrame));
            FIn.erase(FIn.begin());
            continue;
        }
        if (FS.frames)
            log.push_back("rx " + Hex(FIn.data(), kFrame));
        FIn.erase(FIn.begin(), FIn.begin() + kFrame);
        FTorn = false;
        Command(cmd, out, log);
    }
}

void TDevice::Command(uint8_t cmd, std::vector<uint8_t>& out, std::vector<std::string>& log)
{
    if (cmd == 0x88) {
        FExpect = TExpect::StateFrame;  // the state frame and tail follow, awake or not
        return;
    }
    if (cmd == 0x80) {
        if (!FS.noWake)
            FAwake = true;
        log.push_back(FAwake ? "wake" : "wake ignored");
        return;
    }
    const char* name = cmd == 0x82 ? "query" : "read";
    if (FS.silent) {
        log.push_back(std::string(name) + " silent");
        return;
    }
    if (!FAwake) {
        log.push_back(std::string(name) + " asleep");
        return;
    }
    if (cmd == 0x82) {
        auto f = StateFrame();
        if (FS.shortState.Armed()) {
            FS.shortState.Fire();
            log.push_back("query short");
            out.insert(out.end(), f.begin(), f.begin() + 10);
            return;
        }
        if (FS.badState.Armed()) {
            FS.badState.Fire();
            f[1] = static_cast<uint8_t>(f[1] + 1);
            log.push_back("query corrupt");
        } else {
            char b[48];
            std::snprintf(b, sizeof b, "query %u %u", FStart, FEnd);
            log.push_back(b);
        }
        out.insert(out.end(), f.begin(), f.end());
    } else if (cmd == 0x84) {
        Stream(out, log);
    }
}

void TDevice::ApplyState(std::vector<std::string>& log)
{
    const auto& f = FPendingState;
    const uint16_t start = static_cast<uint16_t>(f[14] | f[15] << 8);
    const uint16_t end = static_cast<uint16_t>(f[16] | f[17] << 8);
    char b[64];
    std::snprintf(b, sizeof b, "write %u %u", start, end);
    std::string line = b;
    if (FS.silent || !FAwake) {
        log.push_back(line + (FS.silent ? " silent" : " asleep"));
        return;
    }
    if (f[0] != 0)
        log.push_back("ERROR state write with tag " + Hex(f.data(), 1));
    if (f[1] != Checksum(f.data())) {
        log.push_back("ERROR state write with a wrong checksum " + Hex(f.data(), kFrame));
        log.push_back(line + " rejected");
        return;
    }
    if (!std::equal(FSettings.begin(), FSettings.end(), f.begin() + 2))
        log.push_back("ERROR settings changed from " + Hex(FSettings.data(), 12) + " to " + Hex(f.data() + 2, 12));
    if (FS.noConfirm.Armed()) {
        FS.noConfirm.Fire();
        log.push_back(line + " ignored");
        return;
    }
    std::copy(f.begin() + 2, f.begin() + 14, FSettings.begin());
    FStart = start;
    FEnd = end;
    const bool restore = FS.restoreFail && start == FS.stateStart && end == FS.stateEnd;
    if (FS.wrongWrite.Armed() || restore) {
        if (!restore)
            FS.wrongWrite.Fire();
        FEnd = static_cast<uint16_t>(end + 1);
        log.push_back(line + " skewed");
        return;
    }
    log.push_back(line + " applied");
}

void TDevice::Stream(std::vector<uint8_t>& out, std::vector<std::string>& log)
{
    const uint32_t a = FStart, b = FEnd;
    uint32_t sent = 0;
    std::string notes;
    bool fired[6] = {};
    auto corrupt = [](std::array<uint8_t, kFrame> f) {
        f[1] = static_cast<uint8_t>(f[1] ^ 0x5A);
        return f;
    };
    auto put = [&](const std::array<uint8_t, kFrame>& f) { out.insert(out.end(), f.begin(), f.end()); };
    const bool directory = a == kDirFirst;
    for (uint32_t p = a; p < b; ++p) {
        if (FS.stopAt.Armed() && p == FS.stopAt.at) {
            fired[0] = true;
            notes += " stopped";
            break;
        }
        auto rec = Record(p);
        if (directory && p >= kDirFirst && p < kDirFirst + 32) {
            const uint32_t k = p - kDirFirst;
            if (FS.dirShort.Armed() && k == FS.dirShort.at) {
                fired[1] = true;
                notes += " short";
                break;
            }
            if (FS.dirSeq.Armed() && k == FS.dirSeq.at) {
                fired[2] = true;
                rec[0] = static_cast<uint8_t>(k + 2);
                rec[1] = Checksum(rec.data());
                notes += " badseq";
            }
            if (FS.dirSum.Armed() && k == FS.dirSum.at) {
                fired[3] = true;
                rec = corrupt(rec);
                notes += " badsum";
            }
        }
        if (FS.dropRec.Armed() && p == FS.dropRec.at) {
            fired[4] = true;
            put(corrupt(rec));
            ++sent;
            notes += " dropped";
            continue;
        }
        if (FS.badRec.Armed() && p == FS.badRec.at) {
            fired[5] = true;
            for (uint32_t i = 0; i < FS.badRec.copies; ++i)
                put(corrupt(rec));
            sent += FS.badRec.copies;
            notes += " corrupted";
        }
        put(rec);
        ++sent;
    }
    if (!fired[0] && !fired[1]) {
        for (uint32_t i = 0; i < FS.extra; ++i, ++sent)
            put(Record(b + i));
        if (FS.extra)
            notes += " extra";
    }
    TFault* faults[6] = {&FS.stopAt, &FS.dirShort, &FS.dirSeq, &FS.dirSum, &FS.dropRec, &FS.badRec};
    for (int i = 0; i < 6; ++i)
        if (fired[i])
            faults[i]->Fire();
    char b2[64];
    std::snprintf(b2, sizeof b2, "read %u %u sent %u", a, b, sent);
    log.push_back(b2 + notes);
}

}  // namespace ostrelsim
