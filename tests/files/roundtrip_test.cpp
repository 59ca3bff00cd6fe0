// Round trips: a scene written by SaveScene and read back by LoadScene
// reproduces every field the writer carries, and writing the copy gives the
// same bytes again.
#include "files/scene_bytes.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <sstream>
#include <string>

using namespace kvor3d;

using namespace bytes;

namespace {

void SetTriple(float* values, float x, float y, float z)
{
    values[0] = x;
    values[1] = y;
    values[2] = z;
}

// Every entity kind a file holds and every optional chunk: fog, shadows,
// floor and sky, a light effect with elements and maps used by a light and
// as a sprite effect, motion keys, light keys, morph targets and keys,
// vertex colours, glow, perspective correction, every map, parents and the
// camera's block. The greys object has a vertex of every grey level; the
// marker's pivot and size differ from the defaults only in z.
ScenePtr RichScene()
{
    ScenePtr owned(AllocScene());
    Scene* scene = owned.get();
    std::tie(scene->nearClip, scene->farClip, scene->ambientLevel, scene->ambientValue2) = std::make_tuple(4.0f, 5000.0f, 0.25f, 0.75f);
    const uint32_t fog[5] = {0x00808080, 100, 0x2000, 4000, 0xE000};
    std::copy(fog, fog + 5, scene->fog);
    scene->flags = 0x1000 | SCENE_FOGFAR | (4 << 8) | SCENE_SHADOWS;
    std::tie(scene->backgroundColour, scene->backgroundValue2, scene->backgroundValue3) = std::make_tuple(0x00102030u, 7u, 8u);
    scene->floorMap = build::AddTexture(scene, "floor.iff", 1, 1);
    scene->skyMap = build::AddTexture(scene, "sky.iff", 1, 1);

    LightEffect* flare = build::AddLightEffect(scene, "flare");
    flare->effectValue = 0x55;
    LightEffectElement* ring = build::AddElement(flare, "ring", 0x30000, build::AddTexture(scene, "ring.iff", 1, 1));
    std::tie(ring->e1, ring->e2, ring->e3) = std::make_tuple(0x8000u, 0x4000u, 2u);
    build::AddElement(flare, "dot", 0x10000);

    Entity* root = build::AddNull(scene, "root");
    SetTriple(root->position, 1, 2, 3);
    SetTriple(root->rotation, 10, 20, 30);
    build::AddMotionKey(root, 0, {{1, 2, 3}, {10, 20, 30}, {0, 0, 0}}, KEY_INTERPOLATE);
    build::AddMotionKey(root, 700, {{4, 5, 6}, {0, 90, 0}, {2, 2, 2}}, KEY_INTERPOLATE | KEY_SPLINE | KEY_HIDDEN,
                        0.5f, -0.25f, 0.125f);

    ObjectEntity* box = build::AddObject(scene, "box", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}},
                                         {{0, 1, 2}, {1, 3, 2}});
    box->parent = root;
    SetTriple(box->pivot, 0.5f, 0.5f, 0);
    SetTriple(box->size, 2, 3, 4);
    box->objectFlags = OBJECT_TRANSPARENT | OBJECT_TEXTURE | OBJECT_ENVIRONMENT | OBJECT_BUMP | OBJECT_PERSPECTIVE |
                       OBJECT_SHADED | OBJECT_DOUBLESIDED | OBJECT_SPRITEEFFECT | OBJECT_SHADOWCASTER |
                       OBJECT_VERTEXCOLOURS | OBJECT_GLOW;
    for (uint32_t i = 0; i < box->vertexCount; ++i) {
        box->vertices[i].colour = (60 * i) * 0x010101;
        box->vertices[i].vertexValue = 100 + i;
    }
    std::tie(box->faces[1].uv[2][0], box->faces[1].uv[2][1], box->faces[1].faceFlags) = std::make_tuple(0.75f, -0.5f, 0x12u);
    box->colour = 0x40FF8000;
    box->textureMap = build::AddTexture(scene, "wood.iff", 1, 1);
    box->environmentMap = build::AddTexture(scene, "chrome.iff", 1, 1);
    box->bumpMap = build::AddTexture(scene, "bumps.iff", 1, 1);
    box->transparencyMap = build::AddTexture(scene, "mask.iff", 1, 1);
    const uint32_t material[4] = {1, 0, 4, 0xFFFFFFFF};
    std::copy(material, material + 4, box->material);
    box->spriteEffect = flare;
    std::tie(box->spriteValue, box->correctionValue, box->rdstValues[0], box->rdstValues[3]) = std::make_tuple(9u, 4u, 1u, 4u);
    std::tie(box->glow[0], box->glow[1]) = std::make_tuple(0.5f, 3.0f);

    MorphEntity* blob = build::AddMorph(scene, "blob", 3, {{0, 1, 2}});
    blob->parent = box;
    blob->objectFlags = OBJECT_DEPTHBIAS;
    blob->colour = 0x00FF00;
    MorphTarget* flat = build::AddTarget(blob, "flat", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
    MorphTarget* tall = build::AddTarget(blob, "tall", {{0, 0, 1}, {2, 0, 1}, {0, 2, 1}});
    build::AddMorphKey(blob, 0, flat, KEY_INTERPOLATE);
    MorphKey* stretch = build::AddMorphKey(blob, 350, tall, KEY_INTERPOLATE | KEY_SPLINE);
    stretch->k0 = 0.5f;

    LightEntity* lamp = build::AddLight(scene, "lamp");
    lamp->parent = root;
    lamp->lightFlags = LIGHT_ON | LIGHT_SCALEEFFECT | LIGHT_SHADOWS;
    std::tie(lamp->lightValue1, lamp->lightValue2, lamp->lightValue3) = std::make_tuple(0.9f, 250.0f, 0x00FFE0C0u);
    lamp->effect = flare;
    build::AddLightKey(lamp, 0, 0.1f, KEY_INTERPOLATE);
    build::AddLightKey(lamp, 300, 0.9f, KEY_INTERPOLATE | KEY_SPLINE, 0.25f, 0.5f, 0.75f);

    ObjectEntity* greys = build::AddObject(scene, "greys", std::vector<build::Point>(256, build::Point{0, 0, 0}), {});
    for (uint32_t level = 0; level < 256; ++level)
        greys->vertices[level].colour = level * 0x010101;

    Entity* other = build::AddEntityOfKind(scene, 77, "marker");
    other->entityFlags = 0x00000003;
    SetTriple(other->pivot, 0, 0, 7);
    SetTriple(other->size, 1, 1, 0.5f);

    auto* camera = static_cast<CameraEntity*>(scene->camera);
    camera->name = CopyName("eye");
    camera->parent = root;
    camera->fieldOfView = 75.0f;
    camera->cameraValue2 = 6;
    SetTriple(camera->position, 0, 1, -10);
    build::AddMotionKey(camera, 0, {{0, 1, -10}, {0, 0, 0}, {0, 0, 0}});
    return owned;
}

