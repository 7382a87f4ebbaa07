#pragma once
// The second try of DeepLanes.h over V::kWidth doubtful pixels at once, for
// the instruction-set files (and ScalarLane, the scalar loop) to
// instantiate. A lane runs its pixel from start to end; a finished lane
// takes the next pixel. Lanes are independent, so a pixel's end does not
// depend on the width.

#include <cmath>

#include "model/deep/DeepLanes.h"
#include "model/deep/DeepStep.h"
#include "model/deep/DoubleDouble.h"
#include "model/deep/Thresholds.h"
#include "model/kernels/MandelbrotPoint.h"

namespace deep_low {

template <class V>
using DD = DoubleDoubleOf<V>;

// Two vectors of V as one lane type of twice the width. A double-double
// step is a long chain of dependent roundings; two independent chains in
// flight keep the units busy where one would wait on each result.
template <class V>
struct Pair {
    static constexpr int kWidth = 2 * V::kWidth;
    static constexpr int kHalf = V::kWidth;
    struct D {
        typename V::D a, b;
    };
    [[gnu::always_inline]] static D Set1(double v) { return {V::Set1(v), V::Set1(v)}; }
    [[gnu::always_inline]] static D Load(const double* p) { return {V::Load(p), V::Load(p + kHalf)}; }
    [[gnu::always_inline]] static void Store(double* p, D v)
    {
        V::Store(p, v.a);
        V::Store(p + kHalf, v.b);
    }
    [[gnu::always_inline]] static D Add(D x, D y) { return {V::Add(x.a, y.a), V::Add(x.b, y.b)}; }
    [[gnu::always_inline]] static D Sub(D x, D y) { return {V::Sub(x.a, y.a), V::Sub(x.b, y.b)}; }
    [[gnu::always_inline]] static D Mul(D x, D y) { return {V::Mul(x.a, y.a), V::Mul(x.b, y.b)}; }
    [[gnu::always_inline]] static D Neg(D x) { return {V::Neg(x.a), V::Neg(x.b)}; }
    [[gnu::always_inline]] static D Sqrt(D x) { return {V::Sqrt(x.a), V::Sqrt(x.b)}; }
    [[gnu::always_inline]] static D Abs(D x) { return {V::Abs(x.a), V::Abs(x.b)}; }
    [[gnu::always_inline]] static unsigned GtBits(D x, D y)
    {
        return V::GtBits(x.a, y.a) | V::GtBits(x.b, y.b) << kHalf;
    }
    [[gnu::always_inline]] static unsigned LtBits(D x, D y)
    {
        return V::LtBits(x.a, y.a) | V::LtBits(x.b, y.b) << kHalf;
    }
    [[gnu::always_inline]] static unsigned GeBits(D x, D y)
    {
        return V::GeBits(x.a, y.a) | V::GeBits(x.b, y.b) << kHalf;
    }
    [[gnu::always_inline]] static D Blend(unsigned bits, D x, D y)
    {
        return {V::Blend(bits, x.a, y.a), V::Blend(bits >> kHalf, x.b, y.b)};
    }
    [[gnu::always_inline]] static D Gather(const double* base, D index, unsigned bits, D src)
    {
        return {V::Gather(base, index.a, bits, src.a), V::Gather(base, index.b, bits >> kHalf, src.b)};
    }
};

// The values of a pixel that a step changes and the lanes hand back, in one
// order for the pixel, the lanes' memory and the registers.
constexpr int kValues = 12;
template <class S, class F>
void EachValue(S& s, F f)
{
    f(s.dr.hi);
    f(s.dr.lo);
    f(s.di.hi);
    f(s.di.lo);
    f(s.zr.hi);
    f(s.zr.lo);
    f(s.zi.hi);
    f(s.zi.lo);
    f(s.m2);
    f(s.err);
    f(s.pr);
    f(s.pi);
}

// The lanes' state in memory, where pixels come and go.
template <class V>
struct Lanes {
    static constexpr int N = V::kWidth;
    alignas(64) double value[kValues][N] = {};
    alignas(64) double k[N] = {}, idx[N] = {}, dcr[N] = {}, dci[N] = {}, dcAbs[N] = {};
    // The orbit's value at idx, to 106 bits: re, its low part, im, its low part.
    alignas(64) double w[4][N] = {};
    size_t slot[N] = {};
    unsigned live = 0, orbit = 0, fresh = 0;

