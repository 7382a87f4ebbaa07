#pragma once
// Numbers held as an unevaluated sum hi + lo of two doubles, about 106 bits:
// the second try at a doubtful deep pixel, far cheaper than an MPFR orbit of
// its own. Products split their factors (no fused multiply-add), so every
// build rounds alike.

#include <cmath>

struct DoubleDouble {
    double hi = 0, lo = 0;
};

namespace double_double {

inline DoubleDouble QuickTwoSum(double a, double b)
{
    const double s = a + b;
    return {s, b - (s - a)};
}

inline DoubleDouble TwoSum(double a, double b)
{
    const double s = a + b, v = s - a;
    return {s, (a - (s - v)) + (b - v)};
}

inline void Split(double a, double& hi, double& lo)
{
    const double t = 134217729.0 * a; // 2^27 + 1
    hi = t - (t - a);
    lo = a - hi;
}

inline DoubleDouble TwoProduct(double a, double b)
{
    const double p = a * b;
    double ah = 0, al = 0, bh = 0, bl = 0;
    Split(a, ah, al);
    Split(b, bh, bl);
    return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

} // namespace double_double

inline DoubleDouble operator+(DoubleDouble a, DoubleDouble b)
{
    using namespace double_double;
    DoubleDouble s = TwoSum(a.hi, b.hi);
    const DoubleDouble t = TwoSum(a.lo, b.lo);
    s.lo += t.hi;
    s = QuickTwoSum(s.hi, s.lo);
    s.lo += t.lo;
    return QuickTwoSum(s.hi, s.lo);
}

inline DoubleDouble operator-(DoubleDouble a)
{
    return {-a.hi, -a.lo};
}

inline DoubleDouble operator-(DoubleDouble a, DoubleDouble b)
{
    return a + -b;
}

inline DoubleDouble operator*(DoubleDouble a, DoubleDouble b)
{
    using namespace double_double;
    DoubleDouble p = TwoProduct(a.hi, b.hi);
    p.lo += a.hi * b.lo + a.lo * b.hi;
    return QuickTwoSum(p.hi, p.lo);
}

// a / b for doubles, to about 106 bits.
inline DoubleDouble Divide(double a, double b)
{
    const double q = a / b;
    const DoubleDouble qb = double_double::TwoProduct(q, b);
    return double_double::QuickTwoSum(q, ((a - qb.hi) - qb.lo) / b);
}
