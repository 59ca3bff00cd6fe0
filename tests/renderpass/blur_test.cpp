// Motion blur: a double-buffered view draws into buffer B and mixes it into
// the shown buffer A, 17 parts old to 15 parts new.
#include "renderpass/pass_support.h"

#include <algorithm>

namespace {

using pass_test::RenderPass;
using namespace pass_test;

class MotionBlur : public RenderPass {
protected:
    void SetUp() override
    {
        RenderPass::SetUp();
        XViewDelete(view);
        view = MakeView(WIDTH, HEIGHT, true);
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->current, view->bufferA);
    }

    std::vector<uint16_t> Drawn() const
    {
        return std::vector<uint16_t>(view->bufferB, view->bufferB + size_t(WIDTH) * HEIGHT);
    }

    void FillShown(uint16_t pixel) { std::fill(view->current, view->current + size_t(WIDTH) * HEIGHT, pixel); }
};

// From black toward white: (15 × 31) >> 5 = 14, then (17 × 14 + 15 × 31) >> 5 = 21.
TEST_F(MotionBlur, EachFrameMovesTheShownPixelFifteenThirtySecondsTowardTheDrawnOne)
{
    scene->backgroundColour = 0x00FFFFFF;
    RenderNew();
    EXPECT_EQ(view->bufferB[0], 0x7FFF);
    EXPECT_EQ(Pixel(0, 0), Rgb15(14, 14, 14));
    Render();
    EXPECT_EQ(Pixel(0, 0), Rgb15(21, 21, 21));
}

TEST_F(MotionBlur, StillSceneConvergesToTheDrawnImageFromAbove)
{
    AddSquare("square", 0, 0, 100, 20, RED);
    ASSERT_EQ(AllocDrawLists(scene), 1);
    FillShown(0x7FFF);
    for (int i = 0; i < 16; ++i)
        Render();
    EXPECT_EQ(Shown(), Drawn());
    EXPECT_EQ(Pixel(160, 100), RED_PIXEL);
}

// Truncation stops the climb from below within two steps of each channel:
// 17x + 15d < 32(x + 1) once d − x ≤ 2. The shown frame then stays put.
TEST_F(MotionBlur, StillSceneSettlesWithinTwoStepsBelowTheDrawnImage)
{
    AddSquare("square", 0, 0, 100, 20, RED);
    ASSERT_EQ(AllocDrawLists(scene), 1);
    FillShown(0);
    for (int i = 0; i < 16; ++i)
        Render();
    const std::vector<uint16_t> settled = Shown();
    const std::vector<uint16_t> drawn = Drawn();
    for (size_t i = 0; i < drawn.size(); ++i) {
        for (int shift : {0, 5, 10}) {
            const int d = (drawn[i] >> shift) & 0x1F;
            const int x = (settled[i] >> shift) & 0x1F;
            ASSERT_LE(x, d) << "pixel " << i;
            ASSERT_GE(x, d - 2) << "pixel " << i;
        }
    }
    EXPECT_EQ(Pixel(160, 100), Rgb15(29, 0, 0));
    Render();
    EXPECT_EQ(Shown(), settled);
}

}  // namespace
