#include "model/deep/ReferenceOrbit.h"

#include <cmath>

namespace {

FloatExp Wide(const MpfrReal& v)
{
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, v.get(), MPFR_RNDN);
    return FloatExp::Normal(m, e);
}

FloatExp Modulus(const MpfrReal& re, const MpfrReal& im)
{
    const FloatExp r = Wide(re), i = Wide(im);
    return Sqrt(r * r + i * i);
}

void Keep(const MpfrReal& re, const MpfrReal& im, bool wide, MpfrReal* rest, ReferenceOrbit& out)
{
    out.re.push_back(mpfr_get_d(re.get(), MPFR_RNDN));
    out.im.push_back(mpfr_get_d(im.get(), MPFR_RNDN));
    if (rest) {
        mpfr_sub_d(rest->get(), re.get(), out.re.back(), MPFR_RNDN);
        out.reLow.push_back(mpfr_get_d(rest->get(), MPFR_RNDN));
        mpfr_sub_d(rest->get(), im.get(), out.im.back(), MPFR_RNDN);
        out.imLow.push_back(mpfr_get_d(rest->get(), MPFR_RNDN));
    }
    if (!wide)
        return;
    out.reWide.push_back(Wide(re));
    out.imWide.push_back(Wide(im));
}

// A bound on |computed w_n - exact w_n|, carried in FloatExp as MPFR's
// roundings lie far below the doubles: E_(n+1) = (2 |w_n| + E_n) E_n plus
// the rounding of the constant and of the step's own operations, each
// within 2^-bits of the moduli it adds up (generously counted). A step
// whose every operation was exact adds none, so orbits of short binary
// numbers stay exact.
class RoundingBound {
public:
    RoundingBound(long bits, FloatExp start, FloatExp c, bool exact, double radius2)
        : m_unit(FloatExp::Normal(1, -bits)), m_bits(bits), m_c(c), m_radius(std::sqrt(radius2))
    {
        m_error = exact ? FloatExp(0.0) : m_unit * start;
        m_cError = exact ? FloatExp(0.0) : m_unit * c;
    }

    void Step(FloatExp w, bool exact)
    {
        if (m_hopeless)
            return;
        FloatExp e = (w + w + m_error) * m_error + m_cError;
        if (!exact)
            e = e + FloatExp(16.0) * m_unit * (w * w + m_c);
        m_error = e;
        // Far past any use: it would only square its exponent from here.
        if (FloatExp::Normal(1, 64) < m_error)
            m_hopeless = true;
    }

    // Value w is tested against the escape radius and enters the product.
    void Test(FloatExp w)
    {
        if (m_hopeless || !(FloatExp(0.0) < m_error))
            return;
        const FloatExp margin = std::isinf(m_radius) ? w + FloatExp(1.0) : Abs(w - FloatExp(m_radius));
        if (!(FloatExp(0.0) < margin) || !(FloatExp(0.0) < w)) {
            m_hopeless = true;
            return;
        }
        const FloatExp r = m_error / margin;
        if (m_worst < r)
            m_worst = r;
        m_sum = m_sum + m_error / w;
    }

    long BitsShort() const
    {
        if (m_hopeless)
            return m_bits;
        // Settled with 2^20 to spare, for the escape test and the colour.
        const FloatExp d = (m_worst < m_sum ? m_sum : m_worst) * FloatExp::Normal(1, 20);
        if (!(FloatExp(1.0) < d))
            return 0;
        return long(d.e) + 1;
    }

private:
    FloatExp m_unit;
    long m_bits;
    FloatExp m_c, m_error, m_cError, m_worst{0.0}, m_sum{0.0};
    double m_radius;
    bool m_hopeless = false;
};

} // namespace

bool ComputeReferenceOrbit(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe, const MpfrReal& cIm,
                           double radius2, size_t length, bool wide, const std::atomic<bool>* stop, ReferenceOrbit& out,
                           bool exactInputs, size_t firstTested, bool low)
{
    out = ReferenceOrbit();
    // All at once: a length past the memory fails here, before any step.
    out.re.reserve(length);
    out.im.reserve(length);
    if (wide) {
        out.reWide.reserve(length);
        out.imWide.reserve(length);
    }
    if (low) {
        out.reLow.reserve(length);
        out.imLow.reserve(length);
    }
    const mpfr_prec_t bits = mpfr_get_prec(startRe.get());
    MpfrReal re(bits), im(bits), re2(bits), im2(bits), rest(bits);
    mpfr_set(re.get(), startRe.get(), MPFR_RNDN);
    mpfr_set(im.get(), startIm.get(), MPFR_RNDN);
    RoundingBound bound(long(bits), Modulus(re, im), Modulus(cRe, cIm), exactInputs, radius2);
    for (size_t n = 0; n < length; ++n) {
        if (n > 0) {
            const FloatExp w = Modulus(re, im);
            // w <- w^2 + c: (re^2 - im^2 + cRe, 2 re im + cIm).
            int inexact = mpfr_sqr(re2.get(), re.get(), MPFR_RNDN);
            inexact |= mpfr_sqr(im2.get(), im.get(), MPFR_RNDN);
            inexact |= mpfr_mul(im.get(), re.get(), im.get(), MPFR_RNDN);
            inexact |= mpfr_mul_2ui(im.get(), im.get(), 1, MPFR_RNDN);
            inexact |= mpfr_add(im.get(), im.get(), cIm.get(), MPFR_RNDN);
            inexact |= mpfr_sub(re.get(), re2.get(), im2.get(), MPFR_RNDN);
            inexact |= mpfr_add(re.get(), re.get(), cRe.get(), MPFR_RNDN);
            bound.Step(w, inexact == 0);
        }
        Keep(re, im, wide, low ? &rest : nullptr, out);
        if (n >= firstTested)
            bound.Test(Modulus(re, im));
        const double r = out.re.back(), i = out.im.back();
        if (r * r + i * i > radius2)
            break;
        if ((n & 0xFFF) == 0xFFF && stop && stop->load(std::memory_order_relaxed))
            return false;
    }
    out.bitsShort = bound.BitsShort();
    return true;
}
