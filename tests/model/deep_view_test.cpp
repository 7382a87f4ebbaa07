// Deep views against the slow reference: every pixel iterated on its own in
// GNU MPFR (tests/model/MpfrReference.h), no perturbation in between.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"
#include "model/deep/BlockExp.h"
#include "model/deep/DeepView.h"
#include "model/deep/ReferenceOrbit.h"
#include "model/kernels/MandelbrotKernel.h"
#include "numbers/Mpfr.h"
#include "tests/model/DeepImage.h"
#include "tests/model/MpfrReference.h"

namespace {

using namespace deep_test;

TEST(FloatExp, ArithmeticBeyondTheRangeOfDoubles)
{
    // (3 x 2^-2000) (5 x 2^-3000) = 15 x 2^-5000 = 0.9375 x 2^-4996.
    const FloatExp a = FloatExp::Normal(3, -2000), b = FloatExp::Normal(5, -3000);
    const FloatExp p = a * b;
    EXPECT_EQ(p.m, 0.9375);
    EXPECT_EQ(p.e, -4996);
    // 3 x 2^-2000 + 5 x 2^-2002 = 4.25 x 2^-2000 = 0.53125 x 2^-1997.
    const FloatExp s = a + FloatExp::Normal(5, -2002);
    EXPECT_EQ(s.m, 0.53125);
    EXPECT_EQ(s.e, -1997);
    EXPECT_EQ((a - a).m, 0.0);
    EXPECT_TRUE(FloatExp::Normal(1, -5000) < FloatExp::Normal(1, -4999));
    EXPECT_TRUE(FloatExp::Normal(-1, -4999) < FloatExp::Normal(-1, -5000));
    EXPECT_TRUE(FloatExp(-1.0) < FloatExp::Normal(1, -5000));
    EXPECT_FALSE(FloatExp(0.0) < FloatExp::Normal(-1, -5000));
    // sqrt(2^-4001) = 2^-2000.5.
    EXPECT_DOUBLE_EQ(Sqrt(FloatExp::Normal(1, -4001)).m *
                         std::pow(2.0, double(Sqrt(FloatExp::Normal(1, -4001)).e) + 2000),
                     std::sqrt(0.5));
    EXPECT_EQ(FloatExp::Normal(1, -5000).ToDouble(), 0.0);
    EXPECT_EQ(FloatExp::Normal(0.75, 3).ToDouble(), 6.0);

    // Within the range of doubles every operation rounds as on doubles.
    unsigned seed = 12345;
    auto next = [&] {
        seed = seed * 1103515245u + 12345u;
        return (double(seed >> 8) / double(1 << 24) - 0.5) * std::pow(10.0, double(int(seed % 40) - 20));
    };
    for (int n = 0; n < 10000; ++n) {
        const double x = next(), y = next();
        EXPECT_EQ((FloatExp(x) * FloatExp(y)).ToDouble(), x * y);
        EXPECT_EQ((FloatExp(x) + FloatExp(y)).ToDouble(), x + y);
        EXPECT_EQ((FloatExp(x) - FloatExp(y)).ToDouble(), x - y);
        EXPECT_EQ((FloatExp(x) / FloatExp(y)).ToDouble(), x / y);
        EXPECT_EQ(FloatExp(x) < FloatExp(y), x < y);
        EXPECT_EQ(Sqrt(FloatExp(std::fabs(x))).ToDouble(), std::sqrt(std::fabs(x)));
    }
}

// BlockExp holds the numbers FloatExp holds after every operation: on
// values of every size and sign, in one block and across them, at the
// blocks' edges and where a sum cancels, each result has FloatExp's bits.
TEST(BlockExp, EveryOperationGivesFloatExpsBits)
{
    std::mt19937_64 g(7);
    auto value = [&] {
        const int kind = int(g() % 12);
        if (kind == 0)
            return FloatExp();
        double m = double(g() >> 11) * 0x1p-54 + 0.5;
        m = kind == 1 ? 0.5 : (g() & 1) ? -m : m;
        // Exponents anywhere, near 0, or at the edges of the blocks.
        const int64_t e = kind == 2   ? int64_t(g() % 200) - 100
                          : kind == 3 ? int64_t(g() % 40) * 256 - 5000 + int64_t(g() % 3) - 1
                                      : int64_t(g() % 3000) - 1500;
        return FloatExp::Normal(m, e);
    };
    auto same = [](FloatExp a, FloatExp b) { return !std::memcmp(&a.m, &b.m, sizeof a.m) && a.e == b.e; };
    int failures = 0;
    for (int n = 0; n < 400000 && failures < 10; ++n) {
        const FloatExp a = value();
        FloatExp b = value();
        if (n % 4 == 0 && b.m != 0)
            b.e = a.e + int64_t(g() % 1200) - 600;
        // Nearly -a: the sum cancels to a few bits.
        if (n % 8 == 1 && a.m != 0)
            b = FloatExp::Normal(-a.m * (1 + double(int(g() % 64) - 32) * 0x1p-52), a.e + int64_t(g() % 3) - 1);
        const BlockExp x = BlockExp::Of(a), y = BlockExp::Of(b);
        const double d = std::ldexp(double(g() >> 11) * 0x1p-53, int(g() % 2090) - 1070);
        const bool ok = same(x.Wide(), a) && same((x + y).Wide(), a + b) && same((x - y).Wide(), a - b) &&
                        same((x * y).Wide(), a * b) && (x < y) == (a < b) && (x > y) == (b < a) &&
                        (x <= y) == (a <= b) && same(Sqrt(Abs(x)).Wide(), Sqrt(Abs(a))) &&
                        same(BlockExp(d).Wide(), FloatExp(d)) && x.Exponent() == (a.m == 0 ? -1022 : a.e);
        failures += !ok;
        EXPECT_TRUE(ok) << a.m << " 2^" << a.e << ", " << b.m << " 2^" << b.e << ", " << d;
    }
}

TEST(MpfrReal, ParsesWholeDecimalNumbersOnly)
{
    MpfrReal v(200);
    ASSERT_TRUE(v.Parse(" -0.743643887037158704752191506114774 "));
    EXPECT_EQ(mpfr_get_d(v.get(), MPFR_RNDN), -0.743643887037158704752191506114774);
    ASSERT_TRUE(v.Parse("1e-400"));
    EXPECT_EQ(mpfr_get_exp(v.get()), -1328); // 2^-1329 <= 1e-400 < 2^-1328
    for (const char* bad : {"", " ", "x", "1x", "0.5 0.5", "nan", "inf", "-inf", "1e", "--1"})
        EXPECT_FALSE(v.Parse(bad)) << bad;
    EXPECT_FALSE(v.Parse(std::string_view("1\0"
                                          "2",
                                          3)));
}

// Near the seahorse valley, where many points need two to five thousand
// iterations and some lie so close to a filament that a double's rounding
// decides their escape: most of those are settled in double-double, one
// gets its own reference. MPFR iterates the window that holds it and seven
// of the others (the image's other cells are the deep build's own).
TEST(DeepView, AgreesWithMpfrAtHalfSize1e12)
{
    const DeepJob job = Job("-0.7436438870371587", "0.1318259042053119", 1e-12, 160, 120, 5000);
    Image deep(160, 120), reference(160, 120);
    const DeepOutcome outcome = BuildDeep(job, deep);
    ASSERT_EQ(outcome.error, "");
    ASSERT_FALSE(outcome.stopped);
    EXPECT_GT(outcome.ownReferences, 0);
    EXPECT_LT(outcome.ownReferences, 160 * 120 / 20);
    EXPECT_GT(outcome.settledInDoubleDouble, 100);
    reference.counts = deep.counts;
    for (int i = 0; i < 120; ++i)
        for (int j = 0; j < 160; ++j)
            reference.Cell(i, j) = deep.Cell(i, j);
    BuildReference(job, 128, reference, {70, 100, 96, 146});
    ExpectSameImage(deep, reference);
}

// About a point of the seahorse valley that lands on a repelling fixed point
// of multiplier 1.0067 (bench/deep_bench.cpp), pixels of 2.8e-51 leave it
// after some 17,000 steps: the doubtful ones start their second try with
// the linear start, past the steps where their difference is linear to
// 106 bits. MPFR iterates a window that holds four whose first try was wrong.
TEST(DeepView, SecondTryFromItsLinearStartAgreesWithMpfr)
{
    const std::string re = "-0.743644510973285895830785591448686709835767306505892084114555888279978939966208371804"
                           "48714521225748767548787153391176049";
    const std::string im = "0.13184706888048892710011735291650820381215323924216586750741737912046187233411270992916"
                           "99002565026642036981440623853153480";
    const DeepJob job = Job(re, im, 1e-50, 48, 36, 20000);
    Image deep(48, 36), first(48, 36), reference(48, 36);
    const DeepOutcome outcome = BuildDeep(job, deep);
    ASSERT_EQ(outcome.error, "");
    EXPECT_GT(outcome.settledInDoubleDouble, 20);
    EXPECT_GT(outcome.linearStartSteps, 20 * 10000);
    DeepJob firstOnly = job;
    firstOnly.secondTry = false;
    firstOnly.ownReferenceBudget = 0;
    ASSERT_EQ(BuildDeep(firstOnly, first).error, "");
    reference.counts = deep.counts;
    for (int i = 0; i < 36; ++i)
        for (int j = 0; j < 48; ++j)
            reference.Cell(i, j) = deep.Cell(i, j);
    const Window window{16, 23, 26, 40};
    BuildReference(job, DeepPrecisionBits(job.pixelSize) + 64, reference, window);
    int firstWrong = 0;
    for (int i = window.top; i < window.bottom; ++i)
        for (int j = window.left; j < window.right; ++j)
            firstWrong += first.Count(i, j) != reference.Count(i, j);
    EXPECT_GE(firstWrong, 4);
    ExpectSameImage(deep, reference);
}

// About the point i, whose spirals repeat at every scale.
TEST(DeepView, AgreesWithMpfrAtHalfSize1e30)
{
    const DeepJob job = Job("0", "1", 1e-30, 40, 30, 1000);
    Image deep(40, 30), reference(40, 30);
    const DeepOutcome outcome = BuildDeep(job, deep);
    ASSERT_FALSE(outcome.stopped);
    EXPECT_GT(outcome.skippedIterations, outcome.totalIterations / 10); // the skips are on
    BuildReference(job, 256, reference);
    ExpectSameImage(deep, reference);
}

// Pixels of 1e-322: the differences live below the smallest double.
TEST(DeepView, WideFormAgreesWithMpfrAtHalfSize1e320)
{
    DeepJob job = Job("0", "1", 1, 16, 12, 3000);
    job.pixelSize = FloatExp::Normal(1, -1070) * FloatExp(2.0 / 12);
    Image deep(16, 12), reference(16, 12);
    const DeepOutcome outcome = BuildDeep(job, deep);
    ASSERT_FALSE(outcome.stopped);
    EXPECT_GT(outcome.skippedIterations, outcome.totalIterations / 10);
    BuildReference(job, DeepPrecisionBits(job.pixelSize) + 64, reference);
    ExpectSameImage(deep, reference);
}

TEST(DeepView, JuliaSetAgreesWithMpfrAtHalfSize1e25)
{
    const double cRe = -0.4, cIm = 0.6;
    const double g = std::sqrt(std::sqrt(cRe * cRe + cIm * cIm)) + 1; // as the build takes it
    DeepJob job = Job(FixedPointCenter(cRe, cIm, g, false), FixedPointCenter(cRe, cIm, g, true), 1e-25, 40, 30, 2000);
    job.julia = true;
    job.cRe = cRe;
    job.cIm = cIm;
    job.g = g;
    Image deep(40, 30), reference(40, 30);
    const DeepOutcome outcome = BuildDeep(job, deep);
    ASSERT_FALSE(outcome.stopped);
    EXPECT_GT(outcome.skippedIterations, outcome.totalIterations / 10);
    BuildReference(job, 256, reference);
    ExpectSameImage(deep, reference);
}

// A centre written with more digits than the pixel size asks for is still
// the point the view is about. c = i is pre-periodic (i, -1 + i, -i, -1 + i,
// ...) and never escapes; i (1 + 10^-80) leaves that cycle, whose
// multiplier is 4 sqrt(2), after about 220 iterations, and i (1 + 10^-150)
// after about 400. Read at the bits the pixel size alone asks for, both
// would round to i and their pixel would stay inside.
TEST(DeepView, TheCenterKeepsAllItsDigits)
{
    struct Case {
        double halfSize;
        int zeros;
    };
    for (const Case c : {Case{1e-30, 79}, Case{1e-100, 149}}) {
        const std::string y = "1." + std::string(size_t(c.zeros), '0') + "1";
        const DeepJob job = Job("0", y, c.halfSize, 16, 12, 1000);
        Image deep(16, 12), reference(16, 12);
        ASSERT_FALSE(BuildDeep(job, deep).stopped);
        BuildReference(job, 1000, reference);
        EXPECT_GT(reference.Count(6, 8), 150) << c.zeros;
        EXPECT_EQ(deep.Count(6, 8), reference.Count(6, 8)) << c.zeros;
        ExpectSameImage(deep, reference);
    }
}

// A point of the seahorse valley that lands on a repelling fixed point of
// multiplier 1.0067 after 78 iterations, given to 120 decimals: its orbit
// amplifies every rounding that many times a step, so each bit of MPFR's
// precision buys about 100 iterations of a true orbit. Where the orbit's
// rounding bound says no bit was missing, its escape is the one at 1200
// bits; where it escapes otherwise, the bound must have said so; and the
// bits it asks for settle it in a few attempts.
TEST(ReferenceOrbit, ItsRoundingBoundSaysWhenBitsAreMissing)
{
    const char* re = "-0.743644510973285895830785591448686709835767306505892084114555888279978939966208371804"
                     "48714521225748767548787153391176049";
    const char* im = "0.13184706888048892710011735291650820381215323924216586750741737912046187233411270992916"
                     "99002565026642036981440623853153480";
    const auto orbit = [&](long bits, ReferenceOrbit& o) {
        MpfrReal x(bits), y(bits), zero(bits);
        bool ex = false, ey = false;
        ASSERT_TRUE(x.Parse(re, &ex) && y.Parse(im, &ey));
        ASSERT_FALSE(ex || ey);
        ASSERT_TRUE(ComputeReferenceOrbit(zero, zero, x, y, 1e4, 60000, false, nullptr, o, false, 1));
    };
    ReferenceOrbit truth;
    orbit(1200, truth);
    ASSERT_EQ(truth.bitsShort, 0);
    ASSERT_LT(truth.size(), 60000u);
    ASSERT_GT(truth.size(), 30000u);
    int shortOnes = 0;
    for (const long bits : {120L, 200L, 280L, 360L, 440L}) {
        ReferenceOrbit o;
        orbit(bits, o);
        if (o.bitsShort == 0) {
            EXPECT_EQ(o.size(), truth.size()) << bits;
            continue;
        }
        ++shortOnes;
        // An orbit that left too early measured its bound only that far:
        // the own references try again as often as this.
        ReferenceOrbit again;
        long more = bits;
        for (int attempt = 1; attempt < 4 && o.bitsShort > 0; ++attempt) {
            more = NextOwnBits(more, o.bitsShort);
            orbit(more, o);
        }
        EXPECT_EQ(o.bitsShort, 0) << bits;
        EXPECT_EQ(o.size(), truth.size()) << bits;
    }
    EXPECT_GE(shortOnes, 3);
    // Exact arithmetic adds no rounding: c = i is pre-periodic.
    MpfrReal zero(64), x(64), y(64);
    mpfr_set_ui(y.get(), 1, MPFR_RNDN);
    ReferenceOrbit exact;
    ASSERT_TRUE(ComputeReferenceOrbit(zero, zero, x, y, 1e4, 5000, false, nullptr, exact, true, 1));
    EXPECT_EQ(exact.size(), 5000u);
    EXPECT_EQ(exact.bitsShort, 0);
}

// Where doubles would do, the wide form gives the same counts, values and
// colours: its arithmetic rounds as theirs does. So do the doubtful pixels
// that keep their difference iteration's result, iterated to the end.
TEST(DeepView, WideFormGivesTheDoubleFormsResult)
{
    for (const int variant : {0, 1, 2}) {
        const bool julia = variant == 1;
        DeepJob job = Job("-0.7436438870371587", "0.1318259042053119", 1e-12, 48, 36, 5000);
        job.julia = julia;
        job.ownReferenceBudget = variant == 2 ? 0 : -1;
        job.secondTry = false; // the wide form has none
        job.cRe = -0.4;
        job.cIm = 0.6;
        job.g = 1.8;
        Image narrow(48, 36), wide(48, 36);
        const DeepOutcome o = BuildDeep(job, narrow);
        ASSERT_FALSE(o.stopped);
        if (variant == 2) {
            EXPECT_GT(o.doubtfulKept, 0);
        }
        job.forceWide = true;
        ASSERT_FALSE(BuildDeep(job, wide).stopped);
        EXPECT_EQ(narrow.counts, wide.counts) << variant;
        narrow.Paint();
        wide.Paint();
        EXPECT_EQ(narrow.canvas.m_bits, wide.canvas.m_bits) << variant;
        for (int i = 0; i < 36; ++i)
            for (int j = 0; j < 48; ++j)
                ASSERT_EQ(narrow.Cell(i, j).value, wide.Cell(i, j).value) << i << ", " << j;
    }
}

// The double-precision point loop counting its iterations; its cells are
// checked against the program's own loop below, so it is that loop.
int32_t DoubleCount(double x, double y, int iterations, MandelbrotPixel& cell)
{
    double pr = x, pi = y, zr = x * x - y * y + x, zi = 2 * x * y + y;
    for (int k = 0;; ++k) {
        const double m2 = zr * zr + zi * zi;
        if (m2 > 1e4 || k >= iterations) {
            cell = IterateMandelbrotPoint(x, y, x, y, 1e4, iterations);
            return m2 > 1e4 ? k + 1 : -1;
        }
        const double t = pr * zr - pi * zi;
        pi = pr * zi + pi * zr;
        pr = t;
        const double u = zr * zr - zi * zi + x;
        zi = 2 * zr * zi + y;
        zr = u;
    }
}

// A view that doubles resolve (pixels of 1e-8 at a centre of order 1)
// built by perturbation agrees with the double-precision build on almost
// every pixel. Not on all: the double build rounds z itself at every step,
// an error of 1e-16 against pixels of 1e-8, and points near a filament
// double such an error thousands of times over before the escape test;
// perturbation rounds only the differences, and settles the doubtful
// pixels about references of their own. Here 1.7% of the pixels differ;
// up to 3% may, and on every one of them MPFR sides with perturbation.
TEST(DeepView, ResolvableViewAgreesWithTheDoubleBuild)
{
    const int w = 160, h = 120, iterations = 10000;
    const double cx = -0.7436438870371587, cy = 0.1318259042053119, half = 1e-6;
    DeepJob job = Job("-0.7436438870371587", "0.1318259042053119", half, w, h, iterations);
    Image deep(w, h);
    ASSERT_FALSE(BuildDeep(job, deep).stopped);
    const double d = 2 * half / std::min(w, h);
    const double x0 = cx - (w / 2) * d, y0 = cy - (h / 2) * d; // as the double build places pixels
    std::vector<std::pair<int, int>> differ;
    int escaped = 0;
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            MandelbrotPixel cell;
            const int32_t count = DoubleCount(x0 + j * d, y0 + i * d, iterations, cell);
            escaped += count >= 0;
            if (count != deep.Count(i, j))
                differ.emplace_back(i, j);
            // Both keep the count in the cell, as the colourings read it.
            ASSERT_EQ(cell.count, std::max(count, 0));
            ASSERT_EQ(deep.Cell(i, j).state, std::max(deep.Count(i, j), 0));
            ASSERT_EQ(count >= 0 ? cell.value < 1e10f : cell.value == 1e10f, true);
        }
    EXPECT_GT(escaped, w * h / 4);
    EXPECT_GT(differ.size(), 0u);
    EXPECT_LE(differ.size(), size_t(w * h * 3 / 100));
    std::atomic<int> wrong{0};
    ForEachRange(int(differ.size()), 1, [&](int begin, int end) {
        for (int n = begin; n < end; ++n) {
            const auto [i, j] = differ[size_t(n)];
            const FloatExp x = FloatExp(double(j - w / 2)) * job.pixelSize;
            const FloatExp y = FloatExp(double(i - h / 2)) * job.pixelSize;
            const auto p = mpfr_reference::Iterate(job.centerRe, job.centerIm, x.m, x.e, y.m, y.e, false, 0, 0, 1,
                                                   job.radius2, iterations, 128);
            wrong += p.count != deep.Count(i, j);
        }
    });
    EXPECT_EQ(wrong, 0);
}

