// Reading tag lists inside the scene and animation modules: a null list
// reads as an empty one.
#pragma once

#include "core/core.h"

#include <cstdint>

namespace kvor3d {

inline const TagItem* FindTagIn(uint32_t id, const TagItem* tags)
{
    return tags ? FindTag(id, tags) : nullptr;
}

// A 16-bit boolean tag: true when its low 16 bits are not all zero.
inline bool TagBool(const TagItem* item)
{
    return (item->data & 0xFFFF) != 0;
}

template <typename T>
inline T* TagPointer(uint32_t id, const TagItem* tags)
{
    const TagItem* item = FindTagIn(id, tags);
    return item ? reinterpret_cast<T*>(item->data) : nullptr;
}

// The data of tag `id` as a 32-bit word, or `fallback` when absent.
inline uint32_t TagWord(uint32_t id, uint32_t fallback, const TagItem* tags)
{
    const TagItem* item = FindTagIn(id, tags);
    return item ? uint32_t(item->data) : fallback;
}

}  // namespace kvor3d
