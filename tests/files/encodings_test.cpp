// Older encodings: files of versions 0 to 6 built byte by byte read with the
// conversions of their version (integers, 16.16 fixed point, the older key
// chunks and the flags words of older keys).
#include "files/scene_bytes.h"

#include <gtest/gtest.h>

using namespace bytes;

namespace {

// 16.16 fixed point.
uint32_t X(double value)
{
    return uint32_t(int32_t(value * 65536.0));
}

// One triangle with integer-or-float coordinates already encoded.
Bytes Triangle(std::initializer_list<uint32_t> vertices, std::initializer_list<uint32_t> face)
{
    Bytes out = Enty(ENTITY_OBJECT);
    for (const Bytes& chunk : {WordChunk("OBJT", {0}), WordChunk("VRTX", vertices), WordChunk("FACE", face)})
        out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

EntityKey* KeyAt(Entity* entity, int n)
{
    Key* key = entity->keys.head;
    while (key && n-- > 0)
        key = key->next;
    return static_cast<EntityKey*>(key);
}

}  // namespace

TEST(ReadEncodings, ReadsIntegerPositionsAndFixedRotationsBeforeVersion1)
{
    Loaded loaded = Load(Form({
        WordChunk("CLIP", {I(2), I(-1000)}),
        Enty(ENTITY_NULL),
        WordChunk("POSN", {I(1), I(-2), I(300000)}),
        WordChunk("PIVT", {I(-7), I(0), I(7)}),
        WordChunk("ROT2", {X(90.0), X(-0.5), X(1.5)}),
        Enty(ENTITY_NULL),
        WordChunk("ROTN", {I(-45), I(0), I(720)}),
    }));
    ASSERT_TRUE(loaded.scene);
    Scene* scene = loaded.scene.get();
    EXPECT_EQ(scene->nearClip, 2.0f);
    EXPECT_EQ(scene->farClip, -1000.0f);
    Entity* first = scene->entities;
    EXPECT_EQ(first->position[0], 1.0f);
    EXPECT_EQ(first->position[1], -2.0f);
    EXPECT_EQ(first->position[2], 300000.0f);
    EXPECT_EQ(first->pivot[0], -7.0f);
    EXPECT_EQ(first->pivot[2], 7.0f);
    EXPECT_EQ(first->rotation[0], 90.0f);
    EXPECT_EQ(first->rotation[1], -0.5f);
    EXPECT_EQ(first->rotation[2], 1.5f);
    EXPECT_EQ(first->next->rotation[0], -45.0f);
    EXPECT_EQ(first->next->rotation[2], 720.0f);
}

TEST(ReadEncodings, ReadsIntegerVerticesAndFixedGlowBeforeVersion2)
{
    for (uint32_t version : {0u, 1u}) {
        Loaded loaded = Load(Form({
            Version(version),
            Triangle({I(0), I(0), I(0), 1, I(10), I(0), I(0), 2, I(0), I(-10), I(0), 3},
                     {0, 1, 2, I(0), I(0), I(255), I(0), I(0), I(-255), 0}),
            WordChunk("GLOW", {X(0.75)}),
            Enty(ENTITY_OBJECT),
            WordChunk("AVTX", {I(4), I(5), I(6), F(1.0f), 9}),
        }));
        ASSERT_TRUE(loaded.scene) << version;
        ObjectEntity* object = ObjectOf(loaded.scene->entities);
        EXPECT_EQ(object->vertices[1].position[0], 10.0f) << version;
        EXPECT_EQ(object->vertices[2].position[1], -10.0f) << version;
        EXPECT_EQ(object->vertices[2].vertexValue, 3u) << version;
        EXPECT_EQ(object->faces[0].uv[1][0], 255.0f) << version;
        EXPECT_EQ(object->faces[0].uv[2][1], -255.0f) << version;
        EXPECT_EQ(object->glow[0], 0.75f) << version;
        EXPECT_EQ(object->glow[1], 1.0f) << version;
        ObjectEntity* second = ObjectOf(object->next);
        EXPECT_EQ(second->vertices[0].position[2], 6.0f) << version;
        EXPECT_EQ(second->vertices[0].colour, 0xFFFFFFu) << version;
    }
}

TEST(ReadEncodings, ReadsFloatPositionsFromVersion1)
{
    Loaded loaded = Load(Form({
        Version(1),
        Enty(ENTITY_NULL),
        WordChunk("POSN", {F(0.5f), F(-1.25f), F(3)}),
        WordChunk("PIVT", {F(0.25f), F(0), F(0)}),
        WordChunk("ROT2", {F(12.5f), F(0), F(0)}),
    }));
    ASSERT_TRUE(loaded.scene);
    Entity* entity = loaded.scene->entities;
    EXPECT_EQ(entity->position[0], 0.5f);
    EXPECT_EQ(entity->position[1], -1.25f);
    EXPECT_EQ(entity->pivot[0], 0.25f);
    EXPECT_EQ(entity->rotation[0], 12.5f);
}

TEST(ReadEncodings, ReadsFloatVerticesFromVersion2AndFloatGlowFromVersion3)
{
    Loaded v2 = Load(Form({
        Version(2),
        Triangle({F(0.5f), F(0), F(0), 0, F(1), F(0), F(0), 0, F(0), F(1), F(0), 0},
                 {0, 1, 2, F(0.25f), F(0), F(0), F(0), F(0), F(0), 0}),
        WordChunk("GLOW", {X(2.5), F(9.0f)}),
    }));
    ASSERT_TRUE(v2.scene);
    ObjectEntity* object = ObjectOf(v2.scene->entities);
    EXPECT_EQ(object->vertices[0].position[0], 0.5f);
    EXPECT_EQ(object->faces[0].uv[0][0], 0.25f);
    EXPECT_EQ(object->glow[0], 2.5f);
    EXPECT_EQ(object->glow[1], 1.0f);

    Loaded v3 = Load(Form({Version(3), Enty(ENTITY_OBJECT), WordChunk("GLOW", {F(2.5f), F(9.0f)})}));
    ASSERT_TRUE(v3.scene);
    EXPECT_EQ(ObjectOf(v3.scene->entities)->glow[0], 2.5f);
    EXPECT_EQ(ObjectOf(v3.scene->entities)->glow[1], 9.0f);
    EXPECT_TRUE(Fails(Form({Version(3), Enty(ENTITY_OBJECT), WordChunk("GLOW", {F(2.5f)})})));
}

TEST(ReadEncodings, ReadsIntegerClipUpToVersion3AndFloatClipFrom4)
{
    Loaded v3 = Load(Form({Version(3), WordChunk("CLIP", {I(5), I(5000)})}));
    ASSERT_TRUE(v3.scene);
    EXPECT_EQ(v3.scene->nearClip, 5.0f);
    EXPECT_EQ(v3.scene->farClip, 5000.0f);
    Loaded v4 = Load(Form({Version(4), WordChunk("CLIP", {F(0.5f), F(4000.0f)})}));
    ASSERT_TRUE(v4.scene);
    EXPECT_EQ(v4.scene->nearClip, 0.5f);
    EXPECT_EQ(v4.scene->farClip, 4000.0f);
}

TEST(ReadEncodings, KeyfEntriesAreIntegersWithSplineFlagAndUnitSize)
{
    Loaded loaded = Load(Form({
        Version(5),
        Enty(ENTITY_NULL),
        WordsChunk("KEYF", {10, I(1), I(-2), I(3), I(90), I(180), I(-45), 0xFFFFFFFF,
                            20, I(4), I(5), I(6), I(0), I(0), I(1), 0xFFFFFFFF}),
    }));
    ASSERT_TRUE(loaded.scene);
    Entity* entity = loaded.scene->entities;
    EntityKey* key = KeyAt(entity, 0);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->time, 10u);
    EXPECT_EQ(key->position[1], -2.0f);
    EXPECT_EQ(key->rotation[0], 90.0f);
    EXPECT_EQ(key->rotation[2], -45.0f);
    EXPECT_EQ(key->size[0], 1.0f);
    EXPECT_EQ(key->size[2], 1.0f);
    EXPECT_EQ(key->k0, 0.0f);
    EXPECT_EQ(key->k2, 0.0f);
    EXPECT_EQ(key->keyFlags, KEY_INTERPOLATE | KEY_SPLINE);
    ASSERT_TRUE(KeyAt(entity, 1));
    EXPECT_EQ(KeyAt(entity, 1)->position[2], 6.0f);
    EXPECT_EQ(KeyAt(entity, 2), nullptr);
}

