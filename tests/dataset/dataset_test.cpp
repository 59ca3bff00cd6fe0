// The data set: kvordata is run into a fresh folder and every file is read
// back with the engine's own loaders: the palette through the colour code,
// the pictures through ilbm_load, the scenes through LoadScene. Each file
// must have the size and form the show reads, each scene must last as long
// as its part of the show needs, and together the scenes must show every
// drawing feature of the engine.
#include "kvor3d.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <numeric>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr uint64_t SEED = 1997;
constexpr int SCREEN_PIXELS = 320 * 200;
constexpr int TEXT_LINE_ROWS = 14;
constexpr uint32_t FOG_INDEX = 64;

using Bytes = std::vector<uint8_t>;

std::string Generator()
{
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return "kvordata";
    const fs::path program(std::string(self, size_t(length)));
    return (program.parent_path().parent_path() / "tools" / "kvordata").string();
}

// A fresh folder holding data/ as generated with the seed; empty on failure.
fs::path Generate(uint64_t seed)
{
    char pattern[] = "/tmp/kvordata-test-XXXXXX";
    const char* dir = mkdtemp(pattern);
    if (!dir)
        return {};
    const std::string command =
        Generator() + " --seed " + std::to_string(seed) + " " + std::string(dir) + "/data";
    if (std::system(command.c_str()) != 0)
        return {};
    return dir;
}

Bytes ReadBytes(const fs::path& path)
{
    std::ifstream stream(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

double Seconds(uint32_t ticks)
{
    return double(ticks) / TICKS_PER_SECOND;
}

// The scene files in the order the show loads them, with the part each
// plays in and the scene time that part needs (the time of its last event
// plus the event's duration; parts 2 and 6 draw nothing timed and get a
// length of their own).
struct Part {
    const char* file;
    int number;
    double needs;
};

const std::vector<Part>& Parts()
{
    static const std::vector<Part> parts = {
        {"lights.kvor", 4, 37.7 + 1.8},  {"logo.kvor", 1, 5.0 + 2.0},      {"hand3.kvor", 11, 6.8 + 0.5},
        {"alien_cor.kvor", 2, 15.0},     {"alien_born.kvor", 3, 52.5 + 1.5}, {"lesby_1.kvor", 7, 15.97 + 1.0},
        {"lesby_3.kvor", 8, 17.95 + 1.0}, {"pani.kvor", 5, 23.1 + 1.0},     {"suecide.kvor", 9, 38.0},
        {"suecide2.kvor", 10, 18.4 + 1.0}, {"cube.kvor", 6, 15.0},
    };
    return parts;
}

class DataSet : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = new fs::path(Generate(SEED));
        ASSERT_FALSE(root->empty()) << "kvordata failed: " << Generator();
        previous = new fs::path(fs::current_path());
        fs::current_path(*root);
        SetPixelMode(1);
        ASSERT_EQ(ReadPaletteFile("data/.palette", palette), PALETTE_OK);
        const TagItem tags[] = {{TAG_COLOURTABLE_PALETTE, TagPtr(palette)}, {TAG_COLOURTABLE_OCTREE, 1}, {TAG_DONE, 0}};
        table = CreateColourTable(tags);
        ASSERT_NE(table, nullptr);
        for (const Part& part : Parts()) {
            const std::string name = std::string("data/") + part.file;
            int32_t error = -1;
            const TagItem load[] = {{TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())},
                                    {TAG_LOADSCENE_ERROR, TagPtr(&error)},
                                    {TAG_LOADSCENE_COLOURTABLE, TagPtr(table)},
                                    {TAG_LOADSCENE_PLACEHOLDERS, 0},
                                    {TAG_DONE, 0}};
            Scene* scene = LoadScene(load);
            ASSERT_NE(scene, nullptr) << name;
            ASSERT_EQ(error, 0) << name;
            scenes[part.file] = scene;
        }
    }

    static void TearDownTestSuite()
    {
        for (auto& [name, scene] : scenes)
            FreeScene(scene);
        scenes.clear();
        DeleteColourTable(table);
        table = nullptr;
        if (previous)
            fs::current_path(*previous);
        if (root && !root->empty())
            fs::remove_all(*root);
        delete root;
        delete previous;
        root = previous = nullptr;
    }

    static Scene* SceneOf(const char* file) { return scenes.at(file); }

    // Calls f for every entity of every scene, with the scene's file name.
    static void ForEachEntity(const std::function<void(const std::string&, Scene*, Entity*)>& f)
    {
        for (auto& [name, scene] : scenes)
            for (Entity* entity = scene->entities; entity; entity = entity->next)
                f(name, scene, entity);
    }

    static fs::path* root;
    static fs::path* previous;
    static uint32_t palette[PALETTE_FILE_WORDS];
    static ColourTable* table;
    static std::map<std::string, Scene*> scenes;
};

