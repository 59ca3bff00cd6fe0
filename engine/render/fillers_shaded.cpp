// Gouraud members: the corners' lit colours interpolated as three 16.16
// channels.
#include "render/setup_lanes.h"
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

// Rows of a triangle whose spans a batch's set-up lists itself.
constexpr int32_t SHADED_ROWS = 24;

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

// One corner of eight triangles: the screen position and the lit colour's
// red, green and blue as FillShaded takes them (LitChannel).
struct CornerLanes {
    Floats x, y;
    Floats light[3];
};

inline __attribute__((always_inline)) CornerLanes PickCorner(const Ints& mask, const CornerLanes& a,
                                                             const CornerLanes& b)
{
    return {Pick(mask, a.x, b.x),
            Pick(mask, a.y, b.y),
            {Pick(mask, a.light[0], b.light[0]), Pick(mask, a.light[1], b.light[1]),
             Pick(mask, a.light[2], b.light[2])}};
}

// Eight values of the lanes' corners, each made in a register: lanes stored
// one by one and loaded as a vector would wait for the stores.
template <class Vector, class Value>
inline __attribute__((always_inline)) Vector LanesOf(Value value)
{
    return Vector{value(0), value(1), value(2), value(3), value(4), value(5), value(6), value(7)};
}

// 16-bit pixels of eight lanes.
using PixelLanes = uint16_t __attribute__((vector_size(16)));

// The first n (1 to 8) of eight pixels into d on. Where all eight lie in the
// frame they are read and stored at once, those past the n as they were
// read; else the n one by one.
inline __attribute__((always_inline)) void StoreFirst(uint16_t* d, int32_t n, const Lanes& pixels,
                                                      const uint16_t* frameEnd)
{
    const PixelLanes values = __builtin_convertvector(pixels, PixelLanes);
    if (frameEnd - d >= LANES) {
        PixelLanes frame;
        std::memcpy(&frame, d, sizeof frame);
        const PixelLanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
        const PixelLanes stored = lane < uint16_t(n) ? values : frame;
        std::memcpy(d, &stored, sizeof stored);
        return;
    }
    for (int32_t i = 0; i < n; ++i)
        d[i] = values[i];
}

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
        StoreFirst(d, n, ShadedPixel(red, green, blue), frameEnd);
    }
}

