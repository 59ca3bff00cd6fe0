// The scenes kvorscenes writes for kvorbench to measure, which also show the
// renderer at work in the golden-image, frame and kvorshot tests. Each is built in memory from
// engine records and written with SaveScene; the textures it names are raw
// 256 × 256 squares of 15-bit pixels made here, which LoadScene reads from
// files of those names or, through TextureImage, from memory.
//
//   torus.kvor      a tumbling torus of 5000 perspective-textured triangles
//   showcase.kvor   every effect of the render pass at once: a textured floor
//                   with a shaded box's shadow, an environment-mapped torus
//                   with vertex glints, a glowing block, a transparent pane,
//                   a light with a flare, and the tiled background image
//   shadows.kvor    a torus over a floor, casting its shadow
#pragma once

#include "support/scene_builder.h"

#include "core/settings.h"
#include "render/render.h"
#include "scene/sceneio.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

using namespace kvor3d;

namespace showcase {

constexpr uint32_t SIDE = 256;
constexpr uint32_t END = 4 * TICKS_PER_SECOND;  // every scene plays for four seconds
constexpr double PI = 3.14159265358979323846;

// ---- Textures -------------------------------------------------------------------

using RawTexture = std::vector<uint16_t>;  // SIDE × SIDE pixels, row by row

inline uint16_t Rgb(double r, double g, double b)
{
    const auto channel = [](double c) { return uint16_t(std::lround(std::fmin(std::fmax(c, 0.0), 1.0) * 31.0)); };
    return uint16_t((channel(r) << 10) | (channel(g) << 5) | channel(b));
}

// Distance from the texture's centre, 1 at the middle of an edge.
inline double Radius(uint32_t x, uint32_t y)
{
    const double dx = (double(x) - 127.5) / 128.0;
    const double dy = (double(y) - 127.5) / 128.0;
    return std::sqrt(dx * dx + dy * dy);
}

template <typename Pixel>
RawTexture Paint(Pixel pixel)
{
    RawTexture texture(SIDE * SIDE);
    for (uint32_t y = 0; y < SIDE; ++y)
        for (uint32_t x = 0; x < SIDE; ++x)
            texture[y * SIDE + x] = pixel(x, y);
    return texture;
}

// Squares of 32 texels in two colours, with a thin darker grout.
inline RawTexture Checker()
{
    return Paint([](uint32_t x, uint32_t y) {
        if (x % 32 == 0 || y % 32 == 0)
            return Rgb(0.15, 0.15, 0.2);
        return ((x / 32) + (y / 32)) % 2 ? Rgb(0.9, 0.85, 0.7) : Rgb(0.55, 0.2, 0.15);
    });
}

// A chrome-like environment: sky above, a bright horizon, ground below.
inline RawTexture Chrome()
{
    return Paint([](uint32_t x, uint32_t y) {
        const double v = double(y) / 255.0;
        const double shine = std::pow(std::fabs(std::sin(double(x) * PI / 64.0)), 8.0) * 0.3;
        if (v < 0.5)
            return Rgb(0.3 + v + shine, 0.5 + v + shine, 0.9 + shine);
        return Rgb(0.5 - (v - 0.5) + shine, 0.35 - (v - 0.5) * 0.5 + shine, 0.2 + shine);
    });
}

// A soft round glow, black at the rim: added to the frame by flares.
inline RawTexture Flare()
{
    return Paint([](uint32_t x, uint32_t y) {
        const double fall = std::fmax(0.0, 1.0 - Radius(x, y));
        return Rgb(fall * fall, fall * fall * 0.9, fall * fall * 0.6);
    });
}

// A four-pointed star for glints.
inline RawTexture Star()
{
    return Paint([](uint32_t x, uint32_t y) {
        const double dx = std::fabs(double(x) - 127.5) / 128.0;
        const double dy = std::fabs(double(y) - 127.5) / 128.0;
        const double ray = std::fmax(0.0, 1.0 - dx * 12.0 - dy) + std::fmax(0.0, 1.0 - dy * 12.0 - dx);
        const double core = std::fmax(0.0, 1.0 - Radius(x, y) * 3.0);
        const double light = std::fmin(1.0, ray + core);
        return Rgb(light, light, light);
    });
}

// A night sky: a gradient with scattered stars.
inline RawTexture Backdrop()
{
    return Paint([](uint32_t x, uint32_t y) {
        const uint32_t hash = (x * 73856093u) ^ (y * 19349663u);
        if (hash % 97 == 0)
            return Rgb(0.9, 0.9, 1.0);
        const double v = double(y) / 255.0;
        return Rgb(0.05, 0.05 + 0.1 * v, 0.2 + 0.25 * v);
    });
}

struct NamedTexture {
    const char* name;
    RawTexture (*make)();
};

constexpr NamedTexture TEXTURES[] = {{"checker.tex", Checker}, {"chrome.tex", Chrome}, {"flare.tex", Flare},
                                     {"star.tex", Star},       {"backdrop.tex", Backdrop}};

// The raw image of a named texture, made once; null for another name.
inline const void* TextureImage(const char* name)
{
    static std::map<std::string, RawTexture> made;
    const std::string key = name ? name : "";
    auto found = made.find(key);
    if (found == made.end()) {
        for (const NamedTexture& texture : TEXTURES) {
            if (key == texture.name)
                found = made.emplace(key, texture.make()).first;
        }
    }
    return found == made.end() ? nullptr : found->second.data();
}

// A texture record that carries only its name, for the writer.
inline Texture* NameTexture(Scene* scene, const char* name)
{
    for (Texture* texture = scene->textures; texture; texture = texture->next) {
        if (std::string(texture->name) == name)
            return texture;
    }
    auto* texture = AllocRecord<Texture>();
    texture->name = CopyName(name);
    texture->width = texture->height = SIDE;
    Texture** link = &scene->textures;
    while (*link)
        link = &(*link)->next;
    *link = texture;
    return texture;
}

// ---- Geometry --------------------------------------------------------------------

struct Mesh {
    std::vector<build::Point> points;
    struct Corner {
        uint32_t index;
        float u, v;
    };
    std::vector<std::array<Corner, 3>> faces;

