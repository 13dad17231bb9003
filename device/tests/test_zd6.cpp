#include <gtest/gtest.h>

#include "FakeD2xx.h"
#include "FakeHost.h"
#include "device/CardioQueries.h"
#include "device/UZD6ConfObject.h"

namespace {
class ZD6 : public ::testing::Test {
protected:
    TFakeD2xx Fake;
    TFakeHost Host;
    TD2XXUnit Unit{Fake};
    std::wstring ModeCache;
    std::int32_t ProgCache = -1;
    TCardioQueries Q{Host, Unit, TCardioCaches{ModeCache, ProgCache}};
    std::vector<std::wstring> Serials{L"stale"};
    TZD6Dictionary Info{{L"old", std::make_shared<TZD6ConfObj>(L"old", 1, L"x")}};
};

TEST_F(ZD6, NoModuleLeavesBothEmpty)
{
    ReadZD6Records(Q, Serials, Info);
    EXPECT_TRUE(Serials.empty());
    EXPECT_TRUE(Info.empty());
}

TEST_F(ZD6, TwoModulesProgramThenMode)
{
    Fake.Converters = {{"ECG", "A1"}, {"QUORVEL-12", "B2"}};
    Fake.Replies = {{0, 0}, {0x01, 0x00}, {0x99}, {0x01, 0x00},   // A1: version 1, mode 1
                    {0, 0}, {0x02, 0x00}, {0x99}, {0x20, 0x00}};  // B2: version 2, mode 0x20
    ReadZD6Records(Q, Serials, Info);
    EXPECT_EQ(Serials, (std::vector<std::wstring>{L"A1", L"B2"}));
    ASSERT_EQ(Info.size(), 2u);
    EXPECT_EQ(Info[L"A1"]->CMProgVer(), 1);
    EXPECT_EQ(Info[L"B2"]->CMProgVer(), 2);
    EXPECT_EQ(Info[L"B2"]->FTSerial(), L"B2");
    EXPECT_EQ(Info[L"B2"]->CMMode(), L"Режим работы:\rЧастота работы 500Гц\r");
    EXPECT_EQ(ProgCache, 2);
    EXPECT_EQ(ModeCache, Info[L"B2"]->CMMode());
}

TEST_F(ZD6, SilentModuleStillRecorded)
{
    Fake.Converters = {{"ECG", "A1"}};
    ReadZD6Records(Q, Serials, Info);
    ASSERT_EQ(Info.size(), 1u);
    EXPECT_EQ(Info[L"A1"]->CMProgVer(), 0);
    EXPECT_EQ(Info[L"A1"]->CMMode(), L"");
}

TEST_F(ZD6, DuplicateSerialKeepsFirstRecord)
{
    Fake.Converters = {{"ECG", "A1"}, {"ECG", "A1"}};
    EXPECT_THROW(ReadZD6Records(Q, Serials, Info), EFrameworkError);
    EXPECT_EQ(Info.size(), 1u);
    EXPECT_EQ(Info.count(L"A1"), 1u);
}

TEST_F(ZD6, ListingErrorLeavesDictionaryUntouched)
{
    Fake.Converters = {{"ECG", "A1"}};
    Fake.Fail["serial:0"] = 4;
    EXPECT_THROW(ReadZD6Records(Q, Serials, Info), EFrameworkError);
    EXPECT_TRUE(Serials.empty());
    EXPECT_EQ(Info.count(L"old"), 1u);
}

TEST_F(ZD6, StmSwitchWithUsbModulesGivesEmptyRecords)
{
    Host.Bools[L"REGOPTIONS/USESTMZD6"] = true;
    Fake.Converters = {{"ECG", "A1"}};
    ReadZD6Records(Q, Serials, Info);
    ASSERT_EQ(Info.size(), 1u);
    EXPECT_EQ(Info[L"A1"]->CMProgVer(), -1);
    EXPECT_EQ(Info[L"A1"]->CMMode(), L"");
    EXPECT_TRUE(Host.PortsOpened.empty());
}
}  // namespace
