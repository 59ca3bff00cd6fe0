// SaveScene: which chunks it writes, in which order and with which bytes,
// into memory with and without a capacity, and into files.
#include "files/scene_bytes.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include <sys/resource.h>

using namespace bytes;

namespace {

using Ids = std::vector<std::string>;

ScenePtr NewScene()
{
    return ScenePtr(AllocScene());
}

// The scene-level chunks every file starts with.
const Ids SCENE_IDS = {"VERS", "CLIP", "GAMB", "BCK2", "SHDW"};

Ids Concat(Ids a, const Ids& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

uint32_t SaveInto(const Scene* scene, Bytes& buffer, int32_t* error, bool bounded)
{
    const TagItem tags[] = {
        {TAG_SAVESCENE_MEMORY, TagPtr(buffer.data())},
        {TAG_SAVESCENE_ERROR, TagPtr(error)},
        {bounded ? TAG_SAVESCENE_CAPACITY : TAG_DONE, buffer.size()},
        {TAG_DONE, 0},
    };
    return SaveScene(scene, tags);
}

uint32_t SaveToFile(const Scene* scene, const std::string& name, int32_t* error)
{
    const TagItem tags[] = {
        {TAG_SAVESCENE_FILENAME, TagPtr(name.c_str())},
        {TAG_SAVESCENE_ERROR, TagPtr(error)},
        {TAG_DONE, 0},
    };
    return SaveScene(scene, tags);
}

// A triangle object with the given flags.
ObjectEntity* AddTriangle(Scene* scene, const char* name, uint32_t flags)
{
    ObjectEntity* object = build::AddObject(scene, name, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    object->objectFlags = flags;
    return object;
}

}  // namespace

TEST(WriteScene, WritesAMinimalSceneByteForByte)
{
    ScenePtr scene = NewScene();
    Entity* box = build::AddNull(scene.get(), "box");
    box->position[0] = 1.0f;
    box->position[1] = 2.0f;
    box->position[2] = 3.0f;
    const Bytes expected = Form({
        Version(7),
        WordChunk("CLIP", {F(1.0f), F(32768.0f)}),
        WordChunk("GAMB", {F(0.0f), F(1.0f)}),
        WordChunk("BCK2", {0, 0, 0, 0}),
        WordChunk("SHDW", {0}),
        Enty(ENTITY_NULL, ENTITY_DRAWN),
        StringChunk("NAME", "box"),
        WordChunk("POSN", {F(1), F(2), F(3)}),
        WordChunk("ROT2", {F(0), F(0), F(0)}),
        WordChunk("SIZE", {F(0), F(0), F(0)}),
        Enty(ENTITY_CAMERA, 0),
        WordChunk("POSN", {F(0), F(0), F(0)}),
        WordChunk("ROT2", {F(0), F(0), F(0)}),
        WordChunk("SIZE", {F(0), F(0), F(0)}),
        WordChunk("CMRA", {0, F(0)}),
    });
    Bytes buffer(expected.size() + 16, 0xEE);
    int32_t error = 1;
    EXPECT_EQ(SaveInto(scene.get(), buffer, &error, false), expected.size());
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + long(expected.size())), expected);
    EXPECT_EQ(buffer[expected.size()], 0xEE);
}

TEST(WriteScene, SceneWithoutEntitiesWritesNoEntityBlockNotEvenTheCamera)
{
    ScenePtr scene = NewScene();
    EXPECT_EQ(ChunkIds(Save(scene.get())), SCENE_IDS);
}

TEST(WriteScene, FogChunkOnlyWhileFogIsOn)
{
    ScenePtr scene = NewScene();
    scene->fog[0] = 0x00112233;
    scene->fog[1] = 10;
    scene->fog[2] = 0x4000;
    scene->fog[3] = 900;
    scene->fog[4] = 0x10000;
    scene->flags = SCENE_FOGNEAR | SCENE_SHADOWS | 0x00400000;
    Bytes file = Save(scene.get());
    EXPECT_EQ(ChunkIds(file), SCENE_IDS);
    EXPECT_EQ(Words(PayloadOf(file, "SHDW")), std::vector<uint32_t>{SCENE_SHADOWS});

    scene->flags |= 0x2000;
    file = Save(scene.get());
    EXPECT_EQ(ChunkIds(file), (Ids{"VERS", "CLIP", "FOG ", "GAMB", "BCK2", "SHDW"}));
    EXPECT_EQ(Words(PayloadOf(file, "FOG ")),
              (std::vector<uint32_t>{2, 0x00112233, 10, 0x4000, 900, 0x10000, SCENE_FOGNEAR}));
}

