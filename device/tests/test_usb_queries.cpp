#include <gtest/gtest.h>

#include <algorithm>

#include "FakeD2xx.h"
#include "FakeHost.h"
#include "device/CardioQueries.h"

namespace {
class UsbQueries : public ::testing::Test {
protected:
    TFakeD2xx Fake;
    TFakeHost Host;
    TD2XXUnit Unit{Fake};
    std::wstring ModeCache = L"sentinel";
    std::int32_t ProgCache = 4242;
    TCardioQueries Q{Host, Unit, TCardioCaches{ModeCache, ProgCache}};

    bool Called(const std::string& prefix) const
    {
        return std::any_of(Fake.Calls.begin(), Fake.Calls.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    std::vector<std::string> CallsFrom(const std::string& first) const
    {
        auto it = std::find(Fake.Calls.begin(), Fake.Calls.end(), first);
        return std::vector<std::string>(it, Fake.Calls.end());
    }
};

TEST_F(UsbQueries, NoConverterAttached)
{
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"");
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    EXPECT_EQ(ProgCache, -1);
    EXPECT_EQ(Q.GetCMCount(), 0);
    EXPECT_TRUE(Q.GetFTSerialNumber().empty());
    EXPECT_FALSE(Called("open"));
}

TEST_F(UsbQueries, SerialOptionLeavesUsbAlone)
{
    Host.Ints[L"Options/cardiomodule"] = 4;
    Fake.Converters = {{"ECG", "A1"}};
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"sentinel");
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    EXPECT_EQ(ProgCache, 4242);
    EXPECT_EQ(Q.GetCMCount(), 0);
    EXPECT_TRUE(Q.GetFTSerialNumber().empty());
    EXPECT_TRUE(Fake.Calls.empty());
}

TEST_F(UsbQueries, ForeignConverterTakesNoPosition)
{
    Fake.Converters = {{"ECG", "A1"}, {"USB Serial", "F9"}, {"QUORVEL-PC", "C3"}};
    EXPECT_EQ(Q.GetCMCount(), 2);
    EXPECT_EQ(Q.GetFTSerialNumber(), (std::vector<std::wstring>{L"A1", L"C3"}));
    Q.GetFTProgram(0, true);
    EXPECT_EQ(Fake.LastOpenArg, "A1");
    Q.GetFTProgram(1, true);
    EXPECT_EQ(Fake.LastOpenArg, "C3");
    EXPECT_TRUE(Fake.OpenHandles.empty());
}

TEST_F(UsbQueries, DevIdBeyondAndNegative)
{
    Fake.Converters = {{"QUORVEL-12", "A1"}, {"QUORVEL-12D", "B2"}};
    Q.GetFTMode(5, true);
    EXPECT_EQ(Fake.LastOpenArg, "B2");
    Fake.Calls.clear();
    Fake.LastOpenArg.clear();
    EXPECT_EQ(Q.GetFTProgram(-1, true), -1);
    EXPECT_FALSE(Called("open"));
}

TEST_F(UsbQueries, DescriptionCaseMatters)
{
    Fake.Converters = {{"Quorvel-12D", "A1"}, {"quorvel-12d", "B1"}, {"ECG ", "C1"}};
    EXPECT_EQ(Q.GetCMCount(), 0);
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_FALSE(Called("open"));
}

// The description is read again just before the open: a converter that is
// no longer a cardiomodule by then is not opened, and the query fails.
TEST_F(UsbQueries, DescriptionChangedBeforeTheOpenFailsTheQuery)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.DescriptionAfterFirstRead[0] = "USB Serial Converter";
    Fake.Replies = {{0x99}, {0x21, 0x00}};
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"");
    EXPECT_EQ(Fake.DescriptionReads[0], 2);
    EXPECT_FALSE(Called("open"));
    EXPECT_FALSE(Called("serial:"));

    Fake.DescriptionReads.clear();
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    EXPECT_EQ(ProgCache, -1);
    EXPECT_EQ(Fake.DescriptionReads[0], 2);
    EXPECT_FALSE(Called("open"));
    EXPECT_TRUE(Fake.OpenHandles.empty());
}

TEST_F(UsbQueries, ModeExactSequenceAndText)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Replies = {{0x99}, {0x21, 0x00}};
    EXPECT_EQ(Q.GetFTMode(0, true), L"Режим работы:\rКонтроль обрывов электродов включен\rЧастота работы 500Гц\r");
    EXPECT_EQ(ModeCache, Q.GetFTMode(0, false));
    EXPECT_EQ(CallsFrom("open A1"), (std::vector<std::string>{
        "open A1", "reset 100", "purge 100 3",
        "baud 100 230400", "data 100 8 2 0", "flow 100 0 11 13", "timeouts 100 500 500", "clrrts 100", "clrdtr 100",
        "write 100 55 08", "purge 100 2", "purge 100 1",
        "write 100 55 02", "purge 100 2", "write 100 55 02",
        "read 100 1", "read 100 2", "reset 100", "close 100"}));
    EXPECT_EQ(Host.Sleeps, (std::vector<std::uint32_t>{100, 100}));
}

