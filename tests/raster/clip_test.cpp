// Clipping against the near and far planes and the screen's edges, the fan
// split, and the values the clipper gives the corners it makes.
#include "core/tables.h"
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

using namespace raster_test;

class Clipping : public ::testing::Test {
protected:
    void SetUp() override { SetUpFrame(frame.Pixels()); }

    // A vertex at a camera-space position, projected with its clip codes.
    static Vertex AtCamera(float x, float y, float z)
    {
        Vertex v{};
        v.camera[0] = x;
        v.camera[1] = y;
        v.camera[2] = z;
        ProjectVertex(&v);
        return v;
    }

    static int Clip(const TriangleRef& triangle, std::vector<int>& counts, Vertex* result)
    {
        Vertex first[CLIP_MAXCORNERS], second[CLIP_MAXCORNERS];
        counts.clear();
        counts.push_back(ClipNearFar(&triangle, first));
        counts.push_back(ClipColumns(first, counts.back(), second));
        counts.push_back(ClipRows(second, counts.back(), result));
        return counts.back();
    }

    TestFrame frame;
};

TEST_F(Clipping, TriangleStraddlingTheNearPlaneDrawsAsTwoFanTriangles)
{
    ObjectPtr object = MakeObject(0, 0x00FFFFFF);
    Vertex a = AtCamera(-2, -1, 4), b = AtCamera(2, -1, 4), c = AtCamera(0, 1, 0.5f);
    ASSERT_EQ(c.clipCode & CLIP_NEAR, CLIP_NEAR);
    const TriangleRef triangle{{&a, &b, &c}, object.get(), 0, 1};

    Vertex corners[CLIP_MAXCORNERS];
    ASSERT_EQ(ClipNearFar(&triangle, corners), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_GE(corners[i].camera[2], Frame.nearZ);

    ClipAndDrawFace(&triangle);
    const std::vector<uint16_t> clipped = frame.Copy();
    frame.Fill(UNWRITTEN);
    const TriangleRef fan[2] = {{{&corners[0], &corners[1], &corners[2]}, object.get(), 0, 1},
                                {{&corners[0], &corners[2], &corners[3]}, object.get(), 0, 1}};
    DrawTriangle(&fan[0]);
    DrawTriangle(&fan[1]);
    EXPECT_EQ(clipped, frame.Copy());
    EXPECT_NE(frame.At(160, 100), UNWRITTEN);
}

TEST_F(Clipping, NearAndFarPlanesGiveFiveCornersThenUpToNine)
{
    Frame.farZ = 100.0f;
    Frame.farScale = Frame.focal / Frame.farZ;
    // One corner before the near plane, one beyond the far plane.
    Vertex a = AtCamera(-1, 0, 0.5f), b = AtCamera(3, 0, 150), c = AtCamera(0, 0.5f, 10);
    const TriangleRef triangle{{&a, &b, &c}, nullptr, 0, 1};
    Vertex corners[CLIP_MAXCORNERS];
    EXPECT_EQ(ClipNearFar(&triangle, corners), 5);

    // Among many such triangles some reach nine corners, none more.
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(-400.0f, 400.0f);
    int most = 0;
    std::vector<int> counts;
    for (int i = 0; i < 20000; ++i) {
        Vertex p = AtCamera(spread(random) / 50, spread(random) / 50, 0.5f);
        Vertex q = AtCamera(spread(random), spread(random), 180);
        Vertex r = AtCamera(spread(random) / 4, spread(random) / 4, 20);
        const TriangleRef cut{{&p, &q, &r}, nullptr, 0, 1};
        Clip(cut, counts, corners);
        EXPECT_EQ(counts[0], 5);
        for (int count : counts)
            EXPECT_LE(count, CLIP_MAXCORNERS);
        most = std::max(most, counts.back());
    }
    EXPECT_EQ(most, 9);
}

TEST_F(Clipping, NoCornerReachesAFillerOutsideTheScreen)
{
    std::mt19937 random(8);
    std::uniform_real_distribution<float> across(-3000.0f, 3000.0f);
    std::uniform_real_distribution<float> depth(-50.0f, 12000.0f);
    std::vector<int> counts;
    Vertex corners[CLIP_MAXCORNERS];
    for (int i = 0; i < 50000; ++i) {
        Vertex v[3];
        for (Vertex& corner : v) {
            const float z = depth(random);
            corner = AtCamera(across(random) * std::abs(z) / 1000, across(random) * std::abs(z) / 1000, z);
        }
        const TriangleRef triangle{{&v[0], &v[1], &v[2]}, nullptr, 0, 1};
        const int count = Clip(triangle, counts, corners);
        for (int k = 0; k < count; ++k) {
            ASSERT_GE(corners[k].screenX, 0.0f);
            ASSERT_LE(corners[k].screenX, float(WIDTH - 1));
            ASSERT_GE(corners[k].screenY, 0.0f);
            ASSERT_LE(corners[k].screenY, float(HEIGHT - 1));
        }
    }
}

// Depth and map coordinates interpolate through 1/z; y, the environment
// coordinates and the lit colour linearly on the screen.
TEST_F(Clipping, ScreenEdgeCornersInterpolateDepthAndMapThroughOneOverZ)
{
    Vertex a = MakeVertex({-100, 50, 1, 0, 4, 10, 20, 0x00204060});
    Vertex b = MakeVertex({100, 150, 3, 30, 4, 30, 40, 0x006040A0});
    a.clipCode = CLIP_LEFT;
    Vertex c = MakeVertex({100, 190, 3});
    Vertex in[3] = {a, b, c};
    Vertex out[CLIP_MAXCORNERS];
    ASSERT_EQ(ClipColumns(in, 3, out), 4);
    // The crossing of a → b at x = 0 is halfway on the screen: w = 2/3.
    const Vertex& cut = out[0];
    EXPECT_EQ(cut.screenX, 0.0f);
    EXPECT_EQ(cut.screenY, 100.0f);
    EXPECT_FLOAT_EQ(cut.camera[2], 1.5f);
    EXPECT_FLOAT_EQ(cut.mapU, 7.5f);
    EXPECT_FLOAT_EQ(cut.mapV, 4.0f);
    EXPECT_EQ(cut.envRow, 20.0f);
    EXPECT_EQ(cut.envColumn, 30.0f);
    EXPECT_EQ(cut.litColour, 0x00404080u);
    EXPECT_EQ(cut.clipCode, 0);

    // A corner at depth 0 takes w = 100000 and u·w = v·w = 1000.
    a.camera[2] = 0.0f;
    Vertex zero[3] = {a, b, c};
    ASSERT_EQ(ClipColumns(zero, 3, out), 4);
    const float w = 100000.0f - (1.0f / 3.0f - 100000.0f) * -0.5f;
    EXPECT_FLOAT_EQ(out[0].camera[2], 1.0f / w);
    EXPECT_FLOAT_EQ(out[0].mapU, (1000.0f - (10.0f - 1000.0f) * -0.5f) / w);
}

// The near-plane crossing of an environment-mapped edge gets the
// coordinates that the environment transformation gives a vertex at that
// point: here all three normals are equal, the corner behind the plane
// carries no position term and the one in front its own.
TEST_F(Clipping, NearPlaneCornerTakesTheEnvironmentCoordinatesOfAVertexThere)
{
    ASSERT_EQ(BuildNormalTable(), 1);
    ASSERT_EQ(BuildPositionTable(45, WIDTH, 32768), 1);
    ObjectPtr object = MakeObject(OBJECT_ENVIRONMENT);
    const float identity[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    std::copy(identity, identity + 16, object->matrix);
    for (int i = 0; i < 3; ++i)
        object->unitRows[i][i] = 1.0f;
    // In front, behind, and their crossing of the near plane z = 1.
    const float positions[3][3] = {{3, -2, 3}, {-1, 4, -1}, {1, 1, 1}};
    Vertex vertices[3]{};
    for (int i = 0; i < 3; ++i) {
        std::copy(positions[i], positions[i] + 3, vertices[i].position);
        vertices[i].normal[0] = 40.0f;
        vertices[i].normal[1] = -70.0f;
        vertices[i].normal[2] = 90.0f;
    }
    object->vertices = vertices;
    object->vertexCount = 3;
    TransformVerticesEnv(object.get());
    object->vertices = nullptr;
    object->vertexCount = 0;
    ASSERT_EQ(vertices[1].clipCode & CLIP_NEAR, CLIP_NEAR);
    ASSERT_NE(vertices[0].envRow, vertices[2].envRow);

    Vertex d = vertices[0];
    const TriangleRef triangle{{&vertices[0], &vertices[1], &d}, object.get(), 0, 1};
    Vertex corners[CLIP_MAXCORNERS];
    ASSERT_EQ(ClipNearFar(&triangle, corners), 4);
    const Vertex& crossing = corners[1];
    EXPECT_EQ(crossing.camera[0], 1.0f);
    EXPECT_EQ(crossing.camera[1], 1.0f);
    EXPECT_EQ(crossing.envRow, vertices[2].envRow);
    EXPECT_EQ(crossing.envColumn, vertices[2].envColumn);
    FreeNormalTable();
    FreePositionTable();
}

TEST_F(Clipping, PolygonBeyondOnePlaneDrawsNothing)
{
    ObjectPtr object = MakeObject(0, 0x00FFFFFF);
    Vertex a = AtCamera(-2, -1, 0.2f), b = AtCamera(2, -1, 0.3f), c = AtCamera(0, 1, 0.5f);
    const TriangleRef triangle{{&a, &b, &c}, object.get(), 0, 1};
    Vertex corners[CLIP_MAXCORNERS];
    EXPECT_EQ(ClipNearFar(&triangle, corners), 0);
    ClipAndDrawFace(&triangle);
    for (size_t i = 0; i < frame.Size(); ++i)
        ASSERT_EQ(frame.Pixels()[i], UNWRITTEN);
}

}  // namespace
