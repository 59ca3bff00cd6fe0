// LoadScene on version 7 files built byte by byte: the chunk loop, every
// chunk's effect, textures, context rules and the steps after reading.
#include "files/scene_bytes.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace bytes;

namespace {

// The example file: one drawn null entity "box" at (1, 2, 3), 72 bytes.
const uint8_t EXAMPLE_FILE[72] = {
    'F', 'O', 'R', 'M', 0, 0, 0, 64, 'K', 'V', 'O', 'R',
    'V', 'E', 'R', 'S', 0, 0, 0, 4, 0, 0, 0, 7,
    'E', 'N', 'T', 'Y', 0, 0, 0, 8, 0, 0, 0, 0, 0x01, 0, 0, 0,
    'N', 'A', 'M', 'E', 0, 0, 0, 4, 'b', 'o', 'x', 0,
    'P', 'O', 'S', 'N', 0, 0, 0, 12, 0x3f, 0x80, 0, 0, 0x40, 0, 0, 0, 0x40, 0x40, 0, 0,
};

Bytes ExampleFile()
{
    return Bytes(EXAMPLE_FILE, EXAMPLE_FILE + sizeof EXAMPLE_FILE);
}

// A triangle object: ENTY, NAME, OBJT, three AVTX vertices and one face.
Bytes TriangleObject(const std::string& name, uint32_t flags = 0)
{
    Bytes out;
    for (const Bytes& chunk : {
             Enty(ENTITY_OBJECT), StringChunk("NAME", name), WordChunk("OBJT", {flags}),
             WordChunk("AVTX", {F(0), F(0), F(0), F(1.0f), 7, F(1), F(0), F(0), F(0.5f), 8, F(0), F(1), F(0), F(0), 9}),
             WordChunk("FACE", {0, 1, 2, F(0), F(0), F(1), F(0), F(0), F(1), 0x55}),
         })
        out.insert(out.end(), chunk.begin(), chunk.end());
    return out;
}

Entity* Nth(Scene* scene, int n)
{
    Entity* entity = scene->entities;
    while (entity && n-- > 0)
        entity = entity->next;
    return entity;
}

// Raw 256 × 256 texture images handed out by the callback, counted.
std::vector<uint16_t> rawImage(256 * 256, 0x1234);
int imageRequests = 0;
std::string lastRequest;

const void* CountingImages(const char* name)
{
    ++imageRequests;
    lastRequest = name;
    return rawImage.data();
}

}  // namespace

TEST(ReadScene, ReadsTheSeventyTwoByteExample)
{
    Loaded loaded = Load(ExampleFile());
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.error, 0);
    Scene* scene = loaded.scene.get();
    ASSERT_EQ(scene->entityCount, 1u);
    Entity* box = scene->entities;
    EXPECT_EQ(box->kind, ENTITY_NULL);
    EXPECT_STREQ(box->name, "box");
    EXPECT_EQ(box->entityFlags, ENTITY_DRAWN);
    EXPECT_EQ(box->position[0], 1.0f);
    EXPECT_EQ(box->position[1], 2.0f);
    EXPECT_EQ(box->position[2], 3.0f);
    EXPECT_EQ(box->size[0], 0.0f);
    EXPECT_EQ(box->next, nullptr);
}

TEST(ReadScene, ChunkBuilderMakesTheExampleBytes)
{
    Bytes built = Form({Version(7), Enty(ENTITY_NULL), StringChunk("NAME", "box"),
                        WordChunk("POSN", {F(1), F(2), F(3)})});
    EXPECT_EQ(built, ExampleFile());
}

TEST(ReadScene, ReadsTheSameFromAFile)
{
    const std::string name = TempName("example");
    WriteFile(name, ExampleFile());
    int32_t error = 1;
    const TagItem tags[] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {TAG_DONE, 0},
    };
    ScenePtr scene(LoadScene(tags));
    std::remove(name.c_str());
    ASSERT_TRUE(scene);
    EXPECT_EQ(error, 0);
    EXPECT_STREQ(scene->entities->name, "box");
    EXPECT_EQ(scene->entities->position[2], 3.0f);
}

TEST(ReadScene, MemoryImageWithoutSizeIsReadToItsFormEnd)
{
    Bytes file = ExampleFile();
    const TagItem tags[] = {{TAG_LOADSCENE_MEMORY, TagPtr(file.data())}, {TAG_DONE, 0}};
    ScenePtr scene(LoadScene(tags));
    ASSERT_TRUE(scene);
    EXPECT_STREQ(scene->entities->name, "box");
}

