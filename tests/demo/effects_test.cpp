// The show's 2D effects on a 320 × 200 frame: one table of effect calls and
// the pixel (and result) each must give, at the moments where the arithmetic
// turns.
#include "effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <vector>

using namespace kvor3d;

namespace {

constexpr uint32_t D1 = TICKS_PER_SECOND;  // D of a one-second effect
constexpr uint16_t WHITE = 0x7FFF, RED = 0x7C00, GREEN = 0x03E0;

const std::vector<uint16_t> WHITE_FRAME(SCREEN_PIXELS, WHITE);
const std::vector<uint8_t> MASK_63(SCREEN_PIXELS, 63), MASK_64(SCREEN_PIXELS, 64), MASK_65(SCREEN_PIXELS, 65);

TEST(Effects, ArithmeticAtItsTurningPoints)
{
    std::vector<uint16_t> numbered(200);  // pixel i holds 1 + i, so a misplaced read shows
    for (size_t i = 0; i < numbered.size(); ++i)
        numbered[i] = uint16_t(1 + i);
    const std::vector<uint16_t> mixed = {Rgb15(2, 31, 16), 0}, dark = {Rgb15(10, 0, 3)};
    const std::vector<uint16_t> green(SCREEN_PIXELS, GREEN), grey(SCREEN_PIXELS, Rgb15(2, 2, 2));
    struct Row {
        const char* what;
        uint16_t fill;
        std::function<int64_t(XView*)> run;  // the effect's result, 0 when it has none
        int x, y;
        uint16_t pixel;
        int64_t result;
    };
    const Row rows[] = {
        {"keyed blit past the top-left corner", 0, [&](XView* f) { blit_keyed(f, numbered.data(), -5, -3, 20, 10); return 0; }, 0, 0, 66, 0},
        {"... its last pixel", 0, [&](XView* f) { blit_keyed(f, numbered.data(), -5, -3, 20, 10); return 0; }, 14, 6, 200, 0},
        {"... nothing past it", 7, [&](XView* f) { blit_keyed(f, numbered.data(), -5, -3, 20, 10); return 0; }, 15, 0, 7, 0},
        {"keyed blit skips zero pixels", 0x0421, [&](XView* f) { blit_keyed(f, mixed.data(), 100, 50, 2, 1); return 0; }, 101, 50, 0x0421, 0},
        {"alpha 40960 weighs 160 over 95", Rgb15(10, 20, 30),
         [&](XView* f) { blit_keyed_alpha(f, mixed.data(), 0, 0, 2, 1, 40960); return 0; }, 0, 0, Rgb15(4, 26, 21), 0},
        {"flash at its start lightens by 31", 0,
         [&](XView* f) { flash_blit(f, dark.data(), 5, 5, 1, 1, 100, 100, 1.0, 1.0); return 0; }, 5, 5, WHITE, 0},
        {"fade from white at half strength starts at 15", 0, [](XView* f) { return fade_from_white(f, 0, 0, 1.0, 0.5); }, 7, 7, Rgb15(15, 15, 15), 0},
        {"fade from white not done where the amount reaches 31 exactly", 0,
         [](XView* f) { return fade_from_white(f, 0, 31 * D1, 32.0, 1.0); }, 0, 0, 0, 0},
        {"fade from white done after it", 0, [](XView* f) { return fade_from_white(f, 0, 31 * D1 + 1, 32.0, 1.0); }, 0, 0, 0, 1},
        {"fade from black starts black", WHITE, [](XView* f) { return fade_from_black(f, 0, 0, 1.0, 1.0); }, 0, 0, 0, 0},
        {"fade to black after its duration", WHITE, [](XView* f) { fade_to_black(f, 0, 2 * D1, 1.0, 1.0); return 0; }, 3, 3, 0, 0},
        {"red shift at the end of its duration", WHITE, [](XView* f) { red_shift(f, 0, D1, 1.0); return 0; }, 0, 0, RED, 0},
        {"wipe-in at level 64 leaves mask 64", 0,
         [](XView* f) { mask_wipe_in(f, 0, 178041, 1.0, MASK_64.data(), WHITE_FRAME.data()); return 0; }, 9, 9, 0, 0},
        {"... uncovers mask 63", 0,
         [](XView* f) { mask_wipe_in(f, 0, 178041, 1.0, MASK_63.data(), WHITE_FRAME.data()); return 0; }, 9, 9, WHITE, 0},
        {"colour wipe paints mask above the level", 0,
         [](XView* f) { mask_wipe_colour(f, 0, 178041, 1.0, MASK_65.data(), RED); return 0; }, 9, 9, RED, 0},
        {"cross-fade half way weighs 129 and 127", Rgb15(2, 2, 2),
         [&](XView* f) { image_crossfade(f, grey.data(), 0, D1 / 2, 1.0); return 0; }, 1, 1, Rgb15(2, 2, 2), 0},
        {"tunnel phase moves back 1541 a draw", 0,
         [](XView* f) { Tunnel.phase = 0; tunnel_draw(f->current); tunnel_draw(f->current); return int64_t(Tunnel.phase); },
         0, 0, 0, uint16_t(-2 * 1541)},
        {"glitch of 12 frames at full level steps by 5440 and ends keyed", 0,
         [&](XView* f) {
             glitch_start(12, 255);
             for (int i = 0; i < 13; ++i)
                 glitch_blit_fade(f, green.data(), 0, 0, 4, 4);
             return int64_t(Glitch.step) * 1000000 + Glitch.level + Glitch.frames;
         },
         3, 3, GREEN, 5440LL * 1000000 + 5440 * 12},
        {"glitched rows leave the margin's first columns undrawn", 0,
         [&](XView* f) {
             glitch_start(12, 255);
             glitch_blit(f, green.data(), 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT);
             int64_t drawn = 0;
             for (int i = 0; i < SCREEN_PIXELS; ++i)
                 drawn += i % SCREEN_WIDTH < 6 && f->current[i];
             return drawn * 100 + Glitch.frames;
         },
         17, 0, GREEN, 11},
    };
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, SCREEN_WIDTH}, {TAG_XVIEW_HEIGHT, SCREEN_HEIGHT}, {TAG_DONE, 0}};
    SetPixelMode(1);
    for (const Row& r : rows) {
        XView* frame = XViewCreate(tags);
        std::fill_n(frame->current, SCREEN_PIXELS, r.fill);
        std::srand(7);
        glitch_start(0, 0);
        EXPECT_EQ(r.run(frame), r.result) << r.what;
        EXPECT_EQ(frame->current[r.y * SCREEN_WIDTH + r.x], r.pixel) << r.what;
        XViewDelete(frame);
    }
}

}  // namespace
