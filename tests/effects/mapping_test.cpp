#include "effects/effects.h"
#include "support/scene_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

constexpr double PI = 3.14159265358979323846;

// One face over three corners, mapped with the given tags.
class Mapped : public ::testing::Test {
protected:
    void SetUp() override { scene = AllocScene(); }
    void TearDown() override { FreeScene(scene); }

    const Face& Map(std::vector<build::Point> corners, std::vector<TagItem> tags)
    {
        object = build::AddObject(scene, "object", corners, {{0, 1, 2}});
        object->faces[0].uv[0][0] = 1234.0f;
        tags.push_back({TAG_DONE, 0});
        MapTexture(object, tags.data());
        return object->faces[0];
    }

    // v of a corner at angle θ around the axis, for one repeat.
    static float V(double theta) { return float(-theta * 256 / (2 * PI)); }

    Scene* scene = nullptr;
    ObjectEntity* object = nullptr;
};

TEST_F(Mapped, PlanarUsesTheTwoAxesAcrossTheProjectionAxis)
{
    const Face& y = Map({{3, 5, -2}, {0, 0, 0}, {1, 1, 1}}, {{TAG_MAP_AXIS, 1}});
    EXPECT_EQ(y.uv[0][0], 2.0f);  // −c = −z
    EXPECT_EQ(y.uv[0][1], 3.0f);  // a = x

    const float half = 0.5f;
    const float quarter = 0.25f;
    const float centreY = 1.0f;
    const Face& scaled = Map({{3, 5, -2}, {0, 0, 0}, {1, 1, 1}},
                             {{TAG_MAP_AXIS, 1},
                              {TAG_MAP_SCALEX, TagPtr(&half)},
                              {TAG_MAP_SCALEZ, TagPtr(&quarter)},
                              {TAG_MAP_CENTREY, TagPtr(&centreY)}});
    EXPECT_EQ(scaled.uv[0][0], 8.0f);
    EXPECT_EQ(scaled.uv[0][1], 6.0f);

    const Face& x = Map({{1, 2, 3}, {0, 0, 0}, {1, 1, 1}}, {{TAG_MAP_AXIS, 0}, {TAG_MAP_SCALEY, TagPtr(&half)}});
    EXPECT_EQ(x.uv[0][0], 4.0f);  // −c = y, over the y scale
    EXPECT_EQ(x.uv[0][1], 3.0f);  // a = z

    const Face& z = Map({{1, 2, 3}, {0, 0, 0}, {1, 1, 1}}, {{TAG_MAP_AXIS, 2}});
    EXPECT_EQ(z.uv[0][0], 2.0f);  // −c = y
    EXPECT_EQ(z.uv[0][1], 1.0f);  // a = x
    EXPECT_EQ(z.uv[2][0], 1.0f);
    EXPECT_EQ(z.uv[1][1], 0.0f);
}

TEST_F(Mapped, CylindricalAnglesRunFromPlusCTowardPlusA)
{
    const Face& face = Map({{0, 4, 1}, {1, 4, 0}, {0, -2, -1}}, {{TAG_MAP_PROJECTION, MAP_CYLINDRICAL}, {TAG_MAP_AXIS, 1}});
    EXPECT_EQ(face.uv[0][0], 4.0f);  // u = b along the axis
    EXPECT_EQ(face.uv[0][1], 0.0f);  // θ = 0
    EXPECT_EQ(face.uv[1][0], 4.0f);
    EXPECT_EQ(face.uv[1][1], -64.0f);  // θ = π/2
    EXPECT_EQ(face.uv[2][0], -2.0f);
    EXPECT_EQ(face.uv[2][1], -128.0f);  // θ = π
}

TEST_F(Mapped, AnglesContinuePastPiAcrossTheSeam)
{
    // Corners at 179°, −179° and 178° about y (angle from +z toward +x).
    auto at = [](double degrees) {
        const double t = degrees * PI / 180;
        return build::Point{float(std::sin(t)), 0, float(std::cos(t))};
    };
    const Face& face = Map({at(179), at(-179), at(178)}, {{TAG_MAP_PROJECTION, MAP_CYLINDRICAL}, {TAG_MAP_AXIS, 1}});
    EXPECT_NEAR(face.uv[0][1], V(179 * PI / 180), 1e-3);
    EXPECT_NEAR(face.uv[1][1], V(181 * PI / 180), 1e-3);  // not −179°
    EXPECT_NEAR(face.uv[2][1], V(178 * PI / 180), 1e-3);
}

