// Light-effect files: the bytes SaveLightEffects writes, reading them back,
// every bad-input rule of LoadLightEffects, and IsSceneFile.
#include "colour/colour.h"
#include "core/settings.h"
#include "scene/keys.h"
#include "scene/lightfile.h"
#include "scene/material.h"
#include "scene/scene.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void PutBig32(Bytes& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
}

Bytes Words(std::initializer_list<uint32_t> words)
{
    Bytes out;
    for (uint32_t word : words)
        PutBig32(out, word);
    return out;
}

// A string payload: the text, its NUL and a pad byte when that is odd.
Bytes Text(const std::string& text)
{
    Bytes out(text.begin(), text.end());
    out.push_back(0);
    if (out.size() & 1)
        out.push_back(0);
    return out;
}

// A chunk with any size field; the pad byte after odd data unless `pad` is
// false.
Bytes ChunkOf(const char* id, const Bytes& data, bool pad = true)
{
    Bytes out(id, id + 4);
    PutBig32(out, uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    if (pad && (data.size() & 1))
        out.push_back(0);
    return out;
}

Bytes FormOf(const std::vector<Bytes>& chunks, const char* type = "KVOR")
{
    Bytes body(type, type + 4);
    for (const Bytes& chunk : chunks)
        body.insert(body.end(), chunk.begin(), chunk.end());
    Bytes out{'F', 'O', 'R', 'M'};
    PutBig32(out, uint32_t(body.size()));
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

const Bytes VERS = ChunkOf("VERS", Words({7}));

Bytes Leel(uint32_t e0, uint32_t e1 = 0x10000, uint32_t e2 = 0x10000, uint32_t e3 = 0)
{
    return ChunkOf("LEEL", Words({e0, e1, e2, e3}));
}

// Every texture name maps to one raw 256 × 256 square in memory.
std::vector<uint16_t>& RawImage()
{
    static std::vector<uint16_t> image(TEXTURE_RAW_SIDE * TEXTURE_RAW_SIDE, 0x0421);
    return image;
}

int imageRequests = 0;

const void* ImageFor(const char*)
{
    ++imageRequests;
    return RawImage().data();
}

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class LightFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPixelMode(1);
        imageRequests = 0;
        words_ = build::PaletteWords({0x000000, 0x640000, 0xC80000, 0x0000C8});
        table_ = build::MakeColourTable(words_, true);
        scene_ = AllocScene();
        ASSERT_NE(table_, nullptr);
        ASSERT_NE(scene_, nullptr);
        std::string pattern = (std::filesystem::temp_directory_path() / "kvor_lightfile_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }

    void TearDown() override
    {
        FreeScene(scene_);
        DeleteColourTable(table_);
        std::filesystem::remove_all(dir_);
    }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    int FilesInDirectory() const
    {
        int count = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
            (void)entry;
            ++count;
        }
        return count;
    }

    // Loads an exact-size copy of `file` through memory with its size, into
    // the scene, with the image callback and, when asked, the colour table.
    LightEffect* Load(const Bytes& file, bool withTable = false, Scene* scene = nullptr)
    {
        copy_.assign(file.begin(), file.end());
        const TagItem tags[] = {
            {TAG_LOADLIGHTEFFECTS_MEMORY, TagPtr(copy_.data())},
            {TAG_LOADLIGHTEFFECTS_MEMORYSIZE, copy_.size()},
            {TAG_LOADLIGHTEFFECTS_ERROR, TagPtr(&error_)},
            {TAG_LOADLIGHTEFFECTS_TEXTURES, reinterpret_cast<uintptr_t>(&ImageFor)},
            {TAG_LOADLIGHTEFFECTS_SCENE, TagPtr(scene ? scene : scene_)},
            {TAG_LOADLIGHTEFFECTS_COLOURTABLE, withTable ? TagPtr(table_) : 0},
            {TAG_DONE, 0},
        };
        error_ = 7;
        return LoadLightEffects(tags);
    }

    // Expects the load of `file` to fail and to leave the scene untouched.
    void ExpectRejected(const Bytes& file, const char* what)
    {
        EXPECT_EQ(Load(file), nullptr) << what;
        EXPECT_EQ(error_, -1) << what;
        EXPECT_EQ(scene_->lightEffects, nullptr) << what;
        EXPECT_EQ(scene_->textures, nullptr) << what;
    }

    Bytes Save(const LightEffect* effect, uint32_t* count)
    {
        Bytes buffer(4096, 0xEE);
        const TagItem tags[] = {
            {TAG_SAVELIGHTEFFECTS_MEMORY, TagPtr(buffer.data())},
            {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error_)},
            {TAG_DONE, 0},
        };
        *count = SaveLightEffects(effect, tags);
        buffer.resize(*count);
        return buffer;
    }

    // An effect "glow" with elements of e0 1, 3 and 2, all mapped, outside
    // any scene.
    LightEffect* ThreeElementEffect()
    {
        map_ = build::AddTexture(scene_, "flare.iff", 4, 4);
        const TagItem tags[] = {{TAG_LIGHTEFFECT_NAME, TagPtr("glow")}, {TAG_DONE, 0}};
        LightEffect* effect = CreateLightEffect(tags);
        build::AddElement(effect, "one", 1, map_);
        build::AddElement(effect, "three", 3, map_);
        build::AddElement(effect, "two", 2, map_);
        effect->effectValue = 0x12345678;
        return effect;
    }

    std::vector<uint32_t> words_;
    ColourTable* table_ = nullptr;
    Scene* scene_ = nullptr;
    Texture* map_ = nullptr;
    std::filesystem::path dir_;
    Bytes copy_;
    int32_t error_ = 7;
};

