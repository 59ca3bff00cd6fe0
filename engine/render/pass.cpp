// RenderScene: the phases of one frame in their order, the main pass over
// the sorted draw list with the markers of lights and vertex glints, their
// visibility test after every face is drawn, and the motion-blur mix.
#include "render/stages.h"

#include <algorithm>
#include <cmath>

namespace kvor3d {

RenderProfile Profile;

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int32_t FOG_INDEX_BASE = 64;
// Vertex normals are about 127 long.
constexpr double NORMAL_LENGTH = 127.0;

// The frame constants describe this view: PrepareScene ran for it, so every
// coordinate the fillers and markers get fits its buffers.
bool FrameOfView(const XView& view)
{
    const uint16_t* drawn = (view.flags & XVIEW_DOUBLEBUFFER) ? view.bufferB : view.current;
    return Frame.target && Frame.target == drawn && Frame.width == view.width && Frame.height == view.height &&
           Frame.width > 0 && Frame.height > 0;
}

bool FaceComplete(const Face& face)
{
    return face.vertices[0] && face.vertices[1] && face.vertices[2];
}

// A glint shows where the vertex normal turns toward the camera by the
// object's sprite angle at most, cz being the normal's camera z. A normal a
// little longer than 127 counts as pointing straight at the camera.
bool GlintFacesCamera(const ObjectEntity& object, const Vertex& v, const GlintCone& cone)
{
    const float cz = v.normal[0] * object.unitRows[0][2] + v.normal[1] * object.unitRows[1][2] +
                     v.normal[2] * object.unitRows[2][2];
    return cone.Within(std::clamp(cz / NORMAL_LENGTH, -1.0, 1.0));
}

// Each corner is examined once per frame. An accepted one is marked and
// listed; drawing a further face over the same vertex marks it again.
void MarkGlints(Face& face, const ObjectEntity& object, const GlintCone& cone, SpriteList& sprites)
{
    uint16_t* target = Frame.target;
    for (int corner = 0; corner < 3; ++corner) {
        Vertex* v = face.vertices[corner];
        size_t index;
        if (v->vertexValue & GLINT_EXAMINED) {
            if ((v->vertexValue & GLINT_ACCEPTED) && FramePixel(v->screenX, v->screenY, &index))
                target[index] = MARKER_PIXEL;
            continue;
        }
        v->vertexValue |= GLINT_EXAMINED;
        if (v->clipCode == 0 && GlintFacesCamera(object, *v, cone) && FramePixel(v->screenX, v->screenY, &index) &&
            sprites.Append({DRAW_GLINT, float(corner), &face, nullptr})) {
            v->vertexValue |= GLINT_ACCEPTED;
            v->savedPixel = target[index];
            target[index] = MARKER_PIXEL;
        }
    }
}

// A light with an effect keeps the pixel under it and marks it.
void MarkLight(const DrawEntry& entry, SpriteList& sprites)
{
    LightEntity* light = LightOf(entry.light);
    size_t index;
    if (!light || !light->effect || !FramePixel(light->screenX, light->screenY, &index) || !sprites.Append(entry))
        return;
    light->savedPixel = Frame.target[index];
    Frame.target[index] = MARKER_PIXEL;
}

// A face of the object needs nothing but its pixels in the main pass: a
// flat face with neither glints nor a glow entry.
bool OnlyFlat(const ObjectEntity& object)
{
    const uint32_t flags = object.objectFlags;
    return DrawsFlat(object) && !((flags & OBJECT_SPRITEEFFECT) && object.spriteEffect) && !(flags & OBJECT_GLOW);
}

// A face of the object needs nothing but its pixels in the main pass and
// those from FillShaded.
bool OnlyShaded(const ObjectEntity& object)
{
    const uint32_t flags = object.objectFlags;
    return DrawsShaded(object) && !((flags & OBJECT_SPRITEEFFECT) && object.spriteEffect) && !(flags & OBJECT_GLOW);
}

// The same for the perspective-textured fill on nearest texels.
bool OnlyPerspectiveNearest(const ObjectEntity& object)
{
    const uint32_t flags = object.objectFlags;
    return !((flags & OBJECT_SPRITEEFFECT) && object.spriteEffect) && !(flags & OBJECT_GLOW) &&
           DrawsPerspectiveNearest(object);
}

// The same for the affine fills, whose faces may have glints: those are
// marked after each face as after a face drawn alone.
bool OnlyAffine(const ObjectEntity& object)
{
    return !(object.objectFlags & OBJECT_GLOW) && DrawsAffine(object);
}

// Records are fetched this many entries ahead of the one drawn: a batch
// reads FLAT_BATCH of them at once.
constexpr uint32_t RECORDS_AHEAD = 3 * FLAT_BATCH;

// Listed faces that need only a flat fill, gathered in draw-list order and
// drawn together before anything else is drawn.
struct FlatBatch {
    const float (*corners[FLAT_BATCH])[2];
    const ObjectEntity* objects[FLAT_BATCH];
    int32_t count = 0;

