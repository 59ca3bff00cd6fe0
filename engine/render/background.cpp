// The background under each frame: a colour fill, the tiled rotating image,
// or the floor and sky planes.
#include "render/render.h"

#include <algorithm>
#include <cmath>

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

// value >> n, or value << −n for a negative n.
uint32_t Shift(uint32_t value, int32_t n)
{
    return n >= 0 ? value >> n : value << -n;
}

void FillColour(uint16_t* pixels, int32_t count, uint32_t colour)
{
    std::fill_n(pixels, count, Pixel15(colour));
}

// The tiled image: u and v are 16.16 with 65536 = one image width or height.
// It turns with the camera's r2, and r0 and r1 scroll it; `rep` images pass
// per full turn. Coordinates wrap in 32 bits.
void DrawImage(const Scene* scene, const CameraEntity* camera, uint16_t* pixels, int32_t width, int32_t height)
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

    const auto* texels = static_cast<const uint16_t*>(map->pixels);
    const int32_t rowShift = 16 - int32_t(map->widthShift) - int32_t(map->heightShift);
    const int32_t columnShift = 16 - int32_t(map->widthShift);
    const uint32_t rowMask = map->heightMask << map->widthShift;
    const uint32_t columnMask = map->widthMask;
    for (int32_t y = 0; y < height; ++y) {
        uint32_t u = uStart;
        uint32_t v = vStart;
        uint16_t* row = pixels + int64_t(y) * width;
        for (int32_t x = 0; x < width; ++x) {
            row[x] = texels[(Shift(v, rowShift) & rowMask) + (Shift(u, columnShift) & columnMask)];
            u += du;
            v -= dv;
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

// The multiple t of the ray vector at which it meets the plane; negative
// when the ray does not meet it in front of the eye.
float Meet(const Plane& plane, float eyeY, float dirY)
{
    if (!plane.shown || dirY == 0)
        return -1;
    return (plane.planeY - eyeY) / dirY;
}

uint16_t PlaneTexel(const Plane& plane, float x, float z)
{
    const uint32_t column = uint32_t(TruncToInt(std::floor(x * plane.columnsPerUnit))) & plane.widthMask;
    const uint32_t row = uint32_t(TruncToInt(std::floor(z * plane.rowsPerUnit))) & plane.heightMask;
    return plane.texels[(row << plane.widthShift) + column];
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
void DrawPlanes(const Scene* scene, const CameraEntity* camera, uint32_t mode, uint16_t* pixels, int32_t width,
                int32_t height)
{
    float view[16];
    CameraMatrix(camera, view);
    const float eye[3] = {camera->position[0], camera->position[1], camera->position[2]};
    const bool floorShown = mode == BACKGROUND_FLOOR || mode == BACKGROUND_FLOORSKY;
    const bool skyShown = mode == BACKGROUND_SKY || mode == BACKGROUND_FLOORSKY;
    const uint32_t tile = scene->backgroundValue2;
    Plane planes[2] = {};
    if (floorShown)
        planes[0] = MakePlane(scene->floorMap, tile, 0.0f);
    if (skyShown && Addressable(scene->skyMap))
        planes[1] = MakePlane(scene->skyMap, tile, eye[1] - Tile(scene->skyMap, tile));

    const uint16_t colour = Pixel15(scene->backgroundColour);
    const float focal = FocalLength(width, camera->fieldOfView);
    const float centreX = float(width >> 1);
    const float centreY = float(height >> 1);
    for (int32_t py = 0; py < height; ++py) {
        uint16_t* row = pixels + int64_t(py) * width;
        const float dy = float(py) - centreY;
        for (int32_t px = 0; px < width; ++px) {
            const float dx = float(px) - centreX;
            float ray[3];
            for (int j = 0; j < 3; ++j)
                ray[j] = view[j * 4] * dx + view[j * 4 + 1] * dy + view[j * 4 + 2] * focal;
            const Plane* seen = nullptr;
            float nearest = 0;
            for (const Plane& plane : planes) {
                const float t = Meet(plane, eye[1], ray[1]);
                if (t > 0 && (!seen || t < nearest)) {
                    seen = &plane;
                    nearest = t;
                }
            }
            row[px] = seen ? PlaneTexel(*seen, eye[0] + nearest * ray[0], eye[2] + nearest * ray[2]) : colour;
        }
    }
}

}  // namespace

// A background image or plane map that cannot be addressed (missing, not
// 15-bit, sides not powers of two) shows the background colour instead.
// The colour fill covers every pixel, whatever their count.
void DrawBackground(Scene* scene, XView* view)
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
            DrawImage(scene, camera, pixels, view->width, view->height);
        else
            FillColour(pixels, int32_t(count), scene->backgroundColour);
        break;
    case BACKGROUND_FLOOR:
    case BACKGROUND_SKY:
    case BACKGROUND_FLOORSKY:
        if (camera)
            DrawPlanes(scene, camera, mode, pixels, view->width, view->height);
        else
            FillColour(pixels, int32_t(count), scene->backgroundColour);
        break;
    default:
        break;
    }
}
