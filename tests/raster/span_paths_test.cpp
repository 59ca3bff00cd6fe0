// The span kernels' two ways to the same pixels: the AVX2 loops that draw
// eight pixels at a time against the one-pixel loops, on random triangles
// for every member that has both; and the fog level's and w's repeated
// float additions taken through their bit patterns against one addition at
// a time; and the sprites' eight pixels at a time against one by one.
#include "raster/raster_support.h"
#include "render/pass.h"
#include "render/spans.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

namespace {

using namespace raster_test;

struct PathCase {
    uint32_t flags, m1, m2;
    bool fog, transparencyMap = false;
    uint32_t correction = 4;  // perspective pieces of 2^correction pixels
};

// Every member with lanes: flat, texture, environment, perspective and
// shaded rows, each filter, with and without fog, the transparent ones by
// alpha and by a transparency map, perspective pieces longer and shorter
// than a group and of one group.
const PathCase PATH_CASES[] = {
    {1, 0, 0, false},        {2, 0, 0, false},        {2, 1, 0, false},  {2, 2, 0, false},  {2, 3, 0, false},
    {3, 0, 0, false},        {4, 0, 0, false},        {4, 0, 1, false},  {5, 0, 0, false},  {18, 0, 0, false},
    {18, 1, 0, false},       {18, 3, 0, false},       {19, 0, 0, false}, {32, 0, 0, false}, {34, 0, 0, false},
    {50, 0, 0, false},       {0, 0, 0, true},         {2, 0, 0, true},   {2, 1, 0, true},   {18, 0, 0, true},
    {18, 1, 0, true},        {18, 3, 0, true},        {1, 0, 0, false, true},
    {3, 0, 0, false, true},  {5, 0, 0, false, true},  {19, 0, 0, false, true},
    {18, 0, 0, false, false, 0}, {18, 1, 0, false, false, 1}, {18, 3, 0, true, false, 0},
    {18, 1, 0, true, false, 2},  {19, 0, 0, false, true, 2},  {19, 0, 0, false, false, 1},
    {50, 0, 0, false, false, 0},  {18, 1, 0, true, false, 3},
};

// 400 random triangles over random pixels, eight at a time or one by one.
std::vector<uint16_t> DrawWith(bool vectors, const PathCase& c, const ObjectEntity& object, uint32_t seed)
{
    TestFrame frame;
    std::mt19937 random(seed);
    for (size_t i = 0; i < frame.Size(); ++i)
        frame.Pixels()[i] = uint16_t(random() & 0x7FFF);
    SetUpFrame(frame.Pixels());
    if (c.fog)
        std::tie(Frame.fogIndexBase, Frame.fogStart, Frame.fogEnd, Frame.fogStartLevel, Frame.fogEndLevel,
                 Frame.fogColour) = std::make_tuple(64, 20.0f, 80.0f, 30.0f, 250.0f, 0x00C08040);
    const bool saved = SpanVectors;
    SpanVectors = vectors;
    TriangleSource source(seed);
    for (int i = 0; i < 400; ++i) {
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
    const TexturePtr texture = MakeTexture(6, 5, 21), environment = MakeTexture(8, 8, 22);
    const TexturePtr transparency = MakeTexture(5, 6, 23);
    for (const PathCase& c : PATH_CASES) {
        const uint32_t seed = uint32_t(&c - PATH_CASES);
        ObjectPtr object = MakeObject(c.flags, 0x90C08040);
        object->textureMap = texture.get();
        object->environmentMap = environment.get();
        object->transparencyMap = c.transparencyMap ? transparency.get() : nullptr;
        object->material[1] = c.m1;
        object->material[2] = c.m2;
        object->correctionValue = c.correction;
        EXPECT_EQ(DrawWith(true, c, *object, seed), DrawWith(false, c, *object, seed)) << "case " << seed;
    }
}

// Sprites scaled up and down, cut by each side of the frame, rows shorter
// and longer than eight pixels, weak and full intensities, transparent
// texels among the others.
TEST(SpanPaths, SpriteLanesAddWhatOnePixelAtATimeAdds)
{
    if (!__builtin_cpu_supports("avx2"))
        GTEST_SKIP() << "no AVX2 on this processor";
    const TexturePtr map = MakeTexture(6, 5, 31, false);
    for (uint32_t i = 0; i < map->width * map->height; i += 7)
        static_cast<uint16_t*>(map->pixels)[i] = 0;
    const struct { int32_t x, y, w, h; uint32_t intensity; } cases[] = {
        {3, 4, 64, 32, 65536}, {-20, -9, 150, 90, 0xFFFFFFFF}, {70, 50, 21, 5, 30000},
        {-3, 60, 7, 40, 1 << 20}, {10, -2, 200, 3, 1 << 19}, {95, 66, 13, 13, 65536},
    };
    for (const auto& c : cases) {
        const auto draw = [&](bool vectors) {
            std::vector<uint16_t> pixels(100 * 70);
            std::mt19937 random(uint32_t(c.w));
            for (uint16_t& pixel : pixels)
                pixel = uint16_t(random() & 0x7FFF);
            XView view{};
            std::tie(view.width, view.height, view.current) = std::make_tuple(100, 70, pixels.data());
            const bool saved = SpanVectors;
            SpanVectors = vectors;
            BlitSprite(&view, c.x, c.y, map.get(), c.w, c.h, 0, c.intensity);
            SpanVectors = saved;
            return pixels;
        };
        EXPECT_EQ(draw(true), draw(false)) << c.x << ", " << c.y << ", " << c.w << " x " << c.h;
    }
}

// Sums that leave the binade of 1 or of 2 on either side (by steps counted
// in its units), halfway steps, steps below a unit, zero, subnormals,
// negatives, and steps that are not numbers.
TEST(SpanPaths, FloatStepsAddAsOneAdditionAtATime)
{
    const float u = std::ldexp(1.0f, -23), INF = std::numeric_limits<float>::infinity();
    const float cases[][2] = {
        {1 + 2 * u, -1.375f * u}, {1 + u, -0.75f * u}, {2 - 2 * u, 1.75f * u}, {2 - 2 * u, 1.25f * u},
        {1 + u, 0.5f * u},        {1 + u, 1.5f * u},   {2 + 2 * u, -u},        {1, 0.3f * u},
        {1, -0.3f * u},           {0.5f, -1e-12f},     {30, 0.4f},             {250, -0.4f},
        {0.1f, -1e-4f},           {-3, 0.001f},        {-3, -0.001f},          {0.02f, 1e-4f},
        {1.5f, 0},                {1e-38f, 1e-40f},    {1e-45f, 1e-45f},       {3e38f, 1e37f},
        {1, 4},                   {1, INF},            {1, std::nanf("")},
    };
    for (const auto& c : cases) {
        for (int64_t n : {1, 2, 7, 16, 300}) {
            SCOPED_TRACE(testing::Message() << "x " << c[0] << " step " << c[1] << " n " << n);
            std::vector<uint32_t> sums{BitsOfFloat(c[0])};
            for (float x = c[0]; sums.size() <= size_t(n);)
                sums.push_back(BitsOfFloat(x += c[1]));
            FloatSteps steps(c[1]);
            EXPECT_EQ(BitsOfFloat(steps.Advance(c[0], n)), sums.back());
            for (int64_t i = 0; steps.Whole(sums[0], n) && i <= n; ++i)
                EXPECT_EQ(sums[0] + uint32_t(i) * steps.Increment(), sums[size_t(i)]) << "after " << i;
        }
    }
}

}  // namespace
