// Environment member in batches: eight small triangles set up side by side,
// then each one's spans from their leftmost pixels.
#include "render/setup_lanes.h"
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

// Rows of a triangle whose spans a batch's set-up lists itself.
constexpr int32_t ENVIRONMENT_ROWS = 32;
constexpr int32_t ENV_RUN_N = 2, ENV_RUN_B = 2;
#define ENV_RUN ((F & SPAN_BILINEAR) ? ENV_RUN_B : ENV_RUN_N)

// The spans of a batch's small triangles as FillEnvironment draws them, row
// k of triangle i at [k][i]: the leftmost pixel, the count (0 where the row
// has no span) and the 16.16 env row and column at the leftmost pixel. A
// span drawn from its right end gets the values it would reach at its left
// end: the additions wrap, so stepping from there by d/dx gives every pixel
// the value that stepping back from the right end gives.
struct EnvironmentTable {
    int32_t left[ENVIRONMENT_ROWS][LANES];
    int32_t count[ENVIRONMENT_ROWS][LANES];
    uint32_t at[2][ENVIRONMENT_ROWS][LANES];  // env row, env column
    uint32_t dx[2][LANES];                    // their d/dx
    int32_t firstRow[LANES];                  // the first row in the frame
    int32_t rows[LANES];                      // rows in the frame
};

// The listed rows of triangle i with member F: each span from its leftmost
// pixel, eight pixels at a time; a bilinear span of one pixel costs less
// alone.
template <unsigned F>
__attribute__((target("avx2"), flatten)) void DrawRowsWide(const EnvironmentTable& table, int32_t i,
                                                           const Surface& surface)
{
    const Surface s = surface;
    const int64_t width = Frame.width;
    const uint16_t* const frameEnd = Frame.target + width * Frame.height;
    const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const uint32_t rowStep = table.dx[0][i], columnStep = table.dx[1][i];
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        int32_t n = table.count[k][i];
        if (n <= 0)
            continue;
        uint16_t* d = line + table.left[k][i];
        if ((F & SPAN_BILINEAR) && n == 1) {
            Interpolants q{};
            q.envRow = table.at[0][k][i];
            q.envColumn = table.at[1][k][i];
            *d = uint16_t(SpanPixel<F>(s, q, uint32_t(0)));
            continue;
        }
        LaneInterpolants p{};
        p.envRow = table.at[0][k][i] + lane * rowStep;
        p.envColumn = table.at[1][k][i] + lane * columnStep;
        for (; n > LANES; n -= LANES, d += LANES) {
            const PixelLanes values = __builtin_convertvector(SpanPixel<F>(s, p, Lanes{}), PixelLanes);
            std::memcpy(d, &values, sizeof values);
            p.envRow += rowStep * uint32_t(LANES);
            p.envColumn += columnStep * uint32_t(LANES);
        }
        StoreFirst(d, n, __builtin_convertvector(SpanPixel<F>(s, p, Lanes{}), PixelLanes), frameEnd);
    }
}

