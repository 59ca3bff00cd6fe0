// The fast paths of the front end against the plain ones they replace: the
// integer square root against the trial-bit root, the wide sky-and-floor
// background against the pixel-by-pixel one.
#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <random>
#include <vector>

namespace {

// The trial-bit root: bits from 1 << 62 down, two positions per step.
uint32_t TrialBitRoot(uint64_t q)
{
    uint64_t root = 0;
    for (uint64_t bit = uint64_t(1) << 62; bit; bit >>= 2) {
        if (q >= root + bit) {
            q -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
    }
    return uint32_t(root);
}

// Every q next to a square of a dense set of roots, where a rounded double
// root is most likely to land on the wrong side (r = 0 gives 0, 1 and the
// largest q), the top of the range and random q of every size.
TEST(IntegerSquareRoot, EqualsTheTrialBitRootNextToEverySquare)
{
    std::vector<uint64_t> roots;
    for (uint64_t r = 0; r < (uint64_t(1) << 20); ++r)
        roots.push_back(r);
    for (uint64_t r = 0xFFFFFFFF; r > 0xFFFFFFFF - (uint64_t(1) << 18); --r)
        roots.push_back(r);
    std::mt19937_64 random(11);
    for (int i = 0; i < 1000000; ++i)
        roots.push_back(random() >> (32 + random() % 32));
    for (uint64_t r : roots) {
        for (uint64_t q : {r * r - 1, r * r, r * r + 1})
            ASSERT_EQ(IntegerSquareRoot(q), TrialBitRoot(q)) << q;
    }
    for (uint64_t q = UINT64_MAX; q > UINT64_MAX - (uint64_t(1) << 20); --q)
        ASSERT_EQ(IntegerSquareRoot(q), TrialBitRoot(q)) << q;
    for (int i = 0; i < 1000000; ++i) {
        const uint64_t q = random() >> (random() % 64);
        ASSERT_EQ(IntegerSquareRoot(q), TrialBitRoot(q)) << q;
    }
}

}  // namespace
