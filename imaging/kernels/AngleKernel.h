#pragma once
// The angle colouring of a row of plane cells: each channel is
// trunc(128 - 127 cos(theta * freq + shift)), theta = atan2(ny, nx), with
// libm's atan2 and cos deciding the bytes. The vector variants compute
// both by polynomials with a bounded error and give a channel its level
// wherever the level's edges lie farther than the bound; the others, and
// special cells, take the libm formula, so every variant paints the
// scalar loop's bytes.

#include <cstdint>

#include "imaging/kernels/KernelIsa.h"

struct PixelRecord;

// Pixels the lanes take at a time (a multiple of every vector width).
constexpr int kAngleChunk = 64;
// Phases beyond this fall back to libm: the lanes' reduction by pi/2 is
// exact only below it.
constexpr double kAngleLanePhaseLimit = 0x1p24;
// Whole frequencies up to this size take the cosine from the cell's unit
// vector raised to the frequency's power instead of from the angle: no
// series and no table, and a bound a thousand times tighter.
constexpr int kAnglePowerLimit = 8;

// The parts of the bound, in units of u = 2^-53 (AngleKernel.cpp adds
// them up): the lanes' angle against the true atan2 of the cell's vector,
// libm's atan2 (2 ulps on (-pi, pi]), the lanes' cosine against the true
// cosine of their phase below kAngleLanePhaseLimit, libm's cos (2 ulps).
constexpr double kLaneAngleError = 60, kLibmAngleError = 8;
constexpr double kLaneCosineError = 54700, kLibmCosineError = 2;
// The power's cosine against the true cos(f theta + s), for |f| = power.
constexpr double LanePowerError(int power) { return 7.0 * power + 6; }

// The scalar channel: 128 - 127 cos(phase), truncated, 1..255; a phase
// whose cosine is not finite gives mid grey.
uint8_t AngleChannel(double phase);

// How each distinct channel is computed. Channels with equal frequency
// and shift are computed once (the defaults give grey).
struct AnglePlan {
    enum Mode : uint8_t { kLanes, kConstant, kLibm };
    struct Channel {
        double freq = 0, shift = 0;
        double bound = 0; // of |lanes' 128 - 127 cos - libm's|
        // AnglePower(freq), and libm's cos s and sin s (negated for a
        // negative power) that turn the unit vector's power by the shift.
        int power = 0;
        double cosShift = 1, sinShift = 0;
        Mode mode = kLibm;
        uint8_t constant = 0; // kConstant: the level of every finite theta
    };
    int count = 0;
    Channel channel[3];
    int red = 0, green = 0, blue = 0; // indices into channel
};

AnglePlan MakeAnglePlan(double red, double green, double blue, double redShift, double greenShift, double blueShift);

// The largest difference between the lanes' 128 - 127 cos(theta f + s)
// and libm's, over every theta of a cell's angle; +inf when unbounded.
double AngleLevelBound(double freq, double shift);

// The whole f the lanes raise the unit vector to, or 0 where they take the
// angle's series.
int AnglePower(double freq);

// Paints one row of cells, blue, green, red per pixel; cells whose value
// is kBackgroundValue or more get `background` in all three. Returns how
// many channels of the row took the libm formula in a vector variant.
int PaintAngleRow(KernelIsa isa, const AnglePlan& plan, const PixelRecord* cells, int width, uint8_t background,
                  uint8_t* out);

// What the lanes of one chunk compute: up to three channels.
struct AngleLaneJob {
    int count = 0;
    double freq[3] = {}, shift[3] = {}, bound[3] = {};
    // A channel with power p != 0 is cos(p theta) cos s - sin(p theta) sin s
    // with libm's cos s and sin s: sinShift is negated for p < 0.
    int power[3] = {};
    double cosShift[3] = {}, sinShift[3] = {};
    // Whether a phase can reach kAngleLanePhaseLimit, and must be tested.
    bool phaseChecked[3] = {};
};

// For tests of the bound: the lanes' angle of (x, y) and cosine of phase
// for n a multiple of 8.
void ProbeAngleLanes(KernelIsa isa, const double* x, const double* y, const double* phase, int n, double* theta,
                     double* cosine);
// The lanes' cos(power theta + shift) of (x, y), for n a multiple of 8.
void ProbeAnglePower(KernelIsa isa, const double* x, const double* y, int power, double shift, int n, double* cosine);