TEST(ReadScene, MissingSourceOrFileFails)
{
    int32_t error = 1;
    const TagItem none[] = {{TAG_LOADSCENE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    EXPECT_EQ(LoadScene(none), nullptr);
    EXPECT_EQ(error, -1);

    error = 1;
    const TagItem missing[] = {
        {TAG_LOADSCENE_FILENAME, TagPtr("/nonexistent/kvor3d/scene.kvor")},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(LoadScene(missing), nullptr);
    EXPECT_EQ(error, -1);
}

TEST(ReadScene, EmptyFormGivesDefaultScene)
{
    Loaded loaded = Load(Form({}));
    ASSERT_TRUE(loaded.scene);
    Scene* scene = loaded.scene.get();
    EXPECT_EQ(scene->nearClip, 1.0f);
    EXPECT_EQ(scene->farClip, 32768.0f);
    EXPECT_EQ(scene->ambientValue2, 1.0f);
    EXPECT_EQ(scene->entityCount, 0u);
    ASSERT_TRUE(scene->camera);
    EXPECT_EQ(scene->camera->kind, ENTITY_CAMERA);
    EXPECT_EQ(scene->polygonCapacity, 0u);
    EXPECT_TRUE(scene->drawList);
    EXPECT_TRUE(scene->spriteList);
}

TEST(ReadScene, SkipsUnknownOddChunkWithItsPadByte)
{
    Bytes unknown = RawChunk("ABCD", {1, 2, 3, 4, 5});
    unknown.push_back(0);
    Loaded loaded = Load(Form({Version(7), unknown, Enty(ENTITY_NULL), StringChunk("NAME", "after")}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_STREQ(loaded.scene->entities->name, "after");
}

TEST(ReadScene, SceneLevelChunks)
{
    Loaded loaded = Load(Form({
        Version(7),
        WordChunk("CLIP", {F(2.5f), F(900.0f)}),
        WordChunk("FOG ", {1, 0x00102030, 100, 0x8000, 355, 0x10000, SCENE_FOGNEAR | SCENE_FOGFAR}),
        WordChunk("GAMB", {F(0.5f), F(0.25f)}),
        WordChunk("BCK2", {2, 0x00405060, 11, 12}),
        WordChunk("SHDW", {SCENE_SHADOWS}),
    }));
    ASSERT_TRUE(loaded.scene);
    Scene* scene = loaded.scene.get();
    EXPECT_EQ(scene->nearClip, 2.5f);
    EXPECT_EQ(scene->farClip, 900.0f);
    EXPECT_EQ(scene->flags, 0x1000u | SCENE_FOGNEAR | SCENE_FOGFAR | 0x200u | SCENE_SHADOWS);
    EXPECT_EQ(scene->fog[0], 0x00102030u);
    EXPECT_EQ(scene->fog[1], 100u);
    EXPECT_EQ(scene->fog[2], 0x8000u);
    EXPECT_EQ(scene->fog[3], 355u);
    EXPECT_EQ(scene->fog[4], 0x10000u);
    EXPECT_EQ(scene->ambientLevel, 0.5f);
    EXPECT_EQ(scene->ambientValue2, 0.25f);
    EXPECT_EQ(scene->ambientGrey, 0x7F7F7Fu);
    EXPECT_EQ(scene->backgroundColour, 0x00405060u);
    EXPECT_EQ(scene->backgroundValue2, 11u);
    EXPECT_EQ(scene->backgroundValue3, 12u);
}

TEST(ReadScene, ShortAmbientChunkDefaultsTheSecondValue)
{
    Loaded loaded = Load(Form({Version(7), WordChunk("GAMB", {F(1.0f)})}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->ambientLevel, 1.0f);
    EXPECT_EQ(loaded.scene->ambientValue2, 1.0f);
    EXPECT_EQ(loaded.scene->ambientGrey, 0xFFFFFFu);
}

TEST(ReadScene, OlderBackgroundChunkReplacesModeAndClearsValue3)
{
    Loaded loaded = Load(Form({Version(7), WordChunk("BCK2", {4, 1, 2, 3}), WordChunk("BACK", {3, 0x00ABCDEF, 9})}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->flags & SCENE_BACKGROUNDMODE, 0x300u);
    EXPECT_EQ(loaded.scene->backgroundColour, 0x00ABCDEFu);
    EXPECT_EQ(loaded.scene->backgroundValue2, 9u);
    EXPECT_EQ(loaded.scene->backgroundValue3, 0u);
}

TEST(ReadScene, ShortShadowAndLightChunksReadMissingBytesAsZero)
{
    Loaded loaded = Load(Form({
        Version(7),
        RawChunk("SHDW", {0x01, 0x00}),
        Enty(ENTITY_LIGHT),
        RawChunk("LGHT", {0, 0, 0, 5, 0x3f, 0x80, 0, 0}),
    }));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->flags, SCENE_SHADOWS);
    LightEntity* light = LightOf(loaded.scene->entities);
    ASSERT_TRUE(light);
    EXPECT_EQ(light->lightFlags, 5u);
    EXPECT_EQ(light->lightValue1, 1.0f);
    EXPECT_EQ(light->lightValue2, 0.0f);
    EXPECT_EQ(light->lightValue3, 0u);
}

TEST(ReadScene, EntityKindsAndDefaultSizes)
{
    Loaded loaded = Load(Form({
        Version(7),
        Enty(ENTITY_NULL, 0),
        Enty(ENTITY_OBJECT),
        Enty(ENTITY_MORPH),
        Enty(ENTITY_LIGHT),
        Enty(77),
    }));
    ASSERT_TRUE(loaded.scene);
    Scene* scene = loaded.scene.get();
    ASSERT_EQ(scene->entityCount, 5u);
    const uint32_t kinds[] = {ENTITY_NULL, ENTITY_OBJECT, ENTITY_MORPH, ENTITY_LIGHT, 77};
    const float sizes[] = {0.0f, 1.0f, 1.0f, 1.0f, 0.0f};
    for (int i = 0; i < 5; ++i) {
        Entity* entity = Nth(scene, i);
        EXPECT_EQ(entity->kind, kinds[i]) << i;
        EXPECT_EQ(entity->size[0], sizes[i]) << i;
        EXPECT_EQ(entity->size[2], sizes[i]) << i;
    }
    EXPECT_EQ(scene->entities->entityFlags, 0u);
    EXPECT_EQ(Nth(scene, 1)->entityFlags, ENTITY_DRAWN);
}

TEST(ReadScene, CameraEntityConfiguresTheCameraWithoutJoiningTheChain)
{
    Loaded loaded = Load(Form({
        Version(7),
        Enty(ENTITY_CAMERA, 0x5),
        StringChunk("NAME", "cam"),
        WordChunk("POSN", {F(0), F(10), F(-5)}),
        WordChunk("CMRA", {42, F(60.0f)}),
    }));
    ASSERT_TRUE(loaded.scene);
    Scene* scene = loaded.scene.get();
    EXPECT_EQ(scene->entityCount, 0u);
    EXPECT_EQ(scene->entities, nullptr);
    CameraEntity* camera = CameraOf(scene->camera);
    ASSERT_TRUE(camera);
    EXPECT_STREQ(camera->name, "cam");
    EXPECT_EQ(camera->entityFlags, 0x5u);
    EXPECT_EQ(camera->position[1], 10.0f);
    EXPECT_EQ(camera->cameraValue2, 42u);
    EXPECT_EQ(camera->fieldOfView, 60.0f);
}

TEST(ReadScene, EntityTransformChunks)
{
    Loaded loaded = Load(Form({
        Version(7),
        Enty(ENTITY_NULL),
        WordChunk("POSN", {F(1), F(2), F(3)}),
        WordChunk("PIVT", {F(-1), F(-2), F(-3)}),
        WordChunk("ROT2", {F(10), F(20), F(30)}),
        WordChunk("SIZE", {F(2), F(3), F(4)}),
        Enty(ENTITY_NULL),
        WordChunk("ROTN", {I(-90), I(45), I(360)}),
    }));
    ASSERT_TRUE(loaded.scene);
    Entity* first = loaded.scene->entities;
    EXPECT_EQ(first->pivot[1], -2.0f);
    EXPECT_EQ(first->rotation[2], 30.0f);
    EXPECT_EQ(first->size[0], 2.0f);
    EXPECT_EQ(first->size[2], 4.0f);
    Entity* second = first->next;
    EXPECT_EQ(second->rotation[0], -90.0f);
    EXPECT_EQ(second->rotation[1], 45.0f);
    EXPECT_EQ(second->rotation[2], 360.0f);
}

TEST(ReadScene, MotionKeysTakeTheEntryAndItsFlagsWordFromVersion6)
{
    Loaded loaded = Load(Form({
        Version(7),
        Enty(ENTITY_NULL),
        WordsChunk("KEY3", {100, F(1), F(2), F(3), F(4), F(5), F(6), F(0.5f), F(-0.5f), F(0.25f),
                            KEY_INTERPOLATE | KEY_HIDDEN, F(7), F(8), F(9),
                            50, F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), 0, F(1), F(1), F(1)}),
    }));
    ASSERT_TRUE(loaded.scene);
    Entity* entity = loaded.scene->entities;
    auto* first = static_cast<EntityKey*>(entity->keys.head);
    ASSERT_TRUE(first);
    auto* second = static_cast<EntityKey*>(first->next);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->next, nullptr);
    EXPECT_EQ(first->time, 50u);
    EXPECT_EQ(first->keyFlags, 0u);
    EXPECT_EQ(second->time, 100u);
    EXPECT_EQ(second->keyFlags, KEY_INTERPOLATE | KEY_HIDDEN);
    EXPECT_EQ(second->position[2], 3.0f);
    EXPECT_EQ(second->rotation[0], 4.0f);
    EXPECT_EQ(second->k0, 0.5f);
    EXPECT_EQ(second->k1, -0.5f);
    EXPECT_EQ(second->k2, 0.25f);
    EXPECT_EQ(second->size[0], 7.0f);
    EXPECT_EQ(second->size[2], 9.0f);
}

TEST(ReadScene, SecondKeyChunkReplacesTheKeysOfTheFirst)
{
    auto key3 = [](uint32_t time) {
        return WordsChunk("KEY3", {time, F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), F(0), 1, F(1), F(1), F(1)});
    };
    Loaded loaded = Load(Form({Version(7), Enty(ENTITY_NULL), key3(10), key3(20)}));
    ASSERT_TRUE(loaded.scene);
    Key* head = loaded.scene->entities->keys.head;
    ASSERT_TRUE(head);
    EXPECT_EQ(head->time, 20u);
    EXPECT_EQ(head->next, nullptr);
}

TEST(ReadScene, LightChunksAndLightKeysAddedToKeys2)
{
    auto likf = [](uint32_t time, float value, uint32_t flags) {
        return WordsChunk("LIKF", {time, F(value), F(0.1f), F(0.2f), F(0.3f), flags});
    };
    Loaded loaded = Load(Form({
        Version(7),
        WordChunk("LTEF", {3}),
        StringChunk("LENM", "flare"),
        Enty(ENTITY_LIGHT),
        WordChunk("LGHT", {LIGHT_ON | LIGHT_SHADOWS, F(0.75f), F(500.0f), 0x00FFEEDD}),
        StringChunk("LGTE", "flare"),
        likf(0, 0.0f, KEY_INTERPOLATE),
        likf(200, 1.0f, KEY_INTERPOLATE | KEY_SPLINE),
    }));
    ASSERT_TRUE(loaded.scene);
    LightEntity* light = LightOf(loaded.scene->entities);
    ASSERT_TRUE(light);
    EXPECT_EQ(light->lightFlags, LIGHT_ON | LIGHT_SHADOWS);
    EXPECT_EQ(light->lightValue1, 0.75f);
    EXPECT_EQ(light->lightValue2, 500.0f);
    EXPECT_EQ(light->lightValue3, 0x00FFEEDDu);
    EXPECT_EQ(light->effect, loaded.scene->lightEffects);
    EXPECT_EQ(light->effectName, nullptr);
    auto* first = static_cast<LightKey*>(light->keys2.head);
    ASSERT_TRUE(first && first->next);
    auto* second = static_cast<LightKey*>(first->next);
    EXPECT_EQ(first->value, 0.0f);
    EXPECT_EQ(first->keyFlags, KEY_INTERPOLATE);
    EXPECT_EQ(second->time, 200u);
    EXPECT_EQ(second->value, 1.0f);
    EXPECT_EQ(second->k2, 0.3f);
    EXPECT_EQ(second->keyFlags, KEY_INTERPOLATE | KEY_SPLINE);
}

TEST(ReadScene, ObjectGeometryAndValues)
{
    Loaded loaded = Load(Form({
        Version(7),
        TriangleObject("tri", OBJECT_PERSPECTIVE | OBJECT_VERTEXCOLOURS | OBJECT_GLOW),
        WordChunk("COLR", {0x80112233}),
        WordChunk("MFLT", {1, 2, 3, 4}),
        WordChunk("SPTR", {5}),
        WordChunk("PCOR", {3}),
        WordChunk("GLOW", {F(0.5f), F(2.0f)}),
        WordChunk("RDST", {6, 7, 8, 9}),
    }));
    ASSERT_TRUE(loaded.scene);
    ObjectEntity* object = ObjectOf(loaded.scene->entities);
    ASSERT_TRUE(object);
    EXPECT_EQ(object->objectFlags, OBJECT_PERSPECTIVE | OBJECT_VERTEXCOLOURS | OBJECT_GLOW);
    ASSERT_EQ(object->vertexCount, 3u);
    EXPECT_EQ(object->vertices[1].position[0], 1.0f);
    EXPECT_EQ(object->vertices[0].colour, 0xFFFFFFu);
    EXPECT_EQ(object->vertices[1].colour, 0x7F7F7Fu);
    EXPECT_EQ(object->vertices[2].colour, 0u);
    EXPECT_EQ(object->vertices[2].vertexValue, 9u);
    ASSERT_EQ(object->faceCount, 1u);
    const Face& face = object->faces[0];
    EXPECT_EQ(face.vertices[0], &object->vertices[0]);
    EXPECT_EQ(face.vertices[2], &object->vertices[2]);
    EXPECT_EQ(face.uv[1][0], 1.0f);
    EXPECT_EQ(face.uv[2][1], 1.0f);
    EXPECT_EQ(face.faceFlags, 0x55u);
    EXPECT_EQ(face.owner, object);
    EXPECT_EQ(face.normal[2], 1.0f);
    EXPECT_EQ(object->vertices[0].normal[2], -127.0f);
    EXPECT_EQ(object->colour, 0x80112233u);
    EXPECT_EQ(object->material[3], 4u);
    EXPECT_EQ(object->spriteValue, 5u);
    EXPECT_EQ(object->correctionValue, 3u);
    EXPECT_EQ(object->glow[0], 0.5f);
    EXPECT_EQ(object->glow[1], 2.0f);
    EXPECT_EQ(object->rdstValues[0], 6u);
    EXPECT_EQ(object->rdstValues[3], 9u);
    ASSERT_TRUE(object->glowBuffer);
    EXPECT_EQ(object->glowBuffer->users, 1u);
    EXPECT_EQ(loaded.scene->polygonCapacity, 1u);
    EXPECT_EQ(loaded.scene->spriteCapacity, 1u);
}

TEST(ReadScene, VertexChunkKeepsItsValueWord)
{
    Loaded loaded = Load(Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("VRTX", {F(1), F(2), F(3), 0xCAFE})}));
    ASSERT_TRUE(loaded.scene);
    ObjectEntity* object = ObjectOf(loaded.scene->entities);
    ASSERT_EQ(object->vertexCount, 1u);
    EXPECT_EQ(object->vertices[0].position[1], 2.0f);
    EXPECT_EQ(object->vertices[0].vertexValue, 0xCAFEu);
    EXPECT_EQ(object->vertices[0].colour, 0u);
}

TEST(ReadScene, GlowInsideOtherEntitiesIsReadAndIgnored)
{
    EXPECT_TRUE(Loads(Form({Version(7), Enty(ENTITY_LIGHT), WordChunk("GLOW", {F(1), F(1)})})));
    EXPECT_TRUE(Loads(Form({Version(7), Enty(ENTITY_NULL), WordChunk("GLOW", {F(1), F(1)})})));
}

TEST(ReadScene, MorphObjectTakesItsFirstKeysShapeAtTimeZero)
{
    Loaded loaded = Load(Form({
        Version(7),
        Enty(ENTITY_MORPH),
        StringChunk("NAME", "blob"),
        WordChunk("MOBJ", {0}),
        StringChunk("MFNM", "flat"),
        WordChunk("VRTX", {F(0), F(0), F(0), 1, F(1), F(0), F(0), 2, F(0), F(1), F(0), 3}),
        StringChunk("MFNM", "tall"),
        WordChunk("VRTX", {F(0), F(0), F(5), 0, F(1), F(0), F(5), 0, F(0), F(1), F(5), 0}),
        WordChunk("MFKF", {0, 0, F(0), F(0), F(0)}),
        StringChunk("MKFN", "tall"),
        WordChunk("MFKF", {100, KEY_INTERPOLATE, F(0.5f), F(0), F(0)}),
        StringChunk("MKFN", "flat"),
        WordChunk("FACE", {0, 1, 2, F(0), F(0), F(0), F(0), F(0), F(0), 0}),
    }));
    ASSERT_TRUE(loaded.scene);
    MorphEntity* morph = MorphOf(loaded.scene->entities);
    ASSERT_TRUE(morph);
    ASSERT_EQ(morph->targetCount, 2u);
    MorphTarget* flat = morph->targets;
    MorphTarget* tall = flat->next;
    EXPECT_STREQ(flat->name, "flat");
    EXPECT_STREQ(tall->name, "tall");
    ASSERT_EQ(morph->vertexCount, 3u);
    EXPECT_EQ(tall->targetVertices[2].position[2], 5.0f);
    auto* first = static_cast<MorphKey*>(morph->morphKeys.head);
    ASSERT_TRUE(first && first->next);
    auto* second = static_cast<MorphKey*>(first->next);
    EXPECT_EQ(first->target, tall);
    EXPECT_EQ(first->targetName, nullptr);
    EXPECT_EQ(first->keyFlags, 0u);
    EXPECT_EQ(second->target, flat);
    EXPECT_EQ(second->keyFlags, KEY_INTERPOLATE);
    EXPECT_EQ(second->k0, 0.5f);
    EXPECT_EQ(morph->currentTarget, tall);
    EXPECT_EQ(morph->vertices[1].position[2], 5.0f);
    EXPECT_EQ(tall->targetVertices[0].normal[2], -127.0f);
    EXPECT_EQ(morph->vertices[0].normal[2], -127.0f);
}

TEST(ReadScene, ParentsAreResolvedAfterReadingIncludingLaterEntities)
{
    Loaded loaded = Load(Form({
        Version(7),
        Enty(ENTITY_NULL), StringChunk("NAME", "child"), StringChunk("PRNT", "root"),
        Enty(ENTITY_NULL), StringChunk("NAME", "root"),
        Enty(ENTITY_CAMERA), StringChunk("PRNT", "child"),
    }));
    ASSERT_TRUE(loaded.scene);
    Entity* child = loaded.scene->entities;
    Entity* root = child->next;
    EXPECT_EQ(child->parent, root);
    EXPECT_EQ(child->parentName, nullptr);
    EXPECT_EQ(root->parent, nullptr);
    EXPECT_EQ(loaded.scene->camera->parent, child);
}

TEST(ReadScene, NamesThatMatchNothingFailTheLoad)
{
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_NULL), StringChunk("PRNT", "nobody")})));
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_LIGHT), StringChunk("LGTE", "none")})));
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_OBJECT), StringChunk("SPRE", "none")})));
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_MORPH), WordChunk("MFKF", {0, 0, 0, 0, 0}),
                            StringChunk("MKFN", "none")})));
}

