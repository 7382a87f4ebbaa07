// Eight children at a time in AVX-512F (compiled for it alone; chosen only
// where the processor has it). No FMA: the tests must match the scalar ones.
#include "imaging/kernels/LanesAvx512.h"
#include "model/kernels/MarchLanes.h"

march::ChildTests MarchChildTestsAvx512() { return march_lanes::Tests<Avx512>(); }
