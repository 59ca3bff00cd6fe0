// The window layer against real X servers: the exact pixels each kind of
// visual ends up holding, the error paths, and shared-memory hygiene.

#include <gtest/gtest.h>

#include "display/canvo.h"
#include "kvor3d.h"
#include "xserver.h"

#include <sys/shm.h>

#include <cstring>
#include <memory>

namespace {

constexpr int W = 320;
constexpr int H = 200;

// One server with a screen of each classic depth (servers with several
// screens run without the Composite extension, so screen 0 is a plain
// depth-24 screen stored in 32-bit pixels).
PrivateXServer* multiDepthServer = nullptr;

class MultiDepthServerEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        multiDepthServer = new PrivateXServer({"-screen", "0", "640x480x24", "-screen", "1", "640x480x16",
                                               "-screen", "2", "640x480x15", "-screen", "3", "640x480x8"},
                                              false);
    }
    void TearDown() override
    {
        delete multiDepthServer;
        multiDepthServer = nullptr;
    }
};

const testing::Environment* const multiDepthEnvironment =
    testing::AddGlobalTestEnvironment(new MultiDepthServerEnvironment);

std::string ScreenOfDepth(int depth)
{
    if (!multiDepthServer || multiDepthServer->DisplayName().empty())
        return "";
    switch (depth) {
    case 24: return multiDepthServer->DisplayName() + ".0";
    case 16: return multiDepthServer->DisplayName() + ".1";
    case 15: return multiDepthServer->DisplayName() + ".2";
    case 8: return multiDepthServer->DisplayName() + ".3";
    default: return "";
    }
}

std::string DesktopDisplay()
{
    const char* name = std::getenv("DISPLAY");
    return name ? name : "";
}

// Six telling pixels in the top-left corner, then a pattern that walks
// through the 15-bit colours.
std::vector<uint16_t> TestFrame(int width, int height)
{
    std::vector<uint16_t> frame(size_t(width) * size_t(height));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            frame[size_t(y) * size_t(width) + size_t(x)] = uint16_t((x * 7 + y * 331) & 0x7FFF);
    const uint16_t telling[6] = {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x0000, 0x1234};
    std::memcpy(frame.data(), telling, sizeof telling);
    return frame;
}

// What a visual of each layout holds for a 15-bit pixel, written out field
// by field: narrowing keeps the top bits, widening appends zero bits.
uint32_t ExpectedPixel(int layout, uint16_t p)
{
    uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
    switch (layout) {
    case 8: return ((r >> 2) << 5) | ((g >> 2) << 2) | (b >> 3);
    case 15: return p;
    case 16: return (r << 11) | (g << 6) | b;
    case 24: return (r << 19) | (g << 11) | (b << 3);
    case 32: return 0xFF000000u | (r << 19) | (g << 11) | (b << 3);
    default: return 0;
    }
}

struct Shown {
    int error = -1;
    int visualDepth = 0;
    int code = 0;
    int bitsPerPixel = 0;
    std::vector<uint32_t> pixels;
};

// Opens a 15-bit window on `displayName`, shows the test frame and reads
// the window back.
Shown ShowTestFrame(const std::string& displayName)
{
    Shown shown;
    ScopedDisplay scoped(displayName);
    Canvo canvo;
    shown.error = canvo.Open(0, nullptr, W, H, 15, "test");
    if (shown.error != ERR_CV_NONE)
        return shown;
    shown.visualDepth = canvo.GetVisualDepth();
    shown.code = canvo.GetConversionCode();
    shown.bitsPerPixel = canvo.GetImageBitsPerPixel();
    std::vector<uint16_t> frame = TestFrame(W, H);
    std::memcpy(canvo.GetSourceBuffer(), frame.data(), frame.size() * 2);
    canvo.Refresh();
    shown.pixels = ReadWindow(displayName, canvo.GetWindow(), W, H);
    canvo.Close();
    return shown;
}

void ExpectFrame(const Shown& shown, int layout)
{
    std::vector<uint16_t> frame = TestFrame(W, H);
    ASSERT_EQ(shown.pixels.size(), frame.size());
    size_t wrong = 0;
    for (size_t i = 0; i < frame.size(); ++i)
        wrong += shown.pixels[i] != ExpectedPixel(layout, frame[i]);
    EXPECT_EQ(wrong, 0u) << "pixels differing from the expected conversion";
}