TEST(ReadEncodings, FkeyEntriesAreIntegerDegreesWithParametersAndLinearBit)
{
    for (uint32_t version : {0u, 7u}) {
        Loaded loaded = Load(Form({
            Version(version),
            Enty(ENTITY_NULL),
            WordsChunk("FKEY", {30, I(7), I(8), I(9), I(30), I(60), I(90), F(0.5f), F(-1.0f), F(0.25f), 0x2,
                                40, I(0), I(0), I(0), I(0), I(0), I(0), F(0), F(0), F(0), 0x0}),
        }));
        ASSERT_TRUE(loaded.scene) << version;
        EntityKey* key = KeyAt(loaded.scene->entities, 0);
        EXPECT_EQ(key->position[0], 7.0f) << version;
        EXPECT_EQ(key->rotation[1], 60.0f) << version;
        EXPECT_EQ(key->k0, 0.5f) << version;
        EXPECT_EQ(key->k1, -1.0f) << version;
        EXPECT_EQ(key->k2, 0.25f) << version;
        EXPECT_EQ(key->size[1], 1.0f) << version;
        EXPECT_EQ(key->keyFlags, KEY_INTERPOLATE) << version;
        EXPECT_EQ(KeyAt(loaded.scene->entities, 1)->keyFlags, KEY_INTERPOLATE | KEY_SPLINE) << version;
    }
}

