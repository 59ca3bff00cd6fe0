// The closing scenes: the tower at night (suecide), the long way down
// (suecide2) and the hand (hand3), which the show keys over its end
// background and repeats for ever.
#include "scenes.h"

#include <algorithm>
#include <cmath>

using namespace kvor3d;

namespace kvordata {

namespace {

Mesh Lifted(const Mesh& mesh, Vec3 by)
{
    return Transformed(mesh, [&](Vec3 p) { return p + by; });
}

// A small standing figure of boxes, feet at the origin, facing −z.
Mesh Figure()
{
    Mesh figure;
    Append(figure, Lifted(ClosedBox({2.2f, 9, 2.2f}, 64), {-1.6f, -4.5f, 0}));
    Append(figure, Lifted(ClosedBox({2.2f, 9, 2.2f}, 64), {1.6f, -4.5f, 0}));
    Append(figure, Lifted(ClosedBox({6, 11, 3.2f}, 64), {0, -14.5f, 0}));
    Append(figure, Lifted(ClosedBox({1.8f, 10, 1.8f}, 64), {-4.2f, -14.5f, 0}));
    Append(figure, Lifted(ClosedBox({1.8f, 10, 1.8f}, 64), {4.2f, -14.5f, 0}));
    Append(figure, Lifted(ClosedBox({3.6f, 4, 3.6f}, 64), {0, -22.5f, 0}));
    return figure;
}

// Lit window panes on the four faces of a square tower of the given half
// width, between heights top and bottom (negative, up is −y).
Mesh Windows(Rng& rng, float half, float top, float bottom, int count, float width, float height)
{
    Mesh panes;
    const Vec3 outs[4] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};
    for (int i = 0; i < count; ++i) {
        const Vec3 out = outs[i % 4];
        const Vec3 along = {out.z, 0, -out.x};
        const float y = float(NextRange(rng, top, bottom));
        const float s = float(NextRange(rng, -half * 0.7, half * 0.7));
        const Vec3 corner = out * (half + 0.8f) + along * (s - width / 2) + Vec3{0, y, 0};
        Append(panes, Panel(corner, {0, height, 0}, along * width, 1, 1, 256, 256, out));
    }
    return panes;
}

}  // namespace

