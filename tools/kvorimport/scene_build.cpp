// The scene records of a model: one entity per node (an object without
// geometry that carries the node's transform), one object per mesh below
// it, textures, the camera, the lights and the first animation's keys.
#include "kvorimport.h"

#include <assimp/material.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <new>
#include <set>

using namespace kvor3d;

namespace kvorimport {

namespace {

constexpr float MODEL_RADIUS = 100.0f;      // a fitted model's bounding radius: lighting works in whole units
constexpr float DEFAULT_FOV = 60.0f;        // degrees across
constexpr float VIEW_ASPECT = 200.0f / 320.0f;
constexpr float AMBIENT = 0.3f;
constexpr uint32_t MAX_OBJECT_FACES = 1u << 20;  // keeps an object's chunks far below 4 GiB
constexpr uint32_t MAX_OBJECT_VERTICES = 1u << 20;
constexpr uint32_t MAX_KEYS = 4096;          // motion or morph keys of one entity
constexpr double MAX_KEY_TURN = 0.35;        // radians between keys: angle steps then follow the slerp closely
constexpr size_t MAX_PICTURE_FILE = 256u << 20;
constexpr uint32_t MAX_NODE_DEPTH = 1000;

template <typename T>
T* Check(T* pointer)
{
    if (!pointer)
        throw std::bad_alloc();
    return pointer;
}

float Degrees(double radians)
{
    return float(radians * 180.0 / 3.14159265358979323846);
}

uint32_t Ticks(double seconds)
{
    return uint32_t(std::llround(std::clamp(seconds, 0.0, 6000.0) * TICKS_PER_SECOND));
}

uint32_t Channel(float c)
{
    return uint32_t(std::lround(std::clamp(c, 0.0f, 1.0f) * 255.0f));
}

uint32_t Rgb(const aiColor3D& c)
{
    return Channel(c.r) << 16 | Channel(c.g) << 8 | Channel(c.b);
}

void SetPose(Entity* entity, const Pose& pose)
{
    std::copy(pose.position, pose.position + 3, entity->position);
    std::copy(pose.rotation, pose.rotation + 3, entity->rotation);
    std::copy(pose.size, pose.size + 3, entity->size);
}

struct Bounds {
    aiVector3D low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
    void Add(const aiVector3D& p)
    {
        low = aiVector3D(std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z));
        high = aiVector3D(std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z));
    }
    bool Empty() const { return low.x > high.x; }
    aiVector3D Centre() const { return (low + high) * 0.5f; }
    float Radius() const { return (high - low).Length() * 0.5f; }
};

// Bounds of the triangle meshes in model space.
void ModelBounds(const aiScene* model, const aiNode* node, const aiMatrix4x4& parent, uint32_t depth, Bounds* bounds)
{
    if (depth > MAX_NODE_DEPTH)
        return;
    const aiMatrix4x4 global = parent * node->mTransformation;
    for (unsigned i = 0; i < node->mNumMeshes; ++i) {
        if (node->mMeshes[i] >= model->mNumMeshes)
            continue;
        const aiMesh* mesh = model->mMeshes[node->mMeshes[i]];
        if (mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)
            for (unsigned v = 0; v < mesh->mNumVertices; ++v)
                bounds->Add(global * mesh->mVertices[v]);
    }
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        ModelBounds(model, node->mChildren[i], global, depth + 1, bounds);
}

// A written texture: its record's name and size, and the alpha map's
// record when its picture has an alpha channel.
struct TextureUse {
    Texture* map = nullptr;
    Texture* alphaMap = nullptr;
    int width = 0, height = 0;
};

// A morph object with the mesh it was made from and, for a node with shear,
// the transform baked into it.
struct MorphMesh {
    MorphEntity* morph;
    const aiMesh* mesh;
    aiMatrix4x4 bake;
};

struct NodeInfo {
    Entity* entity = nullptr;
    aiMatrix4x4 global;  // engine space, at rest
    bool animatable = true;
};

class Builder {
public:
    Builder(const aiScene* model, const Options& options, TextureFiles* files, Summary* summary)
        : model_(model), options_(options), files_(files), summary_(summary)
    {
    }
    ~Builder() { FreeScene(scene_); }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    Scene* Build(std::string* error);

private:
    std::string UniqueName(std::string name);
    Texture* TextureRecord(const std::string& name);
    const TextureUse* UseTexture(const aiString& path);
    std::string ReadPicture(const std::string& path, Picture* picture);
    void SetMaterial(ObjectEntity* object, const aiMesh* mesh, const TextureUse** texture);
    void AddNode(const aiNode* node, Entity* parent, const aiMatrix4x4& pending, const aiMatrix4x4& parentGlobal,
                 uint32_t depth);
    void AddMesh(const aiMesh* mesh, const std::string& nodeName, Entity* parent, const aiMatrix4x4* bake,
                 const aiMatrix4x4& global);
    void AddCamera();
    void FrameCamera();
    void AddDefaultLight();
    void AddLights();
    void AddAnimation();
    void AddMorphKeys(const aiMeshMorphAnim* channel, double ticksPerSecond);
    void AddTurntable();
    void CoverMorphTimes();
    Entity* NewEntity(uint32_t kind, const std::string& name, Entity* parent);