TEST(WriteScene, BackgroundMapsFollowTheBackgroundMode)
{
    ScenePtr scene = NewScene();
    scene->backgroundMap = build::AddTexture(scene.get(), "back", 1, 1);
    scene->floorMap = build::AddTexture(scene.get(), "floor", 1, 1);
    scene->skyMap = build::AddTexture(scene.get(), "sky", 1, 1);
    scene->backgroundColour = 0x00ABCDEF;
    scene->backgroundValue2 = 5;
    scene->backgroundValue3 = 6;
    const Ids expected[] = {{}, {"BMAP"}, {"FLOR"}, {"SKY "}, {"FLOR", "SKY "}, {}};
    for (uint32_t mode = 0; mode <= 5; ++mode) {
        scene->flags = mode << 8;
        Bytes file = Save(scene.get());
        EXPECT_EQ(ChunkIds(file), Concat({"VERS", "CLIP", "GAMB", "BCK2"}, Concat(expected[mode], {"SHDW"})))
            << mode;
        EXPECT_EQ(Words(PayloadOf(file, "BCK2")), (std::vector<uint32_t>{mode, 0x00ABCDEF, 5, 6})) << mode;
    }
    scene->flags = 4 << 8;
    EXPECT_EQ(PayloadOf(Save(scene.get()), "SKY "), (Bytes{'s', 'k', 'y', 0}));
}

TEST(WriteScene, NamesArePaddedToAnEvenSize)
{
    ScenePtr scene = NewScene();
    build::AddNull(scene.get(), "abc");
    build::AddNull(scene.get(), "abcd");
    build::AddNull(scene.get(), "");
    std::vector<Bytes> names;
    for (const ParsedChunk& chunk : ParseChunks(Save(scene.get()))) {
        if (chunk.id == "NAME")
            names.push_back(chunk.payload);
    }
    ASSERT_EQ(names.size(), 3u);
    EXPECT_EQ(names[0], (Bytes{'a', 'b', 'c', 0}));
    EXPECT_EQ(names[1], (Bytes{'a', 'b', 'c', 'd', 0, 0}));
    EXPECT_EQ(names[2], (Bytes{0, 0}));
}

