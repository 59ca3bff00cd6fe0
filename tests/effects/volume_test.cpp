#include "effects/effects.h"
#include "render/render.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <vector>

namespace {

Entity* Create(uintptr_t kind, Scene* scene = nullptr)
{
    const TagItem tags[] = {
        {TAG_ENTITY_KIND, kind},
        {TAG_ENTITY_SCENE, TagPtr(scene)},
        {TAG_DONE, 0},
    };
    return CreateEntity(tags);
}

class Volumes : public ::testing::Test {
protected:
    void SetUp() override
    {
        volume = VolumeOf(Create(ENTITY_VOLUME));
        ASSERT_NE(volume, nullptr);
    }

    void TearDown() override { FreeEntity(nullptr, volume); }

    int32_t Set(std::vector<TagItem> tags)
    {
        tags.push_back({TAG_DONE, 0});
        return SetVolume(volume, tags.data());
    }

    std::vector<uint32_t> Offsets(int axis) const
    {
        std::vector<uint32_t> offsets;
        for (uint32_t i = 0; i < 2 * volume->counts[axis]; ++i)
            offsets.push_back(volume->stackFaces[axis][i].effectOffset);
        return offsets;
    }

    const Vertex& Corner(int axis, uint32_t slice, int corner) const
    {
        return volume->stackVertices[axis][4 * slice + corner];
    }