// ---- Writing -----------------------------------------------------------------

TEST_F(LightFileTest, WritesHeaderVersionEffectAndElementsBigEndian)
{
    const TagItem tags[] = {{TAG_LIGHTEFFECT_NAME, TagPtr("abc")}, {TAG_DONE, 0}};
    LightEffect* effect = CreateLightEffect(tags);
    effect->effectValue = 5;
    build::AddElement(effect, "abcd", 0x20000);
    uint32_t count = 0;
    const Bytes image = Save(effect, &count);
    EXPECT_EQ(error_, 0);
    const Bytes expected = FormOf({
        VERS,
        ChunkOf("LTEF", Words({5})),
        ChunkOf("LENM", Bytes{'a', 'b', 'c', 0}),            // length 3: size 4
        Leel(0x20000),
        ChunkOf("LEEN", Bytes{'a', 'b', 'c', 'd', 0, 0}),    // length 4: size 6
    });
    EXPECT_EQ(image, expected);
    EXPECT_EQ(count, 12u + 12 + 12 + 12 + 24 + 14);
    EXPECT_EQ(image[7], count - 8);
    DeleteLightEffect(effect, nullptr);
}

TEST_F(LightFileTest, CapacityStopsTheWriterAtTheBufferEnd)
{
    LightEffect* effect = CreateLightEffect(nullptr);
    build::AddElement(effect, nullptr, 1);
    const uint32_t size = 12 + 12 + 12 + 24;
    for (uint32_t capacity : {size - 1, size}) {
        Bytes buffer(size + 8, 0xEE);
        const TagItem tags[] = {
            {TAG_SAVELIGHTEFFECTS_MEMORY, TagPtr(buffer.data())},
            {TAG_SAVELIGHTEFFECTS_CAPACITY, capacity},
            {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error_)},
            {TAG_DONE, 0},
        };
        const uint32_t written = SaveLightEffects(effect, tags);
        if (capacity < size) {
            EXPECT_EQ(written, 0u);
            EXPECT_EQ(error_, -1);
        } else {
            EXPECT_EQ(written, size);
            EXPECT_EQ(error_, 0);
        }
        for (uint32_t i = capacity; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "capacity " << capacity << " byte " << i;
    }
    DeleteLightEffect(effect, nullptr);
}

TEST_F(LightFileTest, WritingNeedsAnEffectAndATarget)
{
    Bytes buffer(64);
    const TagItem memory[] = {
        {TAG_SAVELIGHTEFFECTS_MEMORY, TagPtr(buffer.data())},
        {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error_)},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(SaveLightEffects(nullptr, memory), 0u);
    EXPECT_EQ(error_, -1);
    LightEffect* effect = CreateLightEffect(nullptr);
    const TagItem none[] = {{TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error_)}, {TAG_DONE, 0}};
    error_ = 7;
    EXPECT_EQ(SaveLightEffects(effect, none), 0u);
    EXPECT_EQ(error_, -1);
    DeleteLightEffect(effect, nullptr);
}

