// The glow-edge filler: integer corners and its own integer edge stepping.
// In the main pass it marks the pixels a glowing object covers; in the glow
// pass it stamps the object's glow sprite into its glow buffer around the
// marked pixels that border unmarked ones.
#include "render/spans.h"

#include <emmintrin.h>

#include <algorithm>
#include <utility>

namespace kvor3d {

namespace {

// Corners beyond this distance from the screen are pulled in, so that the
// 64-bit edge arithmetic cannot overflow; corners on the screen never are.
constexpr int64_t GLOW_CORNER_LIMIT = int64_t(1) << 20;
// The glow sprite lives in a 256 × 256-byte area.
constexpr uint32_t GLOW_SPRITE_LIMIT = 255;

struct GlowCorner {
    int64_t x;
    int64_t y;
};

// The 16.16 slope of an edge, dx × 65536 / dy + 1 (the quotient truncated),
// for an edge that spans rows.
int64_t GlowSlope(const GlowCorner& from, const GlowCorner& to)
{
    const int64_t dy = to.y - from.y;
    return dy != 0 ? (to.x - from.x) * 65536 / dy + 1 : 0;
}

// The glow pass's work at one marked pixel: a silhouette pixel stamps the
// sprite, cut at its centre toward each marked neighbour and reaching h
// pixels toward each unmarked one (neighbours off the screen count as
// marked). Every examined pixel's glow byte becomes 0xFF and the pixel
// 0xFE00, so that it counts as marked for its neighbours and is not
// examined again.
struct GlowStamp {
    uint16_t* target;
    uint8_t* glow;
    const uint8_t* sprite;
    int64_t size;   // n
    int64_t half;   // h = n >> 1
    int64_t width;
    int64_t height;

    bool Marked(int64_t x, int64_t y) const
    {
        if (x < 0 || x >= width || y < 0 || y >= height)
            return true;
        return target[y * width + x] >= GLOWEDGE_DONE;
    }

    // to[i] = max(to[i], from[i]) for the n bytes of a stamp row. A row of
    // up to 16 bytes whose 16 bytes from `to` lie in the buffer and from
    // `from` in the sprite takes one max of 16 bytes, the bytes past n kept.
    void StampRow(uint8_t* to, const uint8_t* from, int64_t n) const
    {
        if (n <= 16 && to + 16 <= glow + width * height && from + 16 <= sprite + size * size) {
            const __m128i lane = _mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
            const __m128i inside = _mm_cmplt_epi8(lane, _mm_set1_epi8(char(n)));
            const __m128i old = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to));
            const __m128i stamped = _mm_max_epu8(old, _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
            const __m128i kept = _mm_or_si128(_mm_and_si128(inside, stamped), _mm_andnot_si128(inside, old));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(to), kept);
            return;
        }
        for (int64_t i = 0; i < n; ++i)
            to[i] = std::max(to[i], from[i]);
    }

    void Examine(int64_t x, int64_t y) const
    {
        const int64_t i = y * width + x;
        if (target[i] != GLOWEDGE_COVERED)
            return;
        const bool left = Marked(x - 1, y);
        const bool right = Marked(x + 1, y);
        const bool up = Marked(x, y - 1);
        const bool down = Marked(x, y + 1);
        if (sprite && !(left && right && up && down)) {
            const int64_t x0 = left ? x : std::max<int64_t>(x - half, 0);
            const int64_t x1 = right ? x : std::min<int64_t>(x + half, width - 1);
            const int64_t y0 = up ? y : std::max<int64_t>(y - half, 0);
            const int64_t y1 = down ? y : std::min<int64_t>(y + half, height - 1);
            for (int64_t sy = y0; sy <= y1; ++sy)
                StampRow(glow + sy * width + x0, sprite + (sy - y + half) * size + (x0 - x + half), x1 - x0 + 1);
        }
        glow[i] = 0xFF;
        target[i] = GLOWEDGE_DONE;
    }
};

// The corners by row, corners on one row in their given order: an
// insertion sort, which moves a corner only past higher ones (and, unlike
// std::stable_sort, asks for no working memory).
void SortByRow(GlowCorner (&c)[3])
{
    if (c[1].y < c[0].y)
        std::swap(c[0], c[1]);
    if (c[2].y < c[1].y) {
        std::swap(c[1], c[2]);
        if (c[1].y < c[0].y)
            std::swap(c[0], c[1]);
    }
}

