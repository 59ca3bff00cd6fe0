// OpenView / PresentView / CloseView against a real X server.

#include <gtest/gtest.h>

#include "kvor3d.h"
#include "xserver.h"

#include <cstring>

namespace {

std::string Display16()
{
    static PrivateXServer server({"-screen", "0", "640x480x16"}, false);
    return server.DisplayName();
}

constexpr const char* TITLE = "Kvoral 3D Render Window";

TEST(OpenView, EmptyTagListOpensSingleBuffered320x200)
{
    ScopedDisplay scoped(Display16());
    TagItem tags[] = {{TAG_DONE, 0}};
    DView* view = OpenView(0, nullptr, tags);
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->xview, nullptr);
    EXPECT_EQ(view->xview->width, 320);
    EXPECT_EQ(view->xview->height, 200);
    EXPECT_EQ(view->xview->bytesPerPixel, 2);
    EXPECT_EQ(view->xview->flags & XVIEW_DOUBLEBUFFER, 0u);
    EXPECT_NE(view->xview->current, nullptr);
    EXPECT_EQ(view->xview->bufferA, nullptr);
    EXPECT_EQ(view->reserved[0] | view->reserved[1] | view->reserved[2], 0u);
    CloseView(view);
    EXPECT_TRUE(SegmentsGoneSoon(getpid()));
}

TEST(OpenView, DoubleBufferFlagIsReadFromLow16Bits)
{
    ScopedDisplay scoped(Display16());
    TagItem high[] = {{TAG_OPENVIEW_DOUBLEBUFFER, 0x10000}, {TAG_DONE, 0}};
    DView* view = OpenView(0, nullptr, high);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->xview->flags & XVIEW_DOUBLEBUFFER, 0u);
    CloseView(view);

    TagItem low[] = {{TAG_OPENVIEW_DOUBLEBUFFER, 1}, {TAG_DONE, 0}};
    view = OpenView(0, nullptr, low);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->xview->flags & XVIEW_DOUBLEBUFFER, XVIEW_DOUBLEBUFFER);
    EXPECT_EQ(view->xview->current, view->xview->bufferA);
    EXPECT_NE(view->xview->bufferB, nullptr);
    CloseView(view);
}

TEST(PresentView, ShowsTheCurrentBuffer)
{
    std::string name = Display16();
    ScopedDisplay scoped(name);
    TagItem tags[] = {{TAG_OPENVIEW_WIDTH, 64}, {TAG_OPENVIEW_HEIGHT, 16}, {TAG_OPENVIEW_DEPTH, 15}, {TAG_DONE, 0}};
    DView* view = OpenView(0, nullptr, tags);
    ASSERT_NE(view, nullptr);
    uint16_t* pixels = view->xview->current;
    for (int i = 0; i < 64 * 16; ++i)
        pixels[i] = uint16_t(i * 37 & 0x7FFF);
    PresentView(view);
    Window window = FindWindowByTitle(name, TITLE);
    ASSERT_NE(window, 0u);
    std::vector<uint32_t> shown = ReadWindow(name, window, 64, 16);
    ASSERT_EQ(shown.size(), 64u * 16u);
    for (int i = 0; i < 64 * 16; ++i) {
        uint32_t p = pixels[i];
        ASSERT_EQ(shown[size_t(i)], ((p >> 5) << 6) | (p & 0x1F)) << "pixel " << i;
    }
    CloseView(view);
}

// The window is 328 pixels wide for a 321-pixel view; the frame still
// lands line for line, with the extra columns left black.
TEST(PresentView, WidthNotAMultipleOfEightStillShowsLineForLine)
{
    std::string name = Display16();
    ScopedDisplay scoped(name);
    TagItem tags[] = {{TAG_OPENVIEW_WIDTH, 321}, {TAG_OPENVIEW_HEIGHT, 4}, {TAG_DONE, 0}};
    DView* view = OpenView(0, nullptr, tags);
    ASSERT_NE(view, nullptr);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 321; ++x)
            view->xview->current[y * 321 + x] = uint16_t(x == 0 ? 0x001F : x == 320 ? 0x7C00 : 0);
    PresentView(view);
    Window window = FindWindowByTitle(name, TITLE);
    ASSERT_NE(window, 0u);
    std::vector<uint32_t> shown = ReadWindow(name, window, 328, 4);
    ASSERT_EQ(shown.size(), 328u * 4u);
    for (int y = 0; y < 4; ++y) {
        EXPECT_EQ(shown[size_t(y) * 328], 0x001Fu) << "row " << y;
        EXPECT_EQ(shown[size_t(y) * 328 + 320], 0xF800u) << "row " << y;
        EXPECT_EQ(shown[size_t(y) * 328 + 321], 0u) << "row " << y;
    }
    CloseView(view);
}

// A view resized after the window opened is shown as far as both overlap.
TEST(PresentView, ResizedViewNeverWritesPastTheWindow)
{
    ScopedDisplay scoped(Display16());
    TagItem tags[] = {{TAG_OPENVIEW_WIDTH, 64}, {TAG_OPENVIEW_HEIGHT, 32}, {TAG_DONE, 0}};
    DView* view = OpenView(0, nullptr, tags);
    ASSERT_NE(view, nullptr);
    TagItem bigger[] = {{TAG_XVIEW_WIDTH, 200}, {TAG_XVIEW_HEIGHT, 100}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view->xview, bigger), 1);
    std::fill(view->xview->current, view->xview->current + 200 * 100, uint16_t(0x7FFF));
    PresentView(view);
    TagItem smaller[] = {{TAG_XVIEW_WIDTH, 8}, {TAG_XVIEW_HEIGHT, 8}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view->xview, smaller), 1);
    PresentView(view);
    CloseView(view);
}

TEST(OpenView, WindowFailurePrintsTheErrorAndExitsWithStatusOne)
{
    int status = 0;
    std::string out = RunCapturingStdout(
        [] {
            setenv("DISPLAY", ":4077", 1);
            TagItem tags[] = {{TAG_DONE, 0}};
            OpenView(0, nullptr, tags);
        },
        status);
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "Error! Window could not be opened. Error code: \nERR_CV_DISPLAY: Display could not be opened");
}

TEST(OpenView, MissingSizeFailsWithMessage)
{
    int status = 0;
    std::string out = RunCapturingStdout(
        [] {
            TagItem tags[] = {{TAG_OPENVIEW_WIDTH, 0}, {TAG_DONE, 0}};
            DView* view = OpenView(0, nullptr, tags);
            std::printf("%s", view ? "view" : "null");
        },
        status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, "cant init xview\nnull");
}

TEST(CloseView, NullDoesNothing)
{
    CloseView(nullptr);
    PresentView(nullptr);
}

}  // namespace
