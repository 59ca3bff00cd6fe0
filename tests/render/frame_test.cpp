#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <cmath>

namespace {

using pipeline::Pipeline;

using FrameSetUp = Pipeline;

TEST_F(FrameSetUp, CentreIsTheIntegerHalfAndFocalIsHalfTheWidthAt90Degrees)
{
    SetUpFrame();
    EXPECT_EQ(Frame.width, 320);
    EXPECT_EQ(Frame.height, 200);
    EXPECT_EQ(Frame.centreX, 160);
    EXPECT_EQ(Frame.centreY, 100);
    EXPECT_EQ(Frame.fieldOfView, 90.0f);
    EXPECT_EQ(Frame.focal, 160.0f);

    XView* odd = pipeline::MakeView(321, 201);
    camera->fieldOfView = 60.0f;
    SetFrameConstants(scene, camera, odd);
    EXPECT_EQ(Frame.centreX, 160);
    EXPECT_EQ(Frame.centreY, 100);
    EXPECT_NEAR(Frame.focal, 321 / std::tan(3.14159265358979 / 6) / 2, 1e-4);
    XViewDelete(odd);
}

TEST_F(FrameSetUp, NearAndFarPlanesAreTheClipDistancesUnlessFogReplacesThem)
{
    scene->nearClip = 5.0f;
    scene->farClip = 1000.0f;
    scene->fog[1] = 2;
    scene->fog[3] = 700;

    SetUpFrame();
    EXPECT_EQ(Frame.nearZ, 5.0f);
    EXPECT_EQ(Frame.farZ, 1000.0f);
    EXPECT_EQ(Frame.nearScale, 32.0f);
    EXPECT_EQ(Frame.farScale, 0.16f);

    scene->flags = SCENE_FOGNEAR | SCENE_FOGFAR;  // fog off: the bits do nothing
    SetUpFrame();
    EXPECT_EQ(Frame.nearZ, 5.0f);
    EXPECT_EQ(Frame.farZ, 1000.0f);

    scene->flags = 0x1000;  // fog on, neither bit
    SetUpFrame();
    EXPECT_EQ(Frame.nearZ, 5.0f);
    EXPECT_EQ(Frame.farZ, 1000.0f);

    scene->flags = 0x2000 | SCENE_FOGNEAR;  // the fog start wins although the clip distance is larger
    SetUpFrame();
    EXPECT_EQ(Frame.nearZ, 2.0f);
    EXPECT_EQ(Frame.nearScale, 80.0f);
    EXPECT_EQ(Frame.farZ, 1000.0f);

    scene->flags = 0x3000 | SCENE_FOGFAR;
    SetUpFrame();
    EXPECT_EQ(Frame.nearZ, 5.0f);
    EXPECT_EQ(Frame.farZ, 700.0f);
}

TEST_F(FrameSetUp, PlanesAtOrBehindTheEyeGiveScale100)
{
    scene->nearClip = 0.0f;
    scene->farClip = -5.0f;
    SetUpFrame();
    EXPECT_EQ(Frame.nearScale, 100.0f);
    EXPECT_EQ(Frame.farScale, 100.0f);
}

TEST_F(FrameSetUp, FogValuesComeFromTheFogWords)
{
    scene->fog[0] = 0x00102030;
    scene->fog[1] = 100;
    scene->fog[2] = 32768;
    scene->fog[3] = 355;
    scene->fog[4] = 65536;
    SetUpFrame();
    EXPECT_EQ(Frame.fogColour, 0x00102030u);
    EXPECT_EQ(Frame.fogStart, 100.0f);
    EXPECT_EQ(Frame.fogEnd, 355.0f);
    EXPECT_EQ(Frame.fogStartLevel, 127.5f);
    EXPECT_EQ(Frame.fogEndLevel, 255.0f);
}

TEST_F(FrameSetUp, AmbientGreyIsTheTruncatedLevelInEveryByte)
{
    scene->ambientLevel = 0.5f;
    scene->ambientValue2 = 0.75f;
    SetUpFrame();
    EXPECT_EQ(Frame.ambientLevel8, 127);
    EXPECT_EQ(Frame.ambientGrey, 0x007F7F7Fu);
    EXPECT_EQ(scene->ambientGrey, 0x007F7F7Fu);
    EXPECT_EQ(Frame.ambientR, 127);
    EXPECT_EQ(Frame.ambientG, 127);
    EXPECT_EQ(Frame.ambientB, 127);
    EXPECT_EQ(Frame.vertexColourScale, 0.75f);

    scene->ambientLevel = 2.0f;  // limited, so that each byte stays a channel
    SetUpFrame();
    EXPECT_EQ(Frame.ambientGrey, 0x00FFFFFFu);
    scene->ambientLevel = -1.0f;
    SetUpFrame();
    EXPECT_EQ(Frame.ambientGrey, 0u);
}

TEST_F(FrameSetUp, DoubleBufferedViewsAreDrawnIntoBufferB)
{
    SetUpFrame();
    EXPECT_EQ(Frame.target, view->current);

    XView* doubled = pipeline::MakeView(320, 200, true);
    SetFrameConstants(scene, camera, doubled);
    EXPECT_EQ(Frame.target, doubled->bufferB);
    EXPECT_NE(Frame.target, doubled->current);
    XViewDelete(doubled);
}

using PrepareSceneTest = Pipeline;

TEST_F(PrepareSceneTest, TransformsDrawnEntitiesOnly)
{
    ObjectEntity* shown = build::AddObject(scene, "shown", {{0, 0, 50}}, {});
    ObjectEntity* hidden = build::AddObject(scene, "hidden", {{0, 0, 50}}, {});
    hidden->entityFlags = 0;
    hidden->position[2] = 30.0f;
    hidden->vertices[0].screenX = -7.0f;
    LightEntity* light = build::AddLight(scene, "light");
    light->position[2] = 0.5f;  // in front of the near plane
    shown->objectFlags = OBJECT_GLOWBUILT;

    PrepareScene(scene, nullptr, view);
    EXPECT_EQ(shown->vertices[0].screenX, 160.0f);
    EXPECT_EQ(shown->vertices[0].screenY, 100.0f);
    EXPECT_EQ(shown->objectFlags, 0u);  // the glow sprite is built afresh each frame
    EXPECT_EQ(hidden->vertices[0].screenX, -7.0f);
    EXPECT_EQ(hidden->matrix[14], 30.0f);  // every matrix is in camera space all the same
    EXPECT_EQ(light->lightFlags, LIGHT_CLIPNEAR);
}

TEST_F(PrepareSceneTest, FaceNormalsOnlyForShadowCastersWithShadowsOn)
{
    ObjectEntity* object = build::AddObject(scene, "caster", {{0, 0, 10}, {1, 0, 10}, {0, 1, 10}}, {{0, 1, 2}});
    object->objectFlags = OBJECT_SHADOWCASTER;
    object->faces[0].normal[2] = -1.0f;
    object->faces[0].cameraNormal[2] = 5.0f;

    PrepareScene(scene, nullptr, view);
    EXPECT_EQ(object->faces[0].cameraNormal[2], 5.0f);

    scene->flags = SCENE_SHADOWS;
    PrepareScene(scene, nullptr, view);
    EXPECT_EQ(object->faces[0].cameraNormal[2], -1.0f);
    EXPECT_EQ(object->faces[0].planeDistance, -10.0f);
}

TEST_F(PrepareSceneTest, EnvironmentTransformServesEnvironmentMapsAndShading)
{
    ObjectEntity* textured = build::AddObject(scene, "textured", {{0, 0, 50}}, {});
    ObjectEntity* mirrored = build::AddObject(scene, "mirrored", {{0, 0, 50}}, {});
    ObjectEntity* shaded = build::AddObject(scene, "shaded", {{0, 0, 50}}, {});
    textured->objectFlags = OBJECT_TEXTURE;
    mirrored->objectFlags = OBJECT_ENVIRONMENT;
    shaded->objectFlags = OBJECT_SHADED;
    for (ObjectEntity* object : {textured, mirrored, shaded})
        object->vertices[0].envRow = -1.0f;

    PrepareScene(scene, nullptr, view);
    EXPECT_EQ(textured->vertices[0].envRow, -1.0f);
    EXPECT_EQ(mirrored->vertices[0].envRow, 127.0f);
    EXPECT_EQ(shaded->vertices[0].envRow, 127.0f);
}

TEST_F(PrepareSceneTest, CameraThatIsNotACameraEntityPreparesNothing)
{
    ObjectEntity* object = build::AddObject(scene, "object", {{0, 0, 50}}, {});
    Entity* notCamera = build::AddNull(scene, "null");
    PrepareScene(scene, notCamera, view);
    EXPECT_EQ(object->vertices[0].screenX, 0.0f);
    PrepareScene(nullptr, nullptr, view);
    PrepareScene(scene, nullptr, nullptr);
}

}  // namespace
