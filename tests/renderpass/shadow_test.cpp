// Stencil shadows: a box hanging over a floor under a light darkens exactly
// the floor behind it from the light, and its own faces turned from the
// light; switching shadows off frees the quads and the view's buffers.
#include "renderpass/pass_support.h"

namespace {

using pass_test::RenderPass;
using namespace pass_test;

// The floor y = 40 reaches from z = 60 to 400; the box spans x −10 .. 10,
// y 10 .. 30, z 140 .. 160; the light hangs at (0, −100, 150), straight over
// the box's centre (y grows downward). The box's top face, 90 below the
// light, throws its shadow 140 below the light: |x| ≤ 12.7 and
// |z − 150| ≤ 12.7 on the floor, which the camera sees on rows 139.3 to
// 146.6 (row = 100 + 6400 / z), and, on row 143 (z = 148.8), on columns
// 160 ± 13.7. The box's lowest edge shows on row 134.3.
class BoxOverFloor : public RenderPass {
protected:
    void SetUp() override
    {
        RenderPass::SetUp();
        AddQuad("floor", {{{-200, 40, 60}, {200, 40, 60}, {200, 40, 400}, {-200, 40, 400}}}, {0, -1, 0}, GREY);
        box = AddBox("box", {-10, 10, 140}, {10, 30, 160}, BLUE, OBJECT_SHADOWCASTER);
        light = AddLight("light", 0, -100, 150, LIGHT_SHADOWS);
        scene->flags |= SCENE_SHADOWS;
    }

    ObjectEntity* box = nullptr;
    LightEntity* light = nullptr;
};

TEST_F(BoxOverFloor, FloorBehindTheBoxFromTheLightIsBlack)
{
    RenderNew();
    EXPECT_EQ(Pixel(160, 143), 0);
    EXPECT_EQ(Pixel(152, 141), 0);
    EXPECT_EQ(Pixel(168, 145), 0);
    EXPECT_EQ(Pixel(150, 142), 0);
    EXPECT_EQ(Pixel(170, 144), 0);
}

TEST_F(BoxOverFloor, FloorOutsideTheShadowKeepsItsColour)
{
    RenderNew();
    EXPECT_EQ(Pixel(160, 137), GREY_PIXEL);  // z 173: beyond the shadow
    EXPECT_EQ(Pixel(160, 150), GREY_PIXEL);  // z 128: before it
    EXPECT_EQ(Pixel(185, 143), GREY_PIXEL);
    EXPECT_EQ(Pixel(135, 143), GREY_PIXEL);
    EXPECT_EQ(Pixel(160, 190), GREY_PIXEL);
    EXPECT_EQ(Pixel(100, 160), GREY_PIXEL);
    EXPECT_EQ(Pixel(160, 20), DARK_PIXEL);
}

// Only the top face is lit: its four edges are the silhouette, and the
// front face, inside the shadow volume, is black.
TEST_F(BoxOverFloor, SilhouetteIsTheLitTopFacesEdgesAndTheUnlitFrontIsBlack)
{
    RenderNew();
    ASSERT_NE(light->shadowQuads, nullptr);
    EXPECT_EQ(light->shadowQuads->count, 4u);
    EXPECT_EQ(light->shadowQuads->next, nullptr);
    EXPECT_EQ(box->edgeCount, 18u);
    EXPECT_EQ(Pixel(160, 120), 0);
}

TEST_F(BoxOverFloor, ShadowsOffLeaveTheFrameUndarkenedAndFreeTheirBuffers)
{
    RenderNew();
    ASSERT_NE(view->depthBuffer, nullptr);
    ASSERT_NE(view->shadowMask, nullptr);

    scene->flags &= ~SCENE_SHADOWS;
    Render();
    EXPECT_EQ(Pixel(160, 143), GREY_PIXEL);
    EXPECT_EQ(Pixel(160, 120), BLUE_PIXEL);
    EXPECT_EQ(light->shadowQuads, nullptr);
    EXPECT_EQ(view->depthBuffer, nullptr);
    EXPECT_EQ(view->shadowMask, nullptr);
}

TEST_F(BoxOverFloor, LightWithoutTheShadowFlagOrBehindTheCameraCastsNothing)
{
    light->lightFlags = 0;
    RenderNew();
    EXPECT_EQ(light->shadowQuads, nullptr);
    EXPECT_EQ(Pixel(160, 143), GREY_PIXEL);

    light->lightFlags = LIGHT_SHADOWS;
    light->position[2] = -50;
    Render();
    EXPECT_EQ(light->shadowQuads, nullptr);
    EXPECT_EQ(Pixel(160, 143), GREY_PIXEL);
}

TEST_F(BoxOverFloor, ObjectThatIsNotACasterCastsNothing)
{
    box->objectFlags = 0;
    RenderNew();
    EXPECT_EQ(light->shadowQuads, nullptr);
    EXPECT_EQ(Pixel(160, 143), GREY_PIXEL);
    EXPECT_EQ(Pixel(160, 120), BLUE_PIXEL);
}

}  // namespace
