// Lights and vertex glints: the marker test that hides a flare behind a
// nearer polygon, the glint's one test per vertex and frame, and the flare
// sprites: their size, place along the line through the screen centre,
// scale, clipping and saturating addition.
#include "renderpass/pass_support.h"

#include <cmath>

namespace {

using pass_test::RenderPass;
using namespace pass_test;

using Flares = RenderPass;
using Glints = RenderPass;

constexpr uint16_t ONE = 0x0421;  // one step in every channel

// The light at (0, 0, 100) lands on pixel (160, 100); its 8 × 8 map at
// f = 1.0 × 160 / 100 is drawn 12 × 12 from (154, 94).
TEST_F(Flares, LightBehindANearerPolygonGetsNoFlare)
{
    LightEntity* light = AddLight("light", 0, 0, 100);
    light->effect = AddFlare("flare", 8, ONE);
    AddSquare("cover", 0, 0, 50, 30, GREY);
    RenderNew();
    EXPECT_TRUE(RectIs(150, 90, 170, 110, GREY_PIXEL));
    EXPECT_TRUE(Sprites(DRAW_LIGHT).empty());
}

TEST_F(Flares, LightInFrontOfEveryPolygonGetsItsFlareAndItsPixelBack)
{
    LightEntity* light = AddLight("light", 0, 0, 100);
    light->effect = AddFlare("flare", 8, ONE);
    AddSquare("behind", 0, 0, 200, 60, GREY);
    RenderNew();
    EXPECT_TRUE(RectIs(154, 94, 166, 106, GREY_PIXEL + ONE));
    EXPECT_TRUE(RectIs(153, 94, 154, 106, GREY_PIXEL));
    EXPECT_TRUE(RectIs(166, 94, 167, 106, GREY_PIXEL));
    EXPECT_TRUE(RectIs(154, 93, 166, 94, GREY_PIXEL));
    EXPECT_TRUE(RectIs(154, 106, 166, 107, GREY_PIXEL));
    EXPECT_EQ(Sprites(DRAW_LIGHT).size(), 1u);
}

TEST_F(Flares, LightWithoutAnEffectLeavesNoMarker)
{
    AddLight("light", 0, 0, 100);
    AddSquare("behind", 0, 0, 200, 60, GREY);
    RenderNew();
    EXPECT_EQ(Pixel(160, 100), GREY_PIXEL);
    EXPECT_TRUE(Sprites(DRAW_LIGHT).empty());
}

// The light lands on (240, 140). An element at e0 = 0.5 sits halfway from
// the centre (160, 100): at (200, 120), drawn from (194, 114).
TEST_F(Flares, ElementsLieOnTheLineFromTheScreenCentreThroughTheLight)
{
    LightEntity* light = AddLight("light", 50, 25, 100);
    light->effect = AddFlare("flare", 8, ONE);
    build::AddElement(light->effect, "half", 0x8000, AddMap("halfmap", 8, ONE));
    RenderNew();
    EXPECT_TRUE(RectIs(234, 134, 246, 146, DARK_PIXEL + ONE));
    EXPECT_TRUE(RectIs(194, 114, 206, 126, DARK_PIXEL + ONE));
    EXPECT_EQ(Pixel(193, 114), DARK_PIXEL);
    EXPECT_EQ(Pixel(206, 125), DARK_PIXEL);
    EXPECT_EQ(Pixel(233, 134), DARK_PIXEL);
}

// With LIGHT_SCALEEFFECT the intensity 0.5 halves f: a 6 × 6 sprite from
// (157, 97).
TEST_F(Flares, LightScalesItsEffectByItsIntensityWhenItAsks)
{
    LightEntity* light = AddLight("light", 0, 0, 100, LIGHT_SCALEEFFECT);
    light->lightValue1 = 0.5f;
    light->effect = AddFlare("flare", 8, ONE);
    RenderNew();
    EXPECT_TRUE(RectIs(157, 97, 163, 103, DARK_PIXEL + ONE));
    EXPECT_EQ(Pixel(156, 97), DARK_PIXEL);
    EXPECT_EQ(Pixel(163, 102), DARK_PIXEL);
}

// A 2 × 2 map drawn 4 × 4 from (−1, −1): the view keeps 3 × 3 pixels, whose
// samples start one half texel in.
TEST_F(Flares, BlitSpriteClipsToTheViewAddsEachChannelAndSaturates)
{
    const uint16_t base = Rgb15(10, 20, 30);
    std::fill(view->current, view->current + WIDTH * HEIGHT, base);
    Texture* map = AddMap("map", 2, 0);
    auto* texels = static_cast<uint16_t*>(map->pixels);
    texels[0] = Rgb15(1, 2, 3);
    texels[1] = Rgb15(31, 0, 0);
    texels[2] = Rgb15(0, 5, 0);
    texels[3] = Rgb15(0, 0, 1);

    BlitSprite(view, -1, -1, map, 4, 4, 3, 0x10000);
    EXPECT_EQ(Pixel(0, 0), Rgb15(11, 22, 31));
    EXPECT_EQ(Pixel(1, 0), Rgb15(31, 20, 30));
    EXPECT_EQ(Pixel(2, 0), Rgb15(31, 20, 30));
    EXPECT_EQ(Pixel(0, 1), Rgb15(10, 25, 30));
    EXPECT_EQ(Pixel(2, 2), Rgb15(10, 20, 31));
    EXPECT_EQ(Pixel(3, 0), base);
    EXPECT_EQ(Pixel(0, 3), base);

    BlitSprite(view, 10, 10, map, 2, 2, 0, 0x8000);  // half intensity: each step halved, truncated
    EXPECT_EQ(Pixel(10, 10), Rgb15(10, 21, 31));
    EXPECT_EQ(Pixel(11, 10), Rgb15(25, 20, 30));

    BlitSprite(view, 318, 198, map, 4, 4, 0, 0x10000);  // clipped on the right and bottom
    EXPECT_EQ(Pixel(319, 199), Rgb15(11, 22, 31));
}

// A quad at depth 160 (so k = 1) with corners on (80, 50), (240, 50),
// (240, 150) and (80, 150); its two faces share the corners 0 and 2. Every
// glint draws a 4 × 4 sprite of one step from (x − 2, y − 2).
class GlintQuad : public RenderPass {
protected:
    void SetUp() override
    {
        RenderPass::SetUp();
        quad = AddQuad("quad", {{{-80, -50, 160}, {80, -50, 160}, {80, 50, 160}, {-80, 50, 160}}}, {0, 0, -1}, GREY,
                       OBJECT_SPRITEEFFECT);
        quad->spriteEffect = AddFlare("glint", 4, ONE);
        quad->spriteValue = 10 << 16;  // 10 degrees
        for (uint32_t i = 0; i < 4; ++i)
            Tilt(i, 0.0);
    }

