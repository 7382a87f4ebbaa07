#include "imaging/Parallel.h"

#include <atomic>

#include "imaging/ParallelTbb.h"
#include "imaging/VectorState.h"

namespace {

std::atomic<ExecutionPath> g_path{ExecutionPath::kFast};

// oneTBB hands chunks over through its own synchronisation, which a race
// detector built into our code cannot see (the library and the file that
// calls it are not instrumented). These atomics carry the same ordering in
// plain sight: the caller's writes reach every chunk through g_start, and
// every chunk's writes reach the caller through g_done when the call
// returns. No chunk releases into what another chunk acquires, so chunks
// stay unordered among themselves and a race between two is still seen.
// They are constant-initialised globals, so a chunk reads nothing of its
// caller's before it has synchronised.
std::atomic<unsigned> g_start{0};
std::atomic<unsigned> g_done{0};

void RunChunk(void* context, int begin, int end)
{
    (void)g_start.load(std::memory_order_acquire);
    // The library's threads start with the state of whichever thread made
    // them, and the caller may be any thread.
    CleanUpperVectorState();
    (*static_cast<const std::function<void(int, int)>*>(context))(begin, end);
    g_done.fetch_add(1, std::memory_order_release);
}

} // namespace

void SetExecutionPath(ExecutionPath path) { g_path.store(path); }

ExecutionPath CurrentExecutionPath() { return g_path.load(std::memory_order_relaxed); }

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
    g_start.fetch_add(1, std::memory_order_release);
    RunChunksOnTbb(count, grain, &RunChunk, const_cast<std::function<void(int, int)>*>(&body));
    (void)g_done.load(std::memory_order_acquire);
}
