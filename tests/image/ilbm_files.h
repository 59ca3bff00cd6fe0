// IFF ILBM files built byte by byte for the image tests, and loading helpers
// that copy the results out of the engine's buffers.
#pragma once

#include "core/core.h"
#include "core/settings.h"
#include "image/image.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

using namespace kvor3d;

using Bytes = std::vector<uint8_t>;
using Colour = std::array<uint8_t, 3>;

inline void PutBig16(Bytes& out, uint32_t value)
{
    out.push_back(uint8_t(value >> 8));
    out.push_back(uint8_t(value));
}

inline void PutBig32(Bytes& out, uint32_t value)
{
    PutBig16(out, value >> 16);
    PutBig16(out, value);
}

inline void SetBig32(Bytes& out, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        out[at + i] = uint8_t(value >> (24 - 8 * i));
}

inline void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

// A chunk: id, big-endian length, the data and, after odd data, a pad byte
// unless `pad` is false.
inline Bytes Chunk(const char* id, const Bytes& data, bool pad = true)
{
    Bytes out(id, id + 4);
    PutBig32(out, uint32_t(data.size()));
    Append(out, data);
    if (pad && (data.size() & 1))
        out.push_back(0);
    return out;
}

// A FORM of the given type around the chunks, its length counting them all.
inline Bytes Form(const std::vector<Bytes>& chunks, const char* type = "ILBM")
{
    Bytes body(type, type + 4);
    for (const Bytes& chunk : chunks)
        Append(body, chunk);
    Bytes out{'F', 'O', 'R', 'M'};
    PutBig32(out, uint32_t(body.size()));
    Append(out, body);
    return out;
}

// BMHD data: the fields the reader uses, the rest with typical values.
inline Bytes Bmhd(uint32_t width, uint32_t height, uint8_t planes, uint8_t masking = 0, uint8_t compression = 0)
{
    Bytes out;
    PutBig16(out, width);
    PutBig16(out, height);
    PutBig32(out, 0);  // x, y
    out.push_back(planes);
    out.push_back(masking);
    out.push_back(compression);
    out.push_back(0);
    PutBig16(out, 0);  // transparent colour
    out.push_back(10);
    out.push_back(11);
    PutBig16(out, width);
    PutBig16(out, height);
    return out;
}

inline Bytes Cmap(const std::vector<Colour>& colours)
{
    Bytes out;
    for (const Colour& c : colours)
        out.insert(out.end(), c.begin(), c.end());
    return out;
}

// ByteRun1 code of a row made only of literals of up to 128 bytes.
inline Bytes LiteralCode(const Bytes& row)
{
    Bytes out;
    for (size_t at = 0; at < row.size(); at += 128) {
        const size_t count = std::min<size_t>(128, row.size() - at);
        out.push_back(uint8_t(count - 1));
        out.insert(out.end(), row.begin() + long(at), row.begin() + long(at + count));
    }
    return out;
}

// BODY data for a picture of chunky values (width × height, row order):
// plane p of pixel x is bit p of its value at bit 7 − x mod 8 of byte x / 8.
// Each line holds its plane rows, then a mask row of `maskByte` when masked;
// rows are stored, or coded as ByteRun1 literals.
inline Bytes BodyOf(const std::vector<uint32_t>& values, uint32_t width, uint32_t height, uint32_t planes,
                    bool masked, bool byteRun1, uint8_t maskByte = 0xA5)
{
    const uint32_t rowBytes = IlbmRowBytes(width);
    Bytes out;
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t plane = 0; plane < planes + (masked ? 1 : 0); ++plane) {
            Bytes row(rowBytes, plane < planes ? 0 : maskByte);
            for (uint32_t x = 0; plane < planes && x < width; ++x)
                if (values[y * width + x] >> plane & 1)
                    row[x / 8] |= uint8_t(0x80 >> (x % 8));
            Append(out, byteRun1 ? LiteralCode(row) : row);
        }
    }
    return out;
}

// The result of one load, copied out of the engine's buffer.
struct Picture {
    bool loaded = false;
    int32_t width = -1;
    int32_t height = -1;
    std::vector<uint8_t> indices;  // pixel mode 0
    std::vector<uint16_t> words;   // pixel mode 1
};

inline Picture TakePixels(void* pixels, int32_t mode, Picture picture)
{
    if (pixels) {
        picture.loaded = true;
        const size_t count = size_t(picture.width) * size_t(picture.height);
        if (mode == 0)
            picture.indices.assign(static_cast<uint8_t*>(pixels), static_cast<uint8_t*>(pixels) + count);
        else
            picture.words.assign(static_cast<uint16_t*>(pixels), static_cast<uint16_t*>(pixels) + count);
        MemFree(pixels);
    }
    return picture;
}

// Loads `file` from memory, an exact-size copy so that any read past its
// end is an overflow the sanitizer build reports.
inline Picture LoadFromMemory(const Bytes& file, int32_t mode, const ColourTable* table = nullptr)
{
    SetPixelMode(mode);
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(file.empty() ? 1 : file.size()));
    std::copy(file.begin(), file.end(), copy);
    Picture picture;
    void* pixels = ilbm_load(nullptr, copy, file.size(), &picture.width, &picture.height, table);
    std::free(copy);
    return TakePixels(pixels, mode, picture);
}

inline Picture LoadFromFile(const std::string& path, int32_t mode, const ColourTable* table = nullptr)
{
    SetPixelMode(mode);
    Picture picture;
    void* pixels = ilbm_load(path.c_str(), nullptr, 0, &picture.width, &picture.height, table);
    return TakePixels(pixels, mode, picture);
}

inline Bytes ReadFileBytes(const std::string& path)
{
    const std::string text = run::ReadText(path);
    return Bytes(text.begin(), text.end());
}
