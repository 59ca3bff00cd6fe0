// The show's data: everything it reads from data/ at start-up, and the
// readers for it.
#pragma once

#include "effects.h"

#include <cstddef>
#include <cstdint>

using namespace kvor3d;

// A 15-bit picture as the picture reader returned it; null pixels when it
// could not be read.
struct ShowPicture {
    uint16_t* pixels;
    int32_t width;
    int32_t height;
};

struct ShowData {
    uint8_t fadeMaskA[SCREEN_PIXELS];      // threshold byte per frame pixel
    uint8_t fadeMaskB[SCREEN_PIXELS];
    uint16_t alien[SCREEN_PIXELS];         // 320 × 200; part 3 draws the tunnel into it
    uint32_t palette[PALETTE_FILE_WORDS];  // handed to the colour table as read
    ShowPicture clip;                          // 159 × 159
    ShowPicture credits;                       // 120 wide, three strips of 26 rows
    ShowPicture endBackground;                 // 320 × 200
    ShowPicture leftPanel;                     // 76 × 200
    ShowPicture rightPanel;                    // 76 × 200
    ShowPicture text;                          // 320 wide, strips of 14 rows
    ShowPicture logo;                          // 256 × 184
};
// Written by load_show_data at start-up; read by the frame callbacks.
extern ShowData Data;

// Reads `bytes` bytes of the file into `destination`. A file that cannot be
// opened, or that ends before `bytes` bytes, ends the process with status 0
// after "cant read file: <name>".
void read_data_file(void* destination, const char* name, uint32_t bytes);

// Reads an IFF ILBM picture from the file `name` or, when `name` is null,
// from the `memorySize` bytes at `memory`. The result is a malloc block of
// width × height × 4 bytes (not cleared; the caller frees it with free)
// whose first width × height pixels are the picture in the engine's pixel
// mode: 15-bit words of the CMAP colour or of the pixel's own colour, or in
// mode 0 the palette index (24-plane rows are then left unwritten). Width
// and height are stored as soon as the BMHD is read, the plane count with
// them. Null on any failure: unreadable or truncated data, not FORM ILBM,
// planes other than 1-8 or 24, compression other than 0 or 1, a palette
// picture without a CMAP in 15-bit mode, a malformed BODY, or no BODY.
void* demo_ilbm_load(const char* name, const void* memory, size_t memorySize, int32_t* width, int32_t* height,
                     int32_t* planes);

// Reads every data file but the scenes, in the show's order: the fade
// masks, the alien picture, the palette, the eight IFF pictures (a picture
// that fails is left null), the tunnel texture and the tunnel table. Run
// from the folder that holds data/.
void load_show_data();
