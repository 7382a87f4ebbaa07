// Stop ends every builder soon, whatever its parameters: each case below
// would take from seconds to hours to finish, and must return within a
// generous bound (2 s, against the 100 ms a user may wait) of Stop.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "model/Samples.h"
#include "model/appolony/AppolonySet.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "model/selfaffine/SelfAffineSet.h"
#include "model/tile/TileSet.h"
#include "model/tile/TileWalk.h"
#include "tests/model/StopWhileBuilding.h"

namespace {

using Clock = std::chrono::steady_clock;

template <class F>
struct Job {
    Job(std::unique_ptr<F> f, unsigned w, unsigned h) : fractal(std::move(f)), canvas(w, h) {}
    std::unique_ptr<F> fractal;
    CountingCanvas canvas;
};

template <class F>
std::shared_ptr<Job<F>> MakeJob(std::unique_ptr<F> f, unsigned w, unsigned h)
{
    return std::make_shared<Job<F>>(std::move(f), w, h);
}

std::unique_ptr<CSelfAffineSet> SelfAffine(int sample)
{
    return std::unique_ptr<CSelfAffineSet>(static_cast<CSelfAffineSet*>(MakeSample(sample).release()));
}

// 25 maps of ratio 0.9999: the pieces hardly shrink, so no walk of them
// ends in a lifetime.
std::unique_ptr<CSelfAffineSet> SlowlyShrinking(int threeD)
{
    auto f = SelfAffine(4);
    f->m_threeD = threeD;
    f->m_maps.count = 25;
    for (int k = 0; k < 25; ++k) {
        const double a = 2 * M_PI * k / 25;
        MakeMap(f->m_maps.maps[k], 0.9999, 0, 0, 0, std::cos(a), std::sin(a), 0.1 * (k % 5));
        f->m_maps.maps[k].m[12] = 1;
    }
    return f;
}

void ExpectStoppedSoon(const StopOutcome& out)
{
    EXPECT_TRUE(out.underWay);
    EXPECT_TRUE(out.wasRunning) << "the build ended before Stop; the case is too cheap to tell";
    EXPECT_TRUE(out.ended) << "still building " << out.took.count() << " ms after Stop";
}

// The build has run for a while (for builders that report nothing).
std::function<bool()> After(std::chrono::milliseconds t)
{
    const Clock::time_point start = Clock::now();
    return [=] { return Clock::now() - start >= t; };
}

TEST(StopLatency, MandelbrotPointsThatIterateForSeconds)
{
    // A hair's breadth around the main cardioid's edge, where the fixed
    // point's multiplier turns by the golden angle: the points inside close
    // in on it too slowly to repeat, so they run the full count: seconds
    // per point, minutes per row.
    auto m = std::make_unique<CMandelbrotSet>();
    const double turn = M_PI * (std::sqrt(5.0) - 1);
    m->m_centerX = std::cos(turn) / 2 - std::cos(2 * turn) / 4;
    m->m_centerY = std::sin(turn) / 2 - std::sin(2 * turn) / 4;
    m->m_halfSize = 1e-9;
    m->m_maxIterations = 1 << 30;
    m->m_iterationsSet = true;
    auto job = MakeJob(std::move(m), 8, 8);
    auto* j = job.get();
    ExpectStoppedSoon(PressStopWhileBuilding(
        job, [j] { j->fractal->Build(j->canvas); }, [j] { return j->fractal->m_progress >= 0; }, j->fractal->m_stop));
}

TEST(StopLatency, AppolonyAtItsHighestPrecision)
{
    auto a = std::make_unique<CAppolonySet>();
    a->m_precision = 100;
    auto job = MakeJob(std::move(a), 600, 400);
    auto* j = job.get();
    ExpectStoppedSoon(PressStopWhileBuilding(
        job, [j] { j->fractal->Build(j->canvas); }, [j] { return j->fractal->m_progress > 0; }, j->fractal->m_stop));
}

TEST(StopLatency, FlatFieldOfSlowlyShrinkingMaps)
{
    auto job = MakeJob(SlowlyShrinking(0), 200, 150);
    auto* j = job.get();
    ExpectStoppedSoon(PressStopWhileBuilding(
        job, [j] { j->fractal->Build(j->canvas); }, After(std::chrono::milliseconds(100)), j->fractal->m_stop));
}

TEST(StopLatency, RayMarchOfSlowlyShrinkingMaps)
{
    // One query of the piece tree alone would outlast the test program.
    auto job = MakeJob(SlowlyShrinking(1), 16, 2);
    auto* j = job.get();
    ExpectStoppedSoon(PressStopWhileBuilding(
        job, [j] { j->fractal->Build(j->canvas); }, [j] { return j->canvas.statusChanges > 0; }, j->fractal->m_stop));
}

TEST(StopLatency, TileGridOnALargeCanvas)
{
    // A hundred residue classes tested at every lattice point of a canvas
    // millions of pixels large.
    auto t = std::make_unique<CTileSet>();
    t->m_determinant = 100;
    t->m_track = 0;
    t->m_deep = 1;
    t->m_grid = true;
    auto job = MakeJob(std::move(t), 3000, 3000);
    auto* j = job.get();
    ExpectStoppedSoon(PressStopWhileBuilding(
        job, [j] { j->fractal->Draw(j->canvas); }, After(std::chrono::milliseconds(100)), j->fractal->m_stop));
}

// Four equal digits put every point of the walk on one pixel, so nothing
// is pruned: 4^30 points, walked in subtrees on every core.
TEST(StopLatency, TileWalkThatPrunesNothing)
{
    struct Walk {
        CCanvas canvas;
        TileNormalForm form = NormalForm(3, 3);
        std::vector<TileMatrix> group = SymmetryGroup(form);
        std::vector<TilePoint> digits = std::vector<TilePoint>(4, TilePoint{});
        std::atomic<bool> stop{false};
        uint64_t visited = 0;
    };
    auto w = std::make_shared<Walk>();
    w->canvas.Resize(64, 64, 32);
    w->canvas.Clear();
    Walk* p = w.get();
    ExpectStoppedSoon(PressStopWhileBuilding(
        w,
        [p] {
            WalkTile(p->canvas, p->stop, 30, p->form, p->group, p->digits, {0, 0, 0, 0},
                     {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF}, p->visited);
        },
        After(std::chrono::milliseconds(100)), p->stop));
}

int AwaitingCells(const CSelfAffineSet& f)
{
    int n = 0;
    for (const PixelRecord& c : f.m_colorMap.m_grid)
        n += c.state == CSelfAffineSet::kAwaitingNormal;
    return n;
}

TEST(StopLatency, TheLastEvaluationOfTheMarchAndPaintAfterIt)
{
    // No passes: the build is its last evaluation, here one of seconds per
    // cell, since the Self-Affine Pyramyd's maps made to shrink by 0.95 in
    // every direction overlap deep down the tree. Stopped, it leaves its
    // cells for Paint, showing as misses.
    auto f = SelfAffine(8);
    for (int k = 0; k < f->m_maps.count; ++k)
        for (int i = 3; i < 6; ++i)
            f->m_maps.maps[k].m[i] = 0.95;
    f->m_iterations = 0;
    auto job = MakeJob(std::move(f), 8, 6);
    auto* j = job.get();
    ExpectStoppedSoon(PressStopWhileBuilding(
        job, [j] { j->fractal->Build(j->canvas); }, After(std::chrono::milliseconds(100)), j->fractal->m_stop));
    const int awaiting = AwaitingCells(*j->fractal);
    EXPECT_GT(awaiting, 0);
    for (const PixelRecord& c : j->fractal->m_colorMap.m_grid) {
        if (c.state == CSelfAffineSet::kAwaitingNormal) {
            EXPECT_EQ(c.value, 0.0f);
        }
    }

    // Paint takes the evaluation up again, and a Stop ends that as well,
    // leaving the picture as it was.
    j->fractal->m_stop = false;
    const std::vector<uint8_t> before = j->canvas.m_bits;
    auto drawn = std::make_shared<int>(-1);
    ExpectStoppedSoon(PressStopWhileBuilding(
        job, [j, drawn] { *drawn = j->fractal->Draw(j->canvas); }, After(std::chrono::milliseconds(100)),
        j->fractal->m_stop));
    EXPECT_EQ(*drawn, 0);
    EXPECT_EQ(j->canvas.m_bits, before);
    EXPECT_GT(AwaitingCells(*j->fractal), 0);
}

// Presses Stop when the march opens its last pass, "Iteration 10 of 10":
// its passes but the last are done.
struct StopAtLastPass : CountingCanvas {
    StopAtLastPass(unsigned w, unsigned h, CFractal* f) : CountingCanvas(w, h), fractal(f) {}
    void StatusChanged() override
    {
        if (fractal && Status() == "Iteration 10 of 10")
            fractal->m_stop = true;
    }
    CFractal* fractal;
};

TEST(StopLatency, APaintStoppedPartWayEndsLaterAsIfNeverStopped)
{
    // The last evaluation of a march is its costly part (a tenth of a
    // second here, for the Self-Affine Pyramyd with maps made to shrink by
    // 0.77 in every direction). Paint after a stop, itself stopped early on
    // and then done again, gives the picture of a Paint that ran straight
    // through.
    auto stopped = [] {
        auto f = SelfAffine(8);
        for (int k = 0; k < f->m_maps.count; ++k)
            for (int i = 3; i < 6; ++i)
                f->m_maps.maps[k].m[i] = 0.77;
        StopAtLastPass canvas(40, 30, f.get());
        f->Build(canvas);
        EXPECT_TRUE(f->m_stop);
        f->m_stop = false;
        return f;
    };
    auto straight = stopped();
    CountingCanvas plain(40, 30);
    const Clock::time_point start = Clock::now();
    ASSERT_EQ(straight->Draw(plain), 1);
    const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    EXPECT_EQ(AwaitingCells(*straight), 0);

    // The same Paint again, stopped part way through: when a busy machine
    // makes the stop land before the first cell or after the last, the
    // next fraction of the straight run's time is tried.
    bool partWay = false;
    for (int eighths : {4, 2, 6, 1, 7, 3, 5}) {
        auto job = MakeJob(stopped(), 40, 30);
        auto* j = job.get();
        const int awaiting = AwaitingCells(*j->fractal);
        ASSERT_GT(awaiting, 40 * 30 / 5);
        const StopOutcome out = PressStopWhileBuilding(
            job, [j] { j->fractal->Draw(j->canvas); }, After(whole * eighths / 8), j->fractal->m_stop,
            std::chrono::milliseconds(0));
        ASSERT_TRUE(out.ended);
        const int left = AwaitingCells(*j->fractal);
        // Whatever was left, Paint again finishes it to the same picture.
        j->fractal->m_stop = false;
        ASSERT_EQ(j->fractal->Draw(j->canvas), 1);
        EXPECT_EQ(AwaitingCells(*j->fractal), 0);
        EXPECT_EQ(j->canvas.m_bits, plain.m_bits);
        if (left > 0 && left < awaiting) {
            partWay = true;
            break;
        }
    }
    EXPECT_TRUE(partWay) << "no stop landed part way through the last evaluation";
    size_t lit = 0;
    for (size_t i = 0; i < plain.m_bits.size(); ++i)
        lit += plain.m_bits[i] != 0;
    EXPECT_GT(lit, plain.m_bits.size() / 10);
}

} // namespace
