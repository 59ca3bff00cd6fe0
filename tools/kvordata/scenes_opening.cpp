// The opening scenes: the title's turning nebula (logo), the fogged
// corridor (alien_cor), the birth in the pearl (alien_born) and the lights
// over the tunnel (lights).
#include "scenes.h"

#include <algorithm>
#include <cmath>

using namespace kvor3d;

namespace kvordata {

// Part 1 draws only the background: the nebula image turns and drifts
// with the camera while the title glitches in over it.
void LogoScene(const std::string& dir, uint64_t)
{
    Scene* scene = NewScene(60, 0.5f);
    scene->flags |= BACKGROUND_IMAGE;
    scene->backgroundMap = UseTexture(scene, "nebula.iff");
    scene->backgroundValue2 = 3;
    scene->backgroundColour = 0x050210;
    Entity* stage = AddNull(scene, "stage");
    AddKey(stage, 0, At({0, 0, 0}), HOLD);
    const float turns[][3] = {{0, 0, 0}, {25, -10, 30}, {55, 5, 75}, {80, 15, 110}};
    const double times[] = {0, 3, 6, LOGO_SECONDS};
    for (int i = 0; i < 4; ++i)
        AddKey(scene->camera, times[i], {{0, 0, 0}, {turns[i][0], turns[i][1], turns[i][2]}, {0, 0, 0}}, SPLINE);
    SaveAndFree(scene, dir, "logo.kvor");
}

// Part 2: a corridor of living walls in green fog. Everything is flat or
// textured, the two kinds that fog can fall on; the far plane is the fog's
// end, where the walls have melted into the fog colour.
void AlienCorridorScene(const std::string& dir, uint64_t seed)
{
    Rng rng = ForkRng(seed, "alien_cor");
    Scene* scene = NewScene(70, 0.5f);
    constexpr uint32_t FOG = 0x0A1812;
    scene->flags |= FOG_LINEAR << 12 | SCENE_FOGFAR;
    scene->fog[0] = FOG;
    scene->fog[1] = 60;
    scene->fog[2] = 0;
    scene->fog[3] = 750;
    scene->fog[4] = 0x10000;
    scene->backgroundColour = FOG;
    constexpr float length = 2800;
    constexpr float start = -200;

    std::vector<Vec3> axis;
    std::vector<float> radii;
    for (int i = 0; i <= 56; ++i) {
        axis.push_back({0, 0, start + length * float(i) / 56});
        radii.push_back(72 + 9 * std::sin(float(i) * 1.7f) + float(NextRange(rng, -3, 3)));
    }
    ObjectEntity* walls = AddObject(scene, "walls", Inverted(Tube(axis, radii, 10, 14, 2)),
                                    OBJECT_TEXTURE | OBJECT_PERSPECTIVE, 0);
    Textured(scene, walls, "cor_wall.iff", FILTER_BILINEAR);
    walls->correctionValue = 3;

    ObjectEntity* floor = AddObject(scene, "walkway",
                                    Transformed(Grid(70, length, 2, 56, 128),
                                                [&](Vec3 p) { return Vec3{p.x, 46, p.z + start + length / 2}; }),
                                    OBJECT_TEXTURE, 0);
    Textured(scene, floor, "cor_floor.iff", FILTER_MIPMAP);

    Mesh ribsNear, ribsFar;
    for (int i = 0; i < 14; ++i) {
        const float z = start + 100 + 200 * float(i);
        Mesh rib = Transformed(Torus(64, 6, 16, 3, 1, 1), [&](Vec3 p) { return Vec3{p.x, -p.z, p.y + z}; });
        Append(i % 2 ? ribsFar : ribsNear, rib);
    }
    AddObject(scene, "ribs", ribsNear, 0, 0x00C8B890);
    ObjectEntity* ribsBright = AddObject(scene, "ribs_bright", ribsFar, OBJECT_PERSPECTIVE, 0x00E0D8B0);
    ribsBright->correctionValue = 4;

    Mesh pods;
    for (int i = 0; i < 10; ++i) {
        const float side = i % 2 ? 38.0f : -38.0f;
        const float z = start + 260 + 250 * float(i) + float(NextRange(rng, -40, 40));
        Append(pods, Transformed(Sphere(1, 8, 10, 1, 1), [&](Vec3 p) {
                   return Vec3{side + p.x * 11, -38 + p.y * 19, z + p.z * 11};
               }));
    }
    ObjectEntity* podObject = AddObject(scene, "pods", pods, OBJECT_TEXTURE, 0);
    Textured(scene, podObject, "cor_pod.iff", FILTER_NEAREST);

    Mesh pipes;
    for (float side : {-24.0f, 24.0f}) {
        std::vector<Vec3> path;
        std::vector<float> r;
        for (int i = 0; i <= 28; ++i) {
            path.push_back({side, -64 + 3 * std::sin(float(i)), start + length * float(i) / 28});
            r.push_back(5);
        }
        Append(pipes, Tube(path, r, 6, 20, 1));
    }
    ObjectEntity* pipeObject = AddObject(scene, "pipes", pipes, OBJECT_TEXTURE | OBJECT_PERSPECTIVE, 0);
    Textured(scene, pipeObject, "cube_metal.iff", FILTER_MIPMAP_BILINEAR);
    pipeObject->correctionValue = 3;

    for (int i = 0; i < 8; ++i) {
        const std::string name = "spore_" + std::to_string(i + 1);
        ObjectEntity* spore = AddObject(scene, name.c_str(), Octahedron(3.5f), OBJECT_GLOW | OBJECT_GLOWEDGE,
                                        i % 3 ? 0x0060FFA0 : 0x00C0FF60);
        spore->glow[0] = 0.07f;
        spore->glow[1] = 1.0f;
        const float z0 = 300 + 260 * float(i);
        const Vec3 from = {float(NextRange(rng, -40, 40)), float(NextRange(rng, -40, 20)), z0};
        const Vec3 to = {float(NextRange(rng, -40, 40)), float(NextRange(rng, -50, 10)), z0 - 300};
        AddKey(spore, 0, At(from), LINEAR);
        AddKey(spore, ALIEN_COR_SECONDS, At(to, {720, 360, 0}), LINEAR);
    }

    for (int k = 0; k <= 11; ++k) {
        const float t = float(k) * float(ALIEN_COR_SECONDS) / 11;
        const float z = 1900 * (t / float(ALIEN_COR_SECONDS));
        const Vec3 eye = {18 * std::sin(t * 0.7f), -8 + 14 * std::cos(t * 0.5f), z};
        const Vec3 look = {-20 * std::sin(t * 0.45f), 10 * std::sin(t * 0.3f), z + 220};
        AddCameraKey(scene, t, eye, look, 9 * std::sin(t * 0.4f), SPLINE);
    }
    SaveAndFree(scene, dir, "alien_cor.kvor");
}

namespace {

// The embryo's shapes, all from one sphere of unit radius.
std::vector<MorphShape> EmbryoShapes(const Mesh& base, Rng& rng)
{
    const Fractal wobble = MakeFractal(rng, 2, 3, 0.5f);
    const auto shape = [&](const char* name, const std::function<float(Vec3)>& radius, Vec3 stretch) {
        MorphShape s{name, {}};
        for (Vec3 p : base.points) {
            const float r = radius(p);
            s.points.push_back({p.x * r * stretch.x, p.y * r * stretch.y, p.z * r * stretch.z});
        }
        return s;
    };
    const auto angles = [](Vec3 p, float* theta, float* phi) {
        *theta = std::acos(std::clamp(-p.y, -1.0f, 1.0f));
        *phi = std::atan2(p.x, p.z);
    };
    return {
        shape("seed", [&](Vec3 p) { return 13 + 2.5f * FractalNoise(wobble, p.x * 0.5f + 0.5f, p.z * 0.5f + 0.5f); },
              {1, 1.15f, 1}),
        shape("spiked",
              [&](Vec3 p) {
                  float theta, phi;
                  angles(p, &theta, &phi);
                  const float spike = std::max(0.0f, std::sin(5 * phi) * std::sin(4 * theta));
                  return 17 + 16 * spike * spike * spike;
              },
              {1, 1, 1}),
        shape("creature",
              [&](Vec3 p) {
                  float theta, phi;
                  angles(p, &theta, &phi);
                  return 18 * (1 + 0.4f * std::cos(3 * phi) * std::sin(theta) * std::sin(theta)) +
                         4 * std::sin(theta * 3);
              },
              {1, 1.6f, 0.85f}),
        shape("bloom",
              [&](Vec3 p) {
                  float theta, phi;
                  angles(p, &theta, &phi);
                  const float petal = std::fabs(std::cos(2.5f * phi));
                  return 14 + 20 * petal * std::sin(theta) * (theta > 1.2f ? 1.0f : 0.4f);
              },
              {1, 0.7f, 1}),
    };
}

}  // namespace

// Part 3: a pearl on an altar with an embryo inside. From 8 s the show
// thins the pearl ("alien_ball.lwob") away; the embryo morphs through its
// shapes, grows and puts out tentacles while a red and a blue light circle
// it, the red one beating like a heart.
void AlienBornScene(const std::string& dir, uint64_t seed)
{
    Rng rng = ForkRng(seed, "alien_born");
    Scene* scene = NewScene(60, 0.22f);
    scene->flags |= BACKGROUND_FLOOR;
    scene->floorMap = UseTexture(scene, "born_floor.iff");
    scene->backgroundValue2 = 300;
    scene->backgroundColour = 0x0A0414;
    const Vec3 heart = {0, -95, 0};

    AddObject(scene, "altar", Lathe({{0, -40}, {48, -40}, {56, -32}, {60, -12}, {74, 0}}, 20, 1, 2),
              OBJECT_SHADED, 0x00907080);
    Mesh bones;
    for (int i = 0; i < 10; ++i) {
        const float a = 36.0f * float(i);
        Mesh bone = Lathe({{0, -75}, {3, -50}, {6, -20}, {8, 0}}, 6, 1, 1);
        Append(bones, Transformed(bone, [&](Vec3 p) {
                   const float lean = -p.y * 0.35f;
                   const Vec3 base = Orbit(105 - lean, a, 0);
                   const Vec3 side = Orbit(1, a + 90, 0);
                   const Vec3 out = Orbit(1, a, 0);
                   return base + side * p.x + out * p.z + Vec3{0, p.y, 0};
               }));
    }
    AddObject(scene, "bones", bones, OBJECT_SHADED, 0x00D8CCB0);

    const Mesh base = Sphere(1, 12, 16, 1, 1);
    MorphEntity* embryo = AddMorph(scene, "embryo", base, EmbryoShapes(base, rng), OBJECT_SHADED, 0x00F0B098);
    const char* order[] = {"seed", "seed", "spiked", "spiked", "creature", "bloom", "creature", "spiked", "bloom"};
    const double when[] = {0, 9, 16, 21, 29, 37, 44, 50, ALIEN_BORN_SECONDS};
    for (int i = 0; i < 9; ++i)
        AddMorphKey(embryo, when[i], order[i], LINEAR);
    AddKey(embryo, 0, At(heart, {0, 0, 0}, 0.8f), SPLINE);
    AddKey(embryo, 12, At(heart + Vec3{0, -4, 0}, {90, 10, 0}, 0.9f), SPLINE);
    AddKey(embryo, 24, At(heart + Vec3{0, -10, 0}, {200, -10, 5}, 1.25f), SPLINE);
    AddKey(embryo, 40, At(heart + Vec3{0, -16, 0}, {330, 15, -5}, 1.4f), SPLINE);
    AddKey(embryo, ALIEN_BORN_SECONDS, At(heart + Vec3{0, -12, 0}, {420, 0, 0}, 1.5f), SPLINE);

    ObjectEntity* ball = AddObject(scene, ALIEN_BALL_NAME, Sphere(44, 12, 18, 1, 1),
                                   OBJECT_TRANSPARENT | OBJECT_ENVIRONMENT, 0xFFFFFFFF);
    ball->environmentMap = UseTexture(scene, "env_pearl.iff");
    AddKey(ball, 0, At(heart, {0, 0, 0}), SPLINE);
    AddKey(ball, 8, At(heart + Vec3{0, -6, 0}, {60, 10, 0}), SPLINE);
    AddKey(ball, 20, At(heart + Vec3{0, -2, 0}, {150, 0, 10}), SPLINE);
    AddKey(ball, ALIEN_BORN_SECONDS, At(heart + Vec3{0, -8, 0}, {400, 0, 0}), SPLINE);

    // Tentacles: three segments each, every segment the parent of the next,
    // growing out of the embryo from 12 s.
    for (int t = 0; t < 4; ++t) {
        Entity* parent = embryo;
        for (int s = 0; s < 3; ++s) {
            const float r0 = 4.5f - 1.2f * float(s);
            const std::string name = "tentacle_" + std::to_string(t + 1) + "_" + std::to_string(s + 1);
            ObjectEntity* segment =
                AddObject(scene, name.c_str(),
                          Tube({{0, 0, 0}, {0, 0, 9}, {0, 0, 18}, {0, 0, 26}}, {r0, r0 * 0.95f, r0 * 0.88f, r0 * 0.8f},
                               6, 1, 1),
                          OBJECT_SHADED, 0x00C87098);
            SetParent(segment, parent);
            const Vec3 root = s == 0 ? Orbit(15, 90.0f * float(t) + 45, 6) : Vec3{0, 0, 26};
            const float yaw = s == 0 ? 90.0f * float(t) + 45 : 0;
            const float phase = float(t) * 1.3f + float(s) * 0.7f;
            AddKey(segment, 0, At(root, {yaw, 0, 0}, 0.01f), HIDDEN);
            AddKey(segment, 12, At(root, {yaw, 0, 0}, 0.01f), LINEAR);
            for (int k = 0; k < 9; ++k) {
                const double time = 16 + 5 * k;
                const float wave = std::sin(float(time) * 0.6f + phase);
                AddKey(segment, std::min(time, ALIEN_BORN_SECONDS),
                       At(root, {yaw + 25 * wave, 30 * std::cos(float(time) * 0.5f + phase), 0}, 1.0f), SPLINE);
            }
            parent = segment;
        }
    }

    LightEffect* ember = AddEffect(scene, "ember");
    AddElement(scene, ember, "flare_glow.iff", 1.0f, 0.6f, 0.8f);
    AddElement(scene, ember, "flare_ring.iff", 1.0f, 0.9f, 0.4f);
    LightEntity* red = AddLight(scene, "heart_light", heart, 0x00FF3040, 1.2f, 260, LIGHT_ON | LIGHT_SCALEEFFECT);
    red->effect = ember;
    LightEntity* blue = AddLight(scene, "moon_light", heart, 0x004080FF, 1.0f, 420, LIGHT_ON);
    for (int k = 0; k <= 14; ++k) {
        const double t = ALIEN_BORN_SECONDS * k / 14;
        AddKey(red, t, At(heart + Orbit(70, 200 + 75.0f * float(k), -20 * std::sin(float(k)))), SPLINE);
        AddKey(blue, t, At(heart + Orbit(160, 20 - 50.0f * float(k), -90)), SPLINE);
    }
    for (double t = 0; t <= ALIEN_BORN_SECONDS; t += 1.1) {
        AddLightKey(red, t, 0.5f, LINEAR);
        AddLightKey(red, t + 0.15, 1.5f, LINEAR);
        AddLightKey(red, t + 0.35, 0.8f, LINEAR);
    }

    for (int k = 0; k <= 14; ++k) {
        const float t = float(ALIEN_BORN_SECONDS) * float(k) / 14;
        const float distance = 270 - 100 * t / float(ALIEN_BORN_SECONDS);
        const Vec3 eye = Orbit(distance, 200 + 22 * t, -215 + 60 * t / float(ALIEN_BORN_SECONDS));
        AddCameraKey(scene, t, eye, heart + Vec3{0, 8, 0}, 3 * std::sin(t * 0.3f), SPLINE);
    }
    SaveAndFree(scene, dir, "alien_born.kvor");
}

namespace {

// A (2, 3) torus knot of the given size, as a path.
std::vector<Vec3> TrefoilPath(float size, int points)
{
    std::vector<Vec3> path;
    for (int i = 0; i <= points; ++i) {
        const float t = 2 * float(M_PI) * float(i) / float(points);
        const float r = 2 + std::cos(3 * t);
        path.push_back(Vec3{r * std::cos(2 * t), std::sin(3 * t), r * std::sin(2 * t)} * size);
    }
    return path;
}

}  // namespace

// Part 4, drawn over the tunnel without a background: a chrome knot that
// throws glints, a gold halo, three lava moons circling on a common pivot,
// and three coloured lights with five-element flares weaving through.
void LightsScene(const std::string& dir, uint64_t)
{
    Scene* scene = NewScene(60, 0.5f);
    const std::vector<Vec3> knotPath = TrefoilPath(26, 96);
    ObjectEntity* knot = AddObject(scene, "knot", Tube(knotPath, std::vector<float>(knotPath.size(), 9), 8, 6, 1),
                                   OBJECT_ENVIRONMENT, 0x00FFFFFF);
    knot->environmentMap = UseTexture(scene, "env_chrome.iff");
    knot->material[2] = ENV_FILTER_BILINEAR;
    LightEffect* glint = AddEffect(scene, "glint");
    AddElement(scene, glint, "flare_star.iff", 1.0f, 0.35f, 0.9f);
    AddElement(scene, glint, "flare_dot.iff", 1.0f, 0.5f, 0.6f);
    SetGlints(knot, glint, 7);
    for (int k = 0; k <= 8; ++k) {
        const float t = float(LIGHTS_SECONDS) * float(k) / 8;
        AddKey(knot, t, At({0, 0, 0}, {100 * float(k), 40 * std::sin(float(k)), 30 * std::cos(float(k) * 0.7f)}),
               SPLINE);
    }

    ObjectEntity* halo = AddObject(scene, "halo", Torus(96, 3, 40, 4, 1, 4), OBJECT_ENVIRONMENT | OBJECT_LIGHTMAP,
                                   0x00FFFFFF);
    halo->environmentMap = UseTexture(scene, "env_gold.iff");
    AddKey(halo, 0, At({0, 0, 0}, {0, 70, 0}), LINEAR);
    AddKey(halo, LIGHTS_SECONDS, At({0, 0, 0}, {-180, 70, 360}), LINEAR);

    Entity* pivot = AddNull(scene, "orbit_pivot");
    AddKey(pivot, 0, At({0, 0, 0}, {0, 20, 0}), LINEAR);
    AddKey(pivot, LIGHTS_SECONDS, At({0, 0, 0}, {1080, 20, 0}), LINEAR);
    const Vec3 moons[3] = {{130, 0, 0}, {-65, 25, 113}, {-65, -25, -113}};
    for (int i = 0; i < 3; ++i) {
        const std::string name = "moon_" + std::to_string(i + 1);
        ObjectEntity* moon = AddObject(scene, name.c_str(), Sphere(16, 10, 14, 1, 2), OBJECT_SHADED | OBJECT_TEXTURE,
                                       0x00FFFFFF);
        Textured(scene, moon, "lava.iff", FILTER_NEAREST);
        SetParent(moon, pivot);
        AddKey(moon, 0, At(moons[i]), LINEAR);
        AddKey(moon, LIGHTS_SECONDS, At(moons[i], {-720, 180, 0}), LINEAR);
    }

    LightEffect* flare = AddEffect(scene, "flare");
    AddElement(scene, flare, "flare_glow.iff", 1.0f, 1.3f, 1.0f);
    AddElement(scene, flare, "flare_star.iff", 1.0f, 1.0f, 0.8f);
    AddElement(scene, flare, "flare_ring.iff", 0.55f, 0.8f, 0.5f);
    AddElement(scene, flare, "flare_hex.iff", 0.3f, 0.5f, 0.6f);
    AddElement(scene, flare, "flare_dot.iff", 0.12f, 0.7f, 0.7f);
    const struct {
        const char* name;
        uint32_t colour;
        float radius, tilt, speed, phase, range;
    } lights[3] = {{"light_red", 0x00FF4030, 150, 25, 1.0f, 0, 420},
                   {"light_gold", 0x00FFC060, 170, -35, -0.8f, 120, 460},
                   {"light_blue", 0x003080FF, 140, 70, 1.3f, 240, 400}};
    for (const auto& l : lights) {
        LightEntity* light = AddLight(scene, l.name, {0, 0, 0}, l.colour, 1.6f, l.range, LIGHT_ON | LIGHT_SCALEEFFECT);
        light->effect = flare;
        for (int k = 0; k <= 20; ++k) {
            const float t = float(LIGHTS_SECONDS) * float(k) / 20;
            const float a = l.phase + l.speed * 55 * float(k);
            const Vec3 flat = Orbit(l.radius, a, 0);
            const float tilt = l.tilt / 57.29578f;
            AddKey(light, t, At({flat.x, flat.z * std::sin(tilt), flat.z * std::cos(tilt)}), SPLINE);
        }
        for (int k = 0; k <= 40; ++k)
            AddLightKey(light, LIGHTS_SECONDS * k / 40, k % 3 ? 1.6f : 1.0f, LINEAR);
    }

    for (int k = 0; k <= 8; ++k) {
        const float t = float(LIGHTS_SECONDS) * float(k) / 8;
        AddCameraKey(scene, t, {40 * std::sin(t * 0.2f), -30 * std::cos(t * 0.15f), -300 + 30 * std::sin(t * 0.1f)},
                     {0, 0, 0}, 10 * std::sin(t * 0.12f), SPLINE);
    }
    SaveAndFree(scene, dir, "lights.kvor");
}

}  // namespace kvordata
