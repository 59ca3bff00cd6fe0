// The painter's order of the draw list: farthest first.
//
// The order is that of a Shell sort with the gaps n >> 1, n >> 2, ... 1 and
// its swap rule. Among equal keys that order shows on the screen where the
// faces overlap, so it is kept exactly; but the entries move once only.
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
// space, and when the runs of equal keys are so long and so shuffled by the
// passes that reordering them would cost more than the Shell sort.
#include "render/sort.h"

#include "render/pass.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t RADIX_BITS = 8;
constexpr uint32_t RADIX_BUCKETS = 1u << RADIX_BITS;
constexpr uint32_t RADIX_DIGITS = 32 / RADIX_BITS;

using Histograms = uint32_t[RADIX_DIGITS][RADIX_BUCKETS];

// Moves within the runs of equal keys allowed per entry before the Shell
// sort takes over.
constexpr uint64_t RUN_MOVES_PER_ENTRY = 2;

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
// descending order of the keys, −0.0 and +0.0 alike, and the histogram of
// each radix digit of those bits. False when a key is not a number.
bool MakeKeys(const DrawEntry* entries, uint32_t n, uint32_t* keys, uint32_t* indices, Histograms& counts)
{
    for (uint32_t i = 0; i < n; ++i) {
        uint32_t bits;
        std::memcpy(&bits, &entries[i].key, sizeof bits);
        if ((bits & 0x7FFFFFFFu) > 0x7F800000u)
            return false;
        if (bits == 0x80000000u)
            bits = 0;
        const uint32_t key = (bits & 0x80000000u) ? bits : ~bits & 0x7FFFFFFFu;
        keys[i] = key;
        indices[i] = i;
        for (uint32_t digit = 0; digit < RADIX_DIGITS; ++digit)
            ++counts[digit][(key >> (digit * RADIX_BITS)) & (RADIX_BUCKETS - 1)];
    }
    return true;
}

// A pair of arrays: keys and the entry index that goes with each.
struct Keyed {
    uint32_t* keys;
    uint32_t* indices;
};

// Sorts the keys ascending, least significant digit first (stable), with
// their indices, skipping a digit that every key shares; the result ends in
// `sorted`, the other pair is left free.
void RadixSort(Keyed* sorted, Keyed* spare, uint32_t n, Histograms& counts)
{
    for (uint32_t digit = 0; digit < RADIX_DIGITS; ++digit) {
        const uint32_t shift = digit * RADIX_BITS;
        uint32_t* starts = counts[digit];
        if (starts[(sorted->keys[0] >> shift) & (RADIX_BUCKETS - 1)] == n)
            continue;
        uint32_t sum = 0;
        for (uint32_t bucket = 0; bucket < RADIX_BUCKETS; ++bucket)
            sum += std::exchange(starts[bucket], sum);
        for (uint32_t i = 0; i < n; ++i) {
            const uint32_t key = sorted->keys[i];
            const uint32_t to = starts[(key >> shift) & (RADIX_BUCKETS - 1)]++;
            spare->keys[to] = key;
            spare->indices[to] = sorted->indices[i];
        }
        std::swap(*sorted, *spare);
    }
}

// The first index of every run of equal sorted keys and their count; `end`
// gets the index after the last run (0 without runs).
uint32_t FindRuns(const uint32_t* keys, uint32_t n, uint32_t* runs, uint32_t* end)
{
    uint32_t count = 0;
    *end = 0;
    for (uint32_t i = 1; i < n; ++i) {
        if (keys[i] != keys[i - 1])
            continue;
        runs[count++] = i - 1;
        while (i + 1 < n && keys[i + 1] == keys[i])
            ++i;
        *end = i + 1;
    }
    return count;
}