TEST(DeepView, SpreadRowsGiveTheOneThreadResult)
{
    DeepJob job = Job("-0.7436438870371587", "0.1318259042053119", 1e-12, 64, 48, 5000);
    job.secondTry = false;
    Image fast(64, 48), plain(64, 48);
    const DeepOutcome a = BuildDeep(job, fast);
    SetExecutionPath(ExecutionPath::kPlain);
    const DeepOutcome b = BuildDeep(job, plain);
    SetExecutionPath(ExecutionPath::kFast);
    EXPECT_EQ(a.ownReferences, b.ownReferences);
    EXPECT_GT(a.ownReferences, 0);
    EXPECT_EQ(fast.counts, plain.counts);
    EXPECT_EQ(
        0, std::memcmp(fast.map.m_grid.data(), plain.map.m_grid.data(), fast.map.m_grid.size() * sizeof(PixelRecord)));
}

TEST(DeepView, RefusesWhatItCannotIterateAndStops)
{
    Image image(8, 6);
    image.Cell(2, 3).value = 7;
    DeepJob job = Job("-0.5", "0", 1e-20, 8, 6, 100);
    job.centerRe = "-0.5.1";
    DeepOutcome o = BuildDeep(job, image);
    EXPECT_EQ(o.error, "The centre's x is not a number: \"-0.5.1\"");
    job.centerRe = "-0.5";
    job.centerIm = "";
    EXPECT_EQ(BuildDeep(job, image).error, "The centre's y is not a number: \"\"");
    job.centerIm = "0";
    job.pixelSize = FloatExp(0.0);
    EXPECT_EQ(BuildDeep(job, image).error, "The view is not finite");
    job.pixelSize = FloatExp(1e-20);
    job.julia = true;
    job.g = std::nan("");
    EXPECT_EQ(BuildDeep(job, image).error, "The view is not finite");
    job.g = 1;
    job.radius2 = std::nan("");
    EXPECT_EQ(BuildDeep(job, image).error, "The view is not finite");
    job.radius2 = 1e4;
    EXPECT_EQ(image.Cell(2, 3).value, 7); // nothing written
    EXPECT_EQ(image.Count(2, 3), -2);

    // A stop seen before or during the build ends it, reported as stopped.
    job.julia = false;
    job.g = 1;
    job.maxIterations = 100000000;
    std::atomic<bool> stop{true};
    job.stop = &stop;
    EXPECT_TRUE(BuildDeep(job, image).stopped);
}

} // namespace

