// Members of the render pass's other phases and records: the depth and
// shadow-volume fillers of the shadow pass, and the effect fillers that draw
// light-volume slices.
#include "render/spans.h"

namespace kvor3d {

namespace {

// Rows of the shadow pass: w = 1/z interpolated in floating point against
// the depth buffer, which holds the nearest surface's w (larger is nearer).
// The depth filler keeps the larger w; the shadow-volume filler counts its
// winding sign into the mask where it lies in front.
template <bool SHADOW>
struct DepthRows {
    Plane w;
    float edge;
    float step;
    float* depth;
    uint8_t* mask;
    uint8_t sign;
    int64_t width;
    ptrdiff_t direction;

    void Span(int64_t row, int64_t start, int64_t count, int32_t xLong)
    {
        float q = edge + w.dx * SpanDistance(start, xLong);
        ptrdiff_t i = ptrdiff_t(row * width + start);
        for (; count > 0; --count, i += direction, q += step) {
            if constexpr (SHADOW) {
                if (depth[i] < q)
                    mask[i] = uint8_t(mask[i] + sign);
            } else {
                if (depth[i] < q)
                    depth[i] = q;
            }
        }
    }
    void NextRow() { edge += w.dy; }
    void SkipRows(int64_t n) { edge += float(n) * w.dy; }
};

template <bool SHADOW>
void DrawDepth(const TriangleRef& triangle)
{
    ScanTriangle scan;
    if (!Frame.depthBuffer || (SHADOW && !Frame.shadowMask) || !SetUpInterpolating(triangle, scan))
        return;
    const Plane w = PlaneOf(scan, 1.0f / scan.top->camera[2], 1.0f / scan.middle->camera[2],
                            1.0f / scan.bottom->camera[2]);
    DepthRows<SHADOW> rows{w,
                           w.edge,
                           scan.longLeft ? w.dx : -w.dx,
                           Frame.depthBuffer,
                           Frame.shadowMask,
                           uint8_t(triangle.windingSign),
                           Frame.width,
                           scan.longLeft ? 1 : -1};
    ScanRows(scan, rows);
}

// The slice's voxels, when the index of every (u, v) stays inside the grid
// and the shifts inside a word.
bool VoxelsOf(const VolumeEntity& volume, uint32_t offset, VoxelMap& voxels)
{
    if (!(volume.volumeFlags & VOLUME_DENSITYVOXELS) || !volume.densityVoxels)
        return false;
    if (volume.uShift > 31 || volume.vShift > 31)
        return false;
    const uint64_t cells = uint64_t(volume.counts[0]) * volume.counts[1] * volume.counts[2];
    if (uint64_t(offset) + volume.uMask + volume.vMask >= cells)
        return false;
    voxels = {volume.densityVoxels + offset, volume.uShift, volume.vShift, volume.uMask, volume.vMask};
    return true;
}

}  // namespace

void FillDepth(const TriangleRef* triangle)
{
    DrawDepth<false>(*triangle);
}

void FillShadowVolume(const TriangleRef* triangle)
{
    DrawDepth<true>(*triangle);
}

// A volume slice with density voxels (volumeFlags bit 1) is blended by the
// density at its interpolated voxel coordinates; otherwise the slice is a
// transparent flat of the volume colour by its alpha. An object that is not
// a light volume but carries the glow bit without the glow-edge bit gets the
// plain one with its own colour.
void FillEffect(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpScan(*triangle, scan))
        return;
    const VolumeEntity* volume = object->kind == ENTITY_VOLUME ? static_cast<const VolumeEntity*>(object) : nullptr;
    const uint32_t colour = volume ? volume->volumeColour : object->colour;
    Surface surface{};
    surface.colour = PixelOfColour(colour);
    if (volume && (volume->volumeFlags & VOLUME_DENSITYVOXELS)) {
        if (scan.area != 0.0f && VoxelsOf(*volume, triangle->effectOffset, surface.voxels))
            DrawSpans<SPAN_VOXEL>(scan, surface);
        return;
    }
    surface.alpha = AlphaOf(colour);
    DrawSpans<SPAN_ALPHA>(scan, surface);
}

}  // namespace kvor3d