TEST(ReadEncodings, Key2EntriesFollowTheVersion)
{
    const std::vector<uint32_t> integers = {5, I(1), I(2), I(3), X(45.0), X(-1.5), X(0.25), F(0.5f), F(0), F(0), 0};
    Loaded v0 = Load(Form({Enty(ENTITY_NULL), WordsChunk("KEY2", integers)}));
    ASSERT_TRUE(v0.scene);
    EntityKey* key = KeyAt(v0.scene->entities, 0);
    EXPECT_EQ(key->position[0], 1.0f);
    EXPECT_EQ(key->position[2], 3.0f);
    EXPECT_EQ(key->rotation[0], 45.0f);
    EXPECT_EQ(key->rotation[1], -1.5f);
    EXPECT_EQ(key->rotation[2], 0.25f);
    EXPECT_EQ(key->k0, 0.5f);
    EXPECT_EQ(key->size[0], 1.0f);
    EXPECT_EQ(key->keyFlags, KEY_INTERPOLATE | KEY_SPLINE);

    const std::vector<uint32_t> floats = {5, F(1.5f), F(2), F(3), F(45.5f), F(0), F(0), F(0), F(0), F(0), 2};
    Loaded v1 = Load(Form({Version(1), Enty(ENTITY_NULL), WordsChunk("KEY2", floats)}));
    ASSERT_TRUE(v1.scene);
    key = KeyAt(v1.scene->entities, 0);
    EXPECT_EQ(key->position[0], 1.5f);
    EXPECT_EQ(key->rotation[0], 45.5f);
    EXPECT_EQ(key->keyFlags, KEY_INTERPOLATE);
}

