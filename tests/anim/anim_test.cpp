#include "anim/anim.h"
#include "colour/palette_data.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace kvor3d;

namespace {

using build::HOLD;
using build::LINEAR;
using build::SPLINE;

class Tracks : public ::testing::Test {
protected:
    void SetUp() override { scene = AllocScene(); }
    void TearDown() override { FreeScene(scene); }
    Scene* scene = nullptr;
};

// The interval is the key at or before t (the first key before it) and the
// fraction to the next; a key without the interpolation bit holds the value
// before it until its own time.
TEST_F(Tracks, IntervalFractionLinearAndHoldRules)
{
    LightEntity* light = build::AddLight(scene, "l");
    LightKey* k100 = build::AddLightKey(light, 100, 10.0f);
    LightKey* k400 = build::AddLightKey(light, 400, 40.0f, LINEAR);
    LightKey* k500 = build::AddLightKey(light, 500, 50.0f, HOLD);
    struct Case {
        uint32_t t;
        Key* key;
        float fraction, value;
    } cases[] = {{50, k100, 0, 10},     {100, k100, 0, 10},   {175, k100, 0.25f, 17.5f},
                 {399, k100, float(299.0 / 300), 10 + 30 * float(299.0 / 300)}, {400, k400, 0, 40},
                 {450, k400, 0.5f, 40}, {500, k500, 0, 50},  {9000, k500, 0, 50}};
    for (const Case& c : cases) {
        float f = -1.0f;
        EXPECT_EQ(FindKeyInterval(&light->keys2, c.t, &f), c.key) << c.t;
        EXPECT_EQ(f, c.fraction) << c.t;
        EvaluateLight(light, c.t);
        EXPECT_EQ(light->lightValue1, c.value) << c.t;
    }
}

// Kochanek–Bartels in its textbook form, in double precision: tangents from
// the neighbours with the time adjustment 2Δ / (Δ + Δneighbour), a missing
// neighbour mirrored at the same spacing, then the Hermite basis.
struct TcbKey {
    double time, value, tension, continuity, bias;
};

double ReferenceSpline(const TcbKey* p, const TcbKey& a, const TcbKey& b, const TcbKey* q, double s)
{
    const double span = b.time - a.time;
    const double change = b.value - a.value;
    const double before = p ? a.value - p->value : change;
    const double beforeSpan = p ? a.time - p->time : span;
    const double after = q ? q->value - b.value : change;
    const double afterSpan = q ? q->time - b.time : span;
    const double outgoing = ((1 - a.tension) * (1 + a.continuity) * (1 + a.bias) / 2 * before +
                             (1 - a.tension) * (1 - a.continuity) * (1 - a.bias) / 2 * change) *
                            (2 * span / (beforeSpan + span));
    const double incoming = ((1 - b.tension) * (1 - b.continuity) * (1 + b.bias) / 2 * change +
                             (1 - b.tension) * (1 + b.continuity) * (1 - b.bias) / 2 * after) *
                            (2 * span / (span + afterSpan));
    const double s2 = s * s, s3 = s2 * s;
    return (2 * s3 - 3 * s2 + 1) * a.value + (3 * s2 - 2 * s3) * b.value + (s3 - 2 * s2 + s) * outgoing +
           (s3 - s2) * incoming;
}

// Both tangents are far from 0 when both neighbours are there, so a time
// ratio taken over the wrong interval on either side shows.
TEST_F(Tracks, SplineMatchesTheHermiteBlendOfTensionContinuityAndBias)
{
    const TcbKey p = {0, 1.0, 0.1, 0.0, -0.3};
    const TcbKey a = {100, 4.0, 0.3, -0.2, 0.2};
    const TcbKey b = {400, -2.0, -0.4, 0.6, -0.1};
    const TcbKey q = {500, 7.0, 0.0, 0.25, 0.0};
    for (int neighbours = 0; neighbours < 4; ++neighbours) {
        const bool withP = neighbours & 1, withQ = neighbours & 2;
        LightEntity* light = build::AddLight(scene, "l");
        auto add = [light](const TcbKey& k, uint32_t flags) {
            return build::AddLightKey(light, uint32_t(k.time), float(k.value), flags, float(k.tension),
                                      float(k.continuity), float(k.bias));
        };
        if (withP)
            add(p, LINEAR);
        LightKey* keyA = add(a, LINEAR);
        add(b, SPLINE);
        if (withQ)
            add(q, LINEAR);
        for (double s : {0.1, 0.3, 0.5, 0.77, 0.95}) {
            float value;
            EvaluateKey(keyA, float(s), &value);
            EXPECT_NEAR(value, ReferenceSpline(withP ? &p : nullptr, a, b, withQ ? &q : nullptr, float(s)), 1e-5)
                << "p " << withP << " q " << withQ << " s " << s;
        }
    }
}

// The fake clock returns the scripted ticks in turn (the last repeats); the
// stop poll answers in turn too.
std::vector<uint32_t> ticks;
size_t tickReads;
std::vector<int> stops;
size_t stopPolls;
uint32_t sceneTime;
std::vector<uint32_t> frameTimes;
std::vector<std::vector<uint32_t>> palettes;

uint32_t Clock()
{
    return ticks[std::min(tickReads++, ticks.size() - 1)];
}

int Stop()
{
    return stops[std::min(stopPolls++, stops.size() - 1)];
}

void Frame(Scene*)
{
    frameTimes.push_back(sceneTime);
}

void Palette(PaletteRecord* record)
{
    palettes.emplace_back(record->palette, record->palette + PALETTE_FILE_WORDS);
}

int Play(Scene* scene, std::vector<uint32_t> script, std::vector<int> stopAnswers, std::vector<TagItem> extra)
{
    ticks = std::move(script);
    stops = std::move(stopAnswers);
    tickReads = stopPolls = 0;
    frameTimes.clear();
    palettes.clear();
    std::vector<TagItem> tags = std::move(extra);
    tags.insert(tags.end(), {{TAG_PLAY_TIMESOURCE, TagPtr(&Clock)},
                             {TAG_PLAY_FRAME, TagPtr(&Frame)},
                             {TAG_PLAY_SCENETIME, TagPtr(&sceneTime)},
                             {TAG_PLAY_STOP, TagPtr(&Stop)},
                             {TAG_DONE, 0}});
    return PlayScene(scene, tags.data());
}

// The default range runs over the motion keys of the entities and the camera;
// forward time saturates at the largest tick instead of wrapping.
TEST_F(Tracks, PlaybackFollowsTheClockFromStartToEndEitherWay)
{
    Entity* mover = build::AddNull(scene, "mover");
    build::AddPositionKey(mover, 0, 0.0f);
    build::AddPositionKey(mover, 1000, 1000.0f);
    build::AddPositionKey(scene->camera, 1200, 0.0f);
    ASSERT_EQ(Play(scene, {5000, 5100, 5350, 6199, 6300}, {0}, {}), 0);
    EXPECT_EQ(frameTimes, (std::vector<uint32_t>{0, 100, 350, 1199, 1200}));
    EXPECT_EQ(mover->position[0], 1000.0f);
    ASSERT_EQ(Play(scene, {0, 300, 1500}, {0}, {{TAG_PLAY_FORWARD, 0}}), 0);
    EXPECT_EQ(frameTimes, (std::vector<uint32_t>{1200, 900, 0}));
    ASSERT_EQ(Play(scene, {0, 0x200}, {0, 1}, {{TAG_PLAY_START, 0xFFFFFF00u}, {TAG_PLAY_END, 0xFFFFFFFFu}}), 0);
    EXPECT_EQ(frameTimes, (std::vector<uint32_t>{0xFFFFFF00u, 0xFFFFFFFFu}));
}

// f = 0.25 between two tables: trunc(0.25 × (next − previous)) + previous in
// the top byte of each component word; the exact palette follows the fade.
TEST_F(Tracks, PaletteTrackFadesBetweenTables)
{
    std::vector<uint32_t> coloursA, coloursB;
    for (uint32_t i = 0; i < 256; ++i) {
        coloursA.push_back(((i * 21) & 0xFF) << 16 | ((i * 21 + 7) & 0xFF) << 8 | ((i * 21 + 14) & 0xFF));
        coloursB.push_back(((i * 39 + 5) & 0xFF) << 16 | ((i * 39 + 18) & 0xFF) << 8 | ((i * 39 + 31) & 0xFF));
    }
    const std::vector<uint32_t> wordsA = build::PaletteWords(coloursA), wordsB = build::PaletteWords(coloursB);
    ColourTable* tableA = MakeTable(wordsA, 0);
    ColourTable* tableB = MakeTable(wordsB, 0);
    PaletteKey second = {nullptr, 1000, tableB, PALETTEKEY_FADE};
    PaletteKey first = {&second, 0, tableA, 0};
    build::AddPositionKey(scene->camera, 0, 0.0f);
    build::AddPositionKey(scene->camera, 1000, 0.0f);
    ASSERT_EQ(Play(scene, {0, 250, 1000}, {0},
                   {{TAG_PLAY_PALETTEKEYS, TagPtr(&first)}, {TAG_PLAY_PALETTE, TagPtr(&Palette)}}),
              0);
    ASSERT_EQ(palettes.size(), 3u);
    EXPECT_EQ(palettes[0], wordsA);
    for (uint32_t i = 0; i < 768; ++i) {
        const int32_t a = int32_t(wordsA[1 + i] >> 24), b = int32_t(wordsB[1 + i] >> 24);
        ASSERT_EQ(palettes[1][1 + i], uint32_t(int32_t(0.25 * (b - a)) + a) << 24) << i;
    }
    EXPECT_EQ(palettes[2], wordsB);
    DeleteColourTable(tableA);
    DeleteColourTable(tableB);
}

}  // namespace
