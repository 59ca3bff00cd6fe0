// The scene reader's steps after the last chunk: references by name become
// pointers, then the data that the renderer derives from the file is built.
#include "anim/anim.h"
#include "scene/keys.h"
#include "scene/material.h"
#include "scene/reader.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace kvor3d {

namespace {

// The named records of one chain sorted by name, equal names in chain
// order, so that a name finds the first record of the chain that bears it
// in logarithmic time: a file of many entities, targets or effects resolves
// in n log n steps.
template <typename T>
struct NameIndex {
    T** records;
    uint32_t count;
};

template <typename T>
void FreeIndex(NameIndex<T>* index)
{
    MemFree(index->records);
    *index = NameIndex<T>{};
}

template <typename T>
bool BuildIndex(T* chain, NameIndex<T>* index)
{
    *index = NameIndex<T>{};
    uint32_t count = 0;
    for (T* record = chain; record; record = record->next)
        count += record->name ? 1 : 0;
    index->records = static_cast<T**>(MemAlloc(count, sizeof(T*)));
    if (!index->records && count != 0)
        return false;
    for (T* record = chain; record; record = record->next) {
        if (record->name)
            index->records[index->count++] = record;
    }
    std::stable_sort(index->records, index->records + index->count,
                     [](const T* a, const T* b) { return std::strcmp(a->name, b->name) < 0; });
    return true;
}

template <typename T>
T* FindByName(const NameIndex<T>& index, const char* name)
{
    T** end = index.records + index.count;
    T** found = std::lower_bound(index.records, end, name,
                                 [](const T* record, const char* key) { return std::strcmp(record->name, key) < 0; });
    return found != end && std::strcmp((*found)->name, name) == 0 ? *found : nullptr;
}

// Replaces a pending name with the record of that name; no pending name is
// no failure, a name that matches nothing is.
template <typename T, typename U>
bool ResolveName(const NameIndex<T>& index, char** name, U** slot)
{
    if (!*name)
        return true;
    *slot = FindByName(index, *name);
    if (!*slot)
        return false;
    MemFree(*name);
    *name = nullptr;
    return true;
}

// The pipeline builds matrices up the parent links, so they must end. Each
// walk up from an entity marks the entities it passes with its number:
// meeting a mark of the same walk is a loop, meeting a mark of an earlier
// walk joins a chain already known to end. The marks are kept beside the
// entities sorted by address.
bool ParentsEnd(const Scene* scene)
{
    uint32_t count = 0;
    for (const Entity* entity = scene->entities; entity; entity = entity->next)
        ++count;
    auto** byAddress = static_cast<const Entity**>(MemAlloc(count, sizeof(Entity*)));
    auto* marks = static_cast<uint32_t*>(MemAlloc(count, sizeof(uint32_t)));
    bool ends = count == 0 || (byAddress && marks);
    if (ends && count != 0) {
        uint32_t n = 0;
        for (const Entity* entity = scene->entities; entity; entity = entity->next)
            byAddress[n++] = entity;
        std::sort(byAddress, byAddress + count, std::less<const Entity*>());
    }
    uint32_t walk = 0;
    for (const Entity* entity = scene->entities; ends && entity; entity = entity->next) {
        ++walk;
        for (const Entity* step = entity; step; step = step->parent) {
            const Entity** found = std::lower_bound(byAddress, byAddress + count, step, std::less<const Entity*>());
            if (found == byAddress + count || *found != step)
                break;
            uint32_t& mark = marks[found - byAddress];
            ends = mark != walk;
            if (mark != 0)
                break;
            mark = walk;
        }
    }
    MemFree(byAddress);
    MemFree(marks);
    return ends;
}

// Parents are looked up in the entity chain; the camera may have a parent
// too.
bool ResolveParents(Scene* scene)
{
    NameIndex<Entity> index;
    if (!BuildIndex(scene->entities, &index))
        return false;
    bool resolved = ResolveName(index, &scene->camera->parentName, &scene->camera->parent);
    for (Entity* entity = scene->entities; resolved && entity; entity = entity->next)
        resolved = ResolveName(index, &entity->parentName, &entity->parent);
    FreeIndex(&index);
    return resolved && ParentsEnd(scene);
}

bool ResolveMorphKeys(MorphEntity* morph)
{
    NameIndex<MorphTarget> index;
    if (!BuildIndex(morph->targets, &index))
        return false;
    bool resolved = true;
    for (Key* key = morph->morphKeys.head; resolved && key; key = key->next) {
        auto* morphKey = static_cast<MorphKey*>(key);
        resolved = ResolveName(index, &morphKey->targetName, &morphKey->target);
    }
    FreeIndex(&index);
    return resolved;
}

constexpr uint32_t MIP_REQUEST = 0x2;       // m1 bit 1: texture map, m2 bit 1: environment map
constexpr uint32_t ALL_MIP_LEVELS = 0xffff;

bool PrepareRequestedLevels(Texture* texture, uint32_t materialWord)
{
    if (!texture || !(materialWord & MIP_REQUEST) || (texture->textureFlags & TEXTURE_MIPLEVELS))
        return true;
    return PrepareMipLevels(texture, ALL_MIP_LEVELS) != 0 || !(texture->textureFlags & TEXTURE_POWEROFTWO);
}

// Mip levels replace a texture's pixel block, so they are prepared for every
// object before any object takes an environment map's pixels. A texture
// whose sides are not powers of two gets none, which is no failure.
bool PrepareAllMipLevels(Scene* scene)
{
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        ObjectEntity* object = ObjectOf(entity);
        if (object && (!PrepareRequestedLevels(object->textureMap, object->material[1]) ||
                       !PrepareRequestedLevels(object->environmentMap, object->material[2])))
            return false;
    }
    return true;
}