    const aiScene* model_;
    const Options& options_;
    TextureFiles* files_;
    Summary* summary_;
    Frame frame_;
    Scene* scene_ = nullptr;
    aiVector3D centre_;  // of the model's bounding box, engine space
    float radius_ = 0;   // of the sphere about centre_ that holds every vertex at rest
    std::set<std::string> names_;
    std::map<std::string, const aiNode*> nodesByName_;
    std::map<const aiNode*, NodeInfo> nodes_;
    std::map<std::string, TextureUse> textures_;
    std::map<std::string, std::vector<MorphMesh>> morphsByNode_;
    std::vector<Entity*> roots_;
};

std::string Builder::UniqueName(std::string name)
{
    if (name.empty())
        name = "node";
    std::string unique = name;
    for (int k = 2; names_.count(unique); ++k)
        unique = name + "#" + std::to_string(k);
    names_.insert(unique);
    return unique;
}

Entity* Builder::NewEntity(uint32_t kind, const std::string& name, Entity* parent)
{
    Entity* entity = Check(AllocEntity(kind));
    AddEntity(scene_, entity);
    entity->name = Check(CopyName(UniqueName(name).c_str()));
    entity->entityFlags = ENTITY_DRAWN;
    entity->parent = parent;
    return entity;
}

Texture* Builder::TextureRecord(const std::string& name)
{
    Texture* texture = Check(AllocRecord<Texture>());
    Texture** link = &scene_->textures;
    while (*link)
        link = &(*link)->next;
    *link = texture;
    texture->name = Check(CopyName(name.c_str()));
    return texture;
}

// The file as named, relative to the model's folder; failing that its last
// path component (either slash) in the model's folder.
std::string Builder::ReadPicture(const std::string& path, Picture* picture)
{
    std::string name = path;
    std::replace(name.begin(), name.end(), '\\', '/');
    const std::string bare = name.substr(name.find_last_of('/') + 1);
    const std::string candidates[] = {name.empty() || name[0] == '/' ? name : files_->modelFolder + name,
                                      files_->modelFolder + bare};
    for (const std::string& candidate : candidates) {
        std::ifstream stream(candidate, std::ios::binary);
        if (!stream)
            continue;
        std::vector<uint8_t> bytes;
        char block[65536];
        while (stream.read(block, sizeof block) || stream.gcount() > 0) {
            bytes.insert(bytes.end(), block, block + stream.gcount());
            if (bytes.size() > MAX_PICTURE_FILE)
                return "file larger than 256 MiB";
        }
        return DecodePicture(bytes.data(), bytes.size(), picture);
    }
    return "file not found";
}

const TextureUse* Builder::UseTexture(const aiString& path)
{
    const std::string key = path.C_Str();
    const auto found = textures_.find(key);
    if (found != textures_.end())
        return found->second.map ? &found->second : nullptr;
    TextureUse& use = textures_[key];
    Picture picture;
    std::string refused;
    if (const aiTexture* embedded = model_->GetEmbeddedTexture(path.C_Str())) {
        if (embedded->mHeight == 0) {
            refused = DecodePicture(reinterpret_cast<const uint8_t*>(embedded->pcData), embedded->mWidth, &picture);
        } else {
            picture.width = int(embedded->mWidth);
            picture.height = int(embedded->mHeight);
            for (size_t i = 0; i < size_t(embedded->mWidth) * embedded->mHeight; ++i) {
                const aiTexel& t = embedded->pcData[i];
                picture.rgba.insert(picture.rgba.end(), {t.r, t.g, t.b, t.a});
            }
        }
    } else if (key.empty() || key[0] == '*') {
        refused = "embedded picture missing";
    } else {
        refused = ReadPicture(key, &picture);
    }
    if (!refused.empty() || picture.width <= 0 || picture.height <= 0) {
        summary_->Drop("texture " + key + ": " + (refused.empty() ? "empty picture" : refused));
        return nullptr;
    }
    const Picture resampled = Resample(picture, options_.maxTexture);
    bool alpha = false;
    for (size_t i = 3; i < resampled.rgba.size(); i += 4)
        alpha = alpha || resampled.rgba[i] < 255;
    const std::string name = files_->stem + "_" + std::to_string(summary_->textures);
    for (int layer = 0; layer < (alpha ? 2 : 1); ++layer) {
        const std::string file = name + (layer ? "a" : "") + ".iff";
        const std::string written = files_->outputFolder + file;
        if (!WritePicture(resampled, layer == 1, written))
            throw std::runtime_error("cannot write " + written);
        files_->written.push_back(written);
        (layer ? use.alphaMap : use.map) = TextureRecord(file);
    }
    ++summary_->textures;
    use.width = resampled.width;
    use.height = resampled.height;
    return &use;
}

