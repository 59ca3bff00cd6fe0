// Random screen triangles for the rasteriser tests: corners on the screen
// (as after the clipper) with every value a filler reads, in sizes from a
// pixel to the whole screen, with the special layouts that catch faults:
// corners on whole rows and columns, half-pixel positions, and horizontal
// top or bottom edges.
#pragma once

#include "raster/raster_support.h"

#include <array>
#include <random>
#include <vector>

namespace raster_test {

using CornerSet = std::array<CornerValues, 3>;

class TriangleSource {
public:
    explicit TriangleSource(uint32_t seed, int32_t width = WIDTH, int32_t height = HEIGHT)
        : random_(seed), width_(width), height_(height)
    {
    }

    float Uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }
    uint32_t Bits() { return uint32_t(random_()); }
    bool Chance(uint32_t oneIn) { return random_() % oneIn == 0; }

    CornerSet Next()
    {
        const float size = Chance(8) ? Uniform(100.0f, 400.0f) : Uniform(1.0f, 60.0f);
        const float cx = Uniform(0.0f, float(width_ - 1));
        const float cy = Uniform(0.0f, float(height_ - 1));
        const float texelsPerPixel = Chance(2) ? Uniform(0.1f, 1.5f) : Uniform(1.5f, 9.0f);
        const float u0 = Uniform(-200.0f, 200.0f);
        const float v0 = Uniform(-200.0f, 200.0f);
        CornerSet corners;
        for (CornerValues& c : corners) {
            c.x = Clamp(cx + Uniform(-size, size), width_ - 1);
            c.y = Clamp(cy + Uniform(-size, size), height_ - 1);
            switch (random_() % 6) {
            case 0:
                c.x = float(int32_t(c.x));
                c.y = float(int32_t(c.y));
                break;
            case 1:
                c.x = float(int32_t(c.x)) + 0.5f;
                c.y = float(int32_t(c.y)) + 0.5f;
                break;
            default:
                break;
            }
            c.x = Clamp(c.x, width_ - 1);
            c.y = Clamp(c.y, height_ - 1);
            c.z = Uniform(1.0f, 100.0f);
            c.u = u0 + (c.x - cx) * texelsPerPixel * Uniform(0.5f, 1.0f);
            c.v = v0 + (c.y - cy) * texelsPerPixel * Uniform(-1.0f, 1.0f);
            c.envRow = Uniform(-300.0f, 300.0f);
            c.envColumn = Uniform(-300.0f, 300.0f);
            c.lit = Bits() & 0x00FFFFFF;
        }
        if (Chance(6))
            corners[1].y = corners[0].y;  // a horizontal edge at the top or bottom
        if (Chance(12))
            corners[2].y = corners[1].y;
        return corners;
    }

private:
    static float Clamp(float value, int32_t last) { return std::min(std::max(value, 0.0f), float(last)); }

    std::mt19937 random_;
    int32_t width_;
    int32_t height_;
};

}  // namespace raster_test
