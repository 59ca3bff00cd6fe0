#include "scene/keys.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A generic key at `time` in `list`, with optional extra tags.
Key* KeyAt(KeyList* list, uint32_t time)
{
    const TagItem tags[] = {{TAG_KEY_TIME, time}, {TAG_KEY_LIST, TagPtr(list)}, {TAG_DONE, 0}};
    return CreateKey(tags);
}

std::vector<uint32_t> Times(const KeyList& list)
{
    std::vector<uint32_t> times;
    for (Key* key = list.head; key; key = key->next)
        times.push_back(key->time);
    return times;
}

// The list's links agree in both directions and its ends are head and tail.
void ExpectConsistent(const KeyList& list)
{
    Key* previous = nullptr;
    for (Key* key = list.head; key; key = key->next) {
        EXPECT_EQ(key->prev, previous);
        previous = key;
    }
    EXPECT_EQ(list.tail, previous);
}

class KeyLists : public ::testing::Test {
protected:
    void TearDown() override { FreeKeyList(&list); }
    KeyList list = {};
};

TEST_F(KeyLists, CreateKeyAppliesTimeFlagsAndSize)
{
    const TagItem tags[] = {
        {TAG_KEY_SIZE, 64},
        {TAG_KEY_TIME, 1234},
        {TAG_KEY_LIST, TagPtr(&list)},
        {TAG_KEY_FLAGS, 0x00FF0000},
        {TAG_KEY_INTERPOLATE, 0x10001},  // low 16 bits non-zero: set
        {TAG_KEY_SPLINE, 0x10000},       // low 16 bits zero: clear
        {TAG_DONE, 0},
    };
    Key* key = CreateKey(tags);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->time, 1234u);
    EXPECT_EQ(key->keyFlags, 0x00FF0001u);
    EXPECT_EQ(list.head, key);
    EXPECT_EQ(list.tail, key);
}

TEST_F(KeyLists, CreateKeyWithoutListLeavesKeyUnlinkedAndRefusesSizesBelowTheHeader)
{
    const TagItem unlinked[] = {{TAG_KEY_TIME, 5}, {TAG_DONE, 0}};
    Key* key = CreateKey(unlinked);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->prev, nullptr);
    EXPECT_EQ(key->next, nullptr);
    EXPECT_EQ(DeleteKey(key, nullptr), -1);

    const TagItem small[] = {{TAG_KEY_SIZE, sizeof(Key) - 1}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateKey(small), nullptr);
}

