#include "scene/keys.h"
#include "scene/scene.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kvor3d;

namespace {

const std::vector<build::Point> TRIANGLE = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

std::vector<uint32_t> Times(const KeyList& list)
{
    std::vector<uint32_t> times;
    const Key* previous = nullptr;
    for (const Key* key = list.head; key; previous = key, key = key->next) {
        EXPECT_EQ(key->prev, previous);
        times.push_back(key->time);
    }
    EXPECT_EQ(list.tail, previous);
    return times;
}

Key* KeyAt(KeyList* list, uint32_t time)
{
    const TagItem tags[] = {{TAG_KEY_TIME, time}, {TAG_KEY_LIST, TagPtr(list)}, {TAG_DONE, 0}};
    return CreateKey(tags);
}

// The flag word first, then the two bits as 16-bit booleans; a key at an
// existing time is that key with only its flags changed.
TEST(KeyLists, CreateKeyAppliesTimeFlagsAndSizeOrReturnsTheKeyOfThatTime)
{
    KeyList list = {};
    const TagItem tags[] = {{TAG_KEY_SIZE, 64},          {TAG_KEY_TIME, 1234},        {TAG_KEY_LIST, TagPtr(&list)},
                            {TAG_KEY_FLAGS, 0x00FF0000}, {TAG_KEY_INTERPOLATE, 0x10001}, {TAG_KEY_SPLINE, 0x10000},
                            {TAG_DONE, 0}};
    Key* key = CreateKey(tags);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->keyFlags, 0x00FF0001u);
    key->k0 = 0.5f;
    const TagItem again[] = {{TAG_KEY_TIME, 1234}, {TAG_KEY_LIST, TagPtr(&list)}, {TAG_KEY_SPLINE, 1}, {TAG_DONE, 0}};
    EXPECT_EQ(CreateKey(again), key);
    EXPECT_EQ(key->keyFlags, 0x00FF0001u | KEY_SPLINE);
    EXPECT_EQ(key->k0, 0.5f);
    FreeKeyList(&list);
}

TEST(KeyLists, InsertRemoveAndDeleteKeepTimeOrderAndReportPositions)
{
    KeyList list = {};
    std::vector<Key*> keys;
    const std::pair<uint32_t, int32_t> inserts[] = {{50, 0}, {10, 0}, {50, 2}, {90, 3}, {5, 0}};
    for (auto [time, position] : inserts) {
        keys.push_back(AllocRecord<Key>());
        keys.back()->time = time;
        EXPECT_EQ(InsertKey(&list, keys.back()), position) << time;
    }
    EXPECT_EQ(Times(list), (std::vector<uint32_t>{5, 10, 50, 50, 90}));
    EXPECT_EQ(keys[0]->next, keys[2]);
    KeyList other = {};
    Key* foreign = KeyAt(&other, 20);
    const TagItem fromList[] = {{TAG_KEY_REMOVELIST, TagPtr(&list)}, {TAG_DONE, 0}};
    EXPECT_EQ(DeleteKey(foreign, fromList), -1);
    EXPECT_EQ(RemoveKey(&list, keys[2]), 3);
    MemFree(keys[2]);
    EXPECT_EQ(DeleteKey(keys[3], fromList), 3);
    EXPECT_EQ(DeleteKey(keys[4], fromList), 0);
    EXPECT_EQ(Times(list), (std::vector<uint32_t>{10, 50}));
    EXPECT_EQ(InsertKey(nullptr, keys[0]), -1);
    FreeKeyList(&list);
    FreeKeyList(&other);
}

TEST(KeyLists, SearchesFindTheKeysAroundATime)
{
    KeyList list = {};
    EXPECT_EQ(FindKeyAfter(&list, 0), nullptr);
    EXPECT_EQ(FindKeyBefore(&list, 0), nullptr);
    Key* k100 = KeyAt(&list, 100);
    EXPECT_EQ(FindKeyAfter(&list, 500), k100);
    EXPECT_EQ(FindKeyBefore(&list, 0), k100);
    Key* k200 = KeyAt(&list, 200);
    Key* k300 = KeyAt(&list, 300);
    struct Case {
        uint32_t t;
        Key *after, *before, *at;
    } cases[] = {{50, k100, k100, nullptr},  {100, k200, k100, k100}, {150, k200, k100, nullptr},
                 {200, k300, k100, k200},    {250, k300, k200, nullptr}, {300, k300, k200, k300},
                 {301, k300, k300, nullptr}};
    for (const Case& c : cases) {
        EXPECT_EQ(FindKeyAfter(&list, c.t), c.after) << c.t;
        EXPECT_EQ(FindKeyBefore(&list, c.t), c.before) << c.t;
        EXPECT_EQ(FindKeyAt(&list, c.t), c.at) << c.t;
    }
    FreeKeyList(&list);
}

