// Clipping of triangles that cross the view volume's planes: near and far in
// camera space, then the screen's columns, then its rows, each a polygon
// pass over the edges; the result is drawn as a fan of triangles.
#include "core/tables.h"
#include "render/scan.h"

#include <algorithm>

namespace kvor3d {

Vertex ClipBuffers[2][CLIP_MAXCORNERS];

namespace {

constexpr uint16_t CLIP_DEPTH = CLIP_NEAR | CLIP_FAR;
constexpr uint16_t CLIP_COLUMNS = CLIP_LEFT | CLIP_RIGHT;
constexpr uint16_t CLIP_ROWS = CLIP_TOP | CLIP_BOTTOM;

// A corner at camera z exactly 0 takes these in the perspective-correct
// interpolation.
constexpr float ZERO_DEPTH_W = 100000.0f;
constexpr float ZERO_DEPTH_MAPW = 1000.0f;

constexpr int32_t POSITION_CENTRE = 16384;
constexpr int32_t POSITION_LAST = 32767;
constexpr float FALLBACK_SCALE = 100.0f;

// The screen codes of a point: columns 0 .. width − 1, rows 0 .. height − 1.
uint16_t ScreenCode(float x, float y)
{
    uint16_t code = 0;
    if (x < 0)
        code |= CLIP_LEFT;
    else if (x > float(Frame.width - 1))
        code |= CLIP_RIGHT;
    if (y < 0)
        code |= CLIP_TOP;
    else if (y > float(Frame.height - 1))
        code |= CLIP_BOTTOM;
    return code;
}

// The clipper's interpolation from a toward b: t is (a − plane) / (b − a),
// so the value is a − (b − a) × t.
float Mix(float a, float b, float t)
{
    return a - (b - a) * t;
}

// Each byte of a 0x00RRGGBB colour interpolated alone and truncated.
uint32_t MixColour(uint32_t a, uint32_t b, float t)
{
    uint32_t colour = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const float ca = float((a >> shift) & 0xFF);
        const float cb = float((b >> shift) & 0xFF);
        colour |= (uint32_t(TruncToInt(ca - t * (cb - ca))) & 0xFF) << shift;
    }
    return colour;
}

// The position-table entry that the environment transformation subtracts
// for a projected offset.
float PositionTerm(float offset)
{
    if (!PositionTable)
        return 0.0f;
    const int64_t index = int64_t(TruncToInt(offset)) + POSITION_CENTRE;
    return float(PositionTable[std::clamp<int64_t>(index, 0, POSITION_LAST)]);
}

// A corner's environment coordinates without their position terms, which
// the environment transformation subtracts from corners at or beyond the
// near plane only: env row pairs with the projected y offset, env column
// with x.
void EnvironmentNormalPart(const Vertex& v, float& row, float& column)
{
    row = v.envRow;
    column = v.envColumn;
    if (v.clipCode & CLIP_NEAR)
        return;
    const float z = v.camera[2];
    const float scale = z > 0 ? Frame.focal / z : FALLBACK_SCALE;
    row += PositionTerm(v.camera[1] * scale);
    column += PositionTerm(v.camera[0] * scale);
}

// The point where the edge from `a` to `b` meets the near plane (code
// CLIP_NEAR of `a`) or the far plane, interpolated in camera space and
// projected. At the near plane the environment coordinates are those the
// environment transformation gives a vertex there: the corners' normal
// parts interpolated, minus the new point's own position terms. The linear
// mix of a corner that has position terms with one behind the near plane
// that has none would leave a fraction of a term; pairing row with y and
// column with x follows the transformation. The far plane takes the plain
// mix.
Vertex DepthPoint(const Vertex& a, const Vertex& b, uint16_t code)
{
    const bool near = code & CLIP_NEAR;
    const float plane = near ? Frame.nearZ : Frame.farZ;
    const float scale = near ? Frame.nearScale : Frame.farScale;
    const float t = (a.camera[2] - plane) / (b.camera[2] - a.camera[2]);
    Vertex v{};
    v.camera[0] = Mix(a.camera[0], b.camera[0], t);
    v.camera[1] = Mix(a.camera[1], b.camera[1], t);
    v.camera[2] = plane;
    v.screenX = v.camera[0] * scale + float(Frame.centreX);
    v.screenY = v.camera[1] * scale + float(Frame.centreY);
    v.mapU = Mix(a.mapU, b.mapU, t);
    v.mapV = Mix(a.mapV, b.mapV, t);
    if (near) {
        float rowA, columnA, rowB, columnB;
        EnvironmentNormalPart(a, rowA, columnA);
        EnvironmentNormalPart(b, rowB, columnB);
        v.envRow = Mix(rowA, rowB, t) - PositionTerm(v.camera[1] * scale);
        v.envColumn = Mix(columnA, columnB, t) - PositionTerm(v.camera[0] * scale);
    } else {
        v.envRow = Mix(a.envRow, b.envRow, t);
        v.envColumn = Mix(a.envColumn, b.envColumn, t);
    }
    v.litColour = MixColour(a.litColour, b.litColour, t);
    v.clipCode = ScreenCode(v.screenX, v.screenY);
    return v;
}

// w = 1/z and map u·w, v·w of a corner for the perspective-correct mix.
struct DepthTerms {
    float w, uw, vw;
};

DepthTerms DepthTermsOf(const Vertex& v)
{
    const float z = v.camera[2];
    if (z == 0.0f)
        return {ZERO_DEPTH_W, ZERO_DEPTH_MAPW, ZERO_DEPTH_MAPW};
    const float w = 1.0f / z;
    return {w, v.mapU * w, v.mapV * w};
}

// The point where the edge from `a` to `b` meets a screen column (ROWS
// false) or row. The other screen coordinate, the environment coordinates
// and the lit colour mix linearly on the screen; depth and map coordinates
// perspective-correctly, through 1/z.
template <bool ROWS>
Vertex ScreenPoint(const Vertex& a, const Vertex& b, float line)
{
    const float pa = ROWS ? a.screenY : a.screenX;
    const float pb = ROWS ? b.screenY : b.screenX;
    const float t = (pa - line) / (pb - pa);
    Vertex v{};
    if (ROWS) {
        v.screenX = Mix(a.screenX, b.screenX, t);
        v.screenY = line;
    } else {
        v.screenX = line;
        v.screenY = Mix(a.screenY, b.screenY, t);
    }
    v.envRow = Mix(a.envRow, b.envRow, t);
    v.envColumn = Mix(a.envColumn, b.envColumn, t);
    v.litColour = MixColour(a.litColour, b.litColour, t);
    const DepthTerms da = DepthTermsOf(a);
    const DepthTerms db = DepthTermsOf(b);
    const float z = 1.0f / Mix(da.w, db.w, t);
    v.camera[2] = z;
    v.mapU = Mix(da.uw, db.uw, t) * z;
    v.mapV = Mix(da.vw, db.vw, t) * z;
    v.clipCode = ScreenCode(v.screenX, v.screenY);
    return v;
}

// One polygon pass over the edges (a → b) of `count` corners against the
// planes of `mask`. An edge with both ends beyond one plane gives nothing;
// otherwise a itself when it is inside, else its crossing of a's plane; then
// b's crossing when b is beyond a plane.
template <class Corner, class Cut>
int ClipPass(int count, Corner corner, uint16_t mask, Cut cut, Vertex* out)
{
    int n = 0;
    const auto emit = [&n, out](const Vertex& v) {
        if (n < CLIP_MAXCORNERS)
            out[n++] = v;
    };
    for (int i = 0; i < count; ++i) {
        const Vertex& a = corner(i);
        const Vertex& b = corner(i + 1 < count ? i + 1 : 0);
        const uint16_t codeA = a.clipCode & mask;
        const uint16_t codeB = b.clipCode & mask;
        if (codeA & codeB)
            continue;
        emit(codeA ? cut(a, b, codeA) : a);
        if (codeB)
            emit(cut(b, a, codeB));
    }
    return n;
}

}  // namespace

