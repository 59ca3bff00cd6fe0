// kvorshot, run as a program in a folder of the showcase scenes and their
// textures: PNG pictures of the view's size times the scale, the same frame
// for the same time, sequences spread over the scene's time range, the
// one-line errors naming the file, the usage errors, and no picture left
// under its name when it could not be written whole.
#include "support/run_program.h"
#include "support/scene_builder.h"
#include "support/showcase.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr char PNG_SIGNATURE[] = "\x89PNG\r\n\x1a\n";

struct PngSize {
    uint32_t width;
    uint32_t height;
};

uint32_t BigEndian(const std::string& bytes, size_t at)
{
    return (uint32_t(uint8_t(bytes[at])) << 24) | (uint32_t(uint8_t(bytes[at + 1])) << 16) |
           (uint32_t(uint8_t(bytes[at + 2])) << 8) | uint32_t(uint8_t(bytes[at + 3]));
}

// The size its IHDR chunk gives, or 0 × 0 when the file is no PNG.
PngSize SizeOf(const std::string& png)
{
    if (png.size() < 24 || png.compare(0, 8, std::string(PNG_SIGNATURE, 8)) != 0 || png.compare(12, 4, "IHDR") != 0)
        return {0, 0};
    return {BigEndian(png, 16), BigEndian(png, 20)};
}

// The names in a folder, hidden ones (the runner's output files) left out.
std::vector<std::string> Listing(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name[0] != '.')
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

class Kvorshot : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        scenes = new run::TempFolder;
        SetPixelMode(1);
        written = !scenes->Path().empty() && showcase::WriteAll(scenes->Path());
    }

    static void TearDownTestSuite()
    {
        delete scenes;
        scenes = nullptr;
    }

    void SetUp() override
    {
        ASSERT_TRUE(written) << "cannot write the showcase scenes";
        program = run::BuiltProgram("tools/kvorshot");
        ASSERT_EQ(access(program.c_str(), X_OK), 0) << "kvorshot is not built at " << program;
        ASSERT_FALSE(out.Path().empty());
    }

    // Runs kvorshot in the scenes' folder; outputs go to the test's own folder.
    run::Result Shoot(const std::vector<std::string>& args, rlim_t fileSizeLimit = 0) const
    {
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), args.begin(), args.end());
        return run::Run(argv, scenes->Path(), {}, "shot", fileSizeLimit);
    }

    std::string Out(const std::string& name) const { return out.Path(name); }

    static run::TempFolder* scenes;
    static bool written;
    run::TempFolder out;
    std::string program;
};

run::TempFolder* Kvorshot::scenes = nullptr;
bool Kvorshot::written = false;