TEST(ReadScene, ParentLoopsFailTheLoad)
{
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_NULL), StringChunk("NAME", "a"), StringChunk("PRNT", "a")})));
    EXPECT_TRUE(Fails(Form({
        Version(7),
        Enty(ENTITY_NULL), StringChunk("NAME", "a"), StringChunk("PRNT", "b"),
        Enty(ENTITY_NULL), StringChunk("NAME", "b"), StringChunk("PRNT", "a"),
    })));
}

TEST(ReadScene, LongParentChainsResolveAndALoopAnywhereFails)
{
    const int count = 2000;
    Bytes body = Version(7);
    for (int i = 0; i < count; ++i) {
        for (const Bytes& chunk : {Enty(ENTITY_NULL), StringChunk("NAME", "e" + std::to_string(i)),
                                   StringChunk("PRNT", "e" + std::to_string(i + 1))})
            body.insert(body.end(), chunk.begin(), chunk.end());
    }
    const Bytes last = StringChunk("NAME", "e" + std::to_string(count));
    Loaded loaded = Load(Form({body, Enty(ENTITY_NULL), last}));
    ASSERT_TRUE(loaded.scene);
    int depth = 0;
    for (Entity* entity = loaded.scene->entities; entity; entity = entity->parent)
        ++depth;
    EXPECT_EQ(depth, count + 1);
    EXPECT_TRUE(Fails(Form({body, Enty(ENTITY_NULL), last, StringChunk("PRNT", "e1000")})));
}

