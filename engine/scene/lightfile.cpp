#include "scene/lightfile.h"

#include "image/image.h"
#include "scene/keys.h"
#include "scene/tagread.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr uint32_t ID_KVOR = IffId("KVOR");
constexpr uint32_t ID_VERS = IffId("VERS");
constexpr uint32_t ID_LTEF = IffId("LTEF");
constexpr uint32_t ID_LENM = IffId("LENM");
constexpr uint32_t ID_LEEL = IffId("LEEL");
constexpr uint32_t ID_LEEN = IffId("LEEN");
constexpr uint32_t ID_LEEM = IffId("LEEM");

constexpr uint32_t LIGHTFILE_VERSION = 7;
constexpr uint32_t WORD_BYTES = 4;
constexpr uint32_t LEEL_BYTES = 16;            // e0, e1, e2, e3
constexpr uint32_t FORM_TYPE_BYTES = 4;        // "KVOR", counted by the FORM length

// Element material modes for e3 bits 0-1 = 0, 1, 2; no mode is defined for
// 3, so such an element gets no material.
constexpr uint32_t ELEMENT_MATERIAL_MODES[4] = {MATERIAL_ADD, MATERIAL_SUBTRACT, MATERIAL_BLEND, 0};

uint32_t ReadBig32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void StoreError(int32_t* error, int32_t value)
{
    if (error)
        *error = value;
}

// ---- Reading -------------------------------------------------------------------

// Checks a FORM "KVOR" header and yields the byte count of the chunks after
// the type.
bool ReadFormHeader(const uint8_t* header, uint32_t* chunkBytes)
{
    const uint32_t length = ReadBig32(header + 4);
    if (ReadBig32(header) != ID_FORM || ReadBig32(header + 8) != ID_KVOR || length < FORM_TYPE_BYTES)
        return false;
    *chunkBytes = length - FORM_TYPE_BYTES;
    return true;
}

// The chunks of the FORM in the named file, in a MemAlloc block. The file's
// size is checked against the FORM length first, so that the block is never
// larger than what the file holds.
uint8_t* ReadFormFile(const char* name, uint32_t* chunkBytes)
{
    std::FILE* file = std::fopen(name, "rb");
    if (!file)
        return nullptr;
    uint8_t header[IFF_FORM_HEADER_BYTES];
    uint8_t* chunks = nullptr;
    long fileBytes = 0;
    if (std::fread(header, 1, sizeof header, file) == sizeof header && ReadFormHeader(header, chunkBytes) &&
        std::fseek(file, 0, SEEK_END) == 0 && (fileBytes = std::ftell(file)) >= 0 &&
        uint64_t(fileBytes) - IFF_FORM_HEADER_BYTES >= *chunkBytes &&
        std::fseek(file, IFF_FORM_HEADER_BYTES, SEEK_SET) == 0) {
        // One byte more than the chunks, so that an empty FORM still gets a block.
        chunks = static_cast<uint8_t*>(MemAlloc(*chunkBytes + 1, 1));
        if (chunks && std::fread(chunks, 1, *chunkBytes, file) != *chunkBytes) {
            MemFree(chunks);
            chunks = nullptr;
        }
    }
    std::fclose(file);
    return chunks;
}

// Reading context and what has been read.
struct Reader {
    Scene* scene;
    TextureNameCallback callback;
    LightEffect* first;               // the chain read, in file order
    LightEffect* effect;              // current effect (LTEF)
    LightEffectElement* element;      // current element (LEEL), cleared by LTEF
};

// A string payload must end with a NUL inside its chunk.
const char* StringOf(const uint8_t* payload, uint32_t size)
{
    return std::memchr(payload, 0, size) ? reinterpret_cast<const char*>(payload) : nullptr;
}

bool ReplaceName(char** name, const uint8_t* payload, uint32_t size)
{
    const char* text = StringOf(payload, size);
    char* copy = CopyName(text);
    if (!copy)
        return false;
    MemFree(*name);
    *name = copy;
    return true;
}

