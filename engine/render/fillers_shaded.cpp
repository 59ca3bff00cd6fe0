// Gouraud members: the corners' lit colours interpolated as three 16.16
// channels.
#include "render/setup_lanes.h"
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

// Rows of a triangle whose spans a batch's set-up lists itself.
constexpr int32_t SHADED_ROWS = 64;

// The spans of a batch's small triangles as FillShaded draws them, row k of
// triangle i at [k][i]: the leftmost pixel, the count (0 where the row has
// no span) and each channel's 16.16 light at the leftmost pixel, modulo
// 2^24: a pixel reads bits 19 to 23 of each channel only, and the additions
// wrap. A span drawn from its right end gets the light it would reach at
// its left end, so that stepping from there by d/dx gives every pixel the
// value that stepping back from the right end gives.
struct ShadedTable {
    int32_t left[SHADED_ROWS][LANES];
    int32_t count[SHADED_ROWS][LANES];
    uint32_t light[3][SHADED_ROWS][LANES];
    uint32_t dx[3][LANES];    // each channel's d/dx
    int32_t firstRow[LANES];  // the first row in the frame
    int32_t rows[LANES];      // rows in the frame
};

// The listed rows of triangle i: each span from its leftmost pixel, eight
// pixels at a time.
inline __attribute__((always_inline)) void DrawListedRows(const ShadedTable& table, int32_t i)
{
    const int64_t width = Frame.width;
    const uint16_t* const frameEnd = Frame.target + width * Frame.height;
    const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const uint32_t redStep = table.dx[0][i], greenStep = table.dx[1][i], blueStep = table.dx[2][i];
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        int32_t n = table.count[k][i];
        if (n <= 0)
            continue;
        uint16_t* d = line + table.left[k][i];
        Lanes red = table.light[0][k][i] + lane * redStep;
        Lanes green = table.light[1][k][i] + lane * greenStep;
        Lanes blue = table.light[2][k][i] + lane * blueStep;
        for (; n > LANES; n -= LANES, d += LANES) {
            const PixelLanes values = __builtin_convertvector(ShadedPixel(red, green, blue), PixelLanes);
            std::memcpy(d, &values, sizeof values);
            red += redStep * uint32_t(LANES);
            green += greenStep * uint32_t(LANES);
            blue += blueStep * uint32_t(LANES);
        }
        StoreFirst(d, n, __builtin_convertvector(ShadedPixel(red, green, blue), PixelLanes), frameEnd);
    }
}

