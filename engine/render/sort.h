// The draw-list sort on a bare array of entries, for SortDrawList and for the
// tests that hold its order against the Shell sort's.
#pragma once

#include "scene/scene.h"

#include <cstdint>

namespace kvor3d {

// Puts the n entries in the order of a Shell sort with the gaps n >> 1,
// n >> 2, ... 1 that swaps while the later key is larger. `scratch` holds
// SORT_SCRATCH_WORDS × n words; without it (null) the Shell sort itself runs.
void SortDrawEntries(DrawEntry* entries, uint32_t n, uint32_t* scratch);

}  // namespace kvor3d