TEST_F(LightFileTest, FileRoundTripGivesElementsLargestE0First)
{
    LightEffect* effect = ThreeElementEffect();
    const std::string path = Path("effects.kvor");
    const TagItem save[] = {
        {TAG_SAVELIGHTEFFECTS_FILENAME, TagPtr(path.c_str())},
        {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error_)},
        {TAG_DONE, 0},
    };
    const uint32_t written = SaveLightEffects(effect, save);
    EXPECT_EQ(error_, 0);
    EXPECT_EQ(written, std::filesystem::file_size(path));
    EXPECT_EQ(FilesInDirectory(), 1);
    DeleteLightEffect(effect, nullptr);

    const TagItem load[] = {
        {TAG_LOADLIGHTEFFECTS_FILENAME, TagPtr(path.c_str())},
        {TAG_LOADLIGHTEFFECTS_ERROR, TagPtr(&error_)},
        {TAG_LOADLIGHTEFFECTS_SCENE, TagPtr(scene_)},
        {TAG_DONE, 0},
    };
    error_ = 7;
    LightEffect* read = LoadLightEffects(load);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(error_, 0);
    EXPECT_EQ(scene_->lightEffects, read);
    EXPECT_STREQ(read->name, "glow");
    EXPECT_EQ(read->effectValue, 0x12345678u);
    std::vector<std::string> names;
    for (LightEffectElement* element = read->elements; element; element = element->next) {
        names.push_back(element->name);
        EXPECT_EQ(element->map, map_);  // shared by name with the scene's texture
        EXPECT_EQ(element->material, nullptr);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"three", "two", "one"}));
    EXPECT_EQ(read->next, nullptr);
}

TEST_F(LightFileTest, MemoryRoundTripMakesEachMapOnceFromTheCallback)
{
    LightEffect* effect = ThreeElementEffect();
    Scene* other = AllocScene();
    uint32_t count = 0;
    const Bytes image = Save(effect, &count);
    DeleteLightEffect(effect, nullptr);
    LightEffect* read = Load(image, false, other);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(imageRequests, 1);
    ASSERT_NE(other->textures, nullptr);
    EXPECT_STREQ(other->textures->name, "flare.iff");
    EXPECT_EQ(other->textures->pixels, RawImage().data());
    EXPECT_EQ(other->textures->next, nullptr);
    for (LightEffectElement* element = read->elements; element; element = element->next)
        EXPECT_EQ(element->map, other->textures);
    FreeScene(other);
}

TEST_F(LightFileTest, MemoryImageWithoutASizeIsAsLongAsItsForm)
{
    const Bytes file = FormOf({VERS, ChunkOf("LTEF", Words({9}))});
    const TagItem tags[] = {
        {TAG_LOADLIGHTEFFECTS_MEMORY, TagPtr(file.data())},
        {TAG_LOADLIGHTEFFECTS_ERROR, TagPtr(&error_)},
        {TAG_DONE, 0},
    };
    LightEffect* read = LoadLightEffects(tags);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(error_, 0);
    EXPECT_EQ(read->effectValue, 9u);
    DeleteLightEffect(read, nullptr);
}

// A failing write (the file size limit makes the temporary file short)
// leaves the earlier file as it was and no temporary file behind.
TEST_F(LightFileTest, FailedFileWriteKeepsTheEarlierFile)
{
    const std::string path = Path("kept.kvor");
    std::ofstream(path, std::ios::binary) << "earlier contents";
    LightEffect* effect = ThreeElementEffect();

    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const TagItem save[] = {
        {TAG_SAVELIGHTEFFECTS_FILENAME, TagPtr(path.c_str())},
        {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error_)},
        {TAG_DONE, 0},
    };
    const uint32_t written = SaveLightEffects(effect, save);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(written, 0u);
    EXPECT_EQ(error_, -1);
    EXPECT_EQ(ReadAll(path), "earlier contents");
    EXPECT_EQ(FilesInDirectory(), 1);

    error_ = 7;
    const std::string nowhere = Path("missing/effects.kvor");
    const TagItem unopenable[] = {
        {TAG_SAVELIGHTEFFECTS_FILENAME, TagPtr(nowhere.c_str())},
        {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error_)},
        {TAG_DONE, 0},
    };
    EXPECT_EQ(SaveLightEffects(effect, unopenable), 0u);
    EXPECT_EQ(error_, -1);
    DeleteLightEffect(effect, nullptr);
}

// ---- Reading -----------------------------------------------------------------

