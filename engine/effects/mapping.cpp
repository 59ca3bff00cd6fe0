// Texture coordinates computed from an object's geometry: planar,
// cylindrical and spherical projections about one axis.
#include "effects/effects.h"

#include <cmath>

namespace kvor3d {

MappingParameters Mapping;

namespace {

constexpr float PI_F = 3.1415927f;
constexpr float TWO_PI_F = 6.2831855f;
constexpr float TEXELS_AROUND = 256.0f;  // one map width per repeat

// Components of a corner in the projection's frame: b along the axis, a and
// c across it, with the scales that belong to them.
struct Local {
    float a[3];
    float b[3];
    float c[3];
    float scaleA;
    float scaleB;
    float scaleC;
};

Local LocalFrame(const Face& face)
{
    const float* scale = Mapping.scale;
    Local local{};
    for (int k = 0; k < 3; ++k) {
        const float* p = face.vertices[k]->position;
        const float dx = p[0] - Mapping.centre[0];
        const float dy = p[1] - Mapping.centre[1];
        const float dz = p[2] - Mapping.centre[2];
        switch (Mapping.axis) {
        case 0: local.a[k] = dz; local.b[k] = dx; local.c[k] = -dy; break;
        case 1: local.a[k] = dx; local.b[k] = dy; local.c[k] = dz; break;
        default: local.a[k] = dx; local.b[k] = dz; local.c[k] = -dy; break;
        }
    }
    switch (Mapping.axis) {
    case 0: local.scaleA = scale[2]; local.scaleB = scale[0]; local.scaleC = scale[1]; break;
    case 1: local.scaleA = scale[0]; local.scaleB = scale[1]; local.scaleC = scale[2]; break;
    default: local.scaleA = scale[0]; local.scaleB = scale[2]; local.scaleC = scale[1]; break;
    }
    return local;
}

// The angles of the three corners around the axis, measured from +c toward
// +a. Later corners are placed relative to the first that lies off the axis,
// by the smaller angle between them, so that a face never jumps by 2π; a
// corner on the axis takes the mean of the others.
void AnglesAround(const Local& l, float* theta)
{
    float r[3];
    for (int k = 0; k < 3; ++k)
        r[k] = std::sqrt(l.a[k] * l.a[k] + l.c[k] * l.c[k]);
    auto absolute = [&](int k) {
        const float angle = SafeAcos(l.c[k] / r[k]);
        return l.a[k] < 0 ? -angle : angle;
    };
    auto delta = [&](int j, int k) { return SafeAcos((l.c[j] * l.c[k] + l.a[j] * l.a[k]) / (r[j] * r[k])); };
    auto cross = [&](int j, int k) { return l.a[j] * l.c[k] - l.c[j] * l.a[k]; };
    auto turn = [&](int j, int k, bool negate) { return theta[j] + (negate ? -delta(j, k) : delta(j, k)); };

    if (r[0] != 0) {
        theta[0] = absolute(0);
        if (r[1] != 0) {
            const float c01 = cross(0, 1);
            const float c02 = cross(0, 2);
            theta[1] = turn(0, 1, c01 > 0 || (c01 == 0 && c02 > 0));
            theta[2] = r[2] != 0 ? turn(0, 2, c02 > 0 || (c02 == 0 && c01 > 0)) : (theta[0] + theta[1]) / 2;
        } else if (r[2] != 0) {
            theta[2] = turn(0, 2, cross(0, 2) > 0);
            theta[1] = (theta[0] + theta[2]) / 2;
        } else {
            theta[1] = theta[2] = theta[0];
        }
    } else if (r[1] != 0) {
        theta[1] = absolute(1);
        if (r[2] != 0) {
            theta[2] = turn(1, 2, cross(1, 2) > 0);
            theta[0] = (theta[1] + theta[2]) / 2;
        } else {
            theta[0] = theta[2] = theta[1];
        }
    } else {
        theta[0] = theta[1] = theta[2] = r[2] != 0 ? absolute(2) : 0.0f;
    }
}

// The polar angle of each corner from +b; a corner at the centre takes the
// mean of the others that have one.
void AnglesFromPole(const Local& l, float* phi)
{
    bool placed[3];
    for (int k = 0; k < 3; ++k) {
        const float length = std::sqrt(l.a[k] * l.a[k] + l.b[k] * l.b[k] + l.c[k] * l.c[k]);
        placed[k] = length != 0;
        phi[k] = placed[k] ? SafeAcos(l.b[k] / length) : 0.0f;
    }
    for (int k = 0; k < 3; ++k) {
        if (placed[k])
            continue;
        const int j = (k + 1) % 3;
        const int i = (k + 2) % 3;
        if (placed[j] && placed[i])
            phi[k] = (phi[j] + phi[i]) / 2;
        else if (placed[j] || placed[i])
            phi[k] = placed[j] ? phi[j] : phi[i];
    }
}

float ReadFloat(const TagItem* tags, uint32_t tag, float fallback)
{
    const TagItem* item = tags ? FindTag(tag, tags) : nullptr;
    const auto* value = item ? reinterpret_cast<const float*>(item->data) : nullptr;
    return value ? *value : fallback;
}

uint32_t ReadWord(const TagItem* tags, uint32_t tag)
{
    const TagItem* item = tags ? FindTag(tag, tags) : nullptr;
    return item ? uint32_t(item->data) : 0;
}

}  // namespace

float SafeAcos(float x)
{
    if (x <= -1)
        return PI_F;
    if (x >= 1)
        return 0.0f;
    return float(std::acos(double(x)));
}

void MapTexture(ObjectEntity* object, const TagItem* tags)
{
    Mapping.projection = ReadWord(tags, TAG_MAP_PROJECTION);
    Mapping.axis = ReadWord(tags, TAG_MAP_AXIS);
    for (int i = 0; i < 3; ++i) {
        Mapping.scale[i] = ReadFloat(tags, TAG_MAP_SCALEX + i, 1.0f);
        Mapping.centre[i] = ReadFloat(tags, TAG_MAP_CENTREX + i, 0.0f);
    }
    Mapping.repeatsAround = ReadFloat(tags, TAG_MAP_REPEATSAROUND, 1.0f);
    Mapping.repeatsPoles = ReadFloat(tags, TAG_MAP_REPEATSPOLES, 1.0f);
    if (!object || !object->faces)
        return;
    for (uint32_t i = 0; i < object->faceCount; ++i)
        MapFace(&object->faces[i]);
}

// Single precision throughout; u and v of corners 0, 1, 2 in the face's order.
void MapFace(Face* face)
{
    if (!face || Mapping.projection > MAP_SPHERICAL || Mapping.axis > 2)
        return;
    for (const Vertex* vertex : face->vertices) {
        if (!vertex)
            return;
    }
    const Local l = LocalFrame(*face);
    if (Mapping.projection == MAP_PLANAR) {
        for (int k = 0; k < 3; ++k) {
            face->uv[k][0] = -l.c[k] / l.scaleC;
            face->uv[k][1] = l.a[k] / l.scaleA;
        }
        return;
    }
    float theta[3];
    AnglesAround(l, theta);
    for (int k = 0; k < 3; ++k)
        face->uv[k][1] = -theta[k] * TEXELS_AROUND * Mapping.repeatsAround / TWO_PI_F;
    if (Mapping.projection == MAP_CYLINDRICAL) {
        for (int k = 0; k < 3; ++k)
            face->uv[k][0] = l.b[k] / l.scaleB;
        return;
    }
    float phi[3];
    AnglesFromPole(l, phi);
    for (int k = 0; k < 3; ++k)
        face->uv[k][0] = -phi[k] * TEXELS_AROUND * Mapping.repeatsPoles / PI_F;
}

}  // namespace kvor3d
