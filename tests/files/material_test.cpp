// Colour-mixing materials, their sharing and release, the object lookup
// tables, environment areas and the scene's shade material.
#include "colour/colour.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

// Palette entries: black, two reds, a blue. Every other entry of the 256
// reads as black.
constexpr uint8_t BLACK = 0;
constexpr uint8_t RED100 = 1;
constexpr uint8_t RED200 = 2;
constexpr uint8_t BLUE200 = 3;

class MaterialTest : public ::testing::Test {
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

    Material* Make(uint32_t mode, uint32_t p1, uint32_t p2 = 0, int32_t p3 = 0, bool shared = true)
    {
        const TagItem tags[] = {
            {TAG_MATERIAL_MODE, mode},
            {TAG_MATERIAL_P1, p1},
            {TAG_MATERIAL_P2, p2},
            {TAG_MATERIAL_P3, uintptr_t(uint32_t(p3))},
            {TAG_MATERIAL_SCENE, shared ? TagPtr(scene_) : 0},
            {TAG_MATERIAL_COLOURTABLE, TagPtr(table_)},
            {TAG_DONE, 0},
        };
        return CreateMaterial(tags);
    }

    void Release(Material* material, bool force = false)
    {
        const TagItem tags[] = {
            {TAG_MATERIAL_RELEASESCENE, TagPtr(scene_)},
            {TAG_MATERIAL_FORCE, force ? 1u : 0u},
            {TAG_DONE, 0},
        };
        ReleaseMaterial(material, tags);
    }

    int ChainLength() const
    {
        int count = 0;
        for (Material* m = scene_->materials; m; m = m->next)
            ++count;
        return count;
    }

    std::vector<uint32_t> words_;
    ColourTable* table_ = nullptr;
    Scene* scene_ = nullptr;
};

TEST_F(MaterialTest, NeedsAColourTable)
{
    const TagItem tags[] = {{TAG_MATERIAL_MODE, MATERIAL_BLEND}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateMaterial(tags), nullptr);
}

TEST_F(MaterialTest, EqualParametersShareOneMaterialUntilTheLastUserReleasesIt)
{
    Material* first = Make(MATERIAL_BLEND, 0x8000);
    Material* second = Make(MATERIAL_BLEND, 0x8000);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first->users, 2u);
    EXPECT_EQ(scene_->materials, first);

    Material* other = Make(MATERIAL_BLEND, 0x4000);
    EXPECT_NE(other, first);
    EXPECT_EQ(scene_->materials, other);  // new materials go to the head
    EXPECT_EQ(ChainLength(), 2);

    Release(first);
    EXPECT_EQ(first->users, 1u);
    EXPECT_EQ(ChainLength(), 2);
    Release(first);
    EXPECT_EQ(ChainLength(), 1);
    EXPECT_EQ(scene_->materials, other);
}

TEST_F(MaterialTest, ForcedReleaseFreesAMaterialThatStillHasUsers)
{
    Material* material = Make(MATERIAL_ADD, 0x10000);
    Make(MATERIAL_ADD, 0x10000);
    Release(material, true);
    EXPECT_EQ(scene_->materials, nullptr);
    ReleaseMaterial(nullptr, nullptr);
}

TEST_F(MaterialTest, ModesWithoutATableMakeARecordOnly)
{
    for (uint32_t mode : {0u, 1u, 3u, 5u, 10u}) {
        Material* material = Make(mode, 0x8000);
        ASSERT_NE(material, nullptr);
        EXPECT_EQ(material->mode, mode);
        EXPECT_EQ(material->table, nullptr);
    }
}

TEST_F(MaterialTest, UserModeTableIsZero)
{
    Material* material = Make(MATERIAL_USER, 0);
    ASSERT_NE(material->table, nullptr);
    for (uint32_t i = 0; i < MATERIAL_TABLE_BYTES; ++i)
        ASSERT_EQ(material->table[i], 0) << i;
}

