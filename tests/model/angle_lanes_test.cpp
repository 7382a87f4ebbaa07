// The vector variants of the angle colouring paint the scalar pass's bytes,
// on built views and on cells made to sit at every edge a level has, and
// their angle and cosine stay within the error the bound is made of.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "OneIsa.h"
#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/kernels/AngleKernel.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

struct Target : CCanvas {
    Target(unsigned w, unsigned h)
    {
        m_targetWidth = w;
        m_targetHeight = h;
    }
};

struct Colours {
    double f[3], s[3];
};

// Frequencies and shifts from the defaults to ones only libm can settle.
const std::vector<Colours>& ColourSets()
{
    const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
    static const std::vector<Colours> sets = {
        {{1, 1, 1}, {1, 1, 1}},         {{0, 1, 2.5}, {0, 0, -0.0}},
        {{37, 37, 1}, {2, 2, 1}},       {{1e3, -3, 1}, {0.5, 1e5, -7}},
        {{1e6, 1e6, 2.5}, {-4, 3, 0}},  {{-1e7, 5e6, 1e8}, {1, 1, 1}},
        {{1e300, 1, 1}, {1, 1e300, 1}}, {{nan, inf, 1}, {1, 1, nan}},
        {{0, 0, 0}, {inf, 1, 3.14159}}, {{0.1, -1, 12}, {-1e-300, 6.283185307179586, -2}},
        {{8, -7, 4}, {1e5, -0.5, 3}},   {{9, -8, 2}, {0, 1e-5, -1e9}},
    };
    return sets;
}

std::vector<uint8_t> Paint(const CColorMap& map, const Colours& c, KernelIsa isa, int* fallbacks = nullptr,
                           uint8_t background = 0)
{
    const AnglePlan plan = MakeAnglePlan(c.f[0], c.f[1], c.f[2], c.s[0], c.s[1], c.s[2]);
    std::vector<uint8_t> out(size_t(map.m_gridWidth) * map.m_gridHeight * 3, 0);
    int count = 0;
    for (int i = 0; i < map.m_gridHeight; ++i)
        count += PaintAngleRow(isa, plan, map.Cell(i, 0), map.m_gridWidth, background,
                               out.data() + size_t(i) * map.m_gridWidth * 3);
    if (fallbacks)
        *fallbacks = count;
    return out;
}

void ExpectSameBytes(const CColorMap& map, KernelIsa isa, const std::string& what)
{
    for (const Colours& c : ColourSets()) {
        const uint8_t background = c.f[0] < 0 ? 255 : 0;
        const std::vector<uint8_t> plain = Paint(map, c, KernelIsa::kScalar, nullptr, background);
        const std::vector<uint8_t> fast = Paint(map, c, isa, nullptr, background);
        for (size_t b = 0; b < plain.size(); ++b) {
            const PixelRecord& cell = *map.Cell(int(b / 3 / map.m_gridWidth), int(b / 3 % map.m_gridWidth));
            ASSERT_EQ(int(plain[b]), int(fast[b]))
                << what << ", colours " << c.f[0] << "," << c.f[1] << "," << c.f[2] << " / " << c.s[0] << "," << c.s[1]
                << "," << c.s[2] << ": byte " << b << " of cell (" << cell.nx << ", " << cell.ny << ")";
        }
    }
}

using AngleLanes = OneIsa;

TEST_P(AngleLanes, BuiltViewsPaintTheScalarPassesBytes)
{
    struct View {
        int type;
        double cx, cy, half, cRe, cIm;
    };
    const View views[] = {
        {0, -0.5, 0, 2, 0, 0},                // the default view, its real axis a row of +-0
        {0, -0.743643, 0.131825, 1e-4, 0, 0}, // the seahorse valley
        {0, -1.7497, 0, 1e-9, 0, 0},          // deep on the needle
        {0, 0.2501, 0, 1e-3, 0, 0},           // the cusp
        {1, 0, 0, 1.6, -0.8, 0.156},          // a Julia set
        {1, 0.1, -0.2, 1e-5, 0.285, 0.01},    // a zoomed Julia set
    };
    for (const View& v : views) {
        CMandelbrotSet m;
        m.m_type = v.type;
        m.m_cRe = v.cRe;
        m.m_cIm = v.cIm;
        Target canvas(203, 150); // a width no vector divides
        m.Build(canvas);
        m.m_centerX = v.cx;
        m.m_centerY = v.cy;
        m.m_halfSize = v.half;
        m.Build(canvas);
        ExpectSameBytes(m.m_colorMap, Isa(), "view " + std::to_string(v.cx) + "," + std::to_string(v.cy));
    }
}