// Normals, colour index, the 8-bit lookup table, the environment pixels, the
// shade material and the sprite effect of an object or morph object.
bool PrepareObject(Scene* scene, const NameIndex<LightEffect>& effects, ObjectEntity* object)
{
    const ColourTable* table = scene->colourTable;
    if (!ComputeNormals(object))
        return false;
    if (table) {
        SetColourIndex(object, table);
        if ((object->objectFlags & OBJECT_TRANSPARENT) && !BuildObjectTable(object, table))
            return false;
    }
    if (object->objectFlags & OBJECT_LIGHTMAP) {
        if (!UsePrivateEnvironmentMap(object))
            return false;
    } else {
        UseSharedEnvironmentMap(object);
    }
    if ((object->objectFlags & OBJECT_SHADED) && table && !RequireSceneMaterial(scene, table))
        return false;
    return ResolveName(effects, &object->spriteEffectName, &object->spriteEffect);
}

bool PrepareEntity(Scene* scene, const NameIndex<LightEffect>& effects, Entity* entity)
{
    if (MorphEntity* morph = MorphOf(entity)) {
        if (!ResolveMorphKeys(morph))
            return false;
        EvaluateMorph(morph, 0);
    }
    if (ObjectEntity* object = ObjectOf(entity))
        return PrepareObject(scene, effects, object);
    if (LightEntity* light = LightOf(entity))
        return ResolveName(effects, &light->effectName, &light->effect);
    return true;
}

bool PrepareEntities(Scene* scene)
{
    NameIndex<LightEffect> effects;
    if (!BuildIndex(scene->lightEffects, &effects))
        return false;
    bool prepared = true;
    for (Entity* entity = scene->entities; prepared && entity; entity = entity->next)
        prepared = PrepareEntity(scene, effects, entity);
    FreeIndex(&effects);
    return prepared;
}

bool PrepareLightEffects(Scene* scene)
{
    if (scene->colourTable && !CreateElementMaterials(scene->lightEffects, scene, scene->colourTable))
        return false;
    for (LightEffect* effect = scene->lightEffects; effect; effect = effect->next)
        SortLightEffectElements(effect);
    return true;
}

constexpr uint32_t FOG_START_WORD = 1;  // f1 in scene.fog

// The fog ramp and material for the scene's colour table, and the
// background's colour-table entry.
bool PrepareForColourTable(Scene* scene)
{
    if (!scene->colourTable)
        return true;
    const TagItem tags[] = {
        {TAG_FOG_COLOURTABLE, TagPtr(scene->colourTable)},
        {TAG_FOG_START, scene->fog[FOG_START_WORD]},
        {TAG_DONE, 0},
    };
    if (SetFog(scene, tags) == 0)
        return false;
    SetBackgroundIndex(scene, scene->colourTable);
    return true;
}

}  // namespace

// Element materials: mode 2, 4 or 6 for e3 bits 0-1 = 0, 1 or 2. Mode 3 has
// no material of its own: such an element keeps none. A material with one
// user right after CreateMaterial is a new table; one found in the scene's
// chain has more.
bool CreateElementMaterials(LightEffect* first, Scene* scene, const ColourTable* table)
{
    constexpr uint32_t modes[] = {MATERIAL_ADD, MATERIAL_SUBTRACT, MATERIAL_BLEND};
    constexpr uint32_t modeMask = 0x3;
    uint32_t made = 0;
    for (LightEffect* effect = first; effect; effect = effect->next) {
        for (LightEffectElement* element = effect->elements; element; element = element->next) {
            const uint32_t mode = element->e3 & modeMask;
            if (mode >= sizeof modes / sizeof modes[0])
                continue;
            const TagItem tags[] = {
                {TAG_MATERIAL_MODE, modes[mode]},
                {TAG_MATERIAL_P1, element->e2},
                {TAG_MATERIAL_SCENE, TagPtr(scene)},
                {TAG_MATERIAL_COLOURTABLE, TagPtr(table)},
                {TAG_DONE, 0},
            };
            element->material = CreateMaterial(tags);
            if (!element->material)
                return false;
            if (element->material->users == 1 && ++made > ELEMENT_MATERIAL_LIMIT)
                return false;
        }
    }
    return true;
}

bool ResolveScene(Scene* scene)
{
    return ResolveParents(scene) && PrepareAllMipLevels(scene) && PrepareEntities(scene) &&
           PrepareLightEffects(scene) && AttachGlowBuffers(scene, 0, 0) && PrepareForColourTable(scene) &&
           AllocDrawLists(scene);
}

}  // namespace kvor3d
