#pragma once
// One deep pixel stepped in the scalar loop, and what every pass over a
// view shares: the parts of DeepView.cpp that its rows (DeepRows.cpp) and
// its second try (DeepSecondTry.cpp) use too. Internal to model/deep.

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "imaging/ColorMap.h"
#include "model/deep/DeepDerivative.h"
#include "model/deep/DeepStep.h"
#include "model/deep/DeepView.h"
#include "model/deep/FloatExp.h"
#include "model/deep/LinearSkips.h"
#include "model/deep/ReferenceOrbit.h"
#include "model/deep/ScalarLane.h"
#include "model/deep/Thresholds.h"
#include "model/kernels/MandelbrotKernel.h"
#include "model/kernels/MandelbrotPoint.h"
#include "numbers/Mpfr.h"

// Glitches, and why rebasing is the answer here. A pixel's z = w_i + d
// loses its digits when it passes far closer to 0 than the reference does
// (|w_i + d| much smaller than |w_i|, so |d| is about |w_i|): from then on d
// carries the rounding of w_i, not the pixel. Instead of detecting that
// after the fact and iterating such pixels again about a second reference,
// every step here rebases: once |z| < |d|, the pixel continues from index 0
// of an orbit that starts at the critical point 0, with d = z. So |d| <= |z|
// after every step, hence |w_i| <= 2 |z|: the cancellation that makes a
// glitch cannot happen, with one reference for the whole view. The same
// rebase serves when a pixel outlives the reference orbit (the centre
// escaped first). For the Mandelbrot set the orbit of the critical point is
// the reference itself (w_0 = 0, w_1 = centre); a Julia set iterates the
// critical orbit of its constant beside the one at the view's centre.
//
// What rebasing cannot cure is a pixel whose fate hangs on digits no double
// holds: some points near the set's filaments double every rounding many
// hundred times over before they escape. Each pixel therefore carries a
// bound on its accumulated rounding error; when the bound reaches the escape
// test's margin (the test could go either way), the pixel is iterated again
// about a reference orbit of its own, in arbitrary precision, with a zero
// difference. Such pixels are few: their count is reported.

