// The show's 2D effects on a 320 × 200 frame, pixel by pixel.
#include "demo/demo_support.h"
#include "effects.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr double ONE_SECOND = 1.0;
constexpr uint32_t D1 = TICKS_PER_SECOND;  // D of a one-second effect

std::vector<uint16_t> Solid(int w, int h, uint16_t value)
{
    return std::vector<uint16_t>(size_t(w) * size_t(h), value);
}

TEST(KeyedBlits, PictureOfZerosLeavesTheFrameUnchanged)
{
    TestFrame frame;
    frame.Fill(0x1234);
    std::vector<uint16_t> picture = Solid(40, 30, 0);
    blit_keyed(frame.View(), picture.data(), 10, 20, 40, 30);
    EXPECT_EQ(CountOf(frame.Pixels(), 0x1234), size_t(SCREEN_PIXELS));
}

TEST(KeyedBlits, NonZeroPixelsLandAtTheirPlaceAndZeroPixelsAreSkipped)
{
    TestFrame frame;
    frame.Fill(0x0421);
    std::vector<uint16_t> picture = Solid(4, 3, 0);
    picture[0] = 0x7C00;      // (0, 0)
    picture[4 + 3] = 0x03E0;  // (3, 1)
    blit_keyed(frame.View(), picture.data(), 100, 50, 4, 3);
    EXPECT_EQ(frame.At(100, 50), 0x7C00);
    EXPECT_EQ(frame.At(103, 51), 0x03E0);
    EXPECT_EQ(frame.At(101, 50), 0x0421);
    EXPECT_EQ(frame.At(102, 52), 0x0421);
    EXPECT_EQ(CountOf(frame.Pixels(), 0x0421), size_t(SCREEN_PIXELS - 2));
}

// Each picture pixel holds its own position, so a misplaced read shows.
TEST(KeyedBlits, RectanglesReachingPastAnyEdgeDrawOnlyTheirPartInsideTheFrame)
{
    std::vector<uint16_t> picture(20 * 10);
    for (int j = 0; j < 10; ++j)
        for (int i = 0; i < 20; ++i)
            picture[j * 20 + i] = uint16_t(1 + j * 20 + i);
    TestFrame frame;
    blit_keyed(frame.View(), picture.data(), -5, -3, 20, 10);
    EXPECT_EQ(frame.At(0, 0), 1 + 3 * 20 + 5);
    EXPECT_EQ(frame.At(14, 6), 1 + 9 * 20 + 19);
    EXPECT_EQ(frame.At(15, 0), 0);
    EXPECT_EQ(frame.At(0, 7), 0);

    frame.Fill(0);
    blit_keyed(frame.View(), picture.data(), 310, 195, 20, 10);
    EXPECT_EQ(frame.At(310, 195), 1);
    EXPECT_EQ(frame.At(319, 199), 1 + 4 * 20 + 9);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS - 50));

    frame.Fill(0);
    blit_keyed(frame.View(), picture.data(), 320, 0, 20, 10);
    blit_keyed(frame.View(), picture.data(), 0, -10, 20, 10);
    blit_keyed_alpha(frame.View(), picture.data(), -20, 190, 20, 10, 40960);
    flash_blit(frame.View(), picture.data(), 0, 200, 20, 10, 0, 0, ONE_SECOND, 1.0);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
}

// alpha 40960 gives a = 160, b = 95: (picture × 160 + frame × 95) >> 8.
TEST(KeyedBlits, AlphaBlitWeighsNonZeroPixelsBy160)
{
    TestFrame frame;
    frame.Fill(Rgb15(10, 20, 30));
    std::vector<uint16_t> picture = {Rgb15(31, 0, 16), 0};
    blit_keyed_alpha(frame.View(), picture.data(), 0, 0, 2, 1, 40960);
    EXPECT_EQ(frame.At(0, 0), Rgb15(23, 7, 21));
    EXPECT_EQ(frame.At(1, 0), Rgb15(10, 20, 30));
}

class GlitchTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::srand(7);
        glitch_start(0, 0);
    }
};

TEST_F(GlitchTest, StartOf12FramesAtFullLevelSetsStep5440)
{
    glitch_start(12, 255);
    EXPECT_EQ(Glitch.frames, 12);
    EXPECT_EQ(Glitch.margin, 12);
    EXPECT_EQ(Glitch.level, 0);
    EXPECT_EQ(Glitch.step, 5440);
    glitch_start(10, 160);
    EXPECT_EQ(Glitch.step, 4096);
}

