// A deep view built in parts (bands of rows from the top down, each with a
// row of margin either side built again, as the off-screen render builds
// them; runs of pixels here and there) against one build of the whole view:
// every cell and count the same, bit for bit, whatever the parts, the
// budget of own references spent as the whole build spends it.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imaging/CellGrid.h"
#include "model/deep/DeepView.h"
#include "tests/model/DeepImage.h"

namespace {

using namespace deep_test;

struct Case {
    const char* name;
    DeepJob job;
};

std::vector<Case> Cases()
{
    const std::string re = "-0.7436438870371587", im = "0.1318259042053119";
    std::vector<Case> cases;
    // Doubtful pixels settled in double-double, a few given their own orbit.
    cases.push_back({"seahorse", Job(re, im, 1e-12, 72, 54, 5000)});
    // No second try and a budget of three orbits: some pixels get their own,
    // the rest keep their first try's result, decided in reading order.
    Case tight{"seahorse, budget of three orbits", Job(re, im, 1e-12, 72, 54, 5000)};
    tight.job.secondTry = false;
    tight.job.ownReferenceBudget = 3 * 5000;
    cases.push_back(tight);
    Case wide = tight;
    wide.name = "seahorse in the wide form, budget of three orbits";
    wide.job.forceWide = true;
    cases.push_back(wide);
    Case julia = tight;
    julia.name = "Julia, budget of three orbits";
    julia.job.julia = true;
    julia.job.cRe = -0.4;
    julia.job.cIm = 0.6;
    julia.job.g = 1.8;
    cases.push_back(julia);
    // The second try's linear start, and the distance estimate.
    Case linear{"linear start, distance",
                Job("-0.74364451097328589583078559144868670983576730650589208411455588827997893996620837180448714"
                    "521225748767548787153391176049",
                    "0.131847068880488927100117352916508203812153239242165867507417379120461872334112709929169900"
                    "2565026642036981440623853153480",
                    1e-50, 48, 36, 20000)};
    linear.job.distance = true;
    cases.push_back(linear);
    return cases;
}

struct Part {
    std::vector<PixelRecord> cells;
    std::vector<int32_t> counts;
};

// Runs built in one call into cells of their own, zero before, as a fresh
// grid's; each run's cells and counts after the previous run's.
DeepOutcome BuildParts(const DeepJob& job, const std::vector<DeepRun>& layout, DeepBudget& budget, Part& part)
{
    size_t total = 0;
    for (const DeepRun& r : layout)
        total += size_t(r.to - r.from);
    part.cells.assign(total, PixelRecord{});
    part.counts.assign(total, -2);
    std::vector<DeepRun> runs = layout;
    size_t at = 0;
    for (DeepRun& r : runs) {
        r.cells = part.cells.data() + at;
        r.counts = part.counts.data() + at;
        at += size_t(r.to - r.from);
    }
    return BuildDeepRuns(job, runs, budget);
}

// Each run's cells and counts against the whole build's.
void ExpectWholeBuilds(Image& whole, const std::vector<DeepRun>& layout, const Part& part, const std::string& what)
{
    size_t at = 0;
    for (const DeepRun& r : layout)
        for (int j = r.from; j < r.to; ++j, ++at) {
            ASSERT_EQ(part.counts[at], whole.Count(r.row, j)) << what << " at " << r.row << ", " << j;
            ASSERT_EQ(std::memcmp(&part.cells[at], &whole.Cell(r.row, j), sizeof(PixelRecord)), 0)
                << what << " at " << r.row << ", " << j;
        }
}

TEST(DeepParts, BandsFromTheTopGiveTheWholeBuild)
{
    bool sawKept = false, sawOwn = false, sawSettled = false, sawLinear = false;
    for (const Case& c : Cases()) {
        const DeepJob& job = c.job;
        Image whole(job.width, job.height);
        const DeepOutcome all = BuildDeep(job, whole);
        ASSERT_EQ(all.error, "") << c.name;
        ASSERT_FALSE(all.stopped) << c.name;
        sawKept = sawKept || all.doubtfulKept > 0;
        sawOwn = sawOwn || all.ownReferences > 0;
        sawSettled = sawSettled || all.settledInDoubleDouble > 0;
        sawLinear = sawLinear || all.linearStartSteps > 0;
        for (const int rows : {5, 11}) {
            DeepBudget budget;
            int kept = 0, own = 0;
            for (int end = job.height; end > 0; end -= rows) {
                const int first = std::max(0, end - rows);
                std::vector<DeepRun> layout;
                // Bands of 11 rows come as two runs a row.
                const int split = rows == 11 ? job.width / 3 : 0;
                for (int i = std::min(job.height - 1, end); i >= std::max(0, first - 1); --i) {
                    if (split > 0)
                        layout.push_back({i, 0, split, nullptr, nullptr});
                    layout.push_back({i, split, job.width, nullptr, nullptr});
                }
                Part part;
                const DeepOutcome o = BuildParts(job, layout, budget, part);
                ASSERT_EQ(o.error, "") << c.name;
                kept += o.doubtfulKept;
                own += o.ownReferences;
                ExpectWholeBuilds(whole, layout, part, std::string(c.name) + ", bands of " + std::to_string(rows));
            }
            // The margins are decided again, so the parts decide at least
            // what the whole did.
            EXPECT_GE(kept, all.doubtfulKept) << c.name;
            EXPECT_GE(own, all.ownReferences) << c.name;
        }
    }
    EXPECT_TRUE(sawKept && sawOwn && sawSettled && sawLinear);
}

TEST(DeepParts, RunsGetTheWholeBuildsCells)
{
    for (const Case& c : Cases()) {
        DeepJob job = c.job;
        job.ownReferenceBudget = -1; // runs alone spend no whole image's budget
        Image whole(job.width, job.height);
        ASSERT_EQ(BuildDeep(job, whole).error, "") << c.name;
        // Runs of every length at scattered places, rows in any order.
        std::vector<DeepRun> layout;
        for (int i = 0; i < job.height; i += 3)
            layout.push_back({i, (i * 7) % job.width, std::min(job.width, (i * 7) % job.width + 1 + i % 17), nullptr,
                              nullptr});
        layout.push_back({job.height / 2 + 1, 0, job.width, nullptr, nullptr}); // no row of the others
        DeepBudget budget;
        Part part;
        ASSERT_EQ(BuildParts(job, layout, budget, part).error, "") << c.name;
        ExpectWholeBuilds(whole, layout, part, c.name);
    }
    // Outside the view: refused, no cell written.
    DeepJob job = Cases()[0].job;
    DeepBudget budget;
    Part part;
    EXPECT_NE(BuildParts(job, {{job.height, 0, 1, nullptr, nullptr}}, budget, part).error, "");
    EXPECT_NE(BuildParts(job, {{0, 2, job.width + 1, nullptr, nullptr}}, budget, part).error, "");
}

} // namespace
