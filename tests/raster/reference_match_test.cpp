// Every member against the reference rasteriser, bit for bit, on random
// triangles drawn over a random frame, target, depth buffer and shadow mask:
// both span directions, every filter, every row of the filler table
// (those that draw nothing included), the shadow-pass members and the
// light-volume members; each with the AVX2 loops that draw eight pixels at
// a time and with the one-pixel loops alone.
#include "raster/raster_support.h"
#include "raster/reference.h"
#include "render/spans.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace kvor3d;

namespace {

using namespace raster_test;

constexpr int TRIANGLES_PER_ROW = 1500;

enum Owner { OBJECT, VOLUME, PLAIN_VOLUME, LIGHT };

struct Row {
    uint32_t flags;
    uint32_t m1 = 0, m2 = 0;
    bool transparencyMap = false;
    uint32_t correction = 3;
    Owner owner = OBJECT;
    int32_t phase = PHASE_MAIN;
};

// The buffers of one side of the comparison.
struct Side {
    TestFrame frame;
    std::vector<float> depth;
    std::vector<uint8_t> mask;
};

class ReferenceMatch : public ::testing::Test {
protected:
    void SetUp() override { SetUpFrame(nullptr); }

    // Draws the same random triangles with the engine and the reference and
    // compares target, depth buffer and shadow mask.
    void ExpectMatch(const Entity* owner, uint32_t seed)
    {
        std::mt19937 random(seed);
        std::vector<uint16_t> background(size_t(WIDTH) * HEIGHT);
        std::vector<float> depth(background.size());
        std::vector<uint8_t> mask(background.size());
        for (size_t i = 0; i < background.size(); ++i) {
            background[i] = uint16_t(random() & 0x7FFF);
            depth[i] = std::uniform_real_distribution<float>(0.005f, 1.0f)(random);
            mask[i] = uint8_t(random());
        }
        const FrameConstants constants = Frame;
        TriangleSource source(seed);
        std::vector<CornerSet> triangles;
        for (int i = 0; i < TRIANGLES_PER_ROW; ++i)
            triangles.push_back(source.Next());

        Side engine, expected;
        for (Side* side : {&engine, &expected}) {
            std::copy(background.begin(), background.end(), side->frame.Pixels());
            side->depth = depth;
            side->mask = mask;
        }
        for (size_t i = 0; i < triangles.size(); ++i) {
            const CornerSet& c = triangles[i];
            Triangle triangle(c[0], c[1], c[2], owner);
            triangle.ref.windingSign = int8_t(i % 3 == 0 ? -1 : 1);
            for (Side* side : {&engine, &expected}) {
                Frame = constants;
                Frame.target = side->frame.Pixels();
                Frame.depthBuffer = side->depth.data();
                Frame.shadowMask = side->mask.data();
                if (side == &engine)
                    DrawTriangle(&triangle.ref);
                else
                    reference::DrawTriangle(triangle.ref);
            }
        }
        Frame = constants;
        EXPECT_TRUE(engine.frame.GuardsIntact());
        EXPECT_TRUE(engine.frame.Copy() == expected.frame.Copy() && engine.depth == expected.depth &&
                    engine.mask == expected.mask)
            << "the target, depth buffer or shadow mask differs from the reference's";
    }

