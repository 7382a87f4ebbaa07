// Reference orbits carried on in pieces and kept from one build to the
// next: every value and bound must be those of the orbit computed at once,
// and every pixel that of a build with nothing kept.

#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/Parallel.h"
#include "model/deep/DeepView.h"
#include "model/deep/ReferenceCache.h"
#include "model/deep/ReferenceOrbit.h"
#include "numbers/Mpfr.h"
#include "tests/model/DeepImage.h"

namespace {

using namespace deep_test;

// The split by bits must be frexp's, whatever the double: normal or
// subnormal, either sign, near either end of the range, and the sums'
// scaled mantissa must be ldexp's.
TEST(FloatExp, SplitsAsFrexpDoes)
{
    std::mt19937_64 random(27);
    std::vector<double> values = {0x1p-1074, -0x1p-1074, 0x1p-1022, 0x1.fffffffffffffp1023, -0x1p-1030, 0.5, 1.0, -3.0};
    for (int n = 0; n < 100000; ++n) {
        const uint64_t bits = random();
        const double v = std::bit_cast<double>(bits);
        if (std::isfinite(v))
            values.push_back(v);
    }
    for (const double v : values) {
        int shift = 0;
        const double m = std::frexp(v, &shift);
        const FloatExp f = FloatExp::Normal(v, 5);
        ASSERT_TRUE(f.m == m && f.e == shift + 5 && std::signbit(f.m) == std::signbit(m)) << v;
    }
    for (size_t n = 0; n + 1 < values.size(); ++n) {
        const FloatExp a = FloatExp::Normal(values[n], 0), b = FloatExp::Normal(values[n + 1], -int64_t(n % 61));
        const FloatExp big = a.e < b.e ? b : a, small = a.e < b.e ? a : b;
        const FloatExp sum = a + b;
        const FloatExp expected =
            small.e - big.e < -60 ? big : FloatExp::Normal(big.m + std::ldexp(small.m, int(small.e - big.e)), big.e);
        ASSERT_TRUE(sum.m == expected.m && sum.e == expected.e) << values[n] << " + " << values[n + 1];
    }
}

void ExpectSameOrbit(const ReferenceOrbit& a, const ReferenceOrbit& b, const char* what)
{
    EXPECT_EQ(a.re, b.re) << what;
    EXPECT_EQ(a.im, b.im) << what;
    EXPECT_EQ(a.reLow, b.reLow) << what;
    EXPECT_EQ(a.imLow, b.imLow) << what;
    ASSERT_EQ(a.reWide.size(), b.reWide.size()) << what;
    for (size_t n = 0; n < a.reWide.size(); ++n)
        ASSERT_TRUE(a.reWide[n].m == b.reWide[n].m && a.reWide[n].e == b.reWide[n].e &&
                    a.imWide[n].m == b.imWide[n].m && a.imWide[n].e == b.imWide[n].e)
            << what << " at " << n;
    EXPECT_EQ(a.bitsShort, b.bitsShort) << what;
}

// The first c is 1e-40 from a point of the seahorse valley that lands on a
// repelling fixed point of multiplier 1.0067 (bench/deep_bench.cpp): it
// leaves after some 14,000 steps, its rounding bound growing all the
// while. The second, -0.1 + 0.5 i, is inside and never leaves. Each is
// carried on in pieces, one of them stopped at its first check, and must
// equal at every cut the orbit computed at once to it.
TEST(ReferenceIteration, CarriedOnInPiecesIsTheOrbitComputedAtOnce)
{
    struct Case {
        const char *re, *im;
        bool wide, low;
    };
    for (const Case c : {Case{"-0.7436445109732858958307855914486867098357",
                              "0.1318470688804889271001173529165082038121", false, true},
                         Case{"-0.1", "0.5", true, false}}) {
        const long bits = 128;
        MpfrReal x(bits), y(bits);
        bool exactX = false, exactY = false;
        ASSERT_TRUE(x.Parse(c.re, &exactX) && y.Parse(c.im, &exactY));
        const MpfrReal zero(bits);
        ReferenceIteration iteration(zero, zero, x, y, 1e4, c.wide, exactX && exactY, 1, c.low);
        ReferenceOrbit pieces;
        std::atomic<bool> stop{true};
        // Stopped at its first check, after 4096 values: what is kept is
        // carried on.
        EXPECT_FALSE(iteration.Extend(10000, &stop, pieces));
        EXPECT_EQ(pieces.size(), 4096u);
        for (const size_t cut : {size_t(10000), size_t(10001), size_t(25000), size_t(60000)}) {
            ASSERT_TRUE(iteration.Extend(cut, nullptr, pieces));
            ReferenceOrbit atOnce;
            ASSERT_TRUE(
                ComputeReferenceOrbit(zero, zero, x, y, 1e4, cut, c.wide, nullptr, atOnce, exactX && exactY, 1, c.low));
            ASSERT_EQ(pieces.size(), atOnce.size());
            ExpectSameOrbit(pieces, atOnce, c.re);
        }
        // The first orbit escaped between the cuts, its bound grown from
        // nothing; the second runs them all.
        EXPECT_EQ(iteration.Escaped(), c.low);
        EXPECT_EQ(pieces.size() < 60000, c.low);
        if (c.low) {
            EXPECT_GT(pieces.bitsShort, 0);
        }
    }
}

// Past some 8,000 bits the product of a step is taken on a second thread
// while this one squares: the values, bounds and escapes must be those of
// the plain path's steps on one thread, for an orbit that stays, one whose
// bound grows, and one that leaves after some 30 steps, computed at once
// and carried on in pieces.
TEST(ReferenceIteration, ProductsTakenBesideTheSquaresChangeNoValue)
{
    struct Case {
        const char *re, *im;
        bool wide, low;
    };
    for (const long bits : {8192L, 12007L})
        for (const Case c : {Case{"-0.1", "0.5", true, false},
                             Case{"-0.7436445109732858958307855914486867098357",
                                  "0.1318470688804889271001173529165082038121", false, true},
                             Case{"0.26", "0.0001", true, false}}) {
            MpfrReal x(bits), y(bits);
            ASSERT_TRUE(x.Parse(c.re) && y.Parse(c.im));
            const MpfrReal zero(bits);
            ReferenceOrbit plain, atOnce, pieces;
            SetExecutionPath(ExecutionPath::kPlain);
            ComputeReferenceOrbit(zero, zero, x, y, 1e4, 700, c.wide, nullptr, plain, false, 1, c.low);
            SetExecutionPath(ExecutionPath::kFast);
            ComputeReferenceOrbit(zero, zero, x, y, 1e4, 700, c.wide, nullptr, atOnce, false, 1, c.low);
            ReferenceIteration iteration(zero, zero, x, y, 1e4, c.wide, false, 1, c.low);
            ASSERT_TRUE(iteration.Extend(300, nullptr, pieces) && iteration.Extend(700, nullptr, pieces));
            ExpectSameOrbit(atOnce, plain, c.re);
            ExpectSameOrbit(pieces, plain, c.re);
            EXPECT_EQ(plain.size() < 100, c.re[1] == '.') << c.re; // only 0.26 leaves
        }
}

// Zooms about the centre and a raised count, each built with the kept
// orbits and without: the cells and counts must be the same bytes, the
// kept orbits must have been read, and the last view of each walk must
// agree with MPFR per pixel.
struct Walk {
    DeepJob job;
    long mpfrBits;
    // The orbits run the whole count (none escapes): a higher one carries
    // them on; escaped ones are read as they are.
    bool orbitsRunTheCount;
};

void ExpectKeptOrbitsChangeNothing(const Walk& walk)
{
    DeepJob job = walk.job;
    const int w = job.width, h = job.height;
    ReferenceCache orbits;
    const auto step = [&](const char* what) {
        Image fresh(w, h), kept(w, h);
        job.orbits = nullptr;
        ASSERT_FALSE(BuildDeep(job, fresh).stopped) << what;
        job.orbits = &orbits;
        orbits.BeginBuild();
        ASSERT_FALSE(BuildDeep(job, kept).stopped) << what;
        EXPECT_EQ(fresh.counts, kept.counts) << what;
        for (int i = 0; i < h; ++i)
            ASSERT_EQ(std::memcmp(&fresh.Cell(i, 0), &kept.Cell(i, 0), sizeof(PixelRecord) * size_t(w)), 0)
                << what << ", row " << i;
        // The same view again reads the skip tables kept with the orbits.
        Image again(w, h);
        const size_t tables = orbits.TableReuses();
        orbits.BeginBuild();
        ASSERT_FALSE(BuildDeep(job, again).stopped) << what;
        EXPECT_EQ(orbits.TableReuses() - tables, job.julia ? 2u : 1u) << what;
        EXPECT_EQ(fresh.counts, again.counts) << what;
        for (int i = 0; i < h; ++i)
            ASSERT_EQ(std::memcmp(&fresh.Cell(i, 0), &again.Cell(i, 0), sizeof(PixelRecord) * size_t(w)), 0)
                << what << ", row " << i;
    };
    const size_t orbitCount0 = job.julia ? 2 : 1;
    step("first view");
    const size_t firstSteps = orbits.Steps();
    EXPECT_EQ(orbits.Reuses(), orbitCount0); // the same view again
    const size_t radii = orbits.RadiiReuses();
    job.pixelSize = job.pixelSize / FloatExp(1.5);
    step("zoomed in by 1.5");
    job.pixelSize = job.pixelSize / FloatExp(1.5);
    step("zoomed in again");
    // The zooms kept the tables but for their radii (a Julia set's do not
    // depend on the view's size, and are read as they are).
    EXPECT_EQ(orbits.RadiiReuses() - radii, job.julia ? 0u : 2u);
    const size_t orbitCount = job.julia ? 2 : 1;
    EXPECT_EQ(orbits.Reuses(), 5 * orbitCount);
    EXPECT_EQ(orbits.Steps(), firstSteps); // no step computed twice
    job.maxIterations *= 4;
    step("four times the count");
    EXPECT_EQ(orbits.Reuses(), 7 * orbitCount);
    EXPECT_EQ(orbits.Steps() > firstSteps, walk.orbitsRunTheCount);
    Image deep(w, h), reference(w, h);
    job.orbits = &orbits;
    ASSERT_FALSE(BuildDeep(job, deep).stopped);
    BuildReference(job, walk.mpfrBits, reference);
    ExpectSameImage(deep, reference);
    EXPECT_EQ(orbits.Kept(), orbitCount);
    // A pan to another centre lets the old orbit go before computing the
    // new one: a view holds only the orbits it needs.
    // (its last digit changed: the same precision).
    job.centerRe.back() = job.centerRe.back() == '1' ? '2' : '1';
    const size_t reuses = orbits.Reuses();
    step("panned");
    EXPECT_EQ(orbits.Kept(), orbitCount);
    // A Julia view's critical point stays.
    EXPECT_EQ(orbits.Reuses() - reuses, 2 * orbitCount - 1);
}

// c = i is pre-periodic and never escapes, so its orbit runs the whole
// count; pixels at 1e-30 and 1e-100 about it leave after 40 to 140 steps.
// Written to 80 and 150 decimals, its digits set the precision through
// the zooms, as a deep location's do.
TEST(ReferenceCache, AZoomAboutTheCentreAndARaisedCountChangeNoPixel)
{
    const std::string i80 = "1." + std::string(80, '0'), i150 = "1." + std::string(150, '0');
    ExpectKeptOrbitsChangeNothing({Job("0", i80, 1e-30, 40, 30, 1000), 256, true});
    ExpectKeptOrbitsChangeNothing({Job("0", i150, 1e-100, 40, 30, 1000), 640, true});
    // Past the doubles, with the wide form's tables.
    const std::string i450 = "1." + std::string(450, '0');
    DeepJob wide = Job("0", i450, 1, 24, 18, 1000);
    wide.pixelSize = wide.pixelSize * FloatExp::Normal(1, -1330); // 1e-400
    ExpectKeptOrbitsChangeNothing({wide, 1600, true});
}

TEST(ReferenceCache, AJuliaZoomChangesNoPixel)
{
    const double cRe = -0.4, cIm = 0.6;
    const double g = std::sqrt(std::sqrt(cRe * cRe + cIm * cIm)) + 1;
    DeepJob job = Job(FixedPointCenter(cRe, cIm, g, false), FixedPointCenter(cRe, cIm, g, true), 1e-25, 40, 30, 500);
    job.julia = true;
    job.cRe = cRe;
    job.cIm = cIm;
    job.g = g;
    // Both orbits leave: the centre's is on the Julia set, and c is outside
    // the Mandelbrot set.
    ExpectKeptOrbitsChangeNothing({job, 256, false});
}

} // namespace