// A white picture over black: every pixel drawn has the fade level's
// weight of white, (31 × a) >> 8; a is 0 on the first draw and 233 on the
// twelfth; the thirteenth draws the picture whole.
TEST_F(GlitchTest, FadedGlitchRisesTo233OnTheTwelfthDrawThenDrawsThePictureKeyed)
{
    TestFrame frame;
    std::vector<uint16_t> picture = Solid(100, 50, WHITE);
    glitch_start(12, 255);
    for (int draw = 1; draw <= 12; ++draw) {
        frame.Fill(0);
        glitch_blit_fade(frame.View(), picture.data(), 40, 60, 100, 50);
        const int32_t a = ((draw - 1) * 5440) >> 8;
        const int32_t c = (31 * a) >> 8;
        std::vector<uint16_t> pixels = frame.Pixels();
        const size_t drawn = c == 0 ? 0 : CountOf(pixels, Rgb15(c, c, c));
        EXPECT_EQ(CountOf(pixels, 0) + drawn, size_t(SCREEN_PIXELS)) << draw;
        EXPECT_EQ(drawn > 0, draw > 1) << draw;
        EXPECT_EQ(Glitch.frames, 12 - draw);
    }
    EXPECT_EQ((11 * 5440) >> 8, 233);
    EXPECT_EQ(Glitch.level, 12 * 5440);

    frame.Fill(0);
    glitch_blit_fade(frame.View(), picture.data(), 40, 60, 100, 50);
    EXPECT_EQ(CountOf(frame.Pixels(), WHITE), size_t(100 * 50));
    EXPECT_EQ(frame.At(40, 60), WHITE);
    EXPECT_EQ(frame.At(139, 109), WHITE);
    EXPECT_EQ(Glitch.frames, 0);
}

// Each row of the picture holds one marked pixel at column 40 and a
// different colour in the first M columns: the marked pixel moves by an
// offset in −G/2 … G − 1 − G/2, the first M columns are not drawn.
TEST_F(GlitchTest, RowsShiftWithinTheGlitchRangeAndTheMarginIsNotDrawn)
{
    constexpr int w = 80, h = 100;
    std::vector<uint16_t> picture = Solid(w, h, 0);
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < 12; ++i)
            picture[j * w + i] = PURE_RED;
        picture[j * w + 40] = WHITE;
    }
    TestFrame frame;
    glitch_start(12, 255);
    for (int g = 12; g >= 1; --g) {
        frame.Fill(0);
        glitch_blit(frame.View(), picture.data(), 0, 0, w, h);
        EXPECT_EQ(Glitch.frames, g - 1);
        EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), 0u);
        for (int j = 0; j < h; ++j) {
            int found = -1;
            for (int x = 0; x < w; ++x)
                if (frame.At(x, j) == WHITE)
                    found = x;
            ASSERT_GE(found, 40 - g / 2) << "G " << g << " row " << j;
            ASSERT_LE(found, 40 + g - 1 - g / 2) << "G " << g << " row " << j;
        }
    }
    frame.Fill(0);
    glitch_blit(frame.View(), picture.data(), 0, 0, w, h);
    EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), size_t(12 * h));
    EXPECT_EQ(frame.At(40, 99), WHITE);
}

// Two glitch draws in one frame use up two glitch frames.
TEST_F(GlitchTest, EveryGlitchDrawUsesUpOneFrameWhateverItDraws)
{
    TestFrame frame;
    std::vector<uint16_t> a = Solid(20, 20, WHITE);
    std::vector<uint16_t> b = Solid(30, 10, PURE_RED);
    glitch_start(10, 255);
    glitch_blit(frame.View(), a.data(), 0, 0, 20, 20);
    glitch_blit_fade(frame.View(), b.data(), 100, 100, 30, 10);
    EXPECT_EQ(Glitch.frames, 8);
}

TEST_F(GlitchTest, PicturesLargerThanTheScratchPictureAreNotDrawn)
{
    TestFrame frame;
    std::vector<uint16_t> big = Solid(321, 200, WHITE);
    glitch_start(10, 255);
    glitch_blit(frame.View(), big.data(), 0, 0, 321, 200);
    glitch_blit_fade(frame.View(), big.data(), 0, 0, 321, 200);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Glitch.frames, 10);
}

// Strength 1 over two seconds: white at the start, lightened by
// 31 − 16 = 15 half way, the plain picture before the start and after.
TEST(FlashBlit, LightensByTheDecayingAmountWithinItsDuration)
{
    TestFrame frame;
    std::vector<uint16_t> picture = {Rgb15(1, 2, 3), 0};
    const uint32_t start = 1000;
    const auto flash = [&](uint32_t time) {
        frame.Fill(0x0001);
        flash_blit(frame.View(), picture.data(), 5, 5, 2, 1, start, time, 2.0, 1.0);
    };
    flash(start);
    EXPECT_EQ(frame.At(5, 5), WHITE);
    EXPECT_EQ(frame.At(6, 5), 0x0001);
    flash(start + D1);
    EXPECT_EQ(frame.At(5, 5), Rgb15(16, 17, 18));
    flash(start - 1);
    EXPECT_EQ(frame.At(5, 5), Rgb15(1, 2, 3));
    flash(start + 2 * D1 + 1);
    EXPECT_EQ(frame.At(5, 5), Rgb15(1, 2, 3));
}

