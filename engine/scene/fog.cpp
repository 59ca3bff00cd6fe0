#include "scene/material.h"

#include "scene/scene.h"
#include "scene/tagread.h"

namespace kvor3d {

namespace {

constexpr uint32_t FOG_MODE_SHIFT = 12;

// Fog words in scene.fog, in file order.
constexpr int FOG_COLOUR = 0;
constexpr int FOG_START = 1;
constexpr int FOG_STARTWEIGHT = 2;
constexpr int FOG_END = 3;
constexpr int FOG_ENDWEIGHT = 4;

uint32_t FogMode(const Scene* scene)
{
    return (scene->flags & SCENE_FOGMODE) >> FOG_MODE_SHIFT;
}

// Depths before f1 get level 0, depths after f3 level 255. In the linear
// mode the range between rises as (d − f1) × 255 / (f3 − f1 + 1); other
// modes keep what the range held. The depths are signed integers.
void FillRamp(uint8_t* ramp, const Scene* scene)
{
    const int64_t start = int32_t(scene->fog[FOG_START]);
    const int64_t end = int32_t(scene->fog[FOG_END]);
    const bool linear = FogMode(scene) == FOG_LINEAR;
    for (int64_t d = 0; d < FOG_RAMP_BYTES; ++d) {
        if (d < start)
            ramp[d] = 0;
        else if (d > end)
            ramp[d] = 255;
        else if (linear)
            ramp[d] = uint8_t((d - start) * 255 / (end - start + 1));
    }
}

void ReleaseFogMaterial(Scene* scene)
{
    const TagItem tags[] = {{TAG_MATERIAL_RELEASESCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    ReleaseMaterial(scene->fogMaterial, tags);
    scene->fogMaterial = nullptr;
}

// The fog material needs a palette to mix. Without TAG_FOG_COLOURTABLE the
// scene's own colour table serves; a scene without one (pure 15-bit
// rendering, whose fillers blend toward the fog colour themselves) gets no
// fog material, which is no failure.
bool RemakeFogMaterial(Scene* scene, const ColourTable* table)
{
    ReleaseFogMaterial(scene);
    if (!table)
        table = scene->colourTable;
    if (!table)
        return true;
    const TagItem tags[] = {
        {TAG_MATERIAL_MODE, MATERIAL_FOG},
        {TAG_MATERIAL_P1, scene->fog[FOG_STARTWEIGHT]},
        {TAG_MATERIAL_P2, scene->fog[FOG_ENDWEIGHT]},
        {TAG_MATERIAL_P3, scene->fog[FOG_COLOUR]},
        {TAG_MATERIAL_SCENE, TagPtr(scene)},
        {TAG_MATERIAL_COLOURTABLE, TagPtr(table)},
        {TAG_DONE, 0},
    };
    scene->fogMaterial = CreateMaterial(tags);
    return scene->fogMaterial != nullptr;
}

void SetFlag(Scene* scene, uint32_t flag, bool on)
{
    if (on)
        scene->flags |= flag;
    else
        scene->flags &= ~flag;
}

}  // namespace

int32_t SetFog(Scene* scene, const TagItem* tags)
{
    if (!scene)
        return 0;
    int32_t handled = 0;
    const auto store = [&](uint32_t tag, int word) {
        const TagItem* item = FindTagIn(tag, tags);
        if (item) {
            scene->fog[word] = uint32_t(item->data);
            ++handled;
        }
        return item != nullptr;
    };
    const bool colour = store(TAG_FOG_COLOUR, FOG_COLOUR);
    const bool start = store(TAG_FOG_START, FOG_START);
    const bool end = store(TAG_FOG_END, FOG_END);
    const bool startWeight = store(TAG_FOG_STARTWEIGHT, FOG_STARTWEIGHT);
    const bool endWeight = store(TAG_FOG_ENDWEIGHT, FOG_ENDWEIGHT);

    const TagItem* mode = FindTagIn(TAG_FOG_MODE, tags);
    if (mode) {
        scene->flags = (scene->flags & ~SCENE_FOGMODE) | ((uint32_t(mode->data) << FOG_MODE_SHIFT) & SCENE_FOGMODE);
        ++handled;
    }
    const TagItem* tableItem = FindTagIn(TAG_FOG_COLOURTABLE, tags);
    if (tableItem)
        ++handled;
    if (const TagItem* nearItem = FindTagIn(TAG_FOG_NEAR, tags)) {
        SetFlag(scene, SCENE_FOGNEAR, nearItem->data != 0);
        ++handled;
    }
    if (const TagItem* farItem = FindTagIn(TAG_FOG_FAR, tags)) {
        SetFlag(scene, SCENE_FOGFAR, farItem->data != 0);
        ++handled;
    }

    if (FogMode(scene) == 0) {
        MemFree(scene->fogRamp);
        scene->fogRamp = nullptr;
        ReleaseFogMaterial(scene);
        return handled;
    }
    if (start || end || mode) {
        if (!scene->fogRamp)
            scene->fogRamp = static_cast<uint8_t*>(MemAlloc(FOG_RAMP_BYTES, 1));
        if (!scene->fogRamp)
            return 0;
        FillRamp(scene->fogRamp, scene);
    }
    if (!scene->fogMaterial || colour || startWeight || endWeight || tableItem) {
        const auto* table = tableItem ? reinterpret_cast<const ColourTable*>(tableItem->data) : nullptr;
        if (!RemakeFogMaterial(scene, table))
            return 0;
    }
    return handled;
}

int32_t GetFog(const Scene* scene, const TagItem* tags)
{
    if (!scene)
        return 0;
    int32_t handled = 0;
    const auto give = [&](uint32_t tag, uint32_t value) {
        if (auto* out = TagPointer<uint32_t>(tag, tags)) {
            *out = value;
            ++handled;
        }
    };
    const auto giveFlag = [&](uint32_t tag, uint32_t flag) {
        if (auto* out = TagPointer<uint16_t>(tag, tags)) {
            *out = (scene->flags & flag) ? 1 : 0;
            ++handled;
        }
    };
    give(TAG_FOG_COLOUR, scene->fog[FOG_COLOUR]);
    give(TAG_FOG_START, scene->fog[FOG_START]);
    give(TAG_FOG_END, scene->fog[FOG_END]);
    give(TAG_FOG_STARTWEIGHT, scene->fog[FOG_STARTWEIGHT]);
    give(TAG_FOG_ENDWEIGHT, scene->fog[FOG_ENDWEIGHT]);
    give(TAG_FOG_MODE, FogMode(scene));
    giveFlag(TAG_FOG_NEAR, SCENE_FOGNEAR);
    giveFlag(TAG_FOG_FAR, SCENE_FOGFAR);
    return handled;
}

}  // namespace kvor3d
