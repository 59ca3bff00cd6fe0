// OpenView / PresentView / CloseView against a real X server.
#include <gtest/gtest.h>

#include "kvor3d.h"
#include "support/run_program.h"
#include "xserver.h"

using namespace kvor3d;

namespace {

constexpr const char* TITLE = "Kvoral 3D Render Window";

std::string Display16()
{
    static PrivateXServer server({"-screen", "0", "640x480x16"}, false);
    return server.DisplayName();
}

// The view's size and buffering from the tags (the double-buffer flag is
// the tag's low 16 bits), and its frame read back through the window: a
// width that is not a multiple of 8 still lands line for line in the
// wider window, the extra columns black.
TEST(OpenView, SizeBufferingAndPresentedPixels)
{
    struct Row {
        uintptr_t width, height, doubleBuffer;
        int32_t w, h;
        bool isDouble;
    };
    const Row rows[] = {{0, 0, 0x10000, 320, 200, false}, {64, 16, 1, 64, 16, true}, {321, 4, 0, 321, 4, false}};
    const std::string name = Display16();
    ScopedDisplay scoped(name);
    for (const Row& r : rows) {
        TagItem tags[4] = {{TAG_OPENVIEW_DOUBLEBUFFER, r.doubleBuffer}, {TAG_DONE, 0}, {TAG_DONE, 0}, {TAG_DONE, 0}};
        if (r.width)
            tags[1] = {TAG_OPENVIEW_WIDTH, r.width}, tags[2] = {TAG_OPENVIEW_HEIGHT, r.height};
        DView* view = OpenView(0, nullptr, tags);
        ASSERT_NE(view, nullptr);
        XView* xview = view->xview;
        EXPECT_EQ(xview->width, r.w);
        EXPECT_EQ(xview->height, r.h);
        EXPECT_EQ(xview->flags, r.isDouble ? XVIEW_DOUBLEBUFFER : 0u);
        EXPECT_EQ(xview->current == xview->bufferA, r.isDouble);
        EXPECT_EQ(view->reserved[0] | view->reserved[1] | view->reserved[2], 0u);
        for (int i = 0; i < r.w * r.h; ++i)
            xview->current[i] = uint16_t(i * 37 & 0x7FFF);
        PresentView(view);
        const int windowWidth = (r.w + 7) & ~7;
        const std::vector<uint32_t> shown = ReadWindow(name, FindWindowByTitle(name, TITLE), windowWidth, r.h);
        ASSERT_EQ(shown.size(), size_t(windowWidth) * size_t(r.h));
        size_t wrong = 0;
        for (int y = 0; y < r.h; ++y)
            for (int x = 0; x < windowWidth; ++x) {
                const uint32_t p = x < r.w ? xview->current[y * r.w + x] : 0;
                wrong += shown[size_t(y * windowWidth + x)] != (((p >> 5) << 6) | (p & 0x1F));
            }
        EXPECT_EQ(wrong, 0u) << r.w << "x" << r.h;
        // Resized after the window opened, the view is shown as far as both
        // overlap (the sanitizer build sees any write past the window).
        for (uintptr_t side : {uintptr_t(400), uintptr_t(8)}) {
            const TagItem resize[] = {{TAG_XVIEW_WIDTH, side}, {TAG_XVIEW_HEIGHT, side}, {TAG_DONE, 0}};
            ASSERT_EQ(XViewSetAttrs(xview, resize), 1);
            PresentView(view);
        }
        CloseView(view);
        EXPECT_TRUE(SegmentsGoneSoon(getpid()));
    }
}

// A close request stays once made; the rate is whatever RandR reports.
TEST(ViewEvents, CloseRequestsAndRefreshRate)
{
    const std::string name = Display16();
    ScopedDisplay scoped(name);
    const TagItem tags[] = {{TAG_DONE, 0}};
    for (const char* what : {"WM_DELETE_WINDOW", "Escape", "q"}) {
        DView* view = OpenView(0, nullptr, tags);
        ASSERT_NE(view, nullptr);
        EXPECT_LE(unsigned(ViewRefreshRate(view)), 1000u);
        EXPECT_EQ(ViewCloseRequested(view), 0);
        SendToWindow(name, FindWindowByTitle(name, TITLE), what);
        for (int i = 0; i < 500 && !ViewCloseRequested(view); ++i)
            usleep(10000);
        EXPECT_EQ(ViewCloseRequested(view) + ViewCloseRequested(view), 2) << what;
        CloseView(view);
    }
    EXPECT_EQ(ViewCloseRequested(nullptr) + ViewRefreshRate(nullptr), 0);
}

TEST(OpenView, FailuresPrintTheirMessage)
{
    run::TempFolder dir;
    run::Result result = run::RunInChild(dir.Path(), [] {
        setenv("DISPLAY", ":4077", 1);
        const TagItem tags[] = {{TAG_DONE, 0}};
        OpenView(0, nullptr, tags);
    });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "Error! Window could not be opened. Error code: \nERR_CV_DISPLAY: Display could not be opened");
    result = run::RunInChild(dir.Path(), [] {
        const TagItem tags[] = {{TAG_OPENVIEW_WIDTH, 0}, {TAG_DONE, 0}};
        std::printf("%s", OpenView(0, nullptr, tags) ? "view" : "null");
    });
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "cant init xview\nnull");
    CloseView(nullptr);
    PresentView(nullptr);
}

}  // namespace
