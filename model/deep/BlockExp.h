#pragma once
// The wide form's values in the scalar loop: a double mantissa with an
// exponent in blocks of 2^512, value = m * 2^(512 b), with |m| in
// [2^-256, 2^256) or m = 0 (and then b = 0). Internal to model/deep.
//
// FloatExp rounds every operation once, correctly, with no limit on the
// exponent; so does this, with far less work: the mantissas of two values
// of one block (nearly all of them) are added or multiplied as plain
// doubles, which can then neither overflow nor leave the normal doubles,
// and a result outside the mantissa's range moves one block, exactly. A
// sum of values whose blocks differ by one scales the smaller mantissa by
// 2^-512, exactly (it stays above 2^-768); by more, the smaller is below
// 2^-500 of the larger and the rounded sum is the larger, as FloatExp
// finds it. Both forms therefore hold the same real numbers after every
// operation, and a run in either gives the other's bits.
//
// No infinity or NaN comes of these operations; a NaN given to one is not
// followed as FloatExp follows it, and must not be given.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "numbers/FloatExp.h"

struct BlockExp {
    double m = 0;
    int64_t b = 0;

    static constexpr double kDown = 0x1p-512, kUp = 0x1p512;

    BlockExp() = default;
    [[gnu::always_inline]] BlockExp(double v) { *this = Normal(v, 0); } // NOLINT: a double is one

    // m * 2^(512 b) for a finite m.
    [[gnu::always_inline]] static BlockExp Normal(double m, int64_t b)
    {
        // Within the range the exponent field is 767 to 1278: one compare.
        if (((std::bit_cast<uint64_t>(m) >> 52) & 0x7FF) - 767 < 512) [[likely]] {
            BlockExp r;
            r.m = m;
            r.b = b;
            return r;
        }
        return Renormal(m, b);
    }

    // The rest: a zero, a product or sum just past the range, a sum of one
    // block's mantissa and the next one's cancelled far below it, a double
    // from outside.
    [[gnu::noinline]] static BlockExp Renormal(double m, int64_t b)
    {
        return m == 0 ? BlockExp() : Of(FloatExp::Normal(m, 512 * b));
    }

    // FloatExp's mantissa in [0.5, 1) times 2^e, with 512 b as near e as
    // the range allows: the mantissa's exponent is then within it.
    [[gnu::always_inline]] static BlockExp Of(FloatExp x)
    {
        BlockExp r;
        if (x.m == 0)
            return r;
        const int64_t block = (x.e + 255) >> 9; // floor((e + 255) / 512)
        const int64_t field = 1022 + x.e - 512 * block;
        r.m =
            std::bit_cast<double>((std::bit_cast<uint64_t>(x.m) & ~(uint64_t(0x7FF) << 52)) | (uint64_t(field) << 52));
        r.b = block;
        return r;
    }

    // The exponent FloatExp gives this value (m's own plus the blocks').
    [[gnu::always_inline]] int64_t Exponent() const
    {
        return int64_t((std::bit_cast<uint64_t>(m) >> 52) & 0x7FF) - 1022 + 512 * b;
    }

    [[gnu::always_inline]] FloatExp Wide() const
    {
        FloatExp r;
        if (m == 0)
            return r;
        r.m = std::bit_cast<double>((std::bit_cast<uint64_t>(m) & ~(uint64_t(0x7FF) << 52)) | (uint64_t(1022) << 52));
        r.e = Exponent();
        return r;
    }

    BlockExp operator-() const
    {
        BlockExp r = *this;
        r.m = -r.m;
        return r;
    }
};

// The larger exponent of two values not both zero, as FloatExp gives it.
[[gnu::always_inline]] inline int64_t TopExponent(BlockExp x, BlockExp y)
{
    return x.m == 0 ? y.Exponent() : y.m == 0 ? x.Exponent() : std::max(x.Exponent(), y.Exponent());
}

[[gnu::always_inline]] inline BlockExp operator*(BlockExp x, BlockExp y)
{
    return BlockExp::Normal(x.m * y.m, x.b + y.b);
}

[[gnu::always_inline]] inline BlockExp operator+(BlockExp x, BlockExp y)
{
    if (x.b == y.b) [[likely]]
        return BlockExp::Normal(x.m + y.m, x.b);
    // A zero has block 0, and is the smaller operand whatever its block.
    if (y.m == 0)
        return x;
    if (x.m == 0)
        return y;
    if (x.b < y.b)
        std::swap(x, y);
    if (x.b - y.b > 1)
        return x;
    return BlockExp::Normal(x.m + y.m * BlockExp::kDown, x.b);
}

[[gnu::always_inline]] inline BlockExp operator-(BlockExp x, BlockExp y) { return x + -y; }

// Values of a higher block are larger in size; the sign decides first.
[[gnu::always_inline]] inline bool operator<(BlockExp x, BlockExp y)
{
    if (x.b == y.b || x.m == 0 || y.m == 0 || (x.m < 0) != (y.m < 0))
        return x.m < y.m;
    return (x.b < y.b) != (x.m < 0);
}

[[gnu::always_inline]] inline bool operator>(BlockExp x, BlockExp y) { return y < x; }
[[gnu::always_inline]] inline bool operator<=(BlockExp x, BlockExp y) { return !(y < x); }
[[gnu::always_inline]] inline bool operator>=(BlockExp x, BlockExp y) { return !(x < y); }

[[gnu::always_inline]] inline BlockExp Abs(BlockExp x)
{
    x.m = std::fabs(x.m);
    return x;
}

// An odd block lends 2^512 to the mantissa, which stays below 2^768.
[[gnu::always_inline]] inline BlockExp Sqrt(BlockExp x)
{
    const bool odd = (x.b & 1) != 0;
    return BlockExp::Normal(std::sqrt(odd ? x.m * BlockExp::kUp : x.m), (odd ? x.b - 1 : x.b) / 2);
}
