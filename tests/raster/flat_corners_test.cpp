// The flat fill from corner positions, as the main pass draws listed faces,
// against FillFlat on the same corners as vertices: the same pixels for any
// corner order, ties in y, corners off the frame, and frames narrower than
// a stored span.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using namespace raster_test;

constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();
constexpr float HUGE_VALUE = 3.0e9f;

struct Positions {
    float corners[3][2];
};

// Draws the triangle both ways into two frames of the given size and
// compares them pixel for pixel.
void ExpectSamePixels(const Positions& p, int32_t width, int32_t height)
{
    const ObjectPtr object = MakeObject(0, 0x00C08040);
    TestFrame viaVertices(width, height);
    TestFrame viaPositions(width, height);
    SetUpFrame(viaVertices.Pixels(), width, height);
    Triangle triangle({p.corners[0][0], p.corners[0][1]}, {p.corners[1][0], p.corners[1][1]},
                      {p.corners[2][0], p.corners[2][1]}, object.get());
    FillFlat(&triangle.ref);
    SetUpFrame(viaPositions.Pixels(), width, height);
    FillFlatCorners(p.corners, *object);
    EXPECT_EQ(viaVertices.Copy(), viaPositions.Copy());
    EXPECT_TRUE(viaPositions.GuardsIntact());
}

TEST(FlatCorners, SamePixelsAsFillFlatInEveryCornerOrder)
{
    const Positions table[] = {
        {{{10.0f, 10.0f}, {14.5f, 12.0f}, {11.0f, 16.3f}}},    // small, all apart
        {{{10.0f, 10.0f}, {14.0f, 10.0f}, {12.0f, 13.0f}}},    // flat top
        {{{10.0f, 13.0f}, {14.0f, 13.0f}, {12.0f, 10.0f}}},    // flat bottom
        {{{10.2f, 10.5f}, {10.7f, 10.5f}, {10.4f, 10.5f}}},    // all on one y
        {{{5.0f, 5.0f}, {5.0f, 9.0f}, {5.0f, 7.0f}}},          // zero width
        {{{20.0f, 20.0f}, {20.0f, 20.0f}, {24.0f, 22.0f}}},    // two corners alike
        {{{30.1f, 40.2f}, {30.6f, 40.9f}, {30.9f, 40.4f}}},    // between rows and columns
        {{{-50.0f, -30.0f}, {400.0f, 60.0f}, {100.0f, 260.0f}}},  // over every edge
        {{{0.0f, 0.0f}, {319.0f, 0.0f}, {0.0f, 199.0f}}},      // long spans
        {{{10.0f, -0.5f}, {12.0f, -0.25f}, {11.0f, 3.0f}}},    // top rows above the frame
        {{{NOT_A_NUMBER, 10.0f}, {14.0f, 12.0f}, {11.0f, 16.0f}}},
        {{{10.0f, NOT_A_NUMBER}, {14.0f, 12.0f}, {11.0f, 16.0f}}},
        {{{10.0f, 10.0f}, {HUGE_VALUE, 12.0f}, {11.0f, 16.0f}}},
        {{{10.0f, -HUGE_VALUE}, {14.0f, 12.0f}, {11.0f, 16.0f}}},
    };
    const int orders[6][3] = {{0, 1, 2}, {0, 2, 1}, {1, 0, 2}, {1, 2, 0}, {2, 0, 1}, {2, 1, 0}};
    for (const Positions& p : table) {
        for (const auto& order : orders) {
            Positions turned;
            for (int i = 0; i < 3; ++i) {
                turned.corners[i][0] = p.corners[order[i]][0];
                turned.corners[i][1] = p.corners[order[i]][1];
            }
            SCOPED_TRACE(testing::Message() << "first corner " << order[0] << ", second " << order[1]);
            ExpectSamePixels(turned, WIDTH, HEIGHT);
            ExpectSamePixels(turned, 3, 40);
            ExpectSamePixels(turned, 1, 40);
        }
    }
}

}  // namespace
