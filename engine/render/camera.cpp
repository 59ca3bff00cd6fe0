// The camera's view matrix, the object-to-camera matrices, and the
// projection of lights with their clip codes.
#include "render/render.h"

#include <cmath>

namespace kvor3d {

namespace {

constexpr double PI = 3.14159265358979323846;

// Rows 0-2 of the matrix scaled to unit length. A row of squared length 1.0
// is copied bit for bit; a zero row stays zero instead of becoming 0 / 0.
void FormUnitRows(Entity* entity)
{
    for (int row = 0; row < 3; ++row) {
        const float* m = entity->matrix + row * 4;
        float* unit = entity->unitRows[row];
        const float q = m[0] * m[0] + m[1] * m[1] + m[2] * m[2];
        if (q == 1.0f || q == 0.0f) {
            for (int i = 0; i < 3; ++i)
                unit[i] = m[i];
        } else {
            const double length = std::sqrt(double(q));
            for (int i = 0; i < 3; ++i)
                unit[i] = float(m[i] / length);
        }
    }
}

void ToCamera(Entity* entity, const float* view)
{
    MatrixMultiply(entity->matrix, view);
    FormUnitRows(entity);
}

}  // namespace

// Ry keeps the sign of r0; Rx and Rz turn by −r1 and −r2. The camera's pivot
// and size are not used.
void CameraMatrix(const Entity* camera, float* m)
{
    float step[16];
    MatrixTranslate(m, -camera->position[0], -camera->position[1], -camera->position[2]);
    MatrixRotateY(step, PI * camera->rotation[0] / 180);
    MatrixMultiply(m, step);
    MatrixRotateX(step, -PI * camera->rotation[1] / 180);
    MatrixMultiply(m, step);
    MatrixRotateZ(step, -PI * camera->rotation[2] / 180);
    MatrixMultiply(m, step);
}

// The camera's done bit is cleared too: an entity may name the camera as its
// parent, and then takes the camera's world matrix of this frame.
void BuildViewMatrix(Scene* scene, Entity* camera)
{
    if (!scene || !camera)
        return;
    for (Entity* entity = scene->entities; entity; entity = entity->next)
        entity->entityFlags &= ~ENTITY_MATRIXDONE;
    camera->entityFlags &= ~ENTITY_MATRIXDONE;
    ComputeEntityMatrices(scene->entities);

    CameraMatrix(camera, camera->matrix);
    camera->entityFlags |= ENTITY_MATRIXDONE;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        if (entity != camera)
            ToCamera(entity, camera->matrix);
    }
}

// Unlike a vertex, a light on the near plane or on the right or bottom edge
// (x = width, y = height) is outside.
uint32_t ProjectLight(LightEntity* light)
{
    if (!light)
        return 0;
    const float z = light->matrix[14];
    uint32_t code = 0;
    if (z <= Frame.nearZ) {
        code = LIGHT_CLIPNEAR;
    } else if (z >= Frame.farZ) {
        code = LIGHT_CLIPFAR;
    } else {
        const float s = Frame.focal / z;
        const float screenX = light->matrix[12] * s + float(Frame.centreX);
        const float screenY = light->matrix[13] * s + float(Frame.centreY);
        if (!(screenX >= 0))
            code |= LIGHT_CLIPLEFT;
        else if (screenX >= float(Frame.width))
            code |= LIGHT_CLIPRIGHT;
        if (!(screenY >= 0))
            code |= LIGHT_CLIPTOP;
        else if (screenY >= float(Frame.height))
            code |= LIGHT_CLIPBOTTOM;
        light->screenX = screenX;
        light->screenY = screenY;
        light->depth = z;
    }
    light->lightFlags = (light->lightFlags & ~LIGHT_CLIPCODES) | code;
    return light->lightFlags;
}

}  // namespace kvor3d
