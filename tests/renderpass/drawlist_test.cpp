// The draw list's painter's order: the sort against the Shell sort it must
// reproduce, and the keys faces are listed with.
#include "renderpass/pass_support.h"

#include <cmath>
#include <random>

namespace {

using DrawOrder = pass_test::RenderPass;

// Entries labelled by their type word, which the sort carries along.
std::vector<uint32_t> SortedLabels(Scene* scene, const std::vector<float>& keys)
{
    MemFree(scene->drawList);
    scene->drawList = static_cast<DrawEntry*>(MemAlloc(uint32_t(keys.size() + 2), sizeof(DrawEntry)));
    scene->polygonCapacity = scene->drawCount = uint32_t(keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        scene->drawList[i] = {uint32_t(i), keys[i], nullptr, nullptr};
    SortDrawList(scene);
    std::vector<uint32_t> labels;
    for (size_t i = 0; i < keys.size(); ++i)
        labels.push_back(scene->drawList[i].type);
    return labels;
}

// The rule itself: the gaps n >> 1, n >> 2, ... 1, and a swap of whole
// entries while the later key is larger.
std::vector<uint32_t> ShellSortLabels(const std::vector<float>& keys)
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

TEST_F(DrawOrder, SortGivesTheShellSortsOrderForAnyKeys)
{
    std::mt19937 random(7);
    std::uniform_real_distribution<float> depth(-100.0f, 5000.0f);
    std::uniform_int_distribution<int> few(0, 9);
    for (uint32_t n : {2u, 3u, 17u, 255u, 256u, 2500u}) {
        std::vector<float> distinct, repeated, special;
        for (uint32_t i = 0; i < n; ++i) {
            distinct.push_back(depth(random));
            repeated.push_back(float(few(random)));
            special.push_back(i % 5 == 0 ? (i % 2 ? -0.0f : 0.0f) : depth(random));
        }
        special[n / 2] = std::nanf("");
        for (const auto& keys : {distinct, repeated, special})
            EXPECT_EQ(SortedLabels(scene, keys), ShellSortLabels(keys)) << n << " entries";
    }
    // Gap 2 passes over entry 1: the two keys of 1 end up in the other order.
    EXPECT_EQ(SortedLabels(scene, {1, 1, 2, 1}), (std::vector<uint32_t>{2, 1, 0, 3}));
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
    EXPECT_EQ(slope->faces[0].depthKey, 60.0f + 32767.0f);
    EXPECT_EQ(Pixel(160, 100), pass_test::GREY_PIXEL);
    slope->objectFlags = OBJECT_DOUBLESIDED;
    Render();
    EXPECT_EQ(slope->faces[0].depthKey, 60.0f);
    EXPECT_EQ(Pixel(160, 100), pass_test::BLUE_PIXEL);
}

}  // namespace
