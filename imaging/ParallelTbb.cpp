// The one place that calls the task library. Under ThreadSanitizer this file
// is built without instrumentation: the library's templates would otherwise
// be checked here while its own synchronisation, in the uninstrumented
// shared library, stays invisible, and every handed-over task would look
// like a race. The ordering the bodies rely on is carried by atomics in
// Parallel.cpp, which is checked.
#include "imaging/ParallelTbb.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

void SpreadChunks(int count, int grain, ChunkFunction chunk, void* context)
{
    tbb::parallel_for(tbb::blocked_range<int>(0, count, size_t(grain)),
                      [=](const tbb::blocked_range<int>& r) { chunk(context, r.begin(), r.end()); });
}
