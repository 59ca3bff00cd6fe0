#include "display/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace {

constexpr uintptr_t NONE = ~uintptr_t(0);

template <typename T>
bool PlaneIs(const T* plane, int32_t width, int32_t height, T value)
{
    return plane && std::all_of(plane, plane + int64_t(width) * height, [&](T v) { return v == value; });
}

XView* Create(uintptr_t width, uintptr_t height, uintptr_t doubleBuffer)
{
    TagItem tags[4] = {};
    int n = 0;
    if (width != NONE)
        tags[n++] = {TAG_XVIEW_WIDTH, width};
    if (height != NONE)
        tags[n++] = {TAG_XVIEW_HEIGHT, height};
    if (doubleBuffer != NONE)
        tags[n++] = {TAG_XVIEW_DOUBLEBUFFER, doubleBuffer};
    tags[n] = {TAG_DONE, 0};
    return XViewCreate(tags);
}

// Missing or bad sizes give null; the double-buffer flag is the tag's low
// 16 bits; fresh frames are zero, and a double-buffered view shows buffer A.
TEST(XViewCreate, SizesAndBuffering)
{
    struct Row {
        uintptr_t width, height, doubleBuffer;
        bool created;
        uint32_t flags;
    };
    const Row rows[] = {{320, NONE, 0, false, 0},  {NONE, 200, 0, false, 0},      {0, 200, 0, false, 0},
                        {320, 0, 0, false, 0},     {uintptr_t(-320), 200, 0, false, 0}, {65536, 65536, 0, false, 0},
                        {320, 200, NONE, true, 0}, {64, 48, 1, true, 1},          {16, 8, 0x10000, true, 0},
                        {16, 8, 0x10001, true, 1}, {16, 8, 0x8000, true, 1},      {16, 8, 0xFFFF0000, true, 0}};
    for (const Row& r : rows) {
        XView* view = Create(r.width, r.height, r.doubleBuffer);
        ASSERT_EQ(view != nullptr, r.created) << r.width << "x" << r.height << " " << r.doubleBuffer;
        if (!view)
            continue;
        const int32_t w = int32_t(r.width), h = int32_t(r.height);
        EXPECT_EQ(view->width, w);
        EXPECT_EQ(view->bytesPerPixel, 2);
        EXPECT_EQ(view->flags, r.flags);
        EXPECT_TRUE(PlaneIs<uint16_t>(view->current, w, h, 0));
        EXPECT_EQ(view->bufferA, r.flags ? view->current : nullptr);
        EXPECT_EQ(view->bufferB != nullptr, r.flags == 1);
        EXPECT_TRUE(!r.flags || PlaneIs<uint16_t>(view->bufferB, w, h, 0));
        EXPECT_NE(view->bufferB, view->current);
        EXPECT_EQ(view->depthBuffer, nullptr);
        XViewDelete(view);
    }
    const TagItem tail[] = {{TAG_XVIEW_HEIGHT, 30}, {TAG_XVIEW_DOUBLEBUFFER, 1}, {TAG_DONE, 0}};
    const TagItem head[] = {{TAG_XVIEW_WIDTH, 40}, {TAG_XVIEW_RESERVED, 7}, {TAG_MORE, TagPtr(tail)}};
    XView* view = XViewCreate(head);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->height, 30);
    EXPECT_EQ(view->flags, XVIEW_DOUBLEBUFFER);
    XViewDelete(view);
}

