// Two pixels at a time in SSE2, which every x86-64 processor has.
#include "imaging/kernels/LanesSse2.h"
#include "model/kernels/MandelbrotLanes.h"

bool IterateMandelbrotRowSse2(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    return mandelbrot_lanes::RunRow<Sse2, 2>(job, begin, end, row);
}
