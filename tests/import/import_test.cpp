// kvorimport run on models written here: the records of the scenes it
// writes as the engine loads them, the frames kvorshot draws of them, and
// the world transforms of the engine's matrix chain against those Assimp
// computes from the same file.
#include "support/png_pixels.h"
#include "support/run_program.h"

#include "kvor3d.h"

#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>
#include <png.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

using namespace kvor3d;

namespace {

// A 16 × 16 picture of four 8 × 8 quarters: red top left, green top right,
// blue bottom left, and a fully transparent white bottom right.
void WriteQuarters(const std::string& path)
{
    std::vector<uint8_t> rgba(16 * 16 * 4);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const uint8_t colours[4][4] = {{255, 0, 0, 255}, {0, 255, 0, 255}, {0, 0, 255, 255}, {255, 255, 255, 0}};
            std::copy(colours[(y / 8) * 2 + x / 8], colours[(y / 8) * 2 + x / 8] + 4, &rgba[size_t(y * 16 + x) * 4]);
        }
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = image.height = 16;
    image.format = PNG_FORMAT_RGBA;
    png_image_write_to_file(&image, path.c_str(), 0, rgba.data(), 0, nullptr);
}

std::string Base64(const std::vector<uint8_t>& bytes)
{
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t count = std::min<size_t>(3, bytes.size() - i);
        uint32_t n = 0;
        for (size_t k = 0; k < 3; ++k)
            n = n << 8 | (k < count ? bytes[i + k] : 0);
        for (size_t k = 0; k < 4; ++k)
            out += k <= count ? digits[(n >> (18 - 6 * k)) & 63] : '=';
    }
    return out;
}

// One triangle shared by four nodes, each below the one before: turns
// about every axis, a non-uniform scale, a mirror, a shear; the first
// node's turn is animated over one second from its resting turn.
std::string HierarchyGltf()
{
    std::vector<float> floats = {0, 0, 0, 1, 0, 0, 0, 1, 0,  // positions
                                 0, 1,                       // key times
                                 0.2f, 0.3f, -0.4f, 0.8426149f,  // key turns: the resting one,
                                 0.5f, 0.5f, -0.5f, 0.5f};        // then 120° about (1, 1, −1)
    std::vector<uint8_t> bytes(floats.size() * 4);
    std::memcpy(bytes.data(), floats.data(), bytes.size());
    for (uint16_t index : {0, 1, 2, 0})
        bytes.insert(bytes.end(), {uint8_t(index), uint8_t(index >> 8)});
    return R"({"asset": {"version": "2.0"}, "scene": 0, "scenes": [{"nodes": [0]}],
  "nodes": [{"name": "arm", "translation": [1, 2, 3], "rotation": [0.2, 0.3, -0.4, 0.8426149], "children": [1]},
            {"name": "hand", "translation": [0, 1, 0], "rotation": [0, 0, 0.258819, 0.9659258],
             "scale": [1, 2, 0.5], "mesh": 0, "children": [2]},
            {"name": "tip", "rotation": [0, 0.8660254, 0, 0.5], "scale": [-1, 1, 1], "translation": [2, 0, 0],
             "mesh": 0, "children": [3]},
            {"name": "bent", "matrix": [1, 0, 0, 0, 0.5, 1, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1], "mesh": 0}],
  "meshes": [{"primitives": [{"attributes": {"POSITION": 0}, "indices": 3}]}],
  "animations": [{"channels": [{"sampler": 0, "target": {"node": 0, "path": "rotation"}}],
                  "samplers": [{"input": 1, "output": 2, "interpolation": "LINEAR"}]}],
  "buffers": [{"byteLength": )" + std::to_string(bytes.size()) + R"(, "uri": "data:application/octet-stream;base64,)" +
           Base64(bytes) + R"("}],
  "bufferViews": [{"buffer": 0, "byteOffset": 0, "byteLength": 36}, {"buffer": 0, "byteOffset": 36, "byteLength": 8},
                  {"buffer": 0, "byteOffset": 44, "byteLength": 32}, {"buffer": 0, "byteOffset": 76, "byteLength": 8}],
  "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3", "min": [0, 0, 0], "max": [1, 1, 0]},
                {"bufferView": 1, "componentType": 5126, "count": 2, "type": "SCALAR", "min": [0], "max": [1]},
                {"bufferView": 2, "componentType": 5126, "count": 2, "type": "VEC4"},
                {"bufferView": 3, "componentType": 5123, "count": 3, "type": "SCALAR"}]})";
}

