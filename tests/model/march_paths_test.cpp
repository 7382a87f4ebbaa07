// The three-dimensional build and the lit painter give the same cells and
// the same bytes on every core as on the plain path (one thread, the walk
// over every piece as first written): each space sample, odd sizes,
// continued builds, a stop before the last pass, a change of light alone,
// and maps chosen so that the fast walk leaves out the most.

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Samples.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

// Puts the fast path back whatever a test does.
struct PathGuard {
    ~PathGuard() { SetExecutionPath(ExecutionPath::kFast); }
};

// Presses Stop when the march shows the status `stopAt`.
struct StopAt : CanvasView {
    void ClientSize(unsigned& w, unsigned& h) override { w = width, h = height; }
    void StatusChanged() override
    {
        if (fractal && !stopAt.empty() && canvas->Status() == stopAt)
            fractal->m_stop = true;
    }
    unsigned width = 1, height = 1;
    CCanvas* canvas = nullptr;
    CFractal* fractal = nullptr;
    std::string stopAt;
};

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        view.width = w;
        view.height = h;
        view.canvas = this;
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

// What a build leaves: the cells byte for byte, then the painted pixels.
struct Picture {
    std::vector<unsigned char> cells;
    std::vector<uint8_t> pixels;
};

Picture Take(const CSelfAffineSet& f, const CCanvas& c)
{
    Picture p;
    const auto& grid = f.m_colorMap.m_grid;
    p.cells.resize(grid.size() * sizeof(PixelRecord));
    if (!grid.empty())
        std::memcpy(p.cells.data(), grid.data(), p.cells.size());
    p.pixels = c.m_bits;
    return p;
}

// The steps of one run: what a document would do to the fractal between
// builds. Each gets the fractal, its canvas and the number of the step.
using Steps = void (*)(CSelfAffineSet&, Target&, std::vector<Picture>&);

std::vector<Picture> Run(ExecutionPath path, int sample, unsigned w, unsigned h, Steps steps,
                         void (*prepare)(CSelfAffineSet&) = nullptr)
{
    PathGuard guard;
    SetExecutionPath(path);
    auto f = Sample(sample);
    if (prepare)
        prepare(*f);
    Target canvas(w, h);
    canvas.view.fractal = f.get();
    std::vector<Picture> out;
    steps(*f, canvas, out);
    return out;
}

void ExpectSame(int sample, unsigned w, unsigned h, Steps steps, void (*prepare)(CSelfAffineSet&) = nullptr)
{
    const auto plain = Run(ExecutionPath::kPlain, sample, w, h, steps, prepare);
    const auto fast = Run(ExecutionPath::kFast, sample, w, h, steps, prepare);
    ASSERT_EQ(plain.size(), fast.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        SCOPED_TRACE("sample " + std::to_string(sample) + " at " + std::to_string(w) + "x" + std::to_string(h) +
                     ", picture " + std::to_string(i));
        ASSERT_FALSE(plain[i].cells.empty());
        EXPECT_TRUE(plain[i].cells == fast[i].cells);
        EXPECT_TRUE(plain[i].pixels == fast[i].pixels);
    }
}

void BuildAndDraw(CSelfAffineSet& f, Target& c, std::vector<Picture>& out)
{
    f.Build(c);
    f.Draw(c);
    out.push_back(Take(f, c));
}

// Rebuild, then Continue twice: the rays march on from where they were.
void BuildThenContinue(CSelfAffineSet& f, Target& c, std::vector<Picture>& out)
{
    BuildAndDraw(f, c, out);
    for (int k = 0; k < 2; ++k) {
        f.m_restart = false;
        BuildAndDraw(f, c, out);
    }
}

// A change of the lights alone is only painted again.
void BuildThenRelight(CSelfAffineSet& f, Target& c, std::vector<Picture>& out)
{
    BuildAndDraw(f, c, out);
    f.m_colorMap.m_lights[0].x += 0.7;
    f.m_colorMap.m_lights[0].z -= 0.4;
    f.m_colorMap.m_shininess = 7.5;
    f.Draw(c);
    out.push_back(Take(f, c));
}

// Stop as the last pass opens (no row of it is done on any path), then
// Paint finishes the last evaluation and Continue marches on.
void StopThenPaintAndContinue(CSelfAffineSet& f, Target& c, std::vector<Picture>& out)
{
    c.view.stopAt = "Iteration 10 of 10";
    f.Build(c);
    EXPECT_TRUE(f.m_stop);
    c.view.stopAt.clear();
    out.push_back(Take(f, c));
    f.m_stop = false;
    f.Draw(c);
    out.push_back(Take(f, c));
    f.m_restart = false;
    BuildAndDraw(f, c, out);
}

TEST(MarchPaths, EverySpaceSampleGivesTheSameCellsAndPixels)
{
    for (int sample = 4; sample <= 9; ++sample) {
        // The Self-Affine Pyramyd is slow on the plain path: small sizes.
        const bool slow = sample == 8;
        ExpectSame(sample, slow ? 31 : 101, slow ? 23 : 77, BuildAndDraw);
        ExpectSame(sample, slow ? 17 : 64, slow ? 29 : 47, BuildAndDraw);
    }
}

TEST(MarchPaths, ContinuedBuildsStaySame)
{
    for (int sample : {4, 5, 6, 7, 8, 9})
        ExpectSame(sample, sample == 8 ? 23 : 53, sample == 8 ? 19 : 41, BuildThenContinue);
}

TEST(MarchPaths, ALightChangeAloneStaysSame)
{
    for (int sample : {4, 5, 7})
        ExpectSame(sample, 67, 45, BuildThenRelight);
}

TEST(MarchPaths, AStopBeforeTheLastPassThenPaintAndContinueStaySame)
{
    for (int sample : {4, 6, 8})
        ExpectSame(sample, sample == 8 ? 21 : 49, sample == 8 ? 17 : 33, StopThenPaintAndContinue);
}

TEST(MarchPaths, UnevenMapsAndDeepViewsStaySame)
{
    // Maps that shrink more in some directions than in others let the fast
    // walk leave out whole subtrees; deep views make the pieces tiny, and a
    // flat map has no volume at all.
    ExpectSame(8, 19, 15, BuildAndDraw, [](CSelfAffineSet& f) { f.m_halfSize = 0.1; });
    ExpectSame(4, 57, 39, BuildAndDraw, [](CSelfAffineSet& f) {
        f.m_maps.maps[0].m[5] = 0.1; // ratio z
        f.m_maps.maps[2].m[3] = 0.0; // ratio x: a flat piece
    });
    ExpectSame(7, 33, 25, BuildAndDraw, [](CSelfAffineSet& f) {
        f.m_halfSize = 0.1;
        f.m_centerX = 0.31;
        f.m_centerY = -0.17;
        for (int k = 0; k < f.m_maps.count; k += 3)
            f.m_maps.maps[k].m[4] *= 0.4; // ratio y
    });
}

} // namespace
