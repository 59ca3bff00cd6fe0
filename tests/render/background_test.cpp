#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <cmath>
#include <random>
#include <vector>

namespace {

using pipeline::Pipeline;

constexpr double PI = 3.14159265358979323846;

// A texture of 2^widthShift × 2^heightShift pixels set up for addressing.
Texture* AddMap(Scene* scene, const char* name, uint32_t widthShift, uint32_t heightShift)
{
    Texture* map = build::AddTexture(scene, name, 1u << widthShift, 1u << heightShift);
    map->widthShift = widthShift;
    map->heightShift = heightShift;
    map->widthMask = map->width - 1;
    map->heightMask = map->height - 1;
    map->textureFlags = TEXTURE_POWEROFTWO;
    return map;
}

uint16_t* Texels(Texture* map)
{
    return static_cast<uint16_t*>(map->pixels);
}

void FillMap(Texture* map, uint16_t value)
{
    std::fill_n(Texels(map), map->width * map->height, value);
}

class Background : public Pipeline {
protected:
    uint16_t At(int32_t x, int32_t y) const { return view->current[y * view->width + x]; }

    // Every pixel of the row is `value`.
    bool RowIs(int32_t y, uint16_t value) const
    {
        for (int32_t x = 0; x < view->width; ++x) {
            if (At(x, y) != value)
                return false;
        }
        return true;
    }
};

TEST_F(Background, ColourModeFillsEveryPixelWith15BitColour)
{
    scene->backgroundColour = 0x00FF8000;
    DrawBackground(scene, view);
    for (int32_t i = 0; i < 320 * 200; ++i)
        ASSERT_EQ(view->current[i], 0x7E00) << i;

    XView* small = pipeline::MakeView(7, 3);  // 21 pixels: not a whole number of 32-pixel steps
    scene->backgroundColour = 0x00123456;
    DrawBackground(scene, small);
    for (int32_t i = 0; i < 21; ++i)
        EXPECT_EQ(small->current[i], (0x12 >> 3) << 10 | (0x34 >> 3) << 5 | (0x56 >> 3)) << i;
    XViewDelete(small);
}

TEST_F(Background, DoubleBufferedViewGetsItsBackgroundInBufferB)
{
    XView* doubled = pipeline::MakeView(32, 2, true);
    scene->backgroundColour = 0x00FFFFFF;
    DrawBackground(scene, doubled);
    for (int32_t i = 0; i < 64; ++i) {
        EXPECT_EQ(doubled->bufferB[i], 0x7FFF);
        EXPECT_EQ(doubled->bufferA[i], 0);
    }
    XViewDelete(doubled);
}

TEST_F(Background, OtherModesLeaveTheBufferAlone)
{
    view->current[0] = 0x1234;
    scene->flags = 0x500;
    DrawBackground(scene, view);
    EXPECT_EQ(At(0, 0), 0x1234);
    DrawBackground(nullptr, view);
    DrawBackground(scene, nullptr);
}

// The image mode against its rule evaluated at each pixel on its own:
// u = uStart + x du + y dv, v = vStart − x dv + y du (32-bit wrap), texel
// row (v >> (16 − heightShift)) & heightMask, column (u >> (16 − widthShift))
// & widthMask.
void ExpectImageMode(Scene* scene, const CameraEntity* camera, const XView* view)
{
    const Texture* map = scene->backgroundMap;
    const uint32_t rep = scene->backgroundValue2;
    const int32_t width = view->width;
    const int32_t height = view->height;
    const double angle = -double(camera->rotation[2]) * PI / 180;
    const double k = double(rep) * camera->fieldOfView * 65536 / 360 / width;
    const uint32_t du = uint32_t(int32_t(std::cos(angle) * k));
    const uint32_t dv = uint32_t(int32_t(-std::sin(angle) * k));
    const uint32_t u0 = (uint32_t(int32_t(double(rep) * (-double(camera->rotation[0]) / 360) * 65536)) & 0xFFFF) -
                        (du * uint32_t(width >> 1) - dv * uint32_t(height >> 1));
    const uint32_t v0 = (uint32_t(int32_t(double(rep) * (-double(camera->rotation[1]) / 360) * 65536)) & 0xFFFF) -
                        (uint32_t(height >> 1) * du + uint32_t(width >> 1) * dv);
    const auto* texels = static_cast<const uint16_t*>(map->pixels);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t u = u0 + uint32_t(x) * du + uint32_t(y) * dv;
            const uint32_t v = v0 - uint32_t(x) * dv + uint32_t(y) * du;
            const uint32_t row = (v >> (16 - map->heightShift)) & map->heightMask;
            const uint32_t column = (u >> (16 - map->widthShift)) & map->widthMask;
            ASSERT_EQ(view->current[y * width + x], texels[row * map->width + column]) << x << ", " << y;
        }
    }
}

