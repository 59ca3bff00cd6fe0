// The draw list of one frame: an entry per light inside the view, per face
// of an object that is neither outside one plane nor turned away, and per
// face of a light volume's current stack, each with its depth key.
#include "render/pass.h"

namespace {

// Drawn before every face of an object without OBJECT_DEPTHBIAS.
constexpr double DEPTH_BIAS = 32767.0;

struct DrawList {
    DrawEntry* entries;
    uint32_t capacity;
    uint32_t count;

    void Append(const DrawEntry& entry)
    {
        if (entries && count < capacity)
            entries[count++] = entry;
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
bool FacesViewer(const Face& face)
{
    const Vertex* v0 = face.vertices[0];
    const Vertex* v1 = face.vertices[1];
    const Vertex* v2 = face.vertices[2];
    return (v0->screenX - v1->screenX) * (v2->screenY - v1->screenY) >
           (v2->screenX - v1->screenX) * (v0->screenY - v1->screenY);
}

// Sets a listed face's clipped flag and its key: the mean camera z of its
// corners, summed in single precision, plus the bias.
float KeyFace(Face& face, double bias)
{
    const Vertex* a = face.vertices[0];
    const Vertex* b = face.vertices[1];
    const Vertex* c = face.vertices[2];
    if (a->clipCode | b->clipCode | c->clipCode)
        face.faceFlags |= FACE_CLIPPED;
    else
        face.faceFlags &= ~FACE_CLIPPED;
    const float sum = a->camera[2] + b->camera[2] + c->camera[2];
    face.depthKey = float(sum / 3.0 + bias);
    return face.depthKey;
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
    for (uint32_t i = 0; i < count; ++i) {
        Face& face = faces[i];
        if (FaceInside(face) && (bothSides || FacesViewer(face)))
            list.Append({DRAW_FACE, KeyFace(face, bias), &face, nullptr});
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
        if (FaceInside(face))
            list.Append({DRAW_VOLUMEFACE, KeyFace(face, 0.0), &face, nullptr});
    }
}

}  // namespace

// Lights are listed with the clip codes their projection left this frame.
void BuildDrawList(Scene* scene)
{
    if (!scene)
        return;
    DrawList list{scene->drawList, scene->polygonCapacity, 0};
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
