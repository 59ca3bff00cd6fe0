// Scenes for the render-pass tests: the camera at the origin looking down +z
// with a 90° field of view on a 320 × 200 view (focal 160, so a point
// (x, y, z) lands on pixel (160 + 160x/z, 100 + 160y/z)), the engine tables
// the pass reads, and one call that draws a frame as a program's frame
// callback does.
#pragma once

#include "../bench/showcase.h"  // the benchmark scenes, beside kvorscenes

#include "render/pass.h"
#include "render/pipeline.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kvor3d;

namespace pass_test {

constexpr uint32_t GREY = 0x00808080, BLUE = 0x000000FF, DARK = 0x00202020;
constexpr uint16_t GREY_PIXEL = 0x4210, BLUE_PIXEL = 0x001F;

using pipeline::MakeView;

class RenderPass : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetPixelMode(1);
        ASSERT_EQ(BuildNormalTable(), 1);
        ASSERT_EQ(BuildRadialTable(), 1);
        ASSERT_EQ(BuildPositionTable(45, 320, 32768), 1);
        scene = showcase::NewScene();
        scene->backgroundColour = DARK;
        view = MakeView(320, 200);
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

    // A box over a floor y = 40 from z = 60 to 400, under a light straight
    // above the box's centre (y grows downward).
    void AddBoxOverFloor()
    {
        ComputeNormals(showcase::AddMesh(scene, "floor", showcase::Floor(40, -200, 200, 60, 400, 40), GREY, 0));
        box = showcase::AddMesh(scene, "box", showcase::Box({-10, 10, 140}, {10, 30, 160}), BLUE, OBJECT_SHADOWCASTER);
        ComputeNormals(box);
        light = showcase::AddLight(scene, "light", {0, -100, 150}, LIGHT_SHADOWS, 0, 0);
    }

    // One frame as a program's frame callback draws it.
    void Render()
    {
        PrepareScene(scene, nullptr, view);
        DrawBackground(scene, view);
        RenderScene(scene, nullptr, view, 0);
    }

    uint16_t Pixel(int32_t x, int32_t y) const { return view->current[y * view->width + x]; }
    std::vector<uint16_t> Shown() const
    {
        return std::vector<uint16_t>(view->current, view->current + size_t(view->width) * view->height);
    }

    Scene* scene = nullptr;
    XView* view = nullptr;
    ObjectEntity* box = nullptr;
    LightEntity* light = nullptr;
};

}  // namespace pass_test
