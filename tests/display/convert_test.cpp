#include "display/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t GUARD = 0xCD;
constexpr int GUARD_BYTES = 16;

Bytes Words16(std::initializer_list<uint16_t> words)
{
    Bytes bytes(words.size() * 2);
    std::memcpy(bytes.data(), words.begin(), bytes.size());
    return bytes;
}

Bytes Words32(std::initializer_list<uint32_t> words)
{
    Bytes bytes(words.size() * 4);
    std::memcpy(bytes.data(), words.begin(), bytes.size());
    return bytes;
}

// One 1024-byte colour table that holds both readings at once: 16-bit entries
// 5, 200 and 255 and 32-bit entries 1, 200 and 255 sit in disjoint bytes,
// entry 0 is zero in both, and every other byte is 0xEE.
Bytes ColourTable()
{
    Bytes table(1024, 0xEE);
    auto put16 = [&](int index, uint16_t value) { std::memcpy(&table[2 * index], &value, 2); };
    auto put32 = [&](int index, uint32_t value) { std::memcpy(&table[4 * index], &value, 4); };
    put32(0, 0);
    put16(5, 0x7C00);
    put16(200, 0x1234);
    put16(255, 0x7FFF);
    put32(1, 0x00FF0000);
    put32(200, 0x00123456);
    put32(255, 0x00ABCDEF);
    return table;
}

// Runs `code` over `source` (pixels of `sourceBytesPerPixel` bytes) into an
// image of `imageBytesPerPixel`-byte pixels and returns the image. The guard
// bytes after the image must come back untouched.
Bytes Convert(int code, const Bytes& source, int sourceBytesPerPixel, int imageBytesPerPixel, uint32_t opaque = 0)
{
    const Bytes table = ColourTable();
    uint32_t pixels = uint32_t(source.size() / sourceBytesPerPixel);
    Bytes image(pixels * imageBytesPerPixel + GUARD_BYTES, GUARD);
    ConvertJob job{source.data(), image.data(), pixels, uint32_t(source.size()), table.data(), opaque};
    EXPECT_TRUE(ConvertPixels(code, job)) << "code " << code;
    for (size_t i = image.size() - GUARD_BYTES; i < image.size(); ++i)
        EXPECT_EQ(image[i], GUARD) << "code " << code << " wrote past the image at byte " << i;
    image.resize(image.size() - GUARD_BYTES);
    return image;
}

// Colour table indices that read the entries set above, as 16-bit and as
// 32-bit entries; index 7 falls on filler bytes.
const Bytes FROM_8_16 = {255, 0, 5, 200, 7};
const Bytes FROM_8_32 = {255, 0, 1, 200, 7};

// Telling pixels in each of the other source layouts, in this order: white,
// black, red, green, blue, a mixed colour, and a last one made of bits that
// some conversions drop (bit 15 of a 15-bit word, green's lowest bit in a
// 16-bit word, low bits of 24-bit components, the top byte of a 32-bit word).
// The mixed colour is red 10110101, green 01101110, blue 11001011 at 8 bits,
// kept to the top 5 or 6 bits in the narrower layouts.
const Bytes FROM_15 = Words16({0x7FFF, 0x0000, 0x7C00, 0x03E0, 0x001F, 0x59B9, 0x8000});
const Bytes FROM_16 = Words16({0xFFFF, 0x0000, 0xF800, 0x07E0, 0x001F, 0xB379, 0x0020});
const Bytes FROM_24 = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00,
                       0x00, 0x00, 0xFF, 0xB5, 0x6E, 0xCB, 0x07, 0x03, 0x3F};
const Bytes FROM_32 = Words32({0x00FFFFFF, 0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF, 0x00B56ECB, 0xFF000000});

TEST(ConvertPixels, To8BitTakesTheTop332BitsOfEachComponent)
{
    EXPECT_EQ(Convert(34, FROM_15, 2, 1), (Bytes{0xFF, 0x00, 0xE0, 0x1C, 0x03, 0xAF, 0x00}));
    EXPECT_EQ(Convert(36, FROM_16, 2, 1), (Bytes{0xFF, 0x00, 0xE0, 0x1C, 0x03, 0xAF, 0x00}));
    // The last 24-bit pixel keeps only the bits below the top 3-3-2.
    EXPECT_EQ(Convert(40, FROM_24, 3, 1), (Bytes{0xFF, 0x00, 0xE0, 0x1C, 0x03, 0xAF, 0x00}));
    EXPECT_EQ(Convert(48, FROM_32, 4, 1), (Bytes{0xFF, 0x00, 0xE0, 0x1C, 0x03, 0xAF, 0x00}));
}

