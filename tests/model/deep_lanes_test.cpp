// The deep views' vector lanes against the scalar loop: whole images with
// each instruction set forced give the scalar path's cells, counts and
// outcome counters, bit for bit.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/Parallel.h"
#include "model/kernels/MandelbrotKernel.h"
#include "tests/model/DeepImage.h"

namespace {

using namespace deep_test;

const KernelIsa kVectorIsas[] = {KernelIsa::kSse2, KernelIsa::kAvx2, KernelIsa::kAvx512};

struct IsaGuard {
    ~IsaGuard()
    {
        ClearKernelIsaOverride();
        SetExecutionPath(ExecutionPath::kFast);
    }
};

struct Built {
    DeepOutcome outcome;
    std::vector<float> cells; // nx, ny, value of every pixel, row by row
    std::vector<int32_t> counts;
};

Built Build(const DeepJob& job, KernelIsa isa)
{
    OverrideKernelIsa(isa);
    Image image(job.width, job.height);
    Built b;
    b.outcome = BuildDeep(job, image);
    ClearKernelIsaOverride();
    for (int i = 0; i < job.height; ++i)
        for (int j = 0; j < job.width; ++j) {
            const PixelRecord& c = image.Cell(i, j);
            b.cells.insert(b.cells.end(), {c.nx, c.ny, c.value});
        }
    b.counts = image.counts;
    return b;
}

DeepJob JuliaJob(double halfSize, int w, int h)
{
    const double cRe = -0.4, cIm = 0.6, g = 1.8;
    DeepJob job = Job(FixedPointCentre(cRe, cIm, g, false), FixedPointCentre(cRe, cIm, g, true), halfSize, w, h, 2000);
    job.julia = true;
    job.cRe = cRe;
    job.cIm = cIm;
    job.g = g;
    return job;
}

// Every view once with skips and once without.
std::vector<std::pair<std::string, DeepJob>> Views()
{
    // A point of the seahorse valley whose pixels escape after some
    // 5,000 (at 1e-14) and 8,500 (at 1e-30) iterations.
    const std::string sx = "-0.74364451097328589583078559144868670983576730650589208411455588828",
                      sy = "0.13184706888048892710011735291650820381215323924216586750741737912";
    const std::string x = "-0.7436438870371587", y = "0.1318259042053119";
    std::vector<std::pair<std::string, DeepJob>> views = {
        {"seahorse 1e-14", Job(sx, sy, 1e-14, 41, 29, 7000)},
        {"seahorse 1e-30", Job(sx, sy, 1e-30, 33, 25, 10000)},
        // Pixels about the point i leave the reference and rebase.
        {"rebasing 1e-30", Job("0", "1", 1e-30, 45, 33, 1000)},
        {"Julia 1e-25", JuliaJob(1e-25, 47, 35)},
        // Doubtful pixels: some get their own reference, ...
        {"doubtful 1e-12", Job(x, y, 1e-12, 63, 47, 5000)},
    };
    // ... and here all keep their difference iteration's result.
    views.push_back({"doubtful kept", views.back().second});
    views.back().second.ownReferenceBudget = 0;
    const size_t n = views.size();
    for (size_t v = 0; v < n; ++v) {
        views.push_back({views[v].first + " plain", views[v].second});
        views.back().second.linearSkips = false;
    }
    return views;
}

void ExpectSame(const Built& a, const Built& b, const std::string& what)
{
    ASSERT_EQ(a.cells.size(), b.cells.size()) << what;
    EXPECT_EQ(std::memcmp(a.cells.data(), b.cells.data(), a.cells.size() * sizeof(float)), 0) << what;
    EXPECT_EQ(a.counts, b.counts) << what;
    EXPECT_EQ(a.outcome.error, b.outcome.error) << what;
    EXPECT_EQ(a.outcome.stopped, b.outcome.stopped) << what;
    EXPECT_EQ(a.outcome.totalIterations, b.outcome.totalIterations) << what;
    EXPECT_EQ(a.outcome.skippedIterations, b.outcome.skippedIterations) << what;
    EXPECT_EQ(a.outcome.ownReferences, b.outcome.ownReferences) << what;
    EXPECT_EQ(a.outcome.doubtfulKept, b.outcome.doubtfulKept) << what;
}

TEST(DeepLanes, EveryInstructionSetGivesTheScalarPathsImage)
{
    IsaGuard guard;
    bool sawOwn = false, sawKept = false;
    for (const auto& [name, job] : Views()) {
        const Built scalar = Build(job, KernelIsa::kScalar);
        ASSERT_EQ(scalar.outcome.error, "") << name;
        ASSERT_FALSE(scalar.outcome.stopped) << name;
        EXPECT_EQ(scalar.outcome.laneIterations, 0) << name;
        sawOwn = sawOwn || scalar.outcome.ownReferences > 0;
        sawKept = sawKept || scalar.outcome.doubtfulKept > 0;
        // Not a blank view: both escaped and inside pixels.
        int escaped = 0;
        for (int32_t c : scalar.counts)
            escaped += c >= 0;
        EXPECT_GT(escaped, 0) << name;
        for (KernelIsa isa : kVectorIsas) {
            if (!KernelIsaSupported(isa))
                continue;
            const std::string what = name + ", " + KernelIsaName(isa);
            const Built lanes = Build(job, isa);
            ExpectSame(scalar, lanes, what);
            // The lanes took a real part of the steps.
            EXPECT_GT(lanes.outcome.laneIterations, lanes.outcome.totalIterations / 20) << what;
            EXPECT_LE(lanes.outcome.laneIterations,
                      lanes.outcome.totalIterations - lanes.outcome.skippedIterations) << what;
        }
    }
    EXPECT_TRUE(sawOwn);
    EXPECT_TRUE(sawKept);
}

// The plain path is the scalar loop whatever the processor offers.
TEST(DeepLanes, PlainPathStepsNoLanes)
{
    IsaGuard guard;
    const DeepJob job = Job("0", "1", 1e-30, 21, 15, 1000);
    const Built fast = Build(job, ChosenKernelIsa());
    SetExecutionPath(ExecutionPath::kPlain);
    const Built plain = Build(job, ChosenKernelIsa());
    EXPECT_EQ(plain.outcome.laneIterations, 0);
    EXPECT_GT(fast.outcome.laneIterations, 0);
    ExpectSame(plain, fast, "plain against fast");
}

} // namespace
