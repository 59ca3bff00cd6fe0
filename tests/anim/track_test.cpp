#include "anim/anim.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using build::LINEAR;
using build::HOLD;
using build::SPLINE;

class Tracks : public ::testing::Test {
protected:
    void SetUp() override { scene = AllocScene(); }
    void TearDown() override { FreeScene(scene); }
    Scene* scene = nullptr;
};

TEST_F(Tracks, IntervalIsTheKeyAtOrBeforeTAndTheFractionToTheNext)
{
    float f = -1.0f;
    EXPECT_EQ(FindKeyInterval(nullptr, 10, &f), nullptr);
    EXPECT_EQ(f, 0.0f);
    KeyList empty = {};
    f = -1.0f;
    EXPECT_EQ(FindKeyInterval(&empty, 10, &f), nullptr);
    EXPECT_EQ(f, 0.0f);

    LightEntity* light = build::AddLight(scene, "l");
    LightKey* k100 = build::AddLightKey(light, 100, 1.0f);
    LightKey* k400 = build::AddLightKey(light, 400, 2.0f);
    EXPECT_EQ(FindKeyInterval(&light->keys2, 50, &f), k100);  // before the first key
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(FindKeyInterval(&light->keys2, 100, &f), k100);  // on a key
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(FindKeyInterval(&light->keys2, 175, &f), k100);
    EXPECT_EQ(f, 0.25f);
    EXPECT_EQ(FindKeyInterval(&light->keys2, 400, &f), k400);  // at the last key
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(FindKeyInterval(&light->keys2, 9000, &f), k400);  // after it
    EXPECT_EQ(f, 0.0f);
}

TEST_F(Tracks, FractionUsesTheFullUnsignedTickRange)
{
    LightEntity* light = build::AddLight(scene, "l");
    build::AddLightKey(light, 0, 0.0f);
    build::AddLightKey(light, 0xFFFFFFFF, 1.0f);
    float f;
    FindKeyInterval(&light->keys2, 0x80000000, &f);
    EXPECT_EQ(f, 0.5f);
    FindKeyInterval(&light->keys2, 0xC0000000, &f);
    EXPECT_EQ(f, 0.75f);
}

TEST_F(Tracks, LinearHoldAndEndpointRules)
{
    LightEntity* light = build::AddLight(scene, "l");
    LightKey* a = build::AddLightKey(light, 0, 10.0f);
    build::AddLightKey(light, 100, 30.0f, LINEAR);
    build::AddLightKey(light, 200, 50.0f, HOLD);

    float value = -1.0f;
    EvaluateKey(a, 0.25f, &value);
    EXPECT_EQ(value, 15.0f);
    EvaluateKey(a, 0.0f, &value);
    EXPECT_EQ(value, 10.0f);
    EvaluateKey(a, 1.0f, &value);  // a fraction of 1 or more gives the later key
    EXPECT_EQ(value, 30.0f);
    value = -1.0f;
    EvaluateKey(static_cast<LightKey*>(nullptr), 0.5f, &value);
    EXPECT_EQ(value, -1.0f);

    const std::vector<std::pair<uint32_t, float>> expected = {
        {0, 10.0f}, {50, 20.0f}, {100, 30.0f},  // linear into the second key
        {150, 30.0f}, {199, 30.0f},             // the third key holds the second's value
        {200, 50.0f}, {5000, 50.0f},            // ... until its own time, then stays
    };
    for (auto [t, v] : expected) {
        EvaluateLight(light, t);
        EXPECT_EQ(light->lightValue1, v) << "t = " << t;
    }
}

// Kochanek–Bartels in its textbook form, in double precision: tangents
// from the neighbours with the time adjustment 2Δ / (Δ + Δneighbour), a
// missing neighbour mirrored at the same spacing, then the Hermite matrix.
struct TcbKey {
    double time, value, tension, continuity, bias;
};