TEST_F(UsbQueries, ShortModeReplyEmptiesCache)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Replies = {{0x99}, {0x21}};
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(ModeCache, L"");
    EXPECT_TRUE(Fake.OpenHandles.empty());
}

TEST_F(UsbQueries, ModeFromCacheBeforeAnyQuery)
{
    ModeCache.clear();
    Fake.Converters = {{"ECG", "A1"}};
    EXPECT_EQ(Q.GetFTMode(0, false), L"");
    EXPECT_TRUE(Fake.Calls.empty());
}

TEST_F(UsbQueries, ProgramExactSequence)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Replies = {{0x01, 0x02}, {0x34, 0x12}};
    EXPECT_EQ(Q.GetFTProgram(0, true), 0x1234);
    EXPECT_EQ(ProgCache, 0x1234);
    EXPECT_EQ(CallsFrom("clrdtr 100"), (std::vector<std::string>{
        "clrdtr 100", "write 100 55 08", "write 100 55 08", "purge 100 2",
        "write 100 55 0F", "read 100 2", "purge 100 2", "write 100 55 0F", "read 100 2",
        "reset 100", "close 100"}));
    EXPECT_EQ(Host.Sleeps, (std::vector<std::uint32_t>{50, 100, 100, 100}));
}

TEST_F(UsbQueries, ProgramFFFFIsMinusOneAndRequeried)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Replies = {{0, 0}, {0xFF, 0xFF}};
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    EXPECT_EQ(ProgCache, -1);
    Fake.Calls.clear();
    Fake.Replies = {{0, 0}, {0x05, 0x00}};
    EXPECT_EQ(Q.GetFTProgram(0, false), 5);
    EXPECT_TRUE(Called("open A1"));
}

TEST_F(UsbQueries, CachedZeroAnsweredWithoutQuery)
{
    ProgCache = 0;
    Fake.Converters = {{"ECG", "A1"}};
    EXPECT_EQ(Q.GetFTProgram(0, false), 0);
    EXPECT_TRUE(Fake.Calls.empty());
}

TEST_F(UsbQueries, SilentDeviceGivesZeroVersion)
{
    Fake.Converters = {{"ECG", "A1"}};
    EXPECT_EQ(Q.GetFTProgram(0, true), 0);
    EXPECT_EQ(ProgCache, 0);
}

TEST_F(UsbQueries, OneByteVersionReplyIsUnknown)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Replies = {{0x07, 0x00}, {0x08}};
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
}

TEST_F(UsbQueries, FailureAfterOpenClosesConverter)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Fail["write"] = 4;
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_TRUE(Fake.OpenHandles.empty());
    EXPECT_EQ(Fake.Calls.back(), "close 100");
}

TEST_F(UsbQueries, ARaisingCloseOnTheFailurePathFailsOnlyTheQuery)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Fail["write"] = 4;
    Fake.CloseRaises = true;
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
    EXPECT_EQ(Fake.Calls.back(), "close 100");
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_EQ(Fake.Calls.back(), "close 100");
}

TEST_F(UsbQueries, ResetOrPurgeFailureClosesConverter)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Fail["purge3"] = 1;
    EXPECT_EQ(Q.GetFTMode(0, true), L"");
    EXPECT_TRUE(Fake.OpenHandles.empty());
    EXPECT_FALSE(Called("baud"));
}

TEST_F(UsbQueries, DescriptionFailuresPerMethod)
{
    Fake.Converters = {{"ECG", "A1"}, {"ECG", "B1"}};
    Fake.Fail["desc:1"] = 4;
    EXPECT_EQ(Q.GetCMCount(), 1);
    ASSERT_EQ(Host.Logs.size(), 1u);
    EXPECT_EQ(Host.Logs[0].first, TCardioLog::HwLog);
    EXPECT_EQ(Host.Logs[0].second, L"Не могу открыть FTDEVICE \u21161");
    Host.Logs.clear();
    Q.GetFTProgram(0, true);
    ASSERT_EQ(Host.Logs.size(), 1u);
    EXPECT_EQ(Host.Logs[0].first, TCardioLog::Common);
    EXPECT_EQ(Host.Logs[0].second, L"Error opening FT device \u21161");
    Host.Logs.clear();
    Q.GetFTMode(0, true);
    EXPECT_TRUE(Host.Logs.empty());
    EXPECT_THROW(Q.GetFTSerialNumber(), EFrameworkError);
}

TEST_F(UsbQueries, CountErrorLeavesGetCMCount)
{
    Fake.Fail["count"] = 4;
    EXPECT_THROW(Q.GetCMCount(), EFrameworkError);
    EXPECT_EQ(Q.GetFTProgram(0, true), -1);
}
}  // namespace
