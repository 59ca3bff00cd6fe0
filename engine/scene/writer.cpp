// SaveScene: writes a scene as a version 7 scene file, chunk by chunk in
// the order the reader expects: the scene settings, the light effects that
// entities use, each entity's block and finally the camera's.
#include "scene/sceneio.h"
#include "scene/tagread.h"

#include <cmath>

namespace kvor3d {

namespace {

constexpr uint32_t FOG_PLANE_FLAGS = SCENE_FOGNEAR | SCENE_FOGFAR;

constexpr uint32_t BACKGROUND_IMAGE = 1;
constexpr uint32_t BACKGROUND_FLOOR = 2;
constexpr uint32_t BACKGROUND_SKY = 3;
constexpr uint32_t BACKGROUND_FLOORSKY = 4;

void PutNameChunk(SceneSink* sink, uint32_t id, const char* name)
{
    if (name)
        PutStringChunk(sink, id, name);
}

void PutTextureChunk(SceneSink* sink, uint32_t id, const Texture* texture)
{
    if (texture)
        PutNameChunk(sink, id, texture->name);
}

void PutTripleChunk(SceneSink* sink, uint32_t id, const float values[3])
{
    const uint32_t words[3] = {FloatWord(values[0]), FloatWord(values[1]), FloatWord(values[2])};
    PutWordChunk(sink, id, words, 3);
}

bool AllEqual(const float values[3], float value)
{
    return values[0] == value && values[1] == value && values[2] == value;
}

// ---- Scene settings ---------------------------------------------------------------

void PutSceneChunks(SceneSink* sink, const Scene* scene)
{
    const uint32_t version = SCENE_VERSION;
    PutWordChunk(sink, ID_VERS, &version, 1);

    const uint32_t clip[2] = {FloatWord(scene->nearClip), FloatWord(scene->farClip)};
    PutWordChunk(sink, ID_CLIP, clip, 2);

    const uint32_t fogMode = (scene->flags & SCENE_FOGMODE) >> SCENE_FOGMODE_SHIFT;
    if (fogMode != 0) {
        const uint32_t fog[7] = {fogMode,       scene->fog[0], scene->fog[1],
                                 scene->fog[2], scene->fog[3], scene->fog[4],
                                 scene->flags & FOG_PLANE_FLAGS};
        PutWordChunk(sink, ID_FOG, fog, 7);
    }

    const uint32_t ambient[2] = {FloatWord(scene->ambientLevel), FloatWord(scene->ambientValue2)};
    PutWordChunk(sink, ID_GAMB, ambient, 2);

    const uint32_t backgroundMode = (scene->flags & SCENE_BACKGROUNDMODE) >> SCENE_BACKGROUNDMODE_SHIFT;
    const uint32_t background[4] = {backgroundMode, scene->backgroundColour, scene->backgroundValue2,
                                    scene->backgroundValue3};
    PutWordChunk(sink, ID_BCK2, background, 4);
    if (backgroundMode == BACKGROUND_IMAGE)
        PutTextureChunk(sink, ID_BMAP, scene->backgroundMap);
    if (backgroundMode == BACKGROUND_FLOOR || backgroundMode == BACKGROUND_FLOORSKY)
        PutTextureChunk(sink, ID_FLOR, scene->floorMap);
    if (backgroundMode == BACKGROUND_SKY || backgroundMode == BACKGROUND_FLOORSKY)
        PutTextureChunk(sink, ID_SKY, scene->skyMap);

    const uint32_t shadows = scene->flags & SCENE_SHADOWS;
    PutWordChunk(sink, ID_SHDW, &shadows, 1);
}

// ---- Light effects ------------------------------------------------------------------

bool EffectInUse(const Scene* scene, const LightEffect* effect)
{
    for (const Entity* entity = scene->entities; entity; entity = entity->next) {
        const LightEntity* light = LightOf(const_cast<Entity*>(entity));
        const ObjectEntity* object = ObjectOf(const_cast<Entity*>(entity));
        if ((light && light->effect == effect) || (object && object->spriteEffect == effect))
            return true;
    }
    return false;
}

void PutLightEffects(SceneSink* sink, const Scene* scene)
{
    for (const LightEffect* effect = scene->lightEffects; effect; effect = effect->next) {
        if (!EffectInUse(scene, effect))
            continue;
        PutWordChunk(sink, ID_LTEF, &effect->effectValue, 1);
        PutNameChunk(sink, ID_LENM, effect->name);
        for (const LightEffectElement* element = effect->elements; element; element = element->next) {
            const uint32_t values[4] = {element->e0, element->e1, element->e2, element->e3};
            PutWordChunk(sink, ID_LEEL, values, 4);
            PutNameChunk(sink, ID_LEEN, element->name);
            PutTextureChunk(sink, ID_LEEM, element->map);
        }
    }
}

// ---- Keys ---------------------------------------------------------------------------

uint64_t KeyCount(const KeyList& list)
{
    uint64_t count = 0;
    for (const Key* key = list.head; key; key = key->next)
        ++count;
    return count;
}

// KEY3: time, position, rotation, k0-k2, flags, size.
void PutMotionKeys(SceneSink* sink, const Entity* entity)
{
    const uint64_t count = KeyCount(entity->keys);
    if (count == 0)
        return;
    PutChunkHeader(sink, ID_KEY3, count * KEY3_ENTRY_BYTES);
    for (const Key* key = entity->keys.head; key; key = key->next) {
        const auto* motion = static_cast<const EntityKey*>(key);
        const uint32_t words[14] = {
            key->time,
            FloatWord(motion->position[0]), FloatWord(motion->position[1]), FloatWord(motion->position[2]),
            FloatWord(motion->rotation[0]), FloatWord(motion->rotation[1]), FloatWord(motion->rotation[2]),
            FloatWord(key->k0), FloatWord(key->k1), FloatWord(key->k2),
            key->keyFlags,
            FloatWord(motion->size[0]), FloatWord(motion->size[1]), FloatWord(motion->size[2]),
        };
        PutWords(sink, words, 14);
    }
}

// LIKF: time, value, k0-k2, flags.
void PutLightKeys(SceneSink* sink, const LightEntity* light)
{
    const uint64_t count = KeyCount(light->keys2);
    if (count == 0)
        return;
    PutChunkHeader(sink, ID_LIKF, count * LIKF_ENTRY_BYTES);
    for (const Key* key = light->keys2.head; key; key = key->next) {
        const auto* lightKey = static_cast<const LightKey*>(key);
        const uint32_t words[6] = {
            key->time, FloatWord(lightKey->value), FloatWord(key->k0), FloatWord(key->k1), FloatWord(key->k2),
            key->keyFlags,
        };
        PutWords(sink, words, 6);
    }
}

// ---- Geometry -------------------------------------------------------------------------

// The f32 intensity of a vertex colour: the reader rebuilds the colour as
// trunc(intensity × 255) in all three bytes, so the word written is the
// smallest float that gives back the colour's low byte (for colours read
// from a file all three bytes are equal).
uint32_t IntensityWord(uint32_t colour)
{
    const uint32_t level = colour & 0xFF;
    float intensity = float(level) / 255.0f;
    while (double(intensity) * 255.0 < double(level))
        intensity = std::nextafter(intensity, 2.0f);
    return FloatWord(intensity);
}

// AVTX: x, y, z, intensity, vertexValue.
void PutObjectVertices(SceneSink* sink, const ObjectEntity* object)
{
    if (object->vertexCount == 0 || !object->vertices)
        return;
    PutChunkHeader(sink, ID_AVTX, uint64_t(object->vertexCount) * AVTX_ENTRY_BYTES);
    for (uint32_t i = 0; i < object->vertexCount; ++i) {
        const Vertex& vertex = object->vertices[i];
        const uint32_t words[5] = {
            FloatWord(vertex.position[0]), FloatWord(vertex.position[1]), FloatWord(vertex.position[2]),
            IntensityWord(vertex.colour), vertex.vertexValue,
        };
        PutWords(sink, words, 5);
    }
}

// Per target MFNM and VRTX (x, y, z and a 0 word), then per morph key MFKF
// (time, flags, k0-k2) and MKFN naming its target.
void PutMorphTargets(SceneSink* sink, const MorphEntity* morph)
{
    for (const MorphTarget* target = morph->targets; target; target = target->next) {
        PutNameChunk(sink, ID_MFNM, target->name);
        if (!target->targetVertices || morph->vertexCount == 0)
            continue;
        PutChunkHeader(sink, ID_VRTX, uint64_t(morph->vertexCount) * VRTX_ENTRY_BYTES);
        for (uint32_t i = 0; i < morph->vertexCount; ++i) {
            const float* position = target->targetVertices[i].position;
            const uint32_t words[4] = {FloatWord(position[0]), FloatWord(position[1]), FloatWord(position[2]), 0};
            PutWords(sink, words, 4);
        }
    }
    for (const Key* key = morph->morphKeys.head; key; key = key->next) {
        const auto* morphKey = static_cast<const MorphKey*>(key);
        const uint32_t words[5] = {key->time, key->keyFlags, FloatWord(key->k0), FloatWord(key->k1),
                                   FloatWord(key->k2)};
        PutWordChunk(sink, ID_MFKF, words, 5);
        if (morphKey->target)
            PutNameChunk(sink, ID_MKFN, morphKey->target->name);
    }
}

// The position of a face corner in the object's vertex array; false for a
// pointer outside it.
bool CornerIndex(const ObjectEntity* object, const Vertex* corner, uint32_t* index)
{
    const uintptr_t offset = reinterpret_cast<uintptr_t>(corner) - reinterpret_cast<uintptr_t>(object->vertices);
    if (offset % sizeof(Vertex) != 0 || offset / sizeof(Vertex) >= object->vertexCount)
        return false;
    *index = uint32_t(offset / sizeof(Vertex));
    return true;
}

// FACE: three vertex indices, six texture coordinates, faceFlags. A corner
// outside the vertex array cannot be written and fails the sink.
void PutFaces(SceneSink* sink, const ObjectEntity* object)
{
    if (object->faceCount == 0 || !object->faces)
        return;
    PutChunkHeader(sink, ID_FACE, uint64_t(object->faceCount) * FACE_ENTRY_BYTES);
    for (uint32_t f = 0; f < object->faceCount && !sink->failed; ++f) {
        const Face& face = object->faces[f];
        uint32_t words[10];
        for (uint32_t corner = 0; corner < 3; ++corner) {
            if (!CornerIndex(object, face.vertices[corner], &words[corner])) {
                sink->failed = true;
                return;
            }
            words[3 + 2 * corner] = FloatWord(face.uv[corner][0]);
            words[4 + 2 * corner] = FloatWord(face.uv[corner][1]);
        }
        words[9] = face.faceFlags;
        PutWords(sink, words, 10);
    }
}

// The chunks of objects and morph objects after their vertices: faces,
// colour, the maps their flags switch on, material words and the optional
// values of sprite effect, perspective correction, glow and vertex colours.
void PutObjectChunks(SceneSink* sink, const ObjectEntity* object)
{
    const uint32_t flags = object->objectFlags;
    PutFaces(sink, object);
    PutWordChunk(sink, ID_COLR, &object->colour, 1);
    if (flags & OBJECT_ENVIRONMENT)
        PutTextureChunk(sink, ID_ENVR, object->environmentMap);
    if (flags & OBJECT_TEXTURE)
        PutTextureChunk(sink, ID_TXTR, object->textureMap);
    if (flags & OBJECT_BUMP)
        PutTextureChunk(sink, ID_BUMP, object->bumpMap);
    if (flags & OBJECT_TRANSPARENT)
        PutTextureChunk(sink, ID_TRNS, object->transparencyMap);
    PutWordChunk(sink, ID_MFLT, object->material, 4);
    if (object->spriteEffect && object->spriteEffect->name && (flags & OBJECT_SPRITEEFFECT)) {
        PutStringChunk(sink, ID_SPRE, object->spriteEffect->name);
        PutWordChunk(sink, ID_SPTR, &object->spriteValue, 1);
    }
    if (flags & OBJECT_PERSPECTIVE)
        PutWordChunk(sink, ID_PCOR, &object->correctionValue, 1);
    if (flags & OBJECT_GLOW) {
        const uint32_t glow[2] = {FloatWord(object->glow[0]), FloatWord(object->glow[1])};
        PutWordChunk(sink, ID_GLOW, glow, 2);
    }
    if (flags & OBJECT_VERTEXCOLOURS)
        PutWordChunk(sink, ID_RDST, object->rdstValues, 4);
}

// ---- Entities --------------------------------------------------------------------------

void PutKindChunks(SceneSink* sink, const Entity* entity)
{
    Entity* mutableEntity = const_cast<Entity*>(entity);
    if (const LightEntity* light = LightOf(mutableEntity)) {
        const uint32_t words[4] = {light->lightFlags, FloatWord(light->lightValue1), FloatWord(light->lightValue2),
                                   light->lightValue3};
        PutWordChunk(sink, ID_LGHT, words, 4);
        if (light->effect)
            PutNameChunk(sink, ID_LGTE, light->effect->name);
        PutLightKeys(sink, light);
    } else if (const MorphEntity* morph = MorphOf(mutableEntity)) {
        PutWordChunk(sink, ID_MOBJ, &morph->objectFlags, 1);
        PutMorphTargets(sink, morph);
        PutObjectChunks(sink, morph);
    } else if (const ObjectEntity* object = ObjectOf(mutableEntity)) {
        PutWordChunk(sink, ID_OBJT, &object->objectFlags, 1);
        PutObjectVertices(sink, object);
        PutObjectChunks(sink, object);
    } else if (const CameraEntity* camera = CameraOf(mutableEntity)) {
        const uint32_t words[2] = {camera->cameraValue2, FloatWord(camera->fieldOfView)};
        PutWordChunk(sink, ID_CMRA, words, 2);
    }
}

// A parent without a name cannot be referred to, so no PRNT is written for
// it.
void PutEntity(SceneSink* sink, const Entity* entity)
{
    const uint32_t head[2] = {entity->kind, entity->entityFlags};
    PutWordChunk(sink, ID_ENTY, head, 2);
    PutNameChunk(sink, ID_NAME, entity->name);
    PutTripleChunk(sink, ID_POSN, entity->position);
    PutTripleChunk(sink, ID_ROT2, entity->rotation);
    PutMotionKeys(sink, entity);
    if (entity->parent)
        PutNameChunk(sink, ID_PRNT, entity->parent->name);
    if (!AllEqual(entity->pivot, 0.0f))
        PutTripleChunk(sink, ID_PIVT, entity->pivot);
    if (!AllEqual(entity->size, 1.0f))
        PutTripleChunk(sink, ID_SIZE, entity->size);
    PutKindChunks(sink, entity);
}

bool OpenSink(SceneSink* sink, const TagItem* tags)
{
    if (const char* name = TagPointer<const char>(TAG_SAVESCENE_FILENAME, tags))
        return OpenSinkFile(sink, name);
    void* memory = TagPointer<void>(TAG_SAVESCENE_MEMORY, tags);
    if (!memory)
        return false;
    const TagItem* capacity = FindTagIn(TAG_SAVESCENE_CAPACITY, tags);
    OpenSinkMemory(sink, memory, capacity ? uint64_t(capacity->data) : UINT64_MAX);
    return true;
}

}  // namespace

// The camera's block follows the entities, and only when there are any.
uint32_t SaveScene(const Scene* scene, const TagItem* tags)
{
    auto* error = TagPointer<int32_t>(TAG_SAVESCENE_ERROR, tags);
    SceneSink sink{};
    uint64_t total = 0;
    if (scene && OpenSink(&sink, tags)) {
        PutFormHeader(&sink);
        PutSceneChunks(&sink, scene);
        PutLightEffects(&sink, scene);
        for (const Entity* entity = scene->entities; entity; entity = entity->next)
            PutEntity(&sink, entity);
        if (scene->entities && scene->camera)
            PutEntity(&sink, scene->camera);
        total = CloseSink(&sink);
    }
    if (error)
        *error = total != 0 ? 0 : -1;
    return uint32_t(total);
}

}  // namespace kvor3d
