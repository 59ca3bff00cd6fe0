#include "image/image.h"

#include "core/core.h"
#include "core/settings.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace kvor3d {

namespace {

// Up to 256 colours of three bytes are kept; a longer CMAP is read only
// that far, so its length never decides an allocation.
constexpr uint32_t ILBM_MAX_COLOURS = 256;
constexpr uint32_t ILBM_CMAP_BYTES = ILBM_MAX_COLOURS * 3;

// The longest output of one ByteRun1 control and its data: a run of 128
// bytes from two code bytes.
constexpr uint32_t BYTERUN1_LONGEST_RUN = 128;

uint32_t ReadBig32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t ReadBig16(const uint8_t* p)
{
    return uint32_t(p[0]) << 8 | uint32_t(p[1]);
}

// The BMHD fields the reader uses.
struct Bitmap {
    uint32_t width;
    uint32_t height;
    uint32_t planes;
    uint32_t masking;
    uint32_t compression;
    uint32_t rowBytes;
};

// The colour map as read so far.
struct ColourMap {
    bool present;
    uint32_t bytes;  // at most ILBM_CMAP_BYTES
    uint8_t rgb[ILBM_CMAP_BYTES];
};

// Checks the FORM header and yields the number of bytes of chunks that
// follow it (the FORM length less the type).
bool ReadFormHeader(const uint8_t* header, uint32_t* chunkBytes)
{
    const uint32_t length = ReadBig32(header + 4);
    if (ReadBig32(header) != ID_FORM || ReadBig32(header + 8) != ID_ILBM || length < 4)
        return false;
    *chunkBytes = length - 4;
    return true;
}

// Reads and checks the FORM header of an open file and measures the file:
// true when the chunks the header announces are all there, with the file
// positioned at the first of them.
bool FileHoldsForm(std::FILE* file, uint32_t* chunkBytes)
{
    uint8_t header[IFF_FORM_HEADER_BYTES];
    if (std::fread(header, 1, sizeof header, file) != sizeof header || !ReadFormHeader(header, chunkBytes))
        return false;
    if (std::fseek(file, 0, SEEK_END) != 0)
        return false;
    const long fileBytes = std::ftell(file);
    return fileBytes >= long(IFF_FORM_HEADER_BYTES) &&
           uint64_t(fileBytes) - IFF_FORM_HEADER_BYTES >= *chunkBytes &&
           std::fseek(file, IFF_FORM_HEADER_BYTES, SEEK_SET) == 0;
}

// Reads the chunks of the FORM in `name` into a MemAlloc block, or returns
// null (also for a FORM without chunks). The file's real size is checked
// against the FORM length first, so a header that claims more than the
// file holds fails before anything is allocated.
uint8_t* ReadFormFile(const char* name, uint32_t* chunkBytes)
{
    std::FILE* file = OpenRegularFile(name);
    if (!file)
        return nullptr;
    uint8_t* chunks = nullptr;
    if (FileHoldsForm(file, chunkBytes) && *chunkBytes > 0) {
        chunks = static_cast<uint8_t*>(MemAlloc(*chunkBytes, 1));
        if (chunks && std::fread(chunks, 1, *chunkBytes, file) != *chunkBytes) {
            MemFree(chunks);
            chunks = nullptr;
        }
    }
    std::fclose(file);
    return chunks;
}

// Reads the BMHD and stores width and height for the caller before the
// values are judged. Only 1 to 8 planes (palette indices) and 24 (true
// colour) are pictures this reader can turn into pixels; 0 planes hold no
// picture, and 9 to 23 or more than 24 are refused rather than guessed at.
// A picture larger than ImageSizeAccepted allows is refused before any of
// it is decoded.
bool ReadBitmapHeader(const uint8_t* data, uint32_t length, Bitmap* bitmap, int32_t* width, int32_t* height)
{
    if (length < ILBM_BMHD_BYTES)
        return false;
    bitmap->width = ReadBig16(data);
    bitmap->height = ReadBig16(data + 2);
    bitmap->planes = data[8];
    bitmap->masking = data[9];
    bitmap->compression = data[10];
    bitmap->rowBytes = IlbmRowBytes(bitmap->width);
    if (width)
        *width = int32_t(bitmap->width);
    if (height)
        *height = int32_t(bitmap->height);
    const bool paletted = bitmap->planes >= 1 && bitmap->planes <= ILBM_MAX_PALETTE_PLANES;
    return bitmap->width > 0 && bitmap->height > 0 && ImageSizeAccepted(bitmap->width, bitmap->height) &&
           (paletted || bitmap->planes == ILBM_TRUE_COLOUR_PLANES) &&
           (bitmap->compression == ILBM_COMPRESSION_NONE || bitmap->compression == ILBM_COMPRESSION_BYTERUN1);
}

// One plane row (or the mask row) into `row`: copied or ByteRun1-decoded.
// Returns the first BODY byte after it, or null when the BODY cannot
// supply it.
const uint8_t* ReadPlaneRow(const Bitmap& bitmap, const uint8_t* src, const uint8_t* end, uint8_t* row)
{
    if (bitmap.compression == ILBM_COMPRESSION_BYTERUN1)
        return ByteRun1Decode(src, end, row, bitmap.rowBytes);
    if (size_t(end - src) < bitmap.rowBytes)
        return nullptr;
    std::memcpy(row, src, bitmap.rowBytes);
    return src + bitmap.rowBytes;
}

// The fewest BODY bytes that can hold every row of the picture: each plane
// row takes its full length stored, or one two-byte run per 128 bytes coded.
// Checking this first bounds the pixel buffer by the size of the input.
uint64_t SmallestBody(const Bitmap& bitmap)
{
    const uint64_t rowsPerLine = bitmap.planes + (bitmap.masking == ILBM_MASKING_PLANE ? 1 : 0);
    const uint64_t perRow = bitmap.compression == ILBM_COMPRESSION_BYTERUN1
                                ? 2 * ((bitmap.rowBytes + BYTERUN1_LONGEST_RUN - 1) / BYTERUN1_LONGEST_RUN)
                                : bitmap.rowBytes;
    return uint64_t(bitmap.height) * rowsPerLine * perRow;
}

// Work buffers of one BODY decode, from MemAlloc.
struct WorkBuffers {
    uint8_t* planes;  // rowBytes for each of max(planes, 8) planes; unused slots stay zero
    uint8_t* chunky;  // 8 × rowBytes pixels, 3 bytes each for true colour
    uint8_t* mask;    // rowBytes, read and not used

