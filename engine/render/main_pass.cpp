// Phase 2 of the render pass, the main pass: the sorted draw list's faces
// drawn in batches of their kind where they can be, the markers of lights
// and of vertex glints written as the faces are drawn.
#include "render/stages.h"

#include <algorithm>
#include <cmath>

namespace kvor3d {

namespace {

// Vertex normals are about 127 long.
constexpr double NORMAL_LENGTH = 127.0;

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

// Records are fetched this many entries ahead of the one drawn: a batch
// reads FLAT_BATCH of them at once.
constexpr uint32_t RECORDS_AHEAD = 3 * FLAT_BATCH;

// A box around the pixels of faces: their corners' columns and rows, which
// a face's pixels exceed by less than MARGIN (a span's ends round outward
// by less than a pixel). A corner off the frame by more than LIMIT (or not
// a number) makes the box cover everything.
struct PixelBounds {
    static constexpr float MARGIN = 2.0f;
    static constexpr float LIMIT = 65536.0f;

    float left = LIMIT, top = LIMIT, right = -LIMIT, bottom = -LIMIT;

    void Add(float x, float y)
    {
        if (!(std::fabs(x) < LIMIT && std::fabs(y) < LIMIT)) {
            left = top = -LIMIT;
            right = bottom = LIMIT;
            return;
        }
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
    }

    void Add(const Vertex& v) { Add(v.screenX, v.screenY); }

    bool Meets(const PixelBounds& other) const
    {
        return left <= other.right + 2 * MARGIN && other.left <= right + 2 * MARGIN &&
               top <= other.bottom + 2 * MARGIN && other.top <= bottom + 2 * MARGIN;
    }
};

// The box of a face's or a triangle's corners.
template <class Corners>
PixelBounds BoundsOf(const Corners& corners)
{
    PixelBounds bounds;
    for (const Vertex* v : corners)
        bounds.Add(*v);
    return bounds;
}

// The box of a batch's first `count` faces, extended as faces are added.
struct BatchBounds {
    PixelBounds bounds;
    int32_t counted = 0;

    template <class FaceBounds>
    const PixelBounds& Of(int32_t count, FaceBounds faceBounds)
    {
        for (; counted < count; ++counted) {
            const PixelBounds face = faceBounds(counted);
            bounds.Add(face.left, face.top);
            bounds.Add(face.right, face.bottom);
        }
        return bounds;
    }

    void Clear() { *this = BatchBounds{}; }
};

// Listed faces that need only a flat fill, gathered in draw-list order.
struct FlatBatch {
    const float (*corners[FLAT_BATCH])[2];
    const ObjectEntity* objects[FLAT_BATCH];
    int32_t count = 0;
    BatchBounds bounds;

    // The box of a face's listed corners.
    static PixelBounds BoundsOf(const float (*corners)[2])
    {
        PixelBounds box;
        for (int j = 0; j < 3; ++j)
            box.Add(corners[j][0], corners[j][1]);
        return box;
    }

    void Add(const ListedCorners& record, const ObjectEntity& object)
    {
        corners[count] = record.corners;
        objects[count] = &object;
        ++count;
    }

    bool Full() const { return count == FLAT_BATCH; }

    const PixelBounds& Bounds()
    {
        return bounds.Of(count, [this](int32_t i) { return BoundsOf(corners[i]); });
    }

    void Draw()
    {
        if (count > 0)
            FillFlatCornerBatch(corners, objects, count);
        count = 0;
        bounds.Clear();
    }
};

// Faces with all corners and no clipping whose object needs only the
// shaded fill, gathered in draw-list order likewise.
struct ShadedBatch {
    TriangleRef triangles[SHADED_BATCH];
    int32_t count = 0;
    BatchBounds bounds;

    void Add(const Face& face) { triangles[count++] = TriangleOf(face); }

    bool Full() const { return count == SHADED_BATCH; }

    const PixelBounds& Bounds()
    {
        return bounds.Of(count, [this](int32_t i) { return BoundsOf(triangles[i].corners); });
    }

