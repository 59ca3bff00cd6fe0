#include "colour/palette_data.h"
#include "core/tables.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr int32_t LEVEL_MASK[4] = {0xFFF, 0xEEE, 0xCCC, 0x888};

int32_t Cell(int32_t r, int32_t g, int32_t b)
{
    return (r >> 4) << 8 | (g >> 4) << 4 | (b >> 4);
}

int32_t Distance(const Rgb& c, int32_t r, int32_t g, int32_t b)
{
    return (c.r - r) * (c.r - r) + (c.g - g) * (c.g - g) + (c.b - b) * (c.b - b);
}

// The lowest index at the smallest distance among the first 253 colours that
// share the finest cell level with (r, g, b) that holds any; all of the first
// 253 when no level does.
int32_t ReferenceNearest(const std::vector<Rgb>& colours, int32_t r, int32_t g, int32_t b)
{
    const int32_t searched = std::min<int32_t>(int32_t(colours.size()), 253);
    for (int32_t mask : {0xFFF, 0xEEE, 0xCCC, 0x888, 0}) {
        int32_t best = -1;
        for (int32_t i = 0; i < searched; ++i) {
            const Rgb& c = colours[i];
            if ((Cell(c.r, c.g, c.b) & mask) != (Cell(r, g, b) & mask))
                continue;
            if (best < 0 || Distance(c, r, g, b) < Distance(colours[best], r, g, b))
                best = i;
        }
        if (best >= 0)
            return best;
    }
    return 0;
}

std::vector<uint8_t> ListOf(const ColourTable* table, int32_t slot)
{
    const uint8_t* list = table->grid[slot];
    if (!list)
        return {};
    return std::vector<uint8_t>(list + 1, list + 2 + list[0]);
}

std::vector<Rgb> RandomColours(std::mt19937& random, int32_t count)
{
    std::uniform_int_distribution<int32_t> component(0, 255);
    std::vector<Rgb> colours;
    for (int32_t i = 0; i < count; ++i)
        colours.push_back({component(random), component(random), component(random)});
    return colours;
}

TEST(ColourGrid, CellsListTheColoursOfTheirFinestOccupiedLevel)
{
    // Colour 0 owns cell 0x312; colours 1 (cell 0xA00) and 2 (cell 0xB10)
    // share the level-1 key 0xA00; colour 3 owns cell 0xFFF.
    const std::vector<Rgb> colours = {{0x31, 0x15, 0x2F}, {0xA0, 0x00, 0x00}, {0xB5, 0x1F, 0x0A}, {240, 240, 240}};
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);

    EXPECT_EQ(ListOf(table, 0x312), std::vector<uint8_t>({0}));
    EXPECT_EQ(ListOf(table, 0xA00), std::vector<uint8_t>({1}));
    EXPECT_EQ(ListOf(table, 0xB10), std::vector<uint8_t>({2}));
    EXPECT_EQ(ListOf(table, 0xA01), std::vector<uint8_t>({1, 2}));
    EXPECT_EQ(ListOf(table, 0xB11), std::vector<uint8_t>({1, 2}));
    // Level 2 (0xCCC): cell 0x200 shares the key 0x000 with colour 0.
    EXPECT_EQ(ListOf(table, 0x200), std::vector<uint8_t>({0}));
    // Level 3 (0x888): only the top bits agree.
    EXPECT_EQ(ListOf(table, 0x944), std::vector<uint8_t>({1, 2}));
    EXPECT_EQ(ListOf(table, 0x888), std::vector<uint8_t>({3}));
    // Cells whose top bits match no colour (red low, green or blue high) use
    // the fallback of every colour.
    EXPECT_EQ(ListOf(table, 0x080), std::vector<uint8_t>());
    EXPECT_EQ(ListOf(table, 0x008), std::vector<uint8_t>());
    EXPECT_EQ(ListOf(table, COLOUR_GRID_FALLBACK), std::vector<uint8_t>({0, 1, 2, 3}));
    DeleteColourTable(table);
}

TEST(ColourGrid, NoFallbackWhenEveryCellHasAList)
{
    const std::vector<Rgb> colours = {{0, 0, 0}, {0, 0, 255}, {0, 255, 0}, {0, 255, 255},
                                      {255, 0, 0}, {255, 0, 255}, {255, 255, 0}, {255, 255, 255}};
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    for (int32_t cell = 0; cell < COLOUR_GRID_CELLS; ++cell)
        ASSERT_NE(table->grid[cell], nullptr) << cell;
    EXPECT_EQ(table->grid[COLOUR_GRID_FALLBACK], nullptr);
    DeleteColourTable(table);
}

