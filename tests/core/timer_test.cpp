#include "core/core.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace {

TEST(Timer, CreateReportsAvailableAndDeleteDoesNothing)
{
    EXPECT_EQ(TimerCreate(), 1);
    TimerDelete();
}

TEST(TicksFromNanoseconds, CountsAt709379TicksPerSecond)
{
    EXPECT_EQ(TicksFromNanoseconds(0), 0u);
    EXPECT_EQ(TicksFromNanoseconds(1000000000u), 709379u);
    EXPECT_EQ(TicksFromNanoseconds(2000000000u), 1418758u);
    EXPECT_EQ(TicksFromNanoseconds(1000000u), 709u);  // 1 ms = 709.379 ticks
}

// One tick lasts 1409.67 ns; anything shorter truncates to 0.
TEST(TicksFromNanoseconds, TruncatesPartialTicks)
{
    EXPECT_EQ(TicksFromNanoseconds(1000u), 0u);  // 1 µs
    EXPECT_EQ(TicksFromNanoseconds(1409u), 0u);
    EXPECT_EQ(TicksFromNanoseconds(1410u), 1u);
    EXPECT_EQ(TicksFromNanoseconds(999999999u), 709378u);
}

// 2^32 ticks are reached at 6054545307939 ns (about 101 minutes).
TEST(TicksFromNanoseconds, CountPastTwoTo32TicksKeepsItsLow32Bits)
{
    EXPECT_EQ(TicksFromNanoseconds(6054545307938u), 0xFFFFFFFFu);
    EXPECT_EQ(TicksFromNanoseconds(6054545307939u), 0u);
    // 10^4 s = 7093790000 ticks = 2^32 + 2798822704.
    EXPECT_EQ(TicksFromNanoseconds(10000000000000u), 2798822704u);
}

// ns × 709379 overflows 64 bits from about 26000 s on; the count stays exact.
TEST(TicksFromNanoseconds, StaysExactWhereTheProductPasses64Bits)
{
    // 10^5 s = 70937900000 ticks = 16 × 2^32 + 2218423264.
    EXPECT_EQ(TicksFromNanoseconds(100000000000000u), 2218423264u);
    EXPECT_EQ(TicksFromNanoseconds(UINT64_MAX), 0x9B000748u);
}

// Wall-clock time: a sleeping process keeps counting. Only a lower bound is
// checked (100 ms worth of ticks for a 200 ms sleep).
TEST(Timer, ReadAdvancesWhileTheProcessSleeps)
{
    uint32_t before = TimerRead();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    uint32_t elapsed = TimerRead() - before;
    EXPECT_GE(elapsed, TICKS_PER_SECOND / 10);
}

}  // namespace
