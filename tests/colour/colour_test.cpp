#include "colour/palette_data.h"
#include "core/tables.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <tuple>

#include <unistd.h>

using namespace kvor3d;

namespace {

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
            if ((Cell(c.r, c.g, c.b) & mask) == (Cell(r, g, b) & mask) &&
                (best < 0 || Distance(c, r, g, b) < Distance(colours[best], r, g, b)))
                best = i;
        }
        if (best >= 0)
            return best;
    }
    return 0;
}

std::vector<Rgb> RandomColours(std::mt19937& random, int32_t count)
{
    std::uniform_int_distribution<int32_t> component(0, 255);
    std::vector<Rgb> colours;
    for (int32_t i = 0; i < count; ++i)
        colours.push_back({component(random), component(random), component(random)});
    return colours;
}

// Full palettes fill most cells; sparse ones send queries to coarser levels
// and to the fallback, which is a search of all 253. Repeated colours check
// that ties keep the lower index.
TEST(ColourGrid, NearestMatchesReferenceSearchForRandomColours)
{
    std::mt19937 random(2024);
    std::uniform_int_distribution<int32_t> component(0, 255);
    for (int32_t count : {256, 253, 64, 12, 3, 1}) {
        std::vector<Rgb> colours = RandomColours(random, count);
        if (count > 12)
            colours[count / 2] = colours[3];
        const std::vector<uint32_t> words = MakePalette(colours);
        ColourTable* table = MakeTable(words, GRID);
        ASSERT_NE(table, nullptr);
        for (int32_t n = 0; n < 20000; ++n) {
            const int32_t r = component(random), g = component(random), b = component(random);
            ASSERT_EQ(Nearest(table, r, g, b), ReferenceNearest(colours, r, g, b))
                << count << ": " << r << "," << g << "," << b;
        }
        DeleteColourTable(table);
    }
}

// Colours 1-3 share cell 0x111; of two at the same distance the lower index
// wins. Components outside 0-255 are clamped on both sides.
TEST(ColourGrid, TiesKeepTheLowerIndexAndComponentsAreClamped)
{
    const std::vector<uint32_t> words = MakePalette({{200, 0, 0}, {20, 20, 20}, {16, 16, 16}, {31, 31, 31}});
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(Nearest(table, 18, 18, 18), 1);
    EXPECT_EQ(Nearest(table, 17, 17, 17), 2);
    DeleteColourTable(table);

    std::mt19937 random(11);
    const std::vector<uint32_t> full = MakePalette(RandomColours(random, 256));
    table = MakeTable(full, GRID);
    const int32_t cases[][6] = {{-5, 300, 100000, 0, 255, 255}, {256, 1000, 511, 255, 255, 255},
                                {INT32_MIN, 40000, -1, 0, 255, 0}, {700, -700, 128, 255, 0, 128}};
    for (const auto& c : cases)
        EXPECT_EQ(Nearest(table, c[0], c[1], c[2]), Nearest(table, c[3], c[4], c[5])) << c[0] << "," << c[1];
    DeleteColourTable(table);
}

// The structures are built only when switched on in the low 16 bits; with
// the octree (as both programs build it) or without a grid every answer is 0.
TEST(ColourTable, BuildsOnlyTheStructuresSwitchedOn)
{
    const std::vector<uint32_t> words = MakePalette({{0, 0, 0}, {255, 255, 255}, {200, 16, 40}});
    const TagItem highBits[] = {{TAG_COLOURTABLE_PALETTE, TagPtr(words.data())},
                                {TAG_COLOURTABLE_GRID, 0x10000},
                                {TAG_DONE, 0}};
    ColourTable* table = CreateColourTable(highBits);
    ColourTable* both = MakeTable(words, GRID | OCTREE);
    EXPECT_EQ(std::vector<int32_t>(table->components, table->components + 9),
              (std::vector<int32_t>{0, 0, 0, 255, 255, 255, 200, 16, 40}));
    EXPECT_EQ((std::vector<bool>{table->grid != nullptr, both->grid != nullptr, both->octree != nullptr}),
              (std::vector<bool>{false, true, true}));
    EXPECT_EQ(Nearest(table, 255, 255, 255) + Nearest(both, 255, 255, 255), 0);
    DeleteColourTable(table);
    DeleteColourTable(both);
    const TagItem none[] = {{TAG_COLOURTABLE_GRID, 1}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateColourTable(none), nullptr);
}

