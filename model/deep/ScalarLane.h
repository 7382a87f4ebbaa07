#pragma once
// The width-1 instances of the lane interface of DeepLaneLoop.h: a lane
// loop or step instantiated with one is the scalar loop, performing the
// same operations in the same order as every vector instance, so both give
// the same bits. ScalarLaneOf<FloatExp> serves the views past a double's
// exponent range, which only the scalar loop steps.

#include <cstddef>

#include "model/deep/FloatExp.h"

template <class T>
struct ScalarLaneOf {
    static constexpr int kWidth = 1;
    using D = T;
    static D Set1(double v) { return D(v); }
    static D Load(const double* p) { return *p; }
    static void Store(double* p, D v) { *p = v; }
    static D Add(D a, D b) { return a + b; }
    static D Sub(D a, D b) { return a - b; }
    static D Mul(D a, D b) { return a * b; }
    static D Neg(D a) { return -a; }
    static D Sqrt(D a) { return ::Sqrt(a); }
    static D Abs(D a) { return ::Abs(a); }
    static unsigned GtBits(D a, D b) { return a > b; }
    static unsigned LtBits(D a, D b) { return a < b; }
    static unsigned GeBits(D a, D b) { return a >= b; }
    static D Blend(unsigned bits, D a, D b) { return (bits & 1) ? a : b; }
    static D Gather(const double* base, D index, unsigned bits, D src)
    {
        return (bits & 1) ? base[size_t(index)] : src;
    }
};

using ScalarLane = ScalarLaneOf<double>;
