// Flat members: one colour over the triangle, written or blended.
#include "render/setup_lanes.h"
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

// 16 pixels stored at once, at any pixel address.
using PixelBlock = uint16_t __attribute__((vector_size(32), aligned(2), may_alias));
constexpr int64_t BLOCK_PIXELS = 16;
constexpr uintptr_t BLOCK_BYTES = 32;

// Up to 63 pixels of one value (at least one): words of four pixels, the
// last one ending at the span's end and overlapping the one before, and
// shorter spans as two overlapping halves. A span of a small triangle is a
// few pixels long, and a loop that runs pixel by pixel costs more than the
// stores.
inline void FillShortSpan(uint16_t* d, int64_t count, uint16_t pixel)
{
    const uint64_t four = uint64_t(pixel) * 0x0001000100010001u;
    if (count >= 4) {
        uint16_t* const last = d + count - 4;
        for (; d < last; d += 4)
            std::memcpy(d, &four, sizeof four);
        std::memcpy(last, &four, sizeof four);
    } else if (count >= 2) {
        const uint32_t two = uint32_t(four);
        std::memcpy(d, &two, sizeof two);
        std::memcpy(d + count - 2, &two, sizeof two);
    } else {
        *d = pixel;
    }
}

// All ones where the condition holds, else zero: choices made by masks
// rather than jumps, where neither way is more likely.
inline int64_t MaskOf(bool condition)
{
    return -int64_t(condition);
}

// The spans of the rows of a triangle in the frame, in one pixel value.
// A span's pixels are the same whichever edge it starts from, so every row
// runs from its left edge to its right one: of the long edge and the upper
// or lower short edge, the left one by a mask and the right one as the
// other. The short edges are followed side by side, each from its own start
// (n steps of 32-bit additions wrap as one advance by n steps does). Spans
// of small triangles are a few pixels long: up to four go as four
// single-pixel stores to the span's first pixel, its last and the two
// between clamped to the last, an empty one as the same stores to a spare
// pixel, so that neither the length nor the emptiness picks a path.
[[gnu::always_inline]] inline void FillRowSpan(uint16_t* line, int64_t left, int64_t count, uint16_t pixel,
                                               uintptr_t spareAddress)
{
    constexpr int64_t STORED = 4;
    if (count > STORED) {
        if (count < LONG_SPAN)
            FillShortSpan(line + left, count, pixel);
        else
            FillLongSpan(line + left, count, pixel);
    } else {
        const int64_t drawn = MaskOf(count > 0);
        const uintptr_t first = reinterpret_cast<uintptr_t>(line + left);
        uint16_t* const d = reinterpret_cast<uint16_t*>((first & drawn) | (spareAddress & ~drawn));
        const int64_t end = (count - 1) & drawn;
        d[0] = pixel;
        d[end != 0] = pixel;
        d[end - (end == STORED - 1)] = pixel;
        d[end] = pixel;
    }
}

[[gnu::always_inline]] inline void FillFlatRows(const ScanTriangle& s, uint16_t pixel)
{
    const int64_t width = Frame.width;
    const int64_t lastRow = std::min<int64_t>(s.lastRow, int64_t(Frame.height) - 1);
    int64_t row = std::max<int64_t>(s.firstRow, 0);
    if (row > lastRow || width <= 0)
        return;
    const int64_t middleRow = s.middleRow;
    const int32_t longLeft = int32_t(MaskOf(s.longLeft));
    int32_t xLong = FixedAdvance(s.xLong, s.stepLong, row - s.firstRow);
    int32_t xUpper = FixedAdvance(s.xUpper, s.stepUpper, row - s.firstRow);
    int32_t xLower = FixedAdvance(s.xLower, s.stepLower, row - middleRow);
    uint16_t* line = Frame.target + row * width;
    uint16_t spare;
    const uintptr_t spareAddress = reinterpret_cast<uintptr_t>(&spare);
    for (; row <= lastRow; ++row, line += width) {
        const int32_t upper = int32_t(MaskOf(row < middleRow));
        const int32_t xShort = (xUpper & upper) | (xLower & ~upper);
        const int32_t leftEdge = (xLong & longLeft) | (xShort & ~longLeft);
        const int32_t rightEdge = xLong ^ xShort ^ leftEdge;
        const int64_t left = std::max<int64_t>((int64_t(leftEdge) + FIXED_FRACTION) >> 16, 0);
        const int64_t right = std::min<int64_t>(rightEdge >> 16, width - 1);
        FillRowSpan(line, left, right - left + 1, pixel, spareAddress);
        xLong = FixedAdd(xLong, s.stepLong);
        xUpper = FixedAdd(xUpper, s.stepUpper);
        xLower = FixedAdd(xLower, s.stepLower);
    }
}

