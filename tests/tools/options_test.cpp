// The tools' shared command line (help, both value forms, refusals with
// their reasons), every program's version, kvorshot's YUV4MPEG2 stream
// against a plain BT.601 conversion, its refusal to replace what is no
// regular file, and kvordump's times in seconds.
#include "support/png_pixels.h"
#include "support/run_program.h"
#include "support/scene_builder.h"
#include "../bench/showcase.h"
#include "options.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

struct Case {
    const char* program;  // below the build folder
    std::vector<std::string> args;
    int status;
    std::string first;  // the start of the first line of standard output (status 0) or error
};

// Whole numbers within their bounds, both bounds included; anything else,
// signs and numbers past 64 bits too, refused.
TEST(OptionCounts, AreReadWithinBothBounds)
{
    const struct { const char* text; bool accepted; } cases[] = {
        {"1", true}, {"16", true}, {"0", false}, {"17", false}, {"", false}, {"-1", false}, {"+2", false},
        {"3x", false}, {"18446744073709551616", false},
    };
    for (const auto& c : cases) {
        unsigned long long value = 0;
        EXPECT_EQ(cli::ParseCount(c.text, 1, 16, &value), c.accepted) << c.text;
        EXPECT_EQ(value, c.accepted ? std::stoull(c.text) : 0) << c.text;
    }
}

class Options : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPixelMode(1);
        ASSERT_TRUE(showcase::WriteAll(folder.Path()));
    }
    run::Result Run(const char* program, const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {run::BuiltProgram(program)};
        argv.insert(argv.end(), args.begin(), args.end());
        // A program that would wait on the FIFO is killed rather than left
        // hanging the test.
        return run::Run(argv, folder.Path(), {}, "run", 0, 120);
    }
    run::TempFolder folder;
};

