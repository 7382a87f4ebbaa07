#pragma once
// The slow reference of the deep views: the double-precision point loop
// (P <- z_0, z <- z^2 + c, P <- P z until |z|^2 > radius^2) run on one
// pixel entirely in GNU MPFR, no perturbation, no doubles in between.

#include <mpfr.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace mpfr_reference {

struct Pixel {
    int32_t count = -1; // m of the first |z_m|^2 > radius2, or -1 inside
    float re = 0, im = 0, value = 0;
};

// A few MPFR numbers of one precision, freed together.
struct Numbers {
    static constexpr int kCount = 12;
    mpfr_t v[kCount];
    explicit Numbers(long bits)
    {
        for (auto& x : v)
            mpfr_init2(x, bits);
    }
    ~Numbers()
    {
        for (auto& x : v)
            mpfr_clear(x);
    }
    Numbers(const Numbers&) = delete;
    Numbers& operator=(const Numbers&) = delete;
};

// The pixel at centre + (offRe 2^offReExp, offIm 2^offImExp): the
// Mandelbrot set's c = z_0, or a Julia set's z_0 = point / g with
// c = (cRe, cIm).
inline Pixel Iterate(const std::string& centerRe, const std::string& centerIm, double offRe, long offReExp,
                     double offIm, long offImExp, bool julia, double cRe, double cIm, double g, double radius2,
                     int maxIterations, long bits)
{
    Numbers n(bits);
    auto& zr = n.v[0];
    auto& zi = n.v[1];
    auto& cr = n.v[2];
    auto& ci = n.v[3];
    auto& pr = n.v[4];
    auto& pi = n.v[5];
    auto& t = n.v[6];
    auto& u = n.v[7];
    auto& m2 = n.v[8];
    auto& r2 = n.v[9];
    mpfr_set_str(zr, centerRe.c_str(), 10, MPFR_RNDN);
    mpfr_set_str(zi, centerIm.c_str(), 10, MPFR_RNDN);
    mpfr_set_d(t, offRe, MPFR_RNDN);
    mpfr_mul_2si(t, t, offReExp, MPFR_RNDN);
    mpfr_add(zr, zr, t, MPFR_RNDN);
    mpfr_set_d(t, offIm, MPFR_RNDN);
    mpfr_mul_2si(t, t, offImExp, MPFR_RNDN);
    mpfr_add(zi, zi, t, MPFR_RNDN);
    if (julia) {
        mpfr_div_d(zr, zr, g, MPFR_RNDN);
        mpfr_div_d(zi, zi, g, MPFR_RNDN);
        mpfr_set_d(cr, cRe, MPFR_RNDN);
        mpfr_set_d(ci, cIm, MPFR_RNDN);
    } else {
        mpfr_set(cr, zr, MPFR_RNDN);
        mpfr_set(ci, zi, MPFR_RNDN);
    }
    mpfr_set_d(r2, radius2, MPFR_RNDN);
    mpfr_set(pr, zr, MPFR_RNDN);
    mpfr_set(pi, zi, MPFR_RNDN);
    auto square = [&] {
        mpfr_sqr(t, zr, MPFR_RNDN);
        mpfr_sqr(u, zi, MPFR_RNDN);
        mpfr_mul(zi, zr, zi, MPFR_RNDN);
        mpfr_mul_2ui(zi, zi, 1, MPFR_RNDN);
        mpfr_add(zi, zi, ci, MPFR_RNDN);
        mpfr_sub(zr, t, u, MPFR_RNDN);
        mpfr_add(zr, zr, cr, MPFR_RNDN);
    };
    square();
    Pixel out;
    for (int k = 0;; ++k) {
        mpfr_sqr(t, zr, MPFR_RNDN);
        mpfr_sqr(u, zi, MPFR_RNDN);
        mpfr_add(m2, t, u, MPFR_RNDN);
        if (mpfr_greater_p(m2, r2)) {
            // P / z = P conj(z) / |z|^2; only its direction is painted, so
            // both parts are brought to a common scale near 1.
            mpfr_mul(t, pr, zr, MPFR_RNDN);
            mpfr_mul(u, pi, zi, MPFR_RNDN);
            mpfr_add(t, t, u, MPFR_RNDN); // Re (P conj z)
            mpfr_mul(u, pi, zr, MPFR_RNDN);
            mpfr_mul(pr, pr, zi, MPFR_RNDN);
            mpfr_sub(u, u, pr, MPFR_RNDN); // Im (P conj z)
            long et = 0, eu = 0;
            const double mt = mpfr_get_d_2exp(&et, t, MPFR_RNDN);
            const double mu = mpfr_get_d_2exp(&eu, u, MPFR_RNDN);
            const long top = mt == 0 ? eu : mu == 0 ? et : std::max(et, eu);
            out.count = k + 1;
            out.re = float(std::ldexp(mt, int(std::max(et - top, -2000L))));
            out.im = float(std::ldexp(mu, int(std::max(eu - top, -2000L))));
            out.value = float(std::min(mpfr_get_d(m2, MPFR_RNDN), 3e38));
            return out;
        }
        if (k >= maxIterations) {
            out.value = 1e10f;
            return out;
        }
        mpfr_mul(t, pr, zr, MPFR_RNDN);
        mpfr_mul(u, pi, zi, MPFR_RNDN);
        mpfr_sub(t, t, u, MPFR_RNDN);
        mpfr_mul(u, pr, zi, MPFR_RNDN);
        mpfr_mul(pi, pi, zr, MPFR_RNDN);
        mpfr_add(pi, pi, u, MPFR_RNDN);
        mpfr_set(pr, t, MPFR_RNDN);
        square();
    }
}

} // namespace mpfr_reference
