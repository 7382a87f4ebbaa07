#include "imaging/Parallel.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

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
#if defined(__SANITIZE_THREAD__)
    // Under ThreadSanitizer the library cannot be followed at all: its
    // templates are compiled into our code, instrumented, but the task
    // hand-over between them happens in the library, which is not, so its
    // own bookkeeping reads as races. The chunks go to plain threads
    // instead, which the tool sees whole; the bodies run just as concurrently.
    const int chunks = (count - 1) / grain + 1;
    std::atomic<int> next{0};
    auto work = [&] {
        for (int c; (c = next.fetch_add(1)) < chunks;) {
            CleanUpperVectorState();
            body(c * grain, std::min(count, (c + 1) * grain));
        }
    };
    std::vector<std::thread> helpers;
    for (unsigned i = 1; i < std::max(2u, std::thread::hardware_concurrency()); ++i)
        helpers.emplace_back(work);
    work();
    for (std::thread& t : helpers)
        t.join();
    return;
#endif
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