TEST_F(Background, ImageModeMatchesItsRuleAtEveryPixel)
{
    std::mt19937 random(5);
    for (uint32_t shifts : {0x0605u, 0x0908u}) {  // 64 × 32, and 512 × 256 (past 16 bits together)
        Texture* map = AddMap(scene, "image", shifts >> 8, shifts & 0xFF);
        for (uint32_t i = 0; i < map->width * map->height; ++i)
            Texels(map)[i] = uint16_t(random() & 0x7FFF);
        scene->backgroundMap = map;
        scene->flags = BACKGROUND_IMAGE;
        scene->backgroundValue2 = 3;
        camera->fieldOfView = 75.0f;
        camera->rotation[0] = 37.5f;
        camera->rotation[1] = -12.25f;
        camera->rotation[2] = 23.0f;
        DrawBackground(scene, view);
        ExpectImageMode(scene, camera, view);

        camera->rotation[0] = -400.0f;
        camera->rotation[2] = -150.0f;
        scene->backgroundValue2 = 1;
        DrawBackground(scene, view);
        ExpectImageMode(scene, camera, view);
    }
}

TEST_F(Background, ImageModeWithoutAUsableMapShowsTheColour)
{
    scene->flags = BACKGROUND_IMAGE;
    scene->backgroundColour = 0x00FF8000;
    DrawBackground(scene, view);
    EXPECT_TRUE(RowIs(0, 0x7E00));

    Texture* odd = build::AddTexture(scene, "odd", 100, 100);  // sides not powers of two
    scene->backgroundMap = odd;
    view->current[0] = 0;
    DrawBackground(scene, view);
    EXPECT_TRUE(RowIs(0, 0x7E00));
}

// ---- Floor and sky ------------------------------------------------------------------

class Planes : public Background {
protected:
    void SetUp() override
    {
        Background::SetUp();
        floor = AddMap(scene, "floor", 8, 8);
        sky = AddMap(scene, "sky", 8, 8);
        FillMap(floor, FLOOR);
        FillMap(sky, SKY);
        scene->floorMap = floor;
        scene->skyMap = sky;
        scene->backgroundColour = 0x00FF8000;
        camera->position[1] = -100.0f;  // 100 units above the floor
    }

    static constexpr uint16_t FLOOR = 0x1234;
    static constexpr uint16_t SKY = 0x0567;
    static constexpr uint16_t COLOUR = 0x7E00;
    Texture* floor = nullptr;
    Texture* sky = nullptr;
};

TEST_F(Planes, LevelCameraSeesTheHorizonAcrossTheCentreRow)
{
    scene->flags = BACKGROUND_FLOOR;
    DrawBackground(scene, view);
    for (int32_t y = 0; y <= 100; ++y)
        EXPECT_TRUE(RowIs(y, COLOUR)) << y;
    for (int32_t y = 101; y < 200; ++y)
        EXPECT_TRUE(RowIs(y, FLOOR)) << y;

    scene->flags = BACKGROUND_SKY;
    DrawBackground(scene, view);
    for (int32_t y = 0; y < 100; ++y)
        EXPECT_TRUE(RowIs(y, SKY)) << y;
    for (int32_t y = 100; y < 200; ++y)
        EXPECT_TRUE(RowIs(y, COLOUR)) << y;

    scene->flags = BACKGROUND_FLOORSKY;
    camera->rotation[0] = 123.0f;  // turning about the vertical keeps the horizon
    DrawBackground(scene, view);
    for (int32_t y = 0; y < 100; ++y)
        EXPECT_TRUE(RowIs(y, SKY)) << y;
    EXPECT_TRUE(RowIs(100, COLOUR));
    for (int32_t y = 101; y < 200; ++y)
        EXPECT_TRUE(RowIs(y, FLOOR)) << y;
}