    void Draw()
    {
        if (count > 0)
            FillShadedBatch(triangles, count);
        count = 0;
        bounds.Clear();
    }
};

// Faces with all corners and no clipping whose object needs only the
// perspective-textured fill on nearest texels, gathered likewise.
struct TextureBatch {
    Face* faces[TEXTURE_BATCH];
    int32_t count = 0;
    BatchBounds bounds;

    void Add(Face& face) { faces[count++] = &face; }

    bool Full() const { return count == TEXTURE_BATCH; }

    const PixelBounds& Bounds()
    {
        return bounds.Of(count, [this](int32_t i) { return BoundsOf(faces[i]->vertices); });
    }

    void Draw()
    {
        if (count > 0)
            FillPerspectiveTextureBatch(faces, count);
        count = 0;
        bounds.Clear();
    }
};

// Faces with all corners whose object needs only an affine fill, gathered
// likewise; the glints of each face are marked as soon as it is drawn. A
// clipped face of an object without glints joins as the fan of its clipped
// polygon, whose corners the batch keeps, as FanFace faces. After a batch with fans the faces' map
// coordinates go into their corners again in draw-list order, so that each
// corner keeps the last face's, as drawing them one by one leaves it.
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
    BatchBounds bounds;

    AffineBatch(SpriteList& list, GlintCone& glintCone) : sprites(&list), cone(&glintCone) {}

    static bool Glinting(const ObjectEntity& object)
    {
        return (object.objectFlags & OBJECT_SPRITEEFFECT) && object.spriteEffect;
    }

    void Add(Face& face)
    {
        glints = glints || Glinting(*ObjectOf(face.owner));
        listed[count] = &face;
        faces[count] = &face;
        ++count;
    }

    // The polygon of a clipped face, with its map coordinates in its
    // corners first as DrawFace puts them: ClipBuffers[0][0 ..] and its
    // corner count, less than 3 when nothing is left to draw.
    static int32_t Clip(Face& face)
    {
        SetMapCoordinates(face, *ObjectOf(face.owner));
        const TriangleRef triangle = TriangleOf(face);
        return ClipTriangle(&triangle);
    }

    static PixelBounds PolygonBounds(int32_t polygon)
    {
        PixelBounds box;
        for (int32_t i = 0; i < polygon; ++i)
            box.Add(ClipBuffers[0][i]);
        return box;
    }

    bool Fits(int32_t polygon) const
    {
        return count + polygon - 2 <= AFFINE_BATCH && cornersUsed + polygon <= FAN_CORNERS;
    }

    // The fan of the polygon that Clip left, which Fits; drawing batches
    // clips nothing, so the polygon is still there.
    void AddFan(Face& face, int32_t polygon)
    {
        Vertex* kept = corners + cornersUsed;
        std::copy_n(ClipBuffers[0], polygon, kept);
        cornersUsed += polygon;
        for (int32_t i = 1; i + 1 < polygon; ++i) {
            fans[count] = FanFace(&kept[0], &kept[i], &kept[i + 1], face.owner);
            listed[count] = &face;
            faces[count] = &fans[count];
            ++count;
        }
    }

    bool Full() const { return count == AFFINE_BATCH; }

    const PixelBounds& Bounds()
    {
        return bounds.Of(count, [this](int32_t i) { return BoundsOf(faces[i]->vertices); });
    }

