// Four children at a time in AVX2 (compiled for it alone; chosen only where
// the processor has it). No FMA: the tests must match the scalar ones.
#include <immintrin.h>

#include "model/kernels/MarchLanes.h"

namespace {

struct Avx2 {
    static constexpr int kWidth = 4;
    using D = __m256d;
    using M = __m256d;
    static D Set1(double v) { return _mm256_set1_pd(v); }
    static D Load(const double* p) { return _mm256_load_pd(p); }
    static D Add(D a, D b) { return _mm256_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D Div(D a, D b) { return _mm256_div_pd(a, b); }
    static M Lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M Le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static M NotGt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NGT_UQ); }
    static D Select(M m, D a, D b) { return _mm256_blendv_pd(b, a, m); }
    static uint32_t Bits(M m) { return uint32_t(_mm256_movemask_pd(m)); }
};

} // namespace

march::ChildTests MarchChildTestsAvx2()
{
    return march_lanes::Tests<Avx2>();
}
