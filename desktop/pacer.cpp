#include "desktop.h"

#include <cerrno>
#include <ctime>

namespace {

constexpr int64_t NANOSECONDS = 1000000000;

int64_t MonotonicNow(void*)
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * NANOSECONDS + now.tv_nsec;
}

void MonotonicSleepUntil(void*, int64_t deadline)
{
    const timespec until = {time_t(deadline / NANOSECONDS), long(deadline % NANOSECONDS)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

}  // namespace

PacerClock MonotonicClock()
{
    return {MonotonicNow, MonotonicSleepUntil, nullptr};
}

FramePacer StartPacer(int32_t rate, PacerClock clock)
{
    return {rate, clock, 0, -1};
}

void PaceFrame(FramePacer* pacer)
{
    if (pacer->rate <= 0)
        return;
    const PacerClock& clock = pacer->clock;
    const int64_t now = clock.now(clock.context);
    if (pacer->frames < 0) {
        pacer->origin = now;
        pacer->frames = 0;
    }
    ++pacer->frames;
    const int64_t deadline = pacer->origin + pacer->frames * NANOSECONDS / pacer->rate;
    if (now < deadline) {
        clock.sleepUntil(clock.context, deadline);
    } else if (now - deadline >= NANOSECONDS / pacer->rate) {
        pacer->origin = now;
        pacer->frames = 0;
    }
}
