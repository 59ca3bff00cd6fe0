// The fast paths of the front end against the plain ones they replace: the
// wide vertex transformation, point lighting and sky-and-floor background
// against the one-by-one ones.
#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <tuple>
#include <vector>

using namespace kvor3d;

namespace {

class FastPaths : public pipeline::Pipeline {};

// Objects of random vertices, in front of the eye, behind it, on its plane
// and far past the screen edges, transformed by both paths from the same
// start under the identity and random matrices and compared field for field; with and
// without environment coordinates, shading and vertex colours, with normals
// that turn far past the tables' ends. 203
// vertices leave some past the last eight and past the last block.
TEST_F(FastPaths, TransformingWideAndOneByOneGivesTheSameVertices)
{
    std::mt19937 random(23);
    std::uniform_real_distribution<float> spread(-400, 400), entry(-2, 2);
    std::vector<build::Point> points(203);
    for (size_t i = 0; i < points.size(); ++i)  // some on the screen's edges under the identity
        points[i] = i % 17 == 1   ? build::Point{159, 99, 160}
                    : i % 17 == 2 ? build::Point{-160, -100, 160}
                                  : build::Point{spread(random), spread(random), i % 17 ? spread(random) * (i % 5 ? 1.0f : 1e6f) : 0};
    ObjectEntity* object = build::AddObject(scene, "object", points, {});
    scene->ambientLevel = 0.25f;
    scene->ambientValue2 = 0.75f;
    SetFrameConstants(scene, scene->camera, view);
    for (Vertex* v = object->vertices; v < object->vertices + object->vertexCount; ++v) {
        std::generate(std::begin(v->normal), std::end(v->normal), [&] { return spread(random) * 0.3f; });
        v->colour = uint32_t(random()) & 0x00FFFFFF;
        v->vertexValue = uint32_t(random());
    }
    const std::vector<Vertex> start(object->vertices, object->vertices + object->vertexCount);
    const uint32_t flags[] = {0, OBJECT_ENVIRONMENT, OBJECT_SHADED, OBJECT_SHADED | OBJECT_VERTEXCOLOURS};
    for (int round = 0; round < 30; ++round) {
        for (int k = 0; k < 16; ++k)
            object->matrix[k] = round < 2 ? float(k % 5 == 0) : entry(random) * (round % 3 ? 1.0f : 100.0f);
        for (int k = 0; k < 9; ++k)  // now and then past every table and conversion
            object->unitRows[k / 3][k % 3] = entry(random) * (round % 10 > 7 ? 1e30f : 1.0f);
        object->objectFlags = flags[round / 2 % 4];
        const auto transform = [&](FrontEndPath path) {
            std::copy(start.begin(), start.end(), object->vertices);
            (round % 2 ? TransformVerticesEnv : TransformVertices)(object, path);
            const auto* bytes = reinterpret_cast<const uint8_t*>(object->vertices);  // compared field for field
            return std::vector<uint8_t>(bytes, bytes + object->vertexCount * sizeof(Vertex));
        };
        ASSERT_EQ(transform(FrontEndPath::WIDE), transform(FrontEndPath::ONE_BY_ONE)) << "round " << round;
    }
}

// Shaded objects of random vertices near and far from random lights, each
// lit by both paths from the same start, compared colour for colour. The
// counts leave vertices past the last eight; the far vertices (beyond 32
// bits) take the one-by-one path inside the wide one; the infinite light
// makes its zero channel's part NaN.
TEST_F(FastPaths, LightingWideAndOneByOneGivesTheSameColours)
{
    std::uniform_real_distribution<float> near(-300, 300), unit(-127, 127);
    std::vector<Vertex*> vertices;  // the near object's 1003, then the far one's 64
    for (uint32_t count : {1003u, 64u}) {
        ObjectEntity* object = build::AddObject(scene, "object", std::vector<build::Point>(count), {});
        object->objectFlags = OBJECT_SHADED;
        for (uint32_t i = 0; i < count; ++i)
            vertices.push_back(&object->vertices[i]);
    }
    const struct { float position[3], intensity, range; uint32_t colour; } lights[] = {
        {{0, 0, 0}, 0.5f, 0, 0x00FF8040},     {{10.5f, -3.2f, 80}, 1.5f, 250, 0x00FFFFFF},
        {{-50, 20, 5}, -0.75f, 0, 0x00204080}, {{3, 3, 3}, 40.0f, 12, 0x00010203},
        {{0, 0, 1e9f}, 2.0f, 1e9f, 0x00808080},   {{7, 7, 7}, INFINITY, 0, 0x00FF8000},
    };
    for (const auto& l : lights) {
        LightEntity* light = build::AddLight(scene, "light");
        ASSERT_NE(light, nullptr);
        std::memcpy(light->matrix + 12, l.position, sizeof l.position);
        std::tie(light->lightValue1, light->lightValue2, light->lightValue3, light->lightFlags) =
            std::make_tuple(l.intensity, l.range, l.colour, LIGHT_ON);
    }
    for (uint32_t round = 0; round < 20; ++round) {
        // Each path from the same start, drawn afresh from the round's seed.
        const auto light = [&](FrontEndPath path) {
            std::mt19937 random(round);
            for (size_t k = 0; k < vertices.size(); ++k) {
                Vertex& v = *vertices[k];
                const float scale = k >= 1003 && k % 9 == 0 ? 1e7f : 1.0f;
                std::generate(std::begin(v.camera), std::end(v.camera), [&] { return near(random) * scale; });
                std::generate(std::begin(v.cameraNormal), std::end(v.cameraNormal), [&] { return unit(random); });
                if (k % 50 == 0)  // on the light's integer position
                    std::memcpy(v.camera, lights[round % 6].position, sizeof v.camera);
                v.litColour = uint32_t(random());
            }
            LightVertices(scene, path);
            std::vector<uint32_t> lit(vertices.size());
            std::transform(vertices.begin(), vertices.end(), lit.begin(), [](const Vertex* v) { return v->litColour; });
            return lit;
        };
        ASSERT_EQ(light(FrontEndPath::WIDE), light(FrontEndPath::ONE_BY_ONE)) << "round " << round;
    }
}

// Eyes above the floor (the planes apart), below it (both planes on one
// side, the sky one tile above the eye possibly on the floor), level and
// turned cameras with the horizon on a row or slanting across, tiles of
// every size, and views whose width leaves pixels past the last eight; the
// tiled image too, its map of 2^18 texels shifting rows left; both paths
// compared pixel for pixel.
TEST_F(FastPaths, BackgroundWideAndPixelByPixelDrawTheSamePixels)
{
    std::mt19937 random(3);
    // Maps of random texels, sides 2^widthShift × 2^heightShift.
    const struct { Texture** map; uint32_t widthShift, heightShift; } maps[] = {{&scene->floorMap, 7, 5}, {&scene->skyMap, 4, 8}, {&scene->backgroundMap, 10, 8}};
    for (const auto& m : maps) {
        Texture* map = *m.map = build::AddTexture(scene, "map", 1u << m.widthShift, 1u << m.heightShift);
        std::tie(map->widthShift, map->heightShift, map->widthMask, map->heightMask) =
            std::make_tuple(m.widthShift, m.heightShift, map->width - 1, map->height - 1);
        map->textureFlags = TEXTURE_POWEROFTWO;
        for (uint32_t i = 0; i < map->width * map->height; ++i)
            static_cast<uint16_t*>(map->pixels)[i] = uint16_t(random() & 0x7FFF);
    }
    scene->backgroundColour = 0x00FF8000;
    struct Case { float eye[3], rotation[3], fieldOfView; uint32_t tile; };
    std::vector<Case> cases = {
        {{0, -100, 0}, {0, 0, 0}, 90, 0},          {{0, -100, 0}, {123, 0, 0}, 60, 16},
        {{5, 40, -7}, {10, 20, 30}, 90, 64},       {{0, -0.5f, 0}, {0, 89.5f, 0}, 120, 1},
        {{1e6f, -3, 2e6f}, {45, -5, 170}, 30, 3},  {{0, -1e30f, 0}, {0, -30, 0}, 90, 5},
        {{3e9f, -50, -3e9f}, {-20, -10, 5}, 75, 1},
        // The sky on the floor: equal t, the floor seen; then t a rounding apart.
        {{0, 16, 0}, {0, -30, 10}, 90, 16},        {{0, 16.000002f, 0}, {0, -30, 10}, 90, 16},
    };
    std::uniform_real_distribution<float> angle(-360, 360), place(-500, 500), field(10, 150);
    for (int i = 0; i < 40; ++i)
        cases.push_back({{place(random), place(random), place(random)}, {angle(random), angle(random), angle(random)},
                         field(random), uint32_t(random() % 200)});
    for (const Case& c : cases) {
        std::memcpy(camera->position, c.eye, sizeof c.eye);
        std::memcpy(camera->rotation, c.rotation, sizeof c.rotation);
        camera->fieldOfView = c.fieldOfView;
        scene->backgroundValue2 = c.tile;
        for (uint32_t mode : {BACKGROUND_FLOOR, BACKGROUND_SKY, BACKGROUND_FLOORSKY, BACKGROUND_IMAGE})
            for (const auto& [width, height] : {std::pair<int32_t, int32_t>{320, 200}, {37, 23}}) {
                scene->flags = mode;
                const auto draw = [&](FrontEndPath path) {
                    const std::unique_ptr<XView, void (*)(XView*)> into(pipeline::MakeView(width, height), XViewDelete);
                    DrawBackground(scene, into.get(), path);
                    return std::vector<uint16_t>(into->current, into->current + width * height);
                };
                EXPECT_EQ(draw(FrontEndPath::WIDE), draw(FrontEndPath::ONE_BY_ONE))
                    << "eye y " << c.eye[1] << ", mode " << mode << ", " << width << " wide";
            }
    }
}

}  // namespace
