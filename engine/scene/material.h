// Textures, materials and fog: the shared rendering data a scene owns.
// Textures are shared by name through the scene's texture chain, materials
// by their parameters through its material chain, with a user count. The
// fog set-up (ramp and fog material) lives in the scene record.
#pragma once

#include "../core/core.h"

#include <cstdint>

namespace kvor3d {

struct ColourTable;
struct ObjectEntity;
struct Scene;

// ---- Textures ------------------------------------------------------------------

// Texture flags.
constexpr uint32_t TEXTURE_BUMPMAP = 0x1;      // bumpMap present
constexpr uint32_t TEXTURE_GREYMAP = 0x2;      // greyMap present
constexpr uint32_t TEXTURE_MIPLEVELS = 0x4;    // mip levels prepared
constexpr uint32_t TEXTURE_256 = 0x100;        // 256 × 256
constexpr uint32_t TEXTURE_POWEROFTWO = 0x200; // both sides powers of two: shifts and masks valid
constexpr uint32_t TEXTURE_SQUARE = 0x400;
constexpr uint32_t TEXTURE_CALLERPIXELS = 0x800; // pixels are the creator's memory: never freed here
constexpr uint32_t TEXTURE_FROMFILE = 0x1000;    // read from a file: fileDevice and fileInode name it

// Tags of CreateTexture (group 0x08), read with FindTag.
constexpr uint32_t TAG_TEXTURE_NAME = 0x803d0800;          // char*, copied; the file read without TAG_TEXTURE_MEMORY
constexpr uint32_t TAG_TEXTURE_MEMORY = 0x803d0801;        // the image file's bytes already in memory
constexpr uint32_t TAG_TEXTURE_ERROR = 0x803d0802;         // int32_t*: receives 0 or −1
constexpr uint32_t TAG_TEXTURE_SCENE = 0x803d0803;         // Scene*: its colour table converts, its chain receives
constexpr uint32_t TAG_TEXTURE_BUMPMAP = 0x803d0804;       // 16-bit boolean: build the bump map
constexpr uint32_t TAG_TEXTURE_GREYMAP = 0x803d0805;       // 16-bit boolean: build the grey map
constexpr uint32_t TAG_TEXTURE_MIPLEVELS = 0x803d0806;     // 16-bit boolean: prepare mip levels
constexpr uint32_t TAG_TEXTURE_MAXMIPLEVELS = 0x803d0807;  // most mip levels to prepare; default 65535
constexpr uint32_t TAG_TEXTURE_MEMORYSIZE = 0x803d0808;    // bytes readable at TAG_TEXTURE_MEMORY
constexpr uint32_t TAG_TEXTURE_FILE = 0x803d0809;          // char*: the file read in place of the name's own

constexpr uint32_t TEXTURE_DEFAULT_MIPLEVELS = 65535;

// Data that is not an ILBM picture is a raw square of this side in the
// engine's pixel format.
constexpr uint32_t TEXTURE_RAW_SIDE = 256;

// An image with its derived maps. In 15-bit mode `pixels` holds 15-bit RGB
// words in host order, the frame buffer's own format, so the fillers copy
// texels unconverted; in 8-bit mode palette indices, one byte each.
struct Texture {
    Texture* next;
    char* name;                // owned; also the file the image was read from, unless TAG_TEXTURE_FILE named another
    uint32_t width;
    uint32_t height;
    uint32_t widthShift;       // log2 of the sides, with TEXTURE_POWEROFTWO
    uint32_t heightShift;
    uint32_t widthMask;        // side − 1, with TEXTURE_POWEROFTWO
    uint32_t heightMask;
    uint32_t bytesPerPixel;
    void* pixels;              // owned unless TEXTURE_CALLERPIXELS; the start of the mip chain once levels are built
    uint16_t* bumpMap;         // width × height gradient pairs, owned
    uint8_t* greyMap;          // width × height intensities, owned
    uint32_t textureFlags;
    uint32_t mipLevels;        // extra levels prepared
    void** mipTable;           // mipLevels + 1 level starts, level 0 first; the table is owned
    uint64_t fileDevice;       // with TEXTURE_FROMFILE: the file read, however its name was spelt
    uint64_t fileInode;
};

// A texture from an ILBM picture, read through ilbm_load from
// TAG_TEXTURE_MEMORY or else from the file TAG_TEXTURE_FILE (without it the
// file TAG_TEXTURE_NAME) and converted with the colour table of the scene
// in TAG_TEXTURE_SCENE. Data that is not FORM ILBM is a raw 256 × 256
// square of pixels: in memory it is used where it lies
// (TEXTURE_CALLERPIXELS; the caller keeps it alive and frees it),
// from a file its first 256 × 256 × bytes-per-pixel bytes are read. With
// TAG_TEXTURE_MEMORYSIZE nothing past that many bytes is read; without it
// the memory must hold the whole file its FORM header describes, or a full
// raw square. On success the texture is appended to the scene's chain (when
// given) and 0 is stored through TAG_TEXTURE_ERROR; on failure −1, nothing
// is left allocated and the result is null.
Texture* CreateTexture(const TagItem* tags);

// Frees the texture with its name, its own pixels, maps and mip table; null
// is accepted. The texture must not be in a chain any more.
void FreeTexture(Texture* texture);

// The first texture of the scene's chain named exactly `name`, or null.
Texture* FindTexture(const Scene* scene, const char* name);

// The first texture of the scene's chain read from the same file as the one
// `name` opens (the same device and inode, so `a.iff`, `./a.iff` and
// `data/../a.iff` are one file), or null, also when `name` cannot be opened.
Texture* FindTextureFile(const Scene* scene, const char* name);

// (Re)builds the grey map and sets TEXTURE_GREYMAP: in 15-bit mode each byte
// is ((r5 << 3) + (g5 << 3) + (b5 << 3)) / 3 of its texel, in 8-bit mode the
// map stays zero. 0 when memory is short or the texture has no pixels, else 1.
int BuildGreyMap(Texture* texture);

// Prepares up to `maxLevels` mip levels (no more than the smaller side's
// log2) and sets TEXTURE_MIPLEVELS. Only for TEXTURE_POWEROFTWO textures. In
// 15-bit mode the levels share one owned block that replaces the pixels;
// in 8-bit mode only the count and the flag are set. 0 when the sides are
// not powers of two or memory is short (the texture is then unchanged),
// else 1.
int PrepareMipLevels(Texture* texture, uint32_t maxLevels);

// ---- Materials -------------------------------------------------------------------

// Tags of CreateMaterial and ReleaseMaterial (group 0x0c), read with FindTag.
constexpr uint32_t TAG_MATERIAL_MODE = 0x803d0c00;          // default 0
constexpr uint32_t TAG_MATERIAL_P1 = 0x803d0c01;            // default 0
constexpr uint32_t TAG_MATERIAL_P2 = 0x803d0c02;            // default 0
constexpr uint32_t TAG_MATERIAL_P3 = 0x803d0c03;            // signed; default 0
constexpr uint32_t TAG_MATERIAL_SCENE = 0x803d0c04;         // Scene*: share through its materials chain
constexpr uint32_t TAG_MATERIAL_COLOURTABLE = 0x803d0c05;   // ColourTable*, required
constexpr uint32_t TAG_MATERIAL_RELEASESCENE = 0x803d0c10;  // Scene*: unlink from this scene's chain
constexpr uint32_t TAG_MATERIAL_FORCE = 0x803d0c11;         // 16-bit boolean: free even when users remain

// Material modes with a table; every other mode has none.
constexpr uint32_t MATERIAL_ADD = 2;       // [a × 256 + b]: colour b + p1 × colour a
constexpr uint32_t MATERIAL_SUBTRACT = 4;  // [a × 256 + b]: colour b − p1 × colour a
constexpr uint32_t MATERIAL_BLEND = 6;     // [a × 256 + b]: colour b toward colour a by p1
constexpr uint32_t MATERIAL_FOG = 7;       // [c × 256 + level]: colour c toward p3 by p1 ... p2
constexpr uint32_t MATERIAL_USER = 8;      // zero-filled, filled by its user
constexpr uint32_t MATERIAL_SHADE = 9;     // [c × 256 + level]: colour c × level / 255

constexpr uint32_t MATERIAL_TABLE_BYTES = 65536;
constexpr uint32_t MATERIAL_ONE = 0x10000;  // weight 1.0 in 16.16

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

// A material of TAG_MATERIAL_MODE with p1-p3 over the colour table of
// TAG_MATERIAL_COLOURTABLE. With a scene, a material of equal mode and p1-p3
// in its chain gains a user and is returned; otherwise a new one with one
// user goes to the head of the chain. Null without a colour table or when
// memory is short (nothing is left allocated).
Material* CreateMaterial(const TagItem* tags);

// Drops one user. When none remain, or when TAG_MATERIAL_FORCE is set, the
// material is unlinked from the chain of the scene in TAG_MATERIAL_RELEASESCENE
// (when given and found there) and freed with its table. Null is accepted.
void ReleaseMaterial(Material* material, const TagItem* tags);

// ---- Fog -------------------------------------------------------------------------

// Tags of SetFog (data: the value) and GetFog (data: where to store it),
// group 0x06, read with FindTag.
constexpr uint32_t TAG_FOG_COLOUR = 0x803d0600;        // f0, 0x00RRGGBB (uint32_t* for GetFog)
constexpr uint32_t TAG_FOG_START = 0x803d0601;         // f1, start depth
constexpr uint32_t TAG_FOG_END = 0x803d0602;           // f3, end depth
constexpr uint32_t TAG_FOG_STARTWEIGHT = 0x803d0603;   // f2, 16.16
constexpr uint32_t TAG_FOG_ENDWEIGHT = 0x803d0604;     // f4, 16.16
constexpr uint32_t TAG_FOG_MODE = 0x803d0605;          // scene flags bits 12-13; 0 switches fog off
constexpr uint32_t TAG_FOG_COLOURTABLE = 0x803d0606;   // SetFog only: ColourTable* of the fog material
constexpr uint32_t TAG_FOG_NEAR = 0x803d0607;          // SCENE_FOGNEAR: set when non-zero (uint16_t* for GetFog)
constexpr uint32_t TAG_FOG_FAR = 0x803d0608;           // SCENE_FOGFAR: set when non-zero (uint16_t* for GetFog)

constexpr uint32_t FOG_LINEAR = 1;          // the fog mode whose ramp rises linearly from f1 to f3
constexpr uint32_t FOG_RAMP_BYTES = 32768;  // one fog level per depth 0-32767

// Stores the given fog values in the scene. With fog on, a change of f1,
// f3 or the mode rebuilds the ramp, and a missing fog material, or a change
// of f0, f2, f4 or the colour table, remakes the fog material (mode 7:
// p1 = f2, p2 = f4, p3 = f0); with fog off the ramp and the fog material go.
// The result is the number of fog tags handled; 0 for a null scene or when
// memory is short or the fog material cannot be made.
int32_t SetFog(Scene* scene, const TagItem* tags);

// Stores the scene's fog values where the tags point; the result is the
// number of values stored (0 for a null scene).
int32_t GetFog(const Scene* scene, const TagItem* tags);

// ---- Object tables and scene material --------------------------------------------

// The 8-bit fillers' lookup table of a transparent object (object flag bit
// 0): a tint table when bits 0-5 are exactly 1, else a blend table by the
// colour's top byte. Without bit 0 the table is freed. 0 when memory is
// short (the object keeps no table), else 1.
int BuildObjectTable(ObjectEntity* object, const ColourTable* table);

// A private zero-filled 65536-byte environment area (a light map) in place
// of an earlier private one, and OBJECT_LIGHTMAP set. Nothing changes for
// an object without an environment map. 0 when memory is short (the object
// is unchanged), else 1.
int UsePrivateEnvironmentMap(ObjectEntity* object);

// The environment map's own pixels as the environment area, freeing a
// private one, and OBJECT_LIGHTMAP cleared. Nothing changes for an object
// without an environment map.
void UseSharedEnvironmentMap(ObjectEntity* object);

constexpr uint32_t ENVIRONMENT_AREA_BYTES = 65536;

// The scene's shade material (mode 9) over the colour table, made once.
// 1 when the scene has it, 0 when it could not be made.
int RequireSceneMaterial(Scene* scene, const ColourTable* table);

// Releases the scene's shade material.
void ReleaseSceneMaterial(Scene* scene);

}  // namespace kvor3d
