// Two deep pixels at a time in SSE2. No FMA: the pixels must match the
// scalar loop.
#include <cstdint>

#include "model/deep/DeepLaneLoop.h"
#include "model/deep/DeepLowLoop.h"
#include "imaging/kernels/LanesSse2.h"

int64_t RunDeepLanesSse2(const DeepLaneView& view, DeepLaneFeed& feed)
{
    return deep_lanes::RunView<Sse2>(view, feed);
}

bool RunDeepLowSse2(const DeepLowView& view, DeepLowPixel* pixels, size_t count)
{
    return deep_low::Run<deep_low::Pair<Sse2>>(view, pixels, count);
}
