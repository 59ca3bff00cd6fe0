// Images: IFF ILBM pictures read into chunky pixels in the engine's pixel
// mode. The ByteRun1 decoder, the planar-to-chunky transposition and the
// 15-bit packing are shared with the show's own picture reader.
#pragma once

#include "../colour/colour.h"

#include <cstddef>
#include <cstdint>

namespace kvor3d {

// A four-character IFF chunk id as the big-endian word it is on disk.
constexpr uint32_t IffId(const char (&id)[5])
{
    return uint32_t(uint8_t(id[0])) << 24 | uint32_t(uint8_t(id[1])) << 16 |
           uint32_t(uint8_t(id[2])) << 8 | uint32_t(uint8_t(id[3]));
}

constexpr uint32_t ID_FORM = IffId("FORM");
constexpr uint32_t ID_ILBM = IffId("ILBM");
constexpr uint32_t ID_BMHD = IffId("BMHD");
constexpr uint32_t ID_CMAP = IffId("CMAP");
constexpr uint32_t ID_BODY = IffId("BODY");

// Sizes of the FORM header (id, length, type), a chunk header (id, length)
// and the bitmap header's fields.
constexpr uint32_t IFF_FORM_HEADER_BYTES = 12;
constexpr uint32_t IFF_CHUNK_HEADER_BYTES = 8;
constexpr uint32_t ILBM_BMHD_BYTES = 20;

// BMHD values the reader understands.
constexpr uint32_t ILBM_COMPRESSION_NONE = 0;
constexpr uint32_t ILBM_COMPRESSION_BYTERUN1 = 1;
constexpr uint32_t ILBM_MASKING_PLANE = 1;    // one mask row follows the plane rows of each line
constexpr uint32_t ILBM_MAX_PALETTE_PLANES = 8;
constexpr uint32_t ILBM_TRUE_COLOUR_PLANES = 24;  // planes 0-7 red, 8-15 green, 16-23 blue

// The largest picture either reader accepts. Textures are addressed through
// power-of-two masks with signed 16.16 coordinates: a side of 4096 texels
// leaves four integer bits above the texel index, one of them the sign, so
// a face can repeat such a map eight times each way before its coordinates
// wrap; larger sides leave too few. The total of 4 Mi pixels (2048 × 2048,
// or 4096 × 1024) is sixty times the pixels of a 320 × 200 frame, more
// detail than one frame can show; it keeps a picture at 8 MB of 15-bit
// pixels (11 MB with all mip levels), so that a small file that claims a
// huge picture cannot make a reader take hundreds of megabytes. A larger
// picture is refused as soon as its BMHD is read.
constexpr uint32_t IMAGE_MAX_SIDE = 4096;
constexpr uint32_t IMAGE_MAX_PIXELS = 4u << 20;

constexpr bool ImageSizeAccepted(uint32_t width, uint32_t height)
{
    return width <= IMAGE_MAX_SIDE && height <= IMAGE_MAX_SIDE && width * height <= IMAGE_MAX_PIXELS;
}

// Bytes in one plane row: the width rounded up to a multiple of 16 pixels,
// one bit per pixel.
constexpr uint32_t IlbmRowBytes(uint32_t width)
{
    return ((width + 15) & ~15u) / 8;
}

// The 15-bit pixel of an 8-bit-per-component colour: the top five bits of
// red, green and blue in bits 14-10, 9-5 and 4-0.
constexpr uint16_t PackRgb15(uint8_t red, uint8_t green, uint8_t blue)
{
    return uint16_t(((red & 0xF8) << 7) | ((green & 0xF8) << 2) | (blue >> 3));
}

// Decodes one ByteRun1-coded row of `rowBytes` bytes from the code in
// [src, end) into `row`. A control byte n of 0 to 127 copies the next n + 1
// bytes, −1 to −127 repeats the next byte 1 − n times, −128 does nothing.
// Returns the first code byte after the row, or null when the code ends
// before the row is full or a literal or run would pass the row's end; the
// row is never written beyond `rowBytes`.
const uint8_t* ByteRun1Decode(const uint8_t* src, const uint8_t* end, uint8_t* row, size_t rowBytes);

// Turns eight plane rows of `rowBytes` bytes (plane p at planes + p ×
// rowBytes) into 8 × rowBytes chunky values, written `stride` bytes apart:
// bit p of pixel i is bit 7 − (i mod 8) of byte i / 8 of plane p.
void PlanarToChunky(const uint8_t* planes, size_t rowBytes, uint8_t* pixels, size_t stride);

// Loads an ILBM picture from the file `name` or, when `name` is null, from
// the `memorySize` bytes at `memory` (the whole file, FORM header first).
// The result is width × height pixels, rows without padding, from
// MemAlloc (the caller frees it with MemFree), width × height × 2 bytes:
// - pixel mode 0: one byte per pixel, the palette index, or for 24 planes
//   Nearest(table, red, green, blue) (a null table answers 0);
// - any other pixel mode: 15-bit words in host order, the CMAP colour of
//   the index (colours past the end of the CMAP are black) or the pixel's
//   own colour, packed with PackRgb15.
// Width and height are stored (when the pointers are not null) as soon as
// the BMHD is read, also when the load fails later. Null on any failure:
// unreadable or truncated data, a chunk reaching past its FORM, not FORM
// ILBM, a BMHD shorter than 20 bytes, width or height 0, planes other than
// 1-8 or 24, compression other than 0 or 1, a BODY before the BMHD, a
// palette picture without a CMAP before its BODY in 15-bit mode, a BODY too
// short for its rows, a malformed ByteRun1 row, a picture that
// ImageSizeAccepted refuses, or no BODY at all.
void* ilbm_load(const char* name, const void* memory, size_t memorySize, int32_t* width, int32_t* height,
                const ColourTable* table);

}  // namespace kvor3d
