#include <gtest/gtest.h>

#include "device/UCommWrapper.h"

namespace {
struct TUnwrapRow {
    const char* Name;
    TBytes In;
    TBytes Data;
    int Start;
    int Finish;  // 99 = left unwritten
};

class UnwrapTable : public ::testing::TestWithParam<TUnwrapRow> {};

TEST_P(UnwrapTable, DataAndIndexes)
{
    const TUnwrapRow& r = GetParam();
    int start = -77;
    int finish = 99;
    TBytes data = TSTMCommandWrapper::unwrapResponse(r.In, start, finish);
    EXPECT_EQ(data, r.Data) << r.Name;
    EXPECT_EQ(start, r.Start) << r.Name;
    EXPECT_EQ(finish, r.Finish) << r.Name;
}

INSTANTIATE_TEST_SUITE_P(Frames, UnwrapTable, ::testing::Values(
    TUnwrapRow{"mode reply", {0x03, 0x05, 0x00, 0x00, 0x02, 0x00, 0x21, 0x00, 0x0B, 0x16, 0x04}, {0x21, 0x00}, 0, 10},
    TUnwrapRow{"two bytes before", {0x11, 0x22, 0x03, 0x05, 0x00, 0x00, 0x02, 0x00, 0x21, 0x00, 0x0B, 0x16, 0x04}, {0x21, 0x00}, 2, 12},
    TUnwrapRow{"no start byte", {0x01, 0x02, 0x05, 0x06}, {}, 3, 99},
    TUnwrapRow{"start byte last", {0x01, 0x02, 0x03}, {}, 2, 99},
    TUnwrapRow{"wrong end byte", {0x03, 0x05, 0x00, 0x00, 0x02, 0x00, 0x21, 0x00, 0x0B, 0x16, 0x05}, {0x21, 0x00}, 0, -1},
    TUnwrapRow{"L is 3", {0x03, 0x03, 0x00, 0x00, 0x02, 0x00, 0x0B, 0x16, 0x04}, {}, 0, 8},
    TUnwrapRow{"L below 3", {0x03, 0x01, 0x00, 0x00, 0x02, 0x00, 0x0B, 0x16, 0x04}, {}, 0, -1},
    TUnwrapRow{"L is 0", {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}, {}, 0, -1},
    TUnwrapRow{"L runs past the bytes", {0x03, 0xFF, 0xFF, 0x00, 0x02, 0x00, 0x21, 0x00, 0x0B}, {}, 0, -1},
    TUnwrapRow{"data fits, end byte cut off", {0x03, 0x05, 0x00, 0x00, 0x02, 0x00, 0x21, 0x00}, {0x21, 0x00}, 0, -1},
    TUnwrapRow{"length bytes cut off", {0x00, 0x03, 0x05}, {}, 1, -1},
    TUnwrapRow{"empty", {}, {}, 0, 99}),
    [](const auto& info) {
        std::string n = info.param.Name;
        for (char& c : n)
            if (!isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return n;
    });

TEST(WrapRequest, ModeAndProgramBodies)
{
    EXPECT_EQ(TSTMCommandWrapper::wrapRequest({0x02, 0x55}), (TBytes{0x03, 0x02, 0x00, 0x02, 0x55, 0x0B, 0x16, 0x04}));
    EXPECT_EQ(TSTMCommandWrapper::wrapRequest({0x0F, 0x55}), (TBytes{0x03, 0x02, 0x00, 0x0F, 0x55, 0x0B, 0x16, 0x04}));
}

TEST(WrapRequest, LongBodyLengthLowByteFirst)
{
    TBytes body(0x0123, 0x03);
    TBytes f = TSTMCommandWrapper::wrapRequest(body);
    ASSERT_EQ(f.size(), body.size() + 6);
    EXPECT_EQ(f[1], 0x23);
    EXPECT_EQ(f[2], 0x01);
    EXPECT_EQ(f[f.size() - 1], 0x04);
    EXPECT_EQ(f[f.size() - 2], 0x16);
    EXPECT_EQ(f[f.size() - 3], 0x0B);
}

TEST(WrapRequest, EmptyBody)
{
    EXPECT_EQ(TSTMCommandWrapper::wrapRequest({}), (TBytes{0x03, 0x00, 0x00, 0x0B, 0x16, 0x04}));
}
}  // namespace
