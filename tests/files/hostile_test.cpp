// Files made to exhaust the readers: huge and repeated textures, many
// element tables, pipes in place of files, long chains. Each is refused, or
// read within bounds, and a file that cannot be read is named.
#include "colour/palette_data.h"
#include "files/scene_bytes.h"
#include "support/run_program.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>

using namespace kvor3d;

using namespace bytes;

namespace {

Bytes& Add(Bytes& out, std::initializer_list<Bytes> parts)
{
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}

// A one-plane picture of black pixels, rows stored.
Bytes Ilbm(uint32_t width, uint32_t height)
{
    Bytes bmhd;
    for (uint32_t word : {width << 16 | height, 0u, 0x01000000u, 0x00000101u, width << 16 | height})
        AppendWord(bmhd, word);
    const Bytes body(IlbmRowBytes(width) * height, 0);
    Bytes out = Form({RawChunk("BMHD", bmhd), RawChunk("CMAP", {0, 0, 0, 255, 255, 255}), RawChunk("BODY", body)});
    std::copy_n("ILBM", 4, out.begin() + 8);
    return out;
}

Bytes Textured(const std::string& texture, const char (&id)[5] = "TXTR")
{
    Bytes out = Enty(ENTITY_OBJECT);
    return Add(out, {WordChunk("OBJT", {2}), StringChunk(id, texture)});
}

// One effect of `count` elements; e2 = 0x8000 for all, or i for element i.
Bytes Elements(uint32_t count, bool distinct)
{
    Bytes out = WordChunk("LTEF", {0});
    for (uint32_t i = 0; i < count; ++i)
        Add(out, {WordChunk("LEEL", {0x10000, 0x10000, distinct ? i : 0x8000, 0})});
    return out;
}

template <typename T>
size_t Length(const T* chain)
{
    return chain ? 1 + Length(chain->next) : 0;
}

// Every file is read by name with a colour table, so that elements get
// their materials; a transparency map shares the texture and gets its grey
// map. A pipe that nobody writes must be refused at once: the
// alarm ends the test program should an open wait for a writer.
TEST(HostileFiles, EachIsRefusedOrReadWithinBounds)
{
    run::TempFolder folder;
    const std::string dir = folder.Path();
    folder.Write("pic.iff", Ilbm(2048, 2048));
    folder.Write("wide.iff", Ilbm(4097, 1));
    ASSERT_EQ(mkfifo(folder.Path("pipe.iff").c_str(), 0600) | mkfifo(folder.Path("pipe.kvor").c_str(), 0600), 0);
    std::filesystem::create_directory(folder.Path("sub"));
    const std::vector<uint32_t> words = build::PaletteWords({0x000000, 0xFFFFFF, 0xFF0000, 0x0000FF});
    ColourTable* colours = MakeTable(words, 0);
    const struct {
        const char* what;
        Bytes scene;  // written to scene.kvor; empty: the pipe is the scene
        bool loads;
        std::string failedFile;
        int error;
        size_t textures = 0, materials = 0;
    } cases[] = {
        {"texture wider than the renderer addresses", Form({Version(7), Textured(dir + "/wide.iff")}), false, dir + "/wide.iff", EFBIG},
        {"one texture by four spellings",
         Form({Version(7), Textured(dir + "/pic.iff"), Textured(dir + "/./pic.iff"), Textured(dir + "/sub/../pic.iff"),
               Textured(dir + "//pic.iff", "TRNS")}), true, "", 0, 1, 0},
        {"texture file missing", Form({Version(7), Textured(dir + "/none.iff")}), false, dir + "/none.iff", ENOENT},
        {"texture file a pipe", Form({Version(7), Textured(dir + "/pipe.iff")}), false, dir + "/pipe.iff", EINVAL},
        {"scene file a pipe", {}, false, dir + "/pipe.kvor", EINVAL},
        {"identical elements share a table", Form({Version(7), Elements(1000, false)}), true, "", 0, 0, 1},
        {"distinct element tables up to the bound", Form({Version(7), Elements(ELEMENT_MATERIAL_LIMIT, true)}), true, "", 0, 0,
         ELEMENT_MATERIAL_LIMIT},
        {"one distinct element table beyond it", Form({Version(7), Elements(ELEMENT_MATERIAL_LIMIT + 1, true)}), false, "", 0},
    };
    alarm(60);
    for (const auto& c : cases) {
        const std::string name = c.scene.empty() ? dir + "/pipe.kvor" : folder.Write("scene.kvor", c.scene);
        SceneLoadFailure failure{};
        const TagItem tags[] = {{TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())}, {TAG_LOADSCENE_COLOURTABLE, TagPtr(colours)},
                                {TAG_LOADSCENE_FAILURE, TagPtr(&failure)}, {TAG_DONE, 0}};
        ScenePtr scene(LoadScene(tags));
        EXPECT_EQ(bool(scene), c.loads) << c.what;
        EXPECT_EQ(std::string(failure.file), c.failedFile) << c.what;
        EXPECT_EQ(failure.error, c.error) << c.what;
        if (scene) {
            EXPECT_EQ(Length(scene->textures), c.textures) << c.what;
            EXPECT_EQ(Length(scene->materials), c.materials) << c.what;
            EXPECT_EQ(scene->textures && (scene->textures->textureFlags & TEXTURE_GREYMAP), c.textures > 0) << c.what;
        }
    }
    alarm(0);
    DeleteColourTable(colours);
}

