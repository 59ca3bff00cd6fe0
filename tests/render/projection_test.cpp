#include "render/pipeline.h"

namespace {

using pipeline::Pipeline;

class Projection : public Pipeline {
protected:
    void SetUp() override
    {
        Pipeline::SetUp();
        scene->nearClip = 1.0f;
        scene->farClip = 1000.0f;
        SetUpFrame();
    }

    Vertex Project(float x, float y, float z, uint32_t vertexValue = 0)
    {
        Vertex vertex{};
        vertex.camera[0] = x;
        vertex.camera[1] = y;
        vertex.camera[2] = z;
        vertex.vertexValue = vertexValue;
        ProjectVertex(&vertex);
        return vertex;
    }

    uint32_t ProjectLightAt(float x, float y, float z, uint32_t flags = 0)
    {
        light.matrix[12] = x;
        light.matrix[13] = y;
        light.matrix[14] = z;
        light.lightFlags = flags;
        return ProjectLight(&light);
    }

    LightEntity light{};
};

TEST_F(Projection, PointOnTheAxisProjectsToTheCentre)
{
    const Vertex vertex = Project(0, 0, 50);
    EXPECT_EQ(vertex.screenX, 160.0f);
    EXPECT_EQ(vertex.screenY, 100.0f);
    EXPECT_EQ(vertex.clipCode, 0);
}

TEST_F(Projection, ScreenPositionIsScaledByFocalOverZWithoutRounding)
{
    const Vertex vertex = Project(10, -20, 100);  // s = 1.6
    EXPECT_EQ(vertex.screenX, 176.0f);
    EXPECT_EQ(vertex.screenY, 68.0f);
    const Vertex fraction = Project(1, 1, 320);  // s = 0.5
    EXPECT_EQ(fraction.screenX, 160.5f);
    EXPECT_EQ(fraction.screenY, 100.5f);
}

TEST_F(Projection, VertexCodesIncludeTheLastPixelAndTheNearPlane)
{
    // At z = 160 the scale is 1: screen = camera + centre.
    EXPECT_EQ(Project(159, 99, 160).clipCode, 0);         // (319, 199): the last pixel
    EXPECT_EQ(Project(-160, -100, 160).clipCode, 0);      // (0, 0)
    EXPECT_EQ(Project(159.5f, 0, 160).clipCode, CLIP_RIGHT);
    EXPECT_EQ(Project(-160.5f, 0, 160).clipCode, CLIP_LEFT);
    EXPECT_EQ(Project(0, 99.5f, 160).clipCode, CLIP_BOTTOM);
    EXPECT_EQ(Project(0, -100.5f, 160).clipCode, CLIP_TOP);
    EXPECT_EQ(Project(-200, 150, 160).clipCode, CLIP_LEFT | CLIP_BOTTOM);

    EXPECT_EQ(Project(0, 0, 1.0f).clipCode, 0);  // exactly on the near plane
    EXPECT_EQ(Project(0, 0, 0.999f).clipCode, CLIP_NEAR);
    EXPECT_EQ(Project(0, 0, 1000.0f).clipCode, 0);  // exactly on the far plane
    EXPECT_EQ(Project(0, 0, 1000.5f).clipCode, CLIP_FAR);
}

TEST_F(Projection, VertexAtOrBehindTheEyeUsesScale100AndIsNearClipped)
{
    const Vertex behind = Project(1, 2, -5);
    EXPECT_EQ(behind.screenX, 260.0f);
    EXPECT_EQ(behind.screenY, 300.0f);
    EXPECT_EQ(behind.clipCode, CLIP_NEAR | CLIP_BOTTOM);
    const Vertex at = Project(-1, 0, 0);
    EXPECT_EQ(at.screenX, 60.0f);
    EXPECT_EQ(at.clipCode, CLIP_NEAR);
}

TEST_F(Projection, NearCodeExcludesTheFarTest)
{
    Frame.nearZ = 2000.0f;  // a near plane beyond the far one
    EXPECT_EQ(Project(0, 0, 1500).clipCode, CLIP_NEAR);
}

TEST_F(Projection, ProjectionClearsTheGlintScratchBits)
{
    EXPECT_EQ(Project(0, 0, 50, 0xFFFFFFFF).vertexValue, 0xFFFFFFFCu);
}

TEST_F(Projection, LightOnTheNearPlaneOrOnTheRightEdgeIsOutside)
{
    EXPECT_EQ(ProjectLightAt(0, 0, 1.0f), LIGHT_CLIPNEAR);
    EXPECT_EQ(ProjectLightAt(0, 0, -3.0f), LIGHT_CLIPNEAR);
    EXPECT_EQ(ProjectLightAt(0, 0, 1000.0f), LIGHT_CLIPFAR);
    EXPECT_EQ(ProjectLightAt(159, 99, 160), 0u);
    EXPECT_EQ(ProjectLightAt(160, 0, 160), LIGHT_CLIPRIGHT);  // screen x = width
    EXPECT_EQ(ProjectLightAt(0, 100, 160), LIGHT_CLIPBOTTOM);  // screen y = height
    EXPECT_EQ(ProjectLightAt(-160, -100, 160), 0u);
    EXPECT_EQ(ProjectLightAt(-160.5f, -100.5f, 160), LIGHT_CLIPLEFT | LIGHT_CLIPTOP);
}

TEST_F(Projection, VisibleLightKeepsItsOwnFlagsAndGetsItsScreenPosition)
{
    EXPECT_EQ(ProjectLightAt(10, -20, 100, 0xFC000007), 0x00000007u);
    EXPECT_EQ(light.lightFlags, 0x00000007u);
    EXPECT_EQ(light.screenX, 176.0f);
    EXPECT_EQ(light.screenY, 68.0f);
    EXPECT_EQ(light.depth, 100.0f);

    EXPECT_EQ(ProjectLightAt(0, 0, 2000, 0x03FFFFFF), 0x03FFFFFFu | LIGHT_CLIPFAR);
    EXPECT_EQ(light.depth, 100.0f);  // a light beyond a plane keeps its last position
}

TEST_F(Projection, NotANumberOnScreenCountsAsOutside)
{
    Frame.focal = std::numeric_limits<float>::infinity();
    const Vertex vertex = Project(0, 0, 50);  // 0 × ∞
    EXPECT_EQ(vertex.clipCode, CLIP_LEFT | CLIP_TOP);
}

}  // namespace
