// What the window programs (threnody, kvorview) share on a desktop: the
// options that choose the window's size, full screen and frame rate, the
// view they open, and the pacer that holds a program to that rate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// --scale N, --fullscreen, --fps N, --help and --version, read from
// anywhere on the command line ("--scale=N" too); "--" ends them. Every
// argument that does not begin with "--" is one of the program's own and is
// kept, in order.
struct DesktopOptions {
    uint32_t scale = 0;       // window scale; 0: the largest that fits comfortably
    bool fullscreen = false;
    int32_t fps = -1;         // frames a second; 0: unpaced; −1: not given
    bool help = false;
    bool version = false;
    std::vector<char*> arguments;  // the program's own arguments, argv[0] not included
};

constexpr uint32_t DESKTOP_MAX_SCALE = 16;
constexpr int32_t DESKTOP_MAX_FPS = 1000;

// Reads the options; on a wrong argument, false with `error` saying what is
// wrong.
bool ParseDesktopOptions(int argc, char** argv, DesktopOptions* options, std::string* error);

struct DesktopProgram {
    const char* name;
    const char* usage;  // the usage line, without "usage: "
    const char* about;  // what the program does, before the options
};

// ParseDesktopOptions for a program's entry, in the tools' manner: a wrong
// argument prints "PROGRAM: what is wrong" and the usage line on standard
// error and ends with status 2; --help prints the usage line, the text and
// the options and --version "PROGRAM (kvor3d) VERSION" on standard output,
// both ending with status 0.
DesktopOptions ReadDesktopOptions(int argc, char** argv, const DesktopProgram& program);

namespace kvor3d {
struct DView;
}

// The window programs' view: 320 × 200 pixels of 15 bits, single-buffered,
// in a window at the options' scale or full screen (OpenView with those
// tags; the depth tag is passed as the programs always have, though the
// window's depth is 15 regardless). Null when it cannot be opened.
kvor3d::DView* OpenDesktopView(int argc, char** argv, const DesktopOptions& options);

// Nanoseconds of a monotonic clock, and a sleep until one of its instants;
// `context` is handed to both (a test's own clock lives there).
struct PacerClock {
    int64_t (*now)(void* context);
    void (*sleepUntil)(void* context, int64_t deadline);
    void* context;
};

// CLOCK_MONOTONIC, slept on with absolute deadlines.
PacerClock MonotonicClock();

// Holds a loop to `rate` frames a second. Frame n's deadline is n / rate
// seconds after the first PaceFrame, computed from n rather than added up,
// so the rate does not drift. A frame that ends before its deadline sleeps
// until then; one that ends later goes on at once, and one more than a whole
// period late starts the count afresh, so that a stall is not followed by a
// burst of frames. Rate 0 never waits.
struct FramePacer {
    int64_t rate;
    PacerClock clock;
    int64_t origin;  // when the count started
    int64_t frames;  // frames since then; −1 before the first frame
};

FramePacer StartPacer(int32_t rate, PacerClock clock = MonotonicClock());

// Called once a frame, after it is shown.
void PaceFrame(FramePacer* pacer);
