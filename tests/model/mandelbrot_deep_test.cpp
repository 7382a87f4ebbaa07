// The Mandelbrot and Julia builds past doubles: which views go there, that
// they are built at the centre's whole digits, and the count they choose.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/deep/FloatExp.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"
#include "tests/model/MpfrReference.h"

namespace {

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        m_targetWidth = w;
        m_targetHeight = h;
    }
};

void Center(CMandelbrotSet& m, const std::string& x, const std::string& y)
{
    m.m_centerX = std::strtod(x.c_str(), nullptr);
    m.m_centerY = std::strtod(y.c_str(), nullptr);
    m.m_centerXDigits = x;
    m.m_centerYDigits = y;
}

TEST(DeepViewRule, ViewsPastTheResolutionOfDoubles)
{
    // Below 2^-45 of the centre's size, or of 1 near the origin.
    EXPECT_FALSE(NeedsDeepView(1.0, 0.0, 0x1p-45));
    EXPECT_TRUE(NeedsDeepView(1.0, 0.0, 0x1.fffffp-46));
    EXPECT_FALSE(NeedsDeepView(-0.75, 4.0, 0x1p-43));
    EXPECT_TRUE(NeedsDeepView(-0.75, 4.0, 0x1.fffffp-44));
    EXPECT_TRUE(NeedsDeepView(0.0, 0.0, 1e-20));
    EXPECT_FALSE(NeedsDeepView(0.0, 0.0, 1e-13));
    EXPECT_FALSE(NeedsDeepView(0.0, 0.0, std::nan("")));
    EXPECT_FALSE(NeedsDeepView(0.0, 0.0, 0.0));
    EXPECT_FALSE(NeedsDeepView(0.0, 0.0, -1e-20));
    EXPECT_TRUE(NeedsDeepView(0.0, 0.0, 5e-324));

    // Digits count only while they round to the double beside them.
    EXPECT_TRUE(DigitsHold("0.1000000000000000000000000001", 0.1));
    EXPECT_FALSE(DigitsHold("0.1000000000000000000000000001", 0.2));
    EXPECT_FALSE(DigitsHold("0.1x", 0.1));
    EXPECT_FALSE(DigitsHold("", 0.0));
    EXPECT_EQ(CoordinateText(0.1, "0.1000000000000000000000000001"), "0.1000000000000000000000000001");
    EXPECT_EQ(CoordinateText(0.2, "0.1000000000000000000000000001"), "0.2");
}

// A view at 1e-22 beside c = i, whose neighbourhood holds spirals at every
// scale, and some 12 half-sizes from the double the digits round to: every
// pixel painted as GNU MPFR finds it at the whole centre.
TEST(MandelbrotDeep, AViewPastDoublesIsBuiltAtTheCentersDigits)
{
    const std::string x = "0.00000000000000000000043", y = "1.00000000000000000000123";
    const int w = 40, h = 30, iterations = 3000;
    CMandelbrotSet m;
    Center(m, x, y);
    m.m_halfSize = 1e-22;
    m.m_maxIterations = iterations;
    m.m_iterationsSet = true;
    Target canvas(w, h);
    m.Build(canvas);
    EXPECT_TRUE(m.m_refusal.empty()) << m.m_refusal;
    EXPECT_EQ(m.m_raisedIterations.load(), 0);
    m.Draw(canvas);

    CColorMap reference;
    reference.AllocateGrid(w, h);
    reference.ResetGrid(0);
    const double d = 2 * m.m_halfSize / std::min(w, h);
    int escaped = 0;
    ForEachRange(h, 1, [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            for (int j = 0; j < w; ++j) {
                const FloatExp ox = FloatExp(double(j - w / 2)) * FloatExp(d);
                const FloatExp oy = FloatExp(double(i - h / 2)) * FloatExp(d);
                const auto p = mpfr_reference::Iterate(x, y, ox.m, long(ox.e), oy.m, long(oy.e), false, 0, 0, 1, 1e4,
                                                       iterations, 256);
                PixelRecord& cell = *reference.Cell(i, j);
                cell.nx = p.re;
                cell.ny = p.im;
                cell.value = p.value;
            }
    });
    CCanvas painted;
    reference.Draw(painted);
    int off = 0;
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j) {
            escaped += reference.Cell(i, j)->value < 1e10f;
            for (int c = 0; c < 3; ++c)
                off += std::abs(canvas.Row(unsigned(i))[j * 3 + c] - painted.Row(unsigned(i))[j * 3 + c]) > 1;
        }
    EXPECT_EQ(off, 0);
    EXPECT_GT(escaped, w * h / 2);

    // The doubles alone give another picture altogether.
    m.m_centerXDigits.clear();
    m.m_centerYDigits.clear();
    Target rounded(w, h);
    m.Build(rounded);
    m.Draw(rounded);
    int differ = 0;
    for (int i = 0; i < h; ++i)
        differ += std::memcmp(rounded.Row(unsigned(i)), canvas.Row(unsigned(i)), size_t(w) * 3) != 0;
    EXPECT_GT(differ, h / 2);
}