fs::path* DataSet::root = nullptr;
fs::path* DataSet::previous = nullptr;
uint32_t DataSet::palette[PALETTE_FILE_WORDS];
ColourTable* DataSet::table = nullptr;
std::map<std::string, Scene*> DataSet::scenes;

// ---- The show's own files --------------------------------------------------------------

TEST_F(DataSet, PaletteHolds770WordsOf256ColoursThatTheColourTableMatches)
{
    EXPECT_EQ(fs::file_size("data/.palette"), PALETTE_FILE_BYTES);
    EXPECT_EQ(palette[0] >> 16, 256u);
    const TagItem tags[] = {{TAG_COLOURTABLE_PALETTE, TagPtr(palette)}, {TAG_COLOURTABLE_GRID, 1}, {TAG_DONE, 0}};
    ColourTable* grid = CreateColourTable(tags);
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(ColourCount(grid), 256);
    for (int32_t i : {0, 37, 128, 200, 252}) {
        const int32_t* c = &grid->components[3 * i];
        const int32_t found = Nearest(grid, c[0], c[1], c[2]);
        EXPECT_EQ(grid->components[3 * found], c[0]);
        EXPECT_EQ(grid->components[3 * found + 1], c[1]);
        EXPECT_EQ(grid->components[3 * found + 2], c[2]);
    }
    DeleteColourTable(grid);
}

TEST_F(DataSet, RawFilesHaveTheSizesTheShowReads)
{
    EXPECT_EQ(fs::file_size("data/fademask.cnk"), uintmax_t(SCREEN_PIXELS));
    EXPECT_EQ(fs::file_size("data/fademask1.cnk"), uintmax_t(SCREEN_PIXELS));
    EXPECT_EQ(fs::file_size("data/alien1.rgb15"), uintmax_t(2 * SCREEN_PIXELS));
    EXPECT_EQ(fs::file_size("data/tabxy.bin"), uintmax_t(2 * SCREEN_PIXELS));
}

// A wipe whose level rises from 0 to 255 must uncover every pixel before
// its end (thresholds below 255) and uncover them evenly (half of them by
// mid-level); the two masks are different wipes.
TEST_F(DataSet, FadeMasksAreTwoDifferentEvenWipesThatFinishInTime)
{
    const Bytes a = ReadBytes("data/fademask.cnk");
    const Bytes b = ReadBytes("data/fademask1.cnk");
    for (const Bytes* mask : {&a, &b}) {
        ASSERT_EQ(mask->size(), size_t(SCREEN_PIXELS));
        EXPECT_EQ(*std::min_element(mask->begin(), mask->end()), 0);
        EXPECT_EQ(*std::max_element(mask->begin(), mask->end()), 254);
        const auto below = std::count_if(mask->begin(), mask->end(), [](uint8_t v) { return v < 128; });
        EXPECT_NEAR(double(below) / SCREEN_PIXELS, 0.5, 0.02);
    }
    const auto same = std::inner_product(a.begin(), a.end(), b.begin(), size_t(0), std::plus<>(),
                                         [](uint8_t x, uint8_t y) { return size_t(std::abs(int(x) - int(y)) < 16); });
    EXPECT_LT(double(same) / SCREEN_PIXELS, 0.5);
}

