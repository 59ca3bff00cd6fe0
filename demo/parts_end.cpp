// Parts 9 to 11: the held and dissolved frames with the text strips, and
// the end with the credits that repeats for ever.
#include "parts.h"

#include <algorithm>

using namespace kvor3d;

namespace {

// Part 9: up to 25.5 s every frame is rendered; afterwards a new frame is
// rendered only every 870000 ticks (about 1.23 s) and dissolved into from
// the one before, the weight falling by 16 a frame from 256.
constexpr double HOLD_AFTER = 18089164.5;  // 25.5 s
constexpr uint32_t HOLD_TICKS = 870000;
constexpr double TEXT_AFTER = 1773447.5;   // 2.5 s
constexpr int32_t DISSOLVE_FULL = 256;
constexpr int32_t DISSOLVE_STEP = 16;
constexpr float PART9_TEXT_SHIFT = -2.0f;

// Part 10.
constexpr float PART10_TEXT_SHIFT = 38.0f;
constexpr uint32_t RED_SHIFT_START = 13052573;  // 18.4 s
constexpr double RED_SHIFT_SECONDS = 1.0;

// Part 11: the scene glitches over the end background at 3.0 and 6.8 s.
constexpr double BACKGROUND_GLITCH_1 = 2128137;    // 3.0 s
constexpr double BACKGROUND_GLITCH_2 = 4823777.2;  // 6.8 s
constexpr int32_t BACKGROUND_GLITCH_FRAMES = 10;
constexpr int32_t BACKGROUND_GLITCH_LEVEL = 255;

constexpr double CURTAIN_SECONDS = 2.0;
constexpr uint16_t CURTAIN_COLOUR = 0x7C00;  // pure red

// The credits strips glitch in one after the other: the stage moves on at
// each of these times, starting a glitch for each strip.
constexpr double CREDITS_STAGE_AFTER[] = {496565.3, 993130.6, 1489695.9, 1986261.2};  // 0.7 to 2.8 s
constexpr uint32_t CREDITS_STRIPS = 3;
constexpr int32_t CREDITS_GLITCH_FRAMES = 10;
constexpr int32_t CREDITS_GLITCH_LEVEL = 160;
constexpr uint32_t CREDITS_ALPHA = 40960;  // weight 160
constexpr int32_t CREDITS_WIDTH = 120;
constexpr int32_t CREDITS_ROWS = 23;           // drawn of each strip
constexpr int32_t CREDITS_STRIP_PIXELS = 3120; // 26 rows apart in the picture
constexpr int32_t CREDITS_X_STEP = 104;
constexpr int32_t CREDITS_Y = 165;

void RenderFrame(Scene* scene)
{
    Prepare(scene);
    Background(scene);
    Render(scene);
}

const uint16_t* CreditsStrip(uint32_t k)
{
    return PictureRect(Data.credits, CREDITS_WIDTH, CREDITS_ROWS, int32_t(k) * CREDITS_STRIP_PIXELS);
}

void CreditsAtWeight(uint32_t k)
{
    blit_keyed_alpha(Show.frame, CreditsStrip(k), int32_t(k) * CREDITS_X_STEP, CREDITS_Y, CREDITS_WIDTH,
                     CREDITS_ROWS, CREDITS_ALPHA);
}

// One stage a frame at most, so that each strip's glitch gets its frames
// even when a slow frame passes two of the times.
void AdvanceCreditsStage(uint32_t time)
{
    const uint32_t stage = Parts.creditsStage;
    if (stage >= sizeof CREDITS_STAGE_AFTER / sizeof CREDITS_STAGE_AFTER[0] || time <= CREDITS_STAGE_AFTER[stage])
        return;
    if (stage < CREDITS_STRIPS)
        glitch_start(CREDITS_GLITCH_FRAMES, CREDITS_GLITCH_LEVEL);
    Parts.creditsStage = stage + 1;
}

}  // namespace

