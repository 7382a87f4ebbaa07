// The words of a running build's status line.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "document/ProgressText.h"
#include "model/FractalFactory.h"

namespace {

PassReading Pass(const char* label, int pass, int passes, int64_t done, int64_t total, double seconds,
                 double passSeconds)
{
    PassReading r;
    r.running = true;
    r.label = label;
    r.pass = pass;
    r.passes = passes;
    r.done = done;
    r.total = total;
    r.seconds = seconds;
    r.passSeconds = passSeconds;
    return r;
}

} // namespace

TEST(ProgressText, TimeLeftIsRoundedToItsUnit)
{
    EXPECT_EQ(TimeLeftText(0.2), "about 1 s left");
    EXPECT_EQ(TimeLeftText(12.4), "about 12 s left");
    EXPECT_EQ(TimeLeftText(59.4), "about 59 s left");
    EXPECT_EQ(TimeLeftText(59.6), "about 1 min left");
    EXPECT_EQ(TimeLeftText(150), "about 3 min left"); // 2.5 min
    EXPECT_EQ(TimeLeftText(59 * 60), "about 59 min left");
    EXPECT_EQ(TimeLeftText(59.6 * 60), "about 1 h left");
    EXPECT_EQ(TimeLeftText(83 * 60), "about 1 h 20 min left");
    EXPECT_EQ(TimeLeftText(6 * 3600 + 200), "about 6 h left");
    for (double none : {0.0, -3.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(TimeLeftText(none), "") << none;
}

TEST(ProgressText, APassShowsItsShareAndTheBuildsTimeLeft)
{
    // Two passes took 3 s, 1.5 s each; the third is at 42 % after 0.84 s,
    // so it needs 2 s in all: 1.16 s more, and 7 passes of 1.5 s after it.
    EXPECT_EQ(PassStatusText(Pass("Iteration 3 of 10", 3, 10, 42, 100, 3.84, 0.84)),
              "Iteration 3 of 10, 42 %, about 12 s left");
    // Half of a lone pass in 4 minutes: 4 minutes more.
    EXPECT_EQ(PassStatusText(Pass("Iteration 1 of 1", 1, 1, 50, 100, 240, 240)),
              "Iteration 1 of 1, 50 %, about 4 min left");
    // Just begun: this pass and the one after take as long as the first.
    EXPECT_EQ(PassStatusText(Pass("Iteration 2 of 3", 2, 3, 0, 100, 4, 0)), "Iteration 2 of 3, 0 %, about 8 s left");
    // The last pass goes at its own rate, not the passes' before it: ten
    // took 1.5 s, it has done a fifth in 0.6 s, so 2.4 s more.
    EXPECT_EQ(PassStatusText(Pass("Surface normals", 11, 11, 20, 100, 2.1, 0.6)),
              "Surface normals, 20 %, about 2 s left");
    // An orbit carried on from 60 of its 100 values has made 20 more in
    // 10 s: the other 20 take 10 s more, not the 2.5 s its share suggests.
    PassReading carried = Pass("Reference orbit, 100 values", 1, 1, 80, 100, 10, 10);
    carried.first = 60;
    EXPECT_EQ(PassStatusText(carried), "Reference orbit, 100 values, 80 %, about 10 s left");
}

TEST(ProgressText, NoGuessInTheFirstSecondOrTheFirstRows)
{
    // Passes done, but within the first second.
    EXPECT_EQ(PassStatusText(Pass("Iteration 3 of 4", 3, 4, 50, 100, 0.9, 0.1)), "Iteration 3 of 4, 50 %");
    // A minute gone, but only 4 % of the first pass done.
    EXPECT_EQ(PassStatusText(Pass("Iteration 1 of 2", 1, 2, 4, 100, 60, 60)), "Iteration 1 of 2, 4 %");
    // Past both: a tenth of the first pass in a second, 9 s more for it
    // and 10 s for the second.
    EXPECT_EQ(PassStatusText(Pass("Iteration 1 of 2", 1, 2, 10, 100, 1, 1)), "Iteration 1 of 2, 10 %, about 19 s left");
}

TEST(ProgressText, OnlyTheLastRowMakesAHundred)
{
    // Whole per cent, never rounded up: 29 of 100 rows is not 28 (as
    // 0.29 * 100 would floor), 199 of 200 is not yet 100.
    EXPECT_EQ(PassStatusText(Pass("Surface normals", 1, 1, 29, 100, 0, 0)), "Surface normals, 29 %");
    EXPECT_EQ(PassStatusText(Pass("Surface normals", 1, 1, 199, 200, 0, 0)), "Surface normals, 99 %");
    // The whole build done: nothing left to guess.
    EXPECT_EQ(PassStatusText(Pass("Surface normals", 11, 11, 60, 60, 30, 3)), "Surface normals, 100 %");
    // A pass done that is not the last still has the rest ahead: five
    // more of the 6 s the passes took.
    EXPECT_EQ(PassStatusText(Pass("Iteration 5 of 10", 5, 10, 60, 60, 30, 6)),
              "Iteration 5 of 10, 100 %, about 30 s left");
    // A pass without rows is done.
    EXPECT_EQ(PassStatusText(Pass("Surface normals", 1, 1, 0, 0, 0, 0)), "Surface normals, 100 %");
}

TEST(ProgressText, TheStatusLineOfABuild)
{
    auto f = CreateFractalOfType(2);
    f->m_progress = -1.0;
    EXPECT_EQ(BuildStatusLine(*f, "Building..."), "Building...");
    f->m_progress = 42.5;
    EXPECT_EQ(BuildStatusLine(*f, "Building..."), "[42.5%] Building...");
    f->m_progress = 5.5;
    EXPECT_EQ(BuildStatusLine(*f, "Building..."), "[5.5%] Building...");
    // While passes run they say more than the percentage and the status;
    // once they end, the status stands alone again.
    f->m_progress = -1.0;
    f->m_passProgress.Begin(11, 60);
    f->m_passProgress.StartPass("Iteration 1 of 10");
    f->m_passProgress.AddRows(30);
    EXPECT_EQ(BuildStatusLine(*f, "Iteration 1 of 10"), "Iteration 1 of 10, 50 %");
    f->m_passProgress.End();
    EXPECT_EQ(BuildStatusLine(*f, "Rendering..."), "Rendering...");
}
