// Stencil shadows: each caster's edge table, its silhouette as seen from
// each shadow-casting light, one quad per silhouette edge reaching to the
// screen border, the depth pass, the stencil pass of the quads into the
// shadow mask, and the darkening of the masked pixels.
#include "render/stages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kvor3d {

namespace {

// The silhouette's own corners sit 2^−22 nearer than their vertices.
constexpr float SILHOUETTE_OFFSET = 2.3841858e-07f;

// The depth buffer's clear value: the bit pattern 0x00800000, the smallest
// normal float, nearer than nothing that is drawn.
constexpr float DEPTH_CLEAR = std::numeric_limits<float>::min();

// ---- Edge tables ------------------------------------------------------------------

// One corner-to-next-corner edge of a face while the table is built.
struct HalfEdge {
    uintptr_t low;   // the two end vertices' addresses, smaller first
    uintptr_t high;
    uint32_t face;
    uint32_t corner;
};

bool Before(const HalfEdge& a, const HalfEdge& b)
{
    if (a.low != b.low)
        return a.low < b.low;
    if (a.high != b.high)
        return a.high < b.high;
    if (a.face != b.face)
        return a.face < b.face;
    return a.corner < b.corner;
}

bool FaceComplete(const Face& face)
{
    return face.vertices[0] && face.vertices[1] && face.vertices[2];
}

// Builds the object's edge table: every face corner's edge to the next
// corner, edges shared by faces merged whatever their direction. An edge
// keeps its ends in the order of the first face (in face order) that uses
// it; each face records for each of its edges whether it runs the other way.
// False when memory is short; the object then has no table.
bool BuildEdgeTable(ObjectEntity& object)
{
    const uint32_t faceCount = object.faceCount;
    auto* halves = static_cast<HalfEdge*>(MemAlloc(faceCount, 3 * sizeof(HalfEdge)));
    if (!halves)
        return false;
    uint32_t count = 0;
    for (uint32_t f = 0; f < faceCount; ++f) {
        Face& face = object.faces[f];
        for (uint32_t c = 0; c < 3; ++c)
            face.edges[c] = nullptr;
        if (!FaceComplete(face))
            continue;
        for (uint32_t c = 0; c < 3; ++c) {
            const uintptr_t a = reinterpret_cast<uintptr_t>(face.vertices[c]);
            const uintptr_t b = reinterpret_cast<uintptr_t>(face.vertices[(c + 1) % 3]);
            halves[count++] = {std::min(a, b), std::max(a, b), f, c};
        }
    }
    std::sort(halves, halves + count, Before);
    uint32_t edgeCount = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (i == 0 || halves[i].low != halves[i - 1].low || halves[i].high != halves[i - 1].high)
            ++edgeCount;
    }
    auto* table = static_cast<ShadowEdge*>(MemAlloc(edgeCount, sizeof(ShadowEdge)));
    if (!table && edgeCount > 0) {
        MemFree(halves);
        for (uint32_t f = 0; f < faceCount; ++f)
            std::fill(object.faces[f].edges, object.faces[f].edges + 3, nullptr);
        return false;
    }
    ShadowEdge* edge = nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        const HalfEdge& half = halves[i];
        Face& face = object.faces[half.face];
        Vertex* from = face.vertices[half.corner];
        Vertex* to = face.vertices[(half.corner + 1) % 3];
        if (i == 0 || half.low != halves[i - 1].low || half.high != halves[i - 1].high) {
            edge = edge ? edge + 1 : table;
            edge->ends[0] = from;
            edge->ends[1] = to;
        }
        ++edge->faces;
        face.edges[half.corner] = edge;
        face.edgeDirections[half.corner] = (from == edge->ends[0] && to == edge->ends[1]) ? 0 : 1;
    }
    MemFree(halves);
    MemFree(object.edgeTable);
    object.edgeTable = table;
    object.edgeCount = edgeCount;
    return true;
}

// Counts the faces lit by a light at camera position L into the edges: a
// lit face (camera normal · L > plane distance) adds 1 and gives the edge
// its own direction, an unlit one subtracts 1. Edges no lit face touches
// keep their stored order.
void CountLitFaces(ObjectEntity& object, const float* L)
{
    for (uint32_t e = 0; e < object.edgeCount; ++e) {
        object.edgeTable[e].count = 0;
        object.edgeTable[e].direction = 0;
    }
    for (uint32_t f = 0; f < object.faceCount; ++f) {
        Face& face = object.faces[f];
        if (!face.edges[0] || !face.edges[1] || !face.edges[2])
            continue;
        const float* n = face.cameraNormal;
        const bool lit = n[0] * L[0] + n[1] * L[1] + n[2] * L[2] > face.planeDistance;
        for (int c = 0; c < 3; ++c) {
            ShadowEdge* edge = face.edges[c];
            if (lit) {
                edge->count += 1;
                edge->direction = face.edgeDirections[c];
            } else {
                edge->count -= 1;
            }
        }
    }
}

