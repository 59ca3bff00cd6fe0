// kvordump and kvorshot run as programs: their output for a small scene and
// for hand-made chunk lists, the pixels of the pictures kvorshot writes, and
// their command lines as tables of (arguments, status, message).
#include "support/run_program.h"
#include "support/scene_builder.h"
#include "../bench/showcase.h"  // the benchmark scenes, beside kvorscenes

#include <gtest/gtest.h>

#include <png.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

struct Line {
    std::vector<std::string> args;
    int status;
    std::string err;  // exact standard error (the usage line follows for status 2)
};

class Tools : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        SetPixelMode(1);
        folder = new run::TempFolder;
        written = showcase::WriteAll(folder->Path());
        Scene* plain = showcase::NewScene();
        plain->backgroundColour = 0x00F80890;  // 15-bit channels 31, 1, 18
        build::AddNull(plain, "box")->position[1] = 2.0f;
        written = written && showcase::SaveTo(plain, folder->Path("plain.kvor"));
        FreeScene(plain);
    }
    static void TearDownTestSuite() { delete folder; }

    static run::Result Run(const char* tool, const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {run::BuiltProgram(std::string("tools/") + tool)};
        argv.insert(argv.end(), args.begin(), args.end());
        return run::Run(argv, folder->Path());
    }

    static void ExpectLines(const char* tool, const std::vector<Line>& lines, const std::string& usage)
    {
        ASSERT_TRUE(written);
        for (const Line& line : lines) {
            const run::Result result = Run(tool, line.args);
            const std::string shown = line.args.empty() ? "(none)" : line.args[0] + " ...";
            EXPECT_EQ(result.status, line.status) << shown;
            EXPECT_EQ(result.err, line.status == 2 ? line.err + usage : line.err) << shown;
        }
    }

    static run::TempFolder* folder;
    static bool written;
};

run::TempFolder* Tools::folder = nullptr;
bool Tools::written = false;

// A FORM KVOR of these chunks (id, payload), odd payloads padded but those of
// NAME, a chunk the reader knows; the FORM size claims `extra` bytes more
// than it holds.
std::string Form(const std::vector<std::pair<std::string, std::string>>& chunks, int extra = 0)
{
    const auto word = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
    std::string body = "KVOR";
    for (const auto& [id, payload] : chunks)
        body += id + word(uint32_t(payload.size())) + payload + (payload.size() % 2 && id != "NAME" ? std::string(1, '\0') : "");
    return "FORM" + word(uint32_t(body.size() + size_t(extra))) + body;
}


TEST_F(Tools, KvordumpPrintsTheSceneAndTheChunkList)
{
    ASSERT_TRUE(written);
    const run::Result scene = Run("kvordump", {"plain.kvor"});
    EXPECT_EQ(scene.status, 0);
    EXPECT_TRUE(scene.out.find("\"colour\": \"0x00f80890\"") != std::string::npos && scene.out.find("\"name\": \"box\",\n      \"flags\": \"0x01000000\",\n      \"parent\": null,\n      \"pivot\": [0, 0, 0],\n      \"position\": [0, 2, 0]") != std::string::npos) << scene.out;

    // An odd chunk the reader does not know is skipped with its pad byte, one
    // it knows without; ids of any bytes are escaped, 0x7F as well as those
    // below 0x20.
    const std::string version(std::string("\0\0\0\7", 4));
    folder->Write("chunks.kvor", Form({{"VERS", version}, {"XTRA", "12345"}, {"NAME", "abc"}, {"\x01\x7f" "ab", ""}}));
    const run::Result chunks = Run("kvordump", {"--chunks", "chunks.kvor"});
    EXPECT_EQ(chunks.status, 0);
    EXPECT_EQ(chunks.out, R"({
  "form": {"size": 49, "type": "KVOR"},
  "chunks": [
    {"offset": 12, "id": "VERS", "size": 4},
    {"offset": 24, "id": "XTRA", "size": 5},
    {"offset": 38, "id": "NAME", "size": 3},
    {"offset": 49, "id": "\u0001\u007fab", "size": 0}
  ]
}
)");
    std::string past = Form({{"VERS", version}, {"\x7f" "A\x1f" "B", "12"}});
    past[past.size() - 3] = 3;  // the last chunk claims one byte more than the FORM holds
    folder->Write("past.kvor", past + "x");
    folder->Write("cut.kvor", Form({{"VERS", version}}, 8));
    ExpectLines("kvordump",
                {{{"past.kvor"}, 1, "kvordump: past.kvor: chunk '\\x7fA\\x1fB' of 3 bytes at offset 24 runs past the end of the FORM at 34\n"},
                 {{"-c", "cut.kvor"}, 1, "kvordump: cut.kvor: truncated: the FORM needs 32 bytes, the file has 24\n"},
                 {{"nosuch.kvor"}, 1, "kvordump: nosuch.kvor: cannot open: No such file or directory\n"},
                 {{"--", "-c"}, 1, "kvordump: -c: cannot open: No such file or directory\n"},
                 {{"torus.kvor", "-c"}, 0, ""},
                 {{"checker.tex"}, 1, "kvordump: checker.tex: not a scene file\n"},
                 {{}, 2, "kvordump: no scene file given\n"},
                 {{"-c"}, 2, "kvordump: no scene file given\n"},
                 {{"a", "b"}, 2, "kvordump: one scene file at a time ('a' and 'b')\n"},
                 {{"-cx", "a"}, 2, "kvordump: unknown option '-x'\n"},
                 {{"--chunks=yes", "a"}, 2, "kvordump: option '--chunks' takes no value\n"},
                 {{"-h"}, 0, ""}},
                "usage: kvordump [-c | --chunks] FILE\n");
}

