#include "display/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace kvor3d;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t GUARD = 0xCD;
constexpr size_t GUARD_BYTES = 16;

// A colour field: its lowest bit and its width; a layout: three fields in a
// pixel of `bytes` bytes (3: the word 0xRRGGBB stored red first; others are
// host-order words).
struct Field {
    int low, width;
};
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
    for (int k = 1; k <= from.width && k <= to.width; ++k)
        if ((pixel >> (from.low + from.width - k)) & 1)
            moved |= 1u << (to.low + to.width - k);
    return moved;
}

uint32_t ReadPixel(const uint8_t* p, int bytes)
{
    if (bytes == 3)
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
    uint32_t word = 0;
    std::memcpy(&word, p, size_t(bytes));
    return word;
}

void WritePixel(uint8_t* p, int bytes, uint32_t word)
{
    if (bytes == 3) {
        p[0] = uint8_t(word >> 16);
        p[1] = uint8_t(word >> 8);
        p[2] = uint8_t(word);
    } else {
        std::memcpy(p, &word, size_t(bytes));
    }
}

// A 1024-byte colour table whose 16- and 32-bit readings differ at every index.
Bytes ColourTable()
{
    Bytes table(1024);
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = uint8_t(i * 37 + 11);
    return table;
}

// Runs `code` over `source`; the guard bytes after the image must stay.
Bytes Convert(int code, const Bytes& source, int from, int to, uint32_t opaque = 0)
{
    const Bytes table = ColourTable();
    const uint32_t pixels = uint32_t(source.size() / size_t(from));
    Bytes image(pixels * size_t(to) + GUARD_BYTES, GUARD);
    const ConvertJob job{source.data(), image.data(), pixels, uint32_t(source.size()), table.data(), opaque};
    EXPECT_TRUE(ConvertPixels(code, job)) << "code " << code;
    EXPECT_TRUE(std::all_of(image.end() - GUARD_BYTES, image.end(), [](uint8_t b) { return b == GUARD; }))
        << "code " << code << " wrote past the image";
    image.resize(image.size() - GUARD_BYTES);
    return image;
}

// Every 16-bit word for the 15- and 16-bit sources; a spread of 65536
// pixels for the wider ones, top byte of the 32-bit ones included.
Bytes EverySourcePixel(int bytes)
{
    Bytes source(65536 * size_t(bytes));
    for (uint32_t i = 0; i < 65536; ++i)
        WritePixel(&source[i * size_t(bytes)], bytes, bytes == 2 ? i : (i * 2654435761u) & (bytes == 3 ? 0xFFFFFF : ~0u));
    return source;
}

struct Converter {
    int code;
    Layout from, to;
};

const Converter FIELD_CONVERTERS[] = {
    {34, RGB_555, CUBE_332},            {36, RGB_565, CUBE_332},      {40, RGB_888_BYTES, CUBE_332},
    {48, RGB_888_WORD, CUBE_332},       {68, RGB_565, RGB_555},       {72, RGB_888_BYTES, RGB_555},
    {80, RGB_888_WORD, RGB_555},        {130, RGB_555, RGB_565},      {136, RGB_888_BYTES, RGB_565},
    {144, RGB_888_WORD, RGB_565},       {258, RGB_555, RGB_888_BYTES}, {260, RGB_565, RGB_888_BYTES},
    {272, RGB_888_WORD, RGB_888_BYTES}, {514, RGB_555, RGB_888_WORD}, {516, RGB_565, RGB_888_WORD},
    {520, RGB_888_BYTES, RGB_888_WORD},
};

// Opaque bits reach only 32-bit images.
TEST(ConvertPixels, MatchesTheBitPositionReferenceOverWholeFrames)
{
    for (const Converter& c : FIELD_CONVERTERS) {
        const Bytes source = EverySourcePixel(c.from.bytes);
        for (uint32_t opaque : c.to.bytes == 4 ? std::vector<uint32_t>{0, 0xFF000000, 0x12345678} : std::vector<uint32_t>{0}) {
            Bytes expected(source.size() / size_t(c.from.bytes) * size_t(c.to.bytes));
            for (size_t i = 0; i < source.size() / size_t(c.from.bytes); ++i) {
                const uint32_t p = ReadPixel(&source[i * size_t(c.from.bytes)], c.from.bytes);
                const uint32_t q = MoveField(p, c.from.red, c.to.red) | MoveField(p, c.from.green, c.to.green) |
                                   MoveField(p, c.from.blue, c.to.blue) | (c.to.bytes == 4 ? opaque : 0);
                WritePixel(&expected[i * size_t(c.to.bytes)], c.to.bytes, q);
            }
            const Bytes image = Convert(c.code, source, c.from.bytes, c.to.bytes, opaque);
            const size_t at = size_t(std::mismatch(image.begin(), image.end(), expected.begin()).first - image.begin());
            EXPECT_EQ(at, image.size()) << "code " << c.code << " opaque " << opaque << ": first difference at byte";
        }
    }
}