// Rows of a triangle whose spans a batch's set-up lists itself.
constexpr int32_t TABLED_ROWS = 8;

// The spans of a batch's small triangles, as FillFlatRows finds them, row k
// of triangle i at [k][i]: the first pixel and the count (0 past the
// triangle's last row in the frame).
struct SpanTable {
    int32_t left[TABLED_ROWS][LANES];
    int32_t count[TABLED_ROWS][LANES];
    int32_t firstRow[LANES];  // the first row in the frame
    int32_t rows[LANES];      // rows in the frame
    int32_t depth;            // the most rows of a listed triangle
    uint32_t listed;          // bit i: triangle i's spans are listed
};

// SetUpPositions of up to LANES triangles side by side, with the same
// operations in the same order in every lane: the corner order by the same
// three compare-and-swaps, ceil and floor of the rows from the truncation,
// the slopes, the edges' 16.16 starts and steps. A lane where a conversion
// falls outside the truncation's range is set up alone by SetUpPositions.
// Triangles with rows in the frame, all of them set up by lanes and none
// with more than TABLED_ROWS of them, have their spans listed in `table`
// too, found by FillFlatRows' arithmetic in every lane; the others get the
// fields FillFlatRows reads. Bit i of the result: triangle i has rows to
// draw.
__attribute__((target_clones("avx2", "default"))) uint32_t SetUpFlatBatch(const float (*const* corners)[2],
                                                                          int32_t count, ScanTriangle* scans,
                                                                          SpanTable& table)
{
    const float (*p[LANES])[2];
    for (int32_t lane = 0; lane < LANES; ++lane)
        p[lane] = corners[std::min(lane, count - 1)];
    // Each vector made from its lanes in registers: lanes stored one by one
    // and loaded as a vector would wait for the stores to reach memory.
    Floats x[3], y[3];
    for (int i = 0; i < 3; ++i) {
        x[i] = Floats{p[0][i][0], p[1][i][0], p[2][i][0], p[3][i][0], p[4][i][0], p[5][i][0], p[6][i][0], p[7][i][0]};
        y[i] = Floats{p[0][i][1], p[1][i][1], p[2][i][1], p[3][i][1], p[4][i][1], p[5][i][1], p[6][i][1], p[7][i][1]};
    }
    const Ints swapFirst = y[1] < y[0];
    Floats xt = Pick(swapFirst, x[1], x[0]), yt = Pick(swapFirst, y[1], y[0]);
    Floats xm = Pick(swapFirst, x[0], x[1]), ym = Pick(swapFirst, y[0], y[1]);
    const Ints swapSecond = y[2] < ym;
    const Floats xb = Pick(swapSecond, xm, x[2]), yb = Pick(swapSecond, ym, y[2]);
    const Floats xl = Pick(swapSecond, x[2], xm), yl = Pick(swapSecond, y[2], ym);
    const Ints swapThird = yl < yt;
    xm = Pick(swapThird, xt, xl);
    ym = Pick(swapThird, yt, yl);
    xt = Pick(swapThird, xl, xt);
    yt = Pick(swapThird, yl, yt);

    Ints general = ~(Convertible(yt) & Convertible(yb) & Convertible(ym));
    const Ints truncatedTop = Truncated(yt);
    const Floats topTruncation = __builtin_convertvector(truncatedTop, Floats);
    const Ints topAbove = topTruncation < yt;
    const Ints firstRow = Ints(Words(truncatedTop) - Words(topAbove));
    const Floats topRow = Pick(topAbove, topTruncation + 1.0f, topTruncation);
    const Ints truncatedBottom = Truncated(yb);
    const Ints lastRow = Ints(Words(truncatedBottom) + Words(yb < __builtin_convertvector(truncatedBottom, Floats)));
    const Ints truncatedMiddle = Truncated(ym);
    const Floats middleTruncation = __builtin_convertvector(truncatedMiddle, Floats);
    const Ints middleAbove = middleTruncation < ym;
    const Ints middleRowIndex = Ints(Words(truncatedMiddle) - Words(middleAbove));
    const Floats middleRow = Pick(middleAbove, middleTruncation + 1.0f, middleTruncation);
    const Ints zero{};
    const Ints lowest = Ints{} + (Frame.height - 1);
    const Ints drawn = (yb > yt) & ((firstRow > zero ? firstRow : zero) <= (lastRow < lowest ? lastRow : lowest));

    const Floats longSlope = (xb - xt) / (yb - yt);
    const Floats horizontal = Pick(xm < xt, Floats{} - SLOPE_HORIZONTAL, Floats{} + SLOPE_HORIZONTAL);
    const Floats upperSlope = Pick(ym != yt, (xm - xt) / (ym - yt), horizontal);
    const Floats lowerSlope = Pick(yb != ym, (xb - xm) / (yb - ym), Floats{});
    const Floats rowOffset = topRow - yt;
    const Floats fixed[6] = {(rowOffset * longSlope + xt) * FIXED_ONE, longSlope * FIXED_ONE,
                             (rowOffset * upperSlope + xt) * FIXED_ONE, upperSlope * FIXED_ONE,
                             ((middleRow - ym) * lowerSlope + xm) * FIXED_ONE, lowerSlope * FIXED_ONE};
    int32_t edges[6][LANES];
    for (int i = 0; i < 6; ++i) {
        general |= drawn & ~Convertible(fixed[i]);
        const Ints converted = Truncated(fixed[i]);
        std::memcpy(edges[i], &converted, sizeof edges[i]);
    }
    const Ints rowStart = firstRow > zero ? firstRow : zero;
    const Ints rowEnd = lastRow < lowest ? lastRow : lowest;
    const Ints rowCount = Ints(Words(rowEnd) - Words(rowStart) + 1);
    const Ints listed = drawn & ~general & (rowCount <= TABLED_ROWS);
    const uint32_t present = (1u << count) - 1;
    table.listed = BitsOf(listed) & present;
    table.depth = 0;
    for (int32_t lane = 0; lane < count; ++lane)
        table.depth = std::max(table.depth, rowCount[lane] & listed[lane]);
    if (table.listed) {
        std::memcpy(table.firstRow, &rowStart, sizeof table.firstRow);
        std::memcpy(table.rows, &rowCount, sizeof table.rows);
        Ints edge[6];
        for (int i = 0; i < 6; ++i)
            std::memcpy(&edge[i], edges[i], sizeof edge[i]);
        const Ints longLeft = edge[1] < edge[3];
        const Words skipped = Words(rowStart) - Words(firstRow);
        Words xLong = Words(edge[0]) + Words(edge[1]) * skipped;
        Words xUpper = Words(edge[2]) + Words(edge[3]) * skipped;
        Words xLower = Words(edge[4]) + Words(edge[5]) * (Words(rowStart) - Words(middleRowIndex));
        const Ints rightmost = Ints{} + (Frame.width - 1);
        Ints row = rowStart;
        for (int32_t k = 0; k < table.depth; ++k) {
            const Ints xShort = row < middleRowIndex ? Ints(xUpper) : Ints(xLower);
            const Ints leftEdge = longLeft ? Ints(xLong) : xShort;
            const Ints rightEdge = longLeft ? xShort : Ints(xLong);
            Ints left = (leftEdge >> 16) - ((leftEdge & FIXED_FRACTION) != 0);
            left = left > zero ? left : zero;
            const Ints right = rightEdge >> 16;
            const Ints spanCount = (right < rightmost ? right : rightmost) - left + 1;
            const Ints inside = spanCount & (row <= rowEnd);
            std::memcpy(table.left[k], &left, sizeof table.left[k]);
            std::memcpy(table.count[k], &inside, sizeof table.count[k]);
            xLong += Words(edge[1]);
            xUpper += Words(edge[3]);
            xLower += Words(edge[5]);
            row += 1;
        }
    }
    const uint32_t alone = BitsOf(general) & present;
    const uint32_t scanned = BitsOf(drawn & ~general & ~listed) & present;
    uint32_t rows = table.listed | scanned;
    for (uint32_t left = alone; left; left &= left - 1) {
        const int32_t lane = __builtin_ctz(left);
        rows |= uint32_t(SetUpPositions(corners[lane], scans[lane])) << lane;
    }
    for (uint32_t left = scanned; left; left &= left - 1) {
        const int32_t lane = __builtin_ctz(left);
        ScanTriangle& scan = scans[lane];
        scan.firstRow = firstRow[lane];
        scan.middleRow = middleRowIndex[lane];
        scan.lastRow = lastRow[lane];
        scan.xLong = edges[0][lane];
        scan.stepLong = edges[1][lane];
        scan.xUpper = edges[2][lane];
        scan.stepUpper = edges[3][lane];
        scan.xLower = edges[4][lane];
        scan.stepLower = edges[5][lane];
        scan.longLeft = scan.stepLong < scan.stepUpper;
    }
    return rows;
}

}  // namespace

