// Flares: the elements of a light's effect, or of an object's sprite effect
// at its glints, added to the frame as scaled sprites along the line from
// the screen centre through the point.
#include "render/stages.h"

#include <algorithm>

namespace {

constexpr uint32_t FIXED_ONE = 65536;

struct FlarePoint {
    float x, y, z;
    float scale;
    const LightEffect* effect;
};

// Where a sprite entry's flare comes from: the light's screen position and
// depth, its effect scaled by its intensity when it asks for it; or a
// glint's corner vertex with its object's sprite effect.
bool PointOf(const DrawEntry& entry, FlarePoint* point)
{
    if (entry.type == DRAW_LIGHT) {
        const LightEntity* light = LightOf(entry.light);
        if (!light)
            return false;
        const float scale = (light->lightFlags & LIGHT_SCALEEFFECT) ? light->lightValue1 : 1.0f;
        *point = {light->screenX, light->screenY, light->depth, scale, light->effect};
        return true;
    }
    if (entry.type == DRAW_GLINT) {
        const int32_t corner = TruncToInt(entry.key);
        const ObjectEntity* object = entry.face ? ObjectOf(entry.face->owner) : nullptr;
        if (!object || corner < 0 || corner > 2 || !entry.face->vertices[corner])
            return false;
        const Vertex* v = entry.face->vertices[corner];
        *point = {v->screenX, v->screenY, v->camera[2], 1.0f, object->spriteEffect};
        return true;
    }
    return false;
}

// Each element with a map: f = e1 / 65536 × (focal / z) × scale; a sprite of
// int(f × map size), centred at e0 / 65536 of the way from the screen centre
// to the point.
void DrawFlare(const FlarePoint& point, XView* view)
{
    const float k = Frame.focal / point.z;
    const int64_t px = TruncToInt(point.x);
    const int64_t py = TruncToInt(point.y);
    for (const LightEffectElement* element = point.effect->elements; element; element = element->next) {
        const Texture* map = element->map;
        if (!map)
            continue;
        const float f = float(element->e1) / float(FIXED_ONE) * k * point.scale;
        const int32_t w = TruncToInt(f * float(map->width));
        const int32_t h = TruncToInt(f * float(map->height));
        if (w <= 0 || h <= 0)
            continue;
        const double along = double(element->e0) / FIXED_ONE;
        const int64_t left = TruncToInt(double(px - Frame.centreX) * along + Frame.centreX - (w >> 1));
        const int64_t top = TruncToInt(double(py - Frame.centreY) * along + Frame.centreY - (h >> 1));
        if (left < Frame.width && left + w > 0 && top < Frame.height && top + h > 0)
            BlitSprite(view, int32_t(left), int32_t(top), map, w, h, element->e3 & 3, element->e2);
    }
}

}  // namespace

void DrawFlares(const SpriteList& sprites, XView* view)
{
    for (uint32_t i = 0; i < sprites.count; ++i) {
        FlarePoint point;
        if (PointOf(sprites.entries[i], &point) && point.effect)
            DrawFlare(point, view);
    }
}

// Source positions are 16.16 with steps (map side << 16) / sprite side, so
// the last sample of a row or column stays inside the map.
void BlitSprite(XView* view, int32_t x, int32_t y, const Texture* map, int32_t w, int32_t h, uint32_t,
                uint32_t intensity)
{
    if (!view || !view->current || !map || !map->pixels || map->bytesPerPixel != 2 || map->width == 0 ||
        map->height == 0 || w <= 0 || h <= 0)
        return;
    const uint64_t stepX = (uint64_t(map->width) << 16) / uint64_t(w);
    const uint64_t stepY = (uint64_t(map->height) << 16) / uint64_t(h);
    const int64_t x0 = std::max<int64_t>(x, 0);
    const int64_t x1 = std::min<int64_t>(int64_t(x) + w, view->width);
    const int64_t y0 = std::max<int64_t>(y, 0);
    const int64_t y1 = std::min<int64_t>(int64_t(y) + h, view->height);
    // At most 31 × 2^26: the products fit in 32 bits.
    const uint32_t i = intensity >> 6;
    const auto* texels = static_cast<const uint16_t*>(map->pixels);
    const auto add = [i](uint32_t d, uint32_t t, int shift) {
        const uint32_t sum = ((d >> shift) & 0x1F) + ((((t >> shift) & 0x1F) * i) >> 10);
        return std::min<uint32_t>(sum, 0x1F) << shift;
    };
    uint64_t sourceY = uint64_t(y0 - y) * stepY;
    for (int64_t row = y0; row < y1; ++row, sourceY += stepY) {
        const uint16_t* line = texels + (sourceY >> 16) * map->width;
        uint16_t* to = view->current + row * view->width;
        uint64_t sourceX = uint64_t(x0 - x) * stepX;
        for (int64_t column = x0; column < x1; ++column, sourceX += stepX) {
            const uint32_t t = line[sourceX >> 16];
            if (t == 0)
                continue;
            const uint32_t d = to[column];
            to[column] = uint16_t(add(d, t, 10) | add(d, t, 5) | add(d, t, 0));
        }
    }
}
