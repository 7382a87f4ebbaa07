// Four children at a time in AVX2 (compiled for it alone; chosen only where
// the processor has it). No FMA: the tests must match the scalar ones.
#include "imaging/kernels/LanesAvx2.h"
#include "model/kernels/MarchLanes.h"

march::ChildTests MarchChildTestsAvx2() { return march_lanes::Tests<Avx2>(); }
