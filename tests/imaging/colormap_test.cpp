#include <gtest/gtest.h>

#include <cmath>

#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"

namespace {

PixelRecord Cell(float u, float v, float value)
{
    PixelRecord r{};
    r.nx = u;
    r.ny = v;
    r.value = value;
    return r;
}

TEST(ColorMap, AllocateKeepsSameSizeAndResetClearsTheRightFields)
{
    CColorMap m;
    m.AllocateGrid(3, 2);
    ASSERT_EQ(m.m_grid.size(), 6u);
    EXPECT_EQ(m.m_gridRows[1], m.m_grid.data() + 3);
    m.Cell(1, 2)->step = 7;
    m.Cell(1, 2)->value = 5;
    m.Cell(1, 2)->x = 1;
    m.AllocateGrid(3, 2);
    EXPECT_EQ(m.Cell(1, 2)->step, 7);
    m.ResetGrid(0.5f);
    EXPECT_EQ(m.Cell(1, 2)->z, 0.5f);
    EXPECT_EQ(m.Cell(1, 2)->value, 0);
    EXPECT_EQ(m.Cell(1, 2)->x, 1);
    EXPECT_EQ(m.Cell(1, 2)->step, 7);
}

TEST(ColorMap, DrawsTheColorFormulaBottomUp)
{
    CColorMap m;
    m.AllocateGrid(3, 2);
    *m.Cell(0, 0) = Cell(1, 0, 1);       // theta 0
    *m.Cell(0, 1) = Cell(0, 1, 1);       // theta pi/2
    *m.Cell(0, 2) = Cell(0, 0, 1e10f);   // background
    *m.Cell(1, 0) = Cell(-1, 0, 9.9e9f); // theta pi, coloured
    *m.Cell(1, 1) = Cell(1, 1, 0);
    *m.Cell(1, 2) = Cell(1, 0, 2e10f);
    CCanvas c;
    c.Resize(3, 2, 24);
    std::fill(c.m_bits.begin(), c.m_bits.end(), uint8_t(0xAB));
    m.Draw(c);
    EXPECT_EQ(c.Status(), "Drawing...");
    EXPECT_EQ(c.m_stride, 12u);
    const uint8_t* row0 = c.Row(0);
    // 128 - 127 cos(1) = 59.38 -> 59 in every channel.
    EXPECT_EQ(row0[0], 59);
    EXPECT_EQ(row0[1], 59);
    EXPECT_EQ(row0[2], 59);
    // 128 - 127 cos(pi/2 + 1) = 128 + 127 sin(1) = 234.86 -> 234.
    EXPECT_EQ(row0[3], 234);
    EXPECT_EQ(row0[6], 0);
    EXPECT_EQ(row0[8], 0);
    // The padding bytes are left as they were.
    EXPECT_EQ(row0[9], 0xAB);
    EXPECT_EQ(row0[11], 0xAB);
    const uint8_t* row1 = c.Row(1);
    // 128 - 127 cos(pi + 1) = 128 + 127 cos(1) = 196.6 -> 196.
    EXPECT_EQ(row1[0], 196);
}

TEST(ColorMap, FrequencyShiftAndBackground)
{
    CColorMap m;
    m.m_red = 0;
    m.m_redShift = 0;
    m.m_blue = 2;
    m.m_background = 1;
    m.AllocateGrid(2, 1);
    *m.Cell(0, 0) = Cell(0, 1, 0);
    *m.Cell(0, 1) = Cell(0, 0, 1e10f);
    CCanvas c;
    m.Draw(c);
    const uint8_t* p = c.Row(0);
    EXPECT_EQ(p[2], 1); // red: 128 - 127 cos 0
    // blue: 128 - 127 cos(2 * pi/2 + 1) = 128 + 127 cos 1 = 196.6
    EXPECT_EQ(p[0], 196);
    EXPECT_EQ(p[3], 255);
    EXPECT_EQ(p[4], 255);
    EXPECT_EQ(p[5], 255);
}

TEST(ColorMap, HugeFrequencyStaysInRange)
{
    CColorMap m;
    m.m_red = 1e308;
    m.AllocateGrid(1, 1);
    *m.Cell(0, 0) = Cell(-1, 0.1f, 0);
    CCanvas c;
    m.Draw(c);
    EXPECT_EQ(c.Row(0)[2], 128);
}

TEST(ColorMap, AGridThatCannotBeHadLeavesAnEmptyOne)
{
    CColorMap map;
    map.AllocateGrid(4, 3);
    ASSERT_EQ(map.m_grid.size(), 12u);
    // About 2^62 cells of 36 bytes: more than any address space.
    const int big = 0x7FFFFFFF;
    EXPECT_THROW(map.AllocateGrid(big, big), std::bad_alloc);
    EXPECT_EQ(map.m_gridWidth, 0);
    EXPECT_EQ(map.m_gridHeight, 0);
    EXPECT_TRUE(map.m_grid.empty());
    EXPECT_TRUE(map.m_gridRows.empty());
    // Painting the empty grid draws nothing and does not read past it.
    CCanvas canvas;
    map.Draw(canvas);
    EXPECT_EQ(canvas.m_bufferWidth, 0u);
    map.AllocateGrid(4, 3);
    EXPECT_EQ(map.m_grid.size(), 12u);
    EXPECT_EQ(map.Cell(2, 0), map.m_grid.data() + 8);
}

} // namespace

