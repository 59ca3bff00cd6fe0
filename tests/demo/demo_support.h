// Frames and pictures for the show's tests: a 320 × 200 frame buffer of
// its own, and 15-bit pixels by channel.
#pragma once

#include "effects.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

// A 320 × 200 view without a window, freed with the object.
class TestFrame {
public:
    TestFrame()
    {
        SetPixelMode(1);
        const TagItem tags[] = {{TAG_XVIEW_WIDTH, SCREEN_WIDTH}, {TAG_XVIEW_HEIGHT, SCREEN_HEIGHT}, {TAG_DONE, 0}};
        view = XViewCreate(tags);
    }
    ~TestFrame() { XViewDelete(view); }
    TestFrame(const TestFrame&) = delete;
    TestFrame& operator=(const TestFrame&) = delete;

    XView* View() const { return view; }
    uint16_t& At(int x, int y) { return view->current[y * SCREEN_WIDTH + x]; }
    void Fill(uint16_t value) { std::fill_n(view->current, SCREEN_PIXELS, value); }
    std::vector<uint16_t> Pixels() const { return std::vector<uint16_t>(view->current, view->current + SCREEN_PIXELS); }

private:
    XView* view = nullptr;
};

constexpr uint16_t WHITE = 0x7FFF;
constexpr uint16_t PURE_RED = 0x7C00;

// Number of pixels in `pixels` equal to `value`.
inline size_t CountOf(const std::vector<uint16_t>& pixels, uint16_t value)
{
    return size_t(std::count(pixels.begin(), pixels.end(), value));
}
