// The scene's fog: stored values, the depth ramp and the fog material.
#include "colour/colour.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

class FogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        words_ = build::PaletteWords({0x000000, 0x640000, 0xC80000, 0x0000C8});
        table_ = build::MakeColourTable(words_, true);
        scene_ = AllocScene();
        ASSERT_NE(table_, nullptr);
        ASSERT_NE(scene_, nullptr);
    }

    void TearDown() override
    {
        FreeScene(scene_);
        DeleteColourTable(table_);
    }

    // Fog mode 1 from depth 100 to 355 toward red 200, weights 0 to 1.
    int32_t LinearFog()
    {
        const TagItem tags[] = {
            {TAG_FOG_MODE, FOG_LINEAR},
            {TAG_FOG_START, 100},
            {TAG_FOG_END, 355},
            {TAG_FOG_COLOUR, 0x00C80000},
            {TAG_FOG_STARTWEIGHT, 0},
            {TAG_FOG_ENDWEIGHT, 0x10000},
            {TAG_FOG_COLOURTABLE, TagPtr(table_)},
            {TAG_DONE, 0},
        };
        return SetFog(scene_, tags);
    }

    std::vector<uint32_t> words_;
    ColourTable* table_ = nullptr;
    Scene* scene_ = nullptr;
};

TEST_F(FogTest, LinearRampRisesFromStartToEndDepth)
{
    EXPECT_EQ(LinearFog(), 7);
    const uint8_t* ramp = scene_->fogRamp;
    ASSERT_NE(ramp, nullptr);
    EXPECT_EQ(ramp[0], 0);
    EXPECT_EQ(ramp[99], 0);
    EXPECT_EQ(ramp[100], 0);
    EXPECT_EQ(ramp[227], 126);  // 127 × 255 / 256
    EXPECT_EQ(ramp[355], 254);
    EXPECT_EQ(ramp[356], 255);
    EXPECT_EQ(ramp[FOG_RAMP_BYTES - 1], 255);
}

TEST_F(FogTest, OtherModesKeepTheRangeBetweenStartAndEnd)
{
    LinearFog();
    const uint8_t* ramp = scene_->fogRamp;
    const TagItem tags[] = {{TAG_FOG_MODE, 2}, {TAG_FOG_START, 200}, {TAG_FOG_END, 300}, {TAG_DONE, 0}};
    EXPECT_EQ(SetFog(scene_, tags), 3);
    EXPECT_EQ(scene_->fogRamp, ramp);  // allocated once
    EXPECT_EQ(ramp[199], 0);
    EXPECT_EQ(ramp[227], 126);         // left from the linear ramp
    EXPECT_EQ(ramp[300], 199);
    EXPECT_EQ(ramp[301], 255);
}

