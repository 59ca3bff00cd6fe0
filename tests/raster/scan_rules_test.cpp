// The shared scan-conversion rules: which rows and which pixels of a row a
// triangle covers, and where its interpolants start.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace raster_test;

class ScanRules : public ::testing::Test {
protected:
    void SetUp() override { SetUpFrame(frame.Pixels()); }

    // Draws a flat triangle of colour 0x00FFFFFF.
    void DrawFlat(const CornerValues& a, const CornerValues& b, const CornerValues& c)
    {
        Triangle triangle(MakeVertex(a), MakeVertex(b), MakeVertex(c), flat.get());
        DrawTriangle(&triangle.ref);
    }

    // The drawn pixels of one row, as x positions.
    std::vector<int32_t> Row(int32_t y) const
    {
        std::vector<int32_t> xs;
        for (int32_t x = 0; x < WIDTH; ++x) {
            if (frame.At(x, y) != UNWRITTEN)
                xs.push_back(x);
        }
        return xs;
    }

    std::vector<int32_t> Range(int32_t first, int32_t last) const
    {
        std::vector<int32_t> xs;
        for (int32_t x = first; x <= last; ++x)
            xs.push_back(x);
        return xs;
    }

    int32_t DrawnCount() const
    {
        int32_t count = 0;
        for (int32_t y = 0; y < HEIGHT; ++y)
            count += int32_t(Row(y).size());
        return count;
    }

    TestFrame frame;
    ObjectPtr flat = MakeObject(0, 0x00FFFFFF);
};

TEST_F(ScanRules, TriangleWithAllCornersOnOneRowDrawsNothing)
{
    DrawFlat({10, 5}, {50, 5}, {30, 5});
    DrawFlat({10.5f, 7.25f}, {50.5f, 7.25f}, {30, 7.25f});
    EXPECT_EQ(DrawnCount(), 0);
}

TEST_F(ScanRules, SpansIncludeBothEndPixels)
{
    // Legs on x = 10 and y = 10, hypotenuse x + y = 40: every row y from 10
    // to 30 covers x = 10 .. 40 − y, both ends included.
    DrawFlat({10, 10}, {30, 10}, {10, 30});
    for (int32_t y = 10; y <= 30; ++y)
        EXPECT_EQ(Row(y), Range(10, 40 - y)) << "row " << y;
    EXPECT_TRUE(Row(9).empty());
    EXPECT_TRUE(Row(31).empty());
}

TEST_F(ScanRules, RowsRunFromCeilOfTopToFloorOfBottom)
{
    DrawFlat({100.5f, 4.5f}, {140.5f, 9.5f}, {100.5f, 9.5f});
    EXPECT_TRUE(Row(4).empty());
    EXPECT_FALSE(Row(5).empty());
    EXPECT_FALSE(Row(9).empty());
    EXPECT_TRUE(Row(10).empty());

    frame.Fill(UNWRITTEN);
    DrawFlat({100, 4}, {140, 10}, {100, 10});
    EXPECT_EQ(Row(4), Range(100, 100));
    EXPECT_EQ(Row(10), Range(100, 140));
    EXPECT_TRUE(Row(3).empty());
    EXPECT_TRUE(Row(11).empty());
}

TEST_F(ScanRules, HorizontalTopEdgeStillDrawsItsFirstRow)
{
    // The middle corner right of the top one, then left of it: the slope
    // ±32767 puts the long edge on the correct side either way.
    DrawFlat({10, 5}, {20, 5}, {15, 15});
    EXPECT_EQ(Row(5), Range(10, 20));
    frame.Fill(UNWRITTEN);
    DrawFlat({20, 5}, {10, 5}, {15, 15});
    EXPECT_EQ(Row(5), Range(10, 20));
    EXPECT_EQ(Row(15), Range(15, 15));
}

TEST_F(ScanRules, HorizontalBottomEdgeOnAWholeRowIsDrawn)
{
    DrawFlat({15, 5}, {10, 15}, {20, 15});
    EXPECT_EQ(Row(5), Range(15, 15));
    EXPECT_EQ(Row(15), Range(10, 20));
}

TEST_F(ScanRules, SpanWhoseStartLiesPastItsEndDrawsNothing)
{
    // Every row lies between x = 10.2 and 10.8: ceil 11 is past floor 10.
    DrawFlat({10.2f, 5}, {10.8f, 5}, {10.5f, 50});
    EXPECT_EQ(DrawnCount(), 0);
}

TEST_F(ScanRules, ZeroAreaTriangleIsDrawnOnlyByFlatMembers)
{
    // Collinear corners on x = y: whole positions on every row.
    DrawFlat({10, 10}, {20, 20}, {30, 30});
    EXPECT_EQ(DrawnCount(), 21);
    EXPECT_EQ(Row(15), Range(15, 15));

    frame.Fill(UNWRITTEN);
    TexturePtr texture = MakeTexture(3, 3, 1);
    ObjectPtr textured = MakeObject(OBJECT_TEXTURE);
    textured->textureMap = texture.get();
    Triangle triangle(MakeVertex({10, 10}), MakeVertex({20, 20}), MakeVertex({30, 30}), textured.get());
    DrawTriangle(&triangle.ref);
    EXPECT_EQ(DrawnCount(), 0);
}

// The depth filler writes its interpolated w unchanged, so the start rules
// show exactly: w = 1/z is 0.25 on the left edge x = 10.25 and 1.0 at
// x = 26.25, so dw/dx = 0.046875; the first pixel of a row, x = 11, lies
// 0.75 right of the long edge.
TEST_F(ScanRules, SpanStartIsCorrectedBySubPixelDistanceFromLongEdge)
{
    std::vector<float> depth(size_t(WIDTH) * HEIGHT, 0.0f);
    Frame.depthBuffer = depth.data();
    Frame.renderPhase = PHASE_DEPTH;
    Triangle triangle(MakeVertex({10.25f, 0, 4}), MakeVertex({26.25f, 8, 1}), MakeVertex({10.25f, 16, 4}),
                      flat.get());
    DrawTriangle(&triangle.ref);
    const float* row = &depth[size_t(8) * WIDTH];
    EXPECT_EQ(row[10], 0.0f);
    EXPECT_EQ(row[11], 0.25f + 0.75f * 0.046875f);
    EXPECT_EQ(row[12], 0.25f + 0.75f * 0.046875f + 0.046875f);
}

// The interpolants start where the long edge meets the first row: with the
// top corner half a row above it, w there is w_t + 0.5 × dw/dy.
TEST_F(ScanRules, InterpolantsStartWhereLongEdgeMeetsFirstRow)
{
    std::vector<float> depth(size_t(WIDTH) * HEIGHT, 0.0f);
    Frame.depthBuffer = depth.data();
    Frame.renderPhase = PHASE_DEPTH;
    // Long edge x = 10 from w 0.25 at y 0.5 to w 1.0 at y 16.5: dw/dy = 0.046875.
    Triangle triangle(MakeVertex({10, 0.5f, 4}), MakeVertex({26, 0.5f, 4}), MakeVertex({10, 16.5f, 1}),
                      flat.get());
    DrawTriangle(&triangle.ref);
    EXPECT_EQ(depth[size_t(1) * WIDTH + 10], 0.25f + 0.5f * 0.046875f);
    EXPECT_EQ(depth[size_t(2) * WIDTH + 10], 0.25f + 0.5f * 0.046875f + 0.046875f);
    EXPECT_EQ(depth[size_t(0) * WIDTH + 10], 0.0f);
}

}  // namespace
