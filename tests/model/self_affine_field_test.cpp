// The two-dimensional field build against a slow, plain walk of the
// composition tree written out here on its own, and against field values
// worked by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "imaging/Canvas.h"
#include "model/Samples.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

struct FixedView : CanvasView {
    void ClientSize(unsigned& w, unsigned& h) override { w = width, h = height; }
    void StatusChanged() override {}
    unsigned width = 1, height = 1;
};

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        view.width = w;
        view.height = h;
        m_view = &view;
        MeasureView();
    }
    FixedView view;
};

std::unique_ptr<CSelfAffineSet> Sample(int n)
{
    std::unique_ptr<CFractal> f = MakeSample(n);
    return std::unique_ptr<CSelfAffineSet>(static_cast<CSelfAffineSet*>(f.release()));
}

// The field every piece of the tree adds, summed in the order of a
// depth-first walk, one recursive call per descended piece. A composition is
// an affine map x -> A x + t.
class ReferenceField {
public:
    ReferenceField(const CSelfAffineSet& f, int w, int h)
        : m_maps(f.m_work), m_w(w), m_h(h), m_cz(f.m_centerZ), m_precision(f.m_piecePrecision),
          m_nx(size_t(w) * size_t(h), 0.0f), m_ny(m_nx.size(), 0.0f), m_marked(m_nx.size(), false)
    {
        m_d = 2 * f.m_halfSize / std::min(w, h);
        m_x0 = f.m_centerX - (w / 2) * m_d;
        m_y0 = f.m_centerY - (h / 2) * m_d;
    }

    // `budget` children are visited before the walk stops; -1 for all.
    void Run(long budget = -1)
    {
        m_budget = budget;
        const double identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        const double zero[3] = {0, 0, 0};
        Visit(identity, zero, 1.0, 0, m_w, 0, m_h, 0);
    }

    float Nx(int r, int c) const { return m_nx[Index(r, c)]; }
    float Ny(int r, int c) const { return m_ny[Index(r, c)]; }
    bool Marked(int r, int c) const { return m_marked[Index(r, c)]; }

private:
    size_t Index(int r, int c) const { return size_t(r) * size_t(m_w) + size_t(c); }

    static int BoxEdge(double v, int lo, int hi) { return int(std::clamp(std::trunc(v), double(lo), double(hi))); }

    // Returns false once the budget is spent.
    bool Visit(const double a[9], const double t[3], double mu, int left, int right, int bottom, int top, int depth)
    {
        for (int k = 0; k < m_maps.Count(); ++k) {
            const double* m = m_maps.maps[k].m;
            // A composed with map k: linear part A M, translation A t_k + t.
            double ca[9], ct[3];
            double square = 0;
            for (int i = 0; i < 3; ++i) {
                for (int j = 0; j < 3; ++j) {
                    double e = 0;
                    for (int l = 0; l < 3; ++l)
                        e += a[i * 3 + l] * m[l * 3 + j];
                    ca[i * 3 + j] = e;
                    square += e * e;
                }
                double e = 0;
                for (int l = 0; l < 3; ++l)
                    e += a[i * 3 + l] * m[9 + l];
                ct[i] = e + t[i];
            }
            const double cmu = mu * m[12];
            const double size = std::sqrt(square / 3) * m_precision;
            const double dz = m_cz - ct[2];

            bool own = false; // the child's box, where its children add their fields
            int cl = 0, cr = 0, cb = 0, ctop = 0;
            if (size < m_d) {
                m_marked[Index(top > 0 ? top - 1 : 0, right > 0 ? right - 1 : 0)] = true;
            } else if (std::fabs(dz) <= size) {
                cl = BoxEdge((-m_x0 - ct[0] - size) / m_d + 0.5, left, right);
                cr = BoxEdge((size - ct[0] - m_x0) / m_d + 0.5, left, right);
                cb = BoxEdge((-m_y0 - ct[1] - size) / m_d + 0.5, bottom, top);
                ctop = BoxEdge((size - ct[1] - m_y0) / m_d + 0.5, bottom, top);
                own = cl < cr && cb < ctop;
            }
            for (int r = bottom; r < top; ++r)
                for (int c = left; c < right; ++c) {
                    if (own && c >= cl && c < cr && r >= cb && r < ctop)
                        continue;
                    const double x = m_x0 + c * m_d + ct[0];
                    const double y = m_y0 + r * m_d + ct[1];
                    const double den = x * x + y * y + dz * dz;
                    if (!(den > 0))
                        continue;
                    const double q = 1 / den;
                    m_nx[Index(r, c)] += float(cmu * q * q * x);
                    m_ny[Index(r, c)] += float(cmu * q * q * y);
                }
            if (m_budget > 0 && --m_budget == 0)
                return false;
            // The root and 1000 levels below it.
            if (own && depth + 1 <= 1000 && !Visit(ca, ct, cmu, cl, cr, cb, ctop, depth + 1))
                return false;
        }
        return true;
    }

