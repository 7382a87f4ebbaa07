#pragma once
// One orbit of w <- w^2 + c iterated in arbitrary precision and kept in the
// forms the pixels' difference iteration reads.

#include <atomic>
#include <cstddef>
#include <vector>

#include "model/deep/FloatExp.h"
#include "model/deep/Mpfr.h"

struct ReferenceOrbit {
    // w_0, w_1, ... rounded to doubles; always filled.
    std::vector<double> re, im;
    // The same values with a wide exponent, filled when asked for: tiny
    // values that a double would lose to underflow keep their digits.
    std::vector<FloatExp> reWide, imWide;

    size_t size() const { return re.size(); }
};

// Iterates from w_0 = start until `length` values are kept or a value has
// |w|^2 > radius2 (that value is kept too: the difference iteration may
// still step from the one before it). The arithmetic runs at the precision
// of `start`. False when `stop` was seen set; the orbit is then partial.
// Throws std::bad_alloc, before any step, when `length` values do not fit.
bool ComputeReferenceOrbit(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe,
                           const MpfrReal& cIm, double radius2, size_t length, bool wide,
                           const std::atomic<bool>* stop, ReferenceOrbit& out);
