#include "effects.h"

#include <algorithm>
#include <cstdlib>

using namespace kvor3d;

GlitchState Glitch;
TunnelState Tunnel;

namespace {

// The part of a w × h rectangle at (x, y) that lies inside the frame:
// columns i0 … i1 − 1 and rows j0 … j1 − 1 of the rectangle.
struct Window {
    int32_t i0, i1, j0, j1;
};

bool ClipToFrame(const XView* frame, int32_t x, int32_t y, int32_t w, int32_t h, Window* window)
{
    if (!frame || !frame->current || w <= 0 || h <= 0)
        return false;
    window->i0 = int32_t(std::max<int64_t>(0, -int64_t(x)));
    window->i1 = int32_t(std::min<int64_t>(w, int64_t(frame->width) - x));
    window->j0 = int32_t(std::max<int64_t>(0, -int64_t(y)));
    window->j1 = int32_t(std::min<int64_t>(h, int64_t(frame->height) - y));
    return window->i0 < window->i1 && window->j0 < window->j1;
}

uint16_t* FramePixel(XView* frame, int32_t x, int32_t y)
{
    return frame->current + size_t(y) * size_t(frame->width) + size_t(x);
}

// Pixels of the whole frame; the full-frame effects that read a mask or a
// picture stop at the show's 64000 pixels.
size_t FramePixels(const XView* frame)
{
    if (!frame || !frame->current || frame->width <= 0 || frame->height <= 0)
        return 0;
    return size_t(frame->width) * size_t(frame->height);
}

size_t MaskedPixels(const XView* frame)
{
    return std::min(FramePixels(frame), size_t(SCREEN_PIXELS));
}

uint16_t Lighten(uint16_t p, int32_t k)
{
    return Rgb15(std::min(RedOf(p) + k, 31), std::min(GreenOf(p) + k, 31), std::min(BlueOf(p) + k, 31));
}

uint16_t Darken(uint16_t p, int32_t k)
{
    return Rgb15(std::max(RedOf(p) - k, 0), std::max(GreenOf(p) - k, 0), std::max(BlueOf(p) - k, 0));
}

// (over × a + under × (255 − a)) >> 8 per channel.
uint16_t Blend255(uint16_t over, uint16_t under, int32_t a)
{
    const int32_t b = 255 - a;
    return Rgb15((RedOf(over) * a + RedOf(under) * b) >> 8, (GreenOf(over) * a + GreenOf(under) * b) >> 8,
                 (BlueOf(over) * a + BlueOf(under) * b) >> 8);
}

// Elapsed ticks e and duration D in ticks; false before the start.
bool Elapsed(uint32_t start, uint32_t time, double duration, double* e, double* d)
{
    if (time < start)
        return false;
    *e = double(time - start);
    *d = double(TICKS_PER_SECOND) * duration;
    return true;
}

// Copies the picture's rows into the scratch picture shifted by a random
// offset each, from column M on; columns shifted outside the row are lost.
// Uses up one glitch frame.
void JitterRows(const uint16_t* picture, int32_t w, int32_t h)
{
    std::fill(Glitch.scratch, Glitch.scratch + SCREEN_PIXELS, uint16_t(0));
    const int32_t g = Glitch.frames;
    for (int32_t j = 0; j < h; ++j) {
        const int32_t offset = std::rand() % g - g / 2;
        const uint16_t* from = picture + size_t(j) * size_t(w);
        uint16_t* to = Glitch.scratch + size_t(j) * size_t(w);
        for (int32_t i = Glitch.margin; i < w; ++i) {
            const int32_t column = i + offset;
            if (column >= 0 && column < w)
                to[column] = from[i];
        }
    }
    --Glitch.frames;
}

bool FitsScratch(int32_t w, int32_t h)
{
    return w > 0 && h > 0 && int64_t(w) * h <= SCREEN_PIXELS;
}

// The lightening or darkening of the fades from black and white, or −1
// when there is nothing to draw; *done tells whether the amount has run out.
int32_t DecayingAmount(uint32_t start, uint32_t time, double duration, double strength, int* done)
{
    *done = 0;
    double e, d;
    if (!Elapsed(start, time, duration, &e, &d) || e > d)
        return -1;
    const double v = 32.0 * strength * e / d;
    if (v > 31.0 * strength) {
        *done = 1;
        return -1;
    }
    return int32_t(31.0 * strength - double(int32_t(v)));
}

template <typename Change>
void ChangeFrame(XView* frame, Change change)
{
    const size_t count = FramePixels(frame);
    uint16_t* pixels = count ? frame->current : nullptr;
    for (size_t i = 0; i < count; ++i)
        pixels[i] = change(pixels[i]);
}

}  // namespace