TEST(ReadScene, LightEffectsAreReadAndTheirElementsSortedByE0)
{
    Loaded loaded = Load(Form({
        Version(7),
        WordChunk("LTEF", {9}),
        StringChunk("LENM", "glint"),
        WordChunk("LEEL", {1, 0x100, 0x200, 0}), StringChunk("LEEN", "one"),
        WordChunk("LEEL", {3, 0x300, 0x400, 1}), StringChunk("LEEN", "three"), StringChunk("LEEM", "star.iff"),
        WordChunk("LEEL", {2, 0x500, 0x600, 2}), StringChunk("LEEN", "two"),
        TriangleObject("sparkly", OBJECT_SPRITEEFFECT),
        StringChunk("SPRE", "glint"),
    }));
    ASSERT_TRUE(loaded.scene);
    LightEffect* effect = loaded.scene->lightEffects;
    ASSERT_TRUE(effect);
    EXPECT_EQ(effect->effectValue, 9u);
    EXPECT_STREQ(effect->name, "glint");
    LightEffectElement* element = effect->elements;
    ASSERT_TRUE(element && element->next && element->next->next);
    EXPECT_STREQ(element->name, "three");
    EXPECT_EQ(element->e1, 0x300u);
    EXPECT_EQ(element->e3, 1u);
    ASSERT_TRUE(element->map);
    EXPECT_STREQ(element->map->name, "star.iff");
    EXPECT_STREQ(element->next->name, "two");
    EXPECT_STREQ(element->next->next->name, "one");
    EXPECT_EQ(element->material, nullptr);
    ObjectEntity* object = ObjectOf(loaded.scene->entities);
    EXPECT_EQ(object->spriteEffect, effect);
    EXPECT_EQ(loaded.scene->spriteCapacity, 3u);
}