// Strength 0.5: lightened by 15 at e = 0 and by 0 just below 0.96875 × D;
// from there to D it reports done without drawing, and after D nothing.
TEST(Fades, FromWhiteAtHalfStrengthLightensBy15ThenReportsDoneUpToItsEnd)
{
    TestFrame frame;
    const uint16_t base = Rgb15(1, 2, 3);
    const uint32_t start = 5000;
    const auto fade = [&](uint32_t time) {
        frame.Fill(base);
        return fade_from_white(frame.View(), start, time, ONE_SECOND, 0.5);
    };
    EXPECT_EQ(fade(start), 0);
    EXPECT_EQ(frame.At(0, 0), Rgb15(16, 17, 18));
    EXPECT_EQ(fade(start + 687210), 0);  // v just below 15.5
    EXPECT_EQ(frame.At(319, 199), base);
    EXPECT_EQ(fade(start + 687211), 1);
    EXPECT_EQ(frame.At(0, 0), base);
    EXPECT_EQ(fade(start + D1), 1);
    EXPECT_EQ(fade(start + D1 + 1), 0);
    EXPECT_EQ(frame.At(0, 0), base);
    EXPECT_EQ(fade(start - 1), 0);
    EXPECT_EQ(frame.At(0, 0), base);
    EXPECT_EQ(CountOf(frame.Pixels(), base), size_t(SCREEN_PIXELS));
}

TEST(Fades, FromBlackAtFullStrengthStartsBlackAndDarkensBy15HalfWay)
{
    TestFrame frame;
    frame.Fill(Rgb15(31, 20, 16));
    EXPECT_EQ(fade_from_black(frame.View(), 0, 0, ONE_SECOND, 1.0), 0);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    frame.Fill(Rgb15(31, 20, 16));
    EXPECT_EQ(fade_from_black(frame.View(), 0, 2 * D1, 4.0, 1.0), 0);
    EXPECT_EQ(frame.At(160, 100), Rgb15(16, 5, 1));
}

TEST(Fades, ToBlackDarkensByTheGrowingAmountAndStaysBlackAfterItsDuration)
{
    TestFrame frame;
    frame.Fill(Rgb15(31, 20, 10));
    fade_to_black(frame.View(), 100, 99, ONE_SECOND, 1.0);
    EXPECT_EQ(frame.At(0, 0), Rgb15(31, 20, 10));
    fade_to_black(frame.View(), 0, D1, 2.0, 1.0);
    EXPECT_EQ(frame.At(0, 0), Rgb15(15, 4, 0));

    frame.Fill(WHITE);
    fade_to_black(frame.View(), 0, D1 + 1, ONE_SECOND, 1.0);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    frame.Fill(WHITE);
    fade_to_black(frame.View(), 0, 100 * D1, ONE_SECOND, 1.0);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
}

TEST(Fades, RedShiftTurnsWhiteIntoPureRedAfterItsDuration)
{
    TestFrame frame;
    frame.Fill(WHITE);
    red_shift(frame.View(), 0, D1 + 1, ONE_SECOND);
    EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), size_t(SCREEN_PIXELS));

    frame.Fill(Rgb15(10, 20, 30));
    red_shift(frame.View(), 0, D1, 2.0);
    EXPECT_EQ(frame.At(0, 0), Rgb15(26, 4, 14));
    red_shift(frame.View(), 10, 9, ONE_SECOND);
    EXPECT_EQ(frame.At(0, 0), Rgb15(26, 4, 14));
}

// Mask byte i % 256 at pixel i.
class MaskWipeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (int i = 0; i < SCREEN_PIXELS; ++i) {
            mask[i] = uint8_t(i % 256);
            picture[i] = WHITE;
        }
    }
    uint8_t mask[SCREEN_PIXELS];
    uint16_t picture[SCREEN_PIXELS];
    TestFrame frame;
    static constexpr uint16_t BASE = 0x0010;

    // Pixels at mask value m that hold `value`, over every m.
    std::vector<int> ValuesPerMask(uint16_t value)
    {
        std::vector<int> perMask(256, 0);
        for (int i = 0; i < SCREEN_PIXELS; ++i)
            if (frame.View()->current[i] == value)
                perMask[i % 256] = 1;
        return perMask;
    }
};

