// Glow: the sprite size that follows the object's distance, the sprite
// resampled from the radial table, the glow painted over the object with a
// halo around it, and light volumes kept out of the glow pass.
#include "renderpass/pass_support.h"

#include "effects/effects.h"

namespace {

using pass_test::RenderPass;
using namespace pass_test;

constexpr uint32_t GLOWING = OBJECT_GLOW | OBJECT_GLOWEDGE;

uint32_t Spread(uint32_t p)
{
    return (p & 0x001F) + ((p & 0x03E0) << 5) + ((p & 0x7C00) << 10);
}

uint16_t Blend(uint16_t d, uint16_t s, uint32_t a)
{
    const uint32_t sd = Spread(d);
    const uint32_t m = sd + ((Spread(s) - sd) * a >> 5);
    return uint16_t((m & 0x001F) + ((m & 0x7C00) >> 5) + ((m & 0x01F00000) >> 10));
}

// Squares of half side `half` around their origin, placed at depth 128
// (focal / z = 1.25).
class GlowObjects : public RenderPass {
protected:
    ObjectEntity* Add(const char* name, float x, float half, uint32_t colour, float g0)
    {
        ObjectEntity* object = AddSquare(name, 0, 0, 0, half, colour, GLOWING);
        object->position[0] = x;
        object->position[2] = 128;
        object->glow[0] = g0;
        return object;
    }
};

// n = int(g0 × 1.25 × 256): 300 for g0 = 0.9375, made odd and capped at
// 255; 40 for g0 = 0.125, made odd: 41.
TEST_F(GlowObjects, SpriteSizeFollowsTheDistanceIsOddAndAtMost255)
{
    ObjectEntity* large = Add("large", -60, 10, RED, 0.9375f);
    ObjectEntity* small = Add("small", 60, 10, GREEN, 0.125f);
    ASSERT_EQ(AttachGlowBuffers(scene, 0, 0), 1);
    RenderNew();
    EXPECT_EQ(large->glowImageSize, 255u);
    EXPECT_EQ(small->glowImageSize, 41u);
    EXPECT_TRUE(large->objectFlags & OBJECT_GLOWBUILT);
    EXPECT_TRUE(small->objectFlags & OBJECT_GLOWBUILT);
}

// Step 0xFF0000 / 41 + 1 = 407602: sample i of the 41 comes from radial
// column (i × 407602) >> 16, so the centre sample 20 is column 124.
TEST_F(GlowObjects, SpriteIsTheRadialTableResampledByNearestSample)
{
    ASSERT_EQ(BuildGlowSprite(nullptr, 41), 0);
    ObjectEntity* object = Add("object", 0, 10, RED, 0.125f);
    ASSERT_EQ(BuildGlowSprite(object, 41), 1);
    ASSERT_EQ(object->glowImageSize, 41u);
    EXPECT_EQ(object->glowImage[0], RadialTable[0]);
    EXPECT_EQ(object->glowImage[20 * 41 + 20], RadialTable[124 * 256 + 124]);
    EXPECT_EQ(object->glowImage[40 * 41 + 1], RadialTable[248 * 256 + 6]);
    EXPECT_EQ(BuildGlowSprite(object, 256), 0);
    EXPECT_EQ(BuildGlowSprite(object, 0), 0);
    EXPECT_EQ(object->glowImageSize, 41u);
}

// The covered pixels get the colour at weight 255: (31 × 255) >> 8 = 30 in
// red. Around the edge the halo mixes the colour in; beyond the sprite's
// reach the background stays.
TEST_F(GlowObjects, GlowPaintsTheObjectAndAHaloAroundIt)
{
    Add("object", 0, 20, RED, 0.125f);  // screen 135 .. 185, 75 .. 125; halo 20 pixels
    ASSERT_EQ(AttachGlowBuffers(scene, 0, 0), 1);
    RenderNew();
    EXPECT_EQ(Pixel(160, 100), Rgb15(30, 0, 0));
    EXPECT_EQ(Pixel(140, 80), Rgb15(30, 0, 0));
    const uint16_t halo = Pixel(190, 100);
    EXPECT_GT(halo >> 10, DARK_PIXEL >> 10);
    EXPECT_LE(halo & 0x1F, DARK_PIXEL & 0x1F);
    EXPECT_EQ(Pixel(215, 100), DARK_PIXEL);
    EXPECT_EQ(Pixel(160, 20), DARK_PIXEL);

    Render();  // the next frame clears the glow buffer first
    EXPECT_EQ(Pixel(160, 100), Rgb15(30, 0, 0));
    EXPECT_EQ(Pixel(190, 100), halo);
}

// A volume's flags carry the glow bit for its own filler; its slice is
// blended once (weight 0x80 >> 3 = 16), and only the glowing object's faces
// get glow entries.
TEST_F(GlowObjects, LightVolumeSlicesAreDrawnOnceAndGetNoGlowEntries)
{
    ObjectEntity* glowing = Add("glowing", 90, 5, GREEN, 0.125f);
    const TagItem create[] = {{TAG_ENTITY_KIND, ENTITY_VOLUME}, {TAG_ENTITY_SCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    VolumeEntity* volume = VolumeOf(CreateEntity(create));
    ASSERT_NE(volume, nullptr);
    const TagItem set[] = {
        {TAG_VOLUME_SIZEX, TagFloat(40)},
        {TAG_VOLUME_SIZEY, TagFloat(40)},
        {TAG_VOLUME_SIZEZ, TagFloat(40)},
        {TAG_VOLUME_COLOUR, 0x80FF0000},
        {TAG_DONE, 0},
    };
    ASSERT_GT(SetVolume(volume, set), 0);
    volume->position[2] = 100;
    volume->size[0] = volume->size[1] = volume->size[2] = 1.0f;
    ASSERT_EQ(AttachGlowBuffers(scene, 0, 0), 1);
    RenderNew();

    EXPECT_EQ(Pixel(175, 95), Blend(DARK_PIXEL, RED_PIXEL, 16));
    const std::vector<DrawEntry> glowFaces = Sprites(DRAW_GLOWFACE);
    EXPECT_EQ(glowFaces.size(), 2u);
    for (const DrawEntry& entry : glowFaces)
        EXPECT_EQ(entry.face->owner, glowing);
}

}  // namespace
