// The textures the scenes name: surface maps, background planes,
// environment maps, transparency maps and flare sprites. Surface and plane
// maps are 256 × 256 and tile; environment maps are lit spheres seen from
// the front (the centre faces the camera); flare sprites are glows on black,
// which adds nothing where a sprite is drawn.
#include "kvordata.h"

#include <algorithm>
#include <cmath>
#include <functional>

using namespace kvor3d;

namespace kvordata {

namespace {

constexpr int SIDE = 256;
constexpr int SPRITE_SIDE = 64;
constexpr float TAU = float(2 * M_PI);

using Shader = std::function<Rgb(float u, float v)>;

// A square picture whose pixel (x, y) is shader(x / side, y / side).
Picture Shade(int side, const Shader& shader)
{
    Picture picture = MakePicture(side, side);
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            SetPixel(picture, x, y, shader(float(x) / float(side), float(y) / float(side)));
    return picture;
}

// Distances to the nearest and second nearest of one jittered point per
// cell, on a grid of `cells` × `cells` that wraps, in cell units, and the
// grid cell of the nearest point.
struct CellPoints {
    int cells;
    std::vector<float> points;  // x, y in 0 … 1 within each cell
};

CellPoints MakeCells(Rng& rng, int cells)
{
    CellPoints c{cells, std::vector<float>(size_t(cells) * cells * 2)};
    for (float& p : c.points)
        p = float(NextRange(rng, 0.1, 0.9));
    return c;
}

void CellDistances(const CellPoints& c, float u, float v, float* f1, float* f2, size_t* nearest = nullptr)
{
    const float x = u * float(c.cells);
    const float y = v * float(c.cells);
    const int cx = int(std::floor(x));
    const int cy = int(std::floor(y));
    *f1 = *f2 = 1e9f;
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const int gx = ((cx + dx) % c.cells + c.cells) % c.cells;
            const int gy = ((cy + dy) % c.cells + c.cells) % c.cells;
            const size_t i = (size_t(gy) * c.cells + gx) * 2;
            const float px = float(cx + dx) + c.points[i] - x;
            const float py = float(cy + dy) + c.points[i + 1] - y;
            const float d = std::sqrt(px * px + py * py);
            if (d < *f1) {
                *f2 = *f1;
                *f1 = d;
                if (nearest)
                    *nearest = i / 2;
            } else if (d < *f2) {
                *f2 = d;
            }
        }
}

float Smooth(float edge0, float edge1, float x)
{
    const float t = std::clamp((x - edge0) / (edge1 - edge0), 0.0f, 1.0f);
    return t * t * (3 - 2 * t);
}

// ---- Surfaces -------------------------------------------------------------------------

Picture Nebula(Rng& rng)
{
    const Fractal gas = MakeFractal(rng, 3, 6, 0.55f);
    const Fractal dust = MakeFractal(rng, 5, 5, 0.5f);
    Picture picture = Shade(SIDE, [&](float u, float v) {
        const float g = 0.5f + 0.5f * FractalNoise(gas, u, v);
        const float d = std::max(0.0f, FractalNoise(dust, u, v));
        Rgb c = Ramp({HexColour(0x02010A), HexColour(0x1A0A40), HexColour(0x5A1A70), HexColour(0xE0607A),
                      HexColour(0xFFE0B0)},
                     std::pow(g, 1.8f));
        return Scale(c, 1.0f - 0.7f * d);
    });
    for (int i = 0; i < 260; ++i) {
        const int x = int(NextRange(rng, 0, SIDE));
        const int y = int(NextRange(rng, 0, SIDE));
        const float b = float(NextRange(rng, 0.4, 1.0));
        SetPixel(picture, x, y, Add(GetPixel(picture, x, y), {b, b, b * 0.9f}));
    }
    return picture;
}

Picture CorridorWall(Rng& rng)
{
    const Fractal flesh = MakeFractal(rng, 4, 5, 0.55f);
    const Fractal veins = MakeFractal(rng, 6, 4, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float rib = std::pow(0.5f + 0.5f * std::cos(TAU * 4 * v + 0.8f * FractalNoise(flesh, u, v)), 3.0f);
        const float vein = std::pow(1.0f - std::fabs(FractalNoise(veins, u, v)), 14.0f);
        Rgb c = Ramp({HexColour(0x081410), HexColour(0x1E3A30), HexColour(0x5A7A5A), HexColour(0xC8C8A0)},
                     0.25f + 0.6f * rib + 0.15f * FractalNoise(flesh, u * 2, v * 2));
        return Add(c, Scale(HexColour(0x60FFB0), vein * 0.6f));
    });
}

