// The shaded fill of faces in batches set up side by side against FillShaded
// one triangle at a time: the same pixels with the AVX2 lanes and without,
// for random triangles, corners off the frame or beyond the conversions'
// range, narrow frames, and full and partial batches.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <vector>

using namespace kvor3d;

namespace {

using namespace raster_test;

TEST(ShadedBatch, SamePixelsAsFillShadedWithAndWithoutLanes)
{
    const ObjectPtr object = MakeObject(OBJECT_SHADED, 0x00F8B060);
    TriangleSource source(11);
    std::vector<CornerSet> corners(400);
    for (CornerSet& c : corners)
        c = source.Next();
    constexpr float NOT_A_NUMBER = std::numeric_limits<float>::quiet_NaN();
    const float odd[][3][2] = {
        {{-40000.0f, 10.0f}, {20.0f, 12.0f}, {25.0f, 14.0f}},  // spans clamped far from the long edge
        {{40000.0f, 30.0f}, {300.0f, 32.0f}, {290.0f, 34.0f}},
        {{NOT_A_NUMBER, 50.0f}, {14.0f, 52.0f}, {11.0f, 56.0f}},
        {{10.0f, 60.0f}, {3.0e9f, 62.0f}, {11.0f, 66.0f}},
        {{10.0f, -3.0e9f}, {14.0f, 72.0f}, {11.0f, 76.0f}},
        {{30.0f, -2.5f}, {34.0f, -1.0f}, {31.0f, 4.0f}},  // rows above the frame
        {{40.0f, 197.0f}, {44.0f, 199.0f}, {41.0f, 205.0f}},
        {{9.999f, 80.0f}, {10.001f, 84.0f}, {10.0011f, 88.0f}},  // gradients beyond 16.16
    };
    for (size_t i = 0; i < std::size(odd); ++i) {
        for (int j = 0; j < 3; ++j) {
            corners[corners.size() - 1 - i][j].x = odd[i][j][0];
            corners[corners.size() - 1 - i][j].y = odd[i][j][1];
        }
    }
    std::vector<std::unique_ptr<Triangle>> triangles;
    std::vector<TriangleRef> refs;
    for (const CornerSet& c : corners) {
        triangles.push_back(std::make_unique<Triangle>(c[0], c[1], c[2], object.get()));
        refs.push_back(triangles.back()->ref);
    }
    const bool saved = SpanVectors;
    for (const int32_t width : {WIDTH, 3}) {
        TestFrame single(width, HEIGHT);
        SetUpFrame(single.Pixels(), width, HEIGHT);
        for (const TriangleRef& ref : refs)
            FillShaded(&ref);
        for (const bool lanes : {true, false}) {
            for (const int32_t batch : {SHADED_BATCH, 5}) {
                SCOPED_TRACE(testing::Message() << "width " << width << " lanes " << lanes << " batch " << batch);
                SpanVectors = lanes && saved;
                TestFrame batched(width, HEIGHT);
                SetUpFrame(batched.Pixels(), width, HEIGHT);
                for (size_t first = 0; first < refs.size(); first += size_t(batch))
                    FillShadedBatch(&refs[first], int32_t(std::min(refs.size() - first, size_t(batch))));
                EXPECT_EQ(single.Copy(), batched.Copy());
                EXPECT_TRUE(batched.GuardsIntact());
            }
        }
    }
    SpanVectors = saved;
}

}  // namespace
