#pragma once
// The first pass's ordinary step, written once over a lane type V (what V
// provides: DeepLaneLoop.h), one pixel per lane. The scalar loop of
// DeepPixel.h takes it with ScalarLaneOf<T>, the lanes with their vector
// type: both perform the same operations in the same order, so a pixel's
// bits do not depend on which code stepped it. Internal to model/deep.

#include <cstddef>
#include <type_traits>

#include "model/deep/BlockExp.h"
#include "model/deep/FloatExp.h"
#include "model/deep/ScalarLane.h"
#include "model/deep/Thresholds.h"
#include "model/kernels/MandelbrotPoint.h"

namespace deep_step {

// NeedsScaling of MandelbrotPoint.h, lane by lane.
template <class V>
[[gnu::always_inline]] inline unsigned NeedsScalingBits(typename V::D re, typename V::D im)
{
    const typename V::D a = V::Abs(re), b = V::Abs(im), big = V::Set1(0x1p500), small = V::Set1(0x1p-500);
    return V::GtBits(a, big) | V::GtBits(b, big) | (V::LtBits(a, small) & V::LtBits(b, small));
}

// mandelbrot_point::Scale on the lanes of (re, im) marked in `bits`.
template <class V>
[[gnu::always_inline]] inline void ScaleLanes(unsigned bits, typename V::D& re, typename V::D& im)
{
    alignas(64) double r[V::kWidth], i[V::kWidth];
    V::Store(r, re);
    V::Store(i, im);
    for (int l = 0; l < V::kWidth; ++l)
        if ((bits >> l) & 1)
            mandelbrot_point::Scale(r[l], i[l]);
    re = V::Load(r);
    im = V::Load(i);
}

// The running product P = z_0 z_1 ... z_(m-1): only its direction is
// painted. In doubles it is rescaled by powers of two as the point loop
// does; a FloatExp's or BlockExp's exponent is free.
template <class V>
struct ProductOf {
    using D = typename V::D;
    static constexpr bool kScaled = !std::is_same_v<D, FloatExp> && !std::is_same_v<D, BlockExp>;
    D re, im;

    // P <- P z in the lanes of `live`; `tinyZ` unless z is known not to
    // need rescaling.
    [[gnu::always_inline]] void Times(D zr, D zi, unsigned live, bool tinyZ = true)
    {
        // A deep pixel's z can pass far nearer 0 than a double point's ever
        // does; the product, kept near 1, would then sink among the
        // subnormals. Only z's direction matters to it.
        if constexpr (kScaled)
            if (const unsigned tiny = tinyZ ? NeedsScalingBits<V>(zr, zi) & live : 0)
                ScaleLanes<V>(tiny, zr, zi);
        const D t = V::Sub(V::Mul(re, zr), V::Mul(im, zi));
        im = V::Add(V::Mul(re, zi), V::Mul(im, zr));
        re = t;
        if constexpr (kScaled)
            if (const unsigned far = NeedsScalingBits<V>(re, im) & live)
                ScaleLanes<V>(far, re, im);
    }
};

// A pixel's values, the one model of its state wherever it is held: in
// the scalar loop (V = ScalarLaneOf<T>), handed to the lanes (ScalarLane),
// in the lanes' memory (LaneMemory) and in their registers (the vector
// type). z = w_i + d, m2 = |z|^2, err the bound on z's rounding, p the
// product, dc the pixel's offset and |dc|. Where the pixel is on its orbit
// (the index, the step, which orbit, the doubt) has a different form in
// scalar code and in lanes, and is kept beside these.
template <class V>
struct PixelValues {
    using D = typename V::D;
    D zr, zi, m2, dr, di, err;
    ProductOf<V> p;
    D dcr, dci, dcAbs;
};

// A pixel at the top of step k, at index i of its orbit: what the scalar
// run and the lanes hand each other, one assignment of this part either way
// (each names the orbit itself in its own way).
template <class V>
struct PixelAt {
    size_t i = 0;
    int k = -1;
    bool doubtful = false; // the rounding may decide the escape test
    PixelValues<V> v{};
};

// Applies f to each pair of corresponding values of a and b that a step
// changes (dc, the pixel's own, is not among them)...
template <class A, class B, class F>
void EachStepValue(A& a, B& b, F f)
{
    f(a.zr, b.zr);
    f(a.zi, b.zi);
    f(a.m2, b.m2);
    f(a.dr, b.dr);
    f(a.di, b.di);
    f(a.err, b.err);
    f(a.p.re, b.p.re);
    f(a.p.im, b.p.im);
}

// ... and to every pair.
template <class A, class B, class F>
void EachValue(A& a, B& b, F f)
{
    EachStepValue(a, b, f);
    f(a.dcr, b.dcr);
    f(a.dci, b.dci);
    f(a.dcAbs, b.dcAbs);
}

// The form of N lanes' values in memory, as PixelValues<LaneMemory<N>>.
template <int N>
struct LaneMemory {
    struct D {
        alignas(64) double at[N];
    };
};

// The view's constants a step reads.
template <class V>
struct StepView {
    using D = typename V::D;
    D radius, eps, escapeEps, zero;

