#pragma once
// The Mandelbrot set and the Julia sets of z <- z^2 + c.

#include "model/Fractal.h"

class CMandelbrotSet : public CFractal {
public:
    CMandelbrotSet();

    int Build(CCanvas& canvas) override;
    int Draw(CCanvas& canvas) override;
    uint64_t MemoryNeed(unsigned width, unsigned height) override;
    int FillProperties(PropertyList& list) override;

    double m_precision = 100.0; // escape radius
    double m_cRe = 0, m_cIm = 0;
    int m_maxIterations = 1000;
    int m_type = 0; // 0 Mandelbrot, 1 Julia
    int m_builtType = 0;
};

extern const char* const kMandelbrotTypeNames[2];

// Iterates one point. Escaped: the ratio (P / z_m) into (re, im) and |z_m|^2
// into value. Inside: value 1e10 and the ratio untouched. A `stop` seen set
// (looked at every 65536 iterations) ends it early with `stopped`.
struct MandelbrotPixel {
    float re = 0, im = 0, value = 0;
    bool stopped = false;
};
MandelbrotPixel IterateMandelbrotPoint(double z0Re, double z0Im, double cRe, double cIm,
                                       double radius2, int maxIterations,
                                       const std::atomic<bool>* stop = nullptr);