// r1 = atan(1/4): the horizon lies focal / 4 = 40 rows below the centre.
TEST_F(Planes, HorizonMovesWithThePitch)
{
    scene->flags = BACKGROUND_FLOORSKY;
    camera->rotation[1] = float(std::atan(0.25) * 180 / PI);
    DrawBackground(scene, view);
    for (int32_t y = 0; y < 140; ++y)
        EXPECT_TRUE(RowIs(y, SKY)) << y;
    for (int32_t y = 141; y < 200; ++y)
        EXPECT_TRUE(RowIs(y, FLOOR)) << y;

    camera->rotation[1] = -90.0f;  // straight down: floor everywhere
    DrawBackground(scene, view);
    for (int32_t y = 0; y < 200; ++y)
        EXPECT_TRUE(RowIs(y, FLOOR)) << y;
}

// r2 = 45: the horizon is the diagonal through the centre, the floor below
// and right of it.
TEST_F(Planes, HorizonTiltsWithTheRoll)
{
    scene->flags = BACKGROUND_FLOORSKY;
    camera->rotation[2] = 45.0f;
    DrawBackground(scene, view);
    for (int32_t y = 0; y < 200; ++y) {
        for (int32_t x = 0; x < 320; ++x) {
            const int32_t side = (x - 160) + (y - 100);
            if (side != 0) {
                ASSERT_EQ(At(x, y), side > 0 ? FLOOR : SKY) << x << ", " << y;
            }
        }
    }
}

TEST_F(Planes, PlaneWithoutAUsableMapShowsTheColour)
{
    scene->flags = BACKGROUND_FLOORSKY;
    scene->floorMap = nullptr;
    DrawBackground(scene, view);
    EXPECT_TRUE(RowIs(50, SKY));
    EXPECT_TRUE(RowIs(150, COLOUR));
}

TEST_F(Planes, CameraBelowTheFloorSeesItOverhead)
{
    scene->flags = BACKGROUND_FLOORSKY;
    camera->position[1] = 50.0f;
    DrawBackground(scene, view);
    EXPECT_TRUE(RowIs(0, FLOOR));  // the floor is nearer than the sky above it
    EXPECT_TRUE(RowIs(199, COLOUR));
}

// Points of the floor plane projected by the pipeline land on the pixels
// whose background shows their texels. The floor map holds a distinct value
// per texel; a texel covers 10 × 10 world units (tile 2560), and the points
// sit at texel centres, among them negative coordinates that wrap.
TEST_F(Planes, FloorAgreesWithProjectedGeometry)
{
    for (uint32_t row = 0; row < 256; ++row)
        for (uint32_t column = 0; column < 256; ++column)
            Texels(floor)[row * 256 + column] = uint16_t((row & 127) << 8 | column);
    scene->flags = BACKGROUND_FLOOR;
    scene->backgroundValue2 = 2560;
    camera->position[0] = 5.0f;
    camera->position[1] = -40.0f;
    camera->position[2] = -30.0f;
    camera->rotation[0] = 20.0f;
    camera->rotation[1] = -15.0f;
    camera->rotation[2] = 5.0f;

    std::vector<build::Point> points;
    for (int column = -10; column <= 10; ++column)
        for (int row = -10; row <= 20; ++row)
            points.push_back({column * 10.0f + 5.0f, 0.0f, row * 10.0f + 5.0f});
    ObjectEntity* marks = build::AddObject(scene, "marks", points, {});
    marks->size[0] = marks->size[1] = marks->size[2] = 1.0f;
    PrepareScene(scene, nullptr, view);
    DrawBackground(scene, view);

    int checked = 0;
    for (uint32_t i = 0; i < marks->vertexCount; ++i) {
        const Vertex& mark = marks->vertices[i];
        const float dx = mark.position[0] - camera->position[0];
        const float dz = mark.position[2] - camera->position[2];
        if (mark.clipCode || dx * dx + dz * dz > 150.0f * 150.0f || mark.screenY > 198.0f || mark.screenX > 318.0f)
            continue;
        const int32_t x = int32_t(mark.screenX + 0.5f);
        const int32_t y = int32_t(mark.screenY + 0.5f);
        const uint32_t column = uint32_t(int32_t(std::floor(mark.position[0] / 10))) & 255;
        const uint32_t row = uint32_t(int32_t(std::floor(mark.position[2] / 10))) & 255;
        EXPECT_EQ(At(x, y), (row & 127) << 8 | column) << mark.position[0] << ", " << mark.position[2];
        ++checked;
    }
    EXPECT_GT(checked, 40);
}

}  // namespace