TEST(CanvoPixels, FifteenBitVisualHoldsTheFrameUnchanged)
{
    Shown shown = ShowTestFrame(ScreenOfDepth(15));
    ASSERT_EQ(shown.error, ERR_CV_NONE);
    EXPECT_EQ(shown.visualDepth, 15);
    EXPECT_EQ(shown.code, 66);
    ExpectFrame(shown, 15);
}

TEST(CanvoPixels, SixteenBitVisualGainsAZeroGreenBit)
{
    Shown shown = ShowTestFrame(ScreenOfDepth(16));
    ASSERT_EQ(shown.error, ERR_CV_NONE);
    EXPECT_EQ(shown.visualDepth, 16);
    EXPECT_EQ(shown.code, 130);
    ASSERT_GE(shown.pixels.size(), 6u);
    EXPECT_EQ(shown.pixels[0], 0xFFDFu);
    EXPECT_EQ(shown.pixels[1], 0xF800u);
    EXPECT_EQ(shown.pixels[2], 0x07C0u);
    EXPECT_EQ(shown.pixels[3], 0x001Fu);
    EXPECT_EQ(shown.pixels[4], 0x0000u);
    EXPECT_EQ(shown.pixels[5], 0x2454u);
    ExpectFrame(shown, 16);
}

TEST(CanvoPixels, DepthTwentyFourInThirtyTwoBitPixelsShowsTrueColours)
{
    Shown shown = ShowTestFrame(ScreenOfDepth(24));
    ASSERT_EQ(shown.error, ERR_CV_NONE);
    EXPECT_EQ(shown.visualDepth, 24);
    EXPECT_EQ(shown.bitsPerPixel, 32);
    EXPECT_EQ(shown.code, 514);
    ASSERT_GE(shown.pixels.size(), 6u);
    EXPECT_EQ(shown.pixels[0], 0xF8F8F8u);
    EXPECT_EQ(shown.pixels[1], 0xF80000u);
    EXPECT_EQ(shown.pixels[2], 0x00F800u);
    EXPECT_EQ(shown.pixels[3], 0x0000F8u);
    EXPECT_EQ(shown.pixels[4], 0x000000u);
    EXPECT_EQ(shown.pixels[5], 0x2088A0u);
    ExpectFrame(shown, 24);
}

TEST(CanvoPixels, EightBitVisualHoldsColourCubeIndices)
{
    std::string name = ScreenOfDepth(8);
    Shown shown = ShowTestFrame(name);
    ASSERT_EQ(shown.error, ERR_CV_NONE);
    EXPECT_EQ(shown.visualDepth, 8);
    EXPECT_EQ(shown.code, 34);
    ASSERT_GE(shown.pixels.size(), 6u);
    EXPECT_EQ(shown.pixels[0], 0xFFu);
    EXPECT_EQ(shown.pixels[1], 0xE0u);
    EXPECT_EQ(shown.pixels[2], 0x1Cu);
    EXPECT_EQ(shown.pixels[3], 0x03u);
    EXPECT_EQ(shown.pixels[4], 0x00u);
    EXPECT_EQ(shown.pixels[5], 0x32u);
    ExpectFrame(shown, 8);
}

TEST(CanvoPixels, EightBitWindowColormapHoldsTheColourCube)
{
    std::string name = ScreenOfDepth(8);
    ScopedDisplay scoped(name);
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);
    Display* display = canvo.GetDisplay();
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(display, canvo.GetWindow(), &attributes));
    for (int r = 0; r < 8; r += 7) {
        for (int g = 0; g < 8; g += 3) {
            for (int b = 0; b < 4; ++b) {
                XColor colour{};
                colour.pixel = unsigned(r * 32 + g * 4 + b);
                XQueryColor(display, attributes.colormap, &colour);
                // The server keeps 8 significant bits of each component.
                EXPECT_EQ(colour.red >> 8, 32 * r) << colour.pixel;
                EXPECT_EQ(colour.green >> 8, 32 * g) << colour.pixel;
                EXPECT_EQ(colour.blue >> 8, 64 * b) << colour.pixel;
            }
        }
    }
    canvo.Close();
}

