#include "core/tables.h"

#include "colour/colour.h"
#include "core/core.h"
#include "core/settings.h"

#include <algorithm>
#include <cmath>

namespace kvor3d {

int32_t* SquareTable = nullptr;
int32_t* NormalTable = nullptr;
int32_t* PositionTable = nullptr;
uint8_t* RadialTable = nullptr;
uint8_t* ShadeTable = nullptr;

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr uint32_t SQUARE_ENTRIES = 513;
constexpr uint32_t NORMAL_ENTRIES = 256;
constexpr uint32_t POSITION_ENTRIES = 32768;
constexpr uint32_t COLOUR_PAIRS = 256 * 256;

// Colours a 256 × 256 colour table covers: the palette's, at most 256.
int32_t TableColours(const ColourTable* table)
{
    return std::min(ColourCount(table), 256);
}

// Fills entry i × 256 + j with Nearest of mix(colour i, colour j, component).
template <typename Mix>
uint8_t* BuildPairTable(const ColourTable* table, Mix mix)
{
    if (!table)
        return nullptr;
    auto* pairs = static_cast<uint8_t*>(MemAlloc(COLOUR_PAIRS, 1));
    if (!pairs)
        return nullptr;
    const int32_t colours = TableColours(table);
    const int32_t* rgb = table->components;
    for (int32_t i = 0; i < colours; ++i) {
        for (int32_t j = 0; j < colours; ++j) {
            const int32_t* a = rgb + 3 * i;
            const int32_t* b = rgb + 3 * j;
            pairs[i * 256 + j] =
                uint8_t(Nearest(table, mix(a[0], b[0]), mix(a[1], b[1]), mix(a[2], b[2])));
        }
    }
    return pairs;
}

}  // namespace

int32_t* BuildSquareTable()
{
    if (SquareTable)
        return SquareTable;
    auto* squares = static_cast<int32_t*>(MemAlloc(SQUARE_ENTRIES, sizeof(int32_t)));
    if (!squares)
        return nullptr;
    for (int32_t v = -256; v < 256; ++v)
        squares[v + 256] = v * v;
    SquareTable = squares;
    return SquareTable;
}

// The angle, 0-255 over 0-π, of a normal component (127 − i) / 170.
int BuildNormalTable()
{
    if (NormalTable)
        return 1;
    auto* normals = static_cast<int32_t*>(MemAlloc(NORMAL_ENTRIES, sizeof(int32_t)));
    if (!normals)
        return 0;
    for (int32_t i = 0; i < int32_t(NORMAL_ENTRIES); ++i)
        normals[i] = int32_t(std::trunc((std::asin((127 - i) / 170.0) + PI / 2) * 256 / PI));
    NormalTable = normals;
    return 1;
}

void FreeNormalTable()
{
    MemFree(NormalTable);
    NormalTable = nullptr;
}

int BuildRadialTable()
{
    if (RadialTable)
        return 1;
    auto* radial = static_cast<uint8_t*>(MemAlloc(256 * 256, 1));
    if (!radial)
        return 0;
    for (int32_t y = -128; y < 128; ++y) {
        for (int32_t x = -128; x < 128; ++x) {
            const double value = std::trunc(255 - 2 * std::sqrt(double(x * x + y * y)));
            radial[(y + 128) * 256 + (x + 128)] = uint8_t(std::max(0.0, value));
        }
    }
    RadialTable = radial;
    return 1;
}

void FreeRadialTable()
{
    MemFree(RadialTable);
    RadialTable = nullptr;
}

// The factor is rounded to a float first; the product is taken in double.
int BuildPositionTable(int32_t, int32_t width, int32_t)
{
    if (width < 1)
        return 0;
    int32_t* positions = PositionTable;
    if (!positions)
        positions = static_cast<int32_t*>(MemAlloc(POSITION_ENTRIES, sizeof(int32_t)));
    if (!positions)
        return 0;
    const float factor = float(-200.0 / width);
    for (int32_t i = 0; i < int32_t(POSITION_ENTRIES); ++i)
        positions[i] = int32_t(std::trunc(double(factor) * (i - 16384)));
    PositionTable = positions;
    return 1;
}

void FreePositionTable()
{
    MemFree(PositionTable);
    PositionTable = nullptr;
}

int BuildShadeTable(const ColourTable* table, int32_t offset)
{
    if (!table)
        return 0;
    uint8_t* shades = ShadeTable;
    if (shades)
        MemFill(shades, 0, COLOUR_PAIRS);
    else
        shades = static_cast<uint8_t*>(MemAlloc(COLOUR_PAIRS, 1));
    if (!shades)
        return 0;
    const int32_t colours = TableColours(table);
    // Shifted in 64 bits: any offset is accepted and simply clamps.
    auto shift = [offset](int32_t component, int32_t level) {
        return int32_t(std::clamp<int64_t>(int64_t(component) + level - offset, 0, 255));
    };
    for (int32_t c = 0; c < colours; ++c) {
        const int32_t* rgb = table->components + 3 * c;
        for (int32_t level = 0; level < 256; ++level) {
            shades[level * 256 + c] = uint8_t(
                Nearest(table, shift(rgb[0], level), shift(rgb[1], level), shift(rgb[2], level)));
        }
    }
    ShadeTable = shades;
    return 1;
}

void FreeShadeTable()
{
    MemFree(ShadeTable);
    ShadeTable = nullptr;
}

uint8_t* BuildBlendTable(const ColourTable* table)
{
    return BuildPairTable(table, [](int32_t a, int32_t b) { return (100 * a + 156 * b) >> 8; });
}

uint8_t* BuildAddTable(const ColourTable* table)
{
    return BuildPairTable(table, [](int32_t a, int32_t b) { return std::min(255, a + b); });
}

bool StartEngine(int32_t viewWidth)
{
    SetPixelMode(1);
    const bool squares = BuildSquareTable() != nullptr;
    const bool normals = BuildNormalTable() != 0;
    const bool radial = BuildRadialTable() != 0;
    const bool positions = BuildPositionTable(45, viewWidth, 32000) != 0;
    return squares && normals && radial && positions;
}

void StopEngine()
{
    FreeNormalTable();
    FreePositionTable();
    FreeRadialTable();
}

}  // namespace kvor3d
