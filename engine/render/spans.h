// The pixel arithmetic of the span fillers (spread form, blend, texel
// addressing and filters, shading, fog, density voxels) and the one span
// kernel they are generated from: DrawSpans<Features> walks a triangle's
// rows with the interpolants its features need and runs a pixel loop that
// carries no feature test. Internal to the rasteriser.
#pragma once

#include "render/scan.h"

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace kvor3d {

// The helpers that return Lanes are inlined into the AVX2 loops only; no
// call passes Lanes between functions built for different processors. GCC
// warns about such calls where the templates are instantiated, at the end
// of each file that includes this one, so the note stays off from here on.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

// ---- Lanes -------------------------------------------------------------------------

// The 32-bit values of eight pixels side by side, for the AVX2 pixel loops.
// The pixel arithmetic below is written once for one pixel's uint32_t and
// for eight pixels' Lanes: the same operations on each lane.
using Lanes = uint32_t __attribute__((vector_size(32)));
using FloatLanes = float __attribute__((vector_size(32)));
using SignedLanes = int32_t __attribute__((vector_size(32)));
constexpr int64_t SPAN_LANES = 8;

template <class U>
using PixelValue = std::enable_if_t<std::is_same_v<U, uint32_t> || std::is_same_v<U, Lanes>, U>;

// A value in every lane.
template <class U>
inline PixelValue<U> Splat(uint32_t x)
{
    return U{} + x;
}

// ---- Pixels ------------------------------------------------------------------------

constexpr uint32_t SPREAD_MASK = 0x01F07C1F;

// Spread form: blue in bits 0-4, green 10-14, red 20-24, five free bits above
// each channel, so that one 32-bit operation works on all three.
template <class U>
inline PixelValue<U> Spread(U p)
{
    return (p & 0x001F) + ((p & 0x03E0) << 5) + ((p & 0x7C00) << 10);
}

template <class U>
inline PixelValue<U> Pack(U s)
{
    return (s & 0x001F) + ((s & 0x7C00) >> 5) + ((s & 0x01F00000) >> 10);
}

// A 0x00RRGGBB colour as a 15-bit pixel: the top five bits of each channel.
inline uint32_t PixelOfColour(uint32_t c)
{
    return ((c & 0x00F80000) >> 9) + ((c & 0x0000F800) >> 6) + ((c & 0x000000F8) >> 3);
}

// d moved toward s by a / 32 on unsigned 32-bit words: a = 0 keeps d, a = 31
// leaves 1/32 of the difference.
template <class U, class A>
inline PixelValue<U> Blend(U d, U s, A a)
{
    const U sd = Spread(d);
    return Pack(sd + ((Spread(s) - sd) * a >> 5));
}

// The same on spread forms, before the packing: Pack(Mix(Spread(d),
// Spread(s), a)) is Blend(d, s, a), and Spread(Pack(x)) is x & SPREAD_MASK.
template <class U, class A>
inline PixelValue<U> Mix(U sd, U ss, A a)
{
    return sd + ((ss - sd) * a >> 5);
}

// The blend weight of an object colour: its top five bits.
inline uint32_t AlphaOf(uint32_t colour)
{
    return colour >> 27;
}

// Writes `count` pixels of one value from d on; at least 16.
__attribute__((target_clones("avx2", "default"))) void FillLongSpan(uint16_t* d, int64_t count, uint16_t pixel);

// Runs shorter than this are filled in line; a call costs more than it saves
// there.
constexpr int64_t LONG_SPAN = 64;

inline void FillPixels(uint16_t* d, int64_t count, uint16_t pixel)
{
    if (count < LONG_SPAN)
        std::fill_n(d, count, pixel);
    else
        FillLongSpan(d, count, pixel);
}

// ---- Texels ------------------------------------------------------------------------

// Addressing of one level of a power-of-two map by a row value a and a
// column value b (16.16 texel positions of level 0): the texel index is
// ((a >> rowShift) & rowMask) + ((b >> columnShift) & columnMask). The masks
// keep only bits that an arithmetic shift would give alike, so the shifts
// are logical. Maps repeat in both directions.
struct TexelAddress {
    uint32_t rowShift;       // 2L + 16 − widthShift
    uint32_t columnShift;    // L + 16
    uint32_t rowMask;        // (heightMask >> L) << (widthShift − L)
    uint32_t columnMask;     // widthMask >> L
    uint32_t fractionShift;  // the top five fraction bits of a level-L position: L + 11
    uint32_t rowUnit;        // one level row in the index: 1 << (widthShift − L)
};

// x >> n in each lane. Lanes are shifted by a vector of counts: a shift of
// all lanes by one count in a register costs the processor two operations,
// a shift by a count in each lane one.
inline uint32_t ShiftDown(uint32_t x, uint32_t n)
{
    return x >> n;
}

__attribute__((target("avx2"))) inline Lanes ShiftDown(Lanes x, uint32_t n)
{
    return Lanes(_mm256_srlv_epi32(__m256i(x), _mm256_set1_epi32(int(n))));
}

// Made in line in every build, as the batched set-ups' AVX2 functions call
// it on Lanes without flattening their calls.
template <class U>
inline __attribute__((always_inline)) PixelValue<U> TexelIndex(const TexelAddress& m, U a, U b)
{
    return (ShiftDown(a, m.rowShift) & m.rowMask) + (ShiftDown(b, m.columnShift) & m.columnMask);
}

struct TexelMap {
    const uint16_t* pixels;  // the level's 15-bit texels
    TexelAddress at;
};

// The texel at an index of the map, whose last texel is `last`.
inline uint32_t TexelAt(const uint16_t* pixels, uint32_t, uint32_t index)
{
    return pixels[index];
}

// Eight texels by one gather of 32-bit words: a lane that holds the last
// texel's index takes it from the broadcast instead, so that no word reads
// past the map.
__attribute__((target("avx2"))) inline Lanes TexelAt(const uint16_t* pixels, uint32_t last, Lanes index)
{
    const __m256i inside = __m256i(index != last);
    const __m256i words = _mm256_mask_i32gather_epi32(_mm256_set1_epi32(int(pixels[last])),
                                                      reinterpret_cast<const int*>(pixels), __m256i(index), inside, 2);
    return Lanes(words) & 0xFFFF;
}

inline uint32_t LastTexel(const TexelAddress& at)
{
    return at.rowMask + at.columnMask;
}

// The texels at row + column and at the next column of eight lanes: one
// gather of 32-bit words, their low and high halves, for the lanes whose
// next column follows in memory; the lanes in the last column, whose next
// column is the row's first, texel by texel.
__attribute__((target("avx2"))) inline void TexelPairs(const uint16_t* pixels, uint32_t last, Lanes row,
                                                       Lanes column, uint32_t columnMask, Lanes& texel,
                                                       Lanes& next)
{
    const Lanes index = row + column;
    const Lanes wraps = Lanes(column == columnMask);
    const Lanes words = Lanes(_mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(pixels),
                                                           __m256i(index), __m256i(~wraps), 2));
    texel = words & 0xFFFF;
    next = words >> 16;
    if (!_mm256_testz_si256(__m256i(wraps), __m256i(wraps))) {
        texel = wraps ? TexelAt(pixels, last, index) : texel;
        next = wraps ? TexelAt(pixels, last, row) : next;
    }
}

template <class U>
inline PixelValue<U> NearestTexel(const TexelMap& m, U a, U b)
{
    return TexelAt(m.pixels, LastTexel(m.at), TexelIndex(m.at, a, b));
}

// The four texels around (a, b) in spread form, mixed by the top five
// fraction bits: first down each column (rows r and r + 1), then across;
// the mix in spread form, to be packed.
template <class U>
inline PixelValue<U> BilinearSpread(const TexelMap& m, U a, U b)
{
    const TexelAddress& at = m.at;
    const uint32_t last = LastTexel(at);
    const U row = ShiftDown(a, at.rowShift) & at.rowMask;
    const U nextRow = (row + at.rowUnit) & at.rowMask;
    const U column = ShiftDown(b, at.columnShift) & at.columnMask;
    const U fa = ShiftDown(a, at.fractionShift) & 0x1F;
    const U fb = ShiftDown(b, at.fractionShift) & 0x1F;
    U t00, t10, t01, t11;
    if constexpr (std::is_same_v<U, Lanes>) {
        TexelPairs(m.pixels, last, row, column, at.columnMask, t00, t01);
        TexelPairs(m.pixels, last, nextRow, column, at.columnMask, t10, t11);
    } else {
        const U nextColumn = (column + 1) & at.columnMask;
        t00 = TexelAt(m.pixels, last, row + column);
        t10 = TexelAt(m.pixels, last, nextRow + column);
        t01 = TexelAt(m.pixels, last, row + nextColumn);
        t11 = TexelAt(m.pixels, last, nextRow + nextColumn);
    }
    const U s00 = Spread(t00);
    const U s10 = Spread(t10);
    const U s01 = Spread(t01);
    const U s11 = Spread(t11);
    const U left = (s00 + ((s10 - s00) * fa >> 5)) & SPREAD_MASK;
    const U right = (s01 + ((s11 - s01) * fa >> 5)) & SPREAD_MASK;
    return left + ((right - left) * fb >> 5);
}