// The alien picture is a full frame of little-endian 15-bit pixels: bit 15
// clear everywhere, and not one flat colour.
TEST_F(DataSet, AlienPictureIsAFullFrameOf15BitPixels)
{
    const Bytes bytes = ReadBytes("data/alien1.rgb15");
    ASSERT_EQ(bytes.size(), size_t(2 * SCREEN_PIXELS));
    std::set<uint16_t> colours;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const uint16_t pixel = uint16_t(bytes[i] | bytes[i + 1] << 8);
        EXPECT_EQ(pixel & 0x8000, 0) << i;
        colours.insert(pixel);
    }
    EXPECT_GT(colours.size(), 1000u);
}

// The tunnel table indexes the 256 × 256 texture: every column (the angle
// around the tunnel) and nearly every row (the depth) is reached, and
// neighbouring pixels mostly lie near each other in it.
TEST_F(DataSet, TunnelTableLooksIntoTheWholeTunnelTexture)
{
    const Bytes bytes = ReadBytes("data/tabxy.bin");
    ASSERT_EQ(bytes.size(), size_t(2 * SCREEN_PIXELS));
    std::set<int> rows, columns;
    int near = 0;
    int previous = -1;
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const int texel = bytes[i] | bytes[i + 1] << 8;
        rows.insert(texel >> 8);
        columns.insert(texel & 255);
        if (previous >= 0 && std::abs((texel & 255) - (previous & 255)) <= 2)
            ++near;
        previous = texel;
    }
    EXPECT_GE(rows.size(), 240u);
    EXPECT_EQ(columns.size(), 256u);
    EXPECT_GT(near, SCREEN_PIXELS * 9 / 10);
}

struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint16_t> pixels;
};

Picture LoadPicture(const char* name)
{
    Picture picture;
    auto* pixels = static_cast<uint16_t*>(ilbm_load(name, nullptr, 0, &picture.width, &picture.height, nullptr));
    if (pixels) {
        picture.pixels.assign(pixels, pixels + size_t(picture.width) * picture.height);
        MemFree(pixels);
    }
    return picture;
}

size_t Keyed(const Picture& picture)
{
    return size_t(std::count(picture.pixels.begin(), picture.pixels.end(), 0));
}

// Every blit reads rows the stated width apart, so the widths are exact;
// the keyed pictures have transparent (0) and visible pixels.
TEST_F(DataSet, ShowPicturesHaveTheSizesTheShowBlits)
{
    struct Expect {
        const char* name;
        int32_t width;
        int32_t minHeight;
        bool keyed;
    };
    const Expect pictures[] = {
        {"data/clip1.iff", 159, 159, true},    {"data/credits.iff", 120, 3 * 26, true},
        {"data/end_back.iff", 320, 200, false}, {"data/bitch.iff", 76, 200, true},
        {"data/bitch2.iff", 76, 200, true},     {"data/txt.iff", 320, 14, true},
        {"data/logo.iff", 256, 184, true},      {"data/pl_txt.iff", 256, 256, false},
    };
    for (const Expect& e : pictures) {
        const Picture p = LoadPicture(e.name);
        ASSERT_FALSE(p.pixels.empty()) << e.name;
        EXPECT_EQ(p.width, e.width) << e.name;
        EXPECT_GE(p.height, e.minHeight) << e.name;
        if (e.keyed) {
            EXPECT_GT(Keyed(p), p.pixels.size() / 20) << e.name;
            EXPECT_GT(p.pixels.size() - Keyed(p), p.pixels.size() / 50) << e.name;
        } else {
            EXPECT_EQ(Keyed(p), 0u) << e.name;
        }
    }
    EXPECT_EQ(LoadPicture("data/end_back.iff").height, 200);
    EXPECT_EQ(LoadPicture("data/logo.iff").height, 184);
    EXPECT_EQ(LoadPicture("data/pl_txt.iff").height, 256);
}

