// The parts' frame callbacks run without a window on a 320 × 200 frame, with
// the scene time set by the test: one table of the moments where a part
// changes what it draws (just before and just after each), and the
// sequences of the light level and of the held and dissolved frames.
#include "parts.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

using namespace kvor3d;

namespace {

constexpr uint32_t SECOND = TICKS_PER_SECOND;
constexpr uint16_t RED = 0x7C00, GREEN = 0x03E0, BLUE = 0x001F;

class Parts : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetPixelMode(1);
        BuildSquareTable();
        BuildNormalTable();
        BuildRadialTable();
        BuildPositionTable(45, SCREEN_WIDTH, 32768);
    }

    void SetUp() override { Reset(); }
    void TearDown() override
    {
        FreeScene(scene);
        XViewDelete(frame);
    }

    // Fresh show state; the pictures: red side panels, a green logo and
    // clip, credits strips green, blue and white, text strip s filled with
    // s + 1, a grey end background.
    void Reset()
    {
        FreeScene(scene);
        std::srand(11);
        ::Parts = PartState{};
        Data = ShowData{};
        Tunnel.phase = 0;
        glitch_start(0, 0);
        for (size_t i = 0; i < credits.size(); ++i)
            credits[i] = i < 3120 ? GREEN : i < 6240 ? BLUE : 0x7FFF;
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = uint16_t(1 + i / 4480);
        Data.leftPanel = Data.rightPanel = {panel.data(), 76, 200};
        Data.logo = {logo.data(), 256, 184};
        Data.credits = {credits.data(), 120, 78};
        Data.text = {text.data(), 320, 14 * 21};
        Data.endBackground = {back.data(), 320, 200};
        std::fill_n(Data.fadeMaskA, SCREEN_PIXELS, uint8_t(128));
        std::fill_n(frame->current, SCREEN_PIXELS, uint16_t(0));
        Show.view = nullptr;
        Show.frame = frame;
        scene = AllocScene();
        AllocDrawLists(scene);
        CameraOf(scene->camera)->fieldOfView = 60.0f;
    }

    void Run(FrameCallback callback, uint32_t time)
    {
        Show.sceneTime = time;
        callback(scene);
    }

    uint16_t At(int x, int y) const { return frame->current[y * SCREEN_WIDTH + x]; }

    const TagItem tags[3] = {{TAG_XVIEW_WIDTH, SCREEN_WIDTH}, {TAG_XVIEW_HEIGHT, SCREEN_HEIGHT}, {TAG_DONE, 0}};
    XView* frame = XViewCreate(tags);
    Scene* scene = nullptr;
    std::vector<uint16_t> panel = std::vector<uint16_t>(76 * 200, RED), logo = std::vector<uint16_t>(256 * 184, GREEN);
    std::vector<uint16_t> credits = std::vector<uint16_t>(120 * 78), text = std::vector<uint16_t>(320 * 14 * 21);
    std::vector<uint16_t> back = std::vector<uint16_t>(SCREEN_PIXELS, Rgb15(4, 4, 4));
};

