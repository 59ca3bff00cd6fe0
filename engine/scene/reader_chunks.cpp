// The scene reader's chunk handlers: one function per chunk, and the table
// that gives each chunk id its handler, the context it needs and the bytes
// its layout reads.
#include "scene/keys.h"
#include "scene/material.h"
#include "scene/reader.h"

#include <cerrno>
#include <cstring>

namespace kvor3d {

namespace {

// ---- Values by version ---------------------------------------------------------------

float IntegerValue(uint32_t word)
{
    return float(int32_t(word));
}

float FixedValue(uint32_t word)
{
    return float(double(int32_t(word)) / 65536.0);
}

float FloatValue(uint32_t word)
{
    return WordFloat(word);
}

using Decoder = float (*)(uint32_t word);

// Three values from word `first` on.
void ReadTriple(const Chunk& chunk, uint32_t first, Decoder decode, float values[3])
{
    for (uint32_t i = 0; i < 3; ++i)
        values[i] = decode(ChunkWord(chunk, first + i));
}

// trunc(level × 255.0) as a byte. Levels outside 0.0-1.0 (NaN included,
// which gives 0) are clamped, so no conversion leaves the byte's range.
uint32_t LevelByte(float level)
{
    double scaled = double(level) * 255.0;
    if (!(scaled > 0.0))
        return 0;
    return scaled >= 255.0 ? 255 : uint32_t(scaled);
}

constexpr uint32_t GREY = 0x010101;  // a byte repeated in bits 0-7, 8-15 and 16-23

// A string payload replaces the name in `slot`.
bool ReplaceName(const Chunk& chunk, char** slot)
{
    const char* text = ChunkString(chunk);
    if (!text)
        return false;
    char* name = CopyName(text);
    if (!name)
        return false;
    MemFree(*slot);
    *slot = name;
    return true;
}

// The first `limit` bytes of the payload (16 at most) as limit / 4
// big-endian words, bytes the payload lacks read as 0: the short forms of
// SHDW and LGHT.
void ReadShortWords(const Chunk& chunk, uint32_t limit, uint32_t* words)
{
    uint8_t bytes[16] = {};
    std::memcpy(bytes, chunk.data, chunk.size < limit ? chunk.size : limit);
    for (uint32_t i = 0; i < limit / 4; ++i)
        words[i] = GetWord(bytes + 4 * i);
}

// The spline bit of a new key: set exactly when `linearBit` of the entry's
// flags is clear.
uintptr_t SplineTag(uint32_t entryFlags, uint32_t linearBit)
{
    return (entryFlags & linearBit) ? 0 : 1;
}

constexpr uint32_t KEY_LINEAR_BIT = 0x2;        // motion and morph keys
constexpr uint32_t LIGHTKEY_LINEAR_BIT = 0x1;   // light keys

void CopyParameters(Key* key, const Chunk& chunk, uint32_t first)
{
    key->k0 = WordFloat(ChunkWord(chunk, first));
    key->k1 = WordFloat(ChunkWord(chunk, first + 1));
    key->k2 = WordFloat(ChunkWord(chunk, first + 2));
}

// ---- Textures ------------------------------------------------------------------------

// A name-only texture: its record holds the name and nothing else. It goes
// into the scene's chain, so that it is shared by name like a loaded
// texture and freed with the scene.
Texture* MakePlaceholder(Scene* scene, const char* name)
{
    auto* texture = AllocRecord<Texture>();
    if (!texture)
        return nullptr;
    texture->name = CopyName(name);
    if (!texture->name) {
        MemFree(texture);
        return nullptr;
    }
    Texture** link = &scene->textures;
    while (*link)
        link = &(*link)->next;
    *link = texture;
    return texture;
}

// The texture named by a string payload: the scene's texture of that name,
// a placeholder, or a new texture read through the image callback's image,
// or from the file the file callback gives for the name (none fails), or
// else from the file of that name (appended to the scene's chain by
// CreateTexture). A file already read under another spelling of its path is
// shared, not read again; a transparency map gets its grey map as a texture
// of its own name would. A texture that cannot be made is reported with its
// name.
bool LoadTexture(ReadContext* context, const Chunk& chunk, bool transparency, Texture** slot)
{
    const char* name = ChunkString(chunk);
    if (!name)
        return false;
    if (Texture* shared = FindTexture(context->scene, name)) {
        *slot = shared;
        return true;
    }
    if (context->placeholders) {
        *slot = MakePlaceholder(context->scene, name);
        return *slot != nullptr;
    }
    const void* image = context->textureImage ? context->textureImage(name) : nullptr;
    const char* file = name;
    if (!image) {
        if (context->textureFile && !(file = context->textureFile(name))) {
            ReportFailure(context->failure, name, ENOENT);
            return false;
        }
        if (Texture* sameFile = FindTextureFile(context->scene, file)) {
            *slot = sameFile;
            return !transparency || (sameFile->textureFlags & TEXTURE_GREYMAP) || BuildGreyMap(sameFile);
        }
    }
    TagItem tags[6] = {
        {TAG_TEXTURE_NAME, TagPtr(name)},
        {TAG_TEXTURE_SCENE, TagPtr(context->scene)},
    };
    size_t count = 2;
    if (transparency)
        tags[count++] = {TAG_TEXTURE_GREYMAP, 1};
    if (image)
        tags[count++] = {TAG_TEXTURE_MEMORY, TagPtr(image)};
    if (file != name)
        tags[count++] = {TAG_TEXTURE_FILE, TagPtr(file)};
    tags[count] = {TAG_DONE, 0};
    errno = 0;
    *slot = CreateTexture(tags);
    if (!*slot)
        ReportFailure(context->failure, name, errno != 0 ? errno : EINVAL);
    return *slot != nullptr;
}

// ---- Scene-level chunks -----------------------------------------------------------------

bool ReadVERS(ReadContext* context, const Chunk& chunk)
{
    context->version = ChunkWord(chunk, 0);
    return true;
}

bool ReadCLIP(ReadContext* context, const Chunk& chunk)
{
    Decoder decode = context->version <= VERSION_INTEGER_CLIP ? IntegerValue : FloatValue;
    context->scene->nearClip = decode(ChunkWord(chunk, 0));
    context->scene->farClip = decode(ChunkWord(chunk, 1));
    return true;
}

bool ReadFOG(ReadContext* context, const Chunk& chunk)
{
    Scene* scene = context->scene;
    scene->flags |= ChunkWord(chunk, 0) << SCENE_FOGMODE_SHIFT;
    for (uint32_t i = 0; i < 5; ++i)
        scene->fog[i] = ChunkWord(chunk, 1 + i);
    scene->flags |= ChunkWord(chunk, 6);
    return true;
}

// The second value is optional (4-byte chunks of older writers).
bool ReadGAMB(ReadContext* context, const Chunk& chunk)
{
    Scene* scene = context->scene;
    scene->ambientLevel = WordFloat(ChunkWord(chunk, 0));
    scene->ambientValue2 = chunk.size >= 8 ? WordFloat(ChunkWord(chunk, 1)) : 1.0f;
    scene->ambientGrey = LevelByte(scene->ambientLevel) * GREY;
    return true;
}

void SetBackground(Scene* scene, const Chunk& chunk)
{
    scene->flags = (scene->flags & ~SCENE_BACKGROUNDMODE) |
                   ((ChunkWord(chunk, 0) << SCENE_BACKGROUNDMODE_SHIFT) & SCENE_BACKGROUNDMODE);
    scene->backgroundColour = ChunkWord(chunk, 1);
    scene->backgroundValue2 = ChunkWord(chunk, 2);
}

bool ReadBACK(ReadContext* context, const Chunk& chunk)
{
    SetBackground(context->scene, chunk);
    context->scene->backgroundValue3 = 0;
    return true;
}

bool ReadBCK2(ReadContext* context, const Chunk& chunk)
{
    SetBackground(context->scene, chunk);
    context->scene->backgroundValue3 = ChunkWord(chunk, 3);
    return true;
}

bool ReadBMAP(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, false, &context->scene->backgroundMap);
}

bool ReadFLOR(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, false, &context->scene->floorMap);
}

