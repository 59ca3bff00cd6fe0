// Materials over a palette of 253 searchable greys (colour i = (i, i, i)):
// every entry of every mode's table is the grey its formula gives, clamped
// to 0-255 and then to 252, the lightest grey Nearest answers.
#include "colour/palette_data.h"
#include "core/settings.h"
#include "scene/material.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace kvor3d;

namespace {

class MaterialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::vector<uint32_t> greys;
        for (uint32_t i = 0; i < 256; ++i)
            greys.push_back(i * 0x010101);
        words_ = build::PaletteWords(greys);
        table_ = MakeTable(words_, GRID);
    }
    void TearDown() override
    {
        DeleteColourTable(table_);
    }
    Material* Make(uint32_t mode, uint32_t p1, uint32_t p2 = 0, uint32_t p3 = 0)
    {
        const TagItem tags[] = {{TAG_MATERIAL_MODE, mode}, {TAG_MATERIAL_P1, p1},
                                {TAG_MATERIAL_P2, p2},     {TAG_MATERIAL_P3, p3},
                                {TAG_MATERIAL_COLOURTABLE, TagPtr(table_)}, {TAG_DONE, 0}};
        return CreateMaterial(tags);
    }
    std::vector<uint32_t> words_;
    ColourTable* table_ = nullptr;
};

int64_t Grey(int64_t value)
{
    return std::min<int64_t>(std::clamp<int64_t>(value, 0, 255), 252);
}

// Entry [row × 256 + column] of each mode, from its rule in 16.16; a blend
// row whose weighted colour is black leaves every column as it is.
struct ModeCase {
    uint32_t mode, p1, p2, p3;
    std::function<int64_t(int64_t row, int64_t column)> entry;
};

TEST_F(MaterialTest, EveryEntryOfEveryModeIsItsFormula)
{
    const ModeCase cases[] = {
        {MATERIAL_ADD, 0x8000, 0, 0, [](int64_t a, int64_t b) { return Grey(b + ((0x8000 * a) >> 16)); }},
        {MATERIAL_SUBTRACT, 0x10000, 0, 0, [](int64_t a, int64_t b) { return Grey(b - a); }},
        {MATERIAL_BLEND, 0x4000, 0, 0,
         [](int64_t a, int64_t b) { return ((0x4000 * a) >> 16) == 0 ? b : Grey(((0xC000 * b) + 0x4000 * a) >> 16); }},
        // Mode 7: column `level` moves colour c toward the fog grey 64 by a
        // weight from p1 at level 0 to p2 at level 255; the middle levels
        // tell a divisor of 255 from one of 256.
        {MATERIAL_FOG, 0x1000, 0x10000, 0x00404040,
         [](int64_t c, int64_t level) {
             const int64_t weight = 0x1000 + (0x10000 - 0x1000) * level / 255;
             return Grey(((0x10000 - weight) * c + weight * 64) >> 16);
         }},
        {MATERIAL_FOG, 0, 0x8000, 0x00FFFFFF,
         [](int64_t c, int64_t level) {
             const int64_t weight = 0x8000 * level / 255;
             return weight == 0 ? c : Grey(((0x10000 - weight) * c + weight * 255) >> 16);
         }},
        {MATERIAL_SHADE, 0, 0, 0, [](int64_t c, int64_t level) { return Grey((c * (level * 65536 / 255)) >> 16); }},
        {MATERIAL_USER, 0, 0, 0, [](int64_t, int64_t) { return int64_t(0); }},
    };
    for (const ModeCase& c : cases) {
        Material* material = Make(c.mode, c.p1, c.p2, c.p3);
        ASSERT_NE(material, nullptr);
        ASSERT_NE(material->table, nullptr);
        for (int64_t row = 0; row < 256; ++row)
            for (int64_t column = 0; column < 256; ++column)
                ASSERT_EQ(material->table[row * 256 + column], c.entry(row, column))
                    << "mode " << c.mode << " p1 " << c.p1 << " [" << row << ", " << column << "]";
        ReleaseMaterial(material, nullptr);
    }
    Material* record = Make(3, 0x8000);
    EXPECT_EQ(record->table, nullptr);
    ReleaseMaterial(record, nullptr);
}

// A 15-bit texture's bump map: the halved differences of the grey values
// (8c for the texel (c, c, c)) above and below it in the high byte, left and
// right of it in the low byte, each a signed byte; the edge texels stand in
// for those beyond the edge.
TEST_F(MaterialTest, BumpMapHoldsTheHalvedGreyDifferencesOfTheNeighbours)
{
    SetPixelMode(1);
    const int32_t side = TEXTURE_RAW_SIDE;
    const auto grey = [side](int32_t x, int32_t y) { return 8 * ((std::clamp(x, 0, side - 1) * 3 + std::clamp(y, 0, side - 1) * 7) % 32); };
    std::vector<uint16_t> raw(size_t(side) * side);
    for (int32_t i = 0; i < side * side; ++i)
        raw[size_t(i)] = uint16_t(grey(i % side, i / side) / 8 * 0x0421);
    const TagItem tags[] = {{TAG_TEXTURE_MEMORY, TagPtr(raw.data())}, {TAG_TEXTURE_BUMPMAP, 0x10001}, {TAG_DONE, 0}};
    Texture* texture = CreateTexture(tags);
    ASSERT_TRUE(texture && texture->bumpMap);
    for (int32_t i = 0; i < side * side; ++i) {
        const int32_t x = i % side, y = i / side;
        ASSERT_EQ(texture->bumpMap[i], uint8_t((grey(x, y - 1) - grey(x, y + 1)) >> 1) << 8 | uint8_t((grey(x - 1, y) - grey(x + 1, y)) >> 1)) << x << ", " << y;
    }
    FreeTexture(texture);
}

}  // namespace
