// Documents that once kept a build going long after Stop: each, opened the
// way the program opens it, must end within a generous bound (2 s) of Stop.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include <unistd.h>

#include "document/DataFile.h"
#include "document/DocumentFiles.h"
#include "model/FractalFactory.h"
#include "model/selfaffine/SelfAffineSet.h"
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

TEST(StopLatencyFiles, ThreeMapsAtFortyByThirty)
{
    // These maps once kept a 4x3 build going past Stop. Now that the balls
    // of their flat pieces follow the pieces' own matrices that build ends
    // at once; at 40x30 it still takes seconds.
    auto job = OpenForBuild("stop-ignored-3maps.frc", 40, 30);
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
    // The file that once kept Continue going has parameter passes that
    // disagree on its counts; it is refused now, before any build.
    {
        auto g = CreateFractalOfType(kTypeSelfAffine);
        CountingCanvas c(1, 1);
        std::string why;
        EXPECT_FALSE(OpenDataFile(DataPath("stop-continue.fdt"), *g, c, nullptr, why));
    }
    // The same costly Continue from a file the program writes itself: hits
    // of a cheap set, saved after the maps were edited to the three that
    // kept a 4x3 build going (edits do not rebuild, so a user gets there).
    std::unique_ptr<CFractal> made = CreateSample(4);
    auto* cheap = static_cast<CSelfAffineSet*>(made.get());
    CountingCanvas small(8, 6);
    cheap->Build(small);
    auto costly = OpenForBuild("stop-ignored-3maps.frc", 8, 6);
    ASSERT_TRUE(costly);
    cheap->m_maps = static_cast<CSelfAffineSet&>(*costly->fractal).m_maps;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("quillion-continue-" + std::to_string(::getpid()) + ".fdt"))
            .string();
    {
        std::ofstream out(path, std::ios::binary);
        ASSERT_TRUE(WriteDataFile(out, *cheap));
    }

    auto job = std::make_shared<Job>(CreateFractalOfType(kTypeSelfAffine), 1, 1);
    Job* j = job.get();
    std::string why;
    // The window takes the size of the stored grid, as the program's does.
    auto sized = [j](unsigned w, unsigned h) {
        j->canvas.width = w;
        j->canvas.height = h;
    };
    ASSERT_TRUE(OpenDataFile(path, *j->fractal, j->canvas, sized, why)) << why;
    std::filesystem::remove(path);
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
            if (Status() == "Iteration 6 of 10")
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
