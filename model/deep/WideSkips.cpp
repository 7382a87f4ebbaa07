// The wide skip table's entries in doubles. A FloatExp operation rounds as
// the double one does wherever the double's exact result, rounded to 53
// bits with no limit on the exponent, is a normal double, and also where
// that result is exactly a smaller one; it differs only where the rounding
// leaves the doubles' range below (the processor's underflow flag: tiny and
// inexact) or above (overflow). So an entry computed in doubles from inputs
// that doubles hold exactly, with neither flag raised, nor an invalid
// operation, has the FloatExp entry's bits, and costs a fraction of it.

#include <bit>
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

// A result that raised no flag: a normal double, or zero, or (rarely) an
// exact smaller one.
FloatExp Wide(double v) { return FloatExp::Normal(v, 0); }

SkipEntry<FloatExp> Wide(const SkipEntry<double>& d)
{
    return {Wide(d.ar), Wide(d.ai), Wide(d.br), Wide(d.bi), Wide(d.r),  Wide(d.aAbs), Wide(d.bAbs),
            Wide(d.qa), Wide(d.qb), Wide(d.qc), Wide(d.ed), Wide(d.ec), d.ur,         d.ui};
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

bool WideStepInDoubles(FloatExp zr, FloatExp zi, bool julia, FloatExp eps, SkipEntry<FloatExp>& out)
{
    double z[3];
    if (!(Exact(zr, z[0]) && Exact(zi, z[1]) && Exact(eps, z[2])))
        return false;
    SkipEntry<double> d;
    const uint32_t saved = float_flags::Clear();
    StepInDoubles(z, julia, d);
    if (float_flags::Raised(saved))
        return false;
    out = Wide(d);
    return true;
}

bool WideMergeInDoubles(const SkipEntry<FloatExp>& a, const SkipEntry<FloatExp>& b, FloatExp eps,
                        SkipEntry<FloatExp>& out)
{
    SkipEntry<double> da, db, d;
    double e = 0;
    if (!(Exact(a, da) && Exact(b, db) && Exact(eps, e)))
        return false;
    const uint32_t saved = float_flags::Clear();
    MergeInDoubles(da, db, e, d);
    if (float_flags::Raised(saved))
        return false;
    out = Wide(d);
    return true;
}

} // namespace linear_skips