// A stock desktop server offers depth-32 visuals beside the default depth-24
// one; a 15-bit source prefers depth 32, which needs a colormap of its own,
// and its alpha channel must be written opaque.
TEST(CanvoPixels, DesktopServerPicksThirtyTwoBitVisualAndWritesAlphaOpaque)
{
    std::string name = DesktopDisplay();
    ASSERT_FALSE(name.empty()) << "these tests need the X server that scripts/test.sh starts (DISPLAY)";
    Shown shown = ShowTestFrame(name);
    ASSERT_EQ(shown.error, ERR_CV_NONE);
    ASSERT_EQ(shown.visualDepth, 32) << "DISPLAY should be a depth-24 server with the Composite extension";
    EXPECT_EQ(shown.code, 514);
    ASSERT_GE(shown.pixels.size(), 6u);
    EXPECT_EQ(shown.pixels[0], 0xFFF8F8F8u);
    EXPECT_EQ(shown.pixels[4], 0xFF000000u);
    ExpectFrame(shown, 32);
}

TEST(CanvoPixels, EightBitSourceOnSixteenBitVisualUsesColourTable)
{
    std::string name = ScreenOfDepth(16);
    ScopedDisplay scoped(name);
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 8, nullptr), ERR_CV_NONE);
    EXPECT_EQ(canvo.GetConversionCode(), 129);
    canvo.SetColor(7, 255, 128, 8);
    std::memset(canvo.GetSourceBuffer(), 7, size_t(W) * H);
    canvo.GetSourceBuffer()[1] = 0;
    canvo.Refresh();
    std::vector<uint32_t> pixels = ReadWindow(name, canvo.GetWindow(), W, H);
    ASSERT_EQ(pixels.size(), size_t(W) * H);
    EXPECT_EQ(pixels[0], uint32_t((255 / 8) * 2048 + (128 / 4) * 32 + 8 / 8));
    EXPECT_EQ(pixels[1], 0u);
    canvo.Close();
}

TEST(CanvoGeometry, WidthIsRoundedUpToAMultipleOfEight)
{
    ScopedDisplay scoped(ScreenOfDepth(16));
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, 321, 10, 15, nullptr), ERR_CV_NONE);
    EXPECT_EQ(canvo.GetWidth(), 328);
    EXPECT_EQ(canvo.GetSourceBytesPerLine(), 656);
    XWindowAttributes attributes{};
    ASSERT_TRUE(XGetWindowAttributes(canvo.GetDisplay(), canvo.GetWindow(), &attributes));
    EXPECT_EQ(attributes.width, 328);
    EXPECT_EQ(attributes.height, 10);
    canvo.Close();
}

TEST(CanvoGeometry, WindowCarriesTitleAndClass)
{
    ScopedDisplay scoped(ScreenOfDepth(16));
    char program[] = "kvortest";
    char* argv[] = {program, nullptr};
    Canvo canvo;
    ASSERT_EQ(canvo.Open(1, argv, W, H, 15, "Kvoral 3D Render Window"), ERR_CV_NONE);
    char* title = nullptr;
    ASSERT_TRUE(XFetchName(canvo.GetDisplay(), canvo.GetWindow(), &title));
    EXPECT_STREQ(title, "Kvoral 3D Render Window");
    XFree(title);
    XClassHint hint{};
    ASSERT_TRUE(XGetClassHint(canvo.GetDisplay(), canvo.GetWindow(), &hint));
    EXPECT_STREQ(hint.res_name, "kvortest");
    EXPECT_STREQ(hint.res_class, "Canvo");
    XFree(hint.res_name);
    XFree(hint.res_class);
    canvo.Close();
}

TEST(CanvoErrors, MissingDisplayReportsDisplayError)
{
    ScopedDisplay scoped(":4077");
    Canvo canvo;
    EXPECT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_DISPLAY);
    EXPECT_EQ(canvo.GetError(), ERR_CV_DISPLAY);
    EXPECT_STREQ(canvo.GetErrorText(), "ERR_CV_DISPLAY: Display could not be opened");
}

TEST(CanvoErrors, OpeningTwiceReportsInGraphics)
{
    ScopedDisplay scoped(ScreenOfDepth(15));
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);
    EXPECT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_INGRAPHICS);
    EXPECT_STREQ(canvo.GetErrorText(), "ERR_CV_INGRAPHICS: Already in a graphics window");
    canvo.Close();
}

TEST(CanvoErrors, ConstructorWithOpenStoresTheResult)
{
    ScopedDisplay scoped(":4077");
    Canvo canvo(0, nullptr, W, H, 15, nullptr);
    EXPECT_EQ(canvo.GetError(), ERR_CV_DISPLAY);
}

