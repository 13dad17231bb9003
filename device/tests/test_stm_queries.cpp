#include <gtest/gtest.h>

#include "FakeD2xx.h"
#include "FakeHost.h"
#include "device/CardioQueries.h"

namespace {
const wchar_t* const kCom1 = L"\\\\.\\COM1";

TBytes Reply(std::uint8_t header, TBytes data)
{
    TBytes f{0x03, static_cast<std::uint8_t>(data.size() + 3), 0x00, 0x00, header, 0x00};
    f.insert(f.end(), data.begin(), data.end());
    f.insert(f.end(), {0x0B, 0x16, 0x04});
    return f;
}

class StmQueries : public ::testing::Test {
protected:
    TFakeD2xx Fake;  // never called: any call is a failure
    TFakeHost Host;
    TD2XXUnit Unit{Fake};
    std::wstring ModeCache = L"sentinel";
    std::int32_t ProgCache = 4242;
    TCardioQueries Q{Host, Unit, TCardioCaches{ModeCache, ProgCache}};

    void SetUp() override { Host.Ints[L"Options/cardiomodule"] = 4; }
    void TearDown() override { EXPECT_TRUE(Fake.Calls.empty()); }
    TFakePortScript& Port(const std::wstring& name = kCom1) { return Host.Ports[name]; }
};

TEST_F(StmQueries, ModeExchange)
{
    Port().Replies = {Reply(0x08, {}), Reply(0x02, {0x21, 0x00})};
    EXPECT_EQ(Q.GetSTMMode(7, true), L"Режим работы:\rКонтроль обрывов электродов включен\rЧастота работы 500Гц\r");
    EXPECT_EQ(ModeCache, Q.GetSTMMode(0, false));
    EXPECT_EQ(Port().Calls, (std::vector<std::string>{"timeouts 0 0 2000 0 0", "getstate", "setstate 230400", "purge 4",
                                                      "write", "read 15", "write", "read 15"}));
    EXPECT_EQ(Port().Written, (std::vector<TBytes>{{0x03, 0x02, 0x00, 0x08, 0x55, 0x0B, 0x16, 0x04},
                                                   {0x03, 0x02, 0x00, 0x02, 0x55, 0x0B, 0x16, 0x04}}));
    EXPECT_EQ(Host.Sleeps, (std::vector<std::uint32_t>{50, 50}));
    EXPECT_EQ(Port().Closed, 1);
}

TEST_F(StmQueries, ModeWithoutDataKeepsCache)
{
    Port().Replies = {Reply(0x08, {}), Reply(0x02, {})};
    EXPECT_EQ(Q.GetSTMMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"sentinel");
    EXPECT_EQ(Port().Closed, 1);
}

TEST_F(StmQueries, OneByteModeDataIsNoData)
{
    Port().Replies = {Reply(0x08, {}), Reply(0x02, {0x21})};
    EXPECT_EQ(Q.GetSTMMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"sentinel");
}

TEST_F(StmQueries, MissingPortEmptiesModeKeepsVersion)
{
    Host.Ints[L"regoptions/stmcomPort"] = 3;
    EXPECT_EQ(Q.GetSTMMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"");
    EXPECT_EQ(Q.GetSTMProgram(0, true), -1);
    EXPECT_EQ(ProgCache, 4242);
    EXPECT_EQ(Host.PortsOpened, (std::vector<std::wstring>{L"\\\\.\\COM3", L"\\\\.\\COM3"}));
}

TEST_F(StmQueries, PortTenName)
{
    Host.Ints[L"regoptions/stmcomPort"] = 10;
    Q.GetSTMMode(0, true);
    EXPECT_EQ(Host.PortsOpened, (std::vector<std::wstring>{L"\\\\.\\COM10"}));
}

TEST_F(StmQueries, UsbOptionTouchesNoPort)
{
    Host.Ints[L"Options/cardiomodule"] = 2;
    EXPECT_EQ(Q.GetSTMMode(0, true), L"");
    EXPECT_EQ(Q.GetSTMProgram(0, true), -1);
    EXPECT_TRUE(Host.PortsOpened.empty());
    EXPECT_EQ(ModeCache, L"sentinel");
    EXPECT_EQ(ProgCache, 4242);
}

TEST_F(StmQueries, InitFailuresCloseThePort)
{
    Port().FailTimeouts = true;
    EXPECT_EQ(Q.GetSTMMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"");
    Port().FailTimeouts = false;
    Port().FailState = true;
    EXPECT_EQ(Q.GetSTMProgram(0, true), -1);
    EXPECT_EQ(Port().Opened, 2);
    EXPECT_EQ(Port().Closed, 2);
}

TEST_F(StmQueries, InitSTMTexts)
{
    TFakePortScript s;
    s.FailTimeouts = true;
    TFakePort p(s);
    try {
        TCardioQueries::InitSTM(Host, p);
        FAIL();
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), L"could not set comm timeouts");
    }
    s.FailTimeouts = false;
    s.FailState = true;
    try {
        TCardioQueries::InitSTM(Host, p);
        FAIL();
    } catch (const EFrameworkError& e) {
        EXPECT_EQ(e.Message(), L"could not set comm state");
    }
}

