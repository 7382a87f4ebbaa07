// The child tests of the march's fast walk: each instruction-set variant
// sets the bits the scalar tests set, on cases worked by hand and on random
// pieces and queries, edge values included; and a whole build on each
// variant gives the plain path's cells and pixels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "OneIsa.h"
#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Samples.h"
#include "model/kernels/MarchKernel.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

using march::ChildMaps;
using march::Piece;
using march::Vec;

// The scalar variant runs through the same tests as the vector ones; the
// lanes are compared with it.
using MarchVariant = OneIsa;
using MarchLanes = OneIsa;

// Twenty maps of ratio 1/3 towards the points (i, j, k) of the 3x3x3 cube
// with |i| + |j| + |k| > 1 (translation 2/3 of the point), in that loop
// order; and the root ball about the origin, of radius sqrt(3).
struct Cube {
    Cube()
    {
        AffineMap maps[MapSet::kMaxMaps] = {};
        double norms[MapSet::kMaxMaps] = {};
        int n = 0;
        for (int i = -1; i <= 1; ++i)
            for (int j = -1; j <= 1; ++j)
                for (int k = -1; k <= 1; ++k)
                    if (std::abs(i) + std::abs(j) + std::abs(k) > 1) {
                        point[n][0] = i, point[n][1] = j, point[n][2] = k;
                        maps[n].m[9] = 2.0 * i / 3;
                        maps[n].m[10] = 2.0 * j / 3;
                        maps[n].m[11] = 2.0 * k / 3;
                        norms[n++] = 1.0 / 3;
                    }
        child = march::MakeChildMaps(maps, norms, n);
    }
    ChildMaps child;
    int point[20][3];
    Piece root{{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}, std::sqrt(3.0), 1};
};

TEST_P(MarchVariant, EveryVariantTellsTheNearChildrenOfTheCubeAsWorkedByHand)
{
    const Cube cube;
    ASSERT_EQ(cube.child.count, 20);
    // The children's balls have radius sqrt(3)/3 = 0.577 about 2/3 of their
    // points. The z axis from -10 to 10 passes 2/3 from the centres of the
    // eight children with one of i, j zero and k = +-1, sqrt(8)/3 from the
    // other four with k = +-1 and 2/3 or more from the rest: with eps 0.05
    // it meets none, with eps 0.1 those eight.
    uint32_t eight = 0, twelveEdges = 0;
    for (int n = 0; n < 20; ++n) {
        const int* p = cube.point[n];
        if (std::abs(p[2]) == 1 && std::abs(p[0]) + std::abs(p[1]) == 1)
            eight |= 1u << n;
        if (std::abs(p[0]) + std::abs(p[1]) + std::abs(p[2]) == 2)
            twelveEdges |= 1u << n;
    }
    ASSERT_EQ(__builtin_popcount(eight), 8);
    ASSERT_EQ(__builtin_popcount(twelveEdges), 12);
    {
        const march::ChildTests tests = march::ChildTestsFor(Isa());
        EXPECT_EQ(tests.segment(cube.root, cube.child, {0, 0, -10}, {0, 0, 1}, 20, 0.05), 0u);
        EXPECT_EQ(tests.segment(cube.root, cube.child, {0, 0, -10}, {0, 0, 1}, 20, 0.1), eight);
        // Only the part from z = -10 to -0.5 (length 9.5): the k = -1 half,
        // whose centres at z = -2/3 lie beside it; the others are 1.34 away.
        uint32_t lower = 0;
        for (int n = 0; n < 20; ++n)
            if ((eight >> n & 1) && cube.point[n][2] == -1)
                lower |= 1u << n;
        EXPECT_EQ(tests.segment(cube.root, cube.child, {0, 0, -10}, {0, 0, 1}, 9.5, 0.1), lower);
        // Edge children's centres lie 0.943 from the origin, corners' 1.155:
        // within 0.577 + 0.5 only the edges', within 0.577 + 0.6 all.
        EXPECT_EQ(tests.point(cube.root, cube.child, {0, 0, 0}, 0.5, 0), twelveEdges);
        EXPECT_EQ(tests.point(cube.root, cube.child, {0, 0, 0}, 0.6, 0), (1u << 20) - 1);
        EXPECT_EQ(tests.point(cube.root, cube.child, {0, 0, 0}, 0.3, 0), 0u);
        // As pieces of the sum (radius 0.577 below the scale 1) they count
        // only with their centres within the reach itself: none within 0.5,
        // the edges within 1, all within 1.2.
        EXPECT_EQ(tests.point(cube.root, cube.child, {0, 0, 0}, 0.5, 1), 0u);
        EXPECT_EQ(tests.point(cube.root, cube.child, {0, 0, 0}, 1, 1), twelveEdges);
        EXPECT_EQ(tests.point(cube.root, cube.child, {0, 0, 0}, 1.2, 1), (1u << 20) - 1);
    }
}

