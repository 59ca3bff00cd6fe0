// Perspective-correct texture members: u and v exact every 2^k pixels,
// affine between.
#include "render/spans.h"

namespace kvor3d {

void FillPerspectiveTexture(const TriangleRef* triangle)
{
    DrawTextured<SPAN_TEXEL | SPAN_PERSPECTIVE>(*triangle, Surface{});
}

// Nearest texels only, blended into the frame.
void FillTransparentPerspectiveTexture(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->textureMap, 0);
    surface.pieceShift = PieceShiftOf(*object);
    DrawTransparent<SPAN_TEXEL | SPAN_PERSPECTIVE>(scan, *object, surface);
}

}  // namespace kvor3d
