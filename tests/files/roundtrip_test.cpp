// Round trips: a scene written by SaveScene and read back by LoadScene
// reproduces every field the writer carries, and writing the copy gives the
// same bytes again.
#include "files/scene_bytes.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <string>

using namespace bytes;

namespace {

void SetTriple(float* values, float x, float y, float z)
{
    values[0] = x;
    values[1] = y;
    values[2] = z;
}

// Every entity kind a file holds and every optional chunk: fog, shadows,
// floor and sky, a light effect with elements and maps used by a light and
// as a sprite effect, motion keys, light keys, morph targets and keys,
// vertex colours, glow, perspective correction, every map, parents and the
// camera's block.
ScenePtr RichScene()
{
    ScenePtr owned(AllocScene());
    Scene* scene = owned.get();
    scene->nearClip = 4.0f;
    scene->farClip = 5000.0f;
    scene->fog[0] = 0x00808080;
    scene->fog[1] = 100;
    scene->fog[2] = 0x2000;
    scene->fog[3] = 4000;
    scene->fog[4] = 0xE000;
    scene->flags = 0x1000 | SCENE_FOGFAR | (4 << 8) | SCENE_SHADOWS;
    scene->ambientLevel = 0.25f;
    scene->ambientValue2 = 0.75f;
    scene->backgroundColour = 0x00102030;
    scene->backgroundValue2 = 7;
    scene->backgroundValue3 = 8;
    scene->floorMap = build::AddTexture(scene, "floor.iff", 1, 1);
    scene->skyMap = build::AddTexture(scene, "sky.iff", 1, 1);

    LightEffect* flare = build::AddLightEffect(scene, "flare");
    flare->effectValue = 0x55;
    LightEffectElement* ring = build::AddElement(flare, "ring", 0x30000, build::AddTexture(scene, "ring.iff", 1, 1));
    ring->e1 = 0x8000;
    ring->e2 = 0x4000;
    ring->e3 = 2;
    build::AddElement(flare, "dot", 0x10000);

    Entity* root = build::AddNull(scene, "root");
    SetTriple(root->position, 1, 2, 3);
    SetTriple(root->rotation, 10, 20, 30);
    build::AddMotionKey(root, 0, {{1, 2, 3}, {10, 20, 30}, {0, 0, 0}}, KEY_INTERPOLATE);
    build::AddMotionKey(root, 700, {{4, 5, 6}, {0, 90, 0}, {2, 2, 2}}, KEY_INTERPOLATE | KEY_SPLINE | KEY_HIDDEN,
                        0.5f, -0.25f, 0.125f);

    ObjectEntity* box = build::AddObject(scene, "box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                                         {{0, 1, 2}, {1, 3, 2}});
    box->parent = root;
    SetTriple(box->pivot, 0.5f, 0.5f, 0);
    SetTriple(box->size, 2, 3, 4);
    box->objectFlags = OBJECT_TRANSPARENT | OBJECT_TEXTURE | OBJECT_ENVIRONMENT | OBJECT_BUMP | OBJECT_PERSPECTIVE |
                       OBJECT_SHADED | OBJECT_DOUBLESIDED | OBJECT_SPRITEEFFECT | OBJECT_SHADOWCASTER |
                       OBJECT_VERTEXCOLOURS | OBJECT_GLOW;
    for (uint32_t i = 0; i < box->vertexCount; ++i) {
        box->vertices[i].colour = (60 * i) * 0x010101;
        box->vertices[i].vertexValue = 100 + i;
    }
    box->faces[1].uv[2][0] = 0.75f;
    box->faces[1].uv[2][1] = -0.5f;
    box->faces[1].faceFlags = 0x12;
    box->colour = 0x40FF8000;
    box->textureMap = build::AddTexture(scene, "wood.iff", 1, 1);
    box->environmentMap = build::AddTexture(scene, "chrome.iff", 1, 1);
    box->bumpMap = build::AddTexture(scene, "bumps.iff", 1, 1);
    box->transparencyMap = build::AddTexture(scene, "mask.iff", 1, 1);
    box->material[0] = 1;
    box->material[1] = 0;
    box->material[2] = 4;
    box->material[3] = 0xFFFFFFFF;
    box->spriteEffect = flare;
    box->spriteValue = 9;
    box->correctionValue = 4;
    box->glow[0] = 0.5f;
    box->glow[1] = 3.0f;
    box->rdstValues[0] = 1;
    box->rdstValues[3] = 4;

    MorphEntity* blob = build::AddMorph(scene, "blob", 3, {{0, 1, 2}});
    blob->parent = box;
    blob->objectFlags = OBJECT_DEPTHBIAS;
    blob->colour = 0x00FF00;
    MorphTarget* flat = build::AddTarget(blob, "flat", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    MorphTarget* tall = build::AddTarget(blob, "tall", {{0, 0, 1}, {2, 0, 1}, {0, 2, 1}});
    build::AddMorphKey(blob, 0, flat, KEY_INTERPOLATE);
    MorphKey* stretch = build::AddMorphKey(blob, 350, tall, KEY_INTERPOLATE | KEY_SPLINE);
    stretch->k0 = 0.5f;

    LightEntity* lamp = build::AddLight(scene, "lamp");
    lamp->parent = root;
    lamp->lightFlags = LIGHT_ON | LIGHT_SCALEEFFECT | LIGHT_SHADOWS;
    lamp->lightValue1 = 0.9f;
    lamp->lightValue2 = 250.0f;
    lamp->lightValue3 = 0x00FFE0C0;
    lamp->effect = flare;
    build::AddLightKey(lamp, 0, 0.1f, KEY_INTERPOLATE);
    build::AddLightKey(lamp, 300, 0.9f, KEY_INTERPOLATE | KEY_SPLINE, 0.25f, 0.5f, 0.75f);

    Entity* other = build::AddEntityOfKind(scene, 77, "marker");
    other->entityFlags = 0x00000003;

    auto* camera = static_cast<CameraEntity*>(scene->camera);
    camera->name = CopyName("eye");
    camera->parent = root;
    camera->fieldOfView = 75.0f;
    camera->cameraValue2 = 6;
    SetTriple(camera->position, 0, 1, -10);
    build::AddMotionKey(camera, 0, {{0, 1, -10}, {0, 0, 0}, {0, 0, 0}});
    return owned;
}

Loaded LoadImage(const Bytes& image)
{
    return Load(image, {{TAG_LOADSCENE_PLACEHOLDERS, 1}});
}

std::string NameOf(const Texture* texture)
{
    return texture && texture->name ? texture->name : "";
}

void ExpectSameTriple(const float* a, const float* b, const char* what)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(a[i], b[i]) << what << " " << i;
}

void ExpectSameKeyHeader(const Key* a, const Key* b)
{
    EXPECT_EQ(a->time, b->time);
    EXPECT_EQ(a->k0, b->k0);
    EXPECT_EQ(a->k1, b->k1);
    EXPECT_EQ(a->k2, b->k2);
    EXPECT_EQ(a->keyFlags, b->keyFlags);
}

void ExpectSameMotion(const Entity* a, const Entity* b)
{
    SCOPED_TRACE(a->name ? a->name : "(camera)");
    EXPECT_EQ(a->kind, b->kind);
    EXPECT_STREQ(a->name, b->name);
    EXPECT_EQ(a->entityFlags, b->entityFlags);
    ExpectSameTriple(a->pivot, b->pivot, "pivot");
    ExpectSameTriple(a->position, b->position, "position");
    ExpectSameTriple(a->rotation, b->rotation, "rotation");
    ExpectSameTriple(a->size, b->size, "size");
    EXPECT_EQ(a->parent != nullptr, b->parent != nullptr);
    if (a->parent && b->parent) {
        EXPECT_STREQ(a->parent->name, b->parent->name);
    }
    const Key* ka = a->keys.head;
    const Key* kb = b->keys.head;
    for (; ka && kb; ka = ka->next, kb = kb->next) {
        ExpectSameKeyHeader(ka, kb);
        const auto* ea = static_cast<const EntityKey*>(ka);
        const auto* eb = static_cast<const EntityKey*>(kb);
        ExpectSameTriple(ea->position, eb->position, "key position");
        ExpectSameTriple(ea->rotation, eb->rotation, "key rotation");
        ExpectSameTriple(ea->size, eb->size, "key size");
    }
    EXPECT_EQ(ka, nullptr);
    EXPECT_EQ(kb, nullptr);
}

void ExpectSameObject(const ObjectEntity* a, const ObjectEntity* b)
{
    SCOPED_TRACE(a->name);
    EXPECT_EQ(a->objectFlags, b->objectFlags);
    EXPECT_EQ(a->colour, b->colour);
    ASSERT_EQ(a->faceCount, b->faceCount);
    for (uint32_t f = 0; f < a->faceCount; ++f) {
        for (int corner = 0; corner < 3; ++corner) {
            EXPECT_EQ(a->faces[f].vertices[corner] - a->vertices, b->faces[f].vertices[corner] - b->vertices);
            EXPECT_EQ(a->faces[f].uv[corner][0], b->faces[f].uv[corner][0]);
            EXPECT_EQ(a->faces[f].uv[corner][1], b->faces[f].uv[corner][1]);
        }
        EXPECT_EQ(a->faces[f].faceFlags, b->faces[f].faceFlags);
        EXPECT_EQ(b->faces[f].owner, b);
    }
    EXPECT_EQ(NameOf(a->textureMap), NameOf(b->textureMap));
    EXPECT_EQ(NameOf(a->environmentMap), NameOf(b->environmentMap));
    EXPECT_EQ(NameOf(a->bumpMap), NameOf(b->bumpMap));
    EXPECT_EQ(NameOf(a->transparencyMap), NameOf(b->transparencyMap));
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(a->material[i], b->material[i]);
        EXPECT_EQ(a->rdstValues[i], b->rdstValues[i]);
    }
    EXPECT_EQ(a->spriteEffect != nullptr, b->spriteEffect != nullptr);
    if (a->spriteEffect && b->spriteEffect) {
        EXPECT_STREQ(a->spriteEffect->name, b->spriteEffect->name);
    }
    EXPECT_EQ(a->spriteValue, b->spriteValue);
    EXPECT_EQ(a->correctionValue, b->correctionValue);
    EXPECT_EQ(a->glow[0], b->glow[0]);
    EXPECT_EQ(a->glow[1], b->glow[1]);
}

}  // namespace

