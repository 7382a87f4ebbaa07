#include <gtest/gtest.h>

#include <cstring>

#include "imaging/Canvas.h"
#include "model/tile/TileSet.h"

TEST(TileNormalForm, MatricesFromHandWork)
{
    TileNormalForm f = NormalForm(2, 2);
    EXPECT_EQ(f.code, -4);
    EXPECT_EQ(f.A, (TileMatrix{1, -1, 1, 1}));
    EXPECT_EQ(NormalForm(5, 2).code, 0);
    f = NormalForm(4, 4);
    EXPECT_EQ(f.code, -4);
    EXPECT_EQ(f.A, (TileMatrix{2, 0, 0, 2}));
    f = NormalForm(3, 3);
    EXPECT_EQ(f.code, -6);
    EXPECT_EQ(f.A, (TileMatrix{2, 1, -1, 1}));
    EXPECT_EQ(NormalForm(1, 0).code, 0);
    EXPECT_EQ(NormalForm(-1, 0).code, 0);
    EXPECT_EQ(NormalForm(5, -1).code, 0);
    EXPECT_NE(NormalForm(-3, 1).code, 0);
    // Trace 0 with d = k^2 really has trace 0 and determinant k^2.
    f = NormalForm(9, 0);
    EXPECT_EQ(f.A, (TileMatrix{0, -3, 3, 0}));
    EXPECT_EQ(f.code, -4);
}

TEST(TileNormalForm, EveryTileHasTheAskedTraceAndDeterminantAndAllResidues)
{
    for (int d = -40; d <= 40; ++d)
        for (int t = 0; t <= 40; ++t) {
            const TileNormalForm f = NormalForm(d, t);
            if (f.code == 0)
                continue;
            EXPECT_EQ(f.A.a + f.A.e, t) << d << " " << t;
            EXPECT_EQ(Determinant(f.A), d) << d << " " << t;
            EXPECT_EQ(int(CanonicalResidues(f.A).size()), std::abs(d)) << d << " " << t;
        }
}

TEST(TileNormalForm, ChartColors)
{
    EXPECT_EQ(TileChartColor(3, 3), 0xFF00FFu); // magenta
    for (int c = 0; c < kTileChartColumns; ++c)
        for (int r = 0; r < 2; ++r) {
            int d = 0, t = 0;
            TileChartSquare(c, r, d, t);
            EXPECT_EQ(TileChartColor(d, t), 0u);
        }
    int d = 0, t = 0;
    TileChartSquare(23, 3, d, t);
    EXPECT_EQ(d, 3);
    EXPECT_EQ(t, 3);
}

TEST(TileSet, DefaultResidues)
{
    const auto r = CanonicalResidues(NormalForm(3, 3).A);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0], (TilePoint{0, 0}));
    EXPECT_EQ(r[1], (TilePoint{1, 0}));
    EXPECT_EQ(r[2], (TilePoint{-1, 0}));
}

namespace {
int CountColored(const CCanvas& c)
{
    int n = 0;
    for (unsigned i = 0; i < c.m_targetHeight; ++i)
        for (unsigned j = 0; j < c.m_targetWidth; ++j)
            n += reinterpret_cast<const uint32_t*>(c.Row(i))[j] != 0;
    return n;
}
} // namespace

TEST(TileSet, DeepOneDrawsOnePointPerDigitAndDefaultDrawsAll)
{
    CTileSet t;
    CCanvas c;
    c.m_targetWidth = 200;
    c.m_targetHeight = 100;
    t.m_grid = false;
    t.m_deep = 1;
    EXPECT_EQ(t.Draw(c), 1);
    EXPECT_EQ(CountColored(c), 3);
    EXPECT_EQ(reinterpret_cast<const uint32_t*>(c.Row(50))[100], 0xFF0000u);
    t.m_deep = 10;
    c.m_targetWidth = c.m_targetHeight = 1024; // the whole tile fits
    EXPECT_EQ(t.Draw(c), 1);
    EXPECT_EQ(t.m_pointsVisited, 59049u);
}

TEST(TileSet, ClicksAndLeavingOutDigits)
{
    CTileSet t;
    CCanvas c;
    c.m_targetWidth = 100;
    c.m_targetHeight = 100;
    t.Click(50, 50, ClickButton::kRight);
    t.Draw(c);
    EXPECT_EQ(t.m_digitSymmetry[0], 1);
    EXPECT_EQ(t.m_digitX[0], 0);
    EXPECT_EQ(t.m_clickX, -1);
    t.m_digitSymmetry[0] = 11;
    t.Click(50, 50, ClickButton::kRight);
    t.Draw(c);
    EXPECT_EQ(t.m_digitSymmetry[0], -1);
    t.m_digitSymmetry[1] = -1;
    t.m_deep = 1;            // lattice spacing of one pixel, so the grid shows
    EXPECT_EQ(t.Draw(c), 0); // one digit left: grid only
    EXPECT_GT(CountColored(c), 0);
}

