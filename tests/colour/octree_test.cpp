#include "colour/palette_data.h"

#include <gtest/gtest.h>

#include <random>

namespace {

int32_t Slot(const Rgb& c, int32_t level)
{
    const int32_t bit = 7 - level;
    return ((c.r >> bit) & 1) << 2 | ((c.g >> bit) & 1) << 1 | ((c.b >> bit) & 1);
}

// The node reached by following a colour's path for `depth` levels.
const ColourOctreeNode* Walk(const ColourOctreeNode* node, const Rgb& c, int32_t depth)
{
    for (int32_t level = 0; level < depth && node; ++level)
        node = node->child[Slot(c, level)];
    return node;
}

TEST(ColourOctree, LeavesAtDepthEightHoldTheLastIndexOfTheirColour)
{
    const std::vector<Rgb> colours = {{10, 20, 30}, {200, 100, 50}, {10, 20, 30}, {10, 20, 31}};
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, OCTREE);
    ASSERT_NE(table, nullptr);

    const ColourOctreeNode* leaf = Walk(table->octree, colours[0], OCTREE_DEPTH);
    ASSERT_NE(leaf, nullptr);
    EXPECT_EQ(leaf->flags, OCTREE_LEAF);
    EXPECT_EQ(leaf->index, 2);
    EXPECT_EQ(Walk(table->octree, colours[1], OCTREE_DEPTH)->index, 1);
    EXPECT_EQ(Walk(table->octree, colours[3], OCTREE_DEPTH)->index, 3);
    for (const Rgb& c : colours) {
        for (int32_t depth = 0; depth < OCTREE_DEPTH; ++depth)
            EXPECT_EQ(Walk(table->octree, c, depth)->flags & OCTREE_LEAF, 0) << depth;
    }
    // Colours 0 and 3 part at the last level, in blue's lowest bit: slots 0 and 1.
    const ColourOctreeNode* parent = Walk(table->octree, colours[0], OCTREE_DEPTH - 1);
    EXPECT_EQ(parent->flags, (OCTREE_OWNS_CHILD << 0) | (OCTREE_OWNS_CHILD << 1));
    DeleteColourTable(table);
}

// Black takes root slot 0 and red slot 4; each empty slot borrows the first
// owned slot in its neighbour order, never a slot filled before it.
TEST(ColourOctree, CompletionFillsEmptySlotsWithTheNearestOwnedChild)
{
    const std::vector<uint32_t> words = MakePalette({{0, 0, 0}, {255, 0, 0}});
    ColourTable* table = MakeTable(words, OCTREE);
    ASSERT_NE(table, nullptr);
    const ColourOctreeNode* root = table->octree;
    EXPECT_EQ(root->flags, (OCTREE_OWNS_CHILD << 0) | (OCTREE_OWNS_CHILD << 4));
    const ColourOctreeNode* black = root->child[0];
    const ColourOctreeNode* red = root->child[4];
    const ColourOctreeNode* expected[8] = {black, black, black, black, red, red, red, red};
    for (int32_t slot = 0; slot < 8; ++slot)
        EXPECT_EQ(root->child[slot], expected[slot]) << slot;

    // Below the root each inner node owns one child, which fills all 8 slots.
    const ColourOctreeNode* node = black;
    for (int32_t level = 1; level < OCTREE_DEPTH; ++level) {
        EXPECT_EQ(node->flags, OCTREE_OWNS_CHILD);
        for (int32_t slot = 1; slot < 8; ++slot)
            EXPECT_EQ(node->child[slot], node->child[0]);
        node = node->child[0];
    }
    EXPECT_EQ(node->index, 0);
    EXPECT_EQ(Walk(root, {255, 255, 255}, OCTREE_DEPTH)->index, 1);
    EXPECT_EQ(Walk(root, {0, 255, 255}, OCTREE_DEPTH)->index, 0);
    DeleteColourTable(table);
}

TEST(ColourOctree, NeighbourOrderPrefersOneBitDifferences)
{
    // Owned root slots 3 (green, blue) and 4 (red): slot 0 tries 1, 2, 4
    // first and takes 4; slot 7 tries 3 first.
    const std::vector<uint32_t> words = MakePalette({{0, 200, 200}, {200, 0, 0}});
    ColourTable* table = MakeTable(words, OCTREE);
    ASSERT_NE(table, nullptr);
    const ColourOctreeNode* root = table->octree;
    const ColourOctreeNode* s3 = root->child[3];
    const ColourOctreeNode* s4 = root->child[4];
    const ColourOctreeNode* expected[8] = {s4, s3, s3, s3, s4, s4, s4, s3};
    for (int32_t slot = 0; slot < 8; ++slot)
        EXPECT_EQ(root->child[slot], expected[slot]) << slot;
    DeleteColourTable(table);
}

// Every path through a completed tree ends at a leaf, and only the first
// 253 colours have leaves.
TEST(ColourOctree, OnlyTheFirst253ColoursEnter)
{
    std::vector<Rgb> colours;
    for (int32_t i = 0; i < 256; ++i)
        colours.push_back({i, (i * 7) & 255, (i * 13) & 255});
    const std::vector<uint32_t> words = MakePalette(colours);
    ColourTable* table = MakeTable(words, OCTREE);
    ASSERT_NE(table, nullptr);
    for (int32_t i = 0; i < 256; ++i) {
        const ColourOctreeNode* leaf = Walk(table->octree, colours[i], OCTREE_DEPTH);
        ASSERT_NE(leaf, nullptr);
        EXPECT_EQ(leaf->flags, OCTREE_LEAF);
        if (i < 253) {
            EXPECT_EQ(leaf->index, i);
        } else {
            EXPECT_LT(leaf->index, 253);
        }
    }
    std::mt19937 random(5);
    std::uniform_int_distribution<int32_t> component(0, 255);
    for (int32_t n = 0; n < 1000; ++n) {
        const Rgb c = {component(random), component(random), component(random)};
        const ColourOctreeNode* leaf = Walk(table->octree, c, OCTREE_DEPTH);
        ASSERT_NE(leaf, nullptr);
        ASSERT_EQ(leaf->flags, OCTREE_LEAF);
    }
    DeleteColourTable(table);
}

}  // namespace
