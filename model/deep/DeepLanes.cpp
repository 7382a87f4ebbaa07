#include "model/deep/DeepLanes.h"

int64_t RunDeepLanesSse2(const DeepLaneView& view, DeepLaneFeed& feed);
int64_t RunDeepLanesAvx2(const DeepLaneView& view, DeepLaneFeed& feed);
int64_t RunDeepLanesAvx512(const DeepLaneView& view, DeepLaneFeed& feed);

int64_t RunDeepLanes(KernelIsa isa, const DeepLaneView& view, DeepLaneFeed& feed)
{
    switch (isa) {
    case KernelIsa::kAvx512:
        return RunDeepLanesAvx512(view, feed);
    case KernelIsa::kAvx2:
        return RunDeepLanesAvx2(view, feed);
    default:
        return RunDeepLanesSse2(view, feed);
    }
}
