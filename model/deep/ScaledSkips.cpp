// A wide pixel's skips in plain doubles. Near the reference a wide pixel
// does little but skip, and each skip's twenty-odd products and sums cost a
// dozen instructions each in BlockExp. Here its d, dc and bound are doubles
// times 2^s, one power of two per pixel, z, w, |z|^2 and the table's factors
// doubles as they are, and each operation of the BlockExp loop is the same
// double operation on them, so it rounds as FloatExp does, unless its
// result left the normal doubles: the processor's underflow and overflow
// flags tell, asked before each step is kept, and a raised one ends the
// stretch at the top of that step, which the BlockExp loop takes.
//
// Sums whose operands are of different scales (z = w + d, |z|^2, the
// escape test's margin, the bound's inner sums) are taken as FloatExp takes
// them where the smaller is below 2^-60 of the larger: it is the larger (a
// part of z where w has none is d's, kept at d's scale). Anything else (a
// sum that needs both, a value no double holds at its scale, a step that is
// not a skip, a possible doubt, escape, poll or hand-over) ends the stretch
// at the top of that step, for the BlockExp loop.

#include <bit>
#include <cmath>
#include <cstdint>

#include "model/deep/DeepPixel.h"
#include "model/deep/FloatFlags.h"

namespace deep_pixel {
namespace {

using float_flags::Exponent;

bool Scaled(FloatExp x, int64_t s, double& out) { return float_flags::ScaledDouble(x, s, out); }

bool Scaled(BlockExp x, int64_t s, double& out) { return Scaled(x.Wide(), s, out); }

// x 2^s back in BlockExp.
BlockExp Unscaled(double x, int64_t s) { return BlockExp::Of(FloatExp::Normal(x, s)); }

// FloatExp's sum of a 2^sa and b 2^sb where one is below 2^-60 of the other
// (or zero): the other, at its own scale. False where both count.
bool Larger(double a, int64_t sa, double b, int64_t sb, bool& first)
{
    if (b == 0 || (a != 0 && Exponent(b) + sb < Exponent(a) + sa - 60)) {
        first = true;
        return true;
    }
    if (a == 0 || Exponent(a) + sa < Exponent(b) + sb - 60) {
        first = false;
        return true;
    }
    return false;
}

// The pixel in doubles: d, dc, the bound and |dc| times 2^-s; P times 2^-sp;
// a part of z where w has none is that of d, times 2^-szr or 2^-szi.
struct Pixel {
    double zr, zi, m2, dr, di, err, pr, pi, dcr, dci, dcAbs;
    int64_t s, sp, szr = 0, szi = 0;
};

// A part of z as a double at scale 0, or else at d's.
bool ScaledZ(BlockExp x, int64_t s, double& out, int64_t& scale)
{
    scale = 0;
    if (Scaled(x, 0, out))
        return true;
    scale = s;
    return Scaled(x, s, out);
}

bool ToDoubles(const deep_step::PixelValues<ScalarLaneOf<BlockExp>>& v, Pixel& p)
{
    if (v.dr.m == 0 && v.di.m == 0)
        return false;
    p.s = TopExponent(v.dr, v.di);
    p.sp = v.p.re.m == 0 && v.p.im.m == 0 ? 0 : TopExponent(v.p.re, v.p.im);
    return ScaledZ(v.zr, p.s, p.zr, p.szr) && ScaledZ(v.zi, p.s, p.zi, p.szi) && Scaled(v.m2, 0, p.m2) &&
           (p.szr == 0 || p.szi == 0) && Scaled(v.dr, p.s, p.dr) && Scaled(v.di, p.s, p.di) &&
           Scaled(v.err, p.s, p.err) && Scaled(v.p.re, p.sp, p.pr) && Scaled(v.p.im, p.sp, p.pi) &&
           Scaled(v.dcr, p.s, p.dcr) && Scaled(v.dci, p.s, p.dci) && Scaled(v.dcAbs, p.s, p.dcAbs);
}

void FromDoubles(const Pixel& p, deep_step::PixelValues<ScalarLaneOf<BlockExp>>& v)
{
    v.zr = Unscaled(p.zr, p.szr);
    v.zi = Unscaled(p.zi, p.szi);
    v.m2 = Unscaled(p.m2, 0);
    v.dr = Unscaled(p.dr, p.s);
    v.di = Unscaled(p.di, p.s);
    v.err = Unscaled(p.err, p.s);
    v.p.re = Unscaled(p.pr, p.sp);
    v.p.im = Unscaled(p.pi, p.sp);
}

// w_j's parts as doubles, exactly, or false: from the orbit's doubles where
// the setup has them (NaN where they are not exact).
bool OrbitAt(const Setup<FloatExp>& s, const PixelRun<FloatExp>& r, size_t j, double& wr, double& wi)
{
    const OrbitView<double>& plain = r.orbit == &s.start ? s.startPlain : s.rebasePlain;
    if (plain.re) {
        wr = plain.re[j];
        wi = plain.im[j];
        return wr == wr && wi == wi;
    }
    return Scaled(r.orbit->re[j], 0, wr) && Scaled(r.orbit->im[j], 0, wi);
}

// The table's doubles for the skip e of len steps, or null where doubles
// do not hold it.
const SkipEntry<double>* InDoubles(const SkipTable<FloatExp>& t, const SkipEntry<FloatExp>* e, size_t len)
{
    if (t.inDoubles.empty())
        return nullptr;
    const size_t l = size_t(std::countr_zero(len)) - 1;
    const SkipEntry<double>& d = t.inDoubles[l][size_t(e - t.levels[l].data())];
    return d.r != 0 ? &d : nullptr;
}

// The view's numbers the stretch reads, as doubles.
struct ViewNumbers {
    double radius, radius2;
};

// The single step ContinuePixel takes where no skip is: P <- P z, the
// bound, d <- (2 w + d) d + dc and z = w + d, where every sum across the
// scales keeps its larger operand, which takes w's parts nonzero, here and
// at the next index, and z's parts w's. False, with nothing changed,
// elsewhere. There is no rebase: d is well below z.
bool Single(const Setup<FloatExp>& s, PixelRun<FloatExp>& r, Pixel& p, double magnitude, double dAbs)
{
    double wr, wi, vr, vi;
    if (p.szr != 0 || p.szi != 0 || r.i + 1 >= r.orbit->size || !OrbitAt(s, r, r.i, wr, wi) ||
        !OrbitAt(s, r, r.i + 1, vr, vi) || wr == 0 || wi == 0 || vr == 0 || vi == 0)
        return false;
    // Each sum keeps its first operand.
    const auto first = [&](double a, double b) {
        bool larger = false;
        return Larger(a, 0, b, p.s, larger) && larger;
    };
    const double twice = magnitude + magnitude, tr = wr + wr, ti = wi + wi;
    if (!first(twice, p.err) || !first(tr, p.dr) || !first(ti, p.di))
        return false;
    double nr = tr * p.dr - ti * p.di + p.dcr;
    double ni = tr * p.di + ti * p.dr + p.dci;
    if (!first(vr, nr) || !first(vi, ni))
        return false;
    double pr = p.pr * p.zr - p.pi * p.zi, pi = p.pr * p.zi + p.pi * p.zr;
    double err = twice * p.err + kEps * (twice * dAbs + p.dcAbs), m2 = vr * vr + vi * vi;
    if (float_flags::Pending(pr, pi, err, m2, nr, ni))
        return false;
    p.err = err;
    p.pr = pr;
    p.pi = pi;
    p.dr = nr;
    p.di = ni;
    p.zr = vr;
    p.zi = vi;
    p.m2 = m2;
    ++r.i;
    ++r.k;
    return true;
}

// The skips from the top of step k, as ContinuePixel takes them; returns
// the skips taken. `first` as the loop has it.
QUILLION_OPAQUE int Stretch(const Setup<FloatExp>& s, const ViewNumbers& view, PixelRun<FloatExp>& r, Pixel& p,
                            bool handOff, bool& first)
{
    PixelOut& out = r.out;
    int taken = 0;
    // d grows by |A| a skip, |2 w| a step; its scale follows, exactly (or
    // flagged).
    // False where that would leave the doubles: the stretch ends there.
    const auto rescale = [&] {
        if (!(std::max(std::fabs(p.dr), std::fabs(p.di)) > 0x1p200))
            return true;
        Pixel q = p;
        q.s += 400;
        for (double* x : {&q.dr, &q.di, &q.err, &q.dcr, &q.dci, &q.dcAbs})
            *x *= 0x1p-400;
        if (float_flags::Pending(q.dr, q.di, q.err, q.dcr, q.dci, q.dcAbs))
            return false;
        p = q;
        return true;
    };
    for (;; first = false) {
        const int k = r.k;
        const double magnitude = std::sqrt(p.m2);
        const double d2 = p.dr * p.dr + p.di * p.di; // times 2^-2s
        // The hand-over test: near the reference (d below 2^-400) the lanes
        // do not take a wide pixel on an orbit with skips.
        if (handOff && !first &&
            std::max(p.dr == 0 ? INT64_MIN / 2 : Exponent(p.dr), p.di == 0 ? INT64_MIN / 2 : Exponent(p.di)) + p.s +
                    400 >=
                0)
            return taken;
        // The doubt test, which must not find a doubt here: margin = bound
        // + eps |z| is its larger part, and |z| is clear of the radius.
        const double eMag = deep_thresholds::kEscapeTestEps * magnitude;
        bool errLarger = false;
        if (!(p.err > 0) || !Larger(p.err, p.s, eMag, 0, errLarger) || errLarger ||
            !(std::fabs(magnitude - view.radius) > eMag))
            return taken;
        if (p.m2 > view.radius2 || k >= r.nextPoll || k >= s.maxIterations)
            return taken;
        // d2 < kSkipRatio2 m2, across the scales: by exponents, which differ.
        const double bound = kSkipRatio2 * p.m2;
        if (!(d2 > 0) || !(bound > 0) || !(Exponent(d2) + 2 * p.s < Exponent(bound)))
            return taken;
        size_t len = 0;
        const double dAbs = std::sqrt(d2);
        const SkipEntry<FloatExp>* e =
            FindWideSkip(*r.skips, r.i, FloatExp::Normal(dAbs + p.err, p.s), s.maxIterations - k, len);
        if (!e) {
            // No skip here (an odd step from the table's base, as at a
            // pixel's first, or no room for one, as at its last).
            if (!Single(s, r, p, magnitude, dAbs))
                return taken;
            out.doubtful = r.doubtful;
            out.steps = k + 1;
            ++taken;
            if (!rescale())
                return taken;
            continue;
        }
        const SkipEntry<double>* sd = InDoubles(*r.skips, e, len);
        double wr, wi;
        if (!sd || !OrbitAt(s, r, r.i + len, wr, wi))
            return taken;
        const double ar = sd->ar, ai = sd->ai, br = sd->br, bi = sd->bi, aAbs = sd->aAbs, ed = sd->ed, ec = sd->ec;
        // The bound's inner sums, qa |d| + qb |dc| + ed and qc |dc| + ec: their
        // products' exponents are those of the factors' sum, or one less.
        // Both below 2^-61 of ed: their sum is below 2^-60 of it. The table's
        // largest gaps settle it for every entry at once, nearly always.
        if (ed == 0 || ec == 0)
            return taken;
        const SkipTable<FloatExp>& t = *r.skips;
        const int64_t dTop = Exponent(dAbs) + p.s, dcTop = p.dcAbs == 0 ? t.kNoGap : Exponent(p.dcAbs) + p.s;
        if (!(std::max(dTop + t.gapA, dcTop + t.gapB) + 1 < -61 && dcTop + t.gapC < -60)) {
            const auto product = [&](double q, double x) {
                return q == 0 || x == 0 ? INT64_MIN / 2 : Exponent(q) + Exponent(x) + p.s;
            };
            const int64_t t1 = product(sd->qa, dAbs), t2 = product(sd->qb, p.dcAbs), t3 = product(sd->qc, p.dcAbs);
            if (std::max(t1, t2) + 1 >= Exponent(ed) - 61 || t3 >= Exponent(ec) - 60)
                return taken;
        }
        double err = kSkipSlack * aAbs * p.err + ed * dAbs + ec * p.dcAbs;
        // Each z_j inside is Z_j (1 + 2^-50 at most): the product takes
        // their direction.
        double pr = p.pr * e->ur - p.pi * e->ui, pi = p.pr * e->ui + p.pi * e->ur;
        double nr = ar * p.dr - ai * p.di + br * p.dcr - bi * p.dci;
        double ni = ar * p.di + ai * p.dr + br * p.dci + bi * p.dcr;
        // z = w + d: w where d is below 2^-60 of it, d where w is 0 (on the
        // real axis, or where the orbit crosses it); then |z|^2 the square
        // of w's part, the other's below 2^-60 of it.
        if (wr == 0 && wi == 0)
            return taken;
        bool wLarger = false;
        const bool wrZero = wr == 0, wiZero = wi == 0;
        if (!wrZero && (!Larger(wr, 0, nr, p.s, wLarger) || !wLarger))
            return taken;
        if (!wiZero && (!Larger(wi, 0, ni, p.s, wLarger) || !wLarger))
            return taken;
        double zr = wrZero ? nr : wr, zi = wiZero ? ni : wi;
        const double zr2 = zr * zr, zi2 = zi * zi;
        double m2 = zr2 + zi2;
        bool squareLarger = false;
        if (wrZero && (!Larger(zr2, 2 * p.s, zi2, 0, squareLarger) || squareLarger))
            return taken;
        if (wiZero && (!Larger(zr2, 0, zi2, 2 * p.s, squareLarger) || !squareLarger))
            return taken;
        if (wrZero)
            m2 = zi2;
        if (wiZero)
            m2 = zr2;
        // Every result so far is FloatExp's, or a flag says which is not.
        if (float_flags::Pending(err, pr, pi, nr, ni, m2, zr, zi))
            return taken;
        // The step is taken: what ContinuePixel writes at its top, then the skip.
        out.doubtful = r.doubtful;
        out.steps = k + 1;
        p.err = err;
        p.pr = pr;
        p.pi = pi;
        p.dr = nr;
        p.di = ni;
        r.i += len;
        r.k += int(len);
        out.skipped += int64_t(len);
        p.zr = zr;
        p.zi = zi;
        p.szr = wrZero ? p.s : 0;
        p.szi = wiZero ? p.s : 0;
        p.m2 = m2;
        ++taken;
        if (!rescale())
            return taken;
    }
}

} // namespace

const SkipEntry<FloatExp>* FindWideSkip(const SkipTable<FloatExp>& t, size_t i, FloatExp reach, int64_t room,
                                        size_t& len)
{
    if (t.radii.empty())
        return FindSkip(t, i, reach, room, len);
    // A reach below the doubles at the radii's scale is below every radius
    // they hold but zero, one above them below none.
    double scaled = 0;
    if (!Scaled(reach, t.radiusScale, scaled))
        scaled = reach.e < t.radiusScale ? 0.0 : HUGE_VAL;
    return FindSkipBy(t, i, room, len, [&](size_t l, size_t m) {
        const double radius = t.radii[l][m];
        return radius == radius ? scaled < radius : BelowRadius(reach, t.levels[l][m].r);
    });
}

void ScaledSkips(const Setup<FloatExp>& s, PixelRun<FloatExp>& r, deep_step::PixelValues<ScalarLaneOf<BlockExp>>& v,
                 bool handOff, bool& first)
{
    // What ends a stretch at once, read first: the end or a poll, a
    // difference the lanes may take, or one too near |z| for its bound to
    // round away beside it.
    if (r.k >= s.maxIterations || r.k >= r.nextPoll)
        return;
    if ((v.dr.m == 0 && v.di.m == 0) || v.err.m == 0)
        return;
    if ((handOff && !first && TopExponent(v.dr, v.di) + 400 >= 0) || v.err.Exponent() + 110 > v.m2.Exponent() / 2)
        return;
    ViewNumbers view;
    Pixel p;
    if (!Scaled(s.radius, 0, view.radius) || !Scaled(s.radius2, 0, view.radius2) || !ToDoubles(v, p))
        return;
    // The stretch asks the flags before it keeps each step, and ends at the
    // first step an operation of which left the doubles: the BlockExp loop
    // takes that one.
    const uint32_t saved = float_flags::Clear();
    const int taken = Stretch(s, view, r, p, handOff, first);
    float_flags::Restore(saved);
    if (taken)
        FromDoubles(p, v);
}

} // namespace deep_pixel