// The line of text the show draws at a scene time, as it computes it.
int TextLine(uint32_t ticks, float offset)
{
    float t = float(ticks / TICKS_PER_SECOND) + offset;
    if (t < 0)
        t = 0;
    t = 0.55f * t;
    return int(t);
}

uint32_t LastKeyTime(Scene* scene)
{
    uint32_t last = 0;
    for (Entity* entity = scene->entities; entity; entity = entity->next)
        if (entity->keys.tail)
            last = std::max(last, entity->keys.tail->time);
    if (scene->camera->keys.tail)
        last = std::max(last, scene->camera->keys.tail->time);
    return last;
}

uint32_t FirstKeyTime(Scene* scene)
{
    uint32_t first = UINT32_MAX;
    for (Entity* entity = scene->entities; entity; entity = entity->next)
        if (entity->keys.head)
            first = std::min(first, entity->keys.head->time);
    if (scene->camera->keys.head)
        first = std::min(first, scene->camera->keys.head->time);
    return first == UINT32_MAX ? 0 : first;
}

// Parts 9 and 10 draw text line truncate(0.55 × (seconds − 2)) and
// truncate(0.55 × (seconds + 38)): the picture holds every line either part
// reaches, and every such line has text on it.
TEST_F(DataSet, TextPictureHoldsASetLineForEverySecondOfPartsNineAndTen)
{
    const Picture text = LoadPicture("data/txt.iff");
    ASSERT_FALSE(text.pixels.empty());
    int last = 0;
    for (uint32_t t = 0; t <= LastKeyTime(SceneOf("suecide.kvor")); t += TICKS_PER_SECOND / 2)
        last = std::max(last, TextLine(t, -2.0f));
    for (uint32_t t = 0; t <= LastKeyTime(SceneOf("suecide2.kvor")); t += TICKS_PER_SECOND / 2)
        last = std::max(last, TextLine(t, 38.0f));
    ASSERT_GE(text.height, (last + 1) * TEXT_LINE_ROWS);
    for (int line = 0; line <= last; ++line) {
        const auto begin = text.pixels.begin() + ptrdiff_t(line) * TEXT_LINE_ROWS * text.width;
        EXPECT_TRUE(std::any_of(begin, begin + TEXT_LINE_ROWS * text.width, [](uint16_t p) { return p != 0; }))
            << "line " << line;
    }
}

// Reads the BMHD fields of an ILBM file: planes and compression.
bool Header(const fs::path& path, int* planes, int* compression, bool* cmap)
{
    const Bytes b = ReadBytes(path);
    if (b.size() < 40 || std::string(b.begin(), b.begin() + 4) != "FORM" ||
        std::string(b.begin() + 8, b.begin() + 12) != "ILBM" || std::string(b.begin() + 12, b.begin() + 16) != "BMHD")
        return false;
    *planes = b[28];
    *compression = b[30];
    *cmap = std::string(b.begin() + 40, b.begin() + 44) == "CMAP";
    return true;
}

// Every picture comes from the tool's own encoder: ByteRun1, palette
// pictures with their colour map and true-colour pictures with 24 planes,
// and both kinds occur.
TEST_F(DataSet, PicturesAreByteRun1CodedPaletteOrTrueColourIlbm)
{
    int palettePictures = 0;
    int trueColourPictures = 0;
    for (const auto& entry : fs::directory_iterator("data")) {
        if (entry.path().extension() != ".iff")
            continue;
        int planes = 0, compression = 0;
        bool cmap = false;
        ASSERT_TRUE(Header(entry.path(), &planes, &compression, &cmap)) << entry.path();
        EXPECT_EQ(compression, int(ILBM_COMPRESSION_BYTERUN1)) << entry.path();
        if (planes == int(ILBM_TRUE_COLOUR_PLANES)) {
            ++trueColourPictures;
        } else {
            EXPECT_LE(planes, int(ILBM_MAX_PALETTE_PLANES)) << entry.path();
            EXPECT_TRUE(cmap) << entry.path();
            ++palettePictures;
        }
    }
    EXPECT_GT(palettePictures, 3);
    EXPECT_GT(trueColourPictures, 3);
}

