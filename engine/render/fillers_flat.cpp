// Flat members: one colour over the triangle, written or blended.
#include "render/spans.h"

#include <algorithm>

namespace {

// 16 pixels stored at once, at any pixel address.
using PixelBlock = uint16_t __attribute__((vector_size(32), aligned(2), may_alias));
constexpr int64_t BLOCK_PIXELS = 16;
constexpr uintptr_t BLOCK_BYTES = 32;

// Spans of one pixel value: plain fills, whatever the drawing direction.
struct FlatRows {
    uint16_t* target;
    int64_t width;
    bool leftToRight;
    uint16_t pixel;

    void Span(int64_t row, int64_t start, int64_t count, int32_t)
    {
        const int64_t left = leftToRight ? start : start - count + 1;
        FillPixels(target + row * width + left, count, pixel);
    }
    void NextRow() {}
    void SkipRows(int64_t) {}
};

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
    FlatRows rows{Frame.target, Frame.width, scan.longLeft, uint16_t(PixelOfColour(object->colour))};
    ScanRows(scan, rows);
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
