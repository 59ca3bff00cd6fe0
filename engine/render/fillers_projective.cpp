// Perspective-correct texture members: u and v exact every 2^k pixels,
// affine between.
#include "render/setup_lanes.h"
#include "render/spans.h"

#include <algorithm>
#include <cstring>

namespace kvor3d {

namespace {

// Rows of a triangle whose spans a batch's set-up lists itself.
constexpr int32_t PERSPECTIVE_ROWS = 24;

// Listed spans start fewer than this many pixels from their long edge's
// column, so that the sub-pixel distance start × 65536 − xLong fits 32
// bits; only a long edge at x = −32768 on some row would reach it.
constexpr int32_t PERSPECTIVE_REACH = 32767;

// Pieces of a listed span, at most, in a batch with shaded faces. Only
// objects whose pieces are at most 2^PIECES_SHIFT_LIMIT pixels long have
// spans of more than one listed, so that w can be advanced over a piece one
// addition at a time, as FloatSteps::Advance's additions are. A batch
// without shaded faces lists spans of one piece only: its set-up and rows
// are leaner without the further pieces, which many small faces of one
// piece a span gain nothing from.
constexpr int32_t PERSPECTIVE_PIECES = 8;
constexpr int32_t PIECES_SHIFT_LIMIT = 4;

// The light's three channels, after w, u·w and v·w among a batch's
// quantities.
constexpr int LIGHT_SLOT = 3;

// The spans of a batch's small triangles as FillPerspectiveTexture and
// FillShadedPerspectiveTexture draw them with nearest texels, row k of
// triangle i at [k][i]: the leftmost pixel and the count (0 where the row
// has no span); for each piece of the span, u and v at its leftmost pixel
// and their steps to the right, from the exact values at the span's start
// and a piece on, the next piece from where those steps leave u and v (a
// span drawn from its right end gets the values it would reach at each
// piece's left end, and the negated steps: the additions wrap, so every
// pixel gets the value that stepping back from the right end gives); with
// the light, its 16.16 channels at the leftmost pixel and their steps to
// the right.
struct PerspectiveTable {
    int32_t left[PERSPECTIVE_ROWS][LANES];
    int32_t count[PERSPECTIVE_ROWS][LANES];
    uint32_t u[PERSPECTIVE_PIECES][PERSPECTIVE_ROWS][LANES];
    uint32_t v[PERSPECTIVE_PIECES][PERSPECTIVE_ROWS][LANES];
    uint32_t du[PERSPECTIVE_PIECES][PERSPECTIVE_ROWS][LANES];
    uint32_t dv[PERSPECTIVE_PIECES][PERSPECTIVE_ROWS][LANES];
    uint32_t light[3][PERSPECTIVE_ROWS][LANES];
    uint32_t lightDx[3][LANES];
    int32_t firstRow[LANES];  // the first row in the frame
    int32_t rows[LANES];      // rows in the frame
    int32_t longLeft[LANES];  // drawn left to right
    int32_t shift[LANES];     // pieces of 2^shift pixels
};

// TruncPerspective of M quantities' lanes that `needed` marks: by the
// truncation, and where that cannot convert a lane, by TruncPerspective
// itself.
template <int M>
inline __attribute__((always_inline)) void TruncPerspectiveOf(const Floats (&values)[M], const Ints& needed,
                                                              Words (&truncated)[M])
{
    Ints rare{};
    for (int i = 0; i < M; ++i) {
        truncated[i] = Words(Truncated(values[i]));
        rare |= ~Convertible(values[i]);
    }
    if (Any(needed & rare)) {
        for (int i = 0; i < M; ++i) {
            for (int32_t lane = 0; lane < LANES; ++lane) {
                if (needed[lane] && !Convertible(values[i])[lane])
                    truncated[i][lane] = uint32_t(TruncPerspective(values[i][lane]));
            }
        }
    }
}

// The part of a listed span on one piece: u and v and the light's channels
// at its leftmost pixel, with their steps to the right.
struct PieceRun {
    uint32_t u, v, du, dv;
    uint32_t light[3], lightDx[3];
};

// Eight pixels of a run.
template <bool SHADED>
inline __attribute__((always_inline)) PixelLanes RunLanes(const TexelMap& map, Lanes u, Lanes v, Lanes red,
                                                          Lanes green, Lanes blue)
{
    const Lanes texels = TexelAt(map.pixels, LastTexel(map.at), TexelIndex(map.at, u, v));
    if constexpr (SHADED)
        return __builtin_convertvector(ShadedTexel(texels, red, green, blue), PixelLanes);
    return __builtin_convertvector(texels, PixelLanes);
}

// The run's n pixels from d to the right: nearest texels, scaled by the
// light where SHADED; by eight lanes where the AVX2 lanes run, else one by
// one.
template <bool WIDE, bool SHADED>
inline __attribute__((always_inline)) void DrawPieceRun(const TexelMap map, uint16_t* d, int32_t n,
                                                        const PieceRun run, const uint16_t* frameEnd)
{
    if constexpr (WIDE) {
        const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
        const uint32_t group = uint32_t(LANES);
        Lanes u = run.u + lane * run.du;
        Lanes v = run.v + lane * run.dv;
        Lanes red{}, green{}, blue{};
        if constexpr (SHADED) {
            red = run.light[0] + lane * run.lightDx[0];
            green = run.light[1] + lane * run.lightDx[1];
            blue = run.light[2] + lane * run.lightDx[2];
        }
        for (; n > LANES; n -= LANES, d += LANES) {
            const PixelLanes values = RunLanes<SHADED>(map, u, v, red, green, blue);
            std::memcpy(d, &values, sizeof values);
            u += run.du * group;
            v += run.dv * group;
            if constexpr (SHADED) {
                red += run.lightDx[0] * group;
                green += run.lightDx[1] * group;
                blue += run.lightDx[2] * group;
            }
        }
        StoreFirst(d, n, RunLanes<SHADED>(map, u, v, red, green, blue), frameEnd);
    } else {
        Interpolants q{};
        q.u = run.u;
        q.v = run.v;
        q.red = run.light[0];
        q.green = run.light[1];
        q.blue = run.light[2];
        for (; n > 0; --n, ++d) {
            const uint32_t texel = NearestTexel(map, q.u, q.v);
            *d = uint16_t(SHADED ? ShadedTexel(texel, q.red, q.green, q.blue) : texel);
            q.u += run.du;
            q.v += run.dv;
            q.red += run.lightDx[0];
            q.green += run.lightDx[1];
            q.blue += run.lightDx[2];
        }
    }
}

// Piece `piece` of row k of triangle i, its leftmost pixel `offset` pixels
// right of the row's.
template <bool SHADED>
inline __attribute__((always_inline)) PieceRun RunOf(const PerspectiveTable& table, int32_t i, int32_t k,
                                                     int32_t piece, int32_t offset)
{
    PieceRun run{table.u[piece][k][i], table.v[piece][k][i], table.du[piece][k][i], table.dv[piece][k][i], {}, {}};
    if constexpr (SHADED) {
        for (int c = 0; c < 3; ++c) {
            run.lightDx[c] = table.lightDx[c][i];
            run.light[c] = table.light[c][k][i] + uint32_t(offset) * run.lightDx[c];
        }
    }
    return run;
}

// The listed rows of triangle i on its surface: each span's pieces in the
// drawing direction, each drawn from its leftmost pixel.
template <bool WIDE, bool SHADED, int32_t PIECES>
inline __attribute__((always_inline)) void DrawListedRows(const PerspectiveTable& table, int32_t i,
                                                          const Surface& s)
{
    const int64_t width = Frame.width;
    const uint16_t* const frameEnd = Frame.target + width * Frame.height;
    const TexelMap map = s.texels;
    const int32_t length = 1 << table.shift[i];
    const bool leftToRight = table.longLeft[i];
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        const int32_t n = table.count[k][i];
        const int32_t left = table.left[k][i];
        if (n <= 0)
            continue;
        // A span of one piece, as most are, drawn without the pieces' loop:
        // the loop's bookkeeping costs small faces much.
        if (PIECES == 1 || n <= length) {
            DrawPieceRun<WIDE, SHADED>(map, line + left, n, RunOf<SHADED>(table, i, k, 0, 0), frameEnd);
            continue;
        }
        for (int32_t piece = 0, done = 0; done < n; ++piece) {
            const int32_t pixels = std::min(length, n - done);
            const int32_t x = leftToRight ? left + done : left + n - done - pixels;
            DrawPieceRun<WIDE, SHADED>(map, line + x, pixels, RunOf<SHADED>(table, i, k, piece, x - left), frameEnd);
            done += pixels;
        }
    }
}

// Whether the object's faces take the light.
bool Shaded(const ObjectEntity& object)
{
    return FillerOf(&object) == FillShadedPerspectiveTexture;
}

// FillPerspectiveTextureBatch in lanes: each face's map coordinates into
// its corners as DrawFace sets them, and TriangleValues of w, u·w × 65536
// and v·w × 65536 as PlanesOf takes them, from the faces' own coordinates,
// with LIGHT the lit colour's channels too, their planes in 16.16 as
// FixedPlaneOf makes them. Triangles with rows in the frame, all of them
// set up by lanes, none with more than PERSPECTIVE_ROWS of them and each
// span of at most PERSPECTIVE_PIECES pieces (one where the pieces are
// longer than 2^PIECES_SHIFT_LIMIT), have their spans listed, found by
// ScanRows', SpanRows' and PerspectiveSpan's arithmetic in every lane; the
// others are drawn by DrawFace itself.
template <bool WIDE, bool LIGHT>
inline __attribute__((always_inline)) void TextureBatch(Face* const* faces, int32_t count)
{
    constexpr int N = LIGHT ? 6 : 3;
    constexpr int32_t PIECES = LIGHT ? PERSPECTIVE_PIECES : 1;
    const Face* f[LANES];
    const ObjectEntity* objects[LANES];
    for (int32_t lane = 0; lane < LANES; ++lane) {
        f[lane] = faces[std::min(lane, count - 1)];
        objects[lane] = ObjectOf(f[lane]->owner);
    }
    CornerValues<N> corner[3];
    for (int j = 0; j < 3; ++j) {
        corner[j].x = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->screenX; });
        corner[j].y = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->screenY; });
        const Floats z = LanesOf<Floats>([&](int32_t lane) { return f[lane]->vertices[j]->camera[2]; });
        const Floats u = LanesOf<Floats>([&](int32_t lane) { return f[lane]->uv[j][0]; });
        const Floats v = LanesOf<Floats>([&](int32_t lane) { return f[lane]->uv[j][1]; });
        const Floats w = 1.0f / z;
        corner[j].value[0] = w;
        corner[j].value[1] = u * w * FIXED_ONE;
        corner[j].value[2] = v * w * FIXED_ONE;
        if constexpr (LIGHT) {
            const Ints lit = LanesOf<Ints>([&](int32_t lane) { return int32_t(f[lane]->vertices[j]->litColour); });
            const int shifts[3] = {16, 8, 0};
            for (int c = 0; c < 3; ++c)
                corner[j].value[LIGHT_SLOT + c] = __builtin_convertvector((lit >> shifts[c]) & 0xFF, Floats);
        }
    }
    const TriangleValues<N> s(corner);
    Ints general = s.general;
    Ints lightDx[N], lightDy[N], lightStart[N];
    if constexpr (LIGHT)
        s.Fixed(general, lightDx, lightDy, lightStart, LIGHT_SLOT);
    Ints listed = s.drawn & ~general & (s.rowCount <= PERSPECTIVE_ROWS);
    const uint32_t present = (1u << count) - 1;
    const int32_t depth = ListedDepth(listed, s.rowCount, count);
    PerspectiveTable table;
    if (BitsOf(listed) & present) {
        const Ints shift = LanesOf<Ints>([&](int32_t lane) { return int32_t(PieceShiftOf(*objects[lane])); });
        const Ints length = (Ints{} + 1) << shift;
        const Ints pieces = shift <= PIECES_SHIFT_LIMIT ? Ints{} + PIECES : Ints{} + 1;
        const Ints longest = length * pieces;
        int32_t additions = 0;  // the most pixels of a piece over which w is advanced
        for (int32_t lane = 0; lane < count; ++lane)
            additions = std::max(additions, listed[lane] && pieces[lane] > 1 ? length[lane] : 0);
        const Ints longLeft = s.edge[1] < s.edge[3];
        std::memcpy(table.firstRow, &s.rowStart, sizeof table.firstRow);
        std::memcpy(table.rows, &s.rowCount, sizeof table.rows);
        std::memcpy(table.longLeft, &longLeft, sizeof table.longLeft);
        std::memcpy(table.shift, &shift, sizeof table.shift);
        const Floats pieceLength = __builtin_convertvector(Words(length), Floats);
        const Floats stepW = Pick(longLeft, s.dx[0], -s.dx[0]);
        const Floats pieceW = pieceLength * stepW;
        const Floats pieceUw = pieceLength * Pick(longLeft, s.dx[1], -s.dx[1]);
        const Floats pieceVw = pieceLength * Pick(longLeft, s.dx[2], -s.dx[2]);
        // Rows above the frame are passed over at once, as SkipRows does.
        const Ints above = s.firstRow < Ints{};
        const Floats skipped = __builtin_convertvector(Ints{} - s.firstRow, Floats);
        Floats w = Pick(above, s.start[0] + skipped * s.dy[0], s.start[0]);
        Floats uw = Pick(above, s.start[1] + skipped * s.dy[1], s.start[1]);
        Floats vw = Pick(above, s.start[2] + skipped * s.dy[2], s.start[2]);
        Words lightEdge[3];
        if constexpr (LIGHT) {
            const Words rowsSkipped = Words(s.rowStart) - Words(s.firstRow);
            for (int c = 0; c < 3; ++c) {
                std::memcpy(table.lightDx[c], &lightDx[LIGHT_SLOT + c], sizeof table.lightDx[c]);
                lightEdge[c] = Words(lightStart[LIGHT_SLOT + c]) + Words(lightDy[LIGHT_SLOT + c]) * rowsSkipped;
            }
        }
        Ints far{};
        RowLanes rows(s);
        for (int32_t k = 0; k < depth; ++k, rows.Next()) {
            Ints left, spanCount, first;
            rows.Span(left, spanCount, first);
            const Ints inside = listed & (spanCount > Ints{});
            const Ints reach = first - (Ints(rows.xLong) >> 16);
            far |= inside & ((reach > PERSPECTIVE_REACH) | (reach < -PERSPECTIVE_REACH) | (spanCount > longest));
            const Floats distance =
                __builtin_convertvector(Ints((Words(first) << 16) - rows.xLong), Floats) / FIXED_ONE;
            Floats spanW = w + s.dx[0] * distance;
            Floats spanUw = uw + s.dx[1] * distance;
            Floats spanVw = vw + s.dx[2] * distance;
            const Floats end = 1.0f / (pieceW + spanW);
            const Floats exact[4] = {spanUw / spanW, spanVw / spanW, (spanUw + pieceUw) * end,
                                     (spanVw + pieceVw) * end};
            Words truncated[4];
            TruncPerspectiveOf(exact, inside, truncated);
            Words u = truncated[0], v = truncated[1];
            Words du = Words(Ints(truncated[2] - u) >> shift);
            Words dv = Words(Ints(truncated[3] - v) >> shift);
            // Piece p's values at its leftmost pixel and its steps to the
            // right, from those at its first pixel and its steps.
            const auto list = [&](int32_t piece) {
                const Words rest = Words(spanCount) - Words(length) * uint32_t(piece);
                const Words pixels = Words(Ints(rest) < length ? Ints(rest) : length);
                const Words back = longLeft ? Words{} : pixels - 1;
                const Words atLeftU = u + back * du;
                const Words atLeftV = v + back * dv;
                const Words rightU = longLeft ? du : Words{} - du;
                const Words rightV = longLeft ? dv : Words{} - dv;
                std::memcpy(table.u[piece][k], &atLeftU, sizeof table.u[piece][k]);
                std::memcpy(table.v[piece][k], &atLeftV, sizeof table.v[piece][k]);
                std::memcpy(table.du[piece][k], &rightU, sizeof table.du[piece][k]);
                std::memcpy(table.dv[piece][k], &rightV, sizeof table.dv[piece][k]);
            };
            list(0);
            // Each further piece starts where the steps leave u and v, w
            // advanced by the piece's additions; its steps come from the
            // exact values a piece on.
            const Ints drawn = inside & ~far;
            const Ints spanPieces = (spanCount + (length - 1)) >> shift;
            if (PIECES > 1 && Any(drawn & (spanPieces > 1))) {
                spanUw += pieceUw;
                spanVw += pieceVw;
                for (int32_t piece = 1; piece < PIECES && Any(drawn & (spanPieces > piece)); ++piece) {
                    u += du << Words(shift);
                    v += dv << Words(shift);
                    for (int32_t i = 0; i < additions; ++i)
                        spanW = Pick(Ints{} + i < length, spanW + stepW, spanW);
                    spanUw += pieceUw;
                    spanVw += pieceVw;
                    const Floats pieceEnd = 1.0f / (pieceW + spanW);
                    const Floats ahead[2] = {spanUw * pieceEnd, spanVw * pieceEnd};
                    Words steps[2];
                    TruncPerspectiveOf(ahead, drawn & (spanPieces > piece), steps);
                    du = Words(Ints(steps[0] - u) >> shift);
                    dv = Words(Ints(steps[1] - v) >> shift);
                    list(piece);
                }
            }
            if constexpr (LIGHT) {
                // At the leftmost pixel, as the affine batch takes it.
                const Ints fraction = Ints(Words(left) * 256u - Words(Ints(rows.xLong) >> 8));
                for (int c = 0; c < 3; ++c) {
                    const Words atLeft = lightEdge[c] + SpanCorrection(lightDx[LIGHT_SLOT + c], fraction);
                    std::memcpy(table.light[c][k], &atLeft, sizeof table.light[c][k]);
                    lightEdge[c] += Words(lightDy[LIGHT_SLOT + c]);
                }
            }
            const Ints drawnCount = spanCount > Ints{} ? spanCount : Ints{};
            std::memcpy(table.left[k], &left, sizeof table.left[k]);
            std::memcpy(table.count[k], &drawnCount, sizeof table.count[k]);
            w += s.dy[0];
            uw += s.dy[1];
            vw += s.dy[2];
        }
        listed &= ~far;
    }
    const uint32_t rows = BitsOf(listed) & present;
    const uint32_t alone = BitsOf(~listed & (s.drawn | general)) & present;
    for (int32_t i = 0; i < count; ++i) {
        Face* face = faces[i];
        if (alone & (1u << i)) {
            DrawFace(face);
            continue;
        }
        for (int j = 0; j < 3; ++j) {
            face->vertices[j]->mapU = face->uv[j][0];
            face->vertices[j]->mapV = face->uv[j][1];
        }
        if (rows & (1u << i)) {
            Surface surface{};
            surface.texels = TexelMapOf(objects[i]->textureMap, 0);
            if (LIGHT && Shaded(*objects[i]))
                DrawListedRows<WIDE, LIGHT, PIECES>(table, i, surface);
            else
                DrawListedRows<WIDE, false, PIECES>(table, i, surface);
        }
    }
}

