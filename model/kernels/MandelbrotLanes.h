#pragma once
// The row loop over V::kWidth pixels at once, for the instruction-set files
// to instantiate with their own vector type V (internal linkage each).
//
// Each lane carries one pixel through exactly the steps of the scalar loop.
// A lane whose pixel escapes or reaches the limit hands the pixel to the
// scalar code for its cell and takes the next pixel of the row; the first
// step of a pixel and the rare rescaling of P are scalar too, so each
// pixel's arithmetic is the scalar loop's, operation for operation.
//
// V provides: D (the vector), Set1, Load, Store, Add, Sub, Mul, Abs and
// GtBits, LtBits, GeBits (comparisons as a lane bit mask).

#include "imaging/ColorMap.h"
#include "model/kernels/MandelbrotPoint.h"

namespace mandelbrot_lanes {

using namespace mandelbrot_point;

template <class V>
struct Lanes {
    static constexpr int N = V::kWidth;
    alignas(64) double zr[N], zi[N], cr[N], ci[N], pr[N], pi[N], k[N], m2[N];
    int column[N];
};

// Starts pixels in lane `l` until one needs iterating (true) or the row
// has none left (false). Pixels that finish at their first step are
// written here.
template <class V>
static inline bool Refill(Lanes<V>& s, int l, int& next, int end, const MandelbrotRowJob& job, PixelRecord* row)
{
    while (next < end) {
        const int j = next++;
        const double x = job.x0 + j * job.d;
        double zr, zi, cr, ci;
        if (job.julia) {
            zr = x / job.g;
            zi = job.y / job.g;
            cr = job.cRe;
            ci = job.cIm;
        } else {
            zr = cr = x;
            zi = ci = job.y;
        }
        const double pr = zr, pi = zi;
        const double t = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = t;
        const double m2 = zr * zr + zi * zi;
        if (m2 > job.radius2 || 0 >= job.maxIterations) {
            MandelbrotPixel p;
            if (m2 > job.radius2)
                p = Escaped(pr, pi, zr, zi, m2);
            else
                p.value = kInsideValue;
            row[j].nx = p.re;
            row[j].ny = p.im;
            row[j].value = p.value;
            continue;
        }
        s.zr[l] = zr;
        s.zi[l] = zi;
        s.cr[l] = cr;
        s.ci[l] = ci;
        s.pr[l] = pr;
        s.pi[l] = pi;
        s.k[l] = 0;
        s.column[l] = j;
        return true;
    }
    return false;
}

template <class V>
static bool RunRow(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    using D = typename V::D;
    constexpr int N = V::kWidth;
    Lanes<V> s{};
    int next = begin;
    unsigned active = 0;
    for (int l = 0; l < N; ++l)
        if (Refill<V>(s, l, next, end, job, row))
            active |= 1u << l;
    if (!active)
        return true;

    const D radius2 = V::Set1(job.radius2);
    const D limit = V::Set1(double(job.maxIterations));
    const D one = V::Set1(1.0), two = V::Set1(2.0);
    const D big = V::Set1(0x1p500), small = V::Set1(0x1p-500);
    D zr = V::Load(s.zr), zi = V::Load(s.zi), cr = V::Load(s.cr), ci = V::Load(s.ci);
    D pr = V::Load(s.pr), pi = V::Load(s.pi), k = V::Load(s.k);
    unsigned steps = 0;
    for (;;) {
        // P *= z
        const D t = V::Sub(V::Mul(pr, zr), V::Mul(pi, zi));
        pi = V::Add(V::Mul(pr, zi), V::Mul(pi, zr));
        pr = t;
        const D apr = V::Abs(pr), api = V::Abs(pi);
        const unsigned scale =
            (V::GtBits(apr, big) | V::GtBits(api, big) | (V::LtBits(apr, small) & V::LtBits(api, small))) & active;
        if (scale) {
            V::Store(s.pr, pr);
            V::Store(s.pi, pi);
            for (int l = 0; l < N; ++l)
                if (scale >> l & 1)
                    Scale(s.pr[l], s.pi[l]);
            pr = V::Load(s.pr);
            pi = V::Load(s.pi);
        }
        k = V::Add(k, one);
        // z <- z^2 + c
        const D u = V::Add(V::Sub(V::Mul(zr, zr), V::Mul(zi, zi)), cr);
        zi = V::Add(V::Mul(V::Mul(two, zr), zi), ci);
        zr = u;
        const D m2 = V::Add(V::Mul(zr, zr), V::Mul(zi, zi));
        const unsigned done = (V::GtBits(m2, radius2) | V::GeBits(k, limit)) & active;
        if (done) {
            V::Store(s.zr, zr);
            V::Store(s.zi, zi);
            V::Store(s.cr, cr);
            V::Store(s.ci, ci);
            V::Store(s.pr, pr);
            V::Store(s.pi, pi);
            V::Store(s.k, k);
            V::Store(s.m2, m2);
            const unsigned escaped = V::GtBits(m2, radius2);
            for (int l = 0; l < N; ++l) {
                if (!(done >> l & 1))
                    continue;
                MandelbrotPixel p;
                if (escaped >> l & 1)
                    p = Escaped(s.pr[l], s.pi[l], s.zr[l], s.zi[l], s.m2[l]);
                else
                    p.value = kInsideValue;
                PixelRecord& cell = row[s.column[l]];
                cell.nx = p.re;
                cell.ny = p.im;
                cell.value = p.value;
                if (!Refill<V>(s, l, next, end, job, row))
                    active &= ~(1u << l);
            }
            if (!active)
                return true;
            zr = V::Load(s.zr);
            zi = V::Load(s.zi);
            cr = V::Load(s.cr);
            ci = V::Load(s.ci);
            pr = V::Load(s.pr);
            pi = V::Load(s.pi);
            k = V::Load(s.k);
        }
        // A huge iteration count would keep a Stop waiting inside one row.
        if ((++steps & 0xFFFF) == 0 && job.stop && job.stop->load(std::memory_order_relaxed))
            return false;
    }
}

} // namespace mandelbrot_lanes
