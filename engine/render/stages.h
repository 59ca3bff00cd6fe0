// What the stages of the render pass share: the frame pixel of a projected
// point, the sprite list of one frame, and the stages RenderScene runs from
// the other files. Internal to the render pass.
#pragma once

#include "render/pass.h"

#include <cstddef>
#include <cstdint>

namespace kvor3d {

// The index of the frame pixel under a projected point, int() of each
// coordinate; false when that pixel lies outside the frame.
inline bool FramePixel(float x, float y, size_t* index)
{
    const int32_t px = TruncToInt(x);
    const int32_t py = TruncToInt(y);
    if (px < 0 || py < 0 || px >= Frame.width || py >= Frame.height)
        return false;
    *index = size_t(py) * size_t(Frame.width) + size_t(px);
    return true;
}

// The scene's sprite list as this frame fills it.
struct SpriteList {
    DrawEntry* entries;
    uint32_t capacity;
    uint32_t count;

    // False, leaving the entry out, when the list is full.
    bool Append(const DrawEntry& entry)
    {
        if (!entries || count >= capacity)
            return false;
        entries[count++] = entry;
        return true;
    }
};

// The time since `mark` added to `total`, and the mark moved to now, while
// the profile's clock is set.
inline void ProfileLap(uint64_t* total, uint64_t* mark)
{
    if (!Profile.clock)
        return;
    const uint64_t now = Profile.clock();
    *total += now - *mark;
    *mark = now;
}

inline uint64_t ProfileStart()
{
    return Profile.clock ? Profile.clock() : 0;
}

// Phase 2: the sorted draw list's faces, lights and glints into the frame;
// the lights and glints whose markers were written go into the sprite list.
void DrawMainPass(Scene* scene, SpriteList& sprites);

// Phases 0 and 1 (shadow.cpp): depth of every face, then the shadow quads
// counted into the shadow mask. False when the view's depth buffer or
// shadow mask cannot be allocated: the frame is then drawn without shadows.
bool DrawShadowPass(Scene* scene, XView* view);

// Phase 4 (shadow.cpp): every target pixel under a non-zero mask byte
// becomes black.
void DarkenShadows(const XView* view);

// Frees the view's depth buffer and shadow mask and forgets them in the
// frame constants.
void FreeShadowBuffers(XView* view);

// Phase 3 for one face of a glowing object (glow.cpp): its glow sprite, its
// glow buffer cleared on first use this frame, and the glow-edge filler.
void DrawGlowFace(Face* face);

// Phase 5 (glow.cpp): each glow buffer drawn this frame painted over the
// target in its colour.
void BlendGlow(Scene* scene);

// Flare sprites of the lights and glints still visible (flare.cpp).
void DrawFlares(const SpriteList& sprites, XView* view);

}  // namespace kvor3d
