// Light volumes: the slice stacks their counts and sizes give, and a grid
// that cannot be allocated leaving the volume as it was.
#include "effects/effects.h"
#include "render/render.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kvor3d;

namespace {

class Volumes : public ::testing::Test {
protected:
    void SetUp() override
    {
        const TagItem tags[] = {{TAG_ENTITY_KIND, ENTITY_VOLUME}, {TAG_DONE, 0}};
        volume = VolumeOf(CreateEntity(tags));
        ASSERT_NE(volume, nullptr);
    }
    void TearDown() override { FreeEntity(nullptr, volume); }

    int32_t Set(std::vector<TagItem> tags)
    {
        tags.push_back({TAG_DONE, 0});
        return SetVolume(volume, tags.data());
    }

    VolumeEntity* volume = nullptr;
};

// Slice s of an axis lies at size / count × s − size / 2 with the slice
// offset of its voxels in envRow; its corners span the other two sides and
// carry their voxel coordinates.
TEST_F(Volumes, StackVerticesSpanTheBoxWithTheirVoxelCoordinates)
{
    ASSERT_EQ(Set({{TAG_VOLUME_SIZEX, TagFloat(8)}, {TAG_VOLUME_SIZEY, TagFloat(4)}, {TAG_VOLUME_SIZEZ, TagFloat(2)},
                   {TAG_VOLUME_COUNTX, 2}, {TAG_VOLUME_COUNTY, 4}, {TAG_VOLUME_COUNTZ, 8}}),
              6);
    struct Corner {
        int axis;
        uint32_t slice;
        int corner;
        float position[3], offset, u, v;
    };
    const Corner corners[] = {
        {0, 1, 0, {0, -2, -1}, 1, 0, 0},  {0, 1, 2, {0, 2, 1}, 1, 3, 7},    {0, 1, 3, {0, -2, 1}, 1, 0, 7},
        {1, 2, 1, {4, 0, -1}, 4, 0, 1},   {1, 2, 3, {-4, 0, 1}, 4, 7, 0},   {2, 3, 0, {-4, -2, -0.25f}, 24, 0, 0},
        {2, 3, 2, {4, 2, -0.25f}, 24, 3, 1},
    };
    for (const Corner& c : corners) {
        const Vertex& vertex = volume->stackVertices[c.axis][4 * c.slice + uint32_t(c.corner)];
        EXPECT_EQ(std::vector<float>(vertex.position, vertex.position + 3),
                  std::vector<float>(c.position, c.position + 3))
            << c.axis << " " << c.slice << " " << c.corner;
        EXPECT_EQ(vertex.envRow, c.offset);
        EXPECT_EQ(vertex.mapU, c.u);
        EXPECT_EQ(vertex.mapV, c.v);
    }
    EXPECT_EQ(volume->stackFaces[2][7].vertices[2], &volume->stackVertices[2][4 * 3 + 3]);
}

TEST_F(Volumes, FailedAllocationLeavesTheVolumeAsItWas)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space caps do not work under AddressSanitizer";
#else
    Set({{TAG_VOLUME_COUNTX, 2}, {TAG_VOLUME_COUNTY, 2}, {TAG_VOLUME_COUNTZ, 2}, {TAG_VOLUME_DENSITYVOXELS, 1},
         {TAG_VOLUME_COLOUR, 0x80000000}});
    Vertex* vertices = volume->stackVertices[0];
    uint8_t* density = volume->densityVoxels;
    EXPECT_TRUE(run::RunWithCappedMemory(
        [&] {
            return Set({{TAG_VOLUME_COUNTX, 256}, {TAG_VOLUME_COUNTY, 256}, {TAG_VOLUME_COUNTZ, 256},
                        {TAG_VOLUME_COLOUR, 0x12345678}}) == SETVOLUME_FAILED &&
                   volume->counts[0] == 2 && volume->shifts[0] == 1 && volume->stackVertices[0] == vertices &&
                   volume->densityVoxels == density && volume->volumeColour == 0x80000000;
        },
        4 << 20));
#endif
}

}  // namespace
