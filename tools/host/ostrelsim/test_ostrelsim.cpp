// The device simulator: its frames (model level, no terminal) and one
// conversation over its pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "OstrelPattern.h"
#include "SimDevice.h"

#ifndef OSTRELSIM_PATH
#error "OSTRELSIM_PATH names the simulator program"
#endif

using namespace ostrelsim;

namespace {
using TBytes = std::vector<uint8_t>;

TBytes Command(uint8_t c)
{
    TBytes f{0xAA, 0x55};
    f.insert(f.end(), 16, c);
    return f;
}

// A state write as the host sends it: command, state frame, tail.
TBytes Write(const std::array<uint8_t, kFrame>& state, uint16_t start, uint16_t end)
{
    TBytes s(state.begin(), state.end());
    s[0] = 0;
    s[14] = start & 0xFF;
    s[15] = start >> 8;
    s[16] = end & 0xFF;
    s[17] = end >> 8;
    s[1] = Checksum(s.data());
    TBytes w = Command(0x88);
    w.insert(w.end(), s.begin(), s.end());
    w.insert(w.end(), {0xAA, 0x55, 0x88, 0x88, 0x88, 0x88});
    return w;
}

struct TTalk {
    TDevice dev;
    std::vector<std::string> log;
    explicit TTalk(const std::string& scenario) : dev(TScenario::Parse(scenario)) {}
    TBytes Send(const TBytes& in)
    {
        TBytes out;
        log.clear();
        dev.Feed(in.data(), in.size(), out, log);
        return out;
    }
    std::string Log() const
    {
        std::string s;
        for (const auto& l : log)
            s += l + "\n";
        return s;
    }
};
}  // namespace

TEST(Pattern, EncodingFollowsTheWordTable)
{
    // A record built by hand: plane 1 (W0) sample 2047, plane 0 (W1) -2048, plane 7 (W2) off.
    TPatternRecord r{};
    r.sample[1] = 2047;
    r.sample[0] = -2048;
    r.off = 0x80;
    uint8_t p[16];
    PatternPayload(r, p);
    EXPECT_EQ(p[0], 0x0F);
    EXPECT_EQ(p[1], 0xFE);  // W0 = 0x0FFE
    EXPECT_EQ(p[2], 0x10);
    EXPECT_EQ(p[3], 0x00);  // W1 = 0x1000
    EXPECT_EQ(p[4], 0x20);  // W2 bit 13
    EXPECT_EQ(PatternValue(r, 7), 0);
    EXPECT_EQ(PatternValue(r, 1), 2047);
    EXPECT_EQ(PatternStatus(r), 0x0200);
    r.flag = true;
    PatternPayload(r, p);
    EXPECT_EQ(p[0], 0x4F);
    EXPECT_EQ(PatternValue(r, 1), 0);
    EXPECT_EQ(PatternStatus(r), 0x0208);
    r.off = 0xFF;
    EXPECT_EQ(PatternStatus(r), 0x03FF);
}

TEST(Pattern, CoversFlagsOffChannelsAndRangeEnds)
{
    int flags = 0, allOff = 0, someOff = 0, extremes = 0;
    for (uint32_t p = 0; p < 2000; ++p) {
        const auto r = PatternRecord(1, p);
        flags += r.flag;
        allOff += r.off == 0xFF;
        someOff += r.off != 0 && r.off != 0xFF;
        extremes += r.sample[0] == -2048;
    }
    EXPECT_GT(flags, 20);
    EXPECT_GT(allOff, 10);
    EXPECT_GT(someOff, 200);
    EXPECT_GT(extremes, 10);
    EXPECT_NE(PatternRecord(1, 5).sample[3], PatternRecord(2, 5).sample[3]);
}

TEST(Device, AsleepUntilWakeUpThenStateReply)
{
    TTalk t("state=0x1234:0x5678 statetag=0x77");
    EXPECT_TRUE(t.Send(Command(0x82)).empty());
    EXPECT_EQ(t.Log(), "query asleep\n");
    EXPECT_TRUE(t.Send(Command(0x80)).empty());
    const TBytes r = t.Send(Command(0x82));
    ASSERT_EQ(r.size(), kFrame);
    EXPECT_EQ(r[0], 0x77);
    EXPECT_EQ(r[1], Checksum(r.data()));
    EXPECT_EQ(Hex(r.data() + 2, 16), "3132333435363738393A3B3C34127856");
    EXPECT_EQ(t.Log(), "query 4660 22136\n");
}