bool ReadSKY(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, false, &context->scene->skyMap);
}

// Up to 4 bytes; missing bytes are 0.
bool ReadSHDW(ReadContext* context, const Chunk& chunk)
{
    uint32_t value;
    ReadShortWords(chunk, 4, &value);
    context->scene->flags |= value;
    return true;
}

// ---- Light effects --------------------------------------------------------------------

// The current effect is the last of the scene's chain and the current
// element the last of its effect's, so each new one is linked in one step.
bool ReadLTEF(ReadContext* context, const Chunk& chunk)
{
    LightEffect* effect = CreateLightEffect(nullptr);
    if (!effect)
        return false;
    (context->effect ? context->effect->next : context->scene->lightEffects) = effect;
    effect->effectValue = ChunkWord(chunk, 0);
    context->effect = effect;
    context->element = nullptr;
    return true;
}

bool ReadLENM(ReadContext* context, const Chunk& chunk)
{
    return ReplaceName(chunk, &context->effect->name);
}

bool ReadLEEL(ReadContext* context, const Chunk& chunk)
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
    (context->element ? context->element->next : context->effect->elements) = element;
    context->element = element;
    return true;
}

bool ReadLEEN(ReadContext* context, const Chunk& chunk)
{
    return ReplaceName(chunk, &context->element->name);
}

