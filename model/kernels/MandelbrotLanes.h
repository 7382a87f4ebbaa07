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
// V provides: D (the vector), Set1, Load, Store, Add, Sub, Mul, Max, Abs
// and EqBits, GtBits, LtBits, GeBits, NotLeBits (comparisons as a lane bit mask;
// Max as maxpd: the second operand where either is a NaN).

#include "imaging/ColorMap.h"
#include "model/kernels/MandelbrotPoint.h"

namespace mandelbrot_lanes {

using namespace mandelbrot_point;

// U vectors of V::kWidth lanes each, stepped side by side so that one's
// latency hides behind the others' work.
template <class V, int U>
struct Lanes {
    static constexpr int N = V::kWidth * U;
    alignas(64) double zr[N], zi[N], cr[N], ci[N], pr[N], pi[N], k[N], m2[N], sr[N], si[N];
    int column[N];
};

// Whether c lies well inside the main cardioid or the period-2 bulb: its
// attracting cycle's multiplier is at most 0.99 in size. The orbit of c
// then closes in on that cycle at once and stays within |z| <= 2, so the
// scalar loop, with an escape radius of 4 or more, iterates it to the
// limit. Points nearer the edge are iterated as usual.
static inline bool WellInside(double x, double y)
{
    const double xq = x - 0.25;
    const double q = xq * xq + y * y;
    if (q * (q + xq) <= 0.25 * y * y) {
        // z* = (1 - sqrt(w)) / 2 with w = 1 - 4c, multiplier 2 z*, whose
        // squared size is 1 - 2 Re sqrt(w) + |w|. Rounding moves it by a few
        // ulps, and any point inside the cardioid iterates to the limit: no
        // byte depends on which way one this close to 0.99 goes.
        const double wr = 1 - 4 * x, wi = -4 * y;
        const double size = std::sqrt(wr * wr + wi * wi);
        if (1 + size - 2 * std::sqrt((size + wr) * 0.5) < 0.99 * 0.99)
            return true;
    }
    // The 2-cycle's multiplier is 4 (c + 1).
    return 16 * ((x + 1) * (x + 1) + y * y) < 0.99 * 0.99;
}

// Starts pixels in lane `l` until one needs iterating (true) or the row
// has none left (false). Pixels that finish at their first step are
// written here.
template <class L>
static inline bool Refill(L& s, int l, int& next, int end, const MandelbrotRowJob& job, PixelRecord* row)
{
    while (next < end) {
        const int j = next++;
        const double x = job.x0 + j * job.d;
        if (!job.julia && job.radius2 >= 16 && job.maxIterations >= 0 && WellInside(x, job.y)) {
            StoreInside(row[j]);
            continue;
        }
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
            if (m2 > job.radius2) {
                p = Escaped(pr, pi, zr, zi, m2);
                p.count = 1;
            } else {
                p.value = kInsideValue;
            }
            Store(p, row[j]);
            continue;
        }
        s.zr[l] = zr;
        s.zi[l] = zi;
        s.cr[l] = cr;
        s.ci[l] = ci;
        s.pr[l] = pr;
        s.pi[l] = pi;
        s.k[l] = 0;
        // No z of this pixel is kept yet; a NaN equals nothing.
        s.sr[l] = s.si[l] = __builtin_nan("");
        s.column[l] = j;
        return true;
    }
    return false;
}

