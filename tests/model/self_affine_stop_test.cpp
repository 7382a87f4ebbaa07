// A three-dimensional build stopped part way keeps what its passes found:
// Paint (Draw without a new Build) shows it, and Continue goes on from it.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "model/Samples.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

// Presses Stop when the march reports the pass `stopAt` (a status text).
struct StopAt : CanvasView {
    void ClientSize(unsigned& w, unsigned& h) override { w = width, h = height; }
    void StatusChanged() override
    {
        if (fractal)
            passes.push_back(fractal->m_passProgress.Read());
        if (fractal && canvas->Status() == stopAt)
            fractal->m_stop = true;
    }
    std::vector<PassReading> passes;
    unsigned width = 1, height = 1;
    CCanvas* canvas = nullptr;
    CFractal* fractal = nullptr;
    std::string stopAt;
};

struct Target : CCanvas {
    Target(unsigned w, unsigned h, CFractal* f = nullptr, std::string stopAt = {})
    {
        view.width = w;
        view.height = h;
        view.canvas = this;
        view.fractal = f;
        view.stopAt = std::move(stopAt);
        m_view = &view;
        MeasureView();
    }
    StopAt view;
};

std::unique_ptr<CSelfAffineSet> Sample(int n)
{
    std::unique_ptr<CFractal> f = MakeSample(n);
    return std::unique_ptr<CSelfAffineSet>(static_cast<CSelfAffineSet*>(f.release()));
}

int LitPixels(const CCanvas& c)
{
    int lit = 0;
    for (unsigned i = 0; i < c.m_bufferHeight; ++i)
        for (unsigned j = 0; j < c.m_bufferWidth; ++j) {
            const uint8_t* p = c.Row(i) + 3 * j;
            lit += p[0] != 0 || p[1] != 0 || p[2] != 0;
        }
    return lit;
}

TEST(SelfAffineStop, PaintAfterAStopShowsThePassesThatWereDone)
{
    // "Iteration n of 10" opens pass n: a stop there leaves n - 1 passes
    // done, and the picture is the one of a build asked for that many
    // passes.
    for (int sample : {4, 7}) {
        for (int stopAt : {1, 4, 7, 9}) {
            const int done = stopAt - 1;
            const std::string pass = "Iteration " + std::to_string(stopAt) + " of 10";
            auto stopped = Sample(sample);
            Target canvas(40, 30, stopped.get(), pass);
            stopped->Build(canvas);
            ASSERT_TRUE(stopped->m_stop);
            EXPECT_EQ(canvas.Status(), pass);
            stopped->m_stop = false; // Paint starts like every command
            stopped->Draw(canvas);

            auto shorter = Sample(sample);
            shorter->m_iterations = done;
            Target plain(40, 30);
            shorter->Build(plain);
            shorter->Draw(plain);
            ASSERT_EQ(canvas.m_bits.size(), plain.m_bits.size());
            size_t differ = 0;
            for (size_t i = 0; i < plain.m_bits.size(); ++i)
                differ += canvas.m_bits[i] != plain.m_bits[i];
            EXPECT_EQ(differ, 0u) << "sample " << sample << ", " << done << " passes";
            // Past the first passes the rays have reached the set.
            if (done >= 6) {
                EXPECT_GT(LitPixels(canvas), 40 * 30 / 10) << "sample " << sample << ", " << done << " passes";
            }
        }
    }
}

