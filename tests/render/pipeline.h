// A scene with its camera looking down +z from the origin (90° field of
// view), a 320 × 200 view and the normal and position tables, for the
// geometry tests.
#pragma once

#include "core/tables.h"
#include "display/display.h"
#include "render/render.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

using namespace kvor3d;

namespace pipeline {

inline XView* MakeView(int32_t width, int32_t height, bool doubleBuffered = false)
{
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, uintptr_t(width)}, {TAG_XVIEW_HEIGHT, uintptr_t(height)},
                            {TAG_XVIEW_DOUBLEBUFFER, doubleBuffered ? 1u : 0u}, {TAG_DONE, 0}};
    return XViewCreate(tags);
}

class Pipeline : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(BuildNormalTable(), 1);
        ASSERT_EQ(BuildPositionTable(45, 320, 32768), 1);
        scene = AllocScene();
        ASSERT_NE(scene, nullptr);
        camera = CameraOf(scene->camera);
        camera->fieldOfView = 90.0f;
        view = MakeView(320, 200);
        ASSERT_NE(view, nullptr);
    }

    void TearDown() override
    {
        FreeScene(scene);
        XViewDelete(view);
        FreeNormalTable();
        FreePositionTable();
    }

    // Frame constants of this scene and view.
    void SetUpFrame() { SetFrameConstants(scene, camera, view); }

    Scene* scene = nullptr;
    CameraEntity* camera = nullptr;
    XView* view = nullptr;
};

}  // namespace pipeline
