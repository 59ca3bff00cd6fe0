// The scan conversion that every filler but the glow-edge one shares: corner
// order, 16.16 edges started at the first row, the row ranges of the upper
// and lower parts, left and right span ends, and the per-triangle gradients
// with their sub-pixel start correction. The set-up arithmetic is single
// precision, as are the vertices' values. Internal to the rasteriser.
#pragma once

#include "render/raster.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include <emmintrin.h>

namespace kvor3d {

constexpr float FIXED_ONE = 65536.0f;        // 1.0 in 16.16
constexpr int32_t FIXED_FRACTION = 0xFFFF;
constexpr float SLOPE_HORIZONTAL = 32767.0f;  // upper edge of a triangle whose top two corners share a row

// 32-bit additions of the 16.16 values wrap around instead of overflowing:
// only corners far outside the texture's or the screen's range get there.
inline int32_t FixedAdd(int32_t a, int32_t b)
{
    return int32_t(uint32_t(a) + uint32_t(b));
}

inline int32_t FixedNegate(int32_t a)
{
    return int32_t(0u - uint32_t(a));
}

// a + n × step, wrapping as n single steps would.
inline int32_t FixedAdvance(int32_t a, int32_t step, int64_t n)
{
    return int32_t(uint32_t(a) + uint32_t(uint64_t(int64_t(step) * n)));
}

// The conversions below in one instruction each: the processor's truncation
// gives INT32_MIN for every value it cannot convert (beyond the 32-bit range,
// or not a number), and only those values and −2^31 itself take these, the
// general ones, kept out of line.
[[gnu::cold, gnu::noinline]] inline int32_t TruncToIntRare(float value)
{
    return TruncToInt(value);
}

[[gnu::cold, gnu::noinline]] inline float CeilRowRare(float y, int32_t& row)
{
    const float c = std::ceil(y);
    row = TruncToInt(c);
    return c;
}

[[gnu::cold, gnu::noinline]] inline int32_t FloorRowRare(float y)
{
    return TruncToInt(std::floor(y));
}

inline int32_t TruncateOrMin(float value)
{
    return _mm_cvttss_si32(_mm_set_ss(value));
}

// TruncToInt of a float.
inline int32_t TruncFloat(float value)
{
    const int32_t converted = TruncateOrMin(value);
    return converted != INT32_MIN ? converted : TruncToIntRare(value);
}

// int(value × 65536).
inline int32_t ToFixed(float value)
{
    return TruncFloat(value * FIXED_ONE);
}

// ceil(y) and TruncToInt(ceil(y)) from y's truncation t, which is exact: y
// is above t only when y has a fraction, and then t + 1 is exact too. For y
// in (−1, 0) the result is +0 where ceil gives −0; the set-up only subtracts
// y from it and converts it, which gives the same values for either zero.
inline float CeilRow(float y, int32_t& row)
{
    const int32_t t = TruncateOrMin(y);
    if (t == INT32_MIN)
        return CeilRowRare(y, row);
    const float truncated = float(t);
    const bool above = truncated < y;
    row = t + int32_t(above);
    return above ? truncated + 1.0f : truncated;
}

// TruncToInt(floor(y)), likewise from y's truncation.
inline int32_t FloorRow(float y)
{
    const int32_t t = TruncateOrMin(y);
    if (t == INT32_MIN)
        return FloorRowRare(y);
    return t - int32_t(y < float(t));
}

// The object, morph object or light volume that owns a triangle; null for any
// other owner.
inline const ObjectEntity* OwnerObject(const TriangleRef& triangle)
{
    const Entity* owner = triangle.owner;
    if (!owner || (owner->kind != ENTITY_OBJECT && owner->kind != ENTITY_MORPH && owner->kind != ENTITY_VOLUME))
        return nullptr;
    return static_cast<const ObjectEntity*>(owner);
}

// One triangle ready for its rows: corners top, middle and bottom by screen
// y, the first 16.16 position of each edge with its step per row, and the
// rows of the upper part [firstRow, middleRow) and the lower part
// [middleRow, lastRow].
struct ScanTriangle {
    const Vertex* top;
    const Vertex* middle;
    const Vertex* bottom;
    float xt, yt, xm, ym, xb, yb;
    float area;        // (ym − yb)(xt − xb) − (yt − yb)(xm − xb)
    float rowOffset;   // ceil(yt) − yt: from the top corner down to the first row
    bool longLeft;     // the long edge bounds the spans on the left; spans run left to right
    int32_t firstRow;  // ceil(yt)
    int32_t middleRow; // ceil(ym)
    int32_t lastRow;   // floor(yb)
    int32_t xLong, stepLong;
    int32_t xUpper, stepUpper;
    int32_t xLower, stepLower;
};

// A corner's screen position: a vertex's, or a pair (x, y) copied from it.
inline float CornerX(const Vertex* v)
{
    return v->screenX;
}

inline float CornerY(const Vertex* v)
{
    return v->screenY;
}

inline float CornerX(const float* p)
{
    return p[0];
}

inline float CornerY(const float* p)
{
    return p[1];
}

// Sets up the edges of corners a, b and c ordered top, middle and bottom.
// False when nothing is drawn: the bottom corner is not below the top one,
// or no row of the triangle lies in the frame (then neither the slopes nor
// the area are set). The long edge is the left one when its step is smaller
// than the upper short edge's; a horizontal upper edge gets the slope
// ±32767 so that this still holds. A horizontal lower edge has one row at
// most (its own, when it lies on a whole row), which starts at the middle
// corner. Corners given as positions leave top, middle and bottom unset.
template <class Corner>
inline bool SetUpOrdered(Corner a, Corner b, Corner c, ScanTriangle& s)
{
    if constexpr (std::is_same_v<Corner, const Vertex*>) {
        s.top = a;
        s.middle = b;
        s.bottom = c;
    }
    s.xt = CornerX(a);
    s.yt = CornerY(a);
    s.xm = CornerX(b);
    s.ym = CornerY(b);
    s.xb = CornerX(c);
    s.yb = CornerY(c);
    if (!(s.yb > s.yt))
        return false;
    const float topRow = CeilRow(s.yt, s.firstRow);
    s.lastRow = FloorRow(s.yb);
    if (std::max(s.firstRow, 0) > std::min(s.lastRow, Frame.height - 1) || Frame.width <= 0)
        return false;

    const float longSlope = (s.xb - s.xt) / (s.yb - s.yt);
    float upperSlope = s.xm < s.xt ? -SLOPE_HORIZONTAL : SLOPE_HORIZONTAL;
    if (s.ym != s.yt)
        upperSlope = (s.xm - s.xt) / (s.ym - s.yt);
    const float lowerSlope = s.yb != s.ym ? (s.xb - s.xm) / (s.yb - s.ym) : 0.0f;

    const float middleRow = CeilRow(s.ym, s.middleRow);
    s.rowOffset = topRow - s.yt;
    s.xLong = ToFixed(s.rowOffset * longSlope + s.xt);
    s.stepLong = ToFixed(longSlope);
    s.xUpper = ToFixed(s.rowOffset * upperSlope + s.xt);
    s.stepUpper = ToFixed(upperSlope);
    s.xLower = ToFixed((middleRow - s.ym) * lowerSlope + s.xm);
    s.stepLower = ToFixed(lowerSlope);
    s.longLeft = s.stepLong < s.stepUpper;
    s.area = (s.ym - s.yb) * (s.xt - s.xb) - (s.yt - s.yb) * (s.xm - s.xb);
    return true;
}

// Orders the corners by screen y, equal y keeping the earlier corner first,
// and sets up the edges (SetUpOrdered).
inline bool SetUpScan(const TriangleRef& triangle, ScanTriangle& s)
{
    const Vertex* a = triangle.corners[0];
    const Vertex* b = triangle.corners[1];
    const Vertex* c = triangle.corners[2];
    if (b->screenY < a->screenY)
        std::swap(a, b);
    if (c->screenY < b->screenY) {
        std::swap(b, c);
        if (b->screenY < a->screenY)
            std::swap(a, b);
    }
    return SetUpOrdered(a, b, c, s);
}

// SetUpScan of corners given as positions (x, y). The three compare-and-
// swaps (the second and first pair, the third and second, and, only when the
// third moved up, the second and first again) choose indices by arithmetic
// rather than by jumps: the corners of neighbouring small triangles come in
// any order. After the first swap the second corner is not above the first,
// so the last comparison holds only when the third corner moved.
inline bool SetUpPositions(const float (*p)[2], ScanTriangle& s)
{
    const int32_t swapFirst = p[1][1] < p[0][1];
    const int32_t top = swapFirst;
    const int32_t middle = 1 - swapFirst;
    const int32_t swapSecond = p[2][1] < p[middle][1];
    const int32_t bottom = 2 - swapSecond * (2 - middle);
    const int32_t lower = middle + swapSecond * (2 - middle);
    const int32_t swapThird = p[lower][1] < p[top][1];
    return SetUpOrdered(p[top + swapThird * (lower - top)], p[lower - swapThird * (lower - top)], p[bottom], s);
}

// The rows [row, end) of one part of the triangle, whose short edge is
// xShort stepped by stepShort, spans drawn from the long edge toward it.
template <bool LONG_LEFT, class Rows>
inline void ScanPart(int64_t row, int64_t end, int64_t width, int32_t& xLong, int32_t stepLong, int32_t& xShort,
                     int32_t stepShort, Rows& rows)
{
    for (; row < end; ++row) {
        if constexpr (LONG_LEFT) {
            const int64_t start = std::max<int64_t>((int64_t(xLong) + FIXED_FRACTION) >> 16, 0);
            const int64_t last = std::min<int64_t>(xShort >> 16, width - 1);
            if (start <= last)
                rows.Span(row, start, last - start + 1, xLong);
        } else {
            const int64_t start = std::min<int64_t>(xLong >> 16, width - 1);
            const int64_t last = std::max<int64_t>((int64_t(xShort) + FIXED_FRACTION) >> 16, 0);
            if (start >= last)
                rows.Span(row, start, start - last + 1, xLong);
        }
        rows.NextRow();
        xLong = FixedAdd(xLong, stepLong);
        xShort = FixedAdd(xShort, stepShort);
    }
}

// The upper part's rows up to the middle row, then the lower part's, from
// `row` (in the frame) to lastRow.
template <bool LONG_LEFT, class Rows>
void ScanParts(const ScanTriangle& s, Rows& rows, int64_t row, int64_t lastRow, int32_t xLong, int32_t xShort,
               int32_t stepShort)
{
    const int64_t width = Frame.width;
    const int64_t upperEnd = std::min<int64_t>(s.middleRow, lastRow + 1);
    if (row < upperEnd) {
        ScanPart<LONG_LEFT>(row, upperEnd, width, xLong, s.stepLong, xShort, stepShort, rows);
        row = upperEnd;
    }
    if (row > lastRow)
        return;
    if (row == s.middleRow) {
        xShort = s.xLower;
        stepShort = s.stepLower;
    }
    ScanPart<LONG_LEFT>(row, lastRow + 1, width, xLong, s.stepLong, xShort, stepShort, rows);
}

// Walks the rows of the triangle that lie in the frame, calling
// rows.Span(row, start, count, xLong) for each span that is not empty
// (start is the pixel at the long edge, count ≥ 1 pixels toward the short
// edge) and rows.NextRow() after every row. Rows above the frame are passed
// over at once with rows.SkipRows(n). Span ends are kept inside the frame's
// columns: with corners on the screen they always are, and so no value that
// reaches a filler makes it write outside its buffer.
template <class Rows>
void ScanRows(const ScanTriangle& s, Rows& rows)
{
    const int64_t lastRow = std::min<int64_t>(s.lastRow, int64_t(Frame.height) - 1);
    int64_t row = s.firstRow;
    if (row > lastRow || Frame.width <= 0)
        return;
    int32_t xLong = s.xLong;
    int32_t xShort = s.xUpper;
    int32_t stepShort = s.stepUpper;
    if (row < 0) {
        xLong = FixedAdvance(xLong, s.stepLong, -row);
        if (s.middleRow > 0) {
            xShort = FixedAdvance(xShort, s.stepUpper, -row);
        } else {
            xShort = FixedAdvance(s.xLower, s.stepLower, -int64_t(s.middleRow));
            stepShort = s.stepLower;
        }
        rows.SkipRows(-row);
        row = 0;
    }
    if (s.longLeft)
        ScanParts<true>(s, rows, row, lastRow, xLong, xShort, stepShort);
    else
        ScanParts<false>(s, rows, row, lastRow, xLong, xShort, stepShort);
}

// The sub-pixel distance from the long edge to a span's start pixel: 8.8
// for the 16.16 interpolants (negative on spans drawn right to left), and in
// floating point for the others.
inline int64_t SpanFraction(int64_t start, int32_t xLong)
{
    return start * 256 - (xLong >> 8);
}

inline float SpanDistance(int64_t start, int32_t xLong)
{
    return float(start * 65536 - xLong) / FIXED_ONE;
}

// A quantity's constant gradients over the triangle, in floating point:
// d/dx = ((qt − qb)(ym − yb) − (qm − qb)(yt − yb)) / area, d/dy along the
// long edge, and its value where the long edge meets the first row (the
// edge's start rule applied to the quantity).
struct Plane {
    float dx;
    float dy;
    float edge;
};

inline Plane PlaneOf(const ScanTriangle& s, float qt, float qm, float qb)
{
    Plane p;
    p.dx = ((qt - qb) * (s.ym - s.yb) - (qm - qb) * (s.yt - s.yb)) / s.area;
    p.dy = (qb - qt) / (s.yb - s.yt);
    p.edge = s.rowOffset * p.dy + qt;
    return p;
}

// The same gradients in 16.16.
struct FixedPlane {
    int32_t dx;
    int32_t dy;
    int32_t edge;
};

inline FixedPlane FixedPlaneOf(const ScanTriangle& s, float qt, float qm, float qb)
{
    const Plane p = PlaneOf(s, qt, qm, qb);
    return {ToFixed(p.dx), ToFixed(p.dy), ToFixed(p.edge)};
}

// PlaneOf of up to four quantities at once, quantity i in element i of the
// corners' values: in each element the same operations in the same order,
// and so the same values, with one division for each gradient of all four.
struct FourPlanes {
    float dx[4];
    float dy[4];
    float edge[4];