// Holds pic.iff, which the names "a.iff" and "b.iff" reach by two spellings
// of its path through the texture-file callback; other names have no file.
std::string PictureFolder;

const char* PicturePath(const char* name)
{
    static std::string path;
    const std::string given = name;
    path = PictureFolder + (given == "a.iff" ? "/pic.iff" : "/./pic.iff");
    return given == "a.iff" || given == "b.iff" ? path.c_str() : nullptr;
}

// The callback's path is read in place of the name, which the texture
// keeps; two names of one file share it, the second as a transparency map
// with the grey map built; a name without a file fails the load, even when
// a file of that name exists.
TEST(HostileFiles, TextureFileCallbackChoosesTheFileRead)
{
    run::TempFolder folder;
    PictureFolder = folder.Path();
    folder.Write("pic.iff", Ilbm(4, 4));
    const std::string absolute = PictureFolder + "/pic.iff";
    const std::pair<Bytes, std::string> cases[] = {  // the scene, the texture it cannot read
        {Form({Version(7), Textured("a.iff"), Textured("b.iff", "TRNS")}), ""},
        {Form({Version(7), Textured("a.iff"), Textured(absolute)}), absolute},
    };
    for (const auto& [file, failedFile] : cases) {
        const std::string name = folder.Write("scene.kvor", file);
        SceneLoadFailure failure{};
        const TagItem tags[] = {{TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())}, {TAG_LOADSCENE_FAILURE, TagPtr(&failure)},
                                {TAG_LOADSCENE_TEXTUREFILES, TagPtr(&PicturePath)}, {TAG_DONE, 0}};
        const ScenePtr scene(LoadScene(tags));
        ASSERT_EQ(bool(scene), failedFile.empty()) << failedFile;
        EXPECT_EQ(std::string(failure.file), failedFile);
        EXPECT_EQ(failure.error, failedFile.empty() ? 0 : ENOENT);
        if (scene) {
            EXPECT_EQ(Length(scene->textures), 1u);
            EXPECT_STREQ(scene->textures->name, "a.iff");
            EXPECT_EQ(scene->textures->textureFlags & (TEXTURE_FROMFILE | TEXTURE_GREYMAP), TEXTURE_FROMFILE | TEXTURE_GREYMAP);
        }
    }
}

// Entities stay in file order with their parents, elements end largest e0
// first with equals in file order, and the whole chain is freed (the
// sanitizer build checks that nothing is left).
TEST(HostileFiles, LongChainsKeepTheirOrder)
{
    constexpr uint32_t COUNT = 20000;
    Bytes chunks = WordChunk("LTEF", {0});
    for (uint32_t i = 0; i < COUNT; ++i) {
        Add(chunks, {Enty(ENTITY_NULL), StringChunk("NAME", "e" + std::to_string(i)), WordChunk("LEEL", {i % 7, 0, 0, 0}),
                     StringChunk("LEEN", std::to_string(i))});
        if (i > 0)
            Add(chunks, {StringChunk("PRNT", "e" + std::to_string(i - 1))});
    }
    Loaded loaded = Load(Form({Version(7), chunks}));
    ASSERT_TRUE(loaded.scene);
    EXPECT_EQ(loaded.scene->entityCount, COUNT);
    uint32_t i = 0;
    for (const Entity* e = loaded.scene->entities, *before = nullptr; e; before = e, e = e->next, ++i) {
        ASSERT_EQ(e->name, "e" + std::to_string(i));
        ASSERT_EQ(e->parent, before);
    }
    EXPECT_EQ(i, COUNT);
    const LightEffectElement* element = loaded.scene->lightEffects->elements;
    for (i = 1; element->next; element = element->next, ++i) {
        const LightEffectElement* next = element->next;
        ASSERT_TRUE(next->e0 < element->e0 || (next->e0 == element->e0 && std::stoul(next->name) > std::stoul(element->name)))
            << i;
    }
    EXPECT_EQ(i, COUNT);
}

}  // namespace