double ReferenceSpline(const TcbKey* p, const TcbKey& a, const TcbKey& b, const TcbKey* q, double s)
{
    double span = b.time - a.time;
    double before = p ? a.value - p->value : b.value - a.value;
    double beforeSpan = p ? a.time - p->time : span;
    double after = q ? q->value - b.value : b.value - a.value;
    double afterSpan = q ? q->time - b.time : span;
    double change = b.value - a.value;

    double outgoing = ((1 - a.tension) * (1 + a.continuity) * (1 + a.bias) / 2 * before +
                       (1 - a.tension) * (1 - a.continuity) * (1 - a.bias) / 2 * change) *
                      (2 * span / (beforeSpan + span));
    double incoming = ((1 - b.tension) * (1 - b.continuity) * (1 + b.bias) / 2 * change +
                       (1 - b.tension) * (1 + b.continuity) * (1 - b.bias) / 2 * after) *
                      (2 * span / (span + afterSpan));

    const double hermite[4][4] = {{2, -2, 1, 1}, {-3, 3, -2, -1}, {0, 0, 1, 0}, {1, 0, 0, 0}};
    const double powers[4] = {s * s * s, s * s, s, 1};
    const double points[4] = {a.value, b.value, outgoing, incoming};
    double result = 0;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column)
            result += powers[row] * hermite[row][column] * points[column];
    }
    return result;
}

LightKey* AddTcb(LightEntity* light, const TcbKey& key, uint32_t flags)
{
    return build::AddLightKey(light, uint32_t(key.time), float(key.value), flags, float(key.tension),
                              float(key.continuity), float(key.bias));
}

TEST_F(Tracks, SplineMatchesTheHermiteBlendOfTensionContinuityAndBias)
{
    const TcbKey p = {0, 1.0, 0.1, 0.0, -0.3};
    const TcbKey a = {100, 4.0, 0.3, -0.2, 0.5};
    const TcbKey b = {400, -2.0, -0.4, 0.6, -0.1};
    const TcbKey q = {500, 7.0, 0.0, 0.25, 0.0};
    const double fractions[] = {0.1, 0.3, 0.5, 0.77, 0.95};

    struct Case {
        bool withP, withQ;
    };
    for (Case c : {Case{true, true}, Case{true, false}, Case{false, true}, Case{false, false}}) {
        LightEntity* light = build::AddLight(scene, "l");
        if (c.withP)
            AddTcb(light, p, LINEAR);
        LightKey* keyA = AddTcb(light, a, LINEAR);
        AddTcb(light, b, SPLINE);
        if (c.withQ)
            AddTcb(light, q, LINEAR);
        for (double s : fractions) {
            float value;
            EvaluateKey(keyA, float(s), &value);
            double expected = ReferenceSpline(c.withP ? &p : nullptr, a, b, c.withQ ? &q : nullptr, float(s));
            EXPECT_NEAR(value, expected, 1e-5) << "p " << c.withP << " q " << c.withQ << " s " << s;
        }
    }
}

TEST_F(Tracks, SplineWithZeroParametersAndNoNeighboursIsLinear)
{
    LightEntity* light = build::AddLight(scene, "l");
    LightKey* a = build::AddLightKey(light, 0, 2.0f);
    build::AddLightKey(light, 800, 10.0f, SPLINE);
    for (float s : {0.125f, 0.25f, 0.5f, 0.75f}) {  // exact in binary: the results are exact too
        float value;
        EvaluateKey(a, s, &value);
        EXPECT_EQ(value, 2.0f + 8.0f * s) << "s " << s;
    }
    float value;
    EvaluateKey(a, 1.0f / 3.0f, &value);
    EXPECT_FLOAT_EQ(value, 2.0f + 8.0f / 3.0f);
}

TEST_F(Tracks, EntityTakesAllNineValuesAndVisibilityFromTheKeyAtOrBeforeT)
{
    Entity* entity = build::AddNull(scene, "e");
    build::AddMotionKey(entity, 100, {{1, 2, 3}, {10, 20, 30}, {1, 1, 1}}, LINEAR | KEY_HIDDEN);
    build::AddMotionKey(entity, 200, {{3, 6, 9}, {30, 60, 90}, {3, 5, 7}}, LINEAR);
    build::AddMotionKey(entity, 300, {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, LINEAR | KEY_HIDDEN);

    EvaluateEntity(entity, 0);  // before the first key: its values and its hidden bit
    EXPECT_EQ(entity->position[2], 3.0f);
    EXPECT_EQ(entity->entityFlags & ENTITY_DRAWN, 0u);

    EvaluateEntity(entity, 150);
    const float expected[9] = {2, 4, 6, 20, 40, 60, 2, 3, 4};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(entity->position[i], expected[i]);
        EXPECT_EQ(entity->rotation[i], expected[3 + i]);
        EXPECT_EQ(entity->size[i], expected[6 + i]);
    }
    EXPECT_EQ(entity->entityFlags & ENTITY_DRAWN, 0u);  // still the hidden key's interval

    EvaluateEntity(entity, 200);
    EXPECT_EQ(entity->entityFlags & ENTITY_DRAWN, ENTITY_DRAWN);
    EvaluateEntity(entity, 299);
    EXPECT_EQ(entity->entityFlags & ENTITY_DRAWN, ENTITY_DRAWN);
    EvaluateEntity(entity, 300);
    EXPECT_EQ(entity->entityFlags & ENTITY_DRAWN, 0u);

    Entity* still = build::AddNull(scene, "still");
    still->position[0] = 4.0f;
    EvaluateEntity(still, 150);  // no keys: untouched
    EXPECT_EQ(still->position[0], 4.0f);
    EXPECT_EQ(still->entityFlags, ENTITY_DRAWN);
}