TEST_F(Mapped, CornerOnTheAxisTakesTheMeanAngleOfTheOthers)
{
    const std::vector<TagItem> cylinder = {{TAG_MAP_PROJECTION, MAP_CYLINDRICAL}, {TAG_MAP_AXIS, 1}};
    const Face& first = Map({{0, 5, 0}, {1, 0, 0}, {0, 0, 1}}, cylinder);  // π/2 and 0
    EXPECT_EQ(first.uv[0][1], V(PI / 4));
    EXPECT_EQ(first.uv[1][1], -64.0f);
    EXPECT_EQ(first.uv[2][1], 0.0f);

    const Face& middle = Map({{1, 0, 0}, {0, 5, 0}, {0, 0, 1}}, cylinder);
    EXPECT_EQ(middle.uv[1][1], V(PI / 4));

    const Face& last = Map({{1, 0, 0}, {0, 0, 1}, {0, 5, 0}}, cylinder);
    EXPECT_EQ(last.uv[2][1], V(PI / 4));

    const Face& lone = Map({{0, 1, 0}, {0, 2, 0}, {-1, 0, 0}}, cylinder);  // only the last off the axis
    EXPECT_EQ(lone.uv[0][1], 64.0f);
    EXPECT_EQ(lone.uv[1][1], 64.0f);
    EXPECT_EQ(lone.uv[2][1], 64.0f);

    const Face& none = Map({{0, 1, 0}, {0, 2, 0}, {0, 3, 0}}, cylinder);
    EXPECT_EQ(none.uv[0][1], 0.0f);
    EXPECT_EQ(none.uv[2][1], 0.0f);
}

TEST_F(Mapped, SphericalPolesGiveZeroAndMinus256)
{
    const Face& face = Map({{0, 5, 0}, {0, -5, 0}, {1, 0, 0}}, {{TAG_MAP_PROJECTION, MAP_SPHERICAL}, {TAG_MAP_AXIS, 1}});
    EXPECT_EQ(face.uv[0][0], 0.0f);
    EXPECT_EQ(face.uv[1][0], -256.0f);
    EXPECT_EQ(face.uv[2][0], -128.0f);
    EXPECT_EQ(face.uv[2][1], -64.0f);  // the angle around the axis, as for the cylinder

    const Face& centre = Map({{0, 0, 0}, {0, 5, 0}, {1, 0, 0}}, {{TAG_MAP_PROJECTION, MAP_SPHERICAL}, {TAG_MAP_AXIS, 1}});
    EXPECT_EQ(centre.uv[0][0], -64.0f);  // the mean of 0 and π/2

    const Face& two = Map({{0, 0, 0}, {0, 0, 0}, {0, -1, 0}}, {{TAG_MAP_PROJECTION, MAP_SPHERICAL}, {TAG_MAP_AXIS, 1}});
    EXPECT_EQ(two.uv[0][0], -256.0f);  // the single other value
    EXPECT_EQ(two.uv[1][0], -256.0f);
}

TEST_F(Mapped, RepeatsMultiplyTheAngles)
{
    const float around = 2.0f;
    const float poles = 0.5f;
    const Face& face = Map({{1, 0, 0}, {0, -5, 0}, {0, 0, 1}}, {{TAG_MAP_PROJECTION, MAP_SPHERICAL},
                                                                {TAG_MAP_AXIS, 1},
                                                                {TAG_MAP_REPEATSAROUND, TagPtr(&around)},
                                                                {TAG_MAP_REPEATSPOLES, TagPtr(&poles)}});
    EXPECT_EQ(face.uv[0][1], -128.0f);
    EXPECT_EQ(face.uv[1][0], -128.0f);
}

TEST_F(Mapped, EveryCallSetsEveryParameterAgain)
{
    const float two = 2.0f;
    Map({{1, 2, 3}, {0, 0, 0}, {1, 1, 1}},
        {{TAG_MAP_PROJECTION, MAP_SPHERICAL}, {TAG_MAP_AXIS, 2}, {TAG_MAP_SCALEX, TagPtr(&two)},
         {TAG_MAP_CENTREZ, TagPtr(&two)}, {TAG_MAP_REPEATSAROUND, TagPtr(&two)}});
    const Face& face = Map({{1, 2, 3}, {0, 0, 0}, {1, 1, 1}}, {});
    EXPECT_EQ(Mapping.projection, MAP_PLANAR);
    EXPECT_EQ(Mapping.axis, 0u);
    EXPECT_EQ(Mapping.scale[0], 1.0f);
    EXPECT_EQ(Mapping.centre[2], 0.0f);
    EXPECT_EQ(Mapping.repeatsAround, 1.0f);
    EXPECT_EQ(Mapping.repeatsPoles, 1.0f);
    EXPECT_EQ(face.uv[0][0], 2.0f);
    EXPECT_EQ(face.uv[0][1], 3.0f);
}

TEST_F(Mapped, UnknownProjectionOrAxisLeavesTheFaceUnchanged)
{
    EXPECT_EQ(Map({{1, 2, 3}, {0, 0, 0}, {1, 1, 1}}, {{TAG_MAP_PROJECTION, 3}}).uv[0][0], 1234.0f);
    EXPECT_EQ(Map({{1, 2, 3}, {0, 0, 0}, {1, 1, 1}}, {{TAG_MAP_AXIS, 3}}).uv[0][0], 1234.0f);
    MapTexture(nullptr, nullptr);
    MapFace(nullptr);
}

TEST(SafeAcos, IsPiAndZeroOutsideMinusOneToOne)
{
    EXPECT_EQ(SafeAcos(-1.0f), 3.1415927f);
    EXPECT_EQ(SafeAcos(-7.0f), 3.1415927f);
    EXPECT_EQ(SafeAcos(1.0f), 0.0f);
    EXPECT_EQ(SafeAcos(1.5f), 0.0f);
    EXPECT_EQ(SafeAcos(0.5f), float(std::acos(0.5)));
    EXPECT_EQ(SafeAcos(0.0f), float(PI / 2));
}

}  // namespace
