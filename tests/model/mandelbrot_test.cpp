#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <sstream>
#include <thread>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "rows/PropertyStream.h"
#include "tests/model/RowCollector.h"

namespace {

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        m_targetWidth = w;
        m_targetHeight = h;
    }
};

TEST(MandelbrotSet, DefaultsAndRows)
{
    CMandelbrotSet m;
    EXPECT_EQ(m.m_name, "Mandelbrot Set");
    EXPECT_EQ(m.m_kind, 3);
    EXPECT_EQ(m.m_centerX, -0.5);
    EXPECT_EQ(m.m_halfSize, 2.0);
    EXPECT_EQ(m.m_progress, -1.0);
    EXPECT_EQ(m.MemoryNeed(800, 600), 17280000u);
    // 64-bit: 40000 x 40000 x 36 overflows 32 bits.
    EXPECT_EQ(m.MemoryNeed(40000, 40000), 57600000000ull);

    RowCollector rows;
    EXPECT_EQ(m.FillProperties(rows), 0);
    std::vector<std::string> labels;
    for (auto& r : rows.rows)
        labels.push_back(r.label);
    const std::vector<std::string> expected = {
        "Main",        "Name",       "type",     "x",        "y",           "radius",          "precision",
        "Colors",      "Red",        "Green",    "Blue",     "Red   Shift", "Green Shift",     "Blue  Shift",
        "Background",  "iterations", "Coloring", "coloring", "gradient",    "gradient offset", "gradient repetitions",
        "inside color"};
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(rows.rows[15].level, 0);
    EXPECT_EQ(rows.rows[15].type, kRowInteger);
    EXPECT_EQ(rows.rows[16].level, 0);
    EXPECT_EQ(rows.rows.back().level, 1);
    EXPECT_EQ(rows.rows[1].level, 1);
    EXPECT_EQ(rows.rows[7].level, 0);
    EXPECT_EQ(rows.rows[8].level, 1);
    EXPECT_EQ(ValueText(rows.rows[2]), "Mandebrot Set");

    m.m_type = 1;
    RowCollector julia;
    m.FillProperties(julia);
    ASSERT_EQ(julia.rows.size(), 24u);
    EXPECT_STREQ(julia.rows[7].label, "Re c");
    EXPECT_STREQ(julia.rows[8].label, "Im c");
}

// An independent check of the iteration with std::complex.
TEST(MandelbrotSet, PixelRatioMatchesDirectComputation)
{
    const std::complex<double> c(0.3, 0.6);
    std::complex<double> z = c, p = c;
    z = z * z + c;
    int k = 0;
    while (std::norm(z) <= 100.0 * 100.0 && k < 1000) {
        p *= z;
        z = z * z + c;
        ++k;
    }
    ASSERT_GT(std::norm(z), 1e4);
    const std::complex<double> ratio = p / z;
    const MandelbrotPixel px = IterateMandelbrotPoint(0.3, 0.6, 0.3, 0.6, 1e4, 1000);
    EXPECT_NEAR(px.re, ratio.real(), 1e-5 * std::abs(ratio));
    EXPECT_NEAR(px.im, ratio.imag(), 1e-5 * std::abs(ratio));
    EXPECT_FLOAT_EQ(px.value, float(std::norm(z)));

    // The origin never escapes.
    EXPECT_EQ(IterateMandelbrotPoint(0, 0, 0, 0, 1e4, 1000).value, 1e10f);
    // A far point escapes at once: P = z0, ratio = z0 / z1.
    const MandelbrotPixel far = IterateMandelbrotPoint(20, 0, 20, 0, 1e4, 1000);
    EXPECT_FLOAT_EQ(far.re, 20.0f / 420.0f);
    EXPECT_FLOAT_EQ(far.value, 420.0f * 420.0f);
}

