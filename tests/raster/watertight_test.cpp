// Meshes of triangles that share edges and cover the screen (jittered grids,
// with corners anywhere and on whole pixels) leave no pixel
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

float Winding(Point a, Point b, Point c)
{
    return (b.x - a.x) * (c.y - a.y) - (c.x - a.x) * (b.y - a.y);
}

// A jittered grid over the screen: boundary points stay on the boundary,
// interior ones move within their cell (rounded to whole pixels when asked),
// and each cell is split along a random diagonal that keeps both halves the
// right way round.
Mesh JitteredGrid(uint32_t seed, int columns, int rows, bool whole)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> jitter(-0.45f, 0.45f);
    Mesh mesh;
    const float cellWidth = float(WIDTH - 1) / float(columns), cellHeight = float(HEIGHT - 1) / float(rows);
    for (int j = 0; j <= rows; ++j) {
        for (int i = 0; i <= columns; ++i) {
            float x = float(i) * cellWidth, y = float(j) * cellHeight;
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
            if (proper(a, b, c) && proper(a, c, d) && (!(proper(a, b, d) && proper(b, c, d)) || (random() & 1)))
                mesh.triangles.insert(mesh.triangles.end(), {{a, b, c}, {a, c, d}});
            else
                mesh.triangles.insert(mesh.triangles.end(), {{a, b, d}, {b, c, d}});
        }
    }
    return mesh;
}

// Where the rules allow a second write: rows through a corner, and the
// whole 16.16 positions of edges (started at the first row below the upper
// end, stepped per row).
bool MayBeShared(const Mesh& mesh, int32_t x, int32_t y)
{
    for (const Point& p : mesh.points) {
        if (p.y == float(y))
            return true;
    }
    for (const auto& t : mesh.triangles) {
        for (int e = 0; e < 3; ++e) {
            Point a = mesh.points[size_t(t[size_t(e)])], b = mesh.points[size_t(t[size_t((e + 1) % 3)])];
            if (b.y < a.y)
                std::swap(a, b);
            if (!(b.y > a.y) || y < std::ceil(a.y) || y > std::floor(b.y))
                continue;
            const float slope = (b.x - a.x) / (b.y - a.y);
            const int32_t start = TruncToInt(((std::ceil(a.y) - a.y) * slope + a.x) * 65536.0f);
            const uint32_t rows = uint32_t(y - int32_t(std::ceil(a.y)));
            const int32_t position = int32_t(uint32_t(start) + uint32_t(TruncToInt(slope * 65536.0f)) * rows);
            if ((position & 0xFFFF) == 0 && position >> 16 == x)
                return true;
        }
    }
    return false;
}

TEST(Watertight, MeshesCoverEveryPixelOnceWithEveryScanConvertingMember)
{
    SetUpFrame(nullptr);
    TestFrame frame;
    std::vector<float> depth(frame.Size());
    std::vector<uint8_t> mask(frame.Size());
    TexturePtr texture = MakeTexture(6, 6, 21), transparency = MakeTexture(5, 5, 23);
    VolumePtr volume = MakeVolume(0x80FFFFFF, 3, 3, 3, 5);
    struct Member {
        uint32_t flags, m1;
        bool transparencyMap, fog;
        int32_t phase;
    };
    const Member members[] = {
        {0, 0, false, false, PHASE_MAIN},  {1, 0, true, false, PHASE_MAIN}, {2, 1, false, false, PHASE_MAIN},
        {18, 3, false, false, PHASE_MAIN}, {32, 0, false, false, PHASE_MAIN}, {50, 0, false, false, PHASE_MAIN},
        {2, 1, false, true, PHASE_MAIN},   {0, 0, false, false, PHASE_DEPTH}, {0, 0, false, false, PHASE_SHADOWVOLUME},
        {OBJECT_GLOW, 0, false, false, PHASE_MAIN},
    };
    const Mesh meshes[] = {JitteredGrid(1, 9, 6, false), JitteredGrid(4, 11, 7, true)};
    for (const Mesh& mesh : meshes) {
        for (const Member& member : members) {
            for (bool voxels : {false, true}) {
                if (voxels && member.flags != OBJECT_GLOW)
                    continue;
                ObjectPtr object = MakeObject(member.flags, 0x80FFFFFF);
                object->textureMap = object->environmentMap = texture.get();
                object->transparencyMap = member.transparencyMap ? transparency.get() : nullptr;
                object->material[1] = member.m1;
                object->correctionValue = 2;
                const Entity* owner = voxels ? static_cast<const Entity*>(volume.get()) : object.get();
                SCOPED_TRACE("mesh " + std::to_string(&mesh - meshes) + " flags " + std::to_string(member.flags) +
                             " phase " + std::to_string(member.phase) + (voxels ? " volume" : ""));
                std::vector<int> writes(frame.Size(), 0);
                for (const auto& t : mesh.triangles) {
                    CornerValues c[3];
                    for (int i = 0; i < 3; ++i) {
                        const Point p = mesh.points[size_t(t[size_t(i)])];
                        c[i] = {p.x, p.y, 5.0f + p.x / 64.0f, p.x / 3.0f, p.y / 2.0f, p.y, p.x, 0x00FFFFFF};
                    }
                    Triangle triangle(c[0], c[1], c[2], owner);
                    SetUpFrame(frame.Pixels());
                    Frame.depthBuffer = depth.data();
                    Frame.shadowMask = mask.data();
                    Frame.renderPhase = member.phase;
                    Frame.fogIndexBase = member.fog ? 64 : 0;
                    Frame.fogEnd = 100.0f;
                    Frame.fogEndLevel = 200.0f;
                    frame.Fill(UNWRITTEN);
                    std::fill(depth.begin(), depth.end(), 0.0f);
                    std::fill(mask.begin(), mask.end(), uint8_t(0));
                    DrawTriangle(&triangle.ref);
                    for (size_t i = 0; i < writes.size(); ++i)
                        writes[i] += frame.Pixels()[i] != UNWRITTEN || depth[i] != 0.0f || mask[i] != 0;
                }
                int undrawn = 0, unexplained = 0;
                for (size_t i = 0; i < writes.size(); ++i) {
                    undrawn += writes[i] == 0;
                    const int32_t x = int32_t(i % WIDTH), y = int32_t(i / WIDTH);
                    if (writes[i] > 1 && !MayBeShared(mesh, x, y) && unexplained++ < 5)
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") drawn " << writes[i] << " times";
                }
                EXPECT_EQ(undrawn, 0);
                EXPECT_EQ(unexplained, 0);
            }
        }
    }
}

}  // namespace
