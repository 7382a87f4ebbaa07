#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "imaging/Parallel.h"

namespace {

struct PathGuard {
    explicit PathGuard(ExecutionPath p) { SetExecutionPath(p); }
    ~PathGuard() { SetExecutionPath(ExecutionPath::kFast); }
};

TEST(Parallel, EveryIndexIsVisitedOnceOnEitherPath)
{
    for (ExecutionPath path : {ExecutionPath::kFast, ExecutionPath::kPlain}) {
        PathGuard guard(path);
        for (int count : {0, 1, 7, 1000, 100003}) {
            std::vector<int> seen(size_t(count), 0);
            ForEachRange(count, 16, [&](int begin, int end) {
                ASSERT_LE(0, begin);
                ASSERT_LT(begin, end);
                ASSERT_LE(end, count);
                for (int i = begin; i < end; ++i)
                    ++seen[size_t(i)];
            });
            for (int i = 0; i < count; ++i)
                ASSERT_EQ(seen[size_t(i)], 1) << "index " << i << " of " << count;
        }
    }
}

TEST(Parallel, ThePlainPathIsOneCallOnTheCallingThread)
{
    PathGuard guard(ExecutionPath::kPlain);
    const std::thread::id caller = std::this_thread::get_id();
    int calls = 0;
    ForEachRange(5000, 1, [&](int begin, int end) {
        EXPECT_EQ(std::this_thread::get_id(), caller);
        EXPECT_EQ(begin, 0);
        EXPECT_EQ(end, 5000);
        ++calls;
    });
    EXPECT_EQ(calls, 1);
}

TEST(Parallel, TheFastPathSpreadsOverTheCoresWhenThereAreSeveral)
{
    if (std::thread::hardware_concurrency() < 2)
        GTEST_SKIP() << "one core";
    // Each chunk waits a little for the others, so one thread alone would
    // take every chunk only if no other thread ever joined.
    std::mutex lock;
    std::set<std::thread::id> threads;
    ForEachRange(64, 1, [&](int, int) {
        {
            std::lock_guard<std::mutex> hold(lock);
            threads.insert(std::this_thread::get_id());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    });
    EXPECT_GE(threads.size(), 2u);
}

} // namespace