    void Put(int l, size_t n, const DeepLowPixel& p, const DeepLowView& view)
    {
        int f = 0;
        EachValue(p, [&](double x) { value[f++][l] = x; });
        const double* const* parts[4] = {view.re, view.reLow, view.im, view.imLow};
        for (int c = 0; c < 4; ++c)
            w[c][l] = parts[c][p.orbit][p.i];
        slot[l] = n;
        k[l] = p.k;
        idx[l] = double(p.i);
        dcr[l] = p.dcr;
        dci[l] = p.dci;
        dcAbs[l] = p.dcAbs;
        const unsigned bit = 1u << l;
        live |= bit;
        fresh = p.k < 0 ? fresh | bit : fresh & ~bit;
        orbit = p.orbit ? orbit | bit : orbit & ~bit;
    }

    void Take(int l, DeepLowPixel& p) const
    {
        int f = 0;
        EachValue(p, [&](double& x) { x = value[f++][l]; });
        p.k = int(k[l]);
        p.i = size_t(idx[l]);
        p.orbit = int((orbit >> l) & 1);
    }
};

// The vectors a step changes, in registers between pixels' comings and goings.
template <class V>
struct Regs {
    using D = typename V::D;
    DD<V> dr, di, zr, zi, wr, wi;
    D m2, err, pr, pi, k, idx;