    static StepView Of(D radius, D eps)
    {
        return {radius, eps, V::Set1(deep_thresholds::kEscapeTestEps), V::Set1(0.0)};
    }
};

// What the lanes leave to the scalar loop, apart from the step count's own
// limits: an escape, a possible skip (on an orbit with a table, the lanes of
// `skips`), or a z so near 0 that the product would rescale it first.
template <class V>
[[gnu::always_inline]] inline unsigned ScalarBits(const PixelValues<V>& v, typename V::D d2, unsigned skips,
                                                  typename V::D radius2)
{
    return V::GtBits(v.m2, radius2) | NeedsScalingBits<V>(v.zr, v.zi) |
           (skips & V::LtBits(d2, V::Mul(V::Set1(deep_thresholds::kSkipRatio2), v.m2)));
}

// The top of a step, in the lanes of `test`: once the bound reaches the
// escape test's margin (the test could go either way) the pixel is in
// doubt. It still runs to its end, as its own result stands when no orbit
// of its own can be afforded; its bound, of no more use, is dropped before
// it passes any exponent. The escape test reads z's doubles: their rounding
// is margin too.
template <class V>
[[gnu::always_inline]] inline void Doubt(PixelValues<V>& v, typename V::D magnitude, unsigned test, unsigned& doubt,
                                         const StepView<V>& c)
{
    const typename V::D margin = V::Add(v.err, V::Mul(c.escapeEps, magnitude));
    doubt |= ~doubt & test & V::GtBits(v.err, c.zero) & ~V::GtBits(V::Abs(V::Sub(magnitude, c.radius)), margin);
    // A branch, not a select: the bound's chain from step to step must not
    // wait on this test.
    if (doubt) [[unlikely]]
        v.err = V::Blend(doubt, c.zero, v.err);
}

// The rest of the step, after the scalar loop's own tests: P <- P z in the
// lanes of `product`, the rebase, the bound, d <- (2 w + d) d + dc and the
// new z, |z|^2. `orbit` holds where each lane is on which orbit:
// RunsOut() the lanes at the orbit's end, Rebase(bits) to index 0 of the
// rebase orbit, At(wr, wi) the orbit's value at the index, Next(wr, wi) the
// index + 1 and the value there. `tinyZ` unless the caller has handed the
// lanes whose z would need rescaling elsewhere.
template <class V, class Orbit>
[[gnu::always_inline]] inline void Advance(PixelValues<V>& v, typename V::D magnitude, typename V::D d2, unsigned live,
                                           unsigned product, unsigned doubt, const StepView<V>& c, Orbit& orbit,
                                           bool tinyZ)
{
    using D = typename V::D;
    if (product)
        v.p.Times(v.zr, v.zi, product, tinyZ);
    // The rebase of DeepPixel.h, when |z| < |d| or the orbit runs out.
    if (const unsigned rebased = (V::LtBits(v.m2, d2) | orbit.RunsOut()) & live) {
        orbit.Rebase(rebased);
        v.dr = V::Blend(rebased, v.zr, v.dr);
        v.di = V::Blend(rebased, v.zi, v.di);
        d2 = V::Blend(rebased, v.m2, d2);
        // The rounding of w_i + d.
        const D rounded = V::Add(v.err, V::Mul(c.eps, magnitude));
        if (doubt) [[unlikely]]
            v.err = V::Blend(rebased & ~doubt, rounded, v.err);
        else
            v.err = V::Blend(rebased, rounded, v.err);
    }
    // err bounds |computed z - exact z| to first order: each step doubles
    // it by |z| and adds the step's own roundings, which are relative to
    // the difference d, not to z, as long as d is the smaller.
    const D twice = V::Add(magnitude, magnitude);
    const D grown =
        V::Add(V::Mul(V::Add(twice, v.err), v.err), V::Mul(c.eps, V::Add(V::Mul(twice, V::Sqrt(d2)), v.dcAbs)));
    if (doubt) [[unlikely]]
        v.err = V::Blend(~doubt, grown, v.err);
    else
        v.err = grown;
    // d <- (2 w + d) d + dc.
    D wr, wi;
    orbit.At(wr, wi);
    const D tr = V::Add(V::Add(wr, wr), v.dr);
    const D ti = V::Add(V::Add(wi, wi), v.di);
    const D nr = V::Add(V::Sub(V::Mul(tr, v.dr), V::Mul(ti, v.di)), v.dcr);
    v.di = V::Add(V::Add(V::Mul(tr, v.di), V::Mul(ti, v.dr)), v.dci);
    v.dr = nr;
    orbit.Next(wr, wi);
    v.zr = V::Add(wr, v.dr);
    v.zi = V::Add(wi, v.di);
    v.m2 = V::Add(V::Mul(v.zr, v.zr), V::Mul(v.zi, v.zi));
}

} // namespace deep_step
