// Feeds each input to ilbm_load as an image in memory, in both pixel modes,
// the 24-plane palette lookup going through a small colour table.
#include "kvor3d.h"
#include "cube_table.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace kvor3d;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    for (int32_t mode : {0, 1}) {
        SetPixelMode(mode);
        int32_t width = -1;
        int32_t height = -1;
        void* pixels = ilbm_load(nullptr, data, size, &width, &height, CubeTable());
        if (pixels) {
            // The buffer must hold width × height pixels: reading its last
            // byte shows a shorter one.
            const size_t last = size_t(width) * size_t(height) * size_t(GetBytesPerPixel()) - 1;
            const volatile uint8_t* bytes = static_cast<const uint8_t*>(pixels);
            (void)bytes[last];
        }
        MemFree(pixels);
    }
    return 0;
}