// Colour, opacity, sides and the diffuse texture of the mesh's material
// as object flags, colour and maps.
void Builder::SetMaterial(ObjectEntity* object, const aiMesh* mesh, const TextureUse** texture)
{
    *texture = nullptr;
    const aiMaterial* material = mesh->mMaterialIndex < model_->mNumMaterials ? model_->mMaterials[mesh->mMaterialIndex]
                                                                              : nullptr;
    aiColor4D diffuse(0.8f, 0.8f, 0.8f, 1.0f);
    float opacity = 1.0f;
    int twoSided = 0, shading = aiShadingMode_Gouraud;
    aiString path;
    bool textured = false;
    if (material) {
        if (aiGetMaterialColor(material, AI_MATKEY_COLOR_DIFFUSE, &diffuse) != AI_SUCCESS)
            aiGetMaterialColor(material, AI_MATKEY_BASE_COLOR, &diffuse);
        aiGetMaterialFloat(material, AI_MATKEY_OPACITY, &opacity);
        aiGetMaterialInteger(material, AI_MATKEY_TWOSIDED, &twoSided);
        aiGetMaterialInteger(material, AI_MATKEY_SHADING_MODEL, &shading);
        textured = material->GetTexture(aiTextureType_DIFFUSE, 0, &path) == AI_SUCCESS ||
                   material->GetTexture(aiTextureType_BASE_COLOR, 0, &path) == AI_SUCCESS;
        for (int type = aiTextureType_SPECULAR; type <= aiTextureType_TRANSMISSION; ++type)
            if (type != aiTextureType_BASE_COLOR && material->GetTextureCount(aiTextureType(type)) > 0)
                summary_->Drop(std::string(aiTextureTypeToString(aiTextureType(type))) + " maps (only diffuse maps are drawn)");
    }
    if (!(opacity > 0.0f)) {
        summary_->Drop("opacity 0 (read as opaque)");
        opacity = 1.0f;
    }
    if (textured && !mesh->HasTextureCoords(0)) {
        summary_->Drop("textures of meshes without texture coordinates");
        textured = false;
    }
    if (textured)
        *texture = UseTexture(path);
    uint32_t flags = 0;
    uint32_t alpha = 255;
    if (*texture) {
        flags |= OBJECT_TEXTURE;
        if (options_.perspective <= 8) {
            flags |= OBJECT_PERSPECTIVE;
            object->correctionValue = options_.perspective;
        }
        object->material[1] = options_.bilinear ? 1 : 0;
        if ((*texture)->alphaMap) {
            object->transparencyMap = (*texture)->alphaMap;
            flags |= OBJECT_TRANSPARENT;
        }
        object->textureMap = (*texture)->map;
    }
    if (opacity < 1.0f) {
        flags |= OBJECT_TRANSPARENT;
        alpha = Channel(opacity);
    }
    // The engine draws no shaded transparent surface.
    if (options_.shaded && !(flags & OBJECT_TRANSPARENT) && shading != aiShadingMode_NoShading)
        flags |= OBJECT_SHADED;
    if (twoSided)
        flags |= OBJECT_DOUBLESIDED;
    object->objectFlags = flags;
    object->colour = alpha << 24 | Rgb(aiColor3D(diffuse.r, diffuse.g, diffuse.b));
}

