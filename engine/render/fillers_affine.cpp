// Affine members in batches (textured, transparent textured, shaded
// textured, environment and transparent environment): eight small faces set
// up side by side, then each one's spans from their leftmost pixels.
#include "render/setup_lanes.h"
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

// Rows of a triangle whose spans a batch's set-up lists itself.
constexpr int32_t AFFINE_ROWS = 64;

// The groups of quantities a batch interpolates in 16.16: the env row and
// column, the map u and v, and the lit colour's three channels.
constexpr unsigned QUANTITY_ENV = 0x1;
constexpr unsigned QUANTITY_MAP = 0x2;
constexpr unsigned QUANTITY_LIGHT = 0x4;
// With this bit the maps read bits 0 to 23 of the env and map quantities
// only: no side of theirs is longer than 256 texels. The light's channels
// are read whole.
constexpr unsigned LOW_BITS = 0x8;
constexpr uint32_t LOW_SHIFT_LIMIT = 8;

// Where each group of Q lies among the quantities, and how many there are.
template <unsigned Q>
struct Slots {
    static constexpr int ENV = 0;
    static constexpr int MAP = (Q & QUANTITY_ENV) ? 2 : 0;
    static constexpr int LIGHT = MAP + ((Q & QUANTITY_MAP) ? 2 : 0);
    static constexpr int COUNT = LIGHT + ((Q & QUANTITY_LIGHT) ? 3 : 0);
};

// The spans of a batch's small triangles as their members draw them, row k
// of triangle i at [k][i]: the leftmost pixel, the count (0 where the row
// has no span) and the 16.16 quantities at the leftmost pixel. A span drawn
// from its right end gets the values it would reach at its left end: the
// additions wrap, so stepping from there by d/dx gives every pixel the
// value that stepping back from the right end gives.
template <unsigned Q>
struct AffineTable {
    static constexpr int N = Slots<Q>::COUNT;
    int32_t left[AFFINE_ROWS][LANES];
    int32_t count[AFFINE_ROWS][LANES];
    uint32_t at[N][AFFINE_ROWS][LANES];
    uint32_t dx[N][LANES];    // their d/dx
    int32_t firstRow[LANES];  // the first row in the frame
    int32_t rows[LANES];      // rows in the frame
};

// Quantities 0 to N − 1, value(c) for each, into the fields they
// interpolate.
template <unsigned Q, class Value>
inline __attribute__((always_inline)) Interpolants FieldsOf(Value value)
{
    using S = Slots<Q>;
    Interpolants q{};
    if constexpr (bool(Q & QUANTITY_ENV)) {
        q.envRow = value(S::ENV);
        q.envColumn = value(S::ENV + 1);
    }
    if constexpr (bool(Q & QUANTITY_MAP)) {
        q.u = value(S::MAP);
        q.v = value(S::MAP + 1);
    }
    if constexpr (bool(Q & QUANTITY_LIGHT)) {
        q.red = value(S::LIGHT);
        q.green = value(S::LIGHT + 1);
        q.blue = value(S::LIGHT + 2);
    }
    return q;
}

// The quantities of row k of triangle i at its leftmost pixel, and their
// steps to the right.
template <unsigned Q>
inline __attribute__((always_inline)) Interpolants LeftmostOf(const AffineTable<Q>& table, int32_t k, int32_t i)
{
    return FieldsOf<Q>([&](int c) { return table.at[c][k][i]; });
}

