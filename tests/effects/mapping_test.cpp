// Texture mapping of faces: planar across the projection axis, and the
// angles of the cylindrical and spherical projections.
#include "effects/effects.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kvor3d;

namespace {

TEST(Mapped, ProjectionsGiveTheirMapCoordinates)
{
    const float half = 0.5f, quarter = 0.25f, one = 1.0f;
    const TagItem planar[] = {{TAG_MAP_AXIS, 1}, {TAG_MAP_SCALEX, TagPtr(&half)}, {TAG_MAP_SCALEZ, TagPtr(&quarter)},
                              {TAG_MAP_CENTREY, TagPtr(&one)}, {TAG_DONE, 0}};
    const TagItem cylinder[] = {{TAG_MAP_PROJECTION, MAP_CYLINDRICAL}, {TAG_MAP_AXIS, 1}, {TAG_DONE, 0}};
    const TagItem sphere[] = {{TAG_MAP_PROJECTION, MAP_SPHERICAL}, {TAG_MAP_AXIS, 1}, {TAG_DONE, 0}};
    struct Case {
        const TagItem* tags;
        std::vector<build::Point> corners;
        float uv[3][2];
    };
    // Planar: u = −c / scale, v = a / scale with (a, b, c) = (x, y, z) about
    // y. Cylinder and sphere: v = −θ × 256 / 2π from +c toward +a; u = b on
    // the cylinder, −φ × 256 / π from the pole on the sphere.
    const Case cases[] = {
        {planar, {{3, 5, -2}, {0, 0, 0}, {1, 1, 1}}, {{8, 6}, {0, 0}, {-4, 2}}},
        {cylinder, {{0, 4, 1}, {1, 4, 0}, {0, -2, -1}}, {{4, 0}, {4, -64}, {-2, -128}}},
        {sphere, {{0, 5, 0}, {0, -5, 0}, {1, 0, 0}}, {{0, -64}, {-256, -64}, {-128, -64}}},
    };
    for (const Case& c : cases) {
        Scene* scene = AllocScene();
        ObjectEntity* object = build::AddObject(scene, "object", c.corners, {{0, 1, 2}});
        MapTexture(object, c.tags);
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(object->faces[0].uv[k][0], c.uv[k][0]) << &c - cases << " corner " << k;
            EXPECT_EQ(object->faces[0].uv[k][1], c.uv[k][1]) << &c - cases << " corner " << k;
        }
        FreeScene(scene);
    }
}

}  // namespace
