#include "model/deep/DeepLanes.h"

#include "model/deep/DeepLowLoop.h"
#include "model/deep/ScalarLane.h"

int64_t RunDeepLanesSse2(const DeepLaneView& view, DeepLaneFeed& feed);
int64_t RunDeepLanesAvx2(const DeepLaneView& view, DeepLaneFeed& feed);
int64_t RunDeepLanesAvx512(const DeepLaneView& view, DeepLaneFeed& feed);
bool RunDeepLowSse2(const DeepLowView& view, DeepLowPixel* pixels, size_t count);
bool RunDeepLowAvx2(const DeepLowView& view, DeepLowPixel* pixels, size_t count);
bool RunDeepLowAvx512(const DeepLowView& view, DeepLowPixel* pixels, size_t count);

int64_t RunDeepLanes(KernelIsa isa, const DeepLaneView& view, DeepLaneFeed& feed)
{
    switch (isa) {
    case KernelIsa::kAvx512: return RunDeepLanesAvx512(view, feed);
    case KernelIsa::kAvx2: return RunDeepLanesAvx2(view, feed);
    default: return RunDeepLanesSse2(view, feed);
    }
}

bool RunDeepLow(KernelIsa isa, const DeepLowView& view, DeepLowPixel* pixels, size_t count)
{
    switch (isa) {
    case KernelIsa::kAvx512: return RunDeepLowAvx512(view, pixels, count);
    case KernelIsa::kAvx2: return RunDeepLowAvx2(view, pixels, count);
    case KernelIsa::kSse2: return RunDeepLowSse2(view, pixels, count);
    default: return deep_low::Run<ScalarLane>(view, pixels, count);
    }
}
