// The angle colouring's lanes. Eight pixels at a time in AVX-512F (compiled for it alone; chosen only where the
// processor has it).
#include "imaging/kernels/AngleLanes.h"
#include "imaging/kernels/LanesAvx512.h"

void AngleLevelsAvx512(const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels)
{
    angle_lanes::Levels<Avx512>(job, cells, n, levels);
}

void ProbeAngleAvx512(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine)
{
    angle_lanes::Probe<Avx512>(x, y, phase, n, theta, cosine);
}

void ProbePowerAvx512(const AngleLaneJob& job, const double* x, const double* y, int n, double* cosine)
{
    angle_lanes::ProbePower<Avx512>(job, x, y, n, cosine);
}