    const MapSet& m_maps;
    int m_w, m_h;
    double m_cz, m_precision, m_d = 0, m_x0 = 0, m_y0 = 0;
    std::vector<float> m_nx, m_ny;
    std::vector<bool> m_marked;
    long m_budget = -1;
};

// Builds `f` at w x h and compares every cell with the reference walk;
// returns the number of cells that differ.
int CompareWithReference(CSelfAffineSet& f, int w, int h, long budget = -1)
{
    Target canvas{unsigned(w), unsigned(h)};
    f.Build(canvas);
    ReferenceField ref(f, w, h);
    ref.Run(budget);
    const CColorMap& map = f.m_colorMap;
    int differ = 0;
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const PixelRecord* cell = map.Cell(r, c);
            const bool marked = cell->value >= 1e10f;
            differ += cell->nx != ref.Nx(r, c) || cell->ny != ref.Ny(r, c) || marked != ref.Marked(r, c) ||
                      (!marked && cell->value != 0);
        }
    return differ;
}

TEST(SelfAffineField, EveryCellMatchesAPlainWalkOfTheTree)
{
    struct Case {
        int sample, w, h;
        double cx, cy, cz, half;
        bool view; // replace the sample's view
    };
    const Case cases[] = {
        {0, 48, 36, 0, 0, 0, 1, false},   {0, 40, 40, 0.3, -0.2, 0, 0.4, true}, // off-centre zoom
        {1, 48, 36, 0, 0, 0, 1, false},   {2, 40, 30, 0, 0, 0, 1, false},
        {3, 40, 30, 0, 0, 0, 1, false},   {10, 48, 36, 0, 0, 0, 1, false},
        {10, 40, 30, 0, 0, 0.3, 1, true}, {11, 48, 36, 0, 0, 0, 1, false},
        {11, 40, 30, 0, 0, 5, 1, true},   {11, 30, 40, 0.2, 0.1, -0.25, 0.7, true},
        {40, 36, 36, 0, 0, 0, 1, false}, // the segment, built flat
    };
    for (const Case& k : cases) {
        auto f = Sample(k.sample);
        if (k.view) {
            f->m_centerX = k.cx;
            f->m_centerY = k.cy;
            f->m_centerZ = k.cz;
            f->m_halfSize = k.half;
        }
        EXPECT_EQ(CompareWithReference(*f, k.w, k.h), 0)
            << "sample " << k.sample << " at " << k.w << "x" << k.h << ", z " << k.cz;
    }
    // A coarser piece size changes which pieces count as small.
    auto f = Sample(0);
    f->m_piecePrecision = 3.5;
    EXPECT_EQ(CompareWithReference(*f, 32, 24), 0);
}

