#pragma once
// The vector type of SSE2 (which every x86-64 processor has) for the lane loops of every
// kernel: one struct per instruction set, with internal linkage, so that no
// file built for one set shares code with a file built for another. No FMA:
// every lane must match the scalar loop.
#include <emmintrin.h>

#include <cstdint>

namespace {

struct Sse2 {
    static constexpr int kWidth = 2;
    using D = __m128d;
    using M = __m128d;
    static D Set1(double v) { return _mm_set1_pd(v); }
    static D Load(const double* p) { return _mm_load_pd(p); }
    static void Store(double* p, D v) { _mm_store_pd(p, v); }
    static D Add(D a, D b) { return _mm_add_pd(a, b); }
    static D Sub(D a, D b) { return _mm_sub_pd(a, b); }
    static D Mul(D a, D b) { return _mm_mul_pd(a, b); }
    static D Neg(D a) { return _mm_xor_pd(a, _mm_set1_pd(-0.0)); }
    static D Sqrt(D a) { return _mm_sqrt_pd(a); }
    static D Abs(D a) { return _mm_andnot_pd(_mm_set1_pd(-0.0), a); }
    static unsigned GtBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpgt_pd(a, b))); }
    static unsigned LtBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmplt_pd(a, b))); }
    static unsigned GeBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpge_pd(a, b))); }
    static D Blend(unsigned bits, D a, D b)
    {
        const D m = _mm_castsi128_pd(_mm_set_epi64x(-int64_t((bits >> 1) & 1), -int64_t(bits & 1)));
        return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b));
    }
    static D Gather(const double* base, D index, unsigned bits, D src)
    {
        alignas(16) double at[2], out[2];
        _mm_store_pd(at, index);
        _mm_store_pd(out, src);
        for (int l = 0; l < 2; ++l)
            if ((bits >> l) & 1)
                out[l] = base[int64_t(at[l])];
        return _mm_load_pd(out);
    }
    static D Max(D a, D b) { return _mm_max_pd(a, b); }
    static unsigned NotLeBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpnle_pd(a, b))); }
    static unsigned EqBits(D a, D b) { return unsigned(_mm_movemask_pd(_mm_cmpeq_pd(a, b))); }
    static D Div(D a, D b) { return _mm_div_pd(a, b); }
    static M Lt(D a, D b) { return _mm_cmplt_pd(a, b); }
    static M Le(D a, D b) { return _mm_cmple_pd(a, b); }
    static M NotGt(D a, D b) { return _mm_cmpngt_pd(a, b); }
    static D Select(M m, D a, D b) { return _mm_or_pd(_mm_and_pd(m, a), _mm_andnot_pd(m, b)); }
    static uint32_t Bits(M m) { return uint32_t(_mm_movemask_pd(m)); }
    // The magnitude of `a` with the sign bit of `b`.
    static D CopySign(D a, D b)
    {
        const D sign = _mm_set1_pd(-0.0);
        return _mm_or_pd(_mm_andnot_pd(sign, a), _mm_and_pd(sign, b));
    }
    // Lanes from floats `stride` floats apart, widened to doubles.
    static D LoadFloats(const float* p, int stride) { return _mm_set_pd(double(p[stride]), double(p[0])); }
};

} // namespace
