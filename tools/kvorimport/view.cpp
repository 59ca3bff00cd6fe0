// The camera, from the model or framing it, and the lights.
#include "builder.h"

namespace kvorimport {

// The camera's position, view direction and up are in its node's space;
// `global` is the node's engine-space transform. Some importers (glTF) also
// copy the node's own translation into the position; a position equal to
// that translation is taken as such a copy.
void Builder::CameraPose(const aiCamera* camera, const aiNode* node, const aiMatrix4x4& global, Pose* pose) const
{
    aiMatrix4x4 turn = global;
    turn.a4 = turn.b4 = turn.c4 = 0;
    aiVector3D position = camera->mPosition;
    if (node && (position - aiVector3D(node->mTransformation.a4, node->mTransformation.b4, node->mTransformation.c4))
                        .SquareLength() < 1e-12f)
        position = aiVector3D();
    const aiVector3D eye = global * PointToEngine(frame_, position);
    std::copy(&eye.x, &eye.x + 3, pose->position);
    CameraAngles(turn * DirectionToEngine(frame_, camera->mLookAt), turn * DirectionToEngine(frame_, -camera->mUp),
                 pose->rotation);
}

// The file's first camera, with keys where its node or one above it moves.
// The field of view that the importers of the formats tried (glTF, Collada)
// hand over is the whole angle across.
void Builder::AddCamera()
{
    const aiCamera* camera = model_->mCameras[0];
    const aiNode* node = FindNode(camera->mName);
    CameraEntity* entity = CameraOf(scene_->camera);
    entity->fieldOfView = std::clamp(Degrees(camera->mHorizontalFOV), 10.0f, 160.0f);
    ++summary_->cameras;
    std::vector<double> times;
    for (const aiNode* up = node; up; up = up->mParent)
        if (const aiNodeAnim* channel = ChannelOf(up)) {
            const std::vector<double> more = KeyTimes(channel);
            times.insert(times.end(), more.begin(), more.end());
        }
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());
    Pose pose = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};  // the camera's size is not used
    if (times.empty()) {
        CameraPose(camera, node, node ? nodes_[node].global : aiMatrix4x4(), &pose);
        SetPose(entity, pose);
    }
    const double perSecond = times.empty() || model_->mAnimations[0]->mTicksPerSecond <= 0
                                 ? 25.0 : model_->mAnimations[0]->mTicksPerSecond;
    uint32_t lastTime = 0;
    for (size_t k = 0; k < times.size() && k < MAX_KEYS; ++k) {
        const uint32_t time = Ticks(times[k] / perSecond);
        if (k > 0 && time <= lastTime)
            continue;
        lastTime = time;
        aiMatrix4x4 global;
        for (const aiNode* up = node; up; up = up->mParent)
            global = LocalAt(up, ChannelOf(up), times[k]) * global;
        const Pose previous = pose;
        CameraPose(camera, node, ToEngine(frame_, global), &pose);
        for (int i = 0; k > 0 && i < 3; ++i)
            pose.rotation[i] += 360.0f * std::round((previous.rotation[i] - pose.rotation[i]) / 360.0f);
        const TagItem tags[] = {{TAG_KEY_ENTITY, TagPtr(entity)}, {TAG_KEY_TIME, time}, {TAG_DONE, 0}};
        EntityKey* key = Check(CreateEntityKey(tags));
        std::copy(pose.position, pose.position + 3, key->position);
        std::copy(pose.rotation, pose.rotation + 3, key->rotation);
        key->keyFlags = KEY_INTERPOLATE;
        if (k == 0)
            SetPose(entity, pose);
        ++summary_->keys;
    }
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
        const aiNode* node = FindNode(source->mName);
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

}  // namespace kvorimport
