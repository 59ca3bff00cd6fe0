#include "scene/material.h"

#include "core/settings.h"
#include "image/image.h"
#include "scene/scene.h"
#include "scene/tagread.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include <sys/stat.h>

namespace kvor3d {

namespace {

bool FifteenBitMode()
{
    return GetPixelMode() == 1;
}

uint32_t RawBytes()
{
    return TEXTURE_RAW_SIDE * TEXTURE_RAW_SIDE * uint32_t(GetBytesPerPixel());
}

uint32_t ReadBig32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// The image loader recognises data by its FORM ILBM header; anything else
// is a raw square.
bool IsIlbmHeader(const uint8_t* header)
{
    return ReadBig32(header) == ID_FORM && ReadBig32(header + 8) == ID_ILBM;
}

// log2 of a power of two, or −1.
int32_t Log2Exact(uint32_t value)
{
    if (value == 0 || (value & (value - 1)) != 0)
        return -1;
    int32_t shift = 0;
    while ((value >> shift) != 1)
        ++shift;
    return shift;
}

// The grey value of a 15-bit texel: the mean of its three channels widened
// to 8 bits.
uint8_t GreyOf(uint16_t texel)
{
    const uint32_t r = (texel >> 10) & 0x1F;
    const uint32_t g = (texel >> 5) & 0x1F;
    const uint32_t b = texel & 0x1F;
    return uint8_t(((r << 3) + (g << 3) + (b << 3)) / 3);
}

// The pixel byte the bump map differentiates: the palette index in 8-bit
// mode; in 15-bit mode, where a texel is two bytes, its grey value, so that
// the gradients follow the picture's brightness.
int32_t BumpSample(const Texture* texture, uint32_t x, uint32_t y)
{
    const size_t at = size_t(y) * texture->width + x;
    if (FifteenBitMode())
        return GreyOf(static_cast<const uint16_t*>(texture->pixels)[at]);
    return static_cast<const uint8_t*>(texture->pixels)[at];
}

// bumpMap[y × width + x]: the halved vertical difference p(x, y − 1) −
// p(x, y + 1) in the high byte and the halved horizontal difference
// p(x − 1, y) − p(x + 1, y) in the low byte, each a signed byte (so a
// negative horizontal difference does not borrow from the vertical one).
// Neighbours beyond the edge repeat the edge pixel.
int BuildBumpMap(Texture* texture)
{
    if (!texture->pixels)
        return 0;
    auto* bump = static_cast<uint16_t*>(MemAlloc(texture->width * texture->height, sizeof(uint16_t)));
    if (!bump)
        return 0;
    const uint32_t lastX = texture->width - 1;
    const uint32_t lastY = texture->height - 1;
    for (uint32_t y = 0; y < texture->height; ++y) {
        const uint32_t up = y > 0 ? y - 1 : 0;
        const uint32_t down = y < lastY ? y + 1 : lastY;
        for (uint32_t x = 0; x < texture->width; ++x) {
            const uint32_t left = x > 0 ? x - 1 : 0;
            const uint32_t right = x < lastX ? x + 1 : lastX;
            const int32_t vertical = (BumpSample(texture, x, up) - BumpSample(texture, x, down)) >> 1;
            const int32_t horizontal = (BumpSample(texture, left, y) - BumpSample(texture, right, y)) >> 1;
            bump[size_t(y) * texture->width + x] = uint16_t(uint8_t(vertical) << 8 | uint8_t(horizontal));
        }
    }
    MemFree(texture->bumpMap);
    texture->bumpMap = bump;
    texture->textureFlags |= TEXTURE_BUMPMAP;
    return 1;
}

// Sides, shifts, masks and shape flags of a texture whose width and height
// are set.
void SetShape(Texture* texture)
{
    if (texture->width == texture->height) {
        texture->textureFlags |= TEXTURE_SQUARE;
        if (texture->width == TEXTURE_RAW_SIDE)
            texture->textureFlags |= TEXTURE_256;
    }
    const int32_t widthShift = Log2Exact(texture->width);
    const int32_t heightShift = Log2Exact(texture->height);
    if (widthShift >= 0 && heightShift >= 0) {
        texture->textureFlags |= TEXTURE_POWEROFTWO;
        texture->widthShift = uint32_t(widthShift);
        texture->heightShift = uint32_t(heightShift);
        texture->widthMask = texture->width - 1;
        texture->heightMask = texture->height - 1;
    }
}

// Loads the picture in memory. The readable size is the caller's, or
// without one what the FORM header says the file holds.
bool LoadFromMemory(Texture* texture, const uint8_t* memory, const TagItem* sizeItem, const ColourTable* table)
{
    const bool sized = sizeItem != nullptr;
    const uint64_t size = sized ? uint64_t(sizeItem->data) : 0;
    if ((!sized || size >= IFF_FORM_HEADER_BYTES) && IsIlbmHeader(memory)) {
        const uint64_t length = sized ? size : IFF_CHUNK_HEADER_BYTES + uint64_t(ReadBig32(memory + 4));
        int32_t width = 0;
        int32_t height = 0;
        texture->pixels = ilbm_load(nullptr, memory, size_t(length), &width, &height, table);
        texture->width = uint32_t(width);
        texture->height = uint32_t(height);
        return texture->pixels != nullptr;
    }
    if (sized && size < RawBytes())
        return false;
    texture->width = texture->height = TEXTURE_RAW_SIDE;
    // The fillers read 15-bit texels as 16-bit words; memory that is not
    // aligned for them is copied.
    if (reinterpret_cast<uintptr_t>(memory) % alignof(uint16_t) != 0) {
        texture->pixels = MemAlloc(RawBytes(), 1);
        if (!texture->pixels)
            return false;
        std::memcpy(texture->pixels, memory, RawBytes());
        return true;
    }
    texture->pixels = const_cast<uint8_t*>(memory);
    texture->textureFlags |= TEXTURE_CALLERPIXELS;
    return true;
}

// The device and inode of an open file: what names it whatever the path.
bool IdentifyFile(std::FILE* file, uint64_t* device, uint64_t* inode)
{
    struct stat status;
    if (fstat(fileno(file), &status) != 0)
        return false;
    *device = uint64_t(status.st_dev);
    *inode = uint64_t(status.st_ino);
    return true;
}

// Loads the named file: an ILBM picture through the image loader, or else
// the raw square from the file's first bytes (a shorter file fails), and
// notes which file it was. On failure errno says why: the open's own error,
// EFBIG for a picture larger than the image loader accepts, EINVAL for
// data it cannot read as a picture or a file too short for a raw square.
bool LoadFromFile(Texture* texture, const char* name, const ColourTable* table)
{
    std::FILE* file = OpenRegularFile(name);
    if (!file)
        return false;
    uint8_t header[IFF_FORM_HEADER_BYTES];
    const bool ilbm = std::fread(header, 1, sizeof header, file) == sizeof header && IsIlbmHeader(header);
    if (IdentifyFile(file, &texture->fileDevice, &texture->fileInode))
        texture->textureFlags |= TEXTURE_FROMFILE;
    if (ilbm) {
        std::fclose(file);
        int32_t width = 0;
        int32_t height = 0;
        texture->pixels = ilbm_load(name, nullptr, 0, &width, &height, table);
        texture->width = uint32_t(width);
        texture->height = uint32_t(height);
        if (!texture->pixels)
            errno = ImageSizeAccepted(texture->width, texture->height) ? EINVAL : EFBIG;
        return texture->pixels != nullptr;
    }
    texture->width = texture->height = TEXTURE_RAW_SIDE;
    texture->pixels = MemAlloc(RawBytes(), 1);
    const bool read = texture->pixels && std::fseek(file, 0, SEEK_SET) == 0 &&
                      std::fread(texture->pixels, 1, RawBytes(), file) == RawBytes();
    std::fclose(file);
    if (!read)
        errno = texture->pixels ? EINVAL : ENOMEM;
    return read;
}

}  // namespace

// The texture joins the scene's chain only once it is complete, so a
// failure never has to unlink it. A failed mip preparation leaves the
// texture without levels; it is no failure of the creation.
Texture* CreateTexture(const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_TEXTURE_ERROR, tags);
    if (error)
        *error = -1;
    const char* name = TagPointer<const char>(TAG_TEXTURE_NAME, tags);
    const char* file = TagPointer<const char>(TAG_TEXTURE_FILE, tags);
    const auto* memory = TagPointer<const uint8_t>(TAG_TEXTURE_MEMORY, tags);
    Scene* scene = TagPointer<Scene>(TAG_TEXTURE_SCENE, tags);
    if (!file)
        file = name;
    if (!file && !memory)
        return nullptr;

