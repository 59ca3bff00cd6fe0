// The middle scenes: the ballroom (pani), the cube garden (cube), the twins
// under the dome (lesby_1) and in the glass chapel (lesby_3). Parts 5, 7
// and 8 draw no background, so those scenes stand inside closed rooms that
// cover every pixel of every frame; the rooms are drawn first whatever
// their depth.
#include "scenes.h"

#include <algorithm>
#include <cmath>

using namespace kvor3d;

namespace kvordata {

namespace {

// A room's four walls between floor y = 0 and ceiling y = −height, facing
// inward, each cut into quads and mapped `repeats` times along.
Mesh RoomWalls(float half, float height, int columns, float repeats)
{
    Mesh walls;
    const float across = 256.0f * repeats;
    Append(walls, Panel({-half, -height, half}, {0, height, 0}, {2 * half, 0, 0}, 2, columns, 256, across, {0, 0, -1}));
    Append(walls, Panel({half, -height, -half}, {0, height, 0}, {-2 * half, 0, 0}, 2, columns, 256, across, {0, 0, 1}));
    Append(walls, Panel({half, -height, half}, {0, height, 0}, {0, 0, -2 * half}, 2, columns, 256, across, {-1, 0, 0}));
    Append(walls, Panel({-half, -height, -half}, {0, height, 0}, {0, 0, 2 * half}, 2, columns, 256, across, {1, 0, 0}));
    return walls;
}

Mesh Lifted(const Mesh& mesh, Vec3 by)
{
    return Transformed(mesh, [&](Vec3 p) { return p + by; });
}

// Thin flat shards scattered on a ring around the y axis.
Mesh Shards(Rng& rng, int count, float radius, float height, float size)
{
    Mesh shards;
    for (int i = 0; i < count; ++i) {
        const float a = 360.0f * float(i) / float(count) + float(NextRange(rng, -10, 10));
        const Vec3 centre = Orbit(radius + float(NextRange(rng, -40, 40)), a, height + float(NextRange(rng, -60, 60)));
        const Vec3 across = Orbit(size * float(NextRange(rng, 0.6, 1.2)), a + 90 + float(NextRange(rng, -30, 30)), 0);
        const Vec3 up = {float(NextRange(rng, -0.3, 0.3)) * size, -size * float(NextRange(rng, 1.0, 1.8)), 0};
        Append(shards, Panel(centre - (across + up) * 0.5f, up, across, 1, 1, 256, 256, Orbit(1, a + 180, 0)));
    }
    return shards;
}

}  // namespace

// Part 5: a ballroom. Three dancers in lace skirts turn on a carousel
// under a chandelier whose flare the show makes pulse on the beat (its
// effect is the scene's first, the glow its first element); a red light
// sweeps the walls and pools on the marble floor.
void PaniScene(const std::string& dir, uint64_t)
{
    Scene* scene = NewScene(75, 0.32f);
    LightEffect* pulse = AddEffect(scene, "pulse");
    AddElement(scene, pulse, "flare_glow.iff", 1.0f, 0.1f, 1.0f);
    AddElement(scene, pulse, "flare_ring.iff", 0.6f, 0.5f, 0.5f);
    AddElement(scene, pulse, "flare_hex.iff", 0.35f, 0.3f, 0.6f);
    AddElement(scene, pulse, "flare_dot.iff", 0.15f, 0.4f, 0.6f);
    constexpr float half = 350;
    constexpr float height = 330;

    ObjectEntity* walls = AddObject(scene, "walls", RoomWalls(half, height, 4, 3),
                                    OBJECT_TEXTURE | OBJECT_PERSPECTIVE | OBJECT_DEPTHBIAS, 0);
    Textured(scene, walls, "pani_wall.iff", FILTER_NEAREST);
    walls->correctionValue = 4;
    ObjectEntity* floor = AddObject(scene, "floor", Grid(2 * half, 2 * half, 12, 12, 64),
                                    OBJECT_SHADED | OBJECT_TEXTURE | OBJECT_PERSPECTIVE | OBJECT_DEPTHBIAS, 0x00FFFFFF);
    Textured(scene, floor, "pani_floor.iff", FILTER_NEAREST);
    floor->correctionValue = 3;
    ObjectEntity* ceiling = AddObject(scene, "ceiling", Lifted(Inverted(Grid(2 * half, 2 * half, 4, 4, 128)), {0, -height, 0}),
                                      OBJECT_TEXTURE | OBJECT_PERSPECTIVE | OBJECT_DEPTHBIAS, 0);
    Textured(scene, ceiling, "pani_ceiling.iff", FILTER_BILINEAR);
    ceiling->correctionValue = 4;

    Entity* chandelier = AddNull(scene, "chandelier");
    AddKey(chandelier, 0, At({0, -262, 0}), LINEAR);
    AddKey(chandelier, PANI_SECONDS, At({0, -262, 0}, {540, 0, 0}), LINEAR);
    ObjectEntity* crystal = AddObject(scene, "crystal", Transformed(Octahedron(16), [](Vec3 p) {
                                          return Vec3{p.x, p.y * 2.2f, p.z};
                                      }),
                                      OBJECT_ENVIRONMENT, 0x00FFFFFF);
    crystal->environmentMap = UseTexture(scene, "env_gold.iff");
    SetParent(crystal, chandelier);
    Mesh arms;
    for (int i = 0; i < 6; ++i)
        Append(arms, Tube({{0, 0, 0}, Orbit(30, 60.0f * float(i), 8), Orbit(52, 60.0f * float(i), -6)}, {2, 2, 1.5f}, 5,
                          1, 1));
    ObjectEntity* armObject = AddObject(scene, "chandelier_arms", arms, OBJECT_ENVIRONMENT, 0x00FFFFFF);
    armObject->environmentMap = crystal->environmentMap;
    SetParent(armObject, chandelier);
    LightEntity* candle = AddLight(scene, "chandelier_light", {0, -236, 0}, 0x00FFD8A0, 1.0f, 720, LIGHT_ON);
    candle->effect = pulse;
    LightEntity* spot = AddLight(scene, "red_light", {0, -100, 0}, 0x00FF2050, 1.3f, 380, LIGHT_ON);
    for (int k = 0; k <= 14; ++k) {
        const double t = PANI_SECONDS * k / 14;
        AddKey(spot, t, At(Orbit(260, 40.0f * float(k), -60 - 40 * std::sin(float(k)))), SPLINE);
    }

    Entity* carousel = AddNull(scene, "carousel");
    AddKey(carousel, 0, At({0, 0, 0}), SPLINE);
    AddKey(carousel, PANI_SECONDS / 2, At({0, 0, 0}, {130, 0, 0}), SPLINE);
    AddKey(carousel, PANI_SECONDS, At({0, 0, 0}, {240, 0, 0}), SPLINE);
    for (int i = 0; i < 3; ++i) {
        const std::string n = std::to_string(i + 1);
        Entity* dancer = AddNull(scene, ("dancer_" + n).c_str());
        SetParent(dancer, carousel);
        const Vec3 place = Orbit(135, 120.0f * float(i), 0);
        for (int k = 0; k <= 14; ++k) {
            const double t = PANI_SECONDS * k / 14;
            AddKey(dancer, t, At(place + Vec3{0, -6 * std::fabs(std::sin(float(k) * 1.3f + float(i))), 0},
                                 {-110.0f * float(k), 4 * std::sin(float(k) + float(i)), 0}),
                   SPLINE);
        }
        ObjectEntity* skirt = AddObject(scene, ("skirt_" + n).c_str(),
                                        Lathe({{11, -76}, {20, -58}, {34, -32}, {50, -6}}, 16, 1, 3, false),
                                        OBJECT_TRANSPARENT | OBJECT_TEXTURE | OBJECT_DOUBLESIDED, 0xFFFFFFFF);
        Textured(scene, skirt, "silk.iff", FILTER_NEAREST);
        skirt->transparencyMap = UseTexture(scene, "lace_mask.iff");
        SetParent(skirt, dancer);
        ObjectEntity* body = AddObject(scene, ("bodice_" + n).c_str(),
                                       Lathe({{0, -128}, {9, -124}, {11, -112}, {15, -102}, {8, -88}, {12, -76}}, 12, 1, 2),
                                       OBJECT_SHADED | OBJECT_TEXTURE, 0x00FFFFFF);
        Textured(scene, body, "silk.iff", FILTER_NEAREST);
        SetParent(body, dancer);
        ObjectEntity* head = AddObject(scene, ("head_" + n).c_str(), Lifted(Sphere(8, 8, 10, 1, 1), {0, -139, 0}),
                                       OBJECT_SHADED, 0x00F0D8C8);
        SetParent(head, dancer);
    }

    for (int k = 0; k <= 14; ++k) {
        const float t = float(PANI_SECONDS) * float(k) / 14;
        const Vec3 eye = Orbit(250 - 30 * std::sin(t * 0.3f), 180 - 9 * t, -78 - 20 * std::sin(t * 0.5f));
        AddCameraKey(scene, t, eye, {0, -140 - 25 * std::sin(t * 0.4f), 0}, 4 * std::sin(t * 0.25f), SPLINE);
    }
    SaveAndFree(scene, dir, "pani.kvor");
}

// Part 6: a garden of cubes between a cloudy sky and a mossy floor. A big
// cube turns above a plinth; six cubes circle it on a pivot, each with its
// own surface (every texture filter, chrome, gold, glass), each with a
// small satellite that comes and goes. The sun stands behind the garden,
// facing the camera; a light above the camera throws the cubes' shadows
// onto the plinth. The chrome and gold cubes keep their sides' corners
// apart for flat reflections and so cast no shadow.
void CubeScene(const std::string& dir, uint64_t)
{
    Scene* scene = NewScene(64, 0.42f);
    scene->flags |= BACKGROUND_FLOORSKY | SCENE_SHADOWS;
    scene->floorMap = UseTexture(scene, "cube_floor.iff");
    scene->skyMap = UseTexture(scene, "cube_sky.iff");
    scene->backgroundValue2 = 420;
    scene->backgroundColour = 0x8090A0;
    const Vec3 centre = {0, -130, 0};
    const auto orbitAngle = [](double t) { return float(200 + 190 * t / CUBE_SECONDS); };

    AddObject(scene, "plinth", Lifted(Box({380, 24, 380}, 256), {0, -12, 0}), OBJECT_SHADED, 0x00C8C4BC);
    ObjectEntity* monolith = AddObject(scene, "monolith", ClosedBox({110, 110, 110}, 256),
                                       OBJECT_TEXTURE | OBJECT_SHADOWCASTER, 0);
    Textured(scene, monolith, "cube_metal.iff", FILTER_BILINEAR);
    for (int k = 0; k <= 6; ++k) {
        const double t = CUBE_SECONDS * k / 6;
        AddKey(monolith, t, At(centre + Vec3{0, -12 * std::sin(float(k)), 0}, {60.0f * float(k), 25 * std::sin(float(k) * 0.9f), 20 * std::cos(float(k))}), SPLINE);
    }

    Entity* pivot = AddNull(scene, "cube_pivot");
    AddKey(pivot, 0, At(centre, {0, 0, 0}), LINEAR);
    AddKey(pivot, CUBE_SECONDS, At(centre, {-300, 0, 0}), LINEAR);
    struct Child {
        const char* name;
        uint32_t flags;
        const char* texture;
        uint32_t filter;
        const char* environment;
        uint32_t colour;
    };
    const Child children[6] = {
        {"cube_nearest", OBJECT_TEXTURE, "cube_circuit.iff", FILTER_NEAREST, nullptr, 0},
        {"cube_mip", OBJECT_TEXTURE, "cube_circuit.iff", FILTER_MIPMAP, nullptr, 0},
        {"cube_wood", OBJECT_TEXTURE, "cube_wood.iff", FILTER_MIPMAP_BILINEAR, nullptr, 0},
        {"cube_chrome", OBJECT_ENVIRONMENT, nullptr, 0, "env_chrome.iff", 0x00FFFFFF},
        {"cube_gold", OBJECT_ENVIRONMENT | OBJECT_PERSPECTIVE, nullptr, 0, "env_gold.iff", 0x00FFFFFF},
        {"cube_glass", OBJECT_TRANSPARENT | OBJECT_TEXTURE, "shard.iff", FILTER_NEAREST, nullptr, 0xA0FFFFFF},
    };
    for (int i = 0; i < 6; ++i) {
        const Child& c = children[i];
        ObjectEntity* cube = c.environment ? AddObject(scene, c.name, Box({42, 42, 42}, 256), c.flags, c.colour)
                                           : AddObject(scene, c.name, ClosedBox({42, 42, 42}, 256),
                                                       c.flags | OBJECT_SHADOWCASTER, c.colour);
        if (c.texture)
            Textured(scene, cube, c.texture, c.filter);
        if (c.environment)
            cube->environmentMap = UseTexture(scene, c.environment);
        cube->correctionValue = 3;
        SetParent(cube, pivot);
        const Vec3 place = Orbit(165, 60.0f * float(i), 18 * std::sin(float(i) * 2.1f));
        for (int k = 0; k <= 6; ++k) {
            const double t = CUBE_SECONDS * k / 6;
            const float pulse = 1.0f + 0.18f * std::sin(float(k) * 1.7f + float(i));
            AddKey(cube, t, At(place + Vec3{0, -14 * std::sin(float(k) + float(i)), 0},
                               {90.0f * float(k) * (i % 2 ? 1 : -1), 45.0f * float(k), 20.0f * float(i)}, pulse),
                   SPLINE);
        }
        const std::string satelliteName = std::string(c.name) + "_satellite";
        ObjectEntity* satellite = AddObject(scene, satelliteName.c_str(), ClosedBox({12, 12, 12}, 256),
                                            OBJECT_SHADOWCASTER, 0x00FFD040 - 0x002000 * uint32_t(i));
        SetParent(satellite, cube);
        const double on = 2.0 + 1.3 * i;
        AddKey(satellite, 0, At({34, 0, 0}), HIDDEN);
        AddKey(satellite, on, At({34, 0, 0}), LINEAR);
        AddKey(satellite, on + 7, At({0, -34, 0}, {180, 90, 0}), LINEAR | HIDDEN);
        AddKey(satellite, on + 9, At({-34, 0, 0}, {180, 90, 0}), LINEAR);
        AddKey(satellite, CUBE_SECONDS, At({0, 34, 0}, {360, 180, 0}), LINEAR);
    }

    LightEffect* sunFlare = AddEffect(scene, "sun_flare");
    AddElement(scene, sunFlare, "flare_glow.iff", 1.0f, 2.4f, 1.0f);
    AddElement(scene, sunFlare, "flare_star.iff", 1.0f, 1.8f, 0.9f);
    AddElement(scene, sunFlare, "flare_ring.iff", 0.5f, 1.2f, 0.5f);
    AddElement(scene, sunFlare, "flare_hex.iff", 0.25f, 0.7f, 0.6f);
    AddElement(scene, sunFlare, "flare_dot.iff", 0.1f, 0.9f, 0.7f);
    LightEntity* sun = AddLight(scene, "sun", {0, 0, 0}, 0x00FFF0D8, 1.0f, 0, LIGHT_ON);
    sun->effect = sunFlare;
    // The shadows come from above the camera and a little ahead of it, so
    // that the sides the camera sees are lit and the cubes' shadows fall
    // on the plinth behind them. Cast from the sun they would leave those
    // sides dark, and the floor, a background, takes no shadow.
    LightEntity* shadowLight = AddLight(scene, "shadow_light", {0, 0, 0}, 0, 0, 0, LIGHT_SHADOWS);
    for (int k = 0; k <= 8; ++k) {
        const double t = CUBE_SECONDS * k / 8;
        AddKey(sun, t, At(Orbit(900, orbitAngle(t) + 180 + 25, -620)), SPLINE);
        const Vec3 eye = Orbit(430 - 60 * std::sin(float(k) * 0.6f), orbitAngle(t), -150 - 40 * std::sin(float(k) * 0.8f));
        AddCameraKey(scene, t, eye, centre + Vec3{0, -30, 0}, 0, SPLINE);
        AddKey(shadowLight, t, At(eye + (centre - eye) * 0.25f + Vec3{0, -300, 0}), SPLINE);
    }
    SaveAndFree(scene, dir, "cube.kvor");
}

namespace {

// Twin shapes from one sphere: a twisted coil, arms opened, and a body
// reaching along +x.
std::vector<MorphShape> TwinShapes(const Mesh& base)
{
    const auto shape = [&](const char* name, const std::function<Vec3(Vec3)>& move) {
        MorphShape s{name, {}};
        for (Vec3 p : base.points)
            s.points.push_back(move(p));
        return s;
    };
    return {
        shape("coil",
              [](Vec3 p) {
                  const float twist = p.y * 2.5f;
                  const float r = 20 + 6 * std::cos(p.y * 6);
                  return Vec3{(p.x * std::cos(twist) - p.z * std::sin(twist)) * r, p.y * 70,
                              (p.x * std::sin(twist) + p.z * std::cos(twist)) * r};
              }),
        shape("open",
              [](Vec3 p) {
                  const float arms = std::exp(-std::pow((p.y + 0.35f) * 5, 2.0f)) * 45;
                  return Vec3{p.x * (22 + arms), p.y * 62, p.z * 20};
              }),
        shape("reach",
              [](Vec3 p) {
                  const float lean = (-p.y + 1) * 0.5f;
                  return Vec3{p.x * 20 + 45 * lean * lean, p.y * 66, p.z * 18};
              }),
    };
}

}  // namespace

// Part 7: two veiled figures circle each other under a dome of vertex-lit
// night colour, coiling, opening and reaching; their veils are seen through
// where the veil map is dark. The show narrows the wide field of view to 55
// degrees in the first second.
void Lesby1Scene(const std::string& dir, uint64_t seed)
{
    Rng rng = ForkRng(seed, "lesby_1");
    Scene* scene = NewScene(100, 0.18f);
    scene->ambientValue2 = 1.0f;
    ObjectEntity* dome = AddObject(scene, "dome", Inverted(Sphere(1200, 14, 20, 1, 1)),
                                   OBJECT_SHADED | OBJECT_VERTEXCOLOURS | OBJECT_DEPTHBIAS, 0x005A70FF);
    for (uint32_t i = 0; i < dome->vertexCount; ++i) {
        const float up = -dome->vertices[i].position[1] / 1200.0f;
        const float glow = 0.25f + 0.6f * std::max(0.0f, up) + 0.3f * std::exp(-up * up * 30.0f);
        dome->vertices[i].colour = uint32_t(std::clamp(glow, 0.0f, 1.0f) * 200.0f) * 0x010101;
    }

    Entity* twins = AddNull(scene, "twins");
    for (int k = 0; k <= 10; ++k)
        AddKey(twins, LESBY1_SECONDS * k / 10, At({0, -40, 0}, {-45.0f * float(k), 8 * std::sin(float(k)), 0}), SPLINE);
    const Mesh base = Sphere(1, 10, 14, 1, 2);
    const std::vector<MorphShape> shapes = TwinShapes(base);
    MorphEntity* a = AddMorph(scene, "twin_a", base, shapes, OBJECT_TRANSPARENT | OBJECT_ENVIRONMENT, 0xFFFFFFFF);
    MorphEntity* b = AddMorph(scene, "twin_b", base, shapes,
                              OBJECT_TRANSPARENT | OBJECT_ENVIRONMENT | OBJECT_PERSPECTIVE, 0xFFFFFFFF);
    b->correctionValue = 3;
    const char* order[] = {"coil", "open", "reach", "coil", "open", "reach"};
    for (MorphEntity* twin : {a, b}) {
        twin->environmentMap = UseTexture(scene, "env_aurora.iff");
        twin->transparencyMap = UseTexture(scene, "veil_mask.iff");
        SetParent(twin, twins);
        for (int k = 0; k < 6; ++k)
            AddMorphKey(twin, LESBY1_SECONDS * k / 5, order[(k + (twin == b ? 1 : 0)) % 6], LINEAR);
    }
    AddKey(a, 0, At({48, 0, 0}), SPLINE);
    AddKey(a, LESBY1_SECONDS, At({30, -10, 0}, {40, 0, 10}), SPLINE);
    AddKey(b, 0, At({-48, 0, 0}, {180, 0, 0}), SPLINE);
    AddKey(b, LESBY1_SECONDS, At({-30, -10, 0}, {220, 0, -10}), SPLINE);

    Mesh motes;
    for (int i = 0; i < 10; ++i)
        Append(motes, Lifted(Sphere(4, 6, 8, 1, 1),
                             Orbit(float(NextRange(rng, 90, 140)), 36.0f * float(i), float(NextRange(rng, -60, 40)))));
    ObjectEntity* moteObject = AddObject(scene, "motes", motes, OBJECT_SHADED, 0x00FFFFFF);
    SetParent(moteObject, twins);
    LightEntity* wisp = AddLight(scene, "wisp", {0, 0, 0}, 0x00FF80C0, 2.5f, 520, LIGHT_ON);
    for (int k = 0; k <= 10; ++k)
        AddKey(wisp, LESBY1_SECONDS * k / 10, At(Orbit(110, 70.0f * float(k), -40 - 30 * std::sin(float(k)))), SPLINE);

    for (int k = 0; k <= 5; ++k) {
        const float t = float(LESBY1_SECONDS) * float(k) / 5;
        AddCameraKey(scene, t, {50 * std::sin(t * 0.2f), -60 + 10 * std::sin(t * 0.3f), -230 + 3 * t}, {0, -40, 0},
                     5 * std::sin(t * 0.2f), SPLINE);
    }
    SaveAndFree(scene, dir, "lesby_1.kvor");
}

// Part 8: the twins are one, a turning rose-pink ring lit by two coloured
// lights in an octagonal chapel of stained glass; glass shards and panes
// drift around it, clear by weight or through their crack maps.
void Lesby3Scene(const std::string& dir, uint64_t seed)
{
    Rng rng = ForkRng(seed, "lesby_3");
    Scene* scene = NewScene(70, 0.3f);
    ObjectEntity* chapel = AddObject(scene, "chapel", Inverted(Lathe({{620, -520}, {620, 0}}, 8, 2, 8)),
                                     OBJECT_TEXTURE | OBJECT_PERSPECTIVE | OBJECT_DEPTHBIAS, 0);
    Textured(scene, chapel, "stained.iff", FILTER_MIPMAP_BILINEAR);
    chapel->correctionValue = 4;

    ObjectEntity* ring = AddObject(scene, "union", Torus(62, 24, 24, 12, 1, 1), OBJECT_SHADED | OBJECT_PERSPECTIVE,
                                   0x00FFE0F0);
    ring->correctionValue = 3;
    for (int k = 0; k <= 8; ++k)
        AddKey(ring, LESBY3_SECONDS * k / 8, At({0, -170, 0}, {45.0f * float(k), 60 + 20 * std::sin(float(k)), 30.0f * float(k)}),
               SPLINE);

    struct Glass {
        const char* name;
        uint32_t flags;
        const char* texture;
        bool mask;
        uint32_t colour;
        float radius, height, size, speed;
    };
    const Glass glass[4] = {
        {"shards_clear", OBJECT_TRANSPARENT, nullptr, false, 0xA0C0E0FF, 190, -190, 34, 30},
        {"shards_cracked", OBJECT_TRANSPARENT | OBJECT_PERSPECTIVE, nullptr, true, 0x00E0F0FF, 240, -150, 44, -24},
        {"panes_ice", OBJECT_TRANSPARENT | OBJECT_TEXTURE | OBJECT_PERSPECTIVE, "shard.iff", false, 0xC0FFFFFF, 300,
         -220, 56, 18},
        {"panes_stained", OBJECT_TRANSPARENT | OBJECT_TEXTURE | OBJECT_PERSPECTIVE, "stained.iff", true, 0x00FFFFFF,
         150, -260, 40, -36},
    };
    for (const Glass& g : glass) {
        ObjectEntity* object = AddObject(scene, g.name, Shards(rng, 9, g.radius, g.height, g.size),
                                         g.flags | OBJECT_DOUBLESIDED, g.colour);
        if (g.texture)
            Textured(scene, object, g.texture, FILTER_NEAREST);
        if (g.mask)
            object->transparencyMap = UseTexture(scene, "shard_mask.iff");
        object->correctionValue = 3;
        AddKey(object, 0, At({0, 0, 0}), LINEAR);
        AddKey(object, LESBY3_SECONDS, At({0, 0, 0}, {g.speed * float(LESBY3_SECONDS), 0, 0}), LINEAR);
    }

    LightEntity* rose = AddLight(scene, "rose", {0, 0, 0}, 0x00FF6090, 1.3f, 320, LIGHT_ON);
    LightEntity* azure = AddLight(scene, "azure", {0, 0, 0}, 0x0060A0FF, 1.3f, 320, LIGHT_ON);
    for (int k = 0; k <= 10; ++k) {
        const double t = LESBY3_SECONDS * k / 10;
        AddKey(rose, t, At(Orbit(130, 50.0f * float(k), -230)), SPLINE);
        AddKey(azure, t, At(Orbit(130, 50.0f * float(k) + 180, -110)), SPLINE);
    }

    for (int k = 0; k <= 8; ++k) {
        const float t = float(LESBY3_SECONDS) * float(k) / 8;
        AddCameraKey(scene, t, Orbit(330 - 60 * std::sin(t * 0.2f), 15 * t, -140 - 40 * std::sin(t * 0.3f)),
                     {0, -175, 0}, 0, SPLINE);
    }
    SaveAndFree(scene, dir, "lesby_3.kvor");
}

}  // namespace kvordata
