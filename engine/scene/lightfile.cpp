#include "scene/lightfile.h"

#include "scene/fileformat.h"
#include "scene/keys.h"
#include "scene/tagread.h"

#include <cstdio>
#include <cstring>

namespace kvor3d {

namespace {

constexpr uint32_t LEEL_BYTES = 16;  // e0, e1, e2, e3
constexpr uint32_t WORD_BYTES = 4;

void StoreError(int32_t* error, int32_t value)
{
    if (error)
        *error = value;
}

// ---- Reading -------------------------------------------------------------------

// Reading context and what has been read. The current effect and element
// are the last of their chains, where the next ones are linked.
struct Reader {
    Scene* scene;
    TextureImageCallback callback;
    LightEffect* first;               // the chain read, in file order
    LightEffect* effect;              // current effect (LTEF)
    LightEffectElement* element;      // current element (LEEL), cleared by LTEF
};

bool IsLightEffectChunk(uint32_t id)
{
    return id == ID_VERS || id == ID_LTEF || id == ID_LENM || id == ID_LEEL || id == ID_LEEN || id == ID_LEEM;
}

bool ReplaceName(char** name, const Chunk& chunk)
{
    char* copy = CopyName(ChunkString(chunk));
    if (!copy)
        return false;
    MemFree(*name);
    *name = copy;
    return true;
}

// The scene's texture of that name or read from the same file under
// another name, or a new one from the callback's image or from the file of
// that name, added to the scene.
Texture* MapNamed(const Reader& reader, const char* name)
{
    if (Texture* shared = FindTexture(reader.scene, name))
        return shared;
    const void* image = reader.callback ? reader.callback(name) : nullptr;
    if (!image) {
        if (Texture* sameFile = FindTextureFile(reader.scene, name))
            return sameFile;
    }
    const TagItem tags[] = {
        {TAG_TEXTURE_NAME, TagPtr(name)},
        {TAG_TEXTURE_MEMORY, TagPtr(image)},
        {TAG_TEXTURE_SCENE, TagPtr(reader.scene)},
        {TAG_DONE, 0},
    };
    return CreateTexture(tags);
}

bool NewEffect(Reader& reader, uint32_t effectValue)
{
    LightEffect* effect = CreateLightEffect(nullptr);
    if (!effect)
        return false;
    effect->effectValue = effectValue;
    (reader.effect ? reader.effect->next : reader.first) = effect;
    reader.effect = effect;
    reader.element = nullptr;
    return true;
}

bool NewElement(Reader& reader, const Chunk& chunk)
{
    const TagItem tags[] = {
        {TAG_ELEMENT_E0, ChunkWord(chunk, 0)},
        {TAG_ELEMENT_E1, ChunkWord(chunk, 1)},
        {TAG_ELEMENT_E2, ChunkWord(chunk, 2)},
        {TAG_ELEMENT_E3, ChunkWord(chunk, 3)},
        {TAG_DONE, 0},
    };
    LightEffectElement* element = CreateLightEffectElement(tags);
    if (!element)
        return false;
    (reader.element ? reader.element->next : reader.effect->elements) = element;
    reader.element = element;
    return true;
}

// One chunk. A fixed-layout chunk shorter than its layout fails; the bytes
// of a longer one past the layout are ignored. Skipped chunks pass.
bool ReadLightEffectChunk(Reader& reader, const Chunk& chunk)
{
    switch (chunk.id) {
    case ID_VERS: return chunk.size >= WORD_BYTES;  // no light-effect chunk depends on the version
    case ID_LTEF: return chunk.size >= WORD_BYTES && NewEffect(reader, ChunkWord(chunk, 0));
    case ID_LENM: return reader.effect && ReplaceName(&reader.effect->name, chunk);
    case ID_LEEL: return reader.effect && chunk.size >= LEEL_BYTES && NewElement(reader, chunk);
    case ID_LEEN: return reader.element && ReplaceName(&reader.element->name, chunk);
    case ID_LEEM: {
        const char* name = ChunkString(chunk);
        if (!reader.element || !name || !reader.scene)
            return false;
        reader.element->map = MapNamed(reader, name);
        return reader.element->map != nullptr;
    }
    default: return true;
    }
}

// Undoes a failed load: the materials made for the elements, the effects,
// and the textures added to the scene's chain after `textureMark`.
void DiscardRead(LightEffect* first, Scene* scene, Texture** textureMark)
{
    const TagItem release[] = {{TAG_MATERIAL_RELEASESCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    for (LightEffect* effect = first; effect; effect = effect->next)
        for (LightEffectElement* element = effect->elements; element; element = element->next)
            ReleaseMaterial(element->material, release);
    const TagItem wholeChain[] = {{TAG_LIGHTEFFECT_CHAIN, 1}, {TAG_DONE, 0}};
    DeleteLightEffect(first, wholeChain);
    if (textureMark) {
        Texture* texture = *textureMark;
        *textureMark = nullptr;
        while (texture) {
            Texture* next = texture->next;
            FreeTexture(texture);
            texture = next;
        }
    }
}

// Reads every chunk of the FORM into the reader.
bool ReadLightEffectFile(SceneSource* source, Reader& reader)
{
    if (!ReadFormHeader(source))
        return false;
    while (MoreChunks(source)) {
        Chunk chunk{};
        if (!ReadChunk(source, IsLightEffectChunk, &chunk) || !ReadLightEffectChunk(reader, chunk))
            return false;
    }
    return true;
}

// ---- Writing -------------------------------------------------------------------

void WriteLightEffect(SceneSink* sink, const LightEffect* effect)
{
    PutFormHeader(sink);
    const uint32_t version = SCENE_VERSION;
    PutWordChunk(sink, ID_VERS, &version, 1);
    PutWordChunk(sink, ID_LTEF, &effect->effectValue, 1);
    if (effect->name)
        PutStringChunk(sink, ID_LENM, effect->name);
    for (const LightEffectElement* element = effect->elements; element; element = element->next) {
        const uint32_t words[4] = {element->e0, element->e1, element->e2, element->e3};
        PutWordChunk(sink, ID_LEEL, words, 4);
        if (element->name)
            PutStringChunk(sink, ID_LEEN, element->name);
        if (element->map && element->map->name)
            PutStringChunk(sink, ID_LEEM, element->map->name);
    }
}

}  // namespace

int32_t IsSceneFile(const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_SCENEFILE_ERROR, tags);
    StoreError(error, -1);
    uint8_t header[FORM_HEADER_BYTES];
    if (const char* name = TagPointer<const char>(TAG_SCENEFILE_FILENAME, tags)) {
        std::FILE* file = OpenRegularFile(name);
        if (!file)
            return 0;
        const bool read = std::fread(header, 1, sizeof header, file) == sizeof header;
        std::fclose(file);
        if (!read)
            return 0;
    } else if (const auto* memory = TagPointer<const uint8_t>(TAG_SCENEFILE_MEMORY, tags)) {
        const TagItem* size = FindTagIn(TAG_SCENEFILE_MEMORYSIZE, tags);
        if (size && size->data < FORM_HEADER_BYTES)
            return 0;
        std::memcpy(header, memory, sizeof header);
    } else {
        return 0;
    }
    StoreError(error, 0);
    return GetWord(header) == ID_FORM && GetWord(header + 8) == ID_KVOR ? 1 : 0;
}

LightEffect* LoadLightEffects(const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_LOADLIGHTEFFECTS_ERROR, tags);
    StoreError(error, -1);
    const char* name = TagPointer<const char>(TAG_LOADLIGHTEFFECTS_FILENAME, tags);
    const void* memory = TagPointer<const void>(TAG_LOADLIGHTEFFECTS_MEMORY, tags);
    const auto* table = TagPointer<const ColourTable>(TAG_LOADLIGHTEFFECTS_COLOURTABLE, tags);
    Reader reader{};
    reader.scene = TagPointer<Scene>(TAG_LOADLIGHTEFFECTS_SCENE, tags);
    if (const TagItem* callback = FindTagIn(TAG_LOADLIGHTEFFECTS_TEXTURES, tags))
        reader.callback = reinterpret_cast<TextureImageCallback>(callback->data);
    if (table && !reader.scene)
        return nullptr;

