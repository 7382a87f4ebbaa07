// What the escape-time colourings read from the cells, against facts worked
// out by hand or known in closed form: the escape count, the renormalised
// count, and the exterior distance estimate.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <numbers>
#include <vector>

#include "OneIsa.h"
#include "tests/model/DeepImage.h"
#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/Colorings.h"
#include "imaging/Parallel.h"
#include "model/kernels/MandelbrotKernel.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

// The count as the loop is described: z0 = c, square and add c until
// |z|^2 passes R^2, counting the squarings; -1 for a point still inside
// after 1 + iterations of them.
int NaiveCount(std::complex<double> z0, std::complex<double> c, double radius2, int iterations)
{
    std::complex<double> z = z0;
    for (int m = 1; m <= iterations + 1; ++m) {
        z = z * z + c;
        if (std::norm(z) > radius2)
            return m;
    }
    return -1;
}

TEST(EscapeColorings, TheSmoothCountOfAPointWorkedByHand)
{
    // c = 1: z = 1, 2, 5, 26, 677. With R = 100 the fourth squaring escapes
    // (676 <= 10^4 < 677^2); 4 + 1 - log2(ln 677 / ln 100) = 4.4988978829.
    const MandelbrotPixel p = IterateMandelbrotPoint(1, 0, 1, 0, 100.0 * 100.0, 1000);
    EXPECT_EQ(p.count, 4);
    EXPECT_EQ(p.value, 458329.0f);
    EXPECT_NEAR(SmoothCount(p.count, p.value, 100), 4.4988978829, 1e-9);
    // With R = 2: |2|^2 = 4 is not past 4, 5 is: 2 + 1 - log2(ln 25 / ln 4).
    const MandelbrotPixel q = IterateMandelbrotPoint(1, 0, 1, 0, 4, 1000);
    EXPECT_EQ(q.count, 2);
    EXPECT_NEAR(SmoothCount(q.count, q.value, 2), 1.7846767043, 1e-9);
}

TEST(EscapeColorings, TheSmoothCountIsContinuousWhereTheWholeCountJumps)
{
    // Along the real axis beyond the cusp every point escapes, faster the
    // further out: the count falls in steps, the smooth count glides.
    const int n = 20000;
    int jumps = 0;
    double last = 0;
    int lastCount = 0;
    for (int i = 0; i <= n; ++i) {
        const double c = 0.3 + 1.7 * i / n;
        const MandelbrotPixel p = IterateMandelbrotPoint(c, 0, c, 0, 1e4, 1000);
        const double mu = SmoothCount(p.count, p.value, 100);
        EXPECT_GE(mu, p.count - 1e-9);
        EXPECT_LT(mu, p.count + 1);
        if (i > 0) {
            jumps += p.count != lastCount;
            EXPECT_LE(mu, last + 1e-6) << c;
            EXPECT_LT(last - mu, 0.05) << c;
        }
        last = mu;
        lastCount = p.count;
    }
    EXPECT_GE(jumps, 5);
}

TEST(EscapeColorings, TheDistanceToTheUnitCircleIsEstimatedForTheJuliaSetOfZero)
{
    // The Julia set of z^2 is the unit circle: a point at radius r lies
    // r - 1 from it, and the estimate is r ln r there, within a factor
    // 1 + (r - 1) / 2 of that distance.
    for (double eps : {1e-6, 1e-4, 1e-2, 0.3})
        for (double angle : {0.0, 0.7, 2.0, -2.9}) {
            const double r = 1 + eps;
            double e = -1;
            const MandelbrotPixel p = IterateMandelbrotPointDistance(r * std::cos(angle), r * std::sin(angle), 0, 0,
                                                                     true, 1, 1e4, 100000, nullptr, &e);
            ASSERT_LT(p.value, 1e10f);
            EXPECT_GE(e, eps * (1 - 1e-9)) << eps << " " << angle;
            EXPECT_LE(e, eps * (1 + eps / 2) * (1 + 1e-9)) << eps << " " << angle;
        }
}

