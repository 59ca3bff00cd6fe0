// Rendering without a window, shared by kvorshot and kvorbench: the view's
// size, a palette file made into a colour table, a scene's time range as the
// playback loop takes it, frame times spread evenly over it, and one frame
// drawn at a given time.
#pragma once

#include "kvor3d.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <vector>

using namespace kvor3d;

namespace headless {

constexpr int32_t VIEW_WIDTH = 320;
constexpr int32_t VIEW_HEIGHT = 200;

// The palette file's words made into a colour table (with its octree, as
// the show builds it); null when the file cannot be read whole.
inline ColourTable* ReadPalette(const char* path)
{
    std::vector<uint32_t> words(PALETTE_FILE_WORDS);
    FILE* file = OpenRegularFile(path);
    if (!file)
        return nullptr;
    const size_t read = std::fread(words.data(), sizeof(uint32_t), words.size(), file);
    std::fclose(file);
    if (read != words.size())
        return nullptr;
    const TagItem tags[] = {{TAG_COLOURTABLE_PALETTE, TagPtr(words.data())}, {TAG_COLOURTABLE_OCTREE, 1}, {TAG_DONE, 0}};
    return CreateColourTable(tags);
}

// The earliest first-key and latest last-key time of the entities' and the
// camera's motion keys: what PlayScene plays by default. Both 0 without keys.
inline void SceneTimeRange(const Scene* scene, uint32_t* start, uint32_t* end)
{
    bool any = false;
    *start = 0;
    *end = 0;
    const auto consider = [&](const Entity* entity) {
        if (!entity || !entity->keys.head)
            return;
        *start = any ? std::min(*start, entity->keys.head->time) : entity->keys.head->time;
        *end = any ? std::max(*end, entity->keys.tail->time) : entity->keys.tail->time;
        any = true;
    };
    for (const Entity* entity = scene->entities; entity; entity = entity->next)
        consider(entity);
    consider(scene->camera);
}

// Frame i of n spread evenly from start to end, both included; a single
// frame is drawn at the start.
inline uint32_t FrameTime(uint32_t start, uint32_t end, uint32_t i, uint32_t n)
{
    if (n < 2 || end <= start)
        return start;
    return start + uint32_t(uint64_t(end - start) * i / (n - 1));
}

// One frame at scene time t into the view, as a program's frame callback
// draws it after the playback loop has evaluated the scene.
inline void RenderAt(Scene* scene, XView* view, uint32_t t)
{
    EvaluateScene(scene, t);
    PrepareScene(scene, scene->camera, view);
    DrawBackground(scene, view);
    RenderScene(scene, scene->camera, view, 0);
}

}  // namespace headless