// The same a pixel at a time.
template <unsigned F>
void DrawRowsNarrow(const EnvironmentTable& table, int32_t i, const Surface& s)
{
    const int64_t width = Frame.width;
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        Interpolants q{};
        q.envRow = table.at[0][k][i];
        q.envColumn = table.at[1][k][i];
        uint16_t* d = line + table.left[k][i];
        for (int32_t n = table.count[k][i]; n > 0; --n, ++d) {
            *d = uint16_t(SpanPixel<F>(s, q, uint32_t(0)));
            q.envRow += table.dx[0][i];
            q.envColumn += table.dx[1][i];
        }
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

// FillEnvironmentBatch in lanes: TriangleLanes of the env row and column
// (the third quantity unused), their planes in 16.16 as FixedPlaneOf makes
// them. Triangles with rows in the frame, all of them set up by lanes and
// none with more than ENVIRONMENT_ROWS of them, have their spans listed,
// found by ScanRows' and SpanRows' arithmetic in every lane; the others are
// drawn by FillEnvironment itself.
template <bool WIDE>
inline __attribute__((always_inline)) void EnvironmentBatch(const TriangleRef* triangles, int32_t count,
                                                            TriangleDone done, void* context)
{
    const TriangleRef* p[LANES];
    for (int32_t lane = 0; lane < LANES; ++lane)
        p[lane] = &triangles[std::min(lane, count - 1)];
    CornerLanes corner[3];
    for (int j = 0; j < 3; ++j) {
        corner[j].x = LanesOf<Floats>([&](int32_t lane) { return p[lane]->corners[j]->screenX; });
        corner[j].y = LanesOf<Floats>([&](int32_t lane) { return p[lane]->corners[j]->screenY; });
        corner[j].value[0] = LanesOf<Floats>([&](int32_t lane) { return p[lane]->corners[j]->envRow; });
        corner[j].value[1] = LanesOf<Floats>([&](int32_t lane) { return p[lane]->corners[j]->envColumn; });
        corner[j].value[2] = Floats{};
    }
    const TriangleLanes s(corner);
    Ints general = s.general;
    Ints dx[2], dy[2], start[2];
    for (int c = 0; c < 2; ++c) {
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
    EnvironmentTable table;
    if (BitsOf(listed) & present) {
        std::memcpy(table.firstRow, &s.rowStart, sizeof table.firstRow);
        std::memcpy(table.rows, &s.rowCount, sizeof table.rows);
        const Words skipped = Words(s.rowStart) - Words(s.firstRow);
        Words edge[2];
        for (int c = 0; c < 2; ++c) {
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
            for (int c = 0; c < 2; ++c) {
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
        if (rows & (1u << i)) {
            const ObjectEntity* object = OwnerObject(triangles[i]);
            Surface surface{};
            surface.texels = TexelMapOf(object->environmentMap, 0);
            const bool bilinear = object->material[2] == ENVIRONMENT_BILINEAR;
            if constexpr (WIDE) {
                if (bilinear)
                    DrawRowsWide<SPAN_ENVIRONMENT | SPAN_BILINEAR>(table, i, surface);
                else
                    DrawRowsWide<SPAN_ENVIRONMENT>(table, i, surface);
            } else {
                if (bilinear)
                    DrawRowsNarrow<SPAN_ENVIRONMENT | SPAN_BILINEAR>(table, i, surface);
                else
                    DrawRowsNarrow<SPAN_ENVIRONMENT>(table, i, surface);
            }
        } else if (alone & (1u << i)) {
            FillEnvironment(&triangles[i]);
        }
        if (done)
            done(context, i);
    }
}

__attribute__((target("avx2"))) void EnvironmentBatchWide(const TriangleRef* triangles, int32_t count,
                                                          TriangleDone done, void* context)
{
    EnvironmentBatch<true>(triangles, count, done, context);
}

void EnvironmentBatchNarrow(const TriangleRef* triangles, int32_t count, TriangleDone done, void* context)
{
    EnvironmentBatch<false>(triangles, count, done, context);
}

}  // namespace

static_assert(ENVIRONMENT_BATCH == LANES, "a batch is set up in one vector");

void FillEnvironmentBatch(const TriangleRef* triangles, int32_t count, TriangleDone done, void* context)
{
    if (count <= 0 || count > ENVIRONMENT_BATCH)
        return;
    bool owned = Frame.target && Frame.width > 0;
    for (int32_t i = 0; i < count; ++i) {
        const ObjectEntity* object = OwnerObject(triangles[i]);
        owned = owned && object && Addressable(object->environmentMap);
    }
    if (!owned) {
        for (int32_t i = 0; i < count; ++i) {
            FillEnvironment(&triangles[i]);
            if (done)
                done(context, i);
        }
    } else if (SpanVectors) {
        EnvironmentBatchWide(triangles, count, done, context);
    } else {
        EnvironmentBatchNarrow(triangles, count, done, context);
    }
}

}  // namespace kvor3d
