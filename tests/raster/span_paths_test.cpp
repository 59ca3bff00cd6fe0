// The fog level's and w's repeated float additions taken through their bit
// patterns against one addition at a time, and the sprites' and the glow
// blend's eight pixels at a time against one by one.
#include "raster/raster_support.h"
#include "render/pass.h"
#include "render/spans.h"
#include "render/stages.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

using namespace kvor3d;

namespace {

using namespace raster_test;

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

// Weights with runs of 0 and rows shorter than eight pixels, boxes cut by
// the frame's sides, weights that darken, that saturate, that leave the
// range of the lanes, and one that is not a number.
TEST(SpanPaths, GlowBlendLanesBlendWhatOnePixelAtATimeBlends)
{
    if (!__builtin_cpu_supports("avx2"))
        GTEST_SKIP() << "no AVX2 on this processor";
    constexpr int32_t W = 100, H = 70;
    std::vector<uint8_t> weights(W * H);
    std::mt19937 random(5);
    for (uint8_t& weight : weights)
        weight = random() % 3 == 0 ? 0 : uint8_t(random());
    const struct { float g1; uint32_t colour; int32_t x0, x1, y0, y1; } cases[] = {
        {1.0f, 0xF80000, 0, 99, 0, 69},       {0.37f, 0x40C8F8, -5, 50, 3, 90}, {-2.5f, 0xFFFFFF, 13, 19, 10, 12},
        {8.29f, 0xF8F8F8, 60, 140, -8, 8},    {8.3f, 0xF8F8F8, 2, 97, 0, 69},   {std::nanf(""), 0xF80000, 0, 99, 0, 69},
        {3e6f, 0x081018, 0, 99, 0, 69},
    };
    for (const auto& c : cases) {
        const auto draw = [&](bool vectors) {
            std::vector<uint16_t> pixels(W * H);
            std::mt19937 frame(9);
            for (uint16_t& pixel : pixels)
                pixel = uint16_t(frame() & 0x7FFF);
            SetUpFrame(pixels.data(), W, H);
            GlowBuffer buffer{nullptr, c.colour, c.g1, W, H, weights.data(), c.x0, c.x1, c.y0, c.y1, nullptr, 0, GLOW_CLEARED};
                    Scene scene{};
            scene.glowBuffers = &buffer;
            const bool saved = SpanVectors;
            SpanVectors = vectors;
            BlendGlow(&scene);
            SpanVectors = saved;
            return pixels;
        };
        EXPECT_EQ(draw(true), draw(false)) << "g1 " << c.g1 << " box " << c.x0 << ".." << c.x1;
    }
    // Half weight of pure red over black: (0 × 127 + 31 × 128) >> 8 = 15.
    uint16_t pixel = 0;
    uint8_t half = 128;
    SetUpFrame(&pixel, 1, 1);
    GlowBuffer buffer{nullptr, 0xF80000, 1.0f, 1, 1, &half, 0, 0, 0, 0, nullptr, 0, GLOW_CLEARED};
    Scene scene{};
    scene.glowBuffers = &buffer;
    BlendGlow(&scene);
    EXPECT_EQ(pixel, 15 << 10);
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