TEST_F(Tracks, MorphCopiesAShapeOnlyWhenItsKeyChangesAndBlendsLinearIntervals)
{
    MorphEntity* morph = build::AddMorph(scene, "m", 2, {});
    MorphTarget* low = build::AddTarget(morph, "low", {{0, 0, 0}, {2, 0, 0}});
    MorphTarget* high = build::AddTarget(morph, "high", {{0, 4, 0}, {2, 8, 0}});
    low->targetVertices[1].normal[2] = -127.0f;
    high->targetVertices[1].normal[2] = 127.0f;
    build::AddMorphKey(morph, 0, low);
    build::AddMorphKey(morph, 100, high, LINEAR);
    build::AddMorphKey(morph, 200, low, SPLINE);
    build::AddMorphKey(morph, 300, high, HOLD);

    EvaluateMorph(morph, 0);
    EXPECT_EQ(morph->currentTarget, low);
    EXPECT_EQ(morph->vertices[1].position[0], 2.0f);
    morph->vertices[1].position[0] = 99.0f;
    EvaluateMorph(morph, 0);  // same target: nothing copied
    EXPECT_EQ(morph->vertices[1].position[0], 99.0f);

    EvaluateMorph(morph, 25);
    EXPECT_EQ(morph->currentTarget, nullptr);
    EXPECT_EQ(morph->vertices[1].position[0], 2.0f);
    EXPECT_EQ(morph->vertices[1].position[1], 2.0f);
    EXPECT_EQ(morph->vertices[0].position[1], 1.0f);
    EXPECT_EQ(morph->vertices[1].normal[2], -63.5f);

    EvaluateMorph(morph, 100);
    EXPECT_EQ(morph->currentTarget, high);
    EXPECT_EQ(morph->vertices[1].position[1], 8.0f);

    EvaluateMorph(morph, 150);  // spline interval: the shape stays as it was
    EXPECT_EQ(morph->currentTarget, high);
    EXPECT_EQ(morph->vertices[1].position[1], 8.0f);

    EvaluateMorph(morph, 250);  // hold interval: the earlier key's shape
    EXPECT_EQ(morph->currentTarget, low);
    EvaluateMorph(morph, 300);
    EXPECT_EQ(morph->currentTarget, high);
    EXPECT_EQ(morph->vertices[1].normal[2], 127.0f);
}

TEST_F(Tracks, SceneEvaluatesEveryTrackAndTheCamera)
{
    Entity* mover = build::AddNull(scene, "mover");
    build::AddPositionKey(mover, 0, 0.0f);
    build::AddPositionKey(mover, 100, 10.0f);
    LightEntity* lit = build::AddLight(scene, "lit");
    build::AddLightKey(lit, 0, 0.0f);
    build::AddLightKey(lit, 100, 1.0f);
    LightEntity* constant = build::AddLight(scene, "constant");
    constant->lightValue1 = 0.75f;
    MorphEntity* morph = build::AddMorph(scene, "m", 1, {});
    MorphTarget* target = build::AddTarget(morph, "t", {{5, 5, 5}});
    build::AddMorphKey(morph, 0, target);
    build::AddPositionKey(scene->camera, 0, -100.0f);
    build::AddPositionKey(scene->camera, 100, -50.0f);

    EvaluateScene(scene, 50);
    EXPECT_EQ(mover->position[0], 5.0f);
    EXPECT_EQ(lit->lightValue1, 0.5f);
    EXPECT_EQ(constant->lightValue1, 0.75f);
    EXPECT_EQ(morph->currentTarget, target);
    EXPECT_EQ(morph->vertices[0].position[0], 5.0f);
    EXPECT_EQ(scene->camera->position[0], -75.0f);
    EvaluateScene(nullptr, 50);
}

}  // namespace