bool ReadLEEM(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, false, &context->element->map);
}

// ---- Entities -----------------------------------------------------------------------------

// Kind 666 selects the camera; every other entity is appended at the tail
// of the chain. A light volume is never read from a file:
// kind 4 makes a null entity of kind 0, since a plain entity record must not
// carry the volume's kind. Every other kind is stored as read.
bool ReadENTY(ReadContext* context, const Chunk& chunk)
{
    uint32_t kind = ChunkWord(chunk, 0);
    Entity* entity = context->scene->camera;
    if (kind != ENTITY_CAMERA) {
        entity = AllocEntity(kind == ENTITY_VOLUME ? ENTITY_NULL : kind);
        if (!entity)
            return false;
        Scene* scene = context->scene;
        (context->lastEntity ? context->lastEntity->next : scene->entities) = entity;
        context->lastEntity = entity;
        ++scene->entityCount;
    }
    entity->entityFlags = ChunkWord(chunk, 1);
    context->entity = entity;
    context->vertexArraySet = false;
    context->target = nullptr;
    context->morphKey = nullptr;
    return true;
}

bool ReadNAME(ReadContext* context, const Chunk& chunk)
{
    return ReplaceName(chunk, &context->entity->name);
}

Decoder PositionDecoder(const ReadContext* context)
{
    return context->version <= VERSION_INTEGER_POSITIONS ? IntegerValue : FloatValue;
}

Decoder RotationDecoder(const ReadContext* context)
{
    return context->version <= VERSION_INTEGER_POSITIONS ? FixedValue : FloatValue;
}

bool ReadPOSN(ReadContext* context, const Chunk& chunk)
{
    ReadTriple(chunk, 0, PositionDecoder(context), context->entity->position);
    return true;
}

bool ReadPIVT(ReadContext* context, const Chunk& chunk)
{
    ReadTriple(chunk, 0, PositionDecoder(context), context->entity->pivot);
    return true;
}

bool ReadROTN(ReadContext* context, const Chunk& chunk)
{
    ReadTriple(chunk, 0, IntegerValue, context->entity->rotation);
    return true;
}

bool ReadROT2(ReadContext* context, const Chunk& chunk)
{
    ReadTriple(chunk, 0, RotationDecoder(context), context->entity->rotation);
    return true;
}

bool ReadSIZE(ReadContext* context, const Chunk& chunk)
{
    ReadTriple(chunk, 0, FloatValue, context->entity->size);
    return true;
}

bool ReadPRNT(ReadContext* context, const Chunk& chunk)
{
    return ReplaceName(chunk, &context->entity->parentName);
}

// ---- Motion keys -----------------------------------------------------------------------------

// How the entries of one motion-key chunk are laid out and decoded.
struct KeyLayout {
    uint32_t entryBytes;
    Decoder position;
    Decoder rotation;
    bool parameters;      // k0-k2 and the flags word follow the rotation
    bool size;            // KEY3: the size follows the flags word
};

