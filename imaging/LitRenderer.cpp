// Ambient, diffuse and Blinn-Phong specular shading of the surface points
// and normals that the three-dimensional builder leaves in the cells.

#include <algorithm>
#include <cmath>

#include "imaging/AffineMap.h"
#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"

namespace {

struct PreparedLight {
    double q[3]; // position in the viewing frame
    double c[3]; // colour scaled to the light's luminescence
    double a[3]; // unit spot axis
    double cosCone, cosEnd, beam;
    bool spot;
};

double Luminance(double r, double g, double b) { return 0.299 * r + 0.587 * g + 0.114 * b; }

// Scales a colour so its luminance is `target`; a black colour gives black
// rather than dividing by zero.
void ScaleToLuminance(double out[3], double r, double g, double b, double target)
{
    const double l = Luminance(r, g, b);
    const double f = l != 0 ? target / l : 0;
    out[0] = r * f;
    out[1] = g * f;
    out[2] = b * f;
}

inline double Dot(const double a[3], const double b[3]) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Truncates toward zero into 0..255; NaN and negative values give 0.
inline uint8_t ToByte(double v)
{
    if (!(v > 0))
        return 0;
    if (v >= 255)
        return 255;
    return uint8_t(v);
}

} // namespace

void CColorMap::Render(CCanvas& canvas, double polar, double axial, double angle) const
{
    canvas.SetStatus("Rendering...");
    canvas.Resize(unsigned(m_gridWidth), unsigned(m_gridHeight), 24);

    const int count = std::clamp(int(m_lightCount), 0, kMaxLights);
    PreparedLight lights[kMaxLights];
    int used = 0;
    for (int i = 0; i < count; ++i) {
        const Light& l = m_lights[i];
        PreparedLight& p = lights[used];
        p.q[0] = l.x;
        p.q[1] = l.y;
        p.q[2] = l.z;
        if (m_attachment[i] == 0)
            RotatePoint(p.q, polar, axial, angle);
        ScaleToLuminance(p.c, l.red, l.green, l.blue, l.luminescence);
        const double len = std::sqrt(l.dirX * l.dirX + l.dirY * l.dirY + l.dirZ * l.dirZ);
        p.spot = m_lightType[i] == 1;
        // A spot light without a direction has no cone; it shines as a point light.
        if (p.spot && !(len > 0))
            p.spot = false;
        p.a[0] = p.spot ? l.dirX / len : 0;
        p.a[1] = p.spot ? l.dirY / len : 0;
        p.a[2] = p.spot ? l.dirZ / len : 0;
        p.cosCone = std::cos(l.cone);
        p.cosEnd = std::cos(l.endCone);
        p.beam = l.beam;
        ++used;
    }
    double amb[3], surf[3];
    ScaleToLuminance(amb, AmbientRed(), AmbientGreen(), AmbientBlue(), m_ambient);
    ScaleToLuminance(surf, m_red, m_green, m_blue, 256);
    const double ks = m_specular * 256;
    const double eye[3] = {m_observerX, m_observerY, m_observerZ};
    const uint8_t back = m_background == 1 ? 255 : 0;

    // Every pixel on its own: rows spread over the cores.
    ForEachRange(m_gridHeight, 8, [&](int first, int end) {
        for (int i = first; i < end; ++i) {
            uint8_t* out = canvas.Row(unsigned(i));
            const PixelRecord* cell = m_gridRows[size_t(i)];
            for (int j = 0; j < m_gridWidth; ++j, ++cell, out += 3) {
                out[0] = out[1] = out[2] = back;
                if (!(std::fabs(cell->value) >= 0.00001))
                    continue;
                const double p[3] = {cell->x, cell->y, cell->z};
                const double n[3] = {cell->nx, cell->ny, cell->nz};
                const double v[3] = {eye[0] - p[0], eye[1] - p[1], eye[2] - p[2]};
                const double nvRaw = Dot(n, v);
                // Faces turned away, points at the observer and points that are
                // not finite have no view direction.
                if (!(nvRaw > 0) || !std::isfinite(nvRaw))
                    continue;
                const double vLen = std::sqrt(Dot(v, v));
                const double vh[3] = {v[0] / vLen, v[1] / vLen, v[2] / vLen};
                const double nv = nvRaw / vLen;
                double diffuse[3] = {0, 0, 0}, specular[3] = {0, 0, 0};
                for (int k = 0; k < used; ++k) {
                    const PreparedLight& light = lights[k];
                    const double l[3] = {light.q[0] - p[0], light.q[1] - p[1], light.q[2] - p[2]};
                    const double nlRaw = Dot(n, l);
                    if (!(nlRaw > 0))
                        continue;
                    const double l2 = Dot(l, l);
                    const double lLen = std::sqrt(l2);
                    const double f = 1 / l2;
                    const double nl = nlRaw / lLen;
                    double w = f;
                    if (light.spot) {
                        const double s = -Dot(l, light.a) / lLen;
                        if (s <= light.cosEnd) {
                            w = 0;
                        } else {
                            w = f * std::pow(s, light.beam);
                            if (s < light.cosCone)
                                w *= (s - light.cosEnd) / (light.cosCone - light.cosEnd);
                        }
                    }
                    if (w == 0)
                        continue;
                    const double h = (nl + nv) / std::sqrt(2 * (1 + Dot(l, vh) / lLen));
                    const double hs = h > 0 ? std::pow(h, m_shininess) * w : 0;
                    for (int c = 0; c < 3; ++c) {
                        diffuse[c] += w * nl * light.c[c];
                        specular[c] += hs * light.c[c];
                    }
                }
                double value[3];
                for (int c = 0; c < 3; ++c)
                    value[c] = (diffuse[c] * m_diffuse + amb[c]) * surf[c] + specular[c] * ks;
                out[0] = ToByte(value[2]);
                out[1] = ToByte(value[1]);
                out[2] = ToByte(value[0]);
            }
        }
    });
    canvas.m_cursor = canvas.Row(0) + size_t(canvas.m_stride) * unsigned(m_gridHeight);
}
