#include <gtest/gtest.h>

#include "document/BuildSteps.h"
#include "imaging/Canvas.h"
#include "model/FractalFactory.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "model/tile/TileSet.h"

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

TEST(ZoomArithmetic, OffCenterRectangleMovesTheCenter)
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
        void Build(CCanvas& canvas) override
        {
            CMandelbrotSet::Build(canvas);
            m_stop = true;
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
    EXPECT_EQ(MemoryQuestion(17280000, m), "Algorithm requared 16875Kb of memory to work\n"
                                           "Aviable phisical memory 1024Kb of 4096Kb\n"
                                           "Aviable virtual  memory 2048Kb of 8192Kb\n"
                                           "Are you sure to start algorithm?");
    EXPECT_GT(QueryMemoryStatus().totalPhysical, 0u);
}

TEST(BuildSteps, ARefusedBuildKeepsItsMessageTheImageAndTheView)
{
    auto f = CreateSample(0);
    auto& set = static_cast<CSelfAffineSet&>(*f);
    CCanvas c;
    RecordingView v;
    v.canvas = &c;
    c.m_view = &v;
    c.MeasureView();
    ASSERT_EQ(RunBuildSteps(*f, c, kCmdRebuild).result, BuildOutcome::kDrawn);
    const std::vector<uint8_t> image = c.m_bits;
    ASSERT_TRUE(f->m_viewValid);
    c.m_imagePending = false;

    // One map more shows the blank map, whose ratio y is 1.
    const int blank = set.m_maps.count + 1;
    ++set.m_maps.count;
    v.statuses.clear();
    const BuildOutcome out = RunBuildSteps(*f, c, kCmdRebuild);
    EXPECT_EQ(out.result, BuildOutcome::kRefused);
    const std::string start = "The maps do not contract: map " + std::to_string(blank) + " ";
    EXPECT_EQ(out.refusal.rfind(start, 0), 0u) << out.refusal;
    EXPECT_EQ(v.statuses, (std::vector<std::string>{"Building...", out.refusal}));
    EXPECT_EQ(c.Status(), out.refusal);
    EXPECT_EQ(c.m_bits, image) << "the last image stays";
    EXPECT_FALSE(c.m_imagePending);
    EXPECT_TRUE(f->m_viewValid);
    // Paint has no image to draw from a refused build either.
    v.statuses.clear();
    EXPECT_EQ(RunBuildSteps(*f, c, kCmdPaint).result, BuildOutcome::kRefused);
    EXPECT_EQ(c.Status(), out.refusal);
    EXPECT_FALSE(c.m_imagePending);

    // A set refused from the start never claims a valid view.
    auto g = CreateSample(0);
    static_cast<CSelfAffineSet&>(*g).m_maps.count = 0;
    CCanvas d;
    d.m_targetWidth = 8;
    d.m_targetHeight = 8;
    EXPECT_EQ(RunBuildSteps(*g, d, kCmdRebuild).refusal, "The maps do not contract: there are no maps");
    EXPECT_FALSE(g->m_viewValid);
    EXPECT_FALSE(d.m_zoomEnabled);
    EXPECT_FALSE(d.HasBuffer());

    // Mending the maps builds again.
    --set.m_maps.count;
    EXPECT_EQ(RunBuildSteps(*f, c, kCmdRebuild).result, BuildOutcome::kDrawn);
    EXPECT_EQ(c.Status(), "Ready");
}

TEST(BuildSteps, AnAppolonyViewOfNoSizeIsRefused)
{
    auto f = CreateFractalOfType(kTypeAppolony);
    f->m_halfSize = 0;
    CCanvas c;
    c.m_targetWidth = 8;
    c.m_targetHeight = 8;
    const BuildOutcome out = RunBuildSteps(*f, c, kCmdRebuild);
    EXPECT_EQ(out.result, BuildOutcome::kRefused);
    EXPECT_EQ(out.refusal, "The view is not finite");
    EXPECT_EQ(c.Status(), "The view is not finite");
    EXPECT_FALSE(c.HasBuffer());
}

