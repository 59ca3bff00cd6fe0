// The parts of the show: one frame callback per scene. Each draws one frame
// of its scene with the engine into the view's frame buffer, adds the 2D
// effects at fixed moments of the scene time (ticks, 709379 a second;
// "after t" means later than t) and presents the frame.
#pragma once

#include "data.h"

#include <cstdint>

using namespace kvor3d;

// Where the parts draw and show, and the time of the scene being played.
struct ShowView {
    DView* view;         // the window; null shows nothing
    XView* frame;        // the view's frame buffer, 320 × 200
    uint32_t sceneTime;  // PlayScene keeps the scene time here
};
// view and frame set by the start-up, sceneTime by PlayScene; read by the
// frame callbacks.
extern ShowView Show;

// Flags, stages and buffers of the parts; every word starts at 0 but the
// part-5 light level.
struct PartState {
    uint32_t clipStarted;          // part 1: the clip picture's glitch was started
    uint32_t ballFaded;            // part 3: the ball's blend weight reached 0
    uint32_t logoStarted;          // part 4: the logo's glitch was started
    uint32_t glitchHits[10];       // part 4: each glitch hit was started
    uint32_t lightJumps[6];        // part 5: each jump of the light level was made
    float lightLevel = 0.1f;       // part 5: the first light-effect element's level
    uint32_t flashes1[4];          // part 7: each white flash has ended
    uint32_t flashes3[3];          // part 8
    int32_t dissolve;              // parts 9 and 10: L, the dissolve weight, −1 when none runs
    uint32_t captureTime;          // part 9: C, the time of the last held frame
    uint32_t offset;               // O: part 9's last capture time, then the time since it
    uint32_t part10Started;        // part 10: its first frame was rendered into P
    uint32_t creditsShown;         // part 11: the credits show at once (from the second repetition)
    uint32_t creditsStage;         // part 11: 0-4, the credits strips glitching in one by one
    uint32_t backgroundStage;      // part 11: 0-2, the glitches of the scene over the end background
    uint16_t held[SCREEN_PIXELS];      // H: the frame held in parts 9 and 10
    uint16_t previous[SCREEN_PIXELS];  // P: the frame held before it / part 10's first frame
    uint16_t blend[SCREEN_PIXELS];     // X: the dissolve between them
    uint16_t keyed[SCREEN_PIXELS];     // K: part 11's rendered frame, keyed over the end background
};
// Written and read by the frame callbacks and by the timeline between parts.
extern PartState Parts;

// The eleven callbacks, in the order the show plays them.
void logo_frame(Scene* scene);        // 1: the clip picture glitching in, the alien picture wiped in
void alien_cor_frame(Scene* scene);   // 2: the scene
void alien_born_frame(Scene* scene);  // 3: fade from black, the ball's weight sinking, cross-fade to the tunnel
void lights_frame(Scene* scene);      // 4: the scene over the tunnel, panels, the logo and its glitches
void pani_frame(Scene* scene);        // 5: the light level jumping and sinking back
void cube_frame(Scene* scene);        // 6: the scene
void lesby1_frame(Scene* scene);      // 7: the camera zooming in, four white flashes
void lesby3_frame(Scene* scene);      // 8: fade from white, three weaker flashes
void suecide_frame(Scene* scene);     // 9: text strips; from 25.5 s frames held and dissolved
void suecide2_frame(Scene* scene);    // 10: dissolve from part 9's held frame, text strips, red shift
void hand3_frame(Scene* scene);       // 11: red curtain, the scene over the end background, credits

// Between parts 9 and 10: the time since part 9's last held frame becomes
// the offset of part 10, whose dissolve starts at full weight.
void suecide_handover(uint32_t endTime);

// After each repetition of part 11: the credits show at once and the
// background glitches start over.
void hand3_repeat();

// ---- Shared by the callbacks ---------------------------------------------------

// The engine's per-frame calls on the show's frame buffer and view.
void Prepare(Scene* scene);
void Background(Scene* scene);
void Render(Scene* scene);
void Present();

// The w × h rectangle of the picture that starts at pixel `first`, rows w
// apart, or null when the picture did not load, is not w wide or ends
// before the rectangle does: a picture of another size is not drawn.
const uint16_t* PictureRect(const ShowPicture& picture, int32_t w, int32_t h, int32_t first);

// The frame's pixels into a full-frame buffer and back (at most 64000).
void CopyFromFrame(uint16_t* buffer);
void CopyToFrame(const uint16_t* buffer);

// The text strip of parts 9 and 10 at (0, 185): line truncate(0.55 × T)
// of the text picture, T = whole seconds of `time` + `shift`, at least 0.
void DrawTextStrip(uint32_t time, float shift);

// out = (a × weight + b × (256 − weight)) >> 8 per channel, 64000 pixels.
void MixFrames(uint16_t* out, const uint16_t* a, const uint16_t* b, int32_t weight);
