#include "image/image.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The rule, one bit at a time: bit p of pixel i is bit 7 − i mod 8 of byte
// i / 8 of plane p.
Bytes ReferenceChunky(const Bytes& planes, size_t rowBytes)
{
    Bytes pixels(rowBytes * 8, 0);
    for (size_t i = 0; i < pixels.size(); ++i)
        for (size_t p = 0; p < 8; ++p)
            if (planes[p * rowBytes + i / 8] >> (7 - i % 8) & 1)
                pixels[i] |= uint8_t(1 << p);
    return pixels;
}

TEST(PlanarToChunky, PlaneNumberIsTheBitAndTheLeftmostPixelIsBitSeven)
{
    // One column: plane 3 holds the leftmost pixel, plane 0 the rightmost,
    // plane 7 the third.
    Bytes planes(8, 0);
    planes[3] = 0x80;
    planes[0] = 0x01;
    planes[7] = 0x20;
    Bytes pixels(8, 0xEE);
    PlanarToChunky(planes.data(), 1, pixels.data(), 1);
    EXPECT_EQ(pixels, (Bytes{0x08, 0, 0x80, 0, 0, 0, 0, 0x01}));
}

TEST(PlanarToChunky, MatchesTheBitByBitRuleForEveryRowLengthAndStride)
{
    std::mt19937 random(2417);
    for (size_t rowBytes = 1; rowBytes <= 24; ++rowBytes) {
        Bytes planes(8 * rowBytes);
        for (uint8_t& b : planes)
            b = uint8_t(random());
        const Bytes expected = ReferenceChunky(planes, rowBytes);

        Bytes packed(rowBytes * 8, 0xEE);
        PlanarToChunky(planes.data(), rowBytes, packed.data(), 1);
        EXPECT_EQ(packed, expected) << "rowBytes " << rowBytes;

        // Stride 3, as for one component of a true-colour row: the bytes in
        // between are left alone.
        Bytes spread(rowBytes * 8 * 3, 0xEE);
        PlanarToChunky(planes.data(), rowBytes, spread.data() + 1, 3);
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(spread[3 * i + 1], expected[i]) << "rowBytes " << rowBytes << " pixel " << i;
            EXPECT_EQ(spread[3 * i], 0xEE);
            EXPECT_EQ(spread[3 * i + 2], 0xEE);
        }
    }
}

}  // namespace
