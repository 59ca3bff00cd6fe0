#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <random>

namespace {

using pipeline::Pipeline;

// The largest r with r² <= q, by the definition.
uint64_t ReferenceRoot(uint64_t q)
{
    uint64_t r = uint64_t(std::sqrt(double(q)));
    while (static_cast<unsigned __int128>(r) * r > q)
        --r;
    while (static_cast<unsigned __int128>(r + 1) * (r + 1) <= q)
        ++r;
    return r;
}

TEST(IntegerSquareRoot, IsTheFloorOfTheRoot)
{
    for (uint64_t q = 0; q < 70000; ++q)
        ASSERT_EQ(IntegerSquareRoot(q), ReferenceRoot(q)) << q;
    for (uint64_t r = 1; r < (uint64_t(1) << 32); r = r * 3 + 1) {
        for (uint64_t q : {r * r - 1, r * r, r * r + 1})
            ASSERT_EQ(IntegerSquareRoot(q), ReferenceRoot(q)) << q;
    }
    std::mt19937_64 random(7);
    for (int i = 0; i < 100000; ++i) {
        const uint64_t q = random() >> (random() % 64);
        ASSERT_EQ(IntegerSquareRoot(q), ReferenceRoot(q)) << q;
    }
    EXPECT_EQ(IntegerSquareRoot(0xFFFFFFFFu), 65535u);
    EXPECT_EQ(IntegerSquareRoot(UINT64_MAX), 0xFFFFFFFFu);
}

// One shaded object and lights placed directly in camera space.
class PointLighting : public Pipeline {
protected:
    void SetUp() override
    {
        Pipeline::SetUp();
        object = build::AddObject(scene, "object", {{0, 0, 0}}, {});
        object->objectFlags = OBJECT_SHADED;
        Place(0, 0, 10);
        Facing(0, 0, 127);
        vertex().litColour = 0x00101010;
    }

    Vertex& vertex() { return object->vertices[0]; }

    void Place(float x, float y, float z)
    {
        vertex().camera[0] = x;
        vertex().camera[1] = y;
        vertex().camera[2] = z;
    }

    void Facing(float x, float y, float z)
    {
        vertex().cameraNormal[0] = x;
        vertex().cameraNormal[1] = y;
        vertex().cameraNormal[2] = z;
    }

    LightEntity* AddLight(float x, float y, float z, float intensity, uint32_t colour, float range = 0)
    {
        LightEntity* light = build::AddLight(scene, "light");
        light->matrix[12] = x;
        light->matrix[13] = y;
        light->matrix[14] = z;
        light->lightValue1 = intensity;
        light->lightValue2 = range;
        light->lightValue3 = colour;
        light->lightFlags = LIGHT_ON;
        return light;
    }

    ObjectEntity* object = nullptr;
};

// d = (0, 0, 10), r = 10, f = 127 × 10 / (10 × 128) = 0.9921875; I = 0.5 × f.
TEST_F(PointLighting, LightAddsIntensityTimesFacingTimesItsColour)
{
    AddLight(0, 0, 0, 0.5f, 0x00FF8040);
    LightVertices(scene);
    // 16 + int(126.50…), 16 + int(63.5), 16 + int(31.75).
    EXPECT_EQ(vertex().litColour, 0x008E4F2Fu);
}

TEST_F(PointLighting, LightPositionIsTruncatedBeforeTheDistance)
{
    AddLight(0.9f, -0.9f, 0.9f, 0.5f, 0x00FF8040);  // truncates to the origin
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x008E4F2Fu);
}

TEST_F(PointLighting, LightsAddUpInChainOrderAndSaturate)
{
    AddLight(0, 0, 0, 0.5f, 0x00FF8040);
    AddLight(0, 0, 0, 0.5f, 0x00FF8040);
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00FF8E4Eu);  // red 16 + 126 + 126 limited to 255

    vertex().litColour = 0;
    AddLight(0, 0, 0, -2.0f, 0x00FFFFFF);  // a negative light takes nothing away
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00FC7E3Eu);
}

TEST_F(PointLighting, LightsThatAreOffHiddenOrDarkAddNothing)
{
    AddLight(0, 0, 0, 0.5f, 0x00FFFFFF)->lightFlags = 0;
    AddLight(0, 0, 0, 0.5f, 0x00FFFFFF)->entityFlags = 0;
    AddLight(0, 0, 0, 0.0f, 0x00FFFFFF);
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00101010u);
}

TEST_F(PointLighting, OnlyDrawnShadedObjectsAreLit)
{
    AddLight(0, 0, 0, 0.5f, 0x00FFFFFF);
    object->objectFlags = OBJECT_ENVIRONMENT;
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00101010u);
    object->objectFlags = OBJECT_SHADED;
    object->entityFlags = 0;
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00101010u);
}

TEST_F(PointLighting, VertexFacingAwayIsNotLit)
{
    Facing(0, 0, -127);
    AddLight(0, 0, 0, 1.0f, 0x00FFFFFF);
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00101010u);
    Facing(127, 0, 0);  // edge-on: f = 0
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00101010u);
}

TEST_F(PointLighting, RangeZeroLightsAtEveryDistance)
{
    Place(0, 0, 5000);
    AddLight(0, 0, 0, 0.5f, 0x00FF8040);
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x008E4F2Fu);
}

TEST_F(PointLighting, RangeFadesTheLightAndEndsIt)
{
    Place(0, 0, 30);
    AddLight(0, 0, 0, 1.0f, 0x00FF8040, 50.0f);
    LightVertices(scene);
    // I = (1 − 900 / 2500) × 0.9921875 = 0.635: 16 + 161, 16 + 81, 16 + 40.
    EXPECT_EQ(vertex().litColour, 0x00B16138u);

    vertex().litColour = 0x00101010;
    Place(0, 0, 60);  // beyond the range: negative I
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00101010u);
}

TEST_F(PointLighting, VertexAtTheLightTakesItsFullIntensity)
{
    Place(3.7f, -0.5f, 0.9f);  // integer offset (0, 0, 0) from the light
    Facing(0, 0, -127);        // no direction matters there
    AddLight(3.2f, 0, 0, 0.5f, 0x00804020);
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00503020u);  // 16 + 64, 16 + 32, 16 + 16
}

TEST_F(PointLighting, DistantLightAndVertexAreLitWithoutWrapping)
{
    Place(0, 0, 200000);  // q = 4 × 10¹⁰, beyond 32 bits
    AddLight(0, 0, 0, 0.5f, 0x00FF8040);
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x008E4F2Fu);

    vertex().litColour = 0x00101010;
    Place(-2e9f, 2e9f, 2e9f);  // squares near the top of 64 bits
    Facing(-127, 127, 127);
    LightVertices(scene);
    EXPECT_NE(vertex().litColour, 0x00101010u);
}

}  // namespace
