// The window layer against real X servers: the exact pixels each kind of
// visual ends up holding, the error paths, and shared-memory hygiene.
#include <gtest/gtest.h>

#include "display/canvo.h"
#include "kvor3d.h"
#include "support/run_program.h"
#include "xserver.h"

#include <X11/Xatom.h>
#include <sys/shm.h>

#include <cstring>

using namespace kvor3d;

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
        multiDepthServer = new PrivateXServer({"-screen", "0", "640x480x24", "-screen", "1", "640x480x16", "-screen",
                                               "2", "640x480x15", "-screen", "3", "640x480x8"},
                                              false);
    }
    void TearDown() override { delete multiDepthServer; }
};

const testing::Environment* const multiDepthEnvironment =
    testing::AddGlobalTestEnvironment(new MultiDepthServerEnvironment);

// Screen 0 to 3 of the server: depths 24, 16, 15 and 8.
std::string Screen(int screen)
{
    return multiDepthServer->DisplayName() + "." + std::to_string(screen);
}

// Six telling pixels in the top-left corner, then a walk through the colours.
std::vector<uint16_t> TestFrame()
{
    std::vector<uint16_t> frame(size_t(W) * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            frame[size_t(y) * W + size_t(x)] = uint16_t((x * 7 + y * 331) & 0x7FFF);
    const uint16_t telling[6] = {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0x0000, 0x1234};
    std::memcpy(frame.data(), telling, sizeof telling);
    return frame;
}

// What a visual of each layout holds for a 15-bit pixel, field by field:
// narrowing keeps the top bits, widening appends zero bits.
uint32_t ExpectedPixel(int layout, uint16_t p)
{
    const uint32_t r = (p >> 10) & 31, g = (p >> 5) & 31, b = p & 31;
    switch (layout) {
    case 8: return ((r >> 2) << 5) | ((g >> 2) << 2) | (b >> 3);
    case 15: return p;
    case 16: return (r << 11) | (g << 6) | b;
    case 24: return (r << 19) | (g << 11) | (b << 3);
    default: return 0xFF000000u | (r << 19) | (g << 11) | (b << 3);
    }
}

// A 15-bit window on each server shows the test frame read back pixel for
// pixel; the first six pixels are also written out. The desktop server
// (DISPLAY, with the Composite extension) offers depth 32 beside the default
// depth 24: a 15-bit source prefers it and writes its alpha opaque.
TEST(CanvoPixels, EachDepthReadsBackPixelExact)
{
    struct Row {
        std::string display;
        int depth, bits, code;
        std::vector<uint32_t> telling;
    };
    const char* desktop = std::getenv("DISPLAY");
    ASSERT_NE(desktop, nullptr) << "these tests need the X server that scripts/test.sh starts (DISPLAY)";
    const Row rows[] = {
        {Screen(2), 15, 16, 66, {0x7FFF, 0x7C00, 0x03E0, 0x001F, 0, 0x1234}},
        {Screen(1), 16, 16, 130, {0xFFDF, 0xF800, 0x07C0, 0x001F, 0, 0x2454}},
        {Screen(0), 24, 32, 514, {0xF8F8F8, 0xF80000, 0x00F800, 0x0000F8, 0, 0x2088A0}},
        {Screen(3), 8, 8, 34, {0xFF, 0xE0, 0x1C, 0x03, 0, 0x32}},
        {desktop, 32, 32, 514, {0xFFF8F8F8, 0xFFF80000, 0xFF00F800, 0xFF0000F8, 0xFF000000, 0xFF2088A0}},
    };
    const std::vector<uint16_t> frame = TestFrame();
    for (const Row& r : rows) {
        ScopedDisplay scoped(r.display);
        Canvo canvo;
        ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, "test"), ERR_CV_NONE) << r.display;
        EXPECT_EQ(canvo.GetVisualDepth(), r.depth) << r.display;
        EXPECT_EQ(canvo.GetImageBitsPerPixel(), r.bits) << r.display;
        EXPECT_EQ(canvo.GetConversionCode(), r.code) << r.display;
        std::memcpy(canvo.GetSourceBuffer(), frame.data(), frame.size() * 2);
        canvo.Refresh();
        const std::vector<uint32_t> shown = ReadWindow(r.display, canvo.GetWindow(), W, H);
        ASSERT_EQ(shown.size(), frame.size()) << r.display;
        EXPECT_EQ(std::vector<uint32_t>(shown.begin(), shown.begin() + 6), r.telling) << r.display;
        size_t wrong = 0;
        for (size_t i = 0; i < frame.size(); ++i)
            wrong += shown[i] != ExpectedPixel(r.depth, frame[i]);
        EXPECT_EQ(wrong, 0u) << r.display;
        // An 8-bit window's colormap entry r×32 + g×4 + b is (32r, 32g, 64b).
        XWindowAttributes attributes{};
        XGetWindowAttributes(canvo.GetDisplay(), canvo.GetWindow(), &attributes);
        for (unsigned pixel = 0; r.depth == 8 && pixel < 256; pixel += 5) {
            XColor colour{pixel, 0, 0, 0, 0, 0};
            XQueryColor(canvo.GetDisplay(), attributes.colormap, &colour);
            EXPECT_EQ((colour.red >> 8) * 65536 + (colour.green >> 8) * 256 + (colour.blue >> 8),
                      32 * (pixel >> 5) * 65536 + 32 * ((pixel >> 2) & 7) * 256 + 64 * (pixel & 3)) << pixel;
        }
        canvo.Close();
    }
}