Picture Grating(Rng& rng)
{
    const Fractal rust = MakeFractal(rng, 8, 4, 0.55f);
    return Shade(SIDE, [&](float u, float v) {
        const float gx = std::fabs(std::fmod(u * 16.0f, 1.0f) - 0.5f);
        const float gy = std::fabs(std::fmod(v * 16.0f, 1.0f) - 0.5f);
        const float bar = std::max(Smooth(0.30f, 0.36f, gx), Smooth(0.30f, 0.36f, gy));
        const float r = 0.5f + 0.5f * FractalNoise(rust, u, v);
        const Rgb metal = Mix(HexColour(0x6A7078), HexColour(0x8A4A20), r * 0.7f);
        return Mix(HexColour(0x020404), Scale(metal, 0.7f + 0.3f * (1 - gx - gy)), bar);
    });
}

Picture PodSkin(Rng& rng)
{
    const CellPoints cells = MakeCells(rng, 8);
    return Shade(SIDE, [&](float u, float v) {
        float f1, f2;
        CellDistances(cells, u, v, &f1, &f2);
        const float edge = Smooth(0.0f, 0.12f, f2 - f1);
        Rgb c = Ramp({HexColour(0x401000), HexColour(0xC06010), HexColour(0xFFD060)}, 1.0f - f1 * 0.9f);
        return Mix(HexColour(0x100400), c, edge);
    });
}

Picture BirthFloor(Rng& rng)
{
    const CellPoints cells = MakeCells(rng, 6);
    const Fractal tone = MakeFractal(rng, 4, 4, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        float f1, f2;
        CellDistances(cells, u, v, &f1, &f2);
        const float seam = 1.0f - Smooth(0.0f, 0.08f, f2 - f1);
        const float t = 0.5f + 0.5f * FractalNoise(tone, u, v);
        Rgb c = Ramp({HexColour(0x06020C), HexColour(0x240A30), HexColour(0x4A1A40)}, t * (1.0f - f1));
        return Add(c, Scale(HexColour(0xFF3060), seam * 0.9f));
    });
}

Picture Lava(Rng& rng)
{
    const CellPoints cells = MakeCells(rng, 10);
    const Fractal heat = MakeFractal(rng, 4, 4, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        float f1, f2;
        CellDistances(cells, u, v, &f1, &f2);
        const float crack = 1.0f - Smooth(0.0f, 0.1f, f2 - f1);
        const float h = 0.5f + 0.5f * FractalNoise(heat, u, v);
        const Rgb rock = Ramp({HexColour(0x1A1010), HexColour(0x4A3430)}, h);
        return Mix(rock, Ramp({HexColour(0xC02000), HexColour(0xFFC040)}, h), crack);
    });
}

Picture Damask(Rng& rng)
{
    const Fractal wear = MakeFractal(rng, 8, 3, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float x = std::fabs(std::fmod(u * 4.0f, 1.0f) - 0.5f) * 2;  // mirrored tiles
        const float y = std::fmod(v * 2.0f, 1.0f) * 2 - 1;
        const float petal = std::sin(6.0f * std::atan2(y, x + 0.05f)) * 0.25f + 0.55f;
        const float r = std::sqrt(x * x * 1.8f + y * y);
        const float motif = Smooth(0.04f, 0.0f, std::fabs(r - petal * 0.8f)) +
                            Smooth(0.05f, 0.0f, std::fabs(x - 0.15f * std::sin(y * 9.0f)) - 0.02f);
        const Rgb ground = Mix(HexColour(0x3A0610), HexColour(0x5A1020), 0.5f + 0.5f * FractalNoise(wear, u, v));
        return Mix(ground, HexColour(0xE0B050), std::min(1.0f, motif));
    });
}