TEST_F(Kvorshot, HelpPrintsTheUsageAndEndsWithZero)
{
    const run::Result result = Shoot({"--help"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out.rfind("usage: kvorshot [-t SECONDS | -n FRAMES] [-s SCALE] [-p PALETTE] SCENE OUTPUT\n", 0), 0u);
    EXPECT_EQ(result.err, "");
}

TEST_F(Kvorshot, OneFrameIsAPictureOfTheViewTimesTheScale)
{
    run::Result result = Shoot({"-t", "1", "showcase.kvor", Out("plain.png")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const PngSize plain = SizeOf(run::ReadText(Out("plain.png")));
    EXPECT_EQ(plain.width, 320u);
    EXPECT_EQ(plain.height, 200u);

    result = Shoot({"--scale=3", "--time", "1", "showcase.kvor", Out("large.png")});
    ASSERT_EQ(result.status, 0) << result.err;
    const PngSize large = SizeOf(run::ReadText(Out("large.png")));
    EXPECT_EQ(large.width, 960u);
    EXPECT_EQ(large.height, 600u);
}

TEST_F(Kvorshot, SameTimeGivesTheSameFrameAndAnotherTimeAnotherOne)
{
    ASSERT_EQ(Shoot({"-t1", "torus.kvor", Out("a.png")}).status, 0);
    ASSERT_EQ(Shoot({"-t", "1.0", "torus.kvor", Out("b.png")}).status, 0);
    ASSERT_EQ(Shoot({"-t", "2.5", "torus.kvor", Out("c.png")}).status, 0);
    EXPECT_EQ(run::ReadText(Out("a.png")), run::ReadText(Out("b.png")));
    EXPECT_NE(run::ReadText(Out("a.png")), run::ReadText(Out("c.png")));
}

// The torus turns from 0 s to 4 s: three frames at 0, 2 and 4 s.
TEST_F(Kvorshot, FramesSpreadFromTheFirstKeyToTheLastGoIntoAFolder)
{
    const run::Result result = Shoot({"-n", "3", "torus.kvor", Out("sequence")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Listing(Out("sequence")), (std::vector<std::string>{"frame0000.png", "frame0001.png", "frame0002.png"}));
    ASSERT_EQ(Shoot({"-t", "0", "torus.kvor", Out("start.png")}).status, 0);
    ASSERT_EQ(Shoot({"-t", "2", "torus.kvor", Out("middle.png")}).status, 0);
    ASSERT_EQ(Shoot({"-t", "4", "torus.kvor", Out("end.png")}).status, 0);
    EXPECT_EQ(run::ReadText(Out("sequence/frame0000.png")), run::ReadText(Out("start.png")));
    EXPECT_EQ(run::ReadText(Out("sequence/frame0001.png")), run::ReadText(Out("middle.png")));
    EXPECT_EQ(run::ReadText(Out("sequence/frame0002.png")), run::ReadText(Out("end.png")));

    ASSERT_EQ(Shoot({"showcase.kvor", Out("default.png")}).status, 0);  // no time: the first key's
    ASSERT_EQ(Shoot({"-t", "0", "showcase.kvor", Out("zero.png")}).status, 0);
    EXPECT_EQ(run::ReadText(Out("default.png")), run::ReadText(Out("zero.png")));
}

TEST_F(Kvorshot, PaletteFileIsReadWhenGiven)
{
    std::vector<uint32_t> greys;
    for (uint32_t i = 0; i < 256; ++i)
        greys.push_back(i * 0x010101);
    const std::vector<uint32_t> words = build::PaletteWords(greys);
    std::ofstream(Out("palette"), std::ios::binary)
        .write(reinterpret_cast<const char*>(words.data()), std::streamsize(words.size() * 4));
    std::ofstream(Out("short"), std::ios::binary) << "too short";

    EXPECT_EQ(Shoot({"-p", Out("palette"), "showcase.kvor", Out("shot.png")}).status, 0);
    const run::Result missing = Shoot({"-p", Out("none"), "showcase.kvor", Out("x.png")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "kvorshot: " + Out("none") + ": No such file or directory\n");
    const run::Result shortFile = Shoot({"-p", Out("short"), "showcase.kvor", Out("x.png")});
    EXPECT_EQ(shortFile.status, 1);
    EXPECT_EQ(shortFile.err, "kvorshot: " + Out("short") + ": not a palette file (3080 bytes expected)\n");
    EXPECT_FALSE(std::filesystem::exists(Out("x.png")));
}

TEST_F(Kvorshot, SceneThatCannotBeReadIsNamedAndEndsWithOne)
{
    std::ofstream(Out("garbage.kvor"), std::ios::binary) << "FORM\x7f\xff\xff\xffKVORnot a scene";
    const run::Result missing = Shoot({"missing.kvor", Out("x.png")});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "kvorshot: missing.kvor: No such file or directory\n");
    const run::Result garbage = Shoot({Out("garbage.kvor"), Out("x.png")});
    EXPECT_EQ(garbage.status, 1);
    EXPECT_EQ(garbage.err, "kvorshot: " + Out("garbage.kvor") +
                               ": not a scene file the reader accepts, or a texture it names cannot be read\n");
    EXPECT_EQ(Listing(out.Path()), (std::vector<std::string>{"garbage.kvor"}));
}

TEST_F(Kvorshot, OutputThatCannotBeWrittenLeavesNoFileBehind)
{
    const run::Result noFolder = Shoot({"showcase.kvor", Out("none/x.png")});
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_EQ(noFolder.err, "kvorshot: " + Out("none/x.png") + ": cannot write: No such file or directory\n");

    std::filesystem::create_directory(Out("taken"));
    const run::Result onFolder = Shoot({"showcase.kvor", Out("taken")});
    EXPECT_EQ(onFolder.status, 1);
    EXPECT_EQ(onFolder.err, "kvorshot: " + Out("taken") + ": cannot write: Is a directory\n");

    std::ofstream(Out("file")) << "x";
    const run::Result onFile = Shoot({"-n", "2", "showcase.kvor", Out("file")});
    EXPECT_EQ(onFile.status, 1);
    EXPECT_EQ(onFile.err, "kvorshot: " + Out("file") + ": exists and is not a folder\n");

    const run::Result tooLarge = Shoot({"-s", "4", "showcase.kvor", Out("large.png")}, 4096);
    EXPECT_EQ(tooLarge.status, 1);
    EXPECT_EQ(tooLarge.err, "kvorshot: " + Out("large.png") + ": cannot write: File too large\n");

    EXPECT_EQ(Listing(out.Path()), (std::vector<std::string>{"file", "taken"}));
    EXPECT_TRUE(Listing(Out("taken")).empty());
}

TEST_F(Kvorshot, UsageErrorsEndWithTwoAndWriteNothing)
{
    const std::vector<std::vector<std::string>> wrong = {
        {},
        {"showcase.kvor"},
        {"showcase.kvor", Out("a.png"), Out("b.png")},
        {"-x", "showcase.kvor", Out("a.png")},
        {"--bogus", "showcase.kvor", Out("a.png")},
        {"showcase.kvor", Out("a.png"), "-t"},
        {"-t", "-1", "showcase.kvor", Out("a.png")},
        {"-t", "soon", "showcase.kvor", Out("a.png")},
        {"-t", "1e10", "showcase.kvor", Out("a.png")},
        {"-t", "nan", "showcase.kvor", Out("a.png")},
        {"-n", "0", "showcase.kvor", Out("a")},
        {"-n", "2x", "showcase.kvor", Out("a")},
        {"-s", "17", "showcase.kvor", Out("a.png")},
        {"-s", "0", "showcase.kvor", Out("a.png")},
        {"-t", "1", "-n", "2", "showcase.kvor", Out("a")},
    };
    for (const auto& args : wrong) {
        const run::Result result = Shoot(args);
        std::string shown;
        for (const std::string& arg : args)
            shown += " " + arg;
        EXPECT_EQ(result.status, 2) << shown;
        EXPECT_EQ(result.err.rfind("kvorshot: ", 0), 0u) << shown;
        const size_t firstLine = result.err.find('\n');
        EXPECT_EQ(result.err.substr(firstLine + 1),
                  "usage: kvorshot [-t SECONDS | -n FRAMES] [-s SCALE] [-p PALETTE] SCENE OUTPUT\n")
            << shown;
        EXPECT_EQ(result.out, "") << shown;
    }
    EXPECT_TRUE(Listing(out.Path()).empty());
}

}  // namespace