// Long fills are bound by the stores: 32 bytes at a time, aligned to 32
// bytes so that no store straddles a cache line, with one unaligned store
// at each end overlapping the aligned ones. The compiler makes an AVX2 clone
// beside the baseline one, and the loader picks the clone on processors that
// have it.
__attribute__((target_clones("avx2", "default"))) void FillLongSpan(uint16_t* d, int64_t count, uint16_t pixel)
{
    const PixelBlock block = PixelBlock{} + pixel;
    uint16_t* const end = d + count;
    *reinterpret_cast<PixelBlock*>(d) = block;
    *reinterpret_cast<PixelBlock*>(end - BLOCK_PIXELS) = block;
    const uintptr_t skip = BLOCK_BYTES - (reinterpret_cast<uintptr_t>(d) & (BLOCK_BYTES - 1));
    for (uint16_t* p = d + skip / sizeof(uint16_t); p + BLOCK_PIXELS <= end; p += BLOCK_PIXELS)
        *reinterpret_cast<PixelBlock*>(p) = block;
}

// Draws the rows of any triangle whose corners span rows, zero area included.
void FillFlat(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpScan(*triangle, scan))
        return;
    FillFlatRows(scan, uint16_t(PixelOfColour(object->colour)));
}

static_assert(FLAT_BATCH == LANES, "a batch is set up in one vector");