// A document's builds keep their orbits for the next: along a walk of
// zooms, a raised count and a pan, each view's cells are those of a
// document that built it first.
TEST(MandelbrotDeep, EachViewOfAWalkIsThatOfAFreshDocument)
{
    const std::string x = "0.00000000000000000000043000000000000000000000", y = "1.00000000000000000000123";
    const int w = 32, h = 24;
    CMandelbrotSet walked;
    Center(walked, x, y);
    walked.m_halfSize = 1e-22;
    walked.m_maxIterations = 2000;
    walked.m_iterationsSet = true;
    const auto same = [&](const char* what) {
        CMandelbrotSet fresh;
        Center(fresh, walked.m_centerXDigits, walked.m_centerYDigits);
        fresh.m_halfSize = walked.m_halfSize;
        fresh.m_maxIterations = walked.m_maxIterations;
        fresh.m_iterationsSet = true;
        Target a(w, h), b(w, h);
        walked.Build(a);
        fresh.Build(b);
        ASSERT_TRUE(walked.m_refusal.empty() && fresh.m_refusal.empty()) << what;
        for (int i = 0; i < h; ++i)
            ASSERT_EQ(std::memcmp(walked.m_colorMap.Cell(i, 0), fresh.m_colorMap.Cell(i, 0), sizeof(PixelRecord) * w),
                      0)
                << what << ", row " << i;
        // A picture, not a blank: the centre's row holds many values.
        std::vector<float> values;
        for (int j = 0; j < w; ++j)
            values.push_back(walked.m_colorMap.Cell(h / 2, j)->value);
        std::sort(values.begin(), values.end());
        EXPECT_GT(std::unique(values.begin(), values.end()) - values.begin(), w / 2) << what;
    };
    same("first view");
    walked.m_halfSize /= 1.5;
    same("zoomed in");
    walked.m_maxIterations *= 3;
    same("more iterations");
    Center(walked, x.substr(0, x.size() - 1) + "1", y);
    same("panned");
    walked.m_halfSize *= 1.5 * 1.5;
    same("zoomed out past the first view");

    // A count the program chooses: its probes read and keep orbits too.
    // Just right of the cusp at 1/4 the count rises to 10000.
    CMandelbrotSet cusp;
    Center(cusp, "0.2500001", "0");
    Target a(24, 18), b(24, 18);
    for (const double halfSize : {1e-20, 1e-20 / 1.5, 1e-20 / 1.5 / 1.5}) {
        CMandelbrotSet fresh;
        Center(fresh, "0.2500001", "0");
        cusp.m_halfSize = fresh.m_halfSize = halfSize;
        cusp.Build(a);
        fresh.Build(b);
        EXPECT_EQ(cusp.m_raisedIterations.load(), 10000);
        EXPECT_EQ(fresh.m_raisedIterations.load(), 10000);
        for (int i = 0; i < 18; ++i)
            ASSERT_EQ(std::memcmp(cusp.m_colorMap.Cell(i, 0), fresh.m_colorMap.Cell(i, 0), sizeof(PixelRecord) * 24), 0)
                << halfSize << ", row " << i;
    }
}

// Just right of the cusp at c = 1/4 + e, every point of a small view
// escapes after about pi / sqrt(e) steps: at e = 1e-7 some 9,930. The
// probe at 4000 is wholly inside; at 16000 every pixel escapes by then, so
// the count is the round 10000 above them.
TEST(MandelbrotDeep, AnUnsetCountRisesUntilTheBorderEscapes)
{
    CMandelbrotSet m;
    Center(m, "0.2500001", "0");
    m.m_halfSize = 1e-20;
    Target canvas(24, 18);
    m.Build(canvas);
    EXPECT_EQ(m.m_raisedIterations.load(), 10000);
    EXPECT_EQ(m.m_maxIterations, 1000); // not while the build runs
    EXPECT_LT(m.m_colorMap.Cell(9, 12)->value, 1e10f);
    EXPECT_TRUE(m.AdoptBuildChoices());
    EXPECT_EQ(m.m_maxIterations, 10000);
    EXPECT_FALSE(m.AdoptBuildChoices());

    // A count the user set is kept, and the picture stays inside.
    CMandelbrotSet set;
    Center(set, "0.2500001", "0");
    set.m_halfSize = 1e-20;
    set.m_maxIterations = 2000;
    PropertyItem row;
    row.value = &set.m_maxIterations;
    set.ValueChanged(0, row);
    set.Build(canvas);
    EXPECT_EQ(set.m_raisedIterations.load(), 0);
    EXPECT_EQ(set.m_colorMap.Cell(9, 12)->value, 1e10f);
    EXPECT_FALSE(set.AdoptBuildChoices());
    EXPECT_EQ(set.m_maxIterations, 2000);

    // Views doubles resolve keep their count, black border or not.
    CMandelbrotSet shallow;
    shallow.m_centerX = 0.2500001;
    shallow.m_halfSize = 1e-9;
    shallow.Build(canvas);
    EXPECT_EQ(shallow.m_raisedIterations.load(), 0);
}

