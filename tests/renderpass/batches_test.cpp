// The main pass draws faces in batches of their kind, several kinds open at
// once, and clipped affine faces as the fans of their polygons. Against the
// same draw list drawn face by face with DrawFace: the same pixels, and
// every corner left with the map coordinates of the last face drawn over
// it, for meshes that cross the screen's edges and the near plane, and for
// meshes of six kinds interleaved in depth and overlapping on the screen.
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

struct Part {
    showcase::Mesh mesh;
    uint32_t flags;
    build::Point at;
    float turn = 0.0f;  // degrees about y and about x
};

// The parts as objects on the random map, each face with map coordinates of
// its own (faces that share a corner give it different ones).
void AddParts(Scene* scene, const std::vector<Part>& parts, Texture* map)
{
    std::mt19937 random(9);
    std::uniform_real_distribution<float> shift(-40.0f, 40.0f);
    for (const Part& part : parts) {
        ObjectEntity* object = showcase::AddMesh(scene, "part", part.mesh, 0x80C0A080, part.flags);
        ComputeNormals(object);
        showcase::Place(object, part.at);
        object->rotation[0] = object->rotation[1] = part.turn;
        object->textureMap = object->environmentMap = object->transparencyMap = map;
        for (uint32_t f = 0; f < object->faceCount; ++f) {
            for (auto& uv : object->faces[f].uv)
                uv[0] += shift(random), uv[1] += shift(random);
        }
    }
}

// The frame, which shows more than `shown` pixels of the parts, against the
// draw list drawn face by face; the faces that needed clipping.
uint32_t ExpectFaceByFace(Scene* scene, XView* view, const std::vector<uint16_t>& batched,
                          const std::vector<float>& batchedCorners, long shown)
{
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
    EXPECT_GT(drawn, clipped + 200);
    EXPECT_TRUE(std::equal(batched.begin(), batched.end(), view->current));
    EXPECT_TRUE(CornerCoordinates(scene) == batchedCorners);
    const uint16_t background = batched[0];
    EXPECT_GT(std::count_if(batched.begin(), batched.end(), [&](uint16_t p) { return p != background; }), shown);
    return clipped;
}

TEST_F(RenderPass, AffineBatchesWithClippedFansDrawAsFaceByFace)
{
    RandomMap map;
    AddParts(scene,
             {
                 {showcase::Floor(30, -400, 400, -60, 500, 23), OBJECT_TEXTURE, {0, 0, 0}},
                 {showcase::Torus(70.0f, 30.0f, 40, 12, 3.0f),
                  OBJECT_TEXTURE | OBJECT_TRANSPARENT | OBJECT_DOUBLESIDED,
                  {0, 0, 0}},
                 {showcase::Box({-30, -30, -35}, {30, 30, 35}), OBJECT_SHADED | OBJECT_TEXTURE, {-60, -30, 55}},
                 {showcase::Box({-40, -30, -35}, {40, 30, 35}), OBJECT_ENVIRONMENT, {80, -40, 45}},
             },
             map.texture);
    ASSERT_EQ(AllocDrawLists(scene), 1);
    Render();
    EXPECT_GT(ExpectFaceByFace(scene, view, Shown(), CornerCoordinates(scene), 30000), 20u);
}

// Interleaved in depth and overlapping on the screen: faces of one kind
// drawn in a batch opened before those of another kind take the place of
// none they overlap.
TEST_F(RenderPass, BatchesOfEveryKindDrawAsFaceByFace)
{
    RandomMap map;
    const showcase::Mesh ring = showcase::Torus(40.0f, 14.0f, 24, 10, 2.0f);
    AddParts(scene,
             {
                 {ring, OBJECT_SHADED, {-35, 0, 130}, 40},
                 {ring, OBJECT_TEXTURE | OBJECT_PERSPECTIVE, {20, 10, 140}, 100},
                 {ring, 0, {-5, -30, 150}, 20},
                 {ring, OBJECT_TEXTURE | OBJECT_TRANSPARENT, {0, 25, 120}, 130},
                 {ring, OBJECT_SHADED | OBJECT_TEXTURE, {45, -20, 160}, 60},
                 {ring, OBJECT_SHADED | OBJECT_TEXTURE | OBJECT_PERSPECTIVE, {-25, 20, 145}, 80},
                 {showcase::Box({-20, -20, -20}, {20, 20, 20}), OBJECT_TRANSPARENT, {10, 0, 135}, 20},
             },
             map.texture);
    scene->ambientLevel = 0.3f;
    showcase::AddLight(scene, "light", {-60, -90, 40}, LIGHT_ON, 0.8f, 0x00FFFFFF);
    ASSERT_EQ(AllocDrawLists(scene), 1);
    Render();
    ExpectFaceByFace(scene, view, Shown(), CornerCoordinates(scene), 20000);
}

}  // namespace
