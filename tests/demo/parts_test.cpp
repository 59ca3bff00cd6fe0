// The parts' frame callbacks run without a window on a 320 × 200 frame,
// with the scene time set by the test: their thresholds, done flags and
// stages, the hold and dissolve of parts 9 and 10, and pictures that are
// missing or of another size.
#include "demo/demo_support.h"
#include "parts.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

constexpr uint32_t SECOND = TICKS_PER_SECOND;
constexpr uint32_t RED_BACKGROUND = 0xF80000;    // 0x7C00 in the frame
constexpr uint32_t GREEN_BACKGROUND = 0x00F800;  // 0x03E0
constexpr uint32_t BLUE_BACKGROUND = 0x0000F8;   // 0x001F
constexpr uint16_t GREEN = 0x03E0;
constexpr uint16_t BLUE = 0x001F;

// A picture owned by the test and lent to the show's data.
struct TestPicture {
    std::vector<uint16_t> pixels;
    int32_t width;
    int32_t height;

    TestPicture(int32_t w, int32_t h, uint16_t value) : pixels(size_t(w) * size_t(h), value), width(w), height(h) {}
    ShowPicture Lend() { return ShowPicture{pixels.data(), width, height}; }
};

class PartsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPixelMode(1);
        BuildSquareTable();
        BuildNormalTable();
        BuildRadialTable();
        BuildPositionTable(45, SCREEN_WIDTH, 32768);
        std::srand(11);
        Parts = PartState{};
        Data = ShowData{};
        Tunnel.phase = 0;
        std::fill_n(Tunnel.texture, TUNNEL_TEXTURE_PIXELS, uint16_t(0));
        std::fill_n(Tunnel.table, SCREEN_PIXELS, uint16_t(0));
        glitch_start(0, 0);
        Show.view = nullptr;
        Show.frame = frame.View();
        scene = AllocScene();
        ASSERT_NE(scene, nullptr);
        ASSERT_EQ(AllocDrawLists(scene), 1);
        CameraOf(scene->camera)->fieldOfView = 60.0f;
    }
    void TearDown() override
    {
        FreeScene(scene);
        Show.frame = nullptr;
        FreeNormalTable();
        FreePositionTable();
        FreeRadialTable();
    }

    void Run(FrameCallback callback, uint32_t time)
    {
        Show.sceneTime = time;
        callback(scene);
    }

    TestFrame frame;
    Scene* scene = nullptr;
};

// ---- Part 1 ---------------------------------------------------------------------------

TEST_F(PartsTest, LogoPartStartsTheClipGlitchOnItsFirstFrameAndTheClipSettlesAfterTwelve)
{
    TestPicture clip(159, 159, WHITE);
    Data.clip = clip.Lend();
    Run(logo_frame, 0);
    EXPECT_EQ(Parts.clipStarted, 1u);
    EXPECT_EQ(Glitch.step, 5440);
    EXPECT_EQ(Glitch.frames, 11);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));  // weight 0 on the first draw
    for (uint32_t n = 2; n <= 12; ++n) {
        Run(logo_frame, n * 1000);
        EXPECT_EQ(Glitch.frames, int32_t(12 - n));
    }
    EXPECT_EQ(Glitch.step, 5440);  // not started again
    Run(logo_frame, 13000);
    EXPECT_EQ(CountOf(frame.Pixels(), WHITE), size_t(159 * 159));
    EXPECT_EQ(frame.At(79, 20), WHITE);
    EXPECT_EQ(frame.At(237, 178), WHITE);
    EXPECT_EQ(frame.At(78, 20), 0);
}

