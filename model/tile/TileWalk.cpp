#include "model/tile/TileWalk.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"

namespace {

struct Frame {
    int64_t x, y; // the level's point, already multiplied by A
    int g;        // orientation
    int k;        // digit index still to visit
};

// Index of the group element equal to m, or -1.
int FindElement(const std::vector<TileMatrix>& group, const TileMatrix& m)
{
    for (size_t i = 0; i < group.size(); ++i)
        if (group[i] == m)
            return int(i);
    return -1;
}

// What every part of a walk shares: the offsets and orientations, and the
// bounds that prune subtrees off the canvas.
struct Tables {
    const TileMatrix& A;
    int nd, ng, deep;
    const std::vector<TilePoint>& offset;
    const std::vector<int>& next;
    const std::vector<double>&pa, &pb, &pc, &pe, &bound;
    double screen;
    bool prune;
};

// Whether the subtree `m` levels above the last, at lattice point (x, y),
// can reach the canvas: far subtrees are left out.
bool Descends(const Tables& t, int m, int64_t x, int64_t y)
{
    if (!t.prune || m < 3)
        return true;
    const size_t s = size_t(m);
    const double fx = t.pa[s] * double(x) + t.pb[s] * double(y);
    const double fy = t.pc[s] * double(x) + t.pe[s] * double(y);
    return !(std::hypot(fx, fy) > t.screen + t.bound[s]);
}

// Walks the subtree of st[floor] (its own digits from st[floor].k down to
// 0), calling plot(col, row, first-level digit) for every point in the
// order the whole walk reaches them, centre not yet added. The frames
// below `floor` are the path to it. False when a stop ended it.
// With kLeafRuns a frame of the last level plots all its points in one
// run, in the same order, before the walk goes back up.
template <bool kLeafRuns, class Plot>
bool WalkFrom(const Tables& t, Frame* st, int floor, uint64_t& count, const std::atomic<bool>& stop, Plot&& plot)
{
    const int ng = t.ng, nd = t.nd, deep = t.deep;
    int level = floor;
    for (;;) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        if (kLeafRuns && level + 1 == deep) {
            Frame& leaf = st[level];
            const int top = st[0].k;
            for (int k = leaf.k; k >= 0; --k) {
                const int g2 = t.next[size_t(k * ng + leaf.g)];
                const TilePoint& o = t.offset[size_t(k * ng + g2)];
                plot(leaf.x + o.x, leaf.y + o.y, top);
            }
            count += uint64_t(leaf.k + 1);
            leaf.k = 0;
            // As the walk below would after its last point.
            while (st[level].k == 0) {
                if (level == floor)
                    return true;
                --level;
            }
            --st[level].k;
            continue;
        }
        const Frame& f = st[level];
        const size_t i = size_t(f.k * ng + f.g);
        const int g2 = t.next[i];
        const TilePoint& o = t.offset[size_t(f.k * ng + g2)];
        const int64_t x = f.x + o.x, y = f.y + o.y;
        if (level + 1 == deep) {
            ++count;
            plot(x, y, st[0].k);
        } else {
            const int m = deep - level - 1;
            if (Descends(t, m, x, y)) {
                ++level;
                st[level] = {t.A.a * x + t.A.b * y, t.A.c * x + t.A.e * y, g2, nd - 1};
                continue;
            }
        }
        while (st[level].k == 0) {
            if (level == floor)
                return true;
            --level;
        }
        --st[level].k;
    }
}

// Leaves of the unpruned tree, capped well above where spreading pays.
uint64_t LeafCount(int nd, int deep)
{
    uint64_t n = 1;
    for (int k = 0; k < deep && n < (uint64_t(1) << 40); ++k)
        n *= uint64_t(nd);
    return n;
}

// Below this many points the walk takes about a millisecond: spreading it
// would cost more than it saves.
constexpr uint64_t kSpreadFromLeaves = uint64_t(1) << 20;
// Subtrees of each first-level digit to hand out: enough for the cores to
// even out.
constexpr uint64_t kSubtrees = 64;

