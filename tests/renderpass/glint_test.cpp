// The glint cone's answer against acos itself: next to cos(limit), next to
// either edge of its band and anywhere, for angles where the band is used
// and where it is not.
#include "render/pass.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

using namespace kvor3d;

namespace {

TEST(GlintCone, AnswersAsAcosOfTheNormalDoes)
{
    constexpr double PI = 3.14159265358979323846;
    const uint32_t values[] = {0, 1, 60, 65536 / 8, 65536, 10 * 65536, 45 * 65536 + 12345, 90 * 65536,
                               171 * 65536, 172 * 65536, 180 * 65536, 400 * 65536, 0xFFFFFFFF};
    std::mt19937 random(3);
    std::uniform_real_distribution<double> anywhere(-1.0, 1.0);
    for (uint32_t value : values) {
        const GlintCone cone(value);
        const double limit = value / 65536.0 * PI / 180.0;
        std::vector<double> xs = {-1.0, 0.0, 1.0};
        for (double centre : {std::cos(limit), cone.surelyWithin, cone.surelyOutside}) {
            double up = centre, down = centre;
            for (int step = 0; step < 50; ++step, up = std::nextafter(up, 2.0), down = std::nextafter(down, -2.0))
                xs.insert(xs.end(), {up, down});
        }
        for (int i = 0; i < 2000; ++i)
            xs.push_back(anywhere(random));
        for (double x : xs) {
            if (x >= -1.0 && x <= 1.0) {
                EXPECT_EQ(cone.Within(x), std::acos(x) <= limit) << "value " << value << " x " << x;
            }
        }
    }
}

}  // namespace