TEST(TileSet, LimitsAndDeepTilesEnd)
{
    CTileSet t;
    CCanvas c;
    c.m_targetWidth = 64;
    c.m_targetHeight = 64;
    t.m_deep = 500;
    t.m_determinant = 1000;
    t.Draw(c);
    EXPECT_EQ(t.m_deep, 99);
    EXPECT_EQ(t.m_determinant, 100);
    t.m_determinant = 3;
    t.m_deep = 99; // 3^99 points, almost all far off the canvas
    EXPECT_EQ(t.Draw(c), 1);
    EXPECT_LT(t.m_pointsVisited, 100000000u);
}

#include "model/tile/TileWalk.h"

namespace {
// The default tile (determinant 3, trace 3) walked to depth 8 into `c`.
TileWalkResult WalkDefaultTile(CCanvas& c)
{
    const TileNormalForm form = NormalForm(3, 3);
    const std::vector<TileMatrix> group = SymmetryGroup(form);
    const std::vector<TilePoint> digits = CanonicalResidues(form.A);
    const std::atomic<bool> stop{false};
    uint64_t visited = 0;
    return WalkTile(c, stop, 8, form, group, digits, {0, 0, 0}, {0xFF0000, 0x00FF00, 0x0000FF}, visited);
}
} // namespace

// The window may change the target size while a tile is drawn; the pixels
// still go into the buffer the draw made, centred on it as they would be
// had nothing changed.
TEST(TileSet, TheWalkKeepsToItsBufferWhenTheTargetSizeChanges)
{
    CCanvas same;
    same.m_targetWidth = 64;
    same.m_targetHeight = 48;
    same.Resize(64, 48, 32);
    same.Clear();
    ASSERT_EQ(WalkDefaultTile(same), TileWalkResult::kDone);
    // Some points land on the 64x48 canvas, and the centre pixel is one of
    // them (the origin is a digit and every level keeps it).
    EXPECT_GT(CountColored(same), 0);
    EXPECT_NE(reinterpret_cast<const uint32_t*>(same.Row(24))[32], 0u);

    for (const auto& [w, h] : {std::pair{640u, 480u}, std::pair{8u, 4000u}, std::pair{1u, 1u}}) {
        CCanvas moved;
        moved.m_targetWidth = 64;
        moved.m_targetHeight = 48;
        moved.Resize(64, 48, 32);
        moved.Clear();
        moved.m_targetWidth = w;
        moved.m_targetHeight = h;
        ASSERT_EQ(WalkDefaultTile(moved), TileWalkResult::kDone);
        EXPECT_EQ(moved.m_bits, same.m_bits) << w << "x" << h;
    }
}

#include "imaging/Parallel.h"

// Equal digits put two points on every pixel they reach. The walk takes the
// first-level digits from the last down, so the pixel shows the earlier of
// the two: the last two colours never appear. Deep enough that the walk is
// spread over the cores, which must keep that rule and the plain bytes.
TEST(TileSet, CoincidingPointsShowTheDigitWalkedLastOnEveryPath)
{
    const TileNormalForm form = NormalForm(3, 3);
    const std::vector<TileMatrix> group = SymmetryGroup(form);
    const std::vector<TilePoint> digits = {{0, 0}, {1, 0}, {1, 0}, {0, 0}};
    const std::vector<uint32_t> colors = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    const std::atomic<bool> stop{false};
    auto walk = [&](ExecutionPath path, uint64_t& visited) {
        SetExecutionPath(path);
        CCanvas c;
        c.m_targetWidth = c.m_targetHeight = 512;
        c.Resize(512, 512, 32);
        c.Clear();
        EXPECT_EQ(WalkTile(c, stop, 10, form, group, digits, {0, 0, 0, 0}, colors, visited), TileWalkResult::kDone);
        SetExecutionPath(ExecutionPath::kFast);
        return c.m_bits;
    };
    uint64_t plainVisited = 0, fastVisited = 0;
    const std::vector<uint8_t> plain = walk(ExecutionPath::kPlain, plainVisited);
    const std::vector<uint8_t> fast = walk(ExecutionPath::kFast, fastVisited);
    int seen[4] = {};
    for (size_t i = 0; i + 4 <= plain.size(); i += 4) {
        uint32_t p;
        std::memcpy(&p, &plain[i], 4);
        for (int k = 0; k < 4; ++k)
            seen[k] += p == colors[size_t(k)];
    }
    EXPECT_GT(seen[0], 0);
    EXPECT_GT(seen[1], 0);
    EXPECT_EQ(seen[2], 0);
    EXPECT_EQ(seen[3], 0);
    EXPECT_EQ(fastVisited, plainVisited);
    EXPECT_TRUE(fast == plain) << "the spread walk changed pixels";
}