    void ExpectRowsMatch(const std::vector<Row>& rows)
    {
        TexturePtr texture = MakeTexture(6, 5, 11), square = MakeTexture(7, 7, 12);
        TexturePtr environment = MakeTexture(8, 8, 13), transparency = MakeTexture(5, 6, 14);
        VolumePtr volume = MakeVolume(0xB0A06040, 4, 3, 5, 77);
        LightEntity* light = LightOf(AllocEntity(ENTITY_LIGHT));
        std::mt19937 random(99);
        for (const Row& row : rows) {
            ObjectPtr object = MakeObject(row.flags, uint32_t(random()));
            object->textureMap = (row.m1 & 2) ? square.get() : texture.get();
            object->environmentMap = environment.get();
            object->bumpMap = texture.get();
            object->transparencyMap = row.transparencyMap ? transparency.get() : nullptr;
            object->material[1] = row.m1;
            object->material[2] = row.m2;
            object->correctionValue = row.correction;
            volume->volumeFlags = row.owner == PLAIN_VOLUME ? 0 : VOLUME_DENSITYVOXELS;
            const Entity* owners[] = {object.get(), volume.get(), volume.get(), light};
            Frame.renderPhase = row.phase;
            for (const bool lanes : {false, __builtin_cpu_supports("avx2") != 0}) {
                SpanVectors = lanes;
                SCOPED_TRACE("flags " + std::to_string(row.flags) + " m1 " + std::to_string(row.m1) + " m2 " +
                             std::to_string(row.m2) + " k " + std::to_string(row.correction) + " owner " +
                             std::to_string(row.owner) + " phase " + std::to_string(row.phase) +
                             (row.transparencyMap ? " with transparency map" : "") + (lanes ? " lanes" : ""));
                ExpectMatch(owners[row.owner], row.flags * 131 + row.m1 * 17 + row.m2 * 7 + row.transparencyMap +
                                                   row.correction * 3 + row.owner * 1000 + uint32_t(row.phase) * 10000);
            }
        }
        SpanVectors = __builtin_cpu_supports("avx2");
        FreeEntity(nullptr, light);
    }
};

TEST_F(ReferenceMatch, EveryTableRowMatchesWithEveryFilterAndPieceLength)
{
    std::vector<Row> rows = {
        {0}, {16}, {1}, {17}, {1, 0, 0, true}, {17, 0, 0, true},                       // flat
        {3}, {3, 1, 0, true},                                                         // transparent texture
        {4}, {4, 0, 1}, {4, 0, 2}, {20}, {20, 0, 1}, {20, 0, 2},                      // environment
        {5}, {5, 0, 1, true}, {21}, {21, 0, 1, true},
        {18, 0, 0, false, 0}, {18, 0, 0, false, 1}, {18, 0, 0, false, 4}, {18, 0, 0, false, 8},
        {19}, {19, 0, 0, true, 2},                                                    // perspective
        {32}, {48}, {34, 3}, {50, 1, 0, false, 0}, {50, 0, 0, false, 4},              // shaded
        {0x21}, {0x21, 0, 0, true}, {0x24}, {0x36}, {OBJECT_BUMP}, {OBJECT_BUMP | 0x12}, {0x2B},  // draw nothing
        {OBJECT_GLOW | OBJECT_TEXTURE}, {2, 0, 0, false, 3, LIGHT},
        {0, 0, 0, false, 3, VOLUME}, {0, 0, 0, false, 3, PLAIN_VOLUME},               // light volumes
        {0, 0, 0, false, 3, LIGHT, PHASE_DEPTH}, {0, 0, 0, false, 3, LIGHT, PHASE_SHADOWVOLUME},
        {2, 0, 0, false, 3, OBJECT, PHASE_SHADOWVOLUME},
    };
    for (uint32_t m1 = 0; m1 < 4; ++m1) {
        rows.push_back({OBJECT_TEXTURE, m1});
        rows.push_back({OBJECT_TEXTURE | OBJECT_PERSPECTIVE, m1});
    }
    ExpectRowsMatch(rows);
}

TEST_F(ReferenceMatch, FogMembersMatchEveryFilter)
{
    Frame.fogIndexBase = 64;
    Frame.fogStart = 20.0f;
    Frame.fogEnd = 80.0f;
    Frame.fogColour = 0x00C08040;
    // Only the flat and texture rows draw fog; perspective pieces of one and
    // of four pixels too.
    std::vector<Row> rows = {{0}, {16}, {1}, {4}, {3}, {32}, {34}, {18, 1, 0, false, 0}, {18, 3, 0, false, 2}};
    for (uint32_t m1 = 0; m1 < 4; ++m1) {
        rows.push_back({OBJECT_TEXTURE, m1});
        rows.push_back({OBJECT_TEXTURE | OBJECT_PERSPECTIVE, m1});
    }
    // Levels within the blend's weights 0 to 31, and beyond them on both sides.
    for (const auto& [start, end] : {std::pair{30.0f, 250.0f}, std::pair{-40.0f, 400.0f}}) {
        Frame.fogStartLevel = start;
        Frame.fogEndLevel = end;
        ExpectRowsMatch(rows);
    }
}

}  // namespace