    FourPlanes(const ScanTriangle& s, const float (&qt)[4], const float (&qm)[4], const float (&qb)[4])
    {
        const __m128 t = _mm_loadu_ps(qt);
        const __m128 m = _mm_loadu_ps(qm);
        const __m128 b = _mm_loadu_ps(qb);
        const __m128 cross = _mm_sub_ps(_mm_mul_ps(_mm_sub_ps(t, b), _mm_set1_ps(s.ym - s.yb)),
                                        _mm_mul_ps(_mm_sub_ps(m, b), _mm_set1_ps(s.yt - s.yb)));
        const __m128 down = _mm_div_ps(_mm_sub_ps(b, t), _mm_set1_ps(s.yb - s.yt));
        _mm_storeu_ps(dx, _mm_div_ps(cross, _mm_set1_ps(s.area)));
        _mm_storeu_ps(dy, down);
        _mm_storeu_ps(edge, _mm_add_ps(_mm_mul_ps(_mm_set1_ps(s.rowOffset), down), t));
    }

    // ToFixed of the gradients of quantities 0 to count − 1.
    void Fixed(FixedPlane* planes, int count) const
    {
        int32_t fixed[3][4];
        const float* const values[3] = {dx, dy, edge};
        for (int j = 0; j < 3; ++j) {
            const __m128 scaled = _mm_mul_ps(_mm_loadu_ps(values[j]), _mm_set1_ps(FIXED_ONE));
            const __m128i converted = _mm_cvttps_epi32(scaled);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(fixed[j]), converted);
            if (_mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(converted, _mm_set1_epi32(INT32_MIN))))) {
                for (int i = 0; i < count; ++i)
                    fixed[j][i] = ToFixed(values[j][i]);
            }
        }
        for (int i = 0; i < count; ++i)
            planes[i] = {fixed[0][i], fixed[1][i], fixed[2][i]};
    }
};

// A 16.16 quantity at a span's start pixel: q_edge + (dq/dx × frac) >> 8.
inline int32_t SpanStart(int32_t edge, int32_t dx, int64_t fraction)
{
    return FixedAdd(edge, int32_t((int64_t(dx) * fraction) >> 8));
}

}  // namespace kvor3d