// Cells made to reach every special case: zeros of either sign, axes,
// diagonals, subnormal and huge floats, infinities, NaNs, background.
TEST_P(AngleLanes, SpecialAndRandomCellsPaintTheScalarPassesBytes)
{
    const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float special[] = {0.0f,     -0.0f, 1.0f, -1.0f, 1e-45f, -1e-45f, 1e-38f, 3.4e38f,
                             -3.4e38f, inf,   -inf, nan,   0.5f,   2.0f,    1e20f,  -1e-20f};
    std::vector<PixelRecord> cells;
    for (float x : special)
        for (float y : special) {
            PixelRecord r{};
            r.nx = x;
            r.ny = y;
            cells.push_back(r);
            r.value = 1e10f; // background
            cells.push_back(r);
            r.value = 9.9e9f;
            cells.push_back(r);
            r.value = nan;
            cells.push_back(r);
        }
    std::mt19937_64 random(25);
    std::uniform_real_distribution<float> unit(-1, 1);
    std::uniform_int_distribution<int> exponent(-40, 40);
    while (cells.size() < 20000) {
        PixelRecord r{};
        r.nx = std::ldexp(unit(random), exponent(random));
        r.ny = std::ldexp(unit(random), exponent(random));
        if (cells.size() % 7 == 0)
            r.ny = r.nx * (cells.size() % 2 ? 1 : -1);
        cells.push_back(r);
    }
    CColorMap map;
    map.AllocateGrid(101, int(cells.size() / 101));
    std::memcpy(map.Cell(0, 0), cells.data(), map.m_grid.size() * sizeof(PixelRecord));
    ExpectSameBytes(map, Isa(), "special cells");
}

// For every level's two edges, phases a few doubles either side of where
// 128 - 127 cos crosses it, at angles all round the circle: only the
// libm formula can tell these apart, and the lanes must hand them over.
TEST_P(AngleLanes, PhasesAtEveryLevelsEdgeGiveTheScalarBytes)
{
    std::vector<PixelRecord> cells;
    std::vector<double> shifts;
    for (int k = 1; k <= 255; ++k) {
        const double edge = std::acos((128.0 - k) / 127.0);
        for (double s = edge, n = 0; n < 4; ++n, s = std::nextafter(s, 0.0))
            shifts.push_back(s);
        for (double s = edge, n = 0; n < 4; ++n, s = std::nextafter(s, 4.0))
            shifts.push_back(s);
    }
    const float angles[][2] = {{1, 0}, {1, -0.0f}, {0.6f, 0.8f}, {-0.28f, 0.96f}, {-1, 0}, {0, -3}};
    for (const auto& a : angles) {
        PixelRecord r{};
        r.nx = a[0];
        r.ny = a[1];
        cells.push_back(r);
    }
    CColorMap map;
    map.AllocateGrid(int(cells.size()), 1);
    std::memcpy(map.Cell(0, 0), cells.data(), cells.size() * sizeof(PixelRecord));
    for (double s : shifts)
        for (double f : {1.0, -2.0, 0.5}) {
            // The phase's part from the angle is taken back off, so the
            // cell's phase lands on the edge.
            for (size_t c = 0; c < cells.size(); ++c) {
                const double theta = std::atan2(double(cells[c].ny), double(cells[c].nx));
                const Colours colours{{f, f, 1}, {s - theta * f, s, s}};
                const std::vector<uint8_t> plain = Paint(map, colours, KernelIsa::kScalar);
                const std::vector<uint8_t> fast = Paint(map, colours, Isa());
                ASSERT_EQ(plain, fast) << "shift " << s << " freq " << f << " cell " << c;
            }
        }
}

// The error the bound is built from, each part measured against long
// double: the lanes' angle and cosine over the phases the lanes take, and
// libm's within the 2 ulps the bound allows it.
TEST_P(AngleLanes, AngleAndCosineStayWithinTheirShareOfTheBound)
{
    const double u = 0x1p-53;
    const int n = 1 << 16;
    std::vector<double> x(n), y(n), phase(n), theta(n), cosine(n);
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::uniform_int_distribution<int> exponent(-30, 30), scale(-8, 23);
    for (int i = 0; i < n; ++i) {
        x[i] = double(float(std::ldexp(unit(random), exponent(random))));
        y[i] = double(float(std::ldexp(unit(random), i % 3 ? exponent(random) : 0)));
        if (i % 5 == 0)
            y[i] = x[i] * (1 + std::ldexp(unit(random), -6));
        phase[i] = std::ldexp(unit(random), scale(random));
    }
    phase[0] = std::nextafter(kAngleLanePhaseLimit, 0.0);
    phase[1] = -phase[0];
    ProbeAngleLanes(Isa(), x.data(), y.data(), phase.data(), n, theta.data(), cosine.data());
    double worstAngle = 0, worstCosine = 0, worstLibmAngle = 0, worstLibmCosine = 0;
    for (int i = 0; i < n; ++i) {
        const long double trueAngle = std::atan2((long double)y[i], (long double)x[i]);
        const long double trueCosine = std::cos((long double)phase[i]);
        worstAngle = std::max(worstAngle, double(std::fabs(theta[i] - trueAngle)));
        worstCosine = std::max(worstCosine, double(std::fabs(cosine[i] - trueCosine)));
        worstLibmAngle = std::max(worstLibmAngle, double(std::fabs(std::atan2(y[i], x[i]) - trueAngle)));
        worstLibmCosine = std::max(worstLibmCosine, double(std::fabs(std::cos(phase[i]) - trueCosine)));
    }
    EXPECT_LE(worstAngle, kLaneAngleError * u);
    EXPECT_LE(worstCosine, kLaneCosineError * u);
    EXPECT_LE(worstLibmAngle, kLibmAngleError * u);
    EXPECT_LE(worstLibmCosine, kLibmCosineError * u);
}

