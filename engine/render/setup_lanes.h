// Lane helpers of the batched triangle set-ups (flat, shaded, environment
// and perspective-textured fillers): picks by masks, lane bits, the truncations
// that the one-triangle set-up makes in one instruction, and the set-up of
// eight interpolating triangles with their rows. Internal to the rasteriser.
#pragma once

#include "render/lanes.h"
#include "render/scan.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

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

// Whether some lane holds a bit: the halves together, then their two 64-bit
// quarters.
inline __attribute__((always_inline)) bool Any(const Ints& lanes)
{
    using Quarters = uint64_t __attribute__((vector_size(16)));
    const Quarters both =
        Quarters(__builtin_shufflevector(lanes, lanes, 0, 1, 2, 3) | __builtin_shufflevector(lanes, lanes, 4, 5, 6, 7));
    return (both[0] | both[1]) != 0;
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

// One corner of eight triangles: the screen position and N quantities that
// the set-up carries through the corner order.
template <int N>
struct CornerValues {
    Floats x, y;
    Floats value[N];
};

using CornerLanes = CornerValues<3>;

template <int N>
inline __attribute__((always_inline)) CornerValues<N> PickCorner(const Ints& mask, const CornerValues<N>& a,
                                                                 const CornerValues<N>& b)
{
    CornerValues<N> picked;
    picked.x = Pick(mask, a.x, b.x);
    picked.y = Pick(mask, a.y, b.y);
    for (int i = 0; i < N; ++i)
        picked.value[i] = Pick(mask, a.value[i], b.value[i]);
    return picked;
}

// Eight values of the lanes' triangles, each vector made in a register:
// lanes stored one by one and loaded as a vector would wait for the stores.
template <class Vector, class Value>
inline __attribute__((always_inline)) Vector LanesOf(Value value)
{
    return Vector{value(0), value(1), value(2), value(3), value(4), value(5), value(6), value(7)};
}

// SetUpPositions and SetUpInterpolating of eight triangles side by side,
// then PlaneOf of their N quantities: the same operations in the same
// order in every lane, as SetUpFlatBatch makes them for the positions. A
// lane where a conversion falls outside the truncation's range is general:
// its triangle is set up alone.
template <int N>
struct TriangleValues {
    Ints general;
    Ints drawn;          // rows in the frame and a non-zero area
    Ints firstRow;       // ceil(yt)
    Ints middleRow;      // ceil(ym)
    Ints rowStart;       // the first row in the frame
    Ints rowEnd;         // the last row in the frame
    Ints rowCount;       // rows in the frame
    Ints edge[6];        // xLong, stepLong, xUpper, stepUpper, xLower, stepLower
    Floats dx[N], dy[N], start[N];  // the quantities' planes (dx, dy, edge)

    explicit inline __attribute__((always_inline)) TriangleValues(const CornerValues<N> (&corner)[3])
    {
        const Ints swapFirst = corner[1].y < corner[0].y;
        CornerValues<N> t = PickCorner(swapFirst, corner[1], corner[0]);
        CornerValues<N> m = PickCorner(swapFirst, corner[0], corner[1]);
        const Ints swapSecond = corner[2].y < m.y;
        const CornerValues<N> b = PickCorner(swapSecond, m, corner[2]);
        const CornerValues<N> l = PickCorner(swapSecond, corner[2], m);
        const Ints swapThird = l.y < t.y;
        m = PickCorner(swapThird, t, l);
        t = PickCorner(swapThird, l, t);

        general = ~(Convertible(t.y) & Convertible(b.y) & Convertible(m.y));
        const Ints truncatedTop = Truncated(t.y);
        const Floats topTruncation = __builtin_convertvector(truncatedTop, Floats);
        const Ints topAbove = topTruncation < t.y;
        firstRow = Ints(Words(truncatedTop) - Words(topAbove));
        const Floats topRow = Pick(topAbove, topTruncation + 1.0f, topTruncation);
        const Ints truncatedBottom = Truncated(b.y);
        const Ints lastRow = Ints(Words(truncatedBottom) + Words(b.y < __builtin_convertvector(truncatedBottom, Floats)));
        const Ints truncatedMiddle = Truncated(m.y);
        const Floats middleTruncation = __builtin_convertvector(truncatedMiddle, Floats);
        const Ints middleAbove = middleTruncation < m.y;
        middleRow = Ints(Words(truncatedMiddle) - Words(middleAbove));
        const Floats middleRowTop = Pick(middleAbove, middleTruncation + 1.0f, middleTruncation);
        const Ints zero{};
        const Ints lowest = Ints{} + (Frame.height - 1);
        rowStart = firstRow > zero ? firstRow : zero;
        rowEnd = lastRow < lowest ? lastRow : lowest;
        rowCount = Ints(Words(rowEnd) - Words(rowStart) + 1);
        const Floats area = (m.y - b.y) * (t.x - b.x) - (t.y - b.y) * (m.x - b.x);
        drawn = (b.y > t.y) & (rowStart <= rowEnd) & (area != 0.0f);

        const Floats down = b.y - t.y;
        const Floats longSlope = (b.x - t.x) / down;
        const Floats horizontal = Pick(m.x < t.x, Floats{} - SLOPE_HORIZONTAL, Floats{} + SLOPE_HORIZONTAL);
        const Floats upperSlope = Pick(m.y != t.y, (m.x - t.x) / (m.y - t.y), horizontal);
        const Floats lowerSlope = Pick(b.y != m.y, (b.x - m.x) / (b.y - m.y), Floats{});
        const Floats rowOffset = topRow - t.y;
        const Floats edgeValues[6] = {(rowOffset * longSlope + t.x) * FIXED_ONE, longSlope * FIXED_ONE,
                                      (rowOffset * upperSlope + t.x) * FIXED_ONE, upperSlope * FIXED_ONE,
                                      ((middleRowTop - m.y) * lowerSlope + m.x) * FIXED_ONE, lowerSlope * FIXED_ONE};
        for (int i = 0; i < 6; ++i) {
            general |= drawn & ~Convertible(edgeValues[i]);
            edge[i] = Truncated(edgeValues[i]);
        }
        const Floats middleToBottom = m.y - b.y;
        const Floats topToBottom = t.y - b.y;
        for (int i = 0; i < N; ++i) {
            dx[i] = ((t.value[i] - b.value[i]) * middleToBottom - (m.value[i] - b.value[i]) * topToBottom) / area;
            dy[i] = (b.value[i] - t.value[i]) / down;
            start[i] = rowOffset * dy[i] + t.value[i];
        }
    }

    // The planes of quantities `from` to N − 1 in 16.16, as ToFixed makes
    // them; a drawn lane where one falls outside the truncation's range
    // becomes general.
    inline __attribute__((always_inline)) void Fixed(Ints& generalLanes, Ints (&fixedDx)[N], Ints (&fixedDy)[N],
                                                     Ints (&fixedStart)[N], int from = 0) const
    {
        for (int c = from; c < N; ++c) {
            const Floats values[3] = {dx[c] * FIXED_ONE, dy[c] * FIXED_ONE, start[c] * FIXED_ONE};
            Ints* const fixed[3] = {&fixedDx[c], &fixedDy[c], &fixedStart[c]};
            for (int j = 0; j < 3; ++j) {
                generalLanes |= drawn & ~Convertible(values[j]);
                *fixed[j] = Truncated(values[j]);
            }
        }
    }
};

// The most rows of the first `count` lanes that `listed` marks: how far a
// batch's row lanes are walked.
inline __attribute__((always_inline)) int32_t ListedDepth(const Ints& listed, const Ints& rowCount, int32_t count)
{
    int32_t depth = 0;
    for (int32_t lane = 0; lane < count; ++lane)
        depth = std::max(depth, rowCount[lane] & listed[lane]);
    return depth;
}

using TriangleLanes = TriangleValues<3>;

// The rows of eight triangles from their first rows in the frame, as
// ScanRows walks them: the long edge and the upper or lower short edge in
// 16.16, each from its own start (n steps of 32-bit additions wrap as one
// advance by n steps does), and the span of each row: its leftmost pixel,
// its count (at most 0 where the row has none) and the pixel at the long
// edge, where the span starts.
struct RowLanes {
    Ints longLeft;
    Ints row, middleRow;
    Words xLong, xUpper, xLower;
    Words stepLong, stepUpper, stepLower;
    Ints rightmost;

    template <int N>
    explicit inline __attribute__((always_inline)) RowLanes(const TriangleValues<N>& s)
        : longLeft(s.edge[1] < s.edge[3]), row(s.rowStart), middleRow(s.middleRow), stepLong(Words(s.edge[1])),
          stepUpper(Words(s.edge[3])), stepLower(Words(s.edge[5])), rightmost(Ints{} + (Frame.width - 1))
    {
        const Words skipped = Words(s.rowStart) - Words(s.firstRow);
        xLong = Words(s.edge[0]) + stepLong * skipped;
        xUpper = Words(s.edge[2]) + stepUpper * skipped;
        xLower = Words(s.edge[4]) + stepLower * (Words(s.rowStart) - Words(s.middleRow));
    }

    inline __attribute__((always_inline)) void Span(Ints& left, Ints& count, Ints& first) const
    {
        const Ints zero{};
        const Ints xShort = row < middleRow ? Ints(xUpper) : Ints(xLower);
        const Ints leftEdge = longLeft ? Ints(xLong) : xShort;
        const Ints rightEdge = longLeft ? xShort : Ints(xLong);
        left = (leftEdge >> 16) - ((leftEdge & FIXED_FRACTION) != 0);
        left = left > zero ? left : zero;
        Ints right = rightEdge >> 16;
        right = right < rightmost ? right : rightmost;
        count = right - left + 1;
        first = longLeft ? left : right;
    }

    inline __attribute__((always_inline)) void Next()
    {
        xLong += stepLong;
        xUpper += stepUpper;
        xLower += stepLower;
        row += 1;
    }
};

// The low 32 bits of (d × fraction) >> 8, as the 64-bit product gives them,
// from 32-bit products: with fraction = high × 256 + low (low in 0 to 255)
// and d = top × 65536 + bottom (bottom in 0 to 65535), the product is
// 256 × (d × high + top × low × 256) + bottom × low, whose last term is
// below 2^24. A span's 16.16 value at its first pixel is the row's edge
// value plus this of d/dx and the span's sub-pixel fraction.
inline __attribute__((always_inline)) Words SpanCorrection(const Ints& d, const Ints& fraction)
{
    const Words high = Words(fraction >> 8);
    const Words low = Words(fraction & 0xFF);
    return Words(d) * high + ((Words(d >> 16) * low) << 8) + ((Words(d & 0xFFFF) * low) >> 8);
}

// 16-bit pixels of eight lanes.
using PixelLanes = uint16_t __attribute__((vector_size(16)));

// The first n (1 to 8) of eight pixels into d on. Where all eight lie in the
// frame they are read and stored at once, those past the n as they were
// read; else the n one by one.
inline __attribute__((always_inline)) void StoreFirst(uint16_t* d, int32_t n, const PixelLanes& values,
                                                      const uint16_t* frameEnd)
{
    if (frameEnd - d >= LANES) {
        PixelLanes frame;
        std::memcpy(&frame, d, sizeof frame);
        const PixelLanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
        const PixelLanes stored = lane < uint16_t(n) ? values : frame;
        std::memcpy(d, &stored, sizeof stored);
        return;
    }
    for (int32_t i = 0; i < n; ++i)
        d[i] = values[i];
}

}  // namespace kvor3d
