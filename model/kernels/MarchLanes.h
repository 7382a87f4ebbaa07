#pragma once
// The child tests over V::kWidth children at once, for the instruction-set
// files to instantiate with their own vector type V (internal linkage each).
//
// V provides: D (the vector), M (a comparison's result), Set1, Load, Add,
// Sub, Mul, Div, Lt, Le, NotGt (ordered less, ordered less-or-equal, not
// greater), Select(m, a, b) (a where m holds, else b) and Bits(m) (lane i
// as bit i).
//
// Every line mirrors march::ChildOf, SegmentNear and the walks' entry test
// term for term; std::clamp(v, 0, len) is max then min as the standard
// library has them: v < 0 ? 0 : v, then len < s ? len : s.

#include "model/kernels/MarchKernel.h"

namespace march_lanes {

using march::ChildMaps;
using march::Piece;
using march::Vec;

// The centres t and radii rho of the children in lanes [k, k + kWidth).
template <class V>
struct Children {
    typename V::D tx, ty, tz, rho;
};

template <class V>
static inline Children<V> ChildrenAt(const Piece& parent, const ChildMaps& maps, int k)
{
    using D = typename V::D;
    const double* a = parent.m;
    const D vx = V::Load(maps.vx + k), vy = V::Load(maps.vy + k), vz = V::Load(maps.vz + k);
    auto row = [&](int i, double t) {
        return V::Add(
            V::Add(V::Add(V::Mul(V::Set1(a[i]), vx), V::Mul(V::Set1(a[i + 1]), vy)), V::Mul(V::Set1(a[i + 2]), vz)),
            V::Set1(t));
    };
    return {row(0, parent.t.x), row(3, parent.t.y), row(6, parent.t.z),
            V::Mul(V::Set1(parent.rho), V::Load(maps.norm + k))};
}

template <class V>
static inline uint32_t SegmentTest(const Piece& parent, const ChildMaps& maps, Vec a, Vec u, double len, double eps)
{
    using D = typename V::D;
    const D ax = V::Set1(a.x), ay = V::Set1(a.y), az = V::Set1(a.z);
    const D ux = V::Set1(u.x), uy = V::Set1(u.y), uz = V::Set1(u.z);
    const D zero = V::Set1(0.0), length = V::Set1(len), widen = V::Set1(eps);
    uint32_t near = 0;
    for (int k = 0; k < maps.count; k += V::kWidth) {
        const Children<V> c = ChildrenAt<V>(parent, maps, k);
        const D wx = V::Sub(c.tx, ax), wy = V::Sub(c.ty, ay), wz = V::Sub(c.tz, az);
        const D dot = V::Add(V::Add(V::Mul(wx, ux), V::Mul(wy, uy)), V::Mul(wz, uz));
        D s = V::Select(V::Lt(dot, zero), zero, dot);
        s = V::Select(V::Lt(length, s), length, s);
        const D qx = V::Sub(wx, V::Mul(s, ux)), qy = V::Sub(wy, V::Mul(s, uy)), qz = V::Sub(wz, V::Mul(s, uz));
        const D qq = V::Add(V::Add(V::Mul(qx, qx), V::Mul(qy, qy)), V::Mul(qz, qz));
        const D r = V::Add(c.rho, widen);
        near |= V::Bits(V::Le(qq, V::Mul(r, r))) << k;
    }
    return near & ((uint32_t(1) << maps.count) - 1);
}

template <class V>
static inline uint32_t PointTest(const Piece& parent, const ChildMaps& maps, Vec p, double reach, double scale)
{
    using D = typename V::D;
    const D px = V::Set1(p.x), py = V::Set1(p.y), pz = V::Set1(p.z), widen = V::Set1(reach);
    const D reach2 = V::Mul(widen, widen), one = V::Set1(1.0), zero = V::Set1(0.0), leafSize = V::Set1(scale);
    uint32_t enter = 0;
    for (int k = 0; k < maps.count; k += V::kWidth) {
        const Children<V> c = ChildrenAt<V>(parent, maps, k);
        const D wx = V::Sub(px, c.tx), wy = V::Sub(py, c.ty), wz = V::Sub(pz, c.tz);
        const D r2 = V::Add(V::Add(V::Mul(wx, wx), V::Mul(wy, wy)), V::Mul(wz, wz));
        const D limit = V::Add(c.rho, widen);
        const D f = V::Sub(one, V::Div(r2, reach2));
        const uint32_t nothing = V::Bits(V::Lt(c.rho, leafSize)) & V::Bits(V::Le(f, zero));
        enter |= (V::Bits(V::NotGt(r2, V::Mul(limit, limit))) & ~nothing) << k;
    }
    return enter & ((uint32_t(1) << maps.count) - 1);
}

template <class V>
march::ChildTests Tests()
{
    return {&SegmentTest<V>, &PointTest<V>};
}

} // namespace march_lanes
