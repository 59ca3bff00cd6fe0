// Lane helpers of the batched triangle set-ups (flat and shaded fillers):
// picks by masks, lane bits, and the truncations that the one-triangle
// set-up makes in one instruction. Internal to the rasteriser.
#pragma once

#include "render/lanes.h"

#include <cstdint>

// The helpers return vectors and are inlined into each clone of their
// callers only; GCC's note on such returns stays off, as in the span
// kernel's header.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace kvor3d {

// Lanes of 32-bit words whose sums wrap: lanes past a triangle's range (or
// past the batch) hold any values.
using Words = uint32_t __attribute__((vector_size(32)));

// Lanes of a that the mask picks, the others from b.
inline __attribute__((always_inline)) Floats Pick(const Ints& mask, const Floats& a, const Floats& b)
{
    return mask ? a : b;
}

// Bit i set where lane i holds all ones.
inline __attribute__((always_inline)) uint32_t BitsOf(const Ints& mask)
{
    uint32_t bits = 0;
    for (int32_t lane = 0; lane < LANES; ++lane)
        bits |= uint32_t(mask[lane] & 1) << lane;
    return bits;
}

// Lanes whose value the processor's truncation converts as TruncToInt does:
// inside (−2^31, 2^31) and a number. The others go the general way.
inline __attribute__((always_inline)) Ints Convertible(const Floats& value)
{
    return (value > -2147483648.0f) & (value < 2147483648.0f);
}

// The truncation of the lanes that are Convertible, 0 in the others (whose
// triangles are set up alone).
inline __attribute__((always_inline)) Ints Truncated(const Floats& value)
{
    return __builtin_convertvector(Convertible(value) ? value : Floats{}, Ints);
}

}  // namespace kvor3d
