// The view: the engine's 15-bit frame buffer (`XView`) and the one window
// that shows it (`DView`). No X types appear here; the window itself lives
// in canvo.h.
#pragma once

#include "../core/core.h"

#include <cstdint>

namespace kvor3d {

// Tags of OpenView (group 0x12).
constexpr uint32_t TAG_OPENVIEW_WIDTH = 0x803d1201;
constexpr uint32_t TAG_OPENVIEW_HEIGHT = 0x803d1202;
constexpr uint32_t TAG_OPENVIEW_DEPTH = 0x803d1203;  // accepted, not read: the frame is always 15-bit
constexpr uint32_t TAG_OPENVIEW_DOUBLEBUFFER = 0x803d1209;
// Window scale N >= 1: each frame pixel is shown as an N × N block. Absent:
// 1. 0: the largest scale whose window fits comfortably on the screen, that
// is at most 3/4 of the screen's width and 3/4 of its height (1 when even
// scale 1 is larger than that). A scale whose window would pass X's largest
// side (32767) is reduced. When the window is resized, the picture takes the
// largest scale that fits it (at least the largest that fits the screen
// can be had), centred on black.
constexpr uint32_t TAG_OPENVIEW_SCALE = 0x803d1204;
// Non-zero: the window asks the window manager for the full-screen state;
// the picture is shown at the largest integer scale that fits the window,
// centred on black.
constexpr uint32_t TAG_OPENVIEW_FULLSCREEN = 0x803d1205;

// Tags of XViewCreate and XViewSetAttrs (group 0x0d).
constexpr uint32_t TAG_XVIEW_WIDTH = 0x803d0d00;
constexpr uint32_t TAG_XVIEW_HEIGHT = 0x803d0d01;
constexpr uint32_t TAG_XVIEW_DOUBLEBUFFER = 0x803d0d02;
constexpr uint32_t TAG_XVIEW_RESERVED = 0x803d0d03;  // looked up and ignored

constexpr uint32_t XVIEW_DOUBLEBUFFER = 1;  // flags bit 0

// The frame buffer every drawing stage writes into. Pixels are 16-bit host
// words of 15-bit RGB (red 14-10, green 9-5, blue 4-0), lines top to bottom
// without padding. Double-buffered views render into bufferB and mix it into
// bufferA, the current buffer; the buffers are never swapped.
struct XView {
    int32_t width;
    int32_t height;
    int32_t bytesPerPixel;
    uint16_t* current;
    uint16_t* bufferA;
    uint16_t* bufferB;
    uint16_t* bufferC;     // never filled by the engine; freed when set
    uint32_t flags;        // XVIEW_DOUBLEBUFFER
    float* depthBuffer;    // width × height, allocated by the render pass on first use
    uint8_t* shadowMask;   // width × height, allocated by the render pass on first use
};

// The handle OpenView returns; only the xview field is used.
struct DView {
    uintptr_t reserved[3];
    XView* xview;
};

// Opens the one window and its frame buffer. Prints and returns null when
// memory is short; prints the window error and exits with status 1 when the
// window cannot be opened.
DView* OpenView(int argc, char** argv, const TagItem* tags);

// Shows the current buffer in the window.
void PresentView(DView* view);

// Reads the window's pending events without blocking. 1 once the user has
// asked to close the window (the window manager's close, or the Escape or q
// key), and from then on; 0 otherwise and for null. The window manager's
// close is routed to the program from the first call on: a program that
// never asks keeps the default, where closing the window ends the program.
int ViewCloseRequested(DView* view);

// The refresh rate in whole Hz of the monitor that shows the window, as the
// X server reports it through RandR; 0 when it is unknown and for null.
int ViewRefreshRate(DView* view);

// Releases the frame buffer, the window and every X and shared-memory
// resource; null is accepted.
void CloseView(DView* view);

// Frame buffer alone (no window); null when a size tag is missing or memory
// is short.
XView* XViewCreate(const TagItem* tags);

// Changes size or buffering. 1 on success; 0 when memory is short, in which
// case the view is left exactly as it was.
int XViewSetAttrs(XView* view, const TagItem* tags);

// Frees the buffers and the record; null is accepted.
void XViewDelete(XView* view);

}  // namespace kvor3d
