// Glow: each glowing object's sprite, resampled from the radial table to a
// size that follows its distance; the glow pass over its faces, which
// stamps the sprite into the object's glow buffer along its silhouette; and
// the blend that paints each glow buffer over the frame in its colour.
#include "core/tables.h"
#include "render/stages.h"

#include <immintrin.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace kvor3d {

namespace {

constexpr uint32_t GLOW_SPRITE_BYTES = 65536;
constexpr int32_t GLOW_SPRITE_MAX = 255;
constexpr uint32_t RADIAL_SIDE = 256;

// An empty bounding box: any point widens it.
constexpr int32_t BOX_EMPTY_LOW = 32767;
constexpr int32_t BOX_EMPTY_HIGH = -32768;

// n = int(g0 × (focal / z) × 256) with z the object's camera depth, made odd
// and at most 255. An object at or behind the camera, whose faces can still
// reach the screen, gets the smallest sprite, 1.
int32_t GlowSpriteSize(const ObjectEntity& object)
{
    const float z = object.matrix[14];
    int32_t n = TruncToInt(object.glow[0] * (Frame.focal / z) * 256.0f);
    if (n % 2 == 0)
        n += 1;
    return std::max(std::min(n, GLOW_SPRITE_MAX), 1);
}

// One channel of the blend: (d × (255 − a) + c × a′) >> 8, kept within the
// channel's five bits (a negative g1 can only darken to 0).
uint32_t BlendChannel(int64_t d, int64_t c, int64_t a, int64_t weighted)
{
    const int64_t value = (d * (255 - a) + c * weighted) >> 8;
    return uint32_t(std::clamp<int64_t>(value, 0, 31));
}

// a′ = int(a × g1) in 64 bits; beyond ±2^40 every channel saturates anyway.
int64_t WeightedAlpha(uint32_t a, float g1)
{
    constexpr double LIMIT = 1099511627776.0;
    const double value = double(float(a) * g1);
    if (!(value == value))
        return 0;
    return int64_t(std::clamp(value, -LIMIT, LIMIT));
}

// The frame pixel d under weight a (not 0) of a buffer whose colour has the
// five-bit channels rgb.
uint16_t BlendPixel(uint32_t d, uint32_t a, int64_t weighted, const int64_t rgb[3])
{
    return uint16_t((BlendChannel((d >> 10) & 0x1F, rgb[0], a, weighted) << 10) |
                    (BlendChannel((d >> 5) & 0x1F, rgb[1], a, weighted) << 5) |
                    BlendChannel(d & 0x1F, rgb[2], a, weighted));
}

// `count` pixels of a row, eight weights read at once where they may all
// be 0.
void BlendRow(const uint8_t* alphas, uint16_t* row, int64_t count, const int64_t* weights, const int64_t rgb[3])
{
    for (int64_t x = 0; x < count; ++x) {
        if (x + 8 <= count) {
            uint64_t eight;
            std::memcpy(&eight, alphas + x, sizeof eight);
            if (eight == 0) {
                x += 7;
                continue;
            }
        }
        if (const uint32_t a = alphas[x])
            row[x] = BlendPixel(row[x], a, weights[a], rgb);
    }
}

// With every |a′| below 2^26 a channel's sum d × (255 − a) + c × a′ stays
// within 32 bits, and eight pixels are blended side by side.
constexpr int64_t LANE_WEIGHT_LIMIT = int64_t(1) << 26;

using BlendLanes = int32_t __attribute__((vector_size(32)));

template <int SHIFT>
__attribute__((target("avx2"))) inline BlendLanes BlendChannelLanes(BlendLanes d, BlendLanes keep, int32_t c,
                                                                    BlendLanes weighted)
{
    const BlendLanes value = (((d >> SHIFT) & 0x1F) * keep + c * weighted) >> 8;
    const BlendLanes low = value < 0 ? BlendLanes{} : value;
    return (low > 0x1F ? BlendLanes{} + 0x1F : low) << SHIFT;
}

// BlendRow eight pixels at a time with AVX2: a′ gathered from `weights`,
// pixels whose weight is 0 stored as they were read; the last count mod 8
// one by one.
__attribute__((target("avx2"))) void BlendRowWide(const uint8_t* alphas, uint16_t* row, int64_t count,
                                                  const int32_t* weights, const int64_t* wideWeights,
                                                  const int64_t rgb[3])
{
    int64_t x = 0;
    for (; x + 8 <= count; x += 8) {
        const __m128i eight = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(alphas + x));
        if (_mm_testz_si128(eight, eight))
            continue;
        const BlendLanes a = BlendLanes(_mm256_cvtepu8_epi32(eight));
        const BlendLanes weighted = BlendLanes(_mm256_i32gather_epi32(weights, __m256i(a), 4));
        __m128i* at = reinterpret_cast<__m128i*>(row + x);
        const BlendLanes d = BlendLanes(_mm256_cvtepu16_epi32(_mm_loadu_si128(at)));
        const BlendLanes keep = 255 - a;
        const BlendLanes blended = BlendChannelLanes<10>(d, keep, int32_t(rgb[0]), weighted) |
                                   BlendChannelLanes<5>(d, keep, int32_t(rgb[1]), weighted) |
                                   BlendChannelLanes<0>(d, keep, int32_t(rgb[2]), weighted);
        const BlendLanes pixels = a == 0 ? d : blended;
        const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi32(__m256i(pixels), __m256i(pixels)), 0x08);
        _mm_storeu_si128(at, _mm256_castsi256_si128(packed));
    }
    BlendRow(alphas + x, row + x, count - x, wideWeights, rgb);
}

