// The choice of filler: render phase, glow-edge and glow bits, then the
// filler table; and what DrawFace does before drawing.
#include "raster/raster_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using namespace raster_test;

class Dispatch : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetUpFrame(frame.Pixels());
        texture = MakeTexture(5, 5, 31);
        transparency = MakeTexture(5, 5, 32);
    }

    ObjectPtr Object(uint32_t flags, bool withTransparencyMap = false)
    {
        ObjectPtr object = MakeObject(flags, 0x80FFFFFF);
        object->textureMap = texture.get();
        object->environmentMap = texture.get();
        object->bumpMap = texture.get();
        object->transparencyMap = withTransparencyMap ? transparency.get() : nullptr;
        return object;
    }

    // Draws a triangle of 1000 or so pixels and counts the pixels written.
    int Draw(const Entity* owner)
    {
        frame.Fill(UNWRITTEN);
        CornerValues c[3] = {{40, 20, 10, 0, 0, 0, 0}, {90, 40, 20, 20, 5, 9, 9}, {50, 70, 30, 3, 30, 2, 30}};
        Triangle triangle(MakeVertex(c[0]), MakeVertex(c[1]), MakeVertex(c[2]), owner);
        DrawTriangle(&triangle.ref);
        int written = 0;
        for (size_t i = 0; i < frame.Size(); ++i)
            written += frame.Pixels()[i] != UNWRITTEN;
        return written;
    }

    TestFrame frame;
    TexturePtr texture, transparency;
};

TEST_F(Dispatch, ShadingWithTransparencyDrawsNothing)
{
    EXPECT_EQ(Draw(Object(0x21).get()), 0);
    EXPECT_EQ(Draw(Object(0x21, true).get()), 0);
}

TEST_F(Dispatch, BumpMapInAnyCombinationDrawsNothing)
{
    for (uint32_t flags = 0; flags < 64; ++flags) {
        if (flags & OBJECT_BUMP)
            EXPECT_EQ(Draw(Object(flags).get()), 0) << "flags " << flags;
    }
}

TEST_F(Dispatch, ShadingWithEnvironmentMapDrawsNothing)
{
    EXPECT_EQ(Draw(Object(0x24).get()), 0);
    EXPECT_EQ(Draw(Object(0x36).get()), 0);
}

TEST_F(Dispatch, FogDrawsOnlyFlatAndTextureRows)
{
    Frame.fogIndexBase = 64;
    Frame.fogEnd = 100.0f;
    for (uint32_t flags = 0; flags < 64; ++flags) {
        const bool drawn = flags == 0 || flags == 16 || flags == 2 || flags == 18;
        EXPECT_EQ(Draw(Object(flags).get()) > 0, drawn) << "flags " << flags;
    }
}

TEST_F(Dispatch, TableRowsWithoutFogDraw)
{
    for (uint32_t flags : {0u, 16u, 1u, 17u, 2u, 3u, 4u, 20u, 5u, 21u, 18u, 19u, 32u, 48u, 34u, 50u}) {
        EXPECT_GT(Draw(Object(flags).get()), 0) << "flags " << flags;
        if (flags & OBJECT_TRANSPARENT)
            EXPECT_GT(Draw(Object(flags, true).get()), 0) << "flags " << flags << " with transparency map";
    }
}

TEST_F(Dispatch, GlowEdgeBitWinsOverTableAndGlowBit)
{
    const int covered = Draw(Object(OBJECT_GLOWEDGE).get());
    EXPECT_GT(covered, 0);
    EXPECT_EQ(frame.At(60, 40), GLOWEDGE_COVERED);
    Draw(Object(OBJECT_GLOWEDGE | OBJECT_GLOW | OBJECT_TEXTURE).get());
    EXPECT_EQ(frame.At(60, 40), GLOWEDGE_COVERED);
}

TEST_F(Dispatch, GlowBitWithoutGlowEdgeBlendsTheColourAsAVolumeSlice)
{
    frame.Fill(0);
    ObjectPtr object = Object(OBJECT_GLOW | OBJECT_TEXTURE);
    Draw(object.get());
    EXPECT_EQ(frame.At(60, 40), uint16_t((31 * 16 >> 5) * 0x421));
}

