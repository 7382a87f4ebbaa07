// Two children at a time in SSE2, which every x86-64 processor has.
#include "imaging/kernels/LanesSse2.h"
#include "model/kernels/MarchLanes.h"

march::ChildTests MarchChildTestsSse2() { return march_lanes::Tests<Sse2>(); }
