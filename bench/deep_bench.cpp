// Deep views at 1024x768, each built with the skips and without them (the
// plain perturbation, every pixel stepping one by one), and with the
// ordinary steps in vector lanes or in the scalar loop, in the same run, on
// every core; and with the derivative the Distance colouring reads.
//
// The centre is a point of the seahorse valley that lands, after 78
// iterations, on the fixed point alpha = (1 - sqrt(1 - 4c)) / 2 of z^2 + c
// (z_79 = z_78). It was found by Newton's method in GNU MPFR at 1200 bits on
// z_79(c) / z_78(c) - 1 (the quotient keeps Newton away from the nuclei of
// periods dividing 78, where both vanish), started from
// -0.7436438870371587 + 0.1318259042053119 i; it converged in 19 steps to a
// step below 2^-1200, and the 120 decimals below are kept. The
// multiplier of alpha there is |2 alpha| = 1.0067, so a pixel at distance r
// from the point leaves after about 78 + ln(1 / r) / ln(1.0067) iterations:
// around 8,500 at 1e-30 and 33,000 at 1e-100 (8,547 to 9,856 and 32,680 to
// 40,955 between the 10% and 100% quantiles at 128x96), with spirals at every
// scale. A nucleus would not do at 1e-100: the neighbourhood of one small
// enough to show there needs a period beyond the limit.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "imaging/ColorMap.h"
#include "model/deep/DeepView.h"
#include "model/deep/ReferenceCache.h"
#include "model/deep/ReferenceOrbit.h"
#include "model/kernels/MandelbrotKernel.h"
#include "numbers/Coordinate.h"

