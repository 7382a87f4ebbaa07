#include "model/kernels/MandelbrotKernel.h"

#include "imaging/ColorMap.h"
#include "model/kernels/MandelbrotPoint.h"

bool IterateMandelbrotRowSse2(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);
bool IterateMandelbrotRowAvx2(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);
bool IterateMandelbrotRowAvx512(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);

using namespace mandelbrot_point;

MandelbrotPixel IterateMandelbrotPoint(double zr, double zi, double cr, double ci, double radius2, int maxIterations,
                                       const std::atomic<bool>* stop)
{
    // P runs over z0 * z1 * ... * z(m-1); its ratio to z_m sets the colour.
    double pr = zr, pi = zi;
    double t = zr * zr - zi * zi + cr;
    zi = 2 * zr * zi + ci;
    zr = t;
    int k = 0;
    for (;;) {
        const double m2 = zr * zr + zi * zi;
        if (m2 > radius2)
            return Escaped(pr, pi, zr, zi, m2);
        // A huge iteration count would keep a Stop waiting inside one point.
        const bool stopped = (k & 0xFFFF) == 0xFFFF && stop && stop->load(std::memory_order_relaxed);
        if (k >= maxIterations || stopped) {
            MandelbrotPixel out;
            out.value = kInsideValue;
            out.stopped = stopped;
            return out;
        }
        t = pr * zr - pi * zi;
        pi = pr * zi + pi * zr;
        pr = t;
        if (NeedsScaling(pr, pi))
            Scale(pr, pi);
        ++k;
        t = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = t;
    }
}

namespace {

bool ScalarRow(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    for (int j = begin; j < end; ++j) {
        const double x = job.x0 + j * job.d;
        const MandelbrotPixel p =
            job.julia ? IterateMandelbrotPoint(x / job.g, job.y / job.g, job.cRe, job.cIm, job.radius2,
                                               job.maxIterations, job.stop)
                      : IterateMandelbrotPoint(x, job.y, x, job.y, job.radius2, job.maxIterations, job.stop);
        if (p.stopped)
            return false;
        row[j].nx = p.re;
        row[j].ny = p.im;
        row[j].value = p.value;
    }
    return true;
}

} // namespace

bool IterateMandelbrotRow(KernelIsa isa, const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    if (!KernelIsaSupported(isa))
        isa = WidestKernelIsa();
    switch (isa) {
    case KernelIsa::kSse2: return IterateMandelbrotRowSse2(job, begin, end, row);
    case KernelIsa::kAvx2: return IterateMandelbrotRowAvx2(job, begin, end, row);
    case KernelIsa::kAvx512: return IterateMandelbrotRowAvx512(job, begin, end, row);
    case KernelIsa::kScalar: break;
    }
    return ScalarRow(job, begin, end, row);
}
