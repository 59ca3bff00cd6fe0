// A deliberately simple reference rasteriser: the scan-conversion and pixel
// rules evaluated directly, one pixel at a time, for every member but the
// glow-edge filler. The engine's fillers must match it bit for bit.
#pragma once

#include "render/raster.h"

using namespace kvor3d;

namespace reference {

// Draws the triangle the way DrawTriangle chooses for the current render
// phase and the owner's flags, into the frame's target, depth buffer or
// shadow mask. Glow-edge objects are not drawn.
void DrawTriangle(const TriangleRef& triangle);

}  // namespace reference
