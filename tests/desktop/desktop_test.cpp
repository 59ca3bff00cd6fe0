// The window programs' shared options and frame pacer.
#include "desktop.h"

#include <gtest/gtest.h>

namespace {

// Each command line as read, "scale fullscreen fps help | own arguments",
// or the message of a refused one.
TEST(DesktopOptions, AcceptedAndRefusedForms)
{
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{}, "0 0 -1 0 |"},
        {{"-cdrom", "/dev/cdrom", "--scale", "3", "-x"}, "3 0 -1 0 | -cdrom /dev/cdrom -x"},
        {{"--scale=16", "scene", "--fullscreen", "--fps", "0"}, "16 1 0 0 | scene"},
        {{"--fps=1000", "--help", "--", "--scale"}, "0 0 1000 1 | --scale"},
        {{"--scale"}, "option '--scale' needs a value"},
        {{"--scale", "17"}, "'17' is not a scale (0 to 16)"},
        {{"--fps", "-1"}, "'-1' is not a frame rate (0 to 1000)"},
        {{"--fps=99999999999"}, "'99999999999' is not a frame rate (0 to 1000)"},
        {{"--fullscreen=1"}, "option '--fullscreen' takes no value"},
        {{"--Scale=2"}, "unknown option '--Scale'"},
    };
    for (const auto& [args, expected] : rows) {
        std::vector<char*> argv = {const_cast<char*>("program")};
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        DesktopOptions o;
        std::string read;
        if (ParseDesktopOptions(int(argv.size()), argv.data(), &o, &read)) {
            read = std::to_string(o.scale) + (o.fullscreen ? " 1 " : " 0 ") + std::to_string(o.fps) + (o.help ? " 1 |" : " 0 |");
            for (const char* arg : o.arguments)
                read += std::string(" ") + arg;
        }
        EXPECT_EQ(read, expected);
    }
}

// A clock that moves only when told to or slept on.
struct FakeClock : PacerClock {
    int64_t now = 0;
    int64_t Now() override { return now; }
    void SleepUntil(int64_t deadline) override { now = std::max(now, deadline); }
};

// At 60 a second, frames that take 1, 20, 1, 40 and 1 ms, then 59 that take
// nothing: the late second keeps the pace, the third catches up, the fourth,
// more than a period late, starts the count afresh, and 60 periods after it
// the clock has gone exactly a second, not 60 rounded periods. Rate 0 waits
// for nothing.
TEST(FramePacer, SleepsToDeadlinesCountedFromTheFirstFrame)
{
    FakeClock clock;
    FramePacer pacer(60, clock), unpaced(0, clock);
    std::vector<int64_t> returned;
    for (int64_t ms : {1, 20, 1, 40, 1, 0}) {
        clock.now += ms * 1000000;
        (ms ? pacer : unpaced).Wait();
        returned.push_back(clock.now);
    }
    EXPECT_EQ(returned, (std::vector<int64_t>{17666666, 37666666, 51000000, 91000000, 107666666, 107666666}));
    for (int i = 0; i < 59; ++i)
        pacer.Wait();
    EXPECT_EQ(clock.now, 1091000000);
}

}  // namespace
