// Meshes of triangles that share edges and cover the screen leave no pixel
// undrawn with any scan-converting member, and draw a pixel twice only
// where the rules say both neighbours include it: on a shared edge whose
// 16.16 position is a whole number on that row, or on a row through a
// corner.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace raster_test;

struct Point {
    float x, y;
};

struct Mesh {
    std::vector<Point> points;
    std::vector<std::array<int, 3>> triangles;
};

// Twice the signed area of a triangle; positive for one winding.
float Winding(Point a, Point b, Point c)
{
    return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
}

// A jittered grid over the rectangle 0..319 × 0..199: boundary points stay
// on the boundary, interior ones move within their cell (rounded to whole
// pixels when asked), and each cell is split along a random diagonal that
// keeps both halves the right way round.
Mesh JitteredGrid(uint32_t seed, int columns, int rows, bool whole = false)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> jitter(-0.45f, 0.45f);
    Mesh mesh;
    const float cellWidth = float(WIDTH - 1) / float(columns);
    const float cellHeight = float(HEIGHT - 1) / float(rows);
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= columns; ++i) {
            float x = float(i) * cellWidth;
            float y = float(j) * cellHeight;
            if (i > 0 && i < columns)
                x += jitter(random) * cellWidth;
            if (j > 0 && j < rows)
                y += jitter(random) * cellHeight;
            mesh.points.push_back(whole ? Point{std::round(x), std::round(y)} : Point{x, y});
        }
    }
    const auto at = [columns](int i, int j) { return j * (columns + 1) + i; };
    const auto proper = [&mesh](int a, int b, int c) {
        return Winding(mesh.points[size_t(a)], mesh.points[size_t(b)], mesh.points[size_t(c)]) > 0;
    };
    for (int j = 0; j < rows; ++j) {
        for (int i = 0; i < columns; ++i) {
            const int a = at(i, j), b = at(i + 1, j), c = at(i + 1, j + 1), d = at(i, j + 1);
            const bool first = proper(a, b, c) && proper(a, c, d);
            const bool second = proper(a, b, d) && proper(b, c, d);
            if (first && (!second || (random() & 1))) {
                mesh.triangles.push_back({a, b, c});
                mesh.triangles.push_back({a, c, d});
            } else {
                mesh.triangles.push_back({a, b, d});
                mesh.triangles.push_back({b, c, d});
            }
        }
    }
    return mesh;
}

// The rectangle as a fan around an interior point, over boundary points at
// random places along its four sides.
Mesh Fan(uint32_t seed, Point centre, int perSide)
{
    std::mt19937 random(seed);
    Mesh mesh;
    mesh.points.push_back(centre);
    const Point corners[4] = {{0, 0}, {float(WIDTH - 1), 0}, {float(WIDTH - 1), float(HEIGHT - 1)}, {0, float(HEIGHT - 1)}};
    for (int side = 0; side < 4; ++side) {
        const Point from = corners[side];
        const Point to = corners[(side + 1) % 4];
        std::vector<float> steps{0.0f};
        for (int k = 1; k < perSide; ++k)
            steps.push_back(std::uniform_real_distribution<float>(0.0f, 1.0f)(random));
        std::sort(steps.begin(), steps.end());
        for (float s : steps)
            mesh.points.push_back({from.x + (to.x - from.x) * s, from.y + (to.y - from.y) * s});
    }
    const int ring = int(mesh.points.size()) - 1;
    for (int k = 0; k < ring; ++k)
        mesh.triangles.push_back({0, 1 + k, 1 + (k + 1) % ring});
    return mesh;
}

// A grid with integer corners: many shared edges lie on whole positions.
Mesh IntegerGrid(uint32_t seed)
{
    return JitteredGrid(seed, 11, 7, true);
}

// The 16.16 position of the edge a–b on a row, by the edge rule: started
// at the first row below its upper end, stepped per row. False when the
// edge has no such row.
bool EdgePosition(Point a, Point b, int32_t row, int32_t& position)
{
    if (b.y < a.y)
        std::swap(a, b);
    if (!(b.y > a.y) || row < std::ceil(a.y) || row > std::floor(b.y))
        return false;
    const float slope = (b.x - a.x) / (b.y - a.y);
    const int32_t start = TruncToInt(((std::ceil(a.y) - a.y) * slope + a.x) * 65536.0f);
    const int32_t step = TruncToInt(slope * 65536.0f);
    position = int32_t(uint32_t(start) + uint32_t(step) * uint32_t(row - int32_t(std::ceil(a.y))));
    return true;
}

// Where the rules allow a second write: rows through a corner, and whole
// positions of edges.
std::set<std::pair<int32_t, int32_t>> SharedPixels(const Mesh& mesh, std::set<int32_t>& cornerRows)
{
    std::set<std::pair<int32_t, int32_t>> pixels;
    for (const Point& p : mesh.points) {
        if (p.y == std::floor(p.y))
            cornerRows.insert(int32_t(p.y));
    }
    for (const auto& t : mesh.triangles) {
        for (int e = 0; e < 3; ++e) {
            const Point a = mesh.points[size_t(t[size_t(e)])];
            const Point b = mesh.points[size_t(t[size_t((e + 1) % 3)])];
            for (int32_t row = 0; row < HEIGHT; ++row) {
                int32_t position;
                if (EdgePosition(a, b, row, position) && (position & 0xFFFF) == 0)
                    pixels.insert({position >> 16, row});
            }
        }
    }
    return pixels;
}