    // The triangle in the order whose (b − a) × (c − a) points along
    // `outward`, the side it is seen from.
    void Triangle(Corner a, Corner b, Corner c, build::Point outward)
    {
        const build::Point& p = points[a.index];
        const build::Point& q = points[b.index];
        const build::Point& s = points[c.index];
        const double ux = q.x - p.x, uy = q.y - p.y, uz = q.z - p.z;
        const double vx = s.x - p.x, vy = s.y - p.y, vz = s.z - p.z;
        const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
        if (nx * outward.x + ny * outward.y + nz * outward.z < 0)
            faces.push_back({a, c, b});
        else
            faces.push_back({a, b, c});
    }
};

// A torus around the y axis: `around` steps along the ring, `tube` steps
// around the tube, 2 × around × tube triangles. The texture wraps `repeat`
// times along the ring and once around the tube.
inline Mesh Torus(float ring, float radius, uint32_t around, uint32_t tube, float repeat)
{
    Mesh mesh;
    for (uint32_t i = 0; i < around; ++i) {
        for (uint32_t j = 0; j < tube; ++j) {
            const double a = 2 * PI * i / around, b = 2 * PI * j / tube;
            const double r = ring + radius * std::cos(b);
            mesh.points.push_back({float(r * std::cos(a)), float(radius * std::sin(b)), float(r * std::sin(a))});
        }
    }
    const auto at = [&](uint32_t i, uint32_t j) { return (i % around) * tube + (j % tube); };
    for (uint32_t i = 0; i < around; ++i) {
        for (uint32_t j = 0; j < tube; ++j) {
            const double a = 2 * PI * (i + 0.5) / around, b = 2 * PI * (j + 0.5) / tube;
            const build::Point outward{float(std::cos(b) * std::cos(a)), float(std::sin(b)),
                                       float(std::cos(b) * std::sin(a))};
            const float u0 = float(SIDE) * repeat * float(i) / float(around);
            const float u1 = float(SIDE) * repeat * float(i + 1) / float(around);
            const float v0 = float(SIDE) * float(j) / float(tube);
            const float v1 = float(SIDE) * float(j + 1) / float(tube);
            const Mesh::Corner c00{at(i, j), u0, v0}, c10{at(i + 1, j), u1, v0};
            const Mesh::Corner c11{at(i + 1, j + 1), u1, v1}, c01{at(i, j + 1), u0, v1};
            mesh.Triangle(c00, c10, c11, outward);
            mesh.Triangle(c00, c11, c01, outward);
        }
    }
    return mesh;
}

// An axis-aligned box over eight shared corners, seen from outside.
inline Mesh Box(build::Point low, build::Point high)
{
    Mesh mesh;
    const float xs[2] = {low.x, high.x}, ys[2] = {low.y, high.y}, zs[2] = {low.z, high.z};
    for (int k = 0; k < 2; ++k)
        for (int j = 0; j < 2; ++j)
            for (int i = 0; i < 2; ++i)
                mesh.points.push_back({xs[i], ys[j], zs[k]});
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            build::Point outward{0, 0, 0};
            (axis == 0 ? outward.x : axis == 1 ? outward.y : outward.z) = side ? 1.0f : -1.0f;
            const int order[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
            Mesh::Corner corners[4];
            for (int n = 0; n < 4; ++n) {
                const int u = order[n][0], v = order[n][1];
                const int bits[3] = {axis == 0 ? side : u, axis == 1 ? side : axis == 0 ? u : v, axis == 2 ? side : v};
                corners[n] = {uint32_t(bits[0] + 2 * bits[1] + 4 * bits[2]), float(u * SIDE), float(v * SIDE)};
            }
            mesh.Triangle(corners[0], corners[1], corners[2], outward);
            mesh.Triangle(corners[0], corners[2], corners[3], outward);
        }
    }
    return mesh;
}

