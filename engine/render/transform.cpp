// Vertex transformation into camera space and projection with clip codes,
// environment-map coordinates and camera-space face normals.
#include "core/tables.h"
#include "render/lanes.h"
#include "render/render.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

constexpr int32_t POSITION_CENTRE = 16384;
constexpr int32_t POSITION_LAST = 32767;
constexpr int32_t NORMAL_CENTRE = 128;

// A copy of a matrix in locals: stores into the vertices could otherwise
// be the matrix, and it would be read again for every vertex.
struct Matrix {
    float m[16];

    explicit Matrix(const float* source) { std::copy_n(source, 16, m); }
    float operator[](int i) const { return m[i]; }
};

void ToCameraSpace(const Matrix& m, const float* p, float* out)
{
    out[0] = p[0] * m[0] + p[1] * m[4] + p[2] * m[8] + m[12];
    out[1] = p[0] * m[1] + p[1] * m[5] + p[2] * m[9] + m[13];
    out[2] = p[0] * m[2] + p[1] * m[6] + p[2] * m[10] + m[14];
}

// The frame constants that place a vertex on the screen, read once per
// object rather than once per vertex.
struct Projection {
    float focal;
    float nearZ;
    float farZ;
    float centreX;
    float centreY;
    float lastX;
    float lastY;

    Projection()
        : focal(Frame.focal), nearZ(Frame.nearZ), farZ(Frame.farZ), centreX(float(Frame.centreX)),
          centreY(float(Frame.centreY)), lastX(float(Frame.width - 1)), lastY(float(Frame.height - 1))
    {
    }

    // A screen coordinate that is NaN (from an overflowing focal / z) counts
    // as outside on its low side, so that such a vertex is never taken for
    // visible. Returns the vertex's scale focal / z (100 at or behind the eye).
    float Project(Vertex& vertex) const
    {
        const float x = vertex.camera[0];
        const float y = vertex.camera[1];
        const float z = vertex.camera[2];
        const float s = z > 0 ? focal / z : 100.0f;
        uint16_t code = 0;
        if (z < nearZ)
            code = CLIP_NEAR;
        else if (z > farZ)
            code = CLIP_FAR;
        const float screenX = x * s + centreX;
        const float screenY = y * s + centreY;
        if (!(screenX >= 0))
            code |= CLIP_LEFT;
        else if (screenX > lastX)
            code |= CLIP_RIGHT;
        if (!(screenY >= 0))
            code |= CLIP_TOP;
        else if (screenY > lastY)
            code |= CLIP_BOTTOM;
        vertex.screenX = screenX;
        vertex.screenY = screenY;
        vertex.clipCode = code;
        vertex.vertexValue &= ~3u;
        return s;
    }
};

// What the environment coordinates of a block's vertices are made from:
// the object's unit rows, whether it is shaded, and the base colour of its
// vertices (which have no colours of their own). Both tables must be there.
struct EnvironmentTerms {
    float unit[3][3];
    bool shaded;
    uint32_t base;
};

// A table entry in each lane: the value kept within [low, high] (NaN taking
// 0), truncated and offset by `centre`. With low and high the first and
// last entries' indices less the centre, this is the entry that int() of
// the value, offset and clamped to the table, reads.
inline __attribute__((always_inline)) void EntryLanes(const int32_t* table, const Floats& value, float low,
                                                      float high, int32_t centre, Ints* entries)
{
    const Floats kept = value == value ? (value < low ? Floats{} + low : (value > high ? Floats{} + high : value))
                                       : Floats{};
    const Ints index = __builtin_convertvector(kept, Ints) + centre;
    for (int32_t lane = 0; lane < LANES; ++lane)
        (*entries)[lane] = table[index[lane]];
}