int ClipNearFar(const TriangleRef* triangle, Vertex* out)
{
    const auto corner = [triangle](int i) -> const Vertex& { return *triangle->corners[i]; };
    return ClipPass(3, corner, CLIP_DEPTH, DepthPoint, out);
}

namespace {

// The column pass over corner(0) to corner(count − 1); the left column is
// taken before the right one.
template <class Corner>
int ColumnPass(int count, Corner corner, Vertex* out)
{
    const auto cut = [](const Vertex& a, const Vertex& b, uint16_t code) {
        return ScreenPoint<false>(a, b, (code & CLIP_LEFT) ? 0.0f : float(Frame.width - 1));
    };
    return ClipPass(count, corner, CLIP_COLUMNS, cut, out);
}

// The row pass likewise; the top row is taken before the bottom one.
template <class Corner>
int RowPass(int count, Corner corner, Vertex* out)
{
    const auto cut = [](const Vertex& a, const Vertex& b, uint16_t code) {
        return ScreenPoint<true>(a, b, (code & CLIP_TOP) ? 0.0f : float(Frame.height - 1));
    };
    return ClipPass(count, corner, CLIP_ROWS, cut, out);
}

// The corners of a polygon in a buffer.
auto CornersIn(const Vertex* in)
{
    return [in](int i) -> const Vertex& { return in[i]; };
}

uint16_t CodesOf(const Vertex* corners, int count)
{
    uint16_t codes = 0;
    for (int i = 0; i < count; ++i)
        codes |= corners[i].clipCode;
    return codes;
}

// The screen passes on the polygon of `count` corners that corner(i) gives,
// `codes` their clip codes together, into ClipBuffers[0]; the polygon is
// there already where inFirst. A pass whose planes no corner lies beyond
// would copy the polygon as it is, and is left out.
template <class Corner>
int ClipScreen(int count, Corner corner, uint16_t codes, bool inFirst)
{
    Vertex* first = ClipBuffers[0];
    Vertex* second = ClipBuffers[1];
    if (codes & CLIP_COLUMNS) {
        count = ColumnPass(count, corner, second);
        if (count < 3)
            return 0;
        if (CodesOf(second, count) & CLIP_ROWS)
            return RowPass(count, CornersIn(second), first);
        std::copy_n(second, count, first);
        return count;
    }
    if (codes & CLIP_ROWS) {
        if (!inFirst)
            return RowPass(count, corner, first);
        count = RowPass(count, corner, second);
        std::copy_n(second, count, first);
        return count;
    }
    if (!inFirst) {
        for (int i = 0; i < count; ++i)
            first[i] = corner(i);
    }
    return count;
}

}  // namespace

