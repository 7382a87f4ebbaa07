// Two deep pixels at a time in SSE2. No FMA: the pixels must match the
// scalar loop.
#include <cstdint>

#include "model/deep/DeepLaneLoop.h"
#include "model/deep/DeepLowLoop.h"
#include "imaging/kernels/LanesSse2.h"

int64_t RunDeepLanesSse2(const DeepLaneView& view, DeepLaneFeed& feed)
{
    return view.distance ? deep_lanes::Run<Sse2, true>(view, feed) : deep_lanes::Run<Sse2, false>(view, feed);
}

bool RunDeepLowSse2(const DeepLowView& view, DeepLowPixel* pixels, size_t count)
{
    return deep_low::Run<deep_low::Pair<Sse2>>(view, pixels, count);
}
