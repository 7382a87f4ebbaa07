// The angle colouring's lanes. Two pixels at a time in SSE2, which every x86-64 processor has.
#include "imaging/kernels/AngleLanes.h"
#include "imaging/kernels/LanesSse2.h"

void AngleLevelsSse2(const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels)
{
    angle_lanes::Levels<Sse2>(job, cells, n, levels);
}

void ProbeAngleSse2(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine)
{
    angle_lanes::Probe<Sse2>(x, y, phase, n, theta, cosine);
}

void ProbePowerSse2(const AngleLaneJob& job, const double* x, const double* y, int n, double* cosine)
{
    angle_lanes::ProbePower<Sse2>(job, x, y, n, cosine);
}