// The estimate e of a point outside the set and its true distance d to
// the set bound each other: e / 2 < d < 2 e.
double Estimate(std::complex<double> c)
{
    double e = -1;
    const MandelbrotPixel p =
        IterateMandelbrotPointDistance(c.real(), c.imag(), c.real(), c.imag(), false, 1, 1e4, 1000000, nullptr, &e);
    EXPECT_LT(p.value, 1e10f) << c;
    return e;
}

TEST(EscapeColorings, TheDistanceBeyondTheTipOfTheSetIsWithinTheEstimatesBounds)
{
    // The set lies in |c| <= 2 and holds -2: left of it on the real axis
    // the nearest point is -2 itself. There the set ends in a segment,
    // about whose end the potential grows as the root of the distance, so
    // the estimate tends to twice the distance.
    for (double d : {0.5, 1e-1, 1e-2, 1e-3, 1e-4}) {
        const double e = Estimate(-2 - d);
        EXPECT_GT(e, d / 2) << d;
        EXPECT_LT(e, 2 * d) << d;
        if (d <= 1e-2) {
            EXPECT_NEAR(e / d, 2, 0.02) << d;
        }
    }
}

TEST(EscapeColorings, TheDistanceOutsideThePeriodTwoDiscIsNoMoreThanTwiceTheEstimate)
{
    // The disc |c + 1| <= 1/4 belongs to the set, so a point delta outside
    // it is at most delta from the set, and its estimate below 2 delta
    // (the bulbs and filaments on the disc may come nearer).
    int outside = 0;
    for (double delta : {1e-1, 1e-2, 1e-3, 1e-4})
        for (double angle : {0.8, 1.0, 1.7, -1.9, 2.2, 2.5, 2.8, 3.14159}) {
            const std::complex<double> c = -1.0 + (0.25 + delta) * std::polar(1.0, angle);
            double e = -1;
            const MandelbrotPixel p = IterateMandelbrotPointDistance(c.real(), c.imag(), c.real(), c.imag(), false, 1,
                                                                     1e4, 1000000, nullptr, &e);
            if (p.value >= 1e10f)
                continue; // on a bulb
            EXPECT_GT(e, 0) << delta << " " << angle;
            EXPECT_LT(e, 2 * delta) << delta << " " << angle;
            ++outside;
        }
    EXPECT_GE(outside, 16);
}

struct Row {
    double x0, d, y;
    int width;
};

MandelbrotRowJob Job(const Row& r, bool julia)
{
    MandelbrotRowJob job;
    job.x0 = r.x0;
    job.d = r.d;
    job.y = r.y;
    job.julia = julia;
    job.cRe = -0.8;
    job.cIm = 0.156;
    job.g = std::sqrt(std::sqrt(0.64 + 0.156 * 0.156)) + 1;
    job.radius2 = 1e4;
    job.maxIterations = 2000;
    return job;
}

// Rows across the whole set, its cusp and a Julia set, on a patterned grid.
std::vector<PixelRecord> RowCells(const MandelbrotRowJob& job, int width, bool distance, KernelIsa isa)
{
    std::vector<PixelRecord> cells(static_cast<size_t>(width));
    std::memset(cells.data(), 0x5A, cells.size() * sizeof(PixelRecord));
    EXPECT_TRUE(distance ? IterateMandelbrotRowDistance(job, 0, width, cells.data())
                         : IterateMandelbrotRow(isa, job, 0, width, cells.data()));
    return cells;
}

const Row kRows[] = {{-2.2, 3.0 / 397, 0.0, 397},
                     {-2.2, 3.0 / 397, 0.61, 397},
                     {0.2, 1e-4, 0.01, 300},
                     {-1.7, 3.4 / 311, 0.3, 311},
                     {-30, 0.2, 5, 300}};

class EscapeCounts : public OneIsa {};

TEST_P(EscapeCounts, EachCellKeepsTheSquaringsANaiveLoopTakes)
{
    int escaped = 0;
    for (bool julia : {false, true})
        for (const Row& r : kRows) {
            const MandelbrotRowJob job = Job(r, julia);
            const std::vector<PixelRecord> cells = RowCells(job, r.width, false, Isa());
            for (int j = 0; j < r.width; ++j) {
                const double x = job.x0 + j * job.d;
                const std::complex<double> p(x, job.y);
                const int n = julia ? NaiveCount(p / job.g, {job.cRe, job.cIm}, job.radius2, job.maxIterations)
                                    : NaiveCount(p, p, job.radius2, job.maxIterations);
                escaped += n > 0;
                EXPECT_EQ(cells[size_t(j)].state, n > 0 ? n : 0) << julia << " " << x << "," << job.y;
                EXPECT_EQ(cells[size_t(j)].value >= 1e10f, n < 0) << julia << " " << x << "," << job.y;
            }
        }
    EXPECT_GT(escaped, 1000);
}

