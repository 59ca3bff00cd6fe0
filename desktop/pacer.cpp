#include "desktop.h"

#include <cerrno>
#include <ctime>

namespace {

constexpr int64_t NANOSECONDS = 1000000000;

class Monotonic : public PacerClock {
public:
    int64_t Now() override
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return int64_t(now.tv_sec) * NANOSECONDS + now.tv_nsec;
    }
    void SleepUntil(int64_t deadline) override
    {
        const timespec until = {time_t(deadline / NANOSECONDS), long(deadline % NANOSECONDS)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
        }
    }
};

}  // namespace

PacerClock& MonotonicClock()
{
    static Monotonic clock;
    return clock;
}

void FramePacer::Wait()
{
    if (rate_ <= 0)
        return;
    const int64_t now = clock_->Now();
    if (frames_ < 0) {
        origin_ = now;
        frames_ = 0;
    }
    ++frames_;
    const int64_t deadline = origin_ + frames_ * NANOSECONDS / rate_;
    if (now < deadline) {
        clock_->SleepUntil(deadline);
    } else if (now - deadline >= NANOSECONDS / rate_) {
        origin_ = now;
        frames_ = 0;
    }
}