TEST_F(Options, EveryProgramReadsItsCommandLineAlike)
{
    mkfifo(folder.Path("fifo").c_str(), 0600);
    std::filesystem::create_directory(folder.Path("folder"));
    const std::string fifo = "kvorshot: fifo: cannot write: it is a FIFO, which kvorshot does not replace";
    const std::string seed = "' is not a seed (a whole number from 0 to 18446744073709551615)";
    const Case cases[] = {
        {"tools/kvordata", {"--help"}, 0, "usage: kvordata [--seed N] [FOLDER]"},
        {"tools/kvordata", {"--seed=0x10", "none/data"}, 1, "kvordata: none/data: No such file or directory"},
        {"tools/kvordata", {"--seed", "-3"}, 2, "kvordata: '-3" + seed},
        {"tools/kvordata", {"--seed", "abc"}, 2, "kvordata: 'abc" + seed},
        {"tools/kvordata", {"--seed=18446744073709551616"}, 2, "kvordata: '18446744073709551616" + seed},
        {"tools/kvordata", {"--seed"}, 2, "kvordata: option '--seed' needs a value"},
        {"tools/kvordump", {"--help"}, 0, "usage: kvordump [-c | --chunks] FILE"},
        {"tools/kvordump", {"--frames", "torus.kvor"}, 2, "kvordump: unknown option '--frames'"},
        {"tools/kvorshot", {"--help"}, 0, "usage: kvorshot [-t SECONDS | -n FRAMES] [-s SCALE] [-p PALETTE] [-C DIR] SCENE OUTPUT"},
        {"tools/kvorshot", {"--time=1.5", "--scale", "2", "torus.kvor", "a.png"}, 0, ""},
        {"tools/kvorshot", {"-n", "2", "--y4m=/dev/null", "torus.kvor"}, 0, ""},
        {"tools/kvorshot", {"torus.kvor", "/dev/null"}, 0, ""},
        {"tools/kvorshot", {"torus.kvor", "fifo"}, 1, fifo},
        {"tools/kvorshot", {"--y4m", "fifo", "torus.kvor"}, 1, fifo},
        {"tools/kvorshot", {"torus.kvor", "folder"}, 1, "kvorshot: folder: cannot write: it is a folder, which kvorshot does not replace"},
        {"tools/kvorshot", {"-t", "4.001", "torus.kvor", "x.png"}, 2, "kvorshot: '4.001' is outside the scene's times, 0 to 4 seconds"},
        {"tools/kvorshot", {"--y4m", "-", "torus.kvor", "x"}, 2, "kvorshot: one scene file with --y4m ('x' is one too many)"},
        {"tools/kvorshot", {"torus.kvor", "--y4m"}, 2, "kvorshot: option '--y4m' needs a value"},
        {"bench/kvorbench", {"--help"}, 0, "usage: kvorbench [-f F | --frames F] [--profile] [-p FILE | --palette FILE] [-C DIR] SCENE..."},
        {"bench/kvorbench", {"--frames=2", "torus.kvor"}, 0, "scene=torus.kvor frames=2 ns_per_frame="},
        {"bench/kvorbench", {"-f", "0", "torus.kvor"}, 2, "kvorbench: '0' is not a frame count (1 to 10000000)"},
        {"bench/kvorbench", {"--profile=1", "torus.kvor"}, 2, "kvorbench: option '--profile' takes no value"},
        {"bench/kvorscenes", {"--help"}, 0, "usage: kvorscenes FOLDER"},
        {"bench/kvorscenes", {"more"}, 0, ""},
        {"bench/kvorscenes", {}, 2, "kvorscenes: no folder given"},
    };
    for (const Case& c : cases) {
        if (!std::filesystem::exists(run::BuiltProgram(c.program)))
            continue;  // the benchmarks are not built in every configuration
        const run::Result result = Run(c.program, c.args);
        const std::string shown = std::string(c.program) + " " + (c.args.empty() ? "" : c.args[0]);
        EXPECT_EQ(result.status, c.status) << shown;
        const std::string& text = c.status == 0 ? result.out : result.err;
        EXPECT_EQ(text.substr(0, text.find('\n')).substr(0, c.first.size()), c.first) << shown;
        if (c.status == 0) {
            EXPECT_EQ(result.err, "") << shown;  // and no progress line: standard error is no terminal
        }
    }
    struct stat status;
    EXPECT_TRUE(stat(folder.Path("fifo").c_str(), &status) == 0 && S_ISFIFO(status.st_mode));
}

// --version on every program, the window programs and the examples too: the
// name and the project's version alone on standard output, status 0, and no
// window opened.
TEST_F(Options, EveryProgramPrintsItsVersion)
{
    const char* programs[] = {"demo/threnody",     "viewer/kvorview",  "tools/kvordata",    "tools/kvordump",
                              "tools/kvorshot",    "tools/kvorimport", "bench/kvorbench",   "bench/kvorscenes",
                              "examples/testcard", "examples/snapshot"};
    for (const char* program : programs) {
        if (!std::filesystem::exists(run::BuiltProgram(program)))
            continue;  // the benchmarks, the examples and kvorimport are not built in every configuration
        const run::Result result = Run(program, {"--version"});
        EXPECT_EQ(result.status, 0) << program;
        EXPECT_EQ(result.out, std::filesystem::path(program).filename().string() + " (kvor3d) " KVOR3D_VERSION "\n")
            << program;
        EXPECT_EQ(result.err, "") << program;
    }
}

// BT.601 studio range from 8-bit RGB, rounded to nearest, halves up.
std::string Yuv444(const std::vector<uint8_t>& rgb)
{
    const size_t n = rgb.size() / 3;
    std::string planes(3 * n, '\0');
    for (size_t i = 0; i < n; ++i) {
        const double r = rgb[3 * i], g = rgb[3 * i + 1], b = rgb[3 * i + 2];
        const double y = 0.299 * r + 0.587 * g + 0.114 * b;
        planes[i] = char(std::floor(16 + y * 219 / 255 + 0.5));
        planes[n + i] = char(std::floor(128 + (b - y) / 1.772 * 224 / 255 + 0.5));
        planes[2 * n + i] = char(std::floor(128 + (r - y) / 1.402 * 224 / 255 + 0.5));
    }
    return planes;
}