    void Add(const ListedCorners& record, const ObjectEntity& object)
    {
        corners[count] = record.corners;
        objects[count] = &object;
        if (++count == FLAT_BATCH)
            Draw();
    }

    void Draw()
    {
        if (count > 0)
            FillFlatCornerBatch(corners, objects, count);
        count = 0;
    }
};

// Faces with all corners and no clipping whose object needs only the
// shaded fill, gathered in draw-list order likewise.
struct ShadedBatch {
    TriangleRef triangles[SHADED_BATCH];
    int32_t count = 0;

    bool Add(const Face& face)
    {
        if (!FaceComplete(face) || (face.faceFlags & FACE_CLIPPED))
            return false;
        const ObjectEntity* object = ObjectOf(face.owner);
        if (!object || !OnlyShaded(*object))
            return false;
        triangles[count] = TriangleOf(face);
        if (++count == SHADED_BATCH)
            Draw();
        return true;
    }

    void Draw()
    {
        if (count > 0)
            FillShadedBatch(triangles, count);
        count = 0;
    }
};

// Faces with all corners and no clipping whose object needs only the
// perspective-textured fill on nearest texels, gathered likewise.
// An object's flags and maps stay as they are through the pass, so the
// last object found to need only that fill is not examined again.
struct TextureBatch {
    Face* faces[TEXTURE_BATCH];
    int32_t count = 0;
    const ObjectEntity* accepted = nullptr;

    bool Add(Face& face)
    {
        if (!FaceComplete(face) || (face.faceFlags & FACE_CLIPPED))
            return false;
        const ObjectEntity* object = ObjectOf(face.owner);
        if (object != accepted) {
            if (!object || !OnlyPerspectiveNearest(*object))
                return false;
            accepted = object;
        }
        faces[count] = &face;
        if (++count == TEXTURE_BATCH)
            Draw();
        return true;
    }

    void Draw()
    {
        if (count > 0)
            FillPerspectiveTextureBatch(faces, count);
        count = 0;
    }
};

// Map coordinates into the face's corners as DrawFace puts them.
void SetMapCoordinates(Face& face, const ObjectEntity& object)
{
    if (!ReadsMapCoordinates(object))
        return;
    for (int j = 0; j < 3; ++j) {
        face.vertices[j]->mapU = face.uv[j][0];
        face.vertices[j]->mapV = face.uv[j][1];
    }
}

// Faces with all corners whose object needs only an affine fill, gathered
// likewise, the last object found to need only that not examined again;
// the glints of each face are marked as soon as it is drawn. A clipped face
// of an object without glints joins as the fan of its clipped polygon, whose
// corners the batch keeps: faces that need no clipping, drawn as DrawFace
// draws the fan. After a batch with fans the faces' map coordinates go into
// their corners again in draw-list order, so that each corner keeps the last
// face's, as drawing them one by one leaves it.
struct AffineBatch {
    // Each fan of t triangles keeps t + 2 corners.
    static constexpr int32_t FAN_CORNERS = 3 * AFFINE_BATCH;

