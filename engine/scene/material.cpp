#include "scene/material.h"

#include "colour/colour.h"
#include "scene/scene.h"
#include "scene/tagread.h"

#include <algorithm>

namespace kvor3d {

namespace {

// Red, green and blue of one colour-table entry, 0-255 each.
struct Rgb {
    int64_t c[3];
};

// The 256 entries every table mixes. A palette of fewer colours answers
// black for the entries it does not have, so that no table reads past the
// colour table's components.
void LoadColours(const ColourTable* table, Rgb* colours)
{
    const int32_t count = table ? std::min(ColourCount(table), 256) : 0;
    for (int32_t i = 0; i < 256; ++i)
        for (int ch = 0; ch < 3; ++ch)
            colours[i].c[ch] = i < count ? table->components[3 * i + ch] : 0;
}

// Nearest of a mixed colour, each channel clamped to 0-255 first.
uint8_t NearestOf(const ColourTable* table, const int64_t* rgb)
{
    int32_t clamped[3];
    for (int ch = 0; ch < 3; ++ch)
        clamped[ch] = int32_t(std::clamp<int64_t>(rgb[ch], 0, 255));
    return uint8_t(Nearest(table, clamped[0], clamped[1], clamped[2]));
}

// A 16.16 product back to an integer. Negative weights (p1 beyond 1.0 in a
// blend) shift arithmetically, rounding toward minus infinity.
int64_t Fraction(int64_t product)
{
    return product >> 16;
}

// Modes 2, 4 and 6: entry [a × 256 + b] mixes colour a, weighted by p1,
// into colour b.
void FillMixTable(uint8_t* table, const Material& material, const ColourTable* colourTable, const Rgb* colours)
{
    const int64_t weight = material.p1;
    for (int a = 0; a < 256; ++a) {
        int64_t weighted[3];
        for (int ch = 0; ch < 3; ++ch)
            weighted[ch] = Fraction(weight * colours[a].c[ch]);
        const bool blackRow = weighted[0] == 0 && weighted[1] == 0 && weighted[2] == 0;
        for (int b = 0; b < 256; ++b) {
            uint8_t* entry = table + a * 256 + b;
            int64_t mixed[3];
            for (int ch = 0; ch < 3; ++ch) {
                const int64_t colourB = colours[b].c[ch];
                if (material.mode == MATERIAL_ADD)
                    mixed[ch] = colourB + weighted[ch];
                else if (material.mode == MATERIAL_SUBTRACT)
                    mixed[ch] = colourB - weighted[ch];
                else
                    mixed[ch] = Fraction((MATERIAL_ONE - weight) * colourB + weight * colours[a].c[ch]);
            }
            if (material.mode == MATERIAL_BLEND && blackRow)
                *entry = uint8_t(b);
            else
                *entry = NearestOf(colourTable, mixed);
        }
    }
}

// Mode 7: column `level` moves every colour toward the fog colour p3 by a
// weight running from p1 at level 0 to p2 at level 255; a weight of 0
// leaves the colour as it is.
void FillFogTable(uint8_t* table, const Material& material, const ColourTable* colourTable, const Rgb* colours)
{
    const int64_t fog[3] = {(material.p3 >> 16) & 0xFF, (material.p3 >> 8) & 0xFF, material.p3 & 0xFF};
    for (int level = 0; level < 256; ++level) {
        const int64_t weight =
            int64_t(material.p1) + (int64_t(material.p2) - int64_t(material.p1)) * level / 255;
        for (int c = 0; c < 256; ++c) {
            uint8_t* entry = table + c * 256 + level;
            if (weight == 0) {
                *entry = uint8_t(c);
                continue;
            }
            int64_t mixed[3];
            for (int ch = 0; ch < 3; ++ch)
                mixed[ch] = Fraction((MATERIAL_ONE - weight) * colours[c].c[ch] + weight * fog[ch]);
            *entry = NearestOf(colourTable, mixed);
        }
    }
}

// Mode 9: column `level` scales every colour by level / 255.
void FillShadeTable(uint8_t* table, const ColourTable* colourTable, const Rgb* colours)
{
    for (int level = 0; level < 256; ++level) {
        const int64_t scale = int64_t(level) * 65536 / 255;
        for (int c = 0; c < 256; ++c) {
            int64_t shaded[3];
            for (int ch = 0; ch < 3; ++ch)
                shaded[ch] = Fraction(colours[c].c[ch] * scale);
            table[c * 256 + level] = NearestOf(colourTable, shaded);
        }
    }
}

bool HasTable(uint32_t mode)
{
    return mode == MATERIAL_ADD || mode == MATERIAL_SUBTRACT || mode == MATERIAL_BLEND || mode == MATERIAL_FOG ||
           mode == MATERIAL_USER || mode == MATERIAL_SHADE;
}

void FillTable(const Material& material, const ColourTable* colourTable)
{
    Rgb colours[256];
    LoadColours(colourTable, colours);
    switch (material.mode) {
    case MATERIAL_ADD:
    case MATERIAL_SUBTRACT:
    case MATERIAL_BLEND: FillMixTable(material.table, material, colourTable, colours); break;
    case MATERIAL_FOG: FillFogTable(material.table, material, colourTable, colours); break;
    case MATERIAL_SHADE: FillShadeTable(material.table, colourTable, colours); break;
    default: break;  // MATERIAL_USER stays zero
    }
}

}  // namespace

Material* CreateMaterial(const TagItem* tags)
{
    const auto* colourTable = TagPointer<const ColourTable>(TAG_MATERIAL_COLOURTABLE, tags);
    if (!colourTable)
        return nullptr;
    const uint32_t mode = TagWord(TAG_MATERIAL_MODE, 0, tags);
    const uint32_t p1 = TagWord(TAG_MATERIAL_P1, 0, tags);
    const uint32_t p2 = TagWord(TAG_MATERIAL_P2, 0, tags);
    const int32_t p3 = int32_t(TagWord(TAG_MATERIAL_P3, 0, tags));
    Scene* scene = TagPointer<Scene>(TAG_MATERIAL_SCENE, tags);
    if (scene) {
        for (Material* material = scene->materials; material; material = material->next) {
            if (material->mode == mode && material->p1 == p1 && material->p2 == p2 && material->p3 == p3) {
                ++material->users;
                return material;
            }
        }
    }

    auto* material = AllocRecord<Material>();
    if (!material)
        return nullptr;
    material->mode = mode;
    material->p1 = p1;
    material->p2 = p2;
    material->p3 = p3;
    if (HasTable(mode)) {
        material->table = static_cast<uint8_t*>(MemAlloc(MATERIAL_TABLE_BYTES, 1));
        if (!material->table) {
            MemFree(material);
            return nullptr;
        }
        FillTable(*material, colourTable);
    }
    material->users = 1;
    if (scene) {
        material->next = scene->materials;
        scene->materials = material;
    }
    return material;
}

void ReleaseMaterial(Material* material, const TagItem* tags)
{
    if (!material)
        return;
    if (material->users > 0)
        --material->users;
    const TagItem* force = FindTagIn(TAG_MATERIAL_FORCE, tags);
    if (material->users > 0 && !(force && TagBool(force)))
        return;
    if (Scene* scene = TagPointer<Scene>(TAG_MATERIAL_RELEASESCENE, tags)) {
        for (Material** link = &scene->materials; *link; link = &(*link)->next) {
            if (*link == material) {
                *link = material->next;
                break;
            }
        }
    }
    MemFree(material->table);
    MemFree(material);
}

// Channels use integer division per channel, as the 8-bit fillers expect.
// The tint table uses only its first 256 entries; the rest stay zero.
int BuildObjectTable(ObjectEntity* object, const ColourTable* table)
{
    if (!object)
        return 0;
    MemFree(object->lookupTable);
    object->lookupTable = nullptr;
    if (!(object->objectFlags & OBJECT_TRANSPARENT))
        return 1;
    auto* lookup = static_cast<uint8_t*>(MemAlloc(MATERIAL_TABLE_BYTES, 1));
    if (!lookup)
        return 0;

    Rgb colours[256];
    LoadColours(table, colours);
    const int64_t alpha = object->colour >> 24;
    const int64_t own[3] = {(object->colour >> 16) & 0xFF, (object->colour >> 8) & 0xFF, object->colour & 0xFF};
    if ((object->objectFlags & 0x3F) == OBJECT_TRANSPARENT) {
        int64_t tint[3];
        for (int ch = 0; ch < 3; ++ch)
            tint[ch] = own[ch] * (255 - alpha) / 255;
        for (int c = 0; c < 256; ++c) {
            int64_t mixed[3];
            for (int ch = 0; ch < 3; ++ch)
                mixed[ch] = alpha * colours[c].c[ch] / 255 + tint[ch];
            lookup[c] = NearestOf(table, mixed);
        }
    } else {
        for (int a = 0; a < 256; ++a) {
            for (int b = 0; b < 256; ++b) {
                int64_t mixed[3];
                for (int ch = 0; ch < 3; ++ch)
                    mixed[ch] = colours[a].c[ch] * (255 - alpha) / 255 + colours[b].c[ch] * alpha / 255;
                lookup[a * 256 + b] = NearestOf(table, mixed);
            }
        }
    }
    object->lookupTable = lookup;
    return 1;
}

int UsePrivateEnvironmentMap(ObjectEntity* object)
{
    if (!object)
        return 0;
    if (!object->environmentMap)
        return 1;
    auto* area = static_cast<uint8_t*>(MemAlloc(ENVIRONMENT_AREA_BYTES, 1));
    if (!area)
        return 0;
    if (object->objectFlags & OBJECT_LIGHTMAP)
        MemFree(object->environmentPixels);
    object->environmentPixels = area;
    object->objectFlags |= OBJECT_LIGHTMAP;
    return 1;
}

void UseSharedEnvironmentMap(ObjectEntity* object)
{
    if (!object || !object->environmentMap)
        return;
    if (object->objectFlags & OBJECT_LIGHTMAP)
        MemFree(object->environmentPixels);
    object->environmentPixels = static_cast<uint8_t*>(object->environmentMap->pixels);
    object->objectFlags &= ~OBJECT_LIGHTMAP;
}

int RequireSceneMaterial(Scene* scene, const ColourTable* table)
{
    if (!scene)
        return 0;
    if (!scene->sceneMaterial) {
        const TagItem tags[] = {
            {TAG_MATERIAL_MODE, MATERIAL_SHADE},
            {TAG_MATERIAL_SCENE, TagPtr(scene)},
            {TAG_MATERIAL_COLOURTABLE, TagPtr(table)},
            {TAG_DONE, 0},
        };
        scene->sceneMaterial = CreateMaterial(tags);
    }
    return scene->sceneMaterial ? 1 : 0;
}

void ReleaseSceneMaterial(Scene* scene)
{
    if (!scene)
        return;
    const TagItem tags[] = {{TAG_MATERIAL_RELEASESCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    ReleaseMaterial(scene->sceneMaterial, tags);
    scene->sceneMaterial = nullptr;
}

}  // namespace kvor3d