// Near the neck at -0.75 the orbit lingers by the fixed point at -0.5 for
// thousands of steps, so the running product shrinks like 2^-k: far below
// the smallest double before z escapes. Its direction must survive.
TEST(MandelbrotSet, ASmallProductKeepsItsDirection)
{
    for (double d : {3e-3, 1e-3, 3e-4}) {
        const std::complex<double> c(-0.75, d);
        std::complex<double> z = c * c + c, p = c;
        int k = 0;
        while (std::norm(z) <= 1e4 && k < 100000) {
            p *= z;
            // Renormalised each step by a power of two: exact, direction kept.
            const int e = std::ilogb(std::max(std::fabs(p.real()), std::fabs(p.imag())));
            p = {std::ldexp(p.real(), -e), std::ldexp(p.imag(), -e)};
            z = z * z + c;
            ++k;
        }
        ASSERT_GT(k, 1000) << d;
        const std::complex<double> ratio = p / z;
        const MandelbrotPixel px = IterateMandelbrotPoint(c.real(), c.imag(), c.real(), c.imag(), 1e4, 100000);
        ASSERT_LT(px.value, 1e10f) << d;
        EXPECT_NEAR(std::atan2(double(px.im), double(px.re)), std::arg(ratio), 1e-6) << d;
        EXPECT_FLOAT_EQ(px.value, float(std::norm(z))) << d;
    }
}

TEST(MandelbrotSet, FirstBuildCoversFourUnitsAroundMinusHalf)
{
    CMandelbrotSet m;
    Target c(8, 6);
    m.Build(c);
    const CColorMap& g = m.m_colorMap;
    ASSERT_EQ(g.m_gridWidth, 8);
    ASSERT_EQ(g.m_gridHeight, 6);
    EXPECT_DOUBLE_EQ(g.m_pixelSize, 4.0 / 6);
    EXPECT_EQ(m.m_progress, 100.0);
    // Cell (row 3, column 4) is the centre (-0.5, 0): inside.
    EXPECT_EQ(g.Cell(3, 4)->value, 1e10f);
    // Cell (0, 0) is (-0.5 - 4d, -3d) = (-3.1667, -2): escapes.
    const PixelRecord* corner = g.Cell(0, 0);
    EXPECT_LT(corner->value, 1e10f);
    const double d = 4.0 / 6;
    const MandelbrotPixel p = IterateMandelbrotPoint(-0.5 - 4 * d, -3 * d, -0.5 - 4 * d, -3 * d, 1e4, 1000);
    EXPECT_EQ(corner->nx, p.re);
    EXPECT_EQ(corner->ny, p.im);
    // Rows grow upwards in y: row 5 is the mirror image of row 1.
    EXPECT_EQ(g.Cell(5, 0)->value, g.Cell(1, 0)->value);
    EXPECT_EQ(g.Cell(5, 0)->ny, -g.Cell(1, 0)->ny);
}

TEST(MandelbrotSet, TypeSwitchTakesTheCenterAsConstant)
{
    CMandelbrotSet m;
    Target c(4, 4);
    m.Build(c);
    m.m_centerX = -0.75;
    m.m_centerY = 0.1;
    m.m_halfSize = 0.01;
    m.m_type = 1;
    m.Build(c);
    EXPECT_EQ(m.m_cRe, -0.75);
    EXPECT_EQ(m.m_cIm, 0.1);
    EXPECT_EQ(m.m_centerX, 0.0);
    EXPECT_EQ(m.m_centerY, 0.0);
    EXPECT_EQ(m.m_halfSize, 2.0);
    // Zooming the Julia set keeps the constant.
    m.m_halfSize = 1;
    m.Build(c);
    EXPECT_EQ(m.m_cRe, -0.75);
    EXPECT_EQ(m.m_halfSize, 1.0);
    // Back to Mandelbrot: the view resets, the constant stays.
    m.m_type = 0;
    m.Build(c);
    EXPECT_EQ(m.m_centerX, -0.5);
    EXPECT_EQ(m.m_halfSize, 2.0);
    EXPECT_EQ(m.m_cRe, -0.75);
    EXPECT_EQ(m.m_cIm, 0.1);
}

