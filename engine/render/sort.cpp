// The painter's order of the draw list: farthest first.
//
// The order is that of a Shell sort with the gaps n >> 1, n >> 2, ... 1 and
// its swap rule. Among equal keys that order shows on the screen where the
// faces overlap, so it is kept exactly.
//
// The pass with gap h is an insertion sort of every chain of positions c,
// c + h, c + 2h, ...: it leaves each chain in descending key order and equal
// keys in the order they stood (a swap needs a larger key). An entry's place
// after the pass is thus c + h × the number of entries of its chain with a
// larger key or with the same key at an earlier position. Going once through
// the entries in descending key order, equal keys by position, with a count
// per chain, gives every entry its place after the pass. The keys are radix
// sorted once; from pass to pass only the runs of equal keys change their
// order (to that of the places), and after the last pass, gap 1, the entries
// stand in the radix order with each run in the order of its places after
// gap 2. Keys that all differ need no passes, and an entry after the last
// run does not change any place that matters.
//
// The Shell sort itself runs when a key is not a number (it compares false
// with everything, so no order of the keys stands for it), without working
// space, for a short list, and when the runs of equal keys are so long that
// ordering them before every pass would cost more than the Shell sort.
// Entries are moved once, from a copy in the working space.
#include "render/sort.h"

#include "render/pass.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace kvor3d {

namespace {

// Radix digits: at most three of at most eleven bits, as few as the spread
// of the keys needs.
constexpr uint32_t MAX_DIGITS = 3;
constexpr uint32_t MAX_DIGIT_BITS = 11;

using Histograms = uint32_t[MAX_DIGITS][1u << MAX_DIGIT_BITS];

// Below this many entries the Shell sort itself is quicker.
constexpr uint32_t SHORT_LIST = 48;

// Runs of equal keys up to this long are put in order by an insertion sort.
constexpr uint32_t SHORT_RUN = 16;

// The work of ordering the runs once, per entry, above which the Shell sort
// takes over: it then costs less than following the places.
constexpr uint64_t RUN_COST_PER_ENTRY = 2;

void ShellSort(DrawEntry* entries, int64_t n)
{
    for (int64_t gap = n >> 1; gap > 0; gap >>= 1) {
        for (int64_t i = gap; i < n; ++i) {
            for (int64_t j = i - gap; j >= 0 && entries[j + gap].key > entries[j].key; j -= gap)
                std::swap(entries[j], entries[j + gap]);
        }
    }
}

// Entries by index with a key made of bits whose unsigned order is the
// descending order of the keys, −0.0 and +0.0 alike, less the smallest such
// key; `span` gets the largest. False when a key is not a number.
bool MakeKeys(const DrawEntry* entries, uint32_t n, uint32_t* keys, uint32_t* indices, uint32_t* span)
{
    bool numbers = true;
    uint32_t low = ~0u;
    uint32_t high = 0;
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &entries[i].key, sizeof bits);
        numbers &= (bits & 0x7FFFFFFFu) <= 0x7F800000u;
        if (bits == 0x80000000u)
            bits = 0;
        const uint32_t key = (bits & 0x80000000u) ? bits : ~bits & 0x7FFFFFFFu;
        keys[i] = key;
        indices[i] = i;
        low = std::min(low, key);
        high = std::max(high, key);
    }
    for (uint32_t i = 0; i < n; ++i)
        keys[i] -= low;
    *span = high - low;
    return numbers;
}

// A pair of arrays: keys and the entry index that goes with each.
struct Keyed {
    uint32_t* keys;
    uint32_t* indices;
};

