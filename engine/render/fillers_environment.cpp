// Environment members in batches: eight small faces set up side by side,
// then each one's spans from their leftmost pixels.
#include "render/setup_lanes.h"
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

// Rows of a triangle whose spans a batch's set-up lists itself.
constexpr int32_t ENVIRONMENT_ROWS = 32;

// The quantities a batch interpolates: the env row and column, and the map
// u and v where some face reads map coordinates.
constexpr int ENV_ROW = 0;
constexpr int ENV_COLUMN = 1;
constexpr int MAP_U = 2;
constexpr int MAP_V = 3;

// The spans of a batch's small triangles as the environment members draw
// them, row k of triangle i at [k][i]: the leftmost pixel, the count (0
// where the row has no span) and the N 16.16 quantities at the leftmost
// pixel. A span drawn from its right end gets the values it would reach at
// its left end: the additions wrap, so stepping from there by d/dx gives
// every pixel the value that stepping back from the right end gives.
template <int N>
struct EnvironmentTable {
    int32_t left[ENVIRONMENT_ROWS][LANES];
    int32_t count[ENVIRONMENT_ROWS][LANES];
    uint32_t at[N][ENVIRONMENT_ROWS][LANES];
    uint32_t dx[N][LANES];    // their d/dx
    int32_t firstRow[LANES];  // the first row in the frame
    int32_t rows[LANES];      // rows in the frame
};

// The quantities of row k of triangle i at its leftmost pixel.
template <int N>
inline __attribute__((always_inline)) Interpolants LeftmostOf(const EnvironmentTable<N>& table, int32_t k,
                                                              int32_t i)
{
    Interpolants q{};
    q.envRow = table.at[ENV_ROW][k][i];
    q.envColumn = table.at[ENV_COLUMN][k][i];
    if constexpr (N > MAP_V) {
        q.u = table.at[MAP_U][k][i];
        q.v = table.at[MAP_V][k][i];
    }
    return q;
}

// The frame's pixels d[0] to d[n − 1] (n from 1 to 8) in the first lanes:
// all eight read at once where they lie in the frame.
inline __attribute__((always_inline)) PixelLanes LoadFirst(const uint16_t* d, int32_t n, const uint16_t* frameEnd)
{
    PixelLanes frame{};
    if (frameEnd - d >= LANES) {
        std::memcpy(&frame, d, sizeof frame);
    } else {
        for (int32_t i = 0; i < n; ++i)
            frame[i] = d[i];
    }
    return frame;
}

// The listed rows of triangle i with member F: each span from its leftmost
// pixel, eight pixels at a time; a bilinear span of one pixel costs less
// alone.
template <unsigned F, int N>
__attribute__((target("avx2"), flatten)) void DrawRowsWide(const EnvironmentTable<N>& table, int32_t i,
                                                           const Surface& surface)
{
    const Surface s = surface;
    const int64_t width = Frame.width;
    const uint16_t* const frameEnd = Frame.target + width * Frame.height;
    const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    uint32_t step[N];
    for (int c = 0; c < N; ++c)
        step[c] = table.dx[c][i];
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        int32_t n = table.count[k][i];
        if (n <= 0)
            continue;
        uint16_t* d = line + table.left[k][i];
        const Interpolants q = LeftmostOf(table, k, i);
        if ((F & SPAN_BILINEAR) && n == 1) {
            *d = uint16_t(SpanPixel<F>(s, q, uint32_t(*d)));
            continue;
        }
        LaneInterpolants p{};
        p.envRow = q.envRow + lane * step[ENV_ROW];
        p.envColumn = q.envColumn + lane * step[ENV_COLUMN];
        if constexpr (N > MAP_V) {
            p.u = q.u + lane * step[MAP_U];
            p.v = q.v + lane * step[MAP_V];
        }
        for (; n > LANES; n -= LANES, d += LANES) {
            PixelLanes values{};
            if constexpr (ReadsFrame(F))
                std::memcpy(&values, d, sizeof values);
            values = __builtin_convertvector(SpanPixel<F>(s, p, __builtin_convertvector(values, Lanes)), PixelLanes);
            std::memcpy(d, &values, sizeof values);
            p.envRow += step[ENV_ROW] * uint32_t(LANES);
            p.envColumn += step[ENV_COLUMN] * uint32_t(LANES);
            if constexpr (N > MAP_V) {
                p.u += step[MAP_U] * uint32_t(LANES);
                p.v += step[MAP_V] * uint32_t(LANES);
            }
        }
        const Lanes frame = ReadsFrame(F) ? __builtin_convertvector(LoadFirst(d, n, frameEnd), Lanes) : Lanes{};
        StoreFirst(d, n, __builtin_convertvector(SpanPixel<F>(s, p, frame), PixelLanes), frameEnd);
    }
}

