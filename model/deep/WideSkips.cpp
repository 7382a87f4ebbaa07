// The wide skip table's entries in doubles. A FloatExp operation rounds as
// the double one does wherever the double's exact result, rounded to 53
// bits with no limit on the exponent, is a normal double, and also where
// that result is exactly a smaller one; it differs only where the rounding
// leaves the doubles' range below (the processor's underflow flag: tiny and
// inexact) or above (overflow). So an entry computed in doubles from inputs
// that doubles hold exactly, with neither flag raised, nor an invalid
// operation, has the FloatExp entry's bits, and costs a fraction of it.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "model/deep/FloatFlags.h"
#include "model/deep/LinearSkips.h"

namespace linear_skips {
namespace {

bool Exact(FloatExp x, double& v) { return float_flags::ScaledDouble(x, 0, v); }

bool Exact(const SkipEntry<FloatExp>& w, SkipEntry<double>& d)
{
    d.ur = w.ur;
    d.ui = w.ui;
    d.r = 0; // not read by the linear parts
    return Exact(w.ar, d.ar) && Exact(w.ai, d.ai) && Exact(w.br, d.br) && Exact(w.bi, d.bi) && Exact(w.aAbs, d.aAbs) &&
           Exact(w.bAbs, d.bAbs) && Exact(w.qa, d.qa) && Exact(w.qb, d.qb) && Exact(w.qc, d.qc) && Exact(w.ed, d.ed) &&
           Exact(w.ec, d.ec);
}

// Whether `v` is what Exact gives for Wide(v): zero or a normal double.
[[gnu::always_inline]] inline bool Held(double v)
{
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    return ((bits >> 52) & 0x7FF) - 1 < 0x7FE || (bits << 1) == 0;
}

// The FloatExp of a zero or normal double, split by its bits without a
// branch.
[[gnu::always_inline]] inline FloatExp Split(double v)
{
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    const bool zero = (bits << 1) == 0;
    FloatExp r;
    r.m = std::bit_cast<double>(zero ? 0 : (bits & ~(uint64_t(0x7FF) << 52)) | (uint64_t(1022) << 52));
    r.e = zero ? 0 : int64_t((bits >> 52) & 0x7FF) - 1022;
    return r;
}

// A result that raised no flag: a normal double, or zero, or (rarely) an
// exact smaller one.
FloatExp Wide(double v) { return Held(v) ? Split(v) : FloatExp::Normal(v, 0); }

// The FloatExp entry of `d`, whose radius is the caller's; `d` is marked
// valid (r 1, else 0) where Exact would give every part back from it, the
// one invariant SkipTable::inDoubles keeps.
SkipEntry<FloatExp> WideOf(SkipEntry<double>& d)
{
    const bool held = Held(d.ar) && Held(d.ai) && Held(d.br) && Held(d.bi) && Held(d.aAbs) && Held(d.bAbs) &&
                      Held(d.qa) && Held(d.qb) && Held(d.qc) && Held(d.ed) && Held(d.ec);
    d.r = held ? 1 : 0;
    if (held)
        return {Split(d.ar), Split(d.ai), Split(d.br), Split(d.bi), FloatExp(),  Split(d.aAbs), Split(d.bAbs),
                Split(d.qa), Split(d.qb), Split(d.qc), Split(d.ed), Split(d.ec), d.ur,          d.ui};
    return {Wide(d.ar), Wide(d.ai), Wide(d.br), Wide(d.bi), FloatExp(), Wide(d.aAbs), Wide(d.bAbs),
            Wide(d.qa), Wide(d.qb), Wide(d.qc), Wide(d.ed), Wide(d.ec), d.ur,         d.ui};
}

// `n` skips at once: from the steps at z (re, im pairs) into `steps` when
// there are no halves, else from halves[2m] and halves[2m + 1].
QUILLION_OPAQUE void RunInDoubles(const double* z, const SkipEntry<double>* halves, size_t n, bool julia, double eps,
                                  SkipEntry<double>* steps, SkipEntry<double>* out)
{
    for (size_t m = 0; m < n; ++m) {
        if (halves) {
            out[m] = MergeLinear(halves[2 * m], halves[2 * m + 1], eps);
            continue;
        }
        steps[2 * m] = Step(z[4 * m], z[4 * m + 1], julia, eps);
        steps[2 * m + 1] = Step(z[4 * m + 2], z[4 * m + 3], julia, eps);
        out[m] = MergeLinear(steps[2 * m], steps[2 * m + 1], eps);
    }
}

QUILLION_OPAQUE void StepInDoubles(const double* z, bool julia, SkipEntry<double>& out)
{
    out = Step(z[0], z[1], julia, z[2]);
}

QUILLION_OPAQUE void MergeInDoubles(const SkipEntry<double>& a, const SkipEntry<double>& b, double eps,
                                    SkipEntry<double>& out)
{
    out = MergeLinear(a, b, eps);
}

} // namespace

bool WideStepInDoubles(FloatExp zr, FloatExp zi, bool julia, FloatExp eps, SkipEntry<FloatExp>& out,
                       SkipEntry<double>& d)
{
    double z[3];
    if (!(Exact(zr, z[0]) && Exact(zi, z[1]) && Exact(eps, z[2])))
        return false;
    const uint32_t saved = float_flags::Clear();
    StepInDoubles(z, julia, d);
    if (float_flags::Raised(saved))
        return false;
    const FloatExp radius = Wide(d.r);
    out = WideOf(d);
    out.r = radius;
    return true;
}

bool WideMergeInDoubles(const SkipEntry<double>& da, const SkipEntry<double>& db, FloatExp eps,
                        SkipEntry<FloatExp>& out, SkipEntry<double>& d)
{
    double e = 0;
    if (!Exact(eps, e))
        return false;
    const uint32_t saved = float_flags::Clear();
    MergeInDoubles(da, db, e, d);
    if (float_flags::Raised(saved))
        return false;
    out = WideOf(d);
    return true;
}

bool WideRunInDoubles(const FloatExp* re, const FloatExp* im, const SkipEntry<double>* halves, size_t n, bool julia,
                      FloatExp eps, SkipEntry<double>* steps, SkipEntry<FloatExp>* stepsWide, SkipEntry<double>* out,
                      SkipEntry<FloatExp>* outWide)
{
    if (n > kSkipRun)
        return false;
    double e = 0, z[4 * kSkipRun];
    if (!Exact(eps, e))
        return false;
    if (halves) {
        for (size_t j = 0; j < 2 * n; ++j)
            if (halves[j].r == 0)
                return false;
    } else {
        for (size_t j = 0; j < 2 * n; ++j)
            if (!(Exact(re[j], z[2 * j]) && Exact(im[j], z[2 * j + 1])))
                return false;
    }
    const uint32_t saved = float_flags::Clear();
    RunInDoubles(z, halves, n, julia, e, steps, out);
    if (float_flags::Raised(saved))
        return false;
    for (size_t m = 0; m < n; ++m) {
        outWide[m] = WideOf(out[m]);
    }
    if (!halves)
        for (size_t j = 0; j < 2 * n; ++j) {
            // What the merged radius reads of the halves.
            stepsWide[j].r = Wide(steps[j].r);
            stepsWide[j].aAbs = Wide(steps[j].aAbs);
            stepsWide[j].bAbs = Wide(steps[j].bAbs);
        }
    return true;
}

void ForDoubles(SkipTable<FloatExp>& t)
{
    const auto gap = [](double q, double e, int64_t& g) {
        if (q != 0 && e != 0)
            g = std::max(g, float_flags::Exponent(q) - float_flags::Exponent(e));
    };
    for (const auto& level : t.inDoubles)
        for (const SkipEntry<double>& d : level)
            if (d.r != 0) {
                gap(d.qa, d.ed, t.gapA);
                gap(d.qb, d.ed, t.gapB);
                gap(d.qc, d.ec, t.gapC);
            }
    RadiiInDoubles(t);
}

void RadiiInDoubles(SkipTable<FloatExp>& t)
{
    int64_t top = INT64_MIN;
    for (const auto& level : t.levels)
        for (const SkipEntry<FloatExp>& e : level)
            if (e.r.m != 0)
                top = std::max(top, e.r.e);
    t.radiusScale = top == INT64_MIN ? 0 : top - 1000;
    t.radii.resize(t.levels.size());
    for (size_t l = 0; l < t.levels.size(); ++l) {
        huge_pages::Reserve(t.radii[l], t.levels[l].size());
        t.radii[l].resize(t.levels[l].size());
        for (size_t m = 0; m < t.levels[l].size(); ++m)
            if (!float_flags::ScaledDouble(t.levels[l][m].r, t.radiusScale, t.radii[l][m]))
                t.radii[l][m] = std::nan("");
    }
}

SkipEntry<double> WideInDoubles(const SkipEntry<FloatExp>& w)
{
    SkipEntry<double> d{};
    d.r = Exact(w, d) ? 1 : 0;
    return d;
}

} // namespace linear_skips