class Import : public ::testing::Test {
protected:
    void TearDown() override { FreeScene(scene); }

    run::Result Run(const std::string& tool, std::vector<std::string> args)
    {
        args.insert(args.begin(), run::BuiltProgram("tools/" + tool));
        return run::Run(args, folder.Path());
    }

    // Imports the model into out.kvor and loads that scene.
    void ImportAndLoad(const std::string& model, std::vector<std::string> options)
    {
        options.insert(options.end(), {model, "out.kvor"});
        const run::Result result = Run("kvorimport", options);
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string path = folder.Path("out.kvor");
        const std::string cwd = std::filesystem::current_path();
        std::filesystem::current_path(folder.Path());
        const TagItem tags[] = {{TAG_LOADSCENE_FILENAME, TagPtr(path.c_str())}, {TAG_DONE, 0}};
        scene = LoadScene(tags);
        std::filesystem::current_path(cwd);
        ASSERT_NE(scene, nullptr);
    }

    ObjectEntity* Object(const std::string& name)
    {
        for (Entity* e = scene->entities; e; e = e->next)
            if (ObjectOf(e) && e->name == name)
                return ObjectOf(e);
        return nullptr;
    }

    // The objects that hold geometry (not those of the nodes), in order.
    std::vector<ObjectEntity*> Meshes()
    {
        std::vector<ObjectEntity*> meshes;
        for (Entity* e = scene->entities; e; e = e->next)
            if (ObjectOf(e) && ObjectOf(e)->vertexCount > 0)
                meshes.push_back(ObjectOf(e));
        return meshes;
    }

    // Every vertex of every object with geometry through the engine's matrix
    // chain against the Assimp global transform of its node (with the
    // first node posed by `arm` when given), in engine space: a half turn
    // about x and the scale 10 of the import.
    void ExpectWorldPositions(const aiScene* model, const aiMatrix4x4* arm)
    {
        for (Entity* e = scene->entities; e; e = e->next)
            e->entityFlags &= ~ENTITY_MATRIXDONE;
        ComputeEntityMatrices(scene->entities);
        int checked = 0;
        for (Entity* e = scene->entities; e; e = e->next) {
            ObjectEntity* object = ObjectOf(e);
            if (!object || object->vertexCount == 0)
                continue;
            aiMatrix4x4 global;
            for (const aiNode* node = model->mRootNode->FindNode(e->parent->name); node; node = node->mParent)
                global = (arm && node->mName == aiString("arm") ? *arm : node->mTransformation) * global;
            for (uint32_t v = 0; v < object->vertexCount; ++v) {
                const aiVector3D want = global * model->mMeshes[0]->mVertices[v];
                const float* p = object->vertices[v].position;
                const float* m = e->matrix;
                for (int c = 0; c < 3; ++c) {
                    const float got = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
                    EXPECT_NEAR(got, (c == 0 ? 10 : -10) * want[c], 1e-3f) << e->name << " vertex " << v << " axis " << c;
                }
            }
            ++checked;
        }
        EXPECT_EQ(checked, 3);
    }

    run::TempFolder folder;
    Scene* scene = nullptr;
};