// Deeper at the cusp (e = 1e-12, some 3 million steps) the count stops at
// its cap with the border still inside.
TEST(MandelbrotDeep, TheRisingCountStopsAtItsCap)
{
    CMandelbrotSet m;
    Center(m, "0.250000000001", "0");
    m.m_halfSize = 1e-24;
    Target canvas(8, 6);
    m.Build(canvas);
    EXPECT_EQ(m.m_raisedIterations.load(), CMandelbrotSet::kAutoIterationsCap);
    EXPECT_EQ(m.m_colorMap.Cell(3, 4)->value, 1e10f);
}

// The memory question hears of the orbits: at a hundred million
// iterations they outweigh the cells many times over.
TEST(MandelbrotDeep, TheMemoryNeedCountsTheReferenceOrbits)
{
    CMandelbrotSet m;
    const uint64_t cells = m.MemoryNeed(800, 600);
    EXPECT_EQ(cells, 800u * 600u * sizeof(PixelRecord));
    Center(m, "-0.75", "0.1");
    m.m_halfSize = 1e-30;
    m.m_maxIterations = CMandelbrotSet::kMaxIterations;
    m.m_iterationsSet = true;
    // Two doubles a step at the least.
    EXPECT_GT(m.MemoryNeed(800, 600), cells + 16 * uint64_t(CMandelbrotSet::kMaxIterations));
    // An unset count is counted at the most it may rise to.
    m.m_maxIterations = 1000;
    m.m_iterationsSet = false;
    EXPECT_GT(m.MemoryNeed(800, 600), cells + 16 * uint64_t(CMandelbrotSet::kAutoIterationsCap));
    m.m_halfSize = 1e-3;
    EXPECT_EQ(m.MemoryNeed(800, 600), cells);
}

// Switching to the Julia set starts at its own centre, not at the digits
// of the Mandelbrot view it came from.
TEST(MandelbrotDeep, ATypeSwitchDropsTheDeepCenter)
{
    CMandelbrotSet m;
    Center(m, "0.0000000000000000000000000000000000001", "0");
    m.m_halfSize = 1e-40;
    m.m_type = 1;
    Target canvas(8, 6);
    m.Build(canvas);
    EXPECT_EQ(m.m_halfSize, 2.0);
    EXPECT_TRUE(m.m_centerXDigits.empty());
    EXPECT_EQ(m.m_cRe, 1e-37);
}

} // namespace

namespace {

// A radius past the deepest (as zooms may make it), and a radius of 0 or
// less about a centre kept whole, build nothing and say why; the same
// radii about a centre of doubles keep the image they always gave, and a
// radius whose pixels fall below a double's range builds deep.
TEST(MandelbrotDeep, AViewNoBuildCanShowIsRefusedWithItsReason)
{
    struct Case {
        bool whole;
        double halfSize;
        const char* refusal; // empty: built
        const char* halfDigits = "";
    };
    const char* const deepest = "The radius 5e-100001 is below the deepest radius, 1e-100000";
    for (const Case c :
         {Case{false, 1e-323, ""}, Case{true, 1e-323, ""}, Case{false, 0.0, deepest, "5e-100001"},
          Case{true, 0.0, deepest, "5e-100001"},
          Case{true, 0.0, "A centre with more digits than a double holds needs a radius above 0, not 0"},
          Case{true, -1e-30, "A centre with more digits than a double holds needs a radius above 0, not -1e-30"},
          Case{false, 0.0, ""}, Case{false, -2.0, ""}, Case{true, 1e-30, ""}}) {
        CMandelbrotSet m;
        if (c.whole)
            Center(m, "-0.75", "0.1000000000000000000000000000001");
        m.m_halfSize = c.halfSize;
        m.m_halfSizeDigits = c.halfDigits;
        m.m_maxIterations = 50;
        m.m_iterationsSet = true;
        Target canvas(64, 48);
        m.Build(canvas);
        EXPECT_EQ(m.m_refusal, c.refusal) << c.whole << " " << c.halfSize;
        if (*c.refusal) {
            EXPECT_EQ(canvas.Status(), c.refusal);
        }
    }
}

} // namespace