// Part 9: a tower stands on moonlit hills under a clouded night sky; a
// small figure waits at its top edge and is gone by the end, when birds
// lift off. The moon, with a five-element flare, lights the scene; a light
// high above on its side casts the tower's shadow across the hills. After
// 25.5 s the show holds a frame every 1.23 s, so the camera keeps moving
// widely between views.
void SuecideScene(const std::string& dir, uint64_t seed)
{
    Rng rng = ForkRng(seed, "suecide");
    Scene* scene = NewScene(62, 0.16f);
    scene->flags |= BACKGROUND_SKY | SCENE_SHADOWS;
    scene->skyMap = UseTexture(scene, "sky_night.iff");
    scene->backgroundValue2 = 900;
    scene->backgroundColour = 0x141A28;
    constexpr float towerHeight = 600;

    const Fractal hills = MakeFractal(rng, 3, 4, 0.5f);
    AddObject(scene, "hills", Transformed(Grid(12000, 12000, 20, 20, 256), [&](Vec3 p) {
                  const float distance = std::sqrt(p.x * p.x + p.z * p.z);
                  const float rise = std::clamp((distance - 250) / 1500, 0.0f, 1.0f);
                  const float h = 420 * rise * (0.6f + 0.5f * FractalNoise(hills, p.x / 12000 + 0.5f, p.z / 12000 + 0.5f));
                  return Vec3{p.x, -h, p.z};
              }),
              OBJECT_SHADED, 0x006C7C98);
    ObjectEntity* tower = AddObject(scene, "tower",
                                    Lifted(ClosedBox({64, towerHeight, 64}, 256), {0, -towerHeight / 2, 0}),
                                    OBJECT_PERSPECTIVE | OBJECT_SHADOWCASTER, 0x002A2634);
    tower->correctionValue = 3;
    ObjectEntity* windows = AddObject(scene, "windows", Windows(rng, 32, -560, -60, 28, 6, 9),
                                      OBJECT_GLOW | OBJECT_GLOWEDGE, 0x00FFD070);
    windows->glow[0] = 0.025f;
    windows->glow[1] = 0.9f;

    ObjectEntity* figure = AddObject(scene, "figure", Figure(), OBJECT_SHADOWCASTER, 0x0012121C);
    AddKey(figure, 0, At({20, -towerHeight, -22}, {20, 0, 0}), HOLD);
    AddKey(figure, 31, At({20, -towerHeight, -26}, {30, 0, 0}), LINEAR);
    AddKey(figure, 33, At({20, -towerHeight, -26}, {30, 0, 0}), HIDDEN);
    for (int i = 0; i < 5; ++i) {
        const std::string name = "bird_" + std::to_string(i + 1);
        Mesh bird;
        Append(bird, Panel({0, 0, 0}, {-9, -3, 4}, {0, 0, -5}, 1, 1, 64, 64, {0, -1, 0}));
        Append(bird, Panel({0, 0, 0}, {9, -3, 4}, {0, 0, -5}, 1, 1, 64, 64, {0, -1, 0}));
        ObjectEntity* b = AddObject(scene, name.c_str(), bird, OBJECT_DOUBLESIDED, 0x00181820);
        const Vec3 from = {float(NextRange(rng, -30, 30)), -towerHeight - 10, float(NextRange(rng, -30, 30))};
        AddKey(b, 0, At(from), HIDDEN);
        AddKey(b, 30 + 0.4 * i, At(from), LINEAR);
        AddKey(b, SUECIDE_SECONDS, At(from + Vec3{float(NextRange(rng, -300, 300)), -260, float(NextRange(rng, 100, 500))},
                                      {float(NextRange(rng, -40, 40)), 0, 0}, 1.6f),
               SPLINE);
    }

    LightEffect* moonFlare = AddEffect(scene, "moon_flare");
    AddElement(scene, moonFlare, "flare_glow.iff", 1.0f, 2.6f, 0.9f);
    AddElement(scene, moonFlare, "flare_ring.iff", 1.0f, 1.9f, 0.5f);
    AddElement(scene, moonFlare, "flare_hex.iff", 0.6f, 0.9f, 0.5f);
    AddElement(scene, moonFlare, "flare_dot.iff", 0.35f, 1.2f, 0.6f);
    AddElement(scene, moonFlare, "flare_hex.iff", 0.1f, 0.6f, 0.5f);
    LightEntity* moon = AddLight(scene, "moon", {-900, -1150, 1700}, 0x00C0D0FF, 1.1f, 0, LIGHT_ON);
    moon->effect = moonFlare;
    // The shadows come from high above on the moon's side: from the moon
    // itself, low and in view, they would run toward the camera and past it,
    // where the render pass no longer counts them.
    AddLight(scene, "moon_shadow", {-500, -2600, 1000}, 0, 0, 0, LIGHT_SHADOWS);

    const struct {
        double t;
        float distance, angle, height, lookHeight;
    } views[] = {{0, 1000, 160, -40, -200},    {8, 820, 172, -120, -300}, {16, 640, 188, -260, -420},
                 {25.5, 420, 205, -520, -560}, {28, 180, 222, -640, -600}, {31, 700, 150, -90, -520},
                 {34, 260, 196, -700, -590},  {37, 540, 235, -380, -500}, {SUECIDE_SECONDS, 900, 175, -800, -400}};
    for (const auto& v : views)
        AddCameraKey(scene, v.t, Orbit(v.distance, v.angle, v.height), {0, v.lookHeight, 0}, 0, SPLINE);
    SaveAndFree(scene, dir, "suecide.kvor");
}

