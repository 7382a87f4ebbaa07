#pragma once
// Numbers held as an unevaluated sum hi + lo of two doubles, about 106 bits:
// the second try at a doubtful deep pixel, far cheaper than an MPFR orbit of
// its own. Products split their factors (no fused multiply-add), so every
// build rounds alike. Written once over a lane type V (DeepLaneLoop.h): the
// scalar DoubleDouble is its width-1 instance, so the lanes of the second
// try round exactly as it does.

#include "model/deep/ScalarLane.h"

template <class V>
struct DoubleDoubleOf {
    typename V::D hi{}, lo{};
};

using DoubleDouble = DoubleDoubleOf<ScalarLane>;

namespace double_double {

template <class V, class D = typename V::D>
[[gnu::always_inline]] inline DoubleDoubleOf<V> QuickTwoSum(D a, D b)
{
    const D s = V::Add(a, b);
    return {s, V::Sub(b, V::Sub(s, a))};
}

template <class V, class D = typename V::D>
[[gnu::always_inline]] inline DoubleDoubleOf<V> TwoSum(D a, D b)
{
    const D s = V::Add(a, b), v = V::Sub(s, a);
    return {s, V::Add(V::Sub(a, V::Sub(s, v)), V::Sub(b, v))};
}

template <class V, class D = typename V::D>
[[gnu::always_inline]] inline void Split(D a, D& hi, D& lo)
{
    const D t = V::Mul(V::Set1(134217729.0), a); // 2^27 + 1
    hi = V::Sub(t, V::Sub(t, a));
    lo = V::Sub(a, hi);
}

template <class V, class D = typename V::D>
[[gnu::always_inline]] inline DoubleDoubleOf<V> TwoProduct(D a, D b)
{
    const D p = V::Mul(a, b);
    D ah{}, al{}, bh{}, bl{};
    Split<V>(a, ah, al);
    Split<V>(b, bh, bl);
    return {p, V::Add(V::Add(V::Add(V::Sub(V::Mul(ah, bh), p), V::Mul(ah, bl)), V::Mul(al, bh)), V::Mul(al, bl))};
}

template <class V>
[[gnu::always_inline]] inline DoubleDoubleOf<V> Add(DoubleDoubleOf<V> a, DoubleDoubleOf<V> b)
{
    DoubleDoubleOf<V> s = TwoSum<V>(a.hi, b.hi);
    const DoubleDoubleOf<V> t = TwoSum<V>(a.lo, b.lo);
    s.lo = V::Add(s.lo, t.hi);
    s = QuickTwoSum<V>(s.hi, s.lo);
    s.lo = V::Add(s.lo, t.lo);
    return QuickTwoSum<V>(s.hi, s.lo);
}

template <class V>
[[gnu::always_inline]] inline DoubleDoubleOf<V> Neg(DoubleDoubleOf<V> a)
{
    return {V::Neg(a.hi), V::Neg(a.lo)};
}

template <class V>
[[gnu::always_inline]] inline DoubleDoubleOf<V> Sub(DoubleDoubleOf<V> a, DoubleDoubleOf<V> b)
{
    return Add<V>(a, Neg<V>(b));
}

template <class V>
[[gnu::always_inline]] inline DoubleDoubleOf<V> Mul(DoubleDoubleOf<V> a, DoubleDoubleOf<V> b)
{
    DoubleDoubleOf<V> p = TwoProduct<V>(a.hi, b.hi);
    p.lo = V::Add(p.lo, V::Add(V::Mul(a.hi, b.lo), V::Mul(a.lo, b.hi)));
    return QuickTwoSum<V>(p.hi, p.lo);
}

} // namespace double_double

inline DoubleDouble operator+(DoubleDouble a, DoubleDouble b) { return double_double::Add<ScalarLane>(a, b); }
inline DoubleDouble operator-(DoubleDouble a) { return double_double::Neg<ScalarLane>(a); }
inline DoubleDouble operator-(DoubleDouble a, DoubleDouble b) { return double_double::Sub<ScalarLane>(a, b); }
inline DoubleDouble operator*(DoubleDouble a, DoubleDouble b) { return double_double::Mul<ScalarLane>(a, b); }

// a / b for doubles, to about 106 bits.
inline DoubleDouble Divide(double a, double b)
{
    const double q = a / b;
    const DoubleDouble qb = double_double::TwoProduct<ScalarLane>(q, b);
    return double_double::QuickTwoSum<ScalarLane>(q, ((a - qb.hi) - qb.lo) / b);
}
