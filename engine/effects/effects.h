// Effect objects offered by the engine's interface: lights and light volumes
// created by tag list, and texture coordinates computed from an object's
// geometry.
#pragma once

#include "../core/core.h"
#include "../scene/scene.h"

#include <cstdint>

namespace kvor3d {

// ---- Lights and light volumes ------------------------------------------------

// Tags of CreateEntity (group 0x0e), read with GetTagData.
constexpr uint32_t TAG_ENTITY_KIND = 0x803d0e00;   // ENTITY_LIGHT or ENTITY_VOLUME
constexpr uint32_t TAG_ENTITY_SCENE = 0x803d0e01;  // Scene* to put the entity in, or null

// Tags of SetVolume (group 0x0f), read with FindTag.
constexpr uint32_t TAG_VOLUME_SIZEX = 0x803d0f00;        // float bits: edge lengths of the box
constexpr uint32_t TAG_VOLUME_SIZEY = 0x803d0f01;
constexpr uint32_t TAG_VOLUME_SIZEZ = 0x803d0f02;
constexpr uint32_t TAG_VOLUME_COUNTX = 0x803d0f03;       // slices per axis: powers of two, 1 to 256
constexpr uint32_t TAG_VOLUME_COUNTY = 0x803d0f04;
constexpr uint32_t TAG_VOLUME_COUNTZ = 0x803d0f05;
constexpr uint32_t TAG_VOLUME_COLOUR = 0x803d0f06;       // the whole colour 0xAARRGGBB
constexpr uint32_t TAG_VOLUME_DENSITY = 0x803d0f07;      // colour bits 24-31, the density scale
constexpr uint32_t TAG_VOLUME_RED = 0x803d0f08;          // colour bits 16-23
constexpr uint32_t TAG_VOLUME_GREEN = 0x803d0f09;        // colour bits 8-15
constexpr uint32_t TAG_VOLUME_BLUE = 0x803d0f0a;         // colour bits 0-7
constexpr uint32_t TAG_VOLUME_COLOURVOXELS = 0x803d0f0b;  // 16-bit flag: want colour voxels
constexpr uint32_t TAG_VOLUME_DENSITYVOXELS = 0x803d0f0c; // 16-bit flag: want density voxels

constexpr uint32_t VOLUME_MAXCOUNT = 256;   // slices per axis at most
constexpr int32_t SETVOLUME_FAILED = -1;    // SetVolume's result when it changed nothing

// A light (ENTITY_LIGHT, everything zero but its name "light" and
// ENTITY_DRAWN) or a light volume (ENTITY_VOLUME, named "volume", drawn, one
// slice per axis, size 0 and no voxels). With a scene, the entity goes to the
// head of its chain and the scene's draw lists are resized. Null for another
// kind, or when memory is short (nothing is then added to the scene).
Entity* CreateEntity(const TagItem* tags);

// Sets a light volume's size, slice counts, colour and voxel buffers from
// the tags, rebuilds the slice stacks as needed and refills the density grid
// (when it has one) with a random ramp that grows from 0 in layer y = 0
// toward the colour's top byte. Returns the number of recognised tags, or
// SETVOLUME_FAILED, leaving the volume exactly as it was, when a count is not
// a power of two from 1 to VOLUME_MAXCOUNT or memory is short. 0 for a null
// volume.
int32_t SetVolume(VolumeEntity* volume, const TagItem* tags);

// Makes the slice stack whose axis lies most nearly along the view direction
// the volume's vertices and faces, with the texel shifts and masks of that
// stack. Reads the volume's object-to-camera matrix.
void SelectVolumeStack(VolumeEntity* volume);

// ---- Texture coordinate mapping --------------------------------------------

// Tags of MapTexture (group 0x0a), read with FindTag; the float parameters
// are passed by address.
constexpr uint32_t TAG_MAP_PROJECTION = 0x803d0a00;  // MAP_PLANAR, MAP_CYLINDRICAL or MAP_SPHERICAL
constexpr uint32_t TAG_MAP_AXIS = 0x803d0a01;        // 0 x, 1 y, 2 z
constexpr uint32_t TAG_MAP_SCALEX = 0x803d0a02;      // const float*: world units per texel
constexpr uint32_t TAG_MAP_SCALEY = 0x803d0a03;
constexpr uint32_t TAG_MAP_SCALEZ = 0x803d0a04;
constexpr uint32_t TAG_MAP_CENTREX = 0x803d0a05;     // const float*: centre of the projection
constexpr uint32_t TAG_MAP_CENTREY = 0x803d0a06;
constexpr uint32_t TAG_MAP_CENTREZ = 0x803d0a07;
constexpr uint32_t TAG_MAP_REPEATSAROUND = 0x803d0a08;  // const float*: repeats around the axis
constexpr uint32_t TAG_MAP_REPEATSPOLES = 0x803d0a09;   // const float*: repeats pole to pole

constexpr uint32_t MAP_PLANAR = 0;
constexpr uint32_t MAP_CYLINDRICAL = 1;
constexpr uint32_t MAP_SPHERICAL = 2;

struct MappingParameters {
    uint32_t projection;
    uint32_t axis;
    float scale[3];           // x, y, z
    float centre[3];          // x, y, z
    float repeatsAround;
    float repeatsPoles;
};

// Written by MapTexture on every call; read by MapFace.
extern MappingParameters Mapping;

// Sets every mapping parameter from the tags (defaults: planar about x, unit
// scales, centre 0, one repeat each) and maps every face of the object.
void MapTexture(ObjectEntity* object, const TagItem* tags);

// Rewrites the face's three (u, v) pairs from its corners' object-space
// positions with the current parameters. A projection or axis beyond 2 leaves
// the face unchanged.
void MapFace(Face* face);

// acos(x) rounded to a float: π (3.1415927) for x <= −1 and 0 for x >= 1.
float SafeAcos(float x);

}  // namespace kvor3d
