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

// The spans of a batch's small triangles as FillPerspectiveTexture draws
// them with nearest texels, row k of triangle i at [k][i]: the leftmost
// pixel, the count (0 where the row has no span), and u and v at the
// leftmost pixel with their steps to the right. Each listed span is one
// piece, its steps from the exact values at its start and a piece on; a
// span drawn from its right end gets the values it would reach at its left
// end, and the negated steps: the additions wrap, so every pixel gets the
// value that stepping back from the right end gives.
struct PerspectiveTable {
    int32_t left[PERSPECTIVE_ROWS][LANES];
    int32_t count[PERSPECTIVE_ROWS][LANES];
    uint32_t u[PERSPECTIVE_ROWS][LANES];
    uint32_t v[PERSPECTIVE_ROWS][LANES];
    uint32_t du[PERSPECTIVE_ROWS][LANES];
    uint32_t dv[PERSPECTIVE_ROWS][LANES];
    int32_t firstRow[LANES];  // the first row in the frame
    int32_t rows[LANES];      // rows in the frame
};

// TruncPerspective of four quantities' lanes that `needed` marks: by the
// truncation, and where that cannot convert a lane, by TruncPerspective
// itself.
inline __attribute__((always_inline)) void TruncPerspectiveOf(const Floats (&values)[4], const Ints& needed,
                                                              Words (&truncated)[4])
{
    Ints rare{};
    for (int i = 0; i < 4; ++i) {
        truncated[i] = Words(Truncated(values[i]));
        rare |= ~Convertible(values[i]);
    }
    if (Any(needed & rare)) {
        for (int i = 0; i < 4; ++i) {
            for (int32_t lane = 0; lane < LANES; ++lane) {
                if (needed[lane] && !Convertible(values[i])[lane])
                    truncated[i][lane] = uint32_t(TruncPerspective(values[i][lane]));
            }
        }
    }
}

// The nearest texels at eight lanes' map coordinates: by the gather where
// the AVX2 lanes run, else one by one.
template <bool WIDE>
inline __attribute__((always_inline)) PixelLanes TexelsOf(const TexelMap& map, const Lanes& u, const Lanes& v)
{
    if constexpr (WIDE) {
        return __builtin_convertvector(TexelAt(map.pixels, LastTexel(map.at), TexelIndex(map.at, u, v)), PixelLanes);
    } else {
        PixelLanes texels;
        for (int32_t lane = 0; lane < LANES; ++lane)
            texels[lane] = map.pixels[TexelIndex(map.at, u[lane], v[lane])];
        return texels;
    }
}

// The listed rows of triangle i on its map: each span from its leftmost
// pixel, eight pixels at a time.
template <bool WIDE>
inline __attribute__((always_inline)) void DrawListedRows(const PerspectiveTable& table, int32_t i,
                                                          const TexelMap& map)
{
    const int64_t width = Frame.width;
    const uint16_t* const frameEnd = Frame.target + width * Frame.height;
    const Lanes lane = {0, 1, 2, 3, 4, 5, 6, 7};
    uint16_t* line = Frame.target + table.firstRow[i] * width;
    for (int32_t k = 0; k < table.rows[i]; ++k, line += width) {
        int32_t n = table.count[k][i];
        if (n <= 0)
            continue;
        uint16_t* d = line + table.left[k][i];
        const uint32_t du = table.du[k][i], dv = table.dv[k][i];
        Lanes u = table.u[k][i] + lane * du;
        Lanes v = table.v[k][i] + lane * dv;
        for (; n > LANES; n -= LANES, d += LANES) {
            const PixelLanes texels = TexelsOf<WIDE>(map, u, v);
            std::memcpy(d, &texels, sizeof texels);
            u += du * uint32_t(LANES);
            v += dv * uint32_t(LANES);
        }
        StoreFirst(d, n, TexelsOf<WIDE>(map, u, v), frameEnd);
    }
}

