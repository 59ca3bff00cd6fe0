#include "anim/anim.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

// The fake clock: each read returns the next scripted tick value (the last
// one repeats).
std::vector<uint32_t> scriptedTicks;
size_t tickReads = 0;

uint32_t ScriptedClock()
{
    uint32_t value = scriptedTicks[std::min(tickReads, scriptedTicks.size() - 1)];
    ++tickReads;
    return value;
}

// What the callbacks saw, in call order.
struct FrameSeen {
    uint32_t sceneTime;
    float position;  // the animated entity's x at that frame
};
std::vector<FrameSeen> frames;
std::vector<std::string> events;
std::vector<std::vector<uint32_t>> palettes;
uint32_t sceneTime = 0;
Entity* mover = nullptr;

void RecordFrame(Scene*)
{
    frames.push_back({sceneTime, mover ? mover->position[0] : 0.0f});
    events.push_back("frame");
}

void RecordPalette(PaletteRecord* record)
{
    palettes.emplace_back(record->palette, record->palette + PALETTE_FILE_WORDS);
    events.push_back("palette");
}

std::vector<int> stopAnswers;
size_t stopPolls = 0;

int ScriptedStop()
{
    int answer = stopAnswers[std::min(stopPolls, stopAnswers.size() - 1)];
    ++stopPolls;
    return answer;
}

std::vector<uint32_t> FrameTimes()
{
    std::vector<uint32_t> times;
    for (const FrameSeen& frame : frames)
        times.push_back(frame.sceneTime);
    return times;
}

class Playback : public ::testing::Test {
protected:
    void SetUp() override
    {
        scriptedTicks.clear();
        tickReads = 0;
        frames.clear();
        events.clear();
        palettes.clear();
        stopAnswers = {0};
        stopPolls = 0;
        sceneTime = 0xDEADBEEF;
        scene = AllocScene();
        // x follows the scene time from 0 to 1000; a camera key reaches 1200
        // and ends the default range.
        mover = build::AddNull(scene, "mover");
        build::AddPositionKey(mover, 0, 0.0f);
        build::AddPositionKey(mover, 1000, 1000.0f);
        build::AddPositionKey(scene->camera, 200, 0.0f);
        build::AddPositionKey(scene->camera, 1200, 0.0f);
    }
    void TearDown() override
    {
        FreeScene(scene);
        mover = nullptr;
    }

    // PlayScene with the fake clock, the recorders and `extra` tags.
    int Play(std::vector<TagItem> extra)
    {
        std::vector<TagItem> tags = {
            {TAG_PLAY_TIMESOURCE, TagPtr(&ScriptedClock)},
            {TAG_PLAY_FRAME, TagPtr(&RecordFrame)},
            {TAG_PLAY_SCENETIME, TagPtr(&sceneTime)},
        };
        tags.insert(tags.end(), extra.begin(), extra.end());
        tags.push_back({TAG_DONE, 0});
        return PlayScene(scene, tags.data());
    }

    Scene* scene = nullptr;
};

TEST_F(Playback, ForwardRunsFromTheFirstKeyToTheLastAndDrawsTheEndExactly)
{
    scriptedTicks = {5000, 5100, 5350, 6199, 6300};
    ASSERT_EQ(Play({}), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{0, 100, 350, 1199, 1200}));
    EXPECT_EQ(frames[2].position, 350.0f);  // evaluated before the callback
    EXPECT_EQ(frames[4].position, 1000.0f);
    EXPECT_EQ(tickReads, 5u);  // once before the first frame, once after each but the last
    EXPECT_EQ(sceneTime, 1200u);
}

TEST_F(Playback, BackwardRunsFromTheLastKeyAndClampsAtZero)
{
    scriptedTicks = {0, 300, 1500};
    ASSERT_EQ(Play({{TAG_PLAY_FORWARD, 0}}), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{1200, 900, 0}));
    EXPECT_EQ(frames[1].position, 900.0f);
    EXPECT_EQ(frames[2].position, 0.0f);
}

TEST_F(Playback, BackwardClampedAtZeroGoesOnWhileTheEndLiesAbove)
{
    scriptedTicks = {0, 600, 900};
    ASSERT_EQ(Play({{TAG_PLAY_FORWARD, 0}, {TAG_PLAY_START, 500}, {TAG_PLAY_END, 0}}), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{500, 0}));
}

TEST_F(Playback, StartEqualToEndOrBeyondItDrawsOneFrameAtTheEnd)
{
    scriptedTicks = {77};
    ASSERT_EQ(Play({{TAG_PLAY_START, 500}, {TAG_PLAY_END, 500}}), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{500}));
    EXPECT_EQ(tickReads, 1u);

    frames.clear();
    tickReads = 0;
    ASSERT_EQ(Play({{TAG_PLAY_START, 800}, {TAG_PLAY_END, 200}}), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{200}));
    EXPECT_EQ(frames[0].position, 200.0f);
}