// Whole frequencies take the cosine from the unit vector's power: within
// its share of the bound of the true cos(p theta + s), at every power the
// lanes raise to, on vectors of every length and direction.
TEST_P(AngleLanes, PowersOfTheUnitVectorStayWithinTheirShareOfTheBound)
{
    const double u = 0x1p-53;
    const int n = 1 << 13;
    std::vector<double> x(n), y(n), cosine(n);
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> unit(-1, 1);
    std::uniform_int_distribution<int> exponent(-140, 120);
    for (int i = 0; i < n; ++i) {
        const int e = exponent(random);
        x[i] = double(float(std::ldexp(unit(random), e)));
        y[i] = double(float(std::ldexp(unit(random), i % 4 ? e : exponent(random))));
        if (i % 9 == 0)
            y[i] = i % 2 ? x[i] : -x[i];
    }
    for (int power = -kAnglePowerLimit; power <= kAnglePowerLimit; ++power) {
        if (power == 0)
            continue;
        for (double shift : {1.0, -0.0, 2.5, -3.0}) {
            ProbeAnglePower(Isa(), x.data(), y.data(), power, shift, n, cosine.data());
            double worst = 0;
            for (int i = 0; i < n; ++i) {
                const long double angle = std::atan2((long double)y[i], (long double)x[i]);
                const long double truth = std::cos(angle * power + (long double)shift);
                worst = std::max(worst, double(std::fabs(cosine[i] - truth)));
            }
            EXPECT_LE(worst, LanePowerError(std::abs(power)) * u) << "power " << power << " shift " << shift;
        }
    }
    EXPECT_EQ(AnglePower(3), 3);
    EXPECT_EQ(AnglePower(-8), -8);
    EXPECT_EQ(AnglePower(9), 0);
    EXPECT_EQ(AnglePower(2.5), 0);
    EXPECT_EQ(AnglePower(std::nan("")), 0);
}

// A frequency that amplifies the angle's error past a level's width leaves
// the channel to libm; a small one is the lanes'; and the default view
// hands almost nothing back.
TEST_P(AngleLanes, TheBoundFollowsTheFrequencyAndTheDefaultViewRarelyFallsBack)
{
    EXPECT_EQ(MakeAnglePlan(1e300, 1, 1, 1, 1, 1).channel[0].mode, AnglePlan::kLibm);
    EXPECT_EQ(MakeAnglePlan(1, 1, 1, 1e300, 1, 1).channel[0].mode, AnglePlan::kLibm);
    const AnglePlan grey = MakeAnglePlan(1, 1, 1, 1, 1, 1);
    EXPECT_EQ(grey.count, 1);
    EXPECT_EQ(grey.channel[0].mode, AnglePlan::kLanes);
    EXPECT_LT(AngleLevelBound(1, 1), 1e-9);
    EXPECT_GT(AngleLevelBound(1e6, 1), 500 * AngleLevelBound(1e3, 1));
    CMandelbrotSet m;
    Target canvas(320, 240);
    m.Build(canvas);
    int fallbacks = 0;
    Paint(m.m_colorMap, Colours{{1, 1, 1}, {1, 1, 1}}, Isa(), &fallbacks);
    EXPECT_LT(fallbacks, 320 * 240 / 1000);
}

// The document's painter takes the chosen variant and gives the scalar
// pass's canvas.
TEST_P(AngleLanes, DrawPaintsTheSameCanvasWhicheverVariantRuns)
{
    CMandelbrotSet m;
    m.m_colorMap.m_green = 3;
    m.m_colorMap.m_blueShift = -2;
    Target canvas(257, 100);
    m.Build(canvas);
    OverrideKernelIsa(KernelIsa::kScalar);
    m.m_colorMap.Draw(canvas);
    const std::vector<uint8_t> plain = canvas.m_bits;
    OverrideKernelIsa(Isa());
    m.m_colorMap.Draw(canvas);
    ClearKernelIsaOverride();
    EXPECT_EQ(plain, canvas.m_bits);
}

INSTANTIATE_ISA_TESTS(AngleLanes, KernelIsa::kSse2, KernelIsa::kAvx2, KernelIsa::kAvx512);

} // namespace