struct Png {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
};

Png Decode(const std::string& path)
{
    Png png;
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return png;
    image.format = PNG_FORMAT_RGB;
    png.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr)) {
        png.width = image.width;
        png.height = image.height;
    }
    return png;
}

// 5-bit channels widen as (c << 3) | (c >> 2): 31, 1, 18 are 255, 8, 148.
TEST_F(Tools, KvorshotPicturesHoldTheFramesColoursWidened)
{
    ASSERT_TRUE(written);
    ASSERT_EQ(Run("kvorshot", {"-s", "2", "plain.kvor", "plain.png"}).status, 0);
    const Png png = Decode(folder->Path("plain.png"));
    ASSERT_EQ(png.width, 640u);
    ASSERT_EQ(png.height, 400u);
    for (size_t i = 0; i < png.rgb.size(); i += 3)
        ASSERT_EQ((std::vector<int>{png.rgb[i], png.rgb[i + 1], png.rgb[i + 2]}), (std::vector<int>{255, 8, 148})) << i / 3;

    // The torus turns from 0 s to 4 s: frames at 0, 2 and 4 s.
    ASSERT_EQ(Run("kvorshot", {"-n", "3", "torus.kvor", "frames"}).status, 0);
    ASSERT_EQ(Run("kvorshot", {"-t4", "torus.kvor", "four.png"}).status, 0);
    ASSERT_EQ(Run("kvorshot", {"--time", "2.5", "torus.kvor", "later.png"}).status, 0);
    EXPECT_EQ(Decode(folder->Path("frames/frame0002.png")).rgb, Decode(folder->Path("four.png")).rgb);
    EXPECT_NE(Decode(folder->Path("frames/frame0001.png")).rgb, Decode(folder->Path("later.png")).rgb);
    EXPECT_EQ(Decode(folder->Path("frames/frame0000.png")).width, 320u);
}

TEST_F(Tools, KvorshotCommandLines)
{
    folder->Write("short.pal", std::string(100, '\0'));
    folder->Write("untextured.kvor", Form({{"ENTY", std::string("\0\0\0\1\1\0\0\0", 8)}, {"OBJT", std::string("\0\0\0\2", 4)},
                                           {"TXTR", std::string("nothere.iff", 12)}}));
    ExpectLines("kvorshot",
                {{{"-t", "6054", "plain.kvor", "late.png"}, 2, "kvorshot: '6054' is outside the scene's times, 0 to 0 seconds\n"},
                 {{"-p", "short.pal", "plain.kvor", "x.png"}, 1, "kvorshot: short.pal: not a palette file (3080 bytes expected)\n"},
                 {{"nosuch.kvor", "x.png"}, 1, "kvorshot: nosuch.kvor: No such file or directory\n"},
                 {{"untextured.kvor", "x.png"}, 1, "kvorshot: texture \"nothere.iff\" of untextured.kvor not found (looked for nothere.iff)\n"},
                 {{"plain.kvor", "none/x.png"}, 1, "kvorshot: none/x.png: cannot write: No such file or directory\n"},
                 {{"-n", "2", "plain.kvor", "short.pal"}, 1, "kvorshot: short.pal: exists and is not a folder\n"},
                 {{}, 2, "kvorshot: a scene file and an output are needed\n"},
                 {{"a", "b", "c"}, 2, "kvorshot: one scene file and one output ('c' is one too many)\n"},
                 {{"-s", "0", "a", "b"}, 2, "kvorshot: '0' is not a scale (1 to 16)\n"},
                 {{"--scale=17", "a", "b"}, 2, "kvorshot: '17' is not a scale (1 to 16)\n"},
                 {{"-t-1", "a", "b"}, 2, "kvorshot: '-1' is not a time in seconds\n"},
                 {{"-n", "0", "a", "b"}, 2, "kvorshot: '0' is not a frame count (1 to 100000)\n"},
                 {{"-t", "1", "-n", "2", "a", "b"}, 2, "kvorshot: give either a time (-t) or a frame count (-n), not both\n"},
                 {{"-x"}, 2, "kvorshot: unknown option '-x'\n"},
                 {{"--bogus=1"}, 2, "kvorshot: unknown option '--bogus=1'\n"},
                 {{"a", "b", "-s"}, 2, "kvorshot: option '-s' needs a value\n"},
                 {{"--help"}, 0, ""}},
                "usage: kvorshot [-t SECONDS | -n FRAMES] [-s SCALE] [-p PALETTE] [-C DIR] SCENE OUTPUT\n");
    EXPECT_FALSE(std::filesystem::exists(folder->Path("none")));
}

