#pragma once
// The tests the march's fast piece walk makes of every child of one piece,
// made side by side, one child per lane, in one variant per instruction set
// chosen at run time (the Mandelbrot kernels' choice, `ChosenKernelIsa`).
// Each lane computes its child's centre and ball exactly as march::ChildOf
// does and tests it exactly as the walks do: the same operations in the same
// order, no fused multiply-adds, so every variant sets the same bits as the
// scalar one.

#include <cstdint>

#include "model/kernels/MandelbrotKernel.h"
#include "model/selfaffine/MarchPieces.h"

namespace march {

// Lanes enough for every map, padded to whole vectors of the widest set.
constexpr int kChildLanes = 32;
static_assert(MapSet::kMaxMaps <= kChildLanes);

// The maps' translations, measures and stretches, one lane per map; lanes
// past `count` hold zeros and never show in a result.
struct ChildMaps {
    int count = 0;
    alignas(64) double vx[kChildLanes] = {};
    alignas(64) double vy[kChildLanes] = {};
    alignas(64) double vz[kChildLanes] = {};
    alignas(64) double norm[kChildLanes] = {};
};

ChildMaps MakeChildMaps(const AffineMap* maps, const double* norms, int count);

// Bit k set when child k's ball, widened by eps, meets the segment
// a + s u, 0 <= s <= len: SegmentNear(ChildOf(parent, k)).
using SegmentTest = uint32_t (*)(const Piece& parent, const ChildMaps& maps, Vec a, Vec u, double len, double eps);
// Bit k set where the normal's walk enters child k: its centre lies within
// its radius plus `reach` of p (or the distance is not a number), and, when
// it is a piece of the sum (radius below `scale`), its weight's base
// f = 1 - r^2 / reach^2 is not <= 0. Pieces at the depth limit, which the
// walk also sums, are left to it.
using PointTest = uint32_t (*)(const Piece& parent, const ChildMaps& maps, Vec p, double reach, double scale);

struct ChildTests {
    SegmentTest segment;
    PointTest point;
};

// The variant for `isa`; the widest supported one where `isa` is not.
ChildTests ChildTestsFor(KernelIsa isa);

} // namespace march