// ---- Scenes ----------------------------------------------------------------------------

// Each scene plays from 0 past the last moment its part draws something
// for; part 9 lasts about 40 s, so that part 10's text continues its lines.
TEST_F(DataSet, EachScenePlaysFromZeroForAsLongAsItsPartNeeds)
{
    for (const Part& part : Parts()) {
        Scene* scene = SceneOf(part.file);
        EXPECT_EQ(FirstKeyTime(scene), 0u) << part.file;
        EXPECT_GT(Seconds(LastKeyTime(scene)), part.needs) << part.file << " (part " << part.number << ")";
    }
    EXPECT_LT(Seconds(LastKeyTime(SceneOf("suecide.kvor"))), 42.0);
}

TEST_F(DataSet, PartThreeFindsATransparentAlienBallToThin)
{
    Scene* scene = SceneOf("alien_born.kvor");
    Entity* ball = scene->entities;
    while (ball && std::string(ball->name) != "alien_ball.lwob")
        ball = ball->next;
    ASSERT_NE(ball, nullptr);
    ObjectEntity* object = ObjectOf(ball);
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->colour >> 27, 31u);
    EXPECT_TRUE(object->objectFlags & OBJECT_TRANSPARENT);
    EXPECT_EQ(object->transparencyMap, nullptr);
}

TEST_F(DataSet, PartFivePulsesTheFirstElementOfAFlareALightShows)
{
    Scene* scene = SceneOf("pani.kvor");
    ASSERT_NE(scene->lightEffects, nullptr);
    LightEffectElement* first = scene->lightEffects->elements;
    ASSERT_NE(first, nullptr);
    EXPECT_NE(first->map, nullptr);
    bool shown = false;
    for (Entity* entity = scene->entities; entity; entity = entity->next)
        if (LightEntity* light = LightOf(entity))
            shown = shown || light->effect == scene->lightEffects;
    EXPECT_TRUE(shown);
}

TEST_F(DataSet, PartSevenCameraStartsWiderThanItsZoomTarget)
{
    EXPECT_GT(CameraOf(SceneOf("lesby_1.kvor")->camera)->fieldOfView, 55.0f);
}

// Parts 5, 7 and 8 draw no background: their scenes stand in rooms drawn
// before everything else. Part 11 is keyed over a picture: its background is
// black (0).
TEST_F(DataSet, PartsWithoutBackgroundStandInRoomsAndTheHandIsOnBlack)
{
    for (const char* file : {"pani.kvor", "lesby_1.kvor", "lesby_3.kvor"}) {
        bool room = false;
        for (Entity* entity = SceneOf(file)->entities; entity; entity = entity->next)
            if (ObjectEntity* object = ObjectOf(entity))
                room = room || (object->objectFlags & OBJECT_DEPTHBIAS);
        EXPECT_TRUE(room) << file;
    }
    Scene* hand = SceneOf("hand3.kvor");
    EXPECT_EQ(hand->flags & SCENE_BACKGROUNDMODE, BACKGROUND_COLOUR);
    EXPECT_EQ(hand->backgroundColour, 0u);
}

bool TexturesLoaded(Scene* scene)
{
    for (Texture* texture = scene->textures; texture; texture = texture->next)
        if (!texture->pixels || !(texture->textureFlags & TEXTURE_POWEROFTWO))
            return false;
    return scene->textures != nullptr;
}

// Textures are ILBM files in data/ named by the scenes, loaded with the
// scene; maps that are addressed by mask have power-of-two sides.
TEST_F(DataSet, EverySceneLoadsItsOwnTexturesFromTheDataFolder)
{
    for (const Part& part : Parts()) {
        Scene* scene = SceneOf(part.file);
        EXPECT_TRUE(TexturesLoaded(scene)) << part.file;
        for (Texture* texture = scene->textures; texture; texture = texture->next)
            EXPECT_EQ(std::string(texture->name).rfind("data/", 0), 0u) << texture->name;
    }
}

