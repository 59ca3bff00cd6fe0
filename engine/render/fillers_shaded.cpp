// Gouraud members: the corners' lit colours interpolated as three 16.16
// channels.
#include "render/spans.h"

namespace kvor3d {

// The lit colour times the object colour, channel by channel.
void FillShaded(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.shadeColour = object->colour;
    DrawSpans<SPAN_SHADE>(scan, surface);
}

// Nearest texels scaled by the lit colour; m1 is not read.
void FillShadedTexture(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->textureMap, 0);
    DrawSpans<SPAN_SHADE | SPAN_TEXEL>(scan, surface);
}

void FillShadedPerspectiveTexture(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->textureMap, 0);
    surface.pieceShift = PieceShiftOf(*object);
    DrawSpans<SPAN_SHADE | SPAN_TEXEL | SPAN_PERSPECTIVE>(scan, surface);
}

}  // namespace kvor3d
