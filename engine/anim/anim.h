// Animation and playback: key-frame tracks (linear and Kochanek–Bartels
// spline interpolation of motion, light and morph keys), evaluation of a
// whole scene at one time, and the playback loop with its palette track.
#pragma once

#include "../core/core.h"
#include "../scene/scene.h"

#include <cstdint>

namespace kvor3d {

struct ColourTable;

// ---- Key-frame tracks ----------------------------------------------------------

// The key at or before t and the fraction (0 ≤ f < 1) of the way to the
// next key. Before the first key: the first key, fraction 0; at or after the
// last key: the last key, fraction 0. Null for a null or empty list.
Key* FindKeyInterval(const KeyList* list, uint32_t t, float* fraction);

// Values at `fraction` of the interval from key a to a->next: position,
// rotation and size (9 values) of a motion key, the intensity of a light
// key. The interval is interpolated when the later key has KEY_INTERPOLATE,
// along a spline when it also has KEY_SPLINE; otherwise a's values hold.
// Nothing is written for a null key.
void EvaluateKey(const EntityKey* a, float fraction, float values[9]);
void EvaluateKey(const LightKey* a, float fraction, float* value);

// Motion and visibility of an entity (or the camera) at t.
void EvaluateEntity(Entity* entity, uint32_t t);

// A light's intensity at t.
void EvaluateLight(LightEntity* light, uint32_t t);

// A morph object's shape at t.
void EvaluateMorph(MorphEntity* morph, uint32_t t);

// Every entity, light and morph track of the scene, then the camera.
void EvaluateScene(Scene* scene, uint32_t t);

// ---- Playback ------------------------------------------------------------------

// Tags of PlayScene (group 0x05), read with FindTag.
constexpr uint32_t TAG_PLAY_START = 0x803d0500;        // start time; default: the first key time
constexpr uint32_t TAG_PLAY_END = 0x803d0501;          // end time; default: the last key time
constexpr uint32_t TAG_PLAY_FORWARD = 0x803d0502;      // non-zero forward (default), 0 backward
constexpr uint32_t TAG_PLAY_TIMESOURCE = 0x803d0503;   // TimeSource (required)
constexpr uint32_t TAG_PLAY_FRAME = 0x803d0504;        // FrameCallback (required)
constexpr uint32_t TAG_PLAY_STOP = 0x803d0505;         // StopPoll; 1 stops playback
constexpr uint32_t TAG_PLAY_SCENETIME = 0x803d0506;    // uint32_t* the loop keeps the scene time in
constexpr uint32_t TAG_PLAY_PALETTEKEYS = 0x803d0507;  // PaletteKey* head of the palette track; null: none
constexpr uint32_t TAG_PLAY_PALETTE = 0x803d0508;      // PaletteCallback

// Palette key flags.
constexpr uint32_t PALETTEKEY_FADE = 0x1;  // fade from the previous key into this one
constexpr uint32_t PALETTEKEY_OWED = 0x2;  // a fade into this key was shown; its exact palette is owed

// A key of the palette track, a singly linked list sorted by time.
struct PaletteKey {
    PaletteKey* next;
    uint32_t time;
    ColourTable* colourTable;
    uint32_t flags;
};

// What the palette callback receives: the loop's palette buffer of
// PALETTE_FILE_WORDS words in the palette-file layout, valid during the call.
struct PaletteRecord {
    uint32_t* palette;
};

using TimeSource = uint32_t (*)();
using FrameCallback = void (*)(Scene* scene);
using StopPoll = int (*)();
using PaletteCallback = void (*)(PaletteRecord* record);

// Plays the scene from start to end: each turn evaluates the scene at the
// scene time, runs the palette track, calls the frame callback and the stop
// poll, then advances the scene time by the ticks elapsed since the start.
// The last frame is drawn at exactly the end time. −1 when the time source
// or frame callback tag is missing, else 0.
int PlayScene(Scene* scene, const TagItem* tags);

// Fills `palette` (PALETTE_FILE_WORDS words) for scene time t from the
// palette keys; true when the palette changed.
bool RunPaletteTrack(PaletteKey* keys, uint32_t t, uint32_t* palette);

}  // namespace kvor3d