TEST(WriteScene, EntityBlockHoldsKeysParentPivotAndSizeWhenTheyDifferFromDefaults)
{
    ScenePtr scene = NewScene();
    Entity* root = build::AddNull(scene.get(), "root");
    ObjectEntity* child = build::AddObject(scene.get(), "child", {}, {});
    child->parent = root;
    child->pivot[1] = 0.5f;
    EntityKey* key = build::AddMotionKey(child, 40, {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, KEY_INTERPOLATE, 0.5f, -0.5f,
                                         0.25f);
    ASSERT_TRUE(key);
    Bytes file = Save(scene.get());
    EXPECT_EQ(ChunkIds(file), Concat(SCENE_IDS, {"ENTY", "NAME", "POSN", "ROT2", "SIZE",
                                                 "ENTY", "NAME", "POSN", "ROT2", "KEY3", "PRNT", "PIVT", "OBJT",
                                                 "COLR", "MFLT",
                                                 "ENTY", "POSN", "ROT2", "SIZE", "CMRA"}));
    EXPECT_EQ(Words(PayloadOf(file, "KEY3")),
              (std::vector<uint32_t>{40, F(1), F(2), F(3), F(4), F(5), F(6), F(0.5f), F(-0.5f), F(0.25f),
                                     KEY_INTERPOLATE, F(7), F(8), F(9)}));
    EXPECT_EQ(PayloadOf(file, "PRNT"), (Bytes{'r', 'o', 'o', 't', 0, 0}));
    EXPECT_EQ(Words(PayloadOf(file, "PIVT")), (std::vector<uint32_t>{F(0), F(0.5f), F(0)}));
}

TEST(WriteScene, ObjectGeometryWithIndicesAndIntensities)
{
    ScenePtr scene = NewScene();
    ObjectEntity* object = AddTriangle(scene.get(), "tri", 0);
    object->vertices[0].colour = 0xFFFFFF;
    object->vertices[1].vertexValue = 77;
    object->faces[0].vertices[0] = &object->vertices[2];
    object->faces[0].vertices[2] = &object->vertices[0];
    object->faces[0].uv[1][0] = 0.5f;
    object->faces[0].faceFlags = 0x99;
    object->colour = 0x80FF0000;
    object->material[2] = 3;
    Bytes file = Save(scene.get());
    EXPECT_EQ(Words(PayloadOf(file, "OBJT")), std::vector<uint32_t>{0});
    EXPECT_EQ(Words(PayloadOf(file, "AVTX")),
              (std::vector<uint32_t>{F(0), F(0), F(0), F(1.0f), 0, F(1), F(0), F(0), F(0.0f), 77,
                                     F(0), F(1), F(0), F(0.0f), 0}));
    EXPECT_EQ(Words(PayloadOf(file, "FACE")),
              (std::vector<uint32_t>{2, 1, 0, F(0), F(0), F(0.5f), F(0), F(0), F(0), 0x99}));
    EXPECT_EQ(Words(PayloadOf(file, "COLR")), std::vector<uint32_t>{0x80FF0000});
    EXPECT_EQ(Words(PayloadOf(file, "MFLT")), (std::vector<uint32_t>{0, 0, 3, 0}));
}

TEST(WriteScene, OptionalObjectChunksFollowTheObjectFlags)
{
    ScenePtr scene = NewScene();
    LightEffect* effect = build::AddLightEffect(scene.get(), "fx");
    ObjectEntity* object = AddTriangle(scene.get(), "o", 0);
    object->environmentMap = build::AddTexture(scene.get(), "env", 1, 1);
    object->textureMap = build::AddTexture(scene.get(), "tex", 1, 1);
    object->bumpMap = build::AddTexture(scene.get(), "bump", 1, 1);
    object->transparencyMap = build::AddTexture(scene.get(), "trans", 1, 1);
    object->spriteEffect = effect;
    object->spriteValue = 12;
    object->correctionValue = 3;
    object->glow[0] = 0.5f;
    object->glow[1] = 2.0f;
    object->rdstValues[3] = 9;

    const Ids block = {"ENTY", "NAME", "POSN", "ROT2", "OBJT", "AVTX", "FACE", "COLR"};
    // The effect is written because the object points to it, flag or not.
    EXPECT_EQ(ChunkIds(Save(scene.get())),
              Concat(Concat(SCENE_IDS, {"LTEF", "LENM"}),
                     Concat(block, {"MFLT", "ENTY", "POSN", "ROT2", "SIZE", "CMRA"})));

    object->objectFlags = OBJECT_TRANSPARENT | OBJECT_TEXTURE | OBJECT_ENVIRONMENT | OBJECT_BUMP |
                          OBJECT_PERSPECTIVE | OBJECT_SPRITEEFFECT | OBJECT_GLOW | OBJECT_VERTEXCOLOURS;
    Bytes file = Save(scene.get());
    EXPECT_EQ(ChunkIds(file),
              Concat(Concat(SCENE_IDS, {"LTEF", "LENM"}),
                     Concat(block, {"ENVR", "TXTR", "BUMP", "TRNS", "MFLT", "SPRE", "SPTR", "PCOR", "GLOW", "RDST",
                                    "ENTY", "POSN", "ROT2", "SIZE", "CMRA"})));
    EXPECT_EQ(PayloadOf(file, "TRNS"), (Bytes{'t', 'r', 'a', 'n', 's', 0}));
    EXPECT_EQ(PayloadOf(file, "SPRE"), (Bytes{'f', 'x', 0, 0}));
    EXPECT_EQ(Words(PayloadOf(file, "SPTR")), std::vector<uint32_t>{12});
    EXPECT_EQ(Words(PayloadOf(file, "PCOR")), std::vector<uint32_t>{3});
    EXPECT_EQ(Words(PayloadOf(file, "GLOW")), (std::vector<uint32_t>{F(0.5f), F(2.0f)}));
    EXPECT_EQ(Words(PayloadOf(file, "RDST")), (std::vector<uint32_t>{0, 0, 0, 9}));
}

TEST(WriteScene, MapChunkNeedsBothTheFlagAndTheMap)
{
    ScenePtr scene = NewScene();
    ObjectEntity* object = AddTriangle(scene.get(), "o", OBJECT_TEXTURE | OBJECT_ENVIRONMENT);
    object->textureMap = build::AddTexture(scene.get(), "tex", 1, 1);
    Ids ids = ChunkIds(Save(scene.get()));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "TXTR"), 1);
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "ENVR"), 0);
    object->objectFlags = OBJECT_ENVIRONMENT;
    ids = ChunkIds(Save(scene.get()));
    EXPECT_EQ(std::count(ids.begin(), ids.end(), "TXTR"), 0);
}