void FillFlatCornerBatch(const float (*const* corners)[2], const ObjectEntity* const* objects, int32_t count)
{
    ScanTriangle scans[FLAT_BATCH];
    if (!Frame.target || count <= 0 || count > FLAT_BATCH || Frame.width <= 0)
        return;
    SpanTable table;
    const uint32_t rows = SetUpFlatBatch(corners, count, scans, table);
    const int64_t width = Frame.width;
    uint16_t spare;
    const uintptr_t spareAddress = reinterpret_cast<uintptr_t>(&spare);
    for (int32_t i = 0; i < count; ++i) {
        if (!(rows & (1u << i)))
            continue;
        const uint16_t pixel = uint16_t(PixelOfColour(objects[i]->colour));
        if (!(table.listed & (1u << i))) {
            FillFlatRows(scans[i], pixel);
            continue;
        }
        // Every listed triangle takes the same number of rows, those past
        // its own as empty spans on its last row, so that the row count
        // picks no path.
        uint16_t* line = Frame.target + table.firstRow[i] * width;
        for (int32_t k = 0; k < table.depth; ++k) {
            FillRowSpan(line, table.left[k][i], table.count[k][i], pixel, spareAddress);
            line += width & -int64_t(k + 1 < table.rows[i]);
        }
    }
}

// By the colour's alpha the triangle needs no area; by the transparency map
// it interpolates u and v and does.
void FillTransparentFlat(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !SetUpScan(*triangle, scan))
        return;
    if (object->transparencyMap && scan.area == 0.0f)
        return;
    Surface surface{};
    surface.colour = PixelOfColour(object->colour);
    DrawTransparent<0>(scan, *object, surface);
}

}  // namespace kvor3d