TEST(ConvertPixels, To15BitNarrowsToTheTopFiveBits)
{
    // Green loses its lowest bit, so 16-bit 0x0020 turns black.
    EXPECT_EQ(Convert(68, FROM_16, 2, 2), Words16({0x7FFF, 0x0000, 0x7C00, 0x03E0, 0x001F, 0x59B9, 0x0000}));
    EXPECT_EQ(Convert(72, FROM_24, 3, 2), Words16({0x7FFF, 0x0000, 0x7C00, 0x03E0, 0x001F, 0x59B9, 0x0007}));
    EXPECT_EQ(Convert(80, FROM_32, 4, 2), Words16({0x7FFF, 0x0000, 0x7C00, 0x03E0, 0x001F, 0x59B9, 0x0000}));
}

TEST(ConvertPixels, To16BitGivesGreenSixBits)
{
    // White becomes every bit but bit 5, green's new low bit; bit 15 of a
    // 15-bit source is ignored.
    EXPECT_EQ(Convert(130, FROM_15, 2, 2), Words16({0xFFDF, 0x0000, 0xF800, 0x07C0, 0x001F, 0xB359, 0x0000}));
    EXPECT_EQ(Convert(136, FROM_24, 3, 2), Words16({0xFFFF, 0x0000, 0xF800, 0x07E0, 0x001F, 0xB379, 0x0007}));
    EXPECT_EQ(Convert(144, FROM_32, 4, 2), Words16({0xFFFF, 0x0000, 0xF800, 0x07E0, 0x001F, 0xB379, 0x0000}));
}

TEST(ConvertPixels, To24BitWritesRedGreenBlueBytesWidenedWithZeroLowBits)
{
    EXPECT_EQ(Convert(258, FROM_15, 2, 3), (Bytes{0xF8, 0xF8, 0xF8, 0x00, 0x00, 0x00, 0xF8, 0x00, 0x00, 0x00, 0xF8,
                                                  0x00, 0x00, 0x00, 0xF8, 0xB0, 0x68, 0xC8, 0x00, 0x00, 0x00}));
    EXPECT_EQ(Convert(260, FROM_16, 2, 3), (Bytes{0xF8, 0xFC, 0xF8, 0x00, 0x00, 0x00, 0xF8, 0x00, 0x00, 0x00, 0xFC,
                                                  0x00, 0x00, 0x00, 0xF8, 0xB0, 0x6C, 0xC8, 0x00, 0x04, 0x00}));
    // The top byte of a 32-bit source is dropped.
    EXPECT_EQ(Convert(272, FROM_32, 4, 3), (Bytes{0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0xFF,
                                                  0x00, 0x00, 0x00, 0xFF, 0xB5, 0x6E, 0xCB, 0x00, 0x00, 0x00}));
}

TEST(ConvertPixels, To32BitGives00RRGGBBWidenedWithZeroLowBits)
{
    EXPECT_EQ(Convert(514, FROM_15, 2, 4),
              Words32({0x00F8F8F8, 0x00000000, 0x00F80000, 0x0000F800, 0x000000F8, 0x00B068C8, 0x00000000}));
    EXPECT_EQ(Convert(516, FROM_16, 2, 4),
              Words32({0x00F8FCF8, 0x00000000, 0x00F80000, 0x0000FC00, 0x000000F8, 0x00B06CC8, 0x00000400}));
    EXPECT_EQ(Convert(520, FROM_24, 3, 4),
              Words32({0x00FFFFFF, 0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF, 0x00B56ECB, 0x0007033F}));
}

TEST(ConvertPixels, FromColourIndicesReads16BitEntriesFor15And16BitImages)
{
    const Bytes expected = Words16({0x7FFF, 0x0000, 0x7C00, 0x1234, 0xEEEE});
    EXPECT_EQ(Convert(65, FROM_8_16, 1, 2), expected);
    EXPECT_EQ(Convert(129, FROM_8_16, 1, 2), expected);
}

