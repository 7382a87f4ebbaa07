#pragma once
// The processor's record of operations whose rounded result left the
// normal doubles, for the code that takes FloatExp's operations in doubles
// where they round alike (WideSkips.cpp, ScaledSkips.cpp). A double
// operation rounds as FloatExp's does unless its result, rounded with no
// limit on the exponent, is tiny and inexact (underflow) or too large
// (overflow); an invalid operation gives a NaN. Internal to model/deep.
//
// The flags live in MXCSR, which the compiler does not model: the doubles'
// work must be done in a function the caller cannot see into
// (QUILLION_OPAQUE), between these reads and writes of the register, which
// clobber memory, so that none of it moves outside them.

#include <bit>
#include <cstdint>

#include "model/deep/FloatExp.h"

// GCC's noipa hides the function's body from its callers entirely; clang
// lacks it, and a function it does not inline stays apart from them.
#if defined(__clang__)
#define QUILLION_OPAQUE [[gnu::noinline]]
#else
#define QUILLION_OPAQUE [[gnu::noipa]]
#endif

namespace float_flags {

// Invalid operation, overflow and underflow; and what must be off while
// the doubles work: denormals taken as zero, results flushed to zero, and
// any rounding but to nearest.
inline constexpr uint32_t kFlags = 0x1 | 0x8 | 0x10;
inline constexpr uint32_t kModes = 0x40 | 0x8000 | 0x6000;

// Clears the flags and the modes; returns the register as it was.
inline uint32_t Clear()
{
    uint32_t csr = 0;
    asm volatile("stmxcsr %0" : "=m"(csr) : : "memory");
    const uint32_t work = csr & ~(kFlags | kModes);
    asm volatile("ldmxcsr %0" : : "m"(work) : "memory");
    return csr;
}

// Puts the register back as it was before Clear, which returned `saved`.
inline void Restore(uint32_t saved) { asm volatile("ldmxcsr %0" : : "m"(saved) : "memory"); }

// Whether any of the flags was raised since Clear, which returned `saved`;
// the register is then put back as it was.
inline bool Raised(uint32_t saved)
{
    uint32_t csr = 0;
    asm volatile("stmxcsr %0" : "=m"(csr) : : "memory");
    Restore(saved);
    return (csr & kFlags) != 0;
}

// Whether any of the flags was raised since Clear, the register left as
// it is: cheap enough to ask before each result is kept. The results to be
// kept are named, so that they are computed before the register is read
// (arithmetic in registers may otherwise move past it).
[[gnu::always_inline]] inline void Computed(double& v) { asm volatile("" : "+x"(v)); }

template <class... Values>
[[gnu::always_inline]] inline bool Pending(Values&... values)
{
    (Computed(values), ...);
    uint32_t csr = 0;
    asm volatile("stmxcsr %0" : "=m"(csr) : : "memory");
    return (csr & kFlags) != 0;
}

// The exponent FloatExp gives a nonzero normal double.
inline int64_t Exponent(double x) { return int64_t((std::bit_cast<uint64_t>(x) >> 52) & 0x7FF) - 1022; }

// x 2^-s as a double, exactly: false where that is no normal double. A
// mantissa in [0.5, 1) times 2^e is one for -1021 <= e <= 1024, its
// exponent field then e + 1022.
inline bool ScaledDouble(FloatExp x, int64_t s, double& out)
{
    if (x.m == 0) {
        out = 0;
        return true;
    }
    const int64_t e = x.e - s;
    if (e < -1021 || e > 1024)
        return false;
    out = std::bit_cast<double>(std::bit_cast<uint64_t>(x.m) + (uint64_t(e) << 52));
    return true;
}

} // namespace float_flags