// A rectangle in the plane y = height, seen from above (−y), its texture
// repeated every `tile` units.
inline Mesh Floor(float height, float x0, float x1, float z0, float z1, float tile)
{
    Mesh mesh;
    mesh.points = {{x0, height, z0}, {x1, height, z0}, {x1, height, z1}, {x0, height, z1}};
    const float u = float(SIDE) * (x1 - x0) / tile, v = float(SIDE) * (z1 - z0) / tile;
    const Mesh::Corner a{0, 0, 0}, b{1, u, 0}, c{2, u, v}, d{3, 0, v};
    mesh.Triangle(a, b, c, {0, -1, 0});
    mesh.Triangle(a, c, d, {0, -1, 0});
    return mesh;
}

// A rectangle in the plane z = depth, seen from both sides.
inline Mesh Pane(float x0, float x1, float y0, float y1, float depth)
{
    Mesh mesh;
    mesh.points = {{x0, y0, depth}, {x1, y0, depth}, {x1, y1, depth}, {x0, y1, depth}};
    const Mesh::Corner a{0, 0, 0}, b{1, 0, 0}, c{2, 0, 0}, d{3, 0, 0};
    mesh.Triangle(a, b, c, {0, 0, -1});
    mesh.Triangle(a, c, d, {0, 0, -1});
    return mesh;
}

inline ObjectEntity* AddMesh(Scene* scene, const char* name, const Mesh& mesh, uint32_t colour, uint32_t flags)
{
    std::vector<build::Corners> corners;
    for (const auto& face : mesh.faces)
        corners.push_back({face[0].index, face[1].index, face[2].index});
    ObjectEntity* object = build::AddObject(scene, name, mesh.points, corners);
    for (size_t f = 0; f < mesh.faces.size(); ++f) {
        for (int k = 0; k < 3; ++k) {
            object->faces[f].uv[k][0] = mesh.faces[f][k].u;
            object->faces[f].uv[k][1] = mesh.faces[f][k].v;
        }
    }
    object->colour = colour;
    object->objectFlags = flags;
    return object;
}

