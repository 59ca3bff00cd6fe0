// Texture pictures: PNG through libpng, JPEG through libjpeg, resampled to
// the power-of-two sides the engine's texture addressing wraps with a mask,
// and written as 24-plane ILBM files.
#include "kvorimport.h"

#include "ilbm_writer.h"

#include <png.h>
// libjpeg's header needs FILE and size_t declared before it.
#include <cstdio>
#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstring>
#include <unistd.h>

namespace kvorimport {

namespace {

constexpr uint32_t LARGEST_DECODED_SIDE = 8192;  // 256 MiB of RGBA at most

std::string DecodePng(const uint8_t* bytes, size_t size, Picture* picture)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, size))
        return std::string("not a readable PNG: ") + image.message;
    if (image.width > LARGEST_DECODED_SIDE || image.height > LARGEST_DECODED_SIDE) {
        png_image_free(&image);
        return "PNG larger than 8192 pixels on a side";
    }
    image.format = PNG_FORMAT_RGBA;
    picture->width = int(image.width);
    picture->height = int(image.height);
    picture->rgba.resize(size_t(image.width) * image.height * 4);
    if (!png_image_finish_read(&image, nullptr, picture->rgba.data(), 0, nullptr))
        return std::string("broken PNG: ") + image.message;
    return "";
}

struct JpegError {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void JpegFailed(j_common_ptr info)
{
    JpegError* error = reinterpret_cast<JpegError*>(info->err);
    info->err->format_message(info, error->message);
    std::longjmp(error->jump, 1);
}

void JpegWarning(j_common_ptr, int) {}

// Plain data only between setjmp and longjmp: the rows go straight into the
// picture, whose size is set before the first row is read.
std::string DecodeJpeg(const uint8_t* bytes, size_t size, Picture* picture)
{
    jpeg_decompress_struct info;
    JpegError error;
    info.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = JpegFailed;
    error.manager.emit_message = JpegWarning;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return std::string("broken JPEG: ") + error.message;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_width > LARGEST_DECODED_SIDE || info.output_height > LARGEST_DECODED_SIDE ||
        info.output_components != 3) {
        jpeg_destroy_decompress(&info);
        return "JPEG larger than 8192 pixels on a side";
    }
    picture->width = int(info.output_width);
    picture->height = int(info.output_height);
    picture->rgba.assign(size_t(picture->width) * size_t(picture->height) * 4, 255);
    std::vector<uint8_t>& rgba = picture->rgba;
    JSAMPROW row = static_cast<JSAMPROW>((*info.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&info), JPOOL_IMAGE,
                                                                    info.output_width * 3, 1)[0]);
    while (info.output_scanline < info.output_height) {
        const size_t y = info.output_scanline;
        jpeg_read_scanlines(&info, &row, 1);
        for (size_t x = 0; x < info.output_width; ++x)
            std::memcpy(&rgba[(y * info.output_width + x) * 4], &row[x * 3], 3);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return "";
}

// The power of two nearest to the side by ratio, at most maxSide.
int PowerOfTwoSide(int side, uint32_t maxSide)
{
    int power = 1;
    while (uint32_t(power) < maxSide && power * 1.41421356 < side)
        power *= 2;
    return power;
}

uint8_t To15Bits(uint8_t c)
{
    const int five = (c * 31 + 127) / 255;
    return uint8_t(five << 3 | five >> 2);
}

}  // namespace

std::string DecodePicture(const uint8_t* bytes, size_t size, Picture* picture)
{
    static const uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (size >= 8 && std::memcmp(bytes, PNG_SIGNATURE, 8) == 0)
        return DecodePng(bytes, size, picture);
    if (size >= 3 && bytes[0] == 0xff && bytes[1] == 0xd8 && bytes[2] == 0xff)
        return DecodeJpeg(bytes, size, picture);
    return "a picture format other than PNG or JPEG";
}

// Each target pixel is the mean of the source pixels whose centres lie in
// its footprint, or, where the footprint holds none, the bilinear sample at
// its centre.
Picture Resample(const Picture& source, uint32_t maxSide)
{
    Picture out;
    out.width = PowerOfTwoSide(source.width, maxSide);
    out.height = PowerOfTwoSide(source.height, maxSide);
    out.rgba.resize(size_t(out.width) * size_t(out.height) * 4);
    const double sx = double(source.width) / out.width, sy = double(source.height) / out.height;
    const auto at = [&](int x, int y, int c) {
        x = std::clamp(x, 0, source.width - 1);
        y = std::clamp(y, 0, source.height - 1);
        return double(source.rgba[(size_t(y) * size_t(source.width) + size_t(x)) * 4 + size_t(c)]);
    };
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x) {
            const int x0 = int(std::ceil(x * sx - 0.5)), x1 = int(std::ceil((x + 1) * sx - 0.5));
            const int y0 = int(std::ceil(y * sy - 0.5)), y1 = int(std::ceil((y + 1) * sy - 0.5));
            for (int c = 0; c < 4; ++c) {
                double value = 0;
                if (x1 > x0 && y1 > y0) {
                    for (int v = y0; v < y1; ++v)
                        for (int u = x0; u < x1; ++u)
                            value += at(u, v, c);
                    value /= double(x1 - x0) * double(y1 - y0);
                } else {
                    const double fx = (x + 0.5) * sx - 0.5, fy = (y + 0.5) * sy - 0.5;
                    const int ix = int(std::floor(fx)), iy = int(std::floor(fy));
                    const double ax = fx - ix, ay = fy - iy;
                    value = (at(ix, iy, c) * (1 - ax) + at(ix + 1, iy, c) * ax) * (1 - ay) +
                            (at(ix, iy + 1, c) * (1 - ax) + at(ix + 1, iy + 1, c) * ax) * ay;
                }
                out.rgba[(size_t(y) * size_t(out.width) + size_t(x)) * 4 + size_t(c)] = uint8_t(std::lround(value));
            }
        }
    return out;
}

bool WriteWhole(const std::vector<uint8_t>& bytes, const std::string& path)
{
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0)
        written = false;
    if (written && std::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    unlink(temporary.c_str());
    return false;
}

bool WritePicture(const Picture& picture, bool alpha, const std::string& path)
{
    std::vector<uint8_t> rgb(size_t(picture.width) * size_t(picture.height) * 3);
    for (size_t i = 0; i < rgb.size() / 3; ++i)
        for (size_t c = 0; c < 3; ++c)
            rgb[i * 3 + c] = To15Bits(picture.rgba[i * 4 + (alpha ? 3 : c)]);
    return WriteWhole(ilbm::EncodeTrueColour(picture.width, picture.height, rgb), path);
}

}  // namespace kvorimport
