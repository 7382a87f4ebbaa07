#pragma once
// One orbit of w <- w^2 + c iterated in arbitrary precision and kept in the
// forms the pixels' difference iteration reads.

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "model/deep/FloatExp.h"
#include "numbers/Mpfr.h"

class PassProgress;

struct ReferenceOrbit {
    // w_0, w_1, ... rounded to doubles; always filled.
    std::vector<double> re, im;
    // The same values with a wide exponent, filled when asked for: tiny
    // values that a double would lose to underflow keep their digits.
    std::vector<FloatExp> reWide, imWide;
    // What the doubles of re and im leave of each value, when asked for:
    // with them the values hold about 106 bits.
    std::vector<double> reLow, imLow;
    // Bits the arithmetic lacked for the orbit to be that of its exact
    // start and constant: 0 when the bound on the accumulated rounding
    // keeps every kept value on its side of the escape radius and the
    // direction of their product; otherwise about how many more it takes.
    long bitsShort = 0;

    size_t size() const { return re.size(); }
};

// Iterates from w_0 = start until `length` values are kept or a value has
// |w|^2 > radius2 (that value is kept too: the difference iteration may
// still step from the one before it). The arithmetic runs at the precision
// of `start`. False when `stop` was seen set; the orbit is then partial.
// Throws std::bad_alloc, before any step, when `length` values do not fit.
// Unless `exactInputs`, the start and the constant are taken as rounded
// once to their precision. Values before `firstTested` are not tested for
// escape by the pixels (the Mandelbrot orbit's w_0 = 0). With `low`, the
// orbit keeps reLow and imLow too.
bool ComputeReferenceOrbit(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe, const MpfrReal& cIm,
                           double radius2, size_t length, bool wide, const std::atomic<bool>* stop, ReferenceOrbit& out,
                           bool exactInputs = false, size_t firstTested = 0, bool low = false);

// The iteration behind an orbit, kept where it stopped so that the orbit
// can be carried on to a greater length: the values it adds and the
// rounding bound are those the whole orbit, computed at once, would have.
class ReferenceIteration {
public:
    // The arguments are those of ComputeReferenceOrbit; the numbers are
    // copied at the precision of `startRe`.
    ReferenceIteration(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe, const MpfrReal& cIm,
                       double radius2, bool wide, bool exactInputs, size_t firstTested, bool low);
    ~ReferenceIteration();
    ReferenceIteration(const ReferenceIteration&) = delete;
    ReferenceIteration& operator=(const ReferenceIteration&) = delete;

    // Whether this iteration started from these arguments: the same
    // precision, values and choices.
    bool Matches(const MpfrReal& startRe, const MpfrReal& startIm, const MpfrReal& cRe, const MpfrReal& cIm,
                 double radius2, bool wide, bool exactInputs, size_t firstTested, bool low) const;

    // Carries `out`, the orbit this iteration has made so far (empty at
    // first), on to `length` values or its escape. False when `stop` was
    // seen set; the orbit is then as far as it went, and may be carried on
    // again. Throws std::bad_alloc, before any step, when `length` values
    // do not fit. Each value made is added to the rows of `progress`.
    bool Extend(size_t length, const std::atomic<bool>* stop, ReferenceOrbit& out,
                PassProgress* progress = nullptr);

    // The orbit has escaped: no length adds to it.
    bool Escaped() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// The bits for another attempt at an orbit `bitsShort` short at `bits`.
// An orbit that went astray measured its bound only as far as it went, so
// the step is at least half the bits again.
inline long NextOwnBits(long bits, long bitsShort)
{
    return bits + (bitsShort + 32 > bits / 2 ? bitsShort + 32 : bits / 2);
}
