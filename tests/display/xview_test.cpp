#include "display/display.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// Every element of a width × height plane equals `value`.
template <typename T>
bool PlaneIs(const T* plane, int32_t width, int32_t height, T value)
{
    for (int64_t i = 0; i < int64_t(width) * height; ++i) {
        if (plane[i] != value)
            return false;
    }
    return true;
}

template <typename T>
void FillPlane(T* plane, int32_t width, int32_t height, T value)
{
    for (int64_t i = 0; i < int64_t(width) * height; ++i)
        plane[i] = value;
}

XView* Create(uintptr_t width, uintptr_t height, uintptr_t doubleBuffer)
{
    const TagItem tags[] = {
        {TAG_XVIEW_WIDTH, width},
        {TAG_XVIEW_HEIGHT, height},
        {TAG_XVIEW_DOUBLEBUFFER, doubleBuffer},
        {TAG_DONE, 0},
    };
    return XViewCreate(tags);
}

// The depth buffer and shadow mask as the render pass leaves them after use.
void AttachRenderPlanes(XView* view)
{
    view->depthBuffer = static_cast<float*>(MemAlloc(uint32_t(view->width * view->height), 4));
    view->shadowMask = static_cast<uint8_t*>(MemAlloc(uint32_t(view->width * view->height), 1));
    ASSERT_NE(view->depthBuffer, nullptr);
    ASSERT_NE(view->shadowMask, nullptr);
    FillPlane(view->depthBuffer, view->width, view->height, 1.5f);
    FillPlane<uint8_t>(view->shadowMask, view->width, view->height, 0xFF);
}

TEST(XViewCreate, MissingWidthOrHeightGivesNull)
{
    const TagItem noHeight[] = {{TAG_XVIEW_WIDTH, 320}, {TAG_DONE, 0}};
    const TagItem noWidth[] = {{TAG_XVIEW_HEIGHT, 200}, {TAG_DONE, 0}};
    const TagItem neither[] = {{TAG_XVIEW_DOUBLEBUFFER, 1}, {TAG_DONE, 0}};
    EXPECT_EQ(XViewCreate(noHeight), nullptr);
    EXPECT_EQ(XViewCreate(noWidth), nullptr);
    EXPECT_EQ(XViewCreate(neither), nullptr);
}

TEST(XViewCreate, NonPositiveOrOversizedDimensionsGiveNull)
{
    EXPECT_EQ(Create(0, 200, 0), nullptr);
    EXPECT_EQ(Create(320, 0, 0), nullptr);
    EXPECT_EQ(Create(uintptr_t(-320), 200, 0), nullptr);
    EXPECT_EQ(Create(65536, 65536, 0), nullptr);
}

TEST(XViewCreate, SingleBufferedByDefaultWithAZeroFrame)
{
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 320}, {TAG_XVIEW_HEIGHT, 200}, {TAG_DONE, 0}};
    XView* view = XViewCreate(tags);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->width, 320);
    EXPECT_EQ(view->height, 200);
    EXPECT_EQ(view->bytesPerPixel, 2);
    EXPECT_EQ(view->flags, 0u);
    ASSERT_NE(view->current, nullptr);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->current, 320, 200, 0));
    EXPECT_EQ(view->bufferA, nullptr);
    EXPECT_EQ(view->bufferB, nullptr);
    EXPECT_EQ(view->bufferC, nullptr);
    EXPECT_EQ(view->depthBuffer, nullptr);
    EXPECT_EQ(view->shadowMask, nullptr);
    XViewDelete(view);
}

TEST(XViewCreate, DoubleBufferedDrawsIntoTwoZeroFramesWithACurrent)
{
    XView* view = Create(64, 48, 1);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->flags, XVIEW_DOUBLEBUFFER);
    ASSERT_NE(view->bufferA, nullptr);
    ASSERT_NE(view->bufferB, nullptr);
    EXPECT_NE(view->bufferA, view->bufferB);
    EXPECT_EQ(view->current, view->bufferA);
    EXPECT_EQ(view->bufferC, nullptr);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferA, 64, 48, 0));
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferB, 64, 48, 0));
    XViewDelete(view);
}