// Part 10: the long way down the tower: the camera sinks past lit windows
// toward a city's lights, turning slowly, while pale pages rise past it.
// The show shifts it all to red at the end.
void Suecide2Scene(const std::string& dir, uint64_t seed)
{
    Rng rng = ForkRng(seed, "suecide2");
    Scene* scene = NewScene(75, 0.4f);
    scene->flags |= BACKGROUND_FLOOR;
    scene->floorMap = UseTexture(scene, "city_floor.iff");
    scene->backgroundValue2 = 2400;
    scene->backgroundColour = 0x0A0C18;
    constexpr float towerHeight = 3000;

    std::vector<std::pair<float, float>> profile;
    for (int i = 0; i <= 20; ++i)
        profile.push_back({60, -towerHeight + towerHeight * float(i) / 20});
    ObjectEntity* tower = AddObject(scene, "tower", Lathe(profile, 4, 20, 2), OBJECT_TEXTURE | OBJECT_PERSPECTIVE, 0);
    Textured(scene, tower, "tower_wall.iff", FILTER_MIPMAP_BILINEAR);
    tower->correctionValue = 4;
    ObjectEntity* lit = AddObject(scene, "lit_windows",
                                  Transformed(Windows(rng, 42, -2950, -100, 60, 8, 12),
                                              [](Vec3 p) {
                                                  const float c = 0.70710678f;
                                                  return Vec3{p.x * c - p.z * c, p.y, p.x * c + p.z * c};
                                              }),
                                  OBJECT_GLOW | OBJECT_GLOWEDGE, 0x00FFC860);
    lit->glow[0] = 0.02f;
    lit->glow[1] = 0.8f;

    for (int g = 0; g < 3; ++g) {
        Mesh pages;
        for (int i = 0; i < 10; ++i) {
            const Vec3 at = {float(NextRange(rng, -160, 160)), float(NextRange(rng, -300, 300)),
                             float(NextRange(rng, -260, 40))};
            const Vec3 a = {float(NextRange(rng, -8, 8)), float(NextRange(rng, -12, -6)), float(NextRange(rng, -6, 6))};
            const Vec3 b = {float(NextRange(rng, 6, 10)), float(NextRange(rng, -3, 3)), float(NextRange(rng, -6, 6))};
            Append(pages, Panel(at, a, b, 1, 1, 64, 64, Cross(a, b)));
        }
        const std::string name = "pages_" + std::to_string(g + 1);
        ObjectEntity* object = AddObject(scene, name.c_str(), pages, OBJECT_TRANSPARENT | OBJECT_DOUBLESIDED,
                                         0x90F0F0FF - 0x00100800 * uint32_t(g));
        const float start = -2700 + 300 * float(g);
        AddKey(object, 0, At({0, start, -120}), HIDDEN);
        AddKey(object, 2.5 + g, At({0, start, -120}), LINEAR);
        AddKey(object, SUECIDE2_SECONDS, At({0, start - 900, -120}, {120.0f * float(g + 1), 60, 40}), LINEAR);
    }

    for (int k = 0; k <= 11; ++k) {
        const float t = float(SUECIDE2_SECONDS) * float(k) / 11;
        const float f = t / float(SUECIDE2_SECONDS);
        const float y = -2950 + 2870 * (f * f * (3 - 2 * f));
        const Vec3 eye = {30 * std::sin(t * 0.3f), y, -150 + 25 * std::cos(t * 0.25f)};
        AddCameraKey(scene, t, eye, eye + Vec3{-40 * std::sin(t * 0.2f), 240 - 100 * f, 300}, 14.0f * t, SPLINE);
    }
    SaveAndFree(scene, dir, "suecide2.kvor");
}

namespace {

// One finger joint: a rounded capsule from the origin up to (0, −length, 0).
Mesh Joint(float length, float radius)
{
    return Lathe({{0, -length - radius * 0.6f},
                  {radius * 0.75f, -length - radius * 0.35f},
                  {radius, -length + radius * 0.2f},
                  {radius * 1.05f, -radius * 0.2f},
                  {radius * 0.8f, radius * 0.4f},
                  {0, radius * 0.6f}},
                 8, 1, 1);
}

}  // namespace