TEST_F(MaterialTest, AddMixesWeightedColourAIntoColourBAndClamps)
{
    const uint8_t* full = Make(MATERIAL_ADD, 0x10000)->table;
    EXPECT_EQ(full[RED100 * 256 + RED100], RED200);   // 100 + 100
    EXPECT_EQ(full[RED200 * 256 + RED200], RED200);   // 400 clamps to 255, nearest 200
    EXPECT_EQ(full[BLUE200 * 256 + BLACK], BLUE200);
    const uint8_t* half = Make(MATERIAL_ADD, 0x8000)->table;
    EXPECT_EQ(half[RED200 * 256 + RED100], RED200);   // 100 + 200 / 2
    EXPECT_EQ(half[RED200 * 256 + BLACK], RED100);
}

TEST_F(MaterialTest, SubtractTakesWeightedColourAFromColourBAndClampsAtZero)
{
    const uint8_t* table = Make(MATERIAL_SUBTRACT, 0x10000)->table;
    EXPECT_EQ(table[RED100 * 256 + RED200], RED100);  // 200 − 100
    EXPECT_EQ(table[RED200 * 256 + RED100], BLACK);   // −100 clamps to 0
    EXPECT_EQ(table[BLUE200 * 256 + RED200], RED200); // other channels untouched
}

TEST_F(MaterialTest, BlendMovesColourBTowardColourAAndKeepsBlackRowsAsTheIdentity)
{
    const uint8_t* table = Make(MATERIAL_BLEND, 0x8000)->table;
    EXPECT_EQ(table[RED200 * 256 + BLACK], RED100);   // halfway from 0 to 200
    EXPECT_EQ(table[RED200 * 256 + RED200], RED200);
    EXPECT_EQ(table[BLUE200 * 256 + BLUE200], BLUE200);
    // Row a = black weighs nothing: every entry is b itself, even entries
    // Nearest never answers.
    for (int b = 0; b < 256; ++b)
        ASSERT_EQ(table[BLACK * 256 + b], b);
    // So is every row of an entry beyond the palette.
    EXPECT_EQ(table[200 * 256 + 254], 254);
}

TEST_F(MaterialTest, FogColumnsRunFromWeightP1ToP2TowardTheFogColour)
{
    const uint8_t* table = Make(MATERIAL_FOG, 0, 0x10000, 0x00C80000)->table;
    for (int c = 0; c < 256; ++c) {
        ASSERT_EQ(table[c * 256 + 0], c);                 // weight 0: identity
        ASSERT_EQ(table[c * 256 + 255], RED200) << c;     // weight 1: the fog colour
    }
    // Level 128: weight 0x10000 × 128 / 255 = 32896, black becomes red 100.
    EXPECT_EQ(table[BLACK * 256 + 128], RED100);
    EXPECT_EQ(table[BLUE200 * 256 + 128], RED100);  // (100, 0, 99): nearer red 100 than blue 200
}

TEST_F(MaterialTest, ShadeColumnsScaleEveryColourByTheLevel)
{
    const uint8_t* table = Make(MATERIAL_SHADE, 0)->table;
    for (uint8_t c : {BLACK, RED100, RED200, BLUE200}) {
        EXPECT_EQ(table[c * 256 + 255], c);
        EXPECT_EQ(table[c * 256 + 0], BLACK);
    }
    EXPECT_EQ(table[RED200 * 256 + 128], RED100);
    // Entries beyond the palette's four colours read as black.
    EXPECT_EQ(table[250 * 256 + 255], BLACK);
}

TEST_F(MaterialTest, UnsharedMaterialStaysOutOfTheChain)
{
    Material* material = Make(MATERIAL_SHADE, 0, 0, 0, false);
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(scene_->materials, nullptr);
    ReleaseMaterial(material, nullptr);
}

TEST_F(MaterialTest, SceneMaterialIsMadeOnceAndReleased)
{
    EXPECT_EQ(RequireSceneMaterial(scene_, table_), 1);
    Material* material = scene_->sceneMaterial;
    ASSERT_NE(material, nullptr);
    EXPECT_EQ(material->mode, MATERIAL_SHADE);
    EXPECT_EQ(RequireSceneMaterial(scene_, table_), 1);
    EXPECT_EQ(scene_->sceneMaterial, material);
    EXPECT_EQ(material->users, 1u);

    ReleaseSceneMaterial(scene_);
    EXPECT_EQ(scene_->sceneMaterial, nullptr);
    EXPECT_EQ(scene_->materials, nullptr);
    EXPECT_EQ(RequireSceneMaterial(scene_, nullptr), 0);
}

// ---- Object tables -----------------------------------------------------------

