// LoadScene: the chunk loop over a scene file from disk or memory, then the
// steps that resolve and prepare what was read.
#include "scene/reader.h"
#include "scene/sceneio.h"
#include "scene/tagread.h"

#include <cerrno>
#include <cstring>

namespace kvor3d {

void ReportFailure(SceneLoadFailure* failure, const char* file, int error)
{
    if (!failure)
        return;
    std::strncpy(failure->file, file, sizeof failure->file - 1);
    failure->file[sizeof failure->file - 1] = '\0';
    failure->error = error;
}

namespace {

bool OpenSource(SceneSource* source, const TagItem* tags, SceneLoadFailure* failure)
{
    if (const char* name = TagPointer<const char>(TAG_LOADSCENE_FILENAME, tags)) {
        if (OpenSourceFile(source, name))
            return true;
        ReportFailure(failure, name, errno);
        return false;
    }
    const void* memory = TagPointer<const void>(TAG_LOADSCENE_MEMORY, tags);
    if (!memory)
        return false;
    const TagItem* size = FindTagIn(TAG_LOADSCENE_MEMORYSIZE, tags);
    OpenSourceMemory(source, memory, size ? uint64_t(size->data) : SOURCE_LENGTH_OF_FORM);
    return true;
}

// Reads every chunk of the FORM into the scene; unknown chunks are skipped.
bool ReadChunks(SceneSource* source, ReadContext* context)
{
    if (!ReadFormHeader(source))
        return false;
    while (MoreChunks(source)) {
        Chunk chunk;
        if (!ReadChunk(source, IsSceneChunk, &chunk))
            return false;
        if (IsSceneChunk(chunk.id) && !ReadSceneChunk(context, chunk))
            return false;
    }
    return true;
}

Scene* ReadScene(SceneSource* source, const TagItem* tags, SceneLoadFailure* failure)
{
    Scene* scene = AllocScene();
    if (!scene)
        return nullptr;
    scene->colourTable = TagPointer<ColourTable>(TAG_LOADSCENE_COLOURTABLE, tags);

    ReadContext context{};
    context.scene = scene;
    context.failure = failure;
    if (const TagItem* item = FindTagIn(TAG_LOADSCENE_TEXTURES, tags))
        context.textureImage = reinterpret_cast<TextureImageCallback>(item->data);
    if (const TagItem* item = FindTagIn(TAG_LOADSCENE_TEXTUREFILES, tags))
        context.textureFile = reinterpret_cast<TextureFileCallback>(item->data);
    if (const TagItem* item = FindTagIn(TAG_LOADSCENE_PLACEHOLDERS, tags))
        context.placeholders = TagBool(item);

    bool read = ReadChunks(source, &context);
    CloseSource(source);
    if (!read || !ResolveScene(scene)) {
        FreeScene(scene);
        return nullptr;
    }
    return scene;
}

}  // namespace

Scene* LoadScene(const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_LOADSCENE_ERROR, tags);
    auto* failure = TagPointer<SceneLoadFailure>(TAG_LOADSCENE_FAILURE, tags);
    if (failure)
        *failure = SceneLoadFailure{};
    SceneSource source{};
    Scene* scene = OpenSource(&source, tags, failure) ? ReadScene(&source, tags, failure) : nullptr;
    CloseSource(&source);
    if (error)
        *error = scene ? 0 : -1;
    return scene;
}

}  // namespace kvor3d
