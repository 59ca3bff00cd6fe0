// Flares: the elements of a light's effect, or of an object's sprite effect
// at its glints, added to the frame as scaled sprites along the line from
// the screen centre through the point.
#include "render/stages.h"

#include <immintrin.h>

#include <algorithm>

namespace kvor3d {

namespace {

constexpr uint32_t FIXED_ONE = 65536;

struct FlarePoint {
    float x, y, z;
    float scale;
    const LightEffect* effect;
};

// Where a sprite entry's flare comes from: the light's screen position and
// depth, its effect scaled by its intensity when it asks for it; or a
// glint's corner vertex with its object's sprite effect.
bool PointOf(const DrawEntry& entry, FlarePoint* point)
{
    if (entry.type == DRAW_LIGHT) {
        const LightEntity* light = LightOf(entry.light);
        if (!light)
            return false;
        const float scale = (light->lightFlags & LIGHT_SCALEEFFECT) ? light->lightValue1 : 1.0f;
        *point = {light->screenX, light->screenY, light->depth, scale, light->effect};
        return true;
    }
    if (entry.type == DRAW_GLINT) {
        const int32_t corner = TruncToInt(entry.key);
        const ObjectEntity* object = entry.face ? ObjectOf(entry.face->owner) : nullptr;
        if (!object || corner < 0 || corner > 2 || !entry.face->vertices[corner])
            return false;
        const Vertex* v = entry.face->vertices[corner];
        *point = {v->screenX, v->screenY, v->camera[2], 1.0f, object->spriteEffect};
        return true;
    }
    return false;
}

// Each element with a map: f = e1 / 65536 × (focal / z) × scale; a sprite of
// int(f × map size), centred at e0 / 65536 of the way from the screen centre
// to the point.
void DrawFlare(const FlarePoint& point, XView* view)
{
    const float k = Frame.focal / point.z;
    const int64_t px = TruncToInt(point.x);
    const int64_t py = TruncToInt(point.y);
    for (const LightEffectElement* element = point.effect->elements; element; element = element->next) {
        const Texture* map = element->map;
        if (!map)
            continue;
        const float f = float(element->e1) / float(FIXED_ONE) * k * point.scale;
        const int32_t w = TruncToInt(f * float(map->width));
        const int32_t h = TruncToInt(f * float(map->height));
        if (w <= 0 || h <= 0)
            continue;
        const double along = double(element->e0) / FIXED_ONE;
        const int64_t left = TruncToInt(double(px - Frame.centreX) * along + Frame.centreX - (w >> 1));
        const int64_t top = TruncToInt(double(py - Frame.centreY) * along + Frame.centreY - (h >> 1));
        if (left < Frame.width && left + w > 0 && top < Frame.height && top + h > 0)
            BlitSprite(view, int32_t(left), int32_t(top), map, w, h, element->e3 & 3, element->e2);
    }
}

}  // namespace

void DrawFlares(const SpriteList& sprites, XView* view)
{
    for (uint32_t i = 0; i < sprites.count; ++i) {
        FlarePoint point;
        if (PointOf(sprites.entries[i], &point) && point.effect)
            DrawFlare(point, view);
    }
}

namespace {

// A frame pixel d with a sprite texel t added at intensity i, each channel
// limited to 31; a texel of 0 leaves d.
template <class U>
inline __attribute__((always_inline)) U AddChannel(U d, U t, uint32_t i, int shift)
{
    const U sum = ((d >> shift) & 0x1F) + ((((t >> shift) & 0x1F) * i) >> 10);
    return (sum < 0x1F ? sum : U{} + 0x1F) << shift;
}

template <class U>
inline __attribute__((always_inline)) U AddTexel(U d, U t, uint32_t i)
{
    return AddChannel(d, t, i, 10) | AddChannel(d, t, i, 5) | AddChannel(d, t, i, 0);
}

using SpriteLanes = uint32_t __attribute__((vector_size(32)));

// The texels of eight sprite pixels at source columns position >> 16, read
// as 32-bit words by one gather; a lane at the map's last texel, `last`
// texels past `line`, takes it from `lastTexel` instead, so that no word
// reads past the map.
__attribute__((target("avx2"))) inline __m256i GatherTexels(const uint16_t* line, SpriteLanes position,
                                                            uint32_t last, __m256i lastTexel)
{
    const SpriteLanes index = position >> 16;
    return _mm256_and_si256(_mm256_mask_i32gather_epi32(lastTexel, reinterpret_cast<const int*>(line), __m256i(index),
                                                        __m256i(index != last), 2),
                            _mm256_set1_epi32(0xFFFF));
}

// The gain of sixteen 16-bit texels' channels: (t × i) >> 10 as
// t × min(i >> 10, 31) + (t × (i mod 1024)) >> 10. Beyond 31 whole steps
// any texel channel but 0 saturates the sum, so the whole steps stop there
// and every value stays within 16 bits.
struct SpriteGain {
    __m256i whole;     // min(i >> 10, 31)
    __m256i fraction;  // (i mod 1024) << 6, for the high half of a product
};

template <int SHIFT>
__attribute__((target("avx2"))) inline __m256i AddChannelLanes(__m256i d, __m256i t, const SpriteGain& gain)
{
    const __m256i mask = _mm256_set1_epi16(0x1F);
    const __m256i texel = _mm256_and_si256(_mm256_srli_epi16(t, SHIFT), mask);
    const __m256i frame = _mm256_and_si256(_mm256_srli_epi16(d, SHIFT), mask);
    const __m256i added = _mm256_add_epi16(_mm256_mullo_epi16(texel, gain.whole),
                                           _mm256_mulhi_epu16(texel, gain.fraction));
    return _mm256_slli_epi16(_mm256_min_epu16(_mm256_add_epi16(frame, added), mask), SHIFT);
}

// Sixteen frame pixels d with their texels t added; a texel of 0 leaves d.
__attribute__((target("avx2"))) inline __m256i AddTexelLanes(__m256i d, __m256i t, const SpriteGain& gain)
{
    const __m256i sum = _mm256_or_si256(_mm256_or_si256(AddChannelLanes<10>(d, t, gain), AddChannelLanes<5>(d, t, gain)),
                                        AddChannelLanes<0>(d, t, gain));
    return _mm256_blendv_epi8(sum, d, _mm256_cmpeq_epi16(t, _mm256_setzero_si256()));
}

// `count` pixels of a sprite row from `to` on with AVX2, sixteen at a time
// in 16-bit lanes, then eight, then the last count mod 8 one by one: column
// positions from sourceX in steps of stepX, all below 2^32.
__attribute__((target("avx2"))) void BlitRowWide(const uint16_t* line, uint32_t last, uint16_t* to, int64_t count,
                                                 uint32_t sourceX, uint32_t stepX, uint32_t i)
{
    const SpriteGain gain = {_mm256_set1_epi16(int16_t(std::min<uint32_t>(i >> 10, 31))),
                             _mm256_set1_epi16(int16_t((i & 1023) << 6))};
    const SpriteLanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    SpriteLanes position = sourceX + lane * stepX;
    const uint32_t groupStep = stepX * 8;
    const __m256i lastTexel = _mm256_set1_epi32(line[last]);
    int64_t column = 0;
    for (; column + 16 <= count; column += 16) {
        const __m256i low = GatherTexels(line, position, last, lastTexel);
        position += groupStep;
        const __m256i high = GatherTexels(line, position, last, lastTexel);
        position += groupStep;
        const __m256i t = _mm256_permute4x64_epi64(_mm256_packus_epi32(low, high), 0xD8);
        __m256i* at = reinterpret_cast<__m256i*>(to + column);
        _mm256_storeu_si256(at, AddTexelLanes(_mm256_loadu_si256(at), t, gain));
    }
    if (column + 8 <= count) {
        const __m256i t = _mm256_permute4x64_epi64(
            _mm256_packus_epi32(GatherTexels(line, position, last, lastTexel), _mm256_setzero_si256()), 0xD8);
        __m128i* at = reinterpret_cast<__m128i*>(to + column);
        const __m256i d = _mm256_castsi128_si256(_mm_loadu_si128(at));
        _mm_storeu_si128(at, _mm256_castsi256_si128(AddTexelLanes(d, t, gain)));
        column += 8;
    }
    for (uint32_t x = sourceX + uint32_t(column) * stepX; column < count; ++column, x += stepX) {
        const uint32_t t = line[x >> 16];
        if (t != 0)
            to[column] = uint16_t(AddTexel<uint32_t>(to[column], t, i));
    }
}

}  // namespace

// Source positions are 16.16 with steps (map side << 16) / sprite side, so
// the last sample of a row or column stays inside the map. Rows whose
// positions stay below 2^32 are drawn eight pixels at a time where the
// AVX2 loops run.
void BlitSprite(XView* view, int32_t x, int32_t y, const Texture* map, int32_t w, int32_t h, uint32_t,
                uint32_t intensity)
{
    if (!view || !view->current || !map || !map->pixels || map->bytesPerPixel != 2 || map->width == 0 ||
        map->height == 0 || w <= 0 || h <= 0)
        return;
    const uint64_t stepX = (uint64_t(map->width) << 16) / uint64_t(w);
    const uint64_t stepY = (uint64_t(map->height) << 16) / uint64_t(h);
    const int64_t x0 = std::max<int64_t>(x, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(x) + w, view->width);
    const int64_t y0 = std::max<int64_t>(y, 0);
    const int64_t y1 = std::min<int64_t>(int64_t(y) + h, view->height);
    // At most 31 × 2^26: the products fit in 32 bits.
    const uint32_t i = intensity >> 6;
    const auto* texels = static_cast<const uint16_t*>(map->pixels);
    const uint64_t mapTexels = uint64_t(map->width) * map->height;
    const bool wide = SpanVectors && (uint64_t(map->width) << 16) <= UINT32_MAX && mapTexels <= UINT32_MAX;
    uint64_t sourceY = uint64_t(y0 - y) * stepY;
    for (int64_t row = y0; row < y1; ++row, sourceY += stepY) {
        const uint64_t lineStart = (sourceY >> 16) * map->width;
        const uint16_t* line = texels + lineStart;
        uint16_t* to = view->current + row * view->width;
        uint64_t sourceX = uint64_t(x0 - x) * stepX;
        if (wide && x1 > x0) {
            BlitRowWide(line, uint32_t(mapTexels - 1 - lineStart), to + x0, x1 - x0, uint32_t(sourceX),
                        uint32_t(stepX), i);
            continue;
        }
        for (int64_t column = x0; column < x1; ++column, sourceX += stepX) {
            const uint32_t t = line[sourceX >> 16];
            if (t != 0)
                to[column] = uint16_t(AddTexel<uint32_t>(to[column], t, i));
        }
    }
}

}  // namespace kvor3d