// A silhouette edge lies between a lit and an unlit face, or on the border of
// the surface. Edges with an end in front of the near plane or not in front
// of the camera make no quad: their projection says nothing about where the
// shadow falls.
bool CastsQuad(const ShadowEdge& edge)
{
    if (edge.count != 0 && edge.faces != 1)
        return false;
    const Vertex* a = edge.ends[0];
    const Vertex* b = edge.ends[1];
    return !((a->clipCode | b->clipCode) & CLIP_NEAR) && a->camera[2] > 0 && b->camera[2] > 0;
}

// ---- Quads --------------------------------------------------------------------------

struct LightView {
    float x, y;   // screen position
    float w;      // 1 / camera z
};

// The corner where a silhouette end, pushed on the screen away from the
// light, meets the screen border (a column when the push runs more across
// than down, else a row), with 1/z continued along the same line from the
// light's. A corner already beyond that border stays where it is. Along the
// projection of a ray from the light 1/z is linear on the screen, so the
// continued value is the ray's own; where it is negative the ray would have
// to pass infinity, and the stencil pass never counts it.
void PushToBorder(const LightView& light, const Vertex& end, float* point)
{
    const float x = end.screenX;
    const float y = end.screenY;
    const float dx = x - light.x;
    const float dy = y - light.y;
    float s = 0.0f;
    if (std::fabs(dx) > std::fabs(dy))
        s = ((dx > 0 ? float(Frame.width - 1) : 0.0f) - x) / dx;
    else if (dy != 0.0f)
        s = ((dy > 0 ? float(Frame.height - 1) : 0.0f) - y) / dy;
    s = std::max(s, 0.0f);
    const float t = 1.0f + s;
    const float w = light.w + t * (1.0f / end.camera[2] - light.w);
    point[0] = x + s * dx;
    point[1] = y + s * dy;
    point[2] = 1.0f / w;
}

void SetQuad(const LightView& light, const ShadowEdge& edge, ShadowQuad& quad)
{
    const Vertex* a = edge.ends[edge.direction ? 1 : 0];
    const Vertex* b = edge.ends[edge.direction ? 0 : 1];
    quad.points[0][0] = a->screenX;
    quad.points[0][1] = a->screenY;
    quad.points[0][2] = a->camera[2] - SILHOUETTE_OFFSET;
    quad.points[1][0] = b->screenX;
    quad.points[1][1] = b->screenY;
    quad.points[1][2] = b->camera[2] - SILHOUETTE_OFFSET;
    PushToBorder(light, *b, quad.points[2]);
    PushToBorder(light, *a, quad.points[3]);
}

// The quads of one caster for one light, as a block at the head of the
// light's chain. Nothing when there is no silhouette or memory is short.
void AddCasterQuads(LightEntity& light, ObjectEntity& object)
{
    if (!object.edgeTable && !BuildEdgeTable(object))
        return;
    CountLitFaces(object, &light.matrix[12]);
    uint32_t count = 0;
    for (uint32_t e = 0; e < object.edgeCount; ++e)
        count += CastsQuad(object.edgeTable[e]) ? 1 : 0;
    if (count == 0)
        return;
    auto* block = AllocRecord<ShadowQuadBlock>();
    auto* quads = static_cast<ShadowQuad*>(MemAlloc(count, sizeof(ShadowQuad)));
    if (!block || !quads) {
        MemFree(block);
        MemFree(quads);
        return;
    }
    const LightView view{light.screenX, light.screenY, 1.0f / light.depth};
    uint32_t q = 0;
    for (uint32_t e = 0; e < object.edgeCount; ++e) {
        if (CastsQuad(object.edgeTable[e]))
            SetQuad(view, object.edgeTable[e], quads[q++]);
    }
    block->count = count;
    block->quads = quads;
    block->next = light.shadowQuads;
    light.shadowQuads = block;
}

void FreeQuads(LightEntity& light)
{
    while (ShadowQuadBlock* block = light.shadowQuads) {
        light.shadowQuads = block->next;
        MemFree(block->quads);
        MemFree(block);
    }
}

// A light whose projection this frame put it in front of the camera and
// before the far plane; its screen position and depth are then current.
bool CastsShadows(const LightEntity& light)
{
    return (light.entityFlags & ENTITY_DRAWN) && (light.lightFlags & LIGHT_SHADOWS) &&
           !(light.lightFlags & (LIGHT_CLIPNEAR | LIGHT_CLIPFAR)) && light.depth > 0;
}

bool IsCaster(Entity* entity)
{
    const ObjectEntity* object = ObjectOf(entity);
    return object && (object->entityFlags & ENTITY_DRAWN) && object->faces && object->faceCount > 0 &&
           (object->objectFlags & OBJECT_SHADOWCASTER);
}

