// The angle colouring's lanes, for one instruction set's vector type L: the
// direction's angle and the cosines of its channels by polynomials whose
// error is bounded (AngleKernel.cpp adds it up), and each channel's level
// wherever that bound keeps it clear of a level's edge. Included once by
// each instruction set's file; no FMA (the bound counts two roundings).
#pragma once

#include "imaging/CellGrid.h"
#include "imaging/kernels/AngleKernel.h"

namespace angle_lanes {

// Rounds to the nearest whole number (ties to even) for |v| < 2^51 under
// the default rounding mode, with adds alone, so SSE2 has it too.
template <class L>
[[gnu::always_inline]] inline typename L::D Nearest(typename L::D v)
{
    const typename L::D magic = L::Set1(0x1.8p52);
    return L::Sub(L::Add(v, magic), magic);
}

// atan(k / 8) for k = 0..8, each the double nearest the true value.
alignas(64) constexpr double kAtanEighths[9] = {
    0.0,
    0x1.fd5ba9aac2f6ep-4,
    0x1.f5b75f92c80ddp-3,
    0x1.6f61941e4def1p-2,
    0x1.dac670561bb4fp-2,
    0x1.1e00babdefeb4p-1,
    0x1.4978fa3269ee1p-1,
    0x1.700a7c5784634p-1,
    0x1.921fb54442d18p-1,
};

// atan2(y, x) in (-pi, pi] for finite x, y not both zero; NaN lanes stay
// NaN or end in a NaN level, which the caller sends to libm.
template <class L>
[[gnu::always_inline]] inline typename L::D Angle(typename L::D x, typename L::D y)
{
    using D = typename L::D;
    const D one = L::Set1(1.0), zero = L::Set1(0.0);
    const D ax = L::Abs(x), ay = L::Abs(y);
    const auto steep = L::Lt(ax, ay);
    const D hi = L::Select(steep, ay, ax), lo = L::Select(steep, ax, ay);
    // a in [0, 1]; c = k / 8 the nearest eighth, so the rest t of
    // atan(a) = atan(c) + atan((a - c) / (1 + a c)) has |t| <= 1/16.
    const D a = L::Div(lo, hi);
    D k = Nearest<L>(L::Mul(a, L::Set1(8.0)));
    k = L::Select(L::Le(a, one), k, zero); // NaN lanes read entry 0
    const D c = L::Mul(k, L::Set1(0.125));
    const D t = L::Div(L::Sub(a, c), L::Add(one, L::Mul(a, c)));
    // The alternating series of atan to t^9; the first term left out,
    // t^11 / 11, is below 5.2e-15.
    const D z = L::Mul(t, t);
    D p = L::Set1(1.0 / 9);
    p = L::Add(L::Mul(p, z), L::Set1(-1.0 / 7));
    p = L::Add(L::Mul(p, z), L::Set1(1.0 / 5));
    p = L::Add(L::Mul(p, z), L::Set1(-1.0 / 3));
    const D tail = L::Mul(L::Mul(t, z), p);
    const unsigned all = (1u << L::kWidth) - 1;
    const D base = L::Gather(kAtanEighths, k, all, zero);
    D r = L::Add(base, L::Add(t, tail));
    r = L::Select(steep, L::Sub(L::Set1(0x1.921fb54442d18p+0), r), r);
    r = L::Select(L::Lt(x, zero), L::Sub(L::Set1(0x1.921fb54442d18p+1), r), r);
    // The sign of y, negative zero included, as libm gives it.
    return L::CopySign(r, y);
}

// cos(p) for |p| < 2^24; other lanes give what they give and are refused
// by the caller's range test.
template <class L>
[[gnu::always_inline]] inline typename L::D Cosine(typename L::D p)
{
    using D = typename L::D;
    // x = p - m pi/2 for the odd m nearest p * 2/pi, so cos p = -+sin x
    // with |x| <= pi/2: one series instead of two. pi/2 is in two parts;
    // the first has 28 bits, so m times it is exact for |m| < 2^24.
    const D n = Nearest<L>(L::Sub(L::Mul(p, L::Set1(0x1.45f306dc9c883p-2)), L::Set1(0.5))); // p / pi - 1/2
    const D m = L::Add(L::Add(n, n), L::Set1(1.0));
    const D x = L::Sub(L::Sub(p, L::Mul(m, L::Set1(0x1.921fb54000000p+0))), L::Mul(m, L::Set1(0x1.10b4611a62633p-30)));
    const D z = L::Mul(x, x);
    // The series of sin to x^15; the first term left out, x^17 / 17!, is
    // below 6.1e-12 on |x| <= pi/2.
    D s = L::Set1(-1.0 / 1307674368000.0);
    s = L::Add(L::Mul(s, z), L::Set1(1.0 / 6227020800.0));
    s = L::Add(L::Mul(s, z), L::Set1(-1.0 / 39916800.0));
    s = L::Add(L::Mul(s, z), L::Set1(1.0 / 362880.0));
    s = L::Add(L::Mul(s, z), L::Set1(-1.0 / 5040.0));
    s = L::Add(L::Mul(s, z), L::Set1(1.0 / 120.0));
    s = L::Add(L::Mul(s, z), L::Set1(-1.0 / 6.0));
    s = L::Add(x, L::Mul(L::Mul(x, z), s));
    // m mod 4, as 1 or -1: cos(x + pi/2) = -sin x, cos(x + 3 pi/2) = sin x.
    const D q = L::Sub(m, L::Mul(Nearest<L>(L::Mul(m, L::Set1(0.25))), L::Set1(4.0)));
    return L::Mul(L::Neg(q), s);
}

// The unit vector of (x, y): NaN lanes where it has none (a zero or
// infinite length), which end in NaN levels and go to libm.
template <class L>
[[gnu::always_inline]] inline void Unit(typename L::D x, typename L::D y, typename L::D& c, typename L::D& s)
{
    const typename L::D inv = L::Div(L::Set1(1.0), L::Sqrt(L::Add(L::Mul(x, x), L::Mul(y, y))));
    c = L::Mul(x, inv);
    s = L::Mul(y, inv);
}

// cos(p theta + shift) from theta's unit vector (c, s): (c + i s)^|p| by
// repeated products, turned by the shift.
template <class L>
[[gnu::always_inline]] inline typename L::D PowerCosine(typename L::D c, typename L::D s, const AngleLaneJob& job,
                                                         int ch)
{
    using D = typename L::D;
    D pc = c, ps = s;
    for (int k = job.power[ch] < 0 ? -job.power[ch] : job.power[ch]; k > 1; --k) {
        const D nc = L::Sub(L::Mul(pc, c), L::Mul(ps, s));
        ps = L::Add(L::Mul(ps, c), L::Mul(pc, s));
        pc = nc;
    }
    return L::Sub(L::Mul(pc, L::Set1(job.cosShift[ch])), L::Mul(ps, L::Set1(job.sinShift[ch])));
}

// The level of a cosine, or 0 where the bound does not settle it: k is a
// whole number near v, and v - k lies farther than the bound from 0 and
// from 1 only when k is the level of everything within the bound of v.
template <class L>
[[gnu::always_inline]] inline typename L::D LevelOf(typename L::D cosine, double bound)
{
    using D = typename L::D;
    const D zero = L::Set1(0.0), half = L::Set1(0.5);
    const D v = L::Sub(L::Set1(128.0), L::Mul(L::Set1(127.0), cosine));
    const D k = Nearest<L>(L::Sub(v, half));
    const D offCentre = L::Abs(L::Sub(L::Sub(v, k), half)); // v - k exact
    return L::Select(L::Lt(offCentre, L::Set1(0.5 - bound)), k, zero);
}

// The level of a channel taken through the angle.
template <class L>
[[gnu::always_inline]] inline typename L::D Level(typename L::D theta, const AngleLaneJob& job, int c)
{
    using D = typename L::D;
    const D p = L::Add(L::Mul(theta, L::Set1(job.freq[c])), L::Set1(job.shift[c]));
    const D level = LevelOf<L>(Cosine<L>(p), job.bound[c]);
    if (!job.phaseChecked[c])
        return level;
    return L::Select(L::Lt(L::Abs(p), L::Set1(kAngleLanePhaseLimit)), level, L::Set1(0.0));
}

// Two vectors at a time: the series are chains of dependent steps, and
// two chains side by side keep the units busy. `n` cells are read, a
// multiple of twice the width. The angle is computed only for channels
// that need it, the unit vector only for those raised to a power.
template <class L>
void Levels(const AngleLaneJob& job, const PixelRecord* cells, int n, double* levels)
{
    using D = typename L::D;
    constexpr int W = L::kWidth, stride = int(sizeof(PixelRecord) / sizeof(float));
    bool byAngle = false, byPower = false;
    for (int c = 0; c < job.count; ++c)
        (job.power[c] != 0 ? byPower : byAngle) = true;
    for (int i = 0; i < n; i += 2 * W) {
        const PixelRecord* const c0 = cells + i;
        const PixelRecord* const c1 = c0 + W;
        const D x0 = L::LoadFloats(&c0->nx, stride), y0 = L::LoadFloats(&c0->ny, stride);
        const D x1 = L::LoadFloats(&c1->nx, stride), y1 = L::LoadFloats(&c1->ny, stride);
        D theta0 = x0, theta1 = x1, u0 = x0, v0 = y0, u1 = x1, v1 = y1;
        if (byAngle) {
            theta0 = Angle<L>(x0, y0);
            theta1 = Angle<L>(x1, y1);
        }
        if (byPower) {
            Unit<L>(x0, y0, u0, v0);
            Unit<L>(x1, y1, u1, v1);
        }
        for (int c = 0; c < job.count; ++c) {
            double* const out = levels + c * kAngleChunk + i;
            if (job.power[c] != 0) {
                L::Store(out, LevelOf<L>(PowerCosine<L>(u0, v0, job, c), job.bound[c]));
                L::Store(out + W, LevelOf<L>(PowerCosine<L>(u1, v1, job, c), job.bound[c]));
            } else {
                L::Store(out, Level<L>(theta0, job, c));
                L::Store(out + W, Level<L>(theta1, job, c));
            }
        }
    }
}

// The power's cosine of each (x, y), through aligned copies.
template <class L>
void ProbePower(const AngleLaneJob& job, const double* x, const double* y, int n, double* cosine)
{
    alignas(64) double a[L::kWidth], b[L::kWidth];
    for (int i = 0; i < n; i += L::kWidth) {
        for (int l = 0; l < L::kWidth; ++l) {
            a[l] = x[i + l];
            b[l] = y[i + l];
        }
        typename L::D c, s;
        Unit<L>(L::Load(a), L::Load(b), c, s);
        L::Store(a, PowerCosine<L>(c, s, job, 0));
        for (int l = 0; l < L::kWidth; ++l)
            cosine[i + l] = a[l];
    }
}

// Through aligned copies: the callers' arrays need not be.
template <class L>
void Probe(const double* x, const double* y, const double* phase, int n, double* theta, double* cosine)
{
    alignas(64) double a[L::kWidth], b[L::kWidth], c[L::kWidth];
    for (int i = 0; i < n; i += L::kWidth) {
        for (int l = 0; l < L::kWidth; ++l) {
            a[l] = x[i + l];
            b[l] = y[i + l];
            c[l] = phase[i + l];
        }
        L::Store(a, Angle<L>(L::Load(a), L::Load(b)));
        L::Store(c, Cosine<L>(L::Load(c)));
        for (int l = 0; l < L::kWidth; ++l) {
            theta[i + l] = a[l];
            cosine[i + l] = c[l];
        }
    }
}

} // namespace angle_lanes