INSTANTIATE_ISA_TESTS(EscapeCounts, KernelIsa::kScalar, KernelIsa::kSse2, KernelIsa::kAvx2, KernelIsa::kAvx512);

TEST(EscapeColorings, TheDistancePathKeepsEveryOtherFieldOfThePlainCells)
{
    for (bool julia : {false, true})
        for (const Row& r : kRows) {
            const MandelbrotRowJob job = Job(r, julia);
            const std::vector<PixelRecord> plain = RowCells(job, r.width, false, KernelIsa::kScalar);
            const std::vector<PixelRecord> withDistance = RowCells(job, r.width, true, KernelIsa::kScalar);
            for (int j = 0; j < r.width; ++j) {
                PixelRecord a = plain[size_t(j)], b = withDistance[size_t(j)];
                EXPECT_TRUE(b.value >= 1e10f ? b.step == 0 : b.step >= 0);
                b.step = a.step;
                EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << julia << " " << j;
            }
        }
}

// A default Mandelbrot build painted in each colouring, on every core and
// on the plain path.
std::vector<uint8_t> Painted(int coloring, ExecutionPath path)
{
    SetExecutionPath(path);
    CMandelbrotSet set;
    set.m_colorMap.m_coloring = coloring;
    set.m_colorMap.m_gradientRepetitions = 3.7;
    set.m_colorMap.m_gradientOffset = 0.2;
    CCanvas canvas;
    canvas.SetTargetSize(211, 157);
    set.Build(canvas);
    set.Draw(canvas);
    SetExecutionPath(ExecutionPath::kFast);
    return std::vector<uint8_t>(canvas.m_bits.begin(), canvas.m_bits.end());
}

TEST(EscapeColorings, EveryColoringPaintsTheSameBytesOnEveryCoreAsOnOne)
{
    std::vector<std::vector<uint8_t>> images;
    for (int coloring = 0; coloring < kColoringCount; ++coloring) {
        images.push_back(Painted(coloring, ExecutionPath::kFast));
        EXPECT_EQ(images.back(), Painted(coloring, ExecutionPath::kPlain)) << kColoringNames[coloring];
        for (size_t k = 0; k + 1 < images.size(); ++k)
            EXPECT_NE(images[k], images.back()) << kColoringNames[k] << " and " << kColoringNames[coloring];
    }
}

TEST(EscapeColorings, ABuiltViewKeepsTheDistanceInItsPixels)
{
    // The Julia set of 0 is the unit circle: each pixel outside it lies
    // (|p| - 1) / d pixels from it, d the pixel size.
    CMandelbrotSet set;
    set.m_type = set.m_builtType = 1;
    set.m_centerX = 0.1;
    set.m_halfSize = 1.5;
    set.m_colorMap.m_coloring = kColoringDistance;
    CCanvas canvas;
    canvas.SetTargetSize(120, 90);
    set.Build(canvas);
    ASSERT_TRUE(set.m_colorMap.m_cellsHaveDistance);
    const double d = 2 * 1.5 / 90;
    int outside = 0;
    for (int i = 0; i < 90; ++i)
        for (int j = 0; j < 120; ++j) {
            const double r = std::hypot(0.1 + (j - 60) * d, (i - 45) * d);
            const PixelRecord& cell = *set.m_colorMap.Cell(i, j);
            if (r < 1 + 1e-3 || cell.value >= 1e10f)
                continue;
            ++outside;
            const double pixels = (r - 1) / d;
            EXPECT_GE(cell.step, pixels * (1 - 1e-6)) << i << "," << j;
            EXPECT_LE(cell.step, pixels * (1 + (r - 1) / 2) * (1 + 1e-6)) << i << "," << j;
        }
    EXPECT_GT(outside, 120 * 90 / 3);
}