    // The vertex normal turned by `degrees` from the direction whose camera
    // z is +127.
    void Tilt(uint32_t vertex, double degrees)
    {
        const double a = degrees * 3.14159265358979323846 / 180.0;
        float* n = quad->vertices[vertex].normal;
        n[0] = 0.0f;
        n[1] = float(127.0 * std::sin(a));
        n[2] = float(127.0 * std::cos(a));
    }

    ObjectEntity* quad = nullptr;
};

TEST_F(GlintQuad, SharedVertexIsTestedOncePerFrameAndFlaresOnce)
{
    RenderNew();
    EXPECT_EQ(Sprites(DRAW_GLINT).size(), 4u);
    EXPECT_EQ(Pixel(78, 48), DARK_PIXEL + ONE);
    EXPECT_EQ(Pixel(81, 51), GREY_PIXEL + ONE);
    EXPECT_EQ(Pixel(241, 151), DARK_PIXEL + ONE);
    EXPECT_EQ(Pixel(238, 148), GREY_PIXEL + ONE);
    EXPECT_EQ(Pixel(82, 52), GREY_PIXEL);

    Render();  // the next frame tests every vertex again
    EXPECT_EQ(Pixel(78, 48), DARK_PIXEL + ONE);
    EXPECT_EQ(Pixel(241, 151), DARK_PIXEL + ONE);
}

TEST_F(GlintQuad, GlintNeedsItsNormalWithinTheSpriteAngleOfTheCamera)
{
    Tilt(0, 9.0);
    Tilt(1, 11.0);
    Tilt(2, 180.0);
    Tilt(3, 45.0);
    RenderNew();
    EXPECT_EQ(Sprites(DRAW_GLINT).size(), 1u);
    EXPECT_EQ(Pixel(78, 48), DARK_PIXEL + ONE);
    EXPECT_EQ(Pixel(241, 48), DARK_PIXEL);
    EXPECT_EQ(Pixel(241, 151), DARK_PIXEL);
    EXPECT_EQ(Pixel(78, 151), DARK_PIXEL);
}

TEST_F(GlintQuad, GlintCoveredByANearerFaceIsDropped)
{
    AddSquare("cover", -50, -31.25f, 100, 5, RED);  // over corner 0 at (80, 50)
    RenderNew();
    EXPECT_EQ(Sprites(DRAW_GLINT).size(), 3u);
    EXPECT_EQ(Pixel(80, 50), RED_PIXEL);
    EXPECT_EQ(Pixel(241, 151), DARK_PIXEL + ONE);
}

}  // namespace