    SceneSource source{};
    if (name) {
        if (!OpenSourceFile(&source, name))
            return nullptr;
    } else if (memory) {
        const TagItem* size = FindTagIn(TAG_LOADLIGHTEFFECTS_MEMORYSIZE, tags);
        OpenSourceMemory(&source, memory, size ? uint64_t(size->data) : SOURCE_LENGTH_OF_FORM);
    } else {
        return nullptr;
    }

    Texture** textureMark = nullptr;
    if (reader.scene) {
        textureMark = &reader.scene->textures;
        while (*textureMark)
            textureMark = &(*textureMark)->next;
    }
    const bool read = ReadLightEffectFile(&source, reader);
    CloseSource(&source);
    if (!read || (table && !CreateElementMaterials(reader.first, reader.scene, table))) {
        DiscardRead(reader.first, reader.scene, textureMark);
        return nullptr;
    }

    for (LightEffect* effect = reader.first; effect; effect = effect->next)
        SortLightEffectElements(effect);
    if (reader.scene) {
        LightEffect** link = &reader.scene->lightEffects;
        while (*link)
            link = &(*link)->next;
        *link = reader.first;
    }
    StoreError(error, 0);
    return reader.first;
}

uint32_t SaveLightEffects(const LightEffect* effect, const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_SAVELIGHTEFFECTS_ERROR, tags);
    StoreError(error, -1);
    const char* name = TagPointer<const char>(TAG_SAVELIGHTEFFECTS_FILENAME, tags);
    void* memory = TagPointer<void>(TAG_SAVELIGHTEFFECTS_MEMORY, tags);
    if (!effect || (!name && !memory))
        return 0;

    SceneSink sink{};
    if (name) {
        if (!OpenSinkFile(&sink, name))
            return 0;
    } else {
        const TagItem* capacity = FindTagIn(TAG_SAVELIGHTEFFECTS_CAPACITY, tags);
        OpenSinkMemory(&sink, memory, capacity ? uint64_t(capacity->data) : UINT64_MAX);
    }
    WriteLightEffect(&sink, effect);
    const uint64_t total = CloseSink(&sink);
    if (total == 0)
        return 0;
    StoreError(error, 0);
    return uint32_t(total);
}

}  // namespace kvor3d
