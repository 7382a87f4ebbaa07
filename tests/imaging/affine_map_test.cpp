#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "imaging/AffineMap.h"

namespace {

AffineMap Identity()
{
    AffineMap m{};
    m.m[0] = m.m[4] = m.m[8] = 1;
    return m;
}

void Apply(const AffineMap& m, const double p[3], double out[3])
{
    for (int i = 0; i < 3; ++i)
        out[i] = m.m[i * 3] * p[0] + m.m[i * 3 + 1] * p[1] + m.m[i * 3 + 2] * p[2] + m.m[9 + i];
}

TEST(AffineMap, RotationAboutXTakesYToMinusZ)
{
    double p[3] = {0, 1, 0};
    RotatePoint(p, 0, 0, 90);
    EXPECT_EQ(p[0], 0.0);
    EXPECT_NEAR(p[1], 0.0, 1e-16); // the residue of cos 90 is cleaned up
    EXPECT_EQ(p[1], 0.0);
    EXPECT_DOUBLE_EQ(p[2], -1.0);

    // Angle 0 changes nothing but the tiny elements.
    AffineMap m = Identity();
    m.m[1] = 1e-17;
    m.m[9] = 0.25;
    Rotate(m, 30, 40, 0);
    EXPECT_EQ(m.m[1], 0.0);
    EXPECT_EQ(m.m[0], 1.0);
    EXPECT_EQ(m.m[9], 0.25);
}

TEST(AffineMap, PlanarMapTurnsAboutItsFixedPoint)
{
    AffineMap m{};
    m.m[12] = 0.7;
    MakePlanarMap(m, 0.5, 90, 1, 0);
    EXPECT_EQ(m.m[1], -90.0);
    EXPECT_EQ(m.m[12], 0.7); // the measure is kept
    ToMatrix(m);
    double out[3];
    const double fixed[3] = {1, 0, 0}, p[3] = {3, 0, 0};
    Apply(m, fixed, out);
    EXPECT_NEAR(out[0], 1, 1e-15);
    EXPECT_NEAR(out[1], 0, 1e-15);
    Apply(m, p, out);
    EXPECT_NEAR(out[0], 1, 1e-15);
    EXPECT_NEAR(out[1], 1, 1e-15);
    EXPECT_NEAR(out[2], 0, 1e-15);
    EXPECT_EQ(m.m[12], 0.7);
}

TEST(AffineMap, ConjugateTurnsTheAttractor)
{
    // A map with fixed point F: after conjugation by R its fixed point is R F.
    AffineMap p{};
    MakeMap(p, 0.5, 10, 20, 30, 1, 2, 3);
    MapSet set;
    set.count = 1;
    set.maps[0] = p;
    ToMatrix(set.maps[0]);
    Conjugate(set, 45, 45, 36);
    double f[3] = {1, 2, 3}, out[3];
    RotatePoint(f, 45, 45, 36);
    Apply(set.maps[0], f, out);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(out[i], f[i], 1e-12);
}

TEST(AffineMap, DimensionOfThreeHalves)
{
    MapSet set;
    set.count = 3;
    for (int k = 0; k < 3; ++k) {
        set.maps[k].m[12] = 1;
        MakePlanarMap(set.maps[k], 0.5, 0, k, 0);
    }
    EXPECT_NEAR(SimilarityDimension(set), std::log(3.0) / std::log(2.0), 1e-12);
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(set.maps[k].m[12], 1.0 / 3, 1e-12);
}

TEST(AffineMap, DimensionOfDegenerateSetsEnds)
{
    MapSet none;
    EXPECT_EQ(SimilarityDimension(none), 0.0);
    MapSet grow;
    grow.count = 2;
    MakeMap(grow.maps[0], 2.0, 0, 0, 0, 0, 0, 0);
    MakeMap(grow.maps[1], 1.0, 0, 0, 0, 1, 0, 0);
    EXPECT_EQ(SimilarityDimension(grow), 0.0);
    EXPECT_EQ(grow.maps[0].m[12], 0.5);
    MapSet nan;
    nan.count = 1;
    MakeMap(nan.maps[0], std::nan(""), 0, 0, 0, 0, 0, 0);
    EXPECT_TRUE(std::isfinite(SimilarityDimension(nan)));
}

TEST(AffineMap, NormaliseCentersAndScales)
{
    MapSet set;
    set.count = 2;
    MakeMap(set.maps[0], 0.5, 0, 0, 0, 3, 0, 0);
    MakeMap(set.maps[1], 0.5, 0, 0, 0, 7, 0, 0);
    set.maps[0].m[12] = set.maps[1].m[12] = 2;
    ASSERT_TRUE(Normalise(set));
    // The segment [3, 7] moves to [-2, 2] and shrinks to [-1, 1].
    EXPECT_DOUBLE_EQ(set.maps[0].m[12], 0.5);
    EXPECT_NEAR(set.maps[0].m[9], -1, 1e-12);
    EXPECT_NEAR(set.maps[1].m[9], 1, 1e-12);

    // One map: its attractor is its fixed point, moved to the origin and left unscaled.
    MapSet one;
    one.count = 1;
    MakeMap(one.maps[0], 0.5, 0, 0, 0, 2, 0, 0);
    one.maps[0].m[12] = 1;
    ASSERT_TRUE(Normalise(one));
    EXPECT_EQ(one.maps[0].m[9], 0.0);
}

TEST(AffineMap, NormaliseRefusesDegenerateSets)
{
    MapSet zero;
    zero.count = 2;
    MakeMap(zero.maps[0], 0.5, 0, 0, 0, 1, 0, 0);
    MakeMap(zero.maps[1], 0.5, 0, 0, 0, -1, 0, 0);
    zero.maps[0].m[12] = 1;
    zero.maps[1].m[12] = -1; // measures sum to 0
    const MapSet before = zero;
    EXPECT_FALSE(Normalise(zero));
    EXPECT_EQ(zero.maps[0].m[9], before.maps[0].m[9]);

    MapSet identity;
    identity.count = 2;
    for (int k = 0; k < 2; ++k) {
        MakeMap(identity.maps[k], 1.0, 0, 0, 0, k, 0, 0); // ratio product 1, singular system
        identity.maps[k].m[12] = 1;
    }
    EXPECT_FALSE(Normalise(identity));
    MapSet empty;
    EXPECT_FALSE(Normalise(empty));
    MapSet huge;
    huge.count = 30; // beyond the array: only 25 are looked at
    for (auto& m : huge.maps) {
        MakeMap(m, 0.5, 0, 0, 0, 1, 1, 1);
        m.m[12] = 1;
    }
    EXPECT_TRUE(Normalise(huge));
}

TEST(AffineMap, NormaliseSaysWhichMapIsAtFault)
{
    MapSet set;
    set.count = 3;
    for (int k = 0; k < 3; ++k) {
        MakeMap(set.maps[k], 0.5, 0, 0, 0, k, 0, 0);
        set.maps[k].m[12] = 1;
    }
    std::string why;
    set.maps[2].m[4] = 1; // ratio y of the third map
    EXPECT_FALSE(Normalise(set, &why));
    EXPECT_EQ(why, "map 3 has ratio 1; every ratio must be below 1");
    set.maps[2].m[4] = -1.25;
    EXPECT_FALSE(Normalise(set, &why));
    EXPECT_EQ(why, "map 3 has ratio 1.25; every ratio must be below 1");
    set.maps[2].m[4] = 0.5;
    set.maps[1].m[10] = std::nan("");
    EXPECT_FALSE(Normalise(set, &why));
    EXPECT_EQ(why, "map 2 holds a number that is not finite");
    set.maps[1].m[10] = 0;
    set.maps[0].m[12] = -2;
    EXPECT_FALSE(Normalise(set, &why));
    EXPECT_EQ(why, "the measures add up to 0; they must add up to more than 0");
    MapSet empty;
    EXPECT_FALSE(Normalise(empty, &why));
    EXPECT_EQ(why, "there are no maps");
    // 1.5 x (x / 2) - 0.5 x (-x / 2) = x: the centroid's system is singular.
    MapSet flat;
    flat.count = 2;
    MakeMap(flat.maps[0], 0.5, 0, 0, 0, 1, 0, 0);
    MakeMap(flat.maps[1], -0.5, 0, 0, 0, -1, 0, 0);
    flat.maps[0].m[12] = 1.5;
    flat.maps[1].m[12] = -0.5;
    EXPECT_FALSE(Normalise(flat, &why));
    EXPECT_EQ(why, "they have no common centre");
    why.clear();
    set.maps[0].m[12] = 1;
    EXPECT_TRUE(Normalise(set, &why));
    EXPECT_EQ(why, "");
}

TEST(AffineMap, ComposeNextWalksAndEnds)
{
    MapSet set;
    set.count = 2;
    MakeMap(set.maps[0], 0.5, 0, 0, 0, 1, 0, 0);
    MakeMap(set.maps[1], 0.5, 0, 0, 0, -1, 0, 0);
    set.maps[0].m[12] = 0.25;
    set.maps[1].m[12] = 0.75;
    for (auto& m : set.maps)
        ToMatrix(m);
    CompositionLevel root{}, below{};
    const AffineMap id = Identity();
    std::copy(id.m, id.m + 13, root.map);
    root.map[12] = 1;
    double x, y, z, ms, mu;
    ASSERT_TRUE(ComposeNext(set, root, below, x, y, z, ms, mu));
    EXPECT_DOUBLE_EQ(x, 0.5);
    EXPECT_DOUBLE_EQ(ms, 0.25);
    EXPECT_DOUBLE_EQ(mu, 0.25);
    CompositionLevel deeper{};
    ASSERT_TRUE(ComposeNext(set, below, deeper, x, y, z, ms, mu));
    EXPECT_DOUBLE_EQ(x, 0.75); // 0.5 (0.5) + 0.5
    EXPECT_DOUBLE_EQ(mu, 0.0625);
    ASSERT_TRUE(ComposeNext(set, root, below, x, y, z, ms, mu));
    EXPECT_DOUBLE_EQ(x, -0.5);
    CompositionLevel untouched = below;
    EXPECT_FALSE(ComposeNext(set, root, below, x, y, z, ms, mu));
    EXPECT_EQ(root.next, 2);
    EXPECT_EQ(std::memcmp(&untouched, &below, sizeof below), 0);
}

} // namespace