TEST(Device, StateWriteNeedsItsTailAndKeepsSettings)
{
    TTalk t("wake=0");
    const auto s = t.dev.StateFrame();
    TBytes w = Write(s, 0xFC00, 0xFC20);
    EXPECT_TRUE(t.Send(TBytes(w.begin(), w.end() - 1)).empty());
    EXPECT_EQ(t.dev.RangeEnd(), 0x20);  // not applied before the tail is complete
    t.Send(TBytes(w.end() - 1, w.end()));
    EXPECT_EQ(t.Log(), "write 64512 64544 applied\n");
    EXPECT_EQ(t.dev.RangeStart(), 0xFC00);
    EXPECT_EQ(t.dev.RangeEnd(), 0xFC20);
    // Changed settings, a tag and a wrong checksum are reported.
    TBytes bad = Write(s, 1, 2);
    bad[18 + 5] ^= 1;
    bad[18 + 1] = Checksum(bad.data() + 18);
    bad[18] = 3;
    t.Send(bad);
    EXPECT_NE(t.Log().find("ERROR settings changed"), std::string::npos) << t.Log();
    EXPECT_NE(t.Log().find("ERROR state write with tag 03"), std::string::npos) << t.Log();
    TBytes sum = Write(s, 1, 2);
    sum[19] ^= 0xFF;
    t.Send(sum);
    EXPECT_NE(t.Log().find("write 1 2 rejected"), std::string::npos) << t.Log();
    // No tail: nothing applied, the bytes are read as a new command.
    TBytes noTail = Write(s, 7, 8);
    noTail.resize(36);
    const TBytes q = Command(0x82);
    noTail.insert(noTail.end(), q.begin(), q.end());
    const TBytes r = t.Send(noTail);
    EXPECT_NE(t.Log().find("torn write: no 6-byte tail"), std::string::npos) << t.Log();
    EXPECT_EQ(r.size(), kFrame);
}

TEST(Device, DirectoryAndRangeRecords)
{
    TTalk t("wake=0 seed=9 insp=7:100:200 slot=3:9:64000:300");
    t.Send(Write(t.dev.StateFrame(), 0xFC00, 0xFC20));
    const TBytes dir = t.Send(Command(0x84));
    ASSERT_EQ(dir.size(), 32 * kFrame);
    for (size_t k = 0; k < 32; ++k) {
        const uint8_t* rec = dir.data() + k * kFrame;
        EXPECT_EQ(rec[0], k + 1) << k;
        EXPECT_EQ(rec[1], Checksum(rec)) << k;
    }
    EXPECT_EQ(Hex(dir.data() + 2, 6), "07006400C800");  // index 7, start 100, end 200 (LE)
    EXPECT_EQ(Hex(dir.data() + 18 + 2, 6), "FFFFFFFFFFFF");
    EXPECT_EQ(Hex(dir.data() + 3 * 18 + 2, 6), "090000FA2C01");
    EXPECT_EQ(t.Log(), "read 64512 64544 sent 32\n");

    t.Send(Write(t.dev.StateFrame(), 64509, 64511));
    const TBytes data = t.Send(Command(0x84));
    ASSERT_EQ(data.size(), 2 * kFrame);
    uint8_t payload[16];
    PatternPayload(PatternRecord(9, 64510), payload);
    EXPECT_EQ(Hex(data.data() + 18 + 2, 16), Hex(payload, 16));
    EXPECT_EQ(data[19], Checksum(data.data() + 18));
}

TEST(Device, CountedFaults)
{
    TTalk t("wake=0 badstate=2 noconfirm=1 wrongwrite=1");
    EXPECT_NE(t.Send(Command(0x82))[1], Checksum(t.dev.StateFrame().data()));
    EXPECT_EQ(t.Log(), "query corrupt\n");
    t.Send(Command(0x82));
    const TBytes good = t.Send(Command(0x82));
    EXPECT_EQ(good[1], Checksum(good.data()));
    t.Send(Write(t.dev.StateFrame(), 5, 6));
    EXPECT_EQ(t.Log(), "write 5 6 ignored\n");
    t.Send(Write(t.dev.StateFrame(), 5, 6));
    EXPECT_EQ(t.Log(), "write 5 6 skewed\n");
    EXPECT_EQ(t.dev.RangeEnd(), 7);
    t.Send(Write(t.dev.StateFrame(), 5, 6));
    EXPECT_EQ(t.Log(), "write 5 6 applied\n");
}

