#pragma once
// The Mandelbrot/Julia iteration over a run of pixels of one row, in one
// variant per instruction set, chosen at run time from what the processor
// reports. Every variant gives the bits the scalar loop gives: the same
// operations in the same order, no contraction into fused multiply-adds.

#include <atomic>
#include <cstdint>

#include "imaging/kernels/KernelIsa.h"

struct PixelRecord;

// One point's result. Escaped: the ratio (P / z_m) into (re, im), |z_m|^2
// into value and m, the squarings it took, into count. Inside: value 1e10,
// the ratio and the count 0. A `stop` seen set (looked at every 65536
// iterations) ends it early with `stopped`.
struct MandelbrotPixel {
    float re = 0, im = 0, value = 0;
    int32_t count = 0;
    bool stopped = false;
};

// The scalar loop, one point at a time.
MandelbrotPixel IterateMandelbrotPoint(double z0Re, double z0Im, double cRe, double cIm, double radius2,
                                       int maxIterations, const std::atomic<bool>* stop = nullptr);
// The same loop carrying dz/dp beside z, for a point p whose z0 is p * dz0
// (1 for the Mandelbrot set, 1/g for a Julia set; `julia` drops the +1 that
// c = p adds). An escaped point also gives the exterior distance estimate
// |z| log|z| / |dz/dp| into *distance; an inside point 0.
MandelbrotPixel IterateMandelbrotPointDistance(double z0Re, double z0Im, double cRe, double cIm, bool julia, double dz0,
                                               double radius2, int maxIterations, const std::atomic<bool>* stop,
                                               double* distance);

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

// Fills (nx, ny, value, state = count) of row[j] for j in [begin, end).
// False when stopped part way; the cells not reached keep what they held.
bool IterateMandelbrotRow(KernelIsa isa, const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);
// As the scalar variant, with the distance estimate in pixels of job.d in
// each cell's step too (0 inside). Only the Distance colouring pays for it.
bool IterateMandelbrotRowDistance(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row);