// Puts each run of equal keys in the order of its entries' places, an
// insertion sort. False when that takes more moves than `budget` has left.
bool OrderRuns(const uint32_t* keys, uint32_t* indices, uint32_t* places, const uint32_t* runs, uint32_t count,
               uint32_t end, uint64_t* budget)
{
    for (uint32_t r = 0; r < count; ++r) {
        const uint32_t start = runs[r];
        for (uint32_t i = start + 1; i < end && keys[i] == keys[start]; ++i) {
            const uint32_t index = indices[i];
            const uint32_t place = places[i];
            uint32_t j = i;
            for (; j > start && places[j - 1] > place; --j) {
                indices[j] = indices[j - 1];
                places[j] = places[j - 1];
            }
            if (i - j > *budget)
                return false;
            *budget -= i - j;
            indices[j] = index;
            places[j] = place;
        }
    }
    return true;
}

// a mod d from magic = 2^64 / d rounded up: exact for every 32-bit a and
// every d from 2 on (Lemire's direct remainder), and without a division.
uint32_t Remainder(uint32_t a, uint64_t magic, uint32_t d)
{
    return uint32_t((static_cast<unsigned __int128>(magic * a) * d) >> 64);
}

// Follows the places of the sorted entries before `end` through the passes
// down to gap 2 and leaves every run in the order the last pass finds it
// in. `work` holds 2n words. False when the runs cost too many moves.
bool RunPasses(const uint32_t* keys, uint32_t* indices, uint32_t n, uint32_t* work, const uint32_t* runs,
               uint32_t runCount, uint32_t end)
{
    uint32_t* places = work;
    uint32_t* chains = work + n;
    std::copy(indices, indices + end, places);
    uint64_t budget = RUN_MOVES_PER_ENTRY * n;
    for (uint32_t gap = n >> 1; gap > 1; gap >>= 1) {
        if (!OrderRuns(keys, indices, places, runs, runCount, end, &budget))
            return false;
        std::fill(chains, chains + gap, 0u);
        const uint64_t magic = ~uint64_t(0) / gap + 1;
        for (uint32_t k = 0; k < end; ++k) {
            const uint32_t chain = Remainder(places[k], magic, gap);
            places[k] = chain + gap * chains[chain]++;
        }
    }
    return OrderRuns(keys, indices, places, runs, runCount, end, &budget);
}

// Puts entry indices[k] at position k for every k, each cycle of the
// permutation once; a position done is marked with its own index.
void Permute(DrawEntry* entries, uint32_t* indices, uint32_t n)
{
    for (uint32_t k = 0; k < n; ++k) {
        if (indices[k] == k)
            continue;
        const DrawEntry first = entries[k];
        uint32_t j = k;
        for (;;) {
            const uint32_t from = indices[j];
            indices[j] = j;
            if (from == k) {
                entries[j] = first;
                break;
            }
            entries[j] = entries[from];
            j = from;
        }
    }
}

}  // namespace

void SortDrawEntries(DrawEntry* entries, uint32_t n, uint32_t* scratch)
{
    if (n < 2)
        return;
    if (!scratch) {
        ShellSort(entries, n);
        return;
    }
    Histograms counts = {};
    Keyed sorted{scratch, scratch + n};
    Keyed spare{scratch + 2 * n, scratch + 3 * n};
    if (!MakeKeys(entries, n, sorted.keys, sorted.indices, counts)) {
        ShellSort(entries, n);
        return;
    }
    RadixSort(&sorted, &spare, n, counts);
    // The free pair holds the places and chain counts (n + n / 2 words) and
    // the runs (at most n / 2).
    uint32_t* work = spare.keys;
    uint32_t* runs = work + n + n / 2;
    uint32_t end = 0;
    const uint32_t runCount = FindRuns(sorted.keys, n, runs, &end);
    if (runCount && !RunPasses(sorted.keys, sorted.indices, n, work, runs, runCount, end)) {
        ShellSort(entries, n);
        return;
    }
    Permute(entries, sorted.indices, n);
}

void SortDrawList(Scene* scene)
{
    if (!scene || !scene->drawList)
        return;
    const uint32_t n = std::min(scene->drawCount, scene->polygonCapacity);
    SortDrawEntries(scene->drawList, n, n <= scene->sortCapacity ? scene->sortScratch : nullptr);
}