TEST(SelfAffineField, AStopEndsTheBuildAfterTheChildItIsOn)
{
    // Stop pressed before the build starts: exactly one piece is walked,
    // whether it is descended (a large view), below pixel size (a view of
    // 2 x 2 pixels, where the first pieces are smaller than a pixel) or off
    // the section.
    struct Case {
        int sample, w, h;
        double cz;
    };
    for (const Case k : {Case{0, 32, 24, 0}, Case{0, 2, 2, 0}, Case{11, 32, 24, 5}}) {
        auto f = Sample(k.sample);
        f->m_centerZ = k.cz;
        f->m_stop = true;
        EXPECT_EQ(CompareWithReference(*f, k.w, k.h, 1), 0) << k.sample << " " << k.w;
        // The whole tree gives a different picture, so the comparison above
        // sees the stop.
        EXPECT_GT(CompareWithReference(*f, k.w, k.h), 0) << k.sample << " " << k.w;
    }
}

TEST(SelfAffineField, FarFromTheSectionTheImageIsTheFieldOfTheFirstPieces)
{
    // The triangle normalised to radius 1 has its corners on the unit
    // circle; its three halves are moved by half a corner each and carry a
    // third of the measure. Five units away in z all three are off the
    // section: nothing is marked, and each cell holds their three fields.
    auto f = Sample(0);
    f->m_centerZ = 5;
    Target canvas(64, 64);
    f->Build(canvas);
    const double r3 = std::sqrt(3.0);
    const double t[3][2] = {{0, 0.5}, {r3 / 4, -0.25}, {-r3 / 4, -0.25}};
    for (int k = 0; k < 3; ++k) {
        ASSERT_NEAR(f->m_work.maps[k].m[9], t[k][0], 1e-12);
        ASSERT_NEAR(f->m_work.maps[k].m[10], t[k][1], 1e-12);
    }
    const CColorMap& map = f->m_colorMap;
    for (const PixelRecord& c : map.m_grid)
        ASSERT_LT(c.value, 1e10f);
    // Pixel size 2 / 64; cell (r, c) lies at (-1 + c / 32, -1 + r / 32).
    const int cells[4][2] = {{0, 0}, {63, 0}, {10, 50}, {40, 17}};
    for (const auto& rc : cells) {
        const double px = -1 + rc[1] / 32.0, py = -1 + rc[0] / 32.0;
        double fx = 0, fy = 0;
        for (const auto& tk : t) {
            const double x = px + tk[0], y = py + tk[1];
            const double q = 1 / (x * x + y * y + 25);
            fx += q * q * x / 3;
            fy += q * q * y / 3;
        }
        const PixelRecord* cell = map.Cell(rc[0], rc[1]);
        EXPECT_NEAR(cell->nx, fx, 1e-5 * std::fabs(fx) + 1e-12) << rc[0] << "," << rc[1];
        EXPECT_NEAR(cell->ny, fy, 1e-5 * std::fabs(fy) + 1e-12) << rc[0] << "," << rc[1];
    }
}

TEST(SelfAffineField, ASectionBeyondTheSetShowsTheCoarseFieldNotAFlatColor)
{
    auto f = Sample(11);
    f->m_centerZ = 5;
    Target canvas(40, 40);
    f->Build(canvas);
    f->Draw(canvas);
    // Far away the pieces act as one mass at the centroid, the origin: the
    // field points away from the centre of the picture, so the corners
    // take four different directions and colours.
    const CColorMap& map = f->m_colorMap;
    const int corners[4][2] = {{0, 0}, {0, 39}, {39, 0}, {39, 39}};
    std::vector<std::array<uint8_t, 3>> colors;
    for (const auto& rc : corners) {
        const PixelRecord* cell = map.Cell(rc[0], rc[1]);
        const double px = cell->x, py = cell->y;
        const double along =
            (cell->nx * px + cell->ny * py) / std::hypot(double(cell->nx), double(cell->ny)) / std::hypot(px, py);
        EXPECT_GT(along, std::cos(0.5)) << rc[0] << "," << rc[1]; // within about 30 degrees
        const uint8_t* p = canvas.Row(unsigned(rc[0])) + 3 * rc[1];
        colors.push_back({p[0], p[1], p[2]});
    }
    std::sort(colors.begin(), colors.end());
    EXPECT_EQ(std::unique(colors.begin(), colors.end()), colors.end());
}

} // namespace
