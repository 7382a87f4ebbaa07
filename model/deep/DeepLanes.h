#pragma once
// The ordinary difference steps of deep pixels, several pixels at once (one
// per vector lane), in one variant per instruction set chosen like the
// Mandelbrot kernels. Pixels of the double form step here, and those of the
// wide form held in doubles (DeepLaneView::wide); everything else a
// pixel may need (a skip, an escape, a poll of the stop flag, the end of its
// iterations, rescaling a tiny z or the derivative) stays with the scalar loop in
// DeepPixel.h, which gets the pixel back at exactly the step it reached.
//
// A lane performs the scalar loop's operations in the scalar order, so a
// pixel's cell, count and doubt do not depend on which code stepped it.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "model/deep/DeepStep.h"
#include "model/deep/DoubleDouble.h"
#include "model/kernels/MandelbrotKernel.h"

// What the lanes read of the view: the two orbits (0: the one pixels
// start on, 1: the one they rebase to) and the scalar loop's constants.
struct DeepLaneView {
    const double* re[2] = {nullptr, nullptr};
    const double* im[2] = {nullptr, nullptr};
    size_t size[2] = {0, 0};
    bool skips[2] = {false, false}; // the orbit has a skip table
    double radius2 = 0, radius = 0, eps = 0;
    // The pixels carry dz/dp (DeepDerivative.h): dz <- 2 z dz, + 1 in the
    // units of the derivative's scale unless julia.
    bool distance = false, julia = false;
    // FloatExp pixels held in doubles: a lane steps only where the doubles
    // round every operation as FloatExp does (deep_lanes::WideBits), and
    // the orbits' doubles are NaN where they are not the wide values.
    bool wide = false;
};

// One pixel at the top of step k (k >= 0), as the scalar loop holds it,
// and where the lanes find its orbit.
struct DeepLanePixel : deep_step::PixelAt<ScalarLane> {
    int slot = 0; // the feed's own reference to the pixel
    int orbit = 0;
    int limit = 0; // the step at which the scalar loop must look (poll or end)
    // With DeepLaneView::distance, the derivative's doubles and its 1.
    double dzr = 0, dzi = 0, dzOne = 0;
    // A wide pixel whose d, dc and bound are its FloatExp values times a
    // power of two above 1, chosen by the feed, which keeps it.
    bool scaled = false;
};

// The scalar side: hands out pixels ready for ordinary steps and takes
// back those that need more.
class DeepLaneFeed {
public:
    virtual ~DeepLaneFeed() = default;
    // The next pixel of the run in `px`, or false when none is left.
    virtual bool Next(DeepLanePixel& px) = 0;
    // Continues `px` in scalar code: true when it is ready for ordinary
    // steps again (px updated), false when it has finished.
    virtual bool Back(DeepLanePixel& px) = 0;
};

// Steps every pixel the feed gives until all have finished; the number of
// ordinary steps taken in lanes. `isa` must be a vector one and supported.
int64_t RunDeepLanes(KernelIsa isa, const DeepLaneView& view, DeepLaneFeed& feed);

// The second try at doubtful pixels: the same steps with the differences in
// double-double, one by one, about the orbits read to 106 bits, with a bound
// that adds the orbits' own MPFR roundings (`orbitUnit` of the moduli each
// step adds up). Each pixel runs in lanes from start to end.
struct DeepLowView {
    const double* re[2] = {nullptr, nullptr};
    const double* im[2] = {nullptr, nullptr};
    const double* reLow[2] = {nullptr, nullptr};
    const double* imLow[2] = {nullptr, nullptr};
    size_t size[2] = {0, 0};
    double radius2 = 0, radius = 0, orbitUnit = 0, cAbs = 0;
    int maxIterations = 0;
    const std::atomic<bool>* stop = nullptr;
};

// One pixel: given at the top of a step (its first, k = -1, or a later one
// it was brought to), returned where it ended, with how.
struct DeepLowPixel {
    enum class End { kDoubtful, kEscaped, kInside };
    int orbit = 0;
    size_t i = 0;
    int k = -1;
    DoubleDouble dr, di, zr, zi;
    double m2 = 0, dcr = 0, dci = 0, dcAbs = 0, err = 0, pr = 0, pi = 0;
    End end = End::kDoubtful;
};

// Runs every pixel to its end; false when the view's stop flag was seen set
// (the pixels' ends are then partly unwritten). Any `isa` the processor
// supports, the scalar loop too, gives the same bits.
bool RunDeepLow(KernelIsa isa, const DeepLowView& view, DeepLowPixel* pixels, size_t count);
