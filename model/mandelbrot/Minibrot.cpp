#include "model/mandelbrot/Minibrot.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <vector>

#include "model/deep/DeepView.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Coordinate.h"
#include "numbers/Mpfr.h"

namespace {

// Newton's method from the view's centre settles in a handful of steps
// once near; this many without settling means it wandered.
constexpr int kNewtonSteps = 80;
// Steps below 2^kSettledBits of the precision's last place count as none.
constexpr long kSettledBits = 16;
// Iterations between two looks at the stop flag.
constexpr long kStopEvery = 1024;

FloatExp Wide(mpfr_srcptr x)
{
    if (mpfr_zero_p(x))
        return {};
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, x, MPFR_RNDN);
    return FloatExp::Normal(m, e);
}

FloatExp Modulus(mpfr_srcptr re, mpfr_srcptr im)
{
    const FloatExp a = Wide(re), b = Wide(im);
    return Sqrt(a * a + b * b);
}

bool Stopped(const std::atomic<bool>* stop, long n) { return stop && n % kStopEvery == 0 && stop->load(); }

// b <- 2 a b for complex a and b, with two scratch numbers.
void TwiceProduct(mpfr_srcptr ar, mpfr_srcptr ai, mpfr_ptr br, mpfr_ptr bi, mpfr_ptr t, mpfr_ptr u)
{
    mpfr_mul(t, ar, br, MPFR_RNDN);
    mpfr_mul(u, ai, bi, MPFR_RNDN);
    mpfr_sub(t, t, u, MPFR_RNDN);
    mpfr_mul(u, ar, bi, MPFR_RNDN);
    mpfr_fma(bi, ai, br, u, MPFR_RNDN);
    mpfr_mul_2ui(bi, bi, 1, MPFR_RNDN);
    mpfr_mul_2ui(br, t, 1, MPFR_RNDN);
}

// One complex number and the scratch of its steps, all at one precision.
struct Orbit {
    explicit Orbit(long bits) : zr(bits), zi(bits), dr(bits), di(bits), t(bits), u(bits) {}
    MpfrReal zr, zi, dr, di, t, u;

    void Start()
    {
        mpfr_set_zero(zr.get(), 1);
        mpfr_set_zero(zi.get(), 1);
        mpfr_set_zero(dr.get(), 1);
        mpfr_set_zero(di.get(), 1);
    }
    // z <- z^2 + c, squares as squares.
    void Step(const MpfrReal& cr, const MpfrReal& ci)
    {
        mpfr_mul(t.get(), zr.get(), zi.get(), MPFR_RNDN);
        mpfr_sqr(zr.get(), zr.get(), MPFR_RNDN);
        mpfr_sqr(u.get(), zi.get(), MPFR_RNDN);
        mpfr_sub(zr.get(), zr.get(), u.get(), MPFR_RNDN);
        mpfr_add(zr.get(), zr.get(), cr.get(), MPFR_RNDN);
        mpfr_mul_2ui(zi.get(), t.get(), 1, MPFR_RNDN);
        mpfr_add(zi.get(), zi.get(), ci.get(), MPFR_RNDN);
    }
    // dz <- 2 z dz + 1, before z steps.
    void StepDerivative()
    {
        TwiceProduct(zr.get(), zi.get(), dr.get(), di.get(), t.get(), u.get());
        mpfr_add_ui(dr.get(), dr.get(), 1, MPFR_RNDN);
    }
};

long SearchBits(const MinibrotSearch& search)
{
    return std::max({DeepPrecisionBits(search.radius), DigitBits(search.centerRe), DigitBits(search.centerIm)});
}

bool ReadCentre(const MinibrotSearch& search, MpfrReal& cr, MpfrReal& ci)
{
    return cr.Parse(search.centerRe) && ci.Parse(search.centerIm);
}

// Newton's method on z_p(c) = 0 from c, in place. False when it did not
// settle (or was stopped).
bool Newton(long period, MpfrReal& cr, MpfrReal& ci, const std::atomic<bool>* stop)
{
    const long bits = long(mpfr_get_prec(cr.get()));
    Orbit o(bits);
    MpfrReal nr(bits), ni(bits), den(bits);
    for (int step = 0; step < kNewtonSteps; ++step) {
        o.Start();
        for (long n = 1; n <= period; ++n) {
            if (Stopped(stop, n))
                return false;
            o.StepDerivative();
            o.Step(cr, ci);
        }
        // delta = z / dz = z conj(dz) / |dz|^2.
        mpfr_sqr(den.get(), o.dr.get(), MPFR_RNDN);
        mpfr_fma(den.get(), o.di.get(), o.di.get(), den.get(), MPFR_RNDN);
        mpfr_mul(nr.get(), o.zr.get(), o.dr.get(), MPFR_RNDN);
        mpfr_fma(nr.get(), o.zi.get(), o.di.get(), nr.get(), MPFR_RNDN);
        mpfr_mul(ni.get(), o.zr.get(), o.di.get(), MPFR_RNDN);
        mpfr_fms(ni.get(), o.zi.get(), o.dr.get(), ni.get(), MPFR_RNDN);
        mpfr_div(nr.get(), nr.get(), den.get(), MPFR_RNDN);
        mpfr_div(ni.get(), ni.get(), den.get(), MPFR_RNDN);
        if (!mpfr_number_p(nr.get()) || !mpfr_number_p(ni.get()))
            return false;
        mpfr_sub(cr.get(), cr.get(), nr.get(), MPFR_RNDN);
        mpfr_sub(ci.get(), ci.get(), ni.get(), MPFR_RNDN);
        const FloatExp delta = Modulus(nr.get(), ni.get());
        if (delta.m == 0 || delta.e < kSettledBits - bits)
            return true;
    }
    return false;
}

