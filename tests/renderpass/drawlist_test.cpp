// The draw list's painter's order: the sort against the Shell sort it must
// reproduce, and the keys faces are listed with.
#include "renderpass/pass_support.h"

#include "render/sort.h"

#include <cmath>
#include <limits>
#include <random>
#include <vector>

using namespace kvor3d;

namespace {

using DrawOrder = pass_test::RenderPass;

// The rule itself: the gaps n >> 1, n >> 2, ... 1, and a swap of whole
// entries while the later key is larger.
void ShellSortLiterally(std::vector<DrawEntry>& entries)
{
    const int64_t n = int64_t(entries.size());
    for (int64_t gap = n >> 1; gap > 0; gap >>= 1) {
        for (int64_t i = gap; i < n; ++i) {
            for (int64_t j = i - gap; j >= 0 && entries[j + gap].key > entries[j].key; j -= gap)
                std::swap(entries[j], entries[j + gap]);
        }
    }
}

using Random = std::mt19937;

float Uniform(Random& r, float low, float high) { return std::uniform_real_distribution<float>(low, high)(r); }

const float INF = std::numeric_limits<float>::infinity(), TINY = std::numeric_limits<float>::denorm_min();
const float ODD_KEYS[] = {0.0f, -0.0f, INF, -INF, TINY, -TINY, 1.0f, -1.0f, 3e38f, -3e38f};

const struct {
    const char* name;
    float (*key)(uint32_t i, uint32_t n, Random& r);
} KEY_SETS[] = {
    {"all different", [](uint32_t, uint32_t, Random& r) { return Uniform(r, -100, 5000); }},
    {"pairs", [](uint32_t i, uint32_t, Random& r) { return i % 50 < 2 ? float(i / 50) : Uniform(r, 10000, 20000); }},
    {"a long run", [](uint32_t i, uint32_t, Random& r) { return i % 25 == 0 ? 300.0f : Uniform(r, 0, 1000); }},
    {"runs of a dozen", [](uint32_t, uint32_t n, Random& r) { return float(r() % (n / 12 + 1)); }},
    {"ten values", [](uint32_t, uint32_t, Random& r) { return float(r() % 10); }},
    {"one value", [](uint32_t, uint32_t, Random&) { return 7.5f; }},
    {"±0, ±∞, tiniest", [](uint32_t, uint32_t, Random& r) { return r() % 8 ? Uniform(r, -10, 10) : ODD_KEYS[r() % 10]; }},
    {"NaN", [](uint32_t i, uint32_t n, Random& r) { return i == n / 2 ? std::nanf("") : float(r() % (n / 3 + 1)); }},
};

// With and without its working space, for keys that all differ, that tie
// in pairs, in long runs or all alike, signed zeros, infinities and keys
// that are not numbers, at the sizes on either side of the short list and
// of the narrow remainders.
TEST_F(DrawOrder, SortGivesTheShellSortsOrderForAnyKeys)
{
    std::mt19937 random(11);
    for (const auto& set : KEY_SETS) {
        for (uint32_t n : {0u, 1u, 2u, 3u, 7u, 8u, 9u, 47u, 48u, 49u, 64u, 1000u, 8123u, 70001u}) {
            std::vector<DrawEntry> start, expected;
            for (uint32_t i = 0; i < n; ++i)
                start.push_back({i, set.key(i, n, random), nullptr, nullptr});  // labelled by the type word
            ShellSortLiterally(expected = start);
            std::vector<uint32_t> scratch(SORT_SCRATCH_WORDS * n + 1);
            for (uint32_t* space : {scratch.data(), static_cast<uint32_t*>(nullptr)}) {
                std::vector<DrawEntry> sorted = start;
                SortDrawEntries(sorted.data(), n, space);
                for (uint32_t i = 0; i < n; ++i)
                    ASSERT_EQ(sorted[i].type, expected[i].type)
                        << set.name << ", " << n << " entries, place " << i << (space ? "" : ", no scratch");
            }
        }
    }
}

// The key a face was listed with, NaN when it is not listed.
float ListedKey(const Scene* scene, const Face* face)
{
    for (uint32_t i = 0; i < scene->drawCount; ++i)
        if (scene->drawList[i].face == face)
            return scene->drawList[i].key;
    return std::numeric_limits<float>::quiet_NaN();
}

// A face's key is the mean camera depth of its corners, plus 32767 for a
// biased object, which is drawn before every other face however near it is.
TEST_F(DrawOrder, FaceKeyIsTheMeanDepthOfItsCornersAndTheBiasPutsItFirst)
{
    ObjectEntity* slope = build::AddObject(scene, "slope", {{-10, -10, 30}, {10, -10, 60}, {0, 10, 90}}, {{0, 1, 2}});
    slope->objectFlags = OBJECT_DOUBLESIDED | OBJECT_DEPTHBIAS;
    slope->colour = pass_test::BLUE;
    showcase::AddMesh(scene, "far", showcase::Pane(-400, 400, -400, 400, 1000), pass_test::GREY, 0);
    ASSERT_EQ(AllocDrawLists(scene), 1);
    Render();
    EXPECT_EQ(ListedKey(scene, &slope->faces[0]), 60.0f + 32767.0f);
    EXPECT_EQ(Pixel(160, 100), pass_test::GREY_PIXEL);
    slope->objectFlags = OBJECT_DOUBLESIDED;
    Render();
    EXPECT_EQ(ListedKey(scene, &slope->faces[0]), 60.0f);
    EXPECT_EQ(Pixel(160, 100), pass_test::BLUE_PIXEL);
}

}  // namespace
