#pragma once
// The lane loop of DeepLanes.h over V::kWidth pixels, for the
// instruction-set files to instantiate with their own vector type V
// (internal linkage each).
//
// V provides: D, kWidth, Set1, Load, Store, Add, Sub, Mul, Sqrt, Abs,
// GtBits, LtBits, GeBits (comparisons as a lane bit mask, false on NaN),
// Blend(bits, a, b) (a in the lanes whose bit is set, else b) and
// Gather(base, index, bits, src) (base[index] in the lanes whose bit is
// set, reading nothing for the others, which keep src).

#include "model/deep/DeepLanes.h"
#include "model/deep/Thresholds.h"
#include "model/kernels/MandelbrotPoint.h"

namespace deep_lanes {

// The lanes' state in memory, where the scalar side reads and writes it;
// while no lane needs the scalar side it stays in registers.
template <class V>
struct Lanes {
    static constexpr int N = V::kWidth;
    // idx: the lane's i, w0: its orbit's value at i.
    alignas(64) double zr[N], zi[N], m2[N], dr[N], di[N], dcr[N], dci[N], dcAbs[N], err[N], pr[N], pi[N];
    alignas(64) double k[N], limit[N], idx[N], w0r[N], w0i[N];
    DeepLanePixel px[N];
    unsigned live = 0, doubt = 0, skips = 0, orbit = 0;

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
        idx[l] = double(p.i);
        w0r[l] = view.re[p.orbit][p.i];
        w0i[l] = view.im[p.orbit][p.i];
        const unsigned bit = 1u << l;
        live |= bit;
        doubt = p.doubtful ? doubt | bit : doubt & ~bit;
        skips = view.skips[p.orbit] ? skips | bit : skips & ~bit;
        orbit = p.orbit ? orbit | bit : orbit & ~bit;
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
        p.i = size_t(idx[l]);
        p.orbit = int((orbit >> l) & 1);
        p.doubtful = (doubt >> l) & 1;
        return p;
    }
};

// The vectors a step changes, held in registers between hand-overs.
template <class V>
struct Regs {
    using D = typename V::D;
    D zr, zi, m2, dr, di, err, pr, pi, k, idx, w0r, w0i;

    void Load(const Lanes<V>& s)
    {
        zr = V::Load(s.zr);
        zi = V::Load(s.zi);
        m2 = V::Load(s.m2);
        dr = V::Load(s.dr);
        di = V::Load(s.di);
        err = V::Load(s.err);
        pr = V::Load(s.pr);
        pi = V::Load(s.pi);
        k = V::Load(s.k);
        idx = V::Load(s.idx);
        w0r = V::Load(s.w0r);
        w0i = V::Load(s.w0i);
    }
    void Store(Lanes<V>& s) const
    {
        V::Store(s.zr, zr);
        V::Store(s.zi, zi);
        V::Store(s.m2, m2);
        V::Store(s.dr, dr);
        V::Store(s.di, di);
        V::Store(s.err, err);
        V::Store(s.pr, pr);
        V::Store(s.pi, pi);
        V::Store(s.k, k);
        V::Store(s.idx, idx);
        V::Store(s.w0r, w0r);
        V::Store(s.w0i, w0i);
    }
};