    auto* texture = AllocRecord<Texture>();
    if (!texture)
        return nullptr;
    texture->name = CopyName(name);
    const ColourTable* table = scene ? scene->colourTable : nullptr;
    bool made = (!name || texture->name) &&
                (memory ? LoadFromMemory(texture, memory, FindTagIn(TAG_TEXTURE_MEMORYSIZE, tags), table)
                        : LoadFromFile(texture, file, table));
    if (made) {
        texture->bytesPerPixel = uint32_t(GetBytesPerPixel());
        SetShape(texture);
        const TagItem* bump = FindTagIn(TAG_TEXTURE_BUMPMAP, tags);
        const TagItem* grey = FindTagIn(TAG_TEXTURE_GREYMAP, tags);
        made = (!bump || !TagBool(bump) || BuildBumpMap(texture)) && (!grey || !TagBool(grey) || BuildGreyMap(texture));
    }
    if (!made) {
        FreeTexture(texture);
        return nullptr;
    }
    const TagItem* mip = FindTagIn(TAG_TEXTURE_MIPLEVELS, tags);
    if (mip && TagBool(mip))
        PrepareMipLevels(texture, TagWord(TAG_TEXTURE_MAXMIPLEVELS, TEXTURE_DEFAULT_MIPLEVELS, tags));

