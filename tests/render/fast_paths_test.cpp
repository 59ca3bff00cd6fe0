// The fast paths of the front end against the plain ones they replace: the
// integer square root against the trial-bit root, the wide sky-and-floor
// background against the pixel-by-pixel one.
#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

using pipeline::Pipeline;

// The trial-bit root: bits from 1 << 62 down, two positions per step.
uint32_t TrialBitRoot(uint64_t q)
{
    uint64_t root = 0;
    for (uint64_t bit = uint64_t(1) << 62; bit; bit >>= 2) {
        if (q >= root + bit) {
            q -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
    }
    return uint32_t(root);
}

// Every q next to a square of a dense set of roots, where a rounded double
// root is most likely to land on the wrong side (r = 0 gives 0, 1 and the
// largest q), the top of the range and random q of every size.
TEST(IntegerSquareRoot, EqualsTheTrialBitRootNextToEverySquare)
{
    std::vector<uint64_t> roots;
    for (uint64_t r = 0; r < (uint64_t(1) << 20); ++r)
        roots.push_back(r);
    for (uint64_t r = 0xFFFFFFFF; r > 0xFFFFFFFF - (uint64_t(1) << 18); --r)
        roots.push_back(r);
    std::mt19937_64 random(11);
    for (int i = 0; i < 1000000; ++i)
        roots.push_back(random() >> (32 + random() % 32));
    for (uint64_t r : roots) {
        for (uint64_t q : {r * r - 1, r * r, r * r + 1})
            ASSERT_EQ(IntegerSquareRoot(q), TrialBitRoot(q)) << q;
    }
    for (uint64_t q = UINT64_MAX; q > UINT64_MAX - (uint64_t(1) << 20); --q)
        ASSERT_EQ(IntegerSquareRoot(q), TrialBitRoot(q)) << q;
    for (int i = 0; i < 1000000; ++i) {
        const uint64_t q = random() >> (random() % 64);
        ASSERT_EQ(IntegerSquareRoot(q), TrialBitRoot(q)) << q;
    }
}

// ---- Vertex transformation ------------------------------------------------------------

// Objects of random vertices, in front of the eye, behind it, on its plane
// and far past the screen edges, transformed by both paths from the same
// start under the identity and random matrices and compared field for field; with and
// without environment coordinates, shading and vertex colours. 203
// vertices leave some past the last eight and past the last block.
class TransformPaths : public Pipeline {};

TEST_F(TransformPaths, WideAndOneByOneGiveTheSameVertices)
{
    std::mt19937 random(23);
    std::uniform_real_distribution<float> spread(-400, 400);
    std::uniform_real_distribution<float> entry(-2, 2);
    std::vector<build::Point> points(203);
    for (size_t i = 0; i < points.size(); ++i)
        points[i] = {spread(random), spread(random), i % 17 == 0 ? 0.0f : spread(random) * (i % 5 ? 1.0f : 1e6f)};
    for (size_t i = 1; i < points.size(); i += 17) {  // on the screen's edges under the identity
        points[i] = {159, 99, 160};
        points[i + 1] = {-160, -100, 160};
    }
    ObjectEntity* object = build::AddObject(scene, "object", points, {});
    scene->ambientLevel = 0.25f;
    scene->ambientValue2 = 0.75f;
    SetFrameConstants(scene, scene->camera, view);
    for (uint32_t i = 0; i < object->vertexCount; ++i) {
        for (int j = 0; j < 3; ++j)
            object->vertices[i].normal[j] = spread(random) * 0.3f;
        object->vertices[i].colour = uint32_t(random()) & 0x00FFFFFF;
        object->vertices[i].vertexValue = uint32_t(random());
    }
    const std::vector<Vertex> start(object->vertices, object->vertices + object->vertexCount);
    for (int round = 0; round < 30; ++round) {
        for (int k = 0; k < 16; ++k)
            object->matrix[k] = round < 2 ? float(k % 5 == 0) : entry(random) * (round % 3 ? 1.0f : 100.0f);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                object->unitRows[r][c] = entry(random);
        const uint32_t flags[] = {0, OBJECT_ENVIRONMENT, OBJECT_SHADED, OBJECT_SHADED | OBJECT_VERTEXCOLOURS};
        object->objectFlags = flags[round % 4];
        std::vector<Vertex> result[2];
        for (FrontEndPath path : {FrontEndPath::WIDE, FrontEndPath::ONE_BY_ONE}) {
            std::copy(start.begin(), start.end(), object->vertices);
            if (round % 2)
                TransformVerticesEnv(object, path);
            else
                TransformVertices(object, path);
            result[path == FrontEndPath::WIDE].assign(object->vertices, object->vertices + object->vertexCount);
        }
        for (uint32_t i = 0; i < object->vertexCount; ++i)
            ASSERT_EQ(std::memcmp(&result[0][i], &result[1][i], sizeof(Vertex)), 0) << "vertex " << i << ", round " << round;
    }
}

// ---- Point lights ------------------------------------------------------------------

// Shaded objects of random vertices near and far from random lights, each
// lit by both paths from the same start, compared colour for colour. The
// counts leave vertices past the last eight; the far vertices (beyond 32
// bits) take the one-by-one path inside the wide one; the infinite light
// makes its zero channel's part NaN.
TEST(LightPaths, WideAndOneByOneGiveTheSameLitColours)
{
    ASSERT_EQ(BuildNormalTable(), 1);
    Scene* scene = AllocScene();
    ASSERT_NE(scene, nullptr);
    std::mt19937 random(17);
    std::uniform_real_distribution<float> near(-300, 300);
    std::uniform_real_distribution<float> unit(-127, 127);
    struct Light {
        float position[3];
        float intensity;
        float range;
        uint32_t colour;
    };
    const Light lights[] = {
        {{0, 0, 0}, 0.5f, 0, 0x00FF8040},     {{10.5f, -3.2f, 80}, 1.5f, 250, 0x00FFFFFF},
        {{-50, 20, 5}, -0.75f, 0, 0x00204080}, {{3, 3, 3}, 40.0f, 12, 0x00010203},
        {{0, 0, 1e9f}, 2.0f, 1e9f, 0x00808080},   {{7, 7, 7}, INFINITY, 0, 0x00FF8000},
    };
    ObjectEntity* objects[2];
    for (int k = 0; k < 2; ++k) {
        std::vector<build::Point> points(k == 0 ? 1003 : 64);
        for (auto& p : points)
            p = {near(random), near(random), near(random)};
        objects[k] = build::AddObject(scene, k == 0 ? "near" : "far", points, {});
        objects[k]->objectFlags = OBJECT_SHADED;
    }
    for (const Light& l : lights) {
        LightEntity* light = build::AddLight(scene, "light");
        for (int j = 0; j < 3; ++j)
            light->matrix[12 + j] = l.position[j];
        light->lightValue1 = l.intensity;
        light->lightValue2 = l.range;
        light->lightValue3 = l.colour;
        light->lightFlags = LIGHT_ON;
    }
    for (int round = 0; round < 20; ++round) {
        std::vector<uint32_t> start;
        for (ObjectEntity* object : objects) {
            for (uint32_t i = 0; i < object->vertexCount; ++i) {
                Vertex& v = object->vertices[i];
                for (int j = 0; j < 3; ++j) {
                    v.camera[j] = near(random) * (object == objects[1] && i % 9 == 0 ? 1e7f : 1.0f);
                    v.cameraNormal[j] = unit(random);
                }
                if (i % 50 == 0)  // on the light's integer position
                    std::memcpy(v.camera, lights[round % 6].position, sizeof v.camera);
                v.litColour = uint32_t(random());
                start.push_back(v.litColour);
            }
        }
        std::vector<uint32_t> lit[2];
        for (FrontEndPath path : {FrontEndPath::WIDE, FrontEndPath::ONE_BY_ONE}) {
            size_t k = 0;
            for (ObjectEntity* object : objects) {
                for (uint32_t i = 0; i < object->vertexCount; ++i)
                    object->vertices[i].litColour = start[k++];
            }
            LightVertices(scene, path);
            for (ObjectEntity* object : objects) {
                for (uint32_t i = 0; i < object->vertexCount; ++i)
                    lit[path == FrontEndPath::WIDE].push_back(object->vertices[i].litColour);
            }
        }
        ASSERT_EQ(lit[1], lit[0]) << "round " << round;
    }
    FreeScene(scene);
}

// ---- Floor and sky ------------------------------------------------------------------

// A map of random texels, sides 2^widthShift × 2^heightShift.
Texture* AddRandomMap(Scene* scene, const char* name, uint32_t widthShift, uint32_t heightShift,
                      std::mt19937& random)
{
    Texture* map = build::AddTexture(scene, name, 1u << widthShift, 1u << heightShift);
    map->widthShift = widthShift;
    map->heightShift = heightShift;
    map->widthMask = map->width - 1;
    map->heightMask = map->height - 1;
    map->textureFlags = TEXTURE_POWEROFTWO;
    auto* texels = static_cast<uint16_t*>(map->pixels);
    for (uint32_t i = 0; i < map->width * map->height; ++i)
        texels[i] = uint16_t(random() & 0x7FFF);
    return map;
}

class PlanePaths : public Pipeline {
protected:
    void SetUp() override
    {
        Pipeline::SetUp();
        scene->floorMap = AddRandomMap(scene, "floor", 7, 5, random);
        scene->skyMap = AddRandomMap(scene, "sky", 4, 8, random);
        scene->backgroundColour = 0x00FF8000;
    }

    // Both paths into views of the size, compared pixel for pixel.
    void ExpectSamePixels(int32_t width, int32_t height)
    {
        XView* wide = pipeline::MakeView(width, height);
        XView* single = pipeline::MakeView(width, height);
        DrawBackground(scene, wide, FrontEndPath::WIDE);
        DrawBackground(scene, single, FrontEndPath::ONE_BY_ONE);
        const size_t pixels = size_t(width) * size_t(height);
        for (size_t i = 0; i < pixels; ++i)
            ASSERT_EQ(wide->current[i], single->current[i]) << "pixel " << i << " of " << width << " × " << height;
        XViewDelete(wide);
        XViewDelete(single);
    }

    std::mt19937 random{3};
};

// Eyes above the floor (the planes apart), below it (both planes on one
// side, the sky one tile above the eye possibly on the floor), level and turned cameras with the horizon on a row or slanting
// across, tiles of every size, and views whose width leaves pixels past
// the last eight.
TEST_F(PlanePaths, WideAndPixelByPixelDrawTheSamePixels)
{
    struct Case {
        float eye[3];
        float rotation[3];
        float fieldOfView;
        uint32_t tile;
    };
    const Case cases[] = {
        {{0, -100, 0}, {0, 0, 0}, 90, 0},
        {{0, -100, 0}, {123, 0, 0}, 60, 16},
        {{5, 40, -7}, {10, 20, 30}, 90, 64},
        {{0, -0.5f, 0}, {0, 89.5f, 0}, 120, 1},
        {{1e6f, -3, 2e6f}, {45, -5, 170}, 30, 3},
        {{0, -1e30f, 0}, {0, -30, 0}, 90, 5},
        {{3e9f, -50, -3e9f}, {-20, -10, 5}, 75, 1},
        {{0, 16, 0}, {0, -30, 10}, 90, 16},         // the sky on the floor: equal t, the floor seen
        {{0, 16.000002f, 0}, {0, -30, 10}, 90, 16}, // t a rounding apart
    };
    std::uniform_real_distribution<float> angle(-360, 360);
    std::uniform_real_distribution<float> place(-500, 500);
    std::vector<Case> all(std::begin(cases), std::end(cases));
    for (int i = 0; i < 40; ++i)
        all.push_back({{place(random), place(random), place(random)},
                       {angle(random), angle(random), angle(random)},
                       std::uniform_real_distribution<float>(10, 150)(random),
                       uint32_t(random() % 200)});
    for (const Case& c : all) {
        std::memcpy(camera->position, c.eye, sizeof c.eye);
        std::memcpy(camera->rotation, c.rotation, sizeof c.rotation);
        camera->fieldOfView = c.fieldOfView;
        scene->backgroundValue2 = c.tile;
        for (uint32_t mode : {BACKGROUND_FLOOR, BACKGROUND_SKY, BACKGROUND_FLOORSKY}) {
            SCOPED_TRACE(testing::Message() << "eye y " << c.eye[1] << ", mode " << mode);
            scene->flags = mode;
            ExpectSamePixels(320, 200);
            ExpectSamePixels(37, 23);
        }
    }
}

}  // namespace
