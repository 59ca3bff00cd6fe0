// Every member against the reference rasteriser, bit for bit, on thousands
// of random triangles drawn over a random frame: both span directions,
// every filter, every table row that draws, the shadow-pass members and the
// light-volume members.
#include "raster/random_triangles.h"
#include "raster/reference.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using namespace raster_test;

constexpr int TRIANGLES_PER_CASE = 1500;

// The buffers of one side of the comparison.
struct Side {
    TestFrame frame;
    std::vector<float> depth;
    std::vector<uint8_t> mask;

    // The test's frame constants with this side's buffers.
    void Use(const FrameConstants& constants)
    {
        Frame = constants;
        Frame.target = frame.Pixels();
        Frame.depthBuffer = depth.data();
        Frame.shadowMask = mask.data();
    }
};

class ReferenceMatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpFrame(nullptr);
        texture = MakeTexture(6, 5, 11);
        square = MakeTexture(7, 7, 12);
        environment = MakeTexture(8, 8, 13);
        transparency = MakeTexture(5, 6, 14);
    }

    // Draws the same random triangles with the engine and the reference
    // and compares the target, depth buffer and shadow mask after each
    // batch; on a difference, names the first triangle that makes one.
    void ExpectMatch(const Entity* owner, uint32_t seed, int count = TRIANGLES_PER_CASE)
    {
        std::mt19937 random(seed);
        std::vector<uint16_t> background(size_t(WIDTH) * HEIGHT);
        for (uint16_t& p : background)
            p = uint16_t(random() & 0x7FFF);
        std::vector<float> depth(background.size());
        for (float& d : depth)
            d = std::uniform_real_distribution<float>(0.005f, 1.0f)(random);
        std::vector<uint8_t> mask(background.size());
        for (uint8_t& m : mask)
            m = uint8_t(random());

        const FrameConstants constants = Frame;
        TriangleSource source(seed);
        std::vector<CornerSet> triangles;
        for (int i = 0; i < count; ++i)
            triangles.push_back(source.Next());

        const auto run = [&](int upTo, Side& engine, Side& expected) {
            for (Side* side : {&engine, &expected}) {
                std::copy(background.begin(), background.end(), side->frame.Pixels());
                side->depth = depth;
                side->mask = mask;
            }
            for (int i = 0; i < upTo; ++i) {
                const CornerSet& c = triangles[size_t(i)];
                Triangle triangle(MakeVertex(c[0]), MakeVertex(c[1]), MakeVertex(c[2]), owner);
                triangle.ref.windingSign = int8_t(i % 3 == 0 ? -1 : 1);
                engine.Use(constants);
                DrawTriangle(&triangle.ref);
                expected.Use(constants);
                reference::DrawTriangle(triangle.ref);
            }
        };
        const auto same = [](const Side& a, const Side& b) {
            return a.frame.Copy() == b.frame.Copy() && a.depth == b.depth && a.mask == b.mask;
        };

        Side engine, expected;
        run(count, engine, expected);
        EXPECT_TRUE(engine.frame.GuardsIntact());
        if (same(engine, expected))
            return;
        int low = 0, high = count;  // the first `high` triangles differ, the first `low` do not
        while (high - low > 1) {
            const int middle = (low + high) / 2;
            run(middle, engine, expected);
            (same(engine, expected) ? low : high) = middle;
        }
        const CornerSet& c = triangles[size_t(high - 1)];
        std::string corners;
        for (const CornerValues& v : c)
            corners += "(" + std::to_string(v.x) + ", " + std::to_string(v.y) + ", z " + std::to_string(v.z) +
                       ", uv " + std::to_string(v.u) + " " + std::to_string(v.v) + ") ";
        ADD_FAILURE() << "triangle " << high - 1 << " differs: " << corners;
    }

    void ExpectRowMatches(uint32_t flags, uint32_t m1 = 0, uint32_t m2 = 0, bool withTransparencyMap = false,
                          uint32_t correction = 3)
    {
        ObjectPtr object = MakeObject(flags, uint32_t(random()));
        object->textureMap = (m1 & 2) ? square.get() : texture.get();
        object->environmentMap = environment.get();
        object->transparencyMap = withTransparencyMap ? transparency.get() : nullptr;
        object->material[1] = m1;
        object->material[2] = m2;
        object->correctionValue = correction;
        SCOPED_TRACE("flags " + std::to_string(flags) + " m1 " + std::to_string(m1) + " m2 " +
                     std::to_string(m2) + (withTransparencyMap ? " with transparency map" : ""));
        ExpectMatch(object.get(), flags * 131 + m1 * 17 + m2 * 7 + withTransparencyMap);
    }

    void SetFog()
    {
        Frame.fogIndexBase = 64;
        Frame.fogStart = 20.0f;
        Frame.fogEnd = 80.0f;
        Frame.fogStartLevel = 30.0f;
        Frame.fogEndLevel = 250.0f;
        Frame.fogColour = 0x00C08040;
    }

    std::mt19937 random{99};
    TexturePtr texture, square, environment, transparency;
};

