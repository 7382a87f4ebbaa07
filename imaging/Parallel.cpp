#include "imaging/Parallel.h"

#include <atomic>

#include "imaging/ParallelTbb.h"

namespace {
std::atomic<ExecutionPath> g_path{ExecutionPath::kFast};

struct Spread {
    std::atomic<int> start{0};
    std::atomic<int> done{0};
    const std::function<void(int, int)>* body = nullptr;
};

void RunChunk(void* context, int begin, int end)
{
    Spread& spread = *static_cast<Spread*>(context);
    (void)spread.start.load(std::memory_order_acquire);
    (*spread.body)(begin, end);
    spread.done.fetch_add(1, std::memory_order_acq_rel);
}
} // namespace

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
        body(0, count);
        return;
    }
    // The library hands work over through its own synchronisation, which a
    // race detector built into our code cannot see. These two atomics carry
    // the same ordering in plain sight: the caller's writes reach every
    // chunk through `start`, and every chunk's writes reach the caller
    // through `done`.
    Spread spread;
    spread.body = &body;
    spread.start.store(1, std::memory_order_release);
    SpreadChunks(count, grain, RunChunk, &spread);
    (void)spread.done.load(std::memory_order_acquire);
}
