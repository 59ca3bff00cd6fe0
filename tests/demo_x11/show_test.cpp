// threnody end to end on a private X server: the show plays on the data
// set that kvordata writes, keeps drawing until its window is closed and
// then ends as its exit routine does, leaving no shared-memory segment
// behind; a CD device that refuses to play ends it once the window is open.
#include <gtest/gtest.h>

#include "display_x11/xserver.h"
#include "kvor3d.h"
#include "support/run_program.h"

#include <set>

using namespace kvor3d;

namespace {

constexpr const char* TITLE = "Kvoral 3D Render Window";
const std::string STARTED = "** Starting Timer\n** Loading Data. Please stand by.\n** Opening Display\n";
const std::string CREDITS = "threnody - a kvor3d show: code, scenes and pictures by the kvor3d team\n";

// Polls every 50 ms, for at most `count` polls, until `ready`.
template <typename Ready>
bool WaitFor(int count, Ready ready)
{
    for (int i = 0; i < count && !ready(); ++i)
        usleep(50000);
    return ready();
}

// The first second of the show: part 1's pictures. Each of two looks at the
// window finds a picture of many colours, and the picture changes between
// them; the show goes on until Escape is pressed.
TEST(Show, PlaysOnTheGeneratedDataUntilClosedAndLeavesNoSegment)
{
    PrivateXServer server({"-screen", "0", "1024x768x24"}, false);
    const std::string display = server.DisplayName();
    ASSERT_FALSE(display.empty());
    ScopedDisplay scoped(display);
    run::TempFolder folder;
    const std::string threnody = run::BuiltProgram("demo/threnody");
    ASSERT_EQ(run::Run({run::BuiltProgram("tools/kvordata"), "data"}, folder.Path()).status, 0);

    const pid_t pid = run::Start(folder.Path(), run::Exec({threnody}), "show");
    Window window = 0;
    ASSERT_TRUE(WaitFor(400, [&] { return (window = FindWindowByTitle(display, TITLE)) != 0; }));
    std::vector<std::vector<uint32_t>> looks;
    for (int look = 0; look < 2; ++look) {
        usleep(400000);
        looks.push_back(ReadWindow(display, window, 320, 200));
        ASSERT_EQ(looks.back().size(), 320u * 200u);
        EXPECT_GT(std::set<uint32_t>(looks.back().begin(), looks.back().end()).size(), 16u) << "look " << look;
    }
    EXPECT_NE(looks[0], looks[1]);
    ASSERT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "the show ended by itself";
    SendToWindow(display, window, "Escape");
    const run::Result shown = run::Finish(pid, folder.Path(), "show", nullptr, 30);
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(SegmentsGoneSoon(pid));
    EXPECT_EQ(shown.out, STARTED + CREDITS);
    EXPECT_EQ(shown.err, "");

    // A regular file opens as the device but refuses the table-of-contents
    // request, which is made once the window is open.
    const std::string device = folder.Write("drive", std::string("not a drive"));
    const pid_t cd = run::Start(folder.Path(), run::Exec({threnody, "-cdrom", device}), "cd");
    const run::Result refused = run::Finish(cd, folder.Path(), "cd");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, STARTED);
    EXPECT_EQ(refused.err, threnody + ": ioctl cdromreadtochdr\n");
    EXPECT_TRUE(SegmentsGoneSoon(cd));
}

}  // namespace
