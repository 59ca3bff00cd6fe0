// Point lighting of a shaded object's vertices, with lights placed directly
// in camera space, and the base colour it adds to.
#include "render/pipeline.h"
#include "support/scene_builder.h"

using namespace kvor3d;

namespace {

class PointLighting : public pipeline::Pipeline {
protected:
    void SetUp() override
    {
        Pipeline::SetUp();
        object = build::AddObject(scene, "object", {{0, 0, 0}}, {});
        object->objectFlags = OBJECT_SHADED;
        Set(vertex().camera, 0, 0, 10);
        Set(vertex().cameraNormal, 0, 0, 127);
        vertex().litColour = 0x00101010;
    }

    Vertex& vertex() { return object->vertices[0]; }
    static void Set(float* v, float x, float y, float z) { v[0] = x, v[1] = y, v[2] = z; }

    LightEntity* AddLight(float x, float y, float z, float intensity, uint32_t colour, float range = 0)
    {
        LightEntity* light = build::AddLight(scene, "light");
        Set(&light->matrix[12], x, y, z);
        light->lightValue1 = intensity;
        light->lightValue2 = range;
        light->lightValue3 = colour;
        light->lightFlags = LIGHT_ON;
        return light;
    }

    ObjectEntity* object = nullptr;
};

// d = (0, 0, 10), r = 10, f = 127 × 10 / (10 × 128) = 0.9921875; one light
// adds 0.5 f × (255, 128, 64): 126, 63, 31.
TEST_F(PointLighting, LightsAddUpInChainOrderAndSaturate)
{
    AddLight(0.9f, -0.9f, 0.9f, 0.5f, 0x00FF8040);  // truncated to the origin before the distance
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x008E4F2Fu);
    vertex().litColour = 0x00101010;
    AddLight(0, 0, 0, 0.5f, 0x00FF8040);
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00FF8E4Eu);  // red 16 + 126 + 126 limited to 255
    vertex().litColour = 0;
    AddLight(0, 0, 0, -2.0f, 0x00FFFFFF);  // a negative light takes nothing away
    AddLight(0, 0, 0, 0.5f, 0x00FFFFFF)->lightFlags = 0;
    AddLight(0, 0, 0, 0.5f, 0x00FFFFFF)->entityFlags = 0;
    LightVertices(scene);
    EXPECT_EQ(vertex().litColour, 0x00FC7E3Eu);
}

// I = (1 − 900 / 2500) × 0.9921875 = 0.635 at distance 30 of range 50, less
// than 0 beyond it; range 0 lights at every distance, also where q passes
// 32 bits; a vertex turned away is not lit.
TEST_F(PointLighting, RangeFadesTheLightAndFacingAwayTakesIt)
{
    struct Case {
        float z, range, facing;
        uint32_t lit;
    };
    for (const Case& c : {Case{30, 50, 127, 0x00B16138u}, Case{60, 50, 127, 0x00101010u},
                          Case{200000, 0, 127, 0x008E4F2Fu}, Case{10, 0, -127, 0x00101010u}}) {
        Set(vertex().camera, 0, 0, c.z);
        vertex().cameraNormal[2] = c.facing;
        vertex().litColour = 0x00101010;
        LightEntity* light = AddLight(0, 0, 0, c.range ? 1.0f : 0.5f, 0x00FF8040, c.range);
        LightVertices(scene);
        EXPECT_EQ(vertex().litColour, c.lit) << c.z;
        light->lightFlags = 0;
    }
}

// The lighting base of a vertex with its own colour: the colour scaled by
// ambientValue2 and raised by the ambient grey (63), limited to a byte.
TEST_F(PointLighting, VertexColourBaseIsScaledRaisedAndLimited)
{
    scene->ambientLevel = 0.25f;
    scene->ambientValue2 = 2.0f;
    object->objectFlags = OBJECT_SHADED | OBJECT_VERTEXCOLOURS;
    object->position[2] = 100.0f;
    vertex().colour = 0x00FF4020;
    SetUpFrame();
    BuildViewMatrix(scene, camera);
    TransformVerticesEnv(object);
    EXPECT_EQ(vertex().litColour, 0x00FFBF7Fu);  // 510 + 63, 128 + 63, 64 + 63
}

}  // namespace
