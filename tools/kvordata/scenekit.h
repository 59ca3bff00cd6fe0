// Meshes and the scene records built from them: the small kit the eleven
// scenes are composed with.
//
// World space is the engine's: x to the right, y downwards, z away from a
// camera at rest, so "up" is −y and the floor plane of the sky-and-floor
// background is y = 0. A face (a, b, c) is seen from the side its normal
// (b − a) × (c − a) points to; the builders orient every face outward by a
// hint direction, so shapes are closed and correctly wound.
#pragma once

#include "kvordata.h"

#include <functional>
#include <string>
#include <vector>

namespace kvordata {

// ---- Vectors ------------------------------------------------------------------------

struct Vec3 {
    float x, y, z;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float k) { return {a.x * k, a.y * k, a.z * k}; }
float Dot(Vec3 a, Vec3 b);
Vec3 Cross(Vec3 a, Vec3 b);
float Length(Vec3 a);
Vec3 Normalise(Vec3 a);
// A point on a circle of radius r around the y axis at the angle in
// degrees (0 on +z, 90 on +x), at height y.
Vec3 Orbit(float radius, float degrees, float y);

// ---- Meshes ---------------------------------------------------------------------------

// Texture coordinates are texels: u is the map's row, v its column.
struct Tri {
    int v[3];
    float uv[3][2];
};

struct Mesh {
    std::vector<Vec3> points;
    std::vector<Tri> tris;
};

// A quad a, b, c, d (in order around it) as two triangles facing the side
// of `outward`, with texel coordinates given per corner.
void AddQuad(Mesh& mesh, int a, int b, int c, int d, const float uv[4][2], Vec3 outward);
void AddTriangle(Mesh& mesh, int a, int b, int c, const float uv[3][2], Vec3 outward);

// A UV sphere: rings from top (−y) to bottom, segments around; u runs
// uRepeat × 256 texels from pole to pole, v vRepeat × 256 around.
Mesh Sphere(float radius, int rings, int segments, float uRepeat, float vRepeat);
// A torus around the y axis.
Mesh Torus(float major, float minor, int around, int tube, float uRepeat, float vRepeat);
// A box centred on the origin with separate corners per side (flat
// shading), each side mapped once with `texels` texels.
Mesh Box(Vec3 size, float texels);
// The same box with its eight corners shared by the sides, as a shadow
// caster needs: the render pass joins faces into a closed surface only
// through shared vertices, and finds silhouettes only on a closed surface.
// Vertex normals are then the mean of three sides.
Mesh ClosedBox(Vec3 size, float texels);
// A surface of revolution of the profile (radius, y) points from top to
// bottom, around the y axis; with `capped`, closed by caps where the radius
// ends above 0.
Mesh Lathe(const std::vector<std::pair<float, float>>& profile, int segments, float uRepeat, float vRepeat,
           bool capped = true);
// A parallelogram from `origin` along edges a (u, rows) and b (v, columns),
// cut into rows × columns quads, facing `outward`; u spans uTexels, v
// vTexels.
Mesh Panel(Vec3 origin, Vec3 a, Vec3 b, int rows, int columns, float uTexels, float vTexels, Vec3 outward);
// A tube along the path with the radius at each path point.
Mesh Tube(const std::vector<Vec3>& path, const std::vector<float>& radii, int sides, float uRepeat, float vRepeat);
// A horizontal grid in the plane y = 0, facing up (−y), centred on the
// origin, each cell `texels` texels wide.
Mesh Grid(float sizeX, float sizeZ, int cellsX, int cellsZ, float texels);
// A regular octahedron.
Mesh Octahedron(float radius);

// The mesh with every point moved by the function (faces keep their
// orientation, so keep deformations gentle or re-orient by rebuilding).
Mesh Transformed(const Mesh& mesh, const std::function<Vec3(Vec3)>& move);
// The mesh seen from inside: every face turned around.
Mesh Inverted(const Mesh& mesh);
// Appends `part` to `into`.
void Append(Mesh& into, const Mesh& part);

// ---- Scenes -------------------------------------------------------------------------

uint32_t Ticks(double seconds);

// Key flags of the interval that ends at a key.
constexpr uint32_t HOLD = 0;                               // values jump at the key
constexpr uint32_t LINEAR = KEY_INTERPOLATE;
constexpr uint32_t SPLINE = KEY_INTERPOLATE | KEY_SPLINE;  // Kochanek–Bartels
constexpr uint32_t HIDDEN = KEY_HIDDEN;                    // hidden from this key on

// A new scene with its camera (field of view in degrees) and an ambient
// level; background colour black.
Scene* NewScene(float fieldOfView, float ambient);
// The scene's texture record for data/<file>, shared by name.
Texture* UseTexture(Scene* scene, const std::string& file);

// A drawn object of the mesh with the object flags and colour 0xAARRGGBB.
ObjectEntity* AddObject(Scene* scene, const char* name, const Mesh& mesh, uint32_t flags, uint32_t colour);

// A morph object: the base mesh's faces with one target per shape (each
// the base's point count), named as given.
struct MorphShape {
    std::string name;
    std::vector<Vec3> points;
};
MorphEntity* AddMorph(Scene* scene, const char* name, const Mesh& base, const std::vector<MorphShape>& shapes,
                      uint32_t flags, uint32_t colour);
// A morph key: the shape at time t, reached from the key before linearly
// (LINEAR) or at once (HOLD).
void AddMorphKey(MorphEntity* morph, double t, const std::string& shape, uint32_t flags);

// A point light: colour 0x00RRGGBB, intensity, range (0: unlimited), light
// flags.
LightEntity* AddLight(Scene* scene, const char* name, Vec3 position, uint32_t colour, float intensity,
                      float range, uint32_t flags);
void AddLightKey(LightEntity* light, double t, float intensity, uint32_t flags);
// A drawn null entity: a transform node for children.
Entity* AddNull(Scene* scene, const char* name);
void SetParent(Entity* child, Entity* parent);

// Position, rotation (degrees: about y, x, z) and size of a motion key.
struct Pose {
    Vec3 position;
    Vec3 rotation;
    Vec3 size;
};
Pose At(Vec3 position, Vec3 rotation = {0, 0, 0}, float size = 1.0f);
// A motion key; the first key also becomes the entity's resting pose.
void AddKey(Entity* entity, double t, const Pose& pose, uint32_t flags);
// A camera key looking from eye to target, rolled by `roll` degrees; the
// angles are unwrapped against the camera's previous key so that splines
// turn the short way.
void AddCameraKey(Scene* scene, double t, Vec3 eye, Vec3 target, float roll, uint32_t flags);

// A light effect and its elements: e0 places the element on the line from
// the screen centre through the light (1.0 at the light), e1 scales it, e2
// is its intensity; all 16.16 given as floats.
LightEffect* AddEffect(Scene* scene, const char* name);
void AddElement(Scene* scene, LightEffect* effect, const std::string& file, float e0, float e1, float e2);

// Sets the sprite effect (vertex glints within `degrees` of facing the
// camera) of an object.
void SetGlints(ObjectEntity* object, LightEffect* effect, float degrees);

// Writes the scene to dir/file with SaveScene and frees it; exits with a
// message on failure.
void SaveAndFree(Scene* scene, const std::string& dir, const std::string& file);

}  // namespace kvordata