// Three frames of the 4 s torus: 0, 2 and 4 s, two frames over four seconds.
TEST_F(Options, KvorshotStreamsFramesAsBt601Yuv444)
{
    const run::Result video = Run("tools/kvorshot", {"-n", "3", "--y4m", "-", "torus.kvor"});
    ASSERT_EQ(video.status, 0) << video.err;
    const std::string header = "YUV4MPEG2 W320 H200 F1:2 Ip A1:1 C444\n";
    const size_t frame = 6 + 3 * 320 * 200;
    ASSERT_EQ(video.out.size(), header.size() + 3 * frame);
    EXPECT_EQ(video.out.substr(0, header.size()), header);
    ASSERT_EQ(Run("tools/kvorshot", {"-t", "2", "torus.kvor", "two.png"}).status, 0);
    EXPECT_TRUE(video.out.substr(header.size() + frame, frame) == "FRAME\n" + Yuv444(DecodeRgb(folder.Path("two.png"))));

    // One frame of RGB 255, 8, 148 (a background alone) into a file, each
    // pixel doubled: Y 100, Cb 153, Cr 226.
    Scene* plain = showcase::NewScene();
    plain->backgroundColour = 0x00F80890;
    ASSERT_TRUE(showcase::SaveTo(plain, folder.Path("plain.kvor")));
    FreeScene(plain);
    ASSERT_EQ(Run("tools/kvorshot", {"-s2", "--y4m=plain.y4m", "plain.kvor"}).status, 0);
    const size_t n = 640 * 400;
    EXPECT_EQ(run::ReadText(folder.Path("plain.y4m")), "YUV4MPEG2 W640 H400 F25:1 Ip A1:1 C444\nFRAME\n" +
                                                           std::string(n, char(100)) + std::string(n, char(153)) +
                                                           std::string(n, char(226)));
}

// Keys at 1 tick and 3 s: times in ticks with seconds to the microsecond,
// and the summary beside the chunk list as well.
TEST_F(Options, KvordumpGivesTimesInSecondsAndASummary)
{
    Scene* scene = showcase::NewScene();
    Entity* box = build::AddNull(scene, "box");
    build::AddPositionKey(box, 1, 0.0f);
    build::AddPositionKey(box, 3 * TICKS_PER_SECOND, 1.0f);
    ASSERT_TRUE(showcase::SaveTo(scene, folder.Path("keys.kvor")));
    FreeScene(scene);
    const run::Result dump = Run("tools/kvordump", {"keys.kvor"});
    EXPECT_NE(dump.out.find("\"time\": 1,\n          \"seconds\": 0.000001,"), std::string::npos) << dump.out;
    EXPECT_NE(dump.out.find("\"time\": 2128137,\n          \"seconds\": 3.000000,"), std::string::npos) << dump.out;
    EXPECT_EQ(dump.out.rfind("{\n  \"summary\": {\n    \"start\": 1,\n    \"end\": 2128137,\n", 0), 0u);
    EXPECT_NE(dump.out.find("\"start_seconds\": 0.000001,\n    \"end_seconds\": 3.000000,\n    \"duration_seconds\": 2.999999,\n"
                            "    \"entities\": 1,\n    \"objects\": 0,\n"),
              std::string::npos);
    const run::Result chunks = Run("tools/kvordump", {"-c", "torus.kvor"});
    EXPECT_NE(chunks.out.find("  ],\n  \"summary\": {\n    \"start\": 0,\n    \"end\": 2837516,\n"), std::string::npos);
    EXPECT_NE(chunks.out.find("\"objects\": 1,\n    \"faces\": 5000,\n    \"vertices\": 2500\n  }\n}\n"), std::string::npos);
}

}  // namespace
