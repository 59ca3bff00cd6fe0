// The palette file the window programs build their colour table from: 770
// little-endian words, a count word (256 << 16) and then 256 colours of
// three words each, the 8-bit level in each word's top byte.
#pragma once

#include <cstdint>
#include <vector>

namespace palettefile {

// 256 colours as a 3-3-2 cube: eight levels of red and green, four of blue.
std::vector<uint8_t> CubePalette();

}  // namespace palettefile
