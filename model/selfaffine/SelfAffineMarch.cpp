// The three-dimensional build: one ray per pixel from the observer, moved
// forward by a step that doubles while the way ahead is clear and halves
// once the next step would reach the set; and the evaluation step that
// decides "would reach" and gives the hit points their normals.

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/selfaffine/FastPieceTree.h"
#include "model/selfaffine/MarchPieces.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

using march::Dot;
using march::kMaxDepth;
using march::kQueryBudget;
using march::kStopPoll;
using march::Piece;
using march::Vec;

// The plain walk: every child of every piece whose ball meets the query,
// in map order, one query at a time. Kept as the plain path that the fast
// walk is compared with.
class PieceTree {
public:
    PieceTree(const MapSet& work, const MapSet& params, const std::atomic<bool>& stop) : m_stop(stop)
    {
        m_count = work.Count();
        m_root = march::RootPiece(work, params, m_maps, m_norm);
        m_unevenReach = march::UnevenReach(m_maps, m_norm, m_count);
    }

    // True when a piece of size below eps lies within eps of the segment
    // a + s u, 0 <= s <= len. Meaningless once Stopped().
    bool SegmentHits(Vec a, Vec u, double len, double eps) const
    {
        m_a = a;
        m_u = u;
        m_len = len;
        m_eps = eps;
        m_queryStart = m_visited;
        return SegmentNear(m_root) && Hits(m_root, 0);
    }

    // Sum over pieces of size about `scale` within `reach` of p of
    // mu (1 - r^2 / reach^2)^power (p - c): points away from the mass near p.
    // Meaningless once Stopped().
    Vec AwayFromMass(Vec p, double scale, double reach, double power) const
    {
        m_p = p;
        m_scale = scale;
        m_reach = reach;
        m_power = power;
        m_sum = {0, 0, 0};
        m_queryStart = m_visited;
        Gather(m_root, 0);
        return m_sum;
    }

    // A stop was seen: every query since returns at once.
    bool Stopped() const { return m_stopped; }
    uint64_t Visited() const { return m_visited; }

private:
    // Counts one piece; false when the query must end, for a stop or for
    // its budget.
    bool Visit() const
    {
        ++m_visited;
        if (m_visited % kStopPoll == 0 && m_stop.load(std::memory_order_relaxed))
            m_stopped = true;
        return !m_stopped && m_visited - m_queryStart < kQueryBudget;
    }

    // A child's centre and ball; with uneven maps its matrix too, which its
    // ball is narrowed by.
    Piece Child(const Piece& parent, int k) const
    {
        Piece c = march::ChildOf(parent, m_maps[k], m_norm[k]);
        if (m_unevenReach > 0) {
            march::MultiplyInto(c, parent, m_maps[k].m);
            march::Narrow(c, m_unevenReach);
        }
        return c;
    }
    void Multiply(Piece& c, const Piece& parent, const double* b) const
    {
        if (!(m_unevenReach > 0))
            march::MultiplyInto(c, parent, b);
    }
    bool SegmentNear(const Piece& piece) const { return march::SegmentNear(piece, m_a, m_u, m_len, m_eps); }

    bool Hits(const Piece& piece, int depth) const
    {
        if (piece.rho < m_eps || depth >= kMaxDepth)
            return true;
        for (int k = 0; k < m_count; ++k) {
            if (!Visit())
                return true;
            Piece c = Child(piece, k);
            if (!SegmentNear(c))
                continue;
            if (c.rho < m_eps)
                return true;
            Multiply(c, piece, m_maps[k].m);
            if (Hits(c, depth + 1))
                return true;
        }
        return false;
    }

    void Gather(const Piece& piece, int depth) const
    {
        const Vec w = m_p - piece.t;
        const double r2 = Dot(w, w);
        const double limit = piece.rho + m_reach;
        if (r2 > limit * limit)
            return;
        if (piece.rho < m_scale || depth >= kMaxDepth) {
            const double f = 1 - r2 / (m_reach * m_reach);
            if (f <= 0)
                return;
            const double weight = piece.mu * std::pow(f, m_power);
            m_sum.x += weight * w.x;
            m_sum.y += weight * w.y;
            m_sum.z += weight * w.z;
            return;
        }
        for (int k = 0; k < m_count; ++k) {
            if (!Visit())
                return;
            Piece c = Child(piece, k);
            Multiply(c, piece, m_maps[k].m);
            Gather(c, depth + 1);
        }
    }

