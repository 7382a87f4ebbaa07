#pragma once
// The vector type of AVX-512F (for the files compiled with -mavx512f) for the lane loops of every
// kernel: one struct per instruction set, with internal linkage, so that no
// file built for one set shares code with a file built for another. No FMA:
// every lane must match the scalar loop.
#include <immintrin.h>

#include <cstdint>

namespace {

struct Avx512 {
    static constexpr int kWidth = 8;
    using D = __m512d;
    using M = __mmask8;
    static D Set1(double v) { return _mm512_set1_pd(v); }
    static D Load(const double* p) { return _mm512_load_pd(p); }
    static void Store(double* p, D v) { _mm512_store_pd(p, v); }
    static D Add(D a, D b) { return _mm512_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm512_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm512_mul_pd(a, b); }
    static D Neg(D a)
    {
        return _mm512_castsi512_pd(_mm512_xor_si512(_mm512_castpd_si512(a), _mm512_set1_epi64(int64_t(1) << 63)));
    }
    // Masked only to spare gcc 12 a false warning about the plain form.
    static D Sqrt(D a) { return _mm512_mask_sqrt_pd(a, __mmask8(0xFF), a); }
    static D Abs(D a) { return _mm512_abs_pd(a); }
    static unsigned GtBits(D a, D b) { return unsigned(_mm512_cmp_pd_mask(a, b, _CMP_GT_OQ)); }
    static unsigned LtBits(D a, D b) { return unsigned(_mm512_cmp_pd_mask(a, b, _CMP_LT_OQ)); }
    static unsigned GeBits(D a, D b) { return unsigned(_mm512_cmp_pd_mask(a, b, _CMP_GE_OQ)); }
    static D Blend(unsigned bits, D a, D b) { return _mm512_mask_blend_pd(__mmask8(bits & 0xFF), b, a); }
    static D Gather(const double* base, D index, unsigned bits, D src)
    {
        // The conversion masked for the same reason as Sqrt.
        const __m256i at = _mm512_mask_cvttpd_epi32(_mm256_setzero_si256(), __mmask8(0xFF), index);
        return _mm512_mask_i32gather_pd(src, __mmask8(bits & 0xFF), at, base, 8);
    }
    static D Max(D a, D b) { return _mm512_mask_max_pd(a, __mmask8(0xFF), a, b); }
    static unsigned NotLeBits(D a, D b) { return unsigned(_mm512_cmp_pd_mask(a, b, _CMP_NLE_UQ)); }
    static unsigned EqBits(D a, D b) { return unsigned(_mm512_cmp_pd_mask(a, b, _CMP_EQ_OQ)); }
    static D Div(D a, D b) { return _mm512_div_pd(a, b); }
    static M Lt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LT_OQ); }
    static M Le(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_LE_OQ); }
    static M NotGt(D a, D b) { return _mm512_cmp_pd_mask(a, b, _CMP_NGT_UQ); }
    static D Select(M m, D a, D b) { return _mm512_mask_blend_pd(m, b, a); }
    static uint32_t Bits(M m) { return uint32_t(m); }
    // The magnitude of `a` with the sign bit of `b`: each bit from `b`
    // where the mask has it, else from `a` (0xAC is "mask ? b : a"). The
    // double forms of and/or are AVX-512DQ's.
    static D CopySign(D a, D b)
    {
        const __m512i sign = _mm512_set1_epi64(int64_t(1) << 63);
        return _mm512_castsi512_pd(
            _mm512_ternarylogic_epi64(sign, _mm512_castpd_si512(a), _mm512_castpd_si512(b), 0xAC));
    }
    // Lanes from floats `stride` floats apart, widened to doubles (the
    // gather of eight floats is AVX2's, which every AVX-512F processor has).
    static D LoadFloats(const float* p, int stride)
    {
        const __m256i at = _mm256_mullo_epi32(_mm256_set_epi32(7, 6, 5, 4, 3, 2, 1, 0), _mm256_set1_epi32(stride));
        // Masked only to spare gcc 12 a false warning about the plain form.
        return _mm512_mask_cvtps_pd(_mm512_setzero_pd(), __mmask8(0xFF), _mm256_i32gather_ps(p, at, 4));
    }
};

} // namespace