template <unsigned Q>
inline __attribute__((always_inline)) Interpolants StepsOf(const AffineTable<Q>& table, int32_t i)
{
    return FieldsOf<Q>([&](int c) { return table.dx[c][i]; });
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

// One pixel's step to the right in every field.
inline __attribute__((always_inline)) void StepAll(Interpolants& q, const Interpolants& step)
{
    q.u += step.u;
    q.v += step.v;
    q.envRow += step.envRow;
    q.envColumn += step.envColumn;
    q.red += step.red;
    q.green += step.green;
    q.blue += step.blue;
}

// Two spans of n pixels from d and of m pixels from below, n + m at most
// eight (the eight pixels from d and from below − n lying in the frame),
// their quantities at their first pixels q and r, side by side in the
// lanes: lane j is pixel j of the first for j < n, else pixel j − n of the
// other. Each span's words of the frame around it are stored as they were
// read.
template <unsigned F>
__attribute__((target("avx2"))) inline void DrawSpanPair(const Surface& s, uint16_t* d, int32_t n,
                                                         const Interpolants& q, uint16_t* below, int32_t m,
                                                         const Interpolants& r, const Interpolants& step)
{
    const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const Lanes second = Lanes(lane >= uint32_t(n));
    const Lanes pixel = lane - (second & uint32_t(n));
    const auto start = [&](uint32_t first, uint32_t other, uint32_t by) {
        return (second ? Lanes{} + other : Lanes{} + first) + pixel * by;
    };
    LaneInterpolants p{};
    p.u = start(q.u, r.u, step.u);
    p.v = start(q.v, r.v, step.v);
    p.envRow = start(q.envRow, r.envRow, step.envRow);
    p.envColumn = start(q.envColumn, r.envColumn, step.envColumn);
    p.red = start(q.red, r.red, step.red);
    p.green = start(q.green, r.green, step.green);
    p.blue = start(q.blue, r.blue, step.blue);
    uint16_t* const other = below - n;
    PixelLanes above, under;
    std::memcpy(&above, d, sizeof above);
    std::memcpy(&under, other, sizeof under);
    const PixelLanes words = {0, 1, 2, 3, 4, 5, 6, 7};
    const PixelLanes inFirst = words < uint16_t(n);
    const PixelLanes frame = inFirst ? above : under;
    const PixelLanes values =
        __builtin_convertvector(SpanPixel<F>(s, p, __builtin_convertvector(frame, Lanes)), PixelLanes);
    const PixelLanes first = inFirst ? values : above;
    std::memcpy(d, &first, sizeof first);
    const PixelLanes inSecond = ~inFirst & (words < uint16_t(n + m));
    std::memcpy(&under, other, sizeof under);
    const PixelLanes rest = inSecond ? values : under;
    std::memcpy(other, &rest, sizeof rest);
}

// The listed rows of triangle i with member F: each span from its leftmost
// pixel, eight pixels at a time, or two short spans of consecutive rows in
// one group of eight where F's pixel costs more than that set-up; a
// bilinear span of one pixel costs less alone. Fields that F does not read
// are left to the compiler to drop.
template <unsigned F, unsigned Q>
__attribute__((target("avx2"), flatten)) void DrawRowsWide(const AffineTable<Q>& table, int32_t i,
                                                           const Surface& surface)
{
    constexpr bool PAIRED = F & (SPAN_ALPHA | SPAN_GREY | SPAN_SHADE | SPAN_BILINEAR);
    const Surface s = surface;
    const int64_t width = Frame.width;
    const uint16_t* const frameEnd = Frame.target + width * Frame.height;
    const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    const Interpolants step = StepsOf(table, i);
    const Interpolants group = {step.u * uint32_t(LANES),      step.v * uint32_t(LANES),
                                step.envRow * uint32_t(LANES), step.envColumn * uint32_t(LANES),
                                step.red * uint32_t(LANES),    step.green * uint32_t(LANES),
                                step.blue * uint32_t(LANES),   0.0f, 0.0f, 0.0f, 0.0f};
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        int32_t n = table.count[k][i];
        if (n <= 0)
            continue;
        uint16_t* d = line + table.left[k][i];
        const Interpolants q = LeftmostOf(table, k, i);
        const int32_t next = PAIRED && k + 1 < table.rows[i] ? table.count[k + 1][i] : 0;
        if (next > 0 && n + next <= LANES) {
            uint16_t* const below = line + width + table.left[k + 1][i];
            if (frameEnd - d >= LANES && frameEnd - (below - n) >= LANES) {
                DrawSpanPair<F>(s, d, n, q, below, next, LeftmostOf(table, k + 1, i), step);
                ++k;
                line += width;
                continue;
            }
        }
        if ((F & SPAN_BILINEAR) && n == 1) {
            *d = uint16_t(SpanPixel<F>(s, q, uint32_t(*d)));
            continue;
        }
        LaneInterpolants p{};
        p.u = q.u + lane * step.u;
        p.v = q.v + lane * step.v;
        p.envRow = q.envRow + lane * step.envRow;
        p.envColumn = q.envColumn + lane * step.envColumn;
        p.red = q.red + lane * step.red;
        p.green = q.green + lane * step.green;
        p.blue = q.blue + lane * step.blue;
        for (; n > LANES; n -= LANES, d += LANES) {
            PixelLanes values{};
            if constexpr (ReadsFrame(F))
                std::memcpy(&values, d, sizeof values);
            values = __builtin_convertvector(SpanPixel<F>(s, p, __builtin_convertvector(values, Lanes)), PixelLanes);
            std::memcpy(d, &values, sizeof values);
            p.u += group.u;
            p.v += group.v;
            p.envRow += group.envRow;
            p.envColumn += group.envColumn;
            p.red += group.red;
            p.green += group.green;
            p.blue += group.blue;
        }
        const Lanes frame = ReadsFrame(F) ? __builtin_convertvector(LoadFirst(d, n, frameEnd), Lanes) : Lanes{};
        StoreFirst(d, n, __builtin_convertvector(SpanPixel<F>(s, p, frame), PixelLanes), frameEnd);
    }
}

