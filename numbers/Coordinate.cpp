#include "numbers/Coordinate.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <deque>
#include <memory>

#include "numbers/Mpfr.h"

namespace {
// The places a coordinate's text is read for when no more are asked: what
// a double's own texts reach, a thousandth of its smallest pixel.
constexpr int kDoublePlaces = 330;
} // namespace

bool DigitsHold(std::string_view digits, double value)
{
    if (digits.empty())
        return false;
    double v = 0;
    const char* end = digits.data() + digits.size();
    const auto res = std::from_chars(digits.data(), end, v, std::chars_format::general);
    return res.ec == std::errc() && res.ptr == end && std::memcmp(&v, &value, sizeof v) == 0;
}

std::string CoordinateText(double value, const std::string& digits)
{
    if (DigitsHold(digits, value))
        return digits;
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

bool NeedsDeepView(double centerX, double centerY, double pixelSize)
{
    const double size = std::max({std::fabs(centerX), std::fabs(centerY), 1.0});
    // A zero or negative size (a radius typed so) keeps the double build,
    // which draws such views as it always has.
    return pixelSize > 0 && pixelSize < 0x1p-45 * size;
}

bool NeedsDeepView(double centerX, double centerY, FloatExp pixelSize)
{
    const double size = std::max({std::fabs(centerX), std::fabs(centerY), 1.0});
    return pixelSize.m > 0 && pixelSize < FloatExp(0x1p-45) * FloatExp(size);
}

int WholeDecimals(double pixelSize)
{
    if (!(pixelSize > 0))
        return kDoublePlaces;
    if (!std::isfinite(pixelSize))
        return 0;
    return std::clamp(int(std::ceil(-std::log10(pixelSize))) + 3, 0, kMaxCoordinateDecimals);
}

int DecimalExponent(FloatExp pixelSize)
{
    const double d = pixelSize.ToDouble();
    if (d > 0x1p-1000 && std::isfinite(d))
        return int(std::ceil(-std::log10(d)));
    // log10(m 2^e); far below a double's range its rounding matters less
    // than a place more or less.
    const double l = std::log10(pixelSize.m) + double(pixelSize.e) * std::log10(2.0);
    return int(std::clamp(std::ceil(-l), -1e9, 1e9));
}

int WholeDecimals(FloatExp pixelSize)
{
    const double d = pixelSize.ToDouble();
    if (d >= 0x1p-1000 || !(pixelSize.m > 0) || !std::isfinite(pixelSize.m))
        return WholeDecimals(d);
    return std::clamp(DecimalExponent(pixelSize) + 3, 0, kMaxCoordinateDecimals);
}

namespace {

// Bits that read a decimal text of this length closer than its last digit
// can tell, whatever its exponent.
mpfr_prec_t TextBits(size_t length) { return mpfr_prec_t(4 * length + 64); }

// Bits that read a coordinate's text closer than the last of the places
// it is written with (a short text such as "0.13" is then still 0.13 at
// the last place), and than its own last digit.
mpfr_prec_t CoordinateBits(size_t length, int places = kDoublePlaces)
{
    // Up to 309 whole digits before the places.
    return std::max(TextBits(length), TextBits(309 + size_t(std::max(places, kDoublePlaces)) + 3));
}

// The lowest and highest binary places of a number's significand.
struct Span {
    mpfr_exp_t low = 0, high = 0;
    bool any = false;
    void Add(mpfr_srcptr x)
    {
        if (mpfr_zero_p(x))
            return;
        const mpfr_exp_t hi = mpfr_get_exp(x), lo = hi - mpfr_exp_t(mpfr_get_prec(x));
        low = any ? std::min(low, lo) : lo;
        high = any ? std::max(high, hi) : hi;
        any = true;
    }
    // Enough bits to hold a sum of `terms` such numbers without rounding.
    mpfr_prec_t SumBits(int terms) const
    {
        return any ? std::max<mpfr_prec_t>(MPFR_PREC_MIN, mpfr_prec_t(high - low) + 2 + terms) : MPFR_PREC_MIN;
    }
};

// The number written with `decimals` places, rounded to nearest, without
// trailing zeros, a bare point or a negative zero.
std::string Plain(mpfr_srcptr x, int decimals)
{
    char* s = nullptr;
    if (mpfr_asprintf(&s, "%.*RNf", decimals, x) < 0 || !s)
        return {};
    std::string text(s);
    mpfr_free_str(s);
    if (text.find('.') != std::string::npos) {
        while (text.back() == '0')
            text.pop_back();
        if (text.back() == '.')
            text.pop_back();
    }
    if (text == "-0")
        text = "0";
    return text;
}

// The shortest text that reads back as `value`.
std::string Shortest(double value)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, res.ptr);
}

// A decimal number as "%lf" reads one but whole: sign, digits with at most
// one point, an optional exponent, nothing else but blanks around it. Sets
// the places after the point its value needs (before trailing zeros).
bool DecimalPlaces(std::string_view text, long& places)
{
    size_t i = 0;
    auto blank = [&] {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
    };
    auto digits = [&](long& count) {
        const size_t from = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i;
        count = long(i - from);
    };
    blank();
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    long whole = 0, fraction = 0;
    digits(whole);
    if (i < text.size() && text[i] == '.') {
        ++i;
        digits(fraction);
    }
    if (whole + fraction == 0)
        return false;
    long exponent = 0;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        const char* end = text.data() + text.size();
        if (i < text.size() && text[i] == '+' && i + 1 < text.size() && text[i + 1] != '-')
            ++i;
        const auto res = std::from_chars(text.data() + i, end, exponent);
        if (res.ec != std::errc() || res.ptr == text.data() + i)
            return false;
        i = size_t(res.ptr - text.data());
    }
    blank();
    if (i != text.size())
        return false;
    places = fraction - std::clamp(exponent, long(INT_MIN), long(INT_MAX));
    return true;
}

