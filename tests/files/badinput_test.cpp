// Bad input: short, long, truncated and inconsistent chunks fail the load
// cleanly (null and −1, nothing left allocated) or are read within their
// bounds; nothing is read past a chunk, the FORM or the memory image.
#include "files/scene_bytes.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <limits>

#include <string>
#include <vector>

using namespace bytes;

namespace {

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

Bytes Zeros(size_t count)
{
    return Bytes(count, 0);
}

// A fixed-layout chunk, the chunks that give it its context and the bytes
// its layout reads.
struct FixedChunk {
    const char* id;
    Bytes context;
    size_t layout;
};

std::vector<FixedChunk> FixedChunks()
{
    const Bytes none;
    const Bytes entity = Enty(ENTITY_NULL);
    const Bytes object = Enty(ENTITY_OBJECT);
    const Bytes morph = Enty(ENTITY_MORPH);
    return {
        {"VERS", none, 4},    {"CLIP", none, 8},    {"FOG ", none, 28},   {"GAMB", none, 4},
        {"BACK", none, 12},   {"BCK2", none, 16},   {"LTEF", none, 4},    {"ENTY", none, 8},
        {"LEEL", WordChunk("LTEF", {0}), 16},
        {"POSN", entity, 12}, {"PIVT", entity, 12}, {"ROTN", entity, 12}, {"ROT2", entity, 12},
        {"SIZE", entity, 12}, {"OBJT", object, 4},  {"MOBJ", morph, 4},   {"COLR", object, 4},
        {"MFLT", object, 16}, {"SPTR", object, 4},  {"PCOR", object, 4},  {"RDST", object, 16},
        {"GLOW", object, 8},  {"MFKF", morph, 20},  {"CMRA", Enty(ENTITY_CAMERA), 8},
    };
}

// RawChunk takes its id as a four-character array.
Bytes ChunkOf(const char* id, const Bytes& payload)
{
    char name[5] = {id[0], id[1], id[2], id[3], 0};
    return RawChunk(name, payload);
}

size_t OpenFileCount()
{
    size_t count = 0;
    if (DIR* folder = opendir("/proc/self/fd")) {
        while (readdir(folder))
            ++count;
        closedir(folder);
    }
    return count;
}

}  // namespace

TEST(BadInput, FixedChunkShorterThanItsLayoutFails)
{
    for (const FixedChunk& fixed : FixedChunks()) {
        for (size_t size : {size_t(0), fixed.layout - 1, fixed.layout - 4}) {
            EXPECT_TRUE(Fails(Form({Version(7), fixed.context, ChunkOf(fixed.id, Zeros(size))})))
                << fixed.id << " of " << size << " bytes";
        }
        EXPECT_TRUE(Loads(Form({Version(7), fixed.context, ChunkOf(fixed.id, Zeros(fixed.layout))}))) << fixed.id;
    }
}

TEST(BadInput, FixedChunkLargerThanItsLayoutHasTheRestSkipped)
{
    for (const FixedChunk& fixed : FixedChunks()) {
        if (std::string(fixed.id) == "VERS")
            continue;
        Bytes payload = Zeros(fixed.layout + 6);
        payload[fixed.layout] = 'N';
        Loaded loaded = Load(Form({Version(7), fixed.context, ChunkOf(fixed.id, payload), Enty(ENTITY_NULL),
                                   StringChunk("NAME", "next")}));
        ASSERT_TRUE(loaded.scene) << fixed.id;
        Entity* last = loaded.scene->entities;
        while (last && last->next)
            last = last->next;
        ASSERT_TRUE(last) << fixed.id;
        EXPECT_STREQ(last->name, "next") << fixed.id;
    }
    Loaded loaded = Load(Form({Version(7), WordChunk("VERS", {0, 0xFFFFFFFF}), Enty(ENTITY_NULL),
                               WordChunk("POSN", {I(5), I(6), I(7)})}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->entities->position[0], 5.0f);
}

TEST(BadInput, ShortFormsThatTheFormatAllowsAreRead)
{
    Loaded loaded = Load(Form({
        Version(7),
        WordChunk("GAMB", {F(0.5f)}),
        RawChunk("SHDW", {}),
        Enty(ENTITY_LIGHT),
        RawChunk("LGHT", {}),
        Enty(ENTITY_LIGHT),
        RawChunk("LGHT", {0, 0, 0, 1, 0x3F, 0x80, 0, 0, 0x43, 0x48, 0, 0}),
        Enty(ENTITY_LIGHT),
        RawChunk("LGHT", {0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 9, 0xAA, 0xBB, 0xCC, 0xDD}),
        RawChunk("SHDW", {0, 0, 0, 4, 0xFF, 0xFF, 0xFF, 0xFF}),
    }));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->ambientValue2, 1.0f);
    EXPECT_EQ(loaded.scene->flags, 4u);
    LightEntity* empty = LightOf(loaded.scene->entities);
    EXPECT_EQ(empty->lightFlags, 0u);
    EXPECT_EQ(empty->lightValue1, 0.0f);
    LightEntity* three = LightOf(empty->next);
    EXPECT_EQ(three->lightFlags, 1u);
    EXPECT_EQ(three->lightValue1, 1.0f);
    EXPECT_EQ(three->lightValue2, 200.0f);
    EXPECT_EQ(three->lightValue3, 0u);
    LightEntity* longer = LightOf(three->next);
    EXPECT_EQ(longer->lightValue3, 9u);
}