TEST_P(MarchVariant, EveryVariantCountsATouchingBallAndRejectsWhatIsNotANumber)
{
    // One map: translation (1, 0, 0), stretch 1/2, under the unit root: a
    // ball of radius 1/2 about (1, 0, 0).
    AffineMap map{};
    map.m[9] = 1;
    const double norm = 0.5;
    const ChildMaps one = march::MakeChildMaps(&map, &norm, 1);
    const Piece root{{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}, 1, 1};
    const double inf = HUGE_VAL;
    {
        const march::ChildTests tests = march::ChildTestsFor(Isa());
        // The y axis from (0, -1, 0), length 2, passes at distance 1 exactly:
        // the ball widened by 1/2 touches it.
        EXPECT_EQ(tests.segment(root, one, {0, -1, 0}, {0, 1, 0}, 2, 0.5), 1u);
        EXPECT_EQ(tests.segment(root, one, {0, -1, 0}, {0, 1, 0}, 2, 0.4999), 0u);
        EXPECT_EQ(tests.point(root, one, {0, 0, 0}, 0.5, 0), 1u);
        EXPECT_EQ(tests.point(root, one, {0, 0, 0}, 0.4999, 0), 0u);
        // As a piece of the sum its centre at distance 1 gives nothing with
        // a reach of 1 (weight base 1 - 1/1 = 0), something with more.
        EXPECT_EQ(tests.point(root, one, {0, 0, 0}, 1, 1), 0u);
        EXPECT_EQ(tests.point(root, one, {0, 0, 0}, 1.0001, 1), 1u);
        EXPECT_EQ(tests.point(root, one, {0, 0, 0}, 1, 0.5), 1u);
        // An endless offset times a zero direction is not a number: no
        // distance, so nothing is near, however wide the ball.
        EXPECT_EQ(tests.segment(root, one, {-inf, 0, 0}, {0, 1, 0}, 2, inf), 0u);
        // Nor does a reach that is not a number keep the normal's walk out
        // of a far piece: its test only leaves out what is seen too far.
        EXPECT_EQ(tests.point(root, one, {9, 0, 0}, std::nan(""), 0), 1u);
        EXPECT_EQ(tests.point(root, one, {9, 0, 0}, std::nan(""), 1), 1u);
        EXPECT_EQ(tests.point(root, one, {9, 0, 0}, 1, 0), 0u);
    }
}

// A random piece: a rotation-like mixed matrix, scaled, anywhere.
Piece RandomPiece(std::mt19937& random)
{
    std::uniform_real_distribution<double> unit(-1, 1);
    Piece p;
    const double scale = std::ldexp(1.0, -int(random() % 12));
    for (double& v : p.m)
        v = unit(random) * scale;
    p.t = {unit(random), unit(random), unit(random)};
    p.rho = scale * (0.5 + unit(random) * 0.4);
    p.mu = 1;
    return p;
}

// Random maps, count 1 to 25: every number of tail lanes.
ChildMaps RandomMaps(std::mt19937& random, int count)
{
    std::uniform_real_distribution<double> unit(-1, 1);
    AffineMap maps[MapSet::kMaxMaps] = {};
    double norms[MapSet::kMaxMaps] = {};
    for (int k = 0; k < count; ++k) {
        for (int i = 9; i < 12; ++i)
            maps[k].m[i] = unit(random);
        norms[k] = 0.2 + 0.3 * (unit(random) + 1);
    }
    return march::MakeChildMaps(maps, norms, count);
}

TEST_P(MarchLanes, EveryVariantSetsTheScalarBitsOnRandomPiecesAndEdgeValues)
{
    std::mt19937 random(2026);
    std::uniform_real_distribution<double> unit(-1, 1);
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = HUGE_VAL;
    const march::ChildTests scalar = march::ChildTestsFor(KernelIsa::kScalar);
    const march::ChildTests tests = march::ChildTestsFor(Isa());
    int nearSeen = 0, farSeen = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        const int count = 1 + trial % MapSet::kMaxMaps;
        const ChildMaps maps = RandomMaps(random, count);
        const Piece parent = RandomPiece(random);
        Vec a{unit(random), unit(random), unit(random)};
        Vec u{unit(random), unit(random), unit(random)};
        const double ul = std::sqrt(Dot(u, u));
        u = {u.x / ul, u.y / ul, u.z / ul};
        double len = (unit(random) + 1) * parent.rho * 3;
        double eps = (unit(random) + 1) * parent.rho * 0.2;
        double reach = (unit(random) + 1) * parent.rho;
        // Below, about or above the children's radii (0.2 to 0.8 of it).
        double scale = (unit(random) + 1) * parent.rho * 0.5;
        // Values that take the clamp's and the comparisons' other branches.
        switch (trial % 16) {
        case 1: len = 0; break;
        case 2: u = {0, 0, 0}; break;
        case 3: a = parent.t, u = {-0.0, 0.0, -0.0}; break;
        case 4: eps = 0, reach = 0; break;
        case 10: scale = inf; break;
        case 11: scale = nan; break;
        case 5: a.x = nan; break;
        case 6: eps = inf, reach = inf; break;
        case 7: len = inf; break;
        case 8: eps = nan, reach = nan; break;
        case 9: a = {1e300, -1e300, 1e300}; break;
        }
        const uint32_t near = scalar.segment(parent, maps, a, u, len, eps);
        const uint32_t entered = scalar.point(parent, maps, a, reach, scale);
        nearSeen += __builtin_popcount(near);
        farSeen += count - __builtin_popcount(near);
        ASSERT_EQ(tests.segment(parent, maps, a, u, len, eps), near) << "trial " << trial << ", " << count << " maps";
        ASSERT_EQ(tests.point(parent, maps, a, reach, scale), entered) << "trial " << trial << ", " << count << " maps";
    }
    // Both answers came up often enough to mean something.
    EXPECT_GT(nearSeen, 10000);
    EXPECT_GT(farSeen, 10000);
}