TEST_F(LightFileTest, EffectsAreAppendedAfterTheScenesOwn)
{
    LightEffect* own = build::AddLightEffect(scene_, "own");
    const Bytes file = FormOf({VERS, ChunkOf("LTEF", Words({1})), ChunkOf("LTEF", Words({2})), Leel(5)});
    LightEffect* read = Load(file);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(own->next, read);
    EXPECT_EQ(read->effectValue, 1u);
    EXPECT_EQ(read->elements, nullptr);
    ASSERT_NE(read->next, nullptr);
    EXPECT_EQ(read->next->effectValue, 2u);
    ASSERT_NE(read->next->elements, nullptr);
    EXPECT_EQ(read->next->elements->e0, 5u);
}

TEST_F(LightFileTest, SceneChunksAroundTheEffectsAreSkipped)
{
    const Bytes file = FormOf({
        VERS,
        ChunkOf("ENTY", Words({1, 0x01000000})),
        ChunkOf("NAME", Text("box")),
        ChunkOf("POSN", Words({0, 0, 0})),
        ChunkOf("LTEF", Words({3})),
        ChunkOf("ODDS", Bytes{1, 2, 3, 4, 5}),  // odd size, skipped with its pad byte
        ChunkOf("LENM", Text("flare")),
        Leel(0x8000),
        ChunkOf("TXTR", Text("wood.iff")),
        ChunkOf("LEEN", Text("ring")),
    });
    LightEffect* read = Load(file);
    ASSERT_NE(read, nullptr);
    EXPECT_STREQ(read->name, "flare");
    ASSERT_NE(read->elements, nullptr);
    EXPECT_STREQ(read->elements->name, "ring");
    EXPECT_EQ(scene_->textures, nullptr);
    EXPECT_EQ(scene_->entities, nullptr);
}

TEST_F(LightFileTest, LongerChunksHaveTheRestSkipped)
{
    const Bytes file = FormOf({
        ChunkOf("VERS", Words({7, 99})),
        ChunkOf("LTEF", Words({4, 0xFFFFFFFF})),
        ChunkOf("LEEL", Words({1, 2, 3, 1, 0xAAAAAAAA})),
        ChunkOf("LEEN", Bytes{'a', 0, 'x', 'y'}),
    });
    LightEffect* read = Load(file);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->effectValue, 4u);
    LightEffectElement* element = read->elements;
    ASSERT_NE(element, nullptr);
    EXPECT_EQ(element->e0, 1u);
    EXPECT_EQ(element->e1, 2u);
    EXPECT_EQ(element->e2, 3u);
    EXPECT_EQ(element->e3, 1u);
    EXPECT_STREQ(element->name, "a");
}

TEST_F(LightFileTest, FileWithoutEffectsGivesNullWithoutError)
{
    EXPECT_EQ(Load(FormOf({VERS})), nullptr);
    EXPECT_EQ(error_, 0);
    EXPECT_EQ(Load(FormOf({})), nullptr);
    EXPECT_EQ(error_, 0);
}

TEST_F(LightFileTest, ElementMaterialsFollowE3AndAreShared)
{
    const Bytes file = FormOf({
        ChunkOf("LTEF", Words({0})),
        Leel(4, 0, 0x8000, 0),
        Leel(3, 0, 0x8000, 1),
        Leel(2, 0, 0x8000, 2),
        Leel(1, 0, 0x8000, 3),
        Leel(0, 0, 0x8000, 6),  // bits 0-1 = 2: blend again
    });
    LightEffect* read = Load(file, true);
    ASSERT_NE(read, nullptr);
    std::vector<LightEffectElement*> elements;
    for (LightEffectElement* element = read->elements; element; element = element->next)
        elements.push_back(element);
    ASSERT_EQ(elements.size(), 5u);
    EXPECT_EQ(elements[0]->material->mode, MATERIAL_ADD);
    EXPECT_EQ(elements[1]->material->mode, MATERIAL_SUBTRACT);
    EXPECT_EQ(elements[2]->material->mode, MATERIAL_BLEND);
    EXPECT_EQ(elements[3]->material, nullptr);
    EXPECT_EQ(elements[4]->material, elements[2]->material);
    EXPECT_EQ(elements[2]->material->users, 2u);
    EXPECT_EQ(elements[0]->material->p1, 0x8000u);
    int materials = 0;
    for (Material* m = scene_->materials; m; m = m->next)
        ++materials;
    EXPECT_EQ(materials, 3);
}