void Builder::AddMesh(const aiMesh* mesh, const std::string& nodeName, Entity* parent, const aiMatrix4x4* bake,
                      const aiMatrix4x4& global)
{
    ++summary_->meshes;
    if (!(mesh->mPrimitiveTypes & aiPrimitiveType_TRIANGLE)) {
        summary_->Drop("meshes of points or lines");
        return;
    }
    uint32_t triangles = 0;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f)
        triangles += mesh->mFaces[f].mNumIndices == 3 ? 1 : 0;
    if (triangles < mesh->mNumFaces)
        summary_->Drop("points or lines within triangle meshes");
    if (triangles > MAX_OBJECT_FACES || mesh->mNumVertices > MAX_OBJECT_VERTICES) {
        summary_->Drop("meshes over 1048576 faces or vertices");
        return;
    }
    if (triangles == 0)
        return;
    if (mesh->mNumBones > 0)
        summary_->Drop("bones (their meshes are kept in the rest pose)");
    const bool morph = mesh->mNumAnimMeshes > 0 && morphsByNode_.count(nodeName);
    if (mesh->mNumAnimMeshes > 0 && !morph)
        summary_->Drop("morph targets without a morph animation");
    const std::string name = nodeName + "/" + (mesh->mName.length ? mesh->mName.C_Str() : "mesh");
    auto* object = static_cast<ObjectEntity*>(NewEntity(morph ? ENTITY_MORPH : ENTITY_OBJECT, name, parent));
    const TextureUse* texture;
    SetMaterial(object, mesh, &texture);
    object->vertexCount = mesh->mNumVertices;
    object->vertices = Check(static_cast<Vertex*>(MemAlloc(mesh->mNumVertices, sizeof(Vertex))));
    for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
        aiVector3D p = PointToEngine(frame_, mesh->mVertices[v]);
        if (bake)
            p = *bake * p;
        std::copy(&p.x, &p.x + 3, object->vertices[v].position);
        radius_ = std::max(radius_, (global * p - centre_).Length());
    }
    // A mirroring transform turns the faces' winding around; turning it back
    // keeps their fronts outward.
    const bool mirrored = global.Determinant() < 0;
    object->faceCount = triangles;
    object->faces = Check(static_cast<Face*>(MemAlloc(triangles, sizeof(Face))));
    Face* face = object->faces;
    for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
        const aiFace& source = mesh->mFaces[f];
        if (source.mNumIndices != 3)
            continue;
        for (int k = 0; k < 3; ++k) {
            const unsigned index = source.mIndices[mirrored && k ? 3 - k : k];
            face->vertices[k] = &object->vertices[index];
            if (texture) {
                const aiVector3D& t = mesh->mTextureCoords[0][index];
                face->uv[k][0] = (1.0f - t.y) * float(texture->height);
                face->uv[k][1] = t.x * float(texture->width);
            }
        }
        // Whole repeats of the texture bring the face's least row and column
        // onto the texture itself, so far-repeating coordinates stay exact.
        if (texture) {
            const float least[2] = {std::min({face->uv[0][0], face->uv[1][0], face->uv[2][0]}),
                                    std::min({face->uv[0][1], face->uv[1][1], face->uv[2][1]})};
            const float rows = std::floor(least[0] / float(texture->height)) * float(texture->height);
            const float columns = std::floor(least[1] / float(texture->width)) * float(texture->width);
            for (int k = 0; k < 3; ++k) {
                face->uv[k][0] -= rows;
                face->uv[k][1] -= columns;
            }
        }
        face->owner = object;
        ++face;
    }
    if (morph)
        morphsByNode_[nodeName].push_back({static_cast<MorphEntity*>(object), mesh, bake ? *bake : aiMatrix4x4()});
    ++summary_->objects;
    summary_->faces += triangles;
}

// The node's entity carries its transform split into a pose; a transform
// with shear has none, so it is baked into the node's own meshes and passed
// on to its children's transforms, and the entity keeps the parent's frame.
void Builder::AddNode(const aiNode* node, Entity* parent, const aiMatrix4x4& pending, const aiMatrix4x4& parentGlobal,
                      uint32_t depth)
{
    if (depth > MAX_NODE_DEPTH) {
        summary_->Drop("nodes nested deeper than 1000");
        return;
    }
    const aiMatrix4x4 local = pending * node->mTransformation;
    const aiMatrix4x4 engineLocal = ToEngine(frame_, local);
    const aiMatrix4x4 global = parentGlobal * engineLocal;
    Pose pose = {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}};
    const bool decomposed = Decompose(engineLocal, &pose);
    if (!decomposed)
        summary_->Drop("node transforms with shear (baked into their meshes' vertices)");
    Entity* entity = NewEntity(ENTITY_OBJECT, node->mName.C_Str(), parent);
    SetPose(entity, pose);
    if (!parent)
        roots_.push_back(entity);
    nodes_[node] = {entity, global, decomposed && pending.IsIdentity()};
    nodesByName_.emplace(node->mName.C_Str(), node);
    for (unsigned i = 0; i < node->mNumMeshes; ++i)
        if (node->mMeshes[i] < model_->mNumMeshes)
            AddMesh(model_->mMeshes[node->mMeshes[i]], entity->name, entity, decomposed ? nullptr : &engineLocal,
                    global);
    for (unsigned i = 0; i < node->mNumChildren; ++i)
        AddNode(node->mChildren[i], entity, decomposed ? aiMatrix4x4() : local, global, depth + 1);
}

