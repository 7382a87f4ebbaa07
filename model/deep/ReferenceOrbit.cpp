#include "model/deep/ReferenceOrbit.h"

namespace {

void Keep(const MpfrReal& re, const MpfrReal& im, bool wide, ReferenceOrbit& out)
{
    out.re.push_back(mpfr_get_d(re.get(), MPFR_RNDN));
    out.im.push_back(mpfr_get_d(im.get(), MPFR_RNDN));
    if (!wide)
        return;
    long e = 0;
    double m = mpfr_get_d_2exp(&e, re.get(), MPFR_RNDN);
    out.reWide.push_back(FloatExp::Normal(m, e));
    m = mpfr_get_d_2exp(&e, im.get(), MPFR_RNDN);
    out.imWide.push_back(FloatExp::Normal(m, e));
}

} // namespace

bool ComputeReferenceOrbit(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe,
                           const MpfrReal& cIm, double radius2, size_t length, bool wide,
                           const std::atomic<bool>* stop, ReferenceOrbit& out)
{
    out = ReferenceOrbit();
    // All at once: a length past the memory fails here, before any step.
    out.re.reserve(length);
    out.im.reserve(length);
    if (wide) {
        out.reWide.reserve(length);
        out.imWide.reserve(length);
    }
    const mpfr_prec_t bits = mpfr_get_prec(startRe.get());
    MpfrReal re(bits), im(bits), re2(bits), im2(bits);
    mpfr_set(re.get(), startRe.get(), MPFR_RNDN);
    mpfr_set(im.get(), startIm.get(), MPFR_RNDN);
    for (size_t n = 0; n < length; ++n) {
        if (n > 0) {
            // w <- w^2 + c: (re^2 - im^2 + cRe, 2 re im + cIm).
            mpfr_sqr(re2.get(), re.get(), MPFR_RNDN);
            mpfr_sqr(im2.get(), im.get(), MPFR_RNDN);
            mpfr_mul(im.get(), re.get(), im.get(), MPFR_RNDN);
            mpfr_mul_2ui(im.get(), im.get(), 1, MPFR_RNDN);
            mpfr_add(im.get(), im.get(), cIm.get(), MPFR_RNDN);
            mpfr_sub(re.get(), re2.get(), im2.get(), MPFR_RNDN);
            mpfr_add(re.get(), re.get(), cRe.get(), MPFR_RNDN);
        }
        Keep(re, im, wide, out);
        const double r = out.re.back(), i = out.im.back();
        if (r * r + i * i > radius2)
            break;
        if ((n & 0xFFF) == 0xFFF && stop && stop->load(std::memory_order_relaxed))
            return false;
    }
    return true;
}