// Sorts the keys (none above `span`) ascending, least significant digit
// first (stable), with their indices, skipping a digit that every key
// shares; the result ends in `sorted`, the other pair is left free.
void RadixSort(Keyed* sorted, Keyed* spare, uint32_t n, uint32_t span)
{
    uint32_t bits = 0;
    while (bits < 32 && (span >> bits))
        ++bits;
    const uint32_t digits = (bits + MAX_DIGIT_BITS - 1) / MAX_DIGIT_BITS;
    if (!digits)
        return;
    const uint32_t digitBits = (bits + digits - 1) / digits;
    const uint32_t buckets = 1u << digitBits;
    Histograms counts;
    for (uint32_t digit = 0; digit < digits; ++digit)
        std::fill(counts[digit], counts[digit] + buckets, 0u);
    for (uint32_t i = 0; i < n; ++i) {
        const uint32_t key = sorted->keys[i];
        for (uint32_t digit = 0; digit < digits; ++digit)
            ++counts[digit][(key >> (digit * digitBits)) & (buckets - 1)];
    }
    for (uint32_t digit = 0; digit < digits; ++digit) {
        const uint32_t shift = digit * digitBits;
        uint32_t* starts = counts[digit];
        if (starts[(sorted->keys[0] >> shift) & (buckets - 1)] == n)
            continue;
        uint32_t sum = 0;
        for (uint32_t bucket = 0; bucket < buckets; ++bucket)
            sum += std::exchange(starts[bucket], sum);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t key = sorted->keys[i];
            const uint32_t to = starts[(key >> shift) & (buckets - 1)]++;
            spare->keys[to] = key;
            spare->indices[to] = sorted->indices[i];
        }
        std::swap(*sorted, *spare);
    }
}

// A sorted entry's place before the next pass, and its index in the list.
struct Placed {
    uint32_t place;
    uint32_t index;
};

bool ByPlace(const Placed& a, const Placed& b)
{
    return a.place < b.place;
}

// Integer log2 rounded up: the cost of sorting a run per entry.
uint32_t SortCost(uint32_t length)
{
    uint32_t bits = 0;
    while ((1u << bits) < length)
        ++bits;
    return bits;
}

// The first index of every run of equal sorted keys and their count; `end`
// gets the index after the last run (0 without runs) and `cost` an estimate
// of the work of ordering the runs once, in entries.
uint32_t FindRuns(const uint32_t* keys, uint32_t n, uint32_t* runs, uint32_t* end, uint64_t* cost)
{
    uint32_t count = 0;
    *end = 0;
    *cost = 0;
    for (uint32_t i = 1; i < n; ++i) {
        if (keys[i] != keys[i - 1])
            continue;
        const uint32_t start = i - 1;
        runs[count++] = start;
        while (i + 1 < n && keys[i + 1] == keys[i])
            ++i;
        *end = i + 1;
        const uint32_t length = *end - start;
        *cost += length <= SHORT_RUN ? length : uint64_t(length) * SortCost(length);
    }
    return count;
}

// Puts each run of equal keys in the order of its entries' places: a short
// run by an insertion sort, a long one by a sort unless it is in order.
void OrderRuns(const uint32_t* keys, Placed* placed, const uint32_t* runs, uint32_t count, uint32_t end)
{
    for (uint32_t r = 0; r < count; ++r) {
        const uint32_t start = runs[r];
        uint32_t stop = start + 1;
        while (stop < end && keys[stop] == keys[start])
            ++stop;
        if (stop - start > SHORT_RUN) {
            if (!std::is_sorted(placed + start, placed + stop, ByPlace))
                std::sort(placed + start, placed + stop, ByPlace);
            continue;
        }
        for (uint32_t i = start + 1; i < stop; ++i) {
            const Placed entry = placed[i];
            uint32_t j = i;
            for (; j > start && placed[j - 1].place > entry.place; --j)
                placed[j] = placed[j - 1];
            placed[j] = entry;
        }
    }
}

// a mod d without a division, by Lemire's direct remainder: the fraction
// a / d in fixed point from magic = 2^W / d rounded up, times d. Exact for a
// and d below 2^(W / 2) and d from 2 on; W is 32 or 64 bits.
struct NarrowRemainder {
    uint32_t magic;
    uint32_t d;

