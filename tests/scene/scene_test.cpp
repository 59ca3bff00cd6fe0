#include "scene/scene.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using build::Corners;
using build::Point;

std::vector<Entity*> Chain(const Scene* scene)
{
    std::vector<Entity*> chain;
    for (Entity* entity = scene->entities; entity; entity = entity->next)
        chain.push_back(entity);
    return chain;
}

const std::vector<Point> kTriangle = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};

TEST(SceneRecords, NewSceneHasItsCameraDefaultClipPlanesAndAmbientValue)
{
    Scene* scene = AllocScene();
    ASSERT_NE(scene, nullptr);
    ASSERT_NE(CameraOf(scene->camera), nullptr);
    EXPECT_EQ(scene->nearClip, 1.0f);
    EXPECT_EQ(scene->farClip, 32768.0f);
    EXPECT_EQ(scene->ambientValue2, 1.0f);
    EXPECT_EQ(scene->entityCount, 0u);
    EXPECT_EQ(scene->entities, nullptr);
    EXPECT_EQ(scene->camera->size[0], 0.0f);
    FreeScene(scene);
    FreeScene(nullptr);
}

TEST(SceneRecords, SizeIsOneForObjectsMorphsAndLightsAndZeroForOtherKinds)
{
    for (uint32_t kind : {ENTITY_OBJECT, ENTITY_MORPH, ENTITY_LIGHT}) {
        Entity* entity = AllocEntity(kind);
        ASSERT_NE(entity, nullptr);
        EXPECT_EQ(entity->kind, kind);
        EXPECT_EQ(entity->size[0], 1.0f);
        EXPECT_EQ(entity->size[1], 1.0f);
        EXPECT_EQ(entity->size[2], 1.0f);
        FreeEntity(nullptr, entity);
    }
    for (uint32_t kind : {ENTITY_NULL, 7u, ENTITY_VOLUME, ENTITY_CAMERA}) {
        Entity* entity = AllocEntity(kind);
        ASSERT_NE(entity, nullptr);
        EXPECT_EQ(entity->kind, kind);
        EXPECT_EQ(entity->size[0], 0.0f);
        EXPECT_EQ(entity->size[2], 0.0f);
        EXPECT_EQ(ObjectOf(entity), nullptr);
        FreeEntity(nullptr, entity);
    }
    Entity* object = AllocEntity(ENTITY_OBJECT);
    EXPECT_EQ(ObjectOf(object)->glow[1], 1.0f);
    FreeEntity(nullptr, object);
}

TEST(SceneRecords, RemovingAParentClearsEveryParentLinkToIt)
{
    Scene* scene = AllocScene();
    Entity* parent = build::AddNull(scene, "parent");
    Entity* child = build::AddNull(scene, "child");
    Entity* other = build::AddNull(scene, "other");
    Entity* grandchild = build::AddNull(scene, "grandchild");
    child->parent = parent;
    grandchild->parent = child;
    other->parent = parent;
    scene->camera->parent = parent;
    scene->drawCount = 5;

    RemoveEntity(scene, parent);
    EXPECT_EQ(Chain(scene), (std::vector<Entity*>{child, other, grandchild}));
    EXPECT_EQ(scene->entityCount, 3u);
    EXPECT_EQ(child->parent, nullptr);
    EXPECT_EQ(other->parent, nullptr);
    EXPECT_EQ(scene->camera->parent, nullptr);
    EXPECT_EQ(grandchild->parent, child);
    EXPECT_EQ(scene->drawCount, 0u);  // this frame's list may have pointed into it

    Entity* stranger = AllocEntity(ENTITY_NULL);
    RemoveEntity(scene, stranger);  // not in the chain: left alone
    EXPECT_EQ(scene->entityCount, 3u);
    EXPECT_EQ(stranger->kind, ENTITY_NULL);
    FreeEntity(scene, stranger);
    FreeScene(scene);
}