TEST(ConvertPixels, FromColourIndicesReads32BitEntriesFor24And32BitImages)
{
    // A 24-bit image drops the entry's top byte.
    EXPECT_EQ(Convert(257, FROM_8_32, 1, 3),
              (Bytes{0xAB, 0xCD, 0xEF, 0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x12, 0x34, 0x56, 0xEE, 0xEE, 0xEE}));
    EXPECT_EQ(Convert(513, FROM_8_32, 1, 4), Words32({0x00ABCDEF, 0x00000000, 0x00FF0000, 0x00123456, 0xEEEEEEEE}));
}

TEST(ConvertPixels, CopiesAreByteIdenticalToTheSource)
{
    Bytes source(96);
    for (size_t i = 0; i < source.size(); ++i)
        source[i] = uint8_t(i * 37 + 11);
    EXPECT_EQ(Convert(33, source, 1, 1), source);
    EXPECT_EQ(Convert(66, source, 2, 2), source);
    EXPECT_EQ(Convert(132, source, 2, 2), source);
    EXPECT_EQ(Convert(264, source, 3, 3), source);
    EXPECT_EQ(Convert(528, source, 4, 4), source);
}

// The copies move `sourceBytes` in one block, not `pixels` pixels.
TEST(ConvertPixels, CopiesMoveTheSourceByteCount)
{
    const Bytes source(40, 0x5A);
    Bytes image(64, GUARD);
    ConvertJob job{source.data(), image.data(), 1, 24, nullptr, 0};
    for (int code : {33, 66, 132, 264, 528}) {
        std::fill(image.begin(), image.end(), GUARD);
        ASSERT_TRUE(ConvertPixels(code, job));
        for (size_t i = 0; i < image.size(); ++i)
            EXPECT_EQ(image[i], i < 24 ? 0x5A : GUARD) << "code " << code << " byte " << i;
    }
}

TEST(ConvertPixels, OpaqueBitsAreOredIntoEvery32BitPixel)
{
    EXPECT_EQ(Convert(514, FROM_15, 2, 4, 0xFF000000),
              Words32({0xFFF8F8F8, 0xFF000000, 0xFFF80000, 0xFF00F800, 0xFF0000F8, 0xFFB068C8, 0xFF000000}));
    EXPECT_EQ(Convert(516, FROM_16, 2, 4, 0xFF000000),
              Words32({0xFFF8FCF8, 0xFF000000, 0xFFF80000, 0xFF00FC00, 0xFF0000F8, 0xFFB06CC8, 0xFF000400}));
    EXPECT_EQ(Convert(520, FROM_24, 3, 4, 0xFF000000),
              Words32({0xFFFFFFFF, 0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFB56ECB, 0xFF07033F}));
    EXPECT_EQ(Convert(513, FROM_8_32, 1, 4, 0xFF000000),
              Words32({0xFFABCDEF, 0xFF000000, 0xFFFF0000, 0xFF123456, 0xFFEEEEEE}));
    // A 32-bit source keeps its own top byte, with the opaque bits added.
    EXPECT_EQ(Convert(528, Words32({0x00123456, 0x01000000, 0x00000000}), 4, 4, 0x80000000),
              Words32({0x80123456, 0x81000000, 0x80000000}));
}

TEST(ConvertPixels, OpaqueBitsLeaveImagesNarrowerThan32BitsAlone)
{
    struct Case {
        int code;
        const Bytes& source;
        int sourceBytes;
        int imageBytes;
    };
    const Case cases[] = {
        {33, FROM_8_16, 1, 1},   {34, FROM_15, 2, 1},     {36, FROM_16, 2, 1},     {40, FROM_24, 3, 1},
        {48, FROM_32, 4, 1},     {65, FROM_8_16, 1, 2},   {66, FROM_15, 2, 2},     {68, FROM_16, 2, 2},
        {72, FROM_24, 3, 2},     {80, FROM_32, 4, 2},     {129, FROM_8_16, 1, 2},  {130, FROM_15, 2, 2},
        {132, FROM_16, 2, 2},    {136, FROM_24, 3, 2},    {144, FROM_32, 4, 2},    {257, FROM_8_32, 1, 3},
        {258, FROM_15, 2, 3},    {260, FROM_16, 2, 3},    {264, FROM_24, 3, 3},    {272, FROM_32, 4, 3},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Convert(c.code, c.source, c.sourceBytes, c.imageBytes, 0xFFFFFFFF),
                  Convert(c.code, c.source, c.sourceBytes, c.imageBytes, 0))
            << "code " << c.code;
    }
}