// The filler table's rows that draw: flat, transparent, texture,
// transparent texture, environment, transparent environment, each with and
// without perspective correction where a row exists; shaded, shaded
// texture, shaded perspective texture; the four fog rows.
TEST_F(DataSet, ScenesUseEveryFillerTableRowThatDraws)
{
    const std::set<uint32_t> drawing = {0, 1, 2, 3, 4, 5, 16, 17, 18, 19, 20, 21, 32, 34, 48, 50, 64, 66, 80, 82};
    std::set<uint32_t> used;
    ForEachEntity([&](const std::string&, Scene* scene, Entity* entity) {
        ObjectEntity* object = ObjectOf(entity);
        if (!object || (object->objectFlags & (OBJECT_GLOWEDGE | OBJECT_GLOW)))
            return;
        used.insert((object->objectFlags & 0x3F) | ((scene->flags & SCENE_FOGMODE) ? FOG_INDEX : 0));
    });
    for (uint32_t row : drawing)
        EXPECT_TRUE(used.count(row)) << "row " << row;
    for (uint32_t row : used)
        EXPECT_TRUE(drawing.count(row)) << "row " << row << " draws nothing";
}

// Rows 1/17, 3, 5/21 and 19 blend by colour weight without a transparency
// map and by the map's grey levels with one; both occur for each.
TEST_F(DataSet, TransparencyByWeightAndByMapForEveryTransparentRow)
{
    std::set<std::pair<uint32_t, bool>> seen;
    ForEachEntity([&](const std::string&, Scene*, Entity* entity) {
        ObjectEntity* object = ObjectOf(entity);
        if (object && (object->objectFlags & OBJECT_TRANSPARENT) && !(object->objectFlags & OBJECT_GLOWEDGE))
            seen.insert({object->objectFlags & 0x2F, object->transparencyMap != nullptr});
    });
    for (uint32_t row : {1u, 3u, 5u}) {
        EXPECT_TRUE(seen.count({row, false})) << "row " << row << " by weight";
        EXPECT_TRUE(seen.count({row, true})) << "row " << row << " by map";
    }
}

TEST_F(DataSet, TexturesAreDrawnWithAllFourFiltersAndEnvironmentsWithBoth)
{
    std::set<uint32_t> filters, environmentFilters;
    bool mipLevels = false;
    ForEachEntity([&](const std::string&, Scene*, Entity* entity) {
        ObjectEntity* object = ObjectOf(entity);
        if (!object)
            return;
        const uint32_t flags = object->objectFlags & 0x3F;
        if ((flags & OBJECT_TEXTURE) && !(flags & (OBJECT_TRANSPARENT | OBJECT_SHADED))) {
            filters.insert(object->material[1] & 3);
            if ((object->material[1] & 2) && object->textureMap)
                mipLevels = mipLevels || (object->textureMap->textureFlags & TEXTURE_MIPLEVELS);
        }
        if ((flags & ~OBJECT_PERSPECTIVE) == OBJECT_ENVIRONMENT)
            environmentFilters.insert(object->material[2] == 1 ? 1 : 0);
    });
    EXPECT_EQ(filters, (std::set<uint32_t>{0, 1, 2, 3}));
    EXPECT_EQ(environmentFilters, (std::set<uint32_t>{0, 1}));
    EXPECT_TRUE(mipLevels);
}