class ObjectTableTest : public MaterialTest {
protected:
    ObjectEntity* Object(uint32_t flags, uint32_t colour)
    {
        ObjectEntity* object = ObjectOf(build::AddEntityOfKind(scene_, ENTITY_OBJECT, "o"));
        object->objectFlags = flags;
        object->colour = colour;
        return object;
    }
};

TEST_F(ObjectTableTest, FlatTransparentObjectGetsATintTable)
{
    // α = 128, own colour red 200: tint = 200 × 127 / 255 = 99.
    ObjectEntity* object = Object(OBJECT_TRANSPARENT, 0x80C80000);
    ASSERT_EQ(BuildObjectTable(object, table_), 1);
    const uint8_t* lookup = object->lookupTable;
    EXPECT_EQ(lookup[BLACK], RED100);    // 0 + 99
    EXPECT_EQ(lookup[RED200], RED200);   // 128 × 200 / 255 + 99 = 199
    for (uint32_t i = 256; i < MATERIAL_TABLE_BYTES; ++i)
        ASSERT_EQ(lookup[i], 0);
}

TEST_F(ObjectTableTest, MappedTransparentObjectGetsABlendTableByItsAlpha)
{
    ObjectEntity* opaque = Object(OBJECT_TRANSPARENT | OBJECT_TEXTURE, 0xFF000000);
    ASSERT_EQ(BuildObjectTable(opaque, table_), 1);
    EXPECT_EQ(opaque->lookupTable[RED200 * 256 + BLUE200], BLUE200);  // α 255: all b

    ObjectEntity* half = Object(OBJECT_TRANSPARENT | OBJECT_TEXTURE, 0x80000000);
    ASSERT_EQ(BuildObjectTable(half, table_), 1);
    EXPECT_EQ(half->lookupTable[RED200 * 256 + BLACK], RED100);  // 200 × 127 / 255 = 99
    EXPECT_EQ(half->lookupTable[BLACK * 256 + RED200], RED100);  // 200 × 128 / 255 = 100
}

TEST_F(ObjectTableTest, OpaqueObjectLosesItsTable)
{
    ObjectEntity* object = Object(OBJECT_TRANSPARENT, 0x80C80000);
    ASSERT_EQ(BuildObjectTable(object, table_), 1);
    object->objectFlags = OBJECT_TEXTURE;
    EXPECT_EQ(BuildObjectTable(object, table_), 1);
    EXPECT_EQ(object->lookupTable, nullptr);
}

TEST_F(ObjectTableTest, EnvironmentAreaSwitchesBetweenPrivateAndShared)
{
    ObjectEntity* object = Object(OBJECT_ENVIRONMENT, 0);
    object->environmentMap = build::AddTexture(scene_, "env", 256, 256);
    static_cast<uint16_t*>(object->environmentMap->pixels)[0] = 0x7FFF;

    ASSERT_EQ(UsePrivateEnvironmentMap(object), 1);
    ASSERT_EQ(UsePrivateEnvironmentMap(object), 1);  // replaces the first private area
    EXPECT_TRUE(object->objectFlags & OBJECT_LIGHTMAP);
    ASSERT_NE(object->environmentPixels, nullptr);
    EXPECT_NE(object->environmentPixels, object->environmentMap->pixels);
    for (uint32_t i = 0; i < ENVIRONMENT_AREA_BYTES; ++i)
        ASSERT_EQ(object->environmentPixels[i], 0);

    UseSharedEnvironmentMap(object);
    EXPECT_FALSE(object->objectFlags & OBJECT_LIGHTMAP);
    EXPECT_EQ(object->environmentPixels, object->environmentMap->pixels);

    ASSERT_EQ(UsePrivateEnvironmentMap(object), 1);  // freed with the object
}

TEST_F(ObjectTableTest, EnvironmentAreaNeedsAnEnvironmentMap)
{
    ObjectEntity* object = Object(OBJECT_LIGHTMAP, 0);
    EXPECT_EQ(UsePrivateEnvironmentMap(object), 1);
    EXPECT_EQ(object->environmentPixels, nullptr);
    UseSharedEnvironmentMap(object);
    EXPECT_EQ(object->objectFlags, OBJECT_LIGHTMAP);
    EXPECT_EQ(object->environmentPixels, nullptr);
}

}  // namespace
