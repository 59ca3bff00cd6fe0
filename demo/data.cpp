#include "data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <sys/stat.h>

using namespace kvor3d;

ShowData Data;

namespace {

// Up to 256 colours of three bytes are kept from a CMAP.
constexpr uint32_t CMAP_MAX_COLOURS = 256;

// The longest output of one ByteRun1 control and its data: 128 bytes from
// two code bytes.
constexpr uint32_t BYTERUN1_LONGEST_RUN = 128;

uint32_t ReadBig32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint32_t ReadBig16(const uint8_t* p)
{
    return uint32_t(p[0]) << 8 | uint32_t(p[1]);
}

[[noreturn]] void CantRead(const char* name)
{
    std::printf("cant read file: %s\n", name);
    std::exit(0);
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

// The fewest BODY bytes that can hold every row: each plane row takes its
// full length stored, or one two-byte run per 128 bytes coded. Checked
// before the pixel buffer is allocated, so a small file cannot ask for a
// huge one.
uint64_t SmallestBody(const Bitmap& bitmap)
{
    const uint64_t rowsPerLine = bitmap.planes + (bitmap.masking == ILBM_MASKING_PLANE ? 1 : 0);
    const uint64_t perRow = bitmap.compression == ILBM_COMPRESSION_BYTERUN1
                                ? 2 * ((bitmap.rowBytes + BYTERUN1_LONGEST_RUN - 1) / BYTERUN1_LONGEST_RUN)
                                : bitmap.rowBytes;
    return uint64_t(bitmap.height) * rowsPerLine * perRow;
}

// One plane row (or the mask row), stored or ByteRun1-coded; the first BODY
// byte after it, or null when the BODY cannot supply it.
const uint8_t* ReadRow(const Bitmap& bitmap, const uint8_t* src, const uint8_t* end, uint8_t* row)
{
    if (bitmap.compression == ILBM_COMPRESSION_BYTERUN1)
        return ByteRun1Decode(src, end, row, bitmap.rowBytes);
    if (size_t(end - src) < bitmap.rowBytes)
        return nullptr;
    std::memcpy(row, src, bitmap.rowBytes);
    return src + bitmap.rowBytes;
}

// The BODY into a new malloc block of width × height × 4 bytes. Plane slots
// beyond the picture's planes stay zero, so that eight planes can always
// be transposed.
void* DecodeBody(const Bitmap& bitmap, const uint16_t* colours, bool haveColours, const uint8_t* body,
                 uint32_t length)
{
    const bool trueColour = bitmap.planes == ILBM_TRUE_COLOUR_PLANES;
    const bool indices = GetPixelMode() == 0;
    if ((!trueColour && !indices && !haveColours) || SmallestBody(bitmap) > length)
        return nullptr;
    const size_t slots = trueColour ? ILBM_TRUE_COLOUR_PLANES : ILBM_MAX_PALETTE_PLANES;
    uint8_t* planes = static_cast<uint8_t*>(std::calloc(slots, bitmap.rowBytes));
    uint8_t* chunky = static_cast<uint8_t*>(std::calloc(size_t(bitmap.rowBytes) * 8, trueColour ? 3 : 1));
    uint8_t* mask = static_cast<uint8_t*>(std::calloc(1, bitmap.rowBytes));
    void* pixels = std::malloc(size_t(bitmap.width) * bitmap.height * 4);
    const uint8_t* src = body;
    const uint8_t* end = body + length;
    if (!planes || !chunky || !mask)
        src = nullptr;
    for (uint32_t y = 0; y < bitmap.height && src && pixels; ++y) {
        for (uint32_t plane = 0; plane < bitmap.planes && src; ++plane)
            src = ReadRow(bitmap, src, end, planes + plane * bitmap.rowBytes);
        if (src && bitmap.masking == ILBM_MASKING_PLANE)
            src = ReadRow(bitmap, src, end, mask);
        if (!src)
            break;
        const size_t first = size_t(y) * bitmap.width;
        if (trueColour) {
            if (indices)
                continue;
            for (uint32_t component = 0; component < 3; ++component)
                PlanarToChunky(planes + 8 * component * bitmap.rowBytes, bitmap.rowBytes, chunky + component, 3);
            for (uint32_t x = 0; x < bitmap.width; ++x)
                static_cast<uint16_t*>(pixels)[first + x] =
                    PackRgb15(chunky[3 * x], chunky[3 * x + 1], chunky[3 * x + 2]);
        } else {
            PlanarToChunky(planes, bitmap.rowBytes, chunky, 1);
            for (uint32_t x = 0; x < bitmap.width; ++x) {
                if (indices)
                    static_cast<uint8_t*>(pixels)[first + x] = chunky[x];
                else
                    static_cast<uint16_t*>(pixels)[first + x] = colours[chunky[x]];
            }
        }
    }
    std::free(planes);
    std::free(chunky);
    std::free(mask);
    if (!src) {
        std::free(pixels);
        return nullptr;
    }
    return pixels;
}

// Walks the chunks of a FORM ILBM held in memory. Every chunk must lie
// within the bytes the FORM announces and the memory holds; chunks after
// the BODY are not read.
void* ReadIlbm(const uint8_t* data, size_t size, int32_t* width, int32_t* height, int32_t* planes)
{
    if (!data || size < IFF_FORM_HEADER_BYTES || ReadBig32(data) != ID_FORM || ReadBig32(data + 8) != ID_ILBM)
        return nullptr;
    const uint32_t formLength = ReadBig32(data + 4);
    if (formLength < 4 || formLength - 4 > size - IFF_FORM_HEADER_BYTES)
        return nullptr;
    const uint8_t* at = data + IFF_FORM_HEADER_BYTES;
    uint32_t remaining = formLength - 4;

    Bitmap bitmap{};
    bool haveBitmap = false;
    uint16_t colours[CMAP_MAX_COLOURS] = {};
    bool haveColours = false;
    while (remaining > 0) {
        if (remaining < IFF_CHUNK_HEADER_BYTES)
            return nullptr;
        const uint32_t id = ReadBig32(at);
        const uint32_t length = ReadBig32(at + 4);
        at += IFF_CHUNK_HEADER_BYTES;
        remaining -= IFF_CHUNK_HEADER_BYTES;
        if (length > remaining)
            return nullptr;
        const uint8_t* chunk = at;
        const uint32_t skip = (length & 1) && length < remaining ? length + 1 : length;
        at += skip;
        remaining -= skip;

        if (id == ID_BMHD) {
            if (length < ILBM_BMHD_BYTES)
                return nullptr;
            bitmap.width = ReadBig16(chunk);
            bitmap.height = ReadBig16(chunk + 2);
            bitmap.planes = chunk[8];
            bitmap.masking = chunk[9];
            bitmap.compression = chunk[10];
            bitmap.rowBytes = IlbmRowBytes(bitmap.width);
            if (width)
                *width = int32_t(bitmap.width);
            if (height)
                *height = int32_t(bitmap.height);
            if (planes)
                *planes = int32_t(bitmap.planes);
            const bool paletted = bitmap.planes >= 1 && bitmap.planes <= ILBM_MAX_PALETTE_PLANES;
            if (bitmap.width == 0 || bitmap.height == 0 || !ImageSizeAccepted(bitmap.width, bitmap.height) ||
                (!paletted && bitmap.planes != ILBM_TRUE_COLOUR_PLANES) ||
                (bitmap.compression != ILBM_COMPRESSION_NONE && bitmap.compression != ILBM_COMPRESSION_BYTERUN1))
                return nullptr;
            haveBitmap = true;
        } else if (id == ID_CMAP) {
            haveColours = true;
            const uint32_t count = std::min(length / 3, CMAP_MAX_COLOURS);
            for (uint32_t i = 0; i < count; ++i)
                colours[i] = PackRgb15(chunk[3 * i], chunk[3 * i + 1], chunk[3 * i + 2]);
        } else if (id == ID_BODY) {
            if (!haveBitmap)
                return nullptr;
            return DecodeBody(bitmap, colours, haveColours, chunk, length);
        }
    }
    return nullptr;
}

// The whole of a regular file in a malloc block, or null; its size is taken
// from the file system. A directory, device or pipe is never opened.
uint8_t* ReadWholeFile(const char* name, size_t* size)
{
    *size = 0;
    std::FILE* file = OpenRegularFile(name);
    if (!file)
        return nullptr;
    struct stat status;
    uint8_t* bytes = nullptr;
    if (fstat(fileno(file), &status) == 0 && status.st_size > 0) {
        const size_t length = size_t(status.st_size);
        bytes = static_cast<uint8_t*>(std::malloc(length));
        if (bytes && std::fread(bytes, 1, length, file) == length) {
            *size = length;
        } else {
            std::free(bytes);
            bytes = nullptr;
        }
    }
    std::fclose(file);
    return bytes;
}

// A picture that failed to load is kept as null pixels and zero size.
ShowPicture LoadPicture(const char* name)
{
    ShowPicture picture{};
    int32_t planes = 0;
    picture.pixels = static_cast<uint16_t*>(demo_ilbm_load(name, nullptr, 0, &picture.width, &picture.height, &planes));
    if (!picture.pixels)
        picture = ShowPicture{};
    return picture;
}

// The tunnel texture: the 256 × 256 picture twice in a row. Without it the
// tunnel would read an empty texture, so a picture that did not load, or
// has another size, ends the show like a missing data file.
void LoadTunnelTexture(const char* name)
{
    ShowPicture picture = LoadPicture(name);
    if (!picture.pixels || picture.width != TUNNEL_SIDE || picture.height != TUNNEL_SIDE) {
        std::free(picture.pixels);
        CantRead(name);
    }
    std::memcpy(Tunnel.texture, picture.pixels, TUNNEL_PICTURE_PIXELS * sizeof(uint16_t));
    std::memcpy(Tunnel.texture + TUNNEL_PICTURE_PIXELS, picture.pixels, TUNNEL_PICTURE_PIXELS * sizeof(uint16_t));
    std::free(picture.pixels);
}

}  // namespace

void read_data_file(void* destination, const char* name, uint32_t bytes)
{
    std::FILE* file = OpenRegularFile(name);
    if (!file)
        CantRead(name);
    const size_t got = std::fread(destination, 1, bytes, file);
    std::fclose(file);
    if (got != bytes)
        CantRead(name);
}

void* demo_ilbm_load(const char* name, const void* memory, size_t memorySize, int32_t* width, int32_t* height,
                     int32_t* planes)
{
    if (!name)
        return ReadIlbm(static_cast<const uint8_t*>(memory), memorySize, width, height, planes);
    size_t size = 0;
    uint8_t* bytes = ReadWholeFile(name, &size);
    void* pixels = ReadIlbm(bytes, size, width, height, planes);
    std::free(bytes);
    return pixels;
}

void load_show_data()
{
    read_data_file(Data.fadeMaskA, "data/fademask.cnk", sizeof Data.fadeMaskA);
    read_data_file(Data.fadeMaskB, "data/fademask1.cnk", sizeof Data.fadeMaskB);
    read_data_file(Data.alien, "data/alien1.rgb15", sizeof Data.alien);
    read_data_file(Data.palette, "data/.palette", sizeof Data.palette);
    // The colour table reads three words per colour of the count in the
    // head word; a count beyond the file's 256 colours would read past it.
    if ((Data.palette[0] >> 16) > CMAP_MAX_COLOURS)
        CantRead("data/.palette");
    Data.clip = LoadPicture("data/clip1.iff");
    Data.credits = LoadPicture("data/credits.iff");
    Data.endBackground = LoadPicture("data/end_back.iff");
    Data.leftPanel = LoadPicture("data/bitch.iff");
    Data.rightPanel = LoadPicture("data/bitch2.iff");
    Data.text = LoadPicture("data/txt.iff");
    Data.logo = LoadPicture("data/logo.iff");
    LoadTunnelTexture("data/pl_txt.iff");
    read_data_file(Tunnel.table, "data/tabxy.bin", sizeof Tunnel.table);
}
