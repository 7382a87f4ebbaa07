// The nearest minibrot: period by the ball method, nucleus by Newton's
// method, size by the derivative products, checked against roots and
// orbits worked out here apart from the search.

#include <gtest/gtest.h>

#include <mpfr.h>

#include <cmath>
#include <string>

#include "model/mandelbrot/Minibrot.h"
#include "numbers/Mpfr.h"

namespace {

constexpr long kBits = 400;

// z_p(c) for real c, iterated from 0 in MPFR.
void RealIterate(mpfr_ptr out, mpfr_srcptr c, int period)
{
    mpfr_set_zero(out, 1);
    for (int n = 0; n < period; ++n) {
        mpfr_sqr(out, out, MPFR_RNDN);
        mpfr_add(out, out, c, MPFR_RNDN);
    }
}

// The root of z_p(c) between lo and hi, where it changes sign, by bisection.
std::string BisectedRoot(const char* lo, const char* hi, int period)
{
    MpfrReal a(kBits), b(kBits), m(kBits), fa(kBits), fm(kBits);
    a.Parse(lo);
    b.Parse(hi);
    RealIterate(fa.get(), a.get(), period);
    for (int i = 0; i < 360; ++i) {
        mpfr_add(m.get(), a.get(), b.get(), MPFR_RNDN);
        mpfr_div_2ui(m.get(), m.get(), 1, MPFR_RNDN);
        RealIterate(fm.get(), m.get(), period);
        if ((mpfr_sgn(fm.get()) > 0) == (mpfr_sgn(fa.get()) > 0)) {
            mpfr_set(a.get(), m.get(), MPFR_RNDN);
            mpfr_set(fa.get(), fm.get(), MPFR_RNDN);
        } else {
            mpfr_set(b.get(), m.get(), MPFR_RNDN);
        }
    }
    char* text = nullptr;
    mpfr_asprintf(&text, "%.60Rf", a.get());
    std::string s(text);
    mpfr_free_str(text);
    return s;
}

// |a - b| for two decimal texts, as a power of ten's exponent.
double LogDistance(const std::string& a, const std::string& b)
{
    MpfrReal x(kBits), y(kBits);
    EXPECT_TRUE(x.Parse(a)) << a;
    EXPECT_TRUE(y.Parse(b)) << b;
    mpfr_sub(x.get(), x.get(), y.get(), MPFR_RNDN);
    if (mpfr_zero_p(x.get()))
        return -1000;
    mpfr_abs(x.get(), x.get(), MPFR_RNDN);
    mpfr_log10(x.get(), x.get(), MPFR_RNDN);
    return mpfr_get_d(x.get(), MPFR_RNDN);
}

int Places(const std::string& s)
{
    const auto dot = s.find('.');
    return dot == std::string::npos ? 0 : int(s.size() - dot - 1);
}

struct Return {
    double distance; // log10 of |z_p| / |dz_p / dc|: how far Newton would still step
    double nearest;  // log10 of the smallest |z_n| for n < p
};

// The orbit of 0 at c = re + i im, p steps, at `bits`.
Return ReturnOf(const std::string& re, const std::string& im, long period, long bits)
{
    MpfrReal cr(bits), ci(bits), zr(bits), zi(bits), dr(bits), di(bits), t(bits), u(bits), v(bits);
    EXPECT_TRUE(cr.Parse(re));
    EXPECT_TRUE(ci.Parse(im));
    double nearest = 1000;
    for (long n = 1; n <= period; ++n) {
        // dz <- 2 z dz + 1
        mpfr_mul(t.get(), zr.get(), dr.get(), MPFR_RNDN);
        mpfr_mul(u.get(), zi.get(), di.get(), MPFR_RNDN);
        mpfr_sub(t.get(), t.get(), u.get(), MPFR_RNDN);
        mpfr_mul(u.get(), zr.get(), di.get(), MPFR_RNDN);
        mpfr_mul(v.get(), zi.get(), dr.get(), MPFR_RNDN);
        mpfr_add(u.get(), u.get(), v.get(), MPFR_RNDN);
        mpfr_mul_2ui(dr.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add_ui(dr.get(), dr.get(), 1, MPFR_RNDN);
        mpfr_mul_2ui(di.get(), u.get(), 1, MPFR_RNDN);
        // z <- z^2 + c
        mpfr_mul(t.get(), zr.get(), zi.get(), MPFR_RNDN);
        mpfr_sqr(u.get(), zr.get(), MPFR_RNDN);
        mpfr_sqr(v.get(), zi.get(), MPFR_RNDN);
        mpfr_sub(zr.get(), u.get(), v.get(), MPFR_RNDN);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
        mpfr_mul_2ui(zi.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add(zi.get(), zi.get(), ci.get(), MPFR_RNDN);
        mpfr_hypot(t.get(), zr.get(), zi.get(), MPFR_RNDN);
        if (n < period)
            nearest = std::min(nearest, std::log10(mpfr_get_d(t.get(), MPFR_RNDN)));
    }
    mpfr_hypot(t.get(), zr.get(), zi.get(), MPFR_RNDN);
    mpfr_hypot(u.get(), dr.get(), di.get(), MPFR_RNDN);
    mpfr_div(t.get(), t.get(), u.get(), MPFR_RNDN);
    mpfr_log10(t.get(), t.get(), MPFR_RNDN);
    return {mpfr_get_d(t.get(), MPFR_RNDN), nearest};
}

double Log10(FloatExp x) { return std::log10(x.m) + double(x.e) * std::log10(2.0); }

TEST(Minibrot, RealNucleiToEveryPlaceTheyWrite)
{
    // The real nuclei of periods 3, 4 and 5 found from views beside them,
    // against the roots of z_p(c) bisected here.
    struct Case {
        const char* x;
        double radius;
        int period;
        const char *lo, *hi;
    } cases[] = {
        {"-1.75", 0.01, 3, "-1.76", "-1.75"},
        {"-1.7548", 1e-6, 3, "-1.76", "-1.75"},
        {"-1.94", 0.002, 4, "-1.945", "-1.935"},
        {"-1.985", 0.001, 5, "-1.99", "-1.98"},
    };
    for (const Case& c : cases) {
        const Minibrot m = FindNearestMinibrot({c.x, "0", FloatExp(c.radius)});
        ASSERT_EQ(m.period, c.period) << c.x << " " << m.failure;
        const std::string root = BisectedRoot(c.lo, c.hi, c.period);
        EXPECT_GE(Places(m.re), 25) << m.re;
        EXPECT_LE(LogDistance(m.re, root), -Places(m.re) + 0.5) << c.x << ": " << m.re << " against " << root;
        EXPECT_LE(LogDistance(m.im, "0"), -Places(m.re)) << m.im;
        EXPECT_EQ(m.reValue, std::strtod(root.c_str(), nullptr));
        EXPECT_LT(Log10(m.size), std::log10(0.1)) << c.x;
    }
    // Known digits: the real root of c^3 + 2c^2 + c + 1 = 0, and the period 4.
    const Minibrot three = FindNearestMinibrot({"-1.75", "0", FloatExp(0.01)});
    EXPECT_EQ(three.re.substr(0, 22), "-1.7548776662466927600");
    const Minibrot four = FindNearestMinibrot({"-1.94", "0", FloatExp(0.002)});
    EXPECT_EQ(four.re.substr(0, 18), "-1.940799806529484");
}

TEST(Minibrot, ComplexNucleiAndTheViewWithoutOne)
{
    // The period-3 bulb's nucleus above the axis, and period 2's at -1.
    const Minibrot up = FindNearestMinibrot({"-0.1226", "0.7449", FloatExp(1e-3)});
    ASSERT_EQ(up.period, 3) << up.failure;
    EXPECT_LE(LogDistance(up.re, "-0.1225611668766536"), -15);
    EXPECT_LE(LogDistance(up.im, "0.7448617666197442"), -15);
    EXPECT_LT(ReturnOf(up.re, up.im, 3, kBits).distance, -Places(up.re));
    const Minibrot two = FindNearestMinibrot({"-1.01", "0.02", FloatExp(0.05)});
    ASSERT_EQ(two.period, 2) << two.failure;
    EXPECT_LE(LogDistance(two.re, "-1"), -25);

    // A disc that escapes whole holds no minibrot; nor does a radius of 0.
    const Minibrot none = FindNearestMinibrot({"1", "1", FloatExp(0.01)});
    EXPECT_EQ(none.period, 0);
    EXPECT_NE(none.failure.find("no point"), std::string::npos) << none.failure;
    EXPECT_EQ(FindNearestMinibrot({"-1", "0", FloatExp(0.0)}).period, 0);
    EXPECT_EQ(FindNearestMinibrot({"-1x", "0", FloatExp(0.1)}).period, 0);
}

TEST(Minibrot, DeepOnesReturnToZeroWithinTheirSize)
{
    // Discs about the Misiurewicz point i at 1e-30 and 1e-100, and off it:
    // the copy found lies in or near the view, its p-th iterate of 0 comes
    // back to 0 far closer than its size, and no earlier iterate does.
    struct Case {
        const char *x, *y;
        double logRadius;
    } cases[] = {
        {"0", "1", -30},
        {"0.000000000000000000000000000000123", "1.000000000000000000000000000000456", -30},
        {"0", "1", -100},
    };
    for (const Case& c : cases) {
        const FloatExp radius = FloatExp(std::pow(10.0, c.logRadius / 2)) * FloatExp(std::pow(10.0, c.logRadius / 2));
        const Minibrot m = FindNearestMinibrot({c.x, c.y, radius});
        ASSERT_GT(m.period, 1) << c.logRadius << " " << m.failure;
        const double logSize = Log10(m.size);
        EXPECT_LT(logSize, c.logRadius) << m.period;
        EXPECT_GT(logSize, 3 * c.logRadius) << m.period;
        const Return r = ReturnOf(m.re, m.im, m.period, 4 * 400);
        EXPECT_LT(r.distance, logSize - 10) << "period " << m.period;
        EXPECT_GT(r.nearest, logSize + 3) << "period " << m.period;
        // Within a few radii of the centre.
        EXPECT_LT(LogDistance(m.re, c.x), c.logRadius + 1.5);
        EXPECT_LT(LogDistance(m.im, c.y), c.logRadius + 1.5);
    }
}

} // namespace