// The same a pixel at a time.
template <unsigned F, int N>
void DrawRowsNarrow(const EnvironmentTable<N>& table, int32_t i, const Surface& s)
{
    const int64_t width = Frame.width;
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        Interpolants q = LeftmostOf(table, k, i);
        uint16_t* d = line + table.left[k][i];
        for (int32_t n = table.count[k][i]; n > 0; --n, ++d) {
            *d = uint16_t(SpanPixel<F>(s, q, uint32_t(*d)));
            q.envRow += table.dx[ENV_ROW][i];
            q.envColumn += table.dx[ENV_COLUMN][i];
            if constexpr (N > MAP_V) {
                q.u += table.dx[MAP_U][i];
                q.v += table.dx[MAP_V][i];
            }
        }
    }
}

template <bool WIDE, unsigned F, int N>
inline __attribute__((always_inline)) void DrawRows(const EnvironmentTable<N>& table, int32_t i,
                                                    const Surface& surface)
{
    if constexpr (WIDE)
        DrawRowsWide<F, N>(table, i, surface);
    else
        DrawRowsNarrow<F, N>(table, i, surface);
}

// How an object that DrawsEnvironment draws: FillEnvironment's filters
// (the opaque object's), or FillTransparentEnvironment's blends (none with
// a transparency map that has no intensities).
enum class Member : uint8_t { NEAREST, BILINEAR, ALPHA, GREY, NONE };

inline Member MemberOf(const ObjectEntity& object)
{
    if (!(object.objectFlags & OBJECT_TRANSPARENT))
        return object.material[2] == ENVIRONMENT_BILINEAR ? Member::BILINEAR : Member::NEAREST;
    const Texture* map = object.transparencyMap;
    return !map ? Member::ALPHA : GreyReadable(map) ? Member::GREY : Member::NONE;
}

// The listed rows of triangle i as its object's member draws them.
template <bool WIDE, int N>
inline __attribute__((always_inline)) void DrawListed(const EnvironmentTable<N>& table, int32_t i,
                                                      const ObjectEntity& object, Member member)
{
    Surface surface{};
    surface.texels = TexelMapOf(object.environmentMap, 0);
    switch (member) {
    case Member::NEAREST:
        DrawRows<WIDE, SPAN_ENVIRONMENT>(table, i, surface);
        break;
    case Member::BILINEAR:
        DrawRows<WIDE, SPAN_ENVIRONMENT | SPAN_BILINEAR>(table, i, surface);
        break;
    case Member::ALPHA:
        surface.alpha = AlphaOf(object.colour);
        DrawRows<WIDE, SPAN_ENVIRONMENT | SPAN_ALPHA>(table, i, surface);
        break;
    case Member::GREY:
        if constexpr (N > MAP_V) {
            surface.grey = GreyMapOf(object.transparencyMap);
            DrawRows<WIDE, SPAN_ENVIRONMENT | SPAN_GREY>(table, i, surface);
        }
        break;
    case Member::NONE:
        break;
    }
}

// The low 32 bits of (d × fraction) >> 8, as the 64-bit product gives them,
// from 32-bit products: with fraction = high × 256 + low (low in 0 to 255)
// and d = top × 65536 + bottom (bottom in 0 to 65535), the product is
// 256 × (d × high + top × low × 256) + bottom × low, whose last term is
// below 2^24.
inline __attribute__((always_inline)) Words Correction(const Ints& d, const Ints& fraction)
{
    const Words high = Words(fraction >> 8);
    const Words low = Words(fraction & 0xFF);
    return Words(d) * high + ((Words(d >> 16) * low) << 8) + ((Words(d & 0xFFFF) * low) >> 8);
}

// Map coordinates into the face's corners as DrawFace puts them.
inline void SetMapCoordinates(Face& face, const ObjectEntity& object)
{
    if (!ReadsMapCoordinates(object))
        return;
    for (int j = 0; j < 3; ++j) {
        face.vertices[j]->mapU = face.uv[j][0];
        face.vertices[j]->mapV = face.uv[j][1];
    }
}