// Replaces the entity's keys with the chunk's entries. Each key starts as
// CreateEntityKey makes it (with the interpolation bit, and the spline bit
// when the entry's bit 1 is clear), then takes the entry's values; the size
// is 1.0 unless the entry has one. From version 6 a KEY3 entry's flags
// word becomes the key's flags.
bool ReadMotionKeys(ReadContext* context, const Chunk& chunk, const KeyLayout& layout)
{
    if (chunk.size % layout.entryBytes != 0)
        return false;
    Entity* entity = context->entity;
    FreeKeyList(&entity->keys);
    const uint32_t wordsPerEntry = layout.entryBytes / 4;
    for (uint32_t first = 0; first < chunk.size / 4; first += wordsPerEntry) {
        uint32_t entryFlags = layout.parameters ? ChunkWord(chunk, first + 10) : 0;
        const TagItem tags[] = {
            {TAG_KEY_ENTITY, TagPtr(entity)},
            {TAG_KEY_TIME, ChunkWord(chunk, first)},
            {TAG_KEY_INTERPOLATE, 1},
            {TAG_KEY_SPLINE, SplineTag(entryFlags, KEY_LINEAR_BIT)},
            {TAG_DONE, 0},
        };
        EntityKey* key = CreateEntityKey(tags);
        if (!key)
            return false;
        ReadTriple(chunk, first + 1, layout.position, key->position);
        ReadTriple(chunk, first + 4, layout.rotation, key->rotation);
        if (layout.parameters)
            CopyParameters(key, chunk, first + 7);
        if (layout.size) {
            ReadTriple(chunk, first + 11, FloatValue, key->size);
            if (context->version > VERSION_FLAG_BIT_KEYS)
                key->keyFlags = entryFlags;
        } else {
            key->size[0] = key->size[1] = key->size[2] = 1.0f;
        }
    }
    return true;
}

bool ReadKEYF(ReadContext* context, const Chunk& chunk)
{
    return ReadMotionKeys(context, chunk, {KEYF_ENTRY_BYTES, IntegerValue, IntegerValue, false, false});
}

bool ReadFKEY(ReadContext* context, const Chunk& chunk)
{
    return ReadMotionKeys(context, chunk, {FKEY_ENTRY_BYTES, IntegerValue, IntegerValue, true, false});
}

bool ReadKEY2(ReadContext* context, const Chunk& chunk)
{
    return ReadMotionKeys(context, chunk,
                          {KEY2_ENTRY_BYTES, PositionDecoder(context), RotationDecoder(context), true, false});
}

bool ReadKEY3(ReadContext* context, const Chunk& chunk)
{
    return ReadMotionKeys(context, chunk, {KEY3_ENTRY_BYTES, FloatValue, FloatValue, true, true});
}

// ---- Objects ---------------------------------------------------------------------------------

ObjectEntity* CurrentObject(const ReadContext* context)
{
    return static_cast<ObjectEntity*>(context->entity);
}

MorphEntity* CurrentMorph(const ReadContext* context)
{
    return static_cast<MorphEntity*>(context->entity);
}

bool ReadObjectFlags(ReadContext* context, const Chunk& chunk)
{
    CurrentObject(context)->objectFlags = ChunkWord(chunk, 0);
    return true;
}

bool ReadMOBJ(ReadContext* context, const Chunk& chunk)
{
    context->target = nullptr;
    return ReadObjectFlags(context, chunk);
}

Decoder VertexDecoder(const ReadContext* context)
{
    return context->version <= VERSION_INTEGER_VERTICES ? IntegerValue : FloatValue;
}

