// Flat members: one colour over the triangle, written or blended.
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace {

// 16 pixels stored at once, at any pixel address.
using PixelBlock = uint16_t __attribute__((vector_size(32), aligned(2), may_alias));
constexpr int64_t BLOCK_PIXELS = 16;
constexpr uintptr_t BLOCK_BYTES = 32;

// Up to 63 pixels of one value (at least one): words of four pixels, the
// last one ending at the span's end and overlapping the one before, and
// shorter spans as two overlapping halves. A span of a small triangle is a
// few pixels long, and a loop that runs pixel by pixel costs more than the
// stores.
inline void FillShortSpan(uint16_t* d, int64_t count, uint16_t pixel)
{
    const uint64_t four = uint64_t(pixel) * 0x0001000100010001u;
    if (count >= 4) {
        uint16_t* const last = d + count - 4;
        for (; d < last; d += 4)
            std::memcpy(d, &four, sizeof four);
        std::memcpy(last, &four, sizeof four);
    } else if (count >= 2) {
        const uint32_t two = uint32_t(four);
        std::memcpy(d, &two, sizeof two);
        std::memcpy(d + count - 2, &two, sizeof two);
    } else {
        *d = pixel;
    }
}

// All ones where the condition holds, else zero: choices made by masks
// rather than jumps, where neither way is more likely.
inline int64_t MaskOf(bool condition)
{
    return -int64_t(condition);
}

// The spans of the rows of a triangle in the frame, in one pixel value.
// A span's pixels are the same whichever edge it starts from, so every row
// runs from its left edge to its right one: of the long edge and the upper
// or lower short edge, the left one by a mask and the right one as the
// other. The short edges are followed side by side, each from its own start
// (n steps of 32-bit additions wrap as one advance by n steps does). Spans
// of small triangles are a few pixels long: up to four go as four
// single-pixel stores to the span's first pixel, its last and the two
// between clamped to the last, an empty one as the same stores to a spare
// pixel, so that neither the length nor the emptiness picks a path.
[[gnu::always_inline]] inline void FillFlatRows(const ScanTriangle& s, uint16_t pixel)
{
    constexpr int64_t STORED = 4;
    const int64_t width = Frame.width;
    const int64_t lastRow = std::min<int64_t>(s.lastRow, int64_t(Frame.height) - 1);
    int64_t row = std::max<int64_t>(s.firstRow, 0);
    if (row > lastRow || width <= 0)
        return;
    const int64_t middleRow = s.middleRow;
    const int32_t longLeft = int32_t(MaskOf(s.longLeft));
    int32_t xLong = FixedAdvance(s.xLong, s.stepLong, row - s.firstRow);
    int32_t xUpper = FixedAdvance(s.xUpper, s.stepUpper, row - s.firstRow);
    int32_t xLower = FixedAdvance(s.xLower, s.stepLower, row - middleRow);
    uint16_t* line = Frame.target + row * width;
    uint16_t spare;
    const uintptr_t spareAddress = reinterpret_cast<uintptr_t>(&spare);
    for (; row <= lastRow; ++row, line += width) {
        const int32_t upper = int32_t(MaskOf(row < middleRow));
        const int32_t xShort = (xUpper & upper) | (xLower & ~upper);
        const int32_t leftEdge = (xLong & longLeft) | (xShort & ~longLeft);
        const int32_t rightEdge = xLong ^ xShort ^ leftEdge;
        const int64_t left = std::max<int64_t>((int64_t(leftEdge) + FIXED_FRACTION) >> 16, 0);
        const int64_t right = std::min<int64_t>(rightEdge >> 16, width - 1);
        const int64_t count = right - left + 1;
        if (count > STORED) {
            if (count < LONG_SPAN)
                FillShortSpan(line + left, count, pixel);
            else
                FillLongSpan(line + left, count, pixel);
        } else {
            const int64_t drawn = MaskOf(count > 0);
            const uintptr_t first = reinterpret_cast<uintptr_t>(line + left);
            uint16_t* const d = reinterpret_cast<uint16_t*>((first & drawn) | (spareAddress & ~drawn));
            const int64_t end = (count - 1) & drawn;
            d[0] = pixel;
            d[end != 0] = pixel;
            d[end - (end == STORED - 1)] = pixel;
            d[end] = pixel;
        }
        xLong = FixedAdd(xLong, s.stepLong);
        xUpper = FixedAdd(xUpper, s.stepUpper);
        xLower = FixedAdd(xLower, s.stepLower);
    }
}

}  // namespace

// Long fills are bound by the stores: 32 bytes at a time, aligned to 32
// bytes so that no store straddles a cache line, with one unaligned store
// at each end overlapping the aligned ones. The compiler makes an AVX2 clone
// beside the baseline one, and the loader picks the clone on processors that
// have it.
__attribute__((target_clones("avx2", "default"))) void FillLongSpan(uint16_t* d, int64_t count, uint16_t pixel)
{
    const PixelBlock block = PixelBlock{} + pixel;
    uint16_t* const end = d + count;
    *reinterpret_cast<PixelBlock*>(d) = block;
    *reinterpret_cast<PixelBlock*>(end - BLOCK_PIXELS) = block;
    const uintptr_t skip = BLOCK_BYTES - (reinterpret_cast<uintptr_t>(d) & (BLOCK_BYTES - 1));
    for (uint16_t* p = d + skip / sizeof(uint16_t); p + BLOCK_PIXELS <= end; p += BLOCK_PIXELS)
        *reinterpret_cast<PixelBlock*>(p) = block;
}

// Draws the rows of any triangle whose corners span rows, zero area included.
void FillFlat(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpScan(*triangle, scan))
        return;
    FillFlatRows(scan, uint16_t(PixelOfColour(object->colour)));
}

void FillFlatCorners(const float (*corners)[2], const ObjectEntity& object)
{
    ScanTriangle scan;
    if (!Frame.target || !SetUpPositions(corners, scan))
        return;
    FillFlatRows(scan, uint16_t(PixelOfColour(object.colour)));
}

// By the colour's alpha the triangle needs no area; by the transparency map
// it interpolates u and v and does.
void FillTransparentFlat(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpScan(*triangle, scan))
        return;
    if (object->transparencyMap && scan.area == 0.0f)
        return;
    Surface surface{};
    surface.colour = PixelOfColour(object->colour);
    DrawTransparent<0>(scan, *object, surface);
}