    if (scene) {
        Texture** link = &scene->textures;
        while (*link)
            link = &(*link)->next;
        *link = texture;
    }
    if (error)
        *error = 0;
    return texture;
}

// The mip levels live in the one block that `pixels` points to; the table
// only points into it. Pixels in the creator's memory stay where they are.
void FreeTexture(Texture* texture)
{
    if (!texture)
        return;
    MemFree(texture->name);
    if (!(texture->textureFlags & TEXTURE_CALLERPIXELS))
        MemFree(texture->pixels);
    MemFree(texture->bumpMap);
    MemFree(texture->greyMap);
    MemFree(texture->mipTable);
    MemFree(texture);
}

Texture* FindTexture(const Scene* scene, const char* name)
{
    if (!scene || !name)
        return nullptr;
    for (Texture* texture = scene->textures; texture; texture = texture->next) {
        if (texture->name && std::strcmp(texture->name, name) == 0)
            return texture;
    }
    return nullptr;
}

Texture* FindTextureFile(const Scene* scene, const char* name)
{
    if (!scene || !name)
        return nullptr;
    std::FILE* file = OpenRegularFile(name);
    if (!file)
        return nullptr;
    uint64_t device = 0;
    uint64_t inode = 0;
    const bool identified = IdentifyFile(file, &device, &inode);
    std::fclose(file);
    for (Texture* texture = scene->textures; identified && texture; texture = texture->next) {
        if ((texture->textureFlags & TEXTURE_FROMFILE) && texture->fileDevice == device && texture->fileInode == inode)
            return texture;
    }
    return nullptr;
}

int BuildGreyMap(Texture* texture)
{
    if (!texture || !texture->pixels)
        return 0;
    const size_t count = size_t(texture->width) * texture->height;
    auto* grey = static_cast<uint8_t*>(MemAlloc(texture->width * texture->height, 1));
    if (!grey)
        return 0;
    if (FifteenBitMode()) {
        const auto* texels = static_cast<const uint16_t*>(texture->pixels);
        for (size_t i = 0; i < count; ++i)
            grey[i] = GreyOf(texels[i]);
    }
    MemFree(texture->greyMap);
    texture->greyMap = grey;
    texture->textureFlags |= TEXTURE_GREYMAP;
    return 1;
}

// Level k is (width >> k) × (height >> k) texels; each is the rounded mean
// of the 2 × 2 texels above it, channel by channel: (sum + 1) >> 2.
int PrepareMipLevels(Texture* texture, uint32_t maxLevels)
{
    if (!texture || !(texture->textureFlags & TEXTURE_POWEROFTWO))
        return 0;
    uint32_t levels = maxLevels;
    if (levels > texture->widthShift)
        levels = texture->widthShift;
    if (levels > texture->heightShift)
        levels = texture->heightShift;
    if (!FifteenBitMode()) {
        texture->mipLevels = levels;
        texture->textureFlags |= TEXTURE_MIPLEVELS;
        return 1;
    }
    if (!texture->pixels)
        return 0;

    uint64_t total = 0;
    for (uint32_t k = 0; k <= levels; ++k)
        total += uint64_t(texture->width >> k) * (texture->height >> k);
    if (total > UINT32_MAX)
        return 0;
    auto* block = static_cast<uint16_t*>(MemAlloc(uint32_t(total), sizeof(uint16_t)));
    auto** table = static_cast<void**>(MemAlloc(levels + 1, sizeof(void*)));
    if (!block || !table) {
        MemFree(block);
        MemFree(table);
        return 0;
    }

    std::memcpy(block, texture->pixels, size_t(texture->width) * texture->height * sizeof(uint16_t));
    uint16_t* level = block;
    table[0] = level;
    for (uint32_t k = 1; k <= levels; ++k) {
        const uint32_t aboveWidth = texture->width >> (k - 1);
        const uint32_t width = texture->width >> k;
        const uint32_t height = texture->height >> k;
        const uint16_t* above = level;
        level += size_t(aboveWidth) * (texture->height >> (k - 1));
        table[k] = level;
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                const uint16_t* quad = above + size_t(2 * y) * aboveWidth + 2 * x;
                const uint16_t texels[4] = {quad[0], quad[1], quad[aboveWidth], quad[aboveWidth + 1]};
                uint32_t mean = 0;
                for (uint32_t shift : {10u, 5u, 0u}) {
                    uint32_t sum = 1;
                    for (uint16_t texel : texels)
                        sum += (texel >> shift) & 0x1F;
                    mean |= (sum >> 2) << shift;
                }
                level[size_t(y) * width + x] = uint16_t(mean);
            }
        }
    }

    if (!(texture->textureFlags & TEXTURE_CALLERPIXELS))
        MemFree(texture->pixels);
    MemFree(texture->mipTable);
    texture->pixels = block;
    texture->mipTable = table;
    texture->mipLevels = levels;
    texture->textureFlags = (texture->textureFlags & ~TEXTURE_CALLERPIXELS) | TEXTURE_MIPLEVELS;
    return 1;
}

}  // namespace kvor3d
