// Two children at a time in SSE2, which every x86-64 processor has.
#include <emmintrin.h>

#include "model/kernels/MarchLanes.h"

namespace {

struct Sse2 {
    static constexpr int kWidth = 2;
    using D = __m128d;
    using M = __m128d;
    static D Set1(double v) { return _mm_set1_pd(v); }
    static D Load(const double* p) { return _mm_load_pd(p); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D Div(D a, D b) { return _mm_div_pd(a, b); }
    static M Lt(D a, D b) { return _mm_cmplt_pd(a, b); }
    static M Le(D a, D b) { return _mm_cmple_pd(a, b); }
    static M NotGt(D a, D b) { return _mm_cmpngt_pd(a, b); }
    static D Select(M m, D a, D b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    static uint32_t Bits(M m) { return uint32_t(_mm_movemask_pd(m)); }
};

} // namespace

march::ChildTests MarchChildTestsSse2()
{
    return march_lanes::Tests<Sse2>();
}
