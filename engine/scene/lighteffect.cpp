#include "scene/keys.h"
#include "scene/tagread.h"

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

// Repeated passes of adjacent swaps until one makes none; equal values are
// never swapped, so their order is kept.
void SortLightEffectElements(LightEffect* effect)
{
    if (!effect)
        return;
    bool swapped = true;
    while (swapped) {
        swapped = false;
        for (LightEffectElement** link = &effect->elements; *link && (*link)->next; link = &(*link)->next) {
            LightEffectElement* first = *link;
            LightEffectElement* second = first->next;
            if (second->e0 > first->e0) {
                first->next = second->next;
                second->next = first;
                *link = second;
                swapped = true;
            }
        }
    }
}