// True when the plain decimal `digits` (no trailing zeros) is the very
// number the shortest text of `value` writes, which the deep build reads
// where a coordinate has no digits: only then may the digits go. Both are
// compared as decimals, to the last place of that text.
bool SaysTheShortest(const std::string& digits, double value)
{
    const std::string text = Shortest(value);
    long places = 0;
    MpfrReal shortest(CoordinateBits(text.size()));
    if (!DecimalPlaces(text, places) || !shortest.Parse(text))
        return false;
    return Plain(shortest.get(), int(std::clamp(places, 0L, long(INT_MAX)))) == digits;
}

} // namespace

namespace {

// The coordinate plus the steps without rounding; null when its text does
// not read (it always does where the digits hold).
std::unique_ptr<MpfrReal> ExactSum(double value, const std::string& digits, std::initializer_list<PixelStep> steps,
                                   int places = kDoublePlaces)
{
    const std::string start = CoordinateText(value, digits);
    MpfrReal base(CoordinateBits(start.size(), places));
    if (!base.Parse(start))
        return nullptr;
    // Each step is a product of two doubles, exact in twice their bits.
    std::deque<MpfrReal> terms; // MPFR numbers do not move
    Span span;
    span.Add(base.get());
    for (const PixelStep& s : steps) {
        MpfrReal& t = terms.emplace_back(2 * 53);
        mpfr_set_d(t.get(), s.pixels, MPFR_RNDN);
        mpfr_mul_d(t.get(), t.get(), s.size.m, MPFR_RNDN);
        mpfr_mul_2si(t.get(), t.get(), long(s.size.e), MPFR_RNDN);
        span.Add(t.get());
    }
    auto sum = std::make_unique<MpfrReal>(span.SumBits(int(steps.size()) + 1));
    mpfr_set(sum->get(), base.get(), MPFR_RNDN);
    for (const MpfrReal& t : terms)
        mpfr_add(sum->get(), sum->get(), t.get(), MPFR_RNDN);
    return sum;
}

} // namespace

WholeCoordinate MoveCoordinate(double value, const std::string& digits, std::initializer_list<PixelStep> steps,
                               FloatExp pixelSize)
{
    const int places = WholeDecimals(pixelSize);
    const auto sum = ExactSum(value, digits, steps, places);
    if (!sum)
        return {value, {}};
    WholeCoordinate out;
    out.digits = Plain(sum->get(), places);
    double v = 0;
    std::from_chars(out.digits.data(), out.digits.data() + out.digits.size(), v);
    out.value = v;
    if (SaysTheShortest(out.digits, v))
        out.digits.clear();
    return out;
}

double CoordinateAt(double value, const std::string& digits, std::initializer_list<PixelStep> steps)
{
    const auto sum = ExactSum(value, digits, steps);
    return sum ? mpfr_get_d(sum->get(), MPFR_RNDN) : value;
}

std::string CoordinateFixed(double value, const std::string& digits, std::initializer_list<PixelStep> steps, int places)
{
    const auto sum = ExactSum(value, digits, steps, places);
    char* s = nullptr;
    if (!sum || mpfr_asprintf(&s, "%.*RNf", std::clamp(places, 0, kMaxCoordinateDecimals), sum->get()) < 0 || !s)
        return {};
    std::string text(s);
    mpfr_free_str(s);
    return text;
}

FloatExp WideCoordinateDifference(double a, const std::string& aDigits, double b, const std::string& bDigits)
{
    const std::string ta = CoordinateText(a, aDigits), tb = CoordinateText(b, bDigits);
    // Both at the longer text's bits: a short decimal read at its own few
    // bits would be off by more than its difference from a long one.
    const mpfr_prec_t bits = std::max(CoordinateBits(ta.size()), CoordinateBits(tb.size()));
    MpfrReal x(bits), y(bits);
    if (!x.Parse(ta) || !y.Parse(tb))
        return FloatExp(a - b);
    Span span;
    span.Add(x.get());
    span.Add(y.get());
    MpfrReal d(span.SumBits(2));
    mpfr_sub(d.get(), x.get(), y.get(), MPFR_RNDN);
    if (mpfr_zero_p(d.get()))
        return FloatExp();
    long exponent = 0;
    const double m = mpfr_get_d_2exp(&exponent, d.get(), MPFR_RNDN);
    return FloatExp::Normal(m, exponent);
}

double CoordinateDifference(double a, const std::string& aDigits, double b, const std::string& bDigits)
{
    return WideCoordinateDifference(a, aDigits, b, bDigits).ToDouble();
}

std::string WholeDigits(std::string_view text, double value)
{
    long places = 0;
    if (!DecimalPlaces(text, places))
        return {};
    // A short text with a large exponent ("1e+182") is a long integer:
    // read it with the bits of every whole digit a double can have, or it
    // rounds to digits that are neither the text nor the double.
    const int kept = int(std::clamp(places, 0L, long(kMaxCoordinateDecimals)));
    MpfrReal x(CoordinateBits(text.size(), kept));
    if (!x.Parse(text))
        return {};
    const std::string digits = Plain(x.get(), kept);
    if (!DigitsHold(digits, value))
        return {};
    // Compared as decimals: the same number typed with other zeros or in
    // another form reads into other bits.
    return SaysTheShortest(digits, value) ? std::string() : digits;
}