TEST(BadInput, EmptyPayloadsReadFromAFile)
{
    const std::string name = TempName("empty");
    WriteFile(name, Form({RawChunk("SHDW", {}), Enty(ENTITY_LIGHT), RawChunk("LGHT", {}), WordChunk("AVTX", {})}));
    int32_t error = 1;
    const TagItem tags[] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(LoadScene(tags), nullptr);
    EXPECT_EQ(error, -1);
    WriteFile(name, Form({RawChunk("SHDW", {}), Enty(ENTITY_LIGHT), RawChunk("LGHT", {})}));
    ScenePtr scene(LoadScene(tags));
    std::remove(name.c_str());
    ASSERT_TRUE(scene);
    EXPECT_EQ(scene->flags, 0u);
    EXPECT_EQ(LightOf(scene->entities)->lightFlags, 0u);
}

TEST(BadInput, ArrayChunkOfPartEntriesFails)
{
    struct Case {
        const char* id;
        Bytes context;
        size_t entry;
    };
    const Case cases[] = {
        {"VRTX", Enty(ENTITY_OBJECT), 16},
        {"AVTX", Enty(ENTITY_OBJECT), 20},
        {"VRTX", Join({Enty(ENTITY_MORPH), StringChunk("MFNM", "t")}), 16},
        {"FACE", Join({Enty(ENTITY_OBJECT), WordChunk("VRTX", {0, 0, 0, 0})}), 40},
        {"KEYF", Enty(ENTITY_NULL), 32},
        {"FKEY", Enty(ENTITY_NULL), 44},
        {"KEY2", Enty(ENTITY_NULL), 44},
        {"KEY3", Enty(ENTITY_NULL), 56},
        {"LIKF", Enty(ENTITY_LIGHT), 24},
    };
    for (const Case& c : cases) {
        for (size_t size : {c.entry - 4, c.entry + 4, 2 * c.entry - 1, c.entry + 1}) {
            EXPECT_TRUE(Fails(Form({Version(7), c.context, ChunkOf(c.id, Zeros(size))})))
                << c.id << " of " << size << " bytes";
        }
        EXPECT_TRUE(Loads(Form({Version(7), c.context, ChunkOf(c.id, Zeros(2 * c.entry))}))) << c.id;
    }
}

