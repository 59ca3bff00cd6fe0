// Bad states the render pass survives: marker positions outside the frame,
// frame constants of another view, and allocations that fail (depth buffer
// and shadow mask, edge tables, shadow quads), after which the frame is
// drawn without those shadows.
#include "renderpass/pass_support.h"

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

using pass_test::RenderPass;
using namespace pass_test;

using Robustness = RenderPass;

TEST_F(Robustness, MarkerPositionsOutsideTheFrameAreNeitherReadNorWritten)
{
    LightEntity* light = AddLight("light", 0, 0, 100);
    light->effect = AddFlare("flare", 8, 0x0421);
    ObjectEntity* quad = AddSquare("quad", 0, 0, 200, 30, GREY, OBJECT_SPRITEEFFECT);
    quad->spriteEffect = light->effect;
    quad->spriteValue = 180 << 16;
    ASSERT_EQ(AllocDrawLists(scene), 1);

    PrepareScene(scene, nullptr, view);
    light->screenX = 1e9f;
    light->screenY = -1e9f;
    const float far[4][2] = {{-5e8f, 3e8f}, {4e8f, 4e8f}, {-7e8f, -7e8f}, {1e9f, 0.0f}};
    for (uint32_t i = 0; i < quad->vertexCount; ++i) {
        quad->vertices[i].screenX = far[i][0];
        quad->vertices[i].screenY = far[i][1];
    }
    DrawBackground(scene, view);
    RenderScene(scene, nullptr, view, 0);
    EXPECT_TRUE(Sprites(DRAW_LIGHT).empty());
    EXPECT_TRUE(Sprites(DRAW_GLINT).empty());
}

TEST_F(Robustness, FrameConstantsOfAnotherViewDrawNothing)
{
    AddSquare("square", 0, 0, 100, 20, RED);
    ASSERT_EQ(AllocDrawLists(scene), 1);
    XView* other = MakeView(160, 100);
    ASSERT_NE(other, nullptr);
    std::fill(other->current, other->current + 160 * 100, uint16_t(0x1234));
    PrepareScene(scene, nullptr, view);
    RenderScene(scene, nullptr, other, 0);
    EXPECT_TRUE(std::all_of(other->current, other->current + 160 * 100, [](uint16_t p) { return p == 0x1234; }));
    XViewDelete(other);
}

TEST_F(Robustness, NullSceneOrViewIsIgnored)
{
    RenderScene(nullptr, nullptr, view, 0);
    RenderScene(scene, nullptr, nullptr, 0);
    SortDrawList(nullptr);
    BuildDrawList(nullptr);
    BuildShadowVolumes(nullptr);
    FreeShadowVolumes(nullptr);
    BlitSprite(nullptr, 0, 0, nullptr, 1, 1, 0, 0);
}

// Allocations fail once the address space is capped a little above what
// the process uses. The caps run in a child process, so that they end with
// it; AddressSanitizer reserves too much address space for a cap to mean
// anything.
[[maybe_unused]] void CapAddressSpace(long margin)
{
    long pages = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld", &pages) != 1)
            pages = 0;
        std::fclose(statm);
    }
    const rlim_t cap = rlim_t(pages) * 4096 + rlim_t(margin);
    const rlimit limit = {cap, cap};
    setrlimit(RLIMIT_AS, &limit);
}

// The box-over-floor scene of the shadow tests. Each capped run starts a
// fresh copy of the test program, whose heap holds no space freed by other
// tests, and large blocks are always mapped afresh and unmapped when freed,
// so that a cap cannot be met from freed heap space.
class ShortMemory : public RenderPass {
protected:
    void SetUp() override
    {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        mallopt(M_MMAP_THRESHOLD, 128 << 10);
        RenderPass::SetUp();
    }

    void UseView(int32_t width, int32_t height)
    {
        XViewDelete(view);
        view = MakeView(width, height);
        ASSERT_NE(view, nullptr);
    }

    void AddShadowScene()
    {
        AddQuad("floor", {{{-200, 40, 60}, {200, 40, 60}, {200, 40, 400}, {-200, 40, 400}}}, {0, -1, 0}, GREY);
        box = AddBox("box", {-10, 10, 140}, {10, 30, 160}, BLUE, OBJECT_SHADOWCASTER);
        light = AddLight("light", 0, -100, 150, LIGHT_SHADOWS);
    }

