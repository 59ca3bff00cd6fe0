// Parts 1 to 4: the logo, the alien's corridor and birth, the lights over
// the tunnel.
#include "parts.h"

#include <cstring>
#include <iterator>

using namespace kvor3d;

namespace {

// Part 1: the alien picture is wiped in through fade mask B.
constexpr uint32_t ALIEN_WIPE_START = 3546895;  // 5.0 s
constexpr double ALIEN_WIPE_SECONDS = 2.0;
constexpr int32_t CLIP_X = 79;
constexpr int32_t CLIP_Y = 20;
constexpr int32_t CLIP_SIDE = 159;

// Part 3.
constexpr double ALIEN_FADE_IN_SECONDS = 1.3;
constexpr double BALL_FADE_AFTER = 5675032;        // 8.0 s
constexpr const char* BALL_NAME = "alien_ball.lwob";
constexpr double TUNNEL_AFTER = 37242397.5;        // 52.5 s
constexpr uint32_t CROSSFADE_START = 37242397;
constexpr double CROSSFADE_SECONDS = 1.5;

// Part 4: the side panels flash in each window the time lies in.
struct FlashWindow {
    double from;      // the window starts where the time reaches this
    uint32_t last;    // and ends after this tick
    uint32_t start;   // the flash's start
    double strength;
};

constexpr FlashWindow PANEL_FLASHES[] = {
    {5958783.6, 9931305, 5958783, 1.0},      // after 8.4 s
    {9931306, 14187579, 9931306, 0.5},       // 14.0 s
    {13903828.4, 18443853, 13903828, 0.5},   // 19.6 s
    {17947288.7, 22700127, 17947288, 0.5},   // 25.3 s
    {21919811.1, UINT32_MAX, 21919811, 0.5}, // 30.9 s, to the end
};
constexpr double PANEL_FLASH_SECONDS = 1.5;
constexpr int32_t PANEL_WIDTH = 76;
constexpr int32_t RIGHT_PANEL_X = SCREEN_WIDTH - PANEL_WIDTH;

constexpr double LOGO_AFTER = 5958783.6;  // 8.4 s
constexpr uint32_t LOGO_FADE_LAST = 7093789;
constexpr uint32_t LOGO_SHAKE_AFTER = 7093790;  // 10.0 s
constexpr int32_t LOGO_X = 32;
constexpr int32_t LOGO_Y = 8;
constexpr int32_t LOGO_WIDTH = 256;
constexpr int32_t LOGO_HEIGHT = 184;

// 10.2, 13.2, 16.2, 18.9, 21.8, 24.7, 27.25, 30.38, 33.0 and 36.0 s.
constexpr double GLITCH_HITS[] = {7235665.8,  9363802.8,   11491939.8,  13407263.1, 15464462.2,
                                  17521661.3, 19330577.75, 21550934.02, 23409507.0, 25537644.0};
static_assert(sizeof GLITCH_HITS / sizeof GLITCH_HITS[0] * sizeof(uint32_t) == sizeof(PartState::glitchHits));

constexpr uint32_t FADE_OUT_START = 26743588;  // 37.7 s
constexpr double FADE_OUT_SECONDS = 1.8;

// The glitch of the clip and logo pictures: 12 frames rising to full weight.
constexpr int32_t PICTURE_GLITCH_FRAMES = 12;
constexpr int32_t PICTURE_GLITCH_LEVEL = 255;

bool FrameHoldsScreen()
{
    const XView* frame = Show.frame;
    return frame && frame->current && int64_t(frame->width) * frame->height >= SCREEN_PIXELS;
}

// The first object of the chain with this name, or null.
ObjectEntity* FindObject(Scene* scene, const char* name)
{
    for (Entity* entity = scene->entities; entity; entity = entity->next)
        if (entity->name && std::strcmp(entity->name, name) == 0)
            return ObjectOf(entity);
    return nullptr;
}

}  // namespace

