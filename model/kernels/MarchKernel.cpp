#include "model/kernels/MarchKernel.h"

march::ChildTests MarchChildTestsSse2();
march::ChildTests MarchChildTestsAvx2();
march::ChildTests MarchChildTestsAvx512();

namespace march {

namespace {

// Child k as the walks make it, from the lanes.
Piece ChildAt(const Piece& parent, const ChildMaps& maps, int k)
{
    AffineMap b{};
    b.m[9] = maps.vx[k];
    b.m[10] = maps.vy[k];
    b.m[11] = maps.vz[k];
    return ChildOf(parent, b, maps.norm[k]);
}

// The scalar tests, child by child: the walks' own code.
uint32_t ScalarSegmentTest(const Piece& parent, const ChildMaps& maps, Vec a, Vec u, double len, double eps)
{
    uint32_t near = 0;
    for (int k = 0; k < maps.count; ++k)
        if (SegmentNear(ChildAt(parent, maps, k), a, u, len, eps))
            near |= uint32_t(1) << k;
    return near;
}

uint32_t ScalarPointTest(const Piece& parent, const ChildMaps& maps, Vec p, double reach, double scale)
{
    uint32_t enter = 0;
    for (int k = 0; k < maps.count; ++k) {
        const Piece c = ChildAt(parent, maps, k);
        const Vec w = p - c.t;
        const double r2 = Dot(w, w);
        const double limit = c.rho + reach;
        if (r2 > limit * limit)
            continue;
        if (c.rho < scale && 1 - r2 / (reach * reach) <= 0)
            continue;
        enter |= uint32_t(1) << k;
    }
    return enter;
}

} // namespace

ChildMaps MakeChildMaps(const AffineMap* maps, const double* norms, int count)
{
    ChildMaps out;
    out.count = count < 0 ? 0 : count > MapSet::kMaxMaps ? MapSet::kMaxMaps : count;
    for (int k = 0; k < out.count; ++k) {
        out.vx[k] = maps[k].m[9];
        out.vy[k] = maps[k].m[10];
        out.vz[k] = maps[k].m[11];
        out.norm[k] = norms[k];
    }
    return out;
}

ChildTests ChildTestsFor(KernelIsa isa)
{
    if (!KernelIsaSupported(isa))
        isa = ChosenKernelIsa();
    switch (isa) {
    case KernelIsa::kSse2: return MarchChildTestsSse2();
    case KernelIsa::kAvx2: return MarchChildTestsAvx2();
    case KernelIsa::kAvx512: return MarchChildTestsAvx512();
    case KernelIsa::kScalar: break;
    }
    return {&ScalarSegmentTest, &ScalarPointTest};
}

} // namespace march