// ---- Stencil pass --------------------------------------------------------------------

uint16_t ScreenCode(const Vertex& v)
{
    uint16_t code = 0;
    if (v.screenX < 0)
        code |= CLIP_LEFT;
    else if (v.screenX > float(Frame.width - 1))
        code |= CLIP_RIGHT;
    if (v.screenY < 0)
        code |= CLIP_TOP;
    else if (v.screenY > float(Frame.height - 1))
        code |= CLIP_BOTTOM;
    return code;
}

// One triangle of a quad: +1 when (c.y − b.y)(a.x − b.x) ≤ (a.y − b.y)(c.x − b.x),
// else −1, into the shadow mask where it lies in front of the scene.
void DrawVolumeTriangle(const float* a, const float* b, const float* c)
{
    Vertex corners[3] = {};
    const float* points[3] = {a, b, c};
    uint16_t codes = 0;
    for (int i = 0; i < 3; ++i) {
        corners[i].screenX = points[i][0];
        corners[i].screenY = points[i][1];
        corners[i].camera[2] = points[i][2];
        corners[i].clipCode = ScreenCode(corners[i]);
        codes |= corners[i].clipCode;
    }
    const bool positive = (c[1] - b[1]) * (a[0] - b[0]) <= (a[1] - b[1]) * (c[0] - b[0]);
    const TriangleRef triangle{{&corners[0], &corners[1], &corners[2]}, nullptr, 0, int8_t(positive ? 1 : -1)};
    if (codes)
        ClipAndDrawFace(&triangle);
    else
        DrawTriangle(&triangle);
}

}  // namespace

void FreeShadowVolumes(Scene* scene)
{
    if (!scene)
        return;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (LightEntity* light = LightOf(entity))
            FreeQuads(*light);
    }
}

void BuildShadowVolumes(Scene* scene)
{
    FreeShadowVolumes(scene);
    if (!scene)
        return;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        LightEntity* light = LightOf(entity);
        if (!light || !CastsShadows(*light))
            continue;
        for (Entity* caster = scene->entities; caster; caster = caster->next) {
            if (IsCaster(caster))
                AddCasterQuads(*light, *ObjectOf(caster));
        }
    }
}

bool DrawShadowPass(Scene* scene, XView* view)
{
    const uint32_t pixels = uint32_t(view->width) * uint32_t(view->height);
    if (!view->depthBuffer)
        view->depthBuffer = static_cast<float*>(MemAlloc(pixels, sizeof(float)));
    if (!view->shadowMask)
        view->shadowMask = static_cast<uint8_t*>(MemAlloc(pixels, 1));
    if (!view->depthBuffer || !view->shadowMask) {
        Frame.depthBuffer = nullptr;
        Frame.shadowMask = nullptr;
        return false;
    }
    std::fill(view->depthBuffer, view->depthBuffer + pixels, DEPTH_CLEAR);
    Frame.depthBuffer = view->depthBuffer;
    Frame.shadowMask = view->shadowMask;

    Frame.renderPhase = PHASE_DEPTH;
    const uint32_t entries = std::min(scene->drawCount, scene->polygonCapacity);
    for (uint32_t i = 0; scene->drawList && i < entries; ++i) {
        if (scene->drawList[i].type == DRAW_FACE)
            DrawFace(scene->drawList[i].face);
    }

    Frame.renderPhase = PHASE_SHADOWVOLUME;
    std::memset(view->shadowMask, 0, pixels);
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        const LightEntity* light = LightOf(entity);
        if (!light || !(light->lightFlags & LIGHT_SHADOWS))
            continue;
        for (const ShadowQuadBlock* block = light->shadowQuads; block; block = block->next) {
            for (uint32_t q = 0; q < block->count; ++q) {
                const auto& p = block->quads[q].points;
                DrawVolumeTriangle(p[0], p[1], p[2]);
                DrawVolumeTriangle(p[0], p[2], p[3]);
            }
        }
    }
    return true;
}

// Written without a branch per pixel, so that the loop runs on whole
// vectors of pixels.
void DarkenShadows(const XView* view)
{
    const uint8_t* mask = view->shadowMask;
    uint16_t* target = Frame.target;
    const size_t pixels = size_t(view->width) * size_t(view->height);
    for (size_t i = 0; i < pixels; ++i)
        target[i] = uint16_t(target[i] & (uint16_t(mask[i] != 0) - 1u));
}

void FreeShadowBuffers(XView* view)
{
    MemFree(view->depthBuffer);
    MemFree(view->shadowMask);
    view->depthBuffer = nullptr;
    view->shadowMask = nullptr;
    Frame.depthBuffer = nullptr;
    Frame.shadowMask = nullptr;
}

}  // namespace kvor3d
