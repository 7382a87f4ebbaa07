#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <sstream>
#include <thread>
#include <vector>

#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/appolony/AppolonySet.h"
#include "rows/PropertyStream.h"
#include "tests/model/RowCollector.h"

namespace {

struct Sized : CCanvas {
    Sized(unsigned w, unsigned h)
    {
        m_targetWidth = w;
        m_targetHeight = h;
    }
};

double Distance(const Circle& a, const Circle& b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Checks the new circle of every gap to `depth` levels against Descartes'
// theorem and against tangency, then goes on into its three gaps.
void CheckGaps(const Circle& n, const Circle& p, const Circle& q, int depth, int& checked)
{
    if (depth == 0)
        return;
    Circle c;
    ASSERT_TRUE(TangentCircle(p, q, n, c));
    const double k1 = 1 / n.r, k2 = 1 / p.r, k3 = 1 / q.r;
    // The circle in the gap is the one of larger curvature.
    const double k4 = k1 + k2 + k3 + 2 * std::sqrt(k1 * k2 + k2 * k3 + k3 * k1);
    EXPECT_NEAR(1 / c.r, k4, 1e-9 * k4);
    for (const Circle* o : {&n, &p, &q})
        EXPECT_NEAR(Distance(c, *o), c.r + o->r, 1e-9 * (c.r + o->r));
    // Inside the gap: within the triangle of the three centres.
    EXPECT_LT(Distance(c, {0, 0, 0}), 1.0);
    ++checked;
    CheckGaps(c, n, p, depth - 1, checked);
    CheckGaps(c, n, q, depth - 1, checked);
    CheckGaps(c, p, q, depth - 1, checked);
}

} // namespace

TEST(AppolonySet, StartingCirclesTouchAndTheFirstCircleIsCentral)
{
    const Circle* s = kAppolonyStart;
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(Distance(s[i], s[(i + 1) % 3]), 2 * std::sqrt(3.0) / 2, 1e-15);
    Circle c;
    ASSERT_TRUE(TangentCircle(s[0], s[1], s[2], c));
    EXPECT_NEAR(c.x, 0, 1e-15);
    EXPECT_NEAR(c.y, 0, 1e-15);
    EXPECT_NEAR(c.r, 0.1339745962155614, 1e-15);
    int checked = 0;
    CheckGaps(s[2], s[0], s[1], 8, checked);
    EXPECT_EQ(checked, (6561 - 1) / 2);
}

TEST(AppolonySet, TangentCircleRefusesDegenerateInput)
{
    Circle c;
    const double nan = std::nan("");
    EXPECT_FALSE(TangentCircle({0, 0, 1}, {2, 0, 1}, {4, 0, 1}, c)); // collinear
    EXPECT_FALSE(TangentCircle({nan, 0, 1}, {2, 0, 1}, {1, 2, 1}, c));
    EXPECT_FALSE(TangentCircle({0, 0, 1}, {INFINITY, 0, 1}, {1, 2, 1}, c));
}

TEST(AppolonySet, DefaultsRowsAndFactory)
{
    CAppolonySet a;
    EXPECT_EQ(a.m_name, "Appolony Set");
    EXPECT_EQ(a.m_kind, CFractal::kAppolony);
    EXPECT_EQ(a.m_halfSize, 0.5);
    EXPECT_EQ(a.m_precision, 5.0);
    EXPECT_EQ(a.MemoryNeed(800, 600), 800ull * 600 * 36);
    EXPECT_EQ(a.MemoryNeed(100000, 100000), 100000ull * 100000 * 36);
    RowCollector rows;
    a.FillProperties(rows);
    ASSERT_GE(rows.rows.size(), 8u);
    const char* labels[] = {"Main", "Name", "precision", "x", "y", "radius", "Colors"};
    const int types[] = {kRowGroup, kRowString, kRowDouble, kRowDouble, kRowDouble, kRowDouble, kRowGroup};
    const int levels[] = {0, 1, 1, 1, 1, 1, 0};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(std::string(rows.rows[size_t(i)].label), labels[i]) << i;
        EXPECT_EQ(rows.rows[size_t(i)].type, types[i]) << i;
        EXPECT_EQ(rows.rows[size_t(i)].level, levels[i]) << i;
    }
    EXPECT_EQ(rows.rows[2].value, &a.m_precision);
    EXPECT_EQ(rows.rows[3].value, &a.m_centerX);
    EXPECT_EQ(rows.rows[4].value, &a.m_centerY);
    EXPECT_EQ(rows.rows[5].value, &a.m_halfSize);
    EXPECT_EQ(rows.rows[7].level, 1);
    for (int type : {3, 4, -1, 99})
        EXPECT_EQ(CreateFractalOfType(type)->m_kind, CFractal::kAppolony) << type;
}

TEST(AppolonySet, PrecisionZeroGivesThreeMassesAndMarksTheLastCell)
{
    CAppolonySet a;
    a.m_precision = 0;
    Sized c(40, 30);
    a.Build(c);
    EXPECT_EQ(a.m_childCount, 3u);
    EXPECT_EQ(a.m_deepestLevel, 0);
    const double d = 2 * 0.5 / 30;
    for (int r = 0; r < 30; ++r)
        for (int col = 0; col < 40; ++col) {
            const PixelRecord* cell = a.m_colorMap.Cell(r, col);
            EXPECT_EQ(cell->value, r == 29 && col == 39 ? 1e10f : 0.0f);
            // One mass of 1 at the origin, in three thirds.
            const double u = (col - 20) * d, v = (r - 15) * d;
            if (u == 0 && v == 0)
                continue;
            const double q = 1 / (u * u + v * v);
            EXPECT_NEAR(cell->nx, q * q * u, 1e-5 * q * q * std::hypot(u, v));
            EXPECT_NEAR(cell->ny, q * q * v, 1e-5 * q * q * std::hypot(u, v));
        }
    EXPECT_EQ(a.m_colorMap.Cell(15, 20)->nx, 0.0f); // the mass itself is left out
}

