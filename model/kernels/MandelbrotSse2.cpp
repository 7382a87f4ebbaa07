// Two pixels at a time in SSE2, which every x86-64 processor has.
#include <emmintrin.h>

#include "model/kernels/MandelbrotLanes.h"

namespace {

struct Sse2 {
    static constexpr int kWidth = 2;
    using D = __m128d;
    static D Set1(double v) { return _mm_set1_pd(v); }
    static D Load(const double* p) { return _mm_load_pd(p); }
    static void Store(double* p, D v) { _mm_store_pd(p, v); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D Abs(D a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    static D Max(D a, D b) { return _mm_max_pd(a, b); }
    static unsigned NotLeBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpnle_pd(a, b))); }
    static unsigned EqBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpeq_pd(a, b))); }
    static unsigned GtBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpgt_pd(a, b))); }
    static unsigned LtBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmplt_pd(a, b))); }
    static unsigned GeBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpge_pd(a, b))); }
};

} // namespace

bool IterateMandelbrotRowSse2(const MandelbrotRowJob& job, int begin, int end, PixelRecord* row)
{
    return mandelbrot_lanes::RunRow<Sse2, 2>(job, begin, end, row);
}
