// The painter's order of the draw list: farthest first.
//
// The order is that of a Shell sort with the gaps n >> 1, n >> 2, ... 1 and
// its swap rule. Among equal keys that order shows on the screen where the
// faces overlap, so it is kept exactly. When all keys differ, though, every
// correct sort gives the one strictly descending order, and a radix sort
// reaches it without the Shell sort's unpredictable branches; the Shell sort
// itself runs only when two keys are equal, a key is not a number, or the
// radix sort's memory cannot be had.
#include "render/pass.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t RADIX_BITS = 8;
constexpr uint32_t RADIX_BUCKETS = 1u << RADIX_BITS;

void ShellSort(DrawEntry* entries, int64_t n)
{
    for (int64_t gap = n >> 1; gap > 0; gap >>= 1) {
        for (int64_t i = gap; i < n; ++i) {
            for (int64_t j = i - gap; j >= 0 && entries[j + gap].key > entries[j].key; j -= gap)
                std::swap(entries[j], entries[j + gap]);
        }
    }
}

// The key's bits turned so that unsigned order is descending key order.
uint32_t DescendingBits(float key)
{
    uint32_t bits;
    std::memcpy(&bits, &key, sizeof bits);
    const uint32_t ascending = (bits & 0x80000000u) ? ~bits : bits | 0x80000000u;
    return ~ascending;
}

// Sorts (descending bits << 32 | entry index) by their upper halves, least
// significant digit first; the result ends in `items`.
void RadixSort(uint64_t* items, uint64_t* spare, uint32_t n)
{
    for (uint32_t shift = 32; shift < 64; shift += RADIX_BITS) {
        uint32_t starts[RADIX_BUCKETS] = {};
        for (uint32_t i = 0; i < n; ++i)
            ++starts[(items[i] >> shift) & (RADIX_BUCKETS - 1)];
        uint32_t sum = 0;
        for (uint32_t& start : starts)
            sum += std::exchange(start, sum);
        for (uint32_t i = 0; i < n; ++i)
            spare[starts[(items[i] >> shift) & (RADIX_BUCKETS - 1)]++] = items[i];
        std::swap(items, spare);
    }
}

// The radix sort, when the keys are numbers that all differ and the scratch
// memory can be had; false with the list untouched otherwise.
bool SortDistinctKeys(DrawEntry* entries, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i) {
        if (entries[i].key != entries[i].key)
            return false;
    }
    auto* scratch = static_cast<uint8_t*>(MemAlloc(n, 2 * sizeof(uint64_t) + sizeof(DrawEntry)));
    if (!scratch)
        return false;
    auto* items = reinterpret_cast<uint64_t*>(scratch);
    auto* spare = items + n;
    auto* copy = reinterpret_cast<DrawEntry*>(spare + n);
    for (uint32_t i = 0; i < n; ++i)
        items[i] = (uint64_t(DescendingBits(entries[i].key)) << 32) | i;
    RadixSort(items, spare, n);
    bool distinct = true;
    for (uint32_t i = 1; i < n && distinct; ++i)
        distinct = entries[items[i] & 0xFFFFFFFF].key != entries[items[i - 1] & 0xFFFFFFFF].key;
    if (distinct) {
        std::copy(entries, entries + n, copy);
        for (uint32_t i = 0; i < n; ++i)
            entries[i] = copy[items[i] & 0xFFFFFFFF];
    }
    MemFree(scratch);
    return distinct;
}

}  // namespace

void SortDrawList(Scene* scene)
{
    if (!scene || !scene->drawList)
        return;
    const uint32_t n = std::min(scene->drawCount, scene->polygonCapacity);
    if (n < 2 || SortDistinctKeys(scene->drawList, n))
        return;
    ShellSort(scene->drawList, n);
}
