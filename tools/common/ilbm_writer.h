// The ILBM encoder of the tools: planar rows, each plane row ByteRun1-coded
// by itself, in a FORM with BMHD, an optional CMAP and the BODY, as the
// engine's image loader reads them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ilbm {

// ByteRun1 code of one row.
void ByteRun1Encode(const uint8_t* row, size_t count, std::vector<uint8_t>& out);

// 24 planes from width × height triplets of 8-bit red, green and blue.
std::vector<uint8_t> EncodeTrueColour(int width, int height, const std::vector<uint8_t>& rgb);

// The fewest planes that hold the palette, `cmap` being its colours as
// triplets of 8-bit red, green and blue (256 at most); the CMAP is filled
// up with black to the planes' count of colours.
std::vector<uint8_t> EncodeIndexed(int width, int height, const std::vector<uint8_t>& indices,
                                   const std::vector<uint8_t>& cmap);

}  // namespace ilbm
