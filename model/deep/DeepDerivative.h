#pragma once
// dz/dp of a deep pixel, carried beside its difference for the Distance
// colouring (DeepJob::distance), and the estimate made from it. The
// derivative grows past a double's range at the depths these views reach,
// roughly as the inverse of the pixel size. Internal to model/deep.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "model/deep/FloatExp.h"

namespace deep_pixel {

template <class T>
struct Derivative;

// In the double form: two doubles times 2^scale, moved by 2^500 whenever
// they pass 2^500 or fall below 2^-500, so a step costs a double's complex
// product and a compare; `one` is 1 in those units (0 once it is below a
// double's range, where it cannot move the sum anyway).
template <>
struct Derivative<double> {
    static constexpr int kShift = 500;
    double re = 0, im = 0, one = 1;
    int64_t scale = 0;

    void Start(FloatExp dz0)
    {
        re = dz0.ToDouble();
        im = 0;
        one = 1;
        scale = 0;
    }
    // dz <- 2 z dz (+ 1 where p is c), with z before its step.
    [[gnu::always_inline]] void Step(double zr, double zi, bool plusOne)
    {
        const double t = 2 * (zr * re - zi * im) + (plusOne ? one : 0.0);
        im = 2 * (zr * im + zi * re);
        re = t;
        Rescale();
    }
    // dz <- A dz + B across a skip (B is the derivative of B dc).
    void Skip(double ar, double ai, double br, double bi)
    {
        const double t = ar * re - ai * im + br * one;
        im = ar * im + ai * re + bi * one;
        re = t;
        Rescale();
    }
    FloatExp Re() const { return FloatExp::Normal(re, scale); }
    FloatExp Im() const { return FloatExp::Normal(im, scale); }
    // Whether the doubles lie where no rescale moves them: the lanes step
    // only such a derivative and hand it back once it leaves, and Rescale
    // then does what it would have done after the step.
    static bool InRange(double re, double im)
    {
        const double top = std::max(std::fabs(re), std::fabs(im));
        return !(top > 0x1p500) && !(top < 0x1p-500 && top > 0);
    }
    [[gnu::always_inline]] void Rescale()
    {
        const double top = std::max(std::fabs(re), std::fabs(im));
        if (top > 0x1p500) [[unlikely]]
            Shift(kShift);
        else if (top < 0x1p-500 && top > 0 && scale > -kShift) [[unlikely]]
            Shift(-kShift);
    }

private:
    void Shift(int by)
    {
        re = std::ldexp(re, -by);
        im = std::ldexp(im, -by);
        scale += by;
        one = scale > 1022 ? 0.0 : FloatExp::PowerOfTwo(-scale);
    }
};

// In the wide form, FloatExp throughout.
template <>
struct Derivative<FloatExp> {
    FloatExp re, im;

    void Start(FloatExp dz0)
    {
        re = dz0;
        im = FloatExp();
    }
    void Step(FloatExp zr, FloatExp zi, bool plusOne)
    {
        const FloatExp two(2.0);
        const FloatExp t = two * (zr * re - zi * im);
        im = two * (zr * im + zi * re);
        re = plusOne ? t + FloatExp(1.0) : t;
    }
    void Skip(FloatExp ar, FloatExp ai, FloatExp br, FloatExp bi)
    {
        const FloatExp t = ar * re - ai * im + br;
        im = ar * im + ai * re + bi;
        re = t;
    }
    FloatExp Re() const { return re; }
    FloatExp Im() const { return im; }
};

// The exterior distance estimate |z| ln|z| / |dz/dp| of an escaped z with
// |z|^2 = m2, in pixels: the ratio is worked in the wide form, as |dz| and
// the pixel size of a deep view both lie past a double's range. The double
// build's figure to its roundings; 0 where the derivative vanished.
inline float PixelDistance(FloatExp m2, FloatExp dzr, FloatExp dzi, FloatExp pixel)
{
    const FloatExp dz = Sqrt(dzr * dzr + dzi * dzi);
    if (!(m2.m > 0) || dz.m == 0 || !(pixel.m > 0))
        return 0;
    const double logM2 = std::log(m2.m) + double(m2.e) * std::numbers::ln2;
    const double pixels = (Sqrt(m2) * FloatExp(0.5 * logM2) / (dz * pixel)).ToDouble();
    return pixels >= 0 ? float(std::min(pixels, 1e30)) : 0.0f;
}

} // namespace deep_pixel
