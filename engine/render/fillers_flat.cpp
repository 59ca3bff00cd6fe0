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

// Spans of one pixel value: plain fills, whatever the drawing direction.
struct FlatRows {
    uint16_t* target;
    int64_t width;
    bool leftToRight;
    uint16_t pixel;

    void Span(int64_t row, int64_t start, int64_t count, int32_t)
    {
        const int64_t left = leftToRight ? start : start - count + 1;
        uint16_t* const d = target + row * width + left;
        if (count < LONG_SPAN)
            FillShortSpan(d, count, pixel);
        else
            FillLongSpan(d, count, pixel);
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