const char* NameOf(const Texture* texture)
{
    return texture && texture->name ? texture->name : "-";
}

void Put(std::ostream& out, const char* what, const float* values, int count = 3)
{
    out << ' ' << what;
    for (int i = 0; i < count; ++i)
        out << ' ' << values[i];
}

void PutKey(std::ostream& out, const Key* key)
{
    out << "\n  key " << key->time << ' ' << key->k0 << ' ' << key->k1 << ' ' << key->k2 << ' ' << key->keyFlags;
}

// Every field the file carries, as text, so that two scenes compare as a
// whole and a difference shows where it is.
std::string Describe(const Scene* s)
{
    std::ostringstream out;
    out << std::hexfloat << "clip " << s->nearClip << ' ' << s->farClip << " flags " << s->flags << " fog";
    for (uint32_t value : s->fog)
        out << ' ' << value;
    out << " ambient " << s->ambientLevel << ' ' << s->ambientValue2 << " background " << s->backgroundColour << ' '
        << s->backgroundValue2 << ' ' << s->backgroundValue3 << ' ' << NameOf(s->backgroundMap) << ' '
        << NameOf(s->floorMap) << ' ' << NameOf(s->skyMap);
    for (const LightEffect* effect = s->lightEffects; effect; effect = effect->next) {
        out << "\neffect " << effect->name << ' ' << effect->effectValue;
        for (const LightEffectElement* e = effect->elements; e; e = e->next)
            out << "\n  element " << e->name << ' ' << e->e0 << ' ' << e->e1 << ' ' << e->e2 << ' ' << e->e3 << ' '
                << NameOf(e->map);
    }
    const Entity* last = s->camera;
    for (const Entity* entity = s->entities; entity;
         entity = entity == last ? nullptr : entity->next ? entity->next : last) {
        out << "\nentity " << entity->kind << ' ' << (entity->name ? entity->name : "-") << ' ' << entity->entityFlags
            << " parent " << (entity->parent ? entity->parent->name : "-");
        Put(out, "pivot", entity->pivot);
        Put(out, "position", entity->position);
        Put(out, "rotation", entity->rotation);
        Put(out, "size", entity->size);
        for (const Key* key = entity->keys.head; key; key = key->next) {
            PutKey(out, key);
            const auto* motion = static_cast<const EntityKey*>(key);
            Put(out, "at", motion->position);
            Put(out, "turned", motion->rotation);
            Put(out, "sized", motion->size);
        }
        Entity* mutableEntity = const_cast<Entity*>(entity);
        if (const ObjectEntity* o = ObjectOf(mutableEntity)) {
            out << "\n  object " << o->objectFlags << ' ' << o->colour << ' ' << NameOf(o->textureMap) << ' '
                << NameOf(o->environmentMap) << ' ' << NameOf(o->bumpMap) << ' ' << NameOf(o->transparencyMap) << ' '
                << (o->spriteEffect ? o->spriteEffect->name : "-") << ' ' << o->spriteValue << ' ' << o->correctionValue;
            for (int i = 0; i < 4; ++i)
                out << ' ' << o->material[i] << ' ' << o->rdstValues[i];
            Put(out, "glow", o->glow, 2);
            for (uint32_t v = 0; v < o->vertexCount && !MorphOf(mutableEntity); ++v) {
                Put(out, "\n  vertex", o->vertices[v].position);
                out << ' ' << o->vertices[v].colour << ' ' << o->vertices[v].vertexValue;
            }
            for (uint32_t f = 0; f < o->faceCount; ++f) {
                out << "\n  face " << o->faces[f].faceFlags;
                for (int c = 0; c < 3; ++c)
                    out << ' ' << (o->faces[f].vertices[c] - o->vertices) << ' ' << o->faces[f].uv[c][0] << ' '
                        << o->faces[f].uv[c][1];
            }
        }
        if (const MorphEntity* m = MorphOf(mutableEntity)) {
            for (const MorphTarget* t = m->targets; t; t = t->next) {
                out << "\n  target " << t->name;
                for (uint32_t v = 0; v < m->vertexCount; ++v)
                    Put(out, "", t->targetVertices[v].position);
            }
            for (const Key* key = m->morphKeys.head; key; key = key->next) {
                PutKey(out, key);
                out << ' ' << static_cast<const MorphKey*>(key)->target->name;
            }
        }
        if (const LightEntity* l = LightOf(mutableEntity)) {
            out << "\n  light " << l->lightFlags << ' ' << l->lightValue1 << ' ' << l->lightValue2 << ' '
                << l->lightValue3 << ' ' << (l->effect ? l->effect->name : "-");
            for (const Key* key = l->keys2.head; key; key = key->next) {
                PutKey(out, key);
                out << ' ' << static_cast<const LightKey*>(key)->value;
            }
        }
        if (const CameraEntity* c = CameraOf(mutableEntity))
            out << "\n  camera " << c->cameraValue2 << ' ' << c->fieldOfView;
    }
    return out.str();
}

}  // namespace