TEST_F(MaskWipeTest, WipeInReplacesPixelsWhoseMaskIsBelowTheLevel)
{
    frame.Fill(BASE);
    mask_wipe_in(frame.View(), 0, 0, ONE_SECOND, mask, picture);
    EXPECT_EQ(CountOf(frame.Pixels(), BASE), size_t(SCREEN_PIXELS));

    mask_wipe_in(frame.View(), 0, D1, ONE_SECOND, mask, picture);
    std::vector<int> replaced = ValuesPerMask(WHITE);
    for (int m = 0; m < 256; ++m)
        EXPECT_EQ(replaced[m], m < 255 ? 1 : 0) << m;

    frame.Fill(BASE);
    mask_wipe_in(frame.View(), 0, D1, 2.0, mask, picture);  // level trunc(127.5)
    replaced = ValuesPerMask(WHITE);
    for (int m = 0; m < 256; ++m)
        EXPECT_EQ(replaced[m], m < 127 ? 1 : 0) << m;

    frame.Fill(BASE);
    mask_wipe_in(frame.View(), 0, D1 + 1, ONE_SECOND, mask, picture);
    EXPECT_EQ(CountOf(frame.Pixels(), BASE), size_t(SCREEN_PIXELS));
}

TEST_F(MaskWipeTest, ColourWipePaintsPixelsWhoseMaskIsAboveTheLevel)
{
    frame.Fill(BASE);
    mask_wipe_colour(frame.View(), 0, D1, ONE_SECOND, mask, PURE_RED);
    EXPECT_EQ(CountOf(frame.Pixels(), BASE), size_t(SCREEN_PIXELS));

    mask_wipe_colour(frame.View(), 0, 0, ONE_SECOND, mask, PURE_RED);
    std::vector<int> painted = ValuesPerMask(PURE_RED);
    for (int m = 0; m < 256; ++m)
        EXPECT_EQ(painted[m], m > 0 ? 1 : 0) << m;

    frame.Fill(BASE);
    mask_wipe_colour(frame.View(), 0, D1, 2.0, mask, PURE_RED);
    painted = ValuesPerMask(PURE_RED);
    for (int m = 0; m < 256; ++m)
        EXPECT_EQ(painted[m], m > 127 ? 1 : 0) << m;
}

// At A = 255 the frame keeps a 1/256 share: (frame + 255 × picture) >> 8.
TEST(Crossfade, FullWeightLeavesOneShareOfTheFrame)
{
    TestFrame frame;
    std::vector<uint16_t> picture = Solid(SCREEN_WIDTH, SCREEN_HEIGHT, Rgb15(0, 31, 16));
    frame.Fill(Rgb15(31, 0, 16));
    image_crossfade(frame.View(), picture.data(), 0, D1 + 1, ONE_SECOND);
    EXPECT_EQ(CountOf(frame.Pixels(), Rgb15(0, 30, 16)), size_t(SCREEN_PIXELS));

    frame.Fill(Rgb15(31, 0, 16));
    image_crossfade(frame.View(), picture.data(), 0, D1, 2.0);  // A = 127, B = 129
    EXPECT_EQ(frame.At(0, 0), Rgb15(15, 15, 16));
    image_crossfade(frame.View(), picture.data(), 10, 9, ONE_SECOND);
    EXPECT_EQ(frame.At(0, 0), Rgb15(15, 15, 16));
}

// Texel k of the picture is k & 0x7FFF; after n draws the phase is
// −1541 × n modulo 65536 and pixel i shows texel (phase + table[i]) mod 65536.
TEST(Tunnel, DrawsThroughTheTableFromAPhaseThatMovesBack1541PerDraw)
{
    for (int32_t k = 0; k < TUNNEL_TEXTURE_PIXELS; ++k)
        Tunnel.texture[k] = uint16_t((k % TUNNEL_PICTURE_PIXELS) & 0x7FFF);
    for (int32_t i = 0; i < SCREEN_PIXELS; ++i)
        Tunnel.table[i] = uint16_t(i * 7);
    Tunnel.table[1] = 65535;
    Tunnel.phase = 0;
    std::vector<uint16_t> out(SCREEN_PIXELS);
    tunnel_draw(out.data());
    EXPECT_EQ(out[0], 0);
    EXPECT_EQ(out[1], 65535 & 0x7FFF);
    EXPECT_EQ(out[2], 14);
    EXPECT_EQ(Tunnel.phase, 65536 - 1541);

    tunnel_draw(out.data());
    EXPECT_EQ(out[0], (65536 - 1541) & 0x7FFF);
    EXPECT_EQ(out[1], (65535 - 1541) & 0x7FFF);
    EXPECT_EQ(out[63999], ((63999 * 7) % 65536 + 65536 - 1541) % 65536 & 0x7FFF);
    EXPECT_EQ(Tunnel.phase, 65536 - 2 * 1541);
}

}  // namespace