TEST(BadInput, StringWithoutNulInsideItsChunkFails)
{
    const char* ids[] = {"NAME", "PRNT", "LENM", "LEEN", "LEEM", "BMAP", "FLOR", "SKY ", "TXTR", "ENVR",
                         "BUMP", "TRNS", "SPRE", "MFNM", "MKFN", "LGTE"};
    const Bytes contexts[] = {
        Enty(ENTITY_NULL),
        Enty(ENTITY_NULL),
        WordChunk("LTEF", {0}),
        Join({WordChunk("LTEF", {0}), WordChunk("LEEL", {0, 0, 0, 0})}),
        Join({WordChunk("LTEF", {0}), WordChunk("LEEL", {0, 0, 0, 0})}),
        {}, {}, {},
        Enty(ENTITY_OBJECT), Enty(ENTITY_OBJECT), Enty(ENTITY_OBJECT), Enty(ENTITY_OBJECT), Enty(ENTITY_OBJECT),
        Enty(ENTITY_MORPH),
        Join({Enty(ENTITY_MORPH), WordChunk("MFKF", {0, 0, 0, 0, 0})}),
        Enty(ENTITY_LIGHT),
    };
    for (size_t i = 0; i < sizeof ids / sizeof ids[0]; ++i) {
        EXPECT_TRUE(Fails(Form({Version(7), contexts[i], ChunkOf(ids[i], {'a', 'b', 'c', 'd'})}))) << ids[i];
        EXPECT_TRUE(Fails(Form({Version(7), contexts[i], ChunkOf(ids[i], {})}))) << ids[i];
    }
    Loaded loaded = Load(Form({Version(7), Enty(ENTITY_NULL), RawChunk("NAME", {'a', 'b', 0, 'c', 'd', 'e'})}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_STREQ(loaded.scene->entities->name, "ab");
}

TEST(BadInput, HeaderMustBeFormKvorWithinTheSource)
{
    Bytes good = Form({Version(7)});
    EXPECT_TRUE(Loads(good));

    Bytes notForm = good;
    notForm[0] = 'X';
    EXPECT_TRUE(Fails(notForm));
    Bytes notKvor = good;
    notKvor[11] = 'X';
    EXPECT_TRUE(Fails(notKvor));
    Bytes tooSmall = good;
    tooSmall[7] = 3;
    EXPECT_TRUE(Fails(tooSmall));
    Bytes tooLarge = good;
    tooLarge[7] = uint8_t(tooLarge[7] + 1);
    EXPECT_TRUE(Fails(tooLarge));
    Bytes huge = good;
    huge[4] = huge[5] = huge[6] = huge[7] = 0xFF;
    EXPECT_TRUE(Fails(huge));
    EXPECT_TRUE(Fails(Bytes(good.begin(), good.begin() + 11)));
    EXPECT_TRUE(Fails(Bytes{}));
}

TEST(BadInput, ChunkRunningPastTheFormEndFails)
{
    EXPECT_TRUE(Fails(Form({Version(7), RawChunk("NAME", {'a', 0}, 4)})));
    EXPECT_TRUE(Fails(Form({Version(7), RawChunk("ABCD", {1, 2}, 3)})));
    EXPECT_TRUE(Fails(Form({Version(7), RawChunk("ABCD", {1, 2, 3})})));
    EXPECT_TRUE(Fails(Form({Version(7), Bytes{'E', 'N', 'T'}})));
    EXPECT_TRUE(Fails(Form({Version(7), RawChunk("VRTX", Zeros(32), 0x7FFFFFF0)})));
    EXPECT_TRUE(Fails(Form({Version(7), RawChunk("ABCD", {}, 0xFFFFFFFF)})));
    // The chunk fits the memory image but not the FORM.
    Bytes file = Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0})});
    file[7] = uint8_t(file[7] - 16);
    EXPECT_TRUE(Fails(file));
}

TEST(BadInput, TruncatedFileFailsAndIsClosed)
{
    Bytes whole = Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0})});
    const std::string name = TempName("truncated");
    WriteFile(name, Bytes(whole.begin(), whole.end() - 10));
    const size_t filesBefore = OpenFileCount();
    int32_t error = 1;
    const TagItem tags[] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(LoadScene(tags), nullptr);
    EXPECT_EQ(error, -1);
    EXPECT_EQ(OpenFileCount(), filesBefore);

    WriteFile(name, whole);
    ScenePtr scene(LoadScene(tags));
    EXPECT_TRUE(scene);
    EXPECT_EQ(OpenFileCount(), filesBefore);
    std::remove(name.c_str());
}

TEST(BadInput, FaceCornersOutsideTheVertexArrayFail)
{
    const Bytes vertices = WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (uint32_t index : {3u, 4u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_OBJECT), vertices,
                                WordChunk("FACE", {0, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 1, index, 0, 0, 0, 0, 0, 0, 0})})))
            << index;
    }
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_OBJECT), WordChunk("VRTX", {}),
                            WordChunk("FACE", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0})})));
    EXPECT_TRUE(Loads(Form({Version(7), Enty(ENTITY_OBJECT), vertices,
                            WordChunk("FACE", {0, 1, 2, 0, 0, 0, 0, 0, 0, 0})})));
}

