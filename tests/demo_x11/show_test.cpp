// threnody end to end on a private X server: the show plays on the data
// set that kvordata writes, keeps drawing until it is ended from outside
// and leaves no shared-memory segment behind; a CD device that refuses to
// play ends it once the window is open.
#include "demo/show_files.h"
#include "display_x11/xserver.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

using show::Result;
using show::RunInChild;
using show::RunThrenody;
using show::ShowFolder;

constexpr const char* TITLE = "Kvoral 3D Render Window";
const std::string STARTED = "** Starting Timer\n** Loading Data. Please stand by.\n** Opening Display\n";

std::string DisplayName()
{
    static PrivateXServer server({"-screen", "0", "1024x768x24"}, false);
    return server.DisplayName();
}

// kvordata sits beside threnody, in <build>/tools.
std::string KvordataPath()
{
    const std::filesystem::path threnody(show::ThrenodyPath());
    return (threnody.parent_path().parent_path() / "tools" / "kvordata").string();
}

// A folder whose data/ kvordata wrote, shared by the tests.
const TempDir& GeneratedData()
{
    static TempDir dir;
    static bool written = false;
    if (!written) {
        const std::string kvordata = KvordataPath();
        const Result result = RunInChild(dir.Path(""), [&] {
            char* argv[] = {const_cast<char*>(kvordata.c_str()), const_cast<char*>("data"), nullptr};
            execv(kvordata.c_str(), argv);
        });
        EXPECT_EQ(result.status, 0) << result.err;
        written = true;
    }
    return dir;
}

std::string ReadText(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// threnody started in `cwd` with its output going to files there.
pid_t StartThrenody(const std::string& cwd, const std::string& out, const std::string& err)
{
    const std::string program = show::ThrenodyPath();
    const pid_t child = fork();
    if (child == 0) {
        int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || chdir(cwd.c_str()) != 0)
            _exit(98);
        dup2(o, 1);
        dup2(e, 2);
        char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
        execv(program.c_str(), argv);
        _exit(97);
    }
    return child;
}

// Polls every 100 ms, for at most `tenths` tenths of a second, until `ready`.
template <typename Ready>
bool WaitFor(int tenths, Ready ready)
{
    for (int i = 0; i < tenths; ++i) {
        if (ready())
            return true;
        usleep(100000);
    }
    return ready();
}

// The server may keep a dead client's pixmap as its cached background tile
// until it paints another background; a window of the test's own makes it
// let go, and the segment, already marked for removal, goes with it.
void PaintAnotherWindow()
{
    const TagItem tags[] = {{TAG_DONE, 0}};
    DView* view = OpenView(0, nullptr, tags);
    ASSERT_NE(view, nullptr);
    PresentView(view);
    CloseView(view);
}

size_t DistinctColours(const std::vector<uint32_t>& pixels)
{
    return std::set<uint32_t>(pixels.begin(), pixels.end()).size();
}

// About twenty seconds of the show: part 1 with its pictures, then the
// first rendered scene. Each look at the window finds a picture of many
// colours, and the picture changes from look to look.
TEST(Show, PlaysOnTheGeneratedDataUntilEndedAndLeavesNoSegment)
{
    const std::string display = DisplayName();
    ASSERT_FALSE(display.empty());
    ScopedDisplay scoped(display);
    const TempDir& data = GeneratedData();
    const std::string out = data.Path("out.txt"), err = data.Path("err.txt");
    const pid_t pid = StartThrenody(data.Path(""), out, err);
    ASSERT_GT(pid, 0);

    ASSERT_TRUE(WaitFor(600, [&] { return ReadText(out) == STARTED; })) << ReadText(out) << ReadText(err);
    Window window = 0;
    ASSERT_TRUE(WaitFor(100, [&] { return (window = FindWindowByTitle(display, TITLE)) != 0; }));

    std::vector<std::vector<uint32_t>> looks;
    for (int look = 0; look < 10; ++look) {
        sleep(2);
        looks.push_back(ReadWindow(display, window, 320, 200));
        ASSERT_EQ(looks.back().size(), 320u * 200u);
        EXPECT_GT(DistinctColours(looks.back()), 16u) << "look " << look;
        if (look > 0) {
            EXPECT_NE(looks[size_t(look)], looks[size_t(look) - 1]) << "look " << look;
        }
    }

    int raw = 0;
    ASSERT_EQ(waitpid(pid, &raw, WNOHANG), 0) << "the show ended by itself";
    kill(pid, SIGTERM);
    waitpid(pid, &raw, 0);
    EXPECT_TRUE(WIFSIGNALED(raw) && WTERMSIG(raw) == SIGTERM);
    PaintAnotherWindow();
    EXPECT_TRUE(SegmentsGoneSoon(pid));
    EXPECT_EQ(ReadText(out), STARTED);
    EXPECT_EQ(ReadText(err), "");
}

// A regular file opens as the device but refuses the table-of-contents
// request, which is made once the window is open.
TEST(Show, CdDeviceThatRefusesToPlayEndsTheShowWithStatus1)
{
    const std::string display = DisplayName();
    ASSERT_FALSE(display.empty());
    ScopedDisplay scoped(display);
    ShowFolder folder(show::SCENES.size());
    const std::string device = folder.Path("drive");
    std::ofstream(device) << "not a drive";
    const Result result = RunThrenody(folder.Root(), {"-cdrom", device});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, STARTED);
    EXPECT_EQ(result.err, show::ThrenodyPath() + ": ioctl cdromreadtochdr\n");
    PaintAnotherWindow();
    EXPECT_TRUE(SegmentsGoneSoon(result.pid));
}

}  // namespace
