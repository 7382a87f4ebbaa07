// Eight children at a time in AVX-512F (compiled for it alone; chosen only
// where the processor has it). No FMA: the tests must match the scalar ones.
#include <immintrin.h>

#include "model/kernels/MarchLanes.h"

namespace {

struct Avx512 {
    static constexpr int kWidth = 8;
    using D = __m512d;
    using M = __mmask8;
    static D Set1(double v) { return _mm512_set1_pd(v); }
    static D Load(const double* p) { return _mm512_load_pd(p); }
    static D Add(D a, D b) { return _mm512_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D Div(D a, D b) { return _mm512_div_pd(a, b); }
    static M Lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M Le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static M NotGt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_NGT_UQ); }
    static D Select(M m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
    static uint32_t Bits(M m) { return uint32_t(m); }
};

} // namespace

march::ChildTests MarchChildTestsAvx512()
{
    return march_lanes::Tests<Avx512>();
}
