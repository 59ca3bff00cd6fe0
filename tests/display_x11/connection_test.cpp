// The window layer when the X server lets it down: a server that goes away
// while a view is shown, and a server without the MIT-SHM extension. Each
// case runs the view in a child and checks everything it printed.
#include <gtest/gtest.h>

#include "kvor3d.h"
#include "support/run_program.h"
#include "xserver.h"

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