// Lighting, shadows, glow, flares and glints: the records each needs.
TEST_F(DataSet, ScenesLightShadowGlowFlareAndGlint)
{
    bool rangedLight = false, unlimitedLight = false, shaded = false, privateMap = false, vertexColours = false;
    bool shadowLight = false, shadowCaster = false, glow = false, flare = false, glints = false;
    ForEachEntity([&](const std::string&, Scene* scene, Entity* entity) {
        if (LightEntity* light = LightOf(entity)) {
            if (light->lightFlags & LIGHT_ON) {
                rangedLight = rangedLight || light->lightValue2 > 0;
                unlimitedLight = unlimitedLight || light->lightValue2 <= 0;
            }
            shadowLight = shadowLight || ((light->lightFlags & LIGHT_SHADOWS) && (scene->flags & SCENE_SHADOWS));
            int mapped = 0;
            for (LightEffectElement* e = light->effect ? light->effect->elements : nullptr; e; e = e->next)
                mapped += e->map && e->map->pixels ? 1 : 0;
            flare = flare || mapped >= 3;
        }
        ObjectEntity* object = ObjectOf(entity);
        if (!object)
            return;
        const uint32_t flags = object->objectFlags;
        shaded = shaded || (flags & OBJECT_SHADED);
        privateMap = privateMap || ((flags & OBJECT_LIGHTMAP) && object->environmentMap &&
                                    object->environmentPixels != object->environmentMap->pixels);
        vertexColours = vertexColours || (flags & OBJECT_VERTEXCOLOURS);
        shadowCaster = shadowCaster || ((flags & OBJECT_SHADOWCASTER) && (scene->flags & SCENE_SHADOWS));
        glow = glow || ((flags & OBJECT_GLOW) && (flags & OBJECT_GLOWEDGE) && object->glow[0] > 0 && object->glowBuffer);
        glints = glints || ((flags & OBJECT_SPRITEEFFECT) && object->spriteEffect && object->spriteValue > 0);
    });
    EXPECT_TRUE(shaded);
    EXPECT_TRUE(rangedLight);
    EXPECT_TRUE(unlimitedLight);
    EXPECT_TRUE(privateMap);
    EXPECT_TRUE(vertexColours);
    EXPECT_TRUE(shadowLight);
    EXPECT_TRUE(shadowCaster);
    EXPECT_TRUE(glow);
    EXPECT_TRUE(flare);
    EXPECT_TRUE(glints);
}

// A shadow caster casts only as a closed surface: the render pass finds
// its silhouette through the vertices its faces share, so every edge must
// join exactly two faces. Sides with corners of their own cast nothing.
TEST_F(DataSet, ShadowCastersAreClosedSurfaces)
{
    int casters = 0;
    ForEachEntity([&](const std::string& file, Scene* scene, Entity* entity) {
        ObjectEntity* object = ObjectOf(entity);
        if (!object || !(object->objectFlags & OBJECT_SHADOWCASTER) || !(scene->flags & SCENE_SHADOWS))
            return;
        ++casters;
        std::map<std::pair<const Vertex*, const Vertex*>, int> edges;
        for (uint32_t f = 0; f < object->faceCount; ++f)
            for (int c = 0; c < 3; ++c) {
                const Vertex* a = object->faces[f].vertices[c];
                const Vertex* b = object->faces[f].vertices[(c + 1) % 3];
                ++edges[{std::min(a, b), std::max(a, b)}];
            }
        const auto open = std::count_if(edges.begin(), edges.end(), [](const auto& e) { return e.second != 2; });
        EXPECT_EQ(open, 0) << file << ": " << object->name;
    });
    EXPECT_GT(casters, 0);
}

