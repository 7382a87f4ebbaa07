#include "model/kernels/MandelbrotKernel.h"

#include <algorithm>
#include <cmath>

#include "imaging/ColorMap.h"
#include "model/kernels/MandelbrotLanes.h"
#include "model/kernels/MandelbrotPoint.h"

bool IterateMandelbrotRowSse2(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);
bool IterateMandelbrotRowAvx2(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);
bool IterateMandelbrotRowAvx512(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);

using namespace mandelbrot_point;

namespace {

// The scalar loop, with dz/dp carried beside z when asked for. The steps of
// z and P are the same operations either way, so both give the same cells.
template <bool kDerivative>
MandelbrotPixel PointLoop(double zr, double zi, double cr, double ci, bool julia, double dz0, double radius2,
                          int maxIterations, const std::atomic<bool>* stop, double* distance)
{
    // P runs over z0 * z1 * ... * z(m-1); its ratio to z_m sets the colour.
    double pr = zr, pi = zi;
    double dr = dz0, di = 0;
    const double plus = julia ? 0.0 : 1.0;
    auto derivative = [&] {
        // dz <- 2 z dz (+ 1), with z the value before its step
        const double t = 2 * (zr * dr - zi * di) + plus;
        di = 2 * (zr * di + zi * dr);
        dr = t;
    };
    if constexpr (kDerivative)
        derivative();
    double t = zr * zr - zi * zi + cr;
    zi = 2 * zr * zi + ci;
    zr = t;
    int k = 0;
    for (;;) {
        const double m2 = zr * zr + zi * zi;
        if (m2 > radius2) {
            MandelbrotPixel out = Escaped(pr, pi, zr, zi, m2);
            out.count = k + 1;
            if constexpr (kDerivative) {
                // A derivative past a double's range: the point is as near
                // the set as any double can tell.
                const double e = std::sqrt(m2) * 0.5 * std::log(m2) / std::hypot(dr, di);
                *distance = e >= 0 && std::isfinite(e) ? e : 0;
            }
            return out;
        }
        // A huge iteration count would keep a Stop waiting inside one point.
        const bool stopped = (k & 0xFFFF) == 0xFFFF && stop && stop->load(std::memory_order_relaxed);
        if (k >= maxIterations || stopped) {
            MandelbrotPixel out;
            out.value = kInsideValue;
            out.stopped = stopped;
            if constexpr (kDerivative)
                *distance = 0;
            return out;
        }
        t = pr * zr - pi * zi;
        pi = pr * zi + pi * zr;
        pr = t;
        if (NeedsScaling(pr, pi))
            Scale(pr, pi);
        ++k;
        if constexpr (kDerivative)
            derivative();
        t = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = t;
    }
}

} // namespace

MandelbrotPixel IterateMandelbrotPoint(double zr, double zi, double cr, double ci, double radius2, int maxIterations,
                                       const std::atomic<bool>* stop)
{
    return PointLoop<false>(zr, zi, cr, ci, false, 1, radius2, maxIterations, stop, nullptr);
}

MandelbrotPixel IterateMandelbrotPointDistance(double zr, double zi, double cr, double ci, bool julia, double dz0,
                                               double radius2, int maxIterations, const std::atomic<bool>* stop,
                                               double* distance)
{
    return PointLoop<true>(zr, zi, cr, ci, julia, dz0, radius2, maxIterations, stop, distance);
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
        Store(p, row[j]);
    }
    return true;
}

} // namespace

bool IterateMandelbrotRowDistance(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    for (int j = begin; j < end; ++j) {
        const double x = job.x0 + j * job.d;
        // What the lanes skip the scalar loop iterates to the limit: an
        // inside point, at distance 0.
        if (!job.julia && job.radius2 >= 16 && job.maxIterations >= 0 && mandelbrot_lanes::WellInside(x, job.y)) {
            StoreInside(row[j]);
            row[j].step = 0;
            continue;
        }
        double distance = 0;
        const MandelbrotPixel p =
            job.julia ? IterateMandelbrotPointDistance(x / job.g, job.y / job.g, job.cRe, job.cIm, true, 1 / job.g,
                                                       job.radius2, job.maxIterations, job.stop, &distance)
                      : IterateMandelbrotPointDistance(x, job.y, x, job.y, false, 1, job.radius2, job.maxIterations,
                                                       job.stop, &distance);
        if (p.stopped)
            return false;
        Store(p, row[j]);
        // In pixels, so the boundary is as sharp at any depth; a float holds
        // any distance a view shows.
        const double pixels = job.d > 0 ? distance / job.d : 0;
        row[j].step = float(std::min(pixels, 1e30));
    }
    return true;
}

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