    void Free()
    {
        MemFree(planes);
        MemFree(chunky);
        MemFree(mask);
    }
};

// Decodes the BODY into a new pixel buffer in the engine's pixel mode, or
// returns null. Pixel mode 0 gives indices; every other mode gives 15-bit
// words. In 15-bit mode a palette picture must have had its CMAP before the
// BODY, or there are no colours to look up; indices past the end of a short
// CMAP are black, as a CMAP may hold fewer colours than the planes can name.
void* DecodeBody(const Bitmap& bitmap, const ColourMap& colours, const ColourTable* table, const uint8_t* body,
                 uint32_t length)
{
    const bool trueColour = bitmap.planes == ILBM_TRUE_COLOUR_PLANES;
    const bool indices = GetPixelMode() == 0;
    if (!trueColour && !indices && !colours.present)
        return nullptr;
    if (SmallestBody(bitmap) > length)
        return nullptr;

    void* pixels = MemAlloc(bitmap.width * bitmap.height, uint32_t(GetBytesPerPixel()));
    WorkBuffers work{};
    work.planes = static_cast<uint8_t*>(MemAlloc(bitmap.rowBytes, std::max(bitmap.planes, 8u)));
    work.chunky = static_cast<uint8_t*>(MemAlloc(bitmap.rowBytes * 8, trueColour ? 3 : 1));
    work.mask = static_cast<uint8_t*>(MemAlloc(bitmap.rowBytes, 1));
    if (!pixels || !work.planes || !work.chunky || !work.mask) {
        MemFree(pixels);
        work.Free();
        return nullptr;
    }

    uint16_t packed[ILBM_MAX_COLOURS] = {};
    for (uint32_t i = 0; i < colours.bytes / 3; ++i)
        packed[i] = PackRgb15(colours.rgb[3 * i], colours.rgb[3 * i + 1], colours.rgb[3 * i + 2]);

    const uint8_t* src = body;
    const uint8_t* end = body + length;
    for (uint32_t y = 0; y < bitmap.height; ++y) {
        for (uint32_t plane = 0; plane < bitmap.planes && src; ++plane)
            src = ReadPlaneRow(bitmap, src, end, work.planes + plane * bitmap.rowBytes);
        if (src && bitmap.masking == ILBM_MASKING_PLANE)
            src = ReadPlaneRow(bitmap, src, end, work.mask);
        if (!src) {
            MemFree(pixels);
            work.Free();
            return nullptr;
        }

        const size_t first = size_t(y) * bitmap.width;
        if (trueColour) {
            for (uint32_t component = 0; component < 3; ++component)
                PlanarToChunky(work.planes + 8 * component * bitmap.rowBytes, bitmap.rowBytes,
                               work.chunky + component, 3);
            for (uint32_t x = 0; x < bitmap.width; ++x) {
                const uint8_t* rgb = work.chunky + 3 * x;
                if (indices)
                    static_cast<uint8_t*>(pixels)[first + x] = uint8_t(Nearest(table, rgb[0], rgb[1], rgb[2]));
                else
                    static_cast<uint16_t*>(pixels)[first + x] = PackRgb15(rgb[0], rgb[1], rgb[2]);
            }
        } else {
            PlanarToChunky(work.planes, bitmap.rowBytes, work.chunky, 1);
            for (uint32_t x = 0; x < bitmap.width; ++x) {
                if (indices)
                    static_cast<uint8_t*>(pixels)[first + x] = work.chunky[x];
                else
                    static_cast<uint16_t*>(pixels)[first + x] = packed[work.chunky[x]];
            }
        }
    }
    work.Free();
    return pixels;
}

// Walks the chunks of one FORM ILBM. Every chunk must lie inside the FORM;
// the last one may leave out its pad byte. Once the BODY is decoded the
// remaining chunks are only checked for that, so a second BMHD or BODY
// cannot change the picture. A BODY's unused bytes are skipped.
void* ReadChunks(const uint8_t* chunks, uint32_t chunkBytes, int32_t* width, int32_t* height,
                 const ColourTable* table)
{
    Bitmap bitmap{};
    bool haveBitmap = false;
    ColourMap colours{};
    void* pixels = nullptr;
    uint32_t at = 0;
    while (at < chunkBytes) {
        if (chunkBytes - at < IFF_CHUNK_HEADER_BYTES)
            break;
        const uint32_t id = ReadBig32(chunks + at);
        const uint32_t length = ReadBig32(chunks + at + 4);
        at += IFF_CHUNK_HEADER_BYTES;
        if (length > chunkBytes - at)
            break;
        const uint8_t* data = chunks + at;
        at += length;
        if ((length & 1) && at < chunkBytes)
            ++at;
        if (pixels)
            continue;

        if (id == ID_BMHD) {
            if (!ReadBitmapHeader(data, length, &bitmap, width, height))
                return nullptr;
            haveBitmap = true;
        } else if (id == ID_CMAP) {
            colours.present = true;
            colours.bytes = std::min(length, ILBM_CMAP_BYTES);
            std::memcpy(colours.rgb, data, colours.bytes);
        } else if (id == ID_BODY) {
            if (!haveBitmap)
                return nullptr;
            pixels = DecodeBody(bitmap, colours, table, data, length);
            if (!pixels)
                return nullptr;
        }
    }
    if (at != chunkBytes) {
        MemFree(pixels);
        return nullptr;
    }
    return pixels;
}

}  // namespace

// A file is read whole (after its FORM header has been checked) and then
// decoded exactly like an image in memory, so both paths share every
// bounds check.
void* ilbm_load(const char* name, const void* memory, size_t memorySize, int32_t* width, int32_t* height,
                const ColourTable* table)
{
    uint32_t chunkBytes = 0;
    if (name) {
        uint8_t* chunks = ReadFormFile(name, &chunkBytes);
        if (!chunks)
            return nullptr;
        void* pixels = ReadChunks(chunks, chunkBytes, width, height, table);
        MemFree(chunks);
        return pixels;
    }
    const auto* bytes = static_cast<const uint8_t*>(memory);
    if (!bytes || memorySize < IFF_FORM_HEADER_BYTES || !ReadFormHeader(bytes, &chunkBytes) ||
        chunkBytes > memorySize - IFF_FORM_HEADER_BYTES)
        return nullptr;
    return ReadChunks(bytes + IFF_FORM_HEADER_BYTES, chunkBytes, width, height, table);
}

}  // namespace kvor3d
