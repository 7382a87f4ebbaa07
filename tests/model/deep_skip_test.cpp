// The skips of the deep views: the table's merge formulas worked by hand,
// its error terms against an iteration in long double, and images built
// with skips against the plain perturbation and against MPFR.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <vector>

#include "imaging/Parallel.h"
#include "model/deep/DeepPixel.h"
#include "model/deep/LinearSkips.h"
#include "model/deep/ReferenceOrbit.h"
#include "tests/model/DeepImage.h"

namespace {

using namespace deep_test;

TEST(LinearSkips, MergeFormulasWorkedByHand)
{
    // Z_1 = 1/2, Z_2 = i/4: the steps are d <- d + dc and d <- (i/2) d + dc.
    const double re[] = {0, 0.5, 0, 1, 0.5}, im[] = {0, 0, 0.25, 0, 0};
    const double eps = 0x1p-50, dcMax = 0x1p-60, f = kSkipSlack;
    SkipTable<double> table;
    BuildSkipTable<double>(re, im, 5, false, 100, dcMax, eps, table);
    ASSERT_EQ(table.base, 1u);
    ASSERT_EQ(table.levels.size(), 1u); // 3 steps: one skip of 2
    ASSERT_EQ(table.levels[0].size(), 1u);
    const SkipEntry<double>& e = table.levels[0][0];
    // A = (i/2) 1, B = (i/2) 1 + 1.
    EXPECT_EQ(e.ar, 0);
    EXPECT_EQ(e.ai, 0.5);
    EXPECT_EQ(e.br, 1);
    EXPECT_EQ(e.bi, 0.5);
    EXPECT_EQ(e.aAbs, 0.5);
    EXPECT_EQ(e.bAbs, 1.5);
    // r = min(r1, (r2 / f - |B1| dcMax) / |A1|), r_j = 2^-50 |Z_j|.
    EXPECT_EQ(e.r, std::min(0x1p-51, 0x1p-52 / f - 0x1p-60));
    // d_2 - A d - B dc = (i/2) d_1^2 + (d + dc)^2 where d_1 = d + dc.
    EXPECT_EQ(e.qa, f * (0.5 + 1));
    EXPECT_EQ(e.qb, f * 2);
    EXPECT_EQ(e.qc, f * 1);
    EXPECT_EQ(e.ed, 0.5 * eps + 0.5 * eps + 0.5 * eps);
    EXPECT_EQ(e.ec, 0.5 * eps + 0.5 * eps + eps + 1.5 * eps);
    // The product's direction: 1/2 then i/4, so i.
    EXPECT_EQ(e.ur, 0);
    EXPECT_EQ(e.ui, 1);

    // Z_2 past half the radius may not lie inside a skip; a Julia set has
    // no dc, so B = 0.
    BuildSkipTable<double>(re, im, 5, false, 0.4, dcMax, eps, table);
    EXPECT_EQ(table.levels[0][0].r, 0);
    BuildSkipTable<double>(re, im, 5, true, 100, 0.0, eps, table);
    EXPECT_EQ(table.levels[0][0].br, 0);
    EXPECT_EQ(table.levels[0][0].bi, 0);
    EXPECT_EQ(table.levels[0][0].r, std::min(0x1p-51, 0x1p-52 / f));
}

// 3000 steps of the orbit at the spiral's centre, to 200 bits.
bool SpiralOrbit(ReferenceOrbit& orbit)
{
    const long bits = 200;
    MpfrReal cr(bits), ci(bits), zero(bits);
    return cr.Parse("-0.743643887037158704752191506114774") && ci.Parse("0.131825904205311970493132056385139") &&
           ComputeReferenceOrbit(zero, zero, cr, ci, 1e4, 3000, false, nullptr, orbit);
}

// Every valid skip of a real orbit, taken from the edge of its radius:
// iterated step by step with the squares kept (in long double, far finer
// than the bound), the difference lands within the skip's error terms of
// A d + B dc, and every d_j inside stays below 2^-50 |Z_j|.
TEST(LinearSkips, ErrorTermsBoundTheSkippedSteps)
{
    ReferenceOrbit orbit;
    ASSERT_TRUE(SpiralOrbit(orbit));
    ASSERT_EQ(orbit.size(), 3000u);
    const double dcMax = 1e-25, eps = 8 * 0x1p-53;
    SkipTable<double> table;
    BuildSkipTable(orbit.re.data(), orbit.im.data(), orbit.size(), false, 100.0, dcMax, eps, table);
    using C = std::complex<long double>;
    int checked = 0, longest = 0;
    for (size_t l = 0; l < table.levels.size(); ++l)
        for (size_t m = 0; m < table.levels[l].size(); m += 7) {
            const SkipEntry<double>& e = table.levels[l][m];
            if (!(e.r > 0))
                continue;
            const size_t len = size_t(2) << l, first = table.base + m * len;
            for (int a = 0; a < 4; ++a) {
                const C d0 = std::polar((long double)(e.r) * 0.999L, (long double)(a * 1.7));
                const C dc = std::polar((long double)(dcMax), (long double)(a * 2.3 + 0.4));
                C d = d0;
                for (size_t j = first; j < first + len; ++j) {
                    const C z(orbit.re[j], orbit.im[j]);
                    ASSERT_LT(std::abs(d), 0x1p-50L * std::abs(z) * 1.000001L) << l << " " << m << " " << j;
                    d = (2.0L * z + d) * d + dc;
                }
                const C linear = C(e.ar, e.ai) * d0 + C(e.br, e.bi) * dc;
                const long double x = std::abs(d0), y = std::abs(dc);
                const long double bound = e.qa * x * x + e.qb * x * y + e.qc * y * y + e.ed * x + e.ec * y;
                EXPECT_LE(std::abs(d - linear), bound) << l << " " << m;
                // Not vacuous: far below the landing difference itself.
                EXPECT_LT(bound, 1e-9L * std::abs(d)) << l << " " << m;
                ++checked;
            }
            longest = std::max(longest, int(len));
        }
    EXPECT_GT(checked, 100);
    EXPECT_GE(longest, 256);
}

// The pixel loop reads the table only while d^2 < kSkipRatio2 |z|^2, and
// the lanes keep every other step: a skip the table holds must never be
// cut off by that test. Differences in every direction at the edge of each
// skip's radius, with z = Z_i + d rounded as the loop does.
TEST(LinearSkips, TheTableIsReadWheneverASkipIsValid)
{
    ReferenceOrbit orbit;
    ASSERT_TRUE(SpiralOrbit(orbit));
    const double dcMax = 1e-25;
    SkipTable<double> table;
    BuildSkipTable(orbit.re.data(), orbit.im.data(), orbit.size(), false, 100.0, dcMax, deep_pixel::kEps, table);
    int found = 0, tight = 0;
    for (size_t i = table.base; i + 2 < orbit.size(); ++i) {
        const size_t off = i - table.base;
        for (size_t l = 0; l < table.levels.size() && ((off >> l) & 1) == 0; ++l) {
            const size_t m = off >> (l + 1);
            if (m >= table.levels[l].size() || !(table.levels[l][m].r > 0))
                break;
            for (int a = 0; a < 16; ++a) {
                const double reach = table.levels[l][m].r * (1 - 0x1p-40);
                const double dr = reach * std::cos(a * 0.4), di = reach * std::sin(a * 0.4);
                const double zr = orbit.re[i] + dr, zi = orbit.im[i] + di;
                const double d2 = dr * dr + di * di, m2 = zr * zr + zi * zi;
                size_t len = 0;
                if (!deep_pixel::FindSkip(table, i, std::sqrt(d2), 1 << 20, len))
                    continue;
                ++found;
                ASSERT_LT(d2, deep_thresholds::kSkipRatio2 * m2) << i << " " << l;
                // Not a loose test: many reach within 1 % of it.
                tight += d2 > 0.99 * deep_thresholds::kSkipRatio2 * m2;
            }
        }
    }
    EXPECT_GT(found, 10000);
    EXPECT_GT(tight, 1000);
}

// Past the steps where a table keeps skips of every length it keeps the
// longer ones, each the very entry the whole table has; and the table of
// a shorter orbit is the start of a longer one's, entry for entry, so a
// count below the limit builds what it always built.
TEST(LinearSkips, PastTheirFirstStepsTablesKeepTheLongSkipsAsTheyWere)
{
    ReferenceOrbit orbit;
    ASSERT_TRUE(SpiralOrbit(orbit));
    const double dcMax = 1e-25, eps = 8 * 0x1p-53;
    SkipTable<double> whole, sparse, shorter;
    BuildSkipTable(orbit.re.data(), orbit.im.data(), orbit.size(), false, 100.0, dcMax, eps, whole);
    BuildSkipTable(orbit.re.data(), orbit.im.data(), orbit.size(), false, 100.0, dcMax, eps, sparse, 256);
    BuildSkipTable(orbit.re.data(), orbit.im.data(), 1500, false, 100.0, dcMax, eps, shorter);
    auto same = [](const SkipEntry<double>& a, const SkipEntry<double>& b) { return !std::memcmp(&a, &b, sizeof a); };
    ASSERT_EQ(sparse.levels.size(), whole.levels.size());
    int longPastTheFirst = 0;
    for (size_t l = 0; l < whole.levels.size(); ++l) {
        const size_t len = size_t(2) << l;
        // 2997 steps: skips of 2 to 16 over the first 256 only.
        EXPECT_EQ(sparse.levels[l].size(), len < kSkipSparseLength ? 256 / len : 2997 / len) << len;
        for (size_t m = 0; m < sparse.levels[l].size(); ++m) {
            ASSERT_TRUE(same(sparse.levels[l][m], whole.levels[l][m])) << len << " " << m;
            longPastTheFirst += m * len >= 256 && sparse.levels[l][m].r > 0;
        }
        for (size_t m = 0; l < shorter.levels.size() && m < shorter.levels[l].size(); ++m)
            ASSERT_TRUE(same(shorter.levels[l][m], whole.levels[l][m])) << len << " " << m;
    }
    EXPECT_GT(longPastTheFirst, 50);
}

// The search as it was first written: every level from the shortest.
const SkipEntry<double>* WalkLevels(const SkipTable<double>& skips, size_t i, double reach, int64_t room, size_t& len)
{
    if (i < skips.base)
        return nullptr;
    const size_t off = i - skips.base;
    const SkipEntry<double>* best = nullptr;
    for (size_t l = 0; l < skips.levels.size() && ((off >> l) & 1) == 0; ++l) {
        const size_t m = off >> (l + 1), n = size_t(2) << l;
        if (m >= skips.levels[l].size() && int64_t(n) <= room && off + n <= skips.steps)
            continue;
        if (m >= skips.levels[l].size() || int64_t(n) > room || !(reach < skips.levels[l][m].r))
            break;
        best = &skips.levels[l][m];
        len = n;
    }
    return best;
}

// Halving over the long levels finds the very skip the walk finds: from
// every index of a real orbit, dense and sparse tables, reaches at each
// level's radius and just below it, rooms that cut the longest skips.
TEST(LinearSkips, HalvingFindsTheSkipTheWalkFinds)
{
    ReferenceOrbit orbit;
    ASSERT_TRUE(SpiralOrbit(orbit));
    int longOnes = 0, compared = 0;
    for (const size_t all : {kSkipMaxSteps, size_t(256)}) {
        SkipTable<double> table;
        BuildSkipTable(orbit.re.data(), orbit.im.data(), orbit.size(), false, 100.0, 1e-25, 8 * 0x1p-53, table, all);
        for (size_t i = 0; i < orbit.size() + 2; ++i) {
            std::vector<double> reaches = {0, 1e-300, 1};
            for (size_t l = 0; l < table.levels.size(); ++l)
                if (const size_t m = (i - 1) >> (l + 1); i >= 1 && m < table.levels[l].size()) {
                    reaches.push_back(table.levels[l][m].r);
                    reaches.push_back(std::nextafter(table.levels[l][m].r, 0.0));
                }
            for (const double reach : reaches)
                for (const int64_t room : {int64_t(1) << 20, int64_t(40), int64_t(1000 - i % 7)}) {
                    size_t a = 0, b = 0;
                    const SkipEntry<double>* fast = deep_pixel::FindSkip(table, i, reach, room, a);
                    const SkipEntry<double>* walk = WalkLevels(table, i, reach, room, b);
                    ASSERT_EQ(fast, walk) << all << " " << i << " " << reach << " " << room;
                    ASSERT_EQ(fast ? a : 0, walk ? b : 0);
                    longOnes += walk && b >= kSkipSparseLength * 4;
                    ++compared;
                }
        }
    }
    EXPECT_GT(compared, 100000);
    EXPECT_GT(longOnes, 500);
}

// A wide table's search with the reach compared in doubles with its radii
// finds FloatExp's skip: reaches at each level's radius and one unit below
// it, below and above the radii's doubles, and radii no double holds at
// their scale (some orbit values scaled far towards 0).
TEST(LinearSkips, WideSearchInDoublesFindsFloatExpsSkip)
{
    ReferenceOrbit orbit;
    ASSERT_TRUE(SpiralOrbit(orbit));
    int compared = 0, outside = 0;
    for (const int64_t scale : {0, -2100}) {
        std::vector<FloatExp> re(orbit.size()), im(orbit.size());
        for (size_t j = 0; j < orbit.size(); ++j) {
            const FloatExp by = FloatExp::Normal(1, j % 97 == 5 ? scale : 0);
            re[j] = FloatExp(orbit.re[j]) * by;
            im[j] = FloatExp(orbit.im[j]) * by;
        }
        SkipTable<FloatExp> table;
        BuildSkipTable(re.data(), im.data(), re.size(), false, FloatExp(100.0), FloatExp::Normal(1, -997),
                       FloatExp(8 * 0x1p-53), table);
        ASSERT_EQ(table.radii.size(), table.levels.size());
        for (size_t i = 0; i < orbit.size(); i += 3) {
            std::vector<FloatExp> reaches = {FloatExp(0.0), FloatExp::Normal(0.5, -5000), FloatExp::Normal(0.5, 3000)};
            for (size_t l = 0; l < table.levels.size(); ++l)
                if (const size_t m = (i - 1) >> (l + 1); i >= 1 && m < table.levels[l].size()) {
                    const FloatExp r = table.levels[l][m].r;
                    reaches.push_back(r);
                    reaches.push_back(r * FloatExp(1 - 0x1p-53));
                    outside += std::isnan(table.radii[l][m]);
                }
            for (const FloatExp reach : reaches) {
                size_t a = 0, b = 0;
                const SkipEntry<FloatExp>* fast = deep_pixel::FindWideSkip(table, i, reach, 1 << 20, a);
                const SkipEntry<FloatExp>* plain = deep_pixel::FindSkip(table, i, reach, 1 << 20, b);
                ASSERT_EQ(fast, plain) << scale << " " << i << " " << reach.m << "p" << reach.e;
                ASSERT_EQ(fast ? a : 0, plain ? b : 0);
                ++compared;
            }
        }
    }
    EXPECT_GT(compared, 20000);
    EXPECT_GT(outside, 10);
}

// A wide table takes its steps and merges in doubles where they round as
// FloatExp does: entry for entry it has the bits of one taken in FloatExp
// throughout, at every depth, with orbit values scaled towards 0 or far out
// (whose entries leave the doubles' range below or above, and must fall
// back), and on every path that builds entries, the sparse one included.
TEST(LinearSkips, WideTablesTakenInDoublesHaveTheFloatExpBits)
{
    ReferenceOrbit orbit;
    ASSERT_TRUE(SpiralOrbit(orbit));
    const FloatExp eps(8 * 0x1p-53);
    auto same = [](const SkipEntry<FloatExp>& a, const SkipEntry<FloatExp>& b) {
        return !std::memcmp(&a, &b, sizeof a);
    };
    using W = SkipEntry<FloatExp>;
    using D = SkipEntry<double>;
    const std::pair<FloatExp W::*, double D::*> kParts[] = {
        {&W::ar, &D::ar},     {&W::ai, &D::ai},     {&W::br, &D::br}, {&W::bi, &D::bi},
        {&W::aAbs, &D::aAbs}, {&W::bAbs, &D::bAbs}, {&W::qa, &D::qa}, {&W::qb, &D::qb},
        {&W::qc, &D::qc},     {&W::ed, &D::ed},     {&W::ec, &D::ec}};
    int beyondDoubles = 0, entries = 0;
    for (const int64_t scale : {0, -500, -540, -1030, 700}) {
        std::vector<FloatExp> re(orbit.size()), im(orbit.size());
        for (size_t j = 0; j < orbit.size(); ++j) {
            // Every 97th value.
            const int64_t by = j % 97 == 5 ? scale : 0;
            re[j] = FloatExp(orbit.re[j]) * FloatExp::Normal(1, by);
            im[j] = FloatExp(orbit.im[j]) * FloatExp::Normal(1, by);
        }
        for (const FloatExp dcMax : {FloatExp(1e-25), FloatExp::Normal(1, -997), FloatExp::Normal(1, -3322)})
            for (const bool julia : {false, true})
                for (const size_t all : {kSkipMaxSteps, size_t(256)}) {
                    SkipTable<FloatExp> fast, plain;
                    const FloatExp dc = julia ? FloatExp(0.0) : dcMax, radius(100.0);
                    BuildSkipTable(re.data(), im.data(), re.size(), julia, radius, dc, eps, fast, all);
                    BuildSkipTable(re.data(), im.data(), re.size(), julia, radius, dc, eps, plain, all, false);
                    ASSERT_EQ(fast.levels.size(), plain.levels.size());
                    for (size_t l = 0; l < plain.levels.size(); ++l) {
                        ASSERT_EQ(fast.levels[l].size(), plain.levels[l].size());
                        for (size_t m = 0; m < plain.levels[l].size(); ++m) {
                            const SkipEntry<FloatExp>& e = plain.levels[l][m];
                            ASSERT_TRUE(same(fast.levels[l][m], e)) << scale << " " << l << " " << m;
                            // The entry's doubles, where it has them, are its
                            // parts exactly; it lacks them only where a part
                            // is no normal double.
                            const SkipEntry<double>& d = fast.inDoubles[l][m];
                            bool held = true, equal = d.ur == e.ur && d.ui == e.ui;
                            for (const auto& [wide, inDoubles] : kParts) {
                                const FloatExp x = e.*wide;
                                held = held && (x.m == 0 || (x.e >= -1021 && x.e <= 1024));
                                equal = equal && d.*inDoubles == (x.m == 0 ? 0 : std::ldexp(x.m, int(x.e)));
                            }
                            ASSERT_EQ(d.r != 0, held) << scale << " " << l << " " << m;
                            ASSERT_TRUE(!held || equal) << scale << " " << l << " " << m;
                            ++entries;
                            beyondDoubles += e.qa.m != 0 && (e.qa.e < -1021 || e.qa.e > 1024);
                        }
                    }
                }
    }
    EXPECT_GT(entries, 50000);
    // The fallback was taken: some entries no double holds.
    EXPECT_GT(beyondDoubles, 100);
}

// A zoom about the centre keeps the table but for its radii: made anew for
// each largest |dc| in turn, doubles and wide tables alike, they must be
// the bytes a fresh build gives, its doubles' radii and gaps included. A
// sparse table, whose long skips past the every-length part are merged
// from single steps, is left as it was.
template <class T>
void ExpectRadiiOfAFreshBuild(const std::vector<T>& re, const std::vector<T>& im, const std::vector<T>& dcMaxes)
{
    // A radius the orbit comes near: its values near half of it end skips.
    const T radius(1.0), eps(8 * 0x1p-53);
    auto same = [](const auto& a, const auto& b) {
        return a.size() == b.size() && !std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0]));
    };
    SkipTable<T> kept;
    BuildSkipTable(re.data(), im.data(), re.size(), false, radius, dcMaxes[0], eps, kept);
    int moved = 0;
    for (size_t k = 1; k < dcMaxes.size(); ++k) {
        const std::vector<std::vector<SkipEntry<T>>> before = kept.levels;
        ASSERT_TRUE(RadiiForView(re.data(), im.data(), false, radius, dcMaxes[k], kept));
        SkipTable<T> fresh;
        BuildSkipTable(re.data(), im.data(), re.size(), false, radius, dcMaxes[k], eps, fresh);
        ASSERT_EQ(kept.levels.size(), fresh.levels.size());
        for (size_t l = 0; l < fresh.levels.size(); ++l) {
            ASSERT_TRUE(same(kept.levels[l], fresh.levels[l])) << k << " " << l;
            for (size_t m = 0; m < before[l].size(); ++m)
                moved += std::memcmp(&before[l][m].r, &fresh.levels[l][m].r, sizeof(T)) != 0;
        }
        ASSERT_EQ(kept.radii.size(), fresh.radii.size());
        for (size_t l = 0; l < fresh.radii.size(); ++l) {
            ASSERT_TRUE(same(kept.inDoubles[l], fresh.inDoubles[l])) << k << " " << l;
            ASSERT_TRUE(same(kept.radii[l], fresh.radii[l])) << k << " " << l;
        }
        EXPECT_EQ(kept.radiusScale, fresh.radiusScale);
        EXPECT_EQ(kept.gapA, fresh.gapA);
        EXPECT_EQ(kept.gapB, fresh.gapB);
        EXPECT_EQ(kept.gapC, fresh.gapC);
    }
    EXPECT_GT(moved, 1000); // the radii did change
    SkipTable<T> sparse;
    BuildSkipTable(re.data(), im.data(), re.size(), false, radius, dcMaxes[0], eps, sparse, 256);
    const std::vector<std::vector<SkipEntry<T>>> levels = sparse.levels;
    EXPECT_FALSE(RadiiForView(re.data(), im.data(), false, radius, dcMaxes[1], sparse));
    for (size_t l = 0; l < levels.size(); ++l)
        EXPECT_TRUE(same(levels[l], sparse.levels[l])) << l;
}

