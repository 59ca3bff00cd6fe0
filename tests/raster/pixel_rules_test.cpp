// The members' pixel rules at the values that catch faults: blend weights 0
// and 31, texture wrap, the bilinear filter at fraction 0, mip-level choice,
// perspective pieces of one pixel, fog levels, shading, and the shadow pass.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <vector>

namespace {

using namespace raster_test;

constexpr uint16_t WHITE = 0x7FFF;

uint16_t Grey(uint32_t level)
{
    return uint16_t((level << 10) | (level << 5) | level);
}

class PixelRules : public ::testing::Test {
protected:
    void SetUp() override { SetUpFrame(frame.Pixels()); }

    // A quad of two triangles covering x 20..119, y 20..79, every corner
    // with these values.
    void DrawQuad(const Entity* owner, const CornerValues& values)
    {
        CornerValues c[4] = {values, values, values, values};
        const float xs[4] = {20, 119, 119, 20};
        const float ys[4] = {20, 20, 79, 79};
        for (int i = 0; i < 4; ++i) {
            c[i].x = xs[i];
            c[i].y = ys[i];
        }
        Triangle first(MakeVertex(c[0]), MakeVertex(c[1]), MakeVertex(c[2]), owner);
        Triangle second(MakeVertex(c[0]), MakeVertex(c[2]), MakeVertex(c[3]), owner);
        DrawTriangle(&first.ref);
        DrawTriangle(&second.ref);
    }

    // The distinct pixels inside the quad.
    std::set<uint16_t> QuadPixels() const
    {
        std::set<uint16_t> pixels;
        for (int32_t y = 20; y <= 79; ++y) {
            for (int32_t x = 20; x <= 119; ++x)
                pixels.insert(frame.At(x, y));
        }
        return pixels;
    }

