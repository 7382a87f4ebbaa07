#include <gtest/gtest.h>

#include "document/BuildSteps.h"
#include "imaging/Canvas.h"
#include "model/MandelbrotSet.h"

namespace {

struct Zoom {
    CMandelbrotSet f;
    CCanvas c;
    Zoom(int ax, int ay, int half, double r)
    {
        c.m_targetWidth = 800;
        c.m_targetHeight = 600;
        c.m_anchorX = ax;
        c.m_anchorY = ay;
        c.m_halfWidth = half;
        f.m_centerX = 0;
        f.m_centerY = 0;
        f.m_halfSize = r;
    }
};

TEST(ZoomArithmetic, InAndOutAreInverse)
{
    Zoom z(400, 300, 100, 2.0);
    ApplyZoom(z.f, z.c, false);
    EXPECT_DOUBLE_EQ(z.f.m_halfSize, 0.5); // 100 * 2 * 2 / 800
    EXPECT_DOUBLE_EQ(z.f.m_centerX, 0.0);
    ApplyZoom(z.f, z.c, true);
    EXPECT_DOUBLE_EQ(z.f.m_halfSize, 2.0); // 800 * 0.5 / 200
}

TEST(ZoomArithmetic, OffCentreRectangleMovesTheCentre)
{
    Zoom z(500, 300, 100, 2.0);
    ApplyZoom(z.f, z.c, false);
    EXPECT_DOUBLE_EQ(z.f.m_centerX, 100 * 4.0 / 600);
    EXPECT_DOUBLE_EQ(z.f.m_centerY, 0.0);
    // Screen y grows downwards, plane y upwards.
    Zoom down(400, 400, 100, 2.0);
    ApplyZoom(down.f, down.c, false);
    EXPECT_DOUBLE_EQ(down.f.m_centerY, -100 * 4.0 / 600);
    // Zooming out from there brings the old centre back.
    Zoom back(500, 400, 100, 0.5);
    back.f.m_centerX = 1;
    back.f.m_centerY = 1;
    ApplyZoom(back.f, back.c, true);
    EXPECT_DOUBLE_EQ(back.f.m_halfSize, 2.0);
    ApplyZoom(back.f, back.c, false);
    EXPECT_DOUBLE_EQ(back.f.m_centerX, 1.0);
    EXPECT_DOUBLE_EQ(back.f.m_centerY, 1.0);
    EXPECT_DOUBLE_EQ(back.f.m_halfSize, 0.5);
}

class RecordingView : public CanvasView {
public:
    void ClientSize(unsigned& w, unsigned& h) override { w = h = 16; }
    void StatusChanged() override { statuses.push_back(canvas->Status()); }
    CCanvas* canvas = nullptr;
    std::vector<std::string> statuses;
};

TEST(BuildSteps, RebuildAppliesAVisibleRectangleOnlyWhenTheViewIsValid)
{
    CMandelbrotSet f;
    CCanvas c;
    c.m_targetWidth = 800;
    c.m_targetHeight = 600;
    c.m_selectionVisible = true;
    c.m_anchorX = 400;
    c.m_anchorY = 300;
    c.m_halfWidth = 100;
    f.m_type = f.m_builtType = 0;
    RunBuildSteps(f, c, kCmdPaint); // paint draws the empty grid, no zoom
    EXPECT_EQ(f.m_halfSize, 2.0);
    EXPECT_TRUE(f.m_viewValid);
    EXPECT_TRUE(c.m_zoomEnabled);
    EXPECT_FALSE(c.m_selectionVisible);

    c.m_targetWidth = 8;
    c.m_targetHeight = 6;
    c.m_anchorX = 4;
    c.m_anchorY = 3;
    c.m_halfWidth = 2;
    c.m_selectionVisible = true;
    RunBuildSteps(f, c, kCmdRebuild);
    EXPECT_DOUBLE_EQ(f.m_halfSize, 2 * 2.0 * 2 / 8);
    EXPECT_FALSE(c.m_selectionVisible);
    // Without a visible rectangle the view stays.
    RunBuildSteps(f, c, kCmdRebuild);
    EXPECT_DOUBLE_EQ(f.m_halfSize, 1.0);
}

TEST(BuildSteps, StatusTextsAndProgressOfABuild)
{
    CMandelbrotSet f;
    CCanvas c;
    RecordingView v;
    v.canvas = &c;
    c.m_view = &v;
    c.MeasureView();
    RunBuildSteps(f, c, kCmdRebuild);
    EXPECT_EQ(v.statuses, (std::vector<std::string>{"Building...", "Drawing...", "Ready"}));
    EXPECT_EQ(f.m_progress, 100.0);
    EXPECT_TRUE(c.m_imagePending);
    EXPECT_EQ(c.m_bufferWidth, 16u);
}

TEST(BuildSteps, StoppedBuildDoesNotDraw)
{
    struct StopsItself : CMandelbrotSet {
        int Build(CCanvas& canvas) override
        {
            int r = CMandelbrotSet::Build(canvas);
            m_stop = true;
            return r;
        }
    } f;
    CCanvas c;
    RecordingView v;
    v.canvas = &c;
    c.m_view = &v;
    c.MeasureView();
    RunBuildSteps(f, c, kCmdRebuild);
    EXPECT_EQ(v.statuses, (std::vector<std::string>{"Building...", "Terminated by user!"}));
    EXPECT_FALSE(c.HasBuffer());
    EXPECT_FALSE(f.m_viewValid);
    // Paint then draws what was computed, stop or not.
    v.statuses.clear();
    RunBuildSteps(f, c, kCmdPaint);
    EXPECT_TRUE(c.HasBuffer());
    EXPECT_EQ(v.statuses.back(), "Terminated by user!");
}

TEST(BuildSteps, ClosingSkipsBuildAndDraw)
{
    CMandelbrotSet f;
    CCanvas c;
    RunBuildSteps(f, c, kCmdRebuild, [] { return true; });
    EXPECT_EQ(f.m_colorMap.m_gridWidth, 0);
    EXPECT_FALSE(c.HasBuffer());
}

TEST(MemoryQuestion, FourLinesInKibibytes)
{
    MemoryStatus m;
    m.totalPhysical = 4096ull << 10;
    m.availablePhysical = 1024ull << 10;
    m.totalVirtual = 8192ull << 10;
    m.availableVirtual = 2048ull << 10;
    EXPECT_EQ(MemoryQuestion(17280000, m),
              "Algorithm requared 16875Kb of memory to work\n"
              "Aviable phisical memory 1024Kb of 4096Kb\n"
              "Aviable virtual  memory 2048Kb of 8192Kb\n"
              "Are you sure to start algorithm?");
    EXPECT_GT(QueryMemoryStatus().totalPhysical, 0u);
}

} // namespace
