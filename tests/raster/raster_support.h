// Frames, objects, textures and random corners for the rasteriser tests: a
// 320 × 200 target with guard rows above and below, frame constants for a
// 90° camera, objects and light volumes from engine memory, textures of
// random 15-bit texels with grey maps and mip levels, and random screen
// triangles.
#pragma once

#include "core/core.h"
#include "core/settings.h"
#include "render/raster.h"
#include "render/render.h"
#include "scene/material.h"
#include "scene/scene.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

using namespace kvor3d;

namespace raster_test {

constexpr int32_t WIDTH = 320;
constexpr int32_t HEIGHT = 200;
constexpr int32_t GUARD_ROWS = 8;
constexpr uint16_t GUARD_PIXEL = 0xA5A5;
constexpr uint16_t UNWRITTEN = 0x8000;  // fillers write 15-bit pixels only

// The frame buffer drawn into, with guard rows on both sides that must stay
// untouched.
class TestFrame {
public:
    explicit TestFrame(int32_t width = WIDTH, int32_t height = HEIGHT)
        : width_(width), store_(size_t(width) * (height + 2 * GUARD_ROWS), GUARD_PIXEL), size_(size_t(width) * height)
    {
        std::fill(Pixels(), Pixels() + size_, UNWRITTEN);
    }
    uint16_t* Pixels() { return store_.data() + size_t(GUARD_ROWS) * width_; }
    const uint16_t* Pixels() const { return store_.data() + size_t(GUARD_ROWS) * width_; }
    size_t Size() const { return size_; }
    std::vector<uint16_t> Copy() const { return std::vector<uint16_t>(Pixels(), Pixels() + size_); }
    bool GuardsIntact() const
    {
        const size_t guard = size_t(GUARD_ROWS) * width_;
        for (size_t i = 0; i < guard; ++i) {
            if (store_[i] != GUARD_PIXEL || store_[store_.size() - 1 - i] != GUARD_PIXEL)
                return false;
        }
        return true;
    }

private:
    int32_t width_;
    std::vector<uint16_t> store_;
    size_t size_;
};

// Frame constants of a 90° camera on a width × height view drawing into
// `target`: near plane 1, far plane 10000, main phase, fog off.
inline void SetUpFrame(uint16_t* target, int32_t width = WIDTH, int32_t height = HEIGHT)
{
    FrameConstants& f = Frame;
    f = FrameConstants{};
    f.width = width;
    f.height = height;
    f.centreX = width >> 1;
    f.centreY = height >> 1;
    f.fieldOfView = 90.0f;
    f.focal = FocalLength(width, 90.0f);
    f.nearZ = 1.0f;
    f.farZ = 10000.0f;
    f.nearScale = f.focal / f.nearZ;
    f.farScale = f.focal / f.farZ;
    f.target = target;
    f.renderPhase = PHASE_MAIN;
}

struct EntityDeleter {
    void operator()(Entity* entity) const { FreeEntity(nullptr, entity); }
};
struct TextureDeleter {
    void operator()(Texture* texture) const { FreeTexture(texture); }
};
using ObjectPtr = std::unique_ptr<ObjectEntity, EntityDeleter>;
using VolumePtr = std::unique_ptr<VolumeEntity, EntityDeleter>;
using TexturePtr = std::unique_ptr<Texture, TextureDeleter>;

inline ObjectPtr MakeObject(uint32_t flags, uint32_t colour = 0xFF808080)
{
    ObjectPtr object(ObjectOf(AllocEntity(ENTITY_OBJECT)));
    object->objectFlags = flags;
    object->colour = colour;
    return object;
}

// A light volume of 2^shiftX × 2^shiftY × 2^shiftZ voxels of random
// density, with the stack texturing words of its z stack.
inline VolumePtr MakeVolume(uint32_t colour, uint32_t shiftX, uint32_t shiftY, uint32_t shiftZ, uint32_t seed)
{
    VolumePtr volume(static_cast<VolumeEntity*>(AllocEntity(ENTITY_VOLUME)));
    volume->objectFlags = OBJECT_GLOW | OBJECT_DOUBLESIDED;
    volume->volumeColour = colour;
    const uint32_t shifts[3] = {shiftX, shiftY, shiftZ};
    for (int i = 0; i < 3; ++i) {
        volume->shifts[i] = shifts[i];
        volume->counts[i] = 1u << shifts[i];
        volume->masks[i] = volume->counts[i] - 1;
    }
    const uint32_t cells = volume->counts[0] * volume->counts[1] * volume->counts[2];
    volume->densityVoxels = static_cast<uint8_t*>(MemAlloc(cells, 1));
    std::mt19937 random(seed);
    for (uint32_t i = 0; i < cells; ++i)
        volume->densityVoxels[i] = uint8_t(random());
    volume->volumeFlags = VOLUME_DENSITYVOXELS;
    volume->uShift = 16 - shiftX;
    volume->vShift = 16;
    volume->uMask = volume->masks[1] << shiftX;
    volume->vMask = volume->masks[0];
    return volume;
}

// A 2^widthShift × 2^heightShift texture of random 15-bit texels, with a
// grey map and all mip levels.
inline TexturePtr MakeTexture(uint32_t widthShift, uint32_t heightShift, uint32_t seed, bool mips = true)
{
    TexturePtr texture(static_cast<Texture*>(MemAlloc(1, sizeof(Texture))));
    texture->width = 1u << widthShift;
    texture->height = 1u << heightShift;
    texture->widthShift = widthShift;
    texture->heightShift = heightShift;
    texture->widthMask = texture->width - 1;
    texture->heightMask = texture->height - 1;
    texture->bytesPerPixel = 2;
    texture->textureFlags = TEXTURE_POWEROFTWO;
    auto* pixels = static_cast<uint16_t*>(MemAlloc(texture->width * texture->height, 2));
    std::mt19937 random(seed);
    for (uint32_t i = 0; i < texture->width * texture->height; ++i)
        pixels[i] = uint16_t(random() & 0x7FFF);
    texture->pixels = pixels;
    SetPixelMode(1);
    EXPECT_EQ(BuildGreyMap(texture.get()), 1);
    EXPECT_EQ(!mips || PrepareMipLevels(texture.get(), TEXTURE_DEFAULT_MIPLEVELS) == 1, true);
    return texture;
}

// A corner on the screen with every value a filler reads.
struct CornerValues {
    float x, y;
    float z = 10.0f;
    float u = 0.0f, v = 0.0f;
    float envRow = 0.0f, envColumn = 0.0f;
    uint32_t lit = 0x00FFFFFF;
};

inline Vertex MakeVertex(const CornerValues& c)
{
    Vertex vertex{};
    vertex.screenX = c.x;
    vertex.screenY = c.y;
    vertex.camera[2] = c.z;
    vertex.mapU = c.u;
    vertex.mapV = c.v;
    vertex.envRow = c.envRow;
    vertex.envColumn = c.envColumn;
    vertex.litColour = c.lit;
    return vertex;
}

// Three corners and the triangle record over them.
struct Triangle {
    Vertex corners[3];
    TriangleRef ref;

