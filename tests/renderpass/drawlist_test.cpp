// The draw list: which faces and lights are listed, their keys, clipping
// and culling, and the painter's order the sort gives them.
#include "renderpass/pass_support.h"

#include <cmath>
#include <random>

namespace {

using pass_test::RenderPass;
using namespace pass_test;

using DrawOrder = RenderPass;
using Culling = RenderPass;

// Puts the chain's two entities in the other order.
void SwapChain(Scene* scene)
{
    Entity* first = scene->entities;
    Entity* second = first->next;
    first->next = nullptr;
    second->next = first;
    scene->entities = second;
}

TEST_F(DrawOrder, FartherOfTwoOverlappingFacesIsDrawnFirstWhateverTheChainOrder)
{
    AddSquare("near", 0, 0, 50.0f, 10, RED);
    AddSquare("far", 0, 0, 50.01f, 20, GREEN);
    RenderNew();
    EXPECT_EQ(Pixel(160, 100), RED_PIXEL);
    EXPECT_EQ(Pixel(160 + 50, 100), GREEN_PIXEL);

    SwapChain(scene);
    Render();
    EXPECT_EQ(Pixel(160, 100), RED_PIXEL);
    EXPECT_EQ(Pixel(160 + 50, 100), GREEN_PIXEL);
}

TEST_F(DrawOrder, BiasedObjectIsDrawnBeforeEveryOtherFaceHoweverNearItIs)
{
    ObjectEntity* biased = AddSquare("biased", 0, 0, 50, 10, RED, OBJECT_DEPTHBIAS);
    AddSquare("far", 0, 0, 1000, 400, GREEN);
    RenderNew();
    EXPECT_EQ(biased->faces[0].depthKey, 50.0f + 32767.0f);
    EXPECT_EQ(Pixel(160, 100), GREEN_PIXEL);
}

TEST_F(DrawOrder, FaceKeyIsTheMeanCameraDepthOfItsCorners)
{
    ObjectEntity* object = build::AddObject(scene, "slope", {{-10, -10, 30}, {10, -10, 60}, {0, 10, 90}}, {{0, 1, 2}});
    object->objectFlags = OBJECT_DOUBLESIDED;
    RenderNew();
    ASSERT_EQ(scene->drawCount, 1u);
    EXPECT_EQ(scene->drawList[0].type, DRAW_FACE);
    EXPECT_EQ(scene->drawList[0].key, 60.0f);
    EXPECT_EQ(scene->drawList[0].face, &object->faces[0]);
}

// Entries labelled by their type word, which the sort carries along.
std::vector<uint32_t> SortedLabels(Scene* scene, const std::vector<float>& keys)
{
    MemFree(scene->drawList);
    scene->drawList = static_cast<DrawEntry*>(MemAlloc(uint32_t(keys.size() + 2), sizeof(DrawEntry)));
    scene->polygonCapacity = uint32_t(keys.size());
    scene->drawCount = uint32_t(keys.size());
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
}

TEST_F(DrawOrder, SortPutsLargerKeysFirst)
{
    EXPECT_EQ(SortedLabels(scene, {3, 9, 1, 7, 5, 8, 2}), (std::vector<uint32_t>{1, 5, 3, 4, 0, 6, 2}));
}

// Gap 2 swaps entry 2 (key 2) with entry 0, passing over entry 1 of the
// same key 1: the two keys of 1 end up in the other order.
TEST_F(DrawOrder, EqualKeysCanChangeTheirOrderAcrossAGap)
{
    EXPECT_EQ(SortedLabels(scene, {1, 1, 2, 1}), (std::vector<uint32_t>{2, 1, 0, 3}));
    EXPECT_EQ(SortedLabels(scene, {4, 4, 4}), (std::vector<uint32_t>{0, 1, 2}));
}

TEST_F(Culling, FaceTurnedAwayIsDrawnOnlyWhenTheObjectIsDoubleSided)
{
    ObjectEntity* away = AddQuad("away", {{{-10, -10, 100}, {10, -10, 100}, {10, 10, 100}, {-10, 10, 100}}},
                                 {0, 0, 1}, RED);
    RenderNew();
    EXPECT_EQ(scene->drawCount, 0u);
    EXPECT_EQ(Pixel(160, 100), DARK_PIXEL);

    away->objectFlags = OBJECT_DOUBLESIDED;
    Render();
    EXPECT_EQ(scene->drawCount, 2u);
    EXPECT_EQ(Pixel(160, 100), RED_PIXEL);
}

TEST_F(Culling, FaceSeenExactlyEdgeOnIsCulled)
{
    ObjectEntity* edgeOn = build::AddObject(scene, "edge", {{-10, 0, 50}, {10, 0, 50}, {0, 0, 100}}, {{0, 1, 2}});
    RenderNew();
    EXPECT_EQ(scene->drawCount, 0u);

    edgeOn->objectFlags = OBJECT_DOUBLESIDED;
    Render();
    EXPECT_EQ(scene->drawCount, 1u);
}

TEST_F(Culling, FaceOutsideOnePlaneIsNotListed)
{
    AddSquare("left", -300, 0, 100, 10, RED);
    AddSquare("behind", 0, 0, -50, 10, RED);
    RenderNew();
    EXPECT_EQ(scene->drawCount, 0u);
}

// Corners at screen x −16 and 16: the face is listed clipped and drawn from
// column 0 up to and including column 16.
TEST_F(Culling, FaceAcrossTheLeftEdgeIsClippedAndDrawn)
{
    ObjectEntity* square = AddSquare("across", -100, 0, 100, 10, RED);
    RenderNew();
    EXPECT_EQ(scene->drawCount, 2u);
    EXPECT_TRUE(square->faces[0].faceFlags & FACE_CLIPPED);
    EXPECT_TRUE(square->faces[1].faceFlags & FACE_CLIPPED);
    EXPECT_EQ(Pixel(0, 100), RED_PIXEL);
    EXPECT_EQ(Pixel(16, 100), RED_PIXEL);
    EXPECT_EQ(Pixel(17, 100), DARK_PIXEL);

    square->position[0] = 100;  // wholly on the screen: no longer clipped
    Render();
    EXPECT_FALSE(square->faces[0].faceFlags & FACE_CLIPPED);
}

TEST_F(Culling, LightBehindTheCameraGetsNoEntryAndOneInFrontDoes)
{
    LightEntity* light = AddLight("light", 0, 0, -10);
    RenderNew();
    EXPECT_EQ(scene->drawCount, 0u);

    light->position[2] = 100;
    Render();
    ASSERT_EQ(scene->drawCount, 1u);
    EXPECT_EQ(scene->drawList[0].type, DRAW_LIGHT);
    EXPECT_EQ(scene->drawList[0].key, 100.0f);
    EXPECT_EQ(scene->drawList[0].light, light);
}

TEST_F(Culling, EntitiesThatAreNotDrawnAreNotListed)
{
    ObjectEntity* square = AddSquare("hidden", 0, 0, 100, 10, RED);
    LightEntity* light = AddLight("light", 0, 0, 100);
    square->entityFlags &= ~ENTITY_DRAWN;
    light->entityFlags &= ~ENTITY_DRAWN;
    RenderNew();
    EXPECT_EQ(scene->drawCount, 0u);
    EXPECT_EQ(Pixel(160, 100), DARK_PIXEL);
}

}  // namespace
