// The glow-edge filler: integer corners, the pixels it marks in the main
// pass, and the glow sprite it stamps at silhouette pixels in the glow pass.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace raster_test;

constexpr uint32_t SPRITE_SIZE = 5;  // h = 2

class GlowEdge : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpFrame(frame.Pixels());
        object = MakeObject(OBJECT_GLOWEDGE | OBJECT_GLOW);
        object->glowImage = static_cast<uint8_t*>(MemAlloc(65536, 1));
        object->glowImageSize = SPRITE_SIZE;
        for (uint32_t i = 0; i < SPRITE_SIZE * SPRITE_SIZE; ++i)
            object->glowImage[i] = uint8_t(10 + i);
        buffer.width = WIDTH;
        buffer.height = HEIGHT;
        buffer.pixels = glow.data();
        buffer.x0 = 32767;
        buffer.x1 = -32768;
        buffer.y0 = 32767;
        buffer.y1 = -32768;
        object->glowBuffer = &buffer;
    }

    void TearDown() override { object->glowBuffer = nullptr; }

    // The square 10..20 × 10..20 as two triangles, in the given phase.
    void DrawSquare(int32_t phase)
    {
        Frame.renderPhase = phase;
        Triangle first(MakeVertex({10.7f, 10.2f}), MakeVertex({20.9f, 10.5f}), MakeVertex({20.1f, 20.99f}),
                       object.get());
        Triangle second(MakeVertex({10.3f, 10.8f}), MakeVertex({20.2f, 20.3f}), MakeVertex({10.6f, 20.4f}),
                        object.get());
        DrawTriangle(&first.ref);
        DrawTriangle(&second.ref);
    }

    uint8_t Glow(int32_t x, int32_t y) const { return glow[size_t(y) * WIDTH + size_t(x)]; }
    uint8_t Sprite(int32_t column, int32_t row) const { return object->glowImage[row * SPRITE_SIZE + column]; }

    TestFrame frame;
    ObjectPtr object;
    std::vector<uint8_t> glow = std::vector<uint8_t>(size_t(WIDTH) * HEIGHT, 0);
    GlowBuffer buffer{};
};

TEST_F(GlowEdge, MainPassMarksEveryCoveredPixelOfTheIntegerCorners)
{
    // Corners (10, 10), (20, 10), (10, 20): row y covers x = 10 .. 30 − y.
    Triangle triangle(MakeVertex({10.9f, 10.9f}), MakeVertex({20.5f, 10.1f}), MakeVertex({10.2f, 20.7f}),
                      object.get());
    DrawTriangle(&triangle.ref);
    int marked = 0;
    for (int32_t y = 0; y < HEIGHT; ++y) {
        for (int32_t x = 0; x < WIDTH; ++x) {
            const bool inside = y >= 10 && y <= 20 && x >= 10 && x <= 30 - y;
            EXPECT_EQ(frame.At(x, y), inside ? GLOWEDGE_COVERED : UNWRITTEN) << x << ", " << y;
            marked += inside;
        }
    }
    EXPECT_EQ(marked, 66);
}

TEST_F(GlowEdge, GlowPassStampsTheSpriteOutwardFromSilhouettePixels)
{
    DrawSquare(PHASE_MAIN);
    DrawSquare(PHASE_GLOW);
    // Every marked pixel is examined once and gets the full glow byte.
    for (int32_t y = 10; y <= 20; ++y) {
        for (int32_t x = 10; x <= 20; ++x) {
            EXPECT_EQ(frame.At(x, y), GLOWEDGE_DONE);
            EXPECT_EQ(Glow(x, y), 0xFF);
        }
    }
    // Left of the left side only its own row's pixel reaches: the window is
    // cut at the centre toward the marked neighbours above and below.
    EXPECT_EQ(Glow(8, 15), Sprite(0, 2));
    EXPECT_EQ(Glow(9, 15), Sprite(1, 2));
    EXPECT_EQ(Glow(22, 15), Sprite(4, 2));
    EXPECT_EQ(Glow(15, 8), Sprite(2, 0));
    EXPECT_EQ(Glow(15, 22), Sprite(2, 4));
    // At a corner the window opens toward both unmarked sides.
    EXPECT_EQ(Glow(8, 8), Sprite(0, 0));
    EXPECT_EQ(Glow(22, 22), Sprite(4, 4));
    EXPECT_EQ(Glow(7, 15), 0);
    EXPECT_EQ(Glow(15, 23), 0);
    // The box takes in every corner ± h.
    EXPECT_EQ(buffer.x0, 8);
    EXPECT_EQ(buffer.x1, 22);
    EXPECT_EQ(buffer.y0, 8);
    EXPECT_EQ(buffer.y1, 22);
}

TEST_F(GlowEdge, OverdrawnPixelsAreNotExamined)
{
    DrawSquare(PHASE_MAIN);
    frame.At(15, 15) = 0x1234;
    DrawSquare(PHASE_GLOW);
    EXPECT_EQ(frame.At(15, 15), 0x1234);
    // Its neighbours now border an unmarked pixel and stamp toward it.
    EXPECT_EQ(Glow(15, 15), std::max(Sprite(1, 2), std::max(Sprite(3, 2), std::max(Sprite(2, 1), Sprite(2, 3)))));
}

TEST_F(GlowEdge, BoxIsLimitedToTheScreen)
{
    Frame.renderPhase = PHASE_GLOW;
    Triangle triangle(MakeVertex({0, 0}), MakeVertex({319, 0}), MakeVertex({0, 199}), object.get());
    DrawTriangle(&triangle.ref);
    EXPECT_EQ(buffer.x0, 0);
    EXPECT_EQ(buffer.x1, WIDTH - 1);
    EXPECT_EQ(buffer.y0, 0);
    EXPECT_EQ(buffer.y1, HEIGHT - 1);
}

}  // namespace