// Fade mask B holds i % 256 at pixel i; half way the level is 127.
TEST_F(PartsTest, LogoPartWipesTheAlienInFromFiveToSevenSecondsThenShowsTheClipAlone)
{
    TestPicture clip(159, 159, WHITE);
    Data.clip = clip.Lend();
    for (int32_t i = 0; i < SCREEN_PIXELS; ++i) {
        Data.fadeMaskB[i] = uint8_t(i % 256);
        Data.alien[i] = GREEN;
    }
    Parts.clipStarted = 1;
    Run(logo_frame, 3546895);
    EXPECT_EQ(CountOf(frame.Pixels(), GREEN), 0u);
    Run(logo_frame, 3546895 + SECOND);
    for (int32_t i = 0; i < SCREEN_PIXELS; ++i)
        ASSERT_EQ(frame.View()->current[i] == GREEN, i % 256 < 127) << i;
    Run(logo_frame, 3546895 + 2 * SECOND + 1);
    EXPECT_EQ(CountOf(frame.Pixels(), GREEN), 0u);
    EXPECT_EQ(CountOf(frame.Pixels(), WHITE), size_t(159 * 159));
}

TEST_F(PartsTest, ClipThatIsMissingOrOfAnotherSizeIsNotDrawn)
{
    Parts.clipStarted = 1;
    Run(logo_frame, 0);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    for (TestPicture clip : {TestPicture(100, 100, WHITE), TestPicture(159, 158, WHITE), TestPicture(160, 159, WHITE)}) {
        Data.clip = clip.Lend();
        Run(logo_frame, 0);
        EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS)) << clip.width << " × " << clip.height;
    }
}

// ---- Part 3 ---------------------------------------------------------------------------

// The ball is not drawn; only its colour's top byte matters here.
TEST_F(PartsTest, AlienBornLowersTheBallsWeightOncePerFrameAfterEightSeconds)
{
    ObjectEntity* other = build::AddObject(scene, "alien_body.lwob", {}, {});
    ObjectEntity* ball = build::AddObject(scene, "alien_ball.lwob", {}, {});
    ASSERT_TRUE(other && ball);
    other->entityFlags = ball->entityFlags = 0;
    other->colour = 0x05000000;
    ball->colour = 0x03123456;
    Run(alien_born_frame, 5675032);
    EXPECT_EQ(ball->colour, 0x03123456u);
    std::vector<uint32_t> weights;
    for (uint32_t n = 1; n <= 5; ++n) {
        Run(alien_born_frame, 5675032 + n);
        weights.push_back(ball->colour >> 24);
    }
    EXPECT_EQ(weights, (std::vector<uint32_t>{2, 1, 0, 0, 0}));
    EXPECT_EQ(ball->colour & 0xFFFFFF, 0x123456u);
    EXPECT_EQ(other->colour, 0x05000000u);
    EXPECT_EQ(Parts.ballFaded, 1u);
}

TEST_F(PartsTest, AlienBornWithoutTheBallChangesNothing)
{
    ObjectEntity* other = build::AddObject(scene, "alien_body.lwob", {}, {});
    other->entityFlags = 0;
    other->colour = 0x05000000;
    Run(alien_born_frame, 6 * SECOND);
    Run(alien_born_frame, 9 * SECOND);
    EXPECT_EQ(other->colour, 0x05000000u);
    EXPECT_EQ(Parts.ballFaded, 0u);
}

// A white tunnel texture: after 52.5 s it fills the alien picture, and
// once the cross-fade is over the black frame shows (255 × white) >> 8.
TEST_F(PartsTest, AlienBornCrossFadesIntoTheTunnelAfter52Point5Seconds)
{
    std::fill_n(Tunnel.texture, TUNNEL_TEXTURE_PIXELS, WHITE);
    std::fill_n(Data.alien, SCREEN_PIXELS, uint16_t(0x0001));
    Run(alien_born_frame, 37242397);
    EXPECT_EQ(CountOf(std::vector<uint16_t>(Data.alien, Data.alien + SCREEN_PIXELS), 0x0001), size_t(SCREEN_PIXELS));
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    Run(alien_born_frame, 37242397 + 2 * SECOND);
    EXPECT_EQ(CountOf(std::vector<uint16_t>(Data.alien, Data.alien + SCREEN_PIXELS), WHITE), size_t(SCREEN_PIXELS));
    EXPECT_EQ(CountOf(frame.Pixels(), Rgb15(30, 30, 30)), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Tunnel.phase, 65536 - 1541);
}

