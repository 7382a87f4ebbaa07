#pragma once
// The parts of one point's iteration that every variant shares, with
// internal linkage: each instruction-set file gets its own copy, so none
// can leak into code meant for another processor.

#include <cmath>

#include "imaging/CellGrid.h"
#include "model/kernels/MandelbrotKernel.h"

namespace mandelbrot_point {

constexpr float kInsideValue = 1e10f;

// The escaped point's cell from P and z_m.
[[gnu::always_inline]] static inline MandelbrotPixel Escaped(double pr, double pi, double zr, double zi, double m2)
{
    MandelbrotPixel out;
    double re = (pr * zr + pi * zi) / m2;
    double im = (pi * zr - pr * zi) / m2;
    // Only the ratio's direction is painted; keep it within float range.
    for (int s = 0; s < 40 && (std::fabs(re) > 1e38 || std::fabs(im) > 1e38); ++s) {
        re = std::ldexp(re, -64);
        im = std::ldexp(im, -64);
    }
    // Nor may it vanish among the float subnormals.
    for (int s = 0; s < 40 && std::fabs(re) < 1e-30 && std::fabs(im) < 1e-30 && (re != 0 || im != 0); ++s) {
        re = std::ldexp(re, 64);
        im = std::ldexp(im, 64);
    }
    out.re = float(re);
    out.im = float(im);
    out.value = m2 < 3e38 ? float(m2) : 3e38f;
    return out;
}

// A point's result into its cell: the ratio, |z_m|^2 and the count, and
// zeros in the other fields a cleared grid has, so a build need not clear
// the cells it writes.
[[gnu::always_inline]] static inline void Store(const MandelbrotPixel& p, PixelRecord& cell)
{
    cell.z = 0;
    cell.nz = 0;
    cell.nx = p.re;
    cell.ny = p.im;
    cell.value = p.value;
    cell.state = p.count;
}

// An inside point's cell.
[[gnu::always_inline]] static inline void StoreInside(PixelRecord& cell)
{
    MandelbrotPixel p;
    p.value = kInsideValue;
    Store(p, cell);
}

// The product can outgrow a double over many iterations, or shrink where
// the orbit lingers near 0 and lose its digits (and its speed) among the
// subnormals; scaling it by a power of two keeps its direction exact.
[[gnu::always_inline]] static inline bool NeedsScaling(double pr, double pi)
{
    return std::fabs(pr) > 0x1p500 || std::fabs(pi) > 0x1p500 || (std::fabs(pr) < 0x1p-500 && std::fabs(pi) < 0x1p-500);
}

[[gnu::always_inline]] static inline void Scale(double& pr, double& pi)
{
    if (std::fabs(pr) > 0x1p500 || std::fabs(pi) > 0x1p500) {
        pr = std::ldexp(pr, -500);
        pi = std::ldexp(pi, -500);
    } else if (std::fabs(pr) < 0x1p-500 && std::fabs(pi) < 0x1p-500) {
        pr = std::ldexp(pr, 500);
        pi = std::ldexp(pi, 500);
    }
}

} // namespace mandelbrot_point