// The same four texels for eight lanes, kept in channels. Each channel of
// the spread mix above is c0 + floor((c1 − c0) × f / 32) with c0, c1 and f
// in [0, 31]: the differences and products stay within a field, and the
// result within [0, 31]. That is (c0 × (32 − f) + c1 × f) >> 5, which the
// byte and word multiply-adds give for many channels at once.
struct ChannelLanes {
    Lanes blue, green, red;  // 0 to 31 each
};

// The texels at row + column and at the next column as one word, the next
// column's texel in the high half; the lanes in the last column, whose next
// column is the row's first, texel by texel.
__attribute__((target("avx2"))) inline Lanes TexelWords(const uint16_t* pixels, uint32_t last, Lanes row,
                                                        Lanes column, uint32_t columnMask)
{
    const Lanes index = row + column;
    const Lanes wraps = Lanes(column == columnMask);
    const Lanes words = Lanes(_mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(pixels),
                                                           __m256i(index), __m256i(~wraps), 2));
    if (_mm256_testz_si256(__m256i(wraps), __m256i(wraps)))
        return words;
    return wraps ? TexelAt(pixels, last, index) | (TexelAt(pixels, last, row) << 16) : words;
}

// Per 32-bit lane (b0 × w0 + b1 × w1) >> 5 for the low and the high byte
// pair, then (low × w0 + high × w1) >> 5 for the word pair.
__attribute__((target("avx2"))) inline Lanes MixBytes(Lanes bytes, __m256i down, __m256i across)
{
    const __m256i columns = _mm256_srli_epi16(_mm256_maddubs_epi16(__m256i(bytes), down), 5);
    return Lanes(_mm256_srli_epi32(_mm256_madd_epi16(columns, across), 5));
}

// Per 32-bit lane (low × w0 + high × w1) >> 5 of the word pair.
__attribute__((target("avx2"))) inline Lanes MixWords(Lanes words, __m256i by)
{
    return Lanes(_mm256_srli_epi32(_mm256_madd_epi16(__m256i(words), by), 5));
}

// Pack(BilinearSpread(m, a, b)) of eight lanes in channels. A lane's texel
// words of rows r and r + 1 give per channel the bytes (r, c), (r + 1, c),
// (r, c + 1), (r + 1, c + 1): one byte multiply-add by (32 − fa, fa) mixes
// both columns down, one word multiply-add by (32 − fb, fb) across.
__attribute__((target("avx2"))) inline ChannelLanes BilinearChannels(const TexelMap& m, Lanes a, Lanes b)
{
    const TexelAddress& at = m.at;
    const uint32_t last = LastTexel(at);
    const Lanes row = ShiftDown(a, at.rowShift) & at.rowMask;
    const Lanes nextRow = (row + at.rowUnit) & at.rowMask;
    const Lanes column = ShiftDown(b, at.columnShift) & at.columnMask;
    const Lanes fa = ShiftDown(a, at.fractionShift) & 0x1F;
    const Lanes fb = ShiftDown(b, at.fractionShift) & 0x1F;
    const Lanes top = TexelWords(m.pixels, last, row, column, at.columnMask);
    const Lanes bottom = TexelWords(m.pixels, last, nextRow, column, at.columnMask);
    const Lanes fa2 = fa | (fa << 16);
    const __m256i down = __m256i((fa2 << 8) + (0x00200020 - fa2));
    const __m256i across = __m256i((fb << 16) + (32 - fb));
    constexpr uint32_t LOW = 0x001F001F, HIGH = 0x1F001F00;
    ChannelLanes c;
    c.blue = MixBytes((top & LOW) | ((bottom << 8) & HIGH), down, across);
    c.green = MixBytes(((top >> 5) & LOW) | ((bottom << 3) & HIGH), down, across);
    c.red = MixBytes(((top >> 10) & LOW) | ((bottom >> 2) & HIGH), down, across);
    return c;
}

__attribute__((target("avx2"))) inline Lanes PackChannels(const ChannelLanes& c)
{
    return c.blue | (c.green << 5) | (c.red << 10);
}

// Pack(Mix(Spread(PackChannels(c)), Spread(fog), weight)) of eight lanes.
// Weights within [0, 32] mix each channel with the fog's by one word
// multiply-add by (32 − weight, weight); any other weight carries across
// the fields, and its lanes take the spread form's mix.
__attribute__((target("avx2"))) inline Lanes FoggedChannels(const ChannelLanes& c, uint32_t fog, Lanes weight)
{
    if (!_mm256_testz_si256(__m256i(weight > 32), __m256i(weight > 32)))
        return Pack(Mix(Spread(PackChannels(c)), Spread(Splat<Lanes>(fog)), weight));
    const __m256i by = __m256i((weight << 16) + (32 - weight));
    const Lanes blue = MixWords(c.blue | ((fog & 0x1F) << 16), by);
    const Lanes green = MixWords(c.green | (((fog >> 5) & 0x1F) << 16), by);
    const Lanes red = MixWords(c.red | ((fog >> 10) << 16), by);
    return blue | (green << 5) | (red << 10);
}

// A transparency map's intensities, addressed like its texels.
struct GreyMap {
    const uint8_t* bytes;
    TexelAddress at;
};

// The intensity at an index of the map, whose last byte is `last`.
inline uint32_t GreyAt(const uint8_t* bytes, uint32_t, uint32_t index)
{
    return bytes[index];
}

// Eight intensities by one gather of 32-bit words; the lanes whose word
// would reach past the last byte read their byte alone.
__attribute__((target("avx2"))) inline Lanes GreyAt(const uint8_t* bytes, uint32_t last, Lanes index)
{
    const Lanes inside = Lanes(last - index >= 3);
    Lanes words = Lanes(_mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(bytes),
                                                     __m256i(index), __m256i(inside), 1));
    if (_mm256_movemask_epi8(__m256i(inside)) != -1) {
        for (int i = 0; i < SPAN_LANES; ++i) {
            if (!inside[i])
                words[i] = bytes[index[i]];
        }
    }
    return words & 0xFF;
}

// A light volume's density voxels of one slice: byte(u, v) lies at
// ((u >> uShift) & uMask) + ((v >> vShift) & vMask).
struct VoxelMap {
    const uint8_t* voxels;   // densityVoxels + the slice's voxel offset
    uint32_t uShift;
    uint32_t vShift;
    uint32_t uMask;
    uint32_t vMask;
};

// The density at (u, v), bilinear with 8-bit fractions: the two bytes of a
// row packed in one word, both rows mixed at once, then the halves.
inline uint32_t VoxelWeight(const VoxelMap& m, uint32_t u, uint32_t v)
{
    const uint32_t row = (u >> m.uShift) & m.uMask;
    const uint32_t nextRow = ((u + 0x10000) >> m.uShift) & m.uMask;
    const uint32_t column = (v >> m.vShift) & m.vMask;
    const uint32_t nextColumn = ((v + 0x10000) >> m.vShift) & m.vMask;
    const uint32_t p0 = (uint32_t(m.voxels[row + column]) << 16) | m.voxels[row + nextColumn];
    const uint32_t p1 = (uint32_t(m.voxels[nextRow + column]) << 16) | m.voxels[nextRow + nextColumn];
    const uint32_t fu = (u >> 8) & 0xFF;
    const uint32_t fv = (v >> 8) & 0xFF;
    const uint32_t p = p0 + ((p1 - p0) * fu >> 8);
    const uint32_t hi = (p & 0x00FF00FF) >> 16;
    return (hi + (((p & 0xFF) - hi) * fv >> 8)) & 0xFF;
}

// ---- Shading and fog ---------------------------------------------------------------

// The top five bits of each 16.16 channel. Made in line in every build, as
// TexelIndex is.
template <class U>
inline __attribute__((always_inline)) PixelValue<U> ShadedPixel(U red, U green, U blue)
{
    return ((red & 0x00F80000) >> 9) + ((green & 0x00F80000) >> 14) + (((blue >> 16) & 0xF8) >> 3);
}