TEST(CanvoPixels, EightBitSourceOnSixteenBitVisualUsesColourTable)
{
    ScopedDisplay scoped(Screen(1));
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 8, nullptr), ERR_CV_NONE);
    EXPECT_EQ(canvo.GetConversionCode(), 129);
    canvo.SetColor(7, 255, 132, 8);
    std::memset(canvo.GetSourceBuffer(), 7, size_t(W) * H);
    canvo.GetSourceBuffer()[1] = 0;
    canvo.Refresh();
    const std::vector<uint32_t> pixels = ReadWindow(Screen(1), canvo.GetWindow(), W, H);
    ASSERT_EQ(pixels.size(), size_t(W) * H);
    EXPECT_EQ(pixels[0], 31u * 2048 + 33 * 32 + 1);
    EXPECT_EQ(pixels[1], 0u);
    canvo.Close();
}

// Every frame pixel reads back as a scale × scale block, centred on black in
// a larger window: 0 asks for the largest scale within 3/4 of the 640 × 480
// screen (1 for a frame larger than that), full screen for the largest that
// fits it, and a resize by another client (as by a window manager)
// re-chooses the scale.
TEST(CanvoScale, PictureReadsBackAsBlocks)
{
    constexpr int FW = 64, FH = 40;
    struct Row {
        int screen, depth, request;
        bool fullScreen;
        int resizedWidth, resizedHeight, scale, windowWidth, windowHeight;
    };
    const Row rows[] = {
        {1, 16, 1, false, 0, 0, 1, 64, 40},   {1, 16, 2, false, 0, 0, 2, 128, 80},  {1, 16, 3, false, 0, 0, 3, 192, 120},
        {0, 24, 1, false, 0, 0, 1, 64, 40},   {0, 24, 2, false, 0, 0, 2, 128, 80},  {0, 24, 3, false, 0, 0, 3, 192, 120},
        {0, 24, 0, false, 0, 0, 7, 448, 280}, {1, 16, 2, true, 0, 0, 10, 640, 480}, {0, 24, 1, false, 200, 150, 3, 200, 150},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message() << "screen " << r.screen << " scale " << r.scale);
        ScopedDisplay scoped(Screen(r.screen));
        Canvo canvo;
        canvo.SetPresentation(r.request, r.fullScreen);
        ASSERT_EQ(canvo.Open(0, nullptr, FW, FH, 15, "test"), ERR_CV_NONE);
        uint16_t* frame = reinterpret_cast<uint16_t*>(canvo.GetSourceBuffer());
        for (int i = 0; i < FW * FH; ++i)
            frame[i] = uint16_t((i % FW * 7 + i / FW * 331) & 0x7FFF);
        canvo.Refresh();
        if (Display* other = r.resizedWidth ? XOpenDisplay(Screen(r.screen).c_str()) : nullptr) {
            XResizeWindow(other, canvo.GetWindow(), unsigned(r.resizedWidth), unsigned(r.resizedHeight));
            XCloseDisplay(other);
        }
        for (int i = 0; i < 500 && canvo.GetScale() != r.scale; ++i, usleep(10000))
            canvo.Refresh();
        XWindowAttributes window{};
        XGetWindowAttributes(canvo.GetDisplay(), canvo.GetWindow(), &window);
        ASSERT_EQ(window.width * 10000 + window.height, r.windowWidth * 10000 + r.windowHeight);
        const std::vector<uint32_t> shown = ReadWindow(Screen(r.screen), canvo.GetWindow(), window.width, window.height);
        ASSERT_EQ(shown.size(), size_t(window.width * window.height));
        const int left = (window.width - FW * r.scale) / 2, top = (window.height - FH * r.scale) / 2;
        size_t wrong = 0;
        for (int y = 0; y < window.height; ++y)
            for (int x = 0; x < window.width; ++x) {
                const int fx = (x - left) / r.scale, fy = (y - top) / r.scale;
                const bool inside = x >= left && y >= top && fx < FW && fy < FH;
                wrong += shown[size_t(y * window.width + x)] != (inside ? ExpectedPixel(r.depth, frame[fy * FW + fx]) : 0);
            }
        EXPECT_EQ(wrong, 0u);
        Atom type = 0, *state = nullptr;
        int format = 0;
        unsigned long count = 0, after = 0;
        XGetWindowProperty(canvo.GetDisplay(), canvo.GetWindow(), XInternAtom(canvo.GetDisplay(), "_NET_WM_STATE", False), 0, 4,
                           False, XA_ATOM, &type, &format, &count, &after, reinterpret_cast<unsigned char**>(&state));
        EXPECT_EQ(count == 1 && *state == XInternAtom(canvo.GetDisplay(), "_NET_WM_STATE_FULLSCREEN", False), r.fullScreen);
        XFree(state);
        canvo.Close();
    }
    ScopedDisplay scoped(Screen(0));
    Canvo large;
    large.SetPresentation(0, false);
    ASSERT_EQ(large.Open(0, nullptr, 600, 400, 15, "test"), ERR_CV_NONE);
    EXPECT_EQ(large.GetScale(), 1);
}