TEST(XViewCreate, DoubleBufferFlagIsReadFromTheLow16Bits)
{
    struct Case {
        uintptr_t data;
        uint32_t flags;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {0x10000, 0}, {0x10001, 1}, {0x8000, 1}, {0xFFFF0000, 0}};
    for (const Case& c : cases) {
        XView* view = Create(16, 8, c.data);
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->flags, c.flags) << std::hex << c.data;
        EXPECT_EQ(view->bufferB != nullptr, c.flags == 1) << std::hex << c.data;
        XViewDelete(view);
    }
}

TEST(XViewCreate, ReadsTagsThroughTagMore)
{
    const TagItem tail[] = {{TAG_XVIEW_HEIGHT, 30}, {TAG_XVIEW_DOUBLEBUFFER, 1}, {TAG_DONE, 0}};
    const TagItem head[] = {{TAG_XVIEW_WIDTH, 40}, {TAG_XVIEW_RESERVED, 7}, {TAG_MORE, TagPtr(tail)}};
    XView* view = XViewCreate(head);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->width, 40);
    EXPECT_EQ(view->height, 30);
    EXPECT_EQ(view->flags, XVIEW_DOUBLEBUFFER);
    XViewDelete(view);
}

TEST(XViewSetAttrs, ResizeGivesZeroFramesOfTheNewSize)
{
    XView* view = Create(32, 20, 0);
    ASSERT_NE(view, nullptr);
    FillPlane<uint16_t>(view->current, 32, 20, 0x7FFF);
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 64}, {TAG_XVIEW_HEIGHT, 50}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->width, 64);
    EXPECT_EQ(view->height, 50);
    EXPECT_EQ(view->flags, 0u);
    ASSERT_NE(view->current, nullptr);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->current, 64, 50, 0));
    EXPECT_EQ(view->bufferA, nullptr);
    EXPECT_EQ(view->bufferB, nullptr);
    XViewDelete(view);
}

TEST(XViewSetAttrs, ResizeOfADoubleBufferedViewReplacesBothFrames)
{
    XView* view = Create(32, 20, 1);
    ASSERT_NE(view, nullptr);
    FillPlane<uint16_t>(view->bufferA, 32, 20, 0x7FFF);
    FillPlane<uint16_t>(view->bufferB, 32, 20, 0x7FFF);
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 48}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->width, 48);
    EXPECT_EQ(view->height, 20);
    EXPECT_EQ(view->flags, XVIEW_DOUBLEBUFFER);
    ASSERT_NE(view->bufferA, nullptr);
    ASSERT_NE(view->bufferB, nullptr);
    EXPECT_EQ(view->current, view->bufferA);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferA, 48, 20, 0));
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferB, 48, 20, 0));
    XViewDelete(view);
}

TEST(XViewSetAttrs, ResizeReallocatesAPresentDepthBufferAndShadowMaskZeroed)
{
    XView* view = Create(32, 20, 0);
    ASSERT_NE(view, nullptr);
    AttachRenderPlanes(view);
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 40}, {TAG_XVIEW_HEIGHT, 30}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    ASSERT_NE(view->depthBuffer, nullptr);
    ASSERT_NE(view->shadowMask, nullptr);
    EXPECT_TRUE(PlaneIs(view->depthBuffer, 40, 30, 0.0f));
    EXPECT_TRUE(PlaneIs<uint8_t>(view->shadowMask, 40, 30, 0));
    XViewDelete(view);
}

TEST(XViewSetAttrs, ResizeLeavesAbsentDepthBufferAndShadowMaskAbsent)
{
    XView* view = Create(32, 20, 0);
    ASSERT_NE(view, nullptr);
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 40}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->depthBuffer, nullptr);
    EXPECT_EQ(view->shadowMask, nullptr);
    XViewDelete(view);
}