// The same a pixel at a time.
template <unsigned F, unsigned Q>
void DrawRowsNarrow(const AffineTable<Q>& table, int32_t i, const Surface& s)
{
    const int64_t width = Frame.width;
    const Interpolants step = StepsOf(table, i);
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        Interpolants q = LeftmostOf(table, k, i);
        uint16_t* d = line + table.left[k][i];
        for (int32_t n = table.count[k][i]; n > 0; --n, ++d) {
            *d = uint16_t(SpanPixel<F>(s, q, uint32_t(*d)));
            StepAll(q, step);
        }
    }
}

template <bool WIDE, unsigned F, unsigned Q>
inline __attribute__((always_inline)) void DrawRows(const AffineTable<Q>& table, int32_t i, const Surface& surface)
{
    if constexpr (WIDE)
        DrawRowsWide<F, Q>(table, i, surface);
    else
        DrawRowsNarrow<F, Q>(table, i, surface);
}

// How an object that DrawsAffine draws: FillEnvironment's filters (the
// opaque environment-mapped object's), FillTransparentEnvironment's blends
// (none with a transparency map that has no intensities), FillShadedTexture,
// FillTexture's filters, or FillTransparentTexture's blends (none likewise).
enum class Member : uint8_t {
    NEAREST,
    BILINEAR,
    ALPHA,
    GREY,
    NONE,
    SHADED_TEXTURE,
    TEXTURE,
    TEXTURE_ALPHA,
    TEXTURE_GREY
};

inline Member MemberOf(const ObjectEntity& object)
{
    const uint32_t flags = object.objectFlags;
    const Texture* map = object.transparencyMap;
    if (!(flags & OBJECT_ENVIRONMENT)) {
        if (flags & OBJECT_TRANSPARENT)
            return !map ? Member::TEXTURE_ALPHA : GreyReadable(map) ? Member::TEXTURE_GREY : Member::NONE;
        return (flags & OBJECT_SHADED) ? Member::SHADED_TEXTURE : Member::TEXTURE;
    }
    if (!(flags & OBJECT_TRANSPARENT))
        return object.material[2] == ENVIRONMENT_BILINEAR ? Member::BILINEAR : Member::NEAREST;
    return !map ? Member::ALPHA : GreyReadable(map) ? Member::GREY : Member::NONE;
}