TEST(BuildSteps, AGridThatCannotBeHadRefusesTheBuild)
{
    CMandelbrotSet f;
    CCanvas c;
    c.m_targetWidth = 16;
    c.m_targetHeight = 16;
    ASSERT_EQ(RunBuildSteps(f, c, kCmdRebuild).result, BuildOutcome::kDrawn);
    const std::vector<uint8_t> image = c.m_bits;
    c.m_imagePending = false;
    // 2^60 cells: more than any address space holds.
    c.m_targetWidth = 1u << 30;
    c.m_targetHeight = 1u << 30;
    const BuildOutcome out = RunBuildSteps(f, c, kCmdRebuild);
    EXPECT_EQ(out.result, BuildOutcome::kRefused);
    EXPECT_EQ(out.refusal, "Not enough memory for a 1073741824x1073741824 image");
    EXPECT_EQ(c.Status(), out.refusal);
    EXPECT_EQ(f.m_colorMap.m_gridWidth, 0);
    EXPECT_TRUE(f.m_colorMap.m_grid.empty());
    EXPECT_EQ(c.m_bits, image);
    EXPECT_FALSE(c.m_imagePending);
    EXPECT_EQ(RunBuildSteps(f, c, kCmdPaint).result, BuildOutcome::kRefused);
    // A size that fits builds again.
    c.m_targetWidth = 4;
    c.m_targetHeight = 4;
    EXPECT_EQ(RunBuildSteps(f, c, kCmdRebuild).result, BuildOutcome::kDrawn);
    EXPECT_EQ(c.m_bufferWidth, 4u);
}

// Cells of another size hold no march to go on from: a Continue at a new
// size is a fresh build at that size, byte for byte.
TEST(BuildSteps, AContinueAtAnotherSizeBuildsAfresh)
{
    auto cells = [](const CFractal& f) {
        const CellGrid& g = f.m_colorMap.m_grid;
        const char* p = reinterpret_cast<const char*>(g.data());
        return std::vector<char>(p, p + g.size() * sizeof(PixelRecord));
    };
    auto cube = CreateSample(5);
    CCanvas c;
    c.SetTargetSize(40, 30);
    ASSERT_EQ(RunBuildSteps(*cube, c, kCmdContinue).result, BuildOutcome::kDrawn);
    c.SetTargetSize(56, 42);
    ASSERT_FALSE(cube->m_restart);
    ASSERT_EQ(RunBuildSteps(*cube, c, kCmdContinue).result, BuildOutcome::kDrawn);

    auto fresh = CreateSample(5);
    CCanvas d;
    d.SetTargetSize(56, 42);
    ASSERT_EQ(RunBuildSteps(*fresh, d, kCmdContinue).result, BuildOutcome::kDrawn);
    EXPECT_TRUE(cells(*cube) == cells(*fresh));
    EXPECT_EQ(c.m_bits, d.m_bits);
    int lit = 0;
    for (const PixelRecord& r : fresh->m_colorMap.m_grid)
        lit += r.value > 0;
    EXPECT_GT(lit, 56 * 42 / 10);
}