TEST_F(KeyLists, KeyAtAnExistingTimeIsReturnedWithOnlyItsFlagsUpdated)
{
    Key* first = KeyAt(&list, 100);
    first->k0 = 0.5f;
    const TagItem again[] = {
        {TAG_KEY_TIME, 100},
        {TAG_KEY_LIST, TagPtr(&list)},
        {TAG_KEY_SPLINE, 1},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(CreateKey(again), first);
    EXPECT_EQ(first->keyFlags, KEY_SPLINE);
    EXPECT_EQ(first->k0, 0.5f);
    EXPECT_EQ(Times(list), (std::vector<uint32_t>{100}));
}

TEST_F(KeyLists, InsertionKeepsTimeOrderAndEqualTimesInInsertionOrder)
{
    Key* a = AllocRecord<Key>();
    Key* b = AllocRecord<Key>();
    Key* c = AllocRecord<Key>();
    Key* d = AllocRecord<Key>();
    Key* e = AllocRecord<Key>();
    a->time = 50;
    b->time = 10;
    c->time = 50;
    d->time = 90;
    e->time = 5;
    EXPECT_EQ(InsertKey(&list, a), 0);
    EXPECT_EQ(InsertKey(&list, b), 0);
    EXPECT_EQ(InsertKey(&list, c), 2);  // after the earlier key of equal time
    EXPECT_EQ(InsertKey(&list, d), 3);  // later than all: the tail
    EXPECT_EQ(InsertKey(&list, e), 0);  // earlier than all: the head
    EXPECT_EQ(Times(list), (std::vector<uint32_t>{5, 10, 50, 50, 90}));
    EXPECT_EQ(a->next, c);
    EXPECT_EQ(list.tail, d);
    ExpectConsistent(list);
    EXPECT_EQ(InsertKey(nullptr, a), -1);
    EXPECT_EQ(InsertKey(&list, nullptr), -1);
}

TEST_F(KeyLists, RemoveAndDeleteReportThePositionAndRefuseForeignKeys)
{
    Key* keys[4];
    for (uint32_t i = 0; i < 4; ++i)
        keys[i] = KeyAt(&list, 10 * i);
    KeyList other = {};
    Key* foreign = KeyAt(&other, 20);

    EXPECT_EQ(RemoveKey(&list, foreign), -1);
    EXPECT_EQ(Times(other), (std::vector<uint32_t>{20}));
    const TagItem fromList[] = {{TAG_KEY_REMOVELIST, TagPtr(&list)}, {TAG_DONE, 0}};
    EXPECT_EQ(DeleteKey(foreign, fromList), -1);  // not in the list: neither unlinked nor freed
    EXPECT_EQ(other.head, foreign);

    EXPECT_EQ(RemoveKey(&list, keys[2]), 2);
    EXPECT_EQ(keys[2]->prev, nullptr);
    EXPECT_EQ(keys[2]->next, nullptr);
    EXPECT_EQ(Times(list), (std::vector<uint32_t>{0, 10, 30}));
    MemFree(keys[2]);
    EXPECT_EQ(DeleteKey(keys[3], fromList), 2);  // the tail
    EXPECT_EQ(DeleteKey(keys[0], fromList), 0);  // the head
    EXPECT_EQ(list.head, keys[1]);
    EXPECT_EQ(list.tail, keys[1]);
    ExpectConsistent(list);
    EXPECT_EQ(DeleteKey(nullptr, fromList), -1);
    EXPECT_EQ(RemoveKey(nullptr, keys[1]), -1);
    FreeKeyList(&other);
}

TEST_F(KeyLists, SearchesFindTheKeysAroundATime)
{
    EXPECT_EQ(FindKeyAfter(&list, 0), nullptr);
    EXPECT_EQ(FindKeyBefore(&list, 0), nullptr);
    EXPECT_EQ(FindKeyAt(&list, 0), nullptr);
    EXPECT_EQ(FindKeyAfter(nullptr, 0), nullptr);
    EXPECT_EQ(FindKeyBefore(nullptr, 0), nullptr);
    EXPECT_EQ(FindKeyAt(nullptr, 0), nullptr);

    Key* k100 = KeyAt(&list, 100);
    EXPECT_EQ(FindKeyAfter(&list, 500), k100);  // fewer than two keys: the head
    EXPECT_EQ(FindKeyBefore(&list, 0), k100);
    EXPECT_EQ(FindKeyAt(&list, 100), k100);
    EXPECT_EQ(FindKeyAt(&list, 101), nullptr);

    Key* k200 = KeyAt(&list, 200);
    Key* k300 = KeyAt(&list, 300);
    EXPECT_EQ(FindKeyAfter(&list, 50), k100);
    EXPECT_EQ(FindKeyAfter(&list, 100), k200);
    EXPECT_EQ(FindKeyAfter(&list, 250), k300);
    EXPECT_EQ(FindKeyAfter(&list, 300), k300);  // none later: the last key

    EXPECT_EQ(FindKeyBefore(&list, 250), k200);
    EXPECT_EQ(FindKeyBefore(&list, 300), k200);
    EXPECT_EQ(FindKeyBefore(&list, 301), k300);
    EXPECT_EQ(FindKeyBefore(&list, 100), k100);  // nothing before the first key: the head

    EXPECT_EQ(FindKeyAt(&list, 200), k200);
    EXPECT_EQ(FindKeyAt(&list, 150), nullptr);
    EXPECT_EQ(FindKeyAt(&list, 350), nullptr);
}

class KindKeys : public ::testing::Test {
protected:
    void SetUp() override { scene = AllocScene(); }
    void TearDown() override { FreeScene(scene); }
    Scene* scene = nullptr;
};

TEST_F(KindKeys, MotionKeyCopiesTheEntityAndHidesItOnlyWhenNotDrawn)
{
    Entity* drawn = build::AddNull(scene, "drawn");
    Entity* hidden = build::AddNull(scene, "hidden");
    hidden->entityFlags = 0;
    for (int i = 0; i < 3; ++i) {
        drawn->position[i] = 1.0f + float(i);
        drawn->rotation[i] = 10.0f + float(i);
        drawn->size[i] = 0.5f + float(i);
    }
    const TagItem drawnTags[] = {
        {TAG_KEY_ENTITY, TagPtr(drawn)}, {TAG_KEY_TIME, 7}, {TAG_KEY_FLAGS, KEY_HIDDEN | 1}, {TAG_DONE, 0}};
    EntityKey* key = CreateEntityKey(drawnTags);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->keyFlags, 1u);
    EXPECT_EQ(key->time, 7u);
    EXPECT_EQ(drawn->keys.head, key);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(key->position[i], 1.0f + float(i));
        EXPECT_EQ(key->rotation[i], 10.0f + float(i));
        EXPECT_EQ(key->size[i], 0.5f + float(i));
    }

    const TagItem hiddenTags[] = {{TAG_KEY_ENTITY, TagPtr(hidden)}, {TAG_DONE, 0}};
    EntityKey* hiddenKey = CreateEntityKey(hiddenTags);
    ASSERT_NE(hiddenKey, nullptr);
    EXPECT_EQ(hiddenKey->keyFlags, KEY_HIDDEN);

    const TagItem noEntity[] = {{TAG_KEY_TIME, 7}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateEntityKey(noEntity), nullptr);
}