void blit_keyed(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h)
{
    Window window;
    if (!picture || !ClipToFrame(frame, x, y, w, h, &window))
        return;
    for (int32_t j = window.j0; j < window.j1; ++j) {
        const uint16_t* from = picture + size_t(j) * size_t(w);
        uint16_t* to = FramePixel(frame, x, y + j);
        for (int32_t i = window.i0; i < window.i1; ++i)
            if (from[i])
                to[i] = from[i];
    }
}

void blit_keyed_alpha(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h,
                      uint32_t alpha)
{
    Window window;
    if (!picture || !ClipToFrame(frame, x, y, w, h, &window))
        return;
    const int32_t a = int32_t(std::min<uint32_t>(alpha >> 8, 255));
    for (int32_t j = window.j0; j < window.j1; ++j) {
        const uint16_t* from = picture + size_t(j) * size_t(w);
        uint16_t* to = FramePixel(frame, x, y + j);
        for (int32_t i = window.i0; i < window.i1; ++i)
            if (from[i])
                to[i] = Blend255(from[i], to[i], a);
    }
}

void glitch_start(int32_t n, int32_t level)
{
    if (n < 1) {
        Glitch.frames = 0;
        return;
    }
    Glitch.frames = n;
    Glitch.margin = n;
    Glitch.level = 0;
    Glitch.step = (level << 8) / n;
}

void glitch_blit(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (!picture || !FitsScratch(w, h))
        return;
    if (Glitch.frames <= 0) {
        blit_keyed(frame, picture, x, y, w, h);
        return;
    }
    JitterRows(picture, w, h);
    blit_keyed(frame, Glitch.scratch, x, y, w, h);
}

void glitch_blit_fade(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h)
{
    if (!picture || !FitsScratch(w, h))
        return;
    if (Glitch.frames <= 0) {
        blit_keyed(frame, picture, x, y, w, h);
        return;
    }
    JitterRows(picture, w, h);
    blit_keyed_alpha(frame, Glitch.scratch, x, y, w, h, uint32_t(Glitch.level));
    Glitch.level += Glitch.step;
}

void flash_blit(XView* frame, const uint16_t* picture, int32_t x, int32_t y, int32_t w, int32_t h,
                uint32_t start, uint32_t time, double duration, double strength)
{
    double e, d;
    if (!Elapsed(start, time, duration, &e, &d) || e > d) {
        blit_keyed(frame, picture, x, y, w, h);
        return;
    }
    const double v = 32.0 * strength * e / d;
    if (v > 31.0 * strength) {
        blit_keyed(frame, picture, x, y, w, h);
        return;
    }
    const int32_t k = int32_t(31.0 * strength - double(int32_t(v)));
    Window window;
    if (!picture || !ClipToFrame(frame, x, y, w, h, &window))
        return;
    for (int32_t j = window.j0; j < window.j1; ++j) {
        const uint16_t* from = picture + size_t(j) * size_t(w);
        uint16_t* to = FramePixel(frame, x, y + j);
        for (int32_t i = window.i0; i < window.i1; ++i)
            if (from[i])
                to[i] = Lighten(from[i], k);
    }
}

