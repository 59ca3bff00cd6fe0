// The frame constants a scene and its view give, and the clip codes of
// projected vertices and lights.
#include "render/pipeline.h"

#include <cmath>

using namespace kvor3d;

namespace {

using FrameSetUp = pipeline::Pipeline;
using Projection = pipeline::Pipeline;

TEST_F(FrameSetUp, ConstantsComeFromTheViewCameraClipAndFogWords)
{
    scene->nearClip = 5.0f;
    scene->farClip = 1000.0f;
    scene->fog[0] = 0x00102030;
    scene->fog[1] = 2;
    scene->fog[2] = 32768;
    scene->fog[3] = 700;
    scene->fog[4] = 65536;
    scene->ambientLevel = 0.5f;
    struct Case {
        int32_t width, height;
        uint32_t flags;
        float ambient;
        int32_t centreX, centreY;
        float nearZ, farZ, nearScale;
        uint32_t grey;
    };
    // The fog start or end replaces a clip distance only when fog is on and its bit asks.
    const Case cases[] = {
        {320, 200, 0, 0.5f, 160, 100, 5.0f, 1000.0f, 32.0f, 0x007F7F7F},
        {321, 201, SCENE_FOGNEAR | SCENE_FOGFAR, 2.0f, 160, 100, 5.0f, 1000.0f, 32.1f, 0x00FFFFFF},
        {320, 200, 0x2000 | SCENE_FOGNEAR, -1.0f, 160, 100, 2.0f, 1000.0f, 80.0f, 0},
        {320, 200, 0x3000 | SCENE_FOGFAR, 0.5f, 160, 100, 5.0f, 700.0f, 32.0f, 0x007F7F7F},
    };
    for (const Case& c : cases) {
        XView* other = pipeline::MakeView(c.width, c.height);
        scene->flags = c.flags;
        scene->ambientLevel = c.ambient;
        SetFrameConstants(scene, camera, other);
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(Frame.centreX, c.centreX);
        EXPECT_EQ(Frame.centreY, c.centreY);
        EXPECT_FLOAT_EQ(Frame.focal, float(c.width / 2.0));
        EXPECT_EQ(Frame.nearZ, c.nearZ);
        EXPECT_EQ(Frame.farZ, c.farZ);
        EXPECT_FLOAT_EQ(Frame.nearScale, c.nearScale);
        EXPECT_EQ(Frame.ambientGrey, c.grey);
        EXPECT_EQ(Frame.fogStartLevel, 127.5f);
        EXPECT_EQ(Frame.fogEndLevel, 255.0f);
        XViewDelete(other);
    }
}

// At z = 160 the scale is 1: screen = camera + centre; the last pixel is
// inside, the near and far planes themselves too.
TEST_F(Projection, ClipCodesOfVerticesAndLights)
{
    scene->nearClip = 1.0f;
    scene->farClip = 1000.0f;
    SetUpFrame();
    struct Case {
        float x, y, z;
        uint16_t vertex;
        uint32_t light;
    };
    const Case cases[] = {
        {159, 99, 160, 0, 0},
        {-160, -100, 160, 0, 0},
        {159.5f, 0, 160, CLIP_RIGHT, 0},
        {160, 0, 160, CLIP_RIGHT, LIGHT_CLIPRIGHT},
        {-160.5f, -100.5f, 160, CLIP_LEFT | CLIP_TOP, LIGHT_CLIPLEFT | LIGHT_CLIPTOP},
        {0, 99.5f, 160, CLIP_BOTTOM, 0},
        {0, 100, 160, CLIP_BOTTOM, LIGHT_CLIPBOTTOM},
        {0, 0, 1.0f, 0, LIGHT_CLIPNEAR},
        {0, 0, 0.999f, CLIP_NEAR, LIGHT_CLIPNEAR},
        {1, 2, -5, CLIP_NEAR | CLIP_BOTTOM, LIGHT_CLIPNEAR},
        {0, 0, 1000.0f, 0, LIGHT_CLIPFAR},
        {0, 0, 1000.5f, CLIP_FAR, LIGHT_CLIPFAR},
    };
    for (const Case& c : cases) {
        Vertex vertex{};
        vertex.camera[0] = c.x;
        vertex.camera[1] = c.y;
        vertex.camera[2] = c.z;
        ProjectVertex(&vertex);
        EXPECT_EQ(vertex.clipCode, c.vertex) << c.x << ", " << c.y << ", " << c.z;
        LightEntity light{};
        std::copy(vertex.camera, vertex.camera + 3, &light.matrix[12]);
        EXPECT_EQ(ProjectLight(&light), c.light) << c.x << ", " << c.y << ", " << c.z;
        if (!c.light) {
            EXPECT_EQ(light.screenX, 160.0f + c.x * 160.0f / c.z);
            EXPECT_EQ(light.screenY, 100.0f + c.y * 160.0f / c.z);
        }
    }
}

}  // namespace