// The size estimate at the nucleus c of period p, or 0 when an earlier
// iterate already returns to 0 (c is then the nucleus of a shorter period,
// put in `period`). The products and sums keep a wide exponent.
FloatExp SizeAt(long& period, const MpfrReal& cr, const MpfrReal& ci, const std::atomic<bool>* stop, bool& stopped)
{
    const long bits = long(mpfr_get_prec(cr.get()));
    Orbit o(bits);
    o.Start();
    constexpr long kLowBits = 64;
    MpfrReal lr(kLowBits), li(kLowBits), br(kLowBits), bi(kLowBits), zr(kLowBits), zi(kLowBits), t(kLowBits),
        u(kLowBits), m(kLowBits);
    mpfr_set_ui(lr.get(), 1, MPFR_RNDN);
    mpfr_set_ui(br.get(), 1, MPFR_RNDN);
    const FloatExp returned = FloatExp::Normal(0.5, kSettledBits * 2 - bits);
    for (long n = 1; n < period; ++n) {
        if (Stopped(stop, n)) {
            stopped = true;
            return {};
        }
        o.Step(cr, ci);
        if (period % n == 0 && Modulus(o.zr.get(), o.zi.get()) < returned) {
            period = n;
            return {};
        }
        // l <- 2 z l
        mpfr_set(zr.get(), o.zr.get(), MPFR_RNDN);
        mpfr_set(zi.get(), o.zi.get(), MPFR_RNDN);
        TwiceProduct(zr.get(), zi.get(), lr.get(), li.get(), t.get(), u.get());
        // b <- b + 1 / l = b + conj(l) / |l|^2
        mpfr_sqr(m.get(), lr.get(), MPFR_RNDN);
        mpfr_fma(m.get(), li.get(), li.get(), m.get(), MPFR_RNDN);
        mpfr_div(t.get(), lr.get(), m.get(), MPFR_RNDN);
        mpfr_add(br.get(), br.get(), t.get(), MPFR_RNDN);
        mpfr_div(t.get(), li.get(), m.get(), MPFR_RNDN);
        mpfr_sub(bi.get(), bi.get(), t.get(), MPFR_RNDN);
    }
    // |1 / (b l^2)| = 1 / (|b| |l|^2)
    const FloatExp l = Modulus(lr.get(), li.get()), b = Modulus(br.get(), bi.get());
    return FloatExp(1.0) / (b * l * l);
}

std::string Places(const MpfrReal& x, long places)
{
    char* text = nullptr;
    if (mpfr_asprintf(&text, "%.*Rf", int(places), x.get()) < 0 || !text)
        return {};
    std::string s(text);
    mpfr_free_str(text);
    // Trailing zeros say nothing.
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

} // namespace

long BallPeriod(const MinibrotSearch& search)
{
    const long bits = SearchBits(search);
    MpfrReal cr(bits), ci(bits);
    if (!ReadCentre(search, cr, ci))
        return 0;
    Orbit o(bits);
    o.Start();
    // Every point of the disc lies within r of the centre's iterate: the
    // difference d of two orbits steps as d <- d (2 z + d) + (c - centre).
    // A disc inside a component (an attracting cycle) never holds 0: there
    // the bound settles rather than grows, lap after lap of the iterate
    // nearest 0 so far, which is then the period.
    const FloatExp two(2.0);
    FloatExp r, az, nearest;
    long nearestAt = 0;
    std::vector<FloatExp> bounds{FloatExp()};
    for (long n = 1; n <= search.maxPeriod; ++n) {
        if (Stopped(search.stop, n))
            return 0;
        r = r * (two * az + r) + search.radius;
        o.Step(cr, ci);
        az = Modulus(o.zr.get(), o.zi.get());
        if (az < r)
            return n;
        if (az > r + two)
            return -1;
        if (nearestAt == 0 || az < nearest) {
            nearest = az;
            nearestAt = n;
        }
        bounds.push_back(r);
        const long q = nearestAt;
        if (n % q == 0 && n >= 3 * q) {
            const FloatExp grew = r - bounds[size_t(n - q)], before = bounds[size_t(n - q)] - bounds[size_t(n - 2 * q)];
            if (grew + grew < before)
                return q;
        }
    }
    return 0;
}

