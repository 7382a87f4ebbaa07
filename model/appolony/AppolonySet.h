#pragma once
// The packing of mutually tangent circles in the curvilinear triangle between
// three touching circles, drawn as the direction field of point masses.

#include "model/Fractal.h"
#include "model/FractalKinds.h"

struct Circle {
    double x = 0, y = 0, r = 0;
};

// The circle outside all three given circles and touching each of them.
// Of the two solutions the smaller one is taken: it is the one inside the
// gap. False when the circles admit none (collinear centres, non-finite or
// non-positive radii).
bool TangentCircle(const Circle& c1, const Circle& c2, const Circle& c3, Circle& out);

class CAppolonySet : public CFractal {
public:
    // The root and 998 levels below it.
    static constexpr int kMaxDepth = 998;
    static constexpr int kStackFrames = kMaxDepth + 1;
    // Circles multiply with the precision faster than its square: above
    // this a build of the whole packing would not end in any useful time.
    static constexpr double kMaxPrecision = 100.0;

    CAppolonySet();

    void Build(CCanvas& canvas) override;
    int Draw(CCanvas& canvas) override;
    uint64_t MemoryNeed(unsigned width, unsigned height) override;
    bool ValueChanged(int index, PropertyItem& row) override;
    int FillProperties(PropertyList& list) override;
    // The walk is the whole image's in every band; a band sums the field
    // of the circles that reach its rows and descends only those.
    bool BuildsInBands(unsigned width, unsigned height) const override { return width > 0 && height > 0; }

    double m_precision = 5.0;
    // Levels below the root the walk may descend, at most kMaxDepth.
    int m_stackDepth = kMaxDepth;

    // Deepest level a build descended to (the root is 0; in a band, that
    // band's walk); for tests and measurements.
    int m_deepestLevel = 0;
    // Children made by the last build.
    uint64_t m_childCount = 0;
};

// NaN becomes 0 (every circle below a pixel), magnitudes above
// kMaxPrecision become kMaxPrecision.
double ClampPrecision(double precision);

// The three starting circles A, B and C.
extern const Circle kAppolonyStart[3];

// The kind's row in FractalKinds.
extern const FractalKind kAppolonyKind;
