#include "imaging/Parallel.h"

#include <atomic>

#include "imaging/VectorState.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

namespace {
std::atomic<ExecutionPath> g_path{ExecutionPath::kFast};
}

void SetExecutionPath(ExecutionPath path)
{
    g_path.store(path);
}

ExecutionPath CurrentExecutionPath()
{
    return g_path.load(std::memory_order_relaxed);
}

void ForEachRange(int count, int grain, const std::function<void(int, int)>& body)
{
    if (count <= 0)
        return;
    if (grain < 1)
        grain = 1;
    if (PlainPath() || count <= grain) {
        CleanUpperVectorState();
        body(0, count);
        return;
    }
    // The library hands work over through its own synchronisation, which a
    // race detector built into our code cannot see. These two atomics carry
    // the same ordering in plain sight: the caller's writes reach every
    // chunk through `start`, and every chunk's writes reach the caller
    // through `done`.
    std::atomic<int> start{0};
    std::atomic<int> done{0};
    start.store(1, std::memory_order_release);
    tbb::parallel_for(tbb::blocked_range<int>(0, count, size_t(grain)), [&](const tbb::blocked_range<int>& r) {
        (void)start.load(std::memory_order_acquire);
        // The library's threads start with the state of whichever thread
        // made them, and the caller may be any thread.
        CleanUpperVectorState();
        body(r.begin(), r.end());
        done.fetch_add(1, std::memory_order_acq_rel);
    });
    (void)done.load(std::memory_order_acquire);
}