// Each failure gives its code and text and leaves no segment behind; a
// server that cannot reach our segments (one in another IPC namespace)
// refuses the attach, which is an error code, not the end of the process.
TEST(CanvoErrors, EachFailureGivesItsCodeAndText)
{
    PrivateXServer isolated({"-screen", "0", "640x480x16"}, true);
    ASSERT_FALSE(isolated.DisplayName().empty()) << "could not start Xvfb in its own IPC namespace";
    struct Row {
        std::string display;
        int depth, error;
        const char* text;
    };
    const Row rows[] = {
        {":4077", 15, ERR_CV_DISPLAY, "ERR_CV_DISPLAY: Display could not be opened"},
        {Screen(1), 12, ERR_CV_NO_VISUAL, "ERR_CV_NO_VISUAL: No visual found"},
        {isolated.DisplayName(), 15, ERR_CV_DIRECTVIDEO, "ERR_CV_DIRECTVIDEO: Shared memory frame buffer could not be mapped"},
    };
    for (const Row& r : rows) {
        ScopedDisplay scoped(r.display);
        Canvo canvo;
        EXPECT_EQ(canvo.Open(0, nullptr, W, H, r.depth, nullptr), r.error) << r.display;
        EXPECT_STREQ(canvo.GetErrorText(), r.text);
        EXPECT_TRUE(SegmentsGoneSoon(getpid())) << r.display;
        canvo.Refresh();
        canvo.Close();
        Canvo opened(0, nullptr, W, H, r.depth, nullptr);
        EXPECT_EQ(opened.GetError(), r.error) << r.display;
    }
    ScopedDisplay scoped(Screen(2));
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);
    EXPECT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_INGRAPHICS);
    EXPECT_STREQ(canvo.GetErrorText(), "ERR_CV_INGRAPHICS: Already in a graphics window");
    canvo.Close();
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);  // closed, it opens again
    canvo.Refresh();
    canvo.Close();
    EXPECT_TRUE(SegmentsGoneSoon(getpid()));
    EXPECT_STREQ(CanvoErrorText(ERR_CV_GC), "ERR_CV_GC: Graphics Context could not be allocated");
    EXPECT_STREQ(CanvoErrorText(8), "");
}

TEST(CanvoSharedMemory, SegmentIsPrivateAndMarkedForRemovalWhileOpen)
{
    ASSERT_TRUE(SegmentsGoneSoon(getpid()));
    ScopedDisplay scoped(Screen(2));
    Canvo canvo;
    ASSERT_EQ(canvo.Open(0, nullptr, W, H, 15, nullptr), ERR_CV_NONE);
    const std::vector<SegmentInfo> segments = SegmentsCreatedBy(getpid());
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].mode & 0777, 0600u);
    EXPECT_NE(segments[0].mode & SHM_DEST, 0u);
    canvo.Close();
    EXPECT_TRUE(SegmentsGoneSoon(getpid()));
}

TEST(CanvoSharedMemory, KilledProcessLeavesNoSegment)
{
    const std::string name = Screen(2);
    run::TempFolder dir;
    const pid_t child = run::Start(dir.Path(), [&] {
        setenv("DISPLAY", name.c_str(), 1);
        Canvo* canvo = new Canvo();
        if (canvo->Open(0, nullptr, W, H, 15, nullptr) == ERR_CV_NONE) {
            canvo->Refresh();
            std::puts("shown");
            std::fflush(stdout);
            pause();
        }
    });
    for (int i = 0; i < 200 && run::ReadText(dir.Path(".run.out")).empty(); ++i)
        usleep(50000);
    const std::vector<SegmentInfo> segments = SegmentsCreatedBy(child);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_NE(segments[0].mode & SHM_DEST, 0u);
    kill(child, SIGKILL);
    run::Finish(child, dir.Path());
    EXPECT_TRUE(SegmentsGoneSoon(child));
}

}  // namespace