TEST(LinearSkips, AnotherViewsRadiiAreThoseOfAFreshBuild)
{
    ReferenceOrbit orbit;
    ASSERT_TRUE(SpiralOrbit(orbit));
    ExpectRadiiOfAFreshBuild<double>(orbit.re, orbit.im, {1e-25, 1e-20, 1e-31, 1e-9, 3e-25});
    std::vector<FloatExp> re(orbit.size()), im(orbit.size());
    for (size_t j = 0; j < orbit.size(); ++j) {
        // Every 97th value where no double holds its entries.
        const int64_t by = j % 97 == 5 ? -1030 : 0;
        re[j] = FloatExp(orbit.re[j]) * FloatExp::Normal(1, by);
        im[j] = FloatExp(orbit.im[j]) * FloatExp::Normal(1, by);
    }
    ExpectRadiiOfAFreshBuild<FloatExp>(
        re, im, {FloatExp::Normal(1, -997), FloatExp::Normal(1, -3322), FloatExp(1e-25), FloatExp::Normal(3, -1001)});
}

// A wide pixel's whole run, its skips near the reference in scaled doubles
// and its steps in BlockExp, ends in FloatExp's bits, value for value: a
// rounding there would not reach the float cells. Centres whose orbit has
// no zero part, one with zero real parts (i) and one with no imaginary part
// (the real axis), at 1e-300 to 1e-1000, pixels inside and escaping, and
// pixels that end while they still skip.
TEST(DeepPixel, WideRunsInDoublesAndBlocksEndInFloatExpsBits)
{
    struct Case {
        const char *re, *im;
        int64_t exponent; // of the pixel size
        int iterations;
    };
    const Case cases[] = {
        {"-0.743643887037158704752191506114774", "0.131825904205311970493132056385139", -997, 3000},
        {"0", "1", -1330, 3000},
        {"0", "1", -3322, 9000},
        // Ending inside while they still skip: the last values are the skips'.
        {"0", "1", -1330, 512},
        {"-1.3", "0", -1100, 512},
        {"-1.7548776662466927600495088963585", "0", -1100, 3000},
    };
    int pixels = 0, escaped = 0, skipped = 0;
    for (const Case& c : cases) {
        const long bits = long(-c.exponent) + 80;
        MpfrReal cr(bits), ci(bits), zero(bits);
        ASSERT_TRUE(cr.Parse(c.re) && ci.Parse(c.im));
        ReferenceOrbit orbit;
        ASSERT_TRUE(ComputeReferenceOrbit(zero, zero, cr, ci, 1e4, size_t(c.iterations) + 3, true, nullptr, orbit));
        const FloatExp pixel = FloatExp::Normal(1, c.exponent), radius(100.0);
        SkipTable<FloatExp> table;
        BuildSkipTable(orbit.reWide.data(), orbit.imWide.data(), orbit.size(), false, radius, pixel * FloatExp(12.0),
                       FloatExp(deep_pixel::kEps), table);
        deep_pixel::Setup<FloatExp> s;
        s.start = s.rebase = deep_pixel::View(orbit, static_cast<FloatExp*>(nullptr));
        s.startSkips = s.rebaseSkips = &table;
        s.pixel = pixel;
        s.radius2 = FloatExp(1e4);
        s.radius = radius;
        s.g = FloatExp(1.0);
        s.maxIterations = c.iterations;
        // From w_0 = 0, and from w_1 = c as a view starts, whose first
        // tested step is an odd one from the table's base, taken singly.
        for (const size_t start : {0, 1})
            for (int j = -4; j <= 4; ++j)
                for (int i = -4; i <= 4; ++i) {
                    s.startIndex = start;
                    // Off the grid of pixels, so that the products round.
                    const FloatExp dr = FloatExp(double(j) + 0.318309886) * pixel,
                                   di = FloatExp(double(i) + 0.5) * pixel;
                    deep_pixel::PixelRun<FloatExp> fast = deep_pixel::StartPixel<FloatExp>(s, dr, di, dr, di),
                                                   plain = fast;
                    s.blocks = true;
                    deep_pixel::ContinuePixel(s, fast, false);
                    s.blocks = false;
                    deep_pixel::ContinuePixel(s, plain, false);
                    bool same = fast.i == plain.i && fast.k == plain.k && fast.doubtful == plain.doubtful &&
                                fast.orbit == plain.orbit && fast.out.count == plain.out.count &&
                                fast.out.skipped == plain.out.skipped && fast.out.steps == plain.out.steps &&
                                !std::memcmp(&fast.out.cell, &plain.out.cell, sizeof fast.out.cell);
                    deep_step::EachValue(fast.v, plain.v, [&](FloatExp a, FloatExp b) {
                        same = same && !std::memcmp(&a, &b, sizeof a);
                    });
                    ASSERT_TRUE(same) << c.re << " " << c.im << " 2^" << c.exponent << " " << j << " " << i << " from "
                                      << start;
                    ++pixels;
                    escaped += fast.out.count > 0;
                    skipped += fast.out.skipped > 0;
                }
    }
    EXPECT_EQ(skipped, pixels);
    EXPECT_GT(escaped, pixels / 4);
}

