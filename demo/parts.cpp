#include "parts.h"

#include <algorithm>

using namespace kvor3d;

ShowView Show;
PartState Parts;

namespace {

// Rows of one text strip and pixels between strips.
constexpr int32_t TEXT_STRIP_ROWS = 14;
constexpr int32_t TEXT_STRIP_PIXELS = SCREEN_WIDTH * TEXT_STRIP_ROWS;
constexpr int32_t TEXT_STRIP_Y = 185;

size_t FullFramePixels()
{
    const XView* frame = Show.frame;
    if (!frame || !frame->current || frame->width <= 0 || frame->height <= 0)
        return 0;
    return std::min(size_t(frame->width) * size_t(frame->height), size_t(SCREEN_PIXELS));
}

}  // namespace

void Prepare(Scene* scene)
{
    PrepareScene(scene, scene->camera, Show.frame);
}

void Background(Scene* scene)
{
    DrawBackground(scene, Show.frame);
}

void Render(Scene* scene)
{
    RenderScene(scene, scene->camera, Show.frame, 0);
}

void Present()
{
    PresentView(Show.view);
}

const uint16_t* PictureRect(const ShowPicture& picture, int32_t w, int32_t h, int32_t first)
{
    if (!picture.pixels || picture.width != w || w <= 0 || h <= 0 || first < 0)
        return nullptr;
    const int64_t size = int64_t(picture.width) * picture.height;
    return int64_t(first) + int64_t(w) * h <= size ? picture.pixels + first : nullptr;
}

void CopyFromFrame(uint16_t* buffer)
{
    std::copy_n(Show.frame ? Show.frame->current : nullptr, FullFramePixels(), buffer);
}

void CopyToFrame(const uint16_t* buffer)
{
    std::copy_n(buffer, FullFramePixels(), Show.frame ? Show.frame->current : nullptr);
}

// T is kept in single precision, as n ± the shift and again after the
// scaling, so the line changes where a float calculation has it change.
void DrawTextStrip(uint32_t time, float shift)
{
    float t = float(double(time / TICKS_PER_SECOND) + double(shift));
    if (t < 0.0f)
        t = 0.0f;
    t = float(0.55 * double(t));
    const int32_t line = int32_t(t);
    const uint16_t* strip = PictureRect(Data.text, SCREEN_WIDTH, TEXT_STRIP_ROWS, line * TEXT_STRIP_PIXELS);
    blit_keyed(Show.frame, strip, 0, TEXT_STRIP_Y, SCREEN_WIDTH, TEXT_STRIP_ROWS);
}

void MixFrames(uint16_t* out, const uint16_t* a, const uint16_t* b, int32_t weight)
{
    const int32_t other = 256 - weight;
    for (int32_t i = 0; i < SCREEN_PIXELS; ++i)
        out[i] = Rgb15((RedOf(a[i]) * weight + RedOf(b[i]) * other) >> 8,
                       (GreenOf(a[i]) * weight + GreenOf(b[i]) * other) >> 8,
                       (BlueOf(a[i]) * weight + BlueOf(b[i]) * other) >> 8);
}
