// Light-effect files: a FORM "KVOR" holding only VERS and the light-effect
// chunks (LTEF, LENM, LEEL, LEEN, LEEM), so that one set of effects serves
// several scenes; and the quick check whether a file holds a FORM "KVOR".
#pragma once

#include "../core/core.h"
#include "fileformat.h"
#include "scene.h"

#include <cstdint>

namespace kvor3d {

// Tags of IsSceneFile (group 0x00), read with FindTag.
constexpr uint32_t TAG_SCENEFILE_FILENAME = 0x803d0000;    // char*: the file, opened "rb" and closed again
constexpr uint32_t TAG_SCENEFILE_MEMORY = 0x803d0001;      // bytes in memory; used without the file name
constexpr uint32_t TAG_SCENEFILE_ERROR = 0x803d0002;       // int32_t*: 0 when the check was made, −1 when not
constexpr uint32_t TAG_SCENEFILE_MEMORYSIZE = 0x803d0003;  // bytes readable at the memory; absent: at least 12

// Tags of LoadLightEffects (group 0x03), read with FindTag.
constexpr uint32_t TAG_LOADLIGHTEFFECTS_FILENAME = 0x803d0300;     // char*: the file, opened "rb"
constexpr uint32_t TAG_LOADLIGHTEFFECTS_MEMORY = 0x803d0301;       // const void*: a whole file image; when no file name
constexpr uint32_t TAG_LOADLIGHTEFFECTS_ERROR = 0x803d0302;        // int32_t*: 0 or −1
constexpr uint32_t TAG_LOADLIGHTEFFECTS_TEXTURES = 0x803d0303;     // TextureImageCallback, as LoadScene's
constexpr uint32_t TAG_LOADLIGHTEFFECTS_COLOURTABLE = 0x803d0304;  // ColourTable*: make element materials
constexpr uint32_t TAG_LOADLIGHTEFFECTS_SCENE = 0x803d0305;        // Scene*: owns maps and materials, receives the effects
constexpr uint32_t TAG_LOADLIGHTEFFECTS_MEMORYSIZE = 0x803d0306;   // bytes readable at the memory; absent: its FORM size + 8

// Tags of SaveLightEffects (group 0x04), read with FindTag.
constexpr uint32_t TAG_SAVELIGHTEFFECTS_FILENAME = 0x803d0400;  // char*: the file written
constexpr uint32_t TAG_SAVELIGHTEFFECTS_MEMORY = 0x803d0401;    // void*: buffer for the file image; when no file name
constexpr uint32_t TAG_SAVELIGHTEFFECTS_ERROR = 0x803d0402;     // int32_t*: 0 or −1
constexpr uint32_t TAG_SAVELIGHTEFFECTS_CAPACITY = 0x803d0403;  // bytes the buffer holds; absent: unbounded

// 1 when the first 12 bytes of the file or memory are "FORM", any length,
// "KVOR"; else 0. The error word gets −1 only when no source is given, the
// file cannot be opened or fewer than 12 bytes can be read.
int32_t IsSceneFile(const TagItem* tags);

// Reads the light effects of a file (or of a file image in memory) and
// returns the first of their chain, or null on failure or when there are
// none. Chunks other than VERS and the light-effect chunks are skipped.
// Maps are textures of the scene in TAG_LOADLIGHTEFFECTS_SCENE, shared by
// name or made there; with a colour table each element gets a material of
// mode 2, 4 or 6 for e3 bits 0-1 = 0, 1 or 2, p1 = e2, shared through the
// scene. Elements are sorted by e0, largest first, and with a scene the
// chain is appended to its lightEffects; without one the caller frees it
// with DeleteLightEffect. A map or a colour table needs a scene to own what
// is made for it. On failure nothing read is kept: the effects, and the
// textures and materials made for them, are freed.
LightEffect* LoadLightEffects(const TagItem* tags);

// Writes one effect with its elements as a light-effect file, version 7,
// and returns the number of bytes written, or 0 on failure. A file is
// written under a temporary name in the same directory and renamed when
// complete, so a failed write leaves any earlier file of that name as it
// was. In memory, with TAG_SAVELIGHTEFFECTS_CAPACITY, nothing is written
// past that many bytes: a larger image fails.
uint32_t SaveLightEffects(const LightEffect* effect, const TagItem* tags);

}  // namespace kvor3d