// Up to version 5 only the linear bit of a key's flags word is read: the
// hidden bit comes from the entity (a key of an entity that is not drawn
// hides it); from version 6 the word is the key's flags.
TEST(ReadEncodings, KeyFlagsWordsAreReadWholeOnlyFromVersion6)
{
    auto file = [](uint32_t version, uint32_t entityFlags) {
        return Form({
            Version(version),
            Enty(ENTITY_MORPH, entityFlags),
            StringChunk("MFNM", "t"),
            WordChunk("VRTX", {F(0), F(0), F(0), 0}),
            WordChunk("MFKF", {0, 0x00FF0002, F(0.5f), F(0), F(0)}),
            StringChunk("MKFN", "t"),
            WordChunk("MFKF", {10, 0x00FF0000, F(0), F(0), F(0)}),
            StringChunk("MKFN", "t"),
            WordsChunk("KEY3", {0, F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), 0x00FF0002, F(2), F(2), F(2),
                                10, F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), 0x00FF0000, F(1), F(1), F(1)}),
            Enty(ENTITY_LIGHT),
            WordsChunk("LIKF", {0, F(1), F(0), F(0), F(0), 0x00FF0001, 10, F(0), F(0), F(0), F(0), 0x00FF0000}),
        });
    };
    for (uint32_t version : {0u, 5u}) {
        for (uint32_t drawn : {ENTITY_DRAWN, 0u}) {
            Loaded loaded = Load(file(version, drawn));
            ASSERT_TRUE(loaded.scene) << version;
            MorphEntity* morph = MorphOf(loaded.scene->entities);
            const uint32_t hidden = drawn ? 0 : KEY_HIDDEN;
            EXPECT_EQ(KeyAt(morph, 0)->keyFlags, KEY_INTERPOLATE | hidden) << version;
            EXPECT_EQ(KeyAt(morph, 1)->keyFlags, KEY_INTERPOLATE | KEY_SPLINE | hidden) << version;
            EXPECT_EQ(KeyAt(morph, 0)->size[0], 2.0f) << version;
            Key* morphKey = morph->morphKeys.head;
            EXPECT_EQ(morphKey->keyFlags, KEY_INTERPOLATE) << version;
            EXPECT_EQ(morphKey->k0, 0.5f) << version;
            EXPECT_EQ(morphKey->next->keyFlags, KEY_INTERPOLATE | KEY_SPLINE) << version;
            Key* lightKey = LightOf(morph->next)->keys2.head;
            EXPECT_EQ(lightKey->keyFlags, KEY_INTERPOLATE) << version;
            EXPECT_EQ(lightKey->next->keyFlags, KEY_INTERPOLATE | KEY_SPLINE) << version;
        }
    }
    for (uint32_t version : {6u, 7u}) {
        Loaded loaded = Load(file(version, ENTITY_DRAWN));
        ASSERT_TRUE(loaded.scene) << version;
        MorphEntity* morph = MorphOf(loaded.scene->entities);
        EXPECT_EQ(KeyAt(morph, 0)->keyFlags, 0x00FF0002u) << version;
        EXPECT_EQ(KeyAt(morph, 1)->keyFlags, 0x00FF0000u) << version;
        EXPECT_EQ(morph->morphKeys.head->keyFlags, 0x00FF0002u) << version;
        EXPECT_EQ(morph->morphKeys.head->next->keyFlags, 0x00FF0000u) << version;
        Key* lightKey = LightOf(morph->next)->keys2.head;
        EXPECT_EQ(lightKey->keyFlags, 0x00FF0001u) << version;
        EXPECT_EQ(lightKey->next->keyFlags, 0x00FF0000u) << version;
    }
}

TEST(ReadEncodings, UnknownVersionsReadTheNewestEncodings)
{
    Loaded loaded = Load(Form({Version(0xFFFFFFFF), WordChunk("CLIP", {F(0.5f), F(8.0f)}), Enty(ENTITY_NULL),
                               WordChunk("POSN", {F(0.5f), F(0), F(0)})}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->nearClip, 0.5f);
    EXPECT_EQ(loaded.scene->entities->position[0], 0.5f);
}