TEST(RoundTrip, EveryEntityKindAndOptionalChunkSurvivesWritingAndReading)
{
    ScenePtr original = RichScene();
    const Bytes image = Save(original.get());
    ASSERT_FALSE(image.empty());
    Loaded loaded = LoadImage(image);
    ASSERT_TRUE(loaded.scene);
    ASSERT_EQ(loaded.error, 0);
    Scene* a = original.get();
    Scene* b = loaded.scene.get();

    EXPECT_EQ(b->nearClip, a->nearClip);
    EXPECT_EQ(b->farClip, a->farClip);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(b->fog[i], a->fog[i]) << i;
    EXPECT_EQ(b->flags, a->flags);
    EXPECT_EQ(b->ambientLevel, a->ambientLevel);
    EXPECT_EQ(b->ambientValue2, a->ambientValue2);
    EXPECT_EQ(b->backgroundColour, a->backgroundColour);
    EXPECT_EQ(b->backgroundValue2, a->backgroundValue2);
    EXPECT_EQ(b->backgroundValue3, a->backgroundValue3);
    EXPECT_EQ(NameOf(b->floorMap), "floor.iff");
    EXPECT_EQ(NameOf(b->skyMap), "sky.iff");

    LightEffect* flare = b->lightEffects;
    ASSERT_TRUE(flare);
    EXPECT_EQ(flare->next, nullptr);
    EXPECT_STREQ(flare->name, "flare");
    EXPECT_EQ(flare->effectValue, 0x55u);
    LightEffectElement* ring = flare->elements;
    ASSERT_TRUE(ring && ring->next);
    EXPECT_STREQ(ring->name, "ring");
    EXPECT_EQ(ring->e0, 0x30000u);
    EXPECT_EQ(ring->e1, 0x8000u);
    EXPECT_EQ(ring->e2, 0x4000u);
    EXPECT_EQ(ring->e3, 2u);
    EXPECT_EQ(NameOf(ring->map), "ring.iff");
    EXPECT_STREQ(ring->next->name, "dot");
    EXPECT_EQ(ring->next->map, nullptr);

    ASSERT_EQ(b->entityCount, a->entityCount);
    for (Entity *ea = a->entities, *eb = b->entities; ea && eb; ea = ea->next, eb = eb->next)
        ExpectSameMotion(ea, eb);
    ExpectSameMotion(a->camera, b->camera);
    EXPECT_EQ(CameraOf(b->camera)->fieldOfView, 75.0f);
    EXPECT_EQ(CameraOf(b->camera)->cameraValue2, 6u);

    ObjectEntity* boxA = ObjectOf(a->entities->next);
    ObjectEntity* boxB = ObjectOf(b->entities->next);
    ASSERT_TRUE(boxB);
    ExpectSameObject(boxA, boxB);
    ASSERT_EQ(boxB->vertexCount, boxA->vertexCount);
    for (uint32_t i = 0; i < boxA->vertexCount; ++i) {
        ExpectSameTriple(boxA->vertices[i].position, boxB->vertices[i].position, "vertex");
        EXPECT_EQ(boxB->vertices[i].colour, boxA->vertices[i].colour) << i;
        EXPECT_EQ(boxB->vertices[i].vertexValue, boxA->vertices[i].vertexValue) << i;
    }
    EXPECT_EQ(boxB->spriteEffect, flare);

    MorphEntity* blobA = MorphOf(boxA->next);
    MorphEntity* blobB = MorphOf(boxB->next);
    ASSERT_TRUE(blobB);
    ExpectSameObject(blobA, blobB);
    ASSERT_EQ(blobB->targetCount, 2u);
    ASSERT_EQ(blobB->vertexCount, 3u);
    for (MorphTarget *ta = blobA->targets, *tb = blobB->targets; ta && tb; ta = ta->next, tb = tb->next) {
        EXPECT_STREQ(ta->name, tb->name);
        for (uint32_t i = 0; i < 3; ++i)
            ExpectSameTriple(ta->targetVertices[i].position, tb->targetVertices[i].position, "target");
    }
    for (Key *ka = blobA->morphKeys.head, *kb = blobB->morphKeys.head; ka || kb; ka = ka->next, kb = kb->next) {
        ASSERT_TRUE(ka && kb);
        ExpectSameKeyHeader(ka, kb);
        EXPECT_STREQ(static_cast<MorphKey*>(ka)->target->name, static_cast<MorphKey*>(kb)->target->name);
    }

    LightEntity* lampA = LightOf(blobA->next);
    LightEntity* lampB = LightOf(blobB->next);
    ASSERT_TRUE(lampB);
    EXPECT_EQ(lampB->lightFlags, lampA->lightFlags);
    EXPECT_EQ(lampB->lightValue1, lampA->lightValue1);
    EXPECT_EQ(lampB->lightValue2, lampA->lightValue2);
    EXPECT_EQ(lampB->lightValue3, lampA->lightValue3);
    EXPECT_EQ(lampB->effect, flare);
    for (Key *ka = lampA->keys2.head, *kb = lampB->keys2.head; ka || kb; ka = ka->next, kb = kb->next) {
        ASSERT_TRUE(ka && kb);
        ExpectSameKeyHeader(ka, kb);
        EXPECT_EQ(static_cast<LightKey*>(ka)->value, static_cast<LightKey*>(kb)->value);
    }

    EXPECT_EQ(Save(b), image);
}