// int() of each lane, saturating as TruncToInt does; lanes outside the
// processor's conversion are rare and converted one by one.
inline __attribute__((always_inline)) void TruncLanes(const Floats& value, Ints* truncated)
{
    const Ints convertible = (value > -2147483648.0f) & (value < 2147483648.0f);
    *truncated = __builtin_convertvector(convertible ? value : Floats{}, Ints);
    for (int32_t lane = 0; lane < LANES; ++lane) {
        if (!convertible[lane])
            (*truncated)[lane] = TruncToInt(value[lane]);
    }
}

// The environment coordinates of eight vertices in lanes, from their
// camera positions and scales: PositionEntry and NormalEntry of the same
// products and sums as the one-by-one loop makes, with their clamps; for a
// shaded object also the camera normal and the base colour.
inline __attribute__((always_inline)) void EnvironmentLanes(Vertex* v, const Floats (&camera)[3], const Floats& s,
                                                            float nearZ, const EnvironmentTerms& terms)
{
    constexpr float POSITION_LOW = -POSITION_CENTRE, POSITION_HIGH = POSITION_LAST - POSITION_CENTRE;
    constexpr float NORMAL_LOW = -NORMAL_CENTRE, NORMAL_HIGH = NORMAL_CENTRE - 1;
    const auto& unit = terms.unit;
    Floats n[3];
    Gather<&Vertex::normal>(v, n);
    const Ints near = ~Ints(camera[2] < nearZ);
    Ints ex, ey, nx, ny;
    EntryLanes(PositionTable, camera[0] * s, POSITION_LOW, POSITION_HIGH, POSITION_CENTRE, &ex);
    EntryLanes(PositionTable, camera[1] * s, POSITION_LOW, POSITION_HIGH, POSITION_CENTRE, &ey);
    const Floats cx = n[0] * unit[0][0] + n[1] * unit[1][0] + n[2] * unit[2][0];
    const Floats cy = n[0] * unit[0][1] + n[1] * unit[1][1] + n[2] * unit[2][1];
    EntryLanes(NormalTable, cx, NORMAL_LOW, NORMAL_HIGH, NORMAL_CENTRE, &nx);
    EntryLanes(NormalTable, cy, NORMAL_LOW, NORMAL_HIGH, NORMAL_CENTRE, &ny);
    const Floats row = __builtin_convertvector(ny - (near & ey), Floats);
    const Floats column = __builtin_convertvector(nx - (near & ex), Floats);
    for (int32_t lane = 0; lane < LANES; ++lane) {
        v[lane].envRow = row[lane];
        v[lane].envColumn = column[lane];
    }
    if (!terms.shaded)
        return;
    Ints ix, iy;
    TruncLanes(cx, &ix);
    TruncLanes(cy, &iy);
    const Floats normalX = __builtin_convertvector(ix, Floats);
    const Floats normalY = __builtin_convertvector(iy, Floats);
    const Floats normalZ = n[0] * unit[0][2] + n[1] * unit[1][2] + n[2] * unit[2][2];
    for (int32_t lane = 0; lane < LANES; ++lane) {
        v[lane].cameraNormal[0] = normalX[lane];
        v[lane].cameraNormal[1] = normalY[lane];
        v[lane].cameraNormal[2] = normalZ[lane];
        v[lane].litColour = terms.base;
    }
}

