// Polygon set-up: the render pass's entry for every triangle, and the
// choice of its filler.
#include "render/scan.h"

namespace kvor3d {

// A vertex shared by several faces carries the coordinates of the face drawn
// last. A face that needs no clipping goes to its filler at once.
void DrawFace(Face* face)
{
    if (!face->vertices[0] || !face->vertices[1] || !face->vertices[2])
        return;
    const TriangleRef triangle = TriangleOf(*face);
    const ObjectEntity* object = OwnerObject(triangle);
    if (object)
        SetMapCoordinates(*face, *object);
    if (face->faceFlags & FACE_CLIPPED) {
        ClipAndDrawFace(&triangle);
    } else if (const Filler filler = FillerOf(object)) {
        filler(&triangle);
    }
}

void DrawTriangle(const TriangleRef* triangle)
{
    if (const Filler filler = FillerOf(OwnerObject(*triangle)))
        filler(triangle);
}

}  // namespace kvor3d
