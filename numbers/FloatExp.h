#pragma once
// A double mantissa with its own 64-bit exponent, for the differences and
// orbit values of views deeper than a double's range: value = m * 2^e, with
// |m| in [0.5, 1) or m = 0 (and then e = 0).
//
// While both operands and the result lie in a double's normal range, every
// operation rounds exactly as the same operation on doubles: a product is
// one rounded product of the mantissas, a sum one rounded sum after an
// exact shift. Tests rely on this to compare the two forms bit for bit.

#include <bit>
#include <cmath>
#include <cstdint>
#include <utility>

struct FloatExp {
    double m = 0;
    int64_t e = 0;

    FloatExp() = default;
    FloatExp(double v) { *this = Normal(v, 0); } // NOLINT: a double is a FloatExp

    [[gnu::always_inline]] static FloatExp Normal(double mantissa, int64_t exponent)
    {
        FloatExp r;
        if (mantissa == 0)
            return r;
        // A normal double is split by its bits, as frexp would split it but
        // without the call: every operation here normalises its result.
        const uint64_t bits = std::bit_cast<uint64_t>(mantissa);
        const int64_t field = int64_t((bits >> 52) & 0x7FF);
        if (field != 0 && field != 0x7FF) {
            r.m = std::bit_cast<double>((bits & ~(uint64_t(0x7FF) << 52)) | (uint64_t(1022) << 52));
            r.e = exponent + field - 1022;
            return r;
        }
        int shift = 0;
        r.m = std::frexp(mantissa, &shift);
        r.e = exponent + shift;
        return r;
    }

    // 2^k for -1022 <= k <= 1023, exactly.
    static double PowerOfTwo(int64_t k) { return std::bit_cast<double>(uint64_t(k + 1023) << 52); }

    // The nearest double: 0 below its range, infinite above it.
    double ToDouble() const
    {
        if (e > 4096)
            return std::ldexp(m, 4096);
        if (e < -4096)
            return std::ldexp(m, -4096);
        return std::ldexp(m, int(e));
    }

    FloatExp operator-() const
    {
        FloatExp r = *this;
        r.m = -r.m;
        return r;
    }
};

// Always inlined: out of line, the calls were a third of the instructions
// a wide pixel takes through its skips.
[[gnu::always_inline]] inline FloatExp operator*(FloatExp a, FloatExp b)
{
    return FloatExp::Normal(a.m * b.m, a.e + b.e);
}

[[gnu::always_inline]] inline FloatExp operator/(FloatExp a, FloatExp b)
{
    return FloatExp::Normal(a.m / b.m, a.e - b.e);
}

[[gnu::always_inline]] inline FloatExp operator+(FloatExp a, FloatExp b)
{
    if (b.m == 0)
        return a;
    if (a.m == 0)
        return b;
    if (a.e < b.e)
        std::swap(a, b);
    // Below 2^-60 of the larger the smaller cannot move the rounded sum.
    const int64_t shift = b.e - a.e;
    if (shift < -60)
        return a;
    // |b.m| >= 0.5 and shift >= -60: the scaled mantissa is normal and exact.
    return FloatExp::Normal(a.m + b.m * FloatExp::PowerOfTwo(shift), a.e);
}

[[gnu::always_inline]] inline FloatExp operator-(FloatExp a, FloatExp b) { return a + -b; }

inline bool operator<(FloatExp a, FloatExp b)
{
    const bool negative = a.m < 0;
    if (a.m == 0 || b.m == 0 || negative != (b.m < 0))
        return a.m < b.m;
    if (a.e != b.e)
        return negative ? a.e > b.e : a.e < b.e;
    return a.m < b.m;
}

inline bool operator>(FloatExp a, FloatExp b) { return b < a; }

inline bool operator<=(FloatExp a, FloatExp b) { return !(b < a); }

inline FloatExp Abs(FloatExp a)
{
    a.m = std::fabs(a.m);
    return a;
}

[[gnu::always_inline]] inline FloatExp Sqrt(FloatExp a)
{
    if (a.m <= 0)
        return FloatExp(std::sqrt(a.m));
    // An even exponent halves exactly.
    const bool odd = (a.e & 1) != 0;
    return FloatExp::Normal(std::sqrt(odd ? 2 * a.m : a.m), (odd ? a.e - 1 : a.e) / 2);
}

inline double Abs(double a) { return std::fabs(a); }

inline double Sqrt(double a) { return std::sqrt(a); }
