// The render pass: the draw list that PrepareScene ends with and its sort,
// and RenderScene's phases: stencil shadows, the sorted faces with the
// markers of lights and vertex glints, their visibility test, the glow
// passes, the flare sprites, the glow blend and the motion-blur mix.
#pragma once

#include "../display/display.h"
#include "raster.h"
#include "../scene/material.h"
#include "../scene/scene.h"

#include <cstdint>

namespace kvor3d {

// Render phases after the glow pass (the earlier ones are in raster.h).
constexpr int32_t PHASE_FLARES = 4;  // shadow darkening and flare sprites
constexpr int32_t PHASE_BLEND = 5;   // glow blend

// Written into the target under a light or an accepted glint, to learn later
// whether a nearer polygon covered the point.
constexpr uint16_t MARKER_PIXEL = 0xFD00;

// Vertex bits of the glint test (vertexValue), cleared by the projection.
constexpr uint32_t GLINT_ACCEPTED = 0x1;
constexpr uint32_t GLINT_EXAMINED = 0x2;

// Whether a vertex normal turns toward the camera by at most a sprite
// value's angle (spriteValue / 65536 degrees): acos(x) <= limit for x the
// normal's camera z over its length, clamped to [−1, 1]. Away from cos(limit)
// the answer follows from x alone; only within a narrow band around it is
// acos taken.
struct GlintCone {
    uint32_t spriteValue;
    double limit;
    double surelyWithin;   // from here up, acos(x) <= limit
    double surelyOutside;  // from here down, acos(x) > limit

    explicit GlintCone(uint32_t value);
    bool Within(double x) const;
};

// One edge of an object's shadow edge table: built once by
// BuildShadowVolumes, counted again every frame for each light.
struct ShadowEdge {
    Vertex* ends[2];     // in the order of the first face that uses the edge
    int32_t count;       // this frame: lit faces minus unlit faces using the edge
    uint32_t faces;      // faces using the edge
    uint8_t direction;   // 0: ends in stored order; 1: swapped (a lit face's own order)
};

// ---- Draw list -------------------------------------------------------------------

// The second part of PrepareScene, after the transformation: one draw-list
// entry per drawn light inside the view, per face of a drawn object or morph
// object that is neither outside one plane nor turned away (unless double
// sided), and per face of a drawn light volume's current stack that is not
// outside one plane; each face gets its depth key and clipped flag. A face
// of an object that may need only a flat fill and needs no clipping also
// gets a record of its owner and corners in listedCorners, at its entry's
// place before the sort. Entries beyond the list's capacity are left out.
// Does not sort.
void BuildDrawList(Scene* scene);

// Shell sort of the draw list, larger keys (farther) first: the gap starts at
// n >> 1 and halves; equal keys are never swapped with each other, but the
// order of equal keys can change across gaps.
void SortDrawList(Scene* scene);

// ---- Rendering ---------------------------------------------------------------------

// Draws the prepared scene into the view: lighting, shadows when the scene
// has them on, the sorted faces, the visibility of lights and glints, the
// glow passes, flares, the glow blend and, for a double-buffered view, the
// motion-blur mix into the current buffer. Nothing is drawn unless the frame
// constants are those PrepareScene set for this view. `camera` and `flags`
// are not read.
void RenderScene(Scene* scene, Entity* camera, XView* view, uint32_t flags);

// Adds the map, scaled to w × h pixels with its top left corner at (x, y)
// and clipped to the view, into the view's current buffer: each channel
// gains (texel channel × (intensity >> 6)) >> 10 and saturates at 31. The
// map must have 15-bit pixels; `mode` is not read.
void BlitSprite(XView* view, int32_t x, int32_t y, const Texture* map, int32_t w, int32_t h, uint32_t mode,
                uint32_t intensity);

// ---- Shadows and glow sprites -----------------------------------------------------

// Frees every light's shadow quads, then gives each drawn shadow-casting light
// in front of the camera a quad per silhouette edge of each drawn shadow
// caster, building the caster's edge table on first use. A caster whose
// edge table or quads cannot be allocated casts no shadow this frame.
void BuildShadowVolumes(Scene* scene);

// Frees every light's shadow quads.
void FreeShadowVolumes(Scene* scene);

// Makes the object's glow sprite the radial table resampled to size × size
// (nearest sample, step 0xFF0000 / size + 1 in 16.16) unless it is cached at
// that size, and sets OBJECT_GLOWBUILT. 0 when the 65536-byte sprite area
// cannot be allocated, the radial table is missing or the size is not 1 to
// 255 (the object keeps the sprite it had); else 1.
int BuildGlowSprite(ObjectEntity* object, int32_t size);

// ---- Profile -----------------------------------------------------------------------

// Nanoseconds spent in each stage of the frame, summed over frames.
struct RenderProfile {
    uint64_t (*clock)();  // a nanosecond clock; null: nothing is measured
    uint64_t transform;   // PrepareScene but the sort, and the point lighting
    uint64_t sort;
    uint64_t shadows;     // shadow volumes, depth and stencil passes, darkening
    uint64_t mainPass;
    uint64_t glow;        // visibility of lights and glints, glow sprites and edges
    uint64_t flares;
    uint64_t blend;       // glow blend and motion blur
};

// Set up by a program that measures (kvorbench); added to by PrepareScene
// and RenderScene while its clock is set.
extern RenderProfile Profile;

}  // namespace kvor3d
