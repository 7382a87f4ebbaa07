// Eight pixels at a time in AVX-512F (compiled for it alone; chosen only
// where the processor has it). No FMA: the pixels must match the scalar loop.
#include "imaging/kernels/LanesAvx512.h"
#include "model/kernels/MandelbrotLanes.h"

bool IterateMandelbrotRowAvx512(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    return mandelbrot_lanes::RunRow<Avx512, 2>(job, begin, end, row);
}
