// The floor and sky planes seen from below the floor.
#include "render/pipeline.h"
#include "support/scene_builder.h"

using namespace kvor3d;

namespace {

constexpr uint16_t FLOOR = 0x1234, SKY = 0x0567, COLOUR = 0x7E00;

class Planes : public pipeline::Pipeline {
protected:
    void SetUp() override
    {
        Pipeline::SetUp();
        for (Texture** plane : {&scene->floorMap, &scene->skyMap}) {
            Texture* map = build::AddTexture(scene, "plane", 256, 256);
            map->widthShift = map->heightShift = 8;
            map->widthMask = map->heightMask = 255;
            map->textureFlags = TEXTURE_POWEROFTWO;
            std::fill_n(static_cast<uint16_t*>(map->pixels), 256 * 256, plane == &scene->floorMap ? FLOOR : SKY);
            *plane = map;
        }
        scene->backgroundColour = 0x00FF8000;
        scene->flags = BACKGROUND_FLOORSKY;
        camera->position[1] = -100.0f;  // 100 units above the floor
    }

    // The rows from `first` to `last` show only `value`.
    ::testing::AssertionResult RowsAre(int32_t first, int32_t last, uint16_t value) const
    {
        for (int32_t i = first * view->width; i < (last + 1) * view->width; ++i) {
            if (view->current[i] != value)
                return ::testing::AssertionFailure() << "pixel " << i % view->width << ", " << i / view->width;
        }
        return ::testing::AssertionSuccess();
    }
};

TEST_F(Planes, CameraBelowTheFloorSeesItOverhead)
{
    camera->position[1] = 50.0f;
    DrawBackground(scene, view);
    EXPECT_TRUE(RowsAre(0, 0, FLOOR));  // the floor is nearer than the sky above it
    EXPECT_TRUE(RowsAre(199, 199, COLOUR));
}

}  // namespace
