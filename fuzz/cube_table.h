// The colour table the file-reader targets hand to the engine.
#pragma once

#include "kvor3d.h"

#include <cstdint>
#include <vector>

using namespace kvor3d;

// Eight colours, the corners of the RGB cube, searched through the grid.
// The table copies the palette words.
inline ColourTable* CubeTable()
{
    static ColourTable* table = [] {
        std::vector<uint32_t> palette;
        palette.push_back(8u << 16);
        for (uint32_t i = 0; i < 8; ++i)
            for (uint32_t bit : {4u, 2u, 1u})
                palette.push_back((i & bit) ? 0xFF000000u : 0u);
        palette.push_back(0);
        const TagItem tags[] = {
            {TAG_COLOURTABLE_PALETTE, TagPtr(palette.data())},
            {TAG_COLOURTABLE_GRID, 1},
            {TAG_DONE, 0},
        };
        return CreateColourTable(tags);
    }();
    return table;
}
