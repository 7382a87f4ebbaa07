// Drawing of the tile set: residues, grid, click, tables and the walk.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/tile/TileSet.h"
#include "model/tile/TileWalk.h"

namespace {

int64_t MulX(const TileMatrix& m, int64_t x, int64_t y) { return m.a * x + m.b * y; }
int64_t MulY(const TileMatrix& m, int64_t x, int64_t y) { return m.c * x + m.e * y; }

struct Mat2d {
    double a = 1, b = 0, c = 0, e = 1;
};
Mat2d Mul(const Mat2d& l, const Mat2d& r)
{
    return {l.a * r.a + l.b * r.c, l.a * r.b + l.b * r.e, l.c * r.a + l.e * r.c, l.c * r.b + l.e * r.e};
}
Mat2d ToDouble(const TileMatrix& m) { return {double(m.a), double(m.b), double(m.c), double(m.e)}; }

// Writes only inside the buffer Draw made, whatever the target size says
// meanwhile.
class Painter {
public:
    explicit Painter(CCanvas& c) : m_canvas(c), m_w(int64_t(c.m_bufferWidth)), m_h(int64_t(c.m_bufferHeight)) {}
    void Put(int64_t col, int64_t row, uint32_t color)
    {
        if (col >= 0 && col < m_w && row >= 0 && row < m_h)
            reinterpret_cast<uint32_t*>(m_canvas.Row(unsigned(row)))[col] = color;
    }
    CCanvas& m_canvas;
    int64_t m_w, m_h;
};

// Truncation toward zero without undefined behaviour for far-off values.
int64_t Trunc(double v)
{
    if (!(v > -1e15))
        return int64_t(-1e15);
    if (v > 1e15)
        return int64_t(1e15);
    return int64_t(v);
}

void DottedLine(Painter& p, double x1, double y1, double x2, double y2)
{
    const double dx = x2 - x1, dy = y2 - y1;
    if (std::fabs(dy) > std::fabs(dx)) {
        const double k = dx / dy;
        for (int64_t row = 0; row < p.m_h; row += 4)
            p.Put(Trunc(row * k + (x1 - y1 * k) + 0.5), row, 0xFFFFFF);
    } else if (dx != 0) {
        const double k = dy / dx;
        for (int64_t col = 0; col < p.m_w; col += 4)
            p.Put(col, Trunc(col * k + (y1 - x1 * k)), 0xFFFFFF);
    }
}

// Lines of the lattice B.Z^2 and the residue class of each lattice point;
// false when a stop ended it. A large canvas holds millions of lattice
// points, each tested against up to 100 classes.
bool DrawGrid(Painter& p, const Mat2d& B, const TileMatrix& A, const std::vector<TilePoint>& residues,
              const std::vector<uint32_t>& colors, const std::atomic<bool>& stop)
{
    const double W = double(p.m_w), H = double(p.m_h);
    const double cx = double(p.m_w / 2), cy = double(p.m_h / 2);
    const double detB = std::fabs(B.a * B.e - B.b * B.c);
    const double extent = std::sqrt(B.a * B.a + B.b * B.b + B.c * B.c + B.e * B.e) / detB * 0.5 * std::max(W, H);
    // The lattice is at least one pixel apart, so this bounds the count.
    const int64_t rg = std::isfinite(extent) ? std::min<int64_t>(Trunc(extent), 4 * int64_t(std::max(W, H)) + 4) : 0;
    for (int64_t i = -rg; i < rg; ++i) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        const double fi = double(i), fr = double(rg);
        DottedLine(p, B.a * fi - B.b * fr + cx, B.c * fi - B.e * fr + cy, B.a * fi + B.b * fr + cx,
                   B.c * fi + B.e * fr + cy);
        DottedLine(p, -B.a * fr + B.b * fi + cx, -B.c * fr + B.e * fi + cy, B.a * fr + B.b * fi + cx,
                   B.c * fr + B.e * fi + cy);
    }
    const TileMatrix adj = Adjugate(A);
    const int64_t d = Determinant(A);
    // The residue class of lattice point (i, j) when its square lands
    // inside, or -1.
    auto classOf = [&](int64_t i, int64_t j, int64_t& px, int64_t& py) {
        px = Trunc(B.a * double(i) + B.b * double(j) + cx);
        py = Trunc(B.c * double(i) + B.e * double(j) + cy);
        if (!(2 < px && px < p.m_w - 3 && 2 < py && py < p.m_h - 3))
            return -1;
        for (size_t k = 0; k < residues.size(); ++k) {
            const int64_t ux = residues[k].x - i, uy = residues[k].y - j;
            if (MulX(adj, ux, uy) % d == 0 && MulY(adj, ux, uy) % d == 0)
                return int(k);
        }
        return -1;
    };
    auto paint = [&](int64_t px, int64_t py, int k) {
        for (int64_t r = py - 3; r <= py + 2; ++r)
            for (int64_t c = px - 3; c <= px + 2; ++c)
                p.Put(c, r, colors[size_t(k)]);
    };
    if (PlainPath()) {
        for (int64_t i = -rg; i < rg; ++i) {
            if (stop.load(std::memory_order_relaxed))
                return false;
            for (int64_t j = -rg; j < rg; ++j) {
                int64_t px, py;
                const int k = classOf(i, j, px, py);
                if (k >= 0)
                    paint(px, py, k);
            }
        }
        return true;
    }
    // The squares overlap where the lattice is dense, so they are painted
    // in the order above, on one thread; the search for their classes,
    // which is most of the work, is spread over the lattice rows of a block
    // at a time.
    struct Square {
        int64_t px, py;
        int k;
    };
    constexpr int64_t kBlockRows = 32;
    std::vector<std::vector<Square>> found(static_cast<size_t>(kBlockRows));
    for (int64_t first = -rg; first < rg; first += kBlockRows) {
        const int64_t rows = std::min(kBlockRows, rg - first);
        std::atomic<bool> stopped{false};
        ForEachRange(int(rows), 1, [&](int begin, int end) {
            for (int n = begin; n < end; ++n) {
                if (stop.load(std::memory_order_relaxed)) {
                    stopped.store(true, std::memory_order_relaxed);
                    return;
                }
                const int64_t i = first + n;
                std::vector<Square>& row = found[size_t(n)];
                row.clear();
                for (int64_t j = -rg; j < rg; ++j) {
                    Square s;
                    s.k = classOf(i, j, s.px, s.py);
                    if (s.k >= 0)
                        row.push_back(s);
                }
            }
        });
        if (stopped.load())
            return false;
        for (int64_t n = 0; n < rows; ++n)
            for (const Square& s : found[size_t(n)])
                paint(s.px, s.py, s.k);
    }
    return true;
}

} // namespace