    TestFrame frame;
};

TEST_F(PixelRules, AlphaZeroLeavesTheFrameUnchanged)
{
    frame.Fill(0x1234);
    ObjectPtr flat = MakeObject(OBJECT_TRANSPARENT, 0x07FFFFFF);
    DrawQuad(flat.get(), {});
    TexturePtr texture = MakeTexture(4, 4, 3);
    ObjectPtr textured = MakeObject(OBJECT_TRANSPARENT | OBJECT_TEXTURE, 0x00FFFFFF);
    textured->textureMap = texture.get();
    DrawQuad(textured.get(), {});
    EXPECT_EQ(QuadPixels(), std::set<uint16_t>{0x1234});
}

TEST_F(PixelRules, AlphaThirtyOneLeavesOneThirtySecondOfTheDifference)
{
    frame.Fill(0);
    ObjectPtr flat = MakeObject(OBJECT_TRANSPARENT, 0xF8FFFFFF);
    DrawQuad(flat.get(), {});
    EXPECT_EQ(QuadPixels(), std::set<uint16_t>{Grey(30)});
}

TEST_F(PixelRules, MinusHalfTexelWrapsToTheLastRowAndColumn)
{
    TexturePtr texture = MakeTexture(3, 3, 5);
    ObjectPtr textured = MakeObject(OBJECT_TEXTURE);
    textured->textureMap = texture.get();
    CornerValues values;
    values.u = -0.5f;
    values.v = -0.5f;
    DrawQuad(textured.get(), values);
    const auto* pixels = static_cast<const uint16_t*>(texture->pixels);
    EXPECT_EQ(QuadPixels(), std::set<uint16_t>{pixels[7 * 8 + 7]});
}

TEST_F(PixelRules, BilinearAtFractionZeroReturnsTheTexelExactly)
{
    TexturePtr texture = MakeTexture(4, 4, 6);
    ObjectPtr textured = MakeObject(OBJECT_TEXTURE);
    textured->textureMap = texture.get();
    textured->material[1] = 1;
    CornerValues values;
    values.u = 5.0f;
    values.v = 9.0f;
    DrawQuad(textured.get(), values);
    const auto* pixels = static_cast<const uint16_t*>(texture->pixels);
    EXPECT_EQ(QuadPixels(), std::set<uint16_t>{pixels[5 * 16 + 9]});
}

// Each level of a 256 × 256 texture filled with its own colour: the level a
// triangle takes shows in its pixels.
TEST_F(PixelRules, MipLevelFollowsTexelsPerPixel)
{
    TexturePtr texture = MakeTexture(8, 8, 7);
    ASSERT_EQ(texture->mipLevels, 8u);
    for (uint32_t level = 0; level <= texture->mipLevels; ++level) {
        auto* pixels = static_cast<uint16_t*>(texture->mipTable[level]);
        std::fill(pixels, pixels + (256 >> level) * (256 >> level), uint16_t(level + 1));
    }
    ObjectPtr textured = MakeObject(OBJECT_TEXTURE);
    textured->textureMap = texture.get();
    textured->material[1] = 2;

    // |du/dx| + |dv/dx| texels per pixel across the quad's 99 pixels.
    const auto levelFor = [&](float texelsPerPixel) {
        frame.Fill(UNWRITTEN);
        CornerValues c[4];
        const float xs[4] = {20, 119, 119, 20};
        const float ys[4] = {20, 20, 79, 79};
        for (int i = 0; i < 4; ++i) {
            c[i].x = xs[i];
            c[i].y = ys[i];
            c[i].v = (xs[i] - 20) * texelsPerPixel;
        }
        Triangle first(MakeVertex(c[0]), MakeVertex(c[1]), MakeVertex(c[2]), textured.get());
        Triangle second(MakeVertex(c[0]), MakeVertex(c[2]), MakeVertex(c[3]), textured.get());
        DrawTriangle(&first.ref);
        DrawTriangle(&second.ref);
        const std::set<uint16_t> pixels = QuadPixels();
        return pixels.size() == 1 ? int(*pixels.begin()) - 1 : -1;
    };
    EXPECT_EQ(levelFor(1.0f), 0);
    EXPECT_EQ(levelFor(3.0f), 1);
    EXPECT_EQ(levelFor(7.0f), 2);

    // Beyond the levels a texture has, the last one.
    texture->mipLevels = 1;
    EXPECT_EQ(levelFor(7.0f), 1);
}

// With correctionValue 0 every pixel is its own perspective piece: each
// texel column is the exact perspective division's, except within a hair
// of a texel boundary. With longer pieces, pixels inside a piece follow the
// chord instead.
TEST_F(PixelRules, CorrectionValueZeroDividesAtEveryPixel)
{
    TexturePtr texture = MakeTexture(8, 0, 8, false, false);
    auto* pixels = static_cast<uint16_t*>(texture->pixels);
    for (uint16_t column = 0; column < 256; ++column)
        pixels[column] = column;
    ObjectPtr textured = MakeObject(OBJECT_TEXTURE | OBJECT_PERSPECTIVE);
    textured->textureMap = texture.get();

    // The left edge x = 20 at depth 1, the right edge x = 220 at depth 8;
    // v runs 0 .. 200 texels.
    const auto differences = [&](uint32_t k) {
        textured->correctionValue = k;
        frame.Fill(UNWRITTEN);
        CornerValues c[4] = {{20, 40, 1}, {220, 40, 8}, {220, 60, 8}, {20, 60, 1}};
        c[1].v = c[2].v = 200.0f;
        Triangle first(MakeVertex(c[0]), MakeVertex(c[1]), MakeVertex(c[2]), textured.get());
        Triangle second(MakeVertex(c[0]), MakeVertex(c[2]), MakeVertex(c[3]), textured.get());
        DrawTriangle(&first.ref);
        DrawTriangle(&second.ref);
        int count = 0;
        for (int32_t x = 20; x <= 220; ++x) {
            const double s = (x - 20) / 200.0;
            const double w = (1 - s) * 1.0 + s / 8.0;
            const double v = s * 200.0 / 8.0 / w;
            if (std::fabs(v - std::round(v)) < 1e-3)
                continue;
            count += frame.At(x, 50) != uint16_t(std::floor(v));
        }
        return count;
    };
    EXPECT_EQ(differences(0), 0);
    EXPECT_GT(differences(5), 0);
}

TEST_F(PixelRules, FogLevelBelowInsideAndBeyondTheRange)
{
    Frame.fogIndexBase = 64;
    Frame.fogStart = 100.0f;
    Frame.fogEnd = 200.0f;
    Frame.fogStartLevel = 64.0f;   // weight 8
    Frame.fogEndLevel = 248.0f;    // weight 31
    Frame.fogColour = 0x00FFFFFF;
    ObjectPtr object = MakeObject(0, 0x00000000);
    const auto fogged = [&](float z) {
        frame.Fill(UNWRITTEN);
        CornerValues values;
        values.z = z;
        DrawQuad(object.get(), values);
        return QuadPixels();
    };
    EXPECT_EQ(fogged(50.0f), std::set<uint16_t>{Grey(31 * 8 >> 5)});
    EXPECT_EQ(fogged(150.0f), std::set<uint16_t>{Grey(31 * 19 >> 5)});  // level 156
    EXPECT_EQ(fogged(400.0f), std::set<uint16_t>{Grey(31 * 31 >> 5)});
}

TEST_F(PixelRules, ShadedPixelTakesTopFiveBitsOfLitTimesObjectColour)
{
    ObjectPtr object = MakeObject(OBJECT_SHADED, 0x0080C0F8);
    CornerValues values;
    values.lit = 0x00FFFFFF;
    DrawQuad(object.get(), values);
    // 255 × 0x80 >> 8 = 127, 255 × 0xC0 >> 8 = 191, 255 × 0xF8 >> 8 = 247.
    EXPECT_EQ(QuadPixels(), std::set<uint16_t>{uint16_t((127 >> 3) << 10 | (191 >> 3) << 5 | 247 >> 3)});
}

TEST_F(PixelRules, ShadedTextureScalesEachTexelChannel)
{
    TexturePtr texture = MakeTexture(2, 2, 9, false, false);
    std::fill_n(static_cast<uint16_t*>(texture->pixels), 16, WHITE);
    ObjectPtr object = MakeObject(OBJECT_SHADED | OBJECT_TEXTURE, 0x00000000);
    object->textureMap = texture.get();
    CornerValues values;
    values.lit = 0x0080FF00;
    DrawQuad(object.get(), values);
    // Red 31 × 128 / 256 → 15 (of 0x7C00 × 128 & 0x7C0000); green 31 × 255 → 30; blue 0.
    EXPECT_EQ(QuadPixels(), std::set<uint16_t>{uint16_t(15 << 10 | 30 << 5)});
}

TEST_F(PixelRules, DepthFillerKeepsTheNearerSurface)
{
    std::vector<float> depth(size_t(WIDTH) * HEIGHT, 0.5f);
    Frame.depthBuffer = depth.data();
    Frame.renderPhase = PHASE_DEPTH;
    ObjectPtr object = MakeObject(0);
    DrawQuad(object.get(), {0, 0, 4.0f});
    EXPECT_EQ(depth[size_t(50) * WIDTH + 50], 0.5f);
    DrawQuad(object.get(), {0, 0, 1.0f});
    EXPECT_EQ(depth[size_t(50) * WIDTH + 50], 1.0f);
    EXPECT_EQ(depth[size_t(50) * WIDTH + 150], 0.5f);
    EXPECT_EQ(frame.At(50, 50), UNWRITTEN);
}

TEST_F(PixelRules, ShadowVolumeCountsOnlyWhereItLiesInFrontOfTheScene)
{
    std::vector<float> depth(size_t(WIDTH) * HEIGHT, 0.5f);  // the scene at z = 2
    std::vector<uint8_t> mask(size_t(WIDTH) * HEIGHT, 0);
    Frame.depthBuffer = depth.data();
    Frame.shadowMask = mask.data();
    Frame.renderPhase = PHASE_SHADOWVOLUME;
    ObjectPtr object = MakeObject(0);
    const size_t at = size_t(50) * WIDTH + 50;

    DrawQuad(object.get(), {0, 0, 4.0f});  // behind the scene
    EXPECT_EQ(mask[at], 0);
    DrawQuad(object.get(), {0, 0, 1.0f});  // in front: +1
    EXPECT_EQ(mask[at], 1);

    CornerValues front{0, 0, 1.0f};
    CornerValues c[3] = {front, front, front};
    c[0].x = 40, c[0].y = 40, c[1].x = 80, c[1].y = 40, c[2].x = 60, c[2].y = 70;
    Triangle back(MakeVertex(c[0]), MakeVertex(c[1]), MakeVertex(c[2]), object.get());
    back.ref.windingSign = -1;
    DrawTriangle(&back.ref);
    DrawTriangle(&back.ref);
    EXPECT_EQ(int8_t(mask[at]), -1);
    EXPECT_EQ(frame.At(50, 50), UNWRITTEN);
}

}  // namespace
