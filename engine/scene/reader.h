// Inside the scene reader: the reading context that the chunk handlers share
// and the two stages of a load, reading the chunks and resolving the names
// and building the derived data afterwards.
#pragma once

#include "scene/fileformat.h"
#include "scene/scene.h"

#include <cstdint>

namespace kvor3d {

// What the chunks read so far have opened. ENTY resets everything that
// belongs to an entity, LTEF the current element.
struct ReadContext {
    Scene* scene;
    uint32_t version;                 // 0 until VERS
    Entity* entity;                   // set by ENTY
    Entity* lastEntity;               // tail of the scene's entity chain, so that appending takes one step
    bool vertexArraySet;              // the current object's vertex array was made by VRTX/AVTX
    MorphTarget* target;              // last morph target: set by MFNM, cleared by MOBJ
    MorphKey* morphKey;               // set by MFKF, cleared by MFNM
    LightEffect* effect;              // set by LTEF
    LightEffectElement* element;      // set by LEEL, cleared by LTEF
    TextureImageCallback textureImage; // LoadScene's texture-name callback, or null
    TextureFileCallback textureFile;  // LoadScene's texture-file callback, or null
    bool placeholders;                // name-only textures
    SceneLoadFailure* failure;        // LoadScene's failure report, or null
};

// Notes in the failure report (when there is one) the file that could not
// be read and the errno that says why.
void ReportFailure(SceneLoadFailure* failure, const char* file, int error);

// True for every chunk id the scene reader understands; the others are
// skipped.
bool IsSceneChunk(uint32_t id);

// Applies one chunk to the scene. False when its context is missing or of
// the wrong kind, its payload is shorter than its layout (or not a whole
// number of entries), a string holds no NUL, a face names a vertex outside
// the vertex array, memory is short or a texture cannot be made.
bool ReadSceneChunk(ReadContext* context, const Chunk& chunk);

// The steps after reading, in order: parents, morph targets and shapes,
// per-object preparation, effect names, element materials and order, glow
// buffers, fog and background index for the colour table, draw lists.
// False when a name matches nothing, the parent links form a loop, or a
// preparation step fails.
bool ResolveScene(Scene* scene);

}  // namespace kvor3d