    Face* faces[AFFINE_BATCH];
    Face* listed[AFFINE_BATCH];  // the draw list's face behind each
    Face fans[AFFINE_BATCH];
    Vertex corners[FAN_CORNERS];
    int32_t count = 0;
    int32_t cornersUsed = 0;
    bool glints = false;
    SpriteList* sprites;
    GlintCone* cone;  // the main pass's, for the object whose glints it last examined
    const ObjectEntity* accepted = nullptr;

    AffineBatch(SpriteList& list, GlintCone& glintCone) : sprites(&list), cone(&glintCone) {}

    bool Add(Face& face)
    {
        if (!FaceComplete(face))
            return false;
        const ObjectEntity* object = ObjectOf(face.owner);
        if (object != accepted) {
            if (!object || !OnlyAffine(*object))
                return false;
            accepted = object;
        }
        const bool glinting = (object->objectFlags & OBJECT_SPRITEEFFECT) && object->spriteEffect;
        if (face.faceFlags & FACE_CLIPPED) {
            if (glinting)
                return false;
            AddFan(face, *object);
            return true;
        }
        glints = glints || glinting;
        listed[count] = &face;
        faces[count] = &face;
        if (++count == AFFINE_BATCH)
            Draw();
        return true;
    }

    void AddFan(Face& face, const ObjectEntity& object)
    {
        SetMapCoordinates(face, object);
        const TriangleRef triangle = TriangleOf(face);
        const int32_t polygon = ClipTriangle(&triangle);
        if (polygon < 3)
            return;
        // Drawing the batch clips nothing, so the polygon stays in the
        // clipper's buffer.
        if (count + polygon - 2 > AFFINE_BATCH || cornersUsed + polygon > FAN_CORNERS)
            Draw();
        Vertex* kept = corners + cornersUsed;
        std::copy_n(ClipBuffers[0], polygon, kept);
        cornersUsed += polygon;
        for (int32_t i = 1; i + 1 < polygon; ++i) {
            Face& fan = fans[count] = Face{};
            const Vertex* fanCorners[3] = {&kept[0], &kept[i], &kept[i + 1]};
            for (int j = 0; j < 3; ++j) {
                fan.vertices[j] = const_cast<Vertex*>(fanCorners[j]);
                fan.uv[j][0] = fanCorners[j]->mapU;
                fan.uv[j][1] = fanCorners[j]->mapV;
            }
            fan.owner = face.owner;
            listed[count] = &face;
            faces[count] = &fan;
            ++count;
        }
        if (count == AFFINE_BATCH)
            Draw();
    }

    static void MarkFace(void* context, int32_t i)
    {
        AffineBatch& batch = *static_cast<AffineBatch*>(context);
        Face& face = *batch.faces[i];
        const ObjectEntity& object = *ObjectOf(face.owner);
        if ((object.objectFlags & OBJECT_SPRITEEFFECT) && object.spriteEffect) {
            if (batch.cone->spriteValue != object.spriteValue)
                *batch.cone = GlintCone(object.spriteValue);
            MarkGlints(face, object, *batch.cone, *batch.sprites);
        }
    }

