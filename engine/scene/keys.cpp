#include "scene/keys.h"
#include "scene/tagread.h"

namespace kvor3d {

namespace {

void SetFlag(uint32_t& flags, uint32_t bit, bool on)
{
    flags = on ? flags | bit : flags & ~bit;
}

// Applies the flag tags in order: the whole word first, then the two bits.
void ApplyKeyFlags(Key* key, const TagItem* tags)
{
    if (const TagItem* item = FindTagIn(TAG_KEY_FLAGS, tags))
        key->keyFlags = uint32_t(item->data);
    if (const TagItem* item = FindTagIn(TAG_KEY_INTERPOLATE, tags))
        SetFlag(key->keyFlags, KEY_INTERPOLATE, TagBool(item));
    if (const TagItem* item = FindTagIn(TAG_KEY_SPLINE, tags))
        SetFlag(key->keyFlags, KEY_SPLINE, TagBool(item));
}

Key* FindKeyOfTime(const KeyList* list, uint32_t time)
{
    for (Key* key = list->head; key; key = key->next) {
        if (key->time == time)
            return key;
    }
    return nullptr;
}

// A key of `size` bytes in `list` built from the caller's tags; the kind's
// own size and list come first, so the caller cannot override them.
Key* CreateKindKey(size_t size, KeyList* list, const TagItem* tags)
{
    const TagItem request[] = {
        {TAG_KEY_SIZE, size},
        {TAG_KEY_LIST, TagPtr(list)},
        {tags ? TAG_MORE : TAG_DONE, TagPtr(tags)},
    };
    return CreateKey(request);
}

int32_t DeleteFromList(Key* key, KeyList* list, const TagItem* tags)
{
    const TagItem request[] = {
        {TAG_KEY_REMOVELIST, TagPtr(list)},
        {tags ? TAG_MORE : TAG_DONE, TagPtr(tags)},
    };
    return DeleteKey(key, request);
}

}  // namespace

Key* CreateKey(const TagItem* tags)
{
    uintptr_t size = sizeof(Key);
    if (const TagItem* item = FindTagIn(TAG_KEY_SIZE, tags))
        size = item->data;
    if (size < sizeof(Key) || size > UINT32_MAX)
        return nullptr;
    uint32_t time = TagWord(TAG_KEY_TIME, 0, tags);
    KeyList* list = TagPointer<KeyList>(TAG_KEY_LIST, tags);

    if (list) {
        if (Key* existing = FindKeyOfTime(list, time)) {
            ApplyKeyFlags(existing, tags);
            return existing;
        }
    }
    Key* key = static_cast<Key*>(MemAlloc(1, uint32_t(size)));
    if (!key)
        return nullptr;
    key->time = time;
    ApplyKeyFlags(key, tags);
    if (list)
        InsertKey(list, key);
    return key;
}

int32_t DeleteKey(Key* key, const TagItem* tags)
{
    if (!key)
        return -1;
    KeyList* list = TagPointer<KeyList>(TAG_KEY_REMOVELIST, tags);
    int32_t position = -1;
    if (list) {
        position = RemoveKey(list, key);
        if (position < 0)
            return -1;
    }
    MemFree(key);
    return position;
}

EntityKey* CreateEntityKey(const TagItem* tags)
{
    Entity* entity = TagPointer<Entity>(TAG_KEY_ENTITY, tags);
    if (!entity)
        return nullptr;
    auto* key = static_cast<EntityKey*>(CreateKindKey(sizeof(EntityKey), &entity->keys, tags));
    if (!key)
        return nullptr;
    for (int i = 0; i < 3; ++i) {
        key->position[i] = entity->position[i];
        key->rotation[i] = entity->rotation[i];
        key->size[i] = entity->size[i];
    }
    SetFlag(key->keyFlags, KEY_HIDDEN, !(entity->entityFlags & ENTITY_DRAWN));
    return key;
}

MorphKey* CreateMorphKey(const TagItem* tags)
{
    MorphEntity* morph = MorphOf(TagPointer<Entity>(TAG_KEY_MORPH, tags));
    if (!morph)
        return nullptr;
    auto* key = static_cast<MorphKey*>(CreateKindKey(sizeof(MorphKey), &morph->morphKeys, tags));
    if (!key)
        return nullptr;
    key->target = TagPointer<MorphTarget>(TAG_KEY_TARGET, tags);
    return key;
}

LightKey* CreateLightKey(const TagItem* tags)
{
    LightEntity* light = LightOf(TagPointer<Entity>(TAG_KEY_LIGHT, tags));
    if (!light)
        return nullptr;
    return static_cast<LightKey*>(CreateKindKey(sizeof(LightKey), &light->keys2, tags));
}

int32_t DeleteEntityKey(Key* key, const TagItem* tags)
{
    Entity* entity = TagPointer<Entity>(TAG_KEY_ENTITYDELETE, tags);
    return entity ? DeleteFromList(key, &entity->keys, tags) : -1;
}

// A morph key may still own the name of its target.
int32_t DeleteMorphKey(Key* key, const TagItem* tags)
{
    MorphEntity* morph = MorphOf(TagPointer<Entity>(TAG_KEY_MORPHDELETE, tags));
    if (!morph || !key)
        return -1;
    int32_t position = RemoveKey(&morph->morphKeys, key);
    if (position < 0)
        return -1;
    MemFree(static_cast<MorphKey*>(key)->targetName);
    MemFree(key);
    return position;
}

int32_t DeleteLightKey(Key* key, const TagItem* tags)
{
    LightEntity* light = LightOf(TagPointer<Entity>(TAG_KEY_LIGHTDELETE, tags));
    return light ? DeleteFromList(key, &light->keys2, tags) : -1;
}

// A key appended at the tail gets the number of keys before it: its real
// position, like every other result.
int32_t InsertKey(KeyList* list, Key* key)
{
    if (!list || !key)
        return -1;
    int32_t position = 0;
    for (Key* later = list->head; later; later = later->next, ++position) {
        if (later->time > key->time) {
            key->prev = later->prev;
            key->next = later;
            if (later->prev)
                later->prev->next = key;
            else
                list->head = key;
            later->prev = key;
            return position;
        }
    }
    key->prev = list->tail;
    key->next = nullptr;
    if (list->tail)
        list->tail->next = key;
    else
        list->head = key;
    list->tail = key;
    return position;
}

int32_t RemoveKey(KeyList* list, Key* key)
{
    if (!list || !key)
        return -1;
    int32_t position = 0;
    Key* found = list->head;
    while (found && found != key) {
        found = found->next;
        ++position;
    }
    if (!found)
        return -1;
    if (key->prev)
        key->prev->next = key->next;
    else
        list->head = key->next;
    if (key->next)
        key->next->prev = key->prev;
    else
        list->tail = key->prev;
    key->prev = nullptr;
    key->next = nullptr;
    return position;
}

int32_t InsertEntityKey(Entity* entity, Key* key)
{
    return entity ? InsertKey(&entity->keys, key) : -1;
}

int32_t RemoveEntityKey(Entity* entity, Key* key)
{
    return entity ? RemoveKey(&entity->keys, key) : -1;
}

int32_t InsertMorphKey(Entity* morph, Key* key)
{
    MorphEntity* object = MorphOf(morph);
    return object ? InsertKey(&object->morphKeys, key) : -1;
}

int32_t RemoveMorphKey(Entity* morph, Key* key)
{
    MorphEntity* object = MorphOf(morph);
    return object ? RemoveKey(&object->morphKeys, key) : -1;
}

int32_t InsertLightKey(Entity* light, Key* key)
{
    LightEntity* lamp = LightOf(light);
    return lamp ? InsertKey(&lamp->keys2, key) : -1;
}

int32_t RemoveLightKey(Entity* light, Key* key)
{
    LightEntity* lamp = LightOf(light);
    return lamp ? RemoveKey(&lamp->keys2, key) : -1;
}

Key* FindKeyAfter(const KeyList* list, uint32_t t)
{
    if (!list || !list->head)
        return nullptr;
    if (!list->head->next)
        return list->head;
    for (Key* key = list->head; key; key = key->next) {
        if (key->time > t)
            return key;
    }
    return list->tail;
}

Key* FindKeyBefore(const KeyList* list, uint32_t t)
{
    if (!list || !list->head)
        return nullptr;
    if (!list->head->next)
        return list->head;
    for (Key* key = list->head; key; key = key->next) {
        if (key->time >= t)
            return key->prev ? key->prev : list->head;
    }
    return list->tail;
}

Key* FindKeyAt(const KeyList* list, uint32_t t)
{
    if (!list || !list->head)
        return nullptr;
    Key* key = list->head;
    while (key->next && key->time < t)
        key = key->next;
    return key->time == t ? key : nullptr;
}

void FreeKeyList(KeyList* list)
{
    if (!list)
        return;
    Key* key = list->head;
    while (key) {
        Key* next = key->next;
        MemFree(key);
        key = next;
    }
    list->head = nullptr;
    list->tail = nullptr;
}

}  // namespace kvor3d