Minibrot FindNearestMinibrot(const MinibrotSearch& search)
{
    Minibrot found;
    if (!(search.radius > FloatExp(0.0))) {
        found.failure = "The view needs a radius above 0 to look for a minibrot in";
        return found;
    }
    long bits = SearchBits(search);
    auto cr = std::make_unique<MpfrReal>(bits);
    auto ci = std::make_unique<MpfrReal>(bits);
    if (!ReadCentre(search, *cr, *ci)) {
        found.failure = "The view's centre is not a number";
        return found;
    }
    long period = BallPeriod(search);
    const bool stopped = search.stop && search.stop->load();
    if (stopped) {
        found.failure = "Stopped";
        return found;
    }
    if (period < 0) {
        found.failure = "The view holds no point of the Mandelbrot set, so no minibrot";
        return found;
    }
    if (period == 0) {
        found.failure = "No minibrot has a period up to " + std::to_string(search.maxPeriod) + " in this view";
        return found;
    }
    // The nucleus, then its size; a size finer than the precision places
    // asks for more bits and a few steps more from where it is.
    FloatExp size;
    for (int attempt = 0;; ++attempt) {
        const long before = period;
        if (!Newton(period, *cr, *ci, search.stop)) {
            found.failure = search.stop && search.stop->load()
                                ? "Stopped"
                                : "Newton's method found no nucleus of period " + std::to_string(period);
            return found;
        }
        bool sizeStopped = false;
        size = SizeAt(period, *cr, *ci, search.stop, sizeStopped);
        if (sizeStopped) {
            found.failure = "Stopped";
            return found;
        }
        if (period != before)
            continue; // the shorter period's own nucleus and size
        const long need = DeepPrecisionBits(size) + 32;
        if (need <= bits || attempt > 4)
            break;
        bits = need;
        auto nr = std::make_unique<MpfrReal>(bits);
        auto ni = std::make_unique<MpfrReal>(bits);
        mpfr_set(nr->get(), cr->get(), MPFR_RNDN);
        mpfr_set(ni->get(), ci->get(), MPFR_RNDN);
        cr = std::move(nr);
        ci = std::move(ni);
    }
    found.period = period;
    found.size = size;
    // Newton settled to within 2^kSettledBits of the last place of numbers
    // below 2: decimals past that are noise.
    const long places = long(double(bits - kSettledBits - 2) * 0.30102999566398120);
    found.re = Places(*cr, places);
    found.im = Places(*ci, places);
    found.reValue = mpfr_get_d(cr->get(), MPFR_RNDN);
    found.imValue = mpfr_get_d(ci->get(), MPFR_RNDN);
    return found;
}

std::string CMandelbrotSet::ZoomToNearestMinibrot(const std::atomic<bool>* stop)
{
    if (!FindsMinibrots())
        return CFractal::ZoomToNearestMinibrot(stop);
    MinibrotSearch search;
    search.centerRe = CoordinateText(m_centerX, m_centerXDigits);
    search.centerIm = CoordinateText(m_centerY, m_centerYDigits);
    search.radius = WideHalfSize();
    search.stop = stop;
    const Minibrot found = FindNearestMinibrot(search);
    if (found.period == 0)
        return found.failure;
    const std::string period = std::to_string(found.period);
    const FloatExp half = FloatExp(kMinibrotFit) * found.size;
    if (!(half.m > 0) || !std::isfinite(half.m) || half.e < kDeepestBinaryExponent)
        return "The minibrot of period " + period + " is finer than a view's radius can hold";
    // The centre to the places a pixel of any image of the new view needs,
    // kept as digits only where its double does not say as much.
    const int places = std::clamp(DecimalExponent(half) + 10, 0, kMaxCoordinateDecimals);
    std::string digits[2];
    double values[2];
    const std::string* nucleus[2] = {&found.re, &found.im};
    for (int a = 0; a < 2; ++a) {
        const double near = std::strtod(nucleus[a]->c_str(), nullptr);
        const std::string text = CoordinateFixed(near, *nucleus[a], {}, places);
        values[a] = std::strtod(text.c_str(), nullptr);
        digits[a] = WholeDigits(text, values[a]);
    }
    m_centerX = values[0];
    m_centerY = values[1];
    m_centerXDigits = digits[0];
    m_centerYDigits = digits[1];
    SetHalfSize(half);
    const int64_t wanted = std::min<int64_t>(int64_t(found.period) * kIterationsPerPeriod, kMaxIterations);
    if (m_iterationsSet && m_maxIterations < wanted)
        m_maxIterations = int(wanted);
    return {};
}
