#pragma once
// The lane loop of DeepLanes.h over V::kWidth pixels, for the
// instruction-set files to instantiate with their own vector type V
// (internal linkage each). The step itself is DeepStep.h's; this loop
// hands pixels to and from the scalar side.
//
// V provides: D, kWidth, Set1, Load, Store, Add, Sub, Mul, Sqrt, Abs, Max,
// GtBits, LtBits, GeBits (comparisons as a lane bit mask, false on NaN),
// Blend(bits, a, b) (a in the lanes whose bit is set, else b) and
// Gather(base, index, bits, src) (base[index] in the lanes whose bit is
// set, reading nothing for the others, which keep src).

#include "model/deep/DeepLanes.h"
#include "model/deep/DeepStep.h"

namespace deep_lanes {

// The lanes' state in memory, where the scalar side reads and writes it;
// while no lane needs the scalar side it stays in registers.
template <class V>
struct Lanes {
    static constexpr int N = V::kWidth;
    deep_step::PixelValues<deep_step::LaneMemory<N>> v;
    // idx: the lane's i, w0: its orbit's value at i.
    alignas(64) double k[N], limit[N], idx[N], w0r[N], w0i[N];
    alignas(64) double dzr[N], dzi[N], dzOne[N]; // with the distance
    DeepLanePixel px[N];
    unsigned live = 0, doubt = 0, skips = 0, orbit = 0, scaled = 0;

    void Put(int l, const DeepLanePixel& p, const DeepLaneView& view)
    {
        px[l] = p;
        deep_step::EachValue(v, p.v, [l](auto& lanes, double x) { lanes.at[l] = x; });
        k[l] = p.k;
        limit[l] = p.limit;
        idx[l] = double(p.i);
        w0r[l] = view.re[p.orbit][p.i];
        w0i[l] = view.im[p.orbit][p.i];
        dzr[l] = p.dzr;
        dzi[l] = p.dzi;
        dzOne[l] = p.dzOne;
        const unsigned bit = 1u << l;
        live |= bit;
        doubt = p.doubtful ? doubt | bit : doubt & ~bit;
        skips = view.skips[p.orbit] ? skips | bit : skips & ~bit;
        orbit = p.orbit ? orbit | bit : orbit & ~bit;
        scaled = p.scaled ? scaled | bit : scaled & ~bit;
    }

    DeepLanePixel& Take(int l)
    {
        DeepLanePixel& p = px[l];
        deep_step::EachStepValue(v, p.v, [l](const auto& lanes, double& x) { x = lanes.at[l]; });
        p.k = int(k[l]);
        p.i = size_t(idx[l]);
        p.orbit = int((orbit >> l) & 1);
        p.doubtful = (doubt >> l) & 1;
        p.dzr = dzr[l];
        p.dzi = dzi[l];
        return p;
    }
};

// The vectors a step changes or reads, held in registers between hand-overs;
// the derivative's only with kDistance.
template <class V, bool kDistance>
struct Regs {
    using D = typename V::D;
    deep_step::PixelValues<V> v;
    D k, idx, w0r, w0i;
    D dzr, dzi, dzOne;

    void Load(const Lanes<V>& s)
    {
        deep_step::EachValue(v, s.v, [](D& x, const auto& lanes) { x = V::Load(lanes.at); });
        k = V::Load(s.k);
        idx = V::Load(s.idx);
        w0r = V::Load(s.w0r);
        w0i = V::Load(s.w0i);
        if constexpr (kDistance) {
            dzr = V::Load(s.dzr);
            dzi = V::Load(s.dzi);
            dzOne = V::Load(s.dzOne);
        }
    }
    void Store(Lanes<V>& s) const
    {
        deep_step::EachStepValue(v, s.v, [](const D& x, auto& lanes) { V::Store(lanes.at, x); });
        V::Store(s.k, k);
        V::Store(s.idx, idx);
        V::Store(s.w0r, w0r);
        V::Store(s.w0i, w0i);
        if constexpr (kDistance) {
            V::Store(s.dzr, dzr);
            V::Store(s.dzi, dzi);
        }
    }
    // dz <- 2 z dz (+ 1), as Derivative<double>::Step before its rescale,
    // which the scalar side makes when the lanes hand the pixel back.
    [[gnu::always_inline]] void StepDerivative(D plusOne)
    {
        const D two = V::Set1(2.0);
        const D t = V::Add(V::Mul(two, V::Sub(V::Mul(v.zr, dzr), V::Mul(v.zi, dzi))), plusOne);
        dzi = V::Mul(two, V::Add(V::Mul(v.zr, dzi), V::Mul(v.zi, dzr)));
        dzr = t;
    }
    // The lanes whose derivative a rescale would move (Derivative::InRange).
    unsigned DerivativeOutOfRange() const
    {
        const D top = V::Max(V::Abs(dzr), V::Abs(dzi));
        return V::GtBits(top, V::Set1(0x1p500)) | (V::LtBits(top, V::Set1(0x1p-500)) & V::GtBits(top, V::Set1(0.0)));
    }
};

// Where each lane is on which orbit, as the step of DeepStep.h reads and
// moves it: the index and the orbit's value there in registers, the orbit
// as a lane bit.
template <class V, bool kDistance>
struct LaneOrbit {
    using D = typename V::D;
    Regs<V, kDistance>& r;
    Lanes<V>& s;
    const DeepLaneView& view;
    D size0, size1, first1r, first1i, zero, one;
    bool oneOrbit;