    Triangle(const CornerValues& a, const CornerValues& b, const CornerValues& c, const Entity* owner)
        : corners{MakeVertex(a), MakeVertex(b), MakeVertex(c)}, ref{{&corners[0], &corners[1], &corners[2]}, owner, 0, 1}
    {
    }
    Triangle(const Triangle&) = delete;
    Triangle& operator=(const Triangle&) = delete;
};

using CornerSet = std::array<CornerValues, 3>;

// Random screen triangles (corners on the screen, as after the clipper) in
// sizes from a pixel to the whole screen, with the layouts that catch
// faults: corners on whole rows and columns, half-pixel positions, and
// horizontal top or bottom edges.
class TriangleSource {
public:
    explicit TriangleSource(uint32_t seed) : random_(seed) {}

    CornerSet Next()
    {
        const float size = Chance(8) ? Uniform(100.0f, 400.0f) : Uniform(1.0f, 60.0f);
        const float cx = Uniform(0.0f, float(WIDTH - 1)), cy = Uniform(0.0f, float(HEIGHT - 1));
        const float texelsPerPixel = Chance(2) ? Uniform(0.1f, 1.5f) : Uniform(1.5f, 9.0f);
        const float u0 = Uniform(-200.0f, 200.0f), v0 = Uniform(-200.0f, 200.0f);
        CornerSet corners;
        for (CornerValues& c : corners) {
            c.x = Clamp(cx + Uniform(-size, size), WIDTH - 1);
            c.y = Clamp(cy + Uniform(-size, size), HEIGHT - 1);
            const uint32_t layout = random_() % 6;
            if (layout < 2) {
                const float half = layout ? 0.5f : 0.0f;
                c.x = Clamp(float(int32_t(c.x)) + half, WIDTH - 1);
                c.y = Clamp(float(int32_t(c.y)) + half, HEIGHT - 1);
            }
            c.z = Uniform(1.0f, 100.0f);
            c.u = u0 + (c.x - cx) * texelsPerPixel * Uniform(0.5f, 1.0f);
            c.v = v0 + (c.y - cy) * texelsPerPixel * Uniform(-1.0f, 1.0f);
            c.envRow = Uniform(-300.0f, 300.0f);
            c.envColumn = Uniform(-300.0f, 300.0f);
            c.lit = uint32_t(random_()) & 0x00FFFFFF;
        }
        if (Chance(6))
            corners[1].y = corners[0].y;  // a horizontal edge at the top or bottom
        if (Chance(12))
            corners[2].y = corners[1].y;
        return corners;
    }

private:
    float Uniform(float low, float high) { return std::uniform_real_distribution<float>(low, high)(random_); }
    bool Chance(uint32_t oneIn) { return random_() % oneIn == 0; }
    static float Clamp(float value, int32_t last) { return std::min(std::max(value, 0.0f), float(last)); }

    std::mt19937 random_;
};

}  // namespace raster_test
