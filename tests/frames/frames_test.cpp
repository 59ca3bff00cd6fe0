// Every scene of the data set and of the benchmark scenes, drawn at frames
// spread over its time range as kvorbench draws them (one view, frame after
// frame, so that motion blur and double buffers carry over), with one
// checksum of all its frames compared with the accepted value. Any change in
// any pixel of any frame shows here; a change that is meant must be looked at
// (kvorshot draws the same frames) before its checksum is accepted.
#include "support/checksum.h"
#include "../bench/showcase.h"  // the benchmark scenes, beside kvorscenes

#include "../tools/headless.h"  // tools/ lies beside tests/

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

using namespace kvor3d;

namespace {

namespace fs = std::filesystem;

constexpr uint32_t FRAMES = 16;

struct AcceptedScene {
    const char* file;  // relative to the folder the scenes were written into
    bool palette;      // drawn with the data set's palette
    uint64_t checksum;
};

const AcceptedScene SCENES[] = {
    {"data/logo.kvor", true, 0xa4a853b3d75d49a7ull},
    {"data/alien_cor.kvor", true, 0xe0b99d527a08278aull},
    {"data/alien_born.kvor", true, 0x51999a561d811bbeull},
    {"data/lights.kvor", true, 0x3de98454137c0035ull},
    {"data/pani.kvor", true, 0xa2ab62029ce07c16ull},
    {"data/cube.kvor", true, 0x658f7fe2fa915548ull},
    {"data/lesby_1.kvor", true, 0xf8f16d309e710551ull},
    {"data/lesby_3.kvor", true, 0xfb059dfffc1a3e67ull},
    {"data/suecide.kvor", true, 0xc47d25f5962e6a9dull},
    {"data/suecide2.kvor", true, 0xa4891a5d3878c3a9ull},
    {"data/hand3.kvor", true, 0x2db5daddd1ef26f8ull},
    {"torus.kvor", false, 0x5653c2c6da838a41ull},
    {"showcase.kvor", false, 0x22f58ebf5d339790ull},
    {"shadows.kvor", false, 0x8f5b82131ab21c06ull},
};

// The data set as kvordata writes it (its default seed) and the benchmark
// scenes with their textures, in one folder that the test works in, since
// scenes name their textures relative to it.
class Frames : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/kvor-frames-XXXXXX";
        const char* made = mkdtemp(pattern);
        ASSERT_NE(made, nullptr);
        folder = made;
        const fs::path tests = fs::read_symlink("/proc/self/exe").parent_path();
        const std::string command = (tests.parent_path() / "tools" / "kvordata").string() + " " + folder + "/data";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        SetPixelMode(1);
        ASSERT_TRUE(showcase::WriteAll(folder));
    }

    static void TearDownTestSuite() { fs::remove_all(folder); }

    void SetUp() override
    {
        ASSERT_TRUE(StartEngine(headless::VIEW_WIDTH));
        ASSERT_EQ(chdir(folder.c_str()), 0);
    }

    void TearDown() override { StopEngine(); }

    static std::string folder;
};

std::string Frames::folder;

// The checksum of the scene's frames (or of its one frame at time `at`), 0
// when it cannot be drawn.
uint64_t FramesChecksum(const AcceptedScene& accepted, int64_t at = -1)
{
    ColourTable* colours = accepted.palette ? headless::ReadPalette("data/.palette") : nullptr;
    if (accepted.palette && !colours)
        return 0;
    int32_t error = 0;
    const TagItem load[] = {
        {TAG_LOADSCENE_FILENAME, TagPtr(accepted.file)},
        {TAG_LOADSCENE_ERROR, TagPtr(&error)},
        {colours ? TAG_LOADSCENE_COLOURTABLE : TAG_DONE, TagPtr(colours)},  // ends the list early without one
        {TAG_DONE, 0},
    };
    Scene* scene = LoadScene(load);
    const TagItem viewTags[] = {
        {TAG_XVIEW_WIDTH, headless::VIEW_WIDTH},
        {TAG_XVIEW_HEIGHT, headless::VIEW_HEIGHT},
        {TAG_DONE, 0},
    };
    XView* view = scene ? XViewCreate(viewTags) : nullptr;
    uint64_t hash = 0;
    if (view) {
        uint32_t start, end;
        headless::SceneTimeRange(scene, &start, &end);
        hash = 0xcbf29ce484222325ull;
        for (uint32_t i = 0; i < (at < 0 ? FRAMES : 1); ++i) {
            headless::RenderAt(scene, view, at < 0 ? headless::FrameTime(start, end, i, FRAMES) : uint32_t(at));
            hash = PixelChecksum(view->current, size_t(view->width) * size_t(view->height), hash);
        }
    }
    XViewDelete(view);
    FreeScene(scene);
    DeleteColourTable(colours);
    return hash;
}

TEST_F(Frames, EveryFrameOfEveryScenePixelForPixelAsAccepted)
{
    for (const AcceptedScene& accepted : SCENES)
        EXPECT_EQ(FramesChecksum(accepted), accepted.checksum) << std::hex << accepted.file;
}

// The showcase scene (every effect of the render pass at once) at 1 s: the
// frame that was looked at and accepted. kvorshot draws it from the files
// kvorscenes writes:
//
//   kvorscenes scenes && cd scenes && kvorshot -t 1 -s 2 showcase.kvor showcase.png
using Golden = Frames;

TEST_F(Golden, ShowcaseFrameAtOneSecondIsTheAcceptedOne)
{
    EXPECT_EQ(FramesChecksum({"showcase.kvor", false, 0}, TICKS_PER_SECOND), 0xc5cb1a3a9bf57d61ull)
        << "look at the new frame with kvorshot (see above) before accepting its checksum";
}

}  // namespace
