#pragma once
// The instruction sets the hot loops are compiled for, one file each, and
// the choice among them made at run time from what the processor reports.
// Every variant gives the scalar loop's bytes; tests run each one in turn.

enum class KernelIsa { kScalar, kSse2, kAvx2, kAvx512 };

bool KernelIsaSupported(KernelIsa isa);
// "scalar", "SSE2", "AVX2" or "AVX-512", for reports and test names.
const char* KernelIsaName(KernelIsa isa);
// The widest variant this processor runs, unless a test chose one.
KernelIsa ChosenKernelIsa();
// The widest variant this processor runs, whatever a test chose.
KernelIsa WidestKernelIsa();
// For tests: run `isa` from now on (when supported); kScalar included.
void OverrideKernelIsa(KernelIsa isa);
void ClearKernelIsaOverride();