const aiNode* FindNode(const std::map<std::string, const aiNode*>& nodes, const aiString& name)
{
    const auto found = nodes.find(name.C_Str());
    return found == nodes.end() ? nullptr : found->second;
}

// The camera's position, view direction and up are in its node's space.
// Some importers (glTF) also copy the node's own translation into the
// position; a position equal to that translation is taken as such a copy.
// The field of view that the importers of the formats tried (glTF, Collada)
// hand over is the whole angle across.
void Builder::AddCamera()
{
    const aiCamera* camera = model_->mCameras[0];
    const aiNode* node = FindNode(nodesByName_, camera->mName);
    const aiMatrix4x4 global = node ? nodes_[node].global : aiMatrix4x4();
    aiMatrix4x4 turn = global;
    turn.a4 = turn.b4 = turn.c4 = 0;
    aiVector3D position = camera->mPosition;
    if (node && (position - aiVector3D(node->mTransformation.a4, node->mTransformation.b4, node->mTransformation.c4))
                        .SquareLength() < 1e-12f)
        position = aiVector3D();
    const aiVector3D eye = global * PointToEngine(frame_, position);
    const aiVector3D forward = turn * DirectionToEngine(frame_, camera->mLookAt);
    const aiVector3D down = turn * DirectionToEngine(frame_, -camera->mUp);
    CameraEntity* entity = CameraOf(scene_->camera);
    std::copy(&eye.x, &eye.x + 3, entity->position);
    CameraAngles(forward, down, entity->rotation);
    entity->fieldOfView = std::clamp(Degrees(camera->mHorizontalFOV), 10.0f, 160.0f);
    ++summary_->cameras;
    bool animated = false;
    for (const aiNode* up = node; up && model_->mNumAnimations > 0; up = up->mParent)
        for (unsigned c = 0; c < model_->mAnimations[0]->mNumChannels; ++c)
            animated = animated || model_->mAnimations[0]->mChannels[c]->mNodeName == up->mName;
    if (animated)
        summary_->Drop("camera animation (the camera keeps its resting pose)");
    if (model_->mNumCameras > 1)
        summary_->Drop("cameras after the first (the engine has one)");
}

// A camera that sees the whole bounding sphere from the chosen side.
void Builder::FrameCamera()
{
    static const std::map<View, aiVector3D> SIDES = {
        {View::QUARTER, {0.6f, -0.4f, -1.0f}}, {View::FRONT, {0, 0, -1}}, {View::BACK, {0, 0, 1}},
        {View::LEFT, {-1, 0, 0}},              {View::RIGHT, {1, 0, 0}},  {View::TOP, {0, -1, 0}},
        {View::ISO, {1, -1, -1}}};
    aiVector3D side = SIDES.at(options_.view);
    side.Normalize();
    CameraEntity* camera = CameraOf(scene_->camera);
    camera->fieldOfView = DEFAULT_FOV;
    const double halfHeight = std::atan(std::tan(DEFAULT_FOV * 3.14159265358979323846 / 360.0) * VIEW_ASPECT);
    const float radius = std::max(radius_, 1e-3f);
    const float distance = float(radius / std::sin(halfHeight) * 1.05);
    const aiVector3D eye = centre_ + side * distance;
    std::copy(&eye.x, &eye.x + 3, camera->position);
    CameraAngles(-side, aiVector3D(0, 1, 0), camera->rotation);
    if (options_.view == View::TOP)
        CameraAngles(-side, aiVector3D(0, 0, -1), camera->rotation);
    scene_->farClip = std::max(SCENE_FARCLIP, (distance + radius) * 2.0f);
}

// A white light above and left of the camera, as far from the model's
// centre as the camera is.
void Builder::AddDefaultLight()
{
    const aiVector3D eye(scene_->camera->position[0], scene_->camera->position[1], scene_->camera->position[2]);
    const float distance = std::max((eye - centre_).Length(), radius_);
    aiVector3D side = eye - centre_;
    side.Normalize();
    aiVector3D above = side + aiVector3D(-0.4f, -0.8f, 0);
    above.Normalize();
    const aiVector3D at = centre_ + above * distance;
    auto* light = static_cast<LightEntity*>(NewEntity(ENTITY_LIGHT, "light", nullptr));
    std::copy(&at.x, &at.x + 3, light->position);
    light->lightValue3 = 0xFFFFFF;
    light->lightValue1 = 1.0f;
    light->lightFlags = LIGHT_ON;
}