TEST_F(Import, TexturedQuadKeepsItsPictureUprightInTexels)
{
    WriteQuarters(folder.Path("quarters.png"));
    folder.Write("quad.mtl", std::string("newmtl m\nKd 1 1 1\nmap_Kd quarters.png\n"));
    folder.Write("quad.obj", std::string("mtllib quad.mtl\nv -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\n"
                                         "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nusemtl m\nf 1/1 2/2 3/3 4/4\n"));
    ImportAndLoad("quad.obj", {"--flat", "--view", "front", "--perspective", "off"});
    ASSERT_EQ(Meshes().size(), 1u);
    ObjectEntity* quad = Meshes()[0];
    EXPECT_EQ(quad->vertexCount, 4u);
    ASSERT_EQ(quad->faceCount, 2u);
    EXPECT_EQ(quad->objectFlags, OBJECT_TEXTURE | OBJECT_TRANSPARENT);
    ASSERT_NE(quad->textureMap, nullptr);
    ASSERT_NE(quad->transparencyMap, nullptr);
    EXPECT_STREQ(quad->textureMap->name, "out_0.iff");
    EXPECT_STREQ(quad->transparencyMap->name, "out_0a.iff");
    EXPECT_EQ(quad->textureMap->width, 16u);
    EXPECT_TRUE(std::filesystem::exists(folder.Path("out_0.iff")));
    // Row 0 is the picture's top (model y = 1, engine y = −1), column 0 its
    // left (x = −1).
    for (const Face& face : {quad->faces[0], quad->faces[1]})
        for (int k = 0; k < 3; ++k) {
            const float* p = face.vertices[k]->position;
            EXPECT_FLOAT_EQ(face.uv[k][0], p[1] < 0 ? 0.0f : 16.0f);
            EXPECT_FLOAT_EQ(face.uv[k][1], p[0] < 0 ? 0.0f : 16.0f);
        }

    // Through a transparency map the engine blends by 31/32 at most, so an
    // opaque texel over black is 247.
    ASSERT_EQ(Run("kvorshot", {"out.kvor", "quad.png"}).status, 0);
    const std::vector<uint8_t> rgb = DecodeRgb(folder.Path("quad.png"));
    ASSERT_EQ(rgb.size(), 320u * 200 * 3);
    const struct {
        int x, y;
        uint8_t r, g, b;
    } pixels[] = {{150, 90, 247, 0, 0}, {170, 90, 0, 247, 0}, {150, 110, 0, 0, 247}, {170, 110, 0, 0, 0},
                  {2, 2, 0, 0, 0}};
    for (const auto& pixel : pixels) {
        const uint8_t* at = &rgb[size_t(pixel.y * 320 + pixel.x) * 3];
        EXPECT_EQ(std::vector<int>(at, at + 3), std::vector<int>({pixel.r, pixel.g, pixel.b}))
            << pixel.x << ", " << pixel.y;
    }
}

TEST_F(Import, EachMaterialBecomesAnObjectOfItsColourAndOpacityOnATurntable)
{
    folder.Write("two.mtl", std::string("newmtl red\nKd 1 0 0\nnewmtl glass\nKd 0 0.5 1\nd 0.5\n"));
    folder.Write("two.obj", std::string("mtllib two.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nv 2 0 0\n"
                                        "usemtl red\nf 1 2 3\nf 1 3 4\nusemtl glass\nf 2 5 3\n"));
    ImportAndLoad("two.obj", {"--shaded", "--turntable", "2"});
    const struct {
        uint32_t faces, colour, flags;
    } objects[] = {{2, 0xFFFF0000, OBJECT_SHADED}, {1, 0x800080FF, OBJECT_TRANSPARENT}};
    ASSERT_EQ(Meshes().size(), 2u);
    for (int i = 0; i < 2; ++i) {
        const ObjectEntity* object = Meshes()[size_t(i)];
        EXPECT_EQ(object->faceCount, objects[i].faces) << i;
        EXPECT_EQ(object->colour, objects[i].colour) << i;
        EXPECT_EQ(object->objectFlags, objects[i].flags) << i;
        EXPECT_EQ(object->parent, Meshes()[0]->parent) << i;  // both of the one node
    }
    EXPECT_LT(scene->camera->position[2], 0.0f);  // the framing camera is in front of the model
    EXPECT_EQ(std::filesystem::file_size(folder.Path(".palette")), PALETTE_FILE_WORDS * 4);  // kvorview's

    // Above the root node, the turntable turns once in 2 s about the
    // model's centre.
    const Entity* table = Meshes()[0];
    while (table->parent)
        table = table->parent;
    EXPECT_STREQ(table->name, "turntable");
    ASSERT_NE(table->keys.head, nullptr);
    ASSERT_EQ(table->keys.head->next, table->keys.tail);
    EXPECT_EQ(table->keys.tail->time, 2 * TICKS_PER_SECOND);
    const auto* last = static_cast<const EntityKey*>(table->keys.tail);
    EXPECT_EQ(last->rotation[0], 360.0f);
    for (int c = 0; c < 3; ++c)
        EXPECT_EQ(last->position[c], table->pivot[c]) << c;
}