// Part 11: a chrome hand on black, which the show keys over its dusk
// background: it opens from a fist, reaches, half closes and opens again,
// each joint a child of the one before, its fingertips glinting, sparks of
// light circling it.
void Hand3Scene(const std::string& dir, uint64_t seed)
{
    Rng rng = ForkRng(seed, "hand3");
    Scene* scene = NewScene(60, 0.3f);
    scene->backgroundColour = 0;
    Texture* chrome = UseTexture(scene, "env_chrome.iff");
    LightEffect* sparkle = AddEffect(scene, "sparkle");
    AddElement(scene, sparkle, "flare_star.iff", 1.0f, 0.45f, 1.0f);
    AddElement(scene, sparkle, "flare_dot.iff", 1.0f, 0.6f, 0.5f);

    ObjectEntity* palm = AddObject(scene, "palm", Transformed(Sphere(1, 10, 14, 1, 1), [](Vec3 p) {
                                       return Vec3{p.x * 33, p.y * 40, p.z * (11 + 3 * p.y)};
                                   }),
                                   OBJECT_ENVIRONMENT | OBJECT_LIGHTMAP, 0x00FFFFFF);
    palm->environmentMap = chrome;
    palm->material[2] = ENV_FILTER_BILINEAR;
    const double poseTimes[] = {0, 2.5, 4, 6.5, 9, 11, HAND3_SECONDS};
    const float curls[] = {-78, -32, -6, -12, -42, -5, -10};
    for (int k = 0; k < 7; ++k)
        AddKey(palm, poseTimes[k],
               At({0, -100 - 8 * std::sin(float(k)), float(k == 3 ? -30 : 0)}, {12 * std::sin(float(k) * 1.3f), -8 + 4 * float(k % 2), 6 * std::cos(float(k))}),
               SPLINE);
    ObjectEntity* wrist = AddObject(scene, "wrist", Tube({{0, 30, 0}, {0, 70, 2}, {0, 130, 6}}, {17, 15, 15}, 10, 1, 1),
                                    OBJECT_ENVIRONMENT, 0x00FFFFFF);
    wrist->environmentMap = chrome;
    SetParent(wrist, palm);

    const struct {
        const char* name;
        Vec3 knuckle;
        float spread;
        float lengths[3];
        float radius;
    } fingers[5] = {{"index", {-23, -38, 0}, 6, {19, 13, 10}, 5.2f},
                    {"middle", {-7.5f, -41, 0}, 1, {22, 15, 11}, 5.5f},
                    {"ring", {8, -39, 0}, -3, {21, 14, 10}, 5.2f},
                    {"little", {22, -34, 0}, -8, {16, 11, 8}, 4.5f},
                    {"thumb", {-31, -2, -4}, 48, {16, 13, 10}, 6.0f}};
    for (int f = 0; f < 5; ++f) {
        Entity* parent = palm;
        for (int s = 0; s < 3; ++s) {
            const std::string name = std::string(fingers[f].name) + "_" + std::to_string(s + 1);
            ObjectEntity* joint = AddObject(scene, name.c_str(), Joint(fingers[f].lengths[s], fingers[f].radius - 0.5f * float(s)),
                                            OBJECT_ENVIRONMENT, 0x00FFFFFF);
            joint->environmentMap = chrome;
            if (s == 2)
                SetGlints(joint, sparkle, 14);
            SetParent(joint, parent);
            const Vec3 at = s == 0 ? fingers[f].knuckle : Vec3{0, -fingers[f].lengths[s - 1], 0};
            for (int k = 0; k < 7; ++k) {
                const double t = std::min(HAND3_SECONDS, poseTimes[k] + (k == 0 ? 0 : 0.12 * f));
                const float curl = curls[k] * (f == 4 ? 0.6f : 1.0f) * (s == 0 ? 0.8f : 1.0f);
                AddKey(joint, t, At(at, {0, curl, s == 0 ? fingers[f].spread * (1.0f - curl / -90.0f) : 0}), SPLINE);
            }
            parent = joint;
        }
    }

    for (int i = 0; i < 6; ++i) {
        const std::string name = "spark_" + std::to_string(i + 1);
        ObjectEntity* spark = AddObject(scene, name.c_str(), Octahedron(2.5f), OBJECT_GLOW | OBJECT_GLOWEDGE, 0x00FFB060);
        spark->glow[0] = 0.05f;
        spark->glow[1] = 1.0f;
        const float radius = float(NextRange(rng, 60, 95));
        const float height = float(NextRange(rng, -170, -60));
        for (int k = 0; k <= 7; ++k)
            AddKey(spark, HAND3_SECONDS * k / 7, At(Orbit(radius, 60.0f * float(i) + 55.0f * float(k), height + 15 * std::sin(float(k + i)))),
                   SPLINE);
    }

    AddCameraKey(scene, 0, {0, -135, -215}, {0, -130, 0}, 0, SPLINE);
    AddCameraKey(scene, HAND3_SECONDS / 2, {28, -145, -195}, {0, -132, 0}, -3, SPLINE);
    AddCameraKey(scene, HAND3_SECONDS, {-10, -130, -210}, {0, -130, 0}, 2, SPLINE);
    SaveAndFree(scene, dir, "hand3.kvor");
}

}  // namespace kvordata