TEST(SceneRecords, RemovingAMorphTargetDeletesItsKeysAndForgetsItAsCurrentShape)
{
    Scene* scene = AllocScene();
    MorphEntity* morph = build::AddMorph(scene, "m", 3, {{0, 1, 2}});
    MorphTarget* a = build::AddTarget(morph, "a", kTriangle);
    MorphTarget* b = build::AddTarget(morph, "b", kTriangle);
    build::AddMorphKey(morph, 0, a);
    MorphKey* keyB = build::AddMorphKey(morph, 10, b);
    build::AddMorphKey(morph, 20, a);
    morph->currentTarget = a;

    RemoveMorphTarget(morph, a);
    EXPECT_EQ(morph->targetCount, 1u);
    EXPECT_EQ(morph->targets, b);
    EXPECT_EQ(morph->currentTarget, nullptr);
    EXPECT_EQ(morph->morphKeys.head, keyB);
    EXPECT_EQ(morph->morphKeys.tail, keyB);
    EXPECT_EQ(keyB->prev, nullptr);
    EXPECT_EQ(keyB->next, nullptr);

    MorphTarget* foreign = AllocRecord<MorphTarget>();
    RemoveMorphTarget(morph, foreign);  // not the object's: left alone
    EXPECT_EQ(morph->targetCount, 1u);
    MemFree(foreign);
    FreeScene(scene);
}

TEST(SceneRecords, DrawListsAreSizedFromTheEntities)
{
    Scene* scene = AllocScene();
    build::AddLight(scene, "l1");
    build::AddLight(scene, "l2");
    build::AddObject(scene, "plain", kTriangle, {{0, 1, 2}, {0, 2, 1}});
    ObjectEntity* glints = build::AddObject(scene, "glints", kTriangle, {{0, 1, 2}});
    glints->objectFlags = OBJECT_SPRITEEFFECT;
    ObjectEntity* glowing = build::AddObject(scene, "glowing", kTriangle, {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}});
    glowing->objectFlags = OBJECT_GLOW;
    VolumeEntity* volume = static_cast<VolumeEntity*>(build::AddEntityOfKind(scene, ENTITY_VOLUME, "v"));
    volume->counts[0] = 4;
    volume->counts[1] = 16;
    volume->counts[2] = 8;
    volume->objectFlags = OBJECT_GLOW | OBJECT_DOUBLESIDED;
    build::AddNull(scene, "null");

    ASSERT_EQ(AllocDrawLists(scene), 1);
    EXPECT_EQ(scene->polygonCapacity, 2u + 2u + 1u + 3u + 32u);
    EXPECT_EQ(scene->spriteCapacity, 2u + 3u + 3u);
    ASSERT_NE(scene->drawList, nullptr);
    ASSERT_NE(scene->spriteList, nullptr);
    // Both arrays hold capacity + 2 entries, all zero.
    for (uint32_t i = 0; i < scene->polygonCapacity + 2; ++i)
        EXPECT_EQ(scene->drawList[i].type, DRAW_DROPPED);
    scene->spriteList[scene->spriteCapacity + 1].type = DRAW_GLINT;

    ASSERT_EQ(AllocDrawLists(scene), 1);  // again: the old arrays are released
    EXPECT_EQ(scene->spriteList[scene->spriteCapacity + 1].type, DRAW_DROPPED);
    FreeScene(scene);
}