TEST(MandelbrotSet, JuliaWithZeroConstantIsTheUnitDisc)
{
    CMandelbrotSet m;
    m.m_type = 1;
    m.m_builtType = 1;
    m.m_centerX = 0;
    m.m_cRe = m.m_cIm = 0;
    m.m_halfSize = 2;
    Target c(40, 40);
    m.Build(c);
    // g = 1, so the plane is the view: |z| < 1 stays, |z| > 1 escapes.
    const double d = 0.1;
    for (int i = 0; i < 40; ++i)
        for (int j = 0; j < 40; ++j) {
            const double r = std::hypot((j - 20) * d, (i - 20) * d);
            if (r < 0.95) {
                EXPECT_EQ(m.m_colorMap.Cell(i, j)->value, 1e10f);
            } else if (r > 1.05) {
                EXPECT_LT(m.m_colorMap.Cell(i, j)->value, 1e10f);
            }
        }
}

TEST(MandelbrotSet, HighPrecisionEscapeCanCountAsBackground)
{
    // With an escape radius of 1e5 the first escaping value can exceed 1e10.
    const MandelbrotPixel p = IterateMandelbrotPoint(50000, 0, 50000, 0, 1e5 * 1e5, 1000);
    EXPECT_GE(p.value, 1e10f);
}

TEST(MandelbrotSet, StopBeforeTheFirstRowLeavesCellsCleared)
{
    // A Stop pressed before the worker reached Build is not lost, and the
    // cells of the build before do not show through, whether the count is
    // chosen first or typed.
    for (bool typed : {false, true}) {
        CMandelbrotSet m;
        Target c(10, 10);
        m.Build(c);
        ASSERT_NE(m.m_colorMap.Cell(0, 0)->nx, 0.0f);
        ASSERT_NE(m.m_colorMap.Cell(5, 5)->value, 0.0f);
        m.m_iterationsSet = typed;
        m.m_stop = true;
        m.Build(c);
        EXPECT_TRUE(m.m_stop);
        for (int i = 0; i < 10; ++i)
            for (int j = 0; j < 10; ++j) {
                const PixelRecord& cell = *m.m_colorMap.Cell(i, j);
                EXPECT_TRUE(cell.value == 0 && cell.nx == 0 && cell.ny == 0) << i << "," << j << " typed " << typed;
            }
    }
}

TEST(MandelbrotSet, StopDuringARowEndsTheBuildInThatRow)
{
    // The plain path: one thread, the rows in order.
    SetExecutionPath(ExecutionPath::kPlain);
    CMandelbrotSet m;
    Target c(30, 10);
    std::atomic<bool> go{true};
    // Progress is written before each row; a thread watching it stops the
    // build. The rows before are whole; the one under way ends within the
    // point it was on, since points this costly would keep a Stop waiting,
    // and is left whole or cleared.
    std::thread watcher([&] {
        while (go && m.m_progress < 30.0) {}
        m.m_stop = true;
    });
    m.m_maxIterations = 2000000; // slow enough for the watcher on a busy machine
    m.m_iterationsSet = true;
    m.Build(c);
    go = false;
    watcher.join();
    int computed = 0, partial = 0;
    bool ended = false;
    for (int i = 0; i < 10; ++i) {
        int rowCells = 0;
        for (int j = 0; j < 30; ++j)
            rowCells += m.m_colorMap.Cell(i, j)->value != 0;
        EXPECT_FALSE(ended && rowCells > 0) << "row " << i << " after the stop";
        computed += rowCells == 30;
        partial += rowCells > 0 && rowCells < 30;
        ended = ended || rowCells < 30;
    }
    SetExecutionPath(ExecutionPath::kFast);
    EXPECT_LT(computed, 10);
    EXPECT_GE(computed, 3);
    EXPECT_LE(partial, 1);
}

