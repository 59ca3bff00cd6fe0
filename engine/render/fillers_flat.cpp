// Flat members: one colour over the triangle, written or blended.
#include "render/spans.h"

#include <algorithm>

namespace {

// Spans of one pixel value: plain fills, whatever the drawing direction.
struct FlatRows {
    uint16_t* target;
    int64_t width;
    bool leftToRight;
    uint16_t pixel;

    void Span(int64_t row, int64_t start, int64_t count, int32_t)
    {
        const int64_t left = leftToRight ? start : start - count + 1;
        std::fill_n(target + row * width + left, count, pixel);
    }
    void NextRow() {}
    void SkipRows(int64_t) {}
};

}  // namespace

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
