// Pixel converters: the source buffer in the engine's format into the shared
// image in the visual's format. No X dependency, so they test headless.
#pragma once

#include <cstdint>

namespace kvor3d {

// Source flags (by source depth) and destination flags (by image pixel
// layout); a conversion code is one of each, ORed.
enum : int {
    CONVERT_FROM_8 = 1,
    CONVERT_FROM_15 = 2,
    CONVERT_FROM_16 = 4,
    CONVERT_FROM_24 = 8,
    CONVERT_FROM_32 = 16,
    CONVERT_TO_8 = 32,
    CONVERT_TO_15 = 64,
    CONVERT_TO_16 = 128,
    CONVERT_TO_24 = 256,
    CONVERT_TO_32 = 512,
};

// Everything a converter reads and writes. `pixels` is width × height (the
// rounded width); `sourceBytes` is height × source bytes per line, the length
// of the block that the copy converters move. `colourTable` is 1024 bytes:
// 256 × 16-bit entries for 15- and 16-bit images, 256 × 32-bit entries for
// 24- and 32-bit images (same storage). `opaque` is ORed into every 32-bit
// image pixel: the alpha bits of a visual with an alpha channel, else 0.
// With a `scale` above 1 every source pixel becomes a scale × scale block of
// an image `scale` times as wide and as high; `width` (pixels per line) is
// then needed, and not read otherwise.
struct ConvertJob {
    const uint8_t* source;
    uint8_t* image;
    uint32_t pixels;
    uint32_t sourceBytes;
    const uint8_t* colourTable;
    uint32_t opaque;
    uint32_t width = 0;
    uint32_t scale = 1;
};

// Source flag for a source depth, 0 when the depth is not one of 8/15/16/24/32.
int SourceFlag(int sourceDepth);

// Destination flag for a visual depth stored in `bitsPerPixel`-bit pixels,
// 0 when no converter writes that layout.
int DestinationFlag(int visualDepth, int bitsPerPixel);

// Runs the converter for `code`; false (and nothing written) when the code
// has no converter.
bool ConvertPixels(int code, const ConvertJob& job);

}  // namespace kvor3d