// FillShadedBatch in lanes. The set-up is SetUpScan's and PlanesOf's of up
// to LANES triangles side by side, with the same operations in the same
// order in every lane (as SetUpFlatBatch does for the positions), then the
// planes of the three channels. Triangles with rows in the frame, all of
// them set up by lanes and none with more than SHADED_ROWS of them, have
// their spans listed, found by ScanRows' and SpanRows' arithmetic in every
// lane; the others are drawn by FillShaded itself.
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
            corner[j].light[c] = __builtin_convertvector(light, Floats);
        }
    }
    const Ints swapFirst = corner[1].y < corner[0].y;
    CornerLanes t = PickCorner(swapFirst, corner[1], corner[0]);
    CornerLanes m = PickCorner(swapFirst, corner[0], corner[1]);
    const Ints swapSecond = corner[2].y < m.y;
    const CornerLanes b = PickCorner(swapSecond, m, corner[2]);
    const CornerLanes l = PickCorner(swapSecond, corner[2], m);
    const Ints swapThird = l.y < t.y;
    m = PickCorner(swapThird, t, l);
    t = PickCorner(swapThird, l, t);

    Ints general = ~(Convertible(t.y) & Convertible(b.y) & Convertible(m.y));
    const Ints truncatedTop = Truncated(t.y);
    const Floats topTruncation = __builtin_convertvector(truncatedTop, Floats);
    const Ints topAbove = topTruncation < t.y;
    const Ints firstRow = Ints(Words(truncatedTop) - Words(topAbove));
    const Floats topRow = Pick(topAbove, topTruncation + 1.0f, topTruncation);
    const Ints truncatedBottom = Truncated(b.y);
    const Ints lastRow = Ints(Words(truncatedBottom) + Words(b.y < __builtin_convertvector(truncatedBottom, Floats)));
    const Ints truncatedMiddle = Truncated(m.y);
    const Floats middleTruncation = __builtin_convertvector(truncatedMiddle, Floats);
    const Ints middleAbove = middleTruncation < m.y;
    const Ints middleRowIndex = Ints(Words(truncatedMiddle) - Words(middleAbove));
    const Floats middleRow = Pick(middleAbove, middleTruncation + 1.0f, middleTruncation);
    const Ints zero{};
    const Ints lowest = Ints{} + (Frame.height - 1);
    const Ints rowStart = firstRow > zero ? firstRow : zero;
    const Ints rowEnd = lastRow < lowest ? lastRow : lowest;
    const Floats area = (m.y - b.y) * (t.x - b.x) - (t.y - b.y) * (m.x - b.x);
    const Ints drawn = (b.y > t.y) & (rowStart <= rowEnd) & (area != 0.0f);

    const Floats longSlope = (b.x - t.x) / (b.y - t.y);
    const Floats horizontal = Pick(m.x < t.x, Floats{} - SLOPE_HORIZONTAL, Floats{} + SLOPE_HORIZONTAL);
    const Floats upperSlope = Pick(m.y != t.y, (m.x - t.x) / (m.y - t.y), horizontal);
    const Floats lowerSlope = Pick(b.y != m.y, (b.x - m.x) / (b.y - m.y), Floats{});
    const Floats rowOffset = topRow - t.y;
    const Floats edgeValues[6] = {(rowOffset * longSlope + t.x) * FIXED_ONE, longSlope * FIXED_ONE,
                                  (rowOffset * upperSlope + t.x) * FIXED_ONE, upperSlope * FIXED_ONE,
                                  ((middleRow - m.y) * lowerSlope + m.x) * FIXED_ONE, lowerSlope * FIXED_ONE};
    Ints edge[6];
    for (int i = 0; i < 6; ++i) {
        general |= drawn & ~Convertible(edgeValues[i]);
        edge[i] = Truncated(edgeValues[i]);
    }
    const Floats middleToBottom = m.y - b.y;
    const Floats topToBottom = t.y - b.y;
    const Floats down = b.y - t.y;
    Ints dx[3], dy[3], start[3];
    for (int c = 0; c < 3; ++c) {
        const Floats across =
            ((t.light[c] - b.light[c]) * middleToBottom - (m.light[c] - b.light[c]) * topToBottom) / area;
        const Floats along = (b.light[c] - t.light[c]) / down;
        const Floats values[3] = {across * FIXED_ONE, along * FIXED_ONE, (rowOffset * along + t.light[c]) * FIXED_ONE};
        Ints* const fixed[3] = {&dx[c], &dy[c], &start[c]};
        for (int j = 0; j < 3; ++j) {
            general |= drawn & ~Convertible(values[j]);
            *fixed[j] = Truncated(values[j]);
        }
    }
    const Ints rowCount = Ints(Words(rowEnd) - Words(rowStart) + 1);
    const Ints listed = drawn & ~general & (rowCount <= SHADED_ROWS);
    const uint32_t present = (1u << count) - 1;
    int32_t depth = 0;
    for (int32_t lane = 0; lane < count; ++lane)
        depth = std::max(depth, rowCount[lane] & listed[lane]);
    ShadedTable table;
    if (BitsOf(listed) & present) {
        std::memcpy(table.firstRow, &rowStart, sizeof table.firstRow);
        std::memcpy(table.rows, &rowCount, sizeof table.rows);
        const Ints longLeft = edge[1] < edge[3];
        const Words skipped = Words(rowStart) - Words(firstRow);
        Words xLong = Words(edge[0]) + Words(edge[1]) * skipped;
        Words xUpper = Words(edge[2]) + Words(edge[3]) * skipped;
        Words xLower = Words(edge[4]) + Words(edge[5]) * (Words(rowStart) - Words(middleRowIndex));
        Words light[3];
        for (int c = 0; c < 3; ++c) {
            std::memcpy(table.dx[c], &dx[c], sizeof table.dx[c]);
            light[c] = Words(start[c]) + Words(dy[c]) * skipped;
        }
        const Ints rightmost = Ints{} + (Frame.width - 1);
        Ints row = rowStart;
        for (int32_t k = 0; k < depth; ++k) {
            const Ints xShort = row < middleRowIndex ? Ints(xUpper) : Ints(xLower);
            const Ints leftEdge = longLeft ? Ints(xLong) : xShort;
            const Ints rightEdge = longLeft ? xShort : Ints(xLong);
            Ints left = (leftEdge >> 16) - ((leftEdge & FIXED_FRACTION) != 0);
            left = left > zero ? left : zero;
            Ints right = rightEdge >> 16;
            right = right < rightmost ? right : rightmost;
            const Ints spanCount = right - left + 1;
            // The span starts at the long edge's end; its light there is the
            // edge value plus (d/dx × fraction) >> 8, whose bits 0 to 23 are
            // bits 8 to 31 of the product's low 32 bits.
            const Ints first = longLeft ? left : right;
            const Words fraction = Words(first) * 256u - Words(Ints(xLong) >> 8);
            const Words back = Words(left - first);
            for (int c = 0; c < 3; ++c) {
                const Words correction = Words(Ints(Words(dx[c]) * fraction) >> 8);
                const Words atLeft = light[c] + correction + back * Words(dx[c]);
                std::memcpy(table.light[c][k], &atLeft, sizeof table.light[c][k]);
                light[c] += Words(dy[c]);
            }
            const Ints drawnCount = spanCount > zero ? spanCount : zero;
            std::memcpy(table.left[k], &left, sizeof table.left[k]);
            std::memcpy(table.count[k], &drawnCount, sizeof table.count[k]);
            xLong += Words(edge[1]);
            xUpper += Words(edge[3]);
            xLower += Words(edge[5]);
            row += 1;
        }
    }
    const uint32_t rows = BitsOf(listed) & present;
    const uint32_t alone = BitsOf(~listed & (drawn | general)) & present;
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
