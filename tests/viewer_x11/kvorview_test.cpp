// kvorview, run as a program on the X server named by DISPLAY: a table of
// (arguments, environment, output, status), a short scene played to its end
// with the rate it reached, and a long one stopped by closing its window.
#include "files/scene_bytes.h"
#include "support/run_program.h"
#include "scene/sceneio.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include "display_x11/xserver.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

using namespace kvor3d;

namespace {

// A red square in front of the camera that moves between keys at 0 and
// `end` ticks.
void WriteScene(const std::string& path, uint32_t end)
{
    Scene* scene = AllocScene();
    CameraOf(scene->camera)->fieldOfView = 90.0f;
    ObjectEntity* square =
        build::AddObject(scene, "square", {{-20, -20, 0}, {20, -20, 0}, {20, 20, 0}, {-20, 20, 0}}, {{0, 3, 2}, {0, 2, 1}});
    square->colour = 0x00FF0000;
    square->objectFlags = OBJECT_DOUBLESIDED;
    build::AddMotionKey(square, 0, {{0, 0, 100}, {0, 0, 0}, {1, 1, 1}});
    build::AddMotionKey(square, end, {{10, 0, 100}, {0, 0, 45}, {1, 1, 1}});
    const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(path.c_str())}, {TAG_DONE, 0}};
    EXPECT_NE(SaveScene(scene, tags), 0u);
    FreeScene(scene);
}

// A name of 255 characters fits the name buffer and is played; one of 256
// is refused without a look, although the file is there. A scene of one
// instant draws one frame over a scene time of 0. The palette and the
// textures are looked for in the scene's folder (.palette beside it when
// there is no data/.palette there), or with -C in the folder named.
TEST(Kvorview, CommandLinesAndTheirOutput)
{
    run::TempFolder folder;
    const std::string program = run::BuiltProgram("viewer/kvorview");
    const std::string folders = std::string(100, 'd') + "/" + std::string(100, 'e') + "/";
    std::filesystem::create_directories(folder.Path(folders));
    const std::string longest = folders + std::string(48, 'n') + ".kvor";
    const std::string tooLong = folders + std::string(49, 'n') + ".kvor";
    ASSERT_EQ(longest.size(), 255u);
    ASSERT_EQ(tooLong.size(), 256u);
    WriteScene(folder.Path(longest), 0);
    WriteScene(folder.Path(tooLong), 0);
    WriteScene(folder.Path("instant.kvor"), 0);
    WriteScene(folder.Path("scene.kvor"), TICKS_PER_SECOND / 4);
    folder.Write("garbage.kvor", std::string("FORM\x7f\xff\xff\xffKVORnot a scene at all"));
    EXPECT_EQ(run::Run({program, "scene.kvor"}, folder.Path()).out, "cant read palette\n");
    std::vector<uint32_t> greys;
    for (uint32_t i = 0; i < 256; ++i)
        greys.push_back(i * 0x010101);
    std::filesystem::create_directory(folder.Path("data"));
    folder.Write("data/.palette", build::PaletteWords(greys));
    folder.Write(folders + ".palette", build::PaletteWords(greys));
    std::filesystem::create_directory(folder.Path("sub"));
    WriteScene(folder.Path("sub/instant.kvor"), 0);
    folder.Write("textured.kvor", bytes::Form({bytes::Version(7), bytes::Enty(ENTITY_OBJECT), bytes::WordChunk("OBJT", {2}),
                                               bytes::StringChunk("TXTR", "data/none.iff")}));

    struct Row {
        std::vector<std::string> args, env;
        std::string out;
        int status;
    };
    const std::string noWindow = "Error! Window could not be opened. Error code: \nERR_CV_DISPLAY: Display could not be opened";
    const Row rows[] = {
        {{}, {}, "Scene name missing\n", 0},
        {{"missing.kvor"}, {}, "Cant load scene\n", 0},
        {{"garbage.kvor"}, {}, "Cant load scene\n", 0},
        {{""}, {}, "Cant load scene\n", 0},
        {{tooLong}, {}, "Cant load scene\n", 0},
        {{longest}, {}, "fps: inf\n", 0},
        {{"--fps", "1000", "instant.kvor", "--scale=1"}, {}, "fps: inf\n", 0},
        {{"scene.kvor"}, {"DISPLAY=:64999"}, noWindow, 1},
        {{"sub/instant.kvor"}, {}, "cant read palette\n", 0},
        {{"-C", ".", "sub/instant.kvor"}, {}, "fps: inf\n", 0},
        {{"textured.kvor"}, {}, "kvorview: texture \"data/none.iff\" of textured.kvor not found (looked for data/none.iff and none.iff)\n", 1},
        {{"instant.kvor", "-C"}, {}, "", 2},
    };
    for (const Row& r : rows) {
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), r.args.begin(), r.args.end());
        const run::Result result = run::Run(argv, folder.Path(), r.env);
        EXPECT_EQ(result.out, r.out) << (r.args.empty() ? 0 : r.args[0].size()) << " characters";
        EXPECT_EQ(result.status, r.status);
    }

    const run::Result played = run::Run({program, "scene.kvor"}, folder.Path());
    EXPECT_EQ(played.status, 0);
    double rate = 0;
    char end = 0;
    ASSERT_EQ(std::sscanf(played.out.c_str(), "fps: %lf%c", &rate, &end), 2) << played.out;
    EXPECT_EQ(played.out.find('\n'), played.out.size() - 1);
    EXPECT_TRUE(std::isfinite(rate) && rate > 0.0) << played.out;

    // A scene of an hour whose window is closed as a window manager does
    // stops with the rate so far.
    WriteScene(folder.Path("hour.kvor"), 3600 * TICKS_PER_SECOND);
    const pid_t pid = run::Start(folder.Path(), run::Exec({program, "hour.kvor"}), "closed");
    Window window = 0;
    for (int i = 0; i < 400 && !(window = FindWindowByTitle(std::getenv("DISPLAY"), "Kvoral 3D Render Window")); ++i)
        usleep(50000);
    SendToWindow(std::getenv("DISPLAY"), window, "WM_DELETE_WINDOW");
    const run::Result closed = run::Finish(pid, folder.Path(), "closed", nullptr, 30);
    EXPECT_EQ(closed.status, 0);
    EXPECT_EQ(closed.out.substr(0, 5), "fps: ") << closed.out;
}

}  // namespace