// The scene's texture of that name, or a new one from the callback's image
// or from the file of that name, added to the scene.
Texture* MapNamed(const Reader& reader, const char* name)
{
    if (Texture* shared = FindTexture(reader.scene, name))
        return shared;
    const void* image = reader.callback ? reader.callback(name) : nullptr;
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
    LightEffect** link = &reader.first;
    while (*link)
        link = &(*link)->next;
    *link = effect;
    reader.effect = effect;
    reader.element = nullptr;
    return true;
}

bool NewElement(Reader& reader, const uint8_t* payload)
{
    const TagItem tags[] = {
        {TAG_ELEMENT_E0, ReadBig32(payload)},
        {TAG_ELEMENT_E1, ReadBig32(payload + 4)},
        {TAG_ELEMENT_E2, ReadBig32(payload + 8)},
        {TAG_ELEMENT_E3, ReadBig32(payload + 12)},
        {TAG_ELEMENT_EFFECT, TagPtr(reader.effect)},
        {TAG_DONE, 0},
    };
    reader.element = CreateLightEffectElement(tags);
    return reader.element != nullptr;
}

bool IsLightEffectChunk(uint32_t id)
{
    return id == ID_VERS || id == ID_LTEF || id == ID_LENM || id == ID_LEEL || id == ID_LEEN || id == ID_LEEM;
}

// One chunk. A fixed-layout chunk shorter than its layout fails; the bytes
// of a longer one past the layout are skipped with it.
bool ReadChunk(Reader& reader, uint32_t id, const uint8_t* payload, uint32_t size)
{
    switch (id) {
    case ID_VERS: return size >= WORD_BYTES;  // no light-effect chunk depends on the version
    case ID_LTEF: return size >= WORD_BYTES && NewEffect(reader, ReadBig32(payload));
    case ID_LENM: return reader.effect && ReplaceName(&reader.effect->name, payload, size);
    case ID_LEEL: return reader.effect && size >= LEEL_BYTES && NewElement(reader, payload);
    case ID_LEEN: return reader.element && ReplaceName(&reader.element->name, payload, size);
    case ID_LEEM: {
        const char* name = StringOf(payload, size);
        if (!reader.element || !name || !reader.scene)
            return false;
        reader.element->map = MapNamed(reader, name);
        return reader.element->map != nullptr;
    }
    default: return true;
    }
}

// Walks the chunks until the FORM's count is used up. Every chunk must lie
// inside the FORM. The pad byte after an unknown chunk of odd size is
// skipped; the FORM's last chunk may leave it out.
bool ReadChunks(Reader& reader, const uint8_t* at, uint32_t remaining)
{
    while (remaining != 0) {
        if (remaining < IFF_CHUNK_HEADER_BYTES)
            return false;
        const uint32_t id = ReadBig32(at);
        const uint32_t size = ReadBig32(at + 4);
        at += IFF_CHUNK_HEADER_BYTES;
        remaining -= IFF_CHUNK_HEADER_BYTES;
        if (size > remaining)
            return false;
        if (!ReadChunk(reader, id, at, size))
            return false;
        at += size;
        remaining -= size;
        if (!IsLightEffectChunk(id) && (size & 1) && remaining != 0) {
            ++at;
            --remaining;
        }
    }
    return true;
}

