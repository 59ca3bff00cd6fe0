#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <array>
#include <cmath>
#include <random>
#include <vector>

using namespace kvor3d;

namespace {

using pipeline::Pipeline;

constexpr double PI = 3.14159265358979323846;

// ---- A double-precision statement of the hierarchy ---------------------------

using Matrix = std::array<double, 16>;

Matrix Rows(double a0, double a1, double a2, double b0, double b1, double b2, double c0, double c1, double c2)
{
    return {a0, a1, a2, 0, b0, b1, b2, 0, c0, c1, c2, 0, 0, 0, 0, 1};
}

Matrix Product(const Matrix& a, const Matrix& b)
{
    Matrix m{};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            for (int k = 0; k < 4; ++k)
                m[r * 4 + c] += a[r * 4 + k] * b[k * 4 + c];
    return m;
}

Matrix Translation(double x, double y, double z)
{
    Matrix m = Rows(1, 0, 0, 0, 1, 0, 0, 0, 1);
    m[12] = x;
    m[13] = y;
    m[14] = z;
    return m;
}

Matrix RotationY(double t) { return Rows(cos(t), 0, -sin(t), 0, 1, 0, sin(t), 0, cos(t)); }
Matrix RotationX(double t) { return Rows(1, 0, 0, 0, cos(t), sin(t), 0, -sin(t), cos(t)); }
Matrix RotationZ(double t) { return Rows(cos(t), sin(t), 0, -sin(t), cos(t), 0, 0, 0, 1); }

double Radians(float degrees) { return PI * degrees / 180; }

Matrix Local(const Entity* e)
{
    Matrix m = Translation(-e->pivot[0], -e->pivot[1], -e->pivot[2]);
    m = Product(m, Rows(e->size[0], 0, 0, 0, e->size[1], 0, 0, 0, e->size[2]));
    m = Product(m, RotationZ(-Radians(e->rotation[2])));
    m = Product(m, RotationX(-Radians(e->rotation[1])));
    m = Product(m, RotationY(Radians(e->rotation[0])));
    return Product(m, Translation(e->position[0], e->position[1], e->position[2]));
}

Matrix World(const Entity* e)
{
    return e->parent ? Product(Local(e), World(e->parent)) : Local(e);
}

Matrix View(const Entity* camera)
{
    Matrix m = Translation(-camera->position[0], -camera->position[1], -camera->position[2]);
    m = Product(m, RotationY(Radians(camera->rotation[0])));
    m = Product(m, RotationX(-Radians(camera->rotation[1])));
    return Product(m, RotationZ(-Radians(camera->rotation[2])));
}

void ExpectClose(const float* actual, const Matrix& expected)
{
    double largest = 1;
    for (double value : expected)
        largest = std::max(largest, std::fabs(value));
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(actual[i], expected[i], 2e-5 * largest) << "element " << i;
}

using EntityMatrices = Pipeline;

// Entities in a random chain order, each with a random parent earlier in a
// random ranking (so parents are often later in the chain), against the
// same rule in double precision.
TEST_F(EntityMatrices, RandomHierarchyMatchesADoublePrecisionComputation)
{
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> offset(-100, 100);
    std::uniform_real_distribution<float> angle(-180, 180);
    std::uniform_real_distribution<float> scale(0.5f, 2.0f);
    constexpr int COUNT = 40;
    std::vector<Entity*> entities;
    for (int i = 0; i < COUNT; ++i) {
        Entity* entity = build::AddEntityOfKind(scene, i % 2 ? ENTITY_OBJECT : ENTITY_NULL, "e");
        for (int axis = 0; axis < 3; ++axis) {
            entity->pivot[axis] = offset(random) / 10;
            entity->position[axis] = offset(random);
            entity->rotation[axis] = angle(random);
            entity->size[axis] = scale(random);
        }
        entities.push_back(entity);
    }
    std::vector<int> rank(COUNT);
    for (int i = 0; i < COUNT; ++i)
        rank[i] = i;
    std::shuffle(rank.begin(), rank.end(), random);
    int laterParents = 0;
    for (int i = 0; i < COUNT; ++i) {
        if (rank[i] == 0 || random() % 5 == 0)
            continue;
        int parent;
        do {
            parent = int(random() % COUNT);
        } while (rank[parent] >= rank[i]);
        entities[i]->parent = entities[parent];
        laterParents += parent > i;
    }
    ASSERT_GT(laterParents, 5);
    for (int axis = 0; axis < 3; ++axis) {
        camera->position[axis] = offset(random);
        camera->rotation[axis] = angle(random);
    }

    ComputeEntityMatrices(scene->entities);
    for (Entity* entity : entities) {
        EXPECT_TRUE(entity->entityFlags & ENTITY_MATRIXDONE);
        ExpectClose(entity->matrix, World(entity));
    }

    BuildViewMatrix(scene, camera);
    ExpectClose(camera->matrix, View(camera));
    for (Entity* entity : entities) {
        const Matrix toCamera = Product(World(entity), View(camera));
        ExpectClose(entity->matrix, toCamera);
        for (int row = 0; row < 3; ++row) {
            const double* r = &toCamera[row * 4];
            const double length = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2]);
            for (int i = 0; i < 3; ++i)
                EXPECT_NEAR(entity->unitRows[row][i], r[i] / length, 1e-5);
        }
    }
}

}  // namespace