TEST(EscapeColorings, DistanceCellsComeOnlyFromABuildThatPaintsThem)
{
    CMandelbrotSet set;
    CCanvas canvas;
    canvas.SetTargetSize(64, 48);
    set.Build(canvas);
    EXPECT_FALSE(set.m_colorMap.m_cellsHaveDistance);
    EXPECT_EQ(set.m_colorMap.m_escapeRadius, 100);
    set.m_colorMap.m_coloring = kColoringDistance;
    EXPECT_TRUE(set.m_colorMap.ColoringNeedsBuild());
    EXPECT_EQ(set.m_colorMap.EffectiveColoring(), kColoringSmooth);
    set.Build(canvas);
    EXPECT_TRUE(set.m_colorMap.m_cellsHaveDistance);
    EXPECT_FALSE(set.m_colorMap.ColoringNeedsBuild());
    EXPECT_EQ(set.m_colorMap.EffectiveColoring(), kColoringDistance);
    // Past a double's resolution the deep build gives it too.
    set.m_centerX = -0.7436438870371587;
    set.m_centerY = 0.1318259042053119;
    set.m_halfSize = 1e-14;
    set.Build(canvas);
    EXPECT_TRUE(set.m_colorMap.m_cellsHaveDistance);
    EXPECT_FALSE(set.m_colorMap.ColoringNeedsBuild());
    EXPECT_EQ(set.m_colorMap.EffectiveColoring(), kColoringDistance);
    EXPECT_GT(set.m_colorMap.Cell(10, 10)->state, 1000) << "the deep cells keep their counts";
    // A deep build for another colouring leaves the cells without it.
    set.m_colorMap.m_coloring = kColoringSmooth;
    set.Build(canvas);
    EXPECT_FALSE(set.m_colorMap.m_cellsHaveDistance);
}

// The tip -2 of the set is the end of a segment at every scale, the
// segment [-2, 2] being the Julia set the set resembles there. A point p
// left of it lies |p + 2| from the set (the set is in |c| <= 2), and the
// estimate of a point at angle phi off the axis beyond a segment's end is
// 2 |p + 2| cos(phi / 2): the potential grows as the root of the distance.
// At 1e-170 the derivative passes 2^500 in doubles, at 1e-200 the view is
// in the wide form.
TEST(EscapeColorings, DeepViewsBeyondTheTipEstimateTheDistanceThereAtEveryDepth)
{
    for (int exponent : {20, 100, 170, 200}) {
        const double h = std::pow(10.0, -exponent);
        CMandelbrotSet set;
        set.m_centerX = -2;
        // -2 - 3h: the view lies wholly left of the tip.
        set.m_centerXDigits = "-2." + std::string(size_t(exponent - 1), '0') + "3";
        set.m_halfSize = h;
        set.m_maxIterations = 2000;
        set.m_iterationsSet = true;
        set.m_colorMap.m_coloring = kColoringDistance;
        CCanvas canvas;
        const int w = 24, rows = 18;
        canvas.SetTargetSize(w, rows);
        set.Build(canvas);
        ASSERT_TRUE(set.m_refusal.empty()) << set.m_refusal;
        ASSERT_TRUE(set.m_colorMap.m_cellsHaveDistance) << exponent;
        const double d = 2 * h / rows;
        double worst = 0;
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < w; ++j) {
                // p + 2 in units of h, then of the pixel.
                const double u = -3 + (j - w / 2) * d / h, v = (i - rows / 2) * d / h;
                const double r = std::hypot(u, v), phi = std::atan2(v, -u);
                const PixelRecord& cell = *set.m_colorMap.Cell(i, j);
                ASSERT_LT(cell.value, 1e10f) << exponent << " " << i << "," << j;
                const double estimate = cell.step * d / h;
                // The estimate's own bounds against the distance r (the
                // escape at radius 100 leaves the estimate some 1e-4 off the
                // potential's own ratio, at the bound's edge here)...
                EXPECT_GE(estimate, r / 2) << exponent << " " << i << "," << j;
                EXPECT_LE(estimate, 2 * r * (1 + 1e-3)) << exponent << " " << i << "," << j;
                // ... and its value beyond a segment's end.
                worst = std::max(worst, std::fabs(estimate / (2 * r * std::cos(phi / 2)) - 1));
            }
        EXPECT_LT(worst, 1e-3) << exponent;
    }
}

