#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <cmath>
#include <limits>

namespace {

using pipeline::Pipeline;

// An object 100 units in front of the camera, unturned and unscaled, so that
// camera position = object position + (0, 0, 100) and the unit rows are the
// identity.
class Transform : public Pipeline {
protected:
    void SetUp() override
    {
        Pipeline::SetUp();
        scene->ambientLevel = 0.25f;  // ambient grey 63
        scene->ambientValue2 = 0.5f;
        object = build::AddObject(scene, "object", {{10, -20, 0}, {-30, 40, 20}, {0, 0, -99.5f}},
                                  {{0, 1, 2}});
        object->position[2] = 100.0f;
        SetNormal(0, 0, 0, -127);
        SetNormal(1, 127, -64, 5.5f);
        SetUpFrame();
    }

    void SetNormal(int vertex, float x, float y, float z)
    {
        object->vertices[vertex].normal[0] = x;
        object->vertices[vertex].normal[1] = y;
        object->vertices[vertex].normal[2] = z;
    }

    void ToCamera() { BuildViewMatrix(scene, camera); }

    ObjectEntity* object = nullptr;
};

TEST_F(Transform, PlainTransformWritesCameraAndScreenPositions)
{
    ToCamera();
    TransformVertices(object);
    const Vertex& vertex = object->vertices[0];
    EXPECT_EQ(vertex.camera[0], 10.0f);
    EXPECT_EQ(vertex.camera[1], -20.0f);
    EXPECT_EQ(vertex.camera[2], 100.0f);
    EXPECT_EQ(vertex.screenX, 176.0f);
    EXPECT_EQ(vertex.screenY, 68.0f);
    EXPECT_EQ(vertex.clipCode, 0);
    EXPECT_EQ(object->vertices[2].clipCode, CLIP_NEAR);  // z = 0.5
}

// Normal table: entry 128 = 127, entry 64 = 158, entry 255 = 58. Position
// table at width 320: entry 16384 + p = trunc(−0.625 × p).
TEST_F(Transform, EnvironmentCoordinatesOfAKnownObject)
{
    object->objectFlags = OBJECT_ENVIRONMENT;
    ToCamera();
    TransformVerticesEnv(object);

    // Projected offsets (16, −32); normal (0, 0): 127 − 20 and 127 − (−10).
    EXPECT_EQ(object->vertices[0].envRow, 107.0f);
    EXPECT_EQ(object->vertices[0].envColumn, 137.0f);
    EXPECT_EQ(object->vertices[0].screenX, 176.0f);
    // Camera (−30, 40, 120): offsets (−40, 53) give ex = 25, ey = −33;
    // normal (127, −64): 158 − (−33) and 58 − 25.
    EXPECT_EQ(object->vertices[1].envRow, 191.0f);
    EXPECT_EQ(object->vertices[1].envColumn, 33.0f);
}

TEST_F(Transform, VertexBeforeTheNearPlaneGetsNoPositionTerm)
{
    object->objectFlags = OBJECT_ENVIRONMENT;
    SetNormal(2, 0, 0, 0);
    object->vertices[2].position[0] = 50.0f;  // far off-centre, but at z = 0.5
    ToCamera();
    TransformVerticesEnv(object);
    EXPECT_EQ(object->vertices[2].clipCode, CLIP_NEAR | CLIP_RIGHT);
    EXPECT_EQ(object->vertices[2].envRow, 127.0f);
    EXPECT_EQ(object->vertices[2].envColumn, 127.0f);
}

TEST_F(Transform, EnvironmentCoordinatesFollowTheUnitRows)
{
    object->objectFlags = OBJECT_ENVIRONMENT;
    object->size[0] = object->size[1] = object->size[2] = 2.0f;
    object->position[2] = 50.0f;
    object->rotation[2] = 180.0f;  // upside down: x and y change sign
    SetNormal(0, 127, -64, 0);
    ToCamera();
    TransformVerticesEnv(object);
    // Camera position (−20, 40, 50): offsets (−64, 128), ex = 40, ey = −80.
    // Camera normal (−127, 64): table entries 1 and 192 (196 and 96).
    EXPECT_EQ(object->vertices[0].envRow, 96.0f + 80.0f);
    EXPECT_EQ(object->vertices[0].envColumn, 196.0f - 40.0f);
}

TEST_F(Transform, ShadedVerticesGetCameraNormalsAndTheAmbientBase)
{
    object->objectFlags = OBJECT_SHADED;
    ToCamera();
    TransformVerticesEnv(object);
    const Vertex& vertex = object->vertices[1];
    EXPECT_EQ(vertex.cameraNormal[0], 127.0f);
    EXPECT_EQ(vertex.cameraNormal[1], -64.0f);
    EXPECT_EQ(vertex.cameraNormal[2], 5.5f);  // z stays unrounded
    EXPECT_EQ(vertex.litColour, 0x003F3F3Fu);
}

TEST_F(Transform, VertexColoursAreScaledAndRaisedByTheAmbientChannels)
{
    object->objectFlags = OBJECT_SHADED | OBJECT_VERTEXCOLOURS;
    object->vertices[0].colour = 0x00FF4020;
    object->vertices[1].colour = 0x00FFFFFF;
    scene->ambientValue2 = 0.5f;
    SetUpFrame();
    ToCamera();
    TransformVerticesEnv(object);
    // 127 + 63, 32 + 63, 16 + 63.
    EXPECT_EQ(object->vertices[0].litColour, 0x00BE5F4Fu);

    scene->ambientValue2 = 2.0f;
    SetUpFrame();
    TransformVerticesEnv(object);
    EXPECT_EQ(object->vertices[1].litColour, 0x00FFFFFFu);  // 510 + 63, limited

    scene->ambientValue2 = -1.0f;
    scene->ambientLevel = 0.0f;
    SetUpFrame();
    TransformVerticesEnv(object);
    EXPECT_EQ(object->vertices[1].litColour, 0u);
}

TEST_F(Transform, UnshadedEnvironmentTransformLeavesNormalAndLitColourAlone)
{
    object->objectFlags = OBJECT_ENVIRONMENT;
    Vertex& vertex = object->vertices[1];
    vertex.cameraNormal[0] = 9.0f;
    vertex.cameraNormal[2] = 9.0f;
    vertex.litColour = 0x00123456;
    ToCamera();
    TransformVerticesEnv(object);
    EXPECT_EQ(vertex.cameraNormal[0], 9.0f);
    EXPECT_EQ(vertex.cameraNormal[2], 9.0f);
    EXPECT_EQ(vertex.litColour, 0x00123456u);
}

TEST_F(Transform, FaceNormalsTurnWithTheObject)
{
    object->rotation[0] = 90.0f;
    object->faces[0].normal[0] = 1.0f;
    ToCamera();
    TransformVertices(object);
    TransformFaceNormals(object);
    const Face& face = object->faces[0];
    EXPECT_NEAR(face.cameraNormal[0], 0.0f, 1e-6);
    EXPECT_NEAR(face.cameraNormal[1], 0.0f, 1e-6);
    EXPECT_NEAR(face.cameraNormal[2], -1.0f, 1e-6);
    const Vertex& first = *face.vertices[0];
    EXPECT_EQ(face.planeDistance, face.cameraNormal[0] * first.camera[0] + face.cameraNormal[1] * first.camera[1] +
                                      face.cameraNormal[2] * first.camera[2]);
    EXPECT_NEAR(face.planeDistance, -(100.0f - 10.0f), 1e-4);  // first vertex at camera z 100 − 10
}

// Huge, tiny and negative depths, huge offsets and a sheared matrix must
// stay inside the normal and position tables (checked under AddressSanitizer
// as well), and give finite coordinates within the tables' reach.
TEST_F(Transform, ExtremeCoordinatesStayInsideTheTables)
{
    const float huge = 1e30f;
    ObjectEntity* wild = build::AddObject(
        scene, "wild", {{huge, -huge, 1}, {-huge, huge, -huge}, {huge, huge, huge}, {0, 0, -100}}, {});
    wild->parent = object;
    wild->size[0] = 5.0f;
    wild->size[1] = 0.01f;
    wild->rotation[2] = 30.0f;  // turned after a non-uniform scale: sheared rows
    object->size[0] = 0.1f;
    object->rotation[1] = 60.0f;
    ObjectEntity* thin = build::AddObject(
        scene, "thin", {{3, 4, 1e-30f}, {-3, -4, 1e-38f}, {0, 0, 1e-38f}, {5, 5, 0}, {5, 5, -1e-38f}}, {});

    for (ObjectEntity* each : {wild, thin}) {
        each->objectFlags = OBJECT_ENVIRONMENT | OBJECT_SHADED;
        for (uint32_t i = 0; i < each->vertexCount; ++i) {
            each->vertices[i].normal[0] = i % 2 ? 1e20f : -127.0f;
            each->vertices[i].normal[1] = 127.0f;
            each->vertices[i].normal[2] = i % 3 ? -1e20f : 127.0f;
        }
    }
    scene->nearClip = -1e30f;  // no near clipping: every vertex takes the position lookups
    SetUpFrame();
    ToCamera();
    for (ObjectEntity* each : {wild, thin}) {
        TransformVerticesEnv(each);
        for (uint32_t i = 0; i < each->vertexCount; ++i) {
            EXPECT_LE(std::fabs(each->vertices[i].envRow), 256.0f + 10240.0f) << each->name << i;
            EXPECT_LE(std::fabs(each->vertices[i].envColumn), 256.0f + 10240.0f) << each->name << i;
        }
    }
}

TEST_F(Transform, MissingTablesGiveZeroLookups)
{
    object->objectFlags = OBJECT_ENVIRONMENT;
    FreeNormalTable();
    FreePositionTable();
    ToCamera();
    TransformVerticesEnv(object);
    EXPECT_EQ(object->vertices[0].envRow, 0.0f);
    EXPECT_EQ(object->vertices[0].envColumn, 0.0f);
}

}  // namespace
