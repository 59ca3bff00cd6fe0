// The set-up's one-instruction roundings against the general ones they stand
// for: ceil and floor to rows, and truncation, at the values where a
// shortcut would go wrong (signed zeros, fractions next to whole numbers,
// the edges of exact float integers and of the 32-bit range, and values
// that cannot be converted).
#include "render/scan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace {

uint32_t Bits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

constexpr float INF = std::numeric_limits<float>::infinity();
constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();

const float VALUES[] = {
    0.0f, -0.0f, 0.25f, -0.25f, 0.5f, -0.5f, 0.999999f, -0.999999f, 1.0f, -1.0f, 1.000001f, -1.000001f,
    199.5f, -3.75f, 8388607.5f, -8388607.5f, 8388608.0f, -8388608.0f, 16777217.0f, 2147483520.0f,
    -2147483520.0f, 2147483648.0f, -2147483648.0f, -2147483904.0f, 4294967296.0f, 1e30f, -1e30f,
    1e-30f, -1e-30f, INF, -INF, NOT_A_NUMBER,
};

TEST(SetUpConversions, CeilRowGivesCeilAndItsRow)
{
    for (float y : VALUES) {
        int32_t row = 0;
        const float value = CeilRow(y, row);
        const float ceiling = std::ceil(y);
        EXPECT_EQ(row, TruncToInt(ceiling)) << y;
        // The set-up uses the value only through ceil(y) − y.
        if (std::isnan(y)) {
            EXPECT_TRUE(std::isnan(value));
        } else {
            EXPECT_EQ(Bits(value - y), Bits(ceiling - y)) << y;
        }
    }
}

TEST(SetUpConversions, FloorRowAndTruncationMatchTheGeneralConversions)
{
    for (float y : VALUES) {
        EXPECT_EQ(FloorRow(y), TruncToInt(std::floor(y))) << y;
        EXPECT_EQ(TruncFloat(y), TruncToInt(y)) << y;
        EXPECT_EQ(ToFixed(y), TruncToInt(y * FIXED_ONE)) << y;
    }
}

}  // namespace