Picture MarbleChecker(Rng& rng, uint32_t dark, uint32_t light, int tiles)
{
    const Fractal marble = MakeFractal(rng, 3, 6, 0.55f);
    return Shade(SIDE, [&](float u, float v) {
        const int tx = int(u * float(tiles));
        const int ty = int(v * float(tiles));
        const float vein = std::pow(std::fabs(std::sin(TAU * (u + v) * 2 + 5.0f * FractalNoise(marble, u, v))), 0.35f);
        const bool odd = (tx + ty) & 1;
        Rgb c = odd ? Mix(HexColour(dark), HexColour(light), 0.15f * vein) : Mix(HexColour(light), HexColour(dark), 0.25f * (1 - vein));
        const float gx = std::fabs(std::fmod(u * float(tiles), 1.0f) - 0.5f);
        const float gy = std::fabs(std::fmod(v * float(tiles), 1.0f) - 0.5f);
        return Scale(c, 1.0f - 0.35f * Smooth(0.46f, 0.5f, std::max(gx, gy)));
    });
}

Picture Gilded(Rng& rng)
{
    const Fractal glow = MakeFractal(rng, 4, 5, 0.55f);
    return Shade(SIDE, [&](float u, float v) {
        const float gx = std::fabs(std::fmod(u * 4.0f, 1.0f) - 0.5f);
        const float gy = std::fabs(std::fmod(v * 4.0f, 1.0f) - 0.5f);
        const float frame = Smooth(0.40f, 0.44f, std::max(gx, gy));
        const float g = 0.5f + 0.5f * FractalNoise(glow, u, v);
        const Rgb panel = Ramp({HexColour(0x101838), HexColour(0x283870)}, g);
        return Mix(panel, Ramp({HexColour(0x806020), HexColour(0xFFE090)}, g), frame);
    });
}

Picture Silk(Rng& rng)
{
    const Fractal flow = MakeFractal(rng, 2, 4, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float sheen = 0.5f + 0.5f * std::sin(TAU * (3 * u + 0.6f * FractalNoise(flow, u, v)));
        return Ramp({HexColour(0x602050), HexColour(0xE070A0), HexColour(0xFFE0F0)}, sheen);
    });
}

// Lace: rosettes of rings and petals, white where the cloth is.
Picture Lace()
{
    return Shade(SIDE, [](float u, float v) {
        const float x = std::fmod(u * 4.0f, 1.0f) - 0.5f;
        const float y = std::fmod(v * 4.0f, 1.0f) - 0.5f;
        const float r = std::sqrt(x * x + y * y);
        const float a = std::atan2(y, x);
        const float ring = Smooth(0.03f, 0.0f, std::fabs(r - 0.36f)) + Smooth(0.025f, 0.0f, std::fabs(r - 0.2f));
        const float petals = Smooth(0.03f, 0.0f, std::fabs(r - 0.12f - 0.08f * std::cos(8 * a)));
        const float net = Smooth(0.06f, 0.0f, std::fabs(std::fmod(u * 32.0f + v * 32.0f, 1.0f) - 0.5f) - 0.42f) +
                          Smooth(0.06f, 0.0f, std::fabs(std::fmod(u * 32.0f - v * 32.0f + 64.0f, 1.0f) - 0.5f) - 0.42f);
        const float w = std::min(1.0f, ring + petals + 0.45f * net);
        return Rgb{w, w, w};
    });
}

Picture MossyStone(Rng& rng)
{
    const CellPoints cells = MakeCells(rng, 4);
    const Fractal moss = MakeFractal(rng, 6, 4, 0.55f);
    return Shade(SIDE, [&](float u, float v) {
        float f1, f2;
        CellDistances(cells, u, v, &f1, &f2);
        const float joint = Smooth(0.0f, 0.06f, f2 - f1);
        const float m = Smooth(0.1f, 0.5f, FractalNoise(moss, u, v));
        const Rgb stone = Mix(HexColour(0x8A8478), HexColour(0xC8C0B0), f1);
        return Mix(HexColour(0x202018), Mix(stone, HexColour(0x4A6A28), m * 0.8f), joint);
    });
}

Picture Clouds(Rng& rng)
{
    const Fractal cloud = MakeFractal(rng, 3, 6, 0.55f);
    return Shade(SIDE, [&](float u, float v) {
        const float c = Smooth(-0.1f, 0.6f, FractalNoise(cloud, u, v));
        return Mix(HexColour(0x3A70C8), HexColour(0xF8F8FF), c);
    });
}