// Written to a file (which holds the memory image) and read back, the scene
// describes as the original did, and writing the copy gives the same bytes.
TEST(RoundTrip, EveryEntityKindAndOptionalChunkSurvivesWritingAndReading)
{
    ScenePtr original = RichScene();
    const Bytes image = Save(original.get());
    const run::TempFolder folder;
    const std::string name = folder.Path("roundtrip.kvor");
    int32_t error = 1;
    const TagItem save[] = {{TAG_SAVESCENE_FILENAME, TagPtr(name.c_str())}, {TAG_SAVESCENE_ERROR, TagPtr(&error)},
                            {TAG_DONE, 0}};
    EXPECT_EQ(SaveScene(original.get(), save), image.size());
    EXPECT_EQ(ReadFile(name), image);
    const TagItem load[] = {{TAG_LOADSCENE_FILENAME, TagPtr(name.c_str())}, {TAG_LOADSCENE_PLACEHOLDERS, 1},
                            {TAG_LOADSCENE_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    ScenePtr copy(LoadScene(load));
    ASSERT_TRUE(copy);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(Describe(copy.get()), Describe(original.get()));
    EXPECT_EQ(Save(copy.get()), image);
    const TagItem unsized[] = {{TAG_LOADSCENE_MEMORY, TagPtr(image.data())}, {TAG_LOADSCENE_PLACEHOLDERS, 1}, {TAG_DONE, 0}};
    ScenePtr fromMemory(LoadScene(unsized));  // without a size the memory holds the FORM its header describes
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(Describe(fromMemory.get()), Describe(original.get()));
}

// The maps of a light-effect file, served as raw squares.
const void* RawSquare(const char*)
{
    static const std::vector<uint16_t> square(TEXTURE_RAW_SIDE * TEXTURE_RAW_SIDE, 0x1234);
    return square.data();
}

// A light effect written as a light-effect file and read into another
// scene comes back with its elements sorted, largest e0 first, and its map
// made there; IsSceneFile answers for a scene file and a light-effect file
// (on disk or in memory), a file too short to tell and a FORM of another
// type.
TEST(RoundTrip, LightEffectFileAndTheSceneFileCheck)
{
    ScenePtr original(AllocScene()), copy(AllocScene());
    LightEffect* flare = build::AddLightEffect(original.get(), "flare");
    flare->effectValue = 0x55;
    build::AddElement(flare, "dot", 0x10000);
    LightEffectElement* ring = build::AddElement(flare, "ring", 0x30000, build::AddTexture(original.get(), "ring.iff", 1, 1));
    std::tie(ring->e1, ring->e2, ring->e3) = std::make_tuple(0x8000u, 0x4000u, 2u);
    Bytes file(4096);
    int32_t error = 1;
    const TagItem save[] = {{TAG_SAVELIGHTEFFECTS_MEMORY, TagPtr(file.data())}, {TAG_SAVELIGHTEFFECTS_CAPACITY, file.size()},
                            {TAG_SAVELIGHTEFFECTS_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    file.resize(SaveLightEffects(flare, save));
    EXPECT_EQ(error, 0);
    const TagItem load[] = {{TAG_LOADLIGHTEFFECTS_MEMORY, TagPtr(file.data())}, {TAG_LOADLIGHTEFFECTS_MEMORYSIZE, file.size()},
                            {TAG_LOADLIGHTEFFECTS_SCENE, TagPtr(copy.get())}, {TAG_LOADLIGHTEFFECTS_TEXTURES, TagPtr(&RawSquare)},
                            {TAG_LOADLIGHTEFFECTS_ERROR, TagPtr(&error)}, {TAG_DONE, 0}};
    error = 1;
    ASSERT_NE(LoadLightEffects(load), nullptr);
    EXPECT_EQ(error, 0);
    const std::string effects = "\neffect flare 85\n  element ring 196608 32768 16384 2 ring.iff\n"
                                "  element dot 65536 65536 65536 0 -";
    EXPECT_EQ(Describe(copy.get()), Describe(ScenePtr(AllocScene()).get()) + effects);
    const run::TempFolder folder;
    const struct {
        const char* what;
        Bytes bytes;
        bool onDisk;
        int32_t answer, error;
    } checks[] = {
        {"scene file", Save(copy.get()), true, 1, 0},
        {"light-effect file", file, false, 1, 0},
        {"11 bytes", Bytes(file.begin(), file.begin() + 11), true, 0, -1},
        {"11 bytes in memory", Bytes(file.begin(), file.begin() + 11), false, 0, -1},
        {"FORM ILBM", Bytes{'F', 'O', 'R', 'M', 0, 0, 0, 4, 'I', 'L', 'B', 'M'}, false, 0, 0},
    };
    for (const auto& c : checks) {
        const std::string name = folder.Write("check", c.bytes);
        const TagItem tags[] = {{c.onDisk ? TAG_SCENEFILE_FILENAME : TAG_SCENEFILE_MEMORY,
                                 c.onDisk ? TagPtr(name.c_str()) : TagPtr(c.bytes.data())},
                                {TAG_SCENEFILE_MEMORYSIZE, c.bytes.size()}, {TAG_SCENEFILE_ERROR, TagPtr(&error)},
                                {TAG_DONE, 0}};
        EXPECT_EQ(IsSceneFile(tags), c.answer) << c.what;
        EXPECT_EQ(error, c.error) << c.what;
    }
}