// a′ is taken from a table of every weight's.
void BlendBuffer(const GlowBuffer& buffer)
{
    const int32_t width = Frame.width;
    const int32_t x0 = std::max(buffer.x0, 0);
    const int32_t x1 = std::min(buffer.x1, width - 1);
    const int32_t y0 = std::max(buffer.y0, 0);
    const int32_t y1 = std::min(buffer.y1, Frame.height - 1);
    if (x0 > x1 || y0 > y1)
        return;
    const int64_t rgb[3] = {(buffer.colour >> 19) & 0x1F, (buffer.colour >> 11) & 0x1F, (buffer.colour >> 3) & 0x1F};
    int64_t weights[256];
    int32_t laneWeights[256];
    bool lanes = SpanVectors;
    for (uint32_t a = 0; a < 256; ++a) {
        weights[a] = WeightedAlpha(a, buffer.g1);
        lanes = lanes && std::abs(weights[a]) < LANE_WEIGHT_LIMIT;
        laneWeights[a] = int32_t(weights[a]);
    }
    const int64_t count = int64_t(x1) - x0 + 1;
    for (int32_t y = y0; y <= y1; ++y) {
        const size_t start = size_t(y) * size_t(width) + size_t(x0);
        if (lanes)
            BlendRowWide(buffer.pixels + start, Frame.target + start, count, laneWeights, weights, rgb);
        else
            BlendRow(buffer.pixels + start, Frame.target + start, count, weights, rgb);
    }
}

}  // namespace

int BuildGlowSprite(ObjectEntity* object, int32_t size)
{
    if (!object || size < 1 || size > GLOW_SPRITE_MAX || !RadialTable)
        return 0;
    if (!object->glowImage) {
        object->glowImage = static_cast<uint8_t*>(MemAlloc(GLOW_SPRITE_BYTES, 1));
        if (!object->glowImage)
            return 0;
        object->glowImageSize = 0;
    }
    if (object->glowImageSize != uint32_t(size)) {
        const uint32_t n = uint32_t(size);
        const uint32_t step = 0xFF0000 / n + 1;
        for (uint32_t j = 0; j < n; ++j) {
            const uint8_t* row = RadialTable + ((j * step) >> 16) * RADIAL_SIDE;
            for (uint32_t i = 0; i < n; ++i)
                object->glowImage[j * n + i] = row[(i * step) >> 16];
        }
        object->glowImageSize = n;
    }
    object->objectFlags |= OBJECT_GLOWBUILT;
    return 1;
}

// An object whose sprite cannot be built still has its edges examined: the
// glow-edge filler then marks them without a halo.
void DrawGlowFace(Face* face)
{
    ObjectEntity* object = ObjectOf(face->owner);
    if (!object)
        return;
    if (!(object->objectFlags & OBJECT_GLOWBUILT))
        BuildGlowSprite(object, GlowSpriteSize(*object));
    GlowBuffer* buffer = object->glowBuffer;
    if (buffer && !(buffer->glowFlags & GLOW_CLEARED)) {
        if (buffer->pixels)
            std::memset(buffer->pixels, 0, size_t(buffer->width) * buffer->height);
        buffer->x0 = BOX_EMPTY_LOW;
        buffer->x1 = BOX_EMPTY_HIGH;
        buffer->y0 = BOX_EMPTY_LOW;
        buffer->y1 = BOX_EMPTY_HIGH;
        buffer->glowFlags |= GLOW_CLEARED;
    }
    DrawFace(face);
}

// Buffers whose pixels do not match the frame (their resize failed) are
// left out.
void BlendGlow(Scene* scene)
{
    for (GlowBuffer* buffer = scene->glowBuffers; buffer; buffer = buffer->next) {
        if (!(buffer->glowFlags & GLOW_CLEARED) || !buffer->pixels || buffer->x0 > buffer->x1 ||
            buffer->y0 > buffer->y1)
            continue;
        if (int64_t(buffer->width) != Frame.width || int64_t(buffer->height) != Frame.height)
            continue;
        BlendBuffer(*buffer);
    }
}

}  // namespace kvor3d
