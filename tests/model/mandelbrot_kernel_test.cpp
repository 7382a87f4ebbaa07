// Every vector variant of the Mandelbrot/Julia row gives the scalar loop's
// bits, cell for cell, over views chosen to reach every way a lane ends.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <string>
#include <vector>

#include "OneIsa.h"
#include "imaging/Canvas.h"
#include "imaging/ColorMap.h"
#include "imaging/Parallel.h"
#include "model/kernels/MandelbrotKernel.h"
#include "model/mandelbrot/MandelbrotSet.h"

namespace {

const char* Name(KernelIsa isa) { return KernelIsaName(isa); }

struct View {
    double cx, cy, half;
    unsigned w, h;
    int iterations = 1000;
    double precision = 100;
    bool julia = false;
    double cRe = 0, cIm = 0;
};

// The cells of a whole view through one variant, from a patterned grid so
// cells a variant failed to write show up too.
std::vector<PixelRecord> Cells(const View& v, KernelIsa isa, int begin = 0)
{
    std::vector<PixelRecord> cells(size_t(v.w) * v.h);
    std::memset(cells.data(), 0x5A, cells.size() * sizeof(PixelRecord));
    MandelbrotRowJob job;
    job.d = 2 * v.half / std::min(v.w, v.h);
    job.x0 = v.cx - int(v.w / 2) * job.d;
    job.radius2 = v.precision * v.precision;
    job.maxIterations = v.iterations;
    job.julia = v.julia;
    job.g = std::sqrt(std::sqrt(v.cRe * v.cRe + v.cIm * v.cIm)) + 1;
    job.cRe = v.cRe;
    job.cIm = v.cIm;
    for (unsigned i = 0; i < v.h; ++i) {
        job.y = v.cy - int(v.h / 2) * job.d + i * job.d;
        EXPECT_TRUE(IterateMandelbrotRow(isa, job, begin, int(v.w), cells.data() + size_t(i) * v.w));
    }
    return cells;
}

void ExpectSameAsScalar(KernelIsa isa, const View& v, const std::string& what)
{
    const std::vector<PixelRecord> plain = Cells(v, KernelIsa::kScalar);
    const std::vector<PixelRecord> fast = Cells(v, isa);
    for (size_t c = 0; c < plain.size(); ++c)
        ASSERT_EQ(std::memcmp(&plain[c], &fast[c], sizeof(PixelRecord)), 0)
            << what << ": " << Name(isa) << " differs at cell " << c % v.w << "," << c / v.w << " (" << plain[c].nx
            << "," << plain[c].ny << "," << plain[c].value << ") vs (" << fast[c].nx << "," << fast[c].ny << ","
            << fast[c].value << ")";
}

using MandelbrotLanes = OneIsa;

TEST(MandelbrotKernel, TheWidestSupportedVariantIsChosenAndCanBeOverridden)
{
    EXPECT_TRUE(KernelIsaSupported(KernelIsa::kScalar));
    EXPECT_TRUE(KernelIsaSupported(KernelIsa::kSse2));
    EXPECT_EQ(KernelIsaSupported(KernelIsa::kAvx2), bool(__builtin_cpu_supports("avx2")));
    EXPECT_EQ(KernelIsaSupported(KernelIsa::kAvx512), bool(__builtin_cpu_supports("avx512f")));
    const KernelIsa widest = ChosenKernelIsa();
    EXPECT_TRUE(KernelIsaSupported(widest));
    OverrideKernelIsa(KernelIsa::kScalar);
    EXPECT_EQ(ChosenKernelIsa(), KernelIsa::kScalar);
    ClearKernelIsaOverride();
    EXPECT_EQ(ChosenKernelIsa(), widest);
}

TEST_P(MandelbrotLanes, DefaultAndZoomedViewsMatchTheScalarLoop)
{
    ExpectSameAsScalar(Isa(), {-0.5, 0, 2, 256, 192}, "default view");
    ExpectSameAsScalar(Isa(), {-0.5, 0, 1, 160, 120}, "2x zoom");
    ExpectSameAsScalar(Isa(), {-0.75, 0.1, 0.05, 160, 120}, "near the neck");
    ExpectSameAsScalar(Isa(), {-0.5, 0, 40, 64, 48}, "far out: most points escape at once");
}

TEST_P(MandelbrotLanes, OddWidthsLeaveTailLanesRight)
{
    for (unsigned w : {1u, 2u, 3u, 5u, 7u, 9u, 13u, 17u, 101u})
        ExpectSameAsScalar(Isa(), {-0.75, 0.1, 0.05, w, 7}, "width " + std::to_string(w));
    // A run that starts part way along the row.
    const View v{-0.5, 0, 2, 37, 5};
    const std::vector<PixelRecord> plain = Cells(v, KernelIsa::kScalar, 11);
    EXPECT_EQ(std::memcmp(plain.data(), Cells(v, Isa(), 11).data(), plain.size() * sizeof(PixelRecord)), 0);
}

TEST_P(MandelbrotLanes, JuliaSetsMatchTheScalarLoop)
{
    View v{0, 0, 2, 120, 90};
    v.julia = true;
    for (auto [re, im] : {std::pair{-0.8, 0.156}, {0.285, 0.01}, {-0.4, 0.6}, {0.0, 0.0}}) {
        v.cRe = re;
        v.cIm = im;
        ExpectSameAsScalar(Isa(), v, "Julia " + std::to_string(re) + "," + std::to_string(im));
    }
}

// Along the main cardioid's edge points neither escape soon nor settle:
// long orbits, P shrinking far out of range, every lane ending at a
// different step.
TEST_P(MandelbrotLanes, ViewsAlongTheCardioidEdgeMatchTheScalarLoop)
{
    for (double t : {0.3, 1.0, 2.0, 2.9}) {
        const double cx = std::cos(t) / 2 - std::cos(2 * t) / 4;
        const double cy = std::sin(t) / 2 - std::sin(2 * t) / 4;
        View v{cx, cy, 1e-3, 23, 17};
        v.iterations = 20000;
        ExpectSameAsScalar(Isa(), v, "cardioid edge at t=" + std::to_string(t));
    }
    View neck{-0.75, 0.001, 2e-4, 19, 11};
    neck.iterations = 100000;
    ExpectSameAsScalar(Isa(), neck, "the neck, P below 2^-500 many times");
}

// The vector variants take points well inside the main cardioid and the
// period-2 bulb as inside without iterating them; the scalar loop iterates
// everything. A sweep along both edges and along the curves where that
// shortcut starts, at two scales, must find no cell that differs.
TEST_P(MandelbrotLanes, SweepsAlongTheCardioidAndBulbChangeNoCell)
{
    const double pi = std::acos(-1.0);
    for (int a = 0; a < 16; ++a) {
        const std::complex<double> e = std::polar(1.0, 2 * pi * (a + 0.5) / 16);
        for (double r : {1.0, 0.99, 0.9}) {
            const std::complex<double> cardioid = r * e / 2.0 - r * r * e * e / 4.0;
            const std::complex<double> bulb = -1.0 + r * e / 4.0;
            for (const std::complex<double>& c : {cardioid, bulb})
                for (double half : {0.02, 0.003}) {
                    View v{c.real(), c.imag(), half, 24, 18};
                    v.iterations = 3000;
                    ExpectSameAsScalar(Isa(), v,
                                       "sweep at " + std::to_string(c.real()) + "," + std::to_string(c.imag()) +
                                           " half " + std::to_string(half));
                }
        }
    }
    // An escape radius small enough that inside points leave at once.
    View small{-0.2, 0, 0.3, 20, 20};
    for (double precision : {0.05, 0.1, 0.5, 1.9, 2.0, 4.0}) {
        small.precision = precision;
        ExpectSameAsScalar(Isa(), small, "precision " + std::to_string(precision));
    }
}

TEST_P(MandelbrotLanes, HugeCountsAndPrecisionsMatchTheScalarLoop)
{
    View v{-0.5, 0, 2, 21, 13};
    v.iterations = 300000;
    ExpectSameAsScalar(Isa(), v, "300000 iterations");
    v.iterations = 200;
    // 1e20 squared stays finite; 1e200 squared is infinite, so nothing
    // escapes and z itself overflows to infinities and NaNs.
    for (double precision : {400.0, 1e20, 1e200}) {
        v.precision = precision;
        ExpectSameAsScalar(Isa(), v, "precision " + std::to_string(precision));
    }
    // P outgrows 2^500 where z runs up to a huge escape radius.
    View far{0.4, 0.3, 0.1, 31, 9};
    far.precision = 1e154;
    ExpectSameAsScalar(Isa(), far, "P scaled down");
    for (int none : {0, -3, 1}) {
        v.iterations = none;
        v.precision = 2;
        ExpectSameAsScalar(Isa(), v, "at most " + std::to_string(none) + " iterations");
    }
}

// The build through the chosen variant, spread over the cores, against the
// plain path: one thread, the scalar loop.
TEST(MandelbrotKernel, BuildGivesThePlainPathsCells)
{
    for (int type : {0, 1}) {
        CMandelbrotSet plainSet, fastSet;
        plainSet.m_type = fastSet.m_type = type;
        plainSet.m_centerX = fastSet.m_centerX = -0.8;
        plainSet.m_centerY = fastSet.m_centerY = 0.156;
        CCanvas pc, fc;
        pc.m_targetWidth = fc.m_targetWidth = 203;
        pc.m_targetHeight = fc.m_targetHeight = 77;
        SetExecutionPath(ExecutionPath::kPlain);
        plainSet.Build(pc);
        SetExecutionPath(ExecutionPath::kFast);
        fastSet.Build(fc);
        ASSERT_EQ(plainSet.m_colorMap.m_grid.size(), fastSet.m_colorMap.m_grid.size());
        EXPECT_EQ(std::memcmp(plainSet.m_colorMap.m_grid.data(), fastSet.m_colorMap.m_grid.data(),
                              plainSet.m_colorMap.m_grid.size() * sizeof(PixelRecord)),
                  0)
            << "type " << type;
        fastSet.Draw(fc);
        SetExecutionPath(ExecutionPath::kPlain);
        plainSet.Draw(pc);
        SetExecutionPath(ExecutionPath::kFast);
        EXPECT_EQ(pc.m_bits, fc.m_bits) << "type " << type;
    }
}

INSTANTIATE_ISA_TESTS(MandelbrotLanes, KernelIsa::kSse2, KernelIsa::kAvx2, KernelIsa::kAvx512);

} // namespace
