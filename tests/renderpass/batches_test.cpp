// The main pass draws runs of affine faces in batches, clipped ones among
// them as the fans of their polygons. Against the same draw list drawn face
// by face with DrawFace: the same pixels, and every corner left with the map
// coordinates of the last face drawn over it, for a textured floor and a
// transparent, a shaded-textured and an environment-mapped mesh that cross
// the screen's edges and the near plane.
#include "renderpass/pass_support.h"

#include <algorithm>
#include <random>

using namespace kvor3d;

namespace {

using pass_test::RenderPass;

// A 64 × 64 map of random texels with its intensities.
struct RandomMap {
    Texture* texture = static_cast<Texture*>(MemAlloc(1, sizeof(Texture)));

    RandomMap()
    {
        auto* pixels = static_cast<uint16_t*>(MemAlloc(64 * 64, 2));
        std::mt19937 random(5);
        for (uint32_t i = 0; i < 64 * 64; ++i)
            pixels[i] = uint16_t(random() & 0x7FFF);
        texture->width = texture->height = 64;
        texture->widthShift = texture->heightShift = 6;
        texture->widthMask = texture->heightMask = 63;
        texture->bytesPerPixel = 2;
        texture->textureFlags = TEXTURE_POWEROFTWO;
        texture->pixels = pixels;
        EXPECT_EQ(BuildGreyMap(texture), 1);
    }
    ~RandomMap() { FreeTexture(texture); }
};

std::vector<float> CornerCoordinates(const Scene* scene)
{
    std::vector<float> coordinates;
    for (const Entity* entity = scene->entities; entity; entity = entity->next) {
        const ObjectEntity* object = ObjectOf(const_cast<Entity*>(entity));  // ObjectOf takes no const
        for (uint32_t i = 0; object && i < object->vertexCount; ++i)
            coordinates.insert(coordinates.end(), {object->vertices[i].mapU, object->vertices[i].mapV});
    }
    return coordinates;
}

TEST_F(RenderPass, AffineBatchesWithClippedFansDrawAsFaceByFace)
{
    RandomMap map;
    struct Part {
        showcase::Mesh mesh;
        uint32_t flags;
    };
    const Part parts[] = {
        {showcase::Floor(30, -400, 400, -60, 500, 23), OBJECT_TEXTURE},
        {showcase::Torus(70.0f, 30.0f, 40, 12, 3.0f), OBJECT_TEXTURE | OBJECT_TRANSPARENT | OBJECT_DOUBLESIDED},
        {showcase::Box({-90, -60, 20}, {-30, 0, 90}), OBJECT_SHADED | OBJECT_TEXTURE},
        {showcase::Box({40, -70, 10}, {120, -10, 80}), OBJECT_ENVIRONMENT},
    };
    std::mt19937 random(9);
    std::uniform_real_distribution<float> shift(-40.0f, 40.0f);
    for (const Part& part : parts) {
        ObjectEntity* object = showcase::AddMesh(scene, "part", part.mesh, 0x80C0A080, part.flags);
        ComputeNormals(object);
        object->textureMap = object->environmentMap = object->transparencyMap = map.texture;
        // Faces that share a corner give it map coordinates of their own.
        for (uint32_t f = 0; f < object->faceCount; ++f) {
            for (auto& uv : object->faces[f].uv)
                uv[0] += shift(random), uv[1] += shift(random);
        }
    }
    ASSERT_EQ(AllocDrawLists(scene), 1);
    Render();
    const std::vector<uint16_t> batched = Shown();
    const std::vector<float> batchedCorners = CornerCoordinates(scene);

    uint32_t clipped = 0, drawn = 0;
    DrawBackground(scene, view);
    Frame.renderPhase = PHASE_MAIN;
    for (uint32_t i = 0; i < scene->drawCount; ++i) {
        const DrawEntry& entry = scene->drawList[i];
        if (entry.type == DRAW_FACE && entry.face) {
            clipped += (entry.face->faceFlags & FACE_CLIPPED) != 0;
            ++drawn;
            DrawFace(entry.face);
        }
    }
    EXPECT_GT(clipped, 20u);
    EXPECT_GT(drawn, clipped + 200);
    EXPECT_TRUE(Shown() == batched);
    EXPECT_TRUE(CornerCoordinates(scene) == batchedCorners);
    const uint16_t background = batched[0];
    EXPECT_GT(std::count_if(batched.begin(), batched.end(), [&](uint16_t p) { return p != background; }), 30000);
}

}  // namespace