// Two data sets of different seeds: d7's scenes render with d7's textures
// from any folder, or with -C from the folder named, as data/cube.kvor does
// where d7 is the data folder ("as7/data"); data/cube.kvor itself differs. A
// texture found nowhere names the places looked; an absolute name is used
// as given.
TEST_F(Tools, TextureNamesResolveAgainstTheScenesFolder)
{
    ASSERT_EQ(Run("kvordata", {"data"}).status | Run("kvordata", {"--seed", "7", "d7"}).status, 0);
    for (const char* made : {"as7", "elsewhere", "lone"})
        std::filesystem::create_directory(folder->Path(made));
    std::filesystem::create_directory_symlink("../d7", folder->Path("as7/data"));
    std::filesystem::copy_file(folder->Path("d7/cube.kvor"), folder->Path("lone/cube.kvor"));
    const std::string wood = folder->Path("d7/cube_wood.iff");
    folder->Write("lone/absolute.kvor", Form({{"ENTY", std::string("\0\0\0\1\1\0\0\0", 8)}, {"OBJT", std::string("\0\0\0\2", 4)},
                                              {"TXTR", wood + std::string(2 - wood.size() % 2, '\0')}}));
    ASSERT_EQ(run::Run({run::BuiltProgram("tools/kvorshot"), "-t", "3", "data/cube.kvor", "../as7.png"}, folder->Path("as7")).status, 0);
    const std::vector<uint8_t> as7 = Decode(folder->Path("as7.png")).rgb;
    const std::string missing = "texture \"data/cube_floor.iff\" of ../lone/cube.kvor not found (looked for ";
    const struct { const char *program, *in; std::vector<std::string> args; int status; std::string err; bool likeAs7; } cases[] = {
        {"tools/kvorshot", "", {"-t", "3", "d7/cube.kvor", "x.png"}, 0, "", true},
        {"tools/kvorshot", "elsewhere", {"-t", "3", "../d7/cube.kvor", "../x.png"}, 0, "", true},
        {"tools/kvorshot", "elsewhere", {"-t", "3", "-C", "../d7", "../data/cube.kvor", "../x.png"}, 0, "", true},
        {"tools/kvorshot", "", {"-t", "3", "data/cube.kvor", "x.png"}, 0, "", false},
        {"tools/kvorshot", "elsewhere", {"../lone/cube.kvor", "../x.png"}, 1,
         "kvorshot: " + missing + "../lone/data/cube_floor.iff and ../lone/cube_floor.iff)\n", false},
        {"tools/kvorshot", "elsewhere", {"-C", "../d7", "../lone/absolute.kvor", "../x.png"}, 0, "", false},
        {"bench/kvorbench", "elsewhere", {"-f", "1", "../d7/cube.kvor"}, 0, "", false},
        {"bench/kvorbench", "elsewhere", {"-f", "1", "-C", ".", "../lone/cube.kvor"}, 1,
         "kvorbench: " + missing + "./data/cube_floor.iff and ./cube_floor.iff)\n", false},
    };
    for (const auto& c : cases) {
        if (!std::filesystem::exists(run::BuiltProgram(c.program)))
            continue;  // the benchmarks are not built in every configuration
        std::filesystem::remove(folder->Path("x.png"));
        std::vector<std::string> argv = {run::BuiltProgram(c.program)};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        const run::Result result = run::Run(argv, folder->Path(c.in));
        const std::string shown = std::string(c.program) + " in '" + c.in + "' " + c.args[c.args.size() - 2];
        EXPECT_EQ(result.status, c.status) << shown;
        EXPECT_EQ(result.err, c.err) << shown;
        if (c.program[0] == 't' && c.status == 0) {
            EXPECT_EQ(Decode(folder->Path("x.png")).rgb == as7, c.likeAs7) << shown;
        }
    }
}

}  // namespace
