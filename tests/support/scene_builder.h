// Builds scenes in memory for tests, the way the scene reader will: every
// record from engine memory, keys and light effects through their tag-list
// operations, so that FreeScene owns and frees all of it.
#pragma once

#include "anim/anim.h"
#include "colour/colour.h"
#include "core/core.h"
#include "scene/keys.h"
#include "scene/scene.h"

#include <cstdint>
#include <vector>

using namespace kvor3d;

namespace build {

struct Point {
    float x, y, z;
};

struct Corners {
    uint32_t a, b, c;
};

// An entity of `kind` named `name`, appended to the scene and drawn.
inline Entity* AddEntityOfKind(Scene* scene, uint32_t kind, const char* name)
{
    Entity* entity = AllocEntity(kind);
    if (!entity)
        return nullptr;
    entity->name = CopyName(name);
    entity->entityFlags = ENTITY_DRAWN;
    AddEntity(scene, entity);
    return entity;
}

inline Entity* AddNull(Scene* scene, const char* name)
{
    return AddEntityOfKind(scene, ENTITY_NULL, name);
}

// Vertices (or morph target vertices) at these positions, from engine memory.
template <typename V = Vertex>
inline V* AllocVertices(const std::vector<Point>& points)
{
    auto* vertices = static_cast<V*>(MemAlloc(uint32_t(points.size()), sizeof(V)));
    for (size_t i = 0; vertices && i < points.size(); ++i) {
        vertices[i].position[0] = points[i].x;
        vertices[i].position[1] = points[i].y;
        vertices[i].position[2] = points[i].z;
    }
    return vertices;
}

// Faces over the object's vertex array, owned by the object.
inline void SetFaces(ObjectEntity* object, const std::vector<Corners>& corners)
{
    object->faces = static_cast<Face*>(MemAlloc(uint32_t(corners.size()), sizeof(Face)));
    object->faceCount = uint32_t(corners.size());
    for (size_t i = 0; i < corners.size(); ++i) {
        Face& face = object->faces[i];
        face.vertices[0] = &object->vertices[corners[i].a];
        face.vertices[1] = &object->vertices[corners[i].b];
        face.vertices[2] = &object->vertices[corners[i].c];
        face.owner = object;
    }
}

// A polygon object with these vertex positions and faces.
inline ObjectEntity* AddObject(Scene* scene, const char* name, const std::vector<Point>& points,
                               const std::vector<Corners>& corners)
{
    ObjectEntity* object = ObjectOf(AddEntityOfKind(scene, ENTITY_OBJECT, name));
    if (!object)
        return nullptr;
    object->vertices = AllocVertices(points);
    object->vertexCount = uint32_t(points.size());
    SetFaces(object, corners);
    return object;
}

// A morph object of `vertexCount` vertices (all at the origin until a shape
// is evaluated) with these faces and no targets yet.
inline MorphEntity* AddMorph(Scene* scene, const char* name, uint32_t vertexCount,
                             const std::vector<Corners>& corners)
{
    MorphEntity* morph = MorphOf(AddEntityOfKind(scene, ENTITY_MORPH, name));
    if (!morph)
        return nullptr;
    morph->vertices = static_cast<Vertex*>(MemAlloc(vertexCount, sizeof(Vertex)));
    morph->vertexCount = vertexCount;
    SetFaces(morph, corners);
    return morph;
}

// A morph target with one position per vertex (normals 0), appended.
inline MorphTarget* AddTarget(MorphEntity* morph, const char* name, const std::vector<Point>& points)
{
    auto* target = AllocRecord<MorphTarget>();
    target->name = CopyName(name);
    target->targetVertices = AllocVertices<TargetVertex>(points);
    MorphTarget** link = &morph->targets;
    while (*link)
        link = &(*link)->next;
    *link = target;
    ++morph->targetCount;
    return target;
}

inline LightEntity* AddLight(Scene* scene, const char* name)
{
    return LightOf(AddEntityOfKind(scene, ENTITY_LIGHT, name));
}

// Flag words for key-building helpers.
constexpr uint32_t HOLD = 0;                                  // the previous key's values hold
constexpr uint32_t LINEAR = KEY_INTERPOLATE;
constexpr uint32_t SPLINE = KEY_INTERPOLATE | KEY_SPLINE;

struct Motion {
    Point position;
    Point rotation;
    Point size;
};

// A motion key at `time` with these values, flags (replacing the ones the
// key took from the entity, as the reader does) and tension, continuity and
// bias.
inline EntityKey* AddMotionKey(Entity* entity, uint32_t time, const Motion& motion, uint32_t flags = LINEAR,
                               float tension = 0.0f, float continuity = 0.0f, float bias = 0.0f)
{
    const TagItem tags[] = {{TAG_KEY_ENTITY, TagPtr(entity)}, {TAG_KEY_TIME, time}, {TAG_DONE, 0}};
    EntityKey* key = CreateEntityKey(tags);
    if (!key)
        return nullptr;
    const Point* sources[3] = {&motion.position, &motion.rotation, &motion.size};
    float* targets[3] = {key->position, key->rotation, key->size};
    for (int i = 0; i < 3; ++i) {
        targets[i][0] = sources[i]->x;
        targets[i][1] = sources[i]->y;
        targets[i][2] = sources[i]->z;
    }
    key->keyFlags = flags;
    key->k0 = tension;
    key->k1 = continuity;
    key->k2 = bias;
    return key;
}

// A motion key that moves the entity to x = `x` (everything else 0, size 1).
inline EntityKey* AddPositionKey(Entity* entity, uint32_t time, float x, uint32_t flags = LINEAR)
{
    return AddMotionKey(entity, time, Motion{{x, 0, 0}, {0, 0, 0}, {1, 1, 1}}, flags);
}

inline LightKey* AddLightKey(LightEntity* light, uint32_t time, float value, uint32_t flags = LINEAR,
                             float tension = 0.0f, float continuity = 0.0f, float bias = 0.0f)
{
    const TagItem tags[] = {{TAG_KEY_LIGHT, TagPtr(light)}, {TAG_KEY_TIME, time}, {TAG_KEY_FLAGS, flags}, {TAG_DONE, 0}};
    LightKey* key = CreateLightKey(tags);
    if (!key)
        return nullptr;
    key->value = value;
    key->k0 = tension;
    key->k1 = continuity;
    key->k2 = bias;
    return key;
}

inline MorphKey* AddMorphKey(MorphEntity* morph, uint32_t time, MorphTarget* target, uint32_t flags = LINEAR)
{
    const TagItem tags[] = {{TAG_KEY_MORPH, TagPtr(morph)}, {TAG_KEY_TIME, time}, {TAG_KEY_TARGET, TagPtr(target)},
                            {TAG_KEY_FLAGS, flags}, {TAG_DONE, 0}};
    return CreateMorphKey(tags);
}

// A texture of width × height 16-bit pixels, appended to the scene's chain.
inline Texture* AddTexture(Scene* scene, const char* name, uint32_t width, uint32_t height)
{
    auto* texture = AllocRecord<Texture>();
    texture->name = CopyName(name);
    texture->width = width;
    texture->height = height;
    texture->bytesPerPixel = 2;
    texture->pixels = MemAlloc(width * height, 2);
    Texture** link = &scene->textures;
    while (*link)
        link = &(*link)->next;
    *link = texture;
    return texture;
}

// A material with a 65536-byte table at the head of the scene's chain.
inline Material* AddMaterial(Scene* scene, uint32_t mode)
{
    auto* material = AllocRecord<Material>();
    material->mode = mode;
    material->users = 1;
    material->table = static_cast<uint8_t*>(MemAlloc(256, 256));
    material->next = scene->materials;
    scene->materials = material;
    return material;
}

inline LightEffect* AddLightEffect(Scene* scene, const char* name)
{
    const TagItem tags[] = {{TAG_LIGHTEFFECT_NAME, TagPtr(name)}, {TAG_LIGHTEFFECT_SCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    return CreateLightEffect(tags);
}

inline LightEffectElement* AddElement(LightEffect* effect, const char* name, uint32_t e0, Texture* map = nullptr)
{
    const TagItem tags[] = {{TAG_ELEMENT_NAME, TagPtr(name)}, {TAG_ELEMENT_E0, e0}, {TAG_ELEMENT_MAP, TagPtr(map)},
                            {TAG_ELEMENT_EFFECT, TagPtr(effect)}, {TAG_DONE, 0}};
    return CreateLightEffectElement(tags);
}

// Palette data of `colours` (0x00RRGGBB each): head word, components in the
// top bytes, end word.
inline std::vector<uint32_t> PaletteWords(const std::vector<uint32_t>& colours)
{
    std::vector<uint32_t> words;
    words.push_back(uint32_t(colours.size()) << 16);
    for (uint32_t colour : colours) {
        words.push_back((colour >> 16 & 0xFF) << 24);
        words.push_back((colour >> 8 & 0xFF) << 24);
        words.push_back((colour & 0xFF) << 24);
    }
    words.push_back(0);
    return words;
}

}  // namespace build
