// The first animation's node channels as motion keys, its morph channels
// as morph targets and keys, and the turntable.
#include "builder.h"

namespace kvorimport {

namespace {

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

}  // namespace

aiMatrix4x4 LocalAt(const aiNode* node, const aiNodeAnim* channel, double t)
{
    if (!channel)
        return node->mTransformation;
    aiVector3D scale, position;
    aiQuaternion rotation;
    node->mTransformation.Decompose(scale, rotation, position);
    return aiMatrix4x4(VectorAt(channel->mScalingKeys, channel->mNumScalingKeys, t, scale),
                       RotationAt(channel->mRotationKeys, channel->mNumRotationKeys, t, rotation),
                       VectorAt(channel->mPositionKeys, channel->mNumPositionKeys, t, position));
}

std::vector<double> KeyTimes(const aiNodeAnim* channel)
{
    std::vector<double> times;
    for (unsigned k = 0; k < channel->mNumPositionKeys; ++k)
        times.push_back(channel->mPositionKeys[k].mTime);
    for (unsigned k = 0; k < channel->mNumRotationKeys; ++k)
        times.push_back(channel->mRotationKeys[k].mTime);
    for (unsigned k = 0; k < channel->mNumScalingKeys; ++k)
        times.push_back(channel->mScalingKeys[k].mTime);
    times.erase(std::remove_if(times.begin(), times.end(), [](double t) { return !std::isfinite(t); }), times.end());
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    return times;
}

const aiNodeAnim* Builder::ChannelOf(const aiNode* node) const
{
    for (unsigned c = 0; model_->mNumAnimations > 0 && c < model_->mAnimations[0]->mNumChannels; ++c)
        if (model_->mAnimations[0]->mChannels[c]->mNodeName == node->mName)
            return model_->mAnimations[0]->mChannels[c];
    return nullptr;
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
        const aiNode* node = FindNode(channel->mNodeName);
        if (!node || !nodes_[node].animatable) {
            summary_->Drop(node ? "animations of nodes with shear" : "animations of unknown nodes");
            continue;
        }
        aiVector3D restScale, restPosition;
        aiQuaternion restRotation;
        node->mTransformation.Decompose(restScale, restRotation, restPosition);
        const std::vector<double> times = KeyTimes(channel);
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
            Pose pose;
            if (!Decompose(ToEngine(frame_, LocalAt(node, channel, t)), &pose, &previous)) {
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
        ++summary_->keys;
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

}  // namespace kvorimport