// Nothing is shown in the frame that captures a new held frame.
void suecide_frame(Scene* scene)
{
    const uint32_t time = Show.sceneTime;
    if (time <= HOLD_AFTER) {
        RenderFrame(scene);
        CopyFromFrame(Parts.held);
        Parts.dissolve = -1;
        if (time > TEXT_AFTER)
            DrawTextStrip(time, PART9_TEXT_SHIFT);
        Present();
        Parts.captureTime = time;
        return;
    }
    if (time - Parts.captureTime > HOLD_TICKS) {
        std::copy_n(Parts.held, SCREEN_PIXELS, Parts.previous);
        RenderFrame(scene);
        CopyFromFrame(Parts.held);
        Parts.offset = time;
        Parts.captureTime = time;
        Parts.dissolve = DISSOLVE_FULL;
        return;
    }
    if (Parts.dissolve >= 0) {
        MixFrames(Parts.blend, Parts.previous, Parts.held, Parts.dissolve);
        Parts.dissolve -= DISSOLVE_STEP;
        CopyToFrame(Parts.blend);
    } else {
        CopyToFrame(Parts.held);
    }
    DrawTextStrip(time, PART9_TEXT_SHIFT);
    Present();
}

void suecide_handover(uint32_t endTime)
{
    Parts.offset = endTime - Parts.offset;
    Parts.dissolve = DISSOLVE_FULL;
}

// Part 9's hold goes on until 870000 ticks have passed since its last held
// frame; then its frame dissolves into this scene's first frame, which is
// held during the dissolve.
void suecide2_frame(Scene* scene)
{
    const uint32_t time = Show.sceneTime;
    if (uint64_t(time) + Parts.offset <= HOLD_TICKS)
        return;
    if (Parts.dissolve >= 0) {
        if (!Parts.part10Started) {
            RenderFrame(scene);
            CopyFromFrame(Parts.previous);
            Parts.part10Started = 1;
        }
        MixFrames(Parts.blend, Parts.held, Parts.previous, Parts.dissolve);
        Parts.dissolve -= DISSOLVE_STEP;
        CopyToFrame(Parts.blend);
    } else {
        RenderFrame(scene);
    }
    DrawTextStrip(time, PART10_TEXT_SHIFT);
    red_shift(Show.frame, RED_SHIFT_START, time, RED_SHIFT_SECONDS);
    Present();
}

// The scene is keyed over the end background, so it shows through its
// black pixels; a red curtain and the credits go on top.
void hand3_frame(Scene* scene)
{
    const uint32_t time = Show.sceneTime;
    Background(scene);
    Prepare(scene);
    Render(scene);
    CopyFromFrame(Parts.keyed);
    if (const uint16_t* back = PictureRect(Data.endBackground, SCREEN_WIDTH, SCREEN_HEIGHT, 0))
        CopyToFrame(back);

    if (time > BACKGROUND_GLITCH_1 && Parts.backgroundStage == 0) {
        glitch_start(BACKGROUND_GLITCH_FRAMES, BACKGROUND_GLITCH_LEVEL);
        Parts.backgroundStage = 1;
    } else if (time > BACKGROUND_GLITCH_2 && Parts.backgroundStage == 1) {
        glitch_start(BACKGROUND_GLITCH_FRAMES, BACKGROUND_GLITCH_LEVEL);
        Parts.backgroundStage = 2;
    }
    if (Parts.backgroundStage == 0)
        blit_keyed(Show.frame, Parts.keyed, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT);
    else
        glitch_blit(Show.frame, Parts.keyed, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT);

    if (Parts.creditsShown) {
        for (uint32_t k = 0; k < CREDITS_STRIPS; ++k)
            CreditsAtWeight(k);
    } else {
        mask_wipe_colour(Show.frame, 0, time, CURTAIN_SECONDS, Data.fadeMaskA, CURTAIN_COLOUR);
        AdvanceCreditsStage(time);
        for (uint32_t k = 0; k < CREDITS_STRIPS; ++k) {
            if (Parts.creditsStage == k + 1)
                glitch_blit_fade(Show.frame, CreditsStrip(k), int32_t(k) * CREDITS_X_STEP, CREDITS_Y,
                                 CREDITS_WIDTH, CREDITS_ROWS);
            else if (Parts.creditsStage > k + 1)
                CreditsAtWeight(k);
        }
    }
    Present();
}

void hand3_repeat()
{
    Parts.creditsShown = 1;
    Parts.backgroundStage = 0;
}