TEST(ConvertPixels, CodeWithoutAConverterWritesNothing)
{
    const Bytes table = ColourTable();
    const Bytes source(64, 0x77);
    for (int code : {0, 1, 2, 32, 35, 64, 97, 193, 384, 515, 544, 1024, 1026, -1}) {
        Bytes image(64, GUARD);
        ConvertJob job{source.data(), image.data(), 16, 32, table.data(), 0xFF000000};
        EXPECT_FALSE(ConvertPixels(code, job)) << "code " << code;
        EXPECT_EQ(image, Bytes(64, GUARD)) << "code " << code;
    }
}

// ---- Reference: the rule stated as bit positions --------------------------

// A colour field: its lowest bit and its width.
struct Field {
    int low;
    int width;
};

// A pixel layout: three fields in a word of `bytes` bytes. A 24-bit pixel is
// the word 0xRRGGBB stored red byte first; the others are host-order words.
struct Layout {
    Field red, green, blue;
    int bytes;
};

constexpr Layout CUBE_332 = {{5, 3}, {2, 3}, {0, 2}, 1};
constexpr Layout RGB_555 = {{10, 5}, {5, 5}, {0, 5}, 2};
constexpr Layout RGB_565 = {{11, 5}, {5, 6}, {0, 5}, 2};
constexpr Layout RGB_888_BYTES = {{16, 8}, {8, 8}, {0, 8}, 3};
constexpr Layout RGB_888_WORD = {{16, 8}, {8, 8}, {0, 8}, 4};

// Moves a field bit by bit, top bit onto top bit: a narrower target keeps the
// top bits, a wider one gets zero low bits.
uint32_t MoveField(uint32_t pixel, Field from, Field to)
{
    uint32_t moved = 0;
    for (int k = 1; k <= from.width && k <= to.width; ++k) {
        if ((pixel >> (from.low + from.width - k)) & 1)
            moved |= 1u << (to.low + to.width - k);
    }
    return moved;
}

uint32_t ReadPixel(const uint8_t* p, int bytes)
{
    if (bytes == 3)
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    if (bytes == 2) {
        uint16_t word;
        std::memcpy(&word, p, 2);
        return word;
    }
    uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

void WritePixel(uint8_t* p, int bytes, uint32_t word)
{
    if (bytes == 1) {
        p[0] = uint8_t(word);
    } else if (bytes == 2) {
        uint16_t half = uint16_t(word);
        std::memcpy(p, &half, 2);
    } else if (bytes == 3) {
        p[0] = uint8_t(word >> 16);
        p[1] = uint8_t(word >> 8);
        p[2] = uint8_t(word);
    } else {
        std::memcpy(p, &word, 4);
    }
}

Bytes ReferenceImage(const Bytes& source, Layout from, Layout to, uint32_t opaque)
{
    size_t pixels = source.size() / from.bytes;
    Bytes image(pixels * to.bytes);
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t p = ReadPixel(&source[i * from.bytes], from.bytes);
        uint32_t q = MoveField(p, from.red, to.red) | MoveField(p, from.green, to.green) |
                     MoveField(p, from.blue, to.blue);
        if (to.bytes == 4)
            q |= opaque;
        WritePixel(&image[i * to.bytes], to.bytes, q);
    }
    return image;
}

struct Converter {
    int code;
    Layout from, to;
};

const Converter FIELD_CONVERTERS[] = {
    {34, RGB_555, CUBE_332},            {36, RGB_565, CUBE_332},
    {40, RGB_888_BYTES, CUBE_332},      {48, RGB_888_WORD, CUBE_332},
    {68, RGB_565, RGB_555},             {72, RGB_888_BYTES, RGB_555},
    {80, RGB_888_WORD, RGB_555},        {130, RGB_555, RGB_565},
    {136, RGB_888_BYTES, RGB_565},      {144, RGB_888_WORD, RGB_565},
    {258, RGB_555, RGB_888_BYTES},      {260, RGB_565, RGB_888_BYTES},
    {272, RGB_888_WORD, RGB_888_BYTES}, {514, RGB_555, RGB_888_WORD},
    {516, RGB_565, RGB_888_WORD},       {520, RGB_888_BYTES, RGB_888_WORD},
};

