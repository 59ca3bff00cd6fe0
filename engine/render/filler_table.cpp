// The filler of each table index (objectFlags & 0x3F) | fogIndexBase. Index
// bits: 0x01 transparency, 0x02 texture map, 0x04 environment map, 0x08 bump
// map, 0x10 perspective correction, 0x20 shading, 0x40 fog. Every index
// without a filler leaves the object undrawn: bump maps in any combination,
// shading with transparency or the environment map, and fog with anything
// but flat and (perspective) texture.
#include "render/raster.h"

#include <array>

namespace kvor3d {

namespace {

struct FillerRow {
    int index;
    Filler filler;
};

constexpr FillerRow ROWS[] = {
    {0, FillFlat},
    {16, FillFlat},
    {1, FillTransparentFlat},
    {17, FillTransparentFlat},
    {2, FillTexture},
    {3, FillTransparentTexture},
    {4, FillEnvironment},
    {20, FillEnvironment},
    {5, FillTransparentEnvironment},
    {21, FillTransparentEnvironment},
    {18, FillPerspectiveTexture},
    {19, FillTransparentPerspectiveTexture},
    {32, FillShaded},
    {48, FillShaded},
    {34, FillShadedTexture},
    {50, FillShadedPerspectiveTexture},
    {64, FillFogFlat},
    {80, FillFogFlat},
    {66, FillFogTexture},
    {82, FillFogPerspectiveTexture},
};

constexpr std::array<Filler, FILLER_ROWS> BuildTable()
{
    std::array<Filler, FILLER_ROWS> table{};
    for (const FillerRow& row : ROWS)
        table[row.index] = row.filler;
    return table;
}

}  // namespace

const std::array<Filler, FILLER_ROWS> FillerTable = BuildTable();

}  // namespace kvor3d
