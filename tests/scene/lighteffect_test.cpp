#include "scene/keys.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

std::vector<uint32_t> E0Order(const LightEffect* effect)
{
    std::vector<uint32_t> order;
    for (const LightEffectElement* element = effect->elements; element; element = element->next)
        order.push_back(element->e0);
    return order;
}

TEST(LightEffects, NewEffectCopiesItsNameAndJoinsTheEndOfTheScenesChain)
{
    Scene* scene = AllocScene();
    char name[] = "flare";
    LightEffect* first = build::AddLightEffect(scene, "first");
    const TagItem tags[] = {{TAG_LIGHTEFFECT_NAME, TagPtr(name)}, {TAG_LIGHTEFFECT_SCENE, TagPtr(scene)}, {TAG_DONE, 0}};
    LightEffect* second = CreateLightEffect(tags);
    ASSERT_NE(second, nullptr);
    name[0] = 'X';
    EXPECT_STREQ(second->name, "flare");
    EXPECT_EQ(scene->lightEffects, first);
    EXPECT_EQ(first->next, second);

    LightEffect* unnamed = CreateLightEffect(nullptr);
    ASSERT_NE(unnamed, nullptr);
    EXPECT_EQ(unnamed->name, nullptr);
    DeleteLightEffect(unnamed, nullptr);
    FreeScene(scene);
}

TEST(LightEffects, ElementTakesDefaultsAndTagsAndJoinsTheEndOfItsEffect)
{
    Scene* scene = AllocScene();
    LightEffect* effect = build::AddLightEffect(scene, "fx");
    Texture* map = build::AddTexture(scene, "ring", 4, 4);
    const TagItem defaults[] = {{TAG_ELEMENT_EFFECT, TagPtr(effect)}, {TAG_DONE, 0}};
    LightEffectElement* plain = CreateLightEffectElement(defaults);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->e0, 0x10000u);
    EXPECT_EQ(plain->e1, 0x10000u);
    EXPECT_EQ(plain->e2, 0x10000u);
    EXPECT_EQ(plain->e3, 0u);
    EXPECT_EQ(plain->map, nullptr);
    EXPECT_EQ(plain->name, nullptr);

    const TagItem given[] = {
        {TAG_ELEMENT_NAME, TagPtr("ring")},
        {TAG_ELEMENT_MAP, TagPtr(map)},
        {TAG_ELEMENT_E0, 1},
        {TAG_ELEMENT_E1, 2},
        {TAG_ELEMENT_E2, 3},
        {TAG_ELEMENT_E3, 2},
        {TAG_ELEMENT_EFFECT, TagPtr(effect)},
        {TAG_DONE, 0},
    };
    LightEffectElement* ring = CreateLightEffectElement(given);
    ASSERT_NE(ring, nullptr);
    EXPECT_STREQ(ring->name, "ring");
    EXPECT_EQ(ring->map, map);
    EXPECT_EQ(ring->e1, 2u);
    EXPECT_EQ(ring->e2, 3u);
    EXPECT_EQ(ring->e3, 2u);
    EXPECT_EQ(effect->elements, plain);
    EXPECT_EQ(plain->next, ring);
    FreeScene(scene);
}

TEST(LightEffects, ElementsSortByE0LargestFirstKeepingEqualsInOrder)
{
    LightEffect* effect = CreateLightEffect(nullptr);
    build::AddElement(effect, "one", 1);
    build::AddElement(effect, "three", 3);
    build::AddElement(effect, "two", 2);
    SortLightEffectElements(effect);
    EXPECT_EQ(E0Order(effect), (std::vector<uint32_t>{3, 2, 1}));

    build::AddElement(effect, "twoAgain", 2);
    build::AddElement(effect, "big", 0x20000);
    SortLightEffectElements(effect);
    EXPECT_EQ(E0Order(effect), (std::vector<uint32_t>{0x20000, 3, 2, 2, 1}));
    EXPECT_STREQ(effect->elements->next->next->name, "two");
    EXPECT_STREQ(effect->elements->next->next->next->name, "twoAgain");
    SortLightEffectElements(nullptr);
    DeleteLightEffect(effect, nullptr);
}

TEST(LightEffects, DeleteFreesOneEffectOrTheWholeChain)
{
    LightEffect* a = CreateLightEffect(nullptr);
    LightEffect* b = CreateLightEffect(nullptr);
    LightEffect* c = CreateLightEffect(nullptr);
    a->next = b;
    b->next = c;
    build::AddElement(b, "e", 5);
    const TagItem single[] = {{TAG_LIGHTEFFECT_CHAIN, 0x10000}, {TAG_DONE, 0}};  // low 16 bits zero
    DeleteLightEffect(a, single);
    const TagItem chain[] = {{TAG_LIGHTEFFECT_CHAIN, 1}, {TAG_DONE, 0}};
    DeleteLightEffect(b, chain);  // b and c; the sanitizer build checks nothing leaks
    DeleteLightEffect(nullptr, chain);
    DeleteLightEffectElement(nullptr, nullptr);
}

}  // namespace
