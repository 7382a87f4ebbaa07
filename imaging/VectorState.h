#pragma once
// The upper halves of the vector registers, as the processor tracks them.
//
// Code that leaves them in use (Qt's string hash does, on every QHash
// lookup by a short QString) makes every later SSE instruction on that
// thread pay for a state transition, and a thread starts with its parent's
// state. Builders therefore start every worker, and every chunk of spread
// work, clean.

// Whether this processor can report the state (XGETBV with ECX=1).
bool CanReadUpperVectorState();
// Whether the upper halves are marked in use; false where it cannot be read.
bool UpperVectorStateDirty();
// Marks them unused (vzeroupper); does nothing without AVX.
void CleanUpperVectorState();