TEST(XViewSetAttrs, AbsentTagsKeepSizeModeBuffersAndContents)
{
    XView* view = Create(32, 20, 1);
    ASSERT_NE(view, nullptr);
    AttachRenderPlanes(view);
    FillPlane<uint16_t>(view->bufferA, 32, 20, 0x1234);
    FillPlane<uint16_t>(view->bufferB, 32, 20, 0x4321);
    XView before;
    std::memcpy(&before, view, sizeof before);

    const TagItem empty[] = {{TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, empty), 1);
    EXPECT_EQ(std::memcmp(&before, view, sizeof before), 0);

    const TagItem sameSize[] = {{TAG_XVIEW_WIDTH, 32}, {TAG_XVIEW_HEIGHT, 20}, {TAG_XVIEW_RESERVED, 1}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, sameSize), 1);
    EXPECT_EQ(std::memcmp(&before, view, sizeof before), 0);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferA, 32, 20, 0x1234));
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferB, 32, 20, 0x4321));
    EXPECT_TRUE(PlaneIs(view->depthBuffer, 32, 20, 1.5f));
    EXPECT_TRUE(PlaneIs<uint8_t>(view->shadowMask, 32, 20, 0xFF));
    XViewDelete(view);
}

TEST(XViewSetAttrs, HeightAloneKeepsTheWidth)
{
    XView* view = Create(32, 20, 0);
    ASSERT_NE(view, nullptr);
    const TagItem tags[] = {{TAG_XVIEW_HEIGHT, 10}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->width, 32);
    EXPECT_EQ(view->height, 10);
    EXPECT_EQ(view->flags, 0u);
    XViewDelete(view);
}

TEST(XViewSetAttrs, DoubleToSingleKeepsBufferAAsTheCurrentFrame)
{
    XView* view = Create(32, 20, 1);
    ASSERT_NE(view, nullptr);
    uint16_t* frame = view->bufferA;
    FillPlane<uint16_t>(frame, 32, 20, 0x0421);
    view->bufferC = static_cast<uint16_t*>(MemAlloc(32 * 20, 2));
    const TagItem tags[] = {{TAG_XVIEW_DOUBLEBUFFER, 0}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->flags, 0u);
    EXPECT_EQ(view->current, frame);
    EXPECT_EQ(view->bufferA, nullptr);
    EXPECT_EQ(view->bufferB, nullptr);
    EXPECT_EQ(view->bufferC, nullptr);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->current, 32, 20, 0x0421));
    XViewDelete(view);
}

TEST(XViewSetAttrs, DoubleToSingleWithResizeGivesOneZeroFrameOfTheNewSize)
{
    XView* view = Create(32, 20, 1);
    ASSERT_NE(view, nullptr);
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 16}, {TAG_XVIEW_HEIGHT, 16}, {TAG_XVIEW_DOUBLEBUFFER, 0}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->flags, 0u);
    ASSERT_NE(view->current, nullptr);
    EXPECT_EQ(view->bufferA, nullptr);
    EXPECT_EQ(view->bufferB, nullptr);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->current, 16, 16, 0));
    XViewDelete(view);
}

TEST(XViewSetAttrs, SingleToDoubleKeepsTheFrameAsBufferA)
{
    XView* view = Create(32, 20, 0);
    ASSERT_NE(view, nullptr);
    uint16_t* frame = view->current;
    FillPlane<uint16_t>(frame, 32, 20, 0x7C1F);
    const TagItem tags[] = {{TAG_XVIEW_DOUBLEBUFFER, 1}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->flags, XVIEW_DOUBLEBUFFER);
    EXPECT_EQ(view->bufferA, frame);
    EXPECT_EQ(view->current, frame);
    ASSERT_NE(view->bufferB, nullptr);
    EXPECT_NE(view->bufferB, frame);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferA, 32, 20, 0x7C1F));
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferB, 32, 20, 0));
    XViewDelete(view);
}