// The quantities the object's member interpolates.
inline unsigned QuantitiesOf(const ObjectEntity& object)
{
    const uint32_t flags = object.objectFlags;
    if (!(flags & OBJECT_ENVIRONMENT))
        return (flags & OBJECT_SHADED) ? QUANTITY_MAP | QUANTITY_LIGHT : QUANTITY_MAP;
    return ReadsMapCoordinates(object) ? QUANTITY_ENV | QUANTITY_MAP : QUANTITY_ENV;
}

// The map the object's member reads.
inline const Texture* MapOf(const ObjectEntity& object)
{
    return (object.objectFlags & OBJECT_ENVIRONMENT) ? object.environmentMap : object.textureMap;
}

// Whether the maps the object's member reads (an addressable one, and the
// transparency map of a transparent one) have no side beyond 256 texels.
inline bool ShortSides(const ObjectEntity& object)
{
    const auto shortSides = [](const Texture* map) {
        return map->widthShift <= LOW_SHIFT_LIMIT && map->heightShift <= LOW_SHIFT_LIMIT;
    };
    const Texture* grey = (object.objectFlags & OBJECT_TRANSPARENT) ? object.transparencyMap : nullptr;
    return shortSides(MapOf(object)) && (!grey || shortSides(grey));
}

// The listed rows of triangle i as its object's member draws them; a
// member is drawn only where Q holds its quantities, as FillAffineBatch
// chooses Q.
template <bool WIDE, unsigned Q>
inline __attribute__((always_inline)) void DrawListed(const AffineTable<Q>& table, int32_t i,
                                                      const ObjectEntity& object)
{
    using S = Slots<Q>;
    constexpr bool ENV = Q & QUANTITY_ENV;
    constexpr bool MAP = Q & QUANTITY_MAP;
    constexpr bool LIGHT = Q & QUANTITY_LIGHT;
    const Member member = MemberOf(object);
    Surface surface{};
    if (member == Member::TEXTURE_ALPHA || member == Member::TEXTURE_GREY) {
        if constexpr (MAP) {
            surface.texels = TexelMapOf(object.textureMap, 0);
            if (member == Member::TEXTURE_ALPHA) {
                surface.alpha = AlphaOf(object.colour);
                DrawRows<WIDE, SPAN_TEXEL | SPAN_ALPHA>(table, i, surface);
            } else {
                surface.grey = GreyMapOf(object.transparencyMap);
                DrawRows<WIDE, SPAN_TEXEL | SPAN_GREY>(table, i, surface);
            }
        }
        return;
    }
    if (member == Member::TEXTURE || member == Member::SHADED_TEXTURE) {
        if constexpr (MAP) {
            const uint32_t filter = member == Member::TEXTURE ? object.material[1] : 0;
            const Texture* texture = object.textureMap;
            const uint32_t level =
                (filter & FILTER_MIPMAP)
                    ? MipLevel(int32_t(table.dx[S::MAP][i]), int32_t(table.dx[S::MAP + 1][i]), MipLevelsOf(texture))
                    : 0;
            surface.texels = TexelMapOf(texture, level);
            if (member == Member::SHADED_TEXTURE) {
                if constexpr (LIGHT)
                    DrawRows<WIDE, SPAN_SHADE | SPAN_TEXEL>(table, i, surface);
            } else if (filter & FILTER_BILINEAR) {
                DrawRows<WIDE, SPAN_TEXEL | SPAN_BILINEAR>(table, i, surface);
            } else {
                DrawRows<WIDE, SPAN_TEXEL>(table, i, surface);
            }
        }
        return;
    }
    if constexpr (ENV) {
        surface.texels = TexelMapOf(object.environmentMap, 0);
        if (member == Member::NEAREST) {
            DrawRows<WIDE, SPAN_ENVIRONMENT>(table, i, surface);
        } else if (member == Member::BILINEAR) {
            DrawRows<WIDE, SPAN_ENVIRONMENT | SPAN_BILINEAR>(table, i, surface);
        } else if (member == Member::ALPHA) {
            surface.alpha = AlphaOf(object.colour);
            DrawRows<WIDE, SPAN_ENVIRONMENT | SPAN_ALPHA>(table, i, surface);
        } else if (member == Member::GREY) {
            if constexpr (MAP) {
                surface.grey = GreyMapOf(object.transparencyMap);
                DrawRows<WIDE, SPAN_ENVIRONMENT | SPAN_GREY>(table, i, surface);
            }
        }
    }
}

