// The show's data loading: its picture reader, whole-file reads and the
// start-up's reading of data/, with the files missing, short or of the
// wrong size.
#include "data.h"
#include "demo/show_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

namespace {

using show::Result;
using show::RunInChild;
using show::ShowFolder;

struct Loaded {
    bool loaded = false;
    int32_t width = -1;
    int32_t height = -1;
    int32_t planes = -1;
    std::vector<uint16_t> words;
};

Loaded Load(const Bytes& file)
{
    SetPixelMode(1);
    Loaded result;
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(file.size()));
    std::copy(file.begin(), file.end(), copy);
    void* pixels = demo_ilbm_load(nullptr, copy, file.size(), &result.width, &result.height, &result.planes);
    std::free(copy);
    if (pixels) {
        result.loaded = true;
        const uint16_t* words = static_cast<uint16_t*>(pixels);
        result.words.assign(words, words + size_t(result.width) * size_t(result.height));
        std::free(pixels);
    }
    return result;
}

// Index (x × 3 + y) % 32 of a 32-colour CMAP whose colour c is (8c, 255 − 8c, c).
std::vector<uint32_t> IndexPattern(uint32_t w, uint32_t h)
{
    std::vector<uint32_t> values(size_t(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            values[size_t(y) * w + x] = (x * 3 + y) % 32;
    return values;
}

std::vector<Colour> Colours32()
{
    std::vector<Colour> colours;
    for (int c = 0; c < 32; ++c)
        colours.push_back({uint8_t(8 * c), uint8_t(255 - 8 * c), uint8_t(c)});
    return colours;
}

TEST(DemoIlbmLoad, FivePlaneByteRun1PictureGivesThePackedColourOfEachIndex)
{
    const std::vector<uint32_t> values = IndexPattern(320, 200);
    const Loaded picture = Load(Form({Chunk("BMHD", Bmhd(320, 200, 5, 0, 1)), Chunk("CMAP", Cmap(Colours32())),
                                      Chunk("BODY", BodyOf(values, 320, 200, 5, false, true))}));
    ASSERT_TRUE(picture.loaded);
    EXPECT_EQ(picture.width, 320);
    EXPECT_EQ(picture.height, 200);
    EXPECT_EQ(picture.planes, 5);
    ASSERT_EQ(picture.words.size(), 64000u);
    for (size_t i = 0; i < values.size(); ++i) {
        const int c = int(values[i]);
        ASSERT_EQ(picture.words[i], PackRgb15(uint8_t(8 * c), uint8_t(255 - 8 * c), uint8_t(c))) << i;
    }
}

// Width 100: 14 bytes a plane row; the 12 pixels past the width are dropped.
// The mask row of a masked picture is read and not used; an odd chunk's
// pad byte is skipped.
TEST(DemoIlbmLoad, NarrowMaskedPictureAfterAnOddChunk)
{
    const std::vector<uint32_t> values = IndexPattern(100, 7);
    const Loaded picture =
        Load(Form({Chunk("BMHD", Bmhd(100, 7, 5, 1, 0)), Chunk("ANNO", Bytes{1, 2, 3}),
                   Chunk("CMAP", Cmap(Colours32())), Chunk("BODY", BodyOf(values, 100, 7, 5, true, false))}));
    ASSERT_TRUE(picture.loaded);
    EXPECT_EQ(picture.planes, 5);
    for (size_t i = 0; i < values.size(); ++i) {
        const int c = int(values[i]);
        ASSERT_EQ(picture.words[i], PackRgb15(uint8_t(8 * c), uint8_t(255 - 8 * c), uint8_t(c))) << i;
    }
}

// 24 planes: red, green and blue bytes, least significant bit first.
TEST(DemoIlbmLoad, TrueColourPictureGivesEachPixelsOwnColour)
{
    std::vector<uint32_t> values(16 * 2);
    for (uint32_t i = 0; i < values.size(); ++i)
        values[i] = (i * 8) | (255 - i * 8) << 8 | (i * 5) << 16;
    const Loaded picture =
        Load(Form({Chunk("BMHD", Bmhd(16, 2, 24, 0, 1)), Chunk("BODY", BodyOf(values, 16, 2, 24, false, true))}));
    ASSERT_TRUE(picture.loaded);
    EXPECT_EQ(picture.planes, 24);
    for (uint32_t i = 0; i < values.size(); ++i)
        ASSERT_EQ(picture.words[i], PackRgb15(uint8_t(i * 8), uint8_t(255 - i * 8), uint8_t(i * 5))) << i;
}

TEST(DemoIlbmLoad, FileAndMemoryGiveTheSamePicture)
{
    SetPixelMode(1);
    const Bytes file = show::PictureFile(33, 5);
    TempDir dir;
    const std::string path = dir.Write("p.iff", file);
    int32_t w = 0, h = 0, planes = 0;
    void* pixels = demo_ilbm_load(path.c_str(), nullptr, 0, &w, &h, &planes);
    ASSERT_NE(pixels, nullptr);
    const Loaded fromMemory = Load(file);
    EXPECT_EQ(w, 33);
    EXPECT_EQ(h, 5);
    EXPECT_EQ(planes, 2);
    EXPECT_EQ(std::vector<uint16_t>(static_cast<uint16_t*>(pixels), static_cast<uint16_t*>(pixels) + 33 * 5),
              fromMemory.words);
    EXPECT_EQ(fromMemory.words[1], 0x7C00);
    std::free(pixels);
    EXPECT_EQ(demo_ilbm_load(dir.Path("missing.iff").c_str(), nullptr, 0, &w, &h, &planes), nullptr);
}

TEST(DemoIlbmLoad, RefusesWhatItCannotTurnIntoPixels)
{
    const std::vector<uint32_t> values = IndexPattern(16, 4);
    const Bytes body = BodyOf(values, 16, 4, 5, false, true);
    const Bytes bmhd = Chunk("BMHD", Bmhd(16, 4, 5, 0, 1));
    const Bytes cmap = Chunk("CMAP", Cmap(Colours32()));

    EXPECT_FALSE(Load(Form({bmhd, cmap, Chunk("BODY", body)}, "PBM ")).loaded);
    EXPECT_FALSE(Load(Form({Chunk("BMHD", Bmhd(16, 4, 5, 0, 2)), cmap, Chunk("BODY", body)})).loaded);
    EXPECT_FALSE(Load(Form({Chunk("BMHD", Bmhd(16, 4, 12, 0, 1)), cmap, Chunk("BODY", body)})).loaded);
    EXPECT_FALSE(Load(Form({bmhd, Chunk("BODY", body)})).loaded);  // no colours in 15-bit mode
    EXPECT_FALSE(Load(Form({bmhd, cmap, Chunk("BODY", Bytes(body.begin(), body.end() - 3))})).loaded);
    Bytes cut = Form({bmhd, cmap, Chunk("BODY", body)});
    cut.resize(cut.size() - 10);
    EXPECT_FALSE(Load(cut).loaded);
    EXPECT_FALSE(Load(Bytes{'F', 'O', 'R', 'M'}).loaded);

    const Loaded noBody = Load(Form({bmhd, cmap}));
    EXPECT_FALSE(noBody.loaded);
    EXPECT_EQ(noBody.width, 16);
    EXPECT_EQ(noBody.height, 4);
}

TEST(ReadDataFile, ReadsTheCountOfBytesFromAFileAtLeastThatLong)
{
    TempDir dir;
    dir.Write("long.bin", Bytes{1, 2, 3, 4, 5, 6});
    uint8_t bytes[4] = {};
    read_data_file(bytes, dir.Path("long.bin").c_str(), 4);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
}

TEST(ReadDataFile, MissingOrShortFileEndsTheProcessWithItsName)
{
    TempDir dir;
    dir.Write("short.bin", Bytes(99, 7));
    const std::string missing = dir.Path("missing.bin");
    const std::string shortFile = dir.Path("short.bin");
    uint8_t bytes[100];
    Result result = RunInChild(dir.Path(""), [&] { read_data_file(bytes, missing.c_str(), 100); });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "cant read file: " + missing + "\n");
    result = RunInChild(dir.Path(""), [&] { read_data_file(bytes, shortFile.c_str(), 100); });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "cant read file: " + shortFile + "\n");
}

