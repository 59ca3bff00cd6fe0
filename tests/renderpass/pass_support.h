// Scenes for the render-pass tests: the camera at the origin looking down +z
// with a 90° field of view on a 320 × 200 view (focal 160, so a point
// (x, y, z) lands on pixel (160 + 160x/z, 100 + 160y/z)), the engine tables
// the pass reads, flat quads and boxes wound to face a given way, and one
// call that draws a frame as a program's frame callback does.
#pragma once

#include "support/scene_builder.h"

#include "core/settings.h"
#include "core/tables.h"
#include "display/display.h"
#include "render/pass.h"
#include "render/render.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace pass_test {

constexpr int32_t WIDTH = 320;
constexpr int32_t HEIGHT = 200;

// Flat colours and the 15-bit pixels they draw.
constexpr uint32_t RED = 0x00FF0000;
constexpr uint32_t GREEN = 0x0000FF00;
constexpr uint32_t BLUE = 0x000000FF;
constexpr uint32_t GREY = 0x00808080;
constexpr uint32_t DARK = 0x00202020;
constexpr uint16_t RED_PIXEL = 0x7C00;
constexpr uint16_t GREEN_PIXEL = 0x03E0;
constexpr uint16_t BLUE_PIXEL = 0x001F;
constexpr uint16_t GREY_PIXEL = 0x4210;
constexpr uint16_t DARK_PIXEL = 0x1084;

inline uint16_t Rgb15(uint32_t r, uint32_t g, uint32_t b)
{
    return uint16_t((r << 10) | (g << 5) | b);
}

inline XView* MakeView(int32_t width, int32_t height, bool doubleBuffered = false)
{
    const TagItem tags[] = {
        {TAG_XVIEW_WIDTH, uintptr_t(width)},
        {TAG_XVIEW_HEIGHT, uintptr_t(height)},
        {TAG_XVIEW_DOUBLEBUFFER, doubleBuffered ? 1u : 0u},
        {TAG_DONE, 0},
    };
    return XViewCreate(tags);
}

// Whether (b − a) × (c − a) of the first three corners points along
// `outward`: the side the face is seen from (seen from elsewhere it is
// culled).
inline bool TurnedTo(const std::array<build::Point, 4>& corners, build::Point outward)
{
    const build::Point& a = corners[0];
    const build::Point& b = corners[1];
    const build::Point& c = corners[2];
    const float ux = b.x - a.x, uy = b.y - a.y, uz = b.z - a.z;
    const float vx = c.x - a.x, vy = c.y - a.y, vz = c.z - a.z;
    const float nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    return nx * outward.x + ny * outward.y + nz * outward.z >= 0;
}

// The corners in an order seen from the `outward` side.
inline std::array<build::Point, 4> Facing(std::array<build::Point, 4> corners, build::Point outward)
{
    if (!TurnedTo(corners, outward))
        std::swap(corners[1], corners[3]);
    return corners;
}