// FillShadedBatch in lanes: TriangleLanes of the lit channels as
// LitChannel takes them, their planes in 16.16 as FourPlanes::Fixed makes
// them. Triangles with rows in the frame, all of them set up by lanes and
// none with more than SHADED_ROWS of them, have their spans listed, found
// by ScanRows' and SpanRows' arithmetic in every lane; the others are drawn
// by FillShaded itself.
inline __attribute__((always_inline)) void ShadeBatch(const TriangleRef* triangles, int32_t count)
{
    const TriangleRef* p[LANES];
    for (int32_t lane = 0; lane < LANES; ++lane)
        p[lane] = &triangles[std::min(lane, count - 1)];
    const Ints colour = LanesOf<Ints>([&](int32_t lane) { return int32_t(OwnerObject(*p[lane])->colour); });
    CornerLanes corner[3];
    for (int j = 0; j < 3; ++j) {
        corner[j].x = LanesOf<Floats>([&](int32_t lane) { return p[lane]->corners[j]->screenX; });
        corner[j].y = LanesOf<Floats>([&](int32_t lane) { return p[lane]->corners[j]->screenY; });
        const Ints lit = LanesOf<Ints>([&](int32_t lane) { return int32_t(p[lane]->corners[j]->litColour); });
        const int shifts[3] = {16, 8, 0};
        for (int c = 0; c < 3; ++c) {
            const int shift = shifts[c];
            const Ints light = (((lit >> shift) & 0xFF) * ((colour >> shift) & 0xFF)) >> 8;
            corner[j].value[c] = __builtin_convertvector(light, Floats);
        }
    }
    const TriangleLanes s(corner);
    Ints general = s.general;
    Ints dx[3], dy[3], start[3];
    s.Fixed(general, dx, dy, start);
    const Ints listed = s.drawn & ~general & (s.rowCount <= SHADED_ROWS);
    const uint32_t present = (1u << count) - 1;
    const int32_t depth = ListedDepth(listed, s.rowCount, count);
    ShadedTable table;
    if (BitsOf(listed) & present) {
        std::memcpy(table.firstRow, &s.rowStart, sizeof table.firstRow);
        std::memcpy(table.rows, &s.rowCount, sizeof table.rows);
        const Words skipped = Words(s.rowStart) - Words(s.firstRow);
        Words light[3];
        for (int c = 0; c < 3; ++c) {
            std::memcpy(table.dx[c], &dx[c], sizeof table.dx[c]);
            light[c] = Words(start[c]) + Words(dy[c]) * skipped;
        }
        RowLanes rows(s);
        for (int32_t k = 0; k < depth; ++k, rows.Next()) {
            Ints left, spanCount, first;
            rows.Span(left, spanCount, first);
            // The span starts at the long edge's end; its light there is the
            // edge value plus (d/dx × fraction) >> 8, and (left − first) ×
            // d/dx further at the leftmost pixel: the edge value plus (d/dx
            // × (fraction + 256 × (left − first))) >> 8, whose bits 0 to 23
            // are bits 8 to 31 of the product's low 32 bits.
            const Words fraction = Words(left) * 256u - Words(Ints(rows.xLong) >> 8);
            for (int c = 0; c < 3; ++c) {
                const Words correction = Words(Ints(Words(dx[c]) * fraction) >> 8);
                const Words atLeft = light[c] + correction;
                std::memcpy(table.light[c][k], &atLeft, sizeof table.light[c][k]);
                light[c] += Words(dy[c]);
            }
            const Ints drawnCount = spanCount > Ints{} ? spanCount : Ints{};
            std::memcpy(table.left[k], &left, sizeof table.left[k]);
            std::memcpy(table.count[k], &drawnCount, sizeof table.count[k]);
        }
    }
    const uint32_t rows = BitsOf(listed) & present;
    const uint32_t alone = BitsOf(~listed & (s.drawn | general)) & present;
    for (int32_t i = 0; i < count; ++i) {
        if (rows & (1u << i))
            DrawListedRows(table, i);
        else if (alone & (1u << i))
            FillShaded(&triangles[i]);
    }
}

__attribute__((target("avx2"))) void ShadeBatchWide(const TriangleRef* triangles, int32_t count)
{
    ShadeBatch(triangles, count);
}

void ShadeBatchNarrow(const TriangleRef* triangles, int32_t count)
{
    ShadeBatch(triangles, count);
}

}  // namespace

// The lit colour times the object colour, channel by channel.
void FillShaded(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.shadeColour = object->colour;
    DrawSpans<SPAN_SHADE>(scan, surface);
}

static_assert(SHADED_BATCH == LANES, "a batch is set up in one vector");

void FillShadedBatch(const TriangleRef* triangles, int32_t count)
{
    if (count <= 0 || count > SHADED_BATCH)
        return;
    bool owned = Frame.target && Frame.width > 0;
    for (int32_t i = 0; i < count; ++i)
        owned = owned && OwnerObject(triangles[i]);
    if (!owned) {
        for (int32_t i = 0; i < count; ++i)
            FillShaded(&triangles[i]);
    } else if (SpanVectors) {
        ShadeBatchWide(triangles, count);
    } else {
        ShadeBatchNarrow(triangles, count);
    }
}

// Nearest texels scaled by the lit colour; m1 is not read.
void FillShadedTexture(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->textureMap, 0);
    DrawSpans<SPAN_SHADE | SPAN_TEXEL>(scan, surface);
}

void FillShadedPerspectiveTexture(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->textureMap, 0);
    surface.pieceShift = PieceShiftOf(*object);
    DrawSpans<SPAN_SHADE | SPAN_TEXEL | SPAN_PERSPECTIVE>(scan, surface);
}

}  // namespace kvor3d