// FillEnvironmentBatch in lanes: TriangleValues of the N quantities (the
// map u and v from the faces' own coordinates), their planes in 16.16 as
// FixedPlaneOf makes them. Triangles with rows in the frame, all of them
// set up by lanes and none with more than ENVIRONMENT_ROWS of them, have
// their spans listed, found by ScanRows' and SpanRows' arithmetic in every
// lane; the others are drawn by DrawFace itself.
template <bool WIDE, int N>
inline __attribute__((always_inline)) void EnvironmentBatch(Face* const* faces, int32_t count, TriangleDone done,
                                                            void* context)
{
    const Face* f[LANES];
    for (int32_t lane = 0; lane < LANES; ++lane)
        f[lane] = faces[std::min(lane, count - 1)];
    CornerValues<N> corner[3];
    for (int j = 0; j < 3; ++j) {
        corner[j].x = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->screenX; });
        corner[j].y = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->screenY; });
        corner[j].value[ENV_ROW] = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->envRow; });
        corner[j].value[ENV_COLUMN] =
            LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->envColumn; });
        if constexpr (N > MAP_V) {
            corner[j].value[MAP_U] = LanesOf<Floats>([&](int32_t lane) { return f[lane]->uv[j][0]; });
            corner[j].value[MAP_V] = LanesOf<Floats>([&](int32_t lane) { return f[lane]->uv[j][1]; });
        }
    }
    const TriangleValues<N> s(corner);
    Ints general = s.general;
    Ints dx[N], dy[N], start[N];
    for (int c = 0; c < N; ++c) {
        const Floats values[3] = {s.dx[c] * FIXED_ONE, s.dy[c] * FIXED_ONE, s.start[c] * FIXED_ONE};
        Ints* const fixed[3] = {&dx[c], &dy[c], &start[c]};
        for (int j = 0; j < 3; ++j) {
            general |= s.drawn & ~Convertible(values[j]);
            *fixed[j] = Truncated(values[j]);
        }
    }
    const Ints listed = s.drawn & ~general & (s.rowCount <= ENVIRONMENT_ROWS);
    const uint32_t present = (1u << count) - 1;
    int32_t depth = 0;
    for (int32_t lane = 0; lane < count; ++lane)
        depth = std::max(depth, s.rowCount[lane] & listed[lane]);
    EnvironmentTable<N> table;
    if (BitsOf(listed) & present) {
        std::memcpy(table.firstRow, &s.rowStart, sizeof table.firstRow);
        std::memcpy(table.rows, &s.rowCount, sizeof table.rows);
        const Words skipped = Words(s.rowStart) - Words(s.firstRow);
        Words edge[N];
        for (int c = 0; c < N; ++c) {
            std::memcpy(table.dx[c], &dx[c], sizeof table.dx[c]);
            edge[c] = Words(start[c]) + Words(dy[c]) * skipped;
        }
        RowLanes rows(s);
        for (int32_t k = 0; k < depth; ++k, rows.Next()) {
            Ints left, spanCount, first;
            rows.Span(left, spanCount, first);
            // The span starts at the long edge's end; each value there is
            // the edge value plus (d/dx × fraction) >> 8.
            const Ints fraction = Ints(Words(first) * 256u - Words(Ints(rows.xLong) >> 8));
            const Words back = Words(left - first);
            for (int c = 0; c < N; ++c) {
                const Words atLeft = edge[c] + Correction(dx[c], fraction) + back * Words(dx[c]);
                std::memcpy(table.at[c][k], &atLeft, sizeof table.at[c][k]);
                edge[c] += Words(dy[c]);
            }
            const Ints drawnCount = spanCount > Ints{} ? spanCount : Ints{};
            std::memcpy(table.left[k], &left, sizeof table.left[k]);
            std::memcpy(table.count[k], &drawnCount, sizeof table.count[k]);
        }
    }
    const uint32_t rows = BitsOf(listed) & present;
    const uint32_t alone = BitsOf(~listed & (s.drawn | general)) & present;
    for (int32_t i = 0; i < count; ++i) {
        Face& face = *faces[i];
        const ObjectEntity& object = *ObjectOf(face.owner);
        if (alone & (1u << i)) {
            DrawFace(&face);
        } else {
            SetMapCoordinates(face, object);
            if (rows & (1u << i))
                DrawListed<WIDE>(table, i, object, MemberOf(object));
        }
        if (done)
            done(context, i);
    }
}

template <int N>
__attribute__((target("avx2"))) void EnvironmentBatchWide(Face* const* faces, int32_t count, TriangleDone done,
                                                          void* context)
{
    EnvironmentBatch<true, N>(faces, count, done, context);
}

template <int N>
void EnvironmentBatchNarrow(Face* const* faces, int32_t count, TriangleDone done, void* context)
{
    EnvironmentBatch<false, N>(faces, count, done, context);
}

}  // namespace

static_assert(ENVIRONMENT_BATCH == LANES, "a batch is set up in one vector");

void FillEnvironmentBatch(Face* const* faces, int32_t count, TriangleDone done, void* context)
{
    if (count <= 0 || count > ENVIRONMENT_BATCH)
        return;
    bool batched = Frame.target && Frame.width > 0;
    bool mapped = false;
    for (int32_t i = 0; i < count && batched; ++i) {
        const Face& face = *faces[i];
        const ObjectEntity* object = ObjectOf(face.owner);
        batched = face.vertices[0] && face.vertices[1] && face.vertices[2] && !(face.faceFlags & FACE_CLIPPED) &&
                  object && Addressable(object->environmentMap);
        mapped = mapped || (batched && ReadsMapCoordinates(*object));
    }
    if (!batched) {
        for (int32_t i = 0; i < count; ++i) {
            DrawFace(faces[i]);
            if (done)
                done(context, i);
        }
    } else if (SpanVectors) {
        mapped ? EnvironmentBatchWide<4>(faces, count, done, context)
               : EnvironmentBatchWide<2>(faces, count, done, context);
    } else {
        mapped ? EnvironmentBatchNarrow<4>(faces, count, done, context)
               : EnvironmentBatchNarrow<2>(faces, count, done, context);
    }
}

}  // namespace kvor3d
