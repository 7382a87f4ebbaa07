#include "model/TileWalk.h"

#include <cmath>

#include "imaging/Canvas.h"

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

} // namespace

TileWalkResult WalkTile(CCanvas& canvas, const std::atomic<bool>& stop, int deep,
                        const TileNormalForm& form, const std::vector<TileMatrix>& group,
                        const std::vector<TilePoint>& digits, const std::vector<int>& symmetry,
                        const std::vector<uint32_t>& colours, uint64_t& visited)
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

    Frame st[kMaxTileDeep + 1];
    st[0] = {0, 0, 0, nd - 1};
    int level = 0;
    uint64_t count = 0;
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) {
            visited = count;
            return TileWalkResult::kStopped;
        }
        const Frame& f = st[level];
        const size_t t = size_t(f.k * ng + f.g);
        const int g2 = next[t];
        const TilePoint& o = offset[size_t(f.k * ng + g2)];
        const int64_t x = f.x + o.x, y = f.y + o.y;
        if (level + 1 == deep) {
            ++count;
            const int64_t col = x + cx, row = y + cy;
            if (col >= 0 && col < W && row >= 0 && row < H)
                reinterpret_cast<uint32_t*>(base + size_t(row) * stride)[col] = colours[size_t(st[0].k)];
        } else {
            const int m = deep - level - 1;
            bool descend = true;
            if (prune && m >= 3) {
                const size_t s = size_t(m);
                const double fx = pa[s] * double(x) + pb[s] * double(y);
                const double fy = pc[s] * double(x) + pe[s] * double(y);
                descend = !(std::hypot(fx, fy) > screen + bound[s]);
            }
            if (descend) {
                ++level;
                st[level] = {A.a * x + A.b * y, A.c * x + A.e * y, g2, nd - 1};
                continue;
            }
        }
        while (st[level].k == 0) {
            if (level == 0) {
                visited = count;
                return TileWalkResult::kDone;
            }
            --level;
        }
        --st[level].k;
    }
}
