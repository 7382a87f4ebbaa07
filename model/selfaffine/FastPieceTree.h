#pragma once
// The march's piece tree walked quickly: the same queries as the plain walk,
// answered alike.
//
// A segment test answers whether some leaf (a piece smaller than eps, or one
// at the depth limit) lies with all its ancestors near the segment; any
// order of search gives that answer. This walk starts from the last hit's
// path, as a neighbouring ray usually reaches the same small piece or one
// beside it: it follows that path down while its pieces stay near, then
// searches the deepest of them and, going up, each ancestor's other
// children, which together are the whole tree, nearest first.
//
// Where no map shrinks unevenly, every child of a piece is tested at once in
// vector lanes (model/kernels/MarchKernel.h), with the bits the one-by-one
// test gives; the children are then taken in map order as before.
//
// Only the count of visited pieces differs from the plain walk, so a query
// that the plain walk ends at its budget may be answered here (no sample
// comes near the budget).

#include <atomic>
#include <cstdint>
#include <vector>

#include "model/kernels/MarchKernel.h"
#include "model/selfaffine/MarchPieces.h"

class FastPieceTree {
public:
    FastPieceTree(const MapSet& work, const MapSet& params, const std::atomic<bool>& stop);

    // As the plain walk: true when a piece of size below eps lies within eps
    // of the segment a + s u, 0 <= s <= len. Meaningless once Stopped().
    bool SegmentHits(march::Vec a, march::Vec u, double len, double eps);
    // As the plain walk: the sum over pieces of size about `scale` within
    // `reach` of p of mu (1 - r^2 / reach^2)^power (p - c), in its order.
    march::Vec AwayFromMass(march::Vec p, double scale, double reach, double power);

    bool Stopped() const { return m_stopped; }
    uint64_t Visited() const { return m_visited; }

private:
    // Counts `pieces` visited pieces; false when the query must end, for a
    // stop or for its budget.
    bool Visit(uint64_t pieces = 1);
    // Whether a leaf lies near under `node` (itself near, not a leaf),
    // leaving out its child `skip`.
    bool Hits(const march::Piece& node, int depth, int skip);
    bool SearchNearLastHit();
    void Gather(const march::Piece& node, int depth);
    // The plain walk's test on entering a piece of a normal: false when it
    // is too far or a leaf (whose term it adds), true to descend.
    bool Enter(const march::Piece& piece, int depth);
    bool Near(const march::Piece& c) const { return march::SegmentNear(c, m_a, m_u, m_len, m_eps); }
    march::Piece Child(const march::Piece& parent, int k) const;
    // The children of `node` near the segment, or that the normal's walk
    // enters, as a bit per map: every bit where only the one-by-one test
    // can tell, for maps that shrink unevenly.
    uint32_t NearChildren(const march::Piece& node) const;
    uint32_t EnteredChildren(const march::Piece& node) const;
    void Multiply(march::Piece& c, const march::Piece& parent, int k) const;

    const std::atomic<bool>& m_stop;
    bool m_stopped = false;
    uint64_t m_visited = 0, m_queryStart = 0;
    int m_count = 0;
    AffineMap m_maps[MapSet::kMaxMaps];
    double m_norm[MapSet::kMaxMaps];
    double m_unevenReach = 0;
    march::Piece m_root;
    march::ChildMaps m_childMaps;
    march::ChildTests m_tests;
    uint32_t m_allChildren = 0;

    // The query in progress.
    march::Vec m_a{}, m_u{}, m_p{}, m_sum{};
    double m_len = 0, m_eps = 0, m_scale = 0, m_reach = 0, m_power = 0;

    // The map indices from the root to the last hit, and the path walked now.
    int m_lastHit[march::kMaxDepth];
    int m_lastHitLength = 0;
    int m_path[march::kMaxDepth];
    // The pieces along the last hit's path that are near the query.
    std::vector<march::Piece> m_trail;
};
