// LoadScene and SaveScene on files built byte by byte: what each chunk sets,
// the encodings of older versions, every bad-input rule, and the writer's
// bounds.
#include "files/scene_bytes.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

#include <sys/resource.h>

using namespace kvor3d;

using namespace bytes;

namespace {

using V = std::vector<double>;

uint32_t X(double value)
{
    return uint32_t(int32_t(value * 65536.0));
}

// A triangle object: three AVTX vertices of intensity 1, 0.5 and 0, one face.
Bytes Triangle(const std::string& name, uint32_t flags = 0)
{
    return Join({Enty(ENTITY_OBJECT), StringChunk("NAME", name), WordChunk("OBJT", {flags}),
                 WordChunk("AVTX", {F(0), F(0), F(0), F(1.0f), 7, F(1), F(0), F(0), F(0.5f), 8, F(0), F(1), F(0), F(0), 9}),
                 WordChunk("FACE", {0, 1, 2, F(0), F(0), F(1), F(0), F(0), F(1), 0x55})});
}

Bytes Key3(uint32_t time, uint32_t flags, float size = 1.0f)
{
    return WordChunk("KEY3", {time, F(1), F(2), F(3), F(4), F(5), F(6), F(0.5f), F(-0.5f), F(0.25f), flags, F(size),
                               F(8), F(9)});
}

EntityKey* KeyOf(const KeyList& list, int n = 0)
{
    Key* key = list.head;
    while (key && n-- > 0)
        key = key->next;
    return static_cast<EntityKey*>(key);
}

// One row per chunk (or group of chunks read together) of a version 7 file
// and the fields it sets, where the reader does more than the round trip
// shows: short chunks, kinds it changes, keys replaced, names resolved,
// elements sorted, textures shared.
struct ChunkCase {
    const char* what;
    Bytes chunks;
    std::function<void(Scene*)> check;
};

TEST(ReadScene, EachChunkSetsItsFields)
{
    const ChunkCase cases[] = {
        {"CLIP FOG GAMB BCK2 SHDW",
         Join({WordChunk("CLIP", {F(2.5f), F(900.0f)}),
               WordChunk("FOG ", {1, 0x00102030, 100, 0x8000, 355, 0x10000, SCENE_FOGFAR}),
               WordChunk("GAMB", {F(0.5f), F(0.25f)}), WordChunk("BCK2", {2, 0x00405060, 11, 12}),
               WordChunk("SHDW", {SCENE_SHADOWS})}),
         [](Scene* s) {
             EXPECT_EQ(s->farClip, 900.0f);
             EXPECT_EQ(s->flags, 0x1000u | SCENE_FOGFAR | 0x200u | SCENE_SHADOWS);
             EXPECT_EQ((V{double(s->fog[0]), double(s->fog[4])}), (V{0x00102030, 0x10000}));
             EXPECT_EQ(s->ambientGrey, 0x7F7F7Fu);
             EXPECT_EQ(s->backgroundValue3, 12u);
         }},
        {"short GAMB, level above 1", WordChunk("GAMB", {F(2.0f)}),
         [](Scene* s) { EXPECT_EQ((V{s->ambientValue2, double(s->ambientGrey)}), (V{1, 0xFFFFFF})); }},
        {"short SHDW and LGHT",
         Join({RawChunk("SHDW", {0x01, 0x00}), Enty(ENTITY_LIGHT), RawChunk("LGHT", {0, 0, 0, 5, 0x3f, 0x80, 0, 0})}),
         [](Scene* s) {
             LightEntity* light = LightOf(s->entities);
             EXPECT_EQ((V{double(s->flags), light->lightValue1, light->lightValue2}), (V{SCENE_SHADOWS, 1, 0}));
         }},
        {"ENTY kinds", Join({Enty(ENTITY_NULL, 0), Enty(ENTITY_OBJECT), Enty(ENTITY_VOLUME), Enty(77)}),
         [](Scene* s) {
             Entity* e = s->entities;
             EXPECT_EQ((V{double(e->entityFlags), e->size[2], e->next->size[2], double(e->next->next->kind),
                          double(e->next->next->next->kind)}),
                       (V{0, 0, 1, ENTITY_NULL, 77}));
         }},
        {"KEY3 entries, replacing earlier keys",
         Join({Enty(ENTITY_NULL), Key3(10, 0),
               WordChunk("KEY3", {100, F(1), F(2), F(3), F(4), F(5), F(6), F(0.5f), F(-0.5f), F(0.25f),
                                  KEY_INTERPOLATE | KEY_HIDDEN, F(7), F(8), F(9),
                                  50, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0})}),
         [](Scene* s) {
             EntityKey* key = KeyOf(s->entities->keys, 1);
             EXPECT_EQ(KeyOf(s->entities->keys)->time, 50u);
             EXPECT_EQ(key->keyFlags, KEY_INTERPOLATE | KEY_HIDDEN);
             EXPECT_EQ((V{key->position[2], key->rotation[0], key->k1, key->size[2]}), (V{3, 4, -0.5, 9}));
         }},
        {"object chunks",
         Join({Triangle("tri", OBJECT_GLOW), WordChunk("COLR", {0x80112233}), WordChunk("MFLT", {1, 2, 3, 4}),
               WordChunk("SPTR", {5}), WordChunk("PCOR", {3}), WordChunk("GLOW", {F(0.5f), F(2.0f)}),
               WordChunk("RDST", {6, 7, 8, 9})}),
         [](Scene* s) {
             ObjectEntity* o = ObjectOf(s->entities);
             EXPECT_EQ((V{double(o->vertices[0].colour), double(o->vertices[1].colour)}), (V{0xFFFFFF, 0x7F7F7F}));
             EXPECT_EQ(o->vertices[2].vertexValue, 9u);
             EXPECT_EQ(o->faces[0].vertices[2], &o->vertices[2]);
             EXPECT_EQ((V{o->faces[0].uv[1][0], o->faces[0].normal[2]}), (V{1, 1}));
             EXPECT_EQ(o->faces[0].faceFlags, 0x55u);
             EXPECT_EQ(o->colour, 0x80112233u);
             EXPECT_EQ((V{double(o->material[3]), double(o->spriteValue), double(o->correctionValue),
                          double(o->rdstValues[3])}),
                       (V{4, 5, 3, 9}));
             EXPECT_EQ(o->glow[1], 2.0f);
         }},
        {"PRNT of a later entity and of the camera",
         Join({Enty(ENTITY_NULL), StringChunk("NAME", "child"), StringChunk("PRNT", "root"), Enty(ENTITY_NULL),
               StringChunk("NAME", "root"), Enty(ENTITY_CAMERA), StringChunk("PRNT", "child")}),
         [](Scene* s) {
             EXPECT_EQ(s->entities->parent, s->entities->next);
             EXPECT_EQ(s->camera->parent, s->entities);
         }},
        {"light effect elements sorted by e0, SPRE",
         Join({WordChunk("LTEF", {9}), StringChunk("LENM", "glint"), WordChunk("LEEL", {1, 0, 0, 0}),
               StringChunk("LEEN", "one"),
               WordChunk("LEEL", {3, 0x300, 0, 1}), StringChunk("LEEN", "three"), StringChunk("LEEM", "star.iff"),
               WordChunk("LEEL", {2, 0, 0, 2}), Triangle("sparkly", OBJECT_SPRITEEFFECT), StringChunk("SPRE", "glint")}),
         [](Scene* s) {
             LightEffectElement* e = s->lightEffects->elements;
             EXPECT_STREQ(e->map->name, "star.iff");
             EXPECT_EQ((V{double(e->e1), double(e->next->e0), double(e->next->next->e0)}), (V{0x300, 2, 1}));
             EXPECT_STREQ(e->next->next->name, "one");
             EXPECT_EQ(ObjectOf(s->entities)->spriteEffect, s->lightEffects);
         }},
        {"every texture chunk, shared by name",
         Join({StringChunk("BMAP", "back"), StringChunk("FLOR", "floor"), StringChunk("SKY ", "sky"),
               Triangle("o", OBJECT_TEXTURE | OBJECT_ENVIRONMENT | OBJECT_BUMP | OBJECT_TRANSPARENT),
               StringChunk("TXTR", "tex"),
               StringChunk("ENVR", "env"), StringChunk("BUMP", "bump"), StringChunk("TRNS", "back")}),
         [](Scene* s) {
             ObjectEntity* o = ObjectOf(s->entities);
             EXPECT_EQ(std::string(s->floorMap->name) + s->skyMap->name + o->textureMap->name + o->environmentMap->name +
                           o->bumpMap->name,
                       "floorskytexenvbump");
             EXPECT_EQ(o->transparencyMap, s->backgroundMap);
         }},
    };
    for (const ChunkCase& c : cases) {
        SCOPED_TRACE(c.what);
        Loaded loaded = Load(Form({Version(7), c.chunks}));
        ASSERT_TRUE(loaded.scene);
        EXPECT_EQ(loaded.error, 0);
        c.check(loaded.scene.get());
    }
}

constexpr uint32_t UNVERSIONED = ~0u;  // a file without VERS

// One value read from a file of the given version: each row is the last
// version of an older encoding or the first of the newer one.
struct EncodingCase {
    uint32_t version;
    Bytes chunks;
    double (*value)(Scene*);
    double expected;
};

double Near(Scene* s) { return s->nearClip; }
double Far(Scene* s) { return s->farClip; }
double PositionZ(Scene* s) { return s->entities->position[2]; }
double PivotZ(Scene* s) { return s->entities->pivot[2]; }
double RotationY(Scene* s) { return s->entities->rotation[1]; }
double RotationZ(Scene* s) { return s->entities->rotation[2]; }
double VertexX(Scene* s) { return ObjectOf(s->entities)->vertices[1].position[0]; }
double FaceU(Scene* s) { return ObjectOf(s->entities)->faces[0].uv[1][0]; }
double Glow1(Scene* s) { return ObjectOf(s->entities)->glow[1]; }
double KeyRotationY(Scene* s) { return KeyOf(s->entities->keys)->rotation[1]; }
double KeyK1(Scene* s) { return KeyOf(s->entities->keys)->k1; }
double KeyFlags(Scene* s) { return KeyOf(s->entities->keys)->keyFlags; }
double MorphKeyFlags(Scene* s) { return MorphOf(s->entities)->morphKeys.head->keyFlags; }
double LightKeyFlags(Scene* s) { return LightOf(s->entities)->keys2.head->keyFlags; }

TEST(ReadEncodings, EachVersionReadsItsEncodings)
{
    const Bytes null = Enty(ENTITY_NULL);
    auto triangle = [](uint32_t x, uint32_t u) {
        return Join({Enty(ENTITY_OBJECT), WordChunk("VRTX", {0, 0, 0, 0, x, 0, 0, 0, 0, 0, 0, 0}),
                     WordChunk("FACE", {0, 1, 2, 0, 0, u, 0, 0, 0, 0})});
    };
    const Bytes keyf = WordChunk("KEYF", {10, 1, uint32_t(-2), 3, 90, 180, uint32_t(-45), 0xFFFFFFFF});
    const Bytes fkey = WordChunk("FKEY", {30, 7, 8, 9, 30, 60, 90, F(0.5f), F(-1.0f), F(0.25f), 0x2});
    const Bytes key2Fixed = WordChunk("KEY2", {5, 1, 2, 3, X(45.0), X(-1.5), X(0.25), F(0.5f), 0, 0, 0});
    const Bytes key2Float = WordChunk("KEY2", {5, F(1.5f), F(2), F(3), F(45.5f), F(0.75f), 0, 0, 0, 0, 2});
    const Bytes mfkf = Join({Enty(ENTITY_MORPH), StringChunk("MFNM", "t"), WordChunk("VRTX", {0, 0, 0, 0}),
                             WordChunk("MFKF", {0, 0x00FF0002, 0, 0, 0}), StringChunk("MKFN", "t")});
    const Bytes likf = Join({Enty(ENTITY_LIGHT), WordChunk("LIKF", {0, F(1), 0, 0, 0, 0x00FF0000})});
    const EncodingCase cases[] = {
        {UNVERSIONED, Join({null, WordChunk("POSN", {0, 0, 3})}), PositionZ, 3},
        {0, WordChunk("CLIP", {2, uint32_t(-1000)}), Far, -1000},
        {3, WordChunk("CLIP", {5, 5000}), Near, 5},
        {4, WordChunk("CLIP", {F(0.5f), F(4000.0f)}), Near, 0.5},
        {0, Join({null, WordChunk("POSN", {1, uint32_t(-2), 300000})}), PositionZ, 300000},
        {1, Join({null, WordChunk("POSN", {0, 0, F(-1.25f)})}), PositionZ, -1.25},
        {0, Join({null, WordChunk("PIVT", {0, 0, 7})}), PivotZ, 7},
        {0, Join({null, WordChunk("ROT2", {X(90.0), X(-0.5), X(1.5)})}), RotationY, -0.5},
        {1, Join({null, WordChunk("ROT2", {0, F(12.5f), 0})}), RotationY, 12.5},
        {7, Join({null, WordChunk("ROTN", {uint32_t(-45), 0, 720})}), RotationZ, 720},
        {1, triangle(10, 255), FaceU, 255},
        {2, triangle(F(0.5f), F(0.25f)), VertexX, 0.5},
        {2, triangle(F(0.5f), F(0.25f)), FaceU, 0.25},
        {2, Join({Enty(ENTITY_OBJECT), WordChunk("GLOW", {X(2.5), F(9.0f)})}), Glow1, 1},
        {3, Join({Enty(ENTITY_OBJECT), WordChunk("GLOW", {F(2.5f), F(9.0f)})}), Glow1, 9},
        {5, Join({null, keyf}), KeyRotationY, 180},
        {5, Join({null, keyf}), KeyFlags, KEY_INTERPOLATE | KEY_SPLINE},
        {7, Join({null, fkey}), KeyK1, -1},
        {7, Join({null, fkey}), KeyFlags, KEY_INTERPOLATE},
        {0, Join({null, key2Fixed}), KeyRotationY, -1.5},
        {1, Join({null, key2Float}), KeyFlags, KEY_INTERPOLATE},
        {5, Join({Enty(ENTITY_NULL, 0), Key3(0, 0x00FF0002)}), KeyFlags, KEY_INTERPOLATE | KEY_HIDDEN},
        {6, Join({Enty(ENTITY_NULL, 0), Key3(0, 0x00FF0002)}), KeyFlags, 0x00FF0002},
        {5, mfkf, MorphKeyFlags, KEY_INTERPOLATE},
        {6, mfkf, MorphKeyFlags, 0x00FF0002},
        {5, likf, LightKeyFlags, KEY_INTERPOLATE | KEY_SPLINE},
        {6, likf, LightKeyFlags, 0x00FF0000},
    };
    for (const EncodingCase& c : cases) {
        Loaded loaded = Load(Form({c.version == UNVERSIONED ? Bytes{} : Version(c.version), c.chunks}));
        ASSERT_TRUE(loaded.scene) << "version " << c.version << " row " << (&c - cases);
        EXPECT_EQ(c.value(loaded.scene.get()), c.expected) << "version " << c.version << " row " << (&c - cases);
    }
}

// Every rule of bad input: each file fails cleanly (null and −1, nothing
// left allocated: the sanitizer build checks), nothing is read past a
// chunk, the FORM or the memory image.
TEST(BadInput, EachRuleFailsTheLoad)
{
    const Bytes light = Enty(ENTITY_LIGHT), object = Enty(ENTITY_OBJECT), morph = Enty(ENTITY_MORPH);
    const Bytes null = Enty(ENTITY_NULL), ltef = WordChunk("LTEF", {0});
    Bytes pastForm = Form({Version(7)});
    pastForm[7] = 20;
    Bytes headerCut = Join({Form({Version(7)}), Bytes{'E', 'N', 'T', 'Y'}});
    headerCut[7] += 4;
    Bytes oddUnknown = Form({Version(7), RawChunk("ABCD", {1, 2, 3})});
    const struct {
        const char* what;
        Bytes file;
    } cases[] = {
        {"FORM of another type", Join({Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4}, Bytes{'I', 'L', 'B', 'M'}})},
        {"FORM too small for its type", Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 3, 'K', 'V', 'O', 'R'}},
        {"FORM longer than the memory", pastForm},
        {"chunk header cut by the FORM's end", headerCut},
        {"odd unknown chunk without its pad at the end", oddUnknown},
        {"CLIP short of its layout", Form({RawChunk("CLIP", Bytes(4, 0))})},
        {"LEEL short of its layout", Form({ltef, RawChunk("LEEL", Bytes(12, 0))})},
        {"POSN short of its layout", Form({null, RawChunk("POSN", Bytes(8, 0))})},
        {"MFKF short of its layout", Form({morph, RawChunk("MFKF", Bytes(16, 0))})},
        {"CMRA short of its layout", Form({Enty(ENTITY_CAMERA), RawChunk("CMRA", Bytes(4, 0))})},
        {"GLOW of one float", Form({Version(3), object, WordChunk("GLOW", {F(2.5f)})})},
        {"KEY3 of part entries", Form({Version(7), null, RawChunk("KEY3", Bytes(60, 0))})},
        {"AVTX of part entries", Form({Version(7), object, RawChunk("AVTX", Bytes(24, 0))})},
        {"FACE of part entries", Form({Version(7), Triangle("t"), RawChunk("FACE", Bytes(44, 0))})},
        {"name without NUL", Form({null, RawChunk("NAME", {'a', 'b'})})},
        {"face corner at the vertex count", Form({object, WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
                                                  WordChunk("FACE", {0, 1, 3, 0, 0, 0, 0, 0, 0, 0})})},
        {"FACE before any vertices", Form({object, WordChunk("FACE", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0})})},
        {"vertices replaced under faces", Form({Version(7), Triangle("t"), WordChunk("VRTX", {0, 0, 0, 0})})},
        {"morph target of another vertex count",
         Form({morph, StringChunk("MFNM", "a"), WordChunk("VRTX", {0, 0, 0, 0}), StringChunk("MFNM", "b"),
               WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0})})},
        {"texture chunk in a light", Form({light, StringChunk("TXTR", "a")})},
        {"LIKF in an object", Form({object, WordChunk("LIKF", {0, 0, 0, 0, 0, 0})})},
        {"COLR in a null entity", Form({null, WordChunk("COLR", {0})})},
        {"VRTX in a morph before a target", Form({morph, WordChunk("VRTX", {0, 0, 0, 0})})},
        {"MKFN before a morph key", Form({morph, StringChunk("MFNM", "t"), StringChunk("MKFN", "x")})},
        {"MKFN after another entity", Form({morph, StringChunk("MFNM", "a"), WordChunk("MFKF", {0, 0, 0, 0, 0}), morph,
                                            StringChunk("MKFN", "a")})},
        {"parent that is not there", Form({null, StringChunk("PRNT", "nobody")})},
        {"morph target that is not there", Form({morph, WordChunk("MFKF", {0, 0, 0, 0, 0}), StringChunk("MKFN", "none")})},
        {"parent loop", Form({null, StringChunk("NAME", "a"), StringChunk("PRNT", "b"), null, StringChunk("NAME", "b"),
                              StringChunk("PRNT", "a")})},
    };
    for (const auto& c : cases)
        EXPECT_TRUE(Fails(c.file)) << c.what;
    int32_t error = 1;
    const TagItem missing[] = {{TAG_LOADSCENE_FILENAME, TagPtr("/nonexistent/kvor3d/scene.kvor")},
                               {TAG_LOADSCENE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    EXPECT_EQ(LoadScene(missing), nullptr);
    EXPECT_EQ(error, -1);
    Loaded noTexture = Load(Form({Version(7), Triangle("a"), StringChunk("TXTR", "/nonexistent/wood.iff")}), {});
    EXPECT_FALSE(noTexture.scene);
    Loaded placeholdersOff = Load(Form({Version(7), Triangle("a"), StringChunk("TXTR", "/nonexistent/wood.iff")}),
                                  {{TAG_LOADSCENE_PLACEHOLDERS, 0x10000}});
    EXPECT_FALSE(placeholdersOff.scene);
}

uint32_t SaveInto(const Scene* scene, Bytes& buffer, uint64_t capacity, int32_t* error)
{
    const TagItem tags[] = {{TAG_SAVESCENE_MEMORY, TagPtr(buffer.data())},
                            {TAG_SAVESCENE_CAPACITY, capacity},
                            {TAG_SAVESCENE_ERROR, TagPtr(error)},
                            {TAG_DONE, 0}};
    return SaveScene(scene, tags);
}

// Capacity bounds the buffer: nothing is written past it and a scene that
// does not fit fails; so do a missing scene or target, a face corner
// outside the vertex array and a file write that fails part way (the file
// that was there stays as it was).
TEST(WriteScene, FailuresReportMinusOneAndLeaveNoPartialOutput)
{
    ScenePtr scene(AllocScene());
    build::AddNull(scene.get(), "box");
    const Bytes image = Save(scene.get());
    int32_t error = 1;
    for (size_t capacity : {size_t(0), size_t(12), image.size() - 1, image.size()}) {
        Bytes guarded(image.size() + 8, 0xEE);
        const uint32_t total = SaveInto(scene.get(), guarded, capacity, &error);
        EXPECT_EQ(total, capacity == image.size() ? image.size() : 0u) << capacity;
        EXPECT_EQ(error, capacity == image.size() ? 0 : -1) << capacity;
        EXPECT_EQ(Bytes(guarded.begin() + long(capacity), guarded.end()), Bytes(guarded.size() - capacity, 0xEE));
    }
    Bytes buffer(4096);
    ObjectEntity* object = build::AddObject(scene.get(), "tri", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    Vertex stray{};
    object->faces[0].vertices[1] = &stray;
    EXPECT_EQ(SaveInto(scene.get(), buffer, buffer.size(), &error), 0u);
    EXPECT_EQ(error, -1);
    object->faces[0].vertices[1] = &object->vertices[1];

    for (int i = 0; i < 200; ++i)
        build::AddNull(scene.get(), "a fairly long entity name to make the file large");
    const run::TempFolder folder;
    const std::string name = folder.Write("partial.kvor", std::string("old"));
    struct rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    struct rlimit limited = saved;
    limited.rlim_cur = 1000;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &limited);
    const TagItem file[] = {{TAG_SAVESCENE_FILENAME, TagPtr(name.c_str())}, {TAG_SAVESCENE_ERROR, TagPtr(&error)},
                            {TAG_DONE, 0}};
    const uint32_t total = SaveScene(scene.get(), file);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(total, 0u);
    EXPECT_EQ(error, -1);
    EXPECT_EQ(ReadFile(name), (Bytes{'o', 'l', 'd'}));
    std::remove(name.c_str());
}

}  // namespace