// ---- Part 4 ---------------------------------------------------------------------------

class LightsTest : public PartsTest {
protected:
    void SetUp() override
    {
        PartsTest::SetUp();
        Data.leftPanel = left.Lend();
        Data.rightPanel = right.Lend();
        Data.logo = logo.Lend();
    }
    TestPicture left{76, 200, PURE_RED};
    TestPicture right{76, 200, BLUE};
    TestPicture logo{256, 184, GREEN};
};

// The tunnel is black; the panels flash in white from 8.4 s, while the
// logo's glitch starts at weight 0.
TEST_F(LightsTest, PanelsAndLogoAreAbsentUpTo8Point4Seconds)
{
    Run(lights_frame, 5958783);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Parts.logoStarted, 0u);
    Run(lights_frame, 5958784);
    EXPECT_EQ(frame.At(0, 0), WHITE);
    EXPECT_EQ(frame.At(31, 199), WHITE);
    EXPECT_EQ(frame.At(319, 0), WHITE);
    EXPECT_EQ(frame.At(288, 199), WHITE);
    EXPECT_EQ(frame.At(160, 100), 0);
    EXPECT_EQ(Parts.logoStarted, 1u);
    EXPECT_EQ(Glitch.frames, 11);
    Run(lights_frame, 5958784 + 2 * SECOND);  // the first flash is over
    EXPECT_EQ(frame.At(0, 0), PURE_RED);
    EXPECT_EQ(frame.At(319, 199), BLUE);
}

// From 10.0 s the logo is drawn with glitch_blit: a glitch hit shakes it
// for 12 frames, and each hit is started once.
TEST_F(LightsTest, EachGlitchHitShakesTheLogoForTwelveFrames)
{
    Parts.logoStarted = 1;
    Run(lights_frame, 7093791);
    EXPECT_EQ(frame.At(32 + 76, 8), GREEN);
    EXPECT_EQ(frame.At(287 - 76, 191), GREEN);
    Run(lights_frame, 7235666);
    EXPECT_EQ(Parts.glitchHits[0], 1u);
    EXPECT_EQ(Parts.glitchHits[1], 0u);
    EXPECT_EQ(Glitch.frames, 12);
    for (int32_t left = 11; left >= 0; --left) {
        Run(lights_frame, 7235667);
        EXPECT_EQ(Glitch.frames, left);
    }
    EXPECT_EQ(frame.At(32, 8), PURE_RED);  // the logo's first 12 columns wait for the glitch's end
    Run(lights_frame, 7235668);
    EXPECT_EQ(Glitch.frames, 0);
    EXPECT_EQ(frame.At(32, 8), GREEN);
    EXPECT_EQ(frame.At(32 + 76, 8), GREEN);
    Run(lights_frame, 9363803);
    EXPECT_EQ(Parts.glitchHits[1], 1u);
    EXPECT_EQ(Glitch.frames, 12);
}

TEST_F(LightsTest, FadesToBlackFrom37Point7Seconds)
{
    Parts.logoStarted = 1;
    Run(lights_frame, 26743588 + 2 * SECOND);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
}

TEST_F(LightsTest, PanelsAndLogoOfAnotherSizeAreNotDrawn)
{
    TestPicture narrow(75, 200, PURE_RED);
    TestPicture shortLogo(256, 183, GREEN);
    Data.leftPanel = narrow.Lend();
    Data.rightPanel = ShowPicture{};
    Data.logo = shortLogo.Lend();
    Parts.logoStarted = 1;
    Run(lights_frame, 7093791);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
}

// ---- Part 5 ---------------------------------------------------------------------------

