#pragma once
// A deep view's cells, counts and painted pixels, for the deep tests.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"
#include "model/deep/DeepView.h"
#include "numbers/Mpfr.h"
#include "tests/model/MpfrReference.h"

namespace deep_test {

// A view's cells, counts and painted pixels.
struct Image {
    int width = 0, height = 0;
    CColorMap map;
    std::vector<int32_t> counts;
    CCanvas canvas;

    Image(int w, int h) : width(w), height(h), counts(size_t(w) * size_t(h), -2)
    {
        map.AllocateGrid(w, h);
        map.ResetGrid(0);
    }
    PixelRecord& Cell(int i, int j) { return *map.Cell(i, j); }
    int32_t& Count(int i, int j) { return counts[size_t(i) * size_t(width) + size_t(j)]; }
    void Paint() { map.Draw(canvas); }
    const uint8_t* Pixel(int i, int j) const { return canvas.Row(unsigned(i)) + size_t(j) * 3; }
};

inline DeepJob Job(const std::string& x, const std::string& y, double halfSize, int w, int h, int iterations)
{
    DeepJob job;
    job.centerRe = x;
    job.centerIm = y;
    job.pixelSize = FloatExp(2 * halfSize) / FloatExp(double(std::min(w, h)));
    job.width = w;
    job.height = h;
    job.radius2 = 100.0 * 100.0; // "precision" 100, the default
    job.maxIterations = iterations;
    return job;
}

inline DeepOutcome BuildDeep(const DeepJob& job, Image& image)
{
    return BuildDeepView(job, image.map.m_gridRows.data(), image.counts.data());
}

// The repelling fixed point (1 + sqrt(1 - 4c)) / 2 of z^2 + c lies on the
// Julia set; the view's centre is g times it, as the build divides by g.
inline std::string FixedPointCenter(double cRe, double cIm, double g, bool imaginary)
{
    const long bits = 400;
    MpfrReal a(bits), b(bits), r(bits), t(bits);
    mpfr_set_d(a.get(), 1 - 4 * cRe, MPFR_RNDN); // exact: small integers times c
    mpfr_set_d(b.get(), -4 * cIm, MPFR_RNDN);
    mpfr_hypot(r.get(), a.get(), b.get(), MPFR_RNDN);
    // sqrt(a + ib) = sqrt((r + a) / 2) + i sign(b) sqrt((r - a) / 2).
    if (!imaginary) {
        mpfr_add(t.get(), r.get(), a.get(), MPFR_RNDN);
    } else {
        mpfr_sub(t.get(), r.get(), a.get(), MPFR_RNDN);
    }
    mpfr_div_2ui(t.get(), t.get(), 1, MPFR_RNDN);
    mpfr_sqrt(t.get(), t.get(), MPFR_RNDN);
    if (imaginary && cIm > 0)
        mpfr_neg(t.get(), t.get(), MPFR_RNDN);
    if (!imaginary)
        mpfr_add_ui(t.get(), t.get(), 1, MPFR_RNDN);
    mpfr_div_2ui(t.get(), t.get(), 1, MPFR_RNDN);
    mpfr_mul_d(t.get(), t.get(), g, MPFR_RNDN);
    char text[200];
    mpfr_snprintf(text, sizeof text, "%.36Rf", t.get());
    return text;
}

// Rows and columns [top, bottom) x [left, right) of a view.
struct Window {
    int top = 0, bottom = 1 << 30, left = 0, right = 1 << 30;
};

// The same view, each pixel iterated in MPFR at `bits`, or those of
// `window` alone (the image keeps its other cells). The pixel offsets are
// the deep build's own (index - half) x pixel size, so both iterate the
// same points.
inline void BuildReference(const DeepJob& job, long bits, Image& image, Window window = {})
{
    const int bottom = std::min(window.bottom, job.height), right = std::min(window.right, job.width);
    ForEachRange(bottom - window.top, 1, [&](int begin, int end) {
        for (int i = window.top + begin; i < window.top + end; ++i)
            for (int j = window.left; j < right; ++j) {
                const FloatExp x = FloatExp(double(j - job.width / 2)) * job.pixelSize;
                const FloatExp y = FloatExp(double(i - job.height / 2)) * job.pixelSize;
                const auto p = mpfr_reference::Iterate(job.centerRe, job.centerIm, x.m, x.e, y.m, y.e, job.julia,
                                                       job.cRe, job.cIm, job.g, job.radius2, job.maxIterations, bits);
                image.Count(i, j) = p.count;
                image.Cell(i, j).nx = p.re;
                image.Cell(i, j).ny = p.im;
                image.Cell(i, j).value = p.value;
            }
    });
}

// Every escape count equal, every colour channel within one level.
inline void ExpectSameImage(Image& deep, Image& reference)
{
    deep.Paint();
    reference.Paint();
    int countsOff = 0, colorsOff = 0, escaped = 0;
    for (int i = 0; i < deep.height; ++i)
        for (int j = 0; j < deep.width; ++j) {
            if (deep.Count(i, j) != reference.Count(i, j) && ++countsOff <= 5)
                ADD_FAILURE() << "pixel (" << i << ", " << j << "): " << deep.Count(i, j) << " iterations, "
                              << reference.Count(i, j) << " in MPFR";
            escaped += reference.Count(i, j) >= 0;
            for (int c = 0; c < 3; ++c)
                if (std::abs(deep.Pixel(i, j)[c] - reference.Pixel(i, j)[c]) > 1 && ++colorsOff <= 5)
                    ADD_FAILURE() << "pixel (" << i << ", " << j << ") channel " << c << ": "
                                  << int(deep.Pixel(i, j)[c]) << " against " << int(reference.Pixel(i, j)[c]);
        }
    EXPECT_EQ(countsOff, 0);
    EXPECT_EQ(colorsOff, 0);
    // Not a blank view: most pixels escape, at varied counts.
    EXPECT_GT(escaped, deep.width * deep.height / 2);
    const auto [lo, hi] = std::minmax_element(deep.counts.begin(), deep.counts.end());
    EXPECT_GT(*hi - std::max(*lo, 0), 10);
}

} // namespace deep_test
