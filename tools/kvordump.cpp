// kvordump: prints a scene file as JSON. By default it is the scene as
// LoadScene builds it: the scene settings, the textures by name, the light
// effects with their elements and every entity with its keys, parts and
// references by name, the camera last. With --chunks it is the FORM's chunk
// list as the bytes lie (offset, id, payload size), walked here with the
// reader's rules, so that it also lists files the reader refuses.
//
//   kvordump [-c | --chunks] FILE      FILE "-" is standard input
//
// Exit status: 0; 1 when the file cannot be read, is no scene file or is
// refused (one line on standard error naming the file and the reason); 2 for
// a usage error.
#include "headless.h"
#include "kvor3d.h"
#include "options.h"
#include "scene/reader.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

constexpr char PROGRAM[] = "kvordump";
constexpr int EXIT_REFUSED = 1;

const cli::Program COMMAND_LINE = {
    PROGRAM,
    "kvordump [-c | --chunks] FILE",
    "Prints a kvor3d scene file as JSON: a summary (time range, counts), the\n"
    "scene settings, textures, light effects and every entity with its keys, as\n"
    "the scene reader builds them. Key times are given in ticks (709379 a\n"
    "second) and in seconds. FILE \"-\" reads standard input.",
    {{'c', "chunks", nullptr, "print the FORM's chunk list (offset, id, size) instead;\nthis works on files the scene reader refuses"}},
    "Exit status: 0 on success, 1 when the file cannot be read or is not a\nvalid scene file, 2 for a usage error.",
};

std::string Printed(const char* format, ...) __attribute__((format(printf, 1, 2)));

// printf into a string of whatever length the text needs.
std::string Printed(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    va_list again;
    va_copy(again, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, arguments);
    va_end(arguments);
    std::string text(length > 0 ? size_t(length) : 0, '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

// ---- Command line -------------------------------------------------------------

struct Options {
    bool chunks;
    const char* file;
};

// The result is NONE or the program's exit status.
int ParseOptions(int argc, char** argv, Options* options)
{
    *options = Options{};
    std::vector<const char*> operands;
    const int parsed = cli::Parse(
        COMMAND_LINE, argc, argv,
        [options](int, const char*) {
            options->chunks = true;
            return std::string();
        },
        &operands);
    if (parsed != cli::NONE)
        return parsed;
    if (operands.empty())
        return cli::UsageError(COMMAND_LINE, "no scene file given");
    if (operands.size() > 1)
        return cli::UsageError(COMMAND_LINE,
                               Printed("one scene file at a time ('%s' and '%s')", operands[0], operands[1]));
    options->file = operands[0];
    return cli::NONE;
}

// ---- The file's bytes -----------------------------------------------------------

// A scene file as read: its header and as much of its FORM as the file
// holds. Nothing past the FORM is read, so a header that claims more than
// the file holds costs no more memory than the file.
struct SceneBytes {
    std::vector<uint8_t> bytes;
    uint64_t formEnd;       // FORM size + 8
};

// Appends up to `count` bytes from the stream. False on a read error (errno
// says which); an early end of the file is no error.
bool ReadUpTo(FILE* stream, std::vector<uint8_t>* bytes, uint64_t count)
{
    constexpr size_t BLOCK = 1 << 16;
    while (count > 0) {
        const size_t wanted = count < BLOCK ? size_t(count) : BLOCK;
        const size_t start = bytes->size();
        bytes->resize(start + wanted);
        const size_t got = std::fread(bytes->data() + start, 1, wanted, stream);
        bytes->resize(start + got);
        count -= got;
        if (got < wanted)
            return !std::ferror(stream);
    }
    return true;
}

// Reads the 12-byte header and, when it is "FORM", size, "KVOR" with room
// for the type word, the rest of the FORM.
bool ReadFormBytes(FILE* stream, SceneBytes* scene, std::string* reason)
{
    if (!ReadUpTo(stream, &scene->bytes, FORM_HEADER_BYTES)) {
        *reason = Printed("cannot read: %s", std::strerror(errno));
        return false;
    }
    const uint8_t* header = scene->bytes.data();
    if (scene->bytes.size() < FORM_HEADER_BYTES || GetWord(header) != ID_FORM || GetWord(header + 8) != ID_KVOR) {
        *reason = "not a scene file";
        return false;
    }
    const uint32_t formSize = GetWord(header + 4);
    if (formSize < 4) {
        *reason = Printed("FORM size %u cannot hold its type", formSize);
        return false;
    }
    scene->formEnd = uint64_t(formSize) + CHUNK_HEADER_BYTES;
    if (!ReadUpTo(stream, &scene->bytes, scene->formEnd - FORM_HEADER_BYTES)) {
        *reason = Printed("cannot read: %s", std::strerror(errno));
        return false;
    }
    return true;
}

bool ReadSceneBytes(const char* name, SceneBytes* scene, std::string* reason)
{
    const bool standardInput = std::strcmp(name, "-") == 0;
    FILE* stream = standardInput ? stdin : OpenRegularFile(name);
    if (!stream) {
        *reason = Printed("cannot open: %s", std::strerror(errno));
        return false;
    }
    const bool read = ReadFormBytes(stream, scene, reason);
    if (!standardInput)
        std::fclose(stream);
    return read;
}

// ---- Chunk walk ------------------------------------------------------------------

struct ChunkEntry {
    uint64_t offset;          // of the chunk header
    uint32_t id;
    uint32_t size;            // payload bytes, without the header and any pad byte
};

// A chunk id for a message: printable bytes as they are, others as \xNN.
std::string IdText(uint32_t id)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const unsigned byte = (id >> shift) & 0xFF;
        text += byte >= 0x20 && byte < 0x7F ? std::string(1, char(byte)) : Printed("\\x%02x", byte);
    }
    return text;
}