    void Draw()
    {
        if (count > 0)
            FillAffineBatch(faces, count, glints ? MarkFace : nullptr, this);
        if (cornersUsed > 0) {
            for (int32_t i = 0; i < count; ++i)
                SetMapCoordinates(*listed[i], *ObjectOf(listed[i]->owner));
        }
        count = 0;
        cornersUsed = 0;
        glints = false;
    }
};

// Phase 2. Light volumes carry the glow bit for their own fillers but have
// no glow fields: their faces get no glow entries (and so are not drawn a
// second time in the glow pass), nor glints. The faces of an object that
// needs nothing but a flat fill are drawn from their corners' records:
// after the sort the faces and vertices lie scattered in memory, the
// records close together, and each is fetched in advance. Such faces in a
// row are drawn FLAT_BATCH at a time, and faces that need only the shaded
// fill, only the perspective-textured one or only an affine one in batches
// of their own.
void DrawMainPass(Scene* scene, SpriteList& sprites)
{
    Frame.renderPhase = PHASE_MAIN;
    const uint32_t entries = std::min(scene->drawCount, scene->polygonCapacity);
    const ListedCorners* records = scene->listedCorners;
    FlatBatch batch;
    ShadedBatch shaded;
    TextureBatch textured;
    GlintCone cone(0);
    AffineBatch affine(sprites, cone);
    for (uint32_t i = 0; scene->drawList && i < entries; ++i) {
        const DrawEntry& entry = scene->drawList[i];
        if (records) {
            const uint32_t ahead = scene->drawList[std::min(i + RECORDS_AHEAD, entries - 1)].corners;
            __builtin_prefetch(&records[ahead != NO_CORNERS ? ahead : 0]);
        }
        if (entry.type == DRAW_FACE && entry.corners != NO_CORNERS && records) {
            const ListedCorners& record = records[entry.corners];
            const ObjectEntity* object = ObjectOf(record.owner);
            if (object && OnlyFlat(*object)) {
                // Only one kind of batch gathers faces at a time.
                if (batch.count == 0) {
                    shaded.Draw();
                    textured.Draw();
                    affine.Draw();
                }
                batch.Add(record, *object);
                continue;
            }
        }
        batch.Draw();
        if (entry.type == DRAW_FACE && entry.face) {
            if (textured.count == 0 && affine.count == 0 && shaded.Add(*entry.face))
                continue;
            if (shaded.count == 0 && affine.count == 0 && textured.Add(*entry.face))
                continue;
            if (shaded.count == 0 && textured.count == 0 && affine.Add(*entry.face))
                continue;
        }
        shaded.Draw();
        textured.Draw();
        affine.Draw();
        if (entry.type == DRAW_LIGHT) {
            MarkLight(entry, sprites);
            continue;
        }
        if ((entry.type != DRAW_FACE && entry.type != DRAW_VOLUMEFACE) || !entry.face)
            continue;
        Face* face = entry.face;
        DrawFace(face);
        const ObjectEntity* object = ObjectOf(face->owner);
        if (!object || !FaceComplete(*face))
            continue;
        if ((object->objectFlags & OBJECT_SPRITEEFFECT) && object->spriteEffect) {
            if (cone.spriteValue != object->spriteValue)
                cone = GlintCone(object->spriteValue);
            MarkGlints(*face, *object, cone, sprites);
        }
        if (object->objectFlags & OBJECT_GLOW)
            sprites.Append({DRAW_GLOWFACE, 0.0f, face, nullptr});
    }
    batch.Draw();
    shaded.Draw();
    textured.Draw();
    affine.Draw();
}

// A marker still in place means nothing nearer covered the point: the pixel
// under it comes back. Otherwise the entry is dropped.
void TestMarker(DrawEntry& entry, float x, float y, uint16_t saved)
{
    size_t index;
    if (FramePixel(x, y, &index) && Frame.target[index] == MARKER_PIXEL)
        Frame.target[index] = saved;
    else
        entry.type = DRAW_DROPPED;
}

// Phase 3, from the last sprite entry to the first, so that markers written
// over markers come back in the reverse order of their writing.
void DrawGlowPass(SpriteList& sprites)
{
    Frame.renderPhase = PHASE_GLOW;
    for (uint32_t i = sprites.count; i-- > 0;) {
        DrawEntry& entry = sprites.entries[i];
        if (entry.type == DRAW_LIGHT) {
            const LightEntity* light = LightOf(entry.light);
            TestMarker(entry, light->screenX, light->screenY, light->savedPixel);
        } else if (entry.type == DRAW_GLINT) {
            const Vertex* v = entry.face->vertices[TruncToInt(entry.key)];
            TestMarker(entry, v->screenX, v->screenY, v->savedPixel);
        } else if (entry.type == DRAW_GLOWFACE) {
            DrawGlowFace(entry.face);
        }
    }
}

// Blue in bits 0-4, green 10-14, red 20-24.
uint32_t Spread(uint32_t p)
{
    return (p & 0x001F) + ((p & 0x03E0) << 5) + ((p & 0x7C00) << 10);
}

// Each pixel of the shown buffer moves 15/32 of the way to the frame just
// drawn: S(old) × 32 + (S(drawn) − S(old)) × 15 holds 17 × old + 15 × drawn
// in ten bits per channel, whose top five are the result.
void MixMotionBlur(XView& view)
{
    if (!(view.flags & XVIEW_DOUBLEBUFFER) || !view.current || !view.bufferB || view.current == view.bufferB)
        return;
    const size_t pixels = size_t(view.width) * size_t(view.height);
    uint16_t* shown = view.current;
    const uint16_t* drawn = view.bufferB;
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t old = Spread(shown[i]);
        const uint32_t mix = old * 32 + (Spread(drawn[i]) - old) * 15;
        shown[i] = uint16_t(((mix >> 5) & 0x1F) | (((mix >> 15) & 0x1F) << 5) | (((mix >> 25) & 0x1F) << 10));
    }
}

}  // namespace