TEST_F(Playback, StopPollStopsOnlyOnOne)
{
    scriptedTicks = {0, 10, 20, 30, 40};
    stopAnswers = {2, 2, 1};
    ASSERT_EQ(Play({{TAG_PLAY_STOP, TagPtr(&ScriptedStop)}}), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{0, 10, 20}));
    EXPECT_EQ(stopPolls, 3u);
}

TEST_F(Playback, MissingRequiredTagsFailBeforeAnythingIsWritten)
{
    const TagItem noClock[] = {{TAG_PLAY_FRAME, TagPtr(&RecordFrame)}, {TAG_PLAY_SCENETIME, TagPtr(&sceneTime)}, {TAG_DONE, 0}};
    EXPECT_EQ(PlayScene(scene, noClock), -1);
    const TagItem noFrame[] = {{TAG_PLAY_TIMESOURCE, TagPtr(&ScriptedClock)}, {TAG_PLAY_SCENETIME, TagPtr(&sceneTime)}, {TAG_DONE, 0}};
    EXPECT_EQ(PlayScene(scene, noFrame), -1);
    EXPECT_EQ(sceneTime, 0xDEADBEEFu);
    EXPECT_EQ(tickReads, 0u);
}

TEST_F(Playback, NullClockWritesTheStartAndReturnsAtOnce)
{
    const TagItem tags[] = {
        {TAG_PLAY_TIMESOURCE, 0},
        {TAG_PLAY_FRAME, TagPtr(&RecordFrame)},
        {TAG_PLAY_SCENETIME, TagPtr(&sceneTime)},
        {TAG_PLAY_START, 300},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(PlayScene(scene, tags), 0);
    EXPECT_EQ(sceneTime, 300u);
    EXPECT_TRUE(frames.empty());
}

TEST_F(Playback, NullFrameCallbackEndsAfterTheFirstEvaluation)
{
    scriptedTicks = {0};
    const TagItem tags[] = {
        {TAG_PLAY_TIMESOURCE, TagPtr(&ScriptedClock)},
        {TAG_PLAY_FRAME, 0},
        {TAG_PLAY_START, 250},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(PlayScene(scene, tags), 0);
    EXPECT_EQ(mover->position[0], 250.0f);
    EXPECT_TRUE(frames.empty());
}

TEST_F(Playback, DefaultRangeIgnoresMorphAndLightKeys)
{
    LightEntity* light = build::AddLight(scene, "l");
    build::AddLightKey(light, 0, 0.0f);
    build::AddLightKey(light, 50000, 1.0f);
    MorphEntity* morph = build::AddMorph(scene, "m", 1, {});
    MorphTarget* target = build::AddTarget(morph, "t", {{0, 0, 0}});
    build::AddMorphKey(morph, 90000, target);
    scriptedTicks = {0, 5000};
    ASSERT_EQ(Play({}), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{0, 1200}));
}

TEST_F(Playback, SceneWithoutKeysPlaysOneFrameAtZero)
{
    Scene* empty = AllocScene();
    scriptedTicks = {0, 5000};
    const TagItem tags[] = {
        {TAG_PLAY_TIMESOURCE, TagPtr(&ScriptedClock)},
        {TAG_PLAY_FRAME, TagPtr(&RecordFrame)},
        {TAG_PLAY_SCENETIME, TagPtr(&sceneTime)},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(PlayScene(empty, tags), 0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{0}));
    FreeScene(empty);
}

// Two colour tables whose components differ irregularly, both ways.
class PaletteTrack : public Playback {
protected:
    void SetUp() override
    {
        Playback::SetUp();
        std::vector<uint32_t> coloursA;
        std::vector<uint32_t> coloursB;
        for (uint32_t i = 0; i < 256; ++i) {
            coloursA.push_back(((i * 21) & 0xFF) << 16 | ((i * 21 + 7) & 0xFF) << 8 | ((i * 21 + 14) & 0xFF));
            coloursB.push_back(((i * 39 + 5) & 0xFF) << 16 | ((i * 39 + 18) & 0xFF) << 8 | ((i * 39 + 31) & 0xFF));
        }
        wordsA = build::PaletteWords(coloursA);
        wordsB = build::PaletteWords(coloursB);
        wordsA.back() = 0xAAAA0000;
        wordsB.back() = 0xBBBB0000;
        tableA = build::MakeColourTable(wordsA);
        tableB = build::MakeColourTable(wordsB);
        ASSERT_NE(tableA, nullptr);
        ASSERT_NE(tableB, nullptr);
    }
    void TearDown() override
    {
        DeleteColourTable(tableA);
        DeleteColourTable(tableB);
        Playback::TearDown();
    }

    std::vector<uint32_t> wordsA, wordsB;
    ColourTable* tableA = nullptr;
    ColourTable* tableB = nullptr;
};

TEST_F(PaletteTrack, FadesBetweenTablesAndRepeatsTheLastPaletteEveryFrame)
{
    PaletteKey second = {nullptr, 1000, tableB, PALETTEKEY_FADE};
    PaletteKey first = {&second, 0, tableA, 0};
    scriptedTicks = {0, 250, 1000, 1100, 1200};
    ASSERT_EQ(Play({{TAG_PLAY_PALETTEKEYS, TagPtr(&first)}, {TAG_PLAY_PALETTE, TagPtr(&RecordPalette)}}), 0);

    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{0, 250, 1000, 1100, 1200}));
    std::vector<std::string> expectedEvents;
    for (int i = 0; i < 5; ++i) {
        expectedEvents.push_back("palette");  // the palette of a frame comes before the frame
        expectedEvents.push_back("frame");
    }
    EXPECT_EQ(events, expectedEvents);
    ASSERT_EQ(palettes.size(), 5u);

    EXPECT_EQ(palettes[0], wordsA);
    // f = 0.25: trunc(0.25 × (B − A)) + A in the top byte; head and end words
    // stay those of the palette shown before.
    const std::vector<uint32_t>& fade = palettes[1];
    EXPECT_EQ(fade[0], wordsA[0]);
    EXPECT_EQ(fade[769], 0xAAAA0000u);
    EXPECT_EQ(fade[1], 0x01000000u);    // A 0, B 5: 1.25 → 1
    EXPECT_EQ(fade[2], 0x09000000u);    // A 7, B 18: 2.75 → 2, plus 7
    EXPECT_EQ(fade[3], 0x12000000u);    // A 14, B 31: 4.25 → 4, plus 14
    EXPECT_EQ(fade[21], 0x6C000000u);   // A 140, B 9: −32.75 → −32 (toward zero), plus 140
    EXPECT_EQ(fade[22], 0x74000000u);   // A 147, B 22: −31.25 → −31, plus 147
    for (uint32_t i = 0; i < 768; ++i) {
        int32_t a = int32_t(wordsA[1 + i] >> 24);
        int32_t b = int32_t(wordsB[1 + i] >> 24);
        EXPECT_EQ(fade[1 + i], uint32_t(int32_t(0.25 * (b - a)) + a) << 24) << "component " << i;
    }
    EXPECT_EQ(palettes[2], wordsB);
    EXPECT_EQ(palettes[3], wordsB);
    EXPECT_EQ(palettes[4], wordsB);
    EXPECT_EQ(second.flags, PALETTEKEY_FADE | PALETTEKEY_OWED);
}