TEST(WriteScene, LightEffectsOnlyWhenAnEntityUsesThem)
{
    ScenePtr scene = NewScene();
    LightEffect* unused = build::AddLightEffect(scene.get(), "unused");
    build::AddElement(unused, "u", 1);
    LightEffect* used = build::AddLightEffect(scene.get(), "used");
    used->effectValue = 4;
    LightEffectElement* element = build::AddElement(used, "star", 0x20000, build::AddTexture(scene.get(), "s", 1, 1));
    element->e1 = 5;
    element->e2 = 6;
    element->e3 = 2;
    build::AddElement(used, nullptr, 7);
    LightEntity* light = build::AddLight(scene.get(), "lamp");
    light->effect = used;
    light->lightFlags = LIGHT_ON;
    light->lightValue1 = 0.5f;
    light->lightValue2 = 100.0f;
    light->lightValue3 = 0x00FFFFFF;
    Bytes file = Save(scene.get());
    EXPECT_EQ(ChunkIds(file), Concat(SCENE_IDS, {"LTEF", "LENM", "LEEL", "LEEN", "LEEM", "LEEL",
                                                 "ENTY", "NAME", "POSN", "ROT2", "LGHT", "LGTE",
                                                 "ENTY", "POSN", "ROT2", "SIZE", "CMRA"}));
    EXPECT_EQ(Words(PayloadOf(file, "LTEF")), std::vector<uint32_t>{4});
    EXPECT_EQ(PayloadOf(file, "LENM"), (Bytes{'u', 's', 'e', 'd', 0, 0}));
    EXPECT_EQ(Words(PayloadOf(file, "LEEL")), (std::vector<uint32_t>{0x20000, 5, 6, 2}));
    EXPECT_EQ(PayloadOf(file, "LEEM"), (Bytes{'s', 0}));
    EXPECT_EQ(Words(PayloadOf(file, "LGHT")), (std::vector<uint32_t>{LIGHT_ON, F(0.5f), F(100.0f), 0x00FFFFFF}));
    EXPECT_EQ(PayloadOf(file, "LGTE"), (Bytes{'u', 's', 'e', 'd', 0, 0}));
}

TEST(WriteScene, LightKeysAreWrittenAsOneChunk)
{
    ScenePtr scene = NewScene();
    LightEntity* light = build::AddLight(scene.get(), "lamp");
    build::AddLightKey(light, 0, 0.25f, KEY_INTERPOLATE, 0.5f, 0.0f, -1.0f);
    build::AddLightKey(light, 90, 1.0f, KEY_INTERPOLATE | KEY_SPLINE);
    EXPECT_EQ(Words(PayloadOf(Save(scene.get()), "LIKF")),
              (std::vector<uint32_t>{0, F(0.25f), F(0.5f), F(0), F(-1.0f), KEY_INTERPOLATE,
                                     90, F(1.0f), F(0), F(0), F(0), KEY_INTERPOLATE | KEY_SPLINE}));
}

