// kvorview, run as a program on the X server named by DISPLAY: each row of
// its failure table with its message and exit status, and a short scene
// played to its end with the rate it reached.
#include "support/run_program.h"
#include "support/scene_builder.h"

#include "scene/sceneio.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

class Kvorview : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(folder.Path().empty()) << "cannot make a temporary folder";
        program = run::BuiltProgram("viewer/kvorview");
        ASSERT_EQ(access(program.c_str(), X_OK), 0) << "kvorview is not built at " << program;
    }

    // data/.palette: 256 greys in the palette file's 770 words.
    void WritePalette() const
    {
        std::vector<uint32_t> greys;
        for (uint32_t i = 0; i < 256; ++i)
            greys.push_back(i * 0x010101);
        const std::vector<uint32_t> words = build::PaletteWords(greys);
        ASSERT_EQ(words.size(), size_t(PALETTE_FILE_WORDS));
        std::filesystem::create_directory(folder.Path("data"));
        std::ofstream file(folder.Path("data/.palette"), std::ios::binary);
        file.write(reinterpret_cast<const char*>(words.data()), std::streamsize(words.size() * 4));
    }

    // A red square in front of the camera that moves between keys at 0 and
    // `end` ticks.
    void WriteScene(const std::string& name, uint32_t end) const
    {
        Scene* scene = AllocScene();
        CameraOf(scene->camera)->fieldOfView = 90.0f;
        ObjectEntity* square = build::AddObject(scene, "square", {{-20, -20, 0}, {20, -20, 0}, {20, 20, 0}, {-20, 20, 0}},
                                                {{0, 3, 2}, {0, 2, 1}});
        square->colour = 0x00FF0000;
        square->objectFlags = OBJECT_DOUBLESIDED;
        build::AddMotionKey(square, 0, {{0, 0, 100}, {0, 0, 0}, {1, 1, 1}});
        build::AddMotionKey(square, end, {{10, 0, 100}, {0, 0, 45}, {1, 1, 1}});
        const std::string path = folder.Path(name);
        const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(path.c_str())}, {TAG_DONE, 0}};
        EXPECT_NE(SaveScene(scene, tags), 0u);
        FreeScene(scene);
    }

    run::Result View(const std::vector<std::string>& args, const std::vector<std::string>& env = {}) const
    {
        std::vector<std::string> argv = {program};
        argv.insert(argv.end(), args.begin(), args.end());
        return run::Run(argv, folder.Path(), env);
    }

    run::TempFolder folder;
    std::string program;
};

TEST_F(Kvorview, WithoutASceneNameItSaysSoAndEndsWithZero)
{
    const run::Result result = View({});
    EXPECT_EQ(result.out, "Scene name missing\n");
    EXPECT_EQ(result.status, 0);
}

TEST_F(Kvorview, WithoutThePaletteFileItSaysSoAndEndsWithZero)
{
    WriteScene("scene.kvor", TICKS_PER_SECOND / 4);
    const run::Result result = View({"scene.kvor"});
    EXPECT_EQ(result.out, "cant read palette\n");
    EXPECT_EQ(result.status, 0);
}

TEST_F(Kvorview, SceneThatCannotBeLoadedIsReportedAndEndsWithZero)
{
    WritePalette();
    {
        std::ofstream garbage(folder.Path("garbage.kvor"), std::ios::binary);
        garbage << "FORM\x7f\xff\xff\xffKVORnot a scene at all";
    }
    for (const std::string& name : {std::string("missing.kvor"), std::string("garbage.kvor"), std::string(""),
                                    std::string(300, 'a')}) {
        const run::Result result = View({name});
        EXPECT_EQ(result.out, "Cant load scene\n") << "name of " << name.size() << " characters";
        EXPECT_EQ(result.status, 0);
    }
}

// A name of 255 characters fits the name buffer and is looked for; one of
// 256 is refused without a look.
TEST_F(Kvorview, LongestSceneNameThatFitsIsStillLoaded)
{
    WritePalette();
    const std::string folders = std::string(100, 'd') + "/" + std::string(100, 'e');
    std::filesystem::create_directories(folder.Path(folders));
    const std::string name = folders + "/" + std::string(48, 'n') + ".kvor";
    ASSERT_EQ(name.size(), 255u);
    WriteScene(name, 0);
    const run::Result result = View({name});
    EXPECT_EQ(result.out, "fps: inf\n");
    EXPECT_EQ(result.status, 0);
}

TEST_F(Kvorview, WithoutADisplayTheWindowErrorEndsWithOne)
{
    WritePalette();
    WriteScene("scene.kvor", TICKS_PER_SECOND / 4);
    const run::Result result = View({"scene.kvor"}, {"DISPLAY=:64999"});
    EXPECT_EQ(result.out, "Error! Window could not be opened. Error code: \nERR_CV_DISPLAY: Display could not be opened");
    EXPECT_EQ(result.status, 1);
}

TEST_F(Kvorview, PlaysASceneToItsEndAndPrintsTheRate)
{
    WritePalette();
    WriteScene("scene.kvor", TICKS_PER_SECOND / 4);
    const run::Result result = View({"scene.kvor"});
    EXPECT_EQ(result.status, 0);
    double rate = 0;
    char end = 0;
    ASSERT_EQ(std::sscanf(result.out.c_str(), "fps: %lf%c", &rate, &end), 2) << result.out;
    EXPECT_EQ(end, '\n');
    EXPECT_EQ(result.out.find('\n'), result.out.size() - 1);
    EXPECT_TRUE(std::isfinite(rate));
    EXPECT_GT(rate, 0.0);
}

// All keys at time 0: one frame, divided by a scene time of 0.
TEST_F(Kvorview, SceneOfOneInstantReportsAnInfiniteRate)
{
    WritePalette();
    WriteScene("instant.kvor", 0);
    const run::Result result = View({"instant.kvor"});
    EXPECT_EQ(result.out, "fps: inf\n");
    EXPECT_EQ(result.status, 0);
}

}  // namespace