    VolumeEntity* volume = nullptr;
};

TEST(CreateEntity, LightIsZeroButForItsNameAndDrawnFlag)
{
    LightEntity* light = LightOf(Create(ENTITY_LIGHT));
    ASSERT_NE(light, nullptr);
    EXPECT_STREQ(light->name, "light");
    EXPECT_EQ(light->entityFlags, ENTITY_DRAWN);
    EXPECT_EQ(light->size[0], 0.0f);
    EXPECT_EQ(light->lightFlags, 0u);
    EXPECT_EQ(light->lightValue1, 0.0f);
    EXPECT_EQ(light->next, nullptr);
    FreeEntity(nullptr, light);
}

TEST(CreateEntity, OtherKindsCreateNothing)
{
    EXPECT_EQ(Create(ENTITY_OBJECT), nullptr);
    EXPECT_EQ(Create(ENTITY_NULL), nullptr);
    EXPECT_EQ(Create(ENTITY_VOLUME + (uint64_t(1) << 32)), nullptr);
    const TagItem none[] = {{TAG_DONE, 0}};
    EXPECT_EQ(CreateEntity(none), nullptr);
    EXPECT_EQ(CreateEntity(nullptr), nullptr);
}

TEST(CreateEntity, EntityGoesToTheHeadOfTheSceneAndItsListsGrow)
{
    Scene* scene = AllocScene();
    ObjectEntity* object = build::AddObject(scene, "object", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                                            {{0, 1, 2}, {0, 2, 1}, {1, 2, 0}});
    ASSERT_EQ(AllocDrawLists(scene), 1);
    Entity* volume = Create(ENTITY_VOLUME, scene);
    ASSERT_NE(volume, nullptr);
    EXPECT_EQ(scene->entities, volume);
    EXPECT_EQ(volume->next, object);
    EXPECT_EQ(scene->entityCount, 2u);
    EXPECT_EQ(scene->polygonCapacity, 3u + 2u);

    Entity* light = Create(ENTITY_LIGHT, scene);
    EXPECT_EQ(scene->entities, light);
    EXPECT_EQ(scene->entityCount, 3u);
    EXPECT_EQ(scene->polygonCapacity, 6u);
    EXPECT_EQ(scene->spriteCapacity, 1u);
    FreeScene(scene);
}

TEST_F(Volumes, NewVolumeHasOneSlicePerAxisAndNoVoxels)
{
    EXPECT_EQ(volume->kind, ENTITY_VOLUME);
    EXPECT_STREQ(volume->name, "volume");
    EXPECT_EQ(volume->entityFlags, ENTITY_DRAWN);
    EXPECT_EQ(volume->objectFlags, 0x80000100u);
    for (int axis = 0; axis < 3; ++axis) {
        EXPECT_EQ(volume->counts[axis], 1u);
        EXPECT_EQ(volume->shifts[axis], 0u);
        EXPECT_EQ(volume->masks[axis], 0u);
        EXPECT_EQ(volume->boxSize[axis], 0.0f);
        ASSERT_NE(volume->stackVertices[axis], nullptr);
        ASSERT_NE(volume->stackFaces[axis], nullptr);
        EXPECT_EQ(volume->stackFaces[axis][1].owner, volume);
    }
    EXPECT_EQ(volume->colourVoxels, nullptr);
    EXPECT_EQ(volume->densityVoxels, nullptr);
    EXPECT_EQ(volume->volumeFlags, 0u);
}

TEST_F(Volumes, CountsGiveShiftsMasksSliceOffsetsAndARampedGrid)
{
    EXPECT_EQ(Set({{TAG_VOLUME_COUNTX, 8}, {TAG_VOLUME_COUNTY, 4}, {TAG_VOLUME_COUNTZ, 2},
                   {TAG_VOLUME_DENSITYVOXELS, 1}, {TAG_VOLUME_COLOUR, 0xFF000000}}),
              5);
    EXPECT_EQ(volume->shifts[0], 3u);
    EXPECT_EQ(volume->shifts[1], 2u);
    EXPECT_EQ(volume->shifts[2], 1u);
    EXPECT_EQ(volume->masks[0], 7u);
    EXPECT_EQ(volume->masks[1], 3u);
    EXPECT_EQ(volume->masks[2], 1u);
    EXPECT_EQ(volume->volumeFlags, VOLUME_DENSITYVOXELS);
    EXPECT_EQ(volume->colourVoxels, nullptr);
    ASSERT_NE(volume->densityVoxels, nullptr);
    EXPECT_EQ(Offsets(0), (std::vector<uint32_t>{0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7}));
    EXPECT_EQ(Offsets(1), (std::vector<uint32_t>{0, 0, 8, 8, 16, 16, 24, 24}));
    EXPECT_EQ(Offsets(2), (std::vector<uint32_t>{0, 0, 32, 32}));

    // Voxel (x, y, z) at x + (y << 3) + (z << 5): layer y = 0 is empty, and
    // each layer stays below 255 × y / 4.
    int lit = 0;
    for (uint32_t z = 0; z < 2; ++z) {
        for (uint32_t y = 0; y < 4; ++y) {
            for (uint32_t x = 0; x < 8; ++x) {
                const uint8_t density = volume->densityVoxels[x + (y << 3) + (z << 5)];
                if (y == 0) {
                    EXPECT_EQ(density, 0);
                }
                EXPECT_LE(density, uint32_t(std::lround(255.0 * y / 4))) << x << y << z;
                lit += density > 0;
            }
        }
    }
    EXPECT_GT(lit, 24);
}

TEST_F(Volumes, DensityIsTheNearestIntegerOfTheRampInGridOrder)
{
    Set({{TAG_VOLUME_COUNTX, 4}, {TAG_VOLUME_COUNTY, 2}, {TAG_VOLUME_COUNTZ, 2}, {TAG_VOLUME_COLOUR, 0xC8000000}});
    std::srand(99);
    Set({{TAG_VOLUME_DENSITYVOXELS, 1}});
    std::srand(99);
    for (uint32_t i = 0; i < 16; ++i) {
        const uint32_t y = (i >> 2) & 1;
        const float r = float(std::rand()) / 2147483648.0f;
        const float expected = 200.0f * (r * float(y) / 2.0f);
        EXPECT_EQ(volume->densityVoxels[i], uint8_t(std::nearbyint(expected))) << i;
    }
}

TEST_F(Volumes, DensityScaleByteReplacesOnlyTheTopByte)
{
    Set({{TAG_VOLUME_COLOUR, 0x00102030}});
    EXPECT_EQ(Set({{TAG_VOLUME_DENSITY, 0x80}, {TAG_VOLUME_COUNTY, 4}, {TAG_VOLUME_DENSITYVOXELS, 1}}), 3);
    EXPECT_EQ(volume->volumeColour, 0x80102030u);
    for (uint32_t i = 0; i < 4; ++i)
        EXPECT_LE(volume->densityVoxels[i], 96);  // 128 × 3 / 4

    Set({{TAG_VOLUME_RED, 0xAA}, {TAG_VOLUME_GREEN, 0xBB}, {TAG_VOLUME_BLUE, 0x1CC}});
    EXPECT_EQ(volume->volumeColour, 0x80AABBCCu);  // a value past a byte keeps to its byte
}

TEST_F(Volumes, StackVerticesSpanTheBoxWithTheirVoxelCoordinates)
{
    Set({{TAG_VOLUME_SIZEX, TagFloat(8)}, {TAG_VOLUME_SIZEY, TagFloat(4)}, {TAG_VOLUME_SIZEZ, TagFloat(2)},
         {TAG_VOLUME_COUNTX, 2}, {TAG_VOLUME_COUNTY, 4}, {TAG_VOLUME_COUNTZ, 8}});
    struct Expected {
        float position[3];
        float u;
        float v;
    };
    auto expectCorner = [&](int axis, uint32_t slice, int corner, float offset, Expected e) {
        const Vertex& vertex = Corner(axis, slice, corner);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(vertex.position[i], e.position[i]) << axis << slice << corner << i;
        EXPECT_EQ(vertex.envRow, offset);
        EXPECT_EQ(vertex.mapU, e.u) << axis << corner;
        EXPECT_EQ(vertex.mapV, e.v) << axis << corner;
    };
    // x stack, slice 1 at x = 4 × 1 − 4; corners over (y, z); voxels (y, z).
    expectCorner(0, 1, 0, 1, {{0, -2, -1}, 0, 0});
    expectCorner(0, 1, 1, 1, {{0, 2, -1}, 3, 0});
    expectCorner(0, 1, 2, 1, {{0, 2, 1}, 3, 7});
    expectCorner(0, 1, 3, 1, {{0, -2, 1}, 0, 7});
    // y stack, slice 2 at y = 1 × 2 − 2; corners over (x, z); voxels (z, x).
    expectCorner(1, 2, 0, 4, {{-4, 0, -1}, 0, 0});
    expectCorner(1, 2, 1, 4, {{4, 0, -1}, 0, 1});
    expectCorner(1, 2, 2, 4, {{4, 0, 1}, 7, 1});
    expectCorner(1, 2, 3, 4, {{-4, 0, 1}, 7, 0});
    // z stack, slice 3 at z = 0.25 × 3 − 1; corners over (x, y); voxels (y, x).
    expectCorner(2, 3, 0, 24, {{-4, -2, -0.25f}, 0, 0});
    expectCorner(2, 3, 1, 24, {{4, -2, -0.25f}, 0, 1});
    expectCorner(2, 3, 2, 24, {{4, 2, -0.25f}, 3, 1});
    expectCorner(2, 3, 3, 24, {{-4, 2, -0.25f}, 3, 0});

    const Vertex* corners = volume->stackVertices[2] + 4 * 3;
    const Face& first = volume->stackFaces[2][6];
    const Face& second = volume->stackFaces[2][7];
    EXPECT_EQ(first.vertices[0], &corners[0]);
    EXPECT_EQ(first.vertices[1], &corners[1]);
    EXPECT_EQ(first.vertices[2], &corners[2]);
    EXPECT_EQ(second.vertices[0], &corners[0]);
    EXPECT_EQ(second.vertices[1], &corners[2]);
    EXPECT_EQ(second.vertices[2], &corners[3]);
    EXPECT_EQ(second.owner, volume);
}

TEST_F(Volumes, ColourOnlyCallKeepsTheStacksButRefillsTheDensity)
{
    Set({{TAG_VOLUME_COUNTX, 4}, {TAG_VOLUME_COUNTY, 8}, {TAG_VOLUME_COUNTZ, 4}, {TAG_VOLUME_DENSITYVOXELS, 1},
         {TAG_VOLUME_COLOURVOXELS, 1}, {TAG_VOLUME_COLOUR, 0x40FFFFFF}});
    Vertex* vertices = volume->stackVertices[1];
    Face* faces = volume->stackFaces[1];
    uint8_t* density = volume->densityVoxels;
    void* colours = volume->colourVoxels;
    std::vector<uint8_t> before(density, density + 128);

    EXPECT_EQ(Set({{TAG_VOLUME_COLOUR, 0xFF123456}}), 1);
    EXPECT_EQ(volume->stackVertices[1], vertices);
    EXPECT_EQ(volume->stackFaces[1], faces);
    EXPECT_EQ(volume->densityVoxels, density);
    EXPECT_EQ(volume->colourVoxels, colours);
    EXPECT_NE(std::vector<uint8_t>(density, density + 128), before);
    EXPECT_EQ(volume->volumeFlags, VOLUME_COLOURVOXELS | VOLUME_DENSITYVOXELS);

    EXPECT_EQ(Set({{TAG_VOLUME_COLOURVOXELS, 0x10000}}), 1);  // low 16 bits zero: not wanted
    EXPECT_EQ(volume->colourVoxels, nullptr);
    EXPECT_EQ(volume->volumeFlags, VOLUME_DENSITYVOXELS);
}

TEST_F(Volumes, SizeOnlyCallMovesTheVerticesInPlace)
{
    Set({{TAG_VOLUME_COUNTX, 2}});
    Vertex* vertices = volume->stackVertices[0];
    Set({{TAG_VOLUME_SIZEY, TagFloat(6)}});
    EXPECT_EQ(volume->stackVertices[0], vertices);
    EXPECT_EQ(Corner(0, 0, 2).position[1], 3.0f);
    EXPECT_EQ(Corner(2, 0, 2).position[1], 3.0f);
}

TEST_F(Volumes, CountsThatAreNotPowersOfTwoAreRefusedWithoutChange)
{
    Set({{TAG_VOLUME_COUNTX, 4}, {TAG_VOLUME_COLOUR, 0x11223344}, {TAG_VOLUME_DENSITYVOXELS, 1}});
    Vertex* vertices = volume->stackVertices[0];
    uint8_t* density = volume->densityVoxels;
    std::vector<uint8_t> before(density, density + 4);
    for (uint32_t bad : {3u, 0u, 6u, 512u, 0x80000000u}) {
        EXPECT_EQ(Set({{TAG_VOLUME_COUNTY, bad}, {TAG_VOLUME_COLOUR, 0x55667788}, {TAG_VOLUME_SIZEX, TagFloat(9)}}),
                  SETVOLUME_FAILED)
            << bad;
        EXPECT_EQ(volume->counts[1], 1u);
        EXPECT_EQ(volume->volumeColour, 0x11223344u);
        EXPECT_EQ(volume->boxSize[0], 0.0f);
        EXPECT_EQ(volume->stackVertices[0], vertices);
        EXPECT_EQ(volume->densityVoxels, density);
        EXPECT_EQ(std::vector<uint8_t>(density, density + 4), before);
    }
    EXPECT_EQ(Set({{TAG_VOLUME_COUNTZ, 256}}), 1);
}

TEST_F(Volumes, NullOrForeignEntitiesAreNotSet)
{
    EXPECT_EQ(SetVolume(nullptr, nullptr), 0);
    VolumeEntity notVolume{};
    notVolume.kind = ENTITY_OBJECT;
    const TagItem tags[] = {{TAG_VOLUME_COUNTX, 2}, {TAG_DONE, 0}};
    EXPECT_EQ(SetVolume(&notVolume, tags), 0);
    EXPECT_EQ(SetVolume(volume, nullptr), 0);
}

// Caps the address space just above what the process uses, so that a 16 MB
// grid cannot be had, and asks for one: whether the call failed and left
// the volume as it was.
bool FailsWithoutChangeWhenMemoryIsShort(VolumeEntity* volume)
{
    Vertex* vertices = volume->stackVertices[0];
    uint8_t* density = volume->densityVoxels;
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    const rlim_t cap = rlim_t(pages) * 4096 + (4 << 20);
    const rlimit limit = {cap, cap};
    setrlimit(RLIMIT_AS, &limit);
    const TagItem tags[] = {
        {TAG_VOLUME_COUNTX, 256},
        {TAG_VOLUME_COUNTY, 256},
        {TAG_VOLUME_COUNTZ, 256},
        {TAG_VOLUME_COLOUR, 0x12345678},
        {TAG_DONE, 0},
    };
    return SetVolume(volume, tags) == SETVOLUME_FAILED && volume->counts[0] == 2 &&
           volume->stackVertices[0] == vertices && volume->densityVoxels == density &&
           volume->volumeColour == 0x80000000 && volume->shifts[0] == 1;
}

// Run in a child process, so that the cap ends with it. AddressSanitizer
// reserves too much address space for a cap to mean anything.
TEST_F(Volumes, FailedAllocationLeavesTheVolumeAsItWas)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space caps do not work under AddressSanitizer";
#else
    Set({{TAG_VOLUME_COUNTX, 2}, {TAG_VOLUME_COUNTY, 2}, {TAG_VOLUME_COUNTZ, 2}, {TAG_VOLUME_DENSITYVOXELS, 1},
         {TAG_VOLUME_COLOUR, 0x80000000}});
    EXPECT_EXIT(std::exit(FailsWithoutChangeWhenMemoryIsShort(volume) ? 0 : 1), ::testing::ExitedWithCode(0),
                "");
#endif
}

