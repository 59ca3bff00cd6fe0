#include "core/core.h"

#include <ctime>

namespace kvor3d {

int TimerCreate()
{
    return 1;
}

// Exact: ticks = floor(ns × 709379 / 10^9), computed in 128 bits so that the
// count stays exact however long the clock has run; only the low 32 bits leave.
uint32_t TicksFromNanoseconds(uint64_t nanoseconds)
{
    unsigned __int128 product = (unsigned __int128)nanoseconds * TICKS_PER_SECOND;
    return static_cast<uint32_t>(static_cast<uint64_t>(product / 1000000000u));
}

// Wall-clock time, not processor time: the show must keep pace with real time
// (and the music) while the process waits for the X server.
uint32_t TimerRead()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ns = uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
    return TicksFromNanoseconds(ns);
}

void TimerDelete()
{
}

}  // namespace kvor3d
