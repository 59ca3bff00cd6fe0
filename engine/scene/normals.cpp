#include "scene/scene.h"

#include <cmath>

namespace kvor3d {

namespace {

struct NormalSum {
    float sum[3];
    uint32_t count;
};

// Index of a face corner in the object's vertex array; false when the
// pointer does not address one of its vertices.
bool CornerIndex(const ObjectEntity* object, const Vertex* corner, uint32_t* index)
{
    uintptr_t offset = reinterpret_cast<uintptr_t>(corner) - reinterpret_cast<uintptr_t>(object->vertices);
    if (!corner || !object->vertices || offset % sizeof(Vertex) != 0)
        return false;
    *index = uint32_t(offset / sizeof(Vertex));
    return offset / sizeof(Vertex) < object->vertexCount;
}

bool FacesAddressVertices(const ObjectEntity* object)
{
    uint32_t index;
    for (uint32_t f = 0; f < object->faceCount; ++f) {
        for (const Vertex* corner : object->faces[f].vertices) {
            if (!CornerIndex(object, corner, &index))
                return false;
        }
    }
    return true;
}

// Face normals n = (b − a) × (c − a), divided by their length unless it is
// 0, summed at the three corners; then each vertex normal is the negated
// mean scaled to 127: −sum × 127 / count, or 0 for a vertex of no face.
// `shape` is the vertex array or a morph target's array, both indexed like
// the object's vertices.
template <typename ShapeVertex>
void NormalPass(ObjectEntity* object, ShapeVertex* shape, NormalSum* sums)
{
    for (uint32_t i = 0; i < object->vertexCount; ++i)
        sums[i] = NormalSum{};
    for (uint32_t f = 0; f < object->faceCount; ++f) {
        Face& face = object->faces[f];
        uint32_t corner[3] = {};  // every corner was checked by FacesAddressVertices
        for (int k = 0; k < 3; ++k)
            CornerIndex(object, face.vertices[k], &corner[k]);
        const float* a = shape[corner[0]].position;
        const float* b = shape[corner[1]].position;
        const float* c = shape[corner[2]].position;
        float e1[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]};
        float e2[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        float n[3] = {
            e1[1] * e2[2] - e1[2] * e2[1],
            e1[2] * e2[0] - e1[0] * e2[2],
            e1[0] * e2[1] - e1[1] * e2[0],
        };
        float length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (int i = 0; i < 3; ++i) {
            if (length != 0.0f)
                n[i] /= length;
            face.normal[i] = n[i];
        }
        for (uint32_t index : corner) {
            for (int i = 0; i < 3; ++i)
                sums[index].sum[i] += n[i];
            ++sums[index].count;
        }
    }
    for (uint32_t v = 0; v < object->vertexCount; ++v) {
        const NormalSum& s = sums[v];
        for (int i = 0; i < 3; ++i)
            shape[v].normal[i] = s.count > 0 ? -s.sum[i] * 127.0f / float(s.count) : 0.0f;
    }
}

}  // namespace

// A morph object's targets are computed in their own arrays and its vertex
// array last, so the face normals and the vertex array describe the shape
// the object currently holds.
int ComputeNormals(ObjectEntity* object)
{
    if (!object || !FacesAddressVertices(object))
        return 0;
    if (object->vertexCount == 0)
        return 1;
    auto* sums = static_cast<NormalSum*>(MemAlloc(object->vertexCount, sizeof(NormalSum)));
    if (!sums)
        return 0;
    if (MorphEntity* morph = MorphOf(object)) {
        for (MorphTarget* target = morph->targets; target; target = target->next) {
            if (target->targetVertices)
                NormalPass(object, target->targetVertices, sums);
        }
    }
    NormalPass(object, object->vertices, sums);
    MemFree(sums);
    return 1;
}

}  // namespace kvor3d