// The level written on the first frame is that of 0.1f − 0.02; after each
// jump to 0.31 it sinks by 0.02 a frame until it is no longer above 0.1.
TEST_F(PartsTest, PaniWritesTheLightLevelSequence)
{
    LightEffect* effect = AllocRecord<LightEffect>();
    effect->elements = AllocRecord<LightEffectElement>();
    scene->lightEffects = effect;
    std::vector<uint32_t> levels;
    const std::vector<uint32_t> times = {0, 1, 4965653, 4965654, 4965655, 4965656, 4965657, 4965658, 4965659,
                                         4965660, 4965661, 4965662, 4965663, 4965664, 4965665, 7803170};
    for (uint32_t time : times) {
        Run(pani_frame, time);
        levels.push_back(effect->elements->e1);
    }
    EXPECT_EQ(levels, (std::vector<uint32_t>{5242, 5242, 5242, 19005, 17694, 16383, 15073, 13762, 12451, 11141,
                                             9830, 8519, 7208, 5898, 5898, 19005}));
    EXPECT_EQ(Parts.lightJumps[0], 1u);
    EXPECT_EQ(Parts.lightJumps[1], 1u);
    EXPECT_EQ(Parts.lightJumps[2], 0u);
}

TEST_F(PartsTest, PaniLeavesASceneWithoutLightEffectElementsAlone)
{
    Run(pani_frame, 5 * SECOND);
    scene->lightEffects = AllocRecord<LightEffect>();
    Run(pani_frame, 8 * SECOND);
    EXPECT_EQ(scene->lightEffects->elements, nullptr);
}

// ---- Parts 7 and 8 --------------------------------------------------------------------

TEST_F(PartsTest, Lesby1ZoomsInTwoDegreesAFrameAndStopsAt55)
{
    CameraEntity* camera = CameraOf(scene->camera);
    camera->fieldOfView = 65.0f;
    std::vector<float> seen;
    for (uint32_t n = 0; n < 7; ++n) {
        Run(lesby1_frame, n * 100);
        seen.push_back(camera->fieldOfView);
    }
    EXPECT_EQ(seen, (std::vector<float>{63, 61, 59, 57, 55, 55, 55}));
    camera->fieldOfView = 60.0f;
    Run(lesby1_frame, 800);
    Run(lesby1_frame, 900);
    Run(lesby1_frame, 1000);
    EXPECT_EQ(camera->fieldOfView, 54.0f);
}

// Parts 7 and 8 fill no background: the scene covers the frame. Here each
// frame starts black.
void RunOnBlack(TestFrame& frame, FrameCallback callback, Scene* scene, uint32_t time)
{
    frame.Fill(0);
    Show.sceneTime = time;
    callback(scene);
}

// Strength 0.5: lightened by 15 from the first tick; once the flash
// reports done it is not called again.
TEST_F(PartsTest, Lesby1FlashesFromTheirStartUntilTheyReportDone)
{
    RunOnBlack(frame, lesby1_frame, scene, 0);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    RunOnBlack(frame, lesby1_frame, scene, 1);
    EXPECT_EQ(CountOf(frame.Pixels(), Rgb15(15, 15, 15)), size_t(SCREEN_PIXELS));
    RunOnBlack(frame, lesby1_frame, scene, 687211);
    EXPECT_EQ(Parts.flashes1[0], 1u);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    RunOnBlack(frame, lesby1_frame, scene, 3156736);
    EXPECT_EQ(CountOf(frame.Pixels(), 0), size_t(SCREEN_PIXELS));
    RunOnBlack(frame, lesby1_frame, scene, 3156737);
    EXPECT_EQ(CountOf(frame.Pixels(), Rgb15(15, 15, 15)), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Parts.flashes1[1], 0u);
}