// Walks the FORM's chunks the way the scene reader does: an odd-sized chunk
// the reader does not know is followed by a pad byte, one it knows is not.
// Lists every whole chunk; false at the first one that runs past the end
// of the FORM or of the file, with `reason` saying which.
bool WalkChunks(const SceneBytes& scene, std::vector<ChunkEntry>* chunks, std::string* reason)
{
    const uint64_t length = scene.bytes.size();
    const std::string truncated =
        Printed("truncated: the FORM needs %llu bytes, the file has %llu", (unsigned long long)scene.formEnd,
                (unsigned long long)length);
    uint64_t offset = FORM_HEADER_BYTES;
    while (offset < scene.formEnd) {
        if (offset + CHUNK_HEADER_BYTES > scene.formEnd) {
            *reason = Printed("chunk header at offset %llu runs past the end of the FORM at %llu",
                              (unsigned long long)offset, (unsigned long long)scene.formEnd);
            return false;
        }
        if (offset + CHUNK_HEADER_BYTES > length) {
            *reason = truncated;
            return false;
        }
        const uint32_t id = GetWord(&scene.bytes[offset]);
        const uint32_t size = GetWord(&scene.bytes[offset + 4]);
        const uint32_t pad = IsSceneChunk(id) ? 0 : size & 1;
        const uint64_t end = offset + CHUNK_HEADER_BYTES + size + pad;
        if (end > scene.formEnd) {
            *reason = Printed("chunk '%s' of %u bytes at offset %llu runs past the end of the FORM at %llu",
                              IdText(id).c_str(), size, (unsigned long long)offset,
                              (unsigned long long)scene.formEnd);
            return false;
        }
        if (end > length) {
            *reason = truncated;
            return false;
        }
        chunks->push_back({offset, id, size});
        offset = end;
    }
    return true;
}

// ---- JSON ------------------------------------------------------------------------

// A JSON document being written to standard output, two spaces per level.
// A container opened inline keeps its members, and theirs, on one line.
struct Json {
    struct Level {
        bool inlined;
        bool empty;
    };
    std::vector<Level> levels;
};

