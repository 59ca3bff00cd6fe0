#include "scene/keys.h"
#include "scene/scene.h"

namespace kvor3d {

namespace {

void FreeMorphKey(MorphKey* key)
{
    MemFree(key->targetName);
    MemFree(key);
}

void FreeMorphKeys(KeyList* list)
{
    Key* key = list->head;
    while (key) {
        Key* next = key->next;
        FreeMorphKey(static_cast<MorphKey*>(key));
        key = next;
    }
    list->head = nullptr;
    list->tail = nullptr;
}

void FreeShadowQuads(LightEntity* light)
{
    while (ShadowQuadBlock* block = light->shadowQuads) {
        light->shadowQuads = block->next;
        MemFree(block->quads);
        MemFree(block);
    }
}

void FreeVolumeBuffers(VolumeEntity* volume)
{
    for (int axis = 0; axis < 3; ++axis) {
        MemFree(volume->stackVertices[axis]);
        MemFree(volume->stackFaces[axis]);
    }
    MemFree(volume->colourVoxels);
    MemFree(volume->densityVoxels);
}

void FreeObjectPart(Scene* scene, ObjectEntity* object)
{
    MemFree(object->vertices);
    MemFree(object->faces);
    MemFree(object->faceCorners);
    MemFree(object->edgeTable);
    if (object->objectFlags & OBJECT_LIGHTMAP)
        MemFree(object->environmentPixels);
    MemFree(object->lookupTable);
    MemFree(object->glowImage);
    MemFree(object->spriteEffectName);
    if (scene)
        DetachGlowBuffer(scene, object);
}

}  // namespace

void RemoveEntity(Scene* scene, Entity* entity)
{
    if (!scene || !entity)
        return;
    Entity** link = &scene->entities;
    while (*link && *link != entity)
        link = &(*link)->next;
    if (!*link)
        return;
    *link = entity->next;
    entity->next = nullptr;

    for (Entity* other = scene->entities; other; other = other->next) {
        if (other->parent == entity)
            other->parent = nullptr;
    }
    if (scene->camera && scene->camera->parent == entity)
        scene->camera->parent = nullptr;
    // This frame's lists may point at the entity's faces or at the light.
    scene->drawCount = 0;

    FreeEntity(scene, entity);
    --scene->entityCount;
}

// Every key list of the entity is freed: motion keys, light keys and the
// morph keys that no target deletion reached (those without a target).
void FreeEntity(Scene* scene, Entity* entity)
{
    if (!entity)
        return;
    MemFree(entity->name);
    MemFree(entity->parentName);
    FreeKeyList(&entity->keys);
    if (LightEntity* light = LightOf(entity)) {
        FreeKeyList(&light->keys2);
        FreeShadowQuads(light);
        MemFree(light->effectName);
    } else if (VolumeEntity* volume = VolumeOf(entity)) {
        FreeVolumeBuffers(volume);
    } else if (ObjectEntity* object = ObjectOf(entity)) {
        FreeObjectPart(scene, object);
        if (MorphEntity* morph = MorphOf(entity)) {
            while (morph->targets)
                RemoveMorphTarget(morph, morph->targets);
            FreeMorphKeys(&morph->morphKeys);
        }
    }
    MemFree(entity);
}

// The object no longer shows a target it does not have: when the removed
// target was the current one, currentTarget is cleared so that the next
// evaluation copies a shape again.
void RemoveMorphTarget(MorphEntity* morph, MorphTarget* target)
{
    if (!morph || !target)
        return;
    MorphTarget** link = &morph->targets;
    while (*link && *link != target)
        link = &(*link)->next;
    if (!*link)
        return;
    *link = target->next;
    --morph->targetCount;
    if (morph->currentTarget == target)
        morph->currentTarget = nullptr;

    Key* key = morph->morphKeys.head;
    while (key) {
        Key* next = key->next;
        auto* morphKey = static_cast<MorphKey*>(key);
        if (morphKey->target == target) {
            RemoveKey(&morph->morphKeys, key);
            FreeMorphKey(morphKey);
        }
        key = next;
    }
    MemFree(target->name);
    MemFree(target->targetVertices);
    MemFree(target);
}

}  // namespace kvor3d
