#include "colour/palette_data.h"

#include <gtest/gtest.h>

namespace {

const std::vector<Rgb> SMALL = {{0, 0, 0}, {255, 255, 255}, {200, 16, 40}, {7, 128, 250}};

TEST(ColourTable, NeedsPaletteData)
{
    const TagItem none[] = {{TAG_COLOURTABLE_GRID, 1}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateColourTable(none), nullptr);
    const TagItem nullPalette[] = {{TAG_COLOURTABLE_PALETTE, 0}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateColourTable(nullPalette), nullptr);
}

TEST(ColourTable, CopiesPaletteAndTakesComponentsFromTheTopByte)
{
    const std::vector<uint32_t> words = MakePalette(SMALL);
    ColourTable* table = MakeTable(words, 0);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ColourCount(table), 4);
    EXPECT_EQ(std::vector<uint32_t>(table->palette, table->palette + 14), words);
    const std::vector<int32_t> expected = {0, 0, 0, 255, 255, 255, 200, 16, 40, 7, 128, 250};
    EXPECT_EQ(std::vector<int32_t>(table->components, table->components + 12), expected);
    EXPECT_EQ(table->grid, nullptr);
    EXPECT_EQ(table->octree, nullptr);
    DeleteColourTable(table);
}

// The switches are read from the low 16 bits, through TAG_MORE links too.
TEST(ColourTable, BuildsOnlyTheStructuresSwitchedOn)
{
    const std::vector<uint32_t> words = MakePalette(SMALL);
    const TagItem highBitsOnly[] = {
        {TAG_COLOURTABLE_PALETTE, TagPtr(words.data())},
        {TAG_COLOURTABLE_GRID, 0x10000},
        {TAG_COLOURTABLE_OCTREE, 0x20000},
        {TAG_DONE, 0},
    };
    ColourTable* table = CreateColourTable(highBitsOnly);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->grid, nullptr);
    EXPECT_EQ(table->octree, nullptr);
    DeleteColourTable(table);

    const TagItem gridTag[] = {{TAG_COLOURTABLE_GRID, 0x10001}, {TAG_DONE, 0}};
    const TagItem chained[] = {
        {TAG_COLOURTABLE_PALETTE, TagPtr(words.data())},
        {TAG_MORE, TagPtr(gridTag)},
    };
    table = CreateColourTable(chained);
    ASSERT_NE(table, nullptr);
    EXPECT_NE(table->grid, nullptr);
    EXPECT_EQ(table->octree, nullptr);
    DeleteColourTable(table);

    table = MakeTable(words, OCTREE);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->grid, nullptr);
    EXPECT_NE(table->octree, nullptr);
    DeleteColourTable(table);

    table = MakeTable(words, GRID | OCTREE);
    ASSERT_NE(table, nullptr);
    EXPECT_NE(table->grid, nullptr);
    EXPECT_NE(table->octree, nullptr);
    DeleteColourTable(table);
}

// Both programs build their table with the octree: every answer is 0, as it
// is for a table without a grid and for no table at all.
TEST(ColourTable, TablesWithoutGridSearchOrWithOctreeAnswerZero)
{
    const std::vector<uint32_t> words = MakePalette(SMALL);
    ColourTable* octree = MakeTable(words, OCTREE);
    ColourTable* both = MakeTable(words, GRID | OCTREE);
    ColourTable* bare = MakeTable(words, 0);
    for (const Rgb& c : SMALL) {
        EXPECT_EQ(Nearest(octree, c.r, c.g, c.b), 0);
        EXPECT_EQ(Nearest(both, c.r, c.g, c.b), 0);
        EXPECT_EQ(Nearest(bare, c.r, c.g, c.b), 0);
        EXPECT_EQ(Nearest(nullptr, c.r, c.g, c.b), 0);
    }
    DeleteColourTable(octree);
    DeleteColourTable(both);
    DeleteColourTable(bare);
    DeleteColourTable(nullptr);
}

TEST(ColourTable, EmptyPaletteBuildsNoGridAndAnswersZero)
{
    const std::vector<uint32_t> words = MakePalette({});
    ColourTable* table = MakeTable(words, GRID | OCTREE);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ColourCount(table), 0);
    EXPECT_EQ(table->grid, nullptr);
    ASSERT_NE(table->octree, nullptr);
    EXPECT_EQ(table->octree->flags, 0);
    EXPECT_EQ(Nearest(table, 10, 20, 30), 0);
    DeleteColourTable(table);
}

}  // namespace
