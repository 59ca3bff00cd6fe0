#include "scene/scene.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

namespace {

class GlowBuffers : public ::testing::Test {
protected:
    void SetUp() override { scene = AllocScene(); }
    void TearDown() override { FreeScene(scene); }

    ObjectEntity* Glowing(const char* name, uint32_t colour, float g1)
    {
        ObjectEntity* object = build::AddObject(scene, name, {{0, 0, 0}}, {});
        object->objectFlags = OBJECT_GLOW;
        object->colour = colour;
        object->glow[1] = g1;
        return object;
    }

    int ChainLength() const
    {
        int length = 0;
        for (GlowBuffer* buffer = scene->glowBuffers; buffer; buffer = buffer->next)
            ++length;
        return length;
    }

    Scene* scene = nullptr;
};

TEST_F(GlowBuffers, ObjectsOfEqualColourAndG1ShareOneBuffer)
{
    ObjectEntity* a = Glowing("a", 0x00FF8000, 1.0f);
    ObjectEntity* b = Glowing("b", 0x00FF8000, 1.0f);
    ObjectEntity* otherG1 = Glowing("c", 0x00FF8000, 0.5f);
    ObjectEntity* otherColour = Glowing("d", 0x01FF8000, 1.0f);
    ObjectEntity* dark = build::AddObject(scene, "e", {{0, 0, 0}}, {});
    build::AddLight(scene, "l");

    ASSERT_EQ(AttachGlowBuffers(scene, 0, 0), 1);
    ASSERT_NE(a->glowBuffer, nullptr);
    EXPECT_EQ(a->glowBuffer, b->glowBuffer);
    EXPECT_EQ(a->glowBuffer->users, 2u);
    EXPECT_NE(otherG1->glowBuffer, a->glowBuffer);
    EXPECT_NE(otherColour->glowBuffer, a->glowBuffer);
    EXPECT_NE(otherColour->glowBuffer, otherG1->glowBuffer);
    EXPECT_EQ(dark->glowBuffer, nullptr);
    EXPECT_EQ(ChainLength(), 3);
    EXPECT_EQ(scene->glowBuffers, otherColour->glowBuffer);  // new buffers go to the head

    GlowBuffer* buffer = a->glowBuffer;
    EXPECT_EQ(buffer->colour, 0x00FF8000u);
    EXPECT_EQ(buffer->g1, 1.0f);
    EXPECT_EQ(buffer->pixels, nullptr);  // no view size given
    EXPECT_EQ(buffer->width, 0u);

    ASSERT_EQ(AttachGlowBuffers(scene, 0, 0), 1);  // attached objects keep theirs
    EXPECT_EQ(buffer->users, 2u);
    EXPECT_EQ(ChainLength(), 3);
}

TEST_F(GlowBuffers, ReleasingOneUserLeavesTheBufferAndTheLastFreesIt)
{
    ObjectEntity* a = Glowing("a", 0x00123456, 1.0f);
    ObjectEntity* b = Glowing("b", 0x00123456, 1.0f);
    ASSERT_EQ(AttachGlowBuffers(scene, 8, 4), 1);
    GlowBuffer* buffer = a->glowBuffer;

    DetachGlowBuffer(scene, a);
    EXPECT_EQ(a->glowBuffer, nullptr);
    EXPECT_EQ(scene->glowBuffers, buffer);
    EXPECT_EQ(buffer->users, 1u);
    DetachGlowBuffer(scene, b);
    EXPECT_EQ(scene->glowBuffers, nullptr);

    ASSERT_EQ(AttachGlowBuffers(scene, 8, 4), 1);
    ReleaseGlowBuffers(scene);
    EXPECT_EQ(a->glowBuffer, nullptr);
    EXPECT_EQ(b->glowBuffer, nullptr);
    EXPECT_EQ(scene->glowBuffers, nullptr);
}

TEST_F(GlowBuffers, ViewSizeGivesZeroPixelsAndResizeReplacesOnlyOtherSizes)
{
    ObjectEntity* a = Glowing("a", 0x00000001, 1.0f);
    ASSERT_EQ(AttachGlowBuffers(scene, 8, 4), 1);
    GlowBuffer* sized = a->glowBuffer;
    EXPECT_EQ(sized->width, 8u);
    EXPECT_EQ(sized->height, 4u);
    ASSERT_NE(sized->pixels, nullptr);
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(sized->pixels[i], 0);

    ObjectEntity* b = Glowing("b", 0x00000002, 1.0f);
    ASSERT_EQ(AttachGlowBuffers(scene, 0, 0), 1);
    GlowBuffer* unsized = b->glowBuffer;
    sized->pixels[31] = 0xFF;
    uint8_t* kept = sized->pixels;

    ASSERT_EQ(ResizeGlowBuffers(scene, 8, 4), 1);
    EXPECT_EQ(sized->pixels, kept);
    EXPECT_EQ(sized->pixels[31], 0xFF);
    ASSERT_NE(unsized->pixels, nullptr);
    EXPECT_EQ(unsized->width, 8u);
    EXPECT_EQ(unsized->height, 4u);

    ASSERT_EQ(ResizeGlowBuffers(scene, 16, 2), 1);
    EXPECT_EQ(sized->width, 16u);
    EXPECT_EQ(sized->height, 2u);
    EXPECT_EQ(sized->pixels[31], 0);
}

}  // namespace
