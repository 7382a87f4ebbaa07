#pragma once
// How builders and painters spread their work over the cores.
//
// Every fast path has a plain twin: one thread, scalar kernels, the loop as
// it was first written. Tests switch to it to prove that the fast path gives
// the same bytes; nothing else should.

#include <functional>

enum class ExecutionPath { kFast, kPlain };

void SetExecutionPath(ExecutionPath path);
ExecutionPath CurrentExecutionPath();
inline bool PlainPath() { return CurrentExecutionPath() == ExecutionPath::kPlain; }

// Calls body(begin, end) over [0, count) in chunks of about `grain` indices:
// on every core on the fast path, in order on the calling thread on the plain
// one. Every index is covered once; a body writes only what belongs to its
// own indices. Everything the caller wrote before is visible to the bodies,
// and everything the bodies wrote is visible to the caller on return.
void ForEachRange(int count, int grain, const std::function<void(int begin, int end)>& body);
