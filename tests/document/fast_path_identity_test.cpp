// Every kind built and drawn on the fast path must give the bytes of the
// plain path (one thread, scalar code): the pixels and, where a kind keeps
// them, the grid cells. The builds go through the program's own steps.

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "document/BuildSteps.h"
#include "document/OffscreenRender.h"
#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Samples.h"
#include "model/appolony/AppolonySet.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "model/tile/TileSet.h"

namespace {

using Maker = std::function<std::unique_ptr<CFractal>()>;

struct Result {
    BuildOutcome::Result outcome = BuildOutcome::kClosed;
    std::vector<uint8_t> pixels;
    std::vector<uint8_t> cells;
};

// Puts the fast path back whatever a test does.
struct PathGuard {
    ~PathGuard() { SetExecutionPath(ExecutionPath::kFast); }
};

// A fresh fractal built as the program builds it: Rebuild, then as many
// Continue commands as asked (the 3-D march goes on from where it ended).
Result Render(const Maker& make, unsigned w, unsigned h, int continues, ExecutionPath path)
{
    PathGuard guard;
    SetExecutionPath(path);
    std::unique_ptr<CFractal> f = make();
    CCanvas canvas;
    canvas.m_targetWidth = w;
    canvas.m_targetHeight = h;
    f->m_restart = true;
    Result r;
    r.outcome = RunBuildSteps(*f, canvas, kCmdRebuild).result;
    for (int k = 0; k < continues && r.outcome == BuildOutcome::kDrawn; ++k)
        r.outcome = RunBuildSteps(*f, canvas, kCmdContinue).result;
    r.pixels = canvas.m_bits;
    const CellGrid& grid = f->m_colorMap.m_grid;
    r.cells.resize(grid.size() * sizeof(PixelRecord));
    if (!grid.empty())
        std::memcpy(r.cells.data(), grid.data(), r.cells.size());
    return r;
}

// The first differing byte, or -1.
long FirstDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size())
        return 0;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            return long(i);
    return -1;
}

void ExpectSameBytes(const std::string& what, const Maker& make, unsigned w, unsigned h, int continues = 0)
{
    SCOPED_TRACE(what + " at " + std::to_string(w) + "x" + std::to_string(h));
    const Result plain = Render(make, w, h, continues, ExecutionPath::kPlain);
    const Result fast = Render(make, w, h, continues, ExecutionPath::kFast);
    ASSERT_EQ(plain.outcome, BuildOutcome::kDrawn);
    EXPECT_EQ(fast.outcome, plain.outcome);
    // Comparing two empty or blank images would prove nothing.
    ASSERT_FALSE(plain.pixels.empty());
    size_t likeFirst = 0;
    for (uint8_t b : plain.pixels)
        likeFirst += b == plain.pixels[0];
    EXPECT_LT(likeFirst, plain.pixels.size()) << "a blank image";
    EXPECT_EQ(fast.pixels.size(), plain.pixels.size());
    EXPECT_EQ(FirstDifference(plain.pixels, fast.pixels), -1) << "pixel bytes differ";
    EXPECT_EQ(fast.cells.size(), plain.cells.size());
    EXPECT_EQ(FirstDifference(plain.cells, fast.cells), -1) << "grid cells differ";
}

const unsigned kSizes[][2] = {{128, 96}, {101, 77}};

template <class T>
Maker Make(std::function<void(T&)> setup = {})
{
    return [setup] {
        auto f = std::make_unique<T>();
        if (setup)
            setup(*f);
        return std::unique_ptr<CFractal>(std::move(f));
    };
}

Maker Sample(int n)
{
    return [n] { return MakeSample(n); };
}

TEST(FastPathIdentity, MandelbrotAndJulia)
{
    for (const auto& s : kSizes) {
        ExpectSameBytes("Mandelbrot", Make<CMandelbrotSet>(), s[0], s[1]);
        // Near the boundary, where points take many iterations.
        ExpectSameBytes("Mandelbrot edge", Make<CMandelbrotSet>([](CMandelbrotSet& m) {
                            m.m_centerX = -0.75;
                            m.m_centerY = 0.1;
                            m.m_halfSize = 0.05;
                        }),
                        s[0], s[1]);
        ExpectSameBytes("Julia", Make<CMandelbrotSet>([](CMandelbrotSet& m) { m.m_type = 1; }), s[0], s[1]);
    }
}

TEST(FastPathIdentity, Appolony)
{
    for (const auto& s : kSizes) {
        ExpectSameBytes("Appolony", Make<CAppolonySet>(), s[0], s[1]);
        ExpectSameBytes("Appolony zoomed", Make<CAppolonySet>([](CAppolonySet& a) {
                            a.m_centerX = 0.1;
                            a.m_centerY = -0.2;
                            a.m_halfSize = 0.05;
                            a.m_precision = 8;
                        }),
                        s[0], s[1]);
    }
}

