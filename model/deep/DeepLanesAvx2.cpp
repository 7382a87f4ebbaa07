// Four deep pixels at a time in AVX2 (compiled for it alone; chosen only
// where the processor has it). No FMA: the pixels must match the scalar loop.
#include <cstdint>

#include "model/deep/DeepLaneLoop.h"
#include "model/deep/DeepLowLoop.h"
#include "imaging/kernels/LanesAvx2.h"

int64_t RunDeepLanesAvx2(const DeepLaneView& view, DeepLaneFeed& feed)
{
    return deep_lanes::RunView<Avx2>(view, feed);
}

bool RunDeepLowAvx2(const DeepLowView& view, DeepLowPixel* pixels, size_t count)
{
    return deep_low::Run<deep_low::Pair<Avx2>>(view, pixels, count);
}
