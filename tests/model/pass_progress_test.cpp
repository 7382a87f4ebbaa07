// The passes a build reports while other threads read them.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "imaging/Parallel.h"
#include "model/PassProgress.h"
#include "model/deep/ReferenceOrbit.h"
#include "numbers/Mpfr.h"

TEST(PassProgress, EachPassStartsAtNothingAndEndsClosed)
{
    PassProgress p;
    EXPECT_FALSE(p.Read().running);
    p.Begin(2, 10);
    EXPECT_FALSE(p.Read().running); // begun, but no pass opened yet
    p.StartPass("first");
    p.AddRows(4);
    PassReading r = p.Read();
    EXPECT_TRUE(r.running);
    EXPECT_EQ(r.label, "first");
    EXPECT_EQ(r.pass, 1);
    EXPECT_EQ(r.passes, 2);
    EXPECT_EQ(r.done, 4);
    EXPECT_EQ(r.total, 10);
    EXPECT_GE(r.seconds, 0.0);
    p.StartPass("second");
    r = p.Read();
    EXPECT_EQ(r.label, "second");
    EXPECT_EQ(r.pass, 2);
    EXPECT_EQ(r.done, 0);
    p.End();
    EXPECT_FALSE(p.Read().running);
    EXPECT_EQ(p.Read().label, "");
    // A new build counts from its own first pass.
    p.Begin(1, 3);
    p.StartPass("again");
    EXPECT_EQ(p.Read().pass, 1);
    EXPECT_EQ(p.Read().done, 0);
}

TEST(PassProgress, RowsCountedOnEveryCoreNeverFallAsTheyAreRead)
{
    // The rows of each pass are counted by the spread chunks while another
    // thread reads: within a pass the count only rises, a pass is never
    // read with another's rows, and every row is counted once.
    constexpr int kRows = 4000, kPasses = 5;
    PassProgress p;
    std::atomic<bool> finished{false};
    bool fell = false, mixed = false;
    int lastPass = 0;
    int64_t lastDone = 0;
    std::thread reader([&] {
        while (!finished.load()) {
            const PassReading r = p.Read();
            if (!r.running)
                continue;
            if (r.label != "pass " + std::to_string(r.pass))
                mixed = true;
            if (r.pass == lastPass && r.done < lastDone)
                fell = true;
            if (r.pass < lastPass)
                fell = true;
            lastPass = r.pass;
            lastDone = r.done;
        }
    });
    p.Begin(kPasses, kRows);
    std::vector<int64_t> counted;
    for (int n = 1; n <= kPasses; ++n) {
        p.StartPass("pass " + std::to_string(n));
        ForEachRange(kRows, 7, [&](int first, int end) {
            for (int row = first; row < end; ++row)
                p.AddRows(1);
        });
        counted.push_back(p.Read().done);
    }
    p.End();
    finished = true;
    reader.join();
    EXPECT_FALSE(fell);
    EXPECT_FALSE(mixed);
    EXPECT_EQ(counted, std::vector<int64_t>(kPasses, kRows));
}

// An orbit computed inside a build shows as an aside with its own count:
// every value it adds is counted, those it had before too, and the pass it
// covered comes back as it was.
TEST(PassProgress, AnOrbitsAsideCountsEveryValueAndGivesThePassBack)
{
    PassProgress p;
    p.Begin(1, 48);
    p.StartPass("Deep view");
    p.AddRows(5);
    MpfrReal x(128), y(128), zero(128);
    ASSERT_TRUE(x.Parse("-0.1") && y.Parse("0.5"));
    ReferenceIteration iteration(zero, zero, x, y, 1e4, false, true, 1, false);
    ReferenceOrbit orbit;
    ASSERT_TRUE(iteration.Extend(1000, nullptr, orbit));
    p.BeginAside("Reference orbit", 3001, int64_t(orbit.size()));
    EXPECT_EQ(p.Read().label, "Reference orbit");
    EXPECT_EQ(p.Read().first, 1000);
    ASSERT_TRUE(iteration.Extend(2345, nullptr, orbit, &p));
    EXPECT_EQ(p.Read().done, 2345);
    ASSERT_TRUE(iteration.Extend(3001, nullptr, orbit, &p));
    PassReading r = p.Read();
    EXPECT_EQ(r.done, 3001);
    EXPECT_EQ(r.total, 3001);
    p.EndAside();
    r = p.Read();
    EXPECT_TRUE(r.running);
    EXPECT_EQ(r.label, "Deep view");
    EXPECT_EQ(r.done, 5);
    EXPECT_EQ(r.total, 48);
    EXPECT_EQ(r.first, 0);
    // An aside before any pass leaves none running.
    p.End();
    p.BeginAside("Reference orbit", 10, 0);
    EXPECT_TRUE(p.Read().running);
    p.EndAside();
    EXPECT_FALSE(p.Read().running);
}