TEST(ReadScene, ChunksOutsideTheirContextFail)
{
    const Bytes cases[] = {
        Form({Version(7), Enty(ENTITY_LIGHT), StringChunk("TXTR", "a")}),
        Form({Version(7), TriangleObject("o"), WordsChunk("LIKF", {0, 0, 0, 0, 0, 0})}),
        Form({Version(7), WordChunk("POSN", {0, 0, 0})}),
        Form({Version(7), StringChunk("NAME", "x")}),
        Form({Version(7), StringChunk("LENM", "x")}),
        Form({Version(7), WordChunk("LEEL", {0, 0, 0, 0})}),
        Form({Version(7), WordChunk("LTEF", {0}), StringChunk("LEEN", "x")}),
        Form({Version(7), WordChunk("LTEF", {0}), StringChunk("LEEM", "x")}),
        Form({Version(7), Enty(ENTITY_MORPH), StringChunk("MKFN", "x")}),
        Form({Version(7), Enty(ENTITY_MORPH), StringChunk("MFNM", "t"), StringChunk("MKFN", "x")}),
        Form({Version(7), Enty(ENTITY_MORPH), WordChunk("VRTX", {0, 0, 0, 0})}),
        Form({Version(7), Enty(ENTITY_MORPH), WordChunk("MOBJ", {0}), WordChunk("VRTX", {0, 0, 0, 0})}),
        Form({Version(7), Enty(ENTITY_MORPH), WordChunk("OBJT", {0})}),
        Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("MOBJ", {0})}),
        Form({Version(7), Enty(ENTITY_OBJECT), StringChunk("MFNM", "t")}),
        Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("MFKF", {0, 0, 0, 0, 0})}),
        Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("CMRA", {0, 0})}),
        Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("LGHT", {0, 0, 0, 0})}),
        Form({Version(7), Enty(ENTITY_OBJECT), StringChunk("LGTE", "x")}),
        Form({Version(7), Enty(ENTITY_NULL), WordChunk("COLR", {0})}),
        Form({Version(7), Enty(ENTITY_NULL), WordChunk("OBJT", {0})}),
        Form({Version(7), Enty(ENTITY_NULL), WordChunk("MFLT", {0, 0, 0, 0})}),
        Form({Version(7), Enty(ENTITY_NULL), WordChunk("SPTR", {0})}),
        Form({Version(7), Enty(ENTITY_NULL), WordChunk("PCOR", {0})}),
        Form({Version(7), Enty(ENTITY_NULL), WordChunk("RDST", {0, 0, 0, 0})}),
        Form({Version(7), Enty(ENTITY_NULL), StringChunk("SPRE", "x")}),
        Form({Version(7), Enty(ENTITY_LIGHT), StringChunk("ENVR", "x")}),
        Form({Version(7), Enty(ENTITY_CAMERA), StringChunk("BUMP", "x")}),
        Form({Version(7), Enty(ENTITY_CAMERA), StringChunk("TRNS", "x")}),
        Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("FACE", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}),
    };
    for (size_t i = 0; i < sizeof cases / sizeof cases[0]; ++i)
        EXPECT_TRUE(Fails(cases[i])) << "case " << i;
}

