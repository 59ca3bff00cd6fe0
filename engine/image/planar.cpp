#include "image/image.h"

namespace kvor3d {

namespace {

// Transposes the 8 × 8 bit block held in one word, byte k being row 7 − k
// and bit 7 of a byte column 0: single bits, then bit pairs, then nibbles
// change places across the diagonal.
uint64_t Transpose8x8(uint64_t x)
{
    uint64_t t = (x ^ (x >> 7)) & 0x00AA00AA00AA00AAull;
    x ^= t ^ (t << 7);
    t = (x ^ (x >> 14)) & 0x0000CCCC0000CCCCull;
    x ^= t ^ (t << 14);
    t = (x ^ (x >> 28)) & 0x00000000F0F0F0F0ull;
    x ^= t ^ (t << 28);
    return x;
}

}  // namespace

// Plane 7's byte goes in the top row of the block and plane 0's in the
// bottom one, so that after the transposition the top row is pixel 0 with
// plane p in bit p.
void PlanarToChunky(const uint8_t* planes, size_t rowBytes, uint8_t* pixels, size_t stride)
{
    for (size_t column = 0; column < rowBytes; ++column) {
        uint64_t block = 0;
        for (size_t plane = 0; plane < 8; ++plane)
            block |= uint64_t(planes[plane * rowBytes + column]) << (8 * plane);
        block = Transpose8x8(block);
        uint8_t* out = pixels + column * 8 * stride;
        for (size_t i = 0; i < 8; ++i)
            out[i * stride] = uint8_t(block >> (8 * (7 - i)));
    }
}

}  // namespace kvor3d
