// Pictures written by netpbm's ppmtoilbm, an encoder independent of the
// engine, must load to exactly the colours that netpbm's ilbmtoppm reads
// back from the same files.
#include "image/ilbm_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <sstream>

using namespace kvor3d;

namespace {

struct Ppm {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<Colour> pixels;
};

// Parses a binary PPM of maxval 255 as ilbmtoppm writes it.
bool ParsePpm(const Bytes& bytes, Ppm* ppm)
{
    std::string text(bytes.begin(), bytes.end());
    std::istringstream in(text);
    std::string magic;
    uint32_t maxval = 0;
    in >> magic >> ppm->width >> ppm->height >> maxval;
    if (!in || magic != "P6" || maxval != 255)
        return false;
    const size_t start = size_t(in.tellg()) + 1;
    const size_t count = size_t(ppm->width) * ppm->height;
    if (bytes.size() != start + 3 * count)
        return false;
    ppm->pixels.resize(count);
    for (size_t i = 0; i < count; ++i)
        ppm->pixels[i] = {bytes[start + 3 * i], bytes[start + 3 * i + 1], bytes[start + 3 * i + 2]};
    return true;
}

Bytes WritePpm(const Ppm& ppm)
{
    const std::string head = "P6\n" + std::to_string(ppm.width) + " " + std::to_string(ppm.height) + "\n255\n";
    Bytes out(head.begin(), head.end());
    for (const Colour& c : ppm.pixels)
        out.insert(out.end(), c.begin(), c.end());
    return out;
}

// A picture of horizontal runs of 1 to `longestRun` pixels, each of one
// colour from `colours`, so that ByteRun1 coding gives both runs and
// literals.
Ppm RunPicture(uint32_t width, uint32_t height, const std::vector<Colour>& colours, uint32_t longestRun,
               uint32_t seed)
{
    std::mt19937 random(seed);
    Ppm ppm{width, height, {}};
    while (ppm.pixels.size() < size_t(width) * height) {
        const Colour colour = colours[random() % colours.size()];
        for (uint32_t n = 1 + random() % longestRun; n > 0 && ppm.pixels.size() < size_t(width) * height; --n)
            ppm.pixels.push_back(colour);
    }
    return ppm;
}

// `count` different colours with the extremes of the 15-bit packing among
// them: components 255, 8 and 7 pack to 31, 1 and 0.
std::vector<Colour> Colours(uint32_t count, uint32_t seed)
{
    std::vector<Colour> colours{{255, 255, 255}, {8, 8, 8}, {7, 7, 7}, {0, 0, 0}, {248, 7, 128}};
    std::mt19937 random(seed);
    while (colours.size() < count) {
        const Colour c{uint8_t(random()), uint8_t(random()), uint8_t(random())};
        if (std::find(colours.begin(), colours.end(), c) == colours.end())
            colours.push_back(c);
    }
    colours.resize(count);
    return colours;
}

// The picture of each row goes through ppmtoilbm with the row's options
// (the file must have the planes and compression expected) and the file
// through ilbmtoppm; the engine must read the colours ilbmtoppm reads.
TEST(IlbmNetpbm, PalettePicturesLoadToTheColoursIlbmtoppmReads)
{
    ASSERT_EQ(std::system("command -v ppmtoilbm >/dev/null 2>&1 && command -v ilbmtoppm >/dev/null 2>&1"), 0)
        << "netpbm's ppmtoilbm and ilbmtoppm are needed for these tests (scripts/deps.sh installs netpbm)";
    const struct {
        const char* options;
        uint32_t width, height, colours, longestRun;
        uint8_t planes, compression;
    } cases[] = {
        {"", 320, 200, 32, 40, 5, 1},                      // 64000 words, planes 5-7 zero
        {"-nocompress", 100, 7, 8, 5, 3, 0},               // 14 bytes per plane row
        {"-nocompress -fixplanes 1", 33, 3, 2, 3, 1, 0},
        {"-maxplanes 8", 61, 9, 200, 3, 8, 1},
        {"-maxplanes 8 -nocompress", 61, 9, 200, 3, 8, 0},
        {"-maxplanes 8 -fixplanes 7", 17, 4, 5, 2, 7, 1},  // more planes than colours need
        {"-compress", 1100, 3, 4, 300, 2, 1},              // rows of 138 bytes, runs of 128
        {"", 1, 1, 1, 1, 1, 1},
    };
    const run::TempFolder dir;
    const std::string input = dir.Path("input.ppm"), path = dir.Path("picture.iff"), back = dir.Path("back.ppm");
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("ppmtoilbm ") + c.options + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        dir.Write("input.ppm", WritePpm(RunPicture(c.width, c.height, Colours(c.colours, c.width), c.longestRun, c.height)));
        const std::string encode = "ppmtoilbm -quiet " + std::string(c.options) + " '" + input + "' > '" + path + "'";
        ASSERT_EQ(std::system(encode.c_str()), 0);
        ASSERT_EQ(std::system(("ilbmtoppm -quiet '" + path + "' > '" + back + "'").c_str()), 0);
        const Bytes file = ReadFileBytes(path);
        Ppm decoded;
        ASSERT_TRUE(ParsePpm(ReadFileBytes(back), &decoded));
        // ppmtoilbm writes the BMHD first: planes and compression at bytes 28 and 30.
        ASSERT_EQ(file[28], c.planes);
        ASSERT_EQ(file[30], c.compression);
        std::vector<uint16_t> expected;
        for (const Colour& colour : decoded.pixels)
            expected.push_back(PackRgb15(colour[0], colour[1], colour[2]));
        const Picture picture = LoadFromMemory(file, 1);
        ASSERT_TRUE(picture.loaded);
        EXPECT_EQ(picture.width, int32_t(c.width));
        EXPECT_EQ(picture.height, int32_t(c.height));
        EXPECT_EQ(picture.words, expected);
    }
}

}  // namespace