int ClipColumns(const Vertex* in, int count, Vertex* out)
{
    return ColumnPass(count, CornersIn(in), out);
}

int ClipRows(const Vertex* in, int count, Vertex* out)
{
    return RowPass(count, CornersIn(in), out);
}

namespace {

// An affine fan as FanFace faces, drawn in batches. The batches do not
// write to the owner.
void DrawAffineFan(const TriangleRef* fan, int32_t fans)
{
    Face faces[CLIP_MAXCORNERS - 2];
    Face* list[CLIP_MAXCORNERS - 2];
    for (int32_t i = 0; i < fans; ++i) {
        faces[i] = FanFace(fan[i].corners[0], fan[i].corners[1], fan[i].corners[2], fan[i].owner);
        list[i] = &faces[i];
    }
    for (int32_t done = 0; done < fans; done += AFFINE_BATCH)
        FillAffineBatch(list + done, std::min(fans - done, AFFINE_BATCH), nullptr, nullptr);
}

}  // namespace

int ClipTriangle(const TriangleRef* triangle)
{
    if (!triangle->corners[0] || !triangle->corners[1] || !triangle->corners[2])
        return 0;
    const uint16_t codes = triangle->corners[0]->clipCode | triangle->corners[1]->clipCode |
                           triangle->corners[2]->clipCode;
    if (!(codes & CLIP_DEPTH)) {
        const auto corner = [triangle](int i) -> const Vertex& { return *triangle->corners[i]; };
        return ClipScreen(3, corner, codes, false);
    }
    const int count = ClipNearFar(triangle, ClipBuffers[0]);
    if (count < 3)
        return 0;
    return ClipScreen(count, CornersIn(ClipBuffers[0]), CodesOf(ClipBuffers[0], count), true);
}

// The fan (c0, c1, c2), (c0, c2, c3), … of the clipped polygon, each with
// the face's owner, effect offset and winding sign. A shaded or affine fan
// is drawn in batches: the same pixels, its triangles set up side by side.
void ClipAndDrawFace(const TriangleRef* triangle)
{
    const int count = ClipTriangle(triangle);
    const Vertex* first = ClipBuffers[0];
    TriangleRef fan[CLIP_MAXCORNERS - 2];
    int32_t fans = 0;
    for (int i = 1; i + 1 < count; ++i)
        fan[fans++] = {{&first[0], &first[i], &first[i + 1]}, triangle->owner, triangle->effectOffset,
                       triangle->windingSign};
    const ObjectEntity* object = OwnerObject(*triangle);
    if (FillerOf(object) == FillShaded) {
        for (int32_t done = 0; done < fans; done += SHADED_BATCH)
            FillShadedBatch(fan + done, std::min(fans - done, SHADED_BATCH));
        return;
    }
    if (object && DrawsAffine(*object)) {
        DrawAffineFan(fan, fans);
        return;
    }
    for (int32_t i = 0; i < fans; ++i)
        DrawTriangle(&fan[i]);
}

}  // namespace kvor3d