// Every 16-bit word for the 15- and 16-bit sources (bit 15 of a 15-bit source
// included); a spread of 65536 pixels for the 24- and 32-bit sources, top
// byte of the 32-bit ones included.
Bytes EverySourcePixel(int bytes)
{
    Bytes source(65536 * size_t(bytes));
    for (uint32_t i = 0; i < 65536; ++i) {
        uint32_t word = bytes == 2 ? i : i * 2654435761u;
        if (bytes == 3)
            word &= 0xFFFFFF;
        WritePixel(&source[i * bytes], bytes, word);
    }
    return source;
}

// Opaque bits reach only 32-bit images, so only those are run with them.
TEST(ConvertPixels, MatchesTheBitPositionReferenceOverWholeFrames)
{
    for (const Converter& c : FIELD_CONVERTERS) {
        const Bytes source = EverySourcePixel(c.from.bytes);
        const std::vector<uint32_t> opaques =
            c.to.bytes == 4 ? std::vector<uint32_t>{0, 0xFF000000, 0x12345678} : std::vector<uint32_t>{0};
        for (uint32_t opaque : opaques) {
            const Bytes image = Convert(c.code, source, c.from.bytes, c.to.bytes, opaque);
            const Bytes expected = ReferenceImage(source, c.from, c.to, opaque);
            ASSERT_EQ(image.size(), expected.size());
            auto difference = std::mismatch(image.begin(), image.end(), expected.begin()).first;
            EXPECT_TRUE(difference == image.end()) << "code " << c.code << " opaque 0x" << std::hex << opaque
                                                   << ": first difference at byte " << std::dec
                                                   << (difference - image.begin());
        }
    }
}

TEST(ConversionFlags, SourceFlagForEachSupportedDepth)
{
    EXPECT_EQ(SourceFlag(8), 1);
    EXPECT_EQ(SourceFlag(15), 2);
    EXPECT_EQ(SourceFlag(16), 4);
    EXPECT_EQ(SourceFlag(24), 8);
    EXPECT_EQ(SourceFlag(32), 16);
    for (int depth : {0, 1, 4, 12, 30, 64, -15})
        EXPECT_EQ(SourceFlag(depth), 0) << depth;
}

TEST(ConversionFlags, DestinationFlagFollowsThePixelLayout)
{
    EXPECT_EQ(DestinationFlag(8, 8), 32);
    EXPECT_EQ(DestinationFlag(15, 16), 64);
    EXPECT_EQ(DestinationFlag(16, 16), 128);
    EXPECT_EQ(DestinationFlag(24, 24), 256);
    EXPECT_EQ(DestinationFlag(32, 32), 512);
    // Depth 24 stored in 32-bit pixels is written in the 32-bit layout.
    EXPECT_EQ(DestinationFlag(24, 32), 512);
}

TEST(ConversionFlags, DestinationFlagIsZeroForLayoutsWithoutAConverter)
{
    EXPECT_EQ(DestinationFlag(15, 15), 0);
    EXPECT_EQ(DestinationFlag(16, 32), 0);
    EXPECT_EQ(DestinationFlag(8, 16), 0);
    EXPECT_EQ(DestinationFlag(24, 16), 0);
    EXPECT_EQ(DestinationFlag(32, 24), 0);
    EXPECT_EQ(DestinationFlag(4, 8), 0);
    EXPECT_EQ(DestinationFlag(1, 1), 0);
    EXPECT_EQ(DestinationFlag(30, 32), 0);
    EXPECT_EQ(DestinationFlag(24, 64), 0);
}

TEST(ConversionFlags, PreferredCodesNameTheirConverters)
{
    EXPECT_EQ(SourceFlag(15) | DestinationFlag(15, 16), 66);
    EXPECT_EQ(SourceFlag(15) | DestinationFlag(16, 16), 130);
    EXPECT_EQ(SourceFlag(15) | DestinationFlag(24, 32), 514);
    EXPECT_EQ(SourceFlag(15) | DestinationFlag(24, 24), 258);
    EXPECT_EQ(SourceFlag(15) | DestinationFlag(8, 8), 34);
}

}  // namespace
