// Documents that once kept a build going long after Stop: each, opened the
// way the program opens it, must end within a generous bound (2 s) of Stop.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <sstream>
#include <string>

#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "model/FractalFactory.h"
#include "model/SelfAffineSet.h"
#include "tests/model/StopWhileBuilding.h"

namespace {

struct Job {
    Job(std::unique_ptr<CFractal> f, unsigned w, unsigned h) : fractal(std::move(f)), canvas(w, h) {}
    std::unique_ptr<CFractal> fractal;
    CountingCanvas canvas;
};

std::string DataPath(const char* name) { return std::string(QUILLION_TEST_DATA) + "/" + name; }

std::shared_ptr<Job> OpenForBuild(const char* name, unsigned w, unsigned h)
{
    LoadedDocument doc;
    std::string why;
    EXPECT_TRUE(OpenDocumentFile(DataPath(name), doc, why)) << why;
    if (!doc.fractal)
        return nullptr;
    return std::make_shared<Job>(std::move(doc.fractal), w, h);
}

void ExpectStopsSoon(const std::shared_ptr<Job>& job)
{
    Job* j = job.get();
    const int before = j->canvas.statusChanges;
    const StopOutcome out = PressStopWhileBuilding(
        job, [j] { j->fractal->Build(j->canvas); }, [j, before] { return j->canvas.statusChanges > before; },
        j->fractal->m_stop);
    EXPECT_TRUE(out.underWay);
    EXPECT_TRUE(out.wasRunning) << "the build ended before Stop";
    EXPECT_TRUE(out.ended) << "still building " << out.took.count() << " ms after Stop";
}

TEST(StopLatencyFiles, ThreeMapsAtFourByThree)
{
    auto job = OpenForBuild("stop-ignored-3maps.frc", 4, 3);
    ASSERT_TRUE(job);
    ExpectStopsSoon(job);
}

TEST(StopLatencyFiles, TwentyFiveMapsOfRatioNearOne)
{
    auto job = OpenForBuild("sa25-0999.frc", 640, 10);
    ASSERT_TRUE(job);
    ExpectStopsSoon(job);
}

TEST(StopLatencyFiles, ContinueOnOpenedComputedData)
{
    auto job = std::make_shared<Job>(CreateFractalOfType(kTypeSelfAffine), 1, 1);
    Job* j = job.get();
    std::string why;
    // The window takes the size of the stored grid, as the program's does.
    auto sized = [j](unsigned w, unsigned h) {
        j->canvas.width = w;
        j->canvas.height = h;
    };
    ASSERT_TRUE(OpenDataFile(DataPath("stop-continue.fdt"), *j->fractal, j->canvas, sized, why)) << why;
    j->fractal->m_restart = false;
    ExpectStopsSoon(job);
}

TEST(StopLatencyFiles, SavedDataOfAStoppedMarchHoldsNoRayDirections)
{
    // Stopped half way, no cell has its normal yet: the file holds no hit,
    // where a ray direction saved as a normal would show as a lit surface.
    // Once Paint has finished the cells, the file holds exactly its hits.
    struct StopHalfWay : CountingCanvas {
        using CountingCanvas::CountingCanvas;
        void StatusChanged() override
        {
            if (Status() == "Iteration 5")
                fractal->m_stop = true;
        }
        CFractal* fractal = nullptr;
    };
    std::unique_ptr<CFractal> made = CreateSample(4);
    auto* f = static_cast<CSelfAffineSet*>(made.get());
    StopHalfWay canvas(40, 30);
    canvas.fractal = f;
    f->Build(canvas);
    ASSERT_TRUE(f->m_stop);
    f->m_stop = false;

    auto reopen = [](CFractal& from) {
        std::ostringstream out;
        EXPECT_TRUE(WriteDataFile(out, from));
        std::istringstream in(out.str());
        auto to = CreateFractalOfType(kTypeSelfAffine);
        CountingCanvas c(40, 30);
        std::string why;
        EXPECT_TRUE(ReadDataFile(in, *to, c, nullptr, why)) << why;
        return to;
    };
    auto hits = [](const CFractal& g) {
        std::string mask;
        for (const PixelRecord& c : g.m_colorMap.m_grid)
            mask += std::fabs(c.value) >= 1e-5f ? '#' : '.';
        return mask;
    };
    const std::string none(40 * 30, '.');
    EXPECT_EQ(hits(*reopen(*f)), none);

    ASSERT_EQ(f->Draw(canvas), 1);
    const std::string painted = hits(*f);
    EXPECT_NE(painted, none);
    EXPECT_EQ(hits(*reopen(*f)), painted);
}

} // namespace