    const std::atomic<bool>& m_stop;
    mutable bool m_stopped = false;
    mutable uint64_t m_visited = 0, m_queryStart = 0;
    int m_count = 0;
    AffineMap m_maps[MapSet::kMaxMaps];
    double m_norm[MapSet::kMaxMaps];
    double m_unevenReach = 0;
    Piece m_root;
    mutable Vec m_a{}, m_u{}, m_p{}, m_sum{};
    mutable double m_len = 0, m_eps = 0, m_scale = 0, m_reach = 0, m_power = 0;
};

// Scales a hit's normal, as stored in floats, to length 1; one without a
// direction faces the observer.
void MakeUnitNormal(PixelRecord& c, Vec eye)
{
    const double len = std::sqrt(double(c.nx) * c.nx + double(c.ny) * c.ny + double(c.nz) * c.nz);
    if (len > 0 && std::isfinite(len)) {
        c.nx = float(c.nx / len);
        c.ny = float(c.ny / len);
        c.nz = float(c.nz / len);
        return;
    }
    Vec v = Vec{eye.x - c.x, eye.y - c.y, eye.z - c.z};
    const double vl = std::sqrt(Dot(v, v));
    if (vl > 0)
        v = {v.x / vl, v.y / vl, v.z / vl};
    else
        v = {0, 0, -1};
    c.nx = float(v.x);
    c.ny = float(v.y);
    c.nz = float(v.z);
}

// Whichever way the march ends, no pass of it runs any more.
struct PassesEnd {
    PassProgress& progress;
    ~PassesEnd() { progress.End(); }
};

// Rows per chunk of the march's own passes over the cells: a few thousand
// cells, enough to outweigh handing a chunk to a core.
constexpr int kRowsPerChunk = 16;

// One pass of the march over `count` cells from `cell`: a ray whose next
// step reaches the set halves its step, any other takes it and doubles it.
void AdvanceRays(PixelRecord* cell, size_t count, float smallest, float level)
{
    for (PixelRecord* end = cell + count; cell != end; ++cell) {
        PixelRecord& c = *cell;
        if (c.value > 0 || !(c.step > 0)) {
            c.step *= 0.5f;
        } else {
            c.x += c.step * c.nx;
            c.y += c.step * c.ny;
            c.z += c.step * c.nz;
            c.step = c.step < smallest ? -1.0f : c.step * 2;
            if (c.step > 1)
                c.state = -1;
        }
        if (!(c.step >= 0))
            c.state = -1;
        if (c.value > 0 || c.state > 0) {
            c.value = level;
            c.state = 1000;
        }
    }
}

} // namespace