TEST_F(Import, HierarchyAndAnimationLandWhereAssimpPutsThem)
{
    folder.Write("arm.gltf", HierarchyGltf());
    ImportAndLoad("arm.gltf", {"--scale", "10"});
    Assimp::Importer importer;
    const aiScene* model = importer.ReadFile(folder.Path("arm.gltf"), aiProcess_Triangulate | aiProcess_JoinIdenticalVertices);
    ASSERT_NE(model, nullptr) << importer.GetErrorString();

    const struct {
        const char* entity;
        const char* parent;
    } links[] = {{"arm", nullptr},  {"hand", "arm"},          {"hand/meshes[0]", "hand"}, {"tip", "hand"},
                 {"bent", "tip"}, {"tip/meshes[0]", "tip"}, {"bent/meshes[0]", "bent"}};
    for (const auto& link : links) {
        const ObjectEntity* object = Object(link.entity);
        ASSERT_NE(object, nullptr) << link.entity;
        EXPECT_STREQ(object->parent ? object->parent->name : nullptr, link.parent) << link.entity;
    }
    ExpectWorldPositions(model, nullptr);

    // The turn's keys run from 0 to 1 s, more of them between the two of the
    // file as it turns far; at the end the arm is where the last key puts it.
    const Entity* arm = Object("arm");
    ASSERT_NE(arm->keys.head, nullptr);
    EXPECT_EQ(arm->keys.head->time, 0u);
    EXPECT_EQ(arm->keys.tail->time, TICKS_PER_SECOND);
    int keys = 0;
    for (const Key* key = arm->keys.head; key; key = key->next)
        ++keys;
    EXPECT_GE(keys, 3);
    EvaluateScene(scene, TICKS_PER_SECOND);
    const aiMatrix4x4 last(aiVector3D(1, 1, 1), aiQuaternion(0.5f, 0.5f, 0.5f, -0.5f), aiVector3D(1, 2, 3));
    ExpectWorldPositions(model, &last);
}

TEST_F(Import, BadModelsFailNamingTheFileAndLeaveNothingBehind)
{
    const struct {
        const char* file;
        const char* content;
        const char* message;
    } models[] = {{"noise.obj", "\x01\x02 this is no model {{{", "noise.obj: "},
                  {"points.obj", "v 0 0 0\nv 1 0 0\np 1 2\n", "the model has no triangles"},
                  {"broken.gltf", "{\"asset\": {\"version\": \"2.0\"}, \"meshes\": [{\"primitives\": [{}]}], ", "broken.gltf: "}};
    for (const auto& model : models) {
        folder.Write(model.file, std::string(model.content));
        const run::Result result = Run("kvorimport", {model.file, "bad.kvor"});
        EXPECT_EQ(result.status, 1) << model.file;
        EXPECT_NE(result.err.find(model.message), std::string::npos) << result.err;
        EXPECT_FALSE(std::filesystem::exists(folder.Path("bad.kvor"))) << model.file;
    }
}

TEST_F(Import, MissingTextureIsLeftOutWithItsReason)
{
    folder.Write("lost.mtl", std::string("newmtl m\nKd 0 1 0\nmap_Kd gone.png\n"));
    folder.Write("lost.obj", std::string("mtllib lost.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nvt 0 0\nvt 1 0\nvt 1 1\n"
                                         "usemtl m\nf 1/1 2/2 3/3\n"));
    folder.Write(".palette", std::string("kept"));
    const run::Result result = Run("kvorimport", {"--flat", "lost.obj", "lost.kvor"});
    EXPECT_EQ(run::ReadText(folder.Path(".palette")), "kept");
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("left out: texture gone.png: file not found (1)"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("1 object, 1 face, 0 textures"), std::string::npos) << result.err;
}

}  // namespace