// Keys at the start and the end: the entity turns from `from` to `to`
// (degrees about y, x and z) where it stands.
inline void Turn(Entity* entity, build::Point at, build::Point from, build::Point to)
{
    build::AddMotionKey(entity, 0, {at, from, {1, 1, 1}});
    build::AddMotionKey(entity, END, {at, to, {1, 1, 1}});
}

inline void Place(Entity* entity, build::Point at)
{
    entity->position[0] = at.x;
    entity->position[1] = at.y;
    entity->position[2] = at.z;
}

inline LightEntity* AddLight(Scene* scene, const char* name, build::Point at, uint32_t flags, float intensity,
                             uint32_t colour)
{
    LightEntity* light = build::AddLight(scene, name);
    Place(light, at);
    light->size[0] = light->size[1] = light->size[2] = 1.0f;
    light->lightFlags = flags;
    light->lightValue1 = intensity;
    light->lightValue3 = colour;
    return light;
}

inline LightEffectElement* AddElement(LightEffect* effect, const char* name, uint32_t e0, uint32_t e1, uint32_t e2,
                                      Texture* map)
{
    LightEffectElement* element = build::AddElement(effect, name, e0, map);
    element->e1 = e1;
    element->e2 = e2;
    return element;
}

inline Scene* NewScene()
{
    Scene* scene = AllocScene();
    CameraOf(scene->camera)->fieldOfView = 90.0f;
    return scene;
}

// ---- Scenes ----------------------------------------------------------------------

constexpr uint32_t PERSPECTIVE_TEXTURE = OBJECT_TEXTURE | OBJECT_PERSPECTIVE;
constexpr uint32_t CORRECTION_SPAN = 4;  // perspective division every 16 pixels

// 50 × 50 quads of a torus 28 across, 25.5 in front of the camera: about a
// third of the screen as it tumbles.
inline Scene* TorusScene()
{
    Scene* scene = NewScene();
    scene->backgroundColour = 0x00203040;
    ObjectEntity* torus = AddMesh(scene, "torus", Torus(10.0f, 4.0f, 50, 50, 4.0f), 0x00FFFFFF, PERSPECTIVE_TEXTURE);
    torus->textureMap = NameTexture(scene, "checker.tex");
    torus->correctionValue = CORRECTION_SPAN;
    Turn(torus, {0, 0, 25.5f}, {0, 30, 0}, {360, 390, 180});
    return scene;
}

inline Scene* ShowcaseScene()
{
    Scene* scene = NewScene();
    scene->flags = BACKGROUND_IMAGE | SCENE_SHADOWS;
    scene->backgroundMap = NameTexture(scene, "backdrop.tex");
    scene->backgroundValue2 = 1;
    scene->ambientLevel = 0.3f;

    ObjectEntity* floor = AddMesh(scene, "floor", Floor(30, -150, 150, 35, 320, 40), 0x00FFFFFF, PERSPECTIVE_TEXTURE);
    floor->textureMap = NameTexture(scene, "checker.tex");
    floor->correctionValue = 3;

    ObjectEntity* box = AddMesh(scene, "box", Box({-9, -9, -9}, {9, 9, 9}), 0x00E0A060,
                                OBJECT_SHADED | OBJECT_SHADOWCASTER);
    Turn(box, {-28, 2, 95}, {0, 20, 0}, {180, 20, 90});

    LightEffect* glint = build::AddLightEffect(scene, "glint");
    AddElement(glint, "star", 0x10000, 2400, 0x10000, NameTexture(scene, "star.tex"));
    ObjectEntity* torus = AddMesh(scene, "chrome", Torus(9.0f, 3.5f, 32, 16, 1.0f), 0x00FFFFFF,
                                  OBJECT_ENVIRONMENT | OBJECT_SPRITEEFFECT | OBJECT_SHADOWCASTER);
    torus->environmentMap = NameTexture(scene, "chrome.tex");
    torus->spriteEffect = glint;
    torus->spriteValue = 22 << 16;  // degrees; a vertex normal, a mean of its faces', is a little short
    Turn(torus, {26, -4, 85}, {0, 70, 0}, {240, 160, 0});

    ObjectEntity* block = AddMesh(scene, "ember", Box({-5, -5, -5}, {5, 5, 5}), 0x00FF7020,
                                  OBJECT_GLOW | OBJECT_GLOWEDGE);
    block->glow[0] = 0.12f;
    block->glow[1] = 1.0f;
    Turn(block, {-50, -22, 130}, {0, 0, 0}, {90, 45, 0});

    ObjectEntity* pane = AddMesh(scene, "pane", Pane(-12, 12, -16, 16, 0), 0x9040A0FF,
                                 OBJECT_TRANSPARENT | OBJECT_DOUBLESIDED);
    Place(pane, {2, -2, 60});

    AddLight(scene, "sun", {-10, -160, 95}, LIGHT_ON | LIGHT_SHADOWS, 0.8f, 0x00FFFFFF);
    LightEntity* lamp = AddLight(scene, "lamp", {55, -40, 160}, LIGHT_ON, 0.5f, 0x00FFC080);
    lamp->effect = build::AddLightEffect(scene, "flare");
    Texture* flare = NameTexture(scene, "flare.tex");
    AddElement(lamp->effect, "halo", 0x10000, 20000, 0x10000, flare);
    AddElement(lamp->effect, "ghost", 0x8000, 6000, 0x8000, flare);
    AddElement(lamp->effect, "speck", 0x2000, 3000, 0x6000, flare);
    return scene;
}