// 8-bit sources read 16-bit entries for 15- and 16-bit images and 32-bit
// entries (with the opaque bits) for the wider ones; copies keep the bytes.
TEST(ConvertPixels, TableReadsAndCopiesMatchTheirReference)
{
    const Bytes table = ColourTable();
    Bytes indices(256);
    for (int i = 0; i < 256; ++i)
        indices[size_t(i)] = uint8_t(255 - i);
    for (auto [code, to] : {std::pair{65, 2}, {129, 2}, {257, 3}, {513, 4}}) {
        Bytes expected(256 * size_t(to));
        for (size_t i = 0; i < 256; ++i) {
            const uint32_t entry = ReadPixel(&table[indices[i] * size_t(to == 2 ? 2 : 4)], to == 2 ? 2 : 4);
            WritePixel(&expected[i * size_t(to)], to, to == 4 ? entry | 0xFF000000 : entry & 0xFFFFFF);
        }
        EXPECT_EQ(Convert(code, indices, 1, to, 0xFF000000), expected) << "code " << code;
    }
    const Bytes words = EverySourcePixel(4);
    for (auto [code, bytes] : {std::pair{33, 1}, {66, 2}, {132, 2}, {264, 3}, {528, 4}}) {
        const Bytes source(words.begin(), words.begin() + 4096 * bytes);
        EXPECT_EQ(Convert(code, source, bytes, bytes), source) << code;
    }
}

// Every code at scales 2 and 3 (fixed at compile time) and 5 (not): the
// scale-1 image with each pixel repeated into a scale × scale block, and
// nothing written past the image.
TEST(ConvertPixels, ScaledImagesAreTheUnscaledOneInBlocks)
{
    const Bytes table = ColourTable();
    constexpr uint32_t W = 24, H = 5;
    for (int from = 0; from < 5; ++from) {
        for (int to = 0; to < 5; ++to) {
            const int bytes[5] = {1, 2, 2, 3, 4}, code = (1 << from) | (32 << to), in = bytes[from], out = bytes[to];
            Bytes source(W * H * size_t(in));
            for (size_t i = 0; i < source.size(); ++i)
                source[i] = uint8_t(i * 131 + 7);
            const Bytes unscaled = Convert(code, source, in, out, 0xFF000000);
            for (uint32_t scale : {2u, 3u, 5u}) {
                Bytes expected(unscaled.size() * scale * scale), image(expected.size() + GUARD_BYTES, GUARD);
                for (size_t i = 0; i < expected.size() / size_t(out); ++i) {
                    const size_t x = i % (W * scale) / scale, y = i / (W * scale) / scale;
                    std::memcpy(&expected[i * size_t(out)], &unscaled[(y * W + x) * size_t(out)], size_t(out));
                }
                const ConvertJob job{source.data(), image.data(), W * H, uint32_t(source.size()), table.data(),
                                     0xFF000000, W, scale};
                EXPECT_TRUE(ConvertPixels(code, job)) << code;
                EXPECT_EQ(Bytes(image.begin() + long(expected.size()), image.end()), Bytes(GUARD_BYTES, GUARD)) << code;
                image.resize(expected.size());
                EXPECT_TRUE(image == expected) << "code " << code << " scale " << scale;
            }
        }
    }
}

TEST(ConvertPixels, CodeWithoutAConverterWritesNothing)
{
    const Bytes table = ColourTable();
    const Bytes source(64, 0x77);
    for (int code : {0, 1, 32, 35, 64, 97, 193, 384, 515, 544, 1026, -1}) {
        Bytes image(64, GUARD);
        const ConvertJob job{source.data(), image.data(), 16, 32, table.data(), 0xFF000000};
        EXPECT_FALSE(ConvertPixels(code, job)) << code;
        EXPECT_EQ(image, Bytes(64, GUARD)) << code;
    }
}

}  // namespace
