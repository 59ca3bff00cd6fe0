// Matrix operations and the world matrices of the entity hierarchy.
#include "render/render.h"

#include <cmath>
#include <cstring>

namespace kvor3d {

namespace {

constexpr double PI = 3.14159265358979323846;

void Rows(float* m, float a0, float a1, float a2, float b0, float b1, float b2, float c0, float c1, float c2)
{
    const float rows[16] = {a0, a1, a2, 0, b0, b1, b2, 0, c0, c1, c2, 0, 0, 0, 0, 1};
    std::memcpy(m, rows, sizeof rows);
}

// The entity's own matrix: T(−pivot) × S(size) × Rz(−r2) × Rx(−r1) × Ry(r0)
// × T(position), angles in degrees.
void LocalMatrix(const Entity* entity, float* m)
{
    float step[16];
    MatrixTranslate(m, -entity->pivot[0], -entity->pivot[1], -entity->pivot[2]);
    MatrixScale(step, entity->size[0], entity->size[1], entity->size[2]);
    MatrixMultiply(m, step);
    MatrixRotateZ(step, -PI * entity->rotation[2] / 180);
    MatrixMultiply(m, step);
    MatrixRotateX(step, -PI * entity->rotation[1] / 180);
    MatrixMultiply(m, step);
    MatrixRotateY(step, PI * entity->rotation[0] / 180);
    MatrixMultiply(m, step);
    MatrixTranslate(step, entity->position[0], entity->position[1], entity->position[2]);
    MatrixMultiply(m, step);
}

// Whether `entity` lies on the path that the climb of ComputeWorldMatrix has
// reversed, from `top` down.
bool OnReversedPath(const Entity* top, const Entity* entity)
{
    for (const Entity* step = top; step; step = step->parent) {
        if (step == entity)
            return true;
    }
    return false;
}

// World matrix of `entity` after those of its parents that are not done yet.
// The climb to the first done (or missing) parent reverses the parent links
// so that the way back down needs neither recursion nor memory, whatever the
// depth; the links are restored on the way down. A parent chain that loops
// back onto itself is cut where the climb meets it again: the last entity
// climbed is computed as if it had no parent.
void ComputeWorldMatrix(Entity* entity)
{
    Entity* child = nullptr;
    Entity* step = entity;
    Entity* above;
    for (;;) {
        step->entityFlags |= ENTITY_MATRIXDONE;
        above = step->parent;
        step->parent = child;
        if (!above || (above->entityFlags & ENTITY_MATRIXDONE))
            break;
        child = step;
        step = above;
    }
    Entity* parent = above;
    Entity* factor = above && OnReversedPath(step, above) ? nullptr : above;
    while (step) {
        Entity* below = step->parent;
        step->parent = parent;
        LocalMatrix(step, step->matrix);
        if (factor)
            MatrixMultiply(step->matrix, factor->matrix);
        parent = factor = step;
        step = below;
    }
}

}  // namespace

// Each element is a float sum of four float products, in column order.
void MatrixMultiply(float* a, const float* b)
{
    float product[16];
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            product[row * 4 + column] = a[row * 4] * b[column] + a[row * 4 + 1] * b[4 + column] +
                                        a[row * 4 + 2] * b[8 + column] + a[row * 4 + 3] * b[12 + column];
        }
    }
    std::memcpy(a, product, sizeof product);
}

void MatrixRotateY(float* m, double t)
{
    const float c = float(std::cos(t));
    const float s = float(std::sin(t));
    Rows(m, c, 0, -s, 0, 1, 0, s, 0, c);
}

void MatrixRotateX(float* m, double t)
{
    const float c = float(std::cos(t));
    const float s = float(std::sin(t));
    Rows(m, 1, 0, 0, 0, c, s, 0, -s, c);
}

void MatrixRotateZ(float* m, double t)
{
    const float c = float(std::cos(t));
    const float s = float(std::sin(t));
    Rows(m, c, s, 0, -s, c, 0, 0, 0, 1);
}

void MatrixTranslate(float* m, float x, float y, float z)
{
    Rows(m, 1, 0, 0, 0, 1, 0, 0, 0, 1);
    m[12] = x;
    m[13] = y;
    m[14] = z;
}

void MatrixScale(float* m, float x, float y, float z)
{
    Rows(m, x, 0, 0, 0, y, 0, 0, 0, z);
}

void ComputeEntityMatrices(Entity* first)
{
    for (Entity* entity = first; entity; entity = entity->next) {
        if (!(entity->entityFlags & ENTITY_MATRIXDONE))
            ComputeWorldMatrix(entity);
    }
}

}  // namespace kvor3d