    unsigned RunsOut() const { return V::GeBits(V::Add(r.idx, one), V::Blend(s.orbit, size1, size0)); }
    void Rebase(unsigned bits)
    {
        s.orbit |= bits;
        s.skips = view.skips[1] ? s.skips | bits : s.skips & ~bits;
        r.idx = V::Blend(bits, zero, r.idx);
        r.w0r = V::Blend(bits, first1r, r.w0r);
        r.w0i = V::Blend(bits, first1i, r.w0i);
    }
    void At(D& wr, D& wi) const
    {
        wr = r.w0r;
        wi = r.w0i;
    }
    void Next(D& wr, D& wi)
    {
        r.idx = V::Add(r.idx, one);
        if (oneOrbit) {
            r.w0r = V::Gather(view.re[0], r.idx, s.live, zero);
            r.w0i = V::Gather(view.im[0], r.idx, s.live, zero);
        } else {
            const unsigned front = s.live & ~s.orbit, rear = s.live & s.orbit;
            r.w0r = V::Gather(view.re[1], r.idx, rear, V::Gather(view.re[0], r.idx, front, zero));
            r.w0i = V::Gather(view.im[1], r.idx, rear, V::Gather(view.im[0], r.idx, front, zero));
        }
        At(wr, wi);
    }
};

// Wide pixels in doubles (DeepLaneView::wide): the lanes whose next step
// the doubles might not round as FloatExp does, which go back to the scalar
// loop. FloatExp rounds every operation once, as doubles do, but with no
// limit on the exponent; a double operation differs only where its exact
// result falls below the normal doubles. Sums of doubles never lose a bit
// there; products do, and a double form of a FloatExp smaller than a double
// is not exact either. So the step is taken here only where:
// - |z|^2, |d|^2 and both parts of (2 w + d) d are at least 2^-900: every
//   product in them that lost bits (below 2^-1022) is then lost in the sum
//   as FloatExp loses it (as is a dc that no double holds), and so are the
//   inexact parts of the bound, whose dc term is at least 2^-949;
// - P and z have no part between 0 and 2^-511 and none above 2^440 and 2^50:
//   P z then rounds exactly and needs no rescaling down;
// - no rebase (the scalar loop takes it) and no orbit value that a double
//   does not hold (NaN in the view's orbits fails the tests above).
// A scaled lane's d, dc and bound are 2^s times the FloatExp ones (s > 0),
// while z, w and |z|^2 are not: where they meet, the small side must round
// away, as it then does in FloatExp, smaller still (rounding is monotonic):
// z = w, 2 w + d = 2 w and bound + margin = margin in the doubles. The
// difference step is then linear in d, dc and the bound, the same operations
// on numbers 2^s times larger, so it rounds as FloatExp does. A scaled lane
// on an orbit with skips goes back too, where the scalar loop looks for one.
template <class V>
[[gnu::always_inline]] inline unsigned WideBits(const deep_step::PixelValues<V>& v, typename V::D d2,
                                                typename V::D magnitude, typename V::D wr, typename V::D wi,
                                                unsigned scaled, unsigned skips, unsigned runsOut,
                                                const deep_step::StepView<V>& c)
{
    using D = typename V::D;
    const D least = V::Set1(0x1p-900), tiny = V::Set1(0x1p-511);
    // A part of P or z from which a product may lose bits, or too large.
    const auto factor = [&](D x, double most) {
        const D a = V::Abs(x);
        return (V::GtBits(a, c.zero) & V::LtBits(a, tiny)) | V::GtBits(a, V::Set1(most));
    };
    const D twr = V::Add(wr, wr), twi = V::Add(wi, wi);
    const D tr = V::Add(twr, v.dr), ti = V::Add(twi, v.di);
    const D ar = V::Sub(V::Mul(tr, v.dr), V::Mul(ti, v.di)), ai = V::Add(V::Mul(tr, v.di), V::Mul(ti, v.dr));
    // Comparisons that fail on NaN: ~GeBits.
    unsigned bits = ~V::GeBits(v.m2, least) | ~V::GeBits(d2, least) | ~V::GeBits(V::Abs(ar), least) |
                    ~V::GeBits(V::Abs(ai), least) | V::LtBits(v.m2, d2) | runsOut;
    bits |= factor(v.p.re, 0x1p440) | factor(v.p.im, 0x1p440) | factor(v.zr, 0x1p50) | factor(v.zi, 0x1p50);
    if (scaled) {
        const auto moved = [](D x, D y) { return V::GtBits(x, y) | V::LtBits(x, y); };
        const D margin = V::Mul(c.escapeEps, magnitude);
        bits |= scaled & (skips | V::GtBits(V::Add(v.err, margin), margin) | moved(tr, twr) | moved(ti, twi) |
                          moved(v.zr, wr) | moved(v.zi, wi));
    }
    return bits;
}

template <class V, bool kDistance, bool kWide = false>
int64_t Run(const DeepLaneView& view, DeepLaneFeed& feed)
{
    using D = typename V::D;
    constexpr int N = V::kWidth;
    Lanes<V> s;
    DeepLanePixel p;
    for (int l = 0; l < N && feed.Next(p); ++l)
        s.Put(l, p, view);
    const D radius2 = V::Set1(view.radius2), zero = V::Set1(0.0), one = V::Set1(1.0);
    const deep_step::StepView<V> c = deep_step::StepView<V>::Of(V::Set1(view.radius), V::Set1(view.eps));
    Regs<V, kDistance> r;
    LaneOrbit<V, kDistance> orbit{r,
                       s,
                       view,
                       V::Set1(double(view.size[0])),
                       V::Set1(double(view.size[1])),
                       V::Set1(view.re[1][0]),
                       V::Set1(view.im[1][0]),
                       zero,
                       one,
                       view.re[0] == view.re[1] && view.im[0] == view.im[1]};
    r.Load(s);
    int64_t steps = 0;
    while (s.live) {
        // What the scalar loop must do itself: an escape, a poll or the
        // end, a possible skip, or a z so near 0 that the product would
        // rescale it first.
        const D d2 = V::Add(V::Mul(r.v.dr, r.v.dr), V::Mul(r.v.di, r.v.di));
        unsigned back = deep_step::ScalarBits<V>(r.v, d2, s.skips, radius2) | V::GeBits(r.k, V::Load(s.limit));
        if constexpr (kDistance)
            back |= r.DerivativeOutOfRange();
        if constexpr (kWide)
            back |= WideBits<V>(r.v, d2, V::Sqrt(r.v.m2), r.w0r, r.w0i, s.scaled, s.skips, orbit.RunsOut(), c);
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
        const D magnitude = V::Sqrt(r.v.m2);
        if constexpr (kDistance)
            r.StepDerivative(view.julia ? zero : r.dzOne);
        deep_step::Doubt<V>(r.v, magnitude, s.live, s.doubt, c);
        deep_step::Advance<V>(r.v, magnitude, d2, s.live, s.live, s.doubt, c, orbit, false);
        r.k = V::Add(r.k, one);
        steps += __builtin_popcount(s.live);
    }
    return steps;
}

// The loop the view asks for: wide pixels (which carry no derivative in
// lanes), or double ones with or without the derivative.
template <class V>
int64_t RunView(const DeepLaneView& view, DeepLaneFeed& feed)
{
    if (view.wide)
        return Run<V, false, true>(view, feed);
    return view.distance ? Run<V, true>(view, feed) : Run<V, false>(view, feed);
}

} // namespace deep_lanes
