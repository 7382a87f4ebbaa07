#pragma once
// The plane colourings that read the document's gradient: what value each
// takes from a cell, and the gradient as a table for the painter.

#include <array>
#include <cstdint>

#include "imaging/CellGrid.h"
#include "imaging/Gradient.h"

// Dark blue through white and gold to black and back: the stops meet at
// both ends, so a count that wraps shows no seam.
const Gradient& DefaultColoringGradient();

// Escape counts a gradient spans once at repetitions 1.
constexpr double kCountCycle = 32;
// The distance, in pixels, at which Distance reaches the gradient's middle.
constexpr double kDistanceHalf = 2;

// The renormalised count n + 1 - log2(log|z_n| / log R) of a point that
// escaped at the n-th squaring with |z_n|^2 = norm, for escape radius R: it
// runs from n to n + 1 as |z_n| falls from R^2 to R, so it is continuous
// where the whole count jumps. A radius of 1 or less gives the count.
double SmoothCount(int32_t count, double norm, double radius);

// The gradient sampled at the middles of kSteps equal parts of 0 .. 1.
class GradientTable {
public:
    static constexpr int kSteps = 4096;
    explicit GradientTable(const Gradient& gradient);
    // t wrapped into 0 .. 1 (a t that is not finite reads 0).
    const Rgb& At(double t) const;

private:
    std::array<Rgb, kSteps> m_colors;
};

// "#rrggbb" read into a colour; false on any other text.
bool ParseColorText(std::string_view text, Rgb& color);