Picture RivetedMetal(Rng& rng)
{
    const Fractal scratch = MakeFractal(rng, 16, 3, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float px = std::fmod(u * 2.0f, 1.0f);
        const float py = std::fmod(v * 2.0f, 1.0f);
        const float seam = Smooth(0.01f, 0.0f, std::min({px, py, 1 - px, 1 - py}));
        float rivet = 0;
        for (float cx : {0.06f, 0.94f})
            for (int k = 0; k < 8; ++k) {
                const float cy = (float(k) + 0.5f) / 8.0f;
                const float d = std::hypot(px - cx, py - cy);
                rivet = std::max(rivet, Smooth(0.025f, 0.0f, d));
                rivet = std::max(rivet, Smooth(0.025f, 0.0f, std::hypot(py - cx, px - cy)));
            }
        const float brush = 0.5f + 0.5f * FractalNoise(scratch, u * 0.2f, v * 4.0f);
        const Rgb base = Mix(HexColour(0x505860), HexColour(0x98A0A8), brush);
        return Scale(Add(base, Scale(HexColour(0xFFFFFF), rivet * 0.5f)), 1.0f - 0.6f * seam);
    });
}

Picture Circuit(Rng& rng)
{
    const Fractal board = MakeFractal(rng, 8, 3, 0.5f);
    std::vector<uint8_t> traces(32 * 32);
    for (uint8_t& t : traces)
        t = uint8_t(NextBits(rng) & 7);
    return Shade(SIDE, [&](float u, float v) {
        const int cx = int(u * 32) & 31;
        const int cy = int(v * 32) & 31;
        const float fx = std::fmod(u * 32.0f, 1.0f) - 0.5f;
        const float fy = std::fmod(v * 32.0f, 1.0f) - 0.5f;
        const uint8_t t = traces[size_t(cy) * 32 + cx];
        float line = 0;
        if (t & 1)
            line = std::max(line, Smooth(0.12f, 0.06f, std::fabs(fy)));
        if (t & 2)
            line = std::max(line, Smooth(0.12f, 0.06f, std::fabs(fx)));
        if (t == 7)
            line = std::max(line, Smooth(0.3f, 0.2f, std::hypot(fx, fy)));
        const Rgb ground = Mix(HexColour(0x0A3A1A), HexColour(0x14502A), 0.5f + 0.5f * FractalNoise(board, u, v));
        return Mix(ground, HexColour(0xE8C050), line);
    });
}

Picture Wood(Rng& rng)
{
    const Fractal grain = MakeFractal(rng, 2, 5, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float ring = std::fmod(8.0f * std::hypot(std::sin(TAU * u), std::cos(TAU * v)) +
                                         2.0f * FractalNoise(grain, u, v) + 4.0f, 1.0f);
        return Ramp({HexColour(0x5A2A10), HexColour(0xA0602A), HexColour(0xD09050)}, Smooth(0.0f, 0.8f, ring));
    });
}

Picture Stained(Rng& rng)
{
    const CellPoints cells = MakeCells(rng, 6);
    std::vector<Rgb> glass;
    const std::vector<uint32_t> hues = {0xC01030, 0x1040C0, 0xE0A020, 0x20A050, 0x8020A0, 0x20B0C0};
    for (int i = 0; i < 36; ++i)
        glass.push_back(HexColour(hues[NextBits(rng) % hues.size()]));
    return Shade(SIDE, [&](float u, float v) {
        float f1, f2;
        size_t cell = 0;
        CellDistances(cells, u, v, &f1, &f2, &cell);
        const float lead = Smooth(0.0f, 0.07f, f2 - f1);
        const Rgb pane = Scale(glass[cell], 0.6f + 0.5f * (1.0f - f1));
        return Mix(HexColour(0x080808), pane, lead);
    });
}

Picture Ice(Rng& rng)
{
    const Fractal frost = MakeFractal(rng, 4, 5, 0.6f);
    return Shade(SIDE, [&](float u, float v) {
        const float f = 0.5f + 0.5f * FractalNoise(frost, u, v);
        return Ramp({HexColour(0x203A70), HexColour(0x80C0F0), HexColour(0xF0FFFF)}, f);
    });
}

