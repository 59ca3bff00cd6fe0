// The data set: kvordata is run once into a fresh folder and every file is
// read back with the engine's own loaders. Each file must have the size and
// form the show reads, each scene must last as long as its part needs, and
// together the scenes must show every drawing feature of the engine.
#include "kvor3d.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>

using namespace kvor3d;

namespace {

namespace fs = std::filesystem;

struct Picture {
    int32_t width = 0, height = 0;
    std::vector<uint16_t> pixels;
};

class DataSet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        folder = new run::TempFolder;
        ASSERT_EQ(run::Run({run::BuiltProgram("tools/kvordata"), "--seed", "1997", "data"}, folder->Path()).status, 0);
        fs::current_path(folder->Path());
        SetPixelMode(1);
        ASSERT_EQ(ReadPaletteFile("data/.palette", palette), PALETTE_OK);
        const TagItem tags[] = {{TAG_COLOURTABLE_PALETTE, TagPtr(palette)}, {TAG_COLOURTABLE_OCTREE, 1}, {TAG_DONE, 0}};
        table = CreateColourTable(tags);
        for (const auto& entry : fs::directory_iterator("data")) {
            if (entry.path().extension() != ".kvor")
                continue;
            const std::string name = entry.path().string();
            int32_t error = -1;
            const TagItem load[] = {{TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())}, {TAG_LOADSCENE_ERROR, TagPtr(&error)},
                                    {TAG_LOADSCENE_COLOURTABLE, TagPtr(table)}, {TAG_DONE, 0}};
            scenes[entry.path().filename().string()] = LoadScene(load);
            ASSERT_EQ(error, 0) << name;
        }
    }

    static void TearDownTestSuite()
    {
        for (auto& [name, scene] : scenes)
            FreeScene(scene);
        DeleteColourTable(table);
        fs::current_path("/");
        delete folder;
    }

    static Picture Load(const char* name)
    {
        Picture picture;
        auto* pixels = static_cast<uint16_t*>(ilbm_load(name, nullptr, 0, &picture.width, &picture.height, nullptr));
        if (pixels)
            picture.pixels.assign(pixels, pixels + size_t(picture.width) * size_t(picture.height));
        MemFree(pixels);
        return picture;
    }

    static inline run::TempFolder* folder;
    static inline uint32_t palette[PALETTE_FILE_WORDS];
    static inline ColourTable* table;
    static inline std::map<std::string, Scene*> scenes;
};

// Every blit reads rows the stated width apart, so the widths are exact;
// the keyed pictures have transparent (0) and visible pixels.
TEST_F(DataSet, ShowPicturesHaveTheSizesTheShowBlits)
{
    struct Row {
        const char* name;
        int32_t width, minHeight;
        bool keyed;
    };
    const Row rows[] = {{"data/clip1.iff", 159, 159, true},     {"data/credits.iff", 120, 78, true},
                        {"data/end_back.iff", 320, 200, false}, {"data/bitch.iff", 76, 200, true},
                        {"data/bitch2.iff", 76, 200, true},     {"data/txt.iff", 320, 14, true},
                        {"data/logo.iff", 256, 184, true},      {"data/pl_txt.iff", 256, 256, false}};
    for (const Row& r : rows) {
        const Picture p = Load(r.name);
        EXPECT_EQ(p.width, r.width) << r.name;
        EXPECT_GE(p.height, r.minHeight) << r.name;
        const size_t keyed = size_t(std::count(p.pixels.begin(), p.pixels.end(), 0));
        EXPECT_EQ(keyed > p.pixels.size() / 20 && keyed < p.pixels.size() * 49 / 50, r.keyed) << r.name;
    }
    const std::string mask = run::ReadText("data/fademask.cnk");  // the wipe's last step uncovers every pixel
    EXPECT_EQ(uint8_t(*std::max_element(mask.begin(), mask.end(), [](char a, char b) { return uint8_t(a) < uint8_t(b); })), 254);
}

// The tunnel texture has a blue rib down every 32nd column from column 0 on:
// column 32k is far bluer than column 32k + 7, its mirror within the byte
// of eight pixels that each plane row stores.
TEST_F(DataSet, TunnelTextureHasItsRibsAtTheirColumns)
{
    const Picture p = Load("data/pl_txt.iff");
    ASSERT_EQ(p.pixels.size(), 65536u);
    int rib = 0, beside = 0;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; x += 32) {
            rib += p.pixels[size_t(y * 256 + x)] & 31;
            beside += p.pixels[size_t(y * 256 + x + 7)] & 31;
        }
    EXPECT_GT(rib - beside, 8 * 8 * 256) << "mean blue " << rib / 2048.0 << " against " << beside / 2048.0;
}

// Each scene plays from its first key at 0 past the last moment its part
// draws something for (parts 2 and 6 draw nothing timed).
TEST_F(DataSet, EachScenePlaysForAsLongAsItsPartNeeds)
{
    const std::map<std::string, double> needs = {
        {"lights.kvor", 39.5},    {"logo.kvor", 7.0},     {"hand3.kvor", 7.3},     {"alien_cor.kvor", 15.0},
        {"alien_born.kvor", 54.0}, {"lesby_1.kvor", 16.97}, {"lesby_3.kvor", 18.95}, {"pani.kvor", 24.1},
        {"suecide.kvor", 38.0},   {"suecide2.kvor", 19.4}, {"cube.kvor", 15.0}};
    ASSERT_EQ(scenes.size(), needs.size());
    for (const auto& [file, seconds] : needs) {
        Scene* scene = scenes.at(file);
        uint32_t first = UINT32_MAX, last = 0;
        for (Entity* e = scene->entities; e; e = e->next ? e->next : (e == scene->camera ? nullptr : scene->camera))
            if (e->keys.head)
                first = std::min(first, e->keys.head->time), last = std::max(last, e->keys.tail->time);
        EXPECT_EQ(first, 0u) << file;
        EXPECT_GT(double(last) / TICKS_PER_SECOND, seconds) << file;
    }
    EXPECT_GT(CameraOf(scenes.at("lesby_1.kvor")->camera)->fieldOfView, 55.0f);
    EXPECT_EQ(scenes.at("hand3.kvor")->backgroundColour, 0u);
}

// Every drawing row of the filler table (object flags, fog) and every
// background mode is used by some scene.
TEST_F(DataSet, ScenesUseEveryDrawingRowAndBackground)
{
    const std::set<uint32_t> drawing = {0, 1, 2, 3, 4, 5, 16, 17, 18, 19, 20, 21, 32, 34, 48, 50, 64, 66, 80, 82};
    std::set<uint32_t> used, backgrounds;
    for (auto& [name, scene] : scenes) {
        backgrounds.insert(scene->flags & SCENE_BACKGROUNDMODE);
        for (Entity* entity = scene->entities; entity; entity = entity->next)
            if (ObjectEntity* object = ObjectOf(entity); object && !(object->objectFlags & (OBJECT_GLOWEDGE | OBJECT_GLOW)))
                used.insert((object->objectFlags & 0x3F) | ((scene->flags & SCENE_FOGMODE) ? 64 : 0));
    }
    EXPECT_EQ(used, drawing);
    EXPECT_EQ(backgrounds, (std::set<uint32_t>{BACKGROUND_COLOUR, BACKGROUND_IMAGE, BACKGROUND_FLOOR, BACKGROUND_SKY,
                                               BACKGROUND_FLOORSKY}));
}

}  // namespace
