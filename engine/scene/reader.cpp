// LoadScene: the chunk loop over a scene file from disk or memory, then the
// steps that resolve and prepare what was read.
#include "scene/reader.h"
#include "scene/sceneio.h"
#include "scene/tagread.h"

namespace {

bool OpenSource(SceneSource* source, const TagItem* tags)
{
    if (const char* name = TagPointer<const char>(TAG_LOADSCENE_FILENAME, tags))
        return OpenSourceFile(source, name);
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

Scene* ReadScene(SceneSource* source, const TagItem* tags)
{
    Scene* scene = AllocScene();
    if (!scene)
        return nullptr;
    scene->colourTable = TagPointer<ColourTable>(TAG_LOADSCENE_COLOURTABLE, tags);

    ReadContext context{};
    context.scene = scene;
    if (const TagItem* item = FindTagIn(TAG_LOADSCENE_TEXTURES, tags))
        context.textureImage = reinterpret_cast<TextureImageCallback>(item->data);
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
    SceneSource source{};
    Scene* scene = OpenSource(&source, tags) ? ReadScene(&source, tags) : nullptr;
    CloseSource(&source);
    if (error)
        *error = scene ? 0 : -1;
    return scene;
}
