// Feeds each input to ilbm_load as an image in memory, in both pixel modes,
// the 24-plane palette lookup going through a small colour table.
#include "kvor3d.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace {

// Eight colours, the corners of the RGB cube, searched through the grid.
// The table copies the palette words.
const ColourTable* CubeTable()
{
    static const ColourTable* table = [] {
        std::vector<uint32_t> palette;
        palette.push_back(8u << 16);
        for (uint32_t i = 0; i < 8; ++i)
            for (uint32_t bit : {4u, 2u, 1u})
                palette.push_back((i & bit) ? 0xFF000000u : 0u);
        palette.push_back(0);
        const TagItem tags[] = {
            {TAG_COLOURTABLE_PALETTE, TagPtr(palette.data())},
            {TAG_COLOURTABLE_GRID, 1},
            {TAG_DONE, 0},
        };
        return CreateColourTable(tags);
    }();
    return table;
}

}  // namespace

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
