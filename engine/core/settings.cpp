#include "core/settings.h"

namespace kvor3d {

namespace {
int32_t pixelMode = 0;
int32_t bytesPerPixel = 2;
}  // namespace

void SetPixelMode(int32_t mode)
{
    pixelMode = mode;
    bytesPerPixel = 2;
}

int32_t GetPixelMode()
{
    return pixelMode;
}

int32_t GetBytesPerPixel()
{
    return bytesPerPixel;
}

}  // namespace kvor3d