TEST_F(Dispatch, ShadowPassPhasesDrawWhateverOwnsTheTriangle)
{
    std::vector<float> depth(frame.Size(), 0.0f);
    std::vector<uint8_t> mask(frame.Size(), 0);
    Frame.depthBuffer = depth.data();
    Frame.shadowMask = mask.data();
    LightEntity* light = LightOf(AllocEntity(ENTITY_LIGHT));
    Frame.renderPhase = PHASE_DEPTH;
    EXPECT_EQ(Draw(light), 0);
    EXPECT_GT(depth[size_t(40) * WIDTH + 60], 0.0f);
    Frame.renderPhase = PHASE_SHADOWVOLUME;
    std::fill(depth.begin(), depth.end(), 0.0f);
    Draw(light);
    EXPECT_EQ(mask[size_t(40) * WIDTH + 60], 1);
    FreeEntity(nullptr, light);
}

TEST_F(Dispatch, OtherOwnersAreNotDrawnInTheMainPass)
{
    LightEntity* light = LightOf(AllocEntity(ENTITY_LIGHT));
    EXPECT_EQ(Draw(light), 0);
    FreeEntity(nullptr, light);
}

// A face whose owner reads map coordinates hands its (u, v) pairs to its
// corners; a vertex shared by two faces keeps the pair of the face drawn
// last.
TEST_F(Dispatch, DrawFaceCopiesMapCoordinatesIntoTheCorners)
{
    ObjectPtr object = Object(OBJECT_TEXTURE);
    Vertex vertices[4] = {MakeVertex({10, 10}), MakeVertex({60, 10}), MakeVertex({10, 60}), MakeVertex({60, 60})};
    Face faces[2]{};
    faces[0].vertices[0] = &vertices[0], faces[0].vertices[1] = &vertices[1], faces[0].vertices[2] = &vertices[2];
    faces[1].vertices[0] = &vertices[1], faces[1].vertices[1] = &vertices[3], faces[1].vertices[2] = &vertices[2];
    for (Face& face : faces)
        face.owner = object.get();
    for (int i = 0; i < 3; ++i) {
        faces[0].uv[i][0] = float(i);
        faces[0].uv[i][1] = float(10 + i);
        faces[1].uv[i][0] = float(20 + i);
        faces[1].uv[i][1] = float(30 + i);
    }
    DrawFace(&faces[0]);
    EXPECT_EQ(vertices[1].mapU, 1.0f);
    EXPECT_EQ(vertices[1].mapV, 11.0f);
    DrawFace(&faces[1]);
    EXPECT_EQ(vertices[1].mapU, 20.0f);
    EXPECT_EQ(vertices[1].mapV, 30.0f);
    EXPECT_EQ(vertices[2].mapU, 22.0f);
    EXPECT_EQ(vertices[0].mapU, 0.0f);

    // Transparent with a transparency map reads them too; a plain object does not.
    ObjectPtr transparent = Object(OBJECT_TRANSPARENT, true);
    faces[0].owner = transparent.get();
    DrawFace(&faces[0]);
    EXPECT_EQ(vertices[1].mapU, 1.0f);
    ObjectPtr plain = Object(OBJECT_TRANSPARENT);
    faces[1].owner = plain.get();
    DrawFace(&faces[1]);
    EXPECT_EQ(vertices[1].mapU, 1.0f);
}

TEST_F(Dispatch, DrawFaceClipsOnlyFacesFlaggedForClipping)
{
    ObjectPtr object = Object(0);
    CornerValues off[3] = {{-50, 20, 10}, {100, -30, 10}, {60, 120, 10}};
    Vertex vertices[3] = {MakeVertex(off[0]), MakeVertex(off[1]), MakeVertex(off[2])};
    vertices[0].clipCode = CLIP_LEFT;
    vertices[1].clipCode = CLIP_TOP;
    Face face{};
    face.vertices[0] = &vertices[0], face.vertices[1] = &vertices[1], face.vertices[2] = &vertices[2];
    face.owner = object.get();
    face.faceFlags = FACE_CLIPPED;
    DrawFace(&face);
    EXPECT_NE(frame.At(0, 20), UNWRITTEN);
    EXPECT_NE(frame.At(60, 0), UNWRITTEN);
    EXPECT_TRUE(frame.GuardsIntact());
}

}  // namespace
