// The frame's constants and the first part of the frame: matrices,
// transformation and projection of everything drawn.
#include "effects/effects.h"
#include "render/render.h"
#include "render/stages.h"

#include <algorithm>
#include <cmath>

namespace kvor3d {

FrameConstants Frame;

namespace {

constexpr double PI = 3.14159265358979323846;
constexpr float FALLBACK_SCALE = 100.0f;

bool FogOn(const Scene* scene)
{
    return scene->flags & SCENE_FOGMODE;
}

// The fog levels are 16.16 weights (65536 = full) scaled to 0..255.
float FogLevel(uint32_t weight)
{
    return float(weight) * 255.0f / 65536.0f;
}

void TransformObject(const Scene* scene, ObjectEntity* object)
{
    if (object->objectFlags & (OBJECT_ENVIRONMENT | OBJECT_SHADED))
        TransformVerticesEnv(object);
    else
        TransformVertices(object);
    if ((scene->flags & SCENE_SHADOWS) && (object->objectFlags & OBJECT_SHADOWCASTER))
        TransformFaceNormals(object);
    object->objectFlags &= ~OBJECT_GLOWBUILT;
}

}  // namespace

float FocalLength(int32_t width, float fieldOfView)
{
    return float(width / std::tan(PI * fieldOfView / 180 / 2) / 2.0);
}

// The ambient level is limited to 0..255 so that its grey keeps each channel
// in its own byte. Fog depths are signed integers.
void SetFrameConstants(Scene* scene, Entity* camera, const XView* view)
{
    const CameraEntity* eye = CameraOf(camera);
    if (!scene || !eye || !view)
        return;
    FrameConstants& f = Frame;
    f.width = view->width;
    f.height = view->height;
    f.centreX = view->width >> 1;
    f.centreY = view->height >> 1;
    f.fieldOfView = eye->fieldOfView;
    f.target = (view->flags & XVIEW_DOUBLEBUFFER) ? view->bufferB : view->current;

    f.ambientLevel8 = std::clamp(TruncToInt(255.0 * scene->ambientLevel), 0, 255);
    f.ambientGrey = uint32_t(f.ambientLevel8) * 0x010101;
    scene->ambientGrey = f.ambientGrey;
    f.ambientR = int32_t((f.ambientGrey >> 16) & 0xFF);
    f.ambientG = int32_t((f.ambientGrey >> 8) & 0xFF);
    f.ambientB = int32_t(f.ambientGrey & 0xFF);
    f.vertexColourScale = scene->ambientValue2;

    f.focal = FocalLength(f.width, f.fieldOfView);

    f.fogColour = scene->fog[0];
    f.fogStart = float(int32_t(scene->fog[1]));
    f.fogStartLevel = FogLevel(scene->fog[2]);
    f.fogEnd = float(int32_t(scene->fog[3]));
    f.fogEndLevel = FogLevel(scene->fog[4]);

    const bool fog = FogOn(scene);
    f.nearZ = fog && (scene->flags & SCENE_FOGNEAR) ? f.fogStart : scene->nearClip;
    f.farZ = fog && (scene->flags & SCENE_FOGFAR) ? f.fogEnd : scene->farClip;
    f.nearScale = f.nearZ > 0 ? f.focal / f.nearZ : FALLBACK_SCALE;
    f.farScale = f.farZ > 0 ? f.focal / f.farZ : FALLBACK_SCALE;
}

// Entities without ENTITY_DRAWN are neither transformed nor projected, but
// every entity's matrix is brought into camera space. Ends with the sorted
// draw list.
void PrepareScene(Scene* scene, Entity* camera, XView* view)
{
    if (!scene || !view)
        return;
    if (!camera)
        camera = scene->camera;
    if (!CameraOf(camera))
        return;
    uint64_t mark = ProfileStart();
    SetFrameConstants(scene, camera, view);
    BuildViewMatrix(scene, camera);
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (!(entity->entityFlags & ENTITY_DRAWN))
            continue;
        if (LightEntity* light = LightOf(entity)) {
            ProjectLight(light);
        } else if (ObjectEntity* object = ObjectOf(entity)) {
            TransformObject(scene, object);
        } else if (VolumeEntity* volume = VolumeOf(entity)) {
            SelectVolumeStack(volume);
            TransformVertices(volume);
        }
    }
    BuildDrawList(scene);
    ProfileLap(&Profile.transform, &mark);
    SortDrawList(scene);
    ProfileLap(&Profile.sort, &mark);
}

}  // namespace kvor3d