TEST(SceneRecords, MergingMovesEveryChainAndLeavesTheOtherSceneEmpty)
{
    Scene* scene = AllocScene();
    Scene* other = AllocScene();
    Entity* mine = build::AddNull(scene, "mine");
    Texture* myTexture = build::AddTexture(scene, "mine", 2, 2);
    ObjectEntity* theirs = build::AddObject(other, "theirs", kTriangle, {{0, 1, 2}});
    Entity* theirChild = build::AddNull(other, "child");
    theirChild->parent = theirs;
    Texture* theirTexture = build::AddTexture(other, "theirs", 2, 2);
    Material* theirMaterial = build::AddMaterial(other, 6);
    LightEffect* theirEffect = build::AddLightEffect(other, "fx");
    theirs->objectFlags = OBJECT_GLOW;
    ASSERT_EQ(AttachGlowBuffers(other, 0, 0), 1);
    GlowBuffer* theirGlow = other->glowBuffers;

    ASSERT_EQ(MergeScene(scene, other), 1);
    EXPECT_EQ(Chain(scene), (std::vector<Entity*>{mine, theirs, theirChild}));
    EXPECT_EQ(scene->entityCount, 3u);
    EXPECT_EQ(scene->textures, myTexture);
    EXPECT_EQ(myTexture->next, theirTexture);
    EXPECT_EQ(scene->materials, theirMaterial);
    EXPECT_EQ(scene->lightEffects, theirEffect);
    EXPECT_EQ(scene->glowBuffers, theirGlow);
    EXPECT_EQ(scene->polygonCapacity, 1u);
    EXPECT_EQ(scene->spriteCapacity, 1u);
    EXPECT_EQ(theirChild->parent, theirs);

    EXPECT_EQ(other->entities, nullptr);
    EXPECT_EQ(other->entityCount, 0u);
    EXPECT_EQ(other->textures, nullptr);
    EXPECT_EQ(other->materials, nullptr);
    EXPECT_EQ(other->lightEffects, nullptr);
    EXPECT_EQ(other->glowBuffers, nullptr);
    FreeScene(other);  // only its camera remains: nothing is freed twice
    FreeScene(scene);
}

