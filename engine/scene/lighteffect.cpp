#include "scene/keys.h"
#include "scene/tagread.h"

namespace kvor3d {

namespace {

// The copied name of a name tag: true when the tag is absent or null, or
// the copy succeeded.
bool CopyNameTag(uint32_t id, const TagItem* tags, char** name)
{
    const char* source = TagPointer<const char>(id, tags);
    *name = CopyName(source);
    return !source || *name;
}

}  // namespace

LightEffect* CreateLightEffect(const TagItem* tags)
{
    auto* effect = AllocRecord<LightEffect>();
    if (!effect)
        return nullptr;
    if (!CopyNameTag(TAG_LIGHTEFFECT_NAME, tags, &effect->name)) {
        MemFree(effect);
        return nullptr;
    }
    if (Scene* scene = TagPointer<Scene>(TAG_LIGHTEFFECT_SCENE, tags)) {
        LightEffect** link = &scene->lightEffects;
        while (*link)
            link = &(*link)->next;
        *link = effect;
    }
    return effect;
}

LightEffectElement* CreateLightEffectElement(const TagItem* tags)
{
    auto* element = AllocRecord<LightEffectElement>();
    if (!element)
        return nullptr;
    if (!CopyNameTag(TAG_ELEMENT_NAME, tags, &element->name)) {
        MemFree(element);
        return nullptr;
    }
    element->map = TagPointer<Texture>(TAG_ELEMENT_MAP, tags);
    element->e0 = TagWord(TAG_ELEMENT_E0, ELEMENT_DEFAULT_E, tags);
    element->e1 = TagWord(TAG_ELEMENT_E1, ELEMENT_DEFAULT_E, tags);
    element->e2 = TagWord(TAG_ELEMENT_E2, ELEMENT_DEFAULT_E, tags);
    element->e3 = TagWord(TAG_ELEMENT_E3, 0, tags);
    if (LightEffect* effect = TagPointer<LightEffect>(TAG_ELEMENT_EFFECT, tags)) {
        LightEffectElement** link = &effect->elements;
        while (*link)
            link = &(*link)->next;
        *link = element;
    }
    return element;
}

void DeleteLightEffect(LightEffect* effect, const TagItem* tags)
{
    const TagItem* chainItem = FindTagIn(TAG_LIGHTEFFECT_CHAIN, tags);
    bool wholeChain = chainItem && TagBool(chainItem);
    while (effect) {
        LightEffect* next = effect->next;
        LightEffectElement* element = effect->elements;
        while (element) {
            LightEffectElement* nextElement = element->next;
            DeleteLightEffectElement(element, nullptr);
            element = nextElement;
        }
        MemFree(effect->name);
        MemFree(effect);
        effect = wholeChain ? next : nullptr;
    }
}

void DeleteLightEffectElement(LightEffectElement* element, const TagItem*)
{
    if (!element)
        return;
    MemFree(element->name);
    MemFree(element);
}

namespace {

// Merges two chains sorted by e0, largest first; on equal values the
// element of `first` comes first, so the order of equals is kept.
LightEffectElement* MergeByE0(LightEffectElement* first, LightEffectElement* second)
{
    LightEffectElement* merged = nullptr;
    LightEffectElement** tail = &merged;
    while (first && second) {
        LightEffectElement** taken = second->e0 > first->e0 ? &second : &first;
        *tail = *taken;
        tail = &(*taken)->next;
        *taken = (*taken)->next;
    }
    *tail = first ? first : second;
    return merged;
}

}  // namespace

// A bottom-up merge sort: runs of 1, 2, 4, ... elements are merged pairwise,
// n log n steps however long a file's element chain is. Equal values keep
// their order.
void SortLightEffectElements(LightEffect* effect)
{
    if (!effect)
        return;
    for (uint32_t run = 1;; run *= 2) {
        LightEffectElement* rest = effect->elements;
        LightEffectElement** tail = &effect->elements;
        uint32_t merges = 0;
        while (rest) {
            LightEffectElement* first = rest;
            LightEffectElement* last = first;
            for (uint32_t i = 1; i < run && last->next; ++i)
                last = last->next;
            LightEffectElement* second = last->next;
            last->next = nullptr;
            LightEffectElement* end = second;
            for (uint32_t i = 1; i < run && end && end->next; ++i)
                end = end->next;
            rest = end ? end->next : nullptr;
            if (end)
                end->next = nullptr;
            *tail = MergeByE0(first, second);
            while (*tail)
                tail = &(*tail)->next;
            ++merges;
        }
        if (merges <= 1)
            return;
    }
}

}  // namespace kvor3d
