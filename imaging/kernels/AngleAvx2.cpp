// The angle colouring's lanes. Four pixels at a time in AVX2 (compiled for it alone; chosen only where the processor
// has it).
#include "imaging/kernels/AngleLanes.h"
#include "imaging/kernels/LanesAvx2.h"

void AngleLevelsAvx2(const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels)
{
    angle_lanes::Levels<Avx2>(job, cells, n, levels);
}

void ProbeAngleAvx2(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine)
{
    angle_lanes::Probe<Avx2>(x, y, phase, n, theta, cosine);
}

void ProbePowerAvx2(const AngleLaneJob& job, const double* x, const double* y, int n, double* cosine)
{
    angle_lanes::ProbePower<Avx2>(job, x, y, n, cosine);
}