    // 60000 separate small triangles in front of the light: 180000 border
    // edges, each a silhouette edge with its own quad (8.6 MB of quads, an
    // edge table of 10 MB while it is built).
    ObjectEntity* AddSplinters()
    {
        constexpr uint32_t COUNT = 60000;
        std::vector<build::Point> points;
        std::vector<build::Corners> faces;
        for (uint32_t i = 0; i < COUNT; ++i) {
            const float x = float(i % 300) * 0.1f - 15.0f;
            const float z = 250.0f + float(i / 300) * 0.1f;
            points.push_back({x, 0, z});
            points.push_back({x + 0.05f, 0, z});
            points.push_back({x, 0, z + 0.05f});
            faces.push_back({3 * i, 3 * i + 1, 3 * i + 2});
        }
        ObjectEntity* splinters = build::AddObject(scene, "splinters", points, faces);
        splinters->colour = RED;
        splinters->objectFlags = OBJECT_DOUBLESIDED;
        ComputeNormals(splinters);
        return splinters;
    }

    // Compares in place: a copy of the frame may not fit under the cap.
    bool ShowsOnly(const std::vector<uint16_t>& frame) const
    {
        return std::equal(frame.begin(), frame.end(), view->current);
    }

    ObjectEntity* box = nullptr;
    LightEntity* light = nullptr;
};

// 1024 × 1024: the depth buffer needs 4 MB and the mask 1 MB.
TEST_F(ShortMemory, DepthBufferThatCannotBeHadLeavesTheFrameWithoutShadows)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space caps do not work under AddressSanitizer";
#else
    UseView(1024, 1024);
    AddShadowScene();
    ASSERT_EQ(AllocDrawLists(scene), 1);
    const auto body = [this] {
        Render();
        const std::vector<uint16_t> plain = Shown();
        scene->flags |= SCENE_SHADOWS;
        CapAddressSpace(256 << 10);
        Render();
        const bool same = ShowsOnly(plain);
        Render();
        return same && ShowsOnly(plain) && !view->depthBuffer && !view->shadowMask && light->shadowQuads;
    };
    EXPECT_EXIT(std::exit(body() ? 0 : 1), ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(ShortMemory, EdgeTableThatCannotBeHadLeavesTheObjectWithoutShadow)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space caps do not work under AddressSanitizer";
#else
    AddShadowScene();
    ObjectEntity* splinters = AddSplinters();
    scene->flags |= SCENE_SHADOWS;
    ASSERT_EQ(AllocDrawLists(scene), 1);
    const auto body = [this, splinters] {
        Render();
        const std::vector<uint16_t> plain = Shown();
        splinters->objectFlags |= OBJECT_SHADOWCASTER;
        CapAddressSpace(1 << 20);
        Render();
        return ShowsOnly(plain) && !splinters->edgeTable && box->edgeTable && light->shadowQuads &&
               Pixel(160, 143) == 0;
    };
    EXPECT_EXIT(std::exit(body() ? 0 : 1), ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(ShortMemory, ShadowQuadsThatCannotBeHadLeaveTheObjectWithoutShadow)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "address-space caps do not work under AddressSanitizer";
#else
    AddShadowScene();
    ObjectEntity* splinters = AddSplinters();
    scene->flags |= SCENE_SHADOWS;
    ASSERT_EQ(AllocDrawLists(scene), 1);
    const auto body = [this, splinters] {
        splinters->objectFlags |= OBJECT_SHADOWCASTER;
        Render();
        const bool built = splinters->edgeTable && light->shadowQuads && light->shadowQuads->next;
        splinters->objectFlags &= ~OBJECT_SHADOWCASTER;
        Render();
        const std::vector<uint16_t> plain = Shown();
        splinters->objectFlags |= OBJECT_SHADOWCASTER;
        CapAddressSpace(1 << 20);
        Render();
        return built && ShowsOnly(plain) && splinters->edgeTable && light->shadowQuads &&
               !light->shadowQuads->next && light->shadowQuads->count == 4;
    };
    EXPECT_EXIT(std::exit(body() ? 0 : 1), ::testing::ExitedWithCode(0), "");
#endif
}

}  // namespace
