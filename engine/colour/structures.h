// The search structures of a colour table, built by CreateColourTable and
// freed by DeleteColourTable. `components` holds 3 × count entries; only the
// first COLOUR_SEARCH_LIMIT colours are entered.
#pragma once

#include "colour/colour.h"

namespace kvor3d {

// The grid's COLOUR_GRID_SLOTS lists; null when memory is short or there is
// no colour to enter.
uint8_t** BuildColourGrid(const int32_t* components, int32_t count);
void FreeColourGrid(uint8_t** grid);

// The completed octree; null when memory is short.
ColourOctreeNode* BuildColourOctree(const int32_t* components, int32_t count);

// Frees the node, and before it the children it owns; null is accepted.
void FreeColourOctree(ColourOctreeNode* node);

}  // namespace kvor3d
