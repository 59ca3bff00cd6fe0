// Engine-wide lookup tables, one of each per process, built at start-up so
// that the inner loops look values up instead of computing squares,
// arcsines, square roots and colour matches. Each build returns 0 (or null)
// when memory is short and then leaves the table as it was.
#pragma once

#include <cstdint>

namespace kvor3d {

struct ColourTable;

// 513 entries: entry v + 256 = v² for v = −256 ... 255, entry 512 = 0.
// Written by BuildSquareTable; read by Nearest.
extern int32_t* SquareTable;
// 256 entries: entry i = trunc((asin((127 − i) / 170) + π/2) × 256 / π).
// Written by Build/FreeNormalTable; read by the lighting stage.
extern int32_t* NormalTable;
// 32768 entries: entry i = trunc(f × (i − 16384)), f = −200 / width as a float.
// Written by Build/FreePositionTable; read by the transformation stage and the polygon set-up.
extern int32_t* PositionTable;
// 256 × 256 bytes: entry (y + 128) × 256 + (x + 128) = max(0, trunc(255 − 2√(x² + y²))).
// Written by Build/FreeRadialTable; read by the render pass.
extern uint8_t* RadialTable;
// 256 × 256 bytes: entry level × 256 + c = colour c shifted by level − offset.
// Written by Build/FreeShadeTable (the viewer builds it); no stage of the 15-bit renderer reads it.
extern uint8_t* ShadeTable;

// What a program that renders does once before its first frame: the 15-bit
// pixel mode (SetPixelMode(1)) and the square, normal, radial and position
// tables the renderer reads, the position table for views `viewWidth` pixels
// wide (320 for the engine's frame). False when memory is short; the tables
// that were built stay until StopEngine.
bool StartEngine(int32_t viewWidth);
// Frees the normal, radial and position tables (the square table is left to
// process exit).
void StopEngine();

// The square table, built on the first call and returned as it is later
// (its contents never change); null when memory is short. It is left to
// process exit.
int32_t* BuildSquareTable();

int BuildNormalTable();
void FreeNormalTable();

int BuildRadialTable();
void FreeRadialTable();

// Only the width is read; the first and last arguments (the programs pass 45
// and the far value) are accepted for the call's usual form. An existing
// table is recomputed in place. 0 for a width below 1.
int BuildPositionTable(int32_t angle, int32_t width, int32_t far);
void FreePositionTable();

// Entry level × 256 + c = Nearest(table, clamp(R + level − offset), ...) for
// each component of colour c; entries of colours beyond the palette's count
// stay 0. An existing table is rebuilt in place. 0 for a null colour table.
int BuildShadeTable(const ColourTable* table, int32_t offset);
void FreeShadeTable();

// New 256 × 256 tables that the caller owns and frees with MemFree; entries
// of colours beyond the palette's count are 0. Null for a null colour table
// or when memory is short.
// Blend: entry i × 256 + j = Nearest of (100 × colour i + 156 × colour j) >> 8.
uint8_t* BuildBlendTable(const ColourTable* table);
// Additive: entry i × 256 + j = Nearest of min(255, colour i + colour j).
uint8_t* BuildAddTable(const ColourTable* table);

}  // namespace kvor3d
