#pragma once
// The lane loop of DeepLanes.h over V::kWidth pixels, for the
// instruction-set files to instantiate with their own vector type V
// (internal linkage each).
//
// V provides: D, kWidth, Set1, Load, Store, Add, Sub, Mul, Sqrt, Abs,
// GtBits, LtBits, GeBits (comparisons as a lane bit mask, false on NaN) and
// Blend(bits, a, b) (a in the lanes whose bit is set, else b).

#include "model/deep/DeepLanes.h"
#include "model/kernels/MandelbrotPoint.h"

namespace deep_lanes {

template <class V>
struct Lanes {
    static constexpr int N = V::kWidth;
    alignas(64) double zr[N], zi[N], m2[N], dr[N], di[N], dcr[N], dci[N], dcAbs[N], err[N], pr[N], pi[N];
    alignas(64) double k[N], limit[N], w0r[N], w0i[N], w1r[N], w1i[N];
    DeepLanePixel px[N];
    unsigned live = 0, doubt = 0, skips = 0;

    void Put(int l, const DeepLanePixel& p, const DeepLaneView& view)
    {
        px[l] = p;
        zr[l] = p.zr;
        zi[l] = p.zi;
        m2[l] = p.m2;
        dr[l] = p.dr;
        di[l] = p.di;
        dcr[l] = p.dcr;
        dci[l] = p.dci;
        dcAbs[l] = p.dcAbs;
        err[l] = p.err;
        pr[l] = p.pr;
        pi[l] = p.pi;
        k[l] = p.k;
        limit[l] = p.limit;
        const unsigned bit = 1u << l;
        live |= bit;
        doubt = p.doubtful ? doubt | bit : doubt & ~bit;
        skips = view.skips[p.orbit] ? skips | bit : skips & ~bit;
    }