std::vector<TilePoint> CanonicalResidues(const TileMatrix& A)
{
    const int64_t n = std::llabs((long long)Determinant(A));
    std::vector<TilePoint> kept;
    if (n == 0)
        return kept;
    // The classes fill A.[0,1)^2 (or its mirror), which reaches |p|+|q|
    // across and |r|+|s| up; a window of n alone can miss some.
    const int64_t reach = std::max<int64_t>({n, std::llabs(A.a) + std::llabs(A.b), std::llabs(A.c) + std::llabs(A.e)});
    for (int64_t x = -reach; x <= reach; ++x)
        for (int64_t y = -reach; y <= reach; ++y) {
            const int64_t u = int64_t(A.e) * x - int64_t(A.b) * y, v = int64_t(A.a) * y - int64_t(A.c) * x;
            if (0 <= u && u < n && 0 <= v && v < n)
                kept.push_back({x, y});
        }
    const auto origin = std::find(kept.begin(), kept.end(), TilePoint{});
    if (origin != kept.end())
        std::iter_swap(kept.begin(), origin);
    for (TilePoint& r : kept) {
        const TilePoint start = r;
        int64_t best = start.x * start.x + start.y * start.y;
        for (int a = -1; a <= 1; ++a)
            for (int b = -1; b <= 1; ++b) {
                const TilePoint c{start.x + MulX(A, a, b), start.y + MulY(A, a, b)};
                const int64_t len = c.x * c.x + c.y * c.y;
                if (len < best) {
                    best = len;
                    r = c;
                }
            }
    }
    return kept;
}

std::vector<TileMatrix> SymmetryGroup(const TileNormalForm& f)
{
    if (f.code == 0)
        return {};
    const int order = f.code > 0 ? f.code : -2 * f.code;
    std::vector<TileMatrix> g(static_cast<size_t>(order));
    for (int i = 1; i < order; ++i)
        g[size_t(i)] = f.code < 0 && i == -f.code ? f.ref : Multiply(f.rot, g[size_t(i - 1)]);
    return g;
}