    static void MarkFace(void* context, int32_t i)
    {
        AffineBatch& batch = *static_cast<AffineBatch*>(context);
        Face& face = *batch.faces[i];
        const ObjectEntity& object = *ObjectOf(face.owner);
        if (Glinting(object)) {
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
        bounds.Clear();
    }
};

enum class BatchKind : uint8_t { FLAT, SHADED, TEXTURE, AFFINE, NONE };
constexpr int32_t BATCH_KINDS = 4;

// The batch of an object's faces. A shaded or perspective-textured face in
// a batch needs nothing but its pixels in the main pass: its object has
// neither glints nor a glow entry, and the shaded one gives its corners no
// map coordinates. An affine one may have glints, marked after each face
// as after a face drawn alone.
BatchKind BatchOf(const ObjectEntity* object)
{
    if (!object || (object->objectFlags & OBJECT_GLOW))
        return BatchKind::NONE;
    const Filler filler = FillerOf(object);
    const bool glints = AffineBatch::Glinting(*object);
    if (filler == FillShaded)
        return !glints && !ReadsMapCoordinates(*object) ? BatchKind::SHADED : BatchKind::NONE;
    if (filler == FillPerspectiveTexture || filler == FillShadedPerspectiveTexture)
        return !glints && DrawsPerspectiveNearest(*object) ? BatchKind::TEXTURE : BatchKind::NONE;
    return DrawsAffine(*object) ? BatchKind::AFFINE : BatchKind::NONE;
}

// The batches of the main pass, open at once, in the order in which they
// were opened: each is drawn before those opened after it. A face may join
// a batch opened before others only where its box meets none of theirs, so
// that no pixel of a face drawn earlier than it in the draw list is drawn
// after it, nor one of a face drawn later before it; the glints it marks
// lie within its box too. A batch that fills up is drawn with those before
// it.
struct MainPassBatches {
    FlatBatch flat;
    ShadedBatch shaded;
    TextureBatch textured;
    AffineBatch affine;
    BatchKind open[BATCH_KINDS];
    int32_t opened = 0;
    static constexpr size_t EXAMINED = 32;
    const ObjectEntity* examined[EXAMINED] = {};
    BatchKind examinedKind[EXAMINED] = {};

    MainPassBatches(SpriteList& sprites, GlintCone& cone) : affine(sprites, cone)
    {
        std::fill_n(examinedKind, EXAMINED, BatchOf(nullptr));
    }

    // fn(the batch of `kind`).
    template <class Fn>
    decltype(auto) With(BatchKind kind, Fn fn)
    {
        switch (kind) {
        case BatchKind::FLAT:
            return fn(flat);
        case BatchKind::SHADED:
            return fn(shaded);
        case BatchKind::TEXTURE:
            return fn(textured);
        default:
            return fn(affine);
        }
    }

    const PixelBounds& Bounds(BatchKind kind)
    {
        return With(kind, [](auto& batch) -> const PixelBounds& { return batch.Bounds(); });
    }

    bool Full(BatchKind kind)
    {
        return With(kind, [](const auto& batch) { return batch.Full(); });
    }

    void DrawBatch(BatchKind kind)
    {
        With(kind, [](auto& batch) { batch.Draw(); });
    }

    int32_t Position(BatchKind kind) const
    {
        for (int32_t i = 0; i < opened; ++i) {
            if (open[i] == kind)
                return i;
        }
        return -1;
    }

    // Draws the open batches up to position `last`.
    __attribute__((noinline)) void DrawThrough(int32_t last)
    {
        for (int32_t i = 0; i <= last; ++i)
            DrawBatch(open[i]);
        std::copy(open + last + 1, open + opened, open);
        opened -= last + 1;
    }

    void DrawAll()
    {
        if (opened > 0)
            DrawThrough(opened - 1);
    }

    // Makes the batch of `kind` ready to take a face whose box box() gives:
    // where it meets a batch opened after that one, that batch of `kind` is
    // drawn (with those before it) and the face opens a new one, drawn
    // after the others.
    template <class Box>
    void Admit(BatchKind kind, Box box)
    {
        if (opened == 0 || open[opened - 1] != kind)
            Reopen(kind, box);
    }

    template <class Box>
    __attribute__((noinline)) void Reopen(BatchKind kind, Box box)
    {
        const int32_t at = Position(kind);
        if (at >= 0) {
            const PixelBounds face = box();
            int32_t i = at + 1;
            while (i < opened && !Bounds(open[i]).Meets(face))
                ++i;
            if (i == opened)
                return;
            DrawThrough(at);
        }
        open[opened++] = kind;
    }