TEST_F(PaletteTrack, AnOwedPaletteIsShownOnceAfterTheFadeAndThenNothingChanges)
{
    PaletteKey third = {nullptr, 2000, tableA, 0};
    PaletteKey second = {&third, 1000, tableB, PALETTEKEY_FADE};
    PaletteKey first = {&second, 0, tableA, 0};
    scriptedTicks = {0, 700, 1000, 1200};
    ASSERT_EQ(Play({{TAG_PLAY_START, 500},
                    {TAG_PLAY_END, 1700},
                    {TAG_PLAY_PALETTEKEYS, TagPtr(&first)},
                    {TAG_PLAY_PALETTE, TagPtr(&RecordPalette)}}),
              0);
    EXPECT_EQ(FrameTimes(), (std::vector<uint32_t>{500, 1200, 1500, 1700}));
    // The fade at 500, then at 1200 (past the second key, which the frames
    // skipped) its exact palette once; 1500 and 1700 change nothing.
    ASSERT_EQ(palettes.size(), 2u);
    EXPECT_EQ(palettes[1], wordsB);
    EXPECT_EQ(second.flags, PALETTEKEY_FADE);
}

TEST_F(PaletteTrack, PaletteChangeWithoutPaletteCallbackEndsPlayback)
{
    PaletteKey only = {nullptr, 0, tableA, 0};
    scriptedTicks = {0, 100};
    ASSERT_EQ(Play({{TAG_PLAY_PALETTEKEYS, TagPtr(&only)}}), 0);
    EXPECT_TRUE(frames.empty());
    scriptedTicks = {0, 5000};
    tickReads = 0;
    ASSERT_EQ(Play({{TAG_PLAY_PALETTEKEYS, 0}}), 0);  // a null head is no palette track
    EXPECT_FALSE(frames.empty());
}

}  // namespace
