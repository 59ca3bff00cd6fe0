// The scene reader's steps after the last chunk: references by name become
// pointers, then the data that the renderer derives from the file is built.
#include "anim/anim.h"
#include "scene/keys.h"
#include "scene/material.h"
#include "scene/reader.h"

#include <cstring>

namespace {

bool SameName(const char* a, const char* b)
{
    return a && b && std::strcmp(a, b) == 0;
}

Entity* FindEntity(Scene* scene, const char* name)
{
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (SameName(entity->name, name))
            return entity;
    }
    return nullptr;
}

LightEffect* FindLightEffect(Scene* scene, const char* name)
{
    for (LightEffect* effect = scene->lightEffects; effect; effect = effect->next) {
        if (SameName(effect->name, name))
            return effect;
    }
    return nullptr;
}

MorphTarget* FindTarget(MorphEntity* morph, const char* name)
{
    for (MorphTarget* target = morph->targets; target; target = target->next) {
        if (SameName(target->name, name))
            return target;
    }
    return nullptr;
}

// Replaces a pending name with the record it names; no pending name is no
// failure, a name that matches nothing is.
template <typename T, typename Find>
bool ResolveName(char** name, T** slot, Find find)
{
    if (!*name)
        return true;
    *slot = find(*name);
    if (!*slot)
        return false;
    MemFree(*name);
    *name = nullptr;
    return true;
}

bool ResolveParent(Scene* scene, Entity* entity)
{
    return ResolveName(&entity->parentName, &entity->parent,
                       [scene](const char* name) { return FindEntity(scene, name); });
}

// The pipeline builds matrices up the parent links, so they must end: a
// walk from any entity meets no more parents than there are entities.
bool ParentsEnd(const Scene* scene)
{
    for (const Entity* entity = scene->entities; entity; entity = entity->next) {
        uint32_t steps = 0;
        for (const Entity* parent = entity->parent; parent; parent = parent->parent) {
            if (++steps > scene->entityCount)
                return false;
        }
    }
    return true;
}

// Parents are looked up in the entity chain; the camera may have a parent
// too.
bool ResolveParents(Scene* scene)
{
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (!ResolveParent(scene, entity))
            return false;
    }
    return ResolveParent(scene, scene->camera) && ParentsEnd(scene);
}

bool ResolveMorphKeys(MorphEntity* morph)
{
    for (Key* key = morph->morphKeys.head; key; key = key->next) {
        auto* morphKey = static_cast<MorphKey*>(key);
        if (!ResolveName(&morphKey->targetName, &morphKey->target,
                         [morph](const char* name) { return FindTarget(morph, name); }))
            return false;
    }
    return true;
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
bool PrepareObject(Scene* scene, ObjectEntity* object)
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
    return ResolveName(&object->spriteEffectName, &object->spriteEffect,
                       [scene](const char* name) { return FindLightEffect(scene, name); });
}

bool PrepareEntities(Scene* scene)
{
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (MorphEntity* morph = MorphOf(entity)) {
            if (!ResolveMorphKeys(morph))
                return false;
            EvaluateMorph(morph, 0);
        }
        if (ObjectEntity* object = ObjectOf(entity)) {
            if (!PrepareObject(scene, object))
                return false;
        } else if (LightEntity* light = LightOf(entity)) {
            if (!ResolveName(&light->effectName, &light->effect,
                             [scene](const char* name) { return FindLightEffect(scene, name); }))
                return false;
        }
    }
    return true;
}

constexpr uint32_t ELEMENT_MODE_MASK = 0x3;

// Element material modes for e3 bits 0-1 = 0, 1, 2. Mode 3 has no material
// of its own: such an element keeps none.
constexpr uint32_t ELEMENT_MATERIAL_MODES[] = {MATERIAL_ADD, MATERIAL_SUBTRACT, MATERIAL_BLEND};

bool MakeElementMaterial(Scene* scene, LightEffectElement* element)
{
    const uint32_t mode = element->e3 & ELEMENT_MODE_MASK;
    if (mode >= sizeof ELEMENT_MATERIAL_MODES / sizeof ELEMENT_MATERIAL_MODES[0])
        return true;
    const TagItem tags[] = {
        {TAG_MATERIAL_MODE, ELEMENT_MATERIAL_MODES[mode]},
        {TAG_MATERIAL_P1, element->e2},
        {TAG_MATERIAL_SCENE, TagPtr(scene)},
        {TAG_MATERIAL_COLOURTABLE, TagPtr(scene->colourTable)},
        {TAG_DONE, 0},
    };
    element->material = CreateMaterial(tags);
    return element->material != nullptr;
}

bool PrepareLightEffects(Scene* scene)
{
    for (LightEffect* effect = scene->lightEffects; effect; effect = effect->next) {
        for (LightEffectElement* element = effect->elements; scene->colourTable && element;
             element = element->next) {
            if (!MakeElementMaterial(scene, element))
                return false;
        }
        SortLightEffectElements(effect);
    }
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

bool ResolveScene(Scene* scene)
{
    return ResolveParents(scene) && PrepareAllMipLevels(scene) && PrepareEntities(scene) &&
           PrepareLightEffects(scene) && AttachGlowBuffers(scene, 0, 0) && PrepareForColourTable(scene) &&
           AllocDrawLists(scene);
}
