#pragma once
// The nearest minibrot of a Mandelbrot view: the small copy of the set
// whose period the view's disc reaches first, found at any depth.
//
// The period comes from the ball method on the centre's orbit: the disc of
// the view's radius about the centre is iterated as a centre orbit (MPFR)
// and a bound on the radius (FloatExp), and the first iterate whose ball
// holds 0 names the period. The nucleus is the root of z_p(c) = 0 that
// Newton's method reaches from the centre, in MPFR at the precision the
// depth asks; its size is the standard estimate 1 / (b l^2) from the
// derivative products l = prod 2 z_k and b = sum 1 / prod of the orbit.

#include <atomic>
#include <string>

#include "model/deep/FloatExp.h"

struct MinibrotSearch {
    // The view's centre as decimal text, and the radius of the disc about
    // it in which the period is looked for.
    std::string centerRe, centerIm;
    FloatExp radius;
    // The longest period looked for.
    long maxPeriod = 1000000;
    const std::atomic<bool>* stop = nullptr;
};

struct Minibrot {
    long period = 0; // 0 when none was found; `failure` then says why
    // The nucleus as plain decimals, to every place its precision knows.
    std::string re, im;
    // The nucleus's nearest doubles.
    double reValue = 0, imValue = 0;
    // About the distance from the nucleus to the copy's cusp.
    FloatExp size;
    std::string failure;
};

Minibrot FindNearestMinibrot(const MinibrotSearch& search);

// The period the ball method finds for the disc (0 when none by
// `maxPeriod`, or when stopped; -1 when the whole disc escapes).
long BallPeriod(const MinibrotSearch& search);
