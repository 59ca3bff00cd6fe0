// Affine texture and environment members: 16.16 coordinates stepped per
// pixel, texels of the texture map at (u, v) or of the environment map at
// (env row, env column).
#include "render/spans.h"

namespace kvor3d {

void FillTexture(const TriangleRef* triangle)
{
    DrawTextured<SPAN_TEXEL>(*triangle, Surface{});
}

// Nearest texels only, blended into the frame.
void FillTransparentTexture(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->textureMap, 0);
    DrawTransparent<SPAN_TEXEL>(scan, *object, surface);
}

// m2 = 1 filters bilinearly, any other value takes the nearest texel. The
// texels are the environment map's own 15-bit pixels: a private 64 KB
// light-map area (OBJECT_LIGHTMAP) cannot hold a map of that size and is not
// read.
void FillEnvironment(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->environmentMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->environmentMap, 0);
    DrawFiltered<SPAN_ENVIRONMENT>(scan, surface, object->material[2] == ENVIRONMENT_BILINEAR);
}

// The nearest environment texel, blended by the colour's alpha or by the
// transparency map read at map (u, v).
void FillTransparentEnvironment(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->environmentMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->environmentMap, 0);
    DrawTransparent<SPAN_ENVIRONMENT>(scan, *object, surface);
}

bool SpanVectors = __builtin_cpu_supports("avx2");

}  // namespace kvor3d
