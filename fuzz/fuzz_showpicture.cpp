// The show's own picture reader, demo_ilbm_load, on each input from memory
// and from a file by name, in both pixel modes.
#include "data.h"
#include "input_parts.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace kvor3d;

namespace {

// The block must hold width × height × 4 bytes: reading its last byte
// shows a shorter one.
void Check(void* pixels, int32_t width, int32_t height)
{
    if (pixels) {
        const size_t last = size_t(width) * size_t(height) * 4 - 1;
        (void)static_cast<const volatile uint8_t*>(pixels)[last];
    }
    std::free(pixels);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* name = parts::WriteInput(data, size);
    for (int32_t mode : {0, 1}) {
        SetPixelMode(mode);
        int32_t width = 0, height = 0, planes = 0;
        Check(demo_ilbm_load(nullptr, data, size, &width, &height, &planes), width, height);
        Check(demo_ilbm_load(name, nullptr, 0, &width, &height, &planes), width, height);
    }
    return 0;
}