    // After a face joined the batch of `kind`.
    void Added(BatchKind kind)
    {
        if (Full(kind))
            DrawThrough(Position(kind));
    }

    // The batch that takes the object's faces. An object's flags and maps
    // stay as they are through the pass, so each answer is kept, in a slot
    // chosen by the object's address: the faces of many objects come
    // interleaved (a hand's fingers, a dancer's parts).
    BatchKind KindOf(const ObjectEntity* object)
    {
        const size_t slot = (reinterpret_cast<uintptr_t>(object) >> 6) % EXAMINED;
        if (examined[slot] != object) {
            examined[slot] = object;
            examinedKind[slot] = BatchOf(object);
        }
        return examinedKind[slot];
    }

    // The face into its batch; false when no batch takes it: only the
    // affine batch takes a clipped face, and not one with glints.
    bool Add(Face& face)
    {
        if (!FaceComplete(face))
            return false;
        const ObjectEntity* object = ObjectOf(face.owner);
        const BatchKind kind = KindOf(object);
        const bool clipped = face.faceFlags & FACE_CLIPPED;
        if (kind == BatchKind::SHADED && !clipped) {
            Admit(BatchKind::SHADED, [&] { return BoundsOf(face.vertices); });
            shaded.Add(face);
            Added(BatchKind::SHADED);
            return true;
        }
        if (kind == BatchKind::TEXTURE && !clipped) {
            Admit(BatchKind::TEXTURE, [&] { return BoundsOf(face.vertices); });
            textured.Add(face);
            Added(BatchKind::TEXTURE);
            return true;
        }
        if (kind != BatchKind::AFFINE || (clipped && AffineBatch::Glinting(*object)))
            return false;
        if (!clipped) {
            Admit(BatchKind::AFFINE, [&] { return BoundsOf(face.vertices); });
            affine.Add(face);
        } else {
            const int32_t polygon = AffineBatch::Clip(face);
            if (polygon < 3) {
                // Nothing to draw; its corners keep its map coordinates
                // over those of the faces before it.
                if (affine.count > 0) {
                    DrawThrough(Position(BatchKind::AFFINE));
                    SetMapCoordinates(face, *ObjectOf(face.owner));
                }
                return true;
            }
            Admit(BatchKind::AFFINE, [&] { return AffineBatch::PolygonBounds(polygon); });
            if (!affine.Fits(polygon)) {
                DrawThrough(Position(BatchKind::AFFINE));
                open[opened++] = BatchKind::AFFINE;
            }
            affine.AddFan(face, polygon);
        }
        Added(BatchKind::AFFINE);
        return true;
    }

    void AddFlat(const ListedCorners& record, const ObjectEntity& object)
    {
        Admit(BatchKind::FLAT, [&] { return FlatBatch::BoundsOf(record.corners); });
        flat.Add(record, object);
        Added(BatchKind::FLAT);
    }
};

}  // namespace

// Phase 2. Light volumes carry the glow bit for their own fillers but have
// no glow fields: their faces get no glow entries (and so are not drawn a
// second time in the glow pass), nor glints. The faces of an object that
// needs nothing but a flat fill are drawn from their corners' records:
// after the sort the faces and vertices lie scattered in memory, the
// records close together, and each is fetched in advance. Faces that need
// only the flat, the shaded, the perspective-textured or an affine fill are
// drawn in batches of their kind; anything else is drawn once every open
// batch is.
void DrawMainPass(Scene* scene, SpriteList& sprites)
{
    Frame.renderPhase = PHASE_MAIN;
    const uint32_t entries = std::min(scene->drawCount, scene->polygonCapacity);
    const ListedCorners* records = scene->listedCorners;
    GlintCone cone(0);
    MainPassBatches batches(sprites, cone);
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
                batches.AddFlat(record, *object);
                continue;
            }
        }
        if (entry.type == DRAW_FACE && entry.face && batches.Add(*entry.face))
            continue;
        batches.DrawAll();
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
    batches.DrawAll();
}

}  // namespace kvor3d