TEST_F(LightFileTest, MapsAndMaterialsNeedASceneToOwnThem)
{
    const Bytes mapped = FormOf({ChunkOf("LTEF", Words({0})), Leel(1), ChunkOf("LEEM", Text("a.iff"))});
    const Bytes plain = FormOf({ChunkOf("LTEF", Words({0})), Leel(1)});
    for (const Bytes* file : {&mapped, &plain}) {
        const TagItem tags[] = {
            {TAG_LOADLIGHTEFFECTS_MEMORY, TagPtr(file->data())},
            {TAG_LOADLIGHTEFFECTS_MEMORYSIZE, file->size()},
            {TAG_LOADLIGHTEFFECTS_ERROR, TagPtr(&error_)},
            {TAG_LOADLIGHTEFFECTS_TEXTURES, reinterpret_cast<uintptr_t>(&ImageFor)},
            {TAG_LOADLIGHTEFFECTS_COLOURTABLE, file == &plain ? TagPtr(table_) : 0},
            {TAG_DONE, 0},
        };
        error_ = 7;
        EXPECT_EQ(LoadLightEffects(tags), nullptr);
        EXPECT_EQ(error_, -1);
    }
    EXPECT_EQ(imageRequests, 0);
}

TEST_F(LightFileTest, FailedLoadLeavesTheSceneAsItWas)
{
    Texture* existing = build::AddTexture(scene_, "old.iff", 2, 2);
    LightEffect* own = build::AddLightEffect(scene_, "own");
    const Bytes file = FormOf({
        ChunkOf("LTEF", Words({0})),
        Leel(1),
        ChunkOf("LEEM", Text("old.iff")),
        Leel(2),
        ChunkOf("LEEM", Text("new.iff")),
        ChunkOf("LENM", Bytes{'n', 'o', 'n', 'u'}),  // no NUL: fails after the maps are made
    });
    EXPECT_EQ(Load(file, true), nullptr);
    EXPECT_EQ(error_, -1);
    EXPECT_EQ(imageRequests, 1);
    EXPECT_EQ(scene_->textures, existing);
    EXPECT_EQ(existing->next, nullptr);
    EXPECT_EQ(scene_->lightEffects, own);
    EXPECT_EQ(own->next, nullptr);
    EXPECT_EQ(scene_->materials, nullptr);
}

TEST_F(LightFileTest, BadInputIsRejected)
{
    const Bytes ltef = ChunkOf("LTEF", Words({0}));
    ExpectRejected(FormOf({ltef}, "ILBM"), "another FORM type");
    ExpectRejected(Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'K', 'V', 'O'}, "a header cut short");
    ExpectRejected(Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 3, 'K', 'V', 'O', 'R'}, "a FORM too small for its type");
    ExpectRejected(FormOf({ChunkOf("VERS", Bytes{0, 0, 0})}), "VERS shorter than its word");
    ExpectRejected(FormOf({ChunkOf("LTEF", Bytes{0, 0})}), "LTEF shorter than its word");
    ExpectRejected(FormOf({ltef, ChunkOf("LEEL", Words({1, 2, 3}))}), "LEEL shorter than its four words");
    ExpectRejected(FormOf({ltef, ChunkOf("LENM", Bytes{'a', 'b'})}), "a name without NUL");
    ExpectRejected(FormOf({ltef, ChunkOf("LENM", Bytes{})}), "an empty name chunk");
    ExpectRejected(FormOf({ltef, Leel(1), ChunkOf("LEEN", Bytes{'x', 'y', 'z', 'w'})}), "an element name without NUL");
    ExpectRejected(FormOf({ltef, Leel(1), ChunkOf("LEEM", Bytes{'m', 'a'})}), "a map name without NUL");
    ExpectRejected(FormOf({ChunkOf("LENM", Text("a"))}), "LENM before any LTEF");
    ExpectRejected(FormOf({Leel(1)}), "LEEL before any LTEF");
    ExpectRejected(FormOf({ltef, ChunkOf("LEEN", Text("a"))}), "LEEN before any LEEL");
    ExpectRejected(FormOf({ltef, Leel(1), ltef, ChunkOf("LEEM", Text("a"))}), "LEEM after LTEF cleared the element");

    Bytes pastEnd = FormOf({ltef, Leel(1)});
    pastEnd[pastEnd.size() - 24 + 7] = 20;  // LEEL claims 20 bytes, 16 remain
    ExpectRejected(pastEnd, "a chunk running past the FORM's end");
    Bytes halfHeader = FormOf({ltef});
    halfHeader.insert(halfHeader.end(), {'L', 'E', 'E', 'L'});
    halfHeader[7] += 4;
    ExpectRejected(halfHeader, "a chunk header cut by the FORM's end");
    ExpectRejected(FormOf({ltef, ChunkOf("ODDS", Bytes{1, 2, 3}, false)}), "an odd chunk without its pad at the end");

    // The FORM claims more than the memory holds.
    Bytes claims = FormOf({ltef, Leel(1)});
    claims.resize(claims.size() - 4);
    ExpectRejected(claims, "a FORM longer than the memory");
}

