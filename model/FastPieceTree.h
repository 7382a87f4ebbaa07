#pragma once
// The march's piece tree walked quickly: the same queries as the plain walk,
// answered alike, over fewer pieces.
//
// A segment test answers whether some leaf (a piece smaller than eps, or one
// at the depth limit) lies with all its ancestors near the segment. Two
// things make that cheaper without changing the answer:
// - A subtree is left out when no leaf in it can be near. Its pieces stand
//   within |A| R of the subtree's own centre (A its matrix, R the root
//   radius), and a small leaf is near only within 2 eps; maps that shrink
//   unevenly give |A| far below the product of the stretches that the balls
//   use, so whole subtrees drop out long before their balls leave the
//   segment.
// - The path of the last hit is tried first: a neighbouring ray usually
//   reaches the same small piece, and one path is a proof of a hit.
// A normal sums the same leaves in the same order; subtrees whose leaves all
// lie beyond its reach are left out, as their terms would be skipped anyway.
//
// Only the count of visited pieces differs, so a query that the plain walk
// ends at its budget may be answered here (no sample comes near it).

#include <atomic>
#include <cstdint>
#include <vector>

#include "model/MarchPieces.h"

class FastPieceTree {
public:
    FastPieceTree(const MapSet& work, const MapSet& params, const std::atomic<bool>& stop);

    // As the plain walk: true when a piece of size below eps lies within eps
    // of the segment a + s u, 0 <= s <= len. Meaningless once Stopped().
    bool SegmentHits(march::Vec a, march::Vec u, double len, double eps);
    // As the plain walk: the sum over pieces of size about `scale` within
    // `reach` of p of mu (1 - r^2 / reach^2)^power (p - c).
    march::Vec AwayFromMass(march::Vec p, double scale, double reach, double power);

    bool Stopped() const { return m_stopped; }

private:
    // A piece with an upper bound on the stretch of its matrix.
    struct Node {
        march::Piece p;
        double sigma;
    };

    bool Visit();
    // Whether a leaf lies near under `node` (itself near, not a leaf),
    // leaving out its child `skip`.
    bool Hits(const Node& node, int depth, int skip);
    bool SearchNearLastHit();
    void Gather(const Node& node, int depth);
    // The plain walk's test on entering a piece of a normal: false when it
    // is too far or a leaf (whose term it adds), true to descend.
    bool Enter(const march::Piece& piece, int depth);
    // Whether every piece under `node` lies beyond the normal's reach.
    bool NoMassInReach(const Node& node) const;
    // The distance from x to the segment, rounded down by enough to cover
    // every rounding of the plain walk's own test.
    double SegmentDistanceBelow(march::Vec x) const;
    // Whether no small leaf under `node` can come within 2 eps of the segment.
    bool NoLeafNear(const Node& node) const;
    Node ChildNode(const Node& parent, int k) const;
    void Descend(Node& c, const Node& parent, int k) const;

    const std::atomic<bool>& m_stop;
    bool m_stopped = false;
    uint64_t m_visited = 0, m_queryStart = 0;
    int m_count = 0;
    AffineMap m_maps[MapSet::kMaxMaps];
    double m_norm[MapSet::kMaxMaps];
    // Upper bounds on the maps' stretches, from their matrices; and the
    // radius about the origin that holds every composition's centre (or
    // infinity when the matrices do not show that the maps shrink).
    double m_stretch[MapSet::kMaxMaps];
    double m_reachOfCentres = 0;
    // Whether the bounds can leave out more than the balls do: some map
    // shrinks unevenly, and all are seen to shrink.
    bool m_bound = false;
    // The largest ball a piece at the depth limit can have.
    double m_deepest = 0;
    Node m_root;

    // The query in progress.
    march::Vec m_a{}, m_u{}, m_p{}, m_sum{};
    double m_len = 0, m_eps = 0, m_scale = 0, m_reach = 0, m_power = 0;
    bool m_leaveOut = false;

    // The map indices from the root to the last hit, and the path walked now.
    int m_lastHit[march::kMaxDepth];
    int m_lastHitLength = 0;
    int m_path[march::kMaxDepth];
    // The pieces along the last hit's path that are near the query.
    std::vector<Node> m_trail;
};