TEST(WriteScene, MorphObjectWritesTargetsThenKeysThenFaces)
{
    ScenePtr scene = NewScene();
    MorphEntity* morph = build::AddMorph(scene.get(), "blob", 3, {{0, 1, 2}});
    morph->objectFlags = OBJECT_DOUBLESIDED;
    MorphTarget* a = build::AddTarget(morph, "a", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    build::AddTarget(morph, "b", {{0, 0, 2}, {1, 0, 2}, {0, 1, 2}});
    build::AddMorphKey(morph, 0, a, 0);
    MorphKey* loose = build::AddMorphKey(morph, 50, nullptr, KEY_INTERPOLATE);
    loose->k1 = 0.75f;
    Bytes file = Save(scene.get());
    EXPECT_EQ(ChunkIds(file), Concat(SCENE_IDS, {"ENTY", "NAME", "POSN", "ROT2", "MOBJ",
                                                 "MFNM", "VRTX", "MFNM", "VRTX", "MFKF", "MKFN", "MFKF",
                                                 "FACE", "COLR", "MFLT",
                                                 "ENTY", "POSN", "ROT2", "SIZE", "CMRA"}));
    EXPECT_EQ(Words(PayloadOf(file, "MOBJ")), std::vector<uint32_t>{OBJECT_DOUBLESIDED});
    EXPECT_EQ(Words(PayloadOf(file, "VRTX")),
              (std::vector<uint32_t>{F(0), F(0), F(0), 0, F(1), F(0), F(0), 0, F(0), F(1), F(0), 0}));
    EXPECT_EQ(PayloadOf(file, "MKFN"), (Bytes{'a', 0}));
    std::vector<Bytes> keys;
    for (const ParsedChunk& chunk : ParseChunks(file)) {
        if (chunk.id == "MFKF")
            keys.push_back(chunk.payload);
    }
    ASSERT_EQ(keys.size(), 2u);
    EXPECT_EQ(Words(keys[1]), (std::vector<uint32_t>{50, KEY_INTERPOLATE, F(0), F(0.75f), F(0)}));
}

TEST(WriteScene, CapacityBoundsTheBuffer)
{
    ScenePtr scene = NewScene();
    build::AddNull(scene.get(), "box");
    const Bytes image = Save(scene.get());
    ASSERT_FALSE(image.empty());

    Bytes exact(image.size());
    int32_t error = 1;
    EXPECT_EQ(SaveInto(scene.get(), exact, &error, true), image.size());
    EXPECT_EQ(error, 0);
    EXPECT_EQ(exact, image);

    for (size_t capacity : {size_t(0), size_t(11), size_t(12), image.size() - 1}) {
        Bytes guarded(image.size() + 8, 0xEE);
        const TagItem tags[] = {
            {TAG_SAVESCENE_MEMORY, TagPtr(guarded.data())},
            {TAG_SAVESCENE_CAPACITY, capacity},
            {TAG_SAVESCENE_ERROR, TagPtr(&error)},
            {TAG_DONE, 0},
        };
        error = 1;
        EXPECT_EQ(SaveScene(scene.get(), tags), 0u) << capacity;
        EXPECT_EQ(error, -1) << capacity;
        for (size_t i = capacity; i < guarded.size(); ++i)
            ASSERT_EQ(guarded[i], 0xEE) << capacity << " at " << i;
    }
}

TEST(WriteScene, WithoutCapacityTheBufferIsTrusted)
{
    ScenePtr scene = NewScene();
    build::AddNull(scene.get(), "box");
    const Bytes image = Save(scene.get());
    Bytes buffer(image.size());
    int32_t error = 1;
    EXPECT_EQ(SaveInto(scene.get(), buffer, &error, false), image.size());
    EXPECT_EQ(buffer, image);
}

TEST(WriteScene, FileHoldsTheMemoryImage)
{
    ScenePtr scene = NewScene();
    build::AddNull(scene.get(), "box");
    const std::string name = TempName("write");
    int32_t error = 1;
    const uint32_t total = SaveToFile(scene.get(), name, &error);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(ReadFile(name), Save(scene.get()));
    EXPECT_EQ(total, ReadFile(name).size());
    EXPECT_FALSE(FileExists(name + ".tmp"));
    std::remove(name.c_str());
}

// A file size limit makes the writes fail part way; the file that was there
// before stays as it was and no partial file is left.
TEST(WriteScene, FailedFileWriteLeavesNoIncompleteFile)
{
    ScenePtr scene = NewScene();
    for (int i = 0; i < 200; ++i)
        build::AddNull(scene.get(), "a fairly long entity name to make the file large");
    const std::string name = TempName("partial");
    const Bytes before = {'o', 'l', 'd'};
    WriteFile(name, before);

    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    int32_t error = 1;
    const uint32_t total = SaveToFile(scene.get(), name, &error);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(total, 0u);
    EXPECT_EQ(error, -1);
    EXPECT_EQ(ReadFile(name), before);
    EXPECT_FALSE(FileExists(name + ".tmp"));
    std::remove(name.c_str());
}

TEST(WriteScene, MissingSceneOrTargetOrUncreatableFileFails)
{
    ScenePtr scene = NewScene();
    Bytes buffer(4096);
    int32_t error = 1;
    EXPECT_EQ(SaveInto(nullptr, buffer, &error, true), 0u);
    EXPECT_EQ(error, -1);

    error = 1;
    const TagItem none[] = {{TAG_SAVESCENE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    EXPECT_EQ(SaveScene(scene.get(), none), 0u);
    EXPECT_EQ(error, -1);

    error = 1;
    EXPECT_EQ(SaveToFile(scene.get(), "/nonexistent/kvor3d/scene.kvor", &error), 0u);
    EXPECT_EQ(error, -1);
}

TEST(WriteScene, FaceCornerOutsideTheVertexArrayFailsTheSave)
{
    ScenePtr scene = NewScene();
    ObjectEntity* object = AddTriangle(scene.get(), "tri", 0);
    Vertex stray{};
    object->faces[0].vertices[1] = &stray;
    Bytes buffer(4096);
    int32_t error = 1;
    EXPECT_EQ(SaveInto(scene.get(), buffer, &error, true), 0u);
    EXPECT_EQ(error, -1);
}
