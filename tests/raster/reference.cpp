// The reference rasteriser. Each rule is written the way it is stated:
// which rows and which pixels of a row a triangle covers, each 16.16
// interpolant evaluated at a pixel from its gradients (edge value of the
// row, sub-pixel correction, pixel index times the gradient), the
// floating-point ones advanced row by row and pixel by pixel as stated, and
// each pixel formula evaluated on its own.
#include "raster/reference.h"

#include "render/render.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

using namespace kvor3d;

namespace reference {
namespace {

// ---- Pixel rules ---------------------------------------------------------------------

uint32_t S(uint32_t p)
{
    return (p & 0x001F) + ((p & 0x03E0) << 5) + ((p & 0x7C00) << 10);
}

uint32_t P(uint32_t s)
{
    return (s & 0x001F) + ((s & 0x7C00) >> 5) + ((s & 0x01F00000) >> 10);
}

uint32_t Blend(uint32_t d, uint32_t s, uint32_t a)
{
    return P(S(d) + ((S(s) - S(d)) * a >> 5));
}

uint32_t Pixel15(uint32_t c)
{
    return ((c & 0x00F80000) >> 9) + ((c & 0x0000F800) >> 6) + ((c & 0x000000F8) >> 3);
}

int32_t Wrap(int64_t value)
{
    return int32_t(uint32_t(uint64_t(value)));
}

// ---- Textures ------------------------------------------------------------------------

const uint16_t* LevelPixels(const Texture* t, int32_t level)
{
    return static_cast<const uint16_t*>(level == 0 ? t->pixels : t->mipTable[level]);
}

// ((a >> (2L + 16 − widthShift)) & ((heightMask >> L) << (widthShift − L)))
//   + ((b >> (L + 16)) & (widthMask >> L)), with arithmetic shifts.
int32_t TexelIndex(const Texture* t, int32_t level, int32_t a, int32_t b)
{
    const int32_t ws = int32_t(t->widthShift);
    const int32_t rowPart = (a >> (2 * level + 16 - ws)) & int32_t((t->heightMask >> level) << (ws - level));
    const int32_t columnPart = (b >> (level + 16)) & int32_t(t->widthMask >> level);
    return rowPart + columnPart;
}

// The bilinear filter on level L works in that level's texels: the
// coordinates shifted right by L, the level's own sizes.
uint32_t Bilinear(const Texture* t, int32_t level, int32_t a, int32_t b)
{
    const uint16_t* pixels = LevelPixels(t, level);
    const int32_t ws = int32_t(t->widthShift) - level;
    const int32_t heightMask = int32_t(t->heightMask >> level);
    const int32_t widthMask = int32_t(t->widthMask >> level);
    const int32_t la = a >> level;
    const int32_t lb = b >> level;
    const auto row = [&](int32_t x) { return (x >> (16 - ws)) & (heightMask << ws); };
    const int32_t r = row(la);
    const int32_t r2 = row(Wrap(int64_t(la) + 0x10000));
    const int32_t c = (lb >> 16) & widthMask;
    const int32_t c2 = (c + 1) & widthMask;
    const uint32_t fa = uint32_t(la & 0xF800) >> 11;
    const uint32_t fb = uint32_t(lb & 0xF800) >> 11;
    const uint32_t l0 = (S(pixels[r + c]) + ((S(pixels[r2 + c]) - S(pixels[r + c])) * fa >> 5)) & 0x01F07C1F;
    const uint32_t l1 = (S(pixels[r + c2]) + ((S(pixels[r2 + c2]) - S(pixels[r + c2])) * fa >> 5)) & 0x01F07C1F;
    return P(l0 + ((l1 - l0) * fb >> 5));
}

uint32_t Texel(const Texture* t, int32_t level, bool bilinear, int32_t a, int32_t b)
{
    return bilinear ? Bilinear(t, level, a, b) : LevelPixels(t, level)[TexelIndex(t, level, a, b)];
}

uint32_t GreyWeight(const Texture* map, int32_t u, int32_t v)
{
    return map->greyMap[TexelIndex(map, 0, u, v)] >> 3;
}

int32_t MipLevel(int32_t dudx, int32_t dvdx, const Texture* t)
{
    const int32_t levels = t->mipTable ? int32_t(t->mipLevels) : 0;
    const int64_t g = std::llabs(int64_t(dudx)) + std::llabs(int64_t(dvdx)) + 0x1FFFF;
    if (((g >> 17) >> levels) != 0)
        return levels;
    int32_t bits = 0;
    for (int64_t rest = g >> 18; rest != 0; rest >>= 1)
        ++bits;
    return bits;
}

uint32_t VoxelWeight(const VolumeEntity& volume, uint32_t offset, int32_t u, int32_t v)
{
    const auto byte = [&](int32_t a, int32_t b) -> uint32_t {
        return volume.densityVoxels[offset + ((uint32_t(a) >> volume.uShift) & volume.uMask) +
                                    ((uint32_t(b) >> volume.vShift) & volume.vMask)];
    };
    const int32_t u2 = Wrap(int64_t(u) + 0x10000);
    const int32_t v2 = Wrap(int64_t(v) + 0x10000);
    const uint32_t p0 = (byte(u, v) << 16) | byte(u, v2);
    const uint32_t p1 = (byte(u2, v) << 16) | byte(u2, v2);
    const uint32_t fu = (uint32_t(u) >> 8) & 0xFF;
    const uint32_t fv = (uint32_t(v) >> 8) & 0xFF;
    const uint32_t p = p0 + ((p1 - p0) * fu >> 8);
    const uint32_t hi = (p & 0x00FF00FF) >> 16;
    return (hi + (((p & 0xFF) - hi) * fv >> 8)) & 0xFF;
}

// ---- Members ---------------------------------------------------------------------------

enum class Source { Colour, Texture, Environment, Shaded };
enum class Blending { None, Alpha, Grey, Voxel };
enum class Buffer { Target, Depth, Shadow };

// What one member does at a pixel.
struct Member {
    Source source = Source::Colour;
    Blending blending = Blending::None;
    Buffer buffer = Buffer::Target;
    bool interpolating = true;
    bool perspective = false;
    bool shadeTexel = false;
    bool fog = false;
    bool mip = false;
    bool bilinear = false;
    uint32_t colour = 0;        // 0x00RRGGBB
    uint32_t alpha = 0;
    const Texture* texture = nullptr;
    const Texture* greyMap = nullptr;
    const VolumeEntity* volume = nullptr;
    uint32_t pieceShift = 0;
};

// The member the dispatch rules choose; false when nothing is drawn: the
// shadow-pass phases draw whatever owns the triangle, the glow-edge bit and
// other owners nothing, the glow bit the light-volume member, and otherwise
// the row (flags & 0x3F) | (fog & 0x40) of the table.
bool Choose(const TriangleRef& triangle, Member& m)
{
    if (Frame.renderPhase == 0 || Frame.renderPhase == 1) {
        m.buffer = Frame.renderPhase == 0 ? Buffer::Depth : Buffer::Shadow;
        return true;
    }
    const Entity* owner = triangle.owner;
    if (owner->kind != ENTITY_OBJECT && owner->kind != ENTITY_MORPH && owner->kind != ENTITY_VOLUME)
        return false;
    const auto& object = *static_cast<const ObjectEntity*>(owner);
    const uint32_t flags = object.objectFlags;
    if (flags & 0x80)
        return false;
    m.colour = object.colour;
    m.alpha = object.colour >> 27;
    m.pieceShift = object.correctionValue;
    m.bilinear = object.material[1] & 1;
    m.mip = object.material[1] & 2;
    m.texture = object.textureMap;
    m.perspective = flags & 0x10;
    const auto transparent = [&] {
        m.greyMap = object.transparencyMap;
        m.blending = m.greyMap ? Blending::Grey : Blending::Alpha;
        m.bilinear = m.mip = false;
    };
    const auto environment = [&] {
        m.source = Source::Environment;
        m.texture = object.environmentMap;
        m.perspective = m.mip = false;
    };
    if (flags & 0x80000000) {
        const auto* volume = owner->kind == ENTITY_VOLUME ? static_cast<const VolumeEntity*>(owner) : nullptr;
        m.colour = volume ? volume->volumeColour : object.colour;
        m.perspective = false;
        if (volume && (volume->volumeFlags & 2)) {
            m.volume = volume;
            m.blending = Blending::Voxel;
        } else {
            m.alpha = m.colour >> 27;
            m.blending = Blending::Alpha;
            m.interpolating = false;
        }
        return true;
    }
    switch ((flags & 0x3F) | (Frame.fogIndexBase & 0x40)) {
    case 0: case 16: m.interpolating = m.perspective = false; return true;
    case 1: case 17: transparent(); m.interpolating = m.greyMap != nullptr; m.perspective = false; return true;
    case 2: case 18: m.source = Source::Texture; return true;
    case 3: case 19: m.source = Source::Texture; transparent(); return true;
    case 4: case 20: environment(); m.bilinear = object.material[2] == 1; return true;
    case 5: case 21: environment(); transparent(); return true;
    case 32: case 48: m.source = Source::Shaded; m.perspective = false; return true;
    case 34: case 50: m.source = Source::Texture; m.shadeTexel = true; m.bilinear = m.mip = false; return true;
    case 64: case 80: m.fog = true; m.perspective = false; return true;
    case 66: case 82: m.source = Source::Texture; m.fog = true; return true;
    default: return false;
    }
}

// ---- Scan conversion ----------------------------------------------------------------

struct Scan {
    const Vertex* t;
    const Vertex* m;
    const Vertex* b;
    float xt, yt, xm, ym, xb, yb;
    float area;
    int32_t firstRow, middleRow, lastRow;
    int32_t xLong, stepLong, xUpper, stepUpper, xLower, stepLower;
    bool longLeft;
};

bool Prepare(const TriangleRef& triangle, Scan& s)
{
    const Vertex* v[3] = {triangle.corners[0], triangle.corners[1], triangle.corners[2]};
    // Stable order by screen y.
    for (int i = 1; i < 3; ++i) {
        for (int j = i; j > 0 && v[j]->screenY < v[j - 1]->screenY; --j)
            std::swap(v[j], v[j - 1]);
    }
    s.t = v[0];
    s.m = v[1];
    s.b = v[2];
    s.xt = s.t->screenX;
    s.yt = s.t->screenY;
    s.xm = s.m->screenX;
    s.ym = s.m->screenY;
    s.xb = s.b->screenX;
    s.yb = s.b->screenY;
    if (!(s.yb > s.yt))
        return false;
    const float longSlope = (s.xb - s.xt) / (s.yb - s.yt);
    const float upperSlope = s.ym == s.yt ? (s.xm < s.xt ? -32767.0f : 32767.0f) : (s.xm - s.xt) / (s.ym - s.yt);
    const float lowerSlope = s.yb != s.ym ? (s.xb - s.xm) / (s.yb - s.ym) : 0.0f;
    s.xLong = TruncToInt(((std::ceil(s.yt) - s.yt) * longSlope + s.xt) * 65536.0f);
    s.xUpper = TruncToInt(((std::ceil(s.yt) - s.yt) * upperSlope + s.xt) * 65536.0f);
    s.xLower = TruncToInt(((std::ceil(s.ym) - s.ym) * lowerSlope + s.xm) * 65536.0f);
    s.stepLong = TruncToInt(longSlope * 65536.0f);
    s.stepUpper = TruncToInt(upperSlope * 65536.0f);
    s.stepLower = TruncToInt(lowerSlope * 65536.0f);
    s.firstRow = TruncToInt(std::ceil(s.yt));
    s.middleRow = TruncToInt(std::ceil(s.ym));
    s.lastRow = TruncToInt(std::floor(s.yb));
    s.longLeft = s.stepLong < s.stepUpper;
    s.area = (s.ym - s.yb) * (s.xt - s.xb) - (s.yt - s.yb) * (s.xm - s.xb);
    return true;
}

// Gradients of a quantity, in floating point and in 16.16.
struct Real {
    float dx, dy, edge;
};

Real RealOf(const Scan& s, float qt, float qm, float qb)
{
    Real r;
    r.dx = ((qt - qb) * (s.ym - s.yb) - (qm - qb) * (s.yt - s.yb)) / s.area;
    r.dy = (qb - qt) / (s.yb - s.yt);
    r.edge = (std::ceil(s.yt) - s.yt) * r.dy + qt;
    return r;
}

struct Fixed {
    int32_t dx, dy, edge;
};

Fixed FixedOf(const Scan& s, float qt, float qm, float qb)
{
    const Real r = RealOf(s, qt, qm, qb);
    return {TruncToInt(r.dx * 65536.0f), TruncToInt(r.dy * 65536.0f), TruncToInt(r.edge * 65536.0f)};
}

// A 16.16 quantity at pixel i of the span on row `rowIndex` (counted from
// the first row): the long edge's value of the row, corrected by the 8.8
// sub-pixel distance, then i steps of the gradient in the drawing
// direction.
int32_t At(const Fixed& f, int32_t rowIndex, int64_t fraction, int32_t i, int32_t direction)
{
    const int64_t edge = int64_t(f.edge) + int64_t(rowIndex) * f.dy;
    const int64_t start = edge + ((int64_t(f.dx) * fraction) >> 8);
    return Wrap(start + int64_t(i) * direction * f.dx);
}

float FogLevel(float z)
{
    const FrameConstants& f = Frame;
    if (z < f.fogStart)
        return f.fogStartLevel;
    if (z > f.fogEnd)
        return f.fogEndLevel;
    return f.fogStartLevel + (f.fogEndLevel - f.fogStartLevel) * (z - f.fogStart) / (f.fogEnd - f.fogStart);
}

float Channel(uint32_t colour, int shift)
{
    return float((colour >> shift) & 0xFF);
}

}  // namespace

void DrawTriangle(const TriangleRef& triangle)
{
    Member m;
    Scan s;
    if (!Choose(triangle, m) || !Prepare(triangle, s))
        return;
    if (m.interpolating && s.area == 0.0f)
        return;
    if (m.source == Source::Texture || m.source == Source::Environment) {
        if (!m.texture)
            return;
    }

    const Vertex* corner[3] = {s.t, s.m, s.b};
    const auto fixed = [&](auto value) { return FixedOf(s, value(*corner[0]), value(*corner[1]), value(*corner[2])); };
    const auto real = [&](auto value) { return RealOf(s, value(*corner[0]), value(*corner[1]), value(*corner[2])); };

    const Fixed u = fixed([](const Vertex& v) { return v.mapU; });
    const Fixed v = fixed([](const Vertex& c) { return c.mapV; });
    const Fixed envRow = fixed([](const Vertex& c) { return c.envRow; });
    const Fixed envColumn = fixed([](const Vertex& c) { return c.envColumn; });
    Fixed light[3];
    for (int i = 0; i < 3; ++i) {
        const int shift = 16 - 8 * i;
        const bool byColour = m.source == Source::Shaded;
        const uint32_t colour = m.colour;
        light[i] = fixed([&](const Vertex& c) {
            const uint32_t l = (c.litColour >> shift) & 0xFF;
            return byColour ? float((l * ((colour >> shift) & 0xFF)) >> 8) : Channel(c.litColour, shift);
        });
    }
    const Real w = real([](const Vertex& c) { return 1.0f / c.camera[2]; });
    const Real uw = real([](const Vertex& c) { return c.mapU * (1.0f / c.camera[2]) * 65536.0f; });
    const Real vw = real([](const Vertex& c) { return c.mapV * (1.0f / c.camera[2]) * 65536.0f; });
    const Real level = real([](const Vertex& c) { return FogLevel(c.camera[2]); });

    const int32_t mipLevel = m.mip ? MipLevel(u.dx, v.dx, m.texture) : 0;
    const int32_t k = int32_t(std::min<uint32_t>(m.pieceShift, 30));
    const int32_t n = 1 << k;

    float wEdge = w.edge, uwEdge = uw.edge, vwEdge = vw.edge, levelEdge = level.edge;
    for (int32_t y = s.firstRow; y <= s.lastRow; ++y) {
        const int32_t rowIndex = y - s.firstRow;
        const int32_t xLong = Wrap(int64_t(s.xLong) + int64_t(rowIndex) * s.stepLong);
        const int32_t xShort = y < s.middleRow ? Wrap(int64_t(s.xUpper) + int64_t(rowIndex) * s.stepUpper)
                                               : Wrap(int64_t(s.xLower) + int64_t(y - s.middleRow) * s.stepLower);
        // Left to right from the long edge, or right to left from it.
        int32_t start, end, direction;
        if (s.longLeft) {
            start = int32_t((int64_t(xLong) + 0xFFFF) >> 16);
            end = xShort >> 16;
            direction = 1;
        } else {
            start = xLong >> 16;
            end = int32_t((int64_t(xShort) + 0xFFFF) >> 16);
            direction = -1;
        }
        const int32_t count = (end - start) * direction + 1;
        const int64_t fraction = int64_t(start) * 256 - (xLong >> 8);
        const float distance = float(int64_t(start) * 65536 - xLong) / 65536.0f;

        float pw = wEdge + w.dx * distance;
        float puw = uwEdge + uw.dx * distance;
        float pvw = vwEdge + vw.dx * distance;
        float pLevel = levelEdge + level.dx * distance;
        int32_t pu = TruncToInt(puw / pw);
        int32_t pv = TruncToInt(pvw / pw);
        int32_t du = 0, dv = 0;
        for (int32_t i = 0; i < count; ++i) {
            const int32_t x = start + i * direction;
            const size_t at = size_t(y) * size_t(Frame.width) + size_t(x);
            if (m.buffer == Buffer::Depth) {
                if (Frame.depthBuffer[at] < pw)
                    Frame.depthBuffer[at] = pw;
                pw += direction * w.dx;
                continue;
            }
            if (m.buffer == Buffer::Shadow) {
                if (Frame.depthBuffer[at] < pw)
                    Frame.shadowMask[at] = uint8_t(Frame.shadowMask[at] + triangle.windingSign);
                pw += direction * w.dx;
                continue;
            }

            // Map coordinates: affine, or the current perspective piece's.
            int32_t mu = At(u, rowIndex, fraction, i, direction);
            int32_t mv = At(v, rowIndex, fraction, i, direction);
            if (m.perspective) {
                if (i % n == 0) {
                    puw += float(n) * (direction * uw.dx);
                    pvw += float(n) * (direction * vw.dx);
                    const float wEnd = 1.0f / (float(n) * (direction * w.dx) + pw);
                    du = int32_t(uint32_t(TruncToInt(puw * wEnd)) - uint32_t(pu)) >> k;
                    dv = int32_t(uint32_t(TruncToInt(pvw * wEnd)) - uint32_t(pv)) >> k;
                }
                mu = pu;
                mv = pv;
            }

            uint32_t p;
            switch (m.source) {
            case Source::Texture:
                p = Texel(m.texture, mipLevel, m.bilinear, mu, mv);
                break;
            case Source::Environment:
                p = Texel(m.texture, 0, m.bilinear, At(envRow, rowIndex, fraction, i, direction),
                          At(envColumn, rowIndex, fraction, i, direction));
                break;
            case Source::Shaded: {
                const uint32_t r = uint32_t(At(light[0], rowIndex, fraction, i, direction));
                const uint32_t g = uint32_t(At(light[1], rowIndex, fraction, i, direction));
                const uint32_t b = uint32_t(At(light[2], rowIndex, fraction, i, direction));
                p = ((r & 0x00F80000) >> 9) + ((g & 0x00F80000) >> 14) + (((b >> 16) & 0xF8) >> 3);
                break;
            }
            default:
                p = Pixel15(m.colour);
                break;
            }
            if (m.shadeTexel) {
                const int32_t r = At(light[0], rowIndex, fraction, i, direction) >> 16;
                const int32_t g = At(light[1], rowIndex, fraction, i, direction) >> 16;
                const int32_t b = At(light[2], rowIndex, fraction, i, direction) >> 16;
                const uint32_t blue = ((p & 0x1F) * uint32_t(b) & 0x1F00) >> 8;
                const uint32_t green = ((p & 0x3E0) * uint32_t(g) & 0x3E000) >> 8;
                const uint32_t red = ((p & 0x7C00) * uint32_t(r) & 0x7C0000) >> 8;
                p = blue + green + red;
            }
            if (m.fog)
                p = Blend(p, Pixel15(Frame.fogColour), uint32_t(TruncToInt(pLevel) >> 3));
            uint16_t& d = Frame.target[at];
            switch (m.blending) {
            case Blending::Alpha:
                p = Blend(d, p, m.alpha);
                break;
            case Blending::Grey:
                p = Blend(d, p, GreyWeight(m.greyMap, mu, mv));
                break;
            case Blending::Voxel:
                p = Blend(d, p, VoxelWeight(*m.volume, triangle.effectOffset, mu, mv) >> 3);
                break;
            default:
                break;
            }
            d = uint16_t(p);

            pw += direction * w.dx;
            pLevel += direction * level.dx;
            pu = Wrap(int64_t(pu) + du);
            pv = Wrap(int64_t(pv) + dv);
        }
        wEdge += w.dy;
        uwEdge += uw.dy;
        vwEdge += vw.dy;
        levelEdge += level.dy;
    }
}

}  // namespace reference
