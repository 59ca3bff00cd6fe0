// Polygon set-up: the render pass's entry for every triangle, and the
// choice of its filler.
#include "render/scan.h"

namespace {

constexpr uint32_t FILLER_INDEX_FLAGS = 0x3F;
constexpr uint32_t FILLER_INDEX_FOG = 0x40;

// Objects that read map coordinates: textured, bump mapped, or transparent
// with a transparency map.
bool ReadsMapCoordinates(const ObjectEntity& object)
{
    const uint32_t flags = object.objectFlags;
    return (flags & (OBJECT_TEXTURE | OBJECT_BUMP)) || ((flags & OBJECT_TRANSPARENT) && object.transparencyMap);
}

// The filler of a triangle owned by `owner` in the current render phase:
// phases 0 and 1 draw whatever owns the triangle; later phases draw objects
// and light volumes by their flags. Null when nothing is drawn.
Filler FillerOf(const ObjectEntity* object)
{
    switch (Frame.renderPhase) {
    case PHASE_DEPTH:
        return FillDepth;
    case PHASE_SHADOWVOLUME:
        return FillShadowVolume;
    default:
        break;
    }
    if (!object)
        return nullptr;
    const uint32_t flags = object->objectFlags;
    if (flags & OBJECT_GLOWEDGE)
        return FillGlowEdge;
    if (flags & OBJECT_GLOW)
        return FillEffect;
    return FillerTable[(flags & FILLER_INDEX_FLAGS) | (uint32_t(Frame.fogIndexBase) & FILLER_INDEX_FOG)];
}

}  // namespace

// A vertex shared by several faces carries the coordinates of the face drawn
// last. A face that needs no clipping goes to its filler at once.
void DrawFace(Face* face)
{
    if (!face->vertices[0] || !face->vertices[1] || !face->vertices[2])
        return;
    const TriangleRef triangle = TriangleOf(*face);
    const ObjectEntity* object = OwnerObject(triangle);
    if (object && ReadsMapCoordinates(*object)) {
        for (int i = 0; i < 3; ++i) {
            face->vertices[i]->mapU = face->uv[i][0];
            face->vertices[i]->mapV = face->uv[i][1];
        }
    }
    if (face->faceFlags & FACE_CLIPPED) {
        ClipAndDrawFace(&triangle);
    } else if (const Filler filler = FillerOf(object)) {
        filler(&triangle);
    }
}

bool DrawsFlat(const ObjectEntity& object)
{
    return !ReadsMapCoordinates(object) && FillerOf(&object) == FillFlat;
}

void DrawTriangle(const TriangleRef* triangle)
{
    if (const Filler filler = FillerOf(OwnerObject(*triangle)))
        filler(triangle);
}