TEST(XViewSetAttrs, SingleToDoubleWithResizeGivesTwoZeroFramesOfTheNewSize)
{
    XView* view = Create(32, 20, 0);
    ASSERT_NE(view, nullptr);
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 24}, {TAG_XVIEW_DOUBLEBUFFER, 1}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, tags), 1);
    EXPECT_EQ(view->flags, XVIEW_DOUBLEBUFFER);
    ASSERT_NE(view->bufferA, nullptr);
    ASSERT_NE(view->bufferB, nullptr);
    EXPECT_EQ(view->current, view->bufferA);
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferA, 24, 20, 0));
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferB, 24, 20, 0));
    XViewDelete(view);
}

TEST(XViewSetAttrs, DoubleBufferFlagIsReadFromTheLow16Bits)
{
    XView* view = Create(16, 8, 1);
    ASSERT_NE(view, nullptr);
    const TagItem highOnly[] = {{TAG_XVIEW_DOUBLEBUFFER, 0x10000}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, highOnly), 1);
    EXPECT_EQ(view->flags, 0u);
    const TagItem lowBit[] = {{TAG_XVIEW_DOUBLEBUFFER, 0x10001}, {TAG_DONE, 0}};
    ASSERT_EQ(XViewSetAttrs(view, lowBit), 1);
    EXPECT_EQ(view->flags, XVIEW_DOUBLEBUFFER);
    XViewDelete(view);
}

TEST(XViewSetAttrs, InvalidSizeFailsAndLeavesTheViewUnchanged)
{
    XView* view = Create(32, 20, 1);
    ASSERT_NE(view, nullptr);
    AttachRenderPlanes(view);
    FillPlane<uint16_t>(view->bufferA, 32, 20, 0x1111);
    XView before;
    std::memcpy(&before, view, sizeof before);

    const TagItem zeroWidth[] = {{TAG_XVIEW_WIDTH, 0}, {TAG_XVIEW_DOUBLEBUFFER, 0}, {TAG_DONE, 0}};
    const TagItem negativeHeight[] = {{TAG_XVIEW_HEIGHT, uintptr_t(-5)}, {TAG_DONE, 0}};
    const TagItem oversized[] = {{TAG_XVIEW_WIDTH, 65536}, {TAG_XVIEW_HEIGHT, 65536}, {TAG_DONE, 0}};
    for (const TagItem* tags : {zeroWidth, negativeHeight, oversized}) {
        EXPECT_EQ(XViewSetAttrs(view, tags), 0);
        EXPECT_EQ(std::memcmp(&before, view, sizeof before), 0);
    }
    EXPECT_TRUE(PlaneIs<uint16_t>(view->bufferA, 32, 20, 0x1111));
    EXPECT_TRUE(PlaneIs(view->depthBuffer, 32, 20, 1.5f));
    XViewDelete(view);
}

TEST(XViewSetAttrs, NullViewFails)
{
    const TagItem tags[] = {{TAG_XVIEW_WIDTH, 32}, {TAG_DONE, 0}};
    EXPECT_EQ(XViewSetAttrs(nullptr, tags), 0);
}

// Deleting frees every plane the view owns, the third buffer slot included;
// the leak checker of the sanitizer build sees any that stays behind.
TEST(XViewDelete, FreesEveryOwnedPlane)
{
    XView* view = Create(16, 8, 1);
    ASSERT_NE(view, nullptr);
    AttachRenderPlanes(view);
    view->bufferC = static_cast<uint16_t*>(MemAlloc(16 * 8, 2));
    XViewDelete(view);
}

TEST(XViewDelete, NullIsAccepted)
{
    XViewDelete(nullptr);
}

}  // namespace
