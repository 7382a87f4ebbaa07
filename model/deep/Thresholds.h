#pragma once
// The margins of the deep engine's error bounds and tests, each beside the
// reason for its value. u = 2^-53 is a double's unit roundoff.

namespace deep_thresholds {

// A few roundings' worth per operation of the double difference step,
// generously: 8 u.
inline constexpr double kEps = 8 * 0x1p-53;

// The same for double-double, whose unit roundoff is about u^2 = 2^-106:
// 64 of them.
inline constexpr double kEpsLow = 0x1p-100;

// The escape test reads z's doubles: w rounded to a double (u |w|, and
// |w| <= 2 |z| as every step rebases), the sum w + d (u |z|), the squares
// and their sum (about u |z| in the modulus), the square root (u / 2) and the
// radius and its square, rounded once each: 8 u of |z| is added to the
// margin of both tries.
inline constexpr double kEscapeTestEps = 8 * 0x1p-53;

// A skip keeps every d_j below 2^-50 |Z_j| (LinearSkips.h): every radius
// from index i is at most 2^-50 |Z_i| (rounded up by a few units), and
// |Z_i| <= |z| (1 + u) + |d|, so a skip needs |d| < 2^-50 |z| (1 + 2^-48)
// and |d|^2 < 2^-100 |z|^2 (1 + 2^-46) with the roundings of both squares.
// The table is read only below 2^-100 (1 + 2^-20): any looser and pixels
// just past the last skip would leave the lanes for the scalar loop on
// every step (some 100 steps each where |Z| barely grows) to find none.
inline constexpr double kSkipRatio2 = 0x1.00001p-100;

} // namespace deep_thresholds
