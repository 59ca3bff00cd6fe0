// The flat fill from corner positions, as the main pass draws listed faces
// in batches set up side by side, against FillFlat on the same corners as
// vertices: the same pixels for any corner order, ties in y, corners off
// the frame or beyond the conversions' range, frames narrower than a stored
// span, and full and partial batches.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace kvor3d;

namespace {

using namespace raster_test;

constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();
constexpr float HUGE_VALUE = 3.0e9f;

struct Positions {
    float corners[3][2];
};

// Draws the triangles into two frames of the given size, one by one with
// FillFlat on the corners as vertices and from their positions in batches
// of `batch`, each triangle in its own colour, and compares the frames pixel
// for pixel.
void ExpectSamePixels(const std::vector<Positions>& triangles, int32_t width, int32_t height, int32_t batch)
{
    std::vector<ObjectPtr> objects;
    for (size_t i = 0; i < triangles.size(); ++i)
        objects.push_back(MakeObject(0, uint32_t(0x00C08040 + 0x081018 * i) & 0x00F8F8F8));
    TestFrame viaVertices(width, height);
    TestFrame viaPositions(width, height);
    SetUpFrame(viaVertices.Pixels(), width, height);
    for (size_t i = 0; i < triangles.size(); ++i) {
        const Positions& p = triangles[i];
        Triangle triangle({p.corners[0][0], p.corners[0][1]}, {p.corners[1][0], p.corners[1][1]},
                          {p.corners[2][0], p.corners[2][1]}, objects[i].get());
        FillFlat(&triangle.ref);
    }
    SetUpFrame(viaPositions.Pixels(), width, height);
    for (size_t first = 0; first < triangles.size(); first += size_t(batch)) {
        const float (*corners[FLAT_BATCH])[2];
        const ObjectEntity* owners[FLAT_BATCH];
        const int32_t count = int32_t(std::min(triangles.size() - first, size_t(batch)));
        for (int32_t i = 0; i < count; ++i) {
            corners[i] = triangles[first + size_t(i)].corners;
            owners[i] = objects[first + size_t(i)].get();
        }
        FillFlatCornerBatch(corners, owners, count);
    }
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
    std::vector<Positions> all;
    for (const Positions& p : table) {
        for (const auto& order : orders) {
            Positions turned;
            for (int i = 0; i < 3; ++i) {
                turned.corners[i][0] = p.corners[order[i]][0];
                turned.corners[i][1] = p.corners[order[i]][1];
            }
            all.push_back(turned);
            SCOPED_TRACE(testing::Message() << "triangle " << all.size() - 1);
            ExpectSamePixels({turned}, WIDTH, HEIGHT, 1);
            ExpectSamePixels({turned}, 3, 40, 1);
            ExpectSamePixels({turned}, 1, 40, 1);
        }
    }
    ExpectSamePixels(all, WIDTH, HEIGHT, FLAT_BATCH);
    ExpectSamePixels(all, 3, 40, FLAT_BATCH);
}

TEST(FlatCorners, SamePixelsAsFillFlatForRandomTriangles)
{
    TriangleSource source(7);
    std::vector<Positions> triangles(300);
    for (Positions& p : triangles) {
        const CornerSet corners = source.Next();
        for (int i = 0; i < 3; ++i) {
            p.corners[i][0] = corners[i].x;
            p.corners[i][1] = corners[i].y;
        }
    }
    ExpectSamePixels(triangles, WIDTH, HEIGHT, FLAT_BATCH);
    ExpectSamePixels(triangles, WIDTH, HEIGHT, 5);
}

}  // namespace