// Cracks: dark lines in white, so the shard is clear along its cracks.
Picture Cracks(Rng& rng)
{
    const CellPoints cells = MakeCells(rng, 5);
    const Fractal cloud = MakeFractal(rng, 4, 3, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        float f1, f2;
        CellDistances(cells, u, v, &f1, &f2);
        const float w = (0.55f + 0.45f * FractalNoise(cloud, u, v)) * Smooth(0.0f, 0.05f, f2 - f1);
        return Rgb{w, w, w};
    });
}

Picture VeilStripes(Rng& rng)
{
    const Fractal flow = MakeFractal(rng, 2, 3, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float s = 0.5f + 0.5f * std::sin(TAU * (6 * v + 0.5f * FractalNoise(flow, u, v)));
        const float w = 0.15f + 0.85f * std::pow(s, 2.0f);
        return Rgb{w, w, w};
    });
}

Picture NightSky(Rng& rng)
{
    const Fractal cloud = MakeFractal(rng, 3, 6, 0.55f);
    Picture picture = Shade(SIDE, [&](float u, float v) {
        const float c = Smooth(-0.2f, 0.7f, FractalNoise(cloud, u, v));
        return Mix(HexColour(0x04060E), HexColour(0x3A4058), c);
    });
    for (int i = 0; i < 180; ++i) {
        const int x = int(NextRange(rng, 0, SIDE));
        const int y = int(NextRange(rng, 0, SIDE));
        const Rgb here = GetPixel(picture, x, y);
        if (here.b < 0.15f)
            SetPixel(picture, x, y, Add(here, HexColour(0xC0C8E0)));
    }
    return picture;
}

Picture StoneBlocks(Rng& rng)
{
    const Fractal grit = MakeFractal(rng, 8, 4, 0.55f);
    return Shade(SIDE, [&](float u, float v) {
        const float row = v * 8.0f;
        const float shift = (int(row) & 1) ? 0.5f : 0.0f;
        const float col = u * 4.0f + shift;
        const float fx = std::fmod(col, 1.0f);
        const float fy = std::fmod(row, 1.0f);
        const float joint = Smooth(0.0f, 0.05f, std::min({fx, fy, 1 - fx, 1 - fy}));
        const float g = 0.5f + 0.5f * FractalNoise(grit, u, v);
        return Scale(Ramp({HexColour(0x2A2830), HexColour(0x5A5460)}, g), 0.25f + 0.75f * joint);
    });
}

Picture CityLights(Rng& rng)
{
    std::vector<float> lit(64 * 64);
    for (float& l : lit)
        l = float(NextUnit(rng));
    const Fractal glow = MakeFractal(rng, 4, 4, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float bx = std::fmod(u * 8.0f, 1.0f);
        const float by = std::fmod(v * 8.0f, 1.0f);
        const float street = Smooth(0.06f, 0.03f, std::min(bx, by));
        const int wx = int(u * 64) & 63;
        const int wy = int(v * 64) & 63;
        const float window = lit[size_t(wy) * 64 + wx] > 0.7f ? 1.0f : 0.0f;
        const float haze = 0.5f + 0.5f * FractalNoise(glow, u, v);
        Rgb c = Scale(HexColour(0x101420), 0.5f + 0.5f * haze);
        c = Add(c, Scale(HexColour(0xFFB050), window * 0.6f * (1 - street)));
        return Add(c, Scale(HexColour(0xFFD090), street));
    });
}

Picture TowerWindows(Rng& rng)
{
    std::vector<float> lit(16 * 32);
    for (float& l : lit)
        l = float(NextUnit(rng));
    const Fractal grit = MakeFractal(rng, 8, 3, 0.5f);
    return Shade(SIDE, [&](float u, float v) {
        const float fx = std::fmod(u * 16.0f, 1.0f);
        const float fy = std::fmod(v * 32.0f, 1.0f);
        const bool pane = fx > 0.25f && fx < 0.75f && fy > 0.2f && fy < 0.8f;
        const float l = lit[size_t(int(v * 32) & 31) * 16 + (int(u * 16) & 15)];
        const Rgb wall = Scale(HexColour(0x303440), 0.7f + 0.3f * FractalNoise(grit, u, v));
        if (!pane)
            return wall;
        return l > 0.75f ? HexColour(0xFFD890) : HexColour(0x182030);
    });
}

// ---- Environment maps -------------------------------------------------------------------