// SpanCorrection of quantity c; with LOW_BITS only bits 0 to 23 of an env
// or map quantity count, which are bits 8 to 31 of the product's low 32
// bits.
template <unsigned Q>
inline __attribute__((always_inline)) Words Correction(int c, const Ints& d, const Ints& fraction)
{
    if ((Q & LOW_BITS) && c < Slots<Q>::LIGHT)
        return Words(d) * Words(fraction) >> 8;
    return SpanCorrection(d, fraction);
}

// FillAffineBatch in lanes: TriangleValues of the quantities Q (the map u
// and v from the faces' own coordinates, the light as LitChannel takes it
// for a textured member), their planes in 16.16 as FixedPlaneOf makes them.
// Triangles with rows in the frame, all of them set up by lanes and none
// with more than AFFINE_ROWS of them, have their spans listed, found by
// ScanRows' and SpanRows' arithmetic in every lane; the others are drawn by
// DrawFace itself.
template <bool WIDE, unsigned Q>
inline __attribute__((always_inline)) void AffineBatch(Face* const* faces, int32_t count, TriangleDone done,
                                                       void* context)
{
    using S = Slots<Q>;
    constexpr int N = S::COUNT;
    const Face* f[LANES];
    for (int32_t lane = 0; lane < LANES; ++lane)
        f[lane] = faces[std::min(lane, count - 1)];
    CornerValues<N> corner[3];
    for (int j = 0; j < 3; ++j) {
        corner[j].x = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->screenX; });
        corner[j].y = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->screenY; });
        if constexpr (bool(Q & QUANTITY_ENV)) {
            corner[j].value[S::ENV] = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->envRow; });
            corner[j].value[S::ENV + 1] =
                LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->envColumn; });
        }
        if constexpr (bool(Q & QUANTITY_MAP)) {
            corner[j].value[S::MAP] = LanesOf<Floats>([&](int32_t lane) { return f[lane]->uv[j][0]; });
            corner[j].value[S::MAP + 1] = LanesOf<Floats>([&](int32_t lane) { return f[lane]->uv[j][1]; });
        }
        if constexpr (bool(Q & QUANTITY_LIGHT)) {
            const Ints lit = LanesOf<Ints>([&](int32_t lane) { return int32_t(f[lane]->vertices[j]->litColour); });
            const int shifts[3] = {16, 8, 0};
            for (int c = 0; c < 3; ++c)
                corner[j].value[S::LIGHT + c] = __builtin_convertvector((lit >> shifts[c]) & 0xFF, Floats);
        }
    }
    const TriangleValues<N> s(corner);
    Ints general = s.general;
    Ints dx[N], dy[N], start[N];
    s.Fixed(general, dx, dy, start);
    const Ints listed = s.drawn & ~general & (s.rowCount <= AFFINE_ROWS);
    const uint32_t present = (1u << count) - 1;
    const int32_t depth = ListedDepth(listed, s.rowCount, count);
    AffineTable<Q> table;
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
            // the edge value plus (d/dx × fraction) >> 8, and (left − first)
            // × d/dx further at the leftmost pixel: the edge value plus
            // (d/dx × (fraction + 256 × (left − first))) >> 8, as 256 × d/dx
            // × (left − first) passes through the shift whole.
            const Ints fraction = Ints(Words(left) * 256u - Words(Ints(rows.xLong) >> 8));
            for (int c = 0; c < N; ++c) {
                const Words atLeft = edge[c] + Correction<Q>(c, dx[c], fraction);
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
                DrawListed<WIDE>(table, i, object);
        }
        if (done)
            done(context, i);
    }
}