TEST_F(KindKeys, CallerTagsCannotRedirectAKindKeyToAnotherList)
{
    Entity* entity = build::AddNull(scene, "e");
    KeyList elsewhere = {};
    const TagItem tags[] = {
        {TAG_KEY_ENTITY, TagPtr(entity)},
        {TAG_KEY_LIST, TagPtr(&elsewhere)},
        {TAG_KEY_SIZE, 8},
        {TAG_DONE, 0},
    };
    EntityKey* key = CreateEntityKey(tags);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(entity->keys.head, key);
    EXPECT_EQ(elsewhere.head, nullptr);
}

TEST_F(KindKeys, MorphAndLightKeysGoToTheirOwnListsAndNeedTheirKind)
{
    MorphEntity* morph = build::AddMorph(scene, "m", 3, {{0, 1, 2}});
    MorphTarget* target = build::AddTarget(morph, "t", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    LightEntity* light = build::AddLight(scene, "l");
    Entity* null = build::AddNull(scene, "n");

    const TagItem morphTags[] = {
        {TAG_KEY_MORPH, TagPtr(morph)}, {TAG_KEY_TIME, 40}, {TAG_KEY_TARGET, TagPtr(target)}, {TAG_DONE, 0}};
    MorphKey* morphKey = CreateMorphKey(morphTags);
    ASSERT_NE(morphKey, nullptr);
    EXPECT_EQ(morphKey->target, target);
    EXPECT_EQ(morph->morphKeys.head, morphKey);
    EXPECT_EQ(morph->keys.head, nullptr);

    const TagItem lightTags[] = {{TAG_KEY_LIGHT, TagPtr(light)}, {TAG_KEY_TIME, 40}, {TAG_DONE, 0}};
    LightKey* lightKey = CreateLightKey(lightTags);
    ASSERT_NE(lightKey, nullptr);
    EXPECT_EQ(light->keys2.head, lightKey);
    EXPECT_EQ(light->keys.head, nullptr);

    const TagItem wrongMorph[] = {{TAG_KEY_MORPH, TagPtr(light)}, {TAG_DONE, 0}};
    const TagItem wrongLight[] = {{TAG_KEY_LIGHT, TagPtr(null)}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateMorphKey(wrongMorph), nullptr);
    EXPECT_EQ(CreateLightKey(wrongLight), nullptr);
    EXPECT_EQ(InsertMorphKey(light, lightKey), -1);
    EXPECT_EQ(RemoveLightKey(null, lightKey), -1);
}

TEST_F(KindKeys, DeleteFormsRemoveFromTheEntitysOwnList)
{
    MorphEntity* morph = build::AddMorph(scene, "m", 0, {});
    LightEntity* light = build::AddLight(scene, "l");
    EntityKey* e0 = build::AddPositionKey(morph, 0, 0.0f);
    EntityKey* e1 = build::AddPositionKey(morph, 10, 0.0f);
    LightKey* l0 = build::AddLightKey(light, 0, 1.0f);
    MorphKey* m0 = build::AddMorphKey(morph, 0, nullptr);
    MorphKey* m1 = build::AddMorphKey(morph, 5, nullptr);
    m1->targetName = CopyName("pending");

    const TagItem entityDelete[] = {{TAG_KEY_ENTITYDELETE, TagPtr(morph)}, {TAG_DONE, 0}};
    const TagItem morphDelete[] = {{TAG_KEY_MORPHDELETE, TagPtr(morph)}, {TAG_DONE, 0}};
    const TagItem lightDelete[] = {{TAG_KEY_LIGHTDELETE, TagPtr(light)}, {TAG_DONE, 0}};
    const TagItem lightAsMorph[] = {{TAG_KEY_MORPHDELETE, TagPtr(light)}, {TAG_DONE, 0}};

    EXPECT_EQ(DeleteEntityKey(m0, entityDelete), -1);  // a morph key is not in the motion keys
    EXPECT_EQ(DeleteEntityKey(e1, entityDelete), 1);
    EXPECT_EQ(DeleteMorphKey(m1, morphDelete), 1);
    EXPECT_EQ(DeleteMorphKey(m0, lightAsMorph), -1);
    EXPECT_EQ(DeleteLightKey(l0, lightDelete), 0);
    EXPECT_EQ(Times(morph->keys), (std::vector<uint32_t>{0}));
    EXPECT_EQ(morph->keys.head, e0);
    EXPECT_EQ(morph->morphKeys.head, m0);
    EXPECT_EQ(light->keys2.head, nullptr);

    Key* loose = AllocRecord<Key>();
    EXPECT_EQ(InsertEntityKey(light, loose), 0);
    EXPECT_EQ(RemoveEntityKey(light, loose), 0);
    EXPECT_EQ(InsertLightKey(light, loose), 0);
    EXPECT_EQ(RemoveLightKey(light, loose), 0);
    EXPECT_EQ(InsertMorphKey(morph, loose), 1);
    EXPECT_EQ(RemoveMorphKey(morph, loose), 1);
    MemFree(loose);
}

}  // namespace