// The walk in parallel subtrees. Every point has the colour of its
// first-level digit, and the whole walk takes those digits one after the
// other, so the subtrees of one first-level digit are walked side by side
// and the digits in the walk's order: where points coincide, the pixel ends
// with the colour the whole walk would leave, whichever core got there
// last. Pixels are written through relaxed atomic stores: two cores may
// write the same colour to one pixel.
TileWalkResult WalkSpread(const Tables& t, const std::atomic<bool>& stop, uint32_t* pixels, size_t stride, int64_t W,
                          int64_t H, const std::vector<uint32_t>& colors, uint64_t& visited)
{
    const int64_t cx = W / 2, cy = H / 2;
    // The levels walked here to find the subtrees, short of the points.
    int split = 1;
    for (uint64_t n = 1; n < kSubtrees && split + 2 < t.deep; n *= uint64_t(t.nd))
        ++split;
    // Each subtree's path, in the order of the whole walk: the frames of
    // levels 0..split with their digits chosen.
    struct Path {
        Frame st[kMaxTileDeep + 1];
    };
    std::vector<Path> paths;
    {
        Frame st[kMaxTileDeep + 1];
        st[0] = {0, 0, 0, t.nd - 1};
        // The top `split` levels walked as the whole walk goes, keeping each
        // frame it opens at level `split` instead of going into it.
        int level = 0;
        for (;;) {
            if (level == split) {
                paths.push_back({});
                std::copy(st, st + split + 1, paths.back().st);
                --level;
            } else {
                const Frame& f = st[level];
                const int g2 = t.next[size_t(f.k * t.ng + f.g)];
                const TilePoint& o = t.offset[size_t(f.k * t.ng + g2)];
                const int64_t x = f.x + o.x, y = f.y + o.y;
                const int m = t.deep - level - 1;
                if (Descends(t, m, x, y)) {
                    ++level;
                    st[level] = {t.A.a * x + t.A.b * y, t.A.c * x + t.A.e * y, g2, t.nd - 1};
                    continue;
                }
            }
            while (st[level].k == 0 && level > 0)
                --level;
            if (st[level].k == 0)
                break;
            --st[level].k;
        }
    }

    uint64_t total = 0;
    for (size_t first = 0; first < paths.size();) {
        // The run of subtrees under one first-level digit.
        size_t end = first;
        while (end < paths.size() && paths[end].st[0].k == paths[first].st[0].k)
            ++end;
        const uint32_t color = colors[size_t(paths[first].st[0].k)];
        std::atomic<uint64_t> points{0};
        std::atomic<bool> stopped{false};
        ForEachRange(int(end - first), 1, [&](int begin, int last) {
            uint64_t count = 0;
            for (int p = begin; p < last && !stopped.load(std::memory_order_relaxed); ++p) {
                Frame st[kMaxTileDeep + 1];
                std::copy(paths[first + size_t(p)].st, paths[first + size_t(p)].st + split + 1, st);
                const bool done = WalkFrom<true>(t, st, split, count, stop, [&](int64_t x, int64_t y, int) {
                    const int64_t col = x + cx, row = y + cy;
                    if (col >= 0 && col < W && row >= 0 && row < H)
                        std::atomic_ref<uint32_t>(pixels[size_t(row) * stride + size_t(col)])
                            .store(color, std::memory_order_relaxed);
                });
                if (!done)
                    stopped.store(true, std::memory_order_relaxed);
            }
            points.fetch_add(count, std::memory_order_relaxed);
        });
        total += points.load();
        if (stopped.load()) {
            visited = total;
            return TileWalkResult::kStopped;
        }
        first = end;
    }
    visited = total;
    return TileWalkResult::kDone;
}

} // namespace