namespace {

using namespace deep_test;

// The same pixels seen from another reference: a view and the view shifted
// by ten pixels to the right share 30 of their 40 columns, and those must
// come out alike whatever orbit they were iterated about. A pixel whose
// difference lost its digits (a glitch) would depend on the reference.
TEST(DeepView, PixelsDoNotDependOnTheReference)
{
    const FloatExp pixel = FloatExp::Normal(1, -100); // half-size 1.2e-29
    const long bits = DeepPrecisionBits(pixel);
    MpfrReal x(bits), y(bits), shifted(bits), step(bits);
    ASSERT_TRUE(x.Parse("-0.743643887037158704752191506114774"));
    ASSERT_TRUE(y.Parse("0.131825904205311970493132056385139"));
    mpfr_set_ui_2exp(step.get(), 10, -100, MPFR_RNDN);
    mpfr_add(shifted.get(), x.get(), step.get(), MPFR_RNDN); // exact: a multiple of the last bit
    // All three have fewer than 180 binary digits after the point, so these
    // decimals are exact.
    char text[3][400];
    mpfr_snprintf(text[0], sizeof text[0], "%.180Rf", x.get());
    mpfr_snprintf(text[1], sizeof text[1], "%.180Rf", shifted.get());
    mpfr_snprintf(text[2], sizeof text[2], "%.180Rf", y.get());
    DeepJob job = Job(text[0], text[2], 1, 40, 30, 50000);
    job.pixelSize = pixel;
    Image a(40, 30), b(40, 30);
    ASSERT_FALSE(BuildDeep(job, a).stopped);
    job.centerRe = text[1];
    ASSERT_FALSE(BuildDeep(job, b).stopped);
    a.Paint();
    b.Paint();
    int countsOff = 0, colorsOff = 0, escaped = 0;
    for (int i = 0; i < 30; ++i)
        for (int j = 0; j < 30; ++j) {
            escaped += a.Count(i, j + 10) >= 0;
            countsOff += a.Count(i, j + 10) != b.Count(i, j);
            for (int c = 0; c < 3; ++c)
                colorsOff += std::abs(a.Pixel(i, j + 10)[c] - b.Pixel(i, j)[c]) > 1;
        }
    EXPECT_EQ(countsOff, 0);
    EXPECT_EQ(colorsOff, 0);
    EXPECT_GT(escaped, 30 * 30 / 2);
}

} // namespace

namespace {

using namespace deep_test;

// A "precision" of 1e200 squares past the doubles: no point escapes, in
// either form, as in the double-precision build.
TEST(DeepView, AnInfiniteRadiusLeavesEveryPointInside)
{
    for (const bool wide : {false, true}) {
        DeepJob job = Job("0", "1", 1e-30, 8, 6, 50);
        job.radius2 = 1e200 * 1e200;
        job.forceWide = wide;
        Image image(8, 6);
        ASSERT_EQ(BuildDeep(job, image).error, "");
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 8; ++j) {
                EXPECT_EQ(image.Count(i, j), -1) << wide;
                EXPECT_EQ(image.Cell(i, j).value, 1e10f) << wide;
            }
    }
}

} // namespace
