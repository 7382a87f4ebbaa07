// The balls the march's piece walk tests with: each must hold its piece of
// the attractor, and for maps that shrink unevenly it must be narrow enough
// that the walk's work per ray stays about the same at every size.

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

#include "imaging/Canvas.h"
#include "imaging/Parallel.h"
#include "model/Samples.h"
#include "model/selfaffine/MarchPieces.h"
#include "model/selfaffine/SelfAffineSet.h"

namespace {

std::unique_ptr<CSelfAffineSet> Sample(int n)
{
    std::unique_ptr<CFractal> f = MakeSample(n);
    return std::unique_ptr<CSelfAffineSet>(static_cast<CSelfAffineSet*>(f.release()));
}

// The working maps of a sample, as a build leaves them.
std::unique_ptr<CSelfAffineSet> Built(int n)
{
    auto f = Sample(n);
    f->m_iterations = 0;
    CCanvas c;
    c.m_targetWidth = c.m_targetHeight = 2;
    f->Build(c);
    return f;
}

// The root's ball as the walk makes it.
march::Piece Root(const MapSet& work, const double* norm)
{
    double radius = 0;
    for (int k = 0; k < work.Count(); ++k) {
        const double* m = work.maps[k].m;
        radius = std::max(radius, std::sqrt(m[9] * m[9] + m[10] * m[10] + m[11] * m[11]) / (1 - norm[k]));
    }
    return march::Piece{{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}, radius, 1.0};
}

TEST(MarchPieces, OnlyMapsThatShrinkUnevenlyNarrowTheBalls)
{
    for (int sample = 4; sample <= 9; ++sample) {
        auto f = Built(sample);
        double norm[MapSet::kMaxMaps];
        for (int k = 0; k < f->m_maps.Count(); ++k)
            norm[k] = MapNorm(f->m_maps.maps[k]);
        const double reach = march::UnevenReach(f->m_work.maps, norm, f->m_work.Count());
        // The Self-Affine Pyramyd's maps shrink to 2/3 along one axis and to
        // 1/6 across; all the others are similarities.
        EXPECT_EQ(reach > 0, sample == 8) << "sample " << sample;
    }
}

TEST(MarchPieces, ANarrowedBallHoldsItsPieceOfTheAttractor)
{
    // Points of the attractor by random compositions of the maps, sent
    // through a composed piece's map, must lie in that piece's ball; and
    // the narrowed ball is far smaller than the product of ratios deep down.
    auto f = Built(8);
    const MapSet& work = f->m_work;
    const int n = work.Count();
    double norm[MapSet::kMaxMaps];
    for (int k = 0; k < n; ++k)
        norm[k] = MapNorm(f->m_maps.maps[k]);
    const double reach = march::UnevenReach(work.maps, norm, n);
    ASSERT_GT(reach, 0);
    std::mt19937 random(15);
    auto apply = [&](const double* m, const double* t, const double x[3], double out[3]) {
        for (int i = 0; i < 3; ++i)
            out[i] = m[i * 3] * x[0] + m[i * 3 + 1] * x[1] + m[i * 3 + 2] * x[2] + t[i];
    };
    double narrowest = 1;
    for (int trial = 0; trial < 200; ++trial) {
        march::Piece piece = Root(work, norm);
        double product = piece.rho;
        const int depth = 1 + int(random() % 12);
        for (int level = 0; level < depth; ++level) {
            const int k = int(random() % unsigned(n));
            march::Piece c = march::ChildOf(piece, work.maps[k], norm[k]);
            march::MultiplyInto(c, piece, work.maps[k].m);
            const double loose = c.rho;
            march::Narrow(c, reach);
            ASSERT_LE(c.rho, loose);
            product *= norm[k];
            narrowest = std::min(narrowest, c.rho / product);
            piece = c;
        }
        const double t[3] = {piece.t.x, piece.t.y, piece.t.z};
        for (int point = 0; point < 50; ++point) {
            double x[3] = {0, 0, 0};
            for (int step = 0; step < 40; ++step) {
                const double* m = work.maps[random() % unsigned(n)].m;
                double y[3];
                apply(m, m + 9, x, y);
                std::copy(y, y + 3, x);
            }
            double y[3];
            apply(piece.m, t, x, y);
            const double r = std::sqrt((y[0] - t[0]) * (y[0] - t[0]) + (y[1] - t[1]) * (y[1] - t[1]) +
                                       (y[2] - t[2]) * (y[2] - t[2]));
            ASSERT_LE(r, piece.rho * (1 + 1e-9)) << "trial " << trial << ", depth " << depth;
        }
    }
    EXPECT_LT(narrowest, 0.1);
}

// Pieces the walk visits per cell in a build of the sample at w x h.
double VisitsPerCell(int sample, unsigned w, unsigned h)
{
    auto f = Sample(sample);
    CCanvas c;
    c.m_targetWidth = w;
    c.m_targetHeight = h;
    f->Build(c);
    return double(f->m_piecesVisited.load()) / (double(w) * h);
}

TEST(MarchPieces, UnevenMapsCostAboutTheSamePerRayAtEverySize)
{
    // Balls as wide as the product of the largest ratios made the Pyramyd's
    // walk visit ten thousand pieces per ray at 32x24 and twice that at
    // 64x48, and ever more as the picture grows; a similarity sample visits
    // a few hundred at both sizes.
    for (ExecutionPath path : {ExecutionPath::kPlain, ExecutionPath::kFast}) {
        SetExecutionPath(path);
        const double small = VisitsPerCell(8, 32, 24), large = VisitsPerCell(8, 64, 48);
        EXPECT_LT(small, 1000);
        EXPECT_LT(large, 1000);
        EXPECT_LT(large, 2 * small);
    }
    SetExecutionPath(ExecutionPath::kFast);
}

} // namespace