// A new vertex array for a polygon object. Faces already read point into
// the array it would replace, so a second vertex array after faces fails.
bool ReadObjectVertices(ReadContext* context, const Chunk& chunk, uint32_t entryBytes)
{
    ObjectEntity* object = CurrentObject(context);
    if (object->faceCount != 0)
        return false;
    const uint32_t count = chunk.size / entryBytes;
    auto* vertices = static_cast<Vertex*>(MemAlloc(count, sizeof(Vertex)));
    if (!vertices && count != 0)
        return false;
    const Decoder decode = VertexDecoder(context);
    const bool withIntensity = entryBytes == AVTX_ENTRY_BYTES;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t first = i * (entryBytes / 4);
        ReadTriple(chunk, first, decode, vertices[i].position);
        if (withIntensity) {
            vertices[i].colour = LevelByte(WordFloat(ChunkWord(chunk, first + 3))) * GREY;
            vertices[i].vertexValue = ChunkWord(chunk, first + 4);
        } else {
            vertices[i].vertexValue = ChunkWord(chunk, first + 3);
        }
    }
    MemFree(object->vertices);
    object->vertices = vertices;
    object->vertexCount = count;
    context->vertexArraySet = true;
    return true;
}

// A morph target's shape. The first shape also gives the morph object its
// vertex array; every later one must have as many vertices, since the
// evaluator and the normals walk all targets with the object's count.
bool ReadTargetVertices(ReadContext* context, const Chunk& chunk, uint32_t entryBytes)
{
    MorphEntity* morph = CurrentMorph(context);
    MorphTarget* target = context->target;
    if (!target)
        return false;
    const uint32_t count = chunk.size / entryBytes;
    if (context->vertexArraySet && count != morph->vertexCount)
        return false;
    auto* shape = static_cast<TargetVertex*>(MemAlloc(count, sizeof(TargetVertex)));
    if (!shape && count != 0)
        return false;
    if (!context->vertexArraySet) {
        auto* vertices = static_cast<Vertex*>(MemAlloc(count, sizeof(Vertex)));
        if (!vertices && count != 0) {
            MemFree(shape);
            return false;
        }
        MemFree(morph->vertices);
        morph->vertices = vertices;
        morph->vertexCount = count;
        context->vertexArraySet = true;
    }
    const Decoder decode = VertexDecoder(context);
    for (uint32_t i = 0; i < count; ++i)
        ReadTriple(chunk, i * (entryBytes / 4), decode, shape[i].position);
    MemFree(target->targetVertices);
    target->targetVertices = shape;
    return true;
}

bool ReadVertices(ReadContext* context, const Chunk& chunk, uint32_t entryBytes)
{
    if (chunk.size % entryBytes != 0)
        return false;
    if (context->entity->kind == ENTITY_MORPH)
        return ReadTargetVertices(context, chunk, entryBytes);
    return ReadObjectVertices(context, chunk, entryBytes);
}

bool ReadVRTX(ReadContext* context, const Chunk& chunk)
{
    return ReadVertices(context, chunk, VRTX_ENTRY_BYTES);
}

bool ReadAVTX(ReadContext* context, const Chunk& chunk)
{
    return ReadVertices(context, chunk, AVTX_ENTRY_BYTES);
}

// Faces replace the object's faces; every corner must lie in the current
// vertex array. The faces' corner records are left out when there is no
// memory for them: the draw list then reads the faces themselves.
bool ReadFACE(ReadContext* context, const Chunk& chunk)
{
    if (chunk.size % FACE_ENTRY_BYTES != 0 || !context->vertexArraySet)
        return false;
    ObjectEntity* object = CurrentObject(context);
    const uint32_t count = chunk.size / FACE_ENTRY_BYTES;
    auto* faces = static_cast<Face*>(MemAlloc(count, sizeof(Face)));
    if (!faces && count != 0)
        return false;
    auto* records = static_cast<FaceCorners*>(MemAlloc(count, sizeof(FaceCorners)));
    const Decoder decode = VertexDecoder(context);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t first = i * (FACE_ENTRY_BYTES / 4);
        Face& face = faces[i];
        for (uint32_t corner = 0; corner < 3; ++corner) {
            uint32_t index = ChunkWord(chunk, first + corner);
            if (index >= object->vertexCount) {
                MemFree(faces);
                MemFree(records);
                return false;
            }
            face.vertices[corner] = &object->vertices[index];
            face.uv[corner][0] = decode(ChunkWord(chunk, first + 3 + 2 * corner));
            face.uv[corner][1] = decode(ChunkWord(chunk, first + 4 + 2 * corner));
            if (records)
                records[i].corners[corner] = index;
        }
        face.faceFlags = ChunkWord(chunk, first + 9);
        face.owner = object;
        if (records)
            records[i].faceFlags = face.faceFlags;
    }
    MemFree(object->faces);
    MemFree(object->faceCorners);
    object->faces = faces;
    object->faceCorners = records;
    object->faceCount = count;
    return true;
}