void CSelfAffineSet::RayMarch(CCanvas& canvas, double d)
{
    CColorMap& map = m_colorMap;
    const int w = map.m_gridWidth, h = map.m_gridHeight, full = int(canvas.FullHeight());
    MarchView& view = m_marchView;
    view.d = d;
    view.x0 = m_centerX - (w / 2) * d;
    view.y0 = m_centerY - (full / 2) * d;
    view.firstRow = int(canvas.m_bandFirst);
    view.z = m_centerZ;
    view.eyeX = map.m_observerX;
    view.eyeY = map.m_observerY;
    view.eyeZ = map.m_observerZ;
    view.precision = m_piecePrecision > 0 && std::isfinite(m_piecePrecision) ? m_piecePrecision : 1.2;
    view.power = std::isfinite(m_power) ? std::clamp(m_power, 0.0, 16.0) : 2.0;
    m_marchMaps = m_maps;
    m_piecesVisited = 0;
    const double x0 = view.x0, y0 = view.y0;
    const int firstRow = view.firstRow;
    const Vec eye{view.eyeX, view.eyeY, view.eyeZ};
    const float level = float(-m_levelValue);
    const bool restart = m_restart;

    // Every cell on its own: rows spread over the cores.
    const double z = m_centerZ;
    ForEachRange(h, kRowsPerChunk, [&](int beginRow, int endRow) {
        for (int j = beginRow; j < endRow; ++j) {
            PixelRecord* cell = map.m_gridRows[size_t(j)];
            for (int i = 0; i < w; ++i, ++cell) {
                const Vec p{x0 + i * d, y0 + (j + firstRow) * d, z};
                if (restart) {
                    cell->value = level;
                    cell->state = 1000;
                    cell->step = 0.2f;
                    cell->x = float(p.x);
                    cell->y = float(p.y);
                    cell->z = float(p.z);
                } else {
                    // Cells a stopped march left for its last evaluation
                    // (state kAwaitingNormal) march on like the live ones.
                    if (!(cell->step >= 0))
                        cell->state = -1;
                    if (cell->value > 0 || cell->state > 0) {
                        cell->value = level;
                        cell->state = 1000;
                    }
                }
                Vec n = p - eye;
                const double len = std::sqrt(Dot(n, n));
                // A screen point at the observer looks straight ahead.
                if (!(len > 0))
                    n = {0, 0, 1};
                else
                    n = {n.x / len, n.y / len, n.z / len};
                cell->nx = float(n.x);
                cell->ny = float(n.y);
                cell->nz = float(n.z);
            }
        }
    });

    // A band marches all its passes before the next: the status says which
    // rows of the image they are.
    const std::string band = h == full ? std::string()
                                       : " (rows " + std::to_string(full - firstRow - h + 1) + " to " +
                                             std::to_string(full - firstRow) + " of " + std::to_string(full) + ")";
    const float smallest = float(d * 0.25);
    // The passes and the last evaluation, each counted by its rows.
    // A file may ask for INT_MAX passes: counted in 64 bits, that is a long
    // march rather than an overflow.
    const int64_t passes = int64_t(std::max(m_iterations, 0)) + 1;
    m_passProgress.Begin(int(std::min<int64_t>(passes, INT_MAX)), h);
    const PassesEnd passesEnd{m_passProgress};
    for (int64_t n = 1; n <= m_iterations; ++n) {
        const std::string label = "Iteration " + std::to_string(n) + " of " + std::to_string(m_iterations) + band;
        m_passProgress.StartPass(label);
        canvas.SetStatus(label);
        // A stop ends the passes; the cells are left for the last
        // evaluation below, which Paint finishes and Continue marches on
        // from, so neither loses what the passes found.
        if (!Evaluate(1))
            break;
        // Every cell on its own: rows spread over the cores.
        ForEachRange(h, kRowsPerChunk, [&](int first, int end) {
            AdvanceRays(map.m_gridRows[size_t(first)], size_t(end - first) * size_t(w), smallest, level);
        });
        // Shown whole before the next pass begins at nothing.
        canvas.SetStatus(label);
    }

    // The normals still hold the ray directions, which the last evaluation
    // needs; it replaces them with the surface normals of the hits. Until
    // it reaches a cell, the cell shows as a miss: Paint and Save Data As
    // never take a ray direction for a normal.
    for (PixelRecord& c : map.m_grid) {
        if (c.step > 1) {
            c.state = -1;
            c.value = 0;
        } else {
            c.state = kAwaitingNormal;
            c.value = 0;
        }
    }
    if (!m_stop)
        LastEvaluation(canvas);
}

bool CSelfAffineSet::LastEvaluation(CCanvas& canvas)
{
    const std::string label = "Surface normals";
    m_passProgress.StartPass(label);
    canvas.SetStatus(label);
    if (!Evaluate(0))
        return false;
    canvas.SetStatus(label);
    return true;
}

bool CSelfAffineSet::FinishLastEvaluation(CCanvas& canvas)
{
    for (const PixelRecord& c : m_colorMap.m_grid)
        if (c.state == kAwaitingNormal) {
            m_passProgress.Begin(1, m_colorMap.m_gridHeight);
            const PassesEnd passesEnd{m_passProgress};
            return LastEvaluation(canvas);
        }
    return true;
}

