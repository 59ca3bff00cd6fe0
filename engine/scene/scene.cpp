#include "scene/scene.h"

#include "colour/colour.h"
#include "scene/keys.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

char* CopyName(const char* name)
{
    if (!name)
        return nullptr;
    size_t length = std::strlen(name) + 1;
    if (length > UINT32_MAX)
        return nullptr;
    auto* copy = static_cast<char*>(MemAlloc(uint32_t(length), 1));
    if (copy)
        std::memcpy(copy, name, length);
    return copy;
}

Scene* AllocScene()
{
    auto* scene = AllocRecord<Scene>();
    if (!scene)
        return nullptr;
    scene->camera = AllocEntity(ENTITY_CAMERA);
    if (!scene->camera) {
        MemFree(scene);
        return nullptr;
    }
    scene->nearClip = SCENE_NEARCLIP;
    scene->farClip = SCENE_FARCLIP;
    scene->ambientValue2 = 1.0f;
    return scene;
}

Entity* AllocEntity(uint32_t kind)
{
    Entity* entity;
    switch (kind) {
    case ENTITY_OBJECT: entity = AllocRecord<ObjectEntity>(); break;
    case ENTITY_MORPH: entity = AllocRecord<MorphEntity>(); break;
    case ENTITY_LIGHT: entity = AllocRecord<LightEntity>(); break;
    case ENTITY_VOLUME: entity = AllocRecord<VolumeEntity>(); break;
    case ENTITY_CAMERA: entity = AllocRecord<CameraEntity>(); break;
    default: entity = AllocRecord<Entity>(); break;
    }
    if (!entity)
        return nullptr;
    entity->kind = kind;
    if (kind == ENTITY_OBJECT || kind == ENTITY_MORPH || kind == ENTITY_LIGHT)
        entity->size[0] = entity->size[1] = entity->size[2] = 1.0f;
    if (ObjectEntity* object = ObjectOf(entity))
        object->glow[1] = 1.0f;
    return entity;
}

void AddEntity(Scene* scene, Entity* entity)
{
    if (!scene || !entity)
        return;
    Entity** link = &scene->entities;
    while (*link)
        link = &(*link)->next;
    *link = entity;
    entity->next = nullptr;
    ++scene->entityCount;
}

namespace {

// The whole chain in one pass. Nothing survives it, so no parent link needs
// clearing, and the glow buffers are left to FreeScene, which frees their
// whole chain: detaching each object from its buffer would search that
// chain once per object.
void FreeEntities(Scene* scene)
{
    Entity* entity = scene->entities;
    scene->entities = nullptr;
    scene->entityCount = 0;
    while (entity) {
        Entity* next = entity->next;
        FreeEntity(nullptr, entity);
        entity = next;
    }
}

}  // namespace

