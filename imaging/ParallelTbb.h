#pragma once
// The one place that hands work to oneTBB. It is kept apart so that a
// ThreadSanitizer build can leave it (and the library's templates that it
// instantiates) uninstrumented, like the library itself: see Parallel.cpp.

// Calls chunk(context, begin, end) over [0, count) in chunks of about
// `grain`, on the library's threads; returns when every chunk is done.
void RunChunksOnTbb(int count, int grain, void (*chunk)(void* context, int begin, int end), void* context);
