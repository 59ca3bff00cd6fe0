// Engine-wide pixel settings. Written by SetPixelMode at start-up, read by
// the view and the image loaders.
#pragma once

#include <cstdint>

namespace kvor3d {

// 0: 8-bit palette indices; 1: 15-bit RGB. Both programs use 1.
void SetPixelMode(int32_t mode);
int32_t GetPixelMode();
// Always 2, whatever the mode: frames and pictures are 16-bit words.
int32_t GetBytesPerPixel();

}  // namespace kvor3d