// Order: camera, lists, entities, light effects, glow buffers, textures,
// materials, fog ramp. Entities release their glow buffers and the buffers
// their materials before the material chain is forced free.
void FreeScene(Scene* scene)
{
    if (!scene)
        return;
    FreeEntity(scene, scene->camera);
    scene->camera = nullptr;
    MemFree(scene->drawList);
    MemFree(scene->spriteList);
    MemFree(scene->sortScratch);
    MemFree(scene->listedCorners);
    FreeEntities(scene);

    const TagItem wholeChain[] = {{TAG_LIGHTEFFECT_CHAIN, 1}, {TAG_DONE, 0}};
    DeleteLightEffect(scene->lightEffects, wholeChain);

    const TagItem releaseFromScene[] = {{TAG_MATERIAL_RELEASESCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    while (GlowBuffer* buffer = scene->glowBuffers) {
        scene->glowBuffers = buffer->next;
        MemFree(buffer->pixels);
        ReleaseMaterial(buffer->material, releaseFromScene);
        MemFree(buffer);
    }
    while (Texture* texture = scene->textures) {
        scene->textures = texture->next;
        FreeTexture(texture);
    }
    const TagItem forceFromScene[] = {
        {TAG_MATERIAL_RELEASESCENE, TagPtr(scene)},
        {TAG_MATERIAL_FORCE, 1},
        {TAG_DONE, 0},
    };
    while (scene->materials)
        ReleaseMaterial(scene->materials, forceFromScene);
    MemFree(scene->fogRamp);
    MemFree(scene);
}

namespace {

template <typename T>
void AppendChain(T** chain, T* other)
{
    while (*chain)
        chain = &(*chain)->next;
    *chain = other;
}

}  // namespace

int MergeScene(Scene* scene, Scene* other)
{
    if (!scene || !other || scene == other)
        return 0;
    AppendChain(&scene->entities, other->entities);
    AppendChain(&scene->textures, other->textures);
    AppendChain(&scene->materials, other->materials);
    AppendChain(&scene->lightEffects, other->lightEffects);
    AppendChain(&scene->glowBuffers, other->glowBuffers);
    scene->entityCount += other->entityCount;
    other->entities = nullptr;
    other->textures = nullptr;
    other->materials = nullptr;
    other->lightEffects = nullptr;
    other->glowBuffers = nullptr;
    other->entityCount = 0;
    return AllocDrawLists(scene);
}

// Light volumes are counted in the draw list only: they have no glow fields,
// so the glow pass leaves them out although their flags carry the glow bit.
int AllocDrawLists(Scene* scene)
{
    if (!scene)
        return 0;
    MemFree(scene->drawList);
    MemFree(scene->spriteList);
    MemFree(scene->sortScratch);
    MemFree(scene->listedCorners);
    scene->drawList = nullptr;
    scene->spriteList = nullptr;
    scene->sortScratch = nullptr;
    scene->listedCorners = nullptr;
    scene->sortCapacity = 0;

    uint64_t polygons = 0;
    uint64_t sprites = 0;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (LightOf(entity)) {
            polygons += 1;
            sprites += 1;
        } else if (ObjectEntity* object = ObjectOf(entity)) {
            polygons += object->faceCount;
            if (object->objectFlags & OBJECT_SPRITEEFFECT)
                sprites += object->vertexCount;
            if (object->objectFlags & OBJECT_GLOW)
                sprites += object->faceCount;
        } else if (VolumeEntity* volume = VolumeOf(entity)) {
            polygons += 2 * uint64_t(std::max({volume->counts[0], volume->counts[1], volume->counts[2]}));
        }
    }
    scene->polygonCapacity = 0;
    scene->spriteCapacity = 0;
    if (polygons + 2 > UINT32_MAX || sprites + 2 > UINT32_MAX)
        return 0;
    scene->drawList = static_cast<DrawEntry*>(MemAlloc(uint32_t(polygons + 2), sizeof(DrawEntry)));
    scene->spriteList = static_cast<DrawEntry*>(MemAlloc(uint32_t(sprites + 2), sizeof(DrawEntry)));
    if (!scene->drawList || !scene->spriteList) {
        MemFree(scene->drawList);
        MemFree(scene->spriteList);
        scene->drawList = nullptr;
        scene->spriteList = nullptr;
        return 0;
    }
    scene->polygonCapacity = uint32_t(polygons);
    scene->spriteCapacity = uint32_t(sprites);
    // Without its working space the sort still gives its order, only slower.
    scene->sortScratch =
        static_cast<uint32_t*>(MemAlloc(uint32_t(polygons + 2), SORT_SCRATCH_WORDS * sizeof(uint32_t)));
    if (scene->sortScratch)
        scene->sortCapacity = uint32_t(polygons);
    // Without them the render pass reads every face from its vertices.
    scene->listedCorners = static_cast<ListedCorners*>(MemAlloc(uint32_t(polygons + 2), sizeof(ListedCorners)));
    return 1;
}

namespace {

uint32_t NearestTo(const ColourTable* table, uint32_t colour)
{
    return uint32_t(Nearest(table, int32_t((colour >> 16) & 0xFF), int32_t((colour >> 8) & 0xFF),
                            int32_t(colour & 0xFF)));
}

}  // namespace

void SetBackgroundIndex(Scene* scene, const ColourTable* table)
{
    if (scene)
        scene->backgroundIndex = NearestTo(table, scene->backgroundColour);
}

void SetColourIndex(ObjectEntity* object, const ColourTable* table)
{
    if (object)
        object->colourIndex = NearestTo(table, object->colour);
}

}  // namespace kvor3d
