#include "scene/scene.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

namespace {

using build::Point;

void ExpectVector(const float* actual, float x, float y, float z)
{
    EXPECT_EQ(actual[0], x);
    EXPECT_EQ(actual[1], y);
    EXPECT_EQ(actual[2], z);
}

class Normals : public ::testing::Test {
protected:
    void SetUp() override { scene = AllocScene(); }
    void TearDown() override { FreeScene(scene); }
    Scene* scene = nullptr;
};

TEST_F(Normals, FaceNormalsAreUnitCrossProductsAndVertexNormalsTheNegatedMeanTimes127)
{
    ObjectEntity* object = build::AddObject(scene, "o",
                                            {
                                                {0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2},  // 0-3
                                                {5, 5, 5},                                   // 4: in no face
                                                {1, 1, 1}, {2, 2, 2}, {3, 3, 3},             // 5-7: collinear
                                                {0, 0, 0}, {0, 0, 1}, {4, -3, 0},            // 8-10
                                            },
                                            {{0, 1, 2}, {0, 3, 1}, {5, 6, 7}, {8, 9, 10}});
    ASSERT_EQ(ComputeNormals(object), 1);

    ExpectVector(object->faces[0].normal, 0.0f, 0.0f, 1.0f);
    ExpectVector(object->faces[1].normal, 0.0f, 1.0f, 0.0f);
    ExpectVector(object->faces[2].normal, 0.0f, 0.0f, 0.0f);  // collinear: no direction
    ExpectVector(object->faces[3].normal, 3.0f / 5.0f, 4.0f / 5.0f, 0.0f);

    ExpectVector(object->vertices[0].normal, 0.0f, -63.5f, -63.5f);  // two faces: mean of both
    ExpectVector(object->vertices[1].normal, 0.0f, -63.5f, -63.5f);
    ExpectVector(object->vertices[2].normal, 0.0f, 0.0f, -127.0f);
    ExpectVector(object->vertices[3].normal, 0.0f, -127.0f, 0.0f);
    ExpectVector(object->vertices[4].normal, 0.0f, 0.0f, 0.0f);  // in no face
    ExpectVector(object->vertices[6].normal, 0.0f, 0.0f, 0.0f);
    ExpectVector(object->vertices[10].normal, -(3.0f / 5.0f) * 127.0f, -(4.0f / 5.0f) * 127.0f, 0.0f);
}

TEST_F(Normals, MorphTargetsGetTheirOwnNormalsAndTheVertexArrayKeepsItsShape)
{
    MorphEntity* morph = build::AddMorph(scene, "m", 3, {{0, 1, 2}});
    MorphTarget* flat = build::AddTarget(morph, "flat", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    MorphTarget* upright = build::AddTarget(morph, "upright", {{0, 0, 0}, {1, 0, 0}, {0, 0, 1}});
    for (int v = 0; v < 3; ++v) {
        for (int i = 0; i < 3; ++i)
            morph->vertices[v].position[i] = flat->targetVertices[v].position[i];
    }
    morph->currentTarget = flat;

    ASSERT_EQ(ComputeNormals(morph), 1);
    for (int v = 0; v < 3; ++v) {
        ExpectVector(flat->targetVertices[v].normal, 0.0f, 0.0f, -127.0f);
        ExpectVector(upright->targetVertices[v].normal, 0.0f, 127.0f, 0.0f);
        ExpectVector(morph->vertices[v].normal, 0.0f, 0.0f, -127.0f);
    }
    ExpectVector(morph->vertices[2].position, 0.0f, 1.0f, 0.0f);
    ExpectVector(morph->faces[0].normal, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(morph->currentTarget, flat);
}

TEST_F(Normals, AFaceCornerOutsideTheVertexArrayIsRefusedAndNothingChanges)
{
    ObjectEntity* object = build::AddObject(scene, "o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    ObjectEntity* other = build::AddObject(scene, "p", {{0, 0, 0}}, {});
    object->faces[0].vertices[2] = &other->vertices[0];
    EXPECT_EQ(ComputeNormals(object), 0);
    ExpectVector(object->faces[0].normal, 0.0f, 0.0f, 0.0f);
    object->faces[0].vertices[2] = nullptr;
    EXPECT_EQ(ComputeNormals(object), 0);
    EXPECT_EQ(ComputeNormals(nullptr), 0);
}

}  // namespace
