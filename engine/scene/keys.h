// Key and light-effect operations: creating, linking, finding and deleting
// keys in their sorted lists (tag group 0x10), and creating and deleting
// light effects and their elements (tag group 0x07).
#pragma once

#include "../core/core.h"
#include "scene.h"

#include <cstdint>

namespace kvor3d {

// ---- Keys ------------------------------------------------------------------

// Tags of the key operations (group 0x10), read with FindTag.
constexpr uint32_t TAG_KEY_SIZE = 0x803d1000;         // record size in bytes; default sizeof(Key)
constexpr uint32_t TAG_KEY_TIME = 0x803d1001;         // key time; default 0
constexpr uint32_t TAG_KEY_LIST = 0x803d1002;         // KeyList* to insert into; none: the key stays unlinked
constexpr uint32_t TAG_KEY_REMOVELIST = 0x803d1003;   // KeyList* to remove from (delete)
constexpr uint32_t TAG_KEY_FLAGS = 0x803d1004;        // the whole flags word
constexpr uint32_t TAG_KEY_INTERPOLATE = 0x803d1005;  // 16-bit boolean: KEY_INTERPOLATE
constexpr uint32_t TAG_KEY_SPLINE = 0x803d1006;       // 16-bit boolean: KEY_SPLINE
constexpr uint32_t TAG_KEY_ENTITY = 0x803d1010;       // Entity*: create a motion key
constexpr uint32_t TAG_KEY_ENTITYDELETE = 0x803d1011; // Entity*: delete a motion key
constexpr uint32_t TAG_KEY_MORPH = 0x803d1030;        // morph Entity*: create a morph key
constexpr uint32_t TAG_KEY_MORPHDELETE = 0x803d1031;  // morph Entity*: delete a morph key
constexpr uint32_t TAG_KEY_TARGET = 0x803d1032;       // MorphTarget* of a new morph key
constexpr uint32_t TAG_KEY_LIGHT = 0x803d1040;        // light Entity*: create a light key
constexpr uint32_t TAG_KEY_LIGHTDELETE = 0x803d1041;  // light Entity*: delete a light key

// A new key of TAG_KEY_SIZE bytes (at least the header; a smaller size gives
// null) at TAG_KEY_TIME, inserted into TAG_KEY_LIST. When that list already
// holds a key at that time, that key is returned instead and only the flag
// tags are applied to it. Null when memory is short.
Key* CreateKey(const TagItem* tags);

// Unlinks the key from TAG_KEY_REMOVELIST and frees it; the result is the
// position it had there. Without a list the key, which must then be
// unlinked, is freed and the result is −1. A key that is not in the given
// list is neither unlinked nor freed (−1); a null key gives −1.
int32_t DeleteKey(Key* key, const TagItem* tags);

// Kind-specific keys: the entity comes from TAG_KEY_ENTITY, TAG_KEY_MORPH or
// TAG_KEY_LIGHT, the other tags are those of CreateKey (size and list are
// the kind's own). A motion key takes the entity's position, rotation and
// size and KEY_HIDDEN unless the entity is drawn; a morph key takes
// TAG_KEY_TARGET. A key that already stood at that time is returned and
// refilled the same way. Null when the entity is missing or of another kind,
// or when memory is short.
EntityKey* CreateEntityKey(const TagItem* tags);
MorphKey* CreateMorphKey(const TagItem* tags);
LightKey* CreateLightKey(const TagItem* tags);

// DeleteKey on the list of the entity in TAG_KEY_ENTITYDELETE,
// TAG_KEY_MORPHDELETE or TAG_KEY_LIGHTDELETE; −1 when it is missing or of
// another kind.
int32_t DeleteEntityKey(Key* key, const TagItem* tags);
int32_t DeleteMorphKey(Key* key, const TagItem* tags);
int32_t DeleteLightKey(Key* key, const TagItem* tags);

// Links an unlinked key in before the first key of a later time (keys of
// equal time keep their insertion order); the result is its 0-based
// position, −1 for a null list or key.
int32_t InsertKey(KeyList* list, Key* key);

// Unlinks a key; the result is the position it had, −1 for a null list or
// key or a key that is not in the list (nothing changes then).
int32_t RemoveKey(KeyList* list, Key* key);

// InsertKey and RemoveKey on an entity's own list: motion keys of any
// entity, morph keys of a morph object, light keys of a light (−1 for an
// entity of another kind).
int32_t InsertEntityKey(Entity* entity, Key* key);
int32_t RemoveEntityKey(Entity* entity, Key* key);
int32_t InsertMorphKey(Entity* morph, Key* key);
int32_t RemoveMorphKey(Entity* morph, Key* key);
int32_t InsertLightKey(Entity* light, Key* key);
int32_t RemoveLightKey(Entity* light, Key* key);

// Key searches. All give null for a null or empty list.
// The first key later than t, or the last key; the head when the list holds
// fewer than two keys.
Key* FindKeyAfter(const KeyList* list, uint32_t t);
// The key just before the first key at or after t, or the last key when
// none is; the head when no key lies before t or the list holds fewer than
// two keys.
Key* FindKeyBefore(const KeyList* list, uint32_t t);
// The key at exactly t (the first of equal times), or null.
Key* FindKeyAt(const KeyList* list, uint32_t t);

// Frees every key of a list and leaves it empty; null is accepted.
void FreeKeyList(KeyList* list);

// ---- Light effects -------------------------------------------------------------

// Tags of the light-effect operations (group 0x07), read with FindTag.
constexpr uint32_t TAG_LIGHTEFFECT_NAME = 0x803d0700;     // char*, copied
constexpr uint32_t TAG_LIGHTEFFECT_SCENE = 0x803d0701;    // Scene*: append to its lightEffects
constexpr uint32_t TAG_LIGHTEFFECT_CHAIN = 0x803d0710;    // 16-bit boolean: delete the whole chain
constexpr uint32_t TAG_ELEMENT_NAME = 0x803d0720;         // char*, copied
constexpr uint32_t TAG_ELEMENT_MAP = 0x803d0721;          // Texture*
constexpr uint32_t TAG_ELEMENT_E0 = 0x803d0722;           // default 0x10000
constexpr uint32_t TAG_ELEMENT_E1 = 0x803d0723;           // default 0x10000
constexpr uint32_t TAG_ELEMENT_E2 = 0x803d0724;           // default 0x10000
constexpr uint32_t TAG_ELEMENT_E3 = 0x803d0725;           // default 0
constexpr uint32_t TAG_ELEMENT_EFFECT = 0x803d0726;       // LightEffect*: append to its elements

constexpr uint32_t ELEMENT_DEFAULT_E = 0x10000;

// A new light effect, appended to the scene's chain when one is given.
// Null when memory is short (nothing is left allocated).
LightEffect* CreateLightEffect(const TagItem* tags);

// A new element, appended to the effect's elements when one is given.
LightEffectElement* CreateLightEffectElement(const TagItem* tags);

// Frees the effect (or, with TAG_LIGHTEFFECT_CHAIN, it and every effect
// after it) with elements and names. The caller unlinks it from its scene
// first. Null is accepted.
void DeleteLightEffect(LightEffect* effect, const TagItem* tags);

// Frees the element and its name; null is accepted.
void DeleteLightEffectElement(LightEffectElement* element, const TagItem* tags);

// Sorts the effect's elements by e0, largest first, keeping the order of
// equal values.
void SortLightEffectElements(LightEffect* effect);

}  // namespace kvor3d