TEST(FastPathIdentity, Tile)
{
    for (const auto& s : kSizes) {
        ExpectSameBytes("tile", Make<CTileSet>(), s[0], s[1]);
        ExpectSameBytes("deep tile without grid", Make<CTileSet>([](CTileSet& t) {
                            t.m_deep = 14;
                            t.m_grid = false;
                        }),
                        s[0], s[1]);
        // A lattice a pixel or two apart: the residue squares overlap.
        ExpectSameBytes("shallow tile grid", Make<CTileSet>([](CTileSet& t) {
                            t.m_determinant = 5;
                            t.m_track = 4;
                            t.m_deep = 2;
                        }),
                        s[0], s[1]);
        ExpectSameBytes("tile of five turned digits", Make<CTileSet>([](CTileSet& t) {
                            t.m_determinant = 5;
                            t.m_track = 4;
                            t.m_deep = 9;
                            for (int k = 0; k < 5; ++k)
                                t.m_digitSymmetry[k] = k % 4;
                        }),
                        s[0], s[1]);
    }
}

TEST(FastPathIdentity, PlaneSamples)
{
    for (int n : {0, 1, 2, 3, 10, 11, 13})
        for (const auto& s : kSizes)
            ExpectSameBytes("sample " + std::to_string(n), Sample(n), s[0], s[1]);
}

TEST(FastPathIdentity, SpaceSamples)
{
    // Small sizes keep the march short; one Continue runs it on from where
    // the first build ended, as the command does.
    for (int n = 4; n <= 9; ++n) {
        ExpectSameBytes("sample " + std::to_string(n), Sample(n), 40, 30, 1);
        ExpectSameBytes("sample " + std::to_string(n), Sample(n), 21, 17);
    }
}

// The window and the headless renderer paint each row as it is built; the
// bytes must be those of the build followed by its own pass of Draw, for
// every colouring of the angle, frame after frame on one canvas, and a
// stopped build must leave the image it found.
TEST(FastPathIdentity, RowsPaintedWhileBuildingAreTheDrawsBytes)
{
    struct Colors {
        double f[6];
        int background;
    };
    const Colors colors[] = {
        {{1, 1, 1, 1, 1, 1}, 0},
        {{3.7, 0.25, 11, 0.3, 2, -1}, 1},
        {{-2, 7.5, 0.5, 100, 0, 3}, 0},
    };
    const auto paint = [&](CMandelbrotSet& m, const Colors& k) {
        CColorMap& map = m.m_colorMap;
        double* const to[6] = {&map.m_red,      &map.m_green,      &map.m_blue,
                               &map.m_redShift, &map.m_greenShift, &map.m_blueShift};
        for (int i = 0; i < 6; ++i)
            *to[i] = k.f[i];
        map.m_background = k.background;
    };
    const auto setups = std::vector<std::function<void(CMandelbrotSet&)>>{
        [](CMandelbrotSet&) {},
        [](CMandelbrotSet& m) {
            m.m_centerX = -0.7453;
            m.m_centerY = 0.1127;
            m.m_halfSize = 0.0065;
        },
        [](CMandelbrotSet& m) {
            m.m_type = m.m_builtType = 1;
            m.m_cRe = -0.8;
            m.m_cIm = 0.156;
            m.m_halfSize = 1.6;
        },
    };
    const unsigned w = 131, h = 97;
    for (size_t v = 0; v < setups.size(); ++v) {
        CMandelbrotSet window;
        setups[v](window);
        CCanvas shown;
        shown.SetTargetSize(w, h);
        for (size_t k = 0; k < std::size(colors); ++k) {
            SCOPED_TRACE("view " + std::to_string(v) + ", colours " + std::to_string(k));
            // Build, then Draw in a pass of its own.
            CMandelbrotSet alone;
            setups[v](alone);
            paint(alone, colors[k]);
            CCanvas c;
            c.SetTargetSize(w, h);
            alone.Build(c);
            alone.Draw(c);
            ASSERT_TRUE(c.HasBuffer());
            paint(window, colors[k]);
            ASSERT_EQ(RunBuildSteps(window, shown, kCmdRebuild).result, BuildOutcome::kDrawn);
            EXPECT_EQ(FirstDifference(c.m_bits, shown.m_bits), -1) << "the window's bytes differ";
            // From the second frame on, the image of the one before is the
            // buffer the rows were painted into.
            EXPECT_EQ(shown.BackHolds(w, h), k > 0) << "the rows were not painted as built";

            CMandelbrotSet headless;
            setups[v](headless);
            paint(headless, colors[k]);
            CCanvas out;
            CanvasSink sink(out);
            ASSERT_EQ(RenderOffscreen(headless, {w, h, {}, 13}, sink, QueryMemoryStatus()).result,
                      BuildOutcome::kDrawn);
            EXPECT_EQ(FirstDifference(c.m_bits, out.m_bits), -1) << "the headless bytes differ";
        }
        // A stopped build keeps the image; Paint then draws the cells it left.
        const std::vector<uint8_t> before = shown.m_bits;
        paint(window, colors[0]);
        window.m_stop = true;
        EXPECT_EQ(RunBuildSteps(window, shown, kCmdRebuild).result, BuildOutcome::kStopped);
        EXPECT_EQ(FirstDifference(before, shown.m_bits), -1) << "a stopped build changed the image";
        window.m_stop = false;
        ASSERT_EQ(RunBuildSteps(window, shown, kCmdPaint).result, BuildOutcome::kDrawn);
        CCanvas cells;
        window.m_colorMap.Draw(cells);
        EXPECT_EQ(FirstDifference(cells.m_bits, shown.m_bits), -1) << "Paint after a stop";
    }
}

} // namespace
