#include "image/image.h"

#include <cstring>

namespace kvor3d {

// A literal or run is checked against both the row and the code before a
// byte of it is written, so a malformed row stops short instead of
// spilling into the next plane's slot.
const uint8_t* ByteRun1Decode(const uint8_t* src, const uint8_t* end, uint8_t* row, size_t rowBytes)
{
    size_t filled = 0;
    while (filled < rowBytes) {
        if (src == end)
            return nullptr;
        const int32_t control = int8_t(*src++);
        if (control == -128)
            continue;
        if (control >= 0) {
            const size_t count = size_t(control) + 1;
            if (count > rowBytes - filled || count > size_t(end - src))
                return nullptr;
            std::memcpy(row + filled, src, count);
            src += count;
            filled += count;
        } else {
            const size_t count = size_t(1 - control);
            if (count > rowBytes - filled || src == end)
                return nullptr;
            std::memset(row + filled, *src++, count);
            filled += count;
        }
    }
    return src;
}

}  // namespace kvor3d
