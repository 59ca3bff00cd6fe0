// Random numbers, tileable gradient noise, colours and pictures.
#include "kvordata.h"

#include <algorithm>
#include <cmath>

using namespace kvor3d;

namespace kvordata {

uint64_t NextBits(Rng& rng)
{
    uint64_t z = (rng.state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double NextUnit(Rng& rng)
{
    return double(NextBits(rng) >> 11) * (1.0 / 9007199254740992.0);
}

double NextRange(Rng& rng, double low, double high)
{
    return low + (high - low) * NextUnit(rng);
}

// FNV-1a of the name, mixed with the seed through one splitmix step.
Rng ForkRng(uint64_t seed, const char* name)
{
    uint64_t hash = 0xCBF29CE484222325ull;
    for (const char* c = name; *c; ++c)
        hash = (hash ^ uint8_t(*c)) * 0x100000001B3ull;
    Rng rng{seed ^ hash};
    NextBits(rng);
    return rng;
}

// ---- Noise -------------------------------------------------------------------------------

NoiseLattice MakeLattice(Rng& rng, int period)
{
    NoiseLattice lattice{period, std::vector<float>(size_t(period) * period * 2)};
    for (size_t i = 0; i < size_t(period) * period; ++i) {
        const double angle = NextRange(rng, 0, 2 * M_PI);
        lattice.gradients[2 * i] = float(std::cos(angle));
        lattice.gradients[2 * i + 1] = float(std::sin(angle));
    }
    return lattice;
}

namespace {

int Wrap(int value, int period)
{
    const int r = value % period;
    return r < 0 ? r + period : r;
}

float Fade(float t)
{
    return t * t * t * (t * (t * 6 - 15) + 10);
}

float Corner(const NoiseLattice& lattice, int cx, int cy, float dx, float dy)
{
    const size_t i = size_t(Wrap(cy, lattice.period)) * lattice.period + size_t(Wrap(cx, lattice.period));
    return lattice.gradients[2 * i] * dx + lattice.gradients[2 * i + 1] * dy;
}

}  // namespace

float LatticeNoise(const NoiseLattice& lattice, float x, float y)
{
    const float fx = std::floor(x);
    const float fy = std::floor(y);
    const int cx = int(fx);
    const int cy = int(fy);
    const float dx = x - fx;
    const float dy = y - fy;
    const float n00 = Corner(lattice, cx, cy, dx, dy);
    const float n10 = Corner(lattice, cx + 1, cy, dx - 1, dy);
    const float n01 = Corner(lattice, cx, cy + 1, dx, dy - 1);
    const float n11 = Corner(lattice, cx + 1, cy + 1, dx - 1, dy - 1);
    const float u = Fade(dx);
    const float v = Fade(dy);
    const float top = n00 + (n10 - n00) * u;
    const float bottom = n01 + (n11 - n01) * u;
    return top + (bottom - top) * v;
}

Fractal MakeFractal(Rng& rng, int basePeriod, int octaveCount, float gain)
{
    Fractal fractal{{}, gain};
    for (int i = 0; i < octaveCount; ++i)
        fractal.octaves.push_back(MakeLattice(rng, basePeriod << i));
    return fractal;
}

float FractalNoise(const Fractal& fractal, float u, float v)
{
    float sum = 0;
    float weight = 1;
    float total = 0;
    for (const NoiseLattice& lattice : fractal.octaves) {
        sum += weight * LatticeNoise(lattice, u * float(lattice.period), v * float(lattice.period));
        total += weight;
        weight *= fractal.gain;
    }
    return std::clamp(sum / total * 1.6f, -1.0f, 1.0f);
}

// ---- Colours --------------------------------------------------------------------------------

Rgb Mix(Rgb a, Rgb b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(Rgb c, float k)
{
    return {c.r * k, c.g * k, c.b * k};
}

Rgb Add(Rgb a, Rgb b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}

Rgb HexColour(uint32_t rgb)
{
    return {float((rgb >> 16) & 0xFF) / 255.0f, float((rgb >> 8) & 0xFF) / 255.0f, float(rgb & 0xFF) / 255.0f};
}

Rgb Ramp(const std::vector<Rgb>& stops, float t)
{
    t = std::clamp(t, 0.0f, 1.0f) * float(stops.size() - 1);
    const size_t i = std::min(size_t(t), stops.size() - 2);
    return Mix(stops[i], stops[i + 1], t - float(i));
}

Rgb Visible(Rgb colour)
{
    const float top = std::max({colour.r, colour.g, colour.b});
    if (top >= 10.0f / 255.0f)
        return colour;
    return {std::max(colour.r, 10.0f / 255.0f), colour.g, colour.b};
}

// ---- Pictures ---------------------------------------------------------------------------------

Picture MakePicture(int width, int height)
{
    return {width, height, std::vector<uint8_t>(size_t(width) * height * 3)};
}

namespace {

uint8_t Byte(float value)
{
    return uint8_t(std::clamp(int(std::lround(value * 255.0f)), 0, 255));
}

}  // namespace

void SetPixel(Picture& picture, int x, int y, Rgb colour)
{
    uint8_t* p = &picture.rgb[(size_t(y) * picture.width + x) * 3];
    p[0] = Byte(colour.r);
    p[1] = Byte(colour.g);
    p[2] = Byte(colour.b);
}

Rgb GetPixel(const Picture& picture, int x, int y)
{
    const uint8_t* p = &picture.rgb[(size_t(y) * picture.width + x) * 3];
    return {float(p[0]) / 255.0f, float(p[1]) / 255.0f, float(p[2]) / 255.0f};
}

}  // namespace kvordata
