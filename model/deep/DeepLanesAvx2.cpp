// Four deep pixels at a time in AVX2 (compiled for it alone; chosen only
// where the processor has it). No FMA: the pixels must match the scalar loop.
#include <immintrin.h>

#include <cstdint>

#include "model/deep/DeepLaneLoop.h"
#include "model/deep/DeepLowLoop.h"

namespace {

struct Avx2 {
    static constexpr int kWidth = 4;
    using D = __m256d;
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
};

} // namespace

int64_t RunDeepLanesAvx2(const DeepLaneView& view, DeepLaneFeed& feed)
{
    return deep_lanes::Run<Avx2>(view, feed);
}

bool RunDeepLowAvx2(const DeepLowView& view, DeepLowPixel* pixels, size_t count)
{
    return deep_low::Run<deep_low::Pair<Avx2>>(view, pixels, count);
}
