// Scene files: LoadScene builds a scene from a scene file on disk or from a
// copy of one in memory; SaveScene writes a scene as such a file, version 7,
// to disk or into a buffer. The format and the tags are in fileformat.h.
#pragma once

#include "../core/core.h"
#include "fileformat.h"
#include "scene.h"

#include <cstdint>

namespace kvor3d {

// A new scene from the file TAG_LOADSCENE_FILENAME or else the memory image
// TAG_LOADSCENE_MEMORY (bounded by TAG_LOADSCENE_MEMORYSIZE when given),
// with every reference by name resolved, normals, shapes, element materials,
// glow buffers and draw lists built, and, with TAG_LOADSCENE_COLOURTABLE,
// colour indices, lookup tables and the fog material. Textures are read
// through the TAG_LOADSCENE_TEXTURES callback, or from the files the
// TAG_LOADSCENE_TEXTUREFILES callback gives for their names, or from the
// files they name, or with TAG_LOADSCENE_PLACEHOLDERS made as name-only
// records; a file named by several spellings of its path is read once.
// Stores 0 through TAG_LOADSCENE_ERROR; on any failure −1, nothing is left
// allocated and the result is null, and when a file could not be read (the
// scene's own, or a texture's) TAG_LOADSCENE_FAILURE's record names it with
// the errno.
Scene* LoadScene(const TagItem* tags);

// Writes the scene to the file TAG_SAVESCENE_FILENAME (which appears only
// once complete) or else into the buffer TAG_SAVESCENE_MEMORY, within
// TAG_SAVESCENE_CAPACITY bytes when that is given. The result is the number
// of bytes written, header included; 0 on failure, with −1 stored through
// TAG_SAVESCENE_ERROR (0 on success).
uint32_t SaveScene(const Scene* scene, const TagItem* tags);

}  // namespace kvor3d
