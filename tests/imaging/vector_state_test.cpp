// Spread work starts with the upper vector state clean, whatever the
// calling thread or an earlier chunk on the same thread left behind.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "imaging/Parallel.h"
#include "imaging/VectorState.h"

namespace {

bool CanDirty() { return CanReadUpperVectorState() && __builtin_cpu_supports("avx"); }

// What a library routine that forgets vzeroupper leaves behind. Compiled
// without AVX, so that a build for a newer processor, whose compiler cleans
// the state on every return from AVX code, leaves the dirt in place too.
__attribute__((target("no-avx"), noinline)) void Dirty()
{
    __asm__ volatile("vpcmpeqd %%ymm1, %%ymm1, %%ymm1" ::: "xmm1");
}

struct PathGuard {
    explicit PathGuard(ExecutionPath p) { SetExecutionPath(p); }
    ~PathGuard() { SetExecutionPath(ExecutionPath::kFast); }
};

TEST(VectorState, TheProbeSeesDirtAndItsCleaning)
{
    if (!CanDirty())
        GTEST_SKIP() << "no XGETBV with ECX=1 or no AVX";
    Dirty();
    EXPECT_TRUE(UpperVectorStateDirty());
    CleanUpperVectorState();
    EXPECT_FALSE(UpperVectorStateDirty());
}

TEST(VectorState, EveryChunkStartsCleanOnEitherPath)
{
    if (!CanDirty())
        GTEST_SKIP() << "no XGETBV with ECX=1 or no AVX";
    for (ExecutionPath path : {ExecutionPath::kFast, ExecutionPath::kPlain}) {
        PathGuard guard(path);
        // A thread of its own, dirty before it spreads anything, so that
        // library threads it may start inherit the dirt too.
        std::atomic<int> dirtyStarts{0}, chunks{0};
        std::thread caller([&] {
            Dirty();
            for (int round = 0; round < 20; ++round)
                ForEachRange(4000, 10, [&](int, int) {
                    if (UpperVectorStateDirty())
                        ++dirtyStarts;
                    ++chunks;
                    Dirty();
                });
        });
        caller.join();
        EXPECT_GT(chunks.load(), 0);
        EXPECT_EQ(dirtyStarts.load(), 0) << (path == ExecutionPath::kFast ? "fast" : "plain");
    }
}

} // namespace
