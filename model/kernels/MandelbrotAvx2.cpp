// Four pixels at a time in AVX2 (compiled for it alone; chosen only where
// the processor has it). No FMA: the pixels must match the scalar loop.
#include "imaging/kernels/LanesAvx2.h"
#include "model/kernels/MandelbrotLanes.h"

bool IterateMandelbrotRowAvx2(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    return mandelbrot_lanes::RunRow<Avx2, 2>(job, begin, end, row);
}