// The length of the valid UTF-8 sequence that starts `bytes` (at most
// `count` long), or 0 when none does: overlong forms, surrogates and code
// points past U+10FFFF are not valid.
size_t Utf8Length(const unsigned char* bytes, size_t count)
{
    const unsigned lead = bytes[0];
    size_t length = 0;
    unsigned low = 0x80, high = 0xBF;  // range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    }
    if (length == 0 || length > count || bytes[1] < low || bytes[1] > high)
        return 0;
    for (size_t k = 2; k < length; ++k) {
        if ((bytes[k] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

// A string with quotes and escapes. Valid UTF-8 passes as it is; any other
// byte of 0x80 and above is taken as Latin-1 and escaped, so that the
// document stays valid whatever bytes a name holds.
void JsonText(const char* text, size_t count)
{
    std::putchar('"');
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t i = 0; i < count;) {
        const unsigned byte = bytes[i];
        const size_t sequence = byte >= 0x80 ? Utf8Length(bytes + i, count - i) : 0;
        if (sequence > 0) {
            std::fwrite(bytes + i, 1, sequence, stdout);
            i += sequence;
            continue;
        }
        if (byte == '"' || byte == '\\')
            std::printf("\\%c", byte);
        else if (byte == '\n')
            std::fputs("\\n", stdout);
        else if (byte == '\t')
            std::fputs("\\t", stdout);
        else if (byte < 0x20 || byte >= 0x7F)
            std::printf("\\u%04x", byte);
        else
            std::putchar(int(byte));
        ++i;
    }
    std::putchar('"');
}

// Starts a member: the separator, the line break and indentation (unless
// inline) and the key, when the member has one.
void JsonMember(Json& json, const char* key)
{
    if (!json.levels.empty()) {
        Json::Level& level = json.levels.back();
        if (!level.empty)
            std::putchar(',');
        if (level.inlined) {
            if (!level.empty)
                std::putchar(' ');
        } else {
            std::printf("\n%*s", int(2 * json.levels.size()), "");
        }
        level.empty = false;
    }
    if (key) {
        JsonText(key, std::strlen(key));
        std::fputs(": ", stdout);
    }
}

void JsonOpen(Json& json, const char* key, char bracket, bool inlined)
{
    JsonMember(json, key);
    std::putchar(bracket);
    const bool inside = !json.levels.empty() && json.levels.back().inlined;
    json.levels.push_back({inlined || inside, true});
}

void JsonClose(Json& json, char bracket)
{
    const Json::Level level = json.levels.back();
    json.levels.pop_back();
    if (!level.inlined && !level.empty)
        std::printf("\n%*s", int(2 * json.levels.size()), "");
    std::putchar(bracket);
    if (json.levels.empty())
        std::putchar('\n');
}

void BeginObject(Json& json, const char* key = nullptr, bool inlined = false)
{
    JsonOpen(json, key, '{', inlined);
}

void EndObject(Json& json)
{
    JsonClose(json, '}');
}

void BeginArray(Json& json, const char* key = nullptr, bool inlined = false)
{
    JsonOpen(json, key, '[', inlined);
}

void EndArray(Json& json)
{
    JsonClose(json, ']');
}

void Number(Json& json, const char* key, uint64_t value)
{
    JsonMember(json, key);
    std::printf("%llu", (unsigned long long)value);
}

// Nine significant digits give every float back exactly; JSON has no
// infinities or NaNs, so those are null.
void Float(Json& json, const char* key, float value)
{
    JsonMember(json, key);
    if (std::isfinite(value))
        std::printf("%.9g", double(value));
    else
        std::fputs("null", stdout);
}

// Flag words, colours and material words, as "0x" and eight hex digits.
void Hex(Json& json, const char* key, uint32_t value)
{
    JsonMember(json, key);
    std::printf("\"0x%08x\"", value);
}

// `count` bytes of text, NULs included.
void Text(Json& json, const char* key, const char* text, size_t count)
{
    JsonMember(json, key);
    JsonText(text, count);
}

// A name, or null when there is none.
void String(Json& json, const char* key, const char* text)
{
    if (text) {
        Text(json, key, text, std::strlen(text));
    } else {
        JsonMember(json, key);
        std::fputs("null", stdout);
    }
}

void Bool(Json& json, const char* key, bool value)
{
    JsonMember(json, key);
    std::fputs(value ? "true" : "false", stdout);
}

void Floats(Json& json, const char* key, const float* values, size_t count)
{
    BeginArray(json, key, true);
    for (size_t i = 0; i < count; ++i)
        Float(json, nullptr, values[i]);
    EndArray(json);
}

// ---- Scene -------------------------------------------------------------------------

constexpr uint32_t BACKGROUND_MODE_SHIFT = 8;
constexpr uint32_t FOG_MODE_SHIFT = 12;

const char* TextureName(const Texture* texture)
{
    return texture ? texture->name : nullptr;
}

// Every kind that is not listed is a null entity, whatever its number.
const char* KindName(uint32_t kind)
{
    switch (kind) {
    case ENTITY_OBJECT:
        return "object";
    case ENTITY_MORPH:
        return "morph";
    case ENTITY_LIGHT:
        return "light";
    case ENTITY_CAMERA:
        return "camera";
    default:
        return "null";
    }
}

void DumpSettings(Json& json, const Scene* scene)
{
    BeginObject(json, "settings");
    Hex(json, "flags", scene->flags);
    Float(json, "near_clip", scene->nearClip);
    Float(json, "far_clip", scene->farClip);

    BeginObject(json, "fog");
    Number(json, "mode", (scene->flags & SCENE_FOGMODE) >> FOG_MODE_SHIFT);
    Hex(json, "colour", scene->fog[0]);
    Number(json, "start", scene->fog[1]);
    Number(json, "start_weight", scene->fog[2]);
    Number(json, "end", scene->fog[3]);
    Number(json, "end_weight", scene->fog[4]);
    Bool(json, "near_plane", scene->flags & SCENE_FOGNEAR);
    Bool(json, "far_plane", scene->flags & SCENE_FOGFAR);
    EndObject(json);

    BeginObject(json, "ambient");
    Float(json, "level", scene->ambientLevel);
    Float(json, "value2", scene->ambientValue2);
    EndObject(json);

    BeginObject(json, "background");
    Number(json, "mode", (scene->flags & SCENE_BACKGROUNDMODE) >> BACKGROUND_MODE_SHIFT);
    Hex(json, "colour", scene->backgroundColour);
    Number(json, "value2", scene->backgroundValue2);
    Number(json, "value3", scene->backgroundValue3);
    String(json, "map", TextureName(scene->backgroundMap));
    String(json, "floor", TextureName(scene->floorMap));
    String(json, "sky", TextureName(scene->skyMap));
    EndObject(json);

    Bool(json, "shadows", scene->flags & SCENE_SHADOWS);
    EndObject(json);
}

void DumpLightEffects(Json& json, const Scene* scene)
{
    BeginArray(json, "light_effects");
    for (const LightEffect* effect = scene->lightEffects; effect; effect = effect->next) {
        BeginObject(json);
        String(json, "name", effect->name);
        Number(json, "value", effect->effectValue);
        BeginArray(json, "elements");
        for (const LightEffectElement* element = effect->elements; element; element = element->next) {
            BeginObject(json);
            String(json, "name", element->name);
            String(json, "map", TextureName(element->map));
            Number(json, "e0", element->e0);
            Number(json, "e1", element->e1);
            Number(json, "e2", element->e2);
            Number(json, "e3", element->e3);
            EndObject(json);
        }
        EndArray(json);
        EndObject(json);
    }
    EndArray(json);
}

// Ticks as seconds, to the microsecond.
void Seconds(Json& json, const char* key, uint32_t ticks)
{
    JsonMember(json, key);
    std::printf("%.6f", double(ticks) / TICKS_PER_SECOND);
}

// Time (ticks and seconds), flags and the spline parameters k0-k2 that
// every key has.
void DumpKeyHeader(Json& json, const Key* key)
{
    Number(json, "time", key->time);
    Seconds(json, "seconds", key->time);
    Hex(json, "flags", key->keyFlags);
    Float(json, "tension", key->k0);
    Float(json, "continuity", key->k1);
    Float(json, "bias", key->k2);
}

void DumpMotionKeys(Json& json, const Entity* entity)
{
    BeginArray(json, "keys");
    for (const Key* key = entity->keys.head; key; key = key->next) {
        const auto* motion = static_cast<const EntityKey*>(key);
        BeginObject(json);
        DumpKeyHeader(json, key);
        Floats(json, "position", motion->position, 3);
        Floats(json, "rotation", motion->rotation, 3);
        Floats(json, "size", motion->size, 3);
        EndObject(json);
    }
    EndArray(json);
}

void DumpObjectPart(Json& json, const ObjectEntity* object)
{
    BeginObject(json, "object");
    Hex(json, "flags", object->objectFlags);
    Number(json, "vertices", object->vertexCount);
    Number(json, "faces", object->faceCount);
    Hex(json, "colour", object->colour);
    BeginObject(json, "maps");
    String(json, "texture", TextureName(object->textureMap));
    String(json, "environment", TextureName(object->environmentMap));
    String(json, "bump", TextureName(object->bumpMap));
    String(json, "transparency", TextureName(object->transparencyMap));
    EndObject(json);
    BeginArray(json, "material", true);
    for (uint32_t word : object->material)
        Hex(json, nullptr, word);
    EndArray(json);
    String(json, "sprite_effect", object->spriteEffect ? object->spriteEffect->name : nullptr);
    Number(json, "sprite_value", object->spriteValue);
    Number(json, "correction", object->correctionValue);
    Floats(json, "glow", object->glow, 2);
    BeginArray(json, "rdst", true);
    for (uint32_t value : object->rdstValues)
        Number(json, nullptr, value);
    EndArray(json);
    EndObject(json);
}

const char* TargetName(const MorphTarget* target)
{
    return target ? target->name : nullptr;
}

void DumpMorphPart(Json& json, const MorphEntity* morph)
{
    BeginObject(json, "morph");
    String(json, "current_target", TargetName(morph->currentTarget));
    BeginArray(json, "targets");
    for (const MorphTarget* target = morph->targets; target; target = target->next) {
        BeginObject(json, nullptr, true);
        String(json, "name", target->name);
        Number(json, "vertices", target->targetVertices ? morph->vertexCount : 0);
        EndObject(json);
    }
    EndArray(json);
    BeginArray(json, "keys");
    for (const Key* key = morph->morphKeys.head; key; key = key->next) {
        BeginObject(json);
        DumpKeyHeader(json, key);
        String(json, "target", TargetName(static_cast<const MorphKey*>(key)->target));
        EndObject(json);
    }
    EndArray(json);
    EndObject(json);
}

void DumpLightPart(Json& json, const LightEntity* light)
{
    BeginObject(json, "light");
    Hex(json, "flags", light->lightFlags);
    Float(json, "intensity", light->lightValue1);
    Float(json, "range", light->lightValue2);
    Hex(json, "colour", light->lightValue3);
    String(json, "effect", light->effect ? light->effect->name : nullptr);
    BeginArray(json, "keys");
    for (const Key* key = light->keys2.head; key; key = key->next) {
        BeginObject(json);
        DumpKeyHeader(json, key);
        Float(json, "value", static_cast<const LightKey*>(key)->value);
        EndObject(json);
    }
    EndArray(json);
    EndObject(json);
}

void DumpCameraPart(Json& json, const CameraEntity* camera)
{
    BeginObject(json, "camera");
    Float(json, "field_of_view", camera->fieldOfView);
    Number(json, "value2", camera->cameraValue2);
    EndObject(json);
}

void DumpEntity(Json& json, const char* key, Entity* entity)
{
    BeginObject(json, key);
    String(json, "kind", KindName(entity->kind));
    Number(json, "kind_id", entity->kind);
    String(json, "name", entity->name);
    Hex(json, "flags", entity->entityFlags);
    String(json, "parent", entity->parent ? entity->parent->name : nullptr);
    Floats(json, "pivot", entity->pivot, 3);
    Floats(json, "position", entity->position, 3);
    Floats(json, "rotation", entity->rotation, 3);
    Floats(json, "size", entity->size, 3);
    DumpMotionKeys(json, entity);
    if (const ObjectEntity* object = ObjectOf(entity))
        DumpObjectPart(json, object);
    if (const MorphEntity* morph = MorphOf(entity))
        DumpMorphPart(json, morph);
    if (const LightEntity* light = LightOf(entity))
        DumpLightPart(json, light);
    if (const CameraEntity* camera = CameraOf(entity))
        DumpCameraPart(json, camera);
    EndObject(json);
}

// The time range the scene plays (its first motion key to its last) and
// what it holds: entities, and the faces and vertices of its objects.
void DumpSummary(Json& json, const Scene* scene)
{
    uint32_t start, end;
    headless::SceneTimeRange(scene, &start, &end);
    uint64_t objects = 0, faces = 0, vertices = 0;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (const ObjectEntity* object = ObjectOf(entity)) {
            ++objects;
            faces += object->faceCount;
            vertices += object->vertexCount;
        }
    }
    BeginObject(json, "summary");
    Number(json, "start", start);
    Number(json, "end", end);
    Seconds(json, "start_seconds", start);
    Seconds(json, "end_seconds", end);
    Seconds(json, "duration_seconds", end - start);
    Number(json, "entities", scene->entityCount);
    Number(json, "objects", objects);
    Number(json, "faces", faces);
    Number(json, "vertices", vertices);
    EndObject(json);
}

void DumpScene(const Scene* scene)
{
    Json json;
    BeginObject(json);
    DumpSummary(json, scene);
    DumpSettings(json, scene);
    BeginArray(json, "textures");
    for (const Texture* texture = scene->textures; texture; texture = texture->next)
        String(json, nullptr, texture->name);
    EndArray(json);
    DumpLightEffects(json, scene);
    Number(json, "entity_count", scene->entityCount);
    BeginArray(json, "entities");
    for (Entity* entity = scene->entities; entity; entity = entity->next)
        DumpEntity(json, nullptr, entity);
    EndArray(json);
    DumpEntity(json, "camera", scene->camera);
    EndObject(json);
}

// ---- Chunk list ----------------------------------------------------------------------

// The chunk list, then the summary when the reader builds a scene of the
// bytes (`built`, else null).
void DumpChunks(const SceneBytes& scene, const std::vector<ChunkEntry>& chunks, const Scene* built)
{
    Json json;
    BeginObject(json);
    BeginObject(json, "form", true);
    Number(json, "size", scene.formEnd - CHUNK_HEADER_BYTES);
    String(json, "type", "KVOR");
    EndObject(json);
    BeginArray(json, "chunks");
    for (const ChunkEntry& chunk : chunks) {
        BeginObject(json, nullptr, true);
        Number(json, "offset", chunk.offset);
        uint8_t id[4];
        PutWord(id, chunk.id);
        Text(json, "id", reinterpret_cast<const char*>(id), sizeof id);
        Number(json, "size", chunk.size);
        EndObject(json);
    }
    EndArray(json);
    if (built)
        DumpSummary(json, built);
    EndObject(json);
}

// ---- Main ----------------------------------------------------------------------------

int Refused(const char* file, const std::string& reason)
{
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, file, reason.c_str());
    return EXIT_REFUSED;
}

// The scene as the reader builds it from the bytes, with name-only
// textures, since no image is needed to describe the scene; null when the
// reader refuses it (`error` says why).
Scene* SceneOf(const SceneBytes& bytes, int32_t* error)
{
    const TagItem tags[] = {
        {TAG_LOADSCENE_MEMORY, TagPtr(bytes.bytes.data())},
        {TAG_LOADSCENE_MEMORYSIZE, bytes.bytes.size()},
        {TAG_LOADSCENE_PLACEHOLDERS, 1},
        {TAG_LOADSCENE_ERROR, TagPtr(error)},
        {TAG_DONE, 0},
    };
    return LoadScene(tags);
}

int PrintScene(const char* file, const SceneBytes& bytes)
{
    int32_t error = 0;
    Scene* scene = SceneOf(bytes, &error);
    if (!scene)
        return Refused(file, "the scene reader refuses it (--chunks lists its chunks)");
    DumpScene(scene);
    FreeScene(scene);
    return 0;
}

int Run(const Options& options)
{
    SceneBytes bytes{};
    std::string reason;
    if (!ReadSceneBytes(options.file, &bytes, &reason))
        return Refused(options.file, reason);
    std::vector<ChunkEntry> chunks;
    const bool walked = WalkChunks(bytes, &chunks, &reason);
    if (options.chunks) {
        int32_t error = 0;
        Scene* scene = walked ? SceneOf(bytes, &error) : nullptr;
        DumpChunks(bytes, chunks, scene);
        FreeScene(scene);
        return walked ? 0 : Refused(options.file, reason);
    }
    return walked ? PrintScene(options.file, bytes) : Refused(options.file, reason);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (int parsed = ParseOptions(argc, argv, &options); parsed != cli::NONE)
        return parsed;
    int status = 0;
    try {
        status = Run(options);
    } catch (const std::bad_alloc&) {
        return Refused(options.file, "out of memory");
    }
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: cannot write the output: %s\n", PROGRAM, std::strerror(errno));
        return EXIT_REFUSED;
    }
    return status;
}