// A view whose every pixel is inside runs the whole count; with the
// tables' every-length part cut to 256 steps, the pixels skip on past it
// (stepping one by one there, 20,000 steps would skip about 1 %), and
// escape exactly where they did.
TEST(DeepView, PixelsSkipPastTheStepsWhereTablesKeepEveryLength)
{
    DeepJob job = Job("-0.1", "0.5", 1e-30, 32, 24, 20000);
    job.skipAllLengths = 256;
    Image sparse(32, 24), whole(32, 24);
    const DeepOutcome a = BuildDeep(job, sparse);
    ASSERT_EQ(a.error, "");
    EXPECT_GT(double(a.skippedIterations), 0.95 * double(a.totalIterations));
    EXPECT_EQ(a.totalIterations, 32 * 24 * int64_t(20001)); // z_1 to z_(n+1)
    job.skipAllLengths = kSkipMaxSteps;
    BuildDeep(job, whole);
    EXPECT_EQ(sparse.counts, whole.counts);
    EXPECT_EQ(*std::max_element(sparse.counts.begin(), sparse.counts.end()), -1);
}

// With every doubtful pixel given its own reference, the image does not
// depend on the skips; here they take most of the iterations. Tables that
// keep every length over only 64 steps give it too.
TEST(DeepView, SkipsGiveThePlainPerturbationsImage)
{
    struct Case {
        DeepJob job;
        double share; // at least this much skipped
    };
    std::vector<Case> cases;
    cases.push_back({Job("0", "1", 1e-30, 48, 36, 1000), 0.1});
    cases.push_back({cases[0].job, 0.1});
    cases.back().job.forceWide = true;
    const double cRe = -0.4, cIm = 0.6, g = 1.8;
    DeepJob julia = Job(FixedPointCenter(cRe, cIm, g, false), FixedPointCenter(cRe, cIm, g, true), 1e-25, 48, 36, 2000);
    julia.julia = true;
    julia.cRe = cRe;
    julia.cIm = cIm;
    julia.g = g;
    cases.push_back({julia, 0.05});
    for (size_t n = 0, count = cases.size(); n < count; ++n) {
        cases.push_back(cases[n]);
        cases.back().job.skipAllLengths = 64;
    }
    for (const Case& c : cases) {
        DeepJob job = c.job;
        Image on(job.width, job.height), off(job.width, job.height);
        const DeepOutcome a = BuildDeep(job, on);
        job.linearSkips = false;
        const DeepOutcome b = BuildDeep(job, off);
        ASSERT_EQ(a.error, "");
        ASSERT_FALSE(a.stopped || b.stopped);
        EXPECT_GT(double(a.skippedIterations), c.share * double(a.totalIterations)) << job.julia << job.forceWide;
        EXPECT_EQ(b.skippedIterations, 0);
        EXPECT_EQ(a.totalIterations, b.totalIterations);
        EXPECT_EQ(on.counts, off.counts) << job.julia << job.forceWide;
        on.Paint();
        off.Paint();
        int colorsOff = 0;
        for (size_t n = 0; n < on.canvas.m_bits.size(); ++n)
            colorsOff += std::abs(int(on.canvas.m_bits[n]) - int(off.canvas.m_bits[n])) > 1;
        EXPECT_EQ(colorsOff, 0) << job.julia << job.forceWide;
        const auto [lo, hi] = std::minmax_element(on.counts.begin(), on.counts.end());
        EXPECT_GT(*hi - std::max(*lo, 0), 10); // not a blank view
    }
}

} // namespace