TEST(ColourGrid, ExactColourGivesItsFirstIndex)
{
    std::mt19937 random(7);
    std::vector<Rgb> colours = RandomColours(random, 200);
    colours[150] = colours[40];
    colours[199] = colours[40];
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    for (int32_t i = 0; i < 200; ++i) {
        const Rgb& c = colours[i];
        int32_t first = 0;
        while (colours[first].r != c.r || colours[first].g != c.g || colours[first].b != c.b)
            ++first;
        EXPECT_EQ(Nearest(table, c.r, c.g, c.b), first) << i;
    }
    EXPECT_EQ(Nearest(table, colours[199].r, colours[199].g, colours[199].b), 40);
    DeleteColourTable(table);
}

// Colours 1-3 differ only below the top four bits: cell 0x111 holds them
// all, and of two at the same distance the lower index wins.
TEST(ColourGrid, CellColoursDifferingBelowTopBitsAreAllSearched)
{
    const std::vector<Rgb> colours = {{200, 0, 0}, {20, 20, 20}, {16, 16, 16}, {31, 31, 31}};
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ListOf(table, 0x111), std::vector<uint8_t>({1, 2, 3}));
    EXPECT_EQ(Nearest(table, 18, 18, 18), 1);
    EXPECT_EQ(Nearest(table, 17, 17, 17), 2);
    EXPECT_EQ(Nearest(table, 30, 29, 31), 3);
    EXPECT_EQ(Nearest(table, 16, 16, 16), 2);
    DeleteColourTable(table);
}

TEST(ColourGrid, ColoursFrom253OnAreNeverAnswers)
{
    std::vector<Rgb> colours(256, Rgb{128, 128, 128});
    for (int32_t i = 0; i < 253; ++i)
        colours[i] = {i / 2, 0, 0};
    colours[253] = {255, 255, 255};
    colours[254] = {0, 255, 0};
    colours[255] = {0, 0, 255};
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(ListOf(table, COLOUR_GRID_FALLBACK).size(), 253u);
    for (int32_t i = 253; i < 256; ++i) {
        const int32_t index = Nearest(table, colours[i].r, colours[i].g, colours[i].b);
        EXPECT_LT(index, 253);
        EXPECT_EQ(index, ReferenceNearest(colours, colours[i].r, colours[i].g, colours[i].b));
    }
    for (int32_t cell = 0; cell < COLOUR_GRID_SLOTS; ++cell) {
        for (uint8_t index : ListOf(table, cell))
            ASSERT_LT(index, 253) << cell;
    }
    DeleteColourTable(table);
}

TEST(ColourGrid, ComponentsOutsideTheRangeAreClamped)
{
    std::mt19937 random(11);
    const std::vector<Rgb> colours = RandomColours(random, 256);
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Nearest(table, -5, 300, 100000), Nearest(table, 0, 255, 255));
    EXPECT_EQ(Nearest(table, INT32_MIN, INT32_MAX, -1), Nearest(table, 0, 255, 0));
    DeleteColourTable(table);
}

// Full palettes fill most cells; sparse ones send queries to coarser levels
// and to the fallback, which for those queries is a search of all 253.
TEST(ColourGrid, NearestMatchesReferenceSearchForRandomColours)
{
    std::mt19937 random(2024);
    std::uniform_int_distribution<int32_t> component(0, 255);
    for (int32_t count : {256, 253, 64, 12, 3, 1}) {
        const std::vector<Rgb> colours = RandomColours(random, count);
        const std::vector<uint32_t> words = MakePalette(colours);
        ColourTable* table = MakeTable(words, GRID);
        ASSERT_NE(table, nullptr);
        int32_t fallbackQueries = 0;
        for (int32_t n = 0; n < 20000; ++n) {
            const int32_t r = component(random), g = component(random), b = component(random);
            const int32_t expected = ReferenceNearest(colours, r, g, b);
            ASSERT_EQ(Nearest(table, r, g, b), expected) << count << ": " << r << "," << g << "," << b;
            if (!table->grid[Cell(r, g, b)]) {
                ++fallbackQueries;
                int32_t best = 0;
                for (int32_t i = 1; i < std::min(count, 253); ++i) {
                    if (Distance(colours[i], r, g, b) < Distance(colours[best], r, g, b))
                        best = i;
                }
                ASSERT_EQ(expected, best);
            }
        }
        if (count <= 3) {
            EXPECT_GT(fallbackQueries, 0) << count;
        }
        DeleteColourTable(table);
    }
}

}  // namespace
