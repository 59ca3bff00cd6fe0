// Point lighting of shaded objects' vertices, added onto the base colour
// that the environment transformation left in each vertex's lit colour.
#include "render/render.h"

#include <algorithm>
#include <cmath>

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

// Adds one light to every vertex of the object. The squared distance is
// kept in 64 bits, so lights and vertices far apart are lit exactly rather
// than through a wrapped square.
void LightObject(ObjectEntity* object, const LightEntity* light)
{
    const int32_t lx = TruncToInt(light->matrix[12]);
    const int32_t ly = TruncToInt(light->matrix[13]);
    const int32_t lz = TruncToInt(light->matrix[14]);
    const float intensity = light->lightValue1;
    const float range = light->lightValue2;
    const uint32_t colour = light->lightValue3;

    for (uint32_t i = 0; i < object->vertexCount; ++i) {
        Vertex& vertex = object->vertices[i];
        const int32_t d[3] = {
            TruncToInt(vertex.camera[0] - float(lx)),
            TruncToInt(vertex.camera[1] - float(ly)),
            TruncToInt(vertex.camera[2] - float(lz)),
        };
        const uint64_t q = uint64_t(int64_t(d[0]) * d[0]) + uint64_t(int64_t(d[1]) * d[1]) +
                           uint64_t(int64_t(d[2]) * d[2]);
        const float f = Facing(vertex, d, IntegerSquareRoot(q));
        if (!(f > 0))
            continue;
        float level = range > 0 ? (1 - float(q) / (range * range)) * intensity : intensity;
        level *= f;
        if (!(level > 0))
            continue;

        uint32_t lit = 0;
        for (int shift = 16; shift >= 0; shift -= 8) {
            const int64_t channel = int64_t((vertex.litColour >> shift) & 0xFF) +
                                    TruncToInt(level * float((colour >> shift) & 0xFF));
            lit |= uint32_t(std::clamp<int64_t>(channel, 0, 255)) << shift;
        }
        vertex.litColour = lit;
    }
}

}  // namespace

// Lights are applied in chain order, each adding to the previous result.
// Hidden lights (without ENTITY_DRAWN) light nothing, as they are skipped by
// the rest of the pipeline too.
void LightVertices(Scene* scene)
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
                LightObject(object, light);
        }
    }
}