template <bool LIGHT>
__attribute__((target("avx2"))) void TextureBatchWide(Face* const* faces, int32_t count)
{
    TextureBatch<true, LIGHT>(faces, count);
}

template <bool LIGHT>
void TextureBatchNarrow(Face* const* faces, int32_t count)
{
    TextureBatch<false, LIGHT>(faces, count);
}

}  // namespace

void FillPerspectiveTexture(const TriangleRef* triangle)
{
    DrawTextured<SPAN_TEXEL | SPAN_PERSPECTIVE>(*triangle, Surface{});
}

bool DrawsPerspectiveNearest(const ObjectEntity& object)
{
    if (!Addressable(object.textureMap))
        return false;
    const Filler filler = FillerOf(&object);
    return filler == FillShadedPerspectiveTexture ||
           (filler == FillPerspectiveTexture && !(object.material[1] & (FILTER_BILINEAR | FILTER_MIPMAP)));
}

static_assert(TEXTURE_BATCH == LANES, "a batch is set up in one vector");

void FillPerspectiveTextureBatch(Face* const* faces, int32_t count)
{
    if (count <= 0 || count > TEXTURE_BATCH)
        return;
    bool batched = Frame.target && Frame.width > 0;
    bool shaded = false;
    const ObjectEntity* accepted = nullptr;
    for (int32_t i = 0; i < count && batched; ++i) {
        const Face& face = *faces[i];
        const ObjectEntity* object = ObjectOf(face.owner);
        batched = face.vertices[0] && face.vertices[1] && face.vertices[2] && !(face.faceFlags & FACE_CLIPPED) &&
                  object && (object == accepted || DrawsPerspectiveNearest(*object));
        shaded = shaded || (batched && object != accepted && Shaded(*object));
        accepted = object;
    }
    if (!batched) {
        for (int32_t i = 0; i < count; ++i)
            DrawFace(faces[i]);
    } else if (SpanVectors) {
        shaded ? TextureBatchWide<true>(faces, count) : TextureBatchWide<false>(faces, count);
    } else {
        shaded ? TextureBatchNarrow<true>(faces, count) : TextureBatchNarrow<false>(faces, count);
    }
}

// Nearest texels only, blended into the frame.
void FillTransparentPerspectiveTexture(const TriangleRef* triangle)
{
    const ObjectEntity* object = TargetOwner(*triangle);
    ScanTriangle scan;
    if (!object || !Addressable(object->textureMap) || !SetUpInterpolating(*triangle, scan))
        return;
    Surface surface{};
    surface.texels = TexelMapOf(object->textureMap, 0);
    surface.pieceShift = PieceShiftOf(*object);
    DrawTransparent<SPAN_TEXEL | SPAN_PERSPECTIVE>(scan, *object, surface);
}

}  // namespace kvor3d