// Each texel channel scaled by the integer part of its 16.16 light.
template <class U>
inline PixelValue<U> ShadedTexel(U t, U red, U green, U blue)
{
    const U b = ((t & 0x001F) * (blue >> 16) & 0x1F00) >> 8;
    const U g = ((t & 0x03E0) * (green >> 16) & 0x3E000) >> 8;
    const U r = ((t & 0x7C00) * (red >> 16) & 0x7C0000) >> 8;
    return b + g + r;
}

// int(level) >> 3. A level beyond ±2^30 (or not a number) comes only from a
// degenerate fog set-up; it is limited first so that the conversion is
// defined.
inline uint32_t FogWeight(float level)
{
    constexpr float LIMIT = 1073741824.0f;
    const float limited = std::min(std::max(-LIMIT, level), LIMIT);
    return uint32_t(int32_t(limited) >> 3);
}

// The same for eight levels: max and min give the limit where std::max and
// std::min do, a not-a-number included.
__attribute__((target("avx2"))) inline Lanes FogWeight(FloatLanes level)
{
    constexpr float LIMIT = 1073741824.0f;
    const __m256 limited = _mm256_min_ps(_mm256_max_ps(__m256(level), _mm256_set1_ps(-LIMIT)), _mm256_set1_ps(LIMIT));
    return Lanes(_mm256_srai_epi32(_mm256_cvttps_epi32(limited), 3));
}

// ---- Repeated float additions ------------------------------------------------------

inline uint32_t BitsOfFloat(float x)
{
    uint32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

inline float FloatOfBits(uint32_t bits)
{
    float x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

// x + s, (x + s) + s, …: a float and the sums of its repeated additions of
// one step, each rounded to float, taken through x's bit pattern. While
// every exact sum stays inside x's binade, whose floats are the multiples of
// one unit, each addition rounds to the same whole number of units:
// round(s / unit), s / unit never lying halfway between two whole numbers.
// The addition then adds that number to the pattern's fraction field; the
// field staying within [1, 2^23 − 1] keeps the exact sums inside the binade.
// Whether that holds for the next n additions follows from the fraction
// field alone, with the number of units kept per sign and exponent.
class FloatSteps {
public:
    explicit FloatSteps(float step) : step_(step) {}

    // Whether the n additions from the float with these bits each add
    // Increment() to its bit pattern.
    bool Whole(uint32_t bits, int64_t n)
    {
        if ((bits >> 23) != key_)
            Rekey(bits >> 23);
        const int64_t fraction = int64_t(bits & 0x7FFFFF) + n * units_;
        return whole_ && fraction >= 1 && fraction <= 0x7FFFFF;
    }

    uint32_t Increment() const { return uint32_t(units_); }

    // x after n additions.
    float Advance(float x, int64_t n)
    {
        const uint32_t bits = BitsOfFloat(x);
        if (Whole(bits, n))
            return FloatOfBits(bits + uint32_t(n * units_));
        for (; n > 0; --n)
            x += step_;
        return x;
    }

private:
    // The step in units of the binade of sign and exponent `key`, counted
    // toward larger magnitudes; none for zeros, subnormals, infinities and
    // not-a-numbers, nor for a step of 2^22 units or more, nor halfway.
    void Rekey(uint32_t key)
    {
        key_ = key;
        whole_ = false;
        const uint32_t exponent = key & 0xFF;
        if (exponent == 0 || exponent == 0xFF)
            return;
        uint64_t scale = uint64_t(1023 + 150 - exponent) << 52;  // 1 / unit = 2^(150 − exponent)
        double inverseUnit;
        std::memcpy(&inverseUnit, &scale, sizeof inverseUnit);
        const double units = double(key & 0x100 ? -step_ : step_) * inverseUnit;
        if (!(std::fabs(units) < 4194304.0))
            return;
        const int64_t truncated = int64_t(units);
        const double rest = units - double(truncated);
        if (rest == 0.5 || rest == -0.5)
            return;
        units_ = truncated + (rest > 0.5) - (rest < -0.5);
        whole_ = true;
    }

    float step_;
    uint32_t key_ = 0x200;  // no float's
    bool whole_ = false;
    int64_t units_ = 0;
};

// ---- The span kernel ---------------------------------------------------------------

// TruncToInt of the perspective divisions by one conversion: the
// processor's answer for a value out of range or not a number, INT32_MIN,
// sends it to TruncToInt itself.
inline int32_t TruncPerspective(float value)
{
    const int32_t truncated = _mm_cvtt_ss2si(_mm_set_ss(value));
    return truncated != INT32_MIN ? truncated : TruncToInt(value);
}

// Features of a member. The source is the texel at (u, v), the environment
// texel at (env row, env column), the shaded colour, or the constant colour;
// then it is shaded, fogged and blended as the features say.
enum SpanFeature : unsigned {
    SPAN_TEXEL = 0x001,        // texture texel at (u, v)
    SPAN_ENVIRONMENT = 0x002,  // environment texel at (env row, env column)
    SPAN_BILINEAR = 0x004,     // that texel filtered bilinearly
    SPAN_PERSPECTIVE = 0x008,  // u and v stepped in perspective-correct pieces
    SPAN_SHADE = 0x010,        // interpolated light: the colour itself, or the texel's scale
    SPAN_FOG = 0x020,          // blended toward the fog colour by the interpolated fog level
    SPAN_ALPHA = 0x040,        // blended into the frame by the colour's alpha
    SPAN_GREY = 0x080,         // blended into the frame by the transparency map at (u, v)
    SPAN_VOXEL = 0x100,        // blended into the frame by the density voxels at (u, v)
};

constexpr bool UsesMapCoordinates(unsigned f)
{
    return f & (SPAN_TEXEL | SPAN_GREY | SPAN_VOXEL);
}

// A member without per-pixel interpolants gives the same pixels in either
// direction; its spans are drawn left to right.
constexpr bool Orderless(unsigned f)
{
    return !(f & (SPAN_TEXEL | SPAN_ENVIRONMENT | SPAN_SHADE | SPAN_FOG | SPAN_GREY | SPAN_VOXEL));
}

// What a member's pixel formula reads, fixed per triangle.
struct Surface {
    uint32_t colour;      // 15-bit source of the flat members, blend source of the transparent ones
    uint32_t alpha;       // SPAN_ALPHA weight
    uint32_t fogColour;   // 15-bit fog colour
    TexelMap texels;      // the texture or environment map, at the chosen mip level
    GreyMap grey;
    VoxelMap voxels;
    uint32_t pieceShift;  // k: perspective pieces of 2^k pixels
    uint32_t shadeColour; // 0x00RRGGBB: the shaded member's lit colour is multiplied by it
};

// The interpolants of one pixel: 16.16 map coordinates, env coordinates and
// light channels; w, u·w, v·w and the fog level in floating point. The same
// record holds edge values, steps and gradients; a member uses only the
// fields of its features.
struct Interpolants {
    uint32_t u, v;
    uint32_t envRow, envColumn;
    uint32_t red, green, blue;
    float w, uw, vw;
    float level;
};

// The interpolants of eight pixels, for the members with AVX2 pixel loops:
// all but the light-volume slices blended by density voxels.
struct LaneInterpolants {
    Lanes u, v;
    Lanes envRow, envColumn;
    Lanes red, green, blue;
    FloatLanes level;
};

constexpr bool HasLanePixels(unsigned f)
{
    return !(f & SPAN_VOXEL);
}

// Whether a member blends into the frame's pixels.
constexpr bool ReadsFrame(unsigned f)
{
    return f & (SPAN_ALPHA | SPAN_GREY | SPAN_VOXEL);
}

// A member's spread source blended into the frame's pixel d by its weight.
template <unsigned F, class Q, class U>
inline PixelValue<U> BlendIntoFrame(const Surface& s, const Q& q, U d, U source)
{
    static_assert(__builtin_popcount(F & (SPAN_ALPHA | SPAN_GREY | SPAN_VOXEL)) == 1, "one blend into the frame");
    U a;
    if constexpr (F & SPAN_ALPHA)
        a = Splat<U>(s.alpha);
    else if constexpr (F & SPAN_GREY)
        a = GreyAt(s.grey.bytes, LastTexel(s.grey.at), TexelIndex(s.grey.at, q.u, q.v)) >> 3;
    else
        a = Splat<U>(VoxelWeight(s.voxels, q.u, q.v) >> 3);
    return Pack(Mix(Spread(d), source, a));
}

// The pixel of an unshaded bilinear member for eight lanes, its texel and
// fog blend mixed in channels.
template <unsigned F>
__attribute__((target("avx2"))) inline Lanes BilinearLanePixel(const Surface& s, const LaneInterpolants& q, Lanes d)
{
    const ChannelLanes c = (F & SPAN_TEXEL) ? BilinearChannels(s.texels, q.u, q.v)
                                            : BilinearChannels(s.texels, q.envRow, q.envColumn);
    Lanes p;
    if constexpr (F & SPAN_FOG)
        p = FoggedChannels(c, s.fogColour, FogWeight(q.level));
    else
        p = PackChannels(c);
    if constexpr (ReadsFrame(F))
        return BlendIntoFrame<F>(s, q, d, Spread(p));
    return p;
}

// The pixel of member F over the frame's pixel d, for one pixel (U =
// uint32_t, Q = Interpolants) or eight (U = Lanes, Q = LaneInterpolants).
template <unsigned F, class Q, class U>
inline PixelValue<U> SpanPixel(const Surface& s, const Q& q, U d)
{
    // A bilinear texel stays in spread form through the fog blend, and the
    // fog blend's result into the frame's blend: each packing and spreading
    // again that Blend would take is a mask.
    constexpr bool BILINEAR = (F & SPAN_BILINEAR) && (F & (SPAN_TEXEL | SPAN_ENVIRONMENT));
    constexpr bool SPREAD_SOURCE = BILINEAR && !(F & SPAN_SHADE);
    constexpr bool SPREAD_FOGGED = SPREAD_SOURCE || (F & SPAN_FOG);
    if constexpr (SPREAD_SOURCE && std::is_same_v<U, Lanes>)
        return BilinearLanePixel<F>(s, q, d);
    U p{};
    U spread{};
    if constexpr ((F & SPAN_TEXEL) && BILINEAR)
        spread = BilinearSpread(s.texels, q.u, q.v);
    else if constexpr (F & SPAN_TEXEL)
        p = NearestTexel(s.texels, q.u, q.v);
    else if constexpr (BILINEAR)
        spread = BilinearSpread(s.texels, q.envRow, q.envColumn);
    else if constexpr (F & SPAN_ENVIRONMENT)
        p = NearestTexel(s.texels, q.envRow, q.envColumn);
    else if constexpr (F & SPAN_SHADE)
        p = ShadedPixel(q.red, q.green, q.blue);
    else
        p = Splat<U>(s.colour);
    if constexpr ((F & SPAN_SHADE) && (F & (SPAN_TEXEL | SPAN_ENVIRONMENT)))
        p = ShadedTexel(BILINEAR ? Pack(spread) : p, q.red, q.green, q.blue);
    if constexpr (F & SPAN_FOG) {
        const U source = SPREAD_SOURCE ? spread & SPREAD_MASK : Spread(p);
        spread = Mix(source, Spread(Splat<U>(s.fogColour)), FogWeight(q.level));
    }
    if constexpr (ReadsFrame(F))
        return BlendIntoFrame<F>(s, q, d, SPREAD_FOGGED ? spread & SPREAD_MASK : Spread(p));
    return SPREAD_FOGGED ? Pack(spread) : p;
}

// The per-pixel steps of a member. In the perspective members w, u·w and
// v·w matter only at the pieces' ends and are advanced there.
template <unsigned F>
inline void StepPixel(Interpolants& q, const Interpolants& step)
{
    if constexpr (UsesMapCoordinates(F)) {
        q.u += step.u;
        q.v += step.v;
    }
    if constexpr (F & SPAN_ENVIRONMENT) {
        q.envRow += step.envRow;
        q.envColumn += step.envColumn;
    }
    if constexpr (F & SPAN_SHADE) {
        q.red += step.red;
        q.green += step.green;
        q.blue += step.blue;
    }
    if constexpr (F & SPAN_FOG)
        q.level += step.level;
}

// The frame's pixels d[0], d[DIRECTION], …, d[7 × DIRECTION] in lanes 0 to 7.
template <int DIRECTION>
__attribute__((target("avx2"))) inline Lanes LoadPixels(const uint16_t* d)
{
    if constexpr (DIRECTION > 0)
        return Lanes(_mm256_cvtepu16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(d))));
    const __m128i reversed = _mm_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
    const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(d - (SPAN_LANES - 1)));
    return Lanes(_mm256_cvtepu16_epi32(_mm_shuffle_epi8(words, reversed)));
}