TEST_F(StmQueries, ProgramFFFFIs65535)
{
    Port().Replies = {Reply(0x08, {}), Reply(0x0F, {0xFF, 0xFF})};
    EXPECT_EQ(Q.GetSTMProgram(0, true), 65535);
    EXPECT_EQ(ProgCache, 65535);
    EXPECT_EQ(Port().Calls.back(), "read 15");
}

TEST_F(StmQueries, ProgramCacheRules)
{
    ProgCache = 12;
    EXPECT_EQ(Q.GetSTMProgram(0, false), 12);
    EXPECT_TRUE(Host.PortsOpened.empty());
    ProgCache = 0;  // a cached 0 is asked again
    Port().Replies = {Reply(0x08, {}), Reply(0x0F, {0x03, 0x00})};
    EXPECT_EQ(Q.GetSTMProgram(0, false), 3);
    EXPECT_EQ(Host.PortsOpened.size(), 1u);
}

TEST_F(StmQueries, ProgramNoDataNotCached)
{
    Port().Replies = {Reply(0x08, {}), Reply(0x0F, {})};
    EXPECT_EQ(Q.GetSTMProgram(0, true), -1);
    EXPECT_EQ(ProgCache, 4242);
}

TEST_F(StmQueries, SyncAfterNoiseDrained)
{
    // First attempt: bytes before the start byte fail the fixed-position check.
    Port().Replies = {{0x55, 0x03, 0x05}, {}, Reply(0x08, {}), Reply(0x0F, {0x10, 0x00})};
    EXPECT_EQ(Q.GetSTMProgram(0, true), 16);
    EXPECT_EQ(Port().Written.size(), 3u);  // 08, 08, 0F
}

TEST_F(StmQueries, SyncGivesUpAfterBoundedAttempts)
{
    Port().EndlessDrain = true;  // a device that streams noise forever
    EXPECT_EQ(Q.GetSTMProgram(0, true), -1);
    EXPECT_EQ(ProgCache, 4242);
    EXPECT_EQ(static_cast<int>(Port().Written.size()), kSTMSyncAttempts);
    EXPECT_EQ(Port().Closed, 1);
}

TEST_F(StmQueries, SilentDeviceFailsSync)
{
    Port();
    EXPECT_EQ(Q.GetSTMProgram(0, true), -1);
    EXPECT_EQ(static_cast<int>(Port().Written.size()), kSTMSyncAttempts);
}

TEST_F(StmQueries, DispatchFollowsOption)
{
    Host.Bools[L"REGOPTIONS/USESTMZD6"] = true;
    Port().Replies = {Reply(0x08, {}), Reply(0x02, {0x00, 0x00})};
    EXPECT_EQ(Q.GetMode(0, true), L"Режим работы:\r");
    Host.Bools[L"REGOPTIONS/USESTMZD6"] = false;
    EXPECT_EQ(Q.GetMode(0, false), L"Режим работы:\r");  // cache shared by both transports
}
}  // namespace
