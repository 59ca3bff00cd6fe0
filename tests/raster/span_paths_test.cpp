// The fog level's and w's repeated float additions taken through their bit
// patterns against one addition at a time.
#include "render/spans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

// Sums that leave the binade of 1 or of 2 on either side (by steps counted
// in its units), halfway steps, steps below a unit, zero, subnormals,
// negatives, and steps that are not numbers.
TEST(SpanPaths, FloatStepsAddAsOneAdditionAtATime)
{
    const float u = std::ldexp(1.0f, -23), INF = std::numeric_limits<float>::infinity();
    const float cases[][2] = {
        {1 + 2 * u, -1.375f * u}, {1 + u, -0.75f * u}, {2 - 2 * u, 1.75f * u}, {2 - 2 * u, 1.25f * u},
        {1 + u, 0.5f * u},        {1 + u, 1.5f * u},   {2 + 2 * u, -u},        {1, 0.3f * u},
        {1, -0.3f * u},           {0.5f, -1e-12f},     {30, 0.4f},             {250, -0.4f},
        {0.1f, -1e-4f},           {-3, 0.001f},        {-3, -0.001f},          {0.02f, 1e-4f},
        {1.5f, 0},                {1e-38f, 1e-40f},    {1e-45f, 1e-45f},       {3e38f, 1e37f},
        {1, 4},                   {1, INF},            {1, std::nanf("")},
    };
    for (const auto& c : cases) {
        for (int64_t n : {1, 2, 7, 16, 300}) {
            SCOPED_TRACE(testing::Message() << "x " << c[0] << " step " << c[1] << " n " << n);
            std::vector<uint32_t> sums{BitsOfFloat(c[0])};
            for (float x = c[0]; sums.size() <= size_t(n);)
                sums.push_back(BitsOfFloat(x += c[1]));
            FloatSteps steps(c[1]);
            EXPECT_EQ(BitsOfFloat(steps.Advance(c[0], n)), sums.back());
            for (int64_t i = 0; steps.Whole(sums[0], n) && i <= n; ++i)
                EXPECT_EQ(sums[0] + uint32_t(i) * steps.Increment(), sums[size_t(i)]) << "after " << i;
        }
    }
}

}  // namespace
