// Palette data for tests: a head word with the colour count, each component
// in bits 24-31 with noise in the ignored low bits, and an end word.
#pragma once

#include "colour/colour.h"

#include <cstdint>
#include <vector>

using namespace kvor3d;

struct Rgb {
    int32_t r, g, b;
};

inline std::vector<uint32_t> MakePalette(const std::vector<Rgb>& colours)
{
    std::vector<uint32_t> words;
    words.push_back(uint32_t(colours.size()) << 16 | 0x0005);
    uint32_t noise = 0x00A5F3u;
    for (const Rgb& c : colours) {
        for (int32_t component : {c.r, c.g, c.b}) {
            words.push_back(uint32_t(component) << 24 | (noise & 0xFFFFFF));
            noise = noise * 1103515245u + 12345u;
        }
    }
    words.push_back(0xDEADBEEF);
    return words;
}

enum Structures { GRID = 1, OCTREE = 2 };

// A colour table built from `words` with the structures named in `which`.
inline ColourTable* MakeTable(const std::vector<uint32_t>& words, int which)
{
    const TagItem tags[] = {
        {TAG_COLOURTABLE_PALETTE, TagPtr(words.data())},
        {TAG_COLOURTABLE_GRID, uintptr_t((which & GRID) != 0)},
        {TAG_COLOURTABLE_OCTREE, uintptr_t((which & OCTREE) != 0)},
        {TAG_DONE, 0},
    };
    return CreateColourTable(tags);
}