namespace {

constexpr int kW = 1024, kH = 768;

const char* const kCenterRe =
    "-0.743644510973285895830785591448686709835767306505892084114555888279978939966208371804487145212257487675487871"
    "53391176049";
const char* const kCenterIm =
    "0.1318470688804889271001173529165082038121532392421658675074173791204618723341127099291699002565026642036981440"
    "62385315348";

struct View {
    double halfSize;
    int iterations;
};
constexpr View kViews[] = {{1e-30, 10000}, {1e-100, 100000}};

void BM_DeepView(benchmark::State& state)
{
    const View view = kViews[state.range(0)];
    DeepJob job;
    job.centerRe = kCenterRe;
    job.centerIm = kCenterIm;
    job.pixelSize = FloatExp(2 * view.halfSize / kH);
    job.width = kW;
    job.height = kH;
    job.radius2 = 1e4;
    job.maxIterations = view.iterations;
    job.linearSkips = state.range(1) != 0;
    job.distance = state.range(3) != 0;
    // A window build's budget: a few doubtful pixels get their own orbit.
    job.ownReferenceBudget = 16 * int64_t(view.iterations);
    CColorMap map;
    map.AllocateGrid(kW, kH);
    std::vector<int32_t> counts(size_t(kW) * kH);
    DeepOutcome o;
    if (state.range(2) == 0)
        OverrideKernelIsa(KernelIsa::kScalar);
    for (auto _ : state) {
        o = BuildDeepView(job, map.m_gridRows.data(), counts.data());
        benchmark::ClobberMemory();
    }
    ClearKernelIsaOverride();
    state.SetLabel(KernelIsaName(state.range(2) == 0 ? KernelIsa::kScalar : ChosenKernelIsa()));
    if (!o.error.empty())
        state.SkipWithError(o.error.c_str());
    state.counters["iterations/s"] =
        benchmark::Counter(double(o.totalIterations) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["skipped share"] = o.totalIterations ? double(o.skippedIterations) / double(o.totalIterations) : 0;
    state.counters["iterations per pixel"] = double(o.totalIterations) / (double(kW) * kH);
    state.counters["lane share"] = o.totalIterations ? double(o.laneIterations) / double(o.totalIterations) : 0;
    state.counters["own references"] = o.ownReferences;
    state.counters["doubtful kept"] = o.doubtfulKept;
}
// The plain perturbation at 1e-100 takes minutes: every case runs once.
BENCHMARK(BM_DeepView)
    ->ArgNames({"view", "skips", "lanes", "distance"})
    ->Args({0, 1, 1, 0})
    ->Args({0, 1, 0, 0})
    ->Args({0, 1, 1, 1})
    ->Args({0, 0, 1, 0})
    ->Args({0, 0, 0, 0})
    ->Args({1, 1, 1, 0})
    ->Args({1, 1, 0, 0})
    ->Args({1, 1, 1, 1})
    ->Args({1, 0, 1, 0})
    ->Args({1, 0, 0, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

DeepJob SpiralJob(double halfSize, int width, int height, int iterations)
{
    DeepJob job;
    job.centerRe = kCenterRe;
    job.centerIm = kCenterIm;
    job.pixelSize = FloatExp(2 * halfSize / height);
    job.width = width;
    job.height = height;
    job.radius2 = 1e4;
    job.maxIterations = iterations;
    job.ownReferenceBudget = 16 * int64_t(iterations);
    return job;
}

double Seconds(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The steps of an orbit of `length` values and nothing else, in place, as
// the floor of what MPFR allows: no value kept, no bound, no test.
double BareMpfrSeconds(const MpfrReal& x, const MpfrReal& y, size_t length)
{
    const mpfr_prec_t bits = mpfr_get_prec(x.get());
    MpfrReal re(bits), im(bits), re2(bits), im2(bits);
    const auto start = std::chrono::steady_clock::now();
    for (size_t n = 1; n < length; ++n) {
        mpfr_sqr(re2.get(), re.get(), MPFR_RNDN);
        mpfr_sqr(im2.get(), im.get(), MPFR_RNDN);
        mpfr_mul(im.get(), re.get(), im.get(), MPFR_RNDN);
        mpfr_mul_2ui(im.get(), im.get(), 1, MPFR_RNDN);
        mpfr_add(im.get(), im.get(), y.get(), MPFR_RNDN);
        mpfr_sub(re.get(), re2.get(), im2.get(), MPFR_RNDN);
        mpfr_add(re.get(), re.get(), x.get(), MPFR_RNDN);
    }
    benchmark::DoNotOptimize(re.get());
    return Seconds(start);
}

// The reference orbit alone, at the bits a build of the view reads the
// centre with, against the whole build of the view (orbit included) in the
// same run, and against the bare MPFR steps. Past 1e-300 the pixels are in
// the wide form, so the images are small. The spiral's
// orbit leaves after some 39,000 steps (its 120 decimals are only so
// close to the fixed point); the orbits of the counts past it are those
// of -0.1 + 0.5i, inside the main cardioid, where every pixel runs the
// whole count (BM_DeepLongCount).
struct OrbitCase {
    double halfSize;
    int exponent; // of the half size, past a double's range
    int side;
    bool inside;
};
constexpr OrbitCase kOrbitCases[] = {{1e-100, 0, 256, false},
                                     {1e-300, 0, 64, false},
                                     {1e-100, 0, 64, true},
                                     {0, -1000, 32, true},
                                     {0, -10000, 16, true}};

void BM_OrbitShare(benchmark::State& state)
{
    const OrbitCase c = kOrbitCases[state.range(0)];
    const int iterations = int(state.range(1));
    const int w = c.side, h = w * 3 / 4;
    DeepJob job = SpiralJob(c.halfSize, w, h, iterations);
    if (c.inside) {
        job.centerRe = "-0.1";
        job.centerIm = "0.5";
    }
    if (c.exponent != 0) {
        // 10^exponent = 2^k times 10^exponent / 2^k, the latter in [1, 2).
        const double k = std::floor(double(c.exponent) * std::log2(10.0));
        const FloatExp ten = FloatExp::Normal(std::pow(10.0, double(c.exponent) - k * std::log10(2.0)), int64_t(k));
        job.pixelSize = FloatExp(2.0 / h) * ten;
    }
    const long bits = DeepOrbitBits(job);
    CColorMap map;
    map.AllocateGrid(w, h);
    double orbitSeconds = 0, buildSeconds = 0, bareSeconds = 0;
    size_t length = 0;
    for (auto _ : state) {
        MpfrReal x(bits), y(bits);
        x.Parse(job.centerRe);
        y.Parse(job.centerIm);
        const MpfrReal zero(bits);
        ReferenceOrbit orbit;
        const bool wide = job.pixelSize.e < -600;
        auto start = std::chrono::steady_clock::now();
        ComputeReferenceOrbit(zero, zero, x, y, job.radius2, size_t(iterations) + 3, wide, nullptr, orbit, false, 1,
                              !wide);
        orbitSeconds = Seconds(start);
        length = orbit.size();
        bareSeconds = BareMpfrSeconds(x, y, length);
        start = std::chrono::steady_clock::now();
        const DeepOutcome o = BuildDeepView(job, map.m_gridRows.data(), nullptr);
        buildSeconds = Seconds(start);
        if (!o.error.empty())
            state.SkipWithError(o.error.c_str());
        state.SetIterationTime(buildSeconds);
    }
    state.counters["orbit s"] = orbitSeconds;
    state.counters["orbit share"] = orbitSeconds / buildSeconds;
    state.counters["orbit / bare MPFR steps"] = orbitSeconds / bareSeconds;
    state.counters["orbit length"] = double(length);
    state.counters["bits"] = double(bits);
    state.counters["ns per orbit step"] = 1e9 * orbitSeconds / double(length ? length : 1);
    state.counters["ns per bare step"] = 1e9 * bareSeconds / double(length ? length : 1);
}
BENCHMARK(BM_OrbitShare)
    ->ArgNames({"deep", "iterations"})
    ->Args({0, 100000})
    ->Args({1, 100000})
    ->Args({2, 100000})
    ->Args({2, 1000000})
    ->Args({3, 100000})
    ->Args({3, 1000000})
    ->Args({4, 100000})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime();

// A wheel notch: the view built, then zoomed by 1.5 about its centre (move
// 0) or about a point off it (1: 300 pixels right of the centre and 200
// up, where the wheel's pointer might be), or panned by 100 pixels and 60
// (2), each moved centre written as the document writes it, and built
// again, the second build timed, with the fractal's kept orbits and
// without them, in the same run.
void BM_WheelNotch(benchmark::State& state)
{
    const bool keep = state.range(0) != 0;
    const int move = int(state.range(1));
    DeepJob job = SpiralJob(1e-50, kW, kH, 10000);
    CColorMap map;
    map.AllocateGrid(kW, kH);
    double first = 0, notch = 0, notchCpu = 0;
    size_t reuses = 0;
    DeepOutcome o;
    for (auto _ : state) {
        ReferenceCache orbits;
        job.orbits = keep ? &orbits : nullptr;
        job.centerRe = kCenterRe;
        job.centerIm = kCenterIm;
        job.pixelSize = FloatExp(2 * 1e-50 / kH);
        orbits.BeginBuild();
        auto start = std::chrono::steady_clock::now();
        BuildDeepView(job, map.m_gridRows.data(), nullptr);
        first = Seconds(start);
        const FloatExp d = job.pixelSize, e = move == 2 ? d : d / FloatExp(1.5);
        const double px = move == 1 ? 300 : move == 2 ? 100 : 0, py = move == 1 ? 200 : move == 2 ? 60 : 0;
        // ZoomAbout's and PanBy's arithmetic.
        const WholeCoordinate x =
            MoveCoordinate(std::stod(job.centerRe), job.centerRe, {{px, d}, {move == 1 ? -px : 0, e}}, e);
        const WholeCoordinate y =
            MoveCoordinate(std::stod(job.centerIm), job.centerIm, {{py, d}, {move == 1 ? -py : 0, e}}, e);
        job.centerRe = CoordinateText(x.value, x.digits);
        job.centerIm = CoordinateText(y.value, y.digits);
        job.pixelSize = e;
        orbits.BeginBuild();
        const size_t before = orbits.Reuses();
        start = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        o = BuildDeepView(job, map.m_gridRows.data(), nullptr);
        notch = Seconds(start);
        notchCpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        reuses = orbits.Reuses() - before;
        if (!o.error.empty())
            state.SkipWithError(o.error.c_str());
        state.SetIterationTime(notch);
    }
    state.counters["first build s"] = first;
    state.counters["notch s"] = notch;
    // Of every core: on an idle machine the notch takes about this over
    // the cores.
    state.counters["notch CPU s"] = notchCpu;
    state.counters["orbit read"] = double(reuses);
    state.counters["iterations per pixel"] = double(o.totalIterations) / (double(kW) * kH);
    state.counters["skipped share"] = o.totalIterations ? double(o.skippedIterations) / double(o.totalIterations) : 0;
    state.counters["own references"] = o.ownReferences;
    state.counters["settled in double-double"] = o.settledInDoubleDouble;
}
BENCHMARK(BM_WheelNotch)
    ->ArgNames({"kept orbits", "move"})
    ->ArgsProduct({{0, 1}, {0, 1, 2}})
    ->Iterations(3)
    ->Unit(benchmark::kSecond)
    ->UseManualTime();

// A full-HD frame at 1e-100 with 100,000 iterations, with the skips, against
// the plain perturbation over the same view in the same run. The plain
// build of the whole frame takes minutes, so it runs the view at a quarter
// of each side (the same pixels, sampled) and its time is scaled by the
// pixels: "plain / skips" compares the cost of a pixel.
void BM_FullHd(benchmark::State& state)
{
    constexpr int kFullW = 1920, kFullH = 1080;
    double skips = 0, plain = 0;
    DeepOutcome o;
    for (auto _ : state) {
        for (const bool linear : {false, true}) {
            const int w = linear ? kFullW : kFullW / 4, h = linear ? kFullH : kFullH / 4;
            DeepJob job = SpiralJob(1e-100, w, h, 100000);
            job.linearSkips = linear;
            CColorMap map;
            map.AllocateGrid(w, h);
            const auto start = std::chrono::steady_clock::now();
            o = BuildDeepView(job, map.m_gridRows.data(), nullptr);
            (linear ? skips : plain) = Seconds(start) * (linear ? 1 : 16);
            if (!o.error.empty())
                state.SkipWithError(o.error.c_str());
        }
        state.SetIterationTime(skips);
    }
    state.counters["skips s"] = skips;
    state.counters["plain s (scaled)"] = plain;
    state.counters["plain / skips"] = plain / skips;
    state.counters["skipped share"] = o.totalIterations ? double(o.skippedIterations) / double(o.totalIterations) : 0;
    state.counters["iterations per pixel"] = double(o.totalIterations) / (double(kFullW) * kFullH);
}
BENCHMARK(BM_FullHd)->Iterations(1)->Unit(benchmark::kSecond)->UseManualTime();

// The cost of a pixel's step at 1e-100 in doubles and in the wide form,
// and at 1e-300, 1e-1000 and 1e-10000 (deep 1, 2, 3), where only the wide
// form holds the differences: 64x48 about the spiral's centre with 16,000
// iterations, every pixel inside, with the skips and without them (every
// step taken), in vector lanes or in the scalar loop alone (lanes 0: the
// wide form's FloatExp steps throughout). With kept 1 the reference orbit
// and its skip table are computed once, before the timing, and read from
// the kept ones as a window's next build of the view reads them: the
// pixels' cost alone. Side 4 takes 16 times the pixels over the same view.
void BM_WideForm(benchmark::State& state)
{
    const int64_t deep = state.range(0);
    const int side = int(state.range(5));
    DeepJob job = SpiralJob(1, 64 * side, 48 * side, 16000);
    job.pixelSize = (deep == 0   ? FloatExp(2e-100 / 48)
                     : deep == 1 ? FloatExp(2e-300 / 48)
                                 : FloatExp(2.0 / 48) * FloatExp::Normal(1, deep == 2 ? -3322 : -33219)) /
                    FloatExp(double(side));
    job.forceWide = state.range(1) != 0;
    job.linearSkips = state.range(2) != 0;
    CColorMap map;
    map.AllocateGrid(job.width, job.height);
    DeepOutcome o;
    if (state.range(3) == 0)
        OverrideKernelIsa(KernelIsa::kScalar);
    ReferenceCache kept;
    if (state.range(4) != 0) {
        job.orbits = &kept;
        kept.BeginBuild();
        BuildDeepView(job, map.m_gridRows.data(), nullptr);
    }
    for (auto _ : state) {
        if (job.orbits)
            kept.BeginBuild();
        o = BuildDeepView(job, map.m_gridRows.data(), nullptr);
        benchmark::ClobberMemory();
    }
    if (job.orbits && kept.Reuses() == 0)
        state.SkipWithError("the kept orbit was not read");
    if (job.orbits && job.linearSkips && kept.TableReuses() == 0)
        state.SkipWithError("the kept skip table was not read");
    ClearKernelIsaOverride();
    state.counters["lane share"] = o.totalIterations ? double(o.laneIterations) / double(o.totalIterations) : 0;
    if (!o.error.empty())
        state.SkipWithError(o.error.c_str());
    state.counters["iterations/s"] =
        benchmark::Counter(double(o.totalIterations) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["skipped share"] = o.totalIterations ? double(o.skippedIterations) / double(o.totalIterations) : 0;
    state.counters["steps taken/s"] = benchmark::Counter(
        double(o.totalIterations - o.skippedIterations) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WideForm)
    ->ArgNames({"deep", "wide", "skips", "lanes", "kept", "side"})
    ->Args({0, 0, 1, 1, 0, 1})
    ->Args({0, 1, 1, 1, 0, 1})
    ->Args({1, 1, 1, 1, 0, 1})
    ->Args({1, 1, 1, 0, 0, 1})
    ->Args({0, 0, 0, 1, 0, 1})
    ->Args({0, 1, 0, 1, 0, 1})
    ->Args({1, 1, 0, 1, 0, 1})
    ->Args({1, 1, 0, 0, 0, 1})
    ->Args({2, 1, 1, 1, 0, 1})
    ->Args({2, 1, 0, 1, 0, 1})
    ->Args({3, 1, 1, 1, 0, 1})
    ->Args({3, 1, 0, 1, 0, 1})
    ->Args({0, 0, 1, 1, 1, 1})
    ->Args({1, 1, 1, 1, 1, 1})
    ->Args({2, 1, 1, 1, 1, 1})
    ->Args({3, 1, 1, 1, 1, 1})
    ->Args({0, 0, 1, 1, 1, 4})
    ->Args({1, 1, 1, 1, 1, 4})
    ->Args({2, 1, 1, 1, 1, 4})
    ->Args({3, 1, 1, 1, 1, 4})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

// A wheel notch about the centre of a view with a long count keeps its
// orbit, and its skip table but for the radii, which follow the view's
// largest |dc|: here the table over 10^6 values of the orbit of
// -0.1 + 0.5i (inside the main cardioid) built again in its own storage
// for each notch's |dc|, against its radii alone made anew, in doubles and
// in the wide form.
template <class T>
void ZoomTable(benchmark::State& state, const T* re, const T* im, size_t size, bool radiiOnly)
{
    const T radius(100.0), eps(8 * 0x1p-53);
    T dcMax(1e-40);
    SkipTable<T> table;
    BuildSkipTable(re, im, size, false, radius, dcMax, eps, table);
    for (auto _ : state) {
        // Each notch zooms in by the wheel's 1.5; the range of a double
        // would hold some 1,700 of them.
        dcMax = dcMax / T(1.5);
        if (radiiOnly) {
            if (!RadiiForView(re, im, false, radius, dcMax, table))
                state.SkipWithError("the radii were not made anew");
        } else {
            BuildSkipTable(re, im, size, false, radius, dcMax, eps, table);
        }
        benchmark::DoNotOptimize(table.levels.back().back().r);
    }
}

void BM_ZoomTable(benchmark::State& state)
{
    const bool wide = state.range(0) != 0, radiiOnly = state.range(1) != 0;
    constexpr size_t kLength = 1000000;
    MpfrReal x(128), y(128);
    x.Parse("-0.1");
    y.Parse("0.5");
    const MpfrReal zero(128);
    ReferenceOrbit orbit;
    ComputeReferenceOrbit(zero, zero, x, y, 1e4, kLength, wide, nullptr, orbit, true, 1, false);
    if (orbit.size() != kLength) {
        state.SkipWithError("the orbit escaped");
        return;
    }
    if (wide)
        ZoomTable(state, orbit.reWide.data(), orbit.imWide.data(), orbit.size(), radiiOnly);
    else
        ZoomTable(state, orbit.re.data(), orbit.im.data(), orbit.size(), radiiOnly);
}
BENCHMARK(BM_ZoomTable)
    ->ArgNames({"wide", "radii only"})
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

// Counts of millions at 64x48 inside the main cardioid, around
// -0.1 + 0.5i (|1 - sqrt(1 - 4c)| = 0.82 < 1: every pixel is inside and
// runs the whole count, its difference from the centre's orbit shrinking
// by 0.82 a step). The time of each count is set against that of
// 2,000,000 in the same run: it must grow smoothly with the count, not
// leap where a table ends.
double SecondsOfCount(int iterations)
{
    DeepJob job;
    job.centerRe = "-0.1";
    job.centerIm = "0.5";
    job.pixelSize = FloatExp(2 * 1e-30 / 48);
    job.width = 64;
    job.height = 48;
    job.radius2 = 1e4;
    job.maxIterations = iterations;
    job.ownReferenceBudget = 16 * int64_t(iterations);
    CColorMap map;
    map.AllocateGrid(job.width, job.height);
    const auto start = std::chrono::steady_clock::now();
    const DeepOutcome o = BuildDeepView(job, map.m_gridRows.data(), nullptr);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return o.error.empty() ? took.count() : -1;
}

void BM_DeepLongCount(benchmark::State& state)
{
    const int iterations = int(state.range(0));
    double seconds = 0, baseline = 0;
    for (auto _ : state) {
        baseline = SecondsOfCount(2000000);
        seconds = SecondsOfCount(iterations);
        if (seconds < 0 || baseline < 0) {
            state.SkipWithError("the view was refused");
            break;
        }
        state.SetIterationTime(seconds);
    }
    state.counters["time / time of 2,000,000"] = seconds / baseline;
    state.counters["count / 2,000,000"] = iterations / 2e6;
}
BENCHMARK(BM_DeepLongCount)
    ->ArgNames({"iterations"})
    ->Arg(1000000)
    ->Arg(2000000)
    ->Arg(2500000)
    ->Arg(3000000)
    ->Arg(4000000)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseManualTime();

} // namespace

BENCHMARK_MAIN();