TEST_F(Volumes, StackFacingTheCameraBecomesTheVolumesGeometry)
{
    Set({{TAG_VOLUME_COUNTX, 8}, {TAG_VOLUME_COUNTY, 4}, {TAG_VOLUME_COUNTZ, 2}});
    MatrixRotateY(volume->matrix, 0);  // z along the view: the z stack
    SelectVolumeStack(volume);
    EXPECT_EQ(volume->vertices, volume->stackVertices[2]);
    EXPECT_EQ(volume->vertexCount, 8u);
    EXPECT_EQ(volume->faces, volume->stackFaces[2]);
    EXPECT_EQ(volume->faceCount, 4u);
    EXPECT_EQ(volume->uShift, 16u - 3u);
    EXPECT_EQ(volume->vShift, 16u);
    EXPECT_EQ(volume->uMask, 3u << 3);
    EXPECT_EQ(volume->vMask, 7u);

    MatrixRotateY(volume->matrix, 3.14159265358979 / 2);  // x along the view
    SelectVolumeStack(volume);
    EXPECT_EQ(volume->vertices, volume->stackVertices[0]);
    EXPECT_EQ(volume->vertexCount, 32u);
    EXPECT_EQ(volume->uShift, 16u - 3u);
    EXPECT_EQ(volume->vShift, 16u - 3u - 2u);
    EXPECT_EQ(volume->uMask, 3u << 3);
    EXPECT_EQ(volume->vMask, 1u << 5);

    MatrixRotateX(volume->matrix, 3.14159265358979 / 2);  // y along the view
    SelectVolumeStack(volume);
    EXPECT_EQ(volume->vertices, volume->stackVertices[1]);
    EXPECT_EQ(volume->faceCount, 8u);
    EXPECT_EQ(volume->uShift, 16u - 3u - 2u);
    EXPECT_EQ(volume->vShift, 16u);
    EXPECT_EQ(volume->uMask, 1u << 5);
    EXPECT_EQ(volume->vMask, 7u);
}