// Faces point into the vertex array, so it cannot be replaced once faces
// use it; before any face it can.
TEST(BadInput, VertexArrayCannotBeReplacedUnderFaces)
{
    const Bytes three = WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const Bytes one = WordChunk("VRTX", {0, 0, 0, 0});
    const Bytes face = WordChunk("FACE", {0, 1, 2, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_OBJECT), three, face, one})));
    Loaded loaded = Load(Form({Version(7), Enty(ENTITY_OBJECT), one, three, face}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(ObjectOf(loaded.scene->entities)->vertexCount, 3u);
}

// Every target of a morph object has as many vertices as the object.
TEST(BadInput, MorphTargetsOfAnotherVertexCountFail)
{
    const Bytes three = WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    const Bytes two = WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0});
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_MORPH), StringChunk("MFNM", "a"), three,
                            StringChunk("MFNM", "b"), two})));
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_MORPH), StringChunk("MFNM", "a"), three, two})));
    Loaded loaded = Load(Form({Version(7), Enty(ENTITY_MORPH), StringChunk("MFNM", "a"), three, three,
                               StringChunk("MFNM", "b"), three}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(MorphOf(loaded.scene->entities)->vertexCount, 3u);
}

// A light volume is never read from a file: kind 4 makes a null entity,
// whose plain record takes none of the object chunks.
TEST(BadInput, LightVolumeKindReadsAsNullEntity)
{
    Loaded loaded = Load(Form({Version(7), Enty(ENTITY_VOLUME), StringChunk("NAME", "v")}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->entities->kind, ENTITY_NULL);
    EXPECT_EQ(loaded.scene->entities->size[0], 0.0f);
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_VOLUME), WordChunk("OBJT", {0})})));
    EXPECT_TRUE(Fails(Form({Version(7), Enty(ENTITY_VOLUME), WordChunk("VRTX", {0, 0, 0, 0})})));
}

// Levels become bytes through trunc(level × 255), clamped to 0-255.
TEST(BadInput, OutOfRangeLevelsAreClampedToAByte)
{
    const float levels[] = {-1.0f, 2.0f, 1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity()};
    const uint32_t bytes[] = {0, 255, 255, 0, 0, 255};
    for (size_t i = 0; i < 6; ++i) {
        Loaded loaded = Load(Form({Version(7), WordChunk("GAMB", {F(levels[i])}), Enty(ENTITY_OBJECT),
                                   WordChunk("AVTX", {0, 0, 0, F(levels[i]), 0})}));
        ASSERT_TRUE(loaded.scene) << i;
        EXPECT_EQ(loaded.scene->ambientGrey, bytes[i] * 0x010101) << i;
        EXPECT_EQ(ObjectOf(loaded.scene->entities)->vertices[0].colour, bytes[i] * 0x010101) << i;
    }
}

// Failures late in the load, after textures, keys, targets and effects were
// made, leave nothing allocated (the sanitizer build checks for leaks).
TEST(BadInput, LateFailuresFreeEverythingBuiltSoFar)
{
    const Bytes rich = Join({
        WordChunk("LTEF", {0}), StringChunk("LENM", "fx"), WordChunk("LEEL", {1, 2, 3, 0}),
        StringChunk("LEEM", "map"),
        Enty(ENTITY_MORPH), StringChunk("NAME", "m"), StringChunk("MFNM", "a"),
        WordChunk("VRTX", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), WordChunk("MFKF", {0, 0, 0, 0, 0}),
        StringChunk("MKFN", "a"), WordChunk("FACE", {0, 1, 2, 0, 0, 0, 0, 0, 0, 0}), StringChunk("TXTR", "t"),
        StringChunk("SPRE", "fx"), StringChunk("PRNT", "l"),
        Enty(ENTITY_LIGHT), StringChunk("NAME", "l"), StringChunk("LGTE", "fx"),
        WordsChunk("LIKF", {0, 0, 0, 0, 0, 0}),
        Enty(ENTITY_NULL), WordsChunk("KEY3", std::vector<uint32_t>(14, 0)),
    });
    EXPECT_TRUE(Loads(Form({Version(7), rich})));
    EXPECT_TRUE(Fails(Form({Version(7), rich, StringChunk("PRNT", "nobody")})));
    EXPECT_TRUE(Fails(Form({Version(7), rich, Enty(ENTITY_LIGHT), StringChunk("LGTE", "none")})));
    EXPECT_TRUE(Fails(Form({Version(7), rich, Enty(ENTITY_MORPH), WordChunk("MFKF", {0, 0, 0, 0, 0}),
                            StringChunk("MKFN", "none")})));
    EXPECT_TRUE(Fails(Form({Version(7), rich, WordChunk("FACE", {9, 9, 9, 0, 0, 0, 0, 0, 0, 0})})));
    EXPECT_TRUE(Fails(Form({Version(7), rich, RawChunk("ENTY", {0, 0})})));
}