TEST_F(PartsTest, Lesby3OpensFromWhite)
{
    RunOnBlack(frame, lesby3_frame, scene, 0);
    EXPECT_EQ(CountOf(frame.Pixels(), WHITE), size_t(SCREEN_PIXELS));
    RunOnBlack(frame, lesby3_frame, scene, SECOND / 2);  // v just below 16: lightened by 31 − 15
    EXPECT_EQ(CountOf(frame.Pixels(), Rgb15(16, 16, 16)), size_t(SCREEN_PIXELS));
    RunOnBlack(frame, lesby3_frame, scene, 4823778);  // the first flash at 0.4: lightened by 12
    EXPECT_EQ(CountOf(frame.Pixels(), Rgb15(12, 12, 12)), size_t(SCREEN_PIXELS));
}

// ---- Parts 9 and 10 -------------------------------------------------------------------

// Red frame r, blue frame b: the dissolve at weight L shows
// ((31 × L) >> 8, 0, (31 × (256 − L)) >> 8).
uint16_t RedToBlue(int32_t weight)
{
    return Rgb15((31 * weight) >> 8, 0, (31 * (256 - weight)) >> 8);
}

TEST_F(PartsTest, SuecideHoldsAFrameEvery870000TicksAndDissolvesOver17Frames)
{
    scene->backgroundColour = RED_BACKGROUND;
    Run(suecide_frame, 18089164);
    EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Parts.dissolve, -1);
    EXPECT_EQ(Parts.captureTime, 18089164u);

    scene->backgroundColour = BLUE_BACKGROUND;
    for (uint32_t time : {18089165u, 18959164u}) {
        frame.Fill(0x1234);
        Run(suecide_frame, time);  // the first frame after 25.5 s shows H
        EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), size_t(SCREEN_PIXELS)) << time;
    }
    Run(suecide_frame, 18959165);
    EXPECT_EQ(Parts.offset, 18959165u);
    EXPECT_EQ(Parts.captureTime, 18959165u);
    EXPECT_EQ(Parts.dissolve, 256);
    EXPECT_EQ(CountOf(frame.Pixels(), BLUE), size_t(SCREEN_PIXELS));

    for (int32_t step = 0; step < 17; ++step) {
        frame.Fill(0x1234);
        Run(suecide_frame, 18959166 + uint32_t(step));
        EXPECT_EQ(CountOf(frame.Pixels(), RedToBlue(256 - 16 * step)), size_t(SCREEN_PIXELS)) << step;
    }
    EXPECT_EQ(RedToBlue(256), PURE_RED);
    EXPECT_EQ(RedToBlue(0), BLUE);
    frame.Fill(0x1234);
    Run(suecide_frame, 18959165 + 870000);
    EXPECT_EQ(CountOf(frame.Pixels(), BLUE), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Parts.dissolve, -16);

    scene->backgroundColour = GREEN_BACKGROUND;
    Run(suecide_frame, 18959165 + 870001);
    EXPECT_EQ(Parts.captureTime, 18959165u + 870001u);
    EXPECT_EQ(Parts.previous[0], BLUE);
    EXPECT_EQ(Parts.held[0], GREEN);
}

// Part 9's last frame was held at 18959165 and the part ended 800000
// ticks later: part 10 waits 70000 ticks more, then dissolves from H into
// its first frame, which it holds during the dissolve, and then renders.
TEST_F(PartsTest, Suecide2StartsAfterTheRestOfPart9sHoldAndDissolvesIntoItsFirstFrame)
{
    std::fill_n(Parts.held, SCREEN_PIXELS, BLUE);
    Parts.offset = 18959165;
    Parts.dissolve = -16;
    suecide_handover(18959165 + 800000);
    EXPECT_EQ(Parts.offset, 800000u);
    EXPECT_EQ(Parts.dissolve, 256);

    scene->backgroundColour = GREEN_BACKGROUND;
    frame.Fill(0x1234);
    Run(suecide2_frame, 70000);
    EXPECT_EQ(CountOf(frame.Pixels(), 0x1234), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Parts.part10Started, 0u);

    for (int32_t step = 0; step < 17; ++step) {
        Run(suecide2_frame, 70001 + uint32_t(step));
        const int32_t weight = 256 - 16 * step;
        EXPECT_EQ(CountOf(frame.Pixels(), Rgb15(0, (31 * (256 - weight)) >> 8, (31 * weight) >> 8)),
                  size_t(SCREEN_PIXELS))
            << step;
        scene->backgroundColour = RED_BACKGROUND;  // P stays the first frame
    }
    Run(suecide2_frame, 70100);
    EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), size_t(SCREEN_PIXELS));
    scene->backgroundColour = GREEN_BACKGROUND;
    Run(suecide2_frame, 13052573 + SECOND + 1);  // shifted to red
    EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), size_t(SCREEN_PIXELS));
}

