#include "colour/colour.h"
#include "colour/structures.h"
#include "core/tables.h"

#include <algorithm>

namespace kvor3d {

namespace {

// The top 4, 3, 2 and 1 bits of each component: a cell without colours of
// its own takes those of the first coarser cell that has some.
constexpr int32_t LEVELS = 4;
constexpr int32_t LEVEL_MASK[LEVELS] = {0xFFF, 0xEEE, 0xCCC, 0x888};

// 3 × 255² + 1: larger than any distance between two colours.
constexpr int32_t FAR_DISTANCE = 195076;

int32_t CellOf(int32_t r, int32_t g, int32_t b)
{
    return ((r << 4) & 0xF00) | (g & 0xF0) | ((b >> 4) & 0xF);
}

// A candidate list of `count` (1-256) indices, its first byte set.
uint8_t* NewList(int32_t count)
{
    auto* list = static_cast<uint8_t*>(MemAlloc(uint32_t(count) + 1, 1));
    if (list)
        list[0] = uint8_t(count - 1);
    return list;
}

}  // namespace

uint8_t** BuildColourGrid(const int32_t* components, int32_t count)
{
    const int32_t searched = std::min(count, COLOUR_SEARCH_LIMIT);
    if (searched <= 0)
        return nullptr;
    auto** grid = static_cast<uint8_t**>(MemAlloc(COLOUR_GRID_SLOTS, sizeof(uint8_t*)));
    if (!grid)
        return nullptr;

    int32_t cellOfColour[COLOUR_SEARCH_LIMIT];
    int32_t colours[LEVELS][COLOUR_GRID_CELLS] = {};
    for (int32_t i = 0; i < searched; ++i) {
        const int32_t* rgb = components + 3 * i;
        cellOfColour[i] = CellOf(rgb[0], rgb[1], rgb[2]);
        for (int32_t level = 0; level < LEVELS; ++level)
            ++colours[level][cellOfColour[i] & LEVEL_MASK[level]];
    }

    bool needFallback = false;
    for (int32_t cell = 0; cell < COLOUR_GRID_CELLS; ++cell) {
        int32_t level = 0;
        while (level < LEVELS && colours[level][cell & LEVEL_MASK[level]] == 0)
            ++level;
        if (level == LEVELS) {
            needFallback = true;
            continue;
        }
        const int32_t key = cell & LEVEL_MASK[level];
        uint8_t* list = NewList(colours[level][key]);
        if (!list) {
            FreeColourGrid(grid);
            return nullptr;
        }
        uint8_t* next = list + 1;
        for (int32_t i = 0; i < searched; ++i) {
            if ((cellOfColour[i] & LEVEL_MASK[level]) == key)
                *next++ = uint8_t(i);
        }
        grid[cell] = list;
    }

    if (needFallback) {
        uint8_t* list = NewList(searched);
        if (!list) {
            FreeColourGrid(grid);
            return nullptr;
        }
        for (int32_t i = 0; i < searched; ++i)
            list[1 + i] = uint8_t(i);
        grid[COLOUR_GRID_FALLBACK] = list;
    }
    return grid;
}

void FreeColourGrid(uint8_t** grid)
{
    if (!grid)
        return;
    for (int32_t slot = 0; slot < COLOUR_GRID_SLOTS; ++slot)
        MemFree(grid[slot]);
    MemFree(grid);
}

// Squared distances come from the square table; the search stops at an exact
// match, and ties keep the earlier candidate (the lower index).
int32_t Nearest(const ColourTable* table, int32_t r, int32_t g, int32_t b)
{
    if (!table || table->octree || !table->grid)
        return 0;
    r = std::clamp(r, 0, 255);
    g = std::clamp(g, 0, 255);
    b = std::clamp(b, 0, 255);
    const uint8_t* list = table->grid[CellOf(r, g, b)];
    if (!list)
        list = table->grid[COLOUR_GRID_FALLBACK];
    const int32_t candidates = list[0] + 1;
    if (candidates == 1)
        return list[1];

    const int32_t* square = SquareTable + 256;
    int32_t best = FAR_DISTANCE;
    int32_t result = 0;
    for (int32_t k = 1; k <= candidates; ++k) {
        const int32_t* rgb = table->components + 3 * list[k];
        const int32_t d = square[rgb[0] - r] + square[rgb[1] - g] + square[rgb[2] - b];
        if (d < best) {
            best = d;
            result = list[k];
            if (d == 0)
                break;
        }
    }
    return result;
}

}  // namespace kvor3d