// Sixteen pixels a step; the table indexes the texture from the phase on.
void tunnel_draw(uint16_t* destination)
{
    const uint16_t* base = Tunnel.texture + Tunnel.phase;
    const uint16_t* table = Tunnel.table;
    for (int32_t i = 0; i < SCREEN_PIXELS; i += 16)
        for (int32_t k = 0; k < 16; ++k)
            destination[i + k] = base[table[i + k]];
    Tunnel.phase = uint16_t(Tunnel.phase - TUNNEL_PHASE_STEP);
}

int fade_from_black(XView* frame, uint32_t start, uint32_t time, double duration, double strength)
{
    int done;
    const int32_t k = DecayingAmount(start, time, duration, strength, &done);
    if (k >= 0)
        ChangeFrame(frame, [k](uint16_t p) { return Darken(p, k); });
    return done;
}

int fade_from_white(XView* frame, uint32_t start, uint32_t time, double duration, double strength)
{
    int done;
    const int32_t k = DecayingAmount(start, time, duration, strength, &done);
    if (k >= 0)
        ChangeFrame(frame, [k](uint16_t p) { return Lighten(p, k); });
    return done;
}

void fade_to_black(XView* frame, uint32_t start, uint32_t time, double duration, double strength)
{
    double e, d;
    if (!Elapsed(start, time, duration, &e, &d))
        return;
    const double most = 31.0 * strength;
    const int32_t k = int32_t(e > d ? most : std::min(32.0 * strength * e / d, most));
    ChangeFrame(frame, [k](uint16_t p) { return Darken(p, k); });
}

void red_shift(XView* frame, uint32_t start, uint32_t time, double duration)
{
    double e, d;
    if (!Elapsed(start, time, duration, &e, &d))
        return;
    const int32_t k = e > d ? 31 : int32_t(std::min(32.0 * e / d, 31.0));
    ChangeFrame(frame, [k](uint16_t p) {
        return Rgb15(std::min(RedOf(p) + k, 31), std::max(GreenOf(p) - k, 0), std::max(BlueOf(p) - k, 0));
    });
}

void mask_wipe_in(XView* frame, uint32_t start, uint32_t time, double duration, const uint8_t* mask,
                  const uint16_t* picture)
{
    double e, d;
    if (!mask || !picture || !Elapsed(start, time, duration, &e, &d) || e > d)
        return;
    const int32_t level = int32_t(255.0 * e / d);
    const size_t count = MaskedPixels(frame);
    for (size_t i = 0; i < count; ++i)
        if (level > mask[i])
            frame->current[i] = picture[i];
}

void mask_wipe_colour(XView* frame, uint32_t start, uint32_t time, double duration, const uint8_t* mask,
                      uint16_t colour)
{
    double e, d;
    if (!mask || !Elapsed(start, time, duration, &e, &d) || e > d)
        return;
    const int32_t level = int32_t(255.0 * e / d);
    const size_t count = MaskedPixels(frame);
    for (size_t i = 0; i < count; ++i)
        if (level < mask[i])
            frame->current[i] = colour;
}

void image_crossfade(XView* frame, const uint16_t* picture, uint32_t start, uint32_t time, double duration)
{
    double e, d;
    if (!picture || !Elapsed(start, time, duration, &e, &d))
        return;
    const int32_t a = e > d ? 255 : int32_t(std::min(255.0 * e / d, 255.0));
    const int32_t b = 256 - a;
    const size_t count = MaskedPixels(frame);
    for (size_t i = 0; i < count; ++i) {
        const uint16_t f = frame->current[i];
        const uint16_t p = picture[i];
        frame->current[i] = Rgb15((RedOf(f) * b + RedOf(p) * a) >> 8, (GreenOf(f) * b + GreenOf(p) * a) >> 8,
                                  (BlueOf(f) * b + BlueOf(p) * a) >> 8);
    }
}