const ColourOctreeNode* Walk(const ColourOctreeNode* node, const Rgb& c, int32_t depth)
{
    for (int32_t level = 0; level < depth && node; ++level) {
        const int32_t bit = 7 - level;
        node = node->child[((c.r >> bit) & 1) << 2 | ((c.g >> bit) & 1) << 1 | ((c.b >> bit) & 1)];
    }
    return node;
}

// A colour's path takes one bit of red, green and blue per level; a repeated
// colour's leaf holds its last index; an empty slot borrows an owned one.
TEST(ColourOctree, LeavesHoldTheLastIndexAndEmptySlotsAStandIn)
{
    const std::vector<Rgb> colours = {{10, 20, 30}, {200, 100, 50}, {10, 20, 30}, {10, 20, 31}};
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, OCTREE);
    ASSERT_NE(table, nullptr);
    const int32_t indices[] = {2, 1, 2, 3};
    for (size_t i = 0; i < colours.size(); ++i) {
        const ColourOctreeNode* leaf = Walk(table->octree, colours[i], OCTREE_DEPTH);
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->flags, OCTREE_LEAF);
        EXPECT_EQ(leaf->index, indices[i]);
    }
    // Every other colour's path ends at a leaf through the stand-ins.
    EXPECT_EQ(Walk(table->octree, {255, 0, 255}, OCTREE_DEPTH)->flags, OCTREE_LEAF);
    DeleteColourTable(table);
}

// A palette file is 770 host-order words with at most 256 colours; any
// other size or count fails and leaves the buffer alone.
TEST(PaletteFile, ReadsExactlyTheFileOfAtMost256Colours)
{
    std::vector<uint32_t> palette = MakePalette(std::vector<Rgb>(256, Rgb{1, 2, 3}));
    const std::string name = "/tmp/kvor_palette_" + std::to_string(::getpid());
    const std::tuple<size_t, uint32_t, int> cases[] = {
        {PALETTE_FILE_BYTES, 256u << 16, PALETTE_OK},          {PALETTE_FILE_BYTES, 16u << 16, PALETTE_OK},
        {PALETTE_FILE_BYTES - 1, 256u << 16, ERR_PALETTE_SIZE}, {PALETTE_FILE_BYTES + 1, 256u << 16, ERR_PALETTE_SIZE},
        {PALETTE_FILE_BYTES, 257u << 16, ERR_PALETTE_COUNT},   {PALETTE_FILE_BYTES, 0xFFFF0000u, ERR_PALETTE_COUNT}};
    for (auto [bytes, head, result] : cases) {
        palette[0] = head;
        palette.resize(bytes / 4 + 1, 0x77777777);
        std::FILE* file = std::fopen(name.c_str(), "wb");
        std::fwrite(palette.data(), 1, bytes, file);
        std::fclose(file);
        std::vector<uint32_t> words(PALETTE_FILE_WORDS, 0x12345678);
        EXPECT_EQ(ReadPaletteFile(name.c_str(), words.data()), result) << bytes << " " << head;
        palette.resize(PALETTE_FILE_WORDS);
        EXPECT_EQ(words, result == PALETTE_OK ? palette : std::vector<uint32_t>(PALETTE_FILE_WORDS, 0x12345678));
    }
    std::remove(name.c_str());
    std::vector<uint32_t> words(PALETTE_FILE_WORDS);
    EXPECT_EQ(ReadPaletteFile("/tmp/kvor_palette_does_not_exist", words.data()), ERR_PALETTE_OPEN);
}

}  // namespace