int CTileSet::Draw(CCanvas& canvas)
{
    // The target size is read once: everything after works on the buffer
    // made from it.
    const unsigned W = canvas.m_targetWidth, H = canvas.m_targetHeight;
    canvas.Resize(W, H, 32);
    canvas.Clear();
    m_pointsVisited = 0;
    const int32_t clickX = m_clickX.exchange(-1);
    const int32_t clickY = m_clickY;
    ClampLimits();

    const int n = DigitCount();
    const TileNormalForm form = NormalForm(m_determinant, m_track);
    if (form.code == 0)
        return 0;
    const TileMatrix& A = form.A;
    const std::vector<TileMatrix> group = SymmetryGroup(form);
    const int order = int(group.size());
    const std::vector<TilePoint> residues = CanonicalResidues(A);
    if (int(residues.size()) != n)
        return 0; // cannot happen with the widened search; never index past it
    std::vector<uint32_t> colors(static_cast<size_t>(n));
    static const uint32_t kFirst[7] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    for (int k = 0; k < n; ++k) {
        if (k < 7) {
            colors[size_t(k)] = kFirst[k];
        } else {
            // 15 bits from each call, as the colour formula expects, so a
            // wider RAND_MAX can neither overflow nor leave 24 bits.
            const uint32_t r1 = uint32_t(std::rand()) & 0x7FFF;
            const uint32_t r2 = uint32_t(std::rand()) & 0x7FFF;
            colors[size_t(k)] = (r1 / 256 + r2 * 256) & 0xFFFFFF;
        }
    }

    Mat2d B;
    for (int i = 1; i < m_deep; ++i)
        B = Mul(B, ToDouble(A));
    Painter painter(canvas);
    if (m_grid && !DrawGrid(painter, B, A, residues, colors, m_stop))
        return 0;

    if (clickX != -1) {
        const double dx = double(clickX) - double(W / 2), dy = double(H / 2) - double(clickY);
        const double detB = B.a * B.e - B.b * B.c;
        const int64_t ci = Trunc(std::floor((B.e * dx - B.b * dy) / detB + 0.5));
        const int64_t cj = Trunc(std::floor((-B.c * dx + B.a * dy) / detB + 0.5));
        const TileMatrix adj = Adjugate(A);
        const int64_t d = Determinant(A);
        for (int k = 0; k < n; ++k) {
            const int64_t ux = ci - residues[size_t(k)].x, uy = cj - residues[size_t(k)].y;
            const int64_t a = MulX(adj, ux, uy) / d, b = MulY(adj, ux, uy) / d;
            if (MulX(A, a, b) + residues[size_t(k)].x != ci || MulY(A, a, b) + residues[size_t(k)].y != cj)
                continue;
            if (a < INT32_MIN || a > INT32_MAX || b < INT32_MIN || b > INT32_MAX)
                break;
            m_digitX[k] = int32_t(a);
            m_digitY[k] = int32_t(b);
            if (m_clickRight) {
                if (++m_digitSymmetry[k] >= order)
                    m_digitSymmetry[k] = -1;
                m_clickRight = false;
            }
        }
    }

    // The digits kept, with their symmetries and colours.
    std::vector<TilePoint> digits;
    std::vector<int> symmetry;
    std::vector<uint32_t> digitColor;
    for (int k = 0; k < n; ++k) {
        if (m_digitSymmetry[k] < 0)
            continue;
        if (m_digitSymmetry[k] >= order)
            return 0; // no such group element
        const TilePoint& r = residues[size_t(k)];
        digits.push_back({r.x + MulX(A, m_digitX[k], m_digitY[k]), r.y + MulY(A, m_digitX[k], m_digitY[k])});
        symmetry.push_back(m_digitSymmetry[k]);
        digitColor.push_back(colors[size_t(k)]);
    }
    const int nd = int(digits.size());
    if (nd < 2)
        return 0;
    return WalkTile(canvas, m_stop, m_deep, form, group, digits, symmetry, digitColor, m_pointsVisited) ==
                   TileWalkResult::kDone
               ? 1
               : 0;
}
