// The draw list of one frame: an entry per light inside the view, per face
// of an object that is neither outside one plane nor turned away, and per
// face of a light volume's current stack, each with its depth key.
#include "render/pass.h"

namespace kvor3d {

namespace {

// Drawn before every face of an object without OBJECT_DEPTHBIAS.
constexpr double DEPTH_BIAS = 32767.0;

struct DrawList {
    DrawEntry* entries;
    ListedCorners* corners;  // beside the entries; may be null
    uint32_t capacity;
    uint32_t count;

    void Append(const DrawEntry& entry)
    {
        if (entries && count < capacity)
            entries[count++] = entry;
    }

    // The entry of a listed face of an object, with its corners' record when
    // asked for and the face needs no clipping: the corners are at hand now,
    // while the pass that draws the face would have to fetch them again.
    void AppendFace(Face& face, Entity* owner, const Vertex* const (&vertices)[3], float key, bool recorded)
    {
        if (!entries || count >= capacity)
            return;
        DrawEntry& entry = entries[count];
        entry.type = DRAW_FACE;
        entry.key = key;
        entry.face = &face;
        entry.light = nullptr;
        entry.corners = NO_CORNERS;
        if (recorded && corners) {
            ListedCorners& record = corners[count];
            record.owner = owner;
            for (int i = 0; i < 3; ++i) {
                record.corners[i][0] = vertices[i]->screenX;
                record.corners[i][1] = vertices[i]->screenY;
            }
            entry.corners = count;
        }
        ++count;
    }
};

// Whether all three corners are there and not all outside one plane.
bool FaceInside(const Face& face)
{
    const Vertex* a = face.vertices[0];
    const Vertex* b = face.vertices[1];
    const Vertex* c = face.vertices[2];
    return a && b && c && !(a->clipCode & b->clipCode & c->clipCode);
}

// A face turned toward the viewer: (x0 − x1)(y2 − y1) > (x2 − x1)(y0 − y1) on
// the screen. A face seen exactly edge-on is turned away.
bool FacesViewer(const Vertex* v0, const Vertex* v1, const Vertex* v2)
{
    return (v0->screenX - v1->screenX) * (v2->screenY - v1->screenY) >
           (v2->screenX - v1->screenX) * (v0->screenY - v1->screenY);
}

// Whether some corner has a clip code.
bool Clipped(const Vertex* a, const Vertex* b, const Vertex* c)
{
    return a->clipCode | b->clipCode | c->clipCode;
}

// A listed face's key: the mean camera z of its corners, summed in single
// precision, plus the bias.
float FaceKey(const Vertex* a, const Vertex* b, const Vertex* c, double bias)
{
    const float sum = a->camera[2] + b->camera[2] + c->camera[2];
    return float(sum / 3.0 + bias);
}

// Sets a listed face's clipped flag.
void MarkClipped(Face& face)
{
    if (Clipped(face.vertices[0], face.vertices[1], face.vertices[2]))
        face.faceFlags |= FACE_CLIPPED;
    else
        face.faceFlags &= ~FACE_CLIPPED;
}

// The same through a face's corner record, which remembers the clipped flag
// last set: the face itself is written only when that flag changes, and
// then only that flag, so its other bits stay whatever they are.
bool MarkClipped(Face& face, FaceCorners& record, bool clipped)
{
    const uint32_t flag = clipped ? FACE_CLIPPED : 0;
    if (flag != (record.faceFlags & FACE_CLIPPED)) {
        record.faceFlags = (record.faceFlags & ~FACE_CLIPPED) | flag;
        face.faceFlags = (face.faceFlags & ~FACE_CLIPPED) | flag;
    }
    return clipped;
}

// Faces read from a file are listed from their corner records, the vertices
// found by index; the faces themselves are only written when a flag changes.
void ListRecordedFaces(DrawList& list, ObjectEntity& object, double bias, bool bothSides, bool recorded)
{
    Face* faces = object.faces;
    FaceCorners* records = object.faceCorners;
    const Vertex* vertices = object.vertices;
    const uint32_t count = object.faceCount;
    for (uint32_t i = 0; i < count; ++i) {
        FaceCorners& record = records[i];
        const Vertex* const corners[3] = {&vertices[record.corners[0]], &vertices[record.corners[1]],
                                          &vertices[record.corners[2]]};
        if ((corners[0]->clipCode & corners[1]->clipCode & corners[2]->clipCode) ||
            !(bothSides || FacesViewer(corners[0], corners[1], corners[2])))
            continue;
        const bool clipped = MarkClipped(faces[i], record, Clipped(corners[0], corners[1], corners[2]));
        list.AppendFace(faces[i], &object, corners, FaceKey(corners[0], corners[1], corners[2], bias),
                        recorded && !clipped);
    }
}

// The key and the clipped flag are only set on the faces listed: no other
// face is read by this frame's passes.
void ListObject(DrawList& list, ObjectEntity& object)
{
    Face* faces = object.faces;
    if (!faces)
        return;
    const uint32_t count = object.faceCount;
    const double bias = (object.objectFlags & OBJECT_DEPTHBIAS) ? DEPTH_BIAS : 0.0;
    const bool bothSides = object.objectFlags & OBJECT_DOUBLESIDED;
    // Only a flat fill can be drawn from the records; whether the object
    // needs nothing else is decided again when its faces are drawn.
    const bool recorded = !ReadsMapCoordinates(object) && !(object.objectFlags & (OBJECT_GLOW | OBJECT_GLOWEDGE));
    if (object.faceCorners) {
        ListRecordedFaces(list, object, bias, bothSides, recorded);
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        Face& face = faces[i];
        const Vertex* const corners[3] = {face.vertices[0], face.vertices[1], face.vertices[2]};
        if (!FaceInside(face) || !(bothSides || FacesViewer(corners[0], corners[1], corners[2])))
            continue;
        MarkClipped(face);
        list.AppendFace(face, face.owner, corners, FaceKey(corners[0], corners[1], corners[2], bias),
                        recorded && !(face.faceFlags & FACE_CLIPPED));
    }
}

void ListVolume(DrawList& list, VolumeEntity& volume)
{
    Face* faces = volume.faces;
    if (!faces)
        return;
    const uint32_t count = volume.faceCount;
    for (uint32_t i = 0; i < count; ++i) {
        Face& face = faces[i];
        if (!FaceInside(face))
            continue;
        MarkClipped(face);
        list.Append({DRAW_VOLUMEFACE, FaceKey(face.vertices[0], face.vertices[1], face.vertices[2], 0.0), &face,
                     nullptr});
    }
}

}  // namespace

// Lights are listed with the clip codes their projection left this frame.
void BuildDrawList(Scene* scene)
{
    if (!scene)
        return;
    DrawList list{scene->drawList, scene->listedCorners, scene->polygonCapacity, 0};
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (!(entity->entityFlags & ENTITY_DRAWN))
            continue;
        if (LightEntity* light = LightOf(entity)) {
            if (!(light->lightFlags & LIGHT_CLIPCODES))
                list.Append({DRAW_LIGHT, light->depth, nullptr, light});
        } else if (ObjectEntity* object = ObjectOf(entity)) {
            ListObject(list, *object);
        } else if (VolumeEntity* volume = VolumeOf(entity)) {
            ListVolume(list, *volume);
        }
    }
    scene->drawCount = list.count;
}

}  // namespace kvor3d
