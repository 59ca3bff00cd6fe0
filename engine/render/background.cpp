// The background under each frame: a colour fill, the tiled rotating image,
// or the floor and sky planes.
#include "render/lanes.h"
#include "render/render.h"

#include <immintrin.h>

#include <algorithm>
#include <cmath>

namespace kvor3d {

namespace {

constexpr double PI = 3.14159265358979323846;

uint16_t Pixel15(uint32_t colour)
{
    return uint16_t(((colour >> 9) & 0x7C00) + ((colour >> 6) & 0x03E0) + ((colour >> 3) & 0x001F));
}

// Whether the texture's 15-bit pixels can be addressed through its shifts
// and masks without leaving the image.
bool Addressable(const Texture* map)
{
    return map && map->pixels && map->bytesPerPixel == 2 && (map->textureFlags & TEXTURE_POWEROFTWO) &&
           map->widthShift + map->heightShift <= 30 && map->width == (1u << map->widthShift) &&
           map->height == (1u << map->heightShift) && map->widthMask == map->width - 1 &&
           map->heightMask == map->height - 1;
}

// 16 pixels stored at once, at any pixel address.
using PixelBlock = uint16_t __attribute__((vector_size(32), aligned(2), may_alias));
constexpr int32_t BLOCK_PIXELS = 16;

// The whole frame in blocks of 16 pixels, and the last count mod 16 one by
// one.
__attribute__((target_clones("avx2", "default"))) void FillColour(uint16_t* pixels, int32_t count,
                                                                   uint32_t colour)
{
    const uint16_t pixel = Pixel15(colour);
    const PixelBlock block = PixelBlock{} + pixel;
    const int32_t blocks = count - count % BLOCK_PIXELS;
    for (int32_t i = 0; i < blocks; i += BLOCK_PIXELS)
        *reinterpret_cast<PixelBlock*>(pixels + i) = block;
    std::fill(pixels + blocks, pixels + count, pixel);
}

// The tiled image's addressing: texel (Shift(v, rowShift) & rowMask) +
// (Shift(u, columnShift) & columnMask), each Shift as a right shift then a
// left one, one of them by 0.
struct ImageAddress {
    const uint16_t* texels;
    uint32_t rowRight, rowLeft;
    uint32_t columnRight, columnLeft;
    uint32_t rowMask, columnMask;
};

uint32_t ImageTexel(const ImageAddress& a, uint32_t u, uint32_t v)
{
    return a.texels[(((v >> a.rowRight) << a.rowLeft) & a.rowMask) + (((u >> a.columnRight) << a.columnLeft) & a.columnMask)];
}

using WideWords = uint32_t __attribute__((vector_size(32)));

// The texels of eight positions.
__attribute__((target("avx2"))) inline __m256i ImageTexels(const ImageAddress& a, uint32_t last, __m256i lastTexel,
                                                           WideWords u, WideWords v)
{
    const WideWords index = (((v >> a.rowRight) << a.rowLeft) & a.rowMask) +
                            (((u >> a.columnRight) << a.columnLeft) & a.columnMask);
    const __m256i words = _mm256_mask_i32gather_epi32(lastTexel, reinterpret_cast<const int*>(a.texels),
                                                      __m256i(index), __m256i(index != last), 2);
    return _mm256_and_si256(words, _mm256_set1_epi32(0xFFFF));
}

// One row of the image from (u, v), stepping u by du and v by −dv a pixel:
// 16 pixels at a time, each eight by one gather of 32-bit words (a lane at
// the last texel takes it from a broadcast instead, so that no word reads
// past the image), then the last width mod 16 one by one. The addressing is
// copied in first: the stores could alias it.
__attribute__((target("avx2"))) void DrawImageRowWide(const ImageAddress& address, uint16_t* row, int32_t width,
                                                      uint32_t u, uint32_t v, uint32_t du, uint32_t dv)
{
    const ImageAddress a = address;
    const uint32_t last = a.rowMask + a.columnMask;
    const __m256i lastTexel = _mm256_set1_epi32(a.texels[last]);
    const WideWords lane = {0, 1, 2, 3, 4, 5, 6, 7};
    WideWords us = u + lane * du;
    WideWords vs = v - lane * dv;
    const uint32_t groupU = du * 8;
    const uint32_t groupV = dv * 8;
    int32_t x = 0;
    for (; x + 2 * LANES <= width; x += 2 * LANES) {
        const __m256i first = ImageTexels(a, last, lastTexel, us, vs);
        const __m256i second = ImageTexels(a, last, lastTexel, us + groupU, vs - groupV);
        us += 2 * groupU;
        vs -= 2 * groupV;
        // Packing works within each 128-bit half: put the quarters back in order.
        const __m256i pixels = _mm256_permute4x64_epi64(_mm256_packus_epi32(first, second), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(row + x), pixels);
    }
    u += uint32_t(x) * du;
    v -= uint32_t(x) * dv;
    for (; x < width; ++x, u += du, v -= dv)
        row[x] = uint16_t(ImageTexel(a, u, v));
}

// The tiled image: u and v are 16.16 with 65536 = one image width or height.
// It turns with the camera's r2, and r0 and r1 scroll it; `rep` images pass
// per full turn. Coordinates wrap in 32 bits. The wide path draws the rows
// with AVX2 where the processor has it.
void DrawImage(const Scene* scene, const CameraEntity* camera, uint16_t* pixels, int32_t width, int32_t height,
               FrontEndPath path)
{
    const Texture* map = scene->backgroundMap;
    const uint32_t rep = scene->backgroundValue2;
    const double angle = -double(camera->rotation[2]) * PI / 180;
    const double k = double(rep) * camera->fieldOfView * 65536 / 360 / width;
    const uint32_t du = uint32_t(TruncToInt(std::cos(angle) * k));
    const uint32_t dv = uint32_t(TruncToInt(-std::sin(angle) * k));
    const uint32_t halfWidth = uint32_t(width >> 1);
    const uint32_t halfHeight = uint32_t(height >> 1);
    uint32_t uStart = (uint32_t(TruncToInt(double(rep) * (-double(camera->rotation[0]) / 360) * 65536)) & 0xFFFF) -
                      (du * halfWidth - dv * halfHeight);
    uint32_t vStart = (uint32_t(TruncToInt(double(rep) * (-double(camera->rotation[1]) / 360) * 65536)) & 0xFFFF) -
                      (halfHeight * du + halfWidth * dv);

    const int32_t rowShift = 16 - int32_t(map->widthShift) - int32_t(map->heightShift);
    const int32_t columnShift = 16 - int32_t(map->widthShift);
    const ImageAddress a = {static_cast<const uint16_t*>(map->pixels),
                            uint32_t(std::max(rowShift, 0)),
                            uint32_t(std::max(-rowShift, 0)),
                            uint32_t(std::max(columnShift, 0)),
                            uint32_t(std::max(-columnShift, 0)),
                            map->heightMask << map->widthShift,
                            map->widthMask};
    const bool wide = path == FrontEndPath::WIDE && __builtin_cpu_supports("avx2");
    for (int32_t y = 0; y < height; ++y) {
        uint16_t* row = pixels + int64_t(y) * width;
        if (wide) {
            DrawImageRowWide(a, row, width, uStart, vStart, du, dv);
        } else {
            uint32_t u = uStart;
            uint32_t v = vStart;
            for (int32_t x = 0; x < width; ++x, u += du, v -= dv)
                row[x] = uint16_t(ImageTexel(a, u, v));
        }
        uStart += dv;
        vStart += du;
    }
}

// One textured plane y = planeY of world space. The map repeats every
// `tile` world units along x (its columns) and z (its rows).
struct Plane {
    bool shown;
    float planeY;
    const uint16_t* texels;
    float columnsPerUnit;
    float rowsPerUnit;
    uint32_t widthShift;
    uint32_t widthMask;
    uint32_t heightMask;
};

// World units of one repeat of the map: `value`, or the map's width when 0.
float Tile(const Texture* map, uint32_t value)
{
    return value ? float(value) : float(map->width);
}

Plane MakePlane(const Texture* map, uint32_t tileValue, float planeY)
{
    Plane plane{};
    if (!Addressable(map))
        return plane;
    const float tile = Tile(map, tileValue);
    plane.shown = true;
    plane.planeY = planeY;
    plane.texels = static_cast<const uint16_t*>(map->pixels);
    plane.columnsPerUnit = float(map->width) / tile;
    plane.rowsPerUnit = float(map->height) / tile;
    plane.widthShift = map->widthShift;
    plane.widthMask = map->widthMask;
    plane.heightMask = map->heightMask;
    return plane;
}

// What the floor and sky pixels of one frame share: the rotation R of the
// camera's view matrix, the eye, both planes (floor first) with the
// plane's y less the eye's, and each ray component's focal term R[j][2] ×
// focal. A ray can meet a plane ahead of the eye only where its y has the
// sign of the plane's rise (t > 0): the side, 1 or −1, 0 for a plane not
// shown or level with the eye. The planes are apart when no ray can meet
// both, their sides not one and the same, as when the eye is between the
// floor and the sky.
struct PlaneFrame {
    float view[16];
    float eye[3];
    Plane planes[2];
    float rise[2];
    float side[2];
    bool apart;
    float focalTerm[3];
    float centreX;
    float centreY;
    uint16_t colour;
};

// The ray components' row terms R[j][1] × dy of one screen row.
struct PlaneRow {
    float rowTerm[3];
};

PlaneRow MakeRow(const PlaneFrame& frame, int32_t py)
{
    const float dy = float(py) - frame.centreY;
    PlaneRow row;
    for (int j = 0; j < 3; ++j)
        row.rowTerm[j] = frame.view[j * 4 + 1] * dy;
    return row;
}

// The multiple t of the ray vector at which it meets the plane; negative
// when the ray does not meet it in front of the eye.
float Meet(const PlaneFrame& frame, int index, float dirY)
{
    if (!frame.planes[index].shown || dirY == 0)
        return -1;
    return frame.rise[index] / dirY;
}

uint16_t PlaneTexel(const Plane& plane, float x, float z)
{
    const uint32_t column = uint32_t(TruncToInt(std::floor(x * plane.columnsPerUnit))) & plane.widthMask;
    const uint32_t row = uint32_t(TruncToInt(std::floor(z * plane.rowsPerUnit))) & plane.heightMask;
    return plane.texels[(row << plane.widthShift) + column];
}

uint16_t PlanePixel(const PlaneFrame& frame, const PlaneRow& row, int32_t px)
{
    const float dx = float(px) - frame.centreX;
    float ray[3];
    for (int j = 0; j < 3; ++j)
        ray[j] = frame.view[j * 4] * dx + row.rowTerm[j] + frame.focalTerm[j];
    int seen = -1;
    float nearest = 0;
    for (int index = 0; index < 2; ++index) {
        const float t = Meet(frame, index, ray[1]);
        if (t > 0 && (seen < 0 || t < nearest)) {
            seen = index;
            nearest = t;
        }
    }
    if (seen < 0)
        return frame.colour;
    return PlaneTexel(frame.planes[seen], frame.eye[0] + nearest * ray[0], frame.eye[2] + nearest * ray[2]);
}

using PixelLanes = uint16_t __attribute__((vector_size(16), aligned(2), may_alias));

// TruncToInt(floor(v)) in every lane as far as a mask below 2^31 keeps of
// it: truncation, less one where it rounded a negative value up (below
// 2^24 the truncation is exact as a float, above it v is already whole),
// and INT32_MAX from 2^31 up. Below −2^31 and for NaN it gives 0, which
// INT32_MIN is too under such a mask. Inlined, as the helpers below, into
// each clone of the run.
inline __attribute__((always_inline)) void FloorToInt(const Floats& v, Ints* out)
{
    const Floats low = Floats{} - 2147483648.0f;
    const Floats high = Floats{} + 2147483648.0f;
    const Floats safe = ((v >= low) & (v < high)) ? v : Floats{};
    Ints whole = __builtin_convertvector(safe, Ints);
    whole += __builtin_convertvector(whole, Floats) > safe;
    *out = v >= high ? Ints{} + INT32_MAX : whole;
}

// A plane's addressing constants in every lane.
struct PlaneLanes {
    Floats columnsPerUnit;
    Floats rowsPerUnit;
    Ints widthShift;
    Ints widthMask;
    Ints heightMask;
};

inline __attribute__((always_inline)) PlaneLanes LanesOf(const Plane& plane)
{
    return {Floats{} + plane.columnsPerUnit, Floats{} + plane.rowsPerUnit, Ints{} + int32_t(plane.widthShift),
            Ints{} + int32_t(plane.widthMask), Ints{} + int32_t(plane.heightMask)};
}

// PlaneTexel's index in every lane.
inline __attribute__((always_inline)) void TexelIndex(const PlaneLanes& plane, const Floats& x, const Floats& z,
                                                      Ints* index)
{
    Ints column;
    Ints row;
    FloorToInt(x * plane.columnsPerUnit, &column);
    FloorToInt(z * plane.rowsPerUnit, &row);
    *index = ((row & plane.heightMask) << plane.widthShift) + (column & plane.widthMask);
}

// The pixels first .. first + count − 1 of the row, count a multiple of
// LANES, with PlanePixel's arithmetic in each lane: the same products,
// sums and quotients in the same order, and the same choice of plane. With
// the planes apart, a lane divides only for the plane on its ray's side,
// the one plane it can meet; else both planes are shown and both quotients
// taken. Where the lanes see different planes, each lane's plane is picked,
// the background colour standing as a one-texel map for lanes that see
// none; where they all see one, its texels are read one lane at a time, or
// the colour is stored in all of them at once.
__attribute__((target_clones("avx2", "default"))) void DrawPlaneRun(const PlaneFrame& frame, const PlaneRow& row,
                                                                     int32_t first, int32_t count,
                                                                     uint16_t* pixels)
{
    const Plane& floor = frame.planes[0];
    const Plane& sky = frame.planes[1];
    const bool apart = frame.apart;
    Floats across[3];  // R[j][0], and the row's and focal terms together in order
    Floats rowTerm[3];
    Floats focalTerm[3];
    for (int j = 0; j < 3; ++j) {
        across[j] = Floats{} + frame.view[j * 4];
        rowTerm[j] = Floats{} + row.rowTerm[j];
        focalTerm[j] = Floats{} + frame.focalTerm[j];
    }
    const Floats centreX = Floats{} + frame.centreX;
    const Floats eyeX = Floats{} + frame.eye[0];
    const Floats eyeZ = Floats{} + frame.eye[2];
    const Floats floorSide = Floats{} + frame.side[0];
    const Floats skySide = Floats{} + frame.side[1];
    const Floats floorRise = Floats{} + frame.rise[0];
    const Floats skyRise = Floats{} + frame.rise[1];
    const PlaneLanes floorLanes = LanesOf(floor);
    const PlaneLanes skyLanes = LanesOf(sky);
    const uint16_t* const sources[3] = {&frame.colour, floor.texels, sky.texels};
    const PixelLanes colour = PixelLanes{} + frame.colour;
    for (int32_t px = first; px < first + count; px += LANES) {
        const Ints columns = Ints{0, 1, 2, 3, 4, 5, 6, 7} + px;
        const Floats dx = __builtin_convertvector(columns, Floats) - centreX;
        Floats ray[3];
        for (int j = 0; j < 3; ++j)
            ray[j] = across[j] * dx + rowTerm[j] + focalTerm[j];
        Ints onFloor;  // the lanes that see the floor, and those that see the sky
        Ints onSky;
        Floats nearest;
        if (apart) {
            const Ints floorAhead = ray[1] * floorSide > 0;
            const Ints skyAhead = ray[1] * skySide > 0;
            nearest = (floorAhead ? floorRise : skyRise) / ray[1];
            const Ints ahead = nearest > 0;
            onFloor = floorAhead & ahead;
            onSky = skyAhead & ahead;
        } else {
            const Ints meets = ray[1] != 0;
            const Floats floorT = floorRise / ray[1];
            const Floats skyT = skyRise / ray[1];
            onFloor = meets & (floorT > 0);
            onSky = meets & (skyT > 0) & (~onFloor | (skyT < floorT));
            nearest = onSky ? skyT : floorT;
            onFloor &= ~onSky;
        }
        const Floats x = eyeX + nearest * ray[0];
        const Floats z = eyeZ + nearest * ray[2];
        uint16_t* const out = pixels + px;
        const Ints source = (onSky & 2) | (onFloor & 1);
        Ints index;
        if (!Every(source == source[0])) {
            const PlaneLanes lanes = {onSky ? skyLanes.columnsPerUnit : floorLanes.columnsPerUnit,
                                      onSky ? skyLanes.rowsPerUnit : floorLanes.rowsPerUnit,
                                      onSky ? skyLanes.widthShift : floorLanes.widthShift,
                                      onSky ? skyLanes.widthMask : floorLanes.widthMask,
                                      onSky ? skyLanes.heightMask : floorLanes.heightMask};
            TexelIndex(lanes, x, z, &index);
            index &= onFloor | onSky;
            for (int32_t lane = 0; lane < LANES; ++lane)
                out[lane] = sources[source[lane]][uint32_t(index[lane])];
        } else if (source[0] == 2) {
            TexelIndex(skyLanes, x, z, &index);
            for (int32_t lane = 0; lane < LANES; ++lane)
                out[lane] = sky.texels[uint32_t(index[lane])];
        } else if (source[0] == 1) {
            TexelIndex(floorLanes, x, z, &index);
            for (int32_t lane = 0; lane < LANES; ++lane)
                out[lane] = floor.texels[uint32_t(index[lane])];
        } else {
            *reinterpret_cast<PixelLanes*>(out) = colour;
        }
    }
}

// The floor and sky planes, perspective-correct per pixel.
//
// World y points down, as the camera's y does before it turns. The floor is
// the world plane y = 0, so that objects standing on it (y <= 0) have it
// under them; the sky is the plane y = eye y − tile, always one tile above
// the eye. A tile is backgroundValue2 world units (the map's width when 0):
// each plane shows its map once per tile along world x (columns) and world
// z (rows).
//
// The pixel (px, py) is sampled on the ray that projects onto exactly that
// point: in camera space d = (px − centreX, py − centreY, focal), in world
// space D = d × Rᵀ with R the rotation of the camera's view matrix (rows 0-2),
// that is D_j = R[j] · d. The ray meets the plane y = Y at t = (Y − eye y) / D_y
// when t > 0, at world x = eye x + t × D_x and z = eye z + t × D_z. Where
// both planes are met the nearer is seen; where none is, the background
// colour. The horizon is the screen line where D_y = 0.
//
// The wide path draws each row but its last width mod 8 pixels; the
// pixel-by-pixel path, the same pixels, draws those and whole rows.
void DrawPlanes(const Scene* scene, const CameraEntity* camera, uint32_t mode, uint16_t* pixels, int32_t width,
                int32_t height, FrontEndPath path)
{
    PlaneFrame frame{};
    CameraMatrix(camera, frame.view);
    for (int j = 0; j < 3; ++j)
        frame.eye[j] = camera->position[j];
    const bool floorShown = mode == BACKGROUND_FLOOR || mode == BACKGROUND_FLOORSKY;
    const bool skyShown = mode == BACKGROUND_SKY || mode == BACKGROUND_FLOORSKY;
    const uint32_t tile = scene->backgroundValue2;
    if (floorShown)
        frame.planes[0] = MakePlane(scene->floorMap, tile, 0.0f);
    if (skyShown && Addressable(scene->skyMap))
        frame.planes[1] = MakePlane(scene->skyMap, tile, frame.eye[1] - Tile(scene->skyMap, tile));
    for (int index = 0; index < 2; ++index)
        frame.rise[index] = frame.planes[index].planeY - frame.eye[1];
    for (int index = 0; index < 2; ++index) {
        const float rise = frame.rise[index];
        frame.side[index] = !frame.planes[index].shown ? 0.0f : rise > 0 ? 1.0f : rise < 0 ? -1.0f : 0.0f;
    }
    frame.apart = frame.side[0] == 0 || frame.side[0] != frame.side[1];

    frame.colour = Pixel15(scene->backgroundColour);
    const float focal = FocalLength(width, camera->fieldOfView);
    for (int j = 0; j < 3; ++j)
        frame.focalTerm[j] = frame.view[j * 4 + 2] * focal;
    frame.centreX = float(width >> 1);
    frame.centreY = float(height >> 1);
    const int32_t wide = path == FrontEndPath::WIDE ? width - width % LANES : 0;
    for (int32_t py = 0; py < height; ++py) {
        uint16_t* line = pixels + int64_t(py) * width;
        const PlaneRow row = MakeRow(frame, py);
        if (wide > 0)
            DrawPlaneRun(frame, row, 0, wide, line);
        for (int32_t px = wide; px < width; ++px)
            line[px] = PlanePixel(frame, row, px);
    }
}

}  // namespace

// A background image or plane map that cannot be addressed (missing, not
// 15-bit, sides not powers of two) shows the background colour instead.
// The colour fill covers every pixel, whatever their count.
void DrawBackground(Scene* scene, XView* view, FrontEndPath path)
{
    if (!scene || !view || view->width <= 0 || view->height <= 0)
        return;
    uint16_t* pixels = (view->flags & XVIEW_DOUBLEBUFFER) ? view->bufferB : view->current;
    if (!pixels)
        return;
    const int64_t count = int64_t(view->width) * view->height;
    if (count > INT32_MAX)
        return;
    const CameraEntity* camera = CameraOf(scene->camera);
    const uint32_t mode = scene->flags & SCENE_BACKGROUNDMODE;
    switch (mode) {
    case BACKGROUND_COLOUR:
        FillColour(pixels, int32_t(count), scene->backgroundColour);
        break;
    case BACKGROUND_IMAGE:
        if (camera && Addressable(scene->backgroundMap))
            DrawImage(scene, camera, pixels, view->width, view->height, path);
        else
            FillColour(pixels, int32_t(count), scene->backgroundColour);
        break;
    case BACKGROUND_FLOOR:
    case BACKGROUND_SKY:
    case BACKGROUND_FLOORSKY:
        if (camera)
            DrawPlanes(scene, camera, mode, pixels, view->width, view->height, path);
        else
            FillColour(pixels, int32_t(count), scene->backgroundColour);
        break;
    default:
        break;
    }
}

}  // namespace kvor3d
