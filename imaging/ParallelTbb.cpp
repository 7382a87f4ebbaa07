#include "imaging/ParallelTbb.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

void RunChunksOnTbb(int count, int grain, void (*chunk)(void*, int, int), void* context)
{
    tbb::parallel_for(tbb::blocked_range<int>(0, count, size_t(grain)),
                      [chunk, context](const tbb::blocked_range<int>& r) { chunk(context, r.begin(), r.end()); });
}