// Each row plays the part at these times in order on a fresh state, then
// reads one value.
TEST_F(Parts, ThresholdsOfEveryTimedEvent)
{
    struct Row {
        const char* what;
        FrameCallback part;
        std::vector<uint32_t> times;
        std::function<int64_t()> probe;
        int64_t expected;
    };
    const auto pixel = [this](int x, int y) { return [this, x, y] { return int64_t(At(x, y)); }; };
    const auto word = [](const uint32_t& w) { return [&w] { return int64_t(w); }; };
    PartState& p = ::Parts;
    const Row rows[] = {
        {"panels absent up to 8.4 s", lights_frame, {5958783}, pixel(0, 0), 0},
        {"panels flash from white after it", lights_frame, {5958784}, pixel(319, 199), 0x7FFF},
        {"logo glitch starts after 8.4 s", lights_frame, {5958784}, word(p.logoStarted), 1},
        {"first panel window's last tick", lights_frame, {9931305}, pixel(0, 0), RED},
        {"second window flashes at half strength", lights_frame, {9931306}, pixel(0, 0), Rgb15(31, 15, 15)},
        {"no glitch hit up to 10.2 s", lights_frame, {7235665}, word(p.glitchHits[0]), 0},
        {"glitch hit after it", lights_frame, {7235666}, word(p.glitchHits[0]), 1},
        {"black two seconds after 37.7 s", lights_frame, {26743588 + 2 * SECOND}, pixel(0, 100), 0},
        {"no light jump up to 7.0 s", pani_frame, {4965653}, word(p.lightJumps[0]), 0},
        {"light jump after it", pani_frame, {4965654}, word(p.lightJumps[0]), 1},
        {"no text strip up to 2.5 s", suecide_frame, {1773447}, pixel(0, 185), 0},
        {"first text strip after it", suecide_frame, {1773448}, pixel(319, 198), 1},
        {"text strip 11 at 21 s", suecide_frame, {21 * SECOND}, pixel(0, 185), 11},
        {"frames rendered up to 25.5 s", suecide_frame, {18089164}, [&p] { return int64_t(p.dissolve); }, -1},
        {"held frame shown after it", suecide_frame, {18089164, 18959164}, word(p.captureTime), 18089164},
        {"new frame held 870000 ticks later", suecide_frame, {18089164, 18959165}, word(p.captureTime), 18959165},
        {"credits stage 0 up to 0.7 s", hand3_frame, {496565}, word(p.creditsStage), 0},
        {"credits stage 1 after it", hand3_frame, {496566}, word(p.creditsStage), 1},
        {"one stage a frame", hand3_frame, {7 * SECOND, 7 * SECOND}, word(p.creditsStage), 2},
        {"no glitch starts at the last credits stage", hand3_frame, {496566, 993131, 1489696, 1986262},
         [] { return int64_t(Glitch.frames); }, 9},
        {"background not glitched up to 3.0 s", hand3_frame, {2128137}, word(p.backgroundStage), 0},
        {"background glitched after it", hand3_frame, {2128138}, word(p.backgroundStage), 1},
        {"second background glitch after 6.8 s", hand3_frame, {2128138, 4823778}, word(p.backgroundStage), 2},
        {"red curtain at the start", hand3_frame, {0}, pixel(160, 100), RED},
        {"credits over the end background", hand3_frame, {496566, 993131, 1489696, 1986262, 2128136}, pixel(0, 165),
         Rgb15(1, 20, 1)},
    };
    for (const Row& r : rows) {
        Reset();
        for (uint32_t time : r.times)
            Run(r.part, time);
        EXPECT_EQ(r.probe(), r.expected) << r.what;
    }
}

// The level written on the first frame is that of 0.1f − 0.02; after each
// jump to 0.31 it sinks by 0.02 a frame until it is no longer above 0.1.
TEST_F(Parts, PaniWritesTheLightLevelSequence)
{
    scene->lightEffects = AllocRecord<LightEffect>();
    scene->lightEffects->elements = AllocRecord<LightEffectElement>();
    std::vector<uint32_t> levels;
    for (uint32_t time : {0u, 4965654u, 4965655u, 4965656u, 4965657u, 4965658u, 4965659u, 4965660u, 4965661u, 4965662u,
                          4965663u, 4965664u, 4965665u, 7803170u}) {
        Run(pani_frame, time);
        levels.push_back(scene->lightEffects->elements->e1);
    }
    EXPECT_EQ(levels, (std::vector<uint32_t>{5242, 19005, 17694, 16383, 15073, 13762, 12451, 11141, 9830, 8519, 7208,
                                             5898, 5898, 19005}));
}

// After 25.5 s a new frame is held every 870000 ticks and dissolved into
// from the one before, the weight falling by 16 a frame from 256.
TEST_F(Parts, SuecideHoldsAFrameEvery870000TicksAndDissolvesOver17Frames)
{
    scene->backgroundColour = 0xF80000;
    Run(suecide_frame, 18089164);
    scene->backgroundColour = 0x0000F8;
    Run(suecide_frame, 18959165);
    EXPECT_EQ(::Parts.dissolve, 256);
    for (int32_t step = 0; step < 17; ++step) {
        Run(suecide_frame, 18959166 + uint32_t(step));
        const int32_t w = 256 - 16 * step;
        EXPECT_EQ(At(5, 5), Rgb15((31 * w) >> 8, 0, (31 * (256 - w)) >> 8)) << step;
    }
    EXPECT_EQ(::Parts.dissolve, -16);
    suecide_handover(18959165 + 800000);
    EXPECT_EQ(::Parts.offset, 800000u);
    scene->backgroundColour = 0x00F800;
    Run(suecide2_frame, 70000);  // part 9's hold runs on for 70000 ticks
    EXPECT_EQ(::Parts.part10Started, 0u);
    Run(suecide2_frame, 70001);
    EXPECT_EQ(At(5, 5), BLUE);
    Run(suecide2_frame, 70002);
    EXPECT_EQ(At(5, 5), Rgb15(0, (31 * 16) >> 8, (31 * 240) >> 8));
}

}  // namespace