// FillPerspectiveTextureBatch in lanes: each face's map coordinates into
// its corners as DrawFace sets them, and TriangleLanes of w, u·w × 65536
// and v·w × 65536 as PlanesOf takes them, from the faces' own coordinates.
// Triangles with rows in the frame, all of them set up by lanes, none with
// more than PERSPECTIVE_ROWS of them and each span one piece long, have
// their spans listed, found by ScanRows', SpanRows' and PerspectiveSpan's
// arithmetic in every lane; the others are drawn by DrawFace itself.
template <bool WIDE>
inline __attribute__((always_inline)) void TextureBatch(Face* const* faces, int32_t count)
{
    const Face* f[LANES];
    const ObjectEntity* objects[LANES];
    for (int32_t lane = 0; lane < LANES; ++lane) {
        f[lane] = faces[std::min(lane, count - 1)];
        objects[lane] = ObjectOf(f[lane]->owner);
    }
    CornerLanes corner[3];
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
    }
    const TriangleLanes s(corner);
    Ints listed = s.drawn & ~s.general & (s.rowCount <= PERSPECTIVE_ROWS);
    const uint32_t present = (1u << count) - 1;
    const int32_t depth = ListedDepth(listed, s.rowCount, count);
    PerspectiveTable table;
    if (BitsOf(listed) & present) {
        std::memcpy(table.firstRow, &s.rowStart, sizeof table.firstRow);
        std::memcpy(table.rows, &s.rowCount, sizeof table.rows);
        const Ints shift = LanesOf<Ints>(
            [&](int32_t lane) { return int32_t(PieceShiftOf(*objects[lane])); });
        const Ints length = (Ints{} + 1) << shift;
        const Ints longLeft = s.edge[1] < s.edge[3];
        const Floats pieceLength = __builtin_convertvector(Words(length), Floats);
        const Floats pieceW = pieceLength * Pick(longLeft, s.dx[0], -s.dx[0]);
        const Floats pieceUw = pieceLength * Pick(longLeft, s.dx[1], -s.dx[1]);
        const Floats pieceVw = pieceLength * Pick(longLeft, s.dx[2], -s.dx[2]);
        // Rows above the frame are passed over at once, as SkipRows does.
        const Ints above = s.firstRow < Ints{};
        const Floats skipped = __builtin_convertvector(Ints{} - s.firstRow, Floats);
        Floats w = Pick(above, s.start[0] + skipped * s.dy[0], s.start[0]);
        Floats uw = Pick(above, s.start[1] + skipped * s.dy[1], s.start[1]);
        Floats vw = Pick(above, s.start[2] + skipped * s.dy[2], s.start[2]);
        Ints far{};
        RowLanes rows(s);
        for (int32_t k = 0; k < depth; ++k, rows.Next()) {
            Ints left, spanCount, first;
            rows.Span(left, spanCount, first);
            const Ints inside = listed & (spanCount > Ints{});
            const Ints reach = first - (Ints(rows.xLong) >> 16);
            far |= inside & ((reach > PERSPECTIVE_REACH) | (reach < -PERSPECTIVE_REACH) | (spanCount > length));
            const Floats distance =
                __builtin_convertvector(Ints((Words(first) << 16) - rows.xLong), Floats) / FIXED_ONE;
            const Floats startW = w + s.dx[0] * distance;
            const Floats startUw = uw + s.dx[1] * distance;
            const Floats startVw = vw + s.dx[2] * distance;
            const Floats end = 1.0f / (pieceW + startW);
            const Floats exact[4] = {startUw / startW, startVw / startW, (startUw + pieceUw) * end,
                                     (startVw + pieceVw) * end};
            Words truncated[4];
            TruncPerspectiveOf(exact, inside, truncated);
            const Words u = truncated[0];
            const Words v = truncated[1];
            const Words du = Words(Ints(truncated[2] - u) >> shift);
            const Words dv = Words(Ints(truncated[3] - v) >> shift);
            const Words back = Words(first - left);
            const Words atLeftU = u + back * du;
            const Words atLeftV = v + back * dv;
            const Words rightU = longLeft ? du : Words{} - du;
            const Words rightV = longLeft ? dv : Words{} - dv;
            const Ints drawnCount = spanCount > Ints{} ? spanCount : Ints{};
            std::memcpy(table.left[k], &left, sizeof table.left[k]);
            std::memcpy(table.count[k], &drawnCount, sizeof table.count[k]);
            std::memcpy(table.u[k], &atLeftU, sizeof table.u[k]);
            std::memcpy(table.v[k], &atLeftV, sizeof table.v[k]);
            std::memcpy(table.du[k], &rightU, sizeof table.du[k]);
            std::memcpy(table.dv[k], &rightV, sizeof table.dv[k]);
            w += s.dy[0];
            uw += s.dy[1];
            vw += s.dy[2];
        }
        listed &= ~far;
    }
    const uint32_t rows = BitsOf(listed) & present;
    const uint32_t alone = BitsOf(~listed & (s.drawn | s.general)) & present;
    for (int32_t i = 0; i < count; ++i) {
        Face* face = faces[i];
        if (rows & (1u << i)) {
            for (int j = 0; j < 3; ++j) {
                face->vertices[j]->mapU = face->uv[j][0];
                face->vertices[j]->mapV = face->uv[j][1];
            }
            DrawListedRows<WIDE>(table, i, TexelMapOf(objects[i]->textureMap, 0));
        } else if (alone & (1u << i)) {
            DrawFace(face);
        } else {
            for (int j = 0; j < 3; ++j) {
                face->vertices[j]->mapU = face->uv[j][0];
                face->vertices[j]->mapV = face->uv[j][1];
            }
        }
    }
}

__attribute__((target("avx2"))) void TextureBatchWide(Face* const* faces, int32_t count)
{
    TextureBatch<true>(faces, count);
}

void TextureBatchNarrow(Face* const* faces, int32_t count)
{
    TextureBatch<false>(faces, count);
}

}  // namespace

void FillPerspectiveTexture(const TriangleRef* triangle)
{
    DrawTextured<SPAN_TEXEL | SPAN_PERSPECTIVE>(*triangle, Surface{});
}

bool DrawsPerspectiveNearest(const ObjectEntity& object)
{
    return FillerOf(&object) == FillPerspectiveTexture && Addressable(object.textureMap) &&
           !(object.material[1] & (FILTER_BILINEAR | FILTER_MIPMAP));
}

static_assert(TEXTURE_BATCH == LANES, "a batch is set up in one vector");

void FillPerspectiveTextureBatch(Face* const* faces, int32_t count)
{
    if (count <= 0 || count > TEXTURE_BATCH)
        return;
    bool batched = Frame.target && Frame.width > 0;
    const ObjectEntity* accepted = nullptr;
    for (int32_t i = 0; i < count && batched; ++i) {
        const Face& face = *faces[i];
        const ObjectEntity* object = ObjectOf(face.owner);
        batched = face.vertices[0] && face.vertices[1] && face.vertices[2] && !(face.faceFlags & FACE_CLIPPED) &&
                  object && (object == accepted || DrawsPerspectiveNearest(*object));
        accepted = object;
    }
    if (!batched) {
        for (int32_t i = 0; i < count; ++i)
            DrawFace(faces[i]);
    } else if (SpanVectors) {
        TextureBatchWide(faces, count);
    } else {
        TextureBatchNarrow(faces, count);
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