// Widens the buffer's box to every corner ± h, then limits it to the screen.
void WidenGlowBox(GlowBuffer& buffer, const GlowCorner* corners, int64_t half, int64_t width, int64_t height)
{
    int64_t x0 = buffer.x0, x1 = buffer.x1, y0 = buffer.y0, y1 = buffer.y1;
    for (int i = 0; i < 3; ++i) {
        x0 = std::min(x0, corners[i].x - half);
        x1 = std::max(x1, corners[i].x + half);
        y0 = std::min(y0, corners[i].y - half);
        y1 = std::max(y1, corners[i].y + half);
    }
    buffer.x0 = int32_t(std::clamp<int64_t>(x0, 0, width - 1));
    buffer.x1 = int32_t(std::clamp<int64_t>(x1, 0, width - 1));
    buffer.y0 = int32_t(std::clamp<int64_t>(y0, 0, height - 1));
    buffer.y1 = int32_t(std::clamp<int64_t>(y1, 0, height - 1));
}

// Calls span(y, from, to) for the covered pixels from..to of each row on the
// screen. Rows run from the top corner's row to the bottom corner's, both
// included; on each row the pixels between the long edge's and the current
// short edge's positions (>> 16), both included. The upper short edge serves
// the rows above the middle corner, the lower one the rest. A triangle on one
// row covers its corners' whole extent.
template <class Span>
void ScanGlowEdge(const GlowCorner* sorted, Span span)
{
    const GlowCorner& t = sorted[0];
    const GlowCorner& m = sorted[1];
    const GlowCorner& b = sorted[2];
    const int64_t width = Frame.width;
    const int64_t height = Frame.height;
    const auto between = [&](int64_t y, int64_t a, int64_t c) {
        const int64_t from = std::max<int64_t>(std::min(a, c), 0);
        const int64_t to = std::min<int64_t>(std::max(a, c), width - 1);
        if (from <= to)
            span(y, from, to);
    };
    if (t.y == b.y) {
        if (t.y >= 0 && t.y < height)
            between(t.y, std::min({t.x, m.x, b.x}), std::max({t.x, m.x, b.x}));
        return;
    }
    const int64_t longSlope = GlowSlope(t, b);
    const int64_t upperSlope = GlowSlope(t, m);
    const int64_t lowerSlope = GlowSlope(m, b);
    const int64_t last = std::min(b.y, height - 1);
    for (int64_t y = std::max<int64_t>(t.y, 0); y <= last; ++y) {
        const int64_t xLong = t.x * 65536 + (y - t.y) * longSlope;
        const int64_t xShort = y < m.y ? t.x * 65536 + (y - t.y) * upperSlope : m.x * 65536 + (y - m.y) * lowerSlope;
        between(y, xLong >> 16, xShort >> 16);
    }
}

}  // namespace

void FillGlowEdge(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    const int32_t phase = Frame.renderPhase;
    if (!object || (phase != PHASE_MAIN && phase != PHASE_GLOW) || Frame.width <= 0 || Frame.height <= 0)
        return;
    GlowCorner corners[3];
    for (int i = 0; i < 3; ++i) {
        const Vertex* v = triangle->corners[i];
        corners[i] = {std::clamp<int64_t>(TruncToInt(v->screenX), -GLOW_CORNER_LIMIT, GLOW_CORNER_LIMIT),
                      std::clamp<int64_t>(TruncToInt(v->screenY), -GLOW_CORNER_LIMIT, GLOW_CORNER_LIMIT)};
    }
    GlowCorner sorted[3] = {corners[0], corners[1], corners[2]};
    SortByRow(sorted);

    uint16_t* target = Frame.target;
    const int64_t width = Frame.width;
    if (phase == PHASE_MAIN) {
        ScanGlowEdge(sorted, [=](int64_t y, int64_t from, int64_t to) {
            FillPixels(target + y * width + from, to - from + 1, GLOWEDGE_COVERED);
        });
        return;
    }

    GlowBuffer* buffer = object->glowBuffer;
    if (!buffer || !buffer->pixels || int64_t(buffer->width) != width || int64_t(buffer->height) != Frame.height)
        return;
    const bool sprite = object->glowImage && object->glowImageSize > 0 && object->glowImageSize <= GLOW_SPRITE_LIMIT;
    const int64_t size = sprite ? object->glowImageSize : 0;
    const GlowStamp stamp{target, buffer->pixels, sprite ? object->glowImage : nullptr, size, size >> 1,
                          width, Frame.height};
    WidenGlowBox(*buffer, corners, stamp.half, width, Frame.height);
    ScanGlowEdge(sorted, [&stamp](int64_t y, int64_t from, int64_t to) {
        for (int64_t x = from; x <= to; ++x)
            stamp.Examine(x, y);
    });
}

}  // namespace kvor3d