TEST_F(LightFileTest, TruncatedOrMissingFilesAreRejected)
{
    Bytes file = FormOf({ChunkOf("LTEF", Words({0})), Leel(1)});
    file.resize(file.size() - 1);
    const std::string path = Path("cut.kvor");
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));
    for (const std::string& name : {path, Path("missing.kvor")}) {
        const TagItem tags[] = {
            {TAG_LOADLIGHTEFFECTS_FILENAME, TagPtr(name.c_str())},
            {TAG_LOADLIGHTEFFECTS_ERROR, TagPtr(&error_)},
            {TAG_DONE, 0},
        };
        error_ = 7;
        EXPECT_EQ(LoadLightEffects(tags), nullptr) << name;
        EXPECT_EQ(error_, -1) << name;
    }
    const TagItem none[] = {{TAG_LOADLIGHTEFFECTS_ERROR, TagPtr(&error_)}, {TAG_DONE, 0}};
    error_ = 7;
    EXPECT_EQ(LoadLightEffects(none), nullptr);
    EXPECT_EQ(error_, -1);
}

// ---- Scene-file check ------------------------------------------------------------

TEST(SceneFileCheck, AcceptsOnlyFormKvorAndReportsWhetherItCouldLook)
{
    const Bytes scene = FormOf({VERS});
    const Bytes picture = FormOf({}, "ILBM");
    int32_t error = 7;
    const auto check = [&](const Bytes& bytes, const uint64_t* size) {
        std::vector<TagItem> tags = {{TAG_SCENEFILE_MEMORY, TagPtr(bytes.data())},
                                     {TAG_SCENEFILE_ERROR, TagPtr(&error)}};
        if (size)
            tags.push_back({TAG_SCENEFILE_MEMORYSIZE, uintptr_t(*size)});
        tags.push_back({TAG_DONE, 0});
        error = 7;
        return IsSceneFile(tags.data());
    };
    EXPECT_EQ(check(scene, nullptr), 1);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(check(picture, nullptr), 0);
    EXPECT_EQ(error, 0);
    const uint64_t eleven = 11;
    EXPECT_EQ(check(scene, &eleven), 0);
    EXPECT_EQ(error, -1);

    const TagItem none[] = {{TAG_SCENEFILE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    error = 7;
    EXPECT_EQ(IsSceneFile(none), 0);
    EXPECT_EQ(error, -1);
}

TEST(SceneFileCheck, ReadsTheFirstTwelveBytesOfAFile)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "kvor_scenecheck_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    const Bytes scene = FormOf({VERS});
    const Bytes cut(scene.begin(), scene.begin() + 11);
    const auto write = [&](const char* name, const Bytes& bytes) {
        const std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), long(bytes.size()));
        return path;
    };
    const std::string good = write("scene.kvor", scene);
    const std::string shortFile = write("short.kvor", cut);
    const std::string missing = (dir / "missing.kvor").string();
    int32_t error = 7;
    const auto check = [&](const std::string& path) {
        const TagItem tags[] = {
            {TAG_SCENEFILE_FILENAME, TagPtr(path.c_str())},
            {TAG_SCENEFILE_ERROR, TagPtr(&error)},
            {TAG_DONE, 0},
        };
        error = 7;
        return IsSceneFile(tags);
    };
    EXPECT_EQ(check(good), 1);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(check(shortFile), 0);
    EXPECT_EQ(error, -1);
    EXPECT_EQ(check(missing), 0);
    EXPECT_EQ(error, -1);
    std::filesystem::remove_all(dir);
}

}  // namespace
