// Clipping against the near and far planes and the screen's edges: the
// values the clipper gives the corners it makes and the corner counts it
// can reach.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

using namespace kvor3d;

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

    TestFrame frame;
};

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

// One corner before the near plane and one beyond the far plane give five
// corners; the screen's edges then make up to nine, never more, and none
// off the screen.
TEST_F(Clipping, NearAndFarPlanesGiveFiveCornersThenUpToNineOnTheScreen)
{
    Frame.farZ = 100.0f;
    Frame.farScale = Frame.focal / Frame.farZ;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> spread(-400.0f, 400.0f);
    int most = 0;
    for (int i = 0; i < 20000; ++i) {
        Vertex p = AtCamera(spread(random) / 50, spread(random) / 50, 0.5f);
        Vertex q = AtCamera(spread(random), spread(random), 180);
        Vertex r = AtCamera(spread(random) / 4, spread(random) / 4, 20);
        const TriangleRef cut{{&p, &q, &r}, nullptr, 0, 1};
        Vertex first[CLIP_MAXCORNERS], second[CLIP_MAXCORNERS], last[CLIP_MAXCORNERS];
        const int depth = ClipNearFar(&cut, first);
        ASSERT_EQ(depth, 5);
        const int count = ClipRows(second, ClipColumns(first, depth, second), last);
        ASSERT_LE(count, CLIP_MAXCORNERS);
        for (int k = 0; k < count; ++k) {
            ASSERT_TRUE(last[k].screenX >= 0.0f && last[k].screenX <= float(WIDTH - 1)) << last[k].screenX;
            ASSERT_TRUE(last[k].screenY >= 0.0f && last[k].screenY <= float(HEIGHT - 1)) << last[k].screenY;
        }
        most = std::max(most, count);
    }
    EXPECT_EQ(most, 9);
}

// ClipTriangle leaves out the stages whose planes no corner lies beyond: it
// gives what the three stages give in turn, corner for corner, for
// triangles crossing every combination of the near plane, the columns and
// the rows.
TEST_F(Clipping, ClipTriangleGivesWhatItsThreeStagesGive)
{
    std::mt19937 random(11);
    std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
    int combinations[8] = {};  // by near, columns, rows crossed
    for (int i = 0; i < 20000; ++i) {
        Vertex corners[3];
        const float width = 40 + 160 * (spread(random) + 1), height = 30 + 120 * (spread(random) + 1);
        for (Vertex& v : corners) {
            // Screen positions around the centre; depths from 0.2 to 40, a
            // seventh before the near plane.
            const float nearness = spread(random) + 1;
            const float z = 0.2f + 10 * nearness * nearness;
            v = AtCamera(spread(random) * width * z / Frame.focal, spread(random) * height * z / Frame.focal, z);
            v.mapU = spread(random) * 100;
            v.litColour = uint32_t(random()) & 0x00FFFFFF;
        }
        const TriangleRef triangle{{&corners[0], &corners[1], &corners[2]}, nullptr, 0, 1};
        Vertex first[CLIP_MAXCORNERS], second[CLIP_MAXCORNERS];
        int expected = ClipNearFar(&triangle, first);
        // Whether a corner lies before the near plane, and the codes of the
        // polygon that the screen stages take.
        uint16_t codes = (corners[0].clipCode | corners[1].clipCode | corners[2].clipCode) & CLIP_NEAR;
        for (int k = 0; k < expected; ++k)
            codes |= first[k].clipCode;
        expected = expected < 3 ? 0 : ClipColumns(first, expected, second);
        expected = expected < 3 ? 0 : ClipRows(second, expected, first);
        const int count = ClipTriangle(&triangle);
        ASSERT_EQ(count, expected) << i;
        if (count >= 3) {
            ASSERT_EQ(std::memcmp(ClipBuffers[0], first, sizeof(Vertex) * size_t(count)), 0) << i;
        }
        ++combinations[((codes & CLIP_NEAR) ? 4 : 0) + ((codes & (CLIP_LEFT | CLIP_RIGHT)) ? 2 : 0) +
                       ((codes & (CLIP_TOP | CLIP_BOTTOM)) ? 1 : 0)];
    }
    for (int c = 0; c < 8; ++c)
        EXPECT_GT(combinations[c], 50) << c;
}

// A clipped face of an affine or a shaded member is drawn in batches of its
// fan's triangles: the pixels of the fan drawn a triangle at a time, with
// the lanes and without, for faces crossing every edge of the screen.
TEST_F(Clipping, AffineAndShadedFansDrawWhatTheirTrianglesDrawOneByOne)
{
    const TexturePtr texture = MakeTexture(6, 5, 3);
    const uint32_t kinds[][2] = {
        {OBJECT_TEXTURE, 0},  {OBJECT_TEXTURE, 1}, {OBJECT_TEXTURE | OBJECT_SHADED, 0},
        {OBJECT_TEXTURE | OBJECT_TRANSPARENT, 0}, {OBJECT_ENVIRONMENT, 0}, {OBJECT_SHADED, 0},
    };
    for (const auto& kind : kinds) {
        const ObjectPtr object = MakeObject(kind[0], 0x90F8B060);
        object->textureMap = object->environmentMap = object->transparencyMap = texture.get();
        object->material[1] = kind[1];
        std::mt19937 random(kind[0] + kind[1]);
        std::uniform_real_distribution<float> spread(-1.0f, 1.0f);
        std::vector<std::array<Vertex, 3>> faces(300);
        for (auto& corners : faces) {
            const float x = spread(random) * 60, y = spread(random) * 40, size = 10 + 30 * (spread(random) + 1);
            for (Vertex& v : corners) {
                v = AtCamera(x + spread(random) * size, y + spread(random) * size, 30 + 20 * spread(random));
                v.mapU = spread(random) * 100;
                v.mapV = spread(random) * 100;
                v.envRow = spread(random) * 300;
                v.envColumn = spread(random) * 300;
                v.litColour = uint32_t(random()) & 0x00FFFFFF;
            }
        }
        for (const bool lanes : {false, true}) {
            SpanVectors = lanes && __builtin_cpu_supports("avx2");
            std::vector<uint16_t> drawn[2];
            for (int batched = 0; batched < 2; ++batched) {
                TestFrame target;
                SetUpFrame(target.Pixels());
                for (auto& corners : faces) {
                    const TriangleRef face{{&corners[0], &corners[1], &corners[2]}, object.get(), 0, 1};
                    if (batched) {
                        ClipAndDrawFace(&face);
                        continue;
                    }
                    Vertex first[CLIP_MAXCORNERS], second[CLIP_MAXCORNERS];
                    const int count = ClipRows(second, ClipColumns(first, ClipNearFar(&face, first), second), first);
                    for (int i = 1; i + 1 < count; ++i) {
                        const TriangleRef fan{{&first[0], &first[i], &first[i + 1]}, object.get(), 0, 1};
                        DrawTriangle(&fan);
                    }
                }
                drawn[batched] = target.Copy();
                EXPECT_TRUE(target.GuardsIntact());
            }
            EXPECT_TRUE(drawn[0] == drawn[1]) << kind[0] << " filter " << kind[1] << " lanes " << lanes;
            EXPECT_LT(std::count(drawn[0].begin(), drawn[0].end(), UNWRITTEN), WIDTH * HEIGHT / 2);
        }
    }
    SpanVectors = __builtin_cpu_supports("avx2");
}

}  // namespace
