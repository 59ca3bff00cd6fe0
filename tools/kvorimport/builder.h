// The builder of one import's scene, whose parts live in the files named
// after what they make: scene.cpp (nodes and meshes), materials.cpp
// (colours and textures), view.cpp (cameras and lights), animation.cpp
// (keys and morph targets).
#pragma once

#include "kvorimport.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <new>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace kvorimport {

using namespace kvor3d;

inline constexpr float MODEL_RADIUS = 100.0f;      // a fitted model's bounding radius: lighting works in whole units
inline constexpr float DEFAULT_FOV = 60.0f;        // degrees across
inline constexpr float VIEW_ASPECT = 200.0f / 320.0f;
inline constexpr float AMBIENT = 0.3f;
inline constexpr uint32_t MAX_OBJECT_FACES = 1u << 20;  // keeps an object's chunks far below 4 GiB
inline constexpr uint32_t MAX_OBJECT_VERTICES = 1u << 20;
inline constexpr uint32_t MAX_KEYS = 4096;          // motion or morph keys of one entity
inline constexpr double MAX_KEY_TURN = 0.35;        // radians between keys: angle steps then follow the slerp closely
inline constexpr size_t MAX_PICTURE_FILE = 256u << 20;
inline constexpr uint32_t MAX_NODE_DEPTH = 1000;
inline constexpr float TEXEL_SPAN = 16384.0f;  // texels a face may span, well inside 16.16

// The node's transform at time t (in the animation's ticks) of its
// channel; its resting transform without one.
aiMatrix4x4 LocalAt(const aiNode* node, const aiNodeAnim* channel, double t);
// The times of the channel's keys, in ascending order, each once.
std::vector<double> KeyTimes(const aiNodeAnim* channel);

template <typename T>
T* Check(T* pointer)
{
    if (!pointer)
        throw std::bad_alloc();
    return pointer;
}

inline float Degrees(double radians)
{
    return float(radians * 180.0 / 3.14159265358979323846);
}

// Ticks of a time in seconds, from 0 (also for a time that is no number)
// to 6000 s, which a 32-bit tick count still holds.
inline uint32_t Ticks(double seconds)
{
    return seconds > 0 ? uint32_t(std::llround(std::min(seconds, 6000.0) * TICKS_PER_SECOND)) : 0;
}

// A colour channel from 0 to 1 (0 also for one that is no number) as 0 to 255.
inline uint32_t Channel(float c)
{
    return c > 0 ? uint32_t(std::lround(std::min(c, 1.0f) * 255.0f)) : 0;
}

inline uint32_t Rgb(const aiColor3D& c)
{
    return Channel(c.r) << 16 | Channel(c.g) << 8 | Channel(c.b);
}

inline void SetPose(Entity* entity, const Pose& pose)
{
    std::copy(pose.position, pose.position + 3, entity->position);
    std::copy(pose.rotation, pose.rotation + 3, entity->rotation);
    std::copy(pose.size, pose.size + 3, entity->size);
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
    const aiNode* FindNode(const aiString& name) const;
    const aiNodeAnim* ChannelOf(const aiNode* node) const;
    void CameraPose(const aiCamera* camera, const aiNode* node, const aiMatrix4x4& global, Pose* pose) const;

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

}  // namespace kvorimport