// Point and spot lights sit at their nodes; a directional light becomes a
// point light far out against its direction; an ambient one raises the
// ambient level.
void Builder::AddLights()
{
    for (unsigned i = 0; i < model_->mNumLights; ++i) {
        const aiLight* source = model_->mLights[i];
        const float strength = std::max({source->mColorDiffuse.r, source->mColorDiffuse.g, source->mColorDiffuse.b});
        if (!(strength > 0.0f)) {
            summary_->Drop("black lights");
            continue;
        }
        const aiColor3D colour(source->mColorDiffuse.r / strength, source->mColorDiffuse.g / strength,
                               source->mColorDiffuse.b / strength);
        if (source->mType == aiLightSource_AMBIENT) {
            scene_->ambientLevel = std::min(1.0f, scene_->ambientLevel + strength * 0.3f);
            continue;
        }
        const aiNode* node = FindNode(nodesByName_, source->mName);
        auto* light = static_cast<LightEntity*>(NewEntity(ENTITY_LIGHT, source->mName.C_Str(), nullptr));
        aiVector3D at = PointToEngine(frame_, source->mPosition);
        if (source->mType == aiLightSource_DIRECTIONAL) {
            aiMatrix4x4 turn = node ? nodes_[node].global : aiMatrix4x4();
            turn.a4 = turn.b4 = turn.c4 = 0;
            aiVector3D direction = turn * DirectionToEngine(frame_, source->mDirection);
            direction.Normalize();
            at = centre_ - direction * (radius_ * 8.0f);
        } else if (node) {
            light->parent = nodes_[node].entity;
        }
        std::copy(&at.x, &at.x + 3, light->position);
        light->lightValue3 = Rgb(colour);
        light->lightValue1 = std::min(1.0f, strength);
        light->lightFlags = LIGHT_ON;
        ++summary_->lights;
    }
}

template <typename KeyArray>
size_t KeyBefore(const KeyArray* keys, unsigned count, double t)
{
    size_t i = 0;
    while (i + 1 < count && keys[i + 1].mTime <= t)
        ++i;
    return i;
}

aiVector3D VectorAt(const aiVectorKey* keys, unsigned count, double t, const aiVector3D& rest)
{
    if (count == 0)
        return rest;
    const size_t i = KeyBefore(keys, count, t);
    if (i + 1 >= count || t <= keys[i].mTime)
        return keys[i].mValue;
    const float f = float((t - keys[i].mTime) / (keys[i + 1].mTime - keys[i].mTime));
    return keys[i].mValue + (keys[i + 1].mValue - keys[i].mValue) * f;
}

aiQuaternion RotationAt(const aiQuatKey* keys, unsigned count, double t, const aiQuaternion& rest)
{
    if (count == 0)
        return rest;
    const size_t i = KeyBefore(keys, count, t);
    if (i + 1 >= count || t <= keys[i].mTime)
        return keys[i].mValue;
    aiQuaternion out;
    aiQuaternion::Interpolate(out, keys[i].mValue, keys[i + 1].mValue,
                              float((t - keys[i].mTime) / (keys[i + 1].mTime - keys[i].mTime)));
    return out.Normalize();
}

