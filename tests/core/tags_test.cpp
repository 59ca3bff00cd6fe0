#include "core/core.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>

namespace {

constexpr uint32_t TAG_A = 0x803d1201;
constexpr uint32_t TAG_B = 0x803d1202;
constexpr uint32_t TAG_C = 0x803d1209;

uint32_t FloatBits(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

float FloatFromBits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

TEST(TagLists, ListHoldingOnlyTagDoneFindsNothing)
{
    const TagItem list[] = {{TAG_DONE, 77}};
    EXPECT_EQ(FindTag(TAG_A, list), nullptr);
    EXPECT_EQ(GetTagData(TAG_A, 1234, list), 1234u);
}

TEST(TagLists, FirstOfDuplicateTagsWins)
{
    const TagItem list[] = {{TAG_B, 5}, {TAG_A, 10}, {TAG_A, 20}, {TAG_DONE, 0}};
    const TagItem* found = FindTag(TAG_A, list);
    ASSERT_EQ(found, &list[1]);
    EXPECT_EQ(found->data, 10u);
    EXPECT_EQ(GetTagData(TAG_A, 0, list), 10u);
}

TEST(TagLists, TagPresentWithDataZeroIsTellableFromAbsent)
{
    const TagItem list[] = {{TAG_A, 0}, {TAG_DONE, 0}};
    const TagItem* found = FindTag(TAG_A, list);
    ASSERT_EQ(found, &list[0]);
    EXPECT_EQ(found->data, 0u);
    EXPECT_EQ(GetTagData(TAG_A, 99, list), 0u);
    EXPECT_EQ(FindTag(TAG_B, list), nullptr);
}

TEST(TagLists, FindTagFollowsTagMoreAndGetTagDataDoesNot)
{
    const TagItem tail[] = {{TAG_B, 2222}, {TAG_DONE, 0}};
    const TagItem head[] = {{TAG_A, 1111}, {TAG_MORE, TagPtr(tail)}, {TAG_DONE, 0}};
    const TagItem* found = FindTag(TAG_B, head);
    ASSERT_EQ(found, &tail[0]);
    EXPECT_EQ(found->data, 2222u);
    EXPECT_EQ(GetTagData(TAG_B, 7, head), 7u);
    EXPECT_EQ(GetTagData(TAG_A, 7, head), 1111u);
}

TEST(TagLists, NothingAfterTagMoreInTheSameArrayIsRead)
{
    const TagItem tail[] = {{TAG_B, 2}, {TAG_DONE, 0}};
    const TagItem head[] = {{TAG_MORE, TagPtr(tail)}, {TAG_C, 3}, {TAG_B, 4}, {TAG_DONE, 0}};
    EXPECT_EQ(FindTag(TAG_C, head), nullptr);
    const TagItem* found = FindTag(TAG_B, head);
    ASSERT_EQ(found, &tail[0]);
    EXPECT_EQ(found->data, 2u);
}

TEST(TagLists, TagMoreChainsSeveralLists)
{
    const TagItem third[] = {{TAG_C, 30}, {TAG_DONE, 0}};
    const TagItem second[] = {{TAG_B, 20}, {TAG_MORE, TagPtr(third)}};
    const TagItem first[] = {{TAG_MORE, TagPtr(second)}};
    EXPECT_EQ(FindTag(TAG_C, first), &third[0]);
    EXPECT_EQ(FindTag(TAG_B, first), &second[0]);
    EXPECT_EQ(FindTag(TAG_A, first), nullptr);
}

TEST(TagLists, FindTagForTagMoreValueReturnsTheTagMoreItem)
{
    const TagItem tail[] = {{TAG_B, 2}, {TAG_DONE, 0}};
    const TagItem head[] = {{TAG_A, 1}, {TAG_MORE, TagPtr(tail)}, {TAG_DONE, 0}};
    EXPECT_EQ(FindTag(TAG_MORE, head), &head[1]);
    EXPECT_EQ(GetTagData(TAG_MORE, 0, head), TagPtr(tail));
}

TEST(TagLists, SearchingForTagDoneYieldsNull)
{
    const TagItem list[] = {{TAG_A, 1}, {TAG_DONE, 5}};
    EXPECT_EQ(FindTag(TAG_DONE, list), nullptr);
    EXPECT_EQ(GetTagData(TAG_DONE, 42, list), 42u);
}

TEST(TagLists, TagValueOneIsAnOrdinaryTag)
{
    const TagItem list[] = {{1, 111}, {TAG_DONE, 0}};
    EXPECT_EQ(FindTag(1, list), &list[0]);
    EXPECT_EQ(GetTagData(1, 0, list), 111u);
}

TEST(TagLists, DataCarriesAFullPointer)
{
    static int target;
    const TagItem list[] = {{TAG_A, TagPtr(&target)}, {TAG_DONE, 0}};
    EXPECT_EQ(reinterpret_cast<int*>(GetTagData(TAG_A, 0, list)), &target);
}

TEST(TagFloats, FloatTravelsAsItsBitPattern)
{
    EXPECT_EQ(TagFloat(1.0f), 0x3F800000u);
    EXPECT_EQ(TagFloat(-2.5f), 0xC0200000u);
    EXPECT_EQ(TagFloat(0.0f), 0u);
    EXPECT_EQ(TagFloat(-0.0f), 0x80000000u);
    EXPECT_EQ(TagDataFloat(0x3F800000u), 1.0f);
    EXPECT_EQ(TagDataFloat(0xC0200000u), -2.5f);
}

TEST(TagFloats, RoundTripKeepsEveryBit)
{
    const uint32_t patterns[] = {
        0x00000000u,  // +0
        0x80000000u,  // -0
        0x00000001u,  // smallest denormal
        0x7F7FFFFFu,  // largest finite
        0x7F800000u,  // +infinity
        0xFF800000u,  // -infinity
        0x7FC12345u,  // quiet NaN with a payload
        0xFFC00001u,  // negative quiet NaN with a payload
    };
    for (uint32_t bits : patterns) {
        uintptr_t data = TagFloat(FloatFromBits(bits));
        EXPECT_EQ(data, bits) << std::hex << bits;
        EXPECT_EQ(FloatBits(TagDataFloat(data)), bits) << std::hex << bits;
    }
    EXPECT_TRUE(std::signbit(TagDataFloat(TagFloat(-0.0f))));
}

}  // namespace