    void Load(const Lanes<V>& s)
    {
        int f = 0;
        EachValue(*this, [&](D& x) { x = V::Load(s.value[f++]); });
        wr = {V::Load(s.w[0]), V::Load(s.w[1])};
        wi = {V::Load(s.w[2]), V::Load(s.w[3])};
        k = V::Load(s.k);
        idx = V::Load(s.idx);
    }
    void Store(Lanes<V>& s) const
    {
        int f = 0;
        EachValue(*this, [&](const D& x) { V::Store(s.value[f++], x); });
        V::Store(s.w[0], wr.hi);
        V::Store(s.w[1], wr.lo);
        V::Store(s.w[2], wi.hi);
        V::Store(s.w[3], wi.lo);
        V::Store(s.k, k);
        V::Store(s.idx, idx);
    }
};

// The orbit's value at each lane's index to 106 bits.
template <class V>
void OrbitAt(const DeepLowView& view, bool oneOrbit, unsigned live, unsigned rear, typename V::D idx, DD<V>& wr,
             DD<V>& wi)
{
    const typename V::D zero = V::Set1(0.0);
    const auto at = [&](const double* const* base) {
        if (oneOrbit)
            return V::Gather(base[0], idx, live, zero);
        return V::Gather(base[1], idx, live & rear, V::Gather(base[0], idx, live & ~rear, zero));
    };
    wr = {at(view.re), at(view.reLow)};
    wi = {at(view.im), at(view.imLow)};
}

template <class V>
bool Run(const DeepLowView& view, DeepLowPixel* pixels, size_t count)
{
    using D = typename V::D;
    using namespace double_double;
    constexpr int N = V::kWidth;
    Lanes<V> s;
    size_t next = 0;
    for (int l = 0; l < N && next < count; ++l, ++next)
        s.Put(l, next, pixels[next], view);
    const D radius2 = V::Set1(view.radius2), radius = V::Set1(view.radius), limit = V::Set1(view.maxIterations);
    const D zero = V::Set1(0.0), one = V::Set1(1.0), epsLow = V::Set1(deep_thresholds::kEpsLow);
    const D escapeEps = V::Set1(deep_thresholds::kEscapeTestEps), unit = V::Set1(view.orbitUnit);
    const D cAbs = V::Set1(view.cAbs);
    const D size0 = V::Set1(double(view.size[0])), size1 = V::Set1(double(view.size[1]));
    const bool oneOrbit = view.re[0] == view.re[1] && view.im[0] == view.im[1];
    const DD<V> firstR{V::Set1(view.re[1][0]), V::Set1(view.reLow[1][0])};
    const DD<V> firstI{V::Set1(view.im[1][0]), V::Set1(view.imLow[1][0])};
    Regs<V> r;
    r.Load(s);
    for (unsigned poll = 0; s.live; ++poll) {
        if ((poll & 0xFFFF) == 0xFFFF && view.stop && view.stop->load(std::memory_order_relaxed))
            return false;
        const D magnitude = V::Sqrt(r.m2);
        D d2 = V::Add(V::Mul(r.dr.hi, r.dr.hi), V::Mul(r.di.hi, r.di.hi));
        const unsigned active = s.live & ~s.fresh;
        // The escape test reads z's doubles: their rounding is margin too.
        const unsigned doubt =
            active & ~V::GtBits(V::Abs(V::Sub(magnitude, radius)), V::Add(r.err, V::Mul(escapeEps, magnitude)));
        const unsigned escaped = active & ~doubt & V::GtBits(r.m2, radius2);
        const unsigned inside = active & ~doubt & ~escaped & V::GeBits(r.k, limit);
        if (const unsigned ended = doubt | escaped | inside) {
            r.Store(s);
            for (int l = 0; l < N; ++l) {
                const unsigned bit = 1u << l;
                if (!(ended & bit))
                    continue;
                DeepLowPixel& p = pixels[s.slot[l]];
                s.Take(l, p);
                p.end = (doubt & bit)     ? DeepLowPixel::End::kDoubtful
                        : (escaped & bit) ? DeepLowPixel::End::kEscaped
                                          : DeepLowPixel::End::kInside;
                if (next < count) {
                    s.Put(l, next, pixels[next], view);
                    ++next;
                } else {
                    s.live &= ~bit;
                }
            }
            r.Load(s);
            continue; // the new lanes start from the top
        }
        // P <- P z, z and P rescaled as ProductDouble does.
        if (active) {
            D zr = r.zr.hi, zi = r.zi.hi;
            if (const unsigned scale = deep_step::NeedsScalingBits<V>(zr, zi) & active)
                deep_step::ScaleLanes<V>(scale, zr, zi);
            const D pr = V::Sub(V::Mul(r.pr, zr), V::Mul(r.pi, zi));
            const D pi = V::Add(V::Mul(r.pr, zi), V::Mul(r.pi, zr));
            r.pr = V::Blend(active, pr, r.pr);
            r.pi = V::Blend(active, pi, r.pi);
            if (const unsigned scale = deep_step::NeedsScalingBits<V>(r.pr, r.pi) & active)
                deep_step::ScaleLanes<V>(scale, r.pr, r.pi);
        }
        // The rebase, when |z| < |d| or the orbit runs out.
        const D size = V::Blend(s.orbit, size1, size0);
        if (const unsigned rebased = (V::LtBits(r.m2, d2) | V::GeBits(V::Add(r.idx, one), size)) & s.live) {
            r.dr = {V::Blend(rebased, r.zr.hi, r.dr.hi), V::Blend(rebased, r.zr.lo, r.dr.lo)};
            r.di = {V::Blend(rebased, r.zi.hi, r.di.hi), V::Blend(rebased, r.zi.lo, r.di.lo)};
            d2 = V::Blend(rebased, r.m2, d2);
            s.orbit |= rebased;
            r.idx = V::Blend(rebased, zero, r.idx);
            r.err = V::Blend(rebased, V::Add(r.err, V::Mul(epsLow, magnitude)), r.err);
            r.wr = {V::Blend(rebased, firstR.hi, r.wr.hi), V::Blend(rebased, firstR.lo, r.wr.lo)};
            r.wi = {V::Blend(rebased, firstI.hi, r.wi.hi), V::Blend(rebased, firstI.lo, r.wi.lo)};
        }
        const DD<V> wr = r.wr, wi = r.wi;
        const D w2 = V::Add(V::Mul(wr.hi, wr.hi), V::Mul(wi.hi, wi.hi));
        const D twice = V::Add(magnitude, magnitude);
        r.err = V::Add(V::Add(V::Mul(V::Add(twice, r.err), r.err),
                              V::Mul(epsLow, V::Add(V::Mul(twice, V::Sqrt(d2)), V::Load(s.dcAbs)))),
                       V::Mul(unit, V::Add(w2, cAbs)));
        // d <- (2 w + d) d + dc.
        // 2 w is exact: twice each part.
        const DD<V> tr = Add<V>({V::Add(wr.hi, wr.hi), V::Add(wr.lo, wr.lo)}, r.dr);
        const DD<V> ti = Add<V>({V::Add(wi.hi, wi.hi), V::Add(wi.lo, wi.lo)}, r.di);
        const DD<V> nr = Add<V>(Sub<V>(Mul<V>(tr, r.dr), Mul<V>(ti, r.di)), DD<V>{V::Load(s.dcr), zero});
        r.di = Add<V>(Add<V>(Mul<V>(tr, r.di), Mul<V>(ti, r.dr)), DD<V>{V::Load(s.dci), zero});
        r.dr = nr;
        r.idx = V::Add(r.idx, one);
        OrbitAt<V>(view, oneOrbit, s.live, s.orbit, r.idx, r.wr, r.wi);
        r.zr = Add<V>(r.wr, r.dr);
        r.zi = Add<V>(r.wi, r.di);
        r.m2 = V::Add(V::Mul(r.zr.hi, r.zr.hi), V::Mul(r.zi.hi, r.zi.hi));
        r.k = V::Add(r.k, one);
        s.fresh = 0;
    }
    return true;
}

} // namespace deep_low
