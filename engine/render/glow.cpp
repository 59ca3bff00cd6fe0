// Glow: each glowing object's sprite, resampled from the radial table to a
// size that follows its distance; the glow pass over its faces, which
// stamps the sprite into the object's glow buffer along its silhouette; and
// the blend that paints each glow buffer over the frame in its colour.
#include "core/tables.h"
#include "render/stages.h"

#include <immintrin.h>

#include <algorithm>
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

// Sixteen pixels are blended side by side in 16-bit lanes where every
// channel's sum d × (255 − a) + c × a′ stays below 2^16: with five-bit
// channels, where 31 × (255 − a + a′) does for every weight a. The weights
// must not be negative (nor g1 a NaN, whose weights the table holds as 0).
bool FitsLanes(float g1, const int64_t* weights)
{
    if (!(g1 >= 0.0f))
        return false;
    for (int64_t a = 0; a < 256; ++a) {
        if (weights[a] < 0 || 31 * (255 - a + weights[a]) > 0xFFFF)
            return false;
    }
    return true;
}

template <int SHIFT>
__attribute__((target("avx2"))) inline __m256i BlendChannelLanes(__m256i d, __m256i keep, int64_t c, __m256i weighted)
{
    const __m256i channel = _mm256_and_si256(_mm256_srli_epi16(d, SHIFT), _mm256_set1_epi16(0x1F));
    const __m256i sum = _mm256_add_epi16(_mm256_mullo_epi16(channel, keep),
                                         _mm256_mullo_epi16(_mm256_set1_epi16(int16_t(c)), weighted));
    return _mm256_slli_epi16(_mm256_min_epu16(_mm256_srli_epi16(sum, 8), _mm256_set1_epi16(0x1F)), SHIFT);
}

// a′ = int(a × g1) of eight weights, as the buffer's table holds it.
__attribute__((target("avx2"))) inline __m256i WeightedLanes(__m128i alphas, __m256 g1)
{
    return _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_cvtepu8_epi32(alphas)), g1));
}

// BlendRow of the first count − count mod 16 pixels, sixteen at a time with
// AVX2, for a buffer whose weights fit the lanes: pixels whose weight is 0
// stored as they were read. Returns how many it blended; the caller blends
// the rest (a call from here would enter the plain code with the vector
// registers' upper halves still in use, which slows it).
__attribute__((target("avx2"))) int64_t BlendRowWide(const uint8_t* alphas, uint16_t* row, int64_t count, float g1,
                                                     const int64_t rgb[3])
{
    const __m256 gain = _mm256_set1_ps(g1);
    int64_t x = 0;
    for (; x + 16 <= count; x += 16) {
        const __m128i sixteen = _mm_loadu_si128(reinterpret_cast<const __m128i*>(alphas + x));
        if (_mm_testz_si128(sixteen, sixteen))
            continue;
        const __m256i a = _mm256_cvtepu8_epi16(sixteen);
        const __m256i weighted = _mm256_permute4x64_epi64(
            _mm256_packus_epi32(WeightedLanes(sixteen, gain), WeightedLanes(_mm_srli_si128(sixteen, 8), gain)), 0xD8);
        __m256i* at = reinterpret_cast<__m256i*>(row + x);
        const __m256i d = _mm256_loadu_si256(at);
        const __m256i keep = _mm256_sub_epi16(_mm256_set1_epi16(255), a);
        const __m256i blended = _mm256_or_si256(
            _mm256_or_si256(BlendChannelLanes<10>(d, keep, rgb[0], weighted), BlendChannelLanes<5>(d, keep, rgb[1], weighted)),
            BlendChannelLanes<0>(d, keep, rgb[2], weighted));
        _mm256_storeu_si256(at, _mm256_blendv_epi8(blended, d, _mm256_cmpeq_epi16(a, _mm256_setzero_si256())));
    }
    return x;
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
    for (uint32_t a = 0; a < 256; ++a)
        weights[a] = WeightedAlpha(a, buffer.g1);
    const bool lanes = SpanVectors && FitsLanes(buffer.g1, weights);
    const int64_t count = int64_t(x1) - x0 + 1;
    for (int32_t y = y0; y <= y1; ++y) {
        const size_t start = size_t(y) * size_t(width) + size_t(x0);
        const int64_t wide = lanes ? BlendRowWide(buffer.pixels + start, Frame.target + start, count, buffer.g1, rgb) : 0;
        BlendRow(buffer.pixels + start + wide, Frame.target + start + wide, count - wide, weights, rgb);
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
