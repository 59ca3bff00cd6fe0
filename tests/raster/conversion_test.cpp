// The set-up's one-instruction roundings against the general ones they stand
// for: ceil and floor to rows, and truncation, at the values where a
// shortcut would go wrong (signed zeros, fractions next to whole numbers,
// the edges of exact float integers and of the 32-bit range, and values
// that cannot be converted).
#include "render/spans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace kvor3d;

namespace {

constexpr float INF = std::numeric_limits<float>::infinity();

TEST(SetUpConversions, MatchTheGeneralConversions)
{
    const float values[] = {
        0.0f, -0.0f, 0.25f, -0.25f, 0.5f, -0.5f, 0.999999f, -0.999999f, 1.0f, -1.0f, 1.000001f, -1.000001f,
        199.5f, -3.75f, 8388607.5f, -8388607.5f, 8388608.0f, -8388608.0f, 16777217.0f, 2147483520.0f,
        -2147483520.0f, 2147483648.0f, -2147483648.0f, -2147483904.0f, 4294967296.0f, 1e30f, -1e30f,
        1e-30f, -1e-30f, INF, -INF, std::numeric_limits<float>::quiet_NaN(),
    };
    for (float y : values) {
        int32_t row = 0;
        const float value = CeilRow(y, row);
        EXPECT_EQ(row, TruncToInt(std::ceil(y))) << y;
        // The set-up uses the value only through ceil(y) − y; a NaN y must stay NaN.
        EXPECT_EQ(std::isnan(value), std::isnan(y)) << y;
        if (!std::isnan(y)) {
            EXPECT_EQ(BitsOfFloat(value - y), BitsOfFloat(std::ceil(y) - y)) << y;
        }
        EXPECT_EQ(FloorRow(y), TruncToInt(std::floor(y))) << y;
        EXPECT_EQ(TruncFloat(y), TruncToInt(y)) << y;
        EXPECT_EQ(ToFixed(y), TruncToInt(y * FIXED_ONE)) << y;
    }
}

}  // namespace
