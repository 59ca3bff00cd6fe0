// The showcase scene (every effect of the render pass at once) written as a
// scene file, read back and drawn at 1 s, compared with the frame that was
// looked at and accepted, through a checksum of its pixels. kvorshot draws
// the same frame from the files kvorscenes writes:
//
//   kvorscenes scenes && cd scenes && kvorshot -t 1 -s 2 showcase.kvor showcase.png
#include "support/checksum.h"
#include "../bench/showcase.h"  // the benchmark scenes, beside kvorscenes

#include "../tools/headless.h"  // tools/ lies beside tests/

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

// The scene as LoadScene builds it from its file, the textures served from
// memory under the names the file gives.
Scene* WrittenAndRead(Scene* (*build)())
{
    Scene* built = build();
    std::vector<uint8_t> file(1 << 20);
    int32_t error = 0;
    const TagItem save[] = {{TAG_SAVESCENE_MEMORY, TagPtr(file.data())}, {TAG_SAVESCENE_CAPACITY, file.size()},
                            {TAG_SAVESCENE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    const uint32_t size = SaveScene(built, save);
    FreeScene(built);
    if (size == 0)
        return nullptr;
    const TagItem load[] = {{TAG_LOADSCENE_MEMORY, TagPtr(file.data())}, {TAG_LOADSCENE_MEMORYSIZE, size},
                            {TAG_LOADSCENE_TEXTURES, TagPtr(&showcase::TextureImage)},
                            {TAG_LOADSCENE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    return LoadScene(load);
}

class Golden : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(headless::StartEngine());
        const TagItem tags[] = {{TAG_XVIEW_WIDTH, headless::VIEW_WIDTH}, {TAG_XVIEW_HEIGHT, headless::VIEW_HEIGHT},
                                {TAG_DONE, 0}};
        view = XViewCreate(tags);
        ASSERT_NE(view, nullptr);
    }

    void TearDown() override
    {
        XViewDelete(view);
        headless::StopEngine();
    }

    uint64_t FrameChecksum(Scene* (*build)(), uint32_t time)
    {
        Scene* scene = WrittenAndRead(build);
        EXPECT_NE(scene, nullptr);
        if (!scene)
            return 0;
        headless::RenderAt(scene, view, time);
        FreeScene(scene);
        return PixelChecksum(view->current, size_t(view->width) * size_t(view->height));
    }

    XView* view = nullptr;
};

TEST_F(Golden, ShowcaseFrameAtOneSecondIsTheAcceptedOne)
{
    EXPECT_EQ(FrameChecksum(showcase::ShowcaseScene, TICKS_PER_SECOND), 0xc5cb1a3a9bf57d61ull)
        << "look at the new frame with kvorshot (see above) before accepting its checksum";
}

}  // namespace
