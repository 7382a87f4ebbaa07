// Eight deep pixels at a time in AVX-512F (compiled for it alone; chosen
// only where the processor has it). No FMA: the pixels must match the
// scalar loop.
#include <cstdint>

#include "model/deep/DeepLaneLoop.h"
#include "model/deep/DeepLowLoop.h"
#include "imaging/kernels/LanesAvx512.h"

int64_t RunDeepLanesAvx512(const DeepLaneView& view, DeepLaneFeed& feed)
{
    return deep_lanes::RunView<Avx512>(view, feed);
}

bool RunDeepLowAvx512(const DeepLowView& view, DeepLowPixel* pixels, size_t count)
{
    return deep_low::Run<deep_low::Pair<Avx512>>(view, pixels, count);
}
