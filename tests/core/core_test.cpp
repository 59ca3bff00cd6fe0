#include "colour/palette_data.h"
#include "core/core.h"
#include "core/tables.h"

#include <gtest/gtest.h>

#include <array>

using namespace kvor3d;

namespace {

constexpr uint32_t TAG_A = 0x803d1201;
constexpr uint32_t TAG_B = 0x803d1202;
constexpr uint32_t TAG_C = 0x803d1209;

// FindTag follows TAG_MORE (and finds a TAG_MORE item itself when asked);
// GetTagData reads one array only; the first of equal tags wins.
TEST(TagLists, FindTagFollowsTagMoreAndGetTagDataDoesNot)
{
    const TagItem third[] = {{TAG_C, 30}, {TAG_DONE, 0}};
    const TagItem second[] = {{TAG_B, 20}, {TAG_MORE, TagPtr(third)}, {TAG_A, 99}, {TAG_DONE, 0}};
    const TagItem first[] = {{TAG_A, 0}, {TAG_A, 10}, {TAG_MORE, TagPtr(second)}, {TAG_DONE, 0}};
    EXPECT_EQ(FindTag(TAG_A, first), &first[0]);
    EXPECT_EQ(FindTag(TAG_B, first), &second[0]);
    EXPECT_EQ(FindTag(TAG_C, first), &third[0]);
    EXPECT_EQ(FindTag(TAG_MORE, first), &first[2]);
    EXPECT_EQ(FindTag(TAG_DONE, first), nullptr);
    EXPECT_EQ(FindTag(0x803d1300, first), nullptr);
    EXPECT_EQ(GetTagData(TAG_A, 7, first), 0u);
    EXPECT_EQ(GetTagData(TAG_B, 7, first), 7u);
    EXPECT_EQ(GetTagData(TAG_C, 7, second), 7u);
    EXPECT_EQ(TagFloat(TagDataFloat(0x7FC12345u)), 0x7FC12345u);
}

TEST(Memory, AllocationsAreClearedAndProductsPast32BitsRefused)
{
    auto* block = static_cast<uint8_t*>(MemAlloc(3, 5));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::count(block, block + 15, 0), 15);
    MemFree(block);
    for (auto [count, size] : {std::pair{0x10000u, 0x10000u}, {0x80000000u, 2u}, {3u, 0x55555556u}})
        EXPECT_EQ(MemAlloc(count, size), nullptr) << count << " × " << size;
    std::array<uint8_t, 16> bytes;
    bytes.fill(0xA5);
    const uint8_t source[4] = {1, 2, 3, 4};
    MemCopy(bytes.data() + 3, source, 4);
    MemFill(bytes.data() + 9, 0, 2);
    MemCopy(bytes.data(), source, -1);
    MemFill(bytes.data(), 0, INT32_MIN);
    const std::array<uint8_t, 16> expected = {0xA5, 0xA5, 0xA5, 1, 2, 3, 4, 0xA5, 0xA5, 0, 0, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
    EXPECT_EQ(bytes, expected);
}

// 709379 ticks a second, truncated, exact where ns × 709379 passes 64 bits,
// and only the low 32 bits returned.
TEST(TicksFromNanoseconds, CountsExactlyAndKeepsTheLow32Bits)
{
    const std::pair<uint64_t, uint32_t> cases[] = {
        {0, 0},           {1409, 0},          {1410, 1},  {999999999, 709378},
        {1000000000, 709379}, {6054545307938u, 0xFFFFFFFFu}, {6054545307939u, 0},
        {100000000000000u, 2218423264u}, {UINT64_MAX, 0x9B000748u},
    };
    for (auto [ns, ticks] : cases)
        EXPECT_EQ(TicksFromNanoseconds(ns), ticks) << ns;
}

TEST(EngineTables, SampleEntries)
{
    ASSERT_NE(BuildSquareTable(), nullptr);
    const std::pair<int, int32_t> squares[] = {{0, 65536}, {1, 65025}, {255, 1}, {256, 0}, {257, 1}, {511, 65025}};
    for (auto [i, v] : squares)
        EXPECT_EQ(SquareTable[i], v) << i;
    ASSERT_EQ(BuildNormalTable(), 1);
    EXPECT_EQ(NormalTable[0], 196);
    EXPECT_EQ(NormalTable[127], 128);
    EXPECT_EQ(NormalTable[255], 58);
    FreeNormalTable();
    EXPECT_EQ(NormalTable, nullptr);
}

// Colours at distinct cells of the grid: black, white, 200, 155, 100 grey.
TEST(EngineTables, ShadeBlendAndAddTablesMixPaletteColours)
{
    const std::vector<uint32_t> words =
        MakePalette({{0, 0, 0}, {255, 255, 255}, {200, 200, 200}, {155, 155, 155}, {100, 100, 100}});
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    enum { BLACK, WHITE, LIGHT, MID, DARK };
    ASSERT_EQ(BuildShadeTable(table, 45), 1);
    EXPECT_EQ(ShadeTable[45 * 256 + LIGHT], LIGHT);
    EXPECT_EQ(ShadeTable[255 * 256 + LIGHT], WHITE);
    EXPECT_EQ(ShadeTable[0 * 256 + LIGHT], MID);
    EXPECT_EQ(ShadeTable[100 * 256 + DARK], MID);
    EXPECT_EQ(ShadeTable[100 * 256 + 5], 0);
    uint8_t* blend = BuildBlendTable(table);
    EXPECT_EQ(blend[WHITE * 256 + BLACK], DARK);  // 100 × 255 >> 8 = 99
    MemFree(blend);
    FreeShadeTable();
    DeleteColourTable(table);
}

}  // namespace