TEST_F(FogTest, ValuesAndFlagsAreStoredAndReadBack)
{
    scene_->flags = SCENE_SHADOWS | (4 << 8);
    LinearFog();
    const TagItem more[] = {{TAG_FOG_NEAR, 1}, {TAG_FOG_FAR, 1}, {TAG_DONE, 0}};
    EXPECT_EQ(SetFog(scene_, more), 2);
    EXPECT_EQ(scene_->flags, SCENE_SHADOWS | (4u << 8) | (FOG_LINEAR << 12) | SCENE_FOGNEAR | SCENE_FOGFAR);
    EXPECT_EQ(scene_->fog[0], 0x00C80000u);
    EXPECT_EQ(scene_->fog[1], 100u);
    EXPECT_EQ(scene_->fog[2], 0u);
    EXPECT_EQ(scene_->fog[3], 355u);
    EXPECT_EQ(scene_->fog[4], 0x10000u);

    const TagItem clear[] = {{TAG_FOG_NEAR, 0}, {TAG_DONE, 0}};
    SetFog(scene_, clear);
    uint32_t colour = 0, start = 0, end = 0, startWeight = 1, endWeight = 0, mode = 0;
    uint16_t nearFlag = 7, farFlag = 7;
    const TagItem get[] = {
        {TAG_FOG_COLOUR, TagPtr(&colour)},
        {TAG_FOG_START, TagPtr(&start)},
        {TAG_FOG_END, TagPtr(&end)},
        {TAG_FOG_STARTWEIGHT, TagPtr(&startWeight)},
        {TAG_FOG_ENDWEIGHT, TagPtr(&endWeight)},
        {TAG_FOG_MODE, TagPtr(&mode)},
        {TAG_FOG_NEAR, TagPtr(&nearFlag)},
        {TAG_FOG_FAR, TagPtr(&farFlag)},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(GetFog(scene_, get), 8);
    EXPECT_EQ(colour, 0x00C80000u);
    EXPECT_EQ(start, 100u);
    EXPECT_EQ(end, 355u);
    EXPECT_EQ(startWeight, 0u);
    EXPECT_EQ(endWeight, 0x10000u);
    EXPECT_EQ(mode, FOG_LINEAR);
    EXPECT_EQ(nearFlag, 0);
    EXPECT_EQ(farFlag, 1);

    EXPECT_EQ(SetFog(nullptr, get), 0);
    EXPECT_EQ(GetFog(nullptr, get), 0);
}

TEST_F(FogTest, FogMaterialMixesTowardTheFogColourByTheWeights)
{
    LinearFog();
    Material* material = scene_->fogMaterial;
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(scene_->materials, material);
    EXPECT_EQ(material->mode, MATERIAL_FOG);
    EXPECT_EQ(material->p1, 0u);
    EXPECT_EQ(material->p2, 0x10000u);
    EXPECT_EQ(material->p3, 0x00C80000);
    // A start weight of 0 leaves every colour as it is in column 0.
    for (int c = 0; c < 256; ++c)
        ASSERT_EQ(material->table[c * 256], c);
    EXPECT_EQ(material->table[3 * 256 + 255], 2);
}

TEST_F(FogTest, OnlyColourAndWeightChangesRemakeTheFogMaterial)
{
    LinearFog();
    Material* material = scene_->fogMaterial;
    const TagItem depth[] = {{TAG_FOG_START, 50}, {TAG_DONE, 0}};
    SetFog(scene_, depth);
    EXPECT_EQ(scene_->fogMaterial, material);
    EXPECT_EQ(scene_->fogRamp[50], 0);
    EXPECT_EQ(scene_->fogRamp[100], 50 * 255 / 306);

    scene_->colourTable = table_;
    const TagItem colour[] = {{TAG_FOG_COLOUR, 0x000000C8}, {TAG_DONE, 0}};
    EXPECT_EQ(SetFog(scene_, colour), 1);
    ASSERT_NE(scene_->fogMaterial, nullptr);
    EXPECT_EQ(scene_->fogMaterial->p3, 0x000000C8);
    EXPECT_EQ(scene_->materials, scene_->fogMaterial);
    EXPECT_EQ(scene_->materials->next, nullptr);  // the old one is released
}

TEST_F(FogTest, SwitchingFogOffFreesTheRampAndTheMaterial)
{
    LinearFog();
    const TagItem off[] = {{TAG_FOG_MODE, 0}, {TAG_DONE, 0}};
    EXPECT_EQ(SetFog(scene_, off), 1);
    EXPECT_EQ(scene_->fogRamp, nullptr);
    EXPECT_EQ(scene_->fogMaterial, nullptr);
    EXPECT_EQ(scene_->materials, nullptr);
    EXPECT_EQ(scene_->flags & SCENE_FOGMODE, 0u);
}

TEST_F(FogTest, FogMaterialUsesTheScenesColourTableOrIsLeftOutWithoutOne)
{
    const TagItem tags[] = {{TAG_FOG_MODE, FOG_LINEAR}, {TAG_FOG_START, 0}, {TAG_FOG_END, 10}, {TAG_DONE, 0}};
    EXPECT_EQ(SetFog(scene_, tags), 3);
    EXPECT_NE(scene_->fogRamp, nullptr);
    EXPECT_EQ(scene_->fogMaterial, nullptr);

    scene_->colourTable = table_;
    const TagItem colour[] = {{TAG_FOG_COLOUR, 0x00C80000}, {TAG_DONE, 0}};
    EXPECT_EQ(SetFog(scene_, colour), 1);
    ASSERT_NE(scene_->fogMaterial, nullptr);
    EXPECT_NE(scene_->fogMaterial->table, nullptr);
}

}  // namespace
