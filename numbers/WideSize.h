#pragma once
// A view's half size (the "radius" row) past a double's range. Below the
// smallest normal double the double beside it keeps only its nearest value
// (few bits, or 0), and the size is kept as decimal digits with an exponent
// ("1.2345e-1000") that read back to the very FloatExp the arithmetic made.
// As with a whole centre, the digits count only while that FloatExp's
// nearest double is the one beside them, so code that sets the double
// alone drops them. Sizes a double holds keep the double alone.

#include <cstdint>
#include <string>
#include <string_view>

#include "numbers/FloatExp.h"

// The deepest half size a view may have: 10^-kDeepestSizeExponent. The
// centre's digits (kMaxCoordinateDecimals) and file lines follow from it.
constexpr int kDeepestSizeExponent = 100000;
// The FloatExp exponent of that size (0.57 x 2^-332192); smaller is refused.
constexpr int64_t kDeepestBinaryExponent = -332192;

struct WholeSize {
    double value = 0;
    std::string digits; // empty where `value` holds the size
};

// True when `digits` read (ReadSize) to a size below the normal doubles
// whose nearest double is `value`.
bool SizeDigitsHold(std::string_view digits, double value);
// The size the double and its digits hold.
FloatExp WideSize(double value, const std::string& digits);
// The double and, below the normal doubles, the digits that keep `size`.
WholeSize SizeOf(FloatExp size);
// The fewest significant digits, in exponent form, that read back as `size`.
std::string SizeText(FloatExp size);

// A decimal text read whole as a size (nearest, to a double's 53 bits),
// whatever its exponent: only texts past MPFR's range are too small or
// too large. The deepest radius is the reader's to enforce.
enum class SizeRead { kRead, kNotANumber, kTooSmall, kTooLarge };
SizeRead ReadSize(std::string_view text, FloatExp& out);

// The pixel of a view of that half size over `pixels` pixels, 2 half /
// pixels: the doubles' quotient wherever it is a normal double (so every
// view they could show keeps its bytes), else the exact FloatExp one.
FloatExp PixelOfHalf(double value, const std::string& digits, unsigned pixels);
