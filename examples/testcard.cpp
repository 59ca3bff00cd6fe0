// testcard: opens the 320 × 200 view, draws a moving test card of 15-bit
// pixels into the current buffer, presents frames for a number of seconds
// (the card moves at 60 steps per second, however fast frames come) and
// closes the view again, printing the frame rate.
//
//   testcard [seconds]     (default 5)
//   testcard --version

#include <kvor3d/kvor3d.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace kvor3d;

namespace {

uint16_t Rgb15(int r, int g, int b)
{
    return uint16_t(((r & 31) << 10) | ((g & 31) << 5) | (b & 31));
}

// Eight colour bars on top, a grey ramp, a moving colour gradient and a
// bouncing white box with a one-pixel black border.
void DrawTestCard(XView* view, int frame)
{
    static const uint16_t bars[8] = {
        Rgb15(31, 31, 31), Rgb15(31, 31, 0), Rgb15(0, 31, 31), Rgb15(0, 31, 0),
        Rgb15(31, 0, 31),  Rgb15(31, 0, 0),  Rgb15(0, 0, 31),  Rgb15(0, 0, 0),
    };
    const int w = view->width, h = view->height;
    uint16_t* pixels = view->current;
    for (int y = 0; y < h; ++y) {
        uint16_t* line = pixels + y * w;
        for (int x = 0; x < w; ++x) {
            if (y < h / 3)
                line[x] = bars[x * 8 / w];
            else if (y < h / 2)
                line[x] = Rgb15(x * 32 / w, x * 32 / w, x * 32 / w);
            else
                line[x] = Rgb15((x + frame) >> 3, (y + frame / 2) >> 3, (x + y - frame) >> 4);
        }
    }
    const int size = 24;
    int bx = std::abs((frame * 3) % (2 * (w - size)) - (w - size));
    int by = h / 2 + std::abs((frame * 2) % (2 * (h / 2 - size)) - (h / 2 - size));
    for (int y = by; y < by + size && y < h; ++y) {
        for (int x = bx; x < bx + size && x < w; ++x) {
            bool edge = y == by || y == by + size - 1 || x == bx || x == bx + size - 1;
            pixels[y * w + x] = edge ? 0 : Rgb15(31, 31, 31);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("testcard (kvor3d) %s\n", KVOR3D_VERSION);
        return 0;
    }
    long seconds = 5;
    if (argc > 1) {
        char* end = nullptr;
        seconds = std::strtol(argv[1], &end, 10);
        if (!end || *end || seconds < 1 || seconds > 3600) {
            std::fprintf(stderr, "usage: testcard [seconds 1-3600]\n");
            return 2;
        }
    }
    SetPixelMode(1);
    TagItem tags[] = {{TAG_OPENVIEW_WIDTH, 320}, {TAG_OPENVIEW_HEIGHT, 200}, {TAG_OPENVIEW_DEPTH, 15}, {TAG_DONE, 0}};
    DView* view = OpenView(argc, argv, tags);
    if (!view)
        return 1;
    TimerCreate();
    const uint32_t start = TimerRead();
    const uint64_t duration = uint64_t(seconds) * TICKS_PER_SECOND;
    uint32_t ticks = 0;
    int64_t frames = 0;
    while (ticks < duration) {
        DrawTestCard(view->xview, int(uint64_t(ticks) * 60 / TICKS_PER_SECOND));
        PresentView(view);
        ++frames;
        ticks = TimerRead() - start;
    }
    CloseView(view);
    TimerDelete();
    std::printf("fps: %g\n", double(frames) * TICKS_PER_SECOND / double(int64_t(ticks)));
    return 0;
}