TEST(AppolonySet, DefaultBuildDescendsFiniteAndProgressEndsOnALevelStep)
{
    CAppolonySet a;
    Sized c(160, 120);
    a.Build(c);
    EXPECT_GT(a.m_deepestLevel, 5);
    EXPECT_LT(a.m_deepestLevel, CAppolonySet::kMaxDepth);
    int marked = 0;
    for (const PixelRecord& cell : a.m_colorMap.m_grid) {
        ASSERT_TRUE(std::isfinite(cell.nx) && std::isfinite(cell.ny));
        marked += cell.value == 1e10f;
    }
    EXPECT_GT(marked, 100);
    // The last progress comes from the last child at level 6 or above, each
    // ancestor on its third child: 100 (2/3 + 2/9 + ...).
    const double p = a.m_progress;
    bool onStep = false;
    for (int levels = 1; levels <= 7; ++levels)
        onStep |= std::fabs(p - 100 * (1 - std::pow(3.0, -levels))) < 1e-9;
    EXPECT_TRUE(onStep) << p;
}

TEST(AppolonySet, CellsOfAChildTooDeepGetNoField)
{
    // With no room below the root the three children are not descended, so
    // the central circle's box stays empty and the rest gets its field.
    CAppolonySet a;
    a.m_stackDepth = 0;
    a.m_halfSize = 3;
    Sized c(60, 60);
    a.Build(c);
    EXPECT_EQ(a.m_childCount, 3u);
    const double d = 0.1, s = 2 * (1 - std::sqrt(3.0) / 2) * 5;
    const int first = int((-0.0 + 30 * d - s) / d + 0.5), end = int((s + 30 * d) / d + 0.5);
    for (int r = 0; r < 60; ++r)
        for (int col = 0; col < 60; ++col) {
            const bool inside = r >= first && r < end && col >= first && col < end;
            const PixelRecord* cell = a.m_colorMap.Cell(r, col);
            EXPECT_EQ(inside, cell->nx == 0 && cell->ny == 0) << r << " " << col;
        }
    a.m_stackDepth = 3;
    a.m_halfSize = 0.5;
    a.Build(c);
    EXPECT_EQ(a.m_deepestLevel, 3);
    a.m_stackDepth = 1 << 30; // never more than the stack holds
    a.Build(c);
    EXPECT_LE(a.m_deepestLevel, CAppolonySet::kMaxDepth);
}

TEST(AppolonySet, StopEndsAfterTheChildInHand)
{
    CAppolonySet a;
    a.m_precision = 40; // long enough for the watcher
    Sized c(200, 200);
    std::atomic<bool> go{true};
    std::thread watcher([&] {
        while (go && a.m_progress < 100.0 / 3 - 1e-9) {}
        a.m_stop = true;
    });
    a.Build(c);
    go = false;
    watcher.join();
    const uint64_t stopped = a.m_childCount;
    EXPECT_GE(a.m_progress, 100.0 / 3 - 1e-9);
    EXPECT_LT(a.m_progress, 66.0);
    EXPECT_TRUE(a.m_stop) << "the build leaves the request for its starter to clear";
    a.m_stop = false;
    a.Build(c);
    EXPECT_LT(stopped, a.m_childCount / 2);
}

TEST(AppolonySet, BadViewAndPrecisionNeverCrashOrHang)
{
    const double nan = std::nan("");
    struct Case {
        double x, y, r, precision;
    } cases[] = {{nan, 0, 0.5, 5},  {0, INFINITY, 0.5, 5}, {0, 0, 0, 5},       {0, 0, -1, 5},   {0, 0, 1e308, 5},
                 {0, 0, 1e-300, 5}, {0, 0, 0.5, nan},      {0, 0, 0.5, 1e300}, {0, 0, 0.5, -3}, {1e300, 0, 0.5, 5}};
    for (const Case& k : cases) {
        CAppolonySet a;
        a.m_centerX = k.x;
        a.m_centerY = k.y;
        a.m_halfSize = k.r;
        a.m_precision = k.precision;
        Sized c(32, 24);
        a.Build(c);
        for (const PixelRecord& cell : a.m_colorMap.m_grid)
            ASSERT_TRUE(std::isfinite(cell.nx) && std::isfinite(cell.ny) && std::isfinite(cell.value));
    }
    CAppolonySet a;
    Sized empty(0, 0);
    a.Build(empty);
    EXPECT_EQ(a.m_childCount, 0u);
}

TEST(AppolonySet, AbsurdPrecisionIsClampedWhereEditedAndLoaded)
{
    CAppolonySet a;
    RowCollector rows;
    a.FillProperties(rows);
    a.m_precision = 1e9;
    a.ValueChanged(2, rows.rows[2]);
    EXPECT_EQ(a.m_precision, CAppolonySet::kMaxPrecision);

    std::istringstream text("[Main]\r\nName=A\r\nprecision=5e8\r\nx=0\r\ny=0\r\nradius=0.5\r\n");
    CAppolonySet b;
    PropertyStream in(text, false);
    b.FillProperties(in);
    EXPECT_EQ(b.m_precision, CAppolonySet::kMaxPrecision);
}
