#include "colour/colour.h"
#include "colour/structures.h"

#include <algorithm>

namespace kvor3d {

namespace {

// For each empty child slot, the slots tried for a stand-in: those differing
// in one component bit first, then two, then three.
constexpr int32_t NEIGHBOUR_ORDER[8][7] = {
    {1, 2, 4, 3, 5, 6, 7}, {0, 3, 5, 2, 4, 7, 6}, {0, 3, 6, 1, 4, 7, 5}, {1, 2, 7, 0, 5, 6, 4},
    {0, 5, 6, 1, 2, 7, 3}, {1, 4, 7, 0, 3, 6, 2}, {2, 4, 7, 0, 3, 5, 1}, {3, 5, 6, 1, 2, 4, 0},
};

bool Owns(const ColourOctreeNode* node, int32_t slot)
{
    return (node->flags & (OCTREE_OWNS_CHILD << slot)) != 0;
}

// Points every empty slot of every inner node at the first owned child in the
// slot's neighbour order. Stand-ins are chosen among owned children only, so
// a slot filled earlier in the same node never stands in for another.
void CompleteOctree(ColourOctreeNode* node)
{
    if (node->flags & OCTREE_LEAF)
        return;
    for (int32_t slot = 0; slot < 8; ++slot) {
        if (Owns(node, slot)) {
            CompleteOctree(node->child[slot]);
            continue;
        }
        for (int32_t neighbour : NEIGHBOUR_ORDER[slot]) {
            if (Owns(node, neighbour)) {
                node->child[slot] = node->child[neighbour];
                break;
            }
        }
    }
}

}  // namespace

// A colour's path takes one bit of each component per level, most
// significant first; a later colour with the same 24-bit value takes over
// the leaf.
ColourOctreeNode* BuildColourOctree(const int32_t* components, int32_t count)
{
    auto* root = static_cast<ColourOctreeNode*>(MemAlloc(1, sizeof(ColourOctreeNode)));
    if (!root)
        return nullptr;
    const int32_t searched = std::min(count, COLOUR_SEARCH_LIMIT);
    for (int32_t i = 0; i < searched; ++i) {
        const int32_t* rgb = components + 3 * i;
        ColourOctreeNode* node = root;
        for (int32_t level = 0; level < OCTREE_DEPTH; ++level) {
            const int32_t bit = 7 - level;
            const int32_t slot =
                ((rgb[0] >> bit) & 1) << 2 | ((rgb[1] >> bit) & 1) << 1 | ((rgb[2] >> bit) & 1);
            if (!node->child[slot]) {
                auto* child = static_cast<ColourOctreeNode*>(MemAlloc(1, sizeof(ColourOctreeNode)));
                if (!child) {
                    FreeColourOctree(root);
                    return nullptr;
                }
                node->child[slot] = child;
                node->flags |= uint16_t(OCTREE_OWNS_CHILD << slot);
            }
            node = node->child[slot];
        }
        node->index = uint16_t(i);
        node->flags |= OCTREE_LEAF;
    }
    CompleteOctree(root);
    return root;
}

void FreeColourOctree(ColourOctreeNode* node)
{
    if (!node)
        return;
    for (int32_t slot = 0; slot < 8; ++slot) {
        if (Owns(node, slot))
            FreeColourOctree(node->child[slot]);
    }
    MemFree(node);
}

}  // namespace kvor3d
