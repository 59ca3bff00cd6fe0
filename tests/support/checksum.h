// A checksum of a frame's pixels, so that a test can hold an accepted frame
// in one number: FNV-1a over the pixels' 16-bit values, low byte first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

inline uint64_t PixelChecksum(const uint16_t* pixels, size_t count, uint64_t hash = 0xcbf29ce484222325ull)
{
    for (size_t i = 0; i < count; ++i) {
        for (int shift : {0, 8}) {
            hash ^= (pixels[i] >> shift) & 0xFF;
            hash *= 0x100000001b3ull;
        }
    }
    return hash;
}