class Watertight : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpFrame(frame.Pixels());
        texture = MakeTexture(6, 6, 21);
        environment = MakeTexture(7, 7, 22);
        transparency = MakeTexture(5, 5, 23);
    }

    // Draws the mesh with the owner's member one triangle at a time and
    // counts, per pixel, the triangles that wrote it.
    std::vector<int> CountWrites(const Mesh& mesh, const Entity* owner)
    {
        std::vector<int> writes(size_t(WIDTH) * HEIGHT, 0);
        std::vector<float> depth(writes.size());
        std::vector<uint8_t> mask(writes.size());
        Frame.depthBuffer = depth.data();
        Frame.shadowMask = mask.data();
        const bool shadowPass = Frame.renderPhase == PHASE_DEPTH || Frame.renderPhase == PHASE_SHADOWVOLUME;
        for (const auto& t : mesh.triangles) {
            CornerValues c[3];
            for (int i = 0; i < 3; ++i) {
                const Point p = mesh.points[size_t(t[size_t(i)])];
                c[i] = {p.x, p.y, 5.0f + p.x / 64.0f, p.x / 3.0f, p.y / 2.0f, p.y, p.x, 0x00FFFFFF};
            }
            Triangle triangle(MakeVertex(c[0]), MakeVertex(c[1]), MakeVertex(c[2]), owner);
            frame.Fill(UNWRITTEN);
            std::fill(depth.begin(), depth.end(), 0.0f);
            std::fill(mask.begin(), mask.end(), uint8_t(0));
            DrawTriangle(&triangle.ref);
            for (size_t i = 0; i < writes.size(); ++i) {
                const bool written = shadowPass ? (depth[i] != 0.0f || mask[i] != 0) : frame.Pixels()[i] != UNWRITTEN;
                writes[i] += written;
            }
        }
        return writes;
    }

    void ExpectWatertight(const Mesh& mesh, const Entity* owner, const std::string& member)
    {
        SCOPED_TRACE(member);
        const std::vector<int> writes = CountWrites(mesh, owner);
        std::set<int32_t> cornerRows;
        const auto shared = SharedPixels(mesh, cornerRows);
        int undrawn = 0, unexplained = 0;
        for (int32_t y = 0; y < HEIGHT; ++y) {
            for (int32_t x = 0; x < WIDTH; ++x) {
                const int count = writes[size_t(y) * WIDTH + size_t(x)];
                undrawn += count == 0;
                if (count > 1 && !cornerRows.count(y) && !shared.count({x, y})) {
                    if (unexplained++ < 5)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") drawn " << count << " times";
                }
            }
        }
        EXPECT_EQ(undrawn, 0);
        EXPECT_EQ(unexplained, 0);
    }

    // Every scan-converting member on the mesh.
    void ExpectEveryMemberWatertight(const Mesh& mesh)
    {
        struct Row {
            uint32_t flags;
            uint32_t m1;
            bool transparencyMap;
            bool fog;
        };
        const Row rows[] = {
            {0, 0, false, false},  {1, 0, false, false},  {1, 0, true, false},  {2, 0, false, false},
            {2, 1, false, false},  {2, 2, false, false},  {2, 3, false, false}, {3, 0, false, false},
            {3, 0, true, false},   {4, 0, false, false},  {5, 0, true, false},  {18, 0, false, false},
            {18, 3, false, false}, {19, 0, true, false},  {32, 0, false, false}, {34, 0, false, false},
            {50, 0, false, false}, {0, 0, false, true},   {2, 1, false, true},  {18, 2, false, true},
        };
        for (const Row& row : rows) {
            ObjectPtr object = MakeObject(row.flags, 0x80FFFFFF);
            object->textureMap = texture.get();
            object->environmentMap = environment.get();
            object->transparencyMap = row.transparencyMap ? transparency.get() : nullptr;
            object->material[1] = row.m1;
            object->correctionValue = 2;
            Frame.fogIndexBase = row.fog ? 64 : 0;
            Frame.fogEnd = 100.0f;
            Frame.fogEndLevel = 200.0f;
            ExpectWatertight(mesh, object.get(),
                             "row " + std::to_string(row.flags | (row.fog ? 64 : 0)) + " m1 " + std::to_string(row.m1));
        }
        Frame.fogIndexBase = 0;

        VolumePtr volume = MakeVolume(0x80FFFFFF, 3, 3, 3, 5);
        ExpectWatertight(mesh, volume.get(), "textured effect");
        volume->volumeFlags = 0;
        ExpectWatertight(mesh, volume.get(), "plain effect");

        ObjectPtr object = MakeObject(0);
        Frame.renderPhase = PHASE_DEPTH;
        ExpectWatertight(mesh, object.get(), "depth");
        Frame.renderPhase = PHASE_SHADOWVOLUME;
        ExpectWatertight(mesh, object.get(), "shadow volume");
        Frame.renderPhase = PHASE_MAIN;
    }

    TestFrame frame;
    TexturePtr texture, environment, transparency;
};

TEST_F(Watertight, JitteredTriangulationCoversEveryPixelOnce)
{
    ExpectEveryMemberWatertight(JitteredGrid(1, 9, 6));
}

TEST_F(Watertight, FansAroundInteriorPointsCoverEveryPixelOnce)
{
    ExpectEveryMemberWatertight(Fan(2, {123.37f, 87.61f}, 5));
    ExpectEveryMemberWatertight(Fan(3, {301.5f, 12.25f}, 3));
}

TEST_F(Watertight, IntegerCornersDrawTwiceOnlyOnWholeEdgePositions)
{
    ExpectEveryMemberWatertight(IntegerGrid(4));
}

}  // namespace
