#pragma once
// What both walks of the march's piece tree share: the pieces, their
// arithmetic and the limits of one query. Both walks must compute every
// piece with the same operations in the same order, so they live here.

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imaging/AffineMap.h"

namespace march {

// Deeper than any set whose maps shrink by 0.99 needs for a pixel of 1e-4;
// a composition this deep counts as a piece of pixel size.
constexpr int kMaxDepth = 1000;

// Pieces one query of the tree (a segment test or a normal) may visit. The
// samples need a few thousand at most; maps that hardly shrink need more
// pieces than any machine visits, so a query ends here: a segment test
// counts as reaching the set, as at the depth limit, and a normal keeps the
// sum of the pieces it visited. About a few seconds of one core.
constexpr uint64_t kQueryBudget = uint64_t(1) << 28;
// The walk looks at the stop flag once every this many pieces (well under a
// millisecond), so Stop ends even a single costly query at once.
constexpr uint64_t kStopPoll = 1024;

struct Vec {
    double x, y, z;
};
inline Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline double Dot(Vec a, Vec b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

// A composed map's piece of the attractor lies in the ball of radius `rho`
// about the image `t` of the origin, and carries the measure `mu`.
struct Piece {
    double m[9];
    Vec t;
    double rho, mu;
};

// The child of `parent` under map `b` (matrix form) of stretch `norm`,
// without its matrix.
inline Piece ChildOf(const Piece& parent, const AffineMap& b, double norm)
{
    const double* a = parent.m;
    const double* v = b.m;
    Piece c;
    c.t = {a[0] * v[9] + a[1] * v[10] + a[2] * v[11] + parent.t.x,
           a[3] * v[9] + a[4] * v[10] + a[5] * v[11] + parent.t.y,
           a[6] * v[9] + a[7] * v[10] + a[8] * v[11] + parent.t.z};
    c.rho = parent.rho * norm;
    c.mu = parent.mu * v[12];
    return c;
}

// The child's matrix: the parent's times the map's.
inline void MultiplyInto(Piece& c, const Piece& parent, const double* b)
{
    const double* a = parent.m;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            c.m[i * 3 + j] = a[i * 3] * b[j] + a[i * 3 + 1] * b[3 + j] + a[i * 3 + 2] * b[6 + j];
}

// Whether the ball of `piece`, widened by eps, meets the segment a + s u,
// 0 <= s <= len.
inline bool SegmentNear(const Piece& piece, Vec a, Vec u, double len, double eps)
{
    const Vec w = piece.t - a;
    const double s = std::clamp(Dot(w, u), 0.0, len);
    const Vec q{w.x - s * u.x, w.y - s * u.y, w.z - s * u.z};
    const double r = piece.rho + eps;
    return Dot(q, q) <= r * r;
}

inline double Frobenius(const double* m)
{
    double s = 0;
    for (int i = 0; i < 9; ++i)
        s += m[i] * m[i];
    return std::sqrt(s);
}

// The radius about the origin that holds the centre of every composition,
// when some of the maps shrink unevenly and all are seen to shrink; else 0.
// A composition of uneven maps can be far smaller than the product of their
// largest ratios: a sheet or a needle, whose ball that product overstates by
// orders of magnitude, and whose subtree the walk then descends in vain.
double UnevenReach(const AffineMap* maps, const double* norms, int count);

// Copies the working maps and the norms of their parameters (the ratios the
// balls shrink by) and returns the tree's root: a ball about the origin that
// holds the whole set, since |x| <= R implies |M x + t| <= norm R + |t| <= R.
Piece RootPiece(const MapSet& work, const MapSet& params, AffineMap* maps, double* norms);

// A piece's ball, narrowed to what its own matrix shows (`reach` from
// UnevenReach; nothing to narrow when it is 0). The piece's part of the
// attractor is the matrix's image of a part within `reach` of the origin.
inline void Narrow(Piece& c, double reach)
{
    if (reach > 0)
        c.rho = std::min(c.rho, Frobenius(c.m) * reach);
}

} // namespace march
