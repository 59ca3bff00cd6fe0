// The span kernels' two ways to the same pixels: the AVX2 loops that draw
// eight pixels at a time against the one-pixel loops, on random triangles
// for every member that has both; and the fog level's and w's repeated
// float additions taken through their bit patterns against one addition at
// a time.
#include "raster/raster_support.h"
#include "render/spans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using namespace raster_test;

struct PathCase {
    uint32_t flags;
    uint32_t m1;
    uint32_t m2;
    bool fog;
    bool transparencyMap = false;
    uint32_t correction = 4;  // perspective pieces of 2^correction pixels
};

// Every member with lanes: flat, texture, environment, perspective and
// shaded rows, each filter, with and without fog, the transparent ones by
// alpha and by a transparency map, perspective pieces longer and shorter
// than a group.
const PathCase PATH_CASES[] = {
    {1, 0, 0, false},        {2, 0, 0, false},        {2, 1, 0, false},  {2, 2, 0, false},  {2, 3, 0, false},
    {3, 0, 0, false},        {4, 0, 0, false},        {4, 0, 1, false},  {5, 0, 0, false},  {18, 0, 0, false},
    {18, 1, 0, false},       {18, 3, 0, false},       {19, 0, 0, false}, {32, 0, 0, false}, {34, 0, 0, false},
    {50, 0, 0, false},       {0, 0, 0, true},         {2, 0, 0, true},   {2, 1, 0, true},   {18, 0, 0, true},
    {18, 1, 0, true},        {18, 3, 0, true},        {1, 0, 0, false, true},
    {3, 0, 0, false, true},  {5, 0, 0, false, true},  {19, 0, 0, false, true},
    {18, 0, 0, false, false, 0}, {18, 1, 0, false, false, 1}, {18, 3, 0, true, false, 0},
    {18, 1, 0, true, false, 2},  {19, 0, 0, false, true, 2},  {19, 0, 0, false, false, 1},
    {50, 0, 0, false, false, 0},
};

constexpr int PATH_TRIANGLES = 400;

std::vector<uint16_t> DrawWith(bool vectors, const PathCase& c, const ObjectEntity& object, uint32_t seed)
{
    TestFrame frame;
    std::mt19937 random(seed);
    for (size_t i = 0; i < frame.Size(); ++i)
        frame.Pixels()[i] = uint16_t(random() & 0x7FFF);
    SetUpFrame(frame.Pixels());
    if (c.fog) {
        Frame.fogIndexBase = 64;
        Frame.fogStart = 20.0f;
        Frame.fogEnd = 80.0f;
        Frame.fogStartLevel = 30.0f;
        Frame.fogEndLevel = 250.0f;
        Frame.fogColour = 0x00C08040;
    }
    const bool saved = SpanVectors;
    SpanVectors = vectors;
    TriangleSource source(seed);
    for (int i = 0; i < PATH_TRIANGLES; ++i) {
        const CornerSet corners = source.Next();
        Triangle triangle(corners[0], corners[1], corners[2], &object);
        DrawTriangle(&triangle.ref);
    }
    SpanVectors = saved;
    EXPECT_TRUE(frame.GuardsIntact());
    return frame.Copy();
}

TEST(SpanPaths, LanesDrawWhatOnePixelAtATimeDraws)
{
    if (!__builtin_cpu_supports("avx2"))
        GTEST_SKIP() << "no AVX2 on this processor";
    const TexturePtr texture = MakeTexture(6, 5, 21);
    const TexturePtr environment = MakeTexture(8, 8, 22);
    const TexturePtr transparency = MakeTexture(5, 6, 23);
    for (const PathCase& c : PATH_CASES) {
        SCOPED_TRACE("flags " + std::to_string(c.flags) + " m1 " + std::to_string(c.m1) + " m2 " +
                     std::to_string(c.m2) + (c.fog ? " fog" : "") + (c.transparencyMap ? " map" : "") +
                     " correction " + std::to_string(c.correction));
        ObjectPtr object = MakeObject(c.flags, 0x90C08040);
        object->textureMap = texture.get();
        object->environmentMap = environment.get();
        object->transparencyMap = c.transparencyMap ? transparency.get() : nullptr;
        object->material[1] = c.m1;
        object->material[2] = c.m2;
        object->correctionValue = c.correction;
        const uint32_t seed = c.flags * 29 + c.m1 * 5 + c.m2 * 3 + c.fog + c.transparencyMap * 7 + c.correction * 11;
        EXPECT_EQ(DrawWith(true, c, *object, seed), DrawWith(false, c, *object, seed));
    }
}

struct StepCase {
    float x;
    float step;
};

// Units of the binade of 1 and of 2.
const float ONE_UNIT = std::ldexp(1.0f, -23);
const float TWO_UNIT = std::ldexp(1.0f, -22);

// Sums that leave the binade on either side, halfway steps, steps below a
// unit, zero, subnormals, negatives, and steps that are not numbers.
const StepCase STEP_CASES[] = {
    {1.0f + 2 * ONE_UNIT, -1.375f * ONE_UNIT},
    {1.0f + ONE_UNIT, -0.75f * ONE_UNIT},
    {2.0f - 2 * ONE_UNIT, 1.75f * ONE_UNIT},
    {2.0f - 2 * ONE_UNIT, 1.25f * ONE_UNIT},
    {1.0f + ONE_UNIT, 0.5f * ONE_UNIT},
    {1.0f + ONE_UNIT, 1.5f * ONE_UNIT},
    {2.0f + TWO_UNIT, -0.5f * TWO_UNIT},
    {1.0f, 0.3f * ONE_UNIT},
    {1.0f, -0.3f * ONE_UNIT},
    {0.5f, -1e-12f},
    {30.0f, 0.4f},
    {250.0f, -0.4f},
    {0.1f, -1e-4f},
    {-3.0f, 0.001f},
    {-3.0f, -0.001f},
    {0.02f, 1e-4f},
    {1.5f, 0.0f},
    {1e-38f, 1e-40f},
    {1e-45f, 1e-45f},
    {3e38f, 1e37f},
    {1.0f, 4.0f},
    {1.0f, std::numeric_limits<float>::infinity()},
    {1.0f, std::numeric_limits<float>::quiet_NaN()},
};

TEST(SpanPaths, FloatStepsAddAsOneAdditionAtATime)
{
    for (const StepCase& c : STEP_CASES) {
        for (int64_t n : {1, 2, 7, 16, 300}) {
            SCOPED_TRACE("x " + std::to_string(c.x) + " step " + std::to_string(c.step) + " n " +
                         std::to_string(n));
            std::vector<uint32_t> sums{BitsOfFloat(c.x)};
            float x = c.x;
            for (int64_t i = 0; i < n; ++i) {
                x += c.step;
                sums.push_back(BitsOfFloat(x));
            }
            FloatSteps steps(c.step);
            EXPECT_EQ(BitsOfFloat(steps.Advance(c.x, n)), sums.back());
            if (steps.Whole(BitsOfFloat(c.x), n)) {
                for (int64_t i = 0; i <= n; ++i)
                    EXPECT_EQ(BitsOfFloat(c.x) + uint32_t(i) * steps.Increment(), sums[size_t(i)]) << "after " << i;
            }
        }
    }
}

}  // namespace