// Motion keys at every time a channel has a key, with more between keys
// that turn far, so that the engine's step through the angles stays close
// to the file's turn; all interpolated linearly.
void Builder::AddAnimation()
{
    const aiAnimation* animation = model_->mAnimations[0];
    if (model_->mNumAnimations > 1)
        summary_->Drop("animations after the first");
    const double perSecond = animation->mTicksPerSecond > 0 ? animation->mTicksPerSecond : 25.0;
    for (unsigned c = 0; c < animation->mNumChannels; ++c) {
        const aiNodeAnim* channel = animation->mChannels[c];
        const aiNode* node = FindNode(nodesByName_, channel->mNodeName);
        if (!node || !nodes_[node].animatable) {
            summary_->Drop(node ? "animations of nodes with shear" : "animations of unknown nodes");
            continue;
        }
        aiVector3D restScale, restPosition;
        aiQuaternion restRotation;
        node->mTransformation.Decompose(restScale, restRotation, restPosition);
        std::vector<double> times;
        for (unsigned k = 0; k < channel->mNumPositionKeys; ++k)
            times.push_back(channel->mPositionKeys[k].mTime);
        for (unsigned k = 0; k < channel->mNumRotationKeys; ++k)
            times.push_back(channel->mRotationKeys[k].mTime);
        for (unsigned k = 0; k < channel->mNumScalingKeys; ++k)
            times.push_back(channel->mScalingKeys[k].mTime);
        std::sort(times.begin(), times.end());
        times.erase(std::unique(times.begin(), times.end()), times.end());
        std::vector<double> samples;
        for (size_t k = 0; k < times.size() && samples.size() < MAX_KEYS; ++k) {
            int pieces = 1;
            if (k + 1 < times.size()) {
                const aiQuaternion a = RotationAt(channel->mRotationKeys, channel->mNumRotationKeys, times[k], restRotation);
                const aiQuaternion b =
                    RotationAt(channel->mRotationKeys, channel->mNumRotationKeys, times[k + 1], restRotation);
                const double dot = std::fabs(a.w * b.w + a.x * b.x + a.y * b.y + a.z * b.z);
                pieces = std::clamp(int(std::ceil(2.0 * std::acos(std::min(1.0, dot)) / MAX_KEY_TURN)), 1, 64);
            }
            for (int p = 0; p < pieces; ++p)
                samples.push_back(k + 1 < times.size() ? times[k] + (times[k + 1] - times[k]) * p / pieces : times[k]);
        }
        Entity* entity = nodes_[node].entity;
        Pose previous = {{0, 0, 0}, {0, 0, 0}, {1, 1, 1}};
        std::copy(entity->rotation, entity->rotation + 3, previous.rotation);
        uint32_t lastTime = 0;
        for (size_t k = 0; k < samples.size(); ++k) {
            const double t = samples[k];
            const uint32_t time = Ticks(t / perSecond);
            if (k > 0 && time <= lastTime)
                continue;
            const aiMatrix4x4 local(
                VectorAt(channel->mScalingKeys, channel->mNumScalingKeys, t, restScale),
                RotationAt(channel->mRotationKeys, channel->mNumRotationKeys, t, restRotation),
                VectorAt(channel->mPositionKeys, channel->mNumPositionKeys, t, restPosition));
            Pose pose;
            if (!Decompose(ToEngine(frame_, local), &pose, &previous)) {
                summary_->Drop("animation keys with shear or zero scale");
                continue;
            }
            const TagItem tags[] = {{TAG_KEY_ENTITY, TagPtr(entity)}, {TAG_KEY_TIME, time}, {TAG_DONE, 0}};
            EntityKey* key = Check(CreateEntityKey(tags));
            std::copy(pose.position, pose.position + 3, key->position);
            std::copy(pose.rotation, pose.rotation + 3, key->rotation);
            std::copy(pose.size, pose.size + 3, key->size);
            key->keyFlags = KEY_INTERPOLATE;
            if (entity->keys.head == key)
                SetPose(entity, pose);
            previous = pose;
            lastTime = time;
            ++summary_->keys;
        }
    }
    for (unsigned c = 0; c < animation->mNumMorphMeshChannels; ++c)
        AddMorphKeys(animation->mMorphMeshChannels[c], perSecond);
    if (animation->mNumMeshChannels > 0)
        summary_->Drop("mesh-swapping animations");
}

// The engine blends between two whole shapes, so every key's mix of the
// file's targets becomes one target of its own: exact at the keys and
// linear between them, as the file's weights are.
void Builder::AddMorphKeys(const aiMeshMorphAnim* channel, double perSecond)
{
    const auto found = morphsByNode_.find(channel->mName.C_Str());
    if (found == morphsByNode_.end()) {
        summary_->Drop("morph animations of unknown nodes");
        return;
    }
    for (const MorphMesh& entry : found->second) {
        MorphEntity* morph = entry.morph;
        const aiMesh* mesh = entry.mesh;
        MorphTarget** link = &morph->targets;
        uint32_t lastTime = 0;
        // A channel without keys still gives the object its rest shape, the
        // one target a morph object's vertices come from.
        const unsigned count = std::max(1u, std::min(channel->mNumKeys, MAX_KEYS));
        for (unsigned k = 0; k < count; ++k) {
            const aiMeshMorphKey* source = k < channel->mNumKeys ? &channel->mKeys[k] : nullptr;
            const uint32_t time = source ? Ticks(source->mTime / perSecond) : 0;
            if (k > 0 && time <= lastTime)
                continue;
            auto* target = Check(AllocRecord<MorphTarget>());
            *link = target;
            link = &target->next;
            ++morph->targetCount;
            target->name = Check(CopyName(("key" + std::to_string(k)).c_str()));
            target->targetVertices = Check(static_cast<TargetVertex*>(MemAlloc(morph->vertexCount, sizeof(TargetVertex))));
            for (uint32_t v = 0; v < morph->vertexCount; ++v) {
                aiVector3D p = mesh->mVertices[v];
                for (unsigned w = 0; source && w < source->mNumValuesAndWeights; ++w) {
                    const unsigned shape = source->mValues[w];
                    if (shape < mesh->mNumAnimMeshes && mesh->mAnimMeshes[shape]->mVertices &&
                        mesh->mAnimMeshes[shape]->mNumVertices == mesh->mNumVertices)
                        p += (mesh->mAnimMeshes[shape]->mVertices[v] - mesh->mVertices[v]) * float(source->mWeights[w]);
                }
                p = entry.bake * PointToEngine(frame_, p);
                std::copy(&p.x, &p.x + 3, target->targetVertices[v].position);
            }
            if (!source)
                break;
            const TagItem tags[] = {{TAG_KEY_MORPH, TagPtr(morph)}, {TAG_KEY_TIME, time}, {TAG_KEY_TARGET, TagPtr(target)},
                                    {TAG_DONE, 0}};
            Check(CreateMorphKey(tags))->keyFlags = KEY_INTERPOLATE;
            lastTime = time;
            ++summary_->keys;
        }
        ++summary_->morphs;
    }
}