// A lit sphere seen from the front: (u, v) around the centre is the
// direction of the normal; outside the unit disc the rim colour continues.
Picture LitSphere(const Shader& direction)
{
    return Shade(SIDE, [&](float u, float v) {
        float x = (u - 0.5f) * 2.2f;
        float y = (v - 0.5f) * 2.2f;
        const float r = std::sqrt(x * x + y * y);
        if (r > 1.0f) {
            x /= r;
            y /= r;
        }
        return direction(x, y);
    });
}

// Chrome: sky above a dark horizon, the ground below, a sharp highlight.
Picture Chrome()
{
    return LitSphere([](float x, float y) {
        Rgb c = y < 0 ? Mix(HexColour(0xF0F8FF), HexColour(0x4070C0), std::pow(-y, 0.7f))
                      : Mix(HexColour(0x8A7058), HexColour(0xE0C8A8), std::pow(y, 1.2f));
        const float hx = x + 0.35f;
        const float hy = y + 0.45f;
        c = Add(c, Scale(HexColour(0xFFFFFF), std::exp(-(hx * hx + hy * hy) * 30.0f)));
        return Scale(c, 0.55f + 0.45f * (1 - 0.5f * (x * x + y * y)));
    });
}

Picture Pearl()
{
    return LitSphere([](float x, float y) {
        const float r2 = x * x + y * y;
        const float hue = r2 * 2.5f + x * 0.6f;
        Rgb c = {0.7f + 0.3f * std::cos(TAU * hue), 0.7f + 0.3f * std::cos(TAU * (hue + 0.33f)),
                 0.8f + 0.2f * std::cos(TAU * (hue + 0.66f))};
        c = Scale(c, 0.6f + 0.4f * (1 - r2));
        const float hx = x + 0.3f;
        const float hy = y + 0.4f;
        return Add(c, Scale(HexColour(0xFFFFFF), std::exp(-(hx * hx + hy * hy) * 18.0f)));
    });
}

Picture Gold()
{
    return LitSphere([](float x, float y) {
        const float r2 = x * x + y * y;
        Rgb c = Ramp({HexColour(0x402000), HexColour(0xC08020), HexColour(0xFFE0A0)},
                     0.8f - 0.6f * r2 - 0.3f * y);
        const float hx = x + 0.3f;
        const float hy = y + 0.5f;
        return Add(c, Scale(HexColour(0xFFFFF0), std::exp(-(hx * hx + hy * hy) * 25.0f)));
    });
}

Picture Aurora()
{
    return LitSphere([](float x, float y) {
        const float band = 0.5f + 0.5f * std::sin(9.0f * x + 4.0f * y * y);
        Rgb c = Mix(HexColour(0x10083A), HexColour(0x30E090), band * (0.5f - 0.5f * y));
        c = Mix(c, HexColour(0xC040E0), std::max(0.0f, y) * 0.6f);
        return Add(c, Scale(HexColour(0xE0FFF0), std::exp(-((x + 0.3f) * (x + 0.3f) + (y + 0.4f) * (y + 0.4f)) * 20.0f)));
    });
}

// ---- Flare sprites ------------------------------------------------------------------------

// A sprite as a palette picture: intensity 0 … 1 from the shape, coloured
// along a ramp from black.
IndexedPicture Sprite(int side, const std::vector<Rgb>& ramp, const std::function<float(float, float)>& shape)
{
    IndexedPicture picture{side, side, std::vector<uint8_t>(size_t(side) * side), {}};
    for (int i = 0; i < 256; ++i)
        picture.palette.push_back(Ramp(ramp, float(i) / 255.0f));
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x) {
            const float dx = (float(x) + 0.5f) / float(side) * 2 - 1;
            const float dy = (float(y) + 0.5f) / float(side) * 2 - 1;
            const float value = std::clamp(shape(dx, dy), 0.0f, 1.0f);
            picture.indices[size_t(y) * side + x] = uint8_t(std::lround(value * 255.0f));
        }
    return picture;
}

