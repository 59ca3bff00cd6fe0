// The window layer when the X server lets it down: a server that goes away
// while a view is shown, and a server without the MIT-SHM extension. Each
// case runs the view in a child and checks everything it printed.
#include <gtest/gtest.h>

#include "display/canvo.h"
#include "kvor3d.h"
#include "support/run_program.h"
#include "xserver.h"

#include <csignal>
#include <memory>

using namespace kvor3d;

namespace {

// A view presented over and over; "ready" on stdout once the first frame is
// shown.
void ShowForever()
{
    const TagItem tags[] = {{TAG_DONE, 0}};
    DView* view = OpenView(0, nullptr, tags);
    PresentView(view);
    std::puts("ready");
    std::fflush(stdout);
    for (;;)
        PresentView(view);
}

TEST(XServerTrouble, LostServerEndsTheProgramWithOneLine)
{
    for (int signal : {SIGTERM, SIGKILL}) {
        auto server = std::make_unique<PrivateXServer>(std::vector<std::string>{"-screen", "0", "640x480x16"}, false);
        run::TempFolder dir;
        const std::string name = server->DisplayName();
        const pid_t child = run::Start(dir.Path(), [&] {
            setenv("DISPLAY", name.c_str(), 1);
            ShowForever();
        });
        for (int i = 0; i < 200 && run::ReadText(dir.Path(".run.out")).empty(); ++i)
            usleep(50000);
        server->Kill(signal);
        const run::Result result = run::Finish(child, dir.Path());
        EXPECT_EQ(result.status, 1) << signal;
        EXPECT_EQ(result.out, "ready\n") << signal;
        EXPECT_EQ(result.err, "lost the connection to the X display\n") << signal;
    }
}

void OwnPipeHandler(int) {}

// What SIGPIPE does at this moment: "default", "ignored" or "handler".
const char* PipeSignalDisposition()
{
    struct sigaction current {};
    sigaction(SIGPIPE, nullptr, &current);
    return current.sa_handler == SIG_DFL ? "default" : current.sa_handler == SIG_IGN ? "ignored" : "handler";
}

// A write to a server that has gone must reach Xlib as a failed write, not
// end the process with SIGPIPE: an open window ignores the signal and gives
// the default back when it closes, and leaves a handler of the program's own
// as it is. Two windows open at once: the first to close keeps it ignored.
TEST(XServerTrouble, OpenWindowsIgnoreTheBrokenPipeSignal)
{
    PrivateXServer server({"-screen", "0", "640x480x16"}, false);
    const struct {
        void (*before)(int);
        const char* expected;
    } cases[] = {
        {SIG_DFL, "default ignored ignored ignored default\n"},
        {OwnPipeHandler, "handler handler handler handler handler\n"},
    };
    for (const auto& c : cases) {
        run::TempFolder dir;
        const std::string name = server.DisplayName();
        const run::Result result = run::RunInChild(dir.Path(), [&] {
            setenv("DISPLAY", name.c_str(), 1);
            std::signal(SIGPIPE, c.before);
            std::printf("%s ", PipeSignalDisposition());
            auto* first = new Canvo(0, nullptr, 320, 200, 15, "first");
            std::printf("%s ", PipeSignalDisposition());
            auto* second = new Canvo(0, nullptr, 320, 200, 15, "second");
            std::printf("%s ", PipeSignalDisposition());
            delete first;
            std::printf("%s ", PipeSignalDisposition());
            delete second;
            std::printf("%s\n", PipeSignalDisposition());
        });
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.out, c.expected);
    }
}

// Xlib prints nothing of its own: the view's report of the failed mapping
// is all there is.
TEST(XServerTrouble, ServerWithoutSharedMemoryGivesOnlyTheViewsMessage)
{
    PrivateXServer server({"-extension", "MIT-SHM", "-screen", "0", "640x480x16"}, false);
    run::TempFolder dir;
    const std::string name = server.DisplayName();
    const run::Result result = run::RunInChild(dir.Path(), [&] {
        setenv("DISPLAY", name.c_str(), 1);
        ShowForever();
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out,
              "Error! Window could not be opened. Error code: \nERR_CV_DIRECTVIDEO: Shared memory frame buffer could not be mapped");
    EXPECT_EQ(result.err, "");
}

}  // namespace