    DeepLanePixel& Take(int l)
    {
        DeepLanePixel& p = px[l];
        p.zr = zr[l];
        p.zi = zi[l];
        p.m2 = m2[l];
        p.dr = dr[l];
        p.di = di[l];
        p.err = err[l];
        p.pr = pr[l];
        p.pi = pi[l];
        p.k = int(k[l]);
        p.doubtful = (doubt >> l) & 1;
        return p;
    }
};

// The lanes in `bits` that a step here cannot take as the scalar loop
// would: an escape, a poll or the end, a possible skip, or a z so near 0
// that the product would rescale it first.
template <class V>
unsigned NeedScalar(const Lanes<V>& s)
{
    using D = typename V::D;
    const D zr = V::Abs(V::Load(s.zr)), zi = V::Abs(V::Load(s.zi)), m2 = V::Load(s.m2);
    const D dr = V::Load(s.dr), di = V::Load(s.di);
    const D d2 = V::Add(V::Mul(dr, dr), V::Mul(di, di));
    const D big = V::Set1(0x1p500), small = V::Set1(0x1p-500);
    unsigned bits = V::GeBits(V::Load(s.k), V::Load(s.limit));
    bits |= V::GtBits(zr, big) | V::GtBits(zi, big) | (V::LtBits(zr, small) & V::LtBits(zi, small));
    bits |= s.skips & V::LtBits(d2, V::Mul(V::Set1(0x1p-98), m2));
    return bits;
}

template <class V>
int64_t Run(const DeepLaneView& view, DeepLaneFeed& feed)
{
    using D = typename V::D;
    constexpr int N = V::kWidth;
    Lanes<V> s;
    DeepLanePixel p;
    for (int l = 0; l < N && feed.Next(p); ++l)
        s.Put(l, p, view);
    const D radius2 = V::Set1(view.radius2), radius = V::Set1(view.radius), eps = V::Set1(view.eps);
    const D zero = V::Set1(0.0), one = V::Set1(1.0);
    int64_t steps = 0;
    while (s.live) {
        unsigned back = (V::GtBits(V::Load(s.m2), radius2) | NeedScalar(s)) & s.live;
        if (back) {
            for (int l = 0; l < N; ++l) {
                if (!((back >> l) & 1))
                    continue;
                DeepLanePixel& q = s.Take(l);
                if (feed.Back(q) || feed.Next(q))
                    s.Put(l, q, view);
                else
                    s.live &= ~(1u << l);
            }
            continue; // the new lanes are looked at before they step
        }
        // The top of the scalar step: its magnitude, d2 and doubt test.
        D zr = V::Load(s.zr), zi = V::Load(s.zi), m2 = V::Load(s.m2);
        D dr = V::Load(s.dr), di = V::Load(s.di), err = V::Load(s.err);
        const D magnitude = V::Sqrt(m2);
        D d2 = V::Add(V::Mul(dr, dr), V::Mul(di, di));
        s.doubt |= ~s.doubt & V::GtBits(err, zero) & ~V::GtBits(V::Abs(V::Sub(magnitude, radius)), err) & s.live;
        err = V::Blend(s.doubt, zero, err);
        // P <- P z, rescaled as the scalar product is.
        {
            const D pr = V::Load(s.pr), pi = V::Load(s.pi);
            V::Store(s.pr, V::Sub(V::Mul(pr, zr), V::Mul(pi, zi)));
            V::Store(s.pi, V::Add(V::Mul(pr, zi), V::Mul(pi, zr)));
            for (int l = 0; l < N; ++l)
                if (((s.live >> l) & 1) && mandelbrot_point::NeedsScaling(s.pr[l], s.pi[l]))
                    mandelbrot_point::Scale(s.pr[l], s.pi[l]);
        }
        // The rebase, and each lane's orbit values w_i, w_(i+1).
        const unsigned under = V::LtBits(m2, d2);
        unsigned rebased = 0;
        for (int l = 0; l < N; ++l) {
            if (!((s.live >> l) & 1))
                continue;
            DeepLanePixel& q = s.px[l];
            if (((under >> l) & 1) || q.i + 1 >= view.size[q.orbit]) {
                rebased |= 1u << l;
                q.orbit = 1;
                q.i = 0;
                s.skips = view.skips[1] ? s.skips | (1u << l) : s.skips & ~(1u << l);
            }
            const double* re = view.re[q.orbit];
            const double* im = view.im[q.orbit];
            s.w0r[l] = re[q.i];
            s.w0i[l] = im[q.i];
            ++q.i;
            s.w1r[l] = re[q.i];
            s.w1i[l] = im[q.i];
        }
        dr = V::Blend(rebased, zr, dr);
        di = V::Blend(rebased, zi, di);
        d2 = V::Blend(rebased, m2, d2);
        const unsigned sure = ~s.doubt;
        err = V::Blend(rebased & sure, V::Add(err, V::Mul(eps, magnitude)), err);
        const D twice = V::Add(magnitude, magnitude);
        const D grown = V::Add(V::Mul(V::Add(twice, err), err),
                               V::Mul(eps, V::Add(V::Mul(twice, V::Sqrt(d2)), V::Load(s.dcAbs))));
        V::Store(s.err, V::Blend(sure, grown, err));
        // d <- (2 w + d) d + dc.
        const D w0r = V::Load(s.w0r), w0i = V::Load(s.w0i);
        const D tr = V::Add(V::Add(w0r, w0r), dr);
        const D ti = V::Add(V::Add(w0i, w0i), di);
        const D nr = V::Add(V::Sub(V::Mul(tr, dr), V::Mul(ti, di)), V::Load(s.dcr));
        di = V::Add(V::Add(V::Mul(tr, di), V::Mul(ti, dr)), V::Load(s.dci));
        dr = nr;
        zr = V::Add(V::Load(s.w1r), dr);
        zi = V::Add(V::Load(s.w1i), di);
        V::Store(s.dr, dr);
        V::Store(s.di, di);
        V::Store(s.zr, zr);
        V::Store(s.zi, zi);
        V::Store(s.m2, V::Add(V::Mul(zr, zr), V::Mul(zi, zi)));
        V::Store(s.k, V::Add(V::Load(s.k), one));
        steps += __builtin_popcount(s.live);
    }
    return steps;
}

} // namespace deep_lanes