// Strip s of the text picture is filled with s + 1.
TEST_F(PartsTest, TextStripShowsALineEvery1Point8SecondsAndPart10ContinuesNearLine20)
{
    TestPicture text(320, 14 * 21, 0);
    for (size_t i = 0; i < text.pixels.size(); ++i)
        text.pixels[i] = uint16_t(1 + i / 4480);
    Data.text = text.Lend();
    Run(suecide_frame, 1773447);
    EXPECT_EQ(frame.At(0, 185), 0);
    Run(suecide_frame, 1773448);
    EXPECT_EQ(frame.At(0, 185), 1);
    EXPECT_EQ(frame.At(319, 198), 1);
    EXPECT_EQ(frame.At(0, 184), 0);
    EXPECT_EQ(frame.At(0, 199), 0);
    Run(suecide_frame, 5 * SECOND);  // T = 0.55 × 3
    EXPECT_EQ(frame.At(0, 185), 2);
    Run(suecide_frame, 12 * SECOND - 1);  // T = 0.55 × 9
    EXPECT_EQ(frame.At(0, 185), 5);

    Parts.offset = 900000;
    Parts.dissolve = -1;
    Run(suecide2_frame, 0);  // T = 0.55 × 38
    EXPECT_EQ(frame.At(0, 185), 21);
    Run(suecide2_frame, 2 * SECOND);  // line 22 is past the picture's end
    EXPECT_EQ(frame.At(0, 185), 0);
}

// ---- Part 11 --------------------------------------------------------------------------

class Hand3Test : public PartsTest {
protected:
    void SetUp() override
    {
        PartsTest::SetUp();
        for (size_t i = 0; i < credits.pixels.size(); ++i)
            credits.pixels[i] = i < 3120 ? GREEN : i < 6240 ? BLUE : WHITE;
        Data.credits = credits.Lend();
        Data.endBackground = back.Lend();
        std::fill_n(Data.fadeMaskA, SCREEN_PIXELS, uint8_t(128));
    }
    TestPicture credits{120, 78, 0};
    TestPicture back{320, 200, Rgb15(4, 4, 4)};
};

// Credits strip colour c at weight 160 over the grey end background.
uint16_t OverGrey(uint16_t c)
{
    return Rgb15((RedOf(c) * 160 + 4 * 95) >> 8, (GreenOf(c) * 160 + 4 * 95) >> 8, (BlueOf(c) * 160 + 4 * 95) >> 8);
}