TEST(ReadScene, EnteringAnotherEntityEndsTheMorphContext)
{
    EXPECT_TRUE(Fails(Form({
        Version(7),
        Enty(ENTITY_MORPH), StringChunk("MFNM", "a"), WordChunk("MFKF", {0, 0, 0, 0, 0}),
        Enty(ENTITY_MORPH), StringChunk("MKFN", "a"),
    })));
    EXPECT_TRUE(Fails(Form({
        Version(7),
        Enty(ENTITY_MORPH), StringChunk("MFNM", "a"),
        Enty(ENTITY_MORPH), WordChunk("VRTX", {0, 0, 0, 0}),
    })));
}

TEST(ReadScene, TwoObjectsNamingOneTextureShareItLoadedOnce)
{
    imageRequests = 0;
    Loaded loaded = Load(Form({
        Version(7),
        TriangleObject("a", OBJECT_TEXTURE), StringChunk("TXTR", "wood.iff"),
        TriangleObject("b", OBJECT_TEXTURE), StringChunk("TXTR", "wood.iff"),
    }), {{TAG_LOADSCENE_TEXTURES, reinterpret_cast<uintptr_t>(&CountingImages)}});
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(imageRequests, 1);
    EXPECT_EQ(lastRequest, "wood.iff");
    ObjectEntity* a = ObjectOf(loaded.scene->entities);
    ObjectEntity* b = ObjectOf(a->next);
    ASSERT_TRUE(a->textureMap);
    EXPECT_EQ(a->textureMap, b->textureMap);
    EXPECT_EQ(loaded.scene->textures, a->textureMap);
    EXPECT_EQ(a->textureMap->next, nullptr);
    EXPECT_STREQ(a->textureMap->name, "wood.iff");
    EXPECT_EQ(a->textureMap->width, 256u);
}

