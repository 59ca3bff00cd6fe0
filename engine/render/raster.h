// The rasteriser: clipping, triangle set-up, filler dispatch and the span
// fillers. This header is the contract between the geometry front end and
// the rasteriser. A filler reads only what it names: the triangle record
// below, the corners' screen position, camera z, env row and column, map u
// and v and lit colour, the owner's colour, maps, material words, glow and
// volume fields, and the frame constants (target, size, fog values, the
// phase, and the depth buffer and shadow mask of the shadow pass).
#pragma once

#include "render.h"
#include "../scene/scene.h"

#include <array>
#include <cstdint>

namespace kvor3d {

// Whether the AVX2 pixel loops run, the span fillers' and the sprites': set
// at start-up from the processor's features; tests turn it off to compare
// both paths.
extern bool SpanVectors;

// ---- The triangle a filler receives ------------------------------------------------

// One screen-space triangle: a face's corners and owner, or a fan triangle of
// the clipper whose corners lie in the clip buffers.
struct TriangleRef {
    const Vertex* corners[3];
    const Entity* owner;      // the object or light volume whose flags, colour and maps are used
    uint32_t effectOffset;    // a light-volume slice's voxel offset (effect fillers)
    int8_t windingSign;       // +1 or −1 (shadow-volume filler)
};

// The triangle record of a face.
inline TriangleRef TriangleOf(const Face& face)
{
    return {{face.vertices[0], face.vertices[1], face.vertices[2]}, face.owner, face.effectOffset, face.windingSign};
}

// Face flag bit 31: some corner has a clip code, so the face is clipped.
constexpr uint32_t FACE_CLIPPED = 0x80000000;

// Render phases that choose a filler before the object's flags do.
constexpr int32_t PHASE_DEPTH = 0;
constexpr int32_t PHASE_SHADOWVOLUME = 1;
constexpr int32_t PHASE_MAIN = 2;
constexpr int32_t PHASE_GLOW = 3;

// Glow-edge pixels: covered in the main pass, then examined in the glow pass.
constexpr uint16_t GLOWEDGE_COVERED = 0xFF00;
constexpr uint16_t GLOWEDGE_DONE = 0xFE00;

// ---- Entries -----------------------------------------------------------------------

// The one entry of the render pass: copies the face's (u, v) pairs into its
// corners when the owner is textured, bump mapped or has a transparency map,
// then draws the face through ClipAndDrawFace when FACE_CLIPPED is set, else
// through DrawTriangle.
void DrawFace(Face* face);

// Draws one triangle whose corners lie on the screen with the filler chosen by
// the render phase, the owner's glow-edge and glow bits, or FillerTable.
void DrawTriangle(const TriangleRef* triangle);

// Triangles drawn by FillFlatCornerBatch at most at once.
constexpr int32_t FLAT_BATCH = 8;

// FillFlat of triangles 0 to count − 1 (at most FLAT_BATCH) in their order,
// triangle i of objects[i] with its corners' screen positions as (x, y)
// pairs in corners[i]: their set-ups made side by side, then their rows.
void FillFlatCornerBatch(const float (*const* corners)[2], const ObjectEntity* const* objects, int32_t count);

// Triangles drawn by FillShadedBatch at most at once.
constexpr int32_t SHADED_BATCH = 8;

// FillShaded of triangles 0 to count − 1 (at most SHADED_BATCH) in their
// order: their set-ups made side by side, then their rows. With SpanVectors
// off the same lanes run without AVX2.
void FillShadedBatch(const TriangleRef* triangles, int32_t count);

// Faces drawn by FillPerspectiveTextureBatch at most at once.
constexpr int32_t TEXTURE_BATCH = 8;

// DrawFace of faces 0 to count − 1 (at most TEXTURE_BATCH) in their order.
// Where each has all corners, needs no clipping and is owned by an object
// that DrawsPerspectiveNearest, their set-ups are made side by side from
// the faces' own map coordinates, then their rows; each face's coordinates
// go into its corners before it is drawn, as DrawFace puts them. With
// SpanVectors off the same lanes run without AVX2.
void FillPerspectiveTextureBatch(Face* const* faces, int32_t count);

// Called after each triangle of a batch is drawn, with its index in the
// batch: what the caller does after each face comes between the faces.
using TriangleDone = void (*)(void* context, int32_t index);

// Faces drawn by FillAffineBatch at most at once.
constexpr int32_t AFFINE_BATCH = 8;

// DrawFace of faces 0 to count − 1 (at most AFFINE_BATCH) whose objects
// DrawsAffine, in their order, done(context, i) after face i when done is
// not null. Where each has all corners, needs no clipping and has a map
// that can be addressed, their set-ups are made side by side (from the
// faces' own map coordinates where the objects read them), then their
// rows; each face's coordinates go into its corners before it is drawn, as
// DrawFace puts them. With SpanVectors off the same lanes run without AVX2.
void FillAffineBatch(Face* const* faces, int32_t count, TriangleDone done, void* context);

// Clips the triangle against the near and far planes, then the screen's
// columns, then its rows, and draws the clipped polygon as a fan of
// triangles through DrawTriangle.
void ClipAndDrawFace(const TriangleRef* triangle);

// ---- Clipping ----------------------------------------------------------------------

// A triangle clipped by six planes has at most 9 corners.
constexpr int CLIP_MAXCORNERS = 9;

// Written and read by ClipTriangle, alternately by its stages.
extern Vertex ClipBuffers[2][CLIP_MAXCORNERS];

// The three stages on the triangle: the clipped polygon's corners are
// ClipBuffers[0][0 ..] until the next clip. Returns their count, less than
// 3 when nothing of the triangle is left.
int ClipTriangle(const TriangleRef* triangle);

// The clipping stages. Each writes the clipped polygon into `out` (room for
// CLIP_MAXCORNERS corners) and returns its corner count; a stage that would
// produce more corners (possible only through rounding) keeps the first
// CLIP_MAXCORNERS.
// Near and far planes in camera space, on the triangle's three corners.
int ClipNearFar(const TriangleRef* triangle, Vertex* out);
// Screen columns 0 and width − 1.
int ClipColumns(const Vertex* in, int count, Vertex* out);
// Screen rows 0 and height − 1.
int ClipRows(const Vertex* in, int count, Vertex* out);

// ---- Fillers -----------------------------------------------------------------------

// A span filler: draws one triangle into the frame's target buffer (or the
// depth buffer or shadow mask). It never writes outside its buffer, whatever
// the corners hold.
using Filler = void (*)(const TriangleRef*);

constexpr int FILLER_ROWS = 128;

// Filler of each index (objectFlags & 0x3F) | fogIndexBase; null where the
// object is not drawn. Constant; read by DrawTriangle.
extern const std::array<Filler, FILLER_ROWS> FillerTable;

// Table members (rows in brackets). Members with a sub-choice make it once
// per triangle: the filter from material word m1 (bits 0-1: bilinear,
// mip-mapped), the environment filter from m2 = 1, the blend weight from
// the transparency map when the object has one, else from colour >> 27.
void FillFlat(const TriangleRef* triangle);                          // 0, 16
void FillTransparentFlat(const TriangleRef* triangle);               // 1, 17
void FillTexture(const TriangleRef* triangle);                       // 2
void FillTransparentTexture(const TriangleRef* triangle);            // 3
void FillEnvironment(const TriangleRef* triangle);                   // 4, 20
void FillTransparentEnvironment(const TriangleRef* triangle);        // 5, 21
void FillPerspectiveTexture(const TriangleRef* triangle);            // 18
void FillTransparentPerspectiveTexture(const TriangleRef* triangle); // 19
void FillShaded(const TriangleRef* triangle);                        // 32, 48
void FillShadedTexture(const TriangleRef* triangle);                 // 34
void FillShadedPerspectiveTexture(const TriangleRef* triangle);      // 50
void FillFogFlat(const TriangleRef* triangle);                       // 64, 80
void FillFogTexture(const TriangleRef* triangle);                    // 66
void FillFogPerspectiveTexture(const TriangleRef* triangle);         // 82

// Members of the render pass's other phases and records.
// Phase 0: 1/z into the depth buffer where it is nearer.
void FillDepth(const TriangleRef* triangle);
// Phase 1: the winding sign into the shadow mask where the triangle lies in
// front of the depth buffer's surface.
void FillShadowVolume(const TriangleRef* triangle);
// Object flag bit 7: marks covered pixels (phase 2) and stamps the glow
// sprite at silhouette pixels (phase 3).
void FillGlowEdge(const TriangleRef* triangle);
// Object flag bit 31: light-volume slices, textured from the density voxels
// when volumeFlags bit 1 is set, else a transparent flat.
void FillEffect(const TriangleRef* triangle);

// ---- Filler choice ------------------------------------------------------------------

constexpr uint32_t FILLER_INDEX_FLAGS = 0x3F;
constexpr uint32_t FILLER_INDEX_FOG = 0x40;

// Objects that read map coordinates: textured, bump mapped, or transparent
// with a transparency map.
inline bool ReadsMapCoordinates(const ObjectEntity& object)
{
    const uint32_t flags = object.objectFlags;
    return (flags & (OBJECT_TEXTURE | OBJECT_BUMP)) || ((flags & OBJECT_TRANSPARENT) && object.transparencyMap);
}

// The face's map coordinates into its corners, where its object reads them,
// as DrawFace puts them before drawing it.
inline void SetMapCoordinates(Face& face, const ObjectEntity& object)
{
    if (!ReadsMapCoordinates(object))
        return;
    for (int j = 0; j < 3; ++j) {
        face.vertices[j]->mapU = face.uv[j][0];
        face.vertices[j]->mapV = face.uv[j][1];
    }
}

// A face that needs no clipping on the corners a, b and c of a clipped
// polygon, each corner's map coordinates its own: what DrawFace draws of it
// is DrawTriangle of the triangle.
inline Face FanFace(const Vertex* a, const Vertex* b, const Vertex* c, const Entity* owner)
{
    Face face{};
    const Vertex* corners[3] = {a, b, c};
    for (int j = 0; j < 3; ++j) {
        face.vertices[j] = const_cast<Vertex*>(corners[j]);
        face.uv[j][0] = corners[j]->mapU;
        face.uv[j][1] = corners[j]->mapV;
    }
    face.owner = const_cast<Entity*>(owner);
    return face;
}

// The filler of a triangle owned by `owner` in the current render phase:
// phases 0 and 1 draw whatever owns the triangle; later phases draw objects
// and light volumes by their flags. Null when nothing is drawn.
inline Filler FillerOf(const ObjectEntity* object)
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

// Whether DrawFace draws an unclipped face of the object with FillShaded in
// the current render phase; then FillShadedBatch draws the same pixels.
inline bool DrawsShaded(const ObjectEntity& object)
{
    return !ReadsMapCoordinates(object) && FillerOf(&object) == FillShaded;
}

// Whether DrawFace draws an unclipped face of the object with one of the
// affine members FillTexture, FillTransparentTexture, FillShadedTexture,
// FillEnvironment and FillTransparentEnvironment in the current render phase.
inline bool DrawsAffine(const ObjectEntity& object)
{
    const Filler filler = FillerOf(&object);
    return filler == FillTexture || filler == FillTransparentTexture || filler == FillShadedTexture ||
           filler == FillEnvironment || filler == FillTransparentEnvironment;
}

// Whether DrawFace draws an unclipped face of the object with
// FillPerspectiveTexture or FillShadedPerspectiveTexture on nearest texels
// of level 0 of a map it can address.
bool DrawsPerspectiveNearest(const ObjectEntity& object);

// Whether DrawFace draws an unclipped face of the object with FillFlat in
// the current render phase and gives its corners no map coordinates; then
// FillFlatCornerBatch draws the same pixels from the corners' positions.
inline bool DrawsFlat(const ObjectEntity& object)
{
    return !ReadsMapCoordinates(object) && FillerOf(&object) == FillFlat;
}

}  // namespace kvor3d
