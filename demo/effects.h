// The show's 2D effects: keyed and blended blits, the row-jitter glitch,
// timed fades and flashes, mask wipes, the cross-fade, the red shift and the
// table-driven tunnel. They draw straight into the view's 15-bit frame
// buffer (red in bits 14-10, green 9-5, blue 4-0); 0 is the transparent
// pixel of every keyed blit.
//
// Timed effects take a start time and the current scene time in ticks and a
// duration in seconds: nothing happens before the start; after it e = time
// − start and D = 709379 × duration. Levels are computed once per call in
// double precision and truncated toward zero.
#pragma once

#include "kvor3d.h"

#include <cstdint>

using namespace kvor3d;

// The show's frame: full-frame effects, masks and pictures cover this many
// pixels at most.
constexpr int32_t SCREEN_WIDTH = 320;
constexpr int32_t SCREEN_HEIGHT = 200;
constexpr int32_t SCREEN_PIXELS = SCREEN_WIDTH * SCREEN_HEIGHT;

// The tunnel's texture: a 256 × 256 picture stored twice in a row, so that
// a texel index up to 65535 plus a phase up to 65535 stays inside it.
constexpr int32_t TUNNEL_SIDE = 256;
constexpr int32_t TUNNEL_PICTURE_PIXELS = TUNNEL_SIDE * TUNNEL_SIDE;
constexpr int32_t TUNNEL_TEXTURE_PIXELS = 2 * TUNNEL_PICTURE_PIXELS;
constexpr uint16_t TUNNEL_PHASE_STEP = 1541;

// The one glitch of the show, shared by every glitch draw whatever it draws.
struct GlitchState {
    int32_t frames;   // G: glitch frames left
    int32_t margin;   // M: G when started; picture columns left of it are not drawn
    int32_t level;    // A: fade level, 8.8 fixed point
    int32_t step;     // S: added to the level after each faded draw, 8.8
    uint16_t scratch[SCREEN_PIXELS];  // the jittered picture, rows w pixels apart
};
// Written by glitch_start and the glitch draws; read by the glitch draws.
extern GlitchState Glitch;

struct TunnelState {
    uint16_t texture[TUNNEL_TEXTURE_PIXELS];
    uint16_t table[SCREEN_PIXELS];  // texel index of each frame pixel, host order
    uint16_t phase;                 // moves back by TUNNEL_PHASE_STEP each draw
};
// Texture and table written by the start-up's data loading; phase advanced by
// tunnel_draw, which reads all three.
extern TunnelState Tunnel;

// Channel arithmetic on 15-bit pixels.
constexpr int32_t RedOf(uint16_t p) { return (p >> 10) & 31; }
constexpr int32_t GreenOf(uint16_t p) { return (p >> 5) & 31; }
constexpr int32_t BlueOf(uint16_t p) { return p & 31; }
constexpr uint16_t Rgb15(int32_t r, int32_t g, int32_t b) { return uint16_t((r << 10) + (g << 5) + b); }

// Copies the w × h picture (rows w pixels apart) to (x, y), skipping 0
// pixels. Only the part inside the frame is drawn.
void blit_keyed(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h);

// Blends the non-zero picture pixels over the frame: with a = alpha >> 8
// (at most 255), each channel becomes (picture × a + frame × (255 − a)) >> 8.
void blit_keyed_alpha(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h,
                      uint32_t alpha);

// Starts a glitch of n frames whose faded draws rise to `level` (0-255).
// A count below 1 starts none.
void glitch_start(int32_t n, int32_t level);

// While the glitch lasts, draws the picture keyed with each row shifted by
// a random offset in −G/2 … G − 1 − G/2 and uses up one glitch frame;
// afterwards draws it with blit_keyed. A picture larger than the scratch
// picture is not drawn.
void glitch_blit(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h);

// As glitch_blit, the jittered rows blended in at the rising fade level.
void glitch_blit_fade(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h);

// Draws the picture keyed, its pixels lightened by a decaying amount from
// the start on for the duration.
void flash_blit(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h,
                uint32_t start, uint32_t time, double duration, double strength);

// 64000 texels through the tunnel table into `destination`; moves the phase.
void tunnel_draw(uint16_t* destination);

// Darken (black) or lighten (white) the frame by a decaying amount. 1 once
// the amount has run out before the end (the caller's done flag), else 0.
int fade_from_black(XView* frame, uint32_t start, uint32_t time, double duration, double strength);
int fade_from_white(XView* frame, uint32_t start, uint32_t time, double duration, double strength);

// Darkens the frame by a growing amount that stays at its maximum.
void fade_to_black(XView* frame, uint32_t start, uint32_t time, double duration, double strength);

// Moves the frame towards red by a growing amount that stays at its maximum.
void red_shift(XView* frame, uint32_t start, uint32_t time, double duration);

// Within the duration: the picture replaces every frame pixel whose mask
// byte is below the rising level 255 × e / D.
void mask_wipe_in(XView* frame, uint32_t start, uint32_t time, double duration, const uint8_t* mask,
                  const uint16_t* picture);

// Within the duration: the colour covers every frame pixel whose mask byte
// is above the rising level.
void mask_wipe_colour(XView* frame, uint32_t start, uint32_t time, double duration, const uint8_t* mask,
                      uint16_t colour);

// Cross-fades the frame towards a full-frame picture; the weight stays at
// 255 after the duration.
void image_crossfade(XView* frame, const uint16_t* picture, uint32_t start, uint32_t time, double duration);
