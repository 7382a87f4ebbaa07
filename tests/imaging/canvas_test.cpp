#include <gtest/gtest.h>

#include "imaging/Canvas.h"

namespace {

class CountingView : public CanvasView {
public:
    void ClientSize(unsigned& w, unsigned& h) override
    {
        w = width;
        h = height;
    }
    void StatusChanged() override { statuses.push_back(canvas->Status()); }
    void SelectionChanged() override { ++selectionChanges; }
    unsigned width = 800, height = 600;
    CCanvas* canvas = nullptr;
    std::vector<std::string> statuses;
    int selectionChanges = 0;
};

TEST(Canvas, StrideRoundsRowsToFourBytes)
{
    CCanvas c;
    c.Resize(1, 2, 24);
    EXPECT_EQ(c.m_stride, 4u);
    c.Resize(4, 2, 24);
    EXPECT_EQ(c.m_stride, 12u);
    c.Resize(5, 2, 24);
    EXPECT_EQ(c.m_stride, 16u);
    c.Resize(101, 3, 24);
    EXPECT_EQ(c.m_stride, 304u);
    EXPECT_EQ(c.m_bits.size(), 304u * 3);
    EXPECT_TRUE(c.m_rows.empty());
}

TEST(Canvas, OtherDepthsBecome32BitsWithARowTable)
{
    CCanvas c;
    c.Resize(3, 4, 16);
    EXPECT_EQ(c.m_bitsPerPixel, 32u);
    EXPECT_EQ(c.m_stride, 12u);
    ASSERT_EQ(c.m_rows.size(), 4u);
    for (unsigned i = 0; i < 4; ++i)
        EXPECT_EQ(c.m_rows[i], c.m_bits.data() + i * 12);
}

TEST(Canvas, ResizeToTheSameShapeKeepsTheBuffer)
{
    CCanvas c;
    c.Resize(7, 5, 24);
    c.m_bits[10] = 42;
    const uint8_t* before = c.m_bits.data();
    c.Resize(7, 5, 24);
    EXPECT_EQ(c.m_bits.data(), before);
    EXPECT_EQ(c.m_bits[10], 42);
    c.Clear();
    EXPECT_EQ(c.m_bits[10], 0);
}

TEST(Canvas, StatusReachesTheViewBeforeReturning)
{
    CCanvas c;
    CountingView v;
    v.canvas = &c;
    c.m_view = &v;
    c.SetStatus("Building...");
    c.SetStatus("Ready");
    EXPECT_EQ(v.statuses, (std::vector<std::string>{"Building...", "Ready"}));
}

TEST(Canvas, MeasureAndPixelScale)
{
    CCanvas c;
    c.MeasureView(); // no view: nothing changes
    EXPECT_EQ(c.m_targetWidth, 1u);
    CountingView v;
    v.canvas = &c;
    c.m_view = &v;
    c.MeasureView();
    EXPECT_EQ(c.m_targetWidth, 800u);
    EXPECT_EQ(c.m_targetHeight, 600u);
    EXPECT_DOUBLE_EQ(c.PixelScale(2.0), 4.0 / 600);
}

CCanvas& Zoomable(CCanvas& c, unsigned w, unsigned h)
{
    c.m_targetWidth = w;
    c.m_targetHeight = h;
    c.m_zoomEnabled = true;
    return c;
}

TEST(CanvasSelection, SmallestRectangleKeepsTheAspect)
{
    CCanvas c;
    Zoomable(c, 800, 600);
    c.m_anchorX = 400;
    c.m_anchorY = 300;
    c.FitSelection(0, 0);
    // dy = 5, dx = 5 * 800 / 600 = 6 in integers.
    EXPECT_EQ(c.m_halfWidth, 6);
    const CanvasRect r = c.Selection();
    EXPECT_EQ(r.left, 394);
    EXPECT_EQ(r.top, 295);
    EXPECT_EQ(r.right, 406);
    EXPECT_EQ(r.bottom, 305);
}

TEST(CanvasSelection, WiderDragGrowsTheHeight)
{
    CCanvas c;
    Zoomable(c, 800, 600);
    c.m_anchorX = 400;
    c.m_anchorY = 300;
    c.FitSelection(-100, 10);
    EXPECT_EQ(c.m_halfWidth, 100);
    EXPECT_EQ(c.Selection().top, 300 - 75);
    c.FitSelection(10, 90);
    EXPECT_EQ(c.m_halfWidth, 120);
}

TEST(CanvasSelection, ClipsToTheTargetArea)
{
    CCanvas c;
    Zoomable(c, 10, 8);
    c.m_anchorX = 2;
    c.m_anchorY = 2;
    c.FitSelection(6, 5);
    // 5 * 10 >= 6 * 8, so dx = 5 * 10 / 8 = 6: half sizes 6 x 5.
    const CanvasRect r = c.Selection();
    EXPECT_EQ(r.left, 0);
    EXPECT_EQ(r.top, 0);
    EXPECT_EQ(r.right, 8);
    EXPECT_EQ(r.bottom, 7);
}

TEST(CanvasSelection, ClickShowsAndRecentersARectangle)
{
    CCanvas c;
    CountingView v;
    v.canvas = &c;
    c.m_view = &v;
    Zoomable(c, 800, 600);
    c.ButtonDown(100, 100, CCanvas::kLeftButton);
    EXPECT_TRUE(c.m_selectionVisible);
    EXPECT_EQ(c.m_halfWidth, 6);
    c.DragTo(150, 100, CCanvas::kLeftButton);
    c.EndDrag();
    EXPECT_EQ(c.m_halfWidth, 50);
    // A second click moves the rectangle and keeps its size.
    c.ButtonDown(300, 200, CCanvas::kLeftButton);
    EXPECT_EQ(c.m_halfWidth, 50);
    EXPECT_EQ(c.m_anchorX, 300);
    EXPECT_EQ(c.Selection().left, 250);
    // Right click hides it.
    c.ButtonDown(300, 200, CCanvas::kRightButton);
    EXPECT_FALSE(c.m_selectionVisible);
    EXPECT_GT(v.selectionChanges, 0);
}

TEST(CanvasSelection, JitterKeepsTheSizeAndSixPixelsResize)
{
    CCanvas c;
    Zoomable(c, 800, 600);
    c.ButtonDown(400, 300, CCanvas::kLeftButton);
    c.DragTo(405, 295, CCanvas::kLeftButton);
    EXPECT_FALSE(c.m_dragging);
    EXPECT_EQ(c.m_halfWidth, 6);
    c.DragTo(406, 300, CCanvas::kLeftButton);
    EXPECT_TRUE(c.m_dragging);
    c.DragTo(420, 300, CCanvas::kLeftButton);
    EXPECT_EQ(c.m_halfWidth, 20);
    EXPECT_EQ(c.Selection().top, 300 - 15);
    // Once dragging, even a small move follows the mouse.
    c.DragTo(403, 300, CCanvas::kLeftButton);
    EXPECT_EQ(c.m_halfWidth, 6);
    c.EndDrag();
    EXPECT_FALSE(c.m_dragging);
}

TEST(CanvasSelection, IgnoredOutsideOrWhenZoomIsOff)
{
    CCanvas c;
    Zoomable(c, 800, 600);
    c.ButtonDown(800, 10, CCanvas::kLeftButton);
    EXPECT_FALSE(c.m_selectionVisible);
    c.ButtonDown(-1, 10, CCanvas::kLeftButton);
    EXPECT_FALSE(c.m_selectionVisible);
    c.m_zoomEnabled = false;
    c.ButtonDown(10, 10, CCanvas::kLeftButton);
    EXPECT_FALSE(c.m_selectionVisible);
    c.DragTo(100, 100, CCanvas::kLeftButton);
    EXPECT_FALSE(c.m_dragging);
}

TEST(Canvas, ABufferThatCannotBeHadLeavesNone)
{
    CCanvas c;
    c.Resize(5, 3, 24);
    ASSERT_TRUE(c.HasBuffer());
    // Rows of 2^33 bytes: no stride holds them, no address space the image.
    EXPECT_THROW(c.Resize(1u << 31, 1u << 31, 32), std::bad_alloc);
    EXPECT_FALSE(c.HasBuffer());
    EXPECT_EQ(c.m_bufferWidth, 0u);
    EXPECT_EQ(c.m_bufferHeight, 0u);
    EXPECT_TRUE(c.m_rows.empty());
    // Rows that fit a stride, but 2^32 of them exceed any address space.
    EXPECT_THROW(c.Resize(0x55555554u, 0xFFFFFFFFu, 24), std::bad_alloc);
    EXPECT_FALSE(c.HasBuffer());
    // The same size as before is had again after a failure.
    c.Resize(5, 3, 24);
    EXPECT_EQ(c.m_stride, 16u);
    EXPECT_EQ(c.m_bits.size(), 48u);
    c.Resize(2, 2, 32);
    ASSERT_EQ(c.m_rows.size(), 2u);
    EXPECT_EQ(c.m_rows[1], c.m_bits.data() + 8);
}

} // namespace