TEST(ReadScene, EveryTextureChunkFillsItsSlot)
{
    imageRequests = 0;
    Loaded loaded = Load(Form({
        Version(7),
        StringChunk("BMAP", "back"), StringChunk("FLOR", "floor"), StringChunk("SKY ", "sky"),
        TriangleObject("o", OBJECT_TEXTURE | OBJECT_ENVIRONMENT | OBJECT_BUMP | OBJECT_TRANSPARENT),
        StringChunk("TXTR", "tex"), StringChunk("ENVR", "env"), StringChunk("BUMP", "bump"),
        StringChunk("TRNS", "trans"),
    }), {{TAG_LOADSCENE_TEXTURES, reinterpret_cast<uintptr_t>(&CountingImages)}});
    ASSERT_TRUE(loaded.scene);
    Scene* scene = loaded.scene.get();
    EXPECT_EQ(imageRequests, 7);
    EXPECT_STREQ(scene->backgroundMap->name, "back");
    EXPECT_STREQ(scene->floorMap->name, "floor");
    EXPECT_STREQ(scene->skyMap->name, "sky");
    ObjectEntity* object = ObjectOf(scene->entities);
    EXPECT_STREQ(object->textureMap->name, "tex");
    EXPECT_STREQ(object->environmentMap->name, "env");
    EXPECT_STREQ(object->bumpMap->name, "bump");
    EXPECT_STREQ(object->transparencyMap->name, "trans");
    EXPECT_TRUE(object->transparencyMap->textureFlags & TEXTURE_GREYMAP);
    EXPECT_FALSE(object->textureMap->textureFlags & TEXTURE_GREYMAP);
    EXPECT_EQ(object->environmentPixels, object->environmentMap->pixels);
}

TEST(ReadScene, PlaceholderTexturesHoldOnlyTheirNameAndOpenNothing)
{
    imageRequests = 0;
    Loaded loaded = Load(Form({
        Version(7),
        TriangleObject("a", OBJECT_TEXTURE), StringChunk("TXTR", "/nonexistent/wood.iff"),
        TriangleObject("b", OBJECT_TEXTURE), StringChunk("TXTR", "/nonexistent/wood.iff"),
    }), {{TAG_LOADSCENE_PLACEHOLDERS, 1}, {TAG_LOADSCENE_TEXTURES, reinterpret_cast<uintptr_t>(&CountingImages)}});
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(imageRequests, 0);
    Texture* texture = ObjectOf(loaded.scene->entities)->textureMap;
    ASSERT_TRUE(texture);
    EXPECT_STREQ(texture->name, "/nonexistent/wood.iff");
    EXPECT_EQ(texture->pixels, nullptr);
    EXPECT_EQ(texture->width, 0u);
    EXPECT_EQ(ObjectOf(loaded.scene->entities->next)->textureMap, texture);
}

TEST(ReadScene, TextureThatCannotBeMadeFailsTheLoad)
{
    Loaded loaded = Load(Form({Version(7), TriangleObject("a"), StringChunk("TXTR", "/nonexistent/wood.iff")}),
                         {{TAG_DONE, 0}});
    EXPECT_FALSE(loaded.scene);
    EXPECT_EQ(loaded.error, -1);
}