// Each case leaves one file out, cut short or of the wrong size; the
// child reports 99 when loading came through.
struct BadFile {
    const char* name;
    Bytes contents;  // empty: the file is removed
};

TEST(LoadShowData, MissingShortOrUnusableFilesEndTheShowWithTheirName)
{
    const std::vector<BadFile> cases = {
        {"fademask.cnk", {}},
        {"fademask1.cnk", Bytes(63999, 0)},
        {"alien1.rgb15", Bytes(64000, 0)},
        {".palette", Bytes(3079, 0)},
        {".palette", show::PaletteFile(257)},
        {"pl_txt.iff", {}},
        {"pl_txt.iff", show::PictureFile(256, 255)},
        {"pl_txt.iff", Bytes(200, 0)},
        {"tabxy.bin", {}},
        {"tabxy.bin", Bytes(127999, 0)},
    };
    for (const BadFile& bad : cases) {
        ShowFolder folder;
        if (bad.contents.empty())
            folder.Remove(bad.name);
        else
            folder.Write(bad.name, bad.contents);
        const Result result = RunInChild(folder.Root(), [] { load_show_data(); });
        EXPECT_EQ(result.status, 0) << bad.name;
        EXPECT_EQ(result.out, std::string("cant read file: data/") + bad.name + "\n");
    }
}

// A picture that does not load is not reported: it is kept as null pixels.
TEST(LoadShowData, PicturesThatFailAreKeptAsNullAndTheTunnelTextureIsStoredTwice)
{
    ShowFolder folder;
    folder.Remove("logo.iff");
    std::filesystem::create_directory(folder.Path("data/logo.iff"));
    folder.Write("clip1.iff", Bytes(10, 0));
    const Result result = RunInChild(folder.Root(), [] {
        load_show_data();
        const bool pictures = !Data.logo.pixels && Data.logo.width == 0 && !Data.clip.pixels &&
                              Data.credits.pixels && Data.credits.width == 120 && Data.credits.height == 78;
        const bool texture = Tunnel.texture[1] == 0x7C00 && Tunnel.texture[65536 + 1] == 0x7C00 &&
                             Tunnel.texture[256] == 0x7C00 && Tunnel.texture[65536 + 258] == 0x001F;
        std::exit(pictures && texture ? 3 : 4);
    });
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "");
}

}  // namespace
