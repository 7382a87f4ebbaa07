#include "model/FastPieceTree.h"

#include <cmath>

using march::Piece;
using march::Vec;

namespace {

// Room left for rounding in the bounds that leave subtrees out: far more
// than the few ulps a thousand levels of products gather, far less than any
// pixel.
constexpr double kSlack = 1e-9;
constexpr double kRoundoff = 1e-12;

double Frobenius(const double* m)
{
    double s = 0;
    for (int i = 0; i < 9; ++i)
        s += m[i] * m[i];
    return std::sqrt(s);
}

void Square(double* s)
{
    double t[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            t[i * 3 + j] = s[i * 3] * s[j] + s[i * 3 + 1] * s[3 + j] + s[i * 3 + 2] * s[6 + j];
    std::copy(t, t + 9, s);
}

// An upper bound on the stretch (largest singular value) of a 3x3 matrix:
// with S = M^T M, |S^p|^(1/p) never falls below S's largest eigenvalue and
// nears it as p grows (Frobenius norms).
double StretchBound(const double* m)
{
    double s[9];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            s[i * 3 + j] = m[i] * m[j] + m[3 + i] * m[3 + j] + m[6 + i] * m[6 + j];
    double best = Frobenius(s);
    if (!(best > 0) || !std::isfinite(best))
        return best == 0 ? 0 : HUGE_VAL;
    for (int p = 2; p <= 16; p *= 2) {
        Square(s);
        const double f = Frobenius(s);
        // Powers that vanish or overflow prove nothing.
        if (f > 0 && std::isfinite(f))
            best = std::min(best, std::pow(f, 1.0 / p));
    }
    return std::sqrt(best) * (1 + kRoundoff);
}

double Determinant(const double* m)
{
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
           m[2] * (m[3] * m[7] - m[4] * m[6]);
}

} // namespace

FastPieceTree::FastPieceTree(const MapSet& work, const MapSet& params, const std::atomic<bool>& stop)
    : m_stop(stop)
{
    // The root and the stretches exactly as the plain walk has them: the
    // balls and the leaves must be the same pieces.
    m_count = work.Count();
    double radius = 0, largest = 0, reach = 0;
    bool shrinks = true, uneven = false;
    for (int k = 0; k < m_count; ++k) {
        m_maps[k] = work.maps[k];
        m_norm[k] = MapNorm(params.maps[k]);
        largest = std::max(largest, m_norm[k]);
        const double* m = m_maps[k].m;
        const double t = std::sqrt(m[9] * m[9] + m[10] * m[10] + m[11] * m[11]);
        radius = std::max(radius, t / (1 - m_norm[k]));
        // The bounds that leave subtrees out rest on the matrices alone.
        m_stretch[k] = StretchBound(m);
        shrinks = shrinks && m_stretch[k] < 1 && std::isfinite(t);
        // A map that shrinks alike in every direction has |det| = norm^3;
        // compositions of such maps stretch exactly by the product of their
        // norms, and the balls are already as small as the bound.
        uneven = uneven || std::fabs(Determinant(m)) < m_norm[k] * m_norm[k] * m_norm[k] * (1 - 1e-6);
        if (shrinks)
            reach = std::max(reach, t * (1 + kRoundoff) / (1 - m_stretch[k]));
    }
    m_root = Node{Piece{{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}, radius, 1.0}, 1.0};
    m_reachOfCentres = shrinks && std::isfinite(reach) ? reach * (1 + kSlack) : HUGE_VAL;
    m_bound = uneven && std::isfinite(m_reachOfCentres);
    m_deepest = radius * std::pow(largest, double(march::kMaxDepth)) * (1 + kSlack);
    m_trail.resize(march::kMaxDepth + 1);
}

bool FastPieceTree::Visit()
{
    ++m_visited;
    if (m_visited % march::kStopPoll == 0 && m_stop.load(std::memory_order_relaxed))
        m_stopped = true;
    return !m_stopped && m_visited - m_queryStart < march::kQueryBudget;
}

FastPieceTree::Node FastPieceTree::ChildNode(const Node& parent, int k) const
{
    return Node{march::ChildOf(parent.p, m_maps[k], m_norm[k]), parent.sigma * m_stretch[k] * (1 + kRoundoff)};
}

void FastPieceTree::Descend(Node& c, const Node& parent, int k) const
{
    march::MultiplyInto(c.p, parent.p, m_maps[k].m);
    if (m_bound)
        c.sigma = std::min(c.sigma, Frobenius(c.p.m) * (1 + kRoundoff));
}

double FastPieceTree::SegmentDistanceBelow(Vec x) const
{
    const Vec w = x - m_a;
    const double uu = Dot(m_u, m_u);
    const double s = uu > 0 ? std::clamp(Dot(w, m_u) / uu, 0.0, m_len) : 0.0;
    const Vec q{w.x - s * m_u.x, w.y - s * m_u.y, w.z - s * m_u.z};
    const double size = std::fabs(w.x) + std::fabs(w.y) + std::fabs(w.z) + m_len;
    return std::sqrt(Dot(q, q)) * (1 - kSlack) - kRoundoff * size;
}

bool FastPieceTree::NoLeafNear(const Node& node) const
{
    // Every piece below lies within sigma R of the node's centre; a leaf's
    // ball is below eps, so it is near only within 2 eps.
    return SegmentDistanceBelow(node.p.t) > (node.sigma * m_reachOfCentres + 2 * m_eps) * (1 + kSlack);
}

bool FastPieceTree::SegmentHits(Vec a, Vec u, double len, double eps)
{
    m_a = a;
    m_u = u;
    m_len = len;
    m_eps = eps;
    m_queryStart = m_visited;
    // Pieces at the depth limit count as leaves whatever their size: only
    // when those are all small is a subtree with no small leaf near empty.
    m_leaveOut = m_bound && m_deepest < eps;
    if (!march::SegmentNear(m_root.p, a, u, len, eps))
        return false;
    if (m_root.p.rho < eps)
        return true;
    return m_lastHitLength > 0 ? SearchNearLastHit() : Hits(m_root, 0, -1);
}

bool FastPieceTree::SearchNearLastHit()
{
    // Follow the last hit's path down while its pieces stay near; then
    // search the deepest of them, and going up, each ancestor's other
    // children. Together that is the whole tree, nearest first.
    m_trail[0] = m_root;
    int depth = 0;
    for (int i = 0; i < m_lastHitLength; ++i) {
        if (!Visit())
            return true;
        const int k = m_lastHit[i];
        Node c = ChildNode(m_trail[size_t(i)], k);
        if (!march::SegmentNear(c.p, m_a, m_u, m_len, m_eps))
            break;
        m_path[i] = k;
        if (c.p.rho < m_eps || i + 1 >= march::kMaxDepth) {
            m_lastHitLength = i + 1;
            return true;
        }
        Descend(c, m_trail[size_t(i)], k);
        if (m_leaveOut && NoLeafNear(c))
            break;
        m_trail[size_t(i + 1)] = c;
        depth = i + 1;
    }
    for (int i = depth, skip = -1; i >= 0; --i) {
        if (Hits(m_trail[size_t(i)], i, skip))
            return true;
        if (i > 0)
            skip = m_lastHit[i - 1];
    }
    return false;
}

bool FastPieceTree::Hits(const Node& node, int depth, int skip)
{
    for (int k = 0; k < m_count; ++k) {
        if (k == skip)
            continue;
        if (!Visit())
            return true;
        Node c = ChildNode(node, k);
        if (!march::SegmentNear(c.p, m_a, m_u, m_len, m_eps))
            continue;
        m_path[depth] = k;
        if (c.p.rho < m_eps || depth + 1 >= march::kMaxDepth) {
            std::copy(m_path, m_path + depth + 1, m_lastHit);
            m_lastHitLength = depth + 1;
            return true;
        }
        Descend(c, node, k);
        if (m_leaveOut && NoLeafNear(c))
            continue;
        if (Hits(c, depth + 1, -1))
            return true;
    }
    return false;
}

Vec FastPieceTree::AwayFromMass(Vec p, double scale, double reach, double power)
{
    m_p = p;
    m_scale = scale;
    m_reach = reach;
    m_power = power;
    m_sum = {0, 0, 0};
    m_queryStart = m_visited;
    if (Enter(m_root.p, 0))
        Gather(m_root, 0);
    return m_sum;
}

bool FastPieceTree::Enter(const Piece& piece, int depth)
{
    const Vec w = m_p - piece.t;
    const double r2 = Dot(w, w);
    const double limit = piece.rho + m_reach;
    if (r2 > limit * limit)
        return false;
    if (piece.rho < m_scale || depth >= march::kMaxDepth) {
        const double f = 1 - r2 / (m_reach * m_reach);
        if (f <= 0)
            return false;
        const double weight = piece.mu * std::pow(f, m_power);
        m_sum.x += weight * w.x;
        m_sum.y += weight * w.y;
        m_sum.z += weight * w.z;
        return false;
    }
    return true;
}

bool FastPieceTree::NoMassInReach(const Node& node) const
{
    // Every piece below lies within sigma R of the node's centre; one at
    // `reach` or farther adds nothing.
    const Vec w = m_p - node.p.t;
    const double size = std::fabs(m_p.x) + std::fabs(m_p.y) + std::fabs(m_p.z) + std::fabs(node.p.t.x) +
                        std::fabs(node.p.t.y) + std::fabs(node.p.t.z);
    const double below = std::sqrt(Dot(w, w)) * (1 - kSlack) - kRoundoff * size;
    return below > (node.sigma * m_reachOfCentres + m_reach) * (1 + kSlack);
}

void FastPieceTree::Gather(const Node& node, int depth)
{
    for (int k = 0; k < m_count; ++k) {
        if (!Visit())
            return;
        Node c = ChildNode(node, k);
        if (!Enter(c.p, depth + 1))
            continue;
        Descend(c, node, k);
        if (m_bound && NoMassInReach(c))
            continue;
        Gather(c, depth + 1);
    }
}