TEST(MarchKernel, TheScalarBitsAreTheWalksOwnTest)
{
    // Child k made by march::ChildOf from the map itself, tested by
    // march::SegmentNear: the bit the walk's one-by-one loop would take; and
    // entered by the normal's walk when its ball comes within the reach and,
    // if it is a piece of the sum, its centre lies within the reach itself.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    for (int trial = 0; trial < 2000; ++trial) {
        AffineMap maps[MapSet::kMaxMaps] = {};
        double norms[MapSet::kMaxMaps] = {};
        const int count = 1 + trial % MapSet::kMaxMaps;
        for (int k = 0; k < count; ++k) {
            for (double& v : maps[k].m)
                v = unit(random);
            norms[k] = 0.3 + 0.2 * unit(random);
        }
        const ChildMaps lanes = march::MakeChildMaps(maps, norms, count);
        const Piece parent = RandomPiece(random);
        const Vec a{unit(random), unit(random), unit(random)}, u{0.6, 0, 0.8};
        const double eps = 0.1 * parent.rho, len = parent.rho * 4;
        const march::ChildTests tests = march::ChildTestsFor(ChosenKernelIsa());
        const uint32_t near = tests.segment(parent, lanes, a, u, len, eps);
        const double scale = 0.4 * parent.rho;
        const uint32_t entered = tests.point(parent, lanes, a, eps, scale);
        for (int k = 0; k < count; ++k) {
            const Piece c = march::ChildOf(parent, maps[k], norms[k]);
            EXPECT_EQ(bool(near >> k & 1), march::SegmentNear(c, a, u, len, eps)) << trial << ", " << k;
            const Vec w = a - c.t;
            const double r = std::sqrt(Dot(w, w));
            EXPECT_EQ(bool(entered >> k & 1), r <= c.rho + eps && !(c.rho < scale && r >= eps)) << trial << ", " << k;
        }
        EXPECT_EQ(near >> count, 0u);
    }
}

// The cells and pixels of one build and paint of a sample.
std::vector<unsigned char> Picture(int sample, unsigned w, unsigned h)
{
    std::unique_ptr<CFractal> f = MakeSample(sample);
    auto* set = static_cast<CSelfAffineSet*>(f.get());
    CCanvas canvas;
    canvas.m_targetWidth = w;
    canvas.m_targetHeight = h;
    f->Build(canvas);
    f->Draw(canvas);
    const auto& grid = set->m_colorMap.m_grid;
    std::vector<unsigned char> out(grid.size() * sizeof(PixelRecord));
    std::memcpy(out.data(), grid.data(), out.size());
    out.insert(out.end(), canvas.m_bits.begin(), canvas.m_bits.end());
    return out;
}

TEST_P(MarchVariant, BuildsOnEveryVariantGiveThePlainPathsBytes)
{
    struct Reset {
        ~Reset()
        {
            ClearKernelIsaOverride();
            SetExecutionPath(ExecutionPath::kFast);
        }
    } reset;
    const unsigned sizes[][2] = {{101, 77}, {37, 61}};
    for (int sample : {4, 5, 6, 7, 9}) {
        for (const auto& s : sizes) {
            SetExecutionPath(ExecutionPath::kPlain);
            const std::vector<unsigned char> plain = Picture(sample, s[0], s[1]);
            SetExecutionPath(ExecutionPath::kFast);
            OverrideKernelIsa(Isa());
            EXPECT_TRUE(Picture(sample, s[0], s[1]) == plain) << "sample " << sample << " at " << s[0] << "x" << s[1];
            ClearKernelIsaOverride();
        }
    }
}

INSTANTIATE_ISA_TESTS(MarchVariant, KernelIsa::kScalar, KernelIsa::kSse2, KernelIsa::kAvx2, KernelIsa::kAvx512);
INSTANTIATE_ISA_TESTS(MarchLanes, KernelIsa::kSse2, KernelIsa::kAvx2, KernelIsa::kAvx512);

} // namespace