// The low 16 bits of lanes 0 to 7 into d[0], d[DIRECTION], ….
template <int DIRECTION>
__attribute__((target("avx2"))) inline void StorePixels(uint16_t* d, Lanes p)
{
    const __m256i forward = _mm256_setr_epi8(0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1,
                                             0, 1, 4, 5, 8, 9, 12, 13, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i backward = _mm256_setr_epi8(12, 13, 8, 9, 4, 5, 0, 1, -1, -1, -1, -1, -1, -1, -1, -1,
                                              12, 13, 8, 9, 4, 5, 0, 1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i halves = _mm256_shuffle_epi8(__m256i(p), DIRECTION > 0 ? forward : backward);
    // Lanes 0-3 sit in the low quadword of each half: forward low half first,
    // backward high half first.
    const __m256i words = _mm256_permute4x64_epi64(halves, DIRECTION > 0 ? 0x08 : 0x02);
    uint16_t* at = DIRECTION > 0 ? d : d - (SPAN_LANES - 1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm256_castsi256_si128(words));
}

// Lane i of an interpolant stepped by whole numbers: start + i × step,
// wrapping as i steps would; perGroup is the step of all eight lanes.
__attribute__((target("avx2"))) inline void StartLanes(uint32_t start, uint32_t step, Lanes& value, Lanes& perGroup)
{
    const __m256i index = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    value = Lanes(_mm256_add_epi32(_mm256_set1_epi32(int(start)),
                                   _mm256_mullo_epi32(index, _mm256_set1_epi32(int(step)))));
    perGroup = Lanes(_mm256_set1_epi32(int(step * uint32_t(SPAN_LANES))));
}

// Runs shorter than this are drawn a pixel at a time: eight lanes cost
// more than they save there. A bilinear pixel costs the most alone.
constexpr int64_t LaneRun(unsigned f)
{
    return (f & SPAN_BILINEAR) ? 4 : SPAN_LANES;
}

// Fewer than eight pixels from d on, by lanes. Where the group's eight
// pixels all lie in the frame they are read and stored at once, those past
// the n stored as they were read; else the n go through a buffer.
template <unsigned F, int DIRECTION>
__attribute__((target("avx2"))) inline void DrawShortGroup(const Surface& s, uint16_t* d, int64_t n,
                                                           const LaneInterpolants& p)
{
    const uintptr_t first = reinterpret_cast<uintptr_t>(Frame.target);
    const uintptr_t end = first + uintptr_t(Frame.width) * uintptr_t(Frame.height) * sizeof(uint16_t);
    const uintptr_t low = reinterpret_cast<uintptr_t>(d) - (DIRECTION > 0 ? 0 : (SPAN_LANES - 1) * sizeof(uint16_t));
    if (low >= first && low <= end - SPAN_LANES * sizeof(uint16_t) && end - first >= SPAN_LANES * sizeof(uint16_t)) {
        const Lanes frame = LoadPixels<DIRECTION>(d);
        const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
        StorePixels<DIRECTION>(d, lane < uint32_t(n) ? SpanPixel<F>(s, p, frame) : frame);
        return;
    }
    uint16_t pixels[SPAN_LANES] = {};
    for (int64_t i = 0; i < n; ++i)
        pixels[i] = d[i * DIRECTION];
    const Lanes frame = ReadsFrame(F) ? LoadPixels<1>(pixels) : Lanes{};
    StorePixels<1>(pixels, SpanPixel<F>(s, p, frame));
    for (int64_t i = 0; i < n; ++i)
        d[i * DIRECTION] = pixels[i];
}

// `count` pixels of member F eight at a time, from q with the steps of
// `step` (the fog level through its bits, `levelIncrement` per pixel); the
// last group of fewer than eight goes through a buffer, so that no pixel
// beyond the run is read or written. q ends as the scalar loop would leave
// it.
template <unsigned F, int DIRECTION>
__attribute__((target("avx2"), flatten)) void RunLanePixels(const Surface& surface, uint16_t* d, int64_t count,
                                                            Interpolants& q, const Interpolants& step,
                                                            uint32_t levelIncrement)
{
    const Surface s = surface;
    LaneInterpolants p{};
    LaneInterpolants by{};
    if constexpr (UsesMapCoordinates(F)) {
        StartLanes(q.u, step.u, p.u, by.u);
        StartLanes(q.v, step.v, p.v, by.v);
    }
    if constexpr (F & SPAN_ENVIRONMENT) {
        StartLanes(q.envRow, step.envRow, p.envRow, by.envRow);
        StartLanes(q.envColumn, step.envColumn, p.envColumn, by.envColumn);
    }
    if constexpr (F & SPAN_SHADE) {
        StartLanes(q.red, step.red, p.red, by.red);
        StartLanes(q.green, step.green, p.green, by.green);
        StartLanes(q.blue, step.blue, p.blue, by.blue);
    }
    Lanes levelBits{}, levelBy{};
    if constexpr (F & SPAN_FOG)
        StartLanes(BitsOfFloat(q.level), levelIncrement, levelBits, levelBy);
    const int64_t groups = count / SPAN_LANES;
    for (int64_t g = 0; g < groups; ++g, d += SPAN_LANES * DIRECTION) {
        const Lanes frame = ReadsFrame(F) ? LoadPixels<DIRECTION>(d) : Lanes{};
        if constexpr (F & SPAN_FOG)
            p.level = FloatLanes(levelBits);
        StorePixels<DIRECTION>(d, SpanPixel<F>(s, p, frame));
        p.u += by.u;
        p.v += by.v;
        p.envRow += by.envRow;
        p.envColumn += by.envColumn;
        p.red += by.red;
        p.green += by.green;
        p.blue += by.blue;
        levelBits += levelBy;
    }
    const int64_t rest = count - groups * SPAN_LANES;
    if (rest > 0) {
        if constexpr (F & SPAN_FOG)
            p.level = FloatLanes(levelBits);
        DrawShortGroup<F, DIRECTION>(s, d, rest, p);
    }
    const uint32_t n = uint32_t(count);
    q.u += n * step.u;
    q.v += n * step.v;
    q.envRow += n * step.envRow;
    q.envColumn += n * step.envColumn;
    q.red += n * step.red;
    q.green += n * step.green;
    q.blue += n * step.blue;
    if constexpr (F & SPAN_FOG)
        q.level = FloatOfBits(BitsOfFloat(q.level) + n * levelIncrement);
}

// The perspective divisions of eight lanes: TruncPerspective in each.
__attribute__((target("avx2"))) inline Lanes TruncPerspectiveLanes(FloatLanes value)
{
    Lanes truncated = Lanes(_mm256_cvttps_epi32(__m256(value)));
    const __m256i wrong = _mm256_cmpeq_epi32(__m256i(truncated), _mm256_set1_epi32(INT32_MIN));
    if (!_mm256_testz_si256(wrong, wrong)) {
        for (int i = 0; i < SPAN_LANES; ++i)
            truncated[i] = uint32_t(TruncPerspective(value[i]));
    }
    return truncated;
}

// Pixels whose interpolants all advance by whole steps: the 16.16 ones, and
// the fog level through its bits by `levelIncrement` a pixel (as FloatSteps
// has shown for these pixels). Eight at a time where the AVX2 loops run and
// the run is long enough.
template <unsigned F, int DIRECTION>
inline void RunWholePixels(const Surface& s, uint16_t* d, int64_t count, Interpolants& q, const Interpolants& step,
                           uint32_t levelIncrement)
{
    if constexpr (HasLanePixels(F)) {
        if (count >= LaneRun(F) && SpanVectors) {
            RunLanePixels<F, DIRECTION>(s, d, count, q, step, levelIncrement);
            return;
        }
    }
    Interpolants p = q;
    uint32_t levelBits = BitsOfFloat(p.level);
    for (; count > 0; --count, d += DIRECTION) {
        if constexpr (F & SPAN_FOG)
            p.level = FloatOfBits(levelBits);
        *d = uint16_t(SpanPixel<F>(s, p, uint32_t(*d)));
        StepPixel<F & ~SPAN_FOG>(p, step);
        levelBits += levelIncrement;
    }
    if constexpr (F & SPAN_FOG)
        p.level = FloatOfBits(levelBits);
    q = p;
}

// Pixels that add their steps one by one, the fog level's too.
template <unsigned F, int DIRECTION>
inline void RunSteppedPixels(const Surface& s, uint16_t* d, int64_t count, Interpolants& q, const Interpolants& step)
{
    Interpolants p = q;
    for (; count > 0; --count, d += DIRECTION) {
        *d = uint16_t(SpanPixel<F>(s, p, uint32_t(*d)));
        StepPixel<F>(p, step);
    }
    q = p;
}

// The fog level's pixels are taken in runs of this many.
constexpr int64_t FOG_RUN = 32;

// A fogged run: where FloatSteps shows the level's additions to be whole
// steps of its bit pattern the pixels take the level from the pattern,
// elsewhere they add the step one by one.
template <unsigned F, int DIRECTION>
void RunFogPixels(const Surface& s, uint16_t* d, int64_t count, Interpolants& q, const Interpolants& step,
                  FloatSteps& fog)
{
    while (count > 0) {
        const int64_t n = std::min(count, FOG_RUN);
        if (n >= LaneRun(F) && fog.Whole(BitsOfFloat(q.level), n))
            RunWholePixels<F, DIRECTION>(s, d, n, q, step, fog.Increment());
        else
            RunSteppedPixels<F, DIRECTION>(s, d, n, q, step);
        d += n * DIRECTION;
        count -= n;
    }
}

// The pixel loop, one per member and drawing direction (+1 left to right,
// −1 right to left), so that the compiler sees a constant stride. Short
// fogged runs add the level's step pixel by pixel in line.
template <unsigned F, int DIRECTION>
inline void RunPixels(const Surface& s, uint16_t* d, int64_t count, Interpolants& q, const Interpolants& step,
                      FloatSteps& fog)
{
    if constexpr (F & SPAN_FOG) {
        if (count < LaneRun(F))
            RunSteppedPixels<F, DIRECTION>(s, d, count, q, step);
        else
            RunFogPixels<F, DIRECTION>(s, d, count, q, step, fog);
    } else {
        RunWholePixels<F, DIRECTION>(s, d, count, q, step, 0);
    }
}

// The planes of a member's interpolants. With SPAN_PERSPECTIVE, u and v
// come from the planes of w, u·w × 65536 and v·w × 65536 instead.
struct SpanPlanes {
    FixedPlane u, v;
    FixedPlane envRow, envColumn;
    FixedPlane red, green, blue;
    Plane w, uw, vw;
    Plane level;
};

// The fog level of a corner from its camera z.
inline float FogLevel(float z)
{
    const FrameConstants& f = Frame;
    if (z < f.fogStart)
        return f.fogStartLevel;
    if (z > f.fogEnd)
        return f.fogEndLevel;
    return f.fogStartLevel + (f.fogEndLevel - f.fogStartLevel) * (z - f.fogStart) / (f.fogEnd - f.fogStart);
}

// A lit colour channel as the shaded member takes it: multiplied by the
// object colour's channel, the product's top byte kept.
inline float LitChannel(uint32_t lit, uint32_t colour, int shift, bool byColour)
{
    const uint32_t light = (lit >> shift) & 0xFF;
    return float(byColour ? (light * ((colour >> shift) & 0xFF)) >> 8 : light);
}

template <unsigned F>
SpanPlanes PlanesOf(const ScanTriangle& s, const Surface& surface)
{
    const uint32_t colour = surface.shadeColour;
    const Vertex& t = *s.top;
    const Vertex& m = *s.middle;
    const Vertex& b = *s.bottom;
    SpanPlanes p{};
    if constexpr (F & SPAN_PERSPECTIVE) {
        const float wt = 1.0f / t.camera[2];
        const float wm = 1.0f / m.camera[2];
        const float wb = 1.0f / b.camera[2];
        p.w = PlaneOf(s, wt, wm, wb);
        p.uw = PlaneOf(s, t.mapU * wt * FIXED_ONE, m.mapU * wm * FIXED_ONE, b.mapU * wb * FIXED_ONE);
        p.vw = PlaneOf(s, t.mapV * wt * FIXED_ONE, m.mapV * wm * FIXED_ONE, b.mapV * wb * FIXED_ONE);
    } else if constexpr (UsesMapCoordinates(F)) {
        p.u = FixedPlaneOf(s, t.mapU, m.mapU, b.mapU);
        p.v = FixedPlaneOf(s, t.mapV, m.mapV, b.mapV);
    }
    if constexpr (F & SPAN_ENVIRONMENT) {
        p.envRow = FixedPlaneOf(s, t.envRow, m.envRow, b.envRow);
        p.envColumn = FixedPlaneOf(s, t.envColumn, m.envColumn, b.envColumn);
    }
    if constexpr (F & SPAN_SHADE) {
        constexpr bool BY_COLOUR = !(F & (SPAN_TEXEL | SPAN_ENVIRONMENT));
        const auto lit = [colour](const Vertex& v, int shift) {
            return LitChannel(v.litColour, colour, shift, BY_COLOUR);
        };
        const FourPlanes planes(s, {lit(t, 16), lit(t, 8), lit(t, 0), 0.0f}, {lit(m, 16), lit(m, 8), lit(m, 0), 0.0f},
                                {lit(b, 16), lit(b, 8), lit(b, 0), 0.0f});
        FixedPlane channels[3];
        planes.Fixed(channels, 3);
        p.red = channels[0];
        p.green = channels[1];
        p.blue = channels[2];
    }
    if constexpr (F & SPAN_FOG)
        p.level = PlaneOf(s, FogLevel(t.camera[2]), FogLevel(m.camera[2]), FogLevel(b.camera[2]));
    return p;
}

// Up to eight perspective spans of one triangle, lane i holding span i's
// first pixel, its count and its interpolants there: w, u·w and v·w, the
// light and the fog level.
struct SpanColumns {
    uint16_t* first[SPAN_LANES];
    int32_t count[SPAN_LANES];
    uint32_t red[SPAN_LANES], green[SPAN_LANES], blue[SPAN_LANES];
    float w[SPAN_LANES], uw[SPAN_LANES], vw[SPAN_LANES];
    float level[SPAN_LANES];
    int32_t spans = 0;
};

struct NoColumns {};

// The low 16 bits of eight lanes as eight words.
__attribute__((target("avx2"))) inline __m128i PixelWords(Lanes pixel)
{
    const __m256i packed = _mm256_packus_epi32(__m256i(pixel & 0xFFFF), __m256i(pixel & 0xFFFF));
    return _mm256_castsi256_si128(_mm256_permute4x64_epi64(packed, 0x08));
}

// Eight words of eight vectors turned: word j of row i is word i of
// column j.
__attribute__((target("avx2"))) inline void TurnWords(const __m128i (&column)[SPAN_LANES],
                                                     __m128i (&row)[SPAN_LANES])
{
    __m128i pair[SPAN_LANES], quad[SPAN_LANES];
    for (int j = 0; j < SPAN_LANES; j += 2) {
        pair[j] = _mm_unpacklo_epi16(column[j], column[j + 1]);
        pair[j + 1] = _mm_unpackhi_epi16(column[j], column[j + 1]);
    }
    for (int j = 0; j < SPAN_LANES; j += 4) {
        quad[j] = _mm_unpacklo_epi32(pair[j], pair[j + 2]);
        quad[j + 1] = _mm_unpackhi_epi32(pair[j], pair[j + 2]);
        quad[j + 2] = _mm_unpacklo_epi32(pair[j + 1], pair[j + 3]);
        quad[j + 3] = _mm_unpackhi_epi32(pair[j + 1], pair[j + 3]);
    }
    for (int j = 0; j < 4; ++j) {
        row[2 * j] = _mm_unpacklo_epi64(quad[j], quad[j + 4]);
        row[2 * j + 1] = _mm_unpackhi_epi64(quad[j], quad[j + 4]);
    }
}

// Columns start to start + 7 of the first `spans` spans, word i of
// column[j] span i's pixel j + start pixels from its first in the drawing
// direction, every one of those pixels in its span: each span's row of
// them stored at once.
template <int DIRECTION>
__attribute__((target("avx2"))) inline void StoreColumnBlock(uint16_t* const (&first)[SPAN_LANES], int32_t spans,
                                                             int32_t start, const __m128i (&column)[SPAN_LANES])
{
    __m128i row[SPAN_LANES];
    TurnWords(column, row);
    const __m128i reversed = _mm_setr_epi8(14, 15, 12, 13, 10, 11, 8, 9, 6, 7, 4, 5, 2, 3, 0, 1);
    for (int32_t lane = 0; lane < spans; ++lane) {
        if constexpr (DIRECTION > 0)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(first[lane] + start), row[lane]);
        else
            _mm_storeu_si128(reinterpret_cast<__m128i*>(first[lane] - (start + SPAN_LANES - 1)),
                             _mm_shuffle_epi8(row[lane], reversed));
    }
}

template <class T>
__attribute__((target("avx2"))) inline auto ColumnLanes(const T (&values)[SPAN_LANES])
{
    std::conditional_t<std::is_same_v<T, float>, FloatLanes, Lanes> lanes;
    static_assert(sizeof lanes == sizeof values, "one value a lane");
    std::memcpy(&lanes, values, sizeof lanes);
    return lanes;
}

// The rows of one triangle for member F: edge values stepped per row, the
// start of each span corrected by its sub-pixel distance, pixels stepped in
// the drawing direction (gradients negated right to left).
template <unsigned F>
struct SpanRows {
    // The perspective members draw their spans as columns where the AVX2
    // loops run: eight spans in the lanes, pixel i of each at once. A
    // perspective span's set-up, its divisions at the start and at each
    // piece, costs as much as many of its pixels; side by side the
    // divisions, the pieces' steps and the fog level's additions are made
    // for eight spans at a time.
    static constexpr bool COLUMNS = (F & SPAN_PERSPECTIVE) && HasLanePixels(F);
    static_assert(!COLUMNS || !(F & SPAN_ENVIRONMENT), "columns carry no environment coordinates");

    const Surface& surface;
    const SpanPlanes& planes;
    uint16_t* target;
    int64_t width;
    ptrdiff_t direction;
    Interpolants edge;
    Interpolants step;
    float pieceW, pieceUw, pieceVw;  // N × the stepped gradients
    FloatSteps fog{0.0f};     // the fog level's steps per pixel
    FloatSteps wSteps{0.0f};  // w's steps per pixel
    std::conditional_t<COLUMNS, SpanColumns, NoColumns> columns;

    SpanRows(const Surface& s, const SpanPlanes& p, bool leftToRight)
        : surface(s), planes(p), target(Frame.target), width(Frame.width), direction(leftToRight ? 1 : -1)
    {
        const auto fixedStep = [leftToRight](int32_t dx) { return uint32_t(leftToRight ? dx : FixedNegate(dx)); };
        const auto realStep = [leftToRight](float dx) { return leftToRight ? dx : -dx; };
        edge = {uint32_t(p.u.edge), uint32_t(p.v.edge), uint32_t(p.envRow.edge), uint32_t(p.envColumn.edge),
                uint32_t(p.red.edge), uint32_t(p.green.edge), uint32_t(p.blue.edge),
                p.w.edge, p.uw.edge, p.vw.edge, p.level.edge};
        step = {fixedStep(p.u.dx), fixedStep(p.v.dx), fixedStep(p.envRow.dx), fixedStep(p.envColumn.dx),
                fixedStep(p.red.dx), fixedStep(p.green.dx), fixedStep(p.blue.dx),
                realStep(p.w.dx), realStep(p.uw.dx), realStep(p.vw.dx), realStep(p.level.dx)};
        const float pieceLength = float(1u << s.pieceShift);
        pieceW = pieceLength * step.w;
        pieceUw = pieceLength * step.uw;
        pieceVw = pieceLength * step.vw;
        fog = FloatSteps(step.level);
        wSteps = FloatSteps(step.w);
    }

    void Span(int64_t row, int64_t start, int64_t count, int32_t xLong)
    {
        uint16_t* d = target + row * width + start;
        if constexpr (Orderless(F)) {
            if (direction < 0)
                d -= count - 1;
            Interpolants none{};
            RunPixels<F, 1>(surface, d, count, none, step, fog);
            return;
        }
        const int64_t fraction = SpanFraction(start, xLong);
        const float distance = SpanDistance(start, xLong);
        const SpanPlanes& p = planes;
        Interpolants q{};
        if constexpr (UsesMapCoordinates(F) && !(F & SPAN_PERSPECTIVE)) {
            q.u = uint32_t(SpanStart(int32_t(edge.u), p.u.dx, fraction));
            q.v = uint32_t(SpanStart(int32_t(edge.v), p.v.dx, fraction));
        }
        if constexpr (F & SPAN_ENVIRONMENT) {
            q.envRow = uint32_t(SpanStart(int32_t(edge.envRow), p.envRow.dx, fraction));
            q.envColumn = uint32_t(SpanStart(int32_t(edge.envColumn), p.envColumn.dx, fraction));
        }
        if constexpr (F & SPAN_SHADE) {
            q.red = uint32_t(SpanStart(int32_t(edge.red), p.red.dx, fraction));
            q.green = uint32_t(SpanStart(int32_t(edge.green), p.green.dx, fraction));
            q.blue = uint32_t(SpanStart(int32_t(edge.blue), p.blue.dx, fraction));
        }
        if constexpr (F & SPAN_FOG)
            q.level = edge.level + p.level.dx * distance;
        if constexpr (COLUMNS) {
            if (SpanVectors) {
                AddColumn(d, count, distance, q);
                return;
            }
        }
        if constexpr (F & SPAN_PERSPECTIVE) {
            float w, uw, vw;
            StartPerspective(distance, w, uw, vw);
            DrawPerspectiveSpan(d, count, w, uw, vw, q);
        } else if (direction > 0) {
            RunPixels<F, 1>(surface, d, count, q, step, fog);
        } else {
            RunPixels<F, -1>(surface, d, count, q, step, fog);
        }
    }

    // w, u·w and v·w at a span's first pixel.
    void StartPerspective(float distance, float& w, float& uw, float& vw) const
    {
        const SpanPlanes& p = planes;
        w = edge.w + p.w.dx * distance;
        uw = edge.uw + p.uw.dx * distance;
        vw = edge.vw + p.vw.dx * distance;
    }

    // The span from d as a column, its values at its first pixel; eight
    // columns are drawn at once.
    void AddColumn(uint16_t* d, int64_t count, float distance, const Interpolants& q)
    {
        SpanColumns& c = columns;
        const int32_t i = c.spans;
        c.first[i] = d;
        c.count[i] = int32_t(count);
        c.red[i] = q.red;
        c.green[i] = q.green;
        c.blue[i] = q.blue;
        StartPerspective(distance, c.w[i], c.uw[i], c.vw[i]);
        c.level[i] = q.level;
        if (++c.spans == SPAN_LANES)
            DrawColumns();
    }

    // Draws the columns not yet drawn; called once the triangle's rows are
    // walked.
    void Finish()
    {
        if constexpr (COLUMNS) {
            if (columns.spans > 0)
                DrawColumns();
        }
    }

    void DrawColumns()
    {
        SpanColumns& c = columns;
        if (c.spans == 1 && c.count[0] < LaneRun(F)) {
            // A short span alone costs less a pixel at a time.
            c.spans = 0;
            Interpolants q{};
            q.red = c.red[0];
            q.green = c.green[0];
            q.blue = c.blue[0];
            q.level = c.level[0];
            DrawPerspectiveSpan(c.first[0], c.count[0], c.w[0], c.uw[0], c.vw[0], q);
            return;
        }
        if (direction > 0)
            DrawColumnsIn<1>();
        else
            DrawColumnsIn<-1>();
    }

    // The columns' pixels as PerspectiveSpan makes each span's: u and v
    // exact at the first pixel, at each piece's start the exact values a
    // piece on give their steps, w and the fog level added pixel by pixel
    // (Advance's and RunSteppedPixels' additions), the light stepped by
    // whole numbers. Lanes past the spans repeat the first; pixels past a
    // span's count are neither read nor stored, and their fog level is 0.
    template <int DIRECTION>
    __attribute__((target("avx2"), flatten)) void DrawColumnsIn()
    {
        SpanColumns& c = columns;
        const int32_t spans = c.spans;
        c.spans = 0;
        for (int32_t i = spans; i < SPAN_LANES; ++i) {
            c.first[i] = c.first[0];
            c.count[i] = 0;
            c.red[i] = c.red[0];
            c.green[i] = c.green[0];
            c.blue[i] = c.blue[0];
            c.w[i] = c.w[0];
            c.uw[i] = c.uw[0];
            c.vw[i] = c.vw[0];
            c.level[i] = c.level[0];
        }
        int32_t most = 0;
        for (int32_t i = 0; i < spans; ++i)
            most = std::max(most, c.count[i]);
        const Surface s = surface;
        uint16_t* first[SPAN_LANES];
        std::memcpy(first, c.first, sizeof first);
        const Lanes count = ColumnLanes(c.count);
        LaneInterpolants p{};
        p.red = ColumnLanes(c.red);
        p.green = ColumnLanes(c.green);
        p.blue = ColumnLanes(c.blue);
        FloatLanes level = ColumnLanes(c.level);
        FloatLanes w = ColumnLanes(c.w), uw = ColumnLanes(c.uw), vw = ColumnLanes(c.vw);
        Lanes stepU{}, stepV{};
        const uint32_t k = s.pieceShift;
        const int32_t pieceMask = (1 << k) - 1;
        p.u = TruncPerspectiveLanes(uw / w);
        p.v = TruncPerspectiveLanes(vw / w);
        // Column i's pixels, the frame's pixels there given where the
        // member reads them; then every interpolant one pixel on.
        const auto column = [&](int32_t i, Lanes frame) {
            if ((i & pieceMask) == 0) {
                uw += pieceUw;
                vw += pieceVw;
                const FloatLanes wEnd = 1.0f / (pieceW + w);
                stepU = Lanes(SignedLanes(TruncPerspectiveLanes(uw * wEnd) - p.u) >> k);
                stepV = Lanes(SignedLanes(TruncPerspectiveLanes(vw * wEnd) - p.v) >> k);
            }
            if constexpr (F & SPAN_FOG)
                p.level = FloatLanes(Lanes(level) & Lanes(SignedLanes(count) > i));
            const Lanes pixel = SpanPixel<F>(s, p, frame);
            p.u += stepU;
            p.v += stepV;
            p.red += step.red;
            p.green += step.green;
            p.blue += step.blue;
            w += step.w;
            level += step.level;
            return pixel;
        };
        // While every span has eight more pixels, eight columns at a time
        // are turned into rows of eight pixels, each stored at once.
        int32_t i = 0;
        if constexpr (!ReadsFrame(F)) {
            int32_t shortest = c.count[0];
            for (int32_t lane = 1; lane < spans; ++lane)
                shortest = std::min(shortest, c.count[lane]);
            for (; i + SPAN_LANES <= shortest; i += SPAN_LANES) {
                __m128i words[SPAN_LANES];
                for (int32_t j = 0; j < SPAN_LANES; ++j)
                    words[j] = PixelWords(column(i + j, Lanes{}));
                StoreColumnBlock<DIRECTION>(first, spans, i, words);
            }
        }
        for (; i < most; ++i) {
            const Lanes live = Lanes(SignedLanes(count) > i);
            const uint32_t drawn = uint32_t(_mm256_movemask_ps(__m256(live)));
            const int64_t at = int64_t(i) * DIRECTION;
            Lanes frame{};
            if constexpr (ReadsFrame(F)) {
                if (drawn == 0xFF) {
                    for (int32_t lane = 0; lane < SPAN_LANES; ++lane)
                        frame[lane] = first[lane][at];
                } else {
                    for (uint32_t rest = drawn; rest; rest &= rest - 1)
                        frame[__builtin_ctz(rest)] = first[__builtin_ctz(rest)][at];
                }
            }
            const Lanes pixel = column(i, frame);
            if (drawn == 0xFF) {
                for (int32_t lane = 0; lane < SPAN_LANES; ++lane)
                    first[lane][at] = uint16_t(pixel[lane]);
            } else {
                for (uint32_t rest = drawn; rest; rest &= rest - 1)
                    first[__builtin_ctz(rest)][at] = uint16_t(pixel[__builtin_ctz(rest)]);
            }
        }
    }

    // The span from d, from w, u·w and v·w at its first pixel, a pixel at a
    // time.
    void DrawPerspectiveSpan(uint16_t* d, int64_t count, float w, float uw, float vw, const Interpolants& q)
    {
        if (direction > 0)
            PerspectiveSpan<1>(surface, fog, wSteps, d, count, w, uw, vw, q);
        else
            PerspectiveSpan<-1>(surface, fog, wSteps, d, count, w, uw, vw, q);
    }

    // Pieces of N = 2^k pixels: u and v exact at the span start, then per
    // piece the exact values N pixels on give the affine steps
    // (int(u·w × w_end) − u) >> k. The last piece is shorter with the same
    // steps.
    template <int DIRECTION>
    void PerspectiveSpan(const Surface& s, FloatSteps& levels, FloatSteps& ws, uint16_t* d, int64_t count, float w,
                         float uw, float vw, Interpolants q)
    {
        const uint32_t k = s.pieceShift;
        const int64_t length = int64_t(1) << k;
        const float pieceWEnd = pieceW, pieceUwEnd = pieceUw, pieceVwEnd = pieceVw;
        q.u = uint32_t(TruncPerspective(uw / w));
        q.v = uint32_t(TruncPerspective(vw / w));
        Interpolants pieceStep = step;
        while (true) {
            uw += pieceUwEnd;
            vw += pieceVwEnd;
            const float wEnd = 1.0f / (pieceWEnd + w);
            pieceStep.u = uint32_t(int32_t(uint32_t(TruncPerspective(uw * wEnd)) - q.u) >> k);
            pieceStep.v = uint32_t(int32_t(uint32_t(TruncPerspective(vw * wEnd)) - q.v) >> k);
            if (count <= length) {
                RunPixels<F, DIRECTION>(s, d, count, q, pieceStep, levels);
                break;
            }
            RunPixels<F, DIRECTION>(s, d, length, q, pieceStep, levels);
            d += length * DIRECTION;
            count -= length;
            w = ws.Advance(w, length);
        }
    }

    void NextRow()
    {
        const SpanPlanes& p = planes;
        if constexpr (UsesMapCoordinates(F) && !(F & SPAN_PERSPECTIVE)) {
            edge.u += uint32_t(p.u.dy);
            edge.v += uint32_t(p.v.dy);
        }
        if constexpr (F & SPAN_ENVIRONMENT) {
            edge.envRow += uint32_t(p.envRow.dy);
            edge.envColumn += uint32_t(p.envColumn.dy);
        }
        if constexpr (F & SPAN_SHADE) {
            edge.red += uint32_t(p.red.dy);
            edge.green += uint32_t(p.green.dy);
            edge.blue += uint32_t(p.blue.dy);
        }
        if constexpr (F & SPAN_PERSPECTIVE) {
            edge.w += p.w.dy;
            edge.uw += p.uw.dy;
            edge.vw += p.vw.dy;
        }
        if constexpr (F & SPAN_FOG)
            edge.level += p.level.dy;
    }

    // Only triangles with corners above the frame skip rows; their values
    // need not match row-by-row stepping exactly.
    void SkipRows(int64_t n)
    {
        const SpanPlanes& p = planes;
        const auto skip = [n](uint32_t& e, int32_t dy) { e = uint32_t(FixedAdvance(int32_t(e), dy, n)); };
        skip(edge.u, p.u.dy);
        skip(edge.v, p.v.dy);
        skip(edge.envRow, p.envRow.dy);
        skip(edge.envColumn, p.envColumn.dy);
        skip(edge.red, p.red.dy);
        skip(edge.green, p.green.dy);
        skip(edge.blue, p.blue.dy);
        const float rows = float(n);
        edge.w += rows * p.w.dy;
        edge.uw += rows * p.uw.dy;
        edge.vw += rows * p.vw.dy;
        edge.level += rows * p.level.dy;
    }
};

// Draws the triangle with member F. The interpolating members need a
// triangle of non-zero area; the constant ones draw the rows of any
// triangle whose corners span rows.
template <unsigned F>
void DrawSpans(const ScanTriangle& scan, const Surface& surface)
{
    const SpanPlanes planes = PlanesOf<F>(scan, surface);
    SpanRows<F> rows(surface, planes, scan.longLeft);
    ScanRows(scan, rows);
    rows.Finish();
}

// ---- Surfaces ----------------------------------------------------------------------

// m1's filter bits: bit 0 bilinear, bit 1 mip-mapped.
constexpr uint32_t FILTER_BILINEAR = 0x1;
constexpr uint32_t FILTER_MIPMAP = 0x2;
// m2 = 1: the environment map filtered bilinearly.
constexpr uint32_t ENVIRONMENT_BILINEAR = 1;

// Whether the fillers can address the texture: pixels present and sides of
// at most 65536 (the shifts then stay within a word). A member whose map
// cannot be addressed draws nothing.
inline bool Addressable(const Texture* texture)
{
    return texture && texture->pixels && texture->widthShift <= 16 && texture->heightShift <= 16;
}

// The mip level for the triangle's 16.16 gradients du/dx and dv/dx: from
// g = |du/dx| + |dv/dx| + 0x1FFFF, the number of significant bits of
// g >> 18, unless (g >> 17) >> levels is not 0, which takes the last level.
inline uint32_t MipLevel(int32_t dudx, int32_t dvdx, uint32_t levels)
{
    const uint64_t g = uint64_t(std::abs(int64_t(dudx))) + uint64_t(std::abs(int64_t(dvdx))) + 0x1FFFF;
    const uint64_t beyond = levels < 64 ? (g >> 17) >> levels : 0;
    if (beyond != 0)
        return levels;
    uint32_t level = 0;
    for (uint64_t rest = g >> 18; rest != 0; rest >>= 1)
        ++level;
    return level;
}

// The levels a texture offers: its mip levels when their table is there, no
// more than the smaller side's log2.
inline uint32_t MipLevelsOf(const Texture* texture)
{
    if (!(texture->textureFlags & TEXTURE_MIPLEVELS) || !texture->mipTable)
        return 0;
    return std::min({texture->mipLevels, texture->widthShift, texture->heightShift});
}

// Addressing of level L of a texture.
inline TexelAddress AddressOf(const Texture* texture, uint32_t level)
{
    const uint32_t widthShift = texture->widthShift;
    TexelAddress at;
    at.rowShift = 2 * level + 16 - widthShift;
    at.columnShift = level + 16;
    at.rowMask = (texture->heightMask >> level) << (widthShift - level);
    at.columnMask = texture->widthMask >> level;
    at.fractionShift = level + 11;
    at.rowUnit = 1u << (widthShift - level);
    return at;
}

inline TexelMap TexelMapOf(const Texture* texture, uint32_t level)
{
    const void* pixels = level == 0 ? texture->pixels : texture->mipTable[level];
    return {static_cast<const uint16_t*>(pixels), AddressOf(texture, level)};
}

// The level of a mip-mapped texture for a triangle: chosen from the affine
// 16.16 gradients of the corners' map u and v (also for the perspective
// members, whose steps vary along a span).
inline uint32_t TriangleMipLevel(const ScanTriangle& s, const Texture* texture)
{
    const int32_t dudx = FixedPlaneOf(s, s.top->mapU, s.middle->mapU, s.bottom->mapU).dx;
    const int32_t dvdx = FixedPlaneOf(s, s.top->mapV, s.middle->mapV, s.bottom->mapV).dx;
    return MipLevel(dudx, dvdx, MipLevelsOf(texture));
}

// The texture map of an object with the level its filter word asks for.
inline TexelMap TextureMapOf(const ScanTriangle& s, const Texture* texture, uint32_t filter)
{
    const uint32_t level = (filter & FILTER_MIPMAP) ? TriangleMipLevel(s, texture) : 0;
    return TexelMapOf(texture, level);
}

inline GreyMap GreyMapOf(const Texture* map)
{
    return {map->greyMap, AddressOf(map, 0)};
}

// A transparency map the fillers can read: addressable, with intensities.
inline bool GreyReadable(const Texture* map)
{
    return Addressable(map) && map->greyMap;
}

// The set-up every interpolating member starts with: the corners span rows
// and enclose a non-zero area.
inline bool SetUpInterpolating(const TriangleRef& triangle, ScanTriangle& scan)
{
    return SetUpScan(triangle, scan) && scan.area != 0.0f;
}

// Perspective pieces of 2^k pixels, k from the object's correction value;
// beyond 30 the pieces would not fit a word, and no span is that long.
constexpr uint32_t PIECE_SHIFT_LIMIT = 30;

inline uint32_t PieceShiftOf(const ObjectEntity& object)
{
    return std::min(object.correctionValue, PIECE_SHIFT_LIMIT);
}

// ---- Members -----------------------------------------------------------------------

// The object that owns a triangle drawn into the target buffer; null when
// there is no owner object or no target.
inline const ObjectEntity* TargetOwner(const TriangleRef& triangle)
{
    return Frame.target ? OwnerObject(triangle) : nullptr;
}

template <unsigned F>
void DrawFiltered(const ScanTriangle& scan, const Surface& surface, bool bilinear)
{
    if (bilinear)
        DrawSpans<F | SPAN_BILINEAR>(scan, surface);
    else
        DrawSpans<F>(scan, surface);
}

// Member F (with SPAN_TEXEL) on the object's texture map, filtered as m1
// says: bilinear and mip levels.
template <unsigned F>
void DrawTextured(const TriangleRef& triangle, Surface surface)
{
    const ObjectEntity* object = TargetOwner(triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(triangle, scan))
        return;
    const uint32_t filter = object->material[1];
    surface.texels = TextureMapOf(scan, object->textureMap, filter);
    surface.pieceShift = PieceShiftOf(*object);
    DrawFiltered<F>(scan, surface, filter & FILTER_BILINEAR);
}

// Member F blended into the frame: by the transparency map's intensity at
// (u, v) when the object has a transparency map, else by its colour's alpha.
// A transparency map without intensities draws nothing.
template <unsigned F>
void DrawTransparent(const ScanTriangle& scan, const ObjectEntity& object, Surface surface)
{
    const Texture* map = object.transparencyMap;
    if (!map) {
        surface.alpha = AlphaOf(object.colour);
        DrawSpans<F | SPAN_ALPHA>(scan, surface);
    } else if (GreyReadable(map)) {
        surface.grey = GreyMapOf(map);
        DrawSpans<F | SPAN_GREY>(scan, surface);
    }
}

}  // namespace kvor3d