bool ReadCOLR(ReadContext* context, const Chunk& chunk)
{
    CurrentObject(context)->colour = ChunkWord(chunk, 0);
    return true;
}

bool ReadTXTR(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, false, &CurrentObject(context)->textureMap);
}

bool ReadENVR(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, false, &CurrentObject(context)->environmentMap);
}

bool ReadBUMP(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, false, &CurrentObject(context)->bumpMap);
}

// A transparency map is loaded with its grey map.
bool ReadTRNS(ReadContext* context, const Chunk& chunk)
{
    return LoadTexture(context, chunk, true, &CurrentObject(context)->transparencyMap);
}

bool ReadMFLT(ReadContext* context, const Chunk& chunk)
{
    for (uint32_t i = 0; i < 4; ++i)
        CurrentObject(context)->material[i] = ChunkWord(chunk, i);
    return true;
}

bool ReadSPRE(ReadContext* context, const Chunk& chunk)
{
    return ReplaceName(chunk, &CurrentObject(context)->spriteEffectName);
}

bool ReadSPTR(ReadContext* context, const Chunk& chunk)
{
    CurrentObject(context)->spriteValue = ChunkWord(chunk, 0);
    return true;
}

bool ReadPCOR(ReadContext* context, const Chunk& chunk)
{
    CurrentObject(context)->correctionValue = ChunkWord(chunk, 0);
    return true;
}

// Up to version 2 one 16.16 value and g1 = 1.0; then two floats. Entities
// other than objects read it and keep nothing.
bool ReadGLOW(ReadContext* context, const Chunk& chunk)
{
    const bool fixed = context->version <= VERSION_FIXED_GLOW;
    if (chunk.size < (fixed ? 4u : 8u))
        return false;
    ObjectEntity* object = ObjectOf(context->entity);
    if (!object)
        return true;
    object->glow[0] = fixed ? FixedValue(ChunkWord(chunk, 0)) : FloatValue(ChunkWord(chunk, 0));
    object->glow[1] = fixed ? 1.0f : FloatValue(ChunkWord(chunk, 1));
    return true;
}

bool ReadRDST(ReadContext* context, const Chunk& chunk)
{
    for (uint32_t i = 0; i < 4; ++i)
        CurrentObject(context)->rdstValues[i] = ChunkWord(chunk, i);
    return true;
}

// ---- Morph targets and keys ----------------------------------------------------------------

bool ReadMFNM(ReadContext* context, const Chunk& chunk)
{
    const char* name = ChunkString(chunk);
    if (!name)
        return false;
    auto* target = AllocRecord<MorphTarget>();
    if (!target)
        return false;
    target->name = CopyName(name);
    if (!target->name) {
        MemFree(target);
        return false;
    }
    MorphEntity* morph = CurrentMorph(context);
    MorphTarget** link = &morph->targets;
    while (*link)
        link = &(*link)->next;
    *link = target;
    ++morph->targetCount;
    context->target = target;
    context->morphKey = nullptr;
    return true;
}

bool ReadMFKF(ReadContext* context, const Chunk& chunk)
{
    const uint32_t entryFlags = ChunkWord(chunk, 1);
    const TagItem tags[] = {
        {TAG_KEY_MORPH, TagPtr(context->entity)},
        {TAG_KEY_TIME, ChunkWord(chunk, 0)},
        {TAG_KEY_INTERPOLATE, 1},
        {TAG_KEY_SPLINE, SplineTag(entryFlags, KEY_LINEAR_BIT)},
        {TAG_DONE, 0},
    };
    MorphKey* key = CreateMorphKey(tags);
    if (!key)
        return false;
    CopyParameters(key, chunk, 2);
    if (context->version > VERSION_FLAG_BIT_KEYS)
        key->keyFlags = entryFlags;
    context->morphKey = key;
    return true;
}