// The Julia set of 0 is the unit circle; at z0 = p / g it is the circle
// |p| = g, and the estimate of a point p outside it is |p| ln(|p| / g):
// (|p| - g) to the digits of a double this near the circle. The view is
// centred (g + 3h) e^(0.7 i), off the axes, so dz is complex throughout.
TEST(EscapeColorings, DeepJuliaViewsEstimateTheDistanceToTheCircle)
{
    const double angle = 0.7;
    for (int exponent : {20, 100, 170, 200}) {
        const double h = std::pow(10.0, -exponent), g = 1.5;
        const int w = 20, rows = 16;
        std::string center[2];
        {
            const long bits = 1000;
            MpfrReal radius(bits), a(bits), part(bits);
            mpfr_set_ui(radius.get(), 3, MPFR_RNDN);
            mpfr_div_d(radius.get(), radius.get(), std::pow(10.0, exponent - 100), MPFR_RNDN);
            for (int k = 0; k < 100; ++k)
                mpfr_div_ui(radius.get(), radius.get(), 10, MPFR_RNDN);
            mpfr_add_d(radius.get(), radius.get(), g, MPFR_RNDN);
            mpfr_set_d(a.get(), angle, MPFR_RNDN);
            for (int k = 0; k < 2; ++k) {
                k == 0 ? mpfr_cos(part.get(), a.get(), MPFR_RNDN) : mpfr_sin(part.get(), a.get(), MPFR_RNDN);
                mpfr_mul(part.get(), part.get(), radius.get(), MPFR_RNDN);
                std::vector<char> text(size_t(exponent) + 64);
                mpfr_snprintf(text.data(), text.size(), "%.*Rf", exponent + 30, part.get());
                center[k] = text.data();
            }
        }
        DeepJob job = deep_test::Job(center[0], center[1], h, w, rows, 3000);
        job.julia = true;
        job.g = g;
        job.distance = true;
        deep_test::Image image(w, rows);
        const DeepOutcome out = deep_test::BuildDeep(job, image);
        ASSERT_TRUE(out.error.empty() && !out.stopped) << out.error;
        const double d = 2 * h / rows;
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < w; ++j) {
                // |p| - g, in pixels: the offset along the radius, for the
                // squares of the offsets are far below a double's last
                // digit of it.
                const double pixels = 3 * h / d + (j - w / 2) * std::cos(angle) + (i - rows / 2) * std::sin(angle);
                ASSERT_GE(image.Count(i, j), 0) << exponent << " " << i << "," << j;
                EXPECT_NEAR(image.Cell(i, j).step, pixels, pixels * 1e-6) << exponent << " " << i << "," << j;
            }
    }
}