// Every kind of entity with every owned buffer, keys of every kind, morph
// targets, light effects, glow buffers, shared textures and materials: the
// sanitizer build reports any leak or double free.
TEST(SceneOwnership, FreeSceneReleasesEverythingOnce)
{
    Scene* scene = AllocScene();
    Texture* shared = build::AddTexture(scene, "shared", 8, 8);
    Texture* environment = build::AddTexture(scene, "env", 256, 256);
    scene->backgroundMap = shared;
    scene->fogRamp = static_cast<uint8_t*>(MemAlloc(32768, 1));
    scene->fogMaterial = build::AddMaterial(scene, 7);
    scene->sceneMaterial = build::AddMaterial(scene, 9);
    scene->sceneMaterial->users = 3;
    LightEffect* effect = build::AddLightEffect(scene, "flare");
    build::AddElement(effect, "ring", 0x8000, shared)->material = build::AddMaterial(scene, 2);
    build::AddElement(effect, "dot", 0x4000);
    Entity* root = build::AddNull(scene, "root");
    build::AddPositionKey(root, 0, 0.0f);
    root->parentName = CopyName("unresolved");
    ObjectEntity* a = build::AddObject(scene, "a", TRIANGLE, {{0, 1, 2}});
    a->parent = root;
    a->textureMap = shared;
    a->environmentMap = environment;
    a->environmentPixels = static_cast<uint8_t*>(environment->pixels);
    a->lookupTable = static_cast<uint8_t*>(MemAlloc(256, 256));
    a->glowImage = static_cast<uint8_t*>(MemAlloc(256, 256));
    a->edgeTable = static_cast<ShadowEdge*>(MemAlloc(3, 12));
    a->spriteEffect = effect;
    a->spriteEffectName = CopyName("flare");
    a->objectFlags = OBJECT_GLOW;
    ObjectEntity* b = build::AddObject(scene, "b", TRIANGLE, {{0, 1, 2}});
    b->environmentMap = environment;
    b->environmentPixels = static_cast<uint8_t*>(MemAlloc(65536, 1));
    b->objectFlags = OBJECT_GLOW | OBJECT_LIGHTMAP;
    MorphEntity* morph = build::AddMorph(scene, "morph", 3, {{0, 1, 2}});
    MorphTarget* t0 = build::AddTarget(morph, "t0", TRIANGLE);
    build::AddTarget(morph, "t1", TRIANGLE);
    build::AddMorphKey(morph, 0, t0);
    build::AddMorphKey(morph, 80, nullptr)->targetName = CopyName("t9");
    build::AddPositionKey(morph, 0, 1.0f);
    LightEntity* light = build::AddLight(scene, "light");
    build::AddLightKey(light, 0, 0.5f);
    light->effect = effect;
    light->effectName = CopyName("flare");
    auto* block = AllocRecord<ShadowQuadBlock>();
    block->count = 4;
    block->quads = static_cast<ShadowQuad*>(MemAlloc(4, sizeof(ShadowQuad)));
    light->shadowQuads = block;
    auto* volume = static_cast<VolumeEntity*>(build::AddEntityOfKind(scene, ENTITY_VOLUME, "volume"));
    for (int axis = 0; axis < 3; ++axis) {
        volume->counts[axis] = 2;
        volume->stackVertices[axis] = static_cast<Vertex*>(MemAlloc(8, sizeof(Vertex)));
        volume->stackFaces[axis] = static_cast<Face*>(MemAlloc(4, sizeof(Face)));
    }
    volume->vertices = volume->stackVertices[1];
    volume->faces = volume->stackFaces[1];
    volume->colourVoxels = MemAlloc(8, 2);
    volume->densityVoxels = static_cast<uint8_t*>(MemAlloc(8, 1));
    build::AddPositionKey(scene->camera, 0, -10.0f);
    ASSERT_EQ(ComputeNormals(a), 1);
    ASSERT_EQ(ComputeNormals(morph), 1);
    ASSERT_EQ(AttachGlowBuffers(scene, 32, 20), 1);
    EXPECT_EQ(a->glowBuffer, b->glowBuffer);
    EXPECT_EQ(a->glowBuffer->users, 2u);
    a->glowBuffer->material = build::AddMaterial(scene, 8);
    ASSERT_EQ(AllocDrawLists(scene), 1);
    FreeScene(scene);
}

// Removing a parent clears every link to it; the last user of a shared
// glow buffer takes the buffer and its material along.
TEST(SceneOwnership, RemovingEntitiesReleasesLinksAndSharedBuffers)
{
    Scene* scene = AllocScene();
    Entity* parent = build::AddNull(scene, "parent");
    ObjectEntity* a = build::AddObject(scene, "a", TRIANGLE, {{0, 1, 2}});
    ObjectEntity* b = build::AddObject(scene, "b", TRIANGLE, {{0, 1, 2}});
    a->parent = b->parent = scene->camera->parent = parent;
    b->objectFlags = a->objectFlags = OBJECT_GLOW;
    ASSERT_EQ(AttachGlowBuffers(scene, 16, 16), 1);
    GlowBuffer* buffer = scene->glowBuffers;
    buffer->material = build::AddMaterial(scene, 8);
    RemoveEntity(scene, parent);
    EXPECT_EQ(a->parent, nullptr);
    EXPECT_EQ(scene->camera->parent, nullptr);
    RemoveEntity(scene, a);
    EXPECT_EQ(buffer->users, 1u);
    RemoveEntity(scene, b);
    EXPECT_EQ(scene->glowBuffers, nullptr);
    EXPECT_EQ(scene->materials, nullptr);
    EXPECT_EQ(scene->entityCount, 0u);
    FreeScene(scene);
}

}  // namespace
