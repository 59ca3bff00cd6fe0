// Motion blur: a double-buffered view draws into buffer B and moves the
// shown buffer A 15/32 of the way toward it.
#include "renderpass/pass_support.h"

using namespace kvor3d;

namespace {

using MotionBlur = pass_test::RenderPass;

// From black toward white: (15 × 31) >> 5 = 14, then (17 × 14 + 15 × 31) >> 5 = 21.
TEST_F(MotionBlur, EachFrameMovesTheShownPixelFifteenThirtySecondsTowardTheDrawnOne)
{
    XViewDelete(view);
    view = pass_test::MakeView(320, 200, true);
    ASSERT_EQ(view->current, view->bufferA);
    scene->backgroundColour = 0x00FFFFFF;
    ASSERT_EQ(AllocDrawLists(scene), 1);
    Render();
    EXPECT_EQ(view->bufferB[0], 0x7FFF);
    EXPECT_EQ(Pixel(0, 0), 14 * 0x0421);
    Render();
    EXPECT_EQ(Pixel(0, 0), 21 * 0x0421);
}

}  // namespace
