// Fog members: the object colour or the texel blended toward the fog colour
// by the fog level, interpolated in floating point from the corners' depth.
#include "render/spans.h"

namespace kvor3d {

namespace {

Surface FogSurface()
{
    Surface surface{};
    surface.fogColour = PixelOfColour(Frame.fogColour);
    return surface;
}

}  // namespace

void FillFogFlat(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface = FogSurface();
    surface.colour = PixelOfColour(object->colour);
    DrawSpans<SPAN_FOG>(scan, surface);
}

void FillFogTexture(const TriangleRef* triangle)
{
    DrawTextured<SPAN_TEXEL | SPAN_FOG>(*triangle, FogSurface());
}

void FillFogPerspectiveTexture(const TriangleRef* triangle)
{
    DrawTextured<SPAN_TEXEL | SPAN_PERSPECTIVE | SPAN_FOG>(*triangle, FogSurface());
}

}  // namespace kvor3d
