#pragma once
// The vector type of AVX2 (for the files compiled with -mavx2) for the lane loops of every
// kernel: one struct per instruction set, with internal linkage, so that no
// file built for one set shares code with a file built for another. No FMA:
// every lane must match the scalar loop.
#include <immintrin.h>

#include <cstdint>

namespace {

struct Avx2 {
    static constexpr int kWidth = 4;
    using D = __m256d;
    using M = __m256d;
    static D Set1(double v) { return _mm256_set1_pd(v); }
    static D Load(const double* p) { return _mm256_load_pd(p); }
    static void Store(double* p, D v) { _mm256_store_pd(p, v); }
    static D Add(D a, D b) { return _mm256_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm256_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm256_mul_pd(a, b); }
    static D Neg(D a) { return _mm256_xor_pd(a, _mm256_set1_pd(-0.0)); }
    static D Sqrt(D a) { return _mm256_sqrt_pd(a); }
    static D Abs(D a) { return _mm256_andnot_pd(_mm256_set1_pd(-0.0), a); }
    static unsigned GtBits(D a, D b) { return unsigned(_mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_GT_OQ))); }
    static unsigned LtBits(D a, D b) { return unsigned(_mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_LT_OQ))); }
    static unsigned GeBits(D a, D b) { return unsigned(_mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_GE_OQ))); }
    static D Blend(unsigned bits, D a, D b)
    {
        const __m256i m = _mm256_set_epi64x(-int64_t((bits >> 3) & 1), -int64_t((bits >> 2) & 1),
                                            -int64_t((bits >> 1) & 1), -int64_t(bits & 1));
        return _mm256_blendv_pd(b, a, _mm256_castsi256_pd(m));
    }
    static D Gather(const double* base, D index, unsigned bits, D src)
    {
        const __m256i m = _mm256_set_epi64x(-int64_t((bits >> 3) & 1), -int64_t((bits >> 2) & 1),
                                            -int64_t((bits >> 1) & 1), -int64_t(bits & 1));
        return _mm256_mask_i32gather_pd(src, base, _mm256_cvttpd_epi32(index), _mm256_castsi256_pd(m), 8);
    }
    static D Max(D a, D b) { return _mm256_max_pd(a, b); }
    static unsigned NotLeBits(D a, D b) { return unsigned(_mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_NLE_UQ))); }
    static unsigned EqBits(D a, D b) { return unsigned(_mm256_movemask_pd(_mm256_cmp_pd(a, b, _CMP_EQ_OQ))); }
    static D Div(D a, D b) { return _mm256_div_pd(a, b); }
    static M Lt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LT_OQ); }
    static M Le(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_LE_OQ); }
    static M NotGt(D a, D b) { return _mm256_cmp_pd(a, b, _CMP_NGT_UQ); }
    static D Select(M m, D a, D b) { return _mm256_blendv_pd(b, a, m); }
    static uint32_t Bits(M m) { return uint32_t(_mm256_movemask_pd(m)); }
    // The magnitude of `a` with the sign bit of `b`.
    static D CopySign(D a, D b)
    {
        const D sign = _mm256_set1_pd(-0.0);
        return _mm256_or_pd(_mm256_andnot_pd(sign, a), _mm256_and_pd(sign, b));
    }
    // Lanes from floats `stride` floats apart, widened to doubles.
    static D LoadFloats(const float* p, int stride)
    {
        const __m128i at = _mm_mullo_epi32(_mm_set_epi32(3, 2, 1, 0), _mm_set1_epi32(stride));
        return _mm256_cvtps_pd(_mm_i32gather_ps(p, at, 4));
    }
};

} // namespace