template <class V, int U>
static bool RunRow(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    using D = typename V::D;
    constexpr int W = V::kWidth;
    constexpr int N = W * U;
    static_assert(N <= 32, "lane masks are 32 bits");
    Lanes<V, U> s{};
    int next = begin;
    unsigned active = 0;
    for (int l = 0; l < N; ++l)
        if (Refill(s, l, next, end, job, row))
            active |= 1u << l;
    if (!active)
        return true;

    const D radius2 = V::Set1(job.radius2);
    const D limit = V::Set1(double(job.maxIterations));
    const D one = V::Set1(1.0), two = V::Set1(2.0);
    const D big = V::Set1(0x1p500), small = V::Set1(0x1p-500);
    D zr[U], zi[U], cr[U], ci[U], pr[U], pi[U], k[U], m2[U], sr[U], si[U];
    D x2[U], y2[U];
    auto load = [&] {
        for (int u = 0; u < U; ++u) {
            zr[u] = V::Load(s.zr + u * W);
            zi[u] = V::Load(s.zi + u * W);
            cr[u] = V::Load(s.cr + u * W);
            ci[u] = V::Load(s.ci + u * W);
            pr[u] = V::Load(s.pr + u * W);
            pi[u] = V::Load(s.pi + u * W);
            k[u] = V::Load(s.k + u * W);
            sr[u] = V::Load(s.sr + u * W);
            si[u] = V::Load(s.si + u * W);
            x2[u] = V::Mul(zr[u], zr[u]);
            y2[u] = V::Mul(zi[u], zi[u]);
        }
    };
    auto store = [&] {
        for (int u = 0; u < U; ++u) {
            V::Store(s.zr + u * W, zr[u]);
            V::Store(s.zi + u * W, zi[u]);
            V::Store(s.cr + u * W, cr[u]);
            V::Store(s.ci + u * W, ci[u]);
            V::Store(s.pr + u * W, pr[u]);
            V::Store(s.pi + u * W, pi[u]);
            V::Store(s.k + u * W, k[u]);
            V::Store(s.m2 + u * W, m2[u]);
            V::Store(s.sr + u * W, sr[u]);
            V::Store(s.si + u * W, si[u]);
        }
    };
    load();
    unsigned steps = 0;
    for (;;) {
        unsigned scale = 0, done = 0, escaped = 0;
        for (int u = 0; u < U; ++u) {
            // P *= z
            const D t = V::Sub(V::Mul(pr[u], zr[u]), V::Mul(pi[u], zi[u]));
            pi[u] = V::Add(V::Mul(pr[u], zi[u]), V::Mul(pi[u], zr[u]));
            pr[u] = t;
            // Every lane the scalar test would rescale, and perhaps a lane
            // holding a NaN, which the scalar test then turns away.
            const D larger = V::Max(V::Abs(pr[u]), V::Abs(pi[u]));
            scale |= (V::NotLeBits(larger, big) | V::LtBits(larger, small)) << (u * W);
            k[u] = V::Add(k[u], one);
            // z <- z^2 + c, the squares shared with |z|^2 as the scalar
            // loop's are equal
            const D x = V::Add(V::Sub(x2[u], y2[u]), cr[u]);
            zi[u] = V::Add(V::Mul(V::Mul(two, zr[u]), zi[u]), ci[u]);
            zr[u] = x;
            x2[u] = V::Mul(zr[u], zr[u]);
            y2[u] = V::Mul(zi[u], zi[u]);
            m2[u] = V::Add(x2[u], y2[u]);
            const unsigned e = V::GtBits(m2[u], radius2);
            escaped |= e << (u * W);
            done |= (e | V::GeBits(k[u], limit)) << (u * W);
        }
        // A z equal to one this pixel had before repeats its orbit for
        // ever: each of its values has passed the escape test, so the
        // point reaches the limit, as an inside point, whatever P does.
        // (Equal up to the sign of a zero is as good: the magnitudes, and
        // so every later test, are the same.) z is kept every 256 steps and
        // compared every 4th, which finds every period up to 63.
        unsigned repeated = 0;
        if ((steps & 3) == 0)
            for (int u = 0; u < U; ++u)
                repeated |= (V::EqBits(zr[u], sr[u]) & V::EqBits(zi[u], si[u])) << (u * W);
        if ((steps & 255) == 0)
            for (int u = 0; u < U; ++u) {
                sr[u] = zr[u];
                si[u] = zi[u];
            }
        done |= repeated;
        // The rescaling belongs before the step of z, which it does not
        // touch; done after it, it gives the same bits.
        scale &= active;
        done &= active;
        if (scale | done) {
            store();
            for (int l = 0; l < N; ++l)
                if (scale >> l & 1)
                    Scale(s.pr[l], s.pi[l]);
            for (int l = 0; l < N; ++l) {
                if (!(done >> l & 1))
                    continue;
                MandelbrotPixel p;
                if (escaped >> l & 1) {
                    p = Escaped(s.pr[l], s.pi[l], s.zr[l], s.zi[l], s.m2[l]);
                    // k counts the steps after the first squaring.
                    p.count = int32_t(s.k[l]) + 1;
                } else {
                    p.value = kInsideValue;
                }
                Store(p, row[s.column[l]]);
                if (!Refill(s, l, next, end, job, row))
                    active &= ~(1u << l);
            }
            if (!active)
                return true;
            load();
        }
        // A huge iteration count would keep a Stop waiting inside one row.
        if ((++steps & 0xFFFF) == 0 && job.stop && job.stop->load(std::memory_order_relaxed))
            return false;
    }
}

} // namespace mandelbrot_lanes