// Transform and Project in every lane, on the vertices first .. first +
// count − 1, count a multiple of LANES: the same products and sums in the
// same order, focal / z taken in every lane and kept where z > 0. Each
// vertex's scale goes to scales[i] when scales is given, and its
// environment coordinates are made too when `environment` is.
__attribute__((target_clones("avx2", "default"))) void TransformRun(Vertex* vertices, uint32_t count,
                                                                     const Matrix& m,
                                                                     const Projection& projection,
                                                                     float* scales,
                                                                     const EnvironmentTerms* environment)
{
    for (uint32_t first = 0; first < count; first += LANES) {
        Vertex* const v = vertices + first;
        Floats p[3];
        Gather<&Vertex::position>(v, p);
        Floats camera[3];
        for (int j = 0; j < 3; ++j)
            camera[j] = p[0] * m[j] + p[1] * m[4 + j] + p[2] * m[8 + j] + m[12 + j];
        const Floats z = camera[2];
        const Floats s = z > 0 ? projection.focal / z : Floats{} + 100.0f;
        Ints code = z < projection.nearZ ? Ints{} + CLIP_NEAR : (z > projection.farZ ? Ints{} + CLIP_FAR : Ints{});
        const Floats screenX = camera[0] * s + projection.centreX;
        const Floats screenY = camera[1] * s + projection.centreY;
        code |= screenX >= 0 ? (screenX > projection.lastX ? Ints{} + CLIP_RIGHT : Ints{}) : Ints{} + CLIP_LEFT;
        code |= screenY >= 0 ? (screenY > projection.lastY ? Ints{} + CLIP_BOTTOM : Ints{}) : Ints{} + CLIP_TOP;
        float out[5][LANES];
        for (int j = 0; j < 3; ++j)
            std::memcpy(out[j], &camera[j], sizeof out[j]);
        std::memcpy(out[3], &screenX, sizeof out[3]);
        std::memcpy(out[4], &screenY, sizeof out[4]);
        for (int32_t lane = 0; lane < LANES; ++lane) {
            Vertex& vertex = v[lane];
            for (int j = 0; j < 3; ++j)
                vertex.camera[j] = out[j][lane];
            vertex.screenX = out[3][lane];
            vertex.screenY = out[4][lane];
            vertex.clipCode = uint16_t(code[lane]);
            vertex.vertexValue &= ~3u;
        }
        if (scales)
            std::memcpy(scales + first, &s, sizeof s);
        if (environment)
            EnvironmentLanes(v, camera, s, projection.nearZ, *environment);
    }
}

// Position-table entry of a projected offset, the index clamped to the table.
int32_t PositionEntry(float offset)
{
    if (!PositionTable)
        return 0;
    const int64_t index = int64_t(TruncToInt(offset)) + POSITION_CENTRE;
    return PositionTable[std::clamp<int64_t>(index, 0, POSITION_LAST)];
}

// Normal-table entry of a camera-space normal component. Unit rows of a
// sheared matrix can carry a component past ±127, so the index is clamped
// to the table as well.
int32_t NormalEntry(int32_t component)
{
    if (!NormalTable)
        return 0;
    return NormalTable[std::clamp(component, -NORMAL_CENTRE, NORMAL_CENTRE - 1) + NORMAL_CENTRE];
}

uint32_t Channel(uint32_t colour, int shift)
{
    return (colour >> shift) & 0xFF;
}

// The shaded filler's base colour: the ambient grey, or each channel of the
// vertex colour scaled and raised by the ambient channel.
uint32_t BaseColour(const Vertex& vertex, bool vertexColours)
{
    if (!vertexColours)
        return Frame.ambientGrey;
    const int32_t ambient[3] = {Frame.ambientR, Frame.ambientG, Frame.ambientB};
    uint32_t colour = 0;
    for (int i = 0; i < 3; ++i) {
        const int shift = 16 - 8 * i;
        const int64_t value =
            int64_t(TruncToInt(float(Channel(vertex.colour, shift)) * Frame.vertexColourScale)) + ambient[i];
        colour |= uint32_t(std::clamp<int64_t>(value, 0, 255)) << shift;
    }
    return colour;
}

}  // namespace

void ProjectVertex(Vertex* vertex)
{
    Projection().Project(*vertex);
}

// Blocks of this many vertices are transformed and projected together
// before their environment coordinates are formed.
constexpr uint32_t BLOCK = 64;


