#include "model/MandelbrotSet.h"

#include <algorithm>
#include <cmath>

#include "imaging/Canvas.h"

const char* const kMandelbrotTypeNames[2] = {"Mandebrot Set", "Julia Set"};

CMandelbrotSet::CMandelbrotSet()
{
    m_name = "Mandelbrot Set";
    m_kind = kMandelbrot;
    m_centerX = -0.5;
    m_halfSize = 2.0;
}

MandelbrotPixel IterateMandelbrotPoint(double zr, double zi, double cr, double ci,
                                       double radius2, int maxIterations, const std::atomic<bool>* stop)
{
    // P runs over z0 * z1 * ... * z(m-1); its ratio to z_m sets the colour.
    double pr = zr, pi = zi;
    double t = zr * zr - zi * zi + cr;
    zi = 2 * zr * zi + ci;
    zr = t;
    int k = 0;
    for (;;) {
        const double m2 = zr * zr + zi * zi;
        if (m2 > radius2) {
            MandelbrotPixel out;
            double re = (pr * zr + pi * zi) / m2;
            double im = (pi * zr - pr * zi) / m2;
            // Only the ratio's direction is painted; keep it within float range.
            for (int s = 0; s < 40 && (std::fabs(re) > 1e38 || std::fabs(im) > 1e38); ++s) {
                re = std::ldexp(re, -64);
                im = std::ldexp(im, -64);
            }
            // Nor may it vanish among the float subnormals.
            for (int s = 0; s < 40 && std::fabs(re) < 1e-30 && std::fabs(im) < 1e-30 && (re != 0 || im != 0); ++s) {
                re = std::ldexp(re, 64);
                im = std::ldexp(im, 64);
            }
            out.re = float(re);
            out.im = float(im);
            out.value = m2 < 3e38 ? float(m2) : 3e38f;
            return out;
        }
        // A huge iteration count would keep a Stop waiting inside one point.
        const bool stopped = (k & 0xFFFF) == 0xFFFF && stop && stop->load(std::memory_order_relaxed);
        if (k >= maxIterations || stopped) {
            MandelbrotPixel out;
            out.value = float(CColorMap::kBackgroundValue);
            out.stopped = stopped;
            return out;
        }
        t = pr * zr - pi * zi;
        pi = pr * zi + pi * zr;
        pr = t;
        // The product can outgrow a double over many iterations; scaling it
        // by a power of two keeps its direction exact.
        if (std::fabs(pr) > 0x1p500 || std::fabs(pi) > 0x1p500) {
            pr = std::ldexp(pr, -500);
            pi = std::ldexp(pi, -500);
        } else if (std::fabs(pr) < 0x1p-500 && std::fabs(pi) < 0x1p-500) {
            // It shrinks as readily where the orbit lingers near 0, and
            // would lose its digits (and its speed) among the subnormals.
            pr = std::ldexp(pr, 500);
            pi = std::ldexp(pi, 500);
        }
        ++k;
        t = zr * zr - zi * zi + cr;
        zi = 2 * zr * zi + ci;
        zr = t;
    }
}

int CMandelbrotSet::Build(CCanvas& canvas)
{
    if (m_type != m_builtType) {
        // A point picked in the Mandelbrot set becomes the Julia constant.
        // Going back to the Mandelbrot set leaves the constant alone.
        if (m_type == 1) {
            m_cRe = m_centerX;
            m_cIm = m_centerY;
        }
        m_builtType = m_type;
        m_centerX = m_type == 0 ? -0.5 : 0.0;
        m_centerY = 0;
        m_centerZ = 0;
        m_halfSize = 2.0;
    }
    // m_stop is cleared by whoever starts the build, before the worker
    // runs: clearing it here would lose a Stop pressed in between.

    const unsigned w = canvas.m_targetWidth, h = canvas.m_targetHeight;
    CColorMap& map = m_colorMap;
    map.AllocateGrid(int(w), int(h));
    const double d = 2 * m_halfSize / std::min(w, h);
    map.m_pixelSize = d;
    map.m_centreX = m_centerX;
    map.m_centreY = m_centerY;
    map.ResetGrid(0);

    const double radius2 = m_precision * m_precision;
    const int n = m_maxIterations;
    const double g = std::sqrt(std::sqrt(m_cRe * m_cRe + m_cIm * m_cIm)) + 1;
    const double x0 = m_centerX - int(w / 2) * d;
    const double y0 = m_centerY - int(h / 2) * d;
    const bool julia = m_type == 1;
    const double cRe = m_cRe, cIm = m_cIm;

    for (unsigned i = 0; i < h; ++i) {
        if (m_stop)
            break;
        m_progress = double(i + 1) * 100 / h;
        const double y = y0 + i * d;
        PixelRecord* cell = map.m_gridRows[i];
        for (unsigned j = 0; j < w; ++j, ++cell) {
            // A row of a very wide image, or of points iterated very many
            // times, takes longer than a Stop may wait; other rows are
            // finished.
            if (j % 4096 == 4095 && m_stop.load(std::memory_order_relaxed))
                return 1;
            const double x = x0 + j * d;
            const MandelbrotPixel p = julia ? IterateMandelbrotPoint(x / g, y / g, cRe, cIm, radius2, n, &m_stop)
                                            : IterateMandelbrotPoint(x, y, x, y, radius2, n, &m_stop);
            if (p.stopped)
                return 1;
            cell->nx = p.re;
            cell->ny = p.im;
            cell->value = p.value;
        }
    }
    return 1;
}

int CMandelbrotSet::Draw(CCanvas& canvas)
{
    m_colorMap.Draw(canvas);
    return 1;
}

uint64_t CMandelbrotSet::MemoryNeed(unsigned width, unsigned height)
{
    return CellMemoryNeed(width, height);
}

int CMandelbrotSet::FillProperties(PropertyList& list)
{
    list.BeginGroup("Main");
    list.AddRow("Name", &m_name, kRowString);
    list.AddRow("type", &m_type, 2, kMandelbrotTypeNames);
    list.AddRow("x", &m_centerX, kRowDouble);
    list.AddRow("y", &m_centerY, kRowDouble);
    list.AddRow("radius", &m_halfSize, kRowDouble);
    list.AddRow("precision", &m_precision, kRowDouble);
    // "type" has been read by now, so a Julia file brings its constant.
    if (m_type == 1) {
        list.AddRow("Re c", &m_cRe, kRowDouble);
        list.AddRow("Im c", &m_cIm, kRowDouble);
    }
    list.EndGroup();
    list.BeginGroup("Colors");
    m_colorMap.ListColourRows(list);
    list.EndGroup();
    // A loaded Julia set keeps the constant and the view it was saved with,
    // rather than taking them from the centre as a type switch would.
    if (list.m_loading)
        m_builtType = m_type;
    return list.m_level;
}
