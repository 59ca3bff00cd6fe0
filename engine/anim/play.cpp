#include "anim/anim.h"

#include "colour/colour.h"
#include "scene/tagread.h"

#include <algorithm>

namespace kvor3d {

namespace {

// Earliest first-key and latest last-key time over the motion keys of the
// entities and the camera; both 0 without keys.
void KeyTimeRange(const Scene* scene, uint32_t* earliest, uint32_t* latest)
{
    bool any = false;
    *earliest = 0;
    *latest = 0;
    auto consider = [&](const Entity* entity) {
        if (!entity || !entity->keys.head)
            return;
        uint32_t first = entity->keys.head->time;
        uint32_t last = entity->keys.tail->time;
        *earliest = any ? std::min(*earliest, first) : first;
        *latest = any ? std::max(*latest, last) : last;
        any = true;
    };
    if (!scene)
        return;
    for (const Entity* entity = scene->entities; entity; entity = entity->next)
        consider(entity);
    consider(scene->camera);
}

template <typename Function>
Function TagFunction(uint32_t id, const TagItem* tags)
{
    const TagItem* item = FindTagIn(id, tags);
    return item ? reinterpret_cast<Function>(item->data) : nullptr;
}

// Copies the table's palette data into the buffer; a table with fewer than
// 256 colours fills only the words its palette has.
bool CopyPalette(uint32_t* palette, const ColourTable* table)
{
    if (!table)
        return false;
    uint32_t words = std::min<uint32_t>(3 * uint32_t(ColourCount(table)) + 2, PALETTE_FILE_WORDS);
    std::copy(table->palette, table->palette + words, palette);
    return true;
}

// Each component moves from the previous palette toward the next one:
// (trunc(f × (next − previous)) + previous) in the top byte of its word.
// The head and end words stay as they are.
void FadePalette(uint32_t* palette, const ColourTable* from, const ColourTable* to, double f)
{
    int32_t colours = std::min({ColourCount(from), ColourCount(to), int32_t(256)});
    for (int32_t i = 0; i < 3 * colours; ++i) {
        int32_t previous = from->components[i];
        int32_t next = to->components[i];
        int32_t value = int32_t(f * double(next - previous)) + previous;
        palette[1 + i] = uint32_t(value) << 24;
    }
}

}  // namespace

// The fade fraction is computed in double precision from the tick
// differences.
bool RunPaletteTrack(PaletteKey* keys, uint32_t t, uint32_t* palette)
{
    if (!keys)
        return false;
    PaletteKey* previous = nullptr;
    PaletteKey* next = nullptr;
    for (PaletteKey* key = keys; key; key = key->next) {
        if (key->time > t) {
            next = key;
            break;
        }
        previous = key;
    }
    if (!previous)
        return CopyPalette(palette, keys->colourTable);
    if (!next || previous->time == t)
        return CopyPalette(palette, previous->colourTable);
    if (previous->colourTable && next->colourTable && previous->colourTable != next->colourTable &&
        (next->flags & PALETTEKEY_FADE)) {
        double f = double(t - previous->time) / double(next->time - previous->time);
        FadePalette(palette, previous->colourTable, next->colourTable, f);
        next->flags |= PALETTEKEY_OWED;
        return true;
    }
    if ((previous->flags & PALETTEKEY_OWED) && !(next->flags & PALETTEKEY_FADE)) {
        previous->flags &= ~PALETTEKEY_OWED;
        return CopyPalette(palette, previous->colourTable);
    }
    return false;
}

// Forward scene time saturates at the largest tick instead of wrapping, so
// a start close to it cannot send playback back to the beginning.
int PlayScene(Scene* scene, const TagItem* tags)
{
    if (!FindTagIn(TAG_PLAY_TIMESOURCE, tags) || !FindTagIn(TAG_PLAY_FRAME, tags))
        return -1;
    bool forward = TagWord(TAG_PLAY_FORWARD, 1, tags) != 0;
    uint32_t earliest;
    uint32_t latest;
    KeyTimeRange(scene, &earliest, &latest);
    uint32_t start = TagWord(TAG_PLAY_START, forward ? earliest : latest, tags);
    uint32_t end = TagWord(TAG_PLAY_END, forward ? latest : earliest, tags);
    auto timeSource = TagFunction<TimeSource>(TAG_PLAY_TIMESOURCE, tags);
    auto frame = TagFunction<FrameCallback>(TAG_PLAY_FRAME, tags);
    auto stop = TagFunction<StopPoll>(TAG_PLAY_STOP, tags);
    auto paletteCallback = TagFunction<PaletteCallback>(TAG_PLAY_PALETTE, tags);
    PaletteKey* paletteKeys = TagPointer<PaletteKey>(TAG_PLAY_PALETTEKEYS, tags);
    uint32_t ownTime = 0;
    uint32_t* sceneTime = TagPointer<uint32_t>(TAG_PLAY_SCENETIME, tags);
    if (!sceneTime)
        sceneTime = &ownTime;

    *sceneTime = start;
    if (!timeSource)
        return 0;
    uint32_t t0 = timeSource();

    // The buffer starts as a black 256-colour palette, so that a fade shown
    // before any full copy still carries a valid head word.
    uint32_t palette[PALETTE_FILE_WORDS] = {256u << 16};
    PaletteRecord record = {palette};
    for (;;) {
        bool done = false;
        if (forward ? *sceneTime >= end : *sceneTime <= end) {
            *sceneTime = end;
            done = true;
        }
        EvaluateScene(scene, *sceneTime);
        if (RunPaletteTrack(paletteKeys, *sceneTime, palette)) {
            if (!paletteCallback)
                return 0;
            paletteCallback(&record);
        }
        if (!frame)
            break;
        frame(scene);
        if (stop && stop() == 1)
            done = true;
        if (done)
            break;
        uint32_t elapsed = timeSource() - t0;
        if (forward)
            *sceneTime = elapsed > UINT32_MAX - start ? UINT32_MAX : start + elapsed;
        else
            *sceneTime = elapsed > start ? 0 : start - elapsed;
    }
    return 0;
}

}  // namespace kvor3d