TEST_F(DataSet, ScenesUseFogPerspectiveCorrectionAndEveryBackground)
{
    std::set<uint32_t> backgrounds;
    bool fog = false;
    for (auto& [name, scene] : scenes) {
        const uint32_t mode = scene->flags & SCENE_BACKGROUNDMODE;
        backgrounds.insert(mode);
        fog = fog || ((scene->flags & SCENE_FOGMODE) && scene->fog[3] > scene->fog[1]);
        if (mode == BACKGROUND_IMAGE) {
            ASSERT_NE(scene->backgroundMap, nullptr);
            EXPECT_GT(scene->backgroundValue2, 0u);
            const Key* first = scene->camera->keys.head;
            const Key* last = scene->camera->keys.tail;
            ASSERT_NE(first, last);
            EXPECT_NE(static_cast<const EntityKey*>(first)->rotation[2], static_cast<const EntityKey*>(last)->rotation[2]);
        }
        if (mode == BACKGROUND_FLOOR || mode == BACKGROUND_FLOORSKY) {
            EXPECT_NE(scene->floorMap, nullptr) << name;
        }
        if (mode == BACKGROUND_SKY || mode == BACKGROUND_FLOORSKY) {
            EXPECT_NE(scene->skyMap, nullptr) << name;
        }
    }
    EXPECT_TRUE(fog);
    EXPECT_EQ(backgrounds, (std::set<uint32_t>{BACKGROUND_COLOUR, BACKGROUND_IMAGE, BACKGROUND_FLOOR, BACKGROUND_SKY,
                                               BACKGROUND_FLOORSKY}));
    bool corrected = false;
    ForEachEntity([&](const std::string&, Scene*, Entity* entity) {
        ObjectEntity* object = ObjectOf(entity);
        corrected = corrected || (object && (object->objectFlags & OBJECT_PERSPECTIVE) && object->correctionValue > 0);
    });
    EXPECT_TRUE(corrected);
}

// Animation: morph objects between several shapes, spline and linear keys,
// entities hidden from a key on and shown again from a later one, and
// parents of parents.
TEST_F(DataSet, ScenesMorphSplineHideAndNest)
{
    bool morph = false, spline = false, linear = false, hidden = false, nested = false;
    ForEachEntity([&](const std::string&, Scene*, Entity* entity) {
        if (MorphEntity* m = MorphOf(entity)) {
            std::set<MorphTarget*> targets;
            for (Key* key = m->morphKeys.head; key; key = key->next)
                if (key->keyFlags & KEY_INTERPOLATE)
                    targets.insert(static_cast<MorphKey*>(key)->target);
            morph = morph || (m->targetCount >= 2 && targets.size() >= 2);
        }
        for (Key* key = entity->keys.head; key; key = key->next) {
            spline = spline || (key->keyFlags & KEY_SPLINE);
            linear = linear || ((key->keyFlags & KEY_INTERPOLATE) && !(key->keyFlags & KEY_SPLINE));
            if ((key->keyFlags & KEY_HIDDEN) && key->next && !(key->next->keyFlags & KEY_HIDDEN))
                hidden = true;
        }
        nested = nested || (entity->parent && entity->parent->parent);
    });
    EXPECT_TRUE(morph);
    EXPECT_TRUE(spline);
    EXPECT_TRUE(linear);
    EXPECT_TRUE(hidden);
    EXPECT_TRUE(nested);
}

// ---- The generator ------------------------------------------------------------------------

std::map<std::string, Bytes> Folder(const fs::path& dir)
{
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::directory_iterator(dir))
        files[entry.path().filename().string()] = ReadBytes(entry.path());
    return files;
}

TEST_F(DataSet, SameSeedWritesTheSameBytesAndAnotherSeedOtherPictures)
{
    const fs::path again = Generate(SEED);
    const fs::path other = Generate(SEED + 1);
    ASSERT_FALSE(again.empty());
    ASSERT_FALSE(other.empty());
    const auto first = Folder(*root / "data");
    EXPECT_EQ(first, Folder(again / "data"));
    const auto changed = Folder(other / "data");
    EXPECT_EQ(first.size(), changed.size());
    EXPECT_NE(first.at("fademask.cnk"), changed.at("fademask.cnk"));
    EXPECT_NE(first.at("end_back.iff"), changed.at("end_back.iff"));
    EXPECT_EQ(first.at(".palette"), changed.at(".palette"));
    fs::remove_all(again);
    fs::remove_all(other);
}

TEST(DataSetTool, RejectsUnknownOptions)
{
    const std::string command = Generator() + " --colour 3 /nonexistent/data 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