TEST(CanvoErrors, ErrorTextsAreExact)
{
    EXPECT_STREQ(CanvoErrorText(0), "ERR_CV_NONE: No error");
    EXPECT_STREQ(CanvoErrorText(1), "ERR_CV_GC: Graphics Context could not be allocated");
    EXPECT_STREQ(CanvoErrorText(2), "ERR_CV_DISPLAY: Display could not be opened");
    EXPECT_STREQ(CanvoErrorText(3), "ERR_CV_NO_VISUAL: No visual found");
    EXPECT_STREQ(CanvoErrorText(4), "ERR_CV_PROPERTIES: Properties could not be set");
    EXPECT_STREQ(CanvoErrorText(5), "ERR_CV_VIRTUALSCREEN: Virtual screen could not be allocated");
    EXPECT_STREQ(CanvoErrorText(6), "ERR_CV_INGRAPHICS: Already in a graphics window");
    EXPECT_STREQ(CanvoErrorText(7), "ERR_CV_DIRECTVIDEO: Shared memory frame buffer could not be mapped");
}

TEST(CanvoErrors, UnsupportedSourceDepthFindsNoVisual)
{
    ScopedDisplay scoped(ScreenOfDepth(16));
    Canvo canvo;
    EXPECT_EQ(canvo.Open(0, nullptr, W, H, 12, nullptr), ERR_CV_NO_VISUAL);
    EXPECT_STREQ(canvo.GetErrorText(), "ERR_CV_NO_VISUAL: No visual found");
    EXPECT_TRUE(SegmentsGoneSoon(getpid()));
}

// A server that cannot reach our segments (here: one in another IPC
// namespace) refuses the attach; that is an error code, not the end of the
// process, and nothing is left behind.
TEST(CanvoErrors, ServerThatCannotShareMemoryReportsDirectVideo)
{
    PrivateXServer server({"-screen", "0", "640x480x16"}, true);
    ASSERT_FALSE(server.DisplayName().empty()) << "could not start Xvfb in its own IPC namespace";
    ScopedDisplay scoped(server.DisplayName());
    Canvo canvo;
    EXPECT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_DIRECTVIDEO);
    EXPECT_STREQ(canvo.GetErrorText(), "ERR_CV_DIRECTVIDEO: Shared memory frame buffer could not be mapped");
    EXPECT_TRUE(SegmentsGoneSoon(getpid()));
    canvo.Refresh();
    canvo.Close();
}

TEST(CanvoSharedMemory, SegmentIsPrivateAndMarkedForRemovalWhileOpen)
{
    ASSERT_TRUE(SegmentsGoneSoon(getpid()));
    ScopedDisplay scoped(ScreenOfDepth(15));
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);
    std::vector<SegmentInfo> segments = SegmentsCreatedBy(getpid());
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].mode & 0777, 0600u);
    EXPECT_NE(segments[0].mode & SHM_DEST, 0u);
    canvo.Close();
    EXPECT_TRUE(SegmentsGoneSoon(getpid()));
}

TEST(CanvoSharedMemory, KilledProcessLeavesNoSegment)
{
    std::string name = ScreenOfDepth(15);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        setenv("DISPLAY", name.c_str(), 1);
        Canvo* canvo = new Canvo();
        char opened = canvo->Open(0, nullptr, W, H, 15, nullptr) == ERR_CV_NONE ? 'y' : 'n';
        ssize_t written = write(fds[1], &opened, 1);
        (void)written;
        pause();
        _exit(0);
    }
    close(fds[1]);
    char opened = 0;
    ASSERT_EQ(read(fds[0], &opened, 1), 1);
    close(fds[0]);
    ASSERT_EQ(opened, 'y');
    std::vector<SegmentInfo> segments = SegmentsCreatedBy(child);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_NE(segments[0].mode & SHM_DEST, 0u);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    // The server may keep the dead client's pixmap as its cached background
    // tile until it paints another background; another window's life makes
    // it let go, and the segment, already marked for removal, goes with it.
    {
        ScopedDisplay scoped(name);
        Canvo other;
        ASSERT_EQ(other.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);
        other.Refresh();
        other.Close();
    }
    EXPECT_TRUE(SegmentsGoneSoon(child));
}

TEST(CanvoSharedMemory, ReopeningAfterCloseWorks)
{
    ScopedDisplay scoped(ScreenOfDepth(16));
    Canvo canvo;
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);
        canvo.Refresh();
        canvo.Close();
    }
    EXPECT_TRUE(SegmentsGoneSoon(getpid()));
}

}  // namespace
