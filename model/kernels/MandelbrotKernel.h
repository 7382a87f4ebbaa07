#pragma once
// The Mandelbrot/Julia iteration over a run of pixels of one row, in one
// variant per instruction set, chosen at run time from what the processor
// reports. Every variant gives the bits the scalar loop gives: the same
// operations in the same order, no contraction into fused multiply-adds.

#include <atomic>

#include "imaging/kernels/KernelIsa.h"

struct PixelRecord;

// One point's result. Escaped: the ratio (P / z_m) into (re, im) and
// |z_m|^2 into value. Inside: value 1e10 and the ratio 0. A `stop` seen set
// (looked at every 65536 iterations) ends it early with `stopped`.
struct MandelbrotPixel {
    float re = 0, im = 0, value = 0;
    bool stopped = false;
};

// The scalar loop, one point at a time.
MandelbrotPixel IterateMandelbrotPoint(double z0Re, double z0Im, double cRe, double cIm, double radius2,
                                       int maxIterations, const std::atomic<bool>* stop = nullptr);

// What one row asks. Pixel j lies at x = x0 + j * d, y; the Mandelbrot set
// starts at z0 = c = (x, y), a Julia set at z0 = (x / g, y / g), c = (cRe, cIm).
struct MandelbrotRowJob {
    double x0 = 0, d = 0, y = 0;
    bool julia = false;
    double g = 1, cRe = 0, cIm = 0;
    double radius2 = 0;
    int maxIterations = 0;
    const std::atomic<bool>* stop = nullptr;
};

// Fills (nx, ny, value) of row[j] for j in [begin, end). False when stopped
// part way; the cells not reached keep what they held.
bool IterateMandelbrotRow(KernelIsa isa, const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);