TEST(ReadScene, RequestedMipLevelsAreBuiltBeforeTheEnvironmentPixelsAreTaken)
{
    const int32_t mode = GetPixelMode();
    SetPixelMode(1);
    Loaded loaded = Load(Form({
        Version(7),
        TriangleObject("plain", OBJECT_ENVIRONMENT), StringChunk("ENVR", "env"),
        TriangleObject("mipped", OBJECT_ENVIRONMENT | OBJECT_TEXTURE), StringChunk("ENVR", "env"),
        StringChunk("TXTR", "tex"), WordChunk("MFLT", {0, 2, 2, 0}),
    }), {{TAG_LOADSCENE_TEXTURES, reinterpret_cast<uintptr_t>(&CountingImages)}});
    ASSERT_TRUE(loaded.scene);
    ObjectEntity* plain = ObjectOf(loaded.scene->entities);
    ObjectEntity* mipped = ObjectOf(plain->next);
    Texture* env = plain->environmentMap;
    EXPECT_TRUE(env->textureFlags & TEXTURE_MIPLEVELS);
    EXPECT_EQ(env->mipLevels, 8u);
    EXPECT_TRUE(mipped->textureMap->textureFlags & TEXTURE_MIPLEVELS);
    EXPECT_EQ(plain->environmentPixels, env->pixels);
    EXPECT_EQ(mipped->environmentPixels, env->pixels);
    loaded.scene.reset();
    SetPixelMode(mode);
}

TEST(ReadScene, LightMapFlagGivesAPrivateEnvironmentArea)
{
    Loaded loaded = Load(Form({
        Version(7),
        TriangleObject("lit", OBJECT_ENVIRONMENT | OBJECT_LIGHTMAP), StringChunk("ENVR", "env"),
    }), {{TAG_LOADSCENE_TEXTURES, reinterpret_cast<uintptr_t>(&CountingImages)}});
    ASSERT_TRUE(loaded.scene);
    ObjectEntity* object = ObjectOf(loaded.scene->entities);
    ASSERT_TRUE(object->environmentPixels);
    EXPECT_NE(object->environmentPixels, object->environmentMap->pixels);
    EXPECT_TRUE(object->objectFlags & OBJECT_LIGHTMAP);
}

TEST(ReadScene, ColourTableBuildsIndicesTablesAndMaterials)
{
    std::vector<uint32_t> palette = build::PaletteWords({0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF});
    ColourTable* table = build::MakeColourTable(palette, true);
    ASSERT_TRUE(table);
    Loaded loaded = Load(Form({
        Version(7),
        WordChunk("FOG ", {1, 0x00FFFFFF, 10, 0, 100, 0x10000, 0}),
        WordChunk("BCK2", {0, 0x0000F0, 0, 0}),
        WordChunk("LTEF", {0}),
        StringChunk("LENM", "fx"),
        WordChunk("LEEL", {1, 0, 0x8000, 0}),
        WordChunk("LEEL", {2, 0, 0x8000, 1}),
        WordChunk("LEEL", {3, 0, 0x4000, 2}),
        WordChunk("LEEL", {4, 0, 0x4000, 3}),
        TriangleObject("glass", OBJECT_TRANSPARENT | OBJECT_SHADED | OBJECT_SPRITEEFFECT),
        WordChunk("COLR", {0x80FF0000}),
        StringChunk("SPRE", "fx"),
    }), {{TAG_LOADSCENE_COLOURTABLE, TagPtr(table)}, {TAG_LOADSCENE_PLACEHOLDERS, 1}});
    ASSERT_TRUE(loaded.scene);
    Scene* scene = loaded.scene.get();
    EXPECT_EQ(scene->colourTable, table);
    EXPECT_EQ(scene->backgroundIndex, 3u);
    ObjectEntity* object = ObjectOf(scene->entities);
    EXPECT_EQ(object->colourIndex, 1u);
    EXPECT_TRUE(object->lookupTable);
    ASSERT_TRUE(scene->sceneMaterial);
    EXPECT_EQ(scene->sceneMaterial->mode, MATERIAL_SHADE);
    ASSERT_TRUE(scene->fogMaterial);
    EXPECT_EQ(scene->fogMaterial->mode, MATERIAL_FOG);
    ASSERT_TRUE(scene->fogRamp);
    EXPECT_EQ(scene->fogRamp[9], 0);
    EXPECT_EQ(scene->fogRamp[101], 255);
    // Sorted by e0: 4 (mode 3: none), 3 (blend), 2 (subtract), 1 (add);
    // the two equal requests for add and subtract are separate modes.
    LightEffectElement* element = scene->lightEffects->elements;
    EXPECT_EQ(element->e0, 4u);
    EXPECT_EQ(element->material, nullptr);
    element = element->next;
    ASSERT_TRUE(element->material);
    EXPECT_EQ(element->material->mode, MATERIAL_BLEND);
    EXPECT_EQ(element->material->p1, 0x4000u);
    EXPECT_EQ(element->next->material->mode, MATERIAL_SUBTRACT);
    EXPECT_EQ(element->next->next->material->mode, MATERIAL_ADD);
    EXPECT_EQ(element->next->next->material->p1, 0x8000u);
    loaded.scene.reset();
    DeleteColourTable(table);
}