TEST_F(Hand3Test, FirstRunWipesTheRedCurtainAwayAndGlitchesTheCreditsInOneStripAtATime)
{
    Run(hand3_frame, 0);
    EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), size_t(SCREEN_PIXELS));
    EXPECT_EQ(Parts.creditsStage, 0u);

    const std::vector<uint32_t> stageTimes = {496566, 993131, 1489696, 1986262};
    for (size_t k = 0; k < stageTimes.size(); ++k) {
        Run(hand3_frame, stageTimes[k] - 1);
        EXPECT_EQ(Parts.creditsStage, k);
        Run(hand3_frame, stageTimes[k]);
        EXPECT_EQ(Parts.creditsStage, k + 1);
        if (k < 3) {
            EXPECT_EQ(Glitch.step, 4096);
            EXPECT_EQ(Glitch.frames, 9);
        }
    }
    // The third strip's glitch was drawn twice; the last stage starts none.
    EXPECT_EQ(Glitch.frames, 8);

    Run(hand3_frame, 2128136);  // the curtain is gone, the background not yet glitched
    EXPECT_EQ(frame.At(160, 100), Rgb15(4, 4, 4));
    EXPECT_EQ(frame.At(0, 165), OverGrey(GREEN));
    EXPECT_EQ(frame.At(103, 187), OverGrey(GREEN));
    EXPECT_EQ(frame.At(0, 188), Rgb15(4, 4, 4));
}

TEST_F(Hand3Test, StagesMoveOnOnePerFrame)
{
    Run(hand3_frame, 3 * SECOND + 1);
    EXPECT_EQ(Parts.creditsStage, 1u);
    EXPECT_EQ(Parts.backgroundStage, 1u);
    Run(hand3_frame, 7 * SECOND);
    EXPECT_EQ(Parts.creditsStage, 2u);
    EXPECT_EQ(Parts.backgroundStage, 2u);
}

// The rendered frame is keyed over the end background, so its black
// pixels let the background through; from 3.0 s it is glitched.
TEST_F(Hand3Test, BackgroundGlitchesStartAt3And6Point8Seconds)
{
    Parts.creditsShown = 1;
    Run(hand3_frame, 2128137);
    EXPECT_EQ(Parts.backgroundStage, 0u);
    Run(hand3_frame, 2128138);
    EXPECT_EQ(Parts.backgroundStage, 1u);
    EXPECT_EQ(Glitch.frames, 9);
    EXPECT_EQ(Glitch.step, (255 << 8) / 10);
    Run(hand3_frame, 4823777);
    EXPECT_EQ(Parts.backgroundStage, 1u);
    Run(hand3_frame, 4823778);
    EXPECT_EQ(Parts.backgroundStage, 2u);
    EXPECT_EQ(Glitch.frames, 9);
    EXPECT_EQ(frame.At(160, 100), Rgb15(4, 4, 4));
}

TEST_F(Hand3Test, FromTheSecondRepetitionTheCreditsShowAtOnceWithoutCurtain)
{
    Run(hand3_frame, 5 * SECOND);
    EXPECT_EQ(Parts.backgroundStage, 1u);
    hand3_repeat();
    EXPECT_EQ(Parts.creditsShown, 1u);
    EXPECT_EQ(Parts.backgroundStage, 0u);
    Run(hand3_frame, 0);
    EXPECT_EQ(frame.At(160, 100), Rgb15(4, 4, 4));
    EXPECT_EQ(frame.At(0, 165), OverGrey(GREEN));
    EXPECT_EQ(frame.At(103, 187), OverGrey(GREEN));
    EXPECT_EQ(frame.At(120, 165), OverGrey(BLUE));  // strips 120 wide, 104 apart: each overlaps the next
    EXPECT_EQ(frame.At(207, 187), OverGrey(BLUE));
    EXPECT_EQ(frame.At(319, 187), OverGrey(WHITE));
    EXPECT_EQ(frame.At(319, 188), Rgb15(4, 4, 4));
    EXPECT_EQ(CountOf(frame.Pixels(), PURE_RED), 0u);
}

TEST_F(Hand3Test, MissingPicturesLeaveTheRenderedSceneAlone)
{
    Data.credits = ShowPicture{};
    Data.endBackground = ShowPicture{};
    scene->backgroundColour = BLUE_BACKGROUND;
    Parts.creditsShown = 1;
    Run(hand3_frame, 0);
    EXPECT_EQ(CountOf(frame.Pixels(), BLUE), size_t(SCREEN_PIXELS));
}

}  // namespace