TEST(SelfAffineStop, AStoppedMarchEndsItsPassesAndPaintFinishesTheLastAsAPassOfItsOwn)
{
    auto f = Sample(4);
    Target canvas(40, 30, f.get(), "Iteration 4 of 10");
    f->Build(canvas);
    ASSERT_TRUE(f->m_stop);
    // "Terminated by user!" follows, alone: no pass runs any more.
    EXPECT_FALSE(f->m_passProgress.Read().running);
    f->m_stop = false;
    canvas.view.passes.clear();
    f->Draw(canvas);
    // "Surface normals" opens with none of the 30 rows done and is told
    // again with all; "Rendering..." runs after it, outside any pass.
    const auto& p = canvas.view.passes;
    ASSERT_EQ(p.size(), 3u);
    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(p[k].running);
        EXPECT_EQ(p[k].label, "Surface normals");
        EXPECT_EQ(p[k].pass, 1);
        EXPECT_EQ(p[k].passes, 1);
        EXPECT_EQ(p[k].done, k == 0 ? 0 : 30);
        EXPECT_EQ(p[k].total, 30);
    }
    EXPECT_FALSE(p[2].running);
    EXPECT_EQ(canvas.Status(), "Rendering...");
}

TEST(SelfAffineStop, TheStoppedPictureShowsTheSetWhereTheFullBuildDoes)
{
    // Eight of the ten passes find nearly all of the set: stopped there, the
    // picture shows it wherever the full build does, give or take an edge.
    auto full = Sample(4);
    Target whole(48, 36);
    full->Build(whole);
    full->Draw(whole);
    auto stopped = Sample(4);
    Target part(48, 36, stopped.get(), "Iteration 9 of 10");
    stopped->Build(part);
    stopped->m_stop = false;
    stopped->Draw(part);
    int set = 0, shown = 0;
    for (unsigned i = 0; i < 36; ++i)
        for (unsigned j = 0; j < 48; ++j) {
            const uint8_t* a = whole.Row(i) + 3 * j;
            const uint8_t* b = part.Row(i) + 3 * j;
            if (a[0] || a[1] || a[2]) {
                ++set;
                shown += b[0] || b[1] || b[2];
            }
        }
    ASSERT_GT(set, 48 * 36 / 10);
    EXPECT_GT(shown, set * 9 / 10);
}

TEST(SelfAffineStop, ContinueAfterAStopLetsTheRaysOnTheirWayReachTheSet)
{
    // Stop before the first pass: most rays have not met the set yet. Continued,
    // they march on and meet it where an uninterrupted build does.
    auto full = Sample(4);
    Target whole(40, 30);
    full->Build(whole);
    auto f = Sample(4);
    Target canvas(40, 30, f.get(), "Iteration 1 of 10");
    f->Build(canvas);
    ASSERT_TRUE(f->m_stop);
    const std::vector<PixelRecord> before(f->m_colorMap.m_grid.begin(), f->m_colorMap.m_grid.end());
    f->m_stop = false;
    f->m_restart = false;
    canvas.view.fractal = nullptr;
    f->Build(canvas);
    int onTheirWay = 0, reached = 0;
    for (size_t i = 0; i < before.size(); ++i) {
        const bool hitBefore = std::fabs(before[i].value) >= 1e-5f;
        const bool hitFull = std::fabs(full->m_colorMap.m_grid[i].value) >= 1e-5f;
        if (hitBefore || !hitFull)
            continue;
        ++onTheirWay;
        reached += std::fabs(f->m_colorMap.m_grid[i].value) >= 1e-5f;
    }
    ASSERT_GT(onTheirWay, 40 * 30 / 10);
    EXPECT_GT(reached, onTheirWay * 9 / 10) << onTheirWay;
}

} // namespace

namespace {

// A file may ask for INT_MAX passes: the pass count and the pass number
// must not overflow on the way to a stop.
TEST(SelfAffineStop, AMarchOfIntMaxPassesCountsThemAndStops)
{
    auto f = Sample(9);
    f->m_iterations = INT_MAX;
    Target canvas(8, 6, f.get(), "Iteration 2 of 2147483647");
    f->m_restart = true;
    f->Build(canvas);
    bool counted = false;
    for (const PassReading& r : canvas.view.passes)
        counted = counted || (r.running && r.passes == INT_MAX && r.pass >= 1);
    EXPECT_TRUE(counted);
    EXPECT_TRUE(f->m_stop.load()) << "the stop at the second pass ended the march";
}

} // namespace