// NeedsScaling of MandelbrotPoint.h, lane by lane.
template <class V>
unsigned NeedsScalingBits(typename V::D re, typename V::D im)
{
    const typename V::D a = V::Abs(re), b = V::Abs(im), big = V::Set1(0x1p500), small = V::Set1(0x1p-500);
    return V::GtBits(a, big) | V::GtBits(b, big) | (V::LtBits(a, small) & V::LtBits(b, small));
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
    const D zero = V::Set1(0.0), one = V::Set1(1.0), tiny = V::Set1(deep_thresholds::kSkipRatio2);
    const D escapeEps = V::Set1(deep_thresholds::kEscapeTestEps);
    const D size0 = V::Set1(double(view.size[0])), size1 = V::Set1(double(view.size[1]));
    const D first1r = V::Set1(view.re[1][0]), first1i = V::Set1(view.im[1][0]);
    const bool oneOrbit = view.re[0] == view.re[1] && view.im[0] == view.im[1];
    Regs<V> r;
    r.Load(s);
    int64_t steps = 0;
    while (s.live) {
        // What the scalar loop must do itself: an escape, a poll or the
        // end, a possible skip, or a z so near 0 that the product would
        // rescale it first.
        const D d2 = V::Add(V::Mul(r.dr, r.dr), V::Mul(r.di, r.di));
        unsigned back = V::GtBits(r.m2, radius2) | V::GeBits(r.k, V::Load(s.limit)) | NeedsScalingBits<V>(r.zr, r.zi) |
                        (s.skips & V::LtBits(d2, V::Mul(tiny, r.m2)));
        back &= s.live;
        if (back) {
            r.Store(s);
            for (int l = 0; l < N; ++l) {
                if (!((back >> l) & 1))
                    continue;
                DeepLanePixel& q = s.Take(l);
                if (feed.Back(q) || feed.Next(q))
                    s.Put(l, q, view);
                else
                    s.live &= ~(1u << l);
            }
            r.Load(s);
            continue; // the new lanes are looked at before they step
        }
        // The top of the scalar step: its magnitude and doubt test.
        const D magnitude = V::Sqrt(r.m2);
        const D margin = V::Add(r.err, V::Mul(escapeEps, magnitude));
        s.doubt |= ~s.doubt & V::GtBits(r.err, zero) & ~V::GtBits(V::Abs(V::Sub(magnitude, radius)), margin) & s.live;
        D err = V::Blend(s.doubt, zero, r.err);
        // P <- P z, rescaled as the scalar product is.
        {
            const D pr = V::Sub(V::Mul(r.pr, r.zr), V::Mul(r.pi, r.zi));
            r.pi = V::Add(V::Mul(r.pr, r.zi), V::Mul(r.pi, r.zr));
            r.pr = pr;
            if (const unsigned scale = NeedsScalingBits<V>(r.pr, r.pi) & s.live) {
                V::Store(s.pr, r.pr);
                V::Store(s.pi, r.pi);
                for (int l = 0; l < N; ++l)
                    if ((scale >> l) & 1)
                        mandelbrot_point::Scale(s.pr[l], s.pi[l]);
                r.pr = V::Load(s.pr);
                r.pi = V::Load(s.pi);
            }
        }
        // The rebase, when |z| < |d| or the orbit runs out.
        const D size = V::Blend(s.orbit, size1, size0);
        const unsigned rebased = (V::LtBits(r.m2, d2) | V::GeBits(V::Add(r.idx, one), size)) & s.live;
        D dr = r.dr, di = r.di, dd = d2;
        if (rebased) {
            s.orbit |= rebased;
            s.skips = view.skips[1] ? s.skips | rebased : s.skips & ~rebased;
            r.idx = V::Blend(rebased, zero, r.idx);
            r.w0r = V::Blend(rebased, first1r, r.w0r);
            r.w0i = V::Blend(rebased, first1i, r.w0i);
            dr = V::Blend(rebased, r.zr, dr);
            di = V::Blend(rebased, r.zi, di);
            dd = V::Blend(rebased, r.m2, dd);
            err = V::Blend(rebased & ~s.doubt, V::Add(err, V::Mul(eps, magnitude)), err);
        }
        const D twice = V::Add(magnitude, magnitude);
        const D grown = V::Add(V::Mul(V::Add(twice, err), err),
                               V::Mul(eps, V::Add(V::Mul(twice, V::Sqrt(dd)), V::Load(s.dcAbs))));
        r.err = V::Blend(~s.doubt, grown, err);
        // d <- (2 w + d) d + dc.
        const D tr = V::Add(V::Add(r.w0r, r.w0r), dr);
        const D ti = V::Add(V::Add(r.w0i, r.w0i), di);
        const D nr = V::Add(V::Sub(V::Mul(tr, dr), V::Mul(ti, di)), V::Load(s.dcr));
        r.di = V::Add(V::Add(V::Mul(tr, di), V::Mul(ti, dr)), V::Load(s.dci));
        r.dr = nr;
        r.idx = V::Add(r.idx, one);
        if (oneOrbit) {
            r.w0r = V::Gather(view.re[0], r.idx, s.live, zero);
            r.w0i = V::Gather(view.im[0], r.idx, s.live, zero);
        } else {
            const unsigned front = s.live & ~s.orbit, rear = s.live & s.orbit;
            r.w0r = V::Gather(view.re[1], r.idx, rear, V::Gather(view.re[0], r.idx, front, zero));
            r.w0i = V::Gather(view.im[1], r.idx, rear, V::Gather(view.im[0], r.idx, front, zero));
        }
        r.zr = V::Add(r.w0r, r.dr);
        r.zi = V::Add(r.w0i, r.di);
        r.m2 = V::Add(V::Mul(r.zr, r.zr), V::Mul(r.zi, r.zi));
        r.k = V::Add(r.k, one);
        steps += __builtin_popcount(s.live);
    }
    return steps;
}

} // namespace deep_lanes