TEST(SceneRecords, ColourIndicesAreTheNearestTableEntries)
{
    std::vector<uint32_t> words = build::PaletteWords({0x000000, 0xFF0000, 0x00FF00, 0x0A141E});
    ColourTable* table = build::MakeColourTable(words, true);
    ASSERT_NE(table, nullptr);
    Scene* scene = AllocScene();
    ObjectEntity* object = build::AddObject(scene, "o", kTriangle, {});
    object->colour = 0x80F00808;  // the top byte is a weight, not a channel
    scene->backgroundColour = 0x000A141E;
    SetColourIndex(object, table);
    SetBackgroundIndex(scene, table);
    EXPECT_EQ(object->colourIndex, 1u);
    EXPECT_EQ(scene->backgroundIndex, 3u);
    FreeScene(scene);
    DeleteColourTable(table);
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
    scene->floorMap = environment;
    scene->fogRamp = static_cast<uint8_t*>(MemAlloc(32768, 1));
    scene->fogMaterial = build::AddMaterial(scene, 7);
    scene->sceneMaterial = build::AddMaterial(scene, 9);
    scene->sceneMaterial->users = 3;  // forced free regardless of users

    LightEffect* effect = build::AddLightEffect(scene, "flare");
    build::AddElement(effect, "ring", 0x8000, shared)->material = build::AddMaterial(scene, 2);
    build::AddElement(effect, "dot", 0x4000);

    Entity* root = build::AddNull(scene, "root");
    build::AddPositionKey(root, 0, 0.0f);
    build::AddPositionKey(root, 100, 5.0f);
    root->parentName = CopyName("unresolved");

    ObjectEntity* a = build::AddObject(scene, "a", kTriangle, {{0, 1, 2}});
    a->parent = root;
    a->textureMap = shared;
    a->environmentMap = environment;
    a->environmentPixels = static_cast<uint8_t*>(environment->pixels);  // the map's own pixels
    a->lookupTable = static_cast<uint8_t*>(MemAlloc(256, 256));
    a->glowImage = static_cast<uint8_t*>(MemAlloc(256, 256));
    a->edgeTable = static_cast<ShadowEdge*>(MemAlloc(3, 12));
    a->spriteEffect = effect;
    a->spriteEffectName = CopyName("flare");
    a->objectFlags = OBJECT_GLOW;
    a->colour = 0x00FF0000;

    ObjectEntity* b = build::AddObject(scene, "b", kTriangle, {{0, 1, 2}});
    b->textureMap = shared;
    b->environmentMap = environment;
    b->environmentPixels = static_cast<uint8_t*>(MemAlloc(65536, 1));  // a private copy
    b->objectFlags = OBJECT_GLOW | OBJECT_LIGHTMAP;
    b->colour = 0x00FF0000;

    MorphEntity* morph = build::AddMorph(scene, "morph", 3, {{0, 1, 2}});
    MorphTarget* t0 = build::AddTarget(morph, "t0", kTriangle);
    MorphTarget* t1 = build::AddTarget(morph, "t1", kTriangle);
    MorphTarget* empty = build::AddTarget(morph, "empty", {});  // a target without a shape yet
    MemFree(empty->targetVertices);
    empty->targetVertices = nullptr;
    build::AddMorphKey(morph, 0, t0);
    build::AddMorphKey(morph, 50, t1);
    build::AddMorphKey(morph, 80, nullptr)->targetName = CopyName("t9");
    build::AddPositionKey(morph, 0, 1.0f);
    morph->objectFlags = OBJECT_GLOW;
    morph->colour = 0x0000FF00;

    LightEntity* light = build::AddLight(scene, "light");
    build::AddLightKey(light, 0, 0.5f);
    build::AddLightKey(light, 40, 1.0f);
    build::AddPositionKey(light, 0, 2.0f);
    light->effect = effect;
    light->effectName = CopyName("flare");
    for (int i = 0; i < 2; ++i) {
        auto* block = AllocRecord<ShadowQuadBlock>();
        block->count = 4;
        block->quads = static_cast<ShadowQuad*>(MemAlloc(4, sizeof(ShadowQuad)));
        block->next = light->shadowQuads;
        light->shadowQuads = block;
    }

    auto* volume = static_cast<VolumeEntity*>(build::AddEntityOfKind(scene, ENTITY_VOLUME, "volume"));
    for (int axis = 0; axis < 3; ++axis) {
        volume->counts[axis] = 2;
        volume->stackVertices[axis] = static_cast<Vertex*>(MemAlloc(8, sizeof(Vertex)));
        volume->stackFaces[axis] = static_cast<Face*>(MemAlloc(4, sizeof(Face)));
    }
    volume->vertices = volume->stackVertices[1];  // the current stack, not owned twice
    volume->faces = volume->stackFaces[1];
    volume->vertexCount = 8;
    volume->faceCount = 4;
    volume->colourVoxels = MemAlloc(8, 2);
    volume->densityVoxels = static_cast<uint8_t*>(MemAlloc(8, 1));
    volume->objectFlags = OBJECT_GLOW | OBJECT_DOUBLESIDED;

    build::AddPositionKey(scene->camera, 0, -10.0f);
    scene->camera->parent = root;

    ASSERT_EQ(ComputeNormals(a), 1);
    ASSERT_EQ(ComputeNormals(morph), 1);
    ASSERT_EQ(AttachGlowBuffers(scene, 32, 20), 1);
    ASSERT_NE(a->glowBuffer, nullptr);
    EXPECT_EQ(a->glowBuffer, b->glowBuffer);
    EXPECT_EQ(a->glowBuffer->users, 2u);
    EXPECT_EQ(volume->glowBuffer, nullptr);
    a->glowBuffer->material = build::AddMaterial(scene, 8);
    ASSERT_EQ(AllocDrawLists(scene), 1);

    FreeScene(scene);
}

TEST(SceneOwnership, RemovingEntitiesOneByOneReleasesSharedGlowBuffersAtTheLastUser)
{
    Scene* scene = AllocScene();
    ObjectEntity* a = build::AddObject(scene, "a", kTriangle, {{0, 1, 2}});
    ObjectEntity* b = build::AddObject(scene, "b", kTriangle, {{0, 1, 2}});
    a->objectFlags = b->objectFlags = OBJECT_GLOW;
    ASSERT_EQ(AttachGlowBuffers(scene, 16, 16), 1);
    GlowBuffer* buffer = scene->glowBuffers;
    buffer->material = build::AddMaterial(scene, 8);

    RemoveEntity(scene, a);
    EXPECT_EQ(scene->glowBuffers, buffer);
    EXPECT_EQ(buffer->users, 1u);
    EXPECT_NE(scene->materials, nullptr);
    RemoveEntity(scene, b);
    EXPECT_EQ(scene->glowBuffers, nullptr);
    EXPECT_EQ(scene->materials, nullptr);  // the buffer's material went with it
    EXPECT_EQ(scene->entityCount, 0u);
    FreeScene(scene);
}

}  // namespace