namespace {

// The evaluation step over rows [first, end) with one tree: false when a
// stop ended it.
template <class Tree>
bool EvaluateRows(Tree& tree, CColorMap& map, const CSelfAffineSet::MarchView& view, int reach, int first, int end,
                  const std::atomic<bool>& stop, PassProgress& progress)
{
    const int w = map.m_gridWidth;
    const double d = view.d, x0 = view.x0, y0 = view.y0;
    const Vec eye{view.eyeX, view.eyeY, view.eyeZ};
    const double precision = view.precision, power = view.power;
    // The hits of a row get their unit normals once the row is done (or
    // stopped): scaled from the stored floats, in a loop of its own, exactly
    // as a whole-grid pass would, so every picture keeps its bytes.
    std::vector<PixelRecord*> found;
    auto scaleFound = [&] {
        for (PixelRecord* c : found) {
            MakeUnitNormal(*c, eye);
            c->state = 1000;
        }
        found.clear();
    };
    for (int j = first; j < end; ++j) {
        if (stop)
            return false;
        PixelRecord* cell = map.m_gridRows[size_t(j)];
        for (int i = 0; i < w; ++i, ++cell) {
            if (reach == 1 ? cell->state <= 0 : cell->state != CSelfAffineSet::kAwaitingNormal)
                continue;
            const Vec a{cell->x, cell->y, cell->z};
            const Vec u{cell->nx, cell->ny, cell->nz};
            // A pixel covers more of the scene the farther the point is
            // from the observer than the screen is.
            const Vec screen = Vec{x0 + i * d, y0 + (j + view.firstRow) * d, view.z} - eye;
            const double screenDist = std::max(std::sqrt(Dot(screen, screen)), 1e-12);
            const double step = cell->step > 0 ? double(cell->step) : 0.0;
            const Vec far{a.x + step * u.x, a.y + step * u.y, a.z + step * u.z};
            const Vec toFar = far - eye;
            const double eps = precision * d * std::max(std::sqrt(Dot(toFar, toFar)) / screenDist, 1e-3);
            if (reach == 1) {
                const bool hits = tree.SegmentHits(a, u, step, eps);
                if (tree.Stopped())
                    return false;
                if (hits)
                    cell->value = 1;
                continue;
            }
            // The pass after the last hit halved the step, so the hit lies
            // within twice the stored step. A miss keeps its state: a ray
            // still inside the scene marches on when the build is continued.
            const bool hits = tree.SegmentHits(a, u, 2 * step + eps, eps);
            if (tree.Stopped()) {
                scaleFound();
                return false;
            }
            if (!hits) {
                cell->value = 0;
                cell->state = 1000;
                continue;
            }
            Vec n = tree.AwayFromMass(a, 2 * eps, 6 * eps, power);
            if (tree.Stopped()) {
                scaleFound();
                return false;
            }
            // Thin pieces have mass on both sides; either side is the
            // surface the observer sees.
            if (Dot(n, eye - a) < 0)
                n = {-n.x, -n.y, -n.z};
            cell->value = 1;
            cell->nx = float(n.x);
            cell->ny = float(n.y);
            cell->nz = float(n.z);
            found.push_back(cell);
        }
        scaleFound();
        progress.AddRows(1);
    }
    return true;
}

} // namespace

bool CSelfAffineSet::Evaluate(int reach)
{
    CColorMap& map = m_colorMap;
    const int h = map.m_gridHeight;
    if (m_work.Count() == 0) {
        if (reach == 0)
            for (PixelRecord& c : map.m_grid)
                if (c.state == kAwaitingNormal) {
                    c.value = 0;
                    c.state = 1000;
                }
        m_passProgress.AddRows(h);
        return true;
    }
    if (PlainPath()) {
        PieceTree tree(m_work, m_marchMaps, m_stop);
        const bool done = EvaluateRows(tree, map, m_marchView, reach, 0, h, m_stop, m_passProgress);
        m_piecesVisited += tree.Visited();
        return done;
    }
    // Each chunk of rows walks its own tree: the trees keep per-query state
    // and the last hit, which only the chunk's own rays may use.
    std::atomic<bool> stopped{false};
    ForEachRange(h, 2, [&](int first, int end) {
        FastPieceTree tree(m_work, m_marchMaps, m_stop);
        if (!EvaluateRows(tree, map, m_marchView, reach, first, end, m_stop, m_passProgress))
            stopped.store(true, std::memory_order_relaxed);
        m_piecesVisited.fetch_add(tree.Visited(), std::memory_order_relaxed);
    });
    return !stopped.load(std::memory_order_relaxed);
}
