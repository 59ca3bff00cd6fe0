#include "scene/scene.h"

namespace kvor3d {

namespace {

GlowBuffer* FindGlowBuffer(Scene* scene, uint32_t colour, float g1)
{
    for (GlowBuffer* buffer = scene->glowBuffers; buffer; buffer = buffer->next) {
        if (buffer->colour == colour && buffer->g1 == g1)
            return buffer;
    }
    return nullptr;
}

// Zero-filled pixels for a width × height buffer; a zero-sized one needs none.
bool AllocGlowPixels(uint32_t width, uint32_t height, uint8_t** pixels)
{
    *pixels = nullptr;
    if (width == 0 || height == 0)
        return true;
    *pixels = static_cast<uint8_t*>(MemAlloc(width, height));
    return *pixels != nullptr;
}

GlowBuffer* CreateGlowBuffer(const ObjectEntity* object, uint32_t width, uint32_t height)
{
    auto* buffer = AllocRecord<GlowBuffer>();
    if (!buffer)
        return nullptr;
    if (!AllocGlowPixels(width, height, &buffer->pixels)) {
        MemFree(buffer);
        return nullptr;
    }
    if (buffer->pixels) {
        buffer->width = width;
        buffer->height = height;
    }
    buffer->colour = object->colour;
    buffer->g1 = object->glow[1];
    buffer->users = 1;
    return buffer;
}

}  // namespace

// Objects that already have a glow buffer keep it, so attaching twice does
// not count a user twice. Light volumes carry the glow bit in their flags
// but have no glow fields, and get no buffer.
int AttachGlowBuffers(Scene* scene, uint32_t width, uint32_t height)
{
    if (!scene)
        return 0;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        ObjectEntity* object = ObjectOf(entity);
        if (!object || !(object->objectFlags & OBJECT_GLOW) || object->glowBuffer)
            continue;
        if (GlowBuffer* shared = FindGlowBuffer(scene, object->colour, object->glow[1])) {
            ++shared->users;
            object->glowBuffer = shared;
            continue;
        }
        GlowBuffer* buffer = CreateGlowBuffer(object, width, height);
        if (!buffer) {
            ReleaseGlowBuffers(scene);
            return 0;
        }
        buffer->next = scene->glowBuffers;
        scene->glowBuffers = buffer;
        object->glowBuffer = buffer;
    }
    return 1;
}

void ReleaseGlowBuffers(Scene* scene)
{
    if (!scene)
        return;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (ObjectEntity* object = ObjectOf(entity))
            DetachGlowBuffer(scene, object);
    }
}

void DetachGlowBuffer(Scene* scene, ObjectEntity* object)
{
    if (!object || !object->glowBuffer)
        return;
    GlowBuffer* buffer = object->glowBuffer;
    object->glowBuffer = nullptr;
    if (buffer->users > 0)
        --buffer->users;
    if (buffer->users > 0)
        return;
    if (scene) {
        for (GlowBuffer** link = &scene->glowBuffers; *link; link = &(*link)->next) {
            if (*link == buffer) {
                *link = buffer->next;
                break;
            }
        }
    }
    const TagItem releaseFromScene[] = {{TAG_MATERIAL_RELEASESCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    MemFree(buffer->pixels);
    ReleaseMaterial(buffer->material, releaseFromScene);
    MemFree(buffer);
}

int ResizeGlowBuffers(Scene* scene, uint32_t width, uint32_t height)
{
    if (!scene)
        return 0;
    for (GlowBuffer* buffer = scene->glowBuffers; buffer; buffer = buffer->next) {
        if (buffer->width == width && buffer->height == height && (buffer->pixels || !width || !height))
            continue;
        uint8_t* pixels;
        if (!AllocGlowPixels(width, height, &pixels))
            return 0;
        MemFree(buffer->pixels);
        buffer->pixels = pixels;
        buffer->width = width;
        buffer->height = height;
    }
    return 1;
}

}  // namespace kvor3d
