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

}  // namespace

// A vertex shared by several faces carries the coordinates of the face drawn
// last.
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
    if (face->faceFlags & FACE_CLIPPED)
        ClipAndDrawFace(&triangle);
    else
        DrawTriangle(&triangle);
}

// Phases 0 and 1 draw whatever owns the triangle; later phases draw objects
// and light volumes by their flags.
void DrawTriangle(const TriangleRef* triangle)
{
    switch (Frame.renderPhase) {
    case PHASE_DEPTH:
        FillDepth(triangle);
        return;
    case PHASE_SHADOWVOLUME:
        FillShadowVolume(triangle);
        return;
    default:
        break;
    }
    const ObjectEntity* object = OwnerObject(*triangle);
    if (!object)
        return;
    const uint32_t flags = object->objectFlags;
    if (flags & OBJECT_GLOWEDGE) {
        FillGlowEdge(triangle);
    } else if (flags & OBJECT_GLOW) {
        FillEffect(triangle);
    } else {
        const Filler filler = FillerTable[(flags & FILLER_INDEX_FLAGS) | (uint32_t(Frame.fogIndexBase) & FILLER_INDEX_FOG)];
        if (filler)
            filler(triangle);
    }
}