// Spread over the cores, rows are dealt out of order, but a Stop still ends
// every row under way: at most one partial row per thread.
TEST(MandelbrotSet, StopDuringSpreadRowsEndsEveryRowUnderWay)
{
    CMandelbrotSet m;
    // Every pixel lies deep in the Siegel disk whose centre's multiplier
    // turns by the golden angle: its orbit closes in too slowly to repeat,
    // so each point runs the full count and no shortcut ends it early. A
    // view of ordinary inside points ended before a busy machine ran the
    // watcher.
    const double turn = M_PI * (std::sqrt(5.0) - 1);
    m.m_centerX = std::cos(turn) / 2 - std::cos(2 * turn) / 4;
    m.m_centerY = std::sin(turn) / 2 - std::sin(2 * turn) / 4;
    m.m_halfSize = 1e-9;
    Target c(30, 10);
    std::atomic<bool> go{true};
    std::thread watcher([&] {
        while (go && m.m_progress < 30.0) {}
        m.m_stop = true;
    });
    m.m_maxIterations = 20000000;
    m.m_iterationsSet = true;
    m.Build(c);
    go = false;
    watcher.join();
    int computed = 0, partial = 0;
    for (int i = 0; i < 10; ++i) {
        int rowCells = 0;
        for (int j = 0; j < 30; ++j)
            rowCells += m.m_colorMap.Cell(i, j)->value != 0;
        computed += rowCells == 30;
        partial += rowCells > 0 && rowCells < 30;
    }
    EXPECT_LT(computed, 10);
    EXPECT_GE(computed, 3);
    EXPECT_LE(partial, int(std::max(2u, std::thread::hardware_concurrency())));
}

TEST(MandelbrotSet, JuliaFileKeepsItsConstant)
{
    CMandelbrotSet a;
    a.m_type = 1;
    a.m_builtType = 1;
    a.m_cRe = -0.8;
    a.m_cIm = 0.156;
    a.m_centerX = 0.1;
    std::ostringstream out(std::ios::binary);
    {
        PropertyStream w(out, false);
        a.FillProperties(w);
    }
    EXPECT_NE(out.str().find("Re c=-0.8\r\nIm c=0.156\r\n"), std::string::npos);
    CMandelbrotSet b;
    std::istringstream in(out.str());
    PropertyStream r(in, false);
    b.FillProperties(r);
    EXPECT_EQ(b.m_type, 1);
    EXPECT_EQ(b.m_cRe, -0.8);
    EXPECT_EQ(b.m_cIm, 0.156);
    Target c(4, 4);
    b.Build(c);
    EXPECT_EQ(b.m_cRe, -0.8);
    EXPECT_EQ(b.m_centerX, 0.1);
}

} // namespace

namespace {

// The percentage counts finished rows however they are dealt out: it never
// falls, ends at 100, and moves in steps of rows.
TEST(MandelbrotSet, ProgressRisesRowByRowWhenRowsAreSpread)
{
    CMandelbrotSet m;
    Target c(40, 300);
    // Around the main cardioid's edge: points that run the full count or
    // close to it.
    m.m_centerX = std::cos(1.0) / 2 - std::cos(2.0) / 4;
    m.m_centerY = std::sin(1.0) / 2 - std::sin(2.0) / 4;
    m.m_halfSize = 1e-3;
    m.m_maxIterations = 20000;
    m.m_iterationsSet = true;
    std::atomic<bool> go{true};
    std::vector<double> seen;
    std::thread watcher([&] {
        while (go) {
            const double p = m.m_progress;
            if (seen.empty() || seen.back() != p)
                seen.push_back(p);
        }
    });
    m.Build(c);
    go = false;
    watcher.join();
    EXPECT_EQ(m.m_progress, 100.0);
    for (size_t k = 1; k < seen.size(); ++k)
        EXPECT_LT(seen[k - 1], seen[k]) << k;
    EXPECT_GE(seen.size(), 3u) << "some steps between the start and the end";
}

} // namespace