TEST(RoundTrip, EachBackgroundMapSurvivesInItsMode)
{
    for (uint32_t mode = 1; mode <= 4; ++mode) {
        ScenePtr scene(AllocScene());
        scene->flags = mode << 8;
        scene->backgroundMap = build::AddTexture(scene.get(), "back.iff", 1, 1);
        scene->floorMap = build::AddTexture(scene.get(), "floor.iff", 1, 1);
        scene->skyMap = build::AddTexture(scene.get(), "sky.iff", 1, 1);
        Loaded loaded = LoadImage(Save(scene.get()));
        ASSERT_TRUE(loaded.scene) << mode;
        EXPECT_EQ(loaded.scene->flags, mode << 8);
        EXPECT_EQ(NameOf(loaded.scene->backgroundMap), mode == 1 ? "back.iff" : "") << mode;
        EXPECT_EQ(NameOf(loaded.scene->floorMap), mode == 2 || mode == 4 ? "floor.iff" : "") << mode;
        EXPECT_EQ(NameOf(loaded.scene->skyMap), mode == 3 || mode == 4 ? "sky.iff" : "") << mode;
    }
}

// The writer turns each grey vertex colour into an intensity that the
// reader turns back into the same grey.
TEST(RoundTrip, EveryVertexGreyLevelSurvives)
{
    ScenePtr scene(AllocScene());
    std::vector<build::Point> points(256, build::Point{0, 0, 0});
    ObjectEntity* object = build::AddObject(scene.get(), "greys", points, {});
    for (uint32_t level = 0; level < 256; ++level)
        object->vertices[level].colour = level * 0x010101;
    Loaded loaded = LoadImage(Save(scene.get()));
    ASSERT_TRUE(loaded.scene);
    ObjectEntity* copy = ObjectOf(loaded.scene->entities);
    ASSERT_EQ(copy->vertexCount, 256u);
    for (uint32_t level = 0; level < 256; ++level)
        EXPECT_EQ(copy->vertices[level].colour, level * 0x010101) << level;
}

TEST(RoundTrip, FileRoundTripMatchesMemory)
{
    ScenePtr original = RichScene();
    const std::string name = TempName("roundtrip");
    int32_t error = 1;
    const TagItem save[] = {
        {TAG_SAVESCENE_FILENAME, TagPtr(name.c_str())},
        {TAG_SAVESCENE_ERROR, TagPtr(&error)},
        {TAG_DONE, 0},
    };
    ASSERT_GT(SaveScene(original.get(), save), 0u);
    const TagItem load[] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())},
        {TAG_LOADSCENE_PLACEHOLDERS, 1},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {TAG_DONE, 0},
    };
    ScenePtr copy(LoadScene(load));
    std::remove(name.c_str());
    ASSERT_TRUE(copy);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Save(copy.get()), Save(original.get()));
}
