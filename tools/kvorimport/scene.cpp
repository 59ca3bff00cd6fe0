// The scene records of a model: one entity per node (an object without
// geometry that carries the node's transform) and one object per mesh
// below it; then the textures, the camera, the lights and the keys.
#include "builder.h"

#include <iterator>

namespace kvorimport {

namespace {

struct Bounds {
    aiVector3D low{1e30f, 1e30f, 1e30f}, high{-1e30f, -1e30f, -1e30f};
    void Add(const aiVector3D& p)
    {
        if (!std::isfinite(p.x + p.y + p.z))
            return;
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

}  // namespace

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

const aiNode* Builder::FindNode(const aiString& name) const
{
    const auto found = nodesByName_.find(name.C_Str());
    return found == nodesByName_.end() ? nullptr : found->second;
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
        if (!std::isfinite(p.x + p.y + p.z)) {
            summary_->Drop("vertices with infinite or undefined coordinates (put at the origin)");
            p = aiVector3D();
        }
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
                const bool finite = std::isfinite(t.x + t.y);
                face->uv[k][0] = finite ? (1.0f - t.y) * float(texture->height) : 0.0f;
                face->uv[k][1] = finite ? t.x * float(texture->width) : 0.0f;
            }
        }
        // Whole repeats of the texture bring the face's least row and column
        // onto the texture itself, so far-repeating coordinates stay exact.
        if (texture) {
            const float least[2] = {std::min({face->uv[0][0], face->uv[1][0], face->uv[2][0]}),
                                    std::min({face->uv[0][1], face->uv[1][1], face->uv[2][1]})};
            const float rows = std::floor(least[0] / float(texture->height)) * float(texture->height);
            const float columns = std::floor(least[1] / float(texture->width)) * float(texture->width);
            // The fillers step in 16.16 texels: a face spanning more than
            // TEXEL_SPAN is cut back to it.
            for (int k = 0; k < 3; ++k) {
                face->uv[k][0] = std::min(face->uv[k][0] - rows, TEXEL_SPAN);
                face->uv[k][1] = std::min(face->uv[k][1] - columns, TEXEL_SPAN);
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
