// Textures and materials: the shared rendering data a scene owns. Textures
// are shared by name through the scene's texture chain, materials by their
// parameters through its material chain, with a user count.
#pragma once

#include "core/core.h"

#include <cstdint>

// Texture flags.
constexpr uint32_t TEXTURE_BUMPMAP = 0x1;      // bumpMap present
constexpr uint32_t TEXTURE_GREYMAP = 0x2;      // greyMap present
constexpr uint32_t TEXTURE_MIPLEVELS = 0x4;    // mip levels prepared
constexpr uint32_t TEXTURE_256 = 0x100;        // 256 × 256
constexpr uint32_t TEXTURE_POWEROFTWO = 0x200; // both sides powers of two: shifts and masks valid
constexpr uint32_t TEXTURE_SQUARE = 0x400;

// An image with its derived maps. In 15-bit mode `pixels` holds 16-bit
// 15-bit RGB words, in 8-bit mode palette indices (bytesPerPixel tells).
struct Texture {
    Texture* next;
    char* name;                // owned; also the file the image was read from
    uint32_t width;
    uint32_t height;
    uint32_t widthShift;       // log2 of the sides, with TEXTURE_POWEROFTWO
    uint32_t heightShift;
    uint32_t widthMask;        // side − 1, with TEXTURE_POWEROFTWO
    uint32_t heightMask;
    uint32_t bytesPerPixel;
    void* pixels;              // owned; the start of the mip chain once levels are built
    uint16_t* bumpMap;         // width × height gradient pairs, owned
    uint8_t* greyMap;          // width × height intensities, owned
    uint32_t textureFlags;
    uint32_t mipLevels;        // extra levels prepared
    void** mipTable;           // mipLevels + 1 level starts, level 0 first; the table is owned
};

// Frees the texture with its name, pixels, maps and mip table; null is accepted.
void FreeTexture(Texture* texture);

// Tags of ReleaseMaterial (group 0x0c).
constexpr uint32_t TAG_MATERIAL_RELEASESCENE = 0x803d0c10;  // Scene*: unlink from this scene's chain
constexpr uint32_t TAG_MATERIAL_FORCE = 0x803d0c11;         // 16-bit boolean: free even when users remain

// A 256 × 256 colour-mixing table over a colour table's entries.
struct Material {
    Material* next;            // the scene's materials chain
    uint32_t users;
    uint32_t mode;
    uint32_t p1;
    uint32_t p2;
    int32_t p3;
    uint8_t* table;            // 65536 bytes, owned; null for modes without a table
};

// Drops one user. When none remain, or when TAG_MATERIAL_FORCE is set, the
// material is unlinked from the chain of the scene in TAG_MATERIAL_RELEASESCENE
// (when given and found there) and freed with its table. Null is accepted.
void ReleaseMaterial(Material* material, const TagItem* tags);