    explicit NarrowRemainder(uint32_t divisor) : magic(~uint32_t(0) / divisor + 1), d(divisor) {}
    uint32_t operator()(uint32_t a) const { return uint32_t((uint64_t(magic * a) * d) >> 32); }
};

struct WideRemainder {
    uint64_t magic;
    uint32_t d;

    explicit WideRemainder(uint32_t divisor) : magic(~uint64_t(0) / divisor + 1), d(divisor) {}
    uint32_t operator()(uint32_t a) const
    {
        return uint32_t((static_cast<unsigned __int128>(magic * a) * d) >> 64);
    }
};

// Follows the places of the sorted entries before `end` through the passes
// down to gap 2 and leaves every run in the order the last pass finds it
// in. `next` holds n / 2 words.
template <typename Remainder>
void RunPasses(const uint32_t* keys, Placed* placed, uint32_t n, uint32_t* next, const uint32_t* runs,
               uint32_t runCount, uint32_t end)
{
    for (uint32_t gap = n >> 1; gap > 1; gap >>= 1) {
        OrderRuns(keys, placed, runs, runCount, end);
        // next[c]: the next free place of chain c
        for (uint32_t chain = 0; chain < gap; ++chain)
            next[chain] = chain;
        const Remainder chainOf(gap);
        for (uint32_t k = 0; k < end; ++k) {
            const uint32_t chain = chainOf(placed[k].place);
            placed[k].place = next[chain];
            next[chain] += gap;
        }
    }
    OrderRuns(keys, placed, runs, runCount, end);
}

// Puts entry placed[k].index at position k for every k, from a copy of the
// list.
void Permute(DrawEntry* entries, const Placed* placed, uint32_t n, DrawEntry* copy)
{
    std::copy(entries, entries + n, copy);
    for (uint32_t k = 0; k < n; ++k)
        entries[k] = copy[placed[k].index];
}

}  // namespace

void SortDrawEntries(DrawEntry* entries, uint32_t n, uint32_t* scratch)
{
    if (n < 2)
        return;
    if (!scratch || n < SHORT_LIST) {
        ShellSort(entries, n);
        return;
    }
    Keyed sorted{scratch, scratch + n};
    Keyed spare{scratch + 2 * n, scratch + 3 * n};
    uint32_t span;
    if (!MakeKeys(entries, n, sorted.keys, sorted.indices, &span)) {
        ShellSort(entries, n);
        return;
    }
    RadixSort(&sorted, &spare, n, span);
    // The free pair takes the sorted entries' places and indices; the
    // indices' own array the chains' next places (n / 2 words) and the runs
    // (at most n / 2).
    auto* placed = reinterpret_cast<Placed*>(spare.keys);
    for (uint32_t k = 0; k < n; ++k)
        placed[k] = {sorted.indices[k], sorted.indices[k]};
    uint32_t* next = sorted.indices;
    uint32_t* runs = sorted.indices + n / 2;
    uint32_t end = 0;
    uint64_t cost = 0;
    const uint32_t runCount = FindRuns(sorted.keys, n, runs, &end, &cost);
    if (cost > RUN_COST_PER_ENTRY * n) {
        ShellSort(entries, n);
        return;
    }
    if (runCount && n <= 0xFFFF)
        RunPasses<NarrowRemainder>(sorted.keys, placed, n, next, runs, runCount, end);
    else if (runCount)
        RunPasses<WideRemainder>(sorted.keys, placed, n, next, runs, runCount, end);
    Permute(entries, placed, n, reinterpret_cast<DrawEntry*>(scratch + 4 * n));
}

void SortDrawList(Scene* scene)
{
    if (!scene || !scene->drawList)
        return;
    const uint32_t n = std::min(scene->drawCount, scene->polygonCapacity);
    SortDrawEntries(scene->drawList, n, n <= scene->sortCapacity ? scene->sortScratch : nullptr);
}

}  // namespace kvor3d
