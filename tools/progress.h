// A progress line for long jobs (kvorshot's sequences, kvorbench's runs):
// on standard error, only when it is a terminal, rewritten in place with
// '\r' at most ten times a second and cleared when the job ends, so that
// nothing of it stays in the terminal or reaches a file or a pipe.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

namespace progress {

inline uint64_t Nanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

// Seconds as "7 s" below a minute, else "m:ss" or "h:mm:ss".
inline std::string Duration(uint64_t seconds)
{
    char text[32];
    if (seconds < 60)
        std::snprintf(text, sizeof text, "%u s", unsigned(seconds));
    else if (seconds < 3600)
        std::snprintf(text, sizeof text, "%u:%02u", unsigned(seconds / 60), unsigned(seconds % 60));
    else
        std::snprintf(text, sizeof text, "%u:%02u:%02u", unsigned(seconds / 3600), unsigned(seconds / 60 % 60),
                      unsigned(seconds % 60));
    return text;
}

class Line {
public:
    // `what` names the job ("torus.kvor"); `total` is its frame count.
    Line(const char* program, std::string what, uint64_t total)
        : program_(program), what_(std::move(what)), total_(total), shown_(isatty(STDERR_FILENO) == 1),
          start_(shown_ ? Nanoseconds() : 0)
    {
    }
    ~Line() { End(); }
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // `done` frames of the total are finished; the time left is the time so
    // far spread over the frames still to come.
    void Done(uint64_t done)
    {
        if (!shown_ || done == 0)
            return;
        const uint64_t now = Nanoseconds();
        if (drawn_ && now - last_ < UPDATE_NANOSECONDS && done < total_)
            return;
        last_ = now;
        drawn_ = true;
        const double left = double(now - start_) / 1e9 * double(total_ - done) / double(done);
        std::fprintf(stderr, "\r\033[K%s: %s: frame %llu of %llu, %s left", program_, what_.c_str(),
                     (unsigned long long)done, (unsigned long long)total_, Duration(uint64_t(left + 0.5)).c_str());
        std::fflush(stderr);
    }

    // Clears the line, before the job's own output.
    void End()
    {
        if (drawn_)
            std::fputs("\r\033[K", stderr);
        drawn_ = false;
        shown_ = false;
    }

private:
    static constexpr uint64_t UPDATE_NANOSECONDS = 100000000;
    const char* program_;
    std::string what_;
    uint64_t total_;
    bool shown_;
    uint64_t start_;
    uint64_t last_ = 0;
    bool drawn_ = false;
};

}  // namespace progress
