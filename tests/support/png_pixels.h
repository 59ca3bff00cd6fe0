// The pixels of a PNG file a program wrote, for tests that check them.
#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

// Every pixel of the file at `path` as 8-bit R, G, B, row by row; empty
// when the file cannot be read as a PNG.
inline std::vector<uint8_t> DecodeRgb(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str()))
        return {};
    image.format = PNG_FORMAT_RGB;
    std::vector<uint8_t> rgb(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr);
    return rgb;
}