template <unsigned Q>
__attribute__((target("avx2"))) void AffineBatchWide(Face* const* faces, int32_t count, TriangleDone done,
                                                     void* context)
{
    AffineBatch<true, Q>(faces, count, done, context);
}

template <unsigned Q>
void AffineBatchNarrow(Face* const* faces, int32_t count, TriangleDone done, void* context)
{
    AffineBatch<false, Q>(faces, count, done, context);
}

template <unsigned Q>
void AffineBatchOf(Face* const* faces, int32_t count, TriangleDone done, void* context)
{
    if (SpanVectors)
        AffineBatchWide<Q>(faces, count, done, context);
    else
        AffineBatchNarrow<Q>(faces, count, done, context);
}

}  // namespace

static_assert(AFFINE_BATCH == LANES, "a batch is set up in one vector");

void FillAffineBatch(Face* const* faces, int32_t count, TriangleDone done, void* context)
{
    if (count <= 0 || count > AFFINE_BATCH)
        return;
    bool batched = Frame.target && Frame.width > 0;
    unsigned quantities = 0;
    bool shortSides = true;
    for (int32_t i = 0; i < count && batched; ++i) {
        const Face& face = *faces[i];
        const ObjectEntity* object = ObjectOf(face.owner);
        batched = face.vertices[0] && face.vertices[1] && face.vertices[2] && !(face.faceFlags & FACE_CLIPPED) &&
                  object && Addressable(MapOf(*object));
        quantities |= batched ? QuantitiesOf(*object) : 0;
        shortSides = shortSides && batched && ShortSides(*object);
    }
    if (!batched) {
        for (int32_t i = 0; i < count; ++i) {
            DrawFace(faces[i]);
            if (done)
                done(context, i);
        }
        return;
    }
    if (shortSides)
        quantities |= LOW_BITS;
    switch (quantities) {
    case QUANTITY_ENV:
        AffineBatchOf<QUANTITY_ENV>(faces, count, done, context);
        break;
    case QUANTITY_ENV | LOW_BITS:
        AffineBatchOf<QUANTITY_ENV | LOW_BITS>(faces, count, done, context);
        break;
    case QUANTITY_ENV | QUANTITY_MAP:
        AffineBatchOf<QUANTITY_ENV | QUANTITY_MAP>(faces, count, done, context);
        break;
    case QUANTITY_ENV | QUANTITY_MAP | LOW_BITS:
        AffineBatchOf<QUANTITY_ENV | QUANTITY_MAP | LOW_BITS>(faces, count, done, context);
        break;
    case QUANTITY_MAP:
        AffineBatchOf<QUANTITY_MAP>(faces, count, done, context);
        break;
    case QUANTITY_MAP | LOW_BITS:
        AffineBatchOf<QUANTITY_MAP | LOW_BITS>(faces, count, done, context);
        break;
    case QUANTITY_MAP | QUANTITY_LIGHT:
        AffineBatchOf<QUANTITY_MAP | QUANTITY_LIGHT>(faces, count, done, context);
        break;
    case QUANTITY_MAP | QUANTITY_LIGHT | LOW_BITS:
        AffineBatchOf<QUANTITY_MAP | QUANTITY_LIGHT | LOW_BITS>(faces, count, done, context);
        break;
    default:
        AffineBatchOf<QUANTITY_ENV | QUANTITY_MAP | QUANTITY_LIGHT>(faces, count, done, context);
        break;
    }
}

}  // namespace kvor3d
