#include "numbers/WideSize.h"

#include <cfloat>
#include <cstring>

#include "numbers/Mpfr.h"

namespace {

// Below this a double loses bits (or the size altogether).
bool BelowNormal(FloatExp size) { return size.m > 0 && size < FloatExp(DBL_MIN); }

bool SameDouble(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

} // namespace

SizeRead ReadSize(std::string_view text, FloatExp& out)
{
    MpfrReal x(53);
    mpfr_clear_flags();
    if (!x.Parse(text))
        return SizeRead::kNotANumber;
    // A text past MPFR's own range rounds to 0 or infinity; past the
    // deepest view it is refused all the same.
    const bool under = mpfr_underflow_p() != 0, over = mpfr_overflow_p() != 0;
    if (over)
        return SizeRead::kTooLarge;
    if (under)
        return SizeRead::kTooSmall;
    if (mpfr_zero_p(x.get())) {
        out = FloatExp();
        return SizeRead::kRead;
    }
    long exponent = 0;
    const double m = mpfr_get_d_2exp(&exponent, x.get(), MPFR_RNDN);
    out = FloatExp::Normal(m, exponent);
    return SizeRead::kRead;
}

std::string SizeText(FloatExp size)
{
    MpfrReal x(53);
    mpfr_set_d(x.get(), size.m, MPFR_RNDN);
    mpfr_mul_2si(x.get(), x.get(), long(size.e), MPFR_RNDN);
    std::string text;
    for (int places = 0; places < 17; ++places) {
        char* s = nullptr;
        if (mpfr_asprintf(&s, "%.*RNe", places, x.get()) < 0 || !s)
            return {};
        text = s;
        mpfr_free_str(s);
        FloatExp back;
        if (ReadSize(text, back) == SizeRead::kRead && back.m == size.m && back.e == size.e)
            break;
    }
    return text;
}

bool SizeDigitsHold(std::string_view digits, double value)
{
    FloatExp size;
    return !digits.empty() && ReadSize(digits, size) == SizeRead::kRead && BelowNormal(size) &&
           SameDouble(size.ToDouble(), value);
}

FloatExp WideSize(double value, const std::string& digits)
{
    FloatExp size;
    if (SizeDigitsHold(digits, value) && ReadSize(digits, size) == SizeRead::kRead)
        return size;
    return FloatExp(value);
}

WholeSize SizeOf(FloatExp size)
{
    WholeSize out{size.ToDouble(), {}};
    if (BelowNormal(size))
        out.digits = SizeText(size);
    return out;
}

FloatExp PixelOfHalf(double value, const std::string& digits, unsigned pixels)
{
    const double n = double(pixels == 0 ? 1 : pixels);
    if (!SizeDigitsHold(digits, value)) {
        const double d = 2 * value / n;
        if (!(d > 0) || d >= DBL_MIN)
            return FloatExp(d);
    }
    return WideSize(value, digits) * FloatExp(2.0) / FloatExp(n);
}
