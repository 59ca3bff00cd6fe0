#include "render/pipeline.h"
#include "support/scene_builder.h"

#include <array>
#include <cmath>
#include <map>
#include <random>
#include <vector>

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

void Transform(const float* m, const float* p, float* out)
{
    for (int c = 0; c < 3; ++c)
        out[c] = p[0] * m[c] + p[1] * m[4 + c] + p[2] * m[8 + c] + m[12 + c];
}

// ---- Matrix operations ----------------------------------------------------------

TEST(MatrixOperations, RotationsHaveTheStatedRows)
{
    const float c = float(std::cos(0.5));
    const float s = float(std::sin(0.5));
    float m[16];
    MatrixRotateY(m, 0.5);
    EXPECT_EQ(std::vector<float>(m, m + 16),
              (std::vector<float>{c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1}));
    MatrixRotateX(m, 0.5);
    EXPECT_EQ(std::vector<float>(m, m + 16),
              (std::vector<float>{1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1}));
    MatrixRotateZ(m, 0.5);
    EXPECT_EQ(std::vector<float>(m, m + 16),
              (std::vector<float>{c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    MatrixTranslate(m, 1, 2, 3);
    EXPECT_EQ(std::vector<float>(m, m + 16),
              (std::vector<float>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 1, 2, 3, 1}));
    MatrixScale(m, 4, 5, 6);
    EXPECT_EQ(std::vector<float>(m, m + 16),
              (std::vector<float>{4, 0, 0, 0, 0, 5, 0, 0, 0, 0, 6, 0, 0, 0, 0, 1}));
}

TEST(MatrixOperations, MultiplyAppliesTheLeftMatrixFirstToRowVectors)
{
    float a[16];
    float b[16];
    MatrixTranslate(a, 1, 2, 3);
    MatrixScale(b, 2, 3, 4);
    MatrixMultiply(a, b);  // translate, then scale
    const float origin[3] = {0, 0, 0};
    float out[3];
    Transform(a, origin, out);
    EXPECT_EQ(out[0], 2.0f);
    EXPECT_EQ(out[1], 6.0f);
    EXPECT_EQ(out[2], 12.0f);
    EXPECT_EQ(b[0], 2.0f);  // b unchanged
    EXPECT_EQ(b[12], 0.0f);

    MatrixMultiply(b, b);  // in place
    EXPECT_EQ(b[0], 4.0f);
    EXPECT_EQ(b[5], 9.0f);
    EXPECT_EQ(b[10], 16.0f);
}

// ---- Entity matrices --------------------------------------------------------------

using EntityMatrices = Pipeline;

TEST_F(EntityMatrices, EntityTurnsAboutZThenXThenY)
{
    Entity* entity = build::AddNull(scene, "e");
    entity->size[0] = entity->size[1] = entity->size[2] = 1.0f;
    entity->rotation[1] = 90.0f;
    entity->rotation[2] = 90.0f;
    ComputeEntityMatrices(scene->entities);
    const float x[3] = {1, 0, 0};
    float out[3];
    Transform(entity->matrix, x, out);
    EXPECT_NEAR(out[0], 0.0f, 1e-6);
    EXPECT_NEAR(out[1], 0.0f, 1e-6);
    EXPECT_NEAR(out[2], 1.0f, 1e-6);
}

TEST_F(EntityMatrices, PivotComesOffBeforeScaleAndPositionIsAddedLast)
{
    Entity* entity = build::AddNull(scene, "e");
    entity->pivot[0] = 1.0f;
    entity->size[0] = entity->size[1] = entity->size[2] = 2.0f;
    entity->rotation[0] = 90.0f;
    entity->position[0] = 10.0f;
    ComputeEntityMatrices(scene->entities);
    const float p[3] = {2, 0, 0};
    float out[3];
    Transform(entity->matrix, p, out);
    EXPECT_NEAR(out[0], 10.0f, 1e-5);
    EXPECT_NEAR(out[1], 0.0f, 1e-5);
    EXPECT_NEAR(out[2], -2.0f, 1e-5);
    EXPECT_TRUE(entity->entityFlags & ENTITY_MATRIXDONE);
}

TEST_F(EntityMatrices, CameraTurnsAboutYThenXThenZAfterItsTranslation)
{
    camera->position[1] = 5.0f;
    camera->rotation[1] = 90.0f;
    camera->rotation[2] = 90.0f;
    camera->pivot[1] = 100.0f;  // not used
    camera->size[0] = 7.0f;     // not used
    float m[16];
    CameraMatrix(camera, m);
    const float p[3] = {0, 6, 0};
    float out[3];
    Transform(m, p, out);
    EXPECT_NEAR(out[0], 0.0f, 1e-6);
    EXPECT_NEAR(out[1], 0.0f, 1e-6);
    EXPECT_NEAR(out[2], -1.0f, 1e-6);
}

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

TEST_F(EntityMatrices, EntityAlreadyDoneIsNotComputedAgain)
{
    Entity* child = build::AddNull(scene, "child");
    Entity* parent = build::AddNull(scene, "parent");
    child->parent = parent;
    child->position[0] = 1.0f;
    parent->position[0] = 100.0f;
    MatrixScale(parent->matrix, 3, 3, 3);
    parent->entityFlags |= ENTITY_MATRIXDONE;

    ComputeEntityMatrices(scene->entities);
    EXPECT_EQ(parent->matrix[12], 0.0f);  // kept as it was
    EXPECT_EQ(parent->matrix[0], 3.0f);
    EXPECT_EQ(child->matrix[12], 3.0f);   // its own position, through the kept matrix
    EXPECT_EQ(child->parent, parent);
}

TEST_F(EntityMatrices, ParentLaterInTheChainIsComputedFirst)
{
    Entity* child = build::AddNull(scene, "child");
    Entity* middle = build::AddNull(scene, "middle");
    Entity* top = build::AddNull(scene, "top");
    child->parent = middle;
    middle->parent = top;
    for (Entity* entity : {child, middle, top})
        entity->size[0] = entity->size[1] = entity->size[2] = 1.0f;
    child->position[0] = 1.0f;
    middle->position[0] = 10.0f;
    top->size[0] = 2.0f;
    top->position[0] = 100.0f;

    ComputeEntityMatrices(scene->entities);
    EXPECT_EQ(top->matrix[12], 100.0f);
    EXPECT_EQ(middle->matrix[12], 120.0f);
    EXPECT_EQ(child->matrix[12], 122.0f);
    EXPECT_EQ(child->parent, middle);  // links as they were
    EXPECT_EQ(middle->parent, top);
    EXPECT_EQ(top->parent, nullptr);
}

// The chain is linked by hand and freed here: the scene's own removal
// clears parent links chain-wide for each entity.
TEST_F(EntityMatrices, DeepParentChainsNeedNoRecursion)
{
    constexpr int DEPTH = 200000;
    Entity* head = nullptr;
    for (int i = 0; i < DEPTH; ++i) {
        Entity* entity = AllocEntity(ENTITY_NULL);
        ASSERT_NE(entity, nullptr);
        entity->size[0] = entity->size[1] = entity->size[2] = 1.0f;
        entity->position[0] = 1.0f;
        entity->next = head;
        entity->parent = head;  // each parent is the next in the chain
        head = entity;
    }
    ComputeEntityMatrices(head);
    EXPECT_EQ(head->matrix[12], float(DEPTH));
    EXPECT_EQ(head->next->matrix[12], float(DEPTH - 1));
    while (head) {
        Entity* next = head->next;
        EXPECT_EQ(head->parent, next);
        FreeEntity(nullptr, head);
        head = next;
    }
}

TEST_F(EntityMatrices, ParentLoopsEndWithFiniteMatricesAndTheirLinksKept)
{
    Entity* a = build::AddNull(scene, "a");
    Entity* b = build::AddNull(scene, "b");
    Entity* self = build::AddNull(scene, "self");
    a->parent = b;
    b->parent = a;
    self->parent = self;
    for (Entity* entity : {a, b, self}) {
        entity->size[0] = entity->size[1] = entity->size[2] = 2.0f;
        entity->position[1] = 1.0f;
    }
    for (int frame = 0; frame < 3; ++frame)
        BuildViewMatrix(scene, camera);
    EXPECT_EQ(a->parent, b);
    EXPECT_EQ(b->parent, a);
    EXPECT_EQ(self->parent, self);
    for (Entity* entity : {a, b, self}) {
        for (float value : entity->matrix)
            EXPECT_TRUE(std::isfinite(value));
    }
    // The loop is cut above the entity the climb started from.
    EXPECT_EQ(b->matrix[13], 1.0f);
    EXPECT_EQ(a->matrix[13], 3.0f);
    EXPECT_EQ(self->matrix[13], 1.0f);
}

TEST_F(EntityMatrices, UnitRowsAreTheRowsAtLengthOne)
{
    Entity* plain = build::AddNull(scene, "plain");
    Entity* stretched = build::AddNull(scene, "stretched");
    Entity* flat = build::AddNull(scene, "flat");
    plain->size[0] = plain->size[1] = plain->size[2] = 1.0f;
    stretched->size[0] = 3.0f;
    stretched->size[1] = 0.5f;
    stretched->size[2] = 4.0f;
    flat->size[0] = flat->size[1] = 1.0f;  // z row zero
    BuildViewMatrix(scene, camera);

    EXPECT_EQ(plain->unitRows[0][0], 1.0f);
    EXPECT_EQ(plain->unitRows[1][1], 1.0f);
    EXPECT_EQ(stretched->unitRows[0][0], 1.0f);
    EXPECT_EQ(stretched->unitRows[1][1], 1.0f);
    EXPECT_EQ(stretched->unitRows[2][2], 1.0f);
    EXPECT_EQ(flat->unitRows[2][0], 0.0f);  // zero, not 0 / 0
    EXPECT_EQ(flat->unitRows[2][1], 0.0f);
    EXPECT_EQ(flat->unitRows[2][2], 0.0f);
}

TEST_F(EntityMatrices, CameraAsParentLendsItsWorldMatrix)
{
    Entity* child = build::AddNull(scene, "child");
    child->parent = camera;
    child->size[0] = child->size[1] = child->size[2] = 1.0f;
    camera->size[0] = camera->size[1] = camera->size[2] = 1.0f;
    camera->position[2] = 5.0f;
    BuildViewMatrix(scene, camera);
    EXPECT_EQ(child->matrix[14], 0.0f);  // at the camera: the origin of camera space
    EXPECT_EQ(camera->matrix[14], -5.0f);
}

}  // namespace