bool MakeElementMaterials(LightEffect* first, Scene* scene, const ColourTable* table)
{
    for (LightEffect* effect = first; effect; effect = effect->next) {
        for (LightEffectElement* element = effect->elements; element; element = element->next) {
            const uint32_t mode = ELEMENT_MATERIAL_MODES[element->e3 & 3];
            if (mode == 0)
                continue;
            const TagItem tags[] = {
                {TAG_MATERIAL_MODE, mode},
                {TAG_MATERIAL_P1, element->e2},
                {TAG_MATERIAL_SCENE, TagPtr(scene)},
                {TAG_MATERIAL_COLOURTABLE, TagPtr(table)},
                {TAG_DONE, 0},
            };
            element->material = CreateMaterial(tags);
            if (!element->material)
                return false;
        }
    }
    return true;
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

// ---- Writing -------------------------------------------------------------------

// Writes the file image into `out`, or with a null `out` only counts its
// bytes. Words are big-endian; strings end with a NUL and are padded with 0
// to even size.
class ImageWriter {
public:
    explicit ImageWriter(uint8_t* out) : out_(out) {}

    uint64_t Count() const { return count_; }

    void Word(uint32_t value)
    {
        const uint8_t bytes[4] = {uint8_t(value >> 24), uint8_t(value >> 16), uint8_t(value >> 8), uint8_t(value)};
        Put(bytes, sizeof bytes);
    }

    void WordChunk(uint32_t id, uint32_t value)
    {
        Word(id);
        Word(WORD_BYTES);
        Word(value);
    }

    void StringChunk(uint32_t id, const char* text)
    {
        const uint64_t length = std::strlen(text) + 1;
        const uint64_t padded = (length + 1) & ~uint64_t(1);
        Word(id);
        Word(uint32_t(padded));
        Put(text, length);
        if (padded != length) {
            const uint8_t pad = 0;
            Put(&pad, 1);
        }
    }

private:
    void Put(const void* bytes, uint64_t n)
    {
        if (out_)
            std::memcpy(out_ + count_, bytes, size_t(n));
        count_ += n;
    }

    uint8_t* out_;
    uint64_t count_ = 0;
};

// The whole file: header, VERS, the effect and its elements. `formLength`
// is the FORM length, known from a counting pass.
void WriteImage(ImageWriter& writer, const LightEffect* effect, uint32_t formLength)
{
    writer.Word(ID_FORM);
    writer.Word(formLength);
    writer.Word(ID_KVOR);
    writer.WordChunk(ID_VERS, LIGHTFILE_VERSION);
    writer.WordChunk(ID_LTEF, effect->effectValue);
    if (effect->name)
        writer.StringChunk(ID_LENM, effect->name);
    for (const LightEffectElement* element = effect->elements; element; element = element->next) {
        writer.Word(ID_LEEL);
        writer.Word(LEEL_BYTES);
        writer.Word(element->e0);
        writer.Word(element->e1);
        writer.Word(element->e2);
        writer.Word(element->e3);
        if (element->name)
            writer.StringChunk(ID_LEEN, element->name);
        if (element->map && element->map->name)
            writer.StringChunk(ID_LEEM, element->map->name);
    }
}

// Writes the image to a temporary file beside `name` and renames it to
// `name` once every byte is written and the file is closed; on any failure
// the temporary file is removed. The file gets the permissions "wb" would
// give a new file.
bool WriteFileAtomically(const char* name, const uint8_t* image, size_t size)
{
    std::string temporary = std::string(name) + ".XXXXXX";
    const int descriptor = mkstemp(temporary.data());
    if (descriptor < 0)
        return false;
    const mode_t mask = umask(0);
    umask(mask);
    std::FILE* file = fchmod(descriptor, 0666 & ~mask) == 0 ? fdopen(descriptor, "wb") : nullptr;
    if (!file)
        close(descriptor);
    bool written = file && std::fwrite(image, 1, size, file) == size;
    if (file && std::fclose(file) != 0)
        written = false;
    if (written && std::rename(temporary.c_str(), name) == 0)
        return true;
    std::remove(temporary.c_str());
    return false;
}

}  // namespace