TEST(MemoryCheck, RefusesWhatCannotBeHadAndAsksAboutWhatIsRisky)
{
    constexpr uint64_t G = 1ull << 30;
    MemoryStatus m;
    m.totalPhysical = 4 * G;
    m.availablePhysical = 3 * G;
    m.totalVirtual = 4 * G;
    m.availableVirtual = 3 * G;
    EXPECT_EQ(JudgeMemory(2 * G, m), MemoryVerdict::kFits);
    EXPECT_EQ(JudgeMemory(3 * G + 1, m), MemoryVerdict::kAsk); // more than is free
    EXPECT_EQ(JudgeMemory(5 * G, m), MemoryVerdict::kAsk);     // more than the machine has
    EXPECT_EQ(MemoryShortage(10, 20, 5 * G, m),
              "a 10x20 image needs 5242880Kb of memory, more than the 4194304Kb this machine has");
    EXPECT_EQ(MemoryShortage(10, 20, 3 * G + 1024, m),
              "a 10x20 image needs 3145729Kb of memory, more than the 3145728Kb free");
    m.addressSpaceLeft = 2 * G;
    EXPECT_EQ(JudgeMemory(2 * G, m), MemoryVerdict::kFits);
    EXPECT_EQ(JudgeMemory(2 * G + 1, m), MemoryVerdict::kRefuse);
    EXPECT_EQ(MemoryShortage(10, 20, 5 * G, m),
              "a 10x20 image needs 5242880Kb of memory, more than the 2097152Kb this program may still use");

    // The build's check: a refusal says why and asks nothing; a risk asks.
    struct Claims : CMandelbrotSet {
        uint64_t need = 0;
        uint64_t MemoryNeed(unsigned, unsigned) override { return need; }
    } f;
    CCanvas c;
    c.m_targetWidth = 10;
    c.m_targetHeight = 20;
    int asked = 0;
    auto ask = [&](const std::string& question) {
        ++asked;
        EXPECT_EQ(question.rfind("Algorithm requared ", 0), 0u);
        return false;
    };
    f.need = 3 * G;
    EXPECT_FALSE(CheckBuildMemory(f, c, m, ask));
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(c.Status(), "Not enough memory: a 10x20 image needs 3145728Kb of memory, more than the "
                          "2097152Kb this program may still use");
    m.addressSpaceLeft = UINT64_MAX;
    f.need = 3 * G + 1024;
    c.SetStatus("before");
    EXPECT_FALSE(CheckBuildMemory(f, c, m, ask));
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(c.Status(), "before") << "No leaves the status";
    f.need = G;
    EXPECT_TRUE(CheckBuildMemory(f, c, m, ask));
    EXPECT_EQ(asked, 1);
}

} // namespace

namespace {
// A window that is resized, and whose Bitmap Size is changed, while the
// build reports its progress.
class RestlessView : public CanvasView {
public:
    void ClientSize(unsigned& w, unsigned& h) override { w = width, h = height; }
    void StatusChanged() override
    {
        width = 640;
        height = 480;
        canvas->MeasureView();
        canvas->SetTargetSize(320, 200);
    }
    CCanvas* canvas = nullptr;
    unsigned width = 64, height = 48;
};
} // namespace

TEST(BuildSteps, ABuildKeepsTheTargetSizeItStartedWith)
{
    CTileSet plain;
    CCanvas expected;
    expected.m_targetWidth = 64;
    expected.m_targetHeight = 48;
    ASSERT_EQ(plain.Draw(expected), 1);

    CTileSet f;
    CCanvas c;
    RestlessView v;
    v.canvas = &c;
    c.m_view = &v;
    c.MeasureView();
    c.HoldTargetSize(true); // as the document does before its worker starts
    const BuildOutcome out = RunBuildSteps(f, c, kCmdRebuild);
    EXPECT_EQ(out.result, BuildOutcome::kDrawn);
    EXPECT_EQ(c.m_bufferWidth, 64u);
    EXPECT_EQ(c.m_bufferHeight, 48u);
    EXPECT_EQ(c.m_targetWidth, 64u);
    EXPECT_EQ(c.m_targetHeight, 48u);
    EXPECT_EQ(c.m_bits, expected.m_bits);

    // Released, the window's size counts again.
    c.HoldTargetSize(false);
    c.MeasureView();
    EXPECT_EQ(c.m_targetWidth, 640u);
    EXPECT_EQ(c.m_targetHeight, 480u);
    c.SetTargetSize(320, 200);
    EXPECT_EQ(c.m_targetWidth, 320u);
    EXPECT_EQ(c.m_targetHeight, 200u);
}
