// RenderScene: the phases of one frame in their order, the visibility test
// of the main pass's markers of lights and vertex glints after every face is
// drawn, and the motion-blur mix.
#include "render/stages.h"

#include <algorithm>
#include <cmath>

namespace kvor3d {

RenderProfile Profile;

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr int32_t FOG_INDEX_BASE = 64;

// The frame constants describe this view: PrepareScene ran for it, so every
// coordinate the fillers and markers get fits its buffers.
bool FrameOfView(const XView& view)
{
    const uint16_t* drawn = (view.flags & XVIEW_DOUBLEBUFFER) ? view.bufferB : view.current;
    return Frame.target && Frame.target == drawn && Frame.width == view.width && Frame.height == view.height &&
           Frame.width > 0 && Frame.height > 0;
}

// A marker still in place means nothing nearer covered the point: the pixel
// under it comes back. Otherwise the entry is dropped.
void TestMarker(DrawEntry& entry, float x, float y, uint16_t saved)
{
    size_t index;
    if (FramePixel(x, y, &index) && Frame.target[index] == MARKER_PIXEL)
        Frame.target[index] = saved;
    else
        entry.type = DRAW_DROPPED;
}

// Phase 3, from the last sprite entry to the first, so that markers written
// over markers come back in the reverse order of their writing.
void DrawGlowPass(SpriteList& sprites)
{
    Frame.renderPhase = PHASE_GLOW;
    for (uint32_t i = sprites.count; i-- > 0;) {
        DrawEntry& entry = sprites.entries[i];
        if (entry.type == DRAW_LIGHT) {
            const LightEntity* light = LightOf(entry.light);
            TestMarker(entry, light->screenX, light->screenY, light->savedPixel);
        } else if (entry.type == DRAW_GLINT) {
            const Vertex* v = entry.face->vertices[TruncToInt(entry.key)];
            TestMarker(entry, v->screenX, v->screenY, v->savedPixel);
        } else if (entry.type == DRAW_GLOWFACE) {
            DrawGlowFace(entry.face);
        }
    }
}

// Blue in bits 0-4, green 10-14, red 20-24.
uint32_t Spread(uint32_t p)
{
    return (p & 0x001F) + ((p & 0x03E0) << 5) + ((p & 0x7C00) << 10);
}

// Each pixel of the shown buffer moves 15/32 of the way to the frame just
// drawn: S(old) × 32 + (S(drawn) − S(old)) × 15 holds 17 × old + 15 × drawn
// in ten bits per channel, whose top five are the result.
void MixMotionBlur(XView& view)
{
    if (!(view.flags & XVIEW_DOUBLEBUFFER) || !view.current || !view.bufferB || view.current == view.bufferB)
        return;
    const size_t pixels = size_t(view.width) * size_t(view.height);
    uint16_t* shown = view.current;
    const uint16_t* drawn = view.bufferB;
    for (size_t i = 0; i < pixels; ++i) {
        const uint32_t old = Spread(shown[i]);
        const uint32_t mix = old * 32 + (Spread(drawn[i]) - old) * 15;
        shown[i] = uint16_t(((mix >> 5) & 0x1F) | (((mix >> 15) & 0x1F) << 5) | (((mix >> 25) & 0x1F) << 10));
    }
}

}  // namespace

// Below a thousandth of a radian cos(limit) lies too close to 1, and from 3
// radians on too close to −1 (and acos never exceeds π), for the band to be
// worth it: there every x takes acos. The band of 2^-30 on either side of
// cos(limit) is far wider than the error of cos and acos, both within an
// ulp, and acos decreases, so outside it the answer is that of acos.
GlintCone::GlintCone(uint32_t value)
    : spriteValue(value), limit(value / 65536.0 * PI / 180.0), surelyWithin(2.0), surelyOutside(-2.0)
{
    constexpr double BAND = 1.0 / (1 << 30);
    if (limit > 1e-3 && limit < 3.0) {
        surelyWithin = std::cos(limit) + BAND;
        surelyOutside = std::cos(limit) - BAND;
    }
}

bool GlintCone::Within(double x) const
{
    if (x >= surelyWithin)
        return true;
    if (x <= surelyOutside)
        return false;
    return std::acos(x) <= limit;
}

void RenderScene(Scene* scene, Entity*, XView* view, uint32_t)
{
    if (!scene || !view || !FrameOfView(*view))
        return;
    uint64_t mark = ProfileStart();
    Frame.fogIndexBase = (scene->flags & SCENE_FOGMODE) ? FOG_INDEX_BASE : 0;
    ResizeGlowBuffers(scene, uint32_t(view->width), uint32_t(view->height));
    for (GlowBuffer* buffer = scene->glowBuffers; buffer; buffer = buffer->next)
        buffer->glowFlags &= ~GLOW_CLEARED;
    LightVertices(scene);
    ProfileLap(&Profile.transform, &mark);

    bool masked = false;
    if (scene->flags & SCENE_SHADOWS) {
        BuildShadowVolumes(scene);
        masked = DrawShadowPass(scene, view);
    } else {
        FreeShadowVolumes(scene);
        FreeShadowBuffers(view);
    }
    ProfileLap(&Profile.shadows, &mark);

    SpriteList sprites{scene->spriteList, scene->spriteCapacity, 0};
    DrawMainPass(scene, sprites);
    ProfileLap(&Profile.mainPass, &mark);
    DrawGlowPass(sprites);
    ProfileLap(&Profile.glow, &mark);

    Frame.renderPhase = PHASE_FLARES;
    if (masked)
        DarkenShadows(view);
    ProfileLap(&Profile.shadows, &mark);
    DrawFlares(sprites, view);
    ProfileLap(&Profile.flares, &mark);

    Frame.renderPhase = PHASE_BLEND;
    BlendGlow(scene);
    MixMotionBlur(*view);
    ProfileLap(&Profile.blend, &mark);
}

}  // namespace kvor3d
