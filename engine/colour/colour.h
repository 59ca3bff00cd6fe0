// Colour: palette files, colour tables and nearest-colour matching.
//
// Palette data is a sequence of host-order 32-bit words: word 0 holds the
// colour count n in bits 16-31 (bits 0-15, the first index, are not used),
// words 1 ... 3n hold red, green and blue of each colour in bits 24-31, and
// word 3n + 1 is an end word that is copied but not interpreted.
#pragma once

#include "../core/core.h"

#include <cstdint>

namespace kvor3d {

// Tags of CreateColourTable (group 0x0b), read with FindTag.
constexpr uint32_t TAG_COLOURTABLE_PALETTE = 0x803d0b00;  // pointer to palette data (required)
constexpr uint32_t TAG_COLOURTABLE_GRID = 0x803d0b01;     // build the grid when the low 16 bits are non-zero
constexpr uint32_t TAG_COLOURTABLE_OCTREE = 0x803d0b02;   // build the octree when the low 16 bits are non-zero

// A palette file holds exactly 770 words: 256 colours, the head and end words.
constexpr uint32_t PALETTE_FILE_WORDS = 770;
constexpr uint32_t PALETTE_FILE_BYTES = PALETTE_FILE_WORDS * 4;

// Only the first 253 colours enter the grid and the octree; colours 253-255
// are never the answer of Nearest.
constexpr int32_t COLOUR_SEARCH_LIMIT = 253;

// Grid slots 0-4095 are the cells (top four bits of red, green, blue as
// r << 8 | g << 4 | b); slot 4096 is the fallback list of every searched colour.
constexpr int32_t COLOUR_GRID_CELLS = 4096;
constexpr int32_t COLOUR_GRID_FALLBACK = 4096;
constexpr int32_t COLOUR_GRID_SLOTS = 4097;

// Octree node flags: bits 0-7 mark the children the node owns (and frees);
// the other child pointers, filled when the tree is completed, borrow a
// sibling. Leaves sit at depth 8 and hold a palette index.
constexpr uint16_t OCTREE_OWNS_CHILD = 0x0001;  // shifted left by the child number
constexpr uint16_t OCTREE_LEAF = 0x0100;
constexpr int32_t OCTREE_DEPTH = 8;

struct ColourOctreeNode {
    uint16_t index;
    uint16_t flags;
    ColourOctreeNode* child[8];  // child number = red bit × 4 + green bit × 2 + blue bit
};

// One palette with its search structures. A grid candidate list is a byte
// array: candidate count − 1, then the candidates' indices in ascending order.
struct ColourTable {
    uint32_t* palette;           // (3n + 2) words copied from the palette data
    int32_t* components;         // entry 3i + c: component c (0 red, 1 green, 2 blue) of colour i, 0-255
    uint8_t** grid;              // COLOUR_GRID_SLOTS candidate lists (null cells use the fallback) or null
    ColourOctreeNode* octree;    // root of the colour octree or null
};

// Number of colours in a table's palette.
inline int32_t ColourCount(const ColourTable* table)
{
    return int32_t(table->palette[0] >> 16);
}

// Results of ReadPaletteFile.
enum : int32_t {
    PALETTE_OK = 0,
    ERR_PALETTE_OPEN = -1,   // the file cannot be opened or read
    ERR_PALETTE_SIZE = -2,   // the file is not exactly PALETTE_FILE_BYTES long
    ERR_PALETTE_COUNT = -3,  // the colour count exceeds the 256 colours the file holds
};

// Reads a palette file into `words` (PALETTE_FILE_WORDS host-order words).
// On any error `words` is left unchanged.
int32_t ReadPaletteFile(const char* name, uint32_t* words);

// A colour table for the palette data named by TAG_COLOURTABLE_PALETTE,
// which must hold 3n + 2 words. Null without palette data or when memory is
// short; a grid or octree that cannot be built is left out. Building the grid
// also builds the square table when it does not exist yet.
ColourTable* CreateColourTable(const TagItem* tags);

// Frees the table and everything it owns; null is accepted.
void DeleteColourTable(ColourTable* table);

// Index of the palette colour nearest to (r, g, b) among the candidates of
// the colour's grid cell; components outside 0-255 are clamped. A table
// with an octree, without a grid, or a null table answers 0.
int32_t Nearest(const ColourTable* table, int32_t r, int32_t g, int32_t b);

}  // namespace kvor3d