// A root that turns the model once about the vertical through its centre.
void Builder::AddTurntable()
{
    Entity* table = NewEntity(ENTITY_OBJECT, "turntable", nullptr);
    const aiVector3D centre = centre_;
    std::copy(&centre.x, &centre.x + 3, table->pivot);
    for (Entity* root : roots_)
        root->parent = table;
    for (int k = 0; k < 2; ++k) {
        const TagItem tags[] = {{TAG_KEY_ENTITY, TagPtr(table)}, {TAG_KEY_TIME, Ticks(k * options_.turntable)}, {TAG_DONE, 0}};
        EntityKey* key = Check(CreateEntityKey(tags));
        std::copy(&centre.x, &centre.x + 3, key->position);
        key->rotation[0] = k * 360.0f;
        key->keyFlags = KEY_INTERPOLATE;
    }
    std::copy(&centre.x, &centre.x + 3, table->position);
}

// Scenes play from their first motion key to their last, so a camera that
// holds still from 0 to the last morph key lets the morph play out.
void Builder::CoverMorphTimes()
{
    uint32_t last = 0;
    for (Entity* entity = scene_->entities; entity; entity = entity->next) {
        if (entity->keys.tail)
            return;
        if (const MorphEntity* morph = MorphOf(entity))
            last = std::max(last, morph->morphKeys.tail ? morph->morphKeys.tail->time : 0);
    }
    for (uint32_t time : {0u, last}) {
        const TagItem tags[] = {{TAG_KEY_ENTITY, TagPtr(scene_->camera)}, {TAG_KEY_TIME, time}, {TAG_DONE, 0}};
        Check(CreateEntityKey(tags))->keyFlags = KEY_INTERPOLATE;
    }
}

Scene* Builder::Build(std::string* error)
{
    if (!model_->mRootNode) {
        *error = "the model has no nodes";
        return nullptr;
    }
    Bounds model;
    ModelBounds(model_, model_->mRootNode, aiMatrix4x4(), 0, &model);
    float scale = float(options_.scale);
    if (scale == 0)
        scale = model.Empty() || !(model.Radius() > 0) ? 1.0f : MODEL_RADIUS / model.Radius();
    frame_ = MakeFrame(options_.up, scale);
    if (!model.Empty())
        centre_ = PointToEngine(frame_, model.Centre());
    scene_ = Check(AllocScene());
    scene_->ambientLevel = AMBIENT;
    CameraEntity* camera = CameraOf(scene_->camera);
    camera->entityFlags = ENTITY_DRAWN;
    camera->name = Check(CopyName("camera"));
    if (model_->mNumAnimations > 0)
        for (unsigned c = 0; c < model_->mAnimations[0]->mNumMorphMeshChannels; ++c)
            morphsByNode_[model_->mAnimations[0]->mMorphMeshChannels[c]->mName.C_Str()];
    AddNode(model_->mRootNode, nullptr, aiMatrix4x4(), aiMatrix4x4(), 0);
    for (auto it = morphsByNode_.begin(); it != morphsByNode_.end();)
        it = it->second.empty() ? morphsByNode_.erase(it) : std::next(it);
    if (summary_->objects == 0) {
        *error = "the model has no triangles";
        return nullptr;
    }
    AddLights();
    if (model_->mNumAnimations > 0)
        AddAnimation();
    if (model_->mNumCameras > 0 && !options_.viewGiven)
        AddCamera();
    else
        FrameCamera();
    if (summary_->lights == 0)
        AddDefaultLight();
    if (options_.turntable > 0)
        AddTurntable();
    if (summary_->morphs > 0)
        CoverMorphTimes();
    Scene* scene = scene_;
    scene_ = nullptr;
    return scene;
}

}  // namespace

Scene* BuildScene(const aiScene* model, const Options& options, TextureFiles* files, Summary* summary,
                  std::string* error)
{
    Builder builder(model, options, files, summary);
    try {
        return builder.Build(error);
    } catch (const std::bad_alloc&) {
        *error = "out of memory";
    } catch (const std::runtime_error& failure) {
        *error = failure.what();
    }
    return nullptr;
}

}  // namespace kvorimport