TEST_F(Volumes, RestackedVolumeNoLongerPointsIntoItsOldStack)
{
    SelectVolumeStack(volume);
    ASSERT_NE(volume->vertices, nullptr);
    Set({{TAG_VOLUME_COUNTZ, 4}});
    EXPECT_EQ(volume->vertices, nullptr);
    EXPECT_EQ(volume->vertexCount, 0u);
    EXPECT_EQ(volume->faces, nullptr);
    EXPECT_EQ(volume->faceCount, 0u);
}

TEST(VolumeWithoutStacks, IsNotDrawnFromMissingArrays)
{
    Scene* scene = AllocScene();
    CameraOf(scene->camera)->fieldOfView = 90.0f;
    Entity* bare = AllocEntity(ENTITY_VOLUME);  // never set up: no stacks
    bare->entityFlags = ENTITY_DRAWN;
    AddEntity(scene, bare);
    const TagItem size[] = {{TAG_XVIEW_WIDTH, 320}, {TAG_XVIEW_HEIGHT, 200}, {TAG_DONE, 0}};
    XView* view = XViewCreate(size);
    PrepareScene(scene, nullptr, view);
    EXPECT_EQ(VolumeOf(bare)->vertexCount, 0u);
    EXPECT_EQ(VolumeOf(bare)->faces, nullptr);
    XViewDelete(view);
    FreeScene(scene);
}

}  // namespace