// Every change of size and buffering from a 32 × 20 view whose frames hold
// 0x1234 (A or the single frame) and 0x4321 (B), with or without the render
// pass's depth buffer (1.5) and shadow mask (0xFF). A resize gives zero
// frames and zero render planes where they were present; a failed call
// changes nothing.
TEST(XViewSetAttrs, Transitions)
{
    enum Planes { ABSENT, KEPT, ZEROED };
    struct Row {
        bool startDouble, renderPlanes;
        uintptr_t width, height, doubleBuffer;
        int ok;
        int32_t w, h;
        bool isDouble;
        uint16_t current;  // every pixel of the current frame
        int second;        // every pixel of buffer B, −1 when absent
        Planes planes;
    };
    const Row rows[] = {
        {false, false, 64, 50, NONE, 1, 64, 50, false, 0, -1, ABSENT},              // resize
        {true, false, 48, NONE, NONE, 1, 48, 20, true, 0, 0, ABSENT},               // resize both frames
        {false, true, 40, 30, NONE, 1, 40, 30, false, 0, -1, ZEROED},
        {true, true, NONE, NONE, NONE, 1, 32, 20, true, 0x1234, 0x4321, KEPT},      // no tags
        {true, true, 32, 20, NONE, 1, 32, 20, true, 0x1234, 0x4321, KEPT},          // same size
        {false, false, NONE, 24, NONE, 1, 32, 24, false, 0, -1, ABSENT},            // height alone
        {true, true, NONE, NONE, 0, 1, 32, 20, false, 0x1234, -1, KEPT},            // double to single
        {true, false, 16, 10, 0, 1, 16, 10, false, 0, -1, ABSENT},                  // and resize
        {false, true, NONE, NONE, 1, 1, 32, 20, true, 0x1234, 0, KEPT},             // single to double
        {false, false, 24, 12, 1, 1, 24, 12, true, 0, 0, ABSENT},                   // and resize
        {false, false, NONE, NONE, 0x10000, 1, 32, 20, false, 0x1234, -1, ABSENT},  // low 16 bits
        {false, false, NONE, NONE, 0x8000, 1, 32, 20, true, 0x1234, 0, ABSENT},
        {true, true, 0, NONE, 0, 0, 32, 20, true, 0x1234, 0x4321, KEPT},            // invalid sizes
        {false, false, 65536, 65536, NONE, 0, 32, 20, false, 0x1234, -1, ABSENT},
        {false, false, uintptr_t(-5), NONE, 1, 0, 32, 20, false, 0x1234, -1, ABSENT},
    };
    for (size_t i = 0; i < std::size(rows); ++i) {
        const Row& r = rows[i];
        XView* view = Create(32, 20, r.startDouble);
        ASSERT_NE(view, nullptr);
        std::fill_n(view->current, 640, uint16_t(0x1234));
        if (view->bufferB)
            std::fill_n(view->bufferB, 640, uint16_t(0x4321));
        if (r.renderPlanes) {
            view->depthBuffer = static_cast<float*>(MemAlloc(640, 4));
            view->shadowMask = static_cast<uint8_t*>(MemAlloc(640, 1));
            std::fill_n(view->depthBuffer, 640, 1.5f);
            std::fill_n(view->shadowMask, 640, uint8_t(0xFF));
        }
        TagItem tags[4] = {};
        int n = 0;
        if (r.width != NONE)
            tags[n++] = {TAG_XVIEW_WIDTH, r.width};
        if (r.height != NONE)
            tags[n++] = {TAG_XVIEW_HEIGHT, r.height};
        if (r.doubleBuffer != NONE)
            tags[n++] = {TAG_XVIEW_DOUBLEBUFFER, r.doubleBuffer};
        tags[n] = {TAG_DONE, 0};
        EXPECT_EQ(XViewSetAttrs(view, tags), r.ok) << "row " << i;
        EXPECT_EQ(view->width, r.w) << "row " << i;
        EXPECT_EQ(view->height, r.h) << "row " << i;
        EXPECT_EQ(view->flags, r.isDouble ? XVIEW_DOUBLEBUFFER : 0u) << "row " << i;
        EXPECT_TRUE(PlaneIs(view->current, r.w, r.h, r.current)) << "row " << i;
        EXPECT_EQ(view->bufferA, r.isDouble ? view->current : nullptr) << "row " << i;
        EXPECT_EQ(view->bufferC, nullptr) << "row " << i;
        if (r.second < 0)
            EXPECT_EQ(view->bufferB, nullptr) << "row " << i;
        else
            EXPECT_TRUE(view->bufferB != view->current && PlaneIs(view->bufferB, r.w, r.h, uint16_t(r.second))) << "row " << i;
        if (r.planes == ABSENT)
            EXPECT_EQ(view->depthBuffer, nullptr) << "row " << i;
        else
            EXPECT_TRUE(PlaneIs(view->depthBuffer, r.w, r.h, r.planes == KEPT ? 1.5f : 0.0f) &&
                        PlaneIs(view->shadowMask, r.w, r.h, uint8_t(r.planes == KEPT ? 0xFF : 0))) << "row " << i;
        XViewDelete(view);
    }
    EXPECT_EQ(XViewSetAttrs(nullptr, nullptr), 0);
}

}  // namespace
