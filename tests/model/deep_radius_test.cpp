// Views whose radius lies below the normal doubles: the "radius" row takes
// the text whole, and the Mandelbrot set's build at it gives every pixel's
// escape count that GNU MPFR, iterating the pixel alone, finds.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "imaging/Canvas.h"
#include "model/mandelbrot/MandelbrotSet.h"
#include "numbers/Mpfr.h"
#include "numbers/WideSize.h"
#include "tests/model/DeepImage.h"
#include "tests/model/RowCollector.h"

namespace {

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        m_targetWidth = w;
        m_targetHeight = h;
    }
};

// Types `text` into the fractal's row `label`, as the Properties bar does.
ParseResult Type(CMandelbrotSet& m, const char* label, const std::string& text)
{
    RowCollector rows;
    m.FillProperties(rows);
    for (const PropertyItem& row : rows.rows)
        if (std::string(row.label) == label)
            return StepValue(row, text);
    ADD_FAILURE() << "no row " << label;
    return {};
}

std::string Shown(CMandelbrotSet& m, const char* label)
{
    RowCollector rows;
    m.FillProperties(rows);
    for (const PropertyItem& row : rows.rows)
        if (std::string(row.label) == label)
            return ValueText(row);
    return {};
}

// 2 radius / pixels worked out in MPFR from the radius's text, apart from
// the program's own reading of it.
FloatExp PixelFromText(const std::string& radius, int pixels)
{
    MpfrReal r(64);
    EXPECT_TRUE(r.Parse(radius));
    mpfr_mul_ui(r.get(), r.get(), 2, MPFR_RNDN);
    mpfr_div_ui(r.get(), r.get(), unsigned(pixels), MPFR_RNDN);
    long e = 0;
    const double m = mpfr_get_d_2exp(&e, r.get(), MPFR_RNDN);
    return FloatExp::Normal(m, e);
}

// About the tip c = -2, at radius 1.5 x 10^-D: left of it the points
// escape after some log4(10^D) steps, more the nearer they lie, and the
// spike to its right stays inside, so the counts vary across the image at
// every depth. The counts cost MPFR some D^2 per pixel: few pixels deeper.
void ExpectMpfrCounts(int exponent, int width, int height, int iterations, int spread)
{
    const std::string radius = "1.5e-" + std::to_string(exponent);
    CMandelbrotSet m;
    Type(m, "x", "-2");
    EXPECT_EQ(Type(m, "radius", radius).kind, ParseResult::kTaken);
    EXPECT_EQ(Shown(m, "radius"), radius);
    Type(m, "iterations", std::to_string(iterations));
    Target canvas{unsigned(width), unsigned(height)};
    m.Build(canvas);
    ASSERT_TRUE(m.m_refusal.empty()) << m.m_refusal;

    DeepJob job = deep_test::Job("-2", "0", 1, width, height, iterations);
    job.pixelSize = PixelFromText(radius, std::min(width, height));
    deep_test::Image reference(width, height);
    deep_test::BuildReference(job, DeepPrecisionBits(job.pixelSize) + 64, reference);
    int off = 0, inside = 0, escaped = 0;
    int32_t low = INT32_MAX, high = 0;
    for (int i = 0; i < height; ++i)
        for (int j = 0; j < width; ++j) {
            const int32_t want = std::max(reference.Count(i, j), 0);
            const int32_t got = m.m_colorMap.Cell(i, j)->state;
            off += got != want;
            if (want == 0) {
                ++inside;
                continue;
            }
            ++escaped;
            low = std::min(low, want);
            high = std::max(high, want);
        }
    EXPECT_EQ(off, 0);
    EXPECT_GT(inside, 0);
    EXPECT_GT(escaped, width * height / 2);
    EXPECT_GE(high - low, spread);
    // log4 of 10^D steps, give or take the few the image spans.
    EXPECT_NEAR(low, exponent * 1.661, 8);
}

TEST(DeepRadius, At1e400EveryCountIsMpfrs) { ExpectMpfrCounts(400, 24, 16, 700, 3); }
TEST(DeepRadius, At1e1000EveryCountIsMpfrs) { ExpectMpfrCounts(1000, 8, 6, 1700, 2); }
TEST(DeepRadius, At1e5000EveryCountIsMpfrs) { ExpectMpfrCounts(5000, 2, 2, 8320, 0); }

// A centre with more digits than a double holds builds at a radius whose
// double is 0, as one that holds in a double does.
TEST(DeepRadius, AWholeCentreBuildsPastTheDoubles)
{
    CMandelbrotSet m;
    Type(m, "x", "-1.999999999999999999999999999999999999999");
    EXPECT_FALSE(m.m_centerXDigits.empty());
    EXPECT_EQ(Type(m, "radius", "1e-400").kind, ParseResult::kTaken);
    Type(m, "iterations", "200");
    Target canvas{4u, 3u};
    m.Build(canvas);
    EXPECT_TRUE(m.m_refusal.empty()) << m.m_refusal;
}

// The row keeps what a double holds as a double, takes sizes below the
// normal doubles whole down to the deepest radius, and refuses the rest.
TEST(DeepRadius, TheRadiusRowTakesSizesPastADouble)
{
    CMandelbrotSet m;
    EXPECT_EQ(Type(m, "radius", "1e-300").kind, ParseResult::kTaken);
    EXPECT_TRUE(m.m_halfSizeDigits.empty());
    EXPECT_EQ(m.m_halfSize, 1e-300);
    EXPECT_EQ(Shown(m, "radius"), "1e-300");
    // Denormal: the double holds only a few bits of it.
    EXPECT_EQ(Type(m, "radius", "1.2345678e-320").kind, ParseResult::kTaken);
    EXPECT_EQ(Shown(m, "radius"), "1.2345678e-320");
    EXPECT_EQ(Type(m, "radius", "3e-100000").kind, ParseResult::kTaken);
    EXPECT_EQ(m.m_halfSize, 0.0);
    EXPECT_EQ(Shown(m, "radius"), "3e-100000");
    for (const char* bad : {"1e-100001", "-1e-1000", "0x1p-5000", "nonsense"}) {
        const ParseResult r = Type(m, "radius", bad);
        EXPECT_EQ(r.kind, ParseResult::kRefused) << bad;
        EXPECT_EQ(Shown(m, "radius"), "3e-100000") << bad;
    }
    EXPECT_EQ(Type(m, "radius", "1e-100001").why, "is below the deepest radius, 1e-100000");
    // A change to the double alone drops the digits.
    m.m_halfSize = 0.5;
    EXPECT_EQ(Shown(m, "radius"), "0.5");

    // Every size written reads back to itself, at any exponent.
    for (int64_t e = -332000; e < 0; e += 997) {
        const FloatExp size = FloatExp::Normal(0.5 + double(e % 1000) / 2001.0 + 1e-13, e);
        FloatExp back;
        ASSERT_EQ(ReadSize(SizeText(size), back), SizeRead::kRead) << SizeText(size);
        EXPECT_TRUE(back.m == size.m && back.e == size.e) << SizeText(size);
    }
}

} // namespace
