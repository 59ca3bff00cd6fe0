// threnody run as a program up to the point where it would open its
// window: the command line, the CD device's opening, missing data files and
// a missing scene.
#include "demo/show_files.h"

#include <gtest/gtest.h>

namespace {

using show::Result;
using show::RunThrenody;
using show::ShowFolder;

const std::string STARTING = "** Starting Timer\n";
const std::string LOADING = "** Loading Data. Please stand by.\n";
const std::string NO_FADE_MASK = "cant read file: data/fademask.cnk\n";
const std::string CREDITS = "threnody - a kvor3d show: code, scenes and pictures by the kvor3d team\n";

TEST(CommandLine, WithoutDataTheFirstMissingFileEndsTheShowWithStatus0)
{
    TempDir empty;
    const Result result = RunThrenody(empty.Path(""), {});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, STARTING + LOADING + NO_FADE_MASK);
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, CdromWithoutDeviceAsksForOne)
{
    TempDir empty;
    const Result result = RunThrenody(empty.Path(""), {"-cdrom"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, STARTING + "Please specify cdrom device\nFor example: Threnody.Linux -cdrom /dev/cdrom\n");
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, DeviceThatDoesNotExistEndsWithStatus1BeforeLoading)
{
    TempDir empty;
    const std::string device = empty.Path("no-such-drive");
    const Result result = RunThrenody(empty.Path(""), {"-cdrom", device});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, STARTING);
    EXPECT_EQ(result.err, "can't open cdrom (" + device + ")\n");
}

// Only the first argument is looked at, and only when it is exactly -cdrom.
TEST(CommandLine, CdromAnywhereElseOrMisspeltIsIgnored)
{
    TempDir empty;
    const std::string device = empty.Path("no-such-drive");
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"x", "-cdrom"}, {"x", "-cdrom", device}, {"-cdromx", device}, {"-CDROM"}}) {
        const Result result = RunThrenody(empty.Path(""), args);
        EXPECT_EQ(result.status, 0) << args[0];
        EXPECT_EQ(result.out, STARTING + LOADING + NO_FADE_MASK) << args[0];
        EXPECT_EQ(result.err, "") << args[0];
    }
}

// A regular file opens as the device; it is only asked to play once the
// window is open, so here loading goes on as without the option.
TEST(CommandLine, DeviceIsOpenedBeforeTheDataIsRead)
{
    TempDir empty;
    const std::string device = empty.Write("drive", Bytes(4, 0));
    const Result result = RunThrenody(empty.Path(""), {"-cdrom", device});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, STARTING + LOADING + NO_FADE_MASK);
    EXPECT_EQ(result.err, "");
}

// The exit routine frees what was loaded, prints the credits notice and
// ends with status 0 without opening the window.
TEST(CommandLine, MissingSceneRunsTheExitRoutine)
{
    for (size_t loaded : {size_t(0), size_t(1), size_t(10)}) {
        ShowFolder folder(loaded);
        const Result result = RunThrenody(folder.Root(), {});
        EXPECT_EQ(result.status, 0) << loaded;
        EXPECT_EQ(result.out, STARTING + LOADING + CREDITS) << loaded;
        EXPECT_EQ(result.err, "") << loaded;
    }
}

TEST(CommandLine, ShortRawFileIsReportedLikeAMissingOne)
{
    ShowFolder folder(11);
    folder.Write("alien1.rgb15", Bytes(127999, 0));
    const Result result = RunThrenody(folder.Root(), {});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, STARTING + LOADING + "cant read file: data/alien1.rgb15\n");
}

}  // namespace