inline Scene* ShadowScene()
{
    Scene* scene = NewScene();
    scene->flags = SCENE_SHADOWS;
    scene->backgroundColour = 0x00102030;
    ObjectEntity* floor = AddMesh(scene, "floor", Floor(14, -80, 80, 12, 200, 20), 0x00FFFFFF, PERSPECTIVE_TEXTURE);
    floor->textureMap = NameTexture(scene, "checker.tex");
    floor->correctionValue = CORRECTION_SPAN;
    ObjectEntity* torus = AddMesh(scene, "torus", Torus(8.0f, 3.0f, 30, 16, 2.0f), 0x00FFFFFF,
                                  PERSPECTIVE_TEXTURE | OBJECT_SHADOWCASTER);
    torus->textureMap = NameTexture(scene, "checker.tex");
    torus->correctionValue = CORRECTION_SPAN;
    Turn(torus, {0, -2, 40}, {0, 60, 0}, {360, 60, 180});
    AddLight(scene, "sun", {-20, -90, 30}, LIGHT_SHADOWS, 1.0f, 0x00FFFFFF);
    return scene;
}

struct NamedScene {
    const char* file;
    Scene* (*build)();
};

constexpr NamedScene SCENES[] = {{"torus.kvor", TorusScene}, {"showcase.kvor", ShowcaseScene},
                                 {"shadows.kvor", ShadowScene}};

// ---- Files -----------------------------------------------------------------------

inline bool SaveTo(const Scene* scene, const std::string& path)
{
    int32_t error = 0;
    const TagItem tags[] = {{TAG_SAVESCENE_FILENAME, TagPtr(path.c_str())}, {TAG_SAVESCENE_ERROR, TagPtr(&error)},
                            {TAG_DONE, 0}};
    return SaveScene(scene, tags) != 0 && error == 0;
}

inline bool WriteTexture(const RawTexture& texture, const std::string& path)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
        return false;
    const bool written = std::fwrite(texture.data(), sizeof(uint16_t), texture.size(), file) == texture.size();
    return std::fclose(file) == 0 && written;
}

// Every texture and every scene into the folder; false at the first file
// that cannot be written.
inline bool WriteAll(const std::string& folder)
{
    for (const NamedTexture& texture : TEXTURES) {
        if (!WriteTexture(texture.make(), folder + "/" + texture.name))
            return false;
    }
    for (const NamedScene& named : SCENES) {
        Scene* scene = named.build();
        const bool saved = scene && SaveTo(scene, folder + "/" + named.file);
        FreeScene(scene);
        if (!saved)
            return false;
    }
    return true;
}

}  // namespace showcase
