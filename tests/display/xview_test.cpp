#include "display/display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

using namespace kvor3d;

namespace {

constexpr uintptr_t NONE = ~uintptr_t(0);

template <typename T>
bool PlaneIs(const T* plane, int32_t width, int32_t height, T value)
{
    return plane && std::all_of(plane, plane + int64_t(width) * height, [&](T v) { return v == value; });
}

// The size and buffering tags that are not NONE.
std::vector<TagItem> Tags(uintptr_t width, uintptr_t height, uintptr_t doubleBuffer)
{
    std::vector<TagItem> tags;
    for (TagItem tag : {TagItem{TAG_XVIEW_WIDTH, width}, {TAG_XVIEW_HEIGHT, height}, {TAG_XVIEW_DOUBLEBUFFER, doubleBuffer}})
        if (tag.data != NONE)
            tags.push_back(tag);
    tags.push_back({TAG_DONE, 0});
    return tags;
}

XView* Create(uintptr_t width, uintptr_t height, uintptr_t doubleBuffer)
{
    return XViewCreate(Tags(width, height, doubleBuffer).data());
}

// Missing or bad sizes give null; the double-buffer flag is the tag's low
// 16 bits; fresh frames are zero, and a double-buffered view shows buffer A.
TEST(XViewCreate, SizesAndBuffering)
{
    struct Row {
        uintptr_t width, height, doubleBuffer;
        int flags;  // −1: no view
    };
    const Row rows[] = {{320, NONE, 0, -1}, {NONE, 200, 0, -1}, {0, 200, 0, -1}, {uintptr_t(-320), 200, 0, -1},
                        {65536, 65536, 0, -1}, {320, 200, NONE, 0}, {64, 48, 1, 1}, {16, 8, 0x10000, 0},
                        {16, 8, 0x8000, 1}, {16, 8, 0xFFFF0000, 0}};
    for (const Row& r : rows) {
        XView* view = Create(r.width, r.height, r.doubleBuffer);
        ASSERT_EQ(view ? int(view->flags) : -1, r.flags) << r.width << "x" << r.height << " " << r.doubleBuffer;
        if (!view)
            continue;
        EXPECT_EQ(view->width * view->height * view->bytesPerPixel, int32_t(r.width * r.height * 2));
        EXPECT_TRUE(PlaneIs<uint16_t>(view->current, view->width, view->height, 0));
        EXPECT_EQ(view->bufferA, r.flags ? view->current : nullptr);
        EXPECT_TRUE(r.flags ? PlaneIs<uint16_t>(view->bufferB, view->width, view->height, 0) : !view->bufferB);
        EXPECT_NE(view->bufferB, view->current);
        XViewDelete(view);
    }
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
        const std::vector<TagItem> tags = Tags(r.width, r.height, r.doubleBuffer);
        SCOPED_TRACE(i);
        EXPECT_EQ(XViewSetAttrs(view, tags.data()), r.ok);
        EXPECT_EQ(view->width * 100000 + view->height * 10 + int(view->flags), r.w * 100000 + r.h * 10 + r.isDouble);
        EXPECT_TRUE(PlaneIs(view->current, r.w, r.h, r.current));
        EXPECT_EQ(view->bufferA, r.isDouble ? view->current : nullptr);
        EXPECT_TRUE(r.second < 0 ? !view->bufferB : view->bufferB != view->current && PlaneIs(view->bufferB, r.w, r.h, uint16_t(r.second)));
        EXPECT_TRUE(r.planes == ABSENT ? !view->depthBuffer && !view->shadowMask
                                       : PlaneIs(view->depthBuffer, r.w, r.h, r.planes == KEPT ? 1.5f : 0.0f) &&
                                             PlaneIs(view->shadowMask, r.w, r.h, uint8_t(r.planes == KEPT ? 0xFF : 0)));
        XViewDelete(view);
    }
    EXPECT_EQ(XViewSetAttrs(nullptr, nullptr), 0);
}

}  // namespace
