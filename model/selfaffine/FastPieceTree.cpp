#include "model/selfaffine/FastPieceTree.h"

#include <bit>
#include <cmath>

using march::Piece;
using march::Vec;

FastPieceTree::FastPieceTree(const MapSet& work, const MapSet& params, const std::atomic<bool>& stop) : m_stop(stop)
{
    // The root, the stretches and the narrowing exactly as the plain walk
    // has them: the balls and the leaves must be the same pieces.
    m_count = work.Count();
    m_root = march::RootPiece(work, params, m_maps, m_norm);
    m_unevenReach = march::UnevenReach(m_maps, m_norm, m_count);
    m_childMaps = march::MakeChildMaps(m_maps, m_norm, m_count);
    m_tests = march::ChildTestsFor(ChosenKernelIsa());
    m_allChildren = m_count >= 32 ? ~uint32_t(0) : (uint32_t(1) << m_count) - 1;
}

uint32_t FastPieceTree::NearChildren(const Piece& node) const
{
    if (m_unevenReach > 0)
        return m_allChildren;
    return m_tests.segment(node, m_childMaps, m_a, m_u, m_len, m_eps);
}

uint32_t FastPieceTree::EnteredChildren(const Piece& node) const
{
    if (m_unevenReach > 0)
        return m_allChildren;
    return m_tests.point(node, m_childMaps, m_p, m_reach, m_scale);
}

bool FastPieceTree::Visit(uint64_t pieces)
{
    const uint64_t before = m_visited;
    m_visited += pieces;
    if (m_visited / march::kStopPoll != before / march::kStopPoll && m_stop.load(std::memory_order_relaxed))
        m_stopped = true;
    return !m_stopped && m_visited - m_queryStart < march::kQueryBudget;
}

namespace {

// The children from `first` to `last` that a loop over the maps visits:
// all but `skip`.
uint64_t Between(int first, int last, int skip)
{
    return uint64_t(last - first + 1) - (skip >= first && skip <= last ? 1 : 0);
}

} // namespace

Piece FastPieceTree::Child(const Piece& parent, int k) const
{
    Piece c = march::ChildOf(parent, m_maps[k], m_norm[k]);
    if (m_unevenReach > 0) {
        march::MultiplyInto(c, parent, m_maps[k].m);
        march::Narrow(c, m_unevenReach);
    }
    return c;
}

void FastPieceTree::Multiply(Piece& c, const Piece& parent, int k) const
{
    if (!(m_unevenReach > 0))
        march::MultiplyInto(c, parent, m_maps[k].m);
}

bool FastPieceTree::SegmentHits(Vec a, Vec u, double len, double eps)
{
    m_a = a;
    m_u = u;
    m_len = len;
    m_eps = eps;
    m_queryStart = m_visited;
    if (!Near(m_root))
        return false;
    if (m_root.rho < eps)
        return true;
    return m_lastHitLength > 0 ? SearchNearLastHit() : Hits(m_root, 0, -1);
}

bool FastPieceTree::SearchNearLastHit()
{
    // Grown to the deepest hit so far: most trees are a few levels deep.
    if (m_trail.size() < size_t(m_lastHitLength) + 1)
        m_trail.resize(size_t(m_lastHitLength) + 1);
    m_trail[0] = m_root;
    int depth = 0;
    for (int i = 0; i < m_lastHitLength; ++i) {
        if (!Visit())
            return true;
        const int k = m_lastHit[i];
        Piece c = Child(m_trail[size_t(i)], k);
        if (!Near(c))
            break;
        m_path[i] = k;
        if (c.rho < m_eps || i + 1 >= march::kMaxDepth) {
            m_lastHitLength = i + 1;
            return true;
        }
        Multiply(c, m_trail[size_t(i)], k);
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

bool FastPieceTree::Hits(const Piece& node, int depth, int skip)
{
    // The children left out by their lanes are counted in one step with
    // the next one tested: a budget or a stop that one of them would have
    // ended the query at ends it there, as nothing lies between.
    uint32_t near = NearChildren(node);
    if (skip >= 0)
        near &= ~(uint32_t(1) << skip);
    int next = 0;
    for (; near != 0; near &= near - 1) {
        const int k = std::countr_zero(near);
        if (!Visit(Between(next, k, skip)))
            return true;
        next = k + 1;
        Piece c = Child(node, k);
        if (!Near(c))
            continue;
        m_path[depth] = k;
        if (c.rho < m_eps || depth + 1 >= march::kMaxDepth) {
            std::copy(m_path, m_path + depth + 1, m_lastHit);
            m_lastHitLength = depth + 1;
            return true;
        }
        Multiply(c, node, k);
        if (Hits(c, depth + 1, -1))
            return true;
    }
    return !Visit(Between(next, m_count - 1, skip));
}

Vec FastPieceTree::AwayFromMass(Vec p, double scale, double reach, double power)
{
    m_p = p;
    m_scale = scale;
    m_reach = reach;
    m_power = power;
    m_sum = {0, 0, 0};
    m_queryStart = m_visited;
    if (Enter(m_root, 0))
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

void FastPieceTree::Gather(const Piece& node, int depth)
{
    // The plain walk makes every child's matrix before its test; a child
    // that is left there needs none.
    int next = 0;
    for (uint32_t entered = EnteredChildren(node); entered != 0; entered &= entered - 1) {
        const int k = std::countr_zero(entered);
        if (!Visit(Between(next, k, -1)))
            return;
        next = k + 1;
        Piece c = Child(node, k);
        if (!Enter(c, depth + 1))
            continue;
        Multiply(c, node, k);
        Gather(c, depth + 1);
    }
    Visit(Between(next, m_count - 1, -1));
}
