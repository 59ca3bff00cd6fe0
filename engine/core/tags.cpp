#include "core/core.h"

namespace kvor3d {

// The equality test comes before the TAG_MORE test, so searching for
// TAG_MORE itself returns the first TAG_MORE item.
const TagItem* FindTag(uint32_t id, const TagItem* list)
{
    const TagItem* item = list;
    while (item->tag != TAG_DONE) {
        if (item->tag == id)
            return item;
        if (item->tag == TAG_MORE)
            item = reinterpret_cast<const TagItem*>(item->data);
        else
            ++item;
    }
    return nullptr;
}

uintptr_t GetTagData(uint32_t id, uintptr_t defaultValue, const TagItem* list)
{
    for (const TagItem* item = list; item->tag != TAG_DONE; ++item) {
        if (item->tag == id)
            return item->data;
    }
    return defaultValue;
}

}  // namespace kvor3d