namespace {

using namespace deep_test;

// Doubtful pixels past the budget keep the difference iteration's own,
// whole result; which ones get an orbit of their own depends on the view
// alone, not on the threads.
TEST(DeepView, OwnReferenceBudgetKeepsTheDifferenceResult)
{
    DeepJob job = Job("-0.7436438870371587", "0.1318259042053119", 1e-12, 64, 48, 5000);
    job.secondTry = false;
    Image all(64, 48), none(64, 48);
    const DeepOutcome a = BuildDeep(job, all);
    ASSERT_GT(a.ownReferences, 2);
    EXPECT_EQ(a.doubtfulKept, 0);
    job.ownReferenceBudget = 0;
    const DeepOutcome b = BuildDeep(job, none);
    EXPECT_EQ(b.ownReferences, 0);
    EXPECT_EQ(b.doubtfulKept, a.ownReferences);
    // The status line says how many were left.
    EXPECT_EQ(DoubtfulNote(a), "");
    EXPECT_EQ(DoubtfulNote(b), std::to_string(a.ownReferences) + " pixels left doubtful");
    // Every cell written, and only doubtful ones may differ.
    int differ = 0;
    for (int i = 0; i < 48; ++i)
        for (int j = 0; j < 64; ++j) {
            ASSERT_NE(none.Count(i, j), -2);
            ASSERT_GT(none.Cell(i, j).value, 0);
            differ += none.Count(i, j) != all.Count(i, j) || none.Cell(i, j).value != all.Cell(i, j).value;
        }
    EXPECT_LE(differ, a.ownReferences);

    // A budget for some: the first in row order get theirs, on any path.
    job.ownReferenceBudget = 12000; // two or three pixels of a few thousand iterations
    Image fast(64, 48), plain(64, 48);
    const DeepOutcome c = BuildDeep(job, fast);
    SetExecutionPath(ExecutionPath::kPlain);
    const DeepOutcome d = BuildDeep(job, plain);
    SetExecutionPath(ExecutionPath::kFast);
    EXPECT_GT(c.ownReferences, 0);
    EXPECT_GT(c.doubtfulKept, 0);
    EXPECT_EQ(c.ownReferences + c.doubtfulKept, a.ownReferences);
    EXPECT_EQ(c.ownReferences, d.ownReferences);
    EXPECT_EQ(fast.counts, plain.counts);
    EXPECT_EQ(
        0, std::memcmp(fast.map.m_grid.data(), plain.map.m_grid.data(), fast.map.m_grid.size() * sizeof(PixelRecord)));
}

TEST(DeepView, MemoryNeedCoversTheOrbitsAndStaysBounded)
{
    DeepJob job = Job("-0.5", "0", 1e-20, 8, 6, 1000);
    job.linearSkips = false;
    const uint64_t plain = DeepMemoryNeed(job);
    // At least the orbit: 1003 values of two doubles.
    EXPECT_GE(plain, 1003u * 16u);
    job.linearSkips = true;
    const uint64_t skips = DeepMemoryNeed(job);
    // A table entry for each step past the first.
    EXPECT_EQ(skips - plain, 1002u * sizeof(SkipEntry<double>));
    job.julia = true;
    // Two orbits, each also kept to 106 bits for the second try.
    EXPECT_EQ(DeepMemoryNeed(job) - skips, 1003u * 32u + 1002u * sizeof(SkipEntry<double>));
    job.julia = false;
    job.forceWide = true;
    EXPECT_GT(DeepMemoryNeed(job), skips);

    // The longest views.
    job.forceWide = false;
    job.maxIterations = kDeepMaxIterations;
    const uint64_t longest = DeepMemoryNeed(job);
    EXPECT_GE(longest, uint64_t(kDeepMaxIterations) * 16u);
    job.linearSkips = false;
    // The table grows past the steps where it keeps every length, so pixels
    // there skip too, but stays below the size of the orbit.
    const uint64_t table = longest - DeepMemoryNeed(job);
    EXPECT_GT(table, kSkipMaxSteps * sizeof(SkipEntry<double>));
    EXPECT_LT(table, uint64_t(kDeepMaxIterations) * 16u);

    // Beyond them, a clear refusal and no cell touched.
    job.maxIterations = kDeepMaxIterations + 1;
    Image image(8, 6);
    image.Cell(2, 3).value = 7;
    EXPECT_EQ(BuildDeep(job, image).error, "A deep view iterates at most 100000000 times, not 100000001");
    EXPECT_EQ(image.Cell(2, 3).value, 7);
    EXPECT_EQ(image.Count(2, 3), -2);
}

} // namespace
