#include "model/selfaffine/MarchPieces.h"

#include <cmath>

namespace march {

namespace {

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
    // Far more room than the roundings above take.
    return std::sqrt(best) * (1 + 1e-12);
}

double Determinant(const double* m)
{
    return m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) + m[2] * (m[3] * m[7] - m[4] * m[6]);
}

} // namespace

Piece RootPiece(const MapSet& work, const MapSet& params, AffineMap* maps, double* norms)
{
    double radius = 0;
    for (int k = 0; k < work.Count(); ++k) {
        maps[k] = work.maps[k];
        norms[k] = MapNorm(params.maps[k]);
        const double* m = maps[k].m;
        const double t = std::sqrt(m[9] * m[9] + m[10] * m[10] + m[11] * m[11]);
        radius = std::max(radius, t / (1 - norms[k]));
    }
    return Piece{{1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}, radius, 1.0};
}

double UnevenReach(const AffineMap* maps, const double* norms, int count)
{
    bool uneven = false;
    double reach = 0;
    for (int k = 0; k < count; ++k) {
        const double* m = maps[k].m;
        // A map that shrinks alike in every direction has |det| = norm^3;
        // compositions of such maps stretch by the product of their norms,
        // which the balls already are.
        uneven = uneven || std::fabs(Determinant(m)) < norms[k] * norms[k] * norms[k] * (1 - 1e-6);
        // |y| <= R implies |M y + t| <= stretch R + |t| <= R.
        const double stretch = StretchBound(m);
        const double t = std::sqrt(m[9] * m[9] + m[10] * m[10] + m[11] * m[11]);
        if (!(stretch < 1) || !std::isfinite(t))
            return 0;
        reach = std::max(reach, t / (1 - stretch));
    }
    return uneven && std::isfinite(reach) ? reach * (1 + 1e-9) : 0;
}

} // namespace march