int32_t IsSceneFile(const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_SCENEFILE_ERROR, tags);
    StoreError(error, -1);
    uint8_t header[IFF_FORM_HEADER_BYTES];
    if (const char* name = TagPointer<const char>(TAG_SCENEFILE_NAME, tags)) {
        std::FILE* file = std::fopen(name, "rb");
        if (!file)
            return 0;
        const bool read = std::fread(header, 1, sizeof header, file) == sizeof header;
        std::fclose(file);
        if (!read)
            return 0;
    } else if (const auto* memory = TagPointer<const uint8_t>(TAG_SCENEFILE_MEMORY, tags)) {
        const TagItem* size = FindTagIn(TAG_SCENEFILE_MEMORYSIZE, tags);
        if (size && size->data < IFF_FORM_HEADER_BYTES)
            return 0;
        std::memcpy(header, memory, sizeof header);
    } else {
        return 0;
    }
    StoreError(error, 0);
    return ReadBig32(header) == ID_FORM && ReadBig32(header + 8) == ID_KVOR ? 1 : 0;
}

LightEffect* LoadLightEffects(const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_LOADLIGHTEFFECTS_ERROR, tags);
    StoreError(error, -1);
    const char* name = TagPointer<const char>(TAG_LOADLIGHTEFFECTS_NAME, tags);
    const auto* memory = TagPointer<const uint8_t>(TAG_LOADLIGHTEFFECTS_MEMORY, tags);
    const auto* table = TagPointer<const ColourTable>(TAG_LOADLIGHTEFFECTS_COLOURTABLE, tags);
    Reader reader{};
    reader.scene = TagPointer<Scene>(TAG_LOADLIGHTEFFECTS_SCENE, tags);
    if (const TagItem* callback = FindTagIn(TAG_LOADLIGHTEFFECTS_CALLBACK, tags))
        reader.callback = reinterpret_cast<TextureNameCallback>(callback->data);
    if (table && !reader.scene)
        return nullptr;

    uint8_t* fileChunks = nullptr;
    const uint8_t* chunks = nullptr;
    uint32_t chunkBytes = 0;
    if (name) {
        fileChunks = ReadFormFile(name, &chunkBytes);
        chunks = fileChunks;
    } else if (memory) {
        const TagItem* size = FindTagIn(TAG_LOADLIGHTEFFECTS_MEMORYSIZE, tags);
        const bool headerFits = !size || size->data >= IFF_FORM_HEADER_BYTES;
        if (headerFits && ReadFormHeader(memory, &chunkBytes) &&
            (!size || chunkBytes <= size->data - IFF_FORM_HEADER_BYTES))
            chunks = memory + IFF_FORM_HEADER_BYTES;
    }
    if (!chunks)
        return nullptr;

    Texture** textureMark = nullptr;
    if (reader.scene) {
        textureMark = &reader.scene->textures;
        while (*textureMark)
            textureMark = &(*textureMark)->next;
    }
    const bool read = ReadChunks(reader, chunks, chunkBytes);
    MemFree(fileChunks);
    if (!read || (table && !MakeElementMaterials(reader.first, reader.scene, table))) {
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
    const char* name = TagPointer<const char>(TAG_SAVELIGHTEFFECTS_NAME, tags);
    auto* memory = TagPointer<uint8_t>(TAG_SAVELIGHTEFFECTS_MEMORY, tags);
    if (!effect || (!name && !memory))
        return 0;

    ImageWriter counter(nullptr);
    WriteImage(counter, effect, 0);
    if (counter.Count() > UINT32_MAX)
        return 0;
    const uint32_t total = uint32_t(counter.Count());
    const uint32_t formLength = total - IFF_CHUNK_HEADER_BYTES;

    if (name) {
        auto* image = static_cast<uint8_t*>(MemAlloc(total, 1));
        if (!image)
            return 0;
        ImageWriter writer(image);
        WriteImage(writer, effect, formLength);
        const bool written = WriteFileAtomically(name, image, total);
        MemFree(image);
        if (!written)
            return 0;
    } else {
        const TagItem* capacity = FindTagIn(TAG_SAVELIGHTEFFECTS_CAPACITY, tags);
        if (capacity && capacity->data < total)
            return 0;
        ImageWriter writer(memory);
        WriteImage(writer, effect, formLength);
    }
    StoreError(error, 0);
    return total;
}
