// Pictures written by netpbm's ppmtoilbm, an encoder independent of the
// engine, must load to exactly the colours that netpbm's ilbmtoppm reads
// back from the same files.
#include "colour/palette_data.h"
#include "image/ilbm_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <random>
#include <sstream>

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

bool RunCommand(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

bool NetpbmPresent()
{
    return RunCommand("command -v ppmtoilbm >/dev/null 2>&1 && command -v ilbmtoppm >/dev/null 2>&1");
}

constexpr const char* NETPBM_MISSING =
    "netpbm's ppmtoilbm and ilbmtoppm are needed for these tests (scripts/deps.sh installs netpbm)";

// The BMHD fields and the CMAP colours of a file, found by walking its
// chunks; used to state what kind of file the encoder wrote.
struct Header {
    uint32_t planes = 0;
    uint32_t compression = 0;
    std::vector<Colour> cmap;
};

Header ReadHeader(const Bytes& file)
{
    Header header;
    size_t at = 12;
    while (at + 8 <= file.size()) {
        const std::string id(file.begin() + long(at), file.begin() + long(at + 4));
        const size_t length = size_t(file[at + 4]) << 24 | size_t(file[at + 5]) << 16 | size_t(file[at + 6]) << 8 |
                              file[at + 7];
        const size_t data = at + 8;
        if (id == "BMHD") {
            header.planes = file[data + 8];
            header.compression = file[data + 10];
        } else if (id == "CMAP") {
            for (size_t i = 0; i + 3 <= length; i += 3)
                header.cmap.push_back({file[data + i], file[data + i + 1], file[data + i + 2]});
        }
        at = data + length + (length & 1);
    }
    return header;
}

// A picture encoded by ppmtoilbm with `options`, and ilbmtoppm's reading
// of the result.
struct Encoded {
    Bytes file;
    std::string path;
    Ppm decoded;
};

Encoded Encode(const TempDir& dir, const Ppm& picture, const std::string& options)
{
    Encoded out;
    const std::string input = dir.Write("input.ppm", WritePpm(picture));
    out.path = dir.Path("picture.iff");
    const std::string back = dir.Path("back.ppm");
    EXPECT_TRUE(RunCommand("ppmtoilbm -quiet " + options + " '" + input + "' > '" + out.path + "'")) << options;
    EXPECT_TRUE(RunCommand("ilbmtoppm -quiet '" + out.path + "' > '" + back + "'")) << options;
    out.file = ReadFileBytes(out.path);
    EXPECT_TRUE(ParsePpm(ReadFileBytes(back), &out.decoded)) << options;
    EXPECT_EQ(out.decoded.width, picture.width);
    EXPECT_EQ(out.decoded.height, picture.height);
    return out;
}

std::vector<uint16_t> Packed(const Ppm& ppm)
{
    std::vector<uint16_t> words;
    for (const Colour& c : ppm.pixels)
        words.push_back(PackRgb15(c[0], c[1], c[2]));
    return words;
}

struct PaletteCase {
    const char* options;
    uint32_t width;
    uint32_t height;
    uint32_t colours;
    uint32_t longestRun;
    uint32_t planes;       // what ppmtoilbm is expected to write
    uint32_t compression;
};

TEST(IlbmNetpbm, PalettePicturesLoadToTheColoursIlbmtoppmReads)
{
    ASSERT_TRUE(NetpbmPresent()) << NETPBM_MISSING;
    const PaletteCase cases[] = {
        {"", 320, 200, 32, 40, 5, 1},                               // 64000 words, planes 5-7 zero
        {"-nocompress", 100, 7, 8, 5, 3, 0},                        // 14 bytes per plane row
        {"-nocompress -fixplanes 1", 33, 3, 2, 3, 1, 0},
        {"-maxplanes 8", 61, 9, 200, 3, 8, 1},
        {"-maxplanes 8 -nocompress", 61, 9, 200, 3, 8, 0},
        {"-maxplanes 8 -fixplanes 7", 17, 4, 5, 2, 7, 1},           // more planes than colours need
        {"-compress", 1100, 3, 4, 300, 2, 1},                       // rows of 138 bytes, runs of 128
        {"", 1, 1, 1, 1, 1, 1},
    };
    TempDir dir;
    for (const PaletteCase& c : cases) {
        SCOPED_TRACE(std::string("ppmtoilbm ") + c.options + " " + std::to_string(c.width) + "x" +
                     std::to_string(c.height));
        const Ppm picture = RunPicture(c.width, c.height, Colours(c.colours, c.width), c.longestRun, c.height);
        const Encoded encoded = Encode(dir, picture, c.options);
        const Header header = ReadHeader(encoded.file);
        ASSERT_EQ(header.planes, c.planes);
        ASSERT_EQ(header.compression, c.compression);

        const Picture words = LoadFromMemory(encoded.file, 1);
        ASSERT_TRUE(words.loaded);
        EXPECT_EQ(words.width, int32_t(c.width));
        EXPECT_EQ(words.height, int32_t(c.height));
        EXPECT_EQ(words.words, Packed(encoded.decoded));
        EXPECT_EQ(LoadFromFile(encoded.path, 1).words, words.words);

        // In pixel mode 0 each index names the CMAP colour ilbmtoppm shows.
        const Picture indices = LoadFromMemory(encoded.file, 0);
        ASSERT_EQ(indices.indices.size(), encoded.decoded.pixels.size());
        for (size_t i = 0; i < indices.indices.size(); ++i) {
            ASSERT_LT(indices.indices[i], header.cmap.size());
            ASSERT_EQ(header.cmap[indices.indices[i]], encoded.decoded.pixels[i]) << "pixel " << i;
        }
    }
}

TEST(IlbmNetpbm, TrueColourPicturesLoadToTheColoursIlbmtoppmReads)
{
    ASSERT_TRUE(NetpbmPresent()) << NETPBM_MISSING;
    // 250 colours: few enough for a colour table that holds each of them, so
    // that in pixel mode 0 every pixel finds its own colour.
    const std::vector<Colour> colours = Colours(250, 24);
    std::vector<Rgb> palette;
    std::map<Colour, uint8_t> indexOf;
    for (const Colour& c : colours) {
        indexOf[c] = uint8_t(palette.size());
        palette.push_back({c[0], c[1], c[2]});
    }
    const std::vector<uint32_t> paletteWords = MakePalette(palette);
    ColourTable* table = MakeTable(paletteWords, GRID);
    ASSERT_NE(table, nullptr);

    TempDir dir;
    for (const char* options : {"-24force", "-24force -nocompress", "-24if -maxplanes 5"}) {
        SCOPED_TRACE(options);
        const Ppm picture = RunPicture(203, 11, colours, 6, 24);
        const Encoded encoded = Encode(dir, picture, options);
        ASSERT_EQ(ReadHeader(encoded.file).planes, 24u);

        const Picture words = LoadFromMemory(encoded.file, 1);
        ASSERT_TRUE(words.loaded);
        EXPECT_EQ(words.words, Packed(encoded.decoded));
        EXPECT_EQ(LoadFromFile(encoded.path, 1).words, words.words);

        std::vector<uint8_t> expected;
        for (const Colour& c : encoded.decoded.pixels)
            expected.push_back(indexOf.at(c));
        EXPECT_EQ(LoadFromMemory(encoded.file, 0, table).indices, expected);
    }
    DeleteColourTable(table);
}

// ppmtoilbm -cmaponly writes a BMHD of 0 × 0 pixels and 0 planes, a CMAP
// and no BODY.
TEST(IlbmNetpbm, ColourMapOnlyFileIsNull)
{
    ASSERT_TRUE(NetpbmPresent()) << NETPBM_MISSING;
    TempDir dir;
    const Ppm picture = RunPicture(40, 30, Colours(4, 1), 3, 1);
    const std::string input = dir.Write("input.ppm", WritePpm(picture));
    const std::string path = dir.Path("cmap.iff");
    ASSERT_TRUE(RunCommand("ppmtoilbm -quiet -cmaponly '" + input + "' > '" + path + "'"));
    const Picture p = LoadFromFile(path, 1);
    EXPECT_FALSE(p.loaded);
    EXPECT_EQ(p.width, 0);
    EXPECT_EQ(p.height, 0);
}

}  // namespace