TEST(Device, StreamFaults)
{
    TTalk t("wake=0 badrec=10:3:1 stopat=12:1 extra=2");
    t.Send(Write(t.dev.StateFrame(), 8, 14));
    TBytes s = t.Send(Command(0x84));
    EXPECT_EQ(t.Log(), "read 8 14 sent 7 corrupted stopped\n");
    ASSERT_EQ(s.size(), 7 * kFrame);
    for (int i = 2; i < 5; ++i)
        EXPECT_NE(s[i * 18 + 1], Checksum(s.data() + i * 18)) << i;
    EXPECT_EQ(s[5 * 18 + 1], Checksum(s.data() + 5 * 18));
    s = t.Send(Command(0x84));  // both faults spent: the whole range and the extra records
    EXPECT_EQ(s.size(), 8 * kFrame);
    EXPECT_EQ(t.Log(), "read 8 14 sent 8 extra\n");

    TTalk d("wake=0 dirseq=4:1 dirshort=30");
    d.Send(Write(d.dev.StateFrame(), 0xFC00, 0xFC20));
    s = d.Send(Command(0x84));
    EXPECT_EQ(s.size(), 30 * kFrame);
    EXPECT_EQ(s[4 * 18], 6);
    EXPECT_EQ(s[4 * 18 + 1], Checksum(s.data() + 4 * 18));
    s = d.Send(Command(0x84));
    EXPECT_EQ(s[4 * 18], 5);
}

TEST(Device, FramesLoggedOnRequest)
{
    TTalk t("frames=1");
    t.Send(Command(0x80));
    EXPECT_EQ(t.Log(), "rx AA5580808080808080808080808080808080\nwake\n");
    const TBytes w = Write(t.dev.StateFrame(), 1, 2);
    t.Send(w);
    EXPECT_EQ(t.Log(), "rx " + Hex(w.data(), 18) + "\nrx " + Hex(w.data() + 18, 18) + "\nrx AA5588888888\nwrite 1 2 applied\n");
}

TEST(Device, SilentAndUnknownWords)
{
    TTalk t("silent=1");
    EXPECT_TRUE(t.Send(Command(0x80)).empty());
    EXPECT_TRUE(t.Send(Command(0x82)).empty());
    EXPECT_EQ(t.Log(), "query silent\n");
    std::string errors;
    TScenario::Parse("seed=1 frobnicate=2 badrec=5 stopat=x", &errors);
    EXPECT_EQ(errors, "frobnicate=2 badrec=5 stopat=x");
}

// One conversation over the terminal, the way the Wine tests use it.
TEST(Terminal, LinkControlFileAndLog)
{
    char tmpl[] = "/tmp/ostrelsim-test-XXXXXX";
    ASSERT_NE(::mkdtemp(tmpl), nullptr);
    const std::string dir = tmpl, link = dir + "/COM2";
    ASSERT_EQ(std::system((std::string(OSTRELSIM_PATH) + " --link " + link + " --daemon --idle 30 >/dev/null").c_str()), 0);
    std::ofstream(dir + "/ostrelsim-COM2.ctl") << "state=1:2 statetag=0\n";
    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(fd, TCSANOW, &t);
    TBytes out = Command(0x80);
    const TBytes q = Command(0x82);
    out.insert(out.end(), q.begin(), q.end());
    ASSERT_EQ(::write(fd, out.data(), out.size()), static_cast<ssize_t>(out.size()));
    TBytes got;
    for (int i = 0; i < 50 && got.size() < kFrame; ++i) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            uint8_t b[64];
            const ssize_t n = ::read(fd, b, sizeof b);
            if (n > 0)
                got.insert(got.end(), b, b + n);
        }
    }
    ::close(fd);
    // Unplugged: the link goes away and comes back with the next scenario.
    auto linkThere = [&](bool want) {
        for (int i = 0; i < 100; ++i) {
            if ((::access(link.c_str(), F_OK) == 0) == want)
                return true;
            ::usleep(20000);
        }
        return false;
    };
    std::ofstream(dir + "/ostrelsim-COM2.ctl") << "unplugged=1\n";
    EXPECT_TRUE(linkThere(false));
    std::ofstream(dir + "/ostrelsim-COM2.ctl") << "state=1:2 statetag=0\n";
    EXPECT_TRUE(linkThere(true));
    ASSERT_EQ(got.size(), kFrame);
    EXPECT_EQ(Hex(got.data() + 14, 4), "01000200");
    std::ifstream in(dir + "/ostrelsim-COM2.log");
    std::stringstream s;
    s << in.rdbuf();
    EXPECT_EQ(s.str(), "scenario \nscenario state=1:2 statetag=0 \nline 9600 8N1 ixon=0 ixoff=0 crtscts=0\nwake\nquery 1 2\nscenario unplugged=1 \n"
                       "scenario state=1:2 statetag=0 \n");
    std::system((std::string(OSTRELSIM_PATH) + " --stop --link " + link).c_str());
    std::system(("rm -rf " + dir).c_str());
}