// Below a thousandth of a radian cos(limit) lies too close to 1, and from 3
// radians on too close to −1 (and acos never exceeds π), for the band to be
// worth it: there every x takes acos. The band of 2^-30 on either side of
// cos(limit) is far wider than the error of cos and acos, both within an
// ulp, and acos decreases, so outside it the answer is that of acos.
GlintCone::GlintCone(uint32_t value)
    : spriteValue(value), limit(value / 65536.0 * PI / 180.0), surelyWithin(2.0), surelyOutside(-2.0)
{
    constexpr double BAND = 1.0 / (1 << 30);
    if (limit > 1e-3 && limit < 3.0) {
        surelyWithin = std::cos(limit) + BAND;
        surelyOutside = std::cos(limit) - BAND;
    }
}

bool GlintCone::Within(double x) const
{
    if (x >= surelyWithin)
        return true;
    if (x <= surelyOutside)
        return false;
    return std::acos(x) <= limit;
}

void RenderScene(Scene* scene, Entity*, XView* view, uint32_t)
{
    if (!scene || !view || !FrameOfView(*view))
        return;
    uint64_t mark = ProfileStart();
    Frame.fogIndexBase = (scene->flags & SCENE_FOGMODE) ? FOG_INDEX_BASE : 0;
    ResizeGlowBuffers(scene, uint32_t(view->width), uint32_t(view->height));
    for (GlowBuffer* buffer = scene->glowBuffers; buffer; buffer = buffer->next)
        buffer->glowFlags &= ~GLOW_CLEARED;
    LightVertices(scene);
    ProfileLap(&Profile.transform, &mark);

    bool masked = false;
    if (scene->flags & SCENE_SHADOWS) {
        BuildShadowVolumes(scene);
        masked = DrawShadowPass(scene, view);
    } else {
        FreeShadowVolumes(scene);
        FreeShadowBuffers(view);
    }
    ProfileLap(&Profile.shadows, &mark);

    SpriteList sprites{scene->spriteList, scene->spriteCapacity, 0};
    DrawMainPass(scene, sprites);
    ProfileLap(&Profile.mainPass, &mark);
    DrawGlowPass(sprites);
    ProfileLap(&Profile.glow, &mark);

    Frame.renderPhase = PHASE_FLARES;
    if (masked)
        DarkenShadows(view);
    ProfileLap(&Profile.shadows, &mark);
    DrawFlares(sprites, view);
    ProfileLap(&Profile.flares, &mark);

    Frame.renderPhase = PHASE_BLEND;
    BlendGlow(scene);
    MixMotionBlur(*view);
    ProfileLap(&Profile.blend, &mark);
}

}  // namespace kvor3d