namespace {

// Every pixel by the formula itself, channel by channel, however the
// frequencies and shifts coincide, on a grid wide and tall enough to be
// spread over the cores.
TEST(ColorMap, EveryChannelFollowsTheFormulaWhateverItsPartners)
{
    struct Params {
        double red, green, blue, redShift, greenShift, blueShift;
    };
    const Params cases[] = {
        {1, 1, 1, 1, 1, 1},   {1, 1, 2, 1, 1, 1}, {1, 2, 1, 1, 1, 1}, {1, 1, 1, 1, 0, 1},    {2, 1, 1, 1, 1, 1},
        {0.5, 3, 3, 0, 2, 2}, {1, 2, 2, 1, 0, 1}, {1, 2, 1, 1, 1, 0}, {1, 1, 1, 0, 0, -0.0}, {0, -0.0, 0, 1, 1, 1},
    };
    const int w = 97, h = 61;
    CColorMap m;
    m.AllocateGrid(w, h);
    for (int i = 0; i < h; ++i)
        for (int j = 0; j < w; ++j)
            *m.Cell(i, j) = Cell(float(j - w / 2), float(i - h / 2) * 0.7f, (i * w + j) % 7 == 0 ? 1e10f : 1);
    auto channel = [](double phase) { return uint8_t(int(128 - 127 * std::cos(phase))); };
    for (const Params& p : cases) {
        m.m_red = p.red;
        m.m_green = p.green;
        m.m_blue = p.blue;
        m.m_redShift = p.redShift;
        m.m_greenShift = p.greenShift;
        m.m_blueShift = p.blueShift;
        CCanvas c;
        m.Draw(c);
        int wrong = 0;
        for (int i = 0; i < h; ++i)
            for (int j = 0; j < w; ++j) {
                const PixelRecord& r = *m.Cell(i, j);
                const uint8_t* px = c.Row(unsigned(i)) + 3 * j;
                if (r.value >= 1e10f) {
                    wrong += px[0] != 0 || px[1] != 0 || px[2] != 0;
                    continue;
                }
                const double t = std::atan2(double(r.ny), double(r.nx));
                wrong += px[2] != channel(t * p.red + p.redShift);
                wrong += px[1] != channel(t * p.green + p.greenShift);
                wrong += px[0] != channel(t * p.blue + p.blueShift);
            }
        EXPECT_EQ(wrong, 0) << p.red << " " << p.green << " " << p.blue << " / " << p.redShift << " " << p.greenShift
                            << " " << p.blueShift;
    }
}

} // namespace
