#include "model/appolony/AppolonySet.h"

#include <algorithm>
#include <cmath>

#include "imaging/Canvas.h"

namespace {
constexpr double kHalfRoot3 = 0.8660254037844386;
} // namespace

const Circle kAppolonyStart[3] = {
    {0.0, 1.0, kHalfRoot3},
    {kHalfRoot3, -0.5, kHalfRoot3},
    {-kHalfRoot3, -0.5, kHalfRoot3},
};

bool TangentCircle(const Circle& c1, const Circle& c2, const Circle& c3, Circle& out)
{
    // With t = R + r1 and (u, v) the new centre relative to c1, each other
    // circle k gives 2 ak u + 2 bk v = ak^2 + bk^2 - ek^2 - 2 ek t, where
    // (ak, bk) is its centre relative to c1 and ek = rk - r1.
    const double a2 = c2.x - c1.x, b2 = c2.y - c1.y, e2 = c2.r - c1.r;
    const double a3 = c3.x - c1.x, b3 = c3.y - c1.y, e3 = c3.r - c1.r;
    const double det = 2 * (a2 * b3 - a3 * b2);
    if (!std::isfinite(det) || det == 0)
        return false;
    // u = p0 + p1 t, v = q0 + q1 t by Cramer's rule.
    const double g2 = a2 * a2 + b2 * b2 - e2 * e2, g3 = a3 * a3 + b3 * b3 - e3 * e3;
    const double p0 = (g2 * b3 - g3 * b2) / det, p1 = (-2 * e2 * b3 + 2 * e3 * b2) / det;
    const double q0 = (a2 * g3 - a3 * g2) / det, q1 = (-2 * a2 * e3 + 2 * a3 * e2) / det;
    // u^2 + v^2 = t^2 as a t^2 + 2 b t + c = 0.
    const double a = p1 * p1 + q1 * q1 - 1, b = p0 * p1 + q0 * q1, c = p0 * p0 + q0 * q0;
    double roots[2];
    int n = 0;
    if (std::fabs(a) < 1e-12 * (std::fabs(b) + std::fabs(c)) || a == 0) {
        if (b != 0)
            roots[n++] = -c / (2 * b);
    } else {
        const double disc = b * b - a * c;
        if (disc < 0)
            return false;
        const double root = std::sqrt(disc);
        roots[n++] = (-b - root) / a;
        roots[n++] = (-b + root) / a;
    }
    // The circle in the gap is the smaller of the two touching from outside;
    // the other is the circle the gap was cut from, or the enclosing one.
    bool found = false;
    for (int k = 0; k < n; ++k) {
        const double r = roots[k] - c1.r;
        if (!(r > 0) || !std::isfinite(r))
            continue;
        if (!found || r < out.r) {
            out.x = c1.x + p0 + p1 * roots[k];
            out.y = c1.y + q0 + q1 * roots[k];
            out.r = r;
            found = true;
        }
    }
    return found && std::isfinite(out.x) && std::isfinite(out.y);
}

const FractalKind kAppolonyKind{CFractal::kAppolony,
                                kTypeAppolony,
                                "Appolony Set",
                                [] { return std::unique_ptr<CFractal>(std::make_unique<CAppolonySet>()); },
                                {.zoomAndPan = true}};

CAppolonySet::CAppolonySet()
{
    m_name = "Appolony Set";
    m_kind = kAppolony;
    m_centerX = m_centerY = m_centerZ = 0;
    m_halfSize = 0.5;
}

int CAppolonySet::Draw(CCanvas& canvas)
{
    m_colorMap.Draw(canvas);
    return 1;
}

uint64_t CAppolonySet::MemoryNeed(unsigned width, unsigned height) { return CellMemoryNeed(width, height); }

double ClampPrecision(double precision)
{
    if (std::isnan(precision))
        return 0.0;
    return std::clamp(precision, -CAppolonySet::kMaxPrecision, CAppolonySet::kMaxPrecision);
}

bool CAppolonySet::ValueChanged(int, PropertyItem& row)
{
    if (row.value == &m_precision)
        m_precision = ClampPrecision(m_precision);
    return false;
}

int CAppolonySet::FillProperties(PropertyList& list)
{
    list.BeginGroup("Main");
    list.AddRow("Name", &m_name, kRowString);
    list.AddRow("precision", &m_precision, kRowDouble);
    list.AddRow("x", &m_centerX, kRowDouble);
    list.AddRow("y", &m_centerY, kRowDouble);
    list.AddRow("radius", &m_halfSize, kRowDouble);
    list.EndGroup();
    list.BeginGroup("Colors");
    m_colorMap.ListColorRows(list);
    list.EndGroup();
    m_colorMap.ListColoringRows(list, false);
    if (list.m_loading)
        m_precision = ClampPrecision(m_precision);
    return list.m_level;
}