namespace deep_pixel {

using mandelbrot_point::Escaped;
using mandelbrot_point::kInsideValue;

inline double AsDouble(double v) { return v; }
inline double AsDouble(FloatExp v) { return v.ToDouble(); }
inline double AsDouble(BlockExp v) { return v.Wide().ToDouble(); }

// A value in the form To: the wide values are stored as FloatExp (the
// orbits, the tables, the runs between loops) and stepped in the scalar
// loop as BlockExp, which holds the same numbers.
template <class To, class From>
[[gnu::always_inline]] inline To As(From x)
{
    if constexpr (std::is_same_v<To, From>)
        return x;
    else if constexpr (std::is_same_v<To, BlockExp>)
        return BlockExp::Of(x);
    else
        return x.Wide();
}
// An infinite double (the square of a radius past 1.3e154) must stay above
// every norm; FloatExp has no infinity, so it gets an exponent no norm of a
// point that has not escaped reaches.
template <class T>
T FromDouble(double v)
{
    if constexpr (std::is_same_v<T, double>)
        return v;
    else
        return std::isinf(v) ? FloatExp::Normal(v > 0 ? 1 : -1, int64_t(1) << 40) : FloatExp(v);
}

template <class T>
T FromWide(FloatExp v)
{
    if constexpr (std::is_same_v<T, double>)
        return v.ToDouble();
    else
        return v;
}

template <class T>
struct OrbitView {
    const T* re = nullptr;
    const T* im = nullptr;
    size_t size = 0;
};

inline OrbitView<double> View(const ReferenceOrbit& o, double*) { return {o.re.data(), o.im.data(), o.size()}; }

inline OrbitView<FloatExp> View(const ReferenceOrbit& o, FloatExp*)
{
    return {o.reWide.data(), o.imWide.data(), o.size()};
}

// The running product of DeepStep.h, and the direction that is painted.
using ProductDouble = deep_step::ProductOf<ScalarLane>;
using ProductWide = deep_step::ProductOf<ScalarLaneOf<FloatExp>>;

inline void Direction(const ProductDouble& p, double& r, double& i)
{
    r = p.re;
    i = p.im;
}

inline void Direction(const ProductWide& p, double& r, double& i)
{
    const int64_t top = p.re.m == 0 ? p.im.e : p.im.m == 0 ? p.re.e : std::max(p.re.e, p.im.e);
    r = FloatExp::Normal(p.re.m, p.re.e - top).ToDouble();
    i = FloatExp::Normal(p.im.m, p.im.e - top).ToDouble();
}

template <class T>
struct Setup {
    OrbitView<T> start, rebase;
    // Skip tables of the two orbits, or null to step one by one.
    const SkipTable<T>* startSkips = nullptr;
    const SkipTable<T>* rebaseSkips = nullptr;
    size_t startIndex = 0;
    T pixel, radius2, radius, g;
    bool julia = false;
    int width = 0, maxIterations = 0;
    const std::atomic<bool>* stop = nullptr;
    // The pass over the view hands the ordinary steps of double pixels to
    // these lanes, unless scalar, and those of wide ones without the
    // derivative, which the lanes read in doubles: startPlain and
    // rebasePlain are the orbits' doubles, NaN where they are not exact
    // (read by a wide pixel's skips in doubles too).
    KernelIsa isa = KernelIsa::kScalar;
    OrbitView<double> startPlain, rebasePlain;
    // dz/dp carried beside z (DeepJob::distance): it starts at dz0, and the
    // estimate is in pixels of pixelWide.
    bool distance = false;
    FloatExp dz0, pixelWide;
    // Wide pixels stepped in BlockExp (DeepJob::wideInBlocks), their skips
    // near the reference in scaled doubles.
    bool blocks = true;
};

struct PixelOut {
    MandelbrotPixel cell;
    int32_t count = -1;
    bool doubtful = false; // the rounding may have decided the escape test
    int64_t steps = 0, skipped = 0;
    // The distance estimate in pixels, with DeepJob::distance: 0 inside.
    float distance = 0;
};

static_assert(kSkipMaxSteps == (size_t(1) << 21), "DeepJob::skipAllLengths starts at the tables' own limit");

using deep_thresholds::kEps;
using deep_thresholds::kSkipRatio2;

// reach < r, for a reach and a table's radius, which are nonnegative, as
// FloatExp's operator< gives it but by fewer branches.
inline bool BelowRadius(double reach, double r) { return reach < r; }

inline bool BelowRadius(FloatExp reach, FloatExp r)
{
    if (!(reach.m >= 0 && r.m >= 0)) [[unlikely]]
        return reach < r;
    return r.m != 0 && (reach.m == 0 || reach.e < r.e || (reach.e == r.e && reach.m < r.m));
}

// The longest valid skip from index i of the table, or null; `below(l, m)`
// whether the pixel's reach is below the radius of levels[l][m]. A skip
// covers 2^(l+1) steps from an index aligned to that length; its radius
// never exceeds that of the first half, so the valid levels are the first
// of those the table keeps. Past the steps where the table keeps every
// length, the short ones are missing and the search goes on to the longer.
// Skips of kSkipSparseLength steps and more are kept wherever they are
// whole: there the valid levels are a prefix, and the longest is found by
// halving; only without a valid one there are the short ones read.
template <class T, class Below>
const SkipEntry<T>* FindSkipBy(const SkipTable<T>& skips, size_t i, int64_t room, size_t& len, const Below& below)
{
    if (i < skips.base)
        return nullptr;
    const size_t off = i - skips.base;
    // The levels off is aligned to.
    const size_t aligned =
        std::min(skips.levels.size(), off == 0 ? skips.levels.size() : size_t(std::countr_zero(off)));
    const auto valid = [&](size_t l) {
        const size_t m = off >> (l + 1);
        return m < skips.levels[l].size() && int64_t(size_t(2) << l) <= room && below(l, m);
    };
    constexpr size_t kFirstLong = std::countr_zero(kSkipSparseLength) - 1;
    if (aligned > kFirstLong && valid(kFirstLong)) {
        size_t lo = kFirstLong, hi = aligned; // valid(lo); hi == aligned or not valid(hi)
        while (hi - lo > 1) {
            const size_t mid = lo + (hi - lo) / 2;
            (valid(mid) ? lo : hi) = mid;
        }
        len = size_t(2) << lo;
        return &skips.levels[lo][off >> (lo + 1)];
    }
    const SkipEntry<T>* best = nullptr;
    for (size_t l = 0; l < std::min(aligned, kFirstLong); ++l) {
        const size_t m = off >> (l + 1), n = size_t(2) << l;
        if (m >= skips.levels[l].size() && int64_t(n) <= room && off + n <= skips.steps)
            continue;
        if (!valid(l))
            break;
        best = &skips.levels[l][m];
        len = n;
    }
    return best;
}

// The longest skip valid for a pixel whose |d| plus its bound is `reach`.
template <class T>
const SkipEntry<T>* FindSkip(const SkipTable<T>& skips, size_t i, T reach, int64_t room, size_t& len)
{
    return FindSkipBy(skips, i, room, len,
                      [&](size_t l, size_t m) { return BelowRadius(reach, skips.levels[l][m].r); });
}

// FindSkip's skip in a wide table with its radii in doubles, the reach
// compared with those (ScaledSkips.cpp).
const SkipEntry<FloatExp>* FindWideSkip(const SkipTable<FloatExp>& t, size_t i, FloatExp reach, int64_t room,
                                        size_t& len);

// A pixel's whole state at the top of a step, from which the loop below
// goes on: its values in the one form of DeepStep.h, which the lanes of
// DeepLanes.h take over and give back there, and where it is on its orbit.
template <class T>
struct PixelRun : deep_step::PixelAt<ScalarLaneOf<T>> {
    const OrbitView<T>* orbit = nullptr;
    const SkipTable<T>* skips = nullptr;
    PixelOut out;
    int nextPoll = 0xFFFF;
    // dz/dp, with Setup::distance.
    Derivative<T> dz;
};

// Where a pixel of the scalar loop is on its orbit, as the step of
// DeepStep.h reads and moves it.
// C is the form the loop computes in.
template <class T, class C = T>
struct RunOrbit {
    const Setup<T>& s;
    PixelRun<T>& r;
    unsigned RunsOut() const { return r.i + 1 >= r.orbit->size; }
    void Rebase(unsigned)
    {
        r.orbit = &s.rebase;
        r.skips = s.rebaseSkips;
        r.i = 0;
    }
    void At(C& wr, C& wi) const
    {
        wr = As<C>(r.orbit->re[r.i]);
        wi = As<C>(r.orbit->im[r.i]);
    }
    void Next(C& wr, C& wi)
    {
        ++r.i;
        At(wr, wi);
    }
};

// One pixel, the point loop's steps on z = w_i + d: P <- z_0, then
// z_(k+1) = z_k^2 + c until |z|^2 > radius2 or k reaches the limit.
template <class T>
PixelRun<T> StartPixel(const Setup<T>& s, T dr, T di, T dcr, T dci)
{
    PixelRun<T> r;
    deep_step::PixelValues<ScalarLaneOf<T>>& v = r.v;
    v.dcr = dcr;
    v.dci = dci;
    v.dcAbs = Sqrt(dcr * dcr + dci * dci);
    r.orbit = &s.start;
    r.skips = s.startSkips;
    r.i = s.startIndex;
    v.dr = dr;
    v.di = di;
    v.zr = r.orbit->re[r.i] + dr;
    v.zi = r.orbit->im[r.i] + di;
    v.m2 = v.zr * v.zr + v.zi * v.zi;
    // The bound on z's rounding starts with that of the difference.
    v.err = T(kEps) * Sqrt(dr * dr + di * di);
    v.p = {v.zr, v.zi};
    r.dz.Start(s.dz0);
    return r;
}

inline FloatExp Wide(double v) { return FloatExp(v); }
inline FloatExp Wide(FloatExp v) { return v; }

// Whether a wide pixel's values go into doubles exactly, and the power of
// two 2^scale (scale <= 0) that its d, dc and bound are then taken in:
// one that puts the larger part of d near 2^-400, or 1 where d is larger,
// so that the scaled d stays far below w (DeepLaneLoop.h, WideBits). The
// lanes' P lacks P's common power of two, which only its direction, the
// painted part, does not depend on.
inline bool WideInDoubles(const deep_step::PixelValues<ScalarLaneOf<FloatExp>>& v, bool skips, int64_t& scale)
{
    if (v.dr.m == 0 && v.di.m == 0)
        return false;
    const int64_t top = v.dr.m == 0 ? v.di.e : v.di.m == 0 ? v.dr.e : std::max(v.dr.e, v.di.e);
    scale = std::min<int64_t>(0, top + 400);
    // A scaled pixel is near the reference, where a skip may be taken.
    if (scale < 0 && skips)
        return false;
    const auto exact = [](FloatExp x, int64_t by) { return x.m == 0 || (x.e - by >= -1021 && x.e - by <= 1023); };
    const int64_t pTop = v.p.re.m == 0 ? v.p.im.e : v.p.im.m == 0 ? v.p.re.e : std::max(v.p.re.e, v.p.im.e);
    return exact(v.dr, scale) && exact(v.di, scale) && exact(v.err, scale) && exact(v.zr, 0) && exact(v.zi, 0) &&
           exact(v.m2, 0) && exact(v.p.re, pTop) && exact(v.p.im, pTop);
}

// Whether the lanes can take the step the pixel is at as the loop would:
// no escape, poll, end, possible skip or rescaling of a tiny z in it.
// With kDistance, also no rescaling of the derivative; a wide pixel goes
// only without it, and where its values go into doubles.
template <class T, bool kDistance>
bool LanesCanStep(const Setup<T>& s, const PixelRun<T>& r, const deep_step::PixelValues<ScalarLaneOf<T>>& v, T d2)
{
    if constexpr (std::is_same_v<T, double>) {
        if constexpr (kDistance)
            if (!Derivative<double>::InRange(r.dz.re, r.dz.im))
                return false;
        return r.k < r.nextPoll && r.k < s.maxIterations &&
               !deep_step::ScalarBits<ScalarLane>(v, d2, r.skips != nullptr, s.radius2);
    } else {
        // WideInDoubles first: near the reference, where a wide pixel
        // spends its skips, it fails on the first exponent it reads.
        int64_t scale = 0;
        return !kDistance && r.k < r.nextPoll && r.k < s.maxIterations && WideInDoubles(v, r.skips != nullptr, scale) &&
               !deep_step::ScalarBits<ScalarLaneOf<FloatExp>>(v, d2, r.skips != nullptr, s.radius2);
    }
}

// A pixel's values in another form.
template <class To, class From>
deep_step::PixelValues<ScalarLaneOf<To>> ValuesAs(deep_step::PixelValues<ScalarLaneOf<From>> v)
{
    deep_step::PixelValues<ScalarLaneOf<To>> r;
    deep_step::EachValue(r, v, [](To& a, From b) { a = As<To>(b); });
    return r;
}

// LanesCanStep for the values of a wide pixel in BlockExp: near the
// reference it fails, as WideInDoubles does, on d's exponent; elsewhere
// (the pixel about to leave the loop) the FloatExp test decides.
template <bool kDistance>
bool BlockLanesCanStep(const Setup<FloatExp>& s, const PixelRun<FloatExp>& r,
                       const deep_step::PixelValues<ScalarLaneOf<BlockExp>>& v, BlockExp d2)
{
    if (kDistance || r.k >= r.nextPoll || r.k >= s.maxIterations || (v.dr.m == 0 && v.di.m == 0))
        return false;
    if (TopExponent(v.dr, v.di) + 400 < 0 && r.skips)
        return false;
    return LanesCanStep<FloatExp, kDistance>(s, r, ValuesAs<FloatExp>(v), d2.Wide());
}

inline void Direction(const deep_step::ProductOf<ScalarLaneOf<BlockExp>>& p, double& r, double& i)
{
    Direction(ProductWide{p.re.Wide(), p.im.Wide()}, r, i);
}

// From the top of step r.k, the skips that follow one another, in plain
// doubles where they give BlockExp's bits (ScaledSkips.cpp): r and v at
// the top of the first step it does not take, `first` false once one is.
void ScaledSkips(const Setup<FloatExp>& s, PixelRun<FloatExp>& r, deep_step::PixelValues<ScalarLaneOf<BlockExp>>& v,
                 bool handOff, bool& first);

// Steps the pixel until it ends (true, `out` written) or, with `handOff`,
// until a later step the lanes can take (false, at the top of that step).
// The ordinary step is DeepStep.h's; this loop adds the escape, the polls
// of the stop flag, the end and the skips.
//
// With kDistance the derivative is carried too, and the cell's estimate
// made at the escape.
//
// A wide pixel without the derivative is stepped in BlockExp (C), which
// gives FloatExp's bits at a fraction of its cost; its values are read and
// written back in FloatExp.
template <class T, bool kDistance = false, class C = T>
bool ContinuePixel(const Setup<T>& s, PixelRun<T>& r, bool handOff)
{
    if constexpr (std::is_same_v<T, FloatExp> && std::is_same_v<C, FloatExp> && !kDistance) {
        // A NaN, which no view gives, would not be followed as FloatExp
        // follows it.
        bool nan = false;
        deep_step::EachValue(r.v, r.v, [&](FloatExp a, FloatExp) { nan |= a.m != a.m; });
        if (s.blocks && !nan)
            return ContinuePixel<FloatExp, false, BlockExp>(s, r, handOff);
    }
    static_assert(std::is_same_v<C, T> || !kDistance, "the derivative is carried in the stored form");
    using V = ScalarLaneOf<C>;
    const deep_step::StepView<V> c = deep_step::StepView<V>::Of(As<C>(s.radius), C(kEps));
    const C radius2 = As<C>(s.radius2);
    // The values stay in registers while the loop runs, and go back to r
    // when it leaves.
    deep_step::PixelValues<V> v = ValuesAs<C, T>(r.v);
    const auto leave = [&] { r.v = ValuesAs<T, C>(v); };
    RunOrbit<T, C> orbit{s, r};
    PixelOut& out = r.out;
    int& k = r.k;
    for (bool first = true;; ++k, first = false) {
        if constexpr (std::is_same_v<C, BlockExp>)
            if (k >= 0 && r.skips && !r.doubtful)
                ScaledSkips(s, r, v, handOff, first);
        const C magnitude = Sqrt(v.m2);
        const C d2 = v.dr * v.dr + v.di * v.di;
        unsigned doubt = r.doubtful;
        if (k >= 0) {
            bool lanes = false;
            if (handOff && !first) {
                if constexpr (std::is_same_v<C, BlockExp>)
                    lanes = BlockLanesCanStep<kDistance>(s, r, v, d2);
                else
                    lanes = LanesCanStep<T, kDistance>(s, r, v, d2);
            }
            if (lanes) {
                leave();
                return false;
            }
            deep_step::Doubt(v, magnitude, 1, doubt, c);
            r.doubtful = doubt;
            out.doubtful = r.doubtful;
            out.steps = k + 1;
            if (v.m2 > radius2) {
                double pr = 0, pi = 0;
                Direction(v.p, pr, pi);
                out.cell = Escaped(pr, pi, AsDouble(v.zr), AsDouble(v.zi), AsDouble(v.m2));
                out.count = k + 1;
                if constexpr (kDistance)
                    out.distance = PixelDistance(Wide(v.m2), r.dz.Re(), r.dz.Im(), s.pixelWide);
                leave();
                return true;
            }
            bool stopped = false;
            if (k >= r.nextPoll) {
                r.nextPoll = k + 0x10000;
                stopped = s.stop && s.stop->load(std::memory_order_relaxed);
            }
            if (k >= s.maxIterations || stopped) {
                out.cell.value = kInsideValue;
                out.cell.stopped = stopped;
                leave();
                return true;
            }
            // A skip needs no escape or rebase test inside it: its radius
            // keeps every exact d_j below 2^-50 |Z_j| (|d| + err bounds the
            // exact difference), and every Z_j inside it within half the
            // escape radius, so no exact z_j inside escapes, none comes
            // near the radius, and none comes near 0 (|z_j| > |d_j|).
            // Past kSkipRatio2 |d| is beyond every skip's radius from i:
            // the table is not read for the pixels that have left the
            // reference.
            size_t len = 0;
            const SkipEntry<T>* e =
                r.skips && d2 < C(kSkipRatio2) * v.m2
                    ? FindSkip(*r.skips, r.i, As<T>(Sqrt(d2) + v.err), int64_t(s.maxIterations) - k, len)
                    : nullptr;
            if (e) {
                const C dAbs = Sqrt(d2);
                const C ar = As<C>(e->ar), ai = As<C>(e->ai), br = As<C>(e->br), bi = As<C>(e->bi);
                if (!r.doubtful)
                    v.err = C(kSkipSlack) * As<C>(e->aAbs) * v.err +
                            (As<C>(e->qa) * dAbs + As<C>(e->qb) * v.dcAbs + As<C>(e->ed)) * dAbs +
                            (As<C>(e->qc) * v.dcAbs + As<C>(e->ec)) * v.dcAbs;
                // Each z_j inside is Z_j (1 + 2^-50 at most): the product
                // takes their direction.
                v.p.Times(C(e->ur), C(e->ui), 1);
                // The skip is linear in (d, dc): its derivative is A dz + B.
                if constexpr (kDistance)
                    r.dz.Skip(e->ar, e->ai, e->br, e->bi);
                const C nr = ar * v.dr - ai * v.di + br * v.dcr - bi * v.dci;
                v.di = ar * v.di + ai * v.dr + br * v.dci + bi * v.dcr;
                v.dr = nr;
                r.i += len;
                k += int(len) - 1;
                out.skipped += int64_t(len);
                v.zr = As<C>(r.orbit->re[r.i]) + v.dr;
                v.zi = As<C>(r.orbit->im[r.i]) + v.di;
                v.m2 = v.zr * v.zr + v.zi * v.zi;
                continue;
            }
        }
        if constexpr (kDistance)
            r.dz.Step(v.zr, v.zi, !s.julia);
        deep_step::Advance(v, magnitude, d2, 1, k >= 0, doubt, c, orbit, true);
    }
}

template <class T, bool kDistance = false>
PixelOut IteratePixel(const Setup<T>& s, T dr, T di, T dcr, T dci)
{
    PixelRun<T> r = StartPixel<T>(s, dr, di, dcr, dci);
    ContinuePixel<T, kDistance>(s, r, false);
    return r.out;
}

// The pixel in the scalar loop, with its distance when the view asks.
template <class T>
PixelOut IteratePixelOf(const Setup<T>& s, T dr, T di, T dcr, T dci)
{
    return s.distance ? IteratePixel<T, true>(s, dr, di, dcr, dci) : IteratePixel<T, false>(s, dr, di, dcr, dci);
}

// The offset of pixel index `index` of a side of `size` pixels from the
// centre, in the form the differences take.
template <class T>
T Offset(int index, int size, T pixel)
{
    return T(double(index - size / 2)) * pixel;
}

// `distance`: the estimate goes into the cell's step too.
inline void Store(const PixelOut& o, PixelRecord& cell, int32_t* count, bool distance)
{
    if (distance)
        cell.step = o.distance;
    cell.nx = o.cell.re;
    cell.ny = o.cell.im;
    cell.value = o.cell.value;
    // The escape count, as the double views keep it: 0 for an inside point.
    cell.state = o.cell.value < kInsideValue && o.count > 0 ? o.count : 0;
    if (count)
        *count = o.count;
}

// What every pass over the view shares.
struct Scene {
    const DeepJob& job;
    const MpfrReal& x; // the centre as read
    const MpfrReal& y;
    long bits;
    bool wide;
    size_t length;
    const ReferenceOrbit& center;
    size_t startIndex;
    const ReferenceOrbit& rebase;
};

template <class T>
Setup<T> MakeSetup(const Scene& scene, const ReferenceOrbit& start, size_t startIndex)
{
    const DeepJob& job = scene.job;
    Setup<T> s;
    s.start = View(start, static_cast<T*>(nullptr));
    s.rebase = View(scene.rebase, static_cast<T*>(nullptr));
    s.startIndex = startIndex;
    s.pixel = FromWide<T>(job.pixelSize);
    s.radius2 = FromDouble<T>(job.radius2);
    s.radius = FromDouble<T>(std::sqrt(job.radius2));
    s.g = T(job.g);
    s.julia = job.julia;
    s.width = job.width;
    s.maxIterations = job.maxIterations;
    s.stop = job.stop;
    s.distance = job.distance;
    s.dz0 = FloatExp(job.julia ? 1 / job.g : 1.0);
    s.pixelWide = job.pixelSize;
    s.blocks = job.wideInBlocks;
    return s;
}

} // namespace deep_pixel
