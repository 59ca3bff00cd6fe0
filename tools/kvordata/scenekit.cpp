// Mesh builders and the scene records made from them, written with the
// engine's own key and light-effect operations and SaveScene.
#include "scenekit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

using namespace kvor3d;

namespace kvordata {

constexpr float DEGREES = float(180.0 / M_PI);
constexpr float TEXELS = 256.0f;  // one repeat of a 256-texel map

float Dot(Vec3 a, Vec3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Vec3 Cross(Vec3 a, Vec3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Length(Vec3 a)
{
    return std::sqrt(Dot(a, a));
}

Vec3 Normalise(Vec3 a)
{
    const float l = Length(a);
    return l > 0 ? a * (1.0f / l) : a;
}

Vec3 Orbit(float radius, float degrees, float y)
{
    const float a = degrees / DEGREES;
    return {radius * std::sin(a), y, radius * std::cos(a)};
}

// ---- Meshes ---------------------------------------------------------------------------------

void AddTriangle(Mesh& mesh, int a, int b, int c, const float uv[3][2], Vec3 outward)
{
    const Vec3 n = Cross(mesh.points[size_t(b)] - mesh.points[size_t(a)], mesh.points[size_t(c)] - mesh.points[size_t(a)]);
    Tri tri{{a, b, c}, {{uv[0][0], uv[0][1]}, {uv[1][0], uv[1][1]}, {uv[2][0], uv[2][1]}}};
    if (Dot(n, outward) < 0) {
        std::swap(tri.v[1], tri.v[2]);
        std::swap(tri.uv[1][0], tri.uv[2][0]);
        std::swap(tri.uv[1][1], tri.uv[2][1]);
    }
    mesh.tris.push_back(tri);
}

void AddQuad(Mesh& mesh, int a, int b, int c, int d, const float uv[4][2], Vec3 outward)
{
    const float first[3][2] = {{uv[0][0], uv[0][1]}, {uv[1][0], uv[1][1]}, {uv[2][0], uv[2][1]}};
    const float second[3][2] = {{uv[0][0], uv[0][1]}, {uv[2][0], uv[2][1]}, {uv[3][0], uv[3][1]}};
    AddTriangle(mesh, a, b, c, first, outward);
    AddTriangle(mesh, a, c, d, second, outward);
}

namespace {

// A grid of (rows + 1) × (columns + 1) points from point(i, j), joined into
// quads, with u = i / rows × uSpan and v = j / columns × vSpan; the
// outward hint of a quad comes from its first corner. Degenerate triangles
// (at poles) are dropped.
void Patch(Mesh& mesh, int rows, int columns, float uSpan, float vSpan, const std::function<Vec3(int, int)>& point,
           const std::function<Vec3(int, int)>& outward)
{
    const int base = int(mesh.points.size());
    for (int i = 0; i <= rows; ++i)
        for (int j = 0; j <= columns; ++j)
            mesh.points.push_back(point(i, j));
    const auto index = [&](int i, int j) { return base + i * (columns + 1) + j; };
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            const float u0 = uSpan * float(i) / float(rows);
            const float u1 = uSpan * float(i + 1) / float(rows);
            const float v0 = vSpan * float(j) / float(columns);
            const float v1 = vSpan * float(j + 1) / float(columns);
            const int a = index(i, j), b = index(i + 1, j), c = index(i + 1, j + 1), d = index(i, j + 1);
            const Vec3 hint = outward(i, j) + outward(i + 1, j + 1);
            const float uvA[3][2] = {{u0, v0}, {u1, v0}, {u1, v1}};
            const float uvB[3][2] = {{u0, v0}, {u1, v1}, {u0, v1}};
            if (Length(Cross(mesh.points[size_t(b)] - mesh.points[size_t(a)],
                             mesh.points[size_t(c)] - mesh.points[size_t(a)])) > 1e-6f)
                AddTriangle(mesh, a, b, c, uvA, hint);
            if (Length(Cross(mesh.points[size_t(c)] - mesh.points[size_t(a)],
                             mesh.points[size_t(d)] - mesh.points[size_t(a)])) > 1e-6f)
                AddTriangle(mesh, a, c, d, uvB, hint);
        }
}

}  // namespace

// Points of one ring are shared around the seam only through the last
// column, which repeats the first so that v runs on to vRepeat × 256.
Mesh Sphere(float radius, int rings, int segments, float uRepeat, float vRepeat)
{
    Mesh mesh;
    const auto direction = [&](int i, int j) {
        const float theta = float(M_PI) * float(i) / float(rings);
        const float phi = 2 * float(M_PI) * float(j) / float(segments);
        return Vec3{std::sin(theta) * std::sin(phi), -std::cos(theta), std::sin(theta) * std::cos(phi)};
    };
    Patch(mesh, rings, segments, uRepeat * TEXELS, vRepeat * TEXELS,
          [&](int i, int j) { return direction(i, j) * radius; }, direction);
    return mesh;
}

Mesh Torus(float major, float minor, int around, int tube, float uRepeat, float vRepeat)
{
    Mesh mesh;
    const auto centre = [&](int j) { return Orbit(major, 360.0f * float(j) / float(around), 0); };
    const auto point = [&](int i, int j) {
        const float a = 2 * float(M_PI) * float(i) / float(tube);
        const Vec3 c = centre(j);
        const Vec3 radial = Normalise({c.x, 0, c.z});
        return c + radial * (minor * std::cos(a)) + Vec3{0, -minor * std::sin(a), 0};
    };
    Patch(mesh, tube, around, uRepeat * TEXELS, vRepeat * TEXELS, point,
          [&](int i, int j) { return point(i, j) - centre(j); });
    return mesh;
}

Mesh Box(Vec3 size, float texels)
{
    Mesh mesh;
    const Vec3 h = size * 0.5f;
    const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int axis = 0; axis < 3; ++axis)
        for (float sign : {-1.0f, 1.0f}) {
            const Vec3 n = axes[axis] * sign;
            const Vec3 s = axes[(axis + 1) % 3];
            const Vec3 t = axes[(axis + 2) % 3];
            const auto corner = [&](float a, float b) {
                const Vec3 p = n + s * a + t * b;
                return Vec3{p.x * h.x, p.y * h.y, p.z * h.z};
            };
            const int base = int(mesh.points.size());
            mesh.points.push_back(corner(-1, -1));
            mesh.points.push_back(corner(1, -1));
            mesh.points.push_back(corner(1, 1));
            mesh.points.push_back(corner(-1, 1));
            const float uv[4][2] = {{0, 0}, {texels, 0}, {texels, texels}, {0, texels}};
            AddQuad(mesh, base, base + 1, base + 2, base + 3, uv, n);
        }
    return mesh;
}

Mesh ClosedBox(Vec3 size, float texels)
{
    Mesh mesh;
    const Vec3 h = size * 0.5f;
    for (int i = 0; i < 8; ++i)
        mesh.points.push_back({i & 1 ? h.x : -h.x, i & 2 ? h.y : -h.y, i & 4 ? h.z : -h.z});
    const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const int bits[3] = {1, 2, 4};
    for (int axis = 0; axis < 3; ++axis)
        for (int side : {0, 1}) {
            const int n = side ? bits[axis] : 0;
            const int s = bits[(axis + 1) % 3];
            const int t = bits[(axis + 2) % 3];
            const float uv[4][2] = {{0, 0}, {texels, 0}, {texels, texels}, {0, texels}};
            AddQuad(mesh, n, n | s, n | s | t, n | t, uv, axes[axis] * (side ? 1.0f : -1.0f));
        }
    return mesh;
}

Mesh Lathe(const std::vector<std::pair<float, float>>& profile, int segments, float uRepeat, float vRepeat,
           bool capped)
{
    Mesh mesh;
    const int rows = int(profile.size()) - 1;
    const auto point = [&](int i, int j) {
        const Vec3 around = Orbit(profile[size_t(i)].first, 360.0f * float(j) / float(segments), 0);
        return Vec3{around.x, profile[size_t(i)].second, around.z};
    };
    const auto outward = [&](int i, int j) {
        const Vec3 around = Orbit(1.0f, 360.0f * float(j) / float(segments), 0);
        const int k = std::min(i, rows - 1);
        const float dr = profile[size_t(k + 1)].first - profile[size_t(k)].first;
        const float dy = profile[size_t(k + 1)].second - profile[size_t(k)].second;
        // The profile's normal in the (radius, y) plane, pointing away from the axis.
        const float nr = dy;
        const float ny = -dr;
        const float sign = dy >= 0 ? 1.0f : -1.0f;
        return Vec3{around.x * nr * sign, ny * sign, around.z * nr * sign};
    };
    Patch(mesh, rows, segments, uRepeat * TEXELS, vRepeat * TEXELS, point, outward);
    for (int end = 0; end < 2; ++end) {
        const auto& [radius, y] = profile[end == 0 ? 0 : profile.size() - 1];
        if (radius <= 0 || !capped)
            continue;
        const int centre = int(mesh.points.size());
        mesh.points.push_back({0, y, 0});
        const float dy = profile[end == 0 ? 1 : profile.size() - 2].second - y;
        const Vec3 outwardCap = {0, dy > 0 ? -1.0f : 1.0f, 0};
        for (int j = 0; j < segments; ++j) {
            const int ring = (end == 0 ? 0 : rows) * (segments + 1);
            const float uv[3][2] = {{0, 0}, {TEXELS * 0.5f, 0}, {TEXELS * 0.5f, TEXELS * 0.5f}};
            AddTriangle(mesh, centre, ring + j, ring + j + 1, uv, outwardCap);
        }
    }
    return mesh;
}

Mesh Tube(const std::vector<Vec3>& path, const std::vector<float>& radii, int sides, float uRepeat, float vRepeat)
{
    Mesh mesh;
    const int rows = int(path.size()) - 1;
    // Frames carried along the path: each normal is the previous one with
    // its part along the new tangent removed, so the tube does not twist.
    std::vector<Vec3> normals, binormals;
    const Vec3 first = Normalise(path[1] - path[0]);
    Vec3 reference = std::fabs(first.y) < 0.9f ? Vec3{0, -1, 0} : Vec3{1, 0, 0};
    for (int i = 0; i <= rows; ++i) {
        const Vec3 tangent = Normalise(path[size_t(std::min(i + 1, rows))] - path[size_t(std::max(i - 1, 0))]);
        const Vec3 n = Normalise(reference - tangent * Dot(tangent, reference));
        normals.push_back(n);
        binormals.push_back(Normalise(Cross(tangent, n)));
        reference = n;
    }
    const auto offset = [&](int i, int j) {
        const float a = 2 * float(M_PI) * float(j) / float(sides);
        return normals[size_t(i)] * std::cos(a) + binormals[size_t(i)] * std::sin(a);
    };
    Patch(mesh, rows, sides, uRepeat * TEXELS, vRepeat * TEXELS,
          [&](int i, int j) { return path[size_t(i)] + offset(i, j) * radii[size_t(i)]; }, offset);
    return mesh;
}

Mesh Panel(Vec3 origin, Vec3 a, Vec3 b, int rows, int columns, float uTexels, float vTexels, Vec3 outward)
{
    Mesh mesh;
    Patch(mesh, rows, columns, uTexels, vTexels,
          [&](int i, int j) { return origin + a * (float(i) / float(rows)) + b * (float(j) / float(columns)); },
          [&](int, int) { return outward; });
    return mesh;
}

Mesh Grid(float sizeX, float sizeZ, int cellsX, int cellsZ, float texels)
{
    Mesh mesh;
    Patch(mesh, cellsZ, cellsX, texels * float(cellsZ), texels * float(cellsX),
          [&](int i, int j) {
              return Vec3{sizeX * (float(j) / float(cellsX) - 0.5f), 0, sizeZ * (float(i) / float(cellsZ) - 0.5f)};
          },
          [](int, int) { return Vec3{0, -1, 0}; });
    return mesh;
}

Mesh Octahedron(float radius)
{
    Mesh mesh;
    mesh.points = {{radius, 0, 0}, {-radius, 0, 0}, {0, radius, 0}, {0, -radius, 0}, {0, 0, radius}, {0, 0, -radius}};
    const float uv[3][2] = {{0, 0}, {TEXELS, 0}, {0, TEXELS}};
    for (int x : {0, 1})
        for (int y : {2, 3})
            for (int z : {4, 5}) {
                const Vec3 centre = (mesh.points[size_t(x)] + mesh.points[size_t(y)] + mesh.points[size_t(z)]) * (1.0f / 3);
                AddTriangle(mesh, x, y, z, uv, centre);
            }
    return mesh;
}

Mesh Transformed(const Mesh& mesh, const std::function<Vec3(Vec3)>& move)
{
    Mesh out = mesh;
    for (Vec3& p : out.points)
        p = move(p);
    return out;
}

Mesh Inverted(const Mesh& mesh)
{
    Mesh out = mesh;
    for (Tri& tri : out.tris) {
        std::swap(tri.v[1], tri.v[2]);
        std::swap(tri.uv[1][0], tri.uv[2][0]);
        std::swap(tri.uv[1][1], tri.uv[2][1]);
    }
    return out;
}

void Append(Mesh& into, const Mesh& part)
{
    const int base = int(into.points.size());
    into.points.insert(into.points.end(), part.points.begin(), part.points.end());
    for (Tri tri : part.tris) {
        for (int& v : tri.v)
            v += base;
        into.tris.push_back(tri);
    }
}

// ---- Scenes -------------------------------------------------------------------------------

namespace {

[[noreturn]] void OutOfMemory()
{
    std::fprintf(stderr, "kvordata: out of memory\n");
    std::exit(1);
}

template <typename T>
T* Check(T* pointer)
{
    if (!pointer)
        OutOfMemory();
    return pointer;
}

void Name(Entity* entity, const char* name)
{
    entity->name = Check(CopyName(name));
}

// Vertices and faces of the mesh for an object record.
void FillGeometry(ObjectEntity* object, const Mesh& mesh)
{
    object->vertexCount = uint32_t(mesh.points.size());
    object->vertices = Check(static_cast<Vertex*>(MemAlloc(object->vertexCount, sizeof(Vertex))));
    for (size_t i = 0; i < mesh.points.size(); ++i) {
        object->vertices[i].position[0] = mesh.points[i].x;
        object->vertices[i].position[1] = mesh.points[i].y;
        object->vertices[i].position[2] = mesh.points[i].z;
    }
    object->faceCount = uint32_t(mesh.tris.size());
    object->faces = Check(static_cast<Face*>(MemAlloc(object->faceCount, sizeof(Face))));
    for (size_t f = 0; f < mesh.tris.size(); ++f) {
        Face& face = object->faces[f];
        for (int k = 0; k < 3; ++k) {
            face.vertices[k] = &object->vertices[mesh.tris[f].v[k]];
            face.uv[k][0] = mesh.tris[f].uv[k][0];
            face.uv[k][1] = mesh.tris[f].uv[k][1];
        }
        face.owner = object;
    }
}

uint32_t Fixed(float value)
{
    return uint32_t(std::lround(double(value) * 65536.0));
}

}  // namespace

uint32_t Ticks(double seconds)
{
    return uint32_t(std::llround(seconds * TICKS_PER_SECOND));
}

Scene* NewScene(float fieldOfView, float ambient)
{
    Scene* scene = Check(AllocScene());
    CameraEntity* camera = CameraOf(scene->camera);
    camera->fieldOfView = fieldOfView;
    camera->entityFlags = ENTITY_DRAWN;
    Name(camera, "camera");
    scene->ambientLevel = ambient;
    return scene;
}

Texture* UseTexture(Scene* scene, const std::string& file)
{
    const std::string name = DataName(file);
    if (Texture* existing = FindTexture(scene, name.c_str()))
        return existing;
    Texture* texture = Check(AllocRecord<Texture>());
    texture->name = Check(CopyName(name.c_str()));
    Texture** link = &scene->textures;
    while (*link)
        link = &(*link)->next;
    *link = texture;
    return texture;
}

ObjectEntity* AddObject(Scene* scene, const char* name, const Mesh& mesh, uint32_t flags, uint32_t colour)
{
    auto* object = static_cast<ObjectEntity*>(Check(AllocEntity(ENTITY_OBJECT)));
    Name(object, name);
    object->entityFlags = ENTITY_DRAWN;
    object->objectFlags = flags;
    object->colour = colour;
    FillGeometry(object, mesh);
    AddEntity(scene, object);
    return object;
}

MorphEntity* AddMorph(Scene* scene, const char* name, const Mesh& base, const std::vector<MorphShape>& shapes,
                      uint32_t flags, uint32_t colour)
{
    auto* morph = static_cast<MorphEntity*>(Check(AllocEntity(ENTITY_MORPH)));
    Name(morph, name);
    morph->entityFlags = ENTITY_DRAWN;
    morph->objectFlags = flags;
    morph->colour = colour;
    FillGeometry(morph, base);
    MorphTarget** link = &morph->targets;
    for (const MorphShape& shape : shapes) {
        auto* target = Check(AllocRecord<MorphTarget>());
        target->name = Check(CopyName(shape.name.c_str()));
        target->targetVertices =
            Check(static_cast<TargetVertex*>(MemAlloc(uint32_t(shape.points.size()), sizeof(TargetVertex))));
        for (size_t i = 0; i < shape.points.size(); ++i) {
            target->targetVertices[i].position[0] = shape.points[i].x;
            target->targetVertices[i].position[1] = shape.points[i].y;
            target->targetVertices[i].position[2] = shape.points[i].z;
        }
        *link = target;
        link = &target->next;
        ++morph->targetCount;
    }
    AddEntity(scene, morph);
    return morph;
}

void AddMorphKey(MorphEntity* morph, double t, const std::string& shape, uint32_t flags)
{
    MorphTarget* target = morph->targets;
    while (target && shape != target->name)
        target = target->next;
    if (!target) {
        std::fprintf(stderr, "kvordata: no morph shape %s\n", shape.c_str());
        std::exit(1);
    }
    const TagItem tags[] = {{TAG_KEY_MORPH, TagPtr(morph)},
                            {TAG_KEY_TIME, Ticks(t)},
                            {TAG_KEY_TARGET, TagPtr(target)},
                            {TAG_DONE, 0}};
    MorphKey* key = Check(CreateMorphKey(tags));
    key->keyFlags = flags;
}

LightEntity* AddLight(Scene* scene, const char* name, Vec3 position, uint32_t colour, float intensity,
                      float range, uint32_t flags)
{
    auto* light = static_cast<LightEntity*>(Check(AllocEntity(ENTITY_LIGHT)));
    Name(light, name);
    light->entityFlags = ENTITY_DRAWN;
    light->position[0] = position.x;
    light->position[1] = position.y;
    light->position[2] = position.z;
    light->lightValue3 = colour;
    light->lightValue1 = intensity;
    light->lightValue2 = range;
    light->lightFlags = flags;
    AddEntity(scene, light);
    return light;
}

void AddLightKey(LightEntity* light, double t, float intensity, uint32_t flags)
{
    const TagItem tags[] = {{TAG_KEY_LIGHT, TagPtr(light)}, {TAG_KEY_TIME, Ticks(t)}, {TAG_DONE, 0}};
    LightKey* key = Check(CreateLightKey(tags));
    key->value = intensity;
    key->keyFlags = flags;
}

Entity* AddNull(Scene* scene, const char* name)
{
    Entity* entity = Check(AllocEntity(ENTITY_NULL));
    Name(entity, name);
    entity->entityFlags = ENTITY_DRAWN;
    AddEntity(scene, entity);
    return entity;
}

void SetParent(Entity* child, Entity* parent)
{
    child->parent = parent;
}

Pose At(Vec3 position, Vec3 rotation, float size)
{
    return {position, rotation, {size, size, size}};
}

void AddKey(Entity* entity, double t, const Pose& pose, uint32_t flags)
{
    const TagItem tags[] = {{TAG_KEY_ENTITY, TagPtr(entity)}, {TAG_KEY_TIME, Ticks(t)}, {TAG_DONE, 0}};
    EntityKey* key = Check(CreateEntityKey(tags));
    const float values[9] = {pose.position.x, pose.position.y, pose.position.z, pose.rotation.x, pose.rotation.y,
                             pose.rotation.z, pose.size.x,     pose.size.y,     pose.size.z};
    for (int i = 0; i < 3; ++i) {
        key->position[i] = values[i];
        key->rotation[i] = values[3 + i];
        key->size[i] = values[6 + i];
    }
    key->keyFlags = flags;
    if (entity->keys.head == key)
        for (int i = 0; i < 3; ++i) {
            entity->position[i] = values[i];
            entity->rotation[i] = values[3 + i];
            entity->size[i] = values[6 + i];
        }
}

// Angles that turn the camera's +z toward the target: r0 about y, r1 about x.
void AddCameraKey(Scene* scene, double t, Vec3 eye, Vec3 target, float roll, uint32_t flags)
{
    const Vec3 d = target - eye;
    float yaw = std::atan2(-d.x, d.z) * DEGREES;
    const float pitch = -std::atan2(d.y, std::sqrt(d.x * d.x + d.z * d.z)) * DEGREES;
    if (const Key* last = scene->camera->keys.tail) {
        const float previous = static_cast<const EntityKey*>(last)->rotation[0];
        while (yaw - previous > 180.0f)
            yaw -= 360.0f;
        while (yaw - previous < -180.0f)
            yaw += 360.0f;
    }
    AddKey(scene->camera, t, {eye, {yaw, pitch, roll}, {0, 0, 0}}, flags);
}

LightEffect* AddEffect(Scene* scene, const char* name)
{
    const TagItem tags[] = {{TAG_LIGHTEFFECT_NAME, TagPtr(name)}, {TAG_LIGHTEFFECT_SCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    return Check(CreateLightEffect(tags));
}

void AddElement(Scene* scene, LightEffect* effect, const std::string& file, float e0, float e1, float e2)
{
    const std::string name = file.substr(0, file.find('.'));
    const TagItem tags[] = {{TAG_ELEMENT_NAME, TagPtr(name.c_str())},
                            {TAG_ELEMENT_MAP, TagPtr(UseTexture(scene, file))},
                            {TAG_ELEMENT_E0, Fixed(e0)},
                            {TAG_ELEMENT_E1, Fixed(e1)},
                            {TAG_ELEMENT_E2, Fixed(e2)},
                            {TAG_ELEMENT_EFFECT, TagPtr(effect)},
                            {TAG_DONE, 0}};
    Check(CreateLightEffectElement(tags));
}

void SetGlints(ObjectEntity* object, LightEffect* effect, float degrees)
{
    object->objectFlags |= OBJECT_SPRITEEFFECT;
    object->spriteEffect = effect;
    object->spriteValue = Fixed(degrees);
}

void SaveAndFree(Scene* scene, const std::string& dir, const std::string& file)
{
    const std::string path = dir + "/" + file;
    int32_t error = -1;
    const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(path.c_str())},
                            {TAG_SAVESCENE_ERROR, TagPtr(&error)},
                            {TAG_DONE, 0}};
    if (SaveScene(scene, tags) == 0 || error != 0) {
        std::fprintf(stderr, "kvordata: cannot write %s\n", path.c_str());
        std::exit(1);
    }
    FreeScene(scene);
}

}  // namespace kvordata