TEST_F(ReferenceMatch, FlatMembersMatch)
{
    for (uint32_t row : {0u, 16u})
        ExpectRowMatches(row);
    for (uint32_t row : {1u, 17u}) {
        ExpectRowMatches(row);
        ExpectRowMatches(row, 0, 0, true);
    }
}

TEST_F(ReferenceMatch, TextureMembersMatchWithEveryFilter)
{
    for (uint32_t m1 = 0; m1 < 4; ++m1)
        ExpectRowMatches(OBJECT_TEXTURE, m1);
    ExpectRowMatches(OBJECT_TEXTURE | OBJECT_TRANSPARENT);
    ExpectRowMatches(OBJECT_TEXTURE | OBJECT_TRANSPARENT, 1, 0, true);
}

TEST_F(ReferenceMatch, EnvironmentMembersMatchBothFilters)
{
    for (uint32_t row : {4u, 20u}) {
        ExpectRowMatches(row, 0, 0);
        ExpectRowMatches(row, 0, 1);
        ExpectRowMatches(row, 0, 2);
    }
    for (uint32_t row : {5u, 21u}) {
        ExpectRowMatches(row);
        ExpectRowMatches(row, 0, 1, true);
    }
}

TEST_F(ReferenceMatch, PerspectiveMembersMatchEveryFilterAndPieceLength)
{
    for (uint32_t m1 = 0; m1 < 4; ++m1)
        ExpectRowMatches(OBJECT_TEXTURE | OBJECT_PERSPECTIVE, m1);
    for (uint32_t k : {0u, 1u, 4u, 8u})
        ExpectRowMatches(OBJECT_TEXTURE | OBJECT_PERSPECTIVE, 0, 0, false, k);
    ExpectRowMatches(19);
    ExpectRowMatches(19, 0, 0, true, 2);
}

TEST_F(ReferenceMatch, ShadedMembersMatch)
{
    ExpectRowMatches(32);
    ExpectRowMatches(48);
    ExpectRowMatches(34, 3);
    ExpectRowMatches(50, 1, 0, false, 0);
    ExpectRowMatches(50, 0, 0, false, 4);
}

TEST_F(ReferenceMatch, FogMembersMatchEveryFilter)
{
    SetFog();
    ExpectRowMatches(0);
    ExpectRowMatches(16);
    for (uint32_t m1 = 0; m1 < 4; ++m1) {
        ExpectRowMatches(OBJECT_TEXTURE, m1);
        ExpectRowMatches(OBJECT_TEXTURE | OBJECT_PERSPECTIVE, m1);
    }
}

TEST_F(ReferenceMatch, ShadowPassMembersMatch)
{
    ObjectPtr object = MakeObject(0);
    Frame.renderPhase = PHASE_DEPTH;
    ExpectMatch(object.get(), 501);
    Frame.renderPhase = PHASE_SHADOWVOLUME;
    ExpectMatch(object.get(), 502);
}

TEST_F(ReferenceMatch, LightVolumeMembersMatch)
{
    VolumePtr volume = MakeVolume(0xB0A06040, 4, 3, 5, 77);
    ExpectMatch(volume.get(), 601);
    volume->volumeFlags = 0;
    ExpectMatch(volume.get(), 602);
}

}  // namespace
