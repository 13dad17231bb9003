// The simulator itself, over its pseudo-terminal from the Linux side: reply
// frames of each command and fault mode, the record of received frames.
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

#ifndef CARDIOSIM_PATH
#error "CARDIOSIM_PATH names the simulator program"
#endif

namespace {
using TBytes = std::vector<unsigned char>;

class Cardiosim : public ::testing::Test {
protected:
    void SetUp() override
    {
        char tmpl[] = "/tmp/cardiosim-test-XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        Dir = tmpl;
        Link = Dir + "/COM3";
        ASSERT_EQ(std::system((std::string(CARDIOSIM_PATH) + " --link " + Link + " --daemon --idle 60 >/dev/null").c_str()), 0);
        Fd = ::open(Link.c_str(), O_RDWR | O_NOCTTY);
        ASSERT_GE(Fd, 0);
        termios t{};
        ::tcgetattr(Fd, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(Fd, TCSANOW, &t);
    }
    void TearDown() override
    {
        if (Fd >= 0)
            ::close(Fd);
        std::system((std::string(CARDIOSIM_PATH) + " --stop --link " + Link).c_str());
        std::system(("rm -rf " + Dir).c_str());
    }
    void Control(const std::string& text) { std::ofstream(Dir + "/cardiosim-COM3.ctl") << text << "\n"; }
    std::string Record()
    {
        std::ifstream in(Dir + "/cardiosim-COM3.log");
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Sends one request frame and collects what arrives within the wait.
    TBytes Ask(unsigned char command, int waitMs = 300)
    {
        const TBytes frame{0x03, 0x02, 0x00, command, 0x55, 0x0B, 0x16, 0x04};
        EXPECT_EQ(::write(Fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
        TBytes got;
        pollfd p{Fd, POLLIN, 0};
        while (::poll(&p, 1, waitMs) > 0) {
            unsigned char b[64];
            const ssize_t n = ::read(Fd, b, sizeof b);
            if (n <= 0)
                break;
            got.insert(got.end(), b, b + n);
        }
        return got;
    }

    std::string Dir, Link;
    int Fd = -1;
};

TEST_F(Cardiosim, RepliesOfEachCommand)
{
    Control("mode=0x0221 version=0xFFFF");
    EXPECT_EQ(Ask(0x08), (TBytes{0x03, 0x03, 0x00, 0x00, 0x08, 0x00, 0x0B, 0x16, 0x04}));
    EXPECT_EQ(Ask(0x02), (TBytes{0x03, 0x05, 0x00, 0x00, 0x02, 0x00, 0x21, 0x02, 0x0B, 0x16, 0x04}));
    EXPECT_EQ(Ask(0x0F), (TBytes{0x03, 0x05, 0x00, 0x00, 0x0F, 0x00, 0xFF, 0xFF, 0x0B, 0x16, 0x04}));
    EXPECT_EQ(Record(), "03 02 00 08 55 0B 16 04\n03 02 00 02 55 0B 16 04\n03 02 00 0F 55 0B 16 04\n");
}

TEST_F(Cardiosim, FaultModes)
{
    Control("fault=l3");
    EXPECT_EQ(Ask(0x02), (TBytes{0x03, 0x03, 0x00, 0x00, 0x02, 0x00, 0x0B, 0x16, 0x04}));
    Control("fault=one mode=0x21");
    EXPECT_EQ(Ask(0x02), (TBytes{0x03, 0x04, 0x00, 0x00, 0x02, 0x00, 0x21, 0x0B, 0x16, 0x04}));
    Control("fault=badend");
    EXPECT_EQ(Ask(0x08).back(), 0x05);
    Control("fault=noise");
    EXPECT_EQ(Ask(0x08), (TBytes{0xAA, 0x55, 0x03, 0x03, 0x00, 0x00, 0x08, 0x00, 0x0B, 0x16, 0x04}));
    Control("fault=nosync");
    EXPECT_EQ(Ask(0x08), (TBytes{0x03, 0x03, 0x00, 0x00, 0x00, 0x00, 0x0B, 0x16, 0x04}));
    Control("fault=silence");
    EXPECT_TRUE(Ask(0x02).empty());
}

TEST_F(Cardiosim, NoiseBeforeFirstReplyOnly)
{
    Control("fault=noise1");
    EXPECT_EQ(Ask(0x08).front(), 0xAA);
    EXPECT_EQ(Ask(0x08).front(), 0x03);
}

TEST_F(Cardiosim, BytesBeforeARequestAreSkipped)
{
    const TBytes junk{0x00, 0xFF};
    ASSERT_EQ(::write(Fd, junk.data(), junk.size()), 2);
    EXPECT_EQ(Ask(0x08).size(), 9u);
    EXPECT_EQ(Record(), "03 02 00 08 55 0B 16 04\n");
}
}  // namespace
