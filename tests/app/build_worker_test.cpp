// A document's worker on its own: what it hands the GUI thread arrives in
// order and before a wait is answered, an abort releases a wait nobody
// answers and drops what was left undelivered, and each job stops alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <vector>

#include "document/BuildWorker.h"

TEST(BuildWorker, RunsTheMessagesInOrderBeforeTheWaitIsAnswered)
{
    BuildWorker worker;
    constexpr int kPosted = 200;
    std::vector<int> seen; // the GUI thread's alone
    worker.Start(
        [&] {
            for (int i = 0; i < kPosted; ++i)
                worker.Post([&seen, i] { seen.push_back(i); });
            int before = -1;
            const bool answered = worker.RunOnGui([&] { before = int(seen.size()); }, true);
            return answered && before == kPosted ? 0 : 1;
        },
        nullptr, [&] { worker.Join(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !worker.IsRunning(); }, 10000));
    EXPECT_EQ(worker.m_exitCode, 0);
    ASSERT_EQ(seen.size(), std::size_t(kPosted));
    for (int i = 0; i < kPosted; ++i)
        ASSERT_EQ(seen[std::size_t(i)], i);
}

TEST(BuildWorker, AbortReleasesAWaitNobodyAnswersAndDropsTheRest)
{
    BuildWorker worker;
    bool ran = false;
    worker.Start([&] { return worker.RunOnGui([&] { ran = true; }, true) ? 0 : 1; }, nullptr, [&] { ran = true; });
    // No event loop turns before the abort, so nothing was delivered.
    worker.Abort();
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_EQ(worker.m_exitCode, 1) << "the wait returned unanswered";
    QApplication::processEvents();
    EXPECT_FALSE(ran) << "neither the question nor the ending reaches the GUI";
}

TEST(BuildWorker, EachJobHasAStopOfItsOwn)
{
    BuildWorker worker;
    const std::stop_token first = worker.BeginJob({});
    EXPECT_TRUE(worker.JobRunning());
    worker.RequestStop();
    const std::stop_token second = worker.BeginJob([] { return QString("Frame 1 of 2"); });
    EXPECT_TRUE(first.stop_requested());
    EXPECT_FALSE(second.stop_requested());
    EXPECT_EQ(worker.JobStatus(), "Frame 1 of 2");
    worker.BeginBuild();
    EXPECT_FALSE(worker.JobRunning());
    EXPECT_EQ(worker.JobStatus(), "");
}
