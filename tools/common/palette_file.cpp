#include "palette_file.h"

#include "kvor3d.h"

namespace palettefile {

std::vector<uint8_t> CubePalette()
{
    std::vector<uint32_t> words(kvor3d::PALETTE_FILE_WORDS, 0);
    words[0] = 256u << 16;
    for (uint32_t i = 0; i < 256; ++i) {
        const uint32_t r = ((i >> 5) & 7) * 255 / 7;
        const uint32_t g = ((i >> 2) & 7) * 255 / 7;
        const uint32_t b = (i & 3) * 255 / 3;
        words[1 + 3 * i] = r << 24;
        words[2 + 3 * i] = g << 24;
        words[3 + 3 * i] = b << 24;
    }
    std::vector<uint8_t> bytes;
    for (uint32_t word : words)
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(uint8_t(word >> shift));
    return bytes;
}

}  // namespace palettefile