// Only the scene's background fill is used; the scene is never rendered.
void logo_frame(Scene* scene)
{
    const uint32_t time = Show.sceneTime;
    Background(scene);
    if (!Parts.clipStarted) {
        glitch_start(PICTURE_GLITCH_FRAMES, PICTURE_GLITCH_LEVEL);
        Parts.clipStarted = 1;
    }
    glitch_blit_fade(Show.frame, PictureRect(Data.clip, CLIP_SIDE, CLIP_SIDE, 0), CLIP_X, CLIP_Y, CLIP_SIDE,
                     CLIP_SIDE);
    mask_wipe_in(Show.frame, ALIEN_WIPE_START, time, ALIEN_WIPE_SECONDS, Data.fadeMaskB, Data.alien);
    Present();
}

void alien_cor_frame(Scene* scene)
{
    Prepare(scene);
    Background(scene);
    Render(scene);
    Present();
}

// The ball's blend weight (the top byte of its colour) sinks by one a frame
// from 8.0 s on until it is 0.
void alien_born_frame(Scene* scene)
{
    const uint32_t time = Show.sceneTime;
    Prepare(scene);
    Background(scene);
    Render(scene);
    fade_from_black(Show.frame, 0, time, ALIEN_FADE_IN_SECONDS, 1.0);
    if (time > BALL_FADE_AFTER && !Parts.ballFaded) {
        if (ObjectEntity* ball = FindObject(scene, BALL_NAME)) {
            if (ball->colour >> 24)
                ball->colour -= 1u << 24;
            else
                Parts.ballFaded = 1;
        }
    }
    if (time > TUNNEL_AFTER)
        tunnel_draw(Data.alien);
    image_crossfade(Show.frame, Data.alien, CROSSFADE_START, time, CROSSFADE_SECONDS);
    Present();
}

// No background fill: the scene is drawn over the tunnel.
void lights_frame(Scene* scene)
{
    const uint32_t time = Show.sceneTime;
    if (FrameHoldsScreen())
        tunnel_draw(Show.frame->current);
    Prepare(scene);
    Render(scene);

    const uint16_t* left = PictureRect(Data.leftPanel, PANEL_WIDTH, SCREEN_HEIGHT, 0);
    const uint16_t* right = PictureRect(Data.rightPanel, PANEL_WIDTH, SCREEN_HEIGHT, 0);
    for (const FlashWindow& window : PANEL_FLASHES) {
        if (time < window.from || time > window.last)
            continue;
        flash_blit(Show.frame, left, 0, 0, PANEL_WIDTH, SCREEN_HEIGHT, window.start, time, PANEL_FLASH_SECONDS,
                   window.strength);
        flash_blit(Show.frame, right, RIGHT_PANEL_X, 0, PANEL_WIDTH, SCREEN_HEIGHT, window.start, time,
                   PANEL_FLASH_SECONDS, window.strength);
    }

    const uint16_t* logo = PictureRect(Data.logo, LOGO_WIDTH, LOGO_HEIGHT, 0);
    if (time > LOGO_AFTER && time <= LOGO_FADE_LAST) {
        if (!Parts.logoStarted) {
            glitch_start(PICTURE_GLITCH_FRAMES, PICTURE_GLITCH_LEVEL);
            Parts.logoStarted = 1;
        }
        glitch_blit_fade(Show.frame, logo, LOGO_X, LOGO_Y, LOGO_WIDTH, LOGO_HEIGHT);
    } else if (time > LOGO_SHAKE_AFTER) {
        glitch_blit(Show.frame, logo, LOGO_X, LOGO_Y, LOGO_WIDTH, LOGO_HEIGHT);
    }

    for (size_t i = 0; i < std::size(GLITCH_HITS); ++i) {
        if (time > GLITCH_HITS[i] && !Parts.glitchHits[i]) {
            glitch_start(PICTURE_GLITCH_FRAMES, PICTURE_GLITCH_LEVEL);
            Parts.glitchHits[i] = 1;
        }
    }
    fade_to_black(Show.frame, FADE_OUT_START, time, FADE_OUT_SECONDS, 1.0);
    Present();
}
