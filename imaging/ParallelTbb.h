#pragma once
// Hands chunks of [0, count) to the task library (see ParallelTbb.cpp).

using ChunkFunction = void (*)(void* context, int begin, int end);

// Calls chunk(context, begin, end) over [0, count) in chunks of about
// `grain` indices on every core; returns when all are done.
void SpreadChunks(int count, int grain, ChunkFunction chunk, void* context);