// At the depth where views leave doubles both builds can make the same
// view: the deep build's distance paints it as the double build's does
// wherever the boundary is a pixel away or more (nearer, the estimate
// follows the set's dust, and the doubles' roundings decide it). The
// counts may differ by one at a band's edge: the estimate does not.
TEST(EscapeColorings, DeepAndDoubleBuildsPaintTheSameDistanceWhereBothCan)
{
    struct Place {
        double x, y;
        bool julia;
        double cRe, cIm;
    };
    const double g = std::sqrt(std::hypot(-0.101, 0.956)) + 1;
    const std::string fixedRe = deep_test::FixedPointCenter(-0.101, 0.956, g, false);
    const std::string fixedIm = deep_test::FixedPointCenter(-0.101, 0.956, g, true);
    for (const Place& place : {Place{-0.7436438870371587, 0.1318259042053119, false, 0, 0},
                               Place{-0.10109636384562, 0.95628651080914, false, 0, 0},
                               Place{std::strtod(fixedRe.c_str(), nullptr), std::strtod(fixedIm.c_str(), nullptr),
                                     true, -0.101, 0.956}}) {
        const int w = 64, rows = 48, iterations = 20000;
        const double d = 4e-14;
        CMandelbrotSet set;
        set.m_type = set.m_builtType = place.julia;
        set.m_cRe = place.cRe;
        set.m_cIm = place.cIm;
        set.m_centerX = place.x;
        set.m_centerY = place.y;
        set.m_halfSize = d * rows / 2;
        set.m_maxIterations = iterations;
        set.m_colorMap.m_coloring = kColoringDistance;
        CCanvas shallow;
        shallow.SetTargetSize(w, rows);
        set.Build(shallow);
        ASSERT_TRUE(set.m_colorMap.m_cellsHaveDistance);
        set.Draw(shallow);
        std::vector<PixelRecord> cells;
        for (int i = 0; i < rows; ++i)
            cells.insert(cells.end(), set.m_colorMap.m_gridRows[size_t(i)], set.m_colorMap.m_gridRows[size_t(i)] + w);

        char x[40], y[40];
        std::snprintf(x, sizeof x, "%.17g", place.x);
        std::snprintf(y, sizeof y, "%.17g", place.y);
        DeepJob job = deep_test::Job(x, y, set.m_halfSize, w, rows, iterations);
        job.julia = place.julia;
        job.cRe = place.cRe;
        job.cIm = place.cIm;
        job.g = g;
        job.distance = true;
        ASSERT_EQ(job.pixelSize.ToDouble(), 2 * set.m_halfSize / rows);
        const DeepOutcome out = BuildDeepView(job, set.m_colorMap.m_gridRows.data(), nullptr);
        ASSERT_TRUE(out.error.empty() && !out.stopped) << out.error;
        CCanvas deep;
        deep.SetTargetSize(w, rows);
        set.Draw(deep);
        int clear = 0, off = 0;
        for (int i = 0; i < rows; ++i)
            for (int j = 0; j < w; ++j) {
                const PixelRecord &a = cells[size_t(i) * w + size_t(j)], &b = *set.m_colorMap.Cell(i, j);
                if (!(a.value < 1e10f && a.step >= 1))
                    continue;
                ++clear;
                EXPECT_NEAR(b.step, a.step, 1e-2 * a.step) << place.x << " " << i << "," << j;
                for (int c = 0; c < 3; ++c)
                    off += std::abs(shallow.Row(unsigned(i))[j * 3 + c] - deep.Row(unsigned(i))[j * 3 + c]) > 1;
            }
        EXPECT_GT(clear, w * rows / 8) << place.x;
        EXPECT_EQ(off, 0) << place.x;
    }
}

// The derivative changes no other field: a deep build with it keeps the
// cells and counts the lanes give without it, in doubles and in the wide
// form.
TEST(EscapeColorings, DeepDistanceKeepsEveryOtherFieldOfTheDeepCells)
{
    for (const bool wide : {false, true}) {
        for (bool julia : {false, true}) {
            const int w = 48, rows = 36;
            const double h = 1e-15;
            DeepJob job = julia ? deep_test::Job(deep_test::FixedPointCenter(-0.8, 0.156, 1.9, false),
                                                 deep_test::FixedPointCenter(-0.8, 0.156, 1.9, true), h, w, rows, 5000)
                                : deep_test::Job("-0.10109636384562", "0.95628651080914", h, w, rows, 5000);
            job.forceWide = wide;
            job.julia = julia;
            job.cRe = -0.8;
            job.cIm = 0.156;
            job.g = 1.9;
            deep_test::Image plain(w, rows), withDistance(w, rows);
            ASSERT_TRUE(deep_test::BuildDeep(job, plain).error.empty());
            job.distance = true;
            ASSERT_TRUE(deep_test::BuildDeep(job, withDistance).error.empty());
            int escaped = 0;
            for (int i = 0; i < rows; ++i)
                for (int j = 0; j < w; ++j) {
                    PixelRecord a = plain.Cell(i, j), b = withDistance.Cell(i, j);
                    EXPECT_EQ(plain.Count(i, j), withDistance.Count(i, j)) << wide << " " << julia;
                    EXPECT_TRUE(b.value >= 1e10f ? b.step == 0 : b.step > 0) << wide << " " << julia << " " << b.step;
                    escaped += b.value < 1e10f;
                    b.step = a.step;
                    EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << wide << " " << julia << " " << i << "," << j;
                }
            EXPECT_GT(escaped, w * rows / 4) << wide << " " << julia;
        }
    }
}

} // namespace