class RenderPass : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPixelMode(1);
        ASSERT_EQ(BuildNormalTable(), 1);
        ASSERT_EQ(BuildRadialTable(), 1);
        ASSERT_EQ(BuildPositionTable(45, WIDTH, 32768), 1);
        scene = AllocScene();
        ASSERT_NE(scene, nullptr);
        CameraOf(scene->camera)->fieldOfView = 90.0f;
        scene->backgroundColour = DARK;
        view = MakeView(WIDTH, HEIGHT);
        ASSERT_NE(view, nullptr);
    }

    void TearDown() override
    {
        FreeScene(scene);
        XViewDelete(view);
        FreeNormalTable();
        FreeRadialTable();
        FreePositionTable();
    }

    // A flat quad with its two faces (0, 1, 2) and (0, 2, 3), seen from the
    // `outward` side.
    ObjectEntity* AddQuad(const char* name, std::array<build::Point, 4> corners, build::Point outward,
                          uint32_t colour, uint32_t flags = 0)
    {
        const auto c = Facing(corners, outward);
        ObjectEntity* quad = build::AddObject(scene, name, {c[0], c[1], c[2], c[3]}, {{0, 1, 2}, {0, 2, 3}});
        quad->colour = colour;
        quad->objectFlags = flags;
        ComputeNormals(quad);
        return quad;
    }

    // A square facing the camera at depth z, centred on (x, y).
    ObjectEntity* AddSquare(const char* name, float x, float y, float z, float half, uint32_t colour,
                            uint32_t flags = 0)
    {
        return AddQuad(name,
                       {{{x - half, y - half, z}, {x + half, y - half, z}, {x + half, y + half, z},
                         {x - half, y + half, z}}},
                       {0, 0, -1}, colour, flags);
    }

    // An axis-aligned box between two corners over eight shared vertices,
    // every face seen from outside.
    ObjectEntity* AddBox(const char* name, build::Point low, build::Point high, uint32_t colour, uint32_t flags = 0)
    {
        const float xs[2] = {low.x, high.x}, ys[2] = {low.y, high.y}, zs[2] = {low.z, high.z};
        std::vector<build::Point> points;
        for (int k = 0; k < 2; ++k)
            for (int j = 0; j < 2; ++j)
                for (int i = 0; i < 2; ++i)
                    points.push_back({xs[i], ys[j], zs[k]});
        std::vector<build::Corners> faces;
        for (int axis = 0; axis < 3; ++axis) {
            for (int side = 0; side < 2; ++side) {
                build::Point outward{0, 0, 0};
                (axis == 0 ? outward.x : axis == 1 ? outward.y : outward.z) = side ? 1.0f : -1.0f;
                const int order[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
                std::array<uint32_t, 4> index;
                std::array<build::Point, 4> corners;
                for (int n = 0; n < 4; ++n) {
                    const int u = order[n][0], v = order[n][1];
                    const int bits[3] = {axis == 0 ? side : u, axis == 1 ? side : axis == 0 ? u : v,
                                         axis == 2 ? side : v};
                    index[n] = uint32_t(bits[0] + 2 * bits[1] + 4 * bits[2]);
                    corners[n] = points[index[n]];
                }
                if (!TurnedTo(corners, outward))
                    std::swap(index[1], index[3]);
                faces.push_back({index[0], index[1], index[2]});
                faces.push_back({index[0], index[2], index[3]});
            }
        }
        ObjectEntity* box = build::AddObject(scene, name, points, faces);
        box->colour = colour;
        box->objectFlags = flags;
        ComputeNormals(box);
        return box;
    }

    LightEntity* AddLight(const char* name, float x, float y, float z, uint32_t flags = 0)
    {
        LightEntity* light = build::AddLight(scene, name);
        light->position[0] = x;
        light->position[1] = y;
        light->position[2] = z;
        light->size[0] = light->size[1] = light->size[2] = 1.0f;
        light->lightFlags = flags;
        return light;
    }

    // A side × side map of one texel value.
    Texture* AddMap(const char* name, uint32_t side, uint16_t texel)
    {
        Texture* map = build::AddTexture(scene, name, side, side);
        auto* pixels = static_cast<uint16_t*>(map->pixels);
        for (uint32_t i = 0; i < side * side; ++i)
            pixels[i] = texel;
        return map;
    }

    // A light effect of one element at the point itself (e0 = 1.0) whose map
    // is a side × side square of one texel, drawn at full intensity.
    LightEffect* AddFlare(const char* name, uint32_t side, uint16_t texel, uint32_t e1 = 0x10000)
    {
        LightEffect* effect = build::AddLightEffect(scene, name);
        LightEffectElement* element = build::AddElement(effect, name, 0x10000, AddMap(name, side, texel));
        element->e1 = e1;
        return effect;
    }

    // One frame as a program's frame callback draws it.
    void Render()
    {
        PrepareScene(scene, nullptr, view);
        DrawBackground(scene, view);
        RenderScene(scene, nullptr, view, 0);
    }

    // Sizes the draw lists for the entities added so far, then renders.
    void RenderNew()
    {
        ASSERT_EQ(AllocDrawLists(scene), 1);
        Render();
    }

    uint16_t Pixel(int32_t x, int32_t y) const { return view->current[y * view->width + x]; }

    // Whether every pixel of [x0, x1) × [y0, y1) is `expected`.
    ::testing::AssertionResult RectIs(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint16_t expected) const
    {
        for (int32_t y = y0; y < y1; ++y) {
            for (int32_t x = x0; x < x1; ++x) {
                if (Pixel(x, y) != expected)
                    return ::testing::AssertionFailure()
                           << "pixel (" << x << ", " << y << ") is " << std::hex << Pixel(x, y);
            }
        }
        return ::testing::AssertionSuccess();
    }

    std::vector<uint16_t> Shown() const
    {
        return std::vector<uint16_t>(view->current, view->current + size_t(view->width) * view->height);
    }

    // Entries of `type` in this frame's sprite list (freshly allocated lists
    // hold zeros past the entries in use).
    std::vector<DrawEntry> Sprites(uint32_t type) const
    {
        std::vector<DrawEntry> found;
        for (uint32_t i = 0; i < scene->spriteCapacity; ++i) {
            if (scene->spriteList[i].type == type)
                found.push_back(scene->spriteList[i]);
        }
        return found;
    }

    Scene* scene = nullptr;
    XView* view = nullptr;
};

}  // namespace pass_test
