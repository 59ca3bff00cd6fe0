// The painter's order of the draw list: farthest first.
#include "render/pass.h"

#include <algorithm>
#include <utility>

// The gap sequence n >> 1, n >> 2, ... 1 and the swap rule fix the order of
// entries with equal keys, which shows on the screen where they overlap; it
// is kept exactly.
void SortDrawList(Scene* scene)
{
    if (!scene || !scene->drawList)
        return;
    DrawEntry* entries = scene->drawList;
    const int64_t n = std::min(scene->drawCount, scene->polygonCapacity);
    for (int64_t gap = n >> 1; gap > 0; gap >>= 1) {
        for (int64_t i = gap; i < n; ++i) {
            for (int64_t j = i - gap; j >= 0 && entries[j + gap].key > entries[j].key; j -= gap)
                std::swap(entries[j], entries[j + gap]);
        }
    }
}
