#include "display/convert.h"

#include <cstring>

namespace kvor3d {

// Widening shifts left and leaves the new low bits zero; narrowing keeps the
// top bits. Each converter is one pass in memory order with no branches.
namespace {

inline uint32_t Load16(const uint8_t* p)
{
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline uint32_t Load32(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store16(uint8_t* p, uint32_t v)
{
    uint16_t w = uint16_t(v);
    std::memcpy(p, &w, 2);
}

inline void Store32(uint8_t* p, uint32_t v)
{
    std::memcpy(p, &v, 4);
}

inline void Store24(uint8_t* p, uint32_t r, uint32_t g, uint32_t b)
{
    p[0] = uint8_t(r);
    p[1] = uint8_t(g);
    p[2] = uint8_t(b);
}

// Source pixel readers: 8-bit index, 16-bit word, 24-bit R,G,B bytes packed
// as 0xRRGGBB, 32-bit word.
struct From8 {
    static constexpr int bytes = 1;
    static uint32_t Read(const uint8_t* p) { return *p; }
};
struct From16 {
    static constexpr int bytes = 2;
    static uint32_t Read(const uint8_t* p) { return Load16(p); }
};
struct From24 {
    static constexpr int bytes = 3;
    static uint32_t Read(const uint8_t* p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
};
struct From32 {
    static constexpr int bytes = 4;
    static uint32_t Read(const uint8_t* p) { return Load32(p); }
};

// Image pixel writers.
struct To8 {
    static constexpr int bytes = 1;
    static void Write(uint8_t* p, uint32_t v, uint32_t) { *p = uint8_t(v); }
};
struct To16 {
    static constexpr int bytes = 2;
    static void Write(uint8_t* p, uint32_t v, uint32_t) { Store16(p, v); }
};
// The 24-bit writer takes 0xRRGGBB and writes red first.
struct To24 {
    static constexpr int bytes = 3;
    static void Write(uint8_t* p, uint32_t v, uint32_t) { Store24(p, (v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF); }
};
struct To32 {
    static constexpr int bytes = 4;
    static void Write(uint8_t* p, uint32_t v, uint32_t opaque) { Store32(p, v | opaque); }
};

// The job's fields are read into locals once: the image is written through a
// byte pointer, which could alias the job, and would otherwise force a reload
// of every field per pixel and keep the loop from being vectorised.
template <typename From, typename To, typename Map>
void Convert(const ConvertJob& job, Map map)
{
    const uint8_t* src = job.source;
    uint8_t* dst = job.image;
    const uint32_t pixels = job.pixels;
    const uint8_t* const table = job.colourTable;
    const uint32_t opaque = job.opaque;
    for (uint32_t i = 0; i < pixels; ++i) {
        To::Write(dst, map(From::Read(src), table), opaque);
        src += From::bytes;
        dst += To::bytes;
    }
}

// Byte offsets of the two 16-bit halves of a host-order 32-bit word.
constexpr int LOW_HALF = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 0 : 2;
constexpr int HIGH_HALF = 2 - LOW_HALF;

// 16-bit source words into 32-bit image pixels, each written as its two
// halves: 0x00RR from `high`, 0xGGBB from `low`, with the opaque bits ORed
// into each. All the arithmetic stays 16 bits wide, so the compiler works on
// eight pixels per vector instead of four.
template <typename High, typename Low>
void ConvertWordsTo32(const ConvertJob& job, High high, Low low)
{
    const uint8_t* src = job.source;
    uint8_t* dst = job.image;
    const uint32_t pixels = job.pixels;
    const uint16_t opaqueHigh = uint16_t(job.opaque >> 16);
    const uint16_t opaqueLow = uint16_t(job.opaque);
    for (uint32_t i = 0; i < pixels; ++i) {
        uint16_t p = uint16_t(Load16(src));
        Store16(dst + HIGH_HALF, high(p) | opaqueHigh);
        Store16(dst + LOW_HALF, low(p) | opaqueLow);
        src += 2;
        dst += 4;
    }
}

void Copy(const ConvertJob& job)
{
    std::memcpy(job.image, job.source, job.sourceBytes);
}

uint32_t Table16(const uint8_t* table, uint32_t index)
{
    return Load16(table + 2 * index);
}

uint32_t Table32(const uint8_t* table, uint32_t index)
{
    return Load32(table + 4 * index);
}

using Table = const uint8_t*;

}  // namespace

int SourceFlag(int sourceDepth)
{
    switch (sourceDepth) {
    case 8: return CONVERT_FROM_8;
    case 15: return CONVERT_FROM_15;
    case 16: return CONVERT_FROM_16;
    case 24: return CONVERT_FROM_24;
    case 32: return CONVERT_FROM_32;
    default: return 0;
    }
}

// Servers keep depth 24 in 32-bit pixels almost everywhere: the layout, not
// the depth, decides which converter writes the image.
int DestinationFlag(int visualDepth, int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 8: return visualDepth == 8 ? CONVERT_TO_8 : 0;
    case 16: return visualDepth == 15 ? CONVERT_TO_15 : visualDepth == 16 ? CONVERT_TO_16 : 0;
    case 24: return visualDepth == 24 ? CONVERT_TO_24 : 0;
    case 32: return (visualDepth == 24 || visualDepth == 32) ? CONVERT_TO_32 : 0;
    default: return 0;
    }
}

namespace {

bool ConvertFrame(int code, const ConvertJob& job)
{
    switch (code) {
    // To an 8-bit 3-3-2 colour-cube index.
    case 33: Copy(job); break;
    case 34: Convert<From16, To8>(job, [](uint32_t p, Table) { return ((p >> 7) & 0xE0) | ((p >> 5) & 0x1C) | ((p >> 3) & 3); }); break;
    case 36: Convert<From16, To8>(job, [](uint32_t p, Table) { return ((p >> 8) & 0xE0) | ((p >> 6) & 0x1C) | ((p >> 3) & 3); }); break;
    case 40: Convert<From24, To8>(job, [](uint32_t p, Table) { return ((p >> 16) & 0xE0) | (((p >> 8) & 0xFF) >> 3 & 0x1C) | ((p & 0xFF) >> 6); }); break;
    case 48: Convert<From32, To8>(job, [](uint32_t p, Table) { return ((p >> 16) & 0xE0) | ((p >> 11) & 0x1C) | ((p >> 6) & 3); }); break;
    // To 15-bit 0RRRRRGGGGGBBBBB.
    case 65: Convert<From8, To16>(job, [](uint32_t p, Table t) { return Table16(t, p); }); break;
    case 66: Copy(job); break;
    case 68: Convert<From16, To16>(job, [](uint32_t p, Table) { return ((p & 0xFFC0) >> 1) | (p & 0x1F); }); break;
    case 72: Convert<From24, To16>(job, [](uint32_t p, Table) { return ((p >> 19) << 10) | (((p >> 8) & 0xFF) >> 3 << 5) | ((p & 0xFF) >> 3); }); break;
    case 80: Convert<From32, To16>(job, [](uint32_t p, Table) { return (((p >> 19) & 0x1F) << 10) | (((p >> 11) & 0x1F) << 5) | ((p >> 3) & 0x1F); }); break;
    // To 16-bit RRRRRGGGGGGBBBBB.
    case 129: Convert<From8, To16>(job, [](uint32_t p, Table t) { return Table16(t, p); }); break;
    case 130: Convert<From16, To16>(job, [](uint32_t p, Table) { return ((p >> 5) << 6) | (p & 0x1F); }); break;
    case 132: Copy(job); break;
    case 136: Convert<From24, To16>(job, [](uint32_t p, Table) { return ((p >> 19) << 11) | (((p >> 8) & 0xFF) >> 2 << 5) | ((p & 0xFF) >> 3); }); break;
    case 144: Convert<From32, To16>(job, [](uint32_t p, Table) { return (((p >> 19) & 0x1F) << 11) | (((p >> 10) & 0x3F) << 5) | ((p >> 3) & 0x1F); }); break;
    // To 24-bit bytes red, green, blue (the writer takes 0xRRGGBB).
    case 257: Convert<From8, To24>(job, [](uint32_t p, Table t) { return Table32(t, p); }); break;
    case 258: Convert<From16, To24>(job, [](uint32_t p, Table) { return (((p >> 10) & 0x1F) << 19) | (((p >> 5) & 0x1F) << 11) | ((p & 0x1F) << 3); }); break;
    case 260: Convert<From16, To24>(job, [](uint32_t p, Table) { return ((p >> 11) << 19) | (((p >> 5) & 0x3F) << 10) | ((p & 0x1F) << 3); }); break;
    case 264: Copy(job); break;
    case 272: Convert<From32, To24>(job, [](uint32_t p, Table) { return p & 0xFFFFFF; }); break;
    // To 32-bit 0x00RRGGBB (alpha ORed in where the visual has one).
    case 513: Convert<From8, To32>(job, [](uint32_t p, Table t) { return Table32(t, p); }); break;
    // Red from bits 14-10 to 7-3 of the high half; green from 9-5 to 15-11
    // and blue from 4-0 to 7-3 of the low half.
    case 514: ConvertWordsTo32(job, [](uint32_t p) { return (p >> 7) & 0xF8; },
                               [](uint32_t p) { return ((p << 6) & 0xF800) | ((p << 3) & 0xF8); }); break;
    // Red from bits 15-11 to 7-3 of the high half; green from 10-5 to 15-10
    // and blue from 4-0 to 7-3 of the low half.
    case 516: ConvertWordsTo32(job, [](uint32_t p) { return (p >> 8) & 0xF8; },
                               [](uint32_t p) { return ((p << 5) & 0xFC00) | ((p << 3) & 0xF8); }); break;
    case 520: Convert<From24, To32>(job, [](uint32_t p, Table) { return p; }); break;
    case 528:
        if (job.opaque == 0)
            Copy(job);
        else
            Convert<From32, To32>(job, [](uint32_t p, Table) { return p; });
        break;
    default: return false;
    }
    return true;
}

// Bytes per image pixel of a valid conversion code.
int ImageBytes(int code)
{
    if (code & CONVERT_TO_8)
        return 1;
    if (code & (CONVERT_TO_15 | CONVERT_TO_16))
        return 2;
    return code & CONVERT_TO_24 ? 3 : 4;
}

// Widens a line of `width` converted pixels, which sit at the end of the
// line, in place into `scale` copies of each pixel from the line's start.
// Working forwards never overwrites a pixel before it is read: pixel x is
// read from (scale − 1) × width + x and its copies end at (x + 1) × scale.
// Common scales are fixed at compile time (N), so the copies unroll.
template <int B, uint32_t N>
void WidenLine(uint8_t* line, uint32_t width, uint32_t scale)
{
    const uint32_t n = N ? N : scale;
    const uint8_t* from = line + size_t(n - 1) * width * B;
    for (uint32_t x = 0; x < width; ++x) {
        uint8_t pixel[B];
        std::memcpy(pixel, from + size_t(x) * B, B);
        for (uint32_t k = 0; k < n; ++k, line += B)
            std::memcpy(line, pixel, B);
    }
}

using Widener = void (*)(uint8_t*, uint32_t, uint32_t);

template <int B>
Widener WidenerFor(uint32_t scale)
{
    switch (scale) {
    case 2: return WidenLine<B, 2>;
    case 3: return WidenLine<B, 3>;
    case 4: return WidenLine<B, 4>;
    default: return WidenLine<B, 0>;
    }
}

Widener WidenerFor(int bytes, uint32_t scale)
{
    switch (bytes) {
    case 1: return WidenerFor<1>(scale);
    case 2: return WidenerFor<2>(scale);
    case 3: return WidenerFor<3>(scale);
    default: return WidenerFor<4>(scale);
    }
}

// Line by line: the source line is converted once, by the same converter as
// at scale 1, into the end of its first image line, widened there, and the
// widened line copied to the scale − 1 lines below. Each line stays in the
// cache from its conversion to its last copy.
bool ConvertScaled(int code, const ConvertJob& job)
{
    const uint32_t lines = job.pixels / job.width;
    const uint32_t scale = job.scale;
    const int bytes = ImageBytes(code);
    const size_t imageLine = size_t(job.width) * scale * size_t(bytes);
    const Widener widen = WidenerFor(bytes, scale);
    ConvertJob line = job;
    line.pixels = job.width;
    line.sourceBytes = lines ? job.sourceBytes / lines : 0;
    line.scale = 1;
    if (lines == 0)
        return ConvertFrame(code, ConvertJob{job.source, job.image, 0, 0, job.colourTable, job.opaque});
    for (uint32_t y = 0; y < lines; ++y) {
        uint8_t* first = job.image + size_t(y) * scale * imageLine;
        line.source = job.source + size_t(y) * line.sourceBytes;
        line.image = first + size_t(scale - 1) * job.width * size_t(bytes);
        if (!ConvertFrame(code, line))
            return false;
        widen(first, job.width, scale);
        for (uint32_t k = 1; k < scale; ++k)
            std::memcpy(first + k * imageLine, first, imageLine);
    }
    return true;
}

}  // namespace

bool ConvertPixels(int code, const ConvertJob& job)
{
    if (job.scale > 1 && job.width > 0)
        return ConvertScaled(code, job);
    return ConvertFrame(code, job);
}

}  // namespace kvor3d