bool ReadMKFN(ReadContext* context, const Chunk& chunk)
{
    return ReplaceName(chunk, &context->morphKey->targetName);
}

// ---- Lights and camera --------------------------------------------------------------------------

LightEntity* CurrentLight(const ReadContext* context)
{
    return static_cast<LightEntity*>(context->entity);
}

// Up to 16 bytes; missing words are 0.
bool ReadLGHT(ReadContext* context, const Chunk& chunk)
{
    uint32_t words[4];
    ReadShortWords(chunk, 16, words);
    LightEntity* light = CurrentLight(context);
    light->lightFlags = words[0];
    light->lightValue1 = WordFloat(words[1]);
    light->lightValue2 = WordFloat(words[2]);
    light->lightValue3 = words[3];
    return true;
}

bool ReadLGTE(ReadContext* context, const Chunk& chunk)
{
    return ReplaceName(chunk, &CurrentLight(context)->effectName);
}

// Light keys are added to the light's keys2 (a later chunk adds more).
bool ReadLIKF(ReadContext* context, const Chunk& chunk)
{
    if (chunk.size % LIKF_ENTRY_BYTES != 0)
        return false;
    for (uint32_t first = 0; first < chunk.size / 4; first += LIKF_ENTRY_BYTES / 4) {
        const uint32_t entryFlags = ChunkWord(chunk, first + 5);
        const TagItem tags[] = {
            {TAG_KEY_LIGHT, TagPtr(context->entity)},
            {TAG_KEY_TIME, ChunkWord(chunk, first)},
            {TAG_KEY_INTERPOLATE, 1},
            {TAG_KEY_SPLINE, SplineTag(entryFlags, LIGHTKEY_LINEAR_BIT)},
            {TAG_DONE, 0},
        };
        LightKey* key = CreateLightKey(tags);
        if (!key)
            return false;
        key->value = WordFloat(ChunkWord(chunk, first + 1));
        CopyParameters(key, chunk, first + 2);
        if (context->version > VERSION_FLAG_BIT_KEYS)
            key->keyFlags = entryFlags;
    }
    return true;
}

bool ReadCMRA(ReadContext* context, const Chunk& chunk)
{
    auto* camera = static_cast<CameraEntity*>(context->entity);
    camera->cameraValue2 = ChunkWord(chunk, 0);
    camera->fieldOfView = WordFloat(ChunkWord(chunk, 1));
    return true;
}

// ---- The chunk table --------------------------------------------------------------------------------

// The context a chunk needs before its handler runs.
enum class Need {
    Nothing,
    Entity,        // any current entity, the camera included
    Object,        // an object or a morph object
    PlainObject,   // an object (kind 1)
    Morph,         // a morph object (kind 2)
    MorphKey,      // a morph object with a current morph key
    Light,         // a light (kind 3)
    Camera,        // the camera
    Effect,        // a current light effect
    Element,       // a current light-effect element
};

struct ChunkRule {
    uint32_t id;
    Need need;
    uint32_t layout;  // bytes the handler reads; a shorter payload fails, a longer one's rest is skipped
    bool (*read)(ReadContext* context, const Chunk& chunk);
};

