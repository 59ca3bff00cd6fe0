#include "core/core.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

constexpr uint8_t GUARD = 0xA5;
constexpr int BUFFER = 24;
using Buffer = std::array<uint8_t, BUFFER>;

Buffer Guarded()
{
    Buffer buffer;
    buffer.fill(GUARD);
    return buffer;
}

// Source bytes 1, 2, 3, ... so every copied byte shows where it came from.
Buffer Counting()
{
    Buffer buffer;
    for (int i = 0; i < BUFFER; ++i)
        buffer[i] = uint8_t(i + 1);
    return buffer;
}

TEST(MemAlloc, CountTimesSizeBytesAllZero)
{
    auto* block = static_cast<uint8_t*>(MemAlloc(3, 4));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(block[i], 0) << i;
    MemFree(block);
}

TEST(MemAlloc, ProductPast32BitsGivesNull)
{
    EXPECT_EQ(MemAlloc(0x10000, 0x10000), nullptr);
    EXPECT_EQ(MemAlloc(0x80000000u, 2), nullptr);
    EXPECT_EQ(MemAlloc(3, 0x55555556u), nullptr);
    EXPECT_EQ(MemAlloc(0xFFFFFFFFu, 0xFFFFFFFFu), nullptr);
}

TEST(MemAlloc, ClearAllocationIsAllZero)
{
    auto* block = static_cast<uint8_t*>(MemAllocClear(33));
    ASSERT_NE(block, nullptr);
    for (int i = 0; i < 33; ++i)
        EXPECT_EQ(block[i], 0) << i;
    MemFree(block);
}

TEST(MemAlloc, FreeAcceptsNull)
{
    MemFree(nullptr);
}

// Every length 1 to 9 at every alignment 0 to 3: exactly the n bytes at the
// destination change, and they hold the first n source bytes.
TEST(MemCopy, CopiesExactlyNBytesAtAnyAlignment)
{
    const Buffer source = Counting();
    for (int n = 1; n <= 9; ++n) {
        for (int offset = 0; offset < 4; ++offset) {
            Buffer dst = Guarded();
            MemCopy(dst.data() + 8 + offset, source.data() + offset, n);
            for (int i = 0; i < BUFFER; ++i) {
                int k = i - 8 - offset;
                uint8_t expected = (k >= 0 && k < n) ? uint8_t(offset + k + 1) : GUARD;
                EXPECT_EQ(dst[i], expected) << "n=" << n << " offset=" << offset << " byte " << i;
            }
        }
    }
}

TEST(MemCopy, FiveBytesTouchFiveBytes)
{
    const Buffer source = Counting();
    Buffer dst = Guarded();
    MemCopy(dst.data() + 4, source.data(), 5);
    const uint8_t expected[12] = {GUARD, GUARD, GUARD, GUARD, 1, 2, 3, 4, 5, GUARD, GUARD, GUARD};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(dst[i], expected[i]) << i;
}

TEST(MemCopy, ZeroOrNegativeCountTouchesNothing)
{
    const Buffer source = Counting();
    for (int32_t n : {0, -1, -5, INT32_MIN}) {
        Buffer dst = Guarded();
        MemCopy(dst.data() + 8, source.data(), n);
        EXPECT_EQ(dst, Guarded()) << "n=" << n;
    }
}

TEST(MemFill, FillsExactlyNBytesAtAnyAlignment)
{
    for (int n = 1; n <= 9; ++n) {
        for (int offset = 0; offset < 4; ++offset) {
            Buffer dst = Guarded();
            MemFill(dst.data() + 8 + offset, 0x3C, n);
            for (int i = 0; i < BUFFER; ++i) {
                int k = i - 8 - offset;
                uint8_t expected = (k >= 0 && k < n) ? 0x3C : GUARD;
                EXPECT_EQ(dst[i], expected) << "n=" << n << " offset=" << offset << " byte " << i;
            }
        }
    }
}

TEST(MemFill, FiveBytesTouchFiveBytes)
{
    Buffer dst = Guarded();
    MemFill(dst.data() + 4, 0x00, 5);
    const uint8_t expected[12] = {GUARD, GUARD, GUARD, GUARD, 0, 0, 0, 0, 0, GUARD, GUARD, GUARD};
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(dst[i], expected[i]) << i;
}

TEST(MemFill, ZeroOrNegativeCountTouchesNothing)
{
    for (int32_t n : {0, -1, -5, INT32_MIN}) {
        Buffer dst = Guarded();
        MemFill(dst.data() + 8, 0xFF, n);
        EXPECT_EQ(dst, Guarded()) << "n=" << n;
    }
}

TEST(ByteOrder, Swap16ExchangesTheLowTwoBytesOnly)
{
    EXPECT_EQ(Swap16(0x1234), 0x3412u);
    EXPECT_EQ(Swap16(0x00FF), 0xFF00u);
    EXPECT_EQ(Swap16(0xFF00), 0x00FFu);
    EXPECT_EQ(Swap16(0xFFFF), 0xFFFFu);
    EXPECT_EQ(Swap16(0xABCD1234u), 0x3412u);
}

TEST(ByteOrder, Swap32ReversesAllFourBytes)
{
    EXPECT_EQ(Swap32(0x12345678u), 0x78563412u);
    EXPECT_EQ(Swap32(0x000000FFu), 0xFF000000u);
    EXPECT_EQ(Swap32(0x80000001u), 0x01000080u);
    EXPECT_EQ(Swap32(Swap32(0xDEADBEEFu)), 0xDEADBEEFu);
}

TEST(PrintText, WritesTheStringUnchangedIncludingPercentSigns)
{
    const char* text = "100% done %d %s %% %n\n";
    testing::internal::CaptureStdout();
    PrintText(text);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(text));
}

}  // namespace
