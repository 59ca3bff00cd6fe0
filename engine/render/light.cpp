// Point lighting of shaded objects' vertices, added onto the base colour
// that the environment transformation left in each vertex's lit colour.
#include "render/lanes.h"
#include "render/render.h"

#include <algorithm>
#include <cmath>

namespace kvor3d {

// The double root is within 2^-20 of the true one for every 64-bit q (q
// rounds to 53 bits, the root is correctly rounded), so its integer part is
// at most one too large; it is never too small, since the root of any q at
// or above r² rounds to r or more. The root is at most 2^32 − 1, whose
// square still fits in 64 bits.
uint32_t IntegerSquareRoot(uint64_t q)
{
    uint64_t root = std::min<uint64_t>(uint64_t(std::sqrt(double(q))), 0xFFFFFFFF);
    if (root * root > q)
        --root;
    return uint32_t(root);
}

namespace {

// One light's terms as every vertex uses them.
struct LightTerms {
    float position[3];  // the light's integer position
    float intensity;
    bool ranged;
    float rangeSquared;
    float channels[3];  // red, green and blue of its colour
};

LightTerms TermsOf(const LightEntity* light)
{
    LightTerms terms;
    for (int j = 0; j < 3; ++j)
        terms.position[j] = float(TruncToInt(light->matrix[12 + j]));
    terms.intensity = light->lightValue1;
    terms.ranged = light->lightValue2 > 0;
    terms.rangeSquared = light->lightValue2 * light->lightValue2;
    for (int i = 0; i < 3; ++i)
        terms.channels[i] = float((light->lightValue3 >> (16 - 8 * i)) & 0xFF);
    return terms;
}

// The light's direction term for a vertex at integer offset d from it: the
// camera normal (length about 127) against d, over |d| × 128. A vertex at the
// light's own integer position has no direction to it and takes the full
// intensity.
float Facing(const Vertex& vertex, const int32_t* d, uint32_t distance)
{
    if (distance == 0)
        return 1.0f;
    const float* n = vertex.cameraNormal;
    const float dot = n[2] * float(d[2]) + n[1] * float(d[1]) + n[0] * float(d[0]);
    return dot / (float(distance) * 128.0f);
}

// The squared distance is kept in 64 bits, so lights and vertices far apart
// are lit exactly rather than through a wrapped square.
void LightVertex(Vertex& vertex, const LightTerms& light)
{
    const int32_t d[3] = {
        TruncToInt(vertex.camera[0] - light.position[0]),
        TruncToInt(vertex.camera[1] - light.position[1]),
        TruncToInt(vertex.camera[2] - light.position[2]),
    };
    const uint64_t q =
        uint64_t(int64_t(d[0]) * d[0]) + uint64_t(int64_t(d[1]) * d[1]) + uint64_t(int64_t(d[2]) * d[2]);
    const float f = Facing(vertex, d, IntegerSquareRoot(q));
    if (!(f > 0))
        return;
    float level = light.ranged ? (1 - float(q) / light.rangeSquared) * light.intensity : light.intensity;
    level *= f;
    if (!(level > 0))
        return;

    uint32_t lit = 0;
    for (int i = 0; i < 3; ++i) {
        const int shift = 16 - 8 * i;
        const int64_t channel =
            int64_t((vertex.litColour >> shift) & 0xFF) + TruncToInt(level * light.channels[i]);
        lit |= uint32_t(std::clamp<int64_t>(channel, 0, 255)) << shift;
    }
    vertex.litColour = lit;
}

using Doubles = double __attribute__((vector_size(32)));
using HalfInts = int32_t __attribute__((vector_size(16)));
using HalfFloats = float __attribute__((vector_size(16)));

// Offsets below 2^25 give squares and sums of squares below 2^53, exact in
// doubles.
constexpr float EXACT_OFFSET = 33554432.0f;

// The square q and integer root of four lanes' offsets, in doubles. With
// q below 2^52 the truncated double root is the integer root itself: the
// root of (r + 1)² − 1 lies 1 / (2r + 2) below r + 1, more than half a
// double step there.
inline __attribute__((always_inline)) void RootOfFour(const HalfInts* d, HalfFloats* q, HalfInts* root)
{
    Doubles e[3];
    for (int j = 0; j < 3; ++j)
        e[j] = __builtin_convertvector(d[j], Doubles);
    const Doubles square = e[0] * e[0] + e[1] * e[1] + e[2] * e[2];
    Doubles r{};
    for (int lane = 0; lane < 4; ++lane)
        r[lane] = std::sqrt(square[lane]);
    *root = __builtin_convertvector(r, HalfInts);
    *q = __builtin_convertvector(square, HalfFloats);
}

// LightVertex in every lane, on the vertices first .. first + count − 1,
// count a multiple of LANES: the same products, sums and quotients in the
// same order. Where every offset is below 2^25, the square, its root and
// float(q) come from exact doubles; float(q) and float(root) are then the
// same single roundings of the same integers. Eight vertices with an offset
// beyond that go one at a time. A lit vertex's level is positive, so the
// light's part of a channel is not negative, and as the sum is limited to
// 255 the part is taken up to 256 (NaN as 0, as TruncToInt does) before
// its truncation; the sums of unlit lanes are not kept.
__attribute__((target_clones("avx2", "default"))) void LightRun(Vertex* vertices, uint32_t count,
                                                                const LightTerms& light)
{
    for (uint32_t first = 0; first < count; first += LANES) {
        Vertex* const v = vertices + first;
        Floats offset[3];
        Floats normal[3];
        Gather<&Vertex::camera>(v, offset);
        Gather<&Vertex::cameraNormal>(v, normal);
        const Ints base = {int32_t(v[0].litColour), int32_t(v[1].litColour), int32_t(v[2].litColour),
                           int32_t(v[3].litColour), int32_t(v[4].litColour), int32_t(v[5].litColour),
                           int32_t(v[6].litColour), int32_t(v[7].litColour)};
        Ints near = Ints{} - 1;
        for (int j = 0; j < 3; ++j) {
            offset[j] -= light.position[j];
            near &= (offset[j] < EXACT_OFFSET) & (offset[j] > -EXACT_OFFSET);
        }
        if (!Every(near)) {
            for (int32_t lane = 0; lane < LANES; ++lane)
                LightVertex(v[lane], light);
            continue;
        }
        Ints d[3];
        Floats dFloat[3];
        HalfInts low[3];
        HalfInts high[3];
        for (int j = 0; j < 3; ++j) {
            d[j] = __builtin_convertvector(offset[j], Ints);
            dFloat[j] = __builtin_convertvector(d[j], Floats);
            low[j] = __builtin_shufflevector(d[j], d[j], 0, 1, 2, 3);
            high[j] = __builtin_shufflevector(d[j], d[j], 4, 5, 6, 7);
        }
        HalfFloats qLow;
        HalfFloats qHigh;
        HalfInts rootLow;
        HalfInts rootHigh;
        RootOfFour(low, &qLow, &rootLow);
        RootOfFour(high, &qHigh, &rootHigh);
        const Floats q = __builtin_shufflevector(qLow, qHigh, 0, 1, 2, 3, 4, 5, 6, 7);
        const Ints root = __builtin_shufflevector(rootLow, rootHigh, 0, 1, 2, 3, 4, 5, 6, 7);

        const Floats dot = normal[2] * dFloat[2] + normal[1] * dFloat[1] + normal[0] * dFloat[0];
        const Floats f = root == 0 ? Floats{} + 1.0f : dot / (__builtin_convertvector(root, Floats) * 128.0f);
        const Floats level =
            (light.ranged ? (1 - q / light.rangeSquared) * light.intensity : Floats{} + light.intensity) * f;
        const Ints lit = (f > 0) & (level > 0);

        Ints sum{};
        for (int i = 0; i < 3; ++i) {
            const int shift = 16 - 8 * i;
            Floats part = level * light.channels[i];
            part = part > 256.0f ? Floats{} + 256.0f : part;
            part = part == part ? part : Floats{};
            Ints channel = ((base >> shift) & 0xFF) + __builtin_convertvector(part, Ints);
            channel = channel > 255 ? Ints{} + 255 : channel;
            sum |= channel << shift;
        }
        const Ints result = lit ? sum : base;
        for (int32_t lane = 0; lane < LANES; ++lane)
            v[lane].litColour = uint32_t(result[lane]);
    }
}

// Adds one light to every vertex of the object, eight at a time and the
// last count mod 8 one by one.
void LightObject(ObjectEntity* object, const LightEntity* light, FrontEndPath path)
{
    const LightTerms terms = TermsOf(light);
    const uint32_t wide = path == FrontEndPath::WIDE ? object->vertexCount - object->vertexCount % uint32_t(LANES) : 0;
    if (wide > 0)
        LightRun(object->vertices, wide, terms);
    for (uint32_t i = wide; i < object->vertexCount; ++i)
        LightVertex(object->vertices[i], terms);
}

}  // namespace

// Lights are applied in chain order, each adding to the previous result.
// Hidden lights (without ENTITY_DRAWN) light nothing, as they are skipped by
// the rest of the pipeline too.
void LightVertices(Scene* scene, FrontEndPath path)
{
    if (!scene)
        return;
    for (Entity* entity = scene->entities; entity; entity = entity->next) {
        ObjectEntity* object = ObjectOf(entity);
        if (!object || !(entity->entityFlags & ENTITY_DRAWN) || !(object->objectFlags & OBJECT_SHADED) ||
            !object->vertices)
            continue;
        for (Entity* other = scene->entities; other; other = other->next) {
            const LightEntity* light = LightOf(other);
            if (light && (other->entityFlags & ENTITY_DRAWN) && (light->lightFlags & LIGHT_ON) &&
                light->lightValue1 != 0.0f)
                LightObject(object, light, path);
        }
    }
}

}  // namespace kvor3d
