#include "colour/palette_data.h"
#include "core/tables.h"

#include <gtest/gtest.h>

namespace {

uint8_t Radial(int32_t x, int32_t y)
{
    return RadialTable[(y + 128) * 256 + (x + 128)];
}

// Colours at distinct cells of the grid, so each exact colour is its own
// single candidate.
const std::vector<Rgb> GREYS = {{0, 0, 0}, {255, 255, 255}, {200, 200, 200},
                                {155, 155, 155}, {100, 100, 100}, {30, 60, 90}};
constexpr int32_t BLACK = 0, WHITE = 1, LIGHT = 2, MID = 3, DARK = 4, BLUISH = 5;

TEST(EngineTables, SquareTableMatchesSampleEntries)
{
    int32_t* squares = BuildSquareTable();
    ASSERT_NE(squares, nullptr);
    EXPECT_EQ(SquareTable, squares);
    EXPECT_EQ(squares[0], 65536);
    EXPECT_EQ(squares[256], 0);
    EXPECT_EQ(squares[255], 1);
    EXPECT_EQ(squares[511], 65025);
    EXPECT_EQ(squares[512], 0);
    EXPECT_EQ(BuildSquareTable(), squares);
}

TEST(EngineTables, NormalTableMatchesSampleEntries)
{
    ASSERT_EQ(BuildNormalTable(), 1);
    ASSERT_NE(NormalTable, nullptr);
    EXPECT_EQ(NormalTable[0], 196);
    EXPECT_EQ(NormalTable[127], 128);
    EXPECT_EQ(NormalTable[255], 58);
    FreeNormalTable();
    EXPECT_EQ(NormalTable, nullptr);
    FreeNormalTable();
}

TEST(EngineTables, PositionTableMatchesSampleEntriesAndIsRecomputedInPlace)
{
    ASSERT_EQ(BuildPositionTable(45, 320, 32000), 1);
    int32_t* positions = PositionTable;
    ASSERT_NE(positions, nullptr);
    EXPECT_EQ(positions[0], 10240);
    EXPECT_EQ(positions[16384], 0);
    EXPECT_EQ(positions[32767], -10239);

    ASSERT_EQ(BuildPositionTable(0, 640, 32768), 1);
    EXPECT_EQ(PositionTable, positions);
    EXPECT_EQ(positions[0], 5120);
    EXPECT_EQ(positions[32767], -5119);

    // A width below 1 fails and keeps the table as it was.
    EXPECT_EQ(BuildPositionTable(45, 0, 32768), 0);
    EXPECT_EQ(BuildPositionTable(45, -320, 32768), 0);
    EXPECT_EQ(PositionTable, positions);
    EXPECT_EQ(positions[0], 5120);

    FreePositionTable();
    EXPECT_EQ(PositionTable, nullptr);
    FreePositionTable();
    EXPECT_EQ(BuildPositionTable(45, 0, 32768), 0);
    EXPECT_EQ(PositionTable, nullptr);
}

TEST(EngineTables, RadialTableMatchesSampleEntries)
{
    ASSERT_EQ(BuildRadialTable(), 1);
    ASSERT_NE(RadialTable, nullptr);
    EXPECT_EQ(Radial(0, 0), 255);
    EXPECT_EQ(Radial(127, 0), 1);
    EXPECT_EQ(Radial(0, 127), 1);
    EXPECT_EQ(Radial(-128, 0), 0);
    EXPECT_EQ(Radial(-128, -128), 0);
    EXPECT_EQ(Radial(3, -4), 245);
    EXPECT_EQ(Radial(1, 1), 252);
    FreeRadialTable();
    EXPECT_EQ(RadialTable, nullptr);
    FreeRadialTable();
}

TEST(EngineTables, ShadeTableShiftsEveryComponentAndClamps)
{
    const std::vector<uint32_t> words = MakePalette(GREYS);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);
    ASSERT_EQ(BuildShadeTable(table, 45), 1);
    ASSERT_NE(ShadeTable, nullptr);
    for (int32_t c = 0; c < int32_t(GREYS.size()); ++c)
        EXPECT_EQ(ShadeTable[45 * 256 + c], c) << c;
    EXPECT_EQ(ShadeTable[255 * 256 + LIGHT], WHITE);
    EXPECT_EQ(ShadeTable[0 * 256 + LIGHT], MID);
    EXPECT_EQ(ShadeTable[0 * 256 + BLACK], BLACK);
    EXPECT_EQ(ShadeTable[100 * 256 + DARK], MID);
    EXPECT_EQ(ShadeTable[255 * 256 + WHITE], WHITE);
    // Colours beyond the palette's six stay 0.
    for (int32_t level = 0; level < 256; ++level) {
        for (int32_t c = int32_t(GREYS.size()); c < 256; ++c)
            ASSERT_EQ(ShadeTable[level * 256 + c], 0) << level << "," << c;
    }
    EXPECT_EQ(BuildShadeTable(nullptr, 45), 0);
    FreeShadeTable();
    EXPECT_EQ(ShadeTable, nullptr);
    FreeShadeTable();
    DeleteColourTable(table);
}

// The programs' octree table answers 0 for every colour; rebuilding over a
// table made from the grid leaves nothing of it behind.
TEST(EngineTables, ShadeTableIsAllZeroWithAnOctreeTable)
{
    const std::vector<uint32_t> words = MakePalette(GREYS);
    ColourTable* grid = MakeTable(words, GRID);
    ColourTable* octree = MakeTable(words, OCTREE);
    ASSERT_EQ(BuildShadeTable(grid, 45), 1);
    uint8_t* shades = ShadeTable;
    EXPECT_EQ(shades[45 * 256 + WHITE], WHITE);

    ASSERT_EQ(BuildShadeTable(octree, 45), 1);
    EXPECT_EQ(ShadeTable, shades);
    for (int32_t i = 0; i < 65536; ++i)
        ASSERT_EQ(ShadeTable[i], 0) << i;
    FreeShadeTable();
    DeleteColourTable(grid);
    DeleteColourTable(octree);
}

TEST(EngineTables, BlendAndAddTablesMixPaletteColours)
{
    const std::vector<uint32_t> words = MakePalette(GREYS);
    ColourTable* table = MakeTable(words, GRID);
    ASSERT_NE(table, nullptr);

    uint8_t* blend = BuildBlendTable(table);
    ASSERT_NE(blend, nullptr);
    EXPECT_EQ(blend[WHITE * 256 + BLACK], DARK);    // 100 × 255 >> 8 = 99
    EXPECT_EQ(blend[BLACK * 256 + WHITE], MID);     // 156 × 255 >> 8 = 155
    EXPECT_EQ(blend[WHITE * 256 + WHITE], WHITE);
    EXPECT_EQ(blend[BLUISH * 256 + BLUISH], BLUISH);
    EXPECT_EQ(blend[6 * 256 + WHITE], 0);
    EXPECT_EQ(blend[WHITE * 256 + 6], 0);

    uint8_t* add = BuildAddTable(table);
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(add[BLACK * 256 + WHITE], WHITE);
    EXPECT_EQ(add[DARK * 256 + MID], WHITE);
    EXPECT_EQ(add[DARK * 256 + DARK], LIGHT);
    EXPECT_EQ(add[BLACK * 256 + DARK], DARK);
    EXPECT_EQ(add[255 * 256 + 255], 0);

    EXPECT_EQ(BuildBlendTable(nullptr), nullptr);
    EXPECT_EQ(BuildAddTable(nullptr), nullptr);
    MemFree(blend);
    MemFree(add);
    DeleteColourTable(table);
}

}  // namespace