void WriteSprites(const std::string& dir)
{
    const std::vector<Rgb> warm = {HexColour(0x000000), HexColour(0x602010), HexColour(0xFFA040),
                                   HexColour(0xFFFFF0)};
    const std::vector<Rgb> cold = {HexColour(0x000000), HexColour(0x102060), HexColour(0x60A0FF),
                                   HexColour(0xF0F8FF)};
    const std::vector<Rgb> violet = {HexColour(0x000000), HexColour(0x300840), HexColour(0xA060E0)};
    WriteFile(dir, "flare_glow.iff", EncodeIlbm(Sprite(SPRITE_SIDE, warm, [](float x, float y) {
                  const float r = std::sqrt(x * x + y * y);
                  return std::exp(-r * r * 5.0f) + 0.4f * std::max(0.0f, 1 - r) * std::max(0.0f, 1 - r);
              })));
    WriteFile(dir, "flare_ring.iff", EncodeIlbm(Sprite(SPRITE_SIDE, cold, [](float x, float y) {
                  const float r = std::sqrt(x * x + y * y);
                  return 0.8f * std::exp(-(r - 0.8f) * (r - 0.8f) * 300.0f) + 0.1f * std::max(0.0f, 0.8f - r);
              })));
    WriteFile(dir, "flare_hex.iff", EncodeIlbm(Sprite(SPRITE_SIDE, violet, [](float x, float y) {
                  float r = 0;
                  for (int k = 0; k < 3; ++k) {
                      const float a = float(M_PI) / 3.0f * float(k);
                      r = std::max(r, std::fabs(x * std::cos(a) + y * std::sin(a)));
                  }
                  return Smooth(0.9f, 0.8f, r) * (0.4f + 0.3f * r);
              })));
    WriteFile(dir, "flare_star.iff", EncodeIlbm(Sprite(SPRITE_SIDE, warm, [](float x, float y) {
                  const float r = std::sqrt(x * x + y * y);
                  const float streak = std::exp(-std::fabs(y) * 40.0f) + std::exp(-std::fabs(x) * 40.0f) +
                                       0.5f * std::exp(-std::fabs(x - y) * 30.0f) + 0.5f * std::exp(-std::fabs(x + y) * 30.0f);
                  return (streak * 0.7f + std::exp(-r * r * 30.0f)) * std::max(0.0f, 1 - r);
              })));
    WriteFile(dir, "flare_dot.iff", EncodeIlbm(Sprite(SPRITE_SIDE / 2, cold, [](float x, float y) {
                  const float r = std::sqrt(x * x + y * y);
                  return Smooth(1.0f, 0.6f, r) * 0.7f;
              })));
}

}  // namespace

void WriteTextures(const std::string& dir, uint64_t seed)
{
    const auto write = [&](const char* file, Picture (*make)(Rng&)) {
        Rng rng = ForkRng(seed, file);
        WriteFile(dir, file, EncodeIlbm(make(rng)));
    };
    write("nebula.iff", Nebula);
    write("cor_wall.iff", CorridorWall);
    write("cor_floor.iff", Grating);
    write("cor_pod.iff", PodSkin);
    write("born_floor.iff", BirthFloor);
    write("lava.iff", Lava);
    write("pani_wall.iff", Damask);
    write("pani_ceiling.iff", Gilded);
    write("silk.iff", Silk);
    write("cube_floor.iff", MossyStone);
    write("cube_sky.iff", Clouds);
    write("cube_metal.iff", RivetedMetal);
    write("cube_circuit.iff", Circuit);
    write("cube_wood.iff", Wood);
    write("stained.iff", Stained);
    write("shard.iff", Ice);
    write("shard_mask.iff", Cracks);
    write("veil_mask.iff", VeilStripes);
    write("sky_night.iff", NightSky);
    write("stone.iff", StoneBlocks);
    write("city_floor.iff", CityLights);
    write("tower_wall.iff", TowerWindows);
    {
        Rng rng = ForkRng(seed, "pani_floor.iff");
        WriteFile(dir, "pani_floor.iff", EncodeIlbm(MarbleChecker(rng, 0x101014, 0xE8E4DC, 4)));
    }
    WriteFile(dir, "lace_mask.iff", EncodeIlbm(Lace()));
    WriteFile(dir, "env_chrome.iff", EncodeIlbm(Chrome()));
    WriteFile(dir, "env_pearl.iff", EncodeIlbm(Pearl()));
    WriteFile(dir, "env_gold.iff", EncodeIlbm(Gold()));
    WriteFile(dir, "env_aurora.iff", EncodeIlbm(Aurora()));
    WriteSprites(dir);
}

}  // namespace kvordata