void TransformVertices(ObjectEntity* object, FrontEndPath path)
{
    if (!object || !object->vertices)
        return;
    const Projection projection;
    const Matrix m(object->matrix);
    const uint32_t wide = path == FrontEndPath::WIDE ? object->vertexCount - object->vertexCount % uint32_t(LANES) : 0;
    if (wide > 0)
        TransformRun(object->vertices, wide, m, projection, nullptr, nullptr);
    for (uint32_t i = wide; i < object->vertexCount; ++i) {
        Vertex& vertex = object->vertices[i];
        ToCameraSpace(m, vertex.position, vertex.camera);
        projection.Project(vertex);
    }
}

// The environment coordinates pair the row with the normal's y and the
// projected y offset, the column with x.
void TransformVerticesEnv(ObjectEntity* object, FrontEndPath path)
{
    if (!object || !object->vertices)
        return;
    EnvironmentTerms terms;
    std::copy_n(&object->unitRows[0][0], 9, &terms.unit[0][0]);
    const auto& unit = terms.unit;
    terms.shaded = object->objectFlags & OBJECT_SHADED;
    terms.base = Frame.ambientGrey;
    const bool vertexColours = object->objectFlags & OBJECT_VERTEXCOLOURS;
    // Vertex colours are worked out one by one; so is everything without
    // the tables, whose entries are then 0.
    const bool lanes = !vertexColours && PositionTable && NormalTable;
    const Projection projection;
    const Matrix m(object->matrix);
    float scales[BLOCK];
    for (uint32_t start = 0; start < object->vertexCount; start += BLOCK) {
        Vertex* const block = object->vertices + start;
        const uint32_t count = std::min(BLOCK, object->vertexCount - start);
        const uint32_t wide = path == FrontEndPath::WIDE ? count - count % uint32_t(LANES) : 0;
        if (wide > 0)
            TransformRun(block, wide, m, projection, scales, lanes ? &terms : nullptr);
        for (uint32_t i = wide; i < count; ++i) {
            ToCameraSpace(m, block[i].position, block[i].camera);
            scales[i] = projection.Project(block[i]);
        }
        for (uint32_t i = lanes ? wide : 0; i < count; ++i) {
            Vertex& vertex = block[i];
            const float s = scales[i];
            int32_t ex = 0;
            int32_t ey = 0;
            if (!(vertex.camera[2] < projection.nearZ)) {
                ex = PositionEntry(vertex.camera[0] * s);
                ey = PositionEntry(vertex.camera[1] * s);
            }

            const float* n = vertex.normal;
            const int32_t cx = TruncToInt(n[0] * unit[0][0] + n[1] * unit[1][0] + n[2] * unit[2][0]);
            const int32_t cy = TruncToInt(n[0] * unit[0][1] + n[1] * unit[1][1] + n[2] * unit[2][1]);
            if (terms.shaded) {
                vertex.cameraNormal[0] = float(cx);
                vertex.cameraNormal[1] = float(cy);
                vertex.cameraNormal[2] = n[0] * unit[0][2] + n[1] * unit[1][2] + n[2] * unit[2][2];
                vertex.litColour = BaseColour(vertex, vertexColours);
            }
            vertex.envRow = float(NormalEntry(cy) - ey);
            vertex.envColumn = float(NormalEntry(cx) - ex);
        }
    }
}

void TransformFaceNormals(ObjectEntity* object)
{
    if (!object || !object->faces)
        return;
    float unit[3][3];
    std::copy_n(&object->unitRows[0][0], 9, &unit[0][0]);
    for (uint32_t i = 0; i < object->faceCount; ++i) {
        Face& face = object->faces[i];
        const float* n = face.normal;
        for (int axis = 0; axis < 3; ++axis)
            face.cameraNormal[axis] = n[0] * unit[0][axis] + n[1] * unit[1][axis] + n[2] * unit[2][axis];
        const Vertex* first = face.vertices[0];
        if (!first)
            continue;
        face.planeDistance = face.cameraNormal[0] * first->camera[0] + face.cameraNormal[1] * first->camera[1] +
                             face.cameraNormal[2] * first->camera[2];
    }
}

}  // namespace kvor3d
