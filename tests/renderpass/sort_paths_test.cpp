// The draw-list sort against the Shell sort it stands for: the same order,
// equal keys included, with and without its working space, for keys that
// all differ, that tie in pairs, in long runs or all alike, signed zeros,
// infinities and keys that are not numbers.
#include "render/sort.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace {

// The rule itself: the gaps n >> 1, n >> 2, ... 1, and a swap of whole
// entries while the later key is larger. The entries are labelled by index.
std::vector<uint32_t> ShellOrder(const std::vector<float>& keys)
{
    std::vector<std::pair<float, uint32_t>> entries;
    for (size_t i = 0; i < keys.size(); ++i)
        entries.push_back({keys[i], uint32_t(i)});
    const int64_t n = int64_t(entries.size());
    for (int64_t gap = n >> 1; gap > 0; gap >>= 1) {
        for (int64_t i = gap; i < n; ++i) {
            for (int64_t j = i - gap; j >= 0 && entries[j + gap].first > entries[j].first; j -= gap)
                std::swap(entries[j], entries[j + gap]);
        }
    }
    std::vector<uint32_t> labels;
    for (const auto& entry : entries)
        labels.push_back(entry.second);
    return labels;
}

// The sort's order, labelled by the type word it carries along.
std::vector<uint32_t> SortedOrder(const std::vector<float>& keys, bool withScratch)
{
    std::vector<DrawEntry> entries;
    for (size_t i = 0; i < keys.size(); ++i)
        entries.push_back({uint32_t(i), keys[i], nullptr, nullptr});
    std::vector<uint32_t> scratch(SORT_SCRATCH_WORDS * keys.size() + 1);
    SortDrawEntries(entries.data(), uint32_t(entries.size()), withScratch ? scratch.data() : nullptr);
    std::vector<uint32_t> labels;
    for (const DrawEntry& entry : entries)
        labels.push_back(entry.type);
    return labels;
}

using Keys = std::function<float(uint32_t i, uint32_t n, std::mt19937& random)>;

const float INF = std::numeric_limits<float>::infinity();
const float TINY = std::numeric_limits<float>::denorm_min();

struct KeySet {
    const char* name;
    Keys key;
};

const KeySet KEY_SETS[] = {
    {"all different", [](uint32_t, uint32_t, std::mt19937& r) {
         return std::uniform_real_distribution<float>(-100, 5000)(r); }},
    {"pairs among different", [](uint32_t i, uint32_t, std::mt19937& r) {
         return i % 50 < 2 ? float(i / 50) : std::uniform_real_distribution<float>(10000, 20000)(r); }},
    {"a long run among different", [](uint32_t i, uint32_t, std::mt19937& r) {
         return i % 25 == 0 ? 300.0f : std::uniform_real_distribution<float>(0, 1000)(r); }},
    {"runs of about a dozen", [](uint32_t, uint32_t n, std::mt19937& r) { return float(r() % (n / 12 + 1)); }},
    {"ten values", [](uint32_t, uint32_t, std::mt19937& r) { return float(r() % 10); }},
    {"one value", [](uint32_t, uint32_t, std::mt19937&) { return 7.5f; }},
    {"signed zeros, infinities and the tiniest", [](uint32_t, uint32_t, std::mt19937& r) {
         const float keys[] = {0.0f, -0.0f, INF, -INF, TINY, -TINY, 1.0f, -1.0f, 3e38f, -3e38f};
         return r() % 8 ? std::uniform_real_distribution<float>(-10, 10)(r) : keys[r() % 10]; }},
    {"a key that is not a number", [](uint32_t i, uint32_t n, std::mt19937& r) {
         return i == n / 2 ? std::nanf("") : float(r() % (n / 3 + 1)); }},
};

TEST(DrawSort, GivesTheShellSortsOrderWithOrWithoutItsWorkingSpace)
{
    std::mt19937 random(11);
    for (const KeySet& set : KEY_SETS) {
        for (uint32_t n : {0u, 1u, 2u, 3u, 7u, 8u, 9u, 47u, 48u, 49u, 64u, 1000u, 8123u, 70001u}) {
            std::vector<float> keys;
            for (uint32_t i = 0; i < n; ++i)
                keys.push_back(set.key(i, n, random));
            const std::vector<uint32_t> expected = ShellOrder(keys);
            EXPECT_EQ(SortedOrder(keys, true), expected) << set.name << ", " << n << " entries";
            EXPECT_EQ(SortedOrder(keys, false), expected) << set.name << ", " << n << " entries, no working space";
        }
    }
}

}  // namespace