TileWalkResult WalkTile(CCanvas& canvas, const std::atomic<bool>& stop, int deep, const TileNormalForm& form,
                        const std::vector<TileMatrix>& group, const std::vector<TilePoint>& digits,
                        const std::vector<int>& symmetry, const std::vector<uint32_t>& colors, uint64_t& visited)
{
    const TileMatrix& A = form.A;
    const int64_t d = Determinant(A);
    const int nd = int(digits.size());
    const int ng = int(group.size());
    if (nd < 1 || ng < 1 || deep < 1 || deep > kMaxTileDeep)
        return TileWalkResult::kBadSymmetry;

    // Offsets O(k, j) = G_j.P_k and next orientations nu(k, j): the index i
    // with G_i = A.G_j.A^-1.G_s(k), found as (A.G_j.adj(A).G_s(k)) / d.
    std::vector<TilePoint> offset(size_t(nd * ng));
    std::vector<int> next(size_t(nd * ng));
    const TileMatrix adj = Adjugate(A);
    double maxOffset = 0;
    for (int k = 0; k < nd; ++k) {
        for (int j = 0; j < ng; ++j) {
            const TileMatrix& G = group[size_t(j)];
            const TilePoint& P = digits[size_t(k)];
            TilePoint o{G.a * P.x + G.b * P.y, G.c * P.x + G.e * P.y};
            offset[size_t(k * ng + j)] = o;
            maxOffset = std::max(maxOffset, std::hypot(double(o.x), double(o.y)));
            const TileMatrix K = Multiply(Multiply(Multiply(A, G), adj), group[size_t(symmetry[size_t(k)])]);
            if (K.a % d || K.b % d || K.c % d || K.e % d)
                return TileWalkResult::kBadSymmetry;
            const int i = FindElement(group, {int(K.a / d), int(K.b / d), int(K.c / d), int(K.e / d)});
            if (i < 0)
                return TileWalkResult::kBadSymmetry;
            next[size_t(k * ng + j)] = i;
        }
    }

    // The buffer's own size bounds every write and centres the tile.
    const bool pixels32 = canvas.m_bitsPerPixel == 32;
    const int64_t W = pixels32 ? canvas.m_bufferWidth : 0, H = pixels32 ? canvas.m_bufferHeight : 0;
    const int64_t cx = W / 2, cy = H / 2;
    uint8_t* const base = canvas.m_bits.empty() ? nullptr : canvas.Row(0);
    const size_t stride = canvas.m_stride;

    // A subtree with m levels left lands within bound[m] of A^m times its
    // point; one that lands wholly off the canvas is skipped.
    std::vector<double> pa(size_t(deep) + 1), pb = pa, pc = pa, pe = pa, bound = pa;
    pa[0] = pe[0] = 1;
    double sum = 0;
    for (int m = 1; m <= deep; ++m) {
        const size_t p = size_t(m - 1);
        sum += std::sqrt(pa[p] * pa[p] + pb[p] * pb[p] + pc[p] * pc[p] + pe[p] * pe[p]);
        bound[size_t(m)] = sum * maxOffset;
        pa[size_t(m)] = A.a * pa[p] + A.b * pc[p];
        pb[size_t(m)] = A.a * pb[p] + A.b * pe[p];
        pc[size_t(m)] = A.c * pa[p] + A.e * pc[p];
        pe[size_t(m)] = A.c * pb[p] + A.e * pe[p];
    }
    const double screen = std::hypot(double(cx + 2), double(cy + 2)) + 2;
    const bool prune = !(bound[size_t(deep)] <= screen);

    const Tables tables{A, nd, ng, deep, offset, next, pa, pb, pc, pe, bound, screen, prune};
    uint32_t* const pixels = reinterpret_cast<uint32_t*>(base);
    const uint64_t leaves = LeafCount(nd, deep);
    if (PlainPath() || leaves < kSpreadFromLeaves || W == 0 || H == 0) {
        Frame st[kMaxTileDeep + 1];
        st[0] = {0, 0, 0, nd - 1};
        uint64_t count = 0;
        const bool done = WalkFrom<false>(tables, st, 0, count, stop, [&](int64_t x, int64_t y, int top) {
            const int64_t col = x + cx, row = y + cy;
            if (col >= 0 && col < W && row >= 0 && row < H)
                pixels[size_t(row) * (stride / 4) + size_t(col)] = colors[size_t(top)];
        });
        visited = count;
        return done ? TileWalkResult::kDone : TileWalkResult::kStopped;
    }
    return WalkSpread(tables, stop, pixels, stride / 4, W, H, colors, visited);
}