// Array, string and short-form chunks have layout 0 and check their own
// sizes.
constexpr ChunkRule CHUNK_RULES[] = {
    {ID_VERS, Need::Nothing, 4, ReadVERS},
    {ID_CLIP, Need::Nothing, 8, ReadCLIP},
    {ID_FOG, Need::Nothing, 28, ReadFOG},
    {ID_GAMB, Need::Nothing, 4, ReadGAMB},
    {ID_BACK, Need::Nothing, 12, ReadBACK},
    {ID_BCK2, Need::Nothing, 16, ReadBCK2},
    {ID_BMAP, Need::Nothing, 0, ReadBMAP},
    {ID_FLOR, Need::Nothing, 0, ReadFLOR},
    {ID_SKY, Need::Nothing, 0, ReadSKY},
    {ID_SHDW, Need::Nothing, 0, ReadSHDW},
    {ID_LTEF, Need::Nothing, 4, ReadLTEF},
    {ID_LENM, Need::Effect, 0, ReadLENM},
    {ID_LEEL, Need::Effect, 16, ReadLEEL},
    {ID_LEEN, Need::Element, 0, ReadLEEN},
    {ID_LEEM, Need::Element, 0, ReadLEEM},
    {ID_ENTY, Need::Nothing, 8, ReadENTY},
    {ID_NAME, Need::Entity, 0, ReadNAME},
    {ID_POSN, Need::Entity, 12, ReadPOSN},
    {ID_PIVT, Need::Entity, 12, ReadPIVT},
    {ID_ROTN, Need::Entity, 12, ReadROTN},
    {ID_ROT2, Need::Entity, 12, ReadROT2},
    {ID_SIZE, Need::Entity, 12, ReadSIZE},
    {ID_PRNT, Need::Entity, 0, ReadPRNT},
    {ID_KEYF, Need::Entity, 0, ReadKEYF},
    {ID_FKEY, Need::Entity, 0, ReadFKEY},
    {ID_KEY2, Need::Entity, 0, ReadKEY2},
    {ID_KEY3, Need::Entity, 0, ReadKEY3},
    {ID_OBJT, Need::PlainObject, 4, ReadObjectFlags},
    {ID_MOBJ, Need::Morph, 4, ReadMOBJ},
    {ID_VRTX, Need::Object, 0, ReadVRTX},
    {ID_AVTX, Need::Object, 0, ReadAVTX},
    {ID_FACE, Need::Object, 0, ReadFACE},
    {ID_COLR, Need::Object, 4, ReadCOLR},
    {ID_TXTR, Need::Object, 0, ReadTXTR},
    {ID_ENVR, Need::Object, 0, ReadENVR},
    {ID_BUMP, Need::Object, 0, ReadBUMP},
    {ID_TRNS, Need::Object, 0, ReadTRNS},
    {ID_MFLT, Need::Object, 16, ReadMFLT},
    {ID_SPRE, Need::Object, 0, ReadSPRE},
    {ID_SPTR, Need::Object, 4, ReadSPTR},
    {ID_PCOR, Need::Object, 4, ReadPCOR},
    {ID_GLOW, Need::Entity, 0, ReadGLOW},
    {ID_RDST, Need::Object, 16, ReadRDST},
    {ID_MFNM, Need::Morph, 0, ReadMFNM},
    {ID_MFKF, Need::Morph, MFKF_BYTES, ReadMFKF},
    {ID_MKFN, Need::MorphKey, 0, ReadMKFN},
    {ID_LGHT, Need::Light, 0, ReadLGHT},
    {ID_LGTE, Need::Light, 0, ReadLGTE},
    {ID_LIKF, Need::Light, 0, ReadLIKF},
    {ID_CMRA, Need::Camera, 8, ReadCMRA},
};

const ChunkRule* FindRule(uint32_t id)
{
    for (const ChunkRule& rule : CHUNK_RULES) {
        if (rule.id == id)
            return &rule;
    }
    return nullptr;
}

bool HasContext(const ReadContext* context, Need need)
{
    const uint32_t kind = context->entity ? context->entity->kind : ENTITY_NULL;
    switch (need) {
    case Need::Nothing: return true;
    case Need::Entity: return context->entity != nullptr;
    case Need::Object: return ObjectOf(context->entity) != nullptr;
    case Need::PlainObject: return context->entity && kind == ENTITY_OBJECT;
    case Need::Morph: return MorphOf(context->entity) != nullptr;
    case Need::MorphKey: return MorphOf(context->entity) && context->morphKey;
    case Need::Light: return LightOf(context->entity) != nullptr;
    case Need::Camera: return CameraOf(context->entity) != nullptr;
    case Need::Effect: return context->effect != nullptr;
    case Need::Element: return context->element != nullptr;
    }
    return false;
}

}  // namespace

bool IsSceneChunk(uint32_t id)
{
    return FindRule(id) != nullptr;
}

bool ReadSceneChunk(ReadContext* context, const Chunk& chunk)
{
    const ChunkRule* rule = FindRule(chunk.id);
    return rule && HasContext(context, rule->need) && chunk.size >= rule->layout && rule->read(context, chunk);
}

}  // namespace kvor3d
